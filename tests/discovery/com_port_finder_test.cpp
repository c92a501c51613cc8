// The finder against the in-memory registry and device list: what ends up
// in the port list, and what may not (devices that are gone, keys of the
// wrong shape, damaged properties), with every key and device set released
// after each scenario.
#include "discovery/com_port_finder.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
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
using Ports = std::vector<WORD>;

const std::string kEnum = "SYSTEM\\CurrentControlSet\\Enum";
const char kAdapterId[] = "USB\\VID_04D8&PID_E6B2&MI_00";
const HKEY kLm = HKEY_LOCAL_MACHINE;

Ports ToVector(const CSharedArray<WORD>& a) {
    Ports v;
    for (std::uint32_t i = 0; i < a.GetSize(); ++i) {
        v.push_back(a.At(i));
    }
    return v;
}

CSimDeviceList::Bytes BytesOf(const std::string& s) {
    return CSimDeviceList::Bytes(s.begin(), s.end());
}

class ComPortFinderTest : public ::testing::Test {
protected:
    void TearDown() override {
        EXPECT_EQ(m_registry.OpenKeyCount(), 0u) << "a registry key was left open";
        EXPECT_EQ(m_registry.InvalidCloseCount() + m_registry.InvalidHandleUseCount(), 0u);
        EXPECT_EQ(m_devices.OpenSetCount(), 0u) << "a device set was left open";
        EXPECT_EQ(m_devices.BadDestroyCount() + m_devices.UseOfClosedSetCount(), 0u);
    }

    // A device instance below Enum with its "Driver" value and a "Device
    // Parameters" key holding the port name.
    void AddPortInstance(const std::string& instance, const std::string& portName,
                         const std::string& driver) {
        ASSERT_TRUE(m_registry.SetString(kLm, kEnum + "\\" + instance, "Driver", driver));
        ASSERT_TRUE(m_registry.SetString(kLm, kEnum + "\\" + instance + "\\Device Parameters",
                                         "PortName", portName));
    }
    // Registry instance and present device in one go.
    CSimDeviceList::DeviceId AddPort(const std::string& instance, const std::string& portName,
                                     const std::string& driver,
                                     const std::vector<std::string>& hardwareIds) {
        AddPortInstance(instance, portName, driver);
        return m_devices.AddDevice(driver, "Serial " + portName, "Maker", hardwareIds);
    }
    Ports Find() { return ToVector(ZRK::FindUsbComPorts(m_apis, 0x04D8, 0xE6B2)); }
    CSharedArray<CComPortInfo> All() { return ZRK::EnumComPorts(m_apis); }
    // The finder on its own over the Enum section: the port numbers it took
    // from the tree, present or not.
    Ports Collect(CComPortFinder& finder) {
        ZRK::CRegistryAccessor accessor(m_registry, kLm, KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS);
        finder.Collect(ZRK::CSection(&accessor, kEnum.c_str()));
        return ToVector(finder.GetPortNumbers());
    }

    CSimRegistry m_registry;
    CSimDeviceList m_devices;
    ZRK::CDiscoveryApis m_apis{m_registry, m_devices};
};

// --- Joining the registry with the present devices ---------------------------

TEST_F(ComPortFinderTest, OnlyDevicesInBothTheRegistryAndThePresentListCount) {
    AddPort("USB\\A\\1", "COM3", "{c}\\0003", {kAdapterId});
    // Known to the registry, unplugged.
    const auto unplugged = AddPort("USB\\A\\2", "COM4", "{c}\\0004", {kAdapterId});
    ASSERT_TRUE(m_devices.SetPresent(unplugged, false));
    // Present with the right IDs, but no port in the registry for its driver.
    m_devices.AddDevice("{c}\\0009", "Stray", "", {kAdapterId});
    // The join on the driver key is case-sensitive.
    AddPortInstance("USB\\A\\3", "COM6", "{C}\\0006");
    m_devices.AddDevice("{c}\\0006", "", "", {kAdapterId});
    // An instance without "Driver" and a device with an empty driver key
    // must not be taken for one another.
    ASSERT_TRUE(
        m_registry.SetString(kLm, kEnum + "\\USB\\A\\4\\Device Parameters", "PortName", "COM8"));
    ASSERT_TRUE(
        m_devices.SetPropertyText(m_devices.AddDevice("", "", "", {kAdapterId}), SPDRP_DRIVER, ""));
    EXPECT_EQ(Find(), (Ports{3}));

    // Plugged back in: the next call sees it.
    ASSERT_TRUE(m_devices.SetPresent(unplugged, true));
    EXPECT_EQ(Find(), (Ports{3, 4}));
    ASSERT_TRUE(m_devices.RemoveDevice(unplugged));
    // Two devices on one port give the number twice.
    AddPort("USB\\B\\1", "COM3", "{c}\\0013", {kAdapterId});
    EXPECT_EQ(Find(), (Ports{3, 3}));
}

