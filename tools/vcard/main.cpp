// Writes the video memory in bytes into vcardinfo.ini of the Windows folder: the graphics card's when the
// kernel reports it, else the budget of the software device.
#include <qcore/platform/d3d8/device_hooks.h>
#include <qcore/platform/win32/file_ops.h>
#include <qcore/platform/win32/ini.h>
#include <qcore/platform/win32/paths.h>
#include <qcore/platform/win32/shell.h>
#include <qcore/platform/win32/window.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

uint64_t drm_video_memory() {
    uint64_t best = 0;
    std::error_code ec;
    for (const auto& card : std::filesystem::directory_iterator("/sys/class/drm", ec)) {
        std::ifstream in(card.path() / "device" / "mem_info_vram_total");
        uint64_t bytes = 0;
        if (in >> bytes && bytes > best) best = bytes;
    }
    return best;
}

} // namespace

int main() {
    uint64_t bytes = drm_video_memory();
    if (bytes == 0) bytes = qcore::video_memory_budget();
    char folder[MAX_PATH] = {};
    GetWindowsDirectoryA(folder, MAX_PATH);
    const CString path = CString(folder) + "\\vcardinfo.ini";
    char value[32];
    std::snprintf(value, sizeof(value), "%llu", static_cast<unsigned long long>(bytes));
    return WritePrivateProfileStringA("video_card", "total_mem", value, path) ? 0 : 1;
}
