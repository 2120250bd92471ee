#pragma once
// The calling thread's last error (a Win32 ERROR_* number), set by every platform call that fails.
#include <qcore/platform/win32/hresult.h>
#include <qcore/platform/win32/types.h>

#include <string>

DWORD GetLastError();
void SetLastError(DWORD error);

namespace qcore {
// The Win32 error number closest to a C run-time errno value.
DWORD win32_error_from_errno(int errno_value);
// Sets the last error from errno and returns FALSE, the usual ending of a failed call.
BOOL fail_with_errno();
BOOL fail_with(DWORD error);

// Copies text into a caller's buffer the Win32 way: the length without the zero when it fits, else the
// size needed including the zero (and ERROR_INSUFFICIENT_BUFFER), the buffer left holding an empty text.
DWORD copy_to_buffer(const std::string& text, char* buffer, DWORD size);
} // namespace qcore
