#include <qcore/platform/win32/afxwin.h>
#include <qcore/view/base_vport.h>

#include "view/view_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <vector>

namespace {

using qcore::DeviceCall;
using qcore::test::ViewFixture;

struct ColourVertex {
    float x, y, z;
    D3DCOLOR c;
};

// A viewport that draws a scene through its camera inside its 3D area, as host views do.
class SceneView : public CBaseVport {
public:
    std::function<void(IDirect3DDevice8*)> scene;
    int frames = 0;

    void update_view() override {
        if (!begin_render()) return;
        camera.apply_transform(this);
        D3DVIEWPORT8 saved{};
        if (set_3d_aera_as_vport(saved)) {
            if (scene) scene(get_dev());
            restore_vport(&saved);
        }
        end_render();
        ++frames;
    }
};

void draw_triangles(IDirect3DDevice8* dev, const std::vector<ColourVertex>& v) {
    dev->SetRenderState(D3DRS_LIGHTING, FALSE);
    dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    dev->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    dev->SetTexture(0, nullptr);
    dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    dev->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    dev->SetVertexShader(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, static_cast<UINT>(v.size() / 3), v.data(), sizeof(ColourVertex));
}

// A square of half size s around p, facing the default camera.
std::vector<ColourVertex> square(const VEC& p, float s, D3DCOLOR c) {
    return {{p.x - s, p.y - s, p.z, c}, {p.x + s, p.y - s, p.z, c}, {p.x + s, p.y + s, p.z, c},
            {p.x - s, p.y - s, p.z, c}, {p.x + s, p.y + s, p.z, c}, {p.x - s, p.y + s, p.z, c}};
}

class Vport : public ViewFixture {
protected:
    SceneView* make_scene_view(int width, int height, int aa = 1) {
        windows.push_back(qcore::test::make_render_window(width, height));
        views.push_back(std::make_unique<SceneView>());
        auto* v = static_cast<SceneView*>(views.back().get());
        v->init_3d_envment(device.get(), aa);
        windows.back()->set_view(v);
        v->set_wnd(windows.back().get());
        return v;
    }
    static void letterbox(CBaseVport* v, const FRect& area_3d) {
        CAeraCfg& cfg = v->get_aera_cfg();
        cfg.set_all_same(0);
        cfg.set_auto_stretch_workaera(0);
        cfg.set_3d_frect(area_3d);
        v->update_aera_calculations();
    }
    static qcore::WindowImage shot(CBaseVport* v) {
        return qcore::capture_window(v->get_wnd()->GetSafeHwnd());
    }
};

int red(uint32_t p) {
    return (p >> 16) & 0xff;
}
int green(uint32_t p) {
    return (p >> 8) & 0xff;
}
int blue(uint32_t p) {
    return p & 0xff;
}

TEST_F(Vport, ScaleTwoRendersTwiceTheClientAndShrinksIntoIt) {
    ASSERT_TRUE(make_device(800, 600));
    CBaseVport* v = make_view(400, 300, 2);
    const D3DVIEWPORT8& r = v->get_rect();
    EXPECT_EQ(r.X, 0u);
    EXPECT_EQ(r.Width, 800u);
    EXPECT_EQ(r.Height, 600u);
    EXPECT_EQ(r.MaxZ, 1.0f);
    EXPECT_EQ(v->get_3d_aera(), CRect(0, 0, 800, 600));
    HWND hwnd = v->get_wnd()->GetSafeHwnd();
    const unsigned presents = qcore::window_present_count(hwnd);
    ASSERT_TRUE(v->begin_render());
    // The left half of the back-buffer region red: it must fill the left half of the client area.
    const D3DRECT left{0, 0, 400, 600};
    v->get_dev()->Clear(1, &left, D3DCLEAR_TARGET, 0xffff0000, 1.0f, 0);
    v->end_render();
    EXPECT_EQ(qcore::window_present_count(hwnd), presents + 1);
    const qcore::WindowImage img = shot(v);
    ASSERT_EQ(img.width, 400);
    ASSERT_EQ(img.height, 300);
    EXPECT_EQ(img.at(10, 150) & 0xffffff, 0xff0000u);
    EXPECT_EQ(img.at(198, 10) & 0xffffff, 0xff0000u);
    EXPECT_EQ(img.at(202, 10) & 0xffffff, 0x808080u);
    EXPECT_EQ(img.at(390, 290) & 0xffffff, 0x808080u);
}

TEST_F(Vport, RegionLargerThanTheBackBufferShrinksAsAWhole) {
    ASSERT_TRUE(make_device(800, 600));
    CBaseVport* v = make_view(400, 300, 4);
    EXPECT_EQ(v->get_rect().Width, 800u);
    EXPECT_EQ(v->get_rect().Height, 600u);
    CBaseVport* wide = make_view(1000, 300, 1);
    EXPECT_EQ(wide->get_rect().Width, 800u);
    EXPECT_EQ(wide->get_rect().Height, 240u);
    EXPECT_TRUE(wide->begin_render());
    wide->end_render();
}

TEST_F(Vport, BarsAndBandsAreClearedInTheirColours) {
    // With and without a stencil part: the clears ask only for the buffers the device has.
    for (const D3DFORMAT depth : {D3DFMT_D24S8, D3DFMT_D16}) {
        ASSERT_TRUE(make_device(400, 200, depth));
        CBaseVport* v = make_view(400, 200, 1);
        v->get_aera_cfg().set_color_outof_workaera(0xff0000ff);
        letterbox(v, FRect(0.25f, 0.25f, 0.75f, 0.75f));
        // 4:3 of a 200 pixel height is 267 wide, from (400 - 267) / 2 = 66.
        EXPECT_EQ(v->get_work_aera(), CRect(66, 0, 333, 200));
        EXPECT_EQ(v->get_outer_bar(0), CRect(0, 0, 66, 200));
        const uint64_t clears = qcore::device_call_count(v->get_dev(), DeviceCall::Clear);
        v->update_view();
        EXPECT_EQ(qcore::device_call_count(v->get_dev(), DeviceCall::Clear),
                  clears + 7); // 2 bars, 4 bands, area
        const qcore::WindowImage img = shot(v);
        EXPECT_EQ(img.at(30, 100) & 0xffffff, 0x0000ffu);  // bar
        EXPECT_EQ(img.at(370, 100) & 0xffffff, 0x0000ffu); // bar
        EXPECT_EQ(img.at(70, 100) & 0xffffff, 0x000000u);  // band left of the 3D area
        EXPECT_EQ(img.at(200, 20) & 0xffffff, 0x000000u);  // band above it
        EXPECT_EQ(img.at(200, 100) & 0xffffff, 0x808080u); // the 3D area
        views.clear();
        windows.clear();
        device.reset();
    }
}

TEST_F(Vport, PickingAndDrawingMeetAtScaleTwo) {
    ASSERT_TRUE(make_device(800, 480));
    SceneView* v = make_scene_view(400, 240, 2);
    letterbox(v, FRect(0.25f, 0.25f, 0.75f, 0.75f));
    EXPECT_EQ(v->get_3d_aera(), CRect(240, 120, 560, 360));
    const VEC p(30, 20, 50);
    v->scene = [&](IDirect3DDevice8* dev) { draw_triangles(dev, square(p, 10, 0xffff0000)); };
    v->update_view();

    VEC screen;
    ASSERT_EQ(v->proj_3dpos_to_screen(p, screen), 1);
    // Where the square shows in the window: the centre of its pure red pixels.
    const qcore::WindowImage img = shot(v);
    double sx = 0, sy = 0;
    int n = 0;
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x)
            if (red(img.at(x, y)) > 200 && green(img.at(x, y)) < 60) {
                sx += x + 0.5;
                sy += y + 0.5;
                ++n;
            }
    ASSERT_GT(n, 10);
    EXPECT_NEAR(sx / n, screen.x, 1.0);
    EXPECT_NEAR(sy / n, screen.y, 1.0);

