#include <qcore/core/core.h>
#include <qcore/mesh/raw_mesh.h>
#include <qcore/mesh/xmeshfun.h>
#include <qcore/platform/win32/message_box.h>

#include "mesh/mesh_fixture.h"

#include <meshoptimizer.h>

#include <algorithm>
#include <array>
#include <random>
#include <tuple>

using qcore::test::MeshTest;

namespace {

CRawMesh one_triangle() {
    CRawMesh m;
    m.vertices = {VEC(0, 0, 0), VEC(1, 0, 0), VEC(0, 1, 0)};
    m.faces = {CFace(0, 1, 2)};
    m.attributes = {9};
    return m;
}

std::vector<std::string> log_texts(const gCore& core) {
    std::vector<std::string> out;
    for (const CLogItem* item : core.log->get_logs())
        out.push_back(item->msg.GetString());
    return out;
}

} // namespace

TEST(RawMesh, AppendReindexesAndKeepsPlanesInStep) {
    CRawMesh m;
    m.vertices.assign(4, VEC(5, 5, 5));
    m.append_raw_mesh(one_triangle());
    ASSERT_EQ(m.faces.size(), 1u);
    EXPECT_EQ(m.faces[0], CFace(4, 5, 6));
    EXPECT_EQ(m.attributes, std::vector<BYTE>{9});

    // With planes built, appended faces get theirs too; appending to itself doubles cleanly.
    m.build_planes();
    m.append_raw_mesh(m);
    ASSERT_EQ(m.faces.size(), 2u);
    EXPECT_EQ(m.faces[1], CFace(11, 12, 13));
    ASSERT_EQ(m.planes.size(), 2u);
    EXPECT_EQ(m.planes[1].n, VEC(0, 0, 1));
    EXPECT_EQ(m.vertices.size(), 14u);
    EXPECT_TRUE(m.are_indices_valid());
}

TEST(RawMesh, ReverseAndTransformKeepPlanesCurrent) {
    CRawMesh m = one_triangle();
    m.reverse_face();
    EXPECT_EQ(m.faces[0], CFace(0, 2, 1));
    EXPECT_TRUE(m.planes.empty()); // not built until asked for
    m.build_planes();
    EXPECT_EQ(m.planes[0].n, VEC(0, 0, -1));
    m.reverse_face();
    EXPECT_EQ(m.planes[0].n, VEC(0, 0, 1));
    m.transf_vb(MAT::get_pan_matrix(0, 0, 3));
    EXPECT_EQ(m.vertices[2], VEC(0, 1, 3));
    EXPECT_FLOAT_EQ(m.planes[0].d, -3.0f);

    // A face pointing outside the vertices gets a zero plane instead of a read past the end.
    m.faces.push_back(CFace(0, 1, 99));
    m.build_planes();
    EXPECT_EQ(m.planes[1].n, VEC(0, 0, 0));
    EXPECT_FALSE(m.are_indices_valid());

    qcore::MessageBoxRecorder boxes;
    EXPECT_EQ(m.is_raw_mesh_valid(), 1);
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{"Don't call is_raw_mesh_valid in runtime!"});
}

TEST_F(MeshTest, RawMeshFilledFrom16And32BitMeshes) {
    for (bool is32 : {false, true}) {
        CMyComPtr<ID3DXMesh> mesh = make_grid_mesh(274, is32, 5);
        CRawMesh raw;
        raw.attributes = {1, 2, 3};
        raw.fill_with_mesh(mesh, 0x107);
        ASSERT_EQ(raw.faces.size(), 5u);
        EXPECT_EQ(raw.faces[4], CFace(4, 5, 6));
        EXPECT_EQ(raw.attributes, (std::vector<BYTE>{1, 2, 3, 7, 7}));
        ASSERT_EQ(raw.vertices.size(), 7u);
        EXPECT_EQ(raw.vertices[3], VEC(1, 1, 0.75f));
        raw.fill_with_mesh(nullptr, 0); // nothing happens
        EXPECT_EQ(raw.faces.size(), 5u);
    }
}

TEST_F(MeshTest, WindingColourAndClones) {
    CMyComPtr<ID3DXMesh> mesh = make_grid_mesh(66, false, 2);
    xmeshfun::reverse_face_order(mesh);
    {
        CIbProxy ib(mesh.get());
        EXPECT_EQ(ib.get(0), 2u);
        EXPECT_EQ(ib.get(1), 1u);
        EXPECT_EQ(ib.get(2), 0u);
        CVbProxy vb(mesh.get());
        vb.Diffuse(0) = 0x40123456;
    }
    xmeshfun::set_diffuse(mesh, 0x80FF0000);
    {
        CVbProxy vb(mesh.get());
        EXPECT_EQ(vb.Diffuse(0), 0x40FF0000u);
    }
    EXPECT_EQ(xmeshfun::have_diffuse(mesh), 1);
    EXPECT_EQ(xmeshfun::have_normal(mesh), 0);

    CMyComPtr<ID3DXMesh> wide = make_grid_mesh(274, true, 2);
    CMyComPtr<ID3DXMesh> clone = xmeshfun::clone_xmesh(wide, device_, D3DXMESH_MANAGED, 2);
    ASSERT_TRUE(clone);
    EXPECT_EQ(xmeshfun::is_32bit_ib(clone), 1);
    EXPECT_EQ(clone->GetFVF(), 2u);
    CMyComPtr<ID3DXMesh> sys = xmeshfun::clone_xmesh_to_sys(device_, wide);
    ASSERT_TRUE(sys);
    EXPECT_EQ(sys->GetOptions() & D3DXMESH_SYSTEMMEM, static_cast<DWORD>(D3DXMESH_SYSTEMMEM));

    qcore::MessageBoxRecorder boxes;
    EXPECT_FALSE(xmeshfun::clone_xmesh(nullptr, device_, 0, 2));
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_EQ(boxes.texts()[0].rfind("SetFvf()->CloneMesh err", 0), 0u);
}

