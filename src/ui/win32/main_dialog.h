// The main dialog on Windows: template IDD_MAIN_DIALOG from the program's
// resources, its messages forwarded to the dialog's logic (tolvane_dlg.h),
// and the logic's requests carried out on the real window. Also the About
// box (template IDD_ABOUTBOX) that its system menu opens. Templates, string
// and message boxes all speak one language, given when the dialog is made.
#pragma once

#include <string>

#include "app/tolvane_dlg.h"
#include "modes/operation_host.h"
#include "platform/win_types.h"
#include "ui/win32/win32_field.h"
#include "ui/win32/win32_message_boxes.h"

namespace Tolvane {
namespace Win32 {

class CMainDialog final : public CDialogView {
public:
    // resources: the module that holds the templates, the string table and
    // the icon. language: the templates' and the string's, and the real
    // message boxes'. boxes: null shows real message boxes owned by the
    // dialog; tests pass boxes that record instead (in their own language).
    CMainDialog(HINSTANCE resources, COperationHost& host, ELanguage language,
                CMessageBoxes* boxes = nullptr);
    ~CMainDialog() override;
    CMainDialog(const CMainDialog&) = delete;
    CMainDialog& operator=(const CMainDialog&) = delete;

    // Runs the dialog modally and returns how it ended: IDCANCEL from QUIT,
    // the close box or Escape; IDOK when the administrator check ended it;
    // -1 when the window could not be made.
    INT_PTR RunModal(HWND owner);
    // The same dialog without a modal loop of its own (the caller pumps the
    // messages). Ending it destroys the window. Returns null when the window
    // could not be made or ended during its initialisation.
    HWND CreateModeless(HWND owner);

    HWND Window() const { return m_hwnd; }
    HICON Icon() const { return m_hIcon; }
    const CTolvaneDlg& Logic() const { return m_dlg; }
    CWin32FieldControl& Field() { return m_field; }
    // While an operation runs.
    bool IsWaiting() const { return m_nWaitDepth > 0; }

    // CDialogView
    bool HasSystemMenu() override;
    void AppendSystemMenuSeparator() override;
    void AppendSystemMenuItem(UINT id, const std::string& text) override;
    std::string LoadString(UINT id) override;
    void SetIcon(bool big) override;
    bool IsReadOnlyChecked() override;
    void SetReadOnlyChecked(bool checked) override;
    void ShowAboutBox() override;
    void EndDialog(int result) override;
    void BeginWait() override;
    void EndWait() override;

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    bool OnPaint();

    HINSTANCE m_hInstance;
    ELanguage m_language;
    HICON m_hIcon;
    CWin32MessageBoxes m_ownBoxes;
    CWin32FieldControl m_field;
    CTolvaneDlg m_dlg;
    HWND m_hwnd = nullptr;
    bool m_bModal = false;
    int m_nWaitDepth = 0;
    HCURSOR m_hCursorBeforeWait = nullptr;
};

// The About box in language, modal, owned by owner; -1 without a template.
INT_PTR ShowAboutBox(HINSTANCE resources, HWND owner, ELanguage language);

}  // namespace Win32
}  // namespace Tolvane
