#include "platform/linux/cli/cli_command.h"

#include <cstdint>
#include <cstdio>
#include <optional>
#include <vector>

#include <nlohmann/json.hpp>

#include "comm/serial_port.h"
#include "lib/nls.h"
#include "modes/adapter_operations.h"
#include "platform/linux/cli/exit_codes.h"
#include "platform/linux/tui/tui_text.h"
#include "tolvane_texts.h"

namespace Tolvane {
namespace Cli {

namespace {

using Linux::UsbDiskInfo;
using Tui::FillIn;

struct OutcomeRow {
    EOutcome outcome;
    const char* word;
    int exitCode;
};

constexpr OutcomeRow kOutcomes[] = {
    {EOutcome::kNormal, "normal", kExitOk},
    {EOutcome::kSwitched, "switched", kExitOk},
    {EOutcome::kReturned, "returned", kExitOk},
    {EOutcome::kNoTerminal, "no-terminal", kExitNoTerminal},
    {EOutcome::kNoRights, "no-rights", kExitNoRights},
    {EOutcome::kNotFound, "not-found", kExitNotFound},
    {EOutcome::kPortUnavailable, "port-unavailable", kExitPortUnavailable},
    {EOutcome::kNoResponse, "no-response", kExitNoResponse},
    {EOutcome::kOldFirmware, "old-firmware", kExitOldFirmware},
    {EOutcome::kDeclined, "declined", kExitDeclined},
    {EOutcome::kUnknownError, "unknown-error", kExitUnknownError},
    {EOutcome::kAlreadyNormal, "already-normal", kExitAlreadyNormal},
    {EOutcome::kNotBack, "not-back", kExitNotBack},
};

constexpr bool InEnumOrder() {
    for (std::size_t i = 0; i < sizeof kOutcomes / sizeof kOutcomes[0]; ++i) {
        if (static_cast<std::size_t>(kOutcomes[i].outcome) != i) {
            return false;
        }
    }
    return static_cast<std::size_t>(EOutcome::kNotBack) + 1 ==
           sizeof kOutcomes / sizeof kOutcomes[0];
}
static_assert(InEnumOrder(), "one row per outcome, in the enumeration's order");

const OutcomeRow& RowOf(EOutcome outcome) {
    return kOutcomes[static_cast<std::size_t>(outcome)];
}

// Whether text is format with something in place of its "%s".
bool MatchesFormat(const std::string& text, const std::string& format) {
    const std::size_t at = format.find("%s");
    const std::string head = format.substr(0, at);
    const std::string tail = at == std::string::npos ? std::string() : format.substr(at + 2);
    return at != std::string::npos && text.size() >= head.size() + tail.size() &&
           text.compare(0, head.size(), head) == 0 &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// The operations' message boxes on a terminal: the question is asked there
// (or answered by --yes), the closing message is kept for the report.
class CTerminalBoxes : public CMessageBoxes {
public:
    CTerminalBoxes(bool yes, CommandIo& io) : m_yes(yes), m_io(io) {}

    int MessageBox(const char* text, UINT type) override {
        if ((type & MB_TYPEMASK) == MB_YESNO) {
            m_declined = !m_yes && !AskYesNo(m_io.terminalFd, m_io.encoder, text);
            return m_declined ? IDNO : IDYES;
        }
        m_message = text;
        return IDOK;
    }

    EOutcome Outcome() const {
        return m_declined ? EOutcome::kDeclined : OutcomeOfMessage(m_message);
    }
    const std::string& Message() const { return m_message; }

private:
    bool m_yes;
    CommandIo& m_io;
    bool m_declined = false;
    std::string m_message;
};

struct Report {
    EOutcome outcome = EOutcome::kUnknownError;
    std::string message;  // code page 932; empty when there is none
    // Whether the state was looked at; without rights or a terminal the
    // sub-command ends before it.
    bool looked = false;
    std::vector<WORD> ports;
    std::optional<std::string> firmware;  // the reply's bytes
    std::vector<UsbDiskInfo> disks;
    bool waitedForDisk = false;  // switch: it looked for the adapter's disk
    std::optional<UsbDiskInfo> newDisk;
};

std::vector<WORD> AdapterPorts(COperationHost& host) {
    const ZRK::CSharedArray<WORD> found = host.FindUsbComPorts(kAdapterVendorId, kAdapterProductId);
    std::vector<WORD> ports;
    for (std::uint32_t i = 0; i < found.GetSize(); ++i) {
        ports.push_back(found.At(i));
    }
    return ports;
}

bool InNormalState(const Report& report) {
    return report.ports.size() >= kAdapterPortCount;
}

void Status(CommandMachine& machine, Report& report) {
    report.ports = AdapterPorts(machine.host);
    if (!InNormalState(report)) {
        report.outcome = EOutcome::kNotFound;
        return;
    }
    ZRK::CSerialPort port(machine.host.Serial());
    char reply[kVersionReplyMax + 1] = {};
    switch (QueryFirmwareVersion(machine.host, port, report.ports[0], reply)) {
        case EVersionQuery::kReplied:
            report.outcome = EOutcome::kNormal;
            report.firmware = reply;
            break;
        case EVersionQuery::kPortNotOpened:
            report.outcome = EOutcome::kPortUnavailable;
            report.message = Text::kPortNotFound;
            break;
        case EVersionQuery::kNoReply:
            report.outcome = EOutcome::kNoResponse;
            report.message = Text::kNoResponse;
            break;
    }
}

// The first disk with a block node that was not there before, looked for
// until kNewDiskWaitMs have passed; report.disks ends as the last look saw
// them.
void WaitForNewDisk(CommandMachine& machine, const std::vector<UsbDiskInfo>& before,
                    Report& report) {
    report.waitedForDisk = true;
    for (DWORD waited = 0;; waited += kNewDiskLookMs) {
        report.disks = machine.disks.ListUsbDisks();
        for (const UsbDiskInfo& disk : report.disks) {
            bool known = disk.blockPath.empty();
            for (const UsbDiskInfo& old : before) {
                known = known || old.blockPath == disk.blockPath;
            }
            if (!known) {
                report.newDisk = disk;
                return;
            }
        }
        if (waited >= kNewDiskWaitMs) {
            return;
        }
        machine.host.Sleep(kNewDiskLookMs);
    }
}

// Bytes from a device (a version reply, a disk's vendor) as plain ASCII:
// anything else as \xNN.
std::string Printable(const std::string& raw) {
    std::string out;
    for (const char c : raw) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b < 0x7F) {
            out += c;
        } else {
            char escape[5];
            std::snprintf(escape, sizeof escape, "\\x%02X", b);
            out += escape;
        }
    }
    return out;
}

std::string PortPath(const std::string& deviceDir, WORD port) {
    return deviceDir + "/ttyACM" + std::to_string(port);
}

std::string SizeText(std::uint64_t bytes) {
    if (bytes < 1024) {
        return std::to_string(bytes) + " B";
    }
    static const char* const kUnits[] = {"KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
    double value = static_cast<double>(bytes) / 1024.0;
    std::size_t unit = 0;
    while (value >= 1024.0 && unit + 1 < sizeof kUnits / sizeof kUnits[0]) {
        value /= 1024.0;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
    return text;
}

std::string DiskLine(const UsbDiskInfo& disk) {
    const std::string name = Printable(disk.vendor) +
                             (disk.vendor.empty() || disk.model.empty() ? "" : " ") +
                             Printable(disk.model);
    return (disk.blockPath.empty() ? "-" : disk.blockPath) + "  " +
           (disk.genericPath.empty() ? "-" : disk.genericPath) + "  " + name + "  " +
           SizeText(disk.sizeBytes) + "  " +
           (disk.readOnly ? Text::kCliReadOnly : Text::kCliWritable);
}

void PrintText(const CommandRequest& request, const CommandMachine& machine, const Report& report,
               CommandIo& io) {
    const auto line = [&io](std::ostream& to, const std::string& cp932) {
        to << io.encoder.Encode(cp932) << '\n';
    };
    if (report.looked && request.command == ECommand::kStatus) {
        line(io.out, InNormalState(report) ? Text::kCliAdapterNormal : Text::kCliAdapterNotFound);
        std::string ports;
        for (const WORD port : report.ports) {
            ports += (ports.empty() ? "" : " ") + PortPath(machine.deviceDir, port);
        }
        if (!ports.empty()) {
            line(io.out, "  " + FillIn(Text::kCliPorts, ports));
        }
        if (report.firmware) {
            const bool old = IsOlderFirmware(report.firmware->c_str());
            line(io.out, "  " + FillIn(old ? Text::kCliFirmwareOld : Text::kCliFirmware,
                                       Printable(*report.firmware)));
        }
        line(io.out, report.disks.empty() ? Text::kCliNoDisks : Text::kCliDisks);
        for (const UsbDiskInfo& disk : report.disks) {
            line(io.out, "  " + DiskLine(disk));
        }
    }
    if (!report.message.empty()) {
        line(OutcomeExitCode(report.outcome) == kExitOk ? io.out : io.err, report.message);
    }
    if (report.waitedForDisk) {
        line(io.out, report.newDisk
                         ? FillIn(Text::kCliNewDisk, DiskLine(*report.newDisk))
                         : FillIn(Text::kCliNoNewDisk, std::to_string(kNewDiskWaitMs / 1000)));
    }
}

nlohmann::ordered_json DiskJson(const UsbDiskInfo& disk) {
    const auto pathOrNull = [](const std::string& path) {
        return path.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(path);
    };
    return {{"device", pathOrNull(disk.blockPath)}, {"sg", pathOrNull(disk.genericPath)},
            {"vendor", Printable(disk.vendor)},     {"model", Printable(disk.model)},
            {"sizeBytes", disk.sizeBytes},          {"readOnly", disk.readOnly}};
}

void PrintJson(const CommandRequest& request, const CommandMachine& machine, const Report& report,
               CommandIo& io) {
    static const char* const kNames[] = {"status", "switch", "return"};
    nlohmann::ordered_json j;
    j["command"] = kNames[static_cast<int>(request.command)];
    j["outcome"] = OutcomeWord(report.outcome);
    j["exitCode"] = OutcomeExitCode(report.outcome);
    j["message"] = ZRK::Cp932ToUtf8(report.message.c_str());
    j["state"] = nullptr;
    j["ports"] = nullptr;
    j["firmware"] = nullptr;
    j["firmwareSupported"] = nullptr;
    j["disks"] = nullptr;
    if (report.looked) {
        j["state"] = InNormalState(report) ? "normal" : "not-found";
        j["ports"] = nlohmann::ordered_json::array();
        for (const WORD port : report.ports) {
            j["ports"].push_back(PortPath(machine.deviceDir, port));
        }
        if (report.firmware) {
            j["firmware"] = Printable(*report.firmware);
            j["firmwareSupported"] = !IsOlderFirmware(report.firmware->c_str());
        }
        j["disks"] = nlohmann::ordered_json::array();
        for (const UsbDiskInfo& disk : report.disks) {
            j["disks"].push_back(DiskJson(disk));
        }
    }
    if (request.command == ECommand::kSwitch) {
        j["disk"] = report.newDisk ? DiskJson(*report.newDisk) : nlohmann::ordered_json();
    }
    io.out << j.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n';
}

}  // namespace

const char* OutcomeWord(EOutcome outcome) {
    return RowOf(outcome).word;
}

int OutcomeExitCode(EOutcome outcome) {
    return RowOf(outcome).exitCode;
}

EOutcome OutcomeOfMessage(const std::string& text) {
    static const struct {
        const char* text;
        EOutcome outcome;
    } kMessages[] = {
        {Text::kSwitchedToMass, EOutcome::kSwitched},
        {Text::kReturnedToNormal, EOutcome::kReturned},
        {Text::kAdapterNotFoundMaybeMass, EOutcome::kNotFound},
        {Text::kPortNotFound, EOutcome::kPortUnavailable},
        {Text::kNoResponse, EOutcome::kNoResponse},
        {Text::kUnknownError, EOutcome::kUnknownError},
        {Text::kAlreadyNormal, EOutcome::kAlreadyNormal},
        {Text::kAdapterNotFoundPowerCycle, EOutcome::kNotBack},
    };
    for (const auto& row : kMessages) {
        if (text == row.text) {
            return row.outcome;
        }
    }
    return MatchesFormat(text, Text::kOldVersionFormat) ? EOutcome::kOldFirmware
                                                        : EOutcome::kUnknownError;
}

int RunCommand(const CommandRequest& request, CommandMachine& machine, CommandIo& io) {
    Report report;
    const bool asks = request.command != ECommand::kStatus && !request.yes;
    if (!machine.host.HasAdministratorRights()) {
        report.outcome = EOutcome::kNoRights;
        report.message = Text::kNeedAdmin;
    } else if (asks && io.terminalFd < 0) {
        report.outcome = EOutcome::kNoTerminal;
        report.message = Text::kCliNoTerminal;
    } else {
        report.looked = true;
        CTerminalBoxes boxes(request.yes, io);
        switch (request.command) {
            case ECommand::kStatus:
                Status(machine, report);
                break;
            case ECommand::kSwitch: {
                const std::vector<UsbDiskInfo> before = machine.disks.ListUsbDisks();
                SwitchToMassStorage(machine.host, boxes, request.targetId, !request.writable);
                report.outcome = boxes.Outcome();
                report.message = boxes.Message();
                if (report.outcome == EOutcome::kSwitched) {
                    WaitForNewDisk(machine, before, report);
                }
                break;
            }
            case ECommand::kReturn:
                ReturnToNormal(machine.host, boxes);
                report.outcome = boxes.Outcome();
                report.message = boxes.Message();
                break;
        }
        if (request.command != ECommand::kStatus) {
            report.ports = AdapterPorts(machine.host);
        }
        if (!report.waitedForDisk) {
            report.disks = machine.disks.ListUsbDisks();
        }
    }
    if (request.json) {
        PrintJson(request, machine, report, io);
    } else {
        PrintText(request, machine, report, io);
    }
    return OutcomeExitCode(report.outcome);
}

}  // namespace Cli
}  // namespace Tolvane
