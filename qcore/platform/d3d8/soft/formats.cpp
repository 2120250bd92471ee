#include <qcore/platform/d3d8/fvf_layout.h>
#include <qcore/platform/d3d8/soft/formats.h>

#include <squish.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace qcore::detail::soft {
namespace {

constexpr FormatInfo kFormats[] = {
    {D3DFMT_A8R8G8B8, FormatKind::colour, 4, 0, 0, true},
    {D3DFMT_X8R8G8B8, FormatKind::colour, 4, 0, 0, false},
    {D3DFMT_R5G6B5, FormatKind::colour, 2, 0, 0, false},
    {D3DFMT_X1R5G5B5, FormatKind::colour, 2, 0, 0, false},
    {D3DFMT_A1R5G5B5, FormatKind::colour, 2, 0, 0, true},
    {D3DFMT_A4R4G4B4, FormatKind::colour, 2, 0, 0, true},
    {D3DFMT_X4R4G4B4, FormatKind::colour, 2, 0, 0, false},
    {D3DFMT_R3G3B2, FormatKind::colour, 1, 0, 0, false},
    {D3DFMT_A8R3G3B2, FormatKind::colour, 2, 0, 0, true},
    {D3DFMT_A8, FormatKind::alpha, 1, 0, 0, true},
    {D3DFMT_L8, FormatKind::luminance, 1, 0, 0, false},
    {D3DFMT_A8L8, FormatKind::luminance, 2, 0, 0, true},
    {D3DFMT_A4L4, FormatKind::luminance, 1, 0, 0, true},
    {D3DFMT_V8U8, FormatKind::bump, 2, 0, 0, false},
    {D3DFMT_L6V5U5, FormatKind::bump, 2, 0, 0, false},
    {D3DFMT_X8L8V8U8, FormatKind::bump, 4, 0, 0, false},
    {D3DFMT_Q8W8V8U8, FormatKind::bump, 4, 0, 0, true},
    {D3DFMT_DXT1, FormatKind::compressed, 8, 0, 0, true},
    {D3DFMT_DXT2, FormatKind::compressed, 16, 0, 0, true},
    {D3DFMT_DXT3, FormatKind::compressed, 16, 0, 0, true},
    {D3DFMT_DXT4, FormatKind::compressed, 16, 0, 0, true},
    {D3DFMT_DXT5, FormatKind::compressed, 16, 0, 0, true},
    {D3DFMT_D16_LOCKABLE, FormatKind::depth, 2, 16, 0, false},
    {D3DFMT_D16, FormatKind::depth, 2, 16, 0, false},
    {D3DFMT_D24S8, FormatKind::depth, 4, 24, 8, false},
    {D3DFMT_D24X8, FormatKind::depth, 4, 24, 0, false},
    {D3DFMT_D32, FormatKind::depth, 4, 32, 0, false},
};

uint32_t load(const uint8_t* p, UINT bytes) {
    uint32_t v = 0;
    std::memcpy(&v, p, bytes); // little-endian machine, as the published layouts are
    return v;
}

void store(uint8_t* p, UINT bytes, uint32_t v) {
    std::memcpy(p, &v, bytes);
}

// Widens an n-bit unsigned channel to 8 bits by bit replication, so 0 and the maximum map exactly.
uint32_t widen(uint32_t v, int bits) {
    uint32_t out = 0;
    for (int shift = 8 - bits; shift > -bits; shift -= bits)
        out |= shift >= 0 ? v << shift : v >> -shift;
    return out & 0xff;
}

uint32_t narrow(uint32_t v8, int bits) {
    return v8 >> (8 - bits);
}

uint32_t channel(uint32_t argb, int shift) {
    return (argb >> shift) & 0xff;
}

uint32_t argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) {
    return a << 24 | r << 16 | g << 8 | b;
}

// A signed n-bit component to the biased byte (value + 128) and back.
uint32_t signed_to_byte(uint32_t raw, int bits) {
    const int32_t v = static_cast<int32_t>(raw << (32 - bits)) >> (32 - bits);
    return static_cast<uint32_t>(std::clamp(v * (1 << (8 - bits)) + 128, 0, 255));
}

