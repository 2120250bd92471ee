#include <qcore/image/imgfun.h>

#include <gtest/gtest.h>

namespace {

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

TEST(Imgfun, FormatsWithAlpha) {
    for (D3DFORMAT f :
         {D3DFMT_A8R8G8B8, D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4, D3DFMT_A8, D3DFMT_A2B10G10R10, D3DFMT_DXT1,
          D3DFMT_DXT2, D3DFMT_DXT3, D3DFMT_DXT4, D3DFMT_DXT5, D3DFMT_YUY2, D3DFMT_UYVY})
        EXPECT_EQ(imgfun::does_fmt_have_alpha(f), 1) << f;
    for (D3DFORMAT f : {D3DFMT_UNKNOWN, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_R8G8B8, D3DFMT_X1R5G5B5})
        EXPECT_EQ(imgfun::does_fmt_have_alpha(f), 0) << f;
}

} // namespace
