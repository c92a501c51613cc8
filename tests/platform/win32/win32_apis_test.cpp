// The Win32 pass-throughs under the portable code that uses them, against
// Wine: the registry under the accessor (value types byte for byte, code
// page 932 names with a 5Ch trail byte, the error codes 2 and 259), the
// raw-disk calls (counts and failures as the system reports them), and the
// request record the return command builds, which must be the system's own
// SCSI_PASS_THROUGH_DIRECT. The serial and device-list calls, the
// administrator check and the port finder run in the real program, end to
// end (tests/e2e).
#include <windows.h>
// Must follow windows.h.
#include <ntddscsi.h>
#include <winioctl.h>

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "discovery/registry_accessor.h"
#include "lib/hex.h"
#include "modes/pass_through.h"
#include "platform/win32/win32_raw_disk_api.h"
#include "platform/win32/win32_registry_api.h"

namespace Tolvane::Win32Test {
namespace {

using Bytes = std::vector<BYTE>;

// A value as the system stores it, read without the code under test.
Bytes RawValue(const std::string& path, const char* name, DWORD* type) {
    BYTE data[32] = {};
    DWORD size = sizeof data;
    *type = REG_NONE;
    ::RegGetValueA(HKEY_CURRENT_USER, path.c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, type, data,
                   &size);
    return Bytes(data, data + (*type == REG_NONE ? 0 : size));
}

// Each test has a key of its own under HKEY_CURRENT_USER, created empty and
// removed with everything below it by the system's own recursive delete, so
// that a run leaves Wine's registry as it found it.
class Win32RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0,
                                                   KEY_ALL_ACCESS, nullptr, &key_, nullptr));
    }
    void TearDown() override {
        ::RegCloseKey(key_);
        EXPECT_EQ(ERROR_SUCCESS, ::RegDeleteTreeA(HKEY_CURRENT_USER, path_.c_str()));
    }

    const std::string path_ = "Software\\TolvaneTest-" + std::to_string(::GetCurrentProcessId());
    HKEY key_ = nullptr;
    ZRK::CWin32RegistryApi api_;
};

// The codes the accessor tells apart: 2 for what is missing, 259 at the end
// of a listing; and the last error, through which a section delete reports.
TEST_F(Win32RegistryTest, MissingKeysAndValuesGiveTwoAndListingsEndWith259) {
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, api_.RegOpenKeyExA(key_, "No\\Key", 0, KEY_READ, &key));
    DWORD size = 0;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              api_.RegQueryValueExA(key_, "NoValue", nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, api_.RegDeleteValueA(key_, "NoValue"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, api_.RegDeleteKeyA(key_, "NoKey"));
    char name[16];
    DWORD length = sizeof name;
    EXPECT_EQ(ERROR_NO_MORE_ITEMS,
              api_.RegEnumKeyExA(key_, 0, name, &length, nullptr, nullptr, nullptr, nullptr));
    length = sizeof name;
    EXPECT_EQ(ERROR_NO_MORE_ITEMS,
              api_.RegEnumValueA(key_, 0, name, &length, nullptr, nullptr, nullptr, nullptr));
    // The code a section delete reports goes to the thread's last error.
    api_.SetLastError(ERROR_GEN_FAILURE);
    EXPECT_EQ(static_cast<DWORD>(ERROR_GEN_FAILURE), api_.GetLastError());
}

