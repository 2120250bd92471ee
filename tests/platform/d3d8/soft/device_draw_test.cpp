// Drawing through the device interface: every draw call, textures made and filled through the device,
// clears into viewports, supersampled back buffers and refused states.
#include "device_fixture.h"

#include <cstring>
#include <vector>

namespace qcore::test {
namespace {

struct TlVertex {
    float x, y, z, rhw;
    DWORD color;
    float u, v;
};
constexpr DWORD tl_fvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

struct LineVertex {
    float x, y, z;
    DWORD color;
};

class DrawTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        D3DPRESENT_PARAMETERS pp = windowed_pp(16, 16);
        pp.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
        ASSERT_EQ(create(pp), D3D_OK);
        ASSERT_EQ(dev->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, back.out()), D3D_OK);
        ASSERT_EQ(dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xff000000, 1.f, 0), D3D_OK);
        ASSERT_EQ(dev->BeginScene(), D3D_OK);
        dev->SetRenderState(D3DRS_LIGHTING, FALSE);
        dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    }
    void TearDown() override {
        back.reset();
        DeviceTest::TearDown();
    }
    uint32_t pixel(int x, int y) {
        D3DLOCKED_RECT lr{};
        EXPECT_EQ(back->LockRect(&lr, nullptr, D3DLOCK_READONLY), D3D_OK);
        uint32_t v = 0;
        std::memcpy(&v, static_cast<uint8_t*>(lr.pBits) + y * lr.Pitch + x * 4, 4);
        back->UnlockRect();
        return v;
    }
    static std::vector<TlVertex> quad(float x0, float y0, float x1, float y1, DWORD color) {
        return {{x0, y0, 0.5f, 1, color, 0, 0},
                {x1, y0, 0.5f, 1, color, 1, 0},
                {x0, y1, 0.5f, 1, color, 0, 1},
                {x1, y1, 0.5f, 1, color, 1, 1}};
    }
    Ref<IDirect3DSurface8> back;
};

TEST_F(DrawTest, PreTransformedQuadsFromMemory) {
    dev->SetVertexShader(tl_fvf);
    const auto q = quad(-0.5f, -0.5f, 7.5f, 3.5f, 0xff336699);
    ASSERT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, q.data(), sizeof(TlVertex)), D3D_OK);
    EXPECT_EQ(pixel(0, 0), 0xff336699u);
    EXPECT_EQ(pixel(7, 3), 0xff336699u);
    EXPECT_EQ(pixel(8, 3), 0xff000000u);
    EXPECT_EQ(pixel(7, 4), 0xff000000u);
    // Indexed from memory, 16-bit indices, as immediate drawing does.
    const WORD indices[6] = {0, 1, 2, 2, 1, 3};
    const auto r = quad(9.5f, 9.5f, 13.5f, 13.5f, 0xffffffff);
    ASSERT_EQ(dev->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 4, 2, indices, D3DFMT_INDEX16, r.data(),
                                          sizeof(TlVertex)),
              D3D_OK);
    EXPECT_EQ(pixel(10, 10), 0xffffffffu);
    EXPECT_EQ(pixel(13, 13), 0xffffffffu);
    EXPECT_EQ(pixel(14, 13), 0xff000000u);
}

