#pragma once
// Immediate drawing straight from memory (lines, points, polylines, rectangles) for helpers, gizmos and
// debug views. Each call sets the render states it needs through the render-state manager and puts them
// back afterwards; only the point size is left at 1.0 by the point functions.
#include <qcore/core/core.h>
#include <qcore/geom/math3d.h>
#include <qcore/platform/d3d8/d3d8.h>
#include <qcore/platform/win32/mfc_types.h>

#include <vector>

struct VER_XYZ_DIF {
    float x, y, z;
    DWORD color;
};
struct VER_RHW_DIF {
    float x, y, z, rhw;
    DWORD color;
};
struct VER_RHW_DIF_TEX {
    float x, y, z, rhw;
    DWORD color;
    float u, v;
};
static_assert(sizeof(VER_XYZ_DIF) == 16 && sizeof(VER_RHW_DIF) == 20 && sizeof(VER_RHW_DIF_TEX) == 28);

#define FVF_XYZ_DIF (D3DFVF_XYZ | D3DFVF_DIFFUSE)
#define FVF_RHW_DIF (D3DFVF_XYZRHW | D3DFVF_DIFFUSE)
#define FVF_RHW_DIF_TEX (D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1)

// Every function takes, last, whether to test depth, whether to write depth and the depth comparison. A
// null world matrix means the identity. Blending with source alpha stays on only for D3DCMP_GREATEREQUAL.
// Nothing is drawn without a core, a device or its render-state manager.
class simp_draw {
public:
    static void draw_3d_line(gCore* core, const VEC& a, const VEC& b, DWORD color_a, DWORD color_b,
                             const MAT* world, bool z_test, bool z_write, D3DCMPFUNC z_func);
    static void draw_3d_polyline(gCore* core, const std::vector<VEC>& points, DWORD color, const MAT* world,
                                 bool z_test, bool z_write, D3DCMPFUNC z_func);
    static void draw_3d_polyline(gCore* core, const std::vector<VER_XYZ_DIF>& vertices, const MAT* world,
                                 bool z_test, bool z_write, D3DCMPFUNC z_func);
    static void draw_3d_points(gCore* core, const VEC* points, int count, DWORD color, const MAT* world,
                               float point_size, bool z_test, bool z_write, D3DCMPFUNC z_func);
    // Positions are the first three floats of each record, `stride` bytes apart.
    static void draw_3d_points(gCore* core, const void* vertices, int count, int stride, DWORD color,
                               const MAT* world, float point_size, bool z_test, bool z_write,
                               D3DCMPFUNC z_func);
    static void draw_3d_points(gCore* core, const std::vector<VER_XYZ_DIF>& vertices, const MAT* world,
                               float point_size, bool z_test, bool z_write, D3DCMPFUNC z_func);
    // Indexed when indices are given (index count / 2 lines); an index past the vertices draws nothing.
    static void draw_3d_multi_line(gCore* core, const std::vector<VER_XYZ_DIF>& vertices,
                                   const std::vector<WORD>& indices, const MAT* world, bool z_test,
                                   bool z_write, D3DCMPFUNC z_func);
    static void draw_2d_polyline(gCore* core, const std::vector<D3DXVECTOR2>& points, DWORD color,
                                 bool z_test, bool z_write, D3DCMPFUNC z_func);
    static void draw_2d_polyline(gCore* core, const std::vector<VER_RHW_DIF>& vertices, bool z_test,
                                 bool z_write, D3DCMPFUNC z_func);
    static void draw_2d_points(gCore* core, const std::vector<D3DXVECTOR2>& points, DWORD color,
                               float point_size, bool z_test, bool z_write, D3DCMPFUNC z_func);
    static void draw_rect(gCore* core, const CRect& rect, DWORD color, bool z_test, bool z_write,
                          D3DCMPFUNC z_func);
};

// A pre-transformed textured grid for 2D overlays.
class CUiRect {
public:
    void clear();
    // Pixel-centre alignment: x and y rounded to whole pixels minus 0.5, z 0.5.
    static VEC vec2to3(const D3DXVECTOR2& p);
    // A grid of (nx + 1) by (ny + 1) vertices between corners 0 (top-left), 1 (top-right) and 2
    // (bottom-left). 0 for fewer than 3 corners, nx or ny below 1, or more vertices than 16-bit indices
    // reach.
    int build_from_4corner(const std::vector<VER_RHW_DIF_TEX>& corners, int nx, int ny);
    // Draws nothing when an index lies past the vertices.
    void draw_me(IDirect3DDevice8* device) const;
    // The grid is a unit rectangle: draws a copy scaled in x, y, u and v.
    void draw_unit_rect(IDirect3DDevice8* device, float x_scale, float y_scale, float u_scale,
                        float v_scale) const;

    std::vector<VER_RHW_DIF_TEX> vertices;
    std::vector<WORD> indices;

    static float s_def_rhw;
    static float s_def_z;
};
