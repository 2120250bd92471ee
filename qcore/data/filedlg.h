#pragma once
// File dialogs with filter lists in the framework's "description|pattern|" form.
#include <qcore/platform/win32/cstring.h>

#include <vector>

class CWnd;

class filter_man {
public:
    // Appends "description (pattern)|pattern|"; the first pattern added becomes def_filter.
    void add_filter(const char* description, const char* pattern);
    void add_all_file();

    CString def_filter;
    CString filters;
};

class filedlg {
public:
    // Returns the chosen path, or the empty string when cancelled. With an initial folder the proposed
    // name is that folder followed by the default filter.
    static CString pop_file_dlg(int open, filter_man& filters, CWnd* parent, const char* initial_folder);
    // Appends every chosen path; returns how many were chosen.
    static int pop_open_dlg_multi(filter_man& filters, CWnd* parent, std::vector<CString>& paths);
    static CString pop_open_dlg_img(CWnd* parent, int with_atx);
    static int pop_open_dlg_img_multi(CWnd* parent, int with_atx, std::vector<CString>& paths);
    static CString pop_save_dlg_img(CWnd* parent);
};
