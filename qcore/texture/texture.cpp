#include <qcore/texture/texture.h>

#include <qcore/core/core.h>
#include <qcore/data/pak_file.h>
#include <qcore/image/imgfun.h>
#include <qcore/platform/d3d8/d3dx/d3dx8tex.h>
#include <qcore/platform/win32/message_box.h>
#include <qcore/texture/tex_detail.h>
#include <qcore/texture/tex_man.h>

namespace {

constexpr const char* texture_dir_type = "VrTexture";
// A stored tex_type of 10 marks options that are not to be used.
constexpr int ignored_tex_type = 10;

} // namespace

ITexture::ITexture(gCore* core_) : core(core_) {}

ITexture::ITexture(const ITexture& o)
    : IMyCom(o), tex_stage_in_render(o.tex_stage_in_render), map_channel(o.map_channel),
      map_channel_in_render(o.map_channel_in_render), filter_type(o.filter_type), enable(o.enable),
      atx_pars(o.atx_pars), core(o.core) {
    // A copy is one more user of the file: it registers, so that its destruction detaches only itself.
    tex_file = o.tex_file;
    if (tex_file) tex_file->ref_textures.push_back(this);
}

ITexture& ITexture::operator=(const ITexture& o) {
    if (this != &o) clone_itexture_from(&o);
    return *this;
}

ITexture::~ITexture() {
    free_tex_file();
}

CMyComPtr<ITexture> ITexture::create_empty(gCore* core, int enable) {
    CMyComPtr<ITexture> p;
    p.attach(new ITexture(core));
    p->enable = enable;
    return p;
}

void ITexture::reset_default() {
    free_tex_file();
    tex_stage_in_render = map_channel = map_channel_in_render = -1;
    filter_type = TEX_FILTER_LINEAR_MIPMAP;
    enable = 0;
    atx_pars.reset_default();
}

void ITexture::enable_texture(int flag) {
    enable = flag;
    if (tex_file) tex_file->update_loaded_status_by_ref_parents(0);
}

int ITexture::can_render(int check_channels) const {
    if (!enable || !tex_file || !tex_file->is_loaded()) return 0;
    if (!check_channels) return 1;
    return map_channel != -1 && map_channel_in_render != -1 && tex_stage_in_render != -1;
}

void ITexture::create_tex_file(const char* name_in, const CTexPathInfo* path_info,
                               const CTexFileCreateOpt& opt, int apply_opt) {
    if (!name_in) return;
    // The name may be the attached file's own string, which detaching can destroy.
    const CString name(name_in);
    if (name.IsEmpty() || !core || !core->tex_man) {
        free_tex_file();
        return;
    }
    const CTexPathInfo defaults;
    const CTexPathInfo& paths = path_info ? *path_info : defaults;
    CString full = paths.get_direct_filename(name);
    CString replacement;
    if (!filefun::file_exist(full) && paths.find_substt_file(full, replacement)) {
        full = replacement;
        if (core->log) core->log->add_log(LOG_WARNING, name, ", 文件未找到, 替换成: ", replacement);
    }
    core->tex_man->attach_tex_file(this, full, opt, apply_opt);
}

void ITexture::free_tex_file() {
    if (!tex_file) return;
    if (core && core->tex_man) core->tex_man->release_tex_file(this, tex_file);
    tex_file = nullptr;
}

CString ITexture::get_tex_filename() const {
    return tex_file ? tex_file->abs_tex_filename : CString();
}

IDirect3DTexture8* ITexture::get_current_d3tex(const CTimer* timer) const {
    return tex_file ? tex_file->get_current_d3d_tex(timer, atx_pars) : nullptr;
}

void ITexture::clone_itexture_from(const ITexture* o) {
    if (!o || o == this) return;
    // Hold the other's file before detaching our own: it may be the same file with us as a second user.
    CTexFile* file = o->tex_file;
    const int enable_ = o->enable;
    if (tex_file != file) reset_default();
    tex_stage_in_render = o->tex_stage_in_render;
    map_channel = o->map_channel;
    map_channel_in_render = o->map_channel_in_render;
    filter_type = o->filter_type;
    enable = enable_;
    atx_pars = o->atx_pars;
    core = o->core;
    if (file && tex_file != file) {
        tex_file = file;
        file->ref_textures.push_back(this);
    }
}

