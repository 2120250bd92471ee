#pragma once
// Vertex fetch by flexible vertex format, transform to clip space, lighting, texture-coordinate
// generation and texture transforms.
#include <qcore/platform/d3d8/soft/lighting.h>
#include <qcore/platform/d3d8/soft/pipeline_state.h>

namespace qcore::detail::soft {

constexpr int max_attributes = 8 + 3 * max_stages;
constexpr int max_tex_sets = 8;

// Byte offsets of a vertex format's fields; -1 marks a field it lacks.
struct FvfLayout {
    bool valid = false;
    bool pretransformed = false;
    uint32_t size = 0;
    int normal = -1, point_size = -1, diffuse = -1, specular = -1;
    int tex_count = 0;
    int tex[max_tex_sets] = {};
    int tex_dims[max_tex_sets] = {};
    int blend_weights = 0; // floats between the position and the rest
};

FvfLayout decode_fvf(uint32_t fvf);

// Which interpolated values a draw carries: diffuse RGBA at 0, specular RGBA at 4 when used (its alpha is
// the vertex fog factor when fog comes from the vertices), then u and v of each stage that samples a
// texture (u/q and v/q with q at fourth place for projected coordinates).
struct AttributeLayout {
    int count = 4;
    bool specular = false;
    int stage_q[max_stages] = {-1, -1, -1, -1, -1, -1, -1, -1}; // projected coordinates' divisor
    int stage_uv[max_stages] = {-1, -1, -1, -1, -1, -1, -1, -1};
};

struct ClipVertex {
    float pos[4];
    float point_size;
    float clip_dist[max_clip_planes] = {}; // to each user clip plane, >= 0 inside
    float attr[max_attributes];
};

class VertexProcessor {
public:
    // Returns false (with a reason) when the state asks for something this pipeline cannot do.
    bool prepare(const PipelineState& state, const FvfLayout& layout, const AttributeLayout& attributes,
                 const char** reason);
    void process(const uint8_t* vertex, ClipVertex& out) const;

private:
    void texture_coordinates(const float* eye_position, const float* eye_normal, const uint8_t* vertex,
                             ClipVertex& out) const;

    // Camera-space position and normal of a vertex blended over blend_count_ matrices.
    void blend(const uint8_t* vertex, const float* p, float* eye_pos, float* eye_normal) const;
    float fog_distance(const float* eye_pos) const;

    FvfLayout layout_;
    AttributeLayout attributes_;
    Lighting lighting_;
    const PipelineState* state_ = nullptr;
    float world_view_[max_blend_matrices][16];
    float world_view_projection_[16];
    float normal_matrix_[max_blend_matrices][9];
    float viewport_height_ = 0.f;
    int blend_count_ = 1;                  // world matrices a vertex blends between
    uint32_t clip_planes_ = 0;             // enabled user planes
    float eye_planes_[max_clip_planes][4]; // the user planes in camera space
    bool vertex_fog_ = false;              // fog factor computed here
    bool lit_ = false, needs_eye_ = false;
};

void multiply(const float* a, const float* b, float* out);

// True when the stage is enabled, has a texture and one of its operations reads it.
bool stage_samples_texture(const StageRecord& s);

} // namespace qcore::detail::soft
