#include <qcore/platform/win32/file_ops.h>
#include <qcore/platform/win32/last_error.h>
#include <qcore/platform/win32/paths.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace qcore::detail {
namespace {

std::string folder_of(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
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

ReplacingFile::~ReplacingFile() {
    discard();
}

bool ReplacingFile::open(const std::string& target, unsigned mode) {
    discard();
    target_ = target;
    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string pattern = folder + "." + name + ".XXXXXX";
    fd_ = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd_ < 0) return false;
    temp_ = pattern;
    ::fchmod(fd_, mode & 07777);
    return true;
}

bool ReplacingFile::write(std::string_view bytes) {
    return fd_ >= 0 && write_all(fd_, bytes);
}

bool ReplacingFile::commit(bool no_replace) {
    if (fd_ < 0) return false;
    const bool flushed = ::fsync(fd_) == 0;
    const bool closed = ::close(fd_) == 0;
    fd_ = -1;
    if (!flushed || !closed) {
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
    sync_parent_folder(target_);
    return true;
}

void ReplacingFile::discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
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
    const int src = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
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
