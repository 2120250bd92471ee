#include <qcore/data/file_overwrite_dlg.h>
#include <qcore/data/filefun.h>
#include <qcore/platform/win32/file.h>
#include <qcore/platform/win32/file_dialogs.h>
#include <qcore/platform/win32/shell.h>

namespace {

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
    qcore::FileOverwriteRequest request;
    request.title = title ? title : "确认文件替换";
    request.font = "Tahoma";
    request.question = "是否将现有文件";
    request.replace_with = "替换为";
    request.exists_line.Format("目的文件夹已经包含一个名为 %s 的文件。",
                               filefun::get_pure_filename(destination, 1).GetString());
    request.destination_info = info_line(destination);
    request.source_info = info_line(source);
    request.source_path = source;
    request.destination_path = destination;
    request.buttons = {"是 (&Y)", "全是 (&A)", "否 (&N)", "全否 (&D)"};
    const CString source_copy(source), destination_copy(destination);
    request.view_source = [source_copy] { filefun::shell_open_file(source_copy, nullptr, SW_SHOWNORMAL); };
    request.view_destination = [destination_copy] {
        filefun::shell_open_file(destination_copy, nullptr, SW_SHOWNORMAL);
    };
    const std::optional<int> answer = qcore::show_file_overwrite_dialog(request);
    if (!answer) return FO_BTN_YES_ALL;
    if (*answer < FO_BTN_YES || *answer > FO_BTN_NO_ALL) return FO_BTN_NO; // the cancel key
    return static_cast<fo_dlg_btn>(*answer);
}
