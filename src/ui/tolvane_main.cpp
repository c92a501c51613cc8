// tolvane: the terminal dialog, or one of the sub-commands status, switch
// and return. Without --simulate it works on this machine's adapter; with it
// on the virtual PC and its virtual adapter.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "platform/linux/linux_host.h"
#include "platform/linux/linux_rights.h"
#include "tolvane_texts.h"
#include "ui/cli/cli_command.h"
#include "ui/cli/cli_options.h"
#include "ui/cli/cli_sim.h"
#include "ui/cli/cli_terminal.h"
#include "ui/common/ui_language.h"
#include "ui/common/ui_text.h"
#include "ui/terminal/curses_app.h"
#include "ui/terminal/tui_demo_pc.h"
#include "ui/terminal/tui_locale.h"

namespace {

using namespace Tolvane;
using namespace Tolvane::Tui;
using namespace Tolvane::Cli;
using Tolvane::Ui::FillIn;

// Japanese or English, decided once from the user's environment.
ELanguage UserLanguage() {
    return Ui::LanguageFromEnvironment([](const char* name) {
        const char* value = std::getenv(name);
        return std::string(value != nullptr ? value : "");
    });
}

// The program's texts in the encoding of the locale set up for showing them.
void Print(std::FILE* to, const std::string& cp932) {
    std::fputs(CTextEncoder(LocaleCodeset()).Encode(cp932).c_str(), to);
}

int RunDialog(bool simulate, ELanguage language) {
    CCursesScreen screen;
    if (!screen.Ok()) {
        Print(stderr, std::string(Text::kTuiNoScreen.In(language)) + "\n");
        return kExitNoTerminal;
    }
    if (simulate) {
        CDemoPC pc{Sim::VirtualPcConfig{}};
        CCursesApp app(pc, &pc, language);
        pc.onSleep = [&app] { app.Refresh(); };
        return app.Run();
    }
    Linux::CLinuxHost host;
    CCursesApp app(host, nullptr, language);
    return app.Run();
}

// kExitOk when what was printed to stream reached it, else kExitOutputFailed
// with the reason on the error output.
int Written(std::FILE* stream, ELanguage language) {
    errno = 0;
    if (std::fflush(stream) == 0 && std::ferror(stream) == 0) {
        return kExitOk;
    }
    const int error = errno;
    Print(stderr,
          FillIn(Text::kCliWriteError.In(language), strerrordesc_np(error != 0 ? error : EIO)) +
              "\n");
    return kExitOutputFailed;
}

// A standard descriptor the caller closed is held by /dev/null opened for
// reading: no file the program opens later (the terminal for the question)
// takes its number, and a write to it fails, as it would have.
void HoldClosedStandardDescriptors() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) < 0 && open("/dev/null", O_RDONLY) != fd) {
            return;
        }
    }
}

int RunSubCommand(const RunOptions& options, ELanguage language) {
    const Cli::CommandRequest& request = options.command;
    const bool asks = request.command != Cli::ECommand::kStatus && !request.yes;
    const int terminal = asks ? Cli::OpenControllingTerminal() : -1;
    Cli::CommandIo io{std::cout, std::cerr, Cli::CTextEncoder(Cli::LocaleCodeset()), terminal};
    io.language = language;
    if (isatty(STDERR_FILENO) != 0) {
        io.progress = &std::cerr;
    }
    int code;
    if (options.simulate) {
        Sim::CVirtualPC pc(Cli::SimulatedMachine(request.command));
        Cli::CVirtualPcUsbDiskList disks(pc);
        Cli::CommandMachine machine{pc, disks, "/dev", nullptr, nullptr};
        code = Cli::RunCommand(request, machine, io);
    } else {
        Linux::CLinuxHost host;
        Cli::CommandMachine machine{host, host.UsbDisks(), host.UsbDisks().DeviceDir(),
                                    Linux::CanOpenReadWrite,
                                    [&host] { return host.LastSystemError(); }};
        code = Cli::RunCommand(request, machine, io);
    }
    if (terminal >= 0) {
        close(terminal);
    }
    return code;
}

}  // namespace

int main(int argc, char** argv) {
    HoldClosedStandardDescriptors();
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    const RunOptions options = ParseCommandLine(args);
    const ELanguage language = UserLanguage();
    SetUpDisplayLocale();
    switch (options.mode) {
        case ERunMode::kHelp:
            Print(stdout, Text::kTuiUsage.In(language));
            return Written(stdout, language);
        case ERunMode::kVersion:
            Print(stdout, VersionLine(language) + "\n");
            return Written(stdout, language);
        case ERunMode::kUsageError:
            std::fputs(UsageErrorText(options, language, CTextEncoder(LocaleCodeset())).c_str(),
                       stderr);
            return kExitUsage;
        case ERunMode::kCommand:
            return RunSubCommand(options, language);
        case ERunMode::kDialog:
        case ERunMode::kSimulate:
            break;
    }
    if (isatty(STDIN_FILENO) == 0 || isatty(STDOUT_FILENO) == 0) {
        Print(stderr, std::string(Text::kTuiNoTerminal.In(language)) + "\n");
        return kExitNoTerminal;
    }
    InstallEndSignals();
    return RunDialog(options.mode == ERunMode::kSimulate, language);
}
