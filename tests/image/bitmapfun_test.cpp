#include <qcore/image/bitmapfun.h>
#include <qcore/platform/win32/com_ref.h>
#include <qcore/platform/win32/message_box.h>

#include "image_check.h"
#include "platform/d3d8/d3dx/image_test_util.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace qcore::test {
namespace {

void write_bytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    write_file_bytes(path, std::string(bytes.begin(), bytes.end()));
}

uint32_t window_colour() {
    const COLORREF c = GetSysColor(COLOR_WINDOW);
    return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
}

// A top-down DIB section of the given depth and width x 1 or more rows, with a grey palette when it has one.
HBITMAP section(int bits, int width, int height, void** pixels) {
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colours[256];
    } info{};
    info.header = BITMAPINFOHEADER{40, width, -height, 1, static_cast<WORD>(bits), BI_RGB, 0, 0, 0, 0, 0};
    for (int i = 0; i < 256; ++i)
        info.colours[i] = RGBQUAD{BYTE(i), BYTE(i), BYTE(i), 0};
    return CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, pixels, nullptr,
                            0);
}

// A 32-bit bitmap of w x h whose pixel (x, y) is `colour(x, y)`.
template <class F> HBITMAP filled(int w, int h, F colour) {
    void* bits = nullptr;
    HBITMAP b = section(32, w, h, &bits);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            static_cast<uint32_t*>(bits)[y * w + x] = colour(x, y);
    return b;
}

using PreviewFiles = D3dxDeviceTest;

TEST_F(PreviewFiles, JpegAndBmpThroughThePictureLoader) {
    TempDir dir;
    MessageBoxRecorder boxes;
    std::vector<uint8_t> rgb;
    for (int i = 0; i < 200 * 100; ++i)
        rgb.insert(rgb.end(), {200, 40, 10});
    const std::string jpg = dir.file("a.jpg");
    write_bytes(jpg, write_jpeg(200, 100, 3, rgb, 95));
    CBitmap out;
    ASSERT_EQ(bitmapfun::load_any_file_to_bitmap(device_, jpg.c_str(), out, 0, 0, 1, IMG_CHANNEL_ARGB, 0), 1);
    int w = 0, h = 0;
    std::vector<uint32_t> px = bitmap_pixels(out, w, h);
    EXPECT_EQ(w, 200);
    EXPECT_EQ(h, 100);
    EXPECT_LE(channel_distance(px[5050], 0xC8280A), 4);
    EXPECT_EQ(bitmapfun::load_any_file_to_bitmap(device_, jpg.c_str(), out, 0, 0, 1, IMG_CHANNEL_ALPHA, 0),
              0);
    EXPECT_EQ(out.GetSafeHandle(), nullptr);
    ASSERT_EQ(bitmapfun::load_any_file_to_bitmap(device_, jpg.c_str(), out, 50, 0, 0, IMG_CHANNEL_ARGB, 0),
              1);
    bitmap_pixels(out, w, h);
    EXPECT_EQ(w, 50);
    EXPECT_EQ(h, 100);

    // A bottom-up 24-bit BMP with a red top row and a blue bottom row.
    Bytes bmp = bmp_header(4, 2, 24, 0, 0, 24);
    for (int i = 0; i < 4; ++i)
        bmp.raw({255, 0, 0});
    for (int i = 0; i < 4; ++i)
        bmp.raw({0, 0, 255});
    write_bytes(dir.file("a.bmp"), bmp.v);
    qcore::ComRef<IPicture> pic(bitmapfun::load_any_file_to_ipic(dir.file("a.bmp").c_str()));
    ASSERT_TRUE(pic);
    const BITMAP info = bitmapfun::get_ipic_info(pic.get());
    EXPECT_EQ(info.bmWidth, 4);
    EXPECT_EQ(info.bmHeight, 2);
    OLE_XSIZE_HIMETRIC hw = 0;
    pic->get_Width(&hw);
    EXPECT_EQ(hw, 106); // 4 pixels at 96 per inch
    px = bitmap_pixels(*bitmapfun::get_bitmap_from_ipic(pic.get()), w, h);
    EXPECT_EQ(px[0], 0xFF0000u);
    EXPECT_EQ(px[4], 0x0000FFu);
    EXPECT_EQ(bitmapfun::get_bitmap_from_ipic(nullptr), nullptr);
    EXPECT_EQ(boxes.count(), 0u);
}

