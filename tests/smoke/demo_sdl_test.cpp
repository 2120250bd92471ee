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

} // namespace
