#include <qcore/data/wait_window.h>
#include <qcore/image/dibitmap.h>
#include <qcore/image/image_save.h>
#include <qcore/image/imgfun.h>
#include <qcore/image/jpeg_file.h>
#include <qcore/image/letterbox.h>
#include <qcore/platform/d3d8/d3dx/d3dx8tex.h>
#include <qcore/platform/d3d8/d3dx/image_codec.h>
#include <qcore/platform/win32/com_ref.h>
#include <qcore/platform/win32/file.h>
#include <qcore/platform/win32/message_box.h>
#include <qcore/platform/win32/window.h>
#include <qcore/texture/color_adj.h>

#include <algorithm>
#include <cstring>

namespace {

DWORD over_background(DWORD s, COLORREF bg) {
    const DWORD a = s >> 24;
    auto mix = [a](DWORD back, DWORD src) { return (back * (255 - a) + src * a) / 255; };
    const DWORD r = mix(GetRValue(bg), (s >> 16) & 0xFF);
    const DWORD g = mix(GetGValue(bg), (s >> 8) & 0xFF);
    const DWORD b = mix(GetBValue(bg), s & 0xFF);
    return (r << 16) | (g << 8) | b;
}

DWORD deliver(DWORD s, IMG_CHANNEL channel, COLORREF bg) {
    switch (channel) {
    case IMG_CHANNEL_ALPHA:
        return (s >> 24) * 0x010101u;
    case IMG_CHANNEL_RGB_OVER_BG:
        return over_background(s, bg);
    default:
        return s;
    }
}

// The pixels as rows from the top, whichever order they are stored in.
qcore::detail::PixelRows rows_of(const CDibitmap& dib) {
    const int w = dib.get_width(), h = dib.get_height();
    const ptrdiff_t stride = static_cast<ptrdiff_t>(w) * 4;
    const auto* base = reinterpret_cast<const uint8_t*>(dib.get_bits().data());
    if (dib.is_top_row_first()) return {base, stride, w, h};
    return {base + stride * (h - 1), -stride, w, h};
}

} // namespace

CDibitmap::CDibitmap() {
    fill_BITMAPINFO_32(info, 0, 0);
}

void CDibitmap::clear() {
    std::vector<DWORD>().swap(bits);
    fill_BITMAPINFO_32(info, 0, 0);
    top_row_first = false;
}

void CDibitmap::fill_solid_color(DWORD color) {
    std::fill(bits.begin(), bits.end(), color);
}

void CDibitmap::adjust_color(const COLOR_ADJ_DATA& data) {
    ColorMatchTab tab;
    CColorAdjFun::cal_match_tab(data, tab);
    for (DWORD& p : bits)
        p = CColorAdjFun::adjust_colorref(tab, p);
}

void CDibitmap::clone_from(const CDibitmap& other) {
    if (this == &other) return;
    bits = other.bits;
    info = other.info;
    top_row_first = other.top_row_first;
}

void CDibitmap::fill_BITMAPINFO_32(BITMAPINFO& out, int width, int height) {
    std::memset(&out, 0, sizeof(out));
    out.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    out.bmiHeader.biWidth = width;
    out.bmiHeader.biHeight = height;
    out.bmiHeader.biPlanes = 1;
    out.bmiHeader.biBitCount = 32;
    out.bmiHeader.biCompression = BI_RGB;
    out.bmiHeader.biSizeImage = static_cast<DWORD>(width) * static_cast<DWORD>(height) * 4;
}

int CDibitmap::fill_BITMAPINFO_32_from_HBITMAP(BITMAPINFO& out, HBITMAP bitmap) {
    BITMAP bm{};
    if (!bitmap || !GetObject(bitmap, sizeof(bm), &bm) || bm.bmWidth <= 0 || bm.bmHeight <= 0) return 0;
    fill_BITMAPINFO_32(out, bm.bmWidth, bm.bmHeight);
    return 1;
}

