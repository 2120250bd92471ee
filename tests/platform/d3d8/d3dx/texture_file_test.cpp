// Textures and surfaces loaded from files, converted, scaled and saved through the device.
#include "device_fixture.h"
#include "image_test_util.h"

#include <qcore/platform/d3d8/d3dx/d3dx8tex.h>
#include <qcore/platform/d3d8/d3dx/pixel_format.h>

#include <support/temp_dir.h>

#include <cstdio>
#include <cstring>

#include <sys/stat.h>

namespace {

using qcore::test::TempDir;

class TextureFileTest : public qcore::test::D3dxDeviceTest {
protected:
    std::string write(const std::string& name, const std::vector<uint8_t>& bytes) {
        const std::string path = dir_.file(name);
        qcore::test::write_file_bytes(path, std::string(bytes.begin(), bytes.end()));
        return path;
    }
    // A w x h RGBA PNG whose pixel (x, y) is (x * 4, y * 8, 100, 255 - x).
    std::string gradient_png(uint32_t w, uint32_t h) {
        std::vector<uint8_t> rgba;
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w; ++x)
                rgba.insert(rgba.end(), {uint8_t(x * 4), uint8_t(y * 8), 100, uint8_t(255 - x)});
        return write("gradient.png", qcore::test::write_png(w, h, 4, rgba));
    }
    static std::vector<uint32_t> level_pixels(IDirect3DTexture8* tex, UINT level) {
        D3DSURFACE_DESC desc{};
        tex->GetLevelDesc(level, &desc);
        D3DLOCKED_RECT lr{};
        EXPECT_EQ(tex->LockRect(level, &lr, nullptr, D3DLOCK_READONLY), D3D_OK);
        qcore::detail::ArgbImage img;
        qcore::detail::decode_pixels(desc.Format, static_cast<uint8_t*>(lr.pBits), size_t(lr.Pitch),
                                     desc.Width, desc.Height, img);
        tex->UnlockRect(level);
        return img.pixels;
    }

    TempDir dir_;
};