TEST_F(MeshTest, NormalsAdjacencyAndOptimisation) {
    gCore core;
    CMyComPtr<ID3DXMesh> sphere;
    ASSERT_EQ(D3DXCreateSphere(device_, 1.0f, 24, 16, sphere.out(), nullptr), D3D_OK);
    const DWORD faces = sphere->GetNumFaces(), vertices = sphere->GetNumVertices();

    // Shuffle the faces so that the vertex cache has work to do.
    std::vector<DWORD> indices(faces * 3);
    {
        CIbProxy ib(sphere.get());
        std::vector<std::array<DWORD, 3>> tris(faces);
        for (DWORD f = 0; f < faces; ++f)
            for (int k = 0; k < 3; ++k)
                tris[f][k] = ib.get(static_cast<int>(3 * f + k));
        std::shuffle(tris.begin(), tris.end(), std::mt19937(7));
        for (DWORD f = 0; f < faces; ++f)
            for (int k = 0; k < 3; ++k)
                ib.set(static_cast<int>(3 * f + k), tris[f][k]);
    }
    const auto triangles = [](CMyComPtr<ID3DXMesh> m, std::vector<DWORD>* flat) {
        CIbProxy ib(m.get());
        CVbProxy vb(m.get());
        std::vector<std::array<float, 9>> out;
        for (int f = 0; f < ib.get_face_count(); ++f) {
            std::array<VEC, 3> p;
            for (int k = 0; k < 3; ++k) {
                p[k] = vb.Position(static_cast<int>(ib.get(3 * f + k)));
                if (flat) flat->push_back(ib.get(3 * f + k));
            }
            // Rotated so that the smallest position comes first: the winding stays, the start may move.
            const auto less = [](const VEC& a, const VEC& b) {
                return std::tie(a.x, a.y, a.z) < std::tie(b.x, b.y, b.z);
            };
            std::rotate(p.begin(), std::min_element(p.begin(), p.end(), less), p.end());
            out.push_back({p[0].x, p[0].y, p[0].z, p[1].x, p[1].y, p[1].z, p[2].x, p[2].y, p[2].z});
        }
        std::sort(out.begin(), out.end());
        return out;
    };
    indices.clear();
    const auto before = triangles(sphere, &indices);
    const float acmr_before =
        meshopt_analyzeVertexCache(indices.data(), indices.size(), vertices, 16, 0, 0).acmr;

    ASSERT_EQ(xmeshfun::optimize_xmesh(&core, sphere), 1);
    indices.clear();
    EXPECT_EQ(triangles(sphere, &indices), before);
    const float acmr_after =
        meshopt_analyzeVertexCache(indices.data(), indices.size(), sphere->GetNumVertices(), 16, 0, 0).acmr;
    EXPECT_LT(acmr_after, acmr_before * 0.8f);

    // Normals: a wrong-sized adjacency is ignored quietly; the normals come out unit length.
    std::vector<DWORD> wrong(5);
    xmeshfun::rebuild_normals(&core, sphere, &wrong);
    std::vector<DWORD> adjacency;
    ASSERT_EQ(xmeshfun::build_face_adj_buf(&core, sphere, 0.0f, adjacency), 1);
    EXPECT_EQ(adjacency.size(), size_t{faces} * 3);
    xmeshfun::rebuild_normals(&core, sphere, &adjacency);
    {
        CVbProxy vb(sphere.get());
        vb.Normal(0) = VEC(3, 0, 4);
    }
    xmeshfun::normalize_normals(sphere);
    {
        CVbProxy vb(sphere.get());
        EXPECT_NEAR(vb.Normal(0).len(), 1.0f, 1e-6f);
        EXPECT_NEAR(vb.Normal(1).len(), 1.0f, 1e-5f);
    }
    EXPECT_TRUE(log_texts(core).empty());

    // A mesh whose adjacency cannot be built is left alone rather than optimised with a zero adjacency.
    CMyComPtr<ID3DXMesh> broken = make_grid_mesh(2, false, 3);
    {
        CIbProxy ib(broken.get());
        ib.set(8, 1000);
    }
    EXPECT_EQ(xmeshfun::optimize_xmesh(&core, broken), 0);
    const std::vector<std::string> logs = log_texts(core);
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_EQ(logs[0].rfind("compute_adj_buf Err! Err=", 0), 0u);
    CIbProxy ib(broken.get());
    EXPECT_EQ(ib.get(8), 1000u);
}
