#include <qcore/geom/frect.h>
#include <qcore/image/bitmapfun.h>
#include <qcore/image/dibitmap.h>
#include <qcore/image/imgfun.h>
#include <qcore/image/letterbox.h>
#include <qcore/platform/win32/com_ref.h>
#include <qcore/platform/win32/file.h>
#include <qcore/platform/win32/file_ops.h>
#include <qcore/platform/win32/message_box.h>
#include <qcore/texture/atx_file.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace {

// Pictures larger than this are not read into memory.
constexpr ULONGLONG max_picture_file = ULONGLONG{1} << 30;

bool file_exists(const char* name) {
    const DWORD attributes = name && *name ? GetFileAttributesA(name) : INVALID_FILE_ATTRIBUTES;
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A memory DC with a bitmap selected, deselected and deleted when it goes out of scope.
class SelectedDC {
public:
    explicit SelectedDC(HBITMAP bitmap) : dc_(CreateCompatibleDC(nullptr)), old_(SelectObject(dc_, bitmap)) {}
    ~SelectedDC() {
        if (old_) SelectObject(dc_, old_);
        DeleteDC(dc_);
    }
    SelectedDC(const SelectedDC&) = delete;
    SelectedDC& operator=(const SelectedDC&) = delete;
    HDC get() const { return dc_; }
    explicit operator bool() const { return dc_ && old_; }

private:
    HDC dc_;
    HGDIOBJ old_;
};

void fill(HDC dc, const CRect& r, COLORREF color) {
    if (r.IsRectEmpty()) return;
    const COLORREF old = SetBkColor(dc, color);
    ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &r, "", 0, nullptr);
    SetBkColor(dc, old);
}

// Mirrors count pixels of bpp bits starting at row in place (any depth).
void mirror_row(BYTE* row, int count, int bpp) {
    if (bpp >= 8) {
        const int bytes = bpp / 8;
        for (int j = 0; j < count / 2; ++j)
            std::swap_ranges(row + j * bytes, row + (j + 1) * bytes, row + (count - 1 - j) * bytes);
        return;
    }
    const int per_byte = 8 / bpp, mask = (1 << bpp) - 1;
    auto shift = [&](int x) { return 8 - bpp * (x % per_byte + 1); };
    auto get = [&](int x) { return (row[x / per_byte] >> shift(x)) & mask; };
    auto set = [&](int x, int v) {
        BYTE& b = row[x / per_byte];
        b = static_cast<BYTE>((b & ~(mask << shift(x))) | (v << shift(x)));
    };
    for (int j = 0; j < count / 2; ++j) {
        const int a = get(j), b = get(count - 1 - j);
        set(j, b);
        set(count - 1 - j, a);
    }
}

bool dib_section_of(CBitmap& bmp, BITMAP& bm) {
    return bmp.GetSafeHandle() && bmp.GetBitmap(&bm) && bm.bmBits && bm.bmWidth > 0 && bm.bmHeight > 0 &&
           bm.bmBitsPixel > 0;
}

// White text on black at the top left of the bitmap, wrapped to its width.
void draw_caption(CBitmap& bitmap, const char* text) {
    CDC dc;
    if (!dc.CreateCompatibleDC(nullptr)) return;
    CBitmap* old = dc.SelectObject(&bitmap);
    if (!old) return;
    {
        CSuperDC sdc(&dc);
        sdc.set_font(1, 12);
        sdc.set_text_color(RGB(255, 255, 255));
        sdc.set_transprent_bk_mode(0);
        dc.SetBkColor(RGB(0, 0, 0));
        CRect r = sdc.get_rect();
        dc.DrawText(text, &r, DT_WORDBREAK | DT_NOPREFIX);
    }
    dc.SelectObject(old);
}

} // namespace

int bitmapfun::load_any_file_to_bitmap(IDirect3DDevice8* dev, const char* name, CBitmap& out, int width,
                                       int height, int keep_aspect, IMG_CHANNEL channel, COLORREF bg) {
    return load_any(dev, name, out, width, height, keep_aspect, channel, bg, false);
}

