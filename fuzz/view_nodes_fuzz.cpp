// Opens arbitrary bytes as a node-tree file and loads every directory as a camera and as a work-area
// configuration, then builds every matrix and area from what was loaded: damaged values must give finite
// results or the kept ones, never a crash.
#include <qcore/core/render_window.h>
#include <qcore/data/pak_file.h>
#include <qcore/platform/win32/message_box.h>
#include <qcore/platform/win32/window.h>
#include <qcore/view/base_vport.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace {

struct Scratch {
    int fd = -1;
    std::string path;
    CRenderWindow wnd;
    CBaseVport view;

    Scratch() {
        fd = memfd_create("view_nodes_fuzz", 0);
        path = "/proc/self/fd/" + std::to_string(fd);
        qcore::set_message_box_handler([](const char*, UINT) { return IDOK; });
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.lpszClassName = "view_nodes_fuzz";
        RegisterClassA(&wc);
        wnd.CreateEx(0, "view_nodes_fuzz", "fuzz", WS_POPUP, 0, 0, 64, 48, nullptr, nullptr);
        view.set_aa_scale(2);
        wnd.set_view(&view);
        view.set_wnd(&wnd);
    }
};

void use(Scratch& s, CPakNode* node) {
    CCamera cam = s.view.get_camera();
    if (cam.load_from_node(node)) {
        s.view.set_camera(cam);
        s.view.get_camera().get_view_matrix();
        for (int on = 0; on < 2; ++on) {
            s.view.get_camera().get_ss_info() = {on, 3, 1, 2};
            s.view.get_camera().get_mc_info().on = on;
            MAT p;
            s.view.get_camera().get_proj_matrix(&s.view, &p);
            s.view.get_camera().get_ss_proj_matrix(&s.view);
            s.view.get_camera().get_mc_proj_matrix(&s.view);
        }
        VEC screen;
        s.view.proj_3dpos_to_screen(VEC(1, 2, 3), screen);
        s.view.proj_screen_pos_to_3d(screen);
    }
    CAeraCfg cfg;
    if (cfg.load_aeracfg_from_node(node)) {
        cfg.set_all_same(0);
        s.view.get_aera_cfg() = cfg;
        s.view.update_aera_calculations();
        CRect work, bars[2], area, bands[4];
        for (const CRect& window : {CRect(0, 0, 1000, 500), CRect(0, 0, 1, 4000), CRect(0, 0, 0, 0)})
            cfg.recal_aera(window, work, bars, area, bands);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Scratch scratch;
    if (scratch.fd < 0) return 0;
    if (ftruncate(scratch.fd, 0) != 0 || pwrite(scratch.fd, data, size, 0) != static_cast<ssize_t>(size))
        return 0;
    CPakFile pak;
    if (!pak.open(scratch.path.c_str(), 1)) return 0;
    std::vector<CPakNode*> stack;
    if (pak.get_root()) stack.push_back(pak.get_root());
    while (!stack.empty()) {
        CPakNode* n = stack.back();
        stack.pop_back();
        if (n->get_node_type() == NODE_DIR) use(scratch, n);
        stack.insert(stack.end(), n->get_children().begin(), n->get_children().end());
    }
    return 0;
}
