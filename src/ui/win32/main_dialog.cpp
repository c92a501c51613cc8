#include "ui/win32/main_dialog.h"

#include <windows.h>

#include "app/resource_ids.h"
#include "ui/win32/win32_resources.h"
#include "ui/win32/win32_text.h"

namespace Tolvane {
namespace Win32 {

namespace {

void CenterWindow(HWND hwnd);

INT_PTR CALLBACK AboutProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            // Its template does not place it: over the main dialog, as the
            // dialog framework places a modal dialog over its owner.
            CenterWindow(hwnd);
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                ::EndDialog(hwnd, LOWORD(wParam));
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}

// Centres a top-level window over its owner, or over the work area of its
// monitor when it has none, kept inside that work area.
void CenterWindow(HWND hwnd) {
    RECT window{};
    ::GetWindowRect(hwnd, &window);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    ::GetMonitorInfoW(::MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT& work = monitor.rcWork;
    RECT around = work;
    const HWND owner = ::GetWindow(hwnd, GW_OWNER);
    if (owner != nullptr && ::IsWindowVisible(owner) && !::IsIconic(owner)) {
        ::GetWindowRect(owner, &around);
    }
    const int width = window.right - window.left;
    const int height = window.bottom - window.top;
    int x = (around.left + around.right - width) / 2;
    int y = (around.top + around.bottom - height) / 2;
    if (x + width > work.right) {
        x = work.right - width;
    }
    if (x < work.left) {
        x = work.left;
    }
    if (y + height > work.bottom) {
        y = work.bottom - height;
    }
    if (y < work.top) {
        y = work.top;
    }
    ::SetWindowPos(hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

HCURSOR WaitCursor() {
    return ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32514));  // IDC_WAIT
}

}  // namespace

INT_PTR ShowAboutBox(HINSTANCE resources, HWND owner, ELanguage language) {
    const DLGTEMPLATE* about = DialogTemplate(resources, IDD_ABOUTBOX, language);
    if (about == nullptr) {
        return -1;
    }
    return ::DialogBoxIndirectParamW(resources, about, owner, AboutProc, 0);
}

CMainDialog::CMainDialog(HINSTANCE resources, COperationHost& host, ELanguage language,
                         CMessageBoxes* boxes)
    : m_hInstance(resources),
      m_language(language),
      m_hIcon(::LoadIconW(resources, MAKEINTRESOURCEW(IDR_MAINFRAME))),
      m_ownBoxes(language),
      m_dlg(host, boxes != nullptr ? *boxes : m_ownBoxes, *this, m_field) {}

CMainDialog::~CMainDialog() {
    if (m_hwnd != nullptr && !m_bModal) {
        ::DestroyWindow(m_hwnd);
    }
}

INT_PTR CMainDialog::RunModal(HWND owner) {
    m_bModal = true;
    const DLGTEMPLATE* main = DialogTemplate(m_hInstance, IDD_MAIN_DIALOG, m_language);
    if (main == nullptr) {
        return -1;
    }
    return ::DialogBoxIndirectParamW(m_hInstance, main, owner, &CMainDialog::DialogProc,
                                     reinterpret_cast<LPARAM>(this));
}

HWND CMainDialog::CreateModeless(HWND owner) {
    m_bModal = false;
    const DLGTEMPLATE* main = DialogTemplate(m_hInstance, IDD_MAIN_DIALOG, m_language);
    if (main == nullptr) {
        return nullptr;
    }
    const HWND hwnd = ::CreateDialogIndirectParamW(
        m_hInstance, main, owner, &CMainDialog::DialogProc, reinterpret_cast<LPARAM>(this));
    return hwnd != nullptr && ::IsWindow(hwnd) ? hwnd : nullptr;
}

INT_PTR CALLBACK CMainDialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CMainDialog* self = nullptr;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<CMainDialog*>(lParam);
        ::SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        self->m_hwnd = hwnd;
    } else {
        self = reinterpret_cast<CMainDialog*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
    }
    if (self == nullptr) {
        return FALSE;
    }
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(hwnd, DWLP_USER, 0);
        self->m_hwnd = nullptr;
        return FALSE;
    }
    return self->OnMessage(message, wParam, lParam);
}

