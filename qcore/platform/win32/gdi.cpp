#include <qcore/platform/win32/font.h>
#include <qcore/platform/win32/gdi.h>
#include <qcore/platform/win32/input.h>
#include <qcore/platform/win32/mfc_types.h>
#include <qcore/platform/win32/window_registry.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <variant>
#include <vector>

namespace qcore::detail {
namespace {

struct Pen {
    int style = PS_SOLID;
    int width = 1;
    COLORREF color = 0;
};
struct Brush {
    bool null = false;
    COLORREF color = 0;
};
struct Font {
    LOGFONTA lf{};
};
struct Bitmap {
    int width = 0, height = 0, bpp = 32, stride = 0;
    bool top_down = true;
    bool dib = false;
    std::vector<uint8_t> bits;
    std::vector<RGBQUAD> palette; // DIB sections of 1, 4 and 8 bits
    HDC selected_in = nullptr;
};
struct DcState {
    HGDIOBJ pen = nullptr, brush = nullptr, font = nullptr, bitmap = nullptr;
    COLORREF text = 0, bk = 0xFFFFFF;
    int bk_mode = OPAQUE, stretch = BLACKONWHITE, map_mode = MM_TEXT;
    UINT align = 0;
    POINT pos{0, 0};
};
struct Dc {
    bool memory = false;
    bool screen = false;
    HWND hwnd = nullptr;
    std::shared_ptr<Surface> surface;
    POINT origin{0, 0};
    CRect clip;
    DcState state;
    std::vector<DcState> saved;
};

struct Object {
    DWORD type = 0;
    bool stock = false;
    int selected = 0; // DCs that hold it
    std::variant<Pen, Brush, Font, Bitmap, Dc> v;
};

// A drawable view of pixels: row y starts at row0 + y * pitch (pitch is negative for bottom-up DIBs).
// Pixels of 16 bits are X1R5G5B5; those of 1, 4 and 8 bits index the palette, and writing one picks the
// nearest palette colour.
struct Target {
    uint8_t* row0 = nullptr;
    ptrdiff_t pitch = 0;
    int w = 0, h = 0, bpp = 32;
    CRect clip;     // in target pixels
    POINT origin{}; // logical (0, 0) in target pixels
    const RGBQUAD* palette = nullptr;
    int colors = 0;

