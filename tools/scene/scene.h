#pragma once
// A host's scene: placed meshes with their materials, a camera, a work area and a camera path. The
// importer writes it and the viewer reads it; the layout of its tpk file is in docs/scene-format.md.
//
//   qscene::CScene scene(core);
//   std::string error;
//   if (!scene.load("model.tpk", error)) ...   // meshes on core's device, textures beside the file
//   for (auto& item : scene.items) ...         // item->mesh draws subset i with
//   scene.materials[item->materials[i]]
#include <qcore/core/core.h>
#include <qcore/data/vr_item.h>
#include <qcore/geom/cam_path.h>
#include <qcore/platform/d3d8/d3dx/d3dx8mesh.h>
#include <qcore/texture/material.h>
#include <qcore/view/aera_cfg.h>
#include <qcore/view/camera.h>

#include <functional>
#include <string>
#include <vector>

namespace qscene {

// The root's "VR_TYPE" text and the format version save writes; load refuses newer versions.
inline constexpr char kSceneType[] = "QcoreScene";
inline constexpr int kSceneVersion = 1;

// The vertex layout of every scene mesh: position, normal, one texture coordinate pair.
constexpr DWORD kMeshFvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1;
struct MeshVertex {
    float pos[3];
    float normal[3];
    float uv[2];
};

// One placed mesh. Its box is the mesh's bounds in its own space; get_wts() places it in the world.
class CMeshItem : public IVisItem {
public:
    CMeshItem();
    int mesh_index = -1;        // into CScene::meshes
    CMyComPtr<ID3DXMesh> mesh;  // the same mesh, shared with every item that places it
    std::vector<int> materials; // scene material index for each attribute id of the mesh
    // The box from the mesh's vertices (invalid without a mesh).
    void update_box();
    // The nearest hit of a world-space ray with the mesh's triangles under the world transform: 1 and the
    // distance in units of the ray direction, or 0.
    int ray_int(CBaseVport* vport, const CRay& ray, float& dist, void* data) override;

protected:
    ~CMeshItem() override = default;
};

// A material of the scene, and optionally a video file (beside the scene) that plays on its diffuse slot.
struct CSceneMaterial {
    CMyComPtr<IMaterial> material;
    std::string video;
};

// Fraction done in [0, 1] and a short text; return false to cancel.
using Progress = std::function<bool(float done, const char* what)>;

class CScene {
public:
    explicit CScene(gCore* core);
    gCore* get_core() const { return core_; }

    std::vector<CMyComPtr<ID3DXMesh>> meshes;
    std::vector<CSceneMaterial> materials;
    std::vector<CMyComPtr<CMeshItem>> items;
    CCamera camera;
    CAeraCfg aera;
    CCamPath cam_path;  // empty when the scene has none
    std::string folder; // the scene file's folder: texture and video names resolve against it

    // Empties the scene.
    void clear();
    // A new item placing meshes[mesh_index] with the given world transform and materials.
    CMeshItem* add_item(const char* name, int mesh_index, const MAT& world, std::vector<int> mats);
    // The union of the items' boxes under their world transforms.
    CBox bounds() const;
    // Looks at the whole scene from the front and a little above, with near and far planes around it.
    void frame_camera();
    // Replaces the camera path with a closed circle of `keys` keys around the scene at the camera's
    // distance and height, looking at the scene's centre (nothing for fewer than 3 keys).
    void make_orbit_path(int keys);

    // Writes the scene as a tpk file; textures must already be beside it. False with a one-line reason.
    bool save(const char* path, std::string& error, const Progress& progress = {}) const;
    // Reads a scene file written by save (meshes are made on the core's device). On failure the scene is
    // left empty and error says why.
    bool load(const char* path, std::string& error, const Progress& progress = {});

private:
    gCore* core_;
};

} // namespace qscene
