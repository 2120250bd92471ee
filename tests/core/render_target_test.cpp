#include <qcore/core/device.h>
#include <qcore/core/render_target.h>
#include <qcore/platform/d3d8/device_hooks.h>
#include <qcore/platform/win32/com_ref.h>
#include <qcore/platform/win32/message_box.h>

#include "core/device_fixture.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using qcore::DeviceCall;
using qcore::test::DeviceFixture;
template <class T> using Ref = qcore::ComRef<T>;

class RenderTarget : public DeviceFixture {
protected:
    void SetUp() override {
        DeviceFixture::SetUp();
        device = std::make_unique<CDevice>(&core);
        core.dev = device.get();
        ASSERT_EQ(device->create_windowed_device(window(), D3DFMT_D24S8, 320, 240), 1);
        dev = device->get_dev();
    }
    void TearDown() override {
        device.reset();
        core.dev = nullptr;
        DeviceFixture::TearDown();
    }

    // Pixel (x, y) of the target's texture, read back through an image surface.
    D3DCOLOR pixel(CRenderTarget& rt, UINT x, UINT y) {
        Ref<IDirect3DSurface8> level, copy;
        if (FAILED(rt.get_texture()->GetSurfaceLevel(0, level.out()))) return 0;
        D3DSURFACE_DESC desc;
        level->GetDesc(&desc);
        if (FAILED(dev->CreateImageSurface(desc.Width, desc.Height, desc.Format, copy.out()))) return 0;
        if (FAILED(dev->CopyRects(level.get(), nullptr, 0, copy.get(), nullptr))) return 0;
        D3DLOCKED_RECT lr;
        if (FAILED(copy->LockRect(&lr, nullptr, D3DLOCK_READONLY))) return 0;
        const D3DCOLOR c =
            reinterpret_cast<const D3DCOLOR*>(static_cast<const BYTE*>(lr.pBits) + y * lr.Pitch)[x];
        copy->UnlockRect();
        return c;
    }

    // Clears the target and draws a filled rectangle into it through a cleared viewport.
    void paint(CRenderTarget& rt, D3DCOLOR background, D3DCOLOR box) {
        ASSERT_TRUE(rt.begin_render(false, false, background));
        const D3DRECT r{8, 8, 24, 24};
        dev->Clear(1, &r, D3DCLEAR_TARGET, box, 1.0f, 0);
        rt.end_render();
    }

    std::unique_ptr<CDevice> device;
    IDirect3DDevice8* dev = nullptr;
};

TEST_F(RenderTarget, SizeNotAPowerOfTwoIsReportedAndStillTried) {
    qcore::MessageBoxRecorder boxes;
    std::unique_ptr<CRenderTarget> rt(
        CRenderTarget::create(&core, 300, 64, D3DFMT_A8R8G8B8, false, D3DFMT_D16));
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{"必须是2的n次方"});
    ASSERT_NE(rt, nullptr);
    D3DSURFACE_DESC desc;
    rt->get_texture()->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Width, 300u);
    EXPECT_EQ(desc.Usage & D3DUSAGE_RENDERTARGET, DWORD{D3DUSAGE_RENDERTARGET});
    EXPECT_EQ(desc.Pool, D3DPOOL_DEFAULT);
    EXPECT_EQ(rt->get_texture()->GetLevelCount(), 1u);
}

TEST_F(RenderTarget, CreationFailuresAreReportedAndGiveNull) {
    qcore::MessageBoxRecorder boxes;
    qcore::set_video_memory_budget(qcore::video_memory_in_use() + 1024);
    EXPECT_EQ(CRenderTarget::create(&core, 256, 256, D3DFMT_A8R8G8B8, true, D3DFMT_D16), nullptr);
    ASSERT_EQ(boxes.texts().size(), 1u);
    EXPECT_EQ(boxes.texts()[0].rfind("err Creater RenderTo Texture\n\nErrCode = D3DERR_OUTOFVIDEOMEMORY", 0),
              0u)
        << boxes.texts()[0];
    // Room for the texture but not for the depth surface.
    qcore::set_video_memory_budget(qcore::video_memory_in_use() + 256 * 256 * 4 + 1024);
    EXPECT_EQ(CRenderTarget::create(&core, 256, 256, D3DFMT_A8R8G8B8, true, D3DFMT_D16), nullptr);
    ASSERT_EQ(boxes.texts().size(), 2u);
    EXPECT_EQ(boxes.texts()[1].rfind("err Create Render to Z buf\n\nErrCode = ", 0), 0u) << boxes.texts()[1];
    EXPECT_EQ(core.local_objs->size(), 1u); // only the render-state manager is left
}

