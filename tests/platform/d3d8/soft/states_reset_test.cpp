#include "device_fixture.h"

#include <cstring>

namespace qcore::test {
namespace {

DWORD float_bits(float f) {
    DWORD d;
    std::memcpy(&d, &f, 4);
    return d;
}

class StateTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        ASSERT_EQ(create(windowed_pp(64, 32)), D3D_OK);
    }
    DWORD rs(D3DRENDERSTATETYPE s) {
        DWORD v = 0xdeadbeef;
        EXPECT_EQ(dev->GetRenderState(s, &v), D3D_OK);
        return v;
    }
    DWORD tss(DWORD stage, D3DTEXTURESTAGESTATETYPE t) {
        DWORD v = 0xdeadbeef;
        EXPECT_EQ(dev->GetTextureStageState(stage, t, &v), D3D_OK);
        return v;
    }
};

TEST_F(StateTest, PublishedDefaults) {
    EXPECT_EQ(rs(D3DRS_ZENABLE), DWORD{D3DZB_TRUE}) << "an automatic depth buffer enables depth testing";
    EXPECT_EQ(rs(D3DRS_CULLMODE), DWORD{D3DCULL_CCW});
    EXPECT_EQ(rs(D3DRS_LIGHTING), DWORD{TRUE});
    EXPECT_EQ(rs(D3DRS_ZFUNC), DWORD{D3DCMP_LESSEQUAL});
    EXPECT_EQ(rs(D3DRS_SRCBLEND), DWORD{D3DBLEND_ONE});
    EXPECT_EQ(rs(D3DRS_DESTBLEND), DWORD{D3DBLEND_ZERO});
    EXPECT_EQ(rs(D3DRS_POINTSIZE), float_bits(1.f));
    EXPECT_EQ(rs(D3DRS_COLORWRITEENABLE), 0x0fu);
    EXPECT_EQ(rs(D3DRS_TEXTUREFACTOR), 0xffffffffu);
    EXPECT_EQ(tss(0, D3DTSS_COLOROP), DWORD{D3DTOP_MODULATE});
    EXPECT_EQ(tss(1, D3DTSS_COLOROP), DWORD{D3DTOP_DISABLE});
    EXPECT_EQ(tss(0, D3DTSS_ALPHAOP), DWORD{D3DTOP_SELECTARG1});
    EXPECT_EQ(tss(3, D3DTSS_TEXCOORDINDEX), 3u);
    EXPECT_EQ(tss(7, D3DTSS_MINFILTER), DWORD{D3DTEXF_POINT});
    D3DVIEWPORT8 vp{};
    ASSERT_EQ(dev->GetViewport(&vp), D3D_OK);
    EXPECT_EQ(vp.Width, 64u);
    EXPECT_EQ(vp.Height, 32u);
    EXPECT_EQ(vp.MaxZ, 1.f);

    dev.reset();
    ASSERT_EQ(create(windowed_pp(64, 32, D3DFMT_UNKNOWN)), D3D_OK);
    EXPECT_EQ(rs(D3DRS_ZENABLE), DWORD{D3DZB_FALSE}) << "no depth buffer, no depth test";
    Ref<IDirect3DSurface8> depth;
    EXPECT_EQ(dev->GetDepthStencilSurface(depth.out()), D3DERR_NOTFOUND);
}

