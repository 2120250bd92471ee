#include <qcore/data/inifile.h>

#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace {

using qcore::test::read_file_bytes;
using qcore::test::TempDir;
using qcore::test::write_file_bytes;

TEST(Inifile, ScalarFormats) {
    TempDir dir;
    const std::string f = dir.file("s.ini");
    const char* file = f.c_str();
    ASSERT_TRUE(inifile::save_int_setting(file, "s", "i", -42));
    ASSERT_TRUE(inifile::save_float_setting(file, "s", "f", 1.5f));
    ASSERT_TRUE(inifile::save_BOOL_setting(file, "s", "b", TRUE));
    ASSERT_TRUE(inifile::save_str_setting(file, "s", "t", "text"));
    EXPECT_EQ(read_file_bytes(f), "[s]\r\ni=-42\r\nf=1.500000\r\nb=1\r\nt=text\r\n");
    EXPECT_EQ(inifile::get_int_setting(file, "S", "I", 0), -42);
    EXPECT_EQ(inifile::get_float_setting(file, "s", "f", 0), 1.5f);
    EXPECT_EQ(inifile::get_str_setting(file, "s", "t", "d"), "text");
    EXPECT_EQ(inifile::get_int_setting(file, "s", "missing", 7), 7);
    EXPECT_EQ(inifile::get_float_setting(file, "s", "missing", 0.25f), 0.25f);
    EXPECT_EQ(inifile::get_str_setting(file, "s", "missing", "d"), "d");

    write_file_bytes(f, "[s]\nb=5\nz=0\nbig=99999999999\n");
    EXPECT_EQ(inifile::get_BOOL_setting(file, "s", "b", FALSE), TRUE);
    EXPECT_EQ(inifile::get_BOOL_setting(file, "s", "z", TRUE), FALSE);
    EXPECT_EQ(inifile::get_BOOL_setting(file, "s", "missing", 9), TRUE);
    EXPECT_EQ(inifile::get_int_setting(file, "s", "big", 0), INT_MAX);

    const std::string long_value(255, 'x');
    ASSERT_TRUE(inifile::save_str_setting(file, "s", "long", long_value.c_str()));
    EXPECT_EQ(inifile::get_str_setting(file, "s", "long", ""), long_value.c_str());
}

TEST(Inifile, VectorsAsThreeKeysOrOneList) {
    TempDir dir;
    const std::string f = dir.file("v.ini");
    const char* file = f.c_str();
    ASSERT_TRUE(inifile::save_vec_setting(file, "cam", "pos", VEC(1, -2.5f, 3)));
    ASSERT_TRUE(inifile::save_vec_setting2(file, "cam", "dir", VEC(0.5f, 0, -1)));
    EXPECT_EQ(read_file_bytes(f), "[cam]\r\npos_0=1.000000\r\npos_1=-2.500000\r\npos_2=3.000000\r\n"
                                  "dir=0.500000,0.000000,-1.000000\r\n");
    EXPECT_EQ(inifile::get_vec_setting(file, "cam", "pos", VEC()), VEC(1, -2.5f, 3));
    EXPECT_EQ(inifile::get_vec_setting2(file, "cam", "dir", VEC()), VEC(0.5f, 0, -1));

    write_file_bytes(f, "[cam]\npos_1=4\ndir=\npart=7,8\n");
    const VEC def(9, 9, 9);
    EXPECT_EQ(inifile::get_vec_setting(file, "cam", "pos", def), VEC(9, 4, 9));
    EXPECT_EQ(inifile::get_vec_setting2(file, "cam", "dir", def), def);
    EXPECT_EQ(inifile::get_vec_setting2(file, "cam", "missing", def), def);
    EXPECT_EQ(inifile::get_vec_setting2(file, "cam", "part", def), VEC(7, 8, 9));
}

TEST(Inifile, MatricesAsSixteenKeysColumnDigitFirstOrOneList) {
    TempDir dir;
    const std::string f = dir.file("m.ini");
    const char* file = f.c_str();
    MAT m;
    for (int i = 0; i < 16; ++i)
        m.m[i / 4][i % 4] = static_cast<float>(i);
    ASSERT_TRUE(inifile::save_matrix_setting(file, "s", "w", m));
    // Row 1, column 2 (the value 6) is stored under "w_21".
    EXPECT_EQ(inifile::get_str_setting(file, "s", "w_21", ""), "6.000000");
    EXPECT_EQ(inifile::get_str_setting(file, "s", "w_12", ""), "9.000000");
    EXPECT_EQ(inifile::get_matrix_setting(file, "s", "w", MAT()), m);

    ASSERT_TRUE(inifile::save_matrix_setting2(file, "s", "w2", m));
    EXPECT_EQ(inifile::get_str_setting(file, "s", "w2", ""),
              "0.000000,1.000000,2.000000,3.000000,4.000000,5.000000,6.000000,7.000000,8.000000,9.000000,"
              "10.000000,11.000000,12.000000,13.000000,14.000000,15.000000");
    EXPECT_EQ(inifile::get_matrix_setting2(file, "s", "w2", MAT()), m);

    // Missing keys keep the default's elements.
    MAT identity;
    D3DXMatrixIdentity(&identity);
    write_file_bytes(f, "[s]\nw_00=5\nw_30=2\nw2=\n");
    MAT expected = identity;
    expected.m[0][0] = 5;
    expected.m[0][3] = 2;
    EXPECT_EQ(inifile::get_matrix_setting(file, "s", "w", identity), expected);
    EXPECT_EQ(inifile::get_matrix_setting2(file, "s", "w2", identity), identity);
}

