#pragma once
// The extension library's math: vector, matrix, quaternion, plane and colour records with their
// operators, and the left-handed, row-vector math functions. Cheap functions are inline; the rest
// live in d3dx8math.cpp.
#include <qcore/platform/d3d8/d3d8_types.h>

#include <cmath>
#include <cstring>

#define D3DX_PI ((FLOAT)3.141592654f)
#define D3DX_1BYPI ((FLOAT)0.318309886f)
#define D3DXToRadian(degree) ((degree) * (D3DX_PI / 180.0f))
#define D3DXToDegree(radian) ((radian) * (180.0f / D3DX_PI))

typedef struct D3DXVECTOR2 {
    FLOAT x, y;

    D3DXVECTOR2() = default;
    D3DXVECTOR2(const FLOAT* p) : x(p[0]), y(p[1]) {}
    D3DXVECTOR2(FLOAT x_, FLOAT y_) : x(x_), y(y_) {}

    operator FLOAT*() { return &x; }
    operator const FLOAT*() const { return &x; }

    D3DXVECTOR2& operator+=(const D3DXVECTOR2& v) { return *this = *this + v; }
    D3DXVECTOR2& operator-=(const D3DXVECTOR2& v) { return *this = *this - v; }
    D3DXVECTOR2& operator*=(FLOAT f) { return *this = *this * f; }
    D3DXVECTOR2& operator/=(FLOAT f) { return *this = *this / f; }

    D3DXVECTOR2 operator+() const { return *this; }
    D3DXVECTOR2 operator-() const { return {-x, -y}; }
    D3DXVECTOR2 operator+(const D3DXVECTOR2& v) const { return {x + v.x, y + v.y}; }
    D3DXVECTOR2 operator-(const D3DXVECTOR2& v) const { return {x - v.x, y - v.y}; }
    D3DXVECTOR2 operator*(FLOAT f) const { return {x * f, y * f}; }
    D3DXVECTOR2 operator/(FLOAT f) const { return *this * (1.0f / f); }
    friend D3DXVECTOR2 operator*(FLOAT f, const D3DXVECTOR2& v) { return v * f; }

    bool operator==(const D3DXVECTOR2& v) const { return x == v.x && y == v.y; }
    bool operator!=(const D3DXVECTOR2& v) const { return !(*this == v); }
} D3DXVECTOR2, *LPD3DXVECTOR2;

typedef struct D3DXVECTOR3 : public D3DVECTOR {
    D3DXVECTOR3() = default;
    D3DXVECTOR3(const FLOAT* p) : D3DVECTOR{p[0], p[1], p[2]} {}
    D3DXVECTOR3(const D3DVECTOR& v) : D3DVECTOR(v) {}
    D3DXVECTOR3(FLOAT x_, FLOAT y_, FLOAT z_) : D3DVECTOR{x_, y_, z_} {}

    operator FLOAT*() { return &x; }
    operator const FLOAT*() const { return &x; }

    D3DXVECTOR3& operator+=(const D3DXVECTOR3& v) { return *this = *this + v; }
    D3DXVECTOR3& operator-=(const D3DXVECTOR3& v) { return *this = *this - v; }
    D3DXVECTOR3& operator*=(FLOAT f) { return *this = *this * f; }
    D3DXVECTOR3& operator/=(FLOAT f) { return *this = *this / f; }

    D3DXVECTOR3 operator+() const { return *this; }
    D3DXVECTOR3 operator-() const { return {-x, -y, -z}; }
    D3DXVECTOR3 operator+(const D3DXVECTOR3& v) const { return {x + v.x, y + v.y, z + v.z}; }
    D3DXVECTOR3 operator-(const D3DXVECTOR3& v) const { return {x - v.x, y - v.y, z - v.z}; }
    D3DXVECTOR3 operator*(FLOAT f) const { return {x * f, y * f, z * f}; }
    D3DXVECTOR3 operator/(FLOAT f) const { return *this * (1.0f / f); }
    friend D3DXVECTOR3 operator*(FLOAT f, const D3DXVECTOR3& v) { return v * f; }

    bool operator==(const D3DXVECTOR3& v) const { return x == v.x && y == v.y && z == v.z; }
    bool operator!=(const D3DXVECTOR3& v) const { return !(*this == v); }
} D3DXVECTOR3, *LPD3DXVECTOR3;

