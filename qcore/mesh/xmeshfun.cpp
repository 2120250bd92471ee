#include <qcore/core/core.h>
#include <qcore/mesh/buffer_proxy.h>
#include <qcore/mesh/xmeshfun.h>

#include <utility>

namespace {

void log_error(gCore* core, const char* text, HRESULT hr) {
    if (core && core->log) core->log->add_log(LOG_ERROR, text, get_err_string(hr));
}

CMyComPtr<ID3DXMesh> clone(CMyComPtr<ID3DXMesh> mesh, IDirect3DDevice8* device, DWORD options, DWORD format,
                           const char* failure) {
    CMyComPtr<ID3DXMesh> out;
    HRESULT hr = D3DERR_INVALIDCALL;
    if (mesh) {
        if (xmeshfun::is_32bit_ib(mesh)) options |= D3DXMESH_32BIT;
        hr = mesh->CloneMeshFVF(options, format, device, out.out());
    }
    if (FAILED(hr)) {
        MsgErr(hr, failure);
        out.reset();
    }
    return out;
}

} // namespace

int xmeshfun::is_32bit_ib(CMyComPtr<ID3DXMesh> mesh) {
    return mesh && (mesh->GetOptions() & D3DXMESH_32BIT) ? 1 : 0;
}

int xmeshfun::have_normal(CMyComPtr<ID3DXMesh> mesh) {
    return mesh && (mesh->GetFVF() & D3DFVF_NORMAL) ? 1 : 0;
}

int xmeshfun::have_diffuse(CMyComPtr<ID3DXMesh> mesh) {
    return mesh && (mesh->GetFVF() & D3DFVF_DIFFUSE) ? 1 : 0;
}

CMyComPtr<ID3DXMesh> xmeshfun::clone_xmesh_to_sys(IDirect3DDevice8* device, CMyComPtr<ID3DXMesh> mesh) {
    return clone(mesh, device, D3DXMESH_SYSTEMMEM, mesh ? mesh->GetFVF() : 0, "WCloneMeshToSysMem err");
}

CMyComPtr<ID3DXMesh> xmeshfun::clone_xmesh(CMyComPtr<ID3DXMesh> mesh, IDirect3DDevice8* device, DWORD options,
                                           DWORD format) {
    return clone(mesh, device, options, format, "SetFvf()->CloneMesh err");
}

void xmeshfun::normalize_normals(CMyComPtr<ID3DXMesh> mesh) {
    if (!have_normal(mesh)) return;
    CVbProxy vb(mesh.get());
    if (!vb.p() || vb.get_normal_offset() < 0) return;
    for (int i = 0; i < vb.get_ver_count(); ++i)
        vb.Normal(i).normalize_self();
}

void xmeshfun::rebuild_normals(gCore* core, CMyComPtr<ID3DXMesh> mesh, std::vector<DWORD>* adjacency) {
    if (!have_normal(mesh)) return;
    if (adjacency && adjacency->size() == size_t{mesh->GetNumFaces()} * 3) {
        const HRESULT hr = D3DXComputeNormals(mesh.get(), adjacency->data());
        if (SUCCEEDED(hr)) return;
        log_error(core, "rebuild normals Err! Err=", hr);
    }
    D3DXComputeNormals(mesh.get(), nullptr);
}

void xmeshfun::reverse_face_order(CMyComPtr<ID3DXMesh> mesh) {
    if (!mesh) return;
    CIbProxy ib(mesh.get());
    if (!ib.p()) return;
    for (int f = 0; f < ib.get_face_count(); ++f) {
        const DWORD first = ib.get(3 * f);
        ib.set(3 * f, ib.get(3 * f + 2));
        ib.set(3 * f + 2, first);
    }
}

void xmeshfun::set_diffuse(CMyComPtr<ID3DXMesh> mesh, DWORD colour) {
    if (!have_diffuse(mesh)) return;
    CVbProxy vb(mesh.get());
    if (!vb.p() || vb.get_diffuse_offset() < 0) return;
    for (int i = 0; i < vb.get_ver_count(); ++i)
        vb.Diffuse(i) = (vb.Diffuse(i) & 0xFF000000u) | (colour & 0x00FFFFFFu);
}

int xmeshfun::build_face_adj_buf(gCore* core, CMyComPtr<ID3DXMesh> mesh, float epsilon,
                                 std::vector<DWORD>& adjacency) {
    if (!mesh) return 0;
    adjacency.resize(size_t{mesh->GetNumFaces()} * 3, 0);
    const HRESULT hr = mesh->GenerateAdjacency(epsilon, adjacency.data());
    if (FAILED(hr)) {
        log_error(core, "compute_adj_buf Err! Err=", hr);
        return 0;
    }
    return 1;
}

int xmeshfun::optimize_xmesh(gCore* core, CMyComPtr<ID3DXMesh> mesh) {
    std::vector<DWORD> adjacency;
    if (!build_face_adj_buf(core, mesh, 0.0f, adjacency)) return 0;
    const HRESULT hr = mesh->OptimizeInplace(D3DXMESHOPT_COMPACT | D3DXMESHOPT_VERTEXCACHE, adjacency.data(),
                                             nullptr, nullptr, nullptr);
    if (FAILED(hr)) {
        log_error(core, "optimize_mesh Err! Err=", hr);
        return 0;
    }
    return 1;
}
