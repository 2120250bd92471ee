#include <qcore/data/inifile.h>
#include <qcore/data/text_fun.h>
#include <qcore/platform/win32/ini.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

// Lists longer than this in a damaged file are read only this far.
constexpr int kMaxListItems = 10000;

// The longest value a setting holds, in bytes.
constexpr size_t kMaxValue = 255;

// A value cut to the limit without splitting a UTF-8 character.
std::string_view fitting_value(std::string_view value) {
    if (value.size() <= kMaxValue) return value;
    size_t end = kMaxValue;
    while (end > 0 && (static_cast<unsigned char>(value[end]) & 0xC0) == 0x80)
        --end;
    return value.substr(0, end);
}

CString element_key(const char* key, int a, int b) {
    CString name;
    name.Format("%s_%d%d", key, a, b);
    return name;
}

// Parses up to `count` comma-separated floats into `out`; elements that do not parse keep their value.
void parse_floats(const CString& text, float* out, int count) {
    const char* p = text.GetString();
    for (int i = 0; i < count && *p; ++i) {
        char* end = nullptr;
        const float value = std::strtof(p, &end);
        if (end != p) out[i] = value;
        while (*end && *end != ',')
            ++end;
        p = *end == ',' ? end + 1 : end;
    }
}

CString format_floats(const float* values, int count) {
    CString text;
    for (int i = 0; i < count; ++i)
        text.AppendFormat(i ? ",%f" : "%f", values[i]);
    return text;
}

} // namespace

CString inifile::get_str_setting(const char* file, const char* section, const char* key, const char* def) {
    char buffer[kMaxValue + 2];
    const DWORD n = GetPrivateProfileStringA(section, key, def, buffer, sizeof(buffer), file);
    return CString(fitting_value(std::string_view(buffer, n)));
}

int inifile::save_str_setting(const char* file, const char* section, const char* key, const char* value) {
    // A value the getter could not give back whole is refused.
    if (value && std::strlen(value) > kMaxValue) return 0;
    return WritePrivateProfileStringA(section, key, value, file) ? 1 : 0;
}

int inifile::get_int_setting(const char* file, const char* section, const char* key, int def) {
    CString fallback;
    fallback.Format("%d", def);
    return qcore::text_to_int(get_str_setting(file, section, key, fallback));
}

int inifile::save_int_setting(const char* file, const char* section, const char* key, int value) {
    CString text;
    text.Format("%d", value);
    return save_str_setting(file, section, key, text);
}

BOOL inifile::get_BOOL_setting(const char* file, const char* section, const char* key, BOOL def) {
    return get_int_setting(file, section, key, def) != 0 ? TRUE : FALSE;
}

int inifile::save_BOOL_setting(const char* file, const char* section, const char* key, BOOL value) {
    return save_int_setting(file, section, key, value);
}

float inifile::get_float_setting(const char* file, const char* section, const char* key, float def) {
    CString fallback;
    fallback.Format("%.6f", def);
    return std::strtof(get_str_setting(file, section, key, fallback), nullptr);
}

int inifile::save_float_setting(const char* file, const char* section, const char* key, float value) {
    CString text;
    text.Format("%.6f", value);
    return save_str_setting(file, section, key, text);
}

VEC inifile::get_vec_setting(const char* file, const char* section, const char* key, const VEC& def) {
    VEC v = def;
    float* parts[3] = {&v.x, &v.y, &v.z};
    for (int i = 0; i < 3; ++i) {
        CString name;
        name.Format("%s_%d", key, i);
        *parts[i] = get_float_setting(file, section, name, *parts[i]);
    }
    return v;
}

int inifile::save_vec_setting(const char* file, const char* section, const char* key, const VEC& value) {
    const float parts[3] = {value.x, value.y, value.z};
    int ok = 1;
    for (int i = 0; i < 3; ++i) {
        CString name;
        name.Format("%s_%d", key, i);
        ok &= save_float_setting(file, section, name, parts[i]);
    }
    return ok;
}

VEC inifile::get_vec_setting2(const char* file, const char* section, const char* key, const VEC& def) {
    const CString text = get_str_setting(file, section, key, "");
    VEC v = def;
    if (text.IsEmpty()) return v;
    float parts[3] = {v.x, v.y, v.z};
    parse_floats(text, parts, 3);
    return VEC(parts[0], parts[1], parts[2]);
}

int inifile::save_vec_setting2(const char* file, const char* section, const char* key, const VEC& value) {
    const float parts[3] = {value.x, value.y, value.z};
    return save_str_setting(file, section, key, format_floats(parts, 3));
}

MAT inifile::get_matrix_setting(const char* file, const char* section, const char* key, const MAT& def) {
    MAT m = def;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            m.m[i][j] = get_float_setting(file, section, element_key(key, j, i), m.m[i][j]);
    return m;
}

int inifile::save_matrix_setting(const char* file, const char* section, const char* key, const MAT& value) {
    int ok = 1;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            ok &= save_float_setting(file, section, element_key(key, j, i), value.m[i][j]);
    return ok;
}

MAT inifile::get_matrix_setting2(const char* file, const char* section, const char* key, const MAT& def) {
    const CString text = get_str_setting(file, section, key, "");
    MAT m = def;
    if (!text.IsEmpty()) parse_floats(text, &m.m[0][0], 16);
    return m;
}

int inifile::save_matrix_setting2(const char* file, const char* section, const char* key, const MAT& value) {
    return save_str_setting(file, section, key, format_floats(&value.m[0][0], 16));
}

int inifile::get_str_list_from_ini(const char* file, const char* section, std::vector<CString>& items) {
    items.clear();
    if (!section) return 1;
    // One read of the file for the whole list; each value as get_str_setting gives it.
    const qcore::detail::IniDocument doc = qcore::detail::load_profile(file);
    std::string value;
    const auto setting = [&](const std::string& key, const char* def) {
        return CString(fitting_value(doc.get(section, key, value) ? std::string_view(value) : def));
    };
    const int count = std::min(qcore::text_to_int(setting("count", "0")), kMaxListItems);
    for (int i = 0; i < count; ++i)
        items.push_back(setting("str" + std::to_string(i), ""));
    return 1;
}

int inifile::save_str_list_to_ini(const char* file, const char* section, const std::vector<CString>& items) {
    // One rewrite: the count, every item, and no items left over from a longer list.
    std::vector<qcore::detail::ProfileEdit> edits;
    edits.reserve(items.size() + 1);
    edits.emplace_back("count", std::to_string(items.size()));
    for (size_t i = 0; i < items.size(); ++i) {
        if (items[i].str().size() > kMaxValue) return 0;
        edits.emplace_back("str" + std::to_string(i), items[i].str());
    }
    if (!section) return 0;
    std::vector<char> names(1 << 20);
    const DWORD n =
        GetPrivateProfileStringA(section, nullptr, "", names.data(), static_cast<DWORD>(names.size()), file);
    for (const char* p = names.data(); p < names.data() + n && *p; p += std::strlen(p) + 1) {
        const std::string_view name(p);
        if (name.size() < 4 || qcore::compare_no_case(name.substr(0, 3), "str") != 0) continue;
        const std::string digits(name.substr(3));
        if (digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos) continue;
        const unsigned long index = std::stoul(digits);
        if (index >= items.size() || std::to_string(index) != digits)
            edits.emplace_back(std::string(name), std::nullopt);
    }
    return qcore::detail::write_profile(file, section, edits, false) ? 1 : 0;
}