typedef struct D3DXVECTOR4 {
    FLOAT x, y, z, w;

    D3DXVECTOR4() = default;
    D3DXVECTOR4(const FLOAT* p) : x(p[0]), y(p[1]), z(p[2]), w(p[3]) {}
    D3DXVECTOR4(FLOAT x_, FLOAT y_, FLOAT z_, FLOAT w_) : x(x_), y(y_), z(z_), w(w_) {}

    operator FLOAT*() { return &x; }
    operator const FLOAT*() const { return &x; }

    D3DXVECTOR4& operator+=(const D3DXVECTOR4& v) { return *this = *this + v; }
    D3DXVECTOR4& operator-=(const D3DXVECTOR4& v) { return *this = *this - v; }
    D3DXVECTOR4& operator*=(FLOAT f) { return *this = *this * f; }
    D3DXVECTOR4& operator/=(FLOAT f) { return *this = *this / f; }

    D3DXVECTOR4 operator+() const { return *this; }
    D3DXVECTOR4 operator-() const { return {-x, -y, -z, -w}; }
    D3DXVECTOR4 operator+(const D3DXVECTOR4& v) const { return {x + v.x, y + v.y, z + v.z, w + v.w}; }
    D3DXVECTOR4 operator-(const D3DXVECTOR4& v) const { return {x - v.x, y - v.y, z - v.z, w - v.w}; }
    D3DXVECTOR4 operator*(FLOAT f) const { return {x * f, y * f, z * f, w * f}; }
    D3DXVECTOR4 operator/(FLOAT f) const { return *this * (1.0f / f); }
    friend D3DXVECTOR4 operator*(FLOAT f, const D3DXVECTOR4& v) { return v * f; }

    bool operator==(const D3DXVECTOR4& v) const { return x == v.x && y == v.y && z == v.z && w == v.w; }
    bool operator!=(const D3DXVECTOR4& v) const { return !(*this == v); }
} D3DXVECTOR4, *LPD3DXVECTOR4;

typedef struct D3DXMATRIX : public D3DMATRIX {
    D3DXMATRIX() = default;
    D3DXMATRIX(const FLOAT* p) { std::memcpy(m, p, sizeof(m)); }
    D3DXMATRIX(const D3DMATRIX& mat) : D3DMATRIX(mat) {}
    D3DXMATRIX(FLOAT f11, FLOAT f12, FLOAT f13, FLOAT f14, FLOAT f21, FLOAT f22, FLOAT f23, FLOAT f24,
               FLOAT f31, FLOAT f32, FLOAT f33, FLOAT f34, FLOAT f41, FLOAT f42, FLOAT f43, FLOAT f44) {
        const FLOAT v[16] = {f11, f12, f13, f14, f21, f22, f23, f24, f31, f32, f33, f34, f41, f42, f43, f44};
        std::memcpy(m, v, sizeof(m));
    }

    FLOAT& operator()(UINT row, UINT col) { return m[row][col]; }
    FLOAT operator()(UINT row, UINT col) const { return m[row][col]; }
    operator FLOAT*() { return &_11; }
    operator const FLOAT*() const { return &_11; }

    D3DXMATRIX& operator*=(const D3DXMATRIX& mat);
    D3DXMATRIX& operator+=(const D3DXMATRIX& mat) { return *this = *this + mat; }
    D3DXMATRIX& operator-=(const D3DXMATRIX& mat) { return *this = *this - mat; }
    D3DXMATRIX& operator*=(FLOAT f) { return *this = *this * f; }
    D3DXMATRIX& operator/=(FLOAT f) { return *this = *this / f; }

    D3DXMATRIX operator+() const { return *this; }
    D3DXMATRIX operator-() const { return *this * -1.0f; }
    D3DXMATRIX operator*(const D3DXMATRIX& mat) const;
    D3DXMATRIX operator+(const D3DXMATRIX& mat) const {
        D3DXMATRIX r;
        for (int i = 0; i < 16; ++i)
            (&r._11)[i] = (&_11)[i] + (&mat._11)[i];
        return r;
    }
    D3DXMATRIX operator-(const D3DXMATRIX& mat) const { return *this + -mat; }
    D3DXMATRIX operator*(FLOAT f) const {
        D3DXMATRIX r;
        for (int i = 0; i < 16; ++i)
            (&r._11)[i] = (&_11)[i] * f;
        return r;
    }
    D3DXMATRIX operator/(FLOAT f) const { return *this * (1.0f / f); }
    friend D3DXMATRIX operator*(FLOAT f, const D3DXMATRIX& mat) { return mat * f; }

    bool operator==(const D3DXMATRIX& mat) const {
        for (int i = 0; i < 16; ++i)
            if ((&_11)[i] != (&mat._11)[i]) return false;
        return true;
    }
    bool operator!=(const D3DXMATRIX& mat) const { return !(*this == mat); }
} D3DXMATRIX, *LPD3DXMATRIX;

