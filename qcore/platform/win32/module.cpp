#include <qcore/platform/win32/last_error.h>
#include <qcore/platform/win32/module.h>
#include <qcore/platform/win32/paths.h>

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <mutex>
#include <set>
#include <string>

namespace {

std::mutex g_modules_mutex;
std::set<void*> g_loaded; // handles LoadLibraryA gave out and FreeLibrary has not released

bool is_loaded_handle(void* handle) {
    std::lock_guard lock(g_modules_mutex);
    return g_loaded.count(handle) != 0;
}

std::string executable_path() {
    char buf[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof(buf) - 1);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

struct BaseSearch {
    uintptr_t base;
    bool found;
    std::string path;
};

// Finds the shared object loaded at an address (an instance handle) by walking the loaded objects.
std::string path_of_base(uintptr_t base) {
    BaseSearch search{base, false, {}};
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
            auto* s = static_cast<BaseSearch*>(data);
            for (int i = 0; i < info->dlpi_phnum; ++i) {
                if (info->dlpi_phdr[i].p_type != PT_LOAD) continue;
                if (info->dlpi_addr + info->dlpi_phdr[i].p_vaddr != s->base) return 0;
                s->found = true;
                s->path = info->dlpi_name ? info->dlpi_name : "";
                return 1;
            }
            return 0;
        },
        &search);
    // The main program is listed with an empty name.
    if (search.found && search.path.empty()) return executable_path();
    return search.path;
}

std::string module_path(HMODULE module) {
    if (!module) return executable_path();
    if (is_loaded_handle(module)) {
        link_map* map = nullptr;
        if (dlinfo(module, RTLD_DI_LINKMAP, &map) == 0 && map && map->l_name) return map->l_name;
        return std::string();
    }
    return path_of_base(reinterpret_cast<uintptr_t>(module));
}

} // namespace

HMODULE LoadLibraryA(LPCSTR path) {
    if (!path || !*path) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const std::string os = qcore::os_path(path);
    void* handle = os.empty() ? nullptr : dlopen(os.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    std::lock_guard lock(g_modules_mutex);
    g_loaded.insert(handle);
    return static_cast<HMODULE>(handle);
}

BOOL FreeLibrary(HMODULE module) {
    {
        std::lock_guard lock(g_modules_mutex);
        const auto it = g_loaded.find(module);
        if (it == g_loaded.end()) return qcore::fail_with(ERROR_INVALID_HANDLE);
        // dlopen counts references, so the same handle may come back from several loads.
        g_loaded.erase(it);
    }
    if (dlclose(module) != 0) return qcore::fail_with(ERROR_INVALID_HANDLE);
    return TRUE;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
    if (!name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    void* handle = module;
    bool close = false;
    if (!module) {
        handle = dlopen(nullptr, RTLD_NOW);
        close = true;
    } else if (!is_loaded_handle(module)) {
        const std::string path = module_path(module);
        const bool main_program = !path.empty() && path == executable_path();
        handle =
            path.empty() ? nullptr : dlopen(main_program ? nullptr : path.c_str(), RTLD_NOW | RTLD_NOLOAD);
        close = handle != nullptr;
    }
    void* symbol = handle ? dlsym(handle, name) : nullptr;
    if (close) dlclose(handle);
    if (!symbol) SetLastError(ERROR_PROC_NOT_FOUND);
    return reinterpret_cast<FARPROC>(symbol);
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size) {
    const std::string path = module_path(module);
    if (path.empty()) return qcore::fail_with(ERROR_MOD_NOT_FOUND);
    if (!buffer || size == 0) return qcore::fail_with(ERROR_INSUFFICIENT_BUFFER);
    // Windows truncates to the buffer and reports the truncation.
    const size_t n = std::min<size_t>(path.size(), size - 1);
    path.copy(buffer, n);
    buffer[n] = '\0';
    if (n < path.size()) SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return static_cast<DWORD>(n);
}
