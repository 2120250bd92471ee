#pragma once
// Axis-aligned boxes. The invalid (empty) box has min = +FLT_MAX and max = -FLT_MAX on every axis, so that
// growing it by a point or a box gives exactly that point or box.
//
// Corner i takes max.x when bit 0 is set (else min.x), max.y for bit 1 and max.z for bit 2. The position
// code of a point has two bits per axis: 0 below, 1 inside (borders included), 3 above; 21 is inside, and
// code ^ 21 has one bit per face plane the point lies outside of.
#include <qcore/geom/math3d.h>
#include <qcore/geom/ray.h>

#include <vector>

class CBox {
public:
    VEC min;
    VEC max;

    static constexpr float big = 3.4028235e38f;
    static constexpr int inside_code = 21;

    CBox() { set_invalid(); }
    CBox(const VEC& mn, const VEC& mx) : min(mn), max(mx) {}
    // The cube of that half-size around centre.
    CBox(const VEC& centre, float half)
        : min(centre.x - half, centre.y - half, centre.z - half),
          max(centre.x + half, centre.y + half, centre.z + half) {}
    CBox(const CBox&) = default;
    int operator=(const CBox& o) {
        min = o.min;
        max = o.max;
        return 1;
    }

    void set_min(const VEC& v) { min = v; }
    void set_max(const VEC& v) { max = v; }
    void set_invalid() {
        min = VEC(big, big, big);
        max = VEC(-big, -big, -big);
    }
    int is_valid() const { return min.x <= max.x && min.y <= max.y && min.z <= max.z; }

    VEC center() const { return (min + max) * 0.5f; }
    int is_pt_inside(const VEC& p) const {
        return p.x >= min.x && p.x <= max.x && p.y >= min.y && p.y <= max.y && p.z >= min.z && p.z <= max.z;
    }
    int get_position_code(const VEC& p) const {
        return (p.x >= min.x) | (p.x > max.x) << 1 | (p.y >= min.y) << 2 | (p.y > max.y) << 3 |
               (p.z >= min.z) << 4 | (p.z > max.z) << 5;
    }
    // (0, 0, 0) for an index outside 0 … 7.
    VEC get_corner(int i) const;

    float get_len(int axis) const;
    float get_x_len() const { return max.x - min.x; }
    float get_y_len() const { return max.y - min.y; }
    float get_z_len() const { return max.z - min.z; }
    // The mean extent; 1 for an invalid box.
    float get_average_len() const;
    float get_max_len() const;
    float get_min_len() const;
    // Half the diagonal.
    float get_radius() const { return (max - min).len() * 0.5f; }
    // Euclidean distance from p to the box, 0 inside.
    float GetNearDist(const VEC& p) const;
    // Distance from p to the farthest corner.
    float GetFarDist(const VEC& p) const;

    CBox operator+(const VEC& p) const {
        CBox r = *this;
        r += p;
        return r;
    }
    CBox& operator+=(const VEC& p);
    // The union; an invalid operand adds nothing.
    CBox operator+(const CBox& o) const {
        CBox r = *this;
        r += o;
        return r;
    }
    CBox& operator+=(const CBox& o);

    // The bounds of the eight transformed corners; an invalid box stays as it is.
    CBox get_transf(const MAT& m) const {
        CBox r = *this;
        r.transf_self(m);
        return r;
    }
    void transf_self(const MAT& m);

    // Octant i of the box cut at split (bits as for the corners); the whole box outside 0 … 7.
    CBox get_split_box(const VEC& split, int octant) const;

    // 1 when the boxes overlap or touch.
    int int_with_box(const CBox& o) const;
    // 0 only when all three vertices lie beyond one face plane; 1 means the triangle may meet the box.
    int triangle_test(const VEC& a, const VEC& b, const VEC& c) const;
    // Slab test: 1 when the box lies ahead of the origin or contains it. An axis-parallel ray whose origin
    // lies on a slab plane counts as inside that slab (borders are part of the box).
    int ray_box_test(const CRayForBox& r) const;
    // Slab test of the ray parameter interval (t0, t1): 1 when it overlaps the box's interval, both
    // comparisons strict.
    int line_box_test(const CRayForBox& r, float t0, float t1) const;

    // The bounds of the points, or their bounding cube when cube is true; the zero box for an empty list
    // or a null pointer.
    static CBox create_box(const std::vector<VEC>* points, bool cube);

    // Entry and exit parameters of the ray through the three slabs (the steps both tests above share);
    // false when the slabs do not overlap.
    bool ray_interval(const CRayForBox& r, float& tnear, float& tfar) const;
};

// Exact triangle-box overlap by separating axes; touching counts as overlap.
bool tri_box_int(const CBox* box, const VEC* a, const VEC* b, const VEC* c);