typedef struct D3DXQUATERNION {
    FLOAT x, y, z, w;

    D3DXQUATERNION() = default;
    D3DXQUATERNION(const FLOAT* p) : x(p[0]), y(p[1]), z(p[2]), w(p[3]) {}
    D3DXQUATERNION(FLOAT x_, FLOAT y_, FLOAT z_, FLOAT w_) : x(x_), y(y_), z(z_), w(w_) {}

    operator FLOAT*() { return &x; }
    operator const FLOAT*() const { return &x; }

    D3DXQUATERNION& operator+=(const D3DXQUATERNION& q) { return *this = *this + q; }
    D3DXQUATERNION& operator-=(const D3DXQUATERNION& q) { return *this = *this - q; }
    D3DXQUATERNION& operator*=(const D3DXQUATERNION& q);
    D3DXQUATERNION& operator*=(FLOAT f) { return *this = *this * f; }
    D3DXQUATERNION& operator/=(FLOAT f) { return *this = *this / f; }

    D3DXQUATERNION operator+() const { return *this; }
    D3DXQUATERNION operator-() const { return {-x, -y, -z, -w}; }
    D3DXQUATERNION operator+(const D3DXQUATERNION& q) const { return {x + q.x, y + q.y, z + q.z, w + q.w}; }
    D3DXQUATERNION operator-(const D3DXQUATERNION& q) const { return {x - q.x, y - q.y, z - q.z, w - q.w}; }
    D3DXQUATERNION operator*(const D3DXQUATERNION& q) const;
    D3DXQUATERNION operator*(FLOAT f) const { return {x * f, y * f, z * f, w * f}; }
    D3DXQUATERNION operator/(FLOAT f) const { return *this * (1.0f / f); }
    friend D3DXQUATERNION operator*(FLOAT f, const D3DXQUATERNION& q) { return q * f; }

    bool operator==(const D3DXQUATERNION& q) const { return x == q.x && y == q.y && z == q.z && w == q.w; }
    bool operator!=(const D3DXQUATERNION& q) const { return !(*this == q); }
} D3DXQUATERNION, *LPD3DXQUATERNION;

// The plane a·x + b·y + c·z + d·w = 0.
typedef struct D3DXPLANE {
    FLOAT a, b, c, d;

    D3DXPLANE() = default;
    D3DXPLANE(const FLOAT* p) : a(p[0]), b(p[1]), c(p[2]), d(p[3]) {}
    D3DXPLANE(FLOAT a_, FLOAT b_, FLOAT c_, FLOAT d_) : a(a_), b(b_), c(c_), d(d_) {}

    operator FLOAT*() { return &a; }
    operator const FLOAT*() const { return &a; }

    D3DXPLANE operator+() const { return *this; }
    D3DXPLANE operator-() const { return {-a, -b, -c, -d}; }
    bool operator==(const D3DXPLANE& p) const { return a == p.a && b == p.b && c == p.c && d == p.d; }
    bool operator!=(const D3DXPLANE& p) const { return !(*this == p); }
} D3DXPLANE, *LPD3DXPLANE;