TEST_F(DrawTest, BuffersAndBaseVertex) {
    Ref<IDirect3DVertexBuffer8> vb;
    ASSERT_EQ(
        dev->CreateVertexBuffer(8 * sizeof(TlVertex), D3DUSAGE_WRITEONLY, tl_fvf, D3DPOOL_MANAGED, vb.out()),
        D3D_OK);
    BYTE* p = nullptr;
    ASSERT_EQ(vb->Lock(0, 0, &p, 0), D3D_OK);
    const auto a = quad(-0.5f, -0.5f, 3.5f, 3.5f, 0xffff0000), b = quad(7.5f, 7.5f, 11.5f, 11.5f, 0xff00ff00);
    std::memcpy(p, a.data(), 4 * sizeof(TlVertex));
    std::memcpy(p + 4 * sizeof(TlVertex), b.data(), 4 * sizeof(TlVertex));
    vb->Unlock();
    Ref<IDirect3DIndexBuffer8> ib;
    ASSERT_EQ(dev->CreateIndexBuffer(12, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_MANAGED, ib.out()),
              D3D_OK);
    ASSERT_EQ(ib->Lock(0, 0, &p, 0), D3D_OK);
    const WORD indices[6] = {0, 1, 2, 2, 1, 3};
    std::memcpy(p, indices, sizeof indices);
    ib->Unlock();
    dev->SetVertexShader(tl_fvf);
    ASSERT_EQ(dev->SetStreamSource(0, vb.get(), sizeof(TlVertex)), D3D_OK);
    ASSERT_EQ(dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
    EXPECT_EQ(pixel(1, 1), 0xffff0000u);
    ASSERT_EQ(dev->SetIndices(ib.get(), 4), D3D_OK); // base vertex 4: the second quad
    ASSERT_EQ(dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 4, 0, 2), D3D_OK);
    EXPECT_EQ(pixel(9, 9), 0xff00ff00u);
    EXPECT_EQ(pixel(5, 5), 0xff000000u);
}

TEST_F(DrawTest, TexturesFilledThroughLocksAndChangedAfterUse) {
    Ref<IDirect3DTexture8> t = texture(2, 2, 1, 0, D3DFMT_R5G6B5, D3DPOOL_MANAGED);
    ASSERT_TRUE(t);
    auto fill = [&](WORD a, WORD b) {
        D3DLOCKED_RECT lr{};
        ASSERT_EQ(t->LockRect(0, &lr, nullptr, 0), D3D_OK);
        auto* row0 = static_cast<WORD*>(lr.pBits);
        auto* row1 = reinterpret_cast<WORD*>(static_cast<BYTE*>(lr.pBits) + lr.Pitch);
        row0[0] = a, row0[1] = b, row1[0] = b, row1[1] = a;
        t->UnlockRect(0);
    };
    fill(0xf800, 0x001f);
    dev->SetTexture(0, t.get());
    dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    dev->SetVertexShader(tl_fvf);
    const auto q = quad(-0.5f, -0.5f, 3.5f, 3.5f, 0xffffffff);
    ASSERT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, q.data(), sizeof(TlVertex)), D3D_OK);
    EXPECT_EQ(pixel(0, 0), 0xffff0000u);
    EXPECT_EQ(pixel(2, 0), 0xff0000ffu);
    fill(0x07e0, 0x001f);
    ASSERT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, q.data(), sizeof(TlVertex)), D3D_OK);
    EXPECT_EQ(pixel(0, 0), 0xff00ff00u);
    dev->SetTexture(0, nullptr);
}

TEST_F(DrawTest, CompressedTexturesAreDecodedForSampling) {
    Ref<IDirect3DTexture8> t = texture(4, 4, 1, 0, D3DFMT_DXT1, D3DPOOL_MANAGED);
    ASSERT_TRUE(t);
    D3DLOCKED_RECT lr{};
    ASSERT_EQ(t->LockRect(0, &lr, nullptr, 0), D3D_OK);
    const BYTE block[8] = {0x00, 0xf8, 0x1f, 0x00, 0x00, 0x00, 0x55, 0x55}; // top rows red, bottom rows blue
    std::memcpy(lr.pBits, block, sizeof block);
    t->UnlockRect(0);
    dev->SetTexture(0, t.get());
    dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    dev->SetVertexShader(tl_fvf);
    const auto q = quad(-0.5f, -0.5f, 3.5f, 3.5f, 0xffffffff);
    ASSERT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, q.data(), sizeof(TlVertex)), D3D_OK);
    EXPECT_EQ(pixel(1, 0), 0xffff0000u);
    EXPECT_EQ(pixel(1, 3), 0xff0000ffu);
    dev->SetTexture(0, nullptr);
}

