#include <qcore/core/core.h>
#include <qcore/image/bands_ahead.h>
#include <qcore/image/image_save.h>
#include <qcore/image/imgfun.h>
#include <qcore/image/surfacefun.h>
#include <qcore/platform/d3d8/d3dx/d3dx8tex.h>
#include <qcore/platform/win32/com_ref.h>
#include <qcore/platform/win32/message_box.h>

#include <algorithm>
#include <vector>

namespace {

bool is_32bit(D3DFORMAT format) {
    return format == D3DFMT_A8R8G8B8 || format == D3DFMT_X8R8G8B8;
}

bool describe(IDirect3DSurface8* sur, D3DSURFACE_DESC& desc) {
    return sur && SUCCEEDED(sur->GetDesc(&desc));
}

bool inside(const CRect& r, UINT w, UINT h) {
    return r.left >= 0 && r.top >= 0 && r.left < r.right && r.top < r.bottom &&
           r.right <= static_cast<LONG>(w) && r.bottom <= static_cast<LONG>(h);
}

// The rectangle to use of a w x h surface: an empty one means all of it (a reversed one is refused); false
// when it does not lie inside.
bool resolve_rect(const RECT& in, UINT w, UINT h, CRect& out) {
    out = in;
    if (out.IsRectEmpty() && out.left <= out.right && out.top <= out.bottom) out.SetRect(0, 0, w, h);
    return inside(out, w, h);
}

// Locks a 32-bit exportable surface and hands its rectangle's rows to `use`; false (after the message)
// when the surface is not 32-bit or cannot be locked.
template <class Use>
bool with_rows(const exportable_sur32& sur, DWORD flags, const char* format_message, Use use) {
    D3DSURFACE_DESC desc{};
    if (!describe(sur.surface, desc)) return false;
    if (!is_32bit(desc.Format)) {
        AfxMessageBox(format_message);
        return false;
    }
    CRect r;
    if (!resolve_rect(sur.rect, desc.Width, desc.Height, r)) return false;
    D3DLOCKED_RECT locked{};
    const HRESULT hr = sur.surface->LockRect(&locked, &r, flags);
    if (FAILED(hr)) {
        MsgErr(hr, "err lockrect");
        return false;
    }
    const qcore::detail::PixelRows rows{static_cast<const uint8_t*>(locked.pBits), locked.Pitch, r.Width(),
                                        r.Height()};
    use(rows);
    sur.surface->UnlockRect();
    return true;
}

} // namespace

exportable_sur32::exportable_sur32(IDirect3DSurface8* s, const RECT& r) : surface(s), rect(r) {
    if (surface) surface->AddRef();
}

exportable_sur32& exportable_sur32::operator=(const exportable_sur32& o) {
    if (this == &o) return *this;
    if (o.surface) o.surface->AddRef();
    reset();
    surface = o.surface;
    rect = o.rect;
    return *this;
}

void exportable_sur32::reset() {
    if (surface) surface->Release();
    surface = nullptr;
    rect = RECT{0, 0, 0, 0};
}

