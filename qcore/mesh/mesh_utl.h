#pragma once
// A whole extension-library mesh in the node tree: counts, vertex format, vertex bytes and index bytes.
#include <qcore/core/my_com.h>
#include <qcore/data/pak_file.h>
#include <qcore/platform/d3d8/d3dx/d3dx8mesh.h>

class MESH_UTL {
public:
    // Writes the mesh under a new directory `name`; 1 on success, 0 when the directory or a lock fails.
    static int save_xmesh_to_node(CMyComPtr<ID3DXMesh> mesh, CPakNode* parent, const char* name);
    // A system-memory mesh rebuilt from such a directory, or an empty pointer. Every count, size and index
    // is checked against the stored bytes before anything is allocated or used.
    static CMyComPtr<ID3DXMesh> load_xmesh_from_node(IDirect3DDevice8* device, CPakNode* dir);
};
