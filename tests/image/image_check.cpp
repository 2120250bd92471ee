#include "image_check.h"

#include <qcore/platform/d3d8/d3dx/d3dx8tex.h>

#include <stb_image.h>

#include <algorithm>
#include <cstdlib>

namespace qcore::test {

Rgb decode_rgb_file(const std::string& path) {
    Rgb out;
    int channels = 0;
    stbi_uc* data = stbi_load(path.c_str(), &out.width, &out.height, &channels, 3);
    if (!data) return Rgb{};
    out.pixels.assign(data, data + static_cast<size_t>(out.width) * out.height * 3);
    stbi_image_free(data);
    return out;
}

int channel_distance(uint32_t a, uint32_t b) {
    int worst = 0;
    for (int shift : {0, 8, 16})
        worst = std::max(
            worst, std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)));
    return worst;
}

std::vector<uint32_t> bitmap_pixels(HBITMAP bitmap, int& width, int& height) {
    BITMAP bm{};
    width = height = 0;
    if (!GetObject(bitmap, sizeof(bm), &bm)) return {};
    width = bm.bmWidth;
    height = bm.bmHeight;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
    HDC screen = GetDC(nullptr);
    GetDIBits(screen, bitmap, 0, static_cast<UINT>(height), pixels.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    for (uint32_t& p : pixels)
        p &= 0xFFFFFF;
    return pixels;
}

void CaptureTest::make_target(UINT width, UINT height, D3DFORMAT format) {
    ASSERT_EQ(device_->CreateRenderTarget(width, height, format, D3DMULTISAMPLE_NONE, TRUE, &target_),
              D3D_OK);
    IDirect3DSurface8* image = nullptr;
    ASSERT_EQ(device_->CreateImageSurface(width, height, D3DFMT_X8R8G8B8, &image), D3D_OK);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(image->LockRect(&locked, nullptr, 0), D3D_OK);
    for (UINT y = 0; y < height; ++y)
        for (UINT x = 0; x < width; ++x)
            reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch)[x] =
                0xFF000000u | pattern(static_cast<int>(x), static_cast<int>(y));
    image->UnlockRect();
    if (format == D3DFMT_X8R8G8B8) {
        ASSERT_EQ(device_->CopyRects(image, nullptr, 0, target_, nullptr), D3D_OK);
    } else {
        ASSERT_EQ(D3DXLoadSurfaceFromSurface(target_, nullptr, nullptr, image, nullptr, nullptr,
                                             D3DX_FILTER_NONE, 0),
                  D3D_OK);
    }
    image->Release();
    ASSERT_EQ(device_->SetRenderTarget(target_, nullptr), D3D_OK);
}

void CaptureTest::TearDown() {
    if (target_) target_->Release();
    D3dxDeviceTest::TearDown();
}

} // namespace qcore::test
