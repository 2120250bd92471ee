#include <qcore/platform/win32/backend.h>
#include <qcore/platform/win32/gdi.h>
#include <qcore/platform/win32/hresult.h>
#include <qcore/platform/win32/input.h>
#include <qcore/platform/win32/last_error.h>
#include <qcore/platform/win32/window_registry.h>

#include <algorithm>
#include <cstring>

#define ERROR_TLW_WITH_WSCHILD 1406L
#define ERROR_CANNOT_FIND_WND_CLASS 1407L

namespace qcore::detail {
namespace {

const HWND kDesktop = reinterpret_cast<HWND>(uintptr_t{0x10010});
thread_local CreateHook t_create_hook = nullptr;
thread_local void* t_create_context = nullptr;

using Lock = std::unique_lock<std::mutex>;
Lock lock_registry() {
    return Lock(registry().mutex);
}

void remove_handle(std::vector<HWND>& list, HWND h) {
    list.erase(std::remove(list.begin(), list.end(), h), list.end());
}

CRect desktop_rect() {
    const DesktopMode mode = get_desktop_mode();
    return CRect(0, 0, mode.width, mode.height);
}

CRect client_rect(const Window& w) {
    return CRect(0, 0, w.rect.Width(), w.rect.Height());
}

// Adds to a window's update region; without WS_CLIPCHILDREN the children under it are invalidated too.
void invalidate_locked(Window& w, const CRect& area, bool erase) {
    CRect r;
    const CRect client = client_rect(w);
    if (!r.IntersectRect(&area, &client)) return;
    w.invalid.UnionRect(&w.invalid, &r);
    w.erase = w.erase || erase;
    if (w.style & WS_CLIPCHILDREN) return;
    for (HWND c : w.children) {
        Window* child = find_window(c);
        if (!child) continue;
        CRect in_child = r;
        in_child.OffsetRect(-child->rect.left, -child->rect.top);
        invalidate_locked(*child, in_child, erase);
    }
}

void bring_to_top_locked(Window& w) {
    Window* top = top_level_of(&w);
    if (!top) return;
    auto& list = registry().top_levels;
    remove_handle(list, top->handle);
    list.push_back(top->handle);
    registry().active = top->handle;
}

HWND hit_test_children(Window& w, POINT p) {
    for (auto it = w.children.rbegin(); it != w.children.rend(); ++it) {
        Window* c = find_window(*it);
        if (!c || !(c->style & WS_VISIBLE) || !c->rect.PtInRect(p)) continue;
        return hit_test_children(*c, POINT{p.x - c->rect.left, p.y - c->rect.top});
    }
    return w.handle;
}

struct Geometry {
    CRect rect;
    bool moved = false;
    bool resized = false;
    bool top = false;
    DWORD thread = 0;
};

// Changes a window's rectangle (parent coordinates) and keeps a top-level surface the same size.
bool set_rect(HWND hwnd, const CRect& rect, Geometry& g) {
    auto lock = lock_registry();
    Window* w = find_window(hwnd);
    if (!w) return false;
    CRect r = rect;
    if (r.Width() < 0) r.right = r.left;
    if (r.Height() < 0) r.bottom = r.top;
    g.moved = r.left != w->rect.left || r.top != w->rect.top;
    g.resized = r.Width() != w->rect.Width() || r.Height() != w->rect.Height();
    g.top = is_top_level(*w);
    g.thread = w->thread;
    w->rect = r;
    g.rect = r;
    // A new buffer: whoever still draws into or presents the old one keeps it valid.
    if (g.top && g.resized) {
        auto next = std::make_shared<Surface>(*w->surface);
        next->resize(r.Width(), r.Height());
        w->surface = std::move(next);
    }
    return true;
}

void notify_geometry(HWND hwnd, const Geometry& g, bool repaint) {
    if (g.moved) SendMessageA(hwnd, WM_MOVE, 0, MAKELPARAM(g.rect.left, g.rect.top));
    if (g.resized) SendMessageA(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(g.rect.Width(), g.rect.Height()));
    if (g.top && (g.moved || g.resized)) backend().move(hwnd, g.rect);
    if (repaint && g.resized) InvalidateRect(hwnd, nullptr, TRUE);
}

} // namespace

void Surface::resize(int w, int h) {
    std::vector<uint32_t> next(static_cast<size_t>(std::max(w, 0)) * std::max(h, 0), 0);
    const int cw = std::min(w, width), ch = std::min(h, height);
    for (int y = 0; y < ch; ++y)
        std::copy_n(pixels.begin() + static_cast<ptrdiff_t>(y) * width, cw,
                    next.begin() + static_cast<ptrdiff_t>(y) * w);
    pixels.swap(next);
    width = std::max(w, 0);
    height = std::max(h, 0);
}

Registry& registry() {
    static Registry* r = new Registry; // lives until exit: windows may be used from static destructors
    return *r;
}

Window* find_window(HWND hwnd) {
    auto& map = registry().windows;
    auto it = map.find(hwnd);
    return it == map.end() ? nullptr : it->second.get();
}

bool is_top_level(const Window& w) {
    return w.parent == nullptr || w.parent == kDesktop;
}

Window* top_level_of(Window* w) {
    while (w && !is_top_level(*w))
        w = find_window(w->parent);
    return w;
}

POINT client_origin_on_screen(const Window& w) {
    if (is_top_level(w)) return POINT{w.rect.left, w.rect.top};
    const Window* p = find_window(w.parent);
    POINT o = p ? client_origin_on_screen(*p) : POINT{0, 0};
    return POINT{o.x + w.rect.left, o.y + w.rect.top};
}

POINT offset_in_top_level(const Window& w) {
    if (is_top_level(w)) return POINT{0, 0};
    const Window* p = find_window(w.parent);
    POINT o = p ? offset_in_top_level(*p) : POINT{0, 0};
    return POINT{o.x + w.rect.left, o.y + w.rect.top};
}

CRect visible_rect_in_top_level(const Window& w) {
    const POINT o = offset_in_top_level(w);
    CRect r(o, w.rect.Size());
    if (is_top_level(w)) return r;
    const Window* p = find_window(w.parent);
    if (!p) return CRect();
    const CRect pr = visible_rect_in_top_level(*p);
    CRect out;
    out.IntersectRect(&r, &pr);
    return out;
}

bool visible_with_ancestors(const Window& w) {
    for (const Window* p = &w; p; p = is_top_level(*p) ? nullptr : find_window(p->parent)) {
        if (!(p->style & WS_VISIBLE) || p->minimized) return false;
    }
    return true;
}

void set_create_hook(CreateHook hook, void* context) {
    t_create_hook = hook;
    t_create_context = context;
}

LRESULT call_window_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    WNDPROC proc = nullptr;
    {
        auto lock = lock_registry();
        Window* w = find_window(hwnd);
        if (!w) return 0;
        proc = w->proc;
    }
    return proc ? proc(hwnd, message, wparam, lparam) : DefWindowProcA(hwnd, message, wparam, lparam);
}

