#include <qcore/image/psd_file.h>

#include <qcore/platform/d3d8/d3dx/image_codec.h>
#include <qcore/platform/win32/file.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

constexpr WORD compression_raw = 0;
constexpr WORD compression_packbits = 1;
// Byte of a pixel (blue, green, red, alpha in memory) that each file channel fills: red, green, blue, alpha.
constexpr int channel_byte[4] = {2, 1, 0, 3};

// Only regular files are read: a pipe is not waited for, a device not read without end.
qcore::detail::FileHandle open_for_reading(const char* path) {
    return qcore::detail::open_regular_file(path ? qcore::native_path(path).c_str() : nullptr);
}

bool read_whole_file(const char* path, std::vector<BYTE>& out) {
    return path && qcore::detail::read_whole_file(qcore::native_path(path).c_str(), out);
}

template <class T> T from_big_endian(T v) {
    if constexpr (std::endian::native == std::endian::little) {
        T r = 0;
        for (size_t i = 0; i < sizeof(T); ++i)
            r = static_cast<T>((r << 8) | ((v >> (8 * i)) & 0xff));
        return r;
    }
    return v;
}

// A bounded reader over the bytes that follow the header.
struct Cursor {
    const BYTE* p;
    const BYTE* end;

    size_t left() const { return static_cast<size_t>(end - p); }
    bool read_u16(WORD& v) {
        if (left() < 2) return false;
        v = static_cast<WORD>(p[0] << 8 | p[1]);
        p += 2;
        return true;
    }
    bool read_u32(DWORD& v) {
        if (left() < 4) return false;
        v = DWORD(p[0]) << 24 | DWORD(p[1]) << 16 | DWORD(p[2]) << 8 | DWORD(p[3]);
        p += 4;
        return true;
    }
    bool skip(size_t n) {
        if (left() < n) return false;
        p += n;
        return true;
    }
};

// The fewest bytes a PackBits image of this size can take: its row counts and, per row, one two-byte run
// for every 128 pixels.
size_t min_packbits_size(size_t channels, size_t width, size_t height) {
    const size_t rows = channels * height;
    return rows * 2 + rows * 2 * ((width + 127) / 128);
}

} // namespace

CPsdFile::CPsdFile() : header{} {}

bool CPsdFile::IsMe(const PSD_FILE_HEADER& head) {
    return std::memcmp(head.signature, "8BPS", 4) == 0 || head.version == 1;
}

bool CPsdFile::ValidateFileHeader(const PSD_FILE_HEADER& head) {
    return head.version == 1 && (head.channels == 3 || head.channels == 4) && head.depth == 8 &&
           head.mode == 3 && head.width >= 1 && head.width <= max_side && head.height >= 1 &&
           head.height <= max_side;
}

void CPsdFile::ChangeFileHeadOrder(PSD_FILE_HEADER& head) {
    head.version = from_big_endian(head.version);
    head.channels = from_big_endian(head.channels);
    head.height = from_big_endian(head.height);
    head.width = from_big_endian(head.width);
    head.depth = from_big_endian(head.depth);
    head.mode = from_big_endian(head.mode);
}

bool CPsdFile::DecodePackBits(const BYTE*& src, const BYTE* end, BYTE* dst, DWORD count) {
    DWORD n = count;
    while (n > 0) {
        if (src == end) return false;
        const unsigned b = *src++;
        // 128 is a no-op in PackBits; common writers pad rows with it.
        if (b == 128) continue;
        if (b > 128) {
            if (src == end) return false;
            const BYTE v = *src++;
            const DWORD run = std::min<DWORD>(257 - b, n);
            for (DWORD i = 0; i < run; ++i, dst += 4)
                *dst = v;
            n -= run;
            continue;
        }
        const DWORD len = b + 1;
        if (static_cast<size_t>(end - src) < len) return false;
        const DWORD copy = std::min(len, n);
        for (DWORD i = 0; i < copy; ++i, dst += 4)
            *dst = src[i];
        src += len;
        n -= copy;
    }
    return true;
}

bool CPsdFile::GetPsdDesc(const char* path, PSD_FILE_HEADER& out) {
    const qcore::detail::FileHandle f = open_for_reading(path);
    PSD_FILE_HEADER head;
    if (!f || std::fread(&head, 1, sizeof head, f.get()) != sizeof head) return false;
    ChangeFileHeadOrder(head);
    out = head;
    return true;
}

