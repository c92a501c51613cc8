#include "ui/cli/cli_command.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include "comm/serial_port.h"
#include "platform/linux/linux_raw_disk_api.h"
#include "platform/linux/sysfs.h"
#include "tolvane_texts.h"
#include "ui/cli/cli_json_output.h"
#include "ui/cli/cli_text_output.h"
#include "ui/common/exit_codes.h"
#include "ui/common/ui_text.h"

namespace Tolvane {
namespace Cli {

namespace {

using Linux::UsbDiskInfo;
using Ui::ArgumentText;
using Ui::DeviceText;
using Ui::FillIn;

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
    std::string RightsMessage(ELanguage language) override {
        return m_machine.host.RightsMessage(language);
    }

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
            std::snprintf(seconds, sizeof seconds, "%.1f", m_waitedMs / 1000.0);
            const std::string waited = FillIn(Text::kCliWaited.In(m_io.language), seconds);
            *m_io.progress << '\r' << m_io.encoder.Encode(m_label + " " + waited) << "\x1b[K"
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
        : CMessageBoxes(io.language), m_yes(yes), m_io(io), m_host(host) {}

    // Lines (code page 932) shown before the question, and what the waits
    // after a yes are for.
    void Prepare(std::string plan, std::string waitLabel) {
        m_plan = std::move(plan);
        m_waitLabel = std::move(waitLabel);
    }

