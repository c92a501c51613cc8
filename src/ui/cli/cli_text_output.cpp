#include "ui/cli/cli_text_output.h"

#include "tolvane_texts.h"
#include "ui/common/exit_codes.h"
#include "ui/common/ui_text.h"

namespace Tolvane {
namespace Cli {

using Ui::DeviceText;
using Ui::FillIn;

void PrintText(const CommandReport& report, std::ostream& out, std::ostream& err,
               const CTextEncoder& encoder, ELanguage language) {
    const auto line = [&encoder](std::ostream& to, const std::string& cp932) {
        to << encoder.Encode(cp932) << '\n';
    };
    const auto text = [language](const CText& table) { return table.In(language); };
    if (report.looked && report.command == ECommand::kStatus) {
        line(out,
             text(report.InNormalState() ? Text::kCliAdapterNormal : Text::kCliAdapterNotFound));
        std::string ports;
        for (const std::string& port : report.ports) {
            ports += (ports.empty() ? "" : " ") + port;
        }
        if (!ports.empty()) {
            line(out, "  " + FillIn(text(Text::kCliPorts), ports));
        }
        if (report.firmware) {
            const bool old = IsOlderFirmware(report.firmware->c_str());
            line(out, "  " + FillIn(text(old ? Text::kCliFirmwareOld : Text::kCliFirmware),
                                    DeviceText(*report.firmware)));
        }
        line(out, text(report.disks.empty() ? Text::kCliNoDisks : Text::kCliDisks));
        for (const Linux::UsbDiskInfo& disk : report.disks) {
            line(out, "  " + DiskLine(disk, language));
        }
        std::string nodes;
        for (const std::string& node : report.noAccess) {
            nodes += (nodes.empty() ? "" : " ") + node;
        }
        if (!nodes.empty()) {
            line(out, FillIn(text(Text::kCliNoAccess), nodes));
        }
    }
    if (!report.message.empty()) {
        line(OutcomeExitCode(report.outcome) == kExitOk ? out : err, report.message);
    }
    if (!report.systemError.empty()) {
        line(err, FillIn(text(Text::kCliSystemError), report.systemError));
    }
    if (report.waitedForDisk) {
        line(out, report.newDisk
                      ? FillIn(text(Text::kCliNewDisk), DiskLine(*report.newDisk, language))
                      : FillIn(text(Text::kCliNoNewDisk), Seconds(kNewDiskWaitMs)));
    }
}

}  // namespace Cli
}  // namespace Tolvane
