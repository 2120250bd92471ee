#include "support/temp_dir.h"

#include "sample_scene.h"
#include "viewer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace {

using qscene::CMeshItem;
using qview::CViewer;

constexpr uint32_t kBackground = 0x808080;

MAT at(float x, float y, float z) {
    MAT m;
    D3DXMatrixTranslation(&m, x, y, z);
    return m;
}

bool reddish(uint32_t p) {
    const int r = (p >> 16) & 0xff, g = (p >> 8) & 0xff, b = p & 0xff;
    return r > 150 && g < 80 && b < 80;
}

// A viewer on a 320 x 240 window whose camera looks along +z at the origin from 5 units away; items are
// added by the test.
class Viewer : public ::testing::Test {
protected:
    void SetUp() override {
        qview::ViewerOptions options;
        options.width = 320;
        options.height = 240;
        std::string error;
        ASSERT_TRUE(viewer.open(options, error)) << error;
        scene.camera.set_proj_params(60, 0.1f, 100);
        scene.camera.set_view_params(VEC(0, 0, -5), VEC(0, 0, 0), VEC(0, 1, 0));
    }
    void TearDown() override { qcore::reset_input_state(); }

    int material(float r, float g, float b, float alpha = 1) {
        scene.materials.push_back({qview::make_colour_material(&core, r, g, b, alpha), {}});
        return static_cast<int>(scene.materials.size()) - 1;
    }
    CMeshItem* box(const char* name, float size, const MAT& where, int mtl) {
        scene.meshes.push_back(qview::make_box_mesh(viewer.device().get_dev(), size, size, size));
        return scene.add_item(name, static_cast<int>(scene.meshes.size()) - 1, where, {mtl});
    }
    // Shows the scene and draws one frame without the frame-rate text, which changes from frame to frame.
    qcore::WindowImage show() {
        viewer.show_scene();
        return frame();
    }
    qcore::WindowImage frame() {
        viewer.view().font = nullptr;
        viewer.render_frame();
        return qcore::capture_window(viewer.hwnd());
    }
    static uint32_t pixel(const qcore::WindowImage& image, int x, int y) {
        return image.pixels[static_cast<size_t>(y) * image.width + x] & 0xffffff;
    }
    CPoint centre() const {
        CRect r;
        GetClientRect(viewer.hwnd(), &r);
        return CPoint(r.Width() / 2, r.Height() / 2);
    }
    CPoint on_screen(const VEC& world) {
        VEC s;
        viewer.view().proj_3dpos_to_screen(world, s);
        return CPoint(static_cast<int>(s.x), static_cast<int>(s.y));
    }
    float x_of(const CMeshItem* item) const { return item->get_wts()._41; }

    gCore core;
    qscene::CScene scene{&core};
    CViewer viewer{core, scene};
};

TEST_F(Viewer, DrawsTheItemWhereTheCameraLooksAndTheBackgroundElsewhere) {
    box("box", 2, at(0, 0, 0), material(0.9f, 0.15f, 0.1f));
    const qcore::WindowImage image = show();
    ASSERT_GT(image.width, 100);
    const CPoint c = centre();
    EXPECT_TRUE(reddish(pixel(image, c.x, c.y))) << std::hex << pixel(image, c.x, c.y);
    EXPECT_EQ(pixel(image, 4, image.height - 4), kBackground);
    EXPECT_EQ(pixel(image, image.width - 4, 4), kBackground);
}

TEST_F(Viewer, ItemsWithUnknownMaterialsOrNoMeshAreDrawnOrSkippedSafely) {
    CMeshItem* odd = box("odd material", 2, at(0, 0, 0), 42);
    scene.add_item("no mesh", 99, at(0, 0, 0), {0});
    odd->materials.clear(); // no material list at all: the first subset with the default material
    const qcore::WindowImage image = show();
    const CPoint c = centre();
    const uint32_t p = pixel(image, c.x, c.y);
    EXPECT_NE(p, kBackground);
    EXPECT_EQ((p >> 16) & 0xff, p & 0xff) << std::hex << p; // the default grey
    odd->materials = {42};
    EXPECT_EQ(pixel(frame(), c.x, c.y), p);
    EXPECT_EQ(viewer.view().item_at(c), odd);
}

TEST_F(Viewer, TransparentItemsBlendOverOpaqueOnesWhateverTheirOrder) {
    // The glass comes first in the scene and nearer the camera: drawn in scene order, the red box behind
    // would overwrite it.
    box("glass", 1, at(0, 0, -2), material(1, 1, 1, 0.5f));
    box("red", 2, at(0, 0, 0), material(0.9f, 0.15f, 0.1f));
    const qcore::WindowImage image = show();
    const CPoint c = centre();
    const uint32_t p = pixel(image, c.x, c.y);
    const int r = (p >> 16) & 0xff, g = (p >> 8) & 0xff;
    EXPECT_GT(g, 80) << std::hex << p;     // the glass shows
    EXPECT_GT(r, g + 40) << std::hex << p; // and the red box through it
}