int bitmapfun::load_any(IDirect3DDevice8* dev, const char* name, CBitmap& out, int width, int height,
                        int keep_aspect, IMG_CHANNEL channel, COLORREF bg, bool inside_atx) {
    out.DeleteObject();
    if (!file_exists(name)) return 0;
    switch (imgfun::get_img_file_type(name)) {
    case IMG_FILE_BMP:
    case IMG_FILE_JPG: {
        if (channel == IMG_CHANNEL_ALPHA) return 0;
        qcore::ComRef<IPicture> pic(load_any_file_to_ipic(name));
        CBitmap* bmp = get_bitmap_from_ipic(pic.get());
        if (!bmp) return 0;
        const BITMAP info = get_ipic_info(pic.get());
        return scale_bitmap(*bmp, out, width ? width : info.bmWidth, height ? height : info.bmHeight,
                            keep_aspect);
    }
    case IMG_FILE_TGA:
    case IMG_FILE_PNG:
    case IMG_FILE_DDS: {
        CDibitmap dib;
        if (!dib.create_from_file_by_d3d(dev, name, channel, bg)) return 0;
        const bool sized = width && height;
        return dib.create_scaled_bitmap_from_me(out, sized ? width : dib.get_width(),
                                                sized ? height : dib.get_height(), keep_aspect, 1);
    }
    case IMG_FILE_ATX: {
        // An animated texture whose first frame is itself one (or the same file) would never end.
        if (inside_atx) return 0;
        CAtxFile atx;
        if (!atx.load_atx_from_disk(name, nullptr, 0) || atx.get_child_files().empty()) return 0;
        const int result =
            load_any(dev, atx.get_child_files()[0], out, width, height, keep_aspect, channel, bg, true);
        if (result) draw_caption(out, "ATX动画贴图");
        return result;
    }
    default:
        return 0;
    }
}

IPicture* bitmapfun::load_any_file_to_ipic(const char* name) {
    CFile file;
    if (!name || !file.Open(name, CFile::modeRead | CFile::typeBinary)) {
        AfxMessageBox(CString("无法打开 ") + (name ? name : ""));
        return nullptr;
    }
    const ULONGLONG length = file.GetLength();
    if (length == 0 || length > max_picture_file) return nullptr;
    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(length));
    if (!mem) return nullptr;
    UINT read = 0;
    try {
        read = file.Read(GlobalLock(mem), static_cast<UINT>(length));
    } catch (const CFileException&) {
        read = 0;
    }
    GlobalUnlock(mem);
    qcore::ComRef<IStream> stream;
    if (read != length || FAILED(CreateStreamOnHGlobal(mem, TRUE, stream.out()))) {
        GlobalFree(mem);
        return nullptr;
    }
    IPicture* pic = nullptr;
    if (FAILED(OleLoadPicture(stream.get(), static_cast<LONG>(length), TRUE, IID_IPicture,
                              reinterpret_cast<void**>(&pic))))
        return nullptr;
    return pic;
}

CBitmap* bitmapfun::get_bitmap_from_ipic(IPicture* pic) {
    OLE_HANDLE handle = 0;
    if (!pic || FAILED(pic->get_Handle(&handle)) || !handle) return nullptr;
    return CBitmap::FromHandle(reinterpret_cast<HBITMAP>(static_cast<uintptr_t>(handle)));
}

BITMAP bitmapfun::get_ipic_info(IPicture* pic) {
    BITMAP bm{};
    if (CBitmap* bmp = get_bitmap_from_ipic(pic)) bmp->GetBitmap(&bm);
    return bm;
}