bool CPsdFile::Create(int width, int height, int channels) {
    if (width < 0 || height < 0 || static_cast<DWORD>(width) > max_side ||
        static_cast<DWORD>(height) > max_side)
        return false;
    header = PSD_FILE_HEADER{};
    std::memcpy(header.signature, "8BPS", 4);
    header.version = 1;
    header.channels = static_cast<WORD>(channels);
    header.width = static_cast<DWORD>(width);
    header.height = static_cast<DWORD>(height);
    header.depth = 8;
    header.mode = 3;
    pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * 4, 0);
    return true;
}

bool CPsdFile::LoadPsdFile(const char* path, IMG_CHANNEL channel, COLORREF bg) {
    std::vector<BYTE> bytes;
    if (!read_whole_file(path, bytes)) {
        forget();
        return false;
    }
    return LoadPsdMemory(bytes.data(), bytes.size(), channel, bg);
}

// After a refused file neither its size nor an earlier image's stays behind.
void CPsdFile::forget() {
    Clear();
    header = PSD_FILE_HEADER{};
}

bool CPsdFile::LoadPsdMemory(const void* data, size_t size, IMG_CHANNEL channel, COLORREF bg) {
    const bool ok = load(data, size, channel, bg);
    if (!ok) forget();
    return ok;
}

bool CPsdFile::load(const void* data, size_t size, IMG_CHANNEL channel, COLORREF bg) {
    Clear();
    if (!data || size < sizeof(PSD_FILE_HEADER)) return false;
    const BYTE* bytes = static_cast<const BYTE*>(data);
    PSD_FILE_HEADER head;
    std::memcpy(&head, bytes, sizeof head);
    if (!IsMe(head)) return false;
    ChangeFileHeadOrder(head);
    if (!ValidateFileHeader(head) || (channel == IMG_CHANNEL_ALPHA && head.channels != 4)) return false;
    header = head;
    return decode(bytes + sizeof head, bytes + size, channel, bg);
}

bool CPsdFile::decode(const BYTE* src, const BYTE* end, IMG_CHANNEL channel, COLORREF bg) {
    Cursor in{src, end};
    for (int section = 0; section < 3; ++section) {
        DWORD length = 0;
        if (!in.read_u32(length) || !in.skip(length)) return false;
    }
    WORD compression = 0;
    if (!in.read_u16(compression)) return false;
    const size_t channels = header.channels, width = header.width, height = header.height;
    const size_t plane = width * height;
    if (compression == compression_raw) {
        if (in.left() / channels < plane) return false;
    } else if (compression != compression_packbits ||
               in.left() < min_packbits_size(channels, width, height)) {
        return false;
    }

    pixels.assign(plane * 4, 0);
    if (compression == compression_raw) {
        for (size_t k = 0; k < channels; ++k) {
            BYTE* dst = pixels.data() + channel_byte[k];
            for (size_t i = 0; i < plane; ++i)
                dst[i * 4] = in.p[i];
            in.p += plane;
        }
    } else {
        in.p += channels * height * 2;
        for (size_t k = 0; k < channels; ++k) {
            for (size_t row = 0; row < height; ++row) {
                BYTE* dst = pixels.data() + row * width * 4 + channel_byte[k];
                if (!DecodePackBits(in.p, in.end, dst, header.width)) return false;
            }
        }
    }

    if (channel == IMG_CHANNEL_ALPHA)
        alpha_to_grey();
    else if (channel == IMG_CHANNEL_RGB_OVER_BG && channels == 4)
        composite_over(bg);
    return true;
}

void CPsdFile::alpha_to_grey() {
    for (size_t i = 0; i < pixels.size(); i += 4)
        pixels[i] = pixels[i + 1] = pixels[i + 2] = pixels[i + 3];
}

// The merged image is stored matted against white; the matte is removed before blending over bg.
// A colour darker than the matte allows (only in files not matted this way) is taken as 0.
void CPsdFile::composite_over(COLORREF bg) {
    const int back[3] = {int(bg >> 16 & 0xff), int(bg >> 8 & 0xff), int(bg & 0xff)};
    for (size_t i = 0; i < pixels.size(); i += 4) {
        BYTE* px = &pixels[i];
        const int a = px[3];
        if (a == 255) continue;
        if (a == 0) {
            for (int c = 0; c < 3; ++c)
                px[c] = static_cast<BYTE>(back[c]);
            continue;
        }
        const float x = static_cast<float>(a) * 0.003921569f;
        for (int c = 0; c < 3; ++c) {
            const int unmatted = std::max((px[c] + a - 255) * 255 / a, 0);
            px[c] = static_cast<BYTE>(x * static_cast<float>(unmatted) +
                                      (1.0f - x) * static_cast<float>(back[c]));
        }
    }
}
