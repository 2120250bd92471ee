#pragma once
// The framework's unbuffered binary file and its exception. Paths may use '\' or '/'; the file layer turns
// '\' into '/' before it calls the operating system. Input/output errors during Read, Write, Seek and
// Flush throw CFileException, as the framework does; Open reports failure through its return value.
#include <qcore/platform/win32/cstring.h>
#include <qcore/platform/win32/file_ops.h>
#include <qcore/platform/win32/file_status.h>
#include <qcore/platform/win32/message_box.h>
#include <qcore/platform/win32/types.h>

class CFileException {
public:
    enum {
        none = 0,
        genericException = 1,
        fileNotFound = 2,
        badPath = 3,
        tooManyOpenFiles = 4,
        accessDenied = 5,
        invalidFile = 6,
        removeCurrentDir = 7,
        directoryFull = 8,
        badSeek = 9,
        hardIO = 10,
        sharingViolation = 11,
        lockViolation = 12,
        diskFull = 13,
        endOfFile = 14,
    };

    explicit CFileException(int cause = none, LONG os_error = -1, const char* file_name = nullptr);

    // The framework's standard English text for the cause, naming the file ("<path> was not found.").
    CString GetErrorMessage() const;
    BOOL GetErrorMessage(char* buffer, UINT max_chars, UINT* help_context = nullptr) const;
    // Shows GetErrorMessage in a message box and returns the box's answer.
    int ReportError(UINT type = MB_OK, UINT message_id = 0) const;

    // Maps an operating-system error (a Win32 ERROR_* number) or a C run-time errno to a cause.
    static int OsErrorToException(LONG os_error);
    static int ErrnoToException(int errno_value);
    [[noreturn]] static void ThrowOsError(LONG os_error, const char* file_name = nullptr);
    [[noreturn]] static void ThrowErrno(int errno_value, const char* file_name = nullptr);

    int m_cause;
    LONG m_lOsError;
    CString m_strFileName;
};

class CFile {
public:
    enum OpenFlags : UINT {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareCompat = 0x0000,
        shareExclusive = 0x0010,
        shareDenyWrite = 0x0020,
        shareDenyRead = 0x0030,
        shareDenyNone = 0x0040,
        modeNoInherit = 0x0080,
        modeCreate = 0x1000,
        modeNoTruncate = 0x2000,
        typeText = 0x4000,
        typeBinary = 0x8000,
    };
    enum SeekPosition : UINT { begin = 0x0, current = 0x1, end = 0x2 };

    CFile();
    // Opens at once; throws CFileException on failure, as the framework's constructor does.
    CFile(const char* path, UINT open_flags);
    virtual ~CFile();
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    virtual BOOL Open(const char* path, UINT open_flags, CFileException* error = nullptr);
    // Returns the number of bytes read: fewer than asked only at the end of the file.
    virtual UINT Read(void* buffer, UINT count);
    // Writes every byte or throws.
    virtual void Write(const void* buffer, UINT count);
    virtual ULONGLONG Seek(LONGLONG offset, UINT from);
    ULONGLONG SeekToEnd() { return Seek(0, end); }
    void SeekToBegin() { Seek(0, begin); }
    virtual ULONGLONG GetLength() const;
    virtual ULONGLONG GetPosition() const;
    // Forces written data to the disk.
    virtual void Flush();
    // Closes the file; an error while closing throws.
    virtual void Close();
    // Closes without throwing.
    virtual void Abort();

    // The full path as opened (absolute, separators as given) and its last component.
    CString GetFilePath() const { return m_strFileName; }
    CString GetFileName() const;
    BOOL IsOpen() const { return fd_ >= 0; }
    // The status of this file (by its path) or of any file; FALSE when it does not exist.
    BOOL GetStatus(CFileStatus& status) const { return GetStatus(m_strFileName, status); }
    static BOOL GetStatus(const char* path, CFileStatus& status);
    UINT GetOpenFlags() const { return flags_; }

    static const int hFileNull = -1;

protected:
    CString m_strFileName;

private:
    int fd_ = -1;
    UINT flags_ = 0;
};

namespace qcore {

// The path the operating system sees (os_path): '\' turned into '/', a mapped drive replaced by its folder.
std::string native_path(const char* path);

// Writes a file through the framework's file so that a failure or crash never leaves a partial file in its
// place (see detail::ReplacingFile for how the target's links and permissions are kept). A writer
// destroyed without commit() removes its temporary file.
class SafeFileWriter {
public:
    SafeFileWriter() = default;
    ~SafeFileWriter();
    SafeFileWriter(const SafeFileWriter&) = delete;
    SafeFileWriter& operator=(const SafeFileWriter&) = delete;

    BOOL open(const char* target, CFileException* error = nullptr);
    CFile& file() { return file_; }
    // Starts putting what was written so far on the disk, without waiting (see ReplacingFile).
    void start_writeback() { replacing_.start_writeback(); }
    // Flushes, closes and renames; returns FALSE (temporary removed, target untouched) on any failure.
    // sync_name as for ReplacingFile::commit.
    BOOL commit(bool sync_name = true);
    void abandon();

private:
    CFile file_;
    detail::ReplacingFile replacing_;
};

} // namespace qcore
