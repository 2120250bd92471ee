#include "data/pak_records.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sys/wait.h>

using qcore::test::kPakHead;
using qcore::test::pak_record;
using qcore::test::raw_bytes;
using qcore::test::read_file_bytes;
using qcore::test::TempDir;
using qcore::test::write_file_bytes;

namespace {

std::string floats(std::initializer_list<float> f) {
    std::string s;
    for (float v : f)
        s += raw_bytes(v);
    return s;
}

std::string known_file() {
    std::string s32 = "camera";
    s32.resize(32, '\0');
    const uint32_t guid[4] = {0x1234abcd, 0x00fe0012, 0x04030201, 0x08070605};
    const int32_t rect[4] = {0, 0, 640, 480};
    const uint32_t faces[3] = {0, 1, 2};
    const uint16_t idx[3] = {7, 8, 9};
    return kPakHead + pak_record("root", 1, 0, 1, 0, "") + pak_record("Camera", 2, 1, 1, 0, "") +
           pak_record("VR_TYPE", 3, 2, 5, 0, s32) +
           pak_record("pos", 4, 2, 8, 0, floats({1.5f, -2.f, 0.25f})) +
           pak_record("count", 5, 2, 3, 0, raw_bytes(int32_t{-7})) +
           pak_record("guid", 6, 2, 11, 0, raw_bytes(guid)) +
           pak_record("world", 7, 2, 7, 0, floats({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 10, 20, 30, 1})) +
           pak_record("rect", 8, 2, 13, 0, raw_bytes(rect)) + pak_record("Mesh", 9, 1, 1, 0, "") +
           pak_record("verts", 10, 9, 2, 2, floats({0, 1, 2, 3, 4, 5})) +
           pak_record("faces", 11, 9, 2, 3, raw_bytes(faces)) +
           pak_record("idx", 12, 9, 2, 6, raw_bytes(idx)) +
           pak_record("raw", 13, 9, 2, 0, "hello, raw bytes!") + pak_record("name", 14, 9, 2, 1, "teapot");
}

struct ToolRun {
    int status;
    std::string out;
    std::string err;
};

struct TpkTool : ::testing::Test {
    TempDir dir;
    std::string file = dir.file("scene.tpk");

    void SetUp() override { write_file_bytes(file, known_file()); }

    ToolRun tpk(const std::string& args) {
        const std::string cmd =
            std::string(QCORE_BIN_DIR "/tpk ") + args + " >" + dir.file("out") + " 2>" + dir.file("err");
        const int rc = std::system(cmd.c_str());
        return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, read_file_bytes(dir.file("out")),
                read_file_bytes(dir.file("err"))};
    }
};

TEST_F(TpkTool, ListsTheTree) {
    const ToolRun r = tpk("ls " + file);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "root  NODE_DIR  id 1\n"
                     "  Camera  NODE_DIR  id 2\n"
                     "    VR_TYPE  NODE_STR32  32 bytes  id 3\n"
                     "    pos  NODE_VEC  12 bytes  id 4\n"
                     "    count  NODE_INT  4 bytes  id 5\n"
                     "    guid  NODE_GUID  16 bytes  id 6\n"
                     "    world  NODE_MATRIX  64 bytes  id 7\n"
                     "    rect  NODE_CRECT  16 bytes  id 8\n"
                     "  Mesh  NODE_DIR  id 9\n"
                     "    verts  NODE_BUF vec  24 bytes  id 10\n"
                     "    faces  NODE_BUF face  12 bytes  id 11\n"
                     "    idx  NODE_BUF uint16  6 bytes  id 12\n"
                     "    raw  NODE_BUF raw  17 bytes  id 13\n"
                     "    name  NODE_BUF chars  6 bytes  id 14\n");
    EXPECT_EQ(
        tpk("ls --json " + file + " MESH/Verts").out,
        "{\"name\": \"verts\", \"type\": \"NODE_BUF\", \"type_code\": 2, \"sub_type\": 2, \"kind\": \"vec\", "
        "\"length\": 24, \"id\": 10, \"parent_id\": 9}\n");
    const std::string json = tpk("ls --json " + file + " /camera").out;
    EXPECT_EQ(json.substr(0, 106),
              "{\"name\": \"Camera\", \"type\": \"NODE_DIR\", \"type_code\": 1, \"length\": 0, \"id\": 2, "
              "\"parent_id\": 1, \"children\": [");
    EXPECT_EQ(json.substr(json.size() - 4), "}]}\n");
}

