#include <qcore/platform/win32/file.h>
#include <qcore/platform/win32/file_ops.h>
#include <qcore/platform/win32/ini.h>

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

namespace {

using qcore::test::read_file_bytes;
using qcore::test::TempDir;
using qcore::test::write_file_bytes;

// Every library writer that replaces a whole file; each writes `bytes`-dependent content to `target`.
struct Writer {
    const char* name;
    std::function<bool(const TempDir&, const std::string& target)> write;
    std::string expected;
};

std::vector<Writer> writers() {
    return {
        {"ini",
         [](const TempDir&, const std::string& t) {
             return WritePrivateProfileStringA("s", "k", "new", t.c_str()) != FALSE;
         },
         "[s]\r\nk=new\r\n"},
        {"copy",
         [](const TempDir& dir, const std::string& t) {
             write_file_bytes(dir.file("source"), "copied");
             return CopyFileA(dir.file("source").c_str(), t.c_str(), FALSE) != FALSE;
         },
         "copied"},
        {"safe writer",
         [](const TempDir&, const std::string& t) {
             qcore::SafeFileWriter w;
             if (!w.open(t.c_str())) return false;
             w.file().Write("written", 7);
             return w.commit() != FALSE;
         },
         "written"},
    };
}

mode_t mode_of(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

size_t entries(const std::string& folder) {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(folder), {}));
}

TEST(ReplacingFile, KeepsPermissionsLinksAndRefusesReadOnlyTargets) {
    for (const Writer& w : writers()) {
        SCOPED_TRACE(w.name);
        TempDir dir;
        const std::string target = dir.file("target");
        write_file_bytes(target, "[s]\r\nk=old\r\n");
        ::chmod(target.c_str(), 0600);
        ASSERT_TRUE(w.write(dir, target));
        EXPECT_EQ(read_file_bytes(target), w.expected);
        EXPECT_EQ(mode_of(target), 0600u);

        // Through a symbolic link: the link stays and the file it names changes.
        const std::string link = dir.file("link");
        std::filesystem::create_symlink(target, link);
        write_file_bytes(target, "[s]\r\nk=old\r\n");
        ASSERT_TRUE(w.write(dir, link));
        EXPECT_TRUE(std::filesystem::is_symlink(link));
        EXPECT_EQ(read_file_bytes(target), w.expected);

        // A file with two names keeps both.
        const std::string other = dir.file("other name");
        std::filesystem::create_hard_link(target, other);
        write_file_bytes(target, "[s]\r\nk=old\r\n");
        ASSERT_TRUE(w.write(dir, target));
        EXPECT_EQ(read_file_bytes(other), w.expected);
        EXPECT_EQ(std::filesystem::hard_link_count(target), 2u);
        EXPECT_EQ(mode_of(other), 0600u);

        write_file_bytes(target, "[s]\r\nk=old\r\n");
        ::chmod(target.c_str(), 0444);
        EXPECT_FALSE(w.write(dir, target));
        EXPECT_EQ(read_file_bytes(target), "[s]\r\nk=old\r\n");
        std::filesystem::remove(dir.file("source"));
        EXPECT_EQ(entries(dir.path()), 3u); // target, link, other name: no temporary file left
    }
}

TEST(ReplacingFile, RemovesWhatAKilledSaveLeftBehind) {
    // A process that has ended stands for the killed save.
    const pid_t gone = ::fork();
    if (gone == 0) ::_exit(0);
    ASSERT_GT(gone, 0);
    ::waitpid(gone, nullptr, 0);
    for (const Writer& w : writers()) {
        SCOPED_TRACE(w.name);
        TempDir dir;
        const std::string target = dir.file("a.ini");
        const std::string stale = dir.file(".a.ini." + std::to_string(gone) + ".Xy12z9");
        const std::string live = dir.file(".a.ini." + std::to_string(::getppid()) + ".Xy12z9");
        const std::string unrelated = dir.file(".a.ini.notes");
        for (const std::string& f : {stale, live, unrelated})
            write_file_bytes(f, "partial");
        ASSERT_TRUE(w.write(dir, target));
        EXPECT_FALSE(std::filesystem::exists(stale));
        EXPECT_TRUE(std::filesystem::exists(live));
        EXPECT_TRUE(std::filesystem::exists(unrelated));
    }
}

TEST(ReplacingFile, NewFilesFollowTheUmask) {
    TempDir dir;
    const mode_t old = ::umask(027);
    ASSERT_TRUE(WritePrivateProfileStringA("s", "k", "v", dir.file("new.ini").c_str()));
    ::umask(old);
    EXPECT_EQ(mode_of(dir.file("new.ini")), 0640u);
}

} // namespace
