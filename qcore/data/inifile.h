#pragma once
// Typed settings in ini files, in the formats the applications' settings files have always used:
// integers "%d", floats "%.6f", vectors and matrices as one key per element or as one comma list.
#include <qcore/geom/math3d.h>
#include <qcore/platform/win32/cstring.h>

#include <vector>

class inifile {
public:
    // Values of up to 255 characters.
    static CString get_str_setting(const char* file, const char* section, const char* key, const char* def);
    static int save_str_setting(const char* file, const char* section, const char* key, const char* value);
    static int get_int_setting(const char* file, const char* section, const char* key, int def);
    static int save_int_setting(const char* file, const char* section, const char* key, int value);
    // Any non-zero integer reads as TRUE (1).
    static BOOL get_BOOL_setting(const char* file, const char* section, const char* key, BOOL def);
    static int save_BOOL_setting(const char* file, const char* section, const char* key, BOOL value);
    static float get_float_setting(const char* file, const char* section, const char* key, float def);
    static int save_float_setting(const char* file, const char* section, const char* key, float value);

    // key_0, key_1, key_2 for x, y, z.
    static VEC get_vec_setting(const char* file, const char* section, const char* key, const VEC& def);
    static int save_vec_setting(const char* file, const char* section, const char* key, const VEC& value);
    // One key "x,y,z".
    static VEC get_vec_setting2(const char* file, const char* section, const char* key, const VEC& def);
    static int save_vec_setting2(const char* file, const char* section, const char* key, const VEC& value);
    // key_ji for the element in row i and column j (column digit first).
    static MAT get_matrix_setting(const char* file, const char* section, const char* key, const MAT& def);
    static int save_matrix_setting(const char* file, const char* section, const char* key, const MAT& value);
    // One key with the sixteen elements in row order.
    static MAT get_matrix_setting2(const char* file, const char* section, const char* key, const MAT& def);
    static int save_matrix_setting2(const char* file, const char* section, const char* key, const MAT& value);

    // "count" and the items under "str0", "str1", ...; reading clears the list first.
    static int get_str_list_from_ini(const char* file, const char* section, std::vector<CString>& items);
    static int save_str_list_to_ini(const char* file, const char* section, const std::vector<CString>& items);
};
