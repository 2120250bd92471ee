#include <qcore/platform/win32/file.h>
#include <qcore/platform/win32/file_ops.h>
#include <qcore/platform/win32/hresult.h>
#include <qcore/platform/win32/paths.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Win32 error numbers used only by the errno translation below.
constexpr LONG kErrorWriteFault = 29;
constexpr LONG kErrorReadFault = 30;
constexpr LONG kErrorNegativeSeek = 131;
constexpr LONG kErrorSeekOnDevice = 132;
constexpr LONG kErrorFilenameExcedRange = 206;
constexpr LONG kErrorIoDevice = 1117;

LONG errno_to_os_error(int e) {
    switch (e) {
    case ENOENT:
        return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
    case ELOOP:
        return ERROR_PATH_NOT_FOUND;
    case ENAMETOOLONG:
        return kErrorFilenameExcedRange;
    case EMFILE:
    case ENFILE:
        return ERROR_TOO_MANY_OPEN_FILES;
    case EACCES:
    case EPERM:
    case EISDIR:
        return ERROR_ACCESS_DENIED;
    case EROFS:
        return ERROR_WRITE_PROTECT;
    case EEXIST:
        return ERROR_FILE_EXISTS;
    case EBADF:
        return ERROR_INVALID_HANDLE;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return ERROR_DISK_FULL;
    case EIO:
        return kErrorIoDevice;
    case EINVAL:
        return kErrorNegativeSeek;
    case ESPIPE:
        return kErrorSeekOnDevice;
    case EBUSY:
    case ETXTBSY:
        return ERROR_SHARING_VIOLATION;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    default:
        return -1;
    }
}

const char* cause_format(int cause) {
    switch (cause) {
    case CFileException::fileNotFound:
        return "%s was not found.";
    case CFileException::badPath:
        return "%s contains an invalid path.";
    case CFileException::tooManyOpenFiles:
        return "%s could not be opened because there are too many open files.";
    case CFileException::accessDenied:
        return "Access to %s was denied.";
    case CFileException::invalidFile:
        return "An invalid file handle was associated with %s.";
    case CFileException::removeCurrentDir:
        return "%s could not be removed because it is the current directory.";
    case CFileException::directoryFull:
        return "%s could not be created because the directory is full.";
    case CFileException::badSeek:
        return "Seek failed on %s";
    case CFileException::hardIO:
        return "A hardware I/O error was reported while accessing %s.";
    case CFileException::sharingViolation:
        return "A sharing violation occurred while accessing %s.";
    case CFileException::lockViolation:
        return "A locking violation occurred while accessing %s.";
    case CFileException::diskFull:
        return "Disk full while accessing %s.";
    case CFileException::endOfFile:
        return "An attempt was made to access %s past its end.";
    default:
        return "An unexpected error occurred while accessing %s.";
    }
}

std::string absolute_path(const char* path) {
    std::string p = path ? path : "";
    if (p.empty() || p[0] == '/' || p[0] == '\\') return p;
    if (p.size() > 1 && p[1] == ':') return p;
    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd)) return p;
    std::string dir = cwd;
    if (dir.empty() || dir.back() != '/') dir += '/';
    return dir + p;
}