    explicit operator bool() const { return row0 && !clip.IsRectEmpty(); }
    // 16, 24 and 32 bits only.
    uint8_t* at(int x, int y) const { return row0 + y * pitch + x * (bpp / 8); }
    uint32_t get(int x, int y) const {
        const uint8_t* p = row0 + y * pitch;
        switch (bpp) {
        case 32:
            return *reinterpret_cast<const uint32_t*>(p + 4 * x) & 0xFFFFFF;
        case 24:
            p += 3 * x;
            return p[0] | (p[1] << 8) | (p[2] << 16);
        case 16: {
            const uint32_t v = p[2 * x] | (p[2 * x + 1] << 8);
            auto widen = [](uint32_t five) { return (five << 3) | (five >> 2); };
            return (widen((v >> 10) & 31) << 16) | (widen((v >> 5) & 31) << 8) | widen(v & 31);
        }
        default: {
            const int index = palette_index(p, x);
            if (index >= colors) return 0;
            const RGBQUAD& q = palette[index];
            return (uint32_t{q.rgbRed} << 16) | (uint32_t{q.rgbGreen} << 8) | q.rgbBlue;
        }
        }
    }
    void put(int x, int y, uint32_t c) const {
        uint8_t* p = row0 + y * pitch;
        switch (bpp) {
        case 32:
            *reinterpret_cast<uint32_t*>(p + 4 * x) = c & 0xFFFFFF;
            return;
        case 24:
            p += 3 * x;
            p[0] = c & 0xFF;
            p[1] = (c >> 8) & 0xFF;
            p[2] = (c >> 16) & 0xFF;
            return;
        case 16: {
            const uint32_t v = ((c >> 19) & 31) << 10 | ((c >> 11) & 31) << 5 | ((c >> 3) & 31);
            p[2 * x] = static_cast<uint8_t>(v);
            p[2 * x + 1] = static_cast<uint8_t>(v >> 8);
            return;
        }
        default:
            set_palette_index(p, x, nearest_index(c));
        }
    }

private:
    int palette_index(const uint8_t* p, int x) const {
        if (bpp == 8) return p[x];
        if (bpp == 4) return (p[x / 2] >> (x % 2 ? 0 : 4)) & 15;
        return (p[x / 8] >> (7 - x % 8)) & 1;
    }
    void set_palette_index(uint8_t* p, int x, int index) const {
        if (bpp == 8) {
            p[x] = static_cast<uint8_t>(index);
        } else if (bpp == 4) {
            const int shift = x % 2 ? 0 : 4;
            p[x / 2] = static_cast<uint8_t>((p[x / 2] & ~(15 << shift)) | (index << shift));
        } else {
            const int shift = 7 - x % 8;
            p[x / 8] = static_cast<uint8_t>((p[x / 8] & ~(1 << shift)) | (index << shift));
        }
    }
    int nearest_index(uint32_t c) const {
        int best = 0;
        int best_distance = INT32_MAX;
        for (int i = 0; i < colors; ++i) {
            const int dr = palette[i].rgbRed - static_cast<int>((c >> 16) & 0xFF);
            const int dg = palette[i].rgbGreen - static_cast<int>((c >> 8) & 0xFF);
            const int db = palette[i].rgbBlue - static_cast<int>(c & 0xFF);
            const int d = dr * dr + dg * dg + db * db;
            if (d < best_distance) best = i, best_distance = d;
        }
        return best;
    }
};

struct Gdi {
    std::mutex mutex;
    std::unordered_map<uintptr_t, std::unique_ptr<Object>> objects;
    uintptr_t next = 1;
    HGDIOBJ stock[20] = {};
    HGDIOBJ sys_brushes[31] = {};
    HGDIOBJ default_bitmap = nullptr;
};

uint32_t to_xrgb(COLORREF c) {
    return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
}

COLORREF to_colorref(uint32_t x) {
    return RGB((x >> 16) & 0xFF, (x >> 8) & 0xFF, x & 0xFF);
}

const COLORREF kSysColors[31] = {
    RGB(200, 200, 200), RGB(0, 0, 0),       RGB(153, 180, 209), RGB(191, 205, 219), RGB(240, 240, 240),
    RGB(255, 255, 255), RGB(100, 100, 100), RGB(0, 0, 0),       RGB(0, 0, 0),       RGB(0, 0, 0),
    RGB(180, 180, 180), RGB(244, 247, 252), RGB(171, 171, 171), RGB(51, 153, 255),  RGB(255, 255, 255),
    RGB(240, 240, 240), RGB(160, 160, 160), RGB(109, 109, 109), RGB(0, 0, 0),       RGB(67, 78, 84),
    RGB(255, 255, 255), RGB(105, 105, 105), RGB(227, 227, 227), RGB(0, 0, 0),       RGB(255, 255, 225),
    RGB(181, 181, 181), RGB(0, 102, 204),   RGB(185, 209, 234), RGB(215, 228, 242), RGB(51, 153, 255),
    RGB(240, 240, 240)};

Gdi& gdi();

template <class T> HGDIOBJ add_locked(Gdi& g, DWORD type, T value, bool stock = false) {
    auto o = std::make_unique<Object>();
    o->type = type;
    o->stock = stock;
    o->v = std::move(value);
    const uintptr_t h = 0x4000000 + 16 * g.next++;
    g.objects.emplace(h, std::move(o));
    return reinterpret_cast<HGDIOBJ>(h);
}

Gdi& gdi() {
    static Gdi* g = [] {
        auto* gd = new Gdi; // stock objects live as long as the process
        const COLORREF grays[] = {RGB(255, 255, 255), RGB(192, 192, 192), RGB(128, 128, 128), RGB(64, 64, 64),
                                  RGB(0, 0, 0)};
        for (int i = 0; i < 5; ++i)
            gd->stock[i] = add_locked(*gd, OBJ_BRUSH, Brush{false, grays[i]}, true);
        gd->stock[NULL_BRUSH] = add_locked(*gd, OBJ_BRUSH, Brush{true, 0}, true);
        gd->stock[WHITE_PEN] = add_locked(*gd, OBJ_PEN, Pen{PS_SOLID, 1, RGB(255, 255, 255)}, true);
        gd->stock[BLACK_PEN] = add_locked(*gd, OBJ_PEN, Pen{PS_SOLID, 1, 0}, true);
        gd->stock[NULL_PEN] = add_locked(*gd, OBJ_PEN, Pen{PS_NULL, 1, 0}, true);
        for (int i : {OEM_FIXED_FONT, ANSI_FIXED_FONT, ANSI_VAR_FONT, SYSTEM_FONT, DEVICE_DEFAULT_FONT,
                      SYSTEM_FIXED_FONT, DEFAULT_GUI_FONT}) {
            Font f;
            f.lf.lfHeight = i == DEFAULT_GUI_FONT ? -11 : 16;
            f.lf.lfWeight = i == SYSTEM_FONT ? FW_BOLD : FW_NORMAL;
            const bool fixed = i == OEM_FIXED_FONT || i == ANSI_FIXED_FONT || i == SYSTEM_FIXED_FONT;
            std::strcpy(f.lf.lfFaceName, fixed ? "monospace" : "Arial");
            gd->stock[i] = add_locked(*gd, OBJ_FONT, f, true);
        }
        gd->stock[DC_BRUSH] = add_locked(*gd, OBJ_BRUSH, Brush{false, RGB(255, 255, 255)}, true);
        gd->stock[DC_PEN] = add_locked(*gd, OBJ_PEN, Pen{PS_SOLID, 1, 0}, true);
        for (int i = 0; i < 31; ++i)
            gd->sys_brushes[i] = add_locked(*gd, OBJ_BRUSH, Brush{false, kSysColors[i]}, true);
        Bitmap one;
        one.width = one.height = 1;
        one.stride = 4;
        one.bits.assign(4, 0);
        gd->default_bitmap = add_locked(*gd, OBJ_BITMAP, one, true);
        return gd;
    }();
    return *g;
}

Object* find_locked(Gdi& g, const void* h, DWORD type = 0) {
    auto it = g.objects.find(reinterpret_cast<uintptr_t>(h));
    if (it == g.objects.end()) return nullptr;
    if (type && it->second->type != type && !(type == OBJ_DC && it->second->type == OBJ_MEMDC))
        return nullptr;
    return it->second.get();
}

Dc* find_dc(Gdi& g, HDC h) {
    Object* o = find_locked(g, h, OBJ_DC);
    return o ? &std::get<Dc>(o->v) : nullptr;
}

template <class T> T* find_as(Gdi& g, const void* h, DWORD type) {
    Object* o = find_locked(g, h, type);
    return o ? &std::get<T>(o->v) : nullptr;
}

// Brush arguments may be a system colour index + 1.
const Brush* brush_of(Gdi& g, HBRUSH h) {
    const auto v = reinterpret_cast<uintptr_t>(h);
    if (v >= 1 && v <= 31) return find_as<Brush>(g, g.sys_brushes[v - 1], OBJ_BRUSH);
    return find_as<Brush>(g, h, OBJ_BRUSH);
}

Target bitmap_target(Bitmap& b) {
    Target t;
    if (b.bits.empty()) return t;
    t.row0 = b.top_down ? b.bits.data() : b.bits.data() + static_cast<ptrdiff_t>(b.height - 1) * b.stride;
    t.pitch = b.top_down ? b.stride : -b.stride;
    t.w = b.width;
    t.h = b.height;
    t.bpp = b.bpp;
    t.clip = CRect(0, 0, b.width, b.height);
    t.palette = b.palette.data();
    t.colors = static_cast<int>(b.palette.size());
    return t;
}

Target dc_target(Gdi& g, Dc& dc) {
    Target t;
    if (dc.memory) {
        Bitmap* b = find_as<Bitmap>(g, dc.state.bitmap, OBJ_BITMAP);
        return b ? bitmap_target(*b) : t;
    }
    if (!dc.surface || dc.surface->pixels.empty()) return t;
    t.row0 = reinterpret_cast<uint8_t*>(dc.surface->pixels.data());
    t.pitch = dc.surface->width * 4;
    t.w = dc.surface->width;
    t.h = dc.surface->height;
    const CRect bounds(0, 0, t.w, t.h);
    t.clip.IntersectRect(&dc.clip, &bounds);
    t.origin = dc.origin;
    return t;
}

void fill(const Target& t, CRect r, uint32_t color) {
    r.OffsetRect(t.origin);
    if (!r.IntersectRect(&r, &t.clip)) return;
    for (int y = r.top; y < r.bottom; ++y) {
        if (t.bpp == 32) {
            std::fill_n(reinterpret_cast<uint32_t*>(t.at(r.left, y)), r.Width(), color & 0xFFFFFF);
            continue;
        }
        for (int x = r.left; x < r.right; ++x)
            t.put(x, y, color);
    }
}

void plot(const Target& t, int x, int y, uint32_t color) {
    x += t.origin.x;
    y += t.origin.y;
    if (t.clip.PtInRect(POINT{x, y})) t.put(x, y, color);
}

// Bresenham from (x0, y0) towards (x1, y1), leaving out the end point; wide pens stamp squares.
void line(const Target& t, const Pen& pen, int x0, int y0, int x1, int y1) {
    if (pen.style == PS_NULL) return;
    const uint32_t c = to_xrgb(pen.color);
    const int w = std::max(pen.width, 1);
    const int dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
    const int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
    int err = dx + dy;
    while (x0 != x1 || y0 != y1) {
        if (w == 1)
            plot(t, x0, y0, c);
        else
            fill(t, CRect(x0 - w / 2, y0 - w / 2, x0 - w / 2 + w, y0 - w / 2 + w), c);
        const int e2 = 2 * err;
        if (e2 >= dy) err += dy, x0 += sx;
        if (e2 <= dx) err += dx, y0 += sy;
    }
}

uint32_t apply_rop(DWORD rop, uint32_t src, uint32_t dst, uint32_t pat) {
    switch (rop) {
    case SRCPAINT:
        return src | dst;
    case SRCAND:
        return src & dst;
    case SRCINVERT:
        return src ^ dst;
    case NOTSRCCOPY:
        return ~src & 0xFFFFFF;
    case DSTINVERT:
        return ~dst & 0xFFFFFF;
    case PATCOPY:
        return pat;
    case BLACKNESS:
        return 0;
    case WHITENESS:
        return 0xFFFFFF;
    default:
        return src;
    }
}

struct Span {
    int start = 0; // first pixel covered
    int size = 0;
    bool flipped = false;
};

// GDI extents: a negative one runs from the origin (included) towards lower coordinates.
Span span(int origin, int extent) {
    if (extent >= 0) return Span{origin, extent, false};
    return Span{origin + extent + 1, -extent, true};
}

std::vector<int> nearest_map(Span d, Span s) {
    std::vector<int> map(static_cast<size_t>(d.size));
    const bool flip = d.flipped != s.flipped;
    for (int i = 0; i < d.size; ++i) {
        // The source pixel under the centre of destination pixel i, counted from the far end when mirrored.
        const auto k = static_cast<int>(((2 * static_cast<int64_t>(i) + 1) * s.size) /
                                        (2 * static_cast<int64_t>(d.size)));
        map[static_cast<size_t>(i)] = s.start + (flip ? s.size - 1 - k : k);
    }
    return map;
}

struct Tap {
    int index;
    float weight;
};

// For each destination pixel of span d, the source pixels of span s under it with their weights: the
// covered area when shrinking, linear interpolation between neighbours when enlarging. Indices are clamped
// to 0..limit - 1.
std::vector<std::vector<Tap>> filter_taps(Span d, Span s, int limit) {
    std::vector<std::vector<Tap>> taps(static_cast<size_t>(d.size));
    const bool flip = d.flipped != s.flipped;
    const double scale = static_cast<double>(s.size) / d.size;
    auto source = [&](int k) {
        k = std::clamp(k, 0, s.size - 1);
        return std::clamp(s.start + (flip ? s.size - 1 - k : k), 0, limit - 1);
    };
    for (int i = 0; i < d.size; ++i) {
        auto& out = taps[static_cast<size_t>(i)];
        if (scale > 1.0) {
            const double lo = i * scale, hi = (i + 1) * scale;
            for (int k = static_cast<int>(lo); k < hi; ++k) {
                const double covered = std::min(hi, k + 1.0) - std::max(lo, static_cast<double>(k));
                if (covered > 0) out.push_back(Tap{source(k), static_cast<float>(covered / scale)});
            }
            continue;
        }
        const double u = (i + 0.5) * scale - 0.5;
        const int k = static_cast<int>(std::floor(u));
        const auto t = static_cast<float>(u - k);
        out.push_back(Tap{source(k), 1.0f - t});
        out.push_back(Tap{source(k + 1), t});
    }
    return taps;
}

// The HALFTONE stretch of a plain copy: every destination pixel averages the source pixels it covers.
void stretch_smooth(const Target& d, Span dx, Span dy, const Target& s, Span rx, Span ry) {
    const auto xs = filter_taps(dx, rx, s.w), ys = filter_taps(dy, ry, s.h);
    const int x0 = std::max(dx.start, static_cast<int>(d.clip.left));
    const int x1 = std::min(dx.start + dx.size, static_cast<int>(d.clip.right));
    const int y0 = std::max(dy.start, static_cast<int>(d.clip.top));
    const int y1 = std::min(dy.start + dy.size, static_cast<int>(d.clip.bottom));
    for (int py = y0; py < y1; ++py) {
        for (int px = x0; px < x1; ++px) {
            float r = 0, g = 0, b = 0;
            for (const Tap& ty : ys[static_cast<size_t>(py - dy.start)])
                for (const Tap& tx : xs[static_cast<size_t>(px - dx.start)]) {
                    const uint32_t c = s.get(tx.index, ty.index);
                    const float w = tx.weight * ty.weight;
                    r += w * static_cast<float>((c >> 16) & 0xFF);
                    g += w * static_cast<float>((c >> 8) & 0xFF);
                    b += w * static_cast<float>(c & 0xFF);
                }
            auto channel = [](float v) { return static_cast<uint32_t>(std::clamp(v + 0.5f, 0.0f, 255.0f)); };
            d.put(px, py, (channel(r) << 16) | (channel(g) << 8) | channel(b));
        }
    }
}

// Copies from one target's rectangle into another's, by the nearest pixel or, when smooth and the
// operation is a plain copy, filtered; source pixels outside the source are left out (nearest) or clamped
// to its edge (filtered), destination pixels outside the clip are left out.
void stretch(const Target& d, int x, int y, int w, int h, const Target& src, int sx, int sy, int sw, int sh,
             DWORD rop, uint32_t pat, bool smooth = false) {
    if (!d || !w || !h || !sw || !sh) return;
    std::vector<uint8_t> copy; // the same pixels on both sides: read from a snapshot
    Target s = src;
    if (s.row0 && s.row0 == d.row0) {
        const ptrdiff_t rows = std::abs(s.pitch) * s.h;
        uint8_t* lo = s.pitch > 0 ? s.row0 : s.row0 + s.pitch * (s.h - 1);
        copy.assign(lo, lo + rows);
        s.row0 = copy.data() + (s.row0 - lo);
    }
    const Span dx = span(x + d.origin.x, w), dy = span(y + d.origin.y, h);
    const Span rx = span(sx + s.origin.x, sw), ry = span(sy + s.origin.y, sh);
    if (smooth && rop == SRCCOPY && s.row0) {
        stretch_smooth(d, dx, dy, s, rx, ry);
        return;
    }
    const std::vector<int> xs = nearest_map(dx, rx), ys = nearest_map(dy, ry);
    const int x0 = std::max(dx.start, static_cast<int>(d.clip.left));
    const int x1 = std::min(dx.start + dx.size, static_cast<int>(d.clip.right));
    const int y0 = std::max(dy.start, static_cast<int>(d.clip.top));
    const int y1 = std::min(dy.start + dy.size, static_cast<int>(d.clip.bottom));
    const bool needs_source = rop != PATCOPY && rop != BLACKNESS && rop != WHITENESS && rop != DSTINVERT;
    if (needs_source && !s.row0) return;
    const bool fast = rop == SRCCOPY && d.bpp == 32 && s.bpp == 32;
    for (int py = y0; py < y1; ++py) {
        const int ty = ys[static_cast<size_t>(py - dy.start)];
        if (needs_source && (ty < 0 || ty >= s.h)) continue;
        if (fast) {
            auto* out = reinterpret_cast<uint32_t*>(d.at(0, py));
            const auto* in = reinterpret_cast<const uint32_t*>(s.at(0, ty));
            for (int px = x0; px < x1; ++px) {
                const int tx = xs[static_cast<size_t>(px - dx.start)];
                if (tx >= 0 && tx < s.w) out[px] = in[tx] & 0xFFFFFF;
            }
            continue;
        }
        for (int px = x0; px < x1; ++px) {
            const int tx = xs[static_cast<size_t>(px - dx.start)];
            if (needs_source && (tx < 0 || tx >= s.w)) continue;
            const uint32_t sv = needs_source ? s.get(tx, ty) : 0;
            d.put(px, py, apply_rop(rop, sv, d.get(px, py), pat));
        }
    }
}

bool supported_dib_bits(int bits) {
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

// Colour-table entries that follow a header of 1, 4 or 8 bits.
int palette_size(const BITMAPINFOHEADER& h) {
    if (h.biBitCount > 8) return 0;
    const int full = 1 << h.biBitCount;
    return h.biClrUsed > 0 && h.biClrUsed < static_cast<DWORD>(full) ? static_cast<int>(h.biClrUsed) : full;
}

// A view of client memory described by a BITMAPINFO (BI_RGB of 1, 4, 8, 16, 24 or 32 bits; the colour
// table of the smaller ones follows the header), or an empty target.
Target dib_target(const void* bits, const BITMAPINFO* info) {
    Target t;
    if (!bits || !info) return t;
    const BITMAPINFOHEADER& h = info->bmiHeader;
    if (h.biWidth <= 0 || h.biHeight == 0 || h.biHeight == INT32_MIN || h.biCompression != BI_RGB) return t;
    if (!supported_dib_bits(h.biBitCount)) return t;
    if (h.biWidth > 65536 || std::abs(h.biHeight) > 65536) return t;
    t.w = h.biWidth;
    t.h = std::abs(h.biHeight);
    t.bpp = h.biBitCount;
    t.palette = info->bmiColors;
    t.colors = palette_size(h);
    const ptrdiff_t stride = ((static_cast<ptrdiff_t>(t.w) * t.bpp + 31) / 32) * 4;
    auto* base = static_cast<uint8_t*>(const_cast<void*>(bits));
    const bool top_down = h.biHeight < 0;
    t.row0 = top_down ? base : base + stride * (t.h - 1);
    t.pitch = top_down ? stride : -stride;
    t.clip = CRect(0, 0, t.w, t.h);
    return t;
}

// Copies whole scan lines between two targets of one size; scan lines count from the bottom of a bottom-up
// DIB and from the top of a top-down one.
int copy_scan_lines(const Target& src, const Target& dst, UINT start, UINT lines, bool top_down) {
    int copied = 0;
    for (UINT i = start; i < start + lines && static_cast<int>(i) < src.h; ++i, ++copied) {
        const int y = top_down ? static_cast<int>(i) : src.h - 1 - static_cast<int>(i);
        for (int x = 0; x < src.w; ++x)
            dst.put(x, y, src.get(x, y));
    }
    return copied;
}

uint32_t current_brush_color(Gdi& g, const Dc& dc) {
    const Brush* b = brush_of(g, static_cast<HBRUSH>(dc.state.brush));
    return b && !b->null ? to_xrgb(b->color) : 0;
}

void select_locked(Gdi& g, HDC hdc, Dc& dc, HGDIOBJ& slot, HGDIOBJ next) {
    if (Object* old = find_locked(g, slot)) {
        --old->selected;
        if (old->type == OBJ_BITMAP) std::get<Bitmap>(old->v).selected_in = nullptr;
    }
    slot = next;
    Object* o = find_locked(g, next);
    ++o->selected;
    if (o->type == OBJ_BITMAP) std::get<Bitmap>(o->v).selected_in = hdc;
    (void)dc;
}

HDC new_dc_locked(Gdi& g, Dc dc) {
    dc.state.pen = g.stock[BLACK_PEN];
    dc.state.brush = g.stock[WHITE_BRUSH];
    dc.state.font = g.stock[SYSTEM_FONT];
    const bool memory = dc.memory;
    HDC h = static_cast<HDC>(add_locked(g, memory ? OBJ_MEMDC : OBJ_DC, std::move(dc)));
    Dc& d = *find_dc(g, h);
    for (HGDIOBJ o : {d.state.pen, d.state.brush, d.state.font})
        ++find_locked(g, o)->selected;
    if (memory) {
        d.state.bitmap = nullptr;
        select_locked(g, h, d, d.state.bitmap, g.default_bitmap);
    }
    return h;
}

void release_dc_locked(Gdi& g, HDC h, Dc& dc) {
    auto release = [&](HGDIOBJ o) {
        if (Object* obj = find_locked(g, o)) {
            --obj->selected;
            if (obj->type == OBJ_BITMAP) std::get<Bitmap>(obj->v).selected_in = nullptr;
        }
    };
    release(dc.state.pen);
    release(dc.state.brush);
    release(dc.state.font);
    if (dc.memory) release(dc.state.bitmap);
    for (const DcState& s : dc.saved) {
        release(s.pen);
        release(s.brush);
        release(s.font);
        if (dc.memory) release(s.bitmap);
    }
    g.objects.erase(reinterpret_cast<uintptr_t>(h));
}

Bitmap make_bitmap(int width, int height, int bpp, bool top_down) {
    Bitmap b;
    b.width = width;
    b.height = height;
    b.bpp = bpp;
    b.stride = ((width * bpp + 31) / 32) * 4;
    b.top_down = top_down;
    b.bits.assign(static_cast<size_t>(b.stride) * height, 0);
    return b;
}

bool valid_size(int w, int h) {
    return w > 0 && h > 0 && w <= 32768 && h <= 32768 && static_cast<int64_t>(w) * h <= (int64_t{1} << 28);
}

using Lock = std::lock_guard<std::mutex>;

// Draws one line of text at a logical position with the DC's colours and modes.
int draw_text_line(Gdi& g, Dc& dc, const Target& t, int x, int y, std::string_view text) {
    const Font* f = find_as<Font>(g, dc.state.font, OBJ_FONT);
    if (!f) return 0;
    const FontMetrics m = font_metrics(f->lf);
    const int width = text_width(f->lf, text);
    const UINT align = dc.state.align;
    if ((align & TA_CENTER) == TA_CENTER)
        x -= width / 2;
    else if (align & TA_RIGHT)
        x -= width;
    if ((align & TA_BASELINE) == TA_BASELINE)
        y -= m.ascent;
    else if (align & TA_BOTTOM)
        y -= m.height;
    if (!t) return width;
    if (dc.state.bk_mode == OPAQUE) fill(t, CRect(x, y, x + width, y + m.height), to_xrgb(dc.state.bk));
    const uint32_t color = to_xrgb(dc.state.text);
    const int cr = (color >> 16) & 0xFF, cg = (color >> 8) & 0xFF, cb = color & 0xFF;
    render_text(f->lf, text, x, y, [&](const uint8_t* cov, int w, int h, int pitch, int gx, int gy) {
        for (int row = 0; row < h; ++row) {
            const int py = gy + row + t.origin.y;
            if (py < t.clip.top || py >= t.clip.bottom) continue;
            for (int col = 0; col < w; ++col) {
                const int a = cov[row * pitch + col];
                const int px = gx + col + t.origin.x;
                if (!a || px < t.clip.left || px >= t.clip.right) continue;
                const uint32_t d = t.get(px, py);
                const int dr = (d >> 16) & 0xFF, dg = (d >> 8) & 0xFF, db = d & 0xFF;
                t.put(px, py,
                      ((dr + (cr - dr) * a / 255) << 16) | ((dg + (cg - dg) * a / 255) << 8) |
                          (db + (cb - db) * a / 255));
            }
        }
    });
    return width;
}

} // namespace

HDC create_window_dc(HWND hwnd, std::shared_ptr<Surface> surface, POINT origin, const RECT& clip) {
    Gdi& g = gdi();
    Lock lock(g.mutex);
    Dc dc;
    dc.hwnd = hwnd;
    dc.surface = std::move(surface);
    dc.origin = origin;
    dc.clip = clip;
    return new_dc_locked(g, std::move(dc));
}

HDC create_screen_dc() {
    Gdi& g = gdi();
    Lock lock(g.mutex);
    Dc dc;
    dc.screen = true;
    return new_dc_locked(g, std::move(dc));
}

HWND dc_window(HDC hdc, bool* is_window_dc) {
    Gdi& g = gdi();
    Lock lock(g.mutex);
    Dc* dc = find_dc(g, hdc);
    *is_window_dc = dc && !dc->memory;
    return dc ? dc->hwnd : nullptr;
}

BOOL delete_any_dc(HDC hdc) {
    Gdi& g = gdi();
    Lock lock(g.mutex);
    Dc* dc = find_dc(g, hdc);
    if (!dc) return FALSE;
    release_dc_locked(g, hdc, *dc);
    return TRUE;
}

} // namespace qcore::detail

using namespace qcore::detail;

HDC CreateCompatibleDC(HDC) {
    Gdi& g = gdi();
    Lock lock(g.mutex);
    Dc dc;
    dc.memory = true;
    return new_dc_locked(g, std::move(dc));
}

BOOL DeleteDC(HDC hdc) {
    Gdi& g = gdi();
    Lock lock(g.mutex);
    Dc* dc = find_dc(g, hdc);
    if (!dc) return FALSE;
    release_dc_locked(g, hdc, *dc);
    return TRUE;
}

int SaveDC(HDC hdc) {
    Gdi& g = gdi();
    Lock lock(g.mutex);
    Dc* dc = find_dc(g, hdc);
    if (!dc) return 0;
    dc->saved.push_back(dc->state);
    for (HGDIOBJ o : {dc->state.pen, dc->state.brush, dc->state.font, dc->state.bitmap})
        if (Object* obj = find_locked(g, o)) ++obj->selected;
    return static_cast<int>(dc->saved.size());
}

BOOL RestoreDC(HDC hdc, int saved) {
    Gdi& g = gdi();
    Lock lock(g.mutex);
    Dc* dc = find_dc(g, hdc);
    if (!dc || dc->saved.empty()) return FALSE;
    const int n = static_cast<int>(dc->saved.size());
    const int index = saved < 0 ? n + saved : saved - 1;
    if (index < 0 || index >= n) return FALSE;
    auto release = [&](const DcState& s) {
        for (HGDIOBJ o : {s.pen, s.brush, s.font, s.bitmap})
            if (Object* obj = find_locked(g, o)) --obj->selected;
    };
    release(dc->state);
    dc->state = dc->saved[static_cast<size_t>(index)];
    for (int i = index + 1; i < n; ++i)
        release(dc->saved[static_cast<size_t>(i)]);
    dc->saved.resize(static_cast<size_t>(index));
    if (Bitmap* b = find_as<Bitmap>(g, dc->state.bitmap, OBJ_BITMAP)) b->selected_in = hdc;
    return TRUE;
}

int GetDeviceCaps(HDC hdc, int index) {
    const qcore::DesktopMode mode = qcore::get_desktop_mode();
    Gdi& g = gdi();
    Lock lock(g.mutex);
    Dc* dc = find_dc(g, hdc);
    if (!dc) return 0;
    switch (index) {
    case HORZRES:
        return mode.width;
    case VERTRES:
        return mode.height;
    case BITSPIXEL:
        return dc->memory || !dc->screen ? 32 : qcore::desktop_format_bits(mode.format);
    case PLANES:
        return 1;
    case NUMCOLORS:
        return -1;
    case LOGPIXELSX:
    case LOGPIXELSY:
        return 96;
    default:
        return 0;
    }
}

int SetMapMode(HDC hdc, int mode) {
    Gdi& g = gdi();
    Lock lock(g.mutex);
    Dc* dc = find_dc(g, hdc);
    if (!dc) return 0;
    return std::exchange(dc->state.map_mode, mode == MM_TEXT ? mode : MM_TEXT);
}

int GetMapMode(HDC hdc) {
    Gdi& g = gdi();
    Lock lock(g.mutex);
    Dc* dc = find_dc(g, hdc);
    return dc ? dc->state.map_mode : 0;
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ object) {
    Gdi& g = gdi();
    Lock lock(g.mutex);
    Dc* dc = find_dc(g, hdc);
    Object* o = find_locked(g, object);
    if (!dc || !o) return nullptr;
    HGDIOBJ* slot = nullptr;
    switch (o->type) {
    case OBJ_PEN:
        slot = &dc->state.pen;
        break;
    case OBJ_BRUSH:
        slot = &dc->state.brush;
        break;
    case OBJ_FONT:
        slot = &dc->state.font;
        break;
    case OBJ_BITMAP: {
        Bitmap& b = std::get<Bitmap>(o->v);
        if (!dc->memory || (b.selected_in && b.selected_in != hdc)) return nullptr;
        slot = &dc->state.bitmap;
        break;
    }
    default:
        return nullptr;
    }
    HGDIOBJ previous = *slot;
    if (previous != object) select_locked(g, hdc, *dc, *slot, object);
    return previous;
}

HGDIOBJ GetCurrentObject(HDC hdc, UINT type) {
    Gdi& g = gdi();
    Lock lock(g.mutex);
    Dc* dc = find_dc(g, hdc);
    if (!dc) return nullptr;
    switch (type) {
    case OBJ_PEN:
        return dc->state.pen;
    case OBJ_BRUSH:
        return dc->state.brush;
    case OBJ_FONT:
        return dc->state.font;
    case OBJ_BITMAP:
        return dc->state.bitmap;
    default:
        return nullptr;
    }
}

DWORD GetObjectType(HGDIOBJ object) {
    Gdi& g = gdi();
    Lock lock(g.mutex);
    Object* o = find_locked(g, object);
    return o ? o->type : 0;
}

BOOL DeleteObject(HGDIOBJ object) {
    Gdi& g = gdi();
    Lock lock(g.mutex);
    Object* o = find_locked(g, object);
    if (!o || o->type == OBJ_DC || o->type == OBJ_MEMDC) return FALSE;
    if (o->stock) return TRUE;
    if (o->selected > 0) return FALSE;
    g.objects.erase(reinterpret_cast<uintptr_t>(object));
    return TRUE;
}

HGDIOBJ GetStockObject(int index) {
    Gdi& g = gdi();
    if (index < 0 || index >= 20) return nullptr;
    return g.stock[index];
}

int GetObjectA(HGDIOBJ object, int size, LPVOID out) {
    Gdi& g = gdi();
    Lock lock(g.mutex);
    Object* o = find_locked(g, object);
    if (!o) return 0;
    auto give = [&](const auto& record) {
        const int n = static_cast<int>(sizeof(record));
        if (!out) return n;
        if (size < n) return 0;
        std::memcpy(out, &record, sizeof(record));
        return n;
    };
    switch (o->type) {
    case OBJ_BITMAP: {
        Bitmap& b = std::get<Bitmap>(o->v);
        BITMAP bm{
            0, b.width, b.height, b.stride, 1, static_cast<WORD>(b.bpp), b.dib ? b.bits.data() : nullptr};
        if (b.dib && size >= static_cast<int>(sizeof(DIBSECTION))) {
            DIBSECTION ds{};
            ds.dsBm = bm;
            ds.dsBmih = BITMAPINFOHEADER{40,
                                         b.width,
                                         b.top_down ? -b.height : b.height,
                                         1,
                                         static_cast<WORD>(b.bpp),
                                         BI_RGB,
                                         static_cast<DWORD>(b.bits.size()),
                                         0,
                                         0,
                                         static_cast<DWORD>(b.palette.size()),
                                         0};
            return give(ds);
        }
        return give(bm);
    }
    case OBJ_PEN: {
        const Pen& p = std::get<Pen>(o->v);
        return give(LOGPEN{static_cast<UINT>(p.style), POINT{p.width, 0}, p.color});
    }
    case OBJ_BRUSH: {
        const Brush& b = std::get<Brush>(o->v);
        return give(LOGBRUSH{static_cast<UINT>(b.null ? BS_NULL : BS_SOLID), b.color, 0});
    }
    case OBJ_FONT:
        return give(std::get<Font>(o->v).lf);
    default:
        return 0;
    }
}

#define QCORE_DC_FIELD(getter, setter, type, field)                                                          \
    type setter(HDC hdc, type value) {                                                                       \
        Gdi& g = gdi();                                                                                      \
        Lock lock(g.mutex);                                                                                  \
        Dc* dc = find_dc(g, hdc);                                                                            \
        return dc ? std::exchange(dc->state.field, value) : type{};                                          \
    }                                                                                                        \
    type getter(HDC hdc) {                                                                                   \
        Gdi& g = gdi();                                                                                      \
        Lock lock(g.mutex);                                                                                  \
        Dc* dc = find_dc(g, hdc);                                                                            \
        return dc ? dc->state.field : type{};                                                                \
    }
QCORE_DC_FIELD(GetTextColor, SetTextColor, COLORREF, text)
QCORE_DC_FIELD(GetBkColor, SetBkColor, COLORREF, bk)
QCORE_DC_FIELD(GetBkMode, SetBkMode, int, bk_mode)
QCORE_DC_FIELD(GetStretchBltMode, SetStretchBltMode, int, stretch)
#undef QCORE_DC_FIELD

UINT SetTextAlign(HDC hdc, UINT align) {
    Gdi& g = gdi();
    Lock lock(g.mutex);
    Dc* dc = find_dc(g, hdc);
    return dc ? std::exchange(dc->state.align, align) : 0xFFFFFFFFu;
}

BOOL GetClipBox(HDC hdc, LPRECT rect) {
    Gdi& g = gdi();
    Lock lock(g.mutex);
    Dc* dc = find_dc(g, hdc);
    if (!dc || !rect) return 0;
    Target t = dc_target(g, *dc);
    CRect r = t.clip;
    r.OffsetRect(-t.origin.x, -t.origin.y);
    *rect = r;
    return r.IsRectEmpty() ? 1 : 2;
}

HPEN CreatePen(int style, int width, COLORREF color) {
    Gdi& g = gdi();
    Lock lock(g.mutex);
    return static_cast<HPEN>(add_locked(g, OBJ_PEN, Pen{style, std::clamp(width, 1, 1024), color}));
}

HBRUSH CreateSolidBrush(COLORREF color) {
    Gdi& g = gdi();
    Lock lock(g.mutex);
    return static_cast<HBRUSH>(add_locked(g, OBJ_BRUSH, Brush{false, color & 0xFFFFFF}));
}

HBRUSH CreateBrushIndirect(const LOGBRUSH* brush) {
    if (!brush) return nullptr;
    if (brush->lbStyle == BS_NULL) return static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    return CreateSolidBrush(brush->lbColor);
}

DWORD GetSysColor(int index) {
    return index >= 0 && index < 31 ? kSysColors[index] : 0;
}

HBRUSH GetSysColorBrush(int index) {
    Gdi& g = gdi();
    return index >= 0 && index < 31 ? static_cast<HBRUSH>(g.sys_brushes[index]) : nullptr;
}

HBITMAP CreateCompatibleBitmap(HDC, int width, int height) {
    if (!valid_size(width, height)) return nullptr;
    Gdi& g = gdi();
    Lock lock(g.mutex);
    return static_cast<HBITMAP>(add_locked(g, OBJ_BITMAP, make_bitmap(width, height, 32, true)));
}

HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bits_per_pixel, const void* bits) {
    if (!valid_size(width, height) || planes != 1 || bits_per_pixel != 32) return nullptr;
    Bitmap b = make_bitmap(width, height, 32, true);
    if (bits) std::memcpy(b.bits.data(), bits, b.bits.size());
    Gdi& g = gdi();
    Lock lock(g.mutex);
    return static_cast<HBITMAP>(add_locked(g, OBJ_BITMAP, std::move(b)));
}

