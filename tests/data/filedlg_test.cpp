#include <qcore/data/dll_loader.h>
#include <qcore/data/filedlg.h>
#include <qcore/data/filefun.h>
#include <qcore/platform/win32/dialogs.h>
#include <qcore/platform/win32/message_box.h>

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

class DialogAnswers {
public:
    explicit DialogAnswers(qcore::FileDialogAnswer answer) : answer_(std::move(answer)) {
        previous_ = qcore::set_file_dialog_handler([this](const qcore::FileDialogRequest& r) {
            requests.push_back(r);
            return answer_;
        });
    }
    ~DialogAnswers() { qcore::set_file_dialog_handler(previous_); }
    std::vector<qcore::FileDialogRequest> requests;

private:
    qcore::FileDialogAnswer answer_;
    qcore::FileDialogHandler previous_;
};

TEST(FilterMan, BuildsTheFilterText) {
    filter_man f;
    f.add_filter("Scenes", "*.qvx");
    f.add_all_file();
    EXPECT_EQ(f.filters, "Scenes (*.qvx)|*.qvx|All Files (*.*)|*.*|");
    EXPECT_EQ(f.def_filter, "*.qvx");
}

TEST(Filedlg, AsksTheHandlerWithTheFilterAndInitialName) {
    DialogAnswers dialog({IDOK, {"/p/a.qvx"}});
    filter_man f;
    f.add_filter("Scenes", "*.qvx");
    EXPECT_EQ(filedlg::pop_file_dlg(0, f, nullptr, "/p/"), "/p/a.qvx");
    ASSERT_EQ(dialog.requests.size(), 1u);
    EXPECT_FALSE(dialog.requests[0].open);
    EXPECT_EQ(dialog.requests[0].filter, "Scenes (*.qvx)|*.qvx||");
    EXPECT_EQ(dialog.requests[0].initial_file, "/p/*.qvx");
    EXPECT_EQ(dialog.requests[0].flags, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT);

    EXPECT_EQ(filedlg::pop_open_dlg_img(nullptr, 1), "/p/a.qvx");
    EXPECT_EQ(dialog.requests[1].filter,
              "Images (*.bmp;*.jpg;*.tga;*.dds;*.png;*.atx)|*.bmp;*.jpg;*.tga;*.dds;*.png;*.atx||");
    EXPECT_EQ(dialog.requests[1].initial_file, "");
    filedlg::pop_save_dlg_img(nullptr);
    EXPECT_EQ(dialog.requests[2].filter, "Jpeg (*.jpg)|*.jpg|Bmp (*.bmp)|*.bmp||");

    std::vector<CString> paths{"kept"};
    EXPECT_EQ(filedlg::pop_open_dlg_img_multi(nullptr, 0, paths), 1);
    EXPECT_EQ(paths, (std::vector<CString>{"kept", "/p/a.qvx"}));
    EXPECT_TRUE(dialog.requests[3].flags & OFN_ALLOWMULTISELECT);
    EXPECT_EQ(dialog.requests[3].filter,
              "Images (*.bmp;*.jpg;*.tga;*.dds;*.png)|*.bmp;*.jpg;*.tga;*.dds;*.png||");
}

TEST(Filedlg, CancelGivesNothing) {
    filter_man f;
    f.add_all_file();
    EXPECT_EQ(filedlg::pop_file_dlg(1, f, nullptr, nullptr), ""); // no handler: nobody chooses
    DialogAnswers dialog({IDCANCEL, {}});
    std::vector<CString> paths;
    EXPECT_EQ(filedlg::pop_open_dlg_multi(f, nullptr, paths), 0);
    EXPECT_TRUE(paths.empty());
}

TEST(DllLoader, LoadsAndCallsAPlugin) {
    qcore::MessageBoxRecorder boxes;
    CDllLoader dll;
    EXPECT_FALSE(dll.invoke_func("plugin_record", 1, 0));
    EXPECT_FALSE(dll.invoke_func("plugin_record", 0, 0));
    ASSERT_TRUE(dll.load_dll(QCORE_TEST_PLUGIN));
    EXPECT_EQ(dll.path, QCORE_TEST_PLUGIN);
    EXPECT_TRUE(dll.invoke_func("plugin_record", 1, 4, 11, 22, 33, 0xFFFFFFFFu));
    auto arg = reinterpret_cast<uint32_t (*)(int)>(dll.find_func("plugin_arg"));
    ASSERT_NE(arg, nullptr);
    EXPECT_EQ(arg(0), 11u);
    EXPECT_EQ(arg(3), 0xFFFFFFFFu);
    EXPECT_TRUE(dll.invoke_func("plugin_record", 1, 2, 5, 6));
    EXPECT_EQ(arg(1), 6u);
    EXPECT_FALSE(dll.invoke_func("plugin_nothing", 1, 0));
    EXPECT_EQ(boxes.texts(), (std::vector<std::string>{
                                 "Dll not loaded!",
                                 "plugin_nothing() not found in " +
                                     std::filesystem::path(QCORE_TEST_PLUGIN).filename().string() + "!"}));
    dll.free_dll();
    EXPECT_EQ(dll.module, nullptr);
}

TEST(DllLoader, MissingAndBrokenLibraries) {
    qcore::test::TempDir dir;
    qcore::MessageBoxRecorder boxes;
    const CString before = filefun::get_cur_dir();
    CDllLoader dll;
    EXPECT_FALSE(dll.load_dll(dir.file("missing.so").c_str()));
    EXPECT_EQ(boxes.count(), 0u);
    qcore::test::write_file_bytes(dir.file("broken.so"), "not a library");
    EXPECT_FALSE(dll.load_dll(dir.file("broken.so").c_str()));
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{"Error load " + dir.file("broken.so")});
    EXPECT_EQ(filefun::get_cur_dir(), before);
}

} // namespace
