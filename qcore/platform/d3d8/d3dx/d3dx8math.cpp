#include <qcore/platform/d3d8/d3dx/d3dx8math.h>

#include <utility>

namespace {

// The twelve 2×2 minors of the top and bottom row pairs; every cofactor and the determinant
// come from them (Laplace expansion over the row pairs).
struct Minors {
    float s[6], c[6];
};

Minors minors_of(const D3DXMATRIX& a) {
    const float(&m)[4][4] = a.m;
    Minors r;
    r.s[0] = m[0][0] * m[1][1] - m[1][0] * m[0][1];
    r.s[1] = m[0][0] * m[1][2] - m[1][0] * m[0][2];
    r.s[2] = m[0][0] * m[1][3] - m[1][0] * m[0][3];
    r.s[3] = m[0][1] * m[1][2] - m[1][1] * m[0][2];
    r.s[4] = m[0][1] * m[1][3] - m[1][1] * m[0][3];
    r.s[5] = m[0][2] * m[1][3] - m[1][2] * m[0][3];
    r.c[5] = m[2][2] * m[3][3] - m[3][2] * m[2][3];
    r.c[4] = m[2][1] * m[3][3] - m[3][1] * m[2][3];
    r.c[3] = m[2][1] * m[3][2] - m[3][1] * m[2][2];
    r.c[2] = m[2][0] * m[3][3] - m[3][0] * m[2][3];
    r.c[1] = m[2][0] * m[3][2] - m[3][0] * m[2][2];
    r.c[0] = m[2][0] * m[3][1] - m[3][0] * m[2][1];
    return r;
}

float determinant_of(const Minors& k) {
    const float* s = k.s;
    const float* c = k.c;
    return s[0] * c[5] - s[1] * c[4] + s[2] * c[3] + s[3] * c[2] - s[4] * c[1] + s[5] * c[0];
}

// world × view × projection, skipping the null ones.
D3DXMATRIX combined(const D3DXMATRIX* projection, const D3DXMATRIX* view, const D3DXMATRIX* world) {
    D3DXMATRIX r;
    D3DXMatrixIdentity(&r);
    for (const D3DXMATRIX* m : {world, view, projection})
        if (m) D3DXMatrixMultiply(&r, &r, m);
    return r;
}

D3DXMATRIX* set_matrix(D3DXMATRIX* out, const D3DXMATRIX& value) {
    *out = value;
    return out;
}

} // namespace

D3DXVECTOR2* D3DXVec2Normalize(D3DXVECTOR2* out, const D3DXVECTOR2* v) {
    const float len = D3DXVec2Length(v);
    *out = len > 0.0f ? *v / len : D3DXVECTOR2(0, 0);
    return out;
}

D3DXVECTOR4* D3DXVec3Transform(D3DXVECTOR4* out, const D3DXVECTOR3* v, const D3DXMATRIX* m) {
    const qcore::detail::float4v p = qcore::detail::transform_point(*v, *m);
    *out = D3DXVECTOR4(p[0], p[1], p[2], p[3]);
    return out;
}

D3DXVECTOR3* D3DXVec3TransformCoord(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DXMATRIX* m) {
    const qcore::detail::float4v p = qcore::detail::transform_point(*v, *m);
    *out = D3DXVECTOR3(p[0] / p[3], p[1] / p[3], p[2] / p[3]);
    return out;
}

D3DXVECTOR3* D3DXVec3Project(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DVIEWPORT8* viewport,
                             const D3DXMATRIX* projection, const D3DXMATRIX* view, const D3DXMATRIX* world) {
    const D3DXMATRIX m = combined(projection, view, world);
    D3DXVECTOR3 p;
    D3DXVec3TransformCoord(&p, v, &m);
    if (viewport) {
        p.x = viewport->X + (1.0f + p.x) * viewport->Width * 0.5f;
        p.y = viewport->Y + (1.0f - p.y) * viewport->Height * 0.5f;
        p.z = viewport->MinZ + p.z * (viewport->MaxZ - viewport->MinZ);
    }
    *out = p;
    return out;
}

