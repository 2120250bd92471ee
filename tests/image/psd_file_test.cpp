#include <qcore/image/psd_file.h>

#include <support/psd_writer.h>
#include <support/temp_dir.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

using qcore::test::Bytes;
using qcore::test::Image;
using qcore::test::Layout;
using qcore::test::put16;
using qcore::test::write_psd;

// Varied content with runs and literals, different in every channel.
Image make_image(uint32_t w, uint32_t h, int channels) {
    Image img{w, h, {}};
    for (int k = 0; k < channels; ++k) {
        Bytes p(size_t(w) * h);
        for (size_t i = 0; i < p.size(); ++i)
            p[i] = (i / 7) % 3 == 0 ? uint8_t(17 * k + 3) : uint8_t(i * 31 + k * 89 + i / w);
        img.planes.push_back(p);
    }
    return img;
}

bool load(CPsdFile& psd, const Bytes& file, IMG_CHANNEL ch = IMG_CHANNEL_ARGB, COLORREF bg = 0) {
    return psd.LoadPsdMemory(file.data(), file.size(), ch, bg);
}

const uint8_t* pixel(const CPsdFile& psd, uint32_t x, uint32_t y) {
    return psd.GetColorData() + (size_t(y) * psd.GetWidth() + x) * 4;
}

TEST(PsdFile, ChannelMappingForEveryLayout) {
    for (int channels : {3, 4}) {
        for (uint32_t compression : {0u, 1u}) {
            SCOPED_TRACE(testing::Message() << channels << " channels, compression " << compression);
            const Image img = make_image(300, 5, channels);
            Layout lay;
            lay.compression = compression;
            CPsdFile psd;
            ASSERT_TRUE(load(psd, write_psd(img, lay)));
            ASSERT_EQ(psd.GetWidth(), 300);
            ASSERT_EQ(psd.GetHeight(), 5);
            EXPECT_EQ(psd.GetPixelBitCount(), 32);
            for (uint32_t y = 0; y < img.height; ++y) {
                for (uint32_t x = 0; x < img.width; ++x) {
                    const size_t i = size_t(y) * img.width + x;
                    const uint8_t* px = pixel(psd, x, y);
                    const uint8_t alpha = channels == 4 ? img.planes[3][i] : 0;
                    ASSERT_EQ(px[2], img.planes[0][i]);
                    ASSERT_EQ(px[1], img.planes[1][i]);
                    ASSERT_EQ(px[0], img.planes[2][i]);
                    ASSERT_EQ(px[3], alpha);
                }
            }
        }
    }
}

TEST(PsdFile, LoadsFromDiskAndReadsHeaderAlone) {
    qcore::test::TempDir dir;
    const Image img = make_image(4, 3, 4);
    const Bytes file = write_psd(img);
    qcore::test::write_file_bytes(dir.file("a.psd"), std::string(file.begin(), file.end()));

    CPsdFile psd;
    EXPECT_TRUE(psd.LoadPsdFile(dir.file("a.psd").c_str(), IMG_CHANNEL_ARGB, 0));
    // Windows separators reach the same file.
    std::string windows_path = dir.file("a.psd");
    std::replace(windows_path.begin() + 1, windows_path.end(), '/', '\\');
    EXPECT_TRUE(psd.LoadPsdFile(windows_path.c_str(), IMG_CHANNEL_ARGB, 0));
    EXPECT_EQ(pixel(psd, 3, 2)[3], img.planes[3][11]);
    EXPECT_FALSE(psd.LoadPsdFile(dir.file("missing.psd").c_str(), IMG_CHANNEL_ARGB, 0));

    CPsdFile::PSD_FILE_HEADER head{};
    ASSERT_TRUE(CPsdFile::GetPsdDesc(dir.file("a.psd").c_str(), head));
    EXPECT_EQ(std::string(head.signature, 4), "8BPS");
    EXPECT_EQ(+head.version, 1);
    EXPECT_EQ(+head.channels, 4);
    EXPECT_EQ(+head.width, 4u);
    EXPECT_EQ(+head.height, 3u);
    EXPECT_EQ(+head.depth, 8);
    EXPECT_EQ(+head.mode, 3);
    EXPECT_FALSE(CPsdFile::GetPsdDesc(dir.file("missing.psd").c_str(), head));
    qcore::test::write_file_bytes(dir.file("short.psd"), "8BPS");
    EXPECT_FALSE(CPsdFile::GetPsdDesc(dir.file("short.psd").c_str(), head));
    // A pipe without a writer is not waited for, an endless device not read.
    const std::string pipe = dir.file("pipe.psd");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    for (const std::string& name : {pipe, std::string("/dev/zero")}) {
        EXPECT_FALSE(psd.LoadPsdFile(name.c_str(), IMG_CHANNEL_ARGB, 0)) << name;
        EXPECT_FALSE(CPsdFile::GetPsdDesc(name.c_str(), head)) << name;
    }
}