void mark_dirty(HWND hwnd) {
    auto lock = lock_registry();
    if (Window* top = top_level_of(find_window(hwnd))) top->dirty = true;
}

void present_dirty_windows() {
    struct Job {
        HWND hwnd;
        std::shared_ptr<Surface> surface;
    };
    std::vector<Job> jobs;
    const DWORD me = GetCurrentThreadId();
    {
        auto lock = lock_registry();
        for (HWND h : registry().top_levels) {
            Window* w = find_window(h);
            if (!w || !w->dirty || w->thread != me) continue;
            w->dirty = false;
            ++w->presents;
            jobs.push_back({h, w->surface});
        }
    }
    for (const Job& j : jobs)
        backend().present(j.hwnd, j.surface->pixels.data(), j.surface->width, j.surface->height,
                          j.surface->width * 4);
}

HWND window_needing_paint(DWORD thread, HWND filter) {
    auto lock = lock_registry();
    std::vector<HWND> stack(registry().top_levels.rbegin(), registry().top_levels.rend());
    while (!stack.empty()) {
        Window* w = find_window(stack.back());
        stack.pop_back();
        if (!w || !visible_with_ancestors(*w)) continue;
        const bool matches = !filter || w->handle == filter || is_child_locked(filter, w->handle);
        if (w->thread == thread && matches && !w->invalid.IsRectEmpty()) return w->handle;
        stack.insert(stack.end(), w->children.rbegin(), w->children.rend());
    }
    return nullptr;
}

WindowSurface WindowSurface::open(HWND hwnd) {
    WindowSurface s;
    auto lock = lock_registry();
    Window* w = find_window(hwnd);
    Window* top = top_level_of(w);
    if (!top) return s;
    const POINT o = offset_in_top_level(*w);
    s.pixels = top->surface->pixels.data();
    s.surface_width = top->surface->width;
    s.surface_height = top->surface->height;
    s.pitch = top->surface->width * 4;
    s.x = o.x;
    s.y = o.y;
    s.width = w->rect.Width();
    s.height = w->rect.Height();
    s.top_ = top->handle;
    s.keep_ = top->surface;
    if (!s.pixels) s.pixels = reinterpret_cast<uint32_t*>(&s.keep_); // an empty surface is still valid
    return s;
}

void WindowSurface::present(const RECT*) const {
    std::shared_ptr<Surface> surface;
    {
        auto lock = lock_registry();
        Window* top = find_window(top_);
        if (!top || top->surface != keep_) return;
        ++top->presents;
        top->dirty = false;
        surface = top->surface;
    }
    backend().present(top_, surface->pixels.data(), surface->width, surface->height, surface->width * 4);
}

} // namespace qcore::detail

