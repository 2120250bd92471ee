#include <qcore/platform/win32/backend.h>
#include <qcore/platform/win32/clock.h>
#include <qcore/platform/win32/input.h>
#include <qcore/platform/win32/window_registry.h>

#include <array>
#include <atomic>
#include <cstdlib>
#include <cstring>

namespace qcore::detail {
namespace {

struct InputState {
    std::mutex mutex;
    DesktopMode desktop;
    POINT cursor{0, 0};
    HCURSOR current_cursor = nullptr;
    int show_count = 0;
    std::array<BYTE, 256> keys{}; // 0x80 down, 0x01 toggled
    // The last button press, for double clicks.
    HWND last_click_window = nullptr;
    UINT last_click_message = 0;
    DWORD last_click_time = 0;
    POINT last_click_point{};
};

InputState& input() {
    static InputState* s = new InputState;
    return *s;
}

std::atomic<Backend*> g_backend{nullptr};

Backend* backend_from_environment() {
    const char* env = std::getenv("QCORE_WINDOW_BACKEND");
    if (env && std::strcmp(env, "sdl") == 0) {
        if (Backend* b = sdl_backend()) return b;
    }
    return headless_backend();
}

// The system cursors are fixed handles, one per shape, like the shared cursors of Win32.
struct CursorShape {
    WORD id;
    int unused;
};
std::array<CursorShape, 14> g_cursors{{{32512, 0},
                                       {32513, 0},
                                       {32514, 0},
                                       {32515, 0},
                                       {32516, 0},
                                       {32642, 0},
                                       {32643, 0},
                                       {32644, 0},
                                       {32645, 0},
                                       {32646, 0},
                                       {32648, 0},
                                       {32649, 0},
                                       {32650, 0},
                                       {32651, 0}}};

int generic_key(int vk) {
    switch (vk) {
    case VK_LSHIFT:
    case VK_RSHIFT:
        return VK_SHIFT;
    case VK_LCONTROL:
    case VK_RCONTROL:
        return VK_CONTROL;
    case VK_LMENU:
    case VK_RMENU:
        return VK_MENU;
    default:
        return vk;
    }
}

int sided_key(int vk) {
    switch (vk) {
    case VK_SHIFT:
        return VK_LSHIFT;
    case VK_CONTROL:
        return VK_LCONTROL;
    case VK_MENU:
        return VK_LMENU;
    default:
        return vk;
    }
}

bool down_locked(const InputState& s, int vk) {
    return s.keys[vk & 0xFF] & 0x80;
}

void set_key_locked(InputState& s, int vk, bool down) {
    BYTE& k = s.keys[vk & 0xFF];
    if (down && !(k & 0x80)) k ^= 0x01;
    k = static_cast<BYTE>(down ? (k | 0x80) : (k & ~0x80));
}

void refresh_generic_locked(InputState& s, int generic, int left, int right) {
    const bool down = down_locked(s, left) || down_locked(s, right);
    BYTE& k = s.keys[generic];
    k = static_cast<BYTE>(down ? (k | 0x80) : (k & ~0x80));
}

WPARAM mouse_flags_locked(const InputState& s) {
    WPARAM f = 0;
    if (down_locked(s, VK_LBUTTON)) f |= MK_LBUTTON;
    if (down_locked(s, VK_RBUTTON)) f |= MK_RBUTTON;
    if (down_locked(s, VK_MBUTTON)) f |= MK_MBUTTON;
    if (down_locked(s, VK_SHIFT)) f |= MK_SHIFT;
    if (down_locked(s, VK_CONTROL)) f |= MK_CONTROL;
    return f;
}

// The window that gets mouse input at a screen point: the capture window, else the deepest visible window
// there (inside `top` when given). Disabled windows get nothing.
HWND mouse_target(HWND top, POINT p) {
    HWND capture = GetCapture();
    if (capture) return capture;
    HWND h = WindowFromPoint(p);
    if (top && h != top && !IsChild(top, h)) {
        // The backend knows the window better than the stacking order of windows it does not manage.
        h = top;
    }
    if (h == GetDesktopWindow() || !IsWindowEnabled(h)) return nullptr;
    return h;
}

void post_mouse(HWND target, UINT message, WPARAM flags, POINT screen) {
    POINT client = screen;
    ScreenToClient(target, &client);
    PostMessageA(target, WM_SETCURSOR, reinterpret_cast<WPARAM>(target), MAKELPARAM(HTCLIENT, message));
    PostMessageA(target, message, flags, MAKELPARAM(client.x, client.y));
}

UINT button_message(MouseButton b, bool down) {
    switch (b) {
    case MouseButton::left:
        return down ? WM_LBUTTONDOWN : WM_LBUTTONUP;
    case MouseButton::right:
        return down ? WM_RBUTTONDOWN : WM_RBUTTONUP;
    default:
        return down ? WM_MBUTTONDOWN : WM_MBUTTONUP;
    }
}

int button_key(MouseButton b) {
    return b == MouseButton::left ? VK_LBUTTON : b == MouseButton::right ? VK_RBUTTON : VK_MBUTTON;
}

bool class_has_dblclks(HWND hwnd) {
    auto lock = std::lock_guard(registry().mutex);
    Window* w = find_window(hwnd);
    return w && (w->cls.style & CS_DBLCLKS);
}

} // namespace

int cursor_shape_id(HCURSOR cursor) {
    for (const auto& c : g_cursors)
        if (reinterpret_cast<HCURSOR>(const_cast<CursorShape*>(&c)) == cursor) return c.id;
    return 0;
}

Backend& backend() {
    Backend* b = g_backend.load();
    if (b) return *b;
    Backend* chosen = backend_from_environment();
    Backend* expected = nullptr;
    g_backend.compare_exchange_strong(expected, chosen);
    return *g_backend.load();
}

void mouse_move_in(HWND top, int x, int y) {
    WPARAM flags;
    {
        InputState& s = input();
        std::lock_guard lock(s.mutex);
        s.cursor = POINT{x, y};
        flags = mouse_flags_locked(s);
    }
    if (HWND target = mouse_target(top, POINT{x, y})) post_mouse(target, WM_MOUSEMOVE, flags, POINT{x, y});
}

void mouse_button_in(HWND top, MouseButton button, bool down, int x, int y) {
    const POINT p{x, y};
    HWND target = mouse_target(top, p);
    UINT message = button_message(button, down);
    WPARAM flags;
    const bool dblclks = target && class_has_dblclks(target);
    InputState& s = input();
    {
        std::lock_guard lock(s.mutex);
        s.cursor = p;
        set_key_locked(s, button_key(button), down);
        flags = mouse_flags_locked(s);
        if (down && target) {
            const DWORD now = GetTickCount();
            const bool again = s.last_click_window == target && s.last_click_message == message &&
                               now - s.last_click_time <= GetDoubleClickTime() &&
                               std::abs(s.last_click_point.x - x) <= 2 &&
                               std::abs(s.last_click_point.y - y) <= 2;
            s.last_click_window = target;
            s.last_click_message = message;
            s.last_click_time = now;
            s.last_click_point = p;
            if (again && dblclks) {
                message += 2; // WM_xBUTTONDBLCLK follows WM_xBUTTONDOWN and WM_xBUTTONUP
                s.last_click_window = nullptr;
            }
        }
    }
    if (target) post_mouse(target, message, flags, p);
}

} // namespace qcore::detail