TEST_F(PreviewFiles, DamagedMissingAndUnsupportedFilesGiveNothing) {
    TempDir dir;
    MessageBoxRecorder boxes;
    const std::vector<uint8_t> jpeg = write_jpeg(16, 16, 3, std::vector<uint8_t>(16 * 16 * 3, 90), 90);
    CBitmap out;
    for (size_t cut : {size_t{3}, size_t{20}, jpeg.size() / 2}) {
        write_bytes(dir.file("cut.jpg"),
                    std::vector<uint8_t>(jpeg.begin(), jpeg.begin() + static_cast<long>(cut)));
        EXPECT_EQ(bitmapfun::load_any_file_to_bitmap(device_, dir.file("cut.jpg").c_str(), out, 0, 0, 1,
                                                     IMG_CHANNEL_ARGB, 0),
                  0)
            << cut;
    }
    write_file_bytes(dir.file("a.psd"), "8BPS");
    write_file_bytes(dir.file("fake.png"), "not a png");
    for (const char* name : {"a.psd", "none.jpg", "fake.png", "none.atx"})
        EXPECT_EQ(bitmapfun::load_any_file_to_bitmap(device_, dir.file(name).c_str(), out, 8, 8, 1,
                                                     IMG_CHANNEL_ARGB, 0),
                  0)
            << name;
    EXPECT_EQ(boxes.count(), 0u);
    EXPECT_EQ(bitmapfun::load_any_file_to_ipic(dir.file("none.jpg").c_str()), nullptr);
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{"无法打开 " + dir.file("none.jpg")});
}

void write_atx(const std::string& path, const std::vector<std::string>& frames) {
    std::string text = "[QVX_ATX_SETTING]\nver=1.000000\nfile_count=" + std::to_string(frames.size()) + "\n";
    for (size_t i = 0; i < frames.size(); ++i)
        text += "file" + std::to_string(i) + "=" + frames[i] + "\ntime" + std::to_string(i) + "=100\n";
    write_file_bytes(path, text);
}

TEST_F(PreviewFiles, AnimatedTexturesShowTheirFirstFrameWithACaption) {
    TempDir dir;
    MessageBoxRecorder boxes;
    write_bytes(dir.file("f0.jpg"), write_jpeg(96, 64, 3, std::vector<uint8_t>(96 * 64 * 3, 128), 95));
    write_atx(dir.file("wave.atx"), {"f0.jpg", "f1.jpg"});
    CBitmap out;
    ASSERT_EQ(bitmapfun::load_any_file_to_bitmap(device_, dir.file("wave.atx").c_str(), out, 0, 0, 1,
                                                 IMG_CHANNEL_ARGB, 0),
              1);
    int w = 0, h = 0;
    const std::vector<uint32_t> px = bitmap_pixels(out, w, h);
    ASSERT_EQ(w, 96);
    // The caption's opaque black box and white strokes sit at the top left; the frame shows below it.
    const auto black = std::count(px.begin(), px.begin() + 96 * 12, 0u);
    const auto white = std::count_if(px.begin(), px.begin() + 96 * 12,
                                     [](uint32_t p) { return channel_distance(p, 0xFFFFFF) < 80; });
    EXPECT_GT(black, 100);
    EXPECT_GT(white, 10);
    EXPECT_LE(channel_distance(px[static_cast<size_t>(40) * 96 + 48], 0x808080), 3);
    EXPECT_LE(channel_distance(px[5 * 96 + 90], 0x808080), 3);

    // Missing first frame, a first frame that is the animation itself, and one that is another animation.
    write_atx(dir.file("missing.atx"), {"gone.jpg"});
    write_atx(dir.file("self.atx"), {"self.atx"});
    write_atx(dir.file("outer.atx"), {"wave.atx"});
    for (const char* name : {"missing.atx", "self.atx", "outer.atx"})
        EXPECT_EQ(bitmapfun::load_any_file_to_bitmap(device_, dir.file(name).c_str(), out, 0, 0, 1,
                                                     IMG_CHANNEL_ARGB, 0),
                  0)
            << name;
    EXPECT_EQ(boxes.count(), 0u);
}

TEST_F(PreviewFiles, PngThroughTheBitmapLoaderStandsUpright) {
    TempDir dir;
    std::vector<uint8_t> samples;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            samples.insert(samples.end(), {uint8_t(y == 0 ? 255 : 0), 0, uint8_t(y == 0 ? 0 : 255), 255});
    write_bytes(dir.file("a.png"), write_png(4, 4, 4, samples));
    CBitmap out;
    ASSERT_EQ(bitmapfun::load_any_file_to_bitmap(device_, dir.file("a.png").c_str(), out, 0, 0, 1,
                                                 IMG_CHANNEL_ARGB, 0),
              1);
    int w = 0, h = 0;
    const std::vector<uint32_t> px = bitmap_pixels(out, w, h);
    ASSERT_EQ(w, 4);
    EXPECT_EQ(px[0], 0xFF0000u);
    EXPECT_EQ(px[15], 0x0000FFu);
}

