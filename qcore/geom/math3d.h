#pragma once
// The value types of positions, directions, transforms and planes. They share the extension
// library's layouts so that arrays of them go to the device and to the math functions as they are.
// Row vectors: a point p is transformed by M as p × M, and A × B applies A first.
#include <qcore/geom/mathfun.h>
#include <qcore/platform/d3d8/d3dx/d3dx8math.h>
#include <qcore/platform/win32/types.h>

#include <type_traits>

class VEC : public D3DXVECTOR3 {
public:
    VEC() = default;
    VEC(const D3DXVECTOR3& v) : D3DXVECTOR3(v) {}
    VEC(const D3DVECTOR& v) : D3DXVECTOR3(v) {}
    VEC(float x_, float y_, float z_) : D3DXVECTOR3(x_, y_, z_) {}
    VEC(const VEC&) = default;
    VEC& operator=(const VEC&) = default;

    VEC& operator=(const tagPOINT& p) {
        x = static_cast<float>(p.x);
        y = static_cast<float>(p.y);
        z = 0.0f;
        return *this;
    }
    // x and y rounded half away from zero; z is dropped.
    operator tagPOINT() const;

    VEC& operator+=(const VEC& v) { return *this = *this + v; }
    VEC& operator-=(const VEC& v) { return *this = *this - v; }
    VEC& operator*=(const VEC& v) { return *this = *this * v; }
    VEC& operator/=(const VEC& v) { return *this = *this / v; }
    VEC& operator*=(float f) { return *this = *this * f; }
    VEC& operator/=(float f) { return *this = VEC(x / f, y / f, z / f); }

    VEC operator+(const VEC& v) const { return {x + v.x, y + v.y, z + v.z}; }
    VEC operator-(const VEC& v) const { return {x - v.x, y - v.y, z - v.z}; }
    VEC operator*(const VEC& v) const { return {x * v.x, y * v.y, z * v.z}; }
    VEC operator/(const VEC& v) const { return {x / v.x, y / v.y, z / v.z}; }
    VEC operator*(float f) const { return {x * f, y * f, z * f}; }
    VEC operator/(float f) const { return *this * (1.0f / f); }
    VEC operator-() const { return {-x, -y, -z}; }

    float lensq() const { return x * x + y * y + z * z; }
    float len() const { return std::sqrt(lensq()); }
    float dot(const VEC& v) const { return x * v.x + y * v.y + z * v.z; }
    VEC cross(const VEC& v) const { return {y * v.z - z * v.y, z * v.x - x * v.z, x * v.y - y * v.x}; }
    int is_zero() const { return x == 0.0f && y == 0.0f && z == 0.0f; }
    void zero() { x = y = z = 0.0f; }
    // Strictly positive dot product: perpendicular vectors do not count.
    int is_same_direction(const VEC& v) const { return dot(v) > 0.0f; }
    float get_angle_cos(const VEC& v) const { return dot(v) / (len() * v.len()); }
    float get_angle_in_radian(const VEC& v) const { return qcore::detail::clamped_acos(get_angle_cos(v)); }

    // The point transformed by m, divided by w unless w is exactly 1.
    VEC get_vertex_transf(const D3DMATRIX& m) const {
        qcore::detail::float4v r = qcore::detail::transform_point(*this, m);
        if (r[3] != 1.0f) r *= 1.0f / r[3];
        return {r[0], r[1], r[2]};
    }
    void transf_self(const D3DMATRIX& m) { *this = get_vertex_transf(m); }
    // Times the upper-left 3×3 block only: no translation, divide or renormalisation.
    VEC get_normal_transf(const D3DMATRIX& m) const {
        const qcore::detail::float4v r = qcore::detail::transform_normal(*this, m);
        return {r[0], r[1], r[2]};
    }
    void transf_normal_self(const D3DMATRIX& m) { *this = get_normal_transf(m); }

    int is_coincide(const VEC& v, float eps) const {
        return std::fabs(x - v.x) < eps && std::fabs(y - v.y) < eps && std::fabs(z - v.z) < eps;
    }
    // Equal, or less than one degree apart; opposite directions are not parallel.
    int is_parallel(const VEC& v) const;
    int is_normalized(float eps) const { return IsEqual(len(), 1.0f, eps); }
    int is_identity() const { return is_normalized(0.001f); }
    // Vectors shorter than the smallest normal float are left as they are.
    void normalize_self() {
        const float l = len();
        if (l > 1.1754944e-38f) *this *= 1.0f / l;
    }
    VEC get_normalize() const {
        VEC r = *this;
        r.normalize_self();
        return r;
    }
    // Whether this point, taken to lie in the triangle's plane, is inside the triangle.
    int is_in_polygon(const VEC& a, const VEC& b, const VEC& c) const;
    VEC get_closest_pt_on_line(const VEC& a, const VEC& b) const;
    // The closest point on the triangle's edges; on a tie the earlier of a–b, b–c, c–a wins.
    VEC get_closest_pt_on_polygon_edge(const VEC& a, const VEC& b, const VEC& c) const;
};

class QUAT : public D3DXQUATERNION {
public:
    QUAT() = default;
    QUAT(const D3DXQUATERNION& q) : D3DXQUATERNION(q) {}
    QUAT(float x_, float y_, float z_, float w_) : D3DXQUATERNION(x_, y_, z_, w_) {}
    QUAT(const QUAT&) = default;
    QUAT& operator=(const QUAT&) = default;