int bitmapfun::scale_bitmap(CBitmap& src, CBitmap& out, int width, int height, int keep_aspect) {
    // Scaling a bitmap onto itself: keep the source alive until the copy is made.
    CBitmap own_source;
    if (&src == &out) own_source.Attach(out.Detach());
    CBitmap& source = &src == &out ? own_source : src;
    out.DeleteObject();
    BITMAP bm{};
    if (!source.GetSafeHandle() || !source.GetBitmap(&bm)) return 0;
    SelectedDC from(source);
    if (!from) return 0;
    HBITMAP scaled = CreateCompatibleBitmap(from.get(), width, height);
    if (!scaled) return 0;
    {
        SelectedDC to(scaled);
        SetStretchBltMode(to.get(), COLORONCOLOR);
        const qcore::detail::Letterbox box =
            keep_aspect ? qcore::detail::letterbox(bm.bmWidth, bm.bmHeight, width, height, 0.001f)
                        : qcore::detail::Letterbox{CRect(0, 0, width, height), {}};
        for (const CRect& band : box.bands)
            if (!band.IsRectEmpty()) FillRect(to.get(), &band, GetSysColorBrush(COLOR_WINDOW));
        const CRect& r = box.image;
        StretchBlt(to.get(), r.left, r.top, r.Width(), r.Height(), from.get(), 0, 0, bm.bmWidth, bm.bmHeight,
                   SRCCOPY);
    }
    out.Attach(scaled);
    return 1;
}

void bitmapfun::draw_bitmap(CDC* dc, const CRect& rect, int dx, int dy, float zoom, CBitmap& bmp,
                            COLORREF bg) {
    BITMAP bm{};
    if (!dc || !bmp.GetSafeHandle() || !bmp.GetBitmap(&bm)) return;
    if (!(zoom > 0.0f) || !std::isfinite(zoom)) {
        fill(*dc, rect, bg);
        return;
    }
    const float cx = static_cast<float>(dx + (rect.left + rect.right) / 2);
    const float cy = static_cast<float>(dy + (rect.top + rect.bottom) / 2);
    const float w = zoom * static_cast<float>(bm.bmWidth), h = zoom * static_cast<float>(bm.bmHeight);
    const FRect image(cx - w / 2, cy - h / 2, cx + w / 2, cy + h / 2);
    const CRect whole = image.convert_to_crect();
    CRect d = whole;
    // An image wholly outside the target leaves only background.
    const bool outside = d.right <= rect.left || d.bottom <= rect.top || d.left >= rect.right ||
                         d.top >= rect.bottom || d.IsRectEmpty();
    if (outside) {
        fill(*dc, rect, bg);
        return;
    }
    if (d.left < rect.left)
        d.left = rect.left;
    else
        fill(*dc, CRect(rect.left, rect.top, d.left, rect.bottom), bg);
    if (d.top < rect.top)
        d.top = rect.top;
    else
        fill(*dc, CRect(rect.left, rect.top, rect.right, d.top), bg);
    if (d.right > rect.right)
        d.right = rect.right;
    else
        fill(*dc, CRect(d.right, rect.top, rect.right, rect.bottom), bg);
    if (d.bottom > rect.bottom)
        d.bottom = rect.bottom;
    else
        fill(*dc, CRect(rect.left, d.bottom, rect.right, rect.bottom), bg);
    const auto to_source = [zoom](float v) { return static_cast<int>(std::lround(v / zoom)); };
    const int sl = to_source(static_cast<float>(d.left) - image.left);
    const int st = to_source(static_cast<float>(d.top) - image.top);
    const int sr = to_source(static_cast<float>(d.right) - image.left);
    const int sb = to_source(static_cast<float>(d.bottom) - image.top);
    if (sr <= sl || sb <= st) return;
    SelectedDC from(bmp);
    if (!from) return;
    const int old_mode = SetStretchBltMode(*dc, COLORONCOLOR);
    StretchBlt(*dc, d.left, d.top, d.Width(), d.Height(), from.get(), sl, st, sr - sl, sb - st, SRCCOPY);
    SetStretchBltMode(*dc, old_mode);
}

void bitmapfun::draw_ipic(CDC* dc, const CRect& rect, int dx, int dy, float zoom, IPicture* pic,
                          COLORREF bg) {
    if (CBitmap* bmp = get_bitmap_from_ipic(pic)) draw_bitmap(dc, rect, dx, dy, zoom, *bmp, bg);
}

