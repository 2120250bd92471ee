#include <qcore/data/vr_item.h>
#include <qcore/platform/win32/message_box.h>

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <set>

namespace {

class TestItem : public IVisItem {
public:
    static CMyComPtr<TestItem> create(VR_CLASS_TYPE type) {
        CMyComPtr<TestItem> p;
        p.attach(new TestItem(type));
        return p;
    }
    void on_selected(int s) override { seen.push_back(s); }
    std::vector<int> seen;

private:
    explicit TestItem(VR_CLASS_TYPE type) { class_id = type; }
};

struct VrItemTest : ::testing::Test {
    qcore::test::TempDir tmp;
    CPakFile pak;
    void SetUp() override { ASSERT_EQ(pak.create(tmp.file("items.tpk").c_str()), 1); }
    CPakNode* root() { return pak.get_root(); }
};

} // namespace

TEST(VrItem, FreshIdsNamesAndDefaults) {
    std::set<std::string> ids;
    for (int i = 0; i < 50; ++i) {
        CMyComPtr<TestItem> item = TestItem::create(VR_PANEL);
        EXPECT_FALSE(item->get_id().is_zero());
        const std::string text = item->get_id().get_str().GetString();
        EXPECT_EQ(std::count(text.begin(), text.end(), '-'), 4);
        ids.insert(text);
    }
    EXPECT_EQ(ids.size(), 50u);
    CMyComPtr<TestItem> item = TestItem::create(VR_MESH);
    EXPECT_EQ(item->get_name(), "Noname");
    EXPECT_EQ(item->get_class_name(), "IMesh");
    EXPECT_EQ(TestItem::create(VR_NONE)->get_class_name(), "err");
    EXPECT_EQ(TestItem::create(static_cast<VR_CLASS_TYPE>(13))->get_class_name(), "err");
    EXPECT_EQ(TestItem::create(VR_FUNCTION)->get_class_name(), "IFunction");
    EXPECT_TRUE(item->is_visible());
    EXPECT_FALSE(item->get_box().is_valid());
    item->set_box(CBox(VEC(0, 0, 0), VEC(2, 4, 6)));
    item->set_origin_pos(VEC(9, 9, 9));
    EXPECT_EQ(item->get_origin_pos(), VEC(1, 2, 3));
    item->set_selected(1);
    EXPECT_EQ(item->seen, std::vector<int>{1});
    EXPECT_EQ(item->is_selected(), 1);
}

TEST_F(VrItemTest, SaveAndLoadWithTransformsByClass) {
    CMyComPtr<TestItem> mesh = TestItem::create(VR_MESH), panel = TestItem::create(VR_PANEL);
    for (TestItem* item : {mesh.get(), panel.get()}) {
        item->set_wts(MAT::get_pan_matrix(1, 2, 3));
        item->set_box(CBox(VEC(-1, -1, -1), VEC(1, 1, 1)));
        item->set_visible(0);
        item->set_name("a name of forty characters, cut to 31 !!");
    }
    CPakNode* m = mesh->save_visitem_to_node(root(), "item");
    CPakNode* p = panel->save_visitem_to_node(root(), "item"); // duplicates allowed
    ASSERT_TRUE(m && p);
    EXPECT_EQ(m->find("wts"), nullptr);
    EXPECT_NE(p->find("wts"), nullptr);
    const MAT moved = MAT::get_pan_matrix(7, 0, 0);
    m->create_data_node("MESH_MATRIX", NODE_MATRIX, &moved);

    CMyComPtr<TestItem> back = TestItem::create(VR_PANEL);
    ASSERT_EQ(back->load_visitem_from_node(p, nullptr), 1);
    EXPECT_EQ(back->get_id(), panel->get_id());
    EXPECT_EQ(back->get_name(), "a name of forty characters, cut");
    EXPECT_EQ(back->get_name().GetLength(), 31);
    EXPECT_EQ(back->is_visible(), 0);
    EXPECT_EQ(back->get_wts(), MAT::get_pan_matrix(1, 2, 3));
    EXPECT_EQ(back->get_box().max, VEC(1, 1, 1));

    CMyComPtr<TestItem> mesh_back = TestItem::create(VR_MESH);
    ASSERT_EQ(mesh_back->load_visitem_from_node(m, nullptr), 1);
    EXPECT_EQ(mesh_back->get_wts(), moved); // no "wts": the mesh matrix

    // Another class is refused (fresh defaults), unless named as the alternative.
    const CGuid before = back->get_id();
    EXPECT_EQ(back->load_visitem_from_node(m, nullptr), 0);
    EXPECT_NE(back->get_id(), before);
    EXPECT_EQ(back->get_name(), "Noname");
    EXPECT_EQ(back->load_visitem_from_node(m, "IMesh"), 1);
}

TEST_F(VrItemTest, IdsAndClassNamesFromOlderFiles) {
    CPakNode* lower = root()->create_dir_node("lower");
    lower->create_data_node("vr_type", NODE_STR32, "imesh");
    const GUID zero{};
    CPakNode* zeroed = root()->create_dir_node("zeroed");
    zeroed->create_data_node("vr_type", NODE_STR32, "IMesh");
    zeroed->create_data_node("id", NODE_GUID, &zero);
    CMyComPtr<TestItem> item = TestItem::create(VR_MESH);
    ASSERT_EQ(item->load_vritem_from_node(lower, nullptr), 1); // letter case ignored, no id: a fresh one
    EXPECT_FALSE(item->get_id().is_zero());
    ASSERT_EQ(item->load_vritem_from_node(zeroed, nullptr), 1);
    EXPECT_FALSE(item->get_id().is_zero());
    EXPECT_EQ(item->load_vritem_from_node(nullptr, nullptr), 0);
}
