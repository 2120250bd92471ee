#include <qcore/view/base_vport.h>

#include <qcore/core/device.h>
#include <qcore/core/render_window.h>

#include <algorithm>
#include <cmath>

namespace {

D3DVIEWPORT8 vport_of(const CRect& r, float min_z, float max_z) {
    return {static_cast<DWORD>(r.left),
            static_cast<DWORD>(r.top),
            static_cast<DWORD>(r.Width()),
            static_cast<DWORD>(r.Height()),
            min_z,
            max_z};
}

} // namespace

CBaseVport::CBaseVport() = default;

CBaseVport::~CBaseVport() {
    if (wnd && wnd->get_view() == this) wnd->set_view(nullptr);
}

void CBaseVport::update_view() {
    if (begin_render()) end_render();
}

IDirect3DDevice8* CBaseVport::get_dev() const {
    return device ? device->get_dev() : nullptr;
}

void CBaseVport::init_3d_envment(CDevice* dev, int scale) {
    device = dev;
    aa_scale = scale;
}

void CBaseVport::set_wnd(CRenderWindow* window) {
    wnd = window;
    if (wnd) update_aera_calculations();
}

CRect CBaseVport::client_rect() const {
    CRect r;
    if (wnd && wnd->GetSafeHwnd()) wnd->GetClientRect(&r);
    return r;
}

void CBaseVport::update_aera_calculations() {
    const CRect client = client_rect();
    client_size = CSize(std::max(0, client.Width()), std::max(0, client.Height()));
    const int scale = std::max(1, aa_scale);
    double w = double(client_size.cx) * scale, h = double(client_size.cy) * scale;
    // The region must fit the back buffer: a larger one shrinks as a whole, so its ratio stays the window's.
    const int bw = device ? device->get_bbuf_width() : 0, bh = device ? device->get_bbuf_height() : 0;
    if (bw > 0 && bh > 0 && (w > bw || h > bh)) {
        const double fit = std::min(bw / w, bh / h);
        w = std::min(double(bw), std::floor(w * fit));
        h = std::min(double(bh), std::floor(h * fit));
    }
    rect = {0, 0, static_cast<DWORD>(w), static_cast<DWORD>(h), 0.0f, 1.0f};
    get_aera_cfg().recal_aera(CRect(0, 0, static_cast<int>(w), static_cast<int>(h)), work_aera, outer_bars,
                              aera_3d, inner_bands);
}

bool CBaseVport::is_window_valid() const {
    if (!wnd || !IsWindow(wnd->GetSafeHwnd()) || wnd->IsIconic()) return false;
    const CRect client = client_rect();
    return client.Width() > 0 && client.Height() > 0;
}

CPoint CBaseVport::client_to_bbuf(CPoint p) const {
    if (client_size.cx <= 0 || client_size.cy <= 0) return p;
    return CPoint(static_cast<int>(std::floor(double(p.x) * rect.Width / client_size.cx)),
                  static_cast<int>(std::floor(double(p.y) * rect.Height / client_size.cy)));
}

VEC CBaseVport::client_to_bbuf(const VEC& p) const {
    if (client_size.cx <= 0 || client_size.cy <= 0) return p;
    return VEC(p.x * float(rect.Width) / float(client_size.cx),
               p.y * float(rect.Height) / float(client_size.cy), p.z);
}

DWORD CBaseVport::clear_flags() const {
    DWORD flags = D3DCLEAR_TARGET;
    if (device && device->have_zbuf()) flags |= D3DCLEAR_ZBUFFER;
    if (device && device->get_stencil_bitcount() > 0) flags |= D3DCLEAR_STENCIL;
    return flags;
}

void CBaseVport::clear_rect(const CRect& r, D3DCOLOR colour) {
    IDirect3DDevice8* dev = get_dev();
    if (!dev || r.IsRectEmpty()) return;
    FRect f;
    f = static_cast<const RECT&>(r);
    if (camera.get_ss_info().on) {
        const MAT block = camera.get_rhw_matrix_when_aa(this);
        f.transf_frect(&block);
        if (!f.intsect_with_rect(FRect(0, 0, float(rect.Width), float(rect.Height)))) return;
    }
    D3DRECT d;
    f.apply_to_D3DRECT(d);
    dev->Clear(1, &d, clear_flags(), colour, 1.0f, 0);
}

void CBaseVport::erase_bg_outof_work_aera() {
    const D3DCOLOR colour = get_aera_cfg().get_color_outof_workaera();
    for (const CRect& bar : outer_bars)
        clear_rect(bar, colour);
}

