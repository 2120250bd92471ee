#include <qcore/platform/d3d8/soft/device.h>
#include <qcore/platform/d3d8/soft/formats.h>
#include <qcore/platform/d3d8/soft/window_link.h>
#include <qcore/platform/win32/window.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace qcore::detail::soft {
namespace {

RECT intersect(const RECT& a, const RECT& b) {
    return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
            std::min(a.bottom, b.bottom)};
}

bool empty(const RECT& r) {
    return r.left >= r.right || r.top >= r.bottom;
}

RECT whole(const SurfaceMemory& m) {
    return {0, 0, static_cast<LONG>(m.width()), static_cast<LONG>(m.height())};
}

// The region as ARGB pixels, multisampled surfaces averaged down; 32-bit surfaces are copied row by row.
void resolve_region(const SurfaceMemory& m, const RECT& r, std::vector<uint32_t>& out) {
    const auto w = size_t(r.right - r.left), h = size_t(r.bottom - r.top);
    out.resize(w * h);
    const bool plain = m.samples_across() * m.samples_down() == 1 &&
                       (m.format() == D3DFMT_X8R8G8B8 || m.format() == D3DFMT_A8R8G8B8);
    for (size_t y = 0; y < h; ++y) {
        uint32_t* row = &out[y * w];
        if (plain) {
            std::memcpy(row, m.bits() + (size_t(r.top) + y) * m.pitch() + size_t(r.left) * 4, w * 4);
            continue;
        }
        for (size_t x = 0; x < w; ++x)
            row[x] =
                m.resolved_argb(static_cast<UINT>(size_t(r.left) + x), static_cast<UINT>(size_t(r.top) + y));
    }
}

// What a clear writes into each pixel, found by writing one pixel over all-zero and all-one bits: the bits
// it sets (value) and the bits it leaves as they were (keep).
struct PixelFill {
    UINT bytes = 0;
    uint64_t value = 0, keep = 0;
};

template <class Write> PixelFill probe_fill(UINT bytes, const Write& write) {
    uint8_t zeros[8] = {}, ones[8];
    std::memset(ones, 0xff, sizeof ones);
    write(zeros);
    write(ones);
    PixelFill f;
    f.bytes = std::min<UINT>(bytes, 8);
    uint64_t z = 0, o = 0;
    std::memcpy(&z, zeros, f.bytes);
    std::memcpy(&o, ones, f.bytes);
    f.value = z;
    f.keep = ~z & o;
    return f;
}

template <class T> void fill_row(uint8_t* row, UINT x0, UINT x1, const PixelFill& f) {
    T* p = reinterpret_cast<T*>(row) + x0;
    const T value = static_cast<T>(f.value), keep = static_cast<T>(f.keep);
    if (keep == 0) {
        std::fill_n(p, x1 - x0, value);
        return;
    }
    for (UINT i = 0; i < x1 - x0; ++i)
        p[i] = static_cast<T>((p[i] & keep) | value);
}

// Columns x0..x1 and rows y0..y1 (end exclusive) of m's storage take f, a whole row at a time.
void fill_pixels(SurfaceMemory& m, UINT x0, UINT x1, UINT y0, UINT y1, const PixelFill& f) {
    for (UINT y = y0; y < y1; ++y) {
        uint8_t* row = m.bits() + size_t{y} * m.pitch();
        switch (f.bytes) {
        case 1:
            fill_row<uint8_t>(row, x0, x1, f);
            break;
        case 2:
            fill_row<uint16_t>(row, x0, x1, f);
            break;
        case 4:
            fill_row<uint32_t>(row, x0, x1, f);
            break;
        default:
            for (UINT x = x0; x < x1; ++x)
                for (UINT b = 0; b < f.bytes; ++b) {
                    uint8_t& byte = row[size_t{x} * f.bytes + b];
                    byte = static_cast<uint8_t>((byte & (f.keep >> (8 * b))) | (f.value >> (8 * b)));
                }
        }
    }
}

// Blends two XRGB colours, t in 0..256, red and blue at once and green apart.
uint32_t lerp_colour(uint32_t a, uint32_t b, uint32_t t) {
    const uint32_t rb = (((a & 0xff00ffu) * (256 - t) + (b & 0xff00ffu) * t) >> 8) & 0xff00ffu;
    const uint32_t g = (((a & 0xff00u) * (256 - t) + (b & 0xff00u) * t) >> 8) & 0xff00u;
    return rb | g;
}

