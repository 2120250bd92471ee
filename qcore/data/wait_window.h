#pragma once
// Two helpers for the user's patience: a centred pop-up window asking to wait, and a scoped hourglass cursor.
#include <qcore/platform/win32/cstring.h>
#include <qcore/platform/win32/window.h>

#include <map>

// Shows a 280 x 60 window in the middle of the desktop with the text, a black frame and a grey inner frame,
// from construction to destruction. User-interface thread only.
class CWaitWindow {
public:
    explicit CWaitWindow(const char* text = "Waiting...");
    ~CWaitWindow();
    CWaitWindow(const CWaitWindow&) = delete;
    CWaitWindow& operator=(const CWaitWindow&) = delete;

    static LRESULT CALLBACK s_window_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
    static std::map<HWND, CWaitWindow*> s_map;

    CString text;
    HWND hwnd = nullptr;

private:
    void paint() const;
};

// Shows the wait cursor while it lives and puts the previous cursor back.
class CMyWaitCursor {
public:
    CMyWaitCursor();
    ~CMyWaitCursor();
    CMyWaitCursor(const CMyWaitCursor&) = delete;
    CMyWaitCursor& operator=(const CMyWaitCursor&) = delete;

private:
    HCURSOR previous_ = nullptr;
};
