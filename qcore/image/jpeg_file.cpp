#include <qcore/image/image_save.h>
#include <qcore/image/jpeg_file.h>
#include <qcore/platform/win32/file.h>
#include <qcore/platform/win32/message_box.h>

#include <cstdio>
// The v6 interface needs <cstdio> first.
#include <jerror.h>
#include <jpeglib.h>

#include <algorithm>
#include <csetjmp>
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

// Compressed bytes go straight to the file in blocks, and the disk starts taking them while the rest is
// compressed, so that the final flush has little left to wait for.
struct FileDestination {
    jpeg_destination_mgr base{};
    qcore::SafeFileWriter* out = nullptr;
    std::vector<JOCTET> block = std::vector<JOCTET>(size_t{1} << 16);
    size_t unsynced = 0;
};

constexpr size_t kWritebackBytes = size_t{1} << 18;

bool put(FileDestination& d, size_t size) noexcept {
    try {
        d.out->file().Write(d.block.data(), static_cast<UINT>(size));
    } catch (const CFileException&) {
        return false;
    }
    d.unsynced += size;
    if (d.unsynced >= kWritebackBytes) {
        d.out->start_writeback();
        d.unsynced = 0;
    }
    return true;
}

FileDestination& destination(j_compress_ptr cinfo) {
    return *reinterpret_cast<FileDestination*>(cinfo->dest);
}

void start_block(j_compress_ptr cinfo) {
    FileDestination& d = destination(cinfo);
    d.base.next_output_byte = d.block.data();
    d.base.free_in_buffer = d.block.size();
}

boolean block_full(j_compress_ptr cinfo) {
    if (!put(destination(cinfo), destination(cinfo).block.size())) ERREXIT(cinfo, JERR_FILE_WRITE);
    start_block(cinfo);
    return TRUE;
}

void last_block(j_compress_ptr cinfo) {
    FileDestination& d = destination(cinfo);
    if (!put(d, d.block.size() - d.base.free_in_buffer)) ERREXIT(cinfo, JERR_FILE_WRITE);
}

struct Compressor {
    jpeg_compress_struct cinfo{};
    JpegErrors errors{};
    FileDestination file;
    std::vector<BYTE> grey;
    std::vector<JSAMPROW> pointers;
    explicit Compressor(qcore::SafeFileWriter& out) {
        cinfo.err = jpeg_std_error(&errors.base);
        errors.base.error_exit = jump_back;
        errors.base.output_message = no_output;
        file.out = &out;
        file.base.init_destination = start_block;
        file.base.empty_output_buffer = block_full;
        file.base.term_destination = last_block;
    }
    ~Compressor() { jpeg_destroy_compress(&cinfo); }
    Compressor(const Compressor&) = delete;
    Compressor& operator=(const Compressor&) = delete;
};

void grey_row(const BYTE* in, int width, int step, bool bgr, BYTE* out) {
    const int r = bgr ? 2 : 0, b = bgr ? 0 : 2;
    for (int x = 0; x < width; ++x, in += step)
        out[x] = static_cast<BYTE>((in[r] * 77 + in[1] * 150 + in[b] * 29 + 128) >> 8);
}

struct Picture {
    int width, height, bytes_per_pixel;
    bool color;
    int quality;
};

// Hands one band's rows to libjpeg; false when the band does not fit the picture.
bool write_band(Compressor& c, const Picture& pic, const qcore::detail::PixelRows& band) {
    const int rows = std::min(band.height, pic.height - static_cast<int>(c.cinfo.next_scanline));
    if (!band.top || rows <= 0 || band.width != pic.width || band.bytes_per_pixel != pic.bytes_per_pixel)
        return false;
    c.pointers.clear();
    for (int y = 0; y < rows; ++y) {
        const BYTE* row = band.row(y);
        if (pic.color) {
            c.pointers.push_back(const_cast<JSAMPROW>(row));
            continue;
        }
        grey_row(row, pic.width, pic.bytes_per_pixel, pic.bytes_per_pixel == 4, c.grey.data());
        JSAMPROW p = c.grey.data();
        jpeg_write_scanlines(&c.cinfo, &p, 1);
    }
    if (pic.color) jpeg_write_scanlines(&c.cinfo, c.pointers.data(), static_cast<JDIMENSION>(rows));
    return true;
}

// Compresses into the file; false when libjpeg reports an error or a band cannot be had. Nothing with a
// destructor may live in this frame past setjmp: libjpeg's errors jump back to it.
bool compress(Compressor& c, const Picture& pic, const qcore::detail::RowBands& bands) {
    jpeg_compress_struct& cinfo = c.cinfo;
    if (setjmp(c.errors.jump)) return false;
    jpeg_create_compress(&cinfo);
    cinfo.dest = &c.file.base;
    cinfo.image_width = static_cast<JDIMENSION>(pic.width);
    cinfo.image_height = static_cast<JDIMENSION>(pic.height);
    cinfo.input_components = pic.color ? pic.bytes_per_pixel : 1;
    cinfo.in_color_space = !pic.color ? JCS_GRAYSCALE : pic.bytes_per_pixel == 4 ? JCS_EXT_BGRX : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, std::clamp(pic.quality, 0, 100), TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        qcore::detail::PixelRows band;
        if (!bands(static_cast<int>(cinfo.next_scanline), band) || !write_band(c, pic, band)) return false;
    }
    jpeg_finish_compress(&cinfo);
    return true;
}

} // namespace

int qcore::detail::write_jpeg_file(const char* name, int width, int height, int bytes_per_pixel,
                                   const RowBands& bands, bool color, int quality) {
    if (width <= 0 || height <= 0 || width > JPEG_MAX_DIMENSION || height > JPEG_MAX_DIMENSION ||
        (bytes_per_pixel != 3 && bytes_per_pixel != 4))
        return 0;
    SafeFileWriter out;
    if (!name || !*name || !out.open(name)) {
        AfxMessageBox(CString("JpegFile :\nCan't open ") + (name ? name : "") + "\n");
        return 0;
    }
    Compressor c(out);
    c.grey.resize(static_cast<size_t>(width));
    const Picture pic{width, height, bytes_per_pixel, color, quality};
    if (!compress(c, pic, bands)) return 0;
    return out.commit(kSyncPictureName) ? 1 : 0;
}

int qcore::detail::write_jpeg_file(const char* name, const PixelRows& rows, bool color, int quality) {
    if (!rows.top) return 0;
    return write_jpeg_file(
        name, rows.width, rows.height, rows.bytes_per_pixel,
        [&rows](int first_row, PixelRows& band) {
            band = rows;
            band.top = rows.row(first_row);
            band.height = rows.height - first_row;
            return true;
        },
        color, quality);
}

int RGBToJpegFile(const CString& name, const BYTE* rgb, UINT width, UINT height, BOOL color, int quality) {
    if (width > JPEG_MAX_DIMENSION || height > JPEG_MAX_DIMENSION) return 0;
    const qcore::detail::PixelRows rows{rgb, static_cast<ptrdiff_t>(width) * 3, static_cast<int>(width),
                                        static_cast<int>(height), 3};
    return qcore::detail::write_jpeg_file(name, rows, color != 0, quality);
}
