#pragma once
// Texture creation options (per texture file) and the global texture strategy (format per kind of texture,
// size, mip and clamp policy), the texture size rule that turns an image size into a device texture size,
// and the names and categories of device formats.
#include <qcore/platform/d3d8/d3d8_types.h>
#include <qcore/platform/win32/cstring.h>
#include <qcore/platform/win32/mfc_types.h>
#include <qcore/texture/color_adj.h>
#include <qcore/texture/save_opt.h>

#include <cstdint>

class CPakNode;
struct IDirect3DDevice8;

enum TEX_TYPE : int32_t {
    TEX_TYPE_NORMAL = 0,
    TEX_TYPE_ALPHA = 1,
    TEX_TYPE_BUMP = 2,
    TEX_TYPE_EXTRA = 3,
    TEX_TYPE_USER = 99,
};

class CTexFileCreateOpt {
public:
    CTexFileCreateOpt() { reset_default(); }
    void reset_default();

    TEX_TYPE get_desired_tex_type() const { return tex_type; }
    void set_desired_tex_type(TEX_TYPE t) { tex_type = t; }
    D3DFORMAT get_desired_user_format() const { return user_fmt; }
    void set_desired_user_format(D3DFORMAT f) { user_fmt = f; }
    CSize get_desired_size() const { return size; }
    void set_desired_size(CSize s) { size = s; }
    int get_desired_mipcount() const { return mipcount; }
    void set_desired_mipcount(int n) { mipcount = n; }
    int get_auto_size_factor() const { return auto_size_factor; }
    void set_auto_size_factor(int f) { auto_size_factor = f; }
    int is_use_max_clamp() const { return use_max_clamp; }
    void set_use_max_clamp(int v) { use_max_clamp = v; }
    int is_use_min_clamp() const { return use_min_clamp; }
    void set_use_min_clamp(int v) { use_min_clamp = v; }
    int get_max_clamp_value() const { return max_clamp_value; }
    void set_max_clamp_value(int v) { max_clamp_value = v; }
    int get_min_clamp_value() const { return min_clamp_value; }
    void set_min_clamp_value(int v) { min_clamp_value = v; }
    int is_enable_color_adj() const { return enable_col_adj; }
    void set_enable_color_adj(int v) { enable_col_adj = v; }
    COLOR_ADJ_DATA get_color_adj() const { return color_adj; }
    void set_color_adj(COLOR_ADJ_DATA d) { color_adj = d; }

    // Whether a texture built with these options must be rebuilt to honour other. Sizes and clamps are not
    // compared: the strategy path rebuilds explicitly.
    int does_need_rebuild_if_changed(const CTexFileCreateOpt& other) const;
    // Whether the colour adjustment changes any pixel.
    int is_color_adj_effective() const { return enable_col_adj && color_adj.have_effect(); }

    int load_create_opt_from_node(CPakNode* node);
    void save_create_opt_to_node(CPakNode* parent, const char* name) const;

    TEX_TYPE tex_type;
    D3DFORMAT user_fmt;
    CSize size;
    int mipcount;
    int auto_size_factor;
    int use_max_clamp;
    int use_min_clamp;
    int max_clamp_value;
    int min_clamp_value;
    int enable_col_adj;
    COLOR_ADJ_DATA color_adj;
};

class CTexStrategy {
public:
    CTexStrategy();
    // Slot 3 keeps its format.
    void set_default();

    CSize get_size() const { return CSize(size_width, size_height); }
    void set_size(CSize s) { size_width = s.cx, size_height = s.cy; }
    int get_auto_size_factor() const { return auto_size_factor; }
    void set_auto_size_factor(int f) { auto_size_factor = f; }
    int get_mipcount() const { return mipmap; }
    void set_mipcount(int n) { mipmap = n; }
    int is_use_max_clamp() const { return use_max_clamp; }
    void set_use_max_clamp(int v) { use_max_clamp = v; }
    int is_use_min_clamp() const { return use_min_clamp; }
    void set_use_min_clamp(int v) { use_min_clamp = v; }
    int get_max_clamp_value() const { return max_clamp_value; }
    void set_max_clamp_value(int v) { max_clamp_value = v; }
    int get_min_clamp_value() const { return min_clamp_value; }
    void set_min_clamp_value(int v) { min_clamp_value = v; }

    // An invalid type shows "set_format() err" and changes nothing; TEX_TYPE_USER changes nothing.
    void set_format(TEX_TYPE type, D3DFORMAT format);
    // user_fmt for TEX_TYPE_USER; an invalid type shows "get_format() err" and gives slot 0.
    D3DFORMAT get_format(TEX_TYPE type, D3DFORMAT user_fmt) const;
    int is_same(const CTexStrategy* other) const;
    // Copies the size, mip and clamp policy into a texture file's options.
    void apply_to(CTexFileCreateOpt& opt) const;

    int load_strategy_from_node(IDirect3DDevice8* device, CPakNode* node);
    // With opt->keep_current_settings 0 the strategy takes the auto_size_factor it wrote.
    void save_stragegy_to_node(CPakNode* parent, const char* name, const CSaveOpt* opt);

    int size_width;
    int size_height;
    int auto_size_factor;
    int mipmap;
    int use_max_clamp;
    int use_min_clamp;
    int max_clamp_value;
    int min_clamp_value;
    D3DFORMAT tex_fmt[4];
};

class d3fmt {
public:
    enum FMT_CATEGORY {
        FMT_COLOR = 0,
        FMT_BUMP = 1,
        FMT_BUMP_LUMINANCE = 2,
    };
    static CString get_fmt_name(D3DFORMAT format);
    static FMT_CATEGORY get_fmt_type(D3DFORMAT format);
};

namespace qcore {

// The nearest power of two for a texture dimension under the texture size rule: 8 below 8, the lower
// power on a tie, and 1024 from 8192 up (such images are taken as mistakes and loaded small). The general
// GetNearSize of the math helpers keeps 8192.
int tex_near_size(int n);

struct TexSize {
    int width;
    int height;
};
// The device texture size for an image of width x height under the options (the image is refused below
// 8 x 8 before this is asked).
TexSize tex_size_rule(int width, int height, const CTexFileCreateOpt& opt);

} // namespace qcore
