#include <qcore/data/filefun.h>
#include <qcore/data/pak_file.h>
#include <qcore/platform/win32/message_box.h>
#include <qcore/texture/atx_file.h>

#include <support/temp_dir.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include <sys/stat.h>

namespace {

using qcore::test::TempDir;
using qcore::test::write_file_bytes;

CFrameTimeMan times_of(std::initializer_list<int> t, float scale) {
    CFrameTimeMan m;
    m.frame_times = t;
    m.time_scale = scale;
    m.update_mid_data();
    return m;
}

std::string atx_text(int count, const std::string& ext = ".jpg", const char* ver = "1.000000") {
    std::string s = "[QVX_ATX_SETTING]\r\nver=" + std::string(ver) +
                    "\r\ntime_scale=1.000000\r\nfile_count=" + std::to_string(count) + "\r\n";
    for (int i = 0; i < count; ++i)
        s += "file" + std::to_string(i) + "=f" + std::to_string(i) + ext + "\r\ntime" + std::to_string(i) +
             "=100\r\n";
    return s;
}

TEST(FrameTimeMan, StartTimesTotalsAndLookup) {
    const CFrameTimeMan m = times_of({100, 200, 300}, 1.0f);
    EXPECT_EQ(m.start_times, (std::vector<int>{0, 100, 300}));
    EXPECT_EQ(m.total, 600);
    EXPECT_EQ(m.is_mid_data_valid(), 1);
    EXPECT_EQ(m.find_frame_index(650), 0);
    EXPECT_EQ(m.find_frame_index(299), 1);
    EXPECT_EQ(m.find_frame_index(300), 2);
    EXPECT_EQ(m.find_frame_index(-1), 0); // negative remainder finds nothing: the first frame

    // Truncation at each step: 1.5 gives 1, then 1 + 1.5 gives 2.
    const CFrameTimeMan half = times_of({3, 3}, 0.5f);
    EXPECT_EQ(half.start_times, (std::vector<int>{0, 1}));
    EXPECT_EQ(half.total, 2);

    const CFrameTimeMan zero = times_of({0, 0}, 1.0f);
    EXPECT_EQ(zero.total, 0);
    EXPECT_EQ(zero.find_frame_index(5), -1);
    EXPECT_EQ(CFrameTimeMan().find_frame_index(0), -1);
}

TEST(AtxPars, AnimationTimeDoesNotOverflowOnLongUptimes) {
    CAtxPars p;
    p.elapse_offset = 1000;
    p.elapse_scale = 1.0f;
    const double thirty_days_ms = 30.0 * 24 * 3600 * 1000;
    EXPECT_EQ(p.animation_time(thirty_days_ms), int64_t{2592000000} + 1000);
    const CFrameTimeMan m = times_of({100, 200, 300}, 1.0f);
    EXPECT_EQ(m.find_frame_index(p.animation_time(thirty_days_ms)), 2); // (2592001000 % 600) = 400
}

TEST(AtxPars, GroupsShareParametersAndOthersAreOwn) {
    CAtxPars a, b, c;
    a.set_random_flag(3);
    b.set_random_flag(3);
    EXPECT_EQ(a.get_random_flag(), 3);
    EXPECT_EQ(a.get_elapse_offset(), b.get_elapse_offset());
    EXPECT_EQ(a.get_elapse_scale(), b.get_elapse_scale());
    c.set_random_flag(12);
    EXPECT_EQ(c.get_random_flag(), ATX_RANDOM_OWN);
    for (const CAtxPars* p : {&a, &c}) {
        EXPECT_GE(p->get_elapse_scale(), 0.9f);
        EXPECT_LE(p->get_elapse_scale(), 1.0999f);
    }

    CPakFile f;
    TempDir dir;
    ASSERT_TRUE(f.create(dir.file("p.tpk").c_str()));
    a.save_atxpars_to_node(f.get_root(), "atx_pars");
    CAtxPars loaded;
    EXPECT_EQ(loaded.load_atxpars_from_node(f.get_root()->find("atx_pars")), 1);
    EXPECT_EQ(loaded.get_random_flag(), 3);
    EXPECT_EQ(loaded.get_elapse_offset(), a.get_elapse_offset());
}

TEST(AtxFile, PreviewNames) {
    EXPECT_EQ(CAtxFile::get_preview_img_filename_from_atx("/d/wave.atx", "/d/f0.jpg"), "/d/wave.atx.jpg");
    EXPECT_EQ(CAtxFile::get_atx_filename_from_preview_img("/d/wave.atx.jpg"), "/d/wave.atx");
    EXPECT_EQ(CAtxFile::is_atx_preview_img_file("/d/wave.ATX.jpg"), 1);
    EXPECT_EQ(CAtxFile::is_atx_preview_img_file("/d/.atx.jpg"), 0);
    EXPECT_EQ(CAtxFile::is_atx_preview_img_file("/d/wave.jpg"), 0);
}

TEST(AtxFile, RejectedFilesGiveTheirMessages) {
    TempDir dir;
    CAtxFile atx;
    CString msg;
    const std::string missing = dir.file("none.atx");
    EXPECT_EQ(atx.load_atx_from_disk(missing.c_str(), &msg, 0), 0);
    EXPECT_EQ(msg, CString((missing + ", 文件不存在!").c_str()));

    struct Row {
        const char* text;
        const char* message;
    } rows[] = {
        {"[QVX_ATX_SETTING]\r\nver=0\r\nfile_count=1\r\n", ", 不是一个合法的动画贴图文件!"},
        {"[other]\r\nver=1\r\n", ", 不是一个合法的动画贴图文件!"},
        {"[QVX_ATX_SETTING]\r\nver=1\r\nfile_count=0\r\n", ", 该文件存在错误!"},
        {"[QVX_ATX_SETTING]\r\nver=1\r\nfile_count=-5\r\n", ", 该文件存在错误!"},
        {"[QVX_ATX_SETTING]\r\nver=1\r\nfile_count=2147483647\r\n", ", 该文件存在错误!"},
    };
    const std::string name = dir.file("bad.atx");
    for (const Row& r : rows) {
        write_file_bytes(name, r.text);
        EXPECT_EQ(atx.load_atx_from_disk(name.c_str(), &msg, 0), 0) << r.text;
        EXPECT_EQ(msg, CString((name + r.message).c_str())) << r.text;
        EXPECT_EQ(atx.is_loaded(), 0);
        EXPECT_TRUE(atx.get_child_files().empty());
    }
    // A folder or a named pipe named like a list file is no list file (the pipe is not waited on).
    ASSERT_TRUE(filefun::create_path(dir.file("dir.atx/").c_str()));
    EXPECT_EQ(atx.load_atx_from_disk(dir.file("dir.atx").c_str(), nullptr, 1), 0);
    ASSERT_EQ(::mkfifo(dir.file("pipe.atx").c_str(), 0600), 0);
    EXPECT_EQ(atx.load_atx_from_disk(dir.file("pipe.atx").c_str(), nullptr, 1), 0);
}

TEST(AtxFile, TwentyMissingFramesListFifteenAndLoad) {
    TempDir dir;
    const std::string name = dir.file("anim.atx");
    write_file_bytes(name, atx_text(20));
    qcore::MessageBoxRecorder boxes;
    CAtxFile atx;
    ASSERT_EQ(atx.load_atx_from_disk(name.c_str(), nullptr, 1), 1);
    EXPECT_EQ(atx.get_child_files().size(), 20u);
    EXPECT_EQ(atx.get_tman().total, 2000);
    std::string list;
    for (int i = 0; i < 15; ++i)
        list += dir.file("f" + std::to_string(i) + ".jpg") + "\n";
    list += "......\n";
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_EQ(boxes.texts()[0],
              name + "\n\n加载该动画贴图文件时，以下帧文件丢失 ( 它们本应该与atx文件位于同一个目录中 ) \n\n" +
                  list);

    boxes.clear();
    ASSERT_EQ(atx.load_atx_from_disk(name.c_str(), nullptr, 0), 1);
    EXPECT_EQ(boxes.count(), 0u);
    // Reloading from the object's own name.
    ASSERT_EQ(atx.load_atx_from_disk(atx.get_atx_filename(), nullptr, 0), 1);
    EXPECT_EQ(atx.get_atx_filename(), CString(name.c_str()));
}

TEST(AtxFile, SaveCopiesFramesAndPreviewAndRoundTrips) {
    TempDir dir;
    ASSERT_TRUE(filefun::create_path(dir.file("src/").c_str()));
    ASSERT_TRUE(filefun::create_path(dir.file("out/").c_str()));
    write_file_bytes(dir.file("src/f0.jpg"), "frame zero");
    write_file_bytes(dir.file("src/f1.jpg"), "frame one");
    write_file_bytes(dir.file("src/wave.atx"), atx_text(2));
    file_overwrite_flag overwrite = FO_OVERWRITE_ALL;
    qcore::MessageBoxRecorder boxes;
    ASSERT_EQ(
        CAtxFile::copy_atx_to_a_folder(dir.file("src/wave.atx").c_str(), dir.file("out/").c_str(), overwrite),
        1);
    EXPECT_EQ(boxes.count(), 0u);
    EXPECT_EQ(qcore::test::read_file_bytes(dir.file("out/f1.jpg")), "frame one");
    EXPECT_EQ(qcore::test::read_file_bytes(dir.file("out/wave.atx.jpg")), "frame zero");

    CAtxFile copy;
    ASSERT_EQ(copy.load_atx_from_disk(dir.file("out/wave.atx").c_str(), nullptr, 1), 1);
    ASSERT_EQ(copy.get_child_files().size(), 2u);
    EXPECT_EQ(copy.get_child_files()[1], CString(dir.file("out/f1.jpg").c_str()));
    EXPECT_EQ(copy.get_tman().frame_times, (std::vector<int>{100, 100}));

    // The file-copy helper routes list files here once the texture code is installed.
    qcore::install_atx_copier();
    ASSERT_TRUE(filefun::create_path(dir.file("out2/").c_str()));
    ASSERT_EQ(filefun::copy_texture_to_a_folder(dir.file("src/wave.atx").c_str(), dir.file("out2/").c_str(),
                                                overwrite),
              1);
    EXPECT_TRUE(filefun::file_exist(dir.file("out2/f0.jpg").c_str()));
}

TEST(AtxFile, SaveReportsMissingFramesAndKeepsListWhenFrameHasNoExtension) {
    TempDir dir;
    write_file_bytes(dir.file("frame"), "no extension");
    CAtxFile atx;
    atx.child_files = {CString(dir.file("frame").c_str()), CString(dir.file("gone.jpg").c_str())};
    atx.tman.frame_times = {10, 20};
    file_overwrite_flag overwrite = FO_OVERWRITE_ALL;
    qcore::MessageBoxRecorder boxes;
    const std::string name = dir.file("out.atx");
    ASSERT_EQ(atx.save_atx_to_disk(name.c_str(), overwrite), 1);
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_EQ(boxes.texts()[0], "gone.jpg, 帧文件不存在!\n\n保存atx文件时出现以上错误!");
    // The list survives: the preview of an extensionless frame would have had the list's own name.
    CAtxFile back;
    ASSERT_EQ(back.load_atx_from_disk(name.c_str(), nullptr, 0), 1);
    EXPECT_EQ(back.get_tman().frame_times, (std::vector<int>{10, 20}));

    boxes.clear();
    CAtxFile empty;
    EXPECT_EQ(empty.save_atx_to_disk(name.c_str(), overwrite), 0);
    EXPECT_EQ(boxes.texts().at(0), name + ", 该动画贴图帧文件为空，无法保存!");
}

} // namespace
