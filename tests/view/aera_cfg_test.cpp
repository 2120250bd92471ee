#include <qcore/data/pak_file.h>
#include <qcore/view/aera_cfg.h>

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

namespace {

struct Areas {
    CRect work, bars[2], area, bands[4];
};

Areas split(const CAeraCfg& cfg, const CRect& window) {
    Areas a;
    // Stale values must be overwritten.
    for (CRect& r : a.bands)
        r.SetRect(1, 2, 3, 4);
    cfg.recal_aera(window, a.work, a.bars, a.area, a.bands);
    return a;
}

CAeraCfg letterboxed(int wid, int hei) {
    CAeraCfg cfg;
    cfg.set_all_same(0);
    cfg.set_auto_stretch_workaera(0);
    cfg.get_aspect_of_workaera_ref() = CSize(wid, hei);
    return cfg;
}

TEST(AeraCfg, DefaultCoversTheWholeWindow) {
    const Areas a = split(CAeraCfg(), CRect(0, 0, 640, 480));
    EXPECT_EQ(a.work, CRect(0, 0, 640, 480));
    EXPECT_EQ(a.area, CRect(0, 0, 640, 480));
    for (const CRect& r : a.bars)
        EXPECT_TRUE(r.IsRectEmpty());
    for (const CRect& r : a.bands)
        EXPECT_TRUE(r.IsRectEmpty());
}

TEST(AeraCfg, WideWindowGetsSideBars) {
    const Areas a = split(letterboxed(4, 3), CRect(0, 0, 1000, 500));
    EXPECT_EQ(a.work, CRect(166, 0, 833, 500));
    EXPECT_EQ(a.bars[0], CRect(0, 0, 166, 500));
    EXPECT_EQ(a.bars[1], CRect(833, 0, 1000, 500));
    EXPECT_EQ(a.area, a.work);
}

TEST(AeraCfg, TallWindowGetsBarsAboveAndBelow) {
    const Areas a = split(letterboxed(4, 3), CRect(0, 0, 400, 601));
    // Height 400 / (4/3) = 300, top (601 - 300) / 2 = 150.
    EXPECT_EQ(a.work, CRect(0, 150, 400, 450));
    EXPECT_EQ(a.bars[0], CRect(0, 0, 400, 150));
    EXPECT_EQ(a.bars[1], CRect(0, 450, 400, 601));
}

TEST(AeraCfg, MatchingRatioOrStretchingGivesNoBars) {
    for (const CAeraCfg& cfg : {letterboxed(4, 3), [] {
                                    CAeraCfg c = letterboxed(16, 9);
                                    c.set_auto_stretch_workaera(1);
                                    return c;
                                }()}) {
        const Areas a = split(cfg, CRect(0, 0, 800, 600));
        EXPECT_EQ(a.work, CRect(0, 0, 800, 600));
        EXPECT_TRUE(a.bars[0].IsRectEmpty());
        EXPECT_TRUE(a.bars[1].IsRectEmpty());
    }
    // 1.3333 against 4/3: within 0.001.
    const Areas near = split(letterboxed(4, 3), CRect(0, 0, 13333, 10000));
    EXPECT_TRUE(near.bars[0].IsRectEmpty());
}

TEST(AeraCfg, InnerAreaWithFourBands) {
    CAeraCfg cfg = letterboxed(1, 1);
    cfg.set_3d_frect(FRect(0.25f, 0.25f, 0.75f, 0.75f));
    const Areas a = split(cfg, CRect(0, 0, 100, 100));
    EXPECT_EQ(a.area, CRect(25, 25, 75, 75));
    EXPECT_EQ(a.bands[0], CRect(0, 0, 100, 25));
    EXPECT_EQ(a.bands[1], CRect(0, 25, 25, 75));
    EXPECT_EQ(a.bands[2], CRect(75, 25, 100, 75));
    EXPECT_EQ(a.bands[3], CRect(0, 75, 100, 100));
    // Inside a letterboxed work area the 3D area follows the work area's offset.
    const Areas wide = split(cfg, CRect(0, 0, 300, 100));
    EXPECT_EQ(wide.work, CRect(100, 0, 200, 100));
    EXPECT_EQ(wide.area, CRect(125, 25, 175, 75));
    EXPECT_EQ(wide.bands[1], CRect(100, 25, 125, 75));
}

TEST(AeraCfg, AreaOutsideTheWorkAreaHasNoBands) {
    CAeraCfg cfg = letterboxed(1, 1);
    cfg.set_3d_frect(FRect(2, 2, 3, 3));
    const Areas a = split(cfg, CRect(0, 0, 100, 100));
    EXPECT_EQ(a.area, CRect(200, 200, 300, 300));
    for (const CRect& r : a.bands)
        EXPECT_TRUE(r.IsRectEmpty());
}

TEST(AeraCfg, DamagedValuesNeverDivideByZero) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (const CSize ratio : {CSize(4, 0), CSize(0, 3), CSize(-4, 3)}) {
        const Areas a = split(letterboxed(ratio.cx, ratio.cy), CRect(0, 0, 640, 480));
        EXPECT_EQ(a.work, CRect(0, 0, 640, 480));
    }
    // An empty window.
    const Areas empty = split(letterboxed(4, 3), CRect(0, 0, 0, 0));
    EXPECT_TRUE(empty.work.IsRectEmpty());
    EXPECT_TRUE(empty.bars[0].IsRectEmpty());
    // Non-finite fractions give the whole work area; huge ones stay inside int.
    CAeraCfg cfg = letterboxed(1, 1);
    cfg.set_3d_frect(FRect(nan, 0, 1, 1));
    EXPECT_EQ(split(cfg, CRect(0, 0, 50, 50)).area, CRect(0, 0, 50, 50));
    cfg.set_3d_frect(FRect(-1e30f, 0, 1e30f, 1));
    const Areas huge = split(cfg, CRect(0, 0, 50, 50));
    EXPECT_NEAR(huge.area.left, -50000, 1);
    EXPECT_NEAR(huge.area.right, 50000, 1);
}

