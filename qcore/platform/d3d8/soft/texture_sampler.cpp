#include <qcore/platform/d3d8/soft/texture_sampler.h>

#include <qcore/platform/d3d8/soft/formats.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace qcore::detail::soft {

namespace {

constexpr size_t cache_budget = size_t{256} << 20;

int wrap_coordinate(int i, int size, uint32_t mode) {
    switch (mode) {
    case address_mirror: {
        const int period = 2 * size;
        int m = i % period;
        if (m < 0) m += period;
        return m < size ? m : period - 1 - m;
    }
    case address_clamp:
        return std::clamp(i, 0, size - 1);
    case address_border:
        return (i < 0 || i >= size) ? -1 : i;
    case address_mirror_once: {
        const int m = i < 0 ? -i - 1 : i;
        return std::min(m, size - 1);
    }
    default: {
        if ((size & (size - 1)) == 0) return i & (size - 1);
        const int m = i % size;
        return m < 0 ? m + size : m;
    }
    }
}

uint32_t texel(const StageSampler& s, const SampleLevel& l, int x, int y) {
    const int tx = wrap_coordinate(x, l.width, s.address_u);
    const int ty = wrap_coordinate(y, l.height, s.address_v);
    if (tx < 0 || ty < 0) return s.border;
    uint32_t value;
    std::memcpy(&value, l.data + static_cast<ptrdiff_t>(ty) * l.pitch + tx * 4, 4);
    return value | l.alpha_or;
}

int fast_floor(float f) {
    const int i = static_cast<int>(f);
    return (static_cast<float>(i) > f) ? i - 1 : i;
}

float clamp_coordinate(float f) {
    // Keeps huge or non-finite coordinates from overflowing the integer conversion.
    return (f > -1e6f && f < 1e6f) ? f : 0.f;
}

uint32_t sample_level(const StageSampler& s, const SampleLevel& l, float u, float v, bool linear) {
    const float fu = clamp_coordinate(u) * static_cast<float>(l.width);
    const float fv = clamp_coordinate(v) * static_cast<float>(l.height);
    if (!linear) return texel(s, l, fast_floor(fu), fast_floor(fv));
    const float su = fu - 0.5f, sv = fv - 0.5f;
    const int x = fast_floor(su), y = fast_floor(sv);
    const uint32_t wx = static_cast<uint32_t>((su - static_cast<float>(x)) * 256.f + 0.5f);
    const uint32_t wy = static_cast<uint32_t>((sv - static_cast<float>(y)) * 256.f + 0.5f);
    const uint32_t top = lerp_packed(texel(s, l, x, y), texel(s, l, x + 1, y), wx);
    const uint32_t bottom = lerp_packed(texel(s, l, x, y + 1), texel(s, l, x + 1, y + 1), wx);
    return lerp_packed(top, bottom, wy);
}

} // namespace

bool sampleable_format(D3DFORMAT format) {
    const FormatInfo* info = format_info(format);
    return info && info->kind != FormatKind::depth;
}

bool convert_level(D3DFORMAT format, const TextureLevelView& level, uint32_t* out) {
    if (!level.data || level.width <= 0 || level.height <= 0 || !sampleable_format(format)) return false;
    const UINT bytes = format_info(format)->bytes;
    const size_t width = static_cast<size_t>(level.width);
    if (!is_compressed(format)) {
        for (int y = 0; y < level.height; ++y) {
            const uint8_t* row = level.data + static_cast<size_t>(y) * static_cast<size_t>(level.pitch);
            for (size_t x = 0; x < width; ++x)
                *out++ = pixel_to_argb(format, row + x * bytes);
        }
        return true;
    }
    // One block decode per 4x4 texels; levels smaller than a block use its top-left corner.
    for (int by = 0; by < (level.height + 3) / 4; ++by) {
        const uint8_t* row = level.data + static_cast<size_t>(by) * static_cast<size_t>(level.pitch);
        for (int bx = 0; bx < (level.width + 3) / 4; ++bx) {
            uint32_t texels[16];
            decode_block(format, row + static_cast<size_t>(bx) * bytes, texels);
            for (int i = 0; i < 16; ++i) {
                const int x = bx * 4 + i % 4, y = by * 4 + i / 4;
                if (x < level.width && y < level.height)
                    out[static_cast<size_t>(y) * width + static_cast<size_t>(x)] = texels[i];
            }
        }
    }
    return true;
}

uint32_t sample(const StageSampler& s, float u, float v, float lod) {
    lod = std::min(lod + s.lod_bias, 32.f);
    const int first = s.first_level, last = s.level_count - 1;
    if (!(lod > 0.f) || s.mip_filter == filter_none || first >= last) {
        const bool linear = (lod > 0.f ? s.min_filter : s.mag_filter) == filter_linear;
        return sample_level(s, s.levels[first], u, v, linear);
    }
    const bool linear = s.min_filter == filter_linear;
    if (s.mip_filter == filter_point) {
        const int level = std::clamp(static_cast<int>(lod + 0.5f), first, last);
        return sample_level(s, s.levels[level], u, v, linear);
    }
    const int base = fast_floor(lod);
    if (base < first || base >= last)
        return sample_level(s, s.levels[std::clamp(base, first, last)], u, v, linear);
    const uint32_t a = sample_level(s, s.levels[base], u, v, linear);
    const uint32_t b = sample_level(s, s.levels[base + 1], u, v, linear);
    const uint32_t w = static_cast<uint32_t>((lod - static_cast<float>(base)) * 256.f + 0.5f);
    return lerp_packed(a, b, std::min(w, 256u));
}

