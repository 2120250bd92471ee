#include <qcore/platform/win32/backend.h>
#include <qcore/platform/win32/dialogs.h>
#include <qcore/platform/win32/input.h>
#include <qcore/platform/win32/window_registry.h>

#include <SDL.h>

#include <cstdio>
#include <map>
#include <mutex>
#include <unordered_map>

namespace qcore::detail {
namespace {

D3DFORMAT format_of_bits(int bits) {
    switch (bits) {
    case 8:
        return D3DFMT_P8;
    case 15:
        return D3DFMT_X1R5G5B5;
    case 16:
        return D3DFMT_R5G6B5;
    default:
        return D3DFMT_X8R8G8B8;
    }
}

int vk_of(SDL_Keycode k) {
    if (k >= SDLK_a && k <= SDLK_z) return 'A' + (k - SDLK_a);
    if (k >= SDLK_0 && k <= SDLK_9) return '0' + (k - SDLK_0);
    if (k >= SDLK_F1 && k <= SDLK_F12) return VK_F1 + (k - SDLK_F1);
    switch (k) {
    case SDLK_RETURN:
        return VK_RETURN;
    case SDLK_ESCAPE:
        return VK_ESCAPE;
    case SDLK_BACKSPACE:
        return VK_BACK;
    case SDLK_TAB:
        return VK_TAB;
    case SDLK_SPACE:
        return VK_SPACE;
    case SDLK_DELETE:
        return VK_DELETE;
    case SDLK_INSERT:
        return VK_INSERT;
    case SDLK_HOME:
        return VK_HOME;
    case SDLK_END:
        return VK_END;
    case SDLK_PAGEUP:
        return VK_PRIOR;
    case SDLK_PAGEDOWN:
        return VK_NEXT;
    case SDLK_LEFT:
        return VK_LEFT;
    case SDLK_RIGHT:
        return VK_RIGHT;
    case SDLK_UP:
        return VK_UP;
    case SDLK_DOWN:
        return VK_DOWN;
    case SDLK_LSHIFT:
        return VK_LSHIFT;
    case SDLK_RSHIFT:
        return VK_RSHIFT;
    case SDLK_LCTRL:
        return VK_LCONTROL;
    case SDLK_RCTRL:
        return VK_RCONTROL;
    case SDLK_LALT:
        return VK_LMENU;
    case SDLK_RALT:
        return VK_RMENU;
    default:
        return 0;
    }
}

SDL_SystemCursor sdl_cursor_of(int shape) {
    switch (shape) {
    case 32513:
        return SDL_SYSTEM_CURSOR_IBEAM;
    case 32514:
        return SDL_SYSTEM_CURSOR_WAIT;
    case 32515:
        return SDL_SYSTEM_CURSOR_CROSSHAIR;
    case 32642:
        return SDL_SYSTEM_CURSOR_SIZENWSE;
    case 32643:
        return SDL_SYSTEM_CURSOR_SIZENESW;
    case 32644:
        return SDL_SYSTEM_CURSOR_SIZEWE;
    case 32645:
        return SDL_SYSTEM_CURSOR_SIZENS;
    case 32646:
        return SDL_SYSTEM_CURSOR_SIZEALL;
    case 32648:
        return SDL_SYSTEM_CURSOR_NO;
    case 32649:
        return SDL_SYSTEM_CURSOR_HAND;
    case 32650:
        return SDL_SYSTEM_CURSOR_WAITARROW;
    default:
        return SDL_SYSTEM_CURSOR_ARROW;
    }
}

// Top-level windows are real SDL windows showing their surfaces; SDL events become window messages. SDL
// is used only on the thread that started it: windows of other threads stay in memory.
class SdlBackend final : public Backend {
public:
    SdlBackend() {
        SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
        SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
        if (SDL_Init(SDL_INIT_VIDEO) != 0) {
            std::fprintf(stderr, "[window] SDL cannot start: %s\n", SDL_GetError());
            return;
        }
        thread_ = GetCurrentThreadId();
        ok_ = true;
        SDL_DisplayMode mode;
        if (SDL_GetDesktopDisplayMode(0, &mode) == 0)
            set_desktop_mode(mode.w, mode.h, format_of_bits(static_cast<int>(SDL_BITSPERPIXEL(mode.format))));
    }
    bool ok() const { return ok_; }

