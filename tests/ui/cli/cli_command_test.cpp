// The sub-commands on the virtual PC in virtual time: every outcome with its
// exit code and JSON object, the question answered through a real
// pseudo-terminal, and the command line that leads there.
#include "ui/cli/cli_command.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <functional>
#include <map>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "lib/nls.h"
#include "tolvane_texts.h"
#include "ui/cli/cli_options.h"
#include "ui/cli/cli_sim.h"
#include "ui/common/exit_codes.h"
#include "ui/common/ui_language.h"
#include "ui/common/ui_text.h"

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

// One run of `tolvane ARGS` on a fresh virtual PC. answers: each line is
// typed on the terminal once a question has appeared, and the end of input
// (Ctrl-D) answers any question after them, so that a run which asks on
// cannot hang; null: there is no terminal. early: typed before the run.
struct CliRun {
    // What the machine says the system answered to its last device call.
    static constexpr const char* kReason = "/dev/ttyACM0: held by another process";

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

    int Run(const std::vector<std::string>& args, const char* answers = nullptr,
            Linux::CUsbDiskList* diskList = nullptr, const std::string& early = {}) {
        const RunOptions options = ParseCommandLine(args);
        EXPECT_EQ(options.mode, ERunMode::kCommand)
            << UsageErrorText(options, ELanguage::kEnglish, CTextEncoder("UTF-8"));
        int master = -1;
        int slave = -1;
        std::atomic<bool> done{false};
        std::thread typist;
        if (answers != nullptr) {
            EXPECT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
            if (raw) {
                termios t{};
                tcgetattr(slave, &t);
                cfmakeraw(&t);
                tcsetattr(slave, TCSANOW, &t);
            }
            EXPECT_EQ(write(master, early.data(), early.size()), ssize_t(early.size()));
            typist = std::thread([this, master, answers, &done] { Type(master, answers, done); });
        }
        CommandMachine machine{pc, diskList != nullptr ? *diskList : disks, "/dev", canOpen,
                               [] { return std::string(kReason); }};
        CommandIo io{out, err, CTextEncoder("UTF-8"), slave, progress, language};
        const int code = RunCommand(options.command, machine, io);
        if (answers != nullptr) {
            done = true;
            typist.join();
            tcgetattr(slave, &after);
            close(slave);
        }
        EXPECT_TRUE(pc.RawDisk().ChangedDrives().empty());
        EXPECT_TRUE(pc.AllReleased()) << pc.LeakReport();
        return code;
    }
    Json Parsed() const { return Json::parse(out.str()); }

    // Answers each question that shows on the terminal with the next line
    // of answers, or with the end of input. Closes master at the end, or
    // after 5 s without a word from a run that waits for something else
    // (the slave side then reads an error instead of hanging the test).
    void Type(int master, const std::string& answers, const std::atomic<bool>& done) {
        std::size_t asked = 0;
        std::size_t next = 0;
        for (int idle = 0; idle < 250; ++idle) {
            pollfd p{master, POLLIN, 0};
            char buffer[512];
            const ssize_t n = poll(&p, 1, 20) > 0 ? read(master, buffer, sizeof buffer) : 0;
            if (n > 0) {
                terminal.append(buffer, static_cast<std::size_t>(n));
                idle = 0;
            } else if (done) {
                break;
            }
            for (; asked < Count(terminal, "[y/N] "); ++asked) {
                const std::size_t end = answers.find_first_of("\r\n", next);
                const std::string line =
                    end == std::string::npos ? "\x04" : answers.substr(next, end + 1 - next);
                next = end == std::string::npos ? next : end + 1;
                EXPECT_EQ(write(master, line.data(), line.size()), ssize_t(line.size()));
            }
        }
        close(master);
    }
    static std::size_t Count(const std::string& text, const std::string& part) {
        std::size_t count = 0;
        for (std::size_t at = 0; (at = text.find(part, at)) != std::string::npos; ++at) {
            ++count;
        }
        return count;
    }

