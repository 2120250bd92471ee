#pragma once
// Per-vertex fixed-function lighting in camera space.
#include <qcore/platform/d3d8/soft/pipeline_state.h>

#include <cmath>

namespace qcore::detail::soft {

struct Rgba {
    float r = 0.f, g = 0.f, b = 0.f, a = 0.f;
};

Rgba unpack_color(uint32_t argb);

// Clamps to [0, 1]; NaN becomes 0 so that it never reaches an integer conversion.
inline float saturate(float v) {
    return v > 0.f ? (v < 1.f ? v : 1.f) : 0.f;
}

// The fraction of a colour that survives fog at distance d (1: no fog), by the published formulas.
inline float fog_factor(uint32_t mode, float d, float start, float end, float density) {
    switch (mode) {
    case fog_linear:
        return end != start ? saturate((end - d) / (end - start)) : (d < end ? 1.f : 0.f);
    case fog_exp:
        return saturate(std::exp(-density * d));
    case fog_exp2:
        return saturate(std::exp(-(density * d) * (density * d)));
    default:
        return 1.f;
    }
}

// The enabled lights moved into camera space and the material terms that do not change per vertex.
class Lighting {
public:
    void prepare(const PipelineState& state);

    // position and normal in camera space; has_normal false lights with a zero normal (ambient and
    // emissive only). vertex_diffuse/vertex_specular are null when the vertex lacks those colours.
    void light(const float* position, const float* normal, const Rgba* vertex_diffuse,
               const Rgba* vertex_specular, Rgba& diffuse, Rgba& specular) const;

private:
    struct CameraLight {
        uint32_t type;
        Rgba diffuse, specular, ambient;
        float position[3];
        float direction[3]; // towards the light for directional lights, along the beam for spots
        float range, falloff, att0, att1, att2, cos_half_theta, cos_half_phi;
    };
    CameraLight lights_[max_lights];
    int count_ = 0;
    MaterialRecord material_;
    Rgba global_ambient_;
    uint32_t diffuse_source_ = 0, specular_source_ = 0, ambient_source_ = 0, emissive_source_ = 0;
    bool specular_ = false, local_viewer_ = true;
};

} // namespace qcore::detail::soft
