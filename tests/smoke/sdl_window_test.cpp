#include <qcore/data/wait_window.h>
#include <qcore/platform/win32/afxwin.h>
#include <qcore/platform/win32/clock.h>
#include <qcore/platform/win32/input.h>

#include <gtest/gtest.h>
#include <support/temp_dir.h>

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

namespace {

bool exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

// Runs a program (found on PATH) and waits for it; its exit status, or -1.
int run(std::vector<std::string> args, const std::string& out_file = "") {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!out_file.empty())
        posix_spawn_file_actions_addopen(&actions, 1, out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// An Xvfb server on a free display, stopped on destruction.
class Xvfb {
public:
    Xvfb() {
        for (int n = 90; n < 140 && pid_ < 0; ++n) {
            if (exists("/tmp/.X11-unix/X" + std::to_string(n)) ||
                exists("/tmp/.X" + std::to_string(n) + "-lock"))
                continue;
            display_ = ":" + std::to_string(n);
            std::vector<std::string> args{"Xvfb", display_, "-screen", "0", "640x480x24", "-nolisten", "tcp"};
            std::vector<char*> argv;
            for (auto& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            pid_t pid;
            if (posix_spawnp(&pid, "Xvfb", nullptr, nullptr, argv.data(), environ) != 0) return;
            pid_ = pid;
            if (!wait_for([&] { return exists("/tmp/.X11-unix/X" + std::to_string(n)); })) stop();
        }
    }
    ~Xvfb() { stop(); }
    bool running() const { return pid_ > 0; }
    const std::string& display() const { return display_; }

    static bool wait_for(const std::function<bool()>& ready, int max_ms = 10000) {
        for (int waited = 0; waited < max_ms; waited += 10) {
            if (ready()) return true;
            peek_and_pump();
            Sleep(10);
        }
        return ready();
    }

private:
    void stop() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    pid_t pid_ = -1;
    std::string display_;
};

uint32_t be32(const std::string& b, size_t at) {
    auto u = [&](size_t i) { return static_cast<uint32_t>(static_cast<unsigned char>(b[at + i])); };
    return (u(0) << 24) | (u(1) << 16) | (u(2) << 8) | u(3);
}

// A screenshot of the root window in xwd's format, as 0x00RRGGBB pixels.
struct Screenshot {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
    uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }

    bool read(const std::string& bytes) {
        if (bytes.size() < 100) return false;
        const uint32_t header = be32(bytes, 0), bpp = be32(bytes, 44), line = be32(bytes, 48);
        const uint32_t step = bpp / 8; // Xvfb gives 24 or 32 bits per pixel for a depth of 24
        const uint32_t w = be32(bytes, 16), h = be32(bytes, 20), order = be32(bytes, 28),
                       ncolors = be32(bytes, 76);
        const uint32_t masks[3] = {be32(bytes, 56), be32(bytes, 60), be32(bytes, 64)};
        const size_t data = static_cast<size_t>(header) + static_cast<size_t>(ncolors) * 12;
        if ((bpp != 24 && bpp != 32) || w == 0 || line < w * step || h == 0 || w > 8192 || h > 8192 ||
            data + size_t{line} * h > bytes.size())
            return false;
        width = static_cast<int>(w);
        height = static_cast<int>(h);
        pixels.resize(size_t{w} * h);
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w; ++x) {
                const size_t at = data + size_t{y} * line + size_t{x} * step;
                uint32_t v = 0;
                for (uint32_t i = 0; i < step; ++i) {
                    const auto byte = static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + i]));
                    v |= order == 0 ? byte << (8 * i) : byte << (8 * (step - 1 - i));
                }
                uint32_t rgb = 0;
                for (uint32_t mask : masks) {
                    const int shift = mask ? __builtin_ctz(mask) : 0;
                    rgb = (rgb << 8) | (((v & mask) >> shift) & 0xFF);
                }
                pixels[size_t{y} * w + x] = rgb;
            }
        return true;
    }
};

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
