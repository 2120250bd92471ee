// The math functions against independent computations: hand-derived matrices, glm's left-handed
// zero-to-one functions (glm's column-major memory equals the row-vector layout here) and identities.
#include <qcore/platform/d3d8/d3dx/d3dx8math.h>

#include <glm/ext/matrix_clip_space.hpp>
#include <glm/ext/matrix_projection.hpp>
#include <glm/ext/matrix_transform.hpp>
#include <glm/glm.hpp>
#include <glm/gtc/quaternion.hpp>
#include <gtest/gtest.h>

#include <random>

namespace {

void expect_near(const float* a, const float* b, int n, float eps, const char* what) {
    for (int i = 0; i < n; ++i)
        EXPECT_NEAR(a[i], b[i], eps) << what << " element " << i;
}
void expect_matrix(const D3DXMATRIX& m, const glm::mat4& g, float eps = 1e-5f) {
    expect_near(&m._11, &g[0][0], 16, eps, "matrix");
}
void expect_matrix(const D3DXMATRIX& m, const D3DXMATRIX& r, float eps = 1e-5f) {
    expect_near(&m._11, &r._11, 16, eps, "matrix");
}
void expect_vec(const D3DXVECTOR3& v, float x, float y, float z, float eps = 1e-5f) {
    EXPECT_NEAR(v.x, x, eps);
    EXPECT_NEAR(v.y, y, eps);
    EXPECT_NEAR(v.z, z, eps);
}

D3DXMATRIX random_matrix(std::mt19937& rng) {
    std::uniform_real_distribution<float> d(-2.0f, 2.0f);
    D3DXMATRIX m;
    for (int i = 0; i < 16; ++i)
        (&m._11)[i] = d(rng);
    return m;
}

D3DXVECTOR3 transform(const D3DXVECTOR3& v, const D3DXMATRIX& m) {
    D3DXVECTOR3 r;
    D3DXVec3TransformCoord(&r, &v, &m);
    return r;
}

} // namespace

TEST(D3dxMatrix, MultiplyIsTheRowMajorProductAndMayAlias) {
    std::mt19937 rng(1);
    for (int n = 0; n < 20; ++n) {
        const D3DXMATRIX a = random_matrix(rng), b = random_matrix(rng);
        D3DXMATRIX expected;
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j) {
                double s = 0;
                for (int k = 0; k < 4; ++k)
                    s += double(a.m[i][k]) * b.m[k][j];
                expected.m[i][j] = float(s);
            }
        D3DXMATRIX out;
        expect_matrix(*D3DXMatrixMultiply(&out, &a, &b), expected, 1e-5f);
        D3DXMATRIX left = a, right = b;
        expect_matrix(*D3DXMatrixMultiply(&left, &left, &b), expected, 1e-5f);
        expect_matrix(*D3DXMatrixMultiply(&right, &a, &right), expected, 1e-5f);
        expect_matrix(a * b, expected, 1e-5f);
    }
}

TEST(D3dxMatrix, TranslationThenScalingAppliesLeftFirst) {
    D3DXMATRIX t, s;
    D3DXMatrixTranslation(&t, 1, 2, 3);
    D3DXMatrixScaling(&s, 2, 3, 4);
    expect_matrix(t, D3DXMATRIX(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1, 2, 3, 1));
    expect_vec(transform(D3DXVECTOR3(1, 1, 1), t * s), 4, 9, 16);
    expect_vec(transform(D3DXVECTOR3(1, 1, 1), s * t), 3, 5, 7);
}

TEST(D3dxMatrix, InverseMatchesGlmAndUndoesTheMatrix) {
    std::mt19937 rng(2);
    for (int n = 0; n < 50; ++n) {
        const D3DXMATRIX m = random_matrix(rng);
        glm::mat4 g;
        std::memcpy(&g[0][0], &m._11, 64);
        if (std::fabs(glm::determinant(g)) < 0.05f) continue;
        D3DXMATRIX inv, id, product;
        float det = 0;
        ASSERT_NE(D3DXMatrixInverse(&inv, &det, &m), nullptr);
        EXPECT_NEAR(det, glm::determinant(g), 1e-4f * std::max(1.0f, std::fabs(det)));
        EXPECT_NEAR(D3DXMatrixDeterminant(&m), det, 1e-6f);
        expect_matrix(inv, glm::inverse(g), 1e-3f);
        expect_matrix(m * inv, *D3DXMatrixIdentity(&id), 1e-4f);
        expect_matrix(D3DXMATRIX(*D3DXMatrixMultiply(&product, &inv, &m)), id, 1e-4f);
        D3DXMATRIX self = m;
        D3DXMatrixInverse(&self, nullptr, &self);
        expect_matrix(self, inv, 0);
    }
}

