#pragma once
// Saving what was rendered: a rectangle of the render target, or any surface, converted and scaled to
// 32 bits and written as a 24-bit BMP or a JPEG file.
#include <qcore/core/my_com.h>
#include <qcore/platform/d3d8/d3d8.h>
#include <qcore/platform/win32/mfc_types.h>

// A 32-bit surface with the rectangle of it to export (empty: the whole surface). Holds a reference.
class exportable_sur32 {
public:
    exportable_sur32() = default;
    exportable_sur32(IDirect3DSurface8* s, const RECT& r);
    exportable_sur32(const exportable_sur32& o) : exportable_sur32(o.surface, o.rect) {}
    exportable_sur32& operator=(const exportable_sur32& o);
    ~exportable_sur32() { reset(); }

    void reset();
    int is_valid() const { return surface ? 1 : 0; }

    IDirect3DSurface8* surface = nullptr;
    RECT rect{0, 0, 0, 0};
};

class surfacefun {
public:
    // A null rectangle means the whole render target, a (0, 0) size the rectangle's own size.
    static int save_render_target_to_file(IDirect3DDevice8* dev, const CRect& rect, const CSize& size,
                                          const char* file);
    // A copy of a rectangle of the render target; null (after a message) when the rectangle does not lie
    // inside the target or a call fails.
    static CMyComPtr<IDirect3DSurface8> create_sur_and_copy_from_render_target(IDirect3DDevice8* dev,
                                                                               const CRect& rect);
    static int save_surface_to_file(IDirect3DDevice8* dev, IDirect3DSurface8* sur, const CRect& rect,
                                    const CSize& size, const char* file);
    // A new w x h surface of the source's format holding the whole source, filtered; the caller releases it.
    static IDirect3DSurface8* scal_sur_with_same_fmt(IDirect3DDevice8* dev, IDirect3DSurface8* sur, UINT w,
                                                     UINT h);

protected:
    static exportable_sur32 convert_to_exportable_sur32(IDirect3DDevice8* dev, IDirect3DSurface8* sur,
                                                        const CRect& rect, const CSize& size);
    // Both write the surface's rectangle (all of it when the rectangle is empty).
    static int save_sur32_to_bmp(const exportable_sur32& sur, const char* file);
    static int save_sur32_to_jpg(const exportable_sur32& sur, const char* file);
};
