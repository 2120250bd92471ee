#pragma once
// A software device for the D3DX tests, windowed into a small headless window.
#include <qcore/platform/d3d8/d3d8.h>
#include <qcore/platform/win32/window.h>

#include <gtest/gtest.h>

namespace qcore::test {

class D3dxDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.lpszClassName = "qcore_d3dx_test";
        RegisterClassA(&wc); // fails harmlessly once registered
        window_ = CreateWindowExA(0, "qcore_d3dx_test", "", WS_POPUP, 0, 0, 64, 64, nullptr, nullptr, nullptr,
                                  nullptr);
        ASSERT_NE(window_, nullptr);
        d3d_ = Direct3DCreate8(D3D_SDK_VERSION);
        ASSERT_NE(d3d_, nullptr);
        D3DPRESENT_PARAMETERS pp{};
        pp.Windowed = TRUE;
        pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
        pp.BackBufferFormat = D3DFMT_X8R8G8B8;
        pp.hDeviceWindow = window_;
        ASSERT_EQ(d3d_->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window_,
                                     D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &device_),
                  D3D_OK);
    }
    void TearDown() override {
        if (device_) device_->Release();
        if (d3d_) d3d_->Release();
        if (window_) DestroyWindow(window_);
    }

    HWND window_ = nullptr;
    IDirect3D8* d3d_ = nullptr;
    IDirect3DDevice8* device_ = nullptr;
};

} // namespace qcore::test