HBITMAP CreateDIBSection(HDC, const BITMAPINFO* info, UINT, void** bits, HANDLE, DWORD) {
    if (bits) *bits = nullptr;
    if (!info) return nullptr;
    const BITMAPINFOHEADER& h = info->bmiHeader;
    if (h.biCompression != BI_RGB || !supported_dib_bits(h.biBitCount)) return nullptr;
    if (h.biHeight == INT32_MIN || !valid_size(h.biWidth, std::abs(h.biHeight))) return nullptr;
    Bitmap b = make_bitmap(h.biWidth, std::abs(h.biHeight), h.biBitCount, h.biHeight < 0);
    b.dib = true;
    b.palette.assign(info->bmiColors, info->bmiColors + palette_size(h));
    Gdi& g = gdi();
    Lock lock(g.mutex);
    HGDIOBJ handle = add_locked(g, OBJ_BITMAP, std::move(b));
    if (bits) *bits = find_as<Bitmap>(g, handle, OBJ_BITMAP)->bits.data();
    return static_cast<HBITMAP>(handle);
}

int GetDIBits(HDC, HBITMAP bitmap, UINT start, UINT lines, LPVOID bits, LPBITMAPINFO info, UINT) {
    Gdi& g = gdi();
    Lock lock(g.mutex);
    Bitmap* b = find_as<Bitmap>(g, bitmap, OBJ_BITMAP);
    if (!b || !info) return 0;
    if (!bits) {
        BITMAPINFOHEADER& h = info->bmiHeader;
        if (h.biBitCount == 0) h.biBitCount = static_cast<WORD>(b->bpp);
        h = BITMAPINFOHEADER{40,
                             b->width,
                             b->height,
                             1,
                             h.biBitCount,
                             BI_RGB,
                             static_cast<DWORD>(((b->width * h.biBitCount + 31) / 32) * 4 * b->height),
                             0,
                             0,
                             0,
                             0};
        return b->height;
    }
    if (info->bmiHeader.biWidth != b->width || std::abs(info->bmiHeader.biHeight) != b->height) return 0;
    Target dst = dib_target(bits, info);
    if (!dst) return 0;
    const Target src = bitmap_target(*b);
    return copy_scan_lines(src, dst, start, lines, info->bmiHeader.biHeight < 0);
}

