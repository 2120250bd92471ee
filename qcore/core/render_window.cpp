#include <qcore/core/render_window.h>

#include <qcore/platform/win32/input.h>
#include <qcore/view/base_vport.h>
#include <qcore/view/mouse_tool.h>

IMPLEMENT_DYNCREATE(CRenderWindow, CWnd)

CRenderWindow::~CRenderWindow() {
    // The viewport may outlive its window: it must not reach back into this one.
    if (view && view->get_wnd() == this) view->wnd = nullptr;
}

int CRenderWindow::is_mouse_in_3d_aera() const {
    if (!view) return 0;
    POINT p{};
    GetCursorPos(&p);
    ScreenToClient(&p);
    return view->get_3d_aera().PtInRect(view->client_to_bbuf(CPoint(p.x, p.y))) ? 1 : 0;
}

void CRenderWindow::OnPaint() {
    { CPaintDC dc(this); }
    if (view) view->on_paint();
}

BOOL CRenderWindow::OnEraseBkgnd(CDC*) {
    return TRUE;
}

void CRenderWindow::OnSize(UINT type, int cx, int cy) {
    CWnd::OnSize(type, cx, cy);
    if (type == SIZE_MINIMIZED || !view) return;
    view->update_aera_calculations();
    view->update_view();
}

void CRenderWindow::OnLButtonDown(UINT flags, CPoint point) {
    SetFocus();
    CWnd::OnLButtonDown(flags, point);
    if (CMouseTool* mt = get_mt())
        if (const long code = mt->v_on_lbutton_down(flags, point)) apply_repaint(code);
}

void CRenderWindow::OnLButtonUp(UINT flags, CPoint point) {
    if (CMouseTool* mt = get_mt())
        if (const long code = mt->v_on_lbutton_up(flags, point)) apply_repaint(code);
    CWnd::OnLButtonUp(flags, point);
}

void CRenderWindow::OnLButtonDblClk(UINT flags, CPoint point) {
    if (CMouseTool* mt = get_mt()) apply_repaint(mt->v_on_lbutton_dbclick(flags, point));
    CWnd::OnLButtonDblClk(flags, point);
}

void CRenderWindow::OnRButtonDown(UINT flags, CPoint point) {
    SetFocus();
    if (CMouseTool* mt = get_mt()) apply_repaint(mt->v_on_rbutton_down(flags, point));
    CWnd::OnRButtonDown(flags, point);
}

void CRenderWindow::OnRButtonUp(UINT flags, CPoint point) {
    if (CMouseTool* mt = get_mt()) apply_repaint(mt->v_on_rbutton_up(flags, point));
    CWnd::OnRButtonUp(flags, point);
}

void CRenderWindow::OnMButtonDown(UINT flags, CPoint point) {
    if (CMouseTool* mt = get_mt()) apply_repaint(mt->v_on_mbutton_down(flags, point));
    CWnd::OnMButtonDown(flags, point);
}

void CRenderWindow::OnMButtonUp(UINT flags, CPoint point) {
    if (CMouseTool* mt = get_mt()) apply_repaint(mt->v_on_mbutton_up(flags, point));
    CWnd::OnMButtonUp(flags, point);
}

void CRenderWindow::OnMouseMove(UINT flags, CPoint point) {
    if (CMouseTool* mt = get_mt()) apply_repaint(mt->v_on_mouse_move(flags, point));
    CWnd::OnMouseMove(flags, point);
}

BOOL CRenderWindow::OnMouseWheel(UINT flags, short delta, CPoint point) {
    if (CMouseTool* mt = get_mt()) {
        // The message carries screen coordinates; tools work in client coordinates like every other message.
        ScreenToClient(&point);
        apply_repaint(mt->v_on_mouse_wheel(flags, delta, point));
    }
    return TRUE;
}

BOOL CRenderWindow::OnSetCursor(CWnd* wnd, UINT hit_test, UINT message) {
    if (hit_test == HTCLIENT && get_mt()) return TRUE;
    return CWnd::OnSetCursor(wnd, hit_test, message);
}
