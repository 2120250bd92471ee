#include <qcore/data/pak_file.h>
#include <qcore/geom/mathfun.h>
#include <qcore/platform/win32/message_box.h>
#include <qcore/texture/tex_opt.h>

#include <support/temp_dir.h>

#include <gtest/gtest.h>

#include <climits>

namespace {

using qcore::tex_size_rule;

struct SizeRow {
    const char* what;
    int w, h;
    CSize size;
    int factor;
    int max_clamp, min_clamp; // 0: clamp off
    int out_w, out_h;
};

TEST(TexSizeRule, Table) {
    const SizeRow rows[] = {
        {"nearest powers", 100, 30, {0, 0}, 0, 0, 0, 128, 32},
        {"factor 1 halves", 100, 30, {0, 0}, 1, 0, 0, 64, 16},
        {"floor of 8", 100, 30, {0, 0}, 3, 0, 0, 16, 8},
        {"negative factor enlarges", 100, 30, {0, 0}, -1, 0, 0, 256, 64},
        {"half a fixed size is ignored", 100, 30, {256, 0}, 1, 0, 0, 64, 16},
        {"fixed size capped by nearest powers", 300, 200, {512, 512}, 0, 0, 0, 256, 256},
        {"max clamp", 1024, 1024, {0, 0}, 0, 256, 0, 256, 256},
        {"min clamp", 16, 16, {0, 0}, 0, 0, 64, 64, 64},
        {"9000 wide", 9000, 64, {0, 0}, 0, 0, 0, 1024, 64},
        {"8192 wide is taken as a mistake too", 8192, 64, {0, 0}, 0, 0, 0, 1024, 64},
        {"hostile negative factor", 4096, 4096, {0, 0}, INT_MIN, 0, 0, 8192, 8192},
        {"hostile positive factor", 4096, 4096, {0, 0}, INT_MAX, 0, 0, 8, 8},
    };
    for (const SizeRow& r : rows) {
        CTexFileCreateOpt o;
        o.size = r.size;
        o.auto_size_factor = r.factor;
        o.use_max_clamp = r.max_clamp != 0;
        o.max_clamp_value = r.max_clamp;
        o.use_min_clamp = r.min_clamp != 0;
        o.min_clamp_value = r.min_clamp;
        const qcore::TexSize s = tex_size_rule(r.w, r.h, o);
        EXPECT_EQ(s.width, r.out_w) << r.what;
        EXPECT_EQ(s.height, r.out_h) << r.what;
    }
    // The texture rule and the general helper part ways at exactly 8192.
    EXPECT_EQ(qcore::tex_near_size(8192), 1024);
    EXPECT_EQ(GetNearSize(8192), 8192);
    for (int v : {3, 12, 24, 25, 96, 100, 640, 5000, 9000})
        EXPECT_EQ(qcore::tex_near_size(v), GetNearSize(v)) << v;
}

TEST(TexFileCreateOpt, RebuildOnlyForWhatTheTextureHolds) {
    const CTexFileCreateOpt base;
    CTexFileCreateOpt o = base;
    o.auto_size_factor = 2;
    o.use_max_clamp = 1;
    o.min_clamp_value = 64;
    EXPECT_EQ(base.does_need_rebuild_if_changed(o), 0);
    o = base;
    o.enable_col_adj = 1; // neutral adjustment
    EXPECT_EQ(base.does_need_rebuild_if_changed(o), 0);
    o.color_adj.brightness.set_all(140.0f);
    EXPECT_EQ(base.does_need_rebuild_if_changed(o), 1);
    CTexFileCreateOpt p = o;
    EXPECT_EQ(o.does_need_rebuild_if_changed(p), 0);
    p.color_adj.brightness[0] = 141.0f;
    EXPECT_EQ(o.does_need_rebuild_if_changed(p), 1);
    for (auto change : {+[](CTexFileCreateOpt& x) { x.mipcount = 1; },
                        +[](CTexFileCreateOpt& x) { x.tex_type = TEX_TYPE_ALPHA; },
                        +[](CTexFileCreateOpt& x) { x.user_fmt = D3DFMT_DXT1; },
                        +[](CTexFileCreateOpt& x) { x.size = CSize(64, 64); }}) {
        o = base;
        change(o);
        EXPECT_EQ(base.does_need_rebuild_if_changed(o), 1);
    }
}

TEST(TexStrategy, FormatsAndTheirErrors) {
    CTexStrategy s;
    qcore::MessageBoxRecorder boxes;
    EXPECT_EQ(s.get_format(TEX_TYPE_USER, D3DFMT_DXT1), D3DFMT_DXT1);
    EXPECT_EQ(s.get_format(TEX_TYPE_BUMP, D3DFMT_DXT1), D3DFMT_V8U8);
    EXPECT_EQ(s.get_format(TEX_TYPE_EXTRA, D3DFMT_UNKNOWN), D3DFMT_A8R8G8B8); // a defined start
    EXPECT_EQ(boxes.count(), 0u);
    s.set_format(TEX_TYPE_NORMAL, D3DFMT_R5G6B5);
    EXPECT_EQ(s.get_format(static_cast<TEX_TYPE>(5), D3DFMT_DXT1), D3DFMT_R5G6B5);
    s.set_format(static_cast<TEX_TYPE>(-1), D3DFMT_DXT5);
    s.set_format(TEX_TYPE_USER, D3DFMT_DXT5);
    EXPECT_EQ(boxes.texts(), (std::vector<std::string>{"get_format() err", "set_format() err"}));
    s.set_format(TEX_TYPE_EXTRA, D3DFMT_DXT3);
    s.set_default();
    EXPECT_EQ(s.tex_fmt[0], D3DFMT_A8R8G8B8);
    EXPECT_EQ(s.tex_fmt[3], D3DFMT_DXT3); // the fourth slot is not a default's business

    EXPECT_EQ(d3fmt::get_fmt_name(D3DFMT_A8R8G8B8), "A8R8G8B8");
    EXPECT_EQ(d3fmt::get_fmt_name(D3DFMT_DXT5), "DXT5");
    EXPECT_EQ(d3fmt::get_fmt_name(D3DFMT_D16_LOCKABLE), "D16_LOCKABLE");
    EXPECT_EQ(d3fmt::get_fmt_name(static_cast<D3DFORMAT>(33)), "fmt unknown");
    EXPECT_EQ(d3fmt::get_fmt_type(D3DFMT_X8L8V8U8), d3fmt::FMT_COLOR);
    EXPECT_EQ(d3fmt::get_fmt_type(D3DFMT_Q8W8V8U8), d3fmt::FMT_BUMP);
    EXPECT_EQ(d3fmt::get_fmt_type(D3DFMT_L6V5U5), d3fmt::FMT_BUMP_LUMINANCE);
}

TEST(TexStrategy, SameIgnoresFactorUnderAFixedSize) {
    CTexStrategy a, b;
    EXPECT_EQ(a.is_same(&b), 1);
    b.auto_size_factor = 2;
    EXPECT_EQ(a.is_same(&b), 0);
    a.size_width = b.size_width = 256;
    EXPECT_EQ(a.is_same(&b), 1);
    b.tex_fmt[3] = D3DFMT_DXT1;
    EXPECT_EQ(a.is_same(&b), 0);
    EXPECT_EQ(a.is_same(nullptr), 0);
}

TEST(TexPersistence, OptionsAndStrategyRoundTrip) {
    qcore::test::TempDir dir;
    CPakFile f;
    ASSERT_TRUE(f.create(dir.file("t.tpk").c_str()));
    CPakNode* root = f.get_root();

    CTexFileCreateOpt o;
    o.tex_type = TEX_TYPE_ALPHA;
    o.size = CSize(64, 32);
    o.mipcount = 3;
    o.max_clamp_value = 512;
    o.save_create_opt_to_node(root, "plain");
    o.enable_col_adj = 1;
    o.color_adj.gamma.set_all(100.0f);
    o.save_create_opt_to_node(root, "adjusted");
    EXPECT_EQ(root->find("plain")->find("color_adj_data"), nullptr);

    CTexFileCreateOpt back;
    ASSERT_EQ(back.load_create_opt_from_node(root->find("adjusted")), 1);
    EXPECT_EQ(back.does_need_rebuild_if_changed(o), 0);
    EXPECT_EQ(back.max_clamp_value, 512);
    EXPECT_EQ(back.size.cy, 32);
    back.mipcount = 7;
    EXPECT_EQ(back.load_create_opt_from_node(root->find("plain")->find("tex_type")), 0);
    EXPECT_EQ(back.mipcount, 7); // a refused node changes nothing

    CTexStrategy s;
    s.auto_size_factor = 2;
    s.set_format(TEX_TYPE_ALPHA, D3DFMT_A4R4G4B4);
    CSaveOpt dds;
    dds.convert_to_dds = 1;
    s.save_stragegy_to_node(root, "kept", &dds);
    EXPECT_EQ(s.auto_size_factor, 2);
    dds.keep_current_settings = 0;
    s.save_stragegy_to_node(root, "taken", &dds);
    EXPECT_EQ(s.auto_size_factor, 0);
    s.save_stragegy_to_node(root, "no_options", nullptr);

    char name[32] = {};
    ASSERT_TRUE(root->find("kept")->find_data("tex_fmt_name1", NODE_STR32, name));
    EXPECT_STREQ(name, "A4R4G4B4");
    CTexStrategy r;
    ASSERT_EQ(r.load_strategy_from_node(nullptr, root->find("kept")), 1);
    EXPECT_EQ(r.auto_size_factor, 0);
    EXPECT_EQ(r.tex_fmt[1], D3DFMT_A4R4G4B4);
    EXPECT_EQ(r.load_strategy_from_node(nullptr, root->find("plain")), 0);
}

} // namespace