bool parent_exists(const std::string& path) {
    const std::string p = qcore::native_path(path.c_str());
    const size_t slash = p.find_last_of('/');
    if (slash == std::string::npos || slash == 0) return true;
    struct stat st {};
    return ::stat(p.substr(0, slash).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

CFileException::CFileException(int cause, LONG os_error, const char* file_name)
    : m_cause(cause), m_lOsError(os_error), m_strFileName(file_name) {}

CString CFileException::GetErrorMessage() const {
    const char* name = m_strFileName.IsEmpty() ? "an unnamed file" : m_strFileName.GetString();
    CString text;
    text.Format(cause_format(m_cause), name);
    return text;
}

BOOL CFileException::GetErrorMessage(char* buffer, UINT max_chars, UINT* help_context) const {
    if (help_context) *help_context = 0;
    if (!buffer || max_chars == 0) return FALSE;
    const CString text = GetErrorMessage();
    const size_t n = std::min<size_t>(static_cast<size_t>(text.GetLength()), max_chars - 1);
    std::memcpy(buffer, text.GetString(), n);
    buffer[n] = '\0';
    return TRUE;
}

int CFileException::ReportError(UINT type, UINT) const {
    return AfxMessageBox(GetErrorMessage(), type);
}

int CFileException::OsErrorToException(LONG os_error) {
    switch (os_error) {
    case NO_ERROR:
        return none;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_NO_MORE_FILES:
        return fileNotFound;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_INVALID_NAME:
    case kErrorFilenameExcedRange:
        return badPath;
    case ERROR_TOO_MANY_OPEN_FILES:
        return tooManyOpenFiles;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
    case kErrorWriteFault:
        return accessDenied;
    case ERROR_INVALID_HANDLE:
        return invalidFile;
    case ERROR_DIR_NOT_EMPTY:
        return removeCurrentDir;
    case kErrorNegativeSeek:
    case kErrorSeekOnDevice:
    case kErrorReadFault:
        return badSeek;
    case kErrorIoDevice:
        return hardIO;
    case ERROR_SHARING_VIOLATION:
        return sharingViolation;
    case ERROR_LOCK_VIOLATION:
        return lockViolation;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return diskFull;
    case ERROR_HANDLE_EOF:
        return endOfFile;
    default:
        return genericException;
    }
}

int CFileException::ErrnoToException(int errno_value) {
    return OsErrorToException(errno_to_os_error(errno_value));
}

void CFileException::ThrowOsError(LONG os_error, const char* file_name) {
    throw CFileException(OsErrorToException(os_error), os_error, file_name);
}

void CFileException::ThrowErrno(int errno_value, const char* file_name) {
    throw CFileException(ErrnoToException(errno_value), errno_to_os_error(errno_value), file_name);
}

namespace qcore {

std::string native_path(const char* path) {
    return os_path(path ? path : "");
}

} // namespace qcore

CFile::CFile() = default;

CFile::CFile(const char* path, UINT open_flags) {
    CFileException error;
    if (!Open(path, open_flags, &error)) throw error;
}

CFile::~CFile() {
    Abort();
}

BOOL CFile::Open(const char* path, UINT open_flags, CFileException* error) {
    Abort();
    const std::string full = absolute_path(path);
    if (!path || !*path) {
        if (error) *error = CFileException(CFileException::badPath, ERROR_PATH_NOT_FOUND, path);
        return FALSE;
    }
    int flags = O_CLOEXEC;
    switch (open_flags & 3u) {
    case modeWrite:
        flags |= O_WRONLY;
        break;
    case modeReadWrite:
        flags |= O_RDWR;
        break;
    default:
        flags |= O_RDONLY;
        break;
    }
    if (open_flags & modeCreate) flags |= O_CREAT | ((open_flags & modeNoTruncate) ? 0 : O_TRUNC);
    int fd = qcore::detail::open_without_waiting(qcore::native_path(full.c_str()).c_str(), flags);
    if (fd >= 0) {
        struct stat st {};
        if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
            ::close(fd);
            fd = -1;
            errno = EISDIR;
        }
    }
    if (fd < 0) {
        const int e = errno;
        // As on Windows, a missing folder on the way is a bad path rather than a missing file.
        const LONG os_error =
            e == ENOENT && !parent_exists(full) ? ERROR_PATH_NOT_FOUND : errno_to_os_error(e);
        if (error)
            *error = CFileException(CFileException::OsErrorToException(os_error), os_error, full.c_str());
        return FALSE;
    }
    fd_ = fd;
    flags_ = open_flags;
    m_strFileName = full;
    return TRUE;
}

UINT CFile::Read(void* buffer, UINT count) {
    if (fd_ < 0) throw CFileException(CFileException::invalidFile, ERROR_INVALID_HANDLE, m_strFileName);
    auto* out = static_cast<char*>(buffer);
    UINT done = 0;
    while (done < count) {
        const ssize_t n = ::read(fd_, out + done, count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) CFileException::ThrowErrno(errno, m_strFileName);
        if (n == 0) break;
        done += static_cast<UINT>(n);
    }
    return done;
}

void CFile::Write(const void* buffer, UINT count) {
    if (fd_ < 0) throw CFileException(CFileException::invalidFile, ERROR_INVALID_HANDLE, m_strFileName);
    const auto* in = static_cast<const char*>(buffer);
    UINT done = 0;
    while (done < count) {
        const ssize_t n = ::write(fd_, in + done, count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) CFileException::ThrowErrno(errno, m_strFileName);
        if (n == 0) CFileException::ThrowErrno(ENOSPC, m_strFileName);
        done += static_cast<UINT>(n);
    }
}

ULONGLONG CFile::Seek(LONGLONG offset, UINT from) {
    if (fd_ < 0) throw CFileException(CFileException::invalidFile, ERROR_INVALID_HANDLE, m_strFileName);
    const int whence = from == current ? SEEK_CUR : from == end ? SEEK_END : SEEK_SET;
    const off_t pos = ::lseek(fd_, static_cast<off_t>(offset), whence);
    if (pos < 0) CFileException::ThrowErrno(errno, m_strFileName);
    return static_cast<ULONGLONG>(pos);
}

ULONGLONG CFile::GetLength() const {
    if (fd_ < 0) throw CFileException(CFileException::invalidFile, ERROR_INVALID_HANDLE, m_strFileName);
    struct stat st {};
    if (fstat(fd_, &st) != 0) CFileException::ThrowErrno(errno, m_strFileName);
    return static_cast<ULONGLONG>(st.st_size);
}

ULONGLONG CFile::GetPosition() const {
    if (fd_ < 0) throw CFileException(CFileException::invalidFile, ERROR_INVALID_HANDLE, m_strFileName);
    const off_t pos = ::lseek(fd_, 0, SEEK_CUR);
    if (pos < 0) CFileException::ThrowErrno(errno, m_strFileName);
    return static_cast<ULONGLONG>(pos);
}

void CFile::Flush() {
    if (fd_ < 0) return;
    // Pipes and some special files cannot be synced; there is nothing to lose on them.
    if (::fsync(fd_) != 0 && errno != EINVAL && errno != EROFS)
        CFileException::ThrowErrno(errno, m_strFileName);
}

void CFile::Close() {
    if (fd_ < 0) return;
    const int fd = fd_;
    fd_ = -1;
    flags_ = 0;
    if (::close(fd) != 0 && errno != EINTR) CFileException::ThrowErrno(errno, m_strFileName);
}

void CFile::Abort() {
    if (fd_ < 0) return;
    ::close(fd_);
    fd_ = -1;
    flags_ = 0;
}

CString CFile::GetFileName() const {
    const std::string& p = m_strFileName.str();
    const size_t slash = p.find_last_of("/\\");
    return slash == std::string::npos ? CString(p) : CString(p.substr(slash + 1));
}

namespace qcore {

SafeFileWriter::~SafeFileWriter() {
    abandon();
}

BOOL SafeFileWriter::open(const char* target, CFileException* error) {
    abandon();
    if (!replacing_.open(native_path(absolute_path(target).c_str()), 0666)) {
        if (error)
            *error =
                CFileException(CFileException::ErrnoToException(errno), errno_to_os_error(errno), target);
        return FALSE;
    }
    if (!file_.Open(replacing_.temp_path().c_str(), CFile::modeWrite | CFile::typeBinary, error)) {
        if (error) error->m_strFileName = target;
        replacing_.discard();
        return FALSE;
    }
    return TRUE;
}

BOOL SafeFileWriter::commit(bool sync_name) {
    if (!file_.IsOpen()) return FALSE;
    try {
        file_.Close();
    } catch (const CFileException&) {
        abandon();
        return FALSE;
    }
    return replacing_.commit(false, sync_name) ? TRUE : FALSE;
}

void SafeFileWriter::abandon() {
    file_.Abort();
    replacing_.discard();
}

} // namespace qcore
