#pragma once
// The viewer's view of a scene: draws the items with their materials through the camera (opaque ones first,
// then the transparent ones sorted), picks items by a client point through an octree over their world-space
// triangles, draws the picked item's selection box and moves it through the undo manager.
#include "scene.h"

#include <qcore/data/undo_man.h>
#include <qcore/geom/octree.h>
#include <qcore/qcore.h>

#include <memory>
#include <string>
#include <vector>

namespace qview {

class CSceneView : public CBaseVport {
public:
    explicit CSceneView(qscene::CScene& scene);
    ~CSceneView() override;

    // Takes the scene's camera and work area (call after the scene changed).
    void take_scene_view();
    void update_view() override;

    // The item under a client point, or null; does not change the selection.
    qscene::CMeshItem* item_at(CPoint client);
    // Selects the item under a client point (none on the background); the item picked, or null.
    qscene::CMeshItem* pick(CPoint client);
    void select(qscene::CMeshItem* item);
    qscene::CMeshItem* get_selected() const { return selected_.get(); }

    // Moves the picked item by a world-space offset as one undo step (or as part of the step that
    // begin_move opened); false without a picked item.
    bool move_selected(const VEC& offset);
    // A drag's moves make one undo step between these two.
    void begin_move();
    void end_move();
    void undo();
    void redo();
    CUndoMan& get_undo_man() { return undo_; }

    // The octree follows the items: it is rebuilt before the next pick after an item moved.
    void invalidate_octree() { octree_valid_ = false; }

    // Per-frame drawing helpers: the overlay text, the timer for the frame rate and animated textures,
    // and a video texture that replaces a material's diffuse texture.
    CD3dFont* font = nullptr;
    const CTimer* timer = nullptr;
    std::vector<IDirect3DTexture8*> material_videos; // by scene material index; null when none

    qscene::CScene& get_scene() { return scene_; }

private:
    struct Draw {
        qscene::CMeshItem* item;
        DWORD subset;
        const IMaterial* material;
        IDirect3DTexture8* video;
        float distance; // from the eye, for transparent ones
    };
    void collect_draws(std::vector<Draw>& draws);
    void draw_items();
    void draw_overlay();
    void build_octree();

    qscene::CScene& scene_;
    CMyComPtr<IMaterial> default_material_;
    CMyComPtr<qscene::CMeshItem> selected_;
    CUndoMan undo_;

    CRawMesh world_mesh_;
    std::vector<qscene::CMeshItem*> face_items_; // the item of each face of world_mesh_
    COctree octree_;
    bool octree_valid_ = false;
};

} // namespace qview
