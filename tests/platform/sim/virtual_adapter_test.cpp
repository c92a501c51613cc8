#include "platform/sim/virtual_adapter.h"

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "modes/pass_through.h"

namespace Tolvane {
namespace Sim {
namespace {

using Bytes = std::vector<std::uint8_t>;
const Bytes kReturnCdb = {0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

// A bare machine with nothing in it but the adapter.
class AdapterTest : public ::testing::Test {
protected:
    void Plug(AdapterConfig config = {}) {
        adapter.reset();
        adapter = std::make_unique<CVirtualAdapter>(
            SimMachine{clock, serial, devices, registry, disks}, std::move(config));
    }
    HANDLE Open(WORD port) {
        const std::string path = "\\\\.\\COM" + std::to_string(port);
        return serial.CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
    }
    void Send(HANDLE port, const Bytes& bytes) {
        DWORD n = 0;
        ASSERT_TRUE(
            serial.WriteFile(port, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr));
    }
    Bytes Read(HANDLE port, DWORD max) {
        Bytes buffer(max);
        DWORD n = 0;
        buffer.resize(serial.ReadFile(port, buffer.data(), max, &n, nullptr) ? n : 0);
        return buffer;
    }
    bool Alive(HANDLE port) {
        DWORD status = 0;
        return serial.GetCommModemStatus(port, &status) != FALSE;
    }
    // A pass-through request carrying these CDB bytes.
    BOOL Cdb(int drive, const Bytes& cdb) {
        const std::string path = "\\\\.\\PhysicalDrive" + std::to_string(drive);
        HANDLE h = disks.CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 3, nullptr,
                                     OPEN_EXISTING, 0, nullptr);
        const PassThroughLayout layout = PassThroughLayout::Native();
        Bytes record = BuildReturnCommandRecord(layout);
        std::fill_n(record.begin() + static_cast<std::ptrdiff_t>(layout.offCdb), kCdbSize, 0);
        std::copy(cdb.begin(), cdb.end(),
                  record.begin() + static_cast<std::ptrdiff_t>(layout.offCdb));
        record[layout.offCdbLength] = static_cast<std::uint8_t>(cdb.size());
        DWORD n = 0;
        const BOOL ok = disks.DeviceIoControl(h, ZRK::kIoctlScsiPassThroughDirect, record.data(),
                                              static_cast<DWORD>(record.size()), record.data(),
                                              static_cast<DWORD>(record.size()), &n, nullptr);
        disks.CloseHandle(h);
        return ok;
    }
    void SwitchTo(std::uint8_t target) {
        HANDLE port = Open(adapter->Config().portNumbers.front());
        Send(port, {0x78, target});
        serial.CloseHandle(port);
        clock.Advance(adapter->Config().switchDelayMs);
        ASSERT_EQ(adapter->State(), EAdapterState::kMassStorage);
    }

    CVirtualClock clock;
    CSimSerial serial{clock};
    CSimDeviceList devices;
    CSimRegistry registry;
    CSimDisks disks{clock};
    std::unique_ptr<CVirtualAdapter> adapter;
};

TEST_F(AdapterTest, VersionReplyArrivesAfterItsDelayWithTheConfiguredBytes) {
    Plug();
    for (WORD port : {3, 4}) {
        HANDLE h = Open(port);
        Send(h, {0x76});
        EXPECT_TRUE(Read(h, 5).empty()) << "COM" << port;
        clock.Advance(1);
        EXPECT_EQ(Read(h, 6), Bytes({'v', '0', '.', '4', '0'})) << "COM" << port;
        EXPECT_EQ(adapter->BytesReceived(port), Bytes({0x76}));
        serial.CloseHandle(h);
    }
    AdapterConfig odd;
    odd.firmwareReply = std::string("v0\0.4xyz", 8);
    Plug(odd);
    HANDLE h = Open(3);
    Send(h, {0x76});
    clock.Advance(1);
    EXPECT_EQ(Read(h, 5), Bytes({'v', '0', 0, '.', '4'}));
    EXPECT_EQ(Read(h, 9), Bytes({'x', 'y', 'z'})) << "the rest waits unread";
    serial.CloseHandle(h);

    AdapterConfig silent;
    silent.firmwareReply.clear();
    Plug(silent);
    h = Open(3);
    Send(h, {0x76});
    clock.Advance(60000);
    EXPECT_TRUE(Read(h, 5).empty());
    serial.CloseHandle(h);
}

struct SwitchCase {
    std::uint8_t targetByte;
    int target;
    bool writable;
};
void PrintTo(const SwitchCase& c, std::ostream* os) {
    *os << "T=0x" << std::hex << int(c.targetByte);
}
class AdapterSwitchTest : public AdapterTest, public ::testing::WithParamInterface<SwitchCase> {};

TEST_P(AdapterSwitchTest, LeavesTheBusOnlyAfterTheDelayAndShowsTheTarget) {
    const SwitchCase c = GetParam();
    Plug();
    HANDLE h = Open(3);
    Send(h, {0x78, c.targetByte});
    EXPECT_EQ(adapter->State(), EAdapterState::kSwitching);
    clock.Advance(299);
    EXPECT_TRUE(Alive(h));
    EXPECT_EQ(disks.Drive(0), nullptr);
    clock.Advance(1);
    EXPECT_EQ(adapter->State(), EAdapterState::kMassStorage);
    EXPECT_FALSE(Alive(h));
    EXPECT_EQ(Open(4), INVALID_HANDLE_VALUE);
    ASSERT_EQ(adapter->DriveNumber(), 0);
    EXPECT_EQ(disks.Drive(0)->Contents(), CVirtualAdapter::TargetContents(c.target));
    EXPECT_EQ(adapter->Target(), c.target);
    EXPECT_EQ(adapter->Writable(), c.writable);
    serial.CloseHandle(h);
}

INSTANTIATE_TEST_SUITE_P(Targets, AdapterSwitchTest,
                         ::testing::Values(SwitchCase{0x30, 0, false}, SwitchCase{0x36, 6, false},
                                           SwitchCase{0xB0, 0, true}, SwitchCase{0xB6, 6, true}));

TEST_F(AdapterTest, TargetByteOutsideZeroToSixIsIgnoredAndACommandMaySpanWrites) {
    Plug();
    HANDLE h = Open(3);
    for (std::uint8_t t : {0x2F, 0x37, 0xAF, 0xB7, 0x00, 0x76}) {
        Send(h, {0x78, t});
        clock.Advance(5000);
        EXPECT_EQ(adapter->State(), EAdapterState::kNormal) << int(t);
    }
    EXPECT_TRUE(Read(h, 5).empty()) << "a 'v' taken as target byte is no query";
    Send(h, {0x78});
    clock.Advance(1000);
    Send(h, {0xB3});
    clock.Advance(300);
    EXPECT_EQ(adapter->Target(), 3);
    EXPECT_TRUE(adapter->Writable());
    serial.CloseHandle(h);
}

TEST_F(AdapterTest, ReturnCdbDropsTheDriveAtOnceAndBringsPortsBackAfterTheDelay) {
    Plug();
    SwitchTo(0x32);
    Bytes nearly = kReturnCdb;
    nearly[15] = 1;
    for (const Bytes& other : {nearly, Bytes(kReturnCdb.begin(), kReturnCdb.begin() + 12)}) {
        EXPECT_TRUE(Cdb(0, other));
        EXPECT_EQ(adapter->State(), EAdapterState::kMassStorage);
    }
    EXPECT_TRUE(Cdb(0, kReturnCdb));
    EXPECT_EQ(disks.Drive(0), nullptr);
    clock.Advance(799);
    EXPECT_EQ(Open(3), INVALID_HANDLE_VALUE);
    clock.Advance(1);
    HANDLE h = Open(3);
    EXPECT_TRUE(Alive(h));
    serial.CloseHandle(h);
    EXPECT_TRUE(disks.ChangedDrives().empty());
}

TEST_F(AdapterTest, LostReturnAndTargetWithoutDisk) {
    AdapterConfig config;
    config.returnDelayMs = AdapterConfig::kNever;
    config.targetsWithoutDisk = 1u << 5;
    Plug(config);
    SwitchTo(0x35);
    EXPECT_TRUE(disks.Drive(0)->Contents().empty()) << "a drive without medium";
    EXPECT_TRUE(Cdb(0, kReturnCdb));
    clock.Advance(600000);
    EXPECT_EQ(adapter->State(), EAdapterState::kDetached);
    EXPECT_EQ(Open(3), INVALID_HANDLE_VALUE);
}

TEST_F(AdapterTest, RegistryEntriesStayAndDeviceListFollowsTheBus) {
    AdapterConfig config;
    config.portNumbers = {5, 9, 12};
    Plug(config);
    std::vector<BYTE> name;
    ASSERT_TRUE(registry.GetValue(HKEY_LOCAL_MACHINE,
                                  adapter->InterfaceKey(2) + "\\Device Parameters", "PortName",
                                  nullptr, &name));
    EXPECT_STREQ(reinterpret_cast<const char*>(name.data()), "COM12");
    EXPECT_NE(adapter->InterfaceKey(2).find("&MI_04\\"), std::string::npos);
    const std::size_t keys = registry.KeyCount();
    SwitchTo(0x30);
    EXPECT_EQ(registry.KeyCount(), keys);
    HDEVINFO set =
        devices.SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof data;
    for (DWORD i = 0; devices.SetupDiEnumDeviceInfo(set, i, &data); ++i) {
        char driver[200] = {};
        devices.SetupDiGetDeviceRegistryPropertyA(set, &data, SPDRP_DRIVER, nullptr,
                                                  reinterpret_cast<BYTE*>(driver), 200, nullptr);
        for (std::size_t p = 0; p < 3; ++p) {
            EXPECT_NE(adapter->DriverKey(p), driver);
        }
        EXPECT_LT(i, 2u) << "only the USB device and its disk";
    }
    devices.SetupDiDestroyDeviceInfoList(set);
}

TEST_F(AdapterTest, UnplugCancelsWhatIsPendingAndEventsOutliveTheAdapter) {
    AdapterConfig config;
    config.replyDelayMs = 50;
    config.portOpenError = ERROR_ACCESS_DENIED;
    Plug(config);
    EXPECT_EQ(Open(3), INVALID_HANDLE_VALUE);
    serial.FindDevice("\\\\.\\COM3")->FailCall(SerialCall::kCreateFile, 0);
    HANDLE h = Open(3);
    Send(h, {0x76, 0x78, 0x31});
    adapter->Unplug();
    clock.Advance(1000);
    EXPECT_EQ(adapter->State(), EAdapterState::kDetached);
    EXPECT_EQ(disks.FreeNumber(), 0);
    adapter->PlugIn();
    EXPECT_FALSE(Alive(h)) << "a handle from before the power cycle is stale";
    serial.CloseHandle(h);
    h = Open(3);
    EXPECT_TRUE(Read(h, 5).empty()) << "the reply in flight was lost";
    Send(h, {0x76, 0x78, 0x30});
    serial.CloseHandle(h);
    adapter.reset();
    clock.Advance(1000);  // must not reach the destroyed adapter
    EXPECT_EQ(disks.FreeNumber(), 0);
}

}  // namespace
}  // namespace Sim
}  // namespace Tolvane
