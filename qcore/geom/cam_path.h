#pragma once
// A camera path: five tracks kept in step (eye, target, up vector, field of view, orthographic box size),
// all with the same number of keys.
#include <qcore/geom/spline.h>

class CCamera;

class CCamPath {
public:
    int get_key_count() const { return static_cast<int>(eye.keys.size()); }
    int is_closed() const { return eye.is_closed(); }
    // New keys are zero; the caller sets them.
    void resize(int n);
    int remove_key(int i);
    // A new key i + 1 halfway (in the path's parameter) between keys i and i + 1.
    int insert_key_by_split_path(int i);
    void make_closed(int closed);
    void sync_head_tail(int to_tail);
    void free();
    const CBox& get_box() { return eye.get_box(); }
    void render(gCore* core, const MAT* world);

    // The directory node it creates under parent, or null.
    CPakNode* save_to_node(CPakNode* parent, const char* name) const;
    // 0 when the directory is not a camera path, a track cannot be read or the tracks differ in length; the
    // path is then unchanged.
    int load_from_node(CPakNode* dir);

    // Appends the camera's eye, target, up vector, field of view (degrees) and orthographic width as a key.
    void add_key(const CCamera& camera);
    // Sets the camera to the path at t in [0, 1]; nothing for an empty path. A field of view or width of 0
    // or less (keys never set) leaves the camera's own.
    void apply_to_camera(float t, CCamera& camera) const;

    CSpline3d eye;
    CSpline3d target;
    CSpline3d up;
    CSpline1d fov;
    CSpline1d ortho_box;
};
