#include <qcore/platform/d3d8/soft/clipper.h>

#include <algorithm>

namespace qcore::detail::soft {

namespace {

constexpr int plane_count = 7;
// w must stay positive even for odd projections; this keeps 1/w finite.
constexpr float min_w = 1e-6f;

void lerp_vertex(const ClipVertex& a, const ClipVertex& b, float t, int attribute_count, ClipVertex& out) {
    for (int i = 0; i < 4; ++i)
        out.pos[i] = a.pos[i] + (b.pos[i] - a.pos[i]) * t;
    out.point_size = a.point_size + (b.point_size - a.point_size) * t;
    for (int i = 0; i < attribute_count; ++i)
        out.attr[i] = a.attr[i] + (b.attr[i] - a.attr[i]) * t;
}

} // namespace

void Clipper::set_guard_band(float guard_x, float guard_y) {
    guard_x_ = guard_x;
    guard_y_ = guard_y;
}

float Clipper::distance(int plane, const float* p) const {
    switch (plane) {
    case 0:
        return p[2]; // near: z >= 0
    case 1:
        return p[3] - p[2]; // far: z <= w
    case 2:
        return p[3] - min_w; // w > 0
    case 3:
        return guard_x_ * p[3] + p[0]; // left guard band
    case 4:
        return guard_x_ * p[3] - p[0]; // right
    case 5:
        return guard_y_ * p[3] + p[1]; // bottom
    default:
        return guard_y_ * p[3] - p[1]; // top
    }
}

unsigned Clipper::outcode(const float* pos) const {
    unsigned code = 0;
    for (int i = 0; i < plane_count; ++i)
        if (distance(i, pos) < 0.f) code |= 1u << i;
    return code;
}

int Clipper::clip(const ClipVertex* const* in, int n, int attribute_count, ClipVertex* out) const {
    // Ping-pong between two scratch polygons; each plane adds at most one vertex.
    ClipVertex buffers[2][max_clip_vertices];
    const ClipVertex* src[max_clip_vertices];
    for (int i = 0; i < n; ++i)
        src[i] = in[i];
    int count = n;
    int which = 0;
    unsigned all = 0;
    for (int i = 0; i < n; ++i)
        all |= outcode(in[i]->pos);
    for (int plane = 0; plane < plane_count && count > 0; ++plane) {
        if (!(all & (1u << plane))) continue;
        ClipVertex* dst = buffers[which];
        int out_count = 0;
        for (int i = 0; i < count; ++i) {
            const ClipVertex& a = *src[i];
            const ClipVertex& b = *src[(i + 1) % count];
            const float da = distance(plane, a.pos), db = distance(plane, b.pos);
            if (da >= 0.f && out_count < max_clip_vertices) dst[out_count++] = a;
            if ((da >= 0.f) != (db >= 0.f) && out_count < max_clip_vertices)
                lerp_vertex(a, b, da / (da - db), attribute_count, dst[out_count++]);
        }
        for (int i = 0; i < out_count; ++i)
            src[i] = &dst[i];
        count = out_count < 3 ? 0 : out_count;
        which ^= 1;
    }
    for (int i = 0; i < count; ++i)
        out[i] = *src[i];
    return count;
}

bool Clipper::clip_line(const ClipVertex& a, const ClipVertex& b, int attribute_count, ClipVertex& out_a,
                        ClipVertex& out_b) const {
    float t0 = 0.f, t1 = 1.f;
    for (int plane = 0; plane < plane_count; ++plane) {
        const float da = distance(plane, a.pos), db = distance(plane, b.pos);
        if (da < 0.f && db < 0.f) return false;
        if (da < 0.f)
            t0 = std::max(t0, da / (da - db));
        else if (db < 0.f)
            t1 = std::min(t1, da / (da - db));
    }
    if (t0 > t1) return false;
    lerp_vertex(a, b, t0, attribute_count, out_a);
    lerp_vertex(a, b, t1, attribute_count, out_b);
    return true;
}

} // namespace qcore::detail::soft
