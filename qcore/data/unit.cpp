#include <qcore/data/unit.h>

#include <array>

namespace {

struct UnitNames {
    const char* english;
    const char* chinese;
};

constexpr std::array<UnitNames, 7> unit_names{{
    {"Inch", "英寸"},
    {"Feet", "英尺"},
    {"Mile", "英里"},
    {"mm", "毫米"},
    {"cm", "厘米"},
    {"M", "米"},
    {"KM", "公里"},
}};

} // namespace

CString CUnit::get_unit_type_name(UNIT_TYPE t, int english) {
    const auto index = static_cast<int32_t>(t);
    if (index < 0 || index >= static_cast<int32_t>(unit_names.size())) return CString();
    const UnitNames& names = unit_names[static_cast<size_t>(index)];
    return english ? names.english : names.chinese;
}

CString CUnit::get_fmt_string(const char* fmt, int english) const {
    CString text(fmt);
    const CString name = get_type_name(english);
    text.Replace("UNIT", name);
    text.Replace("unit", name);
    return text;
}
