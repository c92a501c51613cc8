// The virtual PC and its adapter where the operations' own runs (the mode
// tests) do not take them: the demo's real time and status line, the leak
// report finding what was left open, and the adapter's answers to what the
// tool never sends.
#include "platform/sim/virtual_pc.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace Tolvane {
namespace Sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes kReturnCdb = {0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

// Bytes written to COM3 through a handle of their own.
void Send(CSimSerial& serial, const Bytes& bytes) {
    HANDLE h = serial.CreateFileA("\\\\.\\COM3", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, 0);
    DWORD n = 0;
    serial.WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr);
    serial.CloseHandle(h);
}

TEST(VirtualPc, StatusLineFollowsTheAdapter) {
    CVirtualPC pc;
    EXPECT_EQ(pc.Describe(ELanguage::kEnglish), "[0.000 s] normal, COM3 COM4");
    Send(pc.Serial(), {'x', 0xB2});
    pc.Sleep(100);
    EXPECT_EQ(pc.Describe(ELanguage::kEnglish),
              "[0.100 s] switching to target 2 (writable), off the bus in 200 ms");
    pc.Sleep(200);
    EXPECT_EQ(pc.Describe(ELanguage::kEnglish),
              "[0.300 s] mass storage, PhysicalDrive2 = target 2 (writable)");
    pc.RawDisk().Drive(2)->onCommand(kReturnCdb);
    EXPECT_EQ(pc.Describe(ELanguage::kEnglish), "[0.300 s] returning, COM ports back in 800 ms");
    pc.Adapter().Unplug();
    EXPECT_EQ(pc.Describe(ELanguage::kEnglish), "[0.300 s] off the bus");
}

class FakeWallPC : public CVirtualPC {
public:
    using CVirtualPC::CVirtualPC;
    Millis wall = 0;

protected:
    void RealSleep(DWORD ms) override { wall += ms; }
    Millis RealElapsedMs() const override { return wall; }
};

TEST(VirtualPc, RealTimeSleepWaitsAndKeepsUpWithTheWall) {
    VirtualPcConfig config;
    config.realTime = true;
    FakeWallPC pc(config);
    pc.Sleep(100);
    EXPECT_EQ(pc.wall, 100u) << "waited for real";
    pc.wall += 2000;  // time outside Sleep, e.g. a message box
    pc.Sleep(100);
    EXPECT_EQ(pc.Clock().Now(), 2200u);
    pc.wall += 50;
    pc.CatchUp();
    EXPECT_EQ(pc.Clock().Now(), 2250u);
    pc.Clock().Advance(60000);  // ahead of the wall: never rewound
    pc.CatchUp();
    pc.Sleep(10);
    EXPECT_EQ(pc.Clock().Now(), 62260u);
}

TEST(VirtualPc, LeakReportNamesWhatWasLeftOpenOrReleasedTwice) {
    CVirtualPC pc;
    HANDLE port = pc.Serial().CreateFileA("\\\\.\\COM4", 0, 0, 0, 3, 0, 0);
    HKEY key = nullptr;
    pc.Registry().RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM", 0, KEY_READ, &key);
    HDEVINFO set = pc.Devices().SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_PRESENT);
    HANDLE drive = pc.RawDisk().CreateFileA("\\\\.\\PhysicalDrive0", 0, 3, 0, 3, 0, 0);
    auto release = [&] {
        pc.Serial().CloseHandle(port);
        pc.Registry().RegCloseKey(key);
        pc.Devices().SetupDiDestroyDeviceInfoList(set);
        pc.RawDisk().CloseHandle(drive);
    };
    EXPECT_EQ(pc.LeakReport(),
              "serial handles open: 1\nregistry keys open: 1\n  HKEY_LOCAL_MACHINE\\SYSTEM\n"
              "device sets open: 1\ndrive handles open: 1\n");
    release();
    EXPECT_TRUE(pc.AllReleased()) << pc.LeakReport();
    release();
    EXPECT_EQ(pc.LeakReport(),
              "serial calls on bad or closed handles: 1\nregistry closes of bad handles: 1\n"
              "device sets destroyed wrongly: 1\ndrive closes of bad handles: 1\n");
}

// The adapter takes only a target byte for 0..6 (after 'x', possibly in a
// later write) and only the exact return CDB.
TEST(VirtualAdapter, IgnoresWhatItDoesNotUnderstand) {
    CVirtualPC pc;
    for (std::uint8_t t : {0x2F, 0x37, 0xAF, 0xB7, 0x00, 0x76}) {
        Send(pc.Serial(), {0x78, t});
        pc.Sleep(5000);
        EXPECT_EQ(pc.AdapterState(), EAdapterState::kNormal) << int(t);
    }
    Send(pc.Serial(), {0x78});
    pc.Sleep(1000);
    Send(pc.Serial(), {0xB3});
    pc.Sleep(300);
    ASSERT_EQ(pc.AdapterState(), EAdapterState::kMassStorage);
    CSimDrive& drive = *pc.RawDisk().Drive(pc.Adapter().DriveNumber());
    EXPECT_EQ(drive.Contents(), CVirtualAdapter::TargetContents(3));
    drive.onCommand(Bytes(kReturnCdb.begin(), kReturnCdb.begin() + 12));
    EXPECT_EQ(pc.AdapterState(), EAdapterState::kMassStorage);
}

TEST(VirtualAdapter, PowerCycleLosesWhatWasInFlight) {
    VirtualPcConfig config;
    config.adapter.replyDelayMs = 50;
    CVirtualPC pc(config);
    Send(pc.Serial(), {0x76, 0x78, 0x31});
    pc.Adapter().PlugIn();
    pc.Sleep(1000);
    HANDLE h = pc.Serial().CreateFileA("\\\\.\\COM3", GENERIC_READ, 0, nullptr, 3, 0, 0);
    COMSTAT stat{};
    ASSERT_TRUE(pc.Serial().ClearCommError(h, nullptr, &stat));
    EXPECT_EQ(stat.cbInQue, 0u) << "the reply in flight was lost";
    EXPECT_EQ(pc.AdapterState(), EAdapterState::kNormal) << "and so was the switch";
    pc.Serial().CloseHandle(h);
}

}  // namespace
}  // namespace Sim
}  // namespace Tolvane