int CDibitmap::create_from_HBITMAP(HBITMAP bitmap) {
    clear();
    if (!fill_BITMAPINFO_32_from_HBITMAP(info, bitmap)) return 0;
    bits.resize(info.bmiHeader.biSizeImage / 4);
    HDC screen = GetDC(nullptr);
    const int lines = GetDIBits(screen, bitmap, 0, static_cast<UINT>(info.bmiHeader.biHeight), bits.data(),
                                &info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    if (lines <= 0) {
        clear();
        return 0;
    }
    return 1;
}

IDirect3DSurface8* CDibitmap::_load_a8r8g8b8_surface_from_file(IDirect3DDevice8* dev, const char* name) {
    // The file is read once for its size and its pixels.
    std::vector<uint8_t> bytes;
    if (!dev || !name || !qcore::detail::read_whole_file(qcore::native_path(name).c_str(), bytes))
        return nullptr;
    const auto size = static_cast<UINT>(bytes.size());
    D3DXIMAGE_INFO image{};
    if (FAILED(D3DXGetImageInfoFromFileInMemory(bytes.data(), size, &image))) return nullptr;
    if (image.ResourceType != D3DRTYPE_TEXTURE) return nullptr;
    qcore::ComRef<IDirect3DSurface8> sur;
    if (FAILED(dev->CreateImageSurface(image.Width, image.Height, D3DFMT_A8R8G8B8, sur.out())))
        return nullptr;
    if (FAILED(D3DXLoadSurfaceFromFileInMemory(sur.get(), nullptr, nullptr, bytes.data(), size, nullptr,
                                               D3DX_FILTER_NONE, 0, nullptr)))
        return nullptr;
    D3DSURFACE_DESC desc{};
    if (FAILED(sur->GetDesc(&desc)) || desc.Format != D3DFMT_A8R8G8B8) return nullptr;
    return sur.detach();
}

size_t CDibitmap::_fill_32bit_dib_from_a8r8g8b8_surface(IDirect3DSurface8* sur, IMG_CHANNEL channel,
                                                        COLORREF bg, std::vector<DWORD>& out) {
    D3DSURFACE_DESC desc{};
    if (!sur || FAILED(sur->GetDesc(&desc)) || desc.Format != D3DFMT_A8R8G8B8) return 0;
    D3DLOCKED_RECT locked{};
    if (FAILED(sur->LockRect(&locked, nullptr, D3DLOCK_READONLY | D3DLOCK_NOSYSLOCK))) return 0;
    out.resize(static_cast<size_t>(desc.Width) * desc.Height);
    for (UINT y = 0; y < desc.Height; ++y) {
        const auto* row = reinterpret_cast<const DWORD*>(static_cast<const BYTE*>(locked.pBits) +
                                                         static_cast<ptrdiff_t>(y) * locked.Pitch);
        DWORD* dst = out.data() + static_cast<size_t>(y) * desc.Width;
        for (UINT x = 0; x < desc.Width; ++x)
            dst[x] = deliver(row[x], channel, bg);
    }
    sur->UnlockRect();
    return out.size();
}

int CDibitmap::load_file(IDirect3DDevice8* dev, const char* name, IMG_CHANNEL channel, COLORREF bg) {
    clear();
    qcore::ComRef<IDirect3DSurface8> sur(_load_a8r8g8b8_surface_from_file(dev, name));
    D3DSURFACE_DESC desc{};
    if (!sur || FAILED(sur->GetDesc(&desc)) ||
        !_fill_32bit_dib_from_a8r8g8b8_surface(sur.get(), channel, bg, bits)) {
        clear();
        return 0;
    }
    fill_BITMAPINFO_32(info, static_cast<int>(desc.Width), static_cast<int>(desc.Height));
    top_row_first = true;
    return 1;
}

int CDibitmap::create_from_file_by_d3d(IDirect3DDevice8* dev, const char* name, IMG_CHANNEL channel,
                                       COLORREF bg) {
    clear();
    switch (channel) {
    case IMG_CHANNEL_ARGB:
        return create_from_file_rgb_by_d3d(dev, name);
    case IMG_CHANNEL_ALPHA:
        return create_from_file_alpha_by_d3d(dev, name);
    case IMG_CHANNEL_RGB_OVER_BG:
        if (imgfun::does_file_have_alpha_channel(name))
            return load_file(dev, name, IMG_CHANNEL_RGB_OVER_BG, bg);
        return create_from_file_rgb_by_d3d(dev, name);
    default:
        return 0;
    }
}

int CDibitmap::create_from_file_rgb_by_d3d(IDirect3DDevice8* dev, const char* name) {
    return load_file(dev, name, IMG_CHANNEL_ARGB, 0);
}

int CDibitmap::create_from_file_alpha_by_d3d(IDirect3DDevice8* dev, const char* name) {
    clear();
    D3DXIMAGE_INFO image{};
    if (!imgfun::get_d3d_supported_img_file_info(name, image)) return 0;
    if (imgfun::does_file_have_alpha_channel(name)) return load_file(dev, name, IMG_CHANNEL_ALPHA, 0);
    if (image.Width == 0 || image.Height == 0 || image.Width > 16384 || image.Height > 16384) return 0;
    bits.assign(static_cast<size_t>(image.Width) * image.Height, 0);
    fill_BITMAPINFO_32(info, static_cast<int>(image.Width), static_cast<int>(image.Height));
    top_row_first = true;
    return 0;
}

int CDibitmap::create_scaled_bitmap_from_me(CBitmap& out, int width, int height, int keep_aspect,
                                            int flip) const {
    out.DeleteObject();
    if (!is_valid()) return 0;
    HWND desktop = GetDesktopWindow();
    HDC desktop_dc = GetDC(desktop);
    HBITMAP bitmap = CreateCompatibleBitmap(desktop_dc, width, height);
    HDC mem = CreateCompatibleDC(desktop_dc);
    ReleaseDC(desktop, desktop_dc);
    if (!bitmap) {
        DeleteDC(mem);
        return 0;
    }
    SetStretchBltMode(mem, COLORONCOLOR);
    HGDIOBJ old = SelectObject(mem, bitmap);
    qcore::detail::Letterbox box;
    box.image.SetRect(0, 0, width, height);
    if (keep_aspect) box = qcore::detail::letterbox(get_width(), get_height(), width, height, 0.0f);
    for (const CRect& band : box.bands)
        if (!band.IsRectEmpty()) FillRect(mem, &band, GetSysColorBrush(COLOR_WINDOW));
    const CRect& r = box.image;
    const int y = flip ? r.bottom - 1 : r.top;
    const int h = flip ? -r.Height() : r.Height();
    const int drawn = StretchDIBits(mem, r.left, y, r.Width(), h, 0, 0, get_width(), get_height(),
                                    bits.data(), &info, DIB_RGB_COLORS, SRCCOPY);
    SelectObject(mem, old);
    DeleteDC(mem);
    out.Attach(bitmap);
    return drawn ? 1 : 0;
}

bool CDibitmap::width_ok() const {
    if (get_width() % 4 == 0) return true;
    AfxMessageBox("图片的宽度必须是4的倍数");
    return false;
}

int CDibitmap::convert_to_24bit_buf(std::vector<BYTE>& out, int bmp_order) const {
    if (!is_valid() || !width_ok()) return 0;
    const qcore::detail::PixelRows rows = rows_of(*this);
    out.resize(static_cast<size_t>(rows.width) * rows.height * 3);
    if (bmp_order)
        qcore::detail::bgr_rows_bottom_up(rows, out.data());
    else
        qcore::detail::rgb_rows_top_down(rows, out.data());
    return 1;
}

int CDibitmap::save_to_img_file(const char* name) {
    switch (imgfun::get_img_file_type(name)) {
    case IMG_FILE_BMP:
        return save_to_bmp_file(name);
    case IMG_FILE_JPG:
        return save_to_jpg_file(name, TRUE, 95);
    default:
        AfxMessageBox("不支持该图片格式，无法保存!");
        return 0;
    }
}

int CDibitmap::save_to_jpg_file(const char* name, BOOL color, int quality) {
    std::vector<BYTE> rgb;
    if (!convert_to_24bit_buf(rgb, 0)) return 0;
    return RGBToJpegFile(name ? name : "", rgb.data(), static_cast<UINT>(get_width()),
                         static_cast<UINT>(get_height()), color, quality);
}

int CDibitmap::save_to_bmp_file(const char* name) {
    if (!is_valid() || !width_ok()) return 0;
    CMyWaitCursor wait;
    return qcore::detail::write_bmp24_file(name, rows_of(*this));
}
