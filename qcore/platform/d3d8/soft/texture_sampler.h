#pragma once
// Texture sampling: every colour format is read as 32-bit ARGB (formats stored otherwise, DXT blocks
// included, are converted once per level and kept until the texture changes), then filtered with point
// or bilinear filters, mip selection and the four address modes.
#include <qcore/platform/d3d8/soft/pipeline_state.h>

#include <unordered_map>
#include <vector>

namespace qcore::detail::soft {

struct SampleLevel {
    const uint8_t* data = nullptr; // 32-bit ARGB texels
    int pitch = 0;
    int width = 0;
    int height = 0;
    uint32_t alpha_or = 0; // 0xff000000 for formats without alpha
};

struct StageSampler {
    SampleLevel levels[max_levels];
    int level_count = 0;
    int first_level = 0; // the most detailed level sampled (MAXMIPLEVEL)
    uint32_t address_u = address_wrap, address_v = address_wrap;
    uint32_t border = 0;
    uint32_t mag_filter = filter_point, min_filter = filter_point, mip_filter = filter_none;
    float lod_bias = 0.f;
    bool needs_lod = false;          // whether the level of detail changes the result
    bool wrap_pow2 = false;          // wrapping in both directions over levels of power-of-two sizes
    bool fast_wrap = false;          // wrap_pow2 with one level and one filter: see sample_wrapped
    float width = 0.f, height = 0.f; // of first_level
};

// True when the format is one the sampler reads (possibly through conversion).
bool sampleable_format(D3DFORMAT format);

// Converts one level of a texture into 32-bit ARGB texels, row after row; false for unknown formats.
bool convert_level(D3DFORMAT format, const TextureLevelView& level, uint32_t* out);

// lod is log2 of texels per pixel on level 0; returns ARGB.
uint32_t sample(const StageSampler& s, float u, float v, float lod);

// Integer lerp of two packed ARGB values, weight 0..256.
inline uint32_t lerp_packed(uint32_t a, uint32_t b, uint32_t w) {
    const uint32_t iw = 256 - w;
    const uint32_t rb = (((a & 0xff00ffu) * iw + (b & 0xff00ffu) * w) >> 8) & 0xff00ffu;
    const uint32_t ag = ((((a >> 8) & 0xff00ffu) * iw + ((b >> 8) & 0xff00ffu) * w) >> 8) & 0xff00ffu;
    return rb | (ag << 8);
}

// sample() for samplers with fast_wrap set, without level selection or address-mode dispatch.
inline uint32_t sample_wrapped(const StageSampler& s, float u, float v) {
    const SampleLevel& l = s.levels[s.first_level];
    if (!(u > -1e6f && u < 1e6f)) u = 0.f;
    if (!(v > -1e6f && v < 1e6f)) v = 0.f;
    const int wm = l.width - 1, hm = l.height - 1;
    auto floor_int = [](float f) {
        const int i = static_cast<int>(f);
        return static_cast<float>(i) > f ? i - 1 : i;
    };
    auto fetch = [&](int x, int y) {
        uint32_t t;
        __builtin_memcpy(&t, l.data + static_cast<ptrdiff_t>(y & hm) * l.pitch + (x & wm) * 4, 4);
        return t | l.alpha_or;
    };
    if (s.mag_filter != filter_linear)
        return fetch(floor_int(u * static_cast<float>(l.width)), floor_int(v * static_cast<float>(l.height)));
    const int fx = floor_int((u * static_cast<float>(l.width) - 0.5f) * 256.f + 0.5f);
    const int fy = floor_int((v * static_cast<float>(l.height) - 0.5f) * 256.f + 0.5f);
    const int x = fx >> 8, y = fy >> 8;
    const uint32_t wx = static_cast<uint32_t>(fx & 255), wy = static_cast<uint32_t>(fy & 255);
    const uint32_t top = lerp_packed(fetch(x, y), fetch(x + 1, y), wx);
    const uint32_t bottom = lerp_packed(fetch(x, y + 1), fetch(x + 1, y + 1), wx);
    return lerp_packed(top, bottom, wy);
}

class TextureCache {
public:
    // Prepares out for sampling view with stage's filters and address modes; false (with a reason) when
    // the format or filter is not supported.
    bool bind(const TextureView& view, const StageRecord& stage, StageSampler& out, const char** reason);
    void forget(uint64_t id);
    // Marks the start of a draw: conversions used since are kept when the cache trims itself.
    void new_draw() { ++clock_; }
    size_t bytes() const { return bytes_; }

private:
    struct Entry {
        uint64_t version = 0;
        uint64_t last_use = 0;
        std::vector<uint32_t> texels;
    };
    const uint32_t* converted(const TextureView& view, int level, const char** reason);
    void trim();

    std::unordered_map<uint64_t, Entry> entries_;
    size_t bytes_ = 0;
    uint64_t clock_ = 0;
};

} // namespace qcore::detail::soft
