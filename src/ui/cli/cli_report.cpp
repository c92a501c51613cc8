#include "ui/cli/cli_report.h"

#include <cstdint>
#include <cstdio>

#include "tolvane_texts.h"
#include "ui/common/exit_codes.h"
#include "ui/common/ui_text.h"

namespace Tolvane {
namespace Cli {

namespace {

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

bool CommandReport::InNormalState() const {
    return ports.size() >= kAdapterPortCount;
}

std::string Seconds(DWORD milliseconds) {
    char text[24];
    std::snprintf(text, sizeof text, "%g", milliseconds / 1000.0);
    return text;
}

std::string DiskLine(const Linux::UsbDiskInfo& disk, ELanguage language) {
    const std::string name = Ui::DeviceText(disk.vendor) +
                             (disk.vendor.empty() || disk.model.empty() ? "" : " ") +
                             Ui::DeviceText(disk.model);
    return (disk.blockPath.empty() ? "-" : disk.blockPath) + "  " +
           (disk.genericPath.empty() ? "-" : disk.genericPath) + "  " + name + "  " +
           SizeText(disk.sizeBytes) + "  " +
           (disk.readOnly ? Text::kCliReadOnly : Text::kCliWritable).In(language);
}

}  // namespace Cli
}  // namespace Tolvane
