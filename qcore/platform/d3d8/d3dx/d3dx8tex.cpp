#include <qcore/platform/d3d8/d3dx/d3dx8tex.h>
#include <qcore/platform/d3d8/d3dx/image_codec.h>
#include <qcore/platform/d3d8/d3dx/image_filter.h>
#include <qcore/platform/win32/com_ref.h>

#include <algorithm>
#include <cstring>
#include <string>

using qcore::ComRef;
using qcore::detail::ArgbImage;
using qcore::detail::DecodedImage;
using qcore::detail::DecodeOptions;

namespace {

// The file layer's rule: Windows separators become '/' before the operating system sees a path.
std::string native_path(LPCSTR path) {
    std::string p(path);
    std::replace(p.begin(), p.end(), '\\', '/');
    return p;
}

HRESULT load_file(LPCSTR path, std::vector<uint8_t>& bytes) {
    if (!path) return D3DERR_INVALIDCALL;
    return qcore::detail::read_whole_file(native_path(path).c_str(), bytes) ? S_OK : D3DXERR_INVALIDDATA;
}

void fill_info(const qcore::detail::ImageFileInfo& from, D3DXIMAGE_INFO* to) {
    if (!to) return;
    to->Width = from.width;
    to->Height = from.height;
    to->Depth = from.depth;
    to->MipLevels = from.mip_levels;
    to->Format = from.format;
    to->ResourceType = static_cast<D3DRESOURCETYPE>(from.resource_type);
    to->ImageFileFormat = from.file_format;
}

bool has_alpha(D3DFORMAT f) {
    return qcore::detail::pixel_format_info(f).has_alpha;
}

uint32_t full_chain(uint32_t w, uint32_t h) {
    uint32_t levels = 1;
    while (w > 1 || h > 1)
        w = std::max(1u, w / 2), h = std::max(1u, h / 2), ++levels;
    return levels;
}

class SurfaceLock {
public:
    SurfaceLock(IDirect3DSurface8* s, const RECT* rect, DWORD flags) : s_(s) {
        hr_ = s->LockRect(&lr_, rect, flags);
    }
    ~SurfaceLock() {
        if (SUCCEEDED(hr_)) s_->UnlockRect();
    }
    SurfaceLock(const SurfaceLock&) = delete;
    SurfaceLock& operator=(const SurfaceLock&) = delete;
    HRESULT result() const { return hr_; }
    uint8_t* bits() const { return static_cast<uint8_t*>(lr_.pBits); }
    size_t pitch() const { return size_t(lr_.Pitch); }

private:
    IDirect3DSurface8* s_;
    D3DLOCKED_RECT lr_{};
    HRESULT hr_;
};

// The rectangle, or the whole surface for null; false when it does not lie inside the surface.
bool resolve_rect(const RECT* rect, const D3DSURFACE_DESC& desc, RECT& out) {
    out = rect ? *rect : RECT{0, 0, LONG(desc.Width), LONG(desc.Height)};
    return out.left >= 0 && out.top >= 0 && out.left < out.right && out.top < out.bottom &&
           out.right <= LONG(desc.Width) && out.bottom <= LONG(desc.Height);
}

bool block_aligned(const RECT& r, const D3DSURFACE_DESC& desc) {
    auto edge_ok = [](LONG v, UINT size) { return v % 4 == 0 || UINT(v) == size; };
    return r.left % 4 == 0 && r.top % 4 == 0 && edge_ok(r.right, desc.Width) &&
           edge_ok(r.bottom, desc.Height);
}

HRESULT read_surface(IDirect3DSurface8* surface, const RECT* rect, ArgbImage& out) {
    D3DSURFACE_DESC desc{};
    if (!surface || FAILED(surface->GetDesc(&desc))) return D3DERR_INVALIDCALL;
    RECT r;
    if (!resolve_rect(rect, desc, r) || !qcore::detail::pixel_format_info(desc.Format).convertible)
        return D3DERR_INVALIDCALL;
    // Block formats are locked whole when the rectangle splits blocks.
    const bool whole = qcore::detail::is_block_format(desc.Format) && !block_aligned(r, desc);
    const RECT full{0, 0, LONG(desc.Width), LONG(desc.Height)};
    SurfaceLock lock(surface, whole ? &full : &r, D3DLOCK_READONLY);
    if (FAILED(lock.result())) return lock.result();
    const RECT& locked = whole ? full : r;
    qcore::detail::decode_pixels(desc.Format, lock.bits(), lock.pitch(), UINT(locked.right - locked.left),
                                 UINT(locked.bottom - locked.top), out);
    if (whole) out = qcore::detail::crop(out, UINT(r.left), UINT(r.top), UINT(r.right), UINT(r.bottom));
    return S_OK;
}

// Writes an image of exactly the rectangle's size into the surface.
HRESULT write_surface(IDirect3DSurface8* surface, const RECT& r, const ArgbImage& image, bool dither,
                      bool opaque) {
    D3DSURFACE_DESC desc{};
    if (FAILED(surface->GetDesc(&desc))) return D3DERR_INVALIDCALL;
    if (qcore::detail::is_block_format(desc.Format) && !block_aligned(r, desc)) {
        ArgbImage whole;
        if (HRESULT hr = read_surface(surface, nullptr, whole); FAILED(hr)) return hr;
        for (uint32_t y = 0; y < image.height; ++y)
            std::memcpy(whole.row(uint32_t(r.top) + y) + r.left, image.row(y), size_t(image.width) * 4);
        return write_surface(surface, RECT{0, 0, LONG(desc.Width), LONG(desc.Height)}, whole, dither, opaque);
    }
    SurfaceLock lock(surface, &r, 0);
    if (FAILED(lock.result())) return lock.result();
    return qcore::detail::encode_pixels(desc.Format, image, lock.bits(), lock.pitch(), dither, opaque)
               ? S_OK
               : D3DERR_INVALIDCALL;
}

// Scales `source` into the rectangle of `dest` under the filter, after colour keying.
HRESULT load_argb_into_surface(IDirect3DSurface8* dest, const RECT* dest_rect, ArgbImage source, DWORD filter,
                               D3DCOLOR key, bool opaque) {
    D3DSURFACE_DESC desc{};
    if (!dest || FAILED(dest->GetDesc(&desc))) return D3DERR_INVALIDCALL;
    filter = qcore::detail::resolve_image_filter(filter);
    RECT r;
    if (!qcore::detail::is_valid_filter(filter) || !resolve_rect(dest_rect, desc, r))
        return D3DERR_INVALIDCALL;
    qcore::detail::apply_colour_key(source, key);
    const ArgbImage scaled =
        qcore::detail::resample(source, UINT(r.right - r.left), UINT(r.bottom - r.top), filter);
    return write_surface(dest, r, scaled, filter & D3DX_FILTER_DITHER, opaque && key == 0);
}

struct DeviceContext {
    ComRef<IDirect3D8> d3d;
    D3DDEVICE_CREATION_PARAMETERS params{};
    D3DDISPLAYMODE mode{};
    D3DCAPS8 caps{};
};

HRESULT device_context(IDirect3DDevice8* device, DeviceContext& ctx) {
    if (HRESULT hr = device->GetDirect3D(ctx.d3d.out()); FAILED(hr)) return hr;
    if (HRESULT hr = device->GetCreationParameters(&ctx.params); FAILED(hr)) return hr;
    if (HRESULT hr = device->GetDisplayMode(&ctx.mode); FAILED(hr)) return hr;
    return device->GetDeviceCaps(&ctx.caps);
}

bool format_supported(DeviceContext& ctx, DWORD usage, D3DFORMAT f) {
    return SUCCEEDED(ctx.d3d->CheckDeviceFormat(ctx.params.AdapterOrdinal, ctx.params.DeviceType,
                                                ctx.mode.Format, usage, D3DRTYPE_TEXTURE, f));
}

// The closest format the device takes: the same kind of channels first, then wider formats.
D3DFORMAT closest_format(DeviceContext& ctx, DWORD usage, D3DFORMAT wanted) {
    if (format_supported(ctx, usage, wanted)) return wanted;
    static constexpr D3DFORMAT with_alpha[] = {D3DFMT_A8R8G8B8, D3DFMT_A4R4G4B4, D3DFMT_A1R5G5B5};
    static constexpr D3DFORMAT without_alpha[] = {D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_X1R5G5B5,
                                                  D3DFMT_A8R8G8B8};
    static constexpr D3DFORMAT bump[] = {D3DFMT_Q8W8V8U8, D3DFMT_X8L8V8U8, D3DFMT_V8U8, D3DFMT_A8R8G8B8};
    const bool is_bump = wanted == D3DFMT_V8U8 || wanted == D3DFMT_L6V5U5 || wanted == D3DFMT_X8L8V8U8 ||
                         wanted == D3DFMT_Q8W8V8U8;
    auto first_supported = [&](auto const& list) {
        for (D3DFORMAT f : list)
            if (format_supported(ctx, usage, f)) return f;
        return D3DFMT_UNKNOWN;
    };
    if (is_bump) return first_supported(bump);
    return has_alpha(wanted) ? first_supported(with_alpha) : first_supported(without_alpha);
}

uint32_t round_pow2(uint32_t v) {
    uint32_t p = 1;
    while (p < v && p < (1u << 31))
        p <<= 1;
    return p;
}

// A format that keeps a colour key's transparency, for files whose own format has no alpha.
D3DFORMAT with_alpha_for_key(D3DFORMAT f) {
    switch (f) {
    case D3DFMT_R5G6B5:
    case D3DFMT_X1R5G5B5:
        return D3DFMT_A1R5G5B5;
    case D3DFMT_X4R4G4B4:
        return D3DFMT_A4R4G4B4;
    case D3DFMT_L8:
        return D3DFMT_A8L8;
    default:
        return has_alpha(f) ? f : D3DFMT_A8R8G8B8;
    }
}

// The format a file's natural format becomes when the caller leaves the choice to us.
// 24-bit formats are avoided unless asked for explicitly, as published; palettes are expanded.
D3DFORMAT texture_format_for(D3DFORMAT natural, D3DCOLOR key) {
    D3DFORMAT f = natural == D3DFMT_P8 || natural == D3DFMT_R8G8B8 ? D3DFMT_X8R8G8B8 : natural;
    return key ? with_alpha_for_key(f) : f;
}

// Surfaces of a texture that cannot be locked (default pool, not dynamic) are filled through a
// system-memory copy that the device then uploads.
HRESULT staging_for(IDirect3DDevice8* device, IDirect3DTexture8* texture, DWORD usage, D3DPOOL pool,
                    ComRef<IDirect3DTexture8>& staging) {
    if (pool != D3DPOOL_DEFAULT || (usage & D3DUSAGE_DYNAMIC)) return S_OK;
    D3DSURFACE_DESC desc{};
    texture->GetLevelDesc(0, &desc);
    return device->CreateTexture(desc.Width, desc.Height, texture->GetLevelCount(), 0, desc.Format,
                                 D3DPOOL_SYSTEMMEM, staging.out());
}

HRESULT write_level(IDirect3DTexture8* texture, UINT level, const ArgbImage& image, bool dither,
                    bool opaque) {
    ComRef<IDirect3DSurface8> surface;
    if (HRESULT hr = texture->GetSurfaceLevel(level, surface.out()); FAILED(hr)) return hr;
    return write_surface(surface.get(), RECT{0, 0, LONG(image.width), LONG(image.height)}, image, dither,
                         opaque);
}

// Copies stored DDS levels into a texture of the same format and sizes, without conversion.
HRESULT write_raw_level(IDirect3DTexture8* texture, UINT level, const qcore::detail::ImageLevel& src,
                        D3DFORMAT format) {
    D3DLOCKED_RECT lr{};
    if (HRESULT hr = texture->LockRect(level, &lr, nullptr, 0); FAILED(hr)) return hr;
    const size_t rows =
        qcore::detail::is_block_format(format) ? std::max(1u, (src.height + 3) / 4) : src.height;
    const size_t bytes = qcore::detail::row_pitch(format, src.width);
    for (size_t y = 0; y < rows; ++y)
        std::memcpy(static_cast<uint8_t*>(lr.pBits) + y * size_t(lr.Pitch), src.data.data() + y * src.pitch,
                    bytes);
    return texture->UnlockRect(level);
}

bool level_matches(const DecodedImage& image, size_t i, const D3DSURFACE_DESC& desc) {
    return i < image.levels.size() && image.levels[i].width == desc.Width &&
           image.levels[i].height == desc.Height;
}

// Fills every level of the texture from the decoded file: level 0 scaled under the image filter, lower
// levels from the file when it holds them at the right size, else built from the level above.
HRESULT fill_texture(IDirect3DTexture8* texture, const DecodedImage& image, DWORD filter, DWORD mip_filter,
                     D3DCOLOR key) {
    const UINT levels = texture->GetLevelCount();
    D3DSURFACE_DESC desc{};
    texture->GetLevelDesc(0, &desc);
    const bool opaque = !has_alpha(image.info.format);
    const bool raw = image.stored_format == desc.Format && key == 0;
    ArgbImage previous;
    for (UINT i = 0; i < levels; ++i) {
        texture->GetLevelDesc(i, &desc);
        if (raw && level_matches(image, i, desc)) {
            if (HRESULT hr = write_raw_level(texture, i, image.levels[i], desc.Format); FAILED(hr)) return hr;
            previous = {};
            continue;
        }
        ArgbImage current;
        if (i == 0 || level_matches(image, i, desc)) {
            if (!qcore::detail::level_to_argb(image, i, current)) return D3DXERR_INVALIDDATA;
            qcore::detail::apply_colour_key(current, key);
            if (current.width != desc.Width || current.height != desc.Height) // at its size it stays as it is
                current =
                    qcore::detail::resample(current, desc.Width, desc.Height, i == 0 ? filter : mip_filter);
        } else if ((mip_filter & 0xFFFF) == D3DX_FILTER_NONE) {
            break;
        } else {
            if (previous.pixels.empty() && !qcore::detail::level_to_argb(image, i - 1, previous))
                return D3DXERR_INVALIDDATA;
            current = qcore::detail::resample(previous, desc.Width, desc.Height, mip_filter);
        }
        const bool dither = (i == 0 ? filter : mip_filter) & D3DX_FILTER_DITHER;
        if (HRESULT hr = write_level(texture, i, current, dither, opaque && key == 0); FAILED(hr)) return hr;
        previous = std::move(current);
    }
    return S_OK;
}

HRESULT create_texture_from_memory(IDirect3DDevice8* device, const uint8_t* data, size_t size, UINT width,
                                   UINT height, UINT mip_levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                   DWORD filter, DWORD mip_filter, D3DCOLOR key, D3DXIMAGE_INFO* info,
                                   IDirect3DTexture8** texture) {
    if (!device || !texture) return D3DERR_INVALIDCALL;
    *texture = nullptr;
    filter = qcore::detail::resolve_image_filter(filter);
    mip_filter = qcore::detail::resolve_mip_filter(mip_filter);
    if (!qcore::detail::is_valid_filter(filter) || !qcore::detail::is_valid_filter(mip_filter))
        return D3DERR_INVALIDCALL;

    DecodedImage header;
    if (HRESULT hr = qcore::detail::decode_image(data, size, header, {true}); FAILED(hr)) return hr;
    if (header.info.resource_type != D3DRTYPE_TEXTURE && header.info.resource_type != D3DRTYPE_CUBETEXTURE)
        return D3DXERR_INVALIDDATA;
    const bool keep_width = width == 0 || width == D3DX_DEFAULT,
               keep_height = height == 0 || height == D3DX_DEFAULT;
    UINT w = keep_width ? header.info.width : width, h = keep_height ? header.info.height : height;
    UINT levels = mip_levels == D3DX_DEFAULT ? 0 : mip_levels;
    D3DFORMAT f = format == D3DFMT_UNKNOWN || DWORD(format) == D3DX_DEFAULT
                      ? texture_format_for(header.info.format, key)
                      : format;
    if (HRESULT hr = D3DXCheckTextureRequirements(device, &w, &h, &levels, usage, &f, pool); FAILED(hr))
        return hr;

    // Decoding may stop at a reduced scale that still covers the texture when a smoothing filter follows.
    DecodeOptions options;
    const DWORD type = filter & 0xFFFF;
    if (type == D3DX_FILTER_BOX || type == D3DX_FILTER_TRIANGLE || type == D3DX_FILTER_LINEAR)
        options.min_width = w, options.min_height = h;
    DecodedImage image;
    if (HRESULT hr = qcore::detail::decode_image(data, size, image, options); FAILED(hr)) return hr;

    ComRef<IDirect3DTexture8> result;
    if (HRESULT hr = device->CreateTexture(w, h, levels, usage, f, pool, result.out()); FAILED(hr)) return hr;
    ComRef<IDirect3DTexture8> staging;
    if (HRESULT hr = staging_for(device, result.get(), usage, pool, staging); FAILED(hr)) return hr;
    IDirect3DTexture8* target = staging ? staging.get() : result.get();
    if (HRESULT hr = fill_texture(target, image, filter, mip_filter, key); FAILED(hr)) return hr;
    if (staging)
        if (HRESULT hr = device->UpdateTexture(staging.get(), result.get()); FAILED(hr)) return hr;
    fill_info(image.info, info);
    *texture = result.detach();
    return S_OK;
}

} // namespace