INT_PTR CMainDialog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            m_ownBoxes.SetOwner(m_hwnd);
            m_field.Attach(::GetDlgItem(m_hwnd, IDC_TARGET_ID), m_dlg.TargetField());
            RECT before{};
            ::GetWindowRect(m_hwnd, &before);
            const HWND hwnd = m_hwnd;
            const BOOL result = m_dlg.OnInitDialog();
            // A dialog that its initialisation did not place is centred, as
            // the dialog framework does.
            RECT after{};
            if (!m_dlg.IsEnded() && ::IsWindow(hwnd) && ::GetWindowRect(hwnd, &after) &&
                ::EqualRect(&before, &after)) {
                CenterWindow(hwnd);
            }
            return result;
        }
        case WM_COMMAND: {
            const UINT id = LOWORD(wParam);
            const UINT code = HIWORD(wParam);
            const HWND from = reinterpret_cast<HWND>(lParam);
            if (id == IDC_TARGET_ID && from != nullptr && from == m_field.Window()) {
                m_field.OnParentCommand(code);
                return TRUE;
            }
            if (code == BN_CLICKED && m_dlg.OnCommand(id)) {
                return TRUE;
            }
            return FALSE;
        }
        case WM_SYSCOMMAND:
            if (m_dlg.OnSysCommand(static_cast<UINT>(wParam))) {
                ::SetWindowLongPtrW(m_hwnd, DWLP_MSGRESULT, 0);
                return TRUE;
            }
            return FALSE;
        case WM_PAINT:
            return OnPaint() ? TRUE : FALSE;
        case WM_QUERYDRAGICON:
            return reinterpret_cast<INT_PTR>(m_hIcon);
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORSTATIC:
            if (reinterpret_cast<HWND>(lParam) == m_field.Window()) {
                m_field.OnParentCtlColor(reinterpret_cast<HDC>(wParam));
            }
            // The colours stay the system's.
            return FALSE;
        case WM_SETCURSOR:
            if (m_nWaitDepth > 0) {
                ::SetCursor(WaitCursor());
                ::SetWindowLongPtrW(m_hwnd, DWLP_MSGRESULT, TRUE);
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}

bool CMainDialog::OnPaint() {
    if (!::IsIconic(m_hwnd)) {
        return false;
    }
    PAINTSTRUCT paint{};
    const HDC dc = ::BeginPaint(m_hwnd, &paint);
    ::SendMessageW(m_hwnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client{};
    ::GetClientRect(m_hwnd, &client);
    const CFieldPoint at =
        CTolvaneDlg::IconPosition(client.right - client.left, client.bottom - client.top,
                                  ::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON));
    ::DrawIcon(dc, at.x, at.y, m_hIcon);
    ::EndPaint(m_hwnd, &paint);
    return true;
}

bool CMainDialog::HasSystemMenu() {
    return ::GetSystemMenu(m_hwnd, FALSE) != nullptr;
}

void CMainDialog::AppendSystemMenuSeparator() {
    ::AppendMenuW(::GetSystemMenu(m_hwnd, FALSE), MF_SEPARATOR, 0, nullptr);
}

void CMainDialog::AppendSystemMenuItem(UINT id, const std::string& text) {
    ::AppendMenuW(::GetSystemMenu(m_hwnd, FALSE), MF_STRING, id, WidenCp932(text).c_str());
}

std::string CMainDialog::LoadString(UINT id) {
    return NarrowCp932(LoadStringIn(m_hInstance, id, m_language));
}

void CMainDialog::SetIcon(bool big) {
    ::SendMessageW(m_hwnd, WM_SETICON, big ? ICON_BIG : ICON_SMALL,
                   reinterpret_cast<LPARAM>(m_hIcon));
}

bool CMainDialog::IsReadOnlyChecked() {
    return ::IsDlgButtonChecked(m_hwnd, IDC_READONLY) == BST_CHECKED;
}

void CMainDialog::SetReadOnlyChecked(bool checked) {
    ::CheckDlgButton(m_hwnd, IDC_READONLY, checked ? BST_CHECKED : BST_UNCHECKED);
}

void CMainDialog::ShowAboutBox() {
    Win32::ShowAboutBox(m_hInstance, m_hwnd, m_language);
}

void CMainDialog::EndDialog(int result) {
    if (m_hwnd == nullptr) {
        return;
    }
    if (m_bModal) {
        ::EndDialog(m_hwnd, result);
    } else {
        ::DestroyWindow(m_hwnd);
    }
}

void CMainDialog::BeginWait() {
    const HCURSOR previous = ::SetCursor(WaitCursor());
    if (m_nWaitDepth++ == 0) {
        m_hCursorBeforeWait = previous;
    }
}

void CMainDialog::EndWait() {
    if (m_nWaitDepth == 0) {
        return;
    }
    if (--m_nWaitDepth == 0) {
        ::SetCursor(m_hCursorBeforeWait != nullptr
                        ? m_hCursorBeforeWait
                        : ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)));
        m_hCursorBeforeWait = nullptr;
    }
}

}  // namespace Win32
}  // namespace Tolvane
