#include <qcore/core/thread_window.h>
#include <qcore/platform/win32/mfc_types.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

std::atomic<int> g_received{0};

LRESULT CALLBACK counting_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_APP + 5) g_received += static_cast<int>(wparam);
    return DefWindowProcA(hwnd, message, wparam, lparam);
}

TEST(ThreadWindow, HiddenWindowReceivesMessagesPostedFromAnotherThread) {
    CThreadWindow tw;
    EXPECT_EQ(tw.get_hwnd(), nullptr);
    ASSERT_EQ(tw.create_thread_window(nullptr, "test_thread_wnd", counting_proc), 1);
    HWND h = tw.get_hwnd();
    ASSERT_NE(h, nullptr);
    EXPECT_FALSE(IsWindowVisible(h));
    char title[32];
    GetWindowTextA(h, title, sizeof title);
    EXPECT_STREQ(title, "qvx_thread_window");
    RECT r;
    GetWindowRect(h, &r);
    EXPECT_EQ(CRect(r), CRect(0, 0, 100, 100));
    g_received = 0;
    std::thread worker([h] {
        for (int i = 0; i < 10; ++i)
            PostMessageA(h, WM_APP + 5, 1, 0);
    });
    worker.join();
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);
    EXPECT_EQ(g_received, 10);
    // Creating again replaces the window (the class of that name already exists).
    ASSERT_EQ(tw.create_thread_window(nullptr, "test_thread_wnd", counting_proc), 1);
    EXPECT_FALSE(IsWindow(h));
    h = tw.get_hwnd();
    tw.destroy_thread_window();
    EXPECT_EQ(tw.get_hwnd(), nullptr);
    EXPECT_FALSE(IsWindow(h));
}

TEST(ThreadWindow, FailedCreationLeavesNoHandle) {
    CThreadWindow tw;
    EXPECT_EQ(tw.create_thread_window(nullptr, nullptr, counting_proc), 0);
    EXPECT_EQ(tw.get_hwnd(), nullptr);
}

} // namespace
