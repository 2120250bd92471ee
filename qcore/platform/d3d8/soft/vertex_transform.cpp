#include <qcore/platform/d3d8/d3dx/d3dx8math.h>
#include <qcore/platform/d3d8/fvf_layout.h>
#include <qcore/platform/d3d8/soft/vertex_transform.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace qcore::detail::soft {

namespace {

constexpr uint32_t tci_generator_mask = 0xffff0000u;
constexpr uint32_t tci_camera_normal = 0x10000u, tci_camera_position = 0x20000u,
                   tci_camera_reflection = 0x30000u;
constexpr uint32_t ttf_count_mask = 0xffu;
constexpr uint32_t vertex_blend_0_weights = 256u;

float load_float(const uint8_t* p) {
    float f;
    std::memcpy(&f, p, sizeof f);
    return f;
}

uint32_t load_u32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

void normalize3(float* v) {
    const float len = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (len > 0.f)
        for (int i = 0; i < 3; ++i)
            v[i] /= len;
}

// Inverse transpose of the upper 3x3, so normals stay perpendicular under non-uniform scaling.
void normal_matrix(const float* m, float* out) {
    const float a = m[0], b = m[1], c = m[2], d = m[4], e = m[5], f = m[6], g = m[8], h = m[9], i = m[10];
    const float c0 = e * i - f * h, c1 = f * g - d * i, c2 = d * h - e * g;
    const float det = a * c0 + b * c1 + c * c2;
    const float s = det != 0.f ? 1.f / det : 0.f;
    // Row-vector convention: n' = n * inverse(M)^T, i.e. out[r][c] = cofactor(r, c) / det.
    out[0] = c0 * s, out[1] = c1 * s, out[2] = c2 * s;
    out[3] = (c * h - b * i) * s, out[4] = (a * i - c * g) * s, out[5] = (b * g - a * h) * s;
    out[6] = (b * f - c * e) * s, out[7] = (c * d - a * f) * s, out[8] = (a * e - b * d) * s;
}

// The inverse of a row-major 4x4 matrix; false for a singular or non-finite one.
bool invert(const float* m, float* out) {
    D3DXMATRIX a, r;
    std::memcpy(&a.m, m, sizeof a.m);
    FLOAT det = 0;
    if (!D3DXMatrixInverse(&r, &det, &a) || !std::isfinite(det)) return false;
    std::memcpy(out, &r.m, sizeof r.m);
    return true;
}

bool texture_used(const StageRecord& s) {
    auto uses = [](uint32_t arg) { return (arg & ta::select_mask) == ta::texture; };
    // Bump-mapping stages read their du/dv texture and pre-modulating ones hand theirs to the next stage.
    const bool color = uses(s.color_arg1) || uses(s.color_arg2) || uses(s.color_arg0) ||
                       s.color_op == top::blend_texture_alpha || s.color_op == top::blend_texture_alpha_pm ||
                       s.color_op == top::bump_env_map || s.color_op == top::bump_env_map_luminance ||
                       s.color_op == top::premodulate;
    const bool alpha = s.alpha_op != top::disable &&
                       (uses(s.alpha_arg1) || uses(s.alpha_arg2) || uses(s.alpha_arg0) ||
                        s.alpha_op == top::blend_texture_alpha || s.alpha_op == top::blend_texture_alpha_pm);
    return color || alpha;
}

} // namespace

void multiply(const float* a, const float* b, float* out) {
    float r[16];
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r[i * 4 + j] = a[i * 4] * b[j] + a[i * 4 + 1] * b[4 + j] + a[i * 4 + 2] * b[8 + j] +
                           a[i * 4 + 3] * b[12 + j];
    std::copy(r, r + 16, out);
}

