#pragma once
// One software device for a benchmark program, windowed into a small headless window; it lives until the
// program ends.
#include <qcore/platform/d3d8/d3d8.h>
#include <qcore/platform/win32/window.h>

namespace qcore::bench {

struct HeadlessDevice {
    HWND window = nullptr;
    IDirect3D8* d3d = nullptr;
    IDirect3DDevice8* device = nullptr;

    // A back buffer of the given size (0: the window's).
    explicit HeadlessDevice(UINT back_width = 0, UINT back_height = 0) {
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.lpszClassName = "qcore_bench_device";
        RegisterClassA(&wc);
        window = CreateWindowExA(0, "qcore_bench_device", "", WS_POPUP, 0, 0, 64, 64, nullptr, nullptr,
                                 nullptr, nullptr);
        d3d = Direct3DCreate8(D3D_SDK_VERSION);
        D3DPRESENT_PARAMETERS pp{};
        pp.Windowed = TRUE;
        pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
        pp.BackBufferFormat = D3DFMT_X8R8G8B8;
        pp.hDeviceWindow = window;
        pp.BackBufferWidth = back_width;
        pp.BackBufferHeight = back_height;
        d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                          &pp, &device);
    }
    ~HeadlessDevice() {
        if (device) device->Release();
        if (d3d) d3d->Release();
        if (window) DestroyWindow(window);
    }
    HeadlessDevice(const HeadlessDevice&) = delete;
    HeadlessDevice& operator=(const HeadlessDevice&) = delete;
};

inline IDirect3DDevice8* headless_device() {
    static HeadlessDevice d;
    return d.device;
}

} // namespace qcore::bench