TEST(PreviewScaling, KeepsTheAspectRatioAndCentres) {
    CBitmap src;
    src.Attach(filled(400, 100, [](int, int) { return 0x00FF00u; }));
    CBitmap out;
    ASSERT_EQ(bitmapfun::scale_bitmap(src, out, 100, 100, 1), 1);
    int w = 0, h = 0;
    std::vector<uint32_t> px = bitmap_pixels(out, w, h);
    for (int y = 0; y < 100; ++y)
        EXPECT_EQ(px[static_cast<size_t>(y) * 100 + 7], y >= 37 && y < 62 ? 0x00FF00u : window_colour()) << y;

    // Ratios 1.3333 and 1.334 count as equal: the whole target is image.
    CBitmap ratio;
    ratio.Attach(filled(1334, 1000, [](int, int) { return 0x0000FFu; }));
    ASSERT_EQ(bitmapfun::scale_bitmap(ratio, out, 400, 300, 1), 1);
    px = bitmap_pixels(out, w, h);
    EXPECT_EQ(px[0], 0x0000FFu);
    EXPECT_EQ(px.back(), 0x0000FFu);

    // Without keep_aspect the source fills the target; a bitmap may be scaled onto itself.
    ASSERT_EQ(bitmapfun::scale_bitmap(src, src, 10, 20, 0), 1);
    px = bitmap_pixels(src, w, h);
    EXPECT_EQ(w, 10);
    EXPECT_EQ(h, 20);
    EXPECT_EQ(px[0], 0x00FF00u);
}

TEST(PreviewDrawing, ZoomAndPanInsideTheRectangle) {
    CBitmap canvas;
    canvas.Attach(filled(40, 40, [](int, int) { return 0x777777u; }));
    CBitmap image;
    image.Attach(filled(4, 4, [](int x, int y) { return static_cast<uint32_t>(x << 16 | y); }));
    CDC dc;
    ASSERT_TRUE(dc.CreateCompatibleDC(nullptr));
    dc.SelectObject(&canvas);
    const CRect rect(10, 10, 30, 30);
    // Zoom 2 centred at (20, 20): the image covers 16..24 and each source pixel two target pixels.
    bitmapfun::draw_bitmap(&dc, rect, 0, 0, 2.0f, image, RGB(0, 0, 255));
    EXPECT_EQ(dc.GetPixel(16, 16), RGB(0, 0, 0));
    EXPECT_EQ(dc.GetPixel(23, 23), RGB(3, 0, 3));
    EXPECT_EQ(dc.GetPixel(18, 21), RGB(1, 0, 2));
    EXPECT_EQ(dc.GetPixel(12, 20), RGB(0, 0, 255));
    EXPECT_EQ(dc.GetPixel(25, 20), RGB(0, 0, 255));
    EXPECT_EQ(dc.GetPixel(5, 5), RGB(0x77, 0x77, 0x77));
    // Panned past the right edge: clipped at the rectangle.
    bitmapfun::draw_bitmap(&dc, rect, 8, 0, 2.0f, image, RGB(0, 255, 0));
    EXPECT_EQ(dc.GetPixel(29, 20), RGB(2, 0, 2));
    EXPECT_EQ(dc.GetPixel(30, 20), RGB(0x77, 0x77, 0x77));
    EXPECT_EQ(dc.GetPixel(23, 20), RGB(0, 255, 0));
    // Zooms that are not positive, and images wholly outside, leave only background.
    for (float zoom : {0.0f, -1.0f}) {
        bitmapfun::draw_bitmap(&dc, rect, 0, 0, zoom, image, RGB(9, 9, 9));
        EXPECT_EQ(dc.GetPixel(20, 20), RGB(9, 9, 9));
    }
    bitmapfun::draw_bitmap(&dc, rect, 100, 0, 1.0f, image, RGB(8, 8, 8));
    EXPECT_EQ(dc.GetPixel(20, 20), RGB(8, 8, 8));
    EXPECT_EQ(dc.GetPixel(10, 29), RGB(8, 8, 8));
}

