#include "platform/sim/virtual_adapter.h"

#include <gtest/gtest.h>

#include <memory>
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
    AdapterConfig odd;
    odd.firmwareReply = std::string("v0\0.4xyz", 8);
    AdapterConfig silent;
    silent.firmwareReply.clear();
    const struct {
        AdapterConfig config;
        WORD port;
        Bytes reply;
        Bytes rest;
    } cases[] = {{{}, 3, {'v', '0', '.', '4', '0'}, {}},
                 {{}, 4, {'v', '0', '.', '4', '0'}, {}},
                 {odd, 3, {'v', '0', 0, '.', '4'}, {'x', 'y', 'z'}},  // the rest waits unread
                 {silent, 3, {}, {}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.port);
        Plug(c.config);
        HANDLE h = Open(c.port);
        Send(h, {0x76});
        EXPECT_TRUE(Read(h, 5).empty());
        clock.Advance(c.config.replyDelayMs);
        EXPECT_EQ(Read(h, 5), c.reply);
        EXPECT_EQ(Read(h, 9), c.rest);
        serial.CloseHandle(h);
    }
}

TEST_F(AdapterTest, LeavesTheBusOnlyAfterTheDelayAndShowsTheTarget) {
    const struct {
        std::uint8_t targetByte;
        int target;
        bool writable;
    } cases[] = {{0x30, 0, false}, {0x36, 6, false}, {0xB0, 0, true}, {0xB6, 6, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.targetByte));
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
}

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
    AdapterConfig config;
    config.returnDelayMs = 2400;
    Plug(config);
    SwitchTo(0x32);
    Bytes nearly = kReturnCdb;
    nearly[15] = 1;
    for (const Bytes& other : {nearly, Bytes(kReturnCdb.begin(), kReturnCdb.begin() + 12)}) {
        EXPECT_TRUE(Cdb(0, other));
        EXPECT_EQ(adapter->State(), EAdapterState::kMassStorage);
    }
    EXPECT_TRUE(Cdb(0, kReturnCdb));
    EXPECT_EQ(disks.Drive(0), nullptr);
    clock.Advance(2399);
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

// That the device list follows the bus is seen through the finder in the
// virtual PC's tests.
TEST_F(AdapterTest, RegistryEntriesStayWhenTheAdapterLeavesTheBus) {
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
