#include <qcore/core/render_target.h>

#include <qcore/core/device.h>
#include <qcore/platform/win32/message_box.h>

namespace {

bool power_of_two(int v) {
    return v > 0 && (v & (v - 1)) == 0;
}

IDirect3DDevice8* device_of(gCore* core) {
    return core && core->dev ? core->dev->get_dev() : nullptr;
}

} // namespace

CRenderTarget::CRenderTarget(gCore* core, int w, int h, D3DFORMAT tf, bool zb, D3DFORMAT zf)
    : CLocalObj(core), width(w), height(h), tex_format(tf), with_zbuf(zb), zbuf_format(zf) {}

CRenderTarget* CRenderTarget::create(gCore* core, int width, int height, D3DFORMAT tex_format, bool with_zbuf,
                                     D3DFORMAT zbuf_format) {
    if (!power_of_two(width) || !power_of_two(height)) AfxMessageBox("必须是2的n次方");
    auto* target = new CRenderTarget(core, width, height, tex_format, with_zbuf, zbuf_format);
    if (target->init()) return target;
    delete target;
    return nullptr;
}

CRenderTarget::~CRenderTarget() {
    release_saved();
}

bool CRenderTarget::init() {
    texture.reset();
    zbuf.reset();
    vp = {0, 0, static_cast<DWORD>(width), static_cast<DWORD>(height), 0.0f, 1.0f};
    IDirect3DDevice8* dev = device_of(core);
    if (!dev || width <= 0 || height <= 0) {
        MsgErr(D3DERR_INVALIDCALL, "err Creater RenderTo Texture");
        return false;
    }
    HRESULT hr = dev->CreateTexture(static_cast<UINT>(width), static_cast<UINT>(height), 1,
                                    D3DUSAGE_RENDERTARGET, tex_format, D3DPOOL_DEFAULT, texture.out());
    if (FAILED(hr)) {
        MsgErr(hr, "err Creater RenderTo Texture");
        return false;
    }
    if (!with_zbuf) return true;
    hr = dev->CreateDepthStencilSurface(static_cast<UINT>(width), static_cast<UINT>(height), zbuf_format,
                                        D3DMULTISAMPLE_NONE, zbuf.out());
    if (FAILED(hr)) {
        texture.reset();
        MsgErr(hr, "err Create Render to Z buf");
        return false;
    }
    return true;
}

void CRenderTarget::v_on_restore_local_objects() {
    init();
}

void CRenderTarget::v_on_delete_local_objects() {
    // An unpaired begin_render would keep the back buffer referenced through the reset.
    release_saved();
    texture.reset();
    zbuf.reset();
}

void CRenderTarget::release_saved() {
    saved_rt.reset();
    saved_zbuf.reset();
    rendering = false;
}

bool CRenderTarget::begin_render(bool, bool, D3DCOLOR clear_colour) {
    IDirect3DDevice8* dev = device_of(core);
    if (!dev || !texture || rendering) return false;
    // Get* hand out a reference of their own: the smart pointers take it over.
    if (FAILED(dev->GetRenderTarget(saved_rt.out()))) return false;
    dev->GetDepthStencilSurface(saved_zbuf.out());
    dev->GetViewport(&saved_vp);
    qcore::ComRef<IDirect3DSurface8> level;
    HRESULT hr = texture->GetSurfaceLevel(0, level.out());
    if (SUCCEEDED(hr)) hr = dev->SetRenderTarget(level.get(), zbuf.get());
    if (FAILED(hr)) {
        MsgErr(hr, "err set render target");
        release_saved();
        return false;
    }
    level.reset();
    rendering = true;
    MsgErr(dev->SetViewport(&vp), "err set viewport");
    MsgErr(dev->BeginScene(), "err begin scene");
    dev->Clear(0, nullptr, D3DCLEAR_TARGET | (zbuf ? D3DCLEAR_ZBUFFER : 0), clear_colour, 1.0f, 0);
    return true;
}

void CRenderTarget::end_render() {
    IDirect3DDevice8* dev = device_of(core);
    if (!dev || !rendering) return;
    MsgErr(dev->EndScene(), "err end scene");
    dev->SetRenderTarget(saved_rt.get(), saved_zbuf.get());
    dev->SetViewport(&saved_vp);
    release_saved();
}

CRenderOption::CRenderOption(const CRenderOption& o)
    : show_flag(o.show_flag), fill_mode(o.fill_mode), timer(o.timer), matrix(o.matrix), value(o.value),
      object(o.object) {
    if (object) object->AddRef();
}

CRenderOption& CRenderOption::operator=(const CRenderOption& o) {
    if (this == &o) return *this;
    if (o.object) o.object->AddRef();
    if (object) object->Release();
    show_flag = o.show_flag;
    fill_mode = o.fill_mode;
    timer = o.timer;
    matrix = o.matrix;
    value = o.value;
    object = o.object;
    return *this;
}

CRenderOption::~CRenderOption() {
    if (object) object->Release();
}
