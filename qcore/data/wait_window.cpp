#include <qcore/data/wait_window.h>
#include <qcore/platform/win32/app.h>
#include <qcore/platform/win32/gdi.h>
#include <qcore/platform/win32/input.h>
#include <qcore/platform/win32/message_box.h>
#include <qcore/platform/win32/mfc_types.h>

std::map<HWND, CWaitWindow*> CWaitWindow::s_map;

CWaitWindow::CWaitWindow(const char* message) : text(message) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = &CWaitWindow::s_window_proc;
    wc.hInstance = AfxGetInstanceHandle();
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.lpszClassName = "flash_wnd";
    RegisterClassA(&wc); // already registered by an earlier wait window: fine

    HWND desktop = GetDesktopWindow();
    if (!desktop) {
        AfxMessageBox("waitwnd AfxGetMainWnd return 0");
        return;
    }
    RECT r;
    GetWindowRect(desktop, &r);
    const CPoint centre = CRect(r).CenterPoint();
    hwnd = CreateWindowExA(0, "flash_wnd", "msg_wnd", WS_CHILD, centre.x - 140, centre.y - 30, 280, 60,
                           desktop, nullptr, AfxGetInstanceHandle(), nullptr);
    if (!hwnd) return;
    s_map[hwnd] = this;
    ShowWindow(hwnd, SW_SHOWNORMAL);
    SetForegroundWindow(hwnd);
    UpdateWindow(hwnd);
    InvalidateRect(hwnd, nullptr, TRUE);
}

CWaitWindow::~CWaitWindow() {
    if (!hwnd) return;
    s_map.erase(hwnd);
    DestroyWindow(hwnd);
    hwnd = nullptr;
}

void CWaitWindow::paint() const {
    HDC dc = GetDC(hwnd);
    RECT rc;
    GetClientRect(hwnd, &rc);
    FillRect(dc, &rc, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    HFONT font = CreateFontA(14, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, VARIABLE_PITCH, "Arial");
    HGDIOBJ old_font = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    DrawTextA(dc, text, -1, &rc, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
    FrameRect(dc, &rc, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    CRect inner(rc);
    inner.DeflateRect(4, 4);
    FrameRect(dc, &inner, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
    SelectObject(dc, old_font);
    DeleteObject(font);
    ReleaseDC(hwnd, dc);
}

LRESULT CALLBACK CWaitWindow::s_window_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    auto it = s_map.find(hwnd);
    if (it != s_map.end() && message == WM_PAINT) it->second->paint();
    return DefWindowProcA(hwnd, message, wparam, lparam);
}

CMyWaitCursor::CMyWaitCursor() : previous_(SetCursor(LoadCursorA(nullptr, IDC_WAIT))) {}

CMyWaitCursor::~CMyWaitCursor() {
    SetCursor(previous_);
}
