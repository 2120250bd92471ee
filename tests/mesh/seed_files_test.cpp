// The seed files of the mesh reader's fuzz target (fuzz/corpus/mesh_fuzz) are small valid node-tree files
// made by the writer below (QCORE_WRITE_MESH_SEEDS=folder writes them there); the test checks that the
// committed ones are all there and still load. Node numbers differ from run to run, so bytes are not
// compared.
#include <qcore/mesh/max_mesh_data.h>
#include <qcore/mesh/mesh_utl.h>

#include "mesh/mesh_fixture.h"
#include "support/temp_dir.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using qcore::test::MeshTest;
using qcore::test::TempDir;

namespace {

CMaxMeshData exported_quad(int channels) {
    CMaxMeshData d;
    d.matrix = MAT::get_pan_matrix(1, 2, 3);
    d.positions = {VEC(0, 0, 0), VEC(1, 0, 0), VEC(1, 1, 0), VEC(0, 1, 0)};
    d.faces = {CFace(0, 1, 2), CFace(0, 2, 3)};
    d.smoothing_groups = {1, 2};
    d.texture_maps.resize(static_cast<size_t>(channels));
    for (auto& map : d.texture_maps) {
        map.uvs = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
        map.faces = d.faces;
    }
    return d;
}

class SeedFiles : public MeshTest {
protected:
    // Each seed: a file name and what goes into its root.
    void write_seeds(const std::string& folder) {
        const auto write = [&](const char* name, auto fill) {
            CPakFile pak;
            ASSERT_EQ(pak.create((folder + name).c_str()), 1);
            fill(pak.get_root());
        };
        write("mesh16.tpk", [&](CPakNode* root) {
            ASSERT_EQ(MESH_UTL::save_xmesh_to_node(make_grid_mesh(D3DFVF_XYZ | D3DFVF_NORMAL, false, 6), root,
                                                   "mesh"),
                      1);
        });
        write("mesh32_tex1.tpk", [&](CPakNode* root) {
            ASSERT_EQ(MESH_UTL::save_xmesh_to_node(
                          make_grid_mesh(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1, true, 4), root, "mesh"),
                      1);
        });
        write("exported.tpk", [&](CPakNode* root) { exported_quad(2).save_to_node(root, "m"); });
        // Both kinds side by side in nested directories, as scenes keep them.
        write("nested.tpk", [&](CPakNode* root) {
            CPakNode* item = root->create_dir_node("item");
            exported_quad(1).save_to_node(item, "origin");
            ASSERT_EQ(MESH_UTL::save_xmesh_to_node(make_grid_mesh(D3DFVF_XYZ, false, 2), item, "mesh"), 1);
        });
    }
};

} // namespace

TEST_F(SeedFiles, CommittedSeedsAreWhatTheWritersProduceAndLoad) {
    TempDir tmp;
    const std::string& made = tmp.path();
    write_seeds(made);
    if (const char* out = std::getenv("QCORE_WRITE_MESH_SEEDS")) write_seeds(std::string(out) + "/");
    const std::string committed = std::string(QCORE_SOURCE_DIR) + "/fuzz/corpus/mesh_fuzz/";
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(made)) {
        const std::string name = entry.path().filename().string();
        SCOPED_TRACE(name);
        CPakFile pak;
        ASSERT_EQ(pak.open((committed + name).c_str(), 0), 1);
        CPakNode* dir = pak.get_root()->find("item");
        dir = dir ? dir : pak.get_root();
        CMaxMeshData data;
        CPakNode* mesh = dir->find("mesh");
        CPakNode* exported = dir->find(dir == pak.get_root() ? "m" : "origin");
        EXPECT_TRUE(mesh || exported);
        if (mesh) {
            EXPECT_TRUE(MESH_UTL::load_xmesh_from_node(device_, mesh));
        }
        if (exported) {
            EXPECT_EQ(data.load_from_node(exported), 1);
        }
        ++count;
    }
    EXPECT_EQ(count, 4);
}
