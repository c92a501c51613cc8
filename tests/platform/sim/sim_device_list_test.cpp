#include "platform/sim/sim_device_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Tolvane::Sim::CSimDeviceList;
using Ids = std::vector<DWORD>;

constexpr DWORD kAllPresent = DIGCF_PRESENT | DIGCF_ALLCLASSES;

class SimDeviceListTest : public ::testing::Test {
protected:
    HDEVINFO NewSet(DWORD flags = kAllPresent) {
        return list.SetupDiGetClassDevsA(nullptr, nullptr, nullptr, flags);
    }
    // The device ids that a set lists, enumerated as a caller would.
    Ids Enumerate(HDEVINFO set) {
        Ids ids;
        for (DWORD i = 0; list.SetupDiEnumDeviceInfo(set, i, &data); ++i) {
            ids.push_back(data.DevInst);
        }
        return ids;
    }
    BOOL Get(HDEVINFO set, DWORD property, BYTE* buffer, DWORD size, DWORD* required = nullptr,
             DWORD* type = nullptr) {
        return list.SetupDiGetDeviceRegistryPropertyA(set, &data, property, type, buffer, size,
                                                      required);
    }
    DWORD Error() const { return list.GetLastError(); }

    CSimDeviceList list;
    SP_DEVINFO_DATA data{sizeof(SP_DEVINFO_DATA), {}, 0, 0};
};

TEST_F(SimDeviceListTest, ASetIsASnapshotOfPresentDevicesInPlugOrder) {
    const DWORD a = list.AddDevice("{k}\\0001", "A", "", {});
    const DWORD b = list.AddDevice();
    const DWORD c = list.AddDevice();
    ASSERT_TRUE(list.SetPresent(b, false));
    HDEVINFO present = NewSet();
    HDEVINFO all = NewSet(DIGCF_ALLCLASSES);
    const DWORD d = list.AddDevice();  // plugged in after the sets were made
    EXPECT_EQ(Enumerate(all), (Ids{a, b, c}));
    EXPECT_EQ(Enumerate(present), (Ids{a, c}));
    EXPECT_EQ(Error(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));

    // A device removed after the set was made is still listed, but its
    // properties are gone.
    ASSERT_TRUE(list.RemoveDevice(a));
    EXPECT_FALSE(list.RemoveDevice(a));
    ASSERT_TRUE(list.SetupDiEnumDeviceInfo(present, 0, &data));
    BYTE buffer[16];
    EXPECT_FALSE(Get(present, SPDRP_DRIVER, buffer, sizeof buffer));
    EXPECT_EQ(Error(), CSimDeviceList::kErrorNoSuchDevInst);
    HDEVINFO later = NewSet();
    EXPECT_EQ(Enumerate(later), (Ids{c, d}));
    EXPECT_EQ(list.OpenSetCount(), 3u);
    for (HDEVINFO set : {present, all, later}) {
        EXPECT_TRUE(list.SetupDiDestroyDeviceInfoList(set));
    }
    EXPECT_EQ(list.OpenSetCount(), 0u);
    EXPECT_EQ(list.BadDestroyCount(), 0u);
    EXPECT_EQ(list.LastClassDevsFlags(), kAllPresent);
    EXPECT_FALSE(list.LastClassDevsHadGuid());
}

