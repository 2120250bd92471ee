#include <qcore/platform/win32/afx_handle_map.h>
#include <qcore/platform/win32/afxwin.h>
#include <qcore/platform/win32/dialogs.h>
#include <qcore/platform/win32/input.h>
#include <qcore/platform/win32/window_registry.h>

#include <cstring>
#include <map>
#include <mutex>

namespace qcore::detail {
namespace {

HandleMap<CWnd>& windows() {
    static HandleMap<CWnd> map;
    return map;
}

struct RuntimeClasses {
    std::mutex mutex;
    std::map<CString, CRuntimeClass*> by_name;
};

RuntimeClasses& runtime_classes() {
    static RuntimeClasses r;
    return r;
}

// The message being handled on this thread, for CWnd::Default.
struct CurrentMessage {
    HWND hwnd;
    UINT message;
    WPARAM wparam;
    LPARAM lparam;
};
thread_local CurrentMessage t_current{};

LRESULT CALLBACK afx_wnd_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    CWnd* wnd = windows().permanent(hwnd);
    if (!wnd) return DefWindowProcA(hwnd, message, wparam, lparam);
    const CurrentMessage saved = t_current;
    t_current = CurrentMessage{hwnd, message, wparam, lparam};
    const LRESULT result = wnd->WindowProc(message, wparam, lparam);
    t_current = saved;
    return result;
}

CPoint point_of(LPARAM l) {
    return CPoint(GET_X_LPARAM(l), GET_Y_LPARAM(l));
}

const char* const kFrameworkClass = "AfxWnd";
const char* const kDialogClass = "QcoreDialog";

void register_class(const char* name, UINT style, HBRUSH background) {
    WNDCLASSA wc{};
    wc.style = style;
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = AfxGetInstanceHandle();
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = background;
    wc.lpszClassName = name;
    RegisterClassA(&wc); // a second registration fails harmlessly
}

} // namespace

RuntimeClassRegistrar::RuntimeClassRegistrar(CRuntimeClass* cls) {
    auto& r = runtime_classes();
    std::lock_guard lock(r.mutex);
    r.by_name[cls->m_lpszClassName] = cls;
}

} // namespace qcore::detail

using namespace qcore::detail;

CObject* CRuntimeClass::CreateObject() const {
    return m_pfnCreateObject ? m_pfnCreateObject() : nullptr;
}

BOOL CRuntimeClass::IsDerivedFrom(const CRuntimeClass* base) const {
    for (const CRuntimeClass* c = this; c; c = c->m_pBaseClass)
        if (c == base) return TRUE;
    return FALSE;
}

CRuntimeClass* CRuntimeClass::FromName(const char* class_name) {
    if (!class_name) return nullptr;
    auto& r = runtime_classes();
    std::lock_guard lock(r.mutex);
    auto it = r.by_name.find(class_name);
    return it == r.by_name.end() ? nullptr : it->second;
}

CObject* CRuntimeClass::CreateObject(const char* class_name) {
    CRuntimeClass* cls = FromName(class_name);
    return cls ? cls->CreateObject() : nullptr;
}

CRuntimeClass* CObject::GetThisClass() {
    static CRuntimeClass cls{"CObject", static_cast<int>(sizeof(CObject)), nullptr, nullptr};
    return &cls;
}

CRuntimeClass* CObject::GetRuntimeClass() const {
    return GetThisClass();
}

IMPLEMENT_DYNAMIC(CCmdTarget, CObject)
IMPLEMENT_DYNCREATE(CWnd, CCmdTarget)
IMPLEMENT_DYNAMIC(CDialog, CWnd)