D3DXVECTOR3* D3DXVec3Unproject(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DVIEWPORT8* viewport,
                               const D3DXMATRIX* projection, const D3DXMATRIX* view,
                               const D3DXMATRIX* world) {
    D3DXMATRIX m = combined(projection, view, world);
    if (!D3DXMatrixInverse(&m, nullptr, &m)) return nullptr;
    D3DXVECTOR3 p = *v;
    if (viewport) {
        p.x = 2.0f * (v->x - viewport->X) / viewport->Width - 1.0f;
        p.y = 1.0f - 2.0f * (v->y - viewport->Y) / viewport->Height;
        p.z = (v->z - viewport->MinZ) / (viewport->MaxZ - viewport->MinZ);
    }
    return D3DXVec3TransformCoord(out, &p, &m);
}

D3DXVECTOR4* D3DXVec4Normalize(D3DXVECTOR4* out, const D3DXVECTOR4* v) {
    const float len = D3DXVec4Length(v);
    *out = len > 0.0f ? *v / len : D3DXVECTOR4(0, 0, 0, 0);
    return out;
}

D3DXVECTOR4* D3DXVec4Transform(D3DXVECTOR4* out, const D3DXVECTOR4* v, const D3DXMATRIX* m) {
    D3DXVECTOR4 r;
    for (int j = 0; j < 4; ++j)
        (&r.x)[j] = v->x * m->m[0][j] + v->y * m->m[1][j] + v->z * m->m[2][j] + v->w * m->m[3][j];
    *out = r;
    return out;
}

D3DXMATRIX* D3DXMatrixTranspose(D3DXMATRIX* out, const D3DXMATRIX* m) {
    D3DXMATRIX r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = m->m[j][i];
    return set_matrix(out, r);
}

FLOAT D3DXMatrixDeterminant(const D3DXMATRIX* m) {
    return determinant_of(minors_of(*m));
}

D3DXMATRIX* D3DXMatrixInverse(D3DXMATRIX* out, FLOAT* determinant, const D3DXMATRIX* a) {
    const Minors k = minors_of(*a);
    const float det = determinant_of(k);
    if (determinant) *determinant = det;
    if (det == 0.0f) return nullptr;
    const float(&m)[4][4] = a->m;
    const float* s = k.s;
    const float* c = k.c;
    const float inv = 1.0f / det;
    const D3DXMATRIX r((m[1][1] * c[5] - m[1][2] * c[4] + m[1][3] * c[3]) * inv,
                       (-m[0][1] * c[5] + m[0][2] * c[4] - m[0][3] * c[3]) * inv,
                       (m[3][1] * s[5] - m[3][2] * s[4] + m[3][3] * s[3]) * inv,
                       (-m[2][1] * s[5] + m[2][2] * s[4] - m[2][3] * s[3]) * inv,

                       (-m[1][0] * c[5] + m[1][2] * c[2] - m[1][3] * c[1]) * inv,
                       (m[0][0] * c[5] - m[0][2] * c[2] + m[0][3] * c[1]) * inv,
                       (-m[3][0] * s[5] + m[3][2] * s[2] - m[3][3] * s[1]) * inv,
                       (m[2][0] * s[5] - m[2][2] * s[2] + m[2][3] * s[1]) * inv,

                       (m[1][0] * c[4] - m[1][1] * c[2] + m[1][3] * c[0]) * inv,
                       (-m[0][0] * c[4] + m[0][1] * c[2] - m[0][3] * c[0]) * inv,
                       (m[3][0] * s[4] - m[3][1] * s[2] + m[3][3] * s[0]) * inv,
                       (-m[2][0] * s[4] + m[2][1] * s[2] - m[2][3] * s[0]) * inv,

                       (-m[1][0] * c[3] + m[1][1] * c[1] - m[1][2] * c[0]) * inv,
                       (m[0][0] * c[3] - m[0][1] * c[1] + m[0][2] * c[0]) * inv,
                       (-m[3][0] * s[3] + m[3][1] * s[1] - m[3][2] * s[0]) * inv,
                       (m[2][0] * s[3] - m[2][1] * s[1] + m[2][2] * s[0]) * inv);
    return set_matrix(out, r);
}