TEST(PsdFile, RefusesUnsupportedHeaders) {
    const Image img = make_image(2, 2, 4);
    struct Case {
        const char* what;
        Layout lay;
        int channels;
    };
    std::vector<Case> cases;
    auto add = [&](const char* what, auto change) {
        Layout lay;
        change(lay);
        cases.push_back({what, lay, -1});
    };
    add("grayscale", [](Layout& l) { l.mode = 1; });
    add("16 bits", [](Layout& l) { l.depth = 16; });
    add("signature", [](Layout& l) { l.signature = 0x38425054; });
    add("large document version", [](Layout& l) { l.version = 2; });
    add("zip compression", [](Layout& l) { l.compression = 2; });
    add("two channels", [](Layout& l) { l.channels = 2; });
    add("five channels", [](Layout& l) { l.channels = 5; });
    for (const Case& c : cases) {
        CPsdFile psd;
        EXPECT_FALSE(load(psd, write_psd(img, c.lay))) << c.what;
    }
}

TEST(PsdFile, RefusesSidesOutsideTheFormatLimits) {
    for (uint32_t w : {0u, 30001u, 0xffffffffu}) {
        Image img{w, 1, {}};
        CPsdFile psd;
        Bytes data(100, 0);
        Layout lay;
        lay.data = &data;
        lay.channels = 3;
        EXPECT_FALSE(load(psd, write_psd(img, lay))) << w;
        img = Image{1, w, {}};
        EXPECT_FALSE(load(psd, write_psd(img, lay))) << w;
    }
}

TEST(PsdFile, SizesAreCheckedAgainstTheFileBeforeDecoding) {
    // 30000 x 30000 is legal, but far more than a few bytes can describe in either encoding.
    Image big{30000, 30000, {}};
    Bytes data(4096, 0);
    for (uint32_t compression : {0u, 1u}) {
        Layout lay;
        lay.data = &data;
        lay.channels = 4;
        lay.compression = compression;
        CPsdFile psd;
        EXPECT_FALSE(load(psd, write_psd(big, lay)));
        EXPECT_EQ(psd.GetColorData(), nullptr);
    }
}

TEST(PsdFile, EveryTruncationIsRefused) {
    for (uint32_t compression : {0u, 1u}) {
        Layout lay;
        lay.compression = compression;
        const Bytes file = write_psd(make_image(9, 4, 4), lay);
        CPsdFile psd;
        ASSERT_TRUE(load(psd, file));
        for (size_t n = 0; n < file.size(); ++n) {
            const Bytes part(file.begin(), file.begin() + n);
            ASSERT_FALSE(load(psd, part)) << "length " << n << ", compression " << compression;
        }
    }
}

TEST(PsdFile, SectionLengthsPastTheEndAreRefused) {
    const Image img = make_image(2, 2, 3);
    for (int s = 0; s < 3; ++s) {
        Bytes file = write_psd(img);
        // Lengths sit after the header: 26, then 4 + 3, then 4 + 0.
        const size_t at[3] = {26, 33, 37};
        file[at[s]] = 0x7f;
        CPsdFile psd;
        EXPECT_FALSE(load(psd, file)) << s;
    }
}

// PackBits image data (row counts, then the rows) from hand-written rows.
Bytes packbits_data(const std::vector<Bytes>& rows) {
    Bytes out;
    for (const Bytes& r : rows)
        put16(out, uint32_t(r.size()));
    for (const Bytes& r : rows)
        out.insert(out.end(), r.begin(), r.end());
    return out;
}

