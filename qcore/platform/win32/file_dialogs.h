#pragma once
// Modal file dialogs and the file-replacement dialog. Each goes through an installable answer handler that
// receives everything the dialog would show; without a handler a file dialog is cancelled and the
// replacement dialog reports that it cannot be shown.
#include <qcore/platform/win32/cstring.h>
#include <qcore/platform/win32/types.h>

#include <functional>
#include <optional>
#include <vector>

#ifndef OFN_READONLY
#define OFN_READONLY 0x00000001u
#define OFN_OVERWRITEPROMPT 0x00000002u
#define OFN_HIDEREADONLY 0x00000004u
#define OFN_NOCHANGEDIR 0x00000008u
#define OFN_ALLOWMULTISELECT 0x00000200u
#define OFN_PATHMUSTEXIST 0x00000800u
#define OFN_FILEMUSTEXIST 0x00001000u
#define OFN_EXPLORER 0x00080000u
#endif

class CWnd;

namespace qcore {

struct FileDialogRequest {
    bool open = true;    // open or save
    CString filter;      // "description|pattern|...|" as the framework's dialog takes it
    CString file_name;   // proposed name (may include a folder)
    CString default_ext; // appended to a typed name without extension
    DWORD flags = 0;     // OFN_*
    CWnd* parent = nullptr;
};

struct FileDialogAnswer {
    bool ok = false;            // false: cancelled
    std::vector<CString> paths; // chosen full paths (several with OFN_ALLOWMULTISELECT)
};

using FileDialogHandler = std::function<FileDialogAnswer(const FileDialogRequest&)>;
// Installs the handler and returns the previous one; an empty function restores the default (cancel).
FileDialogHandler set_file_dialog_handler(FileDialogHandler handler);
FileDialogAnswer show_file_dialog(const FileDialogRequest& request);

// The dialog that asks whether an existing file is to be replaced by another one.
struct FileOverwriteRequest {
    CString title;
    CString font;
    CString question;         // first text, above the existing file's line
    CString replace_with;     // second text, above the new file's line
    CString exists_line;      // names the existing file
    CString destination_info; // size and time of the existing file
    CString source_info;      // size and time of the new file
    CString source_path;
    CString destination_path;
    std::vector<CString> buttons;      // the answers, in order; the handler returns an index into them
    std::function<void()> view_source; // the "view" buttons
    std::function<void()> view_destination;
};

// Returns the index of the chosen button, or -1 when the dialog is closed with the cancel key.
using FileOverwriteHandler = std::function<int(const FileOverwriteRequest&)>;
FileOverwriteHandler set_file_overwrite_handler(FileOverwriteHandler handler);
// The handler's answer, or nothing when no handler can show the dialog.
std::optional<int> show_file_overwrite_dialog(const FileOverwriteRequest& request);

} // namespace qcore
