#include <qcore/core/core.h>
#include <qcore/data/pak_file.h>
#include <qcore/platform/win32/message_box.h>

#include "data/pak_records.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

using qcore::MessageBoxRecorder;
using qcore::PakProblem;
using qcore::test::kPakHead;
using qcore::test::pak_record;
using qcore::test::raw_bytes;
using qcore::test::read_file_bytes;
using qcore::test::TempDir;
using qcore::test::write_file_bytes;

namespace {

size_t count_nodes(const CPakNode* node) {
    if (!node) return 0;
    size_t n = 1;
    for (const CPakNode* c : node->get_children())
        n += count_nodes(c);
    return n;
}

struct Damage : ::testing::Test {
    TempDir dir;
    std::string path = dir.file("bad.tpk");
    CPakFile pak;
    std::vector<PakProblem> problems;

    // Opens the bytes both ways; both must agree; returns the problem texts of the preloaded open.
    std::vector<std::string> open(const std::string& bytes) {
        write_file_bytes(path, bytes);
        problems.clear();
        EXPECT_EQ(qcore::open_pak_file(pak, path.c_str(), 0, &problems), 1);
        const size_t lazy = count_nodes(pak.get_root());
        problems.clear();
        EXPECT_EQ(qcore::open_pak_file(pak, path.c_str(), 1, &problems), 1);
        EXPECT_EQ(count_nodes(pak.get_root()), lazy);
        std::vector<std::string> texts;
        for (const PakProblem& p : problems)
            texts.push_back(std::to_string(p.offset) + ": " + p.text.str());
        return texts;
    }
};

TEST_F(Damage, OrphanRecordsAreDroppedAndReadingGoesOn) {
    const auto texts = open(kPakHead + pak_record("root", 1, 0, NODE_DIR, 0, "", 0) +
                            pak_record("lost", 2, 50, NODE_DIR, 0, "", 0) +
                            pak_record("child_of_lost", 3, 2, NODE_INT, 0, raw_bytes<int32_t>(1), 4) +
                            pak_record("kept", 4, 1, NODE_INT, 0, raw_bytes<int32_t>(7), 4));
    EXPECT_EQ(texts,
              (std::vector<std::string>{"72: parent id 50 names no directory read before this record",
                                        "136: parent id 2 names no directory read before this record"}));
    ASSERT_EQ(pak.get_root()->get_children().size(), 1u);
    int v = 0;
    EXPECT_TRUE(pak.get_root()->find_data("kept", NODE_INT, &v, 1));
    EXPECT_EQ(v, 7);
}

TEST_F(Damage, FirstRecordThatIsNotADirectoryStaysAloneAsRoot) {
    const auto texts = open(kPakHead + pak_record("solo", 1, 0, NODE_INT, 0, raw_bytes<int32_t>(3), 4) +
                            pak_record("x", 2, 1, NODE_INT, 0, raw_bytes<int32_t>(1), 4));
    EXPECT_EQ(texts,
              (std::vector<std::string>{"8: first record is not a directory",
                                        "76: parent id 1 names no directory read before this record"}));
    int v = 0;
    EXPECT_EQ(pak.get_root()->get_data(NODE_INT, &v), 1);
    EXPECT_EQ(v, 3);
    MessageBoxRecorder boxes;
    EXPECT_EQ(pak.get_root()->create_dir_node("x"), nullptr);
}

TEST_F(Damage, BadLengthsEndTheTreeBeforeTheRecord) {
    const std::string good = kPakHead + pak_record("root", 1, 0, NODE_DIR, 0, "", 0) +
                             pak_record("a", 2, 1, NODE_INT, 0, raw_bytes<int32_t>(1), 4);
    EXPECT_EQ(
        open(good + pak_record("neg", 3, 1, NODE_BUF, 0, "", -8) + pak_record("b", 4, 1, NODE_DIR, 0, "", 0)),
        std::vector<std::string>{"140: negative data length -8"});
    EXPECT_EQ(count_nodes(pak.get_root()), 2u);
    EXPECT_EQ(open(good + pak_record("huge", 3, 1, NODE_BUF, 0, "abc", 0x7fffffff)),
              std::vector<std::string>{"140: data of 2147483647 bytes runs past the end of the file"});
    EXPECT_EQ(count_nodes(pak.get_root()), 2u);
}

TEST_F(Damage, EveryTruncationKeepsTheCompleteRecords) {
    std::string file = kPakHead + pak_record("root", 1, 0, NODE_DIR, 0, "", 0);
    std::vector<size_t> ends{file.size()};
    for (int i = 0; i < 4; ++i) {
        file += pak_record("n" + std::to_string(i), 10 + i, 1, NODE_BUF, 0, std::string(3 * i, 'x'), 3 * i);
        ends.push_back(file.size());
    }
    MessageBoxRecorder boxes;
    for (size_t len = 0; len <= file.size(); ++len) {
        write_file_bytes(path, file.substr(0, len));
        for (int preload : {0, 1}) {
            const int ok = pak.open(path.c_str(), preload);
            if (len < 8) {
                EXPECT_EQ(ok, 0);
                continue;
            }
            ASSERT_EQ(ok, 1) << len;
            const size_t complete =
                std::count_if(ends.begin(), ends.end(), [&](size_t e) { return e <= len; });
            EXPECT_EQ(count_nodes(pak.get_root()), complete) << len;
        }
    }
    // Short files are not tpk files; every other cut one is reported as damaged.
    size_t damaged = 0;
    for (size_t len = 8; len <= file.size(); ++len)
        damaged += std::find(ends.begin(), ends.end(), len) == ends.end() && len != 8;
    size_t not_tpk = 0, reported = 0;
    for (const std::string& text : boxes.texts()) {
        not_tpk += text.find("不是一个有效的tpk格式文件") != std::string::npos;
        reported += text.rfind(path + " is damaged, only its intact records were read: ", 0) == 0;
    }
    EXPECT_EQ(not_tpk, 16u);
    EXPECT_EQ(reported, 2 * damaged);
    EXPECT_EQ(boxes.count(), not_tpk + reported);
    write_file_bytes(path, file.substr(0, ends[1] + 10));
    problems.clear();
    qcore::open_pak_file(pak, path.c_str(), 0, &problems);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].text, "partial record header (10 of 64 bytes) at the end of the file");
}

