// scene-file: builds a small scene (three placed blocks, one textured material, a camera), writes it as a
// tpk file through the save-to-node operations of its parts, reads it back and prints what it found.
//   scene-file [--keep FOLDER] [--sdl]
#include "example_host.h"

#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// A placed block of the scene: a name, a box and a world transform from IVisItem, its geometry and the
// index of its material.
class Block : public IVisItem {
public:
    static CMyComPtr<Block> make() {
        CMyComPtr<Block> b;
        b.attach(new Block);
        return b;
    }
    CMaxMeshData mesh;
    int material = 0;

    CPakNode* save(CPakNode* parent) {
        CPakNode* dir = save_visitem_to_node(parent, "block");
        if (!dir) return nullptr;
        dir->create_data_node("MESH_MATRIX", NODE_MATRIX, &get_wts());
        dir->create_data_node("material", NODE_INT, &material);
        mesh.save_to_node(dir, "mesh");
        return dir;
    }
    int load(CPakNode* dir) {
        if (!load_visitem_from_node(dir, nullptr)) return 0;
        if (!dir->find_data("material", NODE_INT, &material)) material = 0;
        CPakNode* m = dir->find("mesh");
        return m && mesh.load_from_node(m);
    }

private:
    Block() { class_id = VR_MODEL; }
};

// A unit cube's eight corners and twelve triangles.
CMaxMeshData cube() {
    CMaxMeshData m;
    for (int i = 0; i < 8; ++i)
        m.positions.emplace_back(i & 1 ? 0.5f : -0.5f, i & 2 ? 0.5f : -0.5f, i & 4 ? 0.5f : -0.5f);
    const DWORD quads[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4},
                               {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
    for (const auto& q : quads) {
        m.faces.emplace_back(q[0], q[1], q[2]);
        m.faces.emplace_back(q[0], q[2], q[3]);
    }
    return m;
}

// A 64 x 64 checkerboard written as a BMP file.
bool write_checker(IDirect3DDevice8* dev, const std::string& path) {
    qcore::ComRef<IDirect3DTexture8> tex;
    if (FAILED(D3DXCreateTexture(dev, 64, 64, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, tex.out())))
        return false;
    D3DLOCKED_RECT lr;
    if (FAILED(tex->LockRect(0, &lr, nullptr, 0))) return false;
    for (int y = 0; y < 64; ++y) {
        auto* row = reinterpret_cast<DWORD*>(static_cast<BYTE*>(lr.pBits) + y * lr.Pitch);
        for (int x = 0; x < 64; ++x)
            row[x] = ((x / 8 + y / 8) & 1) ? D3DCOLOR_XRGB(230, 230, 240) : D3DCOLOR_XRGB(40, 90, 200);
    }
    tex->UnlockRect(0);
    return SUCCEEDED(D3DXSaveTextureToFileA(path.c_str(), D3DXIFF_BMP, tex.get(), nullptr));
}

bool save_scene(gCore& core, const std::string& folder, const std::string& path) {
    const std::string texture = folder + "/checker.bmp";
    if (!write_checker(core.dev->get_dev(), texture)) return false;

    CMyComPtr<IMaterial> material = IMaterial::create_empty(&core);
    D3DMATERIAL8 colour = material->get_color();
    colour.Diffuse = {0.8f, 0.8f, 0.8f, 1.0f};
    material->set_color(colour);
    material->get_dif_texture()->create_tex_file(texture.c_str(), nullptr, CTexFileCreateOpt(), 1);
    material->get_dif_texture()->enable_texture(1);

    CPakFile file;
    if (!file.create(path.c_str())) return false;
    CPakNode* root = file.get_root();
    // Textures in the scene's own folder are stored by their bare names, so the folder can move.
    CSaveOpt opt;
    opt.tex_path = (folder + "/").c_str();
    material->save_mtl_to_node(root->create_dir_node("materials"), "checker", &opt);

    CPakNode* items = root->create_dir_node("items");
    const char* names[] = {"left block", "middle block", "right block"};
    for (int i = 0; i < 3; ++i) {
        CMyComPtr<Block> block = Block::make();
        block->set_name(names[i]);
        block->mesh = cube();
        block->set_box(CBox(VEC(0, 0, 0), 0.5f));
        MAT world;
        D3DXMatrixTranslation(&world, static_cast<float>(i - 1) * 1.5f, 0, 0);
        block->set_wts(world);
        if (!block->save(items)) return false;
    }

    CCamera camera;
    camera.set_view_params(VEC(0, 2, -6), VEC(0, 0, 0), VEC(0, 1, 0));
    camera.save_to_node(root, "camera");
    file.close_file();
    return true;
}

// Reads the file back; damage in it is listed, not fatal.
bool load_scene(gCore& core, const std::string& folder, const std::string& path) {
    CPakFile file;
    std::vector<qcore::PakProblem> problems;
    if (!qcore::open_pak_file(file, path.c_str(), 1, &problems)) return false;
    for (const qcore::PakProblem& p : problems)
        std::printf("damage at %llu: %s\n", static_cast<unsigned long long>(p.offset), p.text.GetString());
    CPakNode* root = file.get_root();

    int materials = 0, textures_loaded = 0;
    const CTexPathInfo textures((folder + "/").c_str(), 0); // a folder ends with its separator
    if (CPakNode* dir = root->find("materials")) {
        for (CPakNode* node : dir->get_children()) {
            CMyComPtr<IMaterial> m = IMaterial::create_empty(&core);
            if (!m->load_mtl_from_node(core.dev->get_dev(), node, &textures)) continue;
            ++materials;
            const CTexFile* tex = m->get_dif_texture()->get_tex_file();
            textures_loaded += tex && tex->is_loaded();
            std::printf("material %s: diffuse texture %s, %s\n", node->get_name(),
                        m->get_dif_texture()->get_tex_filename().GetString(),
                        tex && tex->is_loaded() ? "loaded" : "not loaded");
        }
    }

    int items = 0;
    if (CPakNode* dir = root->find("items")) {
        for (CPakNode* node : dir->get_children()) {
            CMyComPtr<Block> block = Block::make();
            if (!block->load(node)) continue;
            ++items;
            const MAT& w = block->get_wts();
            std::printf("item \"%s\": %zu faces at (%.1f, %.1f, %.1f), material %d\n",
                        block->get_name().GetString(), block->mesh.faces.size(), w._41, w._42, w._43,
                        block->material);
        }
    }

    CCamera camera;
    CPakNode* cam = root->find("camera");
    if (!cam || !camera.load_from_node(cam)) return false;
    const VEC& eye = camera.get_eye_pos();
    std::printf("read %d items, %d material, camera at (%.1f, %.1f, %.1f)\n", items, materials, eye.x, eye.y,
                eye.z);
    return items == 3 && materials == 1 && textures_loaded == 1;
}

} // namespace

