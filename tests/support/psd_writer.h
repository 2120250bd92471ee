#pragma once
// A small writer of Photoshop files, written from the published format independently of the reader, for
// tests and benchmarks.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace qcore::test {

using Bytes = std::vector<uint8_t>;

// Planar 8-bit channels of one image: planes[k][row * width + column], k = red, green, blue[, alpha].
struct Image {
    uint32_t width = 0, height = 0;
    std::vector<Bytes> planes;
};

inline void put16(Bytes& out, uint32_t v) {
    out.push_back(uint8_t(v >> 8));
    out.push_back(uint8_t(v));
}

inline void put32(Bytes& out, uint32_t v) {
    put16(out, v >> 16);
    put16(out, v & 0xffff);
}

// Plain PackBits: runs of two or more equal bytes become repeats, everything else literals.
inline Bytes pack_row(const uint8_t* p, size_t n) {
    Bytes out;
    size_t i = 0;
    while (i < n) {
        size_t run = 1;
        while (i + run < n && run < 128 && p[i + run] == p[i])
            ++run;
        if (run >= 2) {
            out.push_back(uint8_t(257 - run));
            out.push_back(p[i]);
            i += run;
            continue;
        }
        size_t lit = 1;
        while (i + lit < n && lit < 128 && !(i + lit + 1 < n && p[i + lit] == p[i + lit + 1]))
            ++lit;
        out.push_back(uint8_t(lit - 1));
        out.insert(out.end(), p + i, p + i + lit);
        i += lit;
    }
    return out;
}

struct Layout {
    uint32_t signature = 0x38425053; // "8BPS"
    uint32_t version = 1, depth = 8, mode = 3;
    uint32_t compression = 0;
    Bytes sections[3] = {Bytes(3, 0xaa), Bytes{}, Bytes(10, 0x55)};
    // When set, replaces the image data (after the compression code) as written.
    const Bytes* data = nullptr;
    int channels = -1; // -1: the image's plane count
};

inline Bytes write_psd(const Image& img, const Layout& lay = {}) {
    Bytes out;
    put32(out, lay.signature);
    put16(out, lay.version);
    out.insert(out.end(), 6, 0);
    const uint32_t channels = lay.channels >= 0 ? uint32_t(lay.channels) : uint32_t(img.planes.size());
    put16(out, channels);
    put32(out, img.height);
    put32(out, img.width);
    put16(out, lay.depth);
    put16(out, lay.mode);
    for (const Bytes& s : lay.sections) {
        put32(out, uint32_t(s.size()));
        out.insert(out.end(), s.begin(), s.end());
    }
    put16(out, lay.compression);
    if (lay.data) {
        out.insert(out.end(), lay.data->begin(), lay.data->end());
        return out;
    }
    if (lay.compression == 0) {
        for (const Bytes& p : img.planes)
            out.insert(out.end(), p.begin(), p.end());
        return out;
    }
    std::vector<Bytes> rows;
    for (const Bytes& p : img.planes)
        for (uint32_t r = 0; r < img.height; ++r)
            rows.push_back(pack_row(p.data() + size_t(r) * img.width, img.width));
    for (const Bytes& r : rows)
        put16(out, uint32_t(r.size()));
    for (const Bytes& r : rows)
        out.insert(out.end(), r.begin(), r.end());
    return out;
}

} // namespace qcore::test
