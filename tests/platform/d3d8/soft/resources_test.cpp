#include "device_fixture.h"

#include <qcore/platform/d3d8/soft/formats.h>

#include <algorithm>
#include <cstring>
#include <thread>

namespace qcore::test {
namespace {

class ResourceTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        ASSERT_EQ(create(windowed_pp(64, 32)), D3D_OK);
    }
};

TEST_F(ResourceTest, FullMipChainAndLevelSizes) {
    auto t = texture(256, 64, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED);
    ASSERT_TRUE(t);
    ASSERT_EQ(t->GetLevelCount(), 9u);
    const UINT widths[] = {256, 128, 64, 32, 16, 8, 4, 2, 1};
    const UINT heights[] = {64, 32, 16, 8, 4, 2, 1, 1, 1};
    for (UINT i = 0; i < 9; ++i) {
        D3DSURFACE_DESC d{};
        ASSERT_EQ(t->GetLevelDesc(i, &d), D3D_OK);
        EXPECT_EQ(d.Width, widths[i]);
        EXPECT_EQ(d.Height, heights[i]);
        EXPECT_EQ(d.Size, widths[i] * heights[i] * 4);
        EXPECT_EQ(d.Pool, D3DPOOL_MANAGED);
        EXPECT_EQ(d.Type, D3DRTYPE_SURFACE);
    }
    D3DSURFACE_DESC d{};
    EXPECT_EQ(t->GetLevelDesc(9, &d), D3DERR_INVALIDCALL);
    EXPECT_FALSE(texture(256, 64, 10, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED)) << "more levels than the chain";
    EXPECT_EQ(texture(300, 20, 3, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED)->GetLevelCount(), 3u) << "any size";

    auto dxt = texture(16, 8, 0, 0, D3DFMT_DXT1, D3DPOOL_MANAGED);
    ASSERT_TRUE(dxt);
    ASSERT_EQ(dxt->GetLevelDesc(4, &d), D3D_OK);
    EXPECT_EQ(d.Width, 1u);
    EXPECT_EQ(d.Size, 8u) << "a level below 4x4 still takes one block";
}

TEST_F(ResourceTest, TextureLockRulesPerPoolAndUsage) {
    struct Row {
        DWORD usage;
        D3DPOOL pool;
        bool creates;
        bool locks;
    };
    const Row rows[] = {
        {0, D3DPOOL_MANAGED, true, true},
        {0, D3DPOOL_SYSTEMMEM, true, true},
        {0, D3DPOOL_DEFAULT, true, false},
        {D3DUSAGE_DYNAMIC, D3DPOOL_DEFAULT, true, true},
        {D3DUSAGE_DYNAMIC, D3DPOOL_SYSTEMMEM, true, true},
        {D3DUSAGE_DYNAMIC, D3DPOOL_MANAGED, false, false},
        {D3DUSAGE_RENDERTARGET, D3DPOOL_DEFAULT, true, false},
        {D3DUSAGE_RENDERTARGET, D3DPOOL_MANAGED, false, false},
        {D3DUSAGE_RENDERTARGET, D3DPOOL_SYSTEMMEM, false, false},
        {D3DUSAGE_DEPTHSTENCIL, D3DPOOL_DEFAULT, false, false},
    };
    for (const auto& r : rows) {
        auto t = texture(16, 16, 1, r.usage, D3DFMT_A8R8G8B8, r.pool);
        ASSERT_EQ(bool(t), r.creates) << r.usage << " in " << r.pool;
        if (!t) continue;
        D3DLOCKED_RECT lr{};
        const HRESULT hr = t->LockRect(0, &lr, nullptr, 0);
        EXPECT_EQ(hr == D3D_OK, r.locks) << r.usage << " in " << r.pool;
        if (hr == D3D_OK) {
            EXPECT_EQ(t->LockRect(0, &lr, nullptr, 0), D3DERR_INVALIDCALL) << "locked twice";
            EXPECT_EQ(t->UnlockRect(0), D3D_OK);
        }
        EXPECT_EQ(t->UnlockRect(0), D3DERR_INVALIDCALL) << "not locked";
    }
    auto managed = texture(16, 16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED);
    auto dynamic = texture(16, 16, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT);
    D3DLOCKED_RECT lr{};
    EXPECT_EQ(managed->LockRect(0, &lr, nullptr, D3DLOCK_DISCARD), D3DERR_INVALIDCALL);
    EXPECT_EQ(managed->LockRect(0, &lr, nullptr, D3DLOCK_READONLY | D3DLOCK_NOSYSLOCK), D3D_OK);
    EXPECT_EQ(managed->UnlockRect(0), D3D_OK);
    EXPECT_EQ(dynamic->LockRect(0, &lr, nullptr, D3DLOCK_DISCARD), D3D_OK);
    EXPECT_EQ(dynamic->UnlockRect(0), D3D_OK);
}

