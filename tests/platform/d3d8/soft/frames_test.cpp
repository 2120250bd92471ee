#include "device_fixture.h"

#include <qcore/platform/d3d8/soft/draw_backend.h>

#include <cstring>
#include <vector>

namespace qcore::test {
namespace {

// Reads the pixels of a lockable 32-bit surface.
std::vector<uint32_t> read_surface(IDirect3DSurface8* s, UINT w, UINT h) {
    std::vector<uint32_t> out(size_t{w} * h);
    D3DLOCKED_RECT lr{};
    EXPECT_EQ(s->LockRect(&lr, nullptr, D3DLOCK_READONLY), D3D_OK);
    for (UINT y = 0; y < h; ++y)
        std::memcpy(&out[size_t{y} * w], static_cast<uint8_t*>(lr.pBits) + y * lr.Pitch, w * 4);
    s->UnlockRect();
    return out;
}

uint32_t window_pixel(HWND w, int x, int y) {
    return capture_window(w).at(x, y);
}

class FrameTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        D3DPRESENT_PARAMETERS pp = windowed_pp(8, 4);
        pp.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
        ASSERT_EQ(create(pp), D3D_OK);
        ASSERT_EQ(dev->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, back.out()), D3D_OK);
    }
    void TearDown() override {
        back.reset();
        DeviceTest::TearDown();
    }
    Ref<IDirect3DSurface8> back;
};

TEST_F(FrameTest, ScenesPair) {
    EXPECT_EQ(dev->EndScene(), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev->BeginScene(), D3D_OK);
    EXPECT_EQ(dev->BeginScene(), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev->EndScene(), D3D_OK);
    EXPECT_EQ(dev->EndScene(), D3DERR_INVALIDCALL);
}

TEST_F(FrameTest, ClearsStayInsideTheViewport) {
    ASSERT_EQ(
        dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0xff000000, 1.f, 0),
        D3D_OK);
    D3DVIEWPORT8 vp{2, 1, 4, 2, 0.f, 1.f};
    ASSERT_EQ(dev->SetViewport(&vp), D3D_OK);
    const D3DRECT rects[] = {{0, 0, 3, 4}, {5, 2, 100, 100}};
    ASSERT_EQ(dev->Clear(2, rects, D3DCLEAR_TARGET, 0xff00ff00, 1.f, 0), D3D_OK);
    const auto px = read_surface(back.get(), 8, 4);
    const char* expected[] = {
        "........",
        "..#.....",
        "..#..#..",
        "........",
    };
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(px[y * 8 + x], expected[y][x] == '#' ? 0xff00ff00u : 0xff000000u) << x << "," << y;

    ASSERT_EQ(dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xff0000ff, 1.f, 0), D3D_OK);
    const auto whole = read_surface(back.get(), 8, 4);
    EXPECT_EQ(whole[1 * 8 + 2], 0xff0000ffu);
    EXPECT_EQ(whole[1 * 8 + 1], 0xff000000u);
    EXPECT_EQ(whole[3 * 8 + 5], 0xff000000u);
}

TEST_F(FrameTest, ClearChecksItsArguments) {
    EXPECT_EQ(dev->Clear(1, nullptr, D3DCLEAR_TARGET, 0, 1.f, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev->Clear(0, nullptr, 0, 0, 1.f, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.5f, 0), D3DERR_INVALIDCALL);
    ASSERT_EQ(dev->SetRenderTarget(nullptr, nullptr), D3D_OK);
    EXPECT_EQ(dev->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.f, 0), D3DERR_INVALIDCALL)
        << "no depth surface set";
}

TEST_F(FrameTest, ClearsDepthAndStencilOfTheDepthSurface) {
    Ref<IDirect3DSurface8> depth;
    ASSERT_EQ(dev->CreateDepthStencilSurface(8, 4, D3DFMT_D16_LOCKABLE, D3DMULTISAMPLE_NONE, depth.out()),
              D3D_OK);
    ASSERT_EQ(dev->SetRenderTarget(back.get(), depth.get()), D3D_OK);
    EXPECT_EQ(dev->Clear(0, nullptr, D3DCLEAR_STENCIL, 0, 1.f, 1), D3DERR_INVALIDCALL) << "no stencil bits";
    const D3DRECT r{0, 0, 4, 4};
    ASSERT_EQ(dev->Clear(1, &r, D3DCLEAR_ZBUFFER, 0, 0.5f, 0), D3D_OK);
    D3DLOCKED_RECT lr{};
    ASSERT_EQ(depth->LockRect(&lr, nullptr, D3DLOCK_READONLY), D3D_OK);
    const auto* row = static_cast<const uint16_t*>(lr.pBits);
    EXPECT_EQ(row[3], 32768u);
    EXPECT_EQ(row[4], 0u);
    depth->UnlockRect();
}

