#pragma once
// The framework's record of a file's times, size and attributes.
#include <qcore/platform/win32/mfc_time.h>
#include <qcore/platform/win32/types.h>

struct statx;

struct CFileStatus {
    CTime m_ctime; // creation: the birth time where the file system records it, else the change time
    CTime m_mtime;
    CTime m_atime;
    LONGLONG m_size = 0;
    BYTE m_attribute = 0; // CFileStatus attribute bits: 0x01 read-only, 0x02 hidden, 0x10 folder
    BYTE m_padding = 0;
    char m_szFullName[4096] = {};
};

namespace qcore {
// Fills the status of a file or folder (full name absolute); FALSE and the last error when it is missing.
BOOL get_file_status(const char* path, CFileStatus& status);

namespace detail {
// The birth time where the file system records it, else the change time.
time_t creation_time(const struct ::statx& st);
} // namespace detail
} // namespace qcore
