#pragma once
// The framework's window classes over the Win32 stand-in: run-time classes with creation by name, CWnd with
// its message handlers as virtual operations (every handler's default is the window's default processing),
// CDialog (modeless and modal; a modal dialog's answer comes from the installable dialog handler),
// and the pump of pending messages.
#include <qcore/platform/win32/afxgdi.h>
#include <qcore/platform/win32/app.h>
#include <qcore/platform/win32/cstring.h>
#include <qcore/platform/win32/message_box.h>
#include <qcore/platform/win32/mfc_types.h>
#include <qcore/platform/win32/window.h>

class CObject;

// A class known by name at run time; classes declared with DECLARE_DYNCREATE can be created by name.
struct CRuntimeClass {
    const char* m_lpszClassName;
    int m_nObjectSize;
    CObject* (*m_pfnCreateObject)();
    CRuntimeClass* m_pBaseClass;

    // A new object of the class (the caller owns it), or null when the class is not creatable.
    CObject* CreateObject() const;
    BOOL IsDerivedFrom(const CRuntimeClass* base) const;
    static CRuntimeClass* FromName(const char* class_name);
    static CObject* CreateObject(const char* class_name);
};

namespace qcore::detail {
// Registers a run-time class under its name at start-up.
struct RuntimeClassRegistrar {
    explicit RuntimeClassRegistrar(CRuntimeClass* cls);
};
} // namespace qcore::detail

#define RUNTIME_CLASS(class_name) (class_name::GetThisClass())
#define DECLARE_DYNAMIC(class_name)                                                                          \
public:                                                                                                      \
    static CRuntimeClass* GetThisClass();                                                                    \
    CRuntimeClass* GetRuntimeClass() const override;
#define DECLARE_DYNCREATE(class_name)                                                                        \
    DECLARE_DYNAMIC(class_name)                                                                              \
    static CObject* CreateObject();
#define QCORE_IMPLEMENT_RUNTIMECLASS(class_name, base_name, create)                                          \
    CRuntimeClass* class_name::GetThisClass() {                                                              \
        static CRuntimeClass cls{#class_name, static_cast<int>(sizeof(class_name)), create,                  \
                                 base_name::GetThisClass()};                                                 \
        return &cls;                                                                                         \
    }                                                                                                        \
    CRuntimeClass* class_name::GetRuntimeClass() const {                                                     \
        return class_name::GetThisClass();                                                                   \
    }                                                                                                        \
    static const qcore::detail::RuntimeClassRegistrar qcore_registrar_##class_name(                          \
        class_name::GetThisClass());
#define IMPLEMENT_DYNAMIC(class_name, base_name) QCORE_IMPLEMENT_RUNTIMECLASS(class_name, base_name, nullptr)
#define IMPLEMENT_DYNCREATE(class_name, base_name)                                                           \
    CObject* class_name::CreateObject() {                                                                    \
        return new class_name;                                                                               \
    }                                                                                                        \
    QCORE_IMPLEMENT_RUNTIMECLASS(class_name, base_name, class_name::CreateObject)

class CObject {
public:
    virtual ~CObject() = default;
    static CRuntimeClass* GetThisClass();
    virtual CRuntimeClass* GetRuntimeClass() const;
    BOOL IsKindOf(const CRuntimeClass* cls) const { return GetRuntimeClass()->IsDerivedFrom(cls); }

protected:
    CObject() = default;
};

class CCmdTarget : public CObject {
    DECLARE_DYNAMIC(CCmdTarget)
};

class CWnd : public CCmdTarget {
    DECLARE_DYNCREATE(CWnd)
public:
    CWnd() = default;
    ~CWnd() override;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND m_hWnd = nullptr;
    operator HWND() const { return m_hWnd; }
    HWND GetSafeHwnd() const { return m_hWnd; }

    // The object attached to a window, or a temporary one (valid until the next idle pump).
    static CWnd* FromHandle(HWND hwnd);
    static CWnd* FromHandlePermanent(HWND hwnd);
    // Attach maps the window to this object without routing its messages here; SubclassWindow does both.
    BOOL Attach(HWND hwnd);
    HWND Detach();
    BOOL SubclassWindow(HWND hwnd);

