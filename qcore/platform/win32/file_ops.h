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

// Copies content and times; a new target gets the source's permissions, an existing one keeps its own.
// The target is replaced as a whole (see ReplacingFile), so it is either the old file or the new one.
BOOL CopyFileA(LPCSTR existing, LPCSTR target, BOOL fail_if_exists);
// Renames a file or folder; fails when the target exists. Files move across file systems too.
BOOL MoveFileA(LPCSTR existing, LPCSTR target);
BOOL DeleteFileA(LPCSTR path);
BOOL CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES attributes);
BOOL RemoveDirectoryA(LPCSTR path);
DWORD GetFileAttributesA(LPCSTR path);

struct stat;

namespace qcore::detail {

// Replaces a file as a whole: the new bytes go to a temporary file beside the target, which commit()
// flushes and puts in the target's place, so that a failure or crash never leaves a partial file.
// A symbolic link is written through to the file it names; an existing target keeps its permissions and
// owner, and a target with more than one hard link (or one this user cannot give back its owner) is
// rewritten in place so that its links stay. A read-only target is refused (access denied), as the
// platform does. Temporary files that a killed save left beside the target are removed by the next one.
// Destroyed uncommitted, it removes its temporary file.
class ReplacingFile {
public:
    ReplacingFile() = default;
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // `target` is an operating-system path; a new file gets `mode` (permission bits) less the umask.
    // On failure errno tells why.
    bool open(const std::string& target, unsigned mode);
    bool write(std::string_view bytes);
    int fd() const { return fd_; }
    // The temporary file, for writers that open it themselves.
    const std::string& temp_path() const { return temp_; }
    // The file that commit() replaces (a symbolic link resolved).
    const std::string& target() const { return target_; }
    // Starts writing what has been written so far to the disk without waiting, so that commit's flush
    // finds most of it done.
    void start_writeback();
    // Flushes and puts the file in place (or, with no_replace, only if the target is still missing).
    // Without sync_name the new name is not waited for: a crash right after may bring the old file back,
    // whole, but never leaves a partial one.
    bool commit(bool no_replace = false, bool sync_name = true);
    void discard();

private:
    int fd_ = -1;
    bool in_place_ = false;
    std::string target_;
    std::string temp_;
};

// Whether a ReplacingFile could replace or create `target` (an operating-system path).
bool can_replace(const std::string& target);

// Makes a rename inside the path's folder durable.
void sync_parent_folder(const std::string& path);

// Opens like open(2), but without waiting: a pipe or socket, which would wait for its other end (or never
// end), is refused with EACCES, as is a pipe without a reader to write to (ENXIO). Other files come back in
// blocking mode.
int open_without_waiting(const char* path, int flags, unsigned mode = 0666);

// Reads a regular file whole into `bytes`, without waiting on pipes; a file over `limit` bytes gives its
// first `limit` bytes and too_large. `st` receives the file's status when it was opened.
enum class SmallFileRead { ok, missing, failed, too_large };
SmallFileRead read_small_file(const std::string& path, size_t limit, std::string& bytes,
                              struct stat* st = nullptr);

// Writes all bytes to a descriptor, retrying after interruptions.
bool write_all(int fd, std::string_view bytes);

} // namespace qcore::detail
