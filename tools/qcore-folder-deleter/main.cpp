// qcore-folder-deleter FOLDER
// Waits until the process that started it has ended, then deletes FOLDER with everything in it. The
// starter may name itself in QCORE_DELETER_WAIT_PID, so that a starter that ends before this program
// looks at its parent is not mistaken for one still running.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

namespace {

namespace fs = std::filesystem;

pid_t starter() {
    const char* named = std::getenv("QCORE_DELETER_WAIT_PID");
    if (named && *named) {
        char* end = nullptr;
        const long pid = std::strtol(named, &end, 10);
        if (*end == '\0' && pid > 0) return static_cast<pid_t>(pid);
    }
    return getppid();
}

// An orphan is adopted by another process, so the parent changes when the starter ends.
void wait_for_end_of(pid_t pid) {
    if (pid <= 1) return;
    while (getppid() == pid)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

// Whether `folder` is `other` or one of the folders that hold it.
bool holds(const fs::path& folder, const char* other) {
    if (!other || *other != '/') return false;
    std::error_code ec;
    const fs::path o = fs::weakly_canonical(other, ec);
    if (ec) return false;
    return std::mismatch(folder.begin(), folder.end(), o.begin(), o.end()).first == folder.end();
}

// Only a real folder (not a link to one) that is neither the root nor holds the temporary folder or the
// user's home: a confused starter must not take those with it.
bool is_forbidden(const fs::path& folder) {
    if (folder.empty() || folder == folder.root_path()) return true;
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return true;
    std::error_code ec;
    const fs::path real = fs::canonical(folder, ec);
    if (ec) return true;
    const char* tmp = std::getenv("TMPDIR");
    const std::string temp = tmp && *tmp == '/' ? tmp : "/tmp";
    return holds(real, temp.c_str()) || holds(real, (temp + "/~pmetxvq").c_str()) || holds(real, "/tmp") ||
           holds(real, std::getenv("HOME"));
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2 || !*argv[1]) {
        std::fprintf(stderr, "usage: qcore-folder-deleter FOLDER\n");
        return 2;
    }
    std::error_code ec;
    fs::path folder = fs::absolute(argv[1], ec).lexically_normal();
    if (!folder.has_filename()) folder = folder.parent_path();
    if (ec || is_forbidden(folder)) {
        std::fprintf(stderr, "qcore-folder-deleter: refusing to delete '%s'\n", argv[1]);
        return 2;
    }
    const pid_t pid = starter();
    // Hold no folder of the starter open while waiting.
    if (chdir("/") != 0) return 1;
    wait_for_end_of(pid);
    // The folder may have gone or changed while the starter ran.
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0) return 0;
    if (is_forbidden(folder)) {
        std::fprintf(stderr, "qcore-folder-deleter: refusing to delete '%s'\n", folder.c_str());
        return 2;
    }
    for (int attempt = 0; attempt < 5; ++attempt) {
        fs::remove_all(folder, ec);
        if (!ec && !fs::exists(folder, ec)) return 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    std::fprintf(stderr, "qcore-folder-deleter: cannot delete '%s': %s\n", folder.c_str(),
                 ec.message().c_str());
    return 1;
}
