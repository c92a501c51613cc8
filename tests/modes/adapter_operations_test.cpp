// The two operations end to end on the virtual PC, driven through the dialog
// with the numeric field and the check box.
#include "modes/adapter_operations.h"

#include <gtest/gtest.h>

#include "../app/dialog_harness.h"

namespace Tolvane {
namespace {

using Bytes = std::vector<std::uint8_t>;
using DWords = std::vector<DWORD>;
using Sim::AdapterConfig;
using Sim::CVirtualPC;
using Sim::VirtualPcConfig;
using Millis = CVirtualPC::Millis;
using Machine = std::function<void(VirtualPcConfig&)>;
using State = Sim::EAdapterState;

const Bytes kReturnCdb = {0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

// What must hold after any run, whatever its outcome: everything released,
// no disk written, only the return command on a drive, drives tried 0 to 99
// or not at all, the dialog still open, and every device opened and set up
// the way it must be.
void ExpectAfterAnyRun(CRun& run) {
    CVirtualPC& pc = run.pc;
    EXPECT_EQ(pc.LeakReport(), "");
    EXPECT_TRUE(pc.RawDisk().ChangedDrives().empty());
    EXPECT_FALSE(run.dlg.IsEnded()) << "an operation never closes the dialog";
    for (const Sim::SimCdb& command : pc.RawDisk().Commands()) {
        EXPECT_EQ(command.bytes, kReturnCdb) << "drive " << command.drive;
    }
    const auto& opens = pc.RawDisk().Opens();
    EXPECT_TRUE(opens.empty() || opens.size() == 100u) << opens.size();
    for (std::size_t n = 0; n < opens.size(); ++n) {
        const Sim::SimDriveOpen& o = opens[n];
        EXPECT_EQ((DWords{DWORD(o.drive), o.access, o.shareMode, o.creation, o.flags}),
                  (DWords{DWORD(n), GENERIC_READ | GENERIC_WRITE, 3, OPEN_EXISTING, 0}));
    }
    for (WORD number : pc.Adapter().Config().portNumbers) {
        const Sim::CSimSerialDevice& port = *pc.Adapter().Port(number);
        if (port.OpenCount() == 0) {
            continue;
        }
        const auto& a = port.LastOpenArgs();
        EXPECT_EQ((DWords{a.access, a.shareMode, a.creation, a.flags}),
                  (DWords{GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL}));
        // The driver reports DTR, RTS and XOFF continuation on; the line is
        // set to 480000000 8N1 with every flow-control flag cleared.
        const DCB& l = port.StatesSet().at(0);
        EXPECT_EQ((DWords{l.BaudRate, l.ByteSize, l.Parity, l.StopBits, DcbFlagsWord(l)}),
                  (DWords{480000000u, 8, NOPARITY, ONESTOPBIT, 1}));
    }
}

Machine Reply(const std::string& r) {
    return [r](VirtualPcConfig& c) { c.adapter.firmwareReply = r; };
}
Machine SwitchAfter(Millis delay) {
    return [delay](VirtualPcConfig& c) { c.adapter.switchDelayMs = delay; };
}
const Machine kDefault = [](VirtualPcConfig&) {};
const Machine kInMass = [](VirtualPcConfig& c) { c.adapter.initialState = State::kMassStorage; };
const Machine kOnePort = [](VirtualPcConfig& c) { c.adapter.portNumbers = {3}; };
const Machine kThreePorts = [](VirtualPcConfig& c) { c.adapter.portNumbers = {5, 12, 3}; };
const Machine kPortHeld = [](VirtualPcConfig& c) { c.adapter.portOpenError = ERROR_ACCESS_DENIED; };
// In the mass-storage state, and then: the adapter never comes back; no
// drive opens for this user; the data disk stalls for the request's 60 s.
const Machine kNeverBack = [](auto& c) {
    kInMass(c), c.adapter.returnDelayMs = AdapterConfig::kNever;
};
const Machine kNoDrives = [](VirtualPcConfig& c) { kInMass(c), c.driveAccess = false; };
const Machine kStall = [](VirtualPcConfig& c) {
    kInMass(c), c.stallingDrive = CVirtualPC::kDataDrive;
};

// What happens to the adapter's first port or to the adapter itself, before
// the press or while the Yes/No question is open; or the answer No.
enum class Event { kNone, kReadFails, kWriteFails, kTakesNothing, kNo, kPulled, kReset, kRefuses };

std::string Old(const char* reply) {
    return ZRK::CTextString::Format(Text::kOldVersionFormat.japanese, reply).GetString();
}

const Texts kSwitched = {Text::kAskSwitchToMass.japanese, Text::kSwitchedToMass.japanese};
const Texts kLost = {Text::kAskSwitchToMass.japanese, Text::kUnknownError.japanese};
const Texts kNoReply = {Text::kNoResponse.japanese};
const Texts kNotFound = {Text::kAdapterNotFoundMaybeMass.japanese};
const Texts kReturned = {Text::kAskReturnToNormal.japanese, Text::kReturnedToNormal.japanese};
const Texts kNotBack = {Text::kAskReturnToNormal.japanese,
                        Text::kAdapterNotFoundPowerCycle.japanese};
const Bytes kQ = {0x76};
const Bytes kQX1 = {0x76, 0x78, 0x31};  // target 1, read-only
constexpr UINT kSw = IDOK;
constexpr UINT kRet = IDC_NORMAL;
constexpr State kNormal = State::kNormal;
constexpr State kMass = State::kMassStorage;
constexpr State kGone = State::kDetached;

const struct Row {
    const char* what;
    UINT button;  // IDOK or IDC_NORMAL
    Machine machine;
    Event event;
    Texts shown;
    Millis elapsed;
    Bytes wire;            // what COM3 received
    std::size_t commands;  // return commands sent to drives
    State after;
    const char* field = "1";  // typed into the field (null: left alone)
    int readOnly = 1;         // the check box (-1: left alone)
} kRows[] = {
    {"switch", kSw, kDefault, Event::kNone, kSwitched, 1100, kQX1, 0, kMass},
    // The target byte carries the field (empty: 0) and the box (untouched:
    // ticked); all traffic goes to the lowest port.
    // clang-format off
    {"0 read-only", kSw, kDefault, Event::kNone, kSwitched, 1100, {0x76, 0x78, 0x30}, 0, kMass, "0"},
    {"6 writable", kSw, kDefault, Event::kNone, kSwitched, 1100, {0x76, 0x78, 0xB6}, 0, kMass, "6", 0},
    {"3 writable", kSw, kDefault, Event::kNone, kSwitched, 1100, {0x76, 0x78, 0xB3}, 0, kMass, "3", 0},
    {"empty", kSw, kDefault, Event::kNone, kSwitched, 1100, {0x76, 0x78, 0x30}, 0, kMass, ""},
    {"untouched", kSw, kDefault, Event::kNone, kSwitched, 1100, {0x76, 0x78, 0x30}, 0, kMass, 0, -1},
    // clang-format on
    {"three ports", kSw, kThreePorts, Event::kNone, kSwitched, 1100, kQX1, 0, kMass},
    {"one port", kSw, kOnePort, Event::kNone, kNotFound, 0, {}, 0, kNormal},
    {"already a disk", kSw, kInMass, Event::kNone, kNotFound, 0, {}, 0, kMass},
    {"port held", kSw, kPortHeld, Event::kNone, {Text::kPortNotFound.japanese}, 0, {}, 0, kNormal},
    // A lost version query shows up as no response, whatever lost it; so
    // does a read that fails, which says nothing about the firmware.
    {"silent", kSw, Reply(""), Event::kNone, kNoReply, 100, kQ, 0, kNormal},
    {"read fails", kSw, kDefault, Event::kReadFails, kNoReply, 100, kQ, 0, kNormal},
    {"query write fails", kSw, kDefault, Event::kWriteFails, kNoReply, 100, {}, 0, kNormal},
    {"query not taken", kSw, kDefault, Event::kTakesNothing, kNoReply, 100, {}, 0, kNormal},
    // The version text is compared byte-wise with "v0.40".
    {"v0.41", kSw, Reply("v0.41"), Event::kNone, kSwitched, 1100, kQX1, 0, kMass},
    {"v0.5", kSw, Reply("v0.5"), Event::kNone, kSwitched, 1100, kQX1, 0, kMass},
    {"v1.00", kSw, Reply("v1.00"), Event::kNone, kSwitched, 1100, kQX1, 0, kMass},
    {"w", kSw, Reply("w"), Event::kNone, kSwitched, 1100, kQX1, 0, kMass},
    {"v0.40xyz", kSw, Reply("v0.40xyz"), Event::kNone, kSwitched, 1100, kQX1, 0, kMass},
    {"v0.39", kSw, Reply("v0.39"), Event::kNone, {Old("v0.39")}, 100, kQ, 0, kNormal},
    {"v0.4", kSw, Reply("v0.4"), Event::kNone, {Old("v0.4")}, 100, kQ, 0, kNormal},
    {"v", kSw, Reply("v"), Event::kNone, {Old("v")}, 100, kQ, 0, kNormal},
    {"v NUL", kSw, Reply({"v\0.50", 5}), Event::kNone, {Old("v")}, 100, kQ, 0, kNormal},
    {"v0.3999", kSw, Reply("v0.3999"), Event::kNone, {Old("v0.39")}, 100, kQ, 0, kNormal},
    {"answer no",
     kSw,
     kDefault,
     Event::kNo,
     {Text::kAskSwitchToMass.japanese},
     100,
     kQ,
     0,
     kNormal},
    // Success is the port gone one second after a command that went out; a
    // command that did not go out is no success, even with the port gone.
    {"switch at 999 ms", kSw, SwitchAfter(999), Event::kNone, kSwitched, 1100, kQX1, 0, kMass},
    {"at 1001 ms", kSw, SwitchAfter(1001), Event::kNone, kLost, 1100, kQX1, 0, State::kSwitching},
    {"no switch", kSw, SwitchAfter(AdapterConfig::kNever), Event::kNone, kLost, 1100, kQX1, 0,
     kNormal},
    {"cable pulled", kSw, kDefault, Event::kPulled, kLost, 1100, kQ, 0, kGone},
    {"adapter reset", kSw, kDefault, Event::kReset, kLost, 1100, kQ, 0, kNormal},
    {"command refused", kSw, kDefault, Event::kRefuses, kLost, 1100, kQ, 0, kNormal},
    // The return: system disk, data disk and the adapter's drive get the
    // command; the adapter is back 800 ms after it, by the second look.
    {"return", kRet, kInMass, Event::kNone, kReturned, 1000, {}, 3, kNormal},
    {"two ports", kRet, kDefault, Event::kNone, {Text::kAlreadyNormal.japanese}, 0, {}, 0, kNormal},
    {"answer no", kRet, kInMass, Event::kNo, {Text::kAskReturnToNormal.japanese}, 0, {}, 0, kMass},
    // One port is not normal; one port afterwards is success.
    {"one port", kRet, kOnePort, Event::kNone, kReturned, 500, {}, 2, kNormal},
    {"never back", kRet, kNeverBack, Event::kNone, kNotBack, 2500, {}, 3, kGone},
    {"no drive rights", kRet, kNoDrives, Event::kNone, kNotBack, 2500, {}, 0, kMass},
    {"cable pulled", kRet, kInMass, Event::kPulled, kNotBack, 2500, {}, 2, kGone},
    {"adapter reset", kRet, kInMass, Event::kReset, kReturned, 500, {}, 2, kNormal},
    // 60 s on the stalling drive, then the adapter's own 800 ms.
    {"stalling drive", kRet, kStall, Event::kNone, kReturned, 61000, {}, 3, kNormal},
};

void Apply(Event event, CVirtualPC& pc) {
    Sim::CSimSerialDevice& port = *pc.Adapter().Port(3);
    switch (event) {
        case Event::kReadFails:
            return port.FailCall(Sim::SerialCall::kClearCommError, ERROR_GEN_FAILURE);
        case Event::kWriteFails:
            return port.FailCall(Sim::SerialCall::kWriteFile, ERROR_WRITE_FAULT);
        case Event::kTakesNothing:
        case Event::kRefuses:
            return port.SetWriteLimit(0);
        case Event::kPulled:
            return pc.Adapter().Unplug();
        case Event::kReset:
            return pc.Adapter().PlugIn();
        default:
            return;
    }
}

TEST(AdapterOperations, Scenarios) {
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.what);
        VirtualPcConfig config;
        row.machine(config);
        CRun run(config);
        const bool atQuestion = row.event >= Event::kPulled;
        if (!atQuestion) {
            Apply(row.event, run.pc);
        }
        run.boxes.duringQuestion = [&] { atQuestion ? Apply(row.event, run.pc) : void(); };
        run.boxes.answer = row.event == Event::kNo ? IDNO : IDYES;
        const bool sw = row.button == kSw;
        EXPECT_EQ(sw ? run.Switch(row.field, row.readOnly) : run.Press(row.button), row.elapsed);
        EXPECT_EQ(run.boxes.shown, row.shown);
        std::vector<UINT> types(row.shown.size(), MB_OK);
        if (!types.empty() && (row.shown.size() == 2 || row.event == Event::kNo)) {
            types[0] = MB_YESNO;  // the question, then the outcome
        }
        EXPECT_EQ(run.boxes.types, types);
        for (WORD port : config.adapter.portNumbers) {  // nothing on any other interface
            EXPECT_EQ(run.pc.BytesReceived(port), port == 3 ? row.wire : Bytes()) << port;
        }
        EXPECT_EQ(run.pc.RawDisk().Commands().size(), row.commands);
        EXPECT_EQ(run.pc.AdapterState(), row.after);
        ExpectAfterAnyRun(run);
    }
}

}  // namespace
}  // namespace Tolvane
