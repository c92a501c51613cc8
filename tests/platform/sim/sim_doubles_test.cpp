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
using Calls = std::vector<std::pair<std::function<LONG()>, LONG>>;
const HKEY kLm = HKEY_LOCAL_MACHINE;
constexpr LONG kBadPathname = 161;  // ERROR_BAD_PATHNAME
constexpr DWORD kRw = GENERIC_READ | GENERIC_WRITE;

void ExpectResults(const Calls& calls) {
    for (std::size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].first(), calls[i].second) << "call " << i;
    }
}

// --- Registry ---------------------------------------------------------------

class SimRegistryTest : public ::testing::Test {
protected:
    HKEY Open(const std::string& path, REGSAM access = KEY_READ) {
        HKEY key = nullptr;
        EXPECT_EQ(reg.RegOpenKeyExA(kLm, path.c_str(), 0, access, &key), ERROR_SUCCESS) << path;
        return key;
    }
    LONG Create(const char* path, REGSAM access, HKEY* key) {
        return reg.RegCreateKeyExA(kLm, path, 0, nullptr, 0, access, nullptr, key, nullptr);
    }
    LONG Query(HKEY key, const char* name, BYTE* data, DWORD* size) {
        return reg.RegQueryValueExA(key, name, nullptr, nullptr, data, size);
    }
    LONG EnumKey(HKEY key, DWORD index) {
        char name[8];
        DWORD size = sizeof name;
        return reg.RegEnumKeyExA(key, index, name, &size, nullptr, nullptr, nullptr, nullptr);
    }
    CSimRegistry reg;
};

TEST_F(SimRegistryTest, RefusesWhatWindowsRefusesAndCountsBadHandles) {
    reg.SetBinary(kLm, "K", "Bin", {1, 2, 3, 4, 5});
    reg.CreateKey(kLm, "K\\Child\\Grandchild");
    reg.CreateKey(kLm, "K\\Locked");
    reg.DenyAccess(kLm, "K\\Locked", DELETE | KEY_CREATE_SUB_KEY);
    HKEY key = nullptr;
    HKEY queryOnly = Open("K", KEY_QUERY_VALUE);
    HKEY setOnly = Open("K", KEY_SET_VALUE);
    HKEY closed = Open("K");
    reg.RegCloseKey(closed);
    BYTE buffer[8] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
    DWORD size = 4;
    const BYTE one = 1;
    ExpectResults({
        {[&] { return reg.RegOpenKeyExA(kLm, "\\A", 0, KEY_READ, &key); }, kBadPathname},
        {[&] { return Create("A\\\\B", KEY_ALL_ACCESS, &key); }, kBadPathname},
        {[&] { return Create("K\\Locked\\New", KEY_READ, &key); }, ERROR_ACCESS_DENIED},
        {[&] { return reg.RegDeleteKeyA(kLm, "K\\Child"); }, ERROR_ACCESS_DENIED},  // has a child
        {[&] { return reg.RegDeleteKeyA(kLm, "K\\Nope"); }, ERROR_FILE_NOT_FOUND},
        {[&] { return reg.RegDeleteKeyA(kLm, "K\\Locked"); }, ERROR_ACCESS_DENIED},
        {[&] { return reg.RegDeleteKeyA(kLm, ""); }, ERROR_ACCESS_DENIED},
        {[&] { return Query(queryOnly, "Bin", buffer, &size); }, ERROR_MORE_DATA},
        {[&] { return reg.RegSetValueExA(queryOnly, "V", 0, REG_BINARY, &one, 1); },
         ERROR_ACCESS_DENIED},
        {[&] { return Query(setOnly, "Bin", nullptr, &size); }, ERROR_ACCESS_DENIED},
        {[&] { return Query(closed, "Bin", nullptr, &size); }, ERROR_INVALID_HANDLE},
        {[&] { return reg.RegCloseKey(closed); }, ERROR_INVALID_HANDLE},
        {[&] { return reg.RegCloseKey(kLm); }, ERROR_SUCCESS},  // harmless, not counted
    });
    EXPECT_EQ(size, 5u) << "the size needed comes back";
    EXPECT_EQ(buffer[0], 0xEE) << "too small a buffer is left alone";
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(reg.InvalidCloseCount(), 1u);
    EXPECT_EQ(reg.InvalidHandleUseCount(), 1u);
    EXPECT_FALSE(reg.KeyExists(kLm, "A") || reg.KeyExists(kLm, "K\\Locked\\New"));
    EXPECT_FALSE(reg.CreateKey(kLm, "\\") || reg.CreateKey(reinterpret_cast<HKEY>(0x1234), "A"));
    EXPECT_TRUE(reg.CreateKey(kLm, "A\\"));  // one trailing backslash is accepted
    EXPECT_EQ(reg.LeakedKeys(), (Names{"HKEY_LOCAL_MACHINE\\K", "HKEY_LOCAL_MACHINE\\K"}));
    reg.RegCloseKey(queryOnly);
    reg.RegCloseKey(setOnly);
    EXPECT_EQ(reg.OpenKeyCount(), 0u);
}

