#include <qcore/platform/win32/afxwin.h>
#include <qcore/platform/win32/dialogs.h>
#include <qcore/platform/win32/input.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

// A window that records what its handlers see.
class RecordingWnd : public CWnd {
    DECLARE_DYNCREATE(RecordingWnd)
public:
    struct Event {
        std::string what;
        UINT flags;
        CPoint point;
    };
    std::vector<Event> events;
    int paints = 0;
    bool destroyed = false;

    void OnPaint() override {
        CPaintDC dc(this);
        CBrush green(RGB(0, 255, 0));
        RECT r;
        GetClientRect(&r);
        dc.FillRect(&r, &green);
        ++paints;
    }
    void OnLButtonDown(UINT flags, CPoint p) override {
        SetFocus();
        events.push_back({"ldown", flags, p});
        CWnd::OnLButtonDown(flags, p);
    }
    void OnLButtonUp(UINT flags, CPoint p) override { events.push_back({"lup", flags, p}); }
    void OnLButtonDblClk(UINT flags, CPoint p) override { events.push_back({"ldbl", flags, p}); }
    void OnRButtonDown(UINT flags, CPoint p) override { events.push_back({"rdown", flags, p}); }
    void OnMouseMove(UINT flags, CPoint p) override { events.push_back({"move", flags, p}); }
    BOOL OnMouseWheel(UINT flags, short delta, CPoint p) override {
        events.push_back({"wheel" + std::to_string(delta), flags, p});
        return TRUE;
    }
    void OnKeyDown(UINT key, UINT, UINT flags) override { events.push_back({"key", key, CPoint(flags, 0)}); }
    void OnSize(UINT type, int cx, int cy) override {
        events.push_back({"size", type, CPoint(cx, cy)});
        CWnd::OnSize(type, cx, cy);
    }
    void OnDestroy() override {
        destroyed = true;
        CWnd::OnDestroy();
    }
};
IMPLEMENT_DYNCREATE(RecordingWnd, CWnd)

class AfxTest : public testing::Test {
protected:
    void SetUp() override { qcore::reset_input_state(); }
    void TearDown() override {
        qcore::reset_input_state();
        peek_and_pump();
    }
    // A visible top-level window at (100, 100) of 200 x 100.
    std::unique_ptr<RecordingWnd> make_window() {
        auto w = std::make_unique<RecordingWnd>();
        EXPECT_TRUE(
            w->CreateEx(0, nullptr, "rec", WS_POPUP | WS_VISIBLE, 100, 100, 200, 100, nullptr, nullptr));
        return w;
    }
};

TEST_F(AfxTest, DynamicCreationByName) {
    std::unique_ptr<CObject> o(CRuntimeClass::CreateObject("RecordingWnd"));
    ASSERT_NE(o, nullptr);
    EXPECT_TRUE(o->IsKindOf(RUNTIME_CLASS(CWnd)));
    EXPECT_FALSE(o->IsKindOf(RUNTIME_CLASS(CDialog)));
    EXPECT_EQ(CRuntimeClass::CreateObject("NoSuchClass"), nullptr);
    EXPECT_EQ(CRuntimeClass::FromName("CDialog")->CreateObject(), nullptr); // not creatable by name
}

TEST_F(AfxTest, TemporaryWrappersDoNotOwnTheirHandles) {
    HWND h = CreateWindowExA(0, AfxRegisterWndClass(0), "", WS_POPUP, 0, 0, 5, 5, nullptr, nullptr, nullptr,
                             nullptr);
    ASSERT_NE(h, nullptr);
    CWnd* temp = CWnd::FromHandle(h);
    EXPECT_EQ(temp->m_hWnd, h);
    EXPECT_EQ(CWnd::FromHandle(h), temp);
    EXPECT_EQ(CWnd::FromHandlePermanent(h), nullptr);
    HDC dc = GetDC(h);
    CDC* temp_dc = CDC::FromHandle(dc);
    EXPECT_EQ(temp_dc->m_hDC, dc);
    peek_and_pump(); // drops the temporaries
    EXPECT_TRUE(IsWindow(h));
    EXPECT_EQ(ReleaseDC(h, dc), 1);
    DestroyWindow(h);
}

