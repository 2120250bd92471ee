#include <qcore/platform/d3d8/soft/clipper.h>

#include <algorithm>
#include <cmath>

namespace qcore::detail::soft {

namespace {

constexpr int fixed_planes = 7;
constexpr int plane_count = fixed_planes + max_clip_planes;
// w must stay positive even for odd projections; this keeps 1/w finite.
constexpr float min_w = 1e-6f;

void lerp_vertex(const ClipVertex& a, const ClipVertex& b, float t, int attribute_count, ClipVertex& out) {
    for (int i = 0; i < 4; ++i)
        out.pos[i] = a.pos[i] + (b.pos[i] - a.pos[i]) * t;
    out.point_size = a.point_size + (b.point_size - a.point_size) * t;
    for (int i = 0; i < max_clip_planes; ++i)
        out.clip_dist[i] = a.clip_dist[i] + (b.clip_dist[i] - a.clip_dist[i]) * t;
    for (int i = 0; i < attribute_count; ++i)
        out.attr[i] = a.attr[i] + (b.attr[i] - a.attr[i]) * t;
}

} // namespace

void to_homogeneous_screen(const ClipVertex& in, int attribute_count, ClipVertex& out) {
    const float rhw = in.pos[3];
    // A vertex without a usable 1/w is clipped as if it were at w = 1.
    const float w = rhw > 0.f && std::isfinite(1.f / rhw) ? 1.f / rhw : 1.f;
    out.pos[0] = in.pos[0] * w;
    out.pos[1] = in.pos[1] * w;
    out.pos[2] = in.pos[2] * w;
    out.pos[3] = w;
    out.point_size = in.point_size;
    std::copy(in.clip_dist, in.clip_dist + max_clip_planes, out.clip_dist);
    std::copy(in.attr, in.attr + attribute_count, out.attr);
}

void Clipper::set_guard_band(float guard_x, float guard_y) {
    guard_x_ = guard_x;
    guard_y_ = guard_y;
    screen_ = false;
}

void Clipper::set_screen_guard_band(float x0, float y0, float x1, float y1) {
    screen_guard_[0] = x0, screen_guard_[1] = y0, screen_guard_[2] = x1, screen_guard_[3] = y1;
    screen_ = true;
}

float Clipper::distance(int plane, const ClipVertex& v) const {
    const float* p = v.pos;
    if (plane >= fixed_planes) return v.clip_dist[plane - fixed_planes];
    if (screen_) {
        switch (plane) {
        case 2:
            return p[3] - min_w;
        case 3:
            return p[0] - screen_guard_[0] * p[3];
        case 4:
            return screen_guard_[2] * p[3] - p[0];
        case 5:
            return p[1] - screen_guard_[1] * p[3];
        case 6:
            return screen_guard_[3] * p[3] - p[1];
        default:
            return 1.f; // pre-transformed depth is not clipped
        }
    }
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

unsigned Clipper::outcode(const ClipVertex& v) const {
    unsigned code = 0;
    for (int i = 0; i < fixed_planes; ++i)
        if (!(distance(i, v) >= 0.f)) code |= 1u << i;
    if (!screen_)
        for (int i = 0; i < max_clip_planes; ++i)
            if ((user_planes_ >> i) & 1u && !(v.clip_dist[i] >= 0.f)) code |= 1u << (fixed_planes + i);
    return code;
}

int Clipper::clip(const ClipVertex* const* in, int n, int attribute_count, ClipVertex* out,
                  bool* edges) const {
    // Ping-pong between two scratch polygons; each plane adds at most one vertex.
    ClipVertex buffers[2][max_clip_vertices];
    bool flags[2][max_clip_vertices];
    const ClipVertex* src[max_clip_vertices];
    bool src_edges[max_clip_vertices];
    for (int i = 0; i < n; ++i)
        src[i] = in[i], src_edges[i] = true;
    int count = n;
    int which = 0;
    unsigned all = 0;
    for (int i = 0; i < n; ++i)
        all |= outcode(*in[i]);
    for (int plane = 0; plane < plane_count && count > 0; ++plane) {
        if (!(all & (1u << plane))) continue;
        ClipVertex* dst = buffers[which];
        bool* dst_edges = flags[which];
        int out_count = 0;
        for (int i = 0; i < count; ++i) {
            const ClipVertex& a = *src[i];
            const ClipVertex& b = *src[(i + 1) % count];
            const float da = distance(plane, a), db = distance(plane, b);
            if (da >= 0.f && out_count < max_clip_vertices) {
                dst_edges[out_count] = src_edges[i];
                dst[out_count++] = a;
            }
            if ((da >= 0.f) != (db >= 0.f) && out_count < max_clip_vertices) {
                // Leaving the plane starts an edge along it; entering continues the input edge.
                dst_edges[out_count] = da >= 0.f ? false : src_edges[i];
                lerp_vertex(a, b, da / (da - db), attribute_count, dst[out_count++]);
            }
        }
        for (int i = 0; i < out_count; ++i)
            src[i] = &dst[i], src_edges[i] = dst_edges[i];
        count = out_count < 3 ? 0 : out_count;
        which ^= 1;
    }
    for (int i = 0; i < count; ++i) {
        out[i] = *src[i];
        if (edges) edges[i] = src_edges[i];
    }
    return count;
}

bool Clipper::clip_line(const ClipVertex& a, const ClipVertex& b, int attribute_count, ClipVertex& out_a,
                        ClipVertex& out_b) const {
    float t0 = 0.f, t1 = 1.f;
    const unsigned planes = outcode(a) | outcode(b);
    for (int plane = 0; plane < plane_count; ++plane) {
        if (!(planes & (1u << plane))) continue;
        const float da = distance(plane, a), db = distance(plane, b);
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
