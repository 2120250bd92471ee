// Targa files: colour-mapped, true-colour and grey images, raw or run-length encoded.
#include <qcore/platform/d3d8/d3dx/byte_io.h>
#include <qcore/platform/d3d8/d3dx/image_codec.h>

namespace qcore::detail {
namespace {

struct TgaHeader {
    uint8_t id_length, map_type, image_type;
    uint16_t map_first, map_length;
    uint8_t map_bits;
    uint16_t width, height;
    uint8_t bits, descriptor;
};

bool read_header(ByteReader& r, TgaHeader& h) {
    h.id_length = r.u8();
    h.map_type = r.u8();
    h.image_type = r.u8();
    h.map_first = r.u16();
    h.map_length = r.u16();
    h.map_bits = r.u8();
    // Without a colour map its fields carry no meaning: there are no entries to skip.
    if (h.map_type == 0) h.map_first = h.map_length = h.map_bits = 0;
    r.skip(4);
    h.width = r.u16();
    h.height = r.u16();
    h.bits = r.u8();
    h.descriptor = r.u8();
    return r.ok();
}

uint32_t base_type(const TgaHeader& h) {
    return h.image_type & 7u;
}
bool is_rle(const TgaHeader& h) {
    return h.image_type & 8u;
}

bool valid(const TgaHeader& h) {
    if (h.map_type > 1 || (h.image_type & ~0xBu) || h.width == 0 || h.height == 0) return false;
    if (h.descriptor & 0xC0) return false;
    switch (base_type(h)) {
    case 1:
        return h.map_type == 1 && h.bits == 8 && h.map_length > 0 &&
               (h.map_bits == 15 || h.map_bits == 16 || h.map_bits == 24 || h.map_bits == 32);
    case 2:
        return h.bits == 15 || h.bits == 16 || h.bits == 24 || h.bits == 32;
    case 3:
        return h.bits == 8 || h.bits == 16;
    default:
        return false;
    }
}

D3DFORMAT natural_format(const TgaHeader& h) {
    const uint32_t alpha_bits = h.descriptor & 15u;
    switch (base_type(h)) {
    case 1:
        return D3DFMT_P8;
    case 3:
        return h.bits == 16 ? D3DFMT_A8L8 : D3DFMT_L8;
    default:
        if (h.bits == 32) return alpha_bits ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
        if (h.bits == 24) return D3DFMT_R8G8B8;
        return h.bits == 16 && alpha_bits ? D3DFMT_A1R5G5B5 : D3DFMT_X1R5G5B5;
    }
}

// One stored pixel of `bits` bits to ARGB. Grey and 16-bit values are handled by their kind.
uint32_t to_argb(const uint8_t* p, uint32_t bits, bool grey, bool alpha) {
    if (grey) {
        const uint32_t a = bits == 16 ? p[1] : 255;
        return a << 24 | uint32_t(p[0]) * 0x010101u;
    }
    switch (bits) {
    case 15:
    case 16: {
        const uint32_t v = uint32_t(p[0] | p[1] << 8);
        auto w5 = [](uint32_t c) { return (c << 3) | (c >> 2); };
        const uint32_t a = alpha && bits == 16 ? (v & 0x8000 ? 255 : 0) : 255;
        return a << 24 | w5((v >> 10) & 31) << 16 | w5((v >> 5) & 31) << 8 | w5(v & 31);
    }
    case 24:
        return 0xFF000000u | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
    default:
        return (alpha ? uint32_t(p[3]) << 24 : 0xFF000000u) | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 |
               p[0];
    }
}

} // namespace

HRESULT decode_tga(const uint8_t* data, size_t size, DecodedImage& out, const DecodeOptions& options) {
    ByteReader r(data, size);
    TgaHeader h{};
    if (!read_header(r, h) || !valid(h) || !sane_size(h.width, h.height)) return D3DXERR_INVALIDDATA;
    out.info.file_format = D3DXIFF_TGA;
    out.info.width = h.width;
    out.info.height = h.height;
    out.info.format = natural_format(h);
    r.skip(h.id_length);

    const bool alpha = (h.descriptor & 15u) != 0;
    std::vector<uint32_t> palette;
    const size_t entry_bytes = (h.map_bits + 7u) / 8;
    if (size_t(h.map_length) * entry_bytes > r.remaining()) return D3DXERR_INVALIDDATA;
    if (base_type(h) == 1) {
        // A colour map's alpha counts when the image declares alpha bits or its entries are 32-bit.
        const bool map_alpha = alpha || h.map_bits == 32;
        palette.resize(h.map_length);
        for (uint32_t& c : palette) {
            c = to_argb(r.here(), h.map_bits, false, map_alpha);
            r.skip(entry_bytes);
        }
    } else {
        // Other images may carry a colour map they do not use, of any entry size.
        r.skip(size_t(h.map_length) * entry_bytes);
    }
    if (!r.ok()) return D3DXERR_INVALIDDATA;
    if (options.info_only) return S_OK;

    const uint32_t bytes_pp = (h.bits + 7u) / 8;
    const size_t count = size_t(h.width) * h.height;
    // A raw image must be all there; a run packet (2 bytes at least) covers 128 pixels at most.
    if (!is_rle(h) ? count * bytes_pp > r.remaining() : count > r.remaining() * 64)
        return D3DXERR_INVALIDDATA;
    const bool grey = base_type(h) == 3;
    auto convert = [&](const uint8_t* p) -> uint32_t {
        if (palette.empty()) return to_argb(p, h.bits, grey, alpha);
        const uint32_t i = p[0];
        return i >= h.map_first && i - h.map_first < palette.size() ? palette[i - h.map_first] : 0xFF000000u;
    };

    std::vector<uint32_t> pixels(count);
    if (!is_rle(h)) {
        for (size_t i = 0; i < count; ++i)
            pixels[i] = convert(r.here() + i * bytes_pp);
    } else {
        size_t i = 0;
        while (i < count) {
            const uint8_t packet = r.u8();
            const size_t n = (packet & 127u) + 1;
            if (!r.ok() || n > count - i) return D3DXERR_INVALIDDATA;
            const size_t stored = packet & 128u ? bytes_pp : n * bytes_pp;
            if (stored > r.remaining()) return D3DXERR_INVALIDDATA;
            for (size_t k = 0; k < n; ++k)
                pixels[i + k] = convert(r.here() + (packet & 128u ? 0 : k * bytes_pp));
            r.skip(stored);
            i += n;
        }
    }

    // Bit 5 of the descriptor puts the first row at the top, bit 4 the first column at the right.
    const bool top_down = h.descriptor & 0x20u, right_to_left = h.descriptor & 0x10u;
    ImageLevel& level = add_argb_level(out, h.width, h.height);
    for (uint32_t y = 0; y < h.height; ++y) {
        const uint32_t* s = pixels.data() + size_t(top_down ? y : h.height - 1u - y) * h.width;
        auto* d = reinterpret_cast<uint32_t*>(level.data.data() + y * level.pitch);
        for (uint32_t x = 0; x < h.width; ++x)
            d[x] = s[right_to_left ? h.width - 1u - x : x];
    }
    return S_OK;
}

std::vector<uint8_t> encode_tga(const ArgbImage& image, bool opaque) {
    ByteWriter w;
    w.u8(0);
    w.u8(0);
    w.u8(2);
    w.zeros(5);
    w.u16(0);
    w.u16(0);
    w.u16(image.width);
    w.u16(image.height);
    w.u8(opaque ? 24 : 32);
    w.u8(opaque ? 0x20 : 0x28);
    w.bytes.reserve(w.bytes.size() + image.pixels.size() * 4);
    for (uint32_t c : image.pixels) {
        w.u8(c);
        w.u8(c >> 8);
        w.u8(c >> 16);
        if (!opaque) w.u8(c >> 24);
    }
    return std::move(w.bytes);
}

} // namespace qcore::detail
