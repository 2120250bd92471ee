#include <qcore/platform/win32/file_ops.h>
#include <qcore/platform/win32/last_error.h>
#include <qcore/platform/win32/paths.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>

namespace qcore::detail {
namespace {

std::string folder_of(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string name_of(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The process's file-creation mask, read without changing it (setting it would race other threads).
mode_t current_umask() {
    FILE* status = std::fopen("/proc/self/status", "re");
    unsigned value = 022;
    if (!status) return static_cast<mode_t>(value);
    char line[256];
    while (std::fgets(line, sizeof(line), status))
        if (std::sscanf(line, "Umask: %o", &value) == 1) break;
    std::fclose(status);
    return static_cast<mode_t>(value & 0777);
}

// The file a path finally names, following symbolic links (also one that names a missing file);
// empty with errno ELOOP for a loop.
std::string resolve_links(std::string path) {
    for (int depth = 0; depth < 40; ++depth) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        char buffer[PATH_MAX];
        const ssize_t n = ::readlink(path.c_str(), buffer, sizeof(buffer) - 1);
        if (n <= 0) return path;
        const std::string link(buffer, static_cast<size_t>(n));
        path = link.front() == '/' ? link : folder_of(path) + "/" + link;
    }
    errno = ELOOP;
    return std::string();
}

// ".<name>." in the target's folder: how its temporary files begin.
std::string temp_name_prefix(const std::string& target) {
    std::string prefix(1, '.');
    prefix.append(name_of(target)).push_back('.');
    return prefix;
}

// The target's folder as a prefix of paths in it ("/" or "<folder>/").
std::string folder_prefix(const std::string& target) {
    std::string folder = folder_of(target);
    if (folder != "/") folder.push_back('/');
    return folder;
}

std::string temp_prefix(const std::string& target) {
    return folder_prefix(target).append(temp_name_prefix(target));
}

// Removes temporary files of `target` whose saving process has ended: ".<name>.<pid>.XXXXXX".
void remove_stale_temps(const std::string& target) {
    DIR* dir = ::opendir(folder_of(target).c_str());
    if (!dir) return;
    const std::string prefix = temp_name_prefix(target);
    const std::string folder = folder_prefix(target);
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name(entry->d_name);
        if (name.substr(0, prefix.size()) != prefix) continue;
        const std::string_view rest = name.substr(prefix.size());
        const size_t dot = rest.find('.');
        if (dot == 0 || dot == std::string_view::npos || rest.size() - dot - 1 != 6) continue;
        long pid = 0;
        bool digits = true;
        for (char c : rest.substr(0, dot)) {
            digits &= c >= '0' && c <= '9';
            pid = pid * 10 + (c - '0');
            if (pid > 1 << 30) digits = false;
        }
        if (!digits || pid == ::getpid() || ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH)
            continue;
        std::string path = folder;
        path.append(name);
        struct stat st {};
        if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid())
            ::unlink(path.c_str());
    }
    ::closedir(dir);
}

// A file nobody may write (no write permission bits) is read-only, as the platform's attribute is, even
// for a user whom the system would let write it.
bool is_read_only(const std::string& path, const struct stat& st) {
    return (st.st_mode & 0222) == 0 || ::access(path.c_str(), W_OK) != 0;
}

bool folder_accepts_files(const std::string& target) {
    return ::access(folder_of(target).c_str(), W_OK | X_OK) == 0;
}

// Copies the whole of `from` over the start of `to` and cuts `to` there.
bool overwrite_with(int from, int to) {
    char buffer[1 << 16];
    off_t at = 0;
    for (;;) {
        const ssize_t n = ::pread(from, buffer, sizeof(buffer), at);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        if (::lseek(to, at, SEEK_SET) < 0 || !write_all(to, std::string_view(buffer, static_cast<size_t>(n))))
            return false;
        at += n;
    }
    return ::ftruncate(to, at) == 0 && ::fsync(to) == 0;
}

} // namespace

