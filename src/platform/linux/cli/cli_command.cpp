#include "platform/linux/cli/cli_command.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include <nlohmann/json.hpp>

#include "comm/serial_port.h"
#include "lib/nls.h"
#include "platform/linux/cli/exit_codes.h"
#include "platform/linux/linux_raw_disk_api.h"
#include "platform/linux/sysfs.h"
#include "platform/linux/tui/tui_text.h"
#include "tolvane_texts.h"

namespace Tolvane {
namespace Cli {

namespace {

using Linux::UsbDiskInfo;
using Tui::ArgumentText;
using Tui::DeviceText;
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

// "10", "2.5": milliseconds as seconds for a message.
std::string Seconds(DWORD milliseconds) {
    char text[24];
    std::snprintf(text, sizeof text, "%g", milliseconds / 1000.0);
    return text;
}

// How often the waiting line is brought up to date.
constexpr DWORD kProgressStepMs = 250;

// The host the operations run on, seen through the sub-command: its waits
// show on the waiting line, and with --disk only the chosen disk opens.
class CCommandHost : public COperationHost, private ZRK::CRawDiskApi {
public:
    CCommandHost(CommandMachine& machine, CommandIo& io) : m_machine(machine), m_io(io) {}
    ~CCommandHost() override { EndWait(); }
    CCommandHost(const CCommandHost&) = delete;
    CCommandHost& operator=(const CCommandHost&) = delete;

    ZRK::CSharedArray<WORD> FindUsbComPorts(WORD vendorId, WORD productId) override {
        return m_machine.host.FindUsbComPorts(vendorId, productId);
    }
    ZRK::CSerialApi& Serial() override { return m_machine.host.Serial(); }
    ZRK::CRawDiskApi& RawDisk() override {
        return m_chosen ? static_cast<ZRK::CRawDiskApi&>(*this) : m_machine.host.RawDisk();
    }
    bool HasAdministratorRights() override { return m_machine.host.HasAdministratorRights(); }
    std::string RightsMessage() override { return m_machine.host.RightsMessage(); }

    void Sleep(DWORD milliseconds) override {
        if (m_io.progress == nullptr || m_label.empty()) {
            m_machine.host.Sleep(milliseconds);
            return;
        }
        while (milliseconds > 0) {
            const DWORD step = milliseconds < kProgressStepMs ? milliseconds : kProgressStepMs;
            m_machine.host.Sleep(step);
            milliseconds -= step;
            m_waitedMs += step;
            char seconds[24];
            std::snprintf(seconds, sizeof seconds, " %.1f s", m_waitedMs / 1000.0);
            *m_io.progress << '\r' << m_io.encoder.Encode(m_label) << seconds << "\x1b[K"
                           << std::flush;
        }
    }

    // What the waits from now on are for (code page 932); the waiting line
    // counts from 0 again.
    void WaitFor(const std::string& label) {
        EndWait();
        m_label = label;
    }
    // Takes the waiting line off the screen.
    void EndWait() {
        if (m_waitedMs > 0 && m_io.progress != nullptr) {
            *m_io.progress << "\r\x1b[K" << std::flush;
        }
        m_label.clear();
        m_waitedMs = 0;
    }

    // From now on the raw-disk calls reach this disk only.
    void ChooseDisk(const UsbDiskInfo& disk) { m_chosen = disk; }

private:
    // The chosen disk's drive, looked up again at the open, so that a disk
    // that took its number meanwhile is not opened in its place.
    HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD shareMode, void* security, DWORD creation,
                       DWORD flags, HANDLE templateFile) override {
        unsigned number = 0;
        if (!Linux::ParsePhysicalDrivePath(path, &number) ||
            static_cast<int>(number) != m_chosen->driveNumber) {
            return INVALID_HANDLE_VALUE;
        }
        for (const UsbDiskInfo& disk : m_machine.disks.ListUsbDisks()) {
            if (disk.driveNumber == m_chosen->driveNumber) {
                if (disk.genericPath != m_chosen->genericPath) {
                    break;
                }
                return m_machine.host.RawDisk().CreateFileA(path, access, shareMode, security,
                                                            creation, flags, templateFile);
            }
        }
        return INVALID_HANDLE_VALUE;
    }
    BOOL DeviceIoControl(HANDLE device, DWORD code, void* inBuffer, DWORD inSize, void* outBuffer,
                         DWORD outSize, DWORD* returned, void* overlapped) override {
        return m_machine.host.RawDisk().DeviceIoControl(device, code, inBuffer, inSize, outBuffer,
                                                        outSize, returned, overlapped);
    }
    BOOL CloseHandle(HANDLE device) override {
        return m_machine.host.RawDisk().CloseHandle(device);
    }

