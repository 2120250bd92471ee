#pragma once
// The query form of a built octree: the cells in one array (a cell's children side by side) and the
// leaves' triangles four to a block, coordinates side by side, so that one SSE pass tests four of them.
// Each cell keeps the bounds of what it holds (within its box), which rays test instead of the box.
#include <qcore/core/large_alloc.h>
#include <qcore/geom/octree.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace qcore::detail {

// The bounds of a face's vertices, a NaN coordinate taken as −∞ (it reads as below every plane).
struct OctFaceBound {
    float lo[3] = {}, hi[3] = {};

    OctFaceBound() = default;
    // The face's indices must be below the vertex count.
    OctFaceBound(const CRawMesh& m, DWORD face);
};

struct OctLayout {
    struct Cell {
        CBox bound;          // the triangles' bounds within the cell; invalid when it holds none
        uint32_t first;      // first child cell, or first block of a leaf
        uint32_t count : 31; // children, or blocks of a leaf
        uint32_t leaf : 1;
    };

    // Four triangles: first vertex and both edges, one array per coordinate, and their faces. A lane
    // without a triangle has zero edges, which no ray meets.
    struct alignas(16) Block {
        float ax[4] = {}, ay[4] = {}, az[4] = {};
        float e1x[4] = {}, e1y[4] = {}, e1z[4] = {};
        float e2x[4] = {}, e2y[4] = {}, e2z[4] = {};
        DWORD face[4] = {};

        void set(int lane, const VEC& a, const VEC& e1, const VEC& e2);
    };

    LargeVector<Cell> cells;
    LargeVector<Block> blocks;
    bool finite = true; // every valid bound finite
};

// Builds the layout alongside the tree: a node's children take consecutive cells when it splits, a leaf's
// triangles are laid out when it is known to stay a leaf (while its face list is fresh). A leaf keeps only
// the faces whose plane meets its cell: a ray can meet a face only in a cell its plane passes through.
class OctLayoutBuild {
public:
    explicit OctLayoutBuild(const CRawMesh& m);

    const OctFaceBound* face_bounds() const { return bounds.data(); }
    // Room for a split's per-face notes, reused from split to split.
    std::vector<uint8_t>& scratch() { return notes; }
    const std::shared_ptr<OctLayout>& get() const { return layout; }
    // New cells, side by side; the index of the first.
    uint32_t add_cells(size_t count);
    void set_children(uint32_t cell, uint32_t first, size_t count);
    void set_leaf(uint32_t cell, const CBox& box, const std::vector<DWORD>& faces);
    // Completes the bounds of the inner cells.
    void finish();

private:
    struct Tri {
        VEC a, e1, e2;
    };
    LargeVector<OctFaceBound> bounds;
    LargeVector<Tri> tris;
    std::vector<uint8_t> notes;
    std::shared_ptr<OctLayout> layout;
};

// Which of the four triangles of the block the ray meets (bit i for lane i), with the same arithmetic, and
// so the same results, as D3DXIntersectTri.
unsigned intersect_block(const OctLayout::Block& b, const CRayForBox& ray, float u[4], float v[4],
                         float dist[4]);

// Appends the hits of the leaves below cell `start` that the interval (t0, t1) passes, leaf by leaf in no
// set order.
void oct_ray_all(const OctLayout& l, uint32_t start, const CRayForBox& ray, float t0, float t1,
                 std::vector<OCTREE_INT_ITEM>& hits);
// The nearest hit in the leaves below cell `start` that the interval passes; false when there is none.
bool oct_ray_nearest(const OctLayout& l, uint32_t start, const CRayForBox& ray, float t0, float t1,
                     OCTREE_INT_ITEM& hit);

} // namespace qcore::detail
