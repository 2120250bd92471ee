#include <qcore/data/pak_file.h>

#include "import.h"
#include "scene.h"
#include "texture/tex_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <sys/wait.h>

namespace {

namespace fs = std::filesystem;
using qcore::test::read_file_bytes;
using qcore::test::write_file_bytes;
using qscene::CScene;

std::string base64(const std::string& bytes) {
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const size_t n = std::min<size_t>(3, bytes.size() - i);
        uint32_t v = 0;
        for (size_t k = 0; k < 3; ++k)
            v = v << 8 | (k < n ? static_cast<uint8_t>(bytes[i + k]) : 0u);
        for (size_t k = 0; k < 4; ++k)
            out += k <= n ? digits[(v >> (18 - 6 * k)) & 63] : '=';
    }
    return out;
}

template <class T> void append(std::string& out, std::initializer_list<T> values) {
    for (T v : values)
        out.append(reinterpret_cast<const char*>(&v), sizeof v);
}

class SceneImport : public qcore::test::TexFixture {
protected:
    // A textured floor quad and a half-transparent glass triangle, in the model's right-handed space.
    std::string write_obj() {
        image("model/tex.bmp", 8, 8, 0xffff0000u);
        write_file_bytes(dir.file("model/scene.mtl"),
                         "newmtl floor\nKd 0.25 0.5 0.75\nKs 0.1 0.1 0.1\nNs 20\n"
                         "map_Kd tex.bmp\n"
                         "newmtl glass\nKd 0 0 1\nd 0.5\n");
        write_file_bytes(dir.file("model/scene.obj"), "mtllib scene.mtl\n"
                                                      "v 0 0 0\nv 2 0 0\nv 2 0 -3\nv 0 0 -3\n"
                                                      "v 0 1 1\nv 1 1 1\nv 0 2 1\n"
                                                      "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n"
                                                      "vn 0 1 0\nvn 0 0 1\n"
                                                      "o Floor\nusemtl floor\nf 1/1/1 2/2/1 3/3/1 4/4/1\n"
                                                      "o Glass\nusemtl glass\nf 5//2 6//2 7//2\n");
        return dir.file("model/scene.obj");
    }

