#pragma once
// Independent writers and byte builders for the image tests.
#include <cstdint>
#include <string>
#include <vector>

namespace qcore::test {

// 8-bit PNG of `channels` (1 grey, 2 grey+alpha, 3 RGB, 4 RGBA) samples a pixel, written with libpng.
std::vector<uint8_t> write_png(uint32_t w, uint32_t h, int channels, const std::vector<uint8_t>& samples,
                               int bit_depth = 8);
// An indexed PNG with a palette of RGB triples and optional per-entry alpha.
std::vector<uint8_t> write_palette_png(uint32_t w, uint32_t h, const std::vector<uint8_t>& indices,
                                       const std::vector<uint8_t>& rgb, const std::vector<uint8_t>& alpha);
// JPEG of RGB (3) or grey (1) samples, written with libjpeg.
std::vector<uint8_t> write_jpeg(uint32_t w, uint32_t h, int channels, const std::vector<uint8_t>& samples,
                                int quality);

// Little-endian byte building.
struct Bytes {
    std::vector<uint8_t> v;
    Bytes& u8(uint32_t x) {
        v.push_back(uint8_t(x));
        return *this;
    }
    Bytes& u16(uint32_t x) { return u8(x).u8(x >> 8); }
    Bytes& u32(uint32_t x) { return u16(x).u16(x >> 16); }
    Bytes& raw(std::initializer_list<uint8_t> b) {
        v.insert(v.end(), b);
        return *this;
    }
    Bytes& str(const std::string& s) {
        v.insert(v.end(), s.begin(), s.end());
        return *this;
    }
};

// A BMP file header and 40-byte info header for the given layout; the caller appends palette and pixels.
Bytes bmp_header(int32_t w, int32_t h, uint32_t bits, uint32_t compression, uint32_t palette_entries,
                 uint32_t pixel_bytes);

} // namespace qcore::test
