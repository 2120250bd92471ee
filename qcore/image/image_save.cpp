#include <qcore/image/image_save.h>
#include <qcore/platform/win32/file.h>
#include <qcore/platform/win32/message_box.h>

#include <algorithm>

namespace qcore::detail {
namespace {

void put16(uint8_t*& p, uint32_t v) {
    *p++ = static_cast<uint8_t>(v);
    *p++ = static_cast<uint8_t>(v >> 8);
}
void put32(uint8_t*& p, uint32_t v) {
    put16(p, v & 0xFFFF);
    put16(p, v >> 16);
}

void bgr_row(const uint8_t* in, int width, uint8_t* out) {
    for (int x = 0; x < width; ++x, in += 4, out += 3) {
        out[0] = in[0];
        out[1] = in[1];
        out[2] = in[2];
    }
}

} // namespace

SaveResult save_file_bytes(const char* name, const void* data, size_t size) {
    SafeFileWriter out;
    if (!name || !*name || !out.open(name)) return SaveResult::cannot_open;
    try {
        const auto* p = static_cast<const uint8_t*>(data);
        // CFile writes take a UINT count.
        for (size_t done = 0; done < size;) {
            const size_t n = std::min<size_t>(size - done, size_t{1} << 30);
            out.file().Write(p + done, static_cast<UINT>(n));
            done += n;
        }
    } catch (const CFileException&) {
        out.abandon();
        return SaveResult::cannot_write;
    }
    return out.commit(kSyncPictureName) ? SaveResult::ok : SaveResult::cannot_write;
}

size_t bmp24_row_size(int width) {
    return (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
}

std::vector<uint8_t> encode_bmp24_file(const PixelRows& rows) {
    const size_t row_size = bmp24_row_size(rows.width);
    const size_t image = row_size * static_cast<size_t>(rows.height);
    std::vector<uint8_t> file(54 + image, 0);
    uint8_t* p = file.data();
    put16(p, 0x4D42);
    put32(p, static_cast<uint32_t>(image + 54));
    put32(p, 0);
    put32(p, 54);
    put32(p, 40);
    put32(p, static_cast<uint32_t>(rows.width));
    put32(p, static_cast<uint32_t>(rows.height));
    put16(p, 1);
    put16(p, 24);
    put32(p, 0);
    put32(p, static_cast<uint32_t>(image));
    p += 16; // resolutions and colour counts stay 0
    for (int y = rows.height - 1; y >= 0; --y, p += row_size)
        bgr_row(rows.row(y), rows.width, p);
    return file;
}

int write_bmp24_file(const char* name, const PixelRows& rows) {
    const std::vector<uint8_t> bytes = encode_bmp24_file(rows);
    const CString shown = name ? name : "";
    switch (save_file_bytes(name, bytes.data(), bytes.size())) {
    case SaveResult::ok:
        return 1;
    case SaveResult::cannot_open:
        AfxMessageBox("Can't open " + shown + " to write!");
        return 0;
    default:
        AfxMessageBox("Can't write " + shown + "!");
        return 0;
    }
}

void bgr_rows_bottom_up(const PixelRows& rows, uint8_t* out) {
    const size_t row_size = static_cast<size_t>(rows.width) * 3;
    for (int y = rows.height - 1; y >= 0; --y, out += row_size)
        bgr_row(rows.row(y), rows.width, out);
}

void rgb_rows_top_down(const PixelRows& rows, uint8_t* out) {
    for (int y = 0; y < rows.height; ++y) {
        const uint8_t* in = rows.row(y);
        for (int x = 0; x < rows.width; ++x, in += 4, out += 3) {
            out[0] = in[2];
            out[1] = in[1];
            out[2] = in[0];
        }
    }
}

} // namespace qcore::detail