int SetDIBits(HDC, HBITMAP bitmap, UINT start, UINT lines, const void* bits, const BITMAPINFO* info, UINT) {
    Gdi& g = gdi();
    Lock lock(g.mutex);
    Bitmap* b = find_as<Bitmap>(g, bitmap, OBJ_BITMAP);
    const Target src = dib_target(bits, info);
    if (!b || !src || src.w != b->width || src.h != b->height) return 0;
    const Target dst = bitmap_target(*b);
    return copy_scan_lines(src, dst, start, lines, info->bmiHeader.biHeight < 0);
}

int SetDIBitsToDevice(HDC hdc, int x, int y, DWORD width, DWORD height, int src_x, int src_y, UINT start,
                      UINT lines, const void* bits, const BITMAPINFO* info, UINT) {
    Gdi& g = gdi();
    Lock lock(g.mutex);
    Dc* dc = find_dc(g, hdc);
    Target src = dib_target(bits, info);
    if (!dc || !src || width > 65536 || height > 65536) return 0;
    // Source coordinates of a bottom-up DIB start at its bottom-left corner.
    const bool top_down = info->bmiHeader.biHeight < 0;
    const int top = top_down ? src_y : src.h - src_y - static_cast<int>(height);
    (void)start;
    stretch(dc_target(g, *dc), x, y, static_cast<int>(width), static_cast<int>(height), src, src_x, top,
            static_cast<int>(width), static_cast<int>(height), SRCCOPY, 0);
    return static_cast<int>(std::min<UINT>(lines, static_cast<UINT>(src.h)));
}

