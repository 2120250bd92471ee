#pragma once
// Image file kinds by extension: which carry alpha and which the extension library's loaders read.
#include <qcore/platform/d3d8/d3d8_types.h>
#include <qcore/platform/d3d8/d3dx/d3dx8tex.h>

enum IMG_FILE_TYPE {
    IMG_FILE_UNKNOWN = 0,
    IMG_FILE_BMP = 1,
    IMG_FILE_JPG = 2,
    IMG_FILE_TGA = 3,
    IMG_FILE_PNG = 4,
    IMG_FILE_DDS = 5,
    IMG_FILE_PSD = 6,
    IMG_FILE_ATX = 7,
};

class imgfun {
public:
    static IMG_FILE_TYPE get_img_file_type(const char* name);
    static int does_file_have_alpha_channel(const char* name);
    static int does_d3d_support_such_tex_file(const char* name);
    static int does_fmt_have_alpha(D3DFORMAT format);
    // 1 when the extension library can read the file's image information.
    static int get_d3d_supported_img_file_info(const char* name, D3DXIMAGE_INFO& info);
};
