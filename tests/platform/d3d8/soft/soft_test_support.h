#pragma once
// Small frames and vertex records for the drawing pipeline's tests.
#include <qcore/platform/d3d8/soft/pipeline.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace qcore::test {

using namespace qcore::detail::soft;

// x, y, z, rhw, diffuse, u, v: the pre-transformed textured vertex.
struct TlVertex {
    float x, y, z, rhw;
    uint32_t color;
    float u, v;
};
constexpr uint32_t tl_fvf = 0x144;

// x, y, z, diffuse.
struct ColorVertex {
    float x, y, z;
    uint32_t color;
};
constexpr uint32_t color_fvf = 0x42;

struct Frame {
    Frame(int w, int h, uint32_t clear = 0, D3DFORMAT depth_format = D3DFMT_UNKNOWN, int sx = 1, int sy = 1)
        : width(w * sx), height(h * sy), pixels(static_cast<size_t>(width * height), clear) {
        target.color = {reinterpret_cast<uint8_t*>(pixels.data()), width * 4, width, height, D3DFMT_A8R8G8B8};
        target.samples_x = sx;
        target.samples_y = sy;
        if (depth_format != D3DFMT_UNKNOWN) {
            depth.assign(static_cast<size_t>(width * height), 0xffffffffu);
            target.depth = {reinterpret_cast<uint8_t*>(depth.data()), width * 4, width, height, depth_format};
        }
        state.viewport = {0, 0, w, h, 0.f, 1.f};
        state.lighting = false;
        state.cull_mode = cull_none;
        state.z_enable = depth_format != D3DFMT_UNKNOWN;
        state.stages[0].color_op = top::select_arg2; // diffuse only unless a test sets textures
        state.stages[0].color_arg2 = ta::diffuse;
        state.stages[0].alpha_op = top::select_arg2;
        state.stages[0].alpha_arg2 = ta::diffuse;
    }
    uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y * width + x)]; }

    template <class V>
    bool draw(Pipeline& p, uint32_t type, const std::vector<V>& v, uint32_t count, uint32_t fvf) {
        VertexStream vs{reinterpret_cast<const uint8_t*>(v.data()), v.size() * sizeof(V), sizeof(V), fvf};
        DrawRequest r;
        r.primitive_type = type;
        r.primitive_count = count;
        return p.draw(state, target, vs, nullptr, r);
    }

    int width, height;
    std::vector<uint32_t> pixels;
    std::vector<uint32_t> depth;
    TargetView target;
    PipelineState state;
};

inline TlVertex tl(float x, float y, uint32_t color = 0xffffffff, float u = 0.f, float v = 0.f,
                   float z = 0.5f, float rhw = 1.f) {
    return {x, y, z, rhw, color, u, v};
}

// Two triangles covering the rectangle [x0, x1) x [y0, y1) in screen space.
inline std::vector<TlVertex> tl_quad(float x0, float y0, float x1, float y1, uint32_t color, float z = 0.5f) {
    return {tl(x0, y0, color, 0, 0, z), tl(x1, y0, color, 1, 0, z), tl(x0, y1, color, 0, 1, z),
            tl(x0, y1, color, 0, 1, z), tl(x1, y0, color, 1, 0, z), tl(x1, y1, color, 1, 1, z)};
}

inline int channel(uint32_t argb, int shift) {
    return static_cast<int>((argb >> shift) & 0xff);
}

} // namespace qcore::test
