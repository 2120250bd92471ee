#include "support/temp_dir.h"
#include "support/x11_display.h"

#include <gtest/gtest.h>

#include <string>

using namespace qcore::test;

namespace {

constexpr int kWidth = 320, kHeight = 240;

bool red(uint32_t p) {
    const int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
    return r > 120 && g < 70 && b < 70;
}

int count(const Screenshot& shot, int x0, int y0, int x1, int y1, bool (*match)(uint32_t)) {
    if (shot.width < x1 || shot.height < y1) return -1;
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            n += match(shot.at(x, y));
    return n;
}

int changed_pixels(const Screenshot& a, const Screenshot& b) {
    if (a.pixels.size() != b.pixels.size() || a.width < kWidth || a.height < kHeight) return -1;
    int n = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            n += a.at(x, y) != b.at(x, y);
    return n;
}

// The centre of the red pixels in the window's corner of the display.
bool red_centre(const Screenshot& shot, int& cx, int& cy) {
    long sx = 0, sy = 0, n = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            if (red(shot.at(x, y))) sx += x, sy += y, ++n;
    if (n < 50) return false;
    cx = static_cast<int>(sx / n);
    cy = static_cast<int>(sy / n);
    return true;
}

bool white(uint32_t p) {
    return ((p >> 16) & 0xFF) > 200 && ((p >> 8) & 0xFF) > 200 && (p & 0xFF) > 200;
}

int xdo(const Xvfb& x, std::vector<std::string> args) {
    args.insert(args.begin(), "xdotool");
    return run(std::move(args), "", {"DISPLAY=" + x.display()});
}

// Takes shots until `ready` holds for two alike in a row: the picture has settled.
template <class Ready>
bool settle(const Xvfb& x, const TempDir& dir, Screenshot& shot, Ready ready, int max_ms) {
    Screenshot last;
    return Xvfb::wait_for(
        [&] {
            if (!shot.take(x.display(), dir.path()) || !ready(shot)) return false;
            const bool same = changed_pixels(last, shot) == 0;
            last = shot;
            return same;
        },
        max_ms);
}

TEST(ViewSdl, OrbitsPicksAnItemAndSavesWhatItShows) {
    Xvfb x;
    if (!x.running()) GTEST_SKIP() << "Xvfb is not available";
    TempDir dir;
    const pid_t viewer =
        spawn({QCORE_BIN_DIR "/qcore-view", "--sample", "--no-video", "--sdl", "--frames", "3", "--size",
               "320x240", "--linger", "30000", "--shots", dir.file("key"), "--save", dir.file("last.bmp")},
              {"DISPLAY=" + x.display(), "SDL_VIDEODRIVER=x11"});
    ASSERT_GT(viewer, 0);
    Screenshot before;
    ASSERT_TRUE(settle(
        x, dir, before, [](const Screenshot& s) { return count(s, 0, 0, kWidth, kHeight, red) > 200; },
        20000))
        << "the red box never showed";

    // Orbiting turns the view: the red box moves (the picture is still: the sample plays no video here).
    int bx = 0, by = 0, ax = 0, ay = 0;
    ASSERT_TRUE(red_centre(before, bx, by));
    ASSERT_EQ(xdo(x, {"mousemove", "--sync", "160", "200", "mousedown", "1", "mousemove", "--sync", "190",
                      "200", "mousemove", "--sync", "230", "200", "mouseup", "1"}),
              0);
    Screenshot after;
    ASSERT_TRUE(settle(
        x, dir, after,
        [&](const Screenshot& s) {
            return red_centre(s, ax, ay) && changed_pixels(before, s) > 2000 &&
                   std::abs(ax - bx) + std::abs(ay - by) > 10;
        },
        20000))
        << "the red box stayed at " << bx << "," << by;

    // A click on the red box picks it: its name appears in white under the frame rate.
    const int name_before = count(after, 4, 26, 120, 46, white);
    ASSERT_EQ(xdo(x, {"mousemove", "--sync", std::to_string(ax), std::to_string(ay), "click", "1"}), 0);
    Screenshot picked;
    EXPECT_TRUE(Xvfb::wait_for(
        [&] { return picked.take(x.display(), dir.path()) && count(picked, 4, 26, 120, 46, white) > 20; },
        20000))
        << "white pixels where the name goes: " << name_before << " before the click, "
        << count(picked, 4, 26, 120, 46, white) << " after";

    // S saves a screenshot, Escape closes the window, and the last frame is saved on the way out.
    ASSERT_EQ(xdo(x, {"key", "s"}), 0);
    EXPECT_TRUE(Xvfb::wait_for([&] { return exists(dir.file("key-1.jpg")); }, 20000));
    ASSERT_EQ(xdo(x, {"key", "Escape"}), 0);
    EXPECT_EQ(wait_exit(viewer), 0);
    const std::string bmp = read_file_bytes(dir.file("last.bmp"));
    ASSERT_GT(bmp.size(), 54u);
    EXPECT_EQ(bmp.substr(0, 2), "BM");
}

} // namespace
