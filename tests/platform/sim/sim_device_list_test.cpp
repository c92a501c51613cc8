#include "platform/sim/sim_device_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Tolvane::Sim::CSimDeviceList;

constexpr DWORD kAllPresent = DIGCF_PRESENT | DIGCF_ALLCLASSES;

SP_DEVINFO_DATA NewDeviceData() {
    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof data;
    return data;
}

// The device ids that a set lists, enumerated as a caller would.
std::vector<DWORD> Enumerate(CSimDeviceList& list, HDEVINFO set) {
    std::vector<DWORD> ids;
    SP_DEVINFO_DATA data = NewDeviceData();
    for (DWORD i = 0; list.SetupDiEnumDeviceInfo(set, i, &data); ++i) {
        ids.push_back(data.DevInst);
    }
    return ids;
}

TEST(SimDeviceList, SetIsASnapshotOfPresentDevicesInPlugOrder) {
    CSimDeviceList list;
    const DWORD a = list.AddDevice("{k}\\0001", "A", "", {});
    const DWORD b = list.AddDevice();
    const DWORD c = list.AddDevice();
    ASSERT_TRUE(list.SetPresent(b, false));

    HDEVINFO present = list.SetupDiGetClassDevsA(nullptr, nullptr, nullptr, kAllPresent);
    HDEVINFO all = list.SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES);
    const DWORD d = list.AddDevice();  // plugged in after the sets were made

    EXPECT_EQ(Enumerate(list, present), (std::vector<DWORD>{a, c}));
    EXPECT_EQ(list.GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
    EXPECT_EQ(Enumerate(list, all), (std::vector<DWORD>{a, b, c}));

    // A device removed after the set was made is still listed, but its
    // properties are gone.
    ASSERT_TRUE(list.RemoveDevice(a));
    EXPECT_FALSE(list.RemoveDevice(a));
    SP_DEVINFO_DATA data = NewDeviceData();
    ASSERT_TRUE(list.SetupDiEnumDeviceInfo(present, 0, &data));
    BYTE buffer[16];
    EXPECT_FALSE(list.SetupDiGetDeviceRegistryPropertyA(present, &data, SPDRP_DRIVER, nullptr,
                                                        buffer, sizeof buffer, nullptr));
    EXPECT_EQ(list.GetLastError(), CSimDeviceList::kErrorNoSuchDevInst);

    HDEVINFO later = list.SetupDiGetClassDevsA(nullptr, nullptr, nullptr, kAllPresent);
    EXPECT_EQ(Enumerate(list, later), (std::vector<DWORD>{c, d}));

    EXPECT_EQ(list.OpenSetCount(), 3u);
    EXPECT_TRUE(list.SetupDiDestroyDeviceInfoList(present));
    EXPECT_TRUE(list.SetupDiDestroyDeviceInfoList(all));
    EXPECT_TRUE(list.SetupDiDestroyDeviceInfoList(later));
    EXPECT_EQ(list.OpenSetCount(), 0u);
    EXPECT_EQ(list.BadDestroyCount(), 0u);
    EXPECT_EQ(list.LastClassDevsFlags(), kAllPresent);
    EXPECT_FALSE(list.LastClassDevsHadGuid());
}

TEST(SimDeviceList, PropertyReadFollowsTheBufferRules) {
    CSimDeviceList list;
    const DWORD id =
        list.AddDevice("{4d36e978}\\0007", "", "", {"USB\\VID_04D8&PID_E6B2", "USB\\X"});
    HDEVINFO set = list.SetupDiGetClassDevsA(nullptr, nullptr, nullptr, kAllPresent);
    SP_DEVINFO_DATA data = NewDeviceData();
    ASSERT_TRUE(list.SetupDiEnumDeviceInfo(set, 0, &data));
    ASSERT_EQ(data.DevInst, id);

    // The driver key with its zero is 16 bytes: 15 is one too few, and the
    // buffer is left untouched.
    BYTE buffer[32];
    std::fill(std::begin(buffer), std::end(buffer), BYTE{0xCC});
    DWORD required = 0;
    DWORD type = 0;
    EXPECT_FALSE(list.SetupDiGetDeviceRegistryPropertyA(set, &data, SPDRP_DRIVER, &type, buffer, 15,
                                                        &required));
    EXPECT_EQ(list.GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(required, 16u);
    EXPECT_EQ(buffer[0], 0xCC);
    EXPECT_FALSE(list.SetupDiGetDeviceRegistryPropertyA(set, &data, SPDRP_DRIVER, nullptr, nullptr,
                                                        0, &required));
    EXPECT_EQ(list.GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(required, 16u);

    required = 0;
    ASSERT_TRUE(list.SetupDiGetDeviceRegistryPropertyA(set, &data, SPDRP_DRIVER, &type, buffer, 16,
                                                       &required));
    EXPECT_EQ(required, 16u);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 16),
              std::string("{4d36e978}\\0007\0", 16));
    EXPECT_EQ(buffer[16], 0xCC);

    const std::string multi("USB\\VID_04D8&PID_E6B2\0USB\\X\0\0", 29);
    ASSERT_TRUE(list.SetupDiGetDeviceRegistryPropertyA(set, &data, SPDRP_HARDWAREID, &type, buffer,
                                                       sizeof buffer, &required));
    EXPECT_EQ(type, static_cast<DWORD>(REG_MULTI_SZ));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), required), multi);

    // Unset description, and empty texts given to AddDevice leave it unset.
    EXPECT_FALSE(list.SetupDiGetDeviceRegistryPropertyA(set, &data, SPDRP_DEVICEDESC, nullptr,
                                                        buffer, sizeof buffer, &required));
    EXPECT_EQ(list.GetLastError(), CSimDeviceList::kErrorInvalidData);

    // A buffer pointer of null with a non-zero size is refused.
    EXPECT_FALSE(list.SetupDiGetDeviceRegistryPropertyA(set, &data, SPDRP_DRIVER, nullptr, nullptr,
                                                        8, &required));
    EXPECT_EQ(list.GetLastError(), CSimDeviceList::kErrorInvalidUserBuffer);
    EXPECT_TRUE(list.SetupDiDestroyDeviceInfoList(set));
}

