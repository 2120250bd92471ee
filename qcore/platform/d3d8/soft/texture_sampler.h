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
    bool needs_lod = false; // whether the level of detail changes the result
    float width = 0.f, height = 0.f; // of first_level
};

// True when the format is one the sampler reads (possibly through conversion).
bool sampleable_format(D3DFORMAT format);

// Converts one level of a texture into 32-bit ARGB texels, row after row; false for unknown formats.
bool convert_level(D3DFORMAT format, const TextureLevelView& level, uint32_t* out);

// lod is log2 of texels per pixel on level 0; returns ARGB.
uint32_t sample(const StageSampler& s, float u, float v, float lod);

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