typedef struct D3DXCOLOR {
    FLOAT r, g, b, a;

    D3DXCOLOR() = default;
    // From a packed 0xAARRGGBB colour, each channel scaled to 0 … 1.
    D3DXCOLOR(DWORD argb)
        : r(((argb >> 16) & 0xff) * (1.0f / 255)), g(((argb >> 8) & 0xff) * (1.0f / 255)),
          b((argb & 0xff) * (1.0f / 255)), a(((argb >> 24) & 0xff) * (1.0f / 255)) {}
    D3DXCOLOR(const FLOAT* p) : r(p[0]), g(p[1]), b(p[2]), a(p[3]) {}
    D3DXCOLOR(const D3DCOLORVALUE& c) : r(c.r), g(c.g), b(c.b), a(c.a) {}
    D3DXCOLOR(FLOAT r_, FLOAT g_, FLOAT b_, FLOAT a_) : r(r_), g(g_), b(b_), a(a_) {}

    // Packs to 0xAARRGGBB, clamping each channel to 0 … 1 and rounding to the nearest step.
    operator DWORD() const {
        return (channel(a) << 24) | (channel(r) << 16) | (channel(g) << 8) | channel(b);
    }
    operator FLOAT*() { return &r; }
    operator const FLOAT*() const { return &r; }
    operator D3DCOLORVALUE*() { return reinterpret_cast<D3DCOLORVALUE*>(&r); }
    operator const D3DCOLORVALUE*() const { return reinterpret_cast<const D3DCOLORVALUE*>(&r); }
    operator D3DCOLORVALUE&() { return *reinterpret_cast<D3DCOLORVALUE*>(&r); }
    operator const D3DCOLORVALUE&() const { return *reinterpret_cast<const D3DCOLORVALUE*>(&r); }

    D3DXCOLOR& operator+=(const D3DXCOLOR& c) { return *this = *this + c; }
    D3DXCOLOR& operator-=(const D3DXCOLOR& c) { return *this = *this - c; }
    D3DXCOLOR& operator*=(FLOAT f) { return *this = *this * f; }
    D3DXCOLOR& operator/=(FLOAT f) { return *this = *this / f; }

    D3DXCOLOR operator+() const { return *this; }
    D3DXCOLOR operator-() const { return {-r, -g, -b, -a}; }
    D3DXCOLOR operator+(const D3DXCOLOR& c) const { return {r + c.r, g + c.g, b + c.b, a + c.a}; }
    D3DXCOLOR operator-(const D3DXCOLOR& c) const { return {r - c.r, g - c.g, b - c.b, a - c.a}; }
    D3DXCOLOR operator*(FLOAT f) const { return {r * f, g * f, b * f, a * f}; }
    D3DXCOLOR operator/(FLOAT f) const { return *this * (1.0f / f); }
    friend D3DXCOLOR operator*(FLOAT f, const D3DXCOLOR& c) { return c * f; }

    bool operator==(const D3DXCOLOR& c) const { return r == c.r && g == c.g && b == c.b && a == c.a; }
    bool operator!=(const D3DXCOLOR& c) const { return !(*this == c); }

private:
    static DWORD channel(FLOAT v) {
        if (!(v > 0.0f)) return 0; // NaN too
        if (v >= 1.0f) return 255;
        return static_cast<DWORD>(v * 255.0f + 0.5f);
    }
} D3DXCOLOR, *LPD3DXCOLOR;

static_assert(sizeof(D3DXVECTOR2) == 8 && sizeof(D3DXVECTOR3) == 12 && sizeof(D3DXVECTOR4) == 16);
static_assert(sizeof(D3DXMATRIX) == 64 && sizeof(D3DXQUATERNION) == 16 && sizeof(D3DXPLANE) == 16);
static_assert(sizeof(D3DXCOLOR) == 16 && sizeof(D3DXCOLOR) == sizeof(D3DCOLORVALUE));

