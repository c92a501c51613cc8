// The virtual PC and its adapter where the operations' own runs (the mode
// tests) do not take them: the demo's real time and status line, the leak
// report finding what was left open, and the adapter's answers to what the
// tool never sends.
#include "platform/sim/virtual_pc.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "modes/pass_through.h"

namespace Tolvane {
namespace Sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

HANDLE OpenPort(CVirtualPC& pc, WORD port) {
    const std::string path = "\\\\.\\COM" + std::to_string(port);
    return pc.Serial().CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
}

void Write(CVirtualPC& pc, HANDLE port, const Bytes& bytes) {
    DWORD n = 0;
    pc.Serial().WriteFile(port, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr);
}

// A pass-through request with these CDB bytes to one drive.
void Cdb(CVirtualPC& pc, int drive, const Bytes& cdb) {
    const std::string path = "\\\\.\\PhysicalDrive" + std::to_string(drive);
    HANDLE h = pc.RawDisk().CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 3, nullptr,
                                        OPEN_EXISTING, 0, nullptr);
    const PassThroughLayout layout = PassThroughLayout::Native();
    Bytes record = BuildReturnCommandRecord(layout);
    std::fill_n(record.begin() + static_cast<std::ptrdiff_t>(layout.offCdb), kCdbSize, 0);
    std::copy(cdb.begin(), cdb.end(), record.begin() + static_cast<std::ptrdiff_t>(layout.offCdb));
    record[layout.offCdbLength] = static_cast<std::uint8_t>(cdb.size());
    DWORD n = 0;
    pc.RawDisk().DeviceIoControl(h, ZRK::kIoctlScsiPassThroughDirect, record.data(),
                                 static_cast<DWORD>(record.size()), record.data(),
                                 static_cast<DWORD>(record.size()), &n, nullptr);
    pc.RawDisk().CloseHandle(h);
}