TEST_F(Viewer, AClickPicksTheItemUnderItAndTheBackgroundClearsTheSelection) {
    box("left", 1, at(-1.5f, 0, 0), material(0.9f, 0.15f, 0.1f));
    CMeshItem* right = box("right", 1, at(1.5f, 0, 0), material(0.1f, 0.15f, 0.9f));
    show();
    qview::CSceneView& view = viewer.view();
    EXPECT_EQ(view.pick(on_screen(VEC(1.5f, 0, 0))), right);
    EXPECT_EQ(view.get_selected(), right);
    EXPECT_TRUE(right->is_selected());
    EXPECT_EQ(view.pick(centre()), nullptr); // between the boxes
    EXPECT_EQ(view.get_selected(), nullptr);
    EXPECT_FALSE(right->is_selected());
    EXPECT_EQ(view.pick(CPoint(2, 2)), nullptr);
}

TEST_F(Viewer, MovingThePickedItemIsUndoneAndRedoneAndPickingFollowsIt) {
    CMeshItem* item = box("box", 1, at(0, 0, 0), material(0.9f, 0.15f, 0.1f));
    show();
    qview::CSceneView& view = viewer.view();
    ASSERT_EQ(view.pick(centre()), item);
    const CPoint moved_to = on_screen(VEC(2, 0, 0));
    ASSERT_TRUE(view.move_selected(VEC(2, 0, 0)));
    EXPECT_FLOAT_EQ(x_of(item), 2);
    EXPECT_EQ(view.item_at(centre()), nullptr);
    EXPECT_EQ(view.item_at(moved_to), item);
    EXPECT_TRUE(reddish(pixel(frame(), moved_to.x, moved_to.y)));

    view.undo();
    EXPECT_FLOAT_EQ(x_of(item), 0);
    EXPECT_EQ(view.item_at(centre()), item);
    EXPECT_EQ(view.item_at(moved_to), nullptr);
    EXPECT_EQ(pixel(frame(), moved_to.x, moved_to.y), kBackground);
    view.redo();
    EXPECT_FLOAT_EQ(x_of(item), 2);
    EXPECT_EQ(view.item_at(moved_to), item);

    view.select(nullptr);
    EXPECT_FALSE(view.move_selected(VEC(1, 0, 0)));
    EXPECT_EQ(view.get_undo_man().can_undo(), 1);
}

TEST_F(Viewer, AShiftDragMovesThePickedItemAsOneStepAndKeysUndoIt) {
    CMeshItem* item = box("box", 1, at(0, 0, 0), material(0.9f, 0.15f, 0.1f));
    show();
    qview::CSceneView& view = viewer.view();
    qview::ViewTool tool(&view, VEC(0, 0, 0));
    const CPoint c = centre();
    // A press and release a pixel apart is a click: it picks.
    const VEC eye = view.get_camera().get_eye_pos();
    tool.v_on_lbutton_down(0, c);
    tool.v_on_mouse_move(MK_LBUTTON, CPoint(c.x + 1, c.y));
    tool.v_on_lbutton_up(0, CPoint(c.x + 1, c.y));
    ASSERT_EQ(view.get_selected(), item);
    // A plain drag orbits: no pick at its end.
    tool.v_on_lbutton_down(0, CPoint(10, 10));
    tool.v_on_mouse_move(MK_LBUTTON, CPoint(30, 10));
    tool.v_on_lbutton_up(0, CPoint(30, 10));
    EXPECT_EQ(view.get_selected(), item) << "a drag is not a click";
    view.get_camera().set_view_params(eye, VEC(0, 0, 0), VEC(0, 1, 0));

    tool.v_on_lbutton_down(MK_SHIFT, c);
    for (int step = 1; step <= 3; ++step)
        tool.v_on_mouse_move(MK_SHIFT | MK_LBUTTON, CPoint(c.x + 20 * step, c.y));
    tool.v_on_lbutton_up(MK_SHIFT, CPoint(c.x + 60, c.y));
    EXPECT_GT(x_of(item), 0.5f);
    EXPECT_EQ(view.get_undo_man().can_undo(), 1);
    EXPECT_EQ(view.item_at(CPoint(c.x + 60, c.y)), item);

    EXPECT_TRUE(viewer.on_key(VK_RIGHT));
    EXPECT_EQ(view.get_undo_man().can_undo(), 2);
    EXPECT_FALSE(viewer.on_key('Z')) << "Z without Ctrl does nothing";
    qcore::inject_key(VK_CONTROL, true);
    EXPECT_TRUE(viewer.on_key('Z'));
    EXPECT_TRUE(viewer.on_key('Z'));
    EXPECT_FLOAT_EQ(x_of(item), 0);
    EXPECT_TRUE(viewer.on_key('Y'));
    EXPECT_GT(x_of(item), 0.5f);
}

