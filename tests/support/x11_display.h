#pragma once
// An Xvfb display started by a test, programs run against it, and screenshots of it in xwd's format.
#include <functional>
#include <string>
#include <vector>

#include <sys/types.h>

namespace qcore::test {

bool exists(const std::string& path);
// Runs a program (found on PATH) and waits for it; its exit status, or -1. Standard output goes to out_file
// when one is given; extra_env entries ("NAME=value") are added to the environment.
int run(std::vector<std::string> args, const std::string& out_file = "",
        const std::vector<std::string>& extra_env = {});
// Starts a program without waiting; its process id, or -1.
pid_t spawn(std::vector<std::string> args, const std::vector<std::string>& extra_env = {});
// Waits for a started program; its exit status, or -1.
int wait_exit(pid_t pid);

// An Xvfb server on a free display, stopped on destruction.
class Xvfb {
public:
    Xvfb();
    ~Xvfb();
    Xvfb(const Xvfb&) = delete;
    Xvfb& operator=(const Xvfb&) = delete;
    bool running() const { return pid_ > 0; }
    const std::string& display() const { return display_; }

    // Polls until ready() holds (pumping window messages meanwhile) or max_ms pass.
    static bool wait_for(const std::function<bool()>& ready, int max_ms = 10000);

private:
    void stop();
    pid_t pid_ = -1;
    std::string display_;
};

// A screenshot of the root window in xwd's format, as 0x00RRGGBB pixels.
struct Screenshot {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
    uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    bool read(const std::string& bytes);
    // Takes one of the display with xwd (through a file in folder).
    bool take(const std::string& display, const std::string& folder);
};

} // namespace qcore::test
