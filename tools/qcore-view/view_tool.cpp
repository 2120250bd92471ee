#include "view_tool.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace qview {

ViewTool::ViewTool(CSceneView* view, const VEC& pivot) : OrbitTool(view, pivot), scene_view_(view) {}

long ViewTool::v_on_lbutton_down(UINT flags, CPoint p) {
    down_ = last_ = p;
    if ((flags & MK_SHIFT) && scene_view_->get_selected()) {
        moving_ = true;
        scene_view_->begin_move();
        if (CWnd* w = scene_view_->get_wnd()) w->SetCapture();
        return 0;
    }
    click_ = true;
    return OrbitTool::v_on_lbutton_down(flags, p);
}

long ViewTool::v_on_lbutton_up(UINT flags, CPoint p) {
    if (moving_) {
        moving_ = false;
        scene_view_->end_move();
        ReleaseCapture();
        return kRepaint;
    }
    const long code = OrbitTool::v_on_lbutton_up(flags, p);
    if (!click_) return code;
    click_ = false;
    scene_view_->pick(p);
    return kRepaint;
}

long ViewTool::v_on_mouse_move(UINT flags, CPoint p) {
    if (click_ && (std::abs(p.x - down_.x) > kClickSlop || std::abs(p.y - down_.y) > kClickSlop))
        click_ = false;
    if (!moving_) return OrbitTool::v_on_mouse_move(flags, p);
    qscene::CMeshItem* item = scene_view_->get_selected();
    const int dx = p.x - last_.x, dy = p.y - last_.y;
    last_ = p;
    if (!item || (dx == 0 && dy == 0)) return 0;
    // One client pixel moves the item by the width one pixel covers at the item's distance.
    const CCamera& cam = scene_view_->get_camera();
    const VEC centre = item->get_box().center().get_vertex_transf(item->get_wts());
    const float distance = (centre - cam.get_eye_pos()).len();
    const float per_pixel = 2 * distance * std::tan(cam.get_fov() / 2) * scene_view_->get_aa_scale() /
                            static_cast<float>(std::max(1, scene_view_->get_3d_aera().Width()));
    scene_view_->move_selected(cam.get_right_dir(true) * (dx * per_pixel) +
                               cam.get_up_vec(true) * (-dy * per_pixel));
    return kRepaint;
}

} // namespace qview
