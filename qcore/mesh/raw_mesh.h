#pragma once
// A plain triangle mesh in system memory copied out of an extension-library mesh: positions, 32-bit
// triangles, one plane and one attribute byte per triangle. The octree picks and collides against it.
#include <qcore/core/my_com.h>
#include <qcore/geom/math3d.h>
#include <qcore/mesh/face.h>
#include <qcore/platform/d3d8/d3dx/d3dx8mesh.h>

#include <vector>

class CRawMesh {
public:
    std::vector<VEC> vertices;
    std::vector<CFace> faces;
    // Empty, or one per face (plane i of face i): once built they are kept up to date by every change.
    std::vector<plane> planes;
    std::vector<BYTE> attributes;

    CRawMesh() { clear(); }
    CRawMesh(const CRawMesh&) = default;
    CRawMesh& operator=(const CRawMesh&) = default;
    ~CRawMesh() = default;

    void clear();
    // Copies the mesh's positions and triangles; does nothing for a null mesh. On a failed lock the mesh is
    // left empty.
    void fill_with_mesh(CMyComPtr<ID3DXMesh> mesh, int attribute);
    // Appends other's vertices, faces (re-indexed) and attributes; other may be this mesh.
    void append_raw_mesh(const CRawMesh& other);
    void transf_vb(const MAT& m);
    // Reverses the winding of every face.
    void reverse_face();
    // Plane i from the vertices of face i; a face with an index outside the vertices gets a zero plane.
    void build_planes();
    // A development aid: shows a message and reports valid without checking.
    int is_raw_mesh_valid();
    // 1 when every index is below the vertex count (the octree relies on it).
    int are_indices_valid() const;

protected:
    bool fill_vb_with_mesh(CMyComPtr<ID3DXMesh> mesh);
    bool fill_ib_with_mesh(CMyComPtr<ID3DXMesh> mesh, int attribute);

private:
    void build_planes_from(size_t first);
    void refresh_planes() {
        if (!planes.empty()) build_planes();
    }
};
