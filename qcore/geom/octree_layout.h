#pragma once
// The query form of a built octree: the cells in one array (a cell's children side by side) and the
// leaves' triangles four to a block, coordinates side by side, so that one SSE pass tests four of them.
// Each cell keeps the bounds of what it holds (within its box), which rays test instead of the box.
#include <qcore/geom/octree.h>

#include <cstdint>
#include <vector>

namespace qcore::detail {

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
    };

    std::vector<Cell> cells;
    std::vector<Block> blocks;
    bool finite = true; // every valid bound finite

    // Lays out the tree below root, breadth first, listing the nodes in that order. A leaf keeps only the
    // faces whose plane meets its cell: a ray can meet a face only in a cell its plane passes through.
    static void build(COctNode* root, const CRawMesh& mesh, std::vector<COctNode*>& order, OctLayout& out);
};

// Which of the four triangles of the block the ray meets (bit i for lane i), with the same arithmetic, and
// so the same results, as D3DXIntersectTri.
unsigned intersect_block(const OctLayout::Block& b, const CRayForBox& ray, float u[4], float v[4],
                         float dist[4]);

// Appends the hits of the leaves below cell `start` that the interval (t0, t1) passes, depth first in
// child order.
void oct_ray_all(const OctLayout& l, uint32_t start, const CRayForBox& ray, float t0, float t1,
                 std::vector<OCTREE_INT_ITEM>& hits);
// The nearest hit in the leaves below cell `start` that the interval passes; false when there is none.
bool oct_ray_nearest(const OctLayout& l, uint32_t start, const CRayForBox& ray, float t0, float t1,
                     OCTREE_INT_ITEM& hit);

} // namespace qcore::detail
