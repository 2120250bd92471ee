#pragma once
// The base of interactive tools: a render window whose get_mt returns a tool hands it every mouse message,
// and the repaint code the tool answers with goes to the window's apply_repaint (0: nothing to redraw).
// The base does nothing on any event; it gives tools their shared helpers and may own a settings dialog.
#include <qcore/platform/d3d8/d3d8.h>
#include <qcore/platform/win32/afxwin.h>
#include <qcore/platform/win32/cstring.h>
#include <qcore/platform/win32/message.h>
#include <qcore/platform/win32/mfc_types.h>

class CBaseVport;
class CMouseTool;
class CTimer;

// The modeless dialog that shows a tool's settings.
class CMtDlg : public CDialog {
    DECLARE_DYNCREATE(CMtDlg)
public:
    CMtDlg() = default;
    CMouseTool* get_tool() const { return tool; }
    void set_tool(CMouseTool* t) {
        tool = t;
        on_set_tool();
    }
    virtual void on_set_tool() {}
    virtual void update_ui(int) {}

protected:
    CMouseTool* tool = nullptr;
};

class CMouseTool {
public:
    CMouseTool(const char* tool_name, CBaseVport* active_view);
    virtual ~CMouseTool();
    CMouseTool(const CMouseTool&) = delete;
    CMouseTool& operator=(const CMouseTool&) = delete;

    virtual long v_on_mouse_wheel(UINT, short, CPoint) { return 0; }
    virtual long v_on_lbutton_dbclick(UINT, CPoint) { return 0; }
    virtual long v_on_lbutton_down(UINT, CPoint) { return 0; }
    virtual long v_on_lbutton_up(UINT, CPoint) { return 0; }
    virtual long v_on_rbutton_down(UINT, CPoint) { return 0; }
    virtual long v_on_rbutton_up(UINT, CPoint) { return 0; }
    virtual long v_on_mbutton_down(UINT, CPoint) { return 0; }
    virtual long v_on_mbutton_up(UINT, CPoint) { return 0; }
    virtual long v_on_mouse_move(UINT, CPoint) { return 0; }
    virtual void v_on_active_view_changed(CBaseVport*) {}
    virtual void on_push() {}
    virtual void v_on_active_view_camobj_changed() {}
    virtual void v_on_world_sel_changed() {}
    virtual void update_ui(int what);
    virtual void v_on_render_in_3d(IDirect3DDevice8*) {}
    virtual void v_on_frame_move(const CTimer*) {}
    virtual void v_on_render_in_dc(CDC*, const CRect*) {}

    const CString& get_name() const { return name; }
    void set_name(const CString& n) { name = n; }
    CBaseVport* get_view() const { return view; }
    CMtDlg* get_dlg() const { return dlg; }
    // The tool owns the dialog from now on; a dialog it had before is destroyed.
    void set_dlg(CMtDlg* d);
    void set_active_view(CBaseVport* v);

    static int is_lbut_down(UINT flags) { return (flags & MK_LBUTTON) ? 1 : 0; }
    static int is_rbut_down(UINT flags) { return (flags & MK_RBUTTON) ? 1 : 0; }
    static int is_shift_down(UINT flags) { return (flags & MK_SHIFT) ? 1 : 0; }
    static int is_control_down(UINT flags) { return (flags & MK_CONTROL) ? 1 : 0; }
    static int is_mbut_down(UINT flags) { return (flags & MK_MBUTTON) ? 1 : 0; }
    // The left Alt key only, as the keyboard is now.
    static int is_alt_down();

    // The cursor in client coordinates of the view's window ((0, 0) without a window).
    static CPoint get_cursor_pos(CBaseVport* v);
    // With whole_window: the cursor is in the window's client area; else in the view's 3D area.
    int is_mouse_in_view(int whole_window) const;
    // Shows sub-menu `index` of menu resource `menu_id` at the cursor; the chosen command, 0 for none.
    UINT pop_menu(UINT menu_id, int index);

protected:
    CString name;
    CBaseVport* view = nullptr;
    CMtDlg* dlg = nullptr;
};
