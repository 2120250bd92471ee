#include <qcore/mesh/max_mesh_data.h>
#include <qcore/platform/win32/message_box.h>

#include "support/temp_dir.h"

#include <gtest/gtest.h>

using qcore::test::TempDir;

namespace {

struct MaxMeshTest : ::testing::Test {
    TempDir tmp;
    std::string path = tmp.file("origin.tpk");
    CPakFile reader;

    // Writes through `fill` under the root and reopens the file; returns the directory "m".
    template <class Fill> CPakNode* written(Fill fill) {
        {
            CPakFile pak;
            EXPECT_EQ(pak.create(path.c_str()), 1);
            fill(pak.get_root());
        }
        EXPECT_EQ(reader.open(path.c_str(), 0), 1);
        return reader.get_root()->find("m");
    }
};

CMaxMeshData two_channel_quad() {
    CMaxMeshData d;
    d.matrix = MAT::get_pan_matrix(1, 2, 3);
    d.positions = {VEC(0, 0, 0), VEC(1, 0, 0), VEC(1, 1, 0), VEC(0, 1, 0)};
    d.faces = {CFace(0, 1, 2), CFace(0, 2, 3)};
    d.smoothing_groups = {1, 0x80000000u};
    d.texture_maps.resize(2);
    d.texture_maps[0].uvs = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    d.texture_maps[0].faces = d.faces;
    d.texture_maps[1].uvs = {{0.5f, 0.5f}};
    d.texture_maps[1].faces = {CFace(0, 0, 0), CFace(0, 0, 0)};
    return d;
}

} // namespace

TEST_F(MaxMeshTest, RoundTripWithTwoChannels) {
    const CMaxMeshData d = two_channel_quad();
    CPakNode* dir = written([&](CPakNode* root) { d.save_to_node(root, "m"); });
    std::vector<std::string> names;
    for (CPakNode* n : dir->get_children())
        names.push_back(n->get_name());
    EXPECT_EQ(names,
              (std::vector<std::string>{"VR_TYPE", "ORIGIN_VER_COUNT", "ORIGIN_FACE_COUNT", "ORIGIN_MATRIX",
                                        "ORIGIN_POS_BUF", "ORIGIN_FACE_BUF", "ORIGIN_SMGRP",
                                        "ORIGIN_TMAP_COUNT", "ORIGIN_TMAP_UV_0", "ORIGIN_TMAP_FACE_0",
                                        "ORIGIN_TMAP_UV_1", "ORIGIN_TMAP_FACE_1"}));
    CMaxMeshData back;
    ASSERT_EQ(back.load_from_node(dir), 1);
    EXPECT_TRUE(back.is_valid());
    EXPECT_EQ(back.matrix, d.matrix);
    EXPECT_EQ(back.positions, d.positions);
    EXPECT_EQ(back.faces, d.faces);
    EXPECT_EQ(back.smoothing_groups, d.smoothing_groups);
    ASSERT_EQ(back.texture_maps.size(), 2u);
    EXPECT_EQ(back.texture_maps[1].faces, d.texture_maps[1].faces);
    EXPECT_EQ(back.texture_maps[0].uvs[2], D3DXVECTOR2(1, 1));
}

TEST_F(MaxMeshTest, EmptyAndForeignDirectories) {
    const CMaxMeshData empty;
    EXPECT_FALSE(empty.is_valid());
    CPakNode* dir = written([&](CPakNode* root) {
        empty.save_to_node(root, "m");
        root->create_dir_node("other")->create_data_node("VR_TYPE", NODE_STR32, "SomethingElse");
    });
    EXPECT_EQ(dir->get_children().size(), 3u);
    CMaxMeshData back = two_channel_quad();
    EXPECT_EQ(back.load_from_node(dir), 0);
    EXPECT_TRUE(back.positions.empty());
    EXPECT_EQ(back.matrix, MAT::get_pan_matrix(0, 0, 0));
    back = two_channel_quad();
    EXPECT_EQ(back.load_from_node(reader.get_root()->find("other")), 0);
    EXPECT_TRUE(back.texture_maps.empty());
}

TEST_F(MaxMeshTest, DamagedDataIsRefusedWhole) {
    struct Case {
        const char* what;
        void (*spoil)(CMaxMeshData&);
        int channel_count; // written over the real count when not -1
    };
    const Case cases[] = {
        {"face beyond the positions", [](CMaxMeshData& d) { d.faces[1].c = 4; }, -1},
        {"smoothing masks not one per face", [](CMaxMeshData& d) { d.smoothing_groups.push_back(3); }, -1},
        {"channel face beyond its coordinates", [](CMaxMeshData& d) { d.texture_maps[1].faces[0].b = 1; },
         -1},
        {"channel with too few faces", [](CMaxMeshData& d) { d.texture_maps[0].faces.pop_back(); }, -1},
        {"negative channel count", [](CMaxMeshData&) {}, -5},
        {"huge channel count", [](CMaxMeshData&) {}, 0x7fffffff},
    };
    qcore::MessageBoxRecorder boxes;
    for (const Case& c : cases) {
        CMaxMeshData d = two_channel_quad();
        c.spoil(d);
        // Read back from the file being written, where a count can be overwritten in memory.
        CPakFile pak;
        ASSERT_EQ(pak.create(path.c_str()), 1);
        d.save_to_node(pak.get_root(), "m");
        CPakNode* dir = pak.get_root()->find("m");
        if (c.channel_count != -1) dir->find("ORIGIN_TMAP_COUNT")->set_data_buf(&c.channel_count, 4);
        CMaxMeshData back;
        EXPECT_EQ(back.load_from_node(dir), 0) << c.what;
        EXPECT_TRUE(back.positions.empty() && back.faces.empty() && back.texture_maps.empty()) << c.what;
    }
    EXPECT_EQ(boxes.count(), 0u);
}