    CommandMachine& m_machine;
    CommandIo& m_io;
    std::string m_label;
    DWORD m_waitedMs = 0;
    std::optional<UsbDiskInfo> m_chosen;
};

// The operations' message boxes on a terminal: the question is asked there
// (or answered by --yes) after what it concerns, and the closing message is
// kept for the report. After a yes, the operation's waits are what the
// waiting line shows.
class CTerminalBoxes : public CMessageBoxes {
public:
    CTerminalBoxes(bool yes, CommandIo& io, CCommandHost& host)
        : m_yes(yes), m_io(io), m_host(host) {}

    // Lines (code page 932) shown before the question, and what the waits
    // after a yes are for.
    void Prepare(std::string plan, std::string waitLabel) {
        m_plan = std::move(plan);
        m_waitLabel = std::move(waitLabel);
    }

    int MessageBox(const char* text, UINT type) override {
        if ((type & MB_TYPEMASK) == MB_YESNO) {
            if (!m_yes && !AskYesNo(m_io.terminalFd, m_io.encoder, m_plan + text)) {
                return IDNO;
            }
            m_host.WaitFor(m_waitLabel);
            return IDYES;
        }
        m_host.EndWait();
        m_message = text;
        return IDOK;
    }

    const std::string& Message() const { return m_message; }

private:
    bool m_yes;
    CommandIo& m_io;
    CCommandHost& m_host;
    std::string m_plan;
    std::string m_waitLabel;
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
    std::vector<std::string> noAccess;  // nodes this process may not open
    bool waitedForDisk = false;         // switch: it looked for the adapter's disk
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

bool CanOpen(const CommandMachine& machine, const std::string& node) {
    return !machine.canOpen || machine.canOpen(node);
}

// Looks without needing the rights the operations need: the nodes this
// process may not open are named, and the adapter is asked for its version
// only when its port may be opened.
void Status(CommandMachine& machine, Report& report) {
    report.ports = AdapterPorts(machine.host);
    report.disks = machine.disks.ListUsbDisks();
    for (const WORD port : report.ports) {
        if (!CanOpen(machine, Linux::AcmPortPath(machine.deviceDir, port))) {
            report.noAccess.push_back(Linux::AcmPortPath(machine.deviceDir, port));
        }
    }
    for (const UsbDiskInfo& disk : report.disks) {
        if (!disk.genericPath.empty() && !CanOpen(machine, disk.genericPath)) {
            report.noAccess.push_back(disk.genericPath);
        }
    }
    if (!InNormalState(report)) {
        report.outcome = EOutcome::kNotFound;
        return;
    }
    if (!CanOpen(machine, Linux::AcmPortPath(machine.deviceDir, report.ports[0]))) {
        report.outcome = EOutcome::kNoRights;
        report.message = machine.host.HasAdministratorRights()
                             ? FillIn(Text::kCliNoAccess, report.noAccess.front())
                             : machine.host.RightsMessage();
        return;
    }
    ZRK::CSerialPort port(machine.host.Serial());
    char reply[kVersionReplyMax + 1] = {};
    switch (QueryFirmwareVersion(machine.host, port, report.ports[0], reply)) {
        case EOperationOutcome::kReplied:
            report.outcome = EOutcome::kNormal;
            report.firmware = reply;
            break;
        case EOperationOutcome::kPortUnavailable:
            report.outcome = EOutcome::kPortUnavailable;
            report.message = Text::kPortNotFound;
            break;
        default:
            report.outcome = EOutcome::kNoResponse;
            report.message = Text::kNoResponse;
            break;
    }
}

// The first disk with a block node that was not there before, looked for
// until kNewDiskWaitMs have passed; report.disks ends as the last look saw
// them.
void WaitForNewDisk(CommandMachine& machine, CCommandHost& host,
                    const std::vector<UsbDiskInfo>& before, Report& report) {
    report.waitedForDisk = true;
    host.WaitFor(FillIn(Text::kCliWaitDisk, Seconds(kNewDiskWaitMs)));
    for (DWORD waited = 0;; waited += kNewDiskLookMs) {
        report.disks = machine.disks.ListUsbDisks();
        for (const UsbDiskInfo& disk : report.disks) {
            bool known = disk.blockPath.empty();
            for (const UsbDiskInfo& old : before) {
                known = known || old.blockPath == disk.blockPath;
            }
            if (!known) {
                report.newDisk = disk;
                host.EndWait();
                return;
            }
        }
        if (waited >= kNewDiskWaitMs) {
            host.EndWait();
            return;
        }
        host.Sleep(kNewDiskLookMs);
    }
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
    const std::string name = DeviceText(disk.vendor) +
                             (disk.vendor.empty() || disk.model.empty() ? "" : " ") +
                             DeviceText(disk.model);
    return (disk.blockPath.empty() ? "-" : disk.blockPath) + "  " +
           (disk.genericPath.empty() ? "-" : disk.genericPath) + "  " + name + "  " +
           SizeText(disk.sizeBytes) + "  " +
           (disk.readOnly ? Text::kCliReadOnly : Text::kCliWritable);
}

// The USB disk that path names (its block or generic node, or a link to
// one), if it is one.
std::optional<UsbDiskInfo> FindDisk(const std::vector<UsbDiskInfo>& disks,
                                    const std::string& path) {
    std::string resolved = path;
    if (char* real = realpath(path.c_str(), nullptr)) {
        resolved = real;
        free(real);
    }
    for (const UsbDiskInfo& disk : disks) {
        for (const std::string& node : {disk.blockPath, disk.genericPath}) {
            if (!node.empty() && (node == path || node == resolved)) {
                return disk;
            }
        }
    }
    return std::nullopt;
}

// The lines before the return's question: the disks its command goes to.
std::string ReturnPlan(const std::vector<UsbDiskInfo>& disks) {
    std::string plan;
    for (const UsbDiskInfo& disk : disks) {
        if (disk.driveNumber >= 0) {
            plan += FillIn(Text::kCliReturnPlan, DiskLine(disk)) + "\n";
        }
    }
    return plan.empty() ? std::string(Text::kCliReturnPlanNone) + "\n" : plan;
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
            ports += (ports.empty() ? "" : " ") + Linux::AcmPortPath(machine.deviceDir, port);
        }
        if (!ports.empty()) {
            line(io.out, "  " + FillIn(Text::kCliPorts, ports));
        }
        if (report.firmware) {
            const bool old = IsOlderFirmware(report.firmware->c_str());
            line(io.out, "  " + FillIn(old ? Text::kCliFirmwareOld : Text::kCliFirmware,
                                       DeviceText(*report.firmware)));
        }
        line(io.out, report.disks.empty() ? Text::kCliNoDisks : Text::kCliDisks);
        for (const UsbDiskInfo& disk : report.disks) {
            line(io.out, "  " + DiskLine(disk));
        }
        std::string nodes;
        for (const std::string& node : report.noAccess) {
            nodes += (nodes.empty() ? "" : " ") + node;
        }
        if (!nodes.empty()) {
            line(io.out, FillIn(Text::kCliNoAccess, nodes));
        }
    }
    if (!report.message.empty()) {
        line(OutcomeExitCode(report.outcome) == kExitOk ? io.out : io.err, report.message);
    }
    if (report.waitedForDisk) {
        line(io.out, report.newDisk ? FillIn(Text::kCliNewDisk, DiskLine(*report.newDisk))
                                    : FillIn(Text::kCliNoNewDisk, Seconds(kNewDiskWaitMs)));
    }
}

nlohmann::ordered_json DiskJson(const UsbDiskInfo& disk) {
    const auto pathOrNull = [](const std::string& path) {
        return path.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(path);
    };
    return {{"device", pathOrNull(disk.blockPath)}, {"sg", pathOrNull(disk.genericPath)},
            {"vendor", DeviceText(disk.vendor)},    {"model", DeviceText(disk.model)},
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
            j["ports"].push_back(Linux::AcmPortPath(machine.deviceDir, port));
        }
        if (report.firmware) {
            j["firmware"] = DeviceText(*report.firmware);
            j["firmwareSupported"] = !IsOlderFirmware(report.firmware->c_str());
        }
        j["disks"] = nlohmann::ordered_json::array();
        for (const UsbDiskInfo& disk : report.disks) {
            j["disks"].push_back(DiskJson(disk));
        }
    }
    if (request.command == ECommand::kStatus) {
        j["noAccess"] = report.noAccess;
    }
    if (request.command == ECommand::kSwitch) {
        j["disk"] = report.newDisk ? DiskJson(*report.newDisk) : nlohmann::ordered_json();
    }
    io.out << j.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n';
}

