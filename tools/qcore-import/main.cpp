// qcore-import: reads a model (OBJ, glTF, 3DS, Collada, PLY, FBX, ...) and writes it as a scene file with
// its textures beside it.
#include "import.h"

#include <qcore/qcore.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

struct Args {
    std::string model;
    std::string out;
    float scale = 1.0f;
    bool quiet = false;
};

void usage() {
    std::fprintf(stderr, "usage: qcore-import MODEL OUT.tpk [--scale S] [--quiet]\n");
}

bool parse(int argc, char** argv, Args& args) {
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--quiet")) {
            args.quiet = true;
        } else if (!std::strcmp(argv[i], "--scale") && i + 1 < argc) {
            char* end = nullptr;
            errno = 0;
            args.scale = std::strtof(argv[++i], &end);
            if (errno || end == argv[i] || *end || !(args.scale > 0) || !std::isfinite(args.scale)) {
                std::fprintf(stderr, "qcore-import: --scale wants a positive number, not %s\n", argv[i]);
                return false;
            }
        } else if (argv[i][0] == '-' && argv[i][1]) {
            usage();
            return false;
        } else {
            files.emplace_back(argv[i]);
        }
    }
    if (files.size() != 2) {
        usage();
        return false;
    }
    args.model = files[0];
    args.out = files[1];
    return true;
}

// A hidden window for the device that the meshes are made on.
bool create_window(CWnd& wnd) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "qcore_import";
    RegisterClassA(&wc);
    return wnd.CreateEx(0, "qcore_import", "qcore-import", WS_POPUP, 0, 0, 64, 64, nullptr, nullptr);
}

} // namespace

int main(int argc, char** argv) {
    Args args;
    if (!parse(argc, argv, args)) return 2;
    // Library message boxes become warnings on standard error, never prompts.
    qcore::set_message_box_handler([](const char* text, UINT type) {
        std::fprintf(stderr, "qcore-import: warning: %s\n", text ? text : "");
        return qcore::default_message_box_answer(type);
    });
    gCore core;
    CWnd wnd;
    CDevice device(&core);
    core.dev = &device;
    if (!create_window(wnd) || !device.create_windowed_device(&wnd, D3DFMT_D16, 64, 64)) {
        core.dev = nullptr;
        std::fprintf(stderr, "qcore-import: cannot create the graphics device\n");
        return 1;
    }
    // One line per tenth done, and one whenever the stage changes.
    int shown = -10;
    std::string stage;
    auto progress = [&](float done, const char* what) {
        const int percent = static_cast<int>(done * 100);
        if (!args.quiet && (percent >= shown + 10 || stage != what)) {
            shown = percent - percent % 10;
            stage = what;
            std::printf("%3d%% %s\n", percent, what);
            std::fflush(stdout);
        }
        return true;
    };
    std::string error;
    std::vector<std::string> warnings;
    int status = 0;
    {
        qscene::CScene scene(&core);
        qimport::ImportOptions options;
        options.scale = args.scale;
        if (!qimport::import_model(scene, args.model, args.out, options, error, &warnings, progress))
            status = 1;
        for (const std::string& w : warnings)
            std::fprintf(stderr, "qcore-import: warning: %s\n", w.c_str());
        if (!status && !args.quiet)
            std::printf("%s: %zu items, %zu meshes, %zu materials\n", args.out.c_str(), scene.items.size(),
                        scene.meshes.size(), scene.materials.size());
    }
    core.dev = nullptr;
    if (status) std::fprintf(stderr, "qcore-import: %s\n", error.c_str());
    return status;
}
