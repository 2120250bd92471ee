#pragma once
// An octree over a raw mesh for picking and collision: leaves list the faces that may touch their cell;
// ray queries give exact hits, box queries candidate faces.
#include <qcore/geom/bitset.h>
#include <qcore/geom/box.h>
#include <qcore/geom/ray.h>
#include <qcore/mesh/raw_mesh.h>

#include <cstdint>
#include <memory>
#include <vector>

class CBaseStatus;
class gCore;

// One ray hit: the face, the distance in units of the ray direction's length, and the barycentric
// coordinates (point = a + u·(b − a) + v·(c − a)).
struct OCTREE_INT_ITEM {
    DWORD face = 0;
    float dist = 0;
    float u = 0;
    float v = 0;

    bool operator<(const OCTREE_INT_ITEM& o) const { return dist < o.dist; }
};

// Statistics of a subtree.
struct OCTREE_DESC {
    int node_count;
    int max_depth;
    int depth_counts[32];
    int total_leaf_faces;
    int max_leaf_faces;
    int min_leaf_faces;
};

namespace qcore::detail {
struct OctLayout;
class OctLayoutBuild;
} // namespace qcore::detail

class COctNode {
public:
    COctNode() = default;
    // A copy owns copies of the children (never shares them).
    COctNode(const COctNode& o);
    COctNode& operator=(const COctNode& o);
    virtual ~COctNode();

    // Appends exact hits of the faces in the leaves the interval (t0, t1) of the ray passes through, leaf by
    // leaf in no set order (neither by distance nor by child). A leaf tests the faces whose plane passes
    // through its cell, when the ray meets their bounds within the cell, so a face may be reported once for
    // each of several leaves (remove_equal_faces leaves one). Every hit inside this node's cell is found;
    // below the root, hits of its faces outside the cell may be left out. True when hits is non-empty
    // afterwards.
    bool RayTest(const CRayForBox& ray, float t0, float t1, std::vector<OCTREE_INT_ITEM>& hits) const;
    // The nearest hit within the leaves the interval passes, walking the cells front to back and stopping
    // once no nearer hit can follow; false when there is none.
    bool RayTestNearest(const CRayForBox& ray, float t0, float t1, OCTREE_INT_ITEM& hit) const;
    void GetPossibleIntersectedTriangles(const CRayForBox& ray, float t0, float t1,
                                         std::vector<DWORD>& faces) const;
    // Faces of the leaves overlapping the box (touching counts); may repeat.
    void find_possible_faces_int_with_box(const CBox& box, std::vector<DWORD>& faces);
    // This node first, then its descendants depth first, last child first.
    void EnumAllChildren(std::vector<const COctNode*>& nodes) const;
    void GetDesc(OCTREE_DESC& desc) const;
    // Debug view: the cell boxes (children first when recurse) and, when draw_faces, this node's faces as
    // green line triangles.
    void Render(gCore* core, const MAT& world, int colour, bool recurse, bool draw_faces) const;

    const std::vector<COctNode*>& get_children() const { return children; }
    const CBox& get_box() const { return box; }
    int get_depth() const { return depth; }
    const std::vector<DWORD>& get_faces() const { return faces; }
    bool is_leaf() const { return children.empty(); }

protected:
    friend class COctree;

    static COctNode* BuildOcTree(CRawMesh* mesh, int max_faces, int max_depth, float y_scale,
                                 CBaseStatus* status);
    bool CanSplit(int max_faces, int max_depth) const;
    // Splits into the non-empty octants; false (the node stays a leaf) when it may not or nothing separates.
    // `budget` is the number of face references the tree may still add; a split that needs more is refused.
    // With layout_build, the children also take their cells in the layout being built.
    bool Split(int max_faces, int max_depth, size_t* budget = nullptr,
               qcore::detail::OctLayoutBuild* layout_build = nullptr);

    std::vector<COctNode*> children;
    CBox box;
    int depth = -1;
    std::vector<DWORD> faces;
    CRawMesh* mesh = nullptr;

private:
    // Queries run on the layout of the tree the node was built in (shared by copies: it never changes);
    // a node that was not built by BuildOcTree answers none.
    std::shared_ptr<const qcore::detail::OctLayout> layout;
    uint32_t cell = 0;

    void retarget(CRawMesh* m);
};

class COctree {
public:
    COctree() = default;
    // Copies are deep: a tree that owns its mesh copies it, one that borrows the caller's mesh borrows it
    // too; the nodes are always copied.
    COctree(const COctree& o);
    COctree& operator=(const COctree& o);
    ~COctree() { free(); }

    // Builds the tree over the mesh (copied when copy_mesh is non-zero, else borrowed: it must then outlive
    // the tree). Faces with an index outside the vertices are left out. A y_scale that is not positive
    // counts as 1; max_depth is limited to 30, the deepest level the statistics can count.
    void build_from_vbib(CRawMesh& mesh, int max_faces, int max_depth, int copy_mesh, float y_scale,
                         CBaseStatus* status);
    void free();
    COctNode* get_root() const { return root; }
    CRawMesh* get_mesh() const { return mesh; }

    // The hit point in mesh coordinates; (0, 0, 0) for a face the mesh does not have.
    VEC cal_int_detail(const OCTREE_INT_ITEM& hit) const;
    // Appends each face of in once, in order of first occurrence; faces the mesh does not have are dropped.
    void remove_equal_faces(const std::vector<DWORD>& in, std::vector<DWORD>& out);

    static constexpr int deepest = 30;

private:
    CRawMesh* mesh = nullptr;
    CBitset marks;
    int own_mesh = 1;
    int max_faces = 0;
    int max_depth = 0;
    COctNode* root = nullptr;
};
