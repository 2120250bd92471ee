#pragma once
// A plug-in library loaded by path, with its functions called by name.
#include <qcore/platform/win32/cstring.h>
#include <qcore/platform/win32/module.h>

class CDllLoader {
public:
    CDllLoader() = default;
    ~CDllLoader() { free_dll(); }
    CDllLoader(const CDllLoader&) = delete;
    CDllLoader& operator=(const CDllLoader&) = delete;

    // Loads with the library's folder as the current folder, so that libraries beside it are found.
    int load_dll(const char* dll_path);
    void free_dll();
    FARPROC find_func(const char* name);
    // Calls the function with the first arg_count (0 to 4) arguments; its result is not passed on.
    int invoke_func(const char* name, int show_errors, int arg_count, DWORD a1 = 0, DWORD a2 = 0,
                    DWORD a3 = 0, DWORD a4 = 0);

    CString path;
    HMODULE module = nullptr;
};
