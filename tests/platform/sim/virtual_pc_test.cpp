// The virtual PC as the tool sees it through its platform calls. The
// operations' own runs on it (timing faults, stalling drives, missing rights
// as the dialog meets them) are covered end to end by the mode tests.
#include "platform/sim/virtual_pc.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "modes/pass_through.h"

namespace Tolvane {
namespace Sim {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Ports = std::vector<WORD>;
using Results = std::map<int, BOOL>;

Ports Find(CVirtualPC& pc, WORD vid = 0x04D8, WORD pid = 0xE6B2) {
    const ZRK::CSharedArray<WORD> found = pc.FindUsbComPorts(vid, pid);
    Ports ports;
    for (std::uint32_t i = 0; i < found.GetSize(); ++i) {
        ports.push_back(found[i]);
    }
    return ports;
}

// The switch command on the lowest port; true when the port is gone 1000 ms
// later.
bool Switch(CVirtualPC& pc, std::uint8_t target) {
    const std::string path = "\\\\.\\COM" + std::to_string(Find(pc).at(0));
    HANDLE h = pc.Serial().CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                       OPEN_EXISTING, 0, nullptr);
    DWORD n = 0;
    const std::uint8_t bytes[2] = {0x78, target};
    pc.Serial().WriteFile(h, bytes, 2, &n, nullptr);
    pc.Sleep(1000);
    DWORD status = 0;
    const bool gone = !pc.Serial().GetCommModemStatus(h, &status);
    pc.Serial().CloseHandle(h);
    return gone;
}

// The return command to every drive that opens; what each one answered.
Results Return(CVirtualPC& pc) {
    Results results;
    for (int n = 0; n <= 99; ++n) {
        const std::string path = "\\\\.\\PhysicalDrive" + std::to_string(n);
        HANDLE h = pc.RawDisk().CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 3, nullptr,
                                            OPEN_EXISTING, 0, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            Bytes record = BuildReturnCommandRecord(PassThroughLayout::Native());
            const DWORD size = static_cast<DWORD>(record.size());
            DWORD returned = 0;
            results[n] =
                pc.RawDisk().DeviceIoControl(h, ZRK::kIoctlScsiPassThroughDirect, record.data(),
                                             size, record.data(), size, &returned, nullptr);
            pc.RawDisk().CloseHandle(h);
        }
    }
    return results;
}

