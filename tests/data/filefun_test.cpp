#include <qcore/data/appinfo.h>
#include <qcore/data/file_overwrite_dlg.h>
#include <qcore/data/filefun.h>
#include <qcore/platform/win32/dialogs.h>
#include <qcore/platform/win32/message_box.h>
#include <qcore/platform/win32/paths.h>
#include <qcore/platform/win32/shell.h>

#include "support/process_recorder.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <filesystem>

namespace {

namespace fs = std::filesystem;
using qcore::test::read_file_bytes;
using qcore::test::TempDir;
using qcore::test::write_file_bytes;

// Answers the overwrite dialog from a script and records what it was shown.
class OverwriteAnswers {
public:
    explicit OverwriteAnswers(std::vector<INT_PTR> answers) : answers_(std::move(answers)) {
        previous_ = qcore::set_dialog_handler([this](const qcore::DialogRequest& r) {
            requests.push_back(r);
            const INT_PTR answer = answers_.empty() ? r.cancel_answer : answers_.front();
            if (!answers_.empty()) answers_.erase(answers_.begin());
            return answer;
        });
    }
    ~OverwriteAnswers() { qcore::set_dialog_handler(previous_); }
    std::vector<qcore::DialogRequest> requests;

private:
    std::vector<INT_PTR> answers_;
    qcore::DialogHandler previous_;
};

TEST(Filefun, TakesNamesApartInTheInputsStyle) {
    const char* p = "D:\\a\\b.txt";
    EXPECT_EQ(filefun::get_file_path(p), "D:\\a\\");
    EXPECT_EQ(filefun::get_pure_filename(p, 1), "b.txt");
    EXPECT_EQ(filefun::get_pure_filename(p, 0), "b");
    EXPECT_EQ(filefun::get_rename_ext_file(p, "_textures\\"), "D:\\a\\b_textures\\");
    EXPECT_EQ(filefun::get_file_ext(p, 1), ".txt");
    EXPECT_EQ(filefun::get_file_ext(p, 0), "txt");
    EXPECT_EQ(filefun::get_file_ext("D:\\a.d\\b", 1), "");
    EXPECT_EQ(filefun::get_file_path(nullptr), "");
    EXPECT_EQ(filefun::get_file_path("D:b.txt"), "D:");
    EXPECT_EQ(filefun::get_file_path("/x/y/z.tar.gz"), "/x/y/");
    EXPECT_EQ(filefun::get_pure_filename("/x/y/z.tar.gz", 0), "z.tar");
    EXPECT_EQ(filefun::get_drive(p), "D:");
    EXPECT_EQ(filefun::get_drive("/x"), "");
    EXPECT_EQ(filefun::get_up_level_path("D:\\a\\b\\"), "D:\\a\\");
    EXPECT_EQ(filefun::get_up_level_path("/a/b/c.txt"), "/a/b/");
    EXPECT_EQ(filefun::get_last_path_name("D:\\a\\b\\\\"), "b");
    EXPECT_TRUE(filefun::is_pure_filename("b.txt"));
    EXPECT_FALSE(filefun::is_pure_filename("a/b.txt"));
    EXPECT_FALSE(filefun::is_pure_filename("D:b.txt"));
    EXPECT_FALSE(filefun::is_pure_filename(""));
    EXPECT_TRUE(filefun::is_file_type("x/a.ATX", ".atx"));
    EXPECT_TRUE(filefun::is_file_type("x/a.atx", "ATX"));
    EXPECT_FALSE(filefun::is_file_type("x/a.atxx", ".atx"));
    EXPECT_TRUE(filefun::is_end_with_slash("a\\"));
    EXPECT_FALSE(filefun::is_end_with_slash(""));
}

TEST(Filefun, ExistenceOfFilesFoldersAndDrives) {
    TempDir dir;
    write_file_bytes(dir.file("f.txt"), "x");
    EXPECT_TRUE(filefun::file_exist(dir.file("f.txt").c_str()));
    EXPECT_FALSE(filefun::file_exist(dir.path().c_str()));
    EXPECT_FALSE(filefun::file_exist(nullptr));
    ASSERT_TRUE(SetCurrentDirectoryA(dir.path().c_str()));
    EXPECT_FALSE(filefun::file_exist("f.txt")); // a bare name is never looked up
    EXPECT_TRUE(filefun::path_exist((dir.path() + "\\\\").c_str()));
    EXPECT_FALSE(filefun::path_exist(dir.file("f.txt").c_str()));
    EXPECT_TRUE(filefun::path_exist("/"));

    EXPECT_FALSE(filefun::path_exist("Q:"));
    qcore::set_drive('Q', dir.path().c_str());
    EXPECT_TRUE(filefun::path_exist("Q:"));
    EXPECT_TRUE(filefun::path_exist("Q:\\"));
    EXPECT_TRUE(filefun::file_exist("Q:\\f.txt"));
    EXPECT_TRUE(filefun::is_same_file("Q:\\f.txt", dir.file("f.txt").c_str()));
    EXPECT_FALSE(filefun::is_same_file("Q:\\f.txt", "Q:\\g.txt"));
    qcore::clear_drives();
    EXPECT_EQ(filefun::get_cur_dir(), CString(fs::canonical(dir.path()).string() + "/"));
}

TEST(Filefun, CreatesPathsLevelByLevel) {
    TempDir dir;
    const std::string deep = dir.path() + "a\\b/c";
    EXPECT_TRUE(filefun::create_path(deep.c_str()));
    EXPECT_TRUE(fs::is_directory(dir.path() + "a/b/c"));
    EXPECT_TRUE(filefun::create_path(deep.c_str())); // existing: at once
    EXPECT_FALSE(filefun::ensure_path((dir.path() + "x/y").c_str()));
    EXPECT_FALSE(fs::exists(dir.path() + "x"));
    EXPECT_TRUE(filefun::ensure_path((dir.path() + "x/y/").c_str()));
    EXPECT_TRUE(fs::is_directory(dir.path() + "x/y"));
    write_file_bytes(dir.file("file"), "");
    EXPECT_FALSE(filefun::create_path(dir.file("file/sub").c_str()));
    EXPECT_FALSE(filefun::create_path("Z:\\unmapped\\folder"));
    EXPECT_FALSE(filefun::create_path(""));
}

TEST(Filefun, CanWriteToFileLeavesExistingFilesAlone) {
    TempDir dir;
    const std::string existing = dir.file("keep.txt");
    write_file_bytes(existing, "precious data");
    EXPECT_TRUE(filefun::can_write_to_file(existing.c_str(), 0));
    EXPECT_EQ(read_file_bytes(existing), "precious data");

    const std::string fresh = dir.file("new.txt");
    EXPECT_TRUE(filefun::can_write_to_file(fresh.c_str(), 0));
    EXPECT_FALSE(fs::exists(fresh)); // the check removes only what it made

    const std::string nested = dir.file("made/for/it.txt");
    EXPECT_FALSE(filefun::can_write_to_file(nested.c_str(), 0));
    EXPECT_TRUE(filefun::can_write_to_file(nested.c_str(), 1));
    EXPECT_TRUE(fs::is_directory(dir.file("made/for")));
    EXPECT_FALSE(fs::exists(nested));
    EXPECT_FALSE(filefun::can_write_to_file(dir.path().c_str(), 0));
    EXPECT_FALSE(filefun::can_write_to_file("", 1));
    ::chmod(existing.c_str(), 0444);
    EXPECT_FALSE(filefun::can_write_to_file(existing.c_str(), 0));
    if (::geteuid() != 0) {
        // A writable file in a folder that takes no new files: the writers, which put a temporary file
        // beside their target, would fail.
        fs::create_directory(dir.file("locked"));
        write_file_bytes(dir.file("locked/w.txt"), "x");
        ::chmod(dir.file("locked").c_str(), 0555);
        EXPECT_FALSE(filefun::can_write_to_file(dir.file("locked/w.txt").c_str(), 0));
        EXPECT_FALSE(filefun::can_write_to_file(dir.file("locked/new.txt").c_str(), 0));
        ::chmod(dir.file("locked").c_str(), 0755);
    }
    // Through a link the file it names counts.
    fs::create_symlink(fresh, dir.file("link.txt"));
    EXPECT_TRUE(filefun::can_write_to_file(dir.file("link.txt").c_str(), 0));
}

TEST(Filefun, FileChangedGivesAllFourOutcomes) {
    TempDir dir;
    const std::string f = dir.file("t.png");
    CFileStatus missing;
    EXPECT_FALSE(filefun::get_file_status(f.c_str(), missing));
    EXPECT_EQ(missing.m_size, -1);
    EXPECT_EQ(missing.m_mtime.GetTime(), 0);
    EXPECT_EQ(filefun::file_changed(f.c_str(), missing), FS_SAME);

    write_file_bytes(f, "abc");
    EXPECT_EQ(filefun::file_changed(f.c_str(), missing), FS_CREATED);
    CFileStatus recorded;
    ASSERT_TRUE(filefun::get_file_status(f.c_str(), recorded));
    EXPECT_EQ(filefun::file_changed(f.c_str(), recorded), FS_SAME);

    const struct utimbuf later { recorded.m_mtime.GetTime() + 10, recorded.m_mtime.GetTime() + 10 };
    ::utime(f.c_str(), &later);
    EXPECT_EQ(filefun::file_changed(f.c_str(), recorded), FS_CHANGED);
    ASSERT_TRUE(filefun::get_file_status(f.c_str(), recorded));
    write_file_bytes(f, "abcd");
    ::utime(f.c_str(), &later);
    EXPECT_EQ(filefun::file_changed(f.c_str(), recorded), FS_CHANGED); // size alone

    fs::remove(f);
    EXPECT_EQ(filefun::file_changed(f.c_str(), recorded), FS_DELETED);
    EXPECT_EQ(filefun::file_changed(nullptr, recorded), FS_SAME);
}

TEST(Filefun, CopiesFollowTheOverwritePolicy) {
    TempDir dir;
    fs::create_directories(dir.file("src"));
    fs::create_directories(dir.file("dst"));
    for (const char* n : {"1.txt", "2.txt", "3.txt", "4.txt"}) {
        write_file_bytes(dir.file("src/") + n, std::string("new ") + n);
        write_file_bytes(dir.file("dst/") + n, "old");
    }
    const std::string dst = dir.file("dst/");
    auto copy = [&](const char* name, file_overwrite_flag& flag) {
        return filefun::copy_file_to_a_folder((dir.file("src/") + name).c_str(), dst.c_str(), nullptr, flag,
                                              1);
    };
    {
        // Keep this one, replace the next, then keep all the rest without asking again.
        OverwriteAnswers answers({FO_BTN_NO, FO_BTN_YES, FO_BTN_NO_ALL});
        file_overwrite_flag flag = FO_ASK;
        EXPECT_TRUE(copy("1.txt", flag));
        EXPECT_TRUE(copy("2.txt", flag));
        EXPECT_TRUE(copy("3.txt", flag));
        EXPECT_EQ(flag, FO_SKIP_ALL);
        EXPECT_TRUE(copy("4.txt", flag));
        EXPECT_EQ(answers.requests.size(), 3u);
        EXPECT_EQ(answers.requests[0].title, "文件替换确认");
    }
    EXPECT_EQ(read_file_bytes(dst + "1.txt"), "old");
    EXPECT_EQ(read_file_bytes(dst + "2.txt"), "new 2.txt");
    EXPECT_EQ(read_file_bytes(dst + "3.txt"), "old");
    EXPECT_EQ(read_file_bytes(dst + "4.txt"), "old");
    {
        OverwriteAnswers answers({FO_BTN_YES_ALL});
        file_overwrite_flag flag = FO_ASK;
        EXPECT_TRUE(copy("1.txt", flag));
        EXPECT_EQ(flag, FO_OVERWRITE_ALL);
        EXPECT_TRUE(copy("3.txt", flag));
        EXPECT_EQ(answers.requests.size(), 1u);
    }
    EXPECT_EQ(read_file_bytes(dst + "3.txt"), "new 3.txt");
    {
        // Without anyone to show the dialog, files are replaced.
        file_overwrite_flag flag = FO_ASK;
        EXPECT_TRUE(copy("4.txt", flag));
        EXPECT_EQ(flag, FO_OVERWRITE_ALL);
        EXPECT_EQ(read_file_bytes(dst + "4.txt"), "new 4.txt");
    }
}

TEST(Filefun, CopyEdgeCases) {
    TempDir dir;
    write_file_bytes(dir.file("a.txt"), "a");
    file_overwrite_flag flag = FO_ASK;
    EXPECT_TRUE(
        filefun::copy_file_to_a_folder(dir.file("a.txt").c_str(), dir.path().c_str(), nullptr, flag, 1));
    EXPECT_TRUE(
        filefun::copy_file_to_a_folder(dir.file("a.txt").c_str(), dir.path().c_str(), "b.txt", flag, 1));
    EXPECT_EQ(read_file_bytes(dir.file("b.txt")), "a");
    // A folder given without its trailing separator still receives the file.
    fs::create_directory(dir.file("sub"));
    EXPECT_TRUE(
        filefun::copy_file_to_a_folder(dir.file("a.txt").c_str(), dir.file("sub").c_str(), nullptr, flag, 1));
    EXPECT_TRUE(fs::exists(dir.file("sub/a.txt")));
    EXPECT_FALSE(
        filefun::copy_file_to_a_folder(dir.file("none.txt").c_str(), dir.path().c_str(), nullptr, flag, 1));
    EXPECT_FALSE(filefun::copy_file_to_a_folder("a.txt", dir.path().c_str(), nullptr, flag, 1));

    qcore::MessageBoxRecorder boxes;
    const std::string missing_folder = dir.file("no/such/");
    EXPECT_FALSE(
        filefun::copy_file_to_a_folder(dir.file("a.txt").c_str(), missing_folder.c_str(), nullptr, flag, 1));
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_EQ(boxes.texts()[0],
              "复制文件从：\n" + dir.file("a.txt") + "\n到：\n" + missing_folder + "a.txt\n失败！");
    EXPECT_FALSE(
        filefun::copy_file_to_a_folder(dir.file("a.txt").c_str(), missing_folder.c_str(), nullptr, flag, 0));
    EXPECT_EQ(boxes.count(), 1u);

    // No folder is not the current folder.
    std::error_code ec;
    const fs::path before = fs::current_path(ec);
    fs::create_directory(dir.file("cwd"));
    fs::current_path(dir.file("cwd"));
    boxes.clear();
    EXPECT_FALSE(filefun::copy_file_to_a_folder(dir.file("a.txt").c_str(), "", nullptr, flag, 1));
    EXPECT_FALSE(filefun::copy_file_to_a_folder(dir.file("a.txt").c_str(), nullptr, "c.txt", flag, 0));
    fs::current_path(ec ? fs::path("/") : before, ec);
    EXPECT_TRUE(fs::is_empty(dir.file("cwd")));
    EXPECT_EQ(boxes.texts(),
              std::vector<std::string>{"复制文件从：\n" + dir.file("a.txt") + "\n到：\na.txt\n失败！"});
}

TEST(Filefun, OverwriteDialogShowsBothFiles) {
    TempDir dir;
    const std::string src = dir.file("new.bmp"), dst = dir.file("old.bmp");
    write_file_bytes(src, std::string(12345, 's'));
    write_file_bytes(dst, std::string(999, 'd'));
    const CTime when(2023, 11, 5, 14, 3, 9);
    const struct utimbuf times { when.GetTime(), when.GetTime() };
    ::utime(src.c_str(), &times);
    ::utime(dst.c_str(), &times);
    qcore::test::ProcessRecorder processes;
    // View the existing file, then close with the cancel key.
    OverwriteAnswers answers({4, -7});
    EXPECT_EQ(pop_file_overwrite_dlg(src.c_str(), dst.c_str(), nullptr), FO_BTN_NO);
    EXPECT_EQ(processes.started, (std::vector<std::vector<std::string>>{{"xdg-open", dst}}));
    ASSERT_EQ(answers.requests.size(), 2u);
    const auto& r = answers.requests[0];
    EXPECT_EQ(r.kind, "file_overwrite");
    EXPECT_EQ(r.title, "确认文件替换");
    EXPECT_EQ(r.texts, (std::vector<CString>{"Tahoma", "目的文件夹已经包含一个名为 old.bmp 的文件。",
                                             "是否将现有文件", "0 KB\n修改时间：2023年11月05日，14:03:09",
                                             "替换为", "12 KB\n修改时间：2023年11月05日，14:03:09"}));
    const std::vector<std::pair<CString, INT_PTR>> buttons{
        {"查看", 4}, {"查看", 5}, {"是 (&Y)", 0}, {"全是 (&A)", 1}, {"否 (&N)", 2}, {"全否 (&D)", 3}};
    EXPECT_EQ(r.buttons, buttons);
    EXPECT_EQ(r.cancel_answer, FO_BTN_NO);
    EXPECT_EQ(answers.requests[1].attempt, 1);

    OverwriteAnswers more({FO_BTN_YES_ALL});
    EXPECT_EQ(pop_file_overwrite_dlg(src.c_str(), dir.file("gone").c_str(), "T"), FO_BTN_YES_ALL);
    EXPECT_EQ(more.requests[0].title, "T");
    EXPECT_EQ(more.requests[0].texts[3], "");
}

TEST(Filefun, CopiesFoldersRecursivelyUnderOneFlag) {
    TempDir dir;
    fs::create_directories(dir.file("src/sub/deeper"));
    write_file_bytes(dir.file("src/a.txt"), "a");
    write_file_bytes(dir.file("src/sub/b.txt"), "b");
    write_file_bytes(dir.file("src/sub/deeper/c.txt"), "c");
    fs::create_directories(dir.file("dst/sub"));
    write_file_bytes(dir.file("dst/a.txt"), "old a");
    write_file_bytes(dir.file("dst/sub/b.txt"), "old b");
    OverwriteAnswers answers({FO_BTN_NO_ALL});
    file_overwrite_flag flag = FO_ASK;
    EXPECT_TRUE(filefun::copy_folder(dir.file("src").c_str(), dir.file("dst").c_str(), flag));
    EXPECT_EQ(answers.requests.size(), 1u);
    EXPECT_EQ(read_file_bytes(dir.file("dst/a.txt")), "old a");
    EXPECT_EQ(read_file_bytes(dir.file("dst/sub/b.txt")), "old b");
    EXPECT_EQ(read_file_bytes(dir.file("dst/sub/deeper/c.txt")), "c");
    EXPECT_FALSE(filefun::copy_folder(dir.file("missing").c_str(), dir.file("dst").c_str(), flag));
    // Copying a folder into itself would never end.
    EXPECT_FALSE(filefun::copy_folder(dir.file("src").c_str(), dir.file("src/sub/copy/").c_str(), flag));
    EXPECT_FALSE(fs::exists(dir.file("src/sub/copy")));
}

TEST(Filefun, RenamesAndDeletes) {
    TempDir dir;
    write_file_bytes(dir.file("a.txt"), "a");
    fs::create_directories(dir.file("d/e"));
    qcore::MessageBoxRecorder boxes(IDNO);
    EXPECT_TRUE(filefun::rename_file(dir.file("a.txt").c_str(), dir.file("b.txt").c_str()));
    EXPECT_FALSE(filefun::rename_file(dir.file("a.txt").c_str(), dir.file("c.txt").c_str()));
    EXPECT_TRUE(filefun::rename_dir(dir.file("d").c_str(), dir.file("d2").c_str()));
    EXPECT_FALSE(filefun::rename_dir(dir.file("d").c_str(), dir.file("d3").c_str()));
    ASSERT_EQ(boxes.texts(), (std::vector<std::string>{dir.file("a.txt") + " : 源文件不存在!",
                                                       dir.file("d") + " : 源目录不存在!"}));
    write_file_bytes(dir.file("c.txt"), "c");
    EXPECT_FALSE(filefun::rename_file(dir.file("b.txt").c_str(), dir.file("c.txt").c_str()));
    EXPECT_EQ(boxes.count(), 2u);

    boxes.clear();
    EXPECT_TRUE(filefun::delete_file_or_dir(CString(dir.file("d2/").c_str()), 1)); // asked, answered no
    EXPECT_EQ(boxes.count(), 1u);
    EXPECT_TRUE(fs::exists(dir.file("d2/e")));
    EXPECT_TRUE(filefun::delete_file_or_dir(CString(dir.file("d2\\").c_str()), 0));
    EXPECT_FALSE(fs::exists(dir.file("d2")));
    EXPECT_TRUE(filefun::delete_file_or_dir(CString(dir.file("b.txt").c_str()), 0));
    EXPECT_FALSE(filefun::delete_file_or_dir(CString(dir.file("b.txt").c_str()), 0));
    EXPECT_TRUE(filefun::delete_file_or_dir(CString(), 0));
    EXPECT_FALSE(filefun::delete_file_or_dir(CString("/"), 0));
    EXPECT_EQ(boxes.count(), 1u);
}

TEST(Filefun, DeletesOnlyFullPathsThatNameTheirEntry) {
    TempDir dir;
    fs::create_directories(dir.file("work/sub"));
    write_file_bytes(dir.file("work/sub/f.txt"), "f");
    write_file_bytes(dir.file("work/g.txt"), "g");
    std::error_code ec;
    const fs::path before = fs::current_path(ec);
    fs::current_path(dir.file("work/sub"));
    for (const char* path : {".", "./", "..", "..\\", "f.txt", "sub", "./f.txt"}) {
        SCOPED_TRACE(path);
        EXPECT_FALSE(filefun::delete_file_or_dir(CString(path), 0));
    }
    fs::current_path(ec ? fs::path("/") : before, ec);
    EXPECT_FALSE(filefun::delete_file_or_dir(CString(dir.file("work/sub/..").c_str()), 0));
    EXPECT_FALSE(filefun::delete_file_or_dir(CString(dir.file("work/./g.txt").c_str()), 0));
    EXPECT_TRUE(fs::exists(dir.file("work/sub/f.txt")));
    EXPECT_TRUE(fs::exists(dir.file("work/g.txt")));
    EXPECT_TRUE(filefun::delete_file_or_dir(CString(dir.file("work/g.txt").c_str()), 0));
    EXPECT_FALSE(fs::exists(dir.file("work/g.txt")));
}

TEST(Filefun, FindsSiblingImages) {
    TempDir dir;
    write_file_bytes(dir.file("t.jpg"), "");
    write_file_bytes(dir.file("t.png"), "");
    CString found;
    EXPECT_TRUE(filefun::find_exist_brother_img_filename(dir.file("t.dds").c_str(), found));
    EXPECT_EQ(found, dir.file("t.jpg"));
    EXPECT_TRUE(filefun::find_exist_brother_img_filename(dir.file("t.jpeg").c_str(), found));
    EXPECT_EQ(found, dir.file("t.png")); // its own type is skipped
    EXPECT_FALSE(filefun::find_exist_brother_img_filename(dir.file("u.bmp").c_str(), found));
    EXPECT_FALSE(filefun::find_exist_brother_img_filename("t.bmp", found));
}

TEST(Appinfo, FoldersBelowTheApplication) {
    TempDir dir;
    qcore::set_app_folder(dir.path().c_str());
    EXPECT_EQ(appinfo::get_preset_ini(nullptr), dir.path() + "SysDataE/preset.ini");
    EXPECT_EQ(appinfo::get_edit_time_ui_path(nullptr), dir.path() + "SysDataE/uidesign/");
    EXPECT_EQ(appinfo::get_icon_path(nullptr), dir.path() + "SysDataE/Icons/");
    EXPECT_EQ(appinfo::get_runtime_data_path(nullptr), dir.path() + "SysDataR/");
    EXPECT_EQ(appinfo::get_help_path(nullptr), dir.path() + "help/");
    EXPECT_FALSE(fs::exists(dir.path() + "SysDataE"));
    EXPECT_EQ(appinfo::get_user_matlib_path(nullptr), dir.path() + "Userdata/matlib/");
    EXPECT_TRUE(fs::is_directory(dir.path() + "Userdata/matlib"));
    write_file_bytes(dir.file("blocked"), "");
    qcore::set_app_folder(dir.file("blocked/").c_str());
    EXPECT_EQ(appinfo::get_user_data_path(nullptr), "");
    EXPECT_EQ(appinfo::get_user_matlib_path(nullptr), "");
    qcore::set_app_folder(nullptr);
    EXPECT_EQ(filefun::get_module_path(nullptr), filefun::get_file_path(filefun::get_module_filename()));

    EXPECT_EQ(appinfo::get_qvx_temp_path(), qcore::temp_folder() + "~pmetxvq/");
    EXPECT_TRUE(fs::is_directory(appinfo::get_qvx_temp_path().str()));
    EXPECT_EQ(appinfo::get_qvx_texture_path("D:\\p\\scene.qvx"), "D:\\p\\scene_textures\\");
    EXPECT_EQ(appinfo::get_qvx_texture_path("/p/scene.qvx"), "/p/scene_textures/");
}

TEST(Appinfo, DeletesOnlyProjectsInTheTemporaryFolder) {
    const CString temp = appinfo::get_qvx_temp_path();
    const std::string project_folder = temp.str() + "Proj-" + std::to_string(::getpid()) + "/";
    fs::create_directories(project_folder + "deep");
    qcore::test::ProcessRecorder processes;
    const CString deleter = qcore::folder_deleter_path();
    EXPECT_TRUE(
        appinfo::delete_project_if_in_qvx_temp_path(deleter, (project_folder + "deep/a.qvx").c_str()));
    EXPECT_FALSE(appinfo::delete_project_if_in_qvx_temp_path(deleter, "/elsewhere/a.qvx"));
    EXPECT_FALSE(appinfo::delete_project_if_in_qvx_temp_path(deleter, (temp + "a.qvx").GetString()));
    EXPECT_FALSE(appinfo::delete_project_if_in_qvx_temp_path(deleter, ""));
    ASSERT_EQ(processes.started.size(), 1u);
    EXPECT_EQ(processes.started[0],
              (std::vector<std::string>{qcore::private_temp_folder() + "~sfd.exe", project_folder}));
    fs::remove_all(project_folder);
}

TEST(Appinfo, ProjectPathsAreNormalisedBeforeTheirFolderIsChosen) {
    const std::string temp = appinfo::get_qvx_temp_path().str();
    const std::string tag = std::to_string(::getpid());
    const std::string a = "pA-" + tag, b = "pB-" + tag;
    fs::create_directories(temp + a);
    fs::create_directories(temp + b + "/deep");
    TempDir elsewhere;
    fs::create_symlink(elsewhere.path(), temp + "link-" + tag);
    const CString deleter = qcore::folder_deleter_path();
    qcore::test::ProcessRecorder processes;
    // None of these may reach the temporary folder itself, a folder outside it or through a link.
    for (const std::string& project :
         {temp + "~x/../a.qvx", temp + "./a.qvx", temp + "/a.qvx", temp + a + "/../a.qvx",
          temp + "link-" + tag + "/a.qvx", temp + "../a.qvx", temp + "missing-" + tag + "/a.qvx"}) {
        SCOPED_TRACE(project);
        EXPECT_FALSE(appinfo::delete_project_if_in_qvx_temp_path(deleter, project.c_str()));
    }
    EXPECT_TRUE(processes.started.empty());
    // A project named through another folder is the project of the folder that really holds it.
    EXPECT_TRUE(appinfo::delete_project_if_in_qvx_temp_path(deleter,
                                                            (temp + a + "/../" + b + "/deep/x.qvx").c_str()));
    EXPECT_TRUE(
        appinfo::delete_project_if_in_qvx_temp_path(deleter, (temp + "." + "/" + b + "//a.qvx").c_str()));
    ASSERT_EQ(processes.started.size(), 2u);
    EXPECT_EQ(processes.started[0][1], temp + b + "/");
    EXPECT_EQ(processes.started[1][1], temp + b + "/");
    for (const std::string& f : {a, b, "link-" + tag})
        fs::remove_all(temp + f);
}

} // namespace
