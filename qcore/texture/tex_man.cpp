#include <qcore/texture/tex_man.h>

#include <qcore/core/core.h>
#include <qcore/data/log.h>
#include <qcore/data/pak_file.h>
#include <qcore/data/wait_window.h>
#include <qcore/texture/texture.h>

#include <algorithm>
#include <memory>

CTexFileMan::CTexFileMan(gCore* core_) : core(core_) {
    qcore::install_atx_copier();
}

CTexFileMan::~CTexFileMan() {
    for (CTexFile* f : files) {
        for (ITexture* t : f->ref_textures)
            t->tex_file = nullptr;
        delete f;
    }
    files.clear();
}

int CTexFileMan::load_texman_from_node(IDirect3DDevice8* device, CPakNode* node) {
    if (!node || !node->is_type("VR_TYPE", "TexMan")) return 0;
    strategy.set_default();
    if (CPakNode* s = node->find("TexStrategy")) strategy.load_strategy_from_node(device, s);
    return 1;
}

void CTexFileMan::save_texman_to_node(CPakNode* parent, const char* name, const CSaveOpt* opt) {
    CPakNode* dir = parent ? parent->create_dir_node(name) : nullptr;
    if (!dir) return;
    dir->create_data_node("VR_TYPE", NODE_STR32, "TexMan");
    strategy.save_stragegy_to_node(dir, "TexStrategy", opt);
}

CTexFile* CTexFileMan::find_tex_file_from_absolute_filename(const char* name) const {
    const std::string_view wanted = name ? name : "";
    for (CTexFile* f : files)
        if (qcore::compare_no_case(f->abs_tex_filename.view(), wanted) == 0) return f;
    return nullptr;
}

void CTexFileMan::release_tex_file(ITexture* texture, CTexFile* file) {
    if (!file || !files.count(file)) return;
    std::erase(file->ref_textures, texture);
    if (texture && texture->tex_file == file) texture->tex_file = nullptr;
    if (!file->ref_textures.empty()) {
        file->update_loaded_status_by_ref_parents(0);
        return;
    }
    files.erase(file);
    delete file;
}

void CTexFileMan::attach_tex_file(ITexture* texture, const CString& full, const CTexFileCreateOpt& opt,
                                  int apply_opt) {
    CTexFile* file = find_tex_file_from_absolute_filename(full);
    // Re-attaching to the file already held keeps it: detaching first would destroy a sole reference's
    // file only to load it again.
    if (texture->tex_file && texture->tex_file != file) release_tex_file(texture, texture->tex_file);
    if (file) {
        if (texture->tex_file != file) file->ref_textures.push_back(texture);
        texture->tex_file = file;
        const int rebuild = apply_opt && file->apply_new_format(opt);
        file->update_loaded_status_by_ref_parents(rebuild);
        return;
    }
    auto created = std::make_unique<CTexFile>(core);
    created->abs_tex_filename = full;
    created->create_opt = opt;
    created->ref_textures.push_back(texture);
    texture->tex_file = created.get();
    files.insert(created.get());
    created.release()->update_loaded_status_by_ref_parents(0);
}

int CTexFileMan::apply_new_strategy(IDirect3DDevice8* device, const CTexStrategy* new_strategy,
                                    CBaseStatus* status) {
    if (new_strategy) strategy = *new_strategy;
    if (!device) return 1;
    CMyWaitCursor wait;
    // Without a sink of the caller's, progress goes to the core's.
    CBaseStatus default_status;
    if (!status) status = core && core->status ? core->status : &default_status;
    CProgressBar progress(status, static_cast<int>(files.size()), "Reloading textures");
    for (CTexFile* f : files) {
        progress.tick();
        strategy.apply_to(f->create_opt);
        // Only files some enabled reference uses hold device textures.
        if (f->is_enable()) f->rebuild_all_texs();
    }
    return 1;
}

void CTexFileMan::get_tex_files(std::vector<CTexFile*>& out, int filter, int include_flagged) const {
    out.clear();
    for (CTexFile* f : files) {
        const bool wanted = filter == TEXFILE_ALL || (filter == TEXFILE_ENABLED && f->is_enable()) ||
                            (filter == TEXFILE_LOADED && f->is_loaded());
        if (!wanted || (!include_flagged && (f->flag & 1))) continue;
        out.push_back(f);
    }
}

UINT CTexFileMan::get_total_mem_of_tex_files(int filter, int include_flagged) const {
    std::vector<CTexFile*> list;
    get_tex_files(list, filter, include_flagged);
    UINT total = 0;
    for (const CTexFile* f : list)
        total += f->size_in_byte;
    return total;
}

void CTexFileMan::find_updated_tex_files(std::vector<CTexUpdateItem>& out) const {
    CMyWaitCursor wait;
    for (CTexFile* f : files) {
        if (f->flag & 1) continue;
        CString replacement;
        const int r = f->check_disk_file_updated(replacement);
        if (r) out.push_back({f, 1, r, r == FS_REPLACED ? replacement : CString()});
    }
}

void CTexFileMan::sync_updated_tex_files(IDirect3DDevice8*, std::vector<CTexUpdateItem>& items) {
    CMyWaitCursor wait;
    for (CTexUpdateItem& item : items) {
        // An item may outlive its file (a reference released since the scan).
        if (!item.apply || !files.count(item.file)) continue;
        if (!item.new_filename.IsEmpty()) item.file->apply_new_filename(item.new_filename);
        item.file->update_loaded_status_by_ref_parents(1);
    }
}