using namespace qcore::detail;

namespace qcore {

bool set_window_backend(WindowBackend kind) {
    {
        auto lock = std::lock_guard(registry().mutex);
        if (!registry().windows.empty()) return false;
    }
    Backend* b = kind == WindowBackend::sdl ? sdl_backend() : headless_backend();
    if (!b) return false;
    g_backend.store(b);
    return true;
}

WindowBackend window_backend() {
    return &backend() == headless_backend() ? WindowBackend::headless : WindowBackend::sdl;
}

int desktop_format_bits(D3DFORMAT format) {
    switch (format) {
    case D3DFMT_X8R8G8B8:
    case D3DFMT_A8R8G8B8:
        return 32;
    case D3DFMT_R8G8B8:
        return 24;
    case D3DFMT_R5G6B5:
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5:
        return 16;
    case D3DFMT_P8:
        return 8;
    default:
        return 0;
    }
}

bool set_desktop_mode(int width, int height, D3DFORMAT format) {
    if (width < 1 || height < 1 || desktop_format_bits(format) == 0) return false;
    InputState& s = input();
    std::lock_guard lock(s.mutex);
    s.desktop = DesktopMode{width, height, format};
    return true;
}

DesktopMode get_desktop_mode() {
    backend(); // a real backend reports its mode when it starts
    InputState& s = input();
    std::lock_guard lock(s.mutex);
    return s.desktop;
}

void inject_mouse_move(int x, int y) {
    mouse_move_in(nullptr, x, y);
}

void inject_mouse_button(MouseButton button, bool down, int x, int y) {
    mouse_button_in(nullptr, button, down, x, y);
}

void inject_mouse_wheel(int delta, int x, int y) {
    WPARAM flags;
    {
        InputState& s = input();
        std::lock_guard lock(s.mutex);
        s.cursor = POINT{x, y};
        flags = mouse_flags_locked(s);
    }
    HWND target = GetFocus();
    if (!target) target = mouse_target(nullptr, POINT{x, y});
    if (!target) return;
    PostMessageA(target, WM_MOUSEWHEEL, MAKEWPARAM(flags, static_cast<WORD>(static_cast<short>(delta))),
                 MAKELPARAM(x, y));
}

void inject_key(int virtual_key, bool down) {
    const int vk = sided_key(virtual_key & 0xFF);
    const int generic = generic_key(vk);
    bool was_down, alt;
    {
        InputState& s = input();
        std::lock_guard lock(s.mutex);
        was_down = down_locked(s, vk);
        set_key_locked(s, vk, down);
        if (generic != vk) {
            const int left = generic == VK_SHIFT ? VK_LSHIFT : generic == VK_CONTROL ? VK_LCONTROL : VK_LMENU;
            refresh_generic_locked(s, generic, left, left + 1);
        }
        alt = down_locked(s, VK_MENU) || generic == VK_MENU;
    }
    HWND target = GetFocus();
    if (!target) target = GetActiveWindow();
    if (!target) return;
    const bool ctrl = GetKeyState(VK_CONTROL) < 0;
    const bool sys = alt && !ctrl;
    const UINT message = down ? (sys ? WM_SYSKEYDOWN : WM_KEYDOWN) : (sys ? WM_SYSKEYUP : WM_KEYUP);
    LPARAM l = 1;
    if (vk == VK_RMENU || vk == VK_RCONTROL) l |= 1 << 24; // extended key
    if (alt) l |= 1 << 29;
    if (was_down) l |= 1 << 30;
    if (!down) l |= static_cast<LPARAM>(1u << 31);
    PostMessageA(target, message, static_cast<WPARAM>(generic), static_cast<LPARAM>(static_cast<DWORD>(l)));
}

void reset_input_state() {
    InputState& s = input();
    std::lock_guard lock(s.mutex);
    s.keys.fill(0);
    s.last_click_window = nullptr;
}

} // namespace qcore

