#include <qcore/texture/tex_file.h>

#include <qcore/core/core.h>
#include <qcore/core/device.h>
#include <qcore/core/timer.h>
#include <qcore/data/appinfo.h>
#include <qcore/data/wait_window.h>
#include <qcore/platform/d3d8/d3dx/d3dx8tex.h>
#include <qcore/platform/d3d8/d3dx/image_codec.h>
#include <qcore/platform/win32/com_ref.h>
#include <qcore/platform/win32/file.h>
#include <qcore/platform/win32/message_box.h>
#include <qcore/texture/tex_detail.h>
#include <qcore/texture/tex_man.h>
#include <qcore/texture/texture.h>

#include <algorithm>
#include <vector>

using qcore::ComRef;

namespace {

IDirect3DDevice8* device_of(const gCore* core) {
    return core && core->dev ? core->dev->get_dev() : nullptr;
}

void log_load_error(const gCore* core, const char* subject, HRESULT hr) {
    qcore::detail::log_tex_error(core, subject, ", 贴图加载失败！错误码=", get_err_string(hr));
}

D3DFORMAT strategy_format(const gCore* core, const CTexFileCreateOpt& opt) {
    if (core && core->tex_man) return core->tex_man->get_strategy().get_format(opt.tex_type, opt.user_fmt);
    return CTexStrategy().get_format(opt.tex_type, opt.user_fmt);
}

// Maps every pixel of every level of an A8R8G8B8 texture through the table, row by row (rows may be padded
// beyond their pixels).
bool adjust_levels(const gCore* core, const char* name, IDirect3DTexture8* source, const ColorMatchTab& tab) {
    const DWORD levels = source->GetLevelCount();
    for (DWORD i = 0; i < levels; ++i) {
        D3DSURFACE_DESC desc{};
        if (FAILED(source->GetLevelDesc(i, &desc)) || desc.Format != D3DFMT_A8R8G8B8) {
            qcore::detail::log_tex_error(core, name, ", Texture Load Err! ErrCode=Not A8R8G8B8");
            return false;
        }
        D3DLOCKED_RECT locked{};
        if (FAILED(source->LockRect(i, &locked, nullptr, D3DLOCK_NOSYSLOCK))) {
            qcore::detail::log_tex_error(core, name, ", Texture Load Err! ErrCode=Lock Err");
            return false;
        }
        auto* bytes = static_cast<BYTE*>(locked.pBits);
        for (UINT y = 0; y < desc.Height; ++y) {
            auto* row = reinterpret_cast<DWORD*>(bytes + static_cast<ptrdiff_t>(y) * locked.Pitch);
            qcore::adjust_argb_pixels(tab, row, row, desc.Width);
        }
        source->UnlockRect(i);
    }
    return true;
}

bool copy_levels(const gCore* core, const char* name, IDirect3DTexture8* source, IDirect3DTexture8* target) {
    const DWORD levels = source->GetLevelCount();
    bool ok = levels == target->GetLevelCount();
    for (DWORD i = 0; ok && i < levels; ++i) {
        D3DSURFACE_DESC s{}, t{};
        ok = SUCCEEDED(source->GetLevelDesc(i, &s)) && SUCCEEDED(target->GetLevelDesc(i, &t)) &&
             s.Width == t.Width && s.Height == t.Height;
    }
    if (!ok) {
        qcore::detail::log_tex_error(core, name, ", Texture Load Err! ErrCode=Color Adjust Err");
        return false;
    }
    for (DWORD i = 0; i < levels; ++i) {
        ComRef<IDirect3DSurface8> from, to;
        if (FAILED(source->GetSurfaceLevel(i, from.out())) || FAILED(target->GetSurfaceLevel(i, to.out())))
            return false;
        const HRESULT hr = D3DXLoadSurfaceFromSurface(to.get(), nullptr, nullptr, from.get(), nullptr,
                                                      nullptr, D3DX_FILTER_NONE, 0);
        if (FAILED(hr)) {
            log_load_error(core, name, hr);
            return false;
        }
    }
    return true;
}

} // namespace

CD3Tex::CD3Tex(gCore* core_) : core(core_) {
    status.m_size = -1;
}

CD3Tex::CD3Tex(const CD3Tex& o) : tex(o.tex), filename(o.filename), status(o.status), core(o.core) {
    if (tex) tex->AddRef();
}

CD3Tex& CD3Tex::operator=(const CD3Tex& o) {
    if (o.tex) o.tex->AddRef();
    release();
    tex = o.tex;
    filename = o.filename;
    status = o.status;
    core = o.core;
    return *this;
}

CD3Tex::~CD3Tex() {
    release();
}

void CD3Tex::release() {
    if (IDirect3DTexture8* t = std::exchange(tex, nullptr)) t->Release();
}