TEST_F(TextureFileTest, ImageInfoFromFiles) {
    D3DXIMAGE_INFO info{};
    ASSERT_EQ(D3DXGetImageInfoFromFileA(gradient_png(64, 32).c_str(), &info), D3D_OK);
    EXPECT_EQ(info.Width, 64u);
    EXPECT_EQ(info.Height, 32u);
    EXPECT_EQ(info.Depth, 1u);
    EXPECT_EQ(info.MipLevels, 1u);
    EXPECT_EQ(info.Format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(info.ResourceType, D3DRTYPE_TEXTURE);
    EXPECT_EQ(info.ImageFileFormat, D3DXIFF_PNG);

    std::vector<uint8_t> rgb(16 * 8 * 3, 50);
    ASSERT_EQ(
        D3DXGetImageInfoFromFileA(write("a.jpg", qcore::test::write_jpeg(16, 8, 3, rgb, 90)).c_str(), &info),
        D3D_OK);
    EXPECT_EQ(info.Format, D3DFMT_R8G8B8);
    EXPECT_EQ(info.ImageFileFormat, D3DXIFF_JPG);

    EXPECT_EQ(D3DXGetImageInfoFromFileA(dir_.file("missing.png").c_str(), &info), D3DXERR_INVALIDDATA);
    EXPECT_EQ(D3DXGetImageInfoFromFileA(write("junk.bmp", {'B', 'M', 1, 2}).c_str(), &info),
              D3DXERR_INVALIDDATA);
    EXPECT_EQ(D3DXGetImageInfoFromFileA(nullptr, &info), D3DERR_INVALIDCALL);
}

TEST_F(TextureFileTest, TextureFromFileWithFullMipChain) {
    IDirect3DTexture8* tex = nullptr;
    D3DXIMAGE_INFO info{};
    ASSERT_EQ(D3DXCreateTextureFromFileExA(device_, gradient_png(64, 32).c_str(), D3DX_DEFAULT, D3DX_DEFAULT,
                                           D3DX_DEFAULT, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3DX_DEFAULT,
                                           D3DX_DEFAULT, 0, &info, nullptr, &tex),
              D3D_OK);
    EXPECT_EQ(info.Width, 64u);
    ASSERT_EQ(tex->GetLevelCount(), 7u); // 64x32 down to 1x1
    const std::vector<uint32_t> top = level_pixels(tex, 0);
    EXPECT_EQ(top[0], 0xFF000064u);
    EXPECT_EQ(top[3 * 64 + 5], 0xFA141864u);
    // Level 1 is the 2x2 box average of level 0.
    const std::vector<uint32_t> l1 = level_pixels(tex, 1);
    EXPECT_EQ(l1[0], 0xFF020464u); // alphas 255 and 254 average to 254.5, rounded up
    D3DSURFACE_DESC desc{};
    tex->GetLevelDesc(6, &desc);
    EXPECT_EQ(desc.Width, 1u);
    EXPECT_EQ(desc.Height, 1u);
    tex->Release();
}

TEST_F(TextureFileTest, TextureScaledConvertedAndKeyed) {
    // Half size with point filtering into R5G6B5, no mips.
    IDirect3DTexture8* tex = nullptr;
    ASSERT_EQ(D3DXCreateTextureFromFileExA(device_, gradient_png(64, 32).c_str(), 32, 16, 1, 0, D3DFMT_R5G6B5,
                                           D3DPOOL_MANAGED, D3DX_FILTER_POINT, D3DX_FILTER_NONE, 0, nullptr,
                                           nullptr, &tex),
              D3D_OK);
    ASSERT_EQ(tex->GetLevelCount(), 1u);
    D3DSURFACE_DESC desc{};
    tex->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Format, D3DFMT_R5G6B5);
    EXPECT_EQ(desc.Width, 32u);
    // Destination (1, 1) samples source (3, 3): red 12, green 24, blue 100, within 5/6-bit steps.
    const uint32_t c = level_pixels(tex, 0)[32 + 1];
    EXPECT_NEAR(int(c >> 16 & 255), 12, 5);
    EXPECT_NEAR(int(c >> 8 & 255), 24, 3);
    EXPECT_NEAR(int(c & 255), 100, 5);
    tex->Release();

    // A colour key turns matching pixels transparent black; the format falls to one with alpha.
    const std::vector<uint8_t> rgb = {255, 0, 255, 10, 20, 30, 255, 0, 255, 40, 50, 60};
    const std::string bmp_path = write("key.png", qcore::test::write_png(2, 2, 3, rgb));
    ASSERT_EQ(D3DXCreateTextureFromFileExA(device_, bmp_path.c_str(), D3DX_DEFAULT, D3DX_DEFAULT, 1, 0,
                                           D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_FILTER_NONE, D3DX_DEFAULT,
                                           0xFFFF00FF, nullptr, nullptr, &tex),
              D3D_OK);
    tex->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(level_pixels(tex, 0), (std::vector<uint32_t>{0, 0xFF0A141E, 0, 0xFF28323C}));
    tex->Release();

    // Compressed on the way: DXT5 keeps colour within a block's precision.
    ASSERT_EQ(D3DXCreateTextureFromFileExA(device_, gradient_png(64, 32).c_str(), D3DX_DEFAULT, D3DX_DEFAULT,
                                           0, 0, D3DFMT_DXT5, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                           nullptr, nullptr, &tex),
              D3D_OK);
    tex->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Format, D3DFMT_DXT5);
    const uint32_t d = level_pixels(tex, 0)[5 * 64 + 9];
    EXPECT_NEAR(int(d >> 16 & 255), 36, 12);
    EXPECT_NEAR(int(d >> 24 & 255), 246, 4);
    tex->Release();

    // Hostile bytes do not make a texture.
    EXPECT_EQ(D3DXCreateTextureFromFileExA(device_, write("bad.tga", {0, 0, 2, 0, 0, 0, 0, 0}).c_str(), 0, 0,
                                           0, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT,
                                           0, nullptr, nullptr, &tex),
              D3DXERR_INVALIDDATA);
    EXPECT_EQ(tex, nullptr);
}

TEST_F(TextureFileTest, DefaultPoolAndNaturalFormats) {
    // A default-pool texture cannot be locked: it is filled through a system-memory copy.
    IDirect3DTexture8* tex = nullptr;
    ASSERT_EQ(D3DXCreateTextureFromFileExA(device_, gradient_png(16, 16).c_str(), 0, 0, 1, 0, D3DFMT_A8R8G8B8,
                                           D3DPOOL_DEFAULT, D3DX_FILTER_NONE, D3DX_DEFAULT, 0, nullptr,
                                           nullptr, &tex),
              D3D_OK);
    IDirect3DSurface8* copy = nullptr;
    ASSERT_EQ(device_->CreateImageSurface(16, 16, D3DFMT_A8R8G8B8, &copy), D3D_OK);
    IDirect3DSurface8* level = nullptr;
    ASSERT_EQ(tex->GetSurfaceLevel(0, &level), D3D_OK);
    ASSERT_EQ(
        D3DXLoadSurfaceFromSurface(copy, nullptr, nullptr, level, nullptr, nullptr, D3DX_FILTER_NONE, 0),
        D3DERR_INVALIDCALL); // not lockable for reading either
    level->Release();
    copy->Release();
    tex->Release();

    // Left to the loader, a 24-bit JPEG becomes a 32-bit texture without alpha: 24 bits only when asked for.
    std::vector<uint8_t> rgb(8 * 8 * 3, 90);
    ASSERT_EQ(D3DXCreateTextureFromFileA(
                  device_, write("n.jpg", qcore::test::write_jpeg(8, 8, 3, rgb, 90)).c_str(), &tex),
              D3D_OK);
    D3DSURFACE_DESC desc{};
    tex->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(tex->GetLevelCount(), 4u);
    tex->Release();
}