TEST_F(SimRegistryTest, HandleOfADeletedKeyAnswersKeyDeletedUntilClosed) {
    reg.CreateKey(kLm, "Deep\\L\\L");
    HKEY leaf = Open("Deep\\L\\L");
    EXPECT_TRUE(reg.DeleteTree(kLm, "Deep"));
    EXPECT_EQ(reg.KeyCount(), 0u);
    DWORD size = 0;
    EXPECT_EQ(Query(leaf, "x", nullptr, &size), ERROR_KEY_DELETED);
    EXPECT_EQ(EnumKey(leaf, 0), ERROR_KEY_DELETED);
    EXPECT_EQ(reg.LeakedKeys(), Names{"HKEY_LOCAL_MACHINE\\Deep\\L\\L (deleted)"});
    EXPECT_EQ(reg.RegCloseKey(leaf), ERROR_SUCCESS);
}

TEST_F(SimRegistryTest, InjectedFailuresSkipThenHitTheChosenCallsOnly) {
    for (const char* sub : {"a", "b", "c", "d"}) {
        reg.CreateKey(kLm, std::string("F\\") + sub);
    }
    ASSERT_TRUE(reg.InjectFailure(ERegCall::EnumKey, kLm, "f", ERROR_CANTREAD, 2));
    ASSERT_TRUE(reg.InjectFailure(ERegCall::OpenKey, kLm, "F\\Missing", ERROR_ACCESS_DENIED));
    HKEY key = Open("F");
    std::vector<LONG> results;
    for (DWORD i = 0; i < 5; ++i) {
        results.push_back(EnumKey(key, i));
    }
    EXPECT_EQ(results, (std::vector<LONG>{0, 0, ERROR_CANTREAD, 0, ERROR_NO_MORE_ITEMS}));
    HKEY missing = nullptr;
    EXPECT_EQ(reg.RegOpenKeyExA(kLm, "F\\MISSING", 0, KEY_READ, &missing), ERROR_ACCESS_DENIED);
    EXPECT_EQ(reg.RegOpenKeyExA(kLm, "F\\MISSING", 0, KEY_READ, &missing), ERROR_FILE_NOT_FOUND);
    reg.RegCloseKey(key);
}

