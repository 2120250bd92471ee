#include <qcore/platform/d3d8/soft/window_link.h>
#include <qcore/platform/win32/input.h>
#include <qcore/platform/win32/window.h>

namespace qcore::detail::soft {
namespace {

// The refresh rate a windowed desktop reports; the window system has no notion of one.
constexpr UINT kDesktopRefresh = 60;

} // namespace

D3DDISPLAYMODE desktop_mode() {
    const DesktopMode m = get_desktop_mode();
    return {static_cast<UINT>(m.width), static_cast<UINT>(m.height), kDesktopRefresh, m.format};
}

bool change_desktop_mode(int width, int height, D3DFORMAT format) {
    return set_desktop_mode(width, height, format);
}

bool window_client_size(HWND window, UINT& width, UINT& height) {
    RECT r{};
    if (!window || !IsWindow(window) || !GetClientRect(window, &r)) return false;
    width = static_cast<UINT>(r.right > r.left ? r.right - r.left : 0);
    height = static_cast<UINT>(r.bottom > r.top ? r.bottom - r.top : 0);
    return true;
}

} // namespace qcore::detail::soft
