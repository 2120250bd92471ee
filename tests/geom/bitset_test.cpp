#include <qcore/geom/bitset.h>

#include <support/temp_dir.h>

#include <gtest/gtest.h>

#include <cstring>
#include <sys/stat.h>

using qcore::test::read_file_bytes;
using qcore::test::TempDir;
using qcore::test::write_file_bytes;

namespace {
std::string le32(uint32_t v) {
    std::string s(4, '\0');
    std::memcpy(s.data(), &v, 4);
    return s;
}
} // namespace

TEST(Bitset, BufferKeepsSpareBits) {
    CBitset empty;
    EXPECT_EQ(empty.GetBufLenInByte(), 0);
    EXPECT_EQ(empty.GetBits(), nullptr);
    EXPECT_EQ(empty.GetSetCount(), 0);
    EXPECT_EQ(empty.HaveSet(), 0);

    EXPECT_EQ(CBitset(32, 0).GetBufLenInByte(), 8);
    EXPECT_EQ(CBitset(31, 0).GetBufLenInByte(), 4);
    EXPECT_EQ(CBitset(-3, 1).GetBufLenInByte(), 0);

    CBitset b(10, 0);
    b.ResetAll(1);
    EXPECT_EQ(b.GetSetCount(), 10);
    EXPECT_EQ(b.HaveSet(), 1);
    for (int i = 0; i < 10; ++i)
        b.UnSet(i);
    EXPECT_EQ(b.GetSetCount(), 0);
    EXPECT_EQ(b.HaveSet(), 1); // the spare bits are still set
    EXPECT_EQ(b.GetBits()[0], 0xfffffc00u);
    b.FlipAll();
    EXPECT_EQ(b.GetSetCount(), 10);
    EXPECT_EQ(b.GetBits()[0], 0xffffffffu);
}

TEST(Bitset, SingleBits) {
    CBitset b(64, 0);
    EXPECT_EQ(b.Flip(33), 1);
    EXPECT_EQ(b.IsSet(33), 2);
    EXPECT_EQ(b.Flip(33), 0);
    EXPECT_EQ(b.IsSet(33), 0);
    b.Set(31);
    EXPECT_EQ(b.IsSet(31), static_cast<int>(0x80000000u));
    EXPECT_LT(b.IsSet(31), 0);
    b.Set(63);
    EXPECT_EQ(b.GetSetCount(), 2);
    b.FlipAll();
    EXPECT_EQ(b.GetSetCount(), 62);
    EXPECT_EQ(b.GetBits()[2], 0u); // the spare word is untouched
    b.Resize(64, 0);               // same size still clears
    EXPECT_EQ(b.GetSetCount(), 0);
    b.Resize(64, 1);
    EXPECT_EQ(b.GetSetCount(), 64);
}

TEST(Bitset, AssignmentCopiesAndReturnsByteLength) {
    CBitset a(40, 0), b(3, 1);
    a.Set(39);
    EXPECT_EQ(b = a, 8);
    EXPECT_EQ(b.GetSize(), 40);
    EXPECT_NE(b.IsSet(39), 0);
    b.UnSet(39);
    EXPECT_NE(a.IsSet(39), 0); // a deep copy
    const CBitset c(a);
    EXPECT_NE(c.IsSet(39), 0);
}

TEST(Bitset, FileFormIsCountThenWords) {
    TempDir dir;
    CBitset b(40, 0);
    b.Set(0);
    b.Set(39);
    ASSERT_EQ(b.SaveTo(dir.file("bits.bin").c_str()), 1);
    EXPECT_EQ(read_file_bytes(dir.file("bits.bin")), le32(40) + le32(1) + le32(0x80));

    CBitset loaded(5, 1);
    ASSERT_EQ(loaded.LoadFrom(dir.file("bits.bin").c_str()), 1);
    EXPECT_EQ(loaded.GetSize(), 40);
    EXPECT_EQ(loaded.GetSetCount(), 2);
    EXPECT_NE(loaded.IsSet(39), 0);

    ASSERT_EQ(CBitset().SaveTo(dir.file("empty.bin").c_str()), 1);
    EXPECT_EQ(read_file_bytes(dir.file("empty.bin")).size(), 4u);
    ASSERT_EQ(loaded.LoadFrom(dir.file("empty.bin").c_str()), 1);
    EXPECT_EQ(loaded.GetSize(), 0);
    EXPECT_EQ(loaded.GetBits(), nullptr);
}

TEST(Bitset, SavingReplacesAnExistingFileAndLeavesNoTemporaries) {
    TempDir dir;
    const std::string path = dir.file("bits.bin");
    write_file_bytes(path, std::string(100, 'x'));
    ASSERT_EQ(CBitset(3, 1).SaveTo(path.c_str()), 1);
    EXPECT_EQ(read_file_bytes(path), le32(3) + le32(0xffffffff));
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_NE(st.st_mode & S_IRUSR, 0u);
    // Backslashes separate folders as well.
    std::string windows = path;
    windows[dir.path().size() - 1] = '\\';
    ASSERT_EQ(CBitset(1, 0).SaveTo(windows.c_str()), 1);
    EXPECT_EQ(read_file_bytes(path).size(), 8u);
    EXPECT_EQ(CBitset(1, 0).SaveTo(dir.file("missing/bits.bin").c_str()), 0);
    EXPECT_EQ(CBitset(1, 0).SaveTo(nullptr), 0);
}

TEST(Bitset, EmptySetsOfAnySizeRoundTrip) {
    TempDir dir;
    const std::string path = dir.file("empty.bin");
    for (int size : {0, -1, -40}) {
        SCOPED_TRACE(size);
        const CBitset empty(size, 1);
        ASSERT_EQ(empty.SaveTo(path.c_str()), 1);
        EXPECT_EQ(read_file_bytes(path), le32(static_cast<uint32_t>(size)));
        CBitset back(9, 1);
        ASSERT_EQ(back.LoadFrom(path.c_str()), 1);
        EXPECT_EQ(back.GetSize(), size);
        EXPECT_EQ(back.GetBufLenInByte(), 0);
        EXPECT_EQ(back.GetSetCount(), 0);
        EXPECT_EQ(back.HaveSet(), 0);
    }
}

TEST(Bitset, RefusesShortAndHostileFilesWithoutChangingTheSet) {
    TempDir dir;
    const std::string path = dir.file("bad.bin");
    const std::string good = le32(40) + le32(1) + le32(0x80);
    CBitset b(7, 1);
    // Every truncation of a valid file is refused.
    for (size_t n = 0; n < good.size(); ++n) {
        write_file_bytes(path, good.substr(0, n));
        EXPECT_EQ(b.LoadFrom(path.c_str()), 0) << n;
        EXPECT_EQ(b.GetSize(), 7);
        EXPECT_EQ(b.GetSetCount(), 7);
    }
    write_file_bytes(path, le32(0x7fffffff) + le32(1)); // far more bits than the file holds
    EXPECT_EQ(b.LoadFrom(path.c_str()), 0);
    EXPECT_EQ(b.LoadFrom(dir.file("none.bin").c_str()), 0);
    EXPECT_EQ(b.LoadFrom(dir.path().c_str()), 0); // a folder
    EXPECT_EQ(b.GetSize(), 7);
    EXPECT_EQ(b.GetSetCount(), 7);
}