using namespace qcore::detail;

namespace qcore {

WindowImage capture_window(HWND hwnd) {
    WindowImage img;
    auto lock = lock_registry();
    Window* w = find_window(hwnd);
    Window* top = top_level_of(w);
    if (!top) return img;
    const POINT o = offset_in_top_level(*w);
    img.width = w->rect.Width();
    img.height = w->rect.Height();
    img.pixels.assign(static_cast<size_t>(img.width) * img.height, 0);
    const Surface& s = *top->surface;
    for (int y = 0; y < img.height; ++y) {
        for (int x = 0; x < img.width; ++x) {
            const int sx = x + o.x, sy = y + o.y;
            if (sx < 0 || sy < 0 || sx >= s.width || sy >= s.height) continue;
            img.pixels[static_cast<size_t>(y) * img.width + x] =
                s.pixels[static_cast<size_t>(sy) * s.width + sx];
        }
    }
    return img;
}

unsigned window_present_count(HWND hwnd) {
    auto lock = lock_registry();
    Window* top = top_level_of(find_window(hwnd));
    return top ? top->presents : 0;
}

} // namespace qcore

ATOM RegisterClassA(const WNDCLASSA* wc) {
    if (!wc || !wc->lpszClassName || IS_INTRESOURCE(wc->lpszClassName) || !*wc->lpszClassName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    auto lock = lock_registry();
    auto& classes = registry().classes;
    if (classes.count(wc->lpszClassName)) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    WindowClass c{wc->lpszClassName, wc->lpfnWndProc, wc->hInstance, wc->hCursor,
                  wc->hbrBackground, wc->hIcon,       wc->style};
    classes.emplace(wc->lpszClassName, std::move(c));
    return static_cast<ATOM>(0xC000 + classes.size());
}

BOOL UnregisterClassA(LPCSTR class_name, HINSTANCE) {
    if (!class_name || IS_INTRESOURCE(class_name)) return FALSE;
    auto lock = lock_registry();
    if (registry().classes.erase(class_name)) return TRUE;
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
}

BOOL GetClassInfoA(HINSTANCE, LPCSTR class_name, LPWNDCLASSA wc) {
    if (!class_name || IS_INTRESOURCE(class_name) || !wc) return FALSE;
    auto lock = lock_registry();
    auto it = registry().classes.find(class_name);
    if (it == registry().classes.end()) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    const WindowClass& c = it->second;
    *wc = WNDCLASSA{
        c.style, c.proc, 0, 0, c.instance, c.icon, c.cursor, c.background, nullptr, it->first.GetString()};
    return TRUE;
}

int GetClassNameA(HWND hwnd, LPSTR buffer, int size) {
    if (!buffer || size <= 0) return 0;
    auto lock = lock_registry();
    Window* w = find_window(hwnd);
    if (!w) return 0;
    const int n = std::min<int>(size - 1, static_cast<int>(w->cls.name.size()));
    std::memcpy(buffer, w->cls.name.data(), n);
    buffer[n] = 0;
    return n;
}

HWND GetDesktopWindow() {
    return kDesktop;
}

HWND CreateWindowExA(DWORD ex_style, LPCSTR class_name, LPCSTR window_name, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
    const bool child = style & WS_CHILD;
    if (child && !parent) {
        SetLastError(ERROR_TLW_WITH_WSCHILD);
        return nullptr;
    }
    const bool top = !parent || parent == kDesktop || !child;
    const CRect desk = desktop_rect();
    if (x == CW_USEDEFAULT) x = y = 0;
    if (width == CW_USEDEFAULT) {
        width = child ? 0 : desk.Width() * 3 / 4;
        height = child ? 0 : desk.Height() * 3 / 4;
    }
    HWND hwnd = nullptr;
    CRect rect(x, y, x + std::max(width, 0), y + std::max(height, 0));
    {
        auto lock = lock_registry();
        Registry& r = registry();
        if (!class_name || IS_INTRESOURCE(class_name) || !r.classes.count(class_name)) {
            SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
            return nullptr;
        }
        Window* parent_w = parent && parent != kDesktop ? find_window(parent) : nullptr;
        if (parent && parent != kDesktop && !parent_w) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
        auto w = std::make_unique<Window>();
        hwnd = reinterpret_cast<HWND>(0x20000 + 8 * r.next_handle++);
        w->handle = hwnd;
        w->cls = r.classes.find(class_name)->second;
        w->proc = w->cls.proc;
        w->style = style & ~WS_VISIBLE;
        w->ex_style = ex_style;
        w->rect = rect;
        w->text = window_name ? window_name : "";
        w->thread = GetCurrentThreadId();
        if (child) w->id = reinterpret_cast<LONG_PTR>(menu);
        if (!top) {
            w->parent = parent;
            parent_w->children.push_back(hwnd);
        } else {
            w->parent = child ? kDesktop : nullptr;
            Window* owner = top_level_of(parent_w);
            w->owner = owner ? owner->handle : nullptr;
            w->surface = std::make_shared<Surface>();
            w->surface->resize(rect.Width(), rect.Height());
            r.top_levels.push_back(hwnd);
        }
        r.windows.emplace(hwnd, std::move(w));
    }
    ensure_queue();
    if (top) backend().create(hwnd, rect, window_name ? window_name : "", style);
    if (t_create_hook) {
        CreateHook hook = t_create_hook;
        t_create_hook = nullptr;
        hook(hwnd, t_create_context);
    }
    CREATESTRUCTA cs{param,       instance,      menu,
                     parent,      rect.Height(), rect.Width(),
                     rect.top,    rect.left,     static_cast<LONG>(style),
                     window_name, class_name,    ex_style};
    if (!SendMessageA(hwnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs)) ||
        SendMessageA(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
        DestroyWindow(hwnd);
        return nullptr;
    }
    if (!IsWindow(hwnd)) return nullptr;
    SendMessageA(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(rect.Width(), rect.Height()));
    SendMessageA(hwnd, WM_MOVE, 0, MAKELPARAM(rect.left, rect.top));
    if (style & WS_VISIBLE) ShowWindow(hwnd, SW_SHOW);
    return hwnd;
}

BOOL DestroyWindow(HWND hwnd) {
    std::vector<HWND> owned, children;
    bool top = false, visible = false;
    {
        auto lock = lock_registry();
        Window* w = find_window(hwnd);
        if (!w) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        if (w->thread != GetCurrentThreadId()) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        if (w->destroying) return TRUE;
        w->destroying = true;
        top = is_top_level(*w);
        visible = w->style & WS_VISIBLE;
        for (auto& [h, other] : registry().windows)
            if (other->owner == hwnd) owned.push_back(h);
    }
    for (HWND h : owned)
        DestroyWindow(h);
    if (top && visible) backend().show(hwnd, false, false);
    SendMessageA(hwnd, WM_DESTROY, 0, 0);
    {
        auto lock = lock_registry();
        if (Window* w = find_window(hwnd)) children = w->children;
    }
    for (HWND c : children)
        DestroyWindow(c);
    SendMessageA(hwnd, WM_NCDESTROY, 0, 0);
    {
        auto lock = lock_registry();
        Registry& r = registry();
        Window* w = find_window(hwnd);
        if (!w) return TRUE;
        if (Window* p = is_top_level(*w) ? nullptr : find_window(w->parent)) remove_handle(p->children, hwnd);
        remove_handle(r.top_levels, hwnd);
        if (r.focus == hwnd) r.focus = nullptr;
        if (r.capture == hwnd) r.capture = nullptr;
        if (r.active == hwnd) r.active = nullptr;
        r.windows.erase(hwnd);
    }
    if (top) backend().destroy(hwnd);
    return TRUE;
}

BOOL IsWindow(HWND hwnd) {
    if (hwnd == kDesktop) return TRUE;
    auto lock = lock_registry();
    return find_window(hwnd) != nullptr;
}

BOOL IsWindowVisible(HWND hwnd) {
    if (hwnd == kDesktop) return TRUE;
    auto lock = lock_registry();
    Window* w = find_window(hwnd);
    if (!w) return FALSE;
    for (Window* p = w; p; p = is_top_level(*p) ? nullptr : find_window(p->parent))
        if (!(p->style & WS_VISIBLE)) return FALSE;
    return TRUE;
}

BOOL IsWindowEnabled(HWND hwnd) {
    auto lock = lock_registry();
    Window* w = find_window(hwnd);
    return w && !(w->style & WS_DISABLED);
}

BOOL IsIconic(HWND hwnd) {
    auto lock = lock_registry();
    Window* w = find_window(hwnd);
    return w && w->minimized;
}

namespace qcore::detail {
bool is_child_locked(HWND parent, HWND hwnd) {
    auto& map = registry().windows;
    auto it = map.find(hwnd);
    while (it != map.end() && !is_top_level(*it->second)) {
        if (it->second->parent == parent) return true;
        it = map.find(it->second->parent);
    }
    return false;
}
} // namespace qcore::detail

BOOL IsChild(HWND parent, HWND hwnd) {
    auto lock = lock_registry();
    return is_child_locked(parent, hwnd);
}

BOOL ShowWindow(HWND hwnd, int cmd) {
    bool was_visible = false, visible = false, was_min = false, minimized = false, top = false;
    bool maximize = false;
    DWORD thread = 0;
    CRect rect;
    {
        auto lock = lock_registry();
        Window* w = find_window(hwnd);
        if (!w) return FALSE;
        was_visible = w->style & WS_VISIBLE;
        was_min = w->minimized;
        minimized = was_min;
        visible = cmd != SW_HIDE;
        switch (cmd) {
        case SW_MINIMIZE:
        case SW_SHOWMINIMIZED:
        case SW_SHOWMINNOACTIVE:
            minimized = true;
            break;
        case SW_SHOWNORMAL:
        case SW_RESTORE:
        case SW_SHOWDEFAULT:
            minimized = false;
            break;
        case SW_MAXIMIZE:
            minimized = false;
            maximize = is_top_level(*w);
            break;
        default:
            break;
        }
        top = is_top_level(*w);
        w->style = visible ? (w->style | WS_VISIBLE) : (w->style & ~WS_VISIBLE);
        w->minimized = minimized;
        if (visible && !minimized && (!was_visible || was_min)) invalidate_locked(*w, client_rect(*w), true);
        if (visible && top && cmd != SW_SHOWNA && cmd != SW_SHOWNOACTIVATE && cmd != SW_SHOWMINNOACTIVE)
            bring_to_top_locked(*w);
        thread = w->thread;
        rect = w->rect;
    }
    if (visible != was_visible) SendMessageA(hwnd, WM_SHOWWINDOW, visible, 0);
    if (maximize) {
        Geometry g;
        if (set_rect(hwnd, desktop_rect(), g)) {
            if (g.top) backend().move(hwnd, g.rect);
            InvalidateRect(hwnd, nullptr, TRUE);
        }
        SendMessageA(hwnd, WM_SIZE, SIZE_MAXIMIZED, MAKELPARAM(g.rect.Width(), g.rect.Height()));
    } else if (minimized && !was_min) {
        SendMessageA(hwnd, WM_SIZE, SIZE_MINIMIZED, 0);
    } else if (!minimized && was_min) {
        SendMessageA(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(rect.Width(), rect.Height()));
    }
    if (top) backend().show(hwnd, visible, minimized);
    wake_thread(thread);
    return was_visible;
}

BOOL UpdateWindow(HWND hwnd) {
    bool needs = false;
    {
        auto lock = lock_registry();
        Window* w = find_window(hwnd);
        if (!w) return FALSE;
        needs = !w->invalid.IsRectEmpty() && visible_with_ancestors(*w);
    }
    if (needs) SendMessageA(hwnd, WM_PAINT, 0, 0);
    return TRUE;
}

BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase) {
    std::vector<DWORD> threads;
    {
        auto lock = lock_registry();
        if (!hwnd || hwnd == kDesktop) {
            for (auto& [h, w] : registry().windows) {
                invalidate_locked(*w, client_rect(*w), erase);
                threads.push_back(w->thread);
            }
        } else {
            Window* w = find_window(hwnd);
            if (!w) {
                SetLastError(ERROR_INVALID_WINDOW_HANDLE);
                return FALSE;
            }
            invalidate_locked(*w, rect ? CRect(rect) : client_rect(*w), erase);
            threads.push_back(w->thread);
        }
    }
    std::sort(threads.begin(), threads.end());
    threads.erase(std::unique(threads.begin(), threads.end()), threads.end());
    for (DWORD t : threads)
        wake_thread(t);
    return TRUE;
}

