#include <qcore/core/core.h>
#include <qcore/data/node_fields.h>
#include <qcore/mesh/buffer_proxy.h>
#include <qcore/mesh/mesh_buffers.h>
#include <qcore/mesh/mesh_utl.h>

#include <climits>
#include <cstdint>

using qcore::detail::read_field;
using qcore::detail::typed_child;

int MESH_UTL::save_xmesh_to_node(CMyComPtr<ID3DXMesh> mesh, CPakNode* parent, const char* name) {
    if (!mesh || !parent) return 0;
    const int vertices = static_cast<int>(mesh->GetNumVertices()),
              faces = static_cast<int>(mesh->GetNumFaces());
    const DWORD format = mesh->GetFVF();
    const int fvf_value = static_cast<int>(format);
    const uint64_t vb_bytes = uint64_t{fvf::get_fvf_size(format)} * mesh->GetNumVertices();
    const bool is32 = Is32BitIndexBuffer(mesh);
    const uint64_t ib_bytes = uint64_t{mesh->GetNumFaces()} * (is32 ? 12 : 6);
    if (vertices < 0 || faces < 0 || vb_bytes > INT_MAX || ib_bytes > INT_MAX) return 0;

    CPakNode* dir = parent->create_dir_node(name);
    if (!dir) return 0;
    dir->create_data_node("MESH_VER_COUNT", NODE_INT, &vertices);
    dir->create_data_node("MESH_FACE_COUNT", NODE_INT, &faces);
    dir->create_data_node("MESH_FVF", NODE_INT, &fvf_value);
    dir->create_data_node("MESH_FVF_NAME", NODE_STR32, fvf::get_fvf_name(format).GetString());
    {
        CVbProxy vb(mesh.get());
        if (!vb.p()) return 0;
        dir->create_buf_node("MESH_VB", vb.p(), static_cast<int>(vb_bytes), qcore::buf_raw);
    }
    CIbProxy ib(mesh.get());
    if (!ib.p()) return 0;
    const int flag = is32 ? 1 : 0;
    dir->create_data_node("MESH_32BIT_IB", NODE_INT, &flag);
    dir->create_buf_node("MESH_IB", ib.p(), static_cast<int>(ib_bytes),
                         is32 ? qcore::buf_face : qcore::buf_uint16);
    return 1;
}

namespace {

template <class Index> bool indices_below(const BYTE* data, size_t count, uint32_t limit) {
    // The largest index, without an early exit, so that the loop vectorises: valid files are the rule.
    const auto* p = reinterpret_cast<const Index*>(data);
    Index largest = 0;
    for (size_t i = 0; i < count; ++i)
        largest = p[i] > largest ? p[i] : largest;
    return count == 0 || largest < limit;
}

} // namespace

CMyComPtr<ID3DXMesh> MESH_UTL::load_xmesh_from_node(IDirect3DDevice8* device, CPakNode* dir) {
    int format = 0, is32 = 0, vertices = 0, faces = 0;
    if (!read_field(dir, "MESH_FVF", NODE_INT, format) || !read_field(dir, "MESH_32BIT_IB", NODE_INT, is32) ||
        !read_field(dir, "MESH_VER_COUNT", NODE_INT, vertices) ||
        !read_field(dir, "MESH_FACE_COUNT", NODE_INT, faces))
        return {};
    const UINT stride = fvf::get_fvf_size(static_cast<DWORD>(format));
    if (vertices <= 0 || faces <= 0 || stride == 0) return {};
    // The stored buffers must be exactly as long as the counts say, which also bounds every allocation
    // by the size of the file.
    CPakNode* vb_node = typed_child(dir, "MESH_VB", NODE_BUF);
    CPakNode* ib_node = typed_child(dir, "MESH_IB", NODE_BUF);
    const uint64_t vb_bytes = uint64_t{stride} * static_cast<uint64_t>(vertices);
    const uint64_t ib_bytes = static_cast<uint64_t>(faces) * (is32 ? 12 : 6);
    if (!vb_node || !ib_node || static_cast<uint64_t>(vb_node->get_length()) != vb_bytes ||
        static_cast<uint64_t>(ib_node->get_length()) != ib_bytes)
        return {};
    if (!is32 && vertices > 65536) return {};

    CMyComPtr<ID3DXMesh> mesh;
    const DWORD options = D3DXMESH_SYSTEMMEM | (is32 ? D3DXMESH_32BIT : 0);
    if (HRESULT hr = D3DXCreateMeshFVF(static_cast<DWORD>(faces), static_cast<DWORD>(vertices), options,
                                       static_cast<DWORD>(format), device, mesh.out());
        FAILED(hr)) {
        MsgErr(hr, "Err Create XMESH!");
        return {};
    }
    {
        CVbProxy vb(mesh.get());
        if (!vb.p() || !vb_node->get_buffer_to_mem_allocated(vb.p(), static_cast<int>(vb_bytes))) return {};
    }
    CIbProxy ib(mesh.get());
    if (!ib.p() || !ib_node->get_buffer_to_mem_allocated(ib.p(), static_cast<int>(ib_bytes))) return {};
    const size_t count = static_cast<size_t>(faces) * 3;
    const bool valid = is32 ? indices_below<uint32_t>(ib.p(), count, static_cast<uint32_t>(vertices))
                            : indices_below<uint16_t>(ib.p(), count, static_cast<uint32_t>(vertices));
    if (!valid) return {};
    return mesh;
}