FvfLayout decode_fvf(uint32_t fvf) {
    FvfLayout l;
    const detail::FvfLayout f = detail::fvf_layout(fvf);
    l.pretransformed = (fvf & fvf::position_mask) == fvf::xyzrhw;
    // Reserved bits, and normals on pre-transformed vertices, make formats the pipeline refuses.
    if (f.stride == 0 || (fvf & 0xe000u) || (f.has_normal && l.pretransformed)) return l;
    l.normal = f.has_normal ? static_cast<int>(f.normal) : -1;
    l.point_size = f.has_psize ? static_cast<int>(f.psize) : -1;
    l.diffuse = f.has_diffuse ? static_cast<int>(f.diffuse) : -1;
    l.specular = f.has_specular ? static_cast<int>(f.specular) : -1;
    l.tex_count = static_cast<int>(f.tex_count);
    for (int i = 0; i < l.tex_count; ++i) {
        l.tex[i] = static_cast<int>(f.tex_offset[i]);
        l.tex_dims[i] = static_cast<int>(f.tex_size[i] / 4);
    }
    if ((fvf & fvf::position_mask) > fvf::xyzrhw)
        l.blend_weights = static_cast<int>((f.position_size - 12) / 4);
    l.size = f.stride;
    l.valid = true;
    return l;
}

bool VertexProcessor::prepare(const PipelineState& state, const FvfLayout& layout,
                              const AttributeLayout& attributes, const char** reason) {
    layout_ = layout;
    attributes_ = attributes;
    state_ = &state;
    blend_count_ = 1;
    if (state.indexed_blend != 0 ||
        (state.vertex_blend > 3 && state.vertex_blend != vertex_blend_0_weights)) {
        *reason = "only vertex blending with 1 to 3 weights is supported";
        return false;
    }
    // Pre-transformed vertices are not blended.
    if (!layout.pretransformed) {
        if (state.vertex_blend >= 1 && state.vertex_blend <= 3) {
            if (layout.blend_weights < static_cast<int>(state.vertex_blend)) {
                *reason = "vertex blending needs more weights than the vertex format has";
                return false;
            }
            blend_count_ = static_cast<int>(state.vertex_blend) + 1;
        }
    }
    for (int s = 0; s < max_stages; ++s) {
        const uint32_t generator = state.stages[s].texcoord_index & tci_generator_mask;
        if (attributes.stage_uv[s] >= 0 && generator > tci_camera_reflection) {
            *reason = "unknown texture coordinate generator";
            return false;
        }
    }
    for (int k = 0; k < blend_count_; ++k) {
        multiply(k == 0 ? state.world : state.blend_world[k - 1], state.view, world_view_[k]);
        normal_matrix(world_view_[k], normal_matrix_[k]);
    }
    multiply(world_view_[0], state.projection, world_view_projection_);
    lit_ = state.lighting && !layout.pretransformed;
    if (lit_) lighting_.prepare(state);
    vertex_fog_ = state.fog && state.fog_table_mode == fog_none && state.fog_vertex_mode != fog_none &&
                  !layout.pretransformed && attributes.specular;
    clip_planes_ = layout.pretransformed ? 0 : state.clip_planes & ((1u << max_clip_planes) - 1);
    // A world-space plane p holds the points x with x.p = 0; in camera space that is x'.(V^-1 p).
    float inverse_view[16] = {};
    if (clip_planes_ && !invert(state.view, inverse_view)) {
        *reason = "user clip planes need an invertible view matrix";
        return false;
    }
    for (int i = 0; i < max_clip_planes; ++i) {
        if (!((clip_planes_ >> i) & 1u)) continue;
        const float* p = state.clip_plane[i];
        for (int r = 0; r < 4; ++r)
            eye_planes_[i][r] = inverse_view[r * 4] * p[0] + inverse_view[r * 4 + 1] * p[1] +
                                inverse_view[r * 4 + 2] * p[2] + inverse_view[r * 4 + 3] * p[3];
    }
    needs_eye_ = lit_ || state.point_scale || vertex_fog_ || clip_planes_ || blend_count_ > 1;
    for (int s = 0; s < max_stages; ++s)
        if (attributes.stage_uv[s] >= 0 && (state.stages[s].texcoord_index & tci_generator_mask))
            needs_eye_ = true;
    viewport_height_ = static_cast<float>(state.viewport.height);
    return true;
}

