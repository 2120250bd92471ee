#include <qcore/data/pak_file.h>
#include <qcore/data/unit.h>
#include <qcore/platform/win32/message_box.h>

#include <support/temp_dir.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

TEST(Unit, NewUnitIsCentimetre) {
    CUnit unit;
    EXPECT_EQ(unit.get_type(), UNIT_CM);
    EXPECT_EQ(unit.get_type_name(0), "厘米");
    EXPECT_EQ(unit.get_type_name(1), "cm");
    unit.set_type(UNIT_MILE);
    unit.set_default();
    EXPECT_EQ(unit.get_type(), UNIT_CM);
}

TEST(Unit, NameTables) {
    const char* english[] = {"Inch", "Feet", "Mile", "mm", "cm", "M", "KM"};
    const char* chinese[] = {"英寸", "英尺", "英里", "毫米", "厘米", "米", "公里"};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(CUnit::get_unit_type_name(static_cast<UNIT_TYPE>(i), 1), english[i]) << i;
        EXPECT_EQ(CUnit::get_unit_type_name(static_cast<UNIT_TYPE>(i), 0), chinese[i]) << i;
    }
    for (int i : {-1, 7, 9}) {
        EXPECT_EQ(CUnit::get_unit_type_name(static_cast<UNIT_TYPE>(i), 1), "") << i;
        EXPECT_EQ(CUnit::get_unit_type_name(static_cast<UNIT_TYPE>(i), 0), "") << i;
    }
}

TEST(Unit, FormatStringReplacesBothMarkersCaseSensitively) {
    CUnit unit;
    EXPECT_EQ(unit.get_fmt_string("Length (unit)", 1), "Length (cm)");
    unit.set_type(UNIT_KM);
    EXPECT_EQ(unit.get_fmt_string("UNIT/unit", 1), "KM/KM");
    EXPECT_EQ(unit.get_fmt_string("UNIT/unit", 0), "公里/公里");
    EXPECT_EQ(unit.get_fmt_string("Unit uNIT %.2f", 1), "Unit uNIT %.2f");
    // An unknown type has no name: the markers vanish.
    unit.set_type(static_cast<UNIT_TYPE>(9));
    EXPECT_EQ(unit.get_fmt_string("[UNIT|unit]", 1), "[|]");
}

// Writes a file through fill, then opens it (with and without preload) and hands the root to check.
void round_trip(const std::function<void(CPakNode*)>& fill, const std::function<void(CPakNode*)>& check) {
    qcore::test::TempDir dir;
    const std::string path = dir.file("units.tpk");
    {
        CPakFile pak;
        ASSERT_EQ(pak.create(path.c_str()), 1);
        fill(pak.get_root());
    }
    for (int preload : {0, 1}) {
        CPakFile pak;
        ASSERT_EQ(pak.open(path.c_str(), preload), 1);
        check(pak.get_root());
    }
}

TEST(Unit, SavedDirectoryLayout) {
    round_trip(
        [](CPakNode* root) {
            CUnit unit;
            unit.set_type(UNIT_FEET);
            unit.save_unit_to_node(root, "unit");
        },
        [](CPakNode* root) {
            CPakNode* dir = root->find("UNIT");
            ASSERT_TRUE(dir);
            ASSERT_EQ(dir->get_children().size(), 3u);
            const char* names[] = {"VR_TYPE", "unit_type", "unit_type_name"};
            const WORD types[] = {NODE_STR32, NODE_INT, NODE_STR32};
            for (int i = 0; i < 3; ++i) {
                EXPECT_STREQ(dir->get_children()[i]->get_name(), names[i]);
                EXPECT_EQ(dir->get_children()[i]->get_node_type(), types[i]);
            }
            char text[32] = {};
            int32_t value = -1;
            ASSERT_TRUE(dir->find_data("VR_TYPE", NODE_STR32, text));
            EXPECT_STREQ(text, "VrUnit");
            ASSERT_TRUE(dir->find_data("unit_type", NODE_INT, &value));
            EXPECT_EQ(value, UNIT_FEET);
            ASSERT_TRUE(dir->find_data("unit_type_name", NODE_STR32, text));
            EXPECT_STREQ(text, "Feet");

            CUnit loaded;
            EXPECT_EQ(loaded.load_unit_from_node(dir), 1);
            EXPECT_EQ(loaded.get_type(), UNIT_FEET);
        });
}

TEST(Unit, LoadingDefaultsUnknownTypesAndForeignDirectories) {
    round_trip(
        [](CPakNode* root) {
            CPakNode* bare = root->create_dir_node("bare");
            bare->create_data_node("VR_TYPE", NODE_STR32, "vrunit");
            CPakNode* odd = root->create_dir_node("odd");
            odd->create_data_node("VR_TYPE", NODE_STR32, "VrUnit");
            const int32_t nine = 9;
            odd->create_data_node("unit_type", NODE_INT, &nine);
            odd->create_data_node("unit_type_name", NODE_STR32, "KM"); // never read
            CPakNode* other = root->create_dir_node("other");
            other->create_data_node("VR_TYPE", NODE_STR32, "VrCamera");
            const int32_t m = UNIT_M;
            other->create_data_node("unit_type", NODE_INT, &m);
        },
        [](CPakNode* root) {
            CUnit unit;
            unit.set_type(UNIT_MILE);
            EXPECT_EQ(unit.load_unit_from_node(root->find("bare")), 1);
            EXPECT_EQ(unit.get_type(), UNIT_CM);

            EXPECT_EQ(unit.load_unit_from_node(root->find("odd")), 1);
            EXPECT_EQ(unit.get_type(), 9);
            EXPECT_EQ(unit.get_type_name(1), "");
            EXPECT_EQ(unit.get_type_name(0), "");

            unit.set_type(UNIT_INCH);
            EXPECT_EQ(unit.load_unit_from_node(root->find("other")), 0);
            EXPECT_EQ(unit.load_unit_from_node(root->find("other")->find("unit_type")), 0);
            EXPECT_EQ(unit.load_unit_from_node(nullptr), 0);
            EXPECT_EQ(unit.get_type(), UNIT_INCH);
        });
}

TEST(Unit, UnknownTypeRoundTripsAndTakenNamesAreRefused) {
    qcore::MessageBoxRecorder boxes;
    round_trip(
        [](CPakNode* root) {
            CUnit unit;
            unit.set_type(static_cast<UNIT_TYPE>(-3));
            unit.save_unit_to_node(root, "u");
            unit.set_type(UNIT_KM);
            unit.save_unit_to_node(root, "U");
        },
        [](CPakNode* root) {
            ASSERT_EQ(root->get_children().size(), 1u);
            CUnit unit;
            EXPECT_EQ(unit.load_unit_from_node(root->find("u")), 1);
            EXPECT_EQ(unit.get_type(), -3);
            char text[32] = {1};
            root->find("u")->find_data("unit_type_name", NODE_STR32, text);
            EXPECT_STREQ(text, "");
        });
    EXPECT_EQ(boxes.count(), 1u);
}

} // namespace
