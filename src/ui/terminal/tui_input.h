// What the terminal reports, reduced to the events the dialogs act on. The
// curses layer decodes its key codes into these; everything above it works
// on these alone.
#pragma once

#include <cstdint>
#include <string>

namespace Tolvane {
namespace Tui {

enum class EKey {
    kNone,
    kChar,  // ch holds the character (control characters included)
    kTab,
    kBackTab,
    kEnter,
    kEscape,
    kUp,
    kDown,
    kLeft,
    kRight,
    kHome,
    kEnd,
    kBackspace,
    kDelete,
    kAbout,  // F1 or Alt+A: the About item of the system menu
    kPaste,  // a bracketed paste; text holds what was pasted
    kMouse,
    kResize,
    kIdle,    // nothing arrived within the wait
    kHangUp,  // the terminal is gone (end of input, SIGHUP)
};

enum class EMouse { kNone, kPress, kRelease, kWheelUp, kWheelDown };

struct InputEvent {
    EKey key = EKey::kNone;
    wchar_t ch = 0;
    std::string text;
    EMouse mouse = EMouse::kNone;
    // Mouse position in screen cells.
    int col = 0;
    int row = 0;

    static InputEvent Key(EKey key) { return InputEvent{key, 0, {}, EMouse::kNone, 0, 0}; }
    static InputEvent Char(wchar_t ch) {
        return InputEvent{EKey::kChar, ch, {}, EMouse::kNone, 0, 0};
    }
    static InputEvent Mouse(EMouse what, int col, int row) {
        return InputEvent{EKey::kMouse, 0, {}, what, col, row};
    }
    static InputEvent Pasted(std::string text) {
        return InputEvent{EKey::kPaste, 0, std::move(text), EMouse::kNone, 0, 0};
    }
};

// Pasted characters as the field's code page 932 bytes. The field admits
// digits and the minus sign only, so everything beyond ASCII becomes a byte
// the field refuses ('?'), one per character, rather than being converted.
std::string PasteBytes(const std::wstring& pasted);

// The arrow keys stand in for the spin's arrows, and a held key repeats.
// A terminal reports no key releases, only the repeats, so a key counts as
// held while its repeats follow each other within kRepeatGapMs; the time
// held then picks the increment from the spin's acceleration table.
class CSpinRepeat {
public:
    // Longer than the usual first auto-repeat delay (250 to 660 ms).
    static constexpr std::uint64_t kRepeatGapMs = 700;

    // The spin delta for one press of the up (raise) or down arrow at time
    // nowMs: negative raises, as the spin's inverted range makes it.
    int Press(bool up, std::uint64_t nowMs);

private:
    bool m_active = false;
    bool m_up = false;
    std::uint64_t m_first = 0;
    std::uint64_t m_last = 0;
};

}  // namespace Tui
}  // namespace Tolvane