uint32_t byte_to_signed(uint32_t biased, int bits) {
    const int32_t v = (static_cast<int32_t>(biased) - 128) >> (8 - bits);
    return static_cast<uint32_t>(v) & ((1u << bits) - 1);
}

uint32_t unpack_565(uint32_t v) {
    return argb(255, widen(v >> 11, 5), widen((v >> 5) & 63, 6), widen(v & 31, 5));
}
uint32_t unpack_555(uint32_t v, uint32_t a) {
    return argb(a, widen((v >> 10) & 31, 5), widen((v >> 5) & 31, 5), widen(v & 31, 5));
}
uint32_t unpack_444(uint32_t v, uint32_t a) {
    return argb(a, widen((v >> 8) & 15, 4), widen((v >> 4) & 15, 4), widen(v & 15, 4));
}
uint32_t unpack_332(uint32_t v, uint32_t a) {
    return argb(a, widen((v >> 5) & 7, 3), widen((v >> 2) & 7, 3), widen(v & 3, 2));
}

uint32_t pack_555(uint32_t c) {
    return narrow(channel(c, 16), 5) << 10 | narrow(channel(c, 8), 5) << 5 | narrow(channel(c, 0), 5);
}
uint32_t pack_444(uint32_t c) {
    return narrow(channel(c, 16), 4) << 8 | narrow(channel(c, 8), 4) << 4 | narrow(channel(c, 0), 4);
}
uint32_t pack_332(uint32_t c) {
    return narrow(channel(c, 16), 3) << 5 | narrow(channel(c, 8), 3) << 2 | narrow(channel(c, 0), 2);
}

// Luminance of an ARGB colour with the usual video weights.
uint32_t luminance(uint32_t c) {
    return (channel(c, 16) * 77 + channel(c, 8) * 150 + channel(c, 0) * 29 + 128) >> 8;
}

int squish_flags(D3DFORMAT format) {
    if (format == D3DFMT_DXT1) return squish::kDxt1;
    if (format == D3DFMT_DXT2 || format == D3DFMT_DXT3) return squish::kDxt3;
    return squish::kDxt5;
}

} // namespace

const FormatInfo* format_info(D3DFORMAT format) {
    // Numbered formats index a table, as pixels are converted one by one; the four-character codes are
    // few enough to search.
    static const auto by_number = [] {
        std::array<const FormatInfo*, 128> table{};
        for (const auto& f : kFormats)
            if (f.format < table.size()) table[f.format] = &f;
        return table;
    }();
    if (format < by_number.size()) return by_number[format];
    for (const auto& f : kFormats)
        if (f.format == format) return &f;
    return nullptr;
}

bool is_compressed(D3DFORMAT format) {
    const auto* f = format_info(format);
    return f && f->kind == FormatKind::compressed;
}

bool is_depth(D3DFORMAT format) {
    const auto* f = format_info(format);
    return f && f->kind == FormatKind::depth;
}

bool is_texture_format(D3DFORMAT format) {
    return format_info(format) && !is_depth(format);
}

bool is_render_target_format(D3DFORMAT format) {
    return is_back_buffer_format(format) || format == D3DFMT_A4R4G4B4 || format == D3DFMT_X4R4G4B4;
}

bool is_back_buffer_format(D3DFORMAT format) {
    return format == D3DFMT_R5G6B5 || format == D3DFMT_X1R5G5B5 || format == D3DFMT_A1R5G5B5 ||
           format == D3DFMT_X8R8G8B8 || format == D3DFMT_A8R8G8B8;
}

bool is_depth_stencil_format(D3DFORMAT format) {
    return format == D3DFMT_D16 || format == D3DFMT_D16_LOCKABLE || format == D3DFMT_D24S8 ||
           format == D3DFMT_D24X8 || format == D3DFMT_D32;
}