    // A null class name uses the framework's own window class (double clicks on, no background).
    virtual BOOL Create(LPCSTR class_name, LPCSTR window_name, DWORD style, const RECT& rect, CWnd* parent,
                        UINT id, void* context = nullptr);
    virtual BOOL CreateEx(DWORD ex_style, LPCSTR class_name, LPCSTR window_name, DWORD style, int x, int y,
                          int width, int height, HWND parent, HMENU id_or_menu, LPVOID param = nullptr);
    BOOL CreateEx(DWORD ex_style, LPCSTR class_name, LPCSTR window_name, DWORD style, const RECT& rect,
                  CWnd* parent, UINT id, LPVOID param = nullptr);
    virtual BOOL DestroyWindow();

    BOOL ShowWindow(int cmd) { return ::ShowWindow(m_hWnd, cmd); }
    void UpdateWindow() { ::UpdateWindow(m_hWnd); }
    void Invalidate(BOOL erase = TRUE) { ::InvalidateRect(m_hWnd, nullptr, erase); }
    void InvalidateRect(LPCRECT rect, BOOL erase = TRUE) { ::InvalidateRect(m_hWnd, rect, erase); }
    void ValidateRect(LPCRECT rect) { ::ValidateRect(m_hWnd, rect); }
    void GetClientRect(LPRECT rect) const { ::GetClientRect(m_hWnd, rect); }
    void GetWindowRect(LPRECT rect) const { ::GetWindowRect(m_hWnd, rect); }
    void ClientToScreen(LPPOINT point) const { ::ClientToScreen(m_hWnd, point); }
    void ClientToScreen(LPRECT rect) const;
    void ScreenToClient(LPPOINT point) const { ::ScreenToClient(m_hWnd, point); }
    void ScreenToClient(LPRECT rect) const;
    void MoveWindow(int x, int y, int width, int height, BOOL repaint = TRUE) {
        ::MoveWindow(m_hWnd, x, y, width, height, repaint);
    }
    void MoveWindow(LPCRECT rect, BOOL repaint = TRUE);
    BOOL SetWindowPos(const CWnd* insert_after, int x, int y, int cx, int cy, UINT flags);
    BOOL SetForegroundWindow() { return ::SetForegroundWindow(m_hWnd); }
    CWnd* SetFocus() { return FromHandle(::SetFocus(m_hWnd)); }
    static CWnd* GetFocus() { return FromHandle(::GetFocus()); }
    CWnd* SetCapture() { return FromHandle(::SetCapture(m_hWnd)); }
    static CWnd* GetCapture() { return FromHandle(::GetCapture()); }
    static CWnd* GetDesktopWindow() { return FromHandle(::GetDesktopWindow()); }
    void SetWindowText(LPCSTR text) { ::SetWindowTextA(m_hWnd, text); }
    void GetWindowText(CString& text) const;
    int GetWindowTextLength() const { return ::GetWindowTextLengthA(m_hWnd); }
    BOOL EnableWindow(BOOL enable = TRUE) { return ::EnableWindow(m_hWnd, enable); }
    BOOL IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
    BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
    BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
    CWnd* GetParent() const { return FromHandle(::GetParent(m_hWnd)); }
    CWnd* GetDlgItem(int id) const { return FromHandle(::GetDlgItem(m_hWnd, id)); }
    int GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
    DWORD GetStyle() const { return static_cast<DWORD>(::GetWindowLongPtrA(m_hWnd, GWL_STYLE)); }
    DWORD GetExStyle() const { return static_cast<DWORD>(::GetWindowLongPtrA(m_hWnd, GWL_EXSTYLE)); }
    LRESULT SendMessage(UINT message, WPARAM wparam = 0, LPARAM lparam = 0) {
        return ::SendMessageA(m_hWnd, message, wparam, lparam);
    }
    BOOL PostMessage(UINT message, WPARAM wparam = 0, LPARAM lparam = 0) {
        return ::PostMessageA(m_hWnd, message, wparam, lparam);
    }
    // A temporary DC object for the window; give it back with ReleaseDC.
    CDC* GetDC();
    int ReleaseDC(CDC* dc);
    int MessageBox(LPCSTR text, LPCSTR caption = nullptr, UINT type = MB_OK) {
        return ::MessageBoxA(m_hWnd, text, caption, type);
    }

