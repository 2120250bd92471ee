#pragma once
// Primitive setup in screen space: fixed-point edge equations for triangles, analytic lines and point
// rectangles, and the plane equations of depth, 1/w and every attribute divided by w.
#include <qcore/platform/d3d8/soft/vertex_transform.h>

#include <vector>

namespace qcore::detail::soft {

constexpr int subpixel_bits = 8;
constexpr int64_t subpixel_one = int64_t{1} << subpixel_bits;

// Pixel rectangle, inclusive bounds.
struct PixelRect {
    int x0 = 0, y0 = 0, x1 = -1, y1 = -1;
};

// A vertex after the viewport transform: attr holds attribute / w, q = 1 / w.
struct ScreenVertex {
    float x, y, z, q;
    float attr[max_attributes];
};

enum class PrimKind : uint8_t { triangle, line, rect };

struct Prim {
    PrimKind kind = PrimKind::triangle;
    bool x_major = true;         // lines
    int thickness = 1;           // lines: pixels across the minor axis
    PixelRect bounds;            // pixels it may touch, already inside the scissor rectangle
    int64_t ea[3], eb[3], ec[3]; // triangle edges: a*x + b*y + c >= 0 inside (pixel units)
    float line_origin = 0.f, line_minor = 0.f,
          line_slope = 0.f; // minor = line_minor + (major - origin) * slope
    uint32_t planes = 0;    // offset of this primitive's planes in its plane store
    // Stippled lines: pixel k along the major axis from pattern_start (counting in pattern_step) is drawn
    // when bit (k / repeat) % 16 of pattern is set; repeat 0 draws every pixel. Supersampled targets
    // repeat each bit over the samples of a pixel.
    uint16_t pattern = 0xffff;
    uint32_t repeat = 0;
    int pattern_start = 0, pattern_step = 1;
};

// Planes are stored as (value at bounds origin, d/dx, d/dy): depth, q, then the attributes.
struct PlaneStore {
    std::vector<Prim> prims;
    std::vector<float> planes;
    void clear() {
        prims.clear();
        planes.clear();
    }
};

struct SetupParams {
    PixelRect scissor;
    int attribute_count = 4;
    float depth_bias = 0.f; // subtracted from depth
    bool flat = false;      // colours from the first vertex
    int color_count = 4;    // leading attributes that are colours (flat shading and point sprites)
    int line_thickness = 1;
    uint32_t line_pattern = 0; // repeat factor in the low word, pattern bits in the high word
    bool last_pixel = true;
    bool point_sprite = false;
    int sprite_uv[max_stages] = {-1, -1, -1, -1, -1, -1, -1, -1};
    float point_scale = 1.f; // supersampling factor applied to point sizes
};

// Signed area (twice) in screen space; positive for clockwise triangles on a y-down screen.
float screen_area(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c);

// Each returns false when the primitive covers no pixel of the scissor rectangle.
bool setup_triangle(const SetupParams& p, const ScreenVertex& v0, const ScreenVertex& v1,
                    const ScreenVertex& v2, const ScreenVertex& provoking, PlaneStore& out);
bool setup_line(const SetupParams& p, const ScreenVertex& a, const ScreenVertex& b,
                const ScreenVertex& provoking, PlaneStore& out);
bool setup_point(const SetupParams& p, const ScreenVertex& v, float size, PlaneStore& out);

} // namespace qcore::detail::soft
