#pragma once
// Internal: the records behind HWNDs, shared by the window, message, input and GDI code. All fields are
// guarded by registry().mutex; window procedures and the backend are never called with it held.
#include <qcore/platform/win32/cstring.h>
#include <qcore/platform/win32/mfc_types.h>
#include <qcore/platform/win32/window.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace qcore::detail {

struct Surface {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
    void resize(int w, int h);
};

struct WindowClass {
    std::string name;
    WNDPROC proc = nullptr;
    HINSTANCE instance = nullptr;
    HCURSOR cursor = nullptr;
    HBRUSH background = nullptr;
    HICON icon = nullptr;
    UINT style = 0;
};

struct Window {
    HWND handle = nullptr;
    WindowClass cls;
    WNDPROC proc = nullptr;
    HWND parent = nullptr; // the desktop window for top-level children of the desktop
    HWND owner = nullptr;
    DWORD style = 0;
    DWORD ex_style = 0;
    CRect rect; // in the parent's client coordinates; screen coordinates for top-level windows
    std::string text;
    DWORD thread = 0;
    CRect invalid; // update region (its bounding box), client coordinates
    bool erase = false;
    bool minimized = false;
    bool destroying = false;
    bool dirty = false; // drawn since last shown
    unsigned presents = 0;
    LONG_PTR user_data = 0;
    LONG_PTR id = 0;
    std::shared_ptr<Surface> surface; // top-level windows only
    std::vector<HWND> children;       // bottom to top
};

struct Registry {
    std::mutex mutex;
    std::unordered_map<HWND, std::unique_ptr<Window>> windows;
    std::vector<HWND> top_levels; // bottom to top
    std::map<CString, WindowClass, NoCaseLess> classes;
    uintptr_t next_handle = 1;
    HWND focus = nullptr;
    HWND capture = nullptr;
    HWND active = nullptr;
};

Registry& registry();
// With the registry locked:
Window* find_window(HWND hwnd);
bool is_top_level(const Window& w);
Window* top_level_of(Window* w);
POINT client_origin_on_screen(const Window& w);
// The window's client area inside its top-level surface, and its visible part there (clipped by ancestors).
POINT offset_in_top_level(const Window& w);
CRect visible_rect_in_top_level(const Window& w);
bool visible_with_ancestors(const Window& w);
bool is_child_locked(HWND parent, HWND hwnd);

// Registers a hook run right after a window record exists and before WM_NCCREATE, on this thread
// (the framework's window objects attach themselves here).
using CreateHook = void (*)(HWND hwnd, void* context);
void set_create_hook(CreateHook hook, void* context);

// Marks a window's top-level surface as drawn so that the next pump shows it.
void mark_dirty(HWND hwnd);
// Shows the drawn top-level windows of the calling thread.
void present_dirty_windows();
// A window of the calling thread that needs WM_PAINT, or null.
HWND window_needing_paint(DWORD thread, HWND filter);
// Wakes the queue of the thread owning the window (after an invalidation).
void wake_thread(DWORD thread);

} // namespace qcore::detail

namespace qcore::detail {
// Calls the window's procedure on the calling thread (0 for an invalid window).
LRESULT call_window_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
// The thread's queue exists from now on (creating a window or using a queue function makes it).
void ensure_queue();
// Appends a message to the queue of the given thread; false when that thread has no queue.
bool post_to_thread(DWORD thread, const MSG& msg);
// Window DCs (in gdi.cpp): drawing goes to the top-level surface at `origin`, clipped to `clip`, both in
// surface coordinates.
HDC create_window_dc(HWND hwnd, std::shared_ptr<Surface> surface, POINT origin, const RECT& clip);
HDC create_screen_dc();
// The window of a window DC (null for other DCs and invalid handles) and its release.
HWND dc_window(HDC hdc, bool* is_window_dc);
BOOL delete_any_dc(HDC hdc);
} // namespace qcore::detail
