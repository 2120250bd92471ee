#include <qcore/texture/material.h>

#include <qcore/data/pak_file.h>
#include <qcore/texture/tex_detail.h>

namespace {

constexpr const char* material_dir_type = "VrMaterial";
// The environment and bump slots map with this channel until told otherwise.
constexpr int default_env_channel = 0x10000;

struct IntField {
    const char* name;
    int IMaterial::*field;
};

// The int fields in the order the loader reads them after the colours.
constexpr IntField transp_fields[] = {
    {"TRANS_FACTOR", &IMaterial::transparent_factor},
    {"ALPHA_REF", &IMaterial::alpha_ref},
    {"SRC_BLD", &IMaterial::src_blend},
    {"DST_BLD", &IMaterial::dst_blend},
    {"ZWRITE", &IMaterial::zwrite},
    {"TRANSP_PRIORITY", &IMaterial::transp_priority},
};

template <class E> void read_enum(CPakNode* node, const char* name, E& value) {
    int v = static_cast<int>(value);
    if (node->find_data(name, NODE_INT, &v)) value = static_cast<E>(v);
}

template <class E> void put_enum(CPakNode* dir, const char* name, E value) {
    qcore::detail::put_int_node(dir, name, static_cast<int>(value));
}

D3DCOLORVALUE rgba(float r, float g, float b, float a) {
    return {r, g, b, a};
}

} // namespace

IMaterial::IMaterial(gCore* core_) : core(core_) {
    dif_texture = ITexture::create_empty(core, 0);
    env_texture = ITexture::create_empty(core, 0);
    lightmap_texture = ITexture::create_empty(core, 0);
    bump_texture = ITexture::create_empty(core, 0);
    set_default_values();
}

IMaterial::IMaterial(const IMaterial& o) : IMyCom(o) {
    assign_fields(o);
}

IMaterial& IMaterial::operator=(const IMaterial& o) {
    if (this != &o) assign_fields(o);
    return *this;
}

void IMaterial::assign_fields(const IMaterial& o) {
    color = o.color;
    mtl_version = o.mtl_version;
    enable_transp_ = o.enable_transp_;
    transp_type = o.transp_type;
    zwrite = o.zwrite;
    transparent_factor = o.transparent_factor;
    alpha_ref = o.alpha_ref;
    src_blend = o.src_blend;
    dst_blend = o.dst_blend;
    transp_priority = o.transp_priority;
    bump_factor = o.bump_factor;
    use_light = o.use_light;
    two_sided = o.two_sided;
    mtl_fill_mode = o.mtl_fill_mode;
    category = o.category;
    sync_amb_dif = o.sync_amb_dif;
    lightmap_op = o.lightmap_op;
    lightmap_blend_factor = o.lightmap_blend_factor;
    env_op = o.env_op;
    env_blend_factor = o.env_blend_factor;
    dif_texture = o.dif_texture;
    env_texture = o.env_texture;
    lightmap_texture = o.lightmap_texture;
    bump_texture = o.bump_texture;
    max_type_name = o.max_type_name;
    core = o.core;
}

CMyComPtr<IMaterial> IMaterial::create_empty(gCore* core) {
    CMyComPtr<IMaterial> p;
    p.attach(new IMaterial(core));
    return p;
}

const char* IMaterial::get_category_name(int c) {
    if (c == MTL_CATEGORY_NORMAL) return "Normal";
    if (c == MTL_CATEGORY_BUMP) return "Bump";
    return "Unknow";
}

void IMaterial::set_default_values() {
    color.Diffuse = rgba(0.5f, 0.5f, 0.5f, 1.0f);
    color.Ambient = rgba(0.5f, 0.5f, 0.5f, 1.0f);
    color.Specular = rgba(1.0f, 1.0f, 1.0f, 1.0f);
    color.Emissive = rgba(0.0f, 0.0f, 0.0f, 1.0f);
    color.Power = 0.0f;
    mtl_version = 0;
    enable_transp_ = 0;
    transp_type = TRANSP_TYPE_1;
    zwrite = 1;
    transparent_factor = 128;
    alpha_ref = 16;
    src_blend = D3DBLEND_SRCCOLOR;
    dst_blend = D3DBLEND_INVSRCCOLOR;
    transp_priority = 0;
    bump_factor = 128;
    use_light = 1;
    two_sided = 0;
    mtl_fill_mode = D3DFILL_SOLID;
    category = MTL_CATEGORY_NORMAL;
    sync_amb_dif = 1;
    lightmap_op = D3DTOP_MODULATE;
    lightmap_blend_factor = 128;
    env_op = D3DTOP_BLENDFACTORALPHA;
    env_blend_factor = 128;
    max_type_name = "not max type";
    env_texture->set_map_channel_in_origin_data(default_env_channel);
    bump_texture->set_map_channel_in_origin_data(default_env_channel);
}

