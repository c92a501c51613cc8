// The registry pass-through under the accessor that uses it (the
// administrator check runs in the dialog's tests, the port finder through
// the real host there too), on
// Wine's registry: what that code relies on from the system, checked on an
// implementation we did not write.
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "discovery/registry_accessor.h"
#include "lib/hex.h"
#include "platform/win32/win32_registry_api.h"

namespace Tolvane::Win32Test {
namespace {

using Bytes = std::vector<BYTE>;
using Names = std::vector<std::string>;

// A value as the system stores it, read without the code under test.
Bytes RawValue(const std::string& path, const char* name, DWORD* type) {
    BYTE data[32] = {};
    DWORD size = sizeof data;
    *type = REG_NONE;
    ::RegGetValueA(HKEY_CURRENT_USER, path.c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, type, data,
                   &size);
    return Bytes(data, data + (*type == REG_NONE ? 0 : size));
}

void SetRaw(HKEY root, const std::string& path, const char* name, DWORD type, const void* data,
            DWORD size) {
    ASSERT_EQ(ERROR_SUCCESS, ::RegSetKeyValueA(root, path.c_str(), name, type, data, size));
}

Names Sorted(const ZRK::CTextList& list) {
    Names names;
    for (std::uint32_t i = 0; i < list.GetSize(); ++i) {
        names.emplace_back(list.At(i).GetString());
    }
    std::sort(names.begin(), names.end());
    return names;
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
    const std::string& Path() const { return path_; }
    HKEY Key() const { return key_; }

    const std::string path_ = "Software\\TolvaneTest-" + std::to_string(::GetCurrentProcessId());
    HKEY key_ = nullptr;
    ZRK::CWin32RegistryApi api_;
};

// The codes the accessor tells apart: 2 for what is missing, 259 at the end
// of a listing.
TEST_F(Win32RegistryTest, MissingKeysAndValuesGiveTwoAndListingsEndWith259) {
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, api_.RegOpenKeyExA(Key(), "No\\Key", 0, KEY_READ, &key));
    DWORD type = 0;
    DWORD size = 0;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              api_.RegQueryValueExA(Key(), "NoValue", nullptr, &type, nullptr, &size));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, api_.RegDeleteValueA(Key(), "NoValue"));
    char name[16];
    DWORD length = sizeof name;
    EXPECT_EQ(ERROR_NO_MORE_ITEMS,
              api_.RegEnumKeyExA(Key(), 0, name, &length, nullptr, nullptr, nullptr, nullptr));
    length = sizeof name;
    EXPECT_EQ(ERROR_NO_MORE_ITEMS,
              api_.RegEnumValueA(Key(), 0, name, &length, nullptr, nullptr, nullptr, nullptr));
}

// Each value type goes through the accessor into the system's registry type
// byte for byte and comes back with its type code. The section and one value
// are named in code page 932 with a 5Ch trail byte: one name each, never a
// path split at that byte.
TEST_F(Win32RegistryTest, TheAccessorStoresAndReadsEveryTypeOnTheSystemsRegistry) {
    ASSERT_EQ(932u, ::GetACP()) << "the Wine run must use LC_ALL=ja_JP.UTF-8";
    const char kName[] = "\x83\x5C\x83\x74\x83\x67";  // "ソフト"
    const std::string section = Path() + "\\" + kName;
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
    Names names;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(accessor.WriteValue(section.c_str(), row.name, row.value));
        DWORD type = 0;
        EXPECT_EQ(row.stored, RawValue(section, row.name, &type));
        EXPECT_EQ(row.type, type);
        EXPECT_EQ(row.value.GetType(), accessor.GetValueType(section.c_str(), row.name));
        const ZRK::CAccessorValue read = accessor.QueryValue(section.c_str(), row.name);
        EXPECT_EQ(row.value.GetType(), read.GetType());
        EXPECT_STREQ(row.value.ToText(), read.ToText());
        names.push_back(row.name);
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, Sorted(accessor.EnumValueNames(section.c_str())));
    EXPECT_EQ(Names{kName}, Sorted(accessor.EnumSections(Path().c_str())));

    // An expandable text, as the system stores it.
    const char expand[] = "%SystemRoot%\\inf";
    SetRaw(HKEY_CURRENT_USER, section, "expand", REG_EXPAND_SZ, expand, sizeof expand);
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

TEST_F(Win32RegistryTest, DeleteSectionRemovesAWholeTreeAndReportsTheSystemsCode) {
    SetRaw(HKEY_CURRENT_USER, Path() + "\\Tree\\A\\B", "v", REG_SZ, "x", 2);
    SetRaw(HKEY_CURRENT_USER, Path() + "\\Tree\\C", "v", REG_SZ, "y", 2);
    SetRaw(HKEY_CURRENT_USER, Path() + "\\Sibling", "v", REG_SZ, "z", 2);
    ZRK::CRegistryAccessor accessor(api_, HKEY_CURRENT_USER, KEY_ALL_ACCESS);
    const std::string tree = Path() + "\\Tree";
    api_.SetLastError(ERROR_GEN_FAILURE);
    EXPECT_TRUE(accessor.DeleteSection(tree.c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), api_.GetLastError());
    EXPECT_EQ(Names{"Sibling"}, Sorted(accessor.EnumSections(Path().c_str())));
    EXPECT_FALSE(accessor.DeleteSection(tree.c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), ::GetLastError());
}

}  // namespace
}  // namespace Tolvane::Win32Test
