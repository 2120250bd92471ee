#include <qcore/data/filedlg.h>
#include <qcore/platform/win32/dialogs.h>

namespace {

filter_man image_filters(int with_atx) {
    filter_man filters;
    filters.add_filter("Images",
                       with_atx ? "*.bmp;*.jpg;*.tga;*.dds;*.png;*.atx" : "*.bmp;*.jpg;*.tga;*.dds;*.png");
    return filters;
}

} // namespace

void filter_man::add_filter(const char* description, const char* pattern) {
    if (def_filter.IsEmpty()) def_filter = pattern;
    filters.AppendFormat("%s (%s)|%s|", description ? description : "", pattern ? pattern : "",
                         pattern ? pattern : "");
}

void filter_man::add_all_file() {
    add_filter("All Files", "*.*");
}

CString filedlg::pop_file_dlg(int open, filter_man& filters, CWnd* parent, const char* initial_folder) {
    const CString name = initial_folder && *initial_folder ? initial_folder + filters.def_filter : CString();
    const CString filter = filters.filters + "|";
    CFileDialog dialog(open, nullptr, name.IsEmpty() ? nullptr : name.GetString(),
                       OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, filter, parent);
    return dialog.DoModal() == IDOK ? dialog.GetPathName() : CString();
}

int filedlg::pop_open_dlg_multi(filter_man& filters, CWnd* parent, std::vector<CString>& paths) {
    const CString filter = filters.filters + "|";
    CFileDialog dialog(TRUE, nullptr, nullptr, OFN_ALLOWMULTISELECT | OFN_HIDEREADONLY | OFN_EXPLORER, filter,
                       parent);
    if (dialog.DoModal() != IDOK) return 0;
    int count = 0;
    for (void* position = dialog.GetStartPosition(); position; ++count)
        paths.push_back(dialog.GetNextPathName(position));
    return count;
}

CString filedlg::pop_open_dlg_img(CWnd* parent, int with_atx) {
    filter_man filters = image_filters(with_atx);
    return pop_file_dlg(1, filters, parent, nullptr);
}

int filedlg::pop_open_dlg_img_multi(CWnd* parent, int with_atx, std::vector<CString>& paths) {
    filter_man filters = image_filters(with_atx);
    return pop_open_dlg_multi(filters, parent, paths);
}

CString filedlg::pop_save_dlg_img(CWnd* parent) {
    filter_man filters;
    filters.add_filter("Jpeg", "*.jpg");
    filters.add_filter("Bmp", "*.bmp");
    return pop_file_dlg(0, filters, parent, nullptr);
}