namespace {

// The render target and the rectangle of it to capture (a null one: all of it); empty after the message
// when the target cannot be had or the rectangle does not lie inside it.
qcore::ComRef<IDirect3DSurface8> capture_source(IDirect3DDevice8* dev, const CRect& rect, CRect& r,
                                                D3DFORMAT& format) {
    qcore::ComRef<IDirect3DSurface8> target;
    if (!dev) return target;
    const HRESULT hr = dev->GetRenderTarget(target.out());
    if (FAILED(hr) || !target) {
        MsgErr(FAILED(hr) ? hr : E_FAIL, "Err GetRenderTarget()");
        return {};
    }
    D3DSURFACE_DESC desc{};
    if (!describe(target.get(), desc)) return {};
    r = rect.IsRectNull() ? CRect(0, 0, desc.Width, desc.Height) : rect;
    if (!inside(r, desc.Width, desc.Height)) {
        AfxMessageBox("Err capture rectangle");
        return {};
    }
    format = desc.Format;
    return target;
}

// Copies of the render target are taken this many bytes at a time, so that a band stays in the cache
// between its copy and its compression and a large frame never needs a whole copy of itself.
constexpr UINT kBandBytes = 256 * 1024;

// Saves a rectangle of a 32-bit render target as a JPEG file, band by band: a second thread copies the next
// band out of the device while this one compresses the last. Only that thread calls the device meanwhile.
int stream_target_to_jpg(IDirect3DDevice8* dev, IDirect3DSurface8* target, const CRect& r, D3DFORMAT format,
                         const char* file) {
    const UINT width = static_cast<UINT>(r.Width());
    const UINT band_rows = std::clamp<UINT>(kBandBytes / (width * 4), 1, static_cast<UINT>(r.Height()));
    qcore::ComRef<IDirect3DSurface8> band[2];
    for (auto& b : band)
        if (FAILED(dev->CreateImageSurface(width, band_rows, format, b.out()))) {
            AfxMessageBox("Err create Clone surface");
            return 0;
        }
    bool locked[2] = {false, false};
    enum class Failed { no, copy, lock } failed = Failed::no;
    HRESULT lock_result = D3D_OK;
    const auto unlock = [&](int slot) {
        if (locked[slot]) band[slot]->UnlockRect();
        locked[slot] = false;
    };
    const auto fill = [&](int index, int slot, qcore::detail::PixelRows& rows) {
        unlock(slot);
        const LONG first_row = index * static_cast<LONG>(band_rows);
        const LONG count = std::min<LONG>(static_cast<LONG>(band_rows), r.Height() - first_row);
        const RECT from{r.left, r.top + first_row, r.right, r.top + first_row + count};
        const POINT origin{0, 0};
        if (FAILED(dev->CopyRects(target, &from, 1, band[slot].get(), &origin))) {
            failed = Failed::copy;
            return false;
        }
        const RECT part{0, 0, static_cast<LONG>(width), count};
        D3DLOCKED_RECT bits{};
        lock_result = band[slot]->LockRect(&bits, &part, D3DLOCK_READONLY | D3DLOCK_NOSYSLOCK);
        if (FAILED(lock_result)) {
            failed = Failed::lock;
            return false;
        }
        locked[slot] = true;
        rows = {static_cast<const uint8_t*>(bits.pBits), bits.Pitch, static_cast<int>(width),
                static_cast<int>(count)};
        return true;
    };
    int saved = 0;
    {
        qcore::detail::BandsAhead bands(r.Height(), static_cast<int>(band_rows), fill, [&] {
            unlock(0);
            unlock(1);
        });
        saved = qcore::detail::write_jpeg_file(
            file, static_cast<int>(width), r.Height(), 4,
            [&bands](int first_row, qcore::detail::PixelRows& rows) { return bands.next(first_row, rows); },
            true, 98);
    }
    // The copying thread has ended: its failure is known and reported here.
    if (failed == Failed::copy) AfxMessageBox("err Clone surface");
    if (failed == Failed::lock) MsgErr(lock_result, "err lockrect");
    if (!saved && failed == Failed::no) AfxMessageBox("Save jpeg Error!");
    return saved;
}

} // namespace

int surfacefun::save_render_target_to_file(IDirect3DDevice8* dev, const CRect& rect, const CSize& size,
                                           const char* file) {
    if (imgfun::get_img_file_type(file) == IMG_FILE_JPG) {
        // Unscaled 32-bit captures need no whole copy of the frame.
        CRect r;
        D3DFORMAT format = D3DFMT_UNKNOWN;
        const qcore::ComRef<IDirect3DSurface8> target = capture_source(dev, rect, r, format);
        if (!target) return 0;
        if (is_32bit(format) && ((size.cx == 0 && size.cy == 0) || size == r.Size()))
            return stream_target_to_jpg(dev, target.get(), r, format, file);
    }
    CMyComPtr<IDirect3DSurface8> sur = create_sur_and_copy_from_render_target(dev, rect);
    if (!sur) return 0;
    return save_surface_to_file(dev, sur, CRect(0, 0, 0, 0), size, file);
}

CMyComPtr<IDirect3DSurface8> surfacefun::create_sur_and_copy_from_render_target(IDirect3DDevice8* dev,
                                                                                const CRect& rect) {
    CRect r;
    D3DFORMAT format = D3DFMT_UNKNOWN;
    const qcore::ComRef<IDirect3DSurface8> target = capture_source(dev, rect, r, format);
    if (!target) return {};
    qcore::ComRef<IDirect3DSurface8> copy;
    HRESULT hr = dev->CreateImageSurface(r.Width(), r.Height(), format, copy.out());
    if (FAILED(hr)) {
        AfxMessageBox("Err create Clone surface");
        return {};
    }
    const POINT origin{0, 0};
    hr = dev->CopyRects(target.get(), &r, 1, copy.get(), &origin);
    if (FAILED(hr)) {
        AfxMessageBox("err Clone surface");
        return {};
    }
    CMyComPtr<IDirect3DSurface8> result;
    result.attach(copy.detach());
    return result;
}