TEST(Inifile, StringLists) {
    TempDir dir;
    const std::string f = dir.file("l.ini");
    const char* file = f.c_str();
    ASSERT_TRUE(inifile::save_str_list_to_ini(file, "recent", {"a.qvx", "b c.qvx"}));
    EXPECT_EQ(read_file_bytes(f), "[recent]\r\ncount=2\r\nstr0=a.qvx\r\nstr1=b c.qvx\r\n");
    std::vector<CString> items{"stale"};
    ASSERT_TRUE(inifile::get_str_list_from_ini(file, "recent", items));
    EXPECT_EQ(items, (std::vector<CString>{"a.qvx", "b c.qvx"}));
    ASSERT_TRUE(inifile::get_str_list_from_ini(file, "none", items));
    EXPECT_TRUE(items.empty());

    // A damaged count neither hangs nor allocates without bound.
    write_file_bytes(f, "[recent]\ncount=2000000000\nstr0=x\n");
    ASSERT_TRUE(inifile::get_str_list_from_ini(file, "recent", items));
    EXPECT_LE(items.size(), 10000u);
    EXPECT_EQ(items.front(), "x");
    write_file_bytes(f, "[recent]\ncount=-3\n");
    ASSERT_TRUE(inifile::get_str_list_from_ini(file, "recent", items));
    EXPECT_TRUE(items.empty());
    // Items read as single settings read: trimmed, unquoted, cut without splitting a character; a missing
    // item is empty. Without a section there is no list.
    write_file_bytes(f, "[Recent]\n count = 3 \nSTR0= \"q\" \nstr2=" + std::string(254, 'a') + "\xC3\xA9\n");
    ASSERT_TRUE(inifile::get_str_list_from_ini(file, "recent", items));
    EXPECT_EQ(items, (std::vector<CString>{"q", "", CString(std::string(254, 'a'))}));
    ASSERT_TRUE(inifile::get_str_list_from_ini(file, nullptr, items));
    EXPECT_TRUE(items.empty());
}

TEST(Inifile, StringListsAreSavedWhole) {
    TempDir dir;
    const std::string f = dir.file("l.ini");
    const char* file = f.c_str();
    write_file_bytes(f, "[recent]\r\nkeep=1\r\nstr07=odd\r\n");
    ASSERT_TRUE(inifile::save_str_list_to_ini(file, "recent", {"a", "b", "c", "d"}));
    // A shorter list leaves no items of the longer one behind; other keys stay.
    ASSERT_TRUE(inifile::save_str_list_to_ini(file, "recent", {"x", "y"}));
    EXPECT_EQ(read_file_bytes(f), "[recent]\r\nkeep=1\r\ncount=2\r\nstr0=x\r\nstr1=y\r\n");
    // An item that cannot be stored fails the save before anything is written.
    EXPECT_FALSE(inifile::save_str_list_to_ini(file, "recent", {"p", "q\nr", "s"}));
    EXPECT_FALSE(inifile::save_str_list_to_ini(file, "recent", {"p", CString(std::string(256, 'v'))}));
    EXPECT_EQ(read_file_bytes(f), "[recent]\r\nkeep=1\r\ncount=2\r\nstr0=x\r\nstr1=y\r\n");
    std::vector<CString> many;
    for (int i = 0; i < 1000; ++i)
        many.push_back(CString(std::to_string(i)));
    ASSERT_TRUE(inifile::save_str_list_to_ini(file, "big", many));
    std::vector<CString> back;
    ASSERT_TRUE(inifile::get_str_list_from_ini(file, "big", back));
    EXPECT_EQ(back, many);
}

TEST(Inifile, ValuesKeepToTheLimitWithoutSplittingCharacters) {
    TempDir dir;
    const std::string f = dir.file("u.ini");
    const char* file = f.c_str();
    // 254 bytes and a two-byte character: the character does not fit and is not cut in half.
    const std::string cut = std::string(254, 'a') + "\xC3\xA9";
    write_file_bytes(f, "[s]\nk=" + cut + "\n");
    EXPECT_EQ(inifile::get_str_setting(file, "s", "k", ""), std::string(254, 'a').c_str());
    const std::string fits = std::string(252, 'a') + "\xE4\xB8\xAD"; // 255 bytes
    ASSERT_TRUE(inifile::save_str_setting(file, "s", "k", fits.c_str()));
    EXPECT_EQ(inifile::get_str_setting(file, "s", "k", ""), fits.c_str());
    // A longer value could not be read back whole: refused, the old one stays.
    EXPECT_FALSE(inifile::save_str_setting(file, "s", "k", std::string(256, 'b').c_str()));
    EXPECT_EQ(inifile::get_str_setting(file, "s", "k", ""), fits.c_str());
}

} // namespace