int main(int argc, char** argv) {
    // --keep FOLDER writes into that folder and leaves the files there.
    std::string keep;
    std::vector<char*> rest{argv[0]};
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--keep") && i + 1 < argc)
            keep = argv[++i];
        else
            rest.push_back(argv[i]);
    }
    example::Options options;
    if (!example::parse_options(static_cast<int>(rest.size()), rest.data(), options,
                                "scene-file [--keep FOLDER] [--sdl]") ||
        !example::start_window_system(options))
        return 2;
    example::PrintLog log;
    gCore core;
    core.log = &log;

    CRenderWindow wnd;
    CDevice device(&core);
    if (!example::open_window_and_device(core, device, wnd, "scene file", 64, 64, D3DFMT_D16)) return 1;

    std::error_code ec;
    const std::filesystem::path folder = keep.empty() ? std::filesystem::temp_directory_path(ec) /
                                                            ("qcore-scene-file-" + std::to_string(getpid()))
                                                      : std::filesystem::path(keep);
    std::filesystem::create_directories(folder, ec);
    const std::string path = (folder / "scene.tpk").string();
    bool ok = !ec && save_scene(core, folder.string(), path);
    if (ok) std::printf("wrote %s\n", path.c_str());
    ok = ok && load_scene(core, folder.string(), path);
    if (keep.empty()) std::filesystem::remove_all(folder, ec);

    core.dev = nullptr;
    core.log = &core.default_log;
    return ok ? 0 : 1;
}