// Loads a three-channel PackBits image of the given size made of hand-written rows (red rows first).
bool load_packbits_rows(CPsdFile& psd, uint32_t width, uint32_t height, const std::vector<Bytes>& rows) {
    const Bytes data = packbits_data(rows);
    Layout lay;
    lay.compression = 1;
    lay.data = &data;
    lay.channels = 3;
    return load(psd, write_psd(Image{width, height, {}}, lay));
}

TEST(PsdFile, PackBitsRepeatRun) {
    // Red row FE 41: 0x41 three times; green and blue rows are literals.
    CPsdFile psd;
    ASSERT_TRUE(load_packbits_rows(psd, 3, 1, {{0xfe, 0x41}, {0x02, 1, 2, 3}, {0x02, 4, 5, 6}}));
    for (uint32_t x = 0; x < 3; ++x) {
        EXPECT_EQ(pixel(psd, x, 0)[2], 0x41);
        EXPECT_EQ(pixel(psd, x, 0)[1], x + 1);
        EXPECT_EQ(pixel(psd, x, 0)[0], x + 4);
        EXPECT_EQ(pixel(psd, x, 0)[3], 0);
    }
}

TEST(PsdFile, PackBitsRunsPastTheRowAreClipped) {
    // Width 2, two rows per channel: repeats and literals overrun their row (the last one by 126 bytes);
    // the next row starts after the whole run.
    Bytes longest{0x7f};
    for (uint8_t v = 10; v < 138; ++v)
        longest.push_back(v);
    CPsdFile psd;
    ASSERT_TRUE(load_packbits_rows(
        psd, 2, 2, {{0xfc, 9}, {0x03, 1, 2, 3, 4}, {0x01, 5, 6}, {0xff, 7}, {0x00, 8, 0x00, 9}, longest}));
    const int expect[2][2][3] = {{{8, 5, 9}, {9, 6, 9}}, {{10, 7, 1}, {11, 7, 2}}}; // [y][x] blue, green, red
    for (uint32_t y = 0; y < 2; ++y)
        for (uint32_t x = 0; x < 2; ++x)
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(pixel(psd, x, y)[c], expect[y][x][c]) << x << "," << y << "," << c;
}

TEST(PsdFile, PackBitsControlByte128IsANoOp) {
    // As padding before, between and after runs, the way common writers emit it.
    CPsdFile psd;
    ASSERT_TRUE(load_packbits_rows(
        psd, 2, 1, {{0x80, 0x00, 0x01, 0x80, 0x00, 0x02}, {0x80, 0xff, 7}, {0x01, 3, 4, 0x80}}));
    EXPECT_EQ(pixel(psd, 0, 0)[2], 1);
    EXPECT_EQ(pixel(psd, 1, 0)[2], 2);
    EXPECT_EQ(pixel(psd, 1, 0)[1], 7);
    EXPECT_EQ(pixel(psd, 1, 0)[0], 4);
    // A row of nothing but no-ops is still short of pixels.
    EXPECT_FALSE(load_packbits_rows(psd, 1, 1, {{0x80, 0x80, 0x80}, {0x00, 1}, {0x00, 2}}));
}

TEST(PsdFile, ARefusedFileLeavesNoSizeBehind) {
    Image img{2, 1, {{10, 20}, {30, 40}, {50, 60}}};
    CPsdFile psd;
    ASSERT_TRUE(load(psd, write_psd(img), IMG_CHANNEL_ARGB));
    ASSERT_EQ(psd.GetWidth(), 2);
    // A valid header whose data is cut short, then a file that is not a PSD at all.
    Bytes cut = write_psd(make_image(5, 3, 3));
    cut.resize(cut.size() - 4);
    for (const Bytes& bad : {cut, Bytes(40, 0x20)}) {
        ASSERT_TRUE(load(psd, write_psd(img), IMG_CHANNEL_ARGB));
        EXPECT_FALSE(load(psd, bad, IMG_CHANNEL_ARGB));
        EXPECT_EQ(psd.GetWidth(), 0);
        EXPECT_EQ(psd.GetHeight(), 0);
        EXPECT_EQ(psd.GetColorData(), nullptr);
    }
    qcore::test::TempDir dir;
    ASSERT_TRUE(load(psd, write_psd(img), IMG_CHANNEL_ARGB));
    EXPECT_FALSE(psd.LoadPsdFile(dir.file("missing.psd").c_str(), IMG_CHANNEL_ARGB, 0));
    EXPECT_EQ(psd.GetWidth(), 0);
}