TEST_F(AfxTest, PaintAndSizeReachHandlers) {
    auto w = make_window();
    EXPECT_EQ(CWnd::FromHandlePermanent(w->m_hWnd), w.get());
    peek_and_pump();
    EXPECT_EQ(w->paints, 1);
    EXPECT_EQ(qcore::capture_window(*w).at(199, 99), 0x00FF00u);
    w->ShowWindow(SW_MINIMIZE);
    EXPECT_TRUE(w->IsIconic());
    ASSERT_FALSE(w->events.empty());
    EXPECT_EQ(w->events.back().what, "size");
    EXPECT_EQ(w->events.back().flags, static_cast<UINT>(SIZE_MINIMIZED));
    w->ShowWindow(SW_RESTORE);
    EXPECT_EQ(w->events.back().point, CPoint(200, 100));
    HWND h = w->m_hWnd;
    w->DestroyWindow();
    EXPECT_TRUE(w->destroyed);
    EXPECT_EQ(w->m_hWnd, nullptr);
    EXPECT_EQ(CWnd::FromHandlePermanent(h), nullptr);
}

TEST_F(AfxTest, InjectedMouseInputArrivesWithFlagsAndClientCoordinates) {
    auto w = make_window();
    peek_and_pump();
    qcore::inject_key(VK_LSHIFT, true);
    qcore::inject_mouse_move(150, 130);
    qcore::inject_mouse_button(qcore::MouseButton::left, true, 150, 130);
    qcore::inject_mouse_button(qcore::MouseButton::right, true, 151, 131);
    qcore::inject_mouse_button(qcore::MouseButton::right, false, 151, 131);
    qcore::inject_mouse_button(qcore::MouseButton::left, false, 152, 132);
    qcore::inject_key(VK_LSHIFT, false);
    peek_and_pump();
    std::vector<std::string> seen;
    for (auto& e : w->events)
        if (e.what != "size") seen.push_back(e.what);
    ASSERT_EQ(seen, (std::vector<std::string>{"key", "move", "ldown", "rdown", "lup"}));
    auto find = [&](const std::string& what) {
        for (auto& e : w->events)
            if (e.what == what) return e;
        return RecordingWnd::Event{};
    };
    EXPECT_EQ(find("move").flags, static_cast<UINT>(MK_SHIFT));
    EXPECT_EQ(find("move").point, CPoint(50, 30));
    EXPECT_EQ(find("ldown").flags, static_cast<UINT>(MK_LBUTTON | MK_SHIFT));
    EXPECT_EQ(find("rdown").flags, static_cast<UINT>(MK_LBUTTON | MK_RBUTTON | MK_SHIFT));
    EXPECT_EQ(find("rdown").point, CPoint(51, 31));
    EXPECT_EQ(find("lup").flags, static_cast<UINT>(MK_SHIFT));
    EXPECT_EQ(CWnd::GetFocus(), w.get()); // the left-button handler took the focus
    EXPECT_EQ(find("key").flags, static_cast<UINT>(VK_SHIFT));
}

TEST_F(AfxTest, DoubleClickOnlyForClassesThatAskForIt) {
    auto w = make_window(); // the framework's class has CS_DBLCLKS
    for (int i = 0; i < 2; ++i) {
        qcore::inject_mouse_button(qcore::MouseButton::left, true, 110, 110);
        qcore::inject_mouse_button(qcore::MouseButton::left, false, 110, 110);
    }
    peek_and_pump();
    int dbl = 0, down = 0;
    for (auto& e : w->events) {
        dbl += e.what == "ldbl";
        down += e.what == "ldown";
    }
    EXPECT_EQ(down, 1);
    EXPECT_EQ(dbl, 1);
}

TEST_F(AfxTest, WheelGoesToFocusWithScreenPointAndCaptureTakesTheMouse) {
    auto a = make_window();
    auto b = std::make_unique<RecordingWnd>();
    b->CreateEx(0, nullptr, "b", WS_POPUP | WS_VISIBLE, 400, 400, 50, 50, nullptr, nullptr);
    b->SetFocus();
    qcore::inject_mouse_wheel(-WHEEL_DELTA, 120, 120);
    a->SetCapture();
    qcore::inject_mouse_move(420, 420); // over b, but a has the mouse
    ReleaseCapture();
    peek_and_pump();
    ASSERT_FALSE(b->events.empty());
    EXPECT_EQ(b->events.back().what, "wheel-120");
    EXPECT_EQ(b->events.back().point, CPoint(120, 120));
    EXPECT_EQ(a->events.back().what, "move");
    EXPECT_EQ(a->events.back().point, CPoint(320, 320));
}

