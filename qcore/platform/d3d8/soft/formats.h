#pragma once
// Pixel formats of the software device: memory layout, pitch and size, conversion of one pixel to and from
// 32-bit ARGB, depth and stencil values, and decoding of compressed blocks.
#include <qcore/platform/d3d8/d3d8.h>

#include <cstddef>
#include <cstdint>

namespace qcore::detail::soft {

enum class FormatKind { colour, bump, luminance, alpha, compressed, depth };

struct FormatInfo {
    D3DFORMAT format;
    FormatKind kind;
    UINT bytes;      // per pixel, or per 4x4 block for compressed formats
    UINT depth_bits; // depth formats only
    UINT stencil_bits;
    bool has_alpha;
};

// Null for a format the device does not store.
const FormatInfo* format_info(D3DFORMAT format);
bool is_compressed(D3DFORMAT format);
bool is_depth(D3DFORMAT format);
// Formats a texture, image surface or render target may have.
bool is_texture_format(D3DFORMAT format);
bool is_render_target_format(D3DFORMAT format);
bool is_back_buffer_format(D3DFORMAT format);
bool is_depth_stencil_format(D3DFORMAT format);

// Bytes from one row (of pixels, or of 4x4 blocks) to the next, rows of that kind, and bytes in all.
UINT row_pitch(D3DFORMAT format, UINT width);
UINT row_count(D3DFORMAT format, UINT height);
size_t image_size(D3DFORMAT format, UINT width, UINT height);

// One pixel of an uncompressed colour, luminance, alpha or bump format, as and from A8R8G8B8. Signed
// (bump) components map to the unsigned byte (value + 128); formats without alpha read as opaque.
uint32_t pixel_to_argb(D3DFORMAT format, const uint8_t* pixel);
void argb_to_pixel(D3DFORMAT format, uint32_t argb, uint8_t* pixel);

// Depth in [0, 1] and stencil of one depth-format pixel.
float depth_at(D3DFORMAT format, const uint8_t* pixel);
void set_depth(D3DFORMAT format, uint8_t* pixel, float depth);
uint32_t stencil_at(D3DFORMAT format, const uint8_t* pixel);
void set_stencil(D3DFORMAT format, uint8_t* pixel, uint32_t stencil);

// Bytes of one vertex of a flexible vertex format, 0 when the format has no position.
UINT fvf_stride(DWORD fvf);

// Decodes the 4x4 block at `block` into 16 A8R8G8B8 texels, row by row.
void decode_block(D3DFORMAT format, const uint8_t* block, uint32_t out[16]);
// Reads texel (x, y) of an image of any colour format whose rows start `pitch` bytes apart.
uint32_t read_texel(D3DFORMAT format, const uint8_t* bits, UINT pitch, UINT x, UINT y);

} // namespace qcore::detail::soft
