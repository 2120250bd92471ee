// Windows bitmaps: BMP files and bare DIBs (the same without the 14-byte file header).
#include <qcore/platform/d3d8/d3dx/byte_io.h>
#include <qcore/platform/d3d8/d3dx/image_codec.h>

#include <algorithm>
#include <bit>
#include <cstring>

namespace qcore::detail {
namespace {

constexpr uint32_t bi_rgb = 0, bi_rle8 = 1, bi_rle4 = 2, bi_bitfields = 3, bi_alphabitfields = 6;

struct BmpHeader {
    uint32_t header_size = 0;
    int32_t width = 0;
    int32_t height = 0;
    uint32_t bits = 0;
    uint32_t compression = bi_rgb;
    uint32_t colours_used = 0;
    uint32_t masks[4] = {}; // red, green, blue, alpha
    bool top_down = false;
};

// One channel of a bit-field pixel: the mask's position and width, widened to 8 bits on read.
struct Field {
    uint32_t mask = 0, shift = 0, bits = 0;

    explicit Field(uint32_t m) : mask(m) {
        if (!m) return;
        shift = uint32_t(std::countr_zero(m));
        bits = uint32_t(std::popcount(m));
    }
    uint32_t get(uint32_t v) const {
        if (!mask) return 0;
        uint32_t x = (v & mask) >> shift;
        if (bits >= 8) return x >> (bits - 8);
        const uint32_t max = (1u << bits) - 1;
        return (x * 255 + max / 2) / max;
    }
};

bool read_header(ByteReader& r, BmpHeader& h) {
    const size_t start = r.pos();
    h.header_size = r.u32();
    if (h.header_size == 12) {
        h.width = r.u16();
        h.height = int16_t(r.u16());
        r.u16();
        h.bits = r.u16();
    } else if (h.header_size >= 40 && h.header_size <= 124) {
        h.width = r.i32();
        h.height = r.i32();
        r.u16();
        h.bits = r.u16();
        h.compression = r.u32();
        r.skip(12);
        h.colours_used = r.u32();
        r.u32();
        if (h.header_size >= 52)
            for (uint32_t i = 0; i < (h.header_size >= 56 ? 4u : 3u); ++i)
                h.masks[i] = r.u32();
    } else {
        return false;
    }
    r.seek(start + h.header_size);
    // A 40-byte header keeps its bit fields after itself.
    if (h.header_size == 40 && (h.compression == bi_bitfields || h.compression == bi_alphabitfields))
        for (uint32_t i = 0; i < (h.compression == bi_alphabitfields ? 4u : 3u); ++i)
            h.masks[i] = r.u32();
    if (h.height < 0) {
        if (h.height == INT32_MIN) return false;
        h.top_down = true;
        h.height = -h.height;
    }
    return r.ok() && h.width > 0 && h.height > 0;
}

bool valid_layout(const BmpHeader& h) {
    switch (h.compression) {
    case bi_rgb:
        return h.bits == 1 || h.bits == 4 || h.bits == 8 || h.bits == 16 || h.bits == 24 || h.bits == 32;
    case bi_rle8:
        return h.bits == 8 && !h.top_down;
    case bi_rle4:
        return h.bits == 4 && !h.top_down;
    case bi_bitfields:
    case bi_alphabitfields:
        return h.bits == 16 || h.bits == 32;
    default:
        return false;
    }
}

void default_masks(BmpHeader& h) {
    if (h.compression == bi_bitfields || h.compression == bi_alphabitfields) return;
    if (h.bits == 16) {
        h.masks[0] = 0x7C00, h.masks[1] = 0x03E0, h.masks[2] = 0x001F, h.masks[3] = 0;
    } else if (h.bits == 32 || h.bits == 24) {
        h.masks[0] = 0xFF0000, h.masks[1] = 0xFF00, h.masks[2] = 0xFF, h.masks[3] = 0;
    }
}

D3DFORMAT natural_format(const BmpHeader& h) {
    if (h.bits <= 8) return D3DFMT_P8;
    if (h.bits == 24) return D3DFMT_R8G8B8;
    const bool alpha = h.masks[3] != 0;
    if (h.bits == 16) {
        if (h.masks[0] == 0xF800 && h.masks[1] == 0x07E0 && h.masks[2] == 0x001F) return D3DFMT_R5G6B5;
        if (h.masks[0] == 0x0F00 && h.masks[1] == 0x00F0 && h.masks[2] == 0x000F)
            return alpha ? D3DFMT_A4R4G4B4 : D3DFMT_X4R4G4B4;
        return alpha ? D3DFMT_A1R5G5B5 : D3DFMT_X1R5G5B5;
    }
    return alpha ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
}

// Indices of RLE-compressed rows, bottom row first as stored. A run that passes the end of its row is
// clipped to the row, as common writers pad each row's runs to a multiple of 4 pixels; a move past the
// image is an error.
bool decode_rle(ByteReader& r, const BmpHeader& h, std::vector<uint8_t>& indices) {
    const uint32_t w = uint32_t(h.width), height = uint32_t(h.height);
    const bool four = h.compression == bi_rle4;
    uint32_t x = 0, y = 0;
    auto put = [&](uint8_t v) {
        if (x < w) indices[size_t(y) * w + x++] = v;
    };
    while (y < height) {
        const uint8_t count = r.u8(), value = r.u8();
        if (!r.ok()) return false;
        if (count) {
            for (uint32_t i = 0; i < count; ++i)
                put(four ? uint8_t(i & 1 ? value & 15 : value >> 4) : value);
            continue;
        }
        if (value == 0) {
            x = 0, ++y;
        } else if (value == 1) {
            return true;
        } else if (value == 2) {
            x += r.u8();
            y += r.u8();
            if (!r.ok() || x > w || y > height) return false;
        } else {
            const uint32_t bytes = four ? (value + 1u) / 2 : value;
            const uint8_t* run = r.here();
            r.skip(bytes + (bytes & 1));
            if (!r.ok()) return false;
            for (uint32_t i = 0; i < value; ++i)
                put(four ? uint8_t(i & 1 ? run[i / 2] & 15 : run[i / 2] >> 4) : run[i]);
        }
    }
    return true;
}

HRESULT decode_body(ByteReader& r, size_t pixel_offset, BmpHeader& h, DecodedImage& out,
                    const DecodeOptions& options) {
    if (!valid_layout(h) || !sane_size(uint32_t(h.width), uint32_t(h.height))) return D3DXERR_INVALIDDATA;
    default_masks(h);
    out.info.width = uint32_t(h.width);
    out.info.height = uint32_t(h.height);
    out.info.format = natural_format(h);

    uint32_t palette[256] = {};
    if (h.bits <= 8) {
        const uint32_t max_entries = 1u << h.bits;
        const uint32_t entries =
            h.colours_used && h.colours_used < max_entries ? h.colours_used : max_entries;
        const bool triples = h.header_size == 12;
        for (uint32_t i = 0; i < entries; ++i) {
            const uint32_t b = r.u8(), g = r.u8(), red = r.u8();
            if (!triples) r.u8();
            palette[i] = 0xFF000000u | red << 16 | g << 8 | b;
        }
        if (!r.ok()) return D3DXERR_INVALIDDATA;
    }
    if (options.info_only) return S_OK;
    if (pixel_offset) r.seek(pixel_offset);
    if (!r.ok()) return D3DXERR_INVALIDDATA;

    const uint32_t w = out.info.width, height = out.info.height;
    std::vector<uint8_t> rle;
    const size_t stride = ((size_t(w) * h.bits + 31) / 32) * 4;
    if (h.compression == bi_rle4 || h.compression == bi_rle8) {
        rle.assign(size_t(w) * height, 0);
        if (!decode_rle(r, h, rle)) return D3DXERR_INVALIDDATA;
    } else if (stride * height > r.remaining()) {
        return D3DXERR_INVALIDDATA;
    }
    ImageLevel& level = add_argb_level(out, w, height);
    const Field fr(h.masks[0]), fg(h.masks[1]), fb(h.masks[2]), fa(h.masks[3]);
    for (uint32_t y = 0; y < height; ++y) {
        const uint32_t stored_row = h.top_down ? y : height - 1 - y;
        auto* d = reinterpret_cast<uint32_t*>(level.data.data() + size_t(y) * level.pitch);
        if (!rle.empty()) {
            const uint8_t* s = rle.data() + size_t(stored_row) * w;
            for (uint32_t x = 0; x < w; ++x)
                d[x] = palette[s[x]];
            continue;
        }
        const uint8_t* s = r.here() + size_t(stored_row) * stride;
        for (uint32_t x = 0; x < w; ++x) {
            switch (h.bits) {
            case 1:
                d[x] = palette[(s[x / 8] >> (7 - x % 8)) & 1];
                break;
            case 4:
                d[x] = palette[x & 1 ? s[x / 2] & 15 : s[x / 2] >> 4];
                break;
            case 8:
                d[x] = palette[s[x]];
                break;
            case 24:
                d[x] = 0xFF000000u | uint32_t(s[3 * x + 2]) << 16 | uint32_t(s[3 * x + 1]) << 8 | s[3 * x];
                break;
            default: {
                const uint8_t* p = s + x * (h.bits / 8);
                const uint32_t v = h.bits == 16
                                       ? uint32_t(p[0] | p[1] << 8)
                                       : uint32_t(p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24);
                const uint32_t a = h.masks[3] ? fa.get(v) : 255;
                d[x] = a << 24 | fr.get(v) << 16 | fg.get(v) << 8 | fb.get(v);
            }
            }
        }
    }
    return S_OK;
}

} // namespace

HRESULT decode_bmp(const uint8_t* data, size_t size, DecodedImage& out, const DecodeOptions& options) {
    ByteReader r(data, size);
    if (r.u16() != 0x4D42) return D3DXERR_INVALIDDATA;
    r.skip(8);
    const uint32_t offset = r.u32();
    BmpHeader h;
    if (!read_header(r, h)) return D3DXERR_INVALIDDATA;
    out.info.file_format = D3DXIFF_BMP;
    // Offsets inside the headers are wrong; fall back to the data right after the palette.
    const size_t pixel_offset = offset >= 14 + h.header_size && offset < size ? offset : 0;
    return decode_body(r, pixel_offset, h, out, options);
}

HRESULT decode_dib(const uint8_t* data, size_t size, DecodedImage& out, const DecodeOptions& options) {
    ByteReader r(data, size);
    BmpHeader h;
    if (!read_header(r, h)) return D3DXERR_INVALIDDATA;
    out.info.file_format = D3DXIFF_DIB;
    return decode_body(r, 0, h, out, options);
}

std::vector<uint8_t> encode_bmp(const ArgbImage& image, bool opaque, bool with_file_header) {
    // Opaque images as 24 bits; with alpha as 32 bits behind a header that names the alpha mask.
    const uint32_t bits = opaque ? 24 : 32;
    const uint32_t header_size = opaque ? 40 : 108;
    const size_t stride = ((size_t(image.width) * bits + 31) / 32) * 4;
    const size_t pixels = stride * image.height;
    ByteWriter w;
    if (with_file_header) {
        w.u16(0x4D42);
        w.u32(uint32_t(14 + header_size + pixels));
        w.u32(0);
        w.u32(14 + header_size);
    }
    w.u32(header_size);
    w.u32(image.width);
    w.u32(image.height);
    w.u16(1);
    w.u16(bits);
    w.u32(opaque ? bi_rgb : bi_bitfields);
    w.u32(uint32_t(pixels));
    w.u32(2835);
    w.u32(2835);
    w.u32(0);
    w.u32(0);
    if (!opaque) {
        w.u32(0x00FF0000);
        w.u32(0x0000FF00);
        w.u32(0x000000FF);
        w.u32(0xFF000000);
        w.u32(0x73524742); // "sRGB" colour space
        w.zeros(48);
    }
    const size_t start = w.bytes.size();
    w.bytes.resize(start + pixels, 0);
    for (uint32_t y = 0; y < image.height; ++y) {
        uint8_t* d = w.bytes.data() + start + size_t(image.height - 1 - y) * stride;
        const uint32_t* s = image.row(y);
        if (!opaque) {
            std::memcpy(d, s, size_t(image.width) * 4);
            continue;
        }
        for (uint32_t x = 0; x < image.width; ++x) {
            d[3 * x] = uint8_t(s[x]);
            d[3 * x + 1] = uint8_t(s[x] >> 8);
            d[3 * x + 2] = uint8_t(s[x] >> 16);
        }
    }
    return std::move(w.bytes);
}

} // namespace qcore::detail