    Sim::CVirtualPC pc;
    CVirtualPcUsbDiskList disks;
    std::function<bool(const std::string&)> canOpen;
    bool raw = false;  // the terminal starts in raw mode
    ELanguage language = ELanguage::kJapanese;
    std::ostream* progress = nullptr;
    std::ostringstream out;
    std::ostringstream err;
    std::string terminal;  // what the terminal showed (the prompt, the echo)
    termios after{};       // the terminal's settings after the run
};

const Tweak kMassStorage = [](AdapterConfig& a) {
    a.initialState = Sim::EAdapterState::kMassStorage;
};

TEST(CliCommand, EveryOutcomeHasItsWordExitCodeAndMessage) {
    const Tweak busyPort = [](AdapterConfig& a) { a.portOpenError = ERROR_ACCESS_DENIED; };
    const Tweak silent = [](AdapterConfig& a) { a.firmwareReply = ""; };
    // An old reply with a terminal reset in it is shown escaped, as status shows it.
    const Tweak old = [](AdapterConfig& a) {
        a.firmwareReply =
            "\x1b"
            "c0.3";
    };
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
    const std::string oldMessage = Ui::FillIn(Text::kOldVersionFormat.japanese, "\\x1Bc0.3");
    const struct {
        std::vector<std::string> args;
        Tweak tweak;
        bool administrator;
        const char* typed;
        int code;
        const char* outcome;
        std::string message;
    } rows[] = {
        {status, kMassStorage, true, nullptr, 4, "not-found", ""},
        {status, busyPort, true, nullptr, 5, "port-unavailable", Text::kPortNotFound.japanese},
        {status, silent, true, nullptr, 6, "no-response", Text::kNoResponse.japanese},
        {status, {}, false, nullptr, 0, "normal", ""},  // looking needs no rights
        {switch3, {}, true, "y\n", 0, "switched", Text::kSwitchedToMass.japanese},
        {switch3, {}, true, "maybe\n\n", 8, "declined", Text::kCliDeclined.japanese},
        {switch3, {}, true, "", 8, "declined", Text::kCliDeclined.japanese},  // only the end of
                                                                              // input
        {switch3, {}, true, nullptr, 1, "no-terminal", Text::kCliNoTerminal.japanese},
        {switch3yes, kMassStorage, true, nullptr, 4, "not-found",
         Text::kAdapterNotFoundMaybeMass.japanese},
        {switch3yes, old, true, nullptr, 7, "old-firmware", oldMessage},
        {switch3yes, stays, true, nullptr, 9, "unknown-error", Text::kUnknownError.japanese},
        {switch3yes, {}, false, nullptr, 3, "no-rights", Text::kNeedAdmin.japanese},
        {retYes, kMassStorage, true, nullptr, 0, "returned", Text::kReturnedToNormal.japanese},
        {ret, kMassStorage, true, "yes\n", 0, "returned", Text::kReturnedToNormal.japanese},
        {ret, kMassStorage, true, "N\n", 8, "declined", Text::kCliDeclined.japanese},
        {ret, kMassStorage, true, nullptr, 1, "no-terminal", Text::kCliNoTerminal.japanese},
        {retYes, {}, true, nullptr, 10, "already-normal", Text::kAlreadyNormal.japanese},
        {retYes, lost, true, nullptr, 11, "not-back", Text::kAdapterNotFoundPowerCycle.japanese},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.args[0] + " " + row.outcome);
        CliRun run(row.tweak, row.administrator);
        EXPECT_EQ(run.Run(row.args, row.typed), row.code);
        const Json j = run.Parsed();
        EXPECT_EQ(j["outcome"], row.outcome);
        EXPECT_EQ(j["exitCode"], row.code);
        EXPECT_EQ(j["message"], Utf8(row.message));
        // The system's reason only where a device call can have failed.
        const bool fault = row.code == 5 || row.code == 6 || row.code == 9 || row.code == 11;
        EXPECT_EQ(j["systemError"], fault ? Json(CliRun::kReason) : Json());
        // With a terminal, each line typed answers one asking of the
        // question (the end of input answers one too).
        const std::string typed = row.typed != nullptr ? row.typed : "";
        EXPECT_EQ(CliRun::Count(run.terminal, "[y/N]"),
                  row.typed == nullptr
                      ? 0
                      : std::max<std::size_t>(1, std::count(typed.begin(), typed.end(), '\n')));
    }
    CliRun text(busyPort);
    EXPECT_EQ(text.Run({"status"}), 5);
    EXPECT_EQ(text.err.str(),
              Utf8(Text::kPortNotFound.japanese) + "\ntolvane: " + CliRun::kReason + "\n");
}

