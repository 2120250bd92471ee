#pragma once
// Shared texture files: one CTexFile per absolute file name, however many texture references use it,
// holding the device textures built from it (one per frame of an animated texture) while some reference
// is enabled. CD3Tex is one device texture built from one image file; CTexPathInfo resolves bare names and
// finds stand-ins for missing files.
#include <qcore/data/filefun.h>
#include <qcore/platform/d3d8/d3d8.h>
#include <qcore/platform/win32/cstring.h>
#include <qcore/platform/win32/file_status.h>
#include <qcore/texture/atx_file.h>
#include <qcore/texture/tex_opt.h>

#include <vector>

class gCore;
class CTimer;
class ITexture;

class CD3Tex {
public:
    explicit CD3Tex(gCore* core = nullptr);
    CD3Tex(const CD3Tex& other);
    CD3Tex& operator=(const CD3Tex& other);
    ~CD3Tex();

    // Builds target's texture from the image file under the options and the manager's strategy; failures
    // are logged and give 0.
    static int create_d3d_tex(const char* filename, const CTexFileCreateOpt* opt, CD3Tex& target);
    void release();

    IDirect3DTexture8* tex = nullptr;
    CString filename;
    CFileStatus status;
    gCore* core = nullptr;
};

class CTexFile {
public:
    explicit CTexFile(gCore* core);
    virtual ~CTexFile();
    CTexFile(const CTexFile&) = delete;
    CTexFile& operator=(const CTexFile&) = delete;

    const CString& get_abs_tex_filename() const { return abs_tex_filename; }
    void set_abs_tex_filename(const char* name) { abs_tex_filename = name; }
    const CTexFileCreateOpt& get_create_opt() const { return create_opt; }
    void set_create_opt(const CTexFileCreateOpt& opt) { create_opt = opt; }
    const std::vector<CD3Tex>& get_d3d_texs() const { return d3d_texs; }
    const CFrameTimeMan& get_tman() const { return tman; }
    const D3DSURFACE_DESC& get_sur_desc() const { return sur_desc; }
    int get_mipcount() const { return mipcount; }
    UINT get_size_in_byte() const { return size_in_byte; }
    int get_flag() const { return flag; }
    void set_flag(int f) { flag = f; }
    const std::vector<ITexture*>& get_ref_textures() const { return ref_textures; }

    int is_loaded() const { return static_cast<int>(d3d_texs.size()); }
    int is_enable() const;
    // The device texture to draw now; null when unloaded.
    IDirect3DTexture8* get_current_d3d_tex(const CTimer* timer, const CAtxPars& pars) const;
    // Stores the options; 1 when they need a rebuild (which the caller starts).
    int apply_new_format(const CTexFileCreateOpt& opt);
    // Stores the name; 1 when it changed (case-insensitively).
    int apply_new_filename(const char* name);
    // A file_status_compare value, or 4 with replacement set when the file is gone but a sibling with
    // another image extension exists.
    int check_disk_file_updated(CString& replacement) const;
    // Loads while some reference is enabled (rebuilding when forced), unloads otherwise.
    void update_loaded_status_by_ref_parents(int force);
    // Builds the device textures under the current options; 1 on success or without a device.
    int rebuild_all_texs();

    std::vector<ITexture*> ref_textures;
    CFileStatus status;
    CString abs_tex_filename;
    CTexFileCreateOpt create_opt;
    std::vector<CD3Tex> d3d_texs;
    CFrameTimeMan tman;
    D3DSURFACE_DESC sur_desc{};
    int mipcount = 0;
    UINT size_in_byte = 0;
    int flag = 0;
    gCore* core = nullptr;

protected:
    void reset_default();
    void release_all_d3texs();
    void fill_desc_after_build();
    int local_rebuild_all_texs_from_single_tex();
    int local_rebuild_all_texs_from_animation_tex();
    void reload_or_unload(int enable, int force);
};

class CTexPathInfo {
public:
    CTexPathInfo() = default;
    // With is_project non-zero the texture folder of the project folder path, else path itself.
    CTexPathInfo(const char* path, int is_project);

    const CString& get_tex_path() const { return tex_path; }
    void set_tex_path(const char* path) { tex_path = path; }
    int can_change_is_not_exist() const { return change_if_not_exist; }
    void set_change_if_not_exist(int v) { change_if_not_exist = v; }

    // tex_path + name for a bare name when a texture folder is set, else name.
    CString get_direct_filename(const char* name) const;
    // A stand-in for a missing file: a sibling with another image extension, or the file (or its sibling)
    // in the texture folder.
    int find_substt_file(const char* name, CString& replacement) const;

    CString tex_path;
    int change_if_not_exist = 1;
};

enum texfile_filter {
    TEXFILE_ALL = 1,
    TEXFILE_ENABLED = 2,
    TEXFILE_LOADED = 3,
};

// check_disk_file_updated's answer beyond file_status_compare.
constexpr int FS_REPLACED = 4;

struct CTexUpdateItem {
    CTexFile* file = nullptr;
    int apply = 1;
    int status = FS_SAME;
    CString new_filename;
};