namespace qcore::detail {
// Four floats in one register: the matrix product is written over rows so that it always vectorises.
typedef float float4v __attribute__((vector_size(16)));

inline float4v load_row(const float* p) {
    float4v r;
    std::memcpy(&r, p, sizeof(r));
    return r;
}

// out = a × b over row-major 4×4 arrays; out may alias a or b.
inline void mat4_multiply(float* out, const float* a, const float* b) {
    const float4v b0 = load_row(b), b1 = load_row(b + 4), b2 = load_row(b + 8), b3 = load_row(b + 12);
    float4v r[4];
    for (int i = 0; i < 4; ++i) {
        // One load per row of a, its lanes broadcast by shuffles.
        const float4v ai = load_row(a + 4 * i);
        r[i] = __builtin_shufflevector(ai, ai, 0, 0, 0, 0) * b0 +
               __builtin_shufflevector(ai, ai, 1, 1, 1, 1) * b1 +
               __builtin_shufflevector(ai, ai, 2, 2, 2, 2) * b2 +
               __builtin_shufflevector(ai, ai, 3, 3, 3, 3) * b3;
    }
    std::memcpy(out, r, sizeof(r));
}

// (x, y, z, 0) × m: the upper-left 3×3 block only.
inline float4v transform_normal(const D3DVECTOR& v, const D3DMATRIX& m) {
    return v.x * load_row(&m._11) + v.y * load_row(&m._21) + v.z * load_row(&m._31);
}

// (x, y, z, 1) × m without the perspective divide: (x', y', z', w).
inline float4v transform_point(const D3DVECTOR& v, const D3DMATRIX& m) {
    return transform_normal(v, m) + load_row(&m._41);
}
} // namespace qcore::detail

inline FLOAT D3DXVec2Length(const D3DXVECTOR2* v) {
    return std::sqrt(v->x * v->x + v->y * v->y);
}
inline FLOAT D3DXVec2LengthSq(const D3DXVECTOR2* v) {
    return v->x * v->x + v->y * v->y;
}
inline FLOAT D3DXVec2Dot(const D3DXVECTOR2* a, const D3DXVECTOR2* b) {
    return a->x * b->x + a->y * b->y;
}
// The z component of the three-dimensional cross product.
inline FLOAT D3DXVec2CCW(const D3DXVECTOR2* a, const D3DXVECTOR2* b) {
    return a->x * b->y - a->y * b->x;
}
inline D3DXVECTOR2* D3DXVec2Add(D3DXVECTOR2* out, const D3DXVECTOR2* a, const D3DXVECTOR2* b) {
    *out = *a + *b;
    return out;
}
inline D3DXVECTOR2* D3DXVec2Subtract(D3DXVECTOR2* out, const D3DXVECTOR2* a, const D3DXVECTOR2* b) {
    *out = *a - *b;
    return out;
}
inline D3DXVECTOR2* D3DXVec2Scale(D3DXVECTOR2* out, const D3DXVECTOR2* v, FLOAT s) {
    *out = *v * s;
    return out;
}
inline D3DXVECTOR2* D3DXVec2Lerp(D3DXVECTOR2* out, const D3DXVECTOR2* a, const D3DXVECTOR2* b, FLOAT s) {
    *out = *a + (*b - *a) * s;
    return out;
}
D3DXVECTOR2* D3DXVec2Normalize(D3DXVECTOR2* out, const D3DXVECTOR2* v);

