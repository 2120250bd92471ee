#include <qcore/image/jpeg_file.h>
#include <qcore/image/surfacefun.h>
#include <qcore/platform/win32/message_box.h>

#include "image_check.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iterator>

namespace qcore::test {
namespace {

using SurfaceCapture = CaptureTest;

ULONG ref_count(IUnknown* object) {
    object->AddRef();
    return object->Release();
}

TEST_F(SurfaceCapture, SavedFramesDecodeToTheRenderedPixels) {
    make_target(96, 40);
    TempDir dir;
    const ULONG refs = ref_count(target_);
    MessageBoxRecorder boxes;
    const std::string bmp = dir.file("frame.bmp"), jpg = dir.file("frame.JPG");
    ASSERT_EQ(surfacefun::save_render_target_to_file(device_, CRect(), CSize(), bmp.c_str()), 1);
    ASSERT_EQ(surfacefun::save_render_target_to_file(device_, CRect(), CSize(), jpg.c_str()), 1);
    EXPECT_EQ(boxes.count(), 0u);
    // The capture gives its reference to the render target back.
    EXPECT_EQ(ref_count(target_), refs);

    const Rgb b = decode_rgb_file(bmp), j = decode_rgb_file(jpg);
    ASSERT_EQ(b.width, 96);
    ASSERT_EQ(b.height, 40);
    ASSERT_EQ(j.width, 96);
    ASSERT_EQ(j.height, 40);
    int worst = 0;
    long total = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 96; ++x) {
            ASSERT_EQ(b.at(x, y), pattern(x, y)) << x << "," << y;
            const int d = channel_distance(j.at(x, y), pattern(x, y));
            worst = std::max(worst, d);
            total += d;
        }
    EXPECT_LT(total / (96 * 40), 2);
    EXPECT_LT(worst, 12);
}

TEST_F(SurfaceCapture, RectanglesAndSizesPickAndScaleThePart) {
    make_target(101, 30);
    TempDir dir;
    MessageBoxRecorder boxes;
    // Rows of 101 pixels take 303 bytes, padded to 304.
    const std::string whole = dir.file("whole.bmp");
    ASSERT_EQ(surfacefun::save_render_target_to_file(device_, CRect(), CSize(), whole.c_str()), 1);
    EXPECT_EQ(read_file_bytes(whole).size(), 304u * 30 + 54);

    const std::string part = dir.file("part.bmp");
    ASSERT_EQ(surfacefun::save_render_target_to_file(device_, CRect(10, 5, 30, 25), CSize(), part.c_str()),
              1);
    const Rgb p = decode_rgb_file(part);
    ASSERT_EQ(p.width, 20);
    ASSERT_EQ(p.height, 20);
    EXPECT_EQ(p.at(0, 0), pattern(10, 5));
    EXPECT_EQ(p.at(19, 19), pattern(29, 24));

    // A surface passed with a rectangle is cropped to it even when it needs no conversion.
    CMyComPtr<IDirect3DSurface8> copy = surfacefun::create_sur_and_copy_from_render_target(device_, CRect());
    ASSERT_TRUE(copy);
    const std::string cropped = dir.file("cropped.bmp");
    ASSERT_EQ(
        surfacefun::save_surface_to_file(device_, copy, CRect(50, 10, 54, 12), CSize(), cropped.c_str()), 1);
    const Rgb c = decode_rgb_file(cropped);
    ASSERT_EQ(c.width, 4);
    EXPECT_EQ(c.at(3, 1), pattern(53, 11));

    const std::string scaled = dir.file("scaled.jpg");
    ASSERT_EQ(surfacefun::save_render_target_to_file(device_, CRect(), CSize(50, 15), scaled.c_str()), 1);
    const Rgb s = decode_rgb_file(scaled);
    EXPECT_EQ(s.width, 50);
    EXPECT_EQ(s.height, 15);
    EXPECT_EQ(boxes.count(), 0u);
}

TEST_F(SurfaceCapture, SixteenBitTargetsAreConvertedFirst) {
    make_target(32, 8, D3DFMT_R5G6B5);
    TempDir dir;
    const std::string bmp = dir.file("565.bmp");
    ASSERT_EQ(surfacefun::save_render_target_to_file(device_, CRect(), CSize(), bmp.c_str()), 1);
    const Rgb b = decode_rgb_file(bmp);
    ASSERT_EQ(b.width, 32);
    for (int x = 0; x < 32; ++x)
        EXPECT_LE(channel_distance(b.at(x, 3), pattern(x, 3)), 8) << x;
}

TEST_F(SurfaceCapture, BadRequestsAreRefusedWithoutAFile) {
    make_target(64, 32);
    TempDir dir;
    MessageBoxRecorder boxes;
    for (const CRect& r :
         {CRect(-1, 0, 10, 10), CRect(0, 0, 65, 10), CRect(10, 10, 5, 20), CRect(5, 5, 5, 5)}) {
        EXPECT_FALSE(surfacefun::create_sur_and_copy_from_render_target(device_, r));
        EXPECT_EQ(surfacefun::save_render_target_to_file(device_, r, CSize(), dir.file("a.bmp").c_str()), 0);
    }
    EXPECT_EQ(boxes.texts().back(), "Err capture rectangle");
    boxes.clear();

    EXPECT_EQ(surfacefun::save_render_target_to_file(device_, CRect(), CSize(), dir.file("shot.png").c_str()),
              0);
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_EQ(boxes.texts()[0], "不支持导出该格式：shot.png");
    boxes.clear();

    EXPECT_EQ(
        surfacefun::save_render_target_to_file(device_, CRect(), CSize(), dir.file("none/a.bmp").c_str()), 0);
    EXPECT_EQ(boxes.texts().at(0), "Can't open " + dir.file("none/a.bmp") + " to write!");
    boxes.clear();
    EXPECT_EQ(
        surfacefun::save_render_target_to_file(device_, CRect(), CSize(), dir.file("none/a.jpg").c_str()), 0);
    EXPECT_EQ(boxes.texts().at(0), "JpegFile :\nCan't open " + dir.file("none/a.jpg") + "\n");
    EXPECT_EQ(boxes.texts().at(1), "Save jpeg Error!");

    EXPECT_EQ(surfacefun::save_surface_to_file(device_, nullptr, CRect(), CSize(), dir.file("n.bmp").c_str()),
              0);
    EXPECT_EQ(read_file_bytes(dir.file("a.bmp")), "");
}

TEST_F(SurfaceCapture, AFailedSaveLeavesTheOldFile) {
    make_target(16, 16);
    TempDir dir;
    MessageBoxRecorder boxes;
    const std::string name = dir.file("keep.bmp");
    write_file_bytes(name, "old picture");
    // A surface that is not 32-bit fails before anything is written.
    CMyComPtr<IDirect3DSurface8> small;
    ASSERT_EQ(device_->CreateImageSurface(8, 8, D3DFMT_R5G6B5, small.out()), D3D_OK);
    EXPECT_EQ(surfacefun::save_surface_to_file(nullptr, small.get(), CRect(), CSize(), name.c_str()), 0);
    EXPECT_EQ(read_file_bytes(name), "old picture");
    // Nor does a surface that cannot be locked.
    CMyComPtr<IDirect3DSurface8> busy;
    ASSERT_EQ(device_->CreateImageSurface(8, 8, D3DFMT_X8R8G8B8, busy.out()), D3D_OK);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(busy->LockRect(&locked, nullptr, 0), D3D_OK);
    for (const char* ext : {".bmp", ".jpg"}) {
        const std::string target = dir.file(std::string("keep") + ext);
        write_file_bytes(target, "old picture");
        EXPECT_EQ(surfacefun::save_surface_to_file(device_, busy, CRect(), CSize(), target.c_str()), 0);
        EXPECT_EQ(read_file_bytes(target), "old picture");
        EXPECT_EQ(boxes.texts().back().rfind("err lockrect", 0), 0u);
    }
    busy->UnlockRect();
    ASSERT_EQ(surfacefun::save_render_target_to_file(device_, CRect(), CSize(), name.c_str()), 1);
    EXPECT_EQ(read_file_bytes(name).size(), 16u * 48 + 54);
}

TEST_F(SurfaceCapture, JpegCapturesInBandsMatchTheWholeCopy) {
    // Wide enough that a capture takes several bands of rows (copied on a second thread, each of its two
    // slots used again), the last one short.
    make_target(2048, 80);
    TempDir dir;
    MessageBoxRecorder boxes;
    for (const CRect& r : {CRect(), CRect(5, 7, 2045, 77), CRect(0, 79, 3, 80)}) {
        const std::string banded = dir.file("banded.jpg"), whole = dir.file("whole.jpg");
        ASSERT_EQ(surfacefun::save_render_target_to_file(device_, r, CSize(), banded.c_str()), 1);
        CMyComPtr<IDirect3DSurface8> copy = surfacefun::create_sur_and_copy_from_render_target(device_, r);
        ASSERT_TRUE(copy);
        ASSERT_EQ(surfacefun::save_surface_to_file(device_, copy, CRect(), CSize(), whole.c_str()), 1);
        const std::string bytes = read_file_bytes(banded);
        ASSERT_GT(bytes.size(), 100u);
        EXPECT_EQ(bytes, read_file_bytes(whole)) << r.left << "," << r.top;
        const CRect part = r.IsRectNull() ? CRect(0, 0, 2048, 80) : r;
        const Rgb j = decode_rgb_file(banded);
        ASSERT_EQ(j.width, part.Width());
        ASSERT_EQ(j.height, part.Height());
        // Far from the pattern's sharp wraps every 128 columns, the pixels are the frame's.
        const int x = std::min(40, part.Width() - 1);
        EXPECT_LE(channel_distance(j.at(x, 0), pattern(part.left + x, part.top)), 12);
    }
    EXPECT_EQ(boxes.count(), 0u);
}

TEST_F(SurfaceCapture, AJpegCaptureThatCannotCopyLeavesTheOldFile) {
    make_target(64, 32);
    TempDir dir;
    MessageBoxRecorder boxes;
    const std::string name = dir.file("keep.jpg");
    write_file_bytes(name, "old picture");
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(target_->LockRect(&locked, nullptr, 0), D3D_OK);
    EXPECT_EQ(surfacefun::save_render_target_to_file(device_, CRect(), CSize(), name.c_str()), 0);
    target_->UnlockRect();
    EXPECT_EQ(read_file_bytes(name), "old picture");
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_EQ(boxes.texts()[0], "err Clone surface");
    // No temporary file is left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(RgbToJpegFile, GreyAndRefusedInput) {
    TempDir dir;
    const std::vector<BYTE> rgb = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255};
    const std::string grey = dir.file("grey.jpg");
    ASSERT_EQ(RGBToJpegFile(grey.c_str(), rgb.data(), 4, 1, FALSE, 90), 1);
    const Rgb g = decode_rgb_file(grey);
    ASSERT_EQ(g.width, 4);
    EXPECT_LE(channel_distance(g.at(3, 0), 0xFFFFFF), 4);
    EXPECT_LE(channel_distance(g.at(1, 0), 0x969696), 6);
    // Noise at quality 100 makes a file of many output blocks, large enough to be sent to the disk while
    // it is written.
    constexpr int kW = 640, kH = 480;
    // Noise over a dark-to-light ramp, so that every row's average says which row it is.
    std::vector<BYTE> noise(kW * kH * 3);
    uint32_t seed = 1;
    for (size_t i = 0; i < noise.size(); ++i)
        noise[i] =
            static_cast<BYTE>(i / (kW * 3) * 190 / kH + ((seed = seed * 1664525u + 1013904223u) >> 26));
    const std::string noisy = dir.file("noise.jpg");
    ASSERT_EQ(RGBToJpegFile(noisy.c_str(), noise.data(), kW, kH, TRUE, 100), 1);
    EXPECT_GT(read_file_bytes(noisy).size(), size_t{300} * 1024);
    const Rgb n = decode_rgb_file(noisy);
    ASSERT_EQ(n.width, kW);
    ASSERT_EQ(n.height, kH);
    const auto row_mean = [](const uint8_t* row) {
        long sum = 0;
        for (int i = 0; i < kW * 3; ++i)
            sum += row[i];
        return sum / (kW * 3);
    };
    for (int y = 0; y < kH; y += 7)
        EXPECT_NEAR(row_mean(&n.pixels[size_t{3} * kW * y]), row_mean(&noise[size_t{3} * kW * y]), 3) << y;
    EXPECT_EQ(RGBToJpegFile(dir.file("none.jpg").c_str(), rgb.data(), 0, 1, TRUE, 90), 0);
    EXPECT_EQ(RGBToJpegFile(dir.file("none.jpg").c_str(), nullptr, 4, 1, TRUE, 90), 0);
    EXPECT_EQ(RGBToJpegFile(dir.file("none.jpg").c_str(), rgb.data(), 70000, 1, TRUE, 90), 0);
    EXPECT_EQ(read_file_bytes(dir.file("none.jpg")), "");
}

} // namespace
} // namespace qcore::test
