#include <qcore/platform/d3d8/soft/pipeline_backend.h>

#include <qcore/platform/d3d8/soft/pipeline.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string_view>

namespace qcore::detail::soft {

namespace {

// The pipeline's records keep the published numbers, so states pass through unchanged.
constexpr bool same(uint32_t a, uint32_t b) {
    return a == b;
}
static_assert(same(rs::zenable, D3DRS_ZENABLE));
static_assert(same(rs::linepattern, D3DRS_LINEPATTERN));
static_assert(same(rs::zbias, D3DRS_ZBIAS));
static_assert(same(rs::lighting, D3DRS_LIGHTING));
static_assert(same(rs::pointsize, D3DRS_POINTSIZE));
static_assert(same(rs::blendop, D3DRS_BLENDOP));
static_assert(same(rs::colorwriteenable, D3DRS_COLORWRITEENABLE));
static_assert(same(rs::wrap7, D3DRS_WRAP7));
static_assert(same(rs::fogvertexmode, D3DRS_FOGVERTEXMODE));
static_assert(same(rs::rangefogenable, D3DRS_RANGEFOGENABLE));
static_assert(same(tss::bumpenvloffset, D3DTSS_BUMPENVLOFFSET));
static_assert(same(fog_linear, D3DFOG_LINEAR));
static_assert(same(tss::colorop, D3DTSS_COLOROP));
static_assert(same(tss::texcoordindex, D3DTSS_TEXCOORDINDEX));
static_assert(same(tss::mipmaplodbias, D3DTSS_MIPMAPLODBIAS));
static_assert(same(tss::resultarg, D3DTSS_RESULTARG));
static_assert(same(prim_tri_fan, D3DPT_TRIANGLEFAN));
static_assert(same(cmp_always, D3DCMP_ALWAYS));
static_assert(same(blend_both_inv_src_alpha, D3DBLEND_BOTHINVSRCALPHA));
static_assert(same(stencil_decr, D3DSTENCILOP_DECR));
static_assert(same(cull_ccw, D3DCULL_CCW));
static_assert(same(fill_solid, D3DFILL_SOLID));
static_assert(same(filter_linear, D3DTEXF_LINEAR));
static_assert(same(address_mirror_once, D3DTADDRESS_MIRRORONCE));
static_assert(same(light_directional, D3DLIGHT_DIRECTIONAL));
static_assert(same(source_color2, D3DMCS_COLOR2));
static_assert(same(top::lerp, D3DTOP_LERP));
static_assert(same(top::blend_current_alpha, D3DTOP_BLENDCURRENTALPHA));
static_assert(same(ta::temp, D3DTA_TEMP));
static_assert(same(ta::complement, D3DTA_COMPLEMENT));
static_assert(same(ta::alpha_replicate, D3DTA_ALPHAREPLICATE));
static_assert(same(blendop_max, D3DBLENDOP_MAX));
static_assert(same(fvf::lastbeta_ubyte4, D3DFVF_LASTBETA_UBYTE4));

ColorRecord color(const D3DCOLORVALUE& c) {
    return {c.r, c.g, c.b, c.a};
}

void copy_matrix(const D3DMATRIX& m, float* out) {
    std::memcpy(out, &m, sizeof m);
}

LightRecord light(const D3DLIGHT8& l) {
    LightRecord r;
    r.type = static_cast<uint32_t>(l.Type);
    r.diffuse = color(l.Diffuse);
    r.specular = color(l.Specular);
    r.ambient = color(l.Ambient);
    r.position[0] = l.Position.x, r.position[1] = l.Position.y, r.position[2] = l.Position.z;
    r.direction[0] = l.Direction.x, r.direction[1] = l.Direction.y, r.direction[2] = l.Direction.z;
    r.range = l.Range;
    r.falloff = l.Falloff;
    r.attenuation0 = l.Attenuation0;
    r.attenuation1 = l.Attenuation1;
    r.attenuation2 = l.Attenuation2;
    r.theta = l.Theta;
    r.phi = l.Phi;
    return r;
}

SurfaceView view_of(SurfaceMemory& m) {
    return {m.bits(), static_cast<int>(m.pitch()), static_cast<int>(m.stored_width()),
            static_cast<int>(m.stored_height()), m.format()};
}

// A texture's levels as the pipeline reads them; its version is the newest of its levels', and surface
// versions never repeat, so a changed level or a new texture at the same address is never mistaken.
TextureView texture_view(SoftTexture& t) {
    TextureView v;
    v.id = reinterpret_cast<uintptr_t>(&t);
    v.format = t.format();
    v.level_count = static_cast<int>(std::min<DWORD>(t.GetLevelCount(), max_levels));
    for (int i = 0; i < v.level_count; ++i) {
        SurfaceMemory& m = t.level(static_cast<UINT>(i))->memory();
        v.levels[i] = {m.bits(), static_cast<int>(m.pitch()), static_cast<int>(m.width()),
                       static_cast<int>(m.height())};
        v.version = std::max(v.version, m.version());
    }
    return v;
}

// The published ValidateDevice answer closest to a refusal's reason.
HRESULT validation_error(std::string_view reason) {
    if (reason.starts_with("texture stage operation")) return D3DERR_UNSUPPORTEDCOLOROPERATION;
    if (reason.starts_with("texture stage argument") || reason.starts_with("texture stage result"))
        return D3DERR_UNSUPPORTEDCOLORARG;
    if (reason.find("filter") != std::string_view::npos) return D3DERR_UNSUPPORTEDTEXTUREFILTER;
    if (reason.starts_with("texture")) return D3DERR_WRONGTEXTUREFORMAT;
    return D3DERR_CONFLICTINGRENDERSTATE;
}

class PipelineBackend final : public DrawBackend {
public:
    HRESULT draw(const DeviceState& device, const DrawCall& call, DrawTargets& targets) override {
        const std::lock_guard hold(mutex_);
        convert(device);
        const TargetView target = target_view(targets);
        const VertexStream vertices{call.vertices, call.vertex_bytes, call.stride, call.fvf};
        const IndexStream indices{call.indices, size_t{call.index_count} * call.index_size,
                                  call.index_size == 4};
        DrawRequest request;
        request.primitive_type = static_cast<uint32_t>(call.type);
        request.primitive_count = call.primitive_count;
        request.indexed = call.indices != nullptr;
        request.start_vertex = request.indexed ? call.base_vertex : call.first_vertex;
        if (!pipeline_.draw(state_, target, vertices, request.indexed ? &indices : nullptr, request))
            return D3DERR_INVALIDCALL;
        targets.colour->touch();
        if (targets.depth) targets.depth->touch();
        return D3D_OK;
    }

