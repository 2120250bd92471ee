#include <qcore/platform/d3d8/soft/setup.h>

#include <algorithm>
#include <cmath>

namespace qcore::detail::soft {

namespace {

// Screen coordinates beyond this are refused: they would overflow the edge arithmetic.
constexpr float max_coordinate = 1 << 20;
constexpr float max_point_size = 8192.f;

// Rounds half away from zero like llround, without the library call; |v| is below 2^20 here.
int64_t to_fixed(float v) {
    const float scaled = v * static_cast<float>(subpixel_one);
    return static_cast<int64_t>(scaled + (scaled >= 0.f ? 0.5f : -0.5f));
}

int64_t floor_div(int64_t a, int64_t b) {
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

bool coordinates_ok(const ScreenVertex& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z) && std::isfinite(v.q) &&
           std::fabs(v.x) < max_coordinate && std::fabs(v.y) < max_coordinate;
}

bool intersect(PixelRect& r, const PixelRect& s) {
    r.x0 = std::max(r.x0, s.x0);
    r.y0 = std::max(r.y0, s.y0);
    r.x1 = std::min(r.x1, s.x1);
    r.y1 = std::min(r.y1, s.y1);
    return r.x0 <= r.x1 && r.y0 <= r.y1;
}

float clamp_depth(float z) {
    return std::clamp(z, 0.f, 1.f);
}

// Writes plane (value at origin, dx, dy) for values f0..f2 at the three vertices.
void plane3(const ScreenVertex& v0, float dx1, float dy1, float dx2, float dy2, float inv_area, float f0,
            float f1, float f2, float ox, float oy, float* out) {
    const float d1 = f1 - f0, d2 = f2 - f0;
    const float gx = (d1 * dy2 - d2 * dy1) * inv_area;
    const float gy = (d2 * dx1 - d1 * dx2) * inv_area;
    out[0] = f0 + gx * (ox - v0.x) + gy * (oy - v0.y);
    out[1] = gx;
    out[2] = gy;
}

void constant_plane(float value, float* out) {
    out[0] = value;
    out[1] = 0.f;
    out[2] = 0.f;
}

float* add_planes(PlaneStore& out, Prim& prim, int attribute_count) {
    prim.planes = static_cast<uint32_t>(out.planes.size());
    out.planes.resize(out.planes.size() + 3 * static_cast<size_t>(2 + attribute_count));
    return out.planes.data() + prim.planes;
}

} // namespace

float screen_area(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c) {
    return (b.x - a.x) * (c.y - a.y) - (c.x - a.x) * (b.y - a.y);
}

bool setup_triangle(const SetupParams& p, const ScreenVertex& v0, const ScreenVertex& in1,
                    const ScreenVertex& in2, const ScreenVertex& provoking, PlaneStore& out) {
    if (!coordinates_ok(v0) || !coordinates_ok(in1) || !coordinates_ok(in2)) return false;
    const int64_t x0 = to_fixed(v0.x), y0 = to_fixed(v0.y);
    int64_t x1 = to_fixed(in1.x), y1 = to_fixed(in1.y);
    int64_t x2 = to_fixed(in2.x), y2 = to_fixed(in2.y);
    const ScreenVertex* v1 = &in1;
    const ScreenVertex* v2 = &in2;
    const int64_t area = (x1 - x0) * (y2 - y0) - (x2 - x0) * (y1 - y0);
    if (area == 0) return false;
    if (area < 0) {
        std::swap(x1, x2), std::swap(y1, y2), std::swap(v1, v2);
    }
    Prim prim;
    prim.kind = PrimKind::triangle;
    prim.bounds.x0 = static_cast<int>(-floor_div(-std::min({x0, x1, x2}), subpixel_one));
    prim.bounds.y0 = static_cast<int>(-floor_div(-std::min({y0, y1, y2}), subpixel_one));
    prim.bounds.x1 = static_cast<int>(floor_div(std::max({x0, x1, x2}), subpixel_one));
    prim.bounds.y1 = static_cast<int>(floor_div(std::max({y0, y1, y2}), subpixel_one));
    if (!intersect(prim.bounds, p.scissor)) return false;
    const int64_t xs[3] = {x0, x1, x2}, ys[3] = {y0, y1, y2};
    for (int e = 0; e < 3; ++e) {
        const int64_t ax = xs[e], ay = ys[e], bx = xs[(e + 1) % 3], by = ys[(e + 1) % 3];
        const int64_t dx = bx - ax, dy = by - ay;
        prim.ea[e] = -dy * subpixel_one;
        prim.eb[e] = dx * subpixel_one;
        // Top-left rule: pixels exactly on a right or bottom edge belong to the neighbour.
        const bool top_left = dy < 0 || (dy == 0 && dx > 0);
        prim.ec[e] = dy * ax - dx * ay - (top_left ? 0 : 1);
    }
    const float dx1 = v1->x - v0.x, dy1 = v1->y - v0.y, dx2 = v2->x - v0.x, dy2 = v2->y - v0.y;
    const float float_area = dx1 * dy2 - dx2 * dy1;
    if (float_area == 0.f) return false;
    const float inv_area = 1.f / float_area;
    const float ox = static_cast<float>(prim.bounds.x0), oy = static_cast<float>(prim.bounds.y0);
    float* planes = add_planes(out, prim, p.attribute_count);
    plane3(v0, dx1, dy1, dx2, dy2, inv_area, v0.z, v1->z, v2->z, ox, oy, planes);
    planes[0] -= p.depth_bias;
    plane3(v0, dx1, dy1, dx2, dy2, inv_area, v0.q, v1->q, v2->q, ox, oy, planes + 3);
    for (int i = 0; i < p.attribute_count; ++i)
        plane3(v0, dx1, dy1, dx2, dy2, inv_area, v0.attr[i], v1->attr[i], v2->attr[i], ox, oy,
               planes + 3 * (2 + i));
    if (p.flat)
        for (int i = 0; i < p.color_count; ++i)
            plane3(v0, dx1, dy1, dx2, dy2, inv_area, provoking.attr[i] / provoking.q * v0.q,
                   provoking.attr[i] / provoking.q * v1->q, provoking.attr[i] / provoking.q * v2->q, ox, oy,
                   planes + 3 * (2 + i));
    out.prims.push_back(prim);
    return true;
}

bool setup_line(const SetupParams& p, const ScreenVertex& a, const ScreenVertex& b,
                const ScreenVertex& provoking, PlaneStore& out) {
    if (!coordinates_ok(a) || !coordinates_ok(b)) return false;
    const float dx = b.x - a.x, dy = b.y - a.y;
    Prim prim;
    prim.kind = PrimKind::line;
    prim.x_major = std::fabs(dx) >= std::fabs(dy);
    prim.thickness = std::max(1, p.line_thickness);
    const float major_a = prim.x_major ? a.x : a.y, major_b = prim.x_major ? b.x : b.y;
    const float minor_a = prim.x_major ? a.y : a.x;
    const float d_major = major_b - major_a;
    if (d_major == 0.f) return false;
    // Diamond-exit: a pixel is drawn when the line leaves its diamond, so the first pixel is and the
    // last is not, unless the last pixel is asked for.
    int first, last;
    if (d_major > 0.f) {
        first = static_cast<int>(std::floor(major_a - 0.5f)) + 1;
        last = static_cast<int>(std::floor(major_b - 0.5f)) + (p.last_pixel ? 1 : 0);
    } else {
        first = static_cast<int>(std::ceil(major_b + 0.5f)) - (p.last_pixel ? 1 : 0);
        last = static_cast<int>(std::ceil(major_a + 0.5f)) - 1;
    }
    if (first > last) return false;
    const uint32_t repeat = p.line_pattern & 0xffffu;
    const uint16_t pattern = static_cast<uint16_t>(p.line_pattern >> 16);
    if (repeat != 0 && pattern != 0xffff) {
        prim.repeat = repeat * static_cast<uint32_t>(prim.thickness);
        prim.pattern = pattern;
        prim.pattern_start = d_major > 0.f ? first : last;
        prim.pattern_step = d_major > 0.f ? 1 : -1;
    }
    prim.line_origin = major_a;
    prim.line_minor = minor_a;
    prim.line_slope = (prim.x_major ? dy : dx) / d_major;
    const float minor_first = minor_a + (static_cast<float>(first) - major_a) * prim.line_slope;
    const float minor_last = minor_a + (static_cast<float>(last) - major_a) * prim.line_slope;
    const int half = (prim.thickness - 1) / 2;
    const int m0 = static_cast<int>(std::floor(std::min(minor_first, minor_last) + 0.5f)) - half;
    const int m1 =
        static_cast<int>(std::floor(std::max(minor_first, minor_last) + 0.5f)) - half + prim.thickness - 1;
    prim.bounds = prim.x_major ? PixelRect{first, m0, last, m1} : PixelRect{m0, first, m1, last};
    if (!intersect(prim.bounds, p.scissor)) return false;
    const float ox = static_cast<float>(prim.bounds.x0), oy = static_cast<float>(prim.bounds.y0);
    float* planes = add_planes(out, prim, p.attribute_count);
    // Values along the line only change along its major axis.
    auto line_plane = [&](float fa, float fb, float* plane) {
        const float g = (fb - fa) / d_major;
        const float origin = prim.x_major ? ox : oy;
        plane[0] = fa + g * (origin - major_a);
        plane[1] = prim.x_major ? g : 0.f;
        plane[2] = prim.x_major ? 0.f : g;
    };
    line_plane(a.z, b.z, planes);
    planes[0] -= p.depth_bias;
    line_plane(a.q, b.q, planes + 3);
    for (int i = 0; i < p.attribute_count; ++i)
        line_plane(a.attr[i], b.attr[i], planes + 3 * (2 + i));
    if (p.flat)
        for (int i = 0; i < p.color_count; ++i)
            line_plane(provoking.attr[i] / provoking.q * a.q, provoking.attr[i] / provoking.q * b.q,
                       planes + 3 * (2 + i));
    out.prims.push_back(prim);
    return true;
}

bool setup_point(const SetupParams& p, const ScreenVertex& v, float size, PlaneStore& out) {
    if (!coordinates_ok(v) || !(size > 0.f)) return false;
    // Capped so that the square stays inside the range edge arithmetic is made for.
    const float half = 0.5f * std::min(size, max_point_size) * p.point_scale;
    const float left = v.x - half, top = v.y - half;
    Prim prim;
    prim.kind = PrimKind::rect;
    prim.bounds = {static_cast<int>(std::ceil(left)), static_cast<int>(std::ceil(top)),
                   static_cast<int>(std::ceil(v.x + half)) - 1, static_cast<int>(std::ceil(v.y + half)) - 1};
    if (!intersect(prim.bounds, p.scissor)) return false;
    float* planes = add_planes(out, prim, p.attribute_count);
    constant_plane(clamp_depth(v.z - p.depth_bias), planes);
    constant_plane(v.q, planes + 3);
    for (int i = 0; i < p.attribute_count; ++i)
        constant_plane(v.attr[i], planes + 3 * (2 + i));
    if (p.point_sprite) {
        // Sprite coordinates run 0..1 across the square; stored times q like every attribute.
        const float ox = static_cast<float>(prim.bounds.x0), oy = static_cast<float>(prim.bounds.y0);
        const float step = v.q / (2.f * half);
        for (int s = 0; s < max_stages; ++s) {
            const int slot = p.sprite_uv[s];
            if (slot < 0) continue;
            float* pu = planes + 3 * (2 + slot);
            pu[0] = (ox - left) * step, pu[1] = step, pu[2] = 0.f;
            pu[3] = (oy - top) * step, pu[4] = 0.f, pu[5] = step;
        }
    }
    out.prims.push_back(prim);
    return true;
}

} // namespace qcore::detail::soft
