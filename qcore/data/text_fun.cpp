#include <qcore/data/text_fun.h>
#include <qcore/platform/win32/afxwin.h>
#include <qcore/platform/win32/string_resources.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

#ifndef BM_SETCHECK
#define BM_SETCHECK 0x00F1u
#endif

CString float_to_str(float value, BOOL full) {
    CString text;
    text.Format(full ? "%f" : "%.3f", value);
    return text;
}

CString int_to_str(int value) {
    CString text;
    text.Format("%d", value);
    return text;
}

CString vec_to_str(const VEC& v) {
    CString text;
    text.Format("%.3f,%.3f,%.3f", v.x, v.y, v.z);
    return text;
}

void get_str_items(const char* text, const char* separators, std::vector<CString>& items) {
    items.clear();
    if (!text) return;
    const char* seps = separators ? separators : "";
    for (const char* p = text; *p;) {
        const size_t n = std::strcspn(p, seps);
        if (n > 0) items.emplace_back(p, static_cast<int>(n));
        p += n;
        if (*p) ++p;
    }
}

CString window_to_str(CWnd* window) {
    CString text;
    if (window) window->GetWindowText(text);
    return text;
}

float window_to_float(CWnd* window) {
    return std::strtof(window_to_str(window), nullptr);
}

int window_to_int(CWnd* window) {
    return qcore::text_to_int(window_to_str(window));
}

int qcore::text_to_int(const char* text) {
    const long long n = text ? std::strtoll(text, nullptr, 10) : 0;
    return static_cast<int>(std::clamp<long long>(n, INT_MIN, INT_MAX));
}

void set_window_text(CWnd* window, const char* text) {
    if (window) window->SetWindowText(text ? text : "");
}

void enable_window(CWnd* window, BOOL enable) {
    if (window) window->EnableWindow(enable);
}

void show_window(CWnd* window, BOOL show) {
    if (window) window->ShowWindow(show ? SW_SHOW : SW_HIDE);
}

void check_button(CWnd* window, BOOL checked) {
    if (window) window->SendMessage(BM_SETCHECK, checked ? 1 : 0, 0);
}

CString load_string(UINT id, CWinApp*) {
    char buffer[4096];
    return LoadStringA(AfxGetResourceHandle(), id, buffer, sizeof(buffer)) > 0 ? CString(buffer) : CString();
}