    // Back from the window point at the same depth, and the cursor test on the same point.
    const VEC back = v->proj_screen_pos_to_3d(screen);
    EXPECT_NEAR(back.x, p.x, 0.05);
    EXPECT_NEAR(back.y, p.y, 0.05);
    EXPECT_NEAR(back.z, p.z, 0.05);
    const VEC in_bbuf = v->client_to_bbuf(screen);
    EXPECT_FLOAT_EQ(in_bbuf.x, 2 * screen.x);
    EXPECT_FLOAT_EQ(in_bbuf.y, 2 * screen.y);
    const CPoint client(static_cast<int>(screen.x), static_cast<int>(screen.y));
    EXPECT_TRUE(v->get_3d_aera().PtInRect(v->client_to_bbuf(client)));
    EXPECT_FALSE(v->get_3d_aera().PtInRect(v->client_to_bbuf(CPoint(100, 60))));
}

TEST_F(Vport, PointsBehindTheNearPlaneDoNotProject) {
    ASSERT_TRUE(make_device(320, 240));
    CBaseVport* v = make_view(320, 240);
    VEC screen;
    EXPECT_EQ(v->proj_3dpos_to_screen(VEC(0, 0, 500), screen), 1);
    EXPECT_NEAR(screen.x, 160, 1e-3);
    EXPECT_NEAR(screen.y, 120, 1e-3);
    EXPECT_EQ(v->proj_3dpos_to_screen(VEC(0, 0, -99.5f), screen), 0); // between eye and near plane
    EXPECT_EQ(v->proj_3dpos_to_screen(VEC(10, 0, -150), screen), 0);  // behind the eye
    EXPECT_EQ(v->proj_3dpos_to_screen(VEC(0, 0, 200000), screen), 0); // past the far plane
    EXPECT_TRUE(v->proj_screen_pos_to_3d(VEC(10, 10, 0.5f)).is_zero());
    EXPECT_TRUE(v->proj_screen_pos_to_3d(VEC(10, 10, 200000)).is_zero());
    // Near and far planes unproject onto the pick ray through the window point.
    const VEC a = v->proj_screen_pos_to_3d(VEC(240, 120, 1));
    const VEC b = v->proj_screen_pos_to_3d(VEC(240, 120, 100000));
    EXPECT_NEAR(a.z, -99, 1e-2);
    EXPECT_NEAR(a.x, 0.5, 1e-3);  // 80 of 160 half-width pixels right, at distance 1
    EXPECT_NEAR(b.z, 99900, 500); // depth precision at the far plane
    EXPECT_NEAR(b.x / (b.z + 100), 0.5, 1e-3);
}

