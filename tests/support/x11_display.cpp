#include "support/x11_display.h"

#include "support/temp_dir.h"

#include <qcore/platform/win32/afxwin.h>
#include <qcore/platform/win32/clock.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

extern char** environ;

namespace qcore::test {
namespace {

std::vector<std::string> environment_with(const std::vector<std::string>& extra) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        env.emplace_back(*e);
    for (const std::string& add : extra) {
        const std::string name = add.substr(0, add.find('=') + 1);
        std::erase_if(env, [&](const std::string& e) { return e.rfind(name, 0) == 0; });
        env.push_back(add);
    }
    return env;
}

pid_t spawn_with(std::vector<std::string> args, const std::string& out_file,
                 const std::vector<std::string>& extra_env) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!out_file.empty())
        posix_spawn_file_actions_addopen(&actions, 1, out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env = environment_with(extra_env);
    std::vector<char*> envp;
    for (auto& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

uint32_t be32(const std::string& b, size_t at) {
    auto u = [&](size_t i) { return static_cast<uint32_t>(static_cast<unsigned char>(b[at + i])); };
    return (u(0) << 24) | (u(1) << 16) | (u(2) << 8) | u(3);
}

// The pid an X server wrote into its lock file, or -1.
pid_t lock_owner(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) return -1;
    char text[16] = {};
    const ssize_t got = read(fd, text, sizeof text - 1);
    close(fd);
    return got > 0 ? static_cast<pid_t>(atol(text)) : -1;
}

} // namespace

bool exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

int run(std::vector<std::string> args, const std::string& out_file,
        const std::vector<std::string>& extra_env) {
    return wait_exit(spawn_with(std::move(args), out_file, extra_env));
}

pid_t spawn(std::vector<std::string> args, const std::vector<std::string>& extra_env) {
    return spawn_with(std::move(args), "", extra_env);
}

int wait_exit(pid_t pid) {
    if (pid <= 0) return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

Xvfb::Xvfb() {
    // Tests run side by side, so two of them may pick the same free number at once. The display
    // is ours only when its lock file names our server; the loser's server exits and we go on.
    const int first = 90 + static_cast<int>(getpid() % 40);
    for (int i = 0; i < 50 && pid_ < 0; ++i) {
        const std::string n = std::to_string(90 + (first - 90 + i) % 50);
        if (exists("/tmp/.X11-unix/X" + n) || exists("/tmp/.X" + n + "-lock")) continue;
        display_ = ":" + n;
        pid_ = spawn({"Xvfb", display_, "-screen", "0", "640x480x24", "-nolisten", "tcp"});
        if (pid_ < 0) return;
        const pid_t mine = pid_;
        const bool ours = wait_for(
            [&] { return exists("/tmp/.X11-unix/X" + n) && lock_owner("/tmp/.X" + n + "-lock") == mine; });
        if (waitpid(mine, nullptr, WNOHANG) == mine)
            pid_ = -1; // lost the race: the server has already gone
        else if (!ours)
            stop();
    }
}

Xvfb::~Xvfb() {
    stop();
}

bool Xvfb::wait_for(const std::function<bool()>& ready, int max_ms) {
    const DWORD start = GetTickCount();
    while (static_cast<int>(GetTickCount() - start) < max_ms) {
        if (ready()) return true;
        peek_and_pump();
        Sleep(10);
    }
    return ready();
}

void Xvfb::stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

bool Screenshot::read(const std::string& bytes) {
    if (bytes.size() < 100) return false;
    const uint32_t header = be32(bytes, 0), bpp = be32(bytes, 44), line = be32(bytes, 48);
    const uint32_t step = bpp / 8; // Xvfb gives 24 or 32 bits per pixel for a depth of 24
    const uint32_t w = be32(bytes, 16), h = be32(bytes, 20), order = be32(bytes, 28),
                   ncolors = be32(bytes, 76);
    const uint32_t masks[3] = {be32(bytes, 56), be32(bytes, 60), be32(bytes, 64)};
    const size_t data = static_cast<size_t>(header) + static_cast<size_t>(ncolors) * 12;
    if ((bpp != 24 && bpp != 32) || w == 0 || line < w * step || h == 0 || w > 8192 || h > 8192 ||
        data + size_t{line} * h > bytes.size())
        return false;
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    pixels.resize(size_t{w} * h);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            const size_t at = data + size_t{y} * line + size_t{x} * step;
            uint32_t v = 0;
            for (uint32_t i = 0; i < step; ++i) {
                const auto byte = static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + i]));
                v |= order == 0 ? byte << (8 * i) : byte << (8 * (step - 1 - i));
            }
            uint32_t rgb = 0;
            for (uint32_t mask : masks) {
                const int shift = mask ? __builtin_ctz(mask) : 0;
                rgb = (rgb << 8) | (((v & mask) >> shift) & 0xFF);
            }
            pixels[size_t{y} * w + x] = rgb;
        }
    return true;
}

bool Screenshot::take(const std::string& display, const std::string& folder) {
    const std::string file = folder + "root.xwd";
    if (run({"xwd", "-root", "-silent", "-display", display}, file) != 0) return false;
    return read(read_file_bytes(file));
}

} // namespace qcore::test
