// Pixel layouts of the formats and the resampling filters on known patterns.
#include <qcore/platform/d3d8/d3dx/image_filter.h>

#include <qcore/platform/d3d8/d3dx/d3dx8core.h>

#include <gtest/gtest.h>

using namespace qcore::detail;

namespace {

ArgbImage image_of(uint32_t w, uint32_t h, std::vector<uint32_t> pixels) {
    ArgbImage img;
    img.width = w, img.height = h, img.pixels = std::move(pixels);
    return img;
}

std::vector<uint8_t> encode_one(D3DFORMAT f, uint32_t colour) {
    std::vector<uint8_t> out(4, 0xEE);
    EXPECT_TRUE(encode_pixels(f, image_of(1, 1, {colour}), out.data(), 4, false));
    out.resize(pixel_format_info(f).bits / 8);
    return out;
}

uint32_t decode_one(D3DFORMAT f, std::vector<uint8_t> bytes) {
    ArgbImage out;
    EXPECT_TRUE(decode_pixels(f, bytes.data(), bytes.size(), 1, 1, out));
    return out.pixels[0];
}

TEST(PixelFormat, PublishedLayouts) {
    EXPECT_EQ(encode_one(D3DFMT_A8R8G8B8, 0x80112233), (std::vector<uint8_t>{0x33, 0x22, 0x11, 0x80}));
    EXPECT_EQ(encode_one(D3DFMT_X8R8G8B8, 0x00112233), (std::vector<uint8_t>{0x33, 0x22, 0x11, 0xFF}));
    EXPECT_EQ(encode_one(D3DFMT_R8G8B8, 0xFF112233), (std::vector<uint8_t>{0x33, 0x22, 0x11}));
    EXPECT_EQ(encode_one(D3DFMT_R5G6B5, 0xFFFF0000), (std::vector<uint8_t>{0x00, 0xF8}));
    EXPECT_EQ(encode_one(D3DFMT_R5G6B5, 0xFF00FF00), (std::vector<uint8_t>{0xE0, 0x07}));
    EXPECT_EQ(encode_one(D3DFMT_A1R5G5B5, 0x800000FF), (std::vector<uint8_t>{0x1F, 0x80}));
    EXPECT_EQ(encode_one(D3DFMT_A1R5G5B5, 0x7F0000FF), (std::vector<uint8_t>{0x1F, 0x00}));
    EXPECT_EQ(encode_one(D3DFMT_X1R5G5B5, 0x00FF0000), (std::vector<uint8_t>{0x00, 0xFC}));
    EXPECT_EQ(encode_one(D3DFMT_A4R4G4B4, 0xFF00FF00), (std::vector<uint8_t>{0xF0, 0xF0}));
    EXPECT_EQ(encode_one(D3DFMT_R3G3B2, 0xFFFF0000), (std::vector<uint8_t>{0xE0}));
    EXPECT_EQ(encode_one(D3DFMT_A8, 0x7F123456), (std::vector<uint8_t>{0x7F}));
    EXPECT_EQ(encode_one(D3DFMT_L8, 0xFFFFFFFF), (std::vector<uint8_t>{0xFF}));
    EXPECT_EQ(encode_one(D3DFMT_A8L8, 0x40000000), (std::vector<uint8_t>{0x00, 0x40}));
    EXPECT_EQ(encode_one(D3DFMT_A4L4, 0xFFFFFFFF), (std::vector<uint8_t>{0xFF}));
    // Signed channels: colour 128 is zero, 255 the largest positive value.
    EXPECT_EQ(encode_one(D3DFMT_V8U8, 0xFFFF8000), (std::vector<uint8_t>{0x7F, 0x00}));
    EXPECT_EQ(encode_one(D3DFMT_Q8W8V8U8, 0x80008080), (std::vector<uint8_t>{0x80, 0x00, 0x00, 0x00}));

    EXPECT_EQ(decode_one(D3DFMT_R5G6B5, {0x1F, 0x00}), 0xFF0000FFu);
    EXPECT_EQ(decode_one(D3DFMT_A1R5G5B5, {0x00, 0x7C}), 0x00FF0000u);
    EXPECT_EQ(decode_one(D3DFMT_A4R4G4B4, {0x0F, 0x80}), 0x880000FFu);
    EXPECT_EQ(decode_one(D3DFMT_L8, {0x40}), 0xFF404040u);
    EXPECT_EQ(decode_one(D3DFMT_A8, {0x40}), 0x40000000u);
}

TEST(PixelFormat, RoundTripsWithinQuantisation) {
    const D3DFORMAT formats[] = {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_R8G8B8,      D3DFMT_R5G6B5,
                                 D3DFMT_X1R5G5B5, D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4,    D3DFMT_R3G3B2,
                                 D3DFMT_A8R3G3B2, D3DFMT_X4R4G4B4, D3DFMT_A2B10G10R10, D3DFMT_V8U8,
                                 D3DFMT_Q8W8V8U8, D3DFMT_X8L8V8U8, D3DFMT_L6V5U5,      D3DFMT_G16R16};
    const uint32_t colours[] = {0xFF000000, 0xFFFFFFFF, 0xFF804020, 0xFF13579B, 0xFF7F7F7F};
    for (D3DFORMAT f : formats) {
        const PixelFormatInfo info = pixel_format_info(f);
        for (uint32_t c : colours) {
            const uint32_t back = decode_one(f, encode_one(f, c));
            // The coarsest channel has 2 bits; allow one step of it.
            const bool three_bits = f == D3DFMT_R3G3B2 || f == D3DFMT_A8R3G3B2;
            const int tolerance = three_bits ? 43 : info.bits == 16 ? 17 : 1;
            for (int shift : {0, 8, 16}) {
                if ((f == D3DFMT_V8U8 || f == D3DFMT_G16R16) && shift == 0) continue; // no blue channel
                EXPECT_NEAR(int(back >> shift & 255), int(c >> shift & 255), tolerance)
                    << "format " << f << " colour " << std::hex << c;
            }
        }
    }
}

TEST(PixelFormat, SizesAndBlocks) {
    EXPECT_EQ(row_pitch(D3DFMT_DXT1, 1), 8u);
    EXPECT_EQ(row_pitch(D3DFMT_DXT5, 9), 48u);
    EXPECT_EQ(surface_bytes(D3DFMT_DXT1, 2, 2), 8u);
    EXPECT_EQ(surface_bytes(D3DFMT_R8G8B8, 3, 2), 18u);

    // A DXT1 round trip of an opaque image keeps it opaque even where alpha was 0.
    ArgbImage img = image_of(4, 4, std::vector<uint32_t>(16, 0x00FF0000));
    uint8_t block[8];
    ASSERT_TRUE(encode_pixels(D3DFMT_DXT1, img, block, 8, false, true));
    ArgbImage back;
    ASSERT_TRUE(decode_pixels(D3DFMT_DXT1, block, 8, 4, 4, back));
    EXPECT_EQ(back.pixels[5], 0xFFFF0000u);
    // Without the opaque hint, alpha below one half is transparent black in DXT1.
    ASSERT_TRUE(encode_pixels(D3DFMT_DXT1, img, block, 8, false, false));
    ASSERT_TRUE(decode_pixels(D3DFMT_DXT1, block, 8, 4, 4, back));
    EXPECT_EQ(back.pixels[5], 0u);
    // A 6x6 DXT5 image spans 2x2 blocks and keeps its colours.
    img = image_of(6, 6, std::vector<uint32_t>(36, 0x8000FF00));
    std::vector<uint8_t> blocks(surface_bytes(D3DFMT_DXT5, 6, 6));
    ASSERT_TRUE(encode_pixels(D3DFMT_DXT5, img, blocks.data(), row_pitch(D3DFMT_DXT5, 6), false));
    ASSERT_TRUE(decode_pixels(D3DFMT_DXT5, blocks.data(), row_pitch(D3DFMT_DXT5, 6), 6, 6, back));
    EXPECT_EQ(back.pixels[35], 0x8000FF00u);
}

TEST(Filter, KnownPatterns) {
    // Box-down of a checkerboard is uniform grey.
    std::vector<uint32_t> board(64);
    for (uint32_t i = 0; i < 64; ++i)
        board[i] = ((i / 8 + i % 8) & 1) ? 0xFFFFFFFF : 0xFF000000;
    const ArgbImage checker = image_of(8, 8, board);
    for (DWORD filter : {DWORD(D3DX_FILTER_BOX), DWORD(D3DX_FILTER_TRIANGLE), DWORD(D3DX_FILTER_LINEAR)}) {
        const ArgbImage half = resample(checker, 4, 4, filter);
        for (uint32_t c : half.pixels) {
            EXPECT_NEAR(double(c & 255), 127.5, 1.0) << filter;
            EXPECT_EQ(c >> 24, 255u);
        }
    }

    // Point sampling doubles pixels; linear blends between them.
    const ArgbImage two = image_of(2, 1, {0xFF000000, 0xFFC8C8C8});
    EXPECT_EQ(resample(two, 4, 1, D3DX_FILTER_POINT).pixels,
              (std::vector<uint32_t>{0xFF000000, 0xFF000000, 0xFFC8C8C8, 0xFFC8C8C8}));
    const ArgbImage lin = resample(two, 4, 1, D3DX_FILTER_LINEAR);
    EXPECT_EQ(lin.pixels[0] & 255, 0u);
    EXPECT_EQ(lin.pixels[1] & 255, 50u);
    EXPECT_EQ(lin.pixels[2] & 255, 150u);
    EXPECT_EQ(lin.pixels[3] & 255, 200u);

    // No filter: no scaling; what lies outside the source is transparent black.
    const ArgbImage none = resample(two, 3, 2, D3DX_FILTER_NONE);
    EXPECT_EQ(none.pixels, (std::vector<uint32_t>{0xFF000000, 0xFFC8C8C8, 0, 0, 0, 0}));

    // A mip level of an odd-sized image.
    const ArgbImage odd =
        next_mip_level(image_of(3, 1, {0xFF101010, 0xFF101010, 0xFF101010}), D3DX_FILTER_BOX);
    EXPECT_EQ(odd.width, 1u);
    EXPECT_EQ(odd.pixels[0], 0xFF101010u);

    // An exact halving is the rounded mean of each 2x2 block, channel by channel, for every column
    // (widths whose halves are odd take the tail a pixel at a time).
    for (uint32_t w : {10u, 16u}) {
        std::vector<uint32_t> noise(size_t{w} * 6);
        uint32_t seed = 12345;
        for (uint32_t& p : noise)
            p = seed = seed * 1664525u + 1013904223u;
        const ArgbImage half = resample(image_of(w, 6, noise), w / 2, 3, D3DX_FILTER_BOX);
        for (uint32_t y = 0; y < 3; ++y)
            for (uint32_t x = 0; x < w / 2; ++x) {
                uint32_t expected = 0;
                for (int c = 0; c < 32; c += 8) {
                    uint32_t sum = 2;
                    for (uint32_t dy = 0; dy < 2; ++dy)
                        for (uint32_t dx = 0; dx < 2; ++dx)
                            sum += (noise[(2 * y + dy) * w + 2 * x + dx] >> c) & 255;
                    expected |= (sum / 4) << c;
                }
                ASSERT_EQ(half.pixels[y * (w / 2) + x], expected) << w << " " << x << "," << y;
            }
    }

    EXPECT_TRUE(is_valid_filter(D3DX_FILTER_TRIANGLE | D3DX_FILTER_DITHER | D3DX_FILTER_MIRROR));
    EXPECT_FALSE(is_valid_filter(0));
    EXPECT_FALSE(is_valid_filter(6));
    EXPECT_EQ(resolve_image_filter(D3DX_DEFAULT), DWORD(D3DX_FILTER_TRIANGLE | D3DX_FILTER_DITHER));
    EXPECT_EQ(resolve_mip_filter(D3DX_DEFAULT), DWORD(D3DX_FILTER_BOX));
}

TEST(Filter, ColourKeyAndCrop) {
    ArgbImage img = image_of(2, 2, {0xFFFF00FF, 0xFF000000, 0xFFFF00FF, 0xFF0000FF});
    apply_colour_key(img, 0xFFFF00FF);
    EXPECT_EQ(img.pixels, (std::vector<uint32_t>{0, 0xFF000000, 0, 0xFF0000FF}));
    EXPECT_EQ(crop(img, 1, 1, 2, 2).pixels, (std::vector<uint32_t>{0xFF0000FF}));
}

} // namespace