void VertexProcessor::blend(const uint8_t* v, const float* p, float* eye_pos, float* eye_normal) const {
    float weights[max_blend_matrices] = {1.f, 0.f, 0.f, 0.f};
    if (blend_count_ > 1) {
        float last = 1.f;
        for (int k = 0; k + 1 < blend_count_; ++k) {
            weights[k] = load_float(v + 12 + 4 * k);
            last -= weights[k];
        }
        weights[blend_count_ - 1] = last;
    }
    float n[3] = {0.f, 0.f, 0.f};
    const bool has_normal = layout_.normal >= 0;
    if (has_normal) {
        const uint8_t* np = v + layout_.normal;
        n[0] = load_float(np), n[1] = load_float(np + 4), n[2] = load_float(np + 8);
    }
    for (int j = 0; j < 3; ++j)
        eye_pos[j] = eye_normal[j] = 0.f;
    for (int k = 0; k < blend_count_; ++k) {
        const float* w = world_view_[k];
        const float* nm = normal_matrix_[k];
        for (int j = 0; j < 3; ++j) {
            eye_pos[j] += weights[k] * (p[0] * w[j] + p[1] * w[4 + j] + p[2] * w[8 + j] + w[12 + j]);
            if (has_normal)
                eye_normal[j] += weights[k] * (n[0] * nm[j] + n[1] * nm[3 + j] + n[2] * nm[6 + j]);
        }
    }
}

float VertexProcessor::fog_distance(const float* e) const {
    return state_->range_fog ? std::sqrt(e[0] * e[0] + e[1] * e[1] + e[2] * e[2]) : e[2];
}

void VertexProcessor::process(const uint8_t* v, ClipVertex& out) const {
    const PipelineState& st = *state_;
    const float p[3] = {load_float(v), load_float(v + 4), load_float(v + 8)};
    Rgba diffuse{1.f, 1.f, 1.f, 1.f}, specular{0.f, 0.f, 0.f, 1.f};
    const bool has_diffuse = layout_.diffuse >= 0, has_specular = layout_.specular >= 0;
    if (has_diffuse) diffuse = unpack_color(load_u32(v + layout_.diffuse));
    if (has_specular) specular = unpack_color(load_u32(v + layout_.specular));
    float eye_pos[3] = {0.f, 0.f, 0.f}, eye_normal[3] = {0.f, 0.f, 0.f};
    if (layout_.pretransformed) {
        out.pos[0] = p[0];
        out.pos[1] = p[1];
        out.pos[2] = p[2];
        out.pos[3] = load_float(v + 12); // rhw
    } else {
        if (needs_eye_) {
            blend(v, p, eye_pos, eye_normal);
            if (st.normalize_normals && layout_.normal >= 0) normalize3(eye_normal);
        }
        if (blend_count_ > 1) {
            const float* m = st.projection;
            for (int j = 0; j < 4; ++j)
                out.pos[j] = eye_pos[0] * m[j] + eye_pos[1] * m[4 + j] + eye_pos[2] * m[8 + j] + m[12 + j];
        } else {
            const float* m = world_view_projection_;
            for (int j = 0; j < 4; ++j)
                out.pos[j] = p[0] * m[j] + p[1] * m[4 + j] + p[2] * m[8 + j] + m[12 + j];
        }
        for (int i = 0; i < max_clip_planes; ++i)
            if ((clip_planes_ >> i) & 1u) {
                const float* e = eye_planes_[i];
                out.clip_dist[i] = eye_pos[0] * e[0] + eye_pos[1] * e[1] + eye_pos[2] * e[2] + e[3];
            }
        if (lit_) {
            Rgba lit_diffuse, lit_specular;
            lighting_.light(eye_pos, layout_.normal >= 0 ? eye_normal : nullptr,
                            has_diffuse ? &diffuse : nullptr, has_specular ? &specular : nullptr, lit_diffuse,
                            lit_specular);
            diffuse = lit_diffuse;
            specular = {lit_specular.r, lit_specular.g, lit_specular.b, specular.a};
        }
    }
    out.attr[0] = diffuse.r;
    out.attr[1] = diffuse.g;
    out.attr[2] = diffuse.b;
    out.attr[3] = diffuse.a;
    if (attributes_.specular) {
        out.attr[4] = specular.r;
        out.attr[5] = specular.g;
        out.attr[6] = specular.b;
        out.attr[7] = vertex_fog_ ? fog_factor(st.fog_vertex_mode, fog_distance(eye_pos), st.fog_start,
                                               st.fog_end, st.fog_density)
                                  : specular.a;
    }
    float size = layout_.point_size >= 0 ? load_float(v + layout_.point_size) : st.point_size;
    if (st.point_scale && !layout_.pretransformed) {
        const float d =
            std::sqrt(eye_pos[0] * eye_pos[0] + eye_pos[1] * eye_pos[1] + eye_pos[2] * eye_pos[2]);
        const float k = st.point_scale_a + st.point_scale_b * d + st.point_scale_c * d * d;
        size = k > 0.f ? viewport_height_ * size * std::sqrt(1.f / k) : st.point_size_max;
    }
    out.point_size = std::clamp(size, st.point_size_min, std::max(st.point_size_min, st.point_size_max));
    texture_coordinates(eye_pos, eye_normal, v, out);
}

