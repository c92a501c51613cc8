// The SCSI ID entry field: an edit control that admits only the characters
// of a number, keeps its value inside a range and on a step, and carries a
// spin button inside its right edge.
//
// The classes hold the field's behaviour only. A front-end owns the real
// control, implements CEditControl for it and turns its raw events into the
// On... calls below: WM_CHAR to OnChar, WM_PASTE to OnPaste, WM_KEYDOWN and
// WM_KEYUP to OnKeyDown/OnKeyUp, WM_CONTEXTMENU to OnContextMenu, the
// field's own EN_UPDATE/EN_SETFOCUS/EN_KILLFOCUS to OnNotification,
// UDN_DELTAPOS to OnSpinDeltaPos, WM_MOUSEWHEEL to OnMouseWheel, and so on.
// A call that returns true means "handled here, skip the default handling".
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "app/edit_control.h"
#include "platform/win_types.h"

namespace Tolvane {

class CFilterEdit {
public:
    // Bit 0 of the key data marks a typed character (the low bit of the
    // key message's repeat count); the re-check after a paste passes 0.
    static constexpr DWORD kTypedChar = 1;

    explicit CFilterEdit(CEditControl& control);
    virtual ~CFilterEdit() = default;
    CFilterEdit(const CFilterEdit&) = delete;
    CFilterEdit& operator=(const CFilterEdit&) = delete;

    void SetAllowedChars(const std::string& chars) { m_strAllowedChars = chars; }
    const std::string& GetAllowedChars() const { return m_strAllowedChars; }
    void SetClipboardAllowed(bool allowed) { m_bClipboardAllowed = allowed; }
    bool IsClipboardAllowed() const { return m_bClipboardAllowed; }

    // When the field takes over the window.
    void OnAttach();
    // A character typed into the field. True: let the control insert it.
    bool OnChar(UINT ch, DWORD keyData);
    // A paste request. Carries the paste out (through the control) and
    // returns true, or refuses it and returns false.
    bool OnPaste();
    virtual bool OnKeyDown(UINT vk, bool ctrlDown);
    virtual bool OnKeyUp(UINT vk);
    // True: swallow the context menu.
    bool OnContextMenu() const { return !m_bClipboardAllowed; }
    // EN_UPDATE, EN_SETFOCUS or EN_KILLFOCUS of the field itself. Those that
    // arrive while a hook is running (caused by the hook's own text changes)
    // call no hook.
    void OnNotification(UINT code);

    virtual void RecheckText();
    // Whether the text holds a character that RecheckText would delete
    // (judged without moving the caret).
    virtual bool HoldsRefusedChar(const std::string& text) const;
    virtual bool IsValidChar(UINT ch, DWORD keyData, const std::string& text) const;
    virtual void OnInvalidChar();
    virtual void OnTextUpdate() {}
    virtual void OnGotFocus() {}
    virtual void OnLostFocus() {}

protected:
    CEditControl& Control() const { return m_control; }
    // Sets the text and sends it down the same update path as typed text.
    void SetWindowText(const std::string& text);
    // Caret to position (clamped to the text), scrolled into view.
    void PutCaret(int position);

    bool m_bClipboardAllowed = true;
    std::string m_strAllowedChars;
    bool m_bNotifyGuard = true;
    bool m_bPasting = false;

private:
    CEditControl& m_control;
};

class CNumericEdit : public CFilterEdit {
public:
    static constexpr std::int64_t kMaxRange = 4294967295LL;
    static constexpr int kMaxDigits = 32;
    static constexpr UINT kLayoutTimerId = 1;
    static constexpr UINT kLayoutTimerPeriodMs = 1;
    static constexpr int kTextMargin = 3;
    static constexpr int kSpinControlId = 1000;
    // Inverted on purpose: the up arrow then yields a negative delta, which
    // Step takes as "raise the value".
    static constexpr int kSpinLower = 10000;
    static constexpr int kSpinUpper = -10000;

    explicit CNumericEdit(CEditControl& control);