HRESULT D3DXGetImageInfoFromFileInMemory(LPCVOID pSrcData, UINT SrcDataSize, D3DXIMAGE_INFO* pSrcInfo) {
    if (!pSrcData || !pSrcInfo) return D3DERR_INVALIDCALL;
    DecodedImage image;
    HRESULT hr =
        qcore::detail::decode_image(static_cast<const uint8_t*>(pSrcData), SrcDataSize, image, {true});
    if (SUCCEEDED(hr)) fill_info(image.info, pSrcInfo);
    return hr;
}

HRESULT D3DXGetImageInfoFromFileA(LPCSTR pSrcFile, D3DXIMAGE_INFO* pSrcInfo) {
    if (!pSrcFile || !pSrcInfo) return D3DERR_INVALIDCALL;
    std::vector<uint8_t> bytes;
    if (HRESULT hr = load_file(pSrcFile, bytes); FAILED(hr)) return hr;
    return D3DXGetImageInfoFromFileInMemory(bytes.data(), UINT(bytes.size()), pSrcInfo);
}

HRESULT D3DXCheckTextureRequirements(IDirect3DDevice8* pDevice, UINT* pWidth, UINT* pHeight,
                                     UINT* pNumMipLevels, DWORD Usage, D3DFORMAT* pFormat, D3DPOOL Pool) {
    if (!pDevice) return D3DERR_INVALIDCALL;
    (void)Pool;
    DeviceContext ctx;
    if (HRESULT hr = device_context(pDevice, ctx); FAILED(hr)) return hr;
    // A size of 0 (or none given) is 1, as published.
    auto size_of = [](const UINT* v) { return v && *v != 0 && *v != D3DX_DEFAULT ? *v : 1u; };
    UINT w = size_of(pWidth), h = size_of(pHeight);
    const DWORD tc = ctx.caps.TextureCaps;
    if ((tc & D3DPTEXTURECAPS_POW2) && !(tc & D3DPTEXTURECAPS_NONPOW2CONDITIONAL))
        w = round_pow2(w), h = round_pow2(h);
    if (tc & D3DPTEXTURECAPS_SQUAREONLY) w = h = std::max(w, h);
    if (ctx.caps.MaxTextureWidth) w = std::min<UINT>(w, ctx.caps.MaxTextureWidth);
    if (ctx.caps.MaxTextureHeight) h = std::min<UINT>(h, ctx.caps.MaxTextureHeight);

    D3DFORMAT f =
        pFormat && *pFormat != D3DFMT_UNKNOWN && DWORD(*pFormat) != D3DX_DEFAULT ? *pFormat : D3DFMT_A8R8G8B8;
    f = closest_format(ctx, Usage, f);
    if (f == D3DFMT_UNKNOWN) return D3DERR_NOTAVAILABLE;

    const UINT chain = full_chain(w, h);
    UINT levels = pNumMipLevels && *pNumMipLevels && *pNumMipLevels != D3DX_DEFAULT ? *pNumMipLevels : chain;
    levels = std::min(levels, chain);
    if (!(tc & D3DPTEXTURECAPS_MIPMAP)) levels = 1;
    if (pWidth) *pWidth = w;
    if (pHeight) *pHeight = h;
    if (pNumMipLevels) *pNumMipLevels = levels;
    if (pFormat) *pFormat = f;
    return S_OK;
}

