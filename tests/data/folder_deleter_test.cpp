#include <qcore/data/appinfo.h>
#include <qcore/data/filefun.h>
#include <qcore/platform/win32/message_box.h>
#include <qcore/platform/win32/paths.h>

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

namespace {

namespace fs = std::filesystem;

bool gone_within(const std::string& folder, std::chrono::seconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (fs::exists(folder) && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return !fs::exists(folder);
}

// A host process that asks for the folder to be deleted, then lives until told to end.
pid_t start_host(const std::string& folder, const int release[2]) {
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    ::close(release[1]);
    const int release_fd = release[0];
    const int ok = filefun::delete_self_path(qcore::folder_deleter_path(), folder.c_str());
    char byte = 0;
    while (::read(release_fd, &byte, 1) < 0) {}
    ::_exit(ok ? 0 : 1);
}

// Runs a host that asks for the folder to be deleted; checks that the folder stays while the host lives
// (when asked to) and is gone soon after it ends.
void delete_through_host(const std::string& folder, bool check_stays) {
    int release[2];
    ASSERT_EQ(::pipe2(release, O_CLOEXEC), 0);
    const pid_t host = start_host(folder, release);
    ASSERT_GT(host, 0);
    if (check_stays) {
        EXPECT_FALSE(gone_within(folder, std::chrono::seconds(1)));
    }
    ::close(release[1]);
    int status = 0;
    ASSERT_EQ(::waitpid(host, &status, 0), host);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(gone_within(folder, std::chrono::seconds(20)));
    ::close(release[0]);
}

TEST(FolderDeleter, DeletesTheFolderAfterItsHostEnds) {
    ASSERT_TRUE(filefun::file_exist(qcore::folder_deleter_path())) << qcore::folder_deleter_path().str();
    qcore::test::TempDir dir;
    const std::string folder = dir.file("in use/");
    fs::create_directories(folder + "sub");
    qcore::test::write_file_bytes(folder + "sub/file.txt", "data");

    delete_through_host(folder, true);
    // The copy that ran lives in this user's own temporary folder.
    EXPECT_TRUE(fs::exists(qcore::private_temp_folder() + "~sfd.exe"));
}

TEST(FolderDeleter, NeverRunsAProgramPlantedInTheSharedTemporaryFolder) {
    qcore::test::TempDir dir;
    const std::string planted = appinfo::get_qvx_temp_path().str() + "~sfd.exe";
    const std::string marker = dir.file("planted-ran");
    fs::remove(planted);
    qcore::test::write_file_bytes(planted, "#!/bin/sh\ntouch '" + marker + "'\n");
    fs::permissions(planted, fs::perms::owner_all);
    const std::string folder = dir.file("project/");
    fs::create_directories(folder);

    delete_through_host(folder, false);
    // Neither run nor touched.
    EXPECT_FALSE(fs::exists(marker));
    EXPECT_EQ(qcore::test::read_file_bytes(planted), "#!/bin/sh\ntouch '" + marker + "'\n");
    fs::remove(planted);
}

TEST(FolderDeleter, MissingFolderOrProgram) {
    qcore::test::TempDir dir;
    qcore::MessageBoxRecorder boxes;
    EXPECT_TRUE(filefun::delete_self_path(qcore::folder_deleter_path(), dir.file("missing/").c_str()));
    EXPECT_FALSE(filefun::delete_self_path(dir.file("no-deleter").c_str(), dir.path().c_str()));
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{dir.file("no-deleter") + ", not exist"});
    EXPECT_TRUE(fs::exists(dir.path()));
}

TEST(FolderDeleter, ProgramRefusesBadArguments) {
    const std::string program = qcore::folder_deleter_path().str();
    EXPECT_NE(std::system((program + " > /dev/null 2>&1").c_str()), 0);
    EXPECT_NE(std::system((program + " / > /dev/null 2>&1").c_str()), 0);
    // Not a link to a folder, not a file, not the temporary folder or a folder that holds it.
    qcore::test::TempDir dir;
    fs::create_directories(dir.file("real/inner"));
    fs::create_symlink(dir.file("real"), dir.file("link"));
    qcore::test::write_file_bytes(dir.file("file"), "f");
    const std::string tmp = qcore::temp_folder().str();
    for (const std::string& target : {dir.file("link"), dir.file("link/"), dir.file("file"), tmp,
                                      tmp + "~pmetxvq", tmp + "..", dir.file("real/inner/../../..")}) {
        SCOPED_TRACE(target);
        EXPECT_EQ(WEXITSTATUS(std::system((program + " '" + target + "' > /dev/null 2>&1").c_str())), 2);
    }
    EXPECT_TRUE(fs::exists(dir.file("real/inner")));
    EXPECT_TRUE(fs::exists(dir.file("file")));
}

} // namespace
