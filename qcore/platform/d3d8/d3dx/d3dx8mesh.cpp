#include <qcore/platform/d3d8/d3dx/d3dx8mesh.h>
#include <qcore/platform/d3d8/d3dx/mesh_algorithms.h>
#include <qcore/platform/win32/com_ref.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <vector>

using qcore::ComRef;

namespace {

// Reference counting shared by the buffer and the mesh; objects end on their last Release.
template <class Interface> class RefCounted : public Interface {
public:
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

private:
    std::atomic<ULONG> refs_{1};
};

HRESULT hand_out(IUnknown* object, void** out) {
    object->AddRef();
    *out = object;
    return S_OK;
}

class Buffer final : public RefCounted<ID3DXBuffer> {
public:
    explicit Buffer(size_t size) : bytes_(size, 0) {}
    HRESULT QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (riid == IID_IUnknown || riid == IID_ID3DXBuffer) return hand_out(this, out);
        return E_NOINTERFACE;
    }
    LPVOID GetBufferPointer() override { return bytes_.empty() ? nullptr : bytes_.data(); }
    DWORD GetBufferSize() override { return DWORD(bytes_.size()); }

private:
    std::vector<uint8_t> bytes_;
};

HRESULT make_buffer(const void* data, size_t bytes, ID3DXBuffer** out) {
    if (HRESULT hr = D3DXCreateBuffer(DWORD(bytes), out); FAILED(hr)) return hr;
    if (bytes) std::memcpy((*out)->GetBufferPointer(), data, bytes);
    return S_OK;
}

D3DPOOL pool_of(DWORD options, DWORD systemmem, DWORD managed) {
    if (options & systemmem) return D3DPOOL_SYSTEMMEM;
    if (options & managed) return D3DPOOL_MANAGED;
    return D3DPOOL_DEFAULT;
}

DWORD usage_of(DWORD options, DWORD writeonly, DWORD dynamic, DWORD software) {
    DWORD usage = 0;
    if (options & writeonly) usage |= D3DUSAGE_WRITEONLY;
    if (options & dynamic) usage |= D3DUSAGE_DYNAMIC;
    if (options & software) usage |= D3DUSAGE_SOFTWAREPROCESSING;
    if (options & D3DXMESH_DONOTCLIP) usage |= D3DUSAGE_DONOTCLIP;
    if (options & D3DXMESH_POINTS) usage |= D3DUSAGE_POINTS;
    if (options & D3DXMESH_RTPATCHES) usage |= D3DUSAGE_RTPATCHES;
    if (options & D3DXMESH_NPATCHES) usage |= D3DUSAGE_NPATCHES;
    return usage;
}

// Mesh contents read out through the interface, so that the free functions work on any mesh.
HRESULT read_indices(ID3DXBaseMesh* mesh, std::vector<uint32_t>& out) {
    const size_t count = size_t(mesh->GetNumFaces()) * 3;
    BYTE* data = nullptr;
    if (HRESULT hr = mesh->LockIndexBuffer(D3DLOCK_READONLY, &data); FAILED(hr)) return hr;
    out.resize(count);
    if (mesh->GetOptions() & D3DXMESH_32BIT) {
        std::memcpy(out.data(), data, count * 4);
    } else {
        const auto* narrow = reinterpret_cast<const uint16_t*>(data);
        std::copy(narrow, narrow + count, out.begin());
    }
    return mesh->UnlockIndexBuffer();
}

HRESULT write_indices(ID3DXBaseMesh* mesh, const std::vector<uint32_t>& in) {
    BYTE* data = nullptr;
    if (HRESULT hr = mesh->LockIndexBuffer(0, &data); FAILED(hr)) return hr;
    if (mesh->GetOptions() & D3DXMESH_32BIT) {
        std::memcpy(data, in.data(), in.size() * 4);
    } else {
        auto* narrow = reinterpret_cast<uint16_t*>(data);
        for (size_t i = 0; i < in.size(); ++i)
            narrow[i] = uint16_t(in[i]);
    }
    return mesh->UnlockIndexBuffer();
}

HRESULT read_vertices(ID3DXBaseMesh* mesh, std::vector<uint8_t>& out) {
    const size_t bytes = size_t(mesh->GetNumVertices()) * D3DXGetFVFVertexSize(mesh->GetFVF());
    BYTE* data = nullptr;
    if (HRESULT hr = mesh->LockVertexBuffer(D3DLOCK_READONLY, &data); FAILED(hr)) return hr;
    out.assign(data, data + bytes);
    return mesh->UnlockVertexBuffer();
}