    int MessageBox(const char* text, UINT type) override {
        if ((type & MB_TYPEMASK) == MB_YESNO) {
            if (!m_yes && !AskYesNo(m_io.terminalFd, m_io.encoder, m_plan + text, Language())) {
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

std::vector<WORD> AdapterPorts(COperationHost& host) {
    const ZRK::CSharedArray<WORD> found = host.FindUsbComPorts(kAdapterVendorId, kAdapterProductId);
    std::vector<WORD> ports;
    for (std::uint32_t i = 0; i < found.GetSize(); ++i) {
        ports.push_back(found.At(i));
    }
    return ports;
}

std::vector<std::string> PortNodes(const CommandMachine& machine, const std::vector<WORD>& ports) {
    std::vector<std::string> nodes;
    for (const WORD port : ports) {
        nodes.push_back(Linux::AcmPortPath(machine.deviceDir, port));
    }
    return nodes;
}

bool CanOpen(const CommandMachine& machine, const std::string& node) {
    return !machine.canOpen || machine.canOpen(node);
}

// Looks without needing the rights the operations need: the nodes this
// process may not open are named, and the adapter is asked for its version
// only when its port may be opened.
void Status(CommandMachine& machine, ELanguage language, CommandReport& report) {
    const std::vector<WORD> ports = AdapterPorts(machine.host);
    report.ports = PortNodes(machine, ports);
    report.disks = machine.disks.ListUsbDisks();
    for (const std::string& node : report.ports) {
        if (!CanOpen(machine, node)) {
            report.noAccess.push_back(node);
        }
    }
    for (const UsbDiskInfo& disk : report.disks) {
        if (!disk.genericPath.empty() && !CanOpen(machine, disk.genericPath)) {
            report.noAccess.push_back(disk.genericPath);
        }
    }
    if (!report.InNormalState()) {
        report.outcome = EOutcome::kNotFound;
        return;
    }
    if (!CanOpen(machine, report.ports[0])) {
        report.outcome = EOutcome::kNoRights;
        report.message = machine.host.HasAdministratorRights()
                             ? FillIn(Text::kCliNoAccess.In(language), report.noAccess.front())
                             : machine.host.RightsMessage(language);
        return;
    }
    ZRK::CSerialPort port(machine.host.Serial());
    char reply[kVersionReplyMax + 1] = {};
    switch (QueryFirmwareVersion(machine.host, port, ports[0], reply)) {
        case EOperationOutcome::kReplied:
            report.outcome = EOutcome::kNormal;
            report.firmware = reply;
            break;
        case EOperationOutcome::kPortUnavailable:
            report.outcome = EOutcome::kPortUnavailable;
            report.message = Text::kPortNotFound.In(language);
            break;
        default:
            report.outcome = EOutcome::kNoResponse;
            report.message = Text::kNoResponse.In(language);
            break;
    }
}

// The first disk with a block node that was not there before, looked for
// until kNewDiskWaitMs have passed; report.disks ends as the last look saw
// them.
void WaitForNewDisk(CommandMachine& machine, CCommandHost& host,
                    const std::vector<UsbDiskInfo>& before, ELanguage language,
                    CommandReport& report) {
    report.waitedForDisk = true;
    host.WaitFor(FillIn(Text::kCliWaitDisk.In(language), Seconds(kNewDiskWaitMs)));
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
std::string ReturnPlan(const std::vector<UsbDiskInfo>& disks, ELanguage language) {
    std::string plan;
    for (const UsbDiskInfo& disk : disks) {
        if (disk.driveNumber >= 0) {
            plan += FillIn(Text::kCliReturnPlan.In(language), DiskLine(disk, language)) + "\n";
        }
    }
    return plan.empty() ? std::string(Text::kCliReturnPlanNone.In(language)) + "\n" : plan;
}

// Runs switch or return with its question and waits; false with nothing
// done when --disk names no USB disk.
bool RunOperation(const CommandRequest& request, CommandMachine& machine, CommandIo& io,
                  CommandReport& report) {
    CCommandHost host(machine, io);
    CTerminalBoxes boxes(request.yes, io, host);
    const ELanguage language = io.language;
    const std::vector<UsbDiskInfo> before = machine.disks.ListUsbDisks();
    EOperationOutcome outcome;
    if (request.command == ECommand::kSwitch) {
        const CText& mode = request.writable ? Text::kCliWritable : Text::kCliReadOnly;
        boxes.Prepare(
            FillIn(FillIn(Text::kCliSwitchPlan.In(language), std::to_string(request.targetId)),
                   mode.In(language)) +
                "\n",
            Text::kCliWaitLeave.In(language));
        std::string firmware;
        outcome = SwitchToMassStorage(host, boxes, request.targetId, !request.writable, &firmware);
        report.message = boxes.Message();
        if (outcome == EOperationOutcome::kOldFirmware) {
            // The reply as every other output shows a device's bytes.
            report.message = FillIn(Text::kOldVersionFormat.In(language), DeviceText(firmware));
        }
        if (outcome == EOperationOutcome::kSwitched) {
            WaitForNewDisk(machine, host, before, language, report);
        }
    } else {
        std::vector<UsbDiskInfo> targets = before;
        if (!request.disk.empty()) {
            const std::optional<UsbDiskInfo> chosen = FindDisk(before, request.disk);
            if (!chosen || chosen->driveNumber < 0) {
                io.err << io.encoder.Encode(
                              FillIn(Text::kCliNotUsbDisk.In(language), ArgumentText(request.disk)))
                       << '\n';
                return false;
            }
            host.ChooseDisk(*chosen);
            targets = {*chosen};
        }
        boxes.Prepare(
            ReturnPlan(targets, language),
            FillIn(Text::kCliWaitPorts.In(language), Seconds(kPortLooks * kPortLookIntervalMs)));
        outcome = ReturnToNormal(host, boxes);
        report.message = boxes.Message();
    }
    report.outcome = OutcomeOf(outcome);
    if (outcome == EOperationOutcome::kDeclined) {
        report.message = Text::kCliDeclined.In(language);
    }
    return true;
}

// The failures that a device call the system refused may explain.
bool HadDeviceFault(EOutcome outcome) {
    return outcome == EOutcome::kPortUnavailable || outcome == EOutcome::kNoResponse ||
           outcome == EOutcome::kUnknownError || outcome == EOutcome::kNotBack;
}

}  // namespace

std::optional<CommandReport> RunCommandReport(const CommandRequest& request,
                                              CommandMachine& machine, CommandIo& io) {
    CommandReport report;
    report.command = request.command;
    const bool asks = request.command != ECommand::kStatus && !request.yes;
    if (request.command == ECommand::kStatus) {
        report.looked = true;
        Status(machine, io.language, report);
    } else if (!machine.host.HasAdministratorRights()) {
        report.outcome = EOutcome::kNoRights;
        report.message = machine.host.RightsMessage(io.language);
    } else if (asks && io.terminalFd < 0) {
        report.outcome = EOutcome::kNoTerminal;
        report.message = Text::kCliNoTerminal.In(io.language);
    } else {
        report.looked = true;
        if (!RunOperation(request, machine, io, report)) {
            return std::nullopt;
        }
        report.ports = PortNodes(machine, AdapterPorts(machine.host));
        if (!report.waitedForDisk) {
            report.disks = machine.disks.ListUsbDisks();
        }
    }
    if (machine.systemError && HadDeviceFault(report.outcome)) {
        report.systemError = machine.systemError();
    }
    return report;
}

int RunCommand(const CommandRequest& request, CommandMachine& machine, CommandIo& io) {
    const std::optional<CommandReport> report = RunCommandReport(request, machine, io);
    if (!report) {
        return kExitUsage;
    }
    if (request.json) {
        PrintJson(*report, io.out);
    } else {
        PrintText(*report, io.out, io.err, io.encoder, io.language);
    }
    errno = 0;
    if (!io.out.flush()) {
        // The system's words as every other reason the program gives: glibc's
        // English description, which passes the code page 932 text unharmed
        // (strerror's would be in the locale's own encoding).
        const int error = errno;
        io.err << io.encoder.Encode(FillIn(Text::kCliWriteError.In(io.language),
                                           strerrordesc_np(error != 0 ? error : EIO)))
               << '\n';
        return kExitOutputFailed;
    }
    return OutcomeExitCode(report->outcome);
}

}  // namespace Cli
}  // namespace Tolvane
