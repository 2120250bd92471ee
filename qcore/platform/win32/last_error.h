#pragma once
// The calling thread's last error number, as Win32 keeps it.
#include <qcore/platform/win32/types.h>

DWORD GetLastError();
void SetLastError(DWORD error);
