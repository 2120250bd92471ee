#pragma once
// What the examples share: the window backend from the command line, the core's log printed as it grows,
// message boxes answered on the console, and the main window with the device in it.
#include <qcore/qcore.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace example {

// Prints every log entry as it is added, with its level.
class PrintLog : public CBaseLog {
protected:
    void ui_on_log_new(CLogItem* item) override {
        const char* level = item->level == LOG_ERROR     ? "error"
                            : item->level == LOG_WARNING ? "warning"
                                                         : "info";
        std::printf("log %s: %s\n", level, item->msg.GetString());
    }
};

// The options every example understands: --sdl for a real window, --frames N.
struct Options {
    bool sdl = false;
    int frames = 30;
    const char* save = nullptr; // --save FILE
};

// False on an option the example does not know; `usage` then tells what it takes.
inline bool parse_options(int argc, char** argv, Options& options, const char* usage) {
    for (int i = 1; i < argc; ++i) {
        const bool has_value = i + 1 < argc;
        if (!std::strcmp(argv[i], "--sdl")) {
            options.sdl = true;
        } else if (!std::strcmp(argv[i], "--frames") && has_value) {
            options.frames = std::atoi(argv[++i]);
        } else if (!std::strcmp(argv[i], "--save") && has_value) {
            options.save = argv[++i];
        } else {
            std::fprintf(stderr, "usage: %s\n", usage);
            return false;
        }
    }
    return options.frames > 0;
}

// Chooses the window system before the first window: headless memory surfaces unless --sdl asked for a
// real window. Message boxes are printed and answered with their default button; dialogs are cancelled.
inline bool start_window_system(const Options& options) {
    qcore::set_message_box_handler([](const char* text, UINT type) {
        std::printf("message box: %s\n", text);
        return qcore::default_message_box_answer(type);
    });
    qcore::set_dialog_handler([](const qcore::DialogRequest& request) {
        std::printf("dialog %s: %s, cancelled\n", request.kind.GetString(), request.title.GetString());
        return request.cancel_answer;
    });
    const auto backend = options.sdl ? qcore::WindowBackend::sdl : qcore::WindowBackend::headless;
    if (!qcore::set_window_backend(backend)) {
        std::fprintf(stderr, "this window system cannot start here\n");
        return false;
    }
    return true;
}

// Creates the main window at client size width x height; a headless desktop is made just as large.
inline bool open_main_window(CRenderWindow& wnd, const char* title, int width, int height) {
    if (qcore::window_backend() == qcore::WindowBackend::headless)
        qcore::set_desktop_mode(width, height, D3DFMT_X8R8G8B8);
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "qcore_example";
    RegisterClassA(&wc);
    return wnd.CreateEx(0, "qcore_example", title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, width, height,
                        nullptr, nullptr) != FALSE;
}

// The main window and the device in it, with a back buffer as large as the window; from here on the core
// reaches the device.
inline bool open_window_and_device(gCore& core, CDevice& device, CRenderWindow& wnd, const char* title,
                                   int width, int height, D3DFORMAT depth_format = D3DFMT_D24S8) {
    if (!open_main_window(wnd, title, width, height)) return false;
    core.dev = &device;
    return device.create_windowed_device(&wnd, depth_format, width, height) != 0;
}

} // namespace example