D3DXMATRIX* D3DXMatrixTranslation(D3DXMATRIX* out, FLOAT x, FLOAT y, FLOAT z) {
    return set_matrix(out, D3DXMATRIX(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, x, y, z, 1));
}

D3DXMATRIX* D3DXMatrixScaling(D3DXMATRIX* out, FLOAT sx, FLOAT sy, FLOAT sz) {
    return set_matrix(out, D3DXMATRIX(sx, 0, 0, 0, 0, sy, 0, 0, 0, 0, sz, 0, 0, 0, 0, 1));
}

D3DXMATRIX* D3DXMatrixRotationX(D3DXMATRIX* out, FLOAT angle) {
    const float c = std::cos(angle), s = std::sin(angle);
    return set_matrix(out, D3DXMATRIX(1, 0, 0, 0, 0, c, s, 0, 0, -s, c, 0, 0, 0, 0, 1));
}

D3DXMATRIX* D3DXMatrixRotationY(D3DXMATRIX* out, FLOAT angle) {
    const float c = std::cos(angle), s = std::sin(angle);
    return set_matrix(out, D3DXMATRIX(c, 0, -s, 0, 0, 1, 0, 0, s, 0, c, 0, 0, 0, 0, 1));
}

D3DXMATRIX* D3DXMatrixRotationZ(D3DXMATRIX* out, FLOAT angle) {
    const float c = std::cos(angle), s = std::sin(angle);
    return set_matrix(out, D3DXMATRIX(c, s, 0, 0, -s, c, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1));
}

D3DXMATRIX* D3DXMatrixRotationAxis(D3DXMATRIX* out, const D3DXVECTOR3* axis, FLOAT angle) {
    D3DXVECTOR3 n;
    D3DXVec3Normalize(&n, axis);
    const float c = std::cos(angle), s = std::sin(angle), t = 1.0f - c;
    return set_matrix(out, D3DXMATRIX(t * n.x * n.x + c, t * n.x * n.y + s * n.z, t * n.x * n.z - s * n.y, 0,
                                      t * n.x * n.y - s * n.z, t * n.y * n.y + c, t * n.y * n.z + s * n.x, 0,
                                      t * n.x * n.z + s * n.y, t * n.y * n.z - s * n.x, t * n.z * n.z + c, 0,
                                      0, 0, 0, 1));
}

D3DXMATRIX* D3DXMatrixRotationQuaternion(D3DXMATRIX* out, const D3DXQUATERNION* q) {
    const float x = q->x, y = q->y, z = q->z, w = q->w;
    return set_matrix(out, D3DXMATRIX(1 - 2 * (y * y + z * z), 2 * (x * y + z * w), 2 * (x * z - y * w), 0,
                                      2 * (x * y - z * w), 1 - 2 * (x * x + z * z), 2 * (y * z + x * w), 0,
                                      2 * (x * z + y * w), 2 * (y * z - x * w), 1 - 2 * (x * x + y * y), 0, 0,
                                      0, 0, 1));
}

D3DXMATRIX* D3DXMatrixRotationYawPitchRoll(D3DXMATRIX* out, FLOAT yaw, FLOAT pitch, FLOAT roll) {
    D3DXMATRIX r, p, y;
    D3DXMatrixRotationZ(&r, roll);
    D3DXMatrixRotationX(&p, pitch);
    D3DXMatrixRotationY(&y, yaw);
    return set_matrix(out, r * p * y);
}

D3DXMATRIX* D3DXMatrixLookAtLH(D3DXMATRIX* out, const D3DXVECTOR3* eye, const D3DXVECTOR3* at,
                               const D3DXVECTOR3* up) {
    D3DXVECTOR3 xa, ya, za = *at - *eye;
    D3DXVec3Normalize(&za, &za);
    D3DXVec3Cross(&xa, up, &za);
    D3DXVec3Normalize(&xa, &xa);
    D3DXVec3Cross(&ya, &za, &xa);
    return set_matrix(out,
                      D3DXMATRIX(xa.x, ya.x, za.x, 0, xa.y, ya.y, za.y, 0, xa.z, ya.z, za.z, 0,
                                 -D3DXVec3Dot(&xa, eye), -D3DXVec3Dot(&ya, eye), -D3DXVec3Dot(&za, eye), 1));
}