TEST_F(AfxTest, KeyboardStateKeepsLeftAndRightAltApart) {
    qcore::inject_key(VK_RMENU, true);
    EXPECT_LT(GetKeyState(VK_RMENU), 0);
    EXPECT_GE(GetKeyState(VK_LMENU), 0);
    EXPECT_LT(GetKeyState(VK_MENU), 0);
    EXPECT_LT(GetAsyncKeyState(VK_MENU), 0);
    qcore::inject_key(VK_LMENU, true);
    qcore::inject_key(VK_RMENU, false);
    EXPECT_LT(GetKeyState(VK_MENU), 0); // the left one is still down
    qcore::inject_key(VK_LMENU, false);
    EXPECT_GE(GetKeyState(VK_MENU), 0);
}

TEST_F(AfxTest, CursorShapesAndPosition) {
    HCURSOR arrow = LoadCursorA(nullptr, IDC_ARROW);
    HCURSOR wait = LoadCursorA(nullptr, IDC_WAIT);
    ASSERT_NE(arrow, nullptr);
    EXPECT_NE(arrow, wait);
    EXPECT_EQ(LoadCursorA(nullptr, IDC_ARROW), arrow);
    SetCursor(arrow);
    EXPECT_EQ(SetCursor(wait), arrow);
    EXPECT_EQ(GetCursor(), wait);
    SetCursorPos(12, 34);
    POINT p;
    GetCursorPos(&p);
    EXPECT_EQ(p.x, 12);
    EXPECT_EQ(p.y, 34);
}

class AnswerDialog : public CDialog {
public:
    AnswerDialog() : CDialog(123u) {}
    BOOL OnInitDialog() override {
        inits++;
        return TRUE;
    }
    void OnOK() override {
        if (value < 3) return; // refuses until valid
        CDialog::OnOK();
    }
    int inits = 0;
    int value = 0;
};

