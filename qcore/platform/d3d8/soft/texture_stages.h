#pragma once
// The texture stage cascade: colour and alpha operations on their arguments, stage by stage.
#include <qcore/platform/d3d8/soft/lighting.h>
#include <qcore/platform/d3d8/soft/pipeline_state.h>

namespace qcore::detail::soft {

struct StageProgram {
    uint32_t color_op, color_args[3], alpha_op, alpha_args[3];
    bool to_temp;
    int sampler; // index of the stage's sampler, -1 when it samples nothing
};

struct StageInputs {
    Rgba diffuse, specular, factor;
    const Rgba* textures; // per stage, valid where the stage samples
};

// Returns false with a reason when an operation or argument is not supported.
bool check_stage_program(const StageRecord& stage, const char** reason);

// Runs count stages and returns the final colour (before the specular sum).
Rgba run_stages(const StageProgram* stages, int count, const StageInputs& in);

} // namespace qcore::detail::soft
