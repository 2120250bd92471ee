#pragma once
// A software device for the D3DX tests, windowed into a stand-in window handle.
#include <qcore/platform/d3d8/d3d8.h>

#include <gtest/gtest.h>

namespace qcore::test {

class D3dxDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        d3d_ = Direct3DCreate8(D3D_SDK_VERSION);
        ASSERT_NE(d3d_, nullptr);
        D3DPRESENT_PARAMETERS pp{};
        pp.Windowed = TRUE;
        pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
        pp.BackBufferFormat = D3DFMT_X8R8G8B8;
        pp.hDeviceWindow = window();
        ASSERT_EQ(d3d_->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window(),
                                     D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &device_),
                  D3D_OK);
    }
    void TearDown() override {
        if (device_) device_->Release();
        if (d3d_) d3d_->Release();
    }
    static HWND window() { return reinterpret_cast<HWND>(uintptr_t(0x1234)); }

    IDirect3D8* d3d_ = nullptr;
    IDirect3DDevice8* device_ = nullptr;
};

} // namespace qcore::test