TEST(VirtualPc, StatusLineFollowsTheAdapter) {
    CVirtualPC pc;
    EXPECT_EQ(pc.Describe(), "[0.000 s] normal, COM3 COM4");
    HANDLE h = OpenPort(pc, 3);
    Write(pc, h, {'x', 0xB2});
    pc.Serial().CloseHandle(h);
    pc.Sleep(100);
    EXPECT_EQ(pc.Describe(), "[0.100 s] switching to target 2 (writable), off the bus in 200 ms");
    pc.Sleep(200);
    EXPECT_EQ(pc.Describe(), "[0.300 s] mass storage, PhysicalDrive2 = target 2 (writable)");
    Cdb(pc, 2, {0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(pc.Describe(), "[0.300 s] returning, COM ports back in 800 ms");
    pc.Adapter().Unplug();
    EXPECT_EQ(pc.Describe(), "[0.300 s] off the bus");
}

class FakeWallPC : public CVirtualPC {
public:
    using CVirtualPC::CVirtualPC;
    Millis wall = 0;
    DWORD slept = 0;

protected:
    void RealSleep(DWORD ms) override {
        slept += ms;
        wall += ms;
    }
    Millis RealElapsedMs() const override { return wall; }
};

TEST(VirtualPc, RealTimeSleepWaitsAndKeepsUpWithTheWall) {
    FakeWallPC virtualTime{VirtualPcConfig{}};
    virtualTime.Sleep(1500);
    virtualTime.CatchUp();
    EXPECT_EQ(virtualTime.slept, 0u);
    EXPECT_EQ(virtualTime.ElapsedMs(), 1500u);

    VirtualPcConfig config;
    config.realTime = true;
    FakeWallPC pc(config);
    pc.Sleep(100);
    EXPECT_EQ(pc.slept, 100u);
    pc.wall += 2000;  // time outside Sleep, e.g. a message box
    pc.Sleep(100);
    EXPECT_EQ(pc.ElapsedMs(), 2200u);
    pc.wall += 50;
    pc.CatchUp();
    EXPECT_EQ(pc.ElapsedMs(), 2250u);
    pc.Clock().Advance(60000);  // ahead of the wall: never rewound
    pc.CatchUp();
    pc.Sleep(10);
    EXPECT_EQ(pc.ElapsedMs(), 62260u);
}

TEST(VirtualPc, LeakReportNamesWhatWasLeftOpenOrReleasedTwice) {
    CVirtualPC pc;
    HANDLE port = OpenPort(pc, 4);
    HKEY key = nullptr;
    pc.Registry().RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Enum", 0, KEY_READ,
                                &key);
    HDEVINFO set = pc.Devices().SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_PRESENT);
    HANDLE drive = pc.RawDisk().CreateFileA("\\\\.\\PhysicalDrive0", GENERIC_READ, 3, nullptr,
                                            OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(pc.LeakReport(),
              "serial handles open: 1\nregistry keys open: 1\n"
              "  HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\n"
              "device sets open: 1\ndrive handles open: 1\n");
    pc.Serial().CloseHandle(port);
    pc.Registry().RegCloseKey(key);
    pc.Devices().SetupDiDestroyDeviceInfoList(set);
    pc.RawDisk().CloseHandle(drive);
    EXPECT_TRUE(pc.AllReleased()) << pc.LeakReport();
    pc.RawDisk().CloseHandle(drive);
    pc.Serial().CloseHandle(port);
    pc.Registry().RegCloseKey(key);
    pc.Devices().SetupDiDestroyDeviceInfoList(set);
    EXPECT_EQ(pc.LeakReport(),
              "serial calls on bad or closed handles: 1\nregistry closes of bad handles: 1\n"
              "device sets destroyed wrongly: 1\ndrive closes of bad handles: 1\n");
}

// The adapter takes only a target byte for 0..6 (after 'x', possibly in a
// later write) and only the exact return CDB.
TEST(VirtualAdapter, IgnoresWhatItDoesNotUnderstand) {
    CVirtualPC pc;
    HANDLE h = OpenPort(pc, 3);
    for (std::uint8_t t : {0x2F, 0x37, 0xAF, 0xB7, 0x00, 0x76}) {
        Write(pc, h, {0x78, t});
        pc.Sleep(5000);
        EXPECT_EQ(pc.AdapterState(), EAdapterState::kNormal) << int(t);
    }
    Write(pc, h, {0x78});
    pc.Sleep(1000);
    Write(pc, h, {0xB3});
    pc.Sleep(300);
    pc.Serial().CloseHandle(h);
    ASSERT_EQ(pc.AdapterState(), EAdapterState::kMassStorage);
    EXPECT_TRUE(pc.Adapter().Writable());
    const int drive = pc.Adapter().DriveNumber();
    Bytes nearly(16, 0);
    nearly[0] = 0xFF;
    nearly[15] = 1;
    for (const Bytes& cdb : {nearly, Bytes{0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}}) {
        Cdb(pc, drive, cdb);
        EXPECT_EQ(pc.AdapterState(), EAdapterState::kMassStorage);
    }
    EXPECT_EQ(pc.RawDisk().Drive(drive)->Contents(), CVirtualAdapter::TargetContents(3));
}

TEST(VirtualAdapter, UnplugLosesTheReplyInFlightAndEventsOutliveTheAdapter) {
    VirtualPcConfig config;
    config.adapter.replyDelayMs = 50;
    CVirtualPC pc(config);
    HANDLE h = OpenPort(pc, 3);
    Write(pc, h, {0x76, 0x78, 0x31});
    pc.Adapter().PlugIn();  // a power cycle
    pc.Sleep(1000);
    DWORD status = 0;
    EXPECT_FALSE(pc.Serial().GetCommModemStatus(h, &status)) << "a handle from before is stale";
    pc.Serial().CloseHandle(h);
    h = OpenPort(pc, 3);
    COMSTAT stat{};
    ASSERT_TRUE(pc.Serial().ClearCommError(h, nullptr, &stat));
    EXPECT_EQ(stat.cbInQue, 0u) << "the reply in flight was lost";
    EXPECT_EQ(pc.AdapterState(), EAdapterState::kNormal) << "and so was the switch";
    pc.Serial().CloseHandle(h);

    CVirtualClock clock;
    CSimSerial serial{clock};
    CSimDeviceList devices;
    CSimRegistry registry;
    CSimDisks disks{clock};
    {
        CVirtualAdapter adapter(SimMachine{clock, serial, devices, registry, disks}, {});
        h = serial.CreateFileA("\\\\.\\COM3", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        DWORD n = 0;
        serial.WriteFile(h, "vx0", 3, &n, nullptr);
        serial.CloseHandle(h);
    }
    clock.Advance(1000);  // what it had pending must not reach the destroyed adapter
    EXPECT_EQ(disks.FreeNumber(), 0);
}

}  // namespace
}  // namespace Sim
}  // namespace Tolvane