TEST_F(AfxTest, ModalDialogAnswerComesFromTheHandler) {
    AnswerDialog dlg;
    int asked = 0;
    auto previous = qcore::set_dialog_handler([&](const qcore::DialogRequest& r) -> INT_PTR {
        ++asked;
        EXPECT_EQ(r.template_id, 123u);
        auto* d = static_cast<AnswerDialog*>(r.dialog);
        d->value = r.attempt + 1; // valid from the third attempt on
        return IDOK;
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.inits, 1);
    EXPECT_EQ(asked, 3);
    EXPECT_EQ(dlg.m_hWnd, nullptr);
    qcore::set_dialog_handler(nullptr);
    EXPECT_EQ(dlg.DoModal(), IDCANCEL); // nobody answers: cancelled
    qcore::set_dialog_handler(std::move(previous));
}

TEST_F(AfxTest, ModelessDialogLivesUntilDestroyed) {
    AnswerDialog dlg;
    ASSERT_TRUE(dlg.Create(77));
    EXPECT_EQ(dlg.inits, 1);
    EXPECT_TRUE(IsWindow(dlg.m_hWnd));
    dlg.SendMessage(WM_COMMAND, IDCANCEL, 0);
    EXPECT_FALSE(dlg.IsWindowVisible());
    dlg.DestroyWindow();
    EXPECT_EQ(dlg.m_hWnd, nullptr);
}

TEST_F(AfxTest, PopupMenusAndFileDialogs) {
    HMENU bar = CreateMenu();
    HMENU sub = CreatePopupMenu();
    AppendMenuA(sub, MF_STRING, 501, "Open");
    AppendMenuA(sub, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(sub, MF_STRING, 502, "Close");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(sub), "File");
    qcore::register_menu_resource(900, bar);
    HMENU loaded = LoadMenuA(nullptr, MAKEINTRESOURCE(900));
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(LoadMenuA(nullptr, MAKEINTRESOURCE(901)), nullptr);
    HMENU popup = GetSubMenu(loaded, 0);
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(GetMenuItemCount(popup), 3);
    EXPECT_EQ(TrackPopupMenu(popup, TPM_RETURNCMD | TPM_RIGHTBUTTON, 5, 6, 0, nullptr, nullptr), 0);
    auto previous = qcore::set_menu_handler([](const qcore::MenuRequest& r) -> UINT {
        EXPECT_EQ(r.items.size(), 3u);
        EXPECT_EQ(r.point.x, 5);
        return r.items[2].id;
    });
    EXPECT_EQ(TrackPopupMenu(popup, TPM_RETURNCMD | TPM_RIGHTBUTTON, 5, 6, 0, nullptr, nullptr), 502);
    qcore::set_menu_handler(std::move(previous));
    EXPECT_TRUE(DestroyMenu(loaded));
    EXPECT_FALSE(DestroyMenu(popup)); // went with its parent

    CFileDialog fd(TRUE, "jpg", nullptr, OFN_ALLOWMULTISELECT, "Images (*.jpg)|*.jpg||");
    EXPECT_EQ(fd.DoModal(), IDCANCEL);
    auto prev_file = qcore::set_file_dialog_handler([](const qcore::FileDialogRequest& r) {
        EXPECT_TRUE(r.open);
        EXPECT_TRUE(r.multiple);
        return qcore::FileDialogAnswer{IDOK, {"/a/b.jpg", "/a/c.jpg"}};
    });
    ASSERT_EQ(fd.DoModal(), IDOK);
    EXPECT_EQ(fd.GetPathName(), CString("/a/b.jpg"));
    EXPECT_EQ(fd.GetFileExt(), CString("jpg"));
    std::vector<CString> all;
    for (void* pos = fd.GetStartPosition(); pos;)
        all.push_back(fd.GetNextPathName(pos));
    EXPECT_EQ(all.size(), 2u);
    qcore::set_file_dialog_handler(std::move(prev_file));
}

TEST_F(AfxTest, PeekAndPumpPassesQuitOn) {
    PostMessageA(nullptr, WM_APP, 0, 0);
    PostQuitMessage(9);
    EXPECT_FALSE(peek_and_pump());
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, WM_QUIT);
    EXPECT_EQ(msg.wParam, 9u);
    EXPECT_TRUE(peek_and_pump());
}

// Never validates: its window keeps asking for paint.
class StubbornWnd : public CWnd {
public:
    void OnPaint() override { ++paints; }
    int paints = 0;
};

TEST_F(AfxTest, PumpReturnsEvenWhenAWindowNeverValidates) {
    StubbornWnd w;
    ASSERT_TRUE(w.CreateEx(0, nullptr, "", WS_POPUP | WS_VISIBLE, 0, 0, 10, 10, nullptr, nullptr));
    EXPECT_TRUE(peek_and_pump());
    EXPECT_GT(w.paints, 1);
    w.ValidateRect(nullptr);
}

TEST_F(AfxTest, GdiWrappersOwnTheirObjects) {
    CDC mem;
    ASSERT_TRUE(mem.CreateCompatibleDC(nullptr));
    CBitmap bmp;
    ASSERT_TRUE(bmp.CreateCompatibleBitmap(&mem, 8, 8));
    CBitmap* old = mem.SelectObject(&bmp);
    ASSERT_NE(old, nullptr);
    EXPECT_EQ(mem.GetCurrentBitmap(), &bmp);
    mem.FillSolidRect(0, 0, 8, 8, RGB(1, 2, 3));
    EXPECT_EQ(mem.GetPixel(7, 7), RGB(1, 2, 3));
    CPen pen(PS_SOLID, 1, RGB(255, 0, 0));
    CPen* old_pen = mem.SelectObject(&pen);
    mem.MoveTo(0, 0);
    mem.LineTo(3, 0);
    EXPECT_EQ(mem.GetPixel(2, 0), RGB(255, 0, 0));
    mem.SelectObject(old_pen);
    mem.SelectObject(old);
    BITMAP bm{};
    bmp.GetBitmap(&bm);
    EXPECT_EQ(bm.bmWidth, 8);
    EXPECT_EQ(bm.bmBits, nullptr); // a compatible bitmap has no client-visible pixels
    HGDIOBJ h = bmp.m_hObject;
    bmp.DeleteObject();
    EXPECT_EQ(GetObjectType(h), 0u);
}

} // namespace
