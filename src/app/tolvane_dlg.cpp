#include "app/tolvane_dlg.h"

#include "modes/adapter_operations.h"
#include "tolvane_texts.h"

namespace Tolvane {

CTolvaneDlg::CTolvaneDlg(COperationHost& host, CMessageBoxes& boxes, CDialogView& view,
                         CEditControl& targetField)
    : m_host(host), m_boxes(boxes), m_view(view), m_editTargetId(targetField) {}

BOOL CTolvaneDlg::OnInitDialog() {
    m_editTargetId.OnAttach();
    m_view.SetReadOnlyChecked(m_bReadOnly != 0);

    if (m_view.HasSystemMenu()) {
        const std::string about = m_view.LoadString(IDS_ABOUTBOX);
        if (!about.empty()) {
            m_view.AppendSystemMenuSeparator();
            m_view.AppendSystemMenuItem(IDM_ABOUTBOX, about);
        }
    }

    m_view.SetIcon(true);
    m_view.SetIcon(false);

    m_editTargetId.AttachSpin();
    m_editTargetId.SetRange(kTargetMinimum, kTargetMaximum, 0);
    m_editTargetId.SetValue(0);

    if (!m_host.HasAdministratorRights()) {
        m_boxes.MessageBox(m_host.RightsMessage(m_boxes.Language()).c_str(),
                           MB_OK | MB_ICONEXCLAMATION);
        EndDialog(IDOK);
    }
    return TRUE;
}

void CTolvaneDlg::OnOK() {
    m_bReadOnly = m_view.IsReadOnlyChecked() ? 1 : 0;
    DWORD target = 0;
    if (!m_editTargetId.GetValue(target)) {
        target = 0;
    }
    m_view.BeginWait();
    SwitchToMassStorage(m_host, m_boxes, target, m_bReadOnly != 0);
    m_view.EndWait();
}

void CTolvaneDlg::OnButtonNormal() {
    m_view.BeginWait();
    ReturnToNormal(m_host, m_boxes);
    m_view.EndWait();
}

void CTolvaneDlg::OnCancel() {
    EndDialog(IDCANCEL);
}

bool CTolvaneDlg::OnCommand(UINT id) {
    switch (id) {
        case IDOK:
            OnOK();
            return true;
        case IDCANCEL:
            OnCancel();
            return true;
        case IDC_NORMAL:
            OnButtonNormal();
            return true;
        default:
            return false;
    }
}

bool CTolvaneDlg::OnSysCommand(UINT id) {
    if ((id & 0xFFF0u) == IDM_ABOUTBOX) {
        m_view.ShowAboutBox();
        return true;
    }
    return false;
}

CFieldPoint CTolvaneDlg::IconPosition(int clientWidth, int clientHeight, int iconWidth,
                                      int iconHeight) {
    // C++ division truncates towards zero, as the centring rule wants.
    return CFieldPoint{(clientWidth - iconWidth + 1) / 2, (clientHeight - iconHeight + 1) / 2};
}

void CTolvaneDlg::EndDialog(int result) {
    if (m_bEnded) {
        return;
    }
    m_bEnded = true;
    m_nResult = result;
    m_view.EndDialog(result);
}

}  // namespace Tolvane
