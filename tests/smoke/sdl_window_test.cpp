#include <qcore/data/wait_window.h>
#include <qcore/platform/win32/afxwin.h>
#include <qcore/platform/win32/clock.h>
#include <qcore/platform/win32/input.h>

#include <gtest/gtest.h>
#include <support/temp_dir.h>
#include <support/x11_display.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

extern char** environ;

// The X11 driver leaks one libdbus block; keep leak checking quiet about it however the test is started.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\nleak:libfontconfig.so\n";
}

using namespace qcore::test;

namespace {

struct Click {
    UINT flags = 0;
    CPoint point;
    int count = 0;
};
Click g_click;

LRESULT CALLBACK click_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_LBUTTONDOWN) {
        g_click.flags = static_cast<UINT>(wparam);
        g_click.point = CPoint(lparam);
        ++g_click.count;
    }
    return DefWindowProcA(hwnd, message, wparam, lparam);
}

TEST(SdlWindow, PaintShowsOnTheDisplayAndClicksArrive) {
    Xvfb x;
    if (!x.running()) GTEST_SKIP() << "Xvfb is not available";
    setenv("DISPLAY", x.display().c_str(), 1);
    ASSERT_TRUE(qcore::set_window_backend(qcore::WindowBackend::sdl));
    const qcore::DesktopMode mode = qcore::get_desktop_mode();
    EXPECT_EQ(mode.width, 640);
    EXPECT_EQ(mode.height, 480);
    EXPECT_EQ(mode.format, D3DFMT_X8R8G8B8);

    WNDCLASSA wc{};
    wc.lpfnWndProc = click_proc;
    wc.hbrBackground = CreateSolidBrush(RGB(0, 0, 255));
    wc.lpszClassName = "smoke_click";
    ASSERT_NE(RegisterClassA(&wc), 0);
    HWND clicker = CreateWindowExA(0, "smoke_click", "click", WS_POPUP | WS_VISIBLE, 20, 20, 100, 60, nullptr,
                                   nullptr, nullptr, nullptr);
    ASSERT_NE(clicker, nullptr);
    CWaitWindow wait("Please wait");
    ASSERT_NE(wait.hwnd, nullptr);

    qcore::test::TempDir dir;
    const std::string shot_file = dir.file("root.xwd");
    Screenshot shot;
    const int left = 640 / 2 - 140, top = 480 / 2 - 30;
    auto shows_wait_window = [&] {
        InvalidateRect(nullptr, nullptr, TRUE); // the windows may have been mapped after the last paint
        peek_and_pump();
        const int rc = run({"xwd", "-root", "-silent", "-display", x.display()}, shot_file);
        const std::string bytes = qcore::test::read_file_bytes(shot_file);
        if (rc != 0 || !shot.read(bytes)) return false;
        return shot.at(left, top) == 0 && shot.at(left + 4, top + 4) == 0x808080 &&
               shot.at(left + 10, top + 10) == 0xFFFFFF && shot.at(50, 40) == 0x0000FF;
    };
    ASSERT_TRUE(Xvfb::wait_for(shows_wait_window, 3000))
        << "the display does not show the windows: " << std::hex
        << (shot.pixels.empty() ? 0xBAD : shot.at(left, top)) << " "
        << (shot.pixels.empty() ? 0xBAD : shot.at(left + 10, top + 10)) << " "
        << (shot.pixels.empty() ? 0xBAD : shot.at(50, 40));
    EXPECT_EQ(shot.at(left + 279, top + 59), 0u);
    EXPECT_EQ(shot.at(left + 275, top + 55), 0x808080u);
    int text = 0; // dark pixels of the text inside the inner frame
    for (int yy = top + 6; yy < top + 54; ++yy)
        for (int xx = left + 6; xx < left + 274; ++xx)
            text += (shot.at(xx, yy) & 0xFF) < 0x60;
    EXPECT_GT(text, 30);

    ASSERT_EQ(run({"xdotool", "mousemove", "--sync", "50", "40", "click", "1"}), 0);
    ASSERT_TRUE(Xvfb::wait_for([] { return g_click.count > 0; })) << "no click arrived";
    EXPECT_EQ(g_click.point, CPoint(30, 20));
    EXPECT_TRUE(g_click.flags & MK_LBUTTON);
    POINT cursor;
    GetCursorPos(&cursor);
    EXPECT_EQ(cursor.x, 50);
    EXPECT_EQ(cursor.y, 40);
    DestroyWindow(clicker);
}

} // namespace