TEST_F(Vport, FourBlocksStitchIntoTheDoubleSizePicture) {
    ASSERT_TRUE(make_device(320, 240));
    const std::vector<ColourVertex> scene = [] {
        std::vector<ColourVertex> t = {{-90, -60, 0, 0xffff0000}, {70, -20, 0, 0xff00ff00},
                                       {-10, 75, 0, 0xff0000ff},  {20, 20, 0, 0xffffff00},
                                       {95, 70, 0, 0xff00ffff},   {60, -70, 0, 0xffff00ff}};
        for (const ColourVertex& v : square(VEC(-40, 30, 0), 12, 0xffffffff))
            t.push_back(v);
        return t;
    }();
    SceneView* full = make_scene_view(320, 240);
    full->scene = [&](IDirect3DDevice8* dev) { draw_triangles(dev, scene); };
    full->update_view();
    const qcore::WindowImage whole = shot(full);

    SceneView* block = make_scene_view(160, 120);
    block->scene = full->scene;
    std::vector<uint32_t> stitched(320 * 240, 0);
    for (int col = 0; col < 2; ++col)
        for (int row = 0; row < 2; ++row) {
            block->get_camera().get_ss_info() = {1, 2, col, row};
            block->update_view();
            const qcore::WindowImage part = shot(block);
            // Row 0 is the bottom block.
            const int x0 = 160 * col, y0 = 120 * (1 - row);
            for (int y = 0; y < 120; ++y)
                for (int x = 0; x < 160; ++x)
                    stitched[size_t(y0 + y) * 320 + size_t(x0 + x)] = part.at(x, y);
        }
    int differing = 0, coloured = 0;
    for (int i = 0; i < 320 * 240; ++i) {
        const uint32_t a = whole.pixels[size_t(i)] & 0xffffff, b = stitched[size_t(i)] & 0xffffff;
        if (a != 0x808080) ++coloured;
        if (std::abs(red(a) - red(b)) + std::abs(green(a) - green(b)) + std::abs(blue(a) - blue(b)) > 24)
            ++differing;
    }
    EXPECT_GT(coloured, 320 * 240 / 10);
    // Only edge pixels may round differently.
    EXPECT_LT(differing, 320 * 240 / 200) << differing;
}

