// A texture filled on another thread while the device draws from it, as a video stream does.
#include "device_fixture.h"

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

namespace qcore::test {
namespace {

struct TexVertex {
    float x, y, z, rhw;
    float u, v;
};

class TextureGateTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        D3DPRESENT_PARAMETERS pp = windowed_pp(16, 16, D3DFMT_UNKNOWN);
        pp.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
        ASSERT_EQ(create(pp), D3D_OK);
        ASSERT_EQ(dev->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, back.out()), D3D_OK);
        dev->SetRenderState(D3DRS_LIGHTING, FALSE);
        dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        dev->SetVertexShader(D3DFVF_XYZRHW | D3DFVF_TEX1);
        dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        dev->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    }
    void TearDown() override {
        back.reset();
        DeviceTest::TearDown();
    }
    // Every pixel of the back buffer, which the quad covers whole.
    std::vector<uint32_t> frame() {
        std::vector<uint32_t> out(16 * 16);
        D3DLOCKED_RECT lr{};
        EXPECT_EQ(back->LockRect(&lr, nullptr, D3DLOCK_READONLY), D3D_OK);
        for (int y = 0; y < 16; ++y)
            std::memcpy(&out[static_cast<size_t>(y) * 16], static_cast<uint8_t*>(lr.pBits) + y * lr.Pitch,
                        64);
        back->UnlockRect();
        return out;
    }
    void draw(IDirect3DTexture8* t) {
        const TexVertex quad[] = {{-0.5f, -0.5f, 0.5f, 1, 0, 0},
                                  {15.5f, -0.5f, 0.5f, 1, 1, 0},
                                  {-0.5f, 15.5f, 0.5f, 1, 0, 1},
                                  {15.5f, 15.5f, 0.5f, 1, 1, 1}};
        dev->BeginScene();
        dev->SetTexture(0, t);
        dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(TexVertex));
        dev->SetTexture(0, nullptr);
        dev->EndScene();
    }
    Ref<IDirect3DSurface8> back;
};

TEST_F(TextureGateTest, DrawsNeverSeeAHalfWrittenFrame) {
    auto t = texture(16, 16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED);
    std::atomic<bool> done{false};
    std::thread stream([&] {
        for (uint32_t n = 1; !done.load(); ++n) {
            D3DLOCKED_RECT lr{};
            if (t->LockRect(0, &lr, nullptr, 0) != D3D_OK) continue;
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 16; ++x)
                    std::memcpy(static_cast<uint8_t*>(lr.pBits) + y * lr.Pitch + x * 4, &n, 4);
            t->UnlockRect(0);
        }
    });
    for (int i = 0; i < 200; ++i) {
        draw(t.get());
        const std::vector<uint32_t> pixels = frame();
        for (uint32_t p : pixels)
            ASSERT_EQ(p & 0xFFFFFF, pixels[0] & 0xFFFFFF) << "draw " << i;
    }
    done = true;
    stream.join();
}

TEST_F(TextureGateTest, TheLockingThreadMayDrawItsOwnTexture) {
    auto t = texture(16, 16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED);
    D3DLOCKED_RECT lr{};
    ASSERT_EQ(t->LockRect(0, &lr, nullptr, 0), D3D_OK);
    EXPECT_EQ(t->LockRect(0, &lr, nullptr, 0), D3DERR_INVALIDCALL); // locked twice
    std::memset(lr.pBits, 0x40, 16 * static_cast<size_t>(lr.Pitch));
    draw(t.get()); // does not wait for itself
    EXPECT_EQ(frame()[0] & 0xFFFFFF, 0x404040u);
    EXPECT_EQ(t->UnlockRect(0), D3D_OK);
}

} // namespace
} // namespace qcore::test
