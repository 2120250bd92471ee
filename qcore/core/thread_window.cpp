#include <qcore/core/thread_window.h>
#include <qcore/platform/win32/app.h>
#include <qcore/platform/win32/gdi.h>
#include <qcore/platform/win32/input.h>

CThreadWindow::~CThreadWindow() {
    destroy_thread_window();
}

int CThreadWindow::create_thread_window(HWND parent, const char* class_name, WNDPROC proc) {
    destroy_thread_window();
    WNDCLASSA wc{};
    wc.lpfnWndProc = proc;
    wc.hInstance = AfxGetInstanceHandle();
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = class_name;
    RegisterClassA(&wc);
    hwnd = CreateWindowExA(0, class_name, "qvx_thread_window", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0,
                           100, 100, parent, nullptr, AfxGetInstanceHandle(), nullptr);
    if (!hwnd) return 0;
    ShowWindow(hwnd, SW_HIDE);
    return 1;
}

void CThreadWindow::destroy_thread_window() {
    if (hwnd) DestroyWindow(hwnd);
    hwnd = nullptr;
}