// Property and enumeration failures are exercised through the finder's
// tests; these are the refusals that the finder never provokes.
TEST(SimDeviceList, RefusesWhatSetupApiRefuses) {
    CSimDeviceList list;
    const DWORD id = list.AddDevice("drv", "", "", {});
    EXPECT_FALSE(list.SetPropertyBytes(id + 1, SPDRP_MFG, {}, REG_SZ));
    HDEVINFO set = list.SetupDiGetClassDevsA(nullptr, nullptr, nullptr, kAllPresent);

    // A device record with the wrong size, and one naming a device that is
    // not in the set.
    SP_DEVINFO_DATA data = NewDeviceData();
    data.cbSize = sizeof data + 4;
    EXPECT_FALSE(list.SetupDiEnumDeviceInfo(set, 0, &data));
    EXPECT_EQ(list.GetLastError(), CSimDeviceList::kErrorInvalidUserBuffer);
    data = NewDeviceData();
    data.DevInst = id + 1;
    BYTE buffer[8];
    EXPECT_FALSE(list.SetupDiGetDeviceRegistryPropertyA(set, &data, SPDRP_DRIVER, nullptr, buffer,
                                                        sizeof buffer, nullptr));
    EXPECT_EQ(list.GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(list.SetupDiDestroyDeviceInfoList(set));

    // A failed SetupDiGetClassDevsA makes no set; the invalid handle it gives
    // lists nothing and cannot be destroyed, and both uses are counted.
    list.FailGetClassDevs(true);
    HDEVINFO none = list.SetupDiGetClassDevsA(nullptr, nullptr, nullptr, kAllPresent);
    EXPECT_EQ(none, INVALID_HANDLE_VALUE);
    EXPECT_EQ(list.OpenSetCount(), 0u);
    EXPECT_TRUE(Enumerate(list, none).empty());
    EXPECT_FALSE(list.SetupDiDestroyDeviceInfoList(none));
    EXPECT_EQ(list.BadDestroyCount(), 1u);
    EXPECT_EQ(list.UseOfClosedSetCount(), 1u);
}

TEST(SimDeviceList, AccountsForLeakedDoubleDestroyedAndReusedSets) {
    CSimDeviceList list;
    list.AddDevice("drv", "", "", {});
    HDEVINFO first = list.SetupDiGetClassDevsA(nullptr, nullptr, nullptr, kAllPresent);
    HDEVINFO second = list.SetupDiGetClassDevsA(nullptr, nullptr, nullptr, kAllPresent);
    EXPECT_NE(first, second);
    EXPECT_EQ(list.OpenSetCount(), 2u);

    EXPECT_TRUE(list.SetupDiDestroyDeviceInfoList(first));
    EXPECT_FALSE(list.SetupDiDestroyDeviceInfoList(first));
    EXPECT_EQ(list.BadDestroyCount(), 1u);
    EXPECT_EQ(list.OpenSetCount(), 1u);  // the second one leaked so far

    SP_DEVINFO_DATA data = NewDeviceData();
    EXPECT_FALSE(list.SetupDiEnumDeviceInfo(first, 0, &data));
    EXPECT_EQ(list.GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    ASSERT_TRUE(list.SetupDiEnumDeviceInfo(second, 0, &data));
    BYTE buffer[8];
    EXPECT_FALSE(list.SetupDiGetDeviceRegistryPropertyA(first, &data, SPDRP_DRIVER, nullptr, buffer,
                                                        sizeof buffer, nullptr));
    EXPECT_EQ(list.UseOfClosedSetCount(), 2u);

    const CSimDeviceList::CCallCounts& counts = list.Counts();
    EXPECT_EQ(counts.getClassDevs, 2u);
    EXPECT_EQ(counts.enumDeviceInfo, 2u);
    EXPECT_EQ(counts.getProperty, 1u);
    EXPECT_EQ(counts.destroyList, 2u);
    list.ResetCounts();
    EXPECT_EQ(list.Counts().destroyList, 0u);
    EXPECT_TRUE(list.SetupDiDestroyDeviceInfoList(second));
    EXPECT_EQ(list.OpenSetCount(), 0u);
}

}  // namespace
