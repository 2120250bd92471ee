// Arbitrary bytes loaded as a host scene file: every mesh, material, item, camera and path reader behind
// it, on a software device, then the scene written again.
#include "scene.h"

#include <qcore/qcore.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

struct Host {
    gCore core;
    CWnd wnd;
    CDevice device{&core};
    std::string dir;

    Host() {
        qcore::set_message_box_handler([](const char*, UINT) { return IDOK; });
        // tmpfs when there is one: save_as syncs to disk, which would dominate every run.
        std::string d =
            access("/dev/shm", W_OK) == 0 ? "/dev/shm/scene_fuzz_XXXXXX" : "/tmp/scene_fuzz_XXXXXX";
        if (mkdtemp(d.data())) dir = d + "/";
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.lpszClassName = "scene_fuzz";
        RegisterClassA(&wc);
        if (!wnd.CreateEx(0, "scene_fuzz", "fuzz", WS_POPUP, 0, 0, 64, 64, nullptr, nullptr)) return;
        core.dev = &device;
        if (!device.create_windowed_device(&wnd, D3DFMT_D16, 64, 64)) core.dev = nullptr;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Host host;
    if (host.dir.empty() || !host.core.dev) return 0;
    const std::string path = host.dir + "in.tpk";
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    } else {
        return 0;
    }
    qscene::CScene scene(&host.core);
    std::string error;
    if (!scene.load(path.c_str(), error)) return 0;
    (void)scene.bounds();
    scene.frame_camera();
    const std::string copy = host.dir + "out.tpk";
    scene.save(copy.c_str(), error);
    return 0;
}