// Indices of a mesh must name its vertices before any algorithm follows them.
bool indices_valid(const std::vector<uint32_t>& indices, DWORD vertices) {
    return std::all_of(indices.begin(), indices.end(), [&](uint32_t i) { return i < vertices; });
}

bool adjacency_valid(const DWORD* adjacency, DWORD faces) {
    return std::all_of(adjacency, adjacency + size_t(faces) * 3,
                       [&](DWORD f) { return f < faces || f == qcore::detail::no_neighbour; });
}

class Mesh final : public RefCounted<ID3DXMesh> {
public:
    static HRESULT create(DWORD faces, DWORD vertices, DWORD options, DWORD fvf, IDirect3DDevice8* device,
                          ComRef<Mesh>& out);

    HRESULT QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (riid == IID_IUnknown || riid == IID_ID3DXBaseMesh || riid == IID_ID3DXMesh)
            return hand_out(this, out);
        return E_NOINTERFACE;
    }
    HRESULT DrawSubset(DWORD attribute) override;
    DWORD GetNumFaces() override { return faces_; }
    DWORD GetNumVertices() override { return vertices_; }
    DWORD GetFVF() override { return fvf_; }
    DWORD GetOptions() override { return options_; }
    HRESULT GetDevice(IDirect3DDevice8** out) override {
        if (!out) return D3DERR_INVALIDCALL;
        device_->AddRef();
        *out = device_.get();
        return S_OK;
    }
    HRESULT CloneMeshFVF(DWORD options, DWORD fvf, IDirect3DDevice8* device, ID3DXMesh** out) override;
    HRESULT GetVertexBuffer(IDirect3DVertexBuffer8** out) override {
        if (!out) return D3DERR_INVALIDCALL;
        vb_->AddRef();
        *out = vb_.get();
        return S_OK;
    }
    HRESULT GetIndexBuffer(IDirect3DIndexBuffer8** out) override {
        if (!out) return D3DERR_INVALIDCALL;
        ib_->AddRef();
        *out = ib_.get();
        return S_OK;
    }
    HRESULT LockVertexBuffer(DWORD flags, BYTE** data) override {
        return data ? vb_->Lock(0, 0, data, flags) : D3DERR_INVALIDCALL;
    }
    HRESULT UnlockVertexBuffer() override { return vb_->Unlock(); }
    HRESULT LockIndexBuffer(DWORD flags, BYTE** data) override {
        return data ? ib_->Lock(0, 0, data, flags) : D3DERR_INVALIDCALL;
    }
    HRESULT UnlockIndexBuffer() override { return ib_->Unlock(); }
    HRESULT GetAttributeTable(D3DXATTRIBUTERANGE* table, DWORD* size) override {
        if (!size) return D3DERR_INVALIDCALL;
        if (table) std::copy(table_.begin(), table_.end(), table);
        *size = DWORD(table_.size());
        return S_OK;
    }
    HRESULT GenerateAdjacency(FLOAT epsilon, DWORD* adjacency) override;
    HRESULT LockAttributeBuffer(DWORD, DWORD** data) override {
        if (!data) return D3DERR_INVALIDCALL;
        *data = attributes_.data();
        return S_OK;
    }
    HRESULT UnlockAttributeBuffer() override { return S_OK; }
    HRESULT Optimize(DWORD flags, const DWORD* adjacency_in, DWORD* adjacency_out, DWORD* face_remap,
                     ID3DXBuffer** vertex_remap, ID3DXMesh** out) override;
    HRESULT OptimizeInplace(DWORD flags, const DWORD* adjacency_in, DWORD* adjacency_out, DWORD* face_remap,
                            ID3DXBuffer** vertex_remap) override;

private:
    Mesh() = default;
    ~Mesh() = default;
    friend class RefCounted<ID3DXMesh>;

    HRESULT create_vertex_buffer(DWORD vertices, ComRef<IDirect3DVertexBuffer8>& out) const {
        const DWORD o = options_;
        return device_->CreateVertexBuffer(
            UINT(vertices * stride_),
            usage_of(o, D3DXMESH_VB_WRITEONLY, D3DXMESH_VB_DYNAMIC, D3DXMESH_VB_SOFTWAREPROCESSING), fvf_,
            pool_of(o, D3DXMESH_VB_SYSTEMMEM, D3DXMESH_VB_MANAGED), out.out());
    }
    void rebuild_attribute_table(const std::vector<uint32_t>& indices);

    ComRef<IDirect3DDevice8> device_;
    ComRef<IDirect3DVertexBuffer8> vb_;
    ComRef<IDirect3DIndexBuffer8> ib_;
    std::vector<DWORD> attributes_;
    std::vector<D3DXATTRIBUTERANGE> table_;
    DWORD options_ = 0, fvf_ = 0, faces_ = 0, vertices_ = 0;
    uint32_t stride_ = 0;
};

