#include <qcore/platform/win32/last_error.h>
#include <qcore/platform/win32/string_resources.h>

#include <cstring>
#include <map>
#include <mutex>
#include <string>

namespace {

std::mutex g_strings_mutex;
std::map<UINT, std::string> g_strings;

} // namespace

int LoadStringA(HINSTANCE, UINT id, LPSTR buffer, int size) {
    if (!buffer || size <= 0) return qcore::fail_with(ERROR_INVALID_PARAMETER);
    std::lock_guard lock(g_strings_mutex);
    const auto it = g_strings.find(id);
    if (it == g_strings.end()) {
        buffer[0] = '\0';
        return qcore::fail_with(ERROR_RESOURCE_NAME_NOT_FOUND);
    }
    const size_t n = std::min(it->second.size(), static_cast<size_t>(size - 1));
    std::memcpy(buffer, it->second.data(), n);
    buffer[n] = '\0';
    return static_cast<int>(n);
}

namespace qcore {

void register_string_resource(UINT id, const char* text) {
    std::lock_guard lock(g_strings_mutex);
    if (text)
        g_strings[id] = text;
    else
        g_strings.erase(id);
}

} // namespace qcore
