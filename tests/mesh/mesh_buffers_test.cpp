#include <qcore/core/core.h>
#include <qcore/mesh/buffer_proxy.h>
#include <qcore/mesh/mesh_buffers.h>
#include <qcore/platform/win32/message_box.h>

#include "mesh/mesh_fixture.h"

#include <cstring>

using qcore::test::MeshTest;

TEST(Fvf, NamesSizesAndCoordinateIndices) {
    EXPECT_EQ(fvf::get_fvf_name(274), "Xyz,Nor,Uv1");
    EXPECT_EQ(fvf::get_fvf_name(0x252), "Xyz,Nor,Dif,Uv2");
    EXPECT_EQ(fvf::get_fvf_name(0x144), "Xyzw,Dif,Uv1");
    EXPECT_EQ(fvf::get_fvf_name(D3DFVF_XYZ | D3DFVF_SPECULAR | D3DFVF_TEX5), "Xyz,Spec");
    EXPECT_EQ(fvf::get_fvf_size(274), 32u);
    EXPECT_EQ(fvf::get_fvf_size(0x144), 28u);
    EXPECT_EQ(fvf::does_fvf_have_such_coord_index(274, 1), 0);
    EXPECT_EQ(fvf::does_fvf_have_such_coord_index(530, 1), 1);
    EXPECT_EQ(fvf::does_fvf_have_such_coord_index(2, 0x20000), 1);
    EXPECT_EQ(fvf::does_fvf_have_such_coord_index(2, -1), 0);
    EXPECT_EQ(fvf::does_fvf_have_such_coord_index(0x800 | 2, 7), 1);
    EXPECT_EQ(fvf::does_fvf_have_such_coord_index(0x900 | 2, 8), 0);
}

TEST_F(MeshTest, BuffersInTheThreePools) {
    struct Row {
        CMyComPtr<IDirect3DIndexBuffer8> (*create)(IDirect3DDevice8*, unsigned, bool);
        DWORD usage;
        D3DPOOL pool;
    };
    for (const Row& row :
         {Row{CreateDynamicIb, 0x208, D3DPOOL_DEFAULT}, Row{CreateStaticIb, 0, D3DPOOL_DEFAULT},
          Row{CreateManagedIb, 0, D3DPOOL_MANAGED}}) {
        for (bool is32 : {false, true}) {
            CMyComPtr<IDirect3DIndexBuffer8> ib = row.create(device_, 100, is32);
            ASSERT_TRUE(ib);
            D3DINDEXBUFFER_DESC d{};
            ib->GetDesc(&d);
            EXPECT_EQ(d.Usage, row.usage);
            EXPECT_EQ(d.Pool, row.pool);
            EXPECT_EQ(d.Size, is32 ? 1200u : 600u);
            EXPECT_EQ(Is32BitIndexBuffer(ib), is32);
            EXPECT_EQ(GetFaceCount(ib), 100u);
        }
    }
    CMyComPtr<IDirect3DVertexBuffer8> vb = CreateDynamicVb(device_, 274, 10, true);
    ASSERT_TRUE(vb);
    D3DVERTEXBUFFER_DESC d{};
    vb->GetDesc(&d);
    EXPECT_EQ(d.Usage, 0x248u);
    EXPECT_EQ(d.Size, 320u);
    EXPECT_EQ(GetFvf(vb), 274u);
    EXPECT_TRUE(CreateManagedVb(device_, 2, 4, false));

    // A size that does not fit 32 bits is refused with the creation message, not wrapped around.
    qcore::MessageBoxRecorder boxes;
    EXPECT_FALSE(CreateStaticIb(device_, 0x40000000u, true));
    EXPECT_FALSE(CreateStaticVb(device_, 274, 0x10000000u, false));
    ASSERT_EQ(boxes.count(), 2u);
    EXPECT_EQ(boxes.texts()[0].rfind("Err Create ib", 0), 0u);
    EXPECT_EQ(boxes.texts()[1].rfind("Err Create VB", 0), 0u);
}

TEST_F(MeshTest, CopyChecksAndTheirMessages) {
    qcore::MessageBoxRecorder boxes;
    CMyComPtr<IDirect3DIndexBuffer8> a10 = CreateManagedIb(device_, 10, false),
                                     a12 = CreateManagedIb(device_, 12, false),
                                     b12 = CreateManagedIb(device_, 12, true);
    EXPECT_FALSE(CopyIndexBuffer(a10, nullptr, 0));
    EXPECT_FALSE(CopyIndexBuffer(a10, b12, 0));
    EXPECT_FALSE(CopyIndexBuffer(a10, a12, 0));
    EXPECT_FALSE(CopyIndexBuffer(a10, a12, 11));
    EXPECT_TRUE(CopyIndexBuffer(a10, a12, 10));
    EXPECT_EQ(boxes.texts(), (std::vector<std::string>{"0 pointer", "ib format not equal",
                                                       "face count not match", "too many copy face count"}));
    boxes.clear();

    CMyComPtr<ID3DXMesh> m10 = make_grid_mesh(274, false, 10), m12 = make_grid_mesh(274, false, 12);
    CMyComPtr<ID3DXMesh> m12b = make_grid_mesh(274, true, 12), pos12 = make_grid_mesh(2, false, 12);
    EXPECT_TRUE(CopyMeshIndexBuffer(m10, m12, 0)); // a larger destination is fine here
    {
        CIbProxy from(m10.get()), to(m12.get());
        EXPECT_EQ(std::memcmp(from.p(), to.p(), 10 * 6), 0);
    }
    EXPECT_FALSE(CopyMeshIndexBuffer(m12, m10, 0));
    EXPECT_FALSE(CopyMeshIndexBuffer(m12, m12b, 0));
    EXPECT_FALSE(CopyMeshIndexBuffer(m10, m12, 11));
    EXPECT_EQ(boxes.texts(), (std::vector<std::string>{"copy mesh ib err", "copy mesh index buffer err",
                                                       "copy mesh ib err"}));
    boxes.clear();

    EXPECT_FALSE(CopyMeshVertexBuffer(m12, pos12, 0, false));
    EXPECT_TRUE(CopyMeshVertexBuffer(m12, pos12, 0, true));
    EXPECT_FALSE(CopyMeshVertexBuffer(m10, m12, 0, false));
    EXPECT_FALSE(CopyMeshVertexBuffer(m10, m12, 10000, false));
    EXPECT_EQ(boxes.texts(), (std::vector<std::string>{"mesh fvf not match", "mesh ver count not match",
                                                       "too many copy ver count"}));
    CVbProxy from(m12.get()), to(pos12.get());
    for (int i = 0; i < from.get_ver_count(); ++i)
        EXPECT_EQ(from.Position(i), to.Position(i));
}

