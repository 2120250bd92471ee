#include <qcore/geom/ray.h>
#include <qcore/platform/win32/input.h>
#include <qcore/view/base_vport.h>

#include <cmath>

int CRay::int_with_sphere(const sphere& s, float& t) const {
    const float length = dir.len();
    if (!(length > 0.0f) || !std::isfinite(length)) return 0;
    const VEC d = dir * (1.0f / length);
    const VEC l = s.centre - origin;
    const float tca = d.dot(l);
    const float disc = s.radius * s.radius - (l.lensq() - tca * tca);
    if (!(disc >= 0.0f)) return 0;
    t = tca - std::sqrt(disc);
    return 1;
}

void CRay::from_pt(CBaseVport* vport, const tagPOINT* pt) {
    if (!vport || !pt) return;
    const CCamera& camera = vport->get_camera();
    MAT identity;
    D3DXMatrixIdentity(&identity);
    const float x = static_cast<float>(pt->x), y = static_cast<float>(pt->y);
    const VEC p_near = vport->proj_screen_pos_to_3d(VEC(x, y, camera.get_near_plane()), &identity);
    const VEC p_far = vport->proj_screen_pos_to_3d(VEC(x, y, camera.get_far_plane()), &identity);
    origin = p_near;
    dir = p_far - p_near;
}

void CRay::from_current_cursor(CBaseVport* vport) {
    tagPOINT p{};
    GetCursorPos(&p);
    from_pt(vport, &p);
}
