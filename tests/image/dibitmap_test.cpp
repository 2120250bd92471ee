#include <qcore/image/dibitmap.h>
#include <qcore/platform/win32/message_box.h>
#include <qcore/texture/color_adj.h>

#include "image_check.h"
#include "platform/d3d8/d3dx/image_test_util.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace qcore::test {
namespace {

void write_bytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    write_file_bytes(path, std::string(bytes.begin(), bytes.end()));
}

// A w x h RGBA PNG whose pixel (x, y) is (x * 4, y * 8, 100, alpha x * 4 + y).
std::string gradient_png(const TempDir& dir, const std::string& name, uint32_t w, uint32_t h) {
    std::vector<uint8_t> samples;
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x)
            samples.insert(samples.end(), {uint8_t(x * 4), uint8_t(y * 8), 100, uint8_t(x * 4 + y)});
    const std::string path = dir.file(name);
    write_bytes(path, write_png(w, h, 4, samples));
    return path;
}

using Dibitmap = D3dxDeviceTest;

TEST_F(Dibitmap, ChannelsOfAPngWithAlphaAndAJpeg) {
    TempDir dir;
    const std::string png = gradient_png(dir, "a.png", 64, 32);
    CDibitmap dib;
    ASSERT_EQ(dib.create_from_file_by_d3d(device_, png.c_str(), IMG_CHANNEL_ALPHA, 0), 1);
    ASSERT_EQ(dib.is_valid(), 2048u);
    EXPECT_EQ(dib.get_bits()[5 * 64 + 3], (3u * 4 + 5) * 0x010101u);
    ASSERT_EQ(dib.create_from_file_by_d3d(device_, png.c_str(), IMG_CHANNEL_ARGB, 0), 1);
    EXPECT_EQ(dib.get_bits()[5 * 64 + 3], (3u * 4 + 5) << 24 | 12u << 16 | 40u << 8 | 100u);
    EXPECT_TRUE(dib.is_top_row_first());

    const std::string jpg = dir.file("a.jpg");
    write_bytes(jpg, write_jpeg(64, 32, 1, std::vector<uint8_t>(64 * 32, 200), 90));
    EXPECT_EQ(dib.create_from_file_by_d3d(device_, jpg.c_str(), IMG_CHANNEL_ALPHA, 0), 0);
    ASSERT_EQ(dib.is_valid(), 2048u);
    EXPECT_EQ(std::count(dib.get_bits().begin(), dib.get_bits().end(), 0u), 2048);
    // Without alpha the background path is the plain colour load.
    ASSERT_EQ(dib.create_from_file_by_d3d(device_, jpg.c_str(), IMG_CHANNEL_RGB_OVER_BG, 0xFF), 1);
    EXPECT_LE(channel_distance(dib.get_bits()[0], 0xC8C8C8), 2);
    EXPECT_EQ(dib.create_from_file_by_d3d(device_, jpg.c_str(), static_cast<IMG_CHANNEL>(7), 0), 0);
}

TEST_F(Dibitmap, ColourOverTheBackground) {
    TempDir dir;
    const std::string png = dir.file("half.png");
    write_bytes(png, write_png(2, 1, 4, {200, 100, 0, 128, 10, 20, 30, 0}));
    CDibitmap dib;
    ASSERT_EQ(dib.create_from_file_by_d3d(device_, png.c_str(), IMG_CHANNEL_RGB_OVER_BG, RGB(255, 255, 255)),
              1);
    EXPECT_EQ(dib.get_bits()[0], 0x00E3B17Fu); // (227, 177, 127)
    EXPECT_EQ(dib.get_bits()[1], 0x00FFFFFFu);
}

