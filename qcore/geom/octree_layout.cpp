#include <qcore/geom/octree_layout.h>

#include <emmintrin.h>
#include <xmmintrin.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <new>

namespace qcore::detail {

namespace {

struct Vec4x3 {
    __m128 x, y, z;
};

bool finite_vec(const VEC& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// Whether the plane of the triangle a, a + e1, a + e2 (as the ray test sees it) may meet the box: false only
// when the box lies clearly on one side. Worked in double, where the normal's products are exact, with a
// margin far above the rounding left; a degenerate or non-finite triangle is kept.
bool plane_meets_box(const VEC& a, const VEC& e1, const VEC& e2, const CBox& box) {
    const double n[3] = {double(e1.y) * e2.z - double(e1.z) * e2.y, double(e1.z) * e2.x - double(e1.x) * e2.z,
                         double(e1.x) * e2.y - double(e1.y) * e2.x};
    const double lo[3] = {box.min.x, box.min.y, box.min.z}, hi[3] = {box.max.x, box.max.y, box.max.z};
    const double p[3] = {a.x, a.y, a.z};
    double offset = 0, reach = 0, scale = 0;
    for (int k = 0; k < 3; ++k) {
        const double centre = (lo[k] + hi[k]) * 0.5, half = (hi[k] - lo[k]) * 0.5;
        offset += n[k] * (centre - p[k]);
        reach += std::fabs(n[k]) * half;
        scale += std::fabs(n[k]) * (std::fabs(centre - p[k]) + half);
    }
    return !(std::fabs(offset) > reach + scale * 1e-9);
}

// Grows bound by the part of the face's bounds inside the cell; by the whole cell when a vertex is not
// finite.
void add_clipped(CBox& bound, const OctFaceBound& f, const CBox& cell) {
    const VEC lo(f.lo[0], f.lo[1], f.lo[2]), hi(f.hi[0], f.hi[1], f.hi[2]);
    const bool whole = !finite_vec(lo) || !finite_vec(hi);
    const VEC mn =
        whole ? cell.min
              : VEC(std::max(lo.x, cell.min.x), std::max(lo.y, cell.min.y), std::max(lo.z, cell.min.z));
    const VEC mx =
        whole ? cell.max
              : VEC(std::min(hi.x, cell.max.x), std::min(hi.y, cell.max.y), std::min(hi.z, cell.max.z));
    bound.min = VEC(std::min(bound.min.x, mn.x), std::min(bound.min.y, mn.y), std::min(bound.min.z, mn.z));
    bound.max = VEC(std::max(bound.max.x, mx.x), std::max(bound.max.y, mx.y), std::max(bound.max.z, mx.z));
}

// Grows a bound a little beyond the triangles it holds, so that the rounding of the slab test does not
// lose a ray that the triangle test, rounding differently, finds just on a triangle's extreme point.
void widen(CBox& b) {
    const float extent = std::max(b.get_max_len(), 0.0f);
    const auto grow = [extent](float& lo, float& hi) {
        const float margin = (std::max(std::fabs(lo), std::fabs(hi)) + extent) * 0x1p-16f;
        lo -= margin;
        hi += margin;
    };
    grow(b.min.x, b.max.x);
    grow(b.min.y, b.max.y);
    grow(b.min.z, b.max.z);
}

} // namespace

void OctLayout::Block::set(int lane, const VEC& a, const VEC& e1, const VEC& e2) {
    ax[lane] = a.x;
    ay[lane] = a.y;
    az[lane] = a.z;
    e1x[lane] = e1.x;
    e1y[lane] = e1.y;
    e1z[lane] = e1.z;
    e2x[lane] = e2.x;
    e2y[lane] = e2.y;
    e2z[lane] = e2.z;
}

OctFaceBound::OctFaceBound(const CRawMesh& m, DWORD face) {
    const CFace& t = m.faces[face];
    const auto below_if_nan = [](float v) { return v == v ? v : -std::numeric_limits<float>::infinity(); };
    const VEC &a = m.vertices[t.a], &b = m.vertices[t.b], &c = m.vertices[t.c];
    const float x[3] = {below_if_nan(a.x), below_if_nan(b.x), below_if_nan(c.x)};
    const float y[3] = {below_if_nan(a.y), below_if_nan(b.y), below_if_nan(c.y)};
    const float z[3] = {below_if_nan(a.z), below_if_nan(b.z), below_if_nan(c.z)};
    lo[0] = std::min({x[0], x[1], x[2]});
    hi[0] = std::max({x[0], x[1], x[2]});
    lo[1] = std::min({y[0], y[1], y[2]});
    hi[1] = std::max({y[0], y[1], y[2]});
    lo[2] = std::min({z[0], z[1], z[2]});
    hi[2] = std::max({z[0], z[1], z[2]});
}

OctLayoutBuild::OctLayoutBuild(const CRawMesh& m) : layout(std::make_shared<OctLayout>()) {
    // Gathered once in face order: the leaves, laid out in no order of the mesh, read one record a face.
    const size_t vertex_count = m.vertices.size();
    bounds.resize(m.faces.size());
    tris.resize(m.faces.size());
    for (size_t i = 0; i < m.faces.size(); ++i) {
        const CFace& t = m.faces[i];
        if (!t.is_below(vertex_count)) continue;
        bounds[i] = OctFaceBound(m, static_cast<DWORD>(i));
        const VEC& a = m.vertices[t.a];
        tris[i] = {a, m.vertices[t.b] - a, m.vertices[t.c] - a};
    }
    // A block a face is more than the faces' references usually fill; reserved address space that is never
    // written costs nothing, while regrowing would copy the blocks laid out so far.
    layout->blocks.reserve(m.faces.size() + 16);
}

uint32_t OctLayoutBuild::add_cells(size_t count) {
    const size_t first = layout->cells.size();
    layout->cells.resize(first + count, OctLayout::Cell{CBox(), 0, 0, 1});
    return static_cast<uint32_t>(first);
}

void OctLayoutBuild::set_children(uint32_t cell, uint32_t first, size_t count) {
    OctLayout::Cell& c = layout->cells[cell];
    c.first = first;
    c.count = static_cast<uint32_t>(count);
    c.leaf = 0;
}

void OctLayoutBuild::set_leaf(uint32_t cell, const CBox& box, const std::vector<DWORD>& faces) {
    LargeVector<OctLayout::Block>& blocks = layout->blocks;
    CBox bound;
    const auto first = static_cast<uint32_t>(blocks.size());
    int lane = 4;
    constexpr size_t ahead = 8; // face records fetched this far ahead
    for (size_t j = 0; j < faces.size(); ++j) {
        if (j + ahead < faces.size()) {
            __builtin_prefetch(&tris[faces[j + ahead]]);
            __builtin_prefetch(&bounds[faces[j + ahead]]);
        }
        const DWORD f = faces[j];
        const Tri& t = tris[f];
        if (!plane_meets_box(t.a, t.e1, t.e2, box)) continue;
        if (lane == 4) {
            blocks.emplace_back();
            lane = 0;
        }
        blocks.back().set(lane, t.a, t.e1, t.e2);
        blocks.back().face[lane] = f;
        ++lane;
        add_clipped(bound, bounds[f], box);
    }
    OctLayout::Cell& cl = layout->cells[cell];
    cl.bound = bound;
    cl.first = first;
    cl.count = static_cast<uint32_t>(blocks.size() - first);
    cl.leaf = 1;
}

void OctLayoutBuild::finish() {
    // Children follow their parents, so one backward pass gathers every inner cell's bound.
    LargeVector<OctLayout::Cell>& cells = layout->cells;
    layout->finite = true;
    for (size_t i = cells.size(); i-- > 0;) {
        OctLayout::Cell& c = cells[i];
        if (!c.leaf)
            for (uint32_t k = c.first; k < c.first + c.count; ++k)
                if (cells[k].bound.is_valid()) c.bound += cells[k].bound;
        if (c.bound.is_valid()) {
            widen(c.bound);
            layout->finite = layout->finite && finite_vec(c.bound.min) && finite_vec(c.bound.max);
        }
    }
}

namespace {

// Inlined into the walks, so that the ray's lanes are set up once a walk.
[[gnu::always_inline]] inline unsigned block_hits(const OctLayout::Block& b, const CRayForBox& ray,
                                                  float u[4], float v[4], float dist[4]) {
    const __m128 dx = _mm_set1_ps(ray.dir.x), dy = _mm_set1_ps(ray.dir.y), dz = _mm_set1_ps(ray.dir.z);
    const __m128 e1x = _mm_load_ps(b.e1x), e1y = _mm_load_ps(b.e1y), e1z = _mm_load_ps(b.e1z);
    const __m128 e2x = _mm_load_ps(b.e2x), e2y = _mm_load_ps(b.e2y), e2z = _mm_load_ps(b.e2z);
    const __m128 tx = _mm_sub_ps(_mm_set1_ps(ray.origin.x), _mm_load_ps(b.ax));
    const __m128 ty = _mm_sub_ps(_mm_set1_ps(ray.origin.y), _mm_load_ps(b.ay));
    const __m128 tz = _mm_sub_ps(_mm_set1_ps(ray.origin.z), _mm_load_ps(b.az));
    // The steps and their order are those of the scalar test, so that every lane rounds alike.
    const auto cross = [](__m128 ax, __m128 ay, __m128 az, __m128 bx, __m128 by, __m128 bz) {
        const __m128 x = _mm_sub_ps(_mm_mul_ps(ay, bz), _mm_mul_ps(az, by));
        const __m128 y = _mm_sub_ps(_mm_mul_ps(az, bx), _mm_mul_ps(ax, bz));
        const __m128 z = _mm_sub_ps(_mm_mul_ps(ax, by), _mm_mul_ps(ay, bx));
        return Vec4x3{x, y, z};
    };
    const auto dot = [](const Vec4x3& p, __m128 x, __m128 y, __m128 z) {
        return _mm_add_ps(_mm_add_ps(_mm_mul_ps(x, p.x), _mm_mul_ps(y, p.y)), _mm_mul_ps(z, p.z));
    };
    const Vec4x3 p = cross(dx, dy, dz, e2x, e2y, e2z);
    const __m128 zero = _mm_setzero_ps(), one = _mm_set1_ps(1.0f);
    const __m128 det = dot(p, e1x, e1y, e1z);
    __m128 ok = _mm_cmpneq_ps(det, zero);
    const __m128 inv = _mm_div_ps(one, det);
    const __m128 uu = _mm_mul_ps(dot(p, tx, ty, tz), inv);
    ok = _mm_and_ps(ok, _mm_and_ps(_mm_cmpge_ps(uu, zero), _mm_cmple_ps(uu, one)));
    if (_mm_movemask_ps(ok) == 0) return 0;
    const Vec4x3 q = cross(tx, ty, tz, e1x, e1y, e1z);
    const __m128 vv = _mm_mul_ps(dot(q, dx, dy, dz), inv);
    ok = _mm_and_ps(ok, _mm_and_ps(_mm_cmpge_ps(vv, zero), _mm_cmple_ps(_mm_add_ps(uu, vv), one)));
    const __m128 dd = _mm_mul_ps(dot(q, e2x, e2y, e2z), inv);
    ok = _mm_and_ps(ok, _mm_cmpge_ps(dd, zero));
    const unsigned mask = static_cast<unsigned>(_mm_movemask_ps(ok));
    if (mask) {
        _mm_storeu_ps(u, uu);
        _mm_storeu_ps(v, vv);
        _mm_storeu_ps(dist, dd);
    }
    return mask;
}

} // namespace

unsigned intersect_block(const OctLayout::Block& b, const CRayForBox& ray, float u[4], float v[4],
                         float dist[4]) {
    return block_hits(b, ray, u, v, dist);
}

namespace {

// Whether the ray's interval (t0, t1) enters a cell's bound, and where: CBox::line_box_test. For a ray
// with finite origin and reciprocals through finite bounds no slab gives NaN, so the slabs reduce to minima
// and maxima without the border cases.
class RayCells {
public:
    RayCells(const OctLayout& l, const CRayForBox& r, float from, float to)
        : ray(r), t0(from), t1(to), fast(l.finite && finite_vec(r.origin) && finite_vec(r.inv_dir)),
          ox(_mm_set1_ps(r.origin.x)), oy(_mm_set1_ps(r.origin.y)), oz(_mm_set1_ps(r.origin.z)),
          ix(_mm_set1_ps(r.inv_dir.x)), iy(_mm_set1_ps(r.inv_dir.y)), iz(_mm_set1_ps(r.inv_dir.z)) {}