TEST_F(FrameTest, PresentStretchesIntoTheWindow) {
    // Left half red, right half blue, presented into a 16 x 8 part of the window.
    const D3DRECT left{0, 0, 4, 4}, right{4, 0, 8, 4};
    ASSERT_EQ(dev->Clear(1, &left, D3DCLEAR_TARGET, 0xffff0000, 1.f, 0), D3D_OK);
    ASSERT_EQ(dev->Clear(1, &right, D3DCLEAR_TARGET, 0xff0000ff, 1.f, 0), D3D_OK);
    const RECT dest{10, 20, 26, 28};
    ASSERT_EQ(dev->Present(nullptr, &dest, test_window(2), nullptr), D3D_OK);
    EXPECT_EQ(window_present_count(test_window(2)), 1u);
    EXPECT_EQ(window_pixel(test_window(2), 10, 20), 0x00ff0000u);
    EXPECT_EQ(window_pixel(test_window(2), 25, 27), 0x000000ffu);
    const uint32_t middle = window_pixel(test_window(2), 18, 24);
    EXPECT_GT(middle & 0xff, 0u) << "bilinear: blends at the seam";
    EXPECT_GT(middle >> 16, 0u);

    // A source rectangle of the right half only, shown at its size: an exact copy.
    const RECT src{4, 0, 8, 4}, small{0, 0, 4, 4};
    ASSERT_EQ(dev->Present(&src, &small, test_window(3), nullptr), D3D_OK);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(window_pixel(test_window(3), x, y), 0x000000ffu);
    EXPECT_EQ(window_pixel(test_window(3), 4, 0), 0u) << "outside the destination";

    const RECT bad{5, 0, 5, 4};
    EXPECT_EQ(dev->Present(&bad, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL);
}

TEST_F(FrameTest, TheFrontBufferHoldsTheLastPresentedPicture) {
    detail::soft::change_desktop_mode(32, 16, D3DFMT_X8R8G8B8);
    D3DPRESENT_PARAMETERS pp = windowed_pp(8, 4);
    back.reset();
    ASSERT_EQ(dev->Reset(&pp), D3D_OK);
    ASSERT_EQ(dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xff123456, 1.f, 0), D3D_OK);
    ASSERT_EQ(dev->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    Ref<IDirect3DSurface8> front, wrong;
    ASSERT_EQ(dev->CreateImageSurface(32, 16, D3DFMT_A8R8G8B8, front.out()), D3D_OK);
    ASSERT_EQ(dev->CreateImageSurface(8, 4, D3DFMT_A8R8G8B8, wrong.out()), D3D_OK);
    EXPECT_EQ(dev->GetFrontBuffer(wrong.get()), D3DERR_INVALIDCALL) << "the desktop's size is needed";
    ASSERT_EQ(dev->GetFrontBuffer(front.get()), D3D_OK);
    const auto px = read_surface(front.get(), 32, 16);
    EXPECT_EQ(px[3 * 32 + 7], 0xff123456u);
    EXPECT_EQ(px[3 * 32 + 8], 0xff000000u);
}

TEST_F(FrameTest, HalvingTheSizeAveragesEachTwoByTwoBlock) {
    // Columns alternate black and white: each 2 x 2 block averages to mid grey, as a viewport rendered at
    // twice its window's size shows.
    for (LONG x = 0; x < 8; ++x) {
        const D3DRECT column{x, 0, x + 1, 4};
        ASSERT_EQ(dev->Clear(1, &column, D3DCLEAR_TARGET, x % 2 ? 0xffffffff : 0xff000000, 1.f, 0), D3D_OK);
    }
    const RECT half{0, 0, 4, 2};
    ASSERT_EQ(dev->Present(nullptr, &half, test_window(5), nullptr), D3D_OK);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(window_pixel(test_window(5), x, y), 0x007f7f7fu) << x << "," << y;
}

TEST_F(DeviceTest, PresentAveragesSupersampledBackBuffers) {
    D3DPRESENT_PARAMETERS pp = windowed_pp(4, 4);
    pp.MultiSampleType = D3DMULTISAMPLE_4_SAMPLES;
    ASSERT_EQ(create(pp), D3D_OK);
    ASSERT_EQ(dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xff808080, 1.f, 0), D3D_OK);
    const RECT dest{0, 0, 4, 4};
    ASSERT_EQ(dev->Present(nullptr, &dest, test_window(4), nullptr), D3D_OK);
    EXPECT_EQ(window_pixel(test_window(4), 2, 2), 0x00808080u);
    Ref<IDirect3DSurface8> back;
    ASSERT_EQ(dev->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, back.out()), D3D_OK);
    D3DLOCKED_RECT lr{};
    EXPECT_EQ(back->LockRect(&lr, nullptr, 0), D3DERR_INVALIDCALL) << "multisampled surfaces do not lock";
}