const uint32_t* TextureCache::converted(const TextureView& view, int level, const char** reason) {
    const uint64_t key = view.id * max_levels + static_cast<uint64_t>(level);
    Entry& e = entries_[key];
    e.last_use = clock_;
    const TextureLevelView& l = view.levels[level];
    const size_t count = static_cast<size_t>(l.width) * static_cast<size_t>(l.height);
    if (e.version == view.version && e.texels.size() == count && count > 0) return e.texels.data();
    bytes_ -= e.texels.size() * 4;
    e.texels.assign(count, 0);
    bytes_ += count * 4;
    e.version = view.version;
    if (!convert_level(view.format, l, e.texels.data())) {
        *reason = "texture level cannot be read";
        e.version = ~uint64_t{0};
        return nullptr;
    }
    return e.texels.data();
}

bool TextureCache::bind(const TextureView& view, const StageRecord& stage, StageSampler& out,
                        const char** reason) {
    if (!sampleable_format(view.format)) {
        *reason = "texture format cannot be sampled";
        return false;
    }
    // Anisotropic and cubic filters are drawn linear, as many drivers do.
    auto filter = [](uint32_t f) {
        return f >= filter_linear && f <= filter_gaussian_cubic ? filter_linear : f;
    };
    const uint32_t mag_filter = filter(stage.mag_filter), min_filter = filter(stage.min_filter);
    for (uint32_t f : {mag_filter, min_filter}) {
        if (f != filter_point && f != filter_linear) {
            *reason = "only point and linear texture filters are supported";
            return false;
        }
    }
    if (stage.mip_filter > filter_linear) {
        *reason = "only none, point and linear mip filters are supported";
        return false;
    }
    if (stage.address_u < address_wrap || stage.address_u > address_mirror_once ||
        stage.address_v < address_wrap || stage.address_v > address_mirror_once) {
        *reason = "unknown texture address mode";
        return false;
    }
    if (view.level_count <= 0 || view.level_count > max_levels) {
        *reason = "texture has no levels";
        return false;
    }
    const bool direct = view.format == D3DFMT_A8R8G8B8 || view.format == D3DFMT_X8R8G8B8;
    for (int i = 0; i < view.level_count; ++i) {
        const TextureLevelView& l = view.levels[i];
        SampleLevel& s = out.levels[i];
        if (!l.data || l.width <= 0 || l.height <= 0) {
            *reason = "texture level has no memory";
            return false;
        }
        s.width = l.width;
        s.height = l.height;
        if (direct) {
            s.data = l.data;
            s.pitch = l.pitch;
            s.alpha_or = view.format == D3DFMT_X8R8G8B8 ? 0xff000000u : 0u;
            continue;
        }
        s.data = reinterpret_cast<const uint8_t*>(converted(view, i, reason));
        if (!s.data) return false;
        s.pitch = l.width * 4;
        s.alpha_or = 0;
    }
    out.level_count = view.level_count;
    out.first_level = std::min(static_cast<int>(stage.max_mip_level), view.level_count - 1);
    out.address_u = stage.address_u;
    out.address_v = stage.address_v;
    out.border = stage.border_color;
    out.mag_filter = mag_filter;
    out.min_filter = min_filter;
    out.mip_filter = stage.mip_filter;
    out.lod_bias = stage.lod_bias;
    out.needs_lod = mag_filter != min_filter ||
                    (stage.mip_filter != filter_none && view.level_count - out.first_level > 1);
    const SampleLevel& top_level = out.levels[out.first_level];
    out.wrap_pow2 = out.address_u == address_wrap && out.address_v == address_wrap &&
                    (top_level.width & (top_level.width - 1)) == 0 &&
                    (top_level.height & (top_level.height - 1)) == 0;
    out.fast_wrap = out.wrap_pow2 && !out.needs_lod;
    out.width = static_cast<float>(view.levels[0].width);
    out.height = static_cast<float>(view.levels[0].height);
    trim();
    return true;
}

void TextureCache::forget(uint64_t id) {
    for (int level = 0; level < max_levels; ++level) {
        auto it = entries_.find(id * max_levels + static_cast<uint64_t>(level));
        if (it == entries_.end()) continue;
        bytes_ -= it->second.texels.size() * 4;
        entries_.erase(it);
    }
}

void TextureCache::trim() {
    if (bytes_ <= cache_budget) return;
    // Drop everything not used by this draw; conversions are redone on their next use.
    for (auto it = entries_.begin(); it != entries_.end();) {
        if (it->second.last_use == clock_) {
            ++it;
            continue;
        }
        bytes_ -= it->second.texels.size() * 4;
        it = entries_.erase(it);
    }
}

} // namespace qcore::detail::soft
