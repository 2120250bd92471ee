#include <qcore/data/appinfo.h>
#include <qcore/data/filefun.h>
#include <qcore/platform/win32/cstring.h>
#include <qcore/platform/win32/paths.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

CString module_sub(CWinApp* app, const char* sub) {
    return filefun::get_module_path(app) + sub;
}

// The folder, created if missing; empty when it cannot be made.
CString made(const CString& folder) {
    return !folder.IsEmpty() && filefun::create_path(folder) ? folder : CString();
}

// The names of a normalised absolute path, without the root.
std::vector<std::string> components(const std::filesystem::path& path) {
    std::vector<std::string> out;
    for (const auto& part : path.lexically_normal().relative_path())
        if (!part.empty()) out.push_back(part.string());
    return out;
}

} // namespace

CString appinfo::get_preset_ini(CWinApp* app) {
    return module_sub(app, "SysDataE/preset.ini");
}

CString appinfo::get_edit_time_path(CWinApp* app) {
    return module_sub(app, "SysDataE/");
}

CString appinfo::get_edit_time_model_path(CWinApp* app) {
    return module_sub(app, "SysDataE/models/");
}

CString appinfo::get_edit_time_matlib_path(CWinApp* app) {
    return module_sub(app, "SysDataE/matlib/");
}

CString appinfo::get_edit_time_skybox_path(CWinApp* app) {
    return module_sub(app, "SysDataE/skybox/");
}

CString appinfo::get_edit_time_ui_path(CWinApp* app) {
    return module_sub(app, "SysDataE/uidesign/");
}

CString appinfo::get_edit_time_sun_path(CWinApp* app) {
    return module_sub(app, "SysDataE/sun/");
}

CString appinfo::get_icon_path(CWinApp* app) {
    return module_sub(app, "SysDataE/Icons/");
}

CString appinfo::get_runtime_data_path(CWinApp* app) {
    return module_sub(app, "SysDataR/");
}

CString appinfo::get_help_path(CWinApp* app) {
    return module_sub(app, "help/");
}

CString appinfo::get_user_data_path(CWinApp* app) {
    return made(module_sub(app, "Userdata/"));
}

CString appinfo::get_user_matlib_path(CWinApp* app) {
    const CString user = get_user_data_path(app);
    return user.IsEmpty() ? CString() : made(user + "matlib/");
}

CString appinfo::get_qvx_temp_path() {
    return made(qcore::temp_folder() + "~pmetxvq/");
}

CString appinfo::get_qvx_texture_path(const char* project) {
    const CString name = filefun::convert_to_long_file_name(project);
    return filefun::get_rename_ext_file(name, CString("_textures") + qcore::separator_of(name.view()));
}

int appinfo::delete_project_if_in_qvx_temp_path(const char* deleter, const char* project) {
    if (!project || !*project) return 0;
    const CString temp = get_qvx_temp_path();
    if (temp.IsEmpty()) return 0;
    // Compared on normalised paths, so that "." and ".." cannot lead out of the temporary folder or
    // into another project's folder.
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path file = fs::absolute(qcore::os_path(project), ec).lexically_normal();
    if (ec) return 0;
    const std::vector<std::string> inside = components(fs::path(qcore::os_path(temp.view())));
    const std::vector<std::string> folder = components(file.parent_path());
    if (folder.size() <= inside.size()) return 0;
    for (size_t i = 0; i < inside.size(); ++i)
        if (qcore::compare_no_case(inside[i], folder[i]) != 0) return 0;
    // Only a real folder directly below the temporary folder, never a link to somewhere else.
    const std::string top = temp.str() + folder[inside.size()];
    struct stat st {};
    if (::lstat(top.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return 0;
    return filefun::delete_self_path(deleter, CString(top + "/"));
}