void IMaterial::set_default() {
    for (CMyComPtr<ITexture>* slot : {&dif_texture, &lightmap_texture, &env_texture, &bump_texture})
        (*slot)->free_tex_file();
    set_default_values();
}

CMyComPtr<ITexture>* IMaterial::slot_of(int slot) {
    switch (slot) {
    case WHICH_TEX_DIFFUSE:
        return &dif_texture;
    case WHICH_TEX_LIGHTMAP:
        return &lightmap_texture;
    case WHICH_TEX_ENVMAP:
        return &env_texture;
    case WHICH_TEX_BUMPMAP:
        return &bump_texture;
    default:
        return nullptr;
    }
}

ITexture* IMaterial::get_tex_from_index(int slot) const {
    const CMyComPtr<ITexture>* p = const_cast<IMaterial*>(this)->slot_of(slot);
    return p ? p->get() : nullptr;
}

TEX_TYPE IMaterial::get_tex_prop_type(int slot) const {
    if (slot == WHICH_TEX_DIFFUSE)
        return enable_transp_ && transp_type == TRANSP_TYPE_TEXTURE_ALPHA ? TEX_TYPE_ALPHA : TEX_TYPE_NORMAL;
    return slot == WHICH_TEX_BUMPMAP ? TEX_TYPE_BUMP : TEX_TYPE_NORMAL;
}

void IMaterial::adjust_tex_format(IDirect3DDevice8*, int slot) {
    ITexture* t = get_tex_from_index(slot);
    CTexFile* f = t ? t->get_tex_file() : nullptr;
    if (!f) return;
    CTexFileCreateOpt opt;
    opt.tex_type = get_tex_prop_type(slot);
    if (f->apply_new_format(opt)) f->update_loaded_status_by_ref_parents(1);
}

void IMaterial::get_all_textures(std::vector<CMyComPtr<ITexture>>& out) const {
    out.clear();
    out.push_back(dif_texture);
    out.push_back(lightmap_texture);
    out.push_back(env_texture);
    out.push_back(bump_texture);
}

void IMaterial::copy_material_from(const IMaterial* o) {
    if (!o || o == this) return;
    CMyComPtr<ITexture> textures[4];
    for (int slot = 0; slot < 4; ++slot) {
        textures[slot] = ITexture::create_empty(o->core, 0);
        textures[slot]->clone_itexture_from(o->get_tex_from_index(slot));
    }
    IMaterial copy(*o);
    copy.dif_texture = textures[WHICH_TEX_DIFFUSE];
    copy.lightmap_texture = textures[WHICH_TEX_LIGHTMAP];
    copy.env_texture = textures[WHICH_TEX_ENVMAP];
    copy.bump_texture = textures[WHICH_TEX_BUMPMAP];
    *this = copy;
}

