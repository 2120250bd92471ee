#include <qcore/core/render_window.h>
#include <qcore/platform/win32/dialogs.h>
#include <qcore/view/mouse_tool.h>

#include "view/view_fixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using qcore::MouseButton;
using qcore::test::ViewFixture;

// Writes down every event with its flags and client point, and answers with a chosen code.
class RecordingTool : public CMouseTool {
public:
    explicit RecordingTool(CBaseVport* v) : CMouseTool("recorder", v) {}
    std::vector<std::string> events;
    long answer = 0;
    bool capture_on_down = false;

    long v_on_mouse_wheel(UINT flags, short delta, CPoint p) override {
        return note("wheel " + std::to_string(delta), flags, p);
    }
    long v_on_lbutton_dbclick(UINT flags, CPoint p) override { return note("ldbl", flags, p); }
    long v_on_lbutton_down(UINT flags, CPoint p) override {
        if (capture_on_down) SetCapture(get_view()->get_wnd()->GetSafeHwnd());
        return note("ldown", flags, p);
    }
    long v_on_lbutton_up(UINT flags, CPoint p) override {
        if (capture_on_down) ReleaseCapture();
        return note("lup", flags, p);
    }
    long v_on_rbutton_down(UINT flags, CPoint p) override { return note("rdown", flags, p); }
    long v_on_rbutton_up(UINT flags, CPoint p) override { return note("rup", flags, p); }
    long v_on_mbutton_down(UINT flags, CPoint p) override { return note("mdown", flags, p); }
    long v_on_mbutton_up(UINT flags, CPoint p) override { return note("mup", flags, p); }
    long v_on_mouse_move(UINT flags, CPoint p) override { return note("move", flags, p); }
    void v_on_active_view_changed(CBaseVport* v) override { events.push_back(v ? "view" : "no view"); }

private:
    long note(const std::string& what, UINT flags, CPoint p) {
        events.push_back(what + " " + std::to_string(flags) + " " + std::to_string(p.x) + "," +
                         std::to_string(p.y));
        return answer;
    }
};

class ToolWindow : public CRenderWindow {
public:
    CMouseTool* tool = nullptr;
    std::vector<long> repaints;
    CMouseTool* get_mt() override { return tool; }
    void apply_repaint(long code) override { repaints.push_back(code); }
};

// A viewport that counts its frames.
class CountingView : public CBaseVport {
public:
    int frames = 0;
    void update_view() override { ++frames; }
};

class Tools : public ViewFixture {
protected:
    void SetUp() override {
        ViewFixture::SetUp();
        ASSERT_TRUE(make_device(400, 300));
        // Double clicks need a class that asks for them.
        ASSERT_TRUE(wnd.CreateEx(0, AfxRegisterWndClass(CS_DBLCLKS), "tools", WS_POPUP | WS_VISIBLE, 100, 50,
                                 200, 150, nullptr, nullptr));
        view.init_3d_envment(device.get(), 1);
        wnd.set_view(&view);
        view.set_wnd(&wnd);
        wnd.tool = &tool;
    }
    void TearDown() override {
        wnd.DestroyWindow();
        ViewFixture::TearDown();
    }
    static void click(MouseButton b, bool down, int x, int y) {
        qcore::inject_mouse_button(b, down, x, y);
        peek_and_pump();
    }

    CountingView view;
    ToolWindow wnd;
    RecordingTool tool{&view};
};

TEST_F(Tools, MessagesReachTheirSlotsInClientCoordinates) {
    qcore::inject_mouse_move(150, 100);
    peek_and_pump();
    click(MouseButton::left, true, 150, 100);
    click(MouseButton::left, false, 150, 100);
    click(MouseButton::left, true, 150, 100); // a second press soon after: a double click
    click(MouseButton::left, false, 150, 100);
    click(MouseButton::right, true, 160, 110);
    click(MouseButton::right, false, 160, 110);
    click(MouseButton::middle, true, 160, 110);
    click(MouseButton::middle, false, 160, 110);
    qcore::inject_mouse_wheel(-120, 170, 120);
    peek_and_pump();
    // Presses carry no move of their own; the wheel's screen point arrives in client coordinates too.
    const std::vector<std::string> expected = {
        "move 0 50,50",  "ldown 1 50,50", "lup 0 50,50",    "ldbl 1 50,50", "lup 0 50,50",
        "rdown 2 60,60", "rup 0 60,60",   "mdown 16 60,60", "mup 0 60,60",  "wheel -120 0 70,70"};
    std::vector<std::string> seen;
    for (const std::string& e : tool.events)
        if (e.rfind("move", 0) != 0 || seen.empty() || seen.back() != e) seen.push_back(e);
    EXPECT_EQ(seen, expected);
}

