#include <qcore/view/camera.h>

#include <qcore/core/device.h>
#include <qcore/data/inifile.h>
#include <qcore/data/pak_file.h>
#include <qcore/geom/frect.h>
#include <qcore/platform/win32/app.h>
#include <qcore/view/base_vport.h>

#include <atomic>
#include <cmath>
#include <mutex>

namespace {

constexpr float kKeepEye = 3.4028235e38f;
constexpr float kDegToRad = 0.017453292f;
constexpr float kTargetDistance = 1000.0f;
const char* const camera_dir_type = "CCamera";

struct OffsetCoefficient {
    std::once_flag first;
    std::atomic<float> value{0.0f};
};

OffsetCoefficient& offset_coefficient() {
    static OffsetCoefficient c;
    return c;
}

float read_offset_coefficient(const char* ini_file) {
    const CString file = ini_file ? CString(ini_file) : qcore::module_folder() + "qvx_config.ini";
    const float v = inifile::get_float_setting(file, "setting", "相机偏移系数", 0.0f);
    return std::isfinite(v) ? v : 0.0f;
}

bool is_finite(const MAT& m) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            if (!std::isfinite(m.m[r][c])) return false;
    return true;
}

MAT identity() {
    MAT m;
    D3DXMatrixIdentity(&m);
    return m;
}

// Width over height of the viewport's 3D area, or 0 without a viewport or with an empty area.
float area_ratio(const CBaseVport* vp) {
    if (!vp) return 0;
    const CRect& a = vp->get_3d_aera();
    if (a.Width() <= 0 || a.Height() <= 0) return 0;
    return static_cast<float>(a.Width()) / static_cast<float>(a.Height());
}

bool near_equal(float a, float b) {
    return std::fabs(a - b) < 0.001f;
}

} // namespace

namespace qcore {

float camera_offset_coefficient() {
    OffsetCoefficient& c = offset_coefficient();
    std::call_once(c.first, [&] { c.value = read_offset_coefficient(nullptr); });
    return c.value;
}

void reload_camera_offset_coefficient(const char* ini_file) {
    OffsetCoefficient& c = offset_coefficient();
    std::call_once(c.first, [] {});
    c.value = read_offset_coefficient(ini_file);
}

} // namespace qcore

CCamera::CCamera() {
    D3DXMatrixIdentity(&view_matrix);
    set_view_params(VEC(0, 0, -100), VEC(0, 0, 0), VEC(0, 100, 0));
    set_proj_params(90, 1, 100000);
    // Until a viewport gives an aspect, a square picture stands in.
    D3DXMatrixPerspectiveFovLH(&good_proj, fov, 1.0f, near_plane, far_plane);
    good_proj = good_proj * MAT::get_pan_matrix(qcore::camera_offset_coefficient(), 0, 0);
}

void CCamera::set_fov_in_radian(float radian) {
    fov = radian;
    view_dirty = true;
}

void CCamera::set_fov_in_degree(float degree) {
    set_fov_in_radian(degree * kDegToRad);
}

void CCamera::set_aspect_ratio(float ratio) {
    aspect_ratio = ratio;
    view_dirty = true;
}

void CCamera::set_near_plane(float distance) {
    near_plane = distance;
    view_dirty = true;
}

void CCamera::set_far_plane(float distance) {
    far_plane = distance;
    view_dirty = true;
}

void CCamera::set_ortho_project(int on) {
    ortho_project = on;
    view_dirty = true;
}

void CCamera::set_ortho_proj_box_width(float width) {
    ortho_box_width = width;
    view_dirty = true;
}

void CCamera::set_proj_params(float fov_degree, float near_distance, float far_distance) {
    set_fov_in_degree(fov_degree);
    near_plane = near_distance;
    far_plane = far_distance;
}

void CCamera::set_view_params(const VEC& eye, const VEC& target, const VEC& up) {
    view_dirty = true;
    if (!(eye.x == kKeepEye && eye.y == kKeepEye && eye.z == kKeepEye)) eye_pos = eye;
    // A target on the eye or a zero up vector has no direction: the previous one stays.
    const VEC previous_forward = target_pos - eye_pos;
    const VEC previous_up = up_vec;
    target_pos = target;
    up_vec = up;
    if ((target_pos - eye_pos).get_normalize().is_zero()) target_pos = eye_pos + previous_forward;
    if (up_vec.get_normalize().is_zero()) up_vec = previous_up;
    adjust_target_and_up();
}

