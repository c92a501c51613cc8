#include "platform/linux/tui/tui_options.h"

#include "platform/linux/tui/tui_text.h"
#include "tolvane_texts.h"

#ifndef TOLVANE_VERSION
#error "TOLVANE_VERSION must be set by the build"
#endif

namespace Tolvane {
namespace Tui {

RunOptions ParseCommandLine(const std::vector<std::string>& args) {
    bool simulate = false;
    bool help = false;
    bool version = false;
    for (const std::string& arg : args) {
        bool* flag = nullptr;
        if (arg == "--simulate") {
            flag = &simulate;
        } else if (arg == "--help") {
            flag = &help;
        } else if (arg == "--version") {
            flag = &version;
        }
        if (flag == nullptr) {
            return RunOptions{ERunMode::kUsageError, FillIn(Text::kTuiUnknownOption, arg)};
        }
        if (*flag) {
            return RunOptions{ERunMode::kUsageError, FillIn(Text::kTuiRepeatedOption, arg)};
        }
        *flag = true;
    }
    if (help) {
        return RunOptions{ERunMode::kHelp, {}};
    }
    if (version) {
        return RunOptions{ERunMode::kVersion, {}};
    }
    return RunOptions{simulate ? ERunMode::kSimulate : ERunMode::kDialog, {}};
}

std::string VersionLine() {
    return FillIn(Text::kTuiVersion, TOLVANE_VERSION);
}

}  // namespace Tui
}  // namespace Tolvane
