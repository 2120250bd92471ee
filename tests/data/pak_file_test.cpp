#include <qcore/data/pak_file.h>
#include <qcore/geom/frect.h>
#include <qcore/geom/math3d.h>
#include <qcore/platform/d3d8/d3d8_types.h>
#include <qcore/platform/win32/message_box.h>

#include "data/pak_records.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

using qcore::MessageBoxRecorder;
using qcore::test::kPakHead;
using qcore::test::pak_record;
using qcore::test::raw_bytes;
using qcore::test::read_file_bytes;
using qcore::test::TempDir;
using qcore::test::write_file_bytes;

namespace {

std::vector<std::string> names_of(const std::vector<CPakNode*>& nodes) {
    std::vector<std::string> out;
    for (const CPakNode* n : nodes)
        out.push_back(n->get_name());
    return out;
}

struct PakTest : ::testing::Test {
    TempDir dir;
    std::string path = dir.file("scene.tpk");
};

TEST_F(PakTest, NestedDirectoriesAndOneIntegerMake332ExactBytes) {
    int ids[5];
    {
        CPakFile pak;
        ASSERT_EQ(pak.create(path.c_str()), 1);
        CPakNode* a = pak.get_root()->create_dir_node("a");
        CPakNode* b = a->create_dir_node("b");
        CPakNode* c = b->create_dir_node("c");
        const int value = 0x12345678;
        CPakNode* v = c->create_data_node("value", NODE_INT, &value);
        ASSERT_TRUE(v);
        ids[0] = pak.get_root()->get_id();
        ids[1] = a->get_id();
        ids[2] = b->get_id();
        ids[3] = c->get_id();
        ids[4] = v->get_id();
        EXPECT_EQ(ids[1], ids[0] + 1);
        EXPECT_EQ(ids[4], ids[0] + 4);
    }
    const std::string expected =
        kPakHead + pak_record("root", ids[0], 0, NODE_DIR, 0, "", 0) +
        pak_record("a", ids[1], ids[0], NODE_DIR, 0, "", 0) +
        pak_record("b", ids[2], ids[1], NODE_DIR, 0, "", 0) +
        pak_record("c", ids[3], ids[2], NODE_DIR, 0, "", 0) +
        pak_record("value", ids[4], ids[3], NODE_INT, 0, raw_bytes<int32_t>(0x12345678), 4);
    ASSERT_EQ(expected.size(), 332u);
    EXPECT_EQ(read_file_bytes(path), expected);

    for (int preload : {0, 1}) {
        CPakFile pak;
        ASSERT_EQ(pak.open(path.c_str(), preload), 1);
        CPakNode* c = pak.get_root()->find("a")->find("b")->find("c");
        ASSERT_TRUE(c);
        EXPECT_EQ(c->get_id(), ids[3]);
        EXPECT_EQ(c->get_parent_id(), ids[2]);
        int value = 0;
        CPakNode* v = c->find_data("value", NODE_INT, &value, 1);
        ASSERT_TRUE(v);
        EXPECT_EQ(value, 0x12345678);
        EXPECT_EQ(v->get_id(), ids[4]);
        EXPECT_EQ(v->is_data_on_disk(), preload ? 0 : 1);
        EXPECT_EQ(pak.find_node_from_id(ids[4]), v);
        EXPECT_EQ(pak.find_node_from_id(-5), nullptr);
        EXPECT_EQ(pak.get_full_filename(), CString(path.c_str()));
    }
}

TEST_F(PakTest, LookupIgnoresCaseAndDuplicatesKeepCreationOrder) {
    MessageBoxRecorder boxes;
    CPakFile pak;
    ASSERT_EQ(pak.create(path.c_str()), 1);
    CPakNode* root = pak.get_root();
    CPakNode* first = root->create_dir_node("Material");
    EXPECT_EQ(root->create_dir_node("MATERIAL"), nullptr);
    EXPECT_EQ(boxes.texts(),
              std::vector<std::string>{"MATERIAL : such node name already exist, Create Failed!"});
    CPakNode* second = root->create_dir_node("material", 1);
    ASSERT_TRUE(second);
    root->create_dir_node("zeta");
    for (const char* n : {"material", "MATERIAL", "mAtErIaL"})
        EXPECT_EQ(root->find(n), first) << n;
    EXPECT_EQ(names_of(root->get_children()), (std::vector<std::string>{"Material", "material", "zeta"}));
    EXPECT_EQ(root->find("materia"), nullptr);
    EXPECT_EQ(root->create_buf_node("Zeta", "x", 1), nullptr);
    EXPECT_EQ(boxes.count(), 2u);
}

TEST_F(PakTest, NamesAndTextFieldsAreCutAndTerminated) {
    const std::string long_name(60, 'n');
    const std::string text40(40, 't');
    {
        CPakFile pak;
        ASSERT_EQ(pak.create(path.c_str()), 1);
        CPakNode* root = pak.get_root();
        EXPECT_EQ(std::string(root->create_dir_node(long_name.c_str())->get_name()), long_name.substr(0, 47));
        root->create_data_node("s32", NODE_STR32, text40.c_str());
        root->create_data_node("s64", NODE_STR64, "short");
        root->create_data_node("file", NODE_FILENAME, "C:\\scenes\\a.tpk");
        root->create_str_node("empty", "");
        root->create_str_node("text", "hello");
    }
    const std::string bytes = read_file_bytes(path);
    // The 32-byte field holds 31 characters and a zero, with zeros after the text of shorter fields.
    const size_t s32 = 8 + 64 * 2 + 64;
    EXPECT_EQ(bytes.substr(s32, 32), std::string(31, 't') + '\0');
    const size_t s64 = s32 + 32 + 64;
    EXPECT_EQ(bytes.substr(s64, 64), std::string("short") + std::string(59, '\0'));

    CPakFile pak;
    ASSERT_EQ(pak.open(path.c_str(), 0), 1);
    CPakNode* root = pak.get_root();
    EXPECT_TRUE(root->find(long_name.substr(0, 47).c_str()));
    char s[32];
    ASSERT_TRUE(root->find_data("S32", NODE_STR32, s, 1));
    EXPECT_EQ(std::string(s), std::string(31, 't'));
    char f[260];
    root->find_data("file", NODE_FILENAME, f, 1);
    EXPECT_STREQ(f, "C:\\scenes\\a.tpk");
    CPakNode* empty = root->find("empty");
    EXPECT_EQ(empty->get_length(), 0);
    EXPECT_EQ(empty->get_sub_type(), qcore::buf_chars);
    CString str("junk");
    EXPECT_EQ(root->get_str_node("empty", str), 1);
    EXPECT_EQ(str, "");
    EXPECT_EQ(root->get_str_node("TEXT", str), 1);
    EXPECT_EQ(str, "hello");
    EXPECT_EQ(root->get_str_node("s32", str), 0);
    EXPECT_EQ(root->get_str_node("none", str), 0);
}

TEST_F(PakTest, EveryFixedTypeRoundTripsAndMismatchesAreReported) {
    D3DMATRIX m{};
    for (int i = 0; i < 16; ++i)
        m.m[i / 4][i % 4] = static_cast<float>(i) + 0.5f;
    const D3DVECTOR v{1.f, -2.f, 3.f};
    const RECT rc{1, 2, 3, 4};
    const SIZE sz{640, 480};
    const float f4[4] = {0.25f, 0.5f, 0.75f, 1.f};
    {
        CPakFile pak;
        ASSERT_EQ(pak.create(path.c_str()), 1);
        CPakNode* root = pak.get_root();
        root->create_data_node("mat", NODE_MATRIX, &m);
        root->create_data_node("vec", NODE_VEC, &v);
        root->create_data_node("rect", NODE_CRECT, &rc);
        root->create_data_node("size", NODE_CSIZE, &sz);
        root->create_data_node("quat", NODE_QUAT, f4);
        root->create_data_node("zero", NODE_BOX, nullptr);
        EXPECT_EQ(root->find("zero")->get_length(), 24);
    }
    for (int preload : {0, 1}) {
        CPakFile pak;
        ASSERT_EQ(pak.open(path.c_str(), preload), 1);
        CPakNode* root = pak.get_root();
        D3DMATRIX m2{};
        D3DVECTOR v2{};
        RECT rc2{};
        SIZE sz2{};
        float q[4] = {};
        float box[6] = {9, 9, 9, 9, 9, 9};
        root->find_data("mat", NODE_MATRIX, &m2, 1);
        root->find_data("vec", NODE_VEC, &v2, 1);
        root->find_data("rect", NODE_CRECT, &rc2, 1);
        root->find_data("size", NODE_CSIZE, &sz2, 1);
        root->find_data("quat", NODE_QUAT, q, 1);
        root->find_data("zero", NODE_BOX, box, 1);
        EXPECT_EQ(std::memcmp(&m, &m2, sizeof m), 0);
        EXPECT_EQ(std::memcmp(&v, &v2, sizeof v), 0);
        EXPECT_EQ(rc2.bottom, 4);
        EXPECT_EQ(sz2.cy, 480);
        EXPECT_EQ(std::memcmp(f4, q, sizeof q), 0);
        EXPECT_EQ(box[5], 0.f);

        MessageBoxRecorder boxes;
        int untouched = 77;
        EXPECT_EQ(root->find("vec")->get_data(NODE_INT, &untouched), 0);
        EXPECT_EQ(untouched, 77);
        EXPECT_EQ(root->find_data("vec", NODE_FLOAT, &untouched, 0), root->find("vec"));
        EXPECT_EQ(root->find_data("missing", NODE_INT, &untouched, 0), nullptr);
        EXPECT_EQ(root->find_data("missing", NODE_INT, &untouched, 1), nullptr);
        std::vector<BYTE> bytes;
        EXPECT_EQ(root->find("vec")->get_buffer(bytes), 0);
        EXPECT_EQ(boxes.texts(), (std::vector<std::string>{"3 != 8, err get_data(), mode type mismatch",
                                                           "9 != 8, err get_data(), mode type mismatch",
                                                           "missing : such node not exist! find_data Err!",
                                                           "type mismatch, get buffer err"}));
    }
}

TEST_F(PakTest, BuffersReadWholeElementsOnly) {
    const float values[5] = {1, 2, 3, 4, 5};
    {
        CPakFile pak;
        ASSERT_EQ(pak.create(path.c_str()), 1);
        pak.get_root()->create_buf_node("floats", values, 20, qcore::buf_float);
    }
    for (int preload : {0, 1}) {
        CPakFile pak;
        ASSERT_EQ(pak.open(path.c_str(), preload), 1);
        CPakNode* node = pak.get_root()->find("floats");
        std::vector<float> f;
        ASSERT_EQ(node->get_buffer(f), 1);
        EXPECT_EQ(f, std::vector<float>(values, values + 5));
        std::vector<D3DVECTOR> v(7);
        ASSERT_EQ(node->get_buffer(v), 1);
        ASSERT_EQ(v.size(), 1u);
        EXPECT_EQ(v[0].z, 3.f);
        std::vector<uint64_t> wide;
        ASSERT_EQ(node->get_buffer(wide), 1);
        EXPECT_EQ(wide.size(), 2u);
        float mem[5] = {};
        EXPECT_EQ(node->get_buffer_to_mem_allocated(mem, 16), 0);
        EXPECT_EQ(node->get_buffer_to_mem_allocated(mem, 20), 1);
        EXPECT_EQ(mem[4], 5.f);
        // get_data copies a buffer's bytes too, preloaded or not.
        float by_data[5] = {};
        EXPECT_EQ(node->get_data(NODE_BUF, by_data), 1);
        EXPECT_EQ(std::vector<float>(by_data, by_data + 5), std::vector<float>(values, values + 5));
    }
}

TEST_F(PakTest, NodeMessagesAndRules) {
    MessageBoxRecorder boxes;
    CPakFile pak;
    ASSERT_EQ(pak.create(path.c_str()), 1);
    CPakNode* root = pak.get_root();
    const int one = 1;
    CPakNode* leaf = root->create_data_node("leaf", NODE_INT, &one);
    EXPECT_EQ(leaf->create_dir_node("x"), nullptr);
    EXPECT_EQ(leaf->create_buf_node("x", "a", 1), nullptr);
    EXPECT_EQ(leaf->create_data_node("x", NODE_INT, &one), nullptr);
    CPakNode* odd = root->create_data_node("odd", 99, &one);
    ASSERT_TRUE(odd);
    EXPECT_EQ(odd->get_length(), 0);
    EXPECT_EQ(CPakNode::get_type_length(0), 0);
    EXPECT_STREQ(CPakNode::get_type_name(19), "such type not exist!");
    EXPECT_STREQ(CPakNode::get_type_name(NODE_D3DXCOLOR), "NODE_D3DXCOLOR");
    EXPECT_EQ(CPakNode::get_type_length(NODE_BUF), -1);
    EXPECT_EQ(CPakNode::get_type_length(NODE_FILENAME), 260);
    EXPECT_EQ(boxes.texts(), (std::vector<std::string>{"Only DIR NODE can create data node!",
                                                       "Only DIR NODE can create data node!",
                                                       "get data length err!", "get data length err!"}));
}

TEST_F(PakTest, TreeQueriesAndInMemoryEdits) {
    CPakFile pak;
    ASSERT_EQ(pak.create(path.c_str()), 1);
    CPakNode* item = pak.get_root()->create_dir_node("item");
    item->create_dir_node("a");
    item->create_dir_node("b");
    for (int i = 0; i < 5; ++i)
        item->create_data_node(("v" + std::to_string(i)).c_str(), NODE_INT, &i);
    EXPECT_EQ(item->get_dir_node_count(), 3);
    EXPECT_EQ(pak.get_root()->get_dir_node_count(), 4);
    item->create_data_node("VR_TYPE", NODE_STR32, "Camera");
    EXPECT_NE(item->is_type("vr_type", "CAMERA"), 0);
    EXPECT_EQ(item->is_type("vr_type", "Light"), 0);
    {
        MessageBoxRecorder boxes;
        EXPECT_EQ(item->is_type("missing", "Camera"), 0);
        EXPECT_EQ(item->is_type("v0", "0"), 0);
        EXPECT_EQ(item->find("v1")->is_type("x", "y"), 0);
        EXPECT_EQ(boxes.texts(), std::vector<std::string>{"5 != 3, err get_data(), mode type mismatch"});
    }

    CPakNode* v2 = item->find("v2");
    const int nine = 9;
    v2->set_data_buf(&nine, 4);
    int out = 0;
    EXPECT_EQ(v2->get_data(NODE_INT, &out), 1);
    EXPECT_EQ(out, 9);
    v2->set_name(std::string(48, 'x').c_str());
    EXPECT_STREQ(v2->get_name(), "v2");
    v2->set_name("renamed");
    EXPECT_STREQ(v2->get_name(), "renamed");
    EXPECT_EQ(item->find("v2"), v2);
    EXPECT_EQ(item->find("renamed"), nullptr);

    std::unique_ptr<CPakNode> loose(CPakNode::new_one("loose", 7, NODE_INT, nullptr));
    EXPECT_EQ(loose->get_parent_id(), 7);
    EXPECT_EQ(loose->is_data_on_disk(), 1);
    EXPECT_GT(loose->get_id(), v2->get_id());
}

TEST_F(PakTest, HeaderOnlyFileAndBadHeaders) {
    write_file_bytes(path, kPakHead);
    CPakFile pak;
    EXPECT_EQ(pak.open(path.c_str(), 0), 1);
    EXPECT_EQ(pak.get_root(), nullptr);

    MessageBoxRecorder boxes;
    for (const std::string& bad : {std::string("tpk\0"
                                               "1.1\0",
                                               8),
                                   std::string("tpk\0"
                                               "1.0",
                                               7),
                                   std::string("TPK\0"
                                               "1.0\0",
                                               8),
                                   std::string()}) {
        write_file_bytes(path, bad);
        EXPECT_EQ(pak.open(path.c_str(), 1), 0);
    }
    EXPECT_EQ(boxes.count(), 4u);
    EXPECT_EQ(boxes.texts()[0], path + " , 不是一个有效的tpk格式文件!");
    const std::string missing = dir.file("none.tpk");
    EXPECT_EQ(pak.open(missing.c_str(), 0), 0);
    EXPECT_EQ(boxes.texts().back(), missing + " was not found.");
    EXPECT_EQ(pak.create(dir.file("no/such/dir.tpk").c_str()), 0);
    EXPECT_EQ(boxes.texts().back(), "Can't wirte to file: " + dir.file("no/such/dir.tpk"));
}

TEST_F(PakTest, SaveAsWritesPreOrderAndKeepsData) {
    std::vector<uint16_t> indices(1000);
    for (size_t i = 0; i < indices.size(); ++i)
        indices[i] = static_cast<uint16_t>(i * 7);
    {
        CPakFile pak;
        ASSERT_EQ(pak.create(path.c_str()), 1);
        CPakNode* root = pak.get_root();
        CPakNode* a = root->create_dir_node("a");
        CPakNode* b = root->create_dir_node("b");
        const int x = 5;
        b->create_data_node("bx", NODE_INT, &x);
        a->create_buf_node("ia", indices.data(), 2000, qcore::buf_uint16);
        a->create_dir_node("aa")->create_str_node("s", "deep");
        root->create_data_node("rx", NODE_FLOAT, &x);
    }
    const std::string copy = dir.file("copy.tpk");
    CPakFile src;
    ASSERT_EQ(src.open(path.c_str(), 0), 1);
    ASSERT_EQ(src.save_as(copy.c_str()), 1);

    // Pre-order: root, a, ia, aa, s, b, bx, rx.
    const std::string bytes = read_file_bytes(copy);
    std::vector<std::string> order;
    for (size_t at = 8; at + 64 <= bytes.size();) {
        order.push_back(bytes.c_str() + at);
        int32_t len;
        std::memcpy(&len, bytes.data() + at + 60, 4);
        at += 64 + static_cast<size_t>(len);
    }
    EXPECT_EQ(order, (std::vector<std::string>{"root", "a", "ia", "aa", "s", "b", "bx", "rx"}));
    EXPECT_EQ(bytes.size(), read_file_bytes(path).size());

    CPakFile again;
    ASSERT_EQ(again.open(copy.c_str(), 1), 1);
    std::vector<uint16_t> back;
    ASSERT_EQ(again.get_root()->find("a")->find("ia")->get_buffer(back), 1);
    EXPECT_EQ(back, indices);
    EXPECT_EQ(again.get_root()->find("a")->get_id(), src.get_root()->find("a")->get_id());
    CString s;
    again.get_root()->find("a")->find("aa")->get_str_node("s", s);
    EXPECT_EQ(s, "deep");
    // Saving over the file the tree is read from keeps the tree readable.
    ASSERT_EQ(src.save_as(path.c_str()), 1);
    EXPECT_EQ(read_file_bytes(path), bytes);
    std::vector<uint16_t> still;
    EXPECT_EQ(src.get_root()->find("a")->find("ia")->get_buffer(still), 1);
    EXPECT_EQ(still, indices);
}

TEST_F(PakTest, FailedSaveLeavesTheTargetAndNoTemporary) {
    {
        CPakFile pak;
        ASSERT_EQ(pak.create(path.c_str()), 1);
        std::string big(5000, 'b');
        pak.get_root()->create_buf_node("big", big.data(), 5000);
    }
    const std::string target = dir.file("target.tpk");
    write_file_bytes(target, "precious");
    CPakFile src;
    ASSERT_EQ(src.open(path.c_str(), 0), 1);
    // The source loses its data after opening: the copy cannot be completed.
    std::filesystem::resize_file(path, 100);
    MessageBoxRecorder boxes;
    EXPECT_EQ(src.save_as(target.c_str()), 0);
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{"Can't wirte to file: " + target});
    EXPECT_EQ(read_file_bytes(target), "precious");
    size_t files = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        files += e.is_regular_file();
    EXPECT_EQ(files, 2u);
    EXPECT_EQ(src.save_as(dir.file("missing/x.tpk").c_str()), 0);
}