TEST_F(Tools, OnlyNonZeroLeftButtonAnswersRepaint) {
    click(MouseButton::left, true, 150, 100);
    EXPECT_TRUE(wnd.repaints.empty()); // 0 from left button down: no repaint
    const size_t before = wnd.repaints.size();
    qcore::inject_mouse_move(151, 100);
    peek_and_pump();
    click(MouseButton::left, false, 151, 100);
    // The move answers 0 and still reaches apply_repaint; the left button up with 0 does not.
    ASSERT_EQ(wnd.repaints.size(), before + 1);
    EXPECT_EQ(wnd.repaints.back(), 0);
    tool.answer = 5;
    click(MouseButton::left, true, 150, 100);
    click(MouseButton::left, false, 150, 100);
    click(MouseButton::right, true, 150, 100);
    EXPECT_EQ(std::vector<long>(wnd.repaints.end() - 3, wnd.repaints.end()), (std::vector<long>{5, 5, 5}));
}

TEST_F(Tools, ButtonsTakeTheFocusAndToolsMayCapture) {
    CWnd other;
    ASSERT_TRUE(other.CreateEx(0, qcore::test::view_window_class(), "other", WS_POPUP | WS_VISIBLE, 400, 400,
                               50, 50, nullptr, nullptr));
    ::SetFocus(other.GetSafeHwnd());
    click(MouseButton::right, true, 150, 100);
    click(MouseButton::right, false, 150, 100);
    EXPECT_EQ(::GetFocus(), wnd.GetSafeHwnd());
    ::SetFocus(other.GetSafeHwnd());
    tool.capture_on_down = true;
    click(MouseButton::left, true, 150, 100);
    EXPECT_EQ(::GetFocus(), wnd.GetSafeHwnd());
    EXPECT_EQ(::GetCapture(), wnd.GetSafeHwnd());
    // Outside the window the captured tool still hears the mouse, in its client coordinates.
    tool.events.clear();
    qcore::inject_mouse_move(420, 420);
    peek_and_pump();
    click(MouseButton::left, false, 420, 420);
    ASSERT_FALSE(tool.events.empty());
    EXPECT_EQ(tool.events.front(), "move 1 320,370");
    EXPECT_EQ(::GetCapture(), nullptr);
    other.DestroyWindow();
}

TEST_F(Tools, WithoutAToolOnlyTheFocusMoves) {
    wnd.tool = nullptr;
    click(MouseButton::left, true, 150, 100);
    click(MouseButton::left, false, 150, 100);
    qcore::inject_mouse_wheel(120, 150, 100);
    peek_and_pump();
    EXPECT_TRUE(tool.events.empty());
    EXPECT_TRUE(wnd.repaints.empty());
    EXPECT_EQ(::GetFocus(), wnd.GetSafeHwnd());
    EXPECT_EQ(wnd.SendMessage(WM_SETCURSOR, reinterpret_cast<WPARAM>(wnd.GetSafeHwnd()),
                              MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)),
              wnd.DefWindowProc(WM_SETCURSOR, reinterpret_cast<WPARAM>(wnd.GetSafeHwnd()),
                                MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)));
    wnd.tool = &tool;
    EXPECT_EQ(wnd.SendMessage(WM_SETCURSOR, reinterpret_cast<WPARAM>(wnd.GetSafeHwnd()),
                              MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)),
              TRUE);
}

