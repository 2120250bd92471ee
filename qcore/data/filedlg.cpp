#include <qcore/data/filedlg.h>
#include <qcore/platform/win32/file_dialogs.h>

namespace {

filter_man image_filters(int with_atx) {
    filter_man filters;
    filters.add_filter("Images",
                       with_atx ? "*.bmp;*.jpg;*.tga;*.dds;*.png;*.atx" : "*.bmp;*.jpg;*.tga;*.dds;*.png");
    return filters;
}

qcore::FileDialogAnswer ask(bool open, const filter_man& filters, CWnd* parent, const CString& name,
                            DWORD flags) {
    qcore::FileDialogRequest request;
    request.open = open;
    request.filter = filters.filters + "|";
    request.file_name = name;
    request.flags = flags;
    request.parent = parent;
    return qcore::show_file_dialog(request);
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
    const qcore::FileDialogAnswer answer =
        ask(open != 0, filters, parent, name, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT);
    return answer.ok && !answer.paths.empty() ? answer.paths.front() : CString();
}

int filedlg::pop_open_dlg_multi(filter_man& filters, CWnd* parent, std::vector<CString>& paths) {
    const qcore::FileDialogAnswer answer =
        ask(true, filters, parent, CString(), OFN_ALLOWMULTISELECT | OFN_HIDEREADONLY | OFN_EXPLORER);
    if (!answer.ok) return 0;
    paths.insert(paths.end(), answer.paths.begin(), answer.paths.end());
    return static_cast<int>(answer.paths.size());
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
