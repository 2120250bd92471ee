#include <qcore/platform/win32/last_error.h>
#include <qcore/platform/win32/paths.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>

namespace {

struct Drive {
    std::string folder;
    UINT type;
};

std::mutex g_paths_mutex;
std::map<char, Drive> g_drives;
std::string g_windows_folder;

std::string without_trailing_slashes(std::string folder) {
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}

std::string default_windows_folder() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && config[0] == '/') return std::string(config) + "/qcore";
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return std::string(home) + "/.config/qcore";
    return qcore::temp_folder().str() + "qcore-config";
}

bool is_existing_folder(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Long and short names are the same on Linux; the call still fails for a missing file.
DWORD same_name(LPCSTR path, LPSTR buffer, DWORD size) {
    if (!path) return qcore::fail_with(ERROR_INVALID_PARAMETER);
    struct stat st {};
    if (::stat(qcore::os_path(path).c_str(), &st) != 0) return qcore::fail_with_errno();
    return qcore::copy_to_buffer(path, buffer, size);
}

} // namespace

namespace qcore {

char drive_letter(std::string_view path) {
    if (path.size() < 2 || path[1] != ':') return 0;
    const char c = ascii_upper(path[0]);
    return (c >= 'A' && c <= 'Z') ? c : 0;
}

std::string os_path(std::string_view path) {
    std::string out;
    if (const char letter = drive_letter(path)) {
        std::lock_guard lock(g_paths_mutex);
        const auto it = g_drives.find(letter);
        if (it == g_drives.end()) return std::string();
        path.remove_prefix(2);
        const bool rooted = !path.empty() && is_path_separator(path.front());
        out = it->second.folder == "/" ? std::string() : it->second.folder;
        if (!rooted && (!path.empty() || out.empty())) out += '/';
    }
    for (const char c : path)
        out += c == '\\' ? '/' : c;
    return out;
}

void set_drive(char letter, const char* folder, UINT type) {
    const char key = ascii_upper(letter);
    std::lock_guard lock(g_paths_mutex);
    if (!folder) {
        g_drives.erase(key);
        return;
    }
    g_drives[key] = Drive{without_trailing_slashes(folder), type};
}

void clear_drives() {
    std::lock_guard lock(g_paths_mutex);
    g_drives.clear();
}

void set_windows_folder(const char* folder) {
    std::lock_guard lock(g_paths_mutex);
    g_windows_folder = folder ? without_trailing_slashes(os_path(folder)) : std::string();
}

CString windows_folder() {
    std::string folder;
    {
        std::lock_guard lock(g_paths_mutex);
        folder = g_windows_folder;
    }
    if (folder.empty()) folder = default_windows_folder();
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    return CString(folder);
}

CString temp_folder() {
    const char* tmp = std::getenv("TMPDIR");
    std::string folder = (tmp && tmp[0] == '/' && is_existing_folder(tmp)) ? tmp : "/tmp";
    folder = without_trailing_slashes(folder);
    if (folder.back() != '/') folder += '/';
    return CString(folder);
}

std::string private_temp_folder() {
    const std::string folder = temp_folder().str() + "qcore-" + std::to_string(::geteuid());
    ::mkdir(folder.c_str(), 0700);
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() ||
        (st.st_mode & 022) != 0)
        return std::string();
    return folder + "/";
}

} // namespace qcore

UINT GetDriveTypeA(LPCSTR root) {
    if (!root) return DRIVE_FIXED; // the drive of the current folder
    if (const char letter = qcore::drive_letter(root)) {
        std::lock_guard lock(g_paths_mutex);
        const auto it = g_drives.find(letter);
        return it == g_drives.end() ? DRIVE_NO_ROOT_DIR : it->second.type;
    }
    return is_existing_folder(qcore::os_path(root)) ? DRIVE_FIXED : DRIVE_NO_ROOT_DIR;
}

DWORD GetTempPathA(DWORD size, LPSTR buffer) {
    return qcore::copy_to_buffer(qcore::temp_folder().str(), buffer, size);
}

UINT GetWindowsDirectoryA(LPSTR buffer, UINT size) {
    return qcore::copy_to_buffer(qcore::windows_folder().str(), buffer, size);
}

DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer) {
    std::error_code ec;
    const auto cwd = std::filesystem::current_path(ec);
    if (ec) return qcore::fail_with(qcore::win32_error_from_errno(ec.value()));
    return qcore::copy_to_buffer(cwd.string(), buffer, size);
}

BOOL SetCurrentDirectoryA(LPCSTR path) {
    if (!path) return qcore::fail_with(ERROR_INVALID_PARAMETER);
    const std::string os = qcore::os_path(path);
    if (os.empty()) return qcore::fail_with(ERROR_PATH_NOT_FOUND);
    return ::chdir(os.c_str()) == 0 ? TRUE : qcore::fail_with_errno();
}

DWORD GetLongPathNameA(LPCSTR path, LPSTR buffer, DWORD size) {
    return same_name(path, buffer, size);
}

DWORD GetShortPathNameA(LPCSTR path, LPSTR buffer, DWORD size) {
    return same_name(path, buffer, size);
}