HRESULT Mesh::create(DWORD faces, DWORD vertices, DWORD options, DWORD fvf, IDirect3DDevice8* device,
                     ComRef<Mesh>& out) {
    const uint32_t stride = qcore::detail::fvf_layout(fvf).stride;
    const bool wide = options & D3DXMESH_32BIT;
    if (!device || faces == 0 || vertices == 0 || stride == 0 || (!wide && vertices > 0x10000))
        return D3DERR_INVALIDCALL;
    if (uint64_t(vertices) * stride > 0xFFFFFFFFu || uint64_t(faces) * 3 * (wide ? 4 : 2) > 0xFFFFFFFFu)
        return E_OUTOFMEMORY;
    ComRef<Mesh> mesh(new Mesh());
    device->AddRef();
    mesh->device_.reset(device);
    mesh->options_ = options;
    mesh->fvf_ = fvf;
    mesh->faces_ = faces;
    mesh->vertices_ = vertices;
    mesh->stride_ = stride;
    if (HRESULT hr = mesh->create_vertex_buffer(vertices, mesh->vb_); FAILED(hr)) return hr;
    if (HRESULT hr = device->CreateIndexBuffer(
            UINT(faces * 3 * (wide ? 4 : 2)),
            usage_of(options, D3DXMESH_IB_WRITEONLY, D3DXMESH_IB_DYNAMIC, D3DXMESH_IB_SOFTWAREPROCESSING),
            wide ? D3DFMT_INDEX32 : D3DFMT_INDEX16,
            pool_of(options, D3DXMESH_IB_SYSTEMMEM, D3DXMESH_IB_MANAGED), mesh->ib_.out());
        FAILED(hr))
        return hr;
    mesh->attributes_.assign(faces, 0);
    out = std::move(mesh);
    return S_OK;
}

HRESULT Mesh::DrawSubset(DWORD attribute) {
    device_->SetStreamSource(0, vb_.get(), stride_);
    device_->SetIndices(ib_.get(), 0);
    device_->SetVertexShader(fvf_);
    if (!table_.empty()) {
        for (const D3DXATTRIBUTERANGE& r : table_)
            if (r.AttribId == attribute && r.FaceCount)
                return device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, r.VertexStart, r.VertexCount,
                                                     r.FaceStart * 3, r.FaceCount);
        return S_OK;
    }
    // Without a table, each run of faces with the attribute is drawn on its own.
    for (DWORD f = 0; f < faces_;) {
        if (attributes_[f] != attribute) {
            ++f;
            continue;
        }
        DWORD e = f;
        while (e < faces_ && attributes_[e] == attribute)
            ++e;
        if (HRESULT hr = device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, vertices_, f * 3, e - f);
            FAILED(hr))
            return hr;
        f = e;
    }
    return S_OK;
}

HRESULT Mesh::CloneMeshFVF(DWORD options, DWORD fvf, IDirect3DDevice8* device, ID3DXMesh** out) {
    if (!out || !device) return D3DERR_INVALIDCALL;
    *out = nullptr;
    std::vector<uint32_t> indices;
    std::vector<uint8_t> vertices;
    if (HRESULT hr = read_indices(this, indices); FAILED(hr)) return hr;
    if (HRESULT hr = read_vertices(this, vertices); FAILED(hr)) return hr;
    // Narrowing to 16 bits only when every index fits.
    if (!(options & D3DXMESH_32BIT) &&
        (vertices_ > 0x10000 ||
         std::any_of(indices.begin(), indices.end(), [](uint32_t i) { return i > 0xFFFF; })))
        return D3DERR_INVALIDCALL;
    ComRef<Mesh> clone;
    if (HRESULT hr = create(faces_, vertices_, options, fvf, device, clone); FAILED(hr)) return hr;
    BYTE* data = nullptr;
    if (HRESULT hr = clone->LockVertexBuffer(0, &data); FAILED(hr)) return hr;
    qcore::detail::convert_vertices(vertices.data(), fvf_, data, fvf, vertices_);
    clone->UnlockVertexBuffer();
    if (HRESULT hr = write_indices(clone.get(), indices); FAILED(hr)) return hr;
    clone->attributes_ = attributes_;
    clone->table_ = table_;
    *out = clone.detach();
    return S_OK;
}

