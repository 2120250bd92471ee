#pragma once
// A core and a host window for the device wrapper's tests, with the device hooks and the desktop mode
// back at their defaults around each test.
#include <qcore/core/core.h>
#include <qcore/platform/d3d8/device_hooks.h>
#include <qcore/platform/win32/afxwin.h>
#include <qcore/platform/win32/input.h>
#include <qcore/platform/win32/message_box.h>
#include <qcore/platform/win32/registry.h>
#include <qcore/platform/win32/window.h>

#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace qcore::test {

class DeviceFixture : public ::testing::Test {
protected:
    void SetUp() override {
        reset_device_hooks();
        set_desktop_mode(1920, 1080, D3DFMT_X8R8G8B8);
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.lpszClassName = "qcore_device_test";
        RegisterClassA(&wc); // registered once per process; later calls fail harmlessly
        ASSERT_TRUE(
            wnd_.CreateEx(0, "qcore_device_test", "host", WS_POPUP, 0, 0, 320, 240, nullptr, nullptr));
    }
    void TearDown() override {
        wnd_.DestroyWindow();
        reset_device_hooks();
        set_desktop_mode(1920, 1080, D3DFMT_X8R8G8B8);
    }
    CWnd* window() { return &wnd_; }

    gCore core;

private:
    CWnd wnd_;
};

} // namespace qcore::test