TEST_F(FrameTest, RenderingIntoATextureAndBack) {
    auto target = texture(16, 16, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT);
    Ref<IDirect3DSurface8> level, depth, saved_rt, saved_z, image;
    ASSERT_EQ(target->GetSurfaceLevel(0, level.out()), D3D_OK);
    ASSERT_EQ(dev->CreateDepthStencilSurface(16, 16, D3DFMT_D24S8, D3DMULTISAMPLE_NONE, depth.out()), D3D_OK);
    ASSERT_EQ(dev->GetRenderTarget(saved_rt.out()), D3D_OK);
    ASSERT_EQ(dev->GetDepthStencilSurface(saved_z.out()), D3D_OK);
    ASSERT_EQ(dev->SetRenderTarget(level.get(), depth.get()), D3D_OK);
    D3DVIEWPORT8 vp{};
    ASSERT_EQ(dev->GetViewport(&vp), D3D_OK);
    EXPECT_EQ(vp.Width, 16u) << "a new target gets a viewport over all of it";
    ASSERT_EQ(
        dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0x80402010, 1.f, 0),
        D3D_OK);
    Ref<IDirect3DSurface8> current;
    ASSERT_EQ(dev->GetRenderTarget(current.out()), D3D_OK);
    EXPECT_EQ(current.get(), level.get());
    EXPECT_EQ(dev->SetRenderTarget(saved_rt.get(), depth.get()), D3D_OK) << "a larger depth surface fits";
    Ref<IDirect3DSurface8> small_depth;
    ASSERT_EQ(dev->CreateDepthStencilSurface(4, 4, D3DFMT_D16, D3DMULTISAMPLE_NONE, small_depth.out()),
              D3D_OK);
    EXPECT_EQ(dev->SetRenderTarget(level.get(), small_depth.get()), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev->SetRenderTarget(image.get(), nullptr), D3D_OK) << "no new target keeps the current one";
    ASSERT_EQ(dev->CreateImageSurface(16, 16, D3DFMT_A8R8G8B8, image.out()), D3D_OK);
    EXPECT_EQ(dev->SetRenderTarget(image.get(), nullptr), D3DERR_INVALIDCALL) << "not a render target";
    ASSERT_EQ(dev->SetRenderTarget(saved_rt.get(), saved_z.get()), D3D_OK);

    // What was drawn into the texture is read back through a copy, as a surface capture does.
    ASSERT_EQ(dev->CopyRects(level.get(), nullptr, 0, image.get(), nullptr), D3D_OK);
    EXPECT_EQ(read_surface(image.get(), 16, 16)[5 * 16 + 7], 0x80402010u);
}

TEST_F(DeviceTest, CopyingFromAMultisampledTargetResolvesIt) {
    D3DPRESENT_PARAMETERS pp = windowed_pp(4, 4);
    pp.MultiSampleType = D3DMULTISAMPLE_2_SAMPLES;
    ASSERT_EQ(create(pp), D3D_OK);
    ASSERT_EQ(dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xff204060, 1.f, 0), D3D_OK);
    Ref<IDirect3DSurface8> back, image;
    ASSERT_EQ(dev->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, back.out()), D3D_OK);
    ASSERT_EQ(dev->CreateImageSurface(4, 4, D3DFMT_X8R8G8B8, image.out()), D3D_OK);
    ASSERT_EQ(dev->CopyRects(back.get(), nullptr, 0, image.get(), nullptr), D3D_OK);
    EXPECT_EQ(read_surface(image.get(), 4, 4)[6], 0xff204060u);
}

