#include <qcore/data/appinfo.h>
#include <qcore/data/file_overwrite_dlg.h>
#include <qcore/data/filefun.h>
#include <qcore/image/imgfun.h>
#include <qcore/platform/win32/afxwin.h>
#include <qcore/platform/win32/file.h>
#include <qcore/platform/win32/file_find.h>
#include <qcore/platform/win32/file_ops.h>
#include <qcore/platform/win32/handler_slot.h>
#include <qcore/platform/win32/message_box.h>
#include <qcore/platform/win32/module.h>
#include <qcore/platform/win32/paths.h>
#include <qcore/platform/win32/shell.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>

namespace {

using qcore::is_path_separator;
using qcore::separator_of;

std::mutex g_app_folder_mutex;
CString g_app_folder;
qcore::detail::HandlerSlot<qcore::AnimatedTextureCopier> g_atx_copier;

std::string_view text_of(const char* s) {
    return s ? std::string_view(s) : std::string_view();
}

// Where the file name starts: after the last separator, or after a bare drive.
size_t name_start(std::string_view path) {
    const size_t sep = path.find_last_of("\\/");
    if (sep != std::string_view::npos) return sep + 1;
    return qcore::drive_letter(path) ? 2 : 0;
}

CString with_trailing_separator(const char* folder) {
    CString out(folder);
    if (!out.IsEmpty() && !filefun::is_end_with_slash(out)) out += separator_of(out.view());
    return out;
}

std::string_view without_trailing_separators(std::string_view path) {
    while (path.size() > 1 && is_path_separator(path.back()))
        path.remove_suffix(1);
    return path;
}

CString folder_from_buffer(DWORD (*get)(DWORD, LPSTR)) {
    char buffer[4096];
    const DWORD n = get(sizeof(buffer), buffer);
    if (n == 0 || n >= sizeof(buffer)) return CString();
    return with_trailing_separator(buffer);
}

CString converted_name(const char* path, DWORD (*convert)(LPCSTR, LPSTR, DWORD)) {
    char buffer[4096];
    const DWORD n = path ? convert(path, buffer, sizeof(buffer)) : 0;
    return n == 0 || n >= sizeof(buffer) ? CString(path) : CString(buffer);
}

bool stat_path(const char* path, struct stat& st) {
    const std::string os = qcore::os_path(text_of(path));
    return !os.empty() && ::stat(os.c_str(), &st) == 0;
}

int copy_failed(const char* source, const CString& destination, int show_errors) {
    if (show_errors)
        AfxMessageBox(CString("复制文件从：\n") + source + "\n到：\n" + destination + "\n失败！");
    return 0;
}

// Whether a component of the path is "." or "..".
bool has_dot_component(std::string_view path) {
    while (!path.empty()) {
        const size_t sep = path.find_first_of("\\/");
        const std::string_view part = path.substr(0, sep);
        if (part == "." || part == "..") return true;
        if (sep == std::string_view::npos) break;
        path.remove_prefix(sep + 1);
    }
    return false;
}

// Whether `inner` lies inside `outer` or is it (both existing folders).
bool is_inside(const CString& outer, const CString& inner) {
    namespace fs = std::filesystem;
    std::error_code ec1, ec2;
    const fs::path o = fs::canonical(qcore::os_path(outer.view()), ec1);
    const fs::path i = fs::weakly_canonical(qcore::os_path(inner.view()), ec2);
    if (ec1 || ec2) return false;
    const auto mismatch = std::mismatch(o.begin(), o.end(), i.begin(), i.end());
    return mismatch.first == o.end();
}

} // namespace

namespace qcore {

void set_app_folder(const char* folder) {
    std::lock_guard lock(g_app_folder_mutex);
    g_app_folder = folder ? with_trailing_separator(folder) : CString();
}

CString folder_deleter_path() {
    return module_folder() + "qcore-folder-deleter";
}

AnimatedTextureCopier set_animated_texture_copier(AnimatedTextureCopier copier) {
    return g_atx_copier.exchange(std::move(copier));
}

} // namespace qcore

CString filefun::get_file_ext(const char* path, int with_dot) {
    const std::string_view p = text_of(path);
    const std::string_view name = p.substr(name_start(p));
    const size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) return CString();
    return CString(name.substr(with_dot ? dot : dot + 1));
}

CString filefun::get_file_path(const char* path) {
    const std::string_view p = text_of(path);
    return CString(p.substr(0, name_start(p)));
}

CString filefun::get_pure_filename(const char* path, int with_ext) {
    const std::string_view p = text_of(path);
    std::string_view name = p.substr(name_start(p));
    if (!with_ext) name = name.substr(0, name.rfind('.'));
    return CString(name);
}

CString filefun::get_rename_ext_file(const char* path, const char* suffix) {
    return get_file_path(path) + get_pure_filename(path, 0) + CString(suffix);
}

int filefun::is_pure_filename(const char* text) {
    const std::string_view t = text_of(text);
    return !t.empty() && name_start(t) == 0;
}

int filefun::is_file_type(const char* path, const char* ext) {
    const std::string_view e = text_of(ext);
    const bool dotted = !e.empty() && e.front() == '.';
    return !e.empty() && qcore::compare_no_case(get_file_ext(path, dotted).view(), e) == 0;
}

