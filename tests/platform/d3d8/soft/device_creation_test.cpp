#include "device_fixture.h"

#include <cstring>
#include <vector>

namespace qcore::test {
namespace {

using CreationTest = DeviceTest;

TEST(Direct3DCreate8Test, OnlyTheSdkVersionOfThisInterfaceSet) {
    EXPECT_EQ(Direct3DCreate8(219), nullptr);
    IDirect3D8* d3d = Direct3DCreate8(220);
    ASSERT_NE(d3d, nullptr);
    EXPECT_EQ(d3d->Release(), 0u);
}

TEST_F(CreationTest, AdapterShowsTheDesktopModeAndNamesTheSoftwareDevice) {
    detail::soft::change_desktop_mode(1280, 1024, D3DFMT_R5G6B5);
    D3DDISPLAYMODE mode{};
    ASSERT_EQ(d3d->GetAdapterDisplayMode(0, &mode), D3D_OK);
    EXPECT_EQ(mode.Width, 1280u);
    EXPECT_EQ(mode.Height, 1024u);
    EXPECT_EQ(mode.Format, D3DFMT_R5G6B5);
    EXPECT_EQ(d3d->GetAdapterDisplayMode(1, &mode), D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d->GetAdapterCount(), 1u);

    D3DADAPTER_IDENTIFIER8 id{};
    ASSERT_EQ(d3d->GetAdapterIdentifier(0, 0, &id), D3D_OK);
    EXPECT_NE(std::strstr(id.Description, "software"), nullptr);

    const UINT modes = d3d->GetAdapterModeCount(0);
    ASSERT_GT(modes, 1u);
    for (UINT i = 0; i < modes; ++i) {
        ASSERT_EQ(d3d->EnumAdapterModes(0, i, &mode), D3D_OK);
        EXPECT_EQ(mode.Format, D3DFMT_R5G6B5);
    }
    EXPECT_EQ(d3d->EnumAdapterModes(0, modes, &mode), D3DERR_INVALIDCALL);
}

TEST_F(CreationTest, MultisampleSupportInWindowedMode) {
    struct Row {
        D3DFORMAT format;
        D3DMULTISAMPLE_TYPE type;
        HRESULT expected;
    };
    const Row rows[] = {
        {D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, D3D_OK},
        {D3DFMT_X8R8G8B8, D3DMULTISAMPLE_2_SAMPLES, D3D_OK},
        {D3DFMT_R5G6B5, D3DMULTISAMPLE_4_SAMPLES, D3D_OK},
        {D3DFMT_D24S8, D3DMULTISAMPLE_4_SAMPLES, D3D_OK},
        {D3DFMT_D16, D3DMULTISAMPLE_2_SAMPLES, D3D_OK},
        {D3DFMT_X8R8G8B8, D3DMULTISAMPLE_3_SAMPLES, D3DERR_NOTAVAILABLE},
        {D3DFMT_X8R8G8B8, D3DMULTISAMPLE_8_SAMPLES, D3DERR_NOTAVAILABLE},
        {D3DFMT_A4R4G4B4, D3DMULTISAMPLE_2_SAMPLES, D3DERR_NOTAVAILABLE},
        {D3DFMT_DXT1, D3DMULTISAMPLE_NONE, D3DERR_NOTAVAILABLE},
    };
    for (const auto& r : rows)
        EXPECT_EQ(d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, r.format, TRUE, r.type), r.expected)
            << r.format << " " << r.type;
    EXPECT_EQ(
        d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, FALSE, D3DMULTISAMPLE_2_SAMPLES),
        D3DERR_NOTAVAILABLE);
}

