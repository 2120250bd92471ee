#pragma once
// Image files read from and written to bytes, without a device. Every reader treats its input as
// untrusted: bad or truncated data gives D3DXERR_INVALIDDATA, sizes beyond the limits below are refused
// before anything is allocated.
#include <qcore/platform/d3d8/d3dx/d3dx8core.h>
#include <qcore/platform/d3d8/d3dx/pixel_format.h>

#include <cstdio>
#include <memory>
#include <string>

namespace qcore::detail {

// Largest width or height, and largest pixel count, a file may declare.
inline constexpr uint32_t max_image_dimension = 16384;
inline constexpr uint64_t max_image_pixels = uint64_t(1) << 25;

struct ImageFileInfo {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t depth = 1;
    uint32_t mip_levels = 1;
    D3DFORMAT format = D3DFMT_UNKNOWN; // the file's natural format
    DWORD resource_type = 3;           // D3DRTYPE_TEXTURE; cube and volume DDS files report theirs
    D3DXIMAGE_FILEFORMAT file_format = D3DXIFF_BMP;
};

struct ImageLevel {
    uint32_t width = 0;
    uint32_t height = 0;
    size_t pitch = 0;
    std::vector<uint8_t> data;
};

// A decoded file. Files other than DDS decode to one A8R8G8B8 level; DDS keeps its own format and mips.
struct DecodedImage {
    ImageFileInfo info;
    D3DFORMAT stored_format = D3DFMT_A8R8G8B8;
    std::vector<ImageLevel> levels;
};

struct DecodeOptions {
    bool info_only = false;
    // When non-zero, a reader that can decode at reduced scale (JPEG) may return a level whose size is
    // still at least this large; info keeps the file's own size.
    uint32_t min_width = 0;
    uint32_t min_height = 0;
};

HRESULT decode_image(const uint8_t* data, size_t size, DecodedImage& out, const DecodeOptions& options = {});

HRESULT decode_bmp(const uint8_t* data, size_t size, DecodedImage& out, const DecodeOptions& options);
HRESULT decode_dib(const uint8_t* data, size_t size, DecodedImage& out, const DecodeOptions& options);
HRESULT decode_tga(const uint8_t* data, size_t size, DecodedImage& out, const DecodeOptions& options);
HRESULT decode_png(const uint8_t* data, size_t size, DecodedImage& out, const DecodeOptions& options);
HRESULT decode_jpeg(const uint8_t* data, size_t size, DecodedImage& out, const DecodeOptions& options);
HRESULT decode_dds(const uint8_t* data, size_t size, DecodedImage& out, const DecodeOptions& options);
HRESULT decode_ppm(const uint8_t* data, size_t size, DecodedImage& out, const DecodeOptions& options);

// Adds the one A8R8G8B8 level of a decoded file, sized and zeroed, for a reader to fill.
ImageLevel& add_argb_level(DecodedImage& image, uint32_t width, uint32_t height);

// A level of a decoded image in ARGB.
bool level_to_argb(const DecodedImage& image, size_t level, ArgbImage& out);

// Writers. `opaque` drops alpha where the file type could carry it.
std::vector<uint8_t> encode_bmp(const ArgbImage& image, bool opaque, bool with_file_header = true);
std::vector<uint8_t> encode_png(const ArgbImage& image, bool opaque);
std::vector<uint8_t> encode_jpeg(const ArgbImage& image, int quality);
std::vector<uint8_t> encode_tga(const ArgbImage& image, bool opaque);
std::vector<uint8_t> encode_ppm(const ArgbImage& image);
// DDS of levels already in `format`, each level's data `row_pitch(format, w)` bytes a row, packed.
std::vector<uint8_t> encode_dds(D3DFORMAT format, const std::vector<ImageLevel>& levels);

// Checks of declared sizes shared by the readers.
bool sane_size(uint64_t width, uint64_t height);

// Opens a file for reading when it is a regular file: a device, pipe or folder is refused without waiting
// for a writer (and *not_regular is set then).
using FileHandle = std::unique_ptr<FILE, int (*)(FILE*)>;
FileHandle open_regular_file(const char* path, bool* not_regular = nullptr);

// Reads a whole file. Only regular files are read: a device, pipe or folder is refused unread.
enum class FileRead { ok, failed, not_regular };
FileRead read_regular_file(const char* path, std::vector<uint8_t>& out);
// False when the file cannot be opened or read, or is not a regular file.
bool read_whole_file(const char* path, std::vector<uint8_t>& out);
bool write_whole_file(const char* path, const std::vector<uint8_t>& bytes);

} // namespace qcore::detail
