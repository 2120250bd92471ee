#pragma once
// One view of the scene in one render window: renders into the top-left part of the device's back buffer
// at the window's client size times an antialiasing scale, with a work area and a 3D area inside it, and
// presents that part stretched into the window.
//
// Rectangles (work area, 3D area, bars, bands, `rect`) are in back-buffer pixels; points that come from
// or go to the window (the cursor, proj_3dpos_to_screen, proj_screen_pos_to_3d) are in client pixels.
// The two agree only at scale 1: client_to_bbuf converts.
#include <qcore/platform/d3d8/d3d8.h>
#include <qcore/platform/win32/cstring.h>
#include <qcore/platform/win32/mfc_types.h>
#include <qcore/view/aera_cfg.h>
#include <qcore/view/camera.h>

class CDevice;
class CRenderWindow;

class CBaseVport {
public:
    CBaseVport();
    virtual ~CBaseVport();
    CBaseVport(const CBaseVport&) = delete;
    CBaseVport& operator=(const CBaseVport&) = delete;

    virtual CCamera& get_camera() { return camera; }
    virtual void set_camera(const CCamera& c) { camera = c; }
    virtual CAeraCfg& get_aera_cfg() { return aera_cfg; }
    // One frame: begin_render, then end_render when that worked.
    virtual void update_view();
    virtual void erase_bg_outof_work_aera();
    virtual void erase_bg_of_work_aera();
    virtual void on_paint() { update_view(); }

    void init_3d_envment(CDevice* dev, int scale);
    void set_device(CDevice* dev) { device = dev; }
    CDevice* get_device() const { return device; }
    IDirect3DDevice8* get_dev() const;
    void set_aa_scale(int scale) { aa_scale = scale; }
    int get_aa_scale() const { return aa_scale; }
    CRenderWindow* get_wnd() const { return wnd; }
    const D3DVIEWPORT8& get_rect() const { return rect; }
    const CRect& get_work_aera() const { return work_aera; }
    const CRect& get_3d_aera() const { return aera_3d; }
    const CRect& get_outer_bar(int i) const { return outer_bars[i]; }
    const CRect& get_inner_band(int i) const { return inner_bands[i]; }
    CString get_type_name() const { return type_name; }

    // Stores the window and, when there is one, recomputes the areas.
    void set_wnd(CRenderWindow* window);
    void update_aera_calculations();
    // False without a window, with an empty client area or while the window is minimised.
    bool is_window_valid() const;

    bool begin_render();
    void end_render();
    void present_backbuffer();

    // Sets the 3D area (the current block's share of it in tiled mode) as the device viewport and gives
    // the previous one back in `saved`; 0 when nothing of it is left or the device refused.
    int set_3d_aera_as_vport(D3DVIEWPORT8& saved);
    void restore_vport(const D3DVIEWPORT8* saved);

    // World position to client pixels, z between the near and far planes; 1 when z lies within them.
    int proj_3dpos_to_screen(const VEC& pos, VEC& screen, const MAT* world = nullptr);
    // Client pixels with z between the near and far planes back to a world position; the zero vector when
    // z lies outside them.
    VEC proj_screen_pos_to_3d(const VEC& screen, const MAT* world = nullptr);

    // A client point in back-buffer pixels (screen-space drawing with pre-transformed vertices needs these).
    CPoint client_to_bbuf(CPoint p) const;
    VEC client_to_bbuf(const VEC& p) const;

protected:
    CCamera camera;
    CString type_name = "CBaseVport";
    CRenderWindow* wnd = nullptr;
    CDevice* device = nullptr;
    int aa_scale = 1;
    D3DVIEWPORT8 rect{0, 0, 0, 0, 0.0f, 1.0f};
    CRect work_aera;
    CRect aera_3d;
    CRect outer_bars[2];
    CRect inner_bands[4];
    CAeraCfg aera_cfg;

private:
    friend class CRenderWindow;
    CRect client_rect() const;
    DWORD clear_flags() const;
    void clear_rect(const CRect& r, D3DCOLOR colour);
    // The 3D area as a device viewport in back-buffer pixels, depth from near to far plane.
    D3DVIEWPORT8 picking_vport();

    CSize client_size;
};