TEST_F(PakTest, WritingFileCanBeReadBackAndSaved) {
    CPakFile pak;
    ASSERT_EQ(pak.create(path.c_str()), 1);
    const int x = 42;
    CPakNode* n = pak.get_root()->create_data_node("x", NODE_INT, &x);
    int y = 0;
    EXPECT_EQ(n->get_data(NODE_INT, &y), 1);
    EXPECT_EQ(y, 42);
    ASSERT_EQ(pak.save_as(dir.file("copy.tpk").c_str()), 1);
    pak.close_file();
    EXPECT_EQ(read_file_bytes(dir.file("copy.tpk")), read_file_bytes(path));
    EXPECT_EQ(pak.get_root(), nullptr);
    EXPECT_EQ(pak.get_full_filename(), CString());
}

TEST_F(PakTest, NodesCannotBeCreatedInAFileOpenedForReading) {
    {
        CPakFile pak;
        pak.create(path.c_str());
    }
    CPakFile pak;
    ASSERT_EQ(pak.open(path.c_str(), 0), 1);
    MessageBoxRecorder boxes;
    EXPECT_EQ(pak.get_root()->create_dir_node("x"), nullptr);
    EXPECT_EQ(boxes.count(), 1u);
    EXPECT_EQ(pak.get_root()->get_children().size(), 0u);
}

} // namespace

