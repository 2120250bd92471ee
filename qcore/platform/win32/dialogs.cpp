#include <qcore/platform/win32/dialogs.h>

#include <cstdio>
#include <map>
#include <memory>
#include <mutex>

namespace qcore {
namespace {

template <class Handler> struct Slot {
    std::mutex mutex;
    Handler handler;
    Handler swap(Handler next) {
        std::lock_guard lock(mutex);
        Handler previous = std::move(handler);
        handler = std::move(next);
        return previous;
    }
    Handler get() {
        std::lock_guard lock(mutex);
        return handler;
    }
};

Slot<DialogHandler>& dialog_slot() {
    static Slot<DialogHandler> s;
    return s;
}
Slot<FileDialogHandler>& file_slot() {
    static Slot<FileDialogHandler> s;
    return s;
}
Slot<MenuHandler>& menu_slot() {
    static Slot<MenuHandler> s;
    return s;
}

struct MenuEntry {
    UINT flags = 0;
    UINT_PTR id = 0;
    CString text;
    HMENU popup = nullptr;
};
struct Menus {
    std::mutex mutex;
    std::map<HMENU, std::vector<MenuEntry>> menus;
    std::map<UINT, HMENU> resources;
    uintptr_t next = 1;
};
Menus& menus() {
    static Menus* m = new Menus;
    return *m;
}

HMENU new_menu_locked(Menus& m) {
    HMENU h = reinterpret_cast<HMENU>(0x7000000 + 16 * m.next++);
    m.menus[h];
    return h;
}

void destroy_locked(Menus& m, HMENU h) {
    auto it = m.menus.find(h);
    if (it == m.menus.end()) return;
    std::vector<MenuEntry> entries = std::move(it->second);
    m.menus.erase(it);
    for (const MenuEntry& e : entries)
        if (e.popup) destroy_locked(m, e.popup);
}

HMENU copy_locked(Menus& m, HMENU h, int depth) {
    auto it = m.menus.find(h);
    if (it == m.menus.end() || depth > 16) return nullptr;
    std::vector<MenuEntry> entries = it->second;
    HMENU copy = new_menu_locked(m);
    for (MenuEntry& e : entries)
        if (e.popup) e.popup = copy_locked(m, e.popup, depth + 1);
    m.menus[copy] = std::move(entries);
    return copy;
}

std::vector<MenuItem> items_locked(Menus& m, HMENU h, int depth) {
    std::vector<MenuItem> out;
    auto it = m.menus.find(h);
    if (it == m.menus.end() || depth > 16) return out;
    for (const MenuEntry& e : it->second) {
        MenuItem item;
        item.flags = e.flags;
        item.text = e.text;
        if (e.popup)
            item.sub_items = items_locked(m, e.popup, depth + 1);
        else if (!(e.flags & MF_SEPARATOR))
            item.id = static_cast<UINT>(e.id);
        out.push_back(std::move(item));
    }
    return out;
}

} // namespace

DialogHandler set_dialog_handler(DialogHandler handler) {
    return dialog_slot().swap(std::move(handler));
}

INT_PTR show_dialog(const DialogRequest& request) {
    if (DialogHandler h = dialog_slot().get()) return h(request);
    std::fprintf(stderr, "[dialog] %s %u \"%s\": no one to answer, cancelled\n", request.kind.GetString(),
                 request.template_id, request.title.GetString());
    return request.cancel_answer;
}

bool has_dialog_handler() {
    return static_cast<bool>(dialog_slot().get());
}

FileDialogHandler set_file_dialog_handler(FileDialogHandler handler) {
    return file_slot().swap(std::move(handler));
}

FileDialogAnswer show_file_dialog(const FileDialogRequest& request) {
    if (FileDialogHandler h = file_slot().get()) return h(request);
    return FileDialogAnswer{};
}

MenuHandler set_menu_handler(MenuHandler handler) {
    return menu_slot().swap(std::move(handler));
}

void register_menu_resource(UINT id, HMENU menu) {
    Menus& m = menus();
    std::lock_guard lock(m.mutex);
    auto it = m.resources.find(id);
    if (it != m.resources.end()) destroy_locked(m, it->second);
    m.resources[id] = menu;
}

size_t live_menu_count() {
    Menus& m = menus();
    std::lock_guard lock(m.mutex);
    return m.menus.size();
}

} // namespace qcore

using namespace qcore;

HMENU CreatePopupMenu() {
    Menus& m = menus();
    std::lock_guard lock(m.mutex);
    return new_menu_locked(m);
}

HMENU CreateMenu() {
    return CreatePopupMenu();
}

BOOL AppendMenuA(HMENU menu, UINT flags, UINT_PTR id_or_popup, LPCSTR text) {
    Menus& m = menus();
    std::lock_guard lock(m.mutex);
    auto it = m.menus.find(menu);
    if (it == m.menus.end()) return FALSE;
    MenuEntry e;
    e.flags = flags;
    e.text = (flags & MF_SEPARATOR) || !text ? "" : text;
    if (flags & MF_POPUP) {
        e.popup = reinterpret_cast<HMENU>(id_or_popup);
        if (!m.menus.count(e.popup) || e.popup == menu) return FALSE;
    } else {
        e.id = id_or_popup;
    }
    it->second.push_back(std::move(e));
    return TRUE;
}