LPCSTR AfxRegisterWndClass(UINT style, HCURSOR cursor, HBRUSH background, HICON icon) {
    static std::mutex mutex;
    static std::map<std::tuple<UINT, HCURSOR, HBRUSH, HICON>, CString> names;
    std::lock_guard lock(mutex);
    auto key = std::make_tuple(style, cursor, background, icon);
    auto it = names.find(key);
    if (it != names.end()) return it->second;
    CString name;
    name.Format("Afx:%x:%p:%p:%p", style, static_cast<void*>(cursor), static_cast<void*>(background),
                static_cast<void*>(icon));
    WNDCLASSA wc{style, DefWindowProcA, 0,          0,       AfxGetInstanceHandle(),
                 icon,  cursor,         background, nullptr, name};
    RegisterClassA(&wc);
    return names.emplace(key, name).first->second;
}

CWnd::~CWnd() {
    if (m_hWnd && ::IsWindow(m_hWnd)) ::DestroyWindow(m_hWnd);
    Detach();
}

CWnd* CWnd::FromHandle(HWND hwnd) {
    return windows().from_handle<CWnd>(hwnd, [](CWnd& w, void* h) { w.m_hWnd = static_cast<HWND>(h); });
}

CWnd* CWnd::FromHandlePermanent(HWND hwnd) {
    return windows().permanent(hwnd);
}

BOOL CWnd::Attach(HWND hwnd) {
    if (!hwnd || m_hWnd) return FALSE;
    m_hWnd = hwnd;
    windows().attach(hwnd, this);
    return TRUE;
}

HWND CWnd::Detach() {
    HWND h = m_hWnd;
    if (h) windows().detach(h, this);
    m_hWnd = nullptr;
    return h;
}

BOOL CWnd::SubclassWindow(HWND hwnd) {
    if (!Attach(hwnd)) return FALSE;
    m_pfnSuper = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&afx_wnd_proc)));
    return TRUE;
}

void CWnd::on_create_hook(HWND hwnd, void* self) {
    static_cast<CWnd*>(self)->SubclassWindow(hwnd);
}

BOOL CWnd::Create(LPCSTR class_name, LPCSTR window_name, DWORD style, const RECT& rect, CWnd* parent, UINT id,
                  void*) {
    return CreateEx(0, class_name, window_name, style | WS_CHILD, rect, parent, id);
}

BOOL CWnd::CreateEx(DWORD ex_style, LPCSTR class_name, LPCSTR window_name, DWORD style, const RECT& rect,
                    CWnd* parent, UINT id, LPVOID param) {
    const CRect r(rect);
    HMENU menu = (style & WS_CHILD) ? reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)) : nullptr;
    return CreateEx(ex_style, class_name, window_name, style, r.left, r.top, r.Width(), r.Height(),
                    parent ? parent->m_hWnd : nullptr, menu, param);
}

BOOL CWnd::CreateEx(DWORD ex_style, LPCSTR class_name, LPCSTR window_name, DWORD style, int x, int y,
                    int width, int height, HWND parent, HMENU id_or_menu, LPVOID param) {
    if (m_hWnd) return FALSE;
    if (!class_name) {
        register_class(kFrameworkClass, CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW, nullptr);
        class_name = kFrameworkClass;
    }
    set_create_hook(&CWnd::on_create_hook, this);
    HWND hwnd = ::CreateWindowExA(ex_style, class_name, window_name, style, x, y, width, height, parent,
                                  id_or_menu, AfxGetInstanceHandle(), param);
    set_create_hook(nullptr, nullptr);
    if (!hwnd) Detach();
    return hwnd != nullptr;
}

BOOL CWnd::DestroyWindow() {
    if (!m_hWnd) return FALSE;
    return ::DestroyWindow(m_hWnd);
}

void CWnd::ClientToScreen(LPRECT rect) const {
    ::ClientToScreen(m_hWnd, reinterpret_cast<LPPOINT>(&rect->left));
    ::ClientToScreen(m_hWnd, reinterpret_cast<LPPOINT>(&rect->right));
}

void CWnd::ScreenToClient(LPRECT rect) const {
    ::ScreenToClient(m_hWnd, reinterpret_cast<LPPOINT>(&rect->left));
    ::ScreenToClient(m_hWnd, reinterpret_cast<LPPOINT>(&rect->right));
}

