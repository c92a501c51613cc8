#include "ui/win32/win32_field.h"

#include <windows.h>
// After windows.h.
#include <commctrl.h>
#include <imm.h>

#include <vector>

#include "ui/win32/win32_text.h"

namespace Tolvane {
namespace Win32 {

namespace {

// The window property that leads from the edit window to its field.
constexpr wchar_t kFieldProperty[] = L"Tolvane.Field";

CFieldRect ToFieldRect(const RECT& rect) {
    return CFieldRect{rect.left, rect.top, rect.right, rect.bottom};
}

CFieldPoint ToFieldPoint(const POINT& point) {
    return CFieldPoint{point.x, point.y};
}

POINT ClientOriginOnScreen(HWND hwnd) {
    POINT origin{0, 0};
    ::ClientToScreen(hwnd, &origin);
    return origin;
}

}  // namespace

CWin32FieldControl::~CWin32FieldControl() {
    Detach();
}

bool CWin32FieldControl::Attach(HWND edit, CNumericEdit& field) {
    if (m_hwnd != nullptr || edit == nullptr || !::IsWindow(edit) ||
        ::GetPropW(edit, kFieldProperty) != nullptr) {
        return false;
    }
    m_hwnd = edit;
    m_pField = &field;
    ::SetPropW(edit, kFieldProperty, this);
    m_pfnDefault = reinterpret_cast<WNDPROC>(::SetWindowLongPtrW(
        edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWin32FieldControl::SubclassProc)));
    return true;
}

void CWin32FieldControl::Detach() {
    if (m_hwnd == nullptr) {
        return;
    }
    if (::IsWindow(m_hwnd)) {
        ::SetWindowLongPtrW(m_hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnDefault));
        ::RemovePropW(m_hwnd, kFieldProperty);
    }
    m_hwnd = nullptr;
    m_pfnDefault = nullptr;
    m_pField = nullptr;
}

LRESULT CALLBACK CWin32FieldControl::SubclassProc(HWND hwnd, UINT message, WPARAM wParam,
                                                  LPARAM lParam) {
    auto* self = static_cast<CWin32FieldControl*>(::GetPropW(hwnd, kFieldProperty));
    if (self == nullptr || self->m_hwnd != hwnd) {
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    }
    if (message == WM_NCDESTROY) {
        const WNDPROC original = self->m_pfnDefault;
        self->Detach();
        return ::CallWindowProcW(original, hwnd, message, wParam, lParam);
    }
    return self->OnMessage(message, wParam, lParam);
}

LRESULT CWin32FieldControl::Default(UINT message, WPARAM wParam, LPARAM lParam) {
    return ::CallWindowProcW(m_pfnDefault, m_hwnd, message, wParam, lParam);
}

LRESULT CWin32FieldControl::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    CNumericEdit& field = *m_pField;
    switch (message) {
        case WM_CHAR:
            if (!field.OnChar(CharCodeCp932(static_cast<wchar_t>(wParam)),
                              static_cast<DWORD>(lParam))) {
                return 0;
            }
            break;
        case WM_PASTE:
            // Carried out through DefaultPaste, or refused: never again here.
            field.OnPaste();
            return 0;
        case WM_KEYDOWN:
            if (field.OnKeyDown(static_cast<UINT>(wParam), ::GetAsyncKeyState(VK_CONTROL) < 0)) {
                return 0;
            }
            break;
        case WM_KEYUP:
            if (field.OnKeyUp(static_cast<UINT>(wParam))) {
                return 0;
            }
            break;
        case WM_CONTEXTMENU:
            if (field.OnContextMenu()) {
                return 0;
            }
            break;
        case WM_MOUSEWHEEL:
            if (field.OnMouseWheel(GET_WHEEL_DELTA_WPARAM(wParam))) {
                return 0;
            }
            break;
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            if (header != nullptr && m_spin != nullptr && header->hwndFrom == m_spin &&
                header->code == static_cast<UINT>(UDN_DELTAPOS)) {
                const auto* change = reinterpret_cast<const NMUPDOWN*>(lParam);
                if (field.OnSpinDeltaPos(change->iDelta)) {
                    // Handled; 0 lets the spin go on (its position was just
                    // reset anyway).
                    return 0;
                }
            }
            break;
        }
        case WM_SETTEXT: {
            const LRESULT result = Default(message, wParam, lParam);
            // Text set by anyone but the field takes the typed text's road.
            const HWND parent = ::GetParent(m_hwnd);
            if (m_nOwnText == 0 && parent != nullptr) {
                const int id = ::GetDlgCtrlID(m_hwnd);
                ::SendMessageW(parent, WM_COMMAND, MAKEWPARAM(id, EN_UPDATE),
                               reinterpret_cast<LPARAM>(m_hwnd));
            }
            return result;
        }
        case WM_DESTROY:
            field.OnDestroy();
            break;
        case WM_ENABLE:
            field.OnEnable(wParam != 0);
            break;
        case EM_SETREADONLY:
            field.OnSetReadOnly(wParam != 0);
            break;
        case WM_PAINT:
        case WM_PRINT: {
            field.OnPaintStarting();
            const LRESULT result = Default(message, wParam, lParam);
            field.OnPaintFinished();
            return result;
        }
        case WM_PRINTCLIENT: {
            // The edit's painting may leave the clipping it was given (the
            // spin cut out) in the caller's device context; the spin prints
            // into the same context next, so its state is kept.
            const HDC dc = reinterpret_cast<HDC>(wParam);
            const int saved = ::SaveDC(dc);
            const LRESULT result = Default(message, wParam, lParam);
            if (saved != 0) {
                ::RestoreDC(dc, saved);
            }
            if (!HasSpin()) {
                return result;
            }
            POINT origin{0, 0};
            ::GetWindowOrgEx(dc, &origin);
            const auto spinOrigin = field.OnPrintClient(ToFieldPoint(origin),
                                                        ToFieldPoint(ClientOriginOnScreen(m_hwnd)),
                                                        ToFieldPoint(ClientOriginOnScreen(m_spin)));
            if (spinOrigin) {
                POINT previous{0, 0};
                ::SetWindowOrgEx(dc, spinOrigin->x, spinOrigin->y, &previous);
                ::SendMessageW(m_spin, WM_PRINT, wParam, lParam);
                ::SetWindowOrgEx(dc, previous.x, previous.y, nullptr);
            }
            return result;
        }
        case WM_THEMECHANGED:
            field.OnThemeChanged();
            break;
        case WM_TIMER:
            if (field.OnTimer(static_cast<UINT>(wParam))) {
                return 0;
            }
            break;
        default:
            break;
    }
    return Default(message, wParam, lParam);
}

