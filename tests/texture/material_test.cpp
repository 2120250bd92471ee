#include <qcore/data/pak_file.h>
#include <qcore/platform/win32/file_ops.h>
#include <qcore/texture/material.h>

#include "texture/tex_fixture.h"

#include <gtest/gtest.h>

namespace {

using qcore::test::TexFixture;
using Material = TexFixture;

CTexFileCreateOpt with_type(TEX_TYPE t) {
    CTexFileCreateOpt o;
    o.tex_type = t;
    return o;
}

// A material with all four slots attached, enabled and mapped, saved whole.
CMyComPtr<IMaterial> full_material(gCore* core, const std::string* paths) {
    CMyComPtr<IMaterial> m = IMaterial::create_empty(core);
    m->set_max_type_name("Standard");
    m->set_category(MTL_CATEGORY_BUMP);
    m->set_use_light(0);
    m->enable_transp(1);
    m->set_transp_type(TRANSP_TYPE_3);
    m->set_alpha_ref(99);
    m->set_lightmap_op(D3DTOP_ADD);
    m->set_bump_factor(77);
    D3DMATERIAL8 c = m->get_color();
    c.Diffuse = {0.25f, 0.5f, 0.75f, 1.0f};
    c.Power = 12.0f;
    m->set_color(c);
    for (int slot = 0; slot < 4; ++slot) {
        ITexture* t = m->get_tex_from_index(slot);
        t->enable_texture(1);
        t->set_map_channel_in_origin_data(slot + 1);
        t->set_tex_coord_inex_in_render(slot);
        t->set_tex_stage_in_render(slot);
        t->set_filter_type(TEX_FILTER_POINT);
        t->get_atx_pars().set_random_flag(slot);
        t->create_tex_file(paths[slot].c_str(), nullptr, with_type(m->get_tex_prop_type(slot)), 1);
    }
    return m;
}

TEST_F(Material, DefaultsAndSlotsNeverNull) {
    CMyComPtr<IMaterial> m = IMaterial::create_empty(&core);
    EXPECT_EQ(m->refcount, 1);
    EXPECT_EQ(m->get_color().Diffuse.r, 0.5f);
    EXPECT_EQ(m->get_color().Emissive.a, 1.0f);
    EXPECT_EQ(m->get_src_blend(), D3DBLEND_SRCCOLOR);
    EXPECT_EQ(m->get_env_op(), D3DTOP_BLENDFACTORALPHA);
    EXPECT_EQ(m->get_max_type_name(), "not max type");
    EXPECT_EQ(m->get_env_texture()->get_map_channel_in_origin_data(), 0x10000);
    EXPECT_EQ(m->get_dif_texture()->get_map_channel_in_origin_data(), -1);
    EXPECT_EQ(m->get_tex_from_index(4), nullptr);
    EXPECT_STREQ(IMaterial::get_category_name(2), "Unknow");
    EXPECT_STREQ(IMaterial::get_category_name(3), "Bump");
    EXPECT_EQ(m->get_tex_prop_type(WHICH_TEX_DIFFUSE), TEX_TYPE_NORMAL);
    EXPECT_EQ(m->get_tex_prop_type(WHICH_TEX_BUMPMAP), TEX_TYPE_BUMP);

    ITexture* before = m->get_dif_texture();
    m->set_dif_texture(nullptr);
    EXPECT_EQ(m->get_dif_texture().get(), before);
    std::vector<CMyComPtr<ITexture>> all;
    m->get_all_textures(all);
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(all[1].get(), m->get_lightmap_texture().get());

    void* out = this;
    EXPECT_EQ(m->QueryInterface(IID_IUnknown, &out), E_FAIL);
    EXPECT_EQ(out, nullptr);
}

TEST_F(Material, RoundTripWithAllFourSlotsThroughAFile) {
    const std::string paths[4] = {image("dif.png", 16, 16, 0x80ff0000u), image("lm.bmp", 16, 16),
                                  image("env.jpg", 32, 32), image("bump.bmp", 8, 8)};
    const std::string tpk = dir.file("scene.tpk");
    {
        CMyComPtr<IMaterial> m = full_material(&core, paths);
        CPakFile f;
        ASSERT_TRUE(f.create(tpk.c_str()));
        CSaveOpt opt;
        opt.save_all_sections = 0;
        opt.tex_path = dir.path().c_str();
        EXPECT_EQ(m->save_mtl_to_node(f.get_root(), "mtl", &opt), 1);
        EXPECT_EQ(f.get_root()->find("mtl")->find("COLOR_DIF"), nullptr); // lighting off: no colours
        ASSERT_NE(f.get_root()->find("mtl")->find("BUMP_FACTOR"), nullptr);
    }
    EXPECT_TRUE(core.tex_man->get_files().empty());

    CPakFile f;
    ASSERT_TRUE(f.open(tpk.c_str(), 1));
    CMyComPtr<IMaterial> m = IMaterial::create_empty(&core);
    const CTexPathInfo info(dir.path().c_str(), 0);
    ASSERT_EQ(m->load_mtl_from_node(device->get_dev(), f.get_root()->find("mtl"), &info), 1);
    EXPECT_EQ(m->get_max_type_name(), "Standard");
    EXPECT_EQ(m->get_category(), MTL_CATEGORY_BUMP);
    EXPECT_EQ(m->get_transp_type(), TRANSP_TYPE_3);
    EXPECT_EQ(m->get_alpha_ref(), 99);
    EXPECT_EQ(m->get_lightmap_op(), D3DTOP_ADD);
    EXPECT_EQ(m->get_bump_factor(), 77);
    EXPECT_EQ(m->get_color().Diffuse.r, 0.5f); // not saved, so the default
    for (int slot = 0; slot < 4; ++slot) {
        const ITexture* t = m->get_tex_from_index(slot);
        EXPECT_EQ(t->get_tex_filename(), CString(paths[slot].c_str())) << slot;
        EXPECT_EQ(t->can_render(1), 1) << slot;
        EXPECT_EQ(t->get_map_channel_in_origin_data(), slot + 1);
        EXPECT_EQ(t->get_filter_type(), TEX_FILTER_POINT);
        EXPECT_EQ(t->get_atx_pars().get_random_flag(), slot);
    }
    EXPECT_EQ(level0(m->get_bump_texture()->get_current_d3tex(nullptr)).Format, D3DFMT_V8U8);
}

TEST_F(Material, InvalidValuesAndTextureAlphaFormat) {
    CPakFile f;
    ASSERT_TRUE(f.create(dir.file("m.tpk").c_str()));
    CPakNode* dir_node = f.get_root()->create_dir_node("mtl");
    dir_node->create_data_node("VR_TYPE", NODE_STR32, "VrMaterial");
    const int one = 1, seven = 7, two = 2;
    dir_node->create_data_node("CATEGORY", NODE_INT, &one);
    dir_node->create_data_node("TRANSP_TYPE", NODE_INT, &seven);
    CMyComPtr<IMaterial> m = IMaterial::create_empty(&core);
    ASSERT_EQ(m->load_mtl_from_node(nullptr, dir_node, nullptr), 1);
    EXPECT_EQ(m->get_category(), MTL_CATEGORY_NORMAL);
    EXPECT_EQ(m->get_transp_type(), TRANSP_TYPE_1);
    m->set_alpha_ref(5);
    EXPECT_EQ(m->load_mtl_from_node(nullptr, f.get_root(), nullptr), 0);
    EXPECT_EQ(m->get_alpha_ref(), 5); // a refused node changes nothing

    // Transparency from the texture's alpha loads the diffuse file in the alpha slot's format.
    CTexStrategy s = core.tex_man->get_strategy();
    s.set_format(TEX_TYPE_ALPHA, D3DFMT_A4R4G4B4);
    core.tex_man->apply_new_strategy(nullptr, &s, nullptr);
    CPakNode* transp = f.get_root()->create_dir_node("transp");
    transp->create_data_node("VR_TYPE", NODE_STR32, "VrMaterial");
    transp->create_data_node("ENABLE_TRANSP", NODE_INT, &one);
    transp->create_data_node("TRANSP_TYPE", NODE_INT, &two);
    // Stored options would win over the material's choice; this texture has none.
    CPakNode* tex = transp->create_dir_node("TEX_DIFFUSE");
    tex->create_data_node("VR_TYPE", NODE_STR32, "VrTexture");
    tex->create_data_node("FILENAME", NODE_FILENAME, image("a.png", 16, 16).c_str());
    tex->create_data_node("ENABLE", NODE_INT, &one);
    ASSERT_EQ(m->load_mtl_from_node(nullptr, transp, nullptr), 1);
    EXPECT_EQ(level0(m->get_dif_texture()->get_current_d3tex(nullptr)).Format, D3DFMT_A4R4G4B4);
    // Editors switch it back after changing the transparency.
    m->enable_transp(0);
    m->adjust_tex_format(nullptr, WHICH_TEX_DIFFUSE);
    EXPECT_EQ(level0(m->get_dif_texture()->get_current_d3tex(nullptr)).Format, D3DFMT_A8R8G8B8);
}

TEST_F(Material, CopiesShareFilesButNotTextureObjects) {
    const std::string paths[4] = {image("a.bmp", 16, 16), image("b.bmp", 16, 16), image("c.bmp", 16, 16),
                                  image("d.bmp", 16, 16)};
    CMyComPtr<IMaterial> src = full_material(&core, paths);
    CMyComPtr<IMaterial> copy = IMaterial::create_empty(&core);
    copy->copy_material_from(src);
    copy->copy_material_from(copy); // itself: nothing happens
    EXPECT_EQ(copy->get_bump_factor(), 77);
    EXPECT_NE(copy->get_dif_texture().get(), src->get_dif_texture().get());
    CTexFile* file = src->get_dif_texture()->get_tex_file();
    EXPECT_EQ(copy->get_dif_texture()->get_tex_file(), file);
    EXPECT_EQ(file->get_ref_textures().size(), 2u);
    copy->get_dif_texture()->enable_texture(0);
    EXPECT_EQ(src->get_dif_texture()->is_enable(), 1);
    EXPECT_EQ(file->is_loaded(), 1);
    src.reset();
    EXPECT_EQ(core.tex_man->get_files().size(), 4u); // the copy still uses them
    EXPECT_EQ(file->is_loaded(), 0);                 // but its diffuse texture is disabled
    copy.reset();
    EXPECT_TRUE(core.tex_man->get_files().empty());

    // Plain copies share the texture objects.
    CMyComPtr<IMaterial> a = full_material(&core, paths);
    IMaterial* b = new IMaterial(*a);
    EXPECT_EQ(b->get_dif_texture().get(), a->get_dif_texture().get());
    b->Release();
    EXPECT_EQ(a->get_dif_texture()->get_tex_file()->is_loaded(), 1);
}

TEST_F(Material, TextureCopiesRegisterWithTheirFile) {
    CMyComPtr<ITexture> t = texture(image("a.bmp", 16, 16));
    CTexFile* f = t->get_tex_file();
    {
        ITexture copy(*t);
        EXPECT_EQ(f->get_ref_textures().size(), 2u);
        ITexture other(*ITexture::create_empty(&core, 0));
        other = *t;
        EXPECT_EQ(f->get_ref_textures().size(), 3u);
        other = other;
    }
    EXPECT_EQ(f->get_ref_textures().size(), 1u);
    EXPECT_EQ(core.tex_man->get_files().size(), 1u);
    t->clone_itexture_from(t);
    EXPECT_EQ(t->get_tex_file(), f);

    // Assigning the smart pointer its own object keeps it alive.
    CMyComPtr<ITexture> alias = t;
    EXPECT_EQ(t->refcount, 2);
    alias.reset();
    t = t.get();
    EXPECT_EQ(t->refcount, 1);
    EXPECT_EQ(t->get_tex_file(), f);
}

TEST_F(Material, TextureNodesLoadWithTheCallersOptionsWhenAsked) {
    CMyComPtr<ITexture> t = texture(image("a.bmp", 64, 64));
    CPakFile f;
    ASSERT_TRUE(f.create(dir.file("t.tpk").c_str()));
    CSaveOpt o;
    o.tex_path = dir.path().c_str();
    t->save_texture_to_node(f.get_root(), "tex", &o);
    CPakNode* opt_node = f.get_root()->find("tex")->find("Create_Opt");
    ASSERT_NE(opt_node, nullptr);
    const int ten = 10;
    opt_node->find("tex_type")->set_data_buf(&ten, 4);
    CMyComPtr<ITexture> u = ITexture::create_empty(&core, 0);
    CTexFileCreateOpt mine;
    mine.size = CSize(8, 8);
    t.reset();
    ASSERT_EQ(u->reload_texture_from_node(f.get_root()->find("tex"), nullptr, &mine, 0), 1);
    EXPECT_EQ(u->get_tex_file()->get_create_opt().size.cx, 8);
    EXPECT_EQ(u->reload_texture_from_node(f.get_root(), nullptr, &mine, 0), 0);
    EXPECT_EQ(u->get_tex_file(), nullptr);
}

TEST_F(Material, SavingCopiesTexturesThatAreFoundAfterTheFolderMoves) {
    const std::string paths[4] = {image("src/a.bmp", 16, 16), image("src/b.jpg", 16, 16),
                                  image("src/c.png", 16, 16), image("src/d.bmp", 16, 16)};
    ASSERT_TRUE(filefun::create_path(dir.file("proj/").c_str()));
    const std::string tpk = dir.file("proj/scene.tpk");
    {
        CMyComPtr<IMaterial> m = full_material(&core, paths);
        m->get_bump_texture()->enable_texture(0); // unloaded: copied only when asked for all
        CPakFile f;
        ASSERT_TRUE(f.create(tpk.c_str()));
        CSaveOpt o;
        o.copy_textures = 1;
        o.tex_path = dir.file("proj/").c_str();
        m->save_mtl_to_node(f.get_root(), "mtl", &o);
        EXPECT_TRUE(filefun::file_exist(dir.file("proj/b.jpg").c_str()));
        EXPECT_FALSE(filefun::file_exist(dir.file("proj/d.bmp").c_str()));
        char name[MAX_PATH] = {};
        f.get_root()->find("mtl")->find("TEX_BUMPMAP")->find_data("FILENAME", NODE_FILENAME, name);
        EXPECT_EQ(name, paths[3]);
        f.get_root()->find("mtl")->find("TEX_ENVMAP")->find_data("FILENAME", NODE_FILENAME, name);
        EXPECT_STREQ(name, "c.png");
    }
    ASSERT_TRUE(MoveFileA(dir.file("proj").c_str(), dir.file("moved").c_str()));
    ASSERT_EQ(::rename(dir.file("src").c_str(), dir.file("gone").c_str()), 0);
    CPakFile f;
    ASSERT_TRUE(f.open(dir.file("moved/scene.tpk").c_str(), 1));
    CMyComPtr<IMaterial> m = IMaterial::create_empty(&core);
    CTexPathInfo info(dir.file("moved/").c_str(), 0);
    ASSERT_EQ(m->load_mtl_from_node(nullptr, f.get_root()->find("mtl"), &info), 1);
    EXPECT_EQ(m->get_env_texture()->get_tex_filename(), CString(dir.file("moved/c.png").c_str()));
    EXPECT_EQ(m->get_env_texture()->can_render(1), 1);
    // The uncopied bump map is missing and is reported.
    EXPECT_EQ(m->get_bump_texture()->get_tex_file()->is_loaded(), 0);
    m->get_bump_texture()->enable_texture(1);
    EXPECT_EQ(last_log(), paths[3] + ", 贴图文件未找到!");
}

TEST_F(Material, DdsConversionWritesWhatWasSavedUnderDistinctNames) {
    ASSERT_TRUE(filefun::create_path(dir.file("out/").c_str()));
    CTexFileCreateOpt adjusted;
    adjusted.auto_size_factor = 1;
    adjusted.enable_col_adj = 1;
    adjusted.color_adj.brightness.set_all(140.0f);
    CMyComPtr<ITexture> a = texture(image("x/wall.bmp", 32, 32), 1, adjusted);
    CMyComPtr<ITexture> b = texture(image("y/wall.png", 16, 16));
    CMyComPtr<ITexture> off = texture(image("z/floor.bmp", 16, 16), 0);
    CPakFile f;
    ASSERT_TRUE(f.create(dir.file("t.tpk").c_str()));
    CSaveOpt o;
    o.copy_textures = 1;
    o.convert_to_dds = 1;
    o.only_loaded_textures = 0;
    o.tex_path = dir.file("out/").c_str();
    a->save_texture_to_node(f.get_root(), "a", &o);
    b->save_texture_to_node(f.get_root(), "b", &o);
    off->save_texture_to_node(f.get_root(), "off", &o);
    a->save_texture_to_node(f.get_root(), "a_again", &o);
    auto filename = [&](const char* node) {
        char name[MAX_PATH] = {};
        f.get_root()->find(node)->find_data("FILENAME", NODE_FILENAME, name);
        return std::string(name);
    };
    EXPECT_EQ(filename("a"), "wall.dds");
    EXPECT_EQ(filename("b"), "wall_1.dds");
    EXPECT_EQ(filename("a_again"), "wall.dds");
    EXPECT_EQ(filename("off"), dir.file("z/floor.bmp")); // nothing written for an unloaded file
    EXPECT_TRUE(filefun::file_exist(dir.file("out/wall_1.dds").c_str()));
    CTexFileCreateOpt written;
    ASSERT_EQ(written.load_create_opt_from_node(f.get_root()->find("a")->find("Create_Opt")), 1);
    EXPECT_EQ(written.enable_col_adj, 0);
    EXPECT_EQ(written.auto_size_factor, 0);
    EXPECT_EQ(a->get_tex_file()->get_create_opt().auto_size_factor, 1);
    ASSERT_EQ(written.load_create_opt_from_node(f.get_root()->find("off")->find("Create_Opt")), 1);
}

} // namespace

