#include "image_test_util.h"

#include <png.h>

#include <cstdio>
#include <jpeglib.h>

#include <stdexcept>

namespace qcore::test {
namespace {

void append(png_structp png, png_bytep data, png_size_t n) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + n);
}
void no_flush(png_structp) {}

std::vector<uint8_t> png_common(uint32_t w, uint32_t h, int colour_type, int bit_depth, size_t row_bytes,
                                const std::vector<uint8_t>& samples, const std::vector<uint8_t>& rgb,
                                const std::vector<uint8_t>& alpha) {
    std::vector<uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) throw std::runtime_error("png write failed");
    png_set_write_fn(png, &out, append, no_flush);
    png_set_IHDR(png, info, w, h, bit_depth, colour_type, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> palette;
    for (size_t i = 0; i + 2 < rgb.size(); i += 3)
        palette.push_back({rgb[i], rgb[i + 1], rgb[i + 2]});
    if (!palette.empty()) png_set_PLTE(png, info, palette.data(), int(palette.size()));
    if (!alpha.empty()) png_set_tRNS(png, info, alpha.data(), int(alpha.size()), nullptr);
    png_write_info(png, info);
    for (uint32_t y = 0; y < h; ++y)
        png_write_row(png, samples.data() + y * row_bytes);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

} // namespace

std::vector<uint8_t> write_png(uint32_t w, uint32_t h, int channels, const std::vector<uint8_t>& samples,
                               int bit_depth) {
    static const int types[] = {0, PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA, PNG_COLOR_TYPE_RGB,
                                PNG_COLOR_TYPE_RGBA};
    return png_common(w, h, types[channels], bit_depth, size_t(w) * channels * bit_depth / 8, samples, {},
                      {});
}

std::vector<uint8_t> write_palette_png(uint32_t w, uint32_t h, const std::vector<uint8_t>& indices,
                                       const std::vector<uint8_t>& rgb, const std::vector<uint8_t>& alpha) {
    return png_common(w, h, PNG_COLOR_TYPE_PALETTE, 8, w, indices, rgb, alpha);
}

std::vector<uint8_t> write_jpeg(uint32_t w, uint32_t h, int channels, const std::vector<uint8_t>& samples,
                                int quality) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr err{};
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = w;
    cinfo.image_height = h;
    cinfo.input_components = channels;
    cinfo.in_color_space = channels == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < h) {
        JSAMPROW row = const_cast<JSAMPROW>(samples.data() + size_t(cinfo.next_scanline) * w * channels);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    std::vector<uint8_t> out(buffer, buffer + size);
    jpeg_destroy_compress(&cinfo);
    free(buffer);
    return out;
}

Bytes bmp_header(int32_t w, int32_t h, uint32_t bits, uint32_t compression, uint32_t palette_entries,
                 uint32_t pixel_bytes) {
    const uint32_t offset = 14 + 40 + palette_entries * 4;
    Bytes b;
    b.u16(0x4D42).u32(offset + pixel_bytes).u32(0).u32(offset);
    b.u32(40).u32(uint32_t(w)).u32(uint32_t(h)).u16(1).u16(bits).u32(compression).u32(pixel_bytes);
    b.u32(2835).u32(2835).u32(palette_entries).u32(0);
    return b;
}

} // namespace qcore::test
