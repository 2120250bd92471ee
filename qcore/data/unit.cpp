#include <qcore/data/unit.h>

#include <qcore/data/pak_file.h>

#include <array>

namespace {

constexpr const char* unit_dir_type = "VrUnit";

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

void CUnit::save_unit_to_node(CPakNode* parent, const char* name) const {
    CPakNode* dir = parent ? parent->create_dir_node(name) : nullptr;
    if (!dir) return;
    const int32_t value = type;
    dir->create_data_node("VR_TYPE", NODE_STR32, unit_dir_type);
    dir->create_data_node("unit_type", NODE_INT, &value);
    dir->create_data_node("unit_type_name", NODE_STR32, get_type_name(1).GetString());
}

int CUnit::load_unit_from_node(CPakNode* node) {
    if (!node || !node->is_type("VR_TYPE", unit_dir_type)) return 0;
    set_default();
    int32_t value = type;
    node->find_data("unit_type", NODE_INT, &value);
    type = static_cast<UNIT_TYPE>(value);
    return 1;
}
