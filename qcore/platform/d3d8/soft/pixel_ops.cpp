#include <qcore/platform/d3d8/soft/pixel_ops.h>

#include <qcore/platform/d3d8/soft/formats.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace qcore::detail::soft {

namespace {

uint32_t to_bits(float v, int bits) {
    const float max = static_cast<float>((1u << bits) - 1);
    return static_cast<uint32_t>(saturate(v) * max + 0.5f);
}

float factor(uint32_t f, float src, float src_alpha, float dest, float dest_alpha) {
    switch (f) {
    case blend_zero:
        return 0.f;
    case blend_one:
        return 1.f;
    case blend_src_color:
        return src;
    case blend_inv_src_color:
        return 1.f - src;
    case blend_src_alpha:
        return src_alpha;
    case blend_inv_src_alpha:
        return 1.f - src_alpha;
    case blend_dest_alpha:
        return dest_alpha;
    case blend_inv_dest_alpha:
        return 1.f - dest_alpha;
    case blend_dest_color:
        return dest;
    case blend_inv_dest_color:
        return 1.f - dest;
    case blend_src_alpha_sat:
        return std::min(src_alpha, 1.f - dest_alpha);
    default:
        return 1.f;
    }
}

float combine(uint32_t op, float s, float fs, float d, float fd) {
    switch (op) {
    case blendop_subtract:
        return std::clamp(s * fs - d * fd, 0.f, 1.f);
    case blendop_rev_subtract:
        return std::clamp(d * fd - s * fs, 0.f, 1.f);
    case blendop_min:
        return std::min(s, d);
    case blendop_max:
        return std::max(s, d);
    default:
        return std::min(s * fs + d * fd, 1.f);
    }
}

} // namespace

bool render_target_format(D3DFORMAT f) {
    return is_render_target_format(f);
}

bool depth_format(D3DFORMAT f) {
    return f == D3DFMT_D16 || f == D3DFMT_D16_LOCKABLE || f == D3DFMT_D24S8 || f == D3DFMT_D24X8 ||
           f == D3DFMT_D32;
}

bool has_stencil(D3DFORMAT f) {
    return f == D3DFMT_D24S8;
}

uint32_t pack_argb(const Rgba& c) {
    return to_bits(c.a, 8) << 24 | to_bits(c.r, 8) << 16 | to_bits(c.g, 8) << 8 | to_bits(c.b, 8);
}

Rgba read_pixel(D3DFORMAT f, const uint8_t* p) {
    return unpack_color(pixel_to_argb(f, p));
}

void write_pixel(D3DFORMAT f, uint8_t* p, const Rgba& c) {
    argb_to_pixel(f, pack_argb(c), p);
}

uint8_t read_stencil(D3DFORMAT f, const uint8_t* p) {
    return has_stencil(f) ? p[0] : 0;
}

void write_stencil(D3DFORMAT f, uint8_t* p, uint8_t stencil) {
    if (has_stencil(f)) p[0] = stencil;
}

uint8_t stencil_operation(uint32_t op, uint8_t value, uint8_t reference) {
    switch (op) {
    case stencil_zero:
        return 0;
    case stencil_replace:
        return reference;
    case stencil_incr_sat:
        return value == 255 ? 255 : static_cast<uint8_t>(value + 1);
    case stencil_decr_sat:
        return value == 0 ? 0 : static_cast<uint8_t>(value - 1);
    case stencil_invert:
        return static_cast<uint8_t>(~value);
    case stencil_incr:
        return static_cast<uint8_t>(value + 1);
    case stencil_decr:
        return static_cast<uint8_t>(value - 1);
    default:
        return value;
    }
}

Rgba blend(const BlendState& b, const Rgba& s, const Rgba& d) {
    uint32_t src = b.src, dest = b.dest;
    if (src == blend_both_src_alpha)
        src = blend_src_alpha, dest = blend_inv_src_alpha;
    else if (src == blend_both_inv_src_alpha)
        src = blend_inv_src_alpha, dest = blend_src_alpha;
    Rgba out;
    out.r = combine(b.op, s.r, factor(src, s.r, s.a, d.r, d.a), d.r, factor(dest, s.r, s.a, d.r, d.a));
    out.g = combine(b.op, s.g, factor(src, s.g, s.a, d.g, d.a), d.g, factor(dest, s.g, s.a, d.g, d.a));
    out.b = combine(b.op, s.b, factor(src, s.b, s.a, d.b, d.a), d.b, factor(dest, s.b, s.a, d.b, d.a));
    const uint32_t src_a = src == blend_src_alpha_sat ? blend_one : src;
    out.a = combine(b.op, s.a, factor(src_a, s.a, s.a, d.a, d.a), d.a, factor(dest, s.a, s.a, d.a, d.a));
    return out;
}

Rgba apply_write_mask(uint32_t mask, const Rgba& s, const Rgba& d) {
    return {(mask & 1) ? s.r : d.r, (mask & 2) ? s.g : d.g, (mask & 4) ? s.b : d.b, (mask & 8) ? s.a : d.a};
}

} // namespace qcore::detail::soft
