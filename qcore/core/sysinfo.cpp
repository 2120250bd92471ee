#include <qcore/core/device.h>
#include <qcore/data/filefun.h>
#include <qcore/platform/win32/clock.h>
#include <qcore/platform/win32/file_ops.h>
#include <qcore/platform/win32/ini.h>
#include <qcore/platform/win32/paths.h>
#include <qcore/platform/win32/registry.h>
#include <qcore/platform/win32/shell.h>
#include <qcore/platform/win32/window.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#if defined(__x86_64__) || defined(__i386__)
#include <x86intrin.h>
#endif

namespace {

// The processor's cycle counter where it has one; elsewhere the performance counter stands in.
uint64_t read_cycle_counter() {
#if defined(__x86_64__) || defined(__i386__)
    return __rdtsc();
#else
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<uint64_t>(now.QuadPart);
#endif
}

} // namespace

const char* GetCpuType() {
    static char buffer[65];
    std::snprintf(buffer, sizeof(buffer), "%s", "未知Cpu");
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Hardware\\Description\\System\\CentralProcessor\\0", 0, KEY_READ,
                      &key) != ERROR_SUCCESS)
        return buffer;
    DWORD size = 64;
    char value[64];
    if (RegQueryValueExA(key, "Identifier", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size) ==
        ERROR_SUCCESS) {
        std::memcpy(buffer, value, size);
        buffer[size < 64 ? size : 64] = '\0';
    }
    RegCloseKey(key);
    return buffer;
}

const char* GetCpuMainFrequency() {
    static char buffer[32];
    const auto wall_start = std::chrono::steady_clock::now();
    const uint64_t start = read_cycle_counter();
    Sleep(100);
    const uint64_t end = read_cycle_counter();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_start).count();
    // Tenths of a megahertz over the time really slept, which is at least the 100 ms asked for.
    const auto tenths = static_cast<long long>(static_cast<double>(end - start) / seconds / 1e5 + 0.5);
    std::snprintf(buffer, sizeof(buffer), "%d.%d MHz", static_cast<int>(tenths / 10),
                  static_cast<int>(tenths % 10));
    return buffer;
}

CString GetVideoCardType(IDirect3D8* d3d) {
    D3DADAPTER_IDENTIFIER8 id{};
    if (!d3d || FAILED(d3d->GetAdapterIdentifier(0, 0, &id))) return CString();
    return CString(id.Description);
}

int get_total_video_mem_in_bytes() {
    char folder[MAX_PATH] = {};
    GetWindowsDirectoryA(folder, MAX_PATH);
    const CString path = CString(folder) + "\\vcardinfo.ini";
    char text[32] = {};
    GetPrivateProfileStringA("video_card", "total_mem", "", text, sizeof(text), path);
    if (!text[0]) return 32000000;
    // Cards with more than 2 GiB saturate instead of wrapping to a negative size.
    const long long bytes = std::strtoll(text, nullptr, 10);
    return bytes < 0 ? 0 : static_cast<int>(std::min<long long>(bytes, INT_MAX));
}

void invoke_vcard_info_app() {
    const CString source = qcore::module_folder() + "vcard.dll";
    if (!filefun::file_exist(source)) return;
    // The shared temporary folder is open to every user: the program runs from a folder only this user
    // can write, and only when this call made the copy.
    const std::string folder = qcore::private_temp_folder();
    if (folder.empty()) return;
    const std::string target = folder + "vcard.exe";
    if (!filefun::is_same_file(source, target.c_str()) && !CopyFileA(source, target.c_str(), FALSE)) return;
    qcore::start_process({target});
}
