// The registry accessor, the administrator check and the port finder on
// Wine's registry and device list: the portable logic over real platform
// calls, where only their doubles were used before.
#include <windows.h>

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "app/admin_check.h"
#include "discovery/com_port_finder.h"
#include "discovery/key_handle.h"
#include "discovery/registry_accessor.h"
#include "platform/win32/win32_device_list_api.h"
#include "platform/win32/win32_registry_api.h"
#include "scratch_key.h"

namespace Tolvane::Win32Test {
namespace {

void SetValue(HKEY root, const std::string& path, const char* name, DWORD type, const void* data,
              DWORD size) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              ::RegCreateKeyExA(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                KEY_ALL_ACCESS, nullptr, &key, nullptr));
    if (name != nullptr) {
        ASSERT_EQ(ERROR_SUCCESS,
                  ::RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size));
    }
    ::RegCloseKey(key);
}

void MakeKey(HKEY root, const std::string& path) {
    SetValue(root, path, nullptr, 0, nullptr, 0);
}

bool KeyExists(HKEY root, const std::string& path) {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    ::RegCloseKey(key);
    return true;
}

class Win32AccessorTest : public ScratchKeyTest {
protected:
    ZRK::CWin32RegistryApi api_;
};

TEST_F(Win32AccessorTest, DeleteSectionRemovesAWholeTree) {
    const std::string tree = Path() + "\\Tree";
    std::string deep = tree;
    for (int i = 0; i < 40; ++i) {
        deep += "\\L" + std::to_string(i);
    }
    MakeKey(HKEY_CURRENT_USER, deep);
    const DWORD one = 1;
    SetValue(HKEY_CURRENT_USER, tree + "\\L0\\Side", "v", REG_DWORD, &one, sizeof one);
    SetValue(HKEY_CURRENT_USER, tree + "\\Other", "w", REG_SZ, "x", 2);
    SetValue(HKEY_CURRENT_USER, tree, "top", REG_SZ, "y", 2);
    MakeKey(HKEY_CURRENT_USER, Path() + "\\Sibling");

    ZRK::CRegistryAccessor accessor(api_, HKEY_CURRENT_USER, KEY_ALL_ACCESS);
    ::SetLastError(ERROR_GEN_FAILURE);
    EXPECT_TRUE(accessor.DeleteSection(tree.c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), ::GetLastError());
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, tree));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, Path() + "\\Sibling")) << "only the section goes";
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, Path()));

    // A section that is not there: failure, with Windows' code for it.
    EXPECT_FALSE(accessor.DeleteSection(tree.c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), ::GetLastError());
}

TEST_F(Win32AccessorTest, TypedValuesReadThroughTheAccessor) {
    const std::string section = Path() + "\\Values";
    const char expand[] = "%SystemRoot%\\inf";
    SetValue(HKEY_CURRENT_USER, section, "expand", REG_EXPAND_SZ, expand, sizeof expand);
    const DWORD dword = 4000000000u;
    SetValue(HKEY_CURRENT_USER, section, "dword", REG_DWORD, &dword, sizeof dword);
    const long long qword = -5;
    SetValue(HKEY_CURRENT_USER, section, "qword", REG_QWORD, &qword, sizeof qword);
    const BYTE bytes[] = {0x00, 0xAB, 0x5C};
    SetValue(HKEY_CURRENT_USER, section, "binary", REG_BINARY, bytes, sizeof bytes);
    const char multi[] = "USB\\VID_04D8&PID_E6B2\0USB\\Class_02\0";
    SetValue(HKEY_CURRENT_USER, section, "multi", REG_MULTI_SZ, multi, sizeof multi);

    ZRK::CRegistryAccessor accessor(api_, HKEY_CURRENT_USER, KEY_READ);
    char root[MAX_PATH] = {};
    ASSERT_GT(::GetEnvironmentVariableA("SystemRoot", root, sizeof root), 0u);

    const ZRK::CAccessorValue expanded = accessor.QueryValue(section.c_str(), "expand");
    EXPECT_EQ(ZRK::kValueText, expanded.GetType());
    EXPECT_EQ(std::string(root) + "\\inf", expanded.ToText().GetString());

    const ZRK::CAccessorValue d = accessor.QueryValue(section.c_str(), "dword");
    EXPECT_EQ(ZRK::kValueDword, d.GetType());
    EXPECT_STREQ("4000000000", d.ToText());

    const ZRK::CAccessorValue q = accessor.QueryValue(section.c_str(), "qword");
    EXPECT_EQ(ZRK::kValueInt64, q.GetType());
    EXPECT_STREQ("-5", q.ToText()) << "64-bit formatting of the Windows C runtime";

    const ZRK::CAccessorValue b = accessor.QueryValue(section.c_str(), "binary");
    EXPECT_EQ(ZRK::kValueBytes, b.GetType());
    EXPECT_STREQ("00AB5C", b.ToText());

    const ZRK::CAccessorValue m = accessor.QueryValue(section.c_str(), "multi");
    EXPECT_EQ(ZRK::kValueTextList, m.GetType());
    const ZRK::CTextList list = m.ToTextList();
    ASSERT_EQ(2u, list.GetSize());
    EXPECT_STREQ("USB\\VID_04D8&PID_E6B2", list.At(0));
    EXPECT_STREQ("USB\\Class_02", list.At(1));

    EXPECT_EQ(ZRK::kValueNone, accessor.GetValueType(section.c_str(), "missing"));
    EXPECT_EQ(ZRK::kValueNone,
              accessor.GetValueType((Path() + "\\NoSuchSection").c_str(), "expand"));
}

