// Exit codes of the program tolvane, the dialog's and the sub-commands'
// together, so that no two outcomes share a code. --help, the README and
// the manual page list them.
#pragma once

namespace Tolvane {

constexpr int kExitOk = 0;
// No terminal: none to draw the dialog on, or none to ask a sub-command's
// question on (and no --yes).
constexpr int kExitNoTerminal = 1;
constexpr int kExitUsage = 2;
// The sub-commands' failures, one code each.
constexpr int kExitNoRights = 3;
constexpr int kExitNotFound = 4;
constexpr int kExitPortUnavailable = 5;
constexpr int kExitNoResponse = 6;
constexpr int kExitOldFirmware = 7;
constexpr int kExitDeclined = 8;
constexpr int kExitUnknownError = 9;
constexpr int kExitAlreadyNormal = 10;
constexpr int kExitNotBack = 11;
// The output could not be written (a full disk, a closed standard output):
// whatever the command did, a script did not get its report.
constexpr int kExitOutputFailed = 12;
// A signal (SIGINT, SIGTERM, SIGHUP) ended the dialog: 128 + its number.
constexpr int kExitSignalBase = 128;

}  // namespace Tolvane
