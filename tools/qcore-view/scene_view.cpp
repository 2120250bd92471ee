#include "scene_view.h"

#include <mtl_render.h>

#include <algorithm>
#include <cstdio>

namespace qview {

namespace {

using qscene::CMeshItem;

// Moves one item between two world transforms; the view's octree follows.
class CMoveItemCmd : public CCmd {
public:
    CMoveItemCmd(CSceneView& view, CMeshItem* item, const MAT& from, const MAT& to)
        : view_(view), item_(item), from_(from), to_(to) {}
    int do_cmd() override { return place(to_); }
    void undo_cmd() override { place(from_); }

private:
    int place(const MAT& m) {
        item_->set_wts(m);
        view_.invalidate_octree();
        return 1;
    }
    CSceneView& view_;
    CMyComPtr<CMeshItem> item_;
    MAT from_, to_;
};

// The light follows no camera: one white directional light from above and in front, and a little ambient.
void light_scene(IDirect3DDevice8* dev, CRsMan* rs) {
    D3DLIGHT8 light{};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = {1.0f, 1.0f, 1.0f, 1.0f};
    light.Direction = {-0.3f, -0.7f, 0.65f};
    dev->SetLight(0, &light);
    dev->LightEnable(0, TRUE);
    rs->set_rs(D3DRS_AMBIENT, D3DCOLOR_XRGB(70, 70, 70));
}

} // namespace

CSceneView::CSceneView(qscene::CScene& scene) : scene_(scene) {
    type_name = "CSceneView";
    default_material_ = IMaterial::create_empty(scene.get_core());
    take_scene_view();
}

CSceneView::~CSceneView() = default;

void CSceneView::take_scene_view() {
    camera = scene_.camera;
    aera_cfg = scene_.aera;
    selected_.reset();
    undo_.clear();
    invalidate_octree();
    if (wnd) update_aera_calculations();
}

void CSceneView::update_view() {
    if (!begin_render()) return;
    IDirect3DDevice8* dev = get_dev();
    CRsMan* rs = device->get_rs_man();
    const int handle = rs->capture_rs();
    light_scene(dev, rs);
    rs->set_rs(D3DRS_ZENABLE, device->have_zbuf() ? D3DZB_TRUE : D3DZB_FALSE);
    camera.apply_transform(this);
    D3DVIEWPORT8 saved{};
    if (set_3d_aera_as_vport(saved)) {
        draw_items();
        if (selected_) selected_->draw_selection_box(scene_.get_core(), this, 1);
        restore_vport(&saved);
    }
    rs->restore_rs(handle);
    draw_overlay();
    end_render();
}

void CSceneView::collect_draws(std::vector<Draw>& draws) {
    const VEC eye = camera.get_eye_pos();
    for (const auto& item : scene_.items) {
        if (!item->mesh || !item->is_visible()) continue;
        const VEC centre = item->get_box().center().get_vertex_transf(item->get_wts());
        const float distance = (centre - eye).len();
        // A mesh without materials draws its first subset with the default material.
        const size_t subsets = std::max<size_t>(item->materials.size(), 1);
        for (size_t s = 0; s < subsets; ++s) {
            const int index = s < item->materials.size() ? item->materials[s] : -1;
            const bool known = index >= 0 && index < static_cast<int>(scene_.materials.size()) &&
                               scene_.materials[index].material;
            const IMaterial* material =
                known ? scene_.materials[index].material.get() : default_material_.get();
            IDirect3DTexture8* video =
                known && index < static_cast<int>(material_videos.size()) ? material_videos[index] : nullptr;
            draws.push_back({item.get(), static_cast<DWORD>(s), material, video, distance});
        }
    }
    // Opaque first; transparent ones by priority, then from the farthest to the nearest.
    std::stable_sort(draws.begin(), draws.end(), [](const Draw& a, const Draw& b) {
        if (CMtlRenderer::draw_before(a.material, b.material)) return true;
        if (CMtlRenderer::draw_before(b.material, a.material)) return false;
        return CMtlRenderer::is_transparent(a.material) && a.distance > b.distance;
    });
}

void CSceneView::draw_items() {
    std::vector<Draw> draws;
    collect_draws(draws);
    IDirect3DDevice8* dev = get_dev();
    CRsMan* rs = device->get_rs_man();
    CMtlRenderer renderer(scene_.get_core());
    for (const Draw& d : draws) {
        dev->SetTransform(D3DTS_WORLD, &d.item->get_wts());
        renderer.begin(d.material, timer);
        if (d.video) {
            // The video takes the diffuse slot: the material's colour still tints it.
            dev->SetTexture(0, d.video);
            rs->tss_color(0, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE);
        }
        d.item->mesh->DrawSubset(d.subset);
        renderer.end();
        if (d.video) dev->SetTexture(0, nullptr);
    }
}

void CSceneView::draw_overlay() {
    if (!font) return;
    const float scale = static_cast<float>(aa_scale);
    char text[64];
    // The average needs half a second of frames; the last frame's rate stands in until then.
    double fps = timer ? timer->get_average_info(0) : 0.0;
    if (fps <= 0 && timer) fps = timer->get_rapid_info(0);
    std::snprintf(text, sizeof text, "%.1f fps", fps);
    font->RenderTextScaled(8 * scale, 8 * scale, 0.1f, scale, scale, 0xFFFFFF00, text, 0);
    if (selected_)
        font->RenderTextScaled(8 * scale, 28 * scale, 0.1f, scale, scale, 0xFFFFFFFF, selected_->get_name(),
                               0);
}

void CSceneView::build_octree() {
    octree_.free(); // it borrows world_mesh_
    world_mesh_.clear();
    face_items_.clear();
    for (const auto& item : scene_.items) {
        if (!item->mesh || !item->is_visible()) continue;
        CRawMesh part;
        part.fill_with_mesh(item->mesh, 0);
        part.transf_vb(item->get_wts());
        world_mesh_.append_raw_mesh(part);
        face_items_.resize(world_mesh_.faces.size(), item.get());
    }
    if (!world_mesh_.faces.empty()) octree_.build_from_vbib(world_mesh_, 32, 10, 0, 1, nullptr);
    octree_valid_ = true;
}

CMeshItem* CSceneView::item_at(CPoint client) {
    if (!octree_valid_) build_octree();
    const COctNode* root = octree_.get_root();
    if (!root) return nullptr;
    CRay ray;
    ray.from_pt(this, &client);
    OCTREE_INT_ITEM hit;
    if (!root->RayTestNearest(CRayForBox(ray), 0, 1, hit) || hit.face >= face_items_.size()) return nullptr;
    return face_items_[hit.face];
}

CMeshItem* CSceneView::pick(CPoint client) {
    CMeshItem* item = item_at(client);
    select(item);
    return item;
}

void CSceneView::select(CMeshItem* item) {
    if (selected_.get() == item) return;
    if (selected_) selected_->set_selected(0);
    selected_ = item;
    if (selected_) selected_->set_selected(1);
}

bool CSceneView::move_selected(const VEC& offset) {
    if (!selected_) return false;
    MAT to = selected_->get_wts();
    to._41 += offset.x;
    to._42 += offset.y;
    to._43 += offset.z;
    begin_move();
    const bool done = undo_.do_command(new CMoveItemCmd(*this, selected_.get(), selected_->get_wts(), to), 1);
    end_move();
    return done;
}

void CSceneView::begin_move() {
    undo_.begin_operation("move item");
}

void CSceneView::end_move() {
    undo_.end_operation();
}

void CSceneView::undo() {
    undo_.undo();
}

void CSceneView::redo() {
    undo_.redo();
}

} // namespace qview
