#include "orbit_tool.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float kRadiansPerPixel = 0.01f;
constexpr float kMinDistance = 0.5f;
constexpr float kMaxDistance = 200.0f;

} // namespace

OrbitTool::OrbitTool(CBaseVport* view, const VEC& pivot_point)
    : CMouseTool("orbit", view), pivot(pivot_point) {}

long OrbitTool::begin_drag(Drag kind, CPoint p) {
    if (!get_view() || drag != Drag::none) return 0;
    drag = kind;
    last = p;
    if (CWnd* w = get_view()->get_wnd()) w->SetCapture();
    return 0;
}

long OrbitTool::end_drag(Drag kind) {
    if (drag != kind) return 0;
    drag = Drag::none;
    ReleaseCapture();
    return 0;
}

long OrbitTool::v_on_mouse_move(UINT, CPoint p) {
    if (drag == Drag::none || !get_view()) return 0;
    const int dx = p.x - last.x, dy = p.y - last.y;
    last = p;
    if (dx == 0 && dy == 0) return 0;
    if (drag == Drag::orbit)
        orbit(dx, dy);
    else
        pan(dx, dy);
    return kRepaint;
}

long OrbitTool::v_on_mouse_wheel(UINT, short delta, CPoint) {
    if (!get_view() || delta == 0) return 0;
    CCamera& cam = get_view()->get_camera();
    const VEC offset = cam.get_eye_pos() - pivot;
    const float distance = offset.len();
    const float wanted = std::clamp(distance * std::pow(0.9f, delta / 120.0f), kMinDistance, kMaxDistance);
    cam.set_view_params(pivot + offset * (wanted / distance), pivot, VEC(0, 1, 0));
    return kRepaint;
}

void OrbitTool::orbit(int dx, int dy) {
    CCamera& cam = get_view()->get_camera();
    const VEC offset = cam.get_eye_pos() - pivot;
    const float distance = offset.len();
    // Yaw about the world's up axis, pitch held short of the poles so that up stays usable.
    float yaw = std::atan2(offset.x, -offset.z) - dx * kRadiansPerPixel;
    float pitch = std::asin(std::clamp(offset.y / distance, -1.0f, 1.0f)) + dy * kRadiansPerPixel;
    pitch = std::clamp(pitch, -1.5f, 1.5f);
    const VEC eye =
        pivot +
        VEC(std::sin(yaw) * std::cos(pitch), std::sin(pitch), -std::cos(yaw) * std::cos(pitch)) * distance;
    cam.set_view_params(eye, pivot, VEC(0, 1, 0));
}

void OrbitTool::pan(int dx, int dy) {
    CBaseVport* view = get_view();
    CCamera& cam = view->get_camera();
    const CRect& area = view->get_3d_aera();
    const float distance = (cam.get_eye_pos() - pivot).len();
    // One client pixel moves the pivot by the width that one pixel covers at the pivot's distance.
    const float width_at_pivot = 2 * distance * std::tan(cam.get_fov() / 2);
    const float per_pixel = width_at_pivot * view->get_aa_scale() / std::max(1, area.Width());
    const VEC shift = cam.get_right_dir(true) * (-dx * per_pixel) + cam.get_up_vec(true) * (dy * per_pixel);
    pivot += shift;
    cam.set_view_params(cam.get_eye_pos() + shift, pivot, VEC(0, 1, 0));
}