void sync_parent_folder(const std::string& path) {
    const int dir = ::open(folder_of(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return;
    ::fsync(dir);
    ::close(dir);
}

bool write_all(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

int open_without_waiting(const char* path, int flags, unsigned mode) {
    int fd;
    do {
        fd = ::open(path, flags | O_NONBLOCK, static_cast<mode_t>(mode));
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) {
        ::close(fd);
        errno = EACCES;
        return -1;
    }
    if (!(flags & O_NONBLOCK)) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

SmallFileRead read_small_file(const std::string& path, size_t limit, std::string& bytes, struct stat* st) {
    bytes.clear();
    const int fd = path.empty() ? -1 : open_without_waiting(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? SmallFileRead::missing : SmallFileRead::failed;
    struct stat own {};
    struct stat& status = st ? *st : own;
    SmallFileRead result = SmallFileRead::ok;
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        result = SmallFileRead::failed;
    } else {
        const auto size = static_cast<uint64_t>(std::max<off_t>(status.st_size, 0));
        bytes.resize(static_cast<size_t>(std::min<uint64_t>(size, limit)));
        size_t got = 0;
        while (got < bytes.size()) {
            const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            got += static_cast<size_t>(n);
        }
        bytes.resize(got);
        if (size > limit) result = SmallFileRead::too_large;
    }
    ::close(fd);
    return result;
}

bool can_replace(const std::string& path) {
    const std::string target = resolve_links(path);
    if (target.empty()) return false;
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0 && (!S_ISREG(st.st_mode) || is_read_only(target, st))) return false;
    return folder_accepts_files(target);
}

ReplacingFile::~ReplacingFile() {
    discard();
}

bool ReplacingFile::open(const std::string& target, unsigned mode) {
    discard();
    target_ = resolve_links(target);
    if (target_.empty()) return false;
    struct stat st {};
    const bool exists = ::stat(target_.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
        errno = S_ISDIR(st.st_mode) ? EISDIR : EACCES;
        return false;
    }
    if (exists && is_read_only(target_, st)) {
        errno = EACCES;
        return false;
    }
    remove_stale_temps(target_);
    std::string pattern = temp_prefix(target_) + std::to_string(::getpid()) + ".XXXXXX";
    fd_ = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd_ < 0) return false;
    temp_ = pattern;
    if (!exists) {
        ::fchmod(fd_, static_cast<mode_t>(mode & 0777) & ~current_umask());
        return true;
    }
    // Rename would give the file our owner and cut its other links: those are written in place.
    struct stat mine {};
    ::fstat(fd_, &mine);
    const bool same_group = mine.st_gid == st.st_gid || ::fchown(fd_, static_cast<uid_t>(-1), st.st_gid) == 0;
    in_place_ = st.st_nlink > 1 || st.st_uid != mine.st_uid || !same_group;
    ::fchmod(fd_, st.st_mode & 07777);
    return true;
}

bool ReplacingFile::write(std::string_view bytes) {
    return fd_ >= 0 && write_all(fd_, bytes);
}

void ReplacingFile::start_writeback() {
    // Only a hint: errors surface in commit's fsync.
    if (fd_ >= 0) ::sync_file_range(fd_, 0, 0, SYNC_FILE_RANGE_WRITE);
}

bool ReplacingFile::commit(bool no_replace, bool sync_name) {
    if (fd_ < 0) return false;
    if (::fsync(fd_) != 0) {
        discard();
        return false;
    }
    if (in_place_) {
        const int out = ::open(target_.c_str(), O_WRONLY | O_CLOEXEC);
        const bool ok = out >= 0 && overwrite_with(fd_, out);
        const int err = errno;
        if (out >= 0) ::close(out);
        discard();
        errno = err;
        return ok;
    }
    const bool closed = ::close(fd_) == 0;
    fd_ = -1;
    if (!closed) {
        discard();
        return false;
    }
    const bool placed = no_replace ? ::link(temp_.c_str(), target_.c_str()) == 0
                                   : ::rename(temp_.c_str(), target_.c_str()) == 0;
    const int err = errno;
    if (no_replace || !placed)
        discard();
    else
        temp_.clear();
    if (!placed) {
        errno = err;
        return false;
    }
    if (sync_name) sync_parent_folder(target_);
    return true;
}

void ReplacingFile::discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    in_place_ = false;
    if (!temp_.empty()) ::unlink(temp_.c_str());
    temp_.clear();
}

} // namespace qcore::detail

namespace {

// The operating-system path of an argument, or empty with the last error set.
std::string checked_path(LPCSTR path) {
    if (!path || !*path) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return std::string();
    }
    std::string os = qcore::os_path(path);
    if (os.empty()) SetLastError(ERROR_PATH_NOT_FOUND);
    return os;
}