TEST(D3dxMatrix, SingularInverseFailsAndLeavesTheOutputAlone) {
    D3DXMATRIX singular, out;
    D3DXMatrixScaling(&singular, 1, 0, 1);
    D3DXMatrixTranslation(&out, 7, 8, 9);
    const D3DXMATRIX before = out;
    float det = 5;
    EXPECT_EQ(D3DXMatrixInverse(&out, &det, &singular), nullptr);
    EXPECT_EQ(det, 0.0f);
    EXPECT_EQ(out, before);
    D3DXMATRIX zero(1, 2, 3, 4, 2, 4, 6, 8, 0, 0, 1, 0, 0, 0, 0, 1); // two equal rows up to scale
    EXPECT_EQ(D3DXMatrixInverse(&out, nullptr, &zero), nullptr);
    EXPECT_EQ(out, before);
}

TEST(D3dxMatrix, RotationsAreLeftHandedAndMatchGlm) {
    D3DXMATRIX r;
    // Seen from +y looking at the origin, a quarter turn takes +z to +x.
    expect_vec(transform(D3DXVECTOR3(0, 0, 1), *D3DXMatrixRotationY(&r, D3DX_PI / 2)), 1, 0, 0);
    expect_vec(transform(D3DXVECTOR3(0, 1, 0), *D3DXMatrixRotationX(&r, D3DX_PI / 2)), 0, 0, 1);
    expect_vec(transform(D3DXVECTOR3(1, 0, 0), *D3DXMatrixRotationZ(&r, D3DX_PI / 2)), 0, 1, 0);

    const D3DXVECTOR3 axes[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    for (float angle : {0.3f, -1.2f, 2.5f}) {
        D3DXMATRIX a, b;
        expect_matrix(*D3DXMatrixRotationAxis(&a, &axes[0], angle), *D3DXMatrixRotationX(&b, angle));
        expect_matrix(*D3DXMatrixRotationAxis(&a, &axes[1], angle), *D3DXMatrixRotationY(&b, angle));
        expect_matrix(*D3DXMatrixRotationAxis(&a, &axes[2], angle), *D3DXMatrixRotationZ(&b, angle));
        const D3DXVECTOR3 axis(1, -2, 0.5f), scaled = axis * 7.0f;
        D3DXMatrixRotationAxis(&a, &scaled, angle);
        expect_matrix(a, glm::rotate(glm::mat4(1), angle, glm::vec3(axis.x, axis.y, axis.z)));
    }
}

TEST(D3dxMatrix, YawPitchRollIsRollThenPitchThenYaw) {
    D3DXMATRIX ypr, y, p, r;
    D3DXMatrixRotationYawPitchRoll(&ypr, 0.4f, -0.7f, 1.1f);
    expect_matrix(ypr, *D3DXMatrixRotationZ(&r, 1.1f) * *D3DXMatrixRotationX(&p, -0.7f) *
                           *D3DXMatrixRotationY(&y, 0.4f));
}

TEST(D3dxMatrix, LookAtAndProjectionsMatchGlmLeftHandedZeroToOne) {
    const D3DXVECTOR3 eye(3, 4, -5), at(0, 1, 2), up(0, 1, 0);
    D3DXMATRIX view;
    D3DXMatrixLookAtLH(&view, &eye, &at, &up);
    expect_matrix(view, glm::lookAtLH(glm::vec3(3, 4, -5), glm::vec3(0, 1, 2), glm::vec3(0, 1, 0)));
    expect_vec(transform(eye, view), 0, 0, 0);
    D3DXVECTOR3 ahead = at - eye;
    expect_vec(transform(at, view), 0, 0, D3DXVec3Length(&ahead), 1e-4f);

    D3DXMATRIX proj;
    D3DXMatrixPerspectiveFovLH(&proj, 0.9f, 1.5f, 0.5f, 200.0f);
    expect_matrix(proj, glm::perspectiveLH_ZO(0.9f, 1.5f, 0.5f, 200.0f));
    EXPECT_NEAR(transform(D3DXVECTOR3(0, 0, 0.5f), proj).z, 0.0f, 1e-6f);
    EXPECT_NEAR(transform(D3DXVECTOR3(0, 0, 200.0f), proj).z, 1.0f, 1e-5f);
    // The top of the field of view lands on the top edge.
    EXPECT_NEAR(transform(D3DXVECTOR3(0, std::tan(0.45f) * 10, 10), proj).y, 1.0f, 1e-5f);

    D3DXMATRIX ortho, offcenter;
    D3DXMatrixOrthoLH(&ortho, 8, 6, 1, 50);
    expect_matrix(ortho, glm::orthoLH_ZO(-4.0f, 4.0f, -3.0f, 3.0f, 1.0f, 50.0f));
    D3DXMatrixOrthoOffCenterLH(&offcenter, -1, 7, 2, 5, 1, 50);
    expect_matrix(offcenter, glm::orthoLH_ZO(-1.0f, 7.0f, 2.0f, 5.0f, 1.0f, 50.0f));

    D3DXMATRIX persp;
    D3DXMatrixPerspectiveLH(&persp, 2, 1, 1, 10);
    EXPECT_NEAR(transform(D3DXVECTOR3(1, 0.5f, 1), persp).x, 1.0f, 1e-6f);
    EXPECT_NEAR(transform(D3DXVECTOR3(1, 0.5f, 1), persp).y, 1.0f, 1e-6f);
}

TEST(D3dxQuaternion, RotationMatrixMatchesGlmAndAxisAngle) {
    D3DXQUATERNION q;
    const D3DXVECTOR3 axis(0.3f, -1, 2);
    D3DXQuaternionRotationAxis(&q, &axis, 1.3f);
    EXPECT_NEAR(D3DXQuaternionLength(&q), 1.0f, 1e-6f);
    D3DXMATRIX fromq, fromaxis;
    D3DXMatrixRotationQuaternion(&fromq, &q);
    expect_matrix(fromq, *D3DXMatrixRotationAxis(&fromaxis, &axis, 1.3f));
    expect_matrix(fromq, glm::mat4_cast(glm::quat(q.w, q.x, q.y, q.z)));

    D3DXQUATERNION back;
    D3DXQuaternionRotationMatrix(&back, &fromq);
    if (back.w * q.w < 0) back = -back;
    expect_near(&back.x, &q.x, 4, 1e-5f, "quaternion");
    // Large angles take the other branches of the matrix-to-quaternion conversion.
    for (const D3DXVECTOR3& a : {D3DXVECTOR3(1, 0, 0), D3DXVECTOR3(0, 1, 0), D3DXVECTOR3(0, 0, 1)}) {
        D3DXQuaternionRotationAxis(&q, &a, 3.0f);
        D3DXMatrixRotationQuaternion(&fromq, &q);
        D3DXQuaternionRotationMatrix(&back, &fromq);
        if (back.w * q.w < 0) back = -back;
        expect_near(&back.x, &q.x, 4, 1e-5f, "quaternion");
    }
}

TEST(D3dxQuaternion, MultiplyComposesInApplicationOrder) {
    D3DXQUATERNION a, b, ab;
    const D3DXVECTOR3 x(1, 0, 0), y(0, 1, 1);
    D3DXQuaternionRotationAxis(&a, &x, 0.7f);
    D3DXQuaternionRotationAxis(&b, &y, -1.1f);
    D3DXQuaternionMultiply(&ab, &a, &b);
    D3DXMATRIX ma, mb, mab;
    D3DXMatrixRotationQuaternion(&ma, &a);
    D3DXMatrixRotationQuaternion(&mb, &b);
    expect_matrix(*D3DXMatrixRotationQuaternion(&mab, &ab), ma * mb);
    EXPECT_EQ(a * b, ab);
}

TEST(D3dxQuaternion, SlerpMatchesGlmAndTakesTheShorterArc) {
    D3DXQUATERNION a, b, out;
    const D3DXVECTOR3 axis(0, 1, 0), other(1, 1, 0);
    D3DXQuaternionRotationAxis(&a, &axis, 0.2f);
    D3DXQuaternionRotationAxis(&b, &other, 2.0f);
    const glm::quat ga(a.w, a.x, a.y, a.z), gb(b.w, b.x, b.y, b.z);
    for (float t : {0.0f, 0.25f, 0.5f, 0.9f, 1.0f}) {
        D3DXQuaternionSlerp(&out, &a, &b, t);
        const glm::quat g = glm::slerp(ga, gb, t);
        const float expected[4] = {g.x, g.y, g.z, g.w};
        expect_near(&out.x, expected, 4, 1e-5f, "slerp");
    }
    // The same rotation written with the opposite sign still interpolates the short way.
    const D3DXQUATERNION negated = -b;
    D3DXQUATERNION mid1, mid2;
    D3DXQuaternionSlerp(&mid1, &a, &b, 0.5f);
    D3DXQuaternionSlerp(&mid2, &a, &negated, 0.5f);
    expect_near(&mid1.x, &mid2.x, 4, 1e-6f, "short arc");
    // Half-way between two rotations about one axis is the rotation by the mean angle.
    D3DXQUATERNION r1, r2, half, expected;
    D3DXQuaternionRotationAxis(&r1, &axis, 0.4f);
    D3DXQuaternionRotationAxis(&r2, &axis, 1.6f);
    D3DXQuaternionSlerp(&half, &r1, &r2, 0.5f);
    D3DXQuaternionRotationAxis(&expected, &axis, 1.0f);
    expect_near(&half.x, &expected.x, 4, 1e-6f, "mean angle");
    // Nearly equal rotations blend linearly without dividing by a vanishing sine.
    D3DXQuaternionSlerp(&out, &a, &a, 0.5f);
    expect_near(&out.x, &a.x, 4, 1e-6f, "equal ends");
}

TEST(D3dxVector, NormalizeAndTransforms) {
    D3DXVECTOR3 v(3, 0, 4), n;
    expect_vec(*D3DXVec3Normalize(&n, &v), 0.6f, 0, 0.8f);
    const D3DXVECTOR3 zero(0, 0, 0);
    expect_vec(*D3DXVec3Normalize(&n, &zero), 0, 0, 0, 0);

    // A w other than 1 divides.
    const D3DXMATRIX m(2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 1, 1, 1, 1, 0);
    expect_vec(transform(D3DXVECTOR3(1, 2, 4), m), 3.0f / 4, 5.0f / 4, 9.0f / 4);
    D3DXVECTOR4 v4;
    const D3DXVECTOR3 p(1, 2, 4);
    D3DXVec3Transform(&v4, &p, &m);
    EXPECT_EQ(v4, D3DXVECTOR4(3, 5, 9, 4));
    D3DXVECTOR3 normal;
    D3DXVec3TransformNormal(&normal, &p, &m);
    expect_vec(normal, 2, 4, 8);
    D3DXVECTOR3 c;
    const D3DXVECTOR3 x(1, 0, 0), y(0, 1, 0);
    expect_vec(*D3DXVec3Cross(&c, &x, &y), 0, 0, 1, 0);
}

TEST(D3dxVector, ProjectMapsToViewportPixelsAndUnprojectUndoesIt) {
    const D3DVIEWPORT8 vp{10, 20, 640, 480, 0.25f, 0.75f};
    D3DXMATRIX world, view, proj;
    D3DXMatrixRotationY(&world, 0.3f);
    const D3DXVECTOR3 eye(0, 2, -10), at(0, 0, 0), up(0, 1, 0);
    D3DXMatrixLookAtLH(&view, &eye, &at, &up);
    D3DXMatrixPerspectiveFovLH(&proj, 1.0f, 640.0f / 480, 1, 100);

    const D3DXVECTOR3 p(1.5f, -0.5f, 2);
    D3DXVECTOR3 screen;
    D3DXVec3Project(&screen, &p, &vp, &proj, &view, &world);
    const D3DXVECTOR3 ndc = transform(p, world * view * proj);
    expect_vec(screen, 10 + (ndc.x + 1) * 320, 20 + (1 - ndc.y) * 240, 0.25f + ndc.z * 0.5f, 1e-3f);

    // glm's window origin is at the bottom: flip y about the viewport.
    glm::mat4 gmodel, gproj;
    const D3DXMATRIX wv = world * view;
    std::memcpy(&gmodel[0][0], &wv._11, 64);
    std::memcpy(&gproj[0][0], &proj._11, 64);
    const glm::vec3 g = glm::projectZO(glm::vec3(p.x, p.y, p.z), gmodel, gproj, glm::vec4(10, 20, 640, 480));
    EXPECT_NEAR(screen.x, g.x, 1e-3f);
    EXPECT_NEAR(screen.y, 2 * 20 + 480 - g.y, 1e-3f);
    EXPECT_NEAR(screen.z, 0.25f + g.z * 0.5f, 1e-5f);

    D3DXVECTOR3 back;
    ASSERT_NE(D3DXVec3Unproject(&back, &screen, &vp, &proj, &view, &world), nullptr);
    expect_vec(back, p.x, p.y, p.z, 1e-3f);

    // Null matrices count as the identity.
    D3DXVec3Project(&screen, &p, &vp, nullptr, nullptr, nullptr);
    expect_vec(screen, 10 + 2.5f * 320, 20 + 1.5f * 240, 0.25f + 2 * 0.5f);

    D3DXMATRIX flat;
    D3DXMatrixScaling(&flat, 1, 1, 0);
    EXPECT_EQ(D3DXVec3Unproject(&back, &screen, &vp, &flat, nullptr, nullptr), nullptr);
}

TEST(D3dxIntersect, TriangleHitsFromBothSidesWithBarycentricsAndDistance) {
    const D3DXVECTOR3 p0(0, 0, 5), p1(4, 0, 5), p2(0, 4, 5);
    const D3DXVECTOR3 pos(1, 2, 0), dir(0, 0, 2);
    float u = -1, v = -1, dist = -1;
    ASSERT_TRUE(D3DXIntersectTri(&p0, &p1, &p2, &pos, &dir, &u, &v, &dist));
    EXPECT_NEAR(u, 0.25f, 1e-6f);
    EXPECT_NEAR(v, 0.5f, 1e-6f);
    EXPECT_NEAR(dist, 2.5f, 1e-6f); // in units of |dir| = 2
    const D3DXVECTOR3 hit = p0 + (p1 - p0) * u + (p2 - p0) * v;
    expect_vec(hit, pos.x + dir.x * dist, pos.y + dir.y * dist, pos.z + dir.z * dist);

    // From the other side, with the winding reversed.
    const D3DXVECTOR3 behind(1, 2, 10), back_dir(0, 0, -1);
    EXPECT_TRUE(D3DXIntersectTri(&p0, &p1, &p2, &behind, &back_dir, &u, &v, &dist));
    EXPECT_NEAR(dist, 5.0f, 1e-6f);
    EXPECT_TRUE(D3DXIntersectTri(&p0, &p2, &p1, &pos, &dir, nullptr, nullptr, nullptr));

    // Behind the origin, beside the triangle, parallel to it.
    const D3DXVECTOR3 away(0, 0, -1), beside(3, 3, 0), along(1, 0, 0), in_plane(-1, 1, 5);
    EXPECT_FALSE(D3DXIntersectTri(&p0, &p1, &p2, &pos, &away, &u, &v, &dist));
    EXPECT_FALSE(D3DXIntersectTri(&p0, &p1, &p2, &beside, &dir, &u, &v, &dist));
    EXPECT_FALSE(D3DXIntersectTri(&p0, &p1, &p2, &in_plane, &along, &u, &v, &dist));
    // A vertex counts.
    const D3DXVECTOR3 at_vertex(4, 0, 0);
    EXPECT_TRUE(D3DXIntersectTri(&p0, &p1, &p2, &at_vertex, &dir, &u, &v, &dist));
    EXPECT_NEAR(u, 1.0f, 1e-6f);
}

TEST(D3dxPlane, FromPointsDotAndLineIntersection) {
    const D3DXVECTOR3 a(0, 0, 2), b(1, 0, 2), c(0, 1, 2);
    D3DXPLANE p;
    D3DXPlaneFromPoints(&p, &a, &b, &c);
    EXPECT_EQ(p, D3DXPLANE(0, 0, 1, -2));
    const D3DXVECTOR3 above(5, 5, 3), below(5, 5, -1);
    EXPECT_FLOAT_EQ(D3DXPlaneDotCoord(&p, &above), 1.0f);
    D3DXVECTOR3 hit;
    ASSERT_NE(D3DXPlaneIntersectLine(&hit, &p, &above, &below), nullptr);
    expect_vec(hit, 5, 5, 2);
    const D3DXVECTOR3 side(6, 5, 3);
    EXPECT_EQ(D3DXPlaneIntersectLine(&hit, &p, &above, &side), nullptr);
    D3DXPLANE scaled(0, 0, 4, -8), unit;
    EXPECT_EQ(*D3DXPlaneNormalize(&unit, &scaled), p);
}

TEST(D3dxColor, PacksAndUnpacksArgb) {
    const D3DXCOLOR c(0x80ff4000u);
    EXPECT_FLOAT_EQ(c.a, 128.0f / 255);
    EXPECT_FLOAT_EQ(c.r, 1.0f);
    EXPECT_FLOAT_EQ(c.g, 64.0f / 255);
    EXPECT_FLOAT_EQ(c.b, 0.0f);
    EXPECT_EQ(DWORD(c), 0x80ff4000u);
    EXPECT_EQ(DWORD(D3DXCOLOR(2.0f, -1.0f, 0.5f, 1.0f)), 0xffff0080u); // clamped
    const D3DCOLORVALUE& cv = c;
    EXPECT_EQ(cv.r, c.r);
}
