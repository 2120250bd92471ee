#pragma once
// A 64 by 64 device with a depth buffer, cleared to black inside a scene, whose back buffer the tests read
// back. World space maps onto pixels: x to the right, y down, depth z from 0 (near) to 1 (far).
#include <qcore/core/device.h>
#include <qcore/core/rs_man.h>
#include <qcore/platform/win32/com_ref.h>

#include "core/device_fixture.h"

#include <cstring>
#include <vector>

namespace qcore::test {

class DrawFixture : public DeviceFixture {
protected:
    static constexpr int kSize = 64;

    void SetUp() override {
        DeviceFixture::SetUp();
        ASSERT_EQ(device.create_windowed_device(window(), D3DFMT_D24S8, kSize, kSize), 1);
        core.dev = &device;
        dev = device.get_dev();
        rs = device.get_rs_man();
        MAT identity, proj;
        D3DXMatrixIdentity(&identity);
        D3DXMatrixOrthoOffCenterLH(&proj, 0, kSize, kSize, 0, 0, 1);
        dev->SetTransform(D3DTS_VIEW, &identity);
        dev->SetTransform(D3DTS_PROJECTION, &proj);
        clear();
        dev->BeginScene();
    }
    void TearDown() override {
        dev->EndScene();
        core.dev = nullptr;
        DeviceFixture::TearDown();
    }
    void clear(DWORD color = 0xFF000000) {
        dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, color, 1.0f, 0);
    }
    // The back buffer's pixels, row by row.
    std::vector<uint32_t> frame() {
        std::vector<uint32_t> out(kSize * kSize, 0);
        ComRef<IDirect3DSurface8> back, copy;
        dev->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, back.out());
        dev->CreateImageSurface(kSize, kSize, D3DFMT_X8R8G8B8, copy.out());
        if (!back || !copy || FAILED(dev->CopyRects(back.get(), nullptr, 0, copy.get(), nullptr))) return out;
        D3DLOCKED_RECT lr{};
        if (FAILED(copy->LockRect(&lr, nullptr, D3DLOCK_READONLY))) return out;
        for (int y = 0; y < kSize; ++y)
            std::memcpy(&out[static_cast<size_t>(y * kSize)], static_cast<uint8_t*>(lr.pBits) + y * lr.Pitch,
                        kSize * 4);
        copy->UnlockRect();
        for (uint32_t& p : out)
            p &= 0xFFFFFF;
        return out;
    }
    uint32_t pixel(int x, int y) { return frame()[static_cast<size_t>(y * kSize + x)]; }
    static int count(const std::vector<uint32_t>& f, uint32_t color) {
        int n = 0;
        for (uint32_t p : f)
            n += p == color;
        return n;
    }
    // Bounding box of the pixels that are not black.
    static CRect ink(const std::vector<uint32_t>& f) {
        CRect r(kSize, kSize, -1, -1);
        for (int y = 0; y < kSize; ++y)
            for (int x = 0; x < kSize; ++x)
                if (f[static_cast<size_t>(y * kSize + x)])
                    r.SetRect(std::min<int>(r.left, x), std::min<int>(r.top, y),
                              std::max<int>(r.right, x + 1), std::max<int>(r.bottom, y + 1));
        return r;
    }

    CDevice device{&core};
    IDirect3DDevice8* dev = nullptr;
    CRsMan* rs = nullptr;
};

} // namespace qcore::test
