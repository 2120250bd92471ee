#pragma once
// Clipping of polygons in homogeneous clip space: the near and far planes exactly, x and y against a guard
// band well outside the viewport so that only huge primitives are cut there, and the enabled user planes
// (each vertex carries its distance to them). Pre-transformed vertices are clipped in homogeneous screen
// space (x/rhw, y/rhw, z/rhw, 1/rhw) against the guard band only.
#include <qcore/platform/d3d8/soft/vertex_transform.h>

namespace qcore::detail::soft {

constexpr int max_clip_vertices = 3 + 8 + max_clip_planes;

class Clipper {
public:
    // guard_x/guard_y: half-extent of the guard band in normalised device units (>= 1).
    void set_guard_band(float guard_x, float guard_y);
    // The guard band of pre-transformed vertices in pixels; switches to homogeneous screen space.
    void set_screen_guard_band(float x0, float y0, float x1, float y1);
    // Bit n: user plane n is enabled.
    void set_user_planes(uint32_t mask) { user_planes_ = mask & ((1u << max_clip_planes) - 1); }

    // Outcode bits of a vertex against all planes; 0 means inside.
    unsigned outcode(const ClipVertex& v) const;

    // Clips the polygon in[0..n) (attribute_count values each) into out; returns the vertex count, 0
    // when nothing remains. edges[i] tells whether out[i]..out[i+1] lies on an edge of the input polygon
    // rather than along a clip plane.
    int clip(const ClipVertex* const* in, int n, int attribute_count, ClipVertex* out,
             bool* edges = nullptr) const;

    // The same for a line segment; returns false when nothing remains.
    bool clip_line(const ClipVertex& a, const ClipVertex& b, int attribute_count, ClipVertex& out_a,
                   ClipVertex& out_b) const;

private:
    float distance(int plane, const ClipVertex& v) const;
    float guard_x_ = 1.f, guard_y_ = 1.f;
    bool screen_ = false;
    float screen_guard_[4] = {}; // x0, y0, x1, y1
    uint32_t user_planes_ = 0;
};

// A pre-transformed vertex (x, y, z, rhw) in the homogeneous screen space its clipping works in.
void to_homogeneous_screen(const ClipVertex& in, int attribute_count, ClipVertex& out);

} // namespace qcore::detail::soft
