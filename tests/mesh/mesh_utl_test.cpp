#include <qcore/mesh/mesh_buffers.h>
#include <qcore/mesh/mesh_utl.h>
#include <qcore/platform/win32/message_box.h>

#include "mesh/mesh_fixture.h"
#include "support/temp_dir.h"

#include <cstring>

using qcore::test::MeshTest;
using qcore::test::TempDir;

namespace {

std::vector<BYTE> node_bytes(CPakNode* dir, const char* name) {
    std::vector<BYTE> out;
    CPakNode* n = dir ? dir->find(name) : nullptr;
    if (n && n->get_node_type() == NODE_BUF) n->get_buffer(out);
    return out;
}

struct MeshUtlTest : MeshTest {
    TempDir tmp;
    std::string path = tmp.file("mesh.tpk");

    // Writes a directory "m" through `fill` and reads the mesh back from the reopened file.
    template <class Fill> CMyComPtr<ID3DXMesh> round_trip(Fill fill) {
        {
            CPakFile pak;
            EXPECT_EQ(pak.create(path.c_str()), 1);
            CPakNode* dir = pak.get_root()->create_dir_node("m");
            fill(dir);
        }
        CPakFile pak;
        EXPECT_EQ(pak.open(path.c_str(), 0), 1);
        return MESH_UTL::load_xmesh_from_node(device_, pak.get_root()->find("m"));
    }
};

// Saves the mesh as "mesh" into a new file and reopens it in `reader`; the directory, or null.
CPakNode* saved_and_reopened(CMyComPtr<ID3DXMesh> mesh, const std::string& file, CPakFile& reader) {
    {
        CPakFile pak;
        if (!pak.create(file.c_str()) || !MESH_UTL::save_xmesh_to_node(mesh, pak.get_root(), "mesh"))
            return nullptr;
    }
    return reader.open(file.c_str(), 0) ? reader.get_root()->find("mesh") : nullptr;
}

void put_int(CPakNode* dir, const char* name, int v) {
    dir->create_data_node(name, NODE_INT, &v);
}

} // namespace

TEST_F(MeshUtlTest, SaveAndLoadGiveIdenticalDataFor16And32BitMeshes) {
    for (bool is32 : {false, true}) {
        CMyComPtr<ID3DXMesh> mesh = make_grid_mesh(338, is32, 40);
        const std::string a = tmp.file("a.tpk"), b = tmp.file("b.tpk");
        CPakFile first;
        CPakNode* dir = saved_and_reopened(mesh, a, first);
        ASSERT_TRUE(dir);
        CMyComPtr<ID3DXMesh> loaded = MESH_UTL::load_xmesh_from_node(device_, dir);
        ASSERT_TRUE(loaded);
        EXPECT_EQ(loaded->GetOptions(), static_cast<DWORD>(D3DXMESH_SYSTEMMEM) | (is32 ? 1u : 0u));
        EXPECT_EQ(loaded->GetFVF(), 338u);
        std::vector<std::string> names;
        for (CPakNode* n : dir->get_children())
            names.push_back(n->get_name());
        EXPECT_EQ(names, (std::vector<std::string>{"MESH_VER_COUNT", "MESH_FACE_COUNT", "MESH_FVF",
                                                   "MESH_FVF_NAME", "MESH_VB", "MESH_32BIT_IB", "MESH_IB"}));
        EXPECT_EQ(dir->find("MESH_IB")->get_sub_type(), is32 ? qcore::buf_face : qcore::buf_uint16);
        CPakFile second;
        CPakNode* dir2 = saved_and_reopened(loaded, b, second);
        ASSERT_TRUE(dir2);
        for (const char* name : {"MESH_VB", "MESH_IB"}) {
            EXPECT_EQ(node_bytes(dir, name), node_bytes(dir2, name)) << name;
            EXPECT_FALSE(node_bytes(dir, name).empty());
        }
        CVbProxy vb(mesh.get());
        EXPECT_EQ(std::memcmp(node_bytes(dir, "MESH_VB").data(), vb.p(), 42 * 36), 0);
    }
}

TEST_F(MeshUtlTest, DamagedDirectoriesAreRefusedWithoutReadingPastTheData) {
    const std::vector<BYTE> vb(3 * 12, 0);
    const std::vector<WORD> tri = {0, 1, 2};
    const std::vector<WORD> bad = {0, 1, 3};
    struct Case {
        const char* what;
        int fvf, is32, vertices, faces;
        const void* vb;
        int vb_size;
        const void* ib;
        int ib_size;
    };
    const Case cases[] = {
        {"vertex bytes short", 2, 0, 3, 1, vb.data(), 24, tri.data(), 6},
        {"index bytes short", 2, 0, 3, 1, vb.data(), 36, tri.data(), 4},
        {"index out of range", 2, 0, 3, 1, vb.data(), 36, bad.data(), 6},
        {"negative faces", 2, 0, 3, -1, vb.data(), 36, tri.data(), 6},
        {"faces overflowing", 2, 1, 3, 0x20000000, vb.data(), 36, tri.data(), 6},
        {"zero vertices", 2, 0, 0, 1, vb.data(), 0, tri.data(), 6},
        {"no format", 0, 0, 3, 1, vb.data(), 36, tri.data(), 6},
        {"no vertex buffer", 2, 0, 3, 1, nullptr, 0, tri.data(), 6},
        {"16-bit beyond 65536 vertices", 2, 0, 70000, 1, vb.data(), 36, tri.data(), 6},
    };
    qcore::MessageBoxRecorder boxes;
    for (const Case& c : cases) {
        CMyComPtr<ID3DXMesh> m = round_trip([&](CPakNode* dir) {
            put_int(dir, "MESH_VER_COUNT", c.vertices);
            put_int(dir, "MESH_FACE_COUNT", c.faces);
            put_int(dir, "MESH_FVF", c.fvf);
            put_int(dir, "MESH_32BIT_IB", c.is32);
            if (c.vb) dir->create_buf_node("MESH_VB", c.vb, c.vb_size);
            dir->create_buf_node("MESH_IB", c.ib, c.ib_size);
        });
        EXPECT_FALSE(m) << c.what;
    }
    // Missing counts and wrongly typed counts.
    EXPECT_FALSE(round_trip([&](CPakNode* dir) {
        put_int(dir, "MESH_FVF", 2);
        dir->create_buf_node("MESH_VB", vb.data(), 36);
        dir->create_buf_node("MESH_IB", tri.data(), 6);
    }));
    EXPECT_FALSE(round_trip([&](CPakNode* dir) {
        dir->create_data_node("MESH_VER_COUNT", NODE_FLOAT, nullptr);
        put_int(dir, "MESH_FACE_COUNT", 1);
        put_int(dir, "MESH_FVF", 2);
        put_int(dir, "MESH_32BIT_IB", 0);
    }));
    EXPECT_EQ(boxes.count(), 0u);
    EXPECT_FALSE(MESH_UTL::load_xmesh_from_node(device_, nullptr));
    // A sound directory written by hand loads.
    EXPECT_TRUE(round_trip([&](CPakNode* dir) {
        put_int(dir, "MESH_VER_COUNT", 3);
        put_int(dir, "MESH_FACE_COUNT", 1);
        put_int(dir, "MESH_FVF", 2);
        put_int(dir, "MESH_32BIT_IB", 0);
        dir->create_buf_node("MESH_VB", vb.data(), 36);
        dir->create_buf_node("MESH_IB", tri.data(), 6);
    }));
}
