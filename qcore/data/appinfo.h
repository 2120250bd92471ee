#pragma once
// The application's folders: data for editing (SysDataE), data for run time (SysDataR), help, the user's
// data and the temporary folder. Folders the library composes use '/' and end with it.
#include <qcore/platform/win32/cstring.h>

class CWinApp;

class appinfo {
public:
    static CString get_preset_ini(CWinApp* app);
    static CString get_edit_time_path(CWinApp* app);
    static CString get_edit_time_model_path(CWinApp* app);
    static CString get_edit_time_matlib_path(CWinApp* app);
    static CString get_edit_time_skybox_path(CWinApp* app);
    static CString get_edit_time_ui_path(CWinApp* app);
    static CString get_edit_time_sun_path(CWinApp* app);
    static CString get_icon_path(CWinApp* app);
    static CString get_runtime_data_path(CWinApp* app);
    static CString get_help_path(CWinApp* app);
    // Created if missing; the empty string when that fails.
    static CString get_user_data_path(CWinApp* app);
    static CString get_user_matlib_path(CWinApp* app);
    // The library's own folder below the system's temporary folder, created if missing.
    static CString get_qvx_temp_path();
    // The folder that holds a project's textures: the project's name with "_textures" for its extension.
    static CString get_qvx_texture_path(const char* project);
    // Starts the deleter on the project's folder below the temporary folder, if it lies there.
    static int delete_project_if_in_qvx_temp_path(const char* deleter, const char* project);
};
