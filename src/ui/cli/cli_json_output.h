// A sub-command's report as one JSON object for scripts: the same facts as
// the text, under keys that do not change, with every key present (null
// where the command did not look).
#pragma once

#include <ostream>

#include "ui/cli/cli_report.h"

namespace Tolvane {
namespace Cli {

void PrintJson(const CommandReport& report, std::ostream& out);

}  // namespace Cli
}  // namespace Tolvane