    bool enters(const OctLayout::Cell& c, float& tnear) const {
        const CBox& b = c.bound;
        if (!b.is_valid()) return false;
        float tfar;
        if (!fast) return b.ray_interval(ray, tnear, tfar) && tnear < t1 && t0 < tfar;
        const VEC lo = (b.min - ray.origin) * ray.inv_dir, hi = (b.max - ray.origin) * ray.inv_dir;
        tnear = std::max(std::max(std::min(lo.x, hi.x), std::min(lo.y, hi.y)), std::min(lo.z, hi.z));
        tfar = std::min(std::min(std::max(lo.x, hi.x), std::max(lo.y, hi.y)), std::max(lo.z, hi.z));
        return tnear <= tfar && tnear < t1 && t0 < tfar;
    }

    // Which of the count (at most 8) cells side by side from c the interval enters (bit k for c[k]), with
    // their entry parameters: enters() for each, four at a time on the fast path.
    unsigned enters(const OctLayout::Cell* c, uint32_t count, float entry[8]) const {
        unsigned mask = 0;
        if (!fast) {
            for (uint32_t k = 0; k < count; ++k)
                mask |= enters(c[k], entry[k]) ? 1u << k : 0u;
            return mask;
        }
        for (uint32_t base = 0; base < count; base += 4)
            mask |= enters4(c + base, std::min<uint32_t>(count - base, 4), entry + base) << base;
        return mask;
    }

private:
    const CRayForBox& ray;
    const float t0, t1;
    const bool fast;
    const __m128 ox, oy, oz, ix, iy, iz;

