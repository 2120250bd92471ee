#pragma once
// Helpers of the image tests: files decoded by stb_image, a software device with a render target of a
// chosen size, and the pixels of GDI bitmaps.
#include <qcore/platform/d3d8/d3d8.h>
#include <qcore/platform/win32/afxgdi.h>

#include "platform/d3d8/d3dx/device_fixture.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qcore::test {

// A file decoded to 8-bit RGB by stb_image; empty when it does not decode.
struct Rgb {
    int width = 0, height = 0;
    std::vector<uint8_t> pixels; // rows from the top, red, green, blue
    uint32_t at(int x, int y) const {
        const uint8_t* p = &pixels[(static_cast<size_t>(y) * width + x) * 3];
        return (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
    }
};
Rgb decode_rgb_file(const std::string& path);

// The largest difference of one channel between two colours 0x00RRGGBB.
int channel_distance(uint32_t a, uint32_t b);

// Pixels 0x00RRGGBB of a GDI bitmap, rows from the top.
std::vector<uint32_t> bitmap_pixels(HBITMAP bitmap, int& width, int& height);

// A device drawing into an X8R8G8B8 render target of its own size.
class CaptureTest : public D3dxDeviceTest {
protected:
    // Makes and sets a render target of that size filled with `pattern` (0x00RRGGBB of x, y; smooth
    // below 128 x 51).
    void make_target(UINT width, UINT height, D3DFORMAT format = D3DFMT_X8R8G8B8);
    static uint32_t pattern(int x, int y) {
        return (static_cast<uint32_t>(x * 2 % 256) << 16) | (static_cast<uint32_t>(y * 5 % 256) << 8) |
               static_cast<uint32_t>((x + y) % 256);
    }
    IDirect3DSurface8* target_ = nullptr;
    void TearDown() override;
};

} // namespace qcore::test
