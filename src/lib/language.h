// The two languages Tolvane speaks, and a text of the table in both. Texts
// are code page 932 bytes (the English ones are ASCII, the same bytes in any
// encoding); each front-end decides its language once and picks the text
// where it shows it.
#pragma once

namespace Tolvane {

enum class ELanguage { kJapanese, kEnglish };

struct CText {
    const char* japanese;
    const char* english;

    constexpr const char* In(ELanguage language) const {
        return language == ELanguage::kJapanese ? japanese : english;
    }
};

// A text with its name in the table, for checks over the whole table.
struct CNamedText {
    const char* name;
    CText text;
};

}  // namespace Tolvane