namespace {

TEST_F(Material, FailedCopiesKeepTheAbsoluteNameAndNullOptionsUseDefaults) {
    CMyComPtr<ITexture> t = texture(image("a.bmp", 16, 16));
    CPakFile f;
    ASSERT_TRUE(f.create(dir.file("t.tpk").c_str()));
    CSaveOpt o;
    o.copy_textures = 1;
    o.overwrite_state = FO_OVERWRITE_ALL;
    o.tex_path = dir.file("no/such/folder/").c_str();
    qcore::MessageBoxRecorder boxes;
    t->save_texture_to_node(f.get_root(), "tex", &o);
    char name[MAX_PATH] = {};
    f.get_root()->find("tex")->find_data("FILENAME", NODE_FILENAME, name);
    EXPECT_EQ(name, dir.file("a.bmp"));
    EXPECT_EQ(last_log(), "复制文件失败: " + dir.file("a.bmp") + dir.file("no/such/folder/"));

    boxes.clear();
    CMyComPtr<IMaterial> m = IMaterial::create_empty(&core);
    EXPECT_EQ(m->save_mtl_to_node(f.get_root(), "mtl", nullptr), 1);
    EXPECT_NE(f.get_root()->find("mtl")->find("TEX_BUMPMAP"), nullptr); // every section by default
    EXPECT_EQ(boxes.texts().at(0), "tex path must fill");
}

} // namespace
