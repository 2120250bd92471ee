#pragma once
// What the software device takes from the window system besides the surfaces it presents into
// (detail::WindowSurface): the desktop mode and a window's client size.
#include <qcore/platform/d3d8/d3d8.h>

#include <cstdint>

namespace qcore::detail::soft {

D3DDISPLAYMODE desktop_mode();
// Changes the desktop mode (tests); false for sizes below 1.
bool change_desktop_mode(int width, int height, D3DFORMAT format);

// Client-area size of a window; false when the handle names no window.
bool window_client_size(HWND window, UINT& width, UINT& height);

} // namespace qcore::detail::soft
