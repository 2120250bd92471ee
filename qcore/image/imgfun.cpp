#include <qcore/image/imgfun.h>
#include <qcore/platform/win32/cstring.h>

#include <string_view>

namespace {

struct Extension {
    std::string_view text;
    IMG_FILE_TYPE type;
};

constexpr Extension kExtensions[] = {
    {".bmp", IMG_FILE_BMP}, {".jpg", IMG_FILE_JPG}, {".jpeg", IMG_FILE_JPG}, {".tga", IMG_FILE_TGA},
    {".png", IMG_FILE_PNG}, {".dds", IMG_FILE_DDS}, {".psd", IMG_FILE_PSD},  {".atx", IMG_FILE_ATX},
};

// The format the extension library reads from a file; false when it cannot read it.
bool read_format(const char* name, D3DFORMAT& format) {
    D3DXIMAGE_INFO info{};
    if (imgfun::get_d3d_supported_img_file_info(name, info) == 0) return false;
    format = info.Format;
    return true;
}

} // namespace

IMG_FILE_TYPE imgfun::get_img_file_type(const char* name) {
    if (!name) return IMG_FILE_UNKNOWN;
    const std::string_view path(name);
    const size_t dot = path.rfind('.');
    if (dot == std::string_view::npos || path.find_first_of("\\/", dot) != std::string_view::npos)
        return IMG_FILE_UNKNOWN;
    const std::string_view ext = path.substr(dot);
    for (const Extension& e : kExtensions)
        if (qcore::compare_no_case(ext, e.text) == 0) return e.type;
    return IMG_FILE_UNKNOWN;
}

int imgfun::does_file_have_alpha_channel(const char* name) {
    switch (get_img_file_type(name)) {
    case IMG_FILE_TGA:
    case IMG_FILE_PNG:
    case IMG_FILE_PSD:
    case IMG_FILE_ATX:
        return 1;
    case IMG_FILE_DDS: {
        D3DFORMAT format = D3DFMT_UNKNOWN;
        return read_format(name, format) ? does_fmt_have_alpha(format) : 0;
    }
    default:
        return 0;
    }
}

int imgfun::does_d3d_support_such_tex_file(const char* name) {
    const IMG_FILE_TYPE type = get_img_file_type(name);
    return (type >= IMG_FILE_BMP && type <= IMG_FILE_DDS) || type == IMG_FILE_ATX ? 1 : 0;
}

int imgfun::does_fmt_have_alpha(D3DFORMAT format) {
    switch (format) {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_A1R5G5B5:
    case D3DFMT_A4R4G4B4:
    case D3DFMT_A8:
    case D3DFMT_A2B10G10R10:
    case D3DFMT_DXT1:
    case D3DFMT_DXT2:
    case D3DFMT_DXT3:
    case D3DFMT_DXT4:
    case D3DFMT_DXT5:
    case D3DFMT_YUY2:
    case D3DFMT_UYVY:
        return 1;
    default:
        return 0;
    }
}

int imgfun::get_d3d_supported_img_file_info(const char* name, D3DXIMAGE_INFO& info) {
    return name && SUCCEEDED(D3DXGetImageInfoFromFileA(name, &info)) ? 1 : 0;
}
