#include <qcore/data/file_overwrite_dlg.h>
#include <qcore/data/filefun.h>
#include <qcore/platform/win32/dialogs.h>
#include <qcore/platform/win32/file.h>

namespace {

// The two "view" buttons open a file with the shell and leave the question open.
constexpr INT_PTR kViewDestination = 4;
constexpr INT_PTR kViewSource = 5;
// A handler that only ever views would keep the dialog open for ever.
constexpr int kMaxViews = 64;

// Size and modification time of a file; empty when its status cannot be read.
CString info_line(const char* path) {
    CFileStatus status;
    if (!path || !CFile::GetStatus(path, status)) return CString();
    CString line;
    line.Format("%d KB\n修改时间：%s", static_cast<int>(status.m_size / 1000),
                status.m_mtime.Format("%Y年%m月%d日，%H:%M:%S").GetString());
    return line;
}

} // namespace

fo_dlg_btn pop_file_overwrite_dlg(const char* source, const char* destination, const char* title) {
    if (!qcore::has_dialog_handler()) return FO_BTN_YES_ALL; // nothing can show the dialog
    qcore::DialogRequest request;
    request.kind = "file_overwrite";
    request.title = title ? title : "确认文件替换";
    CString exists_line;
    exists_line.Format("目的文件夹已经包含一个名为 %s 的文件。",
                       filefun::get_pure_filename(destination, 1).GetString());
    // In the order the dialog shows them, with its font first.
    request.texts = {"Tahoma", exists_line,      "是否将现有文件", info_line(destination),
                     "替换为", info_line(source)};
    request.buttons = {{"查看", kViewDestination},    {"查看", kViewSource},  {"是 (&Y)", FO_BTN_YES},
                       {"全是 (&A)", FO_BTN_YES_ALL}, {"否 (&N)", FO_BTN_NO}, {"全否 (&D)", FO_BTN_NO_ALL}};
    request.cancel_answer = FO_BTN_NO;
    for (; request.attempt <= kMaxViews; ++request.attempt) {
        const INT_PTR answer = qcore::show_dialog(request);
        if (answer == kViewDestination || answer == kViewSource) {
            filefun::shell_open_file(answer == kViewSource ? source : destination, nullptr, SW_SHOWNORMAL);
            continue;
        }
        if (answer < FO_BTN_YES || answer > FO_BTN_NO_ALL) return FO_BTN_NO;
        return static_cast<fo_dlg_btn>(answer);
    }
    return FO_BTN_NO;
}
