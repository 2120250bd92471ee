#pragma once
// Helpers on extension-library meshes: cloning, normals, winding, vertex colour, adjacency, optimisation.
#include <qcore/core/my_com.h>
#include <qcore/platform/d3d8/d3dx/d3dx8mesh.h>

#include <vector>

class gCore;

class xmeshfun {
public:
    static int is_32bit_ib(CMyComPtr<ID3DXMesh> mesh);
    static int have_normal(CMyComPtr<ID3DXMesh> mesh);
    static int have_diffuse(CMyComPtr<ID3DXMesh> mesh);
    // A system-memory copy in the same format; empty (after a message box) on failure.
    static CMyComPtr<ID3DXMesh> clone_xmesh_to_sys(IDirect3DDevice8* device, CMyComPtr<ID3DXMesh> mesh);
    // A copy with the given options and format; a 32-bit mesh never loses its 32-bit indices.
    static CMyComPtr<ID3DXMesh> clone_xmesh(CMyComPtr<ID3DXMesh> mesh, IDirect3DDevice8* device,
                                            DWORD options, DWORD fvf);
    static void normalize_normals(CMyComPtr<ID3DXMesh> mesh);
    // Uses the adjacency only when it has exactly three entries per face; falls back to none on failure.
    static void rebuild_normals(gCore* core, CMyComPtr<ID3DXMesh> mesh, std::vector<DWORD>* adjacency);
    // Swaps the first and third index of every triangle.
    static void reverse_face_order(CMyComPtr<ID3DXMesh> mesh);
    // Sets red, green and blue of every vertex colour, keeping each vertex's alpha.
    static void set_diffuse(CMyComPtr<ID3DXMesh> mesh, DWORD colour);
    // Three neighbours per face; logs and returns 0 when the mesh cannot give them.
    static int build_face_adj_buf(gCore* core, CMyComPtr<ID3DXMesh> mesh, float epsilon,
                                  std::vector<DWORD>& adjacency);
    // Compacts and reorders for the vertex cache in place; 1 on success. Stops (0) when the adjacency
    // cannot be built rather than optimising with a wrong one.
    static int optimize_xmesh(gCore* core, CMyComPtr<ID3DXMesh> mesh);
};
