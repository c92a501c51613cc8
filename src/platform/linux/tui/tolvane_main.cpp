// tolvane: the terminal dialog, or one of the sub-commands status, switch
// and return. Without --simulate it works on this machine's adapter; with it
// on the virtual PC and its virtual adapter.
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "lib/nls.h"
#include "platform/linux/cli/cli_command.h"
#include "platform/linux/cli/cli_sim.h"
#include "platform/linux/cli/cli_terminal.h"
#include "platform/linux/linux_host.h"
#include "platform/linux/tui/curses_app.h"
#include "platform/linux/tui/tui_demo_pc.h"
#include "platform/linux/tui/tui_locale.h"
#include "platform/linux/tui/tui_options.h"
#include "platform/linux/usb_disk_list.h"
#include "tolvane_texts.h"

namespace {

using namespace Tolvane;
using namespace Tolvane::Tui;

void Print(std::FILE* to, const std::string& cp932) {
    std::fputs(ZRK::Cp932ToUtf8(cp932.c_str()).c_str(), to);
}

int RunDialog(bool simulate) {
    CCursesScreen screen;
    if (!screen.Ok()) {
        Print(stderr, std::string(Text::kTuiNoScreen) + "\n");
        return kExitNoTerminal;
    }
    if (simulate) {
        CDemoPC pc{Sim::VirtualPcConfig{}};
        CCursesApp app(pc, &pc);
        pc.onSleep = [&app] { app.Refresh(); };
        return app.Run();
    }
    Linux::CLinuxHost host;
    CCursesApp app(host, nullptr);
    return app.Run();
}

int RunSubCommand(const RunOptions& options) {
    const Cli::CommandRequest& request = options.command;
    const bool asks = request.command != Cli::ECommand::kStatus && !request.yes;
    const int terminal = asks ? Cli::OpenControllingTerminal() : -1;
    Cli::CommandIo io{std::cout, std::cerr, Cli::CTextEncoder(Cli::LocaleCodeset()), terminal};
    int code;
    if (options.simulate) {
        Sim::CVirtualPC pc(Cli::SimulatedMachine(request.command));
        Cli::CVirtualPcUsbDiskList disks(pc);
        Cli::CommandMachine machine{pc, disks, "/dev"};
        code = Cli::RunCommand(request, machine, io);
    } else {
        Linux::CLinuxHost host;
        Linux::CSysfsUsbDiskList disks;
        Cli::CommandMachine machine{host, disks, "/dev"};
        code = Cli::RunCommand(request, machine, io);
    }
    if (terminal >= 0) {
        close(terminal);
    }
    std::cout.flush();
    return code;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    const RunOptions options = ParseCommandLine(args);
    switch (options.mode) {
        case ERunMode::kHelp:
            Print(stdout, Text::kTuiUsage);
            return kExitOk;
        case ERunMode::kVersion:
            Print(stdout, VersionLine() + "\n");
            return kExitOk;
        case ERunMode::kUsageError:
            Print(stderr, options.message + "\n\n" + Text::kTuiUsage);
            return kExitUsage;
        case ERunMode::kCommand:
            SetUpDisplayLocale();
            return RunSubCommand(options);
        case ERunMode::kDialog:
        case ERunMode::kSimulate:
            break;
    }
    SetUpDisplayLocale();
    if (isatty(STDIN_FILENO) == 0 || isatty(STDOUT_FILENO) == 0) {
        Print(stderr, std::string(Text::kTuiNoTerminal) + "\n");
        return kExitNoTerminal;
    }
    InstallEndSignals();
    return RunDialog(options.mode == ERunMode::kSimulate);
}
