// An edit control held in memory, for front-ends that draw their own
// controls (the terminal dialog) and for tests: a single-line text with a
// selection, the user's typing and pasting routed through the field's logic,
// and a spin button reduced to its place. The front-end draws Text(), the
// caret and the spin's arrows, and feeds key presses to Type/Paste/keys; it
// overrides the calls it gives a meaning to (a press on the spin, say).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/edit_control.h"
#include "app/numeric_edit.h"

namespace Tolvane {

class CMemoryEdit : public CEditControl {
public:
    CMemoryEdit() = default;
    CMemoryEdit(const CMemoryEdit&) = delete;
    CMemoryEdit& operator=(const CMemoryEdit&) = delete;

    // The field whose logic judges the user's input; set before any input.
    void Bind(CFilterEdit* field) { m_pField = field; }

    // Called for every beep (the terminal rings its bell), after recording.
    std::function<void(UINT)> onBeep;
    // Called when the field takes the focus for itself (a spin step does).
    std::function<void()> onFocus;

    // The user types one character (code page 932 byte, or a control code:
    // 8 backspace, 22 Ctrl+V). Returns false when the field refused it.
    bool Type(UINT ch);
    // The user pastes text (Ctrl+V, a terminal's bracketed paste).
    void Paste(const std::string& text);
    // Caret movement that needs no judging.
    void MoveCaret(int position) { SetSel(position, position); }
    void SelectAll() { SetSel(0, static_cast<int>(m_text.size())); }

    const std::string& Text() const { return m_text; }
    const std::vector<UINT>& Beeps() const { return m_beeps; }
    void ClearBeeps() { m_beeps.clear(); }
    void SetClientRect(const CFieldRect& rect) { m_client = rect; }
    // The width a newly created spin takes (a real control picks its own).
    void SetSpinWidth(int width) { m_spinWidth = width; }

    // CEditControl
    std::string GetText() const override { return m_text; }
    void SetText(const std::string& text) override;
    CFieldSel GetSel() const override { return m_sel; }
    void SetSel(int start, int end) override;
    void ScrollCaret() override {}
    bool IsReadOnly() const override { return false; }
    void SetFocus() override;
    void Beep(UINT type) override;
    void DetachInputMethod() override {}
    void SetMargins(int, int) override {}
    CFieldRect GetClientRect() const override { return m_client; }
    void DefaultPaste() override { Insert(m_clipboard); }
    void SetRedraw(bool) override {}
    void InvalidateAll() override {}
    void StartTimer(UINT, UINT) override {}
    void StopTimer(UINT) override {}
    bool HasSpin() const override { return m_spin; }
    bool CreateSpin(const CSpinSetup& setup) override;
    CFieldRect GetSpinRect() const override { return m_spinRect; }
    void MoveSpin(const CFieldRect& rect) override { m_spinRect = rect; }
    void ShowSpin() override { m_spinVisible = true; }
    bool IsSpinVisible() const override { return m_spinVisible; }
    void EnableSpin(bool) override {}
    void SetSpinPos(int) override {}
    void PressSpin(CFieldPoint, bool) override {}
    void RedrawSpinNow() override {}
    void ReparentSpinToOwner() override {}

private:
    int Fit(int position) const;
    void Insert(const std::string& text);

    CFilterEdit* m_pField = nullptr;
    std::string m_text;
    std::string m_clipboard;
    CFieldSel m_sel;
    CFieldRect m_client{0, 0, 80, 20};
    CFieldRect m_spinRect;
    std::vector<UINT> m_beeps;
    int m_spinWidth = 16;
    bool m_spin = false;
    bool m_spinVisible = false;
};

}  // namespace Tolvane