    unsigned enters4(const OctLayout::Cell* c, uint32_t n, float* entry) const {
        // Rows of (min.x, min.y, min.z, max.x) and (max.y, max.z, ...) turned into columns, one cell a lane;
        // lanes past n repeat the first cell and are dropped.
        __m128 r[4], q[4];
        for (uint32_t k = 0; k < 4; ++k) {
            const CBox& b = c[k < n ? k : 0].bound;
            r[k] = _mm_loadu_ps(&b.min.x);
            q[k] = _mm_setr_ps(b.max.y, b.max.z, 0.0f, 0.0f);
        }
        _MM_TRANSPOSE4_PS(r[0], r[1], r[2], r[3]);
        _MM_TRANSPOSE4_PS(q[0], q[1], q[2], q[3]);
        const __m128 ax = _mm_mul_ps(_mm_sub_ps(r[0], ox), ix), bx = _mm_mul_ps(_mm_sub_ps(r[3], ox), ix);
        const __m128 ay = _mm_mul_ps(_mm_sub_ps(r[1], oy), iy), by = _mm_mul_ps(_mm_sub_ps(q[0], oy), iy);
        const __m128 az = _mm_mul_ps(_mm_sub_ps(r[2], oz), iz), bz = _mm_mul_ps(_mm_sub_ps(q[1], oz), iz);
        const __m128 tnear =
            _mm_max_ps(_mm_max_ps(_mm_min_ps(ax, bx), _mm_min_ps(ay, by)), _mm_min_ps(az, bz));
        const __m128 tfar =
            _mm_min_ps(_mm_min_ps(_mm_max_ps(ax, bx), _mm_max_ps(ay, by)), _mm_max_ps(az, bz));
        __m128 ok = _mm_and_ps(_mm_cmple_ps(tnear, tfar), _mm_cmplt_ps(tnear, _mm_set1_ps(t1)));
        ok = _mm_and_ps(ok, _mm_cmplt_ps(_mm_set1_ps(t0), tfar));
        const __m128 valid = _mm_and_ps(_mm_and_ps(_mm_cmple_ps(r[0], r[3]), _mm_cmple_ps(r[1], q[0])),
                                        _mm_cmple_ps(r[2], q[1]));
        _mm_storeu_ps(entry, tnear);
        return static_cast<unsigned>(_mm_movemask_ps(_mm_and_ps(ok, valid))) & ((1u << n) - 1);
    }
};

struct Pending {
    uint32_t cell;
    float entry;
};

// Depth is at most COctree::deepest + 1; a depth-first walk holds at most seven waiting siblings per level
// and the eight children of the cell last opened.
constexpr size_t stack_size = 8 * (COctree::deepest + 3);

// A prefetch the compiler keeps: it takes the intrinsic for an operation without effects and may drop a
// loop of them as dead code.
void prefetch(const void* p) {
    asm volatile("prefetcht0 %0" : : "m"(*static_cast<const char*>(p)));
}

// Fetches what a cell about to wait its turn will read first, up to `limit` bytes: an inner cell's children,
// or a leaf's blocks.
void fetch(const OctLayout& l, const OctLayout::Cell& c, size_t limit) {
    const char* first = c.leaf ? reinterpret_cast<const char*>(l.blocks.data() + c.first)
                               : reinterpret_cast<const char*>(l.cells.data() + c.first);
    const size_t bytes =
        std::min<size_t>(c.count * (c.leaf ? sizeof(OctLayout::Block) : sizeof(OctLayout::Cell)), limit);
    for (size_t at = 0; at < bytes; at += 64)
        prefetch(first + at);
}

// Tests the blocks of a leaf and calls block(k, lanes, u, v, dist) for each that the ray meets.
template <class Block>
[[gnu::always_inline]] inline void run_leaf(const OctLayout& l, const OctLayout::Cell& c,
                                            const CRayForBox& ray, Block& block) {
    float u[4], v[4], d[4];
    for (uint32_t k = c.first; k < c.first + c.count; ++k)
        if (const unsigned lanes = block_hits(l.blocks[k], ray, u, v, d)) block(k, lanes, u, v, d);
}

// Walks the cells the interval (t0, t1) enters, depth first, and runs the leaves among them. Front to
// back, children are taken nearest first and a cell entered beyond bound() is passed over; otherwise in
// child order. What a cell points to is fetched when it is stacked.
template <bool FrontToBack, class Bound, class Block>
void walk(const OctLayout& l, uint32_t start, const CRayForBox& ray, float t0, float t1, Bound&& bound,
          Block&& block) {
    const RayCells cells(l, ray, t0, t1);
    float entry;
    if (!cells.enters(l.cells[start], entry)) return;
    Pending stack[stack_size];
    size_t top = 0;
    stack[top++] = {start, entry};
    while (top) {
        const Pending p = stack[--top];
        if (FrontToBack && p.entry > bound()) continue;
        const OctLayout::Cell& c = l.cells[p.cell];
        if (c.leaf) {
            run_leaf(l, c, ray, block);
            continue;
        }
        // Stacked so that the one to take first is on top.
        Pending next[8];
        int n = 0;
        float entries[8];
        for (unsigned in = cells.enters(&l.cells[c.first], c.count, entries); in; in &= in - 1) {
            const unsigned k = static_cast<unsigned>(std::countr_zero(in));
            int at = n++;
            for (; at > 0 && (!FrontToBack || next[at - 1].entry < entries[k]); --at)
                next[at] = next[at - 1];
            next[at] = {c.first + k, entries[k]};
        }
        // The cell on top is opened next, before its data can have arrived: it is fetched first, and of a
        // leaf nearly every block, so that they come in together rather than one after another.
        int kept = 0;
        for (int k = 0; k < n; ++k)
            if (!FrontToBack || !(next[k].entry > bound())) next[kept++] = next[k];
        for (int k = kept; k-- > 0;)
            fetch(l, l.cells[next[k].cell], k == kept - 1 ? 24 * 64 : 4 * 64);
        for (int k = 0; k < kept; ++k)
            stack[top++] = next[k];
    }
}

// Walks the cells the interval (t0, t1) enters level by level and runs the leaves among them. A cell waits
// behind every cell queued before it, long enough for what it points to, fetched when it was queued, to
// arrive; a depth-first walk would open at once the cell it just queued. When the queue is full, the
// cell's subtree is walked depth first on the spot.
template <class Block>
void walk_breadth_first(const OctLayout& l, uint32_t start, const CRayForBox& ray, float t0, float t1,
                        Block&& block) {
    const RayCells cells(l, ray, t0, t1);
    float entry;
    if (!cells.enters(l.cells[start], entry)) return;
    constexpr uint32_t queue_size = 256;
    constexpr size_t leaf_bytes = 12 * 64;
    uint32_t queue[queue_size];
    uint32_t head = 0, tail = 0; // positions modulo 2^32; their difference is the length
    queue[tail++ % queue_size] = start;
    while (head != tail) {
        const OctLayout::Cell& c = l.cells[queue[head++ % queue_size]];
        if (c.leaf) {
            run_leaf(l, c, ray, block);
            continue;
        }
        float entries[8];
        for (unsigned in = cells.enters(&l.cells[c.first], c.count, entries); in; in &= in - 1) {
            const uint32_t child = c.first + static_cast<uint32_t>(std::countr_zero(in));
            if (tail - head == queue_size) {
                walk<false>(
                    l, child, ray, t0, t1, [] { return CBox::big; }, block);
                continue;
            }
            fetch(l, l.cells[child], leaf_bytes);
            queue[tail++ % queue_size] = child;
        }
    }
}

} // namespace

void oct_ray_all(const OctLayout& l, uint32_t start, const CRayForBox& ray, float t0, float t1,
                 std::vector<OCTREE_INT_ITEM>& hits) {
    walk_breadth_first(l, start, ray, t0, t1,
                       [&](uint32_t k, unsigned lanes, const float* u, const float* v, const float* d) {
                           for (; lanes; lanes &= lanes - 1) {
                               const int i = std::countr_zero(lanes);
                               hits.push_back({l.blocks[k].face[i], d[i], u[i], v[i]});
                           }
                       });
}

bool oct_ray_nearest(const OctLayout& l, uint32_t start, const CRayForBox& ray, float t0, float t1,
                     OCTREE_INT_ITEM& hit) {
    bool found = false;
    OCTREE_INT_ITEM best;
    // Cells front to back by where the ray enters them: none entered after a nearer hit can hold a nearer
    // one, since a hit lies in a cell the ray enters no later than the hit. Of equal hits the first found
    // stays.
    walk<true>(
        l, start, ray, t0, t1, [&] { return found ? best.dist : CBox::big; },
        [&](uint32_t k, unsigned lanes, const float* u, const float* v, const float* d) {
            for (; lanes; lanes &= lanes - 1) {
                const int i = std::countr_zero(lanes);
                if (found && !(d[i] < best.dist)) continue;
                best = {l.blocks[k].face[i], d[i], u[i], v[i]};
                found = true;
            }
        });
    if (found) hit = best;
    return found;
}

} // namespace qcore::detail