TEST_F(Dibitmap, DamagedOrMissingFilesLeaveItEmpty) {
    TempDir dir;
    const std::string png = gradient_png(dir, "a.png", 16, 16);
    const std::string bytes = read_file_bytes(png);
    CDibitmap dib;
    ASSERT_EQ(dib.create_from_file_rgb_by_d3d(device_, png.c_str()), 1);
    for (size_t cut : {size_t{8}, size_t{40}, bytes.size() / 2, bytes.size() - 13}) {
        const std::string truncated = dir.file("cut.png");
        write_file_bytes(truncated, bytes.substr(0, cut));
        for (IMG_CHANNEL channel : {IMG_CHANNEL_ARGB, IMG_CHANNEL_ALPHA, IMG_CHANNEL_RGB_OVER_BG}) {
            EXPECT_EQ(dib.create_from_file_by_d3d(device_, truncated.c_str(), channel, 0), 0) << cut;
            EXPECT_EQ(dib.is_valid(), 0u);
        }
    }
    EXPECT_EQ(dib.create_from_file_by_d3d(device_, dir.file("none.tga").c_str(), IMG_CHANNEL_RGB_OVER_BG, 0),
              0);
    EXPECT_EQ(dib.create_from_file_by_d3d(nullptr, png.c_str(), IMG_CHANNEL_ARGB, 0), 0);
}

// Saved files stand upright whether the rows were stored top first (files) or bottom first (GDI).
TEST_F(Dibitmap, SavedFilesAreRightSideUp) {
    TempDir dir;
    MessageBoxRecorder boxes;
    const std::string png = gradient_png(dir, "a.png", 8, 4);
    CDibitmap from_file;
    ASSERT_EQ(from_file.create_from_file_rgb_by_d3d(device_, png.c_str()), 1);

    BITMAPINFO info{};
    info.bmiHeader = BITMAPINFOHEADER{40, 8, -4, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP section = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(section, nullptr);
    for (int i = 0; i < 32; ++i)
        static_cast<uint32_t*>(bits)[i] = from_file.get_bits()[static_cast<size_t>(i)] & 0xFFFFFF;
    CDibitmap from_gdi;
    ASSERT_EQ(from_gdi.create_from_HBITMAP(section), 1);
    DeleteObject(section);
    EXPECT_FALSE(from_gdi.is_top_row_first());
    EXPECT_EQ(from_gdi.get_info().bmiHeader.biHeight, 4);
    EXPECT_EQ(from_gdi.get_info().bmiHeader.biSizeImage, 128u);

    for (CDibitmap* dib : {&from_file, &from_gdi}) {
        const std::string bmp = dir.file("out.bmp"), jpg = dir.file("out.jpg");
        ASSERT_EQ(dib->save_to_img_file(bmp.c_str()), 1);
        ASSERT_EQ(dib->save_to_img_file(jpg.c_str()), 1);
        const Rgb b = decode_rgb_file(bmp), j = decode_rgb_file(jpg);
        ASSERT_EQ(b.width, 8);
        ASSERT_EQ(j.height, 4);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 8; ++x) {
                const uint32_t want = (uint32_t(x * 4) << 16) | (uint32_t(y * 8) << 8) | 100;
                EXPECT_EQ(b.at(x, y), want);
                EXPECT_LE(channel_distance(j.at(x, y), want), 10);
            }
    }
    EXPECT_EQ(boxes.count(), 0u);
}

TEST_F(Dibitmap, SavingRefusesOddWidthsAndUnknownTypes) {
    TempDir dir;
    MessageBoxRecorder boxes;
    CDibitmap dib;
    std::vector<uint8_t> samples(102 * 2 * 4, 255);
    write_bytes(dir.file("w102.png"), write_png(102, 2, 4, samples));
    ASSERT_EQ(dib.create_from_file_rgb_by_d3d(device_, dir.file("w102.png").c_str()), 1);
    EXPECT_EQ(dib.save_to_bmp_file(dir.file("w102.bmp").c_str()), 0);
    EXPECT_EQ(dib.save_to_jpg_file(dir.file("w102.jpg").c_str(), TRUE, 90), 0);
    EXPECT_EQ(boxes.texts(), std::vector<std::string>(2, "图片的宽度必须是4的倍数"));
    EXPECT_EQ(read_file_bytes(dir.file("w102.bmp")), "");
    boxes.clear();

    samples.resize(104 * 2 * 4, 255);
    write_bytes(dir.file("w104.png"), write_png(104, 2, 4, samples));
    ASSERT_EQ(dib.create_from_file_rgb_by_d3d(device_, dir.file("w104.png").c_str()), 1);
    EXPECT_EQ(dib.save_to_bmp_file(dir.file("w104.bmp").c_str()), 1);
    EXPECT_EQ(read_file_bytes(dir.file("w104.bmp")).size(), 104u * 2 * 3 + 54);
    EXPECT_EQ(dib.save_to_img_file(dir.file("w104.gif").c_str()), 0);
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{"不支持该图片格式，无法保存!"});

    CDibitmap empty;
    std::vector<BYTE> out;
    EXPECT_EQ(empty.convert_to_24bit_buf(out, 1), 0);
}

