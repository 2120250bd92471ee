#include <qcore/core/device.h>
#include <qcore/core/rs_man.h>
#include <qcore/core/simp_draw.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <utility>

float CUiRect::s_def_rhw = 1.0f;
float CUiRect::s_def_z = 0.5f;

namespace {

DWORD float_bits(float f) {
    return std::bit_cast<DWORD>(f);
}

// Render states set through the manager, each remembered at its first set and put back in reverse order.
class StateScope {
public:
    explicit StateScope(CRsMan* rs) : rs_(rs) {}
    StateScope(const StateScope&) = delete;
    StateScope& operator=(const StateScope&) = delete;
    ~StateScope() {
        for (int i = count_; i-- > 0;)
            rs_->set_rs(saved_[static_cast<size_t>(i)].first, saved_[static_cast<size_t>(i)].second);
    }
    void set(int state, DWORD value) {
        if (count_ < static_cast<int>(saved_.size()))
            saved_[static_cast<size_t>(count_++)] = {state, rs_->set_rs(state, value)};
    }

private:
    CRsMan* rs_;
    std::array<std::pair<int, DWORD>, 16> saved_{};
    int count_ = 0;
};

enum class Kind { lines, points, multi_line };

struct Batch {
    D3DPRIMITIVETYPE type;
    UINT primitives;
    const void* vertices;
    UINT vertex_count;
    UINT stride;
    DWORD fvf;
    const MAT* world; // unused for pre-transformed vertices
    bool transformed;
    const std::vector<WORD>* indices; // null: not indexed
};

struct DepthArgs {
    bool test, write;
    D3DCMPFUNC func;
};

void draw(gCore* core, const Batch& b, Kind kind, float point_size, const DepthArgs& depth) {
    if (!core || !core->dev || !core->dev->get_dev() || !core->dev->get_rs_man()) return;
    IDirect3DDevice8* dev = core->dev->get_dev();
    CRsMan* rs = core->dev->get_rs_man();
    {
        StateScope states(rs);
        states.set(D3DRS_LIGHTING, FALSE);
        states.set(D3DRS_ZENABLE, depth.test ? TRUE : FALSE);
        states.set(D3DRS_ZWRITEENABLE, depth.write ? TRUE : FALSE);
        states.set(D3DRS_ZFUNC, static_cast<DWORD>(depth.func));
        states.set(D3DRS_ALPHABLENDENABLE, TRUE);
        states.set(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        states.set(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        if (kind == Kind::points) {
            states.set(D3DRS_ZBIAS, 16);
            states.set(D3DRS_POINTSPRITEENABLE, TRUE);
            states.set(D3DRS_POINTSCALEENABLE, FALSE);
            states.set(D3DRS_POINTSIZE, float_bits(point_size));
            states.set(D3DRS_POINTSIZE_MIN, float_bits(0.0f));
            states.set(D3DRS_POINTSCALE_A, float_bits(0.0f));
            states.set(D3DRS_POINTSCALE_B, float_bits(0.0f));
            states.set(D3DRS_POINTSCALE_C, float_bits(1.0f));
            rs->set_rs(D3DRS_ALPHABLENDENABLE, FALSE);
        } else {
            if (kind == Kind::multi_line) states.set(D3DRS_ZBIAS, 8);
            if (depth.func != D3DCMP_GREATEREQUAL) rs->set_rs(D3DRS_ALPHABLENDENABLE, FALSE);
        }
        MAT identity;
        D3DXMatrixIdentity(&identity);
        if (!b.transformed) dev->SetTransform(D3DTS_WORLD, b.world ? b.world : &identity);
        dev->SetTexture(0, nullptr);
        dev->SetTexture(1, nullptr);
        dev->SetVertexShader(b.fvf);
        if (b.indices)
            dev->DrawIndexedPrimitiveUP(b.type, 0, b.vertex_count, b.primitives, b.indices->data(),
                                        D3DFMT_INDEX16, b.vertices, b.stride);
        else
            dev->DrawPrimitiveUP(b.type, b.primitives, b.vertices, b.stride);
        if (!b.transformed) dev->SetTransform(D3DTS_WORLD, &identity);
    }
    if (kind == Kind::points) rs->set_rs(D3DRS_POINTSIZE, float_bits(1.0f));
}

template <class V> UINT count_of(const std::vector<V>& v) {
    return static_cast<UINT>(v.size());
}

void draw_points(gCore* core, const std::vector<VER_XYZ_DIF>& v, const MAT* world, float size,
                 const DepthArgs& depth) {
    if (v.empty()) return;
    draw(core, {D3DPT_POINTLIST, count_of(v), v.data(), count_of(v), 16, FVF_XYZ_DIF, world, false, nullptr},
         Kind::points, size, depth);
}

std::vector<VER_RHW_DIF> screen_vertices(const std::vector<D3DXVECTOR2>& points, DWORD color) {
    std::vector<VER_RHW_DIF> v;
    v.reserve(points.size());
    for (const D3DXVECTOR2& p : points)
        v.push_back({p.x, p.y, 0.0f, 1.0f, color});
    return v;
}

} // namespace

void simp_draw::draw_3d_line(gCore* core, const VEC& a, const VEC& b, DWORD color_a, DWORD color_b,
                             const MAT* world, bool z_test, bool z_write, D3DCMPFUNC z_func) {
    draw_3d_polyline(core, {{a.x, a.y, a.z, color_a}, {b.x, b.y, b.z, color_b}}, world, z_test, z_write,
                     z_func);
}

void simp_draw::draw_3d_polyline(gCore* core, const std::vector<VEC>& points, DWORD color, const MAT* world,
                                 bool z_test, bool z_write, D3DCMPFUNC z_func) {
    std::vector<VER_XYZ_DIF> v;
    v.reserve(points.size());
    for (const VEC& p : points)
        v.push_back({p.x, p.y, p.z, color});
    draw_3d_polyline(core, v, world, z_test, z_write, z_func);
}

void simp_draw::draw_3d_polyline(gCore* core, const std::vector<VER_XYZ_DIF>& vertices, const MAT* world,
                                 bool z_test, bool z_write, D3DCMPFUNC z_func) {
    if (vertices.size() < 2) return;
    draw(core,
         {D3DPT_LINESTRIP, count_of(vertices) - 1, vertices.data(), count_of(vertices), 16, FVF_XYZ_DIF,
          world, false, nullptr},
         Kind::lines, 1.0f, {z_test, z_write, z_func});
}

void simp_draw::draw_3d_points(gCore* core, const VEC* points, int count, DWORD color, const MAT* world,
                               float point_size, bool z_test, bool z_write, D3DCMPFUNC z_func) {
    draw_3d_points(core, points, count, static_cast<int>(sizeof(VEC)), color, world, point_size, z_test,
                   z_write, z_func);
}

void simp_draw::draw_3d_points(gCore* core, const void* vertices, int count, int stride, DWORD color,
                               const MAT* world, float point_size, bool z_test, bool z_write,
                               D3DCMPFUNC z_func) {
    if (!vertices || count <= 0 || stride < static_cast<int>(3 * sizeof(float))) return;
    std::vector<VER_XYZ_DIF> v(static_cast<size_t>(count));
    const auto* bytes = static_cast<const unsigned char*>(vertices);
    for (size_t i = 0; i < v.size(); ++i) {
        std::memcpy(&v[i], bytes + i * static_cast<size_t>(stride), 3 * sizeof(float));
        v[i].color = color;
    }
    draw_points(core, v, world, point_size, {z_test, z_write, z_func});
}

void simp_draw::draw_3d_points(gCore* core, const std::vector<VER_XYZ_DIF>& vertices, const MAT* world,
                               float point_size, bool z_test, bool z_write, D3DCMPFUNC z_func) {
    draw_points(core, vertices, world, point_size, {z_test, z_write, z_func});
}

void simp_draw::draw_3d_multi_line(gCore* core, const std::vector<VER_XYZ_DIF>& vertices,
                                   const std::vector<WORD>& indices, const MAT* world, bool z_test,
                                   bool z_write, D3DCMPFUNC z_func) {
    const bool indexed = !indices.empty();
    const UINT lines = static_cast<UINT>((indexed ? indices.size() : vertices.size()) / 2);
    if (lines == 0 || vertices.empty()) return;
    if (indexed && *std::max_element(indices.begin(), indices.end()) >= vertices.size()) return;
    draw(core,
         {D3DPT_LINELIST, lines, vertices.data(), count_of(vertices), 16, FVF_XYZ_DIF, world, false,
          indexed ? &indices : nullptr},
         Kind::multi_line, 1.0f, {z_test, z_write, z_func});
}

void simp_draw::draw_2d_polyline(gCore* core, const std::vector<D3DXVECTOR2>& points, DWORD color,
                                 bool z_test, bool z_write, D3DCMPFUNC z_func) {
    draw_2d_polyline(core, screen_vertices(points, color), z_test, z_write, z_func);
}

void simp_draw::draw_2d_polyline(gCore* core, const std::vector<VER_RHW_DIF>& vertices, bool z_test,
                                 bool z_write, D3DCMPFUNC z_func) {
    if (vertices.size() < 2) return;
    draw(core,
         {D3DPT_LINESTRIP, count_of(vertices) - 1, vertices.data(), count_of(vertices), 20, FVF_RHW_DIF,
          nullptr, true, nullptr},
         Kind::lines, 1.0f, {z_test, z_write, z_func});
}

void simp_draw::draw_2d_points(gCore* core, const std::vector<D3DXVECTOR2>& points, DWORD color,
                               float point_size, bool z_test, bool z_write, D3DCMPFUNC z_func) {
    if (points.empty()) return;
    const std::vector<VER_RHW_DIF> v = screen_vertices(points, color);
    draw(core, {D3DPT_POINTLIST, count_of(v), v.data(), count_of(v), 20, FVF_RHW_DIF, nullptr, true, nullptr},
         Kind::points, point_size, {z_test, z_write, z_func});
}

void simp_draw::draw_rect(gCore* core, const CRect& rect, DWORD color, bool z_test, bool z_write,
                          D3DCMPFUNC z_func) {
    const auto l = static_cast<float>(rect.left), t = static_cast<float>(rect.top);
    const auto r = static_cast<float>(rect.right), b = static_cast<float>(rect.bottom);
    draw_2d_polyline(core, std::vector<D3DXVECTOR2>{{l, t}, {r, t}, {r, b}, {l, b}, {l, t}}, color, z_test,
                     z_write, z_func);
}

void CUiRect::clear() {
    vertices.clear();
    indices.clear();
}

VEC CUiRect::vec2to3(const D3DXVECTOR2& p) {
    return {std::floor(p.x + 0.5f) - 0.5f, std::floor(p.y + 0.5f) - 0.5f, 0.5f};
}

int CUiRect::build_from_4corner(const std::vector<VER_RHW_DIF_TEX>& corners, int nx, int ny) {
    if (corners.size() < 3 || nx < 1 || ny < 1) return 0;
    const int64_t w = int64_t{nx} + 1, h = int64_t{ny} + 1;
    if (w * h > 65536) return 0;
    const VER_RHW_DIF_TEX &c0 = corners[0], &c1 = corners[1], &c2 = corners[2];
    clear();
    vertices.reserve(static_cast<size_t>(w * h));
    for (int j = 0; j <= ny; ++j) {
        const float t = static_cast<float>(j) / static_cast<float>(ny);
        for (int i = 0; i <= nx; ++i) {
            const float s = static_cast<float>(i) / static_cast<float>(nx);
            vertices.push_back({(1 - s) * c0.x + s * c1.x, (1 - t) * c0.y + t * c2.y, s_def_z, c0.rhw,
                                c0.color, (1 - s) * c0.u + s * c1.u, (1 - t) * c0.v + t * c2.v});
        }
    }
    indices.reserve(static_cast<size_t>(nx) * static_cast<size_t>(ny) * 6);
    for (int j = 0; j < ny; ++j)
        for (int i = 0; i < nx; ++i) {
            const auto k = static_cast<WORD>(j * w + i), ww = static_cast<WORD>(w);
            for (WORD idx :
                 {k, static_cast<WORD>(k + 1), static_cast<WORD>(k + ww), static_cast<WORD>(k + ww),
                  static_cast<WORD>(k + 1), static_cast<WORD>(k + ww + 1)})
                indices.push_back(idx);
        }
    return 1;
}

namespace {

void draw_grid(IDirect3DDevice8* device, const std::vector<VER_RHW_DIF_TEX>& v,
               const std::vector<WORD>& idx) {
    if (!device || v.empty() || idx.size() < 3 || v.size() > 65536) return;
    if (*std::max_element(idx.begin(), idx.end()) >= v.size()) return;
    device->SetVertexShader(FVF_RHW_DIF_TEX);
    device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, static_cast<UINT>(v.size()),
                                   static_cast<UINT>(idx.size() / 3), idx.data(), D3DFMT_INDEX16, v.data(),
                                   sizeof(VER_RHW_DIF_TEX));
}

} // namespace

void CUiRect::draw_me(IDirect3DDevice8* device) const {
    draw_grid(device, vertices, indices);
}

void CUiRect::draw_unit_rect(IDirect3DDevice8* device, float x_scale, float y_scale, float u_scale,
                             float v_scale) const {
    std::vector<VER_RHW_DIF_TEX> scaled = vertices;
    for (VER_RHW_DIF_TEX& v : scaled) {
        v.x *= x_scale;
        v.y *= y_scale;
        v.u *= u_scale;
        v.v *= v_scale;
    }
    draw_grid(device, scaled, indices);
}
