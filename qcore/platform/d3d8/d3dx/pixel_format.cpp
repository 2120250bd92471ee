#include <qcore/platform/d3d8/d3dx/pixel_format.h>

#include <squish.h>

#include <algorithm>
#include <cstring>

namespace qcore::detail {
namespace {

// Widens an n-bit channel to 8 bits with rounding, so that the maximum maps to 255.
inline uint32_t widen(uint32_t v, uint32_t bits) {
    const uint32_t max = (1u << bits) - 1;
    return (v * 255 + max / 2) / max;
}

// 4x4 ordered-dither thresholds spread over 0..255; 127 is the plain rounding threshold.
constexpr uint8_t bayer[4][4] = {
    {7, 135, 39, 167}, {199, 71, 231, 103}, {55, 183, 23, 151}, {247, 119, 215, 87}};

inline uint32_t narrow(uint32_t v, uint32_t bits, uint32_t threshold) {
    const uint32_t max = (1u << bits) - 1;
    return (v * max + threshold) / 255;
}

inline uint32_t ch(uint32_t argb, int shift) {
    return (argb >> shift) & 0xFF;
}
inline uint32_t argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) {
    return a << 24 | r << 16 | g << 8 | b;
}
inline uint32_t luminance(uint32_t c) {
    return (ch(c, 16) * 77 + ch(c, 8) * 150 + ch(c, 0) * 29 + 128) >> 8;
}

// Signed channels are stored biased: colour 128 is zero, 0 is the most negative, 255 the most positive.
inline uint32_t from_signed8(uint32_t s) {
    return (s + 128) & 0xFF;
}
inline uint32_t to_signed8(uint32_t c) {
    return (c - 128) & 0xFF;
}

inline uint16_t load16(const uint8_t* p) {
    return uint16_t(p[0] | p[1] << 8);
}
inline uint32_t load32(const uint8_t* p) {
    return uint32_t(p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24);
}
inline void store16(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void store32(uint8_t* p, uint32_t v) {
    store16(p, v);
    store16(p + 2, v >> 16);
}

uint32_t read_pixel(D3DFORMAT f, const uint8_t* p) {
    switch (f) {
    case D3DFMT_A8R8G8B8:
        return load32(p);
    case D3DFMT_X8R8G8B8:
        return load32(p) | 0xFF000000u;
    case D3DFMT_R8G8B8:
        return argb(255, p[2], p[1], p[0]);
    case D3DFMT_R5G6B5: {
        const uint32_t v = load16(p);
        return argb(255, widen(v >> 11, 5), widen((v >> 5) & 63, 6), widen(v & 31, 5));
    }
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5: {
        const uint32_t v = load16(p);
        const uint32_t a = f == D3DFMT_X1R5G5B5 || (v & 0x8000) ? 255 : 0;
        return argb(a, widen((v >> 10) & 31, 5), widen((v >> 5) & 31, 5), widen(v & 31, 5));
    }
    case D3DFMT_A4R4G4B4:
    case D3DFMT_X4R4G4B4: {
        const uint32_t v = load16(p);
        const uint32_t a = f == D3DFMT_X4R4G4B4 ? 255 : widen(v >> 12, 4);
        return argb(a, widen((v >> 8) & 15, 4), widen((v >> 4) & 15, 4), widen(v & 15, 4));
    }
    case D3DFMT_R3G3B2:
        return argb(255, widen(p[0] >> 5, 3), widen((p[0] >> 2) & 7, 3), widen(p[0] & 3, 2));
    case D3DFMT_A8R3G3B2:
        return argb(p[1], widen(p[0] >> 5, 3), widen((p[0] >> 2) & 7, 3), widen(p[0] & 3, 2));
    case D3DFMT_A8:
        return argb(p[0], 0, 0, 0);
    case D3DFMT_L8:
        return argb(255, p[0], p[0], p[0]);
    case D3DFMT_A8L8:
        return argb(p[1], p[0], p[0], p[0]);
    case D3DFMT_A4L4: {
        const uint32_t l = widen(p[0] & 15, 4);
        return argb(widen(p[0] >> 4, 4), l, l, l);
    }
    case D3DFMT_V8U8:
        return argb(255, from_signed8(p[0]), from_signed8(p[1]), 255);
    case D3DFMT_L6V5U5: {
        const uint32_t v = load16(p);
        const uint32_t u5 = (v + 16) & 31, v5 = ((v >> 5) + 16) & 31;
        return argb(255, widen(u5, 5), widen(v5, 5), widen(v >> 10, 6));
    }
    case D3DFMT_X8L8V8U8:
        return argb(255, from_signed8(p[0]), from_signed8(p[1]), p[2]);
    case D3DFMT_Q8W8V8U8:
        return argb(from_signed8(p[3]), from_signed8(p[0]), from_signed8(p[1]), from_signed8(p[2]));
    case D3DFMT_A2B10G10R10: {
        const uint32_t v = load32(p);
        return argb(widen(v >> 30, 2), (v & 1023) >> 2, ((v >> 10) & 1023) >> 2, ((v >> 20) & 1023) >> 2);
    }
    case D3DFMT_G16R16: {
        const uint32_t v = load32(p);
        return argb(255, (v & 0xFFFF) >> 8, v >> 24, 255);
    }
    default:
        return 0;
    }
}

void write_pixel(D3DFORMAT f, uint32_t c, uint8_t* p, uint32_t t) {
    const uint32_t a = ch(c, 24), r = ch(c, 16), g = ch(c, 8), b = ch(c, 0);
    switch (f) {
    case D3DFMT_A8R8G8B8:
        store32(p, c);
        break;
    case D3DFMT_X8R8G8B8:
        store32(p, c | 0xFF000000u);
        break;
    case D3DFMT_R8G8B8:
        p[0] = uint8_t(b), p[1] = uint8_t(g), p[2] = uint8_t(r);
        break;
    case D3DFMT_R5G6B5:
        store16(p, narrow(r, 5, t) << 11 | narrow(g, 6, t) << 5 | narrow(b, 5, t));
        break;
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5: {
        const uint32_t abit = f == D3DFMT_X1R5G5B5 || a >= 128 ? 0x8000 : 0;
        store16(p, abit | narrow(r, 5, t) << 10 | narrow(g, 5, t) << 5 | narrow(b, 5, t));
        break;
    }
    case D3DFMT_A4R4G4B4:
    case D3DFMT_X4R4G4B4: {
        const uint32_t a4 = f == D3DFMT_X4R4G4B4 ? 15 : narrow(a, 4, t);
        store16(p, a4 << 12 | narrow(r, 4, t) << 8 | narrow(g, 4, t) << 4 | narrow(b, 4, t));
        break;
    }
    case D3DFMT_R3G3B2:
        p[0] = uint8_t(narrow(r, 3, t) << 5 | narrow(g, 3, t) << 2 | narrow(b, 2, t));
        break;
    case D3DFMT_A8R3G3B2:
        p[0] = uint8_t(narrow(r, 3, t) << 5 | narrow(g, 3, t) << 2 | narrow(b, 2, t));
        p[1] = uint8_t(a);
        break;
    case D3DFMT_A8:
        p[0] = uint8_t(a);
        break;
    case D3DFMT_L8:
        p[0] = uint8_t(luminance(c));
        break;
    case D3DFMT_A8L8:
        p[0] = uint8_t(luminance(c)), p[1] = uint8_t(a);
        break;
    case D3DFMT_A4L4:
        p[0] = uint8_t(narrow(a, 4, t) << 4 | narrow(luminance(c), 4, t));
        break;
    case D3DFMT_V8U8:
        p[0] = uint8_t(to_signed8(r)), p[1] = uint8_t(to_signed8(g));
        break;
    case D3DFMT_L6V5U5: {
        const uint32_t u5 = (narrow(r, 5, t) + 16) & 31, v5 = (narrow(g, 5, t) + 16) & 31;
        store16(p, narrow(b, 6, t) << 10 | v5 << 5 | u5);
        break;
    }
    case D3DFMT_X8L8V8U8:
        store32(p, 0xFF000000u | b << 16 | to_signed8(g) << 8 | to_signed8(r));
        break;
    case D3DFMT_Q8W8V8U8:
        store32(p, to_signed8(a) << 24 | to_signed8(b) << 16 | to_signed8(g) << 8 | to_signed8(r));
        break;
    case D3DFMT_A2B10G10R10:
        store32(p,
                narrow(a, 2, t) << 30 | (b * 1023 / 255) << 20 | (g * 1023 / 255) << 10 | (r * 1023 / 255));
        break;
    case D3DFMT_G16R16:
        store32(p, (g * 257) << 16 | (r * 257));
        break;
    default:
        break;
    }
}

int squish_flags(D3DFORMAT f) {
    switch (f) {
    case D3DFMT_DXT1:
        return squish::kDxt1;
    case D3DFMT_DXT2:
    case D3DFMT_DXT3:
        return squish::kDxt3;
    default:
        return squish::kDxt5;
    }
}

bool is_premultiplied(D3DFORMAT f) {
    return f == D3DFMT_DXT2 || f == D3DFMT_DXT4;
}

uint32_t rgba_bytes_to_argb(const uint8_t* q) {
    return argb(q[3], q[0], q[1], q[2]);
}

uint32_t unpremultiply(uint32_t c) {
    const uint32_t a = ch(c, 24);
    if (a == 0 || a == 255) return c;
    auto un = [a](uint32_t v) { return std::min<uint32_t>(255, (v * 255 + a / 2) / a); };
    return argb(a, un(ch(c, 16)), un(ch(c, 8)), un(ch(c, 0)));
}

uint32_t premultiply(uint32_t c) {
    const uint32_t a = ch(c, 24);
    auto pm = [a](uint32_t v) { return (v * a + 127) / 255; };
    return argb(a, pm(ch(c, 16)), pm(ch(c, 8)), pm(ch(c, 0)));
}

void decode_blocks(D3DFORMAT f, const uint8_t* src, size_t pitch, ArgbImage& out) {
    const int flags = squish_flags(f);
    const size_t block = pixel_format_info(f).block_bytes;
    uint8_t rgba[64];
    for (uint32_t by = 0; by < (out.height + 3) / 4; ++by) {
        const uint8_t* blocks = src + by * pitch;
        for (uint32_t bx = 0; bx < (out.width + 3) / 4; ++bx) {
            squish::Decompress(rgba, blocks + bx * block, flags);
            for (uint32_t y = 0; y < 4 && by * 4 + y < out.height; ++y)
                for (uint32_t x = 0; x < 4 && bx * 4 + x < out.width; ++x) {
                    uint32_t c = rgba_bytes_to_argb(rgba + (y * 4 + x) * 4);
                    out.row(by * 4 + y)[bx * 4 + x] = is_premultiplied(f) ? unpremultiply(c) : c;
                }
        }
    }
}

void encode_blocks(D3DFORMAT f, const ArgbImage& src, uint8_t* dst, size_t pitch, bool opaque) {
    // libsquish reads R, G, B, A bytes; D3DCOLOR values are B, G, R, A in memory.
    std::vector<uint8_t> rgba(src.pixels.size() * 4);
    for (size_t i = 0; i < src.pixels.size(); ++i) {
        uint32_t c = src.pixels[i];
        if (f == D3DFMT_DXT1 && opaque)
            c |= 0xFF000000u;
        else if (is_premultiplied(f))
            c = premultiply(c);
        rgba[4 * i] = uint8_t(c >> 16), rgba[4 * i + 1] = uint8_t(c >> 8);
        rgba[4 * i + 2] = uint8_t(c), rgba[4 * i + 3] = uint8_t(c >> 24);
    }
    const int flags = squish_flags(f) | squish::kColourClusterFit;
    for (uint32_t by = 0; by < (src.height + 3) / 4; ++by) {
        const uint32_t rows = std::min<uint32_t>(4, src.height - by * 4);
        squish::CompressImage(rgba.data() + size_t(by) * 4 * src.width * 4, int(src.width), int(rows),
                              int(src.width * 4), dst + by * pitch, flags);
    }
}

} // namespace

PixelFormatInfo pixel_format_info(D3DFORMAT f) {
    switch (f) {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_A2B10G10R10:
    case D3DFMT_Q8W8V8U8:
        return {32, 0, true, true};
    case D3DFMT_X8R8G8B8:
    case D3DFMT_X8L8V8U8:
    case D3DFMT_G16R16:
        return {32, 0, false, true};
    case D3DFMT_R8G8B8:
        return {24, 0, false, true};
    case D3DFMT_A1R5G5B5:
    case D3DFMT_A4R4G4B4:
    case D3DFMT_A8R3G3B2:
    case D3DFMT_A8L8:
        return {16, 0, true, true};
    case D3DFMT_R5G6B5:
    case D3DFMT_X1R5G5B5:
    case D3DFMT_X4R4G4B4:
    case D3DFMT_V8U8:
    case D3DFMT_L6V5U5:
        return {16, 0, false, true};
    case D3DFMT_A8:
    case D3DFMT_A4L4:
        return {8, 0, true, true};
    case D3DFMT_R3G3B2:
    case D3DFMT_L8:
        return {8, 0, false, true};
    case D3DFMT_DXT1:
        return {4, 8, true, true};
    case D3DFMT_DXT2:
    case D3DFMT_DXT3:
    case D3DFMT_DXT4:
    case D3DFMT_DXT5:
        return {8, 16, true, true};
    case D3DFMT_P8:
        return {8, 0, false, false};
    case D3DFMT_D16:
    case D3DFMT_D16_LOCKABLE:
    case D3DFMT_D15S1:
    case D3DFMT_INDEX16:
        return {16, 0, false, false};
    case D3DFMT_D32:
    case D3DFMT_D24S8:
    case D3DFMT_D24X8:
    case D3DFMT_D24X4S4:
    case D3DFMT_INDEX32:
        return {32, 0, false, false};
    default:
        return {};
    }
}

bool is_block_format(D3DFORMAT f) {
    return pixel_format_info(f).block_bytes != 0;
}

size_t row_pitch(D3DFORMAT f, uint32_t width) {
    const PixelFormatInfo info = pixel_format_info(f);
    if (info.block_bytes) return size_t(std::max<uint32_t>(1, (width + 3) / 4)) * info.block_bytes;
    return (size_t(width) * info.bits + 7) / 8;
}

size_t surface_bytes(D3DFORMAT f, uint32_t width, uint32_t height) {
    const size_t rows = is_block_format(f) ? std::max<uint32_t>(1, (height + 3) / 4) : height;
    return row_pitch(f, width) * rows;
}

bool decode_pixels(D3DFORMAT f, const uint8_t* src, size_t pitch, uint32_t width, uint32_t height,
                   ArgbImage& out) {
    const PixelFormatInfo info = pixel_format_info(f);
    if (!info.convertible) return false;
    out.width = width;
    out.height = height;
    out.pixels.resize(size_t(width) * height);
    if (info.block_bytes) {
        decode_blocks(f, src, pitch, out);
        return true;
    }
    const uint32_t bpp = info.bits / 8;
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* s = src + y * pitch;
        uint32_t* d = out.row(y);
        if (f == D3DFMT_A8R8G8B8) {
            std::memcpy(d, s, size_t(width) * 4);
            continue;
        }
        for (uint32_t x = 0; x < width; ++x)
            d[x] = read_pixel(f, s + x * bpp);
    }
    return true;
}