TEST_F(Viewer, DeviceResetsKeepThePicture) {
    CMeshItem* item = box("box", 2, at(0, 0, 0), material(0.9f, 0.15f, 0.1f));
    const qcore::WindowImage before = show();
    viewer.view().pick(centre());
    viewer.view().select(nullptr);
    ASSERT_TRUE(viewer.resize(200, 150));
    const qcore::WindowImage small = frame();
    EXPECT_TRUE(reddish(pixel(small, small.width / 2, small.height / 2)));
    ASSERT_TRUE(viewer.resize(320, 240));
    EXPECT_EQ(frame().pixels, before.pixels);
    ASSERT_TRUE(viewer.set_aa(2));
    const qcore::WindowImage smooth = frame();
    EXPECT_TRUE(reddish(pixel(smooth, smooth.width / 2, smooth.height / 2)));
    EXPECT_EQ(viewer.view().item_at(centre()), item); // client points still pick at scale 2
    EXPECT_EQ(viewer.view().item_at(CPoint(4, 4)), nullptr);
    ASSERT_TRUE(viewer.set_aa(1));
    EXPECT_EQ(frame().pixels, before.pixels);
    EXPECT_EQ(viewer.view().item_at(centre()), item);
    EXPECT_FALSE(viewer.set_aa(3));
}

TEST_F(Viewer, TheCameraPathPlaysAndAPathlessSceneIsCircled) {
    show();
    viewer.play_path(true);
    EXPECT_FALSE(viewer.is_playing_path()); // nothing to circle
    box("box", 1, at(0, 0, 0), material(0.9f, 0.15f, 0.1f));
    show();
    viewer.play_path(true);
    EXPECT_TRUE(viewer.is_playing_path());
    EXPECT_GE(scene.cam_path.get_key_count(), 8);

    scene.cam_path.free();
    CCamera cam = scene.camera;
    scene.cam_path.add_key(cam);
    cam.set_view_params(VEC(5, 0, 0), VEC(0, 0, 0), VEC(0, 1, 0));
    scene.cam_path.add_key(cam);
    viewer.play_path(true);
    ASSERT_TRUE(viewer.is_playing_path());
    frame();
    const VEC first = viewer.view().get_camera().get_eye_pos();
    frame();
    frame();
    EXPECT_GT((viewer.view().get_camera().get_eye_pos() - first).len(), 1e-3f);
}

TEST_F(Viewer, TheOrbitPathCirclesTheSceneAndKeepsItInView) {
    box("box", 2, at(3, 0, 4), material(0.9f, 0.15f, 0.1f));
    scene.frame_camera();
    scene.make_orbit_path(8);
    const VEC centre_of_scene(3, 0, 4);
    const float distance = (scene.camera.get_eye_pos() - centre_of_scene).len();
    show();
    viewer.play_path(true);
    for (int f = 0; f < 240; f += 40) {
        const qcore::WindowImage image = frame();
        const VEC eye = viewer.view().get_camera().get_eye_pos();
        EXPECT_NEAR((eye - centre_of_scene).len(), distance, distance * 0.05f) << f;
        // Red, lit or in the shade.
        const uint32_t p = pixel(image, image.width / 2, image.height / 2);
        EXPECT_GT((p >> 16) & 0xff, 40u) << f;
        EXPECT_GT((p >> 16) & 0xff, 2 * ((p >> 8) & 0xff)) << f;
        for (int skip = 1; skip < 40; ++skip)
            viewer.render_frame();
    }
}

