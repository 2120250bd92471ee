#pragma once
// A texture reference: one use of a shared texture file, with its enable switch, texture-coordinate
// channels, stage, filtering and animation playback. Enabled references keep their file loaded.
#include <qcore/texture/atx_file.h>
#include <qcore/texture/my_com.h>
#include <qcore/texture/save_opt.h>
#include <qcore/texture/tex_file.h>
#include <qcore/texture/tex_filter.h>
#include <qcore/texture/tex_opt.h>

class gCore;
class CPakNode;
class CTimer;

class ITexture : public IMyCom {
public:
    static CMyComPtr<ITexture> create_empty(gCore* core, int enable);

    ITexture(const ITexture& other);
    ITexture& operator=(const ITexture& other);
    ~ITexture() override;

    CTexFile* get_tex_file() const { return tex_file; }
    int is_enable() const { return enable; }
    int get_tex_stage_in_render() const { return tex_stage_in_render; }
    void set_tex_stage_in_render(int stage) { tex_stage_in_render = stage; }
    int get_map_channel_in_origin_data() const { return map_channel; }
    void set_map_channel_in_origin_data(int channel) { map_channel = channel; }
    int get_tex_coord_inex_in_render() const { return map_channel_in_render; }
    void set_tex_coord_inex_in_render(int index) { map_channel_in_render = index; }
    TEX_FILTER_TYPE get_filter_type() const { return filter_type; }
    void set_filter_type(TEX_FILTER_TYPE type) { filter_type = type; }
    CAtxPars& get_atx_pars() { return atx_pars; }
    const CAtxPars& get_atx_pars() const { return atx_pars; }

    // Stores the flag and lets the attached file load or unload.
    void enable_texture(int flag);
    int can_render(int check_channels) const;
    // A null name does nothing; an empty one detaches.
    void create_tex_file(const char* name, const CTexPathInfo* path_info, const CTexFileCreateOpt& opt,
                         int apply_opt);
    void free_tex_file();
    CString get_tex_filename() const;
    IDirect3DTexture8* get_current_d3tex(const CTimer* timer) const;
    // Becomes a second reference to other's file with other's settings; the file's load state is kept.
    void clone_itexture_from(const ITexture* other);

    int reload_texture_from_node(CPakNode* node, const CTexPathInfo* path_info,
                                 const CTexFileCreateOpt* default_opt, int apply_opt);
    void save_texture_to_node(CPakNode* parent, const char* name, CSaveOpt* opt) const;

    CTexFile* tex_file = nullptr;
    int tex_stage_in_render = -1;
    int map_channel = -1;
    int map_channel_in_render = -1;
    TEX_FILTER_TYPE filter_type = TEX_FILTER_LINEAR_MIPMAP;
    int enable = 0;
    CAtxPars atx_pars;
    gCore* core = nullptr;

protected:
    explicit ITexture(gCore* core);
    void reset_default();
    // The name FILENAME gets, copying or converting the file as the options ask; the absolute name
    // whenever nothing was written.
    CString saved_filename(CSaveOpt& opt) const;
    CString dds_target_name(CSaveOpt& opt) const;
};