TEST_F(ComPortFinderTest, NothingFoundGivesAnEmptyListAndEveryDeviceSetIsReleased) {
    // No Enum key at all: the device list is never asked.
    EXPECT_TRUE(Find().empty());
    EXPECT_EQ(m_devices.Counts().getClassDevs, 0u);
    // Ports in the registry, none of the requested IDs.
    AddPort("ACPI\\PNP0501\\1", "COM1", "{c}\\0001", {"ACPI\\PNP0501"});
    EXPECT_TRUE(Find().empty());
    EXPECT_EQ(m_devices.Counts().destroyList, 1u);

    AddPort("USB\\A\\3", "COM3", "{c}\\0003", {kAdapterId});
    AddPort("USB\\A\\2", "COM2", "{c}\\0002", {kAdapterId});
    m_devices.ResetCounts();
    // The set could not be made: nothing listed, nothing to destroy.
    m_devices.FailGetClassDevs(true);
    EXPECT_TRUE(Find().empty());
    EXPECT_EQ(m_devices.Counts().destroyList, 0u);
    m_devices.FailGetClassDevs(false);
    // Listing fails at once: the set is destroyed all the same.
    m_devices.FailEnumFrom(0, ERROR_GEN_FAILURE);
    EXPECT_TRUE(Find().empty());
    EXPECT_EQ(m_devices.Counts().destroyList, 1u);
    // Listing breaks off half way: what came before counts.
    m_devices.FailEnumFrom(2, ERROR_GEN_FAILURE);
    EXPECT_EQ(Find(), (Ports{3}));
    m_devices.HealEnum();
    EXPECT_EQ(Find(), (Ports{2, 3}));

    // Enum cannot be opened with the finder's rights.
    ASSERT_TRUE(m_registry.DenyAccess(kLm, kEnum, KEY_ENUMERATE_SUB_KEYS));
    m_devices.ResetCounts();
    EXPECT_EQ(All().GetSize(), 0u);
    EXPECT_EQ(m_devices.Counts().getClassDevs, 0u);
}

