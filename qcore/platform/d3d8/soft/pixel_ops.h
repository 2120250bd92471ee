#pragma once
// Per-pixel operations at the end of the pipeline: depth and stencil tests, the alpha test, blending,
// the colour write mask, and reading and writing every render-target and depth format.
#include <qcore/platform/d3d8/soft/lighting.h>
#include <qcore/platform/d3d8/soft/pipeline_state.h>

namespace qcore::detail::soft {

bool render_target_format(D3DFORMAT format);
bool depth_format(D3DFORMAT format);
bool has_stencil(D3DFORMAT format);

// Colour of a target pixel; formats without alpha read alpha 1.
Rgba read_pixel(D3DFORMAT format, const uint8_t* p);
void write_pixel(D3DFORMAT format, uint8_t* p, const Rgba& c);
uint32_t pack_argb(const Rgba& c);

// Depth as an integer of the format's precision, and the stencil byte. D24 formats keep depth in the top
// 24 bits and stencil in the low byte of a 32-bit word.
inline uint32_t depth_max(D3DFORMAT format) {
    return (format == D3DFMT_D16 || format == D3DFMT_D16_LOCKABLE)
               ? 0xffffu
               : (format == D3DFMT_D32 ? 0xffffffffu : 0xffffffu);
}

// Single precision except for D32, the same arithmetic as the SIMD path.
inline uint32_t quantize_depth(D3DFORMAT format, float z) {
    const float clamped = z > 0.f ? (z < 1.f ? z : 1.f) : 0.f;
    if (format == D3DFMT_D32) return static_cast<uint32_t>(static_cast<double>(clamped) * 4294967295.0 + 0.5);
    return static_cast<uint32_t>(clamped * static_cast<float>(depth_max(format)) + 0.5f);
}
inline uint32_t read_depth(D3DFORMAT format, const uint8_t* p) {
    if (format == D3DFMT_D16 || format == D3DFMT_D16_LOCKABLE) return static_cast<uint32_t>(p[0] | p[1] << 8);
    uint32_t v;
    __builtin_memcpy(&v, p, 4);
    return format == D3DFMT_D32 ? v : v >> 8;
}

inline void write_depth(D3DFORMAT format, uint8_t* p, uint32_t depth) {
    if (format == D3DFMT_D16 || format == D3DFMT_D16_LOCKABLE) {
        p[0] = static_cast<uint8_t>(depth);
        p[1] = static_cast<uint8_t>(depth >> 8);
        return;
    }
    uint32_t v = depth;
    if (format != D3DFMT_D32) {
        uint32_t old;
        __builtin_memcpy(&old, p, 4);
        v = (depth << 8) | (old & 0xffu);
    }
    __builtin_memcpy(p, &v, 4);
}
uint8_t read_stencil(D3DFORMAT format, const uint8_t* p);
void write_stencil(D3DFORMAT format, uint8_t* p, uint8_t stencil);

inline bool compare(uint32_t func, uint32_t value, uint32_t reference) {
    switch (func) {
    case cmp_never:
        return false;
    case cmp_less:
        return value < reference;
    case cmp_equal:
        return value == reference;
    case cmp_less_equal:
        return value <= reference;
    case cmp_greater:
        return value > reference;
    case cmp_not_equal:
        return value != reference;
    case cmp_greater_equal:
        return value >= reference;
    default:
        return true;
    }
}

uint8_t stencil_operation(uint32_t op, uint8_t value, uint8_t reference);

struct BlendState {
    uint32_t src = blend_one, dest = blend_zero, op = blendop_add;
};

// src and dest are colours in 0..1; returns the blended colour.
Rgba blend(const BlendState& b, const Rgba& src, const Rgba& dest);

// Keeps the channels of dest whose bits are missing from mask (1 red, 2 green, 4 blue, 8 alpha).
Rgba apply_write_mask(uint32_t mask, const Rgba& src, const Rgba& dest);

} // namespace qcore::detail::soft