BOOL DestroyMenu(HMENU menu) {
    Menus& m = menus();
    std::lock_guard lock(m.mutex);
    if (!m.menus.count(menu)) return FALSE;
    destroy_locked(m, menu);
    return TRUE;
}

HMENU GetSubMenu(HMENU menu, int position) {
    Menus& m = menus();
    std::lock_guard lock(m.mutex);
    auto it = m.menus.find(menu);
    if (it == m.menus.end() || position < 0 || position >= static_cast<int>(it->second.size()))
        return nullptr;
    return it->second[static_cast<size_t>(position)].popup;
}

int GetMenuItemCount(HMENU menu) {
    Menus& m = menus();
    std::lock_guard lock(m.mutex);
    auto it = m.menus.find(menu);
    return it == m.menus.end() ? -1 : static_cast<int>(it->second.size());
}

HMENU LoadMenuA(HINSTANCE, LPCSTR name) {
    if (!name || !IS_INTRESOURCE(name)) return nullptr;
    const auto id = static_cast<UINT>(reinterpret_cast<ULONG_PTR>(name));
    Menus& m = menus();
    std::lock_guard lock(m.mutex);
    auto it = m.resources.find(id);
    return it == m.resources.end() ? nullptr : copy_locked(m, it->second, 0);
}

BOOL TrackPopupMenu(HMENU menu, UINT flags, int x, int y, int, HWND owner, const RECT*) {
    MenuRequest request;
    {
        Menus& m = menus();
        std::lock_guard lock(m.mutex);
        if (!m.menus.count(menu)) return FALSE;
        request.items = items_locked(m, menu, 0);
    }
    request.point = POINT{x, y};
    request.flags = flags;
    request.owner = owner;
    MenuHandler handler = menu_slot().get();
    const UINT chosen = handler ? handler(request) : 0;
    if (flags & TPM_RETURNCMD) return static_cast<BOOL>(chosen);
    if (chosen && owner && !(flags & TPM_NONOTIFY)) PostMessageA(owner, WM_COMMAND, chosen, 0);
    return chosen != 0;
}

CFileDialog::CFileDialog(BOOL open, LPCSTR default_ext, LPCSTR file_name, DWORD flags, LPCSTR filter,
                         CWnd* parent)
    : CDialog(0u, parent), open_(open), default_ext_(default_ext), file_name_(file_name), filter_(filter) {
    m_ofn.lStructSize = sizeof(m_ofn);
    m_ofn.Flags = flags;
    m_ofn.lpstrDefExt = default_ext_.IsEmpty() ? nullptr : default_ext_.GetString();
    m_ofn.lpstrFilter = filter_.IsEmpty() ? nullptr : filter_.GetString();
    m_ofn.hwndOwner = parent ? parent->m_hWnd : nullptr;
}

INT_PTR CFileDialog::DoModal() {
    FileDialogRequest request;
    request.open = open_;
    request.multiple = m_ofn.Flags & OFN_ALLOWMULTISELECT;
    request.title = m_ofn.lpstrTitle;
    request.filter = filter_;
    request.default_ext = default_ext_;
    request.initial_file = file_name_;
    request.initial_folder = m_ofn.lpstrInitialDir;
    request.flags = m_ofn.Flags;
    request.owner = m_ofn.hwndOwner;
    FileDialogAnswer answer = show_file_dialog(request);
    paths_.clear();
    if (answer.result == IDOK) paths_ = std::move(answer.paths);
    if (!request.multiple && paths_.size() > 1) paths_.resize(1);
    return paths_.empty() ? IDCANCEL : IDOK;
}

CString CFileDialog::GetPathName() const {
    return paths_.empty() ? CString() : paths_.front();
}

CString CFileDialog::GetFileName() const {
    const CString path = GetPathName();
    const int slash = std::max(path.ReverseFind('/'), path.ReverseFind('\\'));
    return path.Mid(slash + 1);
}

CString CFileDialog::GetFileExt() const {
    const CString name = GetFileName();
    const int dot = name.ReverseFind('.');
    return dot < 0 ? CString() : name.Mid(dot + 1);
}

void* CFileDialog::GetStartPosition() const {
    return paths_.empty() ? nullptr : reinterpret_cast<void*>(uintptr_t{1});
}

CString CFileDialog::GetNextPathName(void*& position) const {
    const auto index = reinterpret_cast<uintptr_t>(position);
    if (index == 0 || index > paths_.size()) {
        position = nullptr;
        return CString();
    }
    position = index < paths_.size() ? reinterpret_cast<void*>(index + 1) : nullptr;
    return paths_[index - 1];
}