TEST_F(MeshTest, CopyFromADynamicSourceReadsItInsteadOfDiscardingIt) {
    FakeIndexBuffer src(12 * 6, D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY);
    for (size_t i = 0; i < src.bytes.size(); ++i)
        src.bytes[i] = static_cast<BYTE>(i);
    CMyComPtr<IDirect3DIndexBuffer8> dst = CreateManagedIb(device_, 12, false);
    ASSERT_TRUE(CopyIndexBuffer(CMyComPtr<IDirect3DIndexBuffer8>(&src), dst, 0));
    EXPECT_EQ(src.lock_flags & D3DLOCK_DISCARD, 0u);
    EXPECT_EQ(src.unlocks, 1);
    CIbProxy to(dst.get());
    EXPECT_EQ(std::memcmp(to.p(), src.bytes.data(), src.bytes.size()), 0);
}

TEST_F(MeshTest, IndexProxyUnlocksOnceAndCopiesDoNotOwnTheLock) {
    FakeIndexBuffer ib(10 * 6, 0);
    {
        CIbProxy p(&ib);
        EXPECT_EQ(ib.lock_flags, static_cast<DWORD>(D3DLOCK_NOSYSLOCK));
        p.set(0, 70000);
        EXPECT_EQ(p.get(0), 4464u);
        EXPECT_EQ(p.get(30), 0u); // past the end
        p.set(-1, 5);
        CIbProxy copy(p);
        copy = p;
        p.unlock();
        EXPECT_EQ(p.p(), nullptr);
    }
    EXPECT_EQ(ib.unlocks, 1);

    FakeIndexBuffer broken(60, 0);
    broken.fail_lock = true;
    {
        CIbProxy p(&broken);
        EXPECT_EQ(p.p(), nullptr);
        EXPECT_EQ(p.get(0), 0u);
        p.set(0, 1);
    }
    EXPECT_EQ(broken.unlocks, 0);
}

TEST_F(MeshTest, VertexProxyOffsetsOnEveryKnownFormat) {
    struct Row {
        DWORD fvf;
        int w, normal, diffuse, tex1, tex2;
    };
    const Row rows[] = {{2, -1, -1, -1, -1, -1},   {18, -1, 12, -1, -1, -1},  {66, -1, -1, 12, -1, -1},
                        {258, -1, -1, -1, 12, -1}, {260, 12, -1, -1, 16, -1}, {274, -1, 12, -1, 24, -1},
                        {322, -1, -1, 12, 16, -1}, {324, 12, -1, 16, 20, -1}, {338, -1, 12, 24, 28, -1},
                        {514, -1, -1, -1, 12, 20}, {530, -1, 12, -1, 24, 32}, {580, 12, -1, 16, 20, 28},
                        {594, -1, 12, 24, 28, 36}};
    qcore::MessageBoxRecorder boxes;
    for (const Row& row : rows) {
        CMyComPtr<IDirect3DVertexBuffer8> vb = CreateManagedVb(device_, row.fvf, 3, false);
        CVbProxy p(vb.get());
        ASSERT_NE(p.p(), nullptr);
        EXPECT_EQ(p.get_w_offset(), row.w) << row.fvf;
        EXPECT_EQ(p.get_normal_offset(), row.normal) << row.fvf;
        EXPECT_EQ(p.get_diffuse_offset(), row.diffuse) << row.fvf;
        EXPECT_EQ(p.get_tex_offset(0), row.tex1) << row.fvf;
        EXPECT_EQ(p.get_tex_offset(1), row.tex2) << row.fvf;
        EXPECT_EQ(p.get_ver_count(), 3);
        // Every element the format has lies inside the vertex.
        for (int offset : {row.w, row.normal, row.diffuse, row.tex1, row.tex2})
            EXPECT_LT(offset, p.get_fvf_size());
    }
    EXPECT_EQ(boxes.count(), 0u);

    CMyComPtr<IDirect3DVertexBuffer8> vb = CreateManagedVb(device_, 274, 3, false);
    CVbProxy p(vb.get());
    EXPECT_EQ(reinterpret_cast<BYTE*>(&p.Tex1(2)) - p.p(), 2 * 32 + 24);
    EXPECT_TRUE(p.unlock());
    EXPECT_TRUE(p.unlock()); // twice is harmless

    CMyComPtr<IDirect3DVertexBuffer8> odd = CreateManagedVb(device_, D3DFVF_XYZ | D3DFVF_SPECULAR, 3, false);
    CVbProxy q(odd.get());
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{"Xyz,Spec，VbProxy中还未加入该fvf!"});
    q.Position(1) = VEC(1, 2, 3); // the position still works
    EXPECT_EQ(q.get_diffuse_offset(), -1);
}
