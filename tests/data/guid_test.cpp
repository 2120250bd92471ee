#include <qcore/data/guid.h>

#include <gtest/gtest.h>

#include <regex>
#include <string>

namespace {

CGuid make(DWORD a, WORD b, WORD c, std::initializer_list<BYTE> tail) {
    CGuid id;
    id.guid.Data1 = a;
    id.guid.Data2 = b;
    id.guid.Data3 = c;
    std::copy(tail.begin(), tail.end(), id.guid.Data4);
    return id;
}

TEST(Guid, TextGivesFiveHexGroupsWithLittleEndianTailWords) {
    CGuid id = make(0xAB, 0x1, 0xFFFF, {0x01, 0x02, 0x03, 0x04, 0x00, 0x00, 0x00, 0x80});
    EXPECT_STREQ(id.get_str().GetString(), "ab-1-ffff-4030201-80000000");
    EXPECT_STREQ(CGuid().get_str().GetString(), "0-0-0-0-0");

    CGuid a = CGuid::s_gen_new(), b = CGuid::s_gen_new();
    EXPECT_FALSE(a.is_zero());
    EXPECT_NE(a, b);
    EXPECT_TRUE(std::regex_match(std::string(a.get_str().GetString()),
                                 std::regex("[0-9a-f]+-[0-9a-f]+-[0-9a-f]+-[0-9a-f]+-[0-9a-f]+")));
    a.set_zero();
    EXPECT_TRUE(a.is_zero());
    EXPECT_EQ(a, CGuid::s_gen_zero());
}

TEST(Guid, OrderComparesThePartsAsUnsignedInTurn) {
    // The tail compares as little-endian words, so byte 3 outweighs byte 0.
    CGuid low = make(1, 0, 0, {0xFF, 0, 0, 0, 0, 0, 0, 0});
    CGuid high = make(1, 0, 0, {0, 0, 0, 1, 0, 0, 0, 0});
    EXPECT_TRUE(low < high);
    EXPECT_FALSE(high < low);
    EXPECT_TRUE(make(1, 0xFFFF, 0, {}) < make(2, 0, 0, {}));
    EXPECT_TRUE(make(0x7FFFFFFF, 0, 0, {}) < make(0x80000000u, 0, 0, {}));
    EXPECT_FALSE(low < low);
    EXPECT_NE(low, high);
}

} // namespace
