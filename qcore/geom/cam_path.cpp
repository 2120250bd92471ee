#include <qcore/data/pak_file.h>
#include <qcore/geom/cam_path.h>
#include <qcore/view/camera.h>

namespace {

const char* const kPathType = "CamPath";

template <class Fn> void each_3d(CCamPath& p, Fn&& fn) {
    fn(p.eye);
    fn(p.target);
    fn(p.up);
}

template <class Fn> void each_track(CCamPath& p, Fn&& fn) {
    each_3d(p, fn);
    fn(p.fov);
    fn(p.ortho_box);
}

} // namespace

void CCamPath::resize(int n) {
    const size_t size = static_cast<size_t>(std::max(n, 0));
    each_3d(*this, [&](CSpline3d& s) {
        s.keys.resize(size, VEC(0, 0, 0));
        s.set_modified();
    });
    fov.keys.resize(size, 0.0f);
    ortho_box.keys.resize(size, 0.0f);
}

int CCamPath::remove_key(int i) {
    if (get_key_count() <= 1) return 0;
    int removed = 1;
    each_track(*this, [&](auto& s) { removed &= s.remove_key(i); });
    return removed;
}

int CCamPath::insert_key_by_split_path(int i) {
    const int n = get_key_count();
    if (n <= 1 || i < 0 || i >= n - 1) return 0;
    const float t = (static_cast<float>(i) + 0.5f) / static_cast<float>(n - 1);
    const auto at = static_cast<std::ptrdiff_t>(i + 1);
    each_track(*this, [&](auto& s) {
        const auto value = s.get(t);
        s.keys.insert(s.keys.begin() + at, value);
    });
    each_3d(*this, [](CSpline3d& s) { s.set_modified(); });
    return 1;
}

void CCamPath::make_closed(int closed) {
    each_track(*this, [&](auto& s) { s.make_closed(closed); });
}

void CCamPath::sync_head_tail(int to_tail) {
    each_track(*this, [&](auto& s) { s.sync_head_tail(to_tail); });
    each_3d(*this, [](CSpline3d& s) { s.set_modified(); });
}

void CCamPath::free() {
    each_track(*this, [](auto& s) { s.free(); });
}

void CCamPath::render(gCore* core, const MAT* world) {
    eye.render_spline(core, world);
    eye.render_key(core, world);
}

CPakNode* CCamPath::save_to_node(CPakNode* parent, const char* name) const {
    CPakNode* dir = parent && name ? parent->create_dir_node(name) : nullptr;
    if (!dir) return nullptr;
    dir->create_data_node("VR_TYPE", NODE_STR32, kPathType);
    eye.save_to_node(dir, "eyepos");
    target.save_to_node(dir, "targetpos");
    up.save_to_node(dir, "upvec");
    fov.save_to_node(dir, "fov");
    ortho_box.save_to_node(dir, "ortho_box");
    return dir;
}

int CCamPath::load_from_node(CPakNode* dir) {
    if (!dir || !dir->is_type("VR_TYPE", kPathType)) return 0;
    CCamPath loaded;
    if (!loaded.eye.load_from_node(dir, "eyepos") || !loaded.target.load_from_node(dir, "targetpos") ||
        !loaded.up.load_from_node(dir, "upvec"))
        return 0;
    loaded.fov.load_from_node(dir, "fov");
    loaded.ortho_box.load_from_node(dir, "ortho_box");
    // Every operation indexes all five tracks with the eye track's count.
    const size_t n = loaded.eye.keys.size();
    if (loaded.target.keys.size() != n || loaded.up.keys.size() != n || loaded.fov.keys.size() != n ||
        loaded.ortho_box.keys.size() != n)
        return 0;
    const int closed = loaded.eye.closed;
    if (loaded.target.closed != closed || loaded.up.closed != closed || loaded.fov.closed != closed ||
        loaded.ortho_box.closed != closed)
        return 0;
    *this = std::move(loaded);
    return 1;
}

void CCamPath::add_key(const CCamera& camera) {
    eye.keys.push_back(camera.get_eye_pos());
    target.keys.push_back(camera.get_target_pos());
    up.keys.push_back(camera.get_up_vec(false));
    fov.keys.push_back(camera.get_fov_in_degree());
    ortho_box.keys.push_back(camera.get_ortho_proj_box_width());
    each_3d(*this, [](CSpline3d& s) { s.set_modified(); });
}

void CCamPath::apply_to_camera(float t, CCamera& camera) const {
    if (get_key_count() == 0) return;
    camera.set_view_params(eye.get(t), target.get(t), up.get(t));
    const float degrees = fov.get(t), width = ortho_box.get(t);
    if (degrees > 0) camera.set_fov_in_degree(degrees);
    if (width > 0) camera.set_ortho_proj_box_width(width);
}
