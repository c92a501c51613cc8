// What a sub-command found and how it ended, as one record that both
// printers read: the text for people and the JSON object for scripts say
// the same things.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "modes/adapter_operations.h"
#include "platform/linux/usb_disk_list.h"
#include "platform/win_types.h"

namespace Tolvane {
namespace Cli {

enum class ECommand { kStatus, kSwitch, kReturn };

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

struct CommandReport {
    ECommand command = ECommand::kStatus;
    EOutcome outcome = EOutcome::kUnknownError;
    std::string message;  // code page 932; empty when there is none
    // Whether the state was looked at; without rights or a terminal the
    // sub-command ends before it.
    bool looked = false;
    std::vector<std::string> ports;       // the adapter's port nodes, "/dev/ttyACM0"
    std::optional<std::string> firmware;  // the reply's bytes
    std::vector<Linux::UsbDiskInfo> disks;
    std::vector<std::string> noAccess;  // nodes this process may not open
    bool waitedForDisk = false;         // switch: it looked for the adapter's disk
    std::optional<Linux::UsbDiskInfo> newDisk;
    // For a failure at a device: the system's reason, as the system says it
    // ("/dev/ttyACM0: Device or resource busy"); empty when none is known.
    std::string systemError;

    // Whether the adapter showed its ports, the normal state.
    bool InNormalState() const;
};

// "10", "2.5": milliseconds as seconds for a message.
std::string Seconds(DWORD milliseconds);

// One disk on one line: nodes, vendor and model (device bytes escaped),
// size, read-only or writable (code page 932, in language).
std::string DiskLine(const Linux::UsbDiskInfo& disk, ELanguage language);

}  // namespace Cli
}  // namespace Tolvane