void CCamera::adjust_target_and_up() {
    target_pos = eye_pos + (target_pos - eye_pos).get_normalize() * kTargetDistance;
    up_vec = up_vec.get_normalize() * kTargetDistance;
    view_dirty = true;
}

void CCamera::shift_to_position(const VEC& position) {
    const VEC delta = position - eye_pos;
    eye_pos = position;
    target_pos += delta;
    view_dirty = true;
}

VEC CCamera::get_forward_dir(bool normalise) const {
    const VEC d = target_pos - eye_pos;
    return normalise ? d.get_normalize() : d;
}

VEC CCamera::get_up_vec(bool normalise) const {
    return normalise ? up_vec.get_normalize() : up_vec;
}

VEC CCamera::get_right_dir(bool normalise) const {
    const VEC r = -(target_pos - eye_pos).cross(up_vec);
    return normalise ? r.get_normalize() : r;
}

void CCamera::recal_view_matrix() {
    MAT m;
    D3DXMatrixLookAtLH(&m, &eye_pos, &target_pos, &up_vec);
    // Up along the view direction (or non-finite positions) give no basis: the last good matrix stays.
    if (is_finite(m)) view_matrix = m;
    view_dirty = false;
}

const MAT& CCamera::get_view_matrix() {
    if (view_dirty) recal_view_matrix();
    return view_matrix;
}

void CCamera::set_view_matrix(const MAT* m) {
    if (m) view_matrix = *m;
    view_dirty = false;
}

float CCamera::get_vertical_fov_in_radian(const CBaseVport* vp) const {
    const float a = area_ratio(vp) * aspect_ratio;
    const float v = 2.0f * std::atan(std::tan(fov / 2.0f) / a);
    if (std::isnan(v) || v < 0.0f || v > 3.1415927f) return 1.5707964f;
    return v;
}

void CCamera::get_proj_matrix(const CBaseVport* vp, MAT* out) const {
    if (!out) return;
    const float a = area_ratio(vp) * aspect_ratio;
    MAT p;
    if (ortho_project)
        D3DXMatrixOrthoLH(&p, ortho_box_width, ortho_box_width / a, near_plane, far_plane);
    else
        D3DXMatrixPerspectiveFovLH(&p, get_vertical_fov_in_radian(vp), a, near_plane, far_plane);
    p = p * MAT::get_pan_matrix(qcore::camera_offset_coefficient(), 0, 0);
    if (std::isfinite(a) && a > 0.0f && is_finite(p)) good_proj = p;
    *out = good_proj;
}

MAT CCamera::get_rhw_matrix_when_aa(const CBaseVport* vp) const {
    if (!ss_info.on || !vp) return identity();
    const float n = static_cast<float>(ss_info.n);
    const float w = static_cast<float>(vp->get_rect().Width), h = static_cast<float>(vp->get_rect().Height);
    return MAT::get_scaling_matrix(n, n, 1) *
           MAT::get_pan_matrix(-(w * static_cast<float>(ss_info.col)),
                               -(h * static_cast<float>(ss_info.n - ss_info.row - 1)), 0);
}

MAT CCamera::get_ss_proj_matrix(const CBaseVport* vp) const {
    if (!ss_info.on) return identity();
    MAT p;
    get_proj_matrix(vp, &p);
    if (!vp) return p;
    const MAT block = get_rhw_matrix_when_aa(vp);
    FRect r;
    r = static_cast<const RECT&>(vp->get_3d_aera());
    r.transf_frect(&block);
    FRect k = r;
    const D3DVIEWPORT8& v = vp->get_rect();
    if (!k.intsect_with_rect(FRect(0, 0, static_cast<float>(v.Width), static_cast<float>(v.Height))))
        return p;
    // Clip space of the clipped block: its left edge at -1, its bottom edge at -1 and its top at +1.
    const MAT to_clip = MAT::get_pan_matrix(-k.left, -k.bottom, 0) *
                        MAT::get_scaling_matrix(2.0f / k.width(), -2.0f / k.height(), 1) *
                        MAT::get_pan_matrix(-1, -1, 0);
    FRect rc = r;
    rc.transf_frect(&to_clip);
    const float e = rc.width() / 2, f = std::fabs(rc.height()) / 2;
    const float cx = (rc.left + rc.right) / 2, cy = (rc.top + rc.bottom) / 2;
    const MAT result = p * MAT::get_scaling_matrix(e, f, 1) * MAT::get_pan_matrix(cx, cy, 0);
    return is_finite(result) ? result : p;
}

