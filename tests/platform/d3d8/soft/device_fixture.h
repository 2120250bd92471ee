#pragma once
// A created software device for tests, with the hooks back at their defaults around each test.
#include <qcore/platform/d3d8/d3d8.h>
#include <qcore/platform/d3d8/device_hooks.h>
#include <qcore/platform/d3d8/soft/window_link.h>
#include <qcore/platform/win32/com_ref.h>
#include <qcore/platform/win32/window.h>

#include <gtest/gtest.h>

#include <map>
#include <utility>

namespace qcore::test {

template <class T> using Ref = qcore::ComRef<T>;

constexpr int kWindowWidth = 640;
constexpr int kWindowHeight = 480;

inline D3DPRESENT_PARAMETERS windowed_pp(UINT w, UINT h, D3DFORMAT depth = D3DFMT_D24S8) {
    D3DPRESENT_PARAMETERS pp{};
    pp.BackBufferWidth = w;
    pp.BackBufferHeight = h;
    pp.BackBufferFormat = D3DFMT_X8R8G8B8;
    pp.BackBufferCount = 1;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.Windowed = TRUE;
    pp.EnableAutoDepthStencil = depth != D3DFMT_UNKNOWN;
    pp.AutoDepthStencilFormat = depth;
    return pp;
}

class DeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        reset_device_hooks();
        detail::soft::change_desktop_mode(1920, 1080, D3DFMT_X8R8G8B8);
        d3d.reset();
        *d3d.out() = Direct3DCreate8(D3D_SDK_VERSION);
        ASSERT_TRUE(d3d);
    }
    void TearDown() override {
        dev.reset();
        d3d.reset();
        for (const auto& [n, hwnd] : windows_)
            DestroyWindow(hwnd);
        windows_.clear();
        reset_device_hooks();
        detail::soft::change_desktop_mode(1920, 1080, D3DFMT_X8R8G8B8);
    }

    // Top-level window number n, kWindowWidth x kWindowHeight client pixels, made on first use.
    HWND test_window(int n = 1) {
        auto& hwnd = windows_[n];
        if (hwnd) return hwnd;
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.lpszClassName = "qcore_d3d_test";
        RegisterClassA(&wc); // fails harmlessly once registered
        hwnd = CreateWindowExA(0, "qcore_d3d_test", "", WS_POPUP, 0, 0, kWindowWidth, kWindowHeight, nullptr,
                               nullptr, nullptr, nullptr);
        EXPECT_NE(hwnd, nullptr);
        return hwnd;
    }

    HRESULT create(D3DPRESENT_PARAMETERS pp, DWORD behavior = D3DCREATE_SOFTWARE_VERTEXPROCESSING) {
        return d3d->CreateDevice(0, D3DDEVTYPE_HAL, test_window(), behavior, &pp, dev.out());
    }

    // A texture, or null when creation fails.
    Ref<IDirect3DTexture8> texture(UINT w, UINT h, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool) {
        Ref<IDirect3DTexture8> t;
        dev->CreateTexture(w, h, levels, usage, format, pool, t.out());
        return t;
    }

    Ref<IDirect3D8> d3d;
    Ref<IDirect3DDevice8> dev;

private:
    std::map<int, HWND> windows_;
};

} // namespace qcore::test