BOOL ValidateRect(HWND hwnd, const RECT* rect) {
    auto lock = lock_registry();
    Window* w = find_window(hwnd);
    if (!w) return FALSE;
    if (!rect) {
        w->invalid.SetRectEmpty();
        w->erase = false;
        return TRUE;
    }
    // The update region is kept as one rectangle: validate fully covered edges only.
    CRect v(rect), inv = w->invalid;
    if (v.left <= inv.left && v.right >= inv.right) {
        if (v.top <= inv.top) inv.top = std::max(inv.top, v.bottom);
        if (v.bottom >= inv.bottom) inv.bottom = std::min(inv.bottom, v.top);
    }
    if (v.top <= inv.top && v.bottom >= inv.bottom) {
        if (v.left <= inv.left) inv.left = std::max(inv.left, v.right);
        if (v.right >= inv.right) inv.right = std::min(inv.right, v.left);
    }
    w->invalid = inv.IsRectEmpty() ? CRect() : inv;
    if (w->invalid.IsRectEmpty()) w->erase = false;
    return TRUE;
}

BOOL GetUpdateRect(HWND hwnd, LPRECT rect, BOOL) {
    auto lock = lock_registry();
    Window* w = find_window(hwnd);
    if (!w) return FALSE;
    if (rect) *rect = w->invalid;
    return !w->invalid.IsRectEmpty();
}