void CWnd::MoveWindow(LPCRECT rect, BOOL repaint) {
    const CRect r(rect);
    MoveWindow(r.left, r.top, r.Width(), r.Height(), repaint);
}

BOOL CWnd::SetWindowPos(const CWnd* insert_after, int x, int y, int cx, int cy, UINT flags) {
    return ::SetWindowPos(m_hWnd, insert_after ? insert_after->m_hWnd : nullptr, x, y, cx, cy, flags);
}

void CWnd::GetWindowText(CString& text) const {
    const int n = ::GetWindowTextLengthA(m_hWnd);
    char* buf = text.GetBufferSetLength(n);
    ::GetWindowTextA(m_hWnd, buf, n + 1);
    text.ReleaseBuffer(n);
}

CDC* CWnd::GetDC() {
    return CDC::FromHandle(::GetDC(m_hWnd));
}

int CWnd::ReleaseDC(CDC* dc) {
    if (!dc) return 0;
    return ::ReleaseDC(m_hWnd, dc->m_hDC);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wparam, LPARAM lparam) {
    LRESULT result = 0;
    if (!OnWndMsg(message, wparam, lparam, &result)) result = DefWindowProc(message, wparam, lparam);
    return result;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wparam, LPARAM lparam) {
    if (m_pfnSuper && m_pfnSuper != &afx_wnd_proc)
        return ::CallWindowProcA(m_pfnSuper, m_hWnd, message, wparam, lparam);
    return ::DefWindowProcA(m_hWnd, message, wparam, lparam);
}

LRESULT CWnd::Default() {
    return DefWindowProc(t_current.message, t_current.wparam, t_current.lparam);
}

BOOL CWnd::OnCommand(WPARAM, LPARAM) {
    return FALSE;
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM w, LPARAM l, LRESULT* result) {
    LRESULT r = 0;
    const auto flags = static_cast<UINT>(w);
    switch (message) {
    case WM_CREATE:
        r = OnCreate(reinterpret_cast<LPCREATESTRUCT>(l));
        break;
    case WM_DESTROY:
        OnDestroy();
        break;
    case WM_NCDESTROY:
        OnNcDestroy();
        break;
    case WM_CLOSE:
        OnClose();
        break;
    case WM_PAINT:
        OnPaint();
        break;
    case WM_ERASEBKGND:
        r = OnEraseBkgnd(CDC::FromHandle(reinterpret_cast<HDC>(w)));
        break;
    case WM_SIZE:
        OnSize(flags, LOWORD(l), HIWORD(l));
        break;
    case WM_MOVE:
        OnMove(GET_X_LPARAM(l), GET_Y_LPARAM(l));
        break;
    case WM_SHOWWINDOW:
        OnShowWindow(static_cast<BOOL>(w), static_cast<UINT>(l));
        break;
    case WM_LBUTTONDOWN:
        OnLButtonDown(flags, point_of(l));
        break;
    case WM_LBUTTONUP:
        OnLButtonUp(flags, point_of(l));
        break;
    case WM_LBUTTONDBLCLK:
        OnLButtonDblClk(flags, point_of(l));
        break;
    case WM_RBUTTONDOWN:
        OnRButtonDown(flags, point_of(l));
        break;
    case WM_RBUTTONUP:
        OnRButtonUp(flags, point_of(l));
        break;
    case WM_RBUTTONDBLCLK:
        OnRButtonDblClk(flags, point_of(l));
        break;
    case WM_MBUTTONDOWN:
        OnMButtonDown(flags, point_of(l));
        break;
    case WM_MBUTTONUP:
        OnMButtonUp(flags, point_of(l));
        break;
    case WM_MOUSEMOVE:
        OnMouseMove(flags, point_of(l));
        break;
    case WM_MOUSEWHEEL:
        r = OnMouseWheel(LOWORD(w), static_cast<short>(HIWORD(w)), point_of(l));
        break;
    case WM_SETCURSOR:
        r = OnSetCursor(FromHandle(reinterpret_cast<HWND>(w)), LOWORD(l), HIWORD(l));
        break;
    case WM_KEYDOWN:
        OnKeyDown(flags, LOWORD(l), HIWORD(l));
        break;
    case WM_KEYUP:
        OnKeyUp(flags, LOWORD(l), HIWORD(l));
        break;
    case WM_CHAR:
        OnChar(flags, LOWORD(l), HIWORD(l));
        break;
    case WM_SETFOCUS:
        OnSetFocus(FromHandle(reinterpret_cast<HWND>(w)));
        break;
    case WM_KILLFOCUS:
        OnKillFocus(FromHandle(reinterpret_cast<HWND>(w)));
        break;
    case WM_COMMAND:
        if (!OnCommand(w, l)) return FALSE;
        break;
    default:
        return FALSE;
    }
    *result = r;
    return TRUE;
}

