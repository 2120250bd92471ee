#pragma once
// The length unit the user works in, its names, its use in display format strings and its node-tree form.
#include <qcore/platform/win32/cstring.h>

#include <cstdint>

class CPakNode;

enum UNIT_TYPE : int32_t {
    UNIT_INCH = 0,
    UNIT_FEET = 1,
    UNIT_MILE = 2,
    UNIT_MM = 3,
    UNIT_CM = 4,
    UNIT_M = 5,
    UNIT_KM = 6,
};

class CUnit {
public:
    CUnit() = default;
    virtual ~CUnit() = default;

    void set_default() { type = UNIT_CM; }
    void set_type(UNIT_TYPE t) { type = t; }
    UNIT_TYPE get_type() const { return type; }

    // English name when english is non-zero, else Chinese; empty for an unknown type.
    static CString get_unit_type_name(UNIT_TYPE t, int english);
    CString get_type_name(int english) const { return get_unit_type_name(type, english); }
    // Replaces every "UNIT", then every "unit", in fmt with the unit's name.
    CString get_fmt_string(const char* fmt, int english) const;

    // A directory "name" under parent (refused if the name is taken) holding the type and its English name.
    void save_unit_to_node(CPakNode* parent, const char* name) const;
    // 0, leaving the unit unchanged, unless node is a unit directory; a missing type reads as UNIT_CM and
    // an unknown stored type is kept as it is.
    int load_unit_from_node(CPakNode* node);

protected:
    UNIT_TYPE type = UNIT_CM;
};