TEST_F(DrawTest, LinesInAViewportWithTransforms) {
    D3DVIEWPORT8 vp{4, 4, 8, 8, 0.f, 1.f};
    ASSERT_EQ(dev->SetViewport(&vp), D3D_OK);
    ASSERT_EQ(dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xff202020, 1.f, 0), D3D_OK);
    dev->SetVertexShader(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    // A horizontal line through the viewport's middle row, from the left edge to beyond the right.
    const LineVertex line[2] = {{-1.f, 0.f, 0.5f, 0xff00ff00}, {2.f, 0.f, 0.5f, 0xff00ff00}};
    ASSERT_EQ(dev->DrawPrimitiveUP(D3DPT_LINESTRIP, 1, line, sizeof(LineVertex)), D3D_OK);
    EXPECT_EQ(pixel(3, 8), 0xff000000u); // outside the viewport: left alone by clear and line
    EXPECT_EQ(pixel(4, 7), 0xff202020u);
    for (int x = 4; x < 12; ++x)
        EXPECT_EQ(pixel(x, 8), 0xff00ff00u) << x;
    EXPECT_EQ(pixel(12, 8), 0xff000000u);
}

TEST_F(DrawTest, StatesThatCannotBeDrawnFaithfullyAreRefused) {
    dev->SetVertexShader(tl_fvf);
    dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_LERP + 1);
    const auto q = quad(-0.5f, -0.5f, 3.5f, 3.5f, 0xffffffff);
    EXPECT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, q.data(), sizeof(TlVertex)), D3DERR_INVALIDCALL);
    EXPECT_EQ(pixel(1, 1), 0xff000000u);
    DWORD passes = 0;
    EXPECT_NE(dev->ValidateDevice(&passes), D3D_OK) << "ValidateDevice agrees with the draw";
    dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    EXPECT_EQ(dev->ValidateDevice(&passes), D3D_OK);
    EXPECT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, q.data(), sizeof(TlVertex)), D3D_OK);
}

// Whether a draw of a textured quad is accepted, and whether ValidateDevice says it would be.
struct Verdict {
    bool drawn, valid;
};

TEST_F(DrawTest, CapsAndValidateDeviceAgreeWithWhatDraws) {
    D3DCAPS8 caps{};
    ASSERT_EQ(dev->GetDeviceCaps(&caps), D3D_OK);
    Ref<IDirect3DTexture8> tex = texture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED);
    ASSERT_TRUE(tex);
    dev->SetTexture(0, tex.get());
    dev->SetVertexShader(tl_fvf);
    const auto q = quad(-0.5f, -0.5f, 3.5f, 3.5f, 0xffffffff);
    auto verdict = [&] {
        DWORD passes = 0;
        return Verdict{dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, q.data(), sizeof(TlVertex)) == D3D_OK,
                       dev->ValidateDevice(&passes) == D3D_OK};
    };
    for (DWORD op = D3DTOP_DISABLE + 1; op <= D3DTOP_LERP + 1; ++op) {
        dev->SetTextureStageState(0, D3DTSS_COLOROP, op);
        const Verdict v = verdict();
        const bool claimed = op <= D3DTOP_LERP && (caps.TextureOpCaps & (1u << (op - 1)));
        EXPECT_EQ(v.drawn, claimed) << "operation " << op;
        EXPECT_EQ(v.valid, claimed) << "operation " << op;
    }
    dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    // Each claimed feature draws and validates; the ones not claimed are refused by both.
    struct State {
        D3DRENDERSTATETYPE state;
        DWORD value;
        bool claimed;
    };
    const State states[] = {
        {D3DRS_FOGENABLE, TRUE, (caps.RasterCaps & D3DPRASTERCAPS_FOGVERTEX) != 0},
        {D3DRS_CLIPPLANEENABLE, (1u << caps.MaxUserClipPlanes) - 1, caps.MaxUserClipPlanes == 6},
        {D3DRS_CLIPPLANEENABLE, 1u << caps.MaxUserClipPlanes, false},
        {D3DRS_WRAP0, D3DWRAP_U | D3DWRAP_V, true},
        {D3DRS_LINEPATTERN, 0x55550001, (caps.RasterCaps & D3DPRASTERCAPS_PAT) != 0},
        {D3DRS_VERTEXBLEND, D3DVBF_TWEENING, false},
        {D3DRS_INDEXEDVERTEXBLENDENABLE, TRUE, caps.MaxVertexBlendMatrixIndex > 0},
    };
    for (const State& s : states) {
        DWORD old = 0;
        dev->GetRenderState(s.state, &old);
        dev->SetRenderState(s.state, s.value);
        const Verdict v = verdict();
        EXPECT_EQ(v.valid, s.claimed) << "state " << s.state << " = " << s.value;
        EXPECT_EQ(v.drawn, s.claimed) << "state " << s.state << " = " << s.value;
        dev->SetRenderState(s.state, old);
    }
    // Vertex blending is claimed up to MaxVertexBlendMatrices - 1 weights on a format that has them.
    EXPECT_EQ(caps.MaxVertexBlendMatrices, 4u);
    dev->SetVertexShader(D3DFVF_XYZB3 | D3DFVF_DIFFUSE);
    dev->SetRenderState(D3DRS_VERTEXBLEND, D3DVBF_3WEIGHTS);
    DWORD passes = 0;
    EXPECT_EQ(dev->ValidateDevice(&passes), D3D_OK);
    dev->SetRenderState(D3DRS_VERTEXBLEND, D3DVBF_DISABLE);
    EXPECT_NE(caps.TextureCaps & D3DPTEXTURECAPS_PROJECTED, 0u);
    dev->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT3 | D3DTTFF_PROJECTED);
    EXPECT_EQ(dev->ValidateDevice(&passes), D3D_OK);
    // Filters beyond linear are drawn linear.
    dev->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_ANISOTROPIC);
    dev->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_GAUSSIANCUBIC);
    EXPECT_EQ(dev->ValidateDevice(&passes), D3D_OK);
    dev->SetTextureStageState(0, D3DTSS_MIPFILTER, D3DTEXF_ANISOTROPIC);
    EXPECT_EQ(dev->ValidateDevice(&passes), D3DERR_UNSUPPORTEDTEXTUREFILTER);
}