int StretchDIBits(HDC hdc, int x, int y, int width, int height, int src_x, int src_y, int src_width,
                  int src_height, const void* bits, const BITMAPINFO* info, UINT, DWORD rop) {
    Gdi& g = gdi();
    Lock lock(g.mutex);
    Dc* dc = find_dc(g, hdc);
    Target src = dib_target(bits, info);
    if (!dc || !src) return 0;
    const bool top_down = info->bmiHeader.biHeight < 0;
    const int top = top_down ? src_y : src.h - src_y - src_height;
    stretch(dc_target(g, *dc), x, y, width, height, src, src_x, top, src_width, src_height, rop,
            current_brush_color(g, *dc), dc->state.stretch == HALFTONE);
    return std::abs(src_height);
}

int FillRect(HDC hdc, const RECT* rect, HBRUSH brush) {
    Gdi& g = gdi();
    Lock lock(g.mutex);
    Dc* dc = find_dc(g, hdc);
    const Brush* b = brush_of(g, brush);
    if (!dc || !rect || !b) return 0;
    if (!b->null) fill(dc_target(g, *dc), CRect(rect), to_xrgb(b->color));
    return 1;
}

int FrameRect(HDC hdc, const RECT* rect, HBRUSH brush) {
    Gdi& g = gdi();
    Lock lock(g.mutex);
    Dc* dc = find_dc(g, hdc);
    const Brush* b = brush_of(g, brush);
    if (!dc || !rect || !b) return 0;
    const CRect r(rect);
    if (b->null || r.IsRectEmpty()) return 1;
    const Target t = dc_target(g, *dc);
    const uint32_t c = to_xrgb(b->color);
    fill(t, CRect(r.left, r.top, r.right, r.top + 1), c);
    fill(t, CRect(r.left, r.bottom - 1, r.right, r.bottom), c);
    fill(t, CRect(r.left, r.top, r.left + 1, r.bottom), c);
    fill(t, CRect(r.right - 1, r.top, r.right, r.bottom), c);
    return 1;
}