HRESULT D3DXCreateTexture(IDirect3DDevice8* pDevice, UINT Width, UINT Height, UINT MipLevels, DWORD Usage,
                          D3DFORMAT Format, D3DPOOL Pool, IDirect3DTexture8** ppTexture) {
    if (!pDevice || !ppTexture) return D3DERR_INVALIDCALL;
    *ppTexture = nullptr;
    if (HRESULT hr = D3DXCheckTextureRequirements(pDevice, &Width, &Height, &MipLevels, Usage, &Format, Pool);
        FAILED(hr))
        return hr;
    return pDevice->CreateTexture(Width, Height, MipLevels, Usage, Format, Pool, ppTexture);
}

HRESULT D3DXCreateTextureFromFileInMemoryEx(IDirect3DDevice8* pDevice, LPCVOID pSrcData, UINT SrcDataSize,
                                            UINT Width, UINT Height, UINT MipLevels, DWORD Usage,
                                            D3DFORMAT Format, D3DPOOL Pool, DWORD Filter, DWORD MipFilter,
                                            D3DCOLOR ColorKey, D3DXIMAGE_INFO* pSrcInfo,
                                            PALETTEENTRY* pPalette, IDirect3DTexture8** ppTexture) {
    (void)pPalette; // no palettised texture formats: nothing to report
    if (!pSrcData) return D3DERR_INVALIDCALL;
    return create_texture_from_memory(pDevice, static_cast<const uint8_t*>(pSrcData), SrcDataSize, Width,
                                      Height, MipLevels, Usage, Format, Pool, Filter, MipFilter, ColorKey,
                                      pSrcInfo, ppTexture);
}

