// The command line of the terminal program: the dialog on this machine, the
// dialog on the virtual PC, or a word about the program.
#pragma once

#include <string>
#include <vector>

namespace Tolvane {
namespace Tui {

enum class ERunMode {
    kDialog,      // the dialog on this machine's adapter
    kSimulate,    // the dialog on the virtual PC
    kHelp,        // print the usage, exit 0
    kVersion,     // print the version, exit 0
    kUsageError,  // print message and the usage to stderr, exit kExitUsage
};

// Exit codes of the program.
constexpr int kExitOk = 0;
// The screen could not be set up (no terminal, unknown terminal type).
constexpr int kExitNoTerminal = 1;
constexpr int kExitUsage = 2;
// A signal (SIGINT, SIGTERM, SIGHUP) ended the dialog: 128 + its number.
constexpr int kExitSignalBase = 128;

struct RunOptions {
    ERunMode mode = ERunMode::kDialog;
    // For kUsageError: what to say before the usage (code page 932 bytes).
    std::string message;
};

// args without the program's name. Each option may come once; anything
// else, a plain word included, is a usage error. --help and --version win
// over everything else that is valid.
RunOptions ParseCommandLine(const std::vector<std::string>& args);

// "Tolvane 1.0.0.1": the program's version line.
std::string VersionLine();

}  // namespace Tui
}  // namespace Tolvane
