#include <qcore/platform/win32/file.h>
#include <qcore/platform/win32/file_ops.h>
#include <qcore/platform/win32/file_status.h>
#include <qcore/platform/win32/last_error.h>
#include <qcore/platform/win32/paths.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>

namespace qcore {

time_t detail::creation_time(const struct ::statx& st) {
    const bool has_birth = (st.stx_mask & STATX_BTIME) && st.stx_btime.tv_sec != 0;
    return has_birth ? st.stx_btime.tv_sec : st.stx_ctime.tv_sec;
}

BOOL get_file_status(const char* path, CFileStatus& status) {
    if (!path || !*path) return fail_with(ERROR_INVALID_PARAMETER);
    const std::string os = os_path(path);
    if (os.empty()) return fail_with(ERROR_PATH_NOT_FOUND);
    struct statx st {};
    if (::statx(AT_FDCWD, os.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &st) != 0) return fail_with_errno();
    status.m_ctime = CTime(detail::creation_time(st));
    status.m_mtime = CTime(st.stx_mtime.tv_sec);
    status.m_atime = CTime(st.stx_atime.tv_sec);
    status.m_size = S_ISDIR(st.stx_mode) ? 0 : static_cast<LONGLONG>(st.stx_size);
    const DWORD attributes = GetFileAttributesA(path);
    status.m_attribute = attributes == INVALID_FILE_ATTRIBUTES || attributes == FILE_ATTRIBUTE_NORMAL
                             ? 0
                             : static_cast<BYTE>(attributes & 0xFF);
    std::error_code ec;
    const std::string full = std::filesystem::absolute(os, ec).lexically_normal().string();
    const std::string& name = ec ? os : full;
    const size_t n = std::min(name.size(), sizeof(status.m_szFullName) - 1);
    std::memcpy(status.m_szFullName, name.data(), n);
    status.m_szFullName[n] = '\0';
    return TRUE;
}

} // namespace qcore

BOOL CFile::GetStatus(const char* path, CFileStatus& status) {
    return qcore::get_file_status(path, status);
}
