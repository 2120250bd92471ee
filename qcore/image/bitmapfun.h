#pragma once
// Preview bitmaps: any supported image file as a GDI bitmap of a requested size, bitmaps scaled with
// optional letterboxing, drawn zoomed and panned inside a rectangle, and mirrored in place; and a drawing
// wrapper over a device context.
#include <qcore/image/img_channel.h>
#include <qcore/platform/d3d8/d3d8.h>
#include <qcore/platform/win32/afxgdi.h>
#include <qcore/platform/win32/ole.h>

class bitmapfun {
public:
    // Width or height 0 keeps the image's own. BMP and JPEG files have no alpha: IMG_CHANNEL_ALPHA gives 0
    // for them. An animated texture shows its first frame with a caption.
    static int load_any_file_to_bitmap(IDirect3DDevice8* dev, const char* name, CBitmap& out, int width,
                                       int height, int keep_aspect, IMG_CHANNEL channel, COLORREF bg);
    // A BMP or JPEG file as a picture the caller releases; null (after a message when the file cannot be
    // opened) on failure.
    static IPicture* load_any_file_to_ipic(const char* name);
    // The picture's own bitmap as a temporary wrapper; null for a null picture.
    static CBitmap* get_bitmap_from_ipic(IPicture* pic);
    static BITMAP get_ipic_info(IPicture* pic);

    static int scale_bitmap(CBitmap& src, CBitmap& out, int width, int height, int keep_aspect);
    // The bitmap zoomed by `zoom` and centred in rect, moved by (dx, dy); the rest of rect is filled with
    // bg. A zoom that is not positive draws only the background.
    static void draw_bitmap(CDC* dc, const CRect& rect, int dx, int dy, float zoom, CBitmap& bmp,
                            COLORREF bg);
    static void draw_ipic(CDC* dc, const CRect& rect, int dx, int dy, float zoom, IPicture* pic, COLORREF bg);

    // In place, on a DIB section of any depth; other bitmaps are left as they are.
    static void flip_bitmap_hor(CBitmap& bmp);
    static void flip_bitmap_ver(CBitmap& bmp);

private:
    static int load_any(IDirect3DDevice8* dev, const char* name, CBitmap& out, int width, int height,
                        int keep_aspect, IMG_CHANNEL channel, COLORREF bg, bool inside_atx);
};

// Draws with its own pen, brush and font on a device context and gives the context its own objects back
// when done.
class CSuperDC {
public:
    CSuperDC() = default;
    explicit CSuperDC(CDC* dc) { attach(dc); }
    ~CSuperDC();
    CSuperDC(const CSuperDC&) = delete;
    CSuperDC& operator=(const CSuperDC&) = delete;

    // Records the context's pen, brush, font and bitmap; the rectangle becomes the bitmap's.
    void attach(CDC* dc);
    // Selects the recorded objects back.
    void end_attach();
    CDC* get_dc() const { return dc_; }
    const CRect& get_rect() const { return rect_; }

    void set_pen(COLORREF color, int width, int style);
    void set_pen(CPen* pen);
    void set_brush(COLORREF color);
    void set_brush(CBrush* brush);
    // A font of create_font's kinds, owned and selected.
    void set_font(int font_type, int height);
    void set_transprent_bk_mode(int transparent);
    void set_text_color(COLORREF color);
    void draw_line(const POINT& from, const POINT& to);
    void draw_cross(const POINT& centre, int size, COLORREF color);

    // Face "Arial" for type 0, "宋体" for type 1, none otherwise; deletes any font attached to out first.
    static int create_font(int font_type, int height, CFont& out);

private:
    // Selects a new object of its own, then deletes the old one (a selected object cannot be deleted).
    template <class T> void replace_own(T& own, HGDIOBJ created);

    CDC* dc_ = nullptr;
    CRect rect_;
    HGDIOBJ old_pen_ = nullptr, old_brush_ = nullptr, old_font_ = nullptr, old_bitmap_ = nullptr;
    CPen pen_;
    CBrush brush_;
    CFont font_;
    CBitmap bitmap_;
};
