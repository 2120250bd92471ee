#include <qcore/data/unit.h>

#include <gtest/gtest.h>

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

} // namespace
