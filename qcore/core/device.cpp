#include <qcore/core/device.h>
#include <qcore/core/rs_man.h>
#include <qcore/platform/win32/afxwin.h>
#include <qcore/platform/win32/message_box.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

bool unusable_desktop(D3DFORMAT format) {
    return format == D3DFMT_R8G8B8 || format == D3DFMT_P8;
}

const D3DMATRIX kIdentity = {{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}}};

} // namespace

CDevice::CDevice(gCore* core_) : core(core_) {
    fs_dismode.Width = 800;
    fs_dismode.Height = 600;
    fs_dismode.RefreshRate = 0;
    fs_dismode.Format = D3DFMT_X8R8G8B8;
}

CDevice::~CDevice() {
    delete rs_man;
    rs_man = nullptr;
    if (dev) dev->Release();
    dev = nullptr;
    if (d3d) d3d->Release();
    d3d = nullptr;
}

void CDevice::end_corrupt() {
    --corrupt;
    if (corrupt < 0) AfxMessageBox("err end corrupt", MB_OK, 0);
}

void CDevice::fill_d3dpp(D3DPRESENT_PARAMETERS& pp, BOOL windowed, HWND window, D3DFORMAT back_format,
                         D3DFORMAT depth_format, int width, int height, int vsync_) {
    pp = D3DPRESENT_PARAMETERS{};
    pp.BackBufferWidth = static_cast<UINT>(width);
    pp.BackBufferHeight = static_cast<UINT>(height);
    pp.BackBufferFormat = back_format;
    pp.BackBufferCount = 1;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.hDeviceWindow = window;
    pp.Windowed = windowed;
    pp.AutoDepthStencilFormat = depth_format;
    pp.EnableAutoDepthStencil = depth_format != D3DFMT_UNKNOWN;
    if (windowed) {
        pp.FullScreen_RefreshRateInHz = 0;
        pp.FullScreen_PresentationInterval = 0;
    } else {
        pp.FullScreen_RefreshRateInHz = 85;
        pp.FullScreen_PresentationInterval = vsync_ ? D3DPRESENT_INTERVAL_ONE : D3DPRESENT_INTERVAL_IMMEDIATE;
    }
}

int CDevice::create_windowed_device(CWnd* window, D3DFORMAT depth_format, int width, int height) {
    // The device is made once: a second one would orphan the first and everything made on it.
    if (dev) {
        AfxMessageBox("device already created", MB_OK, 0);
        return 0;
    }
    begin_corrupt();
    // A Direct3D object left by a failed creation is not kept twice.
    if (d3d) d3d->Release();
    d3d = Direct3DCreate8(D3D_SDK_VERSION);
    if (!d3d) {
        AfxMessageBox("创建Dx8对象失败！请安装DirectX8.1或更高版本，或升级您的显卡驱动！", MB_OK, 0);
        end_corrupt();
        return 0;
    }
    d3d->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &origin_dismode);
    if (unusable_desktop(origin_dismode.Format)) {
        AfxMessageBox("请将您的显示模式设置为16或32位色模式，否则Quorvantix无法运行!", MB_OK, 0);
        end_corrupt();
        return 0;
    }
    if (width == -1 || height == -1) {
        width = static_cast<int>(origin_dismode.Width);
        height = static_cast<int>(origin_dismode.Height);
    }
    CREATE_PARS pars;
    fill_d3dpp(pars.pp, TRUE, nullptr, origin_dismode.Format, depth_format, width, height, 0);
    pars.adapter = 0;
    pars.dev_type = D3DDEVTYPE_HAL;
    pars.focus_wnd = window ? window->GetSafeHwnd() : nullptr;

    const D3DFORMAT depth_tries[] = {D3DFMT_D24S8, D3DFMT_D16};
    const DWORD vp_tries[] = {D3DCREATE_HARDWARE_VERTEXPROCESSING, D3DCREATE_MIXED_VERTEXPROCESSING,
                              D3DCREATE_SOFTWARE_VERTEXPROCESSING};
    IDirect3DDevice8* created = nullptr;
    for (D3DFORMAT depth : depth_tries) {
        pars.pp.AutoDepthStencilFormat = depth;
        for (DWORD vp : vp_tries) {
            pars.behavior = vp;
            D3DPRESENT_PARAMETERS pp = pars.pp;
            if (SUCCEEDED(
                    d3d->CreateDevice(pars.adapter, pars.dev_type, pars.focus_wnd, vp, &pp, &created))) {
                // The device fills in what was left open (a 0 by 0 back buffer takes the window's size).
                pars.pp = pp;
                break;
            }
            created = nullptr;
        }
        if (created) break;
    }
    if (!created) {
        AfxMessageBox(
            "初始化Quorvantix失败！可能是以下的原因之一：\n\n1. "
            "显存不足，请关闭其他会占用显存的软件，如3dsmax，Quorvantix，三维游戏等，然后再试一次。\n\n2. "
            "需要升级或重新安装显卡驱动。",
            MB_OK, 0);
        end_corrupt();
        return 0;
    }
    dev = created;
    cp = pars;
    rs_man = new CRsMan(core);
    rs_man->init(dev);
    dev->SetTransform(D3DTS_WORLD, &kIdentity);
    dev->GetDeviceCaps(&caps);
    end_corrupt();
    return 1;
}