TEST_F(Damage, LostRecordsAreReportedOnceInTheLogAndABox) {
    gCore core;
    MessageBoxRecorder boxes;
    const std::string sound = kPakHead + pak_record("root", 1, 0, NODE_DIR, 0, "", 0) +
                              pak_record("kept", 2, 1, NODE_INT, 0, raw_bytes<int32_t>(7), 4);
    write_file_bytes(path, sound);
    ASSERT_EQ(pak.open(path.c_str(), 0), 1);
    EXPECT_EQ(boxes.count(), 0u);
    EXPECT_TRUE(core.log->get_logs().empty());
    EXPECT_EQ(qcore::pak_damage(pak), "");

    // An orphan, then a record whose data runs past the end: the intact records stay readable.
    const std::string bad = sound + pak_record("orphan", 3, 77, NODE_INT, 0, raw_bytes<int32_t>(1), 4) +
                            pak_record("cut", 4, 1, NODE_BUF, 0, "abc", 1000);
    write_file_bytes(path, bad);
    const std::string loss =
        std::to_string(bad.size() - sound.size() - 68) + " bytes from byte " +
        std::to_string(sound.size() + 68) +
        " on (a record whose data runs past the end of the file) were not read; 1 record "
        "whose directory is missing was dropped";
    for (int preload : {0, 1}) {
        boxes.clear();
        core.log->clear_all();
        ASSERT_EQ(pak.open(path.c_str(), preload), 1);
        int value = 0;
        EXPECT_TRUE(pak.get_root()->find_data("kept", NODE_INT, &value));
        EXPECT_EQ(value, 7);
        EXPECT_EQ(qcore::pak_damage(pak), loss.c_str());
        EXPECT_EQ(boxes.texts(),
                  std::vector<std::string>{path + " is damaged, only its intact records were read: " + loss});
        ASSERT_EQ(core.log->get_logs().size(), 1u);
        EXPECT_EQ(core.log->get_logs().front()->level, LOG_ERROR);
        EXPECT_EQ(core.log->get_logs().front()->msg, (path + ", damaged: " + loss).c_str());
    }
    pak.close_file();
    EXPECT_EQ(qcore::pak_damage(pak), "");
}

