#include <qcore/platform/d3d8/soft/device.h>
#include <qcore/platform/d3d8/soft/formats.h>
#include <qcore/platform/d3d8/soft/window_link.h>

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

std::vector<uint32_t> resolve_region(const SurfaceMemory& m, const RECT& r) {
    std::vector<uint32_t> out;
    out.reserve(size_t(r.right - r.left) * size_t(r.bottom - r.top));
    for (LONG y = r.top; y < r.bottom; ++y)
        for (LONG x = r.left; x < r.right; ++x)
            out.push_back(m.resolved_argb(static_cast<UINT>(x), static_cast<UINT>(y)));
    return out;
}

uint32_t lerp_colour(uint32_t a, uint32_t b, float t) {
    uint32_t out = 0;
    for (int k = 0; k < 32; k += 8) {
        const float ca = static_cast<float>((a >> k) & 0xff), cb = static_cast<float>((b >> k) & 0xff);
        out |= static_cast<uint32_t>(std::lround(ca + (cb - ca) * t)) << k;
    }
    return out;
}

// Bilinear sample of a w x h image at continuous pixel coordinates (pixel centres at +0.5).
uint32_t sample_bilinear(const std::vector<uint32_t>& img, int w, int h, float u, float v) {
    const float fx = std::clamp(u - 0.5f, 0.f, static_cast<float>(w - 1));
    const float fy = std::clamp(v - 0.5f, 0.f, static_cast<float>(h - 1));
    const int x0 = static_cast<int>(fx), y0 = static_cast<int>(fy);
    const int x1 = std::min(x0 + 1, w - 1), y1 = std::min(y0 + 1, h - 1);
    const float tx = fx - static_cast<float>(x0), ty = fy - static_cast<float>(y0);
    const auto at = [&](int x, int y) { return img[size_t(y) * size_t(w) + size_t(x)]; };
    return lerp_colour(lerp_colour(at(x0, y0), at(x1, y0), tx), lerp_colour(at(x0, y1), at(x1, y1), tx), ty);
}

// Stretches `img` (w x h) into the rectangle `dest` of the window's client area.
void stretch_into(const std::vector<uint32_t>& img, int w, int h, const RECT& dest, const WindowTarget& t) {
    const RECT client{0, 0, t.width, t.height};
    const RECT visible =
        intersect(intersect(dest, client), RECT{-t.x, -t.y, t.surface_width - t.x, t.surface_height - t.y});
    if (empty(visible)) return;
    const float sx = static_cast<float>(w) / static_cast<float>(dest.right - dest.left);
    const float sy = static_cast<float>(h) / static_cast<float>(dest.bottom - dest.top);
    for (LONG y = visible.top; y < visible.bottom; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(t.pixels) +
                                                size_t(y + t.y) * size_t(t.pitch));
        const float v = (static_cast<float>(y - dest.top) + 0.5f) * sy;
        for (LONG x = visible.left; x < visible.right; ++x) {
            const float u = (static_cast<float>(x - dest.left) + 0.5f) * sx;
            row[x + t.x] = sample_bilinear(img, w, h, u, v) & 0x00ffffffu;
        }
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
        m.touch();
        const UINT bytes = format_info(m.format())->bytes;
        for (UINT y = static_cast<UINT>(r.top) * m.samples_down();
             y < static_cast<UINT>(r.bottom) * m.samples_down(); ++y) {
            uint8_t* row = m.bits() + size_t{y} * m.pitch();
            for (UINT x = static_cast<UINT>(r.left) * m.samples_across();
                 x < static_cast<UINT>(r.right) * m.samples_across(); ++x)
                write(m.format(), row + size_t{x} * bytes);
        }
    };
    if (flags & D3DCLEAR_TARGET)
        fill(render_target_->memory(), [&](D3DFORMAT f, uint8_t* p) { argb_to_pixel(f, colour, p); });
    if (flags & D3DCLEAR_ZBUFFER)
        fill(depth_target_->memory(), [&](D3DFORMAT f, uint8_t* p) { set_depth(f, p, z); });
    if (flags & D3DCLEAR_STENCIL)
        fill(depth_target_->memory(), [&](D3DFORMAT f, uint8_t* p) { set_stencil(f, p, stencil); });
}

HRESULT SoftDevice::Present(const RECT* source, const RECT* dest, HWND window, const RGNDATA*) {
    count(DeviceCall::Present);
    if (desktop_changed()) lost_ = true;
    if (lost_ || !swap_chain_ok_) return D3DERR_DEVICELOST;
    const SurfaceMemory& back = back_buffers_.front()->memory();
    if (source && empty(*source)) return D3DERR_INVALIDCALL;
    const RECT src = intersect(source ? *source : whole(back), whole(back));
    if (dest && empty(*dest)) return D3DERR_INVALIDCALL;
    if (!window) window = pp_.hDeviceWindow ? pp_.hDeviceWindow : creation_.hFocusWindow;
    front_ = resolve_region(back, whole(back));
    front_width_ = back.width();
    front_height_ = back.height();
    const WindowTarget target = open_window_target(window);
    if (!target.pixels || empty(src)) return D3D_OK; // nothing to show into
    const RECT to = dest ? *dest : RECT{0, 0, target.width, target.height};
    const int w = src.right - src.left, h = src.bottom - src.top;
    std::vector<uint32_t> region(size_t(w) * size_t(h));
    for (int y = 0; y < h; ++y)
        std::memcpy(&region[size_t(y) * size_t(w)],
                    &front_[size_t(src.top + y) * front_width_ + size_t(src.left)], size_t(w) * 4);
    stretch_into(region, w, h, to, target);
    show_window_target(target);
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
    // The desktop shows the last presented frame at its top-left corner, black around it.
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