namespace {

TEST(PakWriteFailure, AFullDiskIsReportedAndEndsTheStream) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    MessageBoxRecorder boxes;
    CPakFile pak;
    ASSERT_EQ(pak.create("/dev/full"), 1);
    std::vector<BYTE> big(1 << 20);
    EXPECT_EQ(pak.get_root()->create_buf_node("big", big.data(), static_cast<int>(big.size())), nullptr);
    EXPECT_EQ(pak.get_root()->create_dir_node("after"), nullptr);
    EXPECT_EQ(boxes.texts(),
              (std::vector<std::string>{"Can't wirte to file: /dev/full", "Can't wirte to file: /dev/full"}));
    EXPECT_TRUE(pak.get_root()->get_children().empty());
}

} // namespace

namespace {

TEST_F(PakTest, GeometryValuesAreStoredAsTheirInMemoryImage) {
    const VEC v(1, 2, 3);
    const QUAT q(0, 0, 0.5f, 1);
    const MAT m(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 7, 0, 1);
    const FRect r(0.1f, 0.2f, 0.9f, 1);
    const float4 f(4, 3, 2, 1);
    const std::vector<VEC> verts{{1, 0, 0}, {0, 1, 0}};
    {
        CPakFile pak;
        ASSERT_EQ(pak.create(path.c_str()), 1);
        CPakNode* root = pak.get_root();
        root->create_data_node("v", NODE_VEC, &v);
        root->create_data_node("q", NODE_QUAT, &q);
        root->create_data_node("m", NODE_MATRIX, &m);
        root->create_data_node("r", NODE_FRECT, &r);
        root->create_data_node("f", NODE_FLOAT4, &f);
        root->create_buf_node("verts", verts.data(), 24, qcore::buf_vec);
    }
    CPakFile pak;
    ASSERT_EQ(pak.open(path.c_str(), 0), 1);
    CPakNode* root = pak.get_root();
    VEC v2;
    QUAT q2;
    MAT m2;
    FRect r2;
    float4 f2;
    root->find_data("v", NODE_VEC, &v2, 1);
    root->find_data("q", NODE_QUAT, &q2, 1);
    root->find_data("m", NODE_MATRIX, &m2, 1);
    root->find_data("r", NODE_FRECT, &r2, 1);
    root->find_data("f", NODE_FLOAT4, &f2, 1);
    EXPECT_EQ(v2.z, 3.f);
    EXPECT_EQ(q2.z, 0.5f);
    EXPECT_EQ(m2._42, 7.f);
    EXPECT_EQ(m2._11, 1.f);
    EXPECT_EQ(r2.left, 0.1f);
    EXPECT_EQ(r2.bottom, 1.f);
    EXPECT_EQ(f2[0], 4.f);
    std::vector<VEC> back;
    ASSERT_EQ(root->find("verts")->get_buffer(back), 1);
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[1].y, 1.f);
}

} // namespace

