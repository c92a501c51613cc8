// The sub-commands on the virtual PC in virtual time: every outcome with its
// exit code and JSON object, the question answered through a real
// pseudo-terminal, and the command line that leads there.
#include "platform/linux/cli/cli_command.h"

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <sstream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "lib/nls.h"
#include "platform/linux/cli/cli_sim.h"
#include "platform/linux/tui/tui_options.h"
#include "platform/linux/tui/tui_text.h"
#include "tolvane_texts.h"

namespace Tolvane {
namespace Cli {
namespace {

using Sim::AdapterConfig;
using Sim::VirtualPcConfig;
using Json = nlohmann::json;
using Tweak = std::function<void(AdapterConfig&)>;

std::string Utf8(const std::string& cp932) {
    return ZRK::Cp932ToUtf8(cp932.c_str());
}

// One run of `tolvane ARGS` on a fresh virtual PC. typed: what the user has
// typed on the terminal already, followed by an end of input (Ctrl-D) so that
// a run which reads on cannot hang; null: there is no terminal.
struct CliRun {
    explicit CliRun(const Tweak& tweak = {}, bool administrator = true)
        : pc(Config(tweak, administrator)), disks(pc) {}

    static VirtualPcConfig Config(const Tweak& tweak, bool administrator) {
        VirtualPcConfig config;
        config.administrator = administrator;
        if (tweak) {
            tweak(config.adapter);
        }
        return config;
    }

    int Run(const std::vector<std::string>& args, const char* typed = nullptr,
            Linux::CUsbDiskList* diskList = nullptr) {
        const Tui::RunOptions options = Tui::ParseCommandLine(args);
        EXPECT_EQ(options.mode, Tui::ERunMode::kCommand) << options.message;
        int master = -1;
        int slave = -1;
        if (typed != nullptr) {
            EXPECT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
            const std::string input = typed + std::string("\x04");
            EXPECT_EQ(write(master, input.data(), input.size()),
                      static_cast<ssize_t>(input.size()));
        }
        CommandMachine machine{pc, diskList != nullptr ? *diskList : disks, "/dev"};
        CommandIo io{out, err, CTextEncoder("UTF-8"), slave};
        const int code = RunCommand(options.command, machine, io);
        if (typed != nullptr) {
            fcntl(master, F_SETFL, O_NONBLOCK);
            char buffer[512];
            for (ssize_t n; (n = read(master, buffer, sizeof buffer)) > 0;) {
                terminal.append(buffer, static_cast<std::size_t>(n));
            }
            close(slave);
            close(master);
        }
        EXPECT_TRUE(pc.RawDisk().ChangedDrives().empty());
        EXPECT_TRUE(pc.AllReleased()) << pc.LeakReport();
        return code;
    }
    Json Parsed() const { return Json::parse(out.str()); }