TEST_F(StateTest, EveryStateReadsBackUnchanged) {
    for (DWORD s = 0; s < QCORE_D3DRS_COUNT; ++s) {
        const auto state = static_cast<D3DRENDERSTATETYPE>(s);
        const DWORD before = rs(state);
        if (dev->SetRenderState(state, 0x1234 + s) == D3D_OK) {
            EXPECT_EQ(rs(state), 0x1234 + s);
        } else {
            EXPECT_EQ(before, 0u) << "unnamed state " << s << " reads 0";
            EXPECT_EQ(rs(state), 0u);
        }
    }
    DWORD v = 0;
    EXPECT_EQ(dev->GetRenderState(static_cast<D3DRENDERSTATETYPE>(174), &v), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE), D3D_OK);
    for (DWORD stage = 0; stage < 8; ++stage)
        for (DWORD t = 1; t <= 28; ++t)
            if (t != 12) {
                ASSERT_EQ(dev->SetTextureStageState(stage, static_cast<D3DTEXTURESTAGESTATETYPE>(t),
                                                    stage * 100 + t),
                          D3D_OK);
                EXPECT_EQ(tss(stage, static_cast<D3DTEXTURESTAGESTATETYPE>(t)), stage * 100 + t);
            }
    EXPECT_EQ(dev->SetTextureStageState(8, D3DTSS_COLOROP, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev->GetTextureStageState(0, static_cast<D3DTEXTURESTAGESTATETYPE>(29), &v),
              D3DERR_INVALIDCALL);

    D3DMATRIX m{};
    for (int i = 0; i < 16; ++i)
        m.m[i / 4][i % 4] = float(i);
    for (D3DTRANSFORMSTATETYPE t :
         {D3DTS_VIEW, D3DTS_PROJECTION, D3DTS_TEXTURE3, D3DTS_WORLD, D3DTS_WORLD3}) {
        D3DMATRIX back{};
        ASSERT_EQ(dev->SetTransform(t, &m), D3D_OK);
        ASSERT_EQ(dev->GetTransform(t, &back), D3D_OK);
        EXPECT_EQ(std::memcmp(&back, &m, sizeof m), 0) << t;
    }
    EXPECT_EQ(dev->SetTransform(static_cast<D3DTRANSFORMSTATETYPE>(1), &m), D3DERR_INVALIDCALL);
}

TEST_F(StateTest, ViewportIsCheckedAgainstTheRenderTarget) {
    D3DVIEWPORT8 vp{8, 4, 56, 28, 0.f, 1.f};
    EXPECT_EQ(dev->SetViewport(&vp), D3D_OK);
    vp.Width = 57;
    EXPECT_EQ(dev->SetViewport(&vp), D3DERR_INVALIDCALL);
    vp = {0, 0, 64, 32, 0.5f, 0.25f};
    EXPECT_EQ(dev->SetViewport(&vp), D3DERR_INVALIDCALL);
    vp = {0xffffffff, 0, 2, 2, 0.f, 1.f};
    EXPECT_EQ(dev->SetViewport(&vp), D3DERR_INVALIDCALL) << "no wrap-around";
    D3DVIEWPORT8 back{};
    ASSERT_EQ(dev->GetViewport(&back), D3D_OK);
    EXPECT_EQ(back.X, 8u);
    EXPECT_EQ(back.Width, 56u);
}

TEST_F(StateTest, LightsMaterialsAndShaders) {
    D3DLIGHT8 light{};
    light.Type = D3DLIGHT_POINT;
    light.Range = 10.f;
    for (DWORD i = 0; i < 9; ++i)
        ASSERT_EQ(dev->SetLight(i * 7, &light), D3D_OK);
    for (DWORD i = 0; i < 8; ++i)
        EXPECT_EQ(dev->LightEnable(i * 7, TRUE), D3D_OK);
    EXPECT_EQ(dev->LightEnable(56, TRUE), D3DERR_INVALIDCALL) << "eight lights at once";
    EXPECT_EQ(dev->LightEnable(0, FALSE), D3D_OK);
    EXPECT_EQ(dev->LightEnable(56, TRUE), D3D_OK);
    EXPECT_EQ(dev->LightEnable(0, TRUE), D3DERR_INVALIDCALL);

    D3DLIGHT8 made{};
    EXPECT_EQ(dev->GetLight(100, &made), D3DERR_INVALIDCALL);
    ASSERT_EQ(dev->LightEnable(100, FALSE), D3D_OK) << "enabling an unset index makes a default light";
    ASSERT_EQ(dev->GetLight(100, &made), D3D_OK);
    EXPECT_EQ(made.Type, D3DLIGHT_DIRECTIONAL);
    EXPECT_EQ(made.Direction.z, 1.f);
    light.Type = D3DLIGHT_SPOT; // without a direction
    EXPECT_EQ(dev->SetLight(1, &light), D3DERR_INVALIDCALL);

    D3DMATERIAL8 mat{};
    mat.Power = 12.f;
    mat.Diffuse = {0.5f, 0.25f, 1.f, 1.f};
    ASSERT_EQ(dev->SetMaterial(&mat), D3D_OK);
    D3DMATERIAL8 back{};
    ASSERT_EQ(dev->GetMaterial(&back), D3D_OK);
    EXPECT_EQ(std::memcmp(&back, &mat, sizeof mat), 0);

    DWORD handle = 0;
    EXPECT_EQ(dev->SetVertexShader(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1), D3D_OK);
    ASSERT_EQ(dev->GetVertexShader(&handle), D3D_OK);
    EXPECT_EQ(handle, DWORD{0x144});
    EXPECT_EQ(dev->SetVertexShader(0x3), D3DERR_INVALIDCALL) << "programmable shader handles";
    EXPECT_EQ(dev->SetPixelShader(0), D3D_OK);
    EXPECT_EQ(dev->SetPixelShader(5), D3DERR_INVALIDCALL);
}

