#pragma once
// File and folder helpers with the platform's conventions. Both separators are accepted; helpers that take
// a path apart keep its separator style, and folders they return end with a separator.
#include <qcore/platform/win32/cstring.h>
#include <qcore/platform/win32/file_status.h>
#include <qcore/platform/win32/types.h>

#include <functional>

class CWinApp;

// The policy of a series of copies towards existing files; the overwrite dialog's answers change it.
enum file_overwrite_flag {
    FO_ASK = 0,
    FO_OVERWRITE_ALL = 1,
    FO_SKIP_ALL = 2,
};

// A file compared with a recorded status (a missing file is recorded with size -1, all else zero).
enum file_status_compare {
    FS_SAME = 0,
    FS_CHANGED = 1,
    FS_DELETED = 2,
    FS_CREATED = 3,
};

class filefun {
public:
    // Names.
    static CString get_file_ext(const char* path, int with_dot = 1);
    static CString get_file_path(const char* path);
    static CString get_pure_filename(const char* path, int with_ext = 1);
    static CString get_rename_ext_file(const char* path, const char* suffix);
    static int is_pure_filename(const char* text);
    static int is_file_type(const char* path, const char* ext);
    static int is_end_with_slash(const CString& path);
    static CString get_up_level_path(const char* path);
    static CString get_last_path_name(const char* path);
    static CString get_drive(const char* path);
    static CString convert_to_long_file_name(const char* path);
    static CString convert_to_short_file_name(const char* path);
    static CString get_cur_dir();
    static CString get_windows_path();
    static CString get_module_filename(CWinApp* app = nullptr);
    static CString get_module_path(CWinApp* app = nullptr);

    // Tests.
    static int file_exist(const char* path);
    static int path_exist(const char* path);
    static int is_same_file(const char* a, const char* b);
    // Whether the file can be written, without harming an existing file.
    static int can_write_to_file(const char* path, int create_folder);

    // Status.
    static int get_file_status(const char* path, CFileStatus& status);
    static file_status_compare file_changed(const char* path, const CFileStatus& recorded);

    // Folders.
    static int create_path(const char* path);
    static int ensure_path(const char* path);

    // Copies and changes.
    static int copy_file_to_a_folder(const char* source, const char* folder, const char* new_name,
                                     file_overwrite_flag& flag, int show_errors);
    static int copy_texture_to_a_folder(const char* source, const char* folder, file_overwrite_flag& flag);
    static int copy_folder(const char* source, const char* destination, file_overwrite_flag& flag);
    static int rename_file(const char* old_name, const char* new_name);
    static int rename_dir(const char* old_name, const char* new_name);
    static int delete_file_or_dir(const CString& path, int ask);
    static int delete_self_path(const char* deleter, const char* folder);
    static int find_exist_brother_img_filename(const char* path, CString& found);
    static int shell_open_file(const char* path, const char* parameters, int show);
};

namespace qcore {

// Makes filefun::get_module_path report `folder` instead of the executable's folder (tests, hosts that
// keep their data elsewhere); null restores it.
void set_app_folder(const char* folder);

// The folder deleter installed beside the library.
CString folder_deleter_path();

// Copies an animated texture file with its frames; installed by the animated-texture code, which lives
// above this layer. Without it an ".atx" file is copied like any other file.
using AnimatedTextureCopier =
    std::function<int(const char* source, const char* folder, file_overwrite_flag& flag)>;
AnimatedTextureCopier set_animated_texture_copier(AnimatedTextureCopier copier);

} // namespace qcore