    // Message routing: WindowProc gives OnWndMsg the message, which calls the handler below; messages
    // without a handler, and handlers' defaults, go to DefWindowProc (the window class's procedure).
    virtual LRESULT WindowProc(UINT message, WPARAM wparam, LPARAM lparam);
    virtual BOOL OnWndMsg(UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result);
    virtual LRESULT DefWindowProc(UINT message, WPARAM wparam, LPARAM lparam);
    virtual BOOL OnCommand(WPARAM wparam, LPARAM lparam);
    // Called after the window is gone (WM_NCDESTROY); a class whose objects own themselves deletes here.
    virtual void PostNcDestroy() {}
    // The default processing of the message being handled.
    LRESULT Default();

    virtual int OnCreate(LPCREATESTRUCT cs);
    virtual void OnDestroy();
    virtual void OnNcDestroy();
    virtual void OnClose();
    virtual void OnPaint();
    virtual BOOL OnEraseBkgnd(CDC* dc);
    virtual void OnSize(UINT type, int cx, int cy);
    virtual void OnMove(int x, int y);
    virtual void OnShowWindow(BOOL show, UINT status);
    virtual void OnLButtonDown(UINT flags, CPoint point);
    virtual void OnLButtonUp(UINT flags, CPoint point);
    virtual void OnLButtonDblClk(UINT flags, CPoint point);
    virtual void OnRButtonDown(UINT flags, CPoint point);
    virtual void OnRButtonUp(UINT flags, CPoint point);
    virtual void OnRButtonDblClk(UINT flags, CPoint point);
    virtual void OnMButtonDown(UINT flags, CPoint point);
    virtual void OnMButtonUp(UINT flags, CPoint point);
    virtual void OnMouseMove(UINT flags, CPoint point);
    // The point is in screen coordinates, as the message carries it.
    virtual BOOL OnMouseWheel(UINT flags, short delta, CPoint point);
    virtual BOOL OnSetCursor(CWnd* wnd, UINT hit_test, UINT message);
    virtual void OnKeyDown(UINT key, UINT repeat, UINT flags);
    virtual void OnKeyUp(UINT key, UINT repeat, UINT flags);
    virtual void OnChar(UINT ch, UINT repeat, UINT flags);
    virtual void OnSetFocus(CWnd* old);
    virtual void OnKillFocus(CWnd* next);

protected:
    WNDPROC m_pfnSuper = nullptr;

private:
    static void on_create_hook(HWND hwnd, void* self);
};

// Registers (once) and names a window class with the framework's window procedure defaults.
LPCSTR AfxRegisterWndClass(UINT style, HCURSOR cursor = nullptr, HBRUSH background = nullptr,
                           HICON icon = nullptr);

class CDialog : public CWnd {
    DECLARE_DYNAMIC(CDialog)
public:
    CDialog() = default;
    explicit CDialog(UINT template_id, CWnd* parent = nullptr);
    CDialog(LPCSTR template_name, CWnd* parent = nullptr);

    using CWnd::Create;
    // Modeless: creates the dialog's window (hidden unless the dialog shows itself) and runs OnInitDialog.
    virtual BOOL Create(UINT template_id, CWnd* parent = nullptr);
    // Modal: creates the window, runs OnInitDialog, then asks the dialog handler (qcore::set_dialog_handler)
    // for the user's answer: IDOK runs OnOK, IDCANCEL runs OnCancel, any other value ends the dialog with it.
    virtual INT_PTR DoModal();
    void EndDialog(int result);
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    BOOL UpdateData(BOOL save_and_validate = TRUE);
    BOOL OnWndMsg(UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result) override;

    UINT m_nIDHelp = 0;
    LPCSTR m_lpszTemplateName = nullptr;
    CWnd* m_pParentWnd = nullptr;
    int m_nModalResult = -1;

private:
    BOOL create_window(CWnd* parent, bool visible);
    bool modal_ = false;
    bool ended_ = false;
    CString template_name_;
};

// Delivers every pending message, then drops temporary window and GDI objects. When a WM_QUIT is among them
// it posts a new quit message for the outer loop and returns FALSE; otherwise TRUE.
BOOL peek_and_pump();
