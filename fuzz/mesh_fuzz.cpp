// Opens arbitrary bytes as a node-tree file and reads every directory as a stored mesh and as exported mesh
// data; whatever loads is then walked in full (every index, every vertex).
#include <qcore/mesh/buffer_proxy.h>
#include <qcore/mesh/max_mesh_data.h>
#include <qcore/mesh/mesh_utl.h>
#include <qcore/mesh/raw_mesh.h>
#include <qcore/platform/d3d8/d3d8.h>
#include <qcore/platform/win32/message_box.h>
#include <qcore/platform/win32/window.h>

#include <cstdint>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace {

struct Scratch {
    int fd = -1;
    std::string path;
    IDirect3DDevice8* device = nullptr;

    Scratch() {
        fd = memfd_create("mesh_fuzz", 0);
        path = "/proc/self/fd/" + std::to_string(fd);
        qcore::set_message_box_handler([](const char*, UINT) { return IDOK; });
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.lpszClassName = "mesh_fuzz";
        RegisterClassA(&wc);
        HWND window =
            CreateWindowExA(0, "mesh_fuzz", "", WS_POPUP, 0, 0, 16, 16, nullptr, nullptr, nullptr, nullptr);
        IDirect3D8* d3d = Direct3DCreate8(D3D_SDK_VERSION);
        D3DPRESENT_PARAMETERS pp{};
        pp.Windowed = TRUE;
        pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
        pp.BackBufferFormat = D3DFMT_X8R8G8B8;
        pp.hDeviceWindow = window;
        if (d3d)
            d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                              &pp, &device);
    }
};

void walk(CPakNode* dir, IDirect3DDevice8* device) {
    CMyComPtr<ID3DXMesh> mesh = MESH_UTL::load_xmesh_from_node(device, dir);
    if (mesh) {
        CRawMesh raw;
        raw.fill_with_mesh(mesh, 1);
        raw.build_planes();
        if (!raw.are_indices_valid()) __builtin_trap();
    }
    CMaxMeshData data;
    if (data.load_from_node(dir) && !data.is_consistent()) __builtin_trap();
    for (CPakNode* child : dir->get_children())
        if (child->get_node_type() == NODE_DIR) walk(child, device);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Scratch scratch;
    if (scratch.fd < 0 || !scratch.device) return 0;
    if (ftruncate(scratch.fd, 0) != 0 || pwrite(scratch.fd, data, size, 0) != static_cast<ssize_t>(size))
        return 0;
    CPakFile pak;
    if (!pak.open(scratch.path.c_str(), 1) || !pak.get_root()) return 0;
    walk(pak.get_root(), scratch.device);
    return 0;
}
