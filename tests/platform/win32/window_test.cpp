#include <qcore/platform/win32/gdi.h>
#include <qcore/platform/win32/hresult.h>
#include <qcore/platform/win32/input.h>
#include <qcore/platform/win32/last_error.h>
#include <qcore/platform/win32/mfc_types.h>
#include <qcore/platform/win32/window.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

struct Seen {
    UINT message;
    WPARAM wparam;
    LPARAM lparam;
};
thread_local std::vector<Seen>* t_log = nullptr;

LRESULT CALLBACK logging_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (t_log) t_log->push_back({message, wparam, lparam});
    return DefWindowProcA(hwnd, message, wparam, lparam);
}

void register_once(const char* name, UINT style = 0, HBRUSH brush = nullptr) {
    WNDCLASSA wc{};
    wc.style = style;
    wc.lpfnWndProc = logging_proc;
    wc.lpszClassName = name;
    wc.hbrBackground = brush;
    RegisterClassA(&wc);
}

int count(const std::vector<Seen>& log, UINT message) {
    int n = 0;
    for (const auto& s : log)
        n += s.message == message;
    return n;
}

void pump() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

class WindowTest : public testing::Test {
protected:
    void SetUp() override {
        t_log = &log;
        register_once("test_logging");
    }
    void TearDown() override {
        for (HWND h : windows)
            if (IsWindow(h)) DestroyWindow(h);
        pump();
        t_log = nullptr;
    }
    HWND make(DWORD style, int x, int y, int w, int h, HWND parent = nullptr,
              const char* cls = "test_logging") {
        HWND hwnd = CreateWindowExA(0, cls, "t", style, x, y, w, h, parent, nullptr, nullptr, nullptr);
        windows.push_back(hwnd);
        return hwnd;
    }
    std::vector<Seen> log;
    std::vector<HWND> windows;
};

TEST_F(WindowTest, ClassRegistrationRefusesDuplicatesWithoutCase) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = logging_proc;
    wc.lpszClassName = "Dup_Class";
    ASSERT_NE(RegisterClassA(&wc), 0);
    wc.lpszClassName = "dup_class";
    EXPECT_EQ(RegisterClassA(&wc), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));
    EXPECT_TRUE(UnregisterClassA("DUP_CLASS", nullptr));
    EXPECT_EQ(CreateWindowExA(0, "dup_class", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr),
              nullptr);
}

TEST_F(WindowTest, CreationSendsCreateSizeAndChildNeedsParent) {
    HWND h = make(WS_POPUP, 10, 20, 300, 200);
    ASSERT_NE(h, nullptr);
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log[0].message, WM_NCCREATE);
    EXPECT_EQ(log[1].message, WM_CREATE);
    EXPECT_EQ(log[2].message, WM_SIZE);
    EXPECT_EQ(log[2].lparam, MAKELPARAM(300, 200));
    EXPECT_EQ(
        CreateWindowExA(0, "test_logging", "", WS_CHILD, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr),
        nullptr);
    RECT r;
    GetWindowRect(h, &r);
    EXPECT_EQ(CRect(r), CRect(10, 20, 310, 220));
    GetClientRect(h, &r);
    EXPECT_EQ(CRect(r), CRect(0, 0, 300, 200));
}

TEST_F(WindowTest, ChildCoordinatesAndDestructionOrder) {
    HWND top = make(WS_POPUP | WS_VISIBLE, 100, 50, 400, 300);
    HWND child = make(WS_CHILD | WS_VISIBLE, 30, 40, 100, 100, top);
    HWND grand = make(WS_CHILD | WS_VISIBLE, 5, 6, 10, 10, child);
    POINT p{1, 2};
    ClientToScreen(grand, &p);
    EXPECT_EQ(p.x, 100 + 30 + 5 + 1);
    EXPECT_EQ(p.y, 50 + 40 + 6 + 2);
    ScreenToClient(child, &p);
    EXPECT_EQ(p.x, 6);
    EXPECT_EQ(WindowFromPoint(POINT{136, 97}), grand);
    EXPECT_EQ(WindowFromPoint(POINT{101, 51}), top);
    EXPECT_EQ(GetParent(grand), child);
    EXPECT_TRUE(IsChild(top, grand));
    log.clear();
    EXPECT_TRUE(DestroyWindow(top));
    EXPECT_FALSE(IsWindow(child));
    EXPECT_FALSE(IsWindow(grand));
    EXPECT_EQ(count(log, WM_DESTROY), 3);
    EXPECT_EQ(count(log, WM_NCDESTROY), 3);
    EXPECT_EQ(log.back().message, WM_NCDESTROY); // the parent's comes after its children's
}

