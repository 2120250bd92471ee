// Portable pixmaps and greymaps, binary (P6, P5) and text (P3, P2).
#include <qcore/platform/d3d8/d3dx/image_codec.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace qcore::detail {
namespace {

class Tokens {
public:
    Tokens(const uint8_t* data, size_t size, size_t pos) : data_(data), size_(size), pos_(pos) {}

    // The next decimal number, skipping white space and comments; false at the end or on other bytes.
    bool number(uint32_t& out) {
        skip_space();
        if (pos_ >= size_ || data_[pos_] < '0' || data_[pos_] > '9') return false;
        uint64_t v = 0;
        while (pos_ < size_ && data_[pos_] >= '0' && data_[pos_] <= '9') {
            v = v * 10 + (data_[pos_++] - '0');
            if (v > 0xFFFFFFFFu) return false;
        }
        out = uint32_t(v);
        return true;
    }
    // Consumes the single white-space byte that ends a binary header.
    bool end_of_header() {
        if (pos_ >= size_ || !is_space(data_[pos_])) return false;
        ++pos_;
        return true;
    }
    size_t pos() const { return pos_; }

private:
    static bool is_space(uint8_t c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
    }
    void skip_space() {
        while (pos_ < size_) {
            if (data_[pos_] == '#') {
                while (pos_ < size_ && data_[pos_] != '\n')
                    ++pos_;
            } else if (is_space(data_[pos_])) {
                ++pos_;
            } else {
                return;
            }
        }
    }

    const uint8_t* data_;
    size_t size_;
    size_t pos_;
};

} // namespace

HRESULT decode_ppm(const uint8_t* data, size_t size, DecodedImage& out, const DecodeOptions& options) {
    if (size < 2 || data[0] != 'P') return D3DXERR_INVALIDDATA;
    const char kind = char(data[1]);
    const bool text = kind == '2' || kind == '3';
    const bool grey = kind == '2' || kind == '5';
    if (!text && kind != '5' && kind != '6') return D3DXERR_INVALIDDATA;
    Tokens t(data, size, 2);
    uint32_t width = 0, height = 0, maxval = 0;
    if (!t.number(width) || !t.number(height) || !t.number(maxval) || maxval == 0 || maxval > 65535 ||
        !sane_size(width, height))
        return D3DXERR_INVALIDDATA;
    if (!text && !t.end_of_header()) return D3DXERR_INVALIDDATA;
    out.info.file_format = D3DXIFF_PPM;
    out.info.width = width;
    out.info.height = height;
    out.info.format = grey ? D3DFMT_L8 : D3DFMT_R8G8B8;
    if (options.info_only) return S_OK;

    const uint32_t channels = grey ? 1 : 3;
    const uint32_t sample_bytes = maxval > 255 ? 2 : 1;
    const size_t samples = size_t(width) * height * channels;
    const size_t body = size - t.pos();
    // Binary samples must all be there; text samples take two bytes each but the last.
    if (text ? samples > body / 2 + 1 : samples * sample_bytes > body) return D3DXERR_INVALIDDATA;

    std::vector<uint32_t> pixels(size_t(width) * height);
    const uint8_t* p = data + t.pos();
    uint32_t rgb[3] = {};
    for (size_t i = 0; i < size_t(width) * height; ++i) {
        for (uint32_t c = 0; c < channels; ++c) {
            uint32_t v = 0;
            if (text) {
                if (!t.number(v)) return D3DXERR_INVALIDDATA;
            } else {
                v = sample_bytes == 2 ? uint32_t(p[0] << 8 | p[1]) : p[0];
                p += sample_bytes;
            }
            rgb[c] = (std::min(v, maxval) * 255 + maxval / 2) / maxval;
        }
        if (grey) rgb[1] = rgb[2] = rgb[0];
        pixels[i] = 0xFF000000u | rgb[0] << 16 | rgb[1] << 8 | rgb[2];
    }
    std::memcpy(add_argb_level(out, width, height).data.data(), pixels.data(), pixels.size() * 4);
    return S_OK;
}

std::vector<uint8_t> encode_ppm(const ArgbImage& image) {
    const std::string header =
        "P6\n" + std::to_string(image.width) + " " + std::to_string(image.height) + "\n255\n";
    std::vector<uint8_t> out(header.begin(), header.end());
    out.reserve(out.size() + image.pixels.size() * 3);
    for (uint32_t c : image.pixels) {
        out.push_back(uint8_t(c >> 16));
        out.push_back(uint8_t(c >> 8));
        out.push_back(uint8_t(c));
    }
    return out;
}

} // namespace qcore::detail
