#include "ui/terminal/tui_input.h"

#include "app/numeric_edit.h"

namespace Tolvane {
namespace Tui {

std::string PasteBytes(const std::wstring& pasted) {
    std::string bytes;
    bytes.reserve(pasted.size());
    for (wchar_t ch : pasted) {
        bytes.push_back(ch >= 0 && ch < 0x80 ? static_cast<char>(ch) : '?');
    }
    return bytes;
}

int CSpinRepeat::Press(bool up, std::uint64_t nowMs) {
    // A clock that went backwards starts a new press rather than a held one.
    const bool held = m_active && m_up == up && nowMs >= m_last && nowMs - m_last <= kRepeatGapMs;
    if (!held) {
        m_first = nowMs;
    }
    m_active = true;
    m_up = up;
    m_last = nowMs;
    const int increment = static_cast<int>(SpinIncrementAfter(
        static_cast<DWORD>(nowMs - m_first > 0xFFFFFFFFull ? 0xFFFFFFFFull : nowMs - m_first)));
    return up ? -increment : increment;
}

}  // namespace Tui
}  // namespace Tolvane
