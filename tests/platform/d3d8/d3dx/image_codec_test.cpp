// Image files read back from bytes written independently, and bad files refused.
#include "image_test_util.h"

#include <qcore/platform/d3d8/d3dx/image_codec.h>

#include <gtest/gtest.h>

#include <cstdlib>

using namespace qcore::detail;
using qcore::test::Bytes;

namespace {

ArgbImage decode_argb(const std::vector<uint8_t>& file, ImageFileInfo* info = nullptr) {
    DecodedImage image;
    EXPECT_EQ(decode_image(file.data(), file.size(), image), S_OK);
    if (info) *info = image.info;
    ArgbImage out;
    EXPECT_TRUE(level_to_argb(image, 0, out));
    return out;
}

TEST(ImageCodec, PngColourTypesReadAsArgb) {
    // RGBA: every sample kept exactly.
    std::vector<uint8_t> rgba = {255, 0, 0, 255, 0, 255, 0, 128, 0, 0, 255, 0, 10, 20, 30, 40};
    ImageFileInfo info;
    ArgbImage img = decode_argb(qcore::test::write_png(2, 2, 4, rgba), &info);
    EXPECT_EQ(info.file_format, D3DXIFF_PNG);
    EXPECT_EQ(info.format, D3DFMT_A8R8G8B8);
    ASSERT_EQ(img.width, 2u);
    EXPECT_EQ(img.pixels, (std::vector<uint32_t>{0xFFFF0000, 0x8000FF00, 0x000000FF, 0x280A141E}));

    // RGB without alpha: opaque, natural format 24-bit.
    img = decode_argb(qcore::test::write_png(1, 1, 3, {1, 2, 3}), &info);
    EXPECT_EQ(info.format, D3DFMT_R8G8B8);
    EXPECT_EQ(img.pixels[0], 0xFF010203u);

    // 16-bit grey reduced to 8 bits: 0xFFFF -> 255, 0x8080 -> 128.
    img = decode_argb(qcore::test::write_png(2, 1, 1, {0xFF, 0xFF, 0x80, 0x80}, 16), &info);
    EXPECT_EQ(info.format, D3DFMT_L8);
    EXPECT_EQ(img.pixels, (std::vector<uint32_t>{0xFFFFFFFF, 0xFF808080}));

    // Palette with transparency: the entry's alpha applies.
    img = decode_argb(qcore::test::write_palette_png(2, 1, {0, 1}, {255, 0, 0, 0, 0, 255}, {255, 64}), &info);
    EXPECT_EQ(info.format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(img.pixels, (std::vector<uint32_t>{0xFFFF0000, 0x400000FF}));
}

TEST(ImageCodec, JpegWithinToleranceAndScaled) {
    const uint32_t w = 64, h = 32;
    std::vector<uint8_t> rgb(w * h * 3);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            uint8_t* p = &rgb[(y * w + x) * 3];
            p[0] = uint8_t(x * 4), p[1] = uint8_t(y * 8), p[2] = 100;
        }
    const std::vector<uint8_t> file = qcore::test::write_jpeg(w, h, 3, rgb, 95);
    ImageFileInfo info;
    const ArgbImage img = decode_argb(file, &info);
    EXPECT_EQ(info.format, D3DFMT_R8G8B8);
    EXPECT_EQ(info.file_format, D3DXIFF_JPG);
    ASSERT_EQ(img.width, w);
    ASSERT_EQ(img.height, h);
    int worst = 0;
    for (uint32_t i = 0; i < w * h; ++i) {
        worst = std::max(worst, std::abs(int(img.pixels[i] >> 16 & 255) - rgb[i * 3]));
        worst = std::max(worst, std::abs(int(img.pixels[i] >> 8 & 255) - rgb[i * 3 + 1]));
        worst = std::max(worst, std::abs(int(img.pixels[i] & 255) - rgb[i * 3 + 2]));
        EXPECT_EQ(img.pixels[i] >> 24, 255u);
    }
    EXPECT_LE(worst, 12);

    // Asked for at least half the size, the decoder stops at half; the info keeps the file's size.
    DecodedImage half;
    DecodeOptions options;
    options.min_width = w / 2, options.min_height = h / 2;
    ASSERT_EQ(decode_image(file.data(), file.size(), half, options), S_OK);
    EXPECT_EQ(half.info.width, w);
    EXPECT_EQ(half.levels[0].width, w / 2);
    EXPECT_EQ(half.levels[0].height, h / 2);

    std::vector<uint8_t> grey(16 * 16, 200);
    decode_argb(qcore::test::write_jpeg(16, 16, 1, grey, 90), &info);
    EXPECT_EQ(info.format, D3DFMT_L8);
}

TEST(ImageCodec, BmpDepthsAndOrientation) {
    // 24-bit, 3 pixels wide: rows padded to 12 bytes, stored bottom row first.
    Bytes b = qcore::test::bmp_header(3, 2, 24, 0, 0, 24);
    b.raw({1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0});          // bottom row
    b.raw({10, 11, 12, 13, 14, 15, 16, 17, 18, 0, 0, 0}); // top row
    ImageFileInfo info;
    ArgbImage img = decode_argb(b.v, &info);
    EXPECT_EQ(info.format, D3DFMT_R8G8B8);
    EXPECT_EQ(info.file_format, D3DXIFF_BMP);
    EXPECT_EQ(img.pixels, (std::vector<uint32_t>{0xFF0C0B0A, 0xFF0F0E0D, 0xFF121110, 0xFF030201, 0xFF060504,
                                                 0xFF090807}));

    // 8-bit palette, top-down (negative height).
    b = qcore::test::bmp_header(2, -1, 8, 0, 2, 4);
    b.raw({0, 0, 255, 0, 255, 0, 0, 0}).raw({1, 0, 0, 0});
    img = decode_argb(b.v, &info);
    EXPECT_EQ(info.format, D3DFMT_P8);
    EXPECT_EQ(img.pixels, (std::vector<uint32_t>{0xFF0000FF, 0xFFFF0000}));

    // 1-bit: the first pixel is the high bit.
    b = qcore::test::bmp_header(3, 1, 1, 0, 2, 4);
    b.raw({0, 0, 0, 0, 255, 255, 255, 0}).raw({0xA0, 0, 0, 0});
    img = decode_argb(b.v);
    EXPECT_EQ(img.pixels, (std::vector<uint32_t>{0xFFFFFFFF, 0xFF000000, 0xFFFFFFFF}));

    // 16-bit with 5-6-5 bit fields after the header.
    b = qcore::test::bmp_header(1, 1, 16, 3, 0, 4);
    b.v[10] += 12; // pixel offset moves past the masks
    b.u32(0xF800).u32(0x07E0).u32(0x001F).raw({0x1F, 0xF8, 0, 0});
    img = decode_argb(b.v, &info);
    EXPECT_EQ(info.format, D3DFMT_R5G6B5);
    EXPECT_EQ(img.pixels[0], 0xFFFF00FFu);

    // The same pixels as a bare DIB.
    Bytes dib;
    dib.v.assign(b.v.begin() + 14, b.v.end());
    img = decode_argb(dib.v, &info);
    EXPECT_EQ(info.file_format, D3DXIFF_DIB);
    EXPECT_EQ(img.pixels[0], 0xFFFF00FFu);
}

TEST(ImageCodec, BmpRunLengthEncoded) {
    // RLE8, 4x2: the bottom row is an absolute run; the top row a delta, a run of one and the end.
    Bytes b = qcore::test::bmp_header(4, 2, 8, 1, 2, 0);
    b.raw({0, 0, 0, 0, 0, 0, 255, 0});
    b.raw({0, 4, 0, 1, 1, 1, 0, 0, 0, 2, 2, 0, 1, 1, 0, 1});
    ArgbImage img = decode_argb(b.v);
    EXPECT_EQ(img.pixels, (std::vector<uint32_t>{0xFF000000, 0xFF000000, 0xFFFF0000, 0xFF000000, 0xFF000000,
                                                 0xFFFF0000, 0xFFFF0000, 0xFFFF0000}));

    // RLE4: a run alternates the two nibbles.
    b = qcore::test::bmp_header(4, 1, 4, 2, 2, 0);
    b.raw({0, 0, 0, 0, 255, 255, 255, 0}).raw({4, 0x10, 0, 1});
    img = decode_argb(b.v);
    EXPECT_EQ(img.pixels, (std::vector<uint32_t>{0xFFFFFFFF, 0xFF000000, 0xFFFFFFFF, 0xFF000000}));

    // Runs past the row's end are clipped to the row, encoded and absolute alike (writers pad each row to
    // a multiple of 4 pixels); the next row starts at its own end-of-line.
    b = qcore::test::bmp_header(3, 2, 8, 1, 2, 0);
    b.raw({0, 0, 0, 0, 0, 0, 255, 0}).raw({4, 1, 0, 0, 0, 4, 0, 1, 0, 1, 0, 0, 0, 1});
    ImageFileInfo info;
    img = decode_argb(b.v, &info);
    EXPECT_EQ(info.width, 3u);
    EXPECT_EQ(img.pixels, (std::vector<uint32_t>{0xFF000000, 0xFFFF0000, 0xFF000000, 0xFFFF0000, 0xFFFF0000,
                                                 0xFFFF0000}));
    // A move past the image is still refused.
    b = qcore::test::bmp_header(4, 1, 8, 1, 2, 0);
    b.raw({0, 0, 0, 0, 0, 0, 0, 0}).raw({0, 2, 9, 0, 0, 1});
    DecodedImage bad;
    EXPECT_EQ(decode_image(b.v.data(), b.v.size(), bad), D3DXERR_INVALIDDATA);
}

Bytes tga_header(uint8_t type, uint16_t w, uint16_t h, uint8_t bits, uint8_t descriptor,
                 uint16_t map_length = 0, uint8_t map_bits = 0) {
    Bytes b;
    b.u8(0).u8(map_length ? 1 : 0).u8(type).u16(0).u16(map_length).u8(map_bits).u32(0).u16(w).u16(h);
    return std::move(b.u8(bits).u8(descriptor));
}

TEST(ImageCodec, TgaKindsAndOrigin) {
    // 24-bit raw, bottom-left origin: the first stored row is the bottom one.
    Bytes b = tga_header(2, 2, 2, 24, 0);
    b.raw({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
    ImageFileInfo info;
    ArgbImage img = decode_argb(b.v, &info);
    EXPECT_EQ(info.file_format, D3DXIFF_TGA);
    EXPECT_EQ(info.format, D3DFMT_R8G8B8);
    EXPECT_EQ(img.pixels, (std::vector<uint32_t>{0xFF090807, 0xFF0C0B0A, 0xFF030201, 0xFF060504}));

    // 32-bit RLE, top-left origin with 8 alpha bits: one run packet, one raw packet.
    b = tga_header(10, 3, 1, 32, 0x28);
    b.raw({0x81, 1, 2, 3, 4, 0x00, 5, 6, 7, 8});
    img = decode_argb(b.v, &info);
    EXPECT_EQ(info.format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(img.pixels, (std::vector<uint32_t>{0x04030201, 0x04030201, 0x08070605}));

    // 8-bit grey and a colour-mapped image with 24-bit entries.
    b = tga_header(3, 1, 1, 8, 0x20);
    img = decode_argb(b.raw({77}).v, &info);
    EXPECT_EQ(info.format, D3DFMT_L8);
    EXPECT_EQ(img.pixels[0], 0xFF4D4D4Du);
    b = tga_header(1, 2, 1, 8, 0x20, 2, 24);
    b.raw({0, 0, 255, 255, 0, 0}).raw({1, 0});
    img = decode_argb(b.v, &info);
    EXPECT_EQ(info.format, D3DFMT_P8);
    EXPECT_EQ(img.pixels, (std::vector<uint32_t>{0xFF0000FF, 0xFFFF0000}));

    // No colour map (type 0): stray map length and entry size are ignored, not skipped or checked.
    b = tga_header(2, 1, 1, 24, 0x20);
    b.v[5] = 200; // map length, low byte
    b.v[7] = 123; // entry size
    img = decode_argb(b.raw({1, 2, 3}).v, &info);
    EXPECT_EQ(img.pixels, (std::vector<uint32_t>{0xFF030201}));

    // 16-bit with one alpha bit.
    b = tga_header(2, 1, 1, 16, 0x21);
    img = decode_argb(b.raw({0x1F, 0x7C}).v, &info);
    EXPECT_EQ(info.format, D3DFMT_A1R5G5B5);
    EXPECT_EQ(img.pixels[0], 0x00FF00FFu);
}

TEST(ImageCodec, PpmBinaryAndText) {
    Bytes b;
    b.str("P6\n# comment\n2 1\n255\n").raw({1, 2, 3, 4, 5, 6});
    ImageFileInfo info;
    ArgbImage img = decode_argb(b.v, &info);
    EXPECT_EQ(info.file_format, D3DXIFF_PPM);
    EXPECT_EQ(img.pixels, (std::vector<uint32_t>{0xFF010203, 0xFF040506}));
    b = {};
    b.str("P2 2 1 15\n0 15\n");
    img = decode_argb(b.v, &info);
    EXPECT_EQ(info.format, D3DFMT_L8);
    EXPECT_EQ(img.pixels, (std::vector<uint32_t>{0xFF000000, 0xFFFFFFFF}));
}

std::vector<uint8_t> dds_file(D3DFORMAT format, std::vector<ImageLevel> levels) {
    return encode_dds(format, levels);
}

TEST(ImageCodec, DxtBlocksDecodeToKnownColours) {
    // DXT1, colour0 red > colour1 blue: four-colour mode, indices 0,1,2,3 on the first row.
    ImageLevel dxt1{4, 4, 8, {0x00, 0xF8, 0x1F, 0x00, 0xE4, 0xE4, 0xE4, 0xE4}};
    DecodedImage img;
    std::vector<uint8_t> file = dds_file(D3DFMT_DXT1, {dxt1});
    ASSERT_EQ(decode_image(file.data(), file.size(), img), S_OK);
    EXPECT_EQ(img.info.format, D3DFMT_DXT1);
    ArgbImage argb;
    ASSERT_TRUE(level_to_argb(img, 0, argb));
    EXPECT_EQ(argb.pixels[0], 0xFFFF0000u);
    EXPECT_EQ(argb.pixels[1], 0xFF0000FFu);
    EXPECT_NEAR(double(argb.pixels[2] >> 16 & 255), 170, 2); // 2/3 red + 1/3 blue
    EXPECT_NEAR(double(argb.pixels[3] & 255), 170, 2);       // 1/3 red + 2/3 blue

    // colour0 <= colour1: three colours and transparent black for index 3.
    dxt1.data = {0x1F, 0x00, 0x00, 0xF8, 0xFF, 0, 0, 0};
    file = dds_file(D3DFMT_DXT1, {dxt1});
    ASSERT_EQ(decode_image(file.data(), file.size(), img), S_OK);
    ASSERT_TRUE(level_to_argb(img, 0, argb));
    EXPECT_EQ(argb.pixels[0], 0u);

    // DXT5: alpha endpoints 255 and 0 with eight-step interpolation; index 1 everywhere gives alpha 0.
    ImageLevel dxt5{
        4, 4, 16, {255, 0, 0x49, 0x92, 0x24, 0x49, 0x92, 0x24, 0xE0, 0x07, 0xE0, 0x07, 0, 0, 0, 0}};
    file = dds_file(D3DFMT_DXT5, {dxt5});
    ASSERT_EQ(decode_image(file.data(), file.size(), img), S_OK);
    ASSERT_TRUE(level_to_argb(img, 0, argb));
    for (uint32_t c : argb.pixels)
        EXPECT_EQ(c, 0x0000FF00u);
}

TEST(ImageCodec, DdsMipChainRoundTrip) {
    std::vector<ImageLevel> levels;
    for (uint32_t s = 4, k = 0; s >= 1; s /= 2, ++k) {
        ImageLevel l{s, s, size_t(s) * 2, std::vector<uint8_t>(size_t(s) * s * 2, uint8_t(0x11 * (k + 1)))};
        levels.push_back(l);
    }
    const std::vector<uint8_t> file = encode_dds(D3DFMT_R5G6B5, levels);
    DecodedImage img;
    ASSERT_EQ(decode_image(file.data(), file.size(), img), S_OK);
    EXPECT_EQ(img.info.mip_levels, 3u);
    EXPECT_EQ(img.stored_format, D3DFMT_R5G6B5);
    ASSERT_EQ(img.levels.size(), 3u);
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(img.levels[i].data, levels[i].data) << i;
}

TEST(ImageCodec, WritersReadBack) {
    ArgbImage img;
    img.width = 3, img.height = 2;
    img.pixels = {0x80FF0000, 0xFF00FF00, 0x000000FF, 0xFF123456, 0x40ABCDEF, 0xFFFFFFFF};
    for (bool opaque : {false, true}) {
        for (auto file : {encode_bmp(img, opaque), encode_png(img, opaque), encode_tga(img, opaque)}) {
            ArgbImage back = decode_argb(file);
            for (size_t i = 0; i < img.pixels.size(); ++i)
                EXPECT_EQ(back.pixels[i], opaque ? img.pixels[i] | 0xFF000000 : img.pixels[i]) << i;
        }
    }
    ArgbImage back = decode_argb(encode_ppm(img));
    EXPECT_EQ(back.pixels[3], 0xFF123456u);
    back = decode_argb(encode_jpeg(img, 100));
    EXPECT_EQ(back.width, 3u);
}

// Every prefix of a valid file is refused cleanly; headers that lie about their size are refused.
TEST(ImageCodec, TruncatedAndHostileFilesRefused) {
    ArgbImage img;
    img.width = 5, img.height = 3;
    img.pixels.assign(15, 0xFF336699);
    std::vector<ImageLevel> dxt = {{8, 8, 16, std::vector<uint8_t>(32, 7)}};
    const std::vector<std::vector<uint8_t>> files = {
        encode_bmp(img, true), encode_bmp(img, false), encode_png(img, false),      encode_jpeg(img, 80),
        encode_tga(img, true), encode_ppm(img),        encode_dds(D3DFMT_DXT1, dxt)};
    for (const auto& file : files) {
        for (size_t n = 0; n < file.size(); ++n) {
            DecodedImage out;
            const HRESULT hr = decode_image(file.data(), n, out);
            // A prefix may still be a complete image of another kind only by accident; it never crashes.
            if (FAILED(hr)) {
                EXPECT_TRUE(hr == D3DXERR_INVALIDDATA || hr == E_OUTOFMEMORY) << n;
            }
        }
    }

    DecodedImage out;
    // BMP claiming 60000 x 60000 pixels with no data.
    Bytes b = qcore::test::bmp_header(60000, 60000, 24, 0, 0, 0);
    EXPECT_EQ(decode_image(b.v.data(), b.v.size(), out), D3DXERR_INVALIDDATA);
    // BMP within limits whose pixels are missing.
    b = qcore::test::bmp_header(4000, 4000, 32, 0, 0, 0);
    EXPECT_EQ(decode_image(b.v.data(), b.v.size(), out), D3DXERR_INVALIDDATA);
    // Height of INT32_MIN cannot be made positive.
    b = qcore::test::bmp_header(1, INT32_MIN, 24, 0, 0, 0);
    EXPECT_EQ(decode_image(b.v.data(), b.v.size(), out), D3DXERR_INVALIDDATA);
    // TGA RLE claiming far more pixels than its packets could hold.
    b = tga_header(10, 8000, 4000, 32, 0);
    b.raw({0xFF, 1, 2, 3, 4});
    EXPECT_EQ(decode_image(b.v.data(), b.v.size(), out), D3DXERR_INVALIDDATA);
    // DDS whose mip chain runs past the end.
    std::vector<uint8_t> dds = encode_dds(D3DFMT_DXT1, dxt);
    dds[28] = 4, dds[10] |= 0x02; // mip count 4, with the mip-count flag
    EXPECT_EQ(decode_image(dds.data(), dds.size(), out), D3DXERR_INVALIDDATA);
    // PNG whose header declares far more pixels than its data could inflate to.
    std::vector<uint8_t> png = qcore::test::write_png(1, 1, 3, {1, 2, 3});
    png[16] = 0, png[17] = 0, png[18] = 0x3F, png[19] = 0xFF; // width 16383; the header CRC now fails too
    EXPECT_EQ(decode_image(png.data(), png.size(), out), D3DXERR_INVALIDDATA);
    // PPM with maxval 0 and one with missing samples.
    b = {};
    b.str("P6 2 2 0\n");
    EXPECT_EQ(decode_image(b.v.data(), b.v.size(), out), D3DXERR_INVALIDDATA);
    b = {};
    b.str("P6 100 100 255\n").raw({1, 2, 3});
    EXPECT_EQ(decode_image(b.v.data(), b.v.size(), out), D3DXERR_INVALIDDATA);
    // A true-colour Targa carrying an unused colour map of 123-bit entries reads past no buffer.
    const std::vector<uint8_t> odd_map = {
        0x41, 0x01, 0x0a, 0x00, 0x00, 0x00, 0x7b, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x03, 0x01, 0x00,
        0x0f, 0x01, 0x00, 0x60, 0x30, 0x00, 0xfd, 0xdc, 0xa0, 0x00, 0x05, 0x00, 0x00, 0x00, 0x00, 0x0a,
        0x00, 0x00, 0x00, 0x0a, 0x00, 0x00, 0x00, 0x02, 0x00, 0x03, 0x01, 0x00, 0x0f, 0x00};
    EXPECT_EQ(decode_tga(odd_map.data(), odd_map.size(), out, {}), D3DXERR_INVALIDDATA);
    // Nothing recognisable.
    const uint8_t junk[] = {0x13, 0x37, 0x42};
    EXPECT_EQ(decode_image(junk, sizeof junk, out), D3DXERR_INVALIDDATA);
    EXPECT_EQ(decode_image(nullptr, 0, out), D3DXERR_INVALIDDATA);
}

} // namespace