    void create(HWND hwnd, const RECT& rect, const char* title, DWORD style) override {
        if (!mine()) return;
        const CRect r(rect);
        Uint32 flags = SDL_WINDOW_HIDDEN;
        if (!(style & WS_CAPTION)) flags |= SDL_WINDOW_BORDERLESS;
        if (style & WS_THICKFRAME) flags |= SDL_WINDOW_RESIZABLE;
        SDL_Window* w =
            SDL_CreateWindow(title, r.left, r.top, std::max(r.Width(), 1), std::max(r.Height(), 1), flags);
        if (!w) return;
        std::lock_guard lock(mutex_);
        by_hwnd_[hwnd] = w;
        by_id_[SDL_GetWindowID(w)] = hwnd;
    }
    void destroy(HWND hwnd) override {
        SDL_Window* w = take(hwnd);
        if (w && mine()) SDL_DestroyWindow(w);
    }
    void show(HWND hwnd, bool visible, bool minimized) override {
        SDL_Window* w = find(hwnd);
        if (!w || applying_native_) return;
        if (!visible) {
            SDL_HideWindow(w);
            return;
        }
        SDL_ShowWindow(w);
        if (minimized)
            SDL_MinimizeWindow(w);
        else
            SDL_RaiseWindow(w);
    }
    void move(HWND hwnd, const RECT& rect) override {
        SDL_Window* w = find(hwnd);
        if (!w || applying_native_) return;
        const CRect r(rect);
        SDL_SetWindowPosition(w, r.left, r.top);
        SDL_SetWindowSize(w, std::max(r.Width(), 1), std::max(r.Height(), 1));
    }
    void set_title(HWND hwnd, const char* title) override {
        if (SDL_Window* w = find(hwnd)) SDL_SetWindowTitle(w, title);
    }
    void present(HWND hwnd, const uint32_t* pixels, int width, int height, int pitch) override {
        SDL_Window* w = find(hwnd);
        if (!w || width <= 0 || height <= 0) return;
        SDL_Surface* src = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint32_t*>(pixels), width, height,
                                                              32, pitch, SDL_PIXELFORMAT_RGB888);
        SDL_Surface* dst = SDL_GetWindowSurface(w); // fetched anew: it changes with the window's size
        if (src && dst) {
            SDL_BlitSurface(src, nullptr, dst, nullptr);
            SDL_UpdateWindowSurface(w);
        }
        if (src) SDL_FreeSurface(src);
    }
    void pump() override {
        if (!mine()) return;
        SDL_Event e;
        while (SDL_PollEvent(&e))
            translate(e);
    }
    bool needs_polling() const override { return true; }
    void set_cursor(HCURSOR cursor) override {
        if (!mine()) return;
        const SDL_SystemCursor id = sdl_cursor_of(cursor_shape_id(cursor));
        SDL_Cursor*& c = cursors_[id];
        if (!c) c = SDL_CreateSystemCursor(id);
        if (c) SDL_SetCursor(c);
    }
    void set_cursor_pos(int x, int y) override {
        if (mine()) SDL_WarpMouseGlobal(x, y);
    }

private:
    bool mine() const { return ok_ && GetCurrentThreadId() == thread_; }
    SDL_Window* find(HWND hwnd) {
        if (!mine()) return nullptr;
        std::lock_guard lock(mutex_);
        auto it = by_hwnd_.find(hwnd);
        return it == by_hwnd_.end() ? nullptr : it->second;
    }
    SDL_Window* take(HWND hwnd) {
        std::lock_guard lock(mutex_);
        auto it = by_hwnd_.find(hwnd);
        if (it == by_hwnd_.end()) return nullptr;
        SDL_Window* w = it->second;
        by_id_.erase(SDL_GetWindowID(w));
        by_hwnd_.erase(it);
        return w;
    }
    HWND hwnd_of(Uint32 id) {
        std::lock_guard lock(mutex_);
        auto it = by_id_.find(id);
        return it == by_id_.end() ? nullptr : it->second;
    }
    POINT to_screen(HWND top, int x, int y) {
        POINT p{x, y};
        ClientToScreen(top, &p);
        return p;
    }

    void translate(const SDL_Event& e) {
        switch (e.type) {
        case SDL_MOUSEMOTION:
            if (HWND top = hwnd_of(e.motion.windowID)) {
                const POINT p = to_screen(top, e.motion.x, e.motion.y);
                mouse_move_in(top, p.x, p.y);
            }
            break;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
            if (HWND top = hwnd_of(e.button.windowID)) {
                const POINT p = to_screen(top, e.button.x, e.button.y);
                const MouseButton b = e.button.button == SDL_BUTTON_RIGHT    ? MouseButton::right
                                      : e.button.button == SDL_BUTTON_MIDDLE ? MouseButton::middle
                                                                             : MouseButton::left;
                mouse_button_in(top, b, e.type == SDL_MOUSEBUTTONDOWN, p.x, p.y);
            }
            break;
        case SDL_MOUSEWHEEL: {
            POINT p;
            GetCursorPos(&p);
            inject_mouse_wheel(e.wheel.y * WHEEL_DELTA, p.x, p.y);
            break;
        }
        case SDL_KEYDOWN:
        case SDL_KEYUP:
            if (const int vk = vk_of(e.key.keysym.sym)) inject_key(vk, e.type == SDL_KEYDOWN);
            break;
        case SDL_WINDOWEVENT:
            window_event(e.window);
            break;
        default:
            break;
        }
    }

