#include <qcore/platform/win32/error_names.h>

#include <cstdint>

namespace qcore {
namespace {

struct ErrorName {
    uint32_t code;
    const char* name;
};

constexpr ErrorName kNames[] = {
    {0x00000000u, "S_OK"},
    {0x00000001u, "S_FALSE"},
    {0x80004005u, "E_FAIL"},
};

} // namespace

const char* find_error_name(long code) {
    const auto key = static_cast<uint32_t>(code);
    for (const auto& e : kNames)
        if (e.code == key) return e.name;
    return nullptr;
}

} // namespace qcore
