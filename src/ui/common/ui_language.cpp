#include "ui/common/ui_language.h"

namespace Tolvane {
namespace Ui {

namespace {

bool BeginsWith(const std::string& text, const char* prefix) {
    return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

}  // namespace

ELanguage LanguageFromEnvironment(const std::function<std::string(const char* name)>& variable) {
    std::string locale;
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        locale = variable(name);
        if (!locale.empty()) {
            break;
        }
    }
    // gettext leaves LANGUAGE aside in the C locale, whose output POSIX fixes.
    const std::string priorities = variable("LANGUAGE");
    if (priorities.empty() || locale.empty() || locale == "C" || locale == "POSIX") {
        return BeginsWith(locale, "ja") ? ELanguage::kJapanese : ELanguage::kEnglish;
    }
    // gettext goes down the list to the first language it has texts for;
    // this program has Japanese and English (which "C" asks for, too).
    std::size_t start = 0;
    while (start <= priorities.size()) {
        std::size_t end = priorities.find(':', start);
        if (end == std::string::npos) {
            end = priorities.size();
        }
        const std::string entry = priorities.substr(start, end - start);
        if (BeginsWith(entry, "ja")) {
            return ELanguage::kJapanese;
        }
        if (BeginsWith(entry, "en") || entry == "C") {
            return ELanguage::kEnglish;
        }
        start = end + 1;
    }
    return ELanguage::kEnglish;
}

}  // namespace Ui
}  // namespace Tolvane