int CWnd::OnCreate(LPCREATESTRUCT) {
    return static_cast<int>(Default());
}
void CWnd::OnDestroy() {
    Default();
}
void CWnd::OnNcDestroy() {
    Default();
    Detach();
    m_pfnSuper = nullptr;
    PostNcDestroy();
}
void CWnd::OnClose() {
    Default();
}
void CWnd::OnPaint() {
    Default();
}
BOOL CWnd::OnEraseBkgnd(CDC*) {
    return static_cast<BOOL>(Default());
}
void CWnd::OnSize(UINT, int, int) {
    Default();
}
void CWnd::OnMove(int, int) {
    Default();
}
void CWnd::OnShowWindow(BOOL, UINT) {
    Default();
}
void CWnd::OnLButtonDown(UINT, CPoint) {
    Default();
}
void CWnd::OnLButtonUp(UINT, CPoint) {
    Default();
}
void CWnd::OnLButtonDblClk(UINT, CPoint) {
    Default();
}
void CWnd::OnRButtonDown(UINT, CPoint) {
    Default();
}
void CWnd::OnRButtonUp(UINT, CPoint) {
    Default();
}
void CWnd::OnRButtonDblClk(UINT, CPoint) {
    Default();
}
void CWnd::OnMButtonDown(UINT, CPoint) {
    Default();
}
void CWnd::OnMButtonUp(UINT, CPoint) {
    Default();
}
void CWnd::OnMouseMove(UINT, CPoint) {
    Default();
}
BOOL CWnd::OnMouseWheel(UINT, short, CPoint) {
    return static_cast<BOOL>(Default());
}
BOOL CWnd::OnSetCursor(CWnd*, UINT, UINT) {
    return static_cast<BOOL>(Default());
}
void CWnd::OnKeyDown(UINT, UINT, UINT) {
    Default();
}
void CWnd::OnKeyUp(UINT, UINT, UINT) {
    Default();
}
void CWnd::OnChar(UINT, UINT, UINT) {
    Default();
}
void CWnd::OnSetFocus(CWnd*) {
    Default();
}
void CWnd::OnKillFocus(CWnd*) {
    Default();
}

CDialog::CDialog(UINT template_id, CWnd* parent) : m_nIDHelp(template_id), m_pParentWnd(parent) {}

CDialog::CDialog(LPCSTR template_name, CWnd* parent)
    : m_pParentWnd(parent),
      template_name_(template_name && !IS_INTRESOURCE(template_name) ? template_name : "") {
    if (template_name && IS_INTRESOURCE(template_name))
        m_nIDHelp = static_cast<UINT>(reinterpret_cast<ULONG_PTR>(template_name));
    m_lpszTemplateName = template_name_.IsEmpty() ? nullptr : template_name_.GetString();
}