int IMaterial::load_mtl_from_node(IDirect3DDevice8*, CPakNode* node, const CTexPathInfo* path_info) {
    if (!node || !node->is_type("VR_TYPE", material_dir_type)) return 0;
    set_default();
    char max_type[32] = {};
    if (node->find_data("MAX_TYPE", NODE_STR32, max_type)) max_type_name = max_type;
    node->find_data("VERSION", NODE_INT, &mtl_version);
    read_enum(node, "CATEGORY", category);
    node->find_data("TWO_SIDED", NODE_INT, &two_sided);
    read_enum(node, "FILL_MODE", mtl_fill_mode);
    node->find_data("USE_LIGHT", NODE_INT, &use_light);
    node->find_data("COLOR_AMB", NODE_D3DXCOLOR, &color.Ambient);
    node->find_data("COLOR_DIF", NODE_D3DXCOLOR, &color.Diffuse);
    node->find_data("COLOR_SPE", NODE_D3DXCOLOR, &color.Specular);
    node->find_data("COLOR_EMI", NODE_D3DXCOLOR, &color.Emissive);
    node->find_data("SYNC_AMB_DIF", NODE_INT, &sync_amb_dif);
    node->find_data("COLOR_SPE_POWER", NODE_FLOAT, &color.Power);
    node->find_data("ENABLE_TRANSP", NODE_INT, &enable_transp_);
    read_enum(node, "TRANSP_TYPE", transp_type);
    for (const IntField& f : transp_fields)
        node->find_data(f.name, NODE_INT, &(this->*f.field));
    read_enum(node, "LIGHTMAP_OP", lightmap_op);
    node->find_data("LIGHTMAP_ALPHA", NODE_INT, &lightmap_blend_factor);
    read_enum(node, "ENV_OP", env_op);
    node->find_data("ENV_ALPHA", NODE_INT, &env_blend_factor);
    node->find_data("BUMP_FACTOR", NODE_INT, &bump_factor);
    if (category != MTL_CATEGORY_NORMAL && category != MTL_CATEGORY_BUMP) category = MTL_CATEGORY_NORMAL;
    if (transp_type < TRANSP_TYPE_1 || transp_type > TRANSP_TYPE_3) transp_type = TRANSP_TYPE_1;

    static constexpr const char* slot_names[4] = {"TEX_DIFFUSE", "TEX_LIGHTMAP", "TEX_ENVMAP", "TEX_BUMPMAP"};
    for (int slot = 0; slot < 4; ++slot) {
        CTexFileCreateOpt opt;
        opt.tex_type = get_tex_prop_type(slot);
        get_tex_from_index(slot)->reload_texture_from_node(node->find(slot_names[slot]), path_info, &opt, 0);
    }
    return 1;
}

int IMaterial::save_mtl_to_node(CPakNode* parent, const char* name, CSaveOpt* opt) const {
    CSaveOpt defaults;
    CSaveOpt& o = opt ? *opt : defaults;
    CPakNode* dir = parent ? parent->create_dir_node(name) : nullptr;
    if (!dir) return 1;
    dir->create_data_node("VR_TYPE", NODE_STR32, material_dir_type);
    dir->create_data_node("MAX_TYPE", NODE_STR32, max_type_name.GetString());
    put_enum(dir, "VERSION", mtl_version);
    put_enum(dir, "CATEGORY", category);
    put_enum(dir, "TWO_SIDED", two_sided);
    put_enum(dir, "FILL_MODE", mtl_fill_mode);
    put_enum(dir, "USE_LIGHT", use_light);
    if (o.save_all_sections || use_light) {
        dir->create_data_node("COLOR_AMB", NODE_D3DXCOLOR, &color.Ambient);
        dir->create_data_node("COLOR_DIF", NODE_D3DXCOLOR, &color.Diffuse);
        dir->create_data_node("COLOR_SPE", NODE_D3DXCOLOR, &color.Specular);
        dir->create_data_node("COLOR_EMI", NODE_D3DXCOLOR, &color.Emissive);
        dir->create_data_node("COLOR_SPE_POWER", NODE_FLOAT, &color.Power);
        put_enum(dir, "SYNC_AMB_DIF", sync_amb_dif);
    }
    put_enum(dir, "ENABLE_TRANSP", enable_transp_);
    if (o.save_all_sections || enable_transp_) {
        put_enum(dir, "TRANS_FACTOR", transparent_factor);
        put_enum(dir, "TRANSP_TYPE", transp_type);
        put_enum(dir, "ALPHA_REF", alpha_ref);
        put_enum(dir, "SRC_BLD", src_blend);
        put_enum(dir, "DST_BLD", dst_blend);
        put_enum(dir, "ZWRITE", zwrite);
        put_enum(dir, "TRANSP_PRIORITY", transp_priority);
    }
    if (o.save_all_sections || dif_texture->can_render(1))
        dif_texture->save_texture_to_node(dir, "TEX_DIFFUSE", &o);
    if (o.save_all_sections || lightmap_texture->can_render(1)) {
        lightmap_texture->save_texture_to_node(dir, "TEX_LIGHTMAP", &o);
        put_enum(dir, "LIGHTMAP_OP", lightmap_op);
        put_enum(dir, "LIGHTMAP_ALPHA", lightmap_blend_factor);
    }
    if (o.save_all_sections || env_texture->can_render(1)) {
        env_texture->save_texture_to_node(dir, "TEX_ENVMAP", &o);
        put_enum(dir, "ENV_OP", env_op);
        put_enum(dir, "ENV_ALPHA", env_blend_factor);
    }
    if (o.save_all_sections || bump_texture->can_render(1)) {
        bump_texture->save_texture_to_node(dir, "TEX_BUMPMAP", &o);
        put_enum(dir, "BUMP_FACTOR", bump_factor);
    }
    return 1;
}