int surfacefun::save_surface_to_file(IDirect3DDevice8* dev, IDirect3DSurface8* sur, const CRect& rect,
                                     const CSize& size, const char* file) {
    const IMG_FILE_TYPE type = imgfun::get_img_file_type(file);
    if (type != IMG_FILE_BMP && type != IMG_FILE_JPG) {
        const CString name = file ? file : "";
        const int slash = std::max(name.ReverseFind('\\'), name.ReverseFind('/'));
        AfxMessageBox(CString("不支持导出该格式：") + name.Mid(slash + 1));
        return 0;
    }
    const exportable_sur32 sur32 = convert_to_exportable_sur32(dev, sur, rect, size);
    if (!sur32.is_valid()) return 0;
    return type == IMG_FILE_JPG ? save_sur32_to_jpg(sur32, file) : save_sur32_to_bmp(sur32, file);
}

IDirect3DSurface8* surfacefun::scal_sur_with_same_fmt(IDirect3DDevice8* dev, IDirect3DSurface8* sur, UINT w,
                                                      UINT h) {
    D3DSURFACE_DESC desc{};
    if (!dev || !describe(sur, desc)) return nullptr;
    qcore::ComRef<IDirect3DSurface8> scaled;
    HRESULT hr = dev->CreateImageSurface(w, h, desc.Format, scaled.out());
    if (FAILED(hr)) {
        CheckResult(hr, "Err Create Image Surface!");
        return nullptr;
    }
    hr = D3DXLoadSurfaceFromSurface(scaled.get(), nullptr, nullptr, sur, nullptr, nullptr, D3DX_DEFAULT, 0);
    if (FAILED(hr)) {
        MsgErr(hr, "Err LoadSurfaceFromSurface");
        return nullptr;
    }
    return scaled.detach();
}

exportable_sur32 surfacefun::convert_to_exportable_sur32(IDirect3DDevice8* dev, IDirect3DSurface8* sur,
                                                         const CRect& rect, const CSize& size) {
    D3DSURFACE_DESC desc{};
    if (!describe(sur, desc)) return {};
    CRect r;
    if (!resolve_rect(rect, desc.Width, desc.Height, r) || size.cx < 0 || size.cy < 0) return {};
    const CSize want = size.cx == 0 && size.cy == 0 ? r.Size() : size;
    if (want.cx == 0 || want.cy == 0) return {};
    if (is_32bit(desc.Format) && want == r.Size()) return exportable_sur32(sur, r);
    if (!dev) return {};
    qcore::ComRef<IDirect3DSurface8> converted;
    HRESULT hr = dev->CreateImageSurface(want.cx, want.cy, D3DFMT_A8R8G8B8, converted.out());
    if (FAILED(hr)) {
        CheckResult(hr, "Err Create Image Surface!");
        return {};
    }
    hr = D3DXLoadSurfaceFromSurface(converted.get(), nullptr, nullptr, sur, nullptr, &r, D3DX_DEFAULT, 0);
    if (FAILED(hr)) {
        MsgErr(hr, "Err LoadSurfaceFromSurface");
        return {};
    }
    return exportable_sur32(converted.get(), RECT{0, 0, 0, 0});
}

int surfacefun::save_sur32_to_bmp(const exportable_sur32& sur, const char* file) {
    int saved = 0;
    with_rows(
        sur, 0, "surface format is NOT 32bit, can't save as bitmap!",
        [&](const qcore::detail::PixelRows& rows) { saved = qcore::detail::write_bmp24_file(file, rows); });
    return saved;
}

int surfacefun::save_sur32_to_jpg(const exportable_sur32& sur, const char* file) {
    int saved = 0;
    if (!with_rows(sur, D3DLOCK_READONLY | D3DLOCK_NOSYSLOCK,
                   "surface format is NOT 32bit, can't save as jpg!",
                   [&](const qcore::detail::PixelRows& rows) {
                       saved = qcore::detail::write_jpeg_file(file, rows, true, 98);
                   }))
        return 0;
    if (!saved) AfxMessageBox("Save jpeg Error!");
    return saved;
}