    void make_identity() { *this = QUAT(0, 0, 0, 1); }
    // This = the spherical blend from a (t = 0) to b (t = 1).
    void slerp(float t, const QUAT& a, const QUAT& b) { D3DXQuaternionSlerp(this, &a, &b, t); }
};

class MAT : public D3DXMATRIX {
public:
    MAT() = default;
    MAT(const D3DMATRIX& m) : D3DXMATRIX(m) {}
    MAT(const float* p) : D3DXMATRIX(p) {}
    MAT(float f11, float f12, float f13, float f14, float f21, float f22, float f23, float f24, float f31,
        float f32, float f33, float f34, float f41, float f42, float f43, float f44)
        : D3DXMATRIX(f11, f12, f13, f14, f21, f22, f23, f24, f31, f32, f33, f34, f41, f42, f43, f44) {}
    MAT(const MAT&) = default;
    MAT& operator=(const MAT&) = default;

    using D3DXMATRIX::operator*;
    MAT operator*(const MAT& m) const {
        MAT r;
        D3DXMatrixMultiply(&r, this, &m);
        return r;
    }
    // A singular matrix has no inverse: get_inverse then returns a copy and inverse_self changes nothing.
    MAT get_inverse() const {
        MAT r = *this;
        D3DXMatrixInverse(&r, nullptr, this);
        return r;
    }
    void inverse_self() { D3DXMatrixInverse(this, nullptr, this); }

    static MAT get_pan_matrix(const VEC& t) { return get_pan_matrix(t.x, t.y, t.z); }
    static MAT get_pan_matrix(float x, float y, float z);
    static MAT get_scaling_matrix(float sx, float sy, float sz);
    // Scaling about centre.
    static MAT get_scaling_matrix(float sx, float sy, float sz, const VEC& centre);
    // Rotation by angle about the line through centre along axis.
    static MAT get_rotation_matrix(const VEC& centre, const VEC& axis, float angle);
    // The rotation about centre that turns direction from into direction to.
    static MAT get_rotation_matrix(const VEC& centre, const VEC& from, const VEC& to);
    static MAT get_matrix_from_quat(const QUAT& q);
    // Maps world points into the frame with this origin and these (normalised, not orthogonalised) axes.
    static MAT get_custom_to_stand_matrix(const VEC& origin, const VEC& xaxis, const VEC& yaxis,
                                          const VEC& zaxis);
    // 1 when the matrix mirrors: the transformed x and y axes no longer span a right turn onto z.
    int have_flip() const;
};

// The points p with n·p + d = 0.
class plane {
public:
    VEC n;
    float d;

    plane() : n(0, 0, 0), d(0) {}
    plane(const VEC& normal, float dist) : n(normal), d(dist) {}
    plane(const plane&) = default;
    int operator=(const plane& p) {
        n = p.n;
        d = p.d;
        return 1;
    }

    // n·p + d, not divided by |n|.
    float signed_dist_to(const VEC& p) const { return n.dot(p) + d; }
    float dist_to_point(const VEC& p) const { return signed_dist_to(p); }
    // -1, 0 or 1 by the sign of n·v, with a dead band of ±0.001; d plays no part.
    int get_relation(const VEC& v) const;
    // 1 when a viewer looking along v sees the plane's front.
    int is_front_face_to(const VEC& v) const { return n.dot(v) <= 0.001f; }
    // Normal (b − a) × (c − a), normalised: counter-clockwise points seen from the front.
    void build_from_points(const VEC& a, const VEC& b, const VEC& c);
    void build_from_point_normal(const VEC& p, const VEC& normal) {
        n = normal;
        d = -normal.dot(p);
    }
    void build_from_normal_dist(const VEC& normal, float dist) {
        n = normal;
        d = dist;
    }
    void normalize();
    // Where the segment start … start + delta crosses the plane through q with this normal. The
    // start point never counts, the end point does.
    int segment_int(const VEC& start, const VEC& delta, const VEC& q, VEC& out) const;
};

class sphere {
public:
    VEC centre;
    float radius;

    sphere() = default;
    sphere(const VEC& c, float r) : centre(c), radius(r) {}
    sphere(const sphere&) = default;
    sphere& operator=(const sphere&) = default;
};

// Four floats in a row: colours and other quadruples.
class float4 {
public:
    float v[4];

    float4() : v{0, 0, 0, 0} {}
    float4(float a, float b, float c, float d) : v{a, b, c, d} {}

    float& operator[](int i) { return v[i]; }
    float operator[](int i) const { return v[i]; }
    void set_all(float value) { v[0] = v[1] = v[2] = v[3] = value; }
    int is_same(const float4& o) const {
        return v[0] == o.v[0] && v[1] == o.v[1] && v[2] == o.v[2] && v[3] == o.v[3];
    }
};

static_assert(sizeof(VEC) == sizeof(D3DXVECTOR3) && sizeof(MAT) == sizeof(D3DXMATRIX));
static_assert(sizeof(QUAT) == sizeof(D3DXQUATERNION) && sizeof(plane) == sizeof(D3DXPLANE));
static_assert(sizeof(sphere) == 16 && sizeof(float4) == 16);
static_assert(std::is_standard_layout_v<VEC> && std::is_standard_layout_v<MAT> &&
              std::is_standard_layout_v<QUAT>);
static_assert(std::is_trivially_copyable_v<VEC> && std::is_trivially_copyable_v<MAT> &&
              std::is_trivially_copyable_v<float4>);
