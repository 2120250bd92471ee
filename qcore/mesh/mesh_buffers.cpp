#include <qcore/core/core.h>
#include <qcore/mesh/buffer_proxy.h>
#include <qcore/mesh/mesh_buffers.h>
#include <qcore/platform/win32/message_box.h>

#include <cstdint>
#include <cstring>

namespace {

constexpr DWORD dynamic_usage = D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY;

DWORD lock_flags_for(DWORD usage) {
    return (usage & D3DUSAGE_DYNAMIC) ? D3DLOCK_DISCARD | D3DLOCK_NOSYSLOCK : D3DLOCK_NOSYSLOCK;
}

CMyComPtr<IDirect3DIndexBuffer8> create_ib(IDirect3DDevice8* device, unsigned faces, bool is32, DWORD usage,
                                           D3DPOOL pool) {
    CMyComPtr<IDirect3DIndexBuffer8> ib;
    const uint64_t bytes = uint64_t{faces} * 3 * (is32 ? 4 : 2);
    HRESULT hr = D3DERR_INVALIDCALL;
    if (device && bytes <= UINT32_MAX)
        hr = device->CreateIndexBuffer(static_cast<UINT>(bytes), usage,
                                       is32 ? D3DFMT_INDEX32 : D3DFMT_INDEX16, pool, ib.out());
    if (FAILED(hr)) {
        MsgErr(hr, "Err Create ib");
        ib.reset();
    }
    return ib;
}

CMyComPtr<IDirect3DVertexBuffer8> create_vb(IDirect3DDevice8* device, DWORD format, DWORD count, DWORD usage,
                                            D3DPOOL pool) {
    CMyComPtr<IDirect3DVertexBuffer8> vb;
    const uint64_t bytes = uint64_t{fvf::get_fvf_size(format)} * count;
    HRESULT hr = D3DERR_INVALIDCALL;
    if (device && bytes <= UINT32_MAX)
        hr = device->CreateVertexBuffer(static_cast<UINT>(bytes), usage, format, pool, vb.out());
    if (FAILED(hr)) {
        MsgErr(hr, "Err Create VB");
        vb.reset();
    }
    return vb;
}

bool fail(const char* text) {
    AfxMessageBox(text);
    return false;
}

} // namespace

UINT fvf::get_fvf_size(DWORD format) {
    return D3DXGetFVFVertexSize(format);
}

CString fvf::get_fvf_name(DWORD format) {
    CString name;
    if (format & D3DFVF_XYZ) name += "Xyz";
    if (format & D3DFVF_XYZRHW) name += "Xyzw";
    if (format & D3DFVF_NORMAL) name += ",Nor";
    if (format & D3DFVF_DIFFUSE) name += ",Dif";
    if (format & D3DFVF_SPECULAR) name += ",Spec";
    static const char* const uv[] = {"", ",Uv1", ",Uv2", ",Uv3", ",Uv4"};
    const DWORD sets = (format >> 8) & 0xF;
    if (sets <= 4) name += uv[sets];
    return name;
}

int fvf::does_fvf_have_such_coord_index(DWORD format, int index) {
    if (index == D3DTSS_TCI_CAMERASPACENORMAL || index == D3DTSS_TCI_CAMERASPACEPOSITION ||
        index == D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR)
        return 1;
    return index >= 0 && index < 8 && index < static_cast<int>((format >> 8) & 0xF);
}

CMyComPtr<IDirect3DIndexBuffer8> CreateDynamicIb(IDirect3DDevice8* device, unsigned faces, bool is32) {
    return create_ib(device, faces, is32, dynamic_usage, D3DPOOL_DEFAULT);
}
CMyComPtr<IDirect3DIndexBuffer8> CreateStaticIb(IDirect3DDevice8* device, unsigned faces, bool is32) {
    return create_ib(device, faces, is32, 0, D3DPOOL_DEFAULT);
}
CMyComPtr<IDirect3DIndexBuffer8> CreateManagedIb(IDirect3DDevice8* device, unsigned faces, bool is32) {
    return create_ib(device, faces, is32, 0, D3DPOOL_MANAGED);
}

bool Is32BitIndexBuffer(CMyComPtr<IDirect3DIndexBuffer8> ib) {
    D3DINDEXBUFFER_DESC desc{};
    return ib && SUCCEEDED(ib->GetDesc(&desc)) && desc.Format == D3DFMT_INDEX32;
}

bool Is32BitIndexBuffer(CMyComPtr<ID3DXMesh> mesh) {
    return mesh && (mesh->GetOptions() & D3DXMESH_32BIT);
}

unsigned GetFaceCount(CMyComPtr<IDirect3DIndexBuffer8> ib) {
    D3DINDEXBUFFER_DESC desc{};
    if (!ib || FAILED(ib->GetDesc(&desc))) return 0;
    return desc.Size / (desc.Format == D3DFMT_INDEX32 ? 12 : 6);
}

BYTE* LockIndexBuffer(CMyComPtr<IDirect3DIndexBuffer8> ib) {
    D3DINDEXBUFFER_DESC desc{};
    BYTE* data = nullptr;
    if (!ib || FAILED(ib->GetDesc(&desc)) || FAILED(ib->Lock(0, 0, &data, lock_flags_for(desc.Usage))))
        return nullptr;
    return data;
}