TEST_F(Dibitmap, ScaledCopiesAreLetterboxedAndFlipped) {
    TempDir dir;
    std::vector<uint8_t> samples;
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 300; ++x)
            samples.insert(samples.end(), {uint8_t(y < 50 ? 255 : 0), 0, uint8_t(y < 50 ? 0 : 255), 255});
    write_bytes(dir.file("wide.png"), write_png(300, 100, 4, samples));
    CDibitmap dib;
    ASSERT_EQ(dib.create_from_file_rgb_by_d3d(device_, dir.file("wide.png").c_str()), 1);
    CBitmap out;
    ASSERT_EQ(dib.create_scaled_bitmap_from_me(out, 100, 100, 1, 1), 1);
    int w = 0, h = 0;
    const std::vector<uint32_t> px = bitmap_pixels(out, w, h);
    ASSERT_EQ(w, 100);
    const uint32_t window = GetSysColor(COLOR_WINDOW);
    const uint32_t window_xrgb = (GetRValue(window) << 16) | (GetGValue(window) << 8) | GetBValue(window);
    for (int y = 0; y < 100; ++y) {
        const uint32_t want = y < 33 || y >= 66 ? window_xrgb : y < 33 + 16 ? 0xFF0000u : 0x0000FFu;
        EXPECT_EQ(px[static_cast<size_t>(y) * 100 + 50], want) << y;
    }
    // Without flip the top-row-first pixels land upside down, as stored.
    ASSERT_EQ(dib.create_scaled_bitmap_from_me(out, 30, 10, 0, 0), 1);
    const std::vector<uint32_t> raw = bitmap_pixels(out, w, h);
    EXPECT_EQ(raw[0], 0x0000FFu);
    EXPECT_EQ(raw[9 * 30], 0xFF0000u);

    CDibitmap empty;
    EXPECT_EQ(empty.create_scaled_bitmap_from_me(out, 10, 10, 1, 1), 0);
    EXPECT_EQ(out.GetSafeHandle(), nullptr);
}

TEST_F(Dibitmap, ColourAdjustmentAndCopies) {
    TempDir dir;
    const std::string png = gradient_png(dir, "a.png", 4, 4);
    CDibitmap dib;
    ASSERT_EQ(dib.create_from_file_rgb_by_d3d(device_, png.c_str()), 1);
    CDibitmap copy;
    copy.clone_from(dib);
    EXPECT_EQ(copy.get_bits(), dib.get_bits());
    EXPECT_TRUE(copy.is_top_row_first());
    COLOR_ADJ_DATA identity;
    copy.adjust_color(identity);
    for (size_t i = 0; i < dib.get_bits().size(); ++i)
        EXPECT_EQ(copy.get_bits()[i], dib.get_bits()[i] & 0xFFFFFF);
    copy.fill_solid_color(0x123456);
    EXPECT_EQ(copy.get_bits()[15], 0x123456u);
    copy.clear();
    EXPECT_EQ(copy.is_valid(), 0u);
    EXPECT_EQ(copy.create_from_HBITMAP(nullptr), 0);
}

} // namespace
} // namespace qcore::test
