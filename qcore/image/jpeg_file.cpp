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
    // libjpeg replaces a buffer that fills up but leaves the caller's first one to the caller.
    unsigned char* first = nullptr;
    Compressor() {
        cinfo.err = jpeg_std_error(&errors.base);
        errors.base.error_exit = jump_back;
        errors.base.output_message = no_output;
    }
    ~Compressor() {
        jpeg_destroy_compress(&cinfo);
        if (buffer != first) std::free(buffer);
        std::free(first);
    }
    Compressor(const Compressor&) = delete;
    Compressor& operator=(const Compressor&) = delete;
};

void grey_row(const BYTE* in, int width, int step, bool bgr, BYTE* out) {
    const int r = bgr ? 2 : 0, b = bgr ? 0 : 2;
    for (int x = 0; x < width; ++x, in += step)
        out[x] = static_cast<BYTE>((in[r] * 77 + in[1] * 150 + in[b] * 29 + 128) >> 8);
}

// Compresses into memory; false when libjpeg reports an error.
bool compress(Compressor& c, const qcore::detail::PixelRows& rows, bool color, int quality,
              std::vector<BYTE>& grey) {
    jpeg_compress_struct& cinfo = c.cinfo;
    if (setjmp(c.errors.jump)) return false;
    jpeg_create_compress(&cinfo);
    // Room for a typical high-quality picture at once, so that the buffer rarely grows.
    c.size = static_cast<unsigned long>(rows.width) * static_cast<unsigned long>(rows.height) + 4096;
    c.buffer = c.first = static_cast<unsigned char*>(std::malloc(c.size));
    if (!c.buffer) c.size = 0;
    jpeg_mem_dest(&cinfo, &c.buffer, &c.size);
    const bool bgrx = rows.bytes_per_pixel == 4;
    cinfo.image_width = static_cast<JDIMENSION>(rows.width);
    cinfo.image_height = static_cast<JDIMENSION>(rows.height);
    cinfo.input_components = color ? rows.bytes_per_pixel : 1;
    cinfo.in_color_space = !color ? JCS_GRAYSCALE : bgrx ? JCS_EXT_BGRX : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, std::clamp(quality, 0, 100), TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    if (!color) grey.resize(static_cast<size_t>(rows.width));
    while (cinfo.next_scanline < cinfo.image_height) {
        const BYTE* row = rows.row(static_cast<int>(cinfo.next_scanline));
        if (!color) grey_row(row, rows.width, rows.bytes_per_pixel, bgrx, grey.data());
        JSAMPROW p = const_cast<JSAMPROW>(color ? row : grey.data());
        jpeg_write_scanlines(&cinfo, &p, 1);
    }
    jpeg_finish_compress(&cinfo);
    return true;
}

} // namespace

int qcore::detail::write_jpeg_file(const char* name, const PixelRows& rows, bool color, int quality) {
    if (!rows.top || rows.width <= 0 || rows.height <= 0 || rows.width > JPEG_MAX_DIMENSION ||
        rows.height > JPEG_MAX_DIMENSION)
        return 0;
    Compressor c;
    std::vector<BYTE> grey;
    if (!compress(c, rows, color, quality, grey) || !c.buffer) return 0;
    switch (save_file_bytes(name, c.buffer, c.size)) {
    case SaveResult::ok:
        return 1;
    case SaveResult::cannot_open:
        AfxMessageBox(CString("JpegFile :\nCan't open ") + (name ? name : "") + "\n");
        return 0;
    default:
        return 0;
    }
}

int RGBToJpegFile(const CString& name, const BYTE* rgb, UINT width, UINT height, BOOL color, int quality) {
    if (width > JPEG_MAX_DIMENSION || height > JPEG_MAX_DIMENSION) return 0;
    const qcore::detail::PixelRows rows{rgb, static_cast<ptrdiff_t>(width) * 3, static_cast<int>(width),
                                        static_cast<int>(height), 3};
    return qcore::detail::write_jpeg_file(name, rows, color != 0, quality);
}
