#include <qcore/platform/d3d8/soft/window_link.h>

#include <map>
#include <vector>

namespace qcore::detail::soft {
namespace {

// Until the window system offers windows, the desktop is a value here and each handle gets a memory
// surface of a fixed size.
constexpr int kInterimWidth = 640;
constexpr int kInterimHeight = 480;

D3DDISPLAYMODE& interim_desktop() {
    static D3DDISPLAYMODE mode{1920, 1080, 60, D3DFMT_X8R8G8B8};
    return mode;
}

std::map<HWND, std::shared_ptr<std::vector<uint32_t>>>& surfaces() {
    static std::map<HWND, std::shared_ptr<std::vector<uint32_t>>> all;
    return all;
}

} // namespace

D3DDISPLAYMODE desktop_mode() {
    return interim_desktop();
}

bool change_desktop_mode(int width, int height, D3DFORMAT format) {
    if (width < 1 || height < 1) return false;
    interim_desktop() = {static_cast<UINT>(width), static_cast<UINT>(height), 60, format};
    return true;
}

bool window_client_size(HWND window, UINT& width, UINT& height) {
    if (!window) return false;
    width = kInterimWidth;
    height = kInterimHeight;
    return true;
}

WindowTarget open_window_target(HWND window) {
    if (!window) return {};
    auto& s = surfaces()[window];
    if (!s) s = std::make_shared<std::vector<uint32_t>>(size_t{kInterimWidth} * kInterimHeight);
    WindowTarget t;
    t.window = window;
    t.pixels = s->data();
    t.surface_width = t.width = kInterimWidth;
    t.surface_height = t.height = kInterimHeight;
    t.pitch = kInterimWidth * 4;
    t.keep = s;
    return t;
}

void show_window_target(const WindowTarget&) {}

} // namespace qcore::detail::soft