TEST_F(SimRegistryTest, ExpandEnvironmentLeavesUnknownNamesAsWritten) {
    char buffer[64];
    reg.SetEnvironment("Tmp", "T");
    EXPECT_EQ(reg.ExpandEnvironmentStringsA("%tmp%%Nope%%%50% %WINDIR", buffer, sizeof buffer),
              21u);
    EXPECT_STREQ(buffer, "T%Nope%%%50% %WINDIR");
    EXPECT_EQ(reg.ExpandEnvironmentStringsA(nullptr, buffer, sizeof buffer), 0u);
    EXPECT_EQ(reg.GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

// --- Device list ----------------------------------------------------------------

TEST(SimDeviceList, RefusesWhatSetupApiRefusesAndCountsMisusedSets) {
    CSimDeviceList list;
    const DWORD gone = list.AddDevice("drv0", "", "", {});
    const DWORD id = list.AddDevice("drv1", "", "", {});
    EXPECT_FALSE(list.SetPropertyBytes(id + 1, SPDRP_MFG, {}, REG_SZ));
    EXPECT_FALSE(list.SetPresent(id + 1, false) || list.FailProperty(id + 1, SPDRP_MFG, 1));
    HDEVINFO set = list.SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_PRESENT);
    ASSERT_TRUE(list.RemoveDevice(gone));  // after the set was made: listed, but gone
    SP_DEVINFO_DATA data{sizeof(SP_DEVINFO_DATA) + 4, {}, 0, 0};
    BYTE buffer[8];
    DWORD type = 0;
    auto get = [&](BYTE* into) {
        return list.SetupDiGetDeviceRegistryPropertyA(set, &data, SPDRP_DRIVER, &type, into, 8,
                                                      nullptr);
    };
    const std::vector<std::pair<std::function<BOOL()>, DWORD>> refused = {
        {[&] { return list.SetupDiEnumDeviceInfo(set, 0, &data); },
         CSimDeviceList::kErrorInvalidUserBuffer},
        {[&] { return (data.cbSize = sizeof data, data.DevInst = gone, get(buffer)); },
         CSimDeviceList::kErrorNoSuchDevInst},
        {[&] { return (data.DevInst = id + 1, get(buffer)); }, ERROR_INVALID_PARAMETER},
        {[&] { return (data.DevInst = id, get(nullptr)); },
         CSimDeviceList::kErrorInvalidUserBuffer},
        {[&] {
             return !list.SetupDiDestroyDeviceInfoList(set) ||
                    list.SetupDiDestroyDeviceInfoList(set);
         },
         ERROR_INVALID_HANDLE},
        {[&] { return list.SetupDiEnumDeviceInfo(set, 0, &data); }, ERROR_INVALID_HANDLE},
        {[&] { return get(buffer); }, ERROR_INVALID_HANDLE},
    };
    for (std::size_t i = 0; i < refused.size(); ++i) {
        EXPECT_FALSE(refused[i].first()) << i;
        EXPECT_EQ(list.GetLastError(), refused[i].second) << i;
    }
    EXPECT_EQ(list.BadDestroyCount(), 1u);
    EXPECT_EQ(list.UseOfClosedSetCount(), 2u);
    set = list.SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_PRESENT);
    ASSERT_TRUE(list.SetupDiEnumDeviceInfo(set, 0, &data));
    ASSERT_TRUE(get(buffer));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_TRUE(list.SetupDiDestroyDeviceInfoList(set));
    EXPECT_EQ(list.OpenSetCount(), 0u);
}

// --- Serial devices ---------------------------------------------------------------

