#include "support/temp_dir.h"
#include "support/x11_display.h"

#include <gtest/gtest.h>

#include <string>

using namespace qcore::test;

namespace {

// Pixels of the demo's checkerboard blue (40, 90, 200), lit anywhere between dark and bright.
int blue_pixels(const Screenshot& shot) {
    int n = 0;
    for (uint32_t p : shot.pixels) {
        const int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
        if (b > 90 && b > r + 60 && b > g + 30) ++n;
    }
    return n;
}

TEST(DemoSdl, TheTorusShowsInARealWindow) {
    Xvfb x;
    if (!x.running()) GTEST_SKIP() << "Xvfb is not available";
    TempDir dir;
    const pid_t demo =
        spawn({QCORE_BIN_DIR "/qcore-demo", "--frames", "30", "--size", "320x240", "--linger", "8000"},
              {"DISPLAY=" + x.display(), "QCORE_WINDOW_BACKEND=sdl", "SDL_VIDEODRIVER=x11"});
    ASSERT_GT(demo, 0);
    Screenshot shot;
    const bool shown =
        Xvfb::wait_for([&] { return shot.take(x.display(), dir.path()) && blue_pixels(shot) > 500; }, 20000);
    EXPECT_TRUE(shown) << "blue pixels on the display: " << blue_pixels(shot);
    EXPECT_EQ(wait_exit(demo), 0);
}

// Pixels of the window's corner of the display (the window sits at the origin) that differ between shots.
int changed_pixels(const Screenshot& a, const Screenshot& b, int width, int height) {
    if (a.pixels.size() != b.pixels.size() || a.width < width || a.height < height) return -1;
    int n = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            n += a.at(x, y) != b.at(x, y);
    return n;
}

TEST(DemoSdl, DraggingTheOrbitToolTurnsTheView) {
    Xvfb x;
    if (!x.running()) GTEST_SKIP() << "Xvfb is not available";
    TempDir dir;
    const pid_t demo = spawn(
        {QCORE_BIN_DIR "/qcore-demo", "--frames", "12", "--size", "320x240", "--aa", "2", "--linger", "9000"},
        {"DISPLAY=" + x.display(), "QCORE_WINDOW_BACKEND=sdl", "SDL_VIDEODRIVER=x11"});
    ASSERT_GT(demo, 0);
    // Wait for the torus, then for the frames to end: two shots in a row alike.
    Screenshot before, latest;
    const bool still = Xvfb::wait_for(
        [&] {
            if (!latest.take(x.display(), dir.path()) || blue_pixels(latest) < 300) return false;
            const bool same = changed_pixels(before, latest, 320, 240) == 0;
            before = latest;
            return same;
        },
        20000);
    ASSERT_TRUE(still) << "the demo's picture never settled";
    ASSERT_EQ(run({"xdotool", "mousemove", "--sync", "160", "120", "mousedown", "1", "mousemove", "--sync",
                   "190", "125", "mousemove", "--sync", "230", "135", "mouseup", "1"},
                  "", {"DISPLAY=" + x.display()}),
              0);
    Screenshot after;
    const bool turned = Xvfb::wait_for(
        [&] { return after.take(x.display(), dir.path()) && changed_pixels(before, after, 320, 240) > 2000; },
        5000);
    EXPECT_TRUE(turned) << "pixels changed by the drag: " << changed_pixels(before, after, 320, 240);
    EXPECT_EQ(wait_exit(demo), 0);
}

} // namespace