BOOL GetClientRect(HWND hwnd, LPRECT rect) {
    if (!rect) return FALSE;
    if (hwnd == kDesktop) {
        *rect = desktop_rect();
        return TRUE;
    }
    auto lock = lock_registry();
    Window* w = find_window(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    *rect = client_rect(*w);
    return TRUE;
}

BOOL GetWindowRect(HWND hwnd, LPRECT rect) {
    if (!rect) return FALSE;
    if (hwnd == kDesktop) {
        *rect = desktop_rect();
        return TRUE;
    }
    auto lock = lock_registry();
    Window* w = find_window(hwnd);
    if (!w) return FALSE;
    *rect = CRect(client_origin_on_screen(*w), w->rect.Size());
    return TRUE;
}

namespace {
// Moves a point by the window's client origin on the screen, forwards (+1) or back (-1).
BOOL shift_by_client_origin(HWND hwnd, LPPOINT point, int sign) {
    if (!point) return FALSE;
    if (hwnd == kDesktop) return TRUE;
    auto lock = lock_registry();
    Window* w = find_window(hwnd);
    if (!w) return FALSE;
    const POINT o = client_origin_on_screen(*w);
    point->x += sign * o.x;
    point->y += sign * o.y;
    return TRUE;
}
} // namespace

BOOL ClientToScreen(HWND hwnd, LPPOINT point) {
    return shift_by_client_origin(hwnd, point, 1);
}

BOOL ScreenToClient(HWND hwnd, LPPOINT point) {
    return shift_by_client_origin(hwnd, point, -1);
}

BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint) {
    Geometry g;
    if (!set_rect(hwnd, CRect(x, y, x + width, y + height), g)) return FALSE;
    notify_geometry(hwnd, g, repaint);
    return TRUE;
}