void CDevice::after_reset() {
    dev->SetTransform(D3DTS_WORLD, &kIdentity);
    dev->GetDeviceCaps(&caps);
}

HRESULT CDevice::local_reset_device(D3DPRESENT_PARAMETERS& pp) {
    begin_corrupt();
    DeleteLocalObjects();
    const HRESULT hr = dev->Reset(&pp);
    RestoreLocalObjects();
    after_reset();
    end_corrupt();
    return hr;
}

int CDevice::reset_device() {
    if (!dev) return 0;
    begin_corrupt();
    D3DDISPLAYMODE mode{};
    d3d->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode);
    if (unusable_desktop(mode.Format)) {
        AfxMessageBox("Quorvantix CAN'T Run at 8 or 24bit color mode, Please set it to 16 or 32 bit!", MB_OK,
                      0);
        end_corrupt();
        return 0;
    }
    CREATE_PARS next = cp;
    next.pp.BackBufferWidth = mode.Width;
    next.pp.BackBufferHeight = mode.Height;
    next.pp.BackBufferFormat = mode.Format;
    if (FAILED(local_reset_device(next.pp))) {
        AfxMessageBox("Reset Err !!! You can save your work and exit !", MB_OK, 0);
        end_corrupt();
        return 0;
    }
    cp = next;
    end_corrupt();
    return 1;
}

int CDevice::reset_aa(int multisample_type) {
    if (!dev) return 0;
    if (!is_aa_supperted(multisample_type)) return 0;
    if (multisample_type == get_cur_aa()) return 1;
    begin_corrupt();
    CREATE_PARS next = cp;
    next.pp.MultiSampleType = static_cast<D3DMULTISAMPLE_TYPE>(multisample_type);
    const HRESULT hr = local_reset_device(next.pp);
    if (FAILED(hr)) {
        MsgErr(hr, "Err Reset Antialiase!");
        end_corrupt();
        return 0;
    }
    cp = next;
    end_corrupt();
    return 1;
}

int CDevice::is_aa_supperted(int multisample_type) {
    if (!d3d) return 0;
    const auto type = static_cast<D3DMULTISAMPLE_TYPE>(multisample_type);
    return SUCCEEDED(d3d->CheckDeviceMultiSampleType(cp.adapter, cp.dev_type, cp.pp.BackBufferFormat, TRUE,
                                                     type)) &&
                   SUCCEEDED(d3d->CheckDeviceMultiSampleType(cp.adapter, cp.dev_type,
                                                             cp.pp.AutoDepthStencilFormat, TRUE, type))
               ? 1
               : 0;
}

namespace {
// Both walks of the local-object broadcast: one progress step per object, in registration order. The walk
// runs over a copy, as a callback may destroy objects (itself or others); one that is gone by its turn is
// skipped, and objects made during the walk wait for the next one.
template <class Call> void walk_local_objects(gCore* core, const char* title, Call call) {
    const std::list<CLocalObj*>& live = *core->local_objs;
    const std::vector<CLocalObj*> objs(live.begin(), live.end());
    CProgressBar bar(core->status, static_cast<int>(objs.size()), title);
    for (CLocalObj* obj : objs) {
        bar.tick();
        if (std::find(live.begin(), live.end(), obj) != live.end()) call(obj);
    }
}
} // namespace

void CDevice::DeleteLocalObjects() {
    walk_local_objects(core, "Deleting local objects...",
                       [](CLocalObj* o) { o->v_on_delete_local_objects(); });
}

void CDevice::RestoreLocalObjects() {
    walk_local_objects(core, "Reloading...", [](CLocalObj* o) { o->v_on_restore_local_objects(); });
}

CString CDevice::get_device_type() const {
    switch (cp.dev_type) {
    case D3DDEVTYPE_HAL:
        return "HAL";
    case D3DDEVTYPE_REF:
        return "REF";
    case D3DDEVTYPE_SW:
        return "SW";
    default:
        return "unknow";
    }
}

CString CDevice::get_vp_mode() const {
    if (cp.behavior & D3DCREATE_HARDWARE_VERTEXPROCESSING) return "hw vp";
    if (cp.behavior & D3DCREATE_MIXED_VERTEXPROCESSING) return "mix vp";
    if (cp.behavior & D3DCREATE_PUREDEVICE) return "PureDevice";
    if (cp.behavior & D3DCREATE_SOFTWARE_VERTEXPROCESSING) return "sw vp";
    return "unknow";
}

int CDevice::get_stencil_bitcount() const {
    if (!have_zbuf()) return 0;
    switch (cp.pp.AutoDepthStencilFormat) {
    case D3DFMT_D24S8:
        return 8;
    case D3DFMT_D16:
    case D3DFMT_D32:
        return 0;
    default:
        AfxMessageBox("unknow stencil fmt", MB_OK, 0);
        return 0;
    }
}
