#include <qcore/platform/win32/cstring.h>
#include <qcore/platform/win32/file_find.h>
#include <qcore/platform/win32/file_ops.h>
#include <qcore/platform/win32/handler_slot.h>
#include <qcore/platform/win32/last_error.h>
#include <qcore/platform/win32/message_box.h>
#include <qcore/platform/win32/paths.h>
#include <qcore/platform/win32/shell.h>

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <thread>

extern char** environ;

namespace qcore {
namespace {

detail::HandlerSlot<ProcessStartHandler> g_start_handler;

DWORD spawn(const std::vector<std::string>& argv, const std::string& folder,
            const std::vector<std::string>& environment) {
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::vector<char*> env;
    for (char** e = environ; e && *e; ++e)
        env.push_back(*e);
    for (const auto& e : environment)
        env.push_back(const_cast<char*>(e.c_str()));
    env.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return win32_error_from_errno(rc);
    std::thread([pid] {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    }).detach();
    return ERROR_SUCCESS;
}

bool is_executable_file(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

bool has_separator(std::string_view s) {
    return s.find_first_of("\\/") != std::string_view::npos;
}

} // namespace

std::vector<std::string> split_command_line(const char* command_line) {
    std::vector<std::string> out;
    if (!command_line) return out;
    const char* p = command_line;
    for (;;) {
        while (*p == ' ' || *p == '\t')
            ++p;
        if (!*p) return out;
        std::string arg;
        bool quoted = false;
        for (; *p && (quoted || (*p != ' ' && *p != '\t')); ++p) {
            size_t slashes = 0;
            while (p[slashes] == '\\')
                ++slashes;
            if (p[slashes] == '"') {
                arg.append(slashes / 2, '\\');
                p += slashes;
                if (slashes % 2)
                    arg += '"';
                else
                    quoted = !quoted;
            } else if (slashes) {
                arg.append(slashes, '\\');
                p += slashes - 1;
            } else {
                arg += *p;
            }
        }
        out.push_back(std::move(arg));
    }
}

DWORD start_process(const std::vector<std::string>& argv, const std::string& folder,
                    const std::vector<std::string>& environment) {
    if (argv.empty() || argv[0].empty()) return ERROR_FILE_NOT_FOUND;
    const ProcessStartHandler handler = g_start_handler.get();
    if (handler) return handler(argv, folder);
    std::vector<std::string> args = argv;
    if (has_separator(args[0])) args[0] = os_path(args[0]);
    if (args[0].empty()) return ERROR_PATH_NOT_FOUND;
    return spawn(args, folder.empty() ? folder : os_path(folder), environment);
}

ProcessStartHandler set_process_start_handler(ProcessStartHandler handler) {
    return g_start_handler.exchange(std::move(handler));
}

} // namespace qcore

UINT WinExec(LPCSTR command_line, UINT) {
    const std::vector<std::string> argv = qcore::split_command_line(command_line);
    if (argv.empty()) return ERROR_FILE_NOT_FOUND;
    const DWORD error = qcore::start_process(argv);
    if (error == ERROR_SUCCESS) return 33;
    SetLastError(error);
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return error;
    return 0;
}

namespace {

BOOL shell_fail(SHELLEXECUTEINFOA* info, DWORD error, int code) {
    info->hInstApp = reinterpret_cast<HINSTANCE>(static_cast<intptr_t>(code));
    return qcore::fail_with(error);
}

std::vector<std::string> document_opener(const std::string& target) {
    return {"xdg-open", target};
}

} // namespace

BOOL ShellExecuteExA(SHELLEXECUTEINFOA* info) {
    if (!info || !info->lpFile || !*info->lpFile) return qcore::fail_with(ERROR_INVALID_PARAMETER);
    info->hProcess = nullptr;
    const std::string verb = info->lpVerb ? info->lpVerb : "open";
    const std::string_view file = info->lpFile;
    const std::string folder = info->lpDirectory ? info->lpDirectory : "";
    const bool url = file.find("://") != std::string_view::npos;
    const std::string target = url ? std::string(file) : qcore::os_path(file);
    struct stat st {};
    const bool exists = !target.empty() && ::stat(target.c_str(), &st) == 0;

    std::vector<std::string> argv;
    if (qcore::compare_no_case(verb, "explore") == 0) {
        if (!exists || !S_ISDIR(st.st_mode)) return shell_fail(info, ERROR_PATH_NOT_FOUND, SE_ERR_PNF);
        argv = document_opener(target);
    } else if (qcore::compare_no_case(verb, "open") != 0) {
        return shell_fail(info, ERROR_NO_ASSOCIATION, SE_ERR_NOASSOC);
    } else if (url || (exists && !qcore::is_executable_file(target))) {
        argv = document_opener(target);
    } else if (exists || !qcore::has_separator(file)) {
        argv = qcore::split_command_line(info->lpParameters);
        argv.insert(argv.begin(), exists ? target : std::string(file));
    } else {
        return shell_fail(info, ERROR_FILE_NOT_FOUND, SE_ERR_FNF);
    }
    const DWORD error = qcore::start_process(argv, folder);
    if (error != ERROR_SUCCESS)
        return shell_fail(info, error, error == ERROR_FILE_NOT_FOUND ? SE_ERR_FNF : 0);
    info->hInstApp = reinterpret_cast<HINSTANCE>(static_cast<intptr_t>(42));
    return TRUE;
}

namespace {

namespace fs = std::filesystem;

// The names of a zero-separated list, with wildcards in a last component expanded.
std::vector<std::string> expand_names(LPCSTR list) {
    std::vector<std::string> out;
    for (const char* p = list; p && *p; p += std::strlen(p) + 1) {
        const std::string_view name(p);
        const size_t sep = name.find_last_of("\\/");
        const std::string_view last = sep == std::string_view::npos ? name : name.substr(sep + 1);
        if (last.find_first_of("*?") == std::string_view::npos) {
            out.emplace_back(name);
            continue;
        }
        CFileFind find;
        for (BOOL more = find.FindFile(std::string(name).c_str()); more;) {
            more = find.FindNextFile();
            if (!find.IsDots()) out.emplace_back(find.GetFilePath().str());
        }
    }
    return out;
}

bool confirm(const SHFILEOPSTRUCTA& op, const std::string& name) {
    if (op.fFlags & FOF_NOCONFIRMATION) return true;
    const std::string text = "Are you sure you want to permanently delete \"" + name + "\"?";
    return MessageBoxA(op.hwnd, text.c_str(), "Confirm Delete", MB_YESNO | MB_ICONWARNING) == IDYES;
}

void report(const SHFILEOPSTRUCTA& op, const std::string& name, const std::error_code& ec) {
    if (op.fFlags & FOF_NOERRORUI) return;
    const std::string text = "Cannot process \"" + name + "\": " + ec.message();
    MessageBoxA(op.hwnd, text.c_str(), "Error", MB_OK | MB_ICONERROR);
}

// One source; returns the error (empty on success).
std::error_code apply(UINT func, const std::string& from, const std::string& to) {
    std::error_code ec;
    if (func == FO_DELETE) {
        fs::remove_all(from, ec);
        return ec;
    }
    fs::path target = to;
    if (func != FO_RENAME && fs::is_directory(target, ec)) target /= fs::path(from).filename();
    ec.clear();
    if (func == FO_COPY)
        fs::copy(from, target, fs::copy_options::recursive | fs::copy_options::overwrite_existing, ec);
    else
        fs::rename(from, target, ec);
    return ec;
}

} // namespace

int SHFileOperationA(LPSHFILEOPSTRUCTA op) {
    if (!op || !op->pFrom || op->wFunc < FO_MOVE || op->wFunc > FO_RENAME) return ERROR_INVALID_PARAMETER;
    const std::vector<std::string> names = expand_names(op->pFrom);
    const std::vector<std::string> targets = expand_names(op->pTo);
    if (op->wFunc != FO_DELETE && targets.empty()) return ERROR_INVALID_PARAMETER;
    op->fAnyOperationsAborted = FALSE;
    int result = 0;
    for (size_t i = 0; i < names.size(); ++i) {
        const std::string from = qcore::os_path(names[i]);
        std::error_code ec;
        if (from.empty() || !fs::exists(fs::symlink_status(from, ec))) {
            result = ERROR_FILE_NOT_FOUND;
            report(*op, names[i], std::make_error_code(std::errc::no_such_file_or_directory));
            continue;
        }
        if (op->wFunc == FO_DELETE && !confirm(*op, names[i])) {
            op->fAnyOperationsAborted = TRUE;
            continue;
        }
        const bool per_file = (op->fFlags & FOF_MULTIDESTFILES) && i < targets.size();
        const std::string to = targets.empty() ? std::string() : qcore::os_path(targets[per_file ? i : 0]);
        ec = apply(op->wFunc, from, to);
        if (!ec) continue;
        result = static_cast<int>(qcore::win32_error_from_errno(ec.value()));
        report(*op, names[i], ec);
    }
    return result;
}
