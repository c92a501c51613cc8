#include "ui/cli/cli_options.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "platform/linux/sysfs.h"
#include "tolvane_texts.h"
#include "ui/common/ui_text.h"

#ifndef TOLVANE_VERSION
#error "TOLVANE_VERSION must be set by the build"
#endif

namespace Tolvane {
namespace Cli {

namespace {

using Ui::ArgumentText;
using Ui::FillIn;

constexpr unsigned long kHighestTargetId = 6;

// Which sub-commands an option goes with (bit per ECommand), and whether it
// goes without one (the dialog).
struct OptionRule {
    const char* name;
    unsigned commands;
    bool dialog;
};

enum EOption { kSimulate, kHelp, kVersion, kJson, kYes, kWritable, kId, kDisk, kOptionCount };

constexpr unsigned kStatusBit = 1u << static_cast<int>(ECommand::kStatus);
constexpr unsigned kSwitchBit = 1u << static_cast<int>(ECommand::kSwitch);
constexpr unsigned kReturnBit = 1u << static_cast<int>(ECommand::kReturn);
constexpr unsigned kAllCommands = kStatusBit | kSwitchBit | kReturnBit;

constexpr OptionRule kRules[kOptionCount] = {
    {"--simulate", kAllCommands, true},
    {"--help", kAllCommands, true},
    {"--version", kAllCommands, true},
    {"--json", kAllCommands, false},
    {"--yes", kSwitchBit | kReturnBit, false},
    {"--writable", kSwitchBit, false},
    {"--id", kSwitchBit, false},
    {"--disk", kReturnBit, false},
};

// Options that take a value, and what is said when it is missing.
const struct {
    EOption option;
    const CText* missing;
} kValueOptions[] = {{kId, &Text::kCliMissingId}, {kDisk, &Text::kCliMissingDisk}};

const std::pair<std::string, ECommand> kCommands[] = {
    {"status", ECommand::kStatus},
    {"switch", ECommand::kSwitch},
    {"return", ECommand::kReturn},
};

RunOptions Outcome(ERunMode mode, const CText* format = nullptr, const std::string& arg = {}) {
    RunOptions options;
    options.mode = mode;
    options.message = format;
    options.argument = arg;
    return options;
}

}  // namespace

RunOptions ParseCommandLine(const std::vector<std::string>& args) {
    RunOptions options;
    bool hasCommand = false;
    bool seen[kOptionCount] = {};
    std::vector<EOption> order;  // as given
    std::string values[kOptionCount];
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i] == "-h" ? "--help" : args[i] == "-V" ? "--version" : args[i];
        const auto command = std::find_if(
            std::begin(kCommands), std::end(kCommands),
            [&arg](const std::pair<std::string, ECommand>& c) { return c.first == arg; });
        if (!hasCommand && command != std::end(kCommands)) {
            hasCommand = true;
            options.command.command = command->second;
            continue;
        }
        for (const auto& valued : kValueOptions) {
            const std::string name = kRules[valued.option].name;
            if (arg.compare(0, name.size() + 1, name + "=") == 0) {
                values[valued.option] = arg.substr(name.size() + 1);
                arg = name;
            } else if (arg == name) {
                if (i + 1 == args.size()) {
                    return Outcome(ERunMode::kUsageError, valued.missing);
                }
                values[valued.option] = args[++i];
            }
        }
        int option = 0;
        while (option < kOptionCount && arg != kRules[option].name) {
            ++option;
        }
        if (option == kOptionCount) {
            return Outcome(ERunMode::kUsageError, &Text::kTuiUnknownOption, arg);
        }
        if (seen[option]) {
            return Outcome(ERunMode::kUsageError, &Text::kTuiRepeatedOption, arg);
        }
        seen[option] = true;
        order.push_back(static_cast<EOption>(option));
    }
    if (seen[kHelp] || seen[kVersion]) {
        return Outcome(seen[kHelp] ? ERunMode::kHelp : ERunMode::kVersion);
    }
    const unsigned commandBit = 1u << static_cast<int>(options.command.command);
    for (const EOption option : order) {
        if (hasCommand ? (kRules[option].commands & commandBit) == 0 : !kRules[option].dialog) {
            return Outcome(ERunMode::kUsageError, &Text::kCliOptionNotHere, kRules[option].name);
        }
    }
    options.simulate = seen[kSimulate];
    if (!hasCommand) {
        options.mode = options.simulate ? ERunMode::kSimulate : ERunMode::kDialog;
        return options;
    }
    options.mode = ERunMode::kCommand;
    options.command.json = seen[kJson];
    options.command.yes = seen[kYes];
    options.command.writable = seen[kWritable];
    options.command.disk = values[kDisk];
    if (seen[kDisk] && options.command.disk.empty()) {
        return Outcome(ERunMode::kUsageError, &Text::kCliMissingDisk);
    }
    if (options.command.command == ECommand::kSwitch) {
        unsigned long target = 0;
        if (!seen[kId]) {
            return Outcome(ERunMode::kUsageError, &Text::kCliMissingId);
        }
        if (!Linux::ParseDecimal(values[kId], kHighestTargetId, &target)) {
            return Outcome(ERunMode::kUsageError, &Text::kCliBadId, values[kId]);
        }
        options.command.targetId = static_cast<DWORD>(target);
    }
    return options;
}

std::string UsageErrorText(const RunOptions& options, ELanguage language,
                           const CTextEncoder& encoder) {
    // The texts are the program's, the argument the user's: only the texts
    // are converted, so that an argument in any encoding comes back as typed.
    const char* format = options.message != nullptr ? options.message->In(language) : "";
    return FillIn(encoder.Encode(format), ArgumentText(options.argument)) + "\n" +
           encoder.Encode(Text::kCliTryHelp.In(language)) + "\n";
}

std::string VersionLine(ELanguage language) {
    return FillIn(Text::kTuiVersion.In(language), TOLVANE_VERSION);
}

}  // namespace Cli
}  // namespace Tolvane
