#pragma once
// File and folder operations with Windows semantics over Linux files.
#include <qcore/platform/win32/types.h>

#include <string>
#include <string_view>

typedef struct _SECURITY_ATTRIBUTES {
    DWORD nLength;
    LPVOID lpSecurityDescriptor;
    BOOL bInheritHandle;
} SECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;

#define FILE_ATTRIBUTE_READONLY 0x00000001u
#define FILE_ATTRIBUTE_HIDDEN 0x00000002u
#define FILE_ATTRIBUTE_SYSTEM 0x00000004u
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010u
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)

// Copies content, permissions and times. The copy is written beside the target and renamed over it, so
// the target is either the old file or the whole new one.
BOOL CopyFileA(LPCSTR existing, LPCSTR target, BOOL fail_if_exists);
// Renames a file or folder; fails when the target exists. Files move across file systems too.
BOOL MoveFileA(LPCSTR existing, LPCSTR target);
BOOL DeleteFileA(LPCSTR path);
BOOL CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES attributes);
BOOL RemoveDirectoryA(LPCSTR path);
DWORD GetFileAttributesA(LPCSTR path);

namespace qcore::detail {

// A temporary file beside a target that replaces the target only when committed: the content is flushed
// to disk before the rename. Destroyed uncommitted, it removes its temporary file.
class ReplacingFile {
public:
    ReplacingFile() = default;
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // `target` is an operating-system path; the new file gets `mode` (permission bits).
    bool open(const std::string& target, unsigned mode);
    bool write(std::string_view bytes);
    int fd() const { return fd_; }
    // Flushes and renames over the target (or, with no_replace, links it only if the target is missing).
    bool commit(bool no_replace = false);

private:
    void discard();
    int fd_ = -1;
    std::string target_;
    std::string temp_;
};

// Makes a rename inside the path's folder durable.
void sync_parent_folder(const std::string& path);

// Writes all bytes to a descriptor, retrying after interruptions.
bool write_all(int fd, std::string_view bytes);

} // namespace qcore::detail