int CD3Tex::create_d3d_tex(const char* filename_in, const CTexFileCreateOpt* opt_in, CD3Tex& target) {
    CMyWaitCursor wait;
    const CString name(filename_in ? filename_in : "");
    const CTexFileCreateOpt opt = opt_in ? *opt_in : CTexFileCreateOpt();
    gCore* core = target.core;
    if (!filefun::file_exist(name)) {
        qcore::detail::log_tex_error(core, name, ", 贴图文件未找到");
        return 0;
    }
    // The file is read once; its size and its pixels both come from these bytes.
    std::vector<uint8_t> bytes;
    const qcore::detail::FileRead read =
        qcore::detail::read_regular_file(qcore::native_path(name).c_str(), bytes);
    if (read == qcore::detail::FileRead::not_regular) {
        qcore::detail::log_tex_error(core, name, ", not a regular file");
        return 0;
    }
    IDirect3DDevice8* device = device_of(core);
    D3DXIMAGE_INFO info{};
    if (!device || read != qcore::detail::FileRead::ok ||
        FAILED(D3DXGetImageInfoFromFileInMemory(bytes.data(), static_cast<UINT>(bytes.size()), &info))) {
        qcore::detail::log_tex_error(core, name, ", 文件读取失败！");
        return 0;
    }
    if (info.Width < 8 || info.Height < 8) {
        qcore::detail::log_tex_error(core, name, ", 不支持小于8x8的贴图，请将其尺寸调整为至少8x8");
        return 0;
    }
    const qcore::TexSize size =
        qcore::tex_size_rule(static_cast<int>(info.Width), static_cast<int>(info.Height), opt);
    const UINT w = static_cast<UINT>(size.width), h = static_cast<UINT>(size.height);
    const UINT mips = static_cast<UINT>(std::max(opt.mipcount, 0));
    const D3DFORMAT format = strategy_format(core, opt);

    ComRef<IDirect3DTexture8> result;
    if (!opt.is_color_adj_effective()) {
        const HRESULT hr = D3DXCreateTextureFromFileInMemoryEx(
            device, bytes.data(), static_cast<UINT>(bytes.size()), w, h, mips, 0, format, D3DPOOL_MANAGED,
            D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr, nullptr, result.out());
        if (FAILED(hr)) {
            log_load_error(core, name, hr);
            return 0;
        }
        if (!result) {
            AfxMessageBox("create tex failed", MB_OK, 0);
            return 0;
        }
    } else {
        HRESULT hr = D3DXCreateTexture(device, w, h, mips, 0, format, D3DPOOL_MANAGED, result.out());
        if (FAILED(hr)) {
            log_load_error(core, name, hr);
            return 0;
        }
        ComRef<IDirect3DTexture8> source;
        hr = D3DXCreateTextureFromFileInMemoryEx(device, bytes.data(), static_cast<UINT>(bytes.size()), w, h,
                                                 mips, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, D3DX_DEFAULT,
                                                 D3DX_DEFAULT, 0, nullptr, nullptr, source.out());
        if (FAILED(hr) || !source) {
            log_load_error(core, name, FAILED(hr) ? hr : E_FAIL);
            return 0;
        }
        ColorMatchTab tab;
        CColorAdjFun::cal_match_tab(opt.color_adj, tab);
        if (!adjust_levels(core, name, source.get(), tab) ||
            !copy_levels(core, name, source.get(), result.get()))
            return 0;
    }
    target.release();
    target.tex = result.detach();
    target.filename = name;
    filefun::get_file_status(name, target.status);
    return 1;
}

CTexFile::CTexFile(gCore* core_) : core(core_) {
    status.m_size = -1;
}

CTexFile::~CTexFile() {
    release_all_d3texs();
}

void CTexFile::reset_default() {
    release_all_d3texs();
    abs_tex_filename.Empty();
    status = CFileStatus{};
    status.m_size = -1;
    ref_textures.clear();
    create_opt.reset_default();
    flag = 0;
}

int CTexFile::is_enable() const {
    return std::any_of(ref_textures.begin(), ref_textures.end(),
                       [](const ITexture* t) { return t->is_enable(); });
}

IDirect3DTexture8* CTexFile::get_current_d3d_tex(const CTimer* timer, const CAtxPars& pars) const {
    if (d3d_texs.empty()) return nullptr;
    IDirect3DTexture8* first = d3d_texs.front().tex;
    if (!timer || d3d_texs.size() == 1) return first;
    const int index = tman.find_frame_index(pars.animation_time(timer->get_elapse_time()));
    if (index < 0 || static_cast<size_t>(index) >= d3d_texs.size()) return first;
    // A frame that failed to build has no texture: the first frame stands in for it.
    IDirect3DTexture8* frame = d3d_texs[static_cast<size_t>(index)].tex;
    return frame ? frame : first;
}

int CTexFile::apply_new_format(const CTexFileCreateOpt& opt) {
    const int rebuild = create_opt.does_need_rebuild_if_changed(opt);
    create_opt = opt;
    return rebuild;
}

int CTexFile::apply_new_filename(const char* name) {
    if (qcore::compare_no_case(abs_tex_filename.view(), name ? name : "") == 0) return 0;
    abs_tex_filename = name;
    return 1;
}

