#include <qcore/platform/win32/afx_handle_map.h>
#include <qcore/platform/win32/afxgdi.h>
#include <qcore/platform/win32/afxwin.h>

namespace qcore::detail {
namespace {

HandleMap<CGdiObject>& gdi_objects() {
    static HandleMap<CGdiObject> map;
    return map;
}

HandleMap<CDC>& dcs() {
    static HandleMap<CDC> map;
    return map;
}

// Temporary wrappers hold the handle without the map entry of an attached object.
template <class T> T* wrap_gdi(HGDIOBJ h) {
    return gdi_objects().from_handle<T>(h, [](T& o, void* handle) { o.m_hObject = handle; });
}

} // namespace

void delete_temporary_objects() {
    gdi_objects().delete_temporaries([](CGdiObject& o) { o.m_hObject = nullptr; });
    dcs().delete_temporaries([](CDC& dc) { dc.m_hDC = dc.m_hAttribDC = nullptr; });
}

} // namespace qcore::detail

using namespace qcore::detail;

CGdiObject::~CGdiObject() {
    DeleteObject();
}

CGdiObject* CGdiObject::FromHandle(HGDIOBJ object) {
    return wrap_gdi<CGdiObject>(object);
}

BOOL CGdiObject::Attach(HGDIOBJ object) {
    if (!object || m_hObject) return FALSE;
    m_hObject = object;
    gdi_objects().attach(object, this);
    return TRUE;
}

HGDIOBJ CGdiObject::Detach() {
    HGDIOBJ h = m_hObject;
    if (h) gdi_objects().detach(h, this);
    m_hObject = nullptr;
    return h;
}

BOOL CGdiObject::DeleteObject() {
    if (!m_hObject) return FALSE;
    return ::DeleteObject(Detach());
}

BOOL CGdiObject::CreateStockObject(int index) {
    HGDIOBJ h = ::GetStockObject(index);
    if (!h || m_hObject) return FALSE;
    m_hObject = h; // stock objects are shared: not entered in the map
    return TRUE;
}

CPen* CPen::FromHandle(HPEN pen) {
    return wrap_gdi<CPen>(pen);
}

CBrush* CBrush::FromHandle(HBRUSH brush) {
    return wrap_gdi<CBrush>(brush);
}

CFont* CFont::FromHandle(HFONT font) {
    return wrap_gdi<CFont>(font);
}

BOOL CFont::CreatePointFont(int point_size, LPCSTR face, CDC*) {
    const int height = -((point_size * 96 + 360) / 720);
    return CreateFont(height, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, DEFAULT_QUALITY, 0, face);
}

CBitmap* CBitmap::FromHandle(HBITMAP bitmap) {
    return wrap_gdi<CBitmap>(bitmap);
}

BOOL CBitmap::CreateCompatibleBitmap(CDC* dc, int width, int height) {
    return Attach(::CreateCompatibleBitmap(dc ? dc->m_hDC : nullptr, width, height));
}

CDC::~CDC() {
    if (m_hDC) DeleteDC();
}

CDC* CDC::FromHandle(HDC hdc) {
    return dcs().from_handle<CDC>(hdc,
                                  [](CDC& dc, void* h) { dc.m_hDC = dc.m_hAttribDC = static_cast<HDC>(h); });
}

BOOL CDC::Attach(HDC hdc) {
    if (!hdc || m_hDC) return FALSE;
    m_hDC = m_hAttribDC = hdc;
    dcs().attach(hdc, this);
    return TRUE;
}

HDC CDC::Detach() {
    HDC h = m_hDC;
    if (h) dcs().detach(h, this);
    m_hDC = m_hAttribDC = nullptr;
    return h;
}

BOOL CDC::CreateCompatibleDC(CDC* dc) {
    return Attach(::CreateCompatibleDC(dc ? dc->m_hDC : nullptr));
}

BOOL CDC::DeleteDC() {
    if (!m_hDC) return FALSE;
    return ::DeleteDC(Detach());
}

CPen* CDC::SelectObject(CPen* pen) {
    return pen ? CPen::FromHandle(static_cast<HPEN>(::SelectObject(m_hDC, pen->m_hObject))) : nullptr;
}

CBrush* CDC::SelectObject(CBrush* brush) {
    return brush ? CBrush::FromHandle(static_cast<HBRUSH>(::SelectObject(m_hDC, brush->m_hObject))) : nullptr;
}

CFont* CDC::SelectObject(CFont* font) {
    return font ? CFont::FromHandle(static_cast<HFONT>(::SelectObject(m_hDC, font->m_hObject))) : nullptr;
}

CBitmap* CDC::SelectObject(CBitmap* bitmap) {
    return bitmap ? CBitmap::FromHandle(static_cast<HBITMAP>(::SelectObject(m_hDC, bitmap->m_hObject)))
                  : nullptr;
}

CGdiObject* CDC::SelectObject(CGdiObject* object) {
    return object ? CGdiObject::FromHandle(::SelectObject(m_hDC, object->m_hObject)) : nullptr;
}

CGdiObject* CDC::SelectStockObject(int index) {
    return CGdiObject::FromHandle(::SelectObject(m_hDC, ::GetStockObject(index)));
}

CPen* CDC::GetCurrentPen() const {
    return CPen::FromHandle(static_cast<HPEN>(::GetCurrentObject(m_hDC, OBJ_PEN)));
}

CBrush* CDC::GetCurrentBrush() const {
    return CBrush::FromHandle(static_cast<HBRUSH>(::GetCurrentObject(m_hDC, OBJ_BRUSH)));
}

CFont* CDC::GetCurrentFont() const {
    return CFont::FromHandle(static_cast<HFONT>(::GetCurrentObject(m_hDC, OBJ_FONT)));
}

CBitmap* CDC::GetCurrentBitmap() const {
    return CBitmap::FromHandle(static_cast<HBITMAP>(::GetCurrentObject(m_hDC, OBJ_BITMAP)));
}

void CDC::FillSolidRect(LPCRECT rect, COLORREF color) {
    HBRUSH brush = ::CreateSolidBrush(color);
    ::FillRect(m_hDC, rect, brush);
    ::DeleteObject(brush);
}

void CDC::FillSolidRect(int x, int y, int cx, int cy, COLORREF color) {
    const RECT r{x, y, x + cx, y + cy};
    FillSolidRect(&r, color);
}

CPoint CDC::MoveTo(int x, int y) {
    POINT previous{};
    ::MoveToEx(m_hDC, x, y, &previous);
    return CPoint(previous);
}

CSize CDC::GetTextExtent(LPCSTR text, int length) const {
    SIZE s{0, 0};
    ::GetTextExtentPoint32A(m_hDC, text, length, &s);
    return CSize(s);
}

CPaintDC::CPaintDC(CWnd* wnd) : m_hWnd(wnd ? wnd->m_hWnd : nullptr) {
    Attach(::BeginPaint(m_hWnd, &m_ps));
}

CPaintDC::~CPaintDC() {
    Detach();
    ::EndPaint(m_hWnd, &m_ps);
}

CClientDC::CClientDC(CWnd* wnd) : m_hWnd(wnd ? wnd->m_hWnd : nullptr) {
    Attach(::GetDC(m_hWnd));
}

CClientDC::~CClientDC() {
    ::ReleaseDC(m_hWnd, Detach());
}
