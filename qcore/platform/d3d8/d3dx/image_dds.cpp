// DDS files: a surface description followed by the levels of a mip chain in the stored format.
#include <qcore/platform/d3d8/d3dx/byte_io.h>
#include <qcore/platform/d3d8/d3dx/image_codec.h>

#include <algorithm>

namespace qcore::detail {
namespace {

constexpr uint32_t ddsd_caps = 0x1, ddsd_height = 0x2, ddsd_width = 0x4, ddsd_pitch = 0x8,
                   ddsd_pixelformat = 0x1000, ddsd_mipmapcount = 0x20000, ddsd_linearsize = 0x80000;
constexpr uint32_t ddpf_alphapixels = 0x1, ddpf_alpha = 0x2, ddpf_fourcc = 0x4, ddpf_rgb = 0x40,
                   ddpf_luminance = 0x20000, ddpf_bumpluminance = 0x40000, ddpf_bumpdudv = 0x80000;
constexpr uint32_t ddscaps_complex = 0x8, ddscaps_texture = 0x1000, ddscaps_mipmap = 0x400000;
constexpr uint32_t ddscaps2_cubemap = 0x200, ddscaps2_volume = 0x200000;

struct PixelLayout {
    D3DFORMAT format;
    uint32_t flags, bits, r, g, b, a;
};

// The bit-mask descriptions of the uncompressed formats, as DDS files carry them.
constexpr PixelLayout layouts[] = {
    {D3DFMT_A8R8G8B8, ddpf_rgb | ddpf_alphapixels, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000},
    {D3DFMT_X8R8G8B8, ddpf_rgb, 32, 0xFF0000, 0xFF00, 0xFF, 0},
    {D3DFMT_A2B10G10R10, ddpf_rgb | ddpf_alphapixels, 32, 0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000},
    {D3DFMT_G16R16, ddpf_rgb, 32, 0xFFFF, 0xFFFF0000, 0, 0},
    {D3DFMT_R8G8B8, ddpf_rgb, 24, 0xFF0000, 0xFF00, 0xFF, 0},
    {D3DFMT_R5G6B5, ddpf_rgb, 16, 0xF800, 0x7E0, 0x1F, 0},
    {D3DFMT_A1R5G5B5, ddpf_rgb | ddpf_alphapixels, 16, 0x7C00, 0x3E0, 0x1F, 0x8000},
    {D3DFMT_X1R5G5B5, ddpf_rgb, 16, 0x7C00, 0x3E0, 0x1F, 0},
    {D3DFMT_A4R4G4B4, ddpf_rgb | ddpf_alphapixels, 16, 0xF00, 0xF0, 0xF, 0xF000},
    {D3DFMT_X4R4G4B4, ddpf_rgb, 16, 0xF00, 0xF0, 0xF, 0},
    {D3DFMT_A8R3G3B2, ddpf_rgb | ddpf_alphapixels, 16, 0xE0, 0x1C, 0x3, 0xFF00},
    {D3DFMT_R3G3B2, ddpf_rgb, 8, 0xE0, 0x1C, 0x3, 0},
    {D3DFMT_L8, ddpf_luminance, 8, 0xFF, 0, 0, 0},
    {D3DFMT_A8L8, ddpf_luminance | ddpf_alphapixels, 16, 0xFF, 0, 0, 0xFF00},
    {D3DFMT_A4L4, ddpf_luminance | ddpf_alphapixels, 8, 0xF, 0, 0, 0xF0},
    {D3DFMT_A8, ddpf_alpha, 8, 0, 0, 0, 0xFF},
    {D3DFMT_V8U8, ddpf_bumpdudv, 16, 0xFF, 0xFF00, 0, 0},
    {D3DFMT_Q8W8V8U8, ddpf_bumpdudv | ddpf_alphapixels, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000},
    {D3DFMT_L6V5U5, ddpf_bumpluminance, 16, 0x1F, 0x3E0, 0xFC00, 0},
    {D3DFMT_X8L8V8U8, ddpf_bumpluminance, 32, 0xFF, 0xFF00, 0xFF0000, 0},
};

constexpr uint32_t kind_mask =
    ddpf_alphapixels | ddpf_alpha | ddpf_rgb | ddpf_luminance | ddpf_bumpluminance | ddpf_bumpdudv;

D3DFORMAT format_from_pixel_format(uint32_t flags, uint32_t fourcc, const uint32_t masks[5]) {
    if (flags & ddpf_fourcc) {
        const auto f = static_cast<D3DFORMAT>(fourcc);
        return pixel_format_info(f).convertible ? f : D3DFMT_UNKNOWN;
    }
    for (const PixelLayout& l : layouts) {
        // An alpha-only file may or may not set the alpha-pixels flag beside the alpha flag.
        const uint32_t kind = flags & kind_mask & (l.flags & ddpf_alpha ? ~ddpf_alphapixels : ~0u);
        if (kind == l.flags && masks[0] == l.bits && (l.flags & ddpf_alpha || masks[1] == l.r) &&
            (l.flags & ddpf_alpha || masks[2] == l.g) && (l.flags & ddpf_alpha || masks[3] == l.b) &&
            (!(l.flags & (ddpf_alphapixels | ddpf_alpha)) || masks[4] == l.a))
            return l.format;
    }
    return D3DFMT_UNKNOWN;
}

const PixelLayout* layout_of(D3DFORMAT f) {
    for (const PixelLayout& l : layouts)
        if (l.format == f) return &l;
    return nullptr;
}

uint32_t full_chain(uint32_t width, uint32_t height) {
    uint32_t levels = 1;
    while (width > 1 || height > 1)
        width = std::max(1u, width / 2), height = std::max(1u, height / 2), ++levels;
    return levels;
}

} // namespace

HRESULT decode_dds(const uint8_t* data, size_t size, DecodedImage& out, const DecodeOptions& options) {
    ByteReader r(data, size);
    if (r.u32() != MAKEFOURCC('D', 'D', 'S', ' ') || r.u32() != 124) return D3DXERR_INVALIDDATA;
    const uint32_t flags = r.u32(), height = r.u32(), width = r.u32();
    r.u32();
    const uint32_t depth = r.u32(), mip_count = r.u32();
    r.skip(44);
    if (r.u32() != 32) return D3DXERR_INVALIDDATA;
    const uint32_t pf_flags = r.u32(), fourcc = r.u32();
    uint32_t masks[5];
    for (uint32_t& m : masks)
        m = r.u32();
    const uint32_t caps = r.u32(), caps2 = r.u32();
    r.skip(12);
    if (!r.ok() || !sane_size(width, height)) return D3DXERR_INVALIDDATA;
    const D3DFORMAT format = format_from_pixel_format(pf_flags, fourcc, masks);
    if (format == D3DFMT_UNKNOWN) return D3DXERR_INVALIDDATA;

    const uint32_t chain = full_chain(width, height);
    uint32_t levels = 1;
    if ((flags & ddsd_mipmapcount) && mip_count > 1) levels = std::min(mip_count, chain);
    out.info.file_format = D3DXIFF_DDS;
    out.info.width = width;
    out.info.height = height;
    out.info.mip_levels = levels;
    out.info.format = format;
    if (caps2 & ddscaps2_cubemap) {
        out.info.resource_type = 5; // D3DRTYPE_CUBETEXTURE
    } else if (caps2 & ddscaps2_volume) {
        out.info.resource_type = 4; // D3DRTYPE_VOLUMETEXTURE
        out.info.depth = std::max(1u, depth);
    }
    (void)caps;
    if (options.info_only) return S_OK;
    // Volumes interleave their slices per level; only flat images (and a cube's first face) are read.
    if (out.info.resource_type == 4) return D3DXERR_INVALIDDATA;

    // Each level must be wholly present before any is copied.
    size_t total = 0;
    for (uint32_t i = 0, w = width, h = height; i < levels;
         ++i, w = std::max(1u, w / 2), h = std::max(1u, h / 2))
        total += surface_bytes(format, w, h);
    if (total > r.remaining()) return D3DXERR_INVALIDDATA;
    out.stored_format = format;
    for (uint32_t i = 0, w = width, h = height; i < levels;
         ++i, w = std::max(1u, w / 2), h = std::max(1u, h / 2)) {
        ImageLevel level{w, h, row_pitch(format, w), {}};
        const size_t n = surface_bytes(format, w, h);
        level.data.assign(r.here(), r.here() + n);
        r.skip(n);
        out.levels.push_back(std::move(level));
    }
    return S_OK;
}

std::vector<uint8_t> encode_dds(D3DFORMAT format, const std::vector<ImageLevel>& levels) {
    if (levels.empty()) return {};
    const ImageLevel& top = levels[0];
    const bool block = is_block_format(format);
    ByteWriter w;
    w.u32(MAKEFOURCC('D', 'D', 'S', ' '));
    w.u32(124);
    uint32_t flags =
        ddsd_caps | ddsd_height | ddsd_width | ddsd_pixelformat | (block ? ddsd_linearsize : ddsd_pitch);
    if (levels.size() > 1) flags |= ddsd_mipmapcount;
    w.u32(flags);
    w.u32(top.height);
    w.u32(top.width);
    w.u32(uint32_t(block ? surface_bytes(format, top.width, top.height) : row_pitch(format, top.width)));
    w.u32(0);
    w.u32(levels.size() > 1 ? uint32_t(levels.size()) : 0);
    w.zeros(44);
    w.u32(32);
    if (const PixelLayout* l = block ? nullptr : layout_of(format)) {
        w.u32(l->flags);
        w.u32(0);
        w.u32(l->bits);
        w.u32(l->r);
        w.u32(l->g);
        w.u32(l->b);
        w.u32(l->a);
    } else {
        w.u32(ddpf_fourcc);
        w.u32(format);
        w.zeros(20);
    }
    w.u32(ddscaps_texture | (levels.size() > 1 ? ddscaps_complex | ddscaps_mipmap : 0));
    w.zeros(16);
    for (const ImageLevel& level : levels) {
        const size_t tight = row_pitch(format, level.width);
        const size_t rows = block ? std::max(1u, (level.height + 3) / 4) : level.height;
        for (size_t y = 0; y < rows; ++y)
            w.append(level.data.data() + y * level.pitch, tight);
    }
    return std::move(w.bytes);
}

} // namespace qcore::detail
