#include <qcore/platform/win32/gdi.h>
#include <qcore/platform/win32/hresult.h>
#include <qcore/platform/win32/input.h>
#include <qcore/platform/win32/last_error.h>
#include <qcore/platform/win32/mfc_types.h>
#include <qcore/platform/win32/window.h>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

std::vector<std::pair<HWND, UINT>> g_seen;

LRESULT CALLBACK recording_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    g_seen.emplace_back(hwnd, message);
    if (message == WM_PAINT) {
        PAINTSTRUCT ps;
        BeginPaint(hwnd, &ps);
        EndPaint(hwnd, &ps);
        return 0;
    }
    return DefWindowProcA(hwnd, message, wparam, lparam);
}

class WindowMore : public testing::Test {
protected:
    void SetUp() override {
        WNDCLASSA wc{};
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = recording_proc;
        wc.lpszClassName = "test_more";
        RegisterClassA(&wc);
        g_seen.clear();
        qcore::reset_input_state();
    }
    void TearDown() override {
        for (HWND h : made)
            if (IsWindow(h)) DestroyWindow(h);
        pump();
    }
    HWND make(DWORD style, int x, int y, int w, int h, HWND parent = nullptr) {
        HWND hwnd = CreateWindowExA(0, "test_more", "", style, x, y, w, h, parent, nullptr, nullptr, nullptr);
        made.push_back(hwnd);
        return hwnd;
    }
    static void pump() {
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&m);
            DispatchMessageA(&m);
        }
    }
    static std::vector<HWND> painted() {
        std::vector<HWND> out;
        for (auto& [h, m] : g_seen)
            if (m == WM_PAINT) out.push_back(h);
        return out;
    }
    std::vector<HWND> made;
};

TEST_F(WindowMore, ParentsPaintBeforeChildrenAndClipChildrenKeepsChildrenValid) {
    HWND top = make(WS_POPUP | WS_VISIBLE, 0, 0, 50, 50);
    HWND child = make(WS_CHILD | WS_VISIBLE, 10, 10, 10, 10, top);
    pump();
    EXPECT_EQ(painted(), (std::vector<HWND>{top, child}));
    g_seen.clear();
    InvalidateRect(top, nullptr, FALSE); // no WS_CLIPCHILDREN: the child under it repaints too
    pump();
    EXPECT_EQ(painted(), (std::vector<HWND>{top, child}));
    SetWindowLongPtrA(top, GWL_STYLE, GetWindowLongPtrA(top, GWL_STYLE) | WS_CLIPCHILDREN);
    g_seen.clear();
    InvalidateRect(top, nullptr, FALSE);
    pump();
    EXPECT_EQ(painted(), (std::vector<HWND>{top}));
    RECT outside{40, 40, 50, 50}; // does not touch the child
    SetWindowLongPtrA(top, GWL_STYLE, GetWindowLongPtrA(top, GWL_STYLE) & ~WS_CLIPCHILDREN);
    g_seen.clear();
    InvalidateRect(top, &outside, FALSE);
    pump();
    EXPECT_EQ(painted(), (std::vector<HWND>{top}));
}

TEST_F(WindowMore, PartialValidationKeepsTheRest) {
    HWND h = make(WS_POPUP, 0, 0, 20, 20);
    InvalidateRect(h, nullptr, FALSE);
    RECT left_half{0, 0, 10, 20};
    ValidateRect(h, &left_half);
    RECT upd;
    ASSERT_TRUE(GetUpdateRect(h, &upd, FALSE));
    EXPECT_EQ(CRect(upd), CRect(10, 0, 20, 20));
    RECT middle{5, 5, 8, 8}; // inside: the bounding rectangle cannot shrink
    ValidateRect(h, &middle);
    GetUpdateRect(h, &upd, FALSE);
    EXPECT_EQ(CRect(upd), CRect(10, 0, 20, 20));
}

TEST_F(WindowMore, OnlyTheOwnerThreadDestroysAndFiltersSelectWindows) {
    HWND a = make(WS_POPUP, 0, 0, 5, 5);
    HWND b = make(WS_POPUP, 0, 0, 5, 5);
    BOOL destroyed = TRUE;
    DWORD error = 0;
    std::thread other([&] {
        destroyed = DestroyWindow(a);
        error = GetLastError();
    });
    other.join();
    EXPECT_FALSE(destroyed);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_ACCESS_DENIED));
    PostMessageA(a, WM_APP, 1, 0);
    PostMessageA(b, WM_APP, 2, 0);
    MSG m;
    ASSERT_TRUE(PeekMessageA(&m, b, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.wParam, 2u);
    ASSERT_TRUE(PeekMessageA(&m, nullptr, WM_APP, WM_APP, PM_NOREMOVE));
    EXPECT_EQ(m.wParam, 1u);
    ASSERT_TRUE(PeekMessageA(&m, nullptr, WM_APP, WM_APP, PM_REMOVE)); // still there after a look
    EXPECT_EQ(GetMessageA(&m, reinterpret_cast<HWND>(0x1234), 0, 0), -1);
}