// Where destination pixel i of n samples a source of `size` pixels: the two neighbours and the weight of
// the second (0..256), pixel centres mapped onto pixel centres.
struct Tap {
    int first;
    int second;
    uint32_t weight;
};

Tap tap(LONG i, LONG n, int size) {
    const int64_t fixed = ((2 * int64_t(i) + 1) * size * 65536) / (2 * int64_t(n)) - 32768;
    const int64_t clamped = std::clamp<int64_t>(fixed, 0, int64_t(size - 1) * 65536);
    const int first = static_cast<int>(clamped >> 16);
    return {first, std::min(first + 1, size - 1), static_cast<uint32_t>((clamped & 0xffff) >> 8)};
}

// Stretches `img` (w x h) bilinearly into the rectangle `dest` of the window's client area.
void stretch_into(const std::vector<uint32_t>& img, int w, int h, const RECT& dest, const WindowSurface& t) {
    const RECT client{0, 0, t.width, t.height};
    const RECT visible =
        intersect(intersect(dest, client), RECT{-t.x, -t.y, t.surface_width - t.x, t.surface_height - t.y});
    if (empty(visible)) return;
    const LONG dw = dest.right - dest.left, dh = dest.bottom - dest.top;
    if (dw == w && dh == h) {
        // Pixel for pixel the stretch's weights are all zero: each pixel is copied, its alpha dropped.
        for (LONG y = visible.top; y < visible.bottom; ++y) {
            auto* out = reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(t.pixels) +
                                                    size_t(y + t.y) * size_t(t.pitch)) +
                        (visible.left + t.x);
            const uint32_t* in = &img[size_t(y - dest.top) * size_t(w) + size_t(visible.left - dest.left)];
            for (LONG x = 0; x < visible.right - visible.left; ++x)
                out[x] = in[x] & 0xffffffu;
        }
        return;
    }
    std::vector<Tap> columns;
    columns.reserve(size_t(visible.right - visible.left));
    for (LONG x = visible.left; x < visible.right; ++x)
        columns.push_back(tap(x - dest.left, dw, w));
    for (LONG y = visible.top; y < visible.bottom; ++y) {
        auto* out = reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(t.pixels) +
                                                size_t(y + t.y) * size_t(t.pitch)) +
                    (visible.left + t.x);
        const Tap row = tap(y - dest.top, dh, h);
        const uint32_t* upper = &img[size_t(row.first) * size_t(w)];
        const uint32_t* lower = &img[size_t(row.second) * size_t(w)];
        for (const Tap& c : columns)
            *out++ = lerp_colour(lerp_colour(upper[c.first], upper[c.second], c.weight),
                                 lerp_colour(lower[c.first], lower[c.second], c.weight), row.weight);
    }
}

} // namespace

HRESULT SoftDevice::BeginScene() {
    count(DeviceCall::BeginScene);
    if (in_scene_) return D3DERR_INVALIDCALL;
    in_scene_ = true;
    return D3D_OK;
}

HRESULT SoftDevice::EndScene() {
    count(DeviceCall::EndScene);
    if (!in_scene_) return D3DERR_INVALIDCALL;
    in_scene_ = false;
    return D3D_OK;
}

HRESULT SoftDevice::Clear(DWORD count_rects, const D3DRECT* rects, DWORD flags, D3DCOLOR colour, float z,
                          DWORD stencil) {
    count(DeviceCall::Clear);
    if ((count_rects > 0 && !rects) || flags == 0 || (flags & ~DWORD{7})) return D3DERR_INVALIDCALL;
    if ((flags & D3DCLEAR_TARGET) && !render_target_) return D3DERR_INVALIDCALL;
    if ((flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) && !depth_target_) return D3DERR_INVALIDCALL;
    if ((flags & D3DCLEAR_STENCIL) && format_info(depth_target_->memory().format())->stencil_bits == 0)
        return D3DERR_INVALIDCALL;
    if ((flags & D3DCLEAR_ZBUFFER) && !(z >= 0.f && z <= 1.f)) return D3DERR_INVALIDCALL;
    const D3DVIEWPORT8& v = state_.viewport;
    const RECT view{static_cast<LONG>(v.X), static_cast<LONG>(v.Y), static_cast<LONG>(v.X + v.Width),
                    static_cast<LONG>(v.Y + v.Height)};
    if (count_rects == 0) {
        clear_rect(view, flags, colour, z, stencil);
        return D3D_OK;
    }
    for (DWORD i = 0; i < count_rects; ++i) {
        const RECT r = intersect(view, RECT{rects[i].x1, rects[i].y1, rects[i].x2, rects[i].y2});
        if (!empty(r)) clear_rect(r, flags, colour, z, stencil);
    }
    return D3D_OK;
}

