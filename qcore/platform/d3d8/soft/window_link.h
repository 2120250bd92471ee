#pragma once
// What the software device takes from the window system: the desktop mode, a window's client size and the
// 32-bit XRGB pixel surface a window shows, to present into.
#include <qcore/platform/d3d8/d3d8.h>

#include <cstdint>
#include <memory>

namespace qcore::detail::soft {

D3DDISPLAYMODE desktop_mode();
// Changes the desktop mode (tests); false for sizes below 1.
bool change_desktop_mode(int width, int height, D3DFORMAT format);

// Client-area size of a window; false when the handle names no window.
bool window_client_size(HWND window, UINT& width, UINT& height);

// The pixels a window shows: its client area is `width` by `height` at (`x`, `y`) inside a surface of
// `surface_width` by `surface_height` XRGB pixels whose rows are `pitch` bytes apart. Clip to the surface.
struct WindowTarget {
    HWND window = nullptr;
    uint32_t* pixels = nullptr;
    int surface_width = 0;
    int surface_height = 0;
    int pitch = 0;
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    std::shared_ptr<void> keep; // keeps the pixels alive while the target is open
};

// The target of a window, or one with null pixels when the window has no surface.
WindowTarget open_window_target(HWND window);
// Shows what was written into the target.
void show_window_target(const WindowTarget& target);

} // namespace qcore::detail::soft