namespace {

TEST_F(PakTest, LargeDirectoriesFindTheFirstAddedChildOfAName) {
    CPakFile pak;
    ASSERT_EQ(pak.create(path.c_str()), 1);
    CPakNode* root = pak.get_root();
    // Names out of order, each added twice (the second time in upper case), with lookups in between.
    std::vector<CPakNode*> first;
    for (int i = 0; i < 500; ++i) {
        const std::string name = "n" + std::to_string((i * 7919) % 500);
        first.push_back(root->create_dir_node(name.c_str()));
        ASSERT_NE(first.back(), nullptr);
        EXPECT_EQ(root->find(name.c_str()), first.back());
    }
    for (int i = 0; i < 500; ++i) {
        std::string upper = "N" + std::to_string((i * 7919) % 500);
        ASSERT_NE(root->create_dir_node(upper.c_str(), 1), nullptr);
    }
    for (int i = 0; i < 500; ++i)
        EXPECT_EQ(root->find(("n" + std::to_string((i * 7919) % 500)).c_str()), first[i]) << i;
    EXPECT_EQ(root->find("n500"), nullptr);
    // A child added under another name is found by that name, not by its own.
    std::unique_ptr<CPakNode> loose(CPakNode::new_one("own", 0, NODE_DIR, nullptr));
    CPakNode* alias = loose.get();
    root->add_child("Alias", loose.release());
    EXPECT_EQ(root->find("alias"), alias);
    EXPECT_EQ(root->find("own"), nullptr);
    pak.close_file();

    for (int preload : {0, 1}) {
        ASSERT_EQ(pak.open(path.c_str(), preload), 1);
        EXPECT_EQ(pak.get_root()->get_children().size(), 1000u);
        CPakNode* n7 = pak.get_root()->find("N7");
        ASSERT_NE(n7, nullptr);
        EXPECT_STREQ(n7->get_name(), "n7"); // the lower-case one came first
    }
}

} // namespace

