#pragma once
// The window that shows one viewport: it repaints and resizes the viewport and hands mouse input to the
// active mouse tool, whose answers go to apply_repaint. Host windows derive from it and give get_mt and
// apply_repaint their meaning.
#include <qcore/platform/win32/afxwin.h>

class CBaseVport;
class CMouseTool;

class CRenderWindow : public CWnd {
    DECLARE_DYNCREATE(CRenderWindow)
public:
    CRenderWindow() = default;
    ~CRenderWindow() override;

    CBaseVport* get_view() const { return view; }
    void set_view(CBaseVport* v) { view = v; }
    virtual CMouseTool* get_mt() { return nullptr; }
    virtual void apply_repaint(long) {}

    // 1 when the cursor lies in the viewport's 3D area.
    int is_mouse_in_3d_aera() const;

    void OnPaint() override;
    BOOL OnEraseBkgnd(CDC* dc) override;
    void OnSize(UINT type, int cx, int cy) override;
    void OnLButtonDown(UINT flags, CPoint point) override;
    void OnLButtonUp(UINT flags, CPoint point) override;
    void OnLButtonDblClk(UINT flags, CPoint point) override;
    void OnRButtonDown(UINT flags, CPoint point) override;
    void OnRButtonUp(UINT flags, CPoint point) override;
    void OnMButtonDown(UINT flags, CPoint point) override;
    void OnMButtonUp(UINT flags, CPoint point) override;
    void OnMouseMove(UINT flags, CPoint point) override;
    BOOL OnMouseWheel(UINT flags, short delta, CPoint point) override;
    BOOL OnSetCursor(CWnd* wnd, UINT hit_test, UINT message) override;

protected:
    CBaseVport* view = nullptr;
};