HRESULT D3DXCreateTextureFromFileExA(IDirect3DDevice8* pDevice, LPCSTR pSrcFile, UINT Width, UINT Height,
                                     UINT MipLevels, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                                     DWORD Filter, DWORD MipFilter, D3DCOLOR ColorKey,
                                     D3DXIMAGE_INFO* pSrcInfo, PALETTEENTRY* pPalette,
                                     IDirect3DTexture8** ppTexture) {
    if (!pDevice || !pSrcFile || !ppTexture) return D3DERR_INVALIDCALL;
    std::vector<uint8_t> bytes;
    if (HRESULT hr = load_file(pSrcFile, bytes); FAILED(hr)) return hr;
    return D3DXCreateTextureFromFileInMemoryEx(pDevice, bytes.data(), UINT(bytes.size()), Width, Height,
                                               MipLevels, Usage, Format, Pool, Filter, MipFilter, ColorKey,
                                               pSrcInfo, pPalette, ppTexture);
}

HRESULT D3DXCreateTextureFromFileA(IDirect3DDevice8* pDevice, LPCSTR pSrcFile,
                                   IDirect3DTexture8** ppTexture) {
    return D3DXCreateTextureFromFileExA(pDevice, pSrcFile, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                        D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                        nullptr, nullptr, ppTexture);
}

