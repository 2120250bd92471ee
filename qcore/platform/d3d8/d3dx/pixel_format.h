#pragma once
// Pixel formats as laid out in memory, and conversion of whole surfaces between any of them and 32-bit
// ARGB (D3DCOLOR values, which are the A8R8G8B8 layout), the format every image operation works in.
#include <qcore/platform/d3d8/d3d8_types.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qcore::detail {

struct PixelFormatInfo {
    uint32_t bits = 0;        // bits per pixel (per block texel for block formats)
    uint32_t block_bytes = 0; // bytes of one 4x4 block, 0 when not block-compressed
    bool has_alpha = false;
    bool convertible = false; // readable and writable through argb conversion
};

PixelFormatInfo pixel_format_info(D3DFORMAT format);
bool is_block_format(D3DFORMAT format);

// Bytes of one row of `width` pixels (one row of blocks for block formats) and of a whole surface.
size_t row_pitch(D3DFORMAT format, uint32_t width);
size_t surface_bytes(D3DFORMAT format, uint32_t width, uint32_t height);

// An image in 32-bit ARGB, rows packed top to bottom.
struct ArgbImage {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint32_t> pixels;

    uint32_t* row(uint32_t y) { return pixels.data() + size_t(y) * width; }
    const uint32_t* row(uint32_t y) const { return pixels.data() + size_t(y) * width; }
};

// Reads a surface of `format` (rows `pitch` bytes apart) into ARGB. False for formats without conversion.
bool decode_pixels(D3DFORMAT format, const uint8_t* src, size_t pitch, uint32_t width, uint32_t height,
                   ArgbImage& out);

// Writes ARGB pixels into a surface of `format`. `dither` applies ordered dithering for formats with fewer
// than eight bits a channel; `opaque` tells a DXT1 encoder that the image has no meaningful alpha.
bool encode_pixels(D3DFORMAT format, const ArgbImage& src, uint8_t* dst, size_t pitch, bool dither,
                   bool opaque = false);

} // namespace qcore::detail