D3DXMATRIX* D3DXMatrixPerspectiveLH(D3DXMATRIX* out, FLOAT w, FLOAT h, FLOAT zn, FLOAT zf) {
    const float q = zf / (zf - zn);
    return set_matrix(out,
                      D3DXMATRIX(2 * zn / w, 0, 0, 0, 0, 2 * zn / h, 0, 0, 0, 0, q, 1, 0, 0, -zn * q, 0));
}

D3DXMATRIX* D3DXMatrixPerspectiveFovLH(D3DXMATRIX* out, FLOAT fovy, FLOAT aspect, FLOAT zn, FLOAT zf) {
    const float ys = 1.0f / std::tan(fovy * 0.5f), xs = ys / aspect, q = zf / (zf - zn);
    return set_matrix(out, D3DXMATRIX(xs, 0, 0, 0, 0, ys, 0, 0, 0, 0, q, 1, 0, 0, -zn * q, 0));
}

D3DXMATRIX* D3DXMatrixOrthoLH(D3DXMATRIX* out, FLOAT w, FLOAT h, FLOAT zn, FLOAT zf) {
    const float q = 1.0f / (zf - zn);
    return set_matrix(out, D3DXMATRIX(2 / w, 0, 0, 0, 0, 2 / h, 0, 0, 0, 0, q, 0, 0, 0, -zn * q, 1));
}

D3DXMATRIX* D3DXMatrixOrthoOffCenterLH(D3DXMATRIX* out, FLOAT l, FLOAT r, FLOAT b, FLOAT t, FLOAT zn,
                                       FLOAT zf) {
    const float q = 1.0f / (zf - zn);
    return set_matrix(out, D3DXMATRIX(2 / (r - l), 0, 0, 0, 0, 2 / (t - b), 0, 0, 0, 0, q, 0,
                                      (l + r) / (l - r), (t + b) / (b - t), -zn * q, 1));
}

D3DXQUATERNION* D3DXQuaternionNormalize(D3DXQUATERNION* out, const D3DXQUATERNION* q) {
    const float len = D3DXQuaternionLength(q);
    *out = len > 0.0f ? *q / len : D3DXQUATERNION(0, 0, 0, 0);
    return out;
}

D3DXQUATERNION* D3DXQuaternionMultiply(D3DXQUATERNION* out, const D3DXQUATERNION* a,
                                       const D3DXQUATERNION* b) {
    const D3DXQUATERNION r(b->w * a->x + b->x * a->w + b->y * a->z - b->z * a->y,
                           b->w * a->y - b->x * a->z + b->y * a->w + b->z * a->x,
                           b->w * a->z + b->x * a->y - b->y * a->x + b->z * a->w,
                           b->w * a->w - b->x * a->x - b->y * a->y - b->z * a->z);
    *out = r;
    return out;
}

D3DXQUATERNION* D3DXQuaternionRotationAxis(D3DXQUATERNION* out, const D3DXVECTOR3* axis, FLOAT angle) {
    D3DXVECTOR3 n;
    D3DXVec3Normalize(&n, axis);
    const float s = std::sin(angle * 0.5f);
    *out = D3DXQUATERNION(n.x * s, n.y * s, n.z * s, std::cos(angle * 0.5f));
    return out;
}