HRESULT D3DXLoadSurfaceFromSurface(IDirect3DSurface8* pDestSurface, const PALETTEENTRY* pDestPalette,
                                   const RECT* pDestRect, IDirect3DSurface8* pSrcSurface,
                                   const PALETTEENTRY* pSrcPalette, const RECT* pSrcRect, DWORD Filter,
                                   D3DCOLOR ColorKey) {
    (void)pDestPalette, (void)pSrcPalette;
    if (!pDestSurface || !pSrcSurface) return D3DERR_INVALIDCALL;
    D3DSURFACE_DESC src_desc{};
    pSrcSurface->GetDesc(&src_desc);
    ArgbImage source;
    if (HRESULT hr = read_surface(pSrcSurface, pSrcRect, source); FAILED(hr)) return hr;
    return load_argb_into_surface(pDestSurface, pDestRect, std::move(source), Filter, ColorKey,
                                  !has_alpha(src_desc.Format));
}

HRESULT D3DXLoadSurfaceFromMemory(IDirect3DSurface8* pDestSurface, const PALETTEENTRY* pDestPalette,
                                  const RECT* pDestRect, LPCVOID pSrcMemory, D3DFORMAT SrcFormat,
                                  UINT SrcPitch, const PALETTEENTRY* pSrcPalette, const RECT* pSrcRect,
                                  DWORD Filter, D3DCOLOR ColorKey) {
    (void)pDestPalette, (void)pSrcPalette;
    if (!pDestSurface || !pSrcMemory || !pSrcRect || pSrcRect->left < 0 || pSrcRect->top < 0 ||
        pSrcRect->right <= pSrcRect->left || pSrcRect->bottom <= pSrcRect->top)
        return D3DERR_INVALIDCALL;
    // The memory starts at the rectangle's top-left pixel (block formats: its block).
    ArgbImage source;
    if (!qcore::detail::decode_pixels(SrcFormat, static_cast<const uint8_t*>(pSrcMemory), SrcPitch,
                                      UINT(pSrcRect->right - pSrcRect->left),
                                      UINT(pSrcRect->bottom - pSrcRect->top), source))
        return D3DERR_INVALIDCALL;
    return load_argb_into_surface(pDestSurface, pDestRect, std::move(source), Filter, ColorKey,
                                  !has_alpha(SrcFormat));
}

