#pragma once
// A triangle of three 32-bit vertex indices, as meshes and node-tree buffers store it.
#include <qcore/platform/win32/types.h>

#include <type_traits>

class CFace {
public:
    DWORD a = 0, b = 0, c = 0;

    CFace() = default;
    CFace(DWORD a_, DWORD b_, DWORD c_) : a(a_), b(b_), c(c_) {}

    DWORD operator[](int i) const { return i == 0 ? a : i == 1 ? b : c; }
    bool operator==(const CFace&) const = default;
    // 1 when all three indices are below count.
    int is_below(size_t count) const { return a < count && b < count && c < count; }
};

static_assert(sizeof(CFace) == 12 && std::is_trivially_copyable_v<CFace>);