// A finder whose lists fall out of step, so that the port lookup throws
// in the middle of the device pass: the set is released all the same.
class CUnevenFinder : public CComPortFinder {
public:
    using CComPortFinder::CComPortFinder;
    std::int32_t OnFoundKey(const ZRK::CTextString& strName, const ZRK::CSection& key,
                            std::int32_t nDepth) override {
        const std::int32_t r = CComPortFinder::OnFoundKey(strName, key, nDepth);
        m_aPortNumbers.RemoveAll();
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

TEST_F(ComPortFinderTest, PortKeysAndTheNumbersTheirNamesGive) {
    // "Device Parameters" without "PortName", or in another letter case, is
    // walked into; a deeper one with a port name is still found.
    ASSERT_TRUE(m_registry.SetString(kLm, kEnum + "\\USB\\A\\1\\Device Parameters", "Other", "x"));
    AddPortInstance("USB\\A\\1\\Device Parameters\\Sub", "COM11", "{c}\\11");
    ASSERT_TRUE(
        m_registry.SetString(kLm, kEnum + "\\USB\\B\\1\\device parameters", "PortName", "COM20"));
    AddPortInstance("USB\\B\\1\\device parameters\\Inner", "COM12", "{c}\\12");
    // A port key is not walked into and ends its instance's listing, even
    // when its name (LPT1, com3, COM not at the start) records nothing.
    for (const std::string name : {"COM13", "LPT1", "com3", "ACOM1"}) {
        AddPortInstance("USB\\C\\" + name, name, "{c}\\" + name);
        AddPortInstance("USB\\C\\" + name + "\\Device Parameters\\Nested", "COM21", "{c}\\21");
        AddPortInstance("USB\\C\\" + name + "\\Later", "COM22", "{c}\\22");
    }
    Ports expected = {11, 12, 13};
    const std::pair<const char*, WORD> names[] = {
        {"COM", 0},      {"COM3x", 3},      {"COMX", 0},
        {"COM65537", 1}, {"COM-1", 0xFFFF}, {"COM4294967297", 0xFFFF},
    };
    for (const auto& [name, port] : names) {
        AddPortInstance("USB\\X\\" + std::string(name), name, "{c}\\X");
        expected.push_back(port);
    }
    // A port name stored without its terminating zero is read to the end of
    // its data, no further; this instance has no "Driver" value.
    ASSERT_TRUE(m_registry.SetValue(kLm, kEnum + "\\USB\\Y\\1\\Device Parameters", "PortName",
                                    REG_SZ, {'C', 'O', 'M', '8'}));
    expected.push_back(8);
    // A number is not a port name.
    ASSERT_TRUE(m_registry.SetDword(kLm, kEnum + "\\USB\\Z\\1\\Device Parameters", "PortName", 9));

    CComPortFinder finder(m_devices);
    EXPECT_EQ(Collect(finder), expected);
    const auto& drivers = finder.GetDriverKeys();
    ASSERT_EQ(drivers.GetSize(), expected.size());
    EXPECT_STREQ(drivers.At(0), "{c}\\11");
    EXPECT_TRUE(drivers.At(drivers.GetSize() - 1).IsEmpty());
}

// --- Device properties ----------------------------------------------------------

TEST_F(ComPortFinderTest, PortsOfTheRequestedIdsComeInAscendingOrderWithTheirDetails) {
    // Only the first hardware ID counts; "vid_" and "pid_" are each looked
    // for from its start, and give what hexadecimal digits follow, four at
    // most.
    const std::tuple<WORD, std::vector<std::string>, WORD, WORD> cases[] = {
        {7, {"USB\\VID_04D8&PID_E6B2&REV_0100&MI_00", kAdapterId}, 0x04D8, 0xE6B2},
        {5, {"usb\\pid_e6b2&vid_04d8"}, 0x04D8, 0xE6B2},
        {1, {"ACPI\\PNP0501", "*PNP0501"}, 0, 0},
        {2, {"USB\\VID_4D8&PID_E6B"}, 0x04D8, 0x0E6B},
        {3, {"USB\\VID_&PID_"}, 0, 0},
        {4, {"USB\\VID_04D8E6B2"}, 0x04D8, 0},
        {6, {"ROOT\\PORTS", kAdapterId}, 0, 0},
        {8, {"", kAdapterId}, 0, 0},
    };
    for (const auto& [port, ids, vid, pid] : cases) {
        const std::string n = std::to_string(port);
        AddPort("USB\\X\\" + n, "COM" + n, "{4d36e978}\\000" + n, ids);
    }
    EXPECT_EQ(Find(), (Ports{5, 7}));
    const CSharedArray<CComPortInfo> all = All();
    ASSERT_EQ(all.GetSize(), std::size(cases));
    for (const auto& [port, ids, vid, pid] : cases) {
        SCOPED_TRACE(ids.front());
        EXPECT_EQ(all.At(port - 1u).m_wPort, port);
        EXPECT_EQ(all.At(port - 1u).m_wVendorId, vid);
        EXPECT_EQ(all.At(port - 1u).m_wProductId, pid);
    }
    EXPECT_STREQ(all.At(4).m_strDescription, "Serial COM5");
    EXPECT_STREQ(all.At(4).m_strManufacturer, "Maker");
    EXPECT_EQ(m_devices.LastClassDevsFlags(), static_cast<DWORD>(DIGCF_PRESENT | DIGCF_ALLCLASSES));
    EXPECT_FALSE(m_devices.LastClassDevsHadGuid());
}

TEST_F(ComPortFinderTest, PropertiesAreReadWithinTheBytesReturnedOrLeftEmpty) {
    // A description of exactly 200 bytes without a zero fills the buffer;
    // the 3-byte manufacturer read next (also without a zero) must not pick
    // up the description's bytes behind it. The hardware-ID list is 200
    // bytes with no zero anywhere.
    const auto a = AddPort("USB\\A\\1", "COM1", "{c}\\0001", {});
    ASSERT_TRUE(
        m_devices.SetPropertyBytes(a, SPDRP_DEVICEDESC, BytesOf(std::string(200, 'D')), REG_SZ));
    ASSERT_TRUE(m_devices.SetPropertyBytes(a, SPDRP_MFG, {'A', 'B', 'C'}, REG_SZ));
    std::string id = kAdapterId;
    id.resize(200, 'Z');
    ASSERT_TRUE(m_devices.SetPropertyBytes(a, SPDRP_HARDWAREID, BytesOf(id), REG_MULTI_SZ));
    // Longer than the buffer: the property is unavailable.
    const auto b = AddPort("USB\\B\\1", "COM2", "{c}\\0002", {});
    ASSERT_TRUE(m_devices.SetPropertyMultiText(b, SPDRP_HARDWAREID, {id + "Z"}));
    ASSERT_TRUE(
        m_devices.SetPropertyBytes(b, SPDRP_DEVICEDESC, BytesOf(std::string(201, 'E')), REG_SZ));
    // A driver key of 200 bytes without a zero still joins.
    const std::string driver200(200, 'K');
    AddPortInstance("USB\\C\\1", "COM3", driver200);
    const auto c = m_devices.AddDevice();
    ASSERT_TRUE(m_devices.SetPropertyBytes(c, SPDRP_DRIVER, BytesOf(driver200), REG_SZ));
    ASSERT_TRUE(m_devices.SetPropertyMultiText(c, SPDRP_HARDWAREID, {kAdapterId}));
    // Reads that fail leave their fields empty; a device whose driver key
    // cannot be read is skipped.
    const auto d = AddPort("USB\\D\\1", "COM4", "{c}\\0004", {kAdapterId});
    for (DWORD property : {SPDRP_DEVICEDESC, SPDRP_MFG}) {
        ASSERT_TRUE(m_devices.FailProperty(d, property, ERROR_GEN_FAILURE));
    }
    const auto e = AddPort("USB\\E\\1", "COM5", "{c}\\0005", {kAdapterId});
    ASSERT_TRUE(m_devices.FailProperty(e, SPDRP_HARDWAREID, ERROR_GEN_FAILURE));
    const auto f = AddPort("USB\\F\\1", "COM6", "{c}\\0006", {kAdapterId});
    ASSERT_TRUE(m_devices.FailProperty(f, SPDRP_DRIVER, ERROR_GEN_FAILURE));

    const CSharedArray<CComPortInfo> all = All();
    ASSERT_EQ(all.GetSize(), 5u);
    EXPECT_EQ(all.At(0).m_strDescription.GetLength(), 200u);
    EXPECT_STREQ(all.At(0).m_strManufacturer, "ABC");
    EXPECT_TRUE(all.At(1).m_strDescription.IsEmpty());
    EXPECT_EQ(all.At(1).m_wVendorId, 0);
    EXPECT_TRUE(all.At(3).m_strDescription.IsEmpty());
    EXPECT_TRUE(all.At(3).m_strManufacturer.IsEmpty());
    EXPECT_STREQ(all.At(4).m_strDescription, "Serial COM5");
    EXPECT_EQ(all.At(4).m_wVendorId, 0);
    EXPECT_EQ(Find(), (Ports{1, 3, 4}));
}

// --- Damaged and unusual registry trees ----------------------------------------

TEST_F(ComPortFinderTest, WhatCanBeReadOfUnusualAndDamagedTreesCounts) {
    // 83h 5Ch is one double-byte character, not a path separator.
    AddPortInstance("USB\\\x83\x5C\\1", "COM5", "{c}\\5");
    // The longest name the listing takes is 1023 bytes; a 1024-byte value
    // name beside "PortName" does not disturb reading it.
    const std::string name1023(1023, 'k');
    AddPortInstance("USB\\" + name1023 + "\\1", "COM1", "{c}\\1");
    ASSERT_TRUE(m_registry.SetString(kLm, kEnum + "\\USB\\" + name1023 + "\\1\\Device Parameters",
                                     std::string(1024, 'v'), "COM99"));
    // The listing of USB\A breaks after its first sub-key; USB\B cannot be
    // opened at all: neither contributes anything.
    AddPortInstance("USB\\A\\1", "COM2", "{c}\\2");
    AddPortInstance("USB\\A\\2", "COM3", "{c}\\3");
    AddPortInstance("USB\\B\\1", "COM4", "{c}\\4");
    ASSERT_TRUE(m_registry.InjectFailure(ERegCall::EnumKey, kLm, kEnum + "\\USB\\A",
                                         ERROR_REGISTRY_IO_FAILED, 1, CSimRegistry::kAlways));
    ASSERT_TRUE(m_registry.DenyAccess(kLm, kEnum + "\\USB\\B", KEY_QUERY_VALUE));
    // A 1024-byte name does not fit the listing's buffer: its parent
    // contributes nothing, its siblings elsewhere are unaffected.
    AddPortInstance("ROOT\\" + std::string(1024, 'k') + "\\1", "COM6", "{c}\\6");
    AddPortInstance("ROOT\\PORTS\\1", "COM7", "{c}\\7");
    // Port keys at the walk's deepest level are found; one level below, the
    // walk stops without harm.
    std::string deepest = "DEEP";
    for (int i = 2; i < ZRK::CRegistryTreeWalker::kMaxDepth; ++i) {
        deepest += "\\L";
    }
    AddPortInstance(deepest, "COM8", "{c}\\8");
    AddPortInstance("TOO" + deepest + "\\L", "COM9", "{c}\\9");

    CComPortFinder finder(m_devices);
    EXPECT_EQ(Collect(finder), (Ports{5, 1, 8}));
    m_devices.AddDevice("{c}\\5", "", "", {kAdapterId});
    EXPECT_EQ(Find(), (Ports{5}));
}

}  // namespace
