// The two operations end to end on the virtual PC, driven the way a user
// drives them: through the dialog, with the numeric field and the check box.
#include "modes/adapter_operations.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "app/memory_edit.h"
#include "app/tolvane_dlg.h"
#include "platform/sim/virtual_pc.h"
#include "tolvane_texts.h"

namespace Tolvane {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Texts = std::vector<std::string>;
using Sim::AdapterConfig;
using Sim::CVirtualPC;
using Sim::EAdapterState;
using Sim::VirtualPcConfig;
using Millis = CVirtualPC::Millis;

const Bytes kReturnCdb = {0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

class CScriptedBoxes : public CMessageBoxes {
public:
    Texts shown;
    std::vector<UINT> types;
    std::deque<int> answers;               // for MB_YESNO; IDYES when empty
    std::function<void()> duringQuestion;  // what happens while a question is open
    int MessageBox(const char* text, UINT type) override {
        shown.emplace_back(text);
        types.push_back(type);
        if ((type & MB_TYPEMASK) != MB_YESNO) {
            return IDOK;
        }
        if (duringQuestion) {
            duringQuestion();
        }
        const int answer = answers.empty() ? IDYES : answers.front();
        if (!answers.empty()) {
            answers.pop_front();
        }
        return answer;
    }
};

class CCheckBoxView : public CDialogView {
public:
    bool checked = false;
    bool HasSystemMenu() override { return false; }
    void AppendSystemMenuSeparator() override {}
    void AppendSystemMenuItem(UINT, const std::string&) override {}
    std::string LoadString(UINT) override { return {}; }
    void SetIcon(bool) override {}
    bool IsReadOnlyChecked() override { return checked; }
    void SetReadOnlyChecked(bool c) override { checked = c; }
    void ShowAboutBox() override {}
    void EndDialog(int) override {}
};

// One run of the tool on a freshly made virtual PC.
class CRun {
public:
    explicit CRun(VirtualPcConfig config = {}) : pc(config), dlg(pc, boxes, view, edit) {
        edit.Bind(&dlg.TargetField());
        dlg.OnInitDialog();
    }

    // The user sets the field (null: leaves it) and the box (-1: leaves it),
    // then presses a button; each returns the virtual time the press took.
    Millis Switch(const char* field = "1", int readOnly = 1) {
        if (field != nullptr) {
            edit.SelectAll();
            edit.Type(8);
            for (const char* c = field; *c != '\0'; ++c) {
                edit.Type(static_cast<unsigned char>(*c));
            }
        }
        if (readOnly >= 0) {
            view.checked = readOnly != 0;
        }
        return Timed(IDOK);
    }
    Millis Return() { return Timed(IDC_NORMAL); }

    Bytes Wire(WORD port) const { return pc.BytesReceived(port); }

    // What must hold after any run, whatever its outcome: everything
    // released, no disk written, nothing but the return command on a drive,
    // the dialog still open, and every device opened the way it must be.
    void ExpectAfterAnyRun() {
        EXPECT_EQ(pc.LeakReport(), "");
        EXPECT_TRUE(pc.ChangedDrives().empty());
        for (const Sim::SimCdb& command : pc.RawDisk().Commands()) {
            EXPECT_EQ(command.bytes, kReturnCdb) << "drive " << command.drive;
        }
        EXPECT_FALSE(dlg.IsEnded()) << "an operation never closes the dialog";
        for (const Sim::SimDriveOpen& open : pc.RawDisk().Opens()) {
            EXPECT_EQ((std::vector<DWORD>{open.access, open.shareMode, open.creation, open.flags}),
                      (std::vector<DWORD>{GENERIC_READ | GENERIC_WRITE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, 0}))
                << "drive " << open.drive;
        }
        for (WORD number : pc.Adapter().Config().portNumbers) {
            const Sim::CSimSerialDevice& port = *pc.Adapter().Port(number);
            if (port.OpenCount() == 0) {
                continue;
            }
            const auto& args = port.LastOpenArgs();
            EXPECT_EQ((std::vector<DWORD>{args.access, args.shareMode, args.creation, args.flags}),
                      (std::vector<DWORD>{GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL}));
            // The driver reports DTR, RTS and XOFF continuation on; the line
            // is set to 480000000 8N1 with every flow-control flag cleared.
            const DCB& line = port.StatesSet().at(0);
            EXPECT_EQ((std::vector<DWORD>{line.BaudRate, line.ByteSize, line.Parity, line.StopBits,
                                          DcbFlagsWord(line)}),
                      (std::vector<DWORD>{480000000u, 8, NOPARITY, ONESTOPBIT, 1}));
            const COMMTIMEOUTS& t = port.Timeouts();
            EXPECT_EQ((std::vector<DWORD>{t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier,
                                          t.ReadTotalTimeoutConstant, t.WriteTotalTimeoutMultiplier,
                                          t.WriteTotalTimeoutConstant}),
                      (std::vector<DWORD>{0xFFFFFFFFu, 0, 0, 1, 1000}));
        }
    }

    CVirtualPC pc;
    CScriptedBoxes boxes;
    CCheckBoxView view;
    CMemoryEdit edit;
    CTolvaneDlg dlg;

private:
    Millis Timed(UINT button) {
        boxes.shown.clear();
        boxes.types.clear();
        const Millis start = pc.ElapsedMs();
        dlg.OnCommand(button);
        return pc.ElapsedMs() - start;
    }
};

VirtualPcConfig WithAdapter(const std::function<void(AdapterConfig&)>& tweak) {
    VirtualPcConfig config;
    tweak(config.adapter);
    return config;
}

// --- Switch to the mass-storage state ---------------------------------------

TEST(SwitchToMassStorage, TargetByteCarriesTheFieldAndTheBoxOnTheLowestPort) {
    const struct {
        const char* field;
        int readOnly;
        Bytes wire;
        int target;
    } rows[] = {{"0", 1, {0x76, 0x78, 0x30}, 0},
                {"6", 0, {0x76, 0x78, 0xB6}, 6},
                {"3", 0, {0x76, 0x78, 0xB3}, 3},
                {"", 1, {0x76, 0x78, 0x30}, 0},         // empty field: target 0
                {nullptr, -1, {0x76, 0x78, 0x30}, 0}};  // untouched: 0, read-only
    for (const auto& row : rows) {
        SCOPED_TRACE(row.field == nullptr ? "untouched" : row.field);
        CRun run;
        EXPECT_EQ(run.Switch(row.field, row.readOnly), 1100u) << "100 ms, then 1000 ms";
        EXPECT_EQ(run.boxes.shown, (Texts{Text::kAskSwitchToMass, Text::kSwitchedToMass}));
        EXPECT_EQ(run.boxes.types, (std::vector<UINT>{MB_YESNO, MB_OK}));
        EXPECT_EQ(run.Wire(3), row.wire);
        EXPECT_TRUE(run.Wire(4).empty()) << "nothing goes to the second interface";
        EXPECT_EQ(run.pc.Adapter().Target(), row.target);
        EXPECT_EQ(run.pc.Adapter().Writable(), row.readOnly == 0);
        run.ExpectAfterAnyRun();
    }
    CRun three(WithAdapter([](AdapterConfig& a) { a.portNumbers = {9, 12, 5}; }));
    three.Switch("2");
    EXPECT_EQ(three.Wire(5), (Bytes{0x76, 0x78, 0x32}));
    EXPECT_TRUE(three.Wire(9).empty() && three.Wire(12).empty());
    three.ExpectAfterAnyRun();
}

TEST(SwitchToMassStorage, FewerThanTwoPortsOrAPortThatWillNotOpen) {
    const struct {
        std::function<void(AdapterConfig&)> tweak;
        const char* message;
    } rows[] = {
        {[](AdapterConfig& a) { a.portNumbers = {3}; }, Text::kAdapterNotFoundMaybeMass},
        {[](AdapterConfig& a) { a.initialState = EAdapterState::kMassStorage; },
         Text::kAdapterNotFoundMaybeMass},
        {[](AdapterConfig& a) { a.portOpenError = ERROR_ACCESS_DENIED; }, Text::kPortNotFound},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.message);
        CRun run(WithAdapter(row.tweak));
        EXPECT_EQ(run.Switch(), 0u);
        EXPECT_EQ(run.boxes.shown, Texts{row.message});
        EXPECT_TRUE(run.Wire(3).empty());
        run.ExpectAfterAnyRun();
    }
}

// A lost version query shows up as no response, whatever lost it; so does a
// read that fails, which says nothing about the firmware.
TEST(SwitchToMassStorage, NoReplyLostQueryAndFailedReadAllMeanNoResponse) {
    using Sim::SerialCall;
    const struct {
        bool silent;
        std::function<void(Sim::CSimSerialDevice&)> fault;
    } rows[] = {
        {true, nullptr},
        {false, [](auto& d) { d.FailCall(SerialCall::kClearCommError, ERROR_GEN_FAILURE); }},
        {false, [](auto& d) { d.FailCall(SerialCall::kWriteFile, ERROR_WRITE_FAULT); }},
        {false, [](auto& d) { d.SetWriteLimit(0); }},
    };
    for (const auto& row : rows) {
        CRun run(WithAdapter(
            [&](AdapterConfig& a) { a.firmwareReply = row.silent ? "" : a.firmwareReply; }));
        if (row.fault) {
            row.fault(*run.pc.Adapter().Port(3));
        }
        EXPECT_EQ(run.Switch(), 100u);
        EXPECT_EQ(run.boxes.shown, Texts{Text::kNoResponse});
        run.ExpectAfterAnyRun();
    }
}

TEST(SwitchToMassStorage, FirmwareVersionIsComparedByteWise) {
    const struct {
        std::string reply;
        const char* refusedAs;  // between the parentheses; null when accepted
    } rows[] = {{"v0.40", nullptr},   {"v0.41", nullptr},     {"v0.5", nullptr},
                {"v1.00", nullptr},   {"w", nullptr},         {"v0.40xyz", nullptr},
                {"v0.39", "v0.39"},   {"v0.4", "v0.4"},       {"v", "v"},
                {{"v\0.50", 5}, "v"}, {"v0.3999999", "v0.39"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.reply);
        CRun run(WithAdapter([&](AdapterConfig& a) { a.firmwareReply = row.reply; }));
        const Millis elapsed = run.Switch();
        if (row.refusedAs == nullptr) {
            EXPECT_EQ(run.boxes.shown.front(), Text::kAskSwitchToMass);
            EXPECT_EQ(run.pc.AdapterState(), EAdapterState::kMassStorage);
        } else {
            EXPECT_EQ(elapsed, 100u);
            EXPECT_EQ(
                run.boxes.shown,
                Texts{
                    ZRK::CTextString::Format(Text::kOldVersionFormat, row.refusedAs).GetString()});
            EXPECT_EQ(run.Wire(3), (Bytes{0x76}));
        }
        run.ExpectAfterAnyRun();
    }
}

TEST(SwitchToMassStorage, NoMeansNothingMoreIsSentOrShown) {
    CRun run;
    run.boxes.answers = {IDNO};
    EXPECT_EQ(run.Switch("4", 0), 100u);
    EXPECT_EQ(run.boxes.shown, Texts{Text::kAskSwitchToMass});
    EXPECT_EQ(run.Wire(3), (Bytes{0x76}));
    EXPECT_EQ(run.pc.AdapterState(), EAdapterState::kNormal);
    run.ExpectAfterAnyRun();
}

// Success is the port gone one second after a command that went out; a
// command that did not go out is no success, even though the port is gone.
TEST(SwitchToMassStorage, OnlyAPortGoneAfterACommandThatWentOutIsSuccess) {
    const struct {
        const char* what;
        AdapterConfig::Millis switchDelay;
        std::function<void(CVirtualPC&)> duringQuestion;
        const char* outcome;
        EAdapterState after;
    } rows[] = {
        {"switch at 999 ms", 999, nullptr, Text::kSwitchedToMass, EAdapterState::kMassStorage},
        {"switch at 1001 ms", 1001, nullptr, Text::kUnknownError, EAdapterState::kSwitching},
        {"no switch", AdapterConfig::kNever, nullptr, Text::kUnknownError, EAdapterState::kNormal},
        {"cable pulled", 300, [](CVirtualPC& pc) { pc.Adapter().Unplug(); }, Text::kUnknownError,
         EAdapterState::kDetached},
        {"adapter reset", 300, [](CVirtualPC& pc) { pc.Adapter().PlugIn(); }, Text::kUnknownError,
         EAdapterState::kNormal},
        {"port takes nothing", 300, [](CVirtualPC& pc) { pc.Adapter().Port(3)->SetWriteLimit(0); },
         Text::kUnknownError, EAdapterState::kNormal},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        CRun run(WithAdapter([&](AdapterConfig& a) { a.switchDelayMs = row.switchDelay; }));
        if (row.duringQuestion) {
            run.boxes.duringQuestion = [&] { row.duringQuestion(run.pc); };
        }
        EXPECT_EQ(run.Switch(), 1100u);
        EXPECT_EQ(run.boxes.shown, (Texts{Text::kAskSwitchToMass, row.outcome}));
        EXPECT_EQ(run.pc.AdapterState(), row.after);
        run.ExpectAfterAnyRun();
    }
}

// --- Return to the normal state -----------------------------------------------

VirtualPcConfig InMassStorage(const std::function<void(VirtualPcConfig&)>& tweak = nullptr) {
    VirtualPcConfig config;
    config.adapter.initialState = EAdapterState::kMassStorage;
    config.adapter.initialTarget = 2;
    if (tweak) {
        tweak(config);
    }
    return config;
}

TEST(ReturnToNormal, EveryDriveThatOpensGetsTheCommandAndThePortsAreAwaited) {
    CRun run(InMassStorage());
    const int adapterDrive = run.pc.Adapter().DriveNumber();
    ASSERT_GT(adapterDrive, CVirtualPC::kDataDrive);
    // The adapter comes back 800 ms after the command: the second look finds it.
    EXPECT_EQ(run.Return(), 1000u);
    EXPECT_EQ(run.boxes.shown, (Texts{Text::kAskReturnToNormal, Text::kReturnedToNormal}));
    for (int drive : {int{CVirtualPC::kSystemDrive}, int{CVirtualPC::kDataDrive}, adapterDrive}) {
        EXPECT_EQ(run.pc.CdbsOf(drive), (std::vector<Bytes>{kReturnCdb})) << drive;
    }
    ASSERT_EQ(run.pc.RawDisk().Opens().size(), 100u) << "drives 0 to 99, no more";
    for (int n = 0; n < 100; ++n) {
        EXPECT_EQ(run.pc.RawDisk().Opens()[static_cast<std::size_t>(n)].drive, n);
    }
    EXPECT_EQ(run.pc.AdapterState(), EAdapterState::kNormal);
    run.ExpectAfterAnyRun();
}

TEST(ReturnToNormal, TwoPortsAreNormalAndNoIsNoAndNeitherOpensADrive) {
    CRun normal;
    EXPECT_EQ(normal.Return(), 0u);
    EXPECT_EQ(normal.boxes.shown, Texts{Text::kAlreadyNormal});
    CRun declined(InMassStorage());
    declined.boxes.answers = {IDNO};
    EXPECT_EQ(declined.Return(), 0u);
    EXPECT_EQ(declined.boxes.shown, Texts{Text::kAskReturnToNormal});
    EXPECT_EQ(declined.pc.AdapterState(), EAdapterState::kMassStorage);
    for (CRun* run : {&normal, &declined}) {
        EXPECT_TRUE(run->pc.RawDisk().Opens().empty());
        run->ExpectAfterAnyRun();
    }
}

TEST(ReturnToNormal, OneLookSucceedsOnOnePortAndFiveLooksRunOutWithout) {
    const struct {
        const char* what;
        VirtualPcConfig config;
        std::function<void(CVirtualPC&)> duringQuestion;
        Millis elapsed;
        const char* outcome;
    } rows[] = {
        // One port is not normal; one port afterwards is success.
        {"one port", WithAdapter([](AdapterConfig& a) { a.portNumbers = {3}; }), nullptr, 500,
         Text::kReturnedToNormal},
        {"adapter reset", InMassStorage(), [](CVirtualPC& pc) { pc.Adapter().PlugIn(); }, 500,
         Text::kReturnedToNormal},
        {"never back",
         InMassStorage([](VirtualPcConfig& c) { c.adapter.returnDelayMs = AdapterConfig::kNever; }),
         nullptr, 2500, Text::kAdapterNotFoundPowerCycle},
        {"no drive rights", InMassStorage([](VirtualPcConfig& c) { c.driveAccess = false; }),
         nullptr, 2500, Text::kAdapterNotFoundPowerCycle},
        {"cable pulled", InMassStorage(), [](CVirtualPC& pc) { pc.Adapter().Unplug(); }, 2500,
         Text::kAdapterNotFoundPowerCycle},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        CRun run(row.config);
        if (row.duringQuestion) {
            run.boxes.duringQuestion = [&] { row.duringQuestion(run.pc); };
        }
        EXPECT_EQ(run.Return(), row.elapsed);
        EXPECT_EQ(run.boxes.shown, (Texts{Text::kAskReturnToNormal, row.outcome}));
        run.ExpectAfterAnyRun();
    }
}

TEST(ReturnToNormal, DriveThatStallsCostsItsSixtySecondsAndTheLoopGoesOn) {
    CRun run(InMassStorage([](VirtualPcConfig& c) { c.stallingDrive = CVirtualPC::kDataDrive; }));
    const int adapterDrive = run.pc.Adapter().DriveNumber();
    // 60 s on the stalling drive; the adapter then returns 800 ms after its
    // own command, by the second look.
    EXPECT_EQ(run.Return(), 61000u);
    EXPECT_EQ(run.boxes.shown.back(), Text::kReturnedToNormal);
    EXPECT_EQ(run.pc.CdbsOf(adapterDrive), (std::vector<Bytes>{kReturnCdb}));
    run.ExpectAfterAnyRun();
}

}  // namespace
}  // namespace Tolvane