    // One triangle under a node moved by (1, 2, 3), with a green double-sided material whose texture is
    // embedded in the file: as base64 text in a .gltf, as a buffer view of the binary chunk in a .glb.
    std::string write_gltf(bool binary = false) {
        std::string buffer;
        append<float>(buffer, {0, 0, 0, 1, 0, 0, 0, 1, 0});
        append<float>(buffer, {0, 0, 1, 0, 0, 1, 0, 0, 1});
        append<float>(buffer, {0, 0, 1, 0, 0, 1});
        append<uint16_t>(buffer, {0, 1, 2, 0});
        qcore::detail::ArgbImage img;
        img.width = img.height = 8;
        img.pixels.assign(64, 0xff00ff00u);
        const std::vector<uint8_t> png_bytes = qcore::detail::encode_png(img, false);
        const std::string png(png_bytes.begin(), png_bytes.end());
        std::string image = R"({"uri":"data:image/png;base64,)" + base64(png) + R"("})";
        std::string buffers =
            R"([{"byteLength":104,"uri":"data:application/octet-stream;base64,)" + base64(buffer) + R"("}])";
        std::string image_view;
        if (binary) {
            image = R"({"bufferView":4,"mimeType":"image/png"})";
            image_view = R"(,{"buffer":0,"byteOffset":104,"byteLength":)" + std::to_string(png.size()) + "}";
            buffer += png;
            buffer.resize((buffer.size() + 3) & ~size_t{3}, '\0');
            buffers = R"([{"byteLength":)" + std::to_string(buffer.size()) + "}]";
        }
        std::string json =
            R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0]}],)"
            R"("nodes":[{"name":"Tri","mesh":0,"translation":[1,2,3]}],)"
            R"("meshes":[{"name":"TriMesh","primitives":[{"attributes":{"POSITION":0,"NORMAL":1,"TEXCOORD_0":2},)"
            R"("indices":3,"material":0}]}],)"
            R"("materials":[{"name":"Green","doubleSided":true,"pbrMetallicRoughness":{)"
            R"("baseColorFactor":[0,1,0,1],"baseColorTexture":{"index":0}}}],)"
            R"("textures":[{"source":0}],"images":[)" +
            image + R"(],"buffers":)" + buffers +
            R"(,"bufferViews":[{"buffer":0,"byteOffset":0,"byteLength":36},)"
            R"({"buffer":0,"byteOffset":36,"byteLength":36},{"buffer":0,"byteOffset":72,"byteLength":24},)"
            R"({"buffer":0,"byteOffset":96,"byteLength":6})" +
            image_view +
            R"(],"accessors":[{"bufferView":0,"componentType":5126,"count":3,"type":"VEC3","min":[0,0,0],)"
            R"("max":[1,1,0]},{"bufferView":1,"componentType":5126,"count":3,"type":"VEC3"},)"
            R"({"bufferView":2,"componentType":5126,"count":3,"type":"VEC2"},)"
            R"({"bufferView":3,"componentType":5123,"count":3,"type":"SCALAR"}]})";
        fs::create_directories(dir.file("model"));
        if (!binary) {
            write_file_bytes(dir.file("model/tri.gltf"), json);
            return dir.file("model/tri.gltf");
        }
        json.resize((json.size() + 3) & ~size_t{3}, ' ');
        std::string glb = "glTF";
        append<uint32_t>(glb, {2, static_cast<uint32_t>(12 + 8 + json.size() + 8 + buffer.size())});
        append<uint32_t>(glb, {static_cast<uint32_t>(json.size()), 0x4E4F534Au});
        glb += json;
        append<uint32_t>(glb, {static_cast<uint32_t>(buffer.size()), 0x004E4942u});
        glb += buffer;
        write_file_bytes(dir.file("model/tri.glb"), glb);
        return dir.file("model/tri.glb");
    }

    // Imports into out/NAME and checks that nothing went wrong.
    std::string import(const std::string& model, const std::string& name = "scene.tpk",
                       qimport::ImportOptions options = {}) {
        fs::create_directories(dir.file("out"));
        const std::string out = dir.file("out/" + name);
        CScene scene(&core);
        std::string error;
        EXPECT_TRUE(qimport::import_model(scene, model, out, options, error)) << error;
        return out;
    }

    bool load(CScene& scene, const std::string& path) {
        std::string error;
        const bool ok = scene.load(path.c_str(), error);
        EXPECT_TRUE(ok) << error;
        return ok;
    }

    const qscene::CMeshItem* item(const CScene& scene, const char* name) {
        for (const auto& i : scene.items)
            if (i->get_name() == name) return i.get();
        ADD_FAILURE() << "no item " << name;
        return nullptr;
    }
};

void expect_colour(const D3DCOLORVALUE& c, float r, float g, float b) {
    EXPECT_FLOAT_EQ(c.r, r);
    EXPECT_FLOAT_EQ(c.g, g);
    EXPECT_FLOAT_EQ(c.b, b);
}

TEST_F(SceneImport, ObjWithMaterialsAndTextureLoadsBack) {
    const std::string out = import(write_obj());
    ASSERT_TRUE(fs::exists(dir.file("out/tex.bmp")));
    CScene scene(&core);
    ASSERT_TRUE(load(scene, out));
    EXPECT_EQ(scene.folder, dir.file("out/"));
    ASSERT_EQ(scene.items.size(), 2u);
    const qscene::CMeshItem* floor = item(scene, "Floor");
    const qscene::CMeshItem* glass = item(scene, "Glass");
    ASSERT_TRUE(floor && glass);

    // Right-handed z becomes left-handed -z: the floor runs from z 0 to +3.
    const CBox& box = floor->get_box();
    EXPECT_NEAR(box.min.x, 0, 1e-6);
    EXPECT_NEAR(box.max.x, 2, 1e-6);
    EXPECT_NEAR(box.min.z, 0, 1e-6);
    EXPECT_NEAR(box.max.z, 3, 1e-6);
    EXPECT_EQ(floor->mesh->GetNumFaces(), 2u);
    EXPECT_NEAR(glass->get_box().min.z, -1, 1e-6);

    ASSERT_EQ(floor->materials.size(), 1u);
    const IMaterial* floor_mtl = scene.materials[static_cast<size_t>(floor->materials[0])].material.get();
    expect_colour(floor_mtl->get_color().Diffuse, 0.25f, 0.5f, 0.75f);
    EXPECT_FLOAT_EQ(floor_mtl->get_color().Power, 20);
    EXPECT_FALSE(floor_mtl->is_enable_transp());
    ITexture* tex = floor_mtl->get_tex_from_index(WHICH_TEX_DIFFUSE);
    EXPECT_EQ(fs::path(tex->get_tex_filename().GetString()), fs::path(dir.file("out/tex.bmp")));
    EXPECT_TRUE(tex->can_render(0)) << last_log();

    const IMaterial* glass_mtl = scene.materials[static_cast<size_t>(glass->materials[0])].material.get();
    expect_colour(glass_mtl->get_color().Diffuse, 0, 0, 1);
    EXPECT_TRUE(glass_mtl->is_enable_transp());
    EXPECT_EQ(glass_mtl->get_transp_type(), TRANSP_TYPE_1);
    EXPECT_EQ(glass_mtl->get_transparent_factor(), 128);

    // The camera looks at the whole scene from in front of it.
    const CBox all = scene.bounds();
    EXPECT_LT(scene.camera.get_eye_pos().z, all.min.z);
    EXPECT_GT(scene.camera.get_far_plane(), scene.camera.get_near_plane());
}

