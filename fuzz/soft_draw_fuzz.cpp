// Draws whatever the bytes say: vertex format, primitive, states, vertices, indices and a texture in any
// sampleable format, into a small target. Nothing may crash, hang or read outside the given memory.
#include <qcore/platform/d3d8/soft/pipeline.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

using namespace qcore::detail::soft;

constexpr uint32_t fvfs[] = {0x002, 0x042, 0x044, 0x144, 0x112, 0x152, 0x1c4, 0x0e2, 0x242, 0x006 | 0x100};
constexpr D3DFORMAT formats[] = {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5,  D3DFMT_A4R4G4B4,
                                 D3DFMT_A8,       D3DFMT_L8,       D3DFMT_DXT1,    D3DFMT_DXT5,
                                 D3DFMT_V8U8,     D3DFMT_A1R5G5B5, D3DFMT_Q8W8V8U8};
constexpr D3DFORMAT targets[] = {D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8, D3DFMT_R5G6B5, D3DFMT_A1R5G5B5};
constexpr D3DFORMAT depths[] = {D3DFMT_UNKNOWN, D3DFMT_D16, D3DFMT_D24S8, D3DFMT_D32};

struct Reader {
    const uint8_t* p;
    size_t n;
    uint32_t u32() {
        uint32_t v = 0;
        const size_t k = n < 4 ? n : 4;
        std::memcpy(&v, p, k);
        p += k, n -= k;
        return v;
    }
    uint8_t u8() { return static_cast<uint8_t>(u32() & 0xff); }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Pipeline pipeline(1);
    Reader r{data, size};
    PipelineState state;
    state.viewport = {0, 0, 16, 16, 0.f, 1.f};
    const uint32_t fvf = fvfs[r.u8() % std::size(fvfs)];
    const uint32_t type = 1 + r.u8() % 6;
    const uint32_t count = r.u8() % 64;
    const uint32_t flags = r.u32();
    state.cull_mode = 1 + flags % 3;
    state.fill_mode = 1 + (flags >> 2) % 3;
    state.lighting = flags & 0x10;
    state.alpha_blend = flags & 0x20;
    state.alpha_test = flags & 0x40;
    state.stencil_enable = flags & 0x80;
    state.specular_enable = flags & 0x100;
    state.flat_shade = flags & 0x200;
    state.point_sprite = flags & 0x400;
    state.point_scale = flags & 0x800;
    state.src_blend = 1 + (flags >> 12) % 13;
    state.dest_blend = 1 + (flags >> 16) % 13;
    state.z_bias = (flags >> 20) % 17;
    state.stencil_pass = 1 + (flags >> 25) % 8;
    state.light_count = static_cast<int>((flags >> 28) % 3);
    for (int i = 0; i < state.light_count; ++i) {
        state.lights[i].type = 1 + r.u8() % 3;
        std::memcpy(state.lights[i].direction, r.p, r.n >= 12 ? 12 : 0);
        state.lights[i].range = 10.f;
        state.lights[i].attenuation0 = 1.f;
    }
    state.point_size = static_cast<float>(r.u8() % 40) * 0.25f;
    for (float* m : {state.world, state.projection})
        if ((r.u8() & 1) && r.n >= 64) {
            std::memcpy(m, r.p, 64);
            r.p += 64, r.n -= 64;
        }
    // One texture on stage 0 with filters and address modes from the input.
    const uint32_t tex_flags = r.u32();
    const D3DFORMAT tex_format = formats[tex_flags % std::size(formats)];
    const int levels = 1 + static_cast<int>((tex_flags >> 4) % 3);
    StageRecord& stage = state.stages[0];
    stage.color_op = 1 + (tex_flags >> 8) % 26;
    stage.color_arg1 = (tex_flags >> 13) & 0x3f;
    stage.alpha_op = 1 + (tex_flags >> 19) % 26;
    stage.address_u = 1 + (tex_flags >> 24) % 5;
    stage.address_v = 1 + (tex_flags >> 27) % 5;
    stage.min_filter = stage.mag_filter = 1 + (tex_flags >> 30) % 2;
    stage.mip_filter = (tex_flags >> 31) ? 2 : 1;
    stage.texcoord_index = (tex_flags & 0x3) << 16;
    std::vector<uint8_t> texels(8 * 8 * 4 + 4 * 4 * 4 + 2 * 2 * 4, 0x5a);
    TextureView texture;
    texture.id = 1;
    texture.version = size; // a different input may change the bytes
    texture.format = tex_format;
    texture.level_count = levels;
    size_t offset = 0;
    const bool dxt = tex_format == D3DFMT_DXT1 || tex_format == D3DFMT_DXT5;
    for (int i = 0; i < levels; ++i) {
        const int w = 8 >> i;
        const int pitch = dxt ? ((w + 3) / 4) * (tex_format == D3DFMT_DXT1 ? 8 : 16) : w * 4;
        texture.levels[i] = {texels.data() + offset, pitch, w, w};
        offset += static_cast<size_t>(pitch * w);
    }
    const size_t take = r.n < texels.size() / 2 ? r.n : texels.size() / 2;
    std::memcpy(texels.data(), r.p, take);
    stage.texture = (tex_flags >> 2) & 1 ? &texture : nullptr;

    std::vector<uint32_t> color(16 * 16, 0), depth(16 * 16, 0xffffff00u);
    TargetView target;
    target.color = {reinterpret_cast<uint8_t*>(color.data()), 64, 16, 16, targets[(flags >> 5) % 4]};
    const D3DFORMAT depth_format = depths[(tex_flags >> 6) % 4];
    if (depth_format != D3DFMT_UNKNOWN)
        target.depth = {reinterpret_cast<uint8_t*>(depth.data()), 64, 16, 16, depth_format};

    const FvfLayout layout = decode_fvf(fvf);
    const uint32_t stride = layout.size;
    const bool indexed = r.u8() & 1;
    const size_t vertex_bytes = r.n / 2;
    VertexStream vs{r.p, vertex_bytes, stride, fvf};
    IndexStream is{r.p + vertex_bytes, r.n - vertex_bytes, (flags & 1) != 0};
    DrawRequest request;
    request.primitive_type = type;
    request.primitive_count = count;
    request.indexed = indexed;
    pipeline.draw(state, target, vs, indexed ? &is : nullptr, request);
    return 0;
}