int filefun::is_end_with_slash(const CString& path) {
    return !path.IsEmpty() && is_path_separator(path[path.GetLength() - 1]);
}

CString filefun::get_up_level_path(const char* path) {
    const CString folder(without_trailing_separators(text_of(path)));
    return get_file_path(folder);
}

CString filefun::get_last_path_name(const char* path) {
    const std::string_view p = without_trailing_separators(text_of(path));
    return CString(p.substr(name_start(p)));
}

CString filefun::get_drive(const char* path) {
    return qcore::drive_letter(text_of(path)) ? CString(text_of(path).substr(0, 2)) : CString();
}

CString filefun::convert_to_long_file_name(const char* path) {
    return converted_name(path, GetLongPathNameA);
}

CString filefun::convert_to_short_file_name(const char* path) {
    return converted_name(path, GetShortPathNameA);
}

CString filefun::get_cur_dir() {
    return folder_from_buffer(GetCurrentDirectoryA);
}

CString filefun::get_windows_path() {
    return with_trailing_separator(qcore::windows_folder());
}

CString filefun::get_module_filename(CWinApp*) {
    char buffer[4096];
    const DWORD n = GetModuleFileNameA(nullptr, buffer, sizeof(buffer));
    return n == 0 || n >= sizeof(buffer) - 1 ? CString() : CString(buffer);
}

CString filefun::get_module_path(CWinApp* app) {
    {
        std::lock_guard lock(g_app_folder_mutex);
        if (!g_app_folder.IsEmpty()) return g_app_folder;
    }
    return get_file_path(get_module_filename(app));
}

