// Picking a locale the screen can show the Japanese texts in.
#pragma once

namespace Tolvane {
namespace Tui {

enum class EDisplayCharset {
    // The user's locale shows them (UTF-8, EUC-JP, ...): ncursesw writes the
    // locale's own encoding.
    kLocale,
    // It does not (C, POSIX, a locale that is not installed): the character
    // type is switched to a UTF-8 locale, on the assumption that a terminal
    // of today reads UTF-8 whatever the locale says.
    kUtf8Fallback,
    // No UTF-8 locale is installed either: what cannot be shown appears as
    // '?'; the dialog still works.
    kAsciiOnly,
};

// setlocale(LC_ALL, "") and, when that cannot show the texts, the fallback.
// Call before the screen is set up.
EDisplayCharset SetUpDisplayLocale();

}  // namespace Tui
}  // namespace Tolvane
