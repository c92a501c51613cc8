#include "platform/sim/sim_registry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace Tolvane {
namespace Sim {
namespace {

using Names = std::vector<std::string>;
const HKEY kLm = HKEY_LOCAL_MACHINE;
constexpr LONG kBadPathname = 161;  // ERROR_BAD_PATHNAME

class SimRegistryTest : public ::testing::Test {
protected:
    void TearDown() override {
        EXPECT_EQ(reg.OpenKeyCount(), 0u);
        EXPECT_TRUE(reg.LeakedKeys().empty());
    }

    HKEY Open(const std::string& path, REGSAM access = KEY_READ) {
        HKEY key = nullptr;
        EXPECT_EQ(reg.RegOpenKeyExA(kLm, path.c_str(), 0, access, &key), ERROR_SUCCESS) << path;
        return key;
    }
    LONG Create(HKEY root, const char* path, REGSAM access, HKEY* key, DWORD* disp = nullptr) {
        return reg.RegCreateKeyExA(root, path, 0, nullptr, 0, access, nullptr, key, disp);
    }
    LONG Query(HKEY key, const char* name, BYTE* data, DWORD* size, DWORD* type = nullptr) {
        return reg.RegQueryValueExA(key, name, nullptr, type, data, size);
    }
    LONG EnumKey(HKEY key, DWORD index, char* name, DWORD* size) {
        return reg.RegEnumKeyExA(key, index, name, size, nullptr, nullptr, nullptr, nullptr);
    }
    void Close(std::initializer_list<HKEY> keys) {
        for (HKEY key : keys) {
            EXPECT_EQ(reg.RegCloseKey(key), ERROR_SUCCESS);
        }
    }

