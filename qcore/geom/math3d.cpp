#include <qcore/geom/math3d.h>

VEC::operator tagPOINT() const {
    // Half away from zero, computed in double as the classic (int)(v + 0.5) idiom does.
    auto round = [](float v) { return qcore::detail::trunc_to_int(v > 0.0f ? v + 0.5 : v - 0.5); };
    return tagPOINT{round(x), round(y)};
}

int VEC::is_parallel(const VEC& v) const {
    if (x == v.x && y == v.y && z == v.z) return 1;
    static const float cos_one_degree = std::cos(0.017453292f);
    return get_angle_cos(v) > cos_one_degree;
}

int VEC::is_in_polygon(const VEC& a, const VEC& b, const VEC& c) const {
    const VEC u1 = (*this - a).get_normalize(), u2 = (*this - b).get_normalize(),
              u3 = (*this - c).get_normalize();
    using qcore::detail::clamped_acos;
    const float sum = clamped_acos(u1.dot(u2)) + clamped_acos(u2.dot(u3)) + clamped_acos(u3.dot(u1));
    return std::fabs(sum - 6.28318f) < 0.001f;
}

VEC VEC::get_closest_pt_on_line(const VEC& a, const VEC& b) const {
    const VEC v = *this - a;
    VEC e = b - a;
    const float length = e.len();
    if (length != 0.0f) e /= length;
    const float t = e.dot(v);
    if (t <= 0.0f) return a;
    if (t >= length) return b;
    return a + e * t;
}

VEC VEC::get_closest_pt_on_polygon_edge(const VEC& a, const VEC& b, const VEC& c) const {
    const VEC candidates[3] = {get_closest_pt_on_line(a, b), get_closest_pt_on_line(b, c),
                               get_closest_pt_on_line(c, a)};
    int best = 0;
    float best_dist = (candidates[0] - *this).lensq();
    for (int i = 1; i < 3; ++i) {
        const float dist = (candidates[i] - *this).lensq();
        if (dist < best_dist) {
            best = i;
            best_dist = dist;
        }
    }
    return candidates[best];
}

MAT MAT::get_pan_matrix(float x, float y, float z) {
    MAT r;
    D3DXMatrixTranslation(&r, x, y, z);
    return r;
}

MAT MAT::get_scaling_matrix(float sx, float sy, float sz) {
    MAT r;
    D3DXMatrixScaling(&r, sx, sy, sz);
    return r;
}

MAT MAT::get_scaling_matrix(float sx, float sy, float sz, const VEC& centre) {
    return get_pan_matrix(-centre) * get_scaling_matrix(sx, sy, sz) * get_pan_matrix(centre);
}

MAT MAT::get_rotation_matrix(const VEC& centre, const VEC& axis, float angle) {
    MAT r;
    D3DXMatrixRotationAxis(&r, &axis, angle);
    return get_pan_matrix(-centre) * r * get_pan_matrix(centre);
}

MAT MAT::get_rotation_matrix(const VEC& centre, const VEC& from, const VEC& to) {
    return get_rotation_matrix(centre, from.cross(to), from.get_angle_in_radian(to));
}

MAT MAT::get_matrix_from_quat(const QUAT& q) {
    MAT r;
    D3DXMatrixRotationQuaternion(&r, &q);
    return r;
}

MAT MAT::get_custom_to_stand_matrix(const VEC& origin, const VEC& xaxis, const VEC& yaxis, const VEC& zaxis) {
    const VEC x = xaxis.get_normalize(), y = yaxis.get_normalize(), z = zaxis.get_normalize();
    const MAT basis(x.x, y.x, z.x, 0, x.y, y.y, z.y, 0, x.z, y.z, z.z, 0, 0, 0, 0, 1);
    return get_pan_matrix(-origin) * basis;
}

int MAT::have_flip() const {
    const VEC x = VEC(1, 0, 0).get_normal_transf(*this), y = VEC(0, 1, 0).get_normal_transf(*this),
              z = VEC(0, 0, 1).get_normal_transf(*this);
    return x.cross(y).is_same_direction(z) ? 0 : 1;
}

int plane::get_relation(const VEC& v) const {
    const float side = n.dot(v);
    if (side < -0.001f) return -1;
    if (side > 0.001f) return 1;
    return 0;
}

void plane::build_from_points(const VEC& a, const VEC& b, const VEC& c) {
    n = (b - a).cross(c - a);
    n.normalize_self();
    d = -n.dot(a);
}

void plane::normalize() {
    const float length = n.len();
    n /= length;
    d /= length;
}

int plane::segment_int(const VEC& start, const VEC& delta, const VEC& q, VEC& out) const {
    const float along = n.dot(delta);
    if (IsEqual(along, 0.0f, 0.001f)) return 0;
    const float t = n.dot(q - start) / along;
    // Written so that a NaN parameter is no hit either.
    if (!(t > 0.0f && t <= 1.0f)) return 0;
    out = start + delta * t;
    return 1;
}
