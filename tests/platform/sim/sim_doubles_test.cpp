// What the in-memory doubles do that the product's own tests never make them
// do: refusals, the Windows size and error protocols, and the accounting that
// every "nothing left open" check of those tests relies on.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "modes/pass_through.h"
#include "platform/sim/sim_device_list.h"
#include "platform/sim/sim_disks.h"
#include "platform/sim/sim_registry.h"
#include "platform/sim/sim_serial.h"

namespace Tolvane {
namespace Sim {
namespace {

using Names = std::vector<std::string>;
const HKEY kLm = HKEY_LOCAL_MACHINE;
constexpr DWORD kRw = GENERIC_READ | GENERIC_WRITE;

void ExpectCodes(const std::vector<std::pair<std::function<LONG()>, LONG>>& calls) {
    for (std::size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].first(), calls[i].second) << "call " << i;
    }
}

// Each call in turn is refused, with the code as the last error.
template <typename R>
void ExpectRefusals(R refused, const std::function<DWORD()>& lastError,
                    const std::vector<std::pair<std::function<R()>, DWORD>>& calls) {
    for (std::size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].first(), refused) << "call " << i;
        EXPECT_EQ(lastError(), calls[i].second) << "call " << i;
    }
}

TEST(SimRegistry, RefusesWhatWindowsRefusesCountsBadHandlesAndKeepsUnknownVariables) {
    CSimRegistry reg;
    reg.SetBinary(kLm, "K", "Bin", {1, 2, 3, 4, 5});
    reg.CreateKey(kLm, "K\\Child\\Grandchild");
    reg.CreateKey(kLm, "K\\Locked");
    reg.DenyAccess(kLm, "K\\Locked", DELETE | KEY_CREATE_SUB_KEY);
    HKEY key = nullptr, queryOnly = nullptr, setOnly = nullptr, closed = nullptr;
    reg.RegOpenKeyExA(kLm, "K", 0, KEY_QUERY_VALUE, &queryOnly);
    reg.RegOpenKeyExA(kLm, "K", 0, KEY_SET_VALUE, &setOnly);
    reg.RegOpenKeyExA(kLm, "K", 0, KEY_READ, &closed);
    reg.RegCloseKey(closed);
    BYTE buffer[8] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
    DWORD size = 4;
    auto query = [&](HKEY k, BYTE* data) {
        return reg.RegQueryValueExA(k, "Bin", 0, 0, data, &size);
    };
    auto create = [&](const char* path) {
        return reg.RegCreateKeyExA(kLm, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, 0);
    };
    ExpectCodes({
        {[&] { return create("A\\\\B"); }, 161},  // ERROR_BAD_PATHNAME
        {[&] { return create("K\\Locked\\New"); }, ERROR_ACCESS_DENIED},
        {[&] { return reg.RegDeleteKeyA(kLm, "K\\Child"); }, ERROR_ACCESS_DENIED},  // has a child
        {[&] { return reg.RegDeleteKeyA(kLm, "K\\Nope"); }, ERROR_FILE_NOT_FOUND},
        {[&] { return reg.RegDeleteKeyA(kLm, "K\\Locked"); }, ERROR_ACCESS_DENIED},
        {[&] { return reg.RegDeleteKeyA(kLm, ""); }, ERROR_ACCESS_DENIED},
        {[&] { return query(queryOnly, buffer); }, ERROR_MORE_DATA},
        {[&] { return reg.RegSetValueExA(queryOnly, "V", 0, REG_BINARY, buffer, 1); },
         ERROR_ACCESS_DENIED},
        {[&] { return query(setOnly, nullptr); }, ERROR_ACCESS_DENIED},
        {[&] { return query(closed, nullptr); }, ERROR_INVALID_HANDLE},
        {[&] { return reg.RegCloseKey(closed); }, ERROR_INVALID_HANDLE},
        {[&] { return reg.RegCloseKey(kLm); }, ERROR_SUCCESS},  // harmless, not counted
    });
    EXPECT_EQ(size, 5u) << "the size needed comes back";
    EXPECT_EQ(buffer[0], 0xEE) << "too small a buffer is left alone";
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(reg.InvalidCloseCount() + reg.InvalidHandleUseCount(), 2u);
    reg.RegCloseKey(queryOnly);
    reg.RegCloseKey(setOnly);
    // A handle outlives its deleted key; every call through it says so.
    reg.RegOpenKeyExA(kLm, "K\\Child\\Grandchild", 0, KEY_READ, &key);
    EXPECT_TRUE(reg.DeleteTree(kLm, "K"));
    EXPECT_EQ(reg.KeyCount(), 0u);
    char name[8];
    DWORD nameSize = sizeof name;
    EXPECT_EQ(query(key, nullptr), ERROR_KEY_DELETED);
    EXPECT_EQ(reg.RegEnumKeyExA(key, 0, name, &nameSize, 0, 0, 0, 0), ERROR_KEY_DELETED);
    EXPECT_EQ(reg.LeakedKeys(), Names{"HKEY_LOCAL_MACHINE\\K\\Child\\Grandchild (deleted)"});
    EXPECT_EQ(reg.RegCloseKey(key), ERROR_SUCCESS);
    // Unknown variables stay as written.
    char text[64];
    reg.SetEnvironment("Tmp", "T");
    EXPECT_EQ(reg.ExpandEnvironmentStringsA("%tmp%%Nope%%%50% %WINDIR", text, 64), 21u);
    EXPECT_STREQ(text, "T%Nope%%%50% %WINDIR");
    EXPECT_EQ(reg.ExpandEnvironmentStringsA(nullptr, text, 64), 0u);
    EXPECT_EQ(reg.GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

// A device may leave between the listing and the reading of its properties.
TEST(SimDeviceList, ListsASnapshotAndCountsMisusedSets) {
    CSimDeviceList list;
    const DWORD gone = list.AddDevice("drv0", "", "", {});
    const DWORD id = list.AddDevice("drv1", "", "", {});
    HDEVINFO set = list.SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_PRESENT);
    ASSERT_TRUE(list.RemoveDevice(gone));
    SP_DEVINFO_DATA data{sizeof(SP_DEVINFO_DATA), {}, 0, 0};
    BYTE buffer[8];
    DWORD type = 0;
    auto get = [&](DWORD device) {
        data.DevInst = device;
        return list.SetupDiGetDeviceRegistryPropertyA(set, &data, SPDRP_DRIVER, &type, buffer, 8,
                                                      0);
    };
    ASSERT_TRUE(list.SetupDiEnumDeviceInfo(set, 1, &data) && get(id));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    ExpectRefusals<BOOL>(
        FALSE, [&] { return list.GetLastError(); },
        {{[&] { return get(gone); }, CSimDeviceList::kErrorNoSuchDevInst},
         {[&] {
              return list.SetupDiDestroyDeviceInfoList(set) &&
                     list.SetupDiDestroyDeviceInfoList(set);
          },
          ERROR_INVALID_HANDLE},
         {[&] { return list.SetupDiEnumDeviceInfo(set, 0, &data); }, ERROR_INVALID_HANDLE},
         {[&] { return get(id); }, ERROR_INVALID_HANDLE}});
    EXPECT_EQ(list.BadDestroyCount() + list.UseOfClosedSetCount(), 3u);
    EXPECT_EQ(list.OpenSetCount(), 0u);
}

TEST(SimSerial, OpensExclusivelyCountsBadHandlesAndStrandsHandlesOfAVanishedDevice) {
    CVirtualClock clock;
    CSimSerial sim{clock};
    CSimSerialDevice& com3 = sim.AddDevice("\\\\.\\COM3");
    auto open = [&](const char* path) { return sim.CreateFileA(path, kRw, 0, 0, 3, 0, 0); };
    DWORD status = 0;
    HANDLE stale = open("\\\\.\\com3");  // device names ignore case
    ExpectRefusals<HANDLE>(INVALID_HANDLE_VALUE, [&] { return sim.GetLastError(); },
                           {{[&] { return open("\\\\.\\COM3"); }, ERROR_ACCESS_DENIED}});
    com3.SetPresent(false);
    com3.SetPresent(true);
    HANDLE fresh = open("\\\\.\\COM3");  // the stale handle does not hold the device
    EXPECT_TRUE(sim.GetCommModemStatus(fresh, &status));
    EXPECT_FALSE(sim.GetCommModemStatus(stale, &status));
    EXPECT_EQ(sim.GetLastError(), CSimSerialDevice::kVanishedError);
    EXPECT_TRUE(sim.CloseHandle(stale) && sim.CloseHandle(fresh));
    EXPECT_FALSE(sim.CloseHandle(fresh) || sim.GetCommModemStatus(fresh, &status) ||
                 sim.CloseHandle(INVALID_HANDLE_VALUE));
    EXPECT_EQ(sim.BadHandleCount(), 3u);
}

// Drives are held by the system, a pass-through needs reading and writing,
// and a drive may be pulled between the open and the request.
TEST(SimDisks, RefusesWhatWindowsRefusesAndSeesADiskThatWasWritten) {
    CVirtualClock clock;
    CSimDisks disks{clock};
    disks.Attach(0, std::vector<std::uint8_t>(64, 0x11));
    disks.Attach(1, std::vector<std::uint8_t>(64, 0x22));
    auto open = [&](int n, DWORD access, DWORD share = 3) {
        const std::string path = "\\\\.\\PhysicalDrive" + std::to_string(n);
        return disks.CreateFileA(path.c_str(), access, share, nullptr, OPEN_EXISTING, 0, nullptr);
    };
    HANDLE readOnly = open(0, GENERIC_READ), drive0 = open(0, kRw), drive1 = open(1, kRw);
    disks.Detach(1);
    const PassThroughLayout layout = PassThroughLayout::Native();
    std::vector<std::uint8_t> record = BuildReturnCommandRecord(layout);
    auto send = [&](HANDLE h) {
        DWORD n = 0;
        const DWORD size = static_cast<DWORD>(record.size());
        return disks.DeviceIoControl(h, ZRK::kIoctlScsiPassThroughDirect, record.data(), size,
                                     record.data(), size, &n, nullptr);
    };
    EXPECT_EQ(open(0, kRw, FILE_SHARE_READ), INVALID_HANDLE_VALUE);
    EXPECT_EQ(disks.LastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    ExpectRefusals<BOOL>(FALSE, [&] { return disks.LastError(); },
                         {{[&] { return send(readOnly); }, ERROR_ACCESS_DENIED},
                          {[&] { return send(drive1); }, ERROR_DEVICE_NOT_CONNECTED}});
    EXPECT_TRUE(disks.Commands().empty() && disks.ChangedDrives().empty());
    // A data-out request really writes, so that "no disk was written" can fail.
    std::uint8_t data[4] = {1, 2, 3, 4};
    record[layout.offDataIn] = kScsiIoctlDataOut;
    record[layout.offDataTransferLength] = sizeof data;
    const auto address = reinterpret_cast<std::uintptr_t>(data);
    std::memcpy(&record[layout.offDataBuffer], &address, sizeof address);
    EXPECT_TRUE(send(drive0));
    EXPECT_EQ(disks.ChangedDrives(), std::vector<int>{0});
    EXPECT_TRUE(disks.CloseHandle(readOnly) && disks.CloseHandle(drive0) &&
                disks.CloseHandle(drive1));
    EXPECT_FALSE(disks.CloseHandle(drive0));
    EXPECT_EQ(disks.BadCloses(), 1u);
}

}  // namespace
}  // namespace Sim
}  // namespace Tolvane