BOOL SetWindowPos(HWND hwnd, HWND insert_after, int x, int y, int cx, int cy, UINT flags) {
    CRect current;
    {
        auto lock = lock_registry();
        Window* w = find_window(hwnd);
        if (!w) return FALSE;
        current = w->rect;
        if (!(flags & SWP_NOZORDER) && is_top_level(*w)) {
            auto& list = registry().top_levels;
            if (insert_after == HWND_BOTTOM) {
                remove_handle(list, hwnd);
                list.insert(list.begin(), hwnd);
            } else if (insert_after == HWND_TOP || insert_after == HWND_TOPMOST) {
                remove_handle(list, hwnd);
                list.push_back(hwnd);
            }
        }
    }
    if (flags & SWP_NOMOVE) x = current.left, y = current.top;
    if (flags & SWP_NOSIZE) cx = current.Width(), cy = current.Height();
    Geometry g;
    if (!set_rect(hwnd, CRect(x, y, x + cx, y + cy), g)) return FALSE;
    notify_geometry(hwnd, g, !(flags & SWP_NOREDRAW));
    if (flags & SWP_SHOWWINDOW) ShowWindow(hwnd, (flags & SWP_NOACTIVATE) ? SW_SHOWNA : SW_SHOW);
    if (flags & SWP_HIDEWINDOW) ShowWindow(hwnd, SW_HIDE);
    return TRUE;
}

BOOL SetForegroundWindow(HWND hwnd) {
    bool visible = false, minimized = false;
    HWND top_handle = nullptr;
    {
        auto lock = lock_registry();
        Window* w = find_window(hwnd);
        Window* top = top_level_of(w);
        if (!top) return FALSE;
        bring_to_top_locked(*top);
        visible = top->style & WS_VISIBLE;
        minimized = top->minimized;
        top_handle = top->handle;
    }
    if (visible) backend().show(top_handle, true, minimized);
    return TRUE;
}

HWND GetForegroundWindow() {
    auto lock = lock_registry();
    return registry().active;
}

HWND GetActiveWindow() {
    return GetForegroundWindow();
}

HWND SetActiveWindow(HWND hwnd) {
    HWND previous = GetForegroundWindow();
    SetForegroundWindow(hwnd);
    return previous;
}