TEST(CliCommand, StatusAsksForTheVersionOnlyAndShowsPortsFirmwareAndDisks) {
    CliRun run([](AdapterConfig& a) { a.firmwareReply = std::string("v\x01\xFF", 3); });
    EXPECT_EQ(run.Run({"status"}), 0);
    EXPECT_EQ(run.pc.BytesReceived(3), std::vector<std::uint8_t>{'v'});
    EXPECT_EQ(run.pc.Clock().Now(), 100u);
    EXPECT_EQ(run.out.str(),
              "アダプタ: 通常状態\n"
              "  ポート: /dev/ttyACM3 /dev/ttyACM4\n"
              "  ファームウェア: v\\x01\\xFF（古いため切り替えられません）\n"
              "USB ディスク:\n"
              "  /dev/sdb  /dev/sg1  SIM DATA DISK  4.0 KiB  書き込み可能\n");
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

    // Without rights it still looks, names what it may not open, and does
    // not ask a port it may not open.
    CliRun denied;
    denied.canOpen = [](const std::string& node) {
        return node != "/dev/ttyACM3" && node != "/dev/sg1";
    };
    EXPECT_EQ(denied.Run({"status", "--json"}), 3);
    EXPECT_EQ(denied.Parsed()["noAccess"], Json::parse(R"(["/dev/ttyACM3", "/dev/sg1"])"));
    EXPECT_EQ(denied.Parsed()["disks"].size(), 1u);
    EXPECT_TRUE(denied.pc.BytesReceived(3).empty());
}

TEST(CliCommand, SwitchAsksOnTheTerminalAndNamesTheNewDisk) {
    CliRun run;
    run.language = ELanguage::kEnglish;
    std::ostringstream progress;
    run.progress = &progress;
    EXPECT_EQ(run.Run({"switch", "--id", "3"}, "what\ny\n"), 0);
    // Asked twice, after what it is about, in the terminal's encoding; the
    // target byte is read-only 3.
    const std::string prompt = "switch: SCSI ID 3, read-only\r\n" +
                               std::string(Text::kAskSwitchToMass.english) + " [y/N] ";
    const std::size_t first = run.terminal.find(prompt);
    ASSERT_NE(first, std::string::npos) << run.terminal;
    EXPECT_NE(run.terminal.find(prompt, first + 1), std::string::npos);
    EXPECT_EQ(run.pc.BytesReceived(3), (std::vector<std::uint8_t>{'v', 'x', 0x33}));
    EXPECT_EQ(run.out.str(), std::string(Text::kSwitchedToMass.english) +
                                 "\nnew USB disk: /dev/sdc  /dev/sg2  SIM SCSI TARGET 3  "
                                 "4.0 KiB  read-only\n");
    // The waits after the yes show on a line that updates, then goes.
    EXPECT_EQ(progress.str().substr(0, 50),
              "\rwaiting for the adapter to leave the bus 0.2 s\x1b[K");
    EXPECT_EQ(progress.str().substr(progress.str().size() - 4), "\r\x1b[K");
    EXPECT_NE(progress.str().find("\rwaiting for the adapter to leave the bus 1.0 s\x1b[K\r\x1b[K"),
              std::string::npos);

    // A failure goes to the error output, and only there.
    CliRun refused(kMassStorage);
    EXPECT_EQ(refused.Run({"switch", "--id", "3", "--yes"}), 4);
    EXPECT_EQ(refused.err.str(), Utf8(Text::kAdapterNotFoundMaybeMass.japanese) + "\n");
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
    EXPECT_EQ(run.out.str(), Utf8(Text::kSwitchedToMass.japanese) +
                                 "\n10 秒以内に新しい USB ディスクが現れませんでした\n");
}

