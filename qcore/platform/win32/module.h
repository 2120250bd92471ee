#pragma once
// Loading shared libraries and naming modules. A module handle from LoadLibraryA is the library's
// loader handle; the instance handles of the application object (load addresses) are accepted too.
#include <qcore/platform/win32/types.h>

// Returns nothing (not INT_PTR) so that casts to a function's real type compile without warnings.
typedef void(WINAPI* FARPROC)();

HMODULE LoadLibraryA(LPCSTR path);
BOOL FreeLibrary(HMODULE module);
FARPROC GetProcAddress(HMODULE module, LPCSTR name);
// The full path of a module; a null module names the running executable.
DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size);