// Each value type goes through the accessor into the system's registry type
// byte for byte and comes back with its type code. The section and one value
// are named in code page 932 with a 5Ch trail byte: one name each, never a
// path split at that byte.
TEST_F(Win32RegistryTest, TheAccessorStoresAndReadsEveryTypeOnTheSystemsRegistry) {
    ASSERT_EQ(932u, ::GetACP()) << "the Wine run must use LC_ALL=ja_JP.UTF-8";
    const char kName[] = "\x83\x5C\x83\x74\x83\x67";  // "ソフト"
    const std::string section = path_ + "\\" + kName;
    ZRK::CRegistryAccessor accessor(api_, HKEY_CURRENT_USER, KEY_ALL_ACCESS);
    ZRK::CAccessorValue sz, cp932, dword, qword, binary, multi;
    sz.SetText("COM7");
    cp932.SetText("\x83\x5C");
    dword.SetDword(4000000000u);
    qword.SetInt64(-5);
    binary.SetBytes(ZRK::CByteArray(ZRK::FromHex("00AB5C")));
    multi.SetText("a\\^b\\\\c", ZRK::kValueTextList);  // a, b\c
    const struct {
        const char* name;
        const ZRK::CAccessorValue& value;
        DWORD type;
        Bytes stored;
    } rows[] = {
        {"sz", sz, REG_SZ, {'C', 'O', 'M', '7', 0}},
        {kName, cp932, REG_SZ, {0x83, 0x5C, 0}},
        {"dword", dword, REG_DWORD, {0x00, 0x28, 0x6B, 0xEE}},
        {"qword", qword, REG_QWORD, {0xFB, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
        {"binary", binary, REG_BINARY, {0x00, 0xAB, 0x5C}},
        {"multi", multi, REG_MULTI_SZ, {'a', 0, 'b', '\\', 'c', 0, 0}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(accessor.WriteValue(section.c_str(), row.name, row.value));
        DWORD type = 0;
        EXPECT_EQ(row.stored, RawValue(section, row.name, &type));
        EXPECT_EQ(row.type, type);
        const ZRK::CAccessorValue read = accessor.QueryValue(section.c_str(), row.name);
        EXPECT_EQ(row.value.GetType(), read.GetType());
        EXPECT_STREQ(row.value.ToText(), read.ToText());
    }
    EXPECT_EQ(std::size(rows), accessor.EnumValueNames(section.c_str()).GetSize());
    EXPECT_STREQ(kName, accessor.EnumSections(path_.c_str()).At(0));

    // An expandable text, as the system stores it.
    const char expand[] = "%SystemRoot%\\inf";
    ASSERT_EQ(ERROR_SUCCESS, ::RegSetKeyValueA(HKEY_CURRENT_USER, section.c_str(), "expand",
                                               REG_EXPAND_SZ, expand, sizeof expand));
    char root[MAX_PATH] = {};
    ASSERT_GT(::GetEnvironmentVariableA("SystemRoot", root, sizeof root), 0u);
    EXPECT_EQ(std::string(root) + "\\inf",
              accessor.QueryValue(section.c_str(), "expand").ToText().GetString());

    // Flushing the open key, and deleting a value.
    EXPECT_TRUE(accessor.Flush());
    EXPECT_TRUE(accessor.WriteValue(section.c_str(), "sz", ZRK::CAccessorValue()));
    DWORD type = 0;
    EXPECT_TRUE(RawValue(section, "sz", &type).empty());
}

// A file of its own in the temporary folder, removed at the end: a handle
// that opens but is neither a port nor a drive.
struct TempFile {
    TempFile() { EXPECT_NE(0u, ::GetTempFileNameA(".", "tlv", 0, path)); }
    ~TempFile() { ::DeleteFileA(path); }
    char path[MAX_PATH] = {};
};

TEST(Win32RawDiskApiTest, NoDriveOpensAndAFileRefusesTheRequest) {
    ZRK::CWin32RawDiskApi api;
    const DWORD access = GENERIC_READ | GENERIC_WRITE;
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    EXPECT_EQ(INVALID_HANDLE_VALUE, api.CreateFileA("\\\\.\\PhysicalDrive99", access, share,
                                                    nullptr, OPEN_EXISTING, 0, nullptr));
    TempFile file;
    const HANDLE handle =
        api.CreateFileA(file.path, access, share, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, handle);
    std::vector<std::uint8_t> record = BuildReturnCommandRecord(PassThroughLayout::Native());
    const auto size = static_cast<DWORD>(record.size());
    DWORD returned = 0;
    EXPECT_FALSE(api.DeviceIoControl(handle, ZRK::kIoctlScsiPassThroughDirect, record.data(), size,
                                     record.data(), size, &returned, nullptr));
    EXPECT_TRUE(api.CloseHandle(handle));
    EXPECT_FALSE(api.CloseHandle(handle));
}

// Byte for byte, padding included: the system's own structure filled as the
// return command needs it, then the zeroed sense area.
TEST(PassThroughRecordTest, ReturnCommandIsTheSystemStructureByteForByte) {
    SCSI_PASS_THROUGH_DIRECT spt{};
    spt.Length = sizeof spt;
    spt.TargetId = 1;
    spt.CdbLength = 16;
    spt.SenseInfoLength = 32;
    spt.DataIn = SCSI_IOCTL_DATA_UNSPECIFIED;
    spt.TimeOutValue = 60;
    spt.SenseInfoOffset = sizeof spt;
    spt.Cdb[0] = 0xFF;
    std::vector<std::uint8_t> expected(sizeof spt + 32, 0);
    std::memcpy(expected.data(), &spt, sizeof spt);
    EXPECT_EQ(expected, BuildReturnCommandRecord(PassThroughLayout::Native()));
}

}  // namespace
}  // namespace Tolvane::Win32Test
