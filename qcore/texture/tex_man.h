#pragma once
// The texture file manager, owned by the core: every shared texture file, found by absolute name
// (case-insensitively), the global texture strategy, listings with filters, and detection of files that
// changed on disk.
#include <qcore/texture/tex_file.h>

#include <set>
#include <vector>

class CBaseStatus;
class CPakNode;
class ITexture;

class CTexFileMan {
public:
    explicit CTexFileMan(gCore* core);
    // Destroys every file; references still attached are detached first, so that releasing them later
    // (after the core is gone) touches nothing that was freed.
    virtual ~CTexFileMan();
    CTexFileMan(const CTexFileMan&) = delete;
    CTexFileMan& operator=(const CTexFileMan&) = delete;

    void set_default() { strategy.set_default(); }
    CTexStrategy& get_strategy() { return strategy; }
    const CTexStrategy& get_strategy() const { return strategy; }

    // Reads the strategy; the caller applies it.
    int load_texman_from_node(IDirect3DDevice8* device, CPakNode* node);
    void save_texman_to_node(CPakNode* parent, const char* name, const CSaveOpt* opt);

    CTexFile* find_tex_file_from_absolute_filename(const char* name) const;
    // Detaches the texture; the file is destroyed with its last reference.
    void release_tex_file(ITexture* texture, CTexFile* file);
    // Attaches the texture to the file of that (resolved) name, creating the file on first use.
    void attach_tex_file(ITexture* texture, const CString& full, const CTexFileCreateOpt& opt, int apply_opt);

    // Copies the policy into every file and rebuilds it, with progress; only the stored strategy changes
    // without a device.
    int apply_new_strategy(IDirect3DDevice8* device, const CTexStrategy* new_strategy, CBaseStatus* status);
    void get_tex_files(std::vector<CTexFile*>& out, int filter, int include_flagged) const;
    UINT get_total_mem_of_tex_files(int filter, int include_flagged) const;
    void find_updated_tex_files(std::vector<CTexUpdateItem>& out) const;
    void sync_updated_tex_files(IDirect3DDevice8* device, std::vector<CTexUpdateItem>& items);

    const std::set<CTexFile*>& get_files() const { return files; }

    std::set<CTexFile*> files;
    CTexStrategy strategy;
    gCore* core = nullptr;
};