TEST_F(SceneImport, GltfNodeTransformAndEmbeddedTexture) {
    for (bool binary : {false, true}) {
        SCOPED_TRACE(binary ? "glb" : "gltf");
        const std::string out = import(write_gltf(binary), "tri.tpk");
        const std::string texture = dir.file("out/tri_embedded0.png");
        ASSERT_TRUE(fs::exists(texture));
        CScene scene(&core);
        ASSERT_TRUE(load(scene, out));
        ASSERT_EQ(scene.items.size(), 1u);
        const qscene::CMeshItem* tri = item(scene, "Tri");
        ASSERT_TRUE(tri);
        const MAT& w = tri->get_wts();
        EXPECT_FLOAT_EQ(w._41, 1);
        EXPECT_FLOAT_EQ(w._42, 2);
        EXPECT_FLOAT_EQ(w._43, -3);
        EXPECT_FLOAT_EQ(w._11, 1);
        EXPECT_NEAR(tri->get_box().max.y, 1, 1e-6);
        const IMaterial* m = scene.materials[static_cast<size_t>(tri->materials[0])].material.get();
        expect_colour(m->get_color().Diffuse, 0, 1, 0);
        EXPECT_TRUE(m->is_two_sided());
        ITexture* tex = m->get_tex_from_index(WHICH_TEX_DIFFUSE);
        EXPECT_EQ(fs::path(tex->get_tex_filename().GetString()), fs::path(texture));
        EXPECT_TRUE(tex->can_render(0)) << last_log();
        fs::remove(texture);
    }
}

TEST_F(SceneImport, PlyWithoutMaterialsGetsADefaultOne) {
    fs::create_directories(dir.file("model"));
    write_file_bytes(dir.file("model/tri.ply"), "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\n"
                                                "property float y\nproperty float z\nelement face 1\n"
                                                "property list uchar int vertex_indices\nend_header\n"
                                                "0 0 0\n4 0 0\n0 2 0\n3 0 1 2\n");
    CScene scene(&core);
    ASSERT_TRUE(load(scene, import(dir.file("model/tri.ply"), "ply.tpk")));
    ASSERT_EQ(scene.items.size(), 1u);
    EXPECT_EQ(scene.materials.size(), 1u);
    EXPECT_NEAR(scene.bounds().max.x, 4, 1e-6);
    EXPECT_NEAR(scene.bounds().max.y, 2, 1e-6);
}

TEST_F(SceneImport, ScaleAppliesToTransforms) {
    qimport::ImportOptions options;
    options.scale = 2;
    const std::string out = import(write_gltf(), "big.tpk", options);
    CScene scene(&core);
    ASSERT_TRUE(load(scene, out));
    ASSERT_EQ(scene.items.size(), 1u);
    EXPECT_FLOAT_EQ(scene.items[0]->get_wts()._11, 2);
    EXPECT_FLOAT_EQ(scene.items[0]->get_wts()._43, -6);
}

