#include "scene.h"

#include <qcore/geom/ray.h>

#include <algorithm>
#include <cmath>

namespace qscene {

CMeshItem::CMeshItem() {
    class_id = VR_MESH;
}

void CMeshItem::update_box() {
    CBox b;
    if (mesh && mesh->GetFVF() == kMeshFvf) {
        BYTE* data = nullptr;
        if (SUCCEEDED(mesh->LockVertexBuffer(D3DLOCK_READONLY, &data)) && data) {
            const auto* v = reinterpret_cast<const MeshVertex*>(data);
            for (DWORD i = 0, n = mesh->GetNumVertices(); i < n; ++i)
                b += VEC(v[i].pos[0], v[i].pos[1], v[i].pos[2]);
            mesh->UnlockVertexBuffer();
        }
    }
    set_box(b);
}

int CMeshItem::ray_int(CBaseVport*, const CRay& ray, float& dist, void*) {
    if (!mesh || mesh->GetFVF() != kMeshFvf) return 0;
    // Into the mesh's own space: a ray direction scaled by the transform keeps the same parameter.
    const CRay local = ray.get_transf(get_wts().get_inverse());
    BYTE* vdata = nullptr;
    BYTE* idata = nullptr;
    if (FAILED(mesh->LockVertexBuffer(D3DLOCK_READONLY, &vdata)) || !vdata) return 0;
    if (FAILED(mesh->LockIndexBuffer(D3DLOCK_READONLY, &idata)) || !idata) {
        mesh->UnlockVertexBuffer();
        return 0;
    }
    const auto* v = reinterpret_cast<const MeshVertex*>(vdata);
    const bool wide = (mesh->GetOptions() & D3DXMESH_32BIT) != 0;
    const DWORD nv = mesh->GetNumVertices();
    auto index = [&](DWORD i) -> DWORD {
        return wide ? reinterpret_cast<const DWORD*>(idata)[i] : reinterpret_cast<const WORD*>(idata)[i];
    };
    float best = -1;
    for (DWORD f = 0, n = mesh->GetNumFaces(); f < n; ++f) {
        const DWORD a = index(f * 3), b = index(f * 3 + 1), c = index(f * 3 + 2);
        if (a >= nv || b >= nv || c >= nv) continue;
        D3DXVECTOR3 p0(v[a].pos[0], v[a].pos[1], v[a].pos[2]), p1(v[b].pos[0], v[b].pos[1], v[b].pos[2]),
            p2(v[c].pos[0], v[c].pos[1], v[c].pos[2]);
        float u = 0, w = 0, t = 0;
        if (D3DXIntersectTri(&p0, &p1, &p2, &local.origin, &local.dir, &u, &w, &t) && t >= 0 &&
            (best < 0 || t < best))
            best = t;
    }
    mesh->UnlockIndexBuffer();
    mesh->UnlockVertexBuffer();
    if (best < 0) return 0;
    dist = best;
    return 1;
}

CScene::CScene(gCore* core) : core_(core) {}

void CScene::clear() {
    items.clear();
    materials.clear();
    meshes.clear();
    cam_path.free();
    camera = CCamera();
    aera = CAeraCfg();
}

CMeshItem* CScene::add_item(const char* name, int mesh_index, const MAT& world, std::vector<int> mats) {
    CMyComPtr<CMeshItem> item;
    item.attach(new CMeshItem());
    item->set_name(name);
    item->mesh_index = mesh_index;
    if (mesh_index >= 0 && mesh_index < static_cast<int>(meshes.size())) item->mesh = meshes[mesh_index];
    item->materials = std::move(mats);
    item->set_wts(world);
    item->update_box();
    items.push_back(item);
    return item.get();
}

CBox CScene::bounds() const {
    CBox all;
    for (const auto& item : items)
        all += item->get_box().get_transf(item->get_wts());
    return all;
}

void CScene::frame_camera() {
    CBox b = bounds();
    if (!b.is_valid()) b = CBox(VEC(-1, -1, -1), VEC(1, 1, 1));
    const VEC centre = b.center();
    const float radius = std::max(b.get_radius(), 1e-3f);
    // The camera's field of view is horizontal; the work area is 4:3, so the vertical one is narrower.
    const float h_fov = camera.get_fov() > 0.01f && camera.get_fov() < 3.1f ? camera.get_fov() : 1.5707964f;
    const float tan_h = std::tan(h_fov * 0.5f), tan_v = tan_h * 0.75f;
    // From the front (the viewer looks along +z) and a little above: back off until every corner of the
    // box lies inside both fields of view, with a small margin.
    const VEC forward = VEC(0, -0.35f, 1).get_normalize();
    const VEC up = (VEC(0, 1, 0) - forward * forward.y).get_normalize();
    const VEC right = up.cross(forward);
    float distance = 0, nearest = 1e30f, farthest = -1e30f;
    for (int i = 0; i < 8; ++i) {
        const VEC d = b.get_corner(i) - centre;
        const float x = std::fabs(d.dot(right)), y = std::fabs(d.dot(up)), z = d.dot(forward);
        distance = std::max({distance, x / tan_h - z, y / tan_v - z});
        nearest = std::min(nearest, z);
        farthest = std::max(farthest, z);
    }
    distance = std::max(distance * 1.08f, radius * 0.1f);
    camera.set_view_params(centre - forward * distance, centre, VEC(0, 1, 0));
    camera.set_near_plane(std::max((distance + nearest) * 0.5f, distance * 0.01f));
    camera.set_far_plane(distance + farthest + radius);
}

void CScene::make_orbit_path(int keys) {
    if (keys < 3) return;
    cam_path.free();
    // The camera keeps its target far out along the view direction, not at what it looks at: the circle
    // goes round the scene's centre (or a point ahead of the camera in an empty scene).
    const CBox box = bounds();
    const VEC eye = camera.get_eye_pos();
    const VEC target = box.is_valid() ? box.center() : eye + camera.get_forward_dir(true);
    const float dx = eye.x - target.x, dz = eye.z - target.z;
    const float radius = std::sqrt(dx * dx + dz * dz), start = std::atan2(dz, dx);
    CCamera key = camera;
    for (int i = 0; i < keys; ++i) {
        const float a = start + 6.2831853f * static_cast<float>(i) / static_cast<float>(keys);
        key.set_view_params(VEC(target.x + radius * std::cos(a), eye.y, target.z + radius * std::sin(a)),
                            target, VEC(0, 1, 0));
        cam_path.add_key(key);
    }
    cam_path.make_closed(1);
}

} // namespace qscene