inline FLOAT D3DXVec3LengthSq(const D3DXVECTOR3* v) {
    return v->x * v->x + v->y * v->y + v->z * v->z;
}
inline FLOAT D3DXVec3Length(const D3DXVECTOR3* v) {
    return std::sqrt(D3DXVec3LengthSq(v));
}
inline FLOAT D3DXVec3Dot(const D3DXVECTOR3* a, const D3DXVECTOR3* b) {
    return a->x * b->x + a->y * b->y + a->z * b->z;
}
inline D3DXVECTOR3* D3DXVec3Cross(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b) {
    const D3DXVECTOR3 r(a->y * b->z - a->z * b->y, a->z * b->x - a->x * b->z, a->x * b->y - a->y * b->x);
    *out = r;
    return out;
}
inline D3DXVECTOR3* D3DXVec3Add(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b) {
    *out = *a + *b;
    return out;
}
inline D3DXVECTOR3* D3DXVec3Subtract(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b) {
    *out = *a - *b;
    return out;
}
inline D3DXVECTOR3* D3DXVec3Scale(D3DXVECTOR3* out, const D3DXVECTOR3* v, FLOAT s) {
    *out = *v * s;
    return out;
}
inline D3DXVECTOR3* D3DXVec3Lerp(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b, FLOAT s) {
    *out = *a + (*b - *a) * s;
    return out;
}
inline D3DXVECTOR3* D3DXVec3Minimize(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b) {
    *out = D3DXVECTOR3(a->x < b->x ? a->x : b->x, a->y < b->y ? a->y : b->y, a->z < b->z ? a->z : b->z);
    return out;
}
inline D3DXVECTOR3* D3DXVec3Maximize(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b) {
    *out = D3DXVECTOR3(a->x > b->x ? a->x : b->x, a->y > b->y ? a->y : b->y, a->z > b->z ? a->z : b->z);
    return out;
}
// A zero vector normalises to zero rather than to NaNs.
inline D3DXVECTOR3* D3DXVec3Normalize(D3DXVECTOR3* out, const D3DXVECTOR3* v) {
    const float len = D3DXVec3Length(v);
    *out = len > 0.0f ? *v * (1.0f / len) : D3DXVECTOR3(0, 0, 0);
    return out;
}
// (x, y, z, 1) × m.
D3DXVECTOR4* D3DXVec3Transform(D3DXVECTOR4* out, const D3DXVECTOR3* v, const D3DXMATRIX* m);
// (x, y, z, 1) × m, divided by the resulting w.
D3DXVECTOR3* D3DXVec3TransformCoord(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DXMATRIX* m);
// (x, y, z, 0) × m: directions, no translation.
inline D3DXVECTOR3* D3DXVec3TransformNormal(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DXMATRIX* m) {
    const qcore::detail::float4v r = qcore::detail::transform_normal(*v, *m);
    *out = D3DXVECTOR3(r[0], r[1], r[2]);
    return out;
}
// Object space to the viewport's pixels and depth range; a null matrix counts as the identity.
D3DXVECTOR3* D3DXVec3Project(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DVIEWPORT8* viewport,
                             const D3DXMATRIX* projection, const D3DXMATRIX* view, const D3DXMATRIX* world);
// The inverse of D3DXVec3Project; null when the combined matrix cannot be inverted.
D3DXVECTOR3* D3DXVec3Unproject(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DVIEWPORT8* viewport,
                               const D3DXMATRIX* projection, const D3DXMATRIX* view, const D3DXMATRIX* world);

inline FLOAT D3DXVec4Dot(const D3DXVECTOR4* a, const D3DXVECTOR4* b) {
    return a->x * b->x + a->y * b->y + a->z * b->z + a->w * b->w;
}
inline FLOAT D3DXVec4LengthSq(const D3DXVECTOR4* v) {
    return D3DXVec4Dot(v, v);
}
inline FLOAT D3DXVec4Length(const D3DXVECTOR4* v) {
    return std::sqrt(D3DXVec4Dot(v, v));
}
D3DXVECTOR4* D3DXVec4Normalize(D3DXVECTOR4* out, const D3DXVECTOR4* v);
D3DXVECTOR4* D3DXVec4Transform(D3DXVECTOR4* out, const D3DXVECTOR4* v, const D3DXMATRIX* m);

inline D3DXMATRIX* D3DXMatrixIdentity(D3DXMATRIX* out) {
    *out = D3DXMATRIX(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);
    return out;
}
inline BOOL D3DXMatrixIsIdentity(const D3DXMATRIX* m) {
    D3DXMATRIX id;
    return *m == *D3DXMatrixIdentity(&id);
}
// out = a × b: a is applied first. out may be a or b.
inline D3DXMATRIX* D3DXMatrixMultiply(D3DXMATRIX* out, const D3DXMATRIX* a, const D3DXMATRIX* b) {
    qcore::detail::mat4_multiply(&out->_11, &a->_11, &b->_11);
    return out;
}
inline D3DXMATRIX& D3DXMATRIX::operator*=(const D3DXMATRIX& mat) {
    return *D3DXMatrixMultiply(this, this, &mat);
}
inline D3DXMATRIX D3DXMATRIX::operator*(const D3DXMATRIX& mat) const {
    D3DXMATRIX r;
    D3DXMatrixMultiply(&r, this, &mat);
    return r;
}
D3DXMATRIX* D3DXMatrixTranspose(D3DXMATRIX* out, const D3DXMATRIX* m);
FLOAT D3DXMatrixDeterminant(const D3DXMATRIX* m);
// Null, with out untouched, when m is singular; the determinant is written when asked for.
D3DXMATRIX* D3DXMatrixInverse(D3DXMATRIX* out, FLOAT* determinant, const D3DXMATRIX* m);
D3DXMATRIX* D3DXMatrixTranslation(D3DXMATRIX* out, FLOAT x, FLOAT y, FLOAT z);
D3DXMATRIX* D3DXMatrixScaling(D3DXMATRIX* out, FLOAT sx, FLOAT sy, FLOAT sz);
// Rotations turn clockwise when looking along the axis towards the origin (left-handed).
D3DXMATRIX* D3DXMatrixRotationX(D3DXMATRIX* out, FLOAT angle);
D3DXMATRIX* D3DXMatrixRotationY(D3DXMATRIX* out, FLOAT angle);
D3DXMATRIX* D3DXMatrixRotationZ(D3DXMATRIX* out, FLOAT angle);
// The axis is normalised first.
D3DXMATRIX* D3DXMatrixRotationAxis(D3DXMATRIX* out, const D3DXVECTOR3* axis, FLOAT angle);
D3DXMATRIX* D3DXMatrixRotationQuaternion(D3DXMATRIX* out, const D3DXQUATERNION* q);
// Roll about z, then pitch about x, then yaw about y.
D3DXMATRIX* D3DXMatrixRotationYawPitchRoll(D3DXMATRIX* out, FLOAT yaw, FLOAT pitch, FLOAT roll);
D3DXMATRIX* D3DXMatrixLookAtLH(D3DXMATRIX* out, const D3DXVECTOR3* eye, const D3DXVECTOR3* at,
                               const D3DXVECTOR3* up);
