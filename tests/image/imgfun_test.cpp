#include <qcore/image/imgfun.h>

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// A 4 x 4 DDS file of one level: a four-character code, or uncompressed with the given masks.
std::string dds_file(uint32_t pf_flags, uint32_t fourcc, uint32_t bits, uint32_t r, uint32_t g, uint32_t b,
                     uint32_t a, size_t data_size) {
    std::string out;
    auto u32 = [&out](uint32_t v) { out.append(reinterpret_cast<const char*>(&v), 4); };
    out = "DDS ";
    for (uint32_t v : {124u, 0x1u | 0x2u | 0x4u | 0x1000u, 4u, 4u, 0u, 0u, 1u})
        u32(v);
    for (int i = 0; i < 11; ++i)
        u32(0);
    for (uint32_t v : {32u, pf_flags, fourcc, bits, r, g, b, a})
        u32(v);
    for (uint32_t v : {0x1000u, 0u, 0u, 0u, 0u})
        u32(v);
    return out + std::string(data_size, '\x55');
}

TEST(Imgfun, TypesFromTheLowerCasedExtension) {
    const struct {
        const char* name;
        IMG_FILE_TYPE type;
        int alpha;
        int loadable;
    } rows[] = {
        {"a.bmp", IMG_FILE_BMP, 0, 1},     {"D:\\x\\a.JPEG", IMG_FILE_JPG, 0, 1},
        {"a.Jpg", IMG_FILE_JPG, 0, 1},     {"a.tga", IMG_FILE_TGA, 1, 1},
        {"a.PNG", IMG_FILE_PNG, 1, 1},     {"a.psd", IMG_FILE_PSD, 1, 0},
        {"a.atx", IMG_FILE_ATX, 1, 1},     {"noext", IMG_FILE_UNKNOWN, 0, 0},
        {"a.gif", IMG_FILE_UNKNOWN, 0, 0}, {"dir.png/file", IMG_FILE_UNKNOWN, 0, 0},
        {".png", IMG_FILE_PNG, 1, 1},      {"a.png.bak", IMG_FILE_UNKNOWN, 0, 0},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(imgfun::get_img_file_type(row.name), row.type) << row.name;
        EXPECT_EQ(imgfun::does_file_have_alpha_channel(row.name), row.alpha) << row.name;
        EXPECT_EQ(imgfun::does_d3d_support_such_tex_file(row.name), row.loadable) << row.name;
    }
    EXPECT_EQ(imgfun::get_img_file_type(nullptr), IMG_FILE_UNKNOWN);
    // A dds file's alpha comes from its pixel format; an unreadable one has none.
    EXPECT_EQ(imgfun::get_img_file_type("a.dds"), IMG_FILE_DDS);
    EXPECT_EQ(imgfun::does_d3d_support_such_tex_file("a.dds"), 1);
    EXPECT_EQ(imgfun::does_file_have_alpha_channel("/no/such/file.dds"), 0);
}

TEST(Imgfun, DdsAlphaComesFromThePixelFormat) {
    qcore::test::TempDir dir;
    const std::string dxt5 = dir.file("a.dds"), rgb = dir.file("b.DDS"), junk = dir.file("c.dds");
    qcore::test::write_file_bytes(dxt5, dds_file(0x4, MAKEFOURCC('D', 'X', 'T', '5'), 0, 0, 0, 0, 0, 16));
    qcore::test::write_file_bytes(rgb, dds_file(0x40, 0, 16, 0xF800, 0x7E0, 0x1F, 0, 32));
    qcore::test::write_file_bytes(junk, "DDS not really");
    EXPECT_EQ(imgfun::does_file_have_alpha_channel(dxt5.c_str()), 1);
    EXPECT_EQ(imgfun::does_file_have_alpha_channel(rgb.c_str()), 0);
    EXPECT_EQ(imgfun::does_file_have_alpha_channel(junk.c_str()), 0);
    D3DXIMAGE_INFO info{};
    ASSERT_EQ(imgfun::get_d3d_supported_img_file_info(rgb.c_str(), info), 1);
    EXPECT_EQ(info.Format, D3DFMT_R5G6B5);
    EXPECT_EQ(info.Width, 4u);
    EXPECT_EQ(imgfun::get_d3d_supported_img_file_info(junk.c_str(), info), 0);
    EXPECT_EQ(imgfun::get_d3d_supported_img_file_info(nullptr, info), 0);
}

TEST(Imgfun, FormatsWithAlpha) {
    for (D3DFORMAT f :
         {D3DFMT_A8R8G8B8, D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4, D3DFMT_A8, D3DFMT_A2B10G10R10, D3DFMT_DXT1,
          D3DFMT_DXT2, D3DFMT_DXT3, D3DFMT_DXT4, D3DFMT_DXT5, D3DFMT_YUY2, D3DFMT_UYVY})
        EXPECT_EQ(imgfun::does_fmt_have_alpha(f), 1) << f;
    for (D3DFORMAT f : {D3DFMT_UNKNOWN, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_R8G8B8, D3DFMT_X1R5G5B5})
        EXPECT_EQ(imgfun::does_fmt_have_alpha(f), 0) << f;
}

} // namespace