// A pipeline that records what the device hands it.
struct RecordingBackend : detail::soft::DrawBackend {
    static inline std::vector<detail::soft::DrawCall> calls;
    HRESULT draw(const detail::soft::DeviceState&, const detail::soft::DrawCall& call,
                 detail::soft::DrawTargets& targets) override {
        EXPECT_NE(targets.colour, nullptr);
        calls.push_back(call);
        return call.type == D3DPT_LINESTRIP ? D3DERR_INVALIDCALL : D3D_OK; // stands for a refused state
    }
};

struct ForgettingBackend : detail::soft::DrawBackend {
    static inline std::vector<uint64_t> forgotten;
    HRESULT draw(const detail::soft::DeviceState&, const detail::soft::DrawCall&,
                 detail::soft::DrawTargets&) override {
        return D3D_OK;
    }
    void forget_texture(uint64_t id) override { forgotten.push_back(id); }
};

TEST_F(DeviceTest, ReleasedTexturesAreForgottenByThePipeline) {
    ForgettingBackend::forgotten.clear();
    detail::soft::install_draw_backend_factory([] { return std::make_unique<ForgettingBackend>(); });
    ASSERT_EQ(create(windowed_pp(16, 16)), D3D_OK);
    detail::soft::install_draw_backend_factory({});
    IDirect3DTexture8* tex = nullptr;
    ASSERT_EQ(dev->CreateTexture(8, 8, 1, 0, D3DFMT_R5G6B5, D3DPOOL_MANAGED, &tex), D3D_OK);
    // The pipeline names a texture by the address of the device's own object.
    const uint64_t id = reinterpret_cast<uintptr_t>(static_cast<detail::soft::SoftTexture*>(tex));
    ASSERT_EQ(dev->SetTexture(0, tex), D3D_OK);
    tex->Release();
    EXPECT_TRUE(ForgettingBackend::forgotten.empty()) << "still bound";
    ASSERT_EQ(dev->SetTexture(0, nullptr), D3D_OK);
    EXPECT_EQ(ForgettingBackend::forgotten, std::vector<uint64_t>{id});
}

TEST_F(DeviceTest, LevelsLockedForWritingAreForgottenByThePipeline) {
    ForgettingBackend::forgotten.clear();
    detail::soft::install_draw_backend_factory([] { return std::make_unique<ForgettingBackend>(); });
    ASSERT_EQ(create(windowed_pp(16, 16)), D3D_OK);
    detail::soft::install_draw_backend_factory({});
    Ref<IDirect3DTexture8> tex = texture(8, 8, 2, 0, D3DFMT_DXT1, D3DPOOL_MANAGED);
    ASSERT_TRUE(tex);
    const uint64_t id = reinterpret_cast<uintptr_t>(static_cast<detail::soft::SoftTexture*>(tex.get()));
    D3DLOCKED_RECT lr{};
    ASSERT_EQ(tex->LockRect(1, &lr, nullptr, D3DLOCK_READONLY), D3D_OK);
    ASSERT_EQ(tex->UnlockRect(1), D3D_OK);
    EXPECT_TRUE(ForgettingBackend::forgotten.empty()) << "reading changes nothing";
    ASSERT_EQ(tex->LockRect(1, &lr, nullptr, 0), D3D_OK);
    ASSERT_EQ(tex->UnlockRect(1), D3D_OK);
    EXPECT_EQ(ForgettingBackend::forgotten, std::vector<uint64_t>{id});
    Ref<IDirect3DSurface8> level;
    ASSERT_EQ(tex->GetSurfaceLevel(0, level.out()), D3D_OK);
    ASSERT_EQ(level->LockRect(&lr, nullptr, 0), D3D_OK);
    ASSERT_EQ(level->UnlockRect(), D3D_OK);
    EXPECT_EQ(ForgettingBackend::forgotten.size(), 2u) << "through the level's own surface too";
}

