#pragma once
// Mesa's llvmpipe through OSMesa as the software device's peer: an off-screen BGRA target with a depth
// buffer, Direct3D matrices loaded into fixed-function OpenGL, frame timing, and runs in a child process
// (llvmpipe reads LP_NUM_THREADS once per process).
#include <GL/gl.h>
#include <GL/osmesa.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

namespace qcore::bench {

// An OSMesa context drawing into a width x height BGRA buffer (rows from the bottom up), current while it
// lives.
class OsMesaTarget {
public:
    OsMesaTarget(int width, int height) : pixels(static_cast<size_t>(width) * height) {
        ctx_ = OSMesaCreateContextExt(OSMESA_BGRA, 24, 8, 0, nullptr);
        if (ctx_ && !OSMesaMakeCurrent(ctx_, pixels.data(), GL_UNSIGNED_BYTE, width, height)) {
            OSMesaDestroyContext(ctx_);
            ctx_ = nullptr;
        }
        if (ctx_) glViewport(0, 0, width, height);
    }
    ~OsMesaTarget() {
        if (ctx_) OSMesaDestroyContext(ctx_);
    }
    OsMesaTarget(const OsMesaTarget&) = delete;
    OsMesaTarget& operator=(const OsMesaTarget&) = delete;
    bool ok() const { return ctx_ != nullptr; }

    std::vector<uint32_t> pixels;

private:
    OSMesaContext ctx_ = nullptr;
};

// Loads a Direct3D projection (row vectors, z in [0, 1]) as OpenGL's: the same clip space with z remapped
// to [-1, 1]. Direct3D's row-vector matrices have OpenGL's column-major layout already.
inline void load_d3d_projection(const float* d3d) {
    float m[16];
    std::memcpy(m, d3d, sizeof m);
    for (int r = 0; r < 4; ++r)
        m[r * 4 + 2] = 2 * m[r * 4 + 2] - m[r * 4 + 3];
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixf(m);
    glMatrixMode(GL_MODELVIEW);
}

// Frames per second of `frame` (which ends with glFinish) over at least `seconds` and three frames.
template <class Frame> double frames_per_second(Frame&& frame, double seconds) {
    int frames = 0;
    const auto start = std::chrono::steady_clock::now();
    double elapsed = 0;
    while (elapsed < seconds || frames < 3) {
        frame();
        ++frames;
        elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    return frames / elapsed;
}

// Runs `work` in a child process with LP_NUM_THREADS=threads and hands back its (plain) result; a
// value-initialised one when the child fails. Call before the parent starts threads of its own.
template <class Work> auto in_llvmpipe_child(int threads, Work&& work) -> decltype(work()) {
    using Result = decltype(work());
    static_assert(std::is_trivially_copyable_v<Result>);
    int fds[2];
    if (pipe(fds) != 0) return Result{};
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        setenv("LP_NUM_THREADS", std::to_string(threads).c_str(), 1);
        const Result r = work();
        [[maybe_unused]] const ssize_t n = write(fds[1], &r, sizeof r);
        _exit(0);
    }
    close(fds[1]);
    Result r{};
    if (pid < 0 || read(fds[0], &r, sizeof r) != static_cast<ssize_t>(sizeof r)) r = Result{};
    close(fds[0]);
    if (pid > 0) waitpid(pid, nullptr, 0);
    return r;
}

} // namespace qcore::bench