    CSimRegistry reg;
};

// Case-insensitive lookup and listing in creation order are relied on (and
// checked) throughout the discovery tests; here what they leave unchecked.
TEST_F(SimRegistryTest, NamesKeepTheirFirstSpellingAndDoubleByteCharactersAreNotFolded) {
    reg.SetString(kLm, "Soft\\Zeta", "Name", "z");
    reg.SetString(kLm, "soft\\ZETA", "NAME", "replaced");
    EXPECT_EQ(reg.SubKeyNames(kLm, "SOFT"), Names{"Zeta"});
    EXPECT_EQ(reg.ValueNames(kLm, "Soft\\Zeta"), Names{"Name"});
    std::vector<BYTE> data;
    ASSERT_TRUE(reg.GetValue(kLm, "soft\\zeta", "name", nullptr, &data));
    EXPECT_STREQ(reinterpret_cast<const char*>(data.data()), "replaced");
    // 83 5C is one character whose trail byte is a backslash; 83 61 and
    // 83 41 are two different characters.
    const std::string so = "\x83\x5C";
    ASSERT_TRUE(reg.CreateKey(kLm, "K\\" + so + "X"));
    EXPECT_EQ(reg.SubKeyNames(kLm, "K"), Names{so + "X"});
    EXPECT_TRUE(reg.KeyExists(kLm, "k\\" + so + "x"));
    reg.CreateKey(kLm, "K\\\x83\x61");
    reg.CreateKey(kLm, "K\\\x83\x41");
    EXPECT_EQ(reg.SubKeyNames(kLm, "K").size(), 3u);
}

TEST_F(SimRegistryTest, BadPathsAreRefused) {
    HKEY key = reinterpret_cast<HKEY>(1);
    EXPECT_EQ(reg.RegOpenKeyExA(kLm, "\\A", 0, KEY_READ, &key), kBadPathname);
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(Create(kLm, "A\\\\B", KEY_ALL_ACCESS, &key), kBadPathname);
    EXPECT_FALSE(reg.KeyExists(kLm, "A"));
    EXPECT_FALSE(reg.CreateKey(kLm, "\\"));
    EXPECT_FALSE(reg.CreateKey(reinterpret_cast<HKEY>(0x1234), "A"));
    // One trailing backslash is accepted.
    ASSERT_TRUE(reg.CreateKey(kLm, "A\\"));
    Close({Open("A\\")});
}

TEST_F(SimRegistryTest, QueryValueAndEnumerationFollowTheWindowsSizeProtocol) {
    reg.SetBinary(kLm, "K", "Bin", {1, 2, 3, 4, 5});
    const std::string tooLong(1024, 'v');
    reg.CreateKey(kLm, "K\\" + tooLong);
    HKEY key = Open("K");
    DWORD type = 0;
    DWORD size = 0;
    EXPECT_EQ(Query(key, "Bin", nullptr, &size, &type), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(size, 5u);
    // Too small a buffer is left untouched; the size needed comes back.
    BYTE buffer[8] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
    size = 4;
    EXPECT_EQ(Query(key, "Bin", buffer, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(buffer[0], 0xEE);
    size = sizeof buffer;
    EXPECT_EQ(Query(key, "Bin", buffer, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(buffer[4], 5);
    EXPECT_EQ(buffer[5], 0xEE);
    EXPECT_EQ(Query(key, "Missing", nullptr, &size), ERROR_FILE_NOT_FOUND);

    // A listed name's size counts its characters without the zero; the
    // 1023/1024-byte limit itself is checked through the accessor.
    std::vector<char> name(1100, '#');
    size = 1024;
    EXPECT_EQ(EnumKey(key, 0, name.data(), &size), ERROR_MORE_DATA);
    EXPECT_EQ(name[0], '#');
    size = 1025;
    EXPECT_EQ(EnumKey(key, 0, name.data(), &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 1024u);
    EXPECT_EQ(EnumKey(key, 1, name.data(), &size), ERROR_NO_MORE_ITEMS);
    Close({key});
}

TEST_F(SimRegistryTest, HandlesAreAccountedAndNeverReused) {
    reg.SetDword(kLm, "A\\B", "V", 1);
    HKEY a = Open("A");
    HKEY b = Open("a\\b");
    HKEY root = Open("");
    EXPECT_NE(root, kLm);
    EXPECT_EQ(reg.LeakedKeys(),
              (Names{"HKEY_LOCAL_MACHINE\\A", "HKEY_LOCAL_MACHINE\\A\\B", "HKEY_LOCAL_MACHINE"}));
    EXPECT_EQ(reg.RegCloseKey(b), ERROR_SUCCESS);
    EXPECT_EQ(reg.RegCloseKey(b), ERROR_INVALID_HANDLE);
    EXPECT_EQ(reg.RegCloseKey(reinterpret_cast<HKEY>(0x12345)), ERROR_INVALID_HANDLE);
    EXPECT_EQ(reg.InvalidCloseCount(), 2u);
    HKEY again = Open("A\\B");
    EXPECT_NE(again, b);
    DWORD size = 0;
    EXPECT_EQ(Query(b, "V", nullptr, &size), ERROR_INVALID_HANDLE);
    EXPECT_EQ(reg.InvalidHandleUseCount(), 1u);
    // The accessor's root handle closes HKEY_LOCAL_MACHINE itself: harmless,
    // but counted apart.
    EXPECT_EQ(reg.RegCloseKey(kLm), ERROR_SUCCESS);
    EXPECT_EQ(reg.RootCloseCount(), 1u);
    EXPECT_EQ(reg.InvalidCloseCount(), 2u);
    Close({a, root, again});
}

TEST_F(SimRegistryTest, DeleteKeyRefusesParentsRootsMissingAndProtectedKeys) {
    reg.CreateKey(kLm, "D\\Child\\Grandchild");
    reg.CreateKey(kLm, "D\\Locked");
    reg.DenyAccess(kLm, "D\\Locked", DELETE);
    const std::pair<const char*, LONG> steps[] = {
        {"D\\Child", ERROR_ACCESS_DENIED},
        {"D\\Nope", ERROR_FILE_NOT_FOUND},
        {"", ERROR_ACCESS_DENIED},
        {"D\\Locked", ERROR_ACCESS_DENIED},
        {"D\\Child\\Grandchild", ERROR_SUCCESS},
        {"D\\Child", ERROR_SUCCESS},
    };
    for (const auto& [path, result] : steps) {
        EXPECT_EQ(reg.RegDeleteKeyA(kLm, path), result) << path;
    }
    EXPECT_EQ(reg.SubKeyNames(kLm, "D"), Names{"Locked"});
}

// Denial over a whole subtree is what the administrator check meets, and is
// checked there; here a rule on one key only.
TEST_F(SimRegistryTest, ARuleWithoutSubtreeHoldsForItsOwnKeyAndItsNewChildrenOnly) {
    const std::string control = "SYSTEM\\CurrentControlSet\\Control";
    reg.CreateKey(kLm, control + "\\COM Name Arbiter");
    reg.DenyAccess(kLm, control, CSimRegistry::kAdminOnlyRights);
    HKEY key = nullptr;
    EXPECT_EQ(reg.RegOpenKeyExA(kLm, control.c_str(), 0, KEY_ALL_ACCESS, &key),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(Create(kLm, (control + "\\New").c_str(), KEY_READ, &key), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(reg.KeyExists(kLm, control + "\\New"));
    Close({Open(control, KEY_READ), Open(control + "\\COM Name Arbiter", KEY_ALL_ACCESS)});
    reg.AllowAccess(kLm, control);
    Close({Open(control, KEY_ALL_ACCESS)});
}

TEST_F(SimRegistryTest, HandlesKeepTheRightsTheyWereOpenedWith) {
    HKEY key = nullptr;
    ASSERT_EQ(Create(kLm, "N\\M", KEY_QUERY_VALUE, &key), ERROR_SUCCESS);
    const BYTE one = 1;
    EXPECT_EQ(reg.RegSetValueExA(key, "V", 0, REG_BINARY, &one, 1), ERROR_ACCESS_DENIED);
    Close({key});
    ASSERT_EQ(Create(kLm, "n\\m", KEY_SET_VALUE, &key), ERROR_SUCCESS);
    EXPECT_EQ(reg.RegSetValueExA(key, "V", 0, REG_BINARY, &one, 1), ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(Query(key, "V", nullptr, &size), ERROR_ACCESS_DENIED);
    EXPECT_EQ(reg.RegDeleteValueA(key, "V"), ERROR_SUCCESS);
    Close({key});
    EXPECT_EQ(reg.KeyCount(), 2u);
}

TEST_F(SimRegistryTest, InjectedFailuresHitTheChosenCallsOnly) {
    for (const char* sub : {"a", "b", "c", "d"}) {
        reg.CreateKey(kLm, std::string("F\\") + sub);
    }
    reg.SetDword(kLm, "F", "One", 1);
    reg.SetDword(kLm, "F", "Two", 2);
    ASSERT_TRUE(reg.InjectFailure(ERegCall::EnumKey, kLm, "f", ERROR_CANTREAD, 2));
    ASSERT_TRUE(reg.InjectValueFailure(ERegCall::QueryValue, kLm, "F", "two", ERROR_CANTREAD, 0,
                                       CSimRegistry::kAlways));
    ASSERT_TRUE(reg.InjectFailure(ERegCall::OpenKey, kLm, "F\\Missing", ERROR_ACCESS_DENIED));
    HKEY key = Open("F");
    std::vector<LONG> results;
    for (DWORD i = 0; i < 5; ++i) {
        char name[8];
        DWORD size = sizeof name;
        results.push_back(EnumKey(key, i, name, &size));
    }
    EXPECT_EQ(results, (std::vector<LONG>{0, 0, ERROR_CANTREAD, 0, ERROR_NO_MORE_ITEMS}));
    DWORD size = 0;
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(Query(key, "One", nullptr, &size), ERROR_SUCCESS);
        EXPECT_EQ(Query(key, "Two", nullptr, &size), ERROR_CANTREAD);
    }
    HKEY missing = nullptr;
    EXPECT_EQ(reg.RegOpenKeyExA(kLm, "F\\MISSING", 0, KEY_READ, &missing), ERROR_ACCESS_DENIED);
    EXPECT_EQ(reg.RegOpenKeyExA(kLm, "F\\MISSING", 0, KEY_READ, &missing), ERROR_FILE_NOT_FOUND);
    reg.ClearFailures();
    EXPECT_EQ(Query(key, "Two", nullptr, &size), ERROR_SUCCESS);
    Close({key});
}

TEST_F(SimRegistryTest, ExpandEnvironmentStringsReturnsTheSizeWithTheZero) {
    char buffer[64];
    const char* text = "%SystemRoot%\\system32";
    const DWORD needed = reg.ExpandEnvironmentStringsA(text, nullptr, 0);
    EXPECT_EQ(needed, std::strlen("C:\\WINDOWS\\system32") + 1);
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(reg.ExpandEnvironmentStringsA(text, buffer, needed - 1), needed);
    EXPECT_EQ(buffer[0], '#');
    EXPECT_EQ(reg.ExpandEnvironmentStringsA(text, buffer, needed), needed);
    EXPECT_STREQ(buffer, "C:\\WINDOWS\\system32");

    reg.SetEnvironment("Tmp", "T");
    reg.ExpandEnvironmentStringsA("%tmp%%Nope%%%50% %WINDIR", buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "T%Nope%%%50% %WINDIR");
    EXPECT_EQ(reg.ExpandEnvironmentStringsA(nullptr, buffer, sizeof buffer), 0u);
    reg.InjectFailure(ERegCall::ExpandEnvironment, nullptr, "", ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(reg.ExpandEnvironmentStringsA(text, buffer, sizeof buffer), 0u);
    EXPECT_EQ(reg.GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
}

TEST_F(SimRegistryTest, DeepTreesAreBuiltOpenedAndTornDownWithoutRecursion) {
    std::string path = "Deep";
    for (int i = 0; i < 3000; ++i) {
        path += "\\L";
    }
    ASSERT_TRUE(reg.CreateKey(kLm, path));
    EXPECT_EQ(reg.KeyCount(), 3001u);
    HKEY leaf = Open(path);
    EXPECT_TRUE(reg.DeleteTree(kLm, "Deep"));
    EXPECT_EQ(reg.KeyCount(), 0u);
    // A handle outlives its deleted key; every call through it says so.
    DWORD size = 0;
    EXPECT_EQ(Query(leaf, "x", nullptr, &size), ERROR_KEY_DELETED);
    char name[8];
    size = sizeof name;
    EXPECT_EQ(EnumKey(leaf, 0, name, &size), ERROR_KEY_DELETED);
    EXPECT_EQ(reg.LeakedKeys(), Names{"HKEY_LOCAL_MACHINE\\" + path + " (deleted)"});
    Close({leaf});
    // The registry's own destructor copes with a deep tree as well.
    CSimRegistry other;
    EXPECT_TRUE(other.CreateKey(HKEY_CURRENT_USER, path));
}

}  // namespace
}  // namespace Sim
}  // namespace Tolvane
