#pragma once
// The window system's backend: what differs between memory-only windows and real ones. The window registry
// calls it on the thread that owns the window; the backend turns native events into window messages.
#include <qcore/platform/win32/types.h>

#include <cstdint>

namespace qcore::detail {

class Backend {
public:
    virtual ~Backend() = default;
    // A top-level window appeared; `rect` is in screen coordinates.
    virtual void create(HWND hwnd, const RECT& rect, const char* title, DWORD style) = 0;
    virtual void destroy(HWND hwnd) = 0;
    virtual void show(HWND hwnd, bool visible, bool minimized) = 0;
    virtual void move(HWND hwnd, const RECT& rect) = 0;
    virtual void set_title(HWND hwnd, const char* title) = 0;
    // Shows a top-level surface (XRGB, top row first).
    virtual void present(HWND hwnd, const uint32_t* pixels, int width, int height, int pitch) = 0;
    // Turns pending native events into window messages; called by the queue functions.
    virtual void pump() = 0;
    // True when GetMessageA must poll (native events do not wake the queue).
    virtual bool needs_polling() const = 0;
    virtual void set_cursor(HCURSOR cursor) = 0;
    virtual void set_cursor_pos(int x, int y) = 0;
};

// The system cursor resource number of a cursor handle (32512 for IDC_ARROW, ...), 0 for others.
int cursor_shape_id(HCURSOR cursor);

// The backend in use (headless until another one is chosen).
Backend& backend();
// Factories; the SDL one returns null when SDL cannot start.
Backend* headless_backend();
Backend* sdl_backend();

} // namespace qcore::detail