// Fills a rectangle of the targets, every sample of each pixel; the rectangle lies inside the viewport.
void SoftDevice::clear_rect(const RECT& rect, DWORD flags, D3DCOLOR colour, float z, DWORD stencil) {
    const auto fill = [&](SurfaceMemory& m, const auto& write) {
        const RECT r = intersect(rect, whole(m));
        if (empty(r)) return;
        m.touch();
        const UINT across = m.samples_across(), down = m.samples_down();
        fill_pixels(m, static_cast<UINT>(r.left) * across, static_cast<UINT>(r.right) * across,
                    static_cast<UINT>(r.top) * down, static_cast<UINT>(r.bottom) * down,
                    probe_fill(format_info(m.format())->bytes, write));
    };
    if (flags & D3DCLEAR_TARGET)
        fill(render_target_->memory(),
             [&](uint8_t* p) { argb_to_pixel(render_target_->memory().format(), colour, p); });
    // Depth and stencil share their words: one pass writes both.
    SurfaceMemory* depth = depth_target_ ? &depth_target_->memory() : nullptr;
    if (flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL))
        fill(*depth, [&](uint8_t* p) {
            if (flags & D3DCLEAR_ZBUFFER) set_depth(depth->format(), p, z);
            if (flags & D3DCLEAR_STENCIL) set_stencil(depth->format(), p, stencil);
        });
}

HRESULT SoftDevice::Present(const RECT* source, const RECT* dest, HWND window, const RGNDATA*) {
    count(DeviceCall::Present);
    if (desktop_changed()) lost_ = true;
    if (lost_ || !swap_chain_ok_) return D3DERR_DEVICELOST;
    const SurfaceMemory& back = back_buffers_.front()->memory();
    if (source && empty(*source)) return D3DERR_INVALIDCALL;
    const RECT clipped = intersect(source ? *source : whole(back), whole(back));
    const RECT src = empty(clipped) ? RECT{0, 0, 0, 0} : clipped;
    if (dest && empty(*dest)) return D3DERR_INVALIDCALL;
    if (!window) window = pp_.hDeviceWindow ? pp_.hDeviceWindow : creation_.hFocusWindow;
    resolve_region(back, src, front_);
    front_width_ = static_cast<UINT>(src.right - src.left);
    front_height_ = static_cast<UINT>(src.bottom - src.top);
    const WindowSurface target = WindowSurface::open(window);
    if (!target || empty(src)) return D3D_OK; // nothing to show into
    const RECT to = dest ? *dest : RECT{0, 0, target.width, target.height};
    stretch_into(front_, static_cast<int>(front_width_), static_cast<int>(front_height_), to, target);
    target.present();
    return D3D_OK;
}

HRESULT SoftDevice::GetFrontBuffer(IDirect3DSurface8* dest) {
    count(DeviceCall::GetFrontBuffer);
    SoftSurface* surface = dest ? soft_surface(dest) : nullptr;
    if (!owns(surface)) return D3DERR_INVALIDCALL;
    SurfaceMemory& m = surface->memory();
    const D3DDISPLAYMODE desktop = desktop_mode();
    if (m.format() != D3DFMT_A8R8G8B8 || m.width() != desktop.Width || m.height() != desktop.Height ||
        m.locked())
        return D3DERR_INVALIDCALL;
    m.touch();
    // The desktop shows the last presented region at its top-left corner, black around it.
    for (UINT y = 0; y < m.height(); ++y) {
        auto* row = reinterpret_cast<uint32_t*>(m.bits() + size_t{y} * m.pitch());
        for (UINT x = 0; x < m.width(); ++x)
            row[x] = x < front_width_ && y < front_height_
                         ? front_[size_t{y} * front_width_ + x] | 0xff000000u
                         : 0xff000000u;
    }
    return D3D_OK;
}

} // namespace qcore::detail::soft
