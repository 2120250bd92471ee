#pragma once
// A hidden top-level window with a window procedure of the caller's choice, to receive posted messages.
#include <qcore/platform/win32/window.h>

class CThreadWindow {
public:
    CThreadWindow() = default;
    ~CThreadWindow();
    CThreadWindow(const CThreadWindow&) = delete;
    CThreadWindow& operator=(const CThreadWindow&) = delete;

    // Replaces any window this object has: registers the class (an existing class of that name is reused),
    // creates the hidden window owned by `parent`. 1 on success, 0 with a null handle on failure.
    int create_thread_window(HWND parent, const char* class_name, WNDPROC proc);
    void destroy_thread_window();
    HWND get_hwnd() const { return hwnd; }

private:
    HWND hwnd = nullptr;
};