TEST_F(Damage, UnterminatedNamesAndTextsAreCut) {
    const std::string name(48, 'N');
    const auto texts = open(kPakHead + pak_record("root", 1, 0, NODE_DIR, 0, "", 0) +
                            pak_record(name, 2, 1, NODE_INT, 0, raw_bytes<int32_t>(5), 4) +
                            pak_record("s", 3, 1, NODE_STR32, 0, std::string(32, 'z'), 32));
    EXPECT_EQ(texts, (std::vector<std::string>{"72: name without terminating zero",
                                               "140: NODE_STR32 text without terminating zero"}));
    const CPakNode* n = pak.get_root()->get_children()[0];
    EXPECT_EQ(std::string(n->get_name()), name.substr(0, 47));
    EXPECT_EQ(pak.get_root()->find(name.substr(0, 47).c_str()), n);
    for (int preload : {0, 1}) {
        ASSERT_EQ(pak.open(path.c_str(), preload), 1);
        char text[33];
        std::memset(text, '#', sizeof text);
        ASSERT_TRUE(pak.get_root()->find_data("s", NODE_STR32, text, 1));
        EXPECT_EQ(std::string(text), std::string(31, 'z'));
        EXPECT_EQ(text[32], '#');
    }
}

TEST_F(Damage, WrongSizesUnknownTypesAndKinds) {
    const auto texts = open(
        kPakHead + pak_record("root", 1, 0, NODE_DIR, 0, "", 0) +
        pak_record("short", 2, 1, NODE_VEC, 0, "12345678", 8) + pak_record("odd", 3, 1, 77, 0, "abc", 3) +
        pak_record("buf", 4, 1, NODE_BUF, 2, std::string(13, 'v'), 13) +
        pak_record("kind", 5, 1, NODE_BUF, 9, "kk", 2) + pak_record("dirdata", 6, 1, NODE_DIR, 0, "dd", 2));
    EXPECT_EQ(texts,
              (std::vector<std::string>{
                  "72: NODE_VEC holds 8 data bytes instead of 12", "144: type code 77 is not a node type",
                  "211: buffer of 13 bytes is not a whole number of vec elements (12 bytes each)",
                  "288: unknown buffer element kind 9", "354: NODE_DIR holds 2 data bytes instead of 0"}));
    MessageBoxRecorder boxes;
    float v[3] = {1, 2, 3};
    EXPECT_EQ(pak.get_root()->find("short")->get_data(NODE_VEC, v), 0);
    EXPECT_EQ(v[2], 3.f);
    std::vector<float> f;
    EXPECT_EQ(pak.get_root()->find("buf")->get_buffer(f), 1);
    EXPECT_EQ(f.size(), 3u);
    EXPECT_EQ(boxes.count(), 0u);
    // A type without a length says so and copies nothing.
    char odd[4] = "xyz";
    EXPECT_EQ(pak.get_root()->find("odd")->get_data(77, odd), 0);
    EXPECT_STREQ(odd, "xyz");
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{"get data length err!"});
    boxes.clear();
    // Nothing is lost by a copy: the odd records keep their bytes.
    const std::string copy = dir.file("copy.tpk");
    ASSERT_EQ(pak.save_as(copy.c_str()), 1);
    EXPECT_EQ(read_file_bytes(copy), read_file_bytes(path));
}

TEST_F(Damage, DuplicateDirectoryIdsKeepTheFirst) {
    const auto texts =
        open(kPakHead + pak_record("root", 1, 0, NODE_DIR, 0, "", 0) +
             pak_record("first", 2, 1, NODE_DIR, 0, "", 0) + pak_record("second", 2, 1, NODE_DIR, 0, "", 0) +
             pak_record("leaf", 3, 2, NODE_INT, 0, raw_bytes<int32_t>(1), 4) +
             pak_record("again", 1, 2, NODE_DIR, 0, "", 0));
    EXPECT_EQ(texts, (std::vector<std::string>{"136: directory id 2 used before",
                                               "268: directory id 1 used before"}));
    CPakNode* root = pak.get_root();
    EXPECT_EQ(root->get_children().size(), 2u);
    EXPECT_TRUE(root->find("first")->find("leaf"));
    EXPECT_TRUE(root->find("first")->find("again"));
    EXPECT_TRUE(root->find("second")->get_children().empty());
}

TEST_F(Damage, DeepNestingNeitherRecursesNorLeaks) {
    std::string file = kPakHead + pak_record("root", 1, 0, NODE_DIR, 0, "", 0);
    for (int i = 2; i < 200000; ++i)
        file += pak_record("d", i, i - 1, NODE_DIR, 0, "", 0);
    write_file_bytes(path, file);
    ASSERT_EQ(pak.open(path.c_str(), 0), 1);
    EXPECT_EQ(pak.get_root()->get_dir_node_count(), 199999);
    EXPECT_TRUE(pak.find_node_from_id(199999));
    ASSERT_EQ(pak.save_as(dir.file("deep.tpk").c_str()), 1);
    EXPECT_EQ(read_file_bytes(dir.file("deep.tpk")), file);
    pak.close_file();
}

} // namespace