TEST_F(CreationTest, FormatChecks) {
    EXPECT_EQ(d3d->CheckDeviceType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, TRUE), D3D_OK);
    EXPECT_EQ(d3d->CheckDeviceType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, TRUE),
              D3DERR_NOTAVAILABLE);
    EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_TEXTURE, D3DFMT_DXT5),
              D3D_OK);
    EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DUSAGE_RENDERTARGET,
                                     D3DRTYPE_TEXTURE, D3DFMT_DXT5),
              D3DERR_NOTAVAILABLE);
    EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DUSAGE_DEPTHSTENCIL,
                                     D3DRTYPE_SURFACE, D3DFMT_D24X8),
              D3D_OK);
    EXPECT_EQ(d3d->CheckDepthStencilMatch(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_D16),
              D3D_OK);
    EXPECT_EQ(d3d->CheckDepthStencilMatch(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_L8),
              D3DERR_NOTAVAILABLE);
}

TEST_F(CreationTest, AcceptsEveryDeviceTypeAndVertexProcessingChoice) {
    for (D3DDEVTYPE type : {D3DDEVTYPE_HAL, D3DDEVTYPE_REF, D3DDEVTYPE_SW})
        for (DWORD vp : {D3DCREATE_HARDWARE_VERTEXPROCESSING, D3DCREATE_MIXED_VERTEXPROCESSING,
                         D3DCREATE_SOFTWARE_VERTEXPROCESSING}) {
            D3DPRESENT_PARAMETERS pp = windowed_pp(64, 32);
            Ref<IDirect3DDevice8> device;
            ASSERT_EQ(d3d->CreateDevice(0, type, test_window(), vp, &pp, device.out()), D3D_OK) << type << vp;
            D3DDEVICE_CREATION_PARAMETERS cp{};
            ASSERT_EQ(device->GetCreationParameters(&cp), D3D_OK);
            EXPECT_EQ(cp.DeviceType, type);
            EXPECT_EQ(cp.BehaviorFlags, vp);
            EXPECT_EQ(cp.hFocusWindow, test_window());
        }
}

TEST_F(CreationTest, RefusesBadRequests) {
    D3DPRESENT_PARAMETERS pp = windowed_pp(64, 32);
    IDirect3DDevice8* device = reinterpret_cast<IDirect3DDevice8*>(1);
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, test_window(), 0, &pp, &device), D3DERR_INVALIDCALL);
    EXPECT_EQ(device, nullptr) << "a failed creation hands out no device";
    EXPECT_EQ(create(pp, D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_SOFTWARE_VERTEXPROCESSING),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(create(pp, D3DCREATE_PUREDEVICE | D3DCREATE_SOFTWARE_VERTEXPROCESSING), D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d->CreateDevice(1, D3DDEVTYPE_HAL, test_window(), D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp,
                                dev.out()),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(
        d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, dev.out()),
        D3DERR_INVALIDCALL);

    D3DPRESENT_PARAMETERS bad = pp;
    bad.AutoDepthStencilFormat = D3DFMT_X8R8G8B8;
    EXPECT_EQ(create(bad), D3DERR_INVALIDCALL);
    bad = pp;
    bad.MultiSampleType = D3DMULTISAMPLE_2_SAMPLES;
    bad.SwapEffect = D3DSWAPEFFECT_COPY;
    EXPECT_EQ(create(bad), D3DERR_INVALIDCALL);
    bad = pp;
    bad.Windowed = FALSE;
    EXPECT_EQ(create(bad), D3DERR_NOTAVAILABLE);
    EXPECT_FALSE(dev);
}

TEST_F(CreationTest, BackBufferMustShowOnTheDesktop) {
    for (D3DFORMAT desktop : {D3DFMT_R8G8B8, D3DFMT_P8}) {
        detail::soft::change_desktop_mode(1024, 768, desktop);
        D3DPRESENT_PARAMETERS pp = windowed_pp(64, 32);
        pp.BackBufferFormat = desktop;
        EXPECT_TRUE(FAILED(create(pp)));
    }
    detail::soft::change_desktop_mode(1024, 768, D3DFMT_R5G6B5);
    D3DPRESENT_PARAMETERS pp = windowed_pp(64, 32);
    EXPECT_EQ(create(pp), D3DERR_NOTAVAILABLE) << "a 32-bit back buffer on a 16-bit desktop";
    pp.BackBufferFormat = D3DFMT_R5G6B5;
    EXPECT_EQ(create(pp), D3D_OK);
}

