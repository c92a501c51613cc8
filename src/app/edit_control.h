// The edit control that the numeric field drives. The Win32 subclass maps
// each call onto messages to the real edit and up-down controls; the
// terminal front-end onto its own line editor and arrow glyphs. The field's
// logic only ever talks to this interface, so both front-ends behave alike.
#pragma once

#include <array>
#include <string>

#include "platform/win_types.h"

namespace Tolvane {

struct CFieldPoint {
    int x = 0;
    int y = 0;

    bool operator==(const CFieldPoint& other) const { return x == other.x && y == other.y; }
};

struct CFieldRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool operator==(const CFieldRect& other) const {
        return left == other.left && top == other.top && right == other.right &&
               bottom == other.bottom;
    }
};

// Byte positions in the control's text, as EM_GETSEL reports them.
struct CFieldSel {
    int start = 0;
    int end = 0;
};

// One step of the spin's acceleration: after nSec seconds held, the spin
// moves by nInc per repeat. Same layout as the up-down control's UDACCEL.
struct CSpinAccel {
    UINT nSec;
    UINT nInc;
};

// Up-down control styles (commctrl values; windows.h does not carry them).
constexpr DWORD kUdsAlignRight = 0x0004;
constexpr DWORD kUdsArrowKeys = 0x0020;
constexpr DWORD kUdsNoThousands = 0x0080;

// Everything a front-end needs to create the spin in one go: create the
// child with these styles, id and rectangle, then apply the acceleration
// table, the range and the position, in that order.
struct CSpinSetup {
    DWORD dwStyle = 0;
    int nControlId = 0;
    CFieldRect rect;
    std::array<CSpinAccel, 4> accel{};
    int nLower = 0;
    int nUpper = 0;
    int nPos = 0;
};

class CEditControl {
public:
    virtual ~CEditControl() = default;

    // Text (code page 932 bytes) and selection. Positions are byte offsets;
    // SetSel clamps them to the text the way EM_SETSEL does.
    virtual std::string GetText() const = 0;
    // Replaces the text. The field runs its update check itself after each
    // text it sets, so the front-end must not report an update notification
    // for this call.
    virtual void SetText(const std::string& text) = 0;
    virtual CFieldSel GetSel() const = 0;
    virtual void SetSel(int start, int end) = 0;
    virtual void ScrollCaret() = 0;

    virtual bool IsReadOnly() const = 0;
    virtual void SetFocus() = 0;
    // type as for MessageBeep: 0 or MB_ICONASTERISK.
    virtual void Beep(UINT type) = 0;
    // Keeps composed (input method) text out of the control.
    virtual void DetachInputMethod() = 0;
    virtual void SetMargins(int left, int right) = 0;
    virtual CFieldRect GetClientRect() const = 0;

    // The control's own paste. The update notification it causes must reach
    // the field (OnNotification) before this returns.
    virtual void DefaultPaste() = 0;
    virtual void SetRedraw(bool on) = 0;
    // Invalidate the whole control, erasing the background.
    virtual void InvalidateAll() = 0;

    virtual void StartTimer(UINT id, UINT periodMs) = 0;
    virtual void StopTimer(UINT id) = 0;

    // The spin button, a child of the field.
    virtual bool HasSpin() const = 0;
    // Returns false when the spin could not be made; the field then works
    // without one.
    virtual bool CreateSpin(const CSpinSetup& setup) = 0;
    // The spin's rectangle in the field's client coordinates.
    virtual CFieldRect GetSpinRect() const = 0;
    // Moves the spin without repainting it.
    virtual void MoveSpin(const CFieldRect& rect) = 0;
    virtual void ShowSpin() = 0;
    virtual bool IsSpinVisible() const = 0;
    virtual void EnableSpin(bool enable) = 0;
    virtual void SetSpinPos(int pos) = 0;
    // A left-button press or release on the spin at a point of its client
    // area, so that it repeats and accelerates as if clicked.
    virtual void PressSpin(CFieldPoint at, bool down) = 0;
    virtual void RedrawSpinNow() = 0;
    // Hands the spin to the field's parent so that it outlives the field.
    virtual void ReparentSpinToOwner() = 0;
};

}  // namespace Tolvane
