#pragma once
// Dialogs and menus the library shows. Each kind has one installable answer handler that receives what the
// dialog would show and returns the user's answer, so hosts and tests decide; the defaults answer as a user
// who closes the dialog would (cancel, no file, no command). With the SDL backend a host may install
// qcore::sdl_dialog_handler for simple real dialogs.
#include <qcore/platform/win32/afxwin.h>
#include <qcore/platform/win32/cstring.h>

#include <functional>
#include <vector>

namespace qcore {

// A modal dialog: CDialog::DoModal fills kind "modal", the template id, the title and the dialog object
// (whose members a handler may set before answering IDOK). Library dialogs without a class (the file
// overwrite question, ...) name their kind and give their texts and buttons.
struct DialogRequest {
    CString kind;
    UINT template_id = 0;
    CString title;
    std::vector<CString> texts;
    // Buttons in order: their texts and the answer each gives.
    std::vector<std::pair<CString, INT_PTR>> buttons;
    INT_PTR cancel_answer = IDCANCEL;
    CDialog* dialog = nullptr;
    int attempt = 0; // > 0 when the dialog refused the previous answer
};
using DialogHandler = std::function<INT_PTR(const DialogRequest&)>;
// Returns the previous handler; an empty function restores the default (the cancel answer).
DialogHandler set_dialog_handler(DialogHandler handler);
INT_PTR show_dialog(const DialogRequest& request);
// Whether a handler is installed (a library dialog without one may choose its own answer).
bool has_dialog_handler();

// File dialogs (CFileDialog::DoModal). The filter is the framework's "text|pattern|...|" form.
struct FileDialogRequest {
    bool open = true;
    bool multiple = false;
    CString title;
    CString filter;
    CString default_ext;
    CString initial_file;
    CString initial_folder;
    DWORD flags = 0;
    HWND owner = nullptr;
};
struct FileDialogAnswer {
    int result = IDCANCEL;
    std::vector<CString> paths; // full paths; several with multiple selection
};
using FileDialogHandler = std::function<FileDialogAnswer(const FileDialogRequest&)>;
FileDialogHandler set_file_dialog_handler(FileDialogHandler handler);
FileDialogAnswer show_file_dialog(const FileDialogRequest& request);

// Pop-up menus (TrackPopupMenu): the handler gets the items and the point and returns a command id
// (0: dismissed).
struct MenuItem {
    UINT id = 0; // 0 for separators and sub-menus
    CString text;
    UINT flags = 0;
    std::vector<MenuItem> sub_items;
};
struct MenuRequest {
    std::vector<MenuItem> items;
    POINT point{};
    UINT flags = 0;
    HWND owner = nullptr;
};
using MenuHandler = std::function<UINT(const MenuRequest&)>;
MenuHandler set_menu_handler(MenuHandler handler);

// Menu resources: LoadMenuA(instance, MAKEINTRESOURCE(id)) gives a copy of the menu registered under id
// (there are no resource files on this platform). Registering takes ownership of the menu.
void register_menu_resource(UINT id, HMENU menu);
// Menus that exist now (registered resources and their sub-menus included); tests check for leaks with it.
size_t live_menu_count();

// Real dialogs through SDL_ShowMessageBox: the request's texts and buttons become a message box; a modal
// CDialog without buttons gets OK and Cancel. Falls back to the default answer when no box can be shown.
DialogHandler sdl_dialog_handler();
// Message boxes shown for real through SDL_ShowMessageBox (for qcore::set_message_box_handler).
MessageBoxHandler sdl_message_box_handler();

} // namespace qcore

#define MF_STRING 0x00000000u
#define MF_GRAYED 0x00000001u
#define MF_DISABLED 0x00000002u
#define MF_CHECKED 0x00000008u
#define MF_POPUP 0x00000010u
#define MF_SEPARATOR 0x00000800u
#define MF_BYCOMMAND 0x00000000u
#define MF_BYPOSITION 0x00000400u
#define TPM_LEFTALIGN 0x0000u
#define TPM_RIGHTBUTTON 0x0002u
#define TPM_NONOTIFY 0x0080u
#define TPM_RETURNCMD 0x0100u

HMENU CreatePopupMenu();
HMENU CreateMenu();
BOOL AppendMenuA(HMENU menu, UINT flags, UINT_PTR id_or_popup, LPCSTR text);
BOOL DestroyMenu(HMENU menu);
HMENU GetSubMenu(HMENU menu, int position);
int GetMenuItemCount(HMENU menu);
HMENU LoadMenuA(HINSTANCE instance, LPCSTR name);
// With TPM_RETURNCMD returns the chosen command (0 when dismissed); otherwise posts WM_COMMAND with it to
// the owner and returns non-zero when something was chosen.
BOOL TrackPopupMenu(HMENU menu, UINT flags, int x, int y, int reserved, HWND owner, const RECT* rect);

#define OFN_READONLY 0x00000001u
#define OFN_OVERWRITEPROMPT 0x00000002u
#define OFN_HIDEREADONLY 0x00000004u
#define OFN_NOCHANGEDIR 0x00000008u
#define OFN_ALLOWMULTISELECT 0x00000200u
#define OFN_PATHMUSTEXIST 0x00000800u
#define OFN_FILEMUSTEXIST 0x00001000u
#define OFN_EXPLORER 0x00080000u

typedef struct tagOFNA {
    DWORD lStructSize;
    HWND hwndOwner;
    HINSTANCE hInstance;
    LPCSTR lpstrFilter;
    LPSTR lpstrCustomFilter;
    DWORD nMaxCustFilter;
    DWORD nFilterIndex;
    LPSTR lpstrFile;
    DWORD nMaxFile;
    LPSTR lpstrFileTitle;
    DWORD nMaxFileTitle;
    LPCSTR lpstrInitialDir;
    LPCSTR lpstrTitle;
    DWORD Flags;
    WORD nFileOffset;
    WORD nFileExtension;
    LPCSTR lpstrDefExt;
} OPENFILENAMEA;

// The framework's file dialog: DoModal asks the file dialog handler; GetPathName and the position walk
// give the answer.
class CFileDialog : public CDialog {
public:
    explicit CFileDialog(BOOL open, LPCSTR default_ext = nullptr, LPCSTR file_name = nullptr,
                         DWORD flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, LPCSTR filter = nullptr,
                         CWnd* parent = nullptr);
    INT_PTR DoModal() override;
    CString GetPathName() const;
    CString GetFileName() const;
    CString GetFileExt() const;
    // Multiple selection: the first position, then each path in turn (the position becomes null at the end).
    void* GetStartPosition() const;
    CString GetNextPathName(void*& position) const;

    OPENFILENAMEA m_ofn{};

private:
    bool open_;
    CString default_ext_, file_name_, filter_;
    std::vector<CString> paths_;
};