TEST_F(ResourceTest, SurfaceLockRules) {
    struct Row {
        const char* what;
        HRESULT (*make)(IDirect3DDevice8*, IDirect3DSurface8**);
        bool locks;
    };
    const Row rows[] = {
        {"image surface",
         [](IDirect3DDevice8* d, IDirect3DSurface8** s) {
             return d->CreateImageSurface(8, 8, D3DFMT_R5G6B5, s);
         },
         true},
        {"lockable render target",
         [](IDirect3DDevice8* d, IDirect3DSurface8** s) {
             return d->CreateRenderTarget(8, 8, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, TRUE, s);
         },
         true},
        {"render target",
         [](IDirect3DDevice8* d, IDirect3DSurface8** s) {
             return d->CreateRenderTarget(8, 8, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, FALSE, s);
         },
         false},
        {"lockable depth",
         [](IDirect3DDevice8* d, IDirect3DSurface8** s) {
             return d->CreateDepthStencilSurface(8, 8, D3DFMT_D16_LOCKABLE, D3DMULTISAMPLE_NONE, s);
         },
         true},
        {"depth",
         [](IDirect3DDevice8* d, IDirect3DSurface8** s) {
             return d->CreateDepthStencilSurface(8, 8, D3DFMT_D24S8, D3DMULTISAMPLE_NONE, s);
         },
         false},
        {"back buffer without the lockable flag",
         [](IDirect3DDevice8* d, IDirect3DSurface8** s) {
             return d->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, s);
         },
         false},
    };
    for (const auto& r : rows) {
        Ref<IDirect3DSurface8> s;
        ASSERT_EQ(r.make(dev.get(), s.out()), D3D_OK) << r.what;
        D3DLOCKED_RECT lr{};
        EXPECT_EQ(s->LockRect(&lr, nullptr, 0) == D3D_OK, r.locks) << r.what;
        if (r.locks) {
            EXPECT_EQ(s->UnlockRect(), D3D_OK);
        }
    }
    Ref<IDirect3DSurface8> s;
    EXPECT_EQ(dev->CreateRenderTarget(8, 8, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_2_SAMPLES, TRUE, s.out()),
              D3DERR_INVALIDCALL)
        << "multisampled surfaces cannot be lockable";
    EXPECT_EQ(dev->CreateImageSurface(8, 8, D3DFMT_D16, s.out()), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev->CreateRenderTarget(8, 8, D3DFMT_DXT1, D3DMULTISAMPLE_NONE, FALSE, s.out()),
              D3DERR_INVALIDCALL);
}

