#include <qcore/platform/d3d8/soft/texture_stages.h>

#include <algorithm>

namespace qcore::detail::soft {

namespace {

Rgba argument(uint32_t arg, const StageInputs& in, const Rgba& current, const Rgba& temp, const Rgba& tex) {
    Rgba v;
    switch (arg & ta::select_mask) {
    case ta::diffuse:
        v = in.diffuse;
        break;
    case ta::current:
        v = current;
        break;
    case ta::texture:
        v = tex;
        break;
    case ta::tfactor:
        v = in.factor;
        break;
    case ta::specular:
        v = in.specular;
        break;
    default:
        v = temp;
        break;
    }
    if (arg & ta::complement) v = {1.f - v.r, 1.f - v.g, 1.f - v.b, 1.f - v.a};
    if (arg & ta::alpha_replicate) v.r = v.g = v.b = v.a;
    return v;
}

// One channel of an operation; a* are the channel's arguments, the alphas feed the blend operations.
float apply(uint32_t op, float a0, float a1, float a2, float diffuse_alpha, float texture_alpha,
            float factor_alpha, float current_alpha, float a1_alpha) {
    switch (op) {
    case top::select_arg1:
        return a1;
    case top::select_arg2:
        return a2;
    case top::modulate:
        return a1 * a2;
    case top::modulate2x:
        return saturate(2.f * a1 * a2);
    case top::modulate4x:
        return saturate(4.f * a1 * a2);
    case top::add:
        return saturate(a1 + a2);
    case top::add_signed:
        return saturate(a1 + a2 - 0.5f);
    case top::add_signed2x:
        return saturate(2.f * (a1 + a2 - 0.5f));
    case top::subtract:
        return saturate(a1 - a2);
    case top::add_smooth:
        return saturate(a1 + a2 - a1 * a2);
    case top::blend_diffuse_alpha:
        return a1 * diffuse_alpha + a2 * (1.f - diffuse_alpha);
    case top::blend_texture_alpha:
        return a1 * texture_alpha + a2 * (1.f - texture_alpha);
    case top::blend_factor_alpha:
        return a1 * factor_alpha + a2 * (1.f - factor_alpha);
    case top::blend_texture_alpha_pm:
        return saturate(a1 + a2 * (1.f - texture_alpha));
    case top::blend_current_alpha:
        return a1 * current_alpha + a2 * (1.f - current_alpha);
    case top::modulate_alpha_add_color:
        return saturate(a1 + a1_alpha * a2);
    case top::modulate_inv_alpha_add_color:
        return saturate(a1 + (1.f - a1_alpha) * a2);
    case top::modulate_color_add_alpha:
        return saturate(a1 * a2 + a1_alpha);
    case top::modulate_inv_color_add_alpha:
        return saturate((1.f - a1) * a2 + a1_alpha);
    case top::multiply_add:
        return saturate(a0 + a1 * a2);
    case top::lerp:
        return a0 * a1 + (1.f - a0) * a2;
    default:
        return a1;
    }
}

float dot3(const Rgba& a, const Rgba& b) {
    return saturate(
        4.f * ((a.r - 0.5f) * (b.r - 0.5f) + (a.g - 0.5f) * (b.g - 0.5f) + (a.b - 0.5f) * (b.b - 0.5f)));
}

// Operations that leave the current colour as it was: their stage feeds the next one instead.
bool passes_through(uint32_t op) {
    return op == top::bump_env_map || op == top::bump_env_map_luminance || op == top::premodulate;
}

} // namespace

bool texture_op_supported(uint32_t op) {
    switch (op) {
    case top::disable:
    case top::select_arg1:
    case top::select_arg2:
    case top::modulate:
    case top::modulate2x:
    case top::modulate4x:
    case top::add:
    case top::add_signed:
    case top::add_signed2x:
    case top::subtract:
    case top::add_smooth:
    case top::blend_diffuse_alpha:
    case top::blend_texture_alpha:
    case top::blend_factor_alpha:
    case top::blend_texture_alpha_pm:
    case top::blend_current_alpha:
    case top::modulate_alpha_add_color:
    case top::modulate_inv_alpha_add_color:
    case top::modulate_color_add_alpha:
    case top::modulate_inv_color_add_alpha:
    case top::premodulate:
    case top::bump_env_map:
    case top::bump_env_map_luminance:
    case top::dot_product3:
    case top::multiply_add:
    case top::lerp:
        return true;
    default:
        return false;
    }
}

namespace {

bool argument_ok(uint32_t arg) {
    return (arg & ta::select_mask) <= ta::temp && (arg & ~0x3fu) == 0;
}

} // namespace

bool check_stage_program(const StageRecord& s, const char** reason) {
    if (!texture_op_supported(s.color_op) || !texture_op_supported(s.alpha_op)) {
        *reason = "texture stage operation is not supported";
        return false;
    }
    for (uint32_t arg :
         {s.color_arg0, s.color_arg1, s.color_arg2, s.alpha_arg0, s.alpha_arg1, s.alpha_arg2}) {
        if (!argument_ok(arg)) {
            *reason = "texture stage argument is not supported";
            return false;
        }
    }
    if (s.result_arg != ta::current && s.result_arg != ta::temp) {
        *reason = "texture stage result must be current or temp";
        return false;
    }
    return true;
}

Rgba run_stages(const StageProgram* stages, int count, const StageInputs& in) {
    Rgba current = in.diffuse;
    Rgba temp{};
    for (int i = 0; i < count; ++i) {
        const StageProgram& s = stages[i];
        const Rgba tex = s.sampler >= 0 ? in.textures[i] : Rgba{1.f, 1.f, 1.f, 1.f};
        const float texture_alpha = tex.a;
        Rgba result = current;
        const Rgba c0 = argument(s.color_args[0], in, current, temp, tex);
        const Rgba c1 = argument(s.color_args[1], in, current, temp, tex);
        const Rgba c2 = argument(s.color_args[2], in, current, temp, tex);
        const float da = in.diffuse.a, fa = in.factor.a, ca = current.a;
        if (s.color_op == top::dot_product3) {
            result.r = result.g = result.b = dot3(c1, c2);
        } else if (!passes_through(s.color_op)) {
            result.r = apply(s.color_op, c0.r, c1.r, c2.r, da, texture_alpha, fa, ca, c1.a);
            result.g = apply(s.color_op, c0.g, c1.g, c2.g, da, texture_alpha, fa, ca, c1.a);
            result.b = apply(s.color_op, c0.b, c1.b, c2.b, da, texture_alpha, fa, ca, c1.a);
        }
        if (s.color_op == top::dot_product3) {
            result.a = result.r; // the dot product goes to all four channels
        } else if (s.alpha_op == top::dot_product3) {
            result.a = dot3(argument(s.alpha_args[1], in, current, temp, tex),
                            argument(s.alpha_args[2], in, current, temp, tex));
        } else if (s.alpha_op != top::disable && !passes_through(s.alpha_op)) {
            const float a0 = argument(s.alpha_args[0], in, current, temp, tex).a;
            const float a1 = argument(s.alpha_args[1], in, current, temp, tex).a;
            const float a2 = argument(s.alpha_args[2], in, current, temp, tex).a;
            result.a = apply(s.alpha_op, a0, a1, a2, da, texture_alpha, fa, ca, a1);
        }
        if (s.to_temp)
            temp = result;
        else
            current = result;
    }
    return current;
}

} // namespace qcore::detail::soft