// The administrator check's road on a scratch copy: one accessor opens the
// parent key, a second one built on that key reads the database through a
// section.
TEST_F(Win32AccessorTest, AdminStyleReadThroughTwoAccessors) {
    const std::string control = Path() + "\\Control";
    const BYTE comDb[32] = {0x05};
    SetValue(HKEY_CURRENT_USER, control + "\\COM Name Arbiter", "ComDB", REG_BINARY, comDb,
             sizeof comDb);

    ZRK::CKeyHandle key;
    {
        ZRK::CRegistryAccessor machine(api_, HKEY_CURRENT_USER, KEY_ALL_ACCESS);
        key = machine.GetSectionKey(control.c_str());
    }
    ASSERT_FALSE(key.IsEmpty()) << "the key outlives the accessor that opened it";
    ZRK::CRegistryAccessor accessor(api_, key, KEY_ALL_ACCESS);
    const ZRK::CSection arbiter(&accessor, "COM Name Arbiter");
    const ZRK::CByteArray read = arbiter.ReadBytes("ComDB");
    ASSERT_EQ(sizeof comDb, read.GetSize());
    EXPECT_EQ(0, std::memcmp(comDb, read.GetBuffer(), sizeof comDb));

    const ZRK::CByteArray missing = arbiter.ReadBytes("NoSuchValue");
    EXPECT_EQ(0u, missing.GetSize());
    EXPECT_FALSE(missing.IsValid());

    // A section key that cannot be opened is created with the same rights.
    ZRK::CRegistryAccessor creator(api_, HKEY_CURRENT_USER, KEY_ALL_ACCESS);
    EXPECT_FALSE(creator.GetSectionKey((Path() + "\\Created").c_str()).IsEmpty());
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, Path() + "\\Created"));
}

// The real check on the prefix's own machine key. Wine gives the test full
// access: the check passes with a database, with an empty one, and with no
// key at all, which it does not create.
TEST(Win32AdminCheckTest, FullAccessPassesWithOrWithoutTheComPortDatabase) {
    CSavedComDatabase saved;
    ZRK::CWin32RegistryApi api;
    const BYTE comDb[32] = {0x01};
    CSavedComDatabase::Set(true, REG_BINARY, comDb, sizeof comDb);
    EXPECT_TRUE(CheckAdministratorRights(api));
    CSavedComDatabase::Set(true, REG_BINARY, comDb, 0);
    EXPECT_TRUE(CheckAdministratorRights(api)) << "an empty database";
    ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, CSavedComDatabase::kKey);
    EXPECT_TRUE(CheckAdministratorRights(api)) << "no database key";
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, CSavedComDatabase::kKey));
}

// Port finder -------------------------------------------------------------

// An adapter that was plugged in once: its device instance, with driver key
// and port name, stays in the registry's device tree, but the device is not
// present. Only the throw-away prefix is touched.
class Win32FinderTest : public ::testing::Test {
protected:
    static constexpr const char* kEnum = "SYSTEM\\CurrentControlSet\\Enum";
    static constexpr const char* kAdapter =
        "SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_04D8&"
        "PID_E6B2&MI_00";
    static constexpr const char* kDriver = "{4d36e978-e325-11ce-bfc1-08002be10318}\\0042";

    void TearDown() override { ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, kAdapter); }

    void PlantAbsentAdapter() {
        const std::string instance = std::string(kAdapter) + "\\7&1a2b3c&0&0000";
        SetValue(HKEY_LOCAL_MACHINE, instance, "Driver", REG_SZ, kDriver,
                 static_cast<DWORD>(std::strlen(kDriver) + 1));
        const char hardwareId[] = "USB\\VID_04D8&PID_E6B2&REV_0100&MI_00\0";
        SetValue(HKEY_LOCAL_MACHINE, instance, "HardwareID", REG_MULTI_SZ, hardwareId,
                 sizeof hardwareId);
        SetValue(HKEY_LOCAL_MACHINE, instance + "\\Device Parameters", "PortName", REG_SZ, "COM7",
                 5);
    }

    ZRK::CWin32RegistryApi registry_;
    ZRK::CWin32DeviceListApi devices_;
    ZRK::CDiscoveryApis apis_{registry_, devices_};
};

TEST_F(Win32FinderTest, FindsNoAdapterOnAMachineWithoutOne) {
    EXPECT_EQ(0u, ZRK::FindUsbComPorts(apis_, 0x04D8, 0xE6B2).GetSize());
}

TEST_F(Win32FinderTest, AnAdapterOnlyInTheRegistryIsNotReported) {
    PlantAbsentAdapter();

    // The walk of the real device tree finds the port and its driver key...
    ZRK::CRegistryAccessor accessor(registry_, HKEY_LOCAL_MACHINE,
                                    KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS);
    ZRK::CComPortFinder finder(devices_);
    const ZRK::CSharedArray<ZRK::CComPortInfo> records =
        finder.Collect(ZRK::CSection(&accessor, kEnum));
    const ZRK::CSharedArray<WORD>& ports = finder.GetPortNumbers();
    ASSERT_EQ(1u, ports.GetSize());
    EXPECT_EQ(7, ports.At(0));
    ASSERT_EQ(1u, finder.GetDriverKeys().GetSize());
    EXPECT_STREQ(kDriver, finder.GetDriverKeys().At(0));

    // ...but the present-device list does not hold it, so no port is named.
    EXPECT_EQ(0u, records.GetSize());
    EXPECT_EQ(0u, ZRK::FindUsbComPorts(apis_, 0x04D8, 0xE6B2).GetSize());
}

}  // namespace
}  // namespace Tolvane::Win32Test
