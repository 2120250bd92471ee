#pragma once
// A material: the fixed-function colours, lighting and fill switches, transparency and blending settings,
// and four texture slots (diffuse, light map, environment map, bump map), each its own texture reference
// onto a shared texture file. Drawing with it is the host renderer's business.
#include <qcore/platform/d3d8/d3d8.h>
#include <qcore/platform/win32/cstring.h>
#include <qcore/texture/texture.h>

#include <vector>

class gCore;
class CPakNode;

enum WHICH_TEX_OF_MATERIAL {
    WHICH_TEX_DIFFUSE = 0,
    WHICH_TEX_LIGHTMAP = 1,
    WHICH_TEX_ENVMAP = 2,
    WHICH_TEX_BUMPMAP = 3,
};

enum MATERIAL_CATEGORY : int32_t {
    MTL_CATEGORY_NORMAL = 0,
    MTL_CATEGORY_BUMP = 3,
};

// 2: the transparency comes from the diffuse texture's alpha.
enum TRANSP_TYPE : int32_t {
    TRANSP_TYPE_1 = 1,
    TRANSP_TYPE_TEXTURE_ALPHA = 2,
    TRANSP_TYPE_3 = 3,
};

typedef D3DFILLMODE FILL_MODE;

class IMaterial : public IMyCom {
public:
    static constexpr int cur_mtl_version = 40620;

    static CMyComPtr<IMaterial> create_empty(gCore* core);
    static const char* get_category_name(int category);

    // Shares the four texture objects.
    IMaterial(const IMaterial& other);
    IMaterial& operator=(const IMaterial& other);
    ~IMaterial() override = default;

    void set_default();

    const D3DMATERIAL8& get_color() const { return color; }
    void set_color(const D3DMATERIAL8& c) { color = c; }
    int get_mtl_version() const { return mtl_version; }
    void set_mtl_version(int v) { mtl_version = v; }
    int is_enable_transp() const { return enable_transp_; }
    void enable_transp(int v) { enable_transp_ = v; }
    TRANSP_TYPE get_transp_type() const { return transp_type; }
    void set_transp_type(TRANSP_TYPE t) { transp_type = t; }
    int is_zwrite() const { return zwrite; }
    void set_zwrite(int v) { zwrite = v; }
    int get_transparent_factor() const { return transparent_factor; }
    void set_transparent_factor(int v) { transparent_factor = v; }
    int get_alpha_ref() const { return alpha_ref; }
    void set_alpha_ref(int v) { alpha_ref = v; }
    int get_src_blend() const { return src_blend; }
    void set_src_blend(int v) { src_blend = v; }
    int get_dst_blend() const { return dst_blend; }
    void set_dst_blend(int v) { dst_blend = v; }
    int get_transp_priority() const { return transp_priority; }
    void set_transp_priority(int v) { transp_priority = v; }
    int get_bump_factor() const { return bump_factor; }
    void set_bump_factor(int v) { bump_factor = v; }
    int is_use_light() const { return use_light; }
    void set_use_light(int v) { use_light = v; }
    int is_two_sided() const { return two_sided; }
    void set_two_sided(int v) { two_sided = v; }
    FILL_MODE get_mtl_fill_mode() const { return mtl_fill_mode; }
    void set_mtl_fill_mode(FILL_MODE m) { mtl_fill_mode = m; }
    MATERIAL_CATEGORY get_category() const { return category; }
    void set_category(MATERIAL_CATEGORY c) { category = c; }
    int is_sync_amb_dif() const { return sync_amb_dif; }
    void set_sync_amb_dif(int v) { sync_amb_dif = v; }
    D3DTEXTUREOP get_lightmap_op() const { return lightmap_op; }
    void set_lightmap_op(D3DTEXTUREOP op) { lightmap_op = op; }
    int get_lightmap_blend_factor() const { return lightmap_blend_factor; }
    void set_lightmap_blend_factor(int v) { lightmap_blend_factor = v; }
    D3DTEXTUREOP get_env_op() const { return env_op; }
    void set_env_op(D3DTEXTUREOP op) { env_op = op; }
    int get_env_blend_factor() const { return env_blend_factor; }
    void set_env_blend_factor(int v) { env_blend_factor = v; }
    const CString& get_max_type_name() const { return max_type_name; }
    void set_max_type_name(const char* name) { max_type_name = name; }

    CMyComPtr<ITexture> get_dif_texture() const { return dif_texture; }
    CMyComPtr<ITexture> get_lightmap_texture() const { return lightmap_texture; }
    CMyComPtr<ITexture> get_env_texture() const { return env_texture; }
    CMyComPtr<ITexture> get_bump_texture() const { return bump_texture; }
    // A null texture is refused: the slots are never empty.
    void set_dif_texture(ITexture* t) { set_slot(dif_texture, t); }
    void set_lightmap_texture(ITexture* t) { set_slot(lightmap_texture, t); }
    void set_env_texture(ITexture* t) { set_slot(env_texture, t); }
    void set_bump_texture(ITexture* t) { set_slot(bump_texture, t); }
    ITexture* get_tex_from_index(int slot) const;

    TEX_TYPE get_tex_prop_type(int slot) const;
    // Rebuilds the slot's file with default options of the slot's kind.
    void adjust_tex_format(IDirect3DDevice8* device, int slot);
    void get_all_textures(std::vector<CMyComPtr<ITexture>>& out) const;
    // Shares the other's texture files through texture objects of its own.
    void copy_material_from(const IMaterial* other);

    int load_mtl_from_node(IDirect3DDevice8* device, CPakNode* node, const CTexPathInfo* path_info);
    int save_mtl_to_node(CPakNode* parent, const char* name, CSaveOpt* opt) const;

    D3DMATERIAL8 color{};
    int mtl_version = 0;
    int enable_transp_ = 0;
    TRANSP_TYPE transp_type = TRANSP_TYPE_1;
    int zwrite = 1;
    int transparent_factor = 128;
    int alpha_ref = 16;
    int src_blend = D3DBLEND_SRCCOLOR;
    int dst_blend = D3DBLEND_INVSRCCOLOR;
    int transp_priority = 0;
    int bump_factor = 128;
    int use_light = 1;
    int two_sided = 0;
    FILL_MODE mtl_fill_mode = D3DFILL_SOLID;
    MATERIAL_CATEGORY category = MTL_CATEGORY_NORMAL;
    int sync_amb_dif = 1;
    D3DTEXTUREOP lightmap_op = D3DTOP_MODULATE;
    int lightmap_blend_factor = 128;
    D3DTEXTUREOP env_op = D3DTOP_BLENDFACTORALPHA;
    int env_blend_factor = 128;
    CMyComPtr<ITexture> dif_texture;
    CMyComPtr<ITexture> env_texture;
    CMyComPtr<ITexture> lightmap_texture;
    CMyComPtr<ITexture> bump_texture;
    CString max_type_name;
    gCore* core = nullptr;

protected:
    explicit IMaterial(gCore* core);
    static void set_slot(CMyComPtr<ITexture>& slot, ITexture* t) {
        if (t) slot = t;
    }
    CMyComPtr<ITexture>* slot_of(int slot);
    void assign_fields(const IMaterial& other);
    void set_default_values();
};
