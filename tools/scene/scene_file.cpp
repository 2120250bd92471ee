// The scene's tpk layout (docs/scene-format.md): everything hangs under the file's root, which carries the
// scene's type and format version; meshes, materials, items, camera, work area and camera path each go
// through their own save/load-to-node operation, with the few host fields beside them.
#include "scene.h"

#include <qcore/core/device.h>
#include <qcore/data/filefun.h>
#include <qcore/data/log.h>
#include <qcore/data/node_fields.h>
#include <qcore/mesh/mesh_utl.h>
#include <qcore/platform/win32/message_box.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

namespace qscene {

namespace {

namespace fs = std::filesystem;
using qcore::detail::read_buffer;
using qcore::detail::read_field;
using qcore::detail::typed_child;

// Counts above these are taken for damage: they bound what a hostile file can make the reader attempt.
constexpr int kMaxMeshes = 1 << 20;
constexpr int kMaxMaterials = 1 << 20;
constexpr int kMaxItems = 1 << 22;
constexpr size_t kMaxItemMaterials = 1 << 16;

std::string child_name(const char* prefix, size_t i) {
    return prefix + std::to_string(i);
}

// Message boxes raised by the library while a scene is read or written are kept, not shown: the caller
// gets one line of error instead.
class QuietBoxes {
public:
    QuietBoxes()
        : previous_(qcore::set_message_box_handler([this](const char* text, UINT type) {
              if (first_.empty() && text) first_ = text;
              return qcore::default_message_box_answer(type);
          })) {}
    ~QuietBoxes() { qcore::set_message_box_handler(previous_); }
    QuietBoxes(const QuietBoxes&) = delete;
    QuietBoxes& operator=(const QuietBoxes&) = delete;
    const std::string& first() const { return first_; }

private:
    std::string first_;
    qcore::MessageBoxHandler previous_;
};

bool finite(const float* v, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (!std::isfinite(v[i])) return false;
    return true;
}

bool finite(const MAT& m) {
    return finite(&m._11, 16);
}

bool finite(const VEC& v) {
    return finite(&v.x, 3);
}

// The absolute form of a path, and its folder ending with '/'.
std::string absolute_path(const char* path) {
    std::error_code ec;
    const fs::path p = fs::absolute(fs::path(path), ec);
    return ec ? std::string(path) : p.lexically_normal().string();
}

std::string folder_of(const std::string& abs_path) {
    return filefun::get_file_path(abs_path.c_str()).GetString();
}

bool report(const Progress& progress, float done, const char* what) {
    return !progress || progress(done, what);
}

int count_field(CPakNode* root, const char* name, int limit, CPakNode* dir) {
    int n = -1;
    if (!read_field(root, name, NODE_INT, n) || n < 0 || n > limit) return -1;
    // Every counted entry is a directory of its own, so a count can never exceed the directory's children.
    if (n > 0 && (!dir || n > dir->get_dir_node_count())) return -1;
    return n;
}

bool save_attributes(const CMyComPtr<ID3DXMesh>& mesh, CPakNode* dir) {
    DWORD* attrs = nullptr;
    if (FAILED(mesh->LockAttributeBuffer(D3DLOCK_READONLY, &attrs)) || !attrs) return false;
    dir->create_buf_node("MESH_ATTRIB", attrs, static_cast<int>(mesh->GetNumFaces() * sizeof(DWORD)),
                         qcore::buf_uint32);
    mesh->UnlockAttributeBuffer();
    return true;
}

bool load_attributes(const CMyComPtr<ID3DXMesh>& mesh, CPakNode* dir) {
    std::vector<uint32_t> stored;
    if (!typed_child(dir, "MESH_ATTRIB", NODE_BUF)) return true; // every face in subset 0
    if (!read_buffer(dir, "MESH_ATTRIB", stored) || stored.size() != mesh->GetNumFaces()) return false;
    DWORD* attrs = nullptr;
    if (FAILED(mesh->LockAttributeBuffer(0, &attrs)) || !attrs) return false;
    std::copy(stored.begin(), stored.end(), attrs);
    mesh->UnlockAttributeBuffer();
    return true;
}

// A name that resolves to something other than a plain file (a device, a pipe, a folder) would make a
// reader read without end or block: such texture and video names are dropped, with a warning.
bool names_special_file(gCore* core, const char* name, const CTexPathInfo& paths) {
    std::error_code ec;
    const fs::file_status st = fs::status(paths.get_direct_filename(name).GetString(), ec);
    if (ec || !fs::exists(st) || fs::is_regular_file(st)) return false;
    if (core && core->log) core->log->add_log(LOG_WARNING, name, ", is not a file; left out");
    return true;
}

void drop_special_texture_names(gCore* core, CPakNode* mtl, const CTexPathInfo& paths) {
    for (CPakNode* slot : mtl->get_children()) {
        CPakNode* file = typed_child(slot, "FILENAME", NODE_FILENAME);
        char name[MAX_PATH] = {};
        if (file && file->get_data(NODE_FILENAME, name) && name[0] && names_special_file(core, name, paths))
            file->set_data_buf(nullptr, 0);
    }
}

} // namespace

bool CScene::save(const char* path, std::string& error, const Progress& progress) const {
    QuietBoxes boxes;
    const std::string target = absolute_path(path);
    const std::string part = target + ".part";
    auto fail = [&](const std::string& why) {
        error = "cannot write " + target + ": " + why;
        std::remove(part.c_str());
        return false;
    };
    for (size_t i = 0; i < materials.size(); ++i)
        if (!materials[i].material) return fail("material " + std::to_string(i) + " is empty");
    for (size_t i = 0; i < meshes.size(); ++i)
        if (!meshes[i] || meshes[i]->GetFVF() != kMeshFvf || !meshes[i]->GetNumFaces())
            return fail("mesh " + std::to_string(i) + " is empty or not in the scene's vertex layout");
    for (size_t i = 0; i < items.size(); ++i) {
        const CMeshItem& item = *items[i];
        if (item.mesh_index < 0 || item.mesh_index >= static_cast<int>(meshes.size()))
            return fail("item " + std::to_string(i) + " places no mesh of the scene");
        for (int m : item.materials)
            if (m < 0 || m >= static_cast<int>(materials.size()))
                return fail("item " + std::to_string(i) + " uses a material the scene does not have");
    }

    CPakFile pak;
    if (!pak.create(part.c_str())) return fail("the file cannot be created");
    CPakNode* root = pak.get_root();
    root->create_data_node("VR_TYPE", NODE_STR32, kSceneType);
    root->create_data_node("SCENE_VERSION", NODE_INT, &kSceneVersion);
    const int counts[3] = {static_cast<int>(meshes.size()), static_cast<int>(materials.size()),
                           static_cast<int>(items.size())};
    root->create_data_node("MESH_COUNT", NODE_INT, &counts[0]);
    root->create_data_node("MATERIAL_COUNT", NODE_INT, &counts[1]);
    root->create_data_node("ITEM_COUNT", NODE_INT, &counts[2]);
    const float total = static_cast<float>(meshes.size() + materials.size() + items.size()) + 1;
    float done = 0;

    CPakNode* mesh_dir = root->create_dir_node("meshes");
    for (size_t i = 0; i < meshes.size(); ++i) {
        const std::string name = child_name("mesh", i);
        if (!MESH_UTL::save_xmesh_to_node(meshes[i], mesh_dir, name.c_str()) ||
            !save_attributes(meshes[i], mesh_dir->find(name.c_str())))
            return fail("mesh " + std::to_string(i) + " cannot be stored");
        if (!report(progress, ++done / total, "meshes")) return fail("cancelled");
    }

    // Textures beside the scene are stored by their bare names, so the folder can move as a whole.
    CSaveOpt opt;
    opt.tex_path = folder_of(target).c_str();
    CPakNode* mtl_dir = root->create_dir_node("materials");
    for (size_t i = 0; i < materials.size(); ++i) {
        const std::string name = child_name("mtl", i);
        materials[i].material->save_mtl_to_node(mtl_dir, name.c_str(), &opt);
        CPakNode* dir = mtl_dir->find(name.c_str());
        if (!dir) return fail("material " + std::to_string(i) + " cannot be stored");
        if (!materials[i].video.empty())
            dir->create_data_node("VIDEO_FILE", NODE_FILENAME, materials[i].video.c_str());
        if (!report(progress, ++done / total, "materials")) return fail("cancelled");
    }

    CPakNode* item_dir = root->create_dir_node("items");
    for (size_t i = 0; i < items.size(); ++i) {
        CMeshItem& item = *items[i];
        CPakNode* dir = item.save_visitem_to_node(item_dir, child_name("item", i).c_str());
        if (!dir) return fail("item " + std::to_string(i) + " cannot be stored");
        // Mesh items leave their transform to the host; it goes where the item loader looks for it.
        dir->create_data_node("MESH_MATRIX", NODE_MATRIX, &item.get_wts());
        dir->create_data_node("MESH_INDEX", NODE_INT, &item.mesh_index);
        std::vector<int32_t> mats(item.materials.begin(), item.materials.end());
        dir->create_buf_node("MATERIALS", mats.data(), static_cast<int>(mats.size() * sizeof(int32_t)),
                             qcore::buf_uint32);
        if (!report(progress, ++done / total, "items")) return fail("cancelled");
    }

    CCamera cam = camera;
    cam.save_to_node(root, "camera");
    aera.save_aeracfg_to_node(root, "aera");
    if (cam_path.get_key_count() > 0) cam_path.save_to_node(root, "cam_path");

    const int written = pak.save_as(target.c_str(), 1);
    pak.close_file();
    if (!written) return fail(boxes.first().empty() ? "write failed" : boxes.first());
    std::remove(part.c_str());
    report(progress, 1, "saved");
    return true;
}

bool CScene::load(const char* path, std::string& error, const Progress& progress) {
    QuietBoxes boxes;
    clear();
    const std::string source = absolute_path(path);
    auto fail = [&](const std::string& why) {
        clear();
        folder.clear();
        error = "cannot read " + source + ": " + why;
        return false;
    };
    std::error_code ec;
    if (!fs::is_regular_file(source, ec)) return fail("no such file");

    CPakFile pak;
    std::vector<qcore::PakProblem> problems;
    if (!qcore::open_pak_file(pak, source.c_str(), 1, &problems)) return fail("not a tpk node-tree file");
    if (!problems.empty()) {
        char at[32];
        std::snprintf(at, sizeof at, " (at byte %llu)", static_cast<unsigned long long>(problems[0].offset));
        return fail(std::string("damaged file: ") + problems[0].text.GetString() + at);
    }
    CPakNode* root = pak.get_root();
    if (!root || !root->is_type("VR_TYPE", kSceneType)) return fail("not a scene file");
    int version = 0;
    if (!read_field(root, "SCENE_VERSION", NODE_INT, version) || version < 1)
        return fail("the scene format version is missing");
    if (version > kSceneVersion)
        return fail("scene format version " + std::to_string(version) +
                    " is newer than this program reads (" + std::to_string(kSceneVersion) + ")");

    CPakNode* mesh_dir = typed_child(root, "meshes", NODE_DIR);
    CPakNode* mtl_dir = typed_child(root, "materials", NODE_DIR);
    CPakNode* item_dir = typed_child(root, "items", NODE_DIR);
    const int mesh_count = count_field(root, "MESH_COUNT", kMaxMeshes, mesh_dir);
    const int mtl_count = count_field(root, "MATERIAL_COUNT", kMaxMaterials, mtl_dir);
    const int item_count = count_field(root, "ITEM_COUNT", kMaxItems, item_dir);
    if (mesh_count < 0 || mtl_count < 0 || item_count < 0)
        return fail("the mesh, material or item count does not match the file");
    folder = folder_of(source);
    const float total = static_cast<float>(mesh_count + mtl_count + item_count) + 1;
    float done = 0;

    IDirect3DDevice8* device = core_ && core_->dev ? core_->dev->get_dev() : nullptr;
    if (mesh_count > 0 && !device) return fail("no device to build meshes on");
    for (int i = 0; i < mesh_count; ++i) {
        CPakNode* dir = typed_child(mesh_dir, child_name("mesh", i).c_str(), NODE_DIR);
        CMyComPtr<ID3DXMesh> mesh =
            dir ? MESH_UTL::load_xmesh_from_node(device, dir) : CMyComPtr<ID3DXMesh>();
        if (!mesh || mesh->GetFVF() != kMeshFvf || !load_attributes(mesh, dir))
            return fail("mesh " + std::to_string(i) + " is missing or damaged");
        meshes.push_back(mesh);
        if (!report(progress, ++done / total, "meshes")) return fail("cancelled");
    }

    const CTexPathInfo tex_path(folder.c_str(), 0);
    for (int i = 0; i < mtl_count; ++i) {
        CPakNode* dir = typed_child(mtl_dir, child_name("mtl", i).c_str(), NODE_DIR);
        CSceneMaterial m;
        m.material = IMaterial::create_empty(core_);
        if (dir) drop_special_texture_names(core_, dir, tex_path);
        if (!dir || !m.material->load_mtl_from_node(device, dir, &tex_path))
            return fail("material " + std::to_string(i) + " is missing or damaged");
        char video[MAX_PATH] = {};
        if (read_field(dir, "VIDEO_FILE", NODE_FILENAME, video) &&
            !names_special_file(core_, video, tex_path))
            m.video = video;
        materials.push_back(std::move(m));
        if (!report(progress, ++done / total, "materials")) return fail("cancelled");
    }

    for (int i = 0; i < item_count; ++i) {
        const std::string what = "item " + std::to_string(i);
        CPakNode* dir = typed_child(item_dir, child_name("item", i).c_str(), NODE_DIR);
        CMyComPtr<CMeshItem> item;
        item.attach(new CMeshItem());
        MAT world{};
        int mesh_index = -1;
        std::vector<int32_t> mats;
        if (!dir || !item->load_visitem_from_node(dir, nullptr)) return fail(what + " is missing or damaged");
        if (!read_field(dir, "MESH_MATRIX", NODE_MATRIX, world) || !finite(world))
            return fail(what + " has no usable transform");
        if (!read_field(dir, "MESH_INDEX", NODE_INT, mesh_index) || mesh_index < 0 ||
            mesh_index >= mesh_count)
            return fail(what + " places a mesh the scene does not have");
        if (!read_buffer(dir, "MATERIALS", mats) || mats.size() > kMaxItemMaterials)
            return fail(what + " has no usable material list");
        for (int32_t m : mats)
            if (m < 0 || m >= mtl_count) return fail(what + " uses a material the scene does not have");
        item->mesh_index = mesh_index;
        item->mesh = meshes[static_cast<size_t>(mesh_index)];
        item->materials.assign(mats.begin(), mats.end());
        item->set_wts(world);
        // The box comes from the mesh itself, not from what the file claims.
        item->update_box();
        items.push_back(item);
        if (!report(progress, ++done / total, "items")) return fail("cancelled");
    }

    if (!camera.load_from_node(typed_child(root, "camera", NODE_DIR))) return fail("the camera is missing");
    if (!finite(camera.get_eye_pos()) || !finite(camera.get_target_pos()) ||
        !std::isfinite(camera.get_fov()) || !std::isfinite(camera.get_near_plane()) ||
        !std::isfinite(camera.get_far_plane()))
        return fail("the camera is damaged");
    if (!aera.load_aeracfg_from_node(typed_child(root, "aera", NODE_DIR)))
        return fail("the work area is missing");
    if (CPakNode* dir = typed_child(root, "cam_path", NODE_DIR); dir && !cam_path.load_from_node(dir))
        return fail("the camera path is damaged");
    report(progress, 1, "loaded");
    return true;
}

} // namespace qscene