TEST_F(WindowMore, KeysTranslateToCharactersAndToggle) {
    HWND h = make(WS_POPUP | WS_VISIBLE, 0, 0, 5, 5);
    SetFocus(h);
    const SHORT before = GetKeyState(VK_CAPITAL);
    qcore::inject_key(VK_CAPITAL, true);
    qcore::inject_key(VK_CAPITAL, false);
    EXPECT_NE(GetKeyState(VK_CAPITAL) & 1, before & 1);
    g_seen.clear();
    qcore::inject_key('A', true);
    pump();
    bool got_char = false;
    for (auto& [w, msg] : g_seen)
        got_char |= msg == WM_CHAR;
    EXPECT_TRUE(got_char);
    qcore::inject_key('A', false);
    qcore::inject_key(VK_LMENU, true); // with Alt held keys come as system keys
    g_seen.clear();
    qcore::inject_key('F', true);
    pump();
    bool sys = false;
    for (auto& [w, msg] : g_seen)
        sys |= msg == WM_SYSKEYDOWN;
    EXPECT_TRUE(sys);
    qcore::reset_input_state();
}

TEST_F(WindowMore, DisabledWindowsGetNoMouseInput) {
    HWND h = make(WS_POPUP | WS_VISIBLE, 300, 300, 20, 20);
    EnableWindow(h, FALSE);
    g_seen.clear();
    qcore::inject_mouse_button(qcore::MouseButton::left, true, 305, 305);
    pump();
    for (auto& [w, msg] : g_seen)
        EXPECT_NE(msg, static_cast<UINT>(WM_LBUTTONDOWN));
    qcore::reset_input_state();
}

TEST_F(WindowMore, SurfacesKeepContentWhenResizedAndOpenAccessSurvives) {
    HWND h = make(WS_POPUP | WS_VISIBLE, 0, 0, 4, 4);
    pump();
    auto s = qcore::detail::WindowSurface::open(h);
    s.pixels[1 * 4 + 1] = 0xABCDEF;
    MoveWindow(h, 0, 0, 8, 2, FALSE);
    EXPECT_EQ(qcore::capture_window(h).at(1, 1), 0xABCDEFu);
    s.pixels[0] = 1; // the old buffer stays valid for the holder of the access
    s.present();     // and presenting a stale buffer shows nothing
    EXPECT_EQ(qcore::capture_window(h).width, 8);
    DestroyWindow(h);
    s.pixels[2] = 2;
}

TEST_F(WindowMore, TextAlignmentAndOpaqueRectangles) {
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bmp = CreateCompatibleBitmap(dc, 100, 40);
    HGDIOBJ old = SelectObject(dc, bmp);
    HFONT f = CreateFontA(20, 0, 0, 0, FW_BOLD, 0, 0, 0, 0, 0, 0, NONANTIALIASED_QUALITY, 0, "Arial");
    HGDIOBJ old_font = SelectObject(dc, f);
    TEXTMETRICA tm;
    ASSERT_TRUE(GetTextMetricsA(dc, &tm));
    EXPECT_EQ(tm.tmHeight, 20);
    EXPECT_EQ(tm.tmAscent + tm.tmDescent, 20);
    SetBkColor(dc, RGB(255, 0, 0));
    RECT box{0, 0, 100, 40};
    ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &box, "", 0, nullptr);
    EXPECT_EQ(GetPixel(dc, 99, 39), RGB(255, 0, 0));
    SetTextColor(dc, RGB(0, 0, 255));
    SetBkMode(dc, TRANSPARENT);
    SetTextAlign(dc, TA_RIGHT | TA_BASELINE);
    TextOutA(dc, 50, 30, "I", 1);
    int right_most = -1, lowest = -1;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 100; ++x)
            if (GetPixel(dc, x, y) == RGB(0, 0, 255))
                right_most = std::max(right_most, x), lowest = std::max(lowest, y);
    EXPECT_LT(right_most, 50); // right-aligned at x = 50
    EXPECT_LE(lowest, 29);     // standing on the baseline at y = 30
    EXPECT_GE(lowest, 27);
    SelectObject(dc, old_font);
    DeleteObject(f);
    SelectObject(dc, old);
    DeleteObject(bmp);
    DeleteDC(dc);
}

TEST_F(WindowMore, SavedDcStatesComeBack) {
    HDC dc = CreateCompatibleDC(nullptr);
    HPEN red = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
    const int saved = SaveDC(dc);
    SelectObject(dc, red);
    SetTextColor(dc, RGB(1, 2, 3));
    EXPECT_TRUE(RestoreDC(dc, saved));
    EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), GetStockObject(BLACK_PEN));
    EXPECT_EQ(GetTextColor(dc), 0u);
    EXPECT_TRUE(DeleteObject(red)); // no longer selected anywhere
    EXPECT_FALSE(RestoreDC(dc, saved));
    DeleteDC(dc);
}

} // namespace