TEST_F(DeviceTest, IndicesFromMemoryStayInsideTheNamedRange) {
    RecordingBackend::calls.clear();
    detail::soft::install_draw_backend_factory([] { return std::make_unique<RecordingBackend>(); });
    ASSERT_EQ(create(windowed_pp(16, 16)), D3D_OK);
    detail::soft::install_draw_backend_factory({});
    ASSERT_EQ(dev->SetVertexShader(D3DFVF_XYZRHW), D3D_OK);
    ASSERT_EQ(dev->BeginScene(), D3D_OK);
    const float tri[3][4] = {{0, 0, 0, 1}, {8, 0, 0, 1}, {0, 8, 0, 1}};
    // A range the caller cannot have: its vertices would lie far past the three given.
    const uint32_t huge[3] = {0xfffffff0u, 0xfffffff1u, 0xfffffff2u};
    EXPECT_EQ(
        dev->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0xfffffff0u, 3, 1, huge, D3DFMT_INDEX32, tri, 16),
        D3DERR_INVALIDCALL);
    const uint32_t below[3] = {0, 1, 2};
    EXPECT_EQ(dev->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 1, 2, 1, below, D3DFMT_INDEX32, tri, 16),
              D3DERR_INVALIDCALL)
        << "index 0 is below the named minimum";
    EXPECT_EQ(dev->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 0, 1, below, D3DFMT_INDEX32, tri, 16),
              D3DERR_INVALIDCALL)
        << "no vertices named";
    EXPECT_EQ(dev->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 3, 1, below, D3DFMT_INDEX32, tri, 16),
              D3D_OK);
    ASSERT_EQ(dev->EndScene(), D3D_OK);
    EXPECT_EQ(RecordingBackend::calls.size(), 1u);
}

TEST_F(DeviceTest, DrawCallsAreCheckedBeforeThePipelineSeesThem) {
    RecordingBackend::calls.clear();
    detail::soft::install_draw_backend_factory([] { return std::make_unique<RecordingBackend>(); });
    ASSERT_EQ(create(windowed_pp(16, 16)), D3D_OK);
    detail::soft::install_draw_backend_factory({});
    const float tri[3][4] = {{0, 0, 0, 1}, {8, 0, 0, 1}, {0, 8, 0, 1}};
    ASSERT_EQ(dev->SetVertexShader(D3DFVF_XYZRHW), D3D_OK);
    EXPECT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, tri, 16), D3DERR_INVALIDCALL) << "outside a scene";
    ASSERT_EQ(dev->BeginScene(), D3D_OK);
    EXPECT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, tri, 12), D3DERR_INVALIDCALL)
        << "stride below the FVF";
    EXPECT_EQ(dev->DrawPrimitiveUP(static_cast<D3DPRIMITIVETYPE>(7), 1, tri, 16), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, tri, 16), D3D_OK);
    const uint16_t bad_indices[3] = {0, 1, 3};
    EXPECT_EQ(dev->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 3, 1, bad_indices, D3DFMT_INDEX16, tri, 16),
              D3DERR_INVALIDCALL)
        << "an index past the vertices";

    Ref<IDirect3DVertexBuffer8> vb;
    ASSERT_EQ(dev->CreateVertexBuffer(48, 0, D3DFVF_XYZRHW, D3DPOOL_MANAGED, vb.out()), D3D_OK);
    EXPECT_EQ(dev->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3DERR_INVALIDCALL) << "no stream";
    ASSERT_EQ(dev->SetStreamSource(0, vb.get(), 16), D3D_OK);
    EXPECT_EQ(dev->DrawPrimitive(D3DPT_TRIANGLELIST, 1, 1), D3DERR_INVALIDCALL) << "past the buffer";
    EXPECT_EQ(dev->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3D_OK);
    EXPECT_EQ(dev->DrawPrimitiveUP(D3DPT_POINTLIST, 3, tri, 16), D3D_OK);
    EXPECT_EQ(dev->DrawPrimitiveUP(D3DPT_LINESTRIP, 1, tri, 16), D3DERR_INVALIDCALL) << "the backend refused";
    Ref<IDirect3DVertexBuffer8> stream;
    UINT stride = 1;
    ASSERT_EQ(dev->GetStreamSource(0, stream.out(), &stride), D3D_OK);
    EXPECT_FALSE(stream) << "drawing from memory unsets stream 0";
    ASSERT_EQ(dev->EndScene(), D3D_OK);

    ASSERT_EQ(RecordingBackend::calls.size(), 4u);
    EXPECT_EQ(RecordingBackend::calls[0].fvf, DWORD{D3DFVF_XYZRHW});
    EXPECT_EQ(RecordingBackend::calls[0].vertex_bytes, 48u);
    EXPECT_EQ(RecordingBackend::calls[2].type, D3DPT_POINTLIST);
}

} // namespace
} // namespace qcore::test
