#include <qcore/platform/win32/file_find.h>
#include <qcore/platform/win32/file_ops.h>
#include <qcore/platform/win32/file_status.h>
#include <qcore/platform/win32/last_error.h>
#include <qcore/platform/win32/message_box.h>
#include <qcore/platform/win32/mfc_time.h>
#include <qcore/platform/win32/paths.h>
#include <qcore/platform/win32/shell.h>

#include "support/process_recorder.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <utime.h>

#include <filesystem>
#include <thread>

namespace {

namespace fs = std::filesystem;
using qcore::test::read_file_bytes;
using qcore::test::TempDir;
using qcore::test::write_file_bytes;

void set_mtime(const std::string& path, time_t t) {
    const struct utimbuf times { t, t };
    ::utime(path.c_str(), &times);
}

TEST(Paths, DriveTableMapsLettersToFolders) {
    TempDir dir;
    EXPECT_EQ(qcore::os_path("D:\\a\\b.txt"), "");
    EXPECT_EQ(GetDriveTypeA("D:\\"), static_cast<UINT>(DRIVE_NO_ROOT_DIR));
    qcore::set_drive('d', dir.path().c_str());
    const std::string root = dir.path().substr(0, dir.path().size() - 1);
    EXPECT_EQ(qcore::os_path("D:\\a\\b.txt"), root + "/a/b.txt");
    EXPECT_EQ(qcore::os_path("d:"), root);
    EXPECT_EQ(qcore::os_path("D:a/b"), root + "/a/b");
    EXPECT_EQ(GetDriveTypeA("D:\\"), static_cast<UINT>(DRIVE_FIXED));
    qcore::set_drive('E', "/", DRIVE_CDROM);
    EXPECT_EQ(qcore::os_path("E:\\x"), "/x");
    EXPECT_EQ(qcore::os_path("E:"), "/");
    EXPECT_EQ(GetDriveTypeA("e:"), static_cast<UINT>(DRIVE_CDROM));
    qcore::clear_drives();
    EXPECT_EQ(qcore::os_path("a\\b/c"), "a/b/c");
    EXPECT_EQ(GetDriveTypeA("/"), static_cast<UINT>(DRIVE_FIXED));
}

TEST(Paths, BuffersFollowTheWin32Rule) {
    char small[4] = "xyz";
    const DWORD need = GetTempPathA(sizeof(small), small);
    EXPECT_EQ(need, qcore::temp_folder().GetLength() + 1u);
    EXPECT_STREQ(small, "");
    std::string buf(need, '\0');
    EXPECT_EQ(GetTempPathA(need, buf.data()), need - 1);
    EXPECT_EQ(buf.back(), '\0');
    EXPECT_EQ(buf[need - 2], '/');

    TempDir dir;
    qcore::set_windows_folder((dir.path() + "win\\").c_str());
    char win[4096];
    ASSERT_GT(GetWindowsDirectoryA(win, sizeof(win)), 0u);
    EXPECT_EQ(std::string(win), dir.path() + "win");
    EXPECT_TRUE(fs::is_directory(win));
    qcore::set_windows_folder(nullptr);

    char cwd[4096];
    ASSERT_GT(GetCurrentDirectoryA(sizeof(cwd), cwd), 0u);
    ASSERT_TRUE(SetCurrentDirectoryA(dir.path().c_str()));
    char now[4096];
    GetCurrentDirectoryA(sizeof(now), now);
    EXPECT_EQ(fs::path(now), fs::canonical(dir.path()));
    EXPECT_TRUE(SetCurrentDirectoryA(cwd));

    char name[4096];
    EXPECT_EQ(GetShortPathNameA(dir.path().c_str(), name, sizeof(name)), dir.path().size());
    EXPECT_EQ(GetLongPathNameA(dir.file("missing").c_str(), name, sizeof(name)), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(LastError, IsKeptPerThread) {
    SetLastError(ERROR_ACCESS_DENIED);
    std::thread([] {
        EXPECT_EQ(GetLastError(), 0u);
        SetLastError(ERROR_FILE_NOT_FOUND);
    }).join();
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST(FileOps, CopyKeepsContentTimesAndHonoursFailIfExists) {
    TempDir dir;
    const std::string a = dir.file("a.bin"), b = dir.file("b.bin");
    write_file_bytes(a, std::string(200000, 'x') + "end");
    set_mtime(a, 1000000000);
    ASSERT_TRUE(CopyFileA(a.c_str(), b.c_str(), TRUE));
    EXPECT_EQ(read_file_bytes(b), read_file_bytes(a));
    CFileStatus st;
    ASSERT_TRUE(qcore::get_file_status(b.c_str(), st));
    EXPECT_EQ(st.m_mtime.GetTime(), 1000000000);
    EXPECT_EQ(st.m_size, 200003);

    write_file_bytes(a, "new");
    EXPECT_FALSE(CopyFileA(a.c_str(), b.c_str(), TRUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
    ASSERT_TRUE(CopyFileA(a.c_str(), b.c_str(), FALSE));
    EXPECT_EQ(read_file_bytes(b), "new");
    EXPECT_FALSE(CopyFileA(dir.file("missing").c_str(), b.c_str(), FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(CopyFileA(dir.path().c_str(), b.c_str(), FALSE));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
}

TEST(FileOps, MoveDeleteAndFolders) {
    TempDir dir;
    const std::string a = dir.file("a.txt"), b = dir.file("b.txt"), sub = dir.file("sub");
    write_file_bytes(a, "a");
    write_file_bytes(b, "b");
    EXPECT_FALSE(MoveFileA(a.c_str(), b.c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    ASSERT_TRUE(CreateDirectoryA(sub.c_str(), nullptr));
    EXPECT_FALSE(CreateDirectoryA(sub.c_str(), nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_FALSE(CreateDirectoryA(dir.file("x/y").c_str(), nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    ASSERT_TRUE(MoveFileA(a.c_str(), (dir.path() + "sub\\a2.txt").c_str()));
    EXPECT_EQ(read_file_bytes(sub + "/a2.txt"), "a");
    EXPECT_FALSE(DeleteFileA(sub.c_str()));
    EXPECT_FALSE(RemoveDirectoryA(sub.c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIR_NOT_EMPTY));
    EXPECT_TRUE(DeleteFileA((sub + "/a2.txt").c_str()));
    EXPECT_TRUE(RemoveDirectoryA(sub.c_str()));
    EXPECT_EQ(GetFileAttributesA(sub.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesA(dir.path().c_str()), FILE_ATTRIBUTE_DIRECTORY);
    write_file_bytes(dir.file(".hidden"), "");
    EXPECT_EQ(GetFileAttributesA(dir.file(".hidden").c_str()), FILE_ATTRIBUTE_HIDDEN);
}

TEST(FileFind, WildcardsFollowWindowsRules) {
    EXPECT_TRUE(qcore::wildcard_match("*.*", "noext"));
    EXPECT_TRUE(qcore::wildcard_match("*.JPG", "photo.jpg"));
    EXPECT_TRUE(qcore::wildcard_match("a?c", "abc"));
    EXPECT_TRUE(qcore::wildcard_match("a?c", "a中c")); // one Chinese character
    EXPECT_FALSE(qcore::wildcard_match("a?c", "ac"));
    EXPECT_TRUE(qcore::wildcard_match("*a*b*", "xxaYYbzz"));
    EXPECT_FALSE(qcore::wildcard_match("*a*b", "xxaYYbzz"));
    EXPECT_TRUE(qcore::wildcard_match("name.*", "name"));
    EXPECT_FALSE(qcore::wildcard_match("name.*", "names"));
}

TEST(FileFind, WalksAFolder) {
    TempDir dir;
    write_file_bytes(dir.file("b.txt"), "12345");
    write_file_bytes(dir.file("A.TXT"), "");
    write_file_bytes(dir.file("c.bmp"), "");
    fs::create_directory(dir.file("sub"));
    CFileFind find;
    std::vector<std::string> names;
    const std::string pattern = dir.path() + "*.*";
    for (BOOL more = find.FindFile(pattern.c_str()); more;) {
        more = find.FindNextFile();
        names.push_back(find.GetFileName().str() + (find.IsDirectory() ? "/" : "") +
                        (find.IsDots() ? "." : ""));
    }
    EXPECT_EQ(names, (std::vector<std::string>{"./.", "../.", "A.TXT", "b.txt", "c.bmp", "sub/"}));

    const std::string txt = dir.path().substr(0, dir.path().size() - 1) + "\\*.txt";
    ASSERT_TRUE(find.FindFile(txt.c_str()));
    EXPECT_TRUE(find.FindNextFile());
    EXPECT_EQ(find.GetFilePath(), dir.path().substr(0, dir.path().size() - 1) + "\\A.TXT");
    EXPECT_FALSE(find.FindNextFile());
    EXPECT_EQ(find.GetFileName(), "b.txt");
    EXPECT_EQ(find.GetFileTitle(), "b");
    EXPECT_EQ(find.GetLength(), 5u);
    EXPECT_FALSE(find.FindFile((dir.path() + "*.zip").c_str()));
    EXPECT_FALSE(find.FindFile(dir.file("missing/*.*").c_str()));
}

TEST(FileStatus, DescribesFilesAndFolders) {
    TempDir dir;
    CFileStatus st;
    EXPECT_FALSE(qcore::get_file_status(dir.file("missing").c_str(), st));
    EXPECT_FALSE(qcore::get_file_status(nullptr, st));
    write_file_bytes(dir.file("f"), "abc");
    ASSERT_TRUE(qcore::get_file_status(dir.file("f").c_str(), st));
    EXPECT_EQ(st.m_size, 3);
    EXPECT_EQ(std::string(st.m_szFullName), dir.file("f"));
    EXPECT_NE(st.m_ctime.GetTime(), 0);
    ASSERT_TRUE(qcore::get_file_status(dir.path().c_str(), st));
    EXPECT_EQ(st.m_attribute & 0x10, 0x10);
}

TEST(CTime, FormatsLocalTimeWithAnyText) {
    const CTime t(2024, 3, 9, 7, 5, 2);
    EXPECT_EQ(t.Format("%Y年%m月%d日，%H:%M:%S"), "2024年03月09日，07:05:02");
    EXPECT_EQ(t.GetYear(), 2024);
    EXPECT_EQ(t.GetDayOfWeek(), 7); // a Saturday
    EXPECT_EQ(CTime(0).FormatGmt("%Y-%m-%d %H"), "1970-01-01 00");
    EXPECT_EQ(t.Format(""), "");
    EXPECT_EQ(t.Format(nullptr), "");
    EXPECT_EQ(t.Format("%p%p").IsEmpty(), false);
    EXPECT_LT(CTime(5), CTime(6));
}

TEST(ShellFileOperation, DeletesFoldersRecursivelyAndAsksFirst) {
    TempDir dir;
    fs::create_directories(dir.file("tree/a/b"));
    write_file_bytes(dir.file("tree/a/b/f.txt"), "x");
    write_file_bytes(dir.file("one.tmp"), "");
    write_file_bytes(dir.file("two.tmp"), "");
    const std::string tree = dir.file("tree") + std::string(1, '\0');
    SHFILEOPSTRUCTA op{};
    op.wFunc = FO_DELETE;
    op.pFrom = tree.c_str();
    {
        qcore::MessageBoxRecorder boxes(IDNO);
        EXPECT_EQ(SHFileOperationA(&op), 0);
        EXPECT_TRUE(op.fAnyOperationsAborted);
        ASSERT_EQ(boxes.count(), 1u);
        EXPECT_TRUE(fs::exists(dir.file("tree")));
    }
    op.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
    EXPECT_EQ(SHFileOperationA(&op), 0);
    EXPECT_FALSE(fs::exists(dir.file("tree")));

    const std::string tmp = dir.path() + "*.tmp" + std::string(1, '\0');
    op.pFrom = tmp.c_str();
    EXPECT_EQ(SHFileOperationA(&op), 0);
    EXPECT_TRUE(fs::is_empty(dir.path()));
    EXPECT_EQ(SHFileOperationA(&op), 0); // nothing matches: nothing to do
    const std::string missing = dir.file("missing") + std::string(1, '\0');
    op.pFrom = missing.c_str();
    EXPECT_EQ(SHFileOperationA(&op), ERROR_FILE_NOT_FOUND);
}

TEST(Shell, SplitsCommandLinesByWindowsRules) {
    using V = std::vector<std::string>;
    EXPECT_EQ(qcore::split_command_line("/tmp/~sfd.exe \"/tmp/a folder/\""),
              (V{"/tmp/~sfd.exe", "/tmp/a folder/"}));
    EXPECT_EQ(qcore::split_command_line("  a\\b  \"c\\\"d\" e\\\\\"f g\""), (V{"a\\b", "c\"d", "e\\f g"}));
    EXPECT_EQ(qcore::split_command_line(""), V{});
    EXPECT_EQ(qcore::split_command_line(nullptr), V{});
}

TEST(Shell, StartsProgramsAndOpensDocuments) {
    TempDir dir;
    const std::string marker = dir.file("ran");
    const std::string cmd = "sh -c \"echo hi > '" + marker + "'\"";
    ASSERT_GT(WinExec(cmd.c_str(), SW_HIDE), 31u);
    for (int i = 0; i < 500 && read_file_bytes(marker) != "hi\n"; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(read_file_bytes(marker), "hi\n");
    EXPECT_EQ(WinExec(dir.file("no-such-program").c_str(), SW_SHOW), static_cast<UINT>(ERROR_FILE_NOT_FOUND));

    qcore::test::ProcessRecorder processes;
    write_file_bytes(dir.file("doc.txt"), "");
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof(info);
    info.lpVerb = "open";
    info.lpFile = "doc.txt";
    info.lpDirectory = dir.path().c_str();
    const std::string doc = dir.file("doc.txt");
    info.lpFile = doc.c_str();
    EXPECT_TRUE(ShellExecuteExA(&info));
    EXPECT_GT(reinterpret_cast<intptr_t>(info.hInstApp), 32);
    info.lpFile = "/bin/sh";
    info.lpParameters = "-c \"exit 0\"";
    EXPECT_TRUE(ShellExecuteExA(&info));
    const std::string missing = dir.file("missing.txt");
    info.lpFile = missing.c_str();
    EXPECT_FALSE(ShellExecuteExA(&info));
    EXPECT_EQ(reinterpret_cast<intptr_t>(info.hInstApp), SE_ERR_FNF);
    info.lpFile = doc.c_str();
    info.lpVerb = "print";
    EXPECT_FALSE(ShellExecuteExA(&info));
    ASSERT_EQ(processes.started.size(), 2u);
    EXPECT_EQ(processes.started[0], (std::vector<std::string>{"xdg-open", doc}));
    EXPECT_EQ(processes.started[1], (std::vector<std::string>{"/bin/sh", "-c", "exit 0"}));
}

} // namespace