TEST_F(Tools, PaintAndSizeDriveTheView) {
    EXPECT_NE(wnd.SendMessage(WM_ERASEBKGND), 0);
    const int frames = view.frames;
    wnd.Invalidate();
    wnd.UpdateWindow();
    EXPECT_EQ(view.frames, frames + 1);
    // A minimised window ignores size changes; a restored one recomputes its areas and redraws.
    wnd.SendMessage(WM_SIZE, SIZE_MINIMIZED, MAKELPARAM(0, 0));
    EXPECT_EQ(view.frames, frames + 1);
    wnd.MoveWindow(100, 50, 300, 120);
    peek_and_pump();
    EXPECT_GT(view.frames, frames + 1);
    EXPECT_EQ(view.get_rect().Width, 300u);
    EXPECT_EQ(view.get_3d_aera(), CRect(0, 0, 300, 120));
}

TEST_F(Tools, CursorTestsFollowTheScaledThreeDArea) {
    view.set_aa_scale(2);
    CAeraCfg& cfg = view.get_aera_cfg();
    cfg.set_all_same(0);
    cfg.set_3d_frect(FRect(0.5f, 0, 1, 1));
    view.update_aera_calculations();
    EXPECT_EQ(view.get_3d_aera(), CRect(200, 0, 400, 300));
    SetCursorPos(100 + 150, 50 + 20); // client (150, 20): right half
    EXPECT_EQ(wnd.is_mouse_in_3d_aera(), 1);
    EXPECT_EQ(tool.is_mouse_in_view(0), 1);
    EXPECT_EQ(CMouseTool::get_cursor_pos(&view), CPoint(150, 20));
    SetCursorPos(100 + 50, 50 + 20); // left half: in the window, not in the 3D area
    EXPECT_EQ(wnd.is_mouse_in_3d_aera(), 0);
    EXPECT_EQ(tool.is_mouse_in_view(0), 0);
    EXPECT_EQ(tool.is_mouse_in_view(1), 1);
    SetCursorPos(10, 10);
    EXPECT_EQ(tool.is_mouse_in_view(1), 0);
    EXPECT_EQ(CMouseTool::get_cursor_pos(nullptr), CPoint(0, 0));
}

TEST_F(Tools, KeyFlagsAndTheLeftAltKey) {
    EXPECT_EQ(CMouseTool::is_lbut_down(MK_LBUTTON), 1);
    EXPECT_EQ(CMouseTool::is_rbut_down(MK_LBUTTON), 0);
    EXPECT_EQ(CMouseTool::is_rbut_down(MK_RBUTTON | MK_SHIFT), 1);
    EXPECT_EQ(CMouseTool::is_shift_down(MK_SHIFT), 1);
    EXPECT_EQ(CMouseTool::is_control_down(MK_CONTROL), 1);
    EXPECT_EQ(CMouseTool::is_control_down(MK_SHIFT), 0);
    EXPECT_EQ(CMouseTool::is_mbut_down(MK_MBUTTON), 1);
    EXPECT_EQ(CMouseTool::is_alt_down(), 0);
    qcore::inject_key(VK_RMENU, true);
    EXPECT_EQ(CMouseTool::is_alt_down(), 0);
    qcore::inject_key(VK_LMENU, true);
    EXPECT_EQ(CMouseTool::is_alt_down(), 1);
    qcore::inject_key(VK_LMENU, false);
    EXPECT_EQ(CMouseTool::is_alt_down(), 0);
}

