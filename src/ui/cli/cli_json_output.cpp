#include "ui/cli/cli_json_output.h"

#include <nlohmann/json.hpp>

#include "lib/nls.h"
#include "ui/common/ui_text.h"

namespace Tolvane {
namespace Cli {

namespace {

using Ui::DeviceText;

nlohmann::ordered_json DiskJson(const Linux::UsbDiskInfo& disk) {
    const auto pathOrNull = [](const std::string& path) {
        return path.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(path);
    };
    return {{"device", pathOrNull(disk.blockPath)}, {"sg", pathOrNull(disk.genericPath)},
            {"vendor", DeviceText(disk.vendor)},    {"model", DeviceText(disk.model)},
            {"sizeBytes", disk.sizeBytes},          {"readOnly", disk.readOnly}};
}

}  // namespace

void PrintJson(const CommandReport& report, std::ostream& out) {
    static const char* const kNames[] = {"status", "switch", "return"};
    nlohmann::ordered_json j;
    j["command"] = kNames[static_cast<int>(report.command)];
    j["outcome"] = OutcomeWord(report.outcome);
    j["exitCode"] = OutcomeExitCode(report.outcome);
    j["message"] = ZRK::Cp932ToUtf8(report.message.c_str());
    j["systemError"] = report.systemError.empty() ? nlohmann::ordered_json()
                                                  : nlohmann::ordered_json(report.systemError);
    j["state"] = nullptr;
    j["ports"] = nullptr;
    j["firmware"] = nullptr;
    j["firmwareSupported"] = nullptr;
    j["disks"] = nullptr;
    if (report.looked) {
        j["state"] = report.InNormalState() ? "normal" : "not-found";
        j["ports"] = report.ports;
        if (report.firmware) {
            j["firmware"] = DeviceText(*report.firmware);
            j["firmwareSupported"] = !IsOlderFirmware(report.firmware->c_str());
        }
        j["disks"] = nlohmann::ordered_json::array();
        for (const Linux::UsbDiskInfo& disk : report.disks) {
            j["disks"].push_back(DiskJson(disk));
        }
    }
    if (report.command == ECommand::kStatus) {
        j["noAccess"] = report.noAccess;
    }
    if (report.command == ECommand::kSwitch) {
        j["disk"] = report.newDisk ? DiskJson(*report.newDisk) : nlohmann::ordered_json();
    }
    out << j.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n';
}

}  // namespace Cli
}  // namespace Tolvane