    virtual std::string FormatValue(DWORD value) const;
    virtual void SetValue(DWORD value);
    // False when the field is empty; otherwise the low 32 bits of the
    // clamped value of the field's text.
    virtual bool GetValue(DWORD& value) const;
    virtual void SetRange(DWORD minimum, DWORD maximum, DWORD step);
    virtual void OnRangeChanged() {}
    virtual std::string FormatInt64(std::int64_t value) const;
    // Leading white space, an optional sign, then decimal digits up to the
    // first non-digit; 0 when there is no number; INT64_MAX / INT64_MIN when
    // the number does not fit.
    virtual std::int64_t ParseInt64(const std::string& text) const;
    virtual std::int64_t ClampInt64(std::int64_t value) const;

    // Width for leading zeros; 0 or less shows no filling.
    void SetDigits(int digits);
    int GetDigits() const { return m_nDigits; }
    std::int64_t GetMinimum() const { return m_i64Minimum; }
    std::int64_t GetMaximum() const { return m_i64Maximum; }
    int GetStep() const { return m_nStep; }

    void AttachSpin();
    void LayoutSpin();
    // Positive delta lowers the value, negative raises it.
    void Step(int delta);

    // UDN_DELTAPOS of the spin. True when handled (the spin exists).
    bool OnSpinDeltaPos(int delta);
    // WM_MOUSEWHEEL with the signed wheel distance. True: consumed.
    bool OnMouseWheel(int distance);
    bool OnKeyDown(UINT vk, bool ctrlDown) override;
    bool OnKeyUp(UINT vk) override;
    void OnDestroy();
    void OnEnable(bool enabled);
    void OnSetReadOnly(bool readOnly);
    // Around the default handling of WM_PAINT and WM_PRINT.
    void OnPaintStarting();
    void OnPaintFinished();
    // WM_CTLCOLOREDIT / WM_CTLCOLORSTATIC: the spin's rectangle to cut out of
    // the clipping region, in the device context's coordinates, or nothing
    // when there is no visible spin.
    std::optional<CFieldRect> OnCtlColor(const CFieldRect& spinScreen,
                                         CFieldPoint clientOriginScreen,
                                         CFieldPoint windowOriginScreen);
    // WM_PRINTCLIENT, after the default handling: the window origin to set
    // while the spin prints itself into the same device context (restore the
    // old one afterwards), or nothing when the spin is not visible.
    std::optional<CFieldPoint> OnPrintClient(CFieldPoint windowOrigin,
                                             CFieldPoint fieldClientScreen,
                                             CFieldPoint spinClientScreen) const;
    void OnThemeChanged();
    // True when the timer was the field's own.
    bool OnTimer(UINT id);

    bool IsValidChar(UINT ch, DWORD keyData, const std::string& text) const override;
    void OnTextUpdate() override;
    void OnLostFocus() override;

protected:
    void SetTextKeepingCaret(const std::string& text);
    // Where an arrow key presses the spin: the top row for up, the bottom
    // row for down.
    CFieldPoint ArrowPoint(UINT vk) const;
    // Lets go of the spin that an arrow key pressed, if any.
    void ReleaseArrow();

    std::int64_t m_i64Minimum = 0;
    std::int64_t m_i64Maximum = kMaxRange;
    int m_nDigits = 0;
    int m_nStep = 1;
    std::string m_strLastText;
    int m_nClientHeight = 0;
    bool m_bPainted = false;
    // The arrow key whose press holds the spin down; 0 when none does.
    UINT m_nPressedArrow = 0;
};

// The spin's creation parameters for a field with this client rectangle.
CSpinSetup MakeSpinSetup(const CFieldRect& client);

struct CSpinPlacement {
    int nLeftMargin = 0;
    int nRightMargin = 0;
    CFieldRect rect;
};

// Where the spin goes inside the field's right edge, and the text margins
// that keep the text clear of it. spin is in the field's client coordinates.
CSpinPlacement PlaceSpin(const CFieldRect& client, const CFieldRect& spin);

// The spin's increment after the arrow has been held this long, by the
// acceleration table. For front-ends that repeat the arrows themselves.
UINT SpinIncrementAfter(DWORD heldMs);

}  // namespace Tolvane