MAT CCamera::get_mc_proj_matrix(const CBaseVport* vp) const {
    if (!mc_info.on) return identity();
    CCamera channel = *this;
    channel.ss_info.on = 0;
    channel.mc_info.on = 0;
    channel.set_fov_in_degree(mc_info.fov);
    MAT p;
    channel.get_proj_matrix(vp, &p);
    const float w = vp ? static_cast<float>(vp->get_rect().Width) : 0.0f;
    // Without a width the offset has no scale: the channel stays where its index puts it.
    const float pixels = w > 0 ? 2.0f * static_cast<float>(mc_info.offset) / w : 0.0f;
    return p * MAT::get_pan_matrix(pixels - 2.0f * static_cast<float>(mc_info.index), 0, 0);
}

void CCamera::apply_transform(CBaseVport* vp) {
    IDirect3DDevice8* dev = vp ? vp->get_dev() : nullptr;
    if (!dev) return;
    dev->SetTransform(D3DTS_VIEW, &get_view_matrix());
    MAT proj;
    if (ss_info.on)
        proj = get_ss_proj_matrix(vp);
    else if (mc_info.on)
        proj = get_mc_proj_matrix(vp);
    else
        get_proj_matrix(vp, &proj);
    dev->SetTransform(D3DTS_PROJECTION, &proj);
}

int CCamera::is_equal(const CCamera& o) const {
    return eye_pos.is_coincide(o.eye_pos, 0.001f) && target_pos.is_coincide(o.target_pos, 0.001f) &&
           up_vec.is_coincide(o.up_vec, 0.001f) && near_equal(aspect_ratio, o.aspect_ratio) &&
           near_equal(fov, o.fov) && near_equal(near_plane, o.near_plane) &&
           near_equal(far_plane, o.far_plane) && near_equal(ortho_box_width, o.ortho_box_width) &&
           ortho_project == o.ortho_project;
}

CPakNode* CCamera::save_to_node(CPakNode* parent, const char* name) {
    CPakNode* dir = parent ? parent->create_dir_node(name) : nullptr;
    if (!dir) return nullptr;
    const int32_t ortho = ortho_project;
    const float degrees = get_fov_in_degree();
    dir->create_data_node("VR_TYPE", NODE_STR32, camera_dir_type);
    dir->create_data_node("EYE_POS", NODE_VEC, &eye_pos);
    dir->create_data_node("TAR_POS", NODE_VEC, &target_pos);
    dir->create_data_node("UP_VEC", NODE_VEC, &up_vec);
    dir->create_data_node("IS_ORTHO", NODE_INT, &ortho);
    dir->create_data_node("ORTHO_WIDTH", NODE_FLOAT, &ortho_box_width);
    dir->create_data_node("NEAR_PLANE", NODE_FLOAT, &near_plane);
    dir->create_data_node("FAR_PLANE", NODE_FLOAT, &far_plane);
    dir->create_data_node("FOV", NODE_FLOAT, &degrees);
    return dir;
}

int CCamera::load_from_node(CPakNode* node) {
    if (!node || !node->is_type("VR_TYPE", camera_dir_type)) return 0;
    int32_t ortho = ortho_project;
    float degrees = get_fov_in_degree();
    node->find_data("EYE_POS", NODE_VEC, &eye_pos, 1);
    node->find_data("TAR_POS", NODE_VEC, &target_pos, 1);
    node->find_data("UP_VEC", NODE_VEC, &up_vec, 1);
    node->find_data("IS_ORTHO", NODE_INT, &ortho, 1);
    node->find_data("ORTHO_WIDTH", NODE_FLOAT, &ortho_box_width, 1);
    node->find_data("NEAR_PLANE", NODE_FLOAT, &near_plane);
    node->find_data("FAR_PLANE", NODE_FLOAT, &far_plane);
    node->find_data("FOV", NODE_FLOAT, &degrees, 1);
    ortho_project = ortho;
    set_fov_in_degree(degrees);
    view_dirty = true;
    return 1;
}
