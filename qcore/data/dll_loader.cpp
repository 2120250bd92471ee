#include <qcore/data/dll_loader.h>
#include <qcore/data/filefun.h>
#include <qcore/platform/win32/message_box.h>
#include <qcore/platform/win32/paths.h>

#include <filesystem>

int CDllLoader::load_dll(const char* dll_path) {
    free_dll();
    if (!filefun::file_exist(dll_path)) return 0;
    // The name must not depend on the folder we switch to.
    std::error_code ec;
    const std::string full = std::filesystem::absolute(qcore::os_path(dll_path), ec).string();
    const CString previous = filefun::get_cur_dir();
    SetCurrentDirectoryA(filefun::get_file_path(full.c_str()));
    module = LoadLibraryA(full.c_str());
    SetCurrentDirectoryA(previous);
    if (!module) {
        CString text;
        text.Format("Error load %s", dll_path);
        AfxMessageBox(text);
        return 0;
    }
    path = dll_path;
    return 1;
}

void CDllLoader::free_dll() {
    if (module) FreeLibrary(module);
    module = nullptr;
    path.Empty();
}

FARPROC CDllLoader::find_func(const char* name) {
    return module && name ? GetProcAddress(module, name) : nullptr;
}

int CDllLoader::invoke_func(const char* name, int show_errors, int arg_count, DWORD a1, DWORD a2, DWORD a3,
                            DWORD a4) {
    if (!module) {
        if (show_errors) AfxMessageBox("Dll not loaded!");
        return 0;
    }
    const FARPROC function = find_func(name);
    if (!function) {
        CString text;
        text.Format("%s() not found in %s!", name ? name : "",
                    filefun::get_pure_filename(path, 1).GetString());
        AfxMessageBox(text);
        return 0;
    }
    switch (arg_count) {
    case 0:
        reinterpret_cast<void (*)()>(function)();
        break;
    case 1:
        reinterpret_cast<void (*)(DWORD)>(function)(a1);
        break;
    case 2:
        reinterpret_cast<void (*)(DWORD, DWORD)>(function)(a1, a2);
        break;
    case 3:
        reinterpret_cast<void (*)(DWORD, DWORD, DWORD)>(function)(a1, a2, a3);
        break;
    case 4:
        reinterpret_cast<void (*)(DWORD, DWORD, DWORD, DWORD)>(function)(a1, a2, a3, a4);
        break;
    default:
        return 0;
    }
    return 1;
}