TEST_F(DeviceTest, MultisampledBackBuffersAreDrawnSupersampled) {
    D3DPRESENT_PARAMETERS pp = windowed_pp(4, 4);
    pp.MultiSampleType = D3DMULTISAMPLE_4_SAMPLES;
    ASSERT_EQ(create(pp), D3D_OK);
    Ref<IDirect3DSurface8> back, image;
    ASSERT_EQ(dev->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, back.out()), D3D_OK);
    ASSERT_EQ(dev->CreateImageSurface(4, 4, D3DFMT_X8R8G8B8, image.out()), D3D_OK);
    ASSERT_EQ(dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xff000000, 1.f, 0), D3D_OK);
    ASSERT_EQ(dev->BeginScene(), D3D_OK);
    dev->SetRenderState(D3DRS_LIGHTING, FALSE);
    dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    dev->SetVertexShader(tl_fvf);
    // Covers the left half of pixel column 1 (x from 0.5 to 1.0) and all of column 0.
    const TlVertex q[4] = {{-0.5f, -0.5f, 0.5f, 1, 0xffffffff, 0, 0},
                           {1.f, -0.5f, 0.5f, 1, 0xffffffff, 0, 0},
                           {-0.5f, 3.5f, 0.5f, 1, 0xffffffff, 0, 0},
                           {1.f, 3.5f, 0.5f, 1, 0xffffffff, 0, 0}};
    ASSERT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, q, sizeof(TlVertex)), D3D_OK);
    ASSERT_EQ(dev->EndScene(), D3D_OK);
    ASSERT_EQ(dev->CopyRects(back.get(), nullptr, 0, image.get(), nullptr), D3D_OK);
    D3DLOCKED_RECT lr{};
    ASSERT_EQ(image->LockRect(&lr, nullptr, D3DLOCK_READONLY), D3D_OK);
    const auto* row = static_cast<const uint32_t*>(lr.pBits);
    EXPECT_EQ(row[0] & 0xff, 0xffu);
    EXPECT_NEAR(static_cast<int>(row[1] & 0xff), 0x80, 1); // half its samples covered
    EXPECT_EQ(row[2] & 0xff, 0u);
    image->UnlockRect();
}

} // namespace
} // namespace qcore::test
