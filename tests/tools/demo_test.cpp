#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>

namespace {

// Runs the demo headless; its exit status and what it printed.
int run_demo(const std::string& args, std::string* output) {
    const std::string cmd = "QCORE_WINDOW_BACKEND=headless " QCORE_BIN_DIR "/qcore-demo " + args + " 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return -1;
    char buf[4096];
    for (size_t n; (n = fread(buf, 1, sizeof(buf), p)) > 0;)
        output->append(buf, n);
    const int status = pclose(p);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Demo, RendersThroughResetsAndSavesItsFrame) {
    qcore::test::TempDir dir;
    std::string out;
    ASSERT_EQ(run_demo("--frames 9 --size 160x120 --save " + dir.file("frame.bmp"), &out), 0) << out;
    for (const char* expected :
         {"window resized: reset_device", "back buffer now 240x180", "antialiasing: reset_aa(4)",
          "multisample type 4", "overlay, buffer rebuilt", "frame saved", "of the window shows the scene"})
        EXPECT_NE(out.find(expected), std::string::npos) << expected << "\n" << out;
    const std::string bmp = qcore::test::read_file_bytes(dir.file("frame.bmp"));
    ASSERT_GT(bmp.size(), 54u);
    EXPECT_EQ(bmp.substr(0, 2), "BM");
}

TEST(Demo, WideWindowShowsBarsBesideTheWorkAreaAtEitherScale) {
    for (const char* aa : {"1", "2"}) {
        std::string out;
        ASSERT_EQ(run_demo(std::string("--frames 3 --size 240x120 --aa ") + aa, &out), 0) << out;
        const std::string expected = aa[0] == '1' ? "work area 160x120 at 40,0 of 240x120 (scale 1)"
                                                  : "work area 320x240 at 80,0 of 480x240 (scale 2)";
        EXPECT_NE(out.find(expected), std::string::npos) << out;
        // A third of the window is bars.
        const size_t at = out.find("% the bars");
        ASSERT_NE(at, std::string::npos) << out;
        const double bars = std::atof(out.substr(out.rfind(", ", at) + 2).c_str());
        EXPECT_GT(bars, 28.0) << out;
        EXPECT_LT(bars, 34.0) << out;
    }
}

TEST(Demo, FliesItsCameraAndPlaysItsVideo) {
    std::string out;
    ASSERT_EQ(run_demo("--frames 12 --size 160x120 --fly", &out), 0) << out;
    EXPECT_NE(out.find("video frames shown: "), std::string::npos) << out;
    std::string plain;
    ASSERT_EQ(run_demo("--frames 3 --size 160x120 --no-video", &plain), 0) << plain;
    EXPECT_EQ(plain.find("video frames shown"), std::string::npos) << plain;
}

TEST(Demo, RefusesBadArguments) {
    std::string out;
    EXPECT_EQ(run_demo("--size 10x10", &out), 2);
    EXPECT_NE(out.find("usage"), std::string::npos);
    EXPECT_EQ(run_demo("--bogus", &out), 2);
    EXPECT_EQ(run_demo("--aa 3", &out), 2);
}

} // namespace
