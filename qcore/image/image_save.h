#pragma once
// What the image writers share: the crash-safe file write and the 24-bit row layouts of BMP and JPEG files.
#include <qcore/platform/win32/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace qcore::detail {

enum class SaveResult { ok, cannot_open, cannot_write };

// Saved pictures do not wait for their new name to reach the disk: their bytes do before the rename, so a
// crash leaves the old picture or the new one, whole, and the folder flush would cost a second wait.
constexpr bool kSyncPictureName = false;

// Writes a whole file beside its target and renames it over the target only when every byte reached the
// disk, so that a failed save leaves the old file as it was.
SaveResult save_file_bytes(const char* name, const void* data, size_t size);

// Pixels seen as rows: row y starts at top + y * pitch. Pixels of 4 bytes are blue, green, red, x in memory
// (the writers' usual input); pixels of 3 bytes are red, green, blue (what the JPEG writer also takes).
struct PixelRows {
    const uint8_t* top = nullptr;
    ptrdiff_t pitch = 0;
    int width = 0;
    int height = 0;
    int bytes_per_pixel = 4;
    const uint8_t* row(int y) const { return top + y * pitch; }
};

// Bytes of one 24-bit BMP row: width x 3 rounded up to a multiple of 4.
size_t bmp24_row_size(int width);
// A whole 24-bit BMP file (54-byte headers, positive height, rows from the bottom up).
std::vector<uint8_t> encode_bmp24_file(const PixelRows& rows);
// The pixel data of a 24-bit BMP without row padding: rows from the bottom up, blue, green, red.
void bgr_rows_bottom_up(const PixelRows& rows, uint8_t* out);
// Encodes and saves a 24-bit BMP file; 1, or 0 after the message box "Can't open <name> to write!" (or
// "Can't write <name>!" when the disk refuses the bytes).
int write_bmp24_file(const char* name, const PixelRows& rows);
// Compresses rows into a JPEG file (grey-scale without colour); the result and messages of RGBToJpegFile.
int write_jpeg_file(const char* name, const PixelRows& rows, bool color, int quality);
// Hands out a picture a band of rows at a time: given the first row still wanted, it points `band` at one
// or more rows from there on (band.height says how many); false when the rows cannot be had.
using RowBands = std::function<bool(int first_row, PixelRows& band)>;
// As above for a width x height picture of `bytes_per_pixel` pixels that arrives in bands; the file is
// written as the bands are compressed. A band that cannot be had leaves any old file as it was.
int write_jpeg_file(const char* name, int width, int height, int bytes_per_pixel, const RowBands& bands,
                    bool color, int quality);
// Rows from the top down, red, green, blue, as the JPEG writer takes them.
void rgb_rows_top_down(const PixelRows& rows, uint8_t* out);

} // namespace qcore::detail