HRESULT D3DXLoadSurfaceFromFileA(IDirect3DSurface8* pDestSurface, const PALETTEENTRY* pDestPalette,
                                 const RECT* pDestRect, LPCSTR pSrcFile, const RECT* pSrcRect, DWORD Filter,
                                 D3DCOLOR ColorKey, D3DXIMAGE_INFO* pSrcInfo) {
    if (!pDestSurface || !pSrcFile) return D3DERR_INVALIDCALL;
    std::vector<uint8_t> bytes;
    if (HRESULT hr = load_file(pSrcFile, bytes); FAILED(hr)) return hr;
    return D3DXLoadSurfaceFromFileInMemory(pDestSurface, pDestPalette, pDestRect, bytes.data(),
                                           UINT(bytes.size()), pSrcRect, Filter, ColorKey, pSrcInfo);
}

HRESULT D3DXLoadSurfaceFromFileInMemory(IDirect3DSurface8* pDestSurface, const PALETTEENTRY* pDestPalette,
                                        const RECT* pDestRect, LPCVOID pSrcData, UINT SrcDataSize,
                                        const RECT* pSrcRect, DWORD Filter, D3DCOLOR ColorKey,
                                        D3DXIMAGE_INFO* pSrcInfo) {
    (void)pDestPalette;
    if (!pDestSurface || !pSrcData) return D3DERR_INVALIDCALL;
    DecodedImage image;
    if (HRESULT hr = qcore::detail::decode_image(static_cast<const uint8_t*>(pSrcData), SrcDataSize, image);
        FAILED(hr))
        return hr;
    ArgbImage source;
    if (!qcore::detail::level_to_argb(image, 0, source)) return D3DXERR_INVALIDDATA;
    if (pSrcRect) {
        const RECT& r = *pSrcRect;
        if (r.left < 0 || r.top < 0 || r.right <= r.left || r.bottom <= r.top ||
            UINT(r.right) > source.width || UINT(r.bottom) > source.height)
            return D3DERR_INVALIDCALL;
        source = qcore::detail::crop(source, UINT(r.left), UINT(r.top), UINT(r.right), UINT(r.bottom));
    }
    HRESULT hr = load_argb_into_surface(pDestSurface, pDestRect, std::move(source), Filter, ColorKey,
                                        !has_alpha(image.info.format));
    if (SUCCEEDED(hr)) fill_info(image.info, pSrcInfo);
    return hr;
}