int ITexture::reload_texture_from_node(CPakNode* node, const CTexPathInfo* path_info,
                                       const CTexFileCreateOpt* default_opt, int apply_opt) {
    free_tex_file();
    if (!node || !node->is_type("VR_TYPE", texture_dir_type)) return 0;
    reset_default();
    char stored_name[MAX_PATH] = {};
    node->find_data("FILENAME", NODE_FILENAME, stored_name);
    const CString name(stored_name);
    node->find_data("ENABLE", NODE_INT, &enable);
    node->find_data("MAP_CHANNEL", NODE_INT, &map_channel);
    node->find_data("MAP_CHANNEL_IN_RENDER", NODE_INT, &map_channel_in_render);
    node->find_data("TEX_STAGE_IN_RENDER", NODE_INT, &tex_stage_in_render);
    int filter = filter_type;
    node->find_data("FILTER_TYPE", NODE_INT, &filter);
    filter_type = static_cast<TEX_FILTER_TYPE>(filter);

    CTexFileCreateOpt opt = default_opt ? *default_opt : CTexFileCreateOpt();
    CTexFileCreateOpt stored;
    if (CPakNode* c = node->find("Create_Opt");
        c && stored.load_create_opt_from_node(c) && stored.tex_type != ignored_tex_type)
        opt = stored;
    create_tex_file(name, path_info, opt, apply_opt);
    if (CPakNode* p = node->find("atx_pars")) atx_pars.load_atxpars_from_node(p);
    return 1;
}

CString ITexture::dds_target_name(CSaveOpt& o) const {
    const CString& source = tex_file->abs_tex_filename;
    const CString stem = filefun::get_pure_filename(source, 0);
    CString candidate = stem + ".dds";
    for (int n = 1;; ++n) {
        auto it = o.dds_written.find(candidate);
        if (it == o.dds_written.end() || qcore::compare_no_case(it->second.view(), source.view()) == 0)
            return candidate;
        candidate.Format("%s_%d.dds", stem.GetString(), n);
    }
}

CString ITexture::saved_filename(CSaveOpt& o) const {
    const CString& source = tex_file->abs_tex_filename;
    const CString bare = filefun::get_pure_filename(source);
    if (!o.copy_textures || (o.only_loaded_textures && !tex_file->is_loaded())) {
        if (qcore::compare_no_case(filefun::get_file_path(source).view(), o.tex_path.view()) == 0)
            return bare;
        return source;
    }
    if (o.convert_to_dds && imgfun::get_img_file_type(source) != IMG_FILE_ATX) {
        if (!filefun::path_exist(o.tex_path)) {
            qcore::detail::log_tex_error(core, o.tex_path, ", 贴图路径不存在，复制文件失败! ", source);
            return source;
        }
        const CString target_name = dds_target_name(o);
        const CString target = o.tex_path + target_name;
        IDirect3DTexture8* tex = tex_file->is_loaded() ? tex_file->d3d_texs.front().tex : nullptr;
        if (!tex) return source;
        if (FAILED(D3DXSaveTextureToFileA(target, D3DXIFF_DDS, tex, nullptr))) {
            qcore::detail::log_tex_error(core, target, ", Save Texture Err! ");
            return source;
        }
        o.dds_written[target_name] = source;
        return target_name;
    }
    if (!filefun::copy_texture_to_a_folder(source, o.tex_path, o.overwrite_state)) {
        qcore::detail::log_tex_error(core, "复制文件失败: ", source, o.tex_path);
        return source;
    }
    return bare;
}

void ITexture::save_texture_to_node(CPakNode* parent, const char* name, CSaveOpt* opt) const {
    CSaveOpt defaults;
    CSaveOpt& o = opt ? *opt : defaults;
    if (o.tex_path.IsEmpty()) AfxMessageBox("tex path must fill", MB_OK, 0);
    CPakNode* dir = parent ? parent->create_dir_node(name) : nullptr;
    if (!dir) return;
    dir->create_data_node("VR_TYPE", NODE_STR32, texture_dir_type);
    const CString filename = tex_file ? saved_filename(o) : CString();
    dir->create_data_node("FILENAME", NODE_FILENAME, filename.GetString());
    qcore::detail::put_int_node(dir, "ENABLE", enable);
    qcore::detail::put_int_node(dir, "MAP_CHANNEL", map_channel);
    qcore::detail::put_int_node(dir, "MAP_CHANNEL_IN_RENDER", map_channel_in_render);
    qcore::detail::put_int_node(dir, "TEX_STAGE_IN_RENDER", tex_stage_in_render);
    qcore::detail::put_int_node(dir, "FILTER_TYPE", filter_type);
    if (tex_file) {
        CTexFileCreateOpt written = tex_file->create_opt;
        if (o.copy_textures && o.convert_to_dds && filefun::is_file_type(filename, ".dds")) {
            written.enable_col_adj = 0;
            written.auto_size_factor = 0;
        }
        written.save_create_opt_to_node(dir, "Create_Opt");
    }
    atx_pars.save_atxpars_to_node(dir, "atx_pars");
}
