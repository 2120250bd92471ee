#include <qcore/geom/box.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace {

constexpr float inf = std::numeric_limits<float>::infinity();

// Entry and exit parameters of one slab, ordered by the sign of the reciprocal. A ray parallel to the slab
// has an infinite reciprocal; when its origin lies on one of the planes, 0 · ∞ would give NaN, and the
// border counts as inside the slab instead. A NaN origin or direction misses.
bool slab(float mn, float mx, float o, float inv, float& t0, float& t1) {
    t0 = (mn - o) * inv;
    t1 = (mx - o) * inv;
    if (inv < 0.0f) std::swap(t0, t1);
    if (std::isnan(t0) || std::isnan(t1)) [[unlikely]] {
        if (std::isnan(o) || std::isnan(inv) || o < mn || o > mx) return false;
        if (std::isnan(t0)) t0 = -inf;
        if (std::isnan(t1)) t1 = inf;
    }
    return true;
}

float axis_of(const VEC& v, int axis) {
    return axis == 0 ? v.x : axis == 1 ? v.y : v.z;
}

} // namespace

VEC CBox::get_corner(int i) const {
    if (i < 0 || i > 7) return VEC(0, 0, 0);
    return VEC(i & 1 ? max.x : min.x, i & 2 ? max.y : min.y, i & 4 ? max.z : min.z);
}

float CBox::get_len(int axis) const {
    if (axis < 0 || axis > 2) return 0.0f;
    return axis_of(max, axis) - axis_of(min, axis);
}

float CBox::get_average_len() const {
    if (!is_valid()) return 1.0f;
    return (get_x_len() + get_y_len() + get_z_len()) * 0.33333334f;
}

float CBox::get_max_len() const {
    return std::max({get_x_len(), get_y_len(), get_z_len()});
}

float CBox::get_min_len() const {
    return std::min({get_x_len(), get_y_len(), get_z_len()});
}

float CBox::GetNearDist(const VEC& p) const {
    // Per axis the distance beyond the nearer face, 0 inside the slab: one face, an edge line or a corner
    // depending on how many axes are outside.
    const auto out = [](float v, float lo, float hi) { return v < lo ? lo - v : v > hi ? v - hi : 0.0f; };
    return VEC(out(p.x, min.x, max.x), out(p.y, min.y, max.y), out(p.z, min.z, max.z)).len();
}

float CBox::GetFarDist(const VEC& p) const {
    const auto far = [](float v, float lo, float hi) {
        return std::max(std::fabs(v - lo), std::fabs(v - hi));
    };
    return VEC(far(p.x, min.x, max.x), far(p.y, min.y, max.y), far(p.z, min.z, max.z)).len();
}

CBox& CBox::operator+=(const VEC& p) {
    min = VEC(std::min(min.x, p.x), std::min(min.y, p.y), std::min(min.z, p.z));
    max = VEC(std::max(max.x, p.x), std::max(max.y, p.y), std::max(max.z, p.z));
    return *this;
}

CBox& CBox::operator+=(const CBox& o) {
    if (!o.is_valid()) return *this;
    *this += o.min;
    return *this += o.max;
}

void CBox::transf_self(const MAT& m) {
    if (!is_valid()) return;
    CBox r;
    for (int i = 0; i < 8; ++i)
        r += get_corner(i).get_vertex_transf(m);
    *this = r;
}

CBox CBox::get_split_box(const VEC& split, int octant) const {
    if (octant < 0 || octant > 7) return *this;
    CBox r = *this;
    (octant & 1 ? r.min.x : r.max.x) = split.x;
    (octant & 2 ? r.min.y : r.max.y) = split.y;
    (octant & 4 ? r.min.z : r.max.z) = split.z;
    return r;
}

int CBox::int_with_box(const CBox& o) const {
    const VEC d = center() - o.center();
    return std::fabs(d.x) <= (get_x_len() + o.get_x_len()) * 0.5f &&
           std::fabs(d.y) <= (get_y_len() + o.get_y_len()) * 0.5f &&
           std::fabs(d.z) <= (get_z_len() + o.get_z_len()) * 0.5f;
}