int filefun::file_exist(const char* path) {
    if (!path || is_pure_filename(path)) return 0;
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

int filefun::path_exist(const char* path) {
    const std::string p(without_trailing_separators(text_of(path)));
    if (p.empty()) return 0;
    if (p.size() == 2 && qcore::drive_letter(p)) {
        const UINT type = GetDriveTypeA((p + "\\").c_str());
        return type != DRIVE_UNKNOWN && type != DRIVE_NO_ROOT_DIR;
    }
    const DWORD attributes = GetFileAttributesA(p.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

int filefun::is_same_file(const char* a, const char* b) {
    struct stat sa {
    }, sb{};
    if (!stat_path(a, sa) || !stat_path(b, sb)) return 0;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

int filefun::can_write_to_file(const char* path, int create_folder) {
    if (!path || !*path) return 0;
    const CString folder = get_file_path(path);
    if (create_folder && !folder.IsEmpty()) create_path(folder);
    const std::string os = qcore::os_path(path);
    // The library's writers put a temporary file beside the target: the folder must take it too.
    return !os.empty() && qcore::detail::can_replace(os) ? 1 : 0;
}

int filefun::get_file_status(const char* path, CFileStatus& status) {
    if (path && CFile::GetStatus(path, status)) return 1;
    status = CFileStatus{};
    status.m_size = -1;
    return 0;
}

file_status_compare filefun::file_changed(const char* path, const CFileStatus& recorded) {
    if (!path) return FS_SAME;
    CFileStatus now;
    if (!get_file_status(path, now)) return recorded.m_size == -1 ? FS_SAME : FS_DELETED;
    if (recorded.m_size == -1) return FS_CREATED;
    const bool same =
        now.m_size == recorded.m_size && now.m_ctime == recorded.m_ctime && now.m_mtime == recorded.m_mtime;
    return same ? FS_SAME : FS_CHANGED;
}

int filefun::create_path(const char* path) {
    const std::string_view p = text_of(path);
    if (p.empty()) return 0;
    if (path_exist(path)) return 1;
    for (size_t i = 0; i <= p.size(); ++i) {
        if (i < p.size() && !is_path_separator(p[i])) continue;
        const std::string level(p.substr(0, i));
        // The root and a bare drive are not folders to make.
        if (level.empty() || (level.size() == 2 && qcore::drive_letter(level))) continue;
        if (path_exist(level.c_str())) continue;
        if (!CreateDirectoryA(level.c_str(), nullptr) && !path_exist(level.c_str())) return 0;
    }
    return path_exist(path);
}

int filefun::ensure_path(const char* path) {
    if (!is_end_with_slash(CString(path))) return 0;
    return create_path(path);
}

int filefun::copy_file_to_a_folder(const char* source, const char* folder, const char* new_name,
                                   file_overwrite_flag& flag, int show_errors) {
    if (!file_exist(source)) return 0;
    const CString name = new_name && *new_name ? CString(new_name) : get_pure_filename(source, 1);
    const CString destination = with_trailing_separator(folder) + name;
    // Without a folder the copy would land in whatever the current folder is.
    if (!folder || !*folder) return copy_failed(source, destination, show_errors);
    if (qcore::os_path(destination.view()) == qcore::os_path(source) || is_same_file(source, destination))
        return 1;
    if (file_exist(destination)) {
        if (flag == FO_SKIP_ALL) return 1;
        if (flag == FO_ASK) {
            switch (pop_file_overwrite_dlg(source, destination, "文件替换确认")) {
            case FO_BTN_YES:
                break;
            case FO_BTN_YES_ALL:
                flag = FO_OVERWRITE_ALL;
                break;
            case FO_BTN_NO:
                return 1;
            case FO_BTN_NO_ALL:
                flag = FO_SKIP_ALL;
                return 1;
            }
        }
    }
    if (CopyFileA(source, destination, FALSE)) return 1;
    return copy_failed(source, destination, show_errors);
}

int filefun::copy_texture_to_a_folder(const char* source, const char* folder, file_overwrite_flag& flag) {
    if (is_file_type(source, ".atx")) {
        const qcore::AnimatedTextureCopier copier = g_atx_copier.get();
        if (copier) return copier(source, folder, flag);
    }
    return copy_file_to_a_folder(source, folder, nullptr, flag, 1);
}

int filefun::copy_folder(const char* source, const char* destination, file_overwrite_flag& flag) {
    const CString from = with_trailing_separator(source);
    const CString to = with_trailing_separator(destination);
    if (!path_exist(from) || to.IsEmpty() || is_inside(from, to) || !ensure_path(to)) return 0;
    CFileFind find;
    int ok = 1;
    for (BOOL more = find.FindFile(from + "*.*"); more;) {
        more = find.FindNextFile();
        if (find.IsDots()) continue;
        const CString entry = find.GetFilePath();
        if (find.IsDirectory())
            ok &= copy_folder(entry, to + find.GetFileName() + separator_of(to.view()), flag);
        else
            ok &= copy_file_to_a_folder(entry, to, nullptr, flag, 1);
    }
    return ok;
}

int filefun::rename_file(const char* old_name, const char* new_name) {
    if (!file_exist(old_name)) {
        AfxMessageBox(CString(old_name) + " : 源文件不存在!");
        return 0;
    }
    return MoveFileA(old_name, new_name) ? 1 : 0;
}

int filefun::rename_dir(const char* old_name, const char* new_name) {
    if (!path_exist(old_name)) {
        AfxMessageBox(CString(old_name) + " : 源目录不存在!");
        return 0;
    }
    return MoveFileA(old_name, new_name) ? 1 : 0;
}

int filefun::delete_file_or_dir(const CString& path, int ask) {
    if (path.IsEmpty()) return 1;
    const std::string target(without_trailing_separators(path.view()));
    // Only a full path that names its entry directly: never the current folder, a parent, the whole
    // file system or a whole drive.
    const std::string os = qcore::os_path(target);
    if (os.empty() || os.front() != '/' || os == "/" || has_dot_component(target)) return 0;
    if (target.size() == 2 && qcore::drive_letter(target)) return 0;
    const std::string from = target + '\0';
    SHFILEOPSTRUCTA op{};
    const CWinApp* app = AfxGetApp();
    op.hwnd = app && app->m_pMainWnd ? app->m_pMainWnd->GetSafeHwnd() : nullptr;
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = ask ? 0 : FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
    return SHFileOperationA(&op) == 0 ? 1 : 0;
}

int filefun::delete_self_path(const char* deleter, const char* folder) {
    if (!path_exist(folder)) return 1;
    if (!file_exist(deleter)) {
        AfxMessageBox(CString(deleter) + ", not exist");
        return 0;
    }
    // The copy runs from a folder only this user can write: a program planted in the shared temporary
    // folder is never started. Without such a folder the installed deleter does the work.
    const std::string target = qcore::os_path(folder);
    const std::vector<std::string> host{"QCORE_DELETER_WAIT_PID=" + std::to_string(::getpid())};
    if (const std::string own = qcore::private_temp_folder(); !own.empty()) {
        const CString copy(own + "~sfd.exe");
        if (!is_same_file(deleter, copy) && !CopyFileA(deleter, copy, FALSE)) {
            AfxMessageBox("Copy sfd err");
            return 0;
        }
        // The deleter waits for this process to end before it deletes the folder. A temporary folder
        // that allows no programs to run leaves the installed deleter to do it.
        if (qcore::start_process({copy.str(), target}, std::string(), host) == ERROR_SUCCESS) return 1;
    }
    return qcore::start_process({deleter, target}, std::string(), host) == ERROR_SUCCESS ? 1 : 0;
}

int filefun::find_exist_brother_img_filename(const char* path, CString& found) {
    if (!path || is_pure_filename(path) || get_file_path(path).IsEmpty()) return 0;
    const IMG_FILE_TYPE own = imgfun::get_img_file_type(path);
    for (const char* ext : {".jpg", ".bmp", ".tga", ".png", ".dds"}) {
        if (imgfun::get_img_file_type(ext) == own) continue;
        const CString candidate = get_rename_ext_file(path, ext);
        if (!file_exist(candidate)) continue;
        found = candidate;
        return 1;
    }
    return 0;
}

int filefun::shell_open_file(const char* path, const char* parameters, int show) {
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof(info);
    info.lpVerb = "open";
    info.lpFile = path;
    info.lpParameters = parameters;
    info.nShow = show;
    return ShellExecuteExA(&info) ? 1 : 0;
}
