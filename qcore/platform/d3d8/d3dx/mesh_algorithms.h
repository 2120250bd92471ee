#pragma once
// The mesh algorithms over plain memory: vertex layouts of flexible vertex formats, element-by-element
// conversion between them, face adjacency, vertex normals, face and vertex reordering, and the shapes.
#include <qcore/platform/d3d8/fvf_layout.h>
#include <qcore/platform/win32/types.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qcore::detail {

inline constexpr uint32_t no_neighbour = 0xFFFFFFFFu;

// Converts `count` vertices: elements both formats have are copied (the shorter of two texture
// coordinate sets, the common part of positions), elements only the target has become zero.
void convert_vertices(const uint8_t* src, DWORD src_fvf, uint8_t* dst, DWORD dst_fvf, size_t count);

struct Float3 {
    float x, y, z;
};

// Positions are the first three floats of each vertex.
struct PositionView {
    const uint8_t* data;
    uint32_t stride;
    Float3 operator[](size_t i) const;
};

// For each face, the faces across its three edges (v0-v1, v1-v2, v2-v0), or no_neighbour. Edges match when
// their end points coincide within epsilon (each coordinate); faces with an edge shared by more than two
// faces pair up opposite windings first.
std::vector<uint32_t> generate_adjacency(PositionView positions, size_t vertex_count, const uint32_t* indices,
                                         size_t face_count, float epsilon);

// Area-weighted, normalised vertex normals. With adjacency, vertices that the adjacency shows to be the
// same corner of neighbouring faces are smoothed together even when they are separate vertices.
std::vector<Float3> compute_normals(PositionView positions, size_t vertex_count, const uint32_t* indices,
                                    size_t face_count, const uint32_t* adjacency);

// The outcome of reordering a mesh: faces in their new order (old face of each new face; left empty when
// the faces all share one attribute and the request did not want it), vertices in their new order (old
// vertex of each new vertex) and the new indices.
struct MeshOrder {
    std::vector<uint32_t> face_remap;
    std::vector<uint32_t> vertex_remap;
    std::vector<uint32_t> indices;
};

struct OptimizeRequest {
    bool attribute_sort = false;
    bool vertex_cache = false;
    bool strip_order = false;
    bool compact = false;
    bool ignore_vertices = false;
    bool face_remap_wanted = false;
};

MeshOrder optimize_order(const uint32_t* indices, size_t face_count, size_t vertex_count,
                         const DWORD* attributes, const OptimizeRequest& request);

// Average cache misses per triangle for a FIFO cache of `cache_size` entries.
double acmr(const uint32_t* indices, size_t face_count, size_t vertex_count, unsigned cache_size = 16);

// Shapes as positions with normals (XYZ | NORMAL) and clockwise front faces.
struct ShapeMesh {
    std::vector<Float3> positions;
    std::vector<Float3> normals;
    std::vector<uint32_t> indices;
};

ShapeMesh make_box(float width, float height, float depth);
ShapeMesh make_sphere(float radius, uint32_t slices, uint32_t stacks);
ShapeMesh make_cylinder(float radius1, float radius2, float length, uint32_t slices, uint32_t stacks);
ShapeMesh make_torus(float inner_radius, float outer_radius, uint32_t sides, uint32_t rings);

} // namespace qcore::detail