TEST_F(SceneImport, TextureAlphaChoosesTheTransparency) {
    struct Row {
        uint32_t clear_texel;
        int zwrite;
    } rows[] = {{0x00000000u, 1}, {0x80ffffffu, 0}};
    for (const Row& row : rows) {
        qcore::detail::ArgbImage img;
        img.width = img.height = 8;
        img.pixels.assign(64, 0xff00ff00u);
        std::fill(img.pixels.begin(), img.pixels.begin() + 32, row.clear_texel);
        const std::vector<uint8_t> png = qcore::detail::encode_png(img, false);
        fs::create_directories(dir.file("leaf"));
        write_file_bytes(dir.file("leaf/leaf.png"), std::string(png.begin(), png.end()));
        write_file_bytes(dir.file("leaf/leaf.mtl"), "newmtl leaf\nKd 1 1 1\nmap_Kd leaf.png\n");
        write_file_bytes(dir.file("leaf/leaf.obj"),
                         "mtllib leaf.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\n"
                         "o Leaf\nusemtl leaf\nf 1/1 2/2 3/3\n");
        CScene scene(&core);
        ASSERT_TRUE(load(scene, import(dir.file("leaf/leaf.obj"), "leaf.tpk")));
        const IMaterial* m =
            scene.materials[static_cast<size_t>(scene.items.at(0)->materials.at(0))].material.get();
        EXPECT_TRUE(m->is_enable_transp());
        EXPECT_EQ(m->get_transp_type(), TRANSP_TYPE_TEXTURE_ALPHA);
        EXPECT_EQ(m->is_zwrite(), row.zwrite) << std::hex << row.clear_texel;
    }
}

TEST_F(SceneImport, VideoMapBecomesAVideoSurface) {
    fs::create_directories(dir.file("tv"));
    write_file_bytes(dir.file("tv/clip.MP4"), "frames");
    write_file_bytes(dir.file("tv/tv.mtl"), "newmtl screen\nKd 1 1 1\nmap_Kd clip.MP4\n");
    write_file_bytes(dir.file("tv/tv.obj"),
                     "mtllib tv.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\no Screen\nusemtl screen\nf 1 2 3\n");
    CScene scene(&core);
    ASSERT_TRUE(load(scene, import(dir.file("tv/tv.obj"), "tv.tpk")));
    ASSERT_EQ(scene.materials.size(), 1u);
    EXPECT_EQ(scene.materials[0].video, "clip.MP4");
    EXPECT_EQ(read_file_bytes(dir.file("out/clip.MP4")), "frames");
    EXPECT_EQ(scene.materials[0].material->get_tex_from_index(WHICH_TEX_DIFFUSE)->get_tex_file(), nullptr);
}

TEST_F(SceneImport, ProgressRunsToTheEndAndCanCancel) {
    const std::string model = write_obj();
    fs::create_directories(dir.file("out"));
    const std::string out = dir.file("out/p.tpk");
    CScene scene(&core);
    std::string error;
    std::vector<float> seen;
    ASSERT_TRUE(qimport::import_model(scene, model, out, {}, error, nullptr, [&](float done, const char*) {
        seen.push_back(done);
        return true;
    })) << error;
    ASSERT_FALSE(seen.empty());
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_FLOAT_EQ(seen.back(), 1.0f);

    fs::remove(out);
    int calls = 0;
    EXPECT_FALSE(qimport::import_model(scene, model, out, {}, error, nullptr,
                                       [&](float done, const char*) { return ++calls < 3 || done < 0.8f; }));
    EXPECT_NE(error.find("cancelled"), std::string::npos) << error;
    EXPECT_FALSE(fs::exists(out));
    EXPECT_FALSE(fs::exists(out + ".part"));
}

TEST_F(SceneImport, SaveLoadSaveGivesTheSameBytes) {
    const std::string first = import(write_obj());
    CScene scene(&core);
    ASSERT_TRUE(load(scene, first));
    scene.materials[0].video = "clip.mp4";
    scene.cam_path.add_key(scene.camera);
    scene.cam_path.add_key(scene.camera);
    std::string error;
    const std::string second = dir.file("out/second.tpk");
    ASSERT_TRUE(scene.save(second.c_str(), error)) << error;
    CScene again(&core);
    ASSERT_TRUE(load(again, second));
    EXPECT_EQ(again.materials[0].video, "clip.mp4");
    EXPECT_EQ(again.cam_path.get_key_count(), 2);
    const std::string third = dir.file("out/third.tpk");
    ASSERT_TRUE(again.save(third.c_str(), error)) << error;
    EXPECT_EQ(read_file_bytes(second), read_file_bytes(third));
    EXPECT_FALSE(fs::exists(third + ".part"));
}