TEST(VirtualPc, FinderSeesTwoPortsThenNoneThenTwoAndNeverTheStaleOrBuiltInOnes) {
    CVirtualPC pc;
    EXPECT_EQ(Find(pc), Ports({3, 4}));
    EXPECT_EQ(Find(pc, 0, 0), Ports({1})) << "COM1's hardware ID has no USB IDs";
    EXPECT_TRUE(Switch(pc, 0xB6));
    EXPECT_EQ(pc.BytesReceived(3), Bytes({0x78, 0xB6}));
    EXPECT_TRUE(pc.BytesReceived(4).empty());
    EXPECT_TRUE(Find(pc).empty());

    EXPECT_EQ(Return(pc), (Results{{0, FALSE}, {1, TRUE}, {2, TRUE}}))
        << "the system disk refuses 0xFF, the data disk and the adapter take it";
    const Bytes cdb = {0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(pc.CdbsOf(2), std::vector<Bytes>{cdb});
    pc.Sleep(799);
    EXPECT_TRUE(Find(pc).empty()) << "ports come back 800 ms after the CDB";
    pc.Sleep(1);
    EXPECT_EQ(Find(pc), Ports({3, 4}));
    EXPECT_TRUE(pc.ChangedDrives().empty());
    EXPECT_TRUE(pc.AllReleased()) << pc.LeakReport();
}

TEST(VirtualPc, PortCountComDbAndDriveNumbersFollowTheConfiguration) {
    VirtualPcConfig config;
    config.adapter.portNumbers = {12, 5, 10};
    config.dataDisk = false;
    CVirtualPC pc(config);
    EXPECT_EQ(Find(pc), Ports({5, 10, 12}));
    std::vector<BYTE> db;
    ASSERT_TRUE(pc.Registry().GetValue(HKEY_LOCAL_MACHINE,
                                       "SYSTEM\\CurrentControlSet\\Control\\COM Name Arbiter",
                                       "ComDB", nullptr, &db));
    // COM1, 5, 7 (the stale entry), 10 and 12.
    Bytes expected(CVirtualPC::kComDbBytes, 0);
    expected[0] = 0x51;
    expected[1] = 0x0A;
    EXPECT_EQ(db, expected);
    EXPECT_TRUE(Switch(pc, 0x30));
    EXPECT_EQ(pc.Adapter().DriveNumber(), 1);

    config.adapter.portNumbers = {3};
    CVirtualPC one(config);
    EXPECT_EQ(Find(one), Ports({3}));
}

TEST(VirtualPc, AStandardUserFindsThePortsButNeitherPassesTheCheckNorOpensADrive) {
    VirtualPcConfig config;
    EXPECT_TRUE(CVirtualPC(config).HasAdministratorRights());
    config.administrator = false;
    config.driveAccess = false;
    CVirtualPC pc(config);
    EXPECT_FALSE(pc.HasAdministratorRights());
    EXPECT_EQ(Find(pc), Ports({3, 4})) << "a standard user may still read the device tree";
    EXPECT_TRUE(Switch(pc, 0x30));
    // The adapter's drive, arriving later, is closed to the user as well.
    EXPECT_TRUE(Return(pc).empty());
    EXPECT_EQ(pc.RawDisk().Opens().size(), 100u);
    EXPECT_EQ(pc.RawDisk().CreateFileA("\\\\.\\PhysicalDrive2", GENERIC_READ, 3, nullptr,
                                       OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(pc.RawDisk().LastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(pc.AdapterState(), EAdapterState::kMassStorage);
    EXPECT_TRUE(pc.AllReleased()) << pc.LeakReport();
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
    FakeWallPC virtualPc{VirtualPcConfig{}};
    virtualPc.Sleep(1500);
    virtualPc.CatchUp();
    EXPECT_EQ(virtualPc.slept, 0u);
    EXPECT_EQ(virtualPc.ElapsedMs(), 1500u);

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

TEST(VirtualPc, DescribeFollowsTheAdapter) {
    CVirtualPC pc;
    EXPECT_EQ(pc.Describe(), "[0.000 s] normal, COM3 COM4");
    HANDLE h = pc.Serial().CreateFileA("\\\\.\\COM3", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                                       nullptr);
    DWORD n = 0;
    pc.Serial().WriteFile(h, "x\xB2", 2, &n, nullptr);
    pc.Serial().CloseHandle(h);
    pc.Sleep(100);
    EXPECT_EQ(pc.Describe(), "[0.100 s] switching to target 2 (writable), off the bus in 200 ms");
    pc.Sleep(200);
    EXPECT_EQ(pc.Describe(), "[0.300 s] mass storage, PhysicalDrive2 = target 2 (writable)");
    Return(pc);
    EXPECT_EQ(pc.Describe(), "[0.300 s] returning, COM ports back in 800 ms");
    pc.Adapter().Unplug();
    EXPECT_EQ(pc.Describe(), "[0.300 s] off the bus");
}

TEST(VirtualPc, LeakReportNamesWhatWasLeftOpenOrReleasedTwice) {
    CVirtualPC pc;
    HANDLE port =
        pc.Serial().CreateFileA("\\\\.\\COM4", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    HKEY key = nullptr;
    pc.Registry().RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Enum", 0, KEY_READ,
                                &key);
    HDEVINFO set = pc.Devices().SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_PRESENT);
    HANDLE drive = pc.RawDisk().CreateFileA("\\\\.\\PhysicalDrive0", GENERIC_READ, 3, nullptr,
                                            OPEN_EXISTING, 0, nullptr);
    const SimResourceCounts open = pc.OpenResources();
    EXPECT_EQ(open.serialHandles + open.registryKeys + open.deviceSets + open.driveHandles, 4u);
    EXPECT_NE(pc.LeakReport().find("  HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\n"),
              std::string::npos)
        << pc.LeakReport();
    pc.Serial().CloseHandle(port);
    pc.Registry().RegCloseKey(key);
    pc.Devices().SetupDiDestroyDeviceInfoList(set);
    pc.RawDisk().CloseHandle(drive);
    EXPECT_TRUE(pc.AllReleased()) << pc.LeakReport();
    pc.RawDisk().CloseHandle(drive);
    pc.Serial().CloseHandle(port);
    EXPECT_EQ(pc.OpenResources().badReleases, 2u);
    EXPECT_EQ(pc.LeakReport(),
              "serial calls on bad or closed handles: 1\ndrive closes of bad handles: 1\n");
}

}  // namespace
}  // namespace Sim
}  // namespace Tolvane