int CTexFile::check_disk_file_updated(CString& replacement) const {
    if (!filefun::file_exist(abs_tex_filename) &&
        filefun::find_exist_brother_img_filename(abs_tex_filename, replacement))
        return FS_REPLACED;
    if (const int r = filefun::file_changed(abs_tex_filename, status)) return r;
    for (const CD3Tex& t : d3d_texs)
        if (const int r = filefun::file_changed(t.filename, t.status)) return r;
    return FS_SAME;
}

void CTexFile::update_loaded_status_by_ref_parents(int force) {
    reload_or_unload(is_enable(), force);
}

void CTexFile::reload_or_unload(int enable, int force) {
    if (!enable) {
        release_all_d3texs();
        return;
    }
    if (force || !is_loaded()) rebuild_all_texs();
}

int CTexFile::rebuild_all_texs() {
    if (!device_of(core)) {
        release_all_d3texs();
        return 1;
    }
    if (abs_tex_filename.IsEmpty()) {
        release_all_d3texs();
        return 0;
    }
    const int ok = filefun::is_file_type(abs_tex_filename, "atx")
                       ? local_rebuild_all_texs_from_animation_tex()
                       : local_rebuild_all_texs_from_single_tex();
    fill_desc_after_build();
    return ok;
}

int CTexFile::local_rebuild_all_texs_from_single_tex() {
    release_all_d3texs();
    if (!device_of(core) || abs_tex_filename.IsEmpty()) return 0;
    if (!filefun::file_exist(abs_tex_filename)) {
        qcore::detail::log_tex_error(core, abs_tex_filename, ", 贴图文件未找到!");
        return 0;
    }
    CD3Tex t(core);
    if (!CD3Tex::create_d3d_tex(abs_tex_filename, &create_opt, t)) return 0;
    d3d_texs.push_back(t);
    return 1;
}

int CTexFile::local_rebuild_all_texs_from_animation_tex() {
    release_all_d3texs();
    if (abs_tex_filename.IsEmpty()) return 0;
    if (!filefun::file_exist(abs_tex_filename)) {
        qcore::detail::log_tex_error(core, abs_tex_filename, ", 贴图文件未找到!");
        return 0;
    }
    CAtxFile atx;
    CString msg;
    if (!atx.load_atx_from_disk(abs_tex_filename, &msg, 1)) {
        qcore::detail::log_tex_error(core, abs_tex_filename, ", ", msg);
        return 0;
    }
    d3d_texs.reserve(atx.get_child_files().size());
    for (const CString& frame : atx.get_child_files()) {
        // A failed frame keeps its place so that frame indices match the time table.
        CD3Tex t(core);
        CD3Tex::create_d3d_tex(frame, &create_opt, t);
        d3d_texs.push_back(t);
    }
    tman = atx.get_tman();
    tman.update_mid_data();
    return 1;
}

void CTexFile::fill_desc_after_build() {
    size_in_byte = 0;
    mipcount = 0;
    sur_desc = D3DSURFACE_DESC{};
    filefun::get_file_status(abs_tex_filename, status);
    // Frames that failed have no texture; the description comes from the first one built, and each texture
    // counts its own levels.
    bool described = false;
    for (const CD3Tex& t : d3d_texs) {
        if (!t.tex) continue;
        const DWORD levels = t.tex->GetLevelCount();
        if (!described) {
            described = true;
            mipcount = static_cast<int>(levels);
            t.tex->GetLevelDesc(0, &sur_desc);
        }
        for (DWORD i = 0; i < levels; ++i) {
            D3DSURFACE_DESC d{};
            if (SUCCEEDED(t.tex->GetLevelDesc(i, &d))) size_in_byte += d.Size;
        }
    }
}

void CTexFile::release_all_d3texs() {
    tman.clear_all();
    d3d_texs.clear();
    fill_desc_after_build();
}

CTexPathInfo::CTexPathInfo(const char* path, int is_project)
    : tex_path(is_project ? appinfo::get_qvx_texture_path(path) : CString(path ? path : "")) {}

CString CTexPathInfo::get_direct_filename(const char* name) const {
    if (!tex_path.IsEmpty() && filefun::is_pure_filename(name)) return tex_path + name;
    return CString(name ? name : "");
}

int CTexPathInfo::find_substt_file(const char* name, CString& replacement) const {
    if (!change_if_not_exist || filefun::is_pure_filename(name)) return 0;
    if (filefun::find_exist_brother_img_filename(name, replacement)) return 1;
    if (tex_path.IsEmpty() ||
        qcore::compare_no_case(tex_path.view(), filefun::get_file_path(name).view()) == 0)
        return 0;
    const CString candidate = tex_path + filefun::get_pure_filename(name);
    if (filefun::file_exist(candidate)) {
        replacement = candidate;
        return 1;
    }
    return filefun::find_exist_brother_img_filename(candidate, replacement);
}
