// The finder against the in-memory registry and device list: what ends up
// in the port list, and what may not (devices that are gone, keys of the
// wrong shape, damaged properties), with every key and device set released
// after each scenario.
#include "discovery/com_port_finder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sim/sim_device_list.h"
#include "platform/sim/sim_registry.h"

namespace {

using Tolvane::Sim::CSimDeviceList;
using Tolvane::Sim::CSimRegistry;
using Tolvane::Sim::ERegCall;
using ZRK::CComPortFinder;
using ZRK::CComPortInfo;
using ZRK::CSharedArray;

const std::string kEnum = "SYSTEM\\CurrentControlSet\\Enum";
const char kAdapterId[] = "USB\\VID_04D8&PID_E6B2&MI_00";
constexpr WORD kVid = 0x04D8;
constexpr WORD kPid = 0xE6B2;

std::vector<WORD> ToVector(const CSharedArray<WORD>& a) {
    std::vector<WORD> v;
    for (std::uint32_t i = 0; i < a.GetSize(); ++i) {
        v.push_back(a.At(i));
    }
    return v;
}

class ComPortFinderTest : public ::testing::Test {
protected:
    void TearDown() override {
        EXPECT_EQ(m_registry.OpenKeyCount(), 0u) << "a registry key was left open";
        EXPECT_EQ(m_registry.InvalidCloseCount(), 0u);
        EXPECT_EQ(m_registry.InvalidHandleUseCount(), 0u);
        EXPECT_EQ(m_devices.OpenSetCount(), 0u) << "a device set was left open";
        EXPECT_EQ(m_devices.BadDestroyCount(), 0u);
        EXPECT_EQ(m_devices.UseOfClosedSetCount(), 0u);
    }

    // A device instance below Enum with its "Driver" value and a "Device
    // Parameters" key holding the port name.
    void AddPortInstance(const std::string& instance, const std::string& portName,
                         const std::string& driver) {
        ASSERT_TRUE(
            m_registry.SetString(HKEY_LOCAL_MACHINE, kEnum + "\\" + instance, "Driver", driver));
        ASSERT_TRUE(m_registry.SetString(HKEY_LOCAL_MACHINE,
                                         kEnum + "\\" + instance + "\\Device Parameters",
                                         "PortName", portName));
    }
    // Registry instance and present device in one go.
    CSimDeviceList::DeviceId AddPort(const std::string& instance, const std::string& portName,
                                     const std::string& driver,
                                     const std::vector<std::string>& hardwareIds) {
        AddPortInstance(instance, portName, driver);
        return m_devices.AddDevice(driver, "Serial " + portName, "Maker", hardwareIds);
    }
    std::vector<WORD> Find(WORD vid = kVid, WORD pid = kPid) {
        return ToVector(ZRK::FindUsbComPorts(m_apis, vid, pid));
    }
    // The finder on its own over the Enum section, for its two lists.
    CSharedArray<CComPortInfo> Collect(CComPortFinder& finder) {
        ZRK::CRegistryAccessor accessor(m_registry, HKEY_LOCAL_MACHINE,
                                        KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS);
        return finder.Collect(ZRK::CSection(&accessor, kEnum.c_str()));
    }