void bitmapfun::flip_bitmap_hor(CBitmap& bmp) {
    BITMAP bm{};
    if (!dib_section_of(bmp, bm)) return;
    auto* bits = static_cast<BYTE*>(bm.bmBits);
    for (int y = 0; y < bm.bmHeight; ++y)
        mirror_row(bits + static_cast<ptrdiff_t>(y) * bm.bmWidthBytes, bm.bmWidth, bm.bmBitsPixel);
}

void bitmapfun::flip_bitmap_ver(CBitmap& bmp) {
    BITMAP bm{};
    if (!dib_section_of(bmp, bm)) return;
    auto* bits = static_cast<BYTE*>(bm.bmBits);
    const ptrdiff_t stride = bm.bmWidthBytes;
    for (int i = 0; i < bm.bmHeight / 2; ++i)
        std::swap_ranges(bits + i * stride, bits + (i + 1) * stride, bits + (bm.bmHeight - 1 - i) * stride);
}

CSuperDC::~CSuperDC() {
    end_attach();
}

void CSuperDC::attach(CDC* dc) {
    end_attach();
    if (!dc) return;
    dc_ = dc;
    old_pen_ = GetCurrentObject(*dc, OBJ_PEN);
    old_brush_ = GetCurrentObject(*dc, OBJ_BRUSH);
    old_font_ = GetCurrentObject(*dc, OBJ_FONT);
    old_bitmap_ = GetCurrentObject(*dc, OBJ_BITMAP);
    BITMAP bm{};
    rect_.SetRect(0, 0, 0, 0);
    if (old_bitmap_ && GetObject(old_bitmap_, sizeof(bm), &bm)) rect_.SetRect(0, 0, bm.bmWidth, bm.bmHeight);
}

void CSuperDC::end_attach() {
    if (!dc_) return;
    for (HGDIOBJ old : {old_pen_, old_brush_, old_font_, old_bitmap_})
        if (old) SelectObject(*dc_, old);
    dc_ = nullptr;
    old_pen_ = old_brush_ = old_font_ = old_bitmap_ = nullptr;
}

template <class T> void CSuperDC::replace_own(T& own, HGDIOBJ created) {
    if (!created) return;
    if (dc_) SelectObject(*dc_, created);
    own.DeleteObject();
    own.Attach(created);
}

void CSuperDC::set_pen(COLORREF color, int width, int style) {
    replace_own(pen_, CreatePen(style, width, color));
}

void CSuperDC::set_pen(CPen* pen) {
    if (pen && dc_) SelectObject(*dc_, pen->GetSafeHandle());
}

void CSuperDC::set_brush(COLORREF color) {
    replace_own(brush_, CreateSolidBrush(color));
}

void CSuperDC::set_brush(CBrush* brush) {
    if (brush && dc_) SelectObject(*dc_, brush->GetSafeHandle());
}

void CSuperDC::set_font(int font_type, int height) {
    CFont created;
    if (create_font(font_type, height, created)) replace_own(font_, created.Detach());
}

void CSuperDC::set_transprent_bk_mode(int transparent) {
    if (dc_) SetBkMode(*dc_, transparent ? TRANSPARENT : OPAQUE);
}

void CSuperDC::set_text_color(COLORREF color) {
    if (dc_) SetTextColor(*dc_, color);
}

void CSuperDC::draw_line(const POINT& from, const POINT& to) {
    if (!dc_) return;
    MoveToEx(*dc_, from.x, from.y, nullptr);
    LineTo(*dc_, to.x, to.y);
}

void CSuperDC::draw_cross(const POINT& c, int size, COLORREF color) {
    set_pen(color, 1, PS_SOLID);
    draw_line(POINT{c.x - size + 1, c.y}, POINT{c.x + size, c.y});
    draw_line(POINT{c.x, c.y - size + 1}, POINT{c.x, c.y + size});
}

int CSuperDC::create_font(int font_type, int height, CFont& out) {
    out.DeleteObject();
    const char* face = font_type == 0 ? "Arial" : font_type == 1 ? "宋体" : nullptr;
    return out.CreateFont(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                          CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, face)
               ? 1
               : 0;
}