TEST(PreviewMirrors, AreTheirOwnInverseAtEveryDepth) {
    void* bits = nullptr;
    CBitmap three;
    three.Attach(section(24, 3, 1, &bits));
    auto* p = static_cast<BYTE*>(bits);
    for (int i = 0; i < 9; ++i)
        p[i] = static_cast<BYTE>(i + 1);
    bitmapfun::flip_bitmap_hor(three);
    EXPECT_EQ(std::vector<BYTE>(p, p + 9), (std::vector<BYTE>{7, 8, 9, 4, 5, 6, 1, 2, 3}));

    for (int depth : {1, 4, 8, 16, 24, 32}) {
        CBitmap b;
        b.Attach(section(depth, 13, 5, &bits));
        BITMAP bm{};
        b.GetBitmap(&bm);
        const size_t size = static_cast<size_t>(bm.bmWidthBytes) * 5;
        auto* data = static_cast<BYTE*>(bits);
        for (size_t i = 0; i < size; ++i)
            data[i] = static_cast<BYTE>(i * 37 + 11);
        const std::vector<BYTE> before(data, data + size);
        CDC dc;
        dc.CreateCompatibleDC(nullptr);
        CBitmap* old = dc.SelectObject(&b);
        const COLORREF first = dc.GetPixel(0, 1), last = dc.GetPixel(12, 1), top = dc.GetPixel(3, 0);
        bitmapfun::flip_bitmap_hor(b);
        EXPECT_EQ(dc.GetPixel(12, 1), first) << depth;
        EXPECT_EQ(dc.GetPixel(0, 1), last) << depth;
        bitmapfun::flip_bitmap_ver(b);
        EXPECT_EQ(dc.GetPixel(9, 4), top) << depth;
        dc.SelectObject(old);
        bitmapfun::flip_bitmap_ver(b);
        bitmapfun::flip_bitmap_hor(b);
        EXPECT_EQ(std::vector<BYTE>(data, data + size), before) << depth;
    }
    // A bitmap without pixel memory of its own is left alone.
    CBitmap ddb;
    ddb.Attach(CreateCompatibleBitmap(nullptr, 2, 2));
    bitmapfun::flip_bitmap_hor(ddb);
    CBitmap none;
    bitmapfun::flip_bitmap_ver(none);
}

TEST(SuperDC, OwnObjectsAreReplacedAndTheOldOnesComeBack) {
    CBitmap canvas;
    canvas.Attach(filled(20, 10, [](int, int) { return 0u; }));
    CDC dc;
    ASSERT_TRUE(dc.CreateCompatibleDC(nullptr));
    dc.SelectObject(&canvas);
    const HGDIOBJ pen = GetCurrentObject(dc, OBJ_PEN), brush = GetCurrentObject(dc, OBJ_BRUSH);
    {
        CSuperDC sdc(&dc);
        EXPECT_EQ(sdc.get_rect(), CRect(0, 0, 20, 10));
        sdc.set_pen(RGB(255, 0, 0), 1, PS_SOLID);
        const HGDIOBJ first = GetCurrentObject(dc, OBJ_PEN);
        sdc.draw_cross(CPoint(5, 5), 3, RGB(0, 255, 0));
        // The earlier pen of its own was deleted once the new one was selected.
        EXPECT_EQ(GetObjectType(first), 0u);
        EXPECT_EQ(dc.GetPixel(3, 5), RGB(0, 255, 0));
        EXPECT_EQ(dc.GetPixel(7, 5), RGB(0, 255, 0));
        // GDI leaves out the end points.
        EXPECT_EQ(dc.GetPixel(8, 5), RGB(0, 0, 0));
        EXPECT_EQ(dc.GetPixel(2, 5), RGB(0, 0, 0));
        EXPECT_EQ(dc.GetPixel(5, 3), RGB(0, 255, 0));
        EXPECT_EQ(dc.GetPixel(5, 2), RGB(0, 0, 0));
        sdc.set_brush(RGB(1, 2, 3));
        sdc.set_brush(RGB(4, 5, 6));
        sdc.set_font(1, 12);
        sdc.set_transprent_bk_mode(1);
        EXPECT_EQ(GetBkMode(dc), TRANSPARENT);
    }
    EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), pen);
    EXPECT_EQ(GetCurrentObject(dc, OBJ_BRUSH), brush);

    CFont font;
    ASSERT_EQ(CSuperDC::create_font(1, 12, font), 1);
    LOGFONTA lf{};
    font.GetLogFont(&lf);
    EXPECT_STREQ(lf.lfFaceName, "宋体");
    EXPECT_EQ(lf.lfHeight, 12);
    ASSERT_EQ(CSuperDC::create_font(2, 14, font), 1);
    font.GetLogFont(&lf);
    EXPECT_STREQ(lf.lfFaceName, "");
}

} // namespace
} // namespace qcore::test