TEST(AeraCfg, PersistsThroughATpkFile) {
    qcore::test::TempDir dir;
    const std::string path = dir.file("aera.tpk");
    CAeraCfg saved = letterboxed(16, 9);
    saved.set_3d_frect(FRect(0.1f, 0.2f, 0.9f, 0.8f));
    saved.set_color_outof_workaera(0xff102030);
    {
        CPakFile pak;
        ASSERT_EQ(pak.create(path.c_str()), 1);
        ASSERT_NE(saved.save_aeracfg_to_node(pak.get_root(), "aera"), nullptr);
        CPakNode* zero = pak.get_root()->create_dir_node("zero");
        zero->create_data_node("VR_TYPE", NODE_STR32, "CAeraCfg");
        const int32_t off = 0, hei = 0;
        zero->create_data_node("auto_stretch", NODE_INT, &off);
        zero->create_data_node("workaera_hei", NODE_INT, &hei);
    }
    CPakFile pak;
    ASSERT_EQ(pak.open(path.c_str(), 0), 1);
    CAeraCfg loaded;
    loaded.set_all_same(0);
    ASSERT_EQ(loaded.load_aeracfg_from_node(pak.get_root()->find("aera")), 1);
    EXPECT_EQ(loaded.is_all_same(), 1); // not saved: back to the default
    EXPECT_EQ(loaded.is_auto_stretch_workaera(), 0);
    EXPECT_EQ(loaded.get_aspect_of_workaera_ref(), CSize(16, 9));
    EXPECT_TRUE(loaded.get_3d_frect().is_equal(FRect(0.1f, 0.2f, 0.9f, 0.8f)));
    EXPECT_EQ(loaded.get_color_outof_workaera(), 0xff102030u);

    // A height of 0 from a file letterboxes nothing and divides by nothing.
    CAeraCfg zero;
    ASSERT_EQ(zero.load_aeracfg_from_node(pak.get_root()->find("zero")), 1);
    zero.set_all_same(0);
    EXPECT_EQ(split(zero, CRect(0, 0, 320, 200)).work, CRect(0, 0, 320, 200));

    EXPECT_EQ(loaded.load_aeracfg_from_node(pak.get_root()), 0);
}

} // namespace
