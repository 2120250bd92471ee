#include <qcore/data/pak_file.h>
#include <qcore/texture/color_adj.h>

#include <support/temp_dir.h>

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace {

// Channel k of a float4 (alpha, red, green, blue) sits at this shift in a table entry.
constexpr int shift_of[4] = {24, 16, 8, 0};

int curve(const ColorMatchTab& t, int channel, int input) {
    return int(t[input] >> shift_of[channel] & 0xff);
}

ColorMatchTab table_of(const COLOR_ADJ_DATA& d) {
    ColorMatchTab t;
    CColorAdjFun::cal_match_tab(d, t);
    return t;
}

TEST(ColorAdj, DefaultsAreNeutral) {
    COLOR_ADJ_DATA d;
    EXPECT_EQ(d.have_effect(), 0);
    EXPECT_EQ(d.gamma_coe, 3.0f);
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(d.contrast[k], 128.0f);
    ColorMatchTab identity;
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(identity[i], DWORD(i) * 0x01010101u);
    const ColorMatchTab t = table_of(d);
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(t[i], identity[i]) << i;

    // Any single float makes a difference, gamma_coe included.
    COLOR_ADJ_DATA e;
    e.gamma_coe = 2.0f;
    EXPECT_EQ(e.have_effect(), 1);
    EXPECT_EQ(e.is_same(d), 0);
    e.reset_default();
    e.brightness[3] = 129.0f;
    EXPECT_EQ(e.have_effect(), 1);
    e.reset_default();
    EXPECT_EQ(e.is_same(d), 1);
}

TEST(ColorAdj, BrightnessAddsAndClamps) {
    COLOR_ADJ_DATA d;
    d.brightness.set_all(160.0f);
    const ColorMatchTab t = table_of(d);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(curve(t, k, 0), 32);
        EXPECT_EQ(curve(t, k, 100), 132);
        EXPECT_EQ(curve(t, k, 223), 255);
        EXPECT_EQ(curve(t, k, 240), 255);
    }
}

TEST(ColorAdj, ScaleMultipliesByPowersOfOnePointOne) {
    COLOR_ADJ_DATA d;
    d.scale.set_all(136.0f);
    EXPECT_EQ(curve(table_of(d), 1, 200), 220);
    EXPECT_EQ(curve(table_of(d), 1, 240), 255);
    d.scale.set_all(120.0f);
    EXPECT_EQ(curve(table_of(d), 2, 100), 90);
}

TEST(ColorAdj, ContrastBlendsTowardsTheSteepLine) {
    COLOR_ADJ_DATA d;
    d.contrast.set_all(255.0f);
    const ColorMatchTab t = table_of(d);
    EXPECT_EQ(curve(t, 3, 100), 0); // trunc(-12 x 0.9921875 + 0.78125) = -11, clamped
    EXPECT_EQ(curve(t, 3, 120), 88);
    // Low contrast pulls towards 128: weight 1 at contrast 0.
    d.contrast.set_all(0.0f);
    const ColorMatchTab low = table_of(d);
    EXPECT_EQ(curve(low, 0, 0), 128);
    EXPECT_EQ(curve(low, 0, 255), 128);
    d.contrast.set_all(64.0f); // weight 0.5
    EXPECT_EQ(curve(table_of(d), 0, 200), 164);
}

TEST(ColorAdj, GammaCurves) {
    COLOR_ADJ_DATA d;
    d.gamma.set_all(255.0f);
    EXPECT_EQ(curve(table_of(d), 1, 8), 79); // gamma-high[8] = 80
    d.gamma.set_all(0.0f);
    EXPECT_EQ(curve(table_of(d), 1, 8), 0);    // gamma-low[8] = 0 with weight 1
    EXPECT_EQ(curve(table_of(d), 1, 128), 32); // 0.50196^3 x 255 = 32.25
    EXPECT_EQ(curve(table_of(d), 1, 255), 255);
    d.gamma_coe = 1.0f;                     // a straight line either way
    EXPECT_EQ(curve(table_of(d), 1, 8), 8); // 0.003921569 lies a hair above 1/255
}

TEST(ColorAdj, StepsApplyInOrderWithTablesIndexedByInput) {
    // Scale first, then contrast from contrast-high[x] of the input, brightness, gamma from gamma-high[x].
    COLOR_ADJ_DATA d;
    d.scale.set_all(136.0f);      // 100 -> 110
    d.contrast.set_all(192.0f);   // w = 0.5: trunc(-12 x 0.5 + 0.5 x 110) = 49
    d.brightness.set_all(138.0f); // 59
    d.gamma.set_all(192.0f);      // gamma-high[100] = trunc(0.73211 x 255) = 186; trunc(93 + 29.5) = 122
    EXPECT_EQ(curve(table_of(d), 2, 100), 122);
}

TEST(ColorAdj, EachChannelFollowsItsOwnCurve) {
    COLOR_ADJ_DATA d;
    d.brightness = float4(138.0f, 148.0f, 98.0f, 128.0f); // alpha +10, red +20, green -30, blue unchanged
    const ColorMatchTab t = table_of(d);
    EXPECT_EQ(CColorAdjFun::adjust_argb(t, 0x40506070u), 0x4A644270u);
    EXPECT_EQ(CColorAdjFun::adjust_argb(t, 0xFFFF1000u), 0xFFFF0000u);
    EXPECT_EQ(CColorAdjFun::adjust_colorref(t, 0x40506070u), 0x00644270u);
    EXPECT_EQ(CColorAdjFun::adjust_colorref(t, 0xFF000000u), 0x00140000u);
}

