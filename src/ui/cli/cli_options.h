// The command line of the terminal program: the dialog on this machine, the
// dialog on the virtual PC, a sub-command (status, switch, return), or a
// word about the program.
#pragma once

#include <string>
#include <vector>

#include "ui/cli/cli_command.h"
#include "ui/cli/cli_terminal.h"
#include "ui/common/exit_codes.h"

namespace Tolvane {
namespace Cli {

enum class ERunMode {
    kDialog,      // the dialog on this machine's adapter
    kSimulate,    // the dialog on the virtual PC
    kCommand,     // a sub-command, on this machine or (simulate) the virtual PC
    kHelp,        // print the usage, exit 0
    kVersion,     // print the version, exit 0
    kUsageError,  // print message and the usage to stderr, exit kExitUsage
};

struct RunOptions {
    ERunMode mode = ERunMode::kDialog;
    // For kUsageError: what is wrong (a format of the table; null for
    // nothing), with argument, the user's own bytes, in place of its "%s".
    const CText* message = nullptr;
    std::string argument;
    // For kCommand.
    Cli::CommandRequest command;
    bool simulate = false;
};

// args without the program's name. At most one sub-command word, anywhere;
// each option may come once and only with what it applies to: --simulate
// everywhere, --json with a sub-command, --yes with switch and return,
// --writable and --id N (or --id=N, N from 0 to 6, required) with switch,
// --disk PATH (or --disk=PATH) with return. Anything else, a plain word
// included, is a usage error. --help (-h) and --version (-V) win over
// everything else that is a known option.
RunOptions ParseCommandLine(const std::vector<std::string>& args);

// What a usage error prints on the error output, in language and the
// encoder's codeset: what is wrong, then where help is.
std::string UsageErrorText(const RunOptions& options, ELanguage language,
                           const CTextEncoder& encoder);

// "Tolvane 1.0.0.1": the program's version line.
std::string VersionLine(ELanguage language);

}  // namespace Cli
}  // namespace Tolvane
