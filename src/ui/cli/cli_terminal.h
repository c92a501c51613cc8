// The terminal side of the sub-commands: the program's texts (code page 932
// bytes) in the terminal's encoding, and the yes/no question on the
// controlling terminal.
#pragma once

#include <string>

#include "lib/language.h"

namespace Tolvane {
namespace Cli {

// The codeset of the current locale (nl_langinfo(CODESET)): after
// SetUpDisplayLocale, UTF-8 in practice.
std::string LocaleCodeset();

// Converts the program's texts for showing in codeset. A character the
// codeset has no place for becomes '?'; a codeset the system cannot
// convert to gets UTF-8.
class CTextEncoder {
public:
    explicit CTextEncoder(std::string codeset = "UTF-8");
    std::string Encode(const std::string& cp932) const;

private:
    std::string m_codeset;
    bool m_utf8;
};

// The controlling terminal, opened read-write, or -1 without one (a cron
// job, ssh without -t, setsid).
int OpenControllingTerminal();

// Writes question and " [y/N] " to the terminal fd and reads answer lines:
// "y" or "yes" (any case) is yes; "n", "no", an empty line, the end of
// input (Ctrl-D) or a read error is no; anything else asks again.
// What was typed before the question appeared is thrown away, so that only
// an answer to it counts. A terminal fd is asked in a known mode (line
// input, echo, Enter as a line end, Ctrl-C and Ctrl-D as usual), whatever
// mode an earlier program left it in, and gets its own settings back
// afterwards, also when a signal ends the program during the question.
bool AskYesNo(int fd, const CTextEncoder& encoder, const std::string& cp932Question,
              ELanguage language);

}  // namespace Cli
}  // namespace Tolvane