TEST_F(TpkTool, PrintsValuesByType) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"camera/vr_type", "camera\n"},
        {"camera/pos", "1.5 -2 0.25\n"},
        {"camera/count", "-7\n"},
        {"camera/guid", "1234abcd-12-fe-4030201-8070605\n"},
        {"camera/world", "1 0 0 0\n0 1 0 0\n0 0 1 0\n10 20 30 1\n"},
        {"camera/rect", "0 0 640 480\n"},
        {"mesh/verts", "0 1 2\n3 4 5\n"},
        {"mesh/faces", "0 1 2\n"},
        {"mesh/idx", "7\n8\n9\n"},
        {"mesh/name", "teapot\n"},
        {"mesh/raw", "00000000  68 65 6c 6c 6f 2c 20 72 61 77 20 62 79 74 65 73  |hello, raw bytes|\n"
                     "00000010  21                                               |!|\n"},
    };
    for (const auto& [path, expected] : cases) {
        const ToolRun r = tpk("cat " + file + " " + path);
        EXPECT_EQ(r.status, 0) << path;
        EXPECT_EQ(r.out, expected) << path;
    }
    EXPECT_EQ(tpk("cat --json " + file + " camera/world").out,
              "{\"name\": \"world\", \"type\": \"NODE_MATRIX\", \"value\": [[1, 0, 0, 0], [0, 1, 0, 0], [0, "
              "0, 1, 0], "
              "[10, 20, 30, 1]]}\n");
    EXPECT_EQ(tpk("cat --json " + file + " camera/count").out,
              "{\"name\": \"count\", \"type\": \"NODE_INT\", \"value\": -7}\n");
    EXPECT_EQ(
        tpk("cat --json " + file + " mesh/raw").out,
        "{\"name\": \"raw\", \"type\": \"NODE_BUF\", \"value\": \"68656c6c6f2c2072617720627974657321\"}\n");
}

TEST_F(TpkTool, ChecksAndRewritesDamagedFiles) {
    EXPECT_EQ(tpk("check " + file).out, file + ": ok\n");
    std::string bad = known_file();
    bad.replace(8 + 64 + 64 + 48 + 4, 4, raw_bytes(int32_t{99})); // VR_TYPE loses its parent
    bad += pak_record("neg", 20, 1, 2, 0, "", -5) +
           pak_record("after", 21, 1, 1, 0, ""); // reading stops at "neg"
    const std::string damaged = dir.file("damaged.tpk");
    write_file_bytes(damaged, bad);
    const ToolRun r = tpk("check " + damaged);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, damaged + ": offset 136: parent id 99 names no directory read before this record\n" +
                         damaged + ": offset " + std::to_string(known_file().size()) +
                         ": negative data length -5\n");

    // Listing and saving a damaged file say what was lost and fail, unless forced.
    const std::string lost =
        "tpk: " + damaged + " is damaged, only its intact records were read: " + "128 bytes from byte " +
        std::to_string(known_file().size()) +
        " on (a negative data length) were not read; 1 record whose directory is missing "
        "was dropped\n";
    ToolRun listed = tpk("ls " + damaged);
    EXPECT_EQ(listed.status, 1);
    EXPECT_EQ(listed.err, lost);
    EXPECT_NE(listed.out, "");
    EXPECT_EQ(tpk("ls --force " + damaged).status, 0);
    const std::string copy = dir.file("copy.tpk");
    const ToolRun refused = tpk("save-as " + damaged + " " + copy);
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err,
              lost + "tpk: not saved: " + damaged + " is damaged (use --force to save what is intact)\n");
    EXPECT_FALSE(std::filesystem::exists(copy));
    EXPECT_EQ(tpk("save-as --force " + damaged + " " + copy).status, 0);
    EXPECT_EQ(tpk("check " + copy).status, 0);
    EXPECT_EQ(read_file_bytes(copy).size(), known_file().size() - 64 - 32);
}

TEST_F(TpkTool, ErrorsGoToStandardErrorWithNonZeroStatus) {
    ToolRun r = tpk("cat " + file + " camera/nothing");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "tpk: no node camera/nothing in " + file + "\n");
    EXPECT_EQ(tpk("cat " + file + " camera").status, 1);
    write_file_bytes(dir.file("junk"), "not a tree");
    r = tpk("ls " + dir.file("junk"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "tpk: " + dir.file("junk") + " , 不是一个有效的tpk格式文件!\n");
    r = tpk("ls " + dir.file("none"));
    EXPECT_EQ(r.err, "tpk: " + dir.file("none") + " was not found.\n");
    EXPECT_EQ(tpk("frobnicate").status, 2);
    EXPECT_EQ(tpk("cat " + file).status, 2);
    EXPECT_EQ(tpk("ls --bogus " + file).status, 2);
    for (const char* cmd : {"ls", "cat", "check", "save-as"}) {
        r = tpk(std::string(cmd) + " --help");
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out.rfind(std::string("usage: tpk ") + cmd, 0), 0u) << cmd;
    }
    EXPECT_EQ(tpk("--help").status, 0);
}

} // namespace
