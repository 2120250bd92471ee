#include <qcore/platform/d3d8/soft/pipeline_state.h>

#include <cstring>

namespace qcore::detail::soft {

namespace {

void set_identity(float* m) {
    for (int i = 0; i < 16; ++i)
        m[i] = (i % 5 == 0) ? 1.f : 0.f;
}

float as_float(uint32_t value) {
    float f;
    std::memcpy(&f, &value, sizeof f);
    return f;
}

} // namespace

PipelineState::PipelineState() {
    set_identity(world);
    set_identity(view);
    set_identity(projection);
    for (float* m : blend_world)
        set_identity(m);
    for (int i = 0; i < max_stages; ++i)
        stages[i].texcoord_index = static_cast<uint32_t>(i);
    stages[0].color_op = top::modulate;
    stages[0].alpha_op = top::select_arg1;
}

void PipelineState::set_render_state(uint32_t state, uint32_t value) {
    const bool on = value != 0;
    switch (state) {
    case rs::zenable:
        z_enable = on;
        break;
    case rs::fillmode:
        fill_mode = value;
        break;
    case rs::shademode:
        flat_shade = value == 1;
        break;
    case rs::linepattern:
        line_pattern = value;
        break;
    case rs::zwriteenable:
        z_write = on;
        break;
    case rs::alphatestenable:
        alpha_test = on;
        break;
    case rs::lastpixel:
        last_pixel = on;
        break;
    case rs::srcblend:
        src_blend = value;
        break;
    case rs::destblend:
        dest_blend = value;
        break;
    case rs::cullmode:
        cull_mode = value;
        break;
    case rs::zfunc:
        z_func = value;
        break;
    case rs::alpharef:
        alpha_ref = value & 0xff;
        break;
    case rs::alphafunc:
        alpha_func = value;
        break;
    case rs::alphablendenable:
        alpha_blend = on;
        break;
    case rs::fogenable:
        fog = on;
        break;
    case rs::fogcolor:
        fog_color = value;
        break;
    case rs::fogtablemode:
        fog_table_mode = value;
        break;
    case rs::fogvertexmode:
        fog_vertex_mode = value;
        break;
    case rs::fogstart:
        fog_start = as_float(value);
        break;
    case rs::fogend:
        fog_end = as_float(value);
        break;
    case rs::fogdensity:
        fog_density = as_float(value);
        break;
    case rs::rangefogenable:
        range_fog = on;
        break;
    case rs::specularenable:
        specular_enable = on;
        break;
    case rs::zbias:
        z_bias = value;
        break;
    case rs::stencilenable:
        stencil_enable = on;
        break;
    case rs::stencilfail:
        stencil_fail = value;
        break;
    case rs::stencilzfail:
        stencil_zfail = value;
        break;
    case rs::stencilpass:
        stencil_pass = value;
        break;
    case rs::stencilfunc:
        stencil_func = value;
        break;
    case rs::stencilref:
        stencil_ref = value;
        break;
    case rs::stencilmask:
        stencil_mask = value;
        break;
    case rs::stencilwritemask:
        stencil_write_mask = value;
        break;
    case rs::texturefactor:
        texture_factor = value;
        break;
    case rs::lighting:
        lighting = on;
        break;
    case rs::ambient:
        ambient = value;
        break;
    case rs::colorvertex:
        color_vertex = on;
        break;
    case rs::localviewer:
        local_viewer = on;
        break;
    case rs::normalizenormals:
        normalize_normals = on;
        break;
    case rs::diffusematerialsource:
        diffuse_source = value;
        break;
    case rs::specularmaterialsource:
        specular_source = value;
        break;
    case rs::ambientmaterialsource:
        ambient_source = value;
        break;
    case rs::emissivematerialsource:
        emissive_source = value;
        break;
    case rs::vertexblend:
        vertex_blend = value;
        break;
    case rs::clipplaneenable:
        clip_planes = value;
        break;
    case rs::pointsize:
        point_size = as_float(value);
        break;
    case rs::pointsize_min:
        point_size_min = as_float(value);
        break;
    case rs::pointsize_max:
        point_size_max = as_float(value);
        break;
    case rs::pointspriteenable:
        point_sprite = on;
        break;
    case rs::pointscaleenable:
        point_scale = on;
        break;
    case rs::pointscale_a:
        point_scale_a = as_float(value);
        break;
    case rs::pointscale_b:
        point_scale_b = as_float(value);
        break;
    case rs::pointscale_c:
        point_scale_c = as_float(value);
        break;
    case rs::indexedvertexblendenable:
        indexed_blend = value;
        break;
    case rs::colorwriteenable:
        color_write = value & 0xf;
        break;
    case rs::blendop:
        blend_op = value;
        break;
    default:
        if (state >= rs::wrap0 && state <= rs::wrap7) {
            const uint32_t set = state - rs::wrap0, bit = 1u << set;
            wrap[set] = value;
            wrap_flags = value ? (wrap_flags | bit) : (wrap_flags & ~bit);
        }
        break;
    }
}

void PipelineState::set_stage_state(int stage, uint32_t state, uint32_t value) {
    if (stage < 0 || stage >= max_stages) return;
    StageRecord& s = stages[stage];
    switch (state) {
    case tss::colorop:
        s.color_op = value;
        break;
    case tss::colorarg0:
        s.color_arg0 = value;
        break;
    case tss::colorarg1:
        s.color_arg1 = value;
        break;
    case tss::colorarg2:
        s.color_arg2 = value;
        break;
    case tss::alphaop:
        s.alpha_op = value;
        break;
    case tss::alphaarg0:
        s.alpha_arg0 = value;
        break;
    case tss::alphaarg1:
        s.alpha_arg1 = value;
        break;
    case tss::alphaarg2:
        s.alpha_arg2 = value;
        break;
    case tss::resultarg:
        s.result_arg = value;
        break;
    case tss::bumpenvmat00:
    case tss::bumpenvmat01:
    case tss::bumpenvmat10:
    case tss::bumpenvmat11:
        s.bump_matrix[state - tss::bumpenvmat00] = as_float(value);
        break;
    case tss::bumpenvlscale:
        s.bump_scale = as_float(value);
        break;
    case tss::bumpenvloffset:
        s.bump_offset = as_float(value);
        break;
    case tss::texcoordindex:
        s.texcoord_index = value;
        break;
    case tss::texturetransformflags:
        s.transform_flags = value;
        break;
    case tss::addressu:
        s.address_u = value;
        break;
    case tss::addressv:
        s.address_v = value;
        break;
    case tss::bordercolor:
        s.border_color = value;
        break;
    case tss::magfilter:
        s.mag_filter = value;
        break;
    case tss::minfilter:
        s.min_filter = value;
        break;
    case tss::mipfilter:
        s.mip_filter = value;
        break;
    case tss::maxmiplevel:
        s.max_mip_level = value;
        break;
    case tss::mipmaplodbias:
        s.lod_bias = as_float(value);
        break;
    default:
        break;
    }
}

} // namespace qcore::detail::soft
