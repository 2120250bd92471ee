#include "sample_scene.h"

#include <qcore/platform/dshow/clip_writer.h>

#include <cmath>

namespace qview {

using qscene::kMeshFvf;
using qscene::MeshVertex;

CMyComPtr<ID3DXMesh> to_scene_mesh(IDirect3DDevice8* dev, ID3DXMesh* shape) {
    CMyComPtr<ID3DXMesh> mesh;
    if (!shape || FAILED(shape->CloneMeshFVF(D3DXMESH_MANAGED, kMeshFvf, dev, mesh.out()))) return {};
    BYTE* data = nullptr;
    if (FAILED(mesh->LockVertexBuffer(0, &data)) || !data) return {};
    auto* v = reinterpret_cast<MeshVertex*>(data);
    CBox box;
    for (DWORD i = 0; i < mesh->GetNumVertices(); ++i)
        box += VEC(v[i].pos[0], v[i].pos[1], v[i].pos[2]);
    const VEC size = box.max - box.min;
    for (DWORD i = 0; i < mesh->GetNumVertices(); ++i) {
        v[i].uv[0] = size.x > 0 ? (v[i].pos[0] - box.min.x) / size.x : 0.0f;
        v[i].uv[1] = size.y > 0 ? (box.max.y - v[i].pos[1]) / size.y : 0.0f;
    }
    mesh->UnlockVertexBuffer();
    return mesh;
}

CMyComPtr<ID3DXMesh> make_box_mesh(IDirect3DDevice8* dev, float width, float height, float depth) {
    CMyComPtr<ID3DXMesh> shape;
    if (FAILED(D3DXCreateBox(dev, width, height, depth, shape.out(), nullptr))) return {};
    return to_scene_mesh(dev, shape.get());
}

CMyComPtr<IMaterial> make_colour_material(gCore* core, float r, float g, float b, float alpha) {
    CMyComPtr<IMaterial> m = IMaterial::create_empty(core);
    D3DMATERIAL8 colour = m->get_color();
    colour.Diffuse = {r, g, b, 1.0f};
    colour.Ambient = colour.Diffuse;
    colour.Specular = {0, 0, 0, 1};
    m->set_color(colour);
    if (alpha < 1.0f) {
        m->enable_transp(1);
        m->set_transp_type(TRANSP_TYPE_1);
        m->set_transparent_factor(static_cast<int>(std::lround(alpha * 255)));
        m->set_src_blend(D3DBLEND_SRCALPHA);
        m->set_dst_blend(D3DBLEND_INVSRCALPHA);
        m->set_zwrite(0);
    }
    return m;
}

namespace {

MAT placed(float x, float y, float z, float turn = 0) {
    MAT m;
    D3DXMatrixRotationY(&m, turn);
    m._41 = x;
    m._42 = y;
    m._43 = z;
    return m;
}

int add_material(qscene::CScene& scene, CMyComPtr<IMaterial> material, std::string video = {}) {
    scene.materials.push_back({std::move(material), std::move(video)});
    return static_cast<int>(scene.materials.size()) - 1;
}

int add_mesh(qscene::CScene& scene, CMyComPtr<ID3DXMesh> mesh) {
    scene.meshes.push_back(std::move(mesh));
    return static_cast<int>(scene.meshes.size()) - 1;
}

} // namespace

bool build_sample_scene(qscene::CScene& scene, IDirect3DDevice8* dev, const std::string& clip_folder,
                        std::string& error) {
    scene.clear();
    gCore* core = scene.get_core();
    CMyComPtr<ID3DXMesh> torus, sphere;
    const bool shapes = SUCCEEDED(D3DXCreateTorus(dev, 0.25f, 0.6f, 24, 48, torus.out(), nullptr)) &&
                        SUCCEEDED(D3DXCreateSphere(dev, 0.6f, 32, 16, sphere.out(), nullptr));
    const int floor = add_mesh(scene, make_box_mesh(dev, 7, 0.2f, 5));
    const int cube = add_mesh(scene, make_box_mesh(dev, 1, 1, 1));
    const int ring = add_mesh(scene, shapes ? to_scene_mesh(dev, torus.get()) : nullptr);
    const int ball = add_mesh(scene, shapes ? to_scene_mesh(dev, sphere.get()) : nullptr);
    const int panel = add_mesh(scene, make_box_mesh(dev, 1.6f, 1.2f, 0.05f));
    for (const auto& mesh : scene.meshes)
        if (!mesh) {
            scene.clear();
            error = "could not build the sample's meshes";
            return false;
        }
    const int grey = add_material(scene, make_colour_material(core, 0.55f, 0.55f, 0.6f));
    const int red = add_material(scene, make_colour_material(core, 0.9f, 0.15f, 0.1f));
    const int green = add_material(scene, make_colour_material(core, 0.15f, 0.8f, 0.2f));
    const int blue = add_material(scene, make_colour_material(core, 0.15f, 0.3f, 0.95f));
    const int glass = add_material(scene, make_colour_material(core, 1.0f, 0.9f, 0.2f, 0.45f));

    scene.add_item("floor", floor, placed(0, -0.6f, 0), {grey});
    scene.add_item("red box", cube, placed(-2.0f, 0, 0.3f, 0.5f), {red});
    scene.add_item("green torus", ring, placed(0, 0.1f, 0.2f), {green});
    scene.add_item("blue ball", ball, placed(2.0f, 0.1f, 0.3f), {blue});
    scene.add_item("glass box", cube, placed(1.0f, 0, -1.2f, 0.3f), {glass});
    if (!clip_folder.empty()) {
        qcore::GeneratedClip clip;
        clip.width = 128;
        clip.height = 96;
        const std::string name = "sample_clip.avi";
        if (!qcore::write_generated_clip((clip_folder + "/" + name).c_str(), clip)) {
            scene.clear();
            error = "could not write the sample's video clip";
            return false;
        }
        scene.folder = clip_folder;
        const int screen = add_material(scene, make_colour_material(core, 1, 1, 1), name);
        scene.add_item("video panel", panel, placed(0, 0.8f, 1.8f), {screen});
    }
    scene.camera.set_proj_params(60, 0.1f, 100);
    scene.frame_camera();
    scene.make_orbit_path(8);
    return true;
}

} // namespace qview
