// qcore-view: shows a scene file, headless for scripts (--frames N --save shot.jpg) or in a real window.
#include "sample_scene.h"
#include "viewer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <unistd.h>

namespace {

struct Options {
    const char* scene = nullptr;
    bool sample = false;
    int frames = 1;
    bool frames_given = false;
    const char* save = nullptr;
    bool sdl = false;
    int linger_ms = -1; // a real window stays until it is closed
    qview::ViewerOptions viewer;
};

void usage() {
    std::fprintf(
        stderr,
        "usage: qcore-view SCENE.tpk | --sample [--frames N] [--save shot.jpg|shot.bmp] [--sdl]\n"
        "       [--size WIDTHxHEIGHT] [--aa 1|2] [--play-path] [--linger MS] [--shots PREFIX]\n"
        "       [--no-video]\n"
        "In a window (--sdl): drag with the left button to orbit, with the right or middle button to\n"
        "pan, turn the wheel to zoom; click an item to pick it, drag with Shift or press the arrows to\n"
        "move it, Ctrl+Z and Ctrl+Y undo and redo; S saves a screenshot, A switches antialiasing,\n"
        "P plays the camera path (S writes PREFIX-N.jpg), Escape closes the window.\n");
}

bool parse(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const bool has_value = i + 1 < argc;
        const char* a = argv[i];
        if (!std::strcmp(a, "--frames") && has_value) {
            o.frames = std::atoi(argv[++i]);
            o.frames_given = true;
        } else if (!std::strcmp(a, "--save") && has_value)
            o.save = argv[++i];
        else if (!std::strcmp(a, "--sdl"))
            o.sdl = true;
        else if (!std::strcmp(a, "--sample"))
            o.sample = true;
        else if (!std::strcmp(a, "--no-video"))
            o.viewer.videos = false;
        else if (!std::strcmp(a, "--size") && has_value) {
            if (std::sscanf(argv[++i], "%dx%d", &o.viewer.width, &o.viewer.height) != 2) return false;
        } else if (!std::strcmp(a, "--aa") && has_value)
            o.viewer.aa = std::atoi(argv[++i]);
        else if (!std::strcmp(a, "--play-path"))
            o.viewer.play_path = true;
        else if (!std::strcmp(a, "--shots") && has_value)
            o.viewer.shot_prefix = argv[++i];
        else if (!std::strcmp(a, "--linger") && has_value)
            o.linger_ms = std::atoi(argv[++i]);
        else if (a[0] != '-' && !o.scene)
            o.scene = a;
        else
            return false;
    }
    const auto& v = o.viewer;
    return (o.scene != nullptr) != o.sample && o.frames > 0 && (v.aa == 1 || v.aa == 2) && v.width >= 64 &&
           v.height >= 64 && v.width <= 4096 && v.height <= 4096;
}

// Long loads show how far they are on a terminal.
qscene::Progress load_progress() {
    if (!isatty(STDERR_FILENO)) return {};
    return [last = -1](float done, const char* what) mutable {
        const int percent = static_cast<int>(done * 100);
        if (percent != last) std::fprintf(stderr, "\r%3d%% %-40.40s", percent, what ? what : "");
        last = percent;
        if (done >= 1) std::fprintf(stderr, "\r%50s\r", "");
        return true;
    };
}

// A real window: the frames asked for, then the picture stays (redrawn while something moves) until the
// window closes or the linger time is up.
void keep_showing(qview::CViewer& viewer, int linger_ms, bool animated) {
    const DWORD start = GetTickCount();
    while (viewer.is_open() && !viewer.close_asked() &&
           (linger_ms < 0 || static_cast<int>(GetTickCount() - start) < linger_ms)) {
        if (!peek_and_pump()) break;
        if (animated || viewer.is_playing_path())
            viewer.render_frame();
        else
            Sleep(10);
    }
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    if (!parse(argc, argv, o)) {
        usage();
        return 2;
    }
    // SDL would fall back to a driver that shows nothing and run until killed.
    const auto has = [](const char* name) { return std::getenv(name) && *std::getenv(name); };
    const bool display = has("DISPLAY") || has("WAYLAND_DISPLAY") || has("SDL_VIDEODRIVER");
    if (o.sdl && (!display || !qcore::set_window_backend(qcore::WindowBackend::sdl))) {
        std::fprintf(stderr, "qcore-view: no window system for --sdl (is DISPLAY set?)\n");
        return 1;
    }
    // Headless, the path plays once over the frames asked for.
    if (!o.sdl && o.frames_given) o.viewer.path_frames = o.frames;

    gCore core;
    qscene::CScene scene(&core);
    int result = 0;
    std::error_code ec;
    std::filesystem::path clip_dir;
    {
        qview::CViewer viewer(core, scene);
        std::string error;
        if (!viewer.open(o.viewer, error)) {
            std::fprintf(stderr, "qcore-view: %s\n", error.c_str());
            return 1;
        }
        bool loaded = false;
        if (o.sample) {
            // The sample's video clip lives in a folder of our own, removed at the end.
            clip_dir =
                std::filesystem::temp_directory_path(ec) / ("qcore-view-" + std::to_string(::getpid()));
            std::filesystem::create_directories(clip_dir, ec);
            loaded = qview::build_sample_scene(scene, viewer.device().get_dev(), ec ? "" : clip_dir.string(),
                                               error);
        } else if (!std::filesystem::is_regular_file(o.scene, ec)) {
            error = "cannot open the scene file";
        } else {
            loaded = scene.load(o.scene, error, load_progress());
        }
        if (!loaded) {
            if (isatty(STDERR_FILENO)) std::fprintf(stderr, "\r%50s\r", ""); // a progress line ends here
            std::fprintf(stderr, "qcore-view: %s: %s\n", o.sample ? "sample" : o.scene, error.c_str());
            result = 1;
        } else {
            viewer.show_scene();
            for (int f = 0; f < o.frames && !viewer.close_asked(); ++f) {
                viewer.render_frame();
                if (!peek_and_pump()) break;
            }
            if (o.sdl) keep_showing(viewer, o.linger_ms, viewer.videos_playing() > 0);
            if (o.save && !viewer.save_shot(o.save)) {
                std::fprintf(stderr, "qcore-view: could not save %s\n", o.save);
                result = 1;
            }
            const double total_ms = viewer.timer().get_elapse_time();
            std::printf("%d frames, %.1f fps\n", viewer.frames(),
                        total_ms > 0 ? 1000.0 * (viewer.frames() - 1) / total_ms : 0.0);
        }
    }
    if (!clip_dir.empty()) std::filesystem::remove_all(clip_dir, ec);
    return result;
}
