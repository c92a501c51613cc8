#include "ui/terminal/tui_locale.h"

#include <clocale>
#include <cwchar>
#include <initializer_list>

namespace Tolvane {
namespace Tui {

namespace {

// KATAKANA LETTER MI, the first character of every caption: double width
// where the locale knows it.
constexpr wchar_t kProbe = 0x30DF;

bool ShowsJapanese() {
    return wcwidth(kProbe) == 2;
}

}  // namespace

EDisplayCharset SetUpDisplayLocale() {
    std::setlocale(LC_ALL, "");
    if (ShowsJapanese()) {
        return EDisplayCharset::kLocale;
    }
    for (const char* name : {"C.UTF-8", "C.utf8", "en_US.UTF-8", "ja_JP.UTF-8"}) {
        if (std::setlocale(LC_CTYPE, name) != nullptr && ShowsJapanese()) {
            return EDisplayCharset::kUtf8Fallback;
        }
    }
    std::setlocale(LC_CTYPE, "");
    return EDisplayCharset::kAsciiOnly;
}

}  // namespace Tui
}  // namespace Tolvane