TEST_F(Vport, BlockOutsideTheViewportLeavesTheDeviceAlone) {
    ASSERT_TRUE(make_device(320, 240));
    CBaseVport* v = make_view(160, 120);
    letterbox(v, FRect(0, 0, 0.4f, 0.4f));
    v->get_camera().get_ss_info() = {1, 2, 1, 1}; // top-right block: the 3D area lies in the top-left one
    IDirect3DDevice8* dev = v->get_dev();
    const uint64_t sets = qcore::device_call_count(dev, DeviceCall::SetViewport);
    const uint64_t gets = qcore::device_call_count(dev, DeviceCall::GetViewport);
    D3DVIEWPORT8 saved{};
    EXPECT_EQ(v->set_3d_aera_as_vport(saved), 0);
    EXPECT_EQ(qcore::device_call_count(dev, DeviceCall::SetViewport), sets);
    EXPECT_EQ(qcore::device_call_count(dev, DeviceCall::GetViewport), gets);
    // The top-left block holds it, enlarged twice.
    v->get_camera().get_ss_info() = {1, 2, 0, 1};
    ASSERT_EQ(v->set_3d_aera_as_vport(saved), 1);
    D3DVIEWPORT8 now{};
    dev->GetViewport(&now);
    EXPECT_EQ(now.X, 0u);
    EXPECT_EQ(now.Y, 0u);
    EXPECT_EQ(now.Width, 128u);
    EXPECT_EQ(now.Height, 96u);
    v->restore_vport(&saved);
    dev->GetViewport(&now);
    EXPECT_EQ(now.Width, saved.Width);
}

TEST_F(Vport, EmptyMinimisedOrUnboundViewsRenderNothing) {
    ASSERT_TRUE(make_device(320, 240));
    CBaseVport unbound;
    EXPECT_FALSE(unbound.is_window_valid());
    EXPECT_FALSE(unbound.begin_render());
    unbound.end_render();
    unbound.present_backbuffer();
    unbound.update_aera_calculations();
    D3DVIEWPORT8 saved{};
    EXPECT_EQ(unbound.set_3d_aera_as_vport(saved), 0);
    VEC screen;
    unbound.proj_3dpos_to_screen(VEC(0, 0, 10), screen); // no area: a defined, finite answer
    EXPECT_TRUE(std::isfinite(screen.x) && std::isfinite(screen.y) && std::isfinite(screen.z));

    CBaseVport* empty = make_view(0, 0);
    EXPECT_FALSE(empty->is_window_valid());
    EXPECT_FALSE(empty->begin_render());
    EXPECT_EQ(empty->get_rect().Width, 0u);

    CBaseVport* v = make_view(200, 100);
    v->get_wnd()->ShowWindow(SW_MINIMIZE);
    EXPECT_FALSE(v->is_window_valid());
    const uint64_t begins = qcore::device_call_count(v->get_dev(), DeviceCall::BeginScene);
    v->update_view();
    EXPECT_EQ(qcore::device_call_count(v->get_dev(), DeviceCall::BeginScene), begins);

    CBaseVport* no_device = make_view(200, 100);
    no_device->set_device(nullptr);
    EXPECT_FALSE(no_device->begin_render());
}

TEST_F(Vport, ViewportAndWindowCanEndInEitherOrder) {
    ASSERT_TRUE(make_device(320, 240));
    auto wnd = qcore::test::make_render_window(100, 100);
    {
        CBaseVport v;
        wnd->set_view(&v);
        v.set_wnd(wnd.get());
    }
    EXPECT_EQ(wnd->get_view(), nullptr);
    auto v = std::make_unique<CBaseVport>();
    wnd->set_view(v.get());
    v->set_wnd(wnd.get());
    wnd.reset();
    EXPECT_EQ(v->get_wnd(), nullptr);
    EXPECT_FALSE(v->begin_render());
}

} // namespace