TEST_F(SceneImport, SaveRefusesInconsistentScenes) {
    CScene scene(&core);
    scene.add_item("lost", 3, MAT::get_scaling_matrix(1, 1, 1), {});
    std::string error;
    const std::string path = dir.file("bad.tpk");
    EXPECT_FALSE(scene.save(path.c_str(), error));
    EXPECT_NE(error.find("item 0 places no mesh"), std::string::npos) << error;
    EXPECT_FALSE(fs::exists(path));
}

TEST_F(SceneImport, TruncatedSceneFails) {
    const std::string path = import(write_obj());
    const std::string bytes = read_file_bytes(path);
    // Every cut before the work area loses something the scene needs; later cuts at record boundaries
    // may only lose optional fields.
    const size_t aera = bytes.find(std::string("aera\0", 5));
    ASSERT_NE(aera, std::string::npos);
    const std::string cut = dir.file("cut.tpk");
    CScene scene(&core);
    for (size_t n = 0; n < aera; n += n < 200 ? 1 : 29) {
        write_file_bytes(cut, bytes.substr(0, n));
        std::string error;
        ASSERT_FALSE(scene.load(cut.c_str(), error)) << n;
        EXPECT_EQ(error.rfind("cannot read ", 0), 0u) << error;
        EXPECT_TRUE(scene.items.empty() && scene.meshes.empty() && scene.materials.empty()) << n;
    }
}

// The node at a path of names below the root.
CPakNode* node_at(CPakFile& pak, const std::string& path) {
    CPakNode* node = pak.get_root();
    for (size_t start = 0; node && start <= path.size();) {
        const size_t end = std::min(path.find('/', start), path.size());
        node = node->find(path.substr(start, end - start).c_str());
        start = end + 1;
    }
    return node;
}

TEST_F(SceneImport, NamesOfDevicesAreLeftOut) {
    const std::string good = import(write_obj());
    CPakFile pak;
    ASSERT_TRUE(pak.open(good.c_str(), 1));
    CPakNode* name = node_at(pak, "materials/mtl0/TEX_DIFFUSE/FILENAME");
    ASSERT_TRUE(name);
    name->set_data_buf("/dev/zero", 10);
    const std::string hostile = dir.file("hostile.tpk");
    ASSERT_TRUE(pak.save_as(hostile.c_str()));
    pak.close_file();
    CScene scene(&core);
    ASSERT_TRUE(load(scene, hostile));
    EXPECT_EQ(scene.materials[0].material->get_tex_from_index(WHICH_TEX_DIFFUSE)->get_tex_file(), nullptr);
    EXPECT_NE(last_log().find("/dev/zero"), std::string::npos) << last_log();

    scene.materials[0].video = "/dev/null";
    std::string error;
    ASSERT_TRUE(scene.save(hostile.c_str(), error)) << error;
    ASSERT_TRUE(load(scene, hostile));
    EXPECT_EQ(scene.materials[0].video, "");
}

struct Damage {
    const char* path; // node path from the root
    int value;
    const char* message;
};

class SceneDamage : public SceneImport, public ::testing::WithParamInterface<Damage> {};

