#include <qcore/data/pak_file.h>
#include <qcore/geom/cam_path.h>
#include <qcore/platform/win32/message_box.h>
#include <qcore/view/camera.h>

#include "core/draw_fixture.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace {

CCamPath three_keys() {
    CCamPath p;
    p.resize(3);
    for (int i = 0; i < 3; ++i) {
        const auto f = static_cast<float>(i);
        p.eye.keys[static_cast<size_t>(i)] = VEC(10 * f, 5 * f * f, -100);
        p.target.keys[static_cast<size_t>(i)] = VEC(f, 0, 0);
        p.up.keys[static_cast<size_t>(i)] = VEC(0, 1, 0);
        p.fov.keys[static_cast<size_t>(i)] = 60 + 10 * f;
        p.ortho_box.keys[static_cast<size_t>(i)] = 100;
    }
    return p;
}

TEST(CamPath, KeysStayInStep) {
    CCamPath p;
    EXPECT_EQ(p.insert_key_by_split_path(0), 0); // empty
    EXPECT_EQ(p.remove_key(0), 0);
    p.resize(1);
    EXPECT_EQ(p.get_key_count(), 1);
    EXPECT_EQ(p.fov.keys, std::vector<float>{0});
    EXPECT_EQ(p.insert_key_by_split_path(0), 0); // one key
    EXPECT_EQ(p.remove_key(0), 0);

    p = three_keys();
    EXPECT_EQ(p.insert_key_by_split_path(2), 0); // the last index
    EXPECT_EQ(p.insert_key_by_split_path(-1), 0);
    EXPECT_EQ(p.get_key_count(), 3);
    const VEC mid = p.eye.get(0.25f);
    ASSERT_EQ(p.insert_key_by_split_path(0), 1);
    for (size_t n : {p.eye.keys.size(), p.target.keys.size(), p.up.keys.size(), p.fov.keys.size(),
                     p.ortho_box.keys.size()})
        EXPECT_EQ(n, 4u);
    EXPECT_EQ(p.eye.keys[1], mid);
    EXPECT_FLOAT_EQ(p.fov.keys[1], 65);
    EXPECT_EQ(p.remove_key(1), 1);
    EXPECT_EQ(p.get_key_count(), 3);
    EXPECT_EQ(p.fov.keys, (std::vector<float>{60, 70, 80}));

    p.make_closed(1);
    EXPECT_TRUE(p.is_closed());
    EXPECT_EQ(p.ortho_box.keys.size(), 4u);
    p.eye.keys.back() = VEC(1, 1, 1);
    p.sync_head_tail(0);
    EXPECT_EQ(p.eye.keys.front(), VEC(1, 1, 1));
    EXPECT_EQ(p.get_box().min, VEC(1, 1, -100));
    p.free();
    EXPECT_EQ(p.get_key_count(), 0);
    EXPECT_TRUE(p.fov.keys.empty());
}

TEST(CamPath, FliesACamera) {
    CCamPath p = three_keys();
    CCamera cam;
    p.apply_to_camera(0, cam);
    EXPECT_TRUE(cam.get_eye_pos().is_coincide(VEC(0, 0, -100), 1e-4f));
    EXPECT_NEAR(cam.get_fov_in_degree(), 60, 1e-3);
    p.apply_to_camera(1, cam);
    EXPECT_TRUE(cam.get_eye_pos().is_coincide(VEC(20, 20, -100), 1e-4f));
    EXPECT_NEAR(cam.get_fov_in_degree(), 80, 1e-3);
    // The target is re-aimed at distance 1000 along the path's direction.
    const VEC dir = (cam.get_target_pos() - cam.get_eye_pos()).get_normalize();
    const VEC want = (VEC(2, 0, 0) - VEC(20, 20, -100)).get_normalize();
    EXPECT_GT(dir.dot(want), 0.9999f);
    CCamPath empty;
    empty.apply_to_camera(0.5f, cam); // leaves the camera
    EXPECT_TRUE(cam.get_eye_pos().is_coincide(VEC(20, 20, -100), 1e-4f));
    CCamPath recorded;
    recorded.add_key(cam);
    EXPECT_EQ(recorded.get_key_count(), 1);
    EXPECT_NEAR(recorded.fov.keys[0], 80, 1e-3);
}