    HRESULT validate(const DeviceState& device, DrawTargets& targets) override {
        const std::lock_guard hold(mutex_);
        convert(device);
        if (pipeline_.validate(state_, target_view(targets), device.vertex_shader)) return D3D_OK;
        return validation_error(pipeline_.last_error());
    }

    // A texture may be released or locked on another thread while a draw runs.
    void forget_texture(uint64_t id) override {
        const std::lock_guard hold(mutex_);
        pipeline_.forget_texture(id);
    }

private:
    static TargetView target_view(DrawTargets& targets) {
        TargetView target;
        target.color = view_of(*targets.colour);
        target.samples_x = static_cast<int>(targets.colour->samples_across());
        target.samples_y = static_cast<int>(targets.colour->samples_down());
        if (targets.depth) target.depth = view_of(*targets.depth);
        return target;
    }

    void convert(const DeviceState& d) {
        for (uint32_t i = 0; i < d.render.size(); ++i)
            state_.set_render_state(i, d.render[i]);
        copy_matrix(d.world[0], state_.world);
        for (int i = 1; i < max_blend_matrices; ++i)
            copy_matrix(d.world[static_cast<size_t>(i)], state_.blend_world[i - 1]);
        for (int i = 0; i < max_clip_planes; ++i)
            std::copy(d.clip_planes[static_cast<size_t>(i)].begin(),
                      d.clip_planes[static_cast<size_t>(i)].end(), state_.clip_plane[i]);
        copy_matrix(d.view, state_.view);
        copy_matrix(d.projection, state_.projection);
        const D3DVIEWPORT8& vp = d.viewport;
        state_.viewport = {static_cast<int>(vp.X),
                           static_cast<int>(vp.Y),
                           static_cast<int>(vp.Width),
                           static_cast<int>(vp.Height),
                           vp.MinZ,
                           vp.MaxZ};
        const D3DMATERIAL8& m = d.material;
        state_.material = {color(m.Diffuse), color(m.Ambient), color(m.Specular), color(m.Emissive), m.Power};
        state_.light_count = 0;
        for (const auto& [index, slot] : d.lights)
            if (slot.enabled && state_.light_count < max_lights)
                state_.lights[state_.light_count++] = light(slot.light);
        for (int s = 0; s < max_stages; ++s) {
            for (uint32_t i = 0; i < d.stage[static_cast<size_t>(s)].size(); ++i)
                state_.set_stage_state(s, i, d.stage[static_cast<size_t>(s)][i]);
            copy_matrix(d.texture_transform[static_cast<size_t>(s)], state_.stages[s].texture_matrix);
            SoftTexture* t = d.textures[static_cast<size_t>(s)];
            if (t) textures_[s] = texture_view(*t);
            state_.stages[s].texture = t ? &textures_[s] : nullptr;
        }
    }

    std::mutex mutex_;
    Pipeline pipeline_;
    PipelineState state_;
    TextureView textures_[max_stages];
};

} // namespace

std::unique_ptr<DrawBackend> make_pipeline_backend() {
    return std::make_unique<PipelineBackend>();
}

} // namespace qcore::detail::soft