HRESULT D3DXFilterTexture(IDirect3DBaseTexture8* pBaseTexture, const PALETTEENTRY* pPalette, UINT SrcLevel,
                          DWORD Filter) {
    (void)pPalette;
    if (!pBaseTexture || pBaseTexture->GetType() != D3DRTYPE_TEXTURE) return D3DERR_INVALIDCALL;
    auto* texture = static_cast<IDirect3DTexture8*>(pBaseTexture);
    const UINT first = SrcLevel == D3DX_DEFAULT ? 0 : SrcLevel;
    Filter = qcore::detail::resolve_mip_filter(Filter);
    if (first >= texture->GetLevelCount() || !qcore::detail::is_valid_filter(Filter))
        return D3DERR_INVALIDCALL;
    ArgbImage previous;
    {
        ComRef<IDirect3DSurface8> surface;
        if (HRESULT hr = texture->GetSurfaceLevel(first, surface.out()); FAILED(hr)) return hr;
        if (HRESULT hr = read_surface(surface.get(), nullptr, previous); FAILED(hr)) return hr;
    }
    D3DSURFACE_DESC desc{};
    texture->GetLevelDesc(0, &desc);
    for (UINT i = first + 1; i < texture->GetLevelCount(); ++i) {
        texture->GetLevelDesc(i, &desc);
        previous = qcore::detail::resample(previous, desc.Width, desc.Height, Filter);
        if (HRESULT hr =
                write_level(texture, i, previous, Filter & D3DX_FILTER_DITHER, !has_alpha(desc.Format));
            FAILED(hr))
            return hr;
    }
    return S_OK;
}