TEST(PsdFile, AlphaDelivery) {
    Image img{2, 1, {{10, 20}, {30, 40}, {50, 60}, {0x80, 0}}};
    CPsdFile psd;
    ASSERT_TRUE(load(psd, write_psd(img), IMG_CHANNEL_ALPHA));
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(pixel(psd, 0, 0)[c], 0x80);
        EXPECT_EQ(pixel(psd, 1, 0)[c], 0);
    }
    img.planes.pop_back();
    EXPECT_FALSE(load(psd, write_psd(img), IMG_CHANNEL_ALPHA));
}

TEST(PsdFile, CompositingOverBackground) {
    // Pixels: alpha 0, alpha 255, alpha 128 matted against white, alpha 128 darker than the matte allows.
    Image img{4, 1, {{1, 2, 200, 0}, {3, 4, 255, 126}, {5, 6, 128, 0}, {0, 255, 128, 128}}};
    CPsdFile psd;
    ASSERT_TRUE(load(psd, write_psd(img), IMG_CHANNEL_RGB_OVER_BG, 0x00FF000A));
    const uint8_t* px = pixel(psd, 0, 0);
    EXPECT_EQ(px[0], 255); // blue from bits 16-23
    EXPECT_EQ(px[1], 0);
    EXPECT_EQ(px[2], 10); // red from bits 0-7
    EXPECT_EQ(px[3], 0);
    px = pixel(psd, 1, 0);
    EXPECT_EQ((std::vector<int>{px[0], px[1], px[2], px[3]}), (std::vector<int>{6, 4, 2, 255}));
    // red: u = (200 + 128 - 255) * 255 / 128 = 145, then 145 x 0.50196 + 10 x 0.49804 = 77.76
    // green: u = 255, then 255 x 0.50196 = 128.0; blue: u = 1, then 0.50196 + 255 x 0.49804 = 127.5
    px = pixel(psd, 2, 0);
    EXPECT_EQ((std::vector<int>{px[0], px[1], px[2], px[3]}), (std::vector<int>{127, 128, 77, 128}));
    // green 126 and red 0 lie below the white matte; they count as black instead of wrapping round.
    px = pixel(psd, 3, 0);
    EXPECT_EQ((std::vector<int>{px[0], px[1], px[2], px[3]}), (std::vector<int>{126, 0, 4, 128}));

    // Three channels: nothing to composite.
    img.planes.pop_back();
    ASSERT_TRUE(load(psd, write_psd(img), IMG_CHANNEL_RGB_OVER_BG, 0x00FF000A));
    EXPECT_EQ(pixel(psd, 0, 0)[0], 5);
    EXPECT_EQ(pixel(psd, 0, 0)[2], 1);
}

TEST(PsdFile, CreateAndClear) {
    CPsdFile psd;
    ASSERT_TRUE(psd.Create(3, 2, 4));
    CPsdFile::PSD_FILE_HEADER head{};
    psd.GetPsdDesc(head);
    EXPECT_EQ(std::string(head.signature, 4), "8BPS");
    EXPECT_EQ(+head.channels, 4);
    EXPECT_EQ(+head.depth, 8);
    EXPECT_EQ(+head.mode, 3);
    EXPECT_EQ(psd.GetWidth(), 3);
    EXPECT_EQ(psd.GetHeight(), 2);
    EXPECT_EQ(std::vector<uint8_t>(psd.GetColorData(), psd.GetColorData() + 24), std::vector<uint8_t>(24, 0));
    psd.Clear();
    EXPECT_EQ(psd.GetColorData(), nullptr);
    EXPECT_FALSE(psd.Create(-1, 2, 4));
}

} // namespace
