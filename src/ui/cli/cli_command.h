// The sub-commands status, switch and return, for scripts and SSH sessions.
// switch and return run the dialog's two operations on the same hosts; only
// the message boxes change: the question becomes a y/n prompt on the
// terminal (or --yes), and each closing message is printed beside the
// outcome the operation returned, as a stable word (for --json) and an exit
// code. status looks
// at the adapter with the switch's own version query and lists the USB
// disks; it writes nothing anywhere.
#pragma once

#include <functional>
#include <ostream>
#include <string>

#include "modes/adapter_operations.h"
#include "modes/operation_host.h"
#include "platform/linux/usb_disk_list.h"
#include "platform/win_types.h"
#include "ui/cli/cli_terminal.h"

namespace Tolvane {
namespace Cli {

enum class ECommand { kStatus, kSwitch, kReturn };

struct CommandRequest {
    ECommand command = ECommand::kStatus;
    DWORD targetId = 0;     // switch: the SCSI ID, 0 to 6
    bool writable = false;  // switch: writable instead of read-only
    bool yes = false;       // switch, return: yes to the question, unasked
    bool json = false;      // one JSON object on the output instead of text
    std::string disk;       // return: the one disk to send the command to; empty: all
};

enum class EOutcome {
    kNormal,           // status: the adapter answered in the normal state
    kSwitched,         // the operations' successes
    kReturned,         //
    kNoTerminal,       // no terminal to ask on, and no --yes
    kNoRights,         // the dialog's rights check failed
    kNotFound,         // fewer than two adapter ports
    kPortUnavailable,  // the adapter's port would not open
    kNoResponse,       // no version reply
    kOldFirmware,      // firmware older than the switch accepts
    kDeclined,         // the question was answered no
    kUnknownError,     // the port still answered after the switch command
    kAlreadyNormal,    // return: the ports are there already
    kNotBack,          // return: no port came back
};

// The stable word ("switched", "not-found", ...) and the exit code.
const char* OutcomeWord(EOutcome outcome);
int OutcomeExitCode(EOutcome outcome);

// The sub-command's outcome for how an operation ended.
EOutcome OutcomeOf(EOperationOutcome outcome);

// How long the switch looks for the adapter's new disk once the adapter
// has gone, and how often: enough for the kernel's USB storage settling
// delay and the SCSI scan.
constexpr DWORD kNewDiskWaitMs = 10000;
constexpr DWORD kNewDiskLookMs = 250;

// What a sub-command runs on.
struct CommandMachine {
    COperationHost& host;
    Linux::CUsbDiskList& disks;
    std::string deviceDir;  // where the adapter's ttyACMn are: "/dev"
    // Whether this process may open a device node for reading and writing;
    // null: every node may be opened.
    std::function<bool(const std::string& node)> canOpen;
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
};

// Runs the sub-command to its end; the exit code. When the output cannot
// be written (a full disk, a closed output) that is said on err and the code
// is kExitOutputFailed, whatever the command did.
int RunCommand(const CommandRequest& request, CommandMachine& machine, CommandIo& io);

}  // namespace Cli
}  // namespace Tolvane
