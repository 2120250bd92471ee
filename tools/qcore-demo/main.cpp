// qcore-demo: drives the library as a host program does and prints what happens.
#include "console.h"
#include "scene.h"

#include <qcore/qcore.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void show_log_levels(gCore& core) {
    CLogTab tab(&core, "start-up");
    core.log->add_log(LOG_INFO, "core constructed", ", module folder ", qcore::module_folder());
    {
        CLogTab nested(&core, "checks");
        core.log->add_log(LOG_WARNING, "demo.tpk", ", no scene file yet");
        core.log->add_log(LOG_ERROR, "missing.bmp", ", 贴图文件未找到");
    }
    core.log->add_log(LOG_INFO, "log ring holds ", "256", " entries");
}

// Pretends to restore device objects: one tick per object, as the device's restore walk does.
void show_progress(gCore& core, int steps) {
    CProgressBar bar(core.status, steps, "Reloading...");
    for (int i = 0; i < steps; ++i) {
        Sleep(15);
        bar.tick();
    }
}

double frame_loop(CTimer& timer, int frames) {
    double sink = 0;
    timer.record();
    for (int f = 0; f < frames; ++f) {
        for (int i = 0; i < 200000; ++i)
            sink += std::sin(i * 0.001 + f);
        Sleep(8);
        timer.record();
    }
    return sink;
}

} // namespace

void usage() {
    std::printf(
        "usage: qcore-demo [--frames N] [--size WIDTHxHEIGHT] [--save FILE.bmp] [--linger MS] [--aa 1|2]\n"
        "       [--fly] [--no-video]\n"
        "QCORE_WINDOW_BACKEND=sdl shows the scene in a real window: drag with the left button to orbit,\n"
        "with the right or middle button to pan, turn the wheel to zoom, press A to switch antialiasing.\n");
}

bool parse(int argc, char** argv, SceneOptions& scene) {
    for (int i = 1; i < argc; ++i) {
        const bool has_value = i + 1 < argc;
        if (!std::strcmp(argv[i], "--frames") && has_value)
            scene.frames = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--size") && has_value) {
            if (std::sscanf(argv[++i], "%dx%d", &scene.width, &scene.height) != 2) return false;
        } else if (!std::strcmp(argv[i], "--save") && has_value)
            scene.save_path = argv[++i];
        else if (!std::strcmp(argv[i], "--linger") && has_value)
            scene.linger_ms = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--fly"))
            scene.fly = true;
        else if (!std::strcmp(argv[i], "--no-video"))
            scene.video = false;
        else if (!std::strcmp(argv[i], "--aa") && has_value)
            scene.aa = std::atoi(argv[++i]);
        else
            return false;
    }
    return scene.frames > 0 && (scene.aa == 1 || scene.aa == 2) && scene.width >= 64 && scene.height >= 64 &&
           scene.width <= 4096 && scene.height <= 4096;
}

int main(int argc, char** argv) {
    SceneOptions scene;
    if (!parse(argc, argv, scene)) {
        usage();
        return 2;
    }
    gCore core;
    ConsoleLog log;
    ConsoleStatus status(stdout);
    core.log = &log;
    core.status = &status;

    std::printf("qcore demo\n");
    show_log_levels(core);
    show_progress(core, 40);

    CTimer timer;
    const double sink = frame_loop(timer, 90);
    std::printf("frames: last %.2f ms (%.1f fps), average %.2f ms (%.1f fps), total %.1f ms%s\n",
                timer.get_rapid_info(1), timer.get_rapid_info(0), timer.get_average_info(1),
                timer.get_average_info(0), timer.get_elapse_time(), sink == 0.5 ? "!" : "");

    const int result = run_scene(core, scene);

    core.log = &core.default_log;
    core.status = &core.default_status;
    return result;
}
