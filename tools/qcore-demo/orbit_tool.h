#pragma once
// The demo's camera tool: the left button orbits the camera around a pivot, the right or middle button pans
// eye and pivot together, and the wheel moves the eye towards or away from the pivot. Every change answers
// with repaint code 1, which the demo window turns into a redraw.
#include <qcore/qcore.h>

class OrbitTool : public CMouseTool {
public:
    static constexpr long kRepaint = 1;

    OrbitTool(CBaseVport* view, const VEC& pivot);

    long v_on_lbutton_down(UINT, CPoint p) override { return begin_drag(Drag::orbit, p); }
    long v_on_lbutton_up(UINT, CPoint) override { return end_drag(Drag::orbit); }
    long v_on_rbutton_down(UINT, CPoint p) override { return begin_drag(Drag::pan, p); }
    long v_on_rbutton_up(UINT, CPoint) override { return end_drag(Drag::pan); }
    long v_on_mbutton_down(UINT, CPoint p) override { return begin_drag(Drag::pan, p); }
    long v_on_mbutton_up(UINT, CPoint) override { return end_drag(Drag::pan); }
    long v_on_mouse_move(UINT flags, CPoint p) override;
    long v_on_mouse_wheel(UINT flags, short delta, CPoint p) override;

    const VEC& get_pivot() const { return pivot; }

private:
    enum class Drag { none, orbit, pan };
    long begin_drag(Drag kind, CPoint p);
    long end_drag(Drag kind);
    void orbit(int dx, int dy);
    void pan(int dx, int dy);

    VEC pivot;
    Drag drag = Drag::none;
    CPoint last;
};
