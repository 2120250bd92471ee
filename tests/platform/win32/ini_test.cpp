#include <qcore/platform/win32/ini.h>
#include <qcore/platform/win32/last_error.h>
#include <qcore/platform/win32/paths.h>

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace {

using qcore::test::read_file_bytes;
using qcore::test::TempDir;
using qcore::test::write_file_bytes;

std::string get(const std::string& file, const char* section, const char* key, const char* def = "",
                DWORD size = 512) {
    std::string buf(size, '#');
    const DWORD n = GetPrivateProfileStringA(section, key, def, buf.data(), size, file.c_str());
    return buf.substr(0, n);
}

std::string list(const std::string& file, const char* section, DWORD size = 512, DWORD* count = nullptr) {
    std::string buf(size, '#');
    const DWORD n = section ? GetPrivateProfileStringA(section, nullptr, "", buf.data(), size, file.c_str())
                            : GetPrivateProfileSectionNamesA(buf.data(), size, file.c_str());
    if (count) *count = n;
    return buf.substr(0, n + 1);
}

TEST(Ini, MissingFileSectionOrKeyGivesTheDefault) {
    TempDir dir;
    const std::string file = dir.file("a.ini");
    EXPECT_EQ(get(file, "s", "k", "dflt"), "dflt");
    write_file_bytes(file, "[s]\r\nk=v\r\n");
    EXPECT_EQ(get(file, "other", "k", "dflt"), "dflt");
    EXPECT_EQ(get(file, "s", "missing", "dflt  "), "dflt"); // trailing blanks of the default go
    char buf[8] = "xxxxxxx";
    EXPECT_EQ(GetPrivateProfileStringA("s", "missing", nullptr, buf, sizeof(buf), file.c_str()), 0u);
    EXPECT_STREQ(buf, "");
}

TEST(Ini, NamesIgnoreCaseAndValuesAreTrimmedAndUnquoted) {
    TempDir dir;
    const std::string file = dir.file("a.ini");
    write_file_bytes(file, "; comment\n  [ Video_Card ]  \n Total_Mem =  64  \nq1=\"  spaced  \"\nq2='x'\n"
                           "q3=\"open\nempty=\n[video_card]\ntotal_mem=second section is not read\n");
    EXPECT_EQ(get(file, "VIDEO_CARD", "total_mem"), "64");
    EXPECT_EQ(get(file, "video_card", "Q1"), "  spaced  ");
    EXPECT_EQ(get(file, "video_card", "q2"), "x");
    EXPECT_EQ(get(file, "video_card", "q3"), "\"open");
    EXPECT_EQ(get(file, "video_card", "empty", "dflt"), "");
    EXPECT_EQ(GetPrivateProfileIntA("Video_Card", "TOTAL_MEM", 7, file.c_str()), 64u);
}

TEST(Ini, IntegersReadTheLeadingNumber) {
    TempDir dir;
    const std::string file = dir.file("a.ini");
    write_file_bytes(file, "[s]\na=  42abc\nb=-5\nc=\nd=x\ne=99999999999\n");
    EXPECT_EQ(GetPrivateProfileIntA("s", "a", 7, file.c_str()), 42u);
    EXPECT_EQ(static_cast<int>(GetPrivateProfileIntA("s", "b", 7, file.c_str())), -5);
    EXPECT_EQ(GetPrivateProfileIntA("s", "c", 7, file.c_str()), 7u);
    EXPECT_EQ(GetPrivateProfileIntA("s", "d", 7, file.c_str()), 0u);
    EXPECT_EQ(GetPrivateProfileIntA("s", "missing", -3, file.c_str()), static_cast<UINT>(-3));
    EXPECT_EQ(GetPrivateProfileIntA("s", "e", 0, file.c_str()), 0xFFFFFFFFu);
}

TEST(Ini, ValuesAreCutToTheBuffer) {
    TempDir dir;
    const std::string file = dir.file("a.ini");
    const std::string long_value(255, 'v');
    ASSERT_TRUE(WritePrivateProfileStringA("s", "long", long_value.c_str(), file.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA("s", "short", "abcdefgh", file.c_str()));
    EXPECT_EQ(get(file, "s", "long", "", 256), long_value);
    EXPECT_EQ(get(file, "s", "long", "", 100), std::string(99, 'v'));
    EXPECT_EQ(get(file, "s", "short", "", 5), "abcd");
    EXPECT_EQ(get(file, "s", "short", "", 1), "");
    EXPECT_EQ(GetPrivateProfileStringA("s", "short", "", nullptr, 0, file.c_str()), 0u);
    EXPECT_EQ(get(file, "s", "missing", "default", 4), "def");
}

TEST(Ini, ListsSectionsAndKeysWithDoubleZeroEnd) {
    TempDir dir;
    const std::string file = dir.file("a.ini");
    write_file_bytes(file, "[one]\na=1\n;x=no\nb=2\n[Two]\n[three]\nc=3\n");
    DWORD n = 0;
    EXPECT_EQ(list(file, nullptr, 512, &n), std::string("one\0Two\0three\0\0", 15));
    EXPECT_EQ(n, 14u);
    EXPECT_EQ(list(file, "ONE"), std::string("a\0b\0\0", 5));
    EXPECT_EQ(list(file, "two", 512, &n), std::string("\0", 1));
    EXPECT_EQ(n, 0u);
    // Cut lists end with two zeros and report size - 2.
    EXPECT_EQ(list(file, nullptr, 7, &n), std::string("one\0T\0", 6));
    EXPECT_EQ(n, 5u);
}

TEST(Ini, WritingKeepsEverythingElse) {
    TempDir dir;
    const std::string file = dir.file("a.ini");
    const std::string before = "\xEF\xBB\xBF; settings\r\n[first]\r\nKey=old\r\n; note\r\nother = 1\r\n\r\n"
                               "[second]\r\nx=y\r\n";
    write_file_bytes(file, before);
    ASSERT_TRUE(WritePrivateProfileStringA("FIRST", "key", "new", file.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA("first", "added", "2", file.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA("third", "z", "3", file.c_str()));
    EXPECT_EQ(read_file_bytes(file), "\xEF\xBB\xBF; settings\r\n[first]\r\nKey=new\r\n; note\r\nother = 1\r\n"
                                     "added=2\r\n\r\n[second]\r\nx=y\r\n\r\n[third]\r\nz=3\r\n");
}

TEST(Ini, NewFilesAndUnixLineEnds) {
    TempDir dir;
    const std::string file = dir.file("new.ini");
    ASSERT_TRUE(WritePrivateProfileStringA("s", "k", "v", file.c_str()));
    EXPECT_EQ(read_file_bytes(file), "[s]\r\nk=v\r\n");
    write_file_bytes(file, "[s]\nk=v\n");
    ASSERT_TRUE(WritePrivateProfileStringA("s", "k2", "w", file.c_str()));
    EXPECT_EQ(read_file_bytes(file), "[s]\nk=v\nk2=w\n");
    EXPECT_FALSE(WritePrivateProfileStringA("s", "k", "v", dir.file("no/such/folder.ini").c_str()));
}

TEST(Ini, NullValueDeletesKeyAndNullKeyDeletesSection) {
    TempDir dir;
    const std::string file = dir.file("a.ini");
    write_file_bytes(file, "[a]\nx=1\ny=2\n[b]\nz=3\n; b's note\n[c]\nw=4\n");
    ASSERT_TRUE(WritePrivateProfileStringA("A", "X", nullptr, file.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA("b", nullptr, nullptr, file.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA("gone", nullptr, nullptr, file.c_str()));
    EXPECT_EQ(read_file_bytes(file), "[a]\ny=2\n[c]\nw=4\n");
    // Deleting from a missing file creates nothing.
    ASSERT_TRUE(WritePrivateProfileStringA("a", "x", nullptr, dir.file("none.ini").c_str()));
    EXPECT_FALSE(std::filesystem::exists(dir.file("none.ini")));
}

TEST(Ini, RefusesTextThatWouldBreakTheFile) {
    TempDir dir;
    const std::string file = dir.file("a.ini");
    EXPECT_FALSE(WritePrivateProfileStringA("s", "k", "line\r\n[evil]", file.c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(WritePrivateProfileStringA("s]", "k", "v", file.c_str()));
    EXPECT_FALSE(WritePrivateProfileStringA("s", "k=j", "v", file.c_str()));
    EXPECT_FALSE(std::filesystem::exists(file));
}

TEST(Ini, EverySavedNameReadsBackAndResavingDoesNotGrow) {
    TempDir dir;
    const std::string file = dir.file("n.ini");
    ASSERT_TRUE(WritePrivateProfileStringA(" sec ", " k ", "1", file.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA("sec", "k", "2", file.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA(" sec", "k ", "3", file.c_str()));
    EXPECT_EQ(read_file_bytes(file), "[sec]\r\nk=3\r\n");
    EXPECT_EQ(get(file, " sec ", " k "), "3");
    // Keys the reader would take for a comment or a section, or that are blank, are refused.
    for (const char* key : {";k", " ;k", "[k", "", "  "}) {
        SCOPED_TRACE(key);
        EXPECT_FALSE(WritePrivateProfileStringA("sec", key, "x", file.c_str()));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
    EXPECT_EQ(read_file_bytes(file), "[sec]\r\nk=3\r\n");
    // Deleting by an untrimmed name deletes the key and the section.
    ASSERT_TRUE(WritePrivateProfileStringA("sec ", " k", nullptr, file.c_str()));
    EXPECT_EQ(read_file_bytes(file), "[sec]\r\n");
    ASSERT_TRUE(WritePrivateProfileStringA(" sec", nullptr, nullptr, file.c_str()));
    EXPECT_EQ(read_file_bytes(file), "");
}

TEST(Ini, JunkLongLinesAndBareNames) {
    TempDir dir;
    const std::string file = dir.file("a.ini");
    std::string junk("\x00\x01\xFF[\x00]=\x00\n", 9);
    junk += std::string(1 << 20, 'x') + "\n[s]\r\nk=v\r\n" + std::string(3, '\0');
    write_file_bytes(file, junk);
    EXPECT_EQ(get(file, "s", "k"), "v");
    ASSERT_TRUE(WritePrivateProfileStringA("s", "k", "w", file.c_str()));
    EXPECT_EQ(get(file, "s", "k"), "w");
    EXPECT_EQ(read_file_bytes(file).size(), junk.size() + 1); // one line end added after the last line

    // A name without a folder lives in the Windows folder.
    qcore::set_windows_folder(dir.path().c_str());
    ASSERT_TRUE(WritePrivateProfileStringA("video_card", "total_mem", "128", "vcardinfo.ini"));
    EXPECT_EQ(read_file_bytes(dir.file("vcardinfo.ini")), "[video_card]\r\ntotal_mem=128\r\n");
    qcore::set_windows_folder(nullptr);
}

TEST(Ini, RewriteLeavesNoTemporaryFilesAndKeepsPermissions) {
    TempDir dir;
    const std::string file = dir.file("a.ini");
    write_file_bytes(file, "[s]\nk=v\n");
    ::chmod(file.c_str(), 0600);
    ASSERT_TRUE(WritePrivateProfileStringA("s", "k", "w", file.c_str()));
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    int entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        entries += e.is_regular_file();
    EXPECT_EQ(entries, 1);
}

TEST(Ini, FailedRewriteKeepsTheOldFile) {
    if (::geteuid() == 0) GTEST_SKIP() << "root ignores folder permissions";
    TempDir dir;
    const std::string sub = dir.file("locked");
    std::filesystem::create_directory(sub);
    const std::string file = sub + "/a.ini";
    write_file_bytes(file, "[s]\nk=old\n");
    ::chmod(sub.c_str(), 0555);
    EXPECT_FALSE(WritePrivateProfileStringA("s", "k", "new", file.c_str()));
    ::chmod(sub.c_str(), 0755);
    EXPECT_EQ(read_file_bytes(file), "[s]\nk=old\n");
}

// A writer killed at any moment leaves either the old or the new file, never a mixture.
TEST(Ini, KilledWriterLeavesOldOrNewFile) {
    TempDir dir;
    const std::string file = dir.file("a.ini");
    const std::string a(20000, 'a'), b(20000, 'b');
    ASSERT_TRUE(WritePrivateProfileStringA("s", "k", a.c_str(), file.c_str()));
    const std::string old_bytes = read_file_bytes(file);
    for (int round = 0; round < 20; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (int i = 0;; ++i)
                WritePrivateProfileStringA("s", "k", (i % 2 ? a : b).c_str(), file.c_str());
        }
        ::usleep(static_cast<useconds_t>(2000 + round * 700));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        const std::string now = read_file_bytes(file);
        ASSERT_TRUE(now == old_bytes || get(file, "s", "k", "", 30000) == b) << "round " << round;
    }
}

} // namespace
