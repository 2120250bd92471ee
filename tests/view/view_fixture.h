#pragma once
// A render window of a chosen client size with a viewport on it, and a device when a test draws.
#include <qcore/core/device.h>
#include <qcore/core/render_window.h>
#include <qcore/platform/d3d8/device_hooks.h>
#include <qcore/platform/win32/input.h>
#include <qcore/platform/win32/window.h>
#include <qcore/view/base_vport.h>

#include <gtest/gtest.h>

#include <memory>

namespace qcore::test {

inline const char* view_window_class() {
    static const char* name = [] {
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.lpszClassName = "qcore_view_test";
        RegisterClassA(&wc);
        return "qcore_view_test";
    }();
    return name;
}

// A headless render window whose client area is width by height, at (x, y) on the desktop.
inline std::unique_ptr<CRenderWindow> make_render_window(int width, int height, int x = 0, int y = 0) {
    auto w = std::make_unique<CRenderWindow>();
    if (!w->CreateEx(0, view_window_class(), "view", WS_POPUP | WS_VISIBLE, x, y, width, height, nullptr,
                     nullptr))
        return nullptr;
    return w;
}

// A core, a device whose back buffer is bb_width by bb_height, and a window to present into.
class ViewFixture : public ::testing::Test {
protected:
    void SetUp() override {
        reset_device_hooks();
        reset_input_state();
        set_desktop_mode(1280, 1024, D3DFMT_X8R8G8B8);
    }
    void TearDown() override {
        views.clear();
        if (device) device.reset();
        core.dev = nullptr;
        windows.clear();
        reset_input_state();
        reset_device_hooks();
    }

    bool make_device(int bb_width, int bb_height, D3DFORMAT depth = D3DFMT_D24S8) {
        host = make_render_window(bb_width, bb_height, 0, 0);
        if (!host) return false;
        device = std::make_unique<CDevice>(&core);
        core.dev = device.get();
        return device->create_windowed_device(host.get(), depth, bb_width, bb_height) == 1;
    }

    // A viewport on a new window of the given client size, with the device at antialiasing scale aa.
    CBaseVport* make_view(int width, int height, int aa = 1, int x = 0, int y = 0) {
        windows.push_back(make_render_window(width, height, x, y));
        views.push_back(std::make_unique<CBaseVport>());
        CBaseVport* v = views.back().get();
        v->init_3d_envment(device.get(), aa);
        windows.back()->set_view(v);
        v->set_wnd(windows.back().get());
        return v;
    }

    gCore core;
    std::unique_ptr<CRenderWindow> host;
    std::unique_ptr<CDevice> device;
    std::vector<std::unique_ptr<CRenderWindow>> windows;
    std::vector<std::unique_ptr<CBaseVport>> views;
};

} // namespace qcore::test