TEST_F(StateTest, CallsAreCountedPerEntryPoint) {
    reset_device_call_counts(dev.get());
    dev->SetRenderState(D3DRS_LIGHTING, FALSE);
    dev->SetRenderState(D3DRS_LIGHTING, FALSE);
    DWORD v;
    dev->GetRenderState(D3DRS_LIGHTING, &v);
    dev->SetRenderState(static_cast<D3DRENDERSTATETYPE>(3), 0); // refused calls count too
    EXPECT_EQ(device_call_count(dev.get(), DeviceCall::SetRenderState), 3u);
    EXPECT_EQ(device_call_count(dev.get(), DeviceCall::GetRenderState), 1u);
    EXPECT_EQ(device_call_total(dev.get()), 4u);
    EXPECT_STREQ(device_call_name(DeviceCall::SetTextureStageState), "SetTextureStageState");
    EXPECT_EQ(device_call_count(nullptr, DeviceCall::Clear), 0u);
}

TEST_F(StateTest, PureDeviceAnswersNoStateQueries) {
    dev.reset();
    ASSERT_EQ(create(windowed_pp(16, 16), D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_PUREDEVICE),
              D3D_OK);
    DWORD v = 0;
    EXPECT_EQ(dev->SetRenderState(D3DRS_LIGHTING, FALSE), D3D_OK);
    EXPECT_EQ(dev->GetRenderState(D3DRS_LIGHTING, &v), D3DERR_INVALIDCALL);
}

using ResetTest = StateTest;

TEST_F(ResetTest, RefusedWhileDefaultPoolObjectsLive) {
    auto managed = texture(8, 8, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED);
    auto target = texture(16, 16, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT);
    Ref<IDirect3DVertexBuffer8> vb;
    ASSERT_EQ(dev->CreateVertexBuffer(64, 0, 0, D3DPOOL_DEFAULT, vb.out()), D3D_OK);
    D3DLOCKED_RECT lr{};
    ASSERT_EQ(managed->LockRect(0, &lr, nullptr, 0), D3D_OK);
    *static_cast<uint32_t*>(lr.pBits) = 0x12345678;
    ASSERT_EQ(managed->UnlockRect(0), D3D_OK);

    D3DPRESENT_PARAMETERS pp = windowed_pp(128, 96);
    EXPECT_EQ(dev->Reset(&pp), D3DERR_INVALIDCALL);
    target.reset();
    EXPECT_EQ(dev->Reset(&pp), D3DERR_INVALIDCALL);
    vb.reset();
    Ref<IDirect3DSurface8> back;
    ASSERT_EQ(dev->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, back.out()), D3D_OK);
    EXPECT_EQ(dev->Reset(&pp), D3DERR_INVALIDCALL) << "the application still holds the back buffer";
    back.reset();
    EXPECT_EQ(dev->TestCooperativeLevel(), D3D_OK) << "a refused reset leaves the device working";
    ASSERT_EQ(dev->Reset(&pp), D3D_OK);

    ASSERT_EQ(managed->LockRect(0, &lr, nullptr, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(*static_cast<uint32_t*>(lr.pBits), 0x12345678u) << "managed contents survive";
    ASSERT_EQ(managed->UnlockRect(0), D3D_OK);
}

TEST_F(ResetTest, StatesReturnToDefaultsAndTheBackBufferTakesTheNewShape) {
    auto tex = texture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED);
    ASSERT_EQ(dev->SetTexture(2, tex.get()), D3D_OK);
    ASSERT_EQ(dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE), D3D_OK);
    ASSERT_EQ(dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_ADD), D3D_OK);
    D3DMATRIX m{};
    m._11 = 5.f;
    ASSERT_EQ(dev->SetTransform(D3DTS_VIEW, &m), D3D_OK);
    ASSERT_EQ(dev->BeginScene(), D3D_OK);

    D3DPRESENT_PARAMETERS pp = windowed_pp(100, 50, D3DFMT_D16);
    pp.BackBufferFormat = D3DFMT_A8R8G8B8;
    pp.MultiSampleType = D3DMULTISAMPLE_4_SAMPLES;
    ASSERT_EQ(dev->Reset(&pp), D3D_OK);

    EXPECT_EQ(rs(D3DRS_CULLMODE), DWORD{D3DCULL_CCW});
    EXPECT_EQ(tss(0, D3DTSS_COLOROP), DWORD{D3DTOP_MODULATE});
    D3DMATRIX view{};
    ASSERT_EQ(dev->GetTransform(D3DTS_VIEW, &view), D3D_OK);
    EXPECT_EQ(view._11, 1.f);
    Ref<IDirect3DBaseTexture8> bound;
    ASSERT_EQ(dev->GetTexture(2, bound.out()), D3D_OK);
    EXPECT_FALSE(bound);
    EXPECT_EQ(dev->EndScene(), D3DERR_INVALIDCALL) << "a reset ends the scene";

    Ref<IDirect3DSurface8> back;
    ASSERT_EQ(dev->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, back.out()), D3D_OK);
    D3DSURFACE_DESC d{};
    ASSERT_EQ(back->GetDesc(&d), D3D_OK);
    EXPECT_EQ(d.Width, 100u);
    EXPECT_EQ(d.Height, 50u);
    EXPECT_EQ(d.Format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(d.MultiSampleType, D3DMULTISAMPLE_4_SAMPLES);
    Ref<IDirect3DSurface8> depth;
    ASSERT_EQ(dev->GetDepthStencilSurface(depth.out()), D3D_OK);
    ASSERT_EQ(depth->GetDesc(&d), D3D_OK);
    EXPECT_EQ(d.Format, D3DFMT_D16);
    D3DVIEWPORT8 vp{};
    ASSERT_EQ(dev->GetViewport(&vp), D3D_OK);
    EXPECT_EQ(vp.Width, 100u);
}