BOOL Rectangle(HDC hdc, int left, int top, int right, int bottom) {
    Gdi& g = gdi();
    Lock lock(g.mutex);
    Dc* dc = find_dc(g, hdc);
    if (!dc) return FALSE;
    CRect r(left, top, right, bottom);
    r.NormalizeRect();
    const Target t = dc_target(g, *dc);
    const Pen* pen = find_as<Pen>(g, dc->state.pen, OBJ_PEN);
    const Brush* brush = brush_of(g, static_cast<HBRUSH>(dc->state.brush));
    const bool outline = pen && pen->style != PS_NULL;
    // Without a pen the filled area is one pixel smaller on the right and bottom, as in GDI.
    CRect inner(r.left, r.top, r.right - 1, r.bottom - 1);
    if (outline) inner = CRect(r.left + 1, r.top + 1, r.right - 1, r.bottom - 1);
    if (brush && !brush->null && !inner.IsRectEmpty()) fill(t, inner, to_xrgb(brush->color));
    if (!outline || r.Width() < 1 || r.Height() < 1) return TRUE;
    const int w = std::max(pen->width, 1);
    const uint32_t c = to_xrgb(pen->color);
    fill(t, CRect(r.left, r.top, r.right, std::min(r.top + w, r.bottom)), c);
    fill(t, CRect(r.left, std::max(r.bottom - w, r.top), r.right, r.bottom), c);
    fill(t, CRect(r.left, r.top, std::min(r.left + w, r.right), r.bottom), c);
    fill(t, CRect(std::max(r.right - w, r.left), r.top, r.right, r.bottom), c);
    return TRUE;
}