TEST_F(RenderTarget, RenderingSwitchesTargetsAndBack) {
    std::unique_ptr<CRenderTarget> rt(
        CRenderTarget::create(&core, 64, 32, D3DFMT_A8R8G8B8, true, D3DFMT_D16));
    ASSERT_NE(rt, nullptr);
    Ref<IDirect3DSurface8> back, depth;
    dev->GetRenderTarget(back.out());
    dev->GetDepthStencilSurface(depth.out());
    const D3DVIEWPORT8 before{10, 20, 100, 50, 0.25f, 0.75f};
    dev->SetViewport(&before);

    ASSERT_TRUE(rt->begin_render(true, false, 0xff204060));
    D3DVIEWPORT8 inside{};
    dev->GetViewport(&inside);
    EXPECT_EQ(inside.Width, 64u);
    EXPECT_EQ(inside.Height, 32u);
    Ref<IDirect3DSurface8> current;
    dev->GetRenderTarget(current.out());
    EXPECT_NE(current.get(), back.get());
    current.reset();
    EXPECT_FALSE(rt->begin_render(false, false, 0)); // no nesting
    rt->end_render();

    Ref<IDirect3DSurface8> after_rt, after_depth;
    dev->GetRenderTarget(after_rt.out());
    dev->GetDepthStencilSurface(after_depth.out());
    EXPECT_EQ(after_rt.get(), back.get());
    EXPECT_EQ(after_depth.get(), depth.get());
    D3DVIEWPORT8 after{};
    dev->GetViewport(&after);
    EXPECT_EQ(after.X, 10u);
    EXPECT_EQ(after.Width, 100u);
    EXPECT_EQ(after.MaxZ, 0.75f);
    EXPECT_EQ(pixel(*rt, 1, 1), 0xff204060u);
    rt->end_render(); // unpaired: nothing happens
}

TEST_F(RenderTarget, WithoutDepthOnlyColourIsCleared) {
    std::unique_ptr<CRenderTarget> rt(
        CRenderTarget::create(&core, 32, 32, D3DFMT_A8R8G8B8, false, D3DFMT_D16));
    ASSERT_NE(rt, nullptr);
    EXPECT_EQ(rt->get_zbuf(), nullptr);
    qcore::MessageBoxRecorder boxes;
    paint(*rt, 0xff000080, 0xffffffff);
    EXPECT_TRUE(boxes.texts().empty());
    EXPECT_EQ(pixel(*rt, 0, 0), 0xff000080u);
    EXPECT_EQ(pixel(*rt, 10, 10), 0xffffffffu);
}

TEST_F(RenderTarget, SurvivesADeviceResetWithANewTexture) {
    std::unique_ptr<CRenderTarget> rt(
        CRenderTarget::create(&core, 32, 32, D3DFMT_A8R8G8B8, true, D3DFMT_D16));
    ASSERT_NE(rt, nullptr);
    paint(*rt, 0xff102030, 0xffff8000);
    const D3DCOLOR before = pixel(*rt, 12, 12);
    const uint64_t textures = qcore::device_call_count(dev, DeviceCall::CreateTexture);
    qcore::set_desktop_mode(400, 300, D3DFMT_X8R8G8B8);
    ASSERT_EQ(device->reset_device(), 1);
    EXPECT_EQ(qcore::device_call_count(dev, DeviceCall::CreateTexture), textures + 1);
    ASSERT_NE(rt->get_texture(), nullptr);
    paint(*rt, 0xff102030, 0xffff8000);
    EXPECT_EQ(pixel(*rt, 12, 12), before);
    EXPECT_EQ(pixel(*rt, 0, 0), 0xff102030u);
}

TEST_F(RenderTarget, UnpairedBeginDoesNotBlockTheReset) {
    std::unique_ptr<CRenderTarget> rt(
        CRenderTarget::create(&core, 32, 32, D3DFMT_A8R8G8B8, true, D3DFMT_D16));
    ASSERT_NE(rt, nullptr);
    for (int i = 0; i < 3; ++i)
        paint(*rt, 0xff000000, 0xffffffff);
    ASSERT_TRUE(rt->begin_render(false, false, 0));
    dev->EndScene();
    dev->SetRenderTarget(nullptr, nullptr);
    qcore::MessageBoxRecorder boxes;
    EXPECT_EQ(device->reset_device(), 1) << (boxes.texts().empty() ? "" : boxes.texts()[0]);
    EXPECT_TRUE(rt->begin_render(false, false, 0));
    rt->end_render();
}

TEST_F(RenderTarget, FailedRecreationLeavesATargetThatRefusesToRender) {
    std::unique_ptr<CRenderTarget> rt(
        CRenderTarget::create(&core, 64, 64, D3DFMT_A8R8G8B8, false, D3DFMT_D16));
    ASSERT_NE(rt, nullptr);
    // During the reset, after the target let go of its texture, the budget shrinks to the back buffers
    // (the same size again).
    qcore::set_desktop_mode(320, 240, D3DFMT_X8R8G8B8);
    qcore::set_reset_filter([](IDirect3DDevice8*, const D3DPRESENT_PARAMETERS&) {
        qcore::set_video_memory_budget(qcore::video_memory_in_use() + 8192);
        return D3D_OK;
    });
    qcore::MessageBoxRecorder boxes;
    EXPECT_EQ(device->reset_device(), 1);
    ASSERT_EQ(boxes.texts().size(), 1u);
    EXPECT_EQ(boxes.texts()[0].rfind("err Creater RenderTo Texture", 0), 0u);
    EXPECT_EQ(rt->get_texture(), nullptr);
    EXPECT_FALSE(rt->begin_render(false, false, 0));
    rt->end_render();
}

TEST(RenderOption, DefaultsAndReferences) {
    CRenderOption a;
    EXPECT_EQ(a.show_flag, SHOW_ALL);
    EXPECT_EQ(a.fill_mode, D3DFILL_SOLID);
    EXPECT_EQ(a.timer, nullptr);
    EXPECT_EQ(a.value, -1);
    const MAT m = MAT::get_pan_matrix(1, 2, 3);
    const CRenderOption b(SHOW_FACES, D3DFILL_WIREFRAME, nullptr, &m);
    EXPECT_EQ(b.matrix, &m);
    EXPECT_EQ(b.value, -1);
    EXPECT_EQ(b.object, nullptr);
}

} // namespace