TEST(CliCommand, ReturnToOneDiskSendsToThatDiskOnly) {
    // The data disk is /dev/sdb (drive 1), the adapter's /dev/sdc (drive 2).
    for (const char* disk : {"/dev/sdc", "/dev/sg2"}) {
        CliRun run(kMassStorage);
        run.language = ELanguage::kEnglish;
        EXPECT_EQ(run.Run({"return", "--disk", disk}, "y\n"), 0);
        ASSERT_EQ(run.pc.RawDisk().Commands().size(), 1u);
        EXPECT_EQ(run.pc.RawDisk().Commands()[0].drive, 2);
        EXPECT_NE(run.terminal.find("return command to: /dev/sdc  /dev/sg2  SIM SCSI TARGET 0"),
                  std::string::npos);
        EXPECT_EQ(run.terminal.find("/dev/sdb"), std::string::npos);
    }
    for (const char* notUsb : {"/dev/sda", "/dev/sg0", "/dev/\x1b[2J"}) {
        CliRun run(kMassStorage);
        EXPECT_EQ(run.Run({"return", "--disk", notUsb, "--json"}, "y\n"), kExitUsage);
        EXPECT_TRUE(run.pc.RawDisk().Commands().empty());
        EXPECT_EQ(run.out.str(), "");
        EXPECT_EQ(run.err.str().find('\x1b'), std::string::npos) << run.err.str();
        EXPECT_EQ(CliRun::Count(run.terminal, "[y/N]"), 0u);
    }
}

TEST(CliCommand, QuestionCountsOnlyAnAnswerToItInAKnownMode) {
    // A yes typed before the question is thrown away.
    CliRun early;
    EXPECT_EQ(early.Run({"switch", "--id", "1"}, "", nullptr, "y\n"), kExitDeclined);
    EXPECT_EQ(early.pc.BytesReceived(3), std::vector<std::uint8_t>{'v'});

    // A terminal left raw: Enter sends a carriage return, which answers;
    // the raw settings come back afterwards.
    CliRun raw;
    raw.raw = true;
    EXPECT_EQ(raw.Run({"switch", "--id", "1"}, "y\r"), 0);
    EXPECT_EQ(raw.after.c_lflag & (ICANON | ECHO | ISIG), 0u);

    // A signal during the question ends the program with the terminal's
    // settings put back.
    int master = -1;
    int slave = -1;
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    termios t{};
    tcgetattr(slave, &t);
    cfmakeraw(&t);
    tcsetattr(slave, TCSANOW, &t);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        AskYesNo(slave, CTextEncoder("UTF-8"), "?", ELanguage::kEnglish);
        _exit(0);
    }
    std::string shown;
    char buffer[64];
    for (pollfd p{master, POLLIN, 0};
         shown.find("[y/N]") == std::string::npos && poll(&p, 1, 5000) > 0;) {
        const ssize_t n = read(master, buffer, sizeof buffer);
        shown.append(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
    }
    kill(child, SIGTERM);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    termios after{};
    tcgetattr(slave, &after);
    EXPECT_EQ(after.c_lflag & (ICANON | ECHO | ISIG), 0u);
    close(slave);
    close(master);
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
        {{"return", "--disk"}, "--disk needs"},
        {{"return", "--disk="}, "--disk needs"},
        {{"switch", "--id", "1", "--disk", "/dev/sdc"}, "'--disk'"},
        {{"--日本"}, "'--日本'"},  // the user's bytes, not read as code page 932
        {{"-x\x1b[2J"}, "'-x\\x1B[2J'"},
        {{"--simulate=1"}, "'--simulate=1'"},
        {{""}, "''"},
        {{"--", "--help"}, "'--'"},
        {{"--simulate", "--simulate"}, "'--simulate'"},
    };
    for (const auto& [args, culprit] : refused) {
        const RunOptions options = ParseCommandLine(args);
        EXPECT_EQ(options.mode, ERunMode::kUsageError) << culprit;
        const std::string text =
            UsageErrorText(options, ELanguage::kEnglish, CTextEncoder("UTF-8"));
        EXPECT_NE(text.find(culprit), std::string::npos) << text;
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2) << text;
    }
    const RunOptions all =
        ParseCommandLine({"--simulate", "switch", "--id=6", "--writable", "--yes", "--json"});
    EXPECT_TRUE(all.simulate && all.command.writable && all.command.yes && all.command.json);
    EXPECT_EQ(all.command.command, ECommand::kSwitch);
    EXPECT_EQ(all.command.targetId, 6u);
    const std::pair<std::vector<std::string>, ERunMode> modes[] = {
        {{}, ERunMode::kDialog},
        {{"--simulate"}, ERunMode::kSimulate},
        {{"--simulate", "--help"}, ERunMode::kHelp},
        {{"--version", "--help"}, ERunMode::kHelp},
        {{"status", "--id", "9", "-h"}, ERunMode::kHelp},
        {{"--version", "--simulate"}, ERunMode::kVersion},
        {{"-V"}, ERunMode::kVersion},
    };
    for (const auto& [args, mode] : modes) {
        EXPECT_EQ(ParseCommandLine(args).mode, mode) << args.size();
    }
    EXPECT_EQ(VersionLine(ELanguage::kJapanese), "Tolvane 1.0.0.1");
    EXPECT_EQ(ParseCommandLine({"return", "--disk=/dev/sdc"}).command.disk, "/dev/sdc");
}