UINT row_pitch(D3DFORMAT format, UINT width) {
    const auto* f = format_info(format);
    if (!f) return 0;
    if (f->kind == FormatKind::compressed) return (width + 3) / 4 * f->bytes;
    return width * f->bytes;
}

UINT row_count(D3DFORMAT format, UINT height) {
    return is_compressed(format) ? (height + 3) / 4 : height;
}

size_t image_size(D3DFORMAT format, UINT width, UINT height) {
    return size_t{row_pitch(format, width)} * row_count(format, height);
}

uint32_t pixel_to_argb(D3DFORMAT format, const uint8_t* p) {
    const auto* f = format_info(format);
    if (!f || f->kind == FormatKind::compressed || f->kind == FormatKind::depth) return 0;
    const uint32_t v = load(p, f->bytes);
    switch (format) {
    case D3DFMT_A8R8G8B8:
        return v;
    case D3DFMT_X8R8G8B8:
        return v | 0xff000000u;
    case D3DFMT_R5G6B5:
        return unpack_565(v);
    case D3DFMT_X1R5G5B5:
        return unpack_555(v, 255);
    case D3DFMT_A1R5G5B5:
        return unpack_555(v, (v & 0x8000) ? 255 : 0);
    case D3DFMT_A4R4G4B4:
        return unpack_444(v, widen(v >> 12, 4));
    case D3DFMT_X4R4G4B4:
        return unpack_444(v, 255);
    case D3DFMT_R3G3B2:
        return unpack_332(v, 255);
    case D3DFMT_A8R3G3B2:
        return unpack_332(v & 0xff, v >> 8);
    case D3DFMT_A8:
        return argb(v, 0, 0, 0);
    case D3DFMT_L8:
        return argb(255, v, v, v);
    case D3DFMT_A8L8:
        return argb(v >> 8, v & 0xff, v & 0xff, v & 0xff);
    case D3DFMT_A4L4: {
        const uint32_t l = widen(v & 15, 4);
        return argb(widen(v >> 4, 4), l, l, l);
    }
    case D3DFMT_V8U8:
        return argb(255, signed_to_byte(v & 0xff, 8), signed_to_byte(v >> 8, 8), 255);
    case D3DFMT_L6V5U5:
        return argb(255, signed_to_byte(v & 31, 5), signed_to_byte((v >> 5) & 31, 5), widen(v >> 10, 6));
    case D3DFMT_X8L8V8U8:
        return argb(255, signed_to_byte(v & 0xff, 8), signed_to_byte((v >> 8) & 0xff, 8), (v >> 16) & 0xff);
    case D3DFMT_Q8W8V8U8:
        return argb(signed_to_byte(v >> 24, 8), signed_to_byte(v & 0xff, 8),
                    signed_to_byte((v >> 8) & 0xff, 8), signed_to_byte((v >> 16) & 0xff, 8));
    default:
        return 0;
    }
}