HRESULT Mesh::GenerateAdjacency(FLOAT epsilon, DWORD* adjacency) {
    if (!adjacency || !(epsilon >= 0)) return D3DERR_INVALIDCALL;
    std::vector<uint32_t> indices;
    std::vector<uint8_t> vertices;
    if (HRESULT hr = read_indices(this, indices); FAILED(hr)) return hr;
    if (HRESULT hr = read_vertices(this, vertices); FAILED(hr)) return hr;
    if (!indices_valid(indices, vertices_)) return D3DXERR_INVALIDMESH;
    const std::vector<uint32_t> result = qcore::detail::generate_adjacency(
        {vertices.data(), stride_}, vertices_, indices.data(), faces_, epsilon);
    std::copy(result.begin(), result.end(), adjacency);
    return S_OK;
}

void Mesh::rebuild_attribute_table(const std::vector<uint32_t>& indices) {
    table_.clear();
    for (DWORD f = 0; f < faces_;) {
        DWORD e = f;
        uint32_t low = ~0u, high = 0;
        for (; e < faces_ && attributes_[e] == attributes_[f]; ++e)
            for (int c = 0; c < 3; ++c)
                low = std::min(low, indices[e * 3 + c]), high = std::max(high, indices[e * 3 + c]);
        table_.push_back({attributes_[f], f, e - f, low, high - low + 1});
        f = e;
    }
}

HRESULT Mesh::OptimizeInplace(DWORD flags, const DWORD* adjacency_in, DWORD* adjacency_out, DWORD* face_remap,
                              ID3DXBuffer** vertex_remap) {
    if ((flags & D3DXMESHOPT_VERTEXCACHE) && (flags & D3DXMESHOPT_STRIPREORDER)) return D3DERR_INVALIDCALL;
    if (adjacency_in && !adjacency_valid(adjacency_in, faces_)) return D3DERR_INVALIDCALL;
    std::vector<uint32_t> indices;
    std::vector<uint8_t> vertices;
    if (HRESULT hr = read_indices(this, indices); FAILED(hr)) return hr;
    if (HRESULT hr = read_vertices(this, vertices); FAILED(hr)) return hr;
    if (!indices_valid(indices, vertices_)) return D3DXERR_INVALIDMESH;

    // The old adjacency is kept before anything moves: the output may share the input's memory.
    std::vector<uint32_t> adjacency;
    if (adjacency_out)
        adjacency = adjacency_in ? std::vector<uint32_t>(adjacency_in, adjacency_in + size_t(faces_) * 3)
                                 : qcore::detail::generate_adjacency({vertices.data(), stride_}, vertices_,
                                                                     indices.data(), faces_, 0.0f);

    qcore::detail::OptimizeRequest request;
    request.attribute_sort = flags & D3DXMESHOPT_ATTRSORT;
    request.vertex_cache = flags & D3DXMESHOPT_VERTEXCACHE;
    request.strip_order = flags & D3DXMESHOPT_STRIPREORDER;
    request.compact = flags & D3DXMESHOPT_COMPACT;
    request.ignore_vertices = flags & D3DXMESHOPT_IGNOREVERTS;
    request.face_remap_wanted = adjacency_out || face_remap;
    const qcore::detail::MeshOrder order =
        qcore::detail::optimize_order(indices.data(), faces_, vertices_, attributes_.data(), request);
    const auto kept = DWORD(order.vertex_remap.size());

    ComRef<IDirect3DVertexBuffer8> vb;
    if (kept != vertices_) {
        if (HRESULT hr = create_vertex_buffer(kept, vb); FAILED(hr)) return hr;
    }
    IDirect3DVertexBuffer8* target = vb ? vb.get() : vb_.get();
    BYTE* data = nullptr;
    if (HRESULT hr = target->Lock(0, 0, &data, 0); FAILED(hr)) return hr;
    for (DWORD v = 0; v < kept; ++v)
        std::memcpy(data + size_t(v) * stride_, vertices.data() + size_t(order.vertex_remap[v]) * stride_,
                    stride_);
    target->Unlock();
    if (vb) vb_ = std::move(vb), vertices_ = kept;
    if (HRESULT hr = write_indices(this, order.indices); FAILED(hr)) return hr;

    std::vector<uint32_t> new_face(adjacency_out ? faces_ : 0);
    if (!order.face_remap.empty()) {
        std::vector<DWORD> attributes(faces_);
        for (DWORD f = 0; f < faces_; ++f) {
            attributes[f] = attributes_[order.face_remap[f]];
            if (adjacency_out) new_face[order.face_remap[f]] = f;
        }
        attributes_ = std::move(attributes);
    }
    if (request.attribute_sort || request.vertex_cache || request.strip_order)
        rebuild_attribute_table(order.indices);

    if (adjacency_out)
        for (DWORD f = 0; f < faces_; ++f)
            for (int c = 0; c < 3; ++c) {
                const uint32_t n = adjacency[size_t(order.face_remap[f]) * 3 + c];
                adjacency_out[f * 3 + c] = n == qcore::detail::no_neighbour ? n : new_face[n];
            }
    if (face_remap) std::copy(order.face_remap.begin(), order.face_remap.end(), face_remap);
    if (vertex_remap)
        return make_buffer(order.vertex_remap.data(), order.vertex_remap.size() * 4, vertex_remap);
    return S_OK;
}