TEST_F(WindowTest, OwnedWindowsDieWithTheirOwner) {
    HWND owner = make(WS_OVERLAPPEDWINDOW, 0, 0, 100, 100);
    HWND owned = make(WS_POPUP, 0, 0, 10, 10, owner);
    EXPECT_EQ(GetParent(owned), owner);
    DestroyWindow(owner);
    EXPECT_FALSE(IsWindow(owned));
}

TEST_F(WindowTest, PaintFollowsInvalidationAndErasesWithClassBrush) {
    register_once("test_red", 0, CreateSolidBrush(RGB(255, 0, 0)));
    HWND h = make(WS_POPUP | WS_VISIBLE, 0, 0, 40, 30, nullptr, "test_red");
    pump();
    EXPECT_EQ(count(log, WM_PAINT), 1);
    EXPECT_EQ(count(log, WM_ERASEBKGND), 1);
    EXPECT_EQ(qcore::capture_window(h).at(39, 29), 0xFF0000u);
    pump();
    EXPECT_EQ(count(log, WM_PAINT), 1); // validated: no second paint
    RECT part{0, 0, 5, 5};
    InvalidateRect(h, &part, FALSE);
    RECT upd;
    EXPECT_TRUE(GetUpdateRect(h, &upd, FALSE));
    EXPECT_EQ(CRect(upd), CRect(0, 0, 5, 5));
    pump();
    EXPECT_EQ(count(log, WM_PAINT), 2);
    EXPECT_EQ(count(log, WM_ERASEBKGND), 1);
    InvalidateRect(h, nullptr, TRUE);
    ValidateRect(h, nullptr);
    pump();
    EXPECT_EQ(count(log, WM_PAINT), 2);
    EXPECT_GE(qcore::window_present_count(h), 1u);
}

TEST_F(WindowTest, HiddenWindowsGetNoPaintUntilShown) {
    HWND h = make(WS_POPUP, 0, 0, 10, 10);
    InvalidateRect(h, nullptr, TRUE);
    pump();
    EXPECT_EQ(count(log, WM_PAINT), 0);
    EXPECT_FALSE(ShowWindow(h, SW_SHOW));
    EXPECT_TRUE(IsWindowVisible(h));
    UpdateWindow(h);
    EXPECT_EQ(count(log, WM_PAINT), 1);
}

TEST_F(WindowTest, SizeMessagesForMoveMinimiseAndRestore) {
    HWND h = make(WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 100, 100);
    log.clear();
    MoveWindow(h, 0, 0, 120, 80, TRUE);
    ASSERT_EQ(count(log, WM_SIZE), 1);
    ShowWindow(h, SW_MINIMIZE);
    EXPECT_TRUE(IsIconic(h));
    ShowWindow(h, SW_RESTORE);
    EXPECT_FALSE(IsIconic(h));
    std::vector<Seen> sizes;
    for (auto& s : log)
        if (s.message == WM_SIZE) sizes.push_back(s);
    ASSERT_EQ(sizes.size(), 3u);
    EXPECT_EQ(sizes[0].wparam, static_cast<WPARAM>(SIZE_RESTORED));
    EXPECT_EQ(sizes[0].lparam, MAKELPARAM(120, 80));
    EXPECT_EQ(sizes[1].wparam, static_cast<WPARAM>(SIZE_MINIMIZED));
    EXPECT_EQ(sizes[2].wparam, static_cast<WPARAM>(SIZE_RESTORED));
    EXPECT_EQ(sizes[2].lparam, MAKELPARAM(120, 80));
    SetWindowPos(h, HWND_TOP, 5, 5, 0, 0, SWP_NOSIZE);
    RECT r;
    GetWindowRect(h, &r);
    EXPECT_EQ(CRect(r), CRect(5, 5, 125, 85));
}

TEST_F(WindowTest, FocusCaptureTextAndEnable) {
    HWND a = make(WS_POPUP | WS_VISIBLE, 0, 0, 10, 10);
    HWND b = make(WS_POPUP | WS_VISIBLE, 0, 0, 10, 10);
    EXPECT_EQ(SetFocus(a), nullptr);
    EXPECT_EQ(SetFocus(b), a);
    EXPECT_EQ(GetFocus(), b);
    EXPECT_EQ(SetCapture(a), nullptr);
    EXPECT_EQ(GetCapture(), a);
    ReleaseCapture();
    EXPECT_EQ(GetCapture(), nullptr);
    SetWindowTextA(a, "hello");
    char buf[4];
    EXPECT_EQ(GetWindowTextA(a, buf, sizeof buf), 3);
    EXPECT_STREQ(buf, "hel");
    EXPECT_FALSE(EnableWindow(a, FALSE));
    EXPECT_TRUE(EnableWindow(a, TRUE));
    SetForegroundWindow(a);
    EXPECT_EQ(GetForegroundWindow(), a);
}

