// PNG files through libpng: palette, grey, alpha and 16-bit images all arrive as 8-bit ARGB.
#include <qcore/platform/d3d8/d3dx/image_codec.h>

#include <png.h>

#include <csetjmp>
#include <cstring>

namespace qcore::detail {
namespace {

struct MemoryInput {
    const uint8_t* data;
    size_t size;
    size_t pos;
};

void read_from_memory(png_structp png, png_bytep out, png_size_t n) {
    auto* in = static_cast<MemoryInput*>(png_get_io_ptr(png));
    if (n > in->size - in->pos) png_error(png, "truncated");
    std::memcpy(out, in->data + in->pos, n);
    in->pos += n;
}

void ignore_warning(png_structp, png_const_charp) {}
void error_to_longjmp(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

struct ReadState {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~ReadState() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
};

D3DFORMAT natural_format(int colour_type, bool transparency) {
    switch (colour_type) {
    case PNG_COLOR_TYPE_PALETTE:
        return transparency ? D3DFMT_A8R8G8B8 : D3DFMT_P8;
    case PNG_COLOR_TYPE_GRAY:
        return transparency ? D3DFMT_A8L8 : D3DFMT_L8;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
        return D3DFMT_A8L8;
    case PNG_COLOR_TYPE_RGB:
        return transparency ? D3DFMT_A8R8G8B8 : D3DFMT_R8G8B8;
    default:
        return D3DFMT_A8R8G8B8;
    }
}

// Reads the header and, unless only the information is wanted, the pixels. Everything that must outlive
// a libpng error lives in `state` and `out`, so the longjmp skips no destructor.
HRESULT read_png(ReadState& state, MemoryInput& input, DecodedImage& out, const DecodeOptions& options,
                 std::vector<png_bytep>& rows) {
    png_structp png = state.png;
    png_infop info = state.info;
    if (setjmp(png_jmpbuf(png))) return D3DXERR_INVALIDDATA;
    png_set_read_fn(png, &input, read_from_memory);
    png_set_user_limits(png, max_image_dimension, max_image_dimension);
    png_set_chunk_malloc_max(png, 8u << 20);
    png_read_info(png, info);

    const png_uint_32 width = png_get_image_width(png, info), height = png_get_image_height(png, info);
    const int colour_type = png_get_color_type(png, info), depth = png_get_bit_depth(png, info);
    const bool transparency = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    if (!sane_size(width, height)) return D3DXERR_INVALIDDATA;
    out.info.file_format = D3DXIFF_PNG;
    out.info.width = width;
    out.info.height = height;
    out.info.format = natural_format(colour_type, transparency);
    if (options.info_only) return S_OK;

    // Deflate expands at most about 1032 to 1: a body too short for the declared size is refused
    // before the pixels are allocated.
    const uint64_t channels = png_get_channels(png, info);
    const uint64_t raw = uint64_t(height) * ((uint64_t(width) * channels * uint64_t(depth) + 7) / 8 + 1);
    if (raw > uint64_t(input.size - input.pos) * 1100 + 4096) return D3DXERR_INVALIDDATA;

    if (colour_type == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (colour_type == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (transparency) png_set_tRNS_to_alpha(png);
    if (depth == 16) png_set_scale_16(png);
    if (colour_type == PNG_COLOR_TYPE_GRAY || colour_type == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_gray_to_rgb(png);
    png_set_bgr(png);
    png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != size_t(width) * 4) return D3DXERR_INVALIDDATA;

    ImageLevel& level = add_argb_level(out, width, height);
    rows.resize(height);
    for (png_uint_32 y = 0; y < height; ++y)
        rows[y] = level.data.data() + y * level.pitch;
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    return S_OK;
}

void write_to_vector(png_structp png, png_bytep data, png_size_t n) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + n);
}

void flush_nothing(png_structp) {}

struct WriteState {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~WriteState() { png_destroy_write_struct(&png, info ? &info : nullptr); }
};

bool write_png(WriteState& state, const ArgbImage& image, bool opaque, std::vector<uint8_t>& out,
               std::vector<png_bytep>& rows) {
    png_structp png = state.png;
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_write_fn(png, &out, write_to_vector, flush_nothing);
    png_set_IHDR(png, state.info, image.width, image.height, 8,
                 opaque ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, state.info);
    png_set_bgr(png);
    if (opaque) png_set_filler(png, 0, PNG_FILLER_AFTER);
    rows.resize(image.height);
    for (uint32_t y = 0; y < image.height; ++y)
        rows[y] = reinterpret_cast<png_bytep>(const_cast<uint32_t*>(image.row(y)));
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    return true;
}

} // namespace

HRESULT decode_png(const uint8_t* data, size_t size, DecodedImage& out, const DecodeOptions& options) {
    ReadState state;
    state.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, error_to_longjmp, ignore_warning);
    if (!state.png) return E_OUTOFMEMORY;
    state.info = png_create_info_struct(state.png);
    if (!state.info) return E_OUTOFMEMORY;
    MemoryInput input{data, size, 0};
    std::vector<png_bytep> rows;
    const HRESULT hr = read_png(state, input, out, options, rows);
    if (FAILED(hr)) out.levels.clear();
    return hr;
}

std::vector<uint8_t> encode_png(const ArgbImage& image, bool opaque) {
    WriteState state;
    state.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, error_to_longjmp, ignore_warning);
    if (!state.png) return {};
    state.info = png_create_info_struct(state.png);
    if (!state.info) return {};
    std::vector<uint8_t> out;
    std::vector<png_bytep> rows;
    if (!write_png(state, image, opaque, out, rows)) return {};
    return out;
}

} // namespace qcore::detail
