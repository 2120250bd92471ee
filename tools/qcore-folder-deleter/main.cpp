// qcore-folder-deleter FOLDER
// Waits until the process that started it has ended, then deletes FOLDER with everything in it. The
// starter may name itself in QCORE_DELETER_WAIT_PID, so that a starter that ends before this program
// looks at its parent is not mistaken for one still running.
#include <unistd.h>

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

bool is_forbidden(const fs::path& folder) {
    return folder.empty() || folder == folder.root_path();
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2 || !*argv[1]) {
        std::fprintf(stderr, "usage: qcore-folder-deleter FOLDER\n");
        return 2;
    }
    std::error_code ec;
    const fs::path folder = fs::absolute(argv[1], ec).lexically_normal();
    if (ec || is_forbidden(folder)) {
        std::fprintf(stderr, "qcore-folder-deleter: refusing to delete '%s'\n", argv[1]);
        return 2;
    }
    const pid_t pid = starter();
    // Hold no folder of the starter open while waiting.
    if (chdir("/") != 0) return 1;
    wait_for_end_of(pid);
    for (int attempt = 0; attempt < 5; ++attempt) {
        fs::remove_all(folder, ec);
        if (!ec && !fs::exists(folder, ec)) return 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    std::fprintf(stderr, "qcore-folder-deleter: cannot delete '%s': %s\n", folder.c_str(),
                 ec.message().c_str());
    return 1;
}
