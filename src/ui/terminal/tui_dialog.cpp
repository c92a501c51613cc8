#include "ui/terminal/tui_dialog.h"

#include <algorithm>

#include "app/resource_ids.h"
#include "tolvane_texts.h"

namespace Tolvane {
namespace Tui {

namespace {

constexpr UINT kCtrlV = 22;
constexpr UINT kBackspace = 8;

}  // namespace

void CTerminalEdit::PressSpin(CFieldPoint at, bool down) {
    CMemoryEdit::PressSpin(at, down);
    // The field presses the top of the spin for up and its bottom row for
    // down; only the press steps, the release (sent at once, as a terminal
    // reports no key release) does nothing.
    if (down && onSpinPress) {
        onSpinPress(at.y < GetClientRect().Height() / 2);
    }
}

CTerminalDialog::CTerminalDialog(COperationHost& host, CMessageBoxes& boxes, CTerminalShell& shell,
                                 Clock clock)
    : m_shell(shell),
      m_language(boxes.Language()),
      m_clock(std::move(clock)),
      m_layout(CDialogLayout::MainDialog(boxes.Language())),
      m_dlg(host, boxes, *this, m_edit) {
    m_edit.Bind(&m_dlg.TargetField());
    m_edit.onBeep = [this](UINT) { m_shell.Bell(); };
    m_edit.onFocus = [this] { SetFocusTo(IDC_TARGET_ID, false); };
    m_edit.onSpinPress = [this](bool up) {
        m_dlg.TargetField().OnSpinDeltaPos(m_repeat.Press(up, m_clock()));
    };
    m_edit.SetClientRect(
        CFieldRect{0, 0, FieldTextWidth() * kPixelsPerCell + 2 * kPixelsPerCell, kRowPixels});
    m_edit.SetSpinWidth(2 * kPixelsPerCell);
}

int CTerminalDialog::FieldTextWidth() const {
    const LaidItem* field = m_layout.Find(IDC_TARGET_ID);
    return field == nullptr ? 0 : CDialogLayout::FieldText(field->cells).Width();
}

void CTerminalDialog::Start() {
    m_dlg.OnInitDialog();
    if (!m_dlg.IsEnded()) {
        const std::vector<int> stops = m_layout.TabStops();
        if (!stops.empty()) {
            SetFocusTo(stops.front(), true);
        }
    }
    KeepCaretVisible();
}

void CTerminalDialog::AppendSystemMenuItem(UINT id, const std::string& text) {
    if (id == IDM_ABOUTBOX) {
        m_aboutItem = text;
    }
}

std::string CTerminalDialog::LoadString(UINT id) {
    return id == IDS_ABOUTBOX ? std::string(Text::kAboutMenuItem.In(m_language)) : std::string();
}

void CTerminalDialog::BeginWait() {
    m_bBusy = true;
    m_shell.Refresh();
}

void CTerminalDialog::EndWait() {
    m_bBusy = false;
    m_shell.Refresh();
}

bool CTerminalDialog::IsPushButton(int id) const {
    const LaidItem* laid = m_layout.Find(id);
    return laid != nullptr && (laid->item.kind == EItemKind::kPushButton ||
                               laid->item.kind == EItemKind::kDefPushButton);
}

int CTerminalDialog::EnterTarget() const {
    // A push button with the focus is the default for the time being; from
    // any other control Enter goes to the template's default button.
    return IsPushButton(m_focus) ? m_focus : IDOK;
}

void CTerminalDialog::SetFocusTo(int id, bool selectAll) {
    if (id == m_focus) {
        return;
    }
    const int old = m_focus;
    m_focus = id;
    CNumericEdit& field = m_dlg.TargetField();
    if (old == IDC_TARGET_ID) {
        field.OnNotification(EN_KILLFOCUS);
    }
    if (id == IDC_TARGET_ID) {
        // The dialog manager selects an edit's whole text when the keyboard
        // brings the focus to it.
        if (selectAll) {
            m_edit.SelectAll();
        }
        field.OnNotification(EN_SETFOCUS);
    }
}

void CTerminalDialog::Press(int id) {
    if (id == IDC_READONLY) {
        m_bChecked = !m_bChecked;
        return;
    }
    m_dlg.OnCommand(static_cast<UINT>(id));
}

void CTerminalDialog::OnEvent(const InputEvent& event) {
    if (m_dlg.IsEnded()) {
        return;
    }
    switch (event.key) {
        case EKey::kTab:
        case EKey::kBackTab:
            SetFocusTo(m_layout.NextTabStop(m_focus, event.key == EKey::kTab), true);
            break;
        case EKey::kEscape:
        case EKey::kHangUp:
            m_dlg.OnCancel();
            break;
        case EKey::kAbout:
            if (!m_aboutItem.empty()) {
                m_dlg.OnSysCommand(IDM_ABOUTBOX);
            }
            break;
        case EKey::kEnter:
            Press(EnterTarget());
            break;
        case EKey::kMouse:
            OnMouse(event);
            break;
        case EKey::kPaste:
            // Only an edit control takes a paste.
            if (m_focus == IDC_TARGET_ID) {
                m_edit.Paste(event.text);
            }
            break;
        default:
            if (m_focus == IDC_TARGET_ID) {
                OnFieldKey(event);
            } else if (event.key == EKey::kChar && event.ch == L' ') {
                Press(m_focus);
            }
            break;
    }
    KeepCaretVisible();
}

void CTerminalDialog::OnFieldKey(const InputEvent& event) {
    CNumericEdit& field = m_dlg.TargetField();
    const CFieldSel sel = m_edit.GetSel();
    const int low = std::min(sel.start, sel.end);
    const int high = std::max(sel.start, sel.end);
    const int length = static_cast<int>(m_edit.Text().size());
    switch (event.key) {
        case EKey::kChar:
            // The terminal's own paste arrives bracketed; Ctrl+V has no
            // clipboard to read here, and an empty paste would only delete
            // the selection.
            if (static_cast<UINT>(event.ch) != kCtrlV) {
                m_edit.Type(static_cast<UINT>(event.ch));
            }
            break;
        case EKey::kBackspace:
            m_edit.Type(kBackspace);
            break;
        case EKey::kDelete:
            if (low != high) {
                m_edit.Type(kBackspace);
            } else if (low < length) {
                m_edit.SetSel(low, low + 1);
                m_edit.Type(kBackspace);
            }
            break;
        case EKey::kLeft:
            m_edit.MoveCaret(low != high ? low : low - 1);
            break;
        case EKey::kRight:
            m_edit.MoveCaret(low != high ? high : high + 1);
            break;
        case EKey::kHome:
            m_edit.MoveCaret(0);
            break;
        case EKey::kEnd:
            m_edit.MoveCaret(length);
            break;
        case EKey::kUp:
        case EKey::kDown: {
            const UINT vk = event.key == EKey::kUp ? VK_UP : VK_DOWN;
            if (field.OnKeyDown(vk, false)) {
                field.OnKeyUp(vk);
            }
            break;
        }
        default:
            break;
    }
}

void CTerminalDialog::OnMouse(const InputEvent& event) {
    const std::optional<int> at = m_layout.ControlAt(event.col, event.row);
    CNumericEdit& field = m_dlg.TargetField();
    switch (event.mouse) {
        case EMouse::kWheelUp:
        case EMouse::kWheelDown:
            if (at == IDC_TARGET_ID) {
                field.OnMouseWheel(event.mouse == EMouse::kWheelUp ? WHEEL_DELTA : -WHEEL_DELTA);
            }
            break;
        case EMouse::kPress:
            m_held.reset();
            if (!at) {
                break;
            }
            if (*at == IDC_TARGET_ID) {
                const CellRect cells = m_layout.Find(IDC_TARGET_ID)->cells;
                switch (CDialogLayout::FieldPartAt(cells, event.col, event.row)) {
                    case EFieldPart::kSpinUp:
                        // The spin steps on the press and takes no focus;
                        // the step itself focuses the field when the value
                        // moves.
                        field.OnSpinDeltaPos(-1);
                        break;
                    case EFieldPart::kSpinDown:
                        field.OnSpinDeltaPos(1);
                        break;
                    default: {
                        SetFocusTo(IDC_TARGET_ID, false);
                        const CellRect text = CDialogLayout::FieldText(cells);
                        m_edit.MoveCaret(m_fieldScroll + std::max(0, event.col - text.left));
                        break;
                    }
                }
                break;
            }
            SetFocusTo(*at, false);
            m_held = at;
            break;
        case EMouse::kRelease: {
            // A button acts when the mouse is let go over it.
            const std::optional<int> held = m_held;
            m_held.reset();
            if (held && at == held) {
                Press(*held);
            }
            break;
        }
        default:
            break;
    }
}

void CTerminalDialog::KeepCaretVisible() {
    // The field admits only digits and the minus sign, so each byte of its
    // text is one cell.
    const int width = std::max(1, FieldTextWidth());
    const int length = static_cast<int>(m_edit.Text().size());
    const int caret = std::clamp(m_edit.GetSel().end, 0, length);
    // The caret may stand after the last character: that takes a cell too.
    if (caret < m_fieldScroll) {
        m_fieldScroll = caret;
    } else if (caret >= m_fieldScroll + width) {
        m_fieldScroll = caret - width + 1;
    }
    m_fieldScroll = std::clamp(m_fieldScroll, 0, std::max(0, length - width + 1));
}

}  // namespace Tui
}  // namespace Tolvane
