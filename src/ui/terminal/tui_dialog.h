// The main dialog as the terminal shows it: the dialog's logic
// (CTolvaneDlg) with the focus, the check box, the numeric field held in
// memory and the mouse state that a window system would otherwise keep.
// Events come in already decoded (tui_input.h); the curses layer draws from
// the state read back here and runs the modal boxes (CTerminalShell,
// CMessageBoxes).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "app/memory_edit.h"
#include "app/tolvane_dlg.h"
#include "modes/operation_host.h"
#include "ui/terminal/tui_input.h"
#include "ui/terminal/tui_layout.h"

namespace Tolvane {
namespace Tui {

// What the dialog needs from the screen besides message boxes.
class CTerminalShell {
public:
    virtual ~CTerminalShell() = default;
    // The field's MessageBeep, of either kind.
    virtual void Bell() = 0;
    // The About box, modal.
    virtual void RunAboutBox() = 0;
    // Draw the dialog now: an operation starts or ends, and no input will be
    // read until it has.
    virtual void Refresh() = 0;
};

// The field's edit control in memory. The terminal has no spin window to
// press: a press of its arrow (what the Up and Down keys become) is handed
// to onSpinPress at once, which answers with the step the real spin would
// report.
class CTerminalEdit : public CMemoryEdit {
public:
    std::function<void(bool up)> onSpinPress;

    void PressSpin(CFieldPoint at, bool down) override;
};

class CTerminalDialog : public CDialogView {
public:
    using Clock = std::function<std::uint64_t()>;

    // The field's client area in notional pixels: 8 per cell across, one
    // 16-pixel row, with a spin two cells wide.
    static constexpr int kPixelsPerCell = 8;
    static constexpr int kRowPixels = 16;

    // clock: milliseconds, for the arrow keys' acceleration.
    CTerminalDialog(COperationHost& host, CMessageBoxes& boxes, CTerminalShell& shell, Clock clock);

    // The dialog's initialisation; the focus then goes to the first tab
    // stop. The dialog may have ended already (no administrator rights).
    void Start();

    // One event; mouse positions relative to the dialog's client area.
    void OnEvent(const InputEvent& event);

    bool IsEnded() const { return m_dlg.IsEnded(); }
    int Result() const { return m_dlg.Result(); }

    const CDialogLayout& Layout() const { return m_layout; }
    int Focus() const { return m_focus; }
    // The push button Enter presses, which shows as the default one.
    int EnterTarget() const;
    bool ReadOnlyChecked() const { return m_bChecked; }
    const CTerminalEdit& Field() const { return m_edit; }
    // First byte of the field's text shown (the field scrolls sideways to
    // keep the caret in sight).
    int FieldScroll() const { return m_fieldScroll; }
    bool Busy() const { return m_bBusy; }
    // The control the mouse button is held down on.
    std::optional<int> Held() const { return m_held; }
    // The About item the dialog put into its system menu (code page 932),
    // empty when it put none; the About key works only with it.
    const std::string& AboutItem() const { return m_aboutItem; }

    // CDialogView
    bool HasSystemMenu() override { return true; }
    void AppendSystemMenuSeparator() override {}
    void AppendSystemMenuItem(UINT id, const std::string& text) override;
    std::string LoadString(UINT id) override;
    void SetIcon(bool) override {}
    bool IsReadOnlyChecked() override { return m_bChecked; }
    void SetReadOnlyChecked(bool checked) override { m_bChecked = checked; }
    void ShowAboutBox() override { m_shell.RunAboutBox(); }
    void EndDialog(int) override {}
    void BeginWait() override;
    void EndWait() override;

private:
    bool IsPushButton(int id) const;
    void SetFocusTo(int id, bool selectAll);
    void Press(int id);
    void OnFieldKey(const InputEvent& event);
    void OnMouse(const InputEvent& event);
    void KeepCaretVisible();
    int FieldTextWidth() const;

    CTerminalShell& m_shell;
    ELanguage m_language;
    Clock m_clock;
    CDialogLayout m_layout;
    CTerminalEdit m_edit;
    CTolvaneDlg m_dlg;
    CSpinRepeat m_repeat;
    std::string m_aboutItem;
    int m_focus = 0;
    std::optional<int> m_held;
    int m_fieldScroll = 0;
    bool m_bChecked = false;
    bool m_bBusy = false;
};

}  // namespace Tui
}  // namespace Tolvane
