#include <qcore/data/wait_window.h>
#include <qcore/platform/win32/afxwin.h>
#include <qcore/platform/win32/input.h>

#include <gtest/gtest.h>

namespace {

CRect ink_of(const qcore::WindowImage& img, CRect area) {
    CRect r(area.right, area.bottom, area.left - 1, area.top - 1);
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x)
            if (img.at(x, y) != 0xFFFFFF)
                r.SetRect(std::min<int>(r.left, x), std::min<int>(r.top, y), std::max<int>(r.right, x + 1),
                          std::max<int>(r.bottom, y + 1));
    return r;
}

TEST(WaitWindow, CentredWithFramesAndCentredText) {
    CWaitWindow wait;
    EXPECT_EQ(wait.text, CString("Waiting..."));
    ASSERT_NE(wait.hwnd, nullptr);
    EXPECT_EQ(CWaitWindow::s_map.at(wait.hwnd), &wait);
    RECT r;
    GetWindowRect(wait.hwnd, &r);
    const qcore::DesktopMode mode = qcore::get_desktop_mode();
    EXPECT_EQ(CRect(r),
              CRect(mode.width / 2 - 140, mode.height / 2 - 30, mode.width / 2 + 140, mode.height / 2 + 30));
    EXPECT_TRUE(IsWindowVisible(wait.hwnd));
    peek_and_pump();
    const qcore::WindowImage img = qcore::capture_window(wait.hwnd);
    ASSERT_EQ(img.width, 280);
    ASSERT_EQ(img.height, 60);
    for (int x = 0; x < 280; ++x) {
        EXPECT_EQ(img.at(x, 0), 0u);
        EXPECT_EQ(img.at(x, 59), 0u);
    }
    EXPECT_EQ(img.at(0, 30), 0u);
    EXPECT_EQ(img.at(279, 30), 0u);
    EXPECT_EQ(img.at(4, 4), 0x808080u);
    EXPECT_EQ(img.at(275, 55), 0x808080u);
    EXPECT_EQ(img.at(4, 30), 0x808080u);
    EXPECT_EQ(img.at(2, 2), 0xFFFFFFu);
    EXPECT_EQ(img.at(10, 10), 0xFFFFFFu);
    const CRect text = ink_of(img, CRect(5, 5, 275, 55));
    ASSERT_FALSE(text.IsRectEmpty());
    EXPECT_NEAR((text.left + text.right) / 2.0, 140, 3);
    EXPECT_NEAR((text.top + text.bottom) / 2.0, 30, 4);
    EXPECT_LE(text.Height(), 14);
    EXPECT_GT(text.Width(), 40);
}

TEST(WaitWindow, DestructionRemovesTheWindow) {
    HWND h;
    {
        CWaitWindow wait("\xE8\xAF\xB7\xE7\xA8\x8D\xE5\x80\x99"); // 请稍候
        h = wait.hwnd;
        EXPECT_TRUE(IsWindow(h));
        CWaitWindow second("again"); // a second window reuses the class
        EXPECT_NE(second.hwnd, nullptr);
        EXPECT_EQ(CWaitWindow::s_map.size(), 2u);
    }
    EXPECT_FALSE(IsWindow(h));
    EXPECT_TRUE(CWaitWindow::s_map.empty());
    // A window of the class that is not in the map gets default handling only.
    HWND stray = CreateWindowExA(0, "flash_wnd", "", WS_POPUP | WS_VISIBLE, 0, 0, 8, 8, nullptr, nullptr,
                                 nullptr, nullptr);
    peek_and_pump();
    EXPECT_EQ(qcore::capture_window(stray).at(0, 0), 0u);
    DestroyWindow(stray);
}

TEST(WaitCursor, SetsWaitAndRestores) {
    HCURSOR arrow = LoadCursorA(nullptr, IDC_ARROW);
    SetCursor(arrow);
    {
        CMyWaitCursor busy;
        EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, IDC_WAIT));
        {
            CMyWaitCursor nested;
            EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, IDC_WAIT));
        }
        EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, IDC_WAIT));
    }
    EXPECT_EQ(GetCursor(), arrow);
}

} // namespace