TEST_F(ResetTest, InjectedFailuresLeaveTheDeviceAsItWas) {
    fail_next_reset_calls(1);
    D3DPRESENT_PARAMETERS pp = windowed_pp(128, 96);
    EXPECT_EQ(dev->Reset(&pp), D3DERR_INVALIDCALL);
    Ref<IDirect3DSurface8> back;
    ASSERT_EQ(dev->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, back.out()), D3D_OK);
    D3DSURFACE_DESC d{};
    ASSERT_EQ(back->GetDesc(&d), D3D_OK);
    EXPECT_EQ(d.Width, 64u);
    back.reset();
    int seen = 0;
    set_reset_filter([&](IDirect3DDevice8* device, const D3DPRESENT_PARAMETERS& p) {
        ++seen;
        EXPECT_EQ(device, dev.get());
        return p.MultiSampleType == D3DMULTISAMPLE_NONE ? D3D_OK : D3DERR_OUTOFVIDEOMEMORY;
    });
    pp.MultiSampleType = D3DMULTISAMPLE_2_SAMPLES;
    EXPECT_EQ(dev->Reset(&pp), D3DERR_OUTOFVIDEOMEMORY);
    pp.MultiSampleType = D3DMULTISAMPLE_NONE;
    EXPECT_EQ(dev->Reset(&pp), D3D_OK);
    EXPECT_EQ(seen, 2);
}

TEST_F(ResetTest, LostDevicesWaitForAReset) {
    EXPECT_EQ(dev->TestCooperativeLevel(), D3D_OK);
    lose_device(dev.get());
    EXPECT_EQ(dev->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    EXPECT_EQ(dev->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
    D3DPRESENT_PARAMETERS pp = windowed_pp(64, 32);
    ASSERT_EQ(dev->Reset(&pp), D3D_OK);
    EXPECT_EQ(dev->TestCooperativeLevel(), D3D_OK);

    detail::soft::change_desktop_mode(1024, 768, D3DFMT_X8R8G8B8); // a display change loses the device
    EXPECT_EQ(dev->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
    EXPECT_EQ(dev->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    ASSERT_EQ(dev->Reset(&pp), D3D_OK);
    EXPECT_EQ(dev->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);

    detail::soft::change_desktop_mode(1024, 768, D3DFMT_R5G6B5);
    EXPECT_EQ(dev->Reset(&pp), D3DERR_NOTAVAILABLE) << "32-bit back buffer on a 16-bit desktop";
    pp.BackBufferFormat = D3DFMT_R5G6B5;
    EXPECT_EQ(dev->Reset(&pp), D3D_OK);
    EXPECT_EQ(dev->TestCooperativeLevel(), D3D_OK);
}

} // namespace
} // namespace qcore::test
