#include <qcore/platform/d3d8/d3dx/d3dx8core.h>
#include <qcore/platform/d3d8/d3dx/image_filter.h>

#include <stb_image_resize.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace qcore::detail {
namespace {

DWORD filter_type(DWORD filter) {
    return filter & 0xFFFF;
}

// Maps an integer sample coordinate into [0, size) by clamping or mirroring.
inline int32_t fold(int32_t v, int32_t size, bool mirror) {
    if (v >= 0 && v < size) return v;
    if (!mirror) return std::clamp(v, 0, size - 1);
    const int32_t period = 2 * size;
    v %= period;
    if (v < 0) v += period;
    return v < size ? v : period - 1 - v;
}

ArgbImage sized(uint32_t width, uint32_t height) {
    ArgbImage out;
    out.width = width;
    out.height = height;
    out.pixels.assign(size_t(width) * height, 0);
    return out;
}

ArgbImage copy_unscaled(const ArgbImage& src, uint32_t width, uint32_t height) {
    ArgbImage out = sized(width, height);
    const uint32_t w = std::min(width, src.width);
    for (uint32_t y = 0; y < std::min(height, src.height); ++y)
        std::memcpy(out.row(y), src.row(y), size_t(w) * 4);
    return out;
}

ArgbImage point_sample(const ArgbImage& src, uint32_t width, uint32_t height) {
    ArgbImage out = sized(width, height);
    std::vector<uint32_t> xs(width);
    for (uint32_t x = 0; x < width; ++x)
        xs[x] = uint32_t((uint64_t(x) * 2 + 1) * src.width / (uint64_t(width) * 2));
    for (uint32_t y = 0; y < height; ++y) {
        const uint32_t* s = src.row(uint32_t((uint64_t(y) * 2 + 1) * src.height / (uint64_t(height) * 2)));
        uint32_t* d = out.row(y);
        for (uint32_t x = 0; x < width; ++x)
            d[x] = s[xs[x]];
    }
    return out;
}

uint32_t lerp_colour(uint32_t a, uint32_t b, uint32_t w256) {
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const uint32_t ca = (a >> shift) & 0xFF, cb = (b >> shift) & 0xFF;
        out |= ((ca * (256 - w256) + cb * w256 + 128) >> 8) << shift;
    }
    return out;
}

// Bilinear sampling at each destination pixel's centre.
ArgbImage bilinear(const ArgbImage& src, uint32_t width, uint32_t height, bool mirror_u, bool mirror_v) {
    ArgbImage out = sized(width, height);
    struct Tap {
        int32_t i0, i1;
        uint32_t w;
    };
    auto taps = [](uint32_t dst, uint32_t size, bool mirror) {
        std::vector<Tap> t(dst);
        for (uint32_t i = 0; i < dst; ++i) {
            const double s = (i + 0.5) * size / dst - 0.5;
            const double f = std::floor(s);
            const auto i0 = int32_t(f);
            t[i] = {fold(i0, int32_t(size), mirror), fold(i0 + 1, int32_t(size), mirror),
                    uint32_t(std::lround((s - f) * 256))};
        }
        return t;
    };
    const std::vector<Tap> tx = taps(width, src.width, mirror_u), ty = taps(height, src.height, mirror_v);
    for (uint32_t y = 0; y < height; ++y) {
        const uint32_t* r0 = src.row(uint32_t(ty[y].i0));
        const uint32_t* r1 = src.row(uint32_t(ty[y].i1));
        uint32_t* d = out.row(y);
        for (uint32_t x = 0; x < width; ++x) {
            const Tap& t = tx[x];
            d[x] = lerp_colour(lerp_colour(r0[t.i0], r0[t.i1], t.w), lerp_colour(r1[t.i0], r1[t.i1], t.w),
                               ty[y].w);
        }
    }
    return out;
}

// Exact 2x2 averaging, the box filter at an exact halving.
ArgbImage halve_box(const ArgbImage& src) {
    ArgbImage out = sized(src.width / 2, src.height / 2);
    for (uint32_t y = 0; y < out.height; ++y) {
        const uint32_t* a = src.row(2 * y);
        const uint32_t* b = src.row(2 * y + 1);
        uint32_t* d = out.row(y);
        uint32_t x = 0;
#ifdef __SSE2__
        // Two output pixels at a time, in 16-bit lanes: the same sums and rounding as below.
        const __m128i zero = _mm_setzero_si128(), two = _mm_set1_epi16(2);
        for (; x + 2 <= out.width; x += 2) {
            const __m128i ra = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + 2 * x));
            const __m128i rb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + 2 * x));
            const __m128i lo = _mm_add_epi16(_mm_unpacklo_epi8(ra, zero), _mm_unpacklo_epi8(rb, zero));
            const __m128i hi = _mm_add_epi16(_mm_unpackhi_epi8(ra, zero), _mm_unpackhi_epi8(rb, zero));
            const __m128i sum = _mm_unpacklo_epi64(_mm_add_epi16(lo, _mm_srli_si128(lo, 8)),
                                                   _mm_add_epi16(hi, _mm_srli_si128(hi, 8)));
            const __m128i avg = _mm_srli_epi16(_mm_add_epi16(sum, two), 2);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(d + x), _mm_packus_epi16(avg, avg));
        }
