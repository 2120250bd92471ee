#include <qcore/data/appinfo.h>
#include <qcore/data/filefun.h>
#include <qcore/platform/win32/paths.h>

namespace {

CString module_sub(CWinApp* app, const char* sub) {
    return filefun::get_module_path(app) + sub;
}

// The folder, created if missing; empty when it cannot be made.
CString made(const CString& folder) {
    return !folder.IsEmpty() && filefun::create_path(folder) ? folder : CString();
}

// A path in a form that compares equal for equal files: one separator, long names, no letter case.
CString comparable(const CString& path) {
    CString out(qcore::os_path(filefun::convert_to_short_file_name(path).view()));
    return out.MakeLower();
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
    const CString temp = comparable(get_qvx_temp_path());
    const CString folder = comparable(filefun::get_file_path(project));
    if (temp.IsEmpty() || folder.GetLength() <= temp.GetLength() || folder.Left(temp.GetLength()) != temp)
        return 0;
    // The folder directly below the temporary folder that holds the project, in its own letter case.
    const CString below =
        CString(qcore::os_path(filefun::get_file_path(project).view())).Mid(temp.GetLength());
    const int slash = below.Find('/');
    const CString top = get_qvx_temp_path() + (slash < 0 ? below : below.Left(slash + 1));
    return filefun::delete_self_path(deleter, top);
}
