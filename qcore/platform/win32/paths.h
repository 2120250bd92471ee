#pragma once
// Paths, drives and the system's folders. Paths may use '\' or '/'; the platform turns '\' into '/' before
// it calls the operating system. A drive-letter path names a folder only when the drive table maps its
// letter (empty by default); a path beginning with '/' is an absolute Linux path.
#include <qcore/platform/win32/cstring.h>
#include <qcore/platform/win32/types.h>

#include <string>
#include <string_view>

#define DRIVE_UNKNOWN 0
#define DRIVE_NO_ROOT_DIR 1
#define DRIVE_REMOVABLE 2
#define DRIVE_FIXED 3
#define DRIVE_REMOTE 4
#define DRIVE_CDROM 5
#define DRIVE_RAMDISK 6

UINT GetDriveTypeA(LPCSTR root);
// The temporary folder ($TMPDIR or /tmp), ending with '/'.
DWORD GetTempPathA(DWORD size, LPSTR buffer);
// The per-user configuration folder that stands in for the Windows folder (created on first use).
UINT GetWindowsDirectoryA(LPSTR buffer, UINT size);
DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer);
BOOL SetCurrentDirectoryA(LPCSTR path);
// Linux has no short names: both give the path back unchanged, and fail for a missing file.
DWORD GetLongPathNameA(LPCSTR path, LPSTR buffer, DWORD size);
DWORD GetShortPathNameA(LPCSTR path, LPSTR buffer, DWORD size);

namespace qcore {

inline bool is_path_separator(char c) {
    return c == '\\' || c == '/';
}

// The separator a path uses, for composing more of it: '\\' when it has only those, else '/'.
inline char separator_of(std::string_view path) {
    return path.find('\\') != std::string_view::npos && path.find('/') == std::string_view::npos ? '\\' : '/';
}

// The path the operating system sees: separators turned into '/', a mapped drive letter replaced by its
// folder. An unmapped drive-letter path names nothing and gives the empty string.
std::string os_path(std::string_view path);
// The drive letter a path starts with ("D:..."), or 0.
char drive_letter(std::string_view path);

// Maps a drive letter to a folder with a drive type; a null folder removes the mapping.
void set_drive(char letter, const char* folder, UINT type = DRIVE_FIXED);
void clear_drives();

// Chooses the folder GetWindowsDirectoryA reports; null restores the default
// ($XDG_CONFIG_HOME/qcore or ~/.config/qcore).
void set_windows_folder(const char* folder);
CString windows_folder();
// The temporary folder, ending with '/'.
CString temp_folder();
// A folder in the temporary folder that only this user can write ("qcore-<uid>/", made with mode 0700),
// for programs the library starts; empty when it cannot be made or another user could change it.
std::string private_temp_folder();

} // namespace qcore
