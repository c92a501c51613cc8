// A cell-width function for the terminal tests that does not hang on the
// machine's locales: East Asian wide and full-width forms take two cells,
// half-width katakana one, control characters cannot be shown.
#pragma once

namespace Tolvane {
namespace Tui {

inline int TestWidth(wchar_t c) {
    if (c < 0x20 || (c >= 0x7F && c < 0xA0)) {
        return -1;
    }
    if ((c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) ||
        (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
        (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6)) {
        return 2;
    }
    return 1;
}

}  // namespace Tui
}  // namespace Tolvane