HRESULT Mesh::Optimize(DWORD flags, const DWORD* adjacency_in, DWORD* adjacency_out, DWORD* face_remap,
                       ID3DXBuffer** vertex_remap, ID3DXMesh** out) {
    if (!out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    // The low bits carry the new mesh's options, the high bits the optimisation.
    ComRef<ID3DXMesh> copy;
    if (HRESULT hr =
            CloneMeshFVF(flags & 0xFFFFFF & ~DWORD(D3DXMESHOPT_SHAREVB), fvf_, device_.get(), copy.out());
        FAILED(hr))
        return hr;
    if (HRESULT hr =
            copy->OptimizeInplace(flags & 0xFF000000u, adjacency_in, adjacency_out, face_remap, vertex_remap);
        FAILED(hr))
        return hr;
    *out = copy.detach();
    return S_OK;
}

HRESULT make_shape(IDirect3DDevice8* device, const qcore::detail::ShapeMesh& shape, ID3DXMesh** mesh,
                   ID3DXBuffer** adjacency) {
    if (!device || !mesh) return D3DERR_INVALIDCALL;
    *mesh = nullptr;
    const auto vertices = DWORD(shape.positions.size()), faces = DWORD(shape.indices.size() / 3);
    const DWORD options = D3DXMESH_MANAGED | (vertices > 0x10000 ? D3DXMESH_32BIT : 0);
    ComRef<ID3DXMesh> result;
    if (HRESULT hr =
            D3DXCreateMeshFVF(faces, vertices, options, D3DFVF_XYZ | D3DFVF_NORMAL, device, result.out());
        FAILED(hr))
        return hr;
    BYTE* data = nullptr;
    if (HRESULT hr = result->LockVertexBuffer(0, &data); FAILED(hr)) return hr;
    for (DWORD v = 0; v < vertices; ++v) {
        std::memcpy(data + v * 24, &shape.positions[v], 12);
        std::memcpy(data + v * 24 + 12, &shape.normals[v], 12);
    }
    result->UnlockVertexBuffer();
    if (HRESULT hr = write_indices(result.get(), shape.indices); FAILED(hr)) return hr;
    if (adjacency) {
        const std::vector<uint32_t> adj =
            qcore::detail::generate_adjacency({reinterpret_cast<const uint8_t*>(shape.positions.data()), 12},
                                              vertices, shape.indices.data(), faces, 0.0f);
        if (HRESULT hr = make_buffer(adj.data(), adj.size() * 4, adjacency); FAILED(hr)) return hr;
    }
    *mesh = result.detach();
    return S_OK;
}

// Shapes are refused when their tessellation would not fit one mesh.
bool sane_tessellation(uint64_t a, uint64_t b) {
    return a * b <= (1u << 22);
}

} // namespace

HRESULT D3DXCreateBuffer(DWORD NumBytes, ID3DXBuffer** ppBuffer) {
    if (!ppBuffer) return D3DERR_INVALIDCALL;
    *ppBuffer = new (std::nothrow) Buffer(NumBytes);
    return *ppBuffer ? S_OK : E_OUTOFMEMORY;
}