namespace {

// Every node of the tree with its name path, type, id and data, in pre-order.
std::vector<std::string> describe_tree(CPakFile& pak) {
    std::vector<std::string> out;
    std::vector<std::pair<CPakNode*, std::string>> stack;
    if (pak.get_root()) stack.emplace_back(pak.get_root(), "");
    while (!stack.empty()) {
        auto [node, prefix] = stack.back();
        stack.pop_back();
        const std::string path = prefix + "/" + node->get_name();
        std::string data(static_cast<size_t>(node->get_length()), '\0');
        if (node->get_node_type() == NODE_BUF) {
            EXPECT_EQ(node->get_buffer_to_mem_allocated(data.data(), node->get_length()), 1);
        } else if (!data.empty()) {
            EXPECT_EQ(node->get_data(node->get_node_type(), data.data()), 1) << path;
        }
        out.push_back(path + " " + std::to_string(node->get_node_type()) + " " +
                      std::to_string(node->get_id()) + " " + data);
        const auto& kids = node->get_children();
        for (auto k = kids.rbegin(); k != kids.rend(); ++k)
            stack.emplace_back(*k, path);
    }
    return out;
}

TEST_F(PakTest, LookupsFindTheFirstOfANameBeforeAndAfterIndexing) {
    // "k32728" and "k261234" fold to names of the same 32-bit hash: the lookup must still tell them apart.
    const std::vector<std::string> names = {"k261234", "K32728", "Other", "k32728"};
    CPakFile pak;
    ASSERT_EQ(pak.create(path.c_str()), 1);
    CPakNode* root = pak.get_root();
    CPakNode* small = root->create_dir_node("small");
    CPakNode* large = root->create_dir_node("large");
    for (CPakNode* dir : {small, large})
        for (const std::string& n : names)
            ASSERT_TRUE(dir->create_dir_node(n.c_str(), 1));
    // Interleaved with the small directory's records, so that reading switches parents often.
    for (int i = 0; i < 40; ++i) {
        large->create_data_node(("v" + std::to_string(i)).c_str(), NODE_INT, &i);
        if (i % 10 == 0) small->create_data_node(("s" + std::to_string(i)).c_str(), NODE_INT, &i);
    }
    CPakNode* renamed = large->find("v5");
    renamed->set_name("moved");

    // Looked up in every letter case, each name gives the child added first under it.
    auto check = [&](CPakNode* top, const char* when) {
        for (const char* dname : {"small", "LARGE"}) {
            CPakNode* dir = top->find(dname);
            ASSERT_TRUE(dir) << when;
            const auto& kids = dir->get_children();
            EXPECT_EQ(dir->find("K261234"), kids[0]) << when;
            EXPECT_EQ(dir->find("k32728"), kids[1]) << when;
            EXPECT_EQ(dir->find("other"), kids[2]) << when;
            EXPECT_EQ(dir->find("k3272"), nullptr) << when;
        }
        int v = -1;
        EXPECT_TRUE(top->find("large")->find_data("V39", NODE_INT, &v, 1)) << when;
        EXPECT_EQ(v, 39);
        EXPECT_EQ(top->find("large")->find("v40"), nullptr);
    };
    check(root, "while writing");
    // A renamed child keeps the key it was added under.
    EXPECT_EQ(large->find("v5"), renamed);
    EXPECT_EQ(large->find("moved"), nullptr);
    const std::vector<std::string> written = describe_tree(pak);
    pak.close_file();

    for (int preload : {0, 1}) {
        ASSERT_EQ(pak.open(path.c_str(), preload), 1);
        check(pak.get_root(), preload ? "preloaded" : "read");
        EXPECT_EQ(pak.get_root()->find("large")->get_children().size(), 44u);
        EXPECT_EQ(pak.get_root()->find("small")->get_children().size(), 8u);
        const std::vector<std::string> read = describe_tree(pak);
        EXPECT_EQ(read.size(), written.size());
        EXPECT_EQ(read[0], written[0]);
    }
}

// A file large enough for the preloaded copy to take huge pages, and one of small nodes only, whose
// preloaded data moves out of the copy: both read and save the same as without preload.
TEST_F(PakTest, PreloadedFilesReadAndSaveLikeUnloadedOnes) {
    for (const size_t big : {size_t{0}, size_t{9} << 20}) {
        {
            CPakFile pak;
            ASSERT_EQ(pak.create(path.c_str()), 1);
            CPakNode* root = pak.get_root();
            for (int d = 0; d < 30; ++d) {
                CPakNode* dir = root->create_dir_node(("d" + std::to_string(d)).c_str());
                dir->create_data_node("name", NODE_STR32, ("item " + std::to_string(d)).c_str());
                dir->create_data_node("n", NODE_INT, &d);
                dir->create_str_node("empty", "");
            }
            std::string bytes(big, '\0');
            for (size_t i = 0; i < bytes.size(); ++i)
                bytes[i] = static_cast<char>(i * 13 + i / 4096);
            root->create_buf_node("big", bytes.data(), static_cast<int>(bytes.size()));
        }
        CPakFile lazy, loaded;
        ASSERT_EQ(lazy.open(path.c_str(), 0), 1);
        ASSERT_EQ(loaded.open(path.c_str(), 1), 1);
        EXPECT_EQ(describe_tree(loaded), describe_tree(lazy)) << big;
        CPakNode* empty = loaded.get_root()->find("d3")->find("empty");
        EXPECT_EQ(empty->is_data_on_disk(), 0);
        CString text = "x";
        EXPECT_EQ(loaded.get_root()->find("d3")->get_str_node("empty", text), 1);
        EXPECT_EQ(text, "");
        char name[32];
        std::memset(name, 'z', sizeof name);
        loaded.get_root()->find("d7")->find_data("name", NODE_STR32, name, 1);
        EXPECT_STREQ(name, "item 7");

        const std::string a = dir.file("a.tpk"), b = dir.file("b.tpk");
        ASSERT_EQ(lazy.save_as(a.c_str()), 1);
        ASSERT_EQ(loaded.save_as(b.c_str()), 1);
        EXPECT_EQ(read_file_bytes(a), read_file_bytes(path));
        EXPECT_EQ(read_file_bytes(b), read_file_bytes(path));
    }
    // Data set in memory on a node without data is held, and empty.
    CPakFile pak;
    ASSERT_EQ(pak.open(path.c_str(), 0), 1);
    CPakNode* d0 = pak.get_root()->find("d0");
    EXPECT_EQ(d0->is_data_on_disk(), 1);
    d0->set_data_buf("abc", 3);
    EXPECT_EQ(d0->is_data_on_disk(), 0);
    EXPECT_EQ(d0->get_length(), 0);
}

} // namespace