void CWin32FieldControl::OnParentCommand(UINT code) {
    if (m_pField == nullptr) {
        return;
    }
    if (code == EN_UPDATE) {
        ++m_nUpdates;
    }
    if (m_nOwnText != 0) {
        return;
    }
    if (code == EN_UPDATE || code == EN_SETFOCUS || code == EN_KILLFOCUS) {
        m_pField->OnNotification(code);
    }
}

void CWin32FieldControl::OnParentCtlColor(HDC dc) {
    if (m_pField == nullptr) {
        return;
    }
    RECT spin{};
    if (m_spin != nullptr) {
        ::GetWindowRect(m_spin, &spin);
    }
    RECT window{};
    ::GetWindowRect(m_hwnd, &window);
    const auto cut =
        m_pField->OnCtlColor(ToFieldRect(spin), ToFieldPoint(ClientOriginOnScreen(m_hwnd)),
                             CFieldPoint{window.left, window.top});
    if (!cut) {
        return;
    }
    const HRGN region = ::CreateRectRgn(cut->left, cut->top, cut->right, cut->bottom);
    if (region != nullptr) {
        ::ExtSelectClipRgn(dc, region, RGN_DIFF);
        ::DeleteObject(region);
    }
}

std::wstring CWin32FieldControl::WideText() const {
    const int length = ::GetWindowTextLengthW(m_hwnd);
    if (length <= 0) {
        return std::wstring();
    }
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = ::GetWindowTextW(m_hwnd, &text[0], length + 1);
    text.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
    return text;
}

std::string CWin32FieldControl::GetText() const {
    return NarrowCp932(WideText());
}

void CWin32FieldControl::SetText(const std::string& text) {
    ++m_nOwnText;
    ::SetWindowTextW(m_hwnd, WidenCp932(text).c_str());
    --m_nOwnText;
}

CFieldSel CWin32FieldControl::GetSel() const {
    DWORD start = 0;
    DWORD end = 0;
    ::SendMessageW(m_hwnd, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                   reinterpret_cast<LPARAM>(&end));
    const std::wstring text = WideText();
    return CFieldSel{BytePosition(text, static_cast<int>(start)),
                     BytePosition(text, static_cast<int>(end))};
}

void CWin32FieldControl::SetSel(int start, int end) {
    const std::wstring text = WideText();
    ::SendMessageW(m_hwnd, EM_SETSEL, static_cast<WPARAM>(UnitPosition(text, start)),
                   static_cast<LPARAM>(UnitPosition(text, end)));
}

void CWin32FieldControl::ScrollCaret() {
    ::SendMessageW(m_hwnd, EM_SCROLLCARET, 0, 0);
}

bool CWin32FieldControl::IsReadOnly() const {
    return (::GetWindowLongW(m_hwnd, GWL_STYLE) & ES_READONLY) != 0;
}

