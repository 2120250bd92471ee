#pragma once
// Globally unique identifiers of scene items, with the platform GUID layout (16 bytes) so that they persist
// byte for byte in node-tree files.
#include <qcore/platform/win32/cstring.h>
#include <qcore/platform/win32/guid.h>

#include <type_traits>

class CGuid {
public:
    GUID guid{}; // all zero: no id set

    CGuid() = default;
    explicit CGuid(const GUID& g) : guid(g) {}

    bool is_zero() const;
    void set_zero() { guid = GUID{}; }
    // Fills the id with a new GUID from the system's generator.
    void regen();

    bool operator<(const CGuid& other) const;
    bool operator==(const CGuid& other) const;
    bool operator!=(const CGuid& other) const { return !(*this == other); }

    // "%x-%x-%x-%x-%x": the first word, the two 16-bit words, then the last 8 bytes as two 32-bit
    // little-endian words.
    CString get_str() const;

    static CGuid s_gen_new();
    static CGuid s_gen_zero() { return CGuid(); }
};

static_assert(sizeof(CGuid) == 16 && std::is_trivially_copyable_v<CGuid>);