bool encode_pixels(D3DFORMAT f, const ArgbImage& src, uint8_t* dst, size_t pitch, bool dither, bool opaque) {
    const PixelFormatInfo info = pixel_format_info(f);
    if (!info.convertible) return false;
    if (info.block_bytes) {
        encode_blocks(f, src, dst, pitch, opaque);
        return true;
    }
    const uint32_t bpp = info.bits / 8;
    const bool dithered = dither && info.bits < 24;
    for (uint32_t y = 0; y < src.height; ++y) {
        const uint32_t* s = src.row(y);
        uint8_t* d = dst + y * pitch;
        if (f == D3DFMT_A8R8G8B8) {
            std::memcpy(d, s, size_t(src.width) * 4);
            continue;
        }
        if (f == D3DFMT_X8R8G8B8) { // the same store as write_pixel's, in a loop the compiler widens
            for (uint32_t x = 0; x < src.width; ++x) {
                const uint32_t c = s[x] | 0xFF000000u;
                std::memcpy(d + size_t(x) * 4, &c, 4);
            }
            continue;
        }
        for (uint32_t x = 0; x < src.width; ++x)
            write_pixel(f, s[x], d + x * bpp, dithered ? bayer[y & 3][x & 3] : 127);
    }
    return true;
}

} // namespace qcore::detail
