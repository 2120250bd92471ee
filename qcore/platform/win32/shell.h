#pragma once
// Starting programs and the shell's file operations. Programs run as new processes (reaped in the
// background); the shell's "open" of a document goes to xdg-open.
#include <qcore/platform/win32/hresult.h>
#include <qcore/platform/win32/types.h>
#include <qcore/platform/win32/window.h>

#include <functional>
#include <string>
#include <vector>

// Returns a value above 31 on success, else ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND or 0.
UINT WinExec(LPCSTR command_line, UINT show);

#define SEE_MASK_DEFAULT 0x00000000u
#define SEE_MASK_NOCLOSEPROCESS 0x00000040u
#define SEE_MASK_FLAG_NO_UI 0x00000400u
#define SE_ERR_FNF 2
#define SE_ERR_PNF 3
#define SE_ERR_ACCESSDENIED 5
#define SE_ERR_OOM 8
#define SE_ERR_NOASSOC 31
#ifndef ERROR_NO_ASSOCIATION
#define ERROR_NO_ASSOCIATION 1155L
#endif

typedef struct _SHELLEXECUTEINFOA {
    DWORD cbSize;
    ULONG fMask;
    HWND hwnd;
    LPCSTR lpVerb;
    LPCSTR lpFile;
    LPCSTR lpParameters;
    LPCSTR lpDirectory;
    int nShow;
    HINSTANCE hInstApp;
    void* lpIDList;
    LPCSTR lpClass;
    HKEY hkeyClass;
    DWORD dwHotKey;
    union {
        HANDLE hIcon;
        HANDLE hMonitor;
    };
    HANDLE hProcess;
} SHELLEXECUTEINFOA, *LPSHELLEXECUTEINFOA;

// Verbs: null or "open" (runs a program, opens anything else with its associated program), "explore".
BOOL ShellExecuteExA(SHELLEXECUTEINFOA* info);

#define FO_MOVE 0x0001u
#define FO_COPY 0x0002u
#define FO_DELETE 0x0003u
#define FO_RENAME 0x0004u
#define FOF_MULTIDESTFILES 0x0001u
#define FOF_SILENT 0x0004u
#define FOF_RENAMEONCOLLISION 0x0008u
#define FOF_NOCONFIRMATION 0x0010u
#define FOF_ALLOWUNDO 0x0040u
#define FOF_FILESONLY 0x0080u
#define FOF_SIMPLEPROGRESS 0x0100u
#define FOF_NOCONFIRMMKDIR 0x0200u
#define FOF_NOERRORUI 0x0400u
typedef WORD FILEOP_FLAGS;

typedef struct _SHFILEOPSTRUCTA {
    HWND hwnd;
    UINT wFunc;
    LPCSTR pFrom; // names separated by zeros, ending with two zeros
    LPCSTR pTo;
    FILEOP_FLAGS fFlags;
    BOOL fAnyOperationsAborted;
    LPVOID hNameMappings;
    LPCSTR lpszProgressTitle;
} SHFILEOPSTRUCTA, *LPSHFILEOPSTRUCTA;

// Deletes (recursively), copies, moves or renames; '*' and '?' in a source's last component select
// entries. Without FOF_NOCONFIRMATION a message box asks first; without FOF_NOERRORUI failures are shown.
// Returns 0 on success, else a Win32 error number.
int SHFileOperationA(LPSHFILEOPSTRUCTA operation);

namespace qcore {

// Splits a command line by the Windows rules (blanks separate, double quotes group, backslashes escape
// quotes only).
std::vector<std::string> split_command_line(const char* command_line);

// Starts a program (argv[0] a path or a name searched on PATH) in `folder` (empty: the current one), with
// `environment` ("NAME=value") added to this process's; returns 0 or a Win32 error number. The child is
// reaped in the background.
DWORD start_process(const std::vector<std::string>& argv, const std::string& folder = std::string(),
                    const std::vector<std::string>& environment = {});

// Replaces every process start of WinExec, ShellExecuteExA and start_process (tests record them); the
// handler returns the Win32 error number. An empty function restores real starts; returns the previous.
using ProcessStartHandler =
    std::function<DWORD(const std::vector<std::string>& argv, const std::string& folder)>;
ProcessStartHandler set_process_start_handler(ProcessStartHandler handler);

} // namespace qcore