TEST_F(WindowTest, PostFromOtherThreadsAndQuit) {
    HWND h = make(WS_POPUP, 0, 0, 1, 1);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([h, t] {
            for (int i = 0; i < 50; ++i)
                PostMessageA(h, WM_APP + 1, t, i);
        });
    for (auto& t : threads)
        t.join();
    int got = 0;
    std::vector<int> last(4, -1);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, WM_APP + 1, WM_APP + 1, PM_REMOVE)) {
        ++got;
        EXPECT_EQ(msg.lParam, last[msg.wParam] + 1); // each sender's order is kept
        last[msg.wParam] = static_cast<int>(msg.lParam);
    }
    EXPECT_EQ(got, 200);
    std::thread late([h] { PostMessageA(h, WM_APP + 2, 0, 0); });
    ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), 1); // waits for the post
    EXPECT_EQ(msg.message, WM_APP + 2);
    late.join();
    PostQuitMessage(3);
    EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), 0);
    EXPECT_EQ(msg.wParam, 3u);
}

TEST_F(WindowTest, SendAcrossThreadsRunsOnTheWindowThread) {
    HWND h = make(WS_POPUP, 0, 0, 1, 1);
    std::atomic<LRESULT> result{-5};
    std::thread sender([&] { result = SendMessageA(h, WM_NULL, 0, 0); });
    MSG msg;
    while (result == -5)
        PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);
    sender.join();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(count(log, WM_NULL), 1); // logged by this thread's procedure
    EXPECT_TRUE(PostThreadMessageA(GetCurrentThreadId(), WM_APP, 7, 0));
    ASSERT_TRUE(PeekMessageA(&msg, reinterpret_cast<HWND>(-1), 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.hwnd, nullptr);
    EXPECT_EQ(msg.wParam, 7u);
    EXPECT_FALSE(PostThreadMessageA(0xFFFFFFF0u, WM_APP, 0, 0));
}

TEST_F(WindowTest, MessagesToDestroyedWindowsAreDropped) {
    HWND h = make(WS_POPUP, 0, 0, 1, 1);
    PostMessageA(h, WM_APP, 0, 0);
    DestroyWindow(h);
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_APP, WM_APP, PM_REMOVE));
    EXPECT_FALSE(PostMessageA(h, WM_APP, 0, 0));
}

TEST_F(WindowTest, DesktopModeAndDesktopWindow) {
    const qcore::DesktopMode saved = qcore::get_desktop_mode();
    EXPECT_TRUE(qcore::set_desktop_mode(800, 600, D3DFMT_R5G6B5));
    RECT r;
    GetClientRect(GetDesktopWindow(), &r);
    EXPECT_EQ(CRect(r), CRect(0, 0, 800, 600));
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 800);
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(GetDeviceCaps(screen, BITSPIXEL), 16);
    ReleaseDC(nullptr, screen);
    EXPECT_FALSE(qcore::set_desktop_mode(0, 600, D3DFMT_X8R8G8B8));
    EXPECT_FALSE(qcore::set_desktop_mode(800, 600, D3DFMT_DXT1));
    qcore::set_desktop_mode(saved.width, saved.height, saved.format);
}

TEST_F(WindowTest, SurfaceAccessForPresenting) {
    HWND top = make(WS_POPUP | WS_VISIBLE, 0, 0, 64, 48);
    HWND child = make(WS_CHILD | WS_VISIBLE, 10, 12, 20, 10, top);
    auto s = qcore::detail::WindowSurface::open(child);
    ASSERT_TRUE(s);
    EXPECT_EQ(s.surface_width, 64);
    EXPECT_EQ(s.x, 10);
    EXPECT_EQ(s.y, 12);
    EXPECT_EQ(s.width, 20);
    s.pixels[(s.y + 1) * (s.pitch / 4) + s.x + 2] = 0x123456;
    const unsigned before = qcore::window_present_count(top);
    s.present();
    EXPECT_EQ(qcore::window_present_count(top), before + 1);
    EXPECT_EQ(qcore::capture_window(child).at(2, 1), 0x123456u);
    EXPECT_FALSE(qcore::detail::WindowSurface::open(GetDesktopWindow()));
}

} // namespace
