#pragma once
// Vertex and index buffers: creation in the three memory styles the engine uses, whole-buffer locks and
// checked copies between buffers and meshes. Index buffers always hold triangles.
#include <qcore/core/my_com.h>
#include <qcore/platform/d3d8/d3d8.h>
#include <qcore/platform/d3d8/d3dx/d3dx8mesh.h>
#include <qcore/platform/win32/cstring.h>

class fvf {
public:
    static UINT get_fvf_size(DWORD fvf);
    // "Xyz" or "Xyzw", then ",Nor", ",Dif", ",Spec" and ",Uv1" … ",Uv4" by the format's parts.
    static CString get_fvf_name(DWORD fvf);
    // 1 for the generated coordinate modes (camera-space normal, position, reflection) and for the
    // texture sets the format has.
    static int does_fvf_have_such_coord_index(DWORD fvf, int index);
};

// Index buffers of faces × 3 indices; an empty pointer (after a message box) when creation fails or the
// byte size would not fit.
CMyComPtr<IDirect3DIndexBuffer8> CreateDynamicIb(IDirect3DDevice8* device, unsigned faces, bool is32);
CMyComPtr<IDirect3DIndexBuffer8> CreateStaticIb(IDirect3DDevice8* device, unsigned faces, bool is32);
CMyComPtr<IDirect3DIndexBuffer8> CreateManagedIb(IDirect3DDevice8* device, unsigned faces, bool is32);

bool Is32BitIndexBuffer(CMyComPtr<IDirect3DIndexBuffer8> ib);
bool Is32BitIndexBuffer(CMyComPtr<ID3DXMesh> mesh);
unsigned GetFaceCount(CMyComPtr<IDirect3DIndexBuffer8> ib);

// Locks the whole buffer for writing (a dynamic buffer is discarded first); null when the lock fails.
BYTE* LockIndexBuffer(CMyComPtr<IDirect3DIndexBuffer8> ib);
BYTE* LockIndexBuffer(CMyComPtr<ID3DXMesh> mesh);

// Copies `faces` triangles (all of them when 0, which needs equal counts) between two buffers of the same
// index size. Checks fail with a message box and false.
bool CopyIndexBuffer(CMyComPtr<IDirect3DIndexBuffer8> src, CMyComPtr<IDirect3DIndexBuffer8> dst,
                     unsigned faces);
// As above between meshes; with faces 0 a larger destination is accepted.
bool CopyMeshIndexBuffer(CMyComPtr<ID3DXMesh> src, CMyComPtr<ID3DXMesh> dst, unsigned faces);

CMyComPtr<IDirect3DVertexBuffer8> CreateDynamicVb(IDirect3DDevice8* device, DWORD fvf, DWORD count,
                                                  bool points);
CMyComPtr<IDirect3DVertexBuffer8> CreateStaticVb(IDirect3DDevice8* device, DWORD fvf, DWORD count,
                                                 bool points);
CMyComPtr<IDirect3DVertexBuffer8> CreateManagedVb(IDirect3DDevice8* device, DWORD fvf, DWORD count,
                                                  bool points);

BYTE* LockVertexBuffer(IDirect3DVertexBuffer8* vb);
BYTE* LockVertexBuffer(CMyComPtr<ID3DXMesh> mesh);
DWORD GetFvf(IDirect3DVertexBuffer8* vb);

// Copies `count` vertices (all when 0, which needs equal counts); positions_only copies just the positions
// and allows different formats.
bool CopyMeshVertexBuffer(CMyComPtr<ID3DXMesh> src, CMyComPtr<ID3DXMesh> dst, unsigned count,
                          bool positions_only);

namespace qcore::detail {
// Locks for reading only: never discards, so a dynamic source keeps its contents.
BYTE* lock_index_buffer_for_reading(IDirect3DIndexBuffer8* ib);
} // namespace qcore::detail