// Dialog templates are not available on this platform: the window is a plain pop-up of a fixed size,
// centred over its owner.
BOOL CDialog::create_window(CWnd* parent, bool visible) {
    register_class(kDialogClass, CS_DBLCLKS, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    HWND owner = parent ? parent->m_hWnd : nullptr;
    RECT area;
    ::GetWindowRect(owner ? owner : ::GetDesktopWindow(), &area);
    const CRect a(area);
    const int w = 320, h = 240;
    const int x = a.left + (a.Width() - w) / 2, y = a.top + (a.Height() - h) / 2;
    ended_ = false;
    m_nModalResult = -1;
    if (!CreateEx(0, kDialogClass, "", WS_POPUP | WS_CAPTION | WS_SYSMENU | (visible ? WS_VISIBLE : 0), x, y,
                  w, h, owner, nullptr))
        return FALSE;
    SendMessage(WM_INITDIALOG, 0, 0);
    return TRUE;
}

BOOL CDialog::Create(UINT template_id, CWnd* parent) {
    m_nIDHelp = template_id;
    if (parent) m_pParentWnd = parent;
    modal_ = false;
    return create_window(m_pParentWnd, false);
}

INT_PTR CDialog::DoModal() {
    CWnd* parent = m_pParentWnd ? m_pParentWnd : AfxGetMainWnd();
    HWND owner = parent ? parent->m_hWnd : nullptr;
    const bool owner_was_enabled = owner && ::IsWindowEnabled(owner);
    modal_ = true;
    if (!create_window(parent, false)) {
        modal_ = false;
        return -1;
    }
    if (owner_was_enabled) ::EnableWindow(owner, FALSE);
    // A dialog that refuses an answer (OnOK that fails validation) is asked again, a bounded number of times.
    for (int attempt = 0; attempt < 8 && !ended_; ++attempt) {
        CString title;
        GetWindowText(title);
        qcore::DialogRequest request;
        request.kind = "modal";
        request.template_id = m_nIDHelp;
        request.title = title;
        request.dialog = this;
        request.attempt = attempt;
        const INT_PTR answer = qcore::show_dialog(request);
        if (answer == IDOK)
            OnOK();
        else if (answer == IDCANCEL)
            OnCancel();
        else
            EndDialog(static_cast<int>(answer));
    }
    if (!ended_) EndDialog(IDCANCEL);
    if (owner_was_enabled) ::EnableWindow(owner, TRUE);
    DestroyWindow();
    modal_ = false;
    return m_nModalResult;
}

void CDialog::EndDialog(int result) {
    m_nModalResult = result;
    ended_ = true;
    if (!modal_ && m_hWnd) ShowWindow(SW_HIDE);
}

BOOL CDialog::OnInitDialog() {
    return TRUE;
}

void CDialog::OnOK() {
    if (UpdateData(TRUE)) EndDialog(IDOK);
}

void CDialog::OnCancel() {
    EndDialog(IDCANCEL);
}

BOOL CDialog::UpdateData(BOOL) {
    return TRUE;
}

BOOL CDialog::OnWndMsg(UINT message, WPARAM w, LPARAM l, LRESULT* result) {
    switch (message) {
    case WM_INITDIALOG:
        *result = OnInitDialog();
        return TRUE;
    case WM_CLOSE:
        OnCancel();
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(w) == IDOK && !l) {
            OnOK();
            return TRUE;
        }
        if (LOWORD(w) == IDCANCEL && !l) {
            OnCancel();
            return TRUE;
        }
        break;
    default:
        break;
    }
    return CWnd::OnWndMsg(message, w, l, result);
}

BOOL peek_and_pump() {
    MSG msg;
    BOOL running = TRUE;
    // Bounded: a paint handler that never validates its window must not hold the caller here for ever.
    for (int handled = 0; handled < 10000 && ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE); ++handled) {
        CWinThread* thread = AfxGetThread();
        const BOOL more = thread ? thread->PumpMessage() : [] {
            MSG m;
            if (!::GetMessageA(&m, nullptr, 0, 0)) return FALSE;
            ::TranslateMessage(&m);
            ::DispatchMessageA(&m);
            return TRUE;
        }();
        if (!more) {
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            running = FALSE;
            break;
        }
    }
    delete_temporary_objects();
    windows().delete_temporaries([](CWnd& w) { w.m_hWnd = nullptr; }); // a temporary never owns its window
    return running;
}
