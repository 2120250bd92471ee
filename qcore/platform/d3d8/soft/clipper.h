#pragma once
// Clipping of polygons in homogeneous clip space: the near and far planes exactly, x and y against a guard
// band well outside the viewport so that only huge primitives are cut there.
#include <qcore/platform/d3d8/soft/vertex_transform.h>

namespace qcore::detail::soft {

constexpr int max_clip_vertices = 3 + 8;

class Clipper {
public:
    // guard_x/guard_y: half-extent of the guard band in normalised device units (>= 1).
    void set_guard_band(float guard_x, float guard_y);

    // Outcode bits of a vertex against all planes; 0 means inside.
    unsigned outcode(const float* pos) const;

    // Clips the polygon in[0..n) (attribute_count values each) into out; returns the vertex count, 0
    // when nothing remains.
    int clip(const ClipVertex* const* in, int n, int attribute_count, ClipVertex* out) const;

    // The same for a line segment; returns false when nothing remains.
    bool clip_line(const ClipVertex& a, const ClipVertex& b, int attribute_count, ClipVertex& out_a,
                   ClipVertex& out_b) const;

private:
    float distance(int plane, const float* pos) const;
    float guard_x_ = 1.f, guard_y_ = 1.f;
};

} // namespace qcore::detail::soft
