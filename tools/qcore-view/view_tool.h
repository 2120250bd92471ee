#pragma once
// The viewer's mouse tool: the orbit tool's camera moves, plus a left click (a press and release without
// a drag) that picks the item under the cursor, and a drag with Shift held that moves the picked item in the
// plane facing the camera, as one undo step.
#include "../qcore-demo/orbit_tool.h"
#include "scene_view.h"

namespace qview {

class ViewTool : public OrbitTool {
public:
    ViewTool(CSceneView* view, const VEC& pivot);

    long v_on_lbutton_down(UINT flags, CPoint p) override;
    long v_on_lbutton_up(UINT flags, CPoint p) override;
    long v_on_mouse_move(UINT flags, CPoint p) override;

    // A press and release closer than this (client pixels) is a click.
    static constexpr int kClickSlop = 3;

private:
    CSceneView* scene_view_;
    bool moving_ = false;
    bool click_ = false;
    CPoint down_;
    CPoint last_;
};

} // namespace qview