namespace {

HRESULT encode_file(D3DXIMAGE_FILEFORMAT format, const ArgbImage& image, bool opaque,
                    std::vector<uint8_t>& out) {
    switch (format) {
    case D3DXIFF_BMP:
        out = qcore::detail::encode_bmp(image, opaque);
        break;
    case D3DXIFF_DIB:
        out = qcore::detail::encode_bmp(image, opaque, false);
        break;
    case D3DXIFF_JPG:
        out = qcore::detail::encode_jpeg(image, 95);
        break;
    case D3DXIFF_PNG:
        out = qcore::detail::encode_png(image, opaque);
        break;
    case D3DXIFF_TGA:
        out = qcore::detail::encode_tga(image, opaque);
        break;
    case D3DXIFF_PPM:
        out = qcore::detail::encode_ppm(image);
        break;
    default:
        return D3DERR_INVALIDCALL;
    }
    return out.empty() ? E_FAIL : S_OK;
}

// One level in the surface's own format, rows packed, for a DDS file.
HRESULT raw_level(IDirect3DSurface8* surface, const RECT* rect, qcore::detail::ImageLevel& out) {
    D3DSURFACE_DESC desc{};
    surface->GetDesc(&desc);
    RECT r;
    if (!resolve_rect(rect, desc, r)) return D3DERR_INVALIDCALL;
    out.width = UINT(r.right - r.left);
    out.height = UINT(r.bottom - r.top);
    out.pitch = qcore::detail::row_pitch(desc.Format, out.width);
    const bool block = qcore::detail::is_block_format(desc.Format);
    if (block && !block_aligned(r, desc)) {
        // A rectangle that splits blocks is compressed again from its pixels.
        ArgbImage pixels;
        if (HRESULT hr = read_surface(surface, &r, pixels); FAILED(hr)) return hr;
        out.data.resize(qcore::detail::surface_bytes(desc.Format, out.width, out.height));
        qcore::detail::encode_pixels(desc.Format, pixels, out.data.data(), out.pitch, false);
        return S_OK;
    }
    SurfaceLock lock(surface, &r, D3DLOCK_READONLY);
    if (FAILED(lock.result())) return lock.result();
    const size_t rows = block ? std::max(1u, (out.height + 3) / 4) : out.height;
    out.data.resize(out.pitch * rows);
    for (size_t y = 0; y < rows; ++y)
        std::memcpy(out.data.data() + y * out.pitch, lock.bits() + y * lock.pitch(), out.pitch);
    return S_OK;
}

} // namespace

HRESULT D3DXSaveSurfaceToFileA(LPCSTR pDestFile, D3DXIMAGE_FILEFORMAT DestFormat,
                               IDirect3DSurface8* pSrcSurface, const PALETTEENTRY* pSrcPalette,
                               const RECT* pSrcRect) {
    (void)pSrcPalette;
    if (!pDestFile || !pSrcSurface) return D3DERR_INVALIDCALL;
    D3DSURFACE_DESC desc{};
    if (FAILED(pSrcSurface->GetDesc(&desc))) return D3DERR_INVALIDCALL;
    std::vector<uint8_t> bytes;
    if (DestFormat == D3DXIFF_DDS) {
        std::vector<qcore::detail::ImageLevel> levels(1);
        if (HRESULT hr = raw_level(pSrcSurface, pSrcRect, levels[0]); FAILED(hr)) return hr;
        bytes = qcore::detail::encode_dds(desc.Format, levels);
    } else {
        ArgbImage image;
        if (HRESULT hr = read_surface(pSrcSurface, pSrcRect, image); FAILED(hr)) return hr;
        if (HRESULT hr = encode_file(DestFormat, image, !has_alpha(desc.Format), bytes); FAILED(hr))
            return hr;
    }
    return qcore::detail::write_whole_file(native_path(pDestFile).c_str(), bytes) ? S_OK : E_FAIL;
}

HRESULT D3DXSaveTextureToFileA(LPCSTR pDestFile, D3DXIMAGE_FILEFORMAT DestFormat,
                               IDirect3DBaseTexture8* pSrcTexture, const PALETTEENTRY* pSrcPalette) {
    if (!pDestFile || !pSrcTexture || pSrcTexture->GetType() != D3DRTYPE_TEXTURE) return D3DERR_INVALIDCALL;
    auto* texture = static_cast<IDirect3DTexture8*>(pSrcTexture);
    if (DestFormat != D3DXIFF_DDS) {
        ComRef<IDirect3DSurface8> top;
        if (HRESULT hr = texture->GetSurfaceLevel(0, top.out()); FAILED(hr)) return hr;
        return D3DXSaveSurfaceToFileA(pDestFile, DestFormat, top.get(), pSrcPalette, nullptr);
    }
    D3DSURFACE_DESC desc{};
    texture->GetLevelDesc(0, &desc);
    std::vector<qcore::detail::ImageLevel> levels(texture->GetLevelCount());
    for (UINT i = 0; i < levels.size(); ++i) {
        ComRef<IDirect3DSurface8> surface;
        if (HRESULT hr = texture->GetSurfaceLevel(i, surface.out()); FAILED(hr)) return hr;
        if (HRESULT hr = raw_level(surface.get(), nullptr, levels[i]); FAILED(hr)) return hr;
    }
    const std::vector<uint8_t> bytes = qcore::detail::encode_dds(desc.Format, levels);
    return qcore::detail::write_whole_file(native_path(pDestFile).c_str(), bytes) ? S_OK : E_FAIL;
}