BOOL MoveToEx(HDC hdc, int x, int y, LPPOINT previous) {
    Gdi& g = gdi();
    Lock lock(g.mutex);
    Dc* dc = find_dc(g, hdc);
    if (!dc) return FALSE;
    if (previous) *previous = dc->state.pos;
    dc->state.pos = POINT{x, y};
    return TRUE;
}

BOOL LineTo(HDC hdc, int x, int y) {
    Gdi& g = gdi();
    Lock lock(g.mutex);
    Dc* dc = find_dc(g, hdc);
    if (!dc) return FALSE;
    if (const Pen* pen = find_as<Pen>(g, dc->state.pen, OBJ_PEN))
        line(dc_target(g, *dc), *pen, dc->state.pos.x, dc->state.pos.y, x, y);
    dc->state.pos = POINT{x, y};
    return TRUE;
}

BOOL Polyline(HDC hdc, const POINT* points, int count) {
    if (!points || count < 2) return FALSE;
    Gdi& g = gdi();
    Lock lock(g.mutex);
    Dc* dc = find_dc(g, hdc);
    if (!dc) return FALSE;
    const Pen* pen = find_as<Pen>(g, dc->state.pen, OBJ_PEN);
    if (!pen) return TRUE;
    const Target t = dc_target(g, *dc);
    for (int i = 1; i < count; ++i)
        line(t, *pen, points[i - 1].x, points[i - 1].y, points[i].x, points[i].y);
    return TRUE;
}

COLORREF SetPixel(HDC hdc, int x, int y, COLORREF color) {
    Gdi& g = gdi();
    Lock lock(g.mutex);
    Dc* dc = find_dc(g, hdc);
    if (!dc) return CLR_INVALID;
    const Target t = dc_target(g, *dc);
    if (!t.clip.PtInRect(POINT{x + t.origin.x, y + t.origin.y})) return CLR_INVALID;
    plot(t, x, y, to_xrgb(color));
    return color & 0xFFFFFF;
}

COLORREF GetPixel(HDC hdc, int x, int y) {
    Gdi& g = gdi();
    Lock lock(g.mutex);
    Dc* dc = find_dc(g, hdc);
    if (!dc) return CLR_INVALID;
    const Target t = dc_target(g, *dc);
    const POINT p{x + t.origin.x, y + t.origin.y};
    if (!t || !t.clip.PtInRect(p)) return CLR_INVALID;
    return to_colorref(t.get(p.x, p.y));
}

BOOL PatBlt(HDC hdc, int x, int y, int width, int height, DWORD rop) {
    Gdi& g = gdi();
    Lock lock(g.mutex);
    Dc* dc = find_dc(g, hdc);
    if (!dc) return FALSE;
    const Target t = dc_target(g, *dc);
    stretch(t, x, y, width, height, Target{}, 0, 0, width, height, rop, current_brush_color(g, *dc));
    return TRUE;
}

BOOL BitBlt(HDC hdc, int x, int y, int width, int height, HDC src, int src_x, int src_y, DWORD rop) {
    return StretchBlt(hdc, x, y, width, height, src, src_x, src_y, width, height, rop);
}

BOOL StretchBlt(HDC hdc, int x, int y, int width, int height, HDC src, int src_x, int src_y, int src_width,
                int src_height, DWORD rop) {
    Gdi& g = gdi();
    Lock lock(g.mutex);
    Dc* dc = find_dc(g, hdc);
    Dc* sdc = src ? find_dc(g, src) : nullptr;
    if (!dc || (src && !sdc)) return FALSE;
    const Target s = sdc ? dc_target(g, *sdc) : Target{};
    stretch(dc_target(g, *dc), x, y, width, height, s, src_x, src_y, src_width, src_height, rop,
            current_brush_color(g, *dc), dc->state.stretch == HALFTONE);
    return TRUE;
}

HFONT CreateFontA(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                  DWORD underline, DWORD strike_out, DWORD charset, DWORD out_precision, DWORD clip_precision,
                  DWORD quality, DWORD pitch_and_family, LPCSTR face) {
    LOGFONTA lf{height,
                width,
                escapement,
                orientation,
                weight,
                static_cast<BYTE>(italic != 0),
                static_cast<BYTE>(underline != 0),
                static_cast<BYTE>(strike_out != 0),
                static_cast<BYTE>(charset),
                static_cast<BYTE>(out_precision),
                static_cast<BYTE>(clip_precision),
                static_cast<BYTE>(quality),
                static_cast<BYTE>(pitch_and_family),
                {}};
    if (face) std::strncpy(lf.lfFaceName, face, LF_FACESIZE - 1);
    return CreateFontIndirectA(&lf);
}

