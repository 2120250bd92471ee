#pragma once
// An off-screen render target: a render-target texture with an optional depth-stencil surface that drawing
// switches to between begin_render and end_render. It holds default-pool resources, so it releases them
// before a device reset and builds them again after.
#include <qcore/core/core.h>
#include <qcore/geom/math3d.h>
#include <qcore/platform/d3d8/d3d8.h>
#include <qcore/platform/win32/com.h>
#include <qcore/platform/win32/com_ref.h>

class CTimer;

class CRenderTarget : public CLocalObj {
public:
    // Null after telling the user why the texture or the depth surface could not be made. Sizes that are
    // not powers of two are reported and still tried. The caller owns the target.
    static CRenderTarget* create(gCore* core, int width, int height, D3DFORMAT tex_format, bool with_zbuf,
                                 D3DFORMAT zbuf_format);
    ~CRenderTarget() override;
    // A copy would hold the default-pool texture without taking part in the reset walks.
    CRenderTarget(const CRenderTarget&) = delete;
    CRenderTarget& operator=(const CRenderTarget&) = delete;

    void v_on_restore_local_objects() override;
    void v_on_delete_local_objects() override;

    // Switches the device to this target and clears it; false (nothing changed) without a texture, as after
    // a failed re-creation. The two flags are accepted for callers that pass them and change nothing.
    bool begin_render(bool, bool, D3DCOLOR clear_colour);
    // Back to the saved target, depth surface and viewport; nothing without a begin_render.
    void end_render();

    IDirect3DTexture8* get_texture() const { return texture.get(); }
    IDirect3DSurface8* get_zbuf() const { return zbuf.get(); }
    int get_width() const { return width; }
    int get_height() const { return height; }

private:
    CRenderTarget(gCore* core, int width, int height, D3DFORMAT tex_format, bool with_zbuf,
                  D3DFORMAT zbuf_format);
    bool init();
    void release_saved();

    int width;
    int height;
    D3DFORMAT tex_format;
    bool with_zbuf;
    D3DFORMAT zbuf_format;
    qcore::ComRef<IDirect3DTexture8> texture;
    qcore::ComRef<IDirect3DSurface8> zbuf;
    D3DVIEWPORT8 vp{};
    qcore::ComRef<IDirect3DSurface8> saved_rt;
    qcore::ComRef<IDirect3DSurface8> saved_zbuf;
    D3DVIEWPORT8 saved_vp{};
    bool rendering = false;
};

// What to show: both parts by default.
enum SHOW_FLAG : int { SHOW_FACES = 1, SHOW_HELPERS = 2, SHOW_ALL = 3 };

// Options the host hands to its own drawing code; the library does not read them.
class CRenderOption {
public:
    CRenderOption() = default;
    CRenderOption(SHOW_FLAG show, D3DFILLMODE fill, const CTimer* timer, const MAT* matrix)
        : show_flag(show), fill_mode(fill), timer(timer), matrix(matrix) {}
    CRenderOption(const CRenderOption& o);
    CRenderOption& operator=(const CRenderOption& o);
    ~CRenderOption();

    SHOW_FLAG show_flag = SHOW_ALL;
    D3DFILLMODE fill_mode = D3DFILL_SOLID;
    const CTimer* timer = nullptr;
    const MAT* matrix = nullptr;
    int value = -1;
    IUnknown* object = nullptr; // holds a reference while set
};
