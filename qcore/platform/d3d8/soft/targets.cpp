#include <qcore/platform/d3d8/soft/device.h>
#include <qcore/platform/d3d8/soft/formats.h>

#include <cstring>
#include <functional>

namespace qcore::detail::soft {
namespace {

bool has_usage(SoftSurface* s, DWORD usage) {
    return (s->memory().spec().usage & usage) != 0;
}

// A copy rectangle must lie inside both surfaces and, on block formats, cover whole blocks.
bool valid_copy(const RECT& r, const POINT& to, const SurfaceMemory& src, const SurfaceMemory& dst) {
    if (r.left < 0 || r.top < 0 || r.left >= r.right || r.top >= r.bottom || to.x < 0 || to.y < 0)
        return false;
    const auto w = static_cast<UINT>(r.right - r.left), h = static_cast<UINT>(r.bottom - r.top);
    if (static_cast<UINT>(r.right) > src.width() || static_cast<UINT>(r.bottom) > src.height()) return false;
    if (uint64_t(to.x) + w > dst.width() || uint64_t(to.y) + h > dst.height()) return false;
    if (!is_compressed(src.format())) return true;
    const auto whole = [](UINT start, UINT size, UINT limit) {
        return start % 4 == 0 && (size % 4 == 0 || start + size == limit);
    };
    return whole(static_cast<UINT>(r.left), w, src.width()) &&
           whole(static_cast<UINT>(r.top), h, src.height()) && to.x % 4 == 0 && to.y % 4 == 0;
}

// A multisampled source is resolved: each destination pixel takes the average of its samples.
void resolve_rect(const SurfaceMemory& src, const RECT& r, SurfaceMemory& dst, const POINT& to) {
    const UINT bytes = format_info(dst.format())->bytes;
    for (LONG y = r.top; y < r.bottom; ++y)
        for (LONG x = r.left; x < r.right; ++x)
            argb_to_pixel(dst.format(), src.resolved_argb(static_cast<UINT>(x), static_cast<UINT>(y)),
                          dst.bits() + size_t(to.y + y - r.top) * dst.pitch() +
                              size_t(to.x + x - r.left) * bytes);
}

void copy_rect(const SurfaceMemory& src, const RECT& r, SurfaceMemory& dst, const POINT& to) {
    dst.touch();
    if (src.spec().multisample != D3DMULTISAMPLE_NONE) return resolve_rect(src, r, dst, to);
    const UINT block = is_compressed(src.format()) ? 4 : 1;
    const UINT bytes = format_info(src.format())->bytes;
    const size_t row_bytes = size_t{(static_cast<UINT>(r.right - r.left) + block - 1) / block} * bytes;
    const UINT rows = (static_cast<UINT>(r.bottom - r.top) + block - 1) / block;
    const uint8_t* from = src.bits() + size_t{static_cast<UINT>(r.top) / block} * src.pitch() +
                          size_t{static_cast<UINT>(r.left) / block} * bytes;
    uint8_t* into = dst.bits() + size_t{static_cast<UINT>(to.y) / block} * dst.pitch() +
                    size_t{static_cast<UINT>(to.x) / block} * bytes;
    // The source and destination may be one surface: rows moving down are copied from the bottom up, so
    // that no row is overwritten before it is read, and each row moves as overlapping memory.
    const bool bottom_up = std::greater<>()(into, from);
    for (UINT i = 0; i < rows; ++i) {
        const size_t y = bottom_up ? rows - 1 - i : i;
        std::memmove(into + y * dst.pitch(), from + y * src.pitch(), row_bytes);
    }
}

} // namespace

HRESULT SoftDevice::SetRenderTarget(IDirect3DSurface8* target, IDirect3DSurface8* depth) {
    count(DeviceCall::SetRenderTarget);
    SoftSurface* colour = target ? soft_surface(target) : render_target_;
    SoftSurface* z = depth ? soft_surface(depth) : nullptr;
    if (!owns(colour) || !has_usage(colour, D3DUSAGE_RENDERTARGET)) return D3DERR_INVALIDCALL;
    if (depth) {
        if (!owns(z) || !has_usage(z, D3DUSAGE_DEPTHSTENCIL)) return D3DERR_INVALIDCALL;
        const auto &c = colour->memory(), &d = z->memory();
        if (d.width() < c.width() || d.height() < c.height() || d.spec().multisample != c.spec().multisample)
            return D3DERR_INVALIDCALL;
    }
    rebind(render_target_, colour);
    rebind(depth_target_, z);
    full_viewport();
    return D3D_OK;
}

HRESULT SoftDevice::GetRenderTarget(IDirect3DSurface8** target) {
    count(DeviceCall::GetRenderTarget);
    if (!target) return D3DERR_INVALIDCALL;
    *target = render_target_;
    if (!*target) return D3DERR_NOTFOUND;
    (*target)->AddRef();
    return D3D_OK;
}

HRESULT SoftDevice::GetDepthStencilSurface(IDirect3DSurface8** depth) {
    count(DeviceCall::GetDepthStencilSurface);
    if (!depth) return D3DERR_INVALIDCALL;
    *depth = depth_target_;
    if (!*depth) return D3DERR_NOTFOUND;
    (*depth)->AddRef();
    return D3D_OK;
}

HRESULT SoftDevice::CopyRects(IDirect3DSurface8* source, const RECT* rects, UINT count_rects,
                              IDirect3DSurface8* dest, const POINT* points) {
    count(DeviceCall::CopyRects);
    SoftSurface* from = source ? soft_surface(source) : nullptr;
    SoftSurface* to = dest ? soft_surface(dest) : nullptr;
    if (!owns(from) || !owns(to) || (rects && count_rects == 0)) return D3DERR_INVALIDCALL;
    const SurfaceMemory& src = from->memory();
    SurfaceMemory& dst = to->memory();
    if (src.format() != dst.format() || is_depth(src.format()) || src.locked() || dst.locked())
        return D3DERR_INVALIDCALL;
    if (dst.spec().multisample != D3DMULTISAMPLE_NONE) return D3DERR_INVALIDCALL;
    const RECT all{0, 0, static_cast<LONG>(src.width()), static_cast<LONG>(src.height())};
    const UINT n = rects ? count_rects : 1;
    for (UINT i = 0; i < n; ++i) { // check every rectangle before copying any
        const RECT& r = rects ? rects[i] : all;
        if (!valid_copy(r, points ? points[i] : POINT{r.left, r.top}, src, dst)) return D3DERR_INVALIDCALL;
    }
    for (UINT i = 0; i < n; ++i) {
        const RECT& r = rects ? rects[i] : all;
        copy_rect(src, r, dst, points ? points[i] : POINT{r.left, r.top});
    }
    return D3D_OK;
}

HRESULT SoftDevice::UpdateTexture(IDirect3DBaseTexture8* source, IDirect3DBaseTexture8* dest) {
    count(DeviceCall::UpdateTexture);
    SoftTexture* from = source ? soft_texture(source) : nullptr;
    SoftTexture* to = dest ? soft_texture(dest) : nullptr;
    if (!from || !to || &from->device() != this || &to->device() != this) return D3DERR_INVALIDCALL;
    if (from->pool() != D3DPOOL_SYSTEMMEM || to->pool() != D3DPOOL_DEFAULT || from->format() != to->format())
        return D3DERR_INVALIDCALL;
    if (to->GetLevelCount() > from->GetLevelCount()) return D3DERR_INVALIDCALL;
    const auto &a = from->level(0)->memory(), &b = to->level(0)->memory();
    if (a.width() != b.width() || a.height() != b.height()) return D3DERR_INVALIDCALL;
    for (UINT i = 0; i < to->GetLevelCount(); ++i) {
        const SurfaceMemory& src = from->level(i)->memory();
        copy_rect(src, RECT{0, 0, static_cast<LONG>(src.width()), static_cast<LONG>(src.height())},
                  to->level(i)->memory(), POINT{0, 0});
    }
    return D3D_OK;
}

} // namespace qcore::detail::soft