TEST_F(TextureFileTest, CreateTextureAdjustsRequest) {
    IDirect3DTexture8* tex = nullptr;
    ASSERT_EQ(D3DXCreateTexture(device_, 100, 0, 0, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, &tex), D3D_OK);
    D3DSURFACE_DESC desc{};
    tex->GetLevelDesc(0, &desc);
    // No format: A8R8G8B8; a height of 0 is 1; 0 levels: the full chain 100, 50, 25, 12, 6, 3, 1.
    EXPECT_EQ(desc.Format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(desc.Width, 100u);
    EXPECT_EQ(desc.Height, 1u);
    EXPECT_EQ(tex->GetLevelCount(), 7u);
    tex->Release();
    UINT w = 5000, h = 64, levels = 20;
    D3DFORMAT f = D3DFMT_DXT3;
    ASSERT_EQ(D3DXCheckTextureRequirements(device_, &w, &h, &levels, 0, &f, D3DPOOL_MANAGED), D3D_OK);
    EXPECT_LE(w, 4096u);
    EXPECT_EQ(h, 64u);
    EXPECT_LE(levels, 13u);
}

TEST_F(TextureFileTest, DdsSaveAndReloadKeepsEveryLevel) {
    for (D3DFORMAT format : {D3DFMT_A8R8G8B8, D3DFMT_R5G6B5, D3DFMT_DXT1, D3DFMT_DXT5}) {
        IDirect3DTexture8* tex = nullptr;
        ASSERT_EQ(D3DXCreateTextureFromFileExA(device_, gradient_png(32, 16).c_str(), D3DX_DEFAULT,
                                               D3DX_DEFAULT, D3DX_DEFAULT, 0, format, D3DPOOL_MANAGED,
                                               D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr, nullptr, &tex),
                  D3D_OK);
        const std::string path = dir_.file("saved.dds");
        ASSERT_EQ(D3DXSaveTextureToFileA(path.c_str(), D3DXIFF_DDS, tex, nullptr), D3D_OK);
        D3DXIMAGE_INFO info{};
        IDirect3DTexture8* back = nullptr;
        ASSERT_EQ(D3DXCreateTextureFromFileExA(device_, path.c_str(), 0, 0, 0, 0, D3DFMT_UNKNOWN,
                                               D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, &info, nullptr,
                                               &back),
                  D3D_OK);
        EXPECT_EQ(info.Format, format);
        EXPECT_EQ(info.MipLevels, 6u);
        EXPECT_EQ(info.ImageFileFormat, D3DXIFF_DDS);
        ASSERT_EQ(back->GetLevelCount(), 6u);
        for (UINT i = 0; i < 6; ++i) {
            D3DSURFACE_DESC a{}, b{};
            tex->GetLevelDesc(i, &a);
            back->GetLevelDesc(i, &b);
            EXPECT_EQ(a.Format, b.Format);
            EXPECT_EQ(a.Width, b.Width);
            D3DLOCKED_RECT la{}, lb{};
            tex->LockRect(i, &la, nullptr, D3DLOCK_READONLY);
            back->LockRect(i, &lb, nullptr, D3DLOCK_READONLY);
            const size_t rows = qcore::detail::is_block_format(format) ? (a.Height + 3) / 4 : a.Height;
            for (size_t y = 0; y < rows; ++y)
                EXPECT_EQ(std::memcmp(static_cast<uint8_t*>(la.pBits) + y * la.Pitch,
                                      static_cast<uint8_t*>(lb.pBits) + y * lb.Pitch,
                                      qcore::detail::row_pitch(format, a.Width)),
                          0)
                    << "format " << format << " level " << i;
            tex->UnlockRect(i);
            back->UnlockRect(i);
        }
        back->Release();
        tex->Release();
    }
}

TEST_F(TextureFileTest, SurfaceToSurfaceConvertsAndScales) {
    IDirect3DSurface8* src = nullptr;
    IDirect3DSurface8* dst = nullptr;
    ASSERT_EQ(device_->CreateImageSurface(4, 4, D3DFMT_R5G6B5, &src), D3D_OK);
    ASSERT_EQ(device_->CreateImageSurface(2, 2, D3DFMT_A8R8G8B8, &dst), D3D_OK);
    D3DLOCKED_RECT lr{};
    ASSERT_EQ(src->LockRect(&lr, nullptr, 0), D3D_OK);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            reinterpret_cast<uint16_t*>(static_cast<uint8_t*>(lr.pBits) + y * lr.Pitch)[x] =
                (x + y) & 1 ? 0xFFFF : 0x0000;
    src->UnlockRect();

    // Box-down of a checkerboard: uniform grey, opaque.
    ASSERT_EQ(D3DXLoadSurfaceFromSurface(dst, nullptr, nullptr, src, nullptr, nullptr, D3DX_FILTER_BOX, 0),
              D3D_OK);
    ASSERT_EQ(dst->LockRect(&lr, nullptr, D3DLOCK_READONLY), D3D_OK);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            EXPECT_EQ(reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(lr.pBits) + y * lr.Pitch)[x],
                      0xFF808080u);
    dst->UnlockRect();

    // One source pixel into one destination pixel through rectangles.
    const RECT from{1, 0, 2, 1}, to{1, 1, 2, 2};
    ASSERT_EQ(D3DXLoadSurfaceFromSurface(dst, nullptr, &to, src, nullptr, &from, D3DX_FILTER_NONE, 0),
              D3D_OK);
    ASSERT_EQ(dst->LockRect(&lr, nullptr, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(lr.pBits) + lr.Pitch)[1], 0xFFFFFFFFu);
    EXPECT_EQ(reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(lr.pBits) + lr.Pitch)[0], 0xFF808080u);
    dst->UnlockRect();

    const RECT outside{0, 0, 5, 5};
    EXPECT_EQ(D3DXLoadSurfaceFromSurface(dst, nullptr, nullptr, src, nullptr, &outside, D3DX_DEFAULT, 0),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXLoadSurfaceFromSurface(dst, nullptr, nullptr, src, nullptr, nullptr, 9, 0),
              D3DERR_INVALIDCALL);

    // Saved as BMP, PNG and JPEG and read back as a surface of the same size.
    for (auto [name, format] :
         {std::pair{"s.bmp", D3DXIFF_BMP}, {"s.png", D3DXIFF_PNG}, {"s.jpg", D3DXIFF_JPG}}) {
        const std::string path = dir_.file(name);
        ASSERT_EQ(D3DXSaveSurfaceToFileA(path.c_str(), format, src, nullptr, nullptr), D3D_OK);
        D3DXIMAGE_INFO info{};
        ASSERT_EQ(
            D3DXLoadSurfaceFromFileA(dst, nullptr, nullptr, path.c_str(), nullptr, D3DX_FILTER_BOX, 0, &info),
            D3D_OK);
        EXPECT_EQ(info.Width, 4u);
        EXPECT_EQ(info.ImageFileFormat, format);
        ASSERT_EQ(dst->LockRect(&lr, nullptr, D3DLOCK_READONLY), D3D_OK);
        const uint8_t from_file = static_cast<uint8_t*>(lr.pBits)[0];
        EXPECT_NEAR(int(from_file), 128, format == D3DXIFF_JPG ? 8 : 1) << name;
        dst->UnlockRect();
        // The file's bytes in memory load the same.
        const std::string bytes = qcore::test::read_file_bytes(path);
        D3DXIMAGE_INFO mem_info{};
        ASSERT_EQ(D3DXLoadSurfaceFromFileInMemory(dst, nullptr, nullptr, bytes.data(), UINT(bytes.size()),
                                                  nullptr, D3DX_FILTER_BOX, 0, &mem_info),
                  D3D_OK);
        EXPECT_EQ(mem_info.Width, info.Width);
        EXPECT_EQ(mem_info.ImageFileFormat, format);
        ASSERT_EQ(dst->LockRect(&lr, nullptr, D3DLOCK_READONLY), D3D_OK);
        EXPECT_EQ(static_cast<uint8_t*>(lr.pBits)[0], from_file) << name;
        dst->UnlockRect();
        EXPECT_EQ(D3DXLoadSurfaceFromFileInMemory(dst, nullptr, nullptr, bytes.data(), 10, nullptr,
                                                  D3DX_FILTER_BOX, 0, nullptr),
                  D3DXERR_INVALIDDATA)
            << name;
    }
    // A named pipe without a reader is refused rather than waited on.
    const std::string pipe = dir_.file("pipe.bmp");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_EQ(D3DXSaveSurfaceToFileA(pipe.c_str(), D3DXIFF_BMP, src, nullptr, nullptr), E_FAIL);
    src->Release();
    dst->Release();
}

} // namespace
