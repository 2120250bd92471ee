#include <qcore/platform/d3d8/soft/lighting.h>

#include <algorithm>
#include <cmath>

namespace qcore::detail::soft {

namespace {

Rgba to_rgba(const ColorRecord& c) {
    return {c.r, c.g, c.b, c.a};
}

float dot3(const float* a, const float* b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

void normalize3(float* v) {
    const float len = std::sqrt(dot3(v, v));
    if (len > 0.f) {
        v[0] /= len;
        v[1] /= len;
        v[2] /= len;
    }
}

void transform_point(const float* p, const float* m, float* out) {
    for (int j = 0; j < 3; ++j)
        out[j] = p[0] * m[j] + p[1] * m[4 + j] + p[2] * m[8 + j] + m[12 + j];
}

void transform_direction(const float* d, const float* m, float* out) {
    for (int j = 0; j < 3; ++j)
        out[j] = d[0] * m[j] + d[1] * m[4 + j] + d[2] * m[8 + j];
}

void add_scaled(Rgba& acc, const Rgba& a, const Rgba& b, float s) {
    acc.r += a.r * b.r * s;
    acc.g += a.g * b.g * s;
    acc.b += a.b * b.b * s;
}

Rgba pick(uint32_t source, const Rgba& material, const Rgba* diffuse, const Rgba* specular) {
    if (source == source_color1 && diffuse) return *diffuse;
    if (source == source_color2 && specular) return *specular;
    return material;
}

} // namespace

Rgba unpack_color(uint32_t argb) {
    constexpr float k = 1.f / 255.f;
    return {((argb >> 16) & 0xff) * k, ((argb >> 8) & 0xff) * k, (argb & 0xff) * k, (argb >> 24) * k};
}

void Lighting::prepare(const PipelineState& state) {
    count_ = std::clamp(state.light_count, 0, max_lights);
    for (int i = 0; i < count_; ++i) {
        const LightRecord& l = state.lights[i];
        CameraLight& c = lights_[i];
        c.type = l.type;
        c.diffuse = to_rgba(l.diffuse);
        c.specular = to_rgba(l.specular);
        c.ambient = to_rgba(l.ambient);
        transform_point(l.position, state.view, c.position);
        transform_direction(l.direction, state.view, c.direction);
        normalize3(c.direction);
        if (l.type == light_directional)
            for (float& d : c.direction)
                d = -d;
        c.range = l.range;
        c.falloff = l.falloff;
        c.att0 = l.attenuation0;
        c.att1 = l.attenuation1;
        c.att2 = l.attenuation2;
        c.cos_half_theta = std::cos(l.theta * 0.5f);
        c.cos_half_phi = std::cos(l.phi * 0.5f);
    }
    material_ = state.material;
    global_ambient_ = unpack_color(state.ambient);
    const bool vertex_colors = state.color_vertex;
    diffuse_source_ = vertex_colors ? state.diffuse_source : source_material;
    specular_source_ = vertex_colors ? state.specular_source : source_material;
    ambient_source_ = vertex_colors ? state.ambient_source : source_material;
    emissive_source_ = vertex_colors ? state.emissive_source : source_material;
    specular_ = state.specular_enable;
    local_viewer_ = state.local_viewer;
}

void Lighting::light(const float* position, const float* normal, const Rgba* vertex_diffuse,
                     const Rgba* vertex_specular, Rgba& diffuse, Rgba& specular) const {
    const Rgba m_diffuse = pick(diffuse_source_, to_rgba(material_.diffuse), vertex_diffuse, vertex_specular);
    const Rgba m_ambient = pick(ambient_source_, to_rgba(material_.ambient), vertex_diffuse, vertex_specular);
    const Rgba m_specular =
        pick(specular_source_, to_rgba(material_.specular), vertex_diffuse, vertex_specular);
    const Rgba m_emissive =
        pick(emissive_source_, to_rgba(material_.emissive), vertex_diffuse, vertex_specular);

    Rgba acc{m_emissive.r, m_emissive.g, m_emissive.b, 0.f};
    add_scaled(acc, m_ambient, global_ambient_, 1.f);
    Rgba spec{};
    float eye[3] = {0.f, 0.f, -1.f};
    if (local_viewer_) {
        eye[0] = -position[0];
        eye[1] = -position[1];
        eye[2] = -position[2];
        normalize3(eye);
    }
    for (int i = 0; i < count_; ++i) {
        const CameraLight& l = lights_[i];
        float to_light[3];
        float attenuation = 1.f;
        if (l.type == light_directional) {
            std::copy(l.direction, l.direction + 3, to_light);
        } else {
            for (int k = 0; k < 3; ++k)
                to_light[k] = l.position[k] - position[k];
            const float distance = std::sqrt(dot3(to_light, to_light));
            if (distance > l.range) continue;
            normalize3(to_light);
            const float denominator = l.att0 + l.att1 * distance + l.att2 * distance * distance;
            attenuation = denominator > 0.f ? 1.f / denominator : 1.f;
            if (l.type == light_spot) {
                const float rho = -dot3(to_light, l.direction);
                if (rho <= l.cos_half_phi) continue;
                if (rho < l.cos_half_theta && l.cos_half_theta > l.cos_half_phi) {
                    const float t = (rho - l.cos_half_phi) / (l.cos_half_theta - l.cos_half_phi);
                    attenuation *= l.falloff == 1.f ? t : std::pow(t, l.falloff);
                }
            }
        }
        add_scaled(acc, m_ambient, l.ambient, attenuation);
        const float n_dot_l = normal ? dot3(normal, to_light) : 0.f;
        if (n_dot_l <= 0.f) continue;
        add_scaled(acc, m_diffuse, l.diffuse, attenuation * n_dot_l);
        if (!specular_) continue;
        float half[3] = {to_light[0] + eye[0], to_light[1] + eye[1], to_light[2] + eye[2]};
        normalize3(half);
        const float n_dot_h = dot3(normal, half);
        if (n_dot_h > 0.f)
            add_scaled(spec, m_specular, l.specular, attenuation * std::pow(n_dot_h, material_.power));
    }
    diffuse = {saturate(acc.r), saturate(acc.g), saturate(acc.b), saturate(m_diffuse.a)};
    specular = {saturate(spec.r), saturate(spec.g), saturate(spec.b), saturate(m_specular.a)};
}

} // namespace qcore::detail::soft
