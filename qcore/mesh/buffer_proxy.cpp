#include <qcore/mesh/buffer_proxy.h>
#include <qcore/mesh/mesh_buffers.h>
#include <qcore/platform/win32/message_box.h>

#include <cstring>

CIbProxy::CIbProxy(ID3DXMesh* m) : mesh(m) {
    Initialize();
    lock();
}

CIbProxy::CIbProxy(IDirect3DIndexBuffer8* b) : ib(b) {
    Initialize();
    lock();
}

CIbProxy::CIbProxy(const CIbProxy& o) : ib(o.ib), mesh(o.mesh), data(o.data), is32(o.is32), faces(o.faces) {}

CIbProxy& CIbProxy::operator=(const CIbProxy& o) {
    if (this == &o) return *this;
    unlock();
    ib = o.ib;
    mesh = o.mesh;
    data = o.data;
    is32 = o.is32;
    faces = o.faces;
    locked = false;
    return *this;
}

void CIbProxy::Initialize() {
    if (mesh) {
        is32 = (mesh->GetOptions() & D3DXMESH_32BIT) != 0;
        faces = static_cast<int>(mesh->GetNumFaces());
    } else if (ib) {
        D3DINDEXBUFFER_DESC desc{};
        if (FAILED(ib->GetDesc(&desc))) return;
        is32 = desc.Format == D3DFMT_INDEX32;
        faces = static_cast<int>(desc.Size / (is32 ? 4 : 2) / 3);
    }
}

void CIbProxy::lock() {
    if (locked) return;
    data = mesh ? LockIndexBuffer(CMyComPtr<ID3DXMesh>(mesh))
                : LockIndexBuffer(CMyComPtr<IDirect3DIndexBuffer8>(ib));
    locked = data != nullptr;
}

void CIbProxy::unlock() {
    if (!locked) return;
    if (mesh)
        mesh->UnlockIndexBuffer();
    else
        ib->Unlock();
    locked = false;
    data = nullptr;
}

DWORD CIbProxy::get(int i) const {
    if (!in_range(i)) return 0;
    if (is32) return reinterpret_cast<const DWORD*>(data)[i];
    return reinterpret_cast<const WORD*>(data)[i];
}

void CIbProxy::set(int i, DWORD v) {
    if (!in_range(i)) return;
    if (is32)
        reinterpret_cast<DWORD*>(data)[i] = v;
    else
        reinterpret_cast<WORD*>(data)[i] = static_cast<WORD>(v);
}

CVbProxy::CVbProxy(ID3DXMesh* m) : mesh(m) {
    InitializeOffsets();
    lock();
}

CVbProxy::CVbProxy(IDirect3DVertexBuffer8* b) : vb(b) {
    InitializeOffsets();
    lock();
}

namespace {

// Element offsets of the formats the library uses; -1 where the format has no such element.
struct KnownFormat {
    DWORD fvf;
    int w, normal, diffuse, tex1, tex2;
};

constexpr KnownFormat known_formats[] = {
    {2, -1, -1, -1, -1, -1},   {18, -1, 12, -1, -1, -1},  {66, -1, -1, 12, -1, -1},
    {258, -1, -1, -1, 12, -1}, {260, 12, -1, -1, 16, -1}, {274, -1, 12, -1, 24, -1},
    {322, -1, -1, 12, 16, -1}, {324, 12, -1, 16, 20, -1}, {338, -1, 12, 24, 28, -1},
    {514, -1, -1, -1, 12, 20}, {530, -1, 12, -1, 24, 32}, {580, 12, -1, 16, 20, 28},
    {594, -1, 12, 24, 28, 36},
};

} // namespace

void CVbProxy::InitializeOffsets() {
    if (mesh) {
        fvf_code = mesh->GetFVF();
        count = static_cast<int>(mesh->GetNumVertices());
    } else if (vb) {
        D3DVERTEXBUFFER_DESC desc{};
        if (SUCCEEDED(vb->GetDesc(&desc))) fvf_code = desc.FVF;
    }
    stride = static_cast<int>(fvf::get_fvf_size(fvf_code));
    if (vb && stride > 0) {
        D3DVERTEXBUFFER_DESC desc{};
        if (SUCCEEDED(vb->GetDesc(&desc))) count = static_cast<int>(desc.Size / static_cast<UINT>(stride));
    }
    for (const KnownFormat& f : known_formats) {
        if (f.fvf != fvf_code) continue;
        w_offset = f.w;
        normal_offset = f.normal;
        diffuse_offset = f.diffuse;
        tex_offset[0] = f.tex1;
        tex_offset[1] = f.tex2;
        return;
    }
    const CString text = fvf::get_fvf_name(fvf_code) + "，VbProxy中还未加入该fvf!";
    AfxMessageBox(text);
}

bool CVbProxy::lock() {
    if (locked) return data != nullptr;
    data = mesh ? LockVertexBuffer(CMyComPtr<ID3DXMesh>(mesh)) : LockVertexBuffer(vb);
    locked = data != nullptr;
    return locked;
}

bool CVbProxy::unlock() {
    if (!locked) return true;
    if (mesh)
        mesh->UnlockVertexBuffer();
    else
        vb->Unlock();
    locked = false;
    data = nullptr;
    return true;
}
