// The main dialog's logic: what happens when it opens, what each button and
// system-menu command does, and when it ends. The window itself (Win32
// dialog, terminal screen) implements CDialogView and forwards its events
// here, so every front-end behaves the same.
#pragma once

#include <string>

#include "app/edit_control.h"
#include "app/numeric_edit.h"
#include "app/resource_ids.h"
#include "modes/operation_host.h"
#include "platform/win_types.h"

namespace Tolvane {

class CDialogView {
public:
    virtual ~CDialogView() = default;

    // The window's system menu; false when it has none.
    virtual bool HasSystemMenu() = 0;
    virtual void AppendSystemMenuSeparator() = 0;
    virtual void AppendSystemMenuItem(UINT id, const std::string& text) = 0;
    // A string resource as code page 932 bytes; empty when missing.
    virtual std::string LoadString(UINT id) = 0;

    // The application icon as the window's big and small icon.
    virtual void SetIcon(bool big) = 0;

    // The read-only check box (data exchange in both directions).
    virtual bool IsReadOnlyChecked() = 0;
    virtual void SetReadOnlyChecked(bool checked) = 0;

    virtual void ShowAboutBox() = 0;
    virtual void EndDialog(int result) = 0;

    // Brackets a blocking operation (a wait cursor on Windows).
    virtual void BeginWait() {}
    virtual void EndWait() {}
};

class CTolvaneDlg {
public:
    static constexpr int kTargetMinimum = 0;
    static constexpr int kTargetMaximum = 6;

    CTolvaneDlg(COperationHost& host, CMessageBoxes& boxes, CDialogView& view,
                CEditControl& targetField);

    // Returns TRUE: focus goes to the first tab stop. May end the dialog
    // (no administrator rights) before it is ever shown.
    BOOL OnInitDialog();

    // IDOK, the default button and Enter: the switch to the mass-storage
    // state. Never ends the dialog.
    void OnOK();
    // Button IDC_NORMAL: the return to the normal state.
    void OnButtonNormal();
    // QUIT, the close box and Escape.
    void OnCancel();
    // WM_COMMAND from a control; false when the id is not the dialog's.
    bool OnCommand(UINT id);
    // True when the command was the About item; the rest belongs to the
    // window system's default handling.
    bool OnSysCommand(UINT id);

    bool IsEnded() const { return m_bEnded; }
    int Result() const { return m_nResult; }

    CNumericEdit& TargetField() { return m_editTargetId; }

    // Where the icon goes in a minimised window's client area.
    static CFieldPoint IconPosition(int clientWidth, int clientHeight, int iconWidth,
                                    int iconHeight);

private:
    void EndDialog(int result);

    COperationHost& m_host;
    CMessageBoxes& m_boxes;
    CDialogView& m_view;
    CNumericEdit m_editTargetId;
    int m_bReadOnly = 1;
    bool m_bEnded = false;
    int m_nResult = 0;
};

}  // namespace Tolvane