// Runs switch or return with its question and waits; false with nothing
// done when --disk names no USB disk.
bool RunOperation(const CommandRequest& request, CommandMachine& machine, CommandIo& io,
                  Report& report) {
    CCommandHost host(machine, io);
    CTerminalBoxes boxes(request.yes, io, host);
    const std::vector<UsbDiskInfo> before = machine.disks.ListUsbDisks();
    EOperationOutcome outcome;
    if (request.command == ECommand::kSwitch) {
        boxes.Prepare(FillIn(FillIn(Text::kCliSwitchPlan, std::to_string(request.targetId)),
                             request.writable ? Text::kCliWritable : Text::kCliReadOnly) +
                          "\n",
                      Text::kCliWaitLeave);
        std::string firmware;
        outcome = SwitchToMassStorage(host, boxes, request.targetId, !request.writable, &firmware);
        report.message = boxes.Message();
        if (outcome == EOperationOutcome::kOldFirmware) {
            // The reply as every other output shows a device's bytes.
            report.message = FillIn(Text::kOldVersionFormat, DeviceText(firmware));
        }
        if (outcome == EOperationOutcome::kSwitched) {
            WaitForNewDisk(machine, host, before, report);
        }
    } else {
        std::vector<UsbDiskInfo> targets = before;
        if (!request.disk.empty()) {
            const std::optional<UsbDiskInfo> chosen = FindDisk(before, request.disk);
            if (!chosen || chosen->driveNumber < 0) {
                io.err << io.encoder.Encode(
                              FillIn(Text::kCliNotUsbDisk, ArgumentText(request.disk)))
                       << '\n';
                return false;
            }
            host.ChooseDisk(*chosen);
            targets = {*chosen};
        }
        boxes.Prepare(ReturnPlan(targets),
                      FillIn(Text::kCliWaitPorts, Seconds(kPortLooks * kPortLookIntervalMs)));
        outcome = ReturnToNormal(host, boxes);
        report.message = boxes.Message();
    }
    report.outcome = OutcomeOf(outcome);
    if (outcome == EOperationOutcome::kDeclined) {
        report.message = Text::kCliDeclined;
    }
    return true;
}

}  // namespace