HWND SetFocus(HWND hwnd) {
    HWND previous = nullptr;
    {
        auto lock = lock_registry();
        if (hwnd && !find_window(hwnd)) return nullptr;
        previous = registry().focus;
        if (previous == hwnd) return previous;
        registry().focus = hwnd;
    }
    if (previous) SendMessageA(previous, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
    if (hwnd) SendMessageA(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(previous), 0);
    return previous;
}

HWND GetFocus() {
    auto lock = lock_registry();
    return registry().focus;
}

HWND SetCapture(HWND hwnd) {
    auto lock = lock_registry();
    HWND previous = registry().capture;
    if (find_window(hwnd)) registry().capture = hwnd;
    return previous;
}

BOOL ReleaseCapture() {
    HWND previous = nullptr;
    {
        auto lock = lock_registry();
        previous = registry().capture;
        registry().capture = nullptr;
    }
    if (previous) SendMessageA(previous, WM_CAPTURECHANGED, 0, 0);
    return TRUE;
}

HWND GetCapture() {
    auto lock = lock_registry();
    return registry().capture;
}

HWND GetParent(HWND hwnd) {
    auto lock = lock_registry();
    Window* w = find_window(hwnd);
    if (!w) return nullptr;
    return (w->style & WS_CHILD) ? w->parent : w->owner;
}

HWND GetDlgItem(HWND parent, int id) {
    auto lock = lock_registry();
    Window* w = find_window(parent);
    if (!w) return nullptr;
    for (HWND c : w->children) {
        Window* cw = find_window(c);
        if (cw && cw->id == id) return c;
    }
    return nullptr;
}

int GetDlgCtrlID(HWND hwnd) {
    auto lock = lock_registry();
    Window* w = find_window(hwnd);
    return w ? static_cast<int>(w->id) : 0;
}

HWND WindowFromPoint(POINT p) {
    auto lock = lock_registry();
    auto& list = registry().top_levels;
    for (auto it = list.rbegin(); it != list.rend(); ++it) {
        Window* w = find_window(*it);
        if (!w || !(w->style & WS_VISIBLE) || w->minimized || !w->rect.PtInRect(p)) continue;
        return hit_test_children(*w, POINT{p.x - w->rect.left, p.y - w->rect.top});
    }
    return kDesktop;
}

BOOL SetWindowTextA(HWND hwnd, LPCSTR text) {
    bool top = false;
    {
        auto lock = lock_registry();
        Window* w = find_window(hwnd);
        if (!w) return FALSE;
        w->text = text ? text : "";
        top = is_top_level(*w);
    }
    if (top) backend().set_title(hwnd, text ? text : "");
    return TRUE;
}

int GetWindowTextA(HWND hwnd, LPSTR buffer, int size) {
    if (!buffer || size <= 0) return 0;
    auto lock = lock_registry();
    Window* w = find_window(hwnd);
    if (!w) {
        buffer[0] = 0;
        return 0;
    }
    const int n = std::min<int>(size - 1, static_cast<int>(w->text.size()));
    std::memcpy(buffer, w->text.data(), n);
    buffer[n] = 0;
    return n;
}

int GetWindowTextLengthA(HWND hwnd) {
    auto lock = lock_registry();
    Window* w = find_window(hwnd);
    return w ? static_cast<int>(w->text.size()) : 0;
}

BOOL EnableWindow(HWND hwnd, BOOL enable) {
    bool was_disabled = false;
    {
        auto lock = lock_registry();
        Window* w = find_window(hwnd);
        if (!w) return FALSE;
        was_disabled = w->style & WS_DISABLED;
        w->style = enable ? (w->style & ~WS_DISABLED) : (w->style | WS_DISABLED);
        if (!enable && registry().focus == hwnd) registry().focus = nullptr;
    }
    if (was_disabled == !enable) return was_disabled;
    SendMessageA(hwnd, WM_ENABLE, enable, 0);
    return was_disabled;
}

LONG_PTR GetWindowLongPtrA(HWND hwnd, int index) {
    auto lock = lock_registry();
    Window* w = find_window(hwnd);
    if (!w) return 0;
    switch (index) {
    case GWLP_WNDPROC:
        return reinterpret_cast<LONG_PTR>(w->proc);
    case GWLP_HINSTANCE:
        return reinterpret_cast<LONG_PTR>(w->cls.instance);
    case GWLP_HWNDPARENT:
        return reinterpret_cast<LONG_PTR>((w->style & WS_CHILD) ? w->parent : w->owner);
    case GWLP_ID:
        return w->id;
    case GWL_STYLE:
        return static_cast<LONG_PTR>(w->style | (w->minimized ? WS_MINIMIZE : 0));
    case GWL_EXSTYLE:
        return w->ex_style;
    case GWLP_USERDATA:
        return w->user_data;
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
}

LONG_PTR SetWindowLongPtrA(HWND hwnd, int index, LONG_PTR value) {
    auto lock = lock_registry();
    Window* w = find_window(hwnd);
    if (!w) return 0;
    LONG_PTR previous = 0;
    switch (index) {
    case GWLP_WNDPROC:
        previous = reinterpret_cast<LONG_PTR>(w->proc);
        w->proc = reinterpret_cast<WNDPROC>(value);
        break;
    case GWLP_ID:
        std::swap(previous = value, w->id);
        break;
    case GWL_STYLE: // visibility changes go through ShowWindow
        previous = w->style;
        w->style = (static_cast<DWORD>(value) & ~WS_VISIBLE) | (w->style & WS_VISIBLE);
        break;
    case GWL_EXSTYLE:
        previous = w->ex_style;
        w->ex_style = static_cast<DWORD>(value);
        break;
    case GWLP_USERDATA:
        std::swap(previous = value, w->user_data);
        break;
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return previous;
}

LONG GetWindowLongA(HWND hwnd, int index) {
    return static_cast<LONG>(GetWindowLongPtrA(hwnd, index));
}

LONG SetWindowLongA(HWND hwnd, int index, LONG value) {
    return static_cast<LONG>(SetWindowLongPtrA(hwnd, index, value));
}

DWORD GetWindowThreadProcessId(HWND hwnd, LPDWORD process_id) {
    if (process_id) *process_id = 0;
    auto lock = lock_registry();
    Window* w = find_window(hwnd);
    return w ? w->thread : 0;
}

LRESULT CallWindowProcA(WNDPROC proc, HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    return proc ? proc(hwnd, message, wparam, lparam) : DefWindowProcA(hwnd, message, wparam, lparam);
}

LRESULT DefWindowProcA(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_NCCREATE:
        return TRUE;
    case WM_CLOSE:
        DestroyWindow(hwnd);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        if (BeginPaint(hwnd, &ps)) EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_ERASEBKGND: {
        HBRUSH brush = nullptr;
        {
            auto lock = lock_registry();
            if (Window* w = find_window(hwnd)) brush = w->cls.background;
        }
        if (!brush) return 0;
        RECT r;
        GetClientRect(hwnd, &r);
        return FillRect(reinterpret_cast<HDC>(wparam), &r, brush) ? 1 : 0;
    }
    case WM_SETCURSOR: {
        if (LOWORD(lparam) != HTCLIENT) return FALSE;
        HCURSOR cursor = nullptr;
        {
            auto lock = lock_registry();
            if (Window* w = find_window(hwnd)) cursor = w->cls.cursor;
        }
        if (cursor) SetCursor(cursor);
        return cursor ? TRUE : FALSE;
    }
    case WM_MOUSEWHEEL: {
        HWND parent = nullptr;
        {
            auto lock = lock_registry();
            Window* w = find_window(hwnd);
            if (w && !is_top_level(*w)) parent = w->parent;
        }
        return parent ? SendMessageA(parent, message, wparam, lparam) : 0;
    }
    default:
        return 0;
    }
}

HDC BeginPaint(HWND hwnd, LPPAINTSTRUCT paint) {
    if (!paint) return nullptr;
    CRect update;
    bool erase = false;
    std::shared_ptr<Surface> surface;
    POINT origin{};
    CRect clip;
    {
        auto lock = lock_registry();
        Window* w = find_window(hwnd);
        Window* top = top_level_of(w);
        if (!top) return nullptr;
        update = w->invalid;
        erase = w->erase;
        w->invalid.SetRectEmpty();
        w->erase = false;
        surface = top->surface;
        origin = offset_in_top_level(*w);
        CRect vis = visible_rect_in_top_level(*w);
        CRect upd = update;
        upd.OffsetRect(origin);
        clip.IntersectRect(&vis, &upd);
    }
    HDC dc = create_window_dc(hwnd, surface, origin, clip);
    *paint = PAINTSTRUCT{};
    paint->hdc = dc;
    paint->rcPaint = update;
    if (erase) paint->fErase = SendMessageA(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0) == 0;
    return dc;
}

BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* paint) {
    if (!paint) return FALSE;
    ReleaseDC(hwnd, paint->hdc);
    return TRUE;
}

HDC GetDC(HWND hwnd) {
    if (!hwnd || hwnd == kDesktop) return create_screen_dc();
    std::shared_ptr<Surface> surface;
    POINT origin{};
    CRect clip;
    {
        auto lock = lock_registry();
        Window* w = find_window(hwnd);
        Window* top = top_level_of(w);
        if (!top) return nullptr;
        surface = top->surface;
        origin = offset_in_top_level(*w);
        clip = visible_rect_in_top_level(*w);
    }
    return create_window_dc(hwnd, surface, origin, clip);
}

HDC GetWindowDC(HWND hwnd) {
    return GetDC(hwnd);
}

int ReleaseDC(HWND hwnd, HDC hdc) {
    bool window_dc = false;
    HWND owner = dc_window(hdc, &window_dc);
    if (!window_dc || (hwnd && owner != hwnd && hwnd != kDesktop)) return 0;
    delete_any_dc(hdc);
    if (owner) mark_dirty(owner);
    return 1;
}

int GetSystemMetrics(int index) {
    const CRect desk = desktop_rect();
    switch (index) {
    case SM_CXSCREEN:
        return desk.Width();
    case SM_CYSCREEN:
        return desk.Height();
    case SM_CXDOUBLECLK:
    case SM_CYDOUBLECLK:
        return 4;
    default:
        return 0;
    }
}

UINT GetDoubleClickTime() {
    return 500;
}
