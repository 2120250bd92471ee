#include <qcore/image/image_save.h>
#include <qcore/image/jpeg_file.h>
#include <qcore/platform/win32/message_box.h>

#include <cstdio>
// The v6 interface needs <cstdio> first.
#include <jpeglib.h>

#include <algorithm>
#include <csetjmp>
#include <cstdlib>
#include <vector>

namespace {

// libjpeg's own error handler ends the process: this one jumps back to the caller instead.
struct JpegErrors {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

[[noreturn]] void jump_back(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<JpegErrors*>(cinfo->err)->jump, 1);
}
void no_output(j_common_ptr) {}

struct Compressor {
    jpeg_compress_struct cinfo{};
    JpegErrors errors{};
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    Compressor() {
        cinfo.err = jpeg_std_error(&errors.base);
        errors.base.error_exit = jump_back;
        errors.base.output_message = no_output;
    }
    ~Compressor() {
        jpeg_destroy_compress(&cinfo);
        std::free(buffer);
    }
    Compressor(const Compressor&) = delete;
    Compressor& operator=(const Compressor&) = delete;
};

void grey_row(const BYTE* rgb, UINT width, BYTE* out) {
    for (UINT x = 0; x < width; ++x, rgb += 3)
        out[x] = static_cast<BYTE>((rgb[0] * 77 + rgb[1] * 150 + rgb[2] * 29 + 128) >> 8);
}

// Compresses into memory; false when libjpeg reports an error.
bool compress(Compressor& c, const BYTE* rgb, UINT width, UINT height, bool color, int quality,
              std::vector<BYTE>& grey) {
    jpeg_compress_struct& cinfo = c.cinfo;
    if (setjmp(c.errors.jump)) return false;
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &c.buffer, &c.size);
    cinfo.image_width = width;
    cinfo.image_height = height;
    cinfo.input_components = color ? 3 : 1;
    cinfo.in_color_space = color ? JCS_RGB : JCS_GRAYSCALE;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, std::clamp(quality, 0, 100), TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    const size_t stride = size_t{width} * 3;
    if (!color) grey.resize(width);
    while (cinfo.next_scanline < height) {
        const BYTE* row = rgb + stride * cinfo.next_scanline;
        if (!color) grey_row(row, width, grey.data());
        JSAMPROW p = const_cast<JSAMPROW>(color ? row : grey.data());
        jpeg_write_scanlines(&cinfo, &p, 1);
    }
    jpeg_finish_compress(&cinfo);
    return true;
}

} // namespace

int RGBToJpegFile(const CString& name, const BYTE* rgb, UINT width, UINT height, BOOL color, int quality) {
    if (!rgb || width == 0 || height == 0 || width > JPEG_MAX_DIMENSION || height > JPEG_MAX_DIMENSION)
        return 0;
    Compressor c;
    std::vector<BYTE> grey;
    if (!compress(c, rgb, width, height, color != 0, quality, grey) || !c.buffer) return 0;
    switch (qcore::detail::save_file_bytes(name, c.buffer, c.size)) {
    case qcore::detail::SaveResult::ok:
        return 1;
    case qcore::detail::SaveResult::cannot_open:
        AfxMessageBox(CString("JpegFile :\nCan't open ") + name + "\n");
        return 0;
    default:
        return 0;
    }
}