    CSimRegistry m_registry;
    CSimDeviceList m_devices;
    ZRK::CDiscoveryApis m_apis{m_registry, m_devices};
};

// --- Joining the registry with the present devices ---------------------------

TEST_F(ComPortFinderTest, PortsComeInAscendingOrderWithTheirDeviceDetails) {
    AddPort("USB\\VID_04D8&PID_E6B2&MI_00\\6&1", "COM7", "{4d36e978}\\0007",
            {"USB\\VID_04D8&PID_E6B2&REV_0100&MI_00", "USB\\VID_04D8&PID_E6B2&MI_00"});
    AddPort("USB\\VID_04D8&PID_E6B2&MI_02\\6&2", "COM5", "{4d36e978}\\0005", {kAdapterId});
    AddPort("ACPI\\PNP0501\\1", "COM1", "{4d36e978}\\0001", {"ACPI\\PNP0501", "*PNP0501"});

    EXPECT_EQ(Find(), (std::vector<WORD>{5, 7}));

    const CSharedArray<CComPortInfo> all = ZRK::EnumComPorts(m_apis);
    ASSERT_EQ(all.GetSize(), 3u);
    EXPECT_EQ(all.At(0).m_wPort, 1);
    EXPECT_EQ(all.At(0).m_wVendorId, 0);
    EXPECT_EQ(all.At(0).m_wProductId, 0);
    EXPECT_EQ(all.At(1).m_wPort, 5);
    EXPECT_STREQ(all.At(1).m_strDescription, "Serial COM5");
    EXPECT_STREQ(all.At(1).m_strManufacturer, "Maker");
    EXPECT_EQ(all.At(2).m_wPort, 7);
    EXPECT_EQ(all.At(2).m_wVendorId, kVid);
    EXPECT_EQ(all.At(2).m_wProductId, kPid);

    EXPECT_EQ(m_devices.LastClassDevsFlags(), static_cast<DWORD>(DIGCF_PRESENT | DIGCF_ALLCLASSES));
    EXPECT_FALSE(m_devices.LastClassDevsHadGuid());
    EXPECT_FALSE(m_devices.LastClassDevsHadEnumerator());
}

TEST_F(ComPortFinderTest, OnlyDevicesInBothTheRegistryAndThePresentListCount) {
    AddPort("USB\\A\\1", "COM3", "{c}\\0003", {kAdapterId});
    // Known to the registry, unplugged.
    const auto unplugged = AddPort("USB\\A\\2", "COM4", "{c}\\0004", {kAdapterId});
    ASSERT_TRUE(m_devices.SetPresent(unplugged, false));
    // Present with the right IDs, but no port in the registry for its driver.
    m_devices.AddDevice("{c}\\0009", "Stray", "", {kAdapterId});
    // The registry has an instance whose driver key differs in letter case
    // from the device's: the join is case-sensitive.
    AddPortInstance("USB\\A\\3", "COM6", "{C}\\0006");
    m_devices.AddDevice("{c}\\0006", "", "", {kAdapterId});

    EXPECT_EQ(Find(), (std::vector<WORD>{3}));

    // The virtual PC plugs the interface back in: the next call sees it.
    ASSERT_TRUE(m_devices.SetPresent(unplugged, true));
    EXPECT_EQ(Find(), (std::vector<WORD>{3, 4}));
    ASSERT_TRUE(m_devices.RemoveDevice(unplugged));
    EXPECT_EQ(Find(), (std::vector<WORD>{3}));
}

TEST_F(ComPortFinderTest, TwoDevicesOnOnePortGiveTheNumberTwice) {
    AddPort("USB\\A\\1", "COM4", "{c}\\0001", {kAdapterId});
    AddPort("USB\\B\\1", "COM4", "{c}\\0002", {kAdapterId});
    EXPECT_EQ(Find(), (std::vector<WORD>{4, 4}));
}

TEST_F(ComPortFinderTest, NothingToFindGivesAnEmptyListWithoutAsking) {
    // No Enum key at all: no port, and the device list is never asked.
    EXPECT_TRUE(Find().empty());
    EXPECT_EQ(m_devices.Counts().getClassDevs, 0u);

    // Ports in the registry but none of the requested IDs.
    AddPort("ACPI\\PNP0501\\1", "COM1", "{c}\\0001", {"ACPI\\PNP0501"});
    EXPECT_TRUE(Find().empty());
    EXPECT_EQ(m_devices.Counts().getClassDevs, 1u);
    EXPECT_EQ(m_devices.Counts().destroyList, 1u);

    // Enum cannot be opened with the finder's rights.
    ASSERT_TRUE(m_registry.DenyAccess(HKEY_LOCAL_MACHINE, kEnum, KEY_ENUMERATE_SUB_KEYS));
    m_devices.ResetCounts();
    EXPECT_TRUE(ZRK::EnumComPorts(m_apis).GetSize() == 0);
    EXPECT_EQ(m_devices.Counts().getClassDevs, 0u);
}

TEST_F(ComPortFinderTest, DeviceSetIsReleasedOnEveryPath) {
    AddPort("USB\\A\\1", "COM3", "{c}\\0003", {kAdapterId});

    // The set could not be made: nothing listed, nothing to destroy.
    m_devices.FailGetClassDevs(true);
    EXPECT_TRUE(Find().empty());
    EXPECT_EQ(m_devices.Counts().destroyList, 0u);
    m_devices.FailGetClassDevs(false);

    // Listing fails at once: the set is destroyed all the same.
    m_devices.FailEnumFrom(0, ERROR_GEN_FAILURE);
    EXPECT_TRUE(Find().empty());
    EXPECT_EQ(m_devices.Counts().destroyList, 1u);
    m_devices.HealEnum();

    // Listing breaks off after the first device: what came before counts.
    AddPort("USB\\A\\2", "COM2", "{c}\\0002", {kAdapterId});
    m_devices.FailEnumFrom(1, ERROR_GEN_FAILURE);
    EXPECT_EQ(Find(), (std::vector<WORD>{3}));
    m_devices.HealEnum();
    EXPECT_EQ(Find(), (std::vector<WORD>{2, 3}));
    // TearDown checks that every set was destroyed exactly once.
}

// A finder whose lists fall out of step, so that the port lookup throws
// in the middle of the device pass.
class CUnevenFinder : public CComPortFinder {
public:
    using CComPortFinder::CComPortFinder;
    std::int32_t OnFoundKey(const ZRK::CTextString& strName, const ZRK::CSection& key,
                            std::int32_t nDepth) override {
        const std::int32_t r = CComPortFinder::OnFoundKey(strName, key, nDepth);
        if (m_aDriverKeys.GetSize() == 1 && m_aPortNumbers.GetSize() == 1) {
            m_aPortNumbers.RemoveAll();
        }
        return r;
    }
};

TEST_F(ComPortFinderTest, ALookupPastThePortListThrowsAndStillReleasesTheSet) {
    AddPort("USB\\A\\1", "COM3", "{c}\\0003", {kAdapterId});
    CUnevenFinder finder(m_devices);
    EXPECT_THROW(Collect(finder), ZRK::CIndexOutOfBoundsException);
    EXPECT_EQ(m_devices.Counts().destroyList, 1u);
    EXPECT_EQ(finder.GetDepth(), 0);
}

// --- Which keys are port keys -------------------------------------------------

TEST_F(ComPortFinderTest, DeviceParametersKeysFollowTheirRules) {
    // Without "PortName" the key is walked into; a deeper one with a port
    // name is still found.
    ASSERT_TRUE(m_registry.SetString(HKEY_LOCAL_MACHINE, kEnum + "\\USB\\A\\1\\Device Parameters",
                                     "Other", "x"));
    AddPortInstance("USB\\A\\1\\Device Parameters\\Sub", "COM11", "{c}\\0011");
    // Another letter case is not recognised, and is walked into.
    ASSERT_TRUE(m_registry.SetString(HKEY_LOCAL_MACHINE, kEnum + "\\USB\\B\\1\\device parameters",
                                     "PortName", "COM20"));
    AddPortInstance("USB\\B\\1\\device parameters\\Inner", "COM12", "{c}\\0012");
    // A recognised key is not walked into, and ends its instance's listing:
    // the keys after it are not visited.
    AddPortInstance("USB\\C\\1", "COM13", "{c}\\0013");
    AddPortInstance("USB\\C\\1\\Device Parameters\\Nested", "COM21", "{c}\\0021");
    AddPortInstance("USB\\C\\1\\Later", "COM22", "{c}\\0022");
    // LPT1 and com3 record nothing, yet end the listing all the same.
    AddPortInstance("LPTENUM\\P\\1", "LPT1", "{c}\\0031");
    AddPortInstance("LPTENUM\\P\\1\\Later", "COM23", "{c}\\0023");
    AddPortInstance("USB\\D\\1", "com3", "{c}\\0032");
    AddPortInstance("USB\\D\\1\\Later", "COM24", "{c}\\0024");

    CComPortFinder finder(m_devices);
    Collect(finder);
    EXPECT_EQ(ToVector(finder.GetPortNumbers()), (std::vector<WORD>{11, 12, 13}));
    ASSERT_EQ(finder.GetDriverKeys().GetSize(), 3u);
    EXPECT_STREQ(finder.GetDriverKeys().At(0), "{c}\\0011");
    EXPECT_STREQ(finder.GetDriverKeys().At(2), "{c}\\0013");
    EXPECT_EQ(finder.GetDepth(), 0);
}

TEST_F(ComPortFinderTest, PortNamesAreReadAsTheNumberAfterCom) {
    struct Case {
        const char* name;
        WORD port;
    };
    const Case cases[] = {
        {"COM10", 10},     {"COM", 0},      {"COM3x", 3},
        {"COMX", 0},       {"COM65537", 1}, {"COM4294967297", 0xFFFF},
        {"COM-1", 0xFFFF},
    };
    std::vector<WORD> expected;
    int n = 0;
    for (const Case& c : cases) {
        const std::string driver = "{c}\\" + std::to_string(++n);
        AddPortInstance("USB\\X\\" + std::to_string(n), c.name, driver);
        expected.push_back(c.port);
    }
    // A port name stored without its terminating zero is read to the end of
    // its data, no further.
    ASSERT_TRUE(m_registry.SetValue(HKEY_LOCAL_MACHINE, kEnum + "\\USB\\Y\\1\\Device Parameters",
                                    "PortName", REG_SZ, {'C', 'O', 'M', '8'}));
    expected.push_back(8);
    // A number is not a port name.
    ASSERT_TRUE(m_registry.SetDword(HKEY_LOCAL_MACHINE, kEnum + "\\USB\\Z\\1\\Device Parameters",
                                    "PortName", 9));

    CComPortFinder finder(m_devices);
    Collect(finder);
    EXPECT_EQ(ToVector(finder.GetPortNumbers()), expected);
    // The instance without a "Driver" value has the empty driver key.
    ASSERT_EQ(finder.GetDriverKeys().GetSize(), expected.size());
    EXPECT_TRUE(finder.GetDriverKeys().At(7).IsEmpty());
}

TEST_F(ComPortFinderTest, AnEmptyDriverKeyJoinsNothing) {
    // An instance without "Driver" and a present device with an empty
    // driver property must not be taken for one another.
    ASSERT_TRUE(m_registry.SetString(HKEY_LOCAL_MACHINE, kEnum + "\\USB\\A\\1\\Device Parameters",
                                     "PortName", "COM6"));
    const auto id = m_devices.AddDevice("", "", "", {kAdapterId});
    ASSERT_TRUE(m_devices.SetPropertyText(id, SPDRP_DRIVER, ""));
    EXPECT_TRUE(Find().empty());
}

// --- Device properties ----------------------------------------------------------

TEST_F(ComPortFinderTest, HardwareIdsAreParsedFromTheFirstStringOnly) {
    struct Case {
        std::vector<std::string> ids;
        WORD vid;
        WORD pid;
    };
    const Case cases[] = {
        {{"USB\\VID_04D8&PID_E6B2&MI_00"}, kVid, kPid},
        {{"usb\\pid_e6b2&vid_04d8"}, kVid, kPid},  // each searched from the start
        {{"ACPI\\PNP0501", "*PNP0501"}, 0, 0},
        {{"USB\\VID_4D8&PID_E6B"}, 0x04D8, 0x0E6B},  // what digits there are
        {{"USB\\VID_&PID_"}, 0, 0},
        {{"USB\\VID_04D8E6B2"}, kVid, 0},  // at most four digits
        {{"ROOT\\PORTS", "USB\\VID_04D8&PID_E6B2"}, 0, 0},
        {{"", "USB\\VID_04D8&PID_E6B2"}, 0, 0},
    };
    int n = 0;
    for (const Case& c : cases) {
        ++n;
        AddPort("USB\\X\\" + std::to_string(n), "COM" + std::to_string(n),
                "{c}\\" + std::to_string(n), c.ids);
    }
    const CSharedArray<CComPortInfo> all = ZRK::EnumComPorts(m_apis);
    ASSERT_EQ(all.GetSize(), std::size(cases));
    for (std::uint32_t i = 0; i < all.GetSize(); ++i) {
        SCOPED_TRACE(cases[i].ids.front());
        EXPECT_EQ(all.At(i).m_wPort, i + 1);
        EXPECT_EQ(all.At(i).m_wVendorId, cases[i].vid);
        EXPECT_EQ(all.At(i).m_wProductId, cases[i].pid);
    }
    EXPECT_EQ(Find(), (std::vector<WORD>{1, 2}));
}

TEST_F(ComPortFinderTest, PropertiesAreReadWithinTheBytesReturned) {
    // A description of exactly 200 bytes without a zero fills the buffer;
    // the 3-byte manufacturer read next (also without a zero) must not pick
    // up the description's bytes behind it.
    const auto a = AddPort("USB\\A\\1", "COM1", "{c}\\0001", {});
    ASSERT_TRUE(
        m_devices.SetPropertyBytes(a, SPDRP_DEVICEDESC, CSimDeviceList::Bytes(200, 'D'), REG_SZ));
    ASSERT_TRUE(m_devices.SetPropertyBytes(a, SPDRP_MFG, {'A', 'B', 'C'}, REG_SZ));
    // A hardware-ID list of exactly 200 bytes, no zero anywhere.
    std::string id200 = kAdapterId;
    id200.resize(200, 'Z');
    ASSERT_TRUE(m_devices.SetPropertyBytes(
        a, SPDRP_HARDWAREID, CSimDeviceList::Bytes(id200.begin(), id200.end()), REG_MULTI_SZ));
    // Longer than the buffer: the property is unavailable.
    const auto b = AddPort("USB\\B\\1", "COM2", "{c}\\0002", {});
    std::string id201 = kAdapterId;
    id201.resize(201, 'Z');
    ASSERT_TRUE(m_devices.SetPropertyMultiText(b, SPDRP_HARDWAREID, {id201}));
    ASSERT_TRUE(
        m_devices.SetPropertyBytes(b, SPDRP_DEVICEDESC, CSimDeviceList::Bytes(201, 'E'), REG_SZ));
    // A driver key of 200 bytes without a zero still joins.
    const std::string driver200(200, 'K');
    AddPortInstance("USB\\C\\1", "COM3", driver200);
    const auto c = m_devices.AddDevice();
    ASSERT_TRUE(m_devices.SetPropertyBytes(
        c, SPDRP_DRIVER, CSimDeviceList::Bytes(driver200.begin(), driver200.end()), REG_SZ));
    ASSERT_TRUE(m_devices.SetPropertyMultiText(c, SPDRP_HARDWAREID, {kAdapterId}));

    const CSharedArray<CComPortInfo> all = ZRK::EnumComPorts(m_apis);
    ASSERT_EQ(all.GetSize(), 3u);
    EXPECT_EQ(all.At(0).m_strDescription.GetLength(), 200u);
    EXPECT_STREQ(all.At(0).m_strManufacturer, "ABC");
    EXPECT_EQ(all.At(0).m_wVendorId, kVid);
    EXPECT_EQ(all.At(0).m_wProductId, kPid);
    EXPECT_TRUE(all.At(1).m_strDescription.IsEmpty());
    EXPECT_EQ(all.At(1).m_wVendorId, 0);
    EXPECT_EQ(all.At(1).m_wProductId, 0);
    EXPECT_EQ(all.At(2).m_wPort, 3);
    EXPECT_EQ(Find(), (std::vector<WORD>{1, 3}));
}

TEST_F(ComPortFinderTest, UnreadablePropertiesLeaveTheirFieldsEmpty) {
    const auto a = AddPort("USB\\A\\1", "COM1", "{c}\\0001", {kAdapterId});
    const auto b = AddPort("USB\\B\\1", "COM2", "{c}\\0002", {kAdapterId});
    const auto c = AddPort("USB\\C\\1", "COM3", "{c}\\0003", {kAdapterId});
    ASSERT_TRUE(m_devices.FailProperty(a, SPDRP_DEVICEDESC, ERROR_GEN_FAILURE));
    ASSERT_TRUE(m_devices.FailProperty(a, SPDRP_MFG, ERROR_GEN_FAILURE));
    ASSERT_TRUE(m_devices.FailProperty(b, SPDRP_HARDWAREID, ERROR_GEN_FAILURE));
    ASSERT_TRUE(m_devices.FailProperty(c, SPDRP_DRIVER, ERROR_GEN_FAILURE));

    const CSharedArray<CComPortInfo> all = ZRK::EnumComPorts(m_apis);
    ASSERT_EQ(all.GetSize(), 2u);  // the device without a driver key is skipped
    EXPECT_TRUE(all.At(0).m_strDescription.IsEmpty());
    EXPECT_TRUE(all.At(0).m_strManufacturer.IsEmpty());
    EXPECT_EQ(all.At(0).m_wVendorId, kVid);
    EXPECT_STREQ(all.At(1).m_strDescription, "Serial COM2");
    EXPECT_EQ(all.At(1).m_wVendorId, 0);
    EXPECT_EQ(all.At(1).m_wProductId, 0);
}

// --- Damaged and unusual registry trees ----------------------------------------

TEST_F(ComPortFinderTest, AKeyThatFailsHalfWayContributesNothing) {
    AddPortInstance("USB\\A\\1", "COM1", "{c}\\0001");
    AddPortInstance("USB\\A\\2", "COM2", "{c}\\0002");
    AddPortInstance("USB\\B\\1", "COM3", "{c}\\0003");
    AddPortInstance("USB\\C\\1", "COM4", "{c}\\0004");
    // The listing of USB\A breaks after its first sub-key; USB\B cannot be
    // opened at all.
    ASSERT_TRUE(m_registry.InjectFailure(ERegCall::EnumKey, HKEY_LOCAL_MACHINE, kEnum + "\\USB\\A",
                                         ERROR_REGISTRY_IO_FAILED, 1, CSimRegistry::kAlways));
    ASSERT_TRUE(m_registry.DenyAccess(HKEY_LOCAL_MACHINE, kEnum + "\\USB\\B", KEY_QUERY_VALUE));

    CComPortFinder finder(m_devices);
    Collect(finder);
    EXPECT_EQ(ToVector(finder.GetPortNumbers()), (std::vector<WORD>{4}));
}

TEST_F(ComPortFinderTest, LongKeyAndValueNames) {
    // The longest name the listing takes is 1023 bytes; such a key is walked
    // like any other. A value name of 1024 bytes beside "PortName" does not
    // disturb reading it.
    const std::string name1023(1023, 'k');
    AddPortInstance("USB\\" + name1023 + "\\1", "COM1", "{c}\\0001");
    ASSERT_TRUE(m_registry.SetString(HKEY_LOCAL_MACHINE,
                                     kEnum + "\\USB\\" + name1023 + "\\1\\Device Parameters",
                                     std::string(1024, 'v'), "COM99"));
    CComPortFinder finder(m_devices);
    Collect(finder);
    EXPECT_EQ(ToVector(finder.GetPortNumbers()), (std::vector<WORD>{1}));

    // A 1024-byte name does not fit the listing's buffer: the listing of its
    // parent fails, and that parent contributes nothing. Its siblings'
    // keys elsewhere are unaffected.
    AddPortInstance("ROOT\\" + std::string(1024, 'k') + "\\1", "COM2", "{c}\\0002");
    AddPortInstance("ROOT\\PORTS\\1", "COM3", "{c}\\0003");
    AddPortInstance("ACPI\\PNP0501\\1", "COM4", "{c}\\0004");
    Collect(finder);
    EXPECT_EQ(ToVector(finder.GetPortNumbers()), (std::vector<WORD>{1, 4}));
}

TEST_F(ComPortFinderTest, DoubleByteNamesWithABackslashTrailByteAreWalked) {
    // 83h 5Ch is one double-byte character, not a path separator.
    AddPortInstance("USB\\\x83\x5C\\1", "COM5", "{c}\\0005");
    m_devices.AddDevice("{c}\\0005", "", "", {kAdapterId});
    EXPECT_EQ(Find(), (std::vector<WORD>{5}));
}

TEST_F(ComPortFinderTest, ATreeSeveralHundredLevelsDeep) {
    // 450 levels below Enum: within the walk's reach, found at the bottom.
    std::string deep = "USB";
    for (int i = 0; i < 450; ++i) {
        deep += "\\L";
    }
    AddPort(deep, "COM9", "{c}\\0009", {kAdapterId});
    EXPECT_EQ(Find(), (std::vector<WORD>{9}));

    // 1500 levels: the walk stops at its depth limit without harm and
    // without losing what it found above it.
    std::string deeper = "ROOT";
    for (int i = 0; i < 1500; ++i) {
        deeper += "\\M";
    }
    AddPort(deeper, "COM10", "{c}\\0010", {kAdapterId});
    EXPECT_EQ(Find(), (std::vector<WORD>{9}));
}

}  // namespace