void VertexProcessor::texture_coordinates(const float* eye_pos, const float* eye_normal, const uint8_t* v,
                                          ClipVertex& out) const {
    for (int s = 0; s < max_stages; ++s) {
        const int slot = attributes_.stage_uv[s];
        if (slot < 0) continue;
        const StageRecord& stage = state_->stages[s];
        const uint32_t generator = stage.texcoord_index & tci_generator_mask;
        float in[4] = {0.f, 0.f, 1.f, 0.f};
        if (generator == tci_camera_normal) {
            std::copy(eye_normal, eye_normal + 3, in), in[3] = 1.f;
        } else if (generator == tci_camera_position) {
            std::copy(eye_pos, eye_pos + 3, in), in[3] = 1.f;
        } else if (generator == tci_camera_reflection) {
            float e[3] = {0.f, 0.f, -1.f};
            if (state_->local_viewer) {
                e[0] = -eye_pos[0], e[1] = -eye_pos[1], e[2] = -eye_pos[2];
                normalize3(e);
            }
            const float en = e[0] * eye_normal[0] + e[1] * eye_normal[1] + e[2] * eye_normal[2];
            for (int k = 0; k < 3; ++k)
                in[k] = 2.f * en * eye_normal[k] - e[k];
            in[3] = 1.f;
        } else {
            const int set = static_cast<int>(stage.texcoord_index & 0xffffu);
            if (set < layout_.tex_count) {
                const uint8_t* t = v + layout_.tex[set];
                const int dims = layout_.tex_dims[set];
                for (int k = 0; k < dims; ++k)
                    in[k] = load_float(t + 4 * k);
                // Missing components read as 1 then 0, so a 2D coordinate's third matrix row translates.
                if (dims < 4) in[dims] = 1.f;
                for (int k = dims + 1; k < 4; ++k)
                    in[k] = 0.f;
            }
        }
        float t[4] = {in[0], in[1], in[2], in[3]};
        const uint32_t count = stage.transform_flags & ttf_count_mask;
        if (count) {
            const float* m = stage.texture_matrix;
            for (int k = 0; k < 4; ++k)
                t[k] = in[0] * m[k] + in[1] * m[4 + k] + in[2] * m[8 + k] + in[3] * m[12 + k];
        }
        out.attr[slot] = t[0];
        out.attr[slot + 1] = t[1];
        // Projected coordinates are divided by their last element per pixel.
        const int q_slot = attributes_.stage_q[s];
        if (q_slot >= 0) out.attr[q_slot] = t[std::clamp<int>(static_cast<int>(count), 2, 4) - 1];
    }
}

// Exposed for the pipeline, which decides which stages sample before vertices are processed.
bool stage_samples_texture(const StageRecord& s) {
    return s.color_op != top::disable && s.texture && texture_used(s);
}

} // namespace qcore::detail::soft
