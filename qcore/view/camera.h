#pragma once
// How a viewport looks at the scene: eye, target and up, a perspective or orthographic projection, and
// two special projections for large output: one block of an n by n enlargement (tiled rendering) and one
// channel of a wider horizontal view (multi-channel rendering).
#include <qcore/geom/math3d.h>
#include <qcore/platform/win32/types.h>

#include <cstdint>

class CBaseVport;
class CPakNode;

// One block of an n by n enlargement of the picture.
struct SSBlockInfo {
    int32_t on = 0;
    int32_t n = 2;   // blocks per side
    int32_t col = 0; // 0 … n-1 from the left
    int32_t row = 0; // 0 … n-1
};

// One channel of a multi-channel view; the second int and the two values after the field of view are
// the host's own and only carried along.
struct MCCamInfo {
    int32_t on = 0;
    int32_t extra_int = 0;
    float fov = 40.0f; // the channel's horizontal field of view, degrees
    int32_t extra1 = 0;
    int32_t extra2 = 0;
    int32_t index = 0;  // channel index
    int32_t offset = 0; // horizontal offset in pixels
};

static_assert(sizeof(SSBlockInfo) == 16 && sizeof(MCCamInfo) == 28);

class CCamera {
public:
    CCamera();

    const VEC& get_eye_pos() const { return eye_pos; }
    const VEC& get_target_pos() const { return target_pos; }
    float& get_aspect_ratio() { return aspect_ratio; }
    float get_fov() const { return fov; }
    float get_fov_in_degree() const { return fov * 57.295776f; }
    float get_near_plane() const { return near_plane; }
    float get_far_plane() const { return far_plane; }
    int is_ortho_project() const { return ortho_project; }
    float get_ortho_proj_box_width() const { return ortho_box_width; }
    SSBlockInfo& get_ss_info() { return ss_info; }
    const SSBlockInfo& get_ss_info() const { return ss_info; }
    MCCamInfo& get_mc_info() { return mc_info; }
    const MCCamInfo& get_mc_info() const { return mc_info; }

    void set_fov_in_radian(float radian);
    void set_fov_in_degree(float degree);
    void set_aspect_ratio(float ratio);
    void set_near_plane(float distance);
    void set_far_plane(float distance);
    void set_ortho_project(int on);
    void set_ortho_proj_box_width(float width);
    void set_proj_params(float fov_degree, float near_distance, float far_distance);

    // An eye of three largest floats keeps the current eye and only re-aims.
    void set_view_params(const VEC& eye, const VEC& target, const VEC& up);
    // Moves eye and target together.
    void shift_to_position(const VEC& position);
    VEC get_forward_dir(bool normalise) const;
    VEC get_up_vec(bool normalise) const;
    VEC get_right_dir(bool normalise) const;

    const MAT& get_view_matrix();
    // Stores the matrix as it is; eye, target and up keep their values.
    void set_view_matrix(const MAT* m);

    // The vertical angle for the viewport's 3D area; pi/2 when the horizontal angle gives none.
    float get_vertical_fov_in_radian(const CBaseVport* vp) const;
    // The projection for the viewport's 3D area; when that has no usable aspect (an empty area, a zero
    // aspect factor, equal planes) the last good projection is given again.
    void get_proj_matrix(const CBaseVport* vp, MAT* out) const;
    MAT get_ss_proj_matrix(const CBaseVport* vp) const;
    MAT get_mc_proj_matrix(const CBaseVport* vp) const;
    // Maps pixels of the enlarged picture into the viewport for the current block; identity when the
    // tiled mode is off.
    MAT get_rhw_matrix_when_aa(const CBaseVport* vp) const;
    // Sets the view and the projection in force (tiled, else multi-channel, else plain) on the device.
    void apply_transform(CBaseVport* vp);

    int is_equal(const CCamera& other) const;

    CPakNode* save_to_node(CPakNode* parent, const char* name);
    int load_from_node(CPakNode* node);

protected:
    void adjust_target_and_up();
    void recal_view_matrix();

private:
    VEC eye_pos{0, 0, -100};
    VEC target_pos{0, 0, 900};
    float aspect_ratio = 1;
    VEC up_vec{0, 1000, 0};
    float fov = 1.5707964f;
    float near_plane = 1;
    float far_plane = 100000;
    int ortho_project = 0;
    float ortho_box_width = 10;
    SSBlockInfo ss_info;
    MCCamInfo mc_info;
    bool view_dirty = true;
    MAT view_matrix;
    // The last projection built from a usable aspect, given back when the aspect is not usable.
    mutable MAT good_proj;
};

namespace qcore {
// The process-wide horizontal shift of every projection, read from the settings file at the first camera.
float camera_offset_coefficient();
// Reads the shift again from `ini_file` (null: the library's own settings file); for tests and hosts
// that change the file while running.
void reload_camera_offset_coefficient(const char* ini_file = nullptr);
} // namespace qcore