D3DXMATRIX* D3DXMatrixPerspectiveLH(D3DXMATRIX* out, FLOAT w, FLOAT h, FLOAT zn, FLOAT zf);
D3DXMATRIX* D3DXMatrixPerspectiveFovLH(D3DXMATRIX* out, FLOAT fovy, FLOAT aspect, FLOAT zn, FLOAT zf);
D3DXMATRIX* D3DXMatrixOrthoLH(D3DXMATRIX* out, FLOAT w, FLOAT h, FLOAT zn, FLOAT zf);
D3DXMATRIX* D3DXMatrixOrthoOffCenterLH(D3DXMATRIX* out, FLOAT l, FLOAT r, FLOAT b, FLOAT t, FLOAT zn,
                                       FLOAT zf);

inline FLOAT D3DXQuaternionDot(const D3DXQUATERNION* a, const D3DXQUATERNION* b) {
    return a->x * b->x + a->y * b->y + a->z * b->z + a->w * b->w;
}
inline FLOAT D3DXQuaternionLengthSq(const D3DXQUATERNION* q) {
    return D3DXQuaternionDot(q, q);
}
inline FLOAT D3DXQuaternionLength(const D3DXQUATERNION* q) {
    return std::sqrt(D3DXQuaternionDot(q, q));
}
inline D3DXQUATERNION* D3DXQuaternionIdentity(D3DXQUATERNION* out) {
    *out = D3DXQUATERNION(0, 0, 0, 1);
    return out;
}
inline BOOL D3DXQuaternionIsIdentity(const D3DXQUATERNION* q) {
    return *q == D3DXQUATERNION(0, 0, 0, 1);
}
inline D3DXQUATERNION* D3DXQuaternionConjugate(D3DXQUATERNION* out, const D3DXQUATERNION* q) {
    *out = D3DXQUATERNION(-q->x, -q->y, -q->z, q->w);
    return out;
}
D3DXQUATERNION* D3DXQuaternionNormalize(D3DXQUATERNION* out, const D3DXQUATERNION* q);
// The rotation of a followed by the rotation of b (the product b·a in Hamilton's notation).
D3DXQUATERNION* D3DXQuaternionMultiply(D3DXQUATERNION* out, const D3DXQUATERNION* a, const D3DXQUATERNION* b);
D3DXQUATERNION* D3DXQuaternionRotationAxis(D3DXQUATERNION* out, const D3DXVECTOR3* axis, FLOAT angle);
// The rotation part of m, which should be orthonormal.
D3DXQUATERNION* D3DXQuaternionRotationMatrix(D3DXQUATERNION* out, const D3DXMATRIX* m);
// Spherical interpolation along the shorter arc; t = 0 gives a, t = 1 gives b.
D3DXQUATERNION* D3DXQuaternionSlerp(D3DXQUATERNION* out, const D3DXQUATERNION* a, const D3DXQUATERNION* b,
                                    FLOAT t);
