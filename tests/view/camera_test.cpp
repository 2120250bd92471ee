#include <qcore/data/inifile.h>
#include <qcore/data/pak_file.h>
#include <qcore/platform/win32/message_box.h>
#include <qcore/view/camera.h>

#include "support/temp_dir.h"
#include "view/view_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

using qcore::test::make_render_window;

constexpr float kPi = 3.14159265f;

void expect_matrix(const MAT& actual, const float (&expected)[4][4], float tolerance = 1e-4f) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(actual.m[r][c], expected[r][c], tolerance * std::max(1.0f, std::fabs(expected[r][c])))
                << "row " << r << " column " << c;
}

void expect_vec(const VEC& v, float x, float y, float z, float tolerance = 1e-3f) {
    EXPECT_NEAR(v.x, x, tolerance);
    EXPECT_NEAR(v.y, y, tolerance);
    EXPECT_NEAR(v.z, z, tolerance);
}

// A viewport whose 3D area is width by height pixels (a whole window of that size).
struct AreaView {
    AreaView(int width, int height) : window(make_render_window(width, height)) {
        view.set_wnd(window.get());
    }
    std::unique_ptr<CRenderWindow> window;
    CBaseVport view;
};

TEST(Camera, NewCameraLooksAlongZ) {
    CCamera cam;
    expect_vec(cam.get_eye_pos(), 0, 0, -100);
    expect_vec(cam.get_target_pos(), 0, 0, 900);
    expect_vec(cam.get_up_vec(false), 0, 1000, 0);
    EXPECT_NEAR(cam.get_fov_in_degree(), 90, 1e-3);
    EXPECT_EQ(cam.get_near_plane(), 1);
    EXPECT_EQ(cam.get_far_plane(), 100000);
    EXPECT_EQ(cam.is_ortho_project(), 0);
    EXPECT_EQ(cam.get_ortho_proj_box_width(), 10);
    EXPECT_EQ(cam.get_ss_info().n, 2);
    EXPECT_EQ(cam.get_mc_info().fov, 40);
    // Looking down +z from z = -100 with y up: the view is a plain shift by +100 along z.
    const float expected[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 100, 1}};
    expect_matrix(cam.get_view_matrix(), expected);
    expect_vec(cam.get_right_dir(true), 1, 0, 0);
}

TEST(Camera, ViewParamsNormaliseTargetAndUp) {
    CCamera cam;
    cam.set_view_params(VEC(10, 0, 0), VEC(10, 0, 3), VEC(0, 0.5f, 0));
    expect_vec(cam.get_target_pos(), 10, 0, 1000);
    expect_vec(cam.get_up_vec(false), 0, 1000, 0);
    // Three largest floats keep the eye and only re-aim.
    const float keep = 3.4028235e38f;
    cam.set_view_params(VEC(keep, keep, keep), VEC(20, 0, 0), VEC(0, 1, 0));
    expect_vec(cam.get_eye_pos(), 10, 0, 0);
    expect_vec(cam.get_target_pos(), 1010, 0, 0);
    cam.shift_to_position(VEC(0, 5, 0));
    expect_vec(cam.get_eye_pos(), 0, 5, 0);
    expect_vec(cam.get_target_pos(), 1000, 5, 0);
    // Looking along +x with y up, the view's z axis is world x.
    const MAT& v = cam.get_view_matrix();
    EXPECT_NEAR(v.m[0][2], 1, 1e-5);
    EXPECT_NEAR(v.m[3][1], -5, 1e-4);
}

TEST(Camera, TargetOnTheEyeOrZeroUpKeepsThePreviousAim) {
    CCamera cam;
    const MAT before = cam.get_view_matrix();
    cam.set_view_params(VEC(0, 0, -100), VEC(0, 0, -100), VEC(0, 0, 0));
    expect_vec(cam.get_target_pos(), 0, 0, 900);
    expect_vec(cam.get_up_vec(false), 0, 1000, 0);
    const MAT& after = cam.get_view_matrix();
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ((&after._11)[i], (&before._11)[i]);
    // Up along the view direction has no basis: the last good view matrix stays, never NaN.
    cam.set_view_params(VEC(0, 0, -100), VEC(0, 0, 0), VEC(0, 0, 1));
    const MAT& parallel = cam.get_view_matrix();
    for (int i = 0; i < 16; ++i)
        EXPECT_TRUE(std::isfinite((&parallel._11)[i]));
}