TEST_F(Viewer, TheSampleSceneShowsItsItemsAndPlaysItsVideo) {
    qcore::test::TempDir dir;
    std::string error;
    ASSERT_TRUE(qview::build_sample_scene(scene, viewer.device().get_dev(), dir.path(), error)) << error;
    viewer.show_scene();
    EXPECT_EQ(viewer.videos_playing(), 1);
    EXPECT_GE(scene.cam_path.get_key_count(), 2);
    // The clip's colour bars replace the panel's plain white once frames arrive.
    const CPoint panel = on_screen(VEC(0, 1.25f, 1.7f)); // above the torus in front
    auto saturated = [&](const qcore::WindowImage& shot) {
        int n = 0;
        for (int y = panel.y - 3; y < panel.y + 3; ++y)
            for (int x = panel.x - 6; x < panel.x + 6; ++x) {
                const uint32_t p = pixel(shot, x, y);
                const int r = (p >> 16) & 0xff, g = (p >> 8) & 0xff, b = p & 0xff;
                n += std::max({r, g, b}) - std::min({r, g, b}) > 100;
            }
        return n;
    };
    int bars = 0;
    for (int tries = 0; tries < 400 && bars < 15; ++tries) {
        peek_and_pump();
        bars = saturated(frame());
        if (bars < 15) Sleep(5);
    }
    EXPECT_GE(bars, 15);
    const qcore::WindowImage image = frame();
    int coloured = 0;
    for (uint32_t p : image.pixels)
        coloured += (p & 0xffffff) != kBackground;
    EXPECT_GT(coloured, image.width * image.height / 5);
    // The glass box is picked where the camera sees it.
    const CMeshItem* glass = nullptr;
    for (const auto& item : scene.items)
        if (item->get_name() == "glass box") glass = item.get();
    ASSERT_NE(glass, nullptr);
    EXPECT_EQ(viewer.view().item_at(on_screen(glass->get_box().center().get_vertex_transf(glass->get_wts()))),
              glass);
}

// Runs the viewer program headless; its exit status and what it wrote on standard error.
int run_viewer(const std::string& args, std::string* errors) {
    qcore::test::TempDir dir;
    // A sanitizer build's leak report lists its suppressions on standard error: not here.
    const std::string cmd =
        "env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER "
        "LSAN_OPTIONS=\"$LSAN_OPTIONS:print_suppressions=0\" QCORE_WINDOW_BACKEND=headless " QCORE_BIN_DIR
        "/qcore-view " +
        args + " 2>" + dir.file("err") + " >/dev/null";
    const int status = std::system(cmd.c_str());
    *errors = qcore::test::read_file_bytes(dir.file("err"));
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(ViewerProgram, ASceneThatCannotBeOpenedGivesOneLineAndFailure) {
    qcore::test::TempDir dir;
    qcore::test::write_file_bytes(dir.file("junk.tpk"), "not a scene at all");
    for (const std::string& path : {dir.file("missing.tpk"), dir.path()}) {
        std::string errors;
        EXPECT_EQ(run_viewer(path + " --frames 1", &errors), 1) << path;
        EXPECT_EQ(errors.rfind("qcore-view: " + path + ": ", 0), 0u) << errors;
        EXPECT_EQ(errors.find('\n'), errors.size() - 1) << errors;
    }
    // A file that is not a scene: the reader's reason ends the output.
    std::string errors;
    EXPECT_EQ(run_viewer(dir.file("junk.tpk") + " --frames 1", &errors), 1);
    ASSERT_FALSE(errors.empty());
    const size_t from = errors.rfind('\n', errors.size() - 2);
    const std::string last_line = errors.substr(from == std::string::npos ? 0 : from + 1);
    EXPECT_EQ(last_line.rfind("qcore-view: " + dir.file("junk.tpk") + ": ", 0), 0u) << errors;
    EXPECT_EQ(run_viewer("--frames 0 --sample", &errors), 2);
    EXPECT_NE(errors.find("usage:"), std::string::npos);
    // A window asked for where there is no display: one line and failure, not an invisible window.
    EXPECT_EQ(run_viewer("--sample --sdl", &errors), 1);
    EXPECT_EQ(errors, "qcore-view: no window system for --sdl (is DISPLAY set?)\n");
}

TEST(ViewerProgram, SavesTheSampleAsJpegOrBmp) {
    qcore::test::TempDir dir;
    std::string errors;
    ASSERT_EQ(
        run_viewer("--sample --frames 2 --size 160x120 --play-path --save " + dir.file("a.jpg"), &errors), 0)
        << errors;
    EXPECT_EQ(qcore::test::read_file_bytes(dir.file("a.jpg")).substr(0, 2), "\xff\xd8");
    ASSERT_EQ(run_viewer("--sample --frames 1 --size 160x120 --aa 2 --save " + dir.file("b.bmp"), &errors), 0)
        << errors;
    const std::string bmp = qcore::test::read_file_bytes(dir.file("b.bmp"));
    ASSERT_GT(bmp.size(), 54u);
    EXPECT_EQ(bmp.substr(0, 2), "BM");
    EXPECT_EQ(static_cast<unsigned char>(bmp[18]),
              160); // saved at the window's size, not the antialiased one
}

} // namespace