HCURSOR LoadCursorA(HINSTANCE, LPCSTR name) {
    const auto id = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name));
    if (!IS_INTRESOURCE(name)) return nullptr;
    for (auto& c : g_cursors)
        if (c.id == id) return reinterpret_cast<HCURSOR>(&c);
    return nullptr;
}

HCURSOR SetCursor(HCURSOR cursor) {
    HCURSOR previous;
    {
        InputState& s = input();
        std::lock_guard lock(s.mutex);
        previous = s.current_cursor;
        s.current_cursor = cursor;
    }
    if (previous != cursor) backend().set_cursor(cursor);
    return previous;
}

HCURSOR GetCursor() {
    InputState& s = input();
    std::lock_guard lock(s.mutex);
    return s.current_cursor;
}

BOOL GetCursorPos(LPPOINT point) {
    if (!point) return FALSE;
    InputState& s = input();
    std::lock_guard lock(s.mutex);
    *point = s.cursor;
    return TRUE;
}

BOOL SetCursorPos(int x, int y) {
    {
        InputState& s = input();
        std::lock_guard lock(s.mutex);
        s.cursor = POINT{x, y};
    }
    backend().set_cursor_pos(x, y);
    return TRUE;
}

int ShowCursor(BOOL show) {
    InputState& s = input();
    std::lock_guard lock(s.mutex);
    return show ? ++s.show_count : --s.show_count;
}

SHORT GetKeyState(int virtual_key) {
    InputState& s = input();
    std::lock_guard lock(s.mutex);
    const BYTE k = s.keys[virtual_key & 0xFF];
    return static_cast<SHORT>(((k & 0x80) ? 0x8000 : 0) | (k & 0x01));
}

SHORT GetAsyncKeyState(int virtual_key) {
    return static_cast<SHORT>(GetKeyState(virtual_key) & 0x8000);
}

BOOL GetKeyboardState(BYTE* state) {
    if (!state) return FALSE;
    InputState& s = input();
    std::lock_guard lock(s.mutex);
    std::memcpy(state, s.keys.data(), s.keys.size());
    return TRUE;
}