#endif
        for (; x < out.width; ++x) {
            const uint32_t p0 = a[2 * x], p1 = a[2 * x + 1], p2 = b[2 * x], p3 = b[2 * x + 1];
            // Sum the even and odd channels in 16-bit lanes, two channels at a time.
            const uint64_t lo = uint64_t(p0 & 0x00FF00FF) + (p1 & 0x00FF00FF) + (p2 & 0x00FF00FF) +
                                (p3 & 0x00FF00FF) + 0x00020002;
            const uint64_t hi = uint64_t((p0 >> 8) & 0x00FF00FF) + ((p1 >> 8) & 0x00FF00FF) +
                                ((p2 >> 8) & 0x00FF00FF) + ((p3 >> 8) & 0x00FF00FF) + 0x00020002;
            d[x] = uint32_t(((lo >> 2) & 0x00FF00FF) | (((hi >> 2) & 0x00FF00FF) << 8));
        }
    }
    return out;
}

ArgbImage stb_resample(const ArgbImage& src, uint32_t width, uint32_t height, stbir_filter filter,
                       bool mirror) {
    ArgbImage out = sized(width, height);
    stbir_resize_uint8_generic(
        reinterpret_cast<const unsigned char*>(src.pixels.data()), int(src.width), int(src.height),
        int(src.width * 4), reinterpret_cast<unsigned char*>(out.pixels.data()), int(width), int(height),
        int(width * 4), 4, STBIR_ALPHA_CHANNEL_NONE, 0, mirror ? STBIR_EDGE_REFLECT : STBIR_EDGE_CLAMP,
        filter, STBIR_COLORSPACE_LINEAR, nullptr);
    return out;
}

} // namespace

DWORD resolve_image_filter(DWORD filter) {
    return filter == D3DX_DEFAULT ? DWORD(D3DX_FILTER_TRIANGLE | D3DX_FILTER_DITHER) : filter;
}

DWORD resolve_mip_filter(DWORD filter) {
    return filter == D3DX_DEFAULT ? DWORD(D3DX_FILTER_BOX) : filter;
}

bool is_valid_filter(DWORD filter) {
    const DWORD type = filter_type(filter);
    return type >= D3DX_FILTER_NONE && type <= D3DX_FILTER_BOX && (filter & ~0xFFFFFu) == 0;
}

ArgbImage resample(const ArgbImage& src, uint32_t width, uint32_t height, DWORD filter) {
    if (src.width == 0 || src.height == 0 || width == 0 || height == 0) return sized(width, height);
    const DWORD type = filter_type(filter);
    if (type == D3DX_FILTER_NONE) return copy_unscaled(src, width, height);
    if (width == src.width && height == src.height) return src;
    const bool mirror_u = filter & D3DX_FILTER_MIRROR_U, mirror_v = filter & D3DX_FILTER_MIRROR_V;
    switch (type) {
    case D3DX_FILTER_POINT:
        return point_sample(src, width, height);
    case D3DX_FILTER_LINEAR:
        return bilinear(src, width, height, mirror_u, mirror_v);
    default:
        // Triangle lets every source pixel contribute by the area it covers; box averages 2x2 blocks,
        // which is the same at an exact halving and is taken as area averaging at other sizes.
        if (width * 2 == src.width && height * 2 == src.height) return halve_box(src);
        return stb_resample(src, width, height, STBIR_FILTER_BOX, mirror_u || mirror_v);
    }
}

ArgbImage next_mip_level(const ArgbImage& src, DWORD filter) {
    return resample(src, std::max<uint32_t>(1, src.width / 2), std::max<uint32_t>(1, src.height / 2), filter);
}

void apply_colour_key(ArgbImage& image, D3DCOLOR key) {
    if (key == 0) return;
    for (uint32_t& c : image.pixels)
        if (c == key) c = 0;
}

ArgbImage crop(const ArgbImage& src, uint32_t left, uint32_t top, uint32_t right, uint32_t bottom) {
    right = std::min(right, src.width);
    bottom = std::min(bottom, src.height);
    if (left >= right || top >= bottom) return {};
    ArgbImage out = sized(right - left, bottom - top);
    for (uint32_t y = 0; y < out.height; ++y)
        std::memcpy(out.row(y), src.row(top + y) + left, size_t(out.width) * 4);
    return out;
}

} // namespace qcore::detail
