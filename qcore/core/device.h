#pragma once
// The one rendering device of the application: created windowed for the host's main window with a fixed
// order of fallbacks, reset for a new desktop mode or antialiasing level with the local-object walks
// around the reset, and owner of the render-state manager.
#include <qcore/core/core.h>
#include <qcore/platform/d3d8/d3d8.h>
#include <qcore/platform/win32/cstring.h>

class CWnd;
class CRsMan;

struct CREATE_PARS {
    UINT adapter = 0;
    D3DDEVTYPE dev_type = D3DDEVTYPE_HAL;
    HWND focus_wnd = nullptr;
    DWORD behavior = 0;
    D3DPRESENT_PARAMETERS pp{};
};

class CDevice {
public:
    explicit CDevice(gCore* core);
    virtual ~CDevice();
    CDevice(const CDevice&) = delete;
    CDevice& operator=(const CDevice&) = delete;

    virtual int confirm_device(D3DCAPS8*, DWORD, D3DFORMAT) { return 1; }
    virtual void on_exit_fs_mode() {}

    IDirect3D8* get_d3d() const { return d3d; }
    IDirect3DDevice8* get_dev() const { return dev; }
    operator IDirect3DDevice8*() const { return dev; }
    const D3DCAPS8& get_caps() const { return caps; }
    const CREATE_PARS& get_cp() const { return cp; }
    int is_vsync() const { return vsync; }
    const D3DDISPLAYMODE& get_fs_dismode() const { return fs_dismode; }
    const D3DDISPLAYMODE& get_origin_dismode() const { return origin_dismode; }
    int is_corrupt() const { return corrupt; }
    CRsMan* get_rs_man() const { return rs_man; }
    int get_bbuf_width() const { return static_cast<int>(cp.pp.BackBufferWidth); }
    int get_bbuf_height() const { return static_cast<int>(cp.pp.BackBufferHeight); }
    int have_zbuf() const { return cp.pp.EnableAutoDepthStencil ? 1 : 0; }
    int get_cur_aa() const { return static_cast<int>(cp.pp.MultiSampleType); }

    // 1 on success; 0 after telling the user why (width or height -1: the desktop's size).
    int create_windowed_device(CWnd* window, D3DFORMAT depth_format, int width, int height);
    int reset_device();
    int reset_aa(int multisample_type);
    int is_aa_supperted(int multisample_type);

    void begin_corrupt() { ++corrupt; }
    void end_corrupt();

    void DeleteLocalObjects();
    void RestoreLocalObjects();

    CString get_device_type() const;
    CString get_vp_mode() const;
    int get_stencil_bitcount() const;

    IDirect3D8* d3d = nullptr;
    IDirect3DDevice8* dev = nullptr;
    D3DCAPS8 caps{};
    CREATE_PARS cp{};
    int vsync = 0;
    D3DDISPLAYMODE fs_dismode{};
    D3DDISPLAYMODE origin_dismode{};
    int corrupt = 0;
    CRsMan* rs_man = nullptr;
    gCore* core = nullptr;

private:
    static void fill_d3dpp(D3DPRESENT_PARAMETERS& pp, BOOL windowed, HWND window, D3DFORMAT back_format,
                           D3DFORMAT depth_format, int width, int height, int vsync);
    HRESULT local_reset_device(D3DPRESENT_PARAMETERS& pp);
    void after_reset();
};

// "未知Cpu" unless the processor key of the registry names the processor.
const char* GetCpuType();
// The processor's clock, measured over a 100 ms sleep, as "%d.%d MHz".
const char* GetCpuMainFrequency();
CString GetVideoCardType(IDirect3D8* d3d);
// "total_mem" of section "video_card" in vcardinfo.ini of the Windows folder; 32000000 without it.
int get_total_video_mem_in_bytes();
// Starts the video-card information program installed beside the library, which writes vcardinfo.ini.
void invoke_vcard_info_app();