TEST_F(CreationTest, ZeroSizeTakesTheWindowClientArea) {
    D3DPRESENT_PARAMETERS pp = windowed_pp(0, 0);
    pp.BackBufferFormat = D3DFMT_UNKNOWN;
    pp.BackBufferCount = 0;
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, test_window(), D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp,
                                dev.out()),
              D3D_OK);
    EXPECT_EQ(pp.BackBufferWidth, UINT{kWindowWidth});
    EXPECT_EQ(pp.BackBufferHeight, UINT{kWindowHeight});
    EXPECT_EQ(pp.BackBufferFormat, D3DFMT_X8R8G8B8);
    EXPECT_EQ(pp.BackBufferCount, 1u);
}

TEST_F(CreationTest, AHandleThatNamesNoWindowNeedsAGivenSize) {
    const HWND stale = reinterpret_cast<HWND>(uintptr_t{0x5678});
    D3DPRESENT_PARAMETERS pp = windowed_pp(0, 0);
    EXPECT_EQ(
        d3d->CreateDevice(0, D3DDEVTYPE_HAL, stale, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, dev.out()),
        D3DERR_INVALIDCALL);
    pp = windowed_pp(32, 16);
    ASSERT_EQ(
        d3d->CreateDevice(0, D3DDEVTYPE_HAL, stale, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, dev.out()),
        D3D_OK);
    EXPECT_EQ(dev->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK) << "shows nothing";
}

TEST_F(CreationTest, FailureInjectionDrivesFallbackOrders) {
    // Refuse every attempt with a 24-bit depth buffer, as a card without one would.
    std::vector<std::pair<D3DFORMAT, DWORD>> seen;
    set_create_device_filter([&](const CreateDeviceRequest& r) {
        seen.emplace_back(r.pp.AutoDepthStencilFormat, r.behavior);
        return r.pp.AutoDepthStencilFormat == D3DFMT_D24S8 ? D3DERR_NOTAVAILABLE : D3D_OK;
    });
    EXPECT_EQ(create(windowed_pp(64, 32, D3DFMT_D24S8)), D3DERR_NOTAVAILABLE);
    EXPECT_FALSE(dev);
    EXPECT_EQ(create(windowed_pp(64, 32, D3DFMT_D16), D3DCREATE_HARDWARE_VERTEXPROCESSING), D3D_OK);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1], std::make_pair(D3DFMT_D16, DWORD{D3DCREATE_HARDWARE_VERTEXPROCESSING}));

    set_create_device_filter({});
    fail_next_create_device_calls(2, D3DERR_OUTOFVIDEOMEMORY);
    EXPECT_EQ(create(windowed_pp(64, 32)), D3DERR_OUTOFVIDEOMEMORY);
    EXPECT_EQ(create(windowed_pp(64, 32)), D3DERR_OUTOFVIDEOMEMORY);
    EXPECT_EQ(create(windowed_pp(64, 32)), D3D_OK);
}

TEST_F(CreationTest, ObjectsKeepTheDeviceAliveAndEndWithIt) {
    ASSERT_EQ(create(windowed_pp(64, 32)), D3D_OK);
    IDirect3DTexture8* tex = nullptr;
    ASSERT_EQ(dev->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex), D3D_OK);
    ASSERT_EQ(dev->SetTexture(0, tex), D3D_OK);
    IDirect3DDevice8* raw = dev.get();
    raw->AddRef();
    dev.reset();
    EXPECT_EQ(tex->Release(), 0u) << "the device still holds the bound texture";
    IDirect3DBaseTexture8* bound = nullptr;
    ASSERT_EQ(raw->GetTexture(0, &bound), D3D_OK);
    EXPECT_EQ(bound, static_cast<IDirect3DBaseTexture8*>(tex));
    bound->Release();
    EXPECT_EQ(raw->Release(), 0u);
}

} // namespace
} // namespace qcore::test