const char* OutcomeWord(EOutcome outcome) {
    return RowOf(outcome).word;
}

int OutcomeExitCode(EOutcome outcome) {
    return RowOf(outcome).exitCode;
}

EOutcome OutcomeOf(EOperationOutcome outcome) {
    switch (outcome) {
        case EOperationOutcome::kReplied:
            return EOutcome::kNormal;
        case EOperationOutcome::kSwitched:
            return EOutcome::kSwitched;
        case EOperationOutcome::kReturned:
            return EOutcome::kReturned;
        case EOperationOutcome::kNotFound:
            return EOutcome::kNotFound;
        case EOperationOutcome::kPortUnavailable:
            return EOutcome::kPortUnavailable;
        case EOperationOutcome::kNoResponse:
            return EOutcome::kNoResponse;
        case EOperationOutcome::kOldFirmware:
            return EOutcome::kOldFirmware;
        case EOperationOutcome::kDeclined:
            return EOutcome::kDeclined;
        case EOperationOutcome::kUnknownError:
            return EOutcome::kUnknownError;
        case EOperationOutcome::kAlreadyNormal:
            return EOutcome::kAlreadyNormal;
        case EOperationOutcome::kNotBack:
            return EOutcome::kNotBack;
    }
    return EOutcome::kUnknownError;
}

int RunCommand(const CommandRequest& request, CommandMachine& machine, CommandIo& io) {
    Report report;
    const bool asks = request.command != ECommand::kStatus && !request.yes;
    if (request.command == ECommand::kStatus) {
        report.looked = true;
        Status(machine, report);
    } else if (!machine.host.HasAdministratorRights()) {
        report.outcome = EOutcome::kNoRights;
        report.message = machine.host.RightsMessage();
    } else if (asks && io.terminalFd < 0) {
        report.outcome = EOutcome::kNoTerminal;
        report.message = Text::kCliNoTerminal;
    } else {
        report.looked = true;
        if (!RunOperation(request, machine, io, report)) {
            return kExitUsage;
        }
        report.ports = AdapterPorts(machine.host);
        if (!report.waitedForDisk) {
            report.disks = machine.disks.ListUsbDisks();
        }
    }
    if (request.json) {
        PrintJson(request, machine, report, io);
    } else {
        PrintText(request, machine, report, io);
    }
    errno = 0;
    if (!io.out.flush()) {
        const int error = errno;
        io.err << io.encoder.Encode(
                      FillIn(Text::kCliWriteError, std::strerror(error != 0 ? error : EIO)))
               << '\n';
        return kExitOutputFailed;
    }
    return OutcomeExitCode(report.outcome);
}

}  // namespace Cli
}  // namespace Tolvane
