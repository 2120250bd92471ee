#pragma once
// What the image writers share: the crash-safe file write and the 24-bit row layouts of BMP and JPEG files.
#include <qcore/platform/win32/types.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qcore::detail {

enum class SaveResult { ok, cannot_open, cannot_write };

// Writes a whole file beside its target and renames it over the target only when every byte reached the
// disk, so that a failed save leaves the old file as it was.
SaveResult save_file_bytes(const char* name, const void* data, size_t size);

// 32-bit pixels (blue, green, red, x in memory) seen as rows: row y starts at top + y * pitch.
struct PixelRows {
    const uint8_t* top = nullptr;
    ptrdiff_t pitch = 0;
    int width = 0;
    int height = 0;
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
// Rows from the top down, red, green, blue, as the JPEG writer takes them.
void rgb_rows_top_down(const PixelRows& rows, uint8_t* out);

} // namespace qcore::detail