int CBox::triangle_test(const VEC& a, const VEC& b, const VEC& c) const {
    const int ca = get_position_code(a), cb = get_position_code(b), cc = get_position_code(c);
    if (ca == inside_code || cb == inside_code || cc == inside_code) return 1;
    return ((ca ^ inside_code) & (cb ^ inside_code) & (cc ^ inside_code)) == 0;
}

bool CBox::ray_interval(const CRayForBox& r, float& tnear, float& tfar) const {
    float tmin, tmax, tymin, tymax, tzmin, tzmax;
    if (!slab(min.x, max.x, r.origin.x, r.inv_dir.x, tmin, tmax)) return false;
    if (!slab(min.y, max.y, r.origin.y, r.inv_dir.y, tymin, tymax)) return false;
    if (tmin > tymax || tymin > tmax) return false;
    tmin = std::max(tmin, tymin);
    tmax = std::min(tmax, tymax);
    if (!slab(min.z, max.z, r.origin.z, r.inv_dir.z, tzmin, tzmax)) return false;
    if (tmin > tzmax || tzmin > tmax) return false;
    tnear = std::max(tmin, tzmin);
    tfar = std::min(tmax, tzmax);
    return true;
}

int CBox::ray_box_test(const CRayForBox& r) const {
    float tnear, tfar;
    return ray_interval(r, tnear, tfar) && tnear < big && tfar > 0.0f;
}

int CBox::line_box_test(const CRayForBox& r, float t0, float t1) const {
    float tnear, tfar;
    return ray_interval(r, tnear, tfar) && tnear < t1 && t0 < tfar;
}

CBox CBox::create_box(const std::vector<VEC>* points, bool cube) {
    if (!points || points->empty()) return CBox(VEC(0, 0, 0), VEC(0, 0, 0));
    CBox tight;
    for (const VEC& p : *points)
        tight += p;
    if (!cube) return tight;
    return CBox(tight.center(), tight.get_max_len() * 0.5f);
}

bool tri_box_int(const CBox* box, const VEC* a, const VEC* b, const VEC* c) {
    const VEC m = box->center(), h = box->max - m;
    const VEC v[3] = {*a - m, *b - m, *c - m};
    const VEC e[3] = {v[1] - v[0], v[2] - v[1], v[0] - v[2]};

    // Edge × axis: for edge k the start vertex k projects like its end, so vertex k and the opposite vertex
    // give the whole interval.
    const auto separated = [&h](const VEC& axis, const VEC& p, const VEC& q) {
        const float pa = axis.dot(p), pb = axis.dot(q);
        const float rad = h.x * std::fabs(axis.x) + h.y * std::fabs(axis.y) + h.z * std::fabs(axis.z);
        return std::min(pa, pb) > rad || std::max(pa, pb) < -rad;
    };
    for (int k = 0; k < 3; ++k) {
        const VEC& ek = e[k];
        const VEC& p = v[k];
        const VEC& q = v[(k + 2) % 3];
        if (separated(VEC(0, ek.z, -ek.y), p, q) || separated(VEC(-ek.z, 0, ek.x), p, q) ||
            separated(VEC(ek.y, -ek.x, 0), p, q))
            return false;
    }

    for (int axis = 0; axis < 3; ++axis) {
        const float p0 = axis_of(v[0], axis), p1 = axis_of(v[1], axis), p2 = axis_of(v[2], axis);
        const float half = axis_of(h, axis);
        if (std::min({p0, p1, p2}) > half || std::max({p0, p1, p2}) < -half) return false;
    }

    const VEC n = e[0].cross(e[1]);
    const float d = -n.dot(v[0]);
    VEC vmin, vmax;
    for (int axis = 0; axis < 3; ++axis) {
        const float half = axis_of(h, axis);
        float& lo = axis == 0 ? vmin.x : axis == 1 ? vmin.y : vmin.z;
        float& hi = axis == 0 ? vmax.x : axis == 1 ? vmax.y : vmax.z;
        lo = axis_of(n, axis) > 0.0f ? -half : half;
        hi = -lo;
    }
    if (n.dot(vmin) + d > 0.0f) return false;
    return n.dot(vmax) + d >= 0.0f;
}
