// Meshes: cloning between the library's vertex formats, adjacency, optimisation, normals and shapes.
#include "device_fixture.h"

#include <qcore/platform/d3d8/d3dx/d3dx8mesh.h>

#include <meshoptimizer.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <map>
#include <random>

namespace {

using Vec = std::array<float, 3>;

class MeshTest : public qcore::test::D3dxDeviceTest {
protected:
    ID3DXMesh* make(DWORD faces, DWORD vertices, DWORD options, DWORD fvf) {
        ID3DXMesh* mesh = nullptr;
        EXPECT_EQ(D3DXCreateMeshFVF(faces, vertices, options, fvf, device_, &mesh), D3D_OK);
        return mesh;
    }
    static std::vector<uint32_t> indices(ID3DXMesh* mesh) {
        BYTE* p = nullptr;
        EXPECT_EQ(mesh->LockIndexBuffer(D3DLOCK_READONLY, &p), D3D_OK);
        std::vector<uint32_t> out(mesh->GetNumFaces() * 3);
        for (size_t i = 0; i < out.size(); ++i)
            out[i] = mesh->GetOptions() & D3DXMESH_32BIT ? reinterpret_cast<uint32_t*>(p)[i]
                                                         : reinterpret_cast<uint16_t*>(p)[i];
        mesh->UnlockIndexBuffer();
        return out;
    }
    static void set_indices(ID3DXMesh* mesh, const std::vector<uint32_t>& in) {
        BYTE* p = nullptr;
        ASSERT_EQ(mesh->LockIndexBuffer(0, &p), D3D_OK);
        for (size_t i = 0; i < in.size(); ++i)
            if (mesh->GetOptions() & D3DXMESH_32BIT)
                reinterpret_cast<uint32_t*>(p)[i] = in[i];
            else
                reinterpret_cast<uint16_t*>(p)[i] = uint16_t(in[i]);
        mesh->UnlockIndexBuffer();
    }
    static std::vector<Vec> positions(ID3DXMesh* mesh, size_t offset = 0) {
        BYTE* p = nullptr;
        EXPECT_EQ(mesh->LockVertexBuffer(D3DLOCK_READONLY, &p), D3D_OK);
        const UINT stride = D3DXGetFVFVertexSize(mesh->GetFVF());
        std::vector<Vec> out(mesh->GetNumVertices());
        for (size_t v = 0; v < out.size(); ++v)
            std::memcpy(out[v].data(), p + v * stride + offset, 12);
        mesh->UnlockVertexBuffer();
        return out;
    }
    // Triangles as position triples, each rotated to start at its smallest corner, sorted.
    static std::vector<std::array<Vec, 3>> triangle_set(ID3DXMesh* mesh) {
        const std::vector<Vec> pos = positions(mesh);
        const std::vector<uint32_t> idx = indices(mesh);
        std::vector<std::array<Vec, 3>> out;
        for (size_t f = 0; f < idx.size() / 3; ++f) {
            std::array<Vec, 3> t = {pos[idx[f * 3]], pos[idx[f * 3 + 1]], pos[idx[f * 3 + 2]]};
            std::rotate(t.begin(), std::min_element(t.begin(), t.end()), t.end());
            out.push_back(t);
        }
        std::sort(out.begin(), out.end());
        return out;
    }
    static std::vector<DWORD> adjacency(ID3DXMesh* mesh, float epsilon = 0) {
        std::vector<DWORD> adj(mesh->GetNumFaces() * 3);
        EXPECT_EQ(mesh->GenerateAdjacency(epsilon, adj.data()), D3D_OK);
        return adj;
    }
};

TEST_F(MeshTest, VertexSizesOfTheLibraryFormats) {
    const std::map<DWORD, UINT> sizes = {{2, 12},   {18, 24},  {66, 16},  {258, 20}, {274, 32},
                                         {322, 24}, {338, 36}, {530, 40}, {594, 44}, {0x144, 28}};
    for (auto [fvf, size] : sizes)
        EXPECT_EQ(D3DXGetFVFVertexSize(fvf), size) << fvf;
    EXPECT_EQ(D3DXGetFVFVertexSize(D3DFVF_XYZ | D3DFVF_TEX1 | D3DFVF_TEXCOORDSIZE3(0)), 24u);
    EXPECT_EQ(D3DXGetFVFVertexSize(0), 0u);
}

TEST_F(MeshTest, CloneRoundTripsThroughEveryFormat) {
    // Source: XYZ, NORMAL, DIFFUSE, two texture sets (594), filled with distinct floats.
    ID3DXMesh* src = make(1, 3, D3DXMESH_SYSTEMMEM, 594);
    BYTE* p = nullptr;
    ASSERT_EQ(src->LockVertexBuffer(0, &p), D3D_OK);
    for (int i = 0; i < 3 * 11; ++i)
        reinterpret_cast<float*>(p)[i] = float(i + 1);
    src->UnlockVertexBuffer();
    set_indices(src, {0, 1, 2});
    const std::vector<Vec> normals = positions(src, 12);

    for (DWORD fvf : {2u, 18u, 66u, 258u, 274u, 322u, 338u, 530u, 594u, 0x144u}) {
        ID3DXMesh* mid = nullptr;
        ASSERT_EQ(src->CloneMeshFVF(D3DXMESH_MANAGED, fvf, device_, &mid), D3D_OK) << fvf;
        EXPECT_EQ(mid->GetFVF(), fvf);
        EXPECT_EQ(positions(mid), positions(src)) << fvf;
        ID3DXMesh* back = nullptr;
        ASSERT_EQ(mid->CloneMeshFVF(D3DXMESH_SYSTEMMEM, 594, device_, &back), D3D_OK);
        EXPECT_EQ(positions(back), positions(src));
        EXPECT_EQ(positions(back, 12), (fvf & D3DFVF_NORMAL) ? normals : std::vector<Vec>(3, Vec{0, 0, 0}))
            << fvf;
        BYTE *a = nullptr, *b = nullptr;
        src->LockVertexBuffer(D3DLOCK_READONLY, &a);
        back->LockVertexBuffer(D3DLOCK_READONLY, &b);
        for (int v = 0; v < 3; ++v) {
            const bool diffuse = fvf & D3DFVF_DIFFUSE;
            EXPECT_EQ(std::memcmp(a + v * 44 + 24, b + v * 44 + 24, 4) == 0, diffuse) << fvf;
            const DWORD sets = (fvf >> 8) & 0xF;
            EXPECT_EQ(std::memcmp(a + v * 44 + 28, b + v * 44 + 28, 8) == 0, sets >= 1) << fvf;
            EXPECT_EQ(std::memcmp(a + v * 44 + 36, b + v * 44 + 36, 8) == 0, sets >= 2) << fvf;
        }
        src->UnlockVertexBuffer();
        back->UnlockVertexBuffer();
        EXPECT_EQ(indices(back), (std::vector<uint32_t>{0, 1, 2}));
        back->Release();
        mid->Release();
    }
    src->Release();
}

TEST_F(MeshTest, CloneWidensAndRefusesLossyNarrowing) {
    ID3DXMesh* narrow = make(1, 3, D3DXMESH_MANAGED, D3DFVF_XYZ);
    set_indices(narrow, {2, 1, 0});
    ID3DXMesh* wide = nullptr;
    ASSERT_EQ(narrow->CloneMeshFVF(D3DXMESH_MANAGED | D3DXMESH_32BIT, D3DFVF_XYZ, device_, &wide), D3D_OK);
    EXPECT_TRUE(wide->GetOptions() & D3DXMESH_32BIT);
    EXPECT_EQ(indices(wide), (std::vector<uint32_t>{2, 1, 0}));
    IDirect3DIndexBuffer8* ib = nullptr;
    ASSERT_EQ(wide->GetIndexBuffer(&ib), D3D_OK);
    D3DINDEXBUFFER_DESC desc{};
    ib->GetDesc(&desc);
    EXPECT_EQ(desc.Format, D3DFMT_INDEX32);
    ib->Release();

    ID3DXMesh* big = make(1, 70001, D3DXMESH_SYSTEMMEM | D3DXMESH_32BIT, D3DFVF_XYZ);
    set_indices(big, {0, 1, 70000});
    ID3DXMesh* lost = nullptr;
    EXPECT_EQ(big->CloneMeshFVF(D3DXMESH_SYSTEMMEM, D3DFVF_XYZ, device_, &lost), D3DERR_INVALIDCALL);
    EXPECT_EQ(lost, nullptr);
    ID3DXMesh* back = nullptr;
    EXPECT_EQ(wide->CloneMeshFVF(D3DXMESH_SYSTEMMEM, D3DFVF_XYZ, device_, &back), D3D_OK);
    back->Release();
    big->Release();
    wide->Release();
    narrow->Release();

    ID3DXMesh* none = nullptr;
    EXPECT_EQ(D3DXCreateMeshFVF(1, 70000, D3DXMESH_MANAGED, D3DFVF_XYZ, device_, &none), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXCreateMeshFVF(1, 3, D3DXMESH_MANAGED, 0, device_, &none), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXCreateMeshFVF(0, 3, D3DXMESH_MANAGED, D3DFVF_XYZ, device_, &none), D3DERR_INVALIDCALL);
}

TEST_F(MeshTest, OptionsChooseThePools) {
    struct Case {
        DWORD options;
        D3DPOOL pool;
        DWORD usage;
    };
    for (Case c : {Case{D3DXMESH_SYSTEMMEM, D3DPOOL_SYSTEMMEM, 0}, Case{D3DXMESH_MANAGED, D3DPOOL_MANAGED, 0},
                   Case{D3DXMESH_WRITEONLY, D3DPOOL_DEFAULT, D3DUSAGE_WRITEONLY},
                   Case{D3DXMESH_DYNAMIC, D3DPOOL_DEFAULT, D3DUSAGE_DYNAMIC}}) {
        ID3DXMesh* mesh = make(1, 3, c.options, D3DFVF_XYZ);
        IDirect3DVertexBuffer8* vb = nullptr;
        IDirect3DIndexBuffer8* ib = nullptr;
        mesh->GetVertexBuffer(&vb);
        mesh->GetIndexBuffer(&ib);
        D3DVERTEXBUFFER_DESC vd{};
        D3DINDEXBUFFER_DESC id{};
        vb->GetDesc(&vd);
        ib->GetDesc(&id);
        EXPECT_EQ(vd.Pool, c.pool);
        EXPECT_EQ(id.Pool, c.pool);
        EXPECT_EQ(vd.Usage, c.usage);
        EXPECT_EQ(vd.Size, 36u);
        EXPECT_EQ(id.Format, D3DFMT_INDEX16);
        vb->Release();
        ib->Release();
        mesh->Release();
    }
}

TEST_F(MeshTest, AdjacencyOfBoxAndQuad) {
    ID3DXMesh* box = nullptr;
    ID3DXBuffer* adj_buffer = nullptr;
    ASSERT_EQ(D3DXCreateBox(device_, 1, 2, 3, &box, &adj_buffer), D3D_OK);
    const std::vector<DWORD> adj = adjacency(box);
    ASSERT_EQ(adj.size(), 36u);
    EXPECT_EQ(adj_buffer->GetBufferSize(), 36u * 4);
    EXPECT_EQ(std::memcmp(adj_buffer->GetBufferPointer(), adj.data(), 36 * 4), 0);
    for (DWORD f = 0; f < 12; ++f)
        for (int j = 0; j < 3; ++j) {
            const DWORD g = adj[f * 3 + j];
            ASSERT_LT(g, 12u) << "face " << f << " edge " << j;
            EXPECT_NE(g, f);
            EXPECT_NE(std::find(adj.begin() + g * 3, adj.begin() + g * 3 + 3, f), adj.begin() + g * 3 + 3);
        }
    adj_buffer->Release();
    box->Release();

    // A quad of two triangles sharing the diagonal 0-2; a copy of vertex 2 nudged by 1e-4.
    ID3DXMesh* quad = make(2, 5, D3DXMESH_SYSTEMMEM, D3DFVF_XYZ);
    BYTE* p = nullptr;
    ASSERT_EQ(quad->LockVertexBuffer(0, &p), D3D_OK);
    const float verts[5][3] = {{0, 0, 0}, {0, 1, 0}, {1, 1, 0}, {1, 0, 0}, {1.0001f, 1, 0}};
    std::memcpy(p, verts, sizeof verts);
    quad->UnlockVertexBuffer();
    set_indices(quad, {0, 1, 2, 0, 2, 3});
    EXPECT_EQ(adjacency(quad), (std::vector<DWORD>{0xFFFFFFFF, 0xFFFFFFFF, 1, 0, 0xFFFFFFFF, 0xFFFFFFFF}));
    set_indices(quad, {0, 1, 2, 0, 4, 3});
    EXPECT_EQ(adjacency(quad)[2], 0xFFFFFFFFu);
    EXPECT_EQ(adjacency(quad, 0.001f),
              (std::vector<DWORD>{0xFFFFFFFF, 0xFFFFFFFF, 1, 0, 0xFFFFFFFF, 0xFFFFFFFF}));
    std::vector<DWORD> dummy(6);
    EXPECT_EQ(quad->GenerateAdjacency(-1.0f, dummy.data()), D3DERR_INVALIDCALL);
    quad->Release();
}

// A grid of n x n quads whose faces are shuffled, with two attributes and some unused vertices at the end.
ID3DXMesh* shuffled_grid(IDirect3DDevice8* device, uint32_t n, uint32_t unused) {
    const uint32_t side = n + 1, vertices = side * side + unused, faces = n * n * 2;
    ID3DXMesh* mesh = nullptr;
    EXPECT_EQ(D3DXCreateMeshFVF(faces, vertices, D3DXMESH_MANAGED | D3DXMESH_32BIT,
                                D3DFVF_XYZ | D3DFVF_NORMAL, device, &mesh),
              D3D_OK);
    BYTE* p = nullptr;
    mesh->LockVertexBuffer(0, &p);
    for (uint32_t v = 0; v < vertices; ++v) {
        const float xyz[6] = {float(v % side), float(v / side), 0, 0, 0, 1};
        std::memcpy(p + v * 24, xyz, 24);
    }
    mesh->UnlockVertexBuffer();
    std::vector<std::array<uint32_t, 3>> tris;
    for (uint32_t y = 0; y < n; ++y)
        for (uint32_t x = 0; x < n; ++x) {
            const uint32_t a = y * side + x;
            tris.push_back({a, a + side, a + side + 1});
            tris.push_back({a, a + side + 1, a + 1});
        }
    std::mt19937 rng(7);
    std::shuffle(tris.begin(), tris.end(), rng);
    mesh->LockIndexBuffer(0, &p);
    std::memcpy(p, tris.data(), tris.size() * 12);
    mesh->UnlockIndexBuffer();
    DWORD* attributes = nullptr;
    mesh->LockAttributeBuffer(0, &attributes);
    for (uint32_t f = 0; f < faces; ++f)
        attributes[f] = f % 3 == 0 ? 5 : 2;
    mesh->UnlockAttributeBuffer();
    return mesh;
}

TEST_F(MeshTest, OptimizeInplaceKeepsTrianglesAndLowersAcmr) {
    ID3DXMesh* mesh = shuffled_grid(device_, 24, 10);
    const auto before = triangle_set(mesh);
    const std::vector<Vec> old_positions = positions(mesh);
    const std::vector<uint32_t> old_indices = indices(mesh);
    const std::vector<DWORD> adj_in = adjacency(mesh);
    std::vector<DWORD> old_attributes(mesh->GetNumFaces());
    DWORD* attributes = nullptr;
    mesh->LockAttributeBuffer(D3DLOCK_READONLY, &attributes);
    std::copy(attributes, attributes + old_attributes.size(), old_attributes.begin());
    mesh->UnlockAttributeBuffer();
    auto acmr = [](const std::vector<uint32_t>& idx, size_t vertices) {
        return meshopt_analyzeVertexCache(idx.data(), idx.size(), vertices, 16, 0, 0).acmr;
    };
    const double acmr_before = acmr(old_indices, old_positions.size());

    std::vector<DWORD> adj_out(adj_in.size()), face_remap(mesh->GetNumFaces());
    ID3DXBuffer* vertex_remap = nullptr;
    ASSERT_EQ(mesh->OptimizeInplace(D3DXMESHOPT_COMPACT | D3DXMESHOPT_ATTRSORT | D3DXMESHOPT_VERTEXCACHE,
                                    adj_in.data(), adj_out.data(), face_remap.data(), &vertex_remap),
              D3D_OK);

    EXPECT_EQ(triangle_set(mesh), before);
    EXPECT_EQ(mesh->GetNumVertices(), 25u * 25u); // the unused vertices are gone
    const std::vector<uint32_t> new_indices = indices(mesh);
    EXPECT_LT(acmr(new_indices, mesh->GetNumVertices()), acmr_before * 0.8);

    // The remaps tell where every face and vertex came from.
    const std::vector<Vec> new_positions = positions(mesh);
    ASSERT_EQ(vertex_remap->GetBufferSize(), mesh->GetNumVertices() * 4);
    const auto* vmap = static_cast<const DWORD*>(vertex_remap->GetBufferPointer());
    for (DWORD v = 0; v < mesh->GetNumVertices(); ++v)
        EXPECT_EQ(new_positions[v], old_positions[vmap[v]]);
    mesh->LockAttributeBuffer(D3DLOCK_READONLY, &attributes);
    for (DWORD f = 0; f < mesh->GetNumFaces(); ++f) {
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(vmap[new_indices[f * 3 + c]], old_indices[face_remap[f] * 3 + c]);
        EXPECT_EQ(attributes[f], old_attributes[face_remap[f]]);
        if (f) {
            EXPECT_LE(attributes[f - 1], attributes[f]);
        }
    }
    mesh->UnlockAttributeBuffer();
    EXPECT_EQ(adj_out, adjacency(mesh));

    DWORD table_size = 0;
    mesh->GetAttributeTable(nullptr, &table_size);
    ASSERT_EQ(table_size, 2u);
    D3DXATTRIBUTERANGE table[2];
    mesh->GetAttributeTable(table, &table_size);
    EXPECT_EQ(table[0].AttribId, 2u);
    EXPECT_EQ(table[1].AttribId, 5u);
    EXPECT_EQ(table[0].FaceCount + table[1].FaceCount, mesh->GetNumFaces());
    EXPECT_EQ(table[1].FaceStart, table[0].FaceCount);
    ASSERT_EQ(device_->BeginScene(), D3D_OK);
    EXPECT_EQ(mesh->DrawSubset(5), D3D_OK);
    EXPECT_EQ(mesh->DrawSubset(9), D3D_OK); // no faces: nothing drawn
    device_->EndScene();

    // Optimize leaves the mesh alone and hands out an optimised copy with the options asked for.
    ID3DXMesh* copy = nullptr;
    ASSERT_EQ(mesh->Optimize(D3DXMESH_SYSTEMMEM | D3DXMESH_32BIT | D3DXMESHOPT_STRIPREORDER, nullptr, nullptr,
                             nullptr, nullptr, &copy),
              D3D_OK);
    EXPECT_EQ(copy->GetOptions(), DWORD(D3DXMESH_SYSTEMMEM | D3DXMESH_32BIT));
    EXPECT_EQ(triangle_set(copy), before);
    EXPECT_EQ(indices(mesh), new_indices);
    copy->Release();

    EXPECT_EQ(mesh->OptimizeInplace(D3DXMESHOPT_VERTEXCACHE | D3DXMESHOPT_STRIPREORDER, nullptr, nullptr,
                                    nullptr, nullptr),
              D3DERR_INVALIDCALL);
    std::vector<DWORD> bad(adj_in.size(), 0);
    bad[4] = 99999;
    EXPECT_EQ(mesh->OptimizeInplace(D3DXMESHOPT_COMPACT, bad.data(), nullptr, nullptr, nullptr),
              D3DERR_INVALIDCALL);
    vertex_remap->Release();
    mesh->Release();
}

void expect_close(const Vec& a, const Vec& b, float tolerance) {
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(a[i], b[i], tolerance) << i;
}

TEST_F(MeshTest, NormalsOfBoxAndSphere) {
    ID3DXMesh* box = nullptr;
    ASSERT_EQ(D3DXCreateBox(device_, 2, 2, 2, &box, nullptr), D3D_OK);
    const std::vector<Vec> built = positions(box, 12);
    BYTE* p = nullptr;
    box->LockVertexBuffer(0, &p);
    for (DWORD v = 0; v < box->GetNumVertices(); ++v)
        std::memset(p + v * 24 + 12, 0, 12);
    box->UnlockVertexBuffer();
    // Without adjacency every vertex belongs to one side: the side's normal.
    ASSERT_EQ(D3DXComputeNormals(box, nullptr), D3D_OK);
    const std::vector<Vec> flat = positions(box, 12);
    for (size_t v = 0; v < flat.size(); ++v)
        expect_close(flat[v], built[v], 1e-6f);
    // With adjacency the three vertices of a corner are smoothed together over the sides that meet there,
    // each side weighted by the area of its triangles at the corner.
    const std::vector<DWORD> adj = adjacency(box);
    ASSERT_EQ(D3DXComputeNormals(box, adj.data()), D3D_OK);
    const std::vector<Vec> pos = positions(box), smooth = positions(box, 12);
    for (size_t v = 0; v < smooth.size(); ++v) {
        const float along = (smooth[v][0] * pos[v][0] + smooth[v][1] * pos[v][1] + smooth[v][2] * pos[v][2]) /
                            std::sqrt(3.0f);
        EXPECT_GT(along, 0.94f) << v;
        for (size_t w = 0; w < smooth.size(); ++w)
            if (pos[w] == pos[v]) expect_close(smooth[w], smooth[v], 1e-6f);
    }
    box->Release();

    ID3DXMesh* sphere = nullptr;
    ASSERT_EQ(D3DXCreateSphere(device_, 2, 24, 12, &sphere, nullptr), D3D_OK);
    ASSERT_EQ(D3DXComputeNormals(sphere, nullptr), D3D_OK);
    const std::vector<Vec> sp = positions(sphere), sn = positions(sphere, 12);
    // Area weighting leans the normals near the poles a little towards the larger faces.
    for (size_t v = 0; v < sp.size(); ++v) {
        EXPECT_NEAR(sn[v][0] * sn[v][0] + sn[v][1] * sn[v][1] + sn[v][2] * sn[v][2], 1.0f, 1e-5f);
        EXPECT_GT((sn[v][0] * sp[v][0] + sn[v][1] * sp[v][1] + sn[v][2] * sp[v][2]) / 2, 0.995f) << v;
    }
    sphere->Release();

    ID3DXMesh* no_normals = make(1, 3, D3DXMESH_SYSTEMMEM, D3DFVF_XYZ);
    EXPECT_EQ(D3DXComputeNormals(no_normals, nullptr), D3DERR_INVALIDCALL);
    no_normals->Release();
}

TEST_F(MeshTest, ShapesHaveTheirCountsAndFaceOutwards) {
    struct Shape {
        HRESULT hr;
        ID3DXMesh* mesh;
        DWORD vertices, faces;
    };
    ID3DXMesh *box = nullptr, *sphere = nullptr, *cylinder = nullptr, *torus = nullptr;
    const Shape shapes[] = {
        {D3DXCreateBox(device_, 1, 1, 1, &box, nullptr), box, 24, 12},
        {D3DXCreateSphere(device_, 1, 8, 4, &sphere, nullptr), sphere, 26, 48},
        {D3DXCreateCylinder(device_, 1, 0.5f, 2, 8, 2, &cylinder, nullptr), cylinder, 42, 48},
        {D3DXCreateTorus(device_, 0.25f, 1, 6, 8, &torus, nullptr), torus, 48, 96},
    };
    for (const Shape& s : shapes) {
        ASSERT_EQ(s.hr, D3D_OK);
        EXPECT_EQ(s.mesh->GetFVF(), DWORD(D3DFVF_XYZ | D3DFVF_NORMAL));
        EXPECT_EQ(s.mesh->GetNumVertices(), s.vertices);
        EXPECT_EQ(s.mesh->GetNumFaces(), s.faces);
        // Clockwise fronts: each face's cross product agrees with its vertices' normals.
        const std::vector<Vec> pos = positions(s.mesh), nor = positions(s.mesh, 12);
        const std::vector<uint32_t> idx = indices(s.mesh);
        for (size_t f = 0; f < idx.size() / 3; ++f) {
            const Vec &a = pos[idx[f * 3]], &b = pos[idx[f * 3 + 1]], &c = pos[idx[f * 3 + 2]];
            const Vec u{b[0] - a[0], b[1] - a[1], b[2] - a[2]}, w{c[0] - a[0], c[1] - a[1], c[2] - a[2]};
            const Vec n{u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2], u[0] * w[1] - u[1] * w[0]};
            const Vec& vn = nor[idx[f * 3]];
            EXPECT_GT(n[0] * vn[0] + n[1] * vn[1] + n[2] * vn[2], 0) << "face " << f;
        }
        s.mesh->Release();
    }
    ID3DXMesh* none = nullptr;
    EXPECT_EQ(D3DXCreateSphere(device_, 1, 1, 4, &none, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXCreateTorus(device_, 1, 2, 100000, 100000, &none, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXCreateBox(device_, -1, 1, 1, &none, nullptr), D3DERR_INVALIDCALL);
}

} // namespace