    // Changes the user made to a real window, applied to its record without echoing them back to SDL.
    void window_event(const SDL_WindowEvent& we) {
        HWND top = hwnd_of(we.windowID);
        if (!top) return;
        applying_native_ = true;
        switch (we.event) {
        case SDL_WINDOWEVENT_EXPOSED:
            mark_dirty(top);
            break;
        case SDL_WINDOWEVENT_SIZE_CHANGED:
            SetWindowPos(top, nullptr, 0, 0, we.data1, we.data2, SWP_NOMOVE | SWP_NOZORDER);
            break;
        case SDL_WINDOWEVENT_MOVED:
            SetWindowPos(top, nullptr, we.data1, we.data2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
            break;
        case SDL_WINDOWEVENT_MINIMIZED:
            ShowWindow(top, SW_MINIMIZE);
            break;
        case SDL_WINDOWEVENT_RESTORED:
            ShowWindow(top, SW_RESTORE);
            break;
        case SDL_WINDOWEVENT_CLOSE:
            PostMessageA(top, WM_CLOSE, 0, 0);
            break;
        default:
            break;
        }
        applying_native_ = false;
    }

    bool ok_ = false;
    DWORD thread_ = 0;
    bool applying_native_ = false;
    std::mutex mutex_;
    std::unordered_map<HWND, SDL_Window*> by_hwnd_;
    std::unordered_map<Uint32, HWND> by_id_;
    std::map<SDL_SystemCursor, SDL_Cursor*> cursors_;
};

// Shows a box with the given buttons; returns the chosen button's answer, or `fallback`.
INT_PTR show_box(const char* title, const CString& text,
                 const std::vector<std::pair<CString, INT_PTR>>& buttons, INT_PTR fallback, Uint32 flags) {
    std::vector<SDL_MessageBoxButtonData> data;
    for (size_t i = 0; i < buttons.size(); ++i)
        data.push_back(SDL_MessageBoxButtonData{0, static_cast<int>(i), buttons[i].first.GetString()});
    if (!data.empty()) data.front().flags |= SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT;
    const SDL_MessageBoxData box{flags,       nullptr, title, text.GetString(), static_cast<int>(data.size()),
                                 data.data(), nullptr};
    int chosen = -1;
    if (SDL_ShowMessageBox(&box, &chosen) != 0 || chosen < 0 || chosen >= static_cast<int>(buttons.size()))
        return fallback;
    return buttons[static_cast<size_t>(chosen)].second;
}

} // namespace

Backend* sdl_backend() {
    static SdlBackend* backend = new SdlBackend; // SDL stays up until the process ends
    return backend->ok() ? backend : nullptr;
}

} // namespace qcore::detail

namespace qcore {

DialogHandler sdl_dialog_handler() {
    return [](const DialogRequest& r) -> INT_PTR {
        CString text;
        for (const CString& t : r.texts)
            text += t + "\n";
        auto buttons = r.buttons;
        if (buttons.empty()) buttons = {{"OK", IDOK}, {"Cancel", IDCANCEL}};
        return detail::show_box(r.title, text, buttons, r.cancel_answer, SDL_MESSAGEBOX_INFORMATION);
    };
}

MessageBoxHandler sdl_message_box_handler() {
    return [](const char* text, UINT type) -> int {
        static const std::vector<std::pair<CString, INT_PTR>> kinds[] = {
            {{"OK", IDOK}},
            {{"OK", IDOK}, {"Cancel", IDCANCEL}},
            {{"Abort", IDABORT}, {"Retry", IDRETRY}, {"Ignore", IDIGNORE}},
            {{"Yes", IDYES}, {"No", IDNO}, {"Cancel", IDCANCEL}},
            {{"Yes", IDYES}, {"No", IDNO}},
            {{"Retry", IDRETRY}, {"Cancel", IDCANCEL}},
            {{"Cancel", IDCANCEL}, {"Try Again", IDTRYAGAIN}, {"Continue", IDCONTINUE}}};
        const UINT kind = type & MB_TYPEMASK;
        const int fallback = default_message_box_answer(type);
        if (kind > 6) return fallback;
        const UINT icon = type & MB_ICONMASK;
        const Uint32 flags = icon == MB_ICONHAND          ? SDL_MESSAGEBOX_ERROR
                             : icon == MB_ICONEXCLAMATION ? SDL_MESSAGEBOX_WARNING
                                                          : SDL_MESSAGEBOX_INFORMATION;
        return static_cast<int>(detail::show_box("", text ? text : "", kinds[kind], fallback, flags));
    };
}

} // namespace qcore