TEST_P(SceneDamage, GivesAClearError) {
    const std::string good = import(write_obj());
    CPakFile pak;
    ASSERT_TRUE(pak.open(good.c_str(), 1));
    CPakNode* node = node_at(pak, GetParam().path);
    ASSERT_TRUE(node) << GetParam().path;
    if (node->get_node_type() == NODE_INT) {
        node->set_data_buf(&GetParam().value, 4);
    } else if (node->get_node_type() == NODE_MATRIX) {
        MAT m = MAT::get_scaling_matrix(1, 1, 1);
        m._42 = std::numeric_limits<float>::quiet_NaN();
        node->set_data_buf(&m, sizeof m);
    } else if (node->get_node_type() == NODE_STR32) {
        node->set_data_buf("SomethingElse", 14);
    } else {
        const int32_t bad = GetParam().value;
        node->set_data_buf(&bad, sizeof bad);
    }
    const std::string damaged = dir.file("damaged.tpk");
    ASSERT_TRUE(pak.save_as(damaged.c_str()));
    pak.close_file();

    CScene scene(&core);
    std::string error;
    EXPECT_FALSE(scene.load(damaged.c_str(), error));
    EXPECT_NE(error.find(GetParam().message), std::string::npos) << error;
    EXPECT_TRUE(scene.items.empty() && scene.meshes.empty() && scene.materials.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Fields, SceneDamage,
    ::testing::Values(Damage{"VR_TYPE", 0, "not a scene file"},
                      Damage{"SCENE_VERSION", 2, "scene format version 2 is newer"},
                      Damage{"SCENE_VERSION", 0, "version is missing"},
                      Damage{"ITEM_COUNT", 1000000, "count does not match"},
                      Damage{"MESH_COUNT", -1, "count does not match"},
                      Damage{"MATERIAL_COUNT", 0x7fffffff, "count does not match"},
                      Damage{"items/item1/MESH_INDEX", 7, "item 1 places a mesh"},
                      Damage{"items/item0/MESH_INDEX", -1, "item 0 places a mesh"},
                      Damage{"items/item0/MATERIALS", 9, "item 0 uses a material"},
                      Damage{"items/item0/MATERIALS", -2, "item 0 uses a material"},
                      Damage{"items/item0/MESH_MATRIX", 0, "item 0 has no usable transform"},
                      Damage{"meshes/mesh0/MESH_FACE_COUNT", 0x40000000, "mesh 0 is missing or damaged"},
                      Damage{"meshes/mesh1/MESH_IB", 0x00070007, "mesh 1 is missing or damaged"},
                      Damage{"materials/mtl0/VR_TYPE", 0, "material 0 is missing or damaged"},
                      Damage{"camera/VR_TYPE", 0, "camera is missing"}));

TEST_F(SceneImport, UnreadableInputsGiveOneLineErrors) {
    CScene scene(&core);
    std::string error;
    EXPECT_FALSE(scene.load(dir.file("none.tpk").c_str(), error));
    EXPECT_NE(error.find("no such file"), std::string::npos) << error;
    write_file_bytes(dir.file("text.tpk"), "hello, not a tree");
    EXPECT_FALSE(scene.load(dir.file("text.tpk").c_str(), error));
    EXPECT_NE(error.find("not a tpk node-tree file"), std::string::npos) << error;

    fs::create_directories(dir.file("out"));
    const std::string out = dir.file("out/x.tpk");
    struct Case {
        std::string model;
        const char* message;
    } cases[] = {{dir.file("missing.obj"), "no such file"},
                 {dir.file("broken.gltf"), "cannot read"},
                 {dir.file("empty.obj"), "cannot read"}};
    write_file_bytes(dir.file("broken.gltf"), R"({"asset":{"version":"2.0"},"meshes":[{"primitives":[)");
    write_file_bytes(dir.file("empty.obj"), "# nothing\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\nv 0 0 0\n");
    for (const Case& c : cases) {
        error.clear();
        EXPECT_FALSE(qimport::import_model(scene, c.model, out, {}, error)) << c.model;
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
        EXPECT_FALSE(fs::exists(out));
    }
    error.clear();
    EXPECT_FALSE(qimport::import_model(scene, write_obj(), dir.file("no/such/folder/x.tpk"), {}, error));
    EXPECT_NE(error.find("folder does not exist"), std::string::npos) << error;
}

} // namespace

namespace {

struct ToolRun {
    int status;
    std::string out;
    std::string err;
};

class ImportTool : public SceneImport {
protected:
    ToolRun run(const std::string& args) {
        const std::string cmd = std::string(QCORE_BIN_DIR "/qcore-import ") + args + " >" +
                                dir.file("stdout") + " 2>" + dir.file("stderr");
        const int rc = std::system(cmd.c_str());
        return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, read_file_bytes(dir.file("stdout")),
                read_file_bytes(dir.file("stderr"))};
    }
};

TEST_F(ImportTool, ReportsProgressAndFailures) {
    const std::string model = write_obj();
    const std::string out = dir.file("tool.tpk");
    ToolRun r = run(model + " " + out);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("100% saved\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("2 items, 2 meshes, 2 materials"), std::string::npos) << r.out;

    r = run("--quiet " + model + " " + out + " --scale 0.5");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    CScene scene(&core);
    ASSERT_TRUE(load(scene, out));
    EXPECT_FLOAT_EQ(scene.items[0]->get_wts()._22, 0.5f);

    r = run(dir.file("missing.obj") + " " + out);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "qcore-import: cannot open " + dir.file("missing.obj") + ": no such file\n");

    for (const char* bad :
         {"", "--scale x a.obj b.tpk", "--scale -1 a.obj b.tpk", "a.obj", "--frobnicate a b"}) {
        r = run(bad);
        EXPECT_EQ(r.status, 2) << bad;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
}

} // namespace