TEST_F(SimDeviceListTest, PropertyReadFollowsTheBufferRules) {
    list.AddDevice("{4d36e978}\\0007", "", "", {"USB\\VID_04D8&PID_E6B2", "USB\\X"});
    HDEVINFO set = NewSet();
    ASSERT_TRUE(list.SetupDiEnumDeviceInfo(set, 0, &data));
    // The driver key with its zero is 16 bytes: 15 is one too few, and the
    // buffer is left untouched.
    BYTE buffer[32];
    std::fill(std::begin(buffer), std::end(buffer), BYTE{0xCC});
    DWORD required = 0;
    DWORD type = 0;
    EXPECT_FALSE(Get(set, SPDRP_DRIVER, buffer, 15, &required));
    EXPECT_EQ(Error(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(required, 16u);
    EXPECT_EQ(buffer[0], 0xCC);
    required = 0;
    ASSERT_TRUE(Get(set, SPDRP_DRIVER, buffer, 16, &required, &type));
    EXPECT_EQ(required, 16u);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 17),
              std::string("{4d36e978}\\0007\0\xCC", 17));
    ASSERT_TRUE(Get(set, SPDRP_HARDWAREID, buffer, sizeof buffer, &required, &type));
    EXPECT_EQ(type, static_cast<DWORD>(REG_MULTI_SZ));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), required),
              std::string("USB\\VID_04D8&PID_E6B2\0USB\\X\0\0", 29));
    // Empty texts given to AddDevice leave the property unset.
    EXPECT_FALSE(Get(set, SPDRP_DEVICEDESC, buffer, sizeof buffer, &required));
    EXPECT_EQ(Error(), CSimDeviceList::kErrorInvalidData);
    EXPECT_TRUE(list.SetupDiDestroyDeviceInfoList(set));
}

// Property and enumeration failures are exercised through the finder's
// tests; these are the refusals that the finder never provokes, there to
// catch it if it ever did.
TEST_F(SimDeviceListTest, RefusesWhatSetupApiRefuses) {
    const DWORD id = list.AddDevice("drv", "", "", {});
    EXPECT_FALSE(list.SetPropertyBytes(id + 1, SPDRP_MFG, {}, REG_SZ));
    HDEVINFO set = NewSet();
    data.cbSize = sizeof data + 4;
    EXPECT_FALSE(list.SetupDiEnumDeviceInfo(set, 0, &data));
    EXPECT_EQ(Error(), CSimDeviceList::kErrorInvalidUserBuffer);
    data.cbSize = sizeof data;
    data.DevInst = id + 1;  // not in the set
    BYTE buffer[8];
    EXPECT_FALSE(Get(set, SPDRP_DRIVER, buffer, sizeof buffer));
    EXPECT_EQ(Error(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    data.DevInst = id;
    EXPECT_FALSE(Get(set, SPDRP_DRIVER, nullptr, 8));
    EXPECT_EQ(Error(), CSimDeviceList::kErrorInvalidUserBuffer);
    EXPECT_TRUE(list.SetupDiDestroyDeviceInfoList(set));
    // A failed SetupDiGetClassDevsA makes no set; the invalid handle it gives
    // lists nothing and cannot be destroyed, and both uses are counted.
    list.FailGetClassDevs(true);
    HDEVINFO none = NewSet();
    EXPECT_EQ(none, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(list.SetupDiEnumDeviceInfo(none, 0, &data));
    EXPECT_FALSE(list.SetupDiDestroyDeviceInfoList(none));
    EXPECT_EQ(list.BadDestroyCount(), 1u);
    EXPECT_EQ(list.UseOfClosedSetCount(), 1u);
    EXPECT_EQ(list.OpenSetCount(), 0u);
}

TEST_F(SimDeviceListTest, AccountsForLeakedDoubleDestroyedAndReusedSets) {
    list.AddDevice("drv", "", "", {});
    HDEVINFO first = NewSet();
    HDEVINFO second = NewSet();
    EXPECT_NE(first, second);
    EXPECT_TRUE(list.SetupDiDestroyDeviceInfoList(first));
    EXPECT_FALSE(list.SetupDiDestroyDeviceInfoList(first));
    EXPECT_EQ(list.BadDestroyCount(), 1u);
    EXPECT_EQ(list.OpenSetCount(), 1u);  // the second one leaked so far

    EXPECT_FALSE(list.SetupDiEnumDeviceInfo(first, 0, &data));
    EXPECT_EQ(Error(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    ASSERT_TRUE(list.SetupDiEnumDeviceInfo(second, 0, &data));
    BYTE buffer[8];
    EXPECT_FALSE(Get(first, SPDRP_DRIVER, buffer, sizeof buffer));
    EXPECT_EQ(list.UseOfClosedSetCount(), 2u);
    EXPECT_EQ(list.Counts().destroyList, 2u);
    EXPECT_TRUE(list.SetupDiDestroyDeviceInfoList(second));
    EXPECT_EQ(list.OpenSetCount(), 0u);
}

}  // namespace
