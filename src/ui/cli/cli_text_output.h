// A sub-command's report as text for people: the state or the result on
// the output, a failure's message on the error output, in the codeset the
// encoder writes, in language.
#pragma once

#include <ostream>

#include "ui/cli/cli_report.h"
#include "ui/cli/cli_terminal.h"

namespace Tolvane {
namespace Cli {

void PrintText(const CommandReport& report, std::ostream& out, std::ostream& err,
               const CTextEncoder& encoder, ELanguage language);

}  // namespace Cli
}  // namespace Tolvane