TEST(Camera, PerspectiveMatchesThePublishedFormula) {
    AreaView area(200, 100);
    CCamera cam;
    cam.set_proj_params(60, 2, 500);
    const float a = 2.0f, h = 60 * kPi / 180, zn = 2, zf = 500;
    const float vertical = 2 * std::atan(std::tan(h / 2) / a);
    EXPECT_NEAR(cam.get_vertical_fov_in_radian(&area.view), vertical, 1e-5);
    const float ys = 1 / std::tan(vertical / 2), xs = ys / a;
    const float expected[4][4] = {
        {xs, 0, 0, 0}, {0, ys, 0, 0}, {0, 0, zf / (zf - zn), 1}, {0, 0, -zn * zf / (zf - zn), 0}};
    MAT p;
    cam.get_proj_matrix(&area.view, &p);
    expect_matrix(p, expected);
    // The aspect factor multiplies into the area's ratio.
    cam.set_aspect_ratio(0.5f);
    cam.get_proj_matrix(&area.view, &p);
    EXPECT_NEAR(p.m[0][0], p.m[1][1], 1e-5);
}

TEST(Camera, OrthographicMatchesThePublishedFormula) {
    AreaView area(300, 100);
    CCamera cam;
    cam.set_ortho_project(1);
    cam.set_ortho_proj_box_width(60);
    cam.set_near_plane(1);
    cam.set_far_plane(101);
    const float w = 60, h = 20, zn = 1, zf = 101;
    const float expected[4][4] = {
        {2 / w, 0, 0, 0}, {0, 2 / h, 0, 0}, {0, 0, 1 / (zf - zn), 0}, {0, 0, zn / (zn - zf), 1}};
    MAT p;
    cam.get_proj_matrix(&area.view, &p);
    expect_matrix(p, expected);
}

TEST(Camera, VerticalAngleFallsBackToARightAngle) {
    AreaView area(100, 100);
    CCamera cam;
    cam.set_fov_in_degree(200); // tan of half of it is negative
    EXPECT_FLOAT_EQ(cam.get_vertical_fov_in_radian(&area.view), 1.5707964f);
    cam.set_fov_in_degree(90);
    EXPECT_NEAR(cam.get_vertical_fov_in_radian(&area.view), kPi / 2, 1e-5);
}

TEST(Camera, UnusableAspectKeepsTheLastGoodProjection) {
    AreaView area(200, 100);
    CCamera cam;
    MAT good;
    cam.get_proj_matrix(&area.view, &good);
    const auto same_as_good = [&](const MAT& m) {
        for (int i = 0; i < 16; ++i)
            if ((&m._11)[i] != (&good._11)[i]) return false;
        return true;
    };
    MAT p;
    cam.set_aspect_ratio(0);
    cam.get_proj_matrix(&area.view, &p);
    EXPECT_TRUE(same_as_good(p));
    cam.set_ortho_project(1);
    cam.get_proj_matrix(&area.view, &p);
    EXPECT_TRUE(same_as_good(p));
    cam.set_ortho_project(0);
    cam.set_aspect_ratio(1);
    AreaView flat(200, 0);
    cam.get_proj_matrix(&flat.view, &p);
    EXPECT_TRUE(same_as_good(p));
    cam.get_proj_matrix(nullptr, &p);
    EXPECT_TRUE(same_as_good(p));
    // Equal near and far planes give no depth range either.
    cam.set_far_plane(1);
    cam.get_proj_matrix(&area.view, &p);
    EXPECT_TRUE(same_as_good(p));
}

