// The two operations end to end on the virtual PC, driven the way a user
// drives them: through the dialog, with the numeric field and the check box.
#include "modes/adapter_operations.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "app/memory_edit.h"
#include "app/tolvane_dlg.h"
#include "platform/sim/virtual_pc.h"
#include "tolvane_texts.h"

namespace Tolvane {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Sim::AdapterConfig;
using Sim::CVirtualPC;
using Sim::EAdapterState;
using Sim::VirtualPcConfig;

class CScriptedBoxes : public CMessageBoxes {
public:
    std::vector<std::string> shown;
    std::vector<UINT> types;
    std::deque<int> answers;  // for MB_YESNO; IDYES when empty
    int MessageBox(const char* text, UINT type) override {
        shown.emplace_back(text);
        types.push_back(type);
        if ((type & MB_TYPEMASK) != MB_YESNO) {
            return IDOK;
        }
        if (answers.empty()) {
            return IDYES;
        }
        const int answer = answers.front();
        answers.pop_front();
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

    // The user sets the field and the box, then presses a button; returns
    // the virtual time the press took.
    CVirtualPC::Millis Switch(const std::string& field, bool readOnly) {
        edit.SelectAll();
        if (field.empty()) {
            edit.Type(8);
        }
        for (char c : field) {
            edit.Type(static_cast<unsigned char>(c));
        }
        view.checked = readOnly;
        return Timed([&] { dlg.OnCommand(IDOK); });
    }
    CVirtualPC::Millis Return() {
        return Timed([&] { dlg.OnCommand(IDC_NORMAL); });
    }

    Bytes Wire(WORD port) const { return pc.BytesReceived(port); }

    // What must hold after any run, whatever its outcome.
    void ExpectCleanUp() const {
        EXPECT_EQ(pc.LeakReport(), "");
        EXPECT_TRUE(pc.ChangedDrives().empty());
        const Bytes returnCdb = {0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        for (int drive = 0; drive <= 100; ++drive) {
            for (const Bytes& cdb : pc.CdbsOf(drive)) {
                EXPECT_EQ(cdb, returnCdb) << "drive " << drive;
            }
        }
        EXPECT_FALSE(dlg.IsEnded()) << "an operation never closes the dialog";
    }

    CVirtualPC pc;
    CScriptedBoxes boxes;
    CCheckBoxView view;
    CMemoryEdit edit;
    CTolvaneDlg dlg;

private:
    template <typename F>
    CVirtualPC::Millis Timed(F press) {
        boxes.shown.clear();
        boxes.types.clear();
        const auto start = pc.ElapsedMs();
        press();
        return pc.ElapsedMs() - start;
    }
};

VirtualPcConfig WithAdapter(void (*tweak)(AdapterConfig&)) {
    VirtualPcConfig config;
    tweak(config.adapter);
    return config;
}

// --- Switch to the mass-storage state ---------------------------------------

TEST(SwitchToMassStorage, ReadOnlyTargetZeroAndWritableTargetSixOnTheWire) {
    struct Case {
        std::string field;
        bool readOnly;
        Bytes wire;
        int target;
    };
    for (const Case& c :
         {Case{"0", true, {0x76, 0x78, 0x30}, 0}, Case{"6", false, {0x76, 0x78, 0xB6}, 6},
          Case{"3", false, {0x76, 0x78, 0xB3}, 3}, Case{"", true, {0x76, 0x78, 0x30}, 0}}) {
        SCOPED_TRACE("field '" + c.field + "'");
        CRun run;
        EXPECT_EQ(run.Switch(c.field, c.readOnly), 1100u) << "100 ms, then 1000 ms";
        EXPECT_EQ(run.boxes.shown,
                  (std::vector<std::string>{Text::kAskSwitchToMass, Text::kSwitchedToMass}));
        EXPECT_EQ(run.boxes.types, (std::vector<UINT>{MB_YESNO, MB_OK}));
        EXPECT_EQ(run.Wire(3), c.wire);
        EXPECT_TRUE(run.Wire(4).empty()) << "nothing goes to the second interface";
        EXPECT_EQ(run.pc.AdapterState(), EAdapterState::kMassStorage);
        EXPECT_EQ(run.pc.Adapter().Target(), c.target);
        EXPECT_EQ(run.pc.Adapter().Writable(), !c.readOnly);
        run.ExpectCleanUp();
    }
}

TEST(SwitchToMassStorage, CheckBoxStartsTickedSoAnUntouchedSwitchIsReadOnly) {
    CRun run;
    EXPECT_TRUE(run.view.checked);
    run.dlg.OnCommand(IDOK);
    EXPECT_EQ(run.Wire(3), (Bytes{0x76, 0x78, 0x30}));
    run.ExpectCleanUp();
}

TEST(SwitchToMassStorage, NeedsTwoAdapterPortsAndSpeaksOnTheLowest) {
    {
        CRun run(WithAdapter([](AdapterConfig& a) { a.portNumbers = {3}; }));
        EXPECT_EQ(run.Switch("1", true), 0u);
        EXPECT_EQ(run.boxes.shown, (std::vector<std::string>{Text::kAdapterNotFoundMaybeMass}));
        EXPECT_TRUE(run.Wire(3).empty());
        run.ExpectCleanUp();
    }
    {
        CRun run(WithAdapter([](AdapterConfig& a) { a.portNumbers = {9, 12, 5}; }));
        run.Switch("2", true);
        EXPECT_EQ(run.Wire(5), (Bytes{0x76, 0x78, 0x32}));
        EXPECT_TRUE(run.Wire(9).empty());
        EXPECT_TRUE(run.Wire(12).empty());
        run.ExpectCleanUp();
    }
    {
        // Already a disk: no ports at all.
        VirtualPcConfig config;
        config.adapter.initialState = EAdapterState::kMassStorage;
        CRun run(config);
        run.Switch("1", true);
        EXPECT_EQ(run.boxes.shown, (std::vector<std::string>{Text::kAdapterNotFoundMaybeMass}));
        run.ExpectCleanUp();
    }
}

TEST(SwitchToMassStorage, PortThatWillNotOpen) {
    CRun run(WithAdapter([](AdapterConfig& a) { a.portOpenError = ERROR_ACCESS_DENIED; }));
    EXPECT_EQ(run.Switch("1", true), 0u);
    EXPECT_EQ(run.boxes.shown, (std::vector<std::string>{Text::kPortNotFound}));
    run.ExpectCleanUp();
}

TEST(SwitchToMassStorage, NoReplyAndFailedReadBothMeanNoResponse) {
    {
        CRun run(WithAdapter([](AdapterConfig& a) { a.firmwareReply.clear(); }));
        EXPECT_EQ(run.Switch("1", true), 100u);
        EXPECT_EQ(run.boxes.shown, (std::vector<std::string>{Text::kNoResponse}));
        EXPECT_EQ(run.Wire(3), (Bytes{0x76}));
        run.ExpectCleanUp();
    }
    {
        // The read itself fails: that is no news about the firmware.
        CRun run;
        run.pc.Adapter().Port(3)->FailCall(Sim::SerialCall::kClearCommError, ERROR_GEN_FAILURE);
        EXPECT_EQ(run.Switch("1", true), 100u);
        EXPECT_EQ(run.boxes.shown, (std::vector<std::string>{Text::kNoResponse}));
        run.ExpectCleanUp();
    }
}

std::string OldVersionText(const char* reply) {
    return ZRK::CTextString::Format(Text::kOldVersionFormat, reply).GetString();
}

TEST(SwitchToMassStorage, FirmwareVersionIsComparedByteWise) {
    struct Case {
        std::string reply;
        bool accepted;
        std::string shownAs;  // between the parentheses when refused
    };
    for (const Case& c :
         {Case{"v0.40", true, ""}, Case{"v0.41", true, ""}, Case{"v0.5", true, ""},
          Case{"v1.00", true, ""}, Case{"w", true, ""}, Case{"v0.40xyz", true, ""},
          Case{"v0.39", false, "v0.39"}, Case{"v0.4", false, "v0.4"}, Case{"v", false, "v"},
          Case{std::string("v\0.50", 5), false, "v"}, Case{"v0.3999999", false, "v0.39"}}) {
        SCOPED_TRACE(c.reply);
        VirtualPcConfig config;
        config.adapter.firmwareReply = c.reply;
        CRun run(config);
        const auto elapsed = run.Switch("1", true);
        if (c.accepted) {
            EXPECT_EQ(run.boxes.shown.front(), Text::kAskSwitchToMass);
            EXPECT_EQ(run.pc.AdapterState(), EAdapterState::kMassStorage);
        } else {
            EXPECT_EQ(elapsed, 100u);
            EXPECT_EQ(run.boxes.shown,
                      (std::vector<std::string>{OldVersionText(c.shownAs.c_str())}));
            EXPECT_EQ(run.Wire(3), (Bytes{0x76}));
        }
        run.ExpectCleanUp();
    }
}

TEST(SwitchToMassStorage, NoMeansNothingMoreIsSentOrShown) {
    CRun run;
    run.boxes.answers = {IDNO};
    EXPECT_EQ(run.Switch("4", false), 100u);
    EXPECT_EQ(run.boxes.shown, (std::vector<std::string>{Text::kAskSwitchToMass}));
    EXPECT_EQ(run.Wire(3), (Bytes{0x76}));
    EXPECT_EQ(run.pc.AdapterState(), EAdapterState::kNormal);
    run.ExpectCleanUp();
}

TEST(SwitchToMassStorage, AdapterThatStaysOrLeavesTooLateIsAnUnknownError) {
    for (AdapterConfig::Millis delay :
         {AdapterConfig::kNever, AdapterConfig::Millis{1001}, AdapterConfig::Millis{4000}}) {
        SCOPED_TRACE(delay);
        VirtualPcConfig config;
        config.adapter.switchDelayMs = delay;
        CRun run(config);
        EXPECT_EQ(run.Switch("1", true), 1100u);
        EXPECT_EQ(run.boxes.shown.back(), Text::kUnknownError);
        run.ExpectCleanUp();
    }
    // Just inside the second it still counts.
    VirtualPcConfig config;
    config.adapter.switchDelayMs = 999;
    CRun run(config);
    run.Switch("1", true);
    EXPECT_EQ(run.boxes.shown.back(), Text::kSwitchedToMass);
}

// --- Return to the normal state -----------------------------------------------

VirtualPcConfig InMassStorage(int target = 2) {
    VirtualPcConfig config;
    config.adapter.initialState = EAdapterState::kMassStorage;
    config.adapter.initialTarget = target;
    return config;
}

const Bytes kReturnCdb = {0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

TEST(ReturnToNormal, EveryDriveThatOpensGetsTheCommandAndThePortsAreAwaited) {
    CRun run(InMassStorage());
    const int adapterDrive = run.pc.Adapter().DriveNumber();
    ASSERT_GT(adapterDrive, CVirtualPC::kDataDrive);
    // The adapter comes back 800 ms after the command: the second look finds it.
    EXPECT_EQ(run.Return(), 1000u);
    EXPECT_EQ(run.boxes.shown,
              (std::vector<std::string>{Text::kAskReturnToNormal, Text::kReturnedToNormal}));
    for (int drive : {int{CVirtualPC::kSystemDrive}, int{CVirtualPC::kDataDrive}, adapterDrive}) {
        EXPECT_EQ(run.pc.CdbsOf(drive), (std::vector<Bytes>{kReturnCdb})) << drive;
    }
    EXPECT_EQ(run.pc.RawDisk().OpenAttempts(), 100u) << "drives 0 to 99, no more";
    EXPECT_EQ(run.pc.AdapterState(), EAdapterState::kNormal);
    run.ExpectCleanUp();
}

TEST(ReturnToNormal, AlreadyNormalSendsNothing) {
    CRun run;
    EXPECT_EQ(run.Return(), 0u);
    EXPECT_EQ(run.boxes.shown, (std::vector<std::string>{Text::kAlreadyNormal}));
    EXPECT_EQ(run.pc.RawDisk().OpenAttempts(), 0u);
    run.ExpectCleanUp();
}

TEST(ReturnToNormal, OnePortIsNotNormalAndOnePortAfterwardsIsSuccess) {
    CRun run(WithAdapter([](AdapterConfig& a) { a.portNumbers = {3}; }));
    EXPECT_EQ(run.Return(), 500u) << "the first look already finds the port";
    EXPECT_EQ(run.boxes.shown,
              (std::vector<std::string>{Text::kAskReturnToNormal, Text::kReturnedToNormal}));
    run.ExpectCleanUp();
}

TEST(ReturnToNormal, NoMeansNoDriveIsOpened) {
    CRun run(InMassStorage());
    run.boxes.answers = {IDNO};
    EXPECT_EQ(run.Return(), 0u);
    EXPECT_EQ(run.boxes.shown, (std::vector<std::string>{Text::kAskReturnToNormal}));
    EXPECT_EQ(run.pc.RawDisk().OpenAttempts(), 0u);
    EXPECT_EQ(run.pc.AdapterState(), EAdapterState::kMassStorage);
    run.ExpectCleanUp();
}

TEST(ReturnToNormal, AdapterThatNeverComesBackAfterFiveLooks) {
    VirtualPcConfig config = InMassStorage();
    config.adapter.returnDelayMs = AdapterConfig::kNever;
    CRun run(config);
    EXPECT_EQ(run.Return(), 2500u) << "five looks, 500 ms apart";
    EXPECT_EQ(run.boxes.shown.back(), Text::kAdapterNotFoundPowerCycle);
    run.ExpectCleanUp();
}

TEST(ReturnToNormal, WithoutDriveRightsNothingIsSentAndTheLooksRunOut) {
    VirtualPcConfig config = InMassStorage();
    config.driveAccess = false;
    CRun run(config);
    EXPECT_EQ(run.Return(), 2500u);
    EXPECT_EQ(run.boxes.shown.back(), Text::kAdapterNotFoundPowerCycle);
    EXPECT_EQ(run.pc.RawDisk().Commands().size(), 0u);
    EXPECT_EQ(run.pc.AdapterState(), EAdapterState::kMassStorage);
    run.ExpectCleanUp();
}

TEST(ReturnToNormal, DriveThatStallsCostsItsSixtySecondsAndTheLoopGoesOn) {
    VirtualPcConfig config = InMassStorage();
    config.stallingDrive = CVirtualPC::kDataDrive;
    CRun run(config);
    const int adapterDrive = run.pc.Adapter().DriveNumber();
    // 60 s on the stalling drive; the adapter then returns 800 ms after its
    // own command, by the second look.
    EXPECT_EQ(run.Return(), 61000u);
    EXPECT_EQ(run.boxes.shown.back(), Text::kReturnedToNormal);
    EXPECT_EQ(run.pc.CdbsOf(adapterDrive), (std::vector<Bytes>{kReturnCdb}));
    run.ExpectCleanUp();
}

// --- A round trip and the administrator check --------------------------------

TEST(Operations, SwitchThenReturnRoundTrip) {
    CRun run;
    run.Switch("5", false);
    EXPECT_EQ(run.boxes.shown.back(), Text::kSwitchedToMass);
    run.Return();
    EXPECT_EQ(run.boxes.shown.back(), Text::kReturnedToNormal);
    run.Switch("0", true);
    EXPECT_EQ(run.boxes.shown.back(), Text::kSwitchedToMass);
    run.ExpectCleanUp();
}

TEST(Operations, WithoutAdministratorRightsTheDialogEndsAtOnce) {
    VirtualPcConfig config;
    config.administrator = false;
    CRun run(config);
    EXPECT_TRUE(run.dlg.IsEnded());
    EXPECT_EQ(run.dlg.Result(), IDOK);
    EXPECT_EQ(run.boxes.shown, (std::vector<std::string>{Text::kNeedAdmin}));
    EXPECT_EQ(run.pc.LeakReport(), "");
    EXPECT_TRUE(run.pc.Registry().LeakedKeys().empty());
}

}  // namespace
}  // namespace Tolvane
