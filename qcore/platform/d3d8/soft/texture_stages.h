#pragma once
// The texture stage cascade: colour and alpha operations on their arguments, stage by stage.
#include <qcore/platform/d3d8/soft/lighting.h>
#include <qcore/platform/d3d8/soft/pipeline_state.h>

namespace qcore::detail::soft {

struct StageProgram {
    uint32_t color_op, color_args[3], alpha_op, alpha_args[3];
    bool to_temp;
    int sampler;        // index of the stage's sampler, -1 when it samples nothing
    float bump[4] = {}; // du/dv to coordinate offsets of the next stage: 00, 01, 10, 11
    float bump_scale = 0.f, bump_offset = 0.f;
};

// Whether an operation is implemented (the device's caps are made from this).
bool texture_op_supported(uint32_t op);

// A bump-mapping stage's texel as du, dv in [-1, 1) and luminance (the sampler stores them biased).
inline void bump_texel(const Rgba& texel, float& du, float& dv, float& luminance) {
    du = (texel.r * 255.f - 128.f) / 128.f;
    dv = (texel.g * 255.f - 128.f) / 128.f;
    luminance = texel.b;
}

struct StageInputs {
    Rgba diffuse, specular, factor;
    const Rgba* textures; // per stage, valid where the stage samples
};

// Returns false with a reason when an operation or argument is not supported.
bool check_stage_program(const StageRecord& stage, const char** reason);

// Runs count stages and returns the final colour (before the specular sum).
Rgba run_stages(const StageProgram* stages, int count, const StageInputs& in);

} // namespace qcore::detail::soft