BYTE* LockIndexBuffer(CMyComPtr<ID3DXMesh> mesh) {
    BYTE* data = nullptr;
    if (!mesh || FAILED(mesh->LockIndexBuffer(0, &data))) return nullptr;
    return data;
}

BYTE* qcore::detail::lock_index_buffer_for_reading(IDirect3DIndexBuffer8* ib) {
    BYTE* data = nullptr;
    if (!ib || FAILED(ib->Lock(0, 0, &data, D3DLOCK_READONLY | D3DLOCK_NOSYSLOCK))) return nullptr;
    return data;
}

bool CopyIndexBuffer(CMyComPtr<IDirect3DIndexBuffer8> src, CMyComPtr<IDirect3DIndexBuffer8> dst,
                     unsigned faces) {
    if (!src || !dst) return fail("0 pointer");
    const bool is32 = Is32BitIndexBuffer(src);
    if (is32 != Is32BitIndexBuffer(dst)) return fail("ib format not equal");
    const unsigned n = GetFaceCount(src), m = GetFaceCount(dst);
    unsigned count = n;
    if (faces != 0) {
        if (n < faces || m < faces) return fail("too many copy face count");
        count = faces;
    } else if (n != m) {
        return fail("face count not match");
    }
    // The source is read, never discarded: a dynamic source would otherwise hand out empty memory.
    BYTE* from = qcore::detail::lock_index_buffer_for_reading(src);
    if (!from) return false;
    BYTE* to = LockIndexBuffer(dst);
    if (to) std::memcpy(to, from, size_t{count} * 3 * (is32 ? 4 : 2));
    src->Unlock();
    if (!to) return false;
    dst->Unlock();
    return true;
}

bool CopyMeshIndexBuffer(CMyComPtr<ID3DXMesh> src, CMyComPtr<ID3DXMesh> dst, unsigned faces) {
    if (!src || !dst) return fail("0 pointer");
    const bool is32 = Is32BitIndexBuffer(src);
    if (is32 != Is32BitIndexBuffer(dst)) return fail("copy mesh index buffer err");
    unsigned n = src->GetNumFaces();
    const unsigned m = dst->GetNumFaces();
    if (faces != 0) {
        if (faces > n) return fail("copy mesh ib err");
        n = faces;
    }
    if (m < n) return fail("copy mesh ib err");
    CIbProxy from(src.get()), to(dst.get());
    if (!from.p() || !to.p()) return false;
    std::memcpy(to.p(), from.p(), size_t{n} * 3 * (is32 ? 4 : 2));
    return true;
}

CMyComPtr<IDirect3DVertexBuffer8> CreateDynamicVb(IDirect3DDevice8* device, DWORD format, DWORD count,
                                                  bool points) {
    return create_vb(device, format, count, points ? dynamic_usage | D3DUSAGE_POINTS : dynamic_usage,
                     D3DPOOL_DEFAULT);
}
CMyComPtr<IDirect3DVertexBuffer8> CreateStaticVb(IDirect3DDevice8* device, DWORD format, DWORD count,
                                                 bool points) {
    return create_vb(device, format, count, points ? D3DUSAGE_POINTS : 0, D3DPOOL_DEFAULT);
}
CMyComPtr<IDirect3DVertexBuffer8> CreateManagedVb(IDirect3DDevice8* device, DWORD format, DWORD count,
                                                  bool points) {
    return create_vb(device, format, count, points ? D3DUSAGE_POINTS : 0, D3DPOOL_MANAGED);
}

BYTE* LockVertexBuffer(IDirect3DVertexBuffer8* vb) {
    D3DVERTEXBUFFER_DESC desc{};
    BYTE* data = nullptr;
    if (!vb || FAILED(vb->GetDesc(&desc)) || FAILED(vb->Lock(0, 0, &data, lock_flags_for(desc.Usage))))
        return nullptr;
    return data;
}

BYTE* LockVertexBuffer(CMyComPtr<ID3DXMesh> mesh) {
    BYTE* data = nullptr;
    if (!mesh || FAILED(mesh->LockVertexBuffer(0, &data))) return nullptr;
    return data;
}

DWORD GetFvf(IDirect3DVertexBuffer8* vb) {
    D3DVERTEXBUFFER_DESC desc{};
    if (!vb || FAILED(vb->GetDesc(&desc))) return 0;
    return desc.FVF;
}

bool CopyMeshVertexBuffer(CMyComPtr<ID3DXMesh> src, CMyComPtr<ID3DXMesh> dst, unsigned count,
                          bool positions_only) {
    if (!src || !dst) return fail("0 pointer");
    if (src->GetFVF() != dst->GetFVF() && !positions_only) return fail("mesh fvf not match");
    unsigned n = src->GetNumVertices();
    const unsigned m = dst->GetNumVertices();
    if (count != 0) {
        if (n < count || m < count) return fail("too many copy ver count");
        n = count;
    } else if (n != m) {
        return fail("mesh ver count not match");
    }
    CVbProxy from(src.get()), to(dst.get());
    if (!from.p() || !to.p()) return false;
    if (positions_only) {
        for (unsigned i = 0; i < n; ++i)
            to.Position(static_cast<int>(i)) = from.Position(static_cast<int>(i));
    } else {
        std::memcpy(to.p(), from.p(), size_t{n} * from.get_fvf_size());
    }
    return true;
}