inline D3DXQUATERNION& D3DXQUATERNION::operator*=(const D3DXQUATERNION& q) {
    return *D3DXQuaternionMultiply(this, this, &q);
}
inline D3DXQUATERNION D3DXQUATERNION::operator*(const D3DXQUATERNION& q) const {
    D3DXQUATERNION r;
    D3DXQuaternionMultiply(&r, this, &q);
    return r;
}

inline FLOAT D3DXPlaneDot(const D3DXPLANE* p, const D3DXVECTOR4* v) {
    return p->a * v->x + p->b * v->y + p->c * v->z + p->d * v->w;
}
inline FLOAT D3DXPlaneDotCoord(const D3DXPLANE* p, const D3DXVECTOR3* v) {
    return p->a * v->x + p->b * v->y + p->c * v->z + p->d;
}
inline FLOAT D3DXPlaneDotNormal(const D3DXPLANE* p, const D3DXVECTOR3* v) {
    return p->a * v->x + p->b * v->y + p->c * v->z;
}
D3DXPLANE* D3DXPlaneNormalize(D3DXPLANE* out, const D3DXPLANE* p);
D3DXPLANE* D3DXPlaneFromPointNormal(D3DXPLANE* out, const D3DXVECTOR3* point, const D3DXVECTOR3* normal);
// Normal (b − a) × (c − a), normalised.
D3DXPLANE* D3DXPlaneFromPoints(D3DXPLANE* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b,
                               const D3DXVECTOR3* c);
// The point where the line through a and b meets the plane; null when they are parallel.
D3DXVECTOR3* D3DXPlaneIntersectLine(D3DXVECTOR3* out, const D3DXPLANE* p, const D3DXVECTOR3* a,
                                    const D3DXVECTOR3* b);

inline D3DXCOLOR* D3DXColorLerp(D3DXCOLOR* out, const D3DXCOLOR* a, const D3DXCOLOR* b, FLOAT s) {
    *out = *a + (*b - *a) * s;
    return out;
}
inline D3DXCOLOR* D3DXColorModulate(D3DXCOLOR* out, const D3DXCOLOR* a, const D3DXCOLOR* b) {
    *out = D3DXCOLOR(a->r * b->r, a->g * b->g, a->b * b->b, a->a * b->a);
    return out;
}

namespace qcore::detail {
// The ray-triangle test of D3DXIntersectTri on the first vertex and the two edges from it, for callers that
// keep the edges of many triangles ready; both give bit-identical answers.
inline bool intersect_tri_edges(const D3DXVECTOR3& p0, const D3DXVECTOR3& e1, const D3DXVECTOR3& e2,
                                const D3DXVECTOR3& pos, const D3DXVECTOR3& dir, float& u, float& v,
                                float& dist) {
    const D3DXVECTOR3 tvec = pos - p0;
    D3DXVECTOR3 pvec, qvec;
    D3DXVec3Cross(&pvec, &dir, &e2);
    const float det = D3DXVec3Dot(&e1, &pvec);
    if (det == 0.0f) return false;
    const float inv = 1.0f / det;
    u = D3DXVec3Dot(&tvec, &pvec) * inv;
    // Written so that NaNs fail the tests too.
    if (!(u >= 0.0f && u <= 1.0f)) return false;
    D3DXVec3Cross(&qvec, &tvec, &e1);
    v = D3DXVec3Dot(&dir, &qvec) * inv;
    if (!(v >= 0.0f && u + v <= 1.0f)) return false;
    dist = D3DXVec3Dot(&e2, &qvec) * inv;
    return dist >= 0.0f;
}
} // namespace qcore::detail

// Whether the ray pos + t·dir (t ≥ 0) meets the triangle p0 p1 p2 from either side. The hit point is
// p0 + u·(p1 − p0) + v·(p2 − p0); dist is t, in units of dir's length. Any of u, v, dist may be null.
BOOL D3DXIntersectTri(const D3DXVECTOR3* p0, const D3DXVECTOR3* p1, const D3DXVECTOR3* p2,
                      const D3DXVECTOR3* pos, const D3DXVECTOR3* dir, FLOAT* u, FLOAT* v, FLOAT* dist);