HFONT CreateFontIndirectA(const LOGFONTA* font) {
    if (!font) return nullptr;
    Font f{*font};
    f.lf.lfFaceName[LF_FACESIZE - 1] = 0;
    f.lf.lfHeight = std::clamp<LONG>(f.lf.lfHeight, -2048, 2048);
    Gdi& g = gdi();
    Lock lock(g.mutex);
    return static_cast<HFONT>(add_locked(g, OBJ_FONT, f));
}

BOOL TextOutA(HDC hdc, int x, int y, LPCSTR text, int length) {
    return ExtTextOutA(hdc, x, y, 0, nullptr, text, length < 0 ? 0 : static_cast<UINT>(length), nullptr);
}

BOOL ExtTextOutA(HDC hdc, int x, int y, UINT options, const RECT* rect, LPCSTR text, UINT length,
                 const INT*) {
    Gdi& g = gdi();
    Lock lock(g.mutex);
    Dc* dc = find_dc(g, hdc);
    if (!dc || (!text && length)) return FALSE;
    Target t = dc_target(g, *dc);
    if (rect && (options & ETO_OPAQUE)) fill(t, CRect(rect), to_xrgb(dc->state.bk));
    if (rect && (options & ETO_CLIPPED)) {
        CRect r(rect);
        r.OffsetRect(t.origin);
        t.clip.IntersectRect(&t.clip, &r);
    }
    const bool update = dc->state.align & TA_UPDATECP;
    if (update) x = dc->state.pos.x, y = dc->state.pos.y;
    const int w = draw_text_line(g, *dc, t, x, y, std::string_view(text ? text : "", length));
    if (update) dc->state.pos.x += w;
    return TRUE;
}

namespace {

// Drops the '&' prefix markers ("&&" stays one '&').
std::string strip_prefix(std::string_view s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '&' && i + 1 < s.size())
            ++i;
        else if (s[i] == '&')
            continue;
        out.push_back(s[i]);
    }
    return out;
}

std::vector<std::string> split_lines(const std::string& s, bool single) {
    std::vector<std::string> lines(1);
    for (size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '\r' && !single) continue;
        if (c == '\n' && !single) {
            lines.emplace_back();
            continue;
        }
        if (c == '\r' || c == '\n') continue;
        lines.back().push_back(c);
    }
    return lines;
}

// Breaks a line to fit a width: after spaces, and around characters of three or more UTF-8 bytes (CJK
// text has no spaces). A piece wider than the width alone keeps its own line.
std::vector<std::string> wrap_line(const LOGFONTA& lf, const std::string& line, int width) {
    std::vector<std::string> pieces;
    for (size_t i = 0; i < line.size();) {
        const auto lead = static_cast<unsigned char>(line[i]);
        size_t end = i;
        if (lead >= 0xE0) {
            end = i + (lead >= 0xF0 ? 4 : 3);
        } else {
            while (end < line.size() && line[end] != ' ' && static_cast<unsigned char>(line[end]) < 0xE0)
                ++end;
        }
        while (end < line.size() && line[end] == ' ')
            ++end;
        end = std::min(std::max(end, i + 1), line.size());
        pieces.push_back(line.substr(i, end - i));
        i = end;
    }
    auto trimmed = [](std::string s) {
        while (!s.empty() && s.back() == ' ')
            s.pop_back();
        return s;
    };
    std::vector<std::string> out;
    std::string current;
    for (const std::string& piece : pieces) {
        if (!current.empty() && text_width(lf, trimmed(current + piece)) > width) {
            out.push_back(trimmed(current));
            current.clear();
        }
        current += piece;
    }
    out.push_back(trimmed(current));
    return out;
}

} // namespace

int DrawTextA(HDC hdc, LPCSTR text, int length, LPRECT rect, UINT format) {
    if (!text || !rect) return 0;
    std::string_view raw(text, length < 0 ? std::strlen(text) : static_cast<size_t>(length));
    const std::string s = (format & DT_NOPREFIX) ? std::string(raw) : strip_prefix(raw);
    const bool single = format & DT_SINGLELINE;
    std::vector<std::string> lines = split_lines(s, single);
    Gdi& g = gdi();
    Lock lock(g.mutex);
    Dc* dc = find_dc(g, hdc);
    if (!dc) return 0;
    const Font* f = find_as<Font>(g, dc->state.font, OBJ_FONT);
    if (!f) return 0;
    if ((format & DT_WORDBREAK) && !single) {
        std::vector<std::string> wrapped;
        for (const std::string& l : lines)
            for (std::string& piece : wrap_line(f->lf, l, rect->right - rect->left))
                wrapped.push_back(std::move(piece));
        lines = std::move(wrapped);
    }
    const FontMetrics m = font_metrics(f->lf);
    const int total = m.height * static_cast<int>(lines.size());
    const CRect r(rect);
    if (format & DT_CALCRECT) {
        int widest = 0;
        for (const auto& l : lines)
            widest = std::max(widest, text_width(f->lf, l));
        rect->right = rect->left + widest;
        rect->bottom = rect->top + total;
        return total;
    }
    Target t = dc_target(g, *dc);
    if (!(format & DT_NOCLIP)) {
        CRect clip = r;
        clip.OffsetRect(t.origin);
        t.clip.IntersectRect(&t.clip, &clip);
    }
    int y = r.top;
    if (single && (format & DT_VCENTER)) y = r.top + (r.Height() - m.height) / 2;
    if (single && (format & DT_BOTTOM)) y = r.bottom - m.height;
    const UINT saved_align = std::exchange(dc->state.align, 0u);
    for (const auto& l : lines) {
        const int w = text_width(f->lf, l);
        int x = r.left;
        if (format & DT_CENTER)
            x = r.left + (r.Width() - w) / 2;
        else if (format & DT_RIGHT)
            x = r.right - w;
        draw_text_line(g, *dc, t, x, y, l);
        y += m.height;
    }
    dc->state.align = saved_align;
    return total;
}

BOOL GetTextExtentPoint32A(HDC hdc, LPCSTR text, int length, LPSIZE size) {
    if (!size || (!text && length > 0)) return FALSE;
    Gdi& g = gdi();
    Lock lock(g.mutex);
    Dc* dc = find_dc(g, hdc);
    const Font* f = dc ? find_as<Font>(g, dc->state.font, OBJ_FONT) : nullptr;
    if (!f) return FALSE;
    const std::string_view s(text ? text : "", length > 0 ? static_cast<size_t>(length) : 0);
    size->cx = text_width(f->lf, s);
    size->cy = font_metrics(f->lf).height;
    return TRUE;
}

BOOL GetTextMetricsA(HDC hdc, LPTEXTMETRICA metrics) {
    if (!metrics) return FALSE;
    Gdi& g = gdi();
    Lock lock(g.mutex);
    Dc* dc = find_dc(g, hdc);
    const Font* f = dc ? find_as<Font>(g, dc->state.font, OBJ_FONT) : nullptr;
    if (!f) return FALSE;
    const FontMetrics m = font_metrics(f->lf);
    *metrics = TEXTMETRICA{};
    metrics->tmHeight = m.height;
    metrics->tmAscent = m.ascent;
    metrics->tmDescent = m.descent;
    metrics->tmAveCharWidth = m.ave_width;
    metrics->tmMaxCharWidth = m.max_width;
    metrics->tmWeight = f->lf.lfWeight ? f->lf.lfWeight : FW_NORMAL;
    metrics->tmItalic = f->lf.lfItalic;
    metrics->tmFirstChar = 32;
    metrics->tmLastChar = 255;
    metrics->tmDefaultChar = '?';
    metrics->tmBreakChar = ' ';
    metrics->tmCharSet = f->lf.lfCharSet;
    metrics->tmPitchAndFamily = f->lf.lfPitchAndFamily;
    return TRUE;
}