TEST(CamPath, RoundTripAndRefusedDirectories) {
    qcore::test::TempDir dir;
    const std::string path = dir.file("path.tpk");
    const CCamPath p = three_keys();
    {
        CPakFile pak;
        ASSERT_EQ(pak.create(path.c_str()), 1);
        ASSERT_NE(p.save_to_node(pak.get_root(), "path"), nullptr);
        EXPECT_EQ(p.save_to_node(nullptr, "x"), nullptr);
        // Tracks of unequal lengths, and a directory of another kind.
        CPakNode* bad = pak.get_root()->create_dir_node("uneven");
        bad->create_data_node("VR_TYPE", NODE_STR32, "CamPath");
        CSpline3d three;
        three.keys = p.eye.keys;
        three.save_to_node(bad, "eyepos");
        three.save_to_node(bad, "targetpos");
        three.save_to_node(bad, "upvec");
        CSpline1d two;
        two.keys = {1, 2};
        two.save_to_node(bad, "fov");
        two.save_to_node(bad, "ortho_box");
        CPakNode* other = pak.get_root()->create_dir_node("other");
        other->create_data_node("VR_TYPE", NODE_STR32, "CCamera");
        pak.close_file();
    }
    CPakFile pak;
    ASSERT_EQ(pak.open(path.c_str(), 0), 1);
    CPakNode* node = pak.get_root()->find("path");
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->find("VR_TYPE")->get_node_type(), NODE_STR32);
    EXPECT_TRUE(node->is_type("VR_TYPE", "CamPath"));
    for (const char* name :
         {"eyepos-closed", "targetpos-closed", "upvec-closed", "fov-closed", "ortho_box-closed"})
        EXPECT_EQ(node->find(name)->get_node_type(), NODE_INT) << name;
    CCamPath q;
    ASSERT_EQ(q.load_from_node(node), 1);
    EXPECT_EQ(q.eye.keys, p.eye.keys);
    EXPECT_EQ(q.target.keys, p.target.keys);
    EXPECT_EQ(q.up.keys, p.up.keys);
    EXPECT_EQ(q.fov.keys, p.fov.keys);
    EXPECT_EQ(q.ortho_box.keys, p.ortho_box.keys);

    CCamPath kept = three_keys();
    kept.fov.keys[0] = 33;
    EXPECT_EQ(kept.load_from_node(pak.get_root()->find("uneven")), 0);
    EXPECT_EQ(kept.load_from_node(pak.get_root()->find("other")), 0);
    EXPECT_EQ(kept.load_from_node(nullptr), 0);
    EXPECT_EQ(kept.fov.keys[0], 33.0f); // unchanged
    EXPECT_EQ(kept.get_key_count(), 3);
}

class CamPathDraw : public qcore::test::DrawFixture {};

TEST_F(CamPathDraw, TheEyeTrackIsDrawnWithItsKeys) {
    CCamPath p;
    p.resize(3);
    p.eye.keys = {VEC(8, 8, 0.5f), VEC(32, 40, 0.5f), VEC(56, 8, 0.5f)};
    p.eye.set_modified();
    p.render(&core, nullptr);
    const auto f = frame();
    EXPECT_GT(count(f, 0x808080), 40); // the curve in the spline colour
    EXPECT_EQ(count(f, 0xFFFFFF), 3 * 16);
    EXPECT_EQ(f[40 * 64 + 32], 0xFFFFFFu); // a 4-pixel key point on the middle key
    const CRect box = ink(f);
    EXPECT_LE(box.left, 7);
    EXPECT_GE(box.right, 57);
    EXPECT_GE(box.bottom, 41);
}

} // namespace
