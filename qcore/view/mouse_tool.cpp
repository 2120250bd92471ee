#include <qcore/view/mouse_tool.h>

#include <qcore/core/render_window.h>
#include <qcore/platform/win32/dialogs.h>
#include <qcore/platform/win32/input.h>
#include <qcore/view/base_vport.h>

IMPLEMENT_DYNCREATE(CMtDlg, CDialog)

namespace {

void destroy_dialog(CMtDlg* d) {
    if (!d) return;
    if (d->GetSafeHwnd()) d->DestroyWindow();
    delete d;
}

CWnd* window_of(const CBaseVport* v) {
    return v ? v->get_wnd() : nullptr;
}

} // namespace

CMouseTool::CMouseTool(const char* tool_name, CBaseVport* active_view)
    : name(tool_name ? tool_name : ""), view(active_view) {}

CMouseTool::~CMouseTool() {
    destroy_dialog(dlg);
    dlg = nullptr;
}

void CMouseTool::update_ui(int what) {
    if (dlg) dlg->update_ui(what);
}

void CMouseTool::set_dlg(CMtDlg* d) {
    if (dlg != d) destroy_dialog(dlg);
    dlg = d;
}

void CMouseTool::set_active_view(CBaseVport* v) {
    view = v;
    v_on_active_view_changed(v);
}

int CMouseTool::is_alt_down() {
    return (GetAsyncKeyState(VK_LMENU) & 0x8000) ? 1 : 0;
}

CPoint CMouseTool::get_cursor_pos(CBaseVport* v) {
    CWnd* w = window_of(v);
    if (!w || !w->GetSafeHwnd()) return CPoint(0, 0);
    POINT p{};
    GetCursorPos(&p);
    w->ScreenToClient(&p);
    return CPoint(p.x, p.y);
}

int CMouseTool::is_mouse_in_view(int whole_window) const {
    CWnd* w = window_of(view);
    if (!w || !w->GetSafeHwnd()) return 0;
    const CPoint p = get_cursor_pos(view);
    if (whole_window) {
        CRect client;
        w->GetClientRect(&client);
        return client.PtInRect(p) ? 1 : 0;
    }
    return view->get_3d_aera().PtInRect(view->client_to_bbuf(p)) ? 1 : 0;
}

UINT CMouseTool::pop_menu(UINT menu_id, int index) {
    HMENU menu = LoadMenuA(AfxGetResourceHandle(), MAKEINTRESOURCEA(menu_id));
    if (!menu) return 0;
    UINT command = 0;
    if (HMENU sub = GetSubMenu(menu, index)) {
        POINT p{};
        GetCursorPos(&p);
        CWnd* w = window_of(view);
        command = static_cast<UINT>(TrackPopupMenu(sub, TPM_RETURNCMD | TPM_RIGHTBUTTON, p.x, p.y, 0,
                                                   w ? w->GetSafeHwnd() : nullptr, nullptr));
    }
    DestroyMenu(menu);
    return command;
}
