#pragma once
// The framework's folder search: FindFile with a pattern ('*' and '?' in the last component, letter case
// ignored, "*.*" matches every name), then FindNextFile before reading each entry; FindNextFile returns
// FALSE when the entry it moved to is the last one.
#include <qcore/platform/win32/cstring.h>
#include <qcore/platform/win32/mfc_time.h>
#include <qcore/platform/win32/types.h>

#include <string_view>
#include <vector>

class CFileFind {
public:
    CFileFind() = default;
    virtual ~CFileFind() = default;
    CFileFind(const CFileFind&) = delete;
    CFileFind& operator=(const CFileFind&) = delete;

    BOOL FindFile(const char* pattern = nullptr, DWORD unused = 0);
    BOOL FindNextFile();
    void Close();

    CString GetFileName() const;
    // The folder part of the pattern (as given) followed by the entry's name.
    CString GetFilePath() const;
    CString GetFileTitle() const;
    CString GetRoot() const { return root_; }
    ULONGLONG GetLength() const;
    BOOL GetLastWriteTime(CTime& time) const;
    BOOL GetCreationTime(CTime& time) const;

    BOOL IsDots() const;
    BOOL IsDirectory() const;
    BOOL IsReadOnly() const;
    BOOL IsHidden() const;

private:
    struct Entry {
        CString name;
        bool directory;
        bool read_only;
        ULONGLONG size;
        time_t modified;
        time_t created;
    };
    const Entry* current() const;

    CString root_;
    std::vector<Entry> entries_;
    size_t next_ = 0;
};

namespace qcore {
// Windows wildcard match of one name ('*', '?'; ASCII letter case ignored; "x.*" also matches "x").
bool wildcard_match(std::string_view pattern, std::string_view name);
} // namespace qcore