TEST_F(Tools, PopupMenuAnswersThroughTheHandler) {
    HMENU bar = CreateMenu();
    HMENU file = CreatePopupMenu();
    HMENU edit = CreatePopupMenu();
    AppendMenuA(file, MF_STRING, 101, "Open");
    AppendMenuA(edit, MF_STRING | MF_CHECKED, 201, "Snap");
    AppendMenuA(edit, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(edit, MF_STRING | MF_GRAYED, 202, "Undo");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), "File");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(edit), "Edit");
    AppendMenuA(bar, MF_STRING, 301, "Plain");
    qcore::register_menu_resource(7001, bar);
    const size_t menus = qcore::live_menu_count();

    qcore::MenuRequest seen;
    UINT answer = 201;
    qcore::set_menu_handler([&](const qcore::MenuRequest& r) {
        seen = r;
        return answer;
    });
    SetCursorPos(123, 87);
    EXPECT_EQ(tool.pop_menu(7001, 1), 201u);
    ASSERT_EQ(seen.items.size(), 3u);
    EXPECT_EQ(seen.items[0].text, "Snap");
    EXPECT_EQ(seen.items[0].flags & MF_CHECKED, MF_CHECKED);
    EXPECT_EQ(seen.items[1].flags & MF_SEPARATOR, MF_SEPARATOR);
    EXPECT_EQ(seen.items[2].flags & MF_GRAYED, MF_GRAYED);
    EXPECT_EQ(seen.point.x, 123);
    EXPECT_EQ(seen.point.y, 87);
    EXPECT_EQ(seen.flags, TPM_RETURNCMD | TPM_RIGHTBUTTON);
    EXPECT_EQ(seen.owner, wnd.GetSafeHwnd());
    answer = 0;
    EXPECT_EQ(tool.pop_menu(7001, 0), 0u); // dismissed
    // No sub-menu at that index, or no such resource.
    EXPECT_EQ(tool.pop_menu(7001, 2), 0u);
    EXPECT_EQ(tool.pop_menu(7001, 9), 0u);
    EXPECT_EQ(tool.pop_menu(7999, 0), 0u);
    EXPECT_EQ(qcore::live_menu_count(), menus); // every loaded copy was destroyed
    qcore::set_menu_handler(nullptr);
}

// A dialog that notes its end and the calls it gets.
class NotingDlg : public CMtDlg {
public:
    explicit NotingDlg(std::vector<std::string>* log) : log_(log) {}
    ~NotingDlg() override { log_->push_back("deleted"); }
    void on_set_tool() override { log_->push_back("tool"); }
    void update_ui(int what) override { log_->push_back("ui " + std::to_string(what)); }

private:
    std::vector<std::string>* log_;
};

TEST(MouseTool, OwnsItsDialog) {
    std::vector<std::string> first, second;
    {
        CMouseTool tool("t", nullptr);
        EXPECT_EQ(tool.get_name(), "t");
        tool.update_ui(1); // no dialog: nothing
        auto* a = new NotingDlg(&first);
        a->set_tool(&tool);
        EXPECT_EQ(a->get_tool(), &tool);
        tool.set_dlg(a);
        tool.update_ui(3);
        tool.set_dlg(a); // the same dialog again is kept
        tool.set_dlg(new NotingDlg(&second));
        EXPECT_EQ(first, (std::vector<std::string>{"tool", "ui 3", "deleted"}));
        EXPECT_TRUE(second.empty());
        CMouseTool plain("p", nullptr);
        EXPECT_EQ(plain.v_on_lbutton_down(MK_LBUTTON, CPoint(1, 1)), 0);
        EXPECT_EQ(plain.get_dlg(), nullptr);
        EXPECT_EQ(plain.is_mouse_in_view(1), 0);
        EXPECT_EQ(plain.pop_menu(1, 0), 0u);
    }
    EXPECT_EQ(second, std::vector<std::string>{"deleted"});
}

TEST(MouseTool, ActiveViewChangeIsAnnounced) {
    CBaseVport a;
    RecordingTool tool(nullptr);
    tool.set_active_view(&a);
    EXPECT_EQ(tool.get_view(), &a);
    tool.set_active_view(nullptr);
    EXPECT_EQ(tool.events, (std::vector<std::string>{"view", "no view"}));
}

TEST(RenderWindow, CreatableByClassName) {
    for (const char* name : {"CRenderWindow", "CMtDlg"}) {
        CObject* made = CRuntimeClass::CreateObject(name);
        ASSERT_NE(made, nullptr) << name;
        EXPECT_STREQ(made->GetRuntimeClass()->m_lpszClassName, name);
        EXPECT_TRUE(made->IsKindOf(RUNTIME_CLASS(CWnd)));
        delete made;
    }
    std::unique_ptr<CObject> w(CRuntimeClass::CreateObject("CRenderWindow"));
    auto* rw = static_cast<CRenderWindow*>(w.get());
    EXPECT_EQ(rw->get_view(), nullptr);
    EXPECT_EQ(rw->get_mt(), nullptr);
    EXPECT_EQ(rw->is_mouse_in_3d_aera(), 0);
}

} // namespace
