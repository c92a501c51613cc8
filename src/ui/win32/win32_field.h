// The numeric entry field over the real controls: a subclass of the
// dialog's edit control that turns the edit's messages into the field's
// calls (numeric_edit.h) and carries out the field's requests on the edit
// and on the up-down control it creates inside the edit's right edge.
#pragma once

#include <string>

#include "app/edit_control.h"
#include "app/numeric_edit.h"
#include "platform/win_types.h"

namespace Tolvane {
namespace Win32 {

class CWin32FieldControl final : public CEditControl {
public:
    CWin32FieldControl() = default;
    ~CWin32FieldControl() override;
    CWin32FieldControl(const CWin32FieldControl&) = delete;
    CWin32FieldControl& operator=(const CWin32FieldControl&) = delete;

    // Subclasses the edit window and routes its messages to field. False
    // when edit is not a window or is taken already.
    bool Attach(HWND edit, CNumericEdit& field);
    // Gives the window its own procedure back (also done when it is
    // destroyed).
    void Detach();

    HWND Window() const { return m_hwnd; }
    HWND SpinWindow() const { return m_spin; }

    // The parent's WM_COMMAND from the field: its EN_UPDATE, EN_SETFOCUS and
    // EN_KILLFOCUS go to the field, except those that a text set by the
    // field itself causes (the field runs its update check itself then).
    void OnParentCommand(UINT code);
    // The parent's WM_CTLCOLOREDIT / WM_CTLCOLORSTATIC for the field: cuts
    // the spin out of the clipping region, so the edit does not paint over
    // it.
    void OnParentCtlColor(HDC dc);

    // CEditControl
    std::string GetText() const override;
    void SetText(const std::string& text) override;
    CFieldSel GetSel() const override;
    void SetSel(int start, int end) override;
    void ScrollCaret() override;
    bool IsReadOnly() const override;
    void SetFocus() override;
    void Beep(UINT type) override;
    void DetachInputMethod() override;
    void SetMargins(int left, int right) override;
    CFieldRect GetClientRect() const override;
    void DefaultPaste() override;
    void SetRedraw(bool on) override;
    void InvalidateAll() override;
    void StartTimer(UINT id, UINT periodMs) override;
    void StopTimer(UINT id) override;
    bool HasSpin() const override;
    bool CreateSpin(const CSpinSetup& setup) override;
    CFieldRect GetSpinRect() const override;
    void MoveSpin(const CFieldRect& rect) override;
    void ShowSpin() override;
    bool IsSpinVisible() const override;
    void EnableSpin(bool enable) override;
    void SetSpinPos(int pos) override;
    void PressSpin(CFieldPoint at, bool down) override;
    void RedrawSpinNow() override;
    void ReparentSpinToOwner() override;

private:
    static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Default(UINT message, WPARAM wParam, LPARAM lParam);
    std::wstring WideText() const;

    HWND m_hwnd = nullptr;
    HWND m_spin = nullptr;
    WNDPROC m_pfnDefault = nullptr;
    CNumericEdit* m_pField = nullptr;
    // Depth of the field's own SetText calls.
    int m_nOwnText = 0;
    // EN_UPDATE notifications seen, so that a paste that changed the text
    // without one still reaches the field's update check.
    unsigned m_nUpdates = 0;
};

}  // namespace Win32
}  // namespace Tolvane
