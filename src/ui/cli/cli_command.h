// The sub-commands status, switch and return, for scripts and SSH sessions.
// switch and return run the dialog's two operations on the same hosts; only
// the message boxes change: the question becomes a y/n prompt on the
// terminal (or --yes), and each closing message is printed beside the
// outcome the operation returned, as a stable word (for --json) and an exit
// code. status looks at the adapter with the switch's own version query and
// lists the USB disks; it writes nothing anywhere. Running a command makes
// one report (cli_report.h), which the text and the JSON printers read.
#pragma once

#include <functional>
#include <optional>
#include <ostream>
#include <string>

#include "modes/operation_host.h"
#include "platform/linux/usb_disk_list.h"
#include "platform/win_types.h"
#include "ui/cli/cli_report.h"
#include "ui/cli/cli_terminal.h"

namespace Tolvane {
namespace Cli {

struct CommandRequest {
    ECommand command = ECommand::kStatus;
    DWORD targetId = 0;     // switch: the SCSI ID, 0 to 6
    bool writable = false;  // switch: writable instead of read-only
    bool yes = false;       // switch, return: yes to the question, unasked
    bool json = false;      // one JSON object on the output instead of text
    std::string disk;       // return: the one disk to send the command to; empty: all
};

// What a sub-command runs on.
struct CommandMachine {
    COperationHost& host;
    Linux::CUsbDiskList& disks;
    std::string deviceDir;  // where the adapter's ttyACMn are: "/dev"
    // Whether this process may open a device node for reading and writing;
    // null: every node may be opened.
    std::function<bool(const std::string& node)> canOpen;
    // The system's reason for the last device call that failed
    // ("/dev/ttyACM0: held by another process"); null or empty: none known.
    std::function<std::string()> systemError;
};

// Where it talks to the user.
struct CommandIo {
    std::ostream& out;  // the report, the success message, the JSON object
    std::ostream& err;  // failure messages
    CTextEncoder encoder;
    int terminalFd;  // read-write, for the question; -1: none
    // Where a line that shows what the command waits for goes (a terminal
    // on the error output); null: nowhere.
    std::ostream* progress = nullptr;
    // Of every text and message printed (JSON keys and outcome words stay).
    ELanguage language = ELanguage::kEnglish;
};

// Runs the sub-command to its end (the question and the waiting line on
// io); its report, or none when --disk names no USB disk, which is said on
// io.err and nothing is sent.
std::optional<CommandReport> RunCommandReport(const CommandRequest& request,
                                              CommandMachine& machine, CommandIo& io);

// RunCommandReport, then prints its report as text or JSON;
// the exit code. When the output cannot
// be written (a full disk, a closed output) that is said on err and the code
// is kExitOutputFailed, whatever the command did.
int RunCommand(const CommandRequest& request, CommandMachine& machine, CommandIo& io);

}  // namespace Cli
}  // namespace Tolvane
