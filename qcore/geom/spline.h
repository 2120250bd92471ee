#pragma once
// Piecewise cubic Bézier splines through key points, whose inner control points come from the neighbouring
// keys; a 3D key spline with cached drawing vertices and a box, and a 1D key track that interpolates
// linearly. A key list whose first and last keys coincide is closed: the last key is a stored copy of the
// first.
#include <qcore/core/core.h>
#include <qcore/core/simp_draw.h>
#include <qcore/geom/box.h>
#include <qcore/geom/math3d.h>
#include <qcore/platform/win32/types.h>

#include <vector>

class CDC;
class CPakNode;

// The point before segment i: key i-1, else head, else key 0 (the origin for an empty list).
VEC get_key_a(const std::vector<VEC>* keys, const VEC* head, const VEC* tail, int i);
// The point after key i: key i+1, or for the last key the tail, else the last key. Fewer than two keys or
// an index outside the list shows "err get begin_controller" and gives the nearest key (or the origin).
VEC get_key_d(const std::vector<VEC>* keys, const VEC* head, const VEC* tail, int i);
// The inner control points of segment B->C; each handle is a third of the chord long.
void cal_control_pos(const VEC& a, const VEC& b, const VEC& c, const VEC& d, VEC* b1, VEC* c1);
VEC get_spline_pos_from_b1c1(const VEC& b, const VEC& c, const VEC& b1, const VEC& c1, float t);
VEC get_spline_pos(const VEC& a, const VEC& b, const VEC& c, const VEC& d, float t);
// count points on segment B->C (at least 2), evenly in t or, with by_length, evenly along the curve.
void interpolate_spline(const VEC& a, const VEC& b, const VEC& c, const VEC& d, std::vector<VEC>* out,
                        int count, bool by_length);
// The whole curve, count points per segment sharing the segments' ends: (n - 1)(count - 1) + 1 points.
void interpolate_splines(const std::vector<VEC>* keys, const VEC* head, const VEC* tail,
                         std::vector<VEC>* out, int count, bool by_length);
// The y of the segment point whose x is x, by bisection on t (x taken to grow with t).
float get_spline_y_from_x(const VEC& b, const VEC& c, const VEC& b1, const VEC& c1, float x, float eps);
float get_splines_y_from_x(const std::vector<VEC>* keys, const VEC* head, const VEC* tail, float x,
                           float eps);
// A fall-off curve from the amplitude at x = 0 to zero at x = range, flat at both ends.
float get_spline_y_from_x_used_in_facegen(float amplitude, float range, float start_handle, float end_handle,
                                          float x, float eps);
// A smooth outline through window points, closed through them when the ends are less than 6 units apart.
void GetClosed2DSplinePoints(const std::vector<tagPOINT>* in, std::vector<tagPOINT>* out);
void DrawClosed2DSpline(CDC* dc, const std::vector<tagPOINT>* points);

class CSpline3d {
public:
    // The point at t in [0, 1] over the whole spline; t outside is clamped, no keys give the origin.
    VEC get(float t) const;
    // 1 closes a track of three keys or more by appending a copy of the first; 0 opens a closed track by
    // removing that copy. Either does nothing when the track is already so.
    void make_closed(int closed);
    // 1 copies the first key onto the last, 0 the last onto the first.
    void sync_head_tail(int to_tail);
    int remove_key(int i);

    void set_spline_color(DWORD color);
    void set_key_color(DWORD color);
    // Counts below 1 are refused.
    void set_seg_num(int count);
    DWORD get_spline_color() const { return spline_color; }
    DWORD get_key_color() const { return key_color; }
    int get_segment_between_keys() const { return seg_num; }
    int is_closed() const { return closed; }
    void set_modified() { modified = 1; }
    void free();

    const CBox& get_box();
    void render_spline(gCore* core, const MAT* world);
    void render_key(gCore* core, const MAT* world);

    void save_to_node(CPakNode* node, const char* name) const;
    int load_from_node(CPakNode* node, const char* name);

    std::vector<VEC> keys;
    DWORD spline_color = 0xFF808080;
    DWORD key_color = 0xFFFFFFFF;
    int seg_num = 4;
    int closed = 0;
    std::vector<VER_XYZ_DIF> spline_vers;
    std::vector<VER_XYZ_DIF> key_vers;
    int modified = 1;
    CBox box;

private:
    void rebuild();
};

class CSpline1d {
public:
    // Linear between keys, with the same segment and end rules as CSpline3d::get; no keys give 0.
    float get(float t) const;
    void make_closed(int closed);
    void sync_head_tail(int to_tail);
    int remove_key(int i);
    void free() { keys.clear(); }
    int is_closed() const { return closed; }

    void save_to_node(CPakNode* node, const char* name) const;
    // Keeps the keys when the buffer node is missing; 1 after reading it.
    int load_from_node(CPakNode* node, const char* name);

    std::vector<float> keys;
    int closed = 0;
};