void CWin32FieldControl::SetFocus() {
    // Through the dialog manager, so that the default push button's frame
    // goes back to the dialog's default button with the focus.
    ::SendMessageW(::GetParent(m_hwnd), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(m_hwnd), TRUE);
}

void CWin32FieldControl::Beep(UINT type) {
    ::MessageBeep(type);
}

void CWin32FieldControl::DetachInputMethod() {
    ::ImmAssociateContext(m_hwnd, nullptr);
}

void CWin32FieldControl::SetMargins(int left, int right) {
    ::SendMessageW(m_hwnd, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELPARAM(left, right));
}

CFieldRect CWin32FieldControl::GetClientRect() const {
    RECT client{};
    ::GetClientRect(m_hwnd, &client);
    return ToFieldRect(client);
}

void CWin32FieldControl::DefaultPaste() {
    const std::wstring before = WideText();
    const unsigned updates = m_nUpdates;
    Default(WM_PASTE, 0, 0);
    // The field must see the pasted text before this returns; an edit that
    // stays silent while its redrawing is off gets its update here.
    if (m_nUpdates == updates && WideText() != before) {
        OnParentCommand(EN_UPDATE);
    }
}

void CWin32FieldControl::SetRedraw(bool on) {
    ::SendMessageW(m_hwnd, WM_SETREDRAW, on ? TRUE : FALSE, 0);
}

void CWin32FieldControl::InvalidateAll() {
    ::InvalidateRect(m_hwnd, nullptr, TRUE);
}

void CWin32FieldControl::StartTimer(UINT id, UINT periodMs) {
    ::SetTimer(m_hwnd, id, periodMs, nullptr);
}

void CWin32FieldControl::StopTimer(UINT id) {
    ::KillTimer(m_hwnd, id);
}

bool CWin32FieldControl::HasSpin() const {
    return m_spin != nullptr && ::IsWindow(m_spin);
}

bool CWin32FieldControl::CreateSpin(const CSpinSetup& setup) {
    const HINSTANCE instance =
        reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(m_hwnd, GWLP_HINSTANCE));
    const CFieldRect& r = setup.rect;
    m_spin = ::CreateWindowExW(0, UPDOWN_CLASSW, L"", setup.dwStyle | WS_CHILD | WS_VISIBLE, r.left,
                               r.top, r.Width(), r.Height(), m_hwnd,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(setup.nControlId)),
                               instance, nullptr);
    if (m_spin == nullptr) {
        return false;
    }
    std::vector<UDACCEL> accel;
    for (const CSpinAccel& step : setup.accel) {
        accel.push_back(UDACCEL{step.nSec, step.nInc});
    }
    ::SendMessageW(m_spin, UDM_SETACCEL, accel.size(), reinterpret_cast<LPARAM>(accel.data()));
    ::SendMessageW(m_spin, UDM_SETRANGE, 0,
                   MAKELPARAM(static_cast<WORD>(setup.nUpper), static_cast<WORD>(setup.nLower)));
    SetSpinPos(setup.nPos);
    return true;
}

CFieldRect CWin32FieldControl::GetSpinRect() const {
    RECT rect{};
    ::GetWindowRect(m_spin, &rect);
    ::MapWindowPoints(nullptr, m_hwnd, reinterpret_cast<POINT*>(&rect), 2);
    return ToFieldRect(rect);
}

void CWin32FieldControl::MoveSpin(const CFieldRect& rect) {
    ::MoveWindow(m_spin, rect.left, rect.top, rect.Width(), rect.Height(), FALSE);
}

void CWin32FieldControl::ShowSpin() {
    ::ShowWindow(m_spin, SW_SHOW);
}

bool CWin32FieldControl::IsSpinVisible() const {
    return ::IsWindowVisible(m_spin) != FALSE;
}

void CWin32FieldControl::EnableSpin(bool enable) {
    ::EnableWindow(m_spin, enable ? TRUE : FALSE);
}

void CWin32FieldControl::SetSpinPos(int pos) {
    ::SendMessageW(m_spin, UDM_SETPOS, 0, MAKELPARAM(static_cast<WORD>(pos), 0));
}

void CWin32FieldControl::PressSpin(CFieldPoint at, bool down) {
    ::SendMessageW(m_spin, down ? WM_LBUTTONDOWN : WM_LBUTTONUP, down ? MK_LBUTTON : 0,
                   MAKELPARAM(at.x, at.y));
}

void CWin32FieldControl::RedrawSpinNow() {
    ::RedrawWindow(m_spin, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
}

void CWin32FieldControl::ReparentSpinToOwner() {
    ::SetParent(m_spin, ::GetParent(m_hwnd));
}

}  // namespace Win32
}  // namespace Tolvane