TEST_F(ResourceTest, SubRectanglesAndPitch) {
    auto t = texture(32, 16, 1, 0, D3DFMT_R5G6B5, D3DPOOL_MANAGED);
    D3DLOCKED_RECT whole{}, part{};
    ASSERT_EQ(t->LockRect(0, &whole, nullptr, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(whole.Pitch, 64);
    ASSERT_EQ(t->UnlockRect(0), D3D_OK);
    const RECT r{3, 5, 10, 9};
    ASSERT_EQ(t->LockRect(0, &part, &r, 0), D3D_OK);
    EXPECT_EQ(static_cast<uint8_t*>(part.pBits) - static_cast<uint8_t*>(whole.pBits), 5 * 64 + 3 * 2);
    ASSERT_EQ(t->UnlockRect(0), D3D_OK);
    for (const RECT bad : {RECT{0, 0, 33, 4}, RECT{4, 4, 4, 8}, RECT{-1, 0, 2, 2}, RECT{0, 10, 4, 17}})
        EXPECT_EQ(t->LockRect(0, &part, &bad, 0), D3DERR_INVALIDCALL);

    auto dxt = texture(16, 16, 1, 0, D3DFMT_DXT5, D3DPOOL_MANAGED);
    D3DLOCKED_RECT blocks{};
    ASSERT_EQ(dxt->LockRect(0, &blocks, nullptr, 0), D3D_OK);
    EXPECT_EQ(blocks.Pitch, 4 * 16) << "a row of blocks";
    ASSERT_EQ(dxt->UnlockRect(0), D3D_OK);
    const RECT aligned{4, 8, 12, 16};
    ASSERT_EQ(dxt->LockRect(0, &part, &aligned, 0), D3D_OK);
    EXPECT_EQ(static_cast<uint8_t*>(part.pBits) - static_cast<uint8_t*>(blocks.pBits), 2 * 64 + 16);
    ASSERT_EQ(dxt->UnlockRect(0), D3D_OK);
    const RECT unaligned{2, 0, 8, 4};
    EXPECT_EQ(dxt->LockRect(0, &part, &unaligned, 0), D3DERR_INVALIDCALL);
}

// Each format's published layout: raw bytes written through a lock read back as the expected colour.
TEST_F(ResourceTest, FormatLayoutsReadBackAsThirtyTwoBitColours) {
    struct Row {
        D3DFORMAT format;
        uint32_t raw;
        uint32_t argb;
    };
    const Row rows[] = {
        {D3DFMT_A8R8G8B8, 0x80ff4000, 0x80ff4000},
        {D3DFMT_X8R8G8B8, 0x0000ff00, 0xff00ff00},
        {D3DFMT_R5G6B5, 0xf800, 0xffff0000},
        {D3DFMT_R5G6B5, 0x07e0, 0xff00ff00},
        {D3DFMT_X1R5G5B5, 0x001f, 0xff0000ff},
        {D3DFMT_A1R5G5B5, 0x7c00, 0x00ff0000},
        {D3DFMT_A1R5G5B5, 0x83e0, 0xff00ff00},
        {D3DFMT_A4R4G4B4, 0xf00f, 0xff0000ff},
        {D3DFMT_A4R4G4B4, 0x8f00, 0x88ff0000},
        {D3DFMT_R3G3B2, 0xe0, 0xffff0000},
        {D3DFMT_R3G3B2, 0x03, 0xff0000ff},
        {D3DFMT_A8, 0x7f, 0x7f000000},
        {D3DFMT_L8, 0x40, 0xff404040},
        {D3DFMT_A8L8, 0x20c0, 0x20c0c0c0},
        {D3DFMT_A4L4, 0xf3, 0xff333333},
        {D3DFMT_V8U8, 0x7f81, 0xff01ffff},
        {D3DFMT_Q8W8V8U8, 0x00000000, 0x80808080},
    };
    for (const auto& r : rows) {
        auto t = texture(4, 4, 1, 0, r.format, D3DPOOL_SYSTEMMEM);
        ASSERT_TRUE(t) << r.format;
        D3DLOCKED_RECT lr{};
        const RECT px{1, 2, 2, 3};
        ASSERT_EQ(t->LockRect(0, &lr, &px, 0), D3D_OK);
        std::memcpy(lr.pBits, &r.raw, detail::soft::format_info(r.format)->bytes);
        ASSERT_EQ(t->UnlockRect(0), D3D_OK);
        ASSERT_EQ(t->LockRect(0, &lr, nullptr, D3DLOCK_READONLY), D3D_OK);
        EXPECT_EQ(detail::soft::read_texel(r.format, static_cast<uint8_t*>(lr.pBits), lr.Pitch, 1, 2), r.argb)
            << std::hex << r.format << " " << r.raw;
        ASSERT_EQ(t->UnlockRect(0), D3D_OK);
    }
}

TEST(FormatTest, ColoursEachFormatCanHoldSurviveTheRoundTrip) {
    using namespace detail::soft;
    const uint32_t colours[] = {0xff000000, 0xffffffff, 0xff0000ff, 0xffff0000, 0xff00ff00};
    for (D3DFORMAT f : {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_X1R5G5B5, D3DFMT_A1R5G5B5,
                        D3DFMT_A4R4G4B4, D3DFMT_R3G3B2, D3DFMT_A8R3G3B2, D3DFMT_X4R4G4B4})
        for (uint32_t c : colours) {
            uint8_t px[4] = {};
            argb_to_pixel(f, c, px);
            EXPECT_EQ(pixel_to_argb(f, px), c) << std::hex << f << " " << c;
        }
    for (D3DFORMAT f : {D3DFMT_V8U8, D3DFMT_Q8W8V8U8, D3DFMT_L6V5U5}) {
        uint8_t px[4] = {};
        argb_to_pixel(f, 0xff80c040, px);
        const uint32_t back = pixel_to_argb(f, px);
        EXPECT_EQ((back >> 16) & 0xff, 0x80u) << f;
        EXPECT_EQ((back >> 8) & 0xff, 0xc0u) << f;
    }
}

TEST(FormatTest, DepthAndStencilShareTheirWord) {
    using namespace detail::soft;
    uint8_t px[4] = {};
    set_depth(D3DFMT_D24S8, px, 1.f);
    set_stencil(D3DFMT_D24S8, px, 0x5a);
    uint32_t word;
    std::memcpy(&word, px, 4);
    EXPECT_EQ(word, 0xffffff5au) << "depth in the upper 24 bits, stencil in the lower 8";
    EXPECT_FLOAT_EQ(depth_at(D3DFMT_D24S8, px), 1.f);
    set_depth(D3DFMT_D16, px, 0.5f);
    EXPECT_NEAR(depth_at(D3DFMT_D16, px), 0.5f, 1e-4f);
    EXPECT_EQ(stencil_at(D3DFMT_D16, px), 0u);
}

TEST(FormatTest, CompressedBlocksDecode) {
    using namespace detail::soft;
    // DXT1: colour 0 red, colour 1 blue, every texel index 1 but the first (index 0).
    const uint8_t block[8] = {0x00, 0xf8, 0x1f, 0x00, 0x54, 0x55, 0x55, 0x55};
    uint32_t texels[16];
    decode_block(D3DFMT_DXT1, block, texels);
    EXPECT_EQ(texels[0], 0xffff0000u);
    EXPECT_EQ(texels[1], 0xff0000ffu);
    EXPECT_EQ(read_texel(D3DFMT_DXT1, block, 8, 3, 3), 0xff0000ffu);
    EXPECT_EQ(row_pitch(D3DFMT_DXT3, 10), 48u);
    EXPECT_EQ(image_size(D3DFMT_DXT1, 10, 5), 3u * 2 * 8);
}

TEST_F(ResourceTest, BufferLocksAndDescriptions) {
    Ref<IDirect3DVertexBuffer8> vb;
    ASSERT_EQ(dev->CreateVertexBuffer(160, D3DUSAGE_WRITEONLY, D3DFVF_XYZ | D3DFVF_DIFFUSE, D3DPOOL_DEFAULT,
                                      vb.out()),
              D3D_OK);
    D3DVERTEXBUFFER_DESC vd{};
    ASSERT_EQ(vb->GetDesc(&vd), D3D_OK);
    EXPECT_EQ(vd.Size, 160u);
    EXPECT_EQ(vd.FVF, DWORD{D3DFVF_XYZ | D3DFVF_DIFFUSE});
    EXPECT_EQ(vd.Format, D3DFMT_VERTEXDATA);
    BYTE* whole = nullptr;
    BYTE* part = nullptr;
    ASSERT_EQ(vb->Lock(0, 0, &whole, D3DLOCK_NOSYSLOCK), D3D_OK);
    ASSERT_EQ(vb->Lock(32, 16, &part, 0), D3D_OK) << "buffer locks nest";
    EXPECT_EQ(part - whole, 32);
    EXPECT_EQ(vb->Unlock(), D3D_OK);
    EXPECT_EQ(vb->Unlock(), D3D_OK);
    EXPECT_EQ(vb->Unlock(), D3DERR_INVALIDCALL);
    EXPECT_EQ(vb->Lock(150, 16, &part, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(vb->Lock(0, 0, &part, D3DLOCK_DISCARD | D3DLOCK_NOSYSLOCK), D3DERR_INVALIDCALL)
        << "discard on a static buffer";

    Ref<IDirect3DIndexBuffer8> ib;
    ASSERT_EQ(dev->CreateIndexBuffer(12, D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY, D3DFMT_INDEX32,
                                     D3DPOOL_DEFAULT, ib.out()),
              D3D_OK);
    ASSERT_EQ(ib->Lock(0, 0, &part, D3DLOCK_DISCARD | D3DLOCK_NOSYSLOCK), D3D_OK);
    EXPECT_EQ(ib->Unlock(), D3D_OK);
    D3DINDEXBUFFER_DESC id{};
    ASSERT_EQ(ib->GetDesc(&id), D3D_OK);
    EXPECT_EQ(id.Format, D3DFMT_INDEX32);
    EXPECT_EQ(id.Usage, DWORD{D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY});
    EXPECT_EQ(dev->CreateIndexBuffer(12, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, ib.out()), D3D_OK);
    EXPECT_EQ(dev->CreateIndexBuffer(12, D3DUSAGE_DYNAMIC, D3DFMT_INDEX16, D3DPOOL_MANAGED, ib.out()),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(dev->CreateIndexBuffer(12, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, ib.out()), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev->CreateVertexBuffer(8, 0, D3DFVF_XYZ, D3DPOOL_MANAGED, vb.out()), D3DERR_INVALIDCALL)
        << "shorter than one vertex";
}

TEST_F(ResourceTest, LargeBuffersAndSurfacesMadeAgainStartCleared) {
    // Large blocks are reused after release: whatever the last owner wrote must not show through, also
    // when the new resource is a little smaller than the block it gets.
    constexpr UINT kBytes = 3u << 20;
    for (UINT size : {kBytes, kBytes, kBytes - 4096, kBytes}) {
        Ref<IDirect3DVertexBuffer8> vb;
        ASSERT_EQ(dev->CreateVertexBuffer(size, 0, D3DFVF_XYZ, D3DPOOL_SYSTEMMEM, vb.out()), D3D_OK);
        BYTE* bytes = nullptr;
        ASSERT_EQ(vb->Lock(0, 0, &bytes, 0), D3D_OK);
        EXPECT_EQ(std::count(bytes, bytes + size, BYTE{0}), static_cast<long>(size)) << size;
        std::memset(bytes, 0xA5, size);
        vb->Unlock();
    }
    for (int round = 0; round < 2; ++round) {
        Ref<IDirect3DSurface8> image;
        ASSERT_EQ(dev->CreateImageSurface(1024, 768, D3DFMT_A8R8G8B8, image.out()), D3D_OK);
        D3DLOCKED_RECT locked{};
        ASSERT_EQ(image->LockRect(&locked, nullptr, 0), D3D_OK);
        auto* bytes = static_cast<BYTE*>(locked.pBits);
        const size_t size = size_t{768} * static_cast<size_t>(locked.Pitch);
        EXPECT_EQ(std::count(bytes, bytes + size, BYTE{0}), static_cast<long>(size));
        std::memset(bytes, 0x5A, size);
        image->UnlockRect();
    }
}

TEST_F(ResourceTest, LevelSurfacesShareTheTexturesLifetime) {
    IDirect3DTexture8* t = nullptr;
    ASSERT_EQ(dev->CreateTexture(8, 8, 2, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t), D3D_OK);
    IDirect3DSurface8* level = nullptr;
    ASSERT_EQ(t->GetSurfaceLevel(1, &level), D3D_OK);
    EXPECT_EQ(t->Release(), 1u) << "the level holds the texture";
    IDirect3DTexture8* container = nullptr;
    ASSERT_EQ(level->GetContainer(IID_IDirect3DTexture8, reinterpret_cast<void**>(&container)), D3D_OK);
    EXPECT_EQ(container, t);
    container->Release();
    D3DSURFACE_DESC d{};
    ASSERT_EQ(level->GetDesc(&d), D3D_OK);
    EXPECT_EQ(d.Width, 4u);
    EXPECT_EQ(level->Release(), 0u);
}

TEST_F(ResourceTest, VideoMemoryBudget) {
    const uint64_t base = video_memory_in_use();
    set_video_memory_budget(base + 1024 * 1024);
    EXPECT_EQ(dev->GetAvailableTextureMem(), 1024u * 1024u);
    auto a = texture(256, 256, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT); // 256 KiB
    auto b = texture(256, 512, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT); // 512 KiB
    ASSERT_TRUE(a && b);
    Ref<IDirect3DTexture8> c;
    EXPECT_EQ(dev->CreateTexture(256, 512, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, c.out()),
              D3DERR_OUTOFVIDEOMEMORY);
    EXPECT_FALSE(c);
    EXPECT_TRUE(texture(512, 512, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED))
        << "managed memory is not video memory";
    Ref<IDirect3DSurface8> rt;
    EXPECT_EQ(dev->CreateRenderTarget(512, 512, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, FALSE, rt.out()),
              D3DERR_OUTOFVIDEOMEMORY);
    b.reset();
    EXPECT_EQ(dev->CreateTexture(256, 512, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, c.out()), D3D_OK);
    c.reset();
    a.reset();
    EXPECT_EQ(video_memory_in_use(), base);
}

TEST_F(ResourceTest, CopyRectsMovesPixelsBetweenSurfacesOfOneFormat) {
    Ref<IDirect3DSurface8> src, dst, other;
    ASSERT_EQ(dev->CreateImageSurface(8, 8, D3DFMT_A8R8G8B8, src.out()), D3D_OK);
    ASSERT_EQ(dev->CreateImageSurface(8, 8, D3DFMT_A8R8G8B8, dst.out()), D3D_OK);
    ASSERT_EQ(dev->CreateImageSurface(8, 8, D3DFMT_R5G6B5, other.out()), D3D_OK);
    D3DLOCKED_RECT lr{};
    ASSERT_EQ(src->LockRect(&lr, nullptr, 0), D3D_OK);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(lr.pBits) + y * lr.Pitch)[x] =
                uint32_t(y * 8 + x);
    EXPECT_EQ(dev->CopyRects(src.get(), nullptr, 0, dst.get(), nullptr), D3DERR_INVALIDCALL)
        << "source locked";
    ASSERT_EQ(src->UnlockRect(), D3D_OK);
    const RECT r{2, 1, 5, 3};
    const POINT to{0, 6};
    ASSERT_EQ(dev->CopyRects(src.get(), &r, 1, dst.get(), &to), D3D_OK);
    ASSERT_EQ(dst->LockRect(&lr, nullptr, D3DLOCK_READONLY), D3D_OK);
    const auto at = [&](int x, int y) {
        return reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(lr.pBits) + y * lr.Pitch)[x];
    };
    EXPECT_EQ(at(0, 6), 10u);
    EXPECT_EQ(at(2, 7), 20u);
    EXPECT_EQ(at(3, 6), 0u);
    ASSERT_EQ(dst->UnlockRect(), D3D_OK);
    const POINT outside{6, 0};
    EXPECT_EQ(dev->CopyRects(src.get(), &r, 1, dst.get(), &outside), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev->CopyRects(src.get(), nullptr, 0, other.get(), nullptr), D3DERR_INVALIDCALL);
}

// Copies within one surface whose rectangles overlap move every pixel as if through a separate buffer, in
// every direction.
TEST_F(ResourceTest, CopyRectsWithinOneSurfaceHandlesOverlap) {
    const POINT moves[] = {{3, 2}, {1, 0}, {0, 0}, {0, 1}}; // down-right, up-left, left, up
    for (const POINT to : moves) {
        Ref<IDirect3DSurface8> s;
        ASSERT_EQ(dev->CreateImageSurface(8, 8, D3DFMT_A8R8G8B8, s.out()), D3D_OK);
        D3DLOCKED_RECT lr{};
        const auto at = [&](int x, int y) -> uint32_t& {
            return reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(lr.pBits) + y * lr.Pitch)[x];
        };
        ASSERT_EQ(s->LockRect(&lr, nullptr, 0), D3D_OK);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                at(x, y) = uint32_t(y * 8 + x);
        ASSERT_EQ(s->UnlockRect(), D3D_OK);
        const RECT r{1, 1, 6, 7};
        ASSERT_EQ(dev->CopyRects(s.get(), &r, 1, s.get(), &to), D3D_OK);
        ASSERT_EQ(s->LockRect(&lr, nullptr, D3DLOCK_READONLY), D3D_OK);
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 5; ++x)
                EXPECT_EQ(at(to.x + x, to.y + y), uint32_t((1 + y) * 8 + 1 + x))
                    << "to " << to.x << "," << to.y << " at " << x << "," << y;
        ASSERT_EQ(s->UnlockRect(), D3D_OK);
    }
}

// A video stream fills its texture on its own thread while the interface thread holds and releases it.
TEST_F(ResourceTest, AnotherThreadMayLockWhileReferencesMove) {
    auto t = texture(16, 16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED);
    std::thread stream([&] {
        for (int i = 0; i < 500; ++i) {
            D3DLOCKED_RECT lr{};
            if (t->LockRect(0, &lr, nullptr, 0) != D3D_OK) continue;
            static_cast<uint32_t*>(lr.pBits)[0] = uint32_t(i);
            t->UnlockRect(0);
        }
    });
    for (int i = 0; i < 500; ++i) {
        t->AddRef();
        t->Release();
    }
    stream.join();
    EXPECT_EQ(t->AddRef(), 2u);
    EXPECT_EQ(t->Release(), 1u);
}

} // namespace
} // namespace qcore::test
