#pragma once
// A device-independent 32-bit bitmap in memory: filled from image files through the extension library's
// loaders or from a GDI bitmap, delivered as colour, alpha as grey or colour over a background, colour
// adjusted, scaled into GDI bitmaps for display and saved as 24-bit BMP or JPEG files.
#include <qcore/image/img_channel.h>
#include <qcore/platform/d3d8/d3d8.h>
#include <qcore/platform/win32/afxgdi.h>

#include <vector>

class COLOR_ADJ_DATA;

class CDibitmap {
public:
    CDibitmap();
    virtual ~CDibitmap() = default;

    void clear();
    // The pixel count; non-zero means valid.
    size_t is_valid() const { return bits.size(); }
    std::vector<DWORD>& get_bits() { return bits; }
    const std::vector<DWORD>& get_bits() const { return bits; }
    const BITMAPINFO& get_info() const { return info; }
    int get_width() const { return info.bmiHeader.biWidth; }
    int get_height() const { return info.bmiHeader.biHeight; }
    // Bitmaps from image files hold their top row first, bitmaps from GDI bitmaps their bottom row first.
    bool is_top_row_first() const { return top_row_first; }

    void fill_solid_color(DWORD color);
    void adjust_color(const COLOR_ADJ_DATA& data);
    void clone_from(const CDibitmap& other);

    int create_from_HBITMAP(HBITMAP bitmap);
    int create_from_file_by_d3d(IDirect3DDevice8* dev, const char* name, IMG_CHANNEL channel, COLORREF bg);
    int create_from_file_rgb_by_d3d(IDirect3DDevice8* dev, const char* name);
    // Files without alpha give width x height black pixels and 0.
    int create_from_file_alpha_by_d3d(IDirect3DDevice8* dev, const char* name);

    // Draws the bitmap into a new width x height GDI bitmap attached to out; keep_aspect letterboxes it in
    // the window colour, flip turns it upside down (top-row-first bitmaps need it to stand upright).
    int create_scaled_bitmap_from_me(CBitmap& out, int width, int height, int keep_aspect, int flip) const;

    // Files come out right side up whichever row order the bitmap holds. The width must be a multiple of 4.
    int save_to_img_file(const char* name);
    int save_to_jpg_file(const char* name, BOOL color, int quality);
    int save_to_bmp_file(const char* name);
    // bmp_order 1: rows from the bottom up, blue, green, red (a BMP's pixel data); 0: rows from the top
    // down, red, green, blue.
    int convert_to_24bit_buf(std::vector<BYTE>& out, int bmp_order) const;

protected:
    static void fill_BITMAPINFO_32(BITMAPINFO& out, int width, int height);
    static int fill_BITMAPINFO_32_from_HBITMAP(BITMAPINFO& out, HBITMAP bitmap);
    // An A8R8G8B8 image surface holding a whole 2D image file; the caller releases it. Null on failure.
    static IDirect3DSurface8* _load_a8r8g8b8_surface_from_file(IDirect3DDevice8* dev, const char* name);
    static size_t _fill_32bit_dib_from_a8r8g8b8_surface(IDirect3DSurface8* sur, IMG_CHANNEL channel,
                                                        COLORREF bg, std::vector<DWORD>& out);

    std::vector<DWORD> bits;
    BITMAPINFO info;
    bool top_row_first = false;

private:
    int load_file(IDirect3DDevice8* dev, const char* name, IMG_CHANNEL channel, COLORREF bg);
    bool width_ok() const;
};