UINT D3DXGetFVFVertexSize(DWORD FVF) {
    return qcore::detail::fvf_layout(FVF).stride;
}

HRESULT D3DXCreateMeshFVF(DWORD NumFaces, DWORD NumVertices, DWORD Options, DWORD FVF,
                          IDirect3DDevice8* pDevice, ID3DXMesh** ppMesh) {
    if (!ppMesh) return D3DERR_INVALIDCALL;
    *ppMesh = nullptr;
    ComRef<Mesh> mesh;
    if (HRESULT hr = Mesh::create(NumFaces, NumVertices, Options, FVF, pDevice, mesh); FAILED(hr)) return hr;
    *ppMesh = mesh.detach();
    return S_OK;
}

HRESULT D3DXComputeNormals(ID3DXBaseMesh* pMesh, const DWORD* pAdjacency) {
    if (!pMesh) return D3DERR_INVALIDCALL;
    const qcore::detail::FvfLayout layout = qcore::detail::fvf_layout(pMesh->GetFVF());
    const DWORD faces = pMesh->GetNumFaces(), count = pMesh->GetNumVertices();
    if (!layout.has_normal || (pAdjacency && !adjacency_valid(pAdjacency, faces))) return D3DERR_INVALIDCALL;
    std::vector<uint32_t> indices;
    if (HRESULT hr = read_indices(pMesh, indices); FAILED(hr)) return hr;
    if (!indices_valid(indices, count)) return D3DXERR_INVALIDMESH;
    BYTE* data = nullptr;
    if (HRESULT hr = pMesh->LockVertexBuffer(0, &data); FAILED(hr)) return hr;
    const std::vector<qcore::detail::Float3> normals =
        qcore::detail::compute_normals({data, layout.stride}, count, indices.data(), faces, pAdjacency);
    for (DWORD v = 0; v < count; ++v)
        std::memcpy(data + size_t(v) * layout.stride + layout.normal, &normals[v], 12);
    return pMesh->UnlockVertexBuffer();
}

HRESULT D3DXCreateBox(IDirect3DDevice8* pDevice, FLOAT Width, FLOAT Height, FLOAT Depth, ID3DXMesh** ppMesh,
                      ID3DXBuffer** ppAdjacency) {
    if (!(Width >= 0 && Height >= 0 && Depth >= 0)) return D3DERR_INVALIDCALL;
    return make_shape(pDevice, qcore::detail::make_box(Width, Height, Depth), ppMesh, ppAdjacency);
}

HRESULT D3DXCreateSphere(IDirect3DDevice8* pDevice, FLOAT Radius, UINT Slices, UINT Stacks,
                         ID3DXMesh** ppMesh, ID3DXBuffer** ppAdjacency) {
    if (!(Radius >= 0) || Slices < 2 || Stacks < 2 || !sane_tessellation(Slices, Stacks))
        return D3DERR_INVALIDCALL;
    return make_shape(pDevice, qcore::detail::make_sphere(Radius, Slices, Stacks), ppMesh, ppAdjacency);
}

HRESULT D3DXCreateCylinder(IDirect3DDevice8* pDevice, FLOAT Radius1, FLOAT Radius2, FLOAT Length, UINT Slices,
                           UINT Stacks, ID3DXMesh** ppMesh, ID3DXBuffer** ppAdjacency) {
    if (!(Radius1 >= 0 && Radius2 >= 0 && Length >= 0) || Slices < 2 || Stacks < 1 ||
        !sane_tessellation(Slices, Stacks + 3))
        return D3DERR_INVALIDCALL;
    return make_shape(pDevice, qcore::detail::make_cylinder(Radius1, Radius2, Length, Slices, Stacks), ppMesh,
                      ppAdjacency);
}

HRESULT D3DXCreateTorus(IDirect3DDevice8* pDevice, FLOAT InnerRadius, FLOAT OuterRadius, UINT Sides,
                        UINT Rings, ID3DXMesh** ppMesh, ID3DXBuffer** ppAdjacency) {
    if (!(InnerRadius >= 0 && OuterRadius >= 0) || Sides < 3 || Rings < 3 || !sane_tessellation(Sides, Rings))
        return D3DERR_INVALIDCALL;
    return make_shape(pDevice, qcore::detail::make_torus(InnerRadius, OuterRadius, Sides, Rings), ppMesh,
                      ppAdjacency);
}