TEST(ColorAdj, NonFiniteParametersStayWithinRange) {
    COLOR_ADJ_DATA d;
    d.gamma_coe = -1.0f; // x^(1/p) of 0 is infinite
    d.gamma.set_all(255.0f);
    d.contrast[1] = std::numeric_limits<float>::infinity();
    d.scale[2] = 1e30f;
    d.brightness[3] = std::numeric_limits<float>::quiet_NaN();
    const ColorMatchTab t = table_of(d);
    for (int i = 0; i < 256; ++i)
        for (int k = 0; k < 4; ++k)
            ASSERT_LE(curve(t, k, i), 255);
}

} // namespace

namespace {

TEST(ColorAdj, BulkAdjustmentMatchesPerPixel) {
    COLOR_ADJ_DATA d;
    d.gamma = float4(90.0f, 150.0f, 200.0f, 128.0f);
    d.brightness = float4(128.0f, 140.0f, 100.0f, 170.0f);
    d.contrast[2] = 40.0f;
    const ColorMatchTab t = table_of(d);
    // An odd length exercises the tail after whole vector blocks.
    std::vector<DWORD> src(16 * 40 + 7);
    DWORD seed = 99;
    for (DWORD& v : src) {
        seed = seed * 1664525u + 1013904223u;
        v = seed;
    }
    std::vector<DWORD> expect(src.size()), bulk(src.size()), portable(src.size());
    for (size_t i = 0; i < src.size(); ++i)
        expect[i] = CColorAdjFun::adjust_argb(t, src[i]);
    qcore::adjust_argb_pixels(t, src.data(), bulk.data(), src.size());
    qcore::detail::adjust_argb_pixels_portable(t, src.data(), portable.data(), src.size());
    EXPECT_EQ(bulk, expect);
    EXPECT_EQ(portable, expect);
    qcore::adjust_argb_pixels(t, src.data(), src.data(), src.size());
    EXPECT_EQ(src, expect);
}

TEST(ColorAdj, NodeTreeRoundTrip) {
    qcore::test::TempDir dir;
    const std::string path = dir.file("adj.tpk");
    COLOR_ADJ_DATA d;
    d.gamma = float4(1.5f, 2.0f, 250.0f, 0.0f);
    d.scale[1] = 136.0f;
    d.brightness.set_all(97.25f);
    d.contrast[3] = 255.0f;
    d.gamma_coe = 2.5f;
    {
        CPakFile pak;
        ASSERT_EQ(pak.create(path.c_str()), 1);
        d.save_col_adj_data_to_node(pak.get_root(), "color_adj_data");
        CPakNode* partial = pak.get_root()->create_dir_node("partial");
        partial->create_data_node("VR_TYPE", NODE_STR32, "color_adj_data");
        const float coe = 1.0f;
        partial->create_data_node("gamma_coe", NODE_FLOAT, &coe);
        CPakNode* foreign = pak.get_root()->create_dir_node("foreign");
        foreign->create_data_node("VR_TYPE", NODE_STR32, "TEX_OPT");
        foreign->create_data_node("gamma_coe", NODE_FLOAT, &coe);
    }
    for (int preload : {0, 1}) {
        CPakFile pak;
        ASSERT_EQ(pak.open(path.c_str(), preload), 1);
        CPakNode* saved = pak.get_root()->find("color_adj_data");
        ASSERT_TRUE(saved);
        const char* names[] = {"VR_TYPE", "gamma", "scale", "brightness", "contrast", "gamma_coe"};
        const WORD types[] = {NODE_STR32, NODE_FLOAT4, NODE_FLOAT4, NODE_FLOAT4, NODE_FLOAT4, NODE_FLOAT};
        ASSERT_EQ(saved->get_children().size(), 6u);
        for (int i = 0; i < 6; ++i) {
            EXPECT_STREQ(saved->get_children()[i]->get_name(), names[i]);
            EXPECT_EQ(saved->get_children()[i]->get_node_type(), types[i]);
        }
        COLOR_ADJ_DATA loaded;
        EXPECT_EQ(loaded.load_col_adj_data_from_node(saved), 1);
        EXPECT_EQ(loaded.is_same(d), 1);

        // Missing children keep their defaults; earlier values do not survive a load.
        EXPECT_EQ(loaded.load_col_adj_data_from_node(pak.get_root()->find("partial")), 1);
        COLOR_ADJ_DATA expect;
        expect.gamma_coe = 1.0f;
        EXPECT_EQ(loaded.is_same(expect), 1);

        EXPECT_EQ(loaded.load_col_adj_data_from_node(pak.get_root()->find("foreign")), 0);
        EXPECT_EQ(loaded.load_col_adj_data_from_node(nullptr), 0);
        EXPECT_EQ(loaded.is_same(expect), 1);
    }
}

} // namespace