TEST(Camera, SpecialProjectionsAreIdentityWhenOff) {
    AreaView area(160, 120);
    CCamera cam;
    const float identity[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
    expect_matrix(cam.get_rhw_matrix_when_aa(&area.view), identity);
    expect_matrix(cam.get_ss_proj_matrix(&area.view), identity);
    expect_matrix(cam.get_mc_proj_matrix(&area.view), identity);
}

TEST(Camera, BlockMatrixMapsTheEnlargedPictureIntoTheViewport) {
    AreaView area(160, 120);
    CCamera cam;
    cam.get_ss_info() = {1, 3, 2, 0};
    // Block column 2, row 0 of a 3 by 3 enlargement: pixels from (320, 240) on land at (0, 0).
    VEC p(320, 240, 0);
    p.transf_self(cam.get_rhw_matrix_when_aa(&area.view));
    // Scaled by 3 first, then shifted by (-160 * 2, -120 * (3 - 0 - 1)).
    expect_vec(p, 320 * 3 - 320, 240 * 3 - 240, 0);
}

TEST(Camera, MultiChannelShiftsTheChannelProjection) {
    AreaView area(200, 100);
    CCamera cam;
    cam.get_mc_info().on = 1;
    cam.get_mc_info().fov = 30;
    cam.get_mc_info().index = 1;
    cam.get_mc_info().offset = 50;
    CCamera plain = cam;
    plain.get_mc_info().on = 0;
    plain.set_fov_in_degree(30);
    MAT p;
    plain.get_proj_matrix(&area.view, &p);
    const float shift = 2.0f * 50 / 200 - 2.0f * 1;
    // P times a translation by (shift, 0, 0): column 0 gains shift times column 3.
    const float expected[4][4] = {{p.m[0][0], 0, 0, 0},
                                  {0, p.m[1][1], 0, 0},
                                  {shift * p.m[2][3], 0, p.m[2][2], p.m[2][3]},
                                  {shift * p.m[3][3], 0, p.m[3][2], p.m[3][3]}};
    expect_matrix(cam.get_mc_proj_matrix(&area.view), expected);
}

TEST(Camera, EqualityIgnoresTinyDifferences) {
    CCamera a, b;
    EXPECT_EQ(a.is_equal(b), 1);
    b.set_near_plane(1.0005f);
    b.shift_to_position(VEC(0.0005f, 0, -100));
    EXPECT_EQ(a.is_equal(b), 1);
    b.set_near_plane(1.01f);
    EXPECT_EQ(a.is_equal(b), 0);
    CCamera c;
    c.set_ortho_project(1);
    EXPECT_EQ(a.is_equal(c), 0);
    // Tiled and multi-channel settings are not part of the comparison.
    CCamera d;
    d.get_ss_info().on = 1;
    EXPECT_EQ(a.is_equal(d), 1);
}

TEST(Camera, OffsetCoefficientComesFromTheSettingsFile) {
    qcore::test::TempDir dir;
    const std::string ini = dir.file("qvx_config.ini");
    AreaView area(100, 100);
    const auto offset_of = [&] {
        CCamera cam;
        MAT p;
        cam.get_proj_matrix(&area.view, &p);
        return p.m[2][0]; // perspective: the shift times m[2][3] = 1
    };
    inifile::save_float_setting(ini.c_str(), "setting", "相机偏移系数", 0.25f);
    qcore::reload_camera_offset_coefficient(ini.c_str());
    EXPECT_FLOAT_EQ(qcore::camera_offset_coefficient(), 0.25f);
    EXPECT_FLOAT_EQ(offset_of(), 0.25f);
    for (const char* bad : {"abc", "nan", "inf", ""}) {
        qcore::test::write_file_bytes(ini, std::string("[setting]\n相机偏移系数=") + bad + "\n");
        qcore::reload_camera_offset_coefficient(ini.c_str());
        EXPECT_EQ(qcore::camera_offset_coefficient(), 0.0f) << bad;
    }
    qcore::reload_camera_offset_coefficient(dir.file("missing.ini").c_str());
    EXPECT_EQ(offset_of(), 0.0f);
    qcore::reload_camera_offset_coefficient();
}

TEST(Camera, PersistsThroughATpkFile) {
    qcore::test::TempDir dir;
    const std::string path = dir.file("camera.tpk");
    CCamera saved;
    saved.set_view_params(VEC(1, 2, 3), VEC(4, 5, 6), VEC(0, 0, 1));
    saved.set_proj_params(45, 0.5f, 800);
    saved.set_ortho_project(1);
    saved.set_ortho_proj_box_width(33);
    {
        CPakFile pak;
        ASSERT_EQ(pak.create(path.c_str()), 1);
        ASSERT_NE(saved.save_to_node(pak.get_root(), "cam"), nullptr);
        CPakNode* partial = pak.get_root()->create_dir_node("partial");
        partial->create_data_node("VR_TYPE", NODE_STR32, "CCamera");
        const float fov = 30;
        partial->create_data_node("FOV", NODE_FLOAT, &fov);
        CPakNode* other = pak.get_root()->create_dir_node("other");
        other->create_data_node("VR_TYPE", NODE_STR32, "CAeraCfg");
    }
    CPakFile pak;
    ASSERT_EQ(pak.open(path.c_str(), 1), 1);
    CCamera loaded;
    ASSERT_EQ(loaded.load_from_node(pak.get_root()->find("cam")), 1);
    EXPECT_EQ(loaded.is_equal(saved), 1);
    EXPECT_NEAR(loaded.get_fov_in_degree(), 45, 1e-3);

    // Missing eye, target, up, orthographic flag and width are reported; the planes are not.
    qcore::MessageBoxRecorder boxes;
    CCamera partial;
    ASSERT_EQ(partial.load_from_node(pak.get_root()->find("partial")), 1);
    EXPECT_EQ(boxes.texts().size(), 5u);
    for (const std::string& t : boxes.texts())
        EXPECT_EQ(t.find("PLANE"), std::string::npos) << t;
    EXPECT_NEAR(partial.get_fov_in_degree(), 30, 1e-3);
    EXPECT_TRUE(partial.is_equal([] {
        CCamera c;
        c.set_fov_in_degree(30);
        return c;
    }()));

    CCamera untouched;
    EXPECT_EQ(untouched.load_from_node(pak.get_root()->find("other")), 0);
    EXPECT_EQ(untouched.load_from_node(nullptr), 0);
    EXPECT_EQ(untouched.is_equal(CCamera()), 1);
}

} // namespace