void CBaseVport::erase_bg_of_work_aera() {
    for (const CRect& band : inner_bands)
        clear_rect(band, 0xff000000);
    clear_rect(aera_3d, 0xff808080);
}

bool CBaseVport::begin_render() {
    IDirect3DDevice8* dev = get_dev();
    if (!dev || !is_window_valid()) return false;
    if (static_cast<int>(rect.Width) > device->get_bbuf_width() ||
        static_cast<int>(rect.Height) > device->get_bbuf_height())
        update_aera_calculations();
    if (rect.Width == 0 || rect.Height == 0) return false;
    if (FAILED(dev->SetViewport(&rect)) || FAILED(dev->BeginScene())) return false;
    erase_bg_outof_work_aera();
    erase_bg_of_work_aera();
    MAT world;
    D3DXMatrixIdentity(&world);
    dev->SetTransform(D3DTS_WORLD, &world);
    return true;
}

void CBaseVport::end_render() {
    IDirect3DDevice8* dev = get_dev();
    if (!dev || !is_window_valid()) return;
    dev->EndScene();
    present_backbuffer();
}

void CBaseVport::present_backbuffer() {
    IDirect3DDevice8* dev = get_dev();
    if (!dev || !is_window_valid()) return;
    const RECT source{0, 0, static_cast<LONG>(rect.Width), static_cast<LONG>(rect.Height)};
    const CRect dest = client_rect();
    dev->Present(&source, &dest, wnd->GetSafeHwnd(), nullptr);
}

int CBaseVport::set_3d_aera_as_vport(D3DVIEWPORT8& saved) {
    IDirect3DDevice8* dev = get_dev();
    if (!dev) return 0;
    D3DVIEWPORT8 vp = vport_of(aera_3d, 0.0f, 1.0f);
    if (camera.get_ss_info().on) {
        FRect f;
        f = static_cast<const RECT&>(aera_3d);
        const MAT block = camera.get_rhw_matrix_when_aa(this);
        f.transf_frect(&block);
        if (!f.intsect_with_rect(FRect(0, 0, float(rect.Width), float(rect.Height)))) return 0;
        f.apply_to_vport(vp);
    }
    if (vp.Width == 0 || vp.Height == 0) return 0;
    if (FAILED(dev->GetViewport(&saved))) return 0;
    return SUCCEEDED(dev->SetViewport(&vp)) ? 1 : 0;
}

void CBaseVport::restore_vport(const D3DVIEWPORT8* saved) {
    IDirect3DDevice8* dev = get_dev();
    if (dev && saved) dev->SetViewport(saved);
}

D3DVIEWPORT8 CBaseVport::picking_vport() {
    return vport_of(aera_3d, camera.get_near_plane(), camera.get_far_plane());
}

int CBaseVport::proj_3dpos_to_screen(const VEC& pos, VEC& screen, const MAT* world) {
    MAT proj, w;
    camera.get_proj_matrix(this, &proj);
    if (!world) D3DXMatrixIdentity(&w);
    const D3DVIEWPORT8 vp = picking_vport();
    VEC out;
    D3DXVec3Project(&out, &pos, &vp, &proj, &camera.get_view_matrix(), world ? world : &w);
    // Drawn in back-buffer pixels, shown scaled into the client area.
    const float sx = rect.Width ? float(client_size.cx) / float(rect.Width) : 1.0f;
    const float sy = rect.Height ? float(client_size.cy) / float(rect.Height) : 1.0f;
    screen = VEC(out.x * sx, out.y * sy, out.z);
    return out.z >= camera.get_near_plane() && out.z <= camera.get_far_plane() ? 1 : 0;
}

VEC CBaseVport::proj_screen_pos_to_3d(const VEC& screen, const MAT* world) {
    if (!(screen.z >= camera.get_near_plane() && screen.z <= camera.get_far_plane())) return VEC(0, 0, 0);
    MAT proj, w;
    camera.get_proj_matrix(this, &proj);
    if (!world) D3DXMatrixIdentity(&w);
    const float sx = client_size.cx ? float(rect.Width) / float(client_size.cx) : 1.0f;
    const float sy = client_size.cy ? float(rect.Height) / float(client_size.cy) : 1.0f;
    const VEC in(screen.x * sx, screen.y * sy, screen.z);
    const D3DVIEWPORT8 vp = picking_vport();
    VEC out;
    if (!D3DXVec3Unproject(&out, &in, &vp, &proj, &camera.get_view_matrix(), world ? world : &w))
        return VEC(0, 0, 0);
    return out;
}