    Sim::CVirtualPC pc;
    CVirtualPcUsbDiskList disks;
    std::ostringstream out;
    std::ostringstream err;
    std::string terminal;  // what the terminal showed (the prompt, the echo)
};

const Tweak kMassStorage = [](AdapterConfig& a) {
    a.initialState = Sim::EAdapterState::kMassStorage;
};

TEST(CliCommand, EveryOutcomeHasItsWordExitCodeAndMessage) {
    const Tweak busyPort = [](AdapterConfig& a) { a.portOpenError = ERROR_ACCESS_DENIED; };
    const Tweak silent = [](AdapterConfig& a) { a.firmwareReply = ""; };
    const Tweak old = [](AdapterConfig& a) { a.firmwareReply = "v0.39"; };
    const Tweak stays = [](AdapterConfig& a) { a.switchDelayMs = AdapterConfig::kNever; };
    const Tweak lost = [](AdapterConfig& a) {
        kMassStorage(a);
        a.returnDelayMs = AdapterConfig::kNever;
    };
    const std::vector<std::string> status = {"status", "--json"};
    const std::vector<std::string> switch3 = {"switch", "--id", "3", "--json"};
    const std::vector<std::string> switch3yes = {"switch", "--id=3", "--yes", "--json"};
    const std::vector<std::string> ret = {"return", "--json"};
    const std::vector<std::string> retYes = {"return", "--yes", "--json"};
    const std::string oldMessage = Tui::FillIn(Text::kOldVersionFormat, "v0.39");
    const struct {
        std::vector<std::string> args;
        Tweak tweak;
        bool administrator;
        const char* typed;
        int code;
        const char* outcome;
        std::string message;
    } rows[] = {
        {status, {}, true, nullptr, 0, "normal", ""},
        {status, kMassStorage, true, nullptr, 4, "not-found", ""},
        {status, busyPort, true, nullptr, 5, "port-unavailable", Text::kPortNotFound},
        {status, silent, true, nullptr, 6, "no-response", Text::kNoResponse},
        {status, {}, false, nullptr, 3, "no-rights", Text::kNeedAdmin},
        {switch3yes, {}, true, nullptr, 0, "switched", Text::kSwitchedToMass},
        {switch3, {}, true, "y\n", 0, "switched", Text::kSwitchedToMass},
        {switch3, {}, true, "maybe\n\n", 8, "declined", ""},
        {switch3, {}, true, "", 8, "declined", ""},  // only the end of input
        {switch3, {}, true, nullptr, 1, "no-terminal", Text::kCliNoTerminal},
        {switch3yes, kMassStorage, true, nullptr, 4, "not-found", Text::kAdapterNotFoundMaybeMass},
        {switch3yes, busyPort, true, nullptr, 5, "port-unavailable", Text::kPortNotFound},
        {switch3yes, silent, true, nullptr, 6, "no-response", Text::kNoResponse},
        {switch3yes, old, true, nullptr, 7, "old-firmware", oldMessage},
        {switch3yes, stays, true, nullptr, 9, "unknown-error", Text::kUnknownError},
        {switch3yes, {}, false, nullptr, 3, "no-rights", Text::kNeedAdmin},
        {retYes, kMassStorage, true, nullptr, 0, "returned", Text::kReturnedToNormal},
        {ret, kMassStorage, true, "yes\n", 0, "returned", Text::kReturnedToNormal},
        {ret, kMassStorage, true, "N\n", 8, "declined", ""},
        {ret, kMassStorage, true, nullptr, 1, "no-terminal", Text::kCliNoTerminal},
        {retYes, {}, true, nullptr, 10, "already-normal", Text::kAlreadyNormal},
        {retYes, lost, true, nullptr, 11, "not-back", Text::kAdapterNotFoundPowerCycle},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.args[0] + " " + row.outcome);
        CliRun run(row.tweak, row.administrator);
        EXPECT_EQ(run.Run(row.args, row.typed), row.code);
        const Json j = run.Parsed();
        EXPECT_EQ(j["outcome"], row.outcome);
        EXPECT_EQ(j["exitCode"], row.code);
        EXPECT_EQ(j["message"], Utf8(row.message));
        // With a terminal, each line typed answers one asking of the
        // question (the end of input answers one too).
        std::size_t asked = 0;
        for (std::size_t at = 0; (at = run.terminal.find("[y/N]", at)) != std::string::npos; ++at) {
            ++asked;
        }
        const std::string typed = row.typed != nullptr ? row.typed : "";
        EXPECT_EQ(asked,
                  row.typed == nullptr
                      ? 0
                      : std::max<std::size_t>(1, std::count(typed.begin(), typed.end(), '\n')));
    }
}

TEST(CliCommand, StatusAsksForTheVersionOnlyAndShowsPortsFirmwareAndDisks) {
    CliRun run([](AdapterConfig& a) { a.firmwareReply = std::string("v\x01\xFF", 3); });
    EXPECT_EQ(run.Run({"status"}), 0);
    EXPECT_EQ(run.pc.BytesReceived(3), std::vector<std::uint8_t>{'v'});
    EXPECT_EQ(run.pc.Clock().Now(), 100u);
    EXPECT_EQ(run.out.str(),
              "adapter: normal state\n"
              "  ports: /dev/ttyACM3 /dev/ttyACM4\n"
              "  firmware: v\\x01\\xFF (too old for the switch)\n"
              "USB disks:\n"
              "  /dev/sdb  /dev/sg1  SIM DATA DISK  4.0 KiB  writable\n");
    EXPECT_EQ(run.err.str(), "");

    CliRun mass(kMassStorage);
    EXPECT_EQ(mass.Run({"status", "--json"}), 4);
    const Json j = mass.Parsed();
    EXPECT_EQ(j["state"], "not-found");
    EXPECT_EQ(j["ports"], Json::array());
    EXPECT_EQ(j["firmware"], nullptr);
    EXPECT_EQ(j["disks"][1], Json::parse(R"({"device": "/dev/sdc", "sg": "/dev/sg2",
        "vendor": "SIM", "model": "SCSI TARGET 0", "sizeBytes": 4096, "readOnly": true})"));
    EXPECT_TRUE(mass.pc.BytesReceived(3).empty());
}

TEST(CliCommand, SwitchAsksOnTheTerminalAndNamesTheNewDisk) {
    CliRun run;
    EXPECT_EQ(run.Run({"switch", "--id", "3"}, "what\ny\n"), 0);
    // Asked twice, in the terminal's encoding; the target byte is read-only 3.
    const std::string prompt = Utf8(Text::kAskSwitchToMass) + " [y/N] ";
    const std::size_t first = run.terminal.find(prompt);
    ASSERT_NE(first, std::string::npos) << run.terminal;
    EXPECT_NE(run.terminal.find(prompt, first + 1), std::string::npos);
    EXPECT_EQ(run.pc.BytesReceived(3), (std::vector<std::uint8_t>{'v', 'x', 0x33}));
    EXPECT_EQ(run.out.str(), Utf8(Text::kSwitchedToMass) +
                                 "\nnew USB disk: /dev/sdc  /dev/sg2  SIM SCSI TARGET 3  "
                                 "4.0 KiB  read-only\n");

    // A failure goes to the error output, and only there.
    CliRun refused(kMassStorage);
    EXPECT_EQ(refused.Run({"switch", "--id", "3", "--yes"}), 4);
    EXPECT_EQ(refused.err.str(), Utf8(Text::kAdapterNotFoundMaybeMass) + "\n");
    EXPECT_EQ(refused.out.str(), "");

    CliRun writable;
    EXPECT_EQ(writable.Run({"switch", "--writable", "--id", "6", "--yes", "--json"}), 0);
    EXPECT_EQ(writable.pc.BytesReceived(3), (std::vector<std::uint8_t>{'v', 'x', 0xB6}));
    const Json j = writable.Parsed();
    EXPECT_EQ(j["state"], "not-found");
    EXPECT_EQ(j["disk"]["device"], "/dev/sdc");
    EXPECT_EQ(j["disk"]["readOnly"], false);
    EXPECT_EQ(j["disks"].size(), 2u);
}

TEST(CliCommand, SwitchWithoutANewDiskSaysSoAfterItsWait) {
    struct CNoDisks : Linux::CUsbDiskList {
        int looks = 0;
        std::vector<Linux::UsbDiskInfo> ListUsbDisks() override {
            ++looks;
            return {};
        }
    } none;
    CliRun run;
    EXPECT_EQ(run.Run({"switch", "--id", "0", "--yes"}, nullptr, &none), 0);
    EXPECT_EQ(run.pc.Clock().Now(), 1100u + kNewDiskWaitMs);
    EXPECT_EQ(none.looks, 2 + static_cast<int>(kNewDiskWaitMs / kNewDiskLookMs));
    EXPECT_EQ(run.out.str(),
              Utf8(Text::kSwitchedToMass) + "\nno new USB disk appeared within 10 seconds\n");
}

TEST(CliCommand, CommandLineRefusesWhatDoesNotFit) {
    const std::pair<std::vector<std::string>, std::string> refused[] = {
        {{"switch"}, "--id N"},
        {{"switch", "--json", "--id"}, "--id N"},
        {{"switch", "--id", "7"}, "'7'"},
        {{"switch", "--id=-1"}, "'-1'"},
        {{"switch", "--id", "03"}, "'03'"},
        {{"switch", "--id", "1", "--id", "2"}, "'--id'"},
        {{"status", "--yes"}, "'--yes'"},
        {{"return", "--writable"}, "'--writable'"},
        {{"--json"}, "'--json'"},
        {{"status", "switch"}, "'switch'"},
    };
    for (const auto& [args, culprit] : refused) {
        const Tui::RunOptions options = Tui::ParseCommandLine(args);
        EXPECT_EQ(options.mode, Tui::ERunMode::kUsageError) << culprit;
        EXPECT_NE(options.message.find(culprit), std::string::npos) << options.message;
    }
    const Tui::RunOptions all =
        Tui::ParseCommandLine({"--simulate", "switch", "--id=6", "--writable", "--yes", "--json"});
    EXPECT_TRUE(all.simulate && all.command.writable && all.command.yes && all.command.json);
    EXPECT_EQ(all.command.command, ECommand::kSwitch);
    EXPECT_EQ(all.command.targetId, 6u);
    EXPECT_EQ(Tui::ParseCommandLine({"status", "--id", "9", "--help"}).mode, Tui::ERunMode::kHelp);
}

TEST(CliCommand, TextsFollowTheTerminalsCodeset) {
    const std::string name = Text::kProductName;  // ミルトパ
    EXPECT_EQ(CTextEncoder("EUC-JP").Encode(name + "!"), "\xA5\xDF\xA5\xEB\xA5\xC8\xA5\xD1!");
    EXPECT_EQ(CTextEncoder("ANSI_X3.4-1968").Encode(name + "!"), std::string(4, '?') + "!");
    EXPECT_EQ(CTextEncoder("no-such-codeset").Encode(name), Utf8(name));
}

}  // namespace
}  // namespace Cli
}  // namespace Tolvane