bool copy_content(int from, int to) {
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(from, buffer, sizeof(buffer));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        if (!qcore::detail::write_all(to, std::string_view(buffer, static_cast<size_t>(n)))) return false;
    }
}

BOOL copy_file(const std::string& from, const std::string& to, bool fail_if_exists) {
    const int src = qcore::detail::open_without_waiting(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (src < 0) return qcore::fail_with_errno();
    struct stat st {};
    if (::fstat(src, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(src);
        return qcore::fail_with(ERROR_ACCESS_DENIED);
    }
    struct stat existing {};
    if (fail_if_exists && ::stat(to.c_str(), &existing) == 0) {
        ::close(src);
        return qcore::fail_with(ERROR_FILE_EXISTS);
    }
    qcore::detail::ReplacingFile out;
    bool ok = out.open(to, st.st_mode) && copy_content(src, out.fd());
    const int err = errno;
    ::close(src);
    if (ok) {
        const struct timespec times[2] = {st.st_atim, st.st_mtim};
        ::futimens(out.fd(), times);
        ok = out.commit(fail_if_exists);
    }
    if (ok) return TRUE;
    if (errno == EEXIST) return qcore::fail_with(ERROR_FILE_EXISTS);
    return qcore::fail_with(qcore::win32_error_from_errno(errno ? errno : err));
}

} // namespace

BOOL CopyFileA(LPCSTR existing, LPCSTR target, BOOL fail_if_exists) {
    const std::string from = checked_path(existing);
    if (from.empty()) return FALSE;
    const std::string to = checked_path(target);
    if (to.empty()) return FALSE;
    return copy_file(from, to, fail_if_exists != FALSE);
}

BOOL MoveFileA(LPCSTR existing, LPCSTR target) {
    const std::string from = checked_path(existing);
    if (from.empty()) return FALSE;
    const std::string to = checked_path(target);
    if (to.empty()) return FALSE;
    struct stat st {};
    if (::lstat(from.c_str(), &st) != 0) return qcore::fail_with_errno();
    // Letter-case-only renames of the same entry are allowed, as on Windows.
    struct stat dst {};
    if (::lstat(to.c_str(), &dst) == 0 && !(dst.st_ino == st.st_ino && dst.st_dev == st.st_dev))
        return qcore::fail_with(ERROR_ALREADY_EXISTS);
    if (::rename(from.c_str(), to.c_str()) == 0) return TRUE;
    if (errno != EXDEV || S_ISDIR(st.st_mode)) return qcore::fail_with_errno();
    if (!copy_file(from, to, true)) return FALSE;
    return ::unlink(from.c_str()) == 0 ? TRUE : qcore::fail_with_errno();
}

BOOL DeleteFileA(LPCSTR path) {
    const std::string os = checked_path(path);
    if (os.empty()) return FALSE;
    struct stat st {};
    if (::lstat(os.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return qcore::fail_with(ERROR_ACCESS_DENIED);
    return ::unlink(os.c_str()) == 0 ? TRUE : qcore::fail_with_errno();
}

BOOL CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES) {
    const std::string os = checked_path(path);
    if (os.empty()) return FALSE;
    if (::mkdir(os.c_str(), 0777) == 0) return TRUE;
    return errno == ENOENT ? qcore::fail_with(ERROR_PATH_NOT_FOUND) : qcore::fail_with_errno();
}

BOOL RemoveDirectoryA(LPCSTR path) {
    const std::string os = checked_path(path);
    if (os.empty()) return FALSE;
    return ::rmdir(os.c_str()) == 0 ? TRUE : qcore::fail_with_errno();
}

DWORD GetFileAttributesA(LPCSTR path) {
    const std::string os = checked_path(path);
    if (os.empty()) return INVALID_FILE_ATTRIBUTES;
    struct stat st {};
    if (::stat(os.c_str(), &st) != 0) {
        qcore::fail_with_errno();
        return INVALID_FILE_ATTRIBUTES;
    }
    DWORD attributes = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : 0;
    if (::access(os.c_str(), W_OK) != 0) attributes |= FILE_ATTRIBUTE_READONLY;
    std::string_view name(os);
    while (name.size() > 1 && name.back() == '/')
        name.remove_suffix(1);
    name.remove_prefix(name.find_last_of('/') == std::string_view::npos ? 0 : name.find_last_of('/') + 1);
    if (name.size() > 1 && name.front() == '.' && name != "..") attributes |= FILE_ATTRIBUTE_HIDDEN;
    return attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
}
