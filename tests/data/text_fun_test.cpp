#include <qcore/data/text_fun.h>
#include <qcore/platform/win32/afxwin.h>
#include <qcore/platform/win32/string_resources.h>

#include <gtest/gtest.h>

namespace {

UINT g_last_check = 99;

LRESULT CALLBACK check_box_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == 0x00F1u) g_last_check = static_cast<UINT>(wparam); // BM_SETCHECK
    return DefWindowProcA(hwnd, message, wparam, lparam);
}

TEST(TextFun, NumbersAndVectors) {
    EXPECT_EQ(float_to_str(1.23456f, FALSE), "1.235");
    EXPECT_EQ(float_to_str(1.5f, TRUE), "1.500000");
    EXPECT_EQ(int_to_str(-7), "-7");
    EXPECT_EQ(vec_to_str(VEC(1, 2.5f, -3)), "1.000,2.500,-3.000");
    EXPECT_EQ(qcore::text_to_int(" 12x"), 12);
    EXPECT_EQ(qcore::text_to_int("-99999999999"), INT_MIN);
    EXPECT_EQ(qcore::text_to_int(nullptr), 0);
}

TEST(TextFun, SplitsIntoNonEmptyItems) {
    std::vector<CString> items{"old"};
    get_str_items(",a;;b c,,", ",; ", items);
    EXPECT_EQ(items, (std::vector<CString>{"a", "b", "c"}));
    get_str_items("whole", "", items);
    EXPECT_EQ(items, std::vector<CString>{"whole"});
    get_str_items(nullptr, ",", items);
    EXPECT_TRUE(items.empty());
}

TEST(TextFun, ControlsAndStrings) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = check_box_proc;
    wc.lpszClassName = "text_fun_test_control";
    RegisterClassA(&wc);
    CWnd control;
    ASSERT_TRUE(control.CreateEx(0, "text_fun_test_control", "", 0, 0, 0, 10, 10, nullptr, nullptr));
    set_window_text(&control, " 42.5 ");
    EXPECT_EQ(window_to_str(&control), " 42.5 ");
    EXPECT_EQ(window_to_float(&control), 42.5f);
    EXPECT_EQ(window_to_int(&control), 42);
    enable_window(&control, FALSE);
    EXPECT_FALSE(IsWindowEnabled(control.GetSafeHwnd()));
    show_window(&control, TRUE);
    EXPECT_TRUE(IsWindowVisible(control.GetSafeHwnd()));
    show_window(&control, FALSE);
    EXPECT_FALSE(IsWindowVisible(control.GetSafeHwnd()));
    check_button(&control, TRUE);
    EXPECT_EQ(g_last_check, 1u);
    control.DestroyWindow();
    EXPECT_EQ(window_to_str(nullptr), "");
    EXPECT_EQ(window_to_int(nullptr), 0);

    qcore::register_string_resource(3001, "材质库");
    EXPECT_EQ(load_string(3001), "材质库");
    EXPECT_EQ(load_string(3002), "");
    char small[4];
    EXPECT_EQ(LoadStringA(nullptr, 3001, small, sizeof(small)), 3);
    qcore::register_string_resource(3001, nullptr);
    EXPECT_EQ(load_string(3001), "");
}

} // namespace