D3DXQUATERNION* D3DXQuaternionRotationMatrix(D3DXQUATERNION* out, const D3DXMATRIX* m) {
    const float trace = m->_11 + m->_22 + m->_33;
    D3DXQUATERNION q;
    // Take the square root of the largest of 4w², 4x², 4y², 4z² for accuracy.
    if (trace > 0.0f) {
        const float s = std::sqrt(trace + 1.0f) * 2.0f;
        q = {(m->_23 - m->_32) / s, (m->_31 - m->_13) / s, (m->_12 - m->_21) / s, 0.25f * s};
    } else if (m->_11 > m->_22 && m->_11 > m->_33) {
        const float s = std::sqrt(1.0f + m->_11 - m->_22 - m->_33) * 2.0f;
        q = {0.25f * s, (m->_12 + m->_21) / s, (m->_13 + m->_31) / s, (m->_23 - m->_32) / s};
    } else if (m->_22 > m->_33) {
        const float s = std::sqrt(1.0f + m->_22 - m->_11 - m->_33) * 2.0f;
        q = {(m->_12 + m->_21) / s, 0.25f * s, (m->_23 + m->_32) / s, (m->_31 - m->_13) / s};
    } else {
        const float s = std::sqrt(1.0f + m->_33 - m->_11 - m->_22) * 2.0f;
        q = {(m->_13 + m->_31) / s, (m->_23 + m->_32) / s, 0.25f * s, (m->_12 - m->_21) / s};
    }
    *out = q;
    return out;
}

D3DXQUATERNION* D3DXQuaternionSlerp(D3DXQUATERNION* out, const D3DXQUATERNION* a, const D3DXQUATERNION* b,
                                    FLOAT t) {
    float cosine = D3DXQuaternionDot(a, b);
    float sign = 1.0f;
    if (cosine < 0.0f) {
        cosine = -cosine;
        sign = -1.0f;
    }
    float wa = 1.0f - t, wb = t;
    // Nearly equal rotations: sin(θ) vanishes and the linear blend is as exact.
    if (cosine < 0.9999f) {
        const float theta = std::acos(cosine), s = 1.0f / std::sin(theta);
        wa = std::sin((1.0f - t) * theta) * s;
        wb = std::sin(t * theta) * s;
    }
    *out = *a * wa + *b * (wb * sign);
    return out;
}

D3DXPLANE* D3DXPlaneNormalize(D3DXPLANE* out, const D3DXPLANE* p) {
    const float len = std::sqrt(p->a * p->a + p->b * p->b + p->c * p->c);
    if (len > 0.0f)
        *out = D3DXPLANE(p->a / len, p->b / len, p->c / len, p->d / len);
    else
        *out = D3DXPLANE(0, 0, 0, 0);
    return out;
}

D3DXPLANE* D3DXPlaneFromPointNormal(D3DXPLANE* out, const D3DXVECTOR3* point, const D3DXVECTOR3* normal) {
    *out = D3DXPLANE(normal->x, normal->y, normal->z, -D3DXVec3Dot(point, normal));
    return out;
}

D3DXPLANE* D3DXPlaneFromPoints(D3DXPLANE* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b,
                               const D3DXVECTOR3* c) {
    const D3DXVECTOR3 e1 = *b - *a, e2 = *c - *a;
    D3DXVECTOR3 n;
    D3DXVec3Cross(&n, &e1, &e2);
    D3DXVec3Normalize(&n, &n);
    return D3DXPlaneFromPointNormal(out, a, &n);
}

D3DXVECTOR3* D3DXPlaneIntersectLine(D3DXVECTOR3* out, const D3DXPLANE* p, const D3DXVECTOR3* a,
                                    const D3DXVECTOR3* b) {
    const D3DXVECTOR3 dir = *b - *a;
    const float along = D3DXPlaneDotNormal(p, &dir);
    if (along == 0.0f) return nullptr;
    *out = *a - dir * (D3DXPlaneDotCoord(p, a) / along);
    return out;
}

BOOL D3DXIntersectTri(const D3DXVECTOR3* p0, const D3DXVECTOR3* p1, const D3DXVECTOR3* p2,
                      const D3DXVECTOR3* pos, const D3DXVECTOR3* dir, FLOAT* pu, FLOAT* pv, FLOAT* pdist) {
    float u, v, dist;
    if (!qcore::detail::intersect_tri_edges(*p0, *p1 - *p0, *p2 - *p0, *pos, *dir, u, v, dist)) return FALSE;
    if (pu) *pu = u;
    if (pv) *pv = v;
    if (pdist) *pdist = dist;
    return TRUE;
}