// gettext's order, read from the names alone: LANGUAGE (not in the C
// locale), LC_ALL, LC_MESSAGES, LANG.
TEST(CliCommand, LanguageIsTheOneGettextWouldPickFromTheNames) {
    const ELanguage ja = ELanguage::kJapanese;
    const ELanguage en = ELanguage::kEnglish;
    const struct {
        const char* language;
        const char* all;
        const char* messages;
        const char* lang;
        ELanguage expected;
    } rows[] = {
        {"", "", "", "", en},
        {"", "", "", "ja_JP.UTF-8", ja},  // whether installed or not
        {"", "", "", "ja", ja},
        {"", "", "", "C.UTF-8", en},
        {"", "", "", "de_DE.UTF-8", en},
        {"", "C", "", "ja_JP.UTF-8", en},
        {"", "", "ja_JP.eucJP", "en_US.UTF-8", ja},
        {"", "en_US.UTF-8", "ja_JP.UTF-8", "", en},
        {"ja", "", "", "", en},  // LANGUAGE is left aside in the C locale
        {"ja", "POSIX", "", "", en},
        {"ja", "", "", "C.UTF-8", ja},
        {"ja:en", "", "", "en_GB.UTF-8", ja},
        {"fr:en_GB:ja", "", "", "ja_JP.UTF-8", en},
        {"fr:de", "", "", "ja_JP.UTF-8", en},
        {"C", "", "", "ja_JP.UTF-8", en},
        {"de::ja_JP", "", "", "de_DE.UTF-8", ja},
    };
    for (const auto& row : rows) {
        const std::map<std::string, std::string> environment = {{"LANGUAGE", row.language},
                                                                {"LC_ALL", row.all},
                                                                {"LC_MESSAGES", row.messages},
                                                                {"LANG", row.lang}};
        EXPECT_EQ(Ui::LanguageFromEnvironment(
                      [&environment](const char* name) { return environment.at(name); }),
                  row.expected)
            << row.language << "|" << row.all << "|" << row.messages << "|" << row.lang;
    }
}

TEST(CliCommand, TextsFollowTheTerminalsCodeset) {
    const std::string name = Text::kProductName.japanese;  // ミルトパ
    EXPECT_EQ(CTextEncoder("EUC-JP").Encode(name + "!"), "\xA5\xDF\xA5\xEB\xA5\xC8\xA5\xD1!");
    EXPECT_EQ(CTextEncoder("ANSI_X3.4-1968").Encode(name + "!"), std::string(4, '?') + "!");
    EXPECT_EQ(CTextEncoder("no-such-codeset").Encode(name), Utf8(name));
}

}  // namespace
}  // namespace Cli
}  // namespace Tolvane
