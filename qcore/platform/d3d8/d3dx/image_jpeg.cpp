// JPEG files through libjpeg-turbo, decoded straight to BGRA and optionally at a reduced DCT scale.
#include <qcore/platform/d3d8/d3dx/image_codec.h>

#include <cstdio>
// The v6 interface needs <cstdio> first.
#include <jpeglib.h>

#include <csetjmp>
#include <cstdlib>

namespace qcore::detail {
namespace {

// Progressive files may hold any number of scans; beyond this many they only burn time.
constexpr int max_scans = 1000;

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

void error_exit(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}
void emit_nothing(j_common_ptr, int) {}
void output_nothing(j_common_ptr) {}

struct ScanLimit {
    jpeg_progress_mgr base;
};

void check_scans(j_common_ptr cinfo) {
    if (cinfo->is_decompressor && reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > max_scans)
        error_exit(cinfo);
}

void install_errors(ErrorManager& errors) {
    jpeg_std_error(&errors.base);
    errors.base.error_exit = error_exit;
    errors.base.emit_message = emit_nothing;
    errors.base.output_message = output_nothing;
}

struct Decompressor {
    jpeg_decompress_struct cinfo{};
    ErrorManager errors{};
    ScanLimit progress{};
    ~Decompressor() { jpeg_destroy_decompress(&cinfo); }
};

// The largest power-of-two reduction whose output still covers the wanted size.
unsigned pick_scale(uint32_t width, uint32_t height, const DecodeOptions& options) {
    if (!options.min_width || !options.min_height) return 1;
    unsigned denom = 1;
    for (unsigned d : {2u, 4u, 8u})
        if ((width + d - 1) / d >= options.min_width && (height + d - 1) / d >= options.min_height) denom = d;
    return denom;
}

// CMYK as Adobe writes it (inverted): colour = c * k / 255 per channel.
void cmyk_row_to_argb(const uint8_t* s, uint32_t width, uint32_t* d) {
    for (uint32_t x = 0; x < width; ++x, s += 4) {
        const uint32_t k = s[3];
        d[x] = 0xFF000000u | (s[0] * k / 255) << 16 | (s[1] * k / 255) << 8 | (s[2] * k / 255);
    }
}

HRESULT read_jpeg(Decompressor& dec, const uint8_t* data, size_t size, DecodedImage& out,
                  const DecodeOptions& options, std::vector<uint8_t>& cmyk_row) {
    jpeg_decompress_struct& cinfo = dec.cinfo;
    if (setjmp(dec.errors.jump)) return D3DXERR_INVALIDDATA;
    jpeg_create_decompress(&cinfo);
    dec.progress.base.progress_monitor = check_scans;
    cinfo.progress = &dec.progress.base;
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) return D3DXERR_INVALIDDATA;
    if (!sane_size(cinfo.image_width, cinfo.image_height)) return D3DXERR_INVALIDDATA;
    const bool grey = cinfo.jpeg_color_space == JCS_GRAYSCALE;
    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    out.info.file_format = D3DXIFF_JPG;
    out.info.width = cinfo.image_width;
    out.info.height = cinfo.image_height;
    out.info.format = grey ? D3DFMT_L8 : cmyk ? D3DFMT_X8R8G8B8 : D3DFMT_R8G8B8;
    if (options.info_only) return S_OK;

    cinfo.scale_num = 1;
    cinfo.scale_denom = pick_scale(cinfo.image_width, cinfo.image_height, options);
    cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRA;
    jpeg_start_decompress(&cinfo);
    const uint32_t width = cinfo.output_width, height = cinfo.output_height;
    ImageLevel& level = add_argb_level(out, width, height);
    if (cmyk) cmyk_row.resize(size_t(width) * 4);
    while (cinfo.output_scanline < height) {
        uint8_t* row = level.data.data() + size_t(cinfo.output_scanline) * level.pitch;
        JSAMPROW target = cmyk ? cmyk_row.data() : row;
        const uint32_t y = cinfo.output_scanline;
        if (jpeg_read_scanlines(&cinfo, &target, 1) != 1) return D3DXERR_INVALIDDATA;
        if (cmyk)
            cmyk_row_to_argb(cmyk_row.data(), width,
                             reinterpret_cast<uint32_t*>(level.data.data() + y * level.pitch));
    }
    jpeg_finish_decompress(&cinfo);
    return S_OK;
}

struct Compressor {
    jpeg_compress_struct cinfo{};
    ErrorManager errors{};
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    ~Compressor() {
        jpeg_destroy_compress(&cinfo);
        std::free(buffer);
    }
};

bool write_jpeg(Compressor& comp, const ArgbImage& image, int quality) {
    jpeg_compress_struct& cinfo = comp.cinfo;
    if (setjmp(comp.errors.jump)) return false;
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &comp.buffer, &comp.size);
    cinfo.image_width = image.width;
    cinfo.image_height = image.height;
    cinfo.input_components = 4;
    cinfo.in_color_space = JCS_EXT_BGRX;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = reinterpret_cast<JSAMPROW>(const_cast<uint32_t*>(image.row(cinfo.next_scanline)));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    return true;
}

} // namespace

HRESULT decode_jpeg(const uint8_t* data, size_t size, DecodedImage& out, const DecodeOptions& options) {
    Decompressor dec;
    dec.cinfo.err = &dec.errors.base;
    install_errors(dec.errors);
    std::vector<uint8_t> cmyk_row;
    const HRESULT hr = read_jpeg(dec, data, size, out, options, cmyk_row);
    if (FAILED(hr)) out.levels.clear();
    return hr;
}

std::vector<uint8_t> encode_jpeg(const ArgbImage& image, int quality) {
    if (image.width == 0 || image.height == 0) return {};
    Compressor comp;
    comp.cinfo.err = &comp.errors.base;
    install_errors(comp.errors);
    if (!write_jpeg(comp, image, quality) || !comp.buffer) return {};
    return std::vector<uint8_t>(comp.buffer, comp.buffer + comp.size);
}

} // namespace qcore::detail
