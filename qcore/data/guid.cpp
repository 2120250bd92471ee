#include <qcore/data/guid.h>
#include <qcore/platform/win32/com_runtime.h>

#include <cstdio>
#include <tuple>

namespace {

// The five parts the identifier is compared and printed by.
std::tuple<DWORD, WORD, WORD, DWORD, DWORD> parts(const GUID& g) {
    auto word = [&](int at) {
        return DWORD(g.Data4[at]) | (DWORD(g.Data4[at + 1]) << 8) | (DWORD(g.Data4[at + 2]) << 16) |
               (DWORD(g.Data4[at + 3]) << 24);
    };
    return {g.Data1, g.Data2, g.Data3, word(0), word(4)};
}

} // namespace

bool CGuid::is_zero() const {
    return *this == CGuid();
}

void CGuid::regen() {
    if (FAILED(CoCreateGuid(&guid))) set_zero();
}

bool CGuid::operator<(const CGuid& other) const {
    return parts(guid) < parts(other.guid);
}

bool CGuid::operator==(const CGuid& other) const {
    return parts(guid) == parts(other.guid);
}

CString CGuid::get_str() const {
    auto [a, b, c, d, e] = parts(guid);
    char text[64];
    std::snprintf(text, sizeof text, "%x-%x-%x-%x-%x", unsigned(a), unsigned(b), unsigned(c), unsigned(d),
                  unsigned(e));
    return CString(text);
}

CGuid CGuid::s_gen_new() {
    CGuid id;
    id.regen();
    return id;
}