TEST(SimSerial, OpensExclusivelyCountsBadHandlesAndStrandsHandlesOfAVanishedDevice) {
    CVirtualClock clock;
    CSimSerial sim{clock};
    CSimSerialDevice& com3 = sim.AddDevice("\\\\.\\COM3");
    auto open = [&](const char* path) {
        return sim.CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                               nullptr);
    };
    DWORD status = 0;
    HANDLE stale = open("\\\\.\\com3");  // device names ignore case
    ASSERT_NE(stale, INVALID_HANDLE_VALUE);
    EXPECT_EQ(open("\\\\.\\COM3"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(sim.GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(open(nullptr), INVALID_HANDLE_VALUE);
    com3.SetPresent(false);
    com3.SetPresent(true);
    HANDLE fresh = open("\\\\.\\COM3");  // the stale handle does not hold the device
    EXPECT_TRUE(sim.GetCommModemStatus(fresh, &status));
    EXPECT_FALSE(sim.GetCommModemStatus(stale, &status));
    EXPECT_EQ(sim.GetLastError(), CSimSerialDevice::kVanishedError);
    EXPECT_TRUE(sim.CloseHandle(stale) && sim.CloseHandle(fresh));
    EXPECT_FALSE(sim.CloseHandle(fresh));
    EXPECT_FALSE(sim.GetCommModemStatus(fresh, &status));
    EXPECT_FALSE(sim.CloseHandle(INVALID_HANDLE_VALUE));
    EXPECT_EQ(sim.BadHandleCount(), 3u);
    EXPECT_EQ(sim.OpenHandleCount(), 0u);
}

// --- Physical drives ----------------------------------------------------------------

TEST(SimDisks, RefusesBadOpensAndRequestsAndSeesADiskThatWasWritten) {
    CVirtualClock clock;
    CSimDisks disks{clock};
    disks.Attach(0, std::vector<std::uint8_t>(64, 0x11));
    disks.Attach(1, std::vector<std::uint8_t>(64, 0x22));
    auto open = [&](const char* path, DWORD access = kRw, DWORD share = 3,
                    DWORD creation = OPEN_EXISTING) {
        return disks.CreateFileA(path, access, share, nullptr, creation, 0, nullptr);
    };
    const std::vector<std::pair<std::function<HANDLE()>, DWORD>> refusedOpens = {
        {[&] { return open("\\\\.\\PhysicalDrive"); }, ERROR_FILE_NOT_FOUND},
        {[&] { return open("\\\\.\\PhysicalDrive0x"); }, ERROR_FILE_NOT_FOUND},
        {[&] { return open("\\\\.\\PhysicalDrive99999999999"); }, ERROR_FILE_NOT_FOUND},
        {[&] { return open("\\\\.\\PhysicalDrive0", kRw, 3, OPEN_ALWAYS); },
         ERROR_INVALID_PARAMETER},
        {[&] { return open("\\\\.\\PhysicalDrive0", kRw, FILE_SHARE_READ); },
         ERROR_SHARING_VIOLATION},
    };
    for (const auto& [call, error] : refusedOpens) {
        EXPECT_EQ(call(), INVALID_HANDLE_VALUE);
        EXPECT_EQ(disks.LastError(), static_cast<DWORD>(error));
    }
    HANDLE readOnly = open("\\\\.\\PhysicalDrive0", GENERIC_READ);
    HANDLE drive0 = open("\\\\.\\PhysicalDrive0");
    HANDLE drive1 = open("\\\\.\\PhysicalDrive1");
    const PassThroughLayout layout = PassThroughLayout::Native();
    std::vector<std::uint8_t> record = BuildReturnCommandRecord(layout);
    const DWORD size = static_cast<DWORD>(record.size());
    auto send = [&](HANDLE h, DWORD code, DWORD inSize) {
        DWORD n = 0;
        const BOOL ok =
            disks.DeviceIoControl(h, code, record.data(), inSize, record.data(), size, &n, nullptr);
        return ok ? 0 : disks.LastError();
    };
    disks.Detach(1);
    EXPECT_EQ(send(reinterpret_cast<HANDLE>(0x77), ZRK::kIoctlScsiPassThroughDirect, size),
              static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(send(drive1, ZRK::kIoctlScsiPassThroughDirect, size),
              static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
    EXPECT_EQ(send(drive0, 0x2D1400, size), static_cast<DWORD>(ERROR_INVALID_FUNCTION));
    EXPECT_EQ(send(readOnly, ZRK::kIoctlScsiPassThroughDirect, size),
              static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(send(drive0, ZRK::kIoctlScsiPassThroughDirect, 8),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(disks.Commands().empty());
    EXPECT_TRUE(disks.ChangedDrives().empty());
    // A data-out request really writes, so that "no disk was written" can fail.
    std::uint8_t data[4] = {1, 2, 3, 4};
    record[layout.offDataIn] = kScsiIoctlDataOut;
    record[layout.offDataTransferLength] = sizeof data;
    const auto address = reinterpret_cast<std::uintptr_t>(data);
    std::memcpy(&record[layout.offDataBuffer], &address, sizeof address);
    EXPECT_EQ(send(drive0, ZRK::kIoctlScsiPassThroughDirect, size), 0u);
    EXPECT_EQ(disks.ChangedDrives(), std::vector<int>{0});
    for (HANDLE h : {readOnly, drive0, drive1}) {
        EXPECT_TRUE(disks.CloseHandle(h));
    }
    EXPECT_FALSE(disks.CloseHandle(drive0));
    EXPECT_EQ(disks.BadCloses(), 1u);
    EXPECT_EQ(disks.Opens().size(), 8u);
}

}  // namespace
}  // namespace Sim
}  // namespace Tolvane