void argb_to_pixel(D3DFORMAT format, uint32_t c, uint8_t* p) {
    const auto* f = format_info(format);
    if (!f || f->kind == FormatKind::compressed || f->kind == FormatKind::depth) return;
    const uint32_t a = channel(c, 24), r = channel(c, 16), g = channel(c, 8), b = channel(c, 0);
    uint32_t v = 0;
    switch (format) {
    case D3DFMT_A8R8G8B8:
        v = c;
        break;
    case D3DFMT_X8R8G8B8:
        v = c | 0xff000000u;
        break;
    case D3DFMT_R5G6B5:
        v = narrow(r, 5) << 11 | narrow(g, 6) << 5 | narrow(b, 5);
        break;
    case D3DFMT_X1R5G5B5:
        v = 0x8000 | pack_555(c);
        break;
    case D3DFMT_A1R5G5B5:
        v = (a >= 128 ? 0x8000 : 0) | pack_555(c);
        break;
    case D3DFMT_A4R4G4B4:
        v = narrow(a, 4) << 12 | pack_444(c);
        break;
    case D3DFMT_X4R4G4B4:
        v = 0xf000 | pack_444(c);
        break;
    case D3DFMT_R3G3B2:
        v = pack_332(c);
        break;
    case D3DFMT_A8R3G3B2:
        v = a << 8 | pack_332(c);
        break;
    case D3DFMT_A8:
        v = a;
        break;
    case D3DFMT_L8:
        v = luminance(c);
        break;
    case D3DFMT_A8L8:
        v = a << 8 | luminance(c);
        break;
    case D3DFMT_A4L4:
        v = narrow(a, 4) << 4 | narrow(luminance(c), 4);
        break;
    case D3DFMT_V8U8:
        v = byte_to_signed(g, 8) << 8 | byte_to_signed(r, 8);
        break;
    case D3DFMT_L6V5U5:
        v = narrow(b, 6) << 10 | byte_to_signed(g, 5) << 5 | byte_to_signed(r, 5);
        break;
    case D3DFMT_X8L8V8U8:
        v = b << 16 | byte_to_signed(g, 8) << 8 | byte_to_signed(r, 8);
        break;
    case D3DFMT_Q8W8V8U8:
        v = byte_to_signed(a, 8) << 24 | byte_to_signed(b, 8) << 16 | byte_to_signed(g, 8) << 8 |
            byte_to_signed(r, 8);
        break;
    default:
        return;
    }
    store(p, f->bytes, v);
}

float depth_at(D3DFORMAT format, const uint8_t* p) {
    const auto* f = format_info(format);
    if (!f || f->kind != FormatKind::depth) return 0.f;
    const uint32_t v = load(p, f->bytes);
    if (f->bytes == 2) return static_cast<float>(v / 65535.0);
    if (f->depth_bits == 24) return static_cast<float>((v >> 8) / 16777215.0);
    return static_cast<float>(v / 4294967295.0);
}

void set_depth(D3DFORMAT format, uint8_t* p, float depth) {
    const auto* f = format_info(format);
    if (!f || f->kind != FormatKind::depth) return;
    const double z = std::clamp(static_cast<double>(depth), 0.0, 1.0);
    if (f->bytes == 2) return store(p, 2, static_cast<uint32_t>(std::lround(z * 65535.0)));
    if (f->depth_bits == 24) {
        const uint32_t low = load(p, 4) & 0xff;
        return store(p, 4, static_cast<uint32_t>(std::lround(z * 16777215.0)) << 8 | low);
    }
    store(p, 4, static_cast<uint32_t>(std::llround(z * 4294967295.0)));
}

uint32_t stencil_at(D3DFORMAT format, const uint8_t* p) {
    const auto* f = format_info(format);
    if (!f || f->stencil_bits == 0) return 0;
    return load(p, 4) & 0xff;
}

void set_stencil(D3DFORMAT format, uint8_t* p, uint32_t stencil) {
    const auto* f = format_info(format);
    if (!f || f->stencil_bits == 0) return;
    store(p, 4, (load(p, 4) & ~0xffu) | (stencil & 0xff));
}

UINT fvf_stride(DWORD fvf) {
    return fvf_layout(fvf).stride;
}

void decode_block(D3DFORMAT format, const uint8_t* block, uint32_t out[16]) {
    uint8_t rgba[64];
    squish::Decompress(rgba, block, squish_flags(format));
    for (int i = 0; i < 16; ++i) // squish gives R, G, B, A bytes; ARGB words are B, G, R, A in memory
        out[i] = argb(rgba[i * 4 + 3], rgba[i * 4], rgba[i * 4 + 1], rgba[i * 4 + 2]);
}

uint32_t read_texel(D3DFORMAT format, const uint8_t* bits, UINT pitch, UINT x, UINT y) {
    const auto* f = format_info(format);
    if (!f) return 0;
    if (f->kind != FormatKind::compressed)
        return pixel_to_argb(format, bits + size_t{y} * pitch + size_t{x} * f->bytes);
    uint32_t texels[16];
    decode_block(format, bits + size_t{y / 4} * pitch + size_t{x / 4} * f->bytes, texels);
    return texels[(y % 4) * 4 + x % 4];
}

} // namespace qcore::detail::soft
