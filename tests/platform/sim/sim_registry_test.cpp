#include "platform/sim/sim_registry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace Tolvane {
namespace Sim {
namespace {

class SimRegistryTest : public ::testing::Test {
protected:
    void TearDown() override {
        EXPECT_EQ(reg.OpenKeyCount(), 0u);
        EXPECT_TRUE(reg.LeakedKeys().empty());
    }

    HKEY Open(const char* path, REGSAM access = KEY_READ) {
        HKEY key = nullptr;
        EXPECT_EQ(reg.RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, access, &key), ERROR_SUCCESS)
            << path;
        return key;
    }

    CSimRegistry reg;
};

TEST_F(SimRegistryTest, NamesAreCaseInsensitiveAndKeepCreationOrderAndSpelling) {
    reg.SetString(HKEY_LOCAL_MACHINE, "Soft\\Zeta", "Name", "z");
    reg.CreateKey(HKEY_LOCAL_MACHINE, "SOFT\\alpha");
    reg.CreateKey(HKEY_LOCAL_MACHINE, "soft\\Mid");
    reg.SetString(HKEY_LOCAL_MACHINE, "soft\\ZETA", "NAME", "replaced");

    EXPECT_EQ(reg.SubKeyNames(HKEY_LOCAL_MACHINE, "Soft"),
              (std::vector<std::string>{"Zeta", "alpha", "Mid"}));
    EXPECT_EQ(reg.ValueNames(HKEY_LOCAL_MACHINE, "Soft\\Zeta"), std::vector<std::string>{"Name"});
    EXPECT_EQ(reg.KeyCount(), 4u);

    HKEY key = Open("sOfT\\zEtA");
    char name[16];
    DWORD size = sizeof name;
    EXPECT_EQ(reg.RegEnumValueA(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_STREQ(name, "Name");
    EXPECT_EQ(size, 4u);
    BYTE data[16];
    DWORD dataSize = sizeof data;
    EXPECT_EQ(reg.RegQueryValueExA(key, "name", nullptr, nullptr, data, &dataSize), ERROR_SUCCESS);
    EXPECT_STREQ(reinterpret_cast<char*>(data), "replaced");
    EXPECT_EQ(reg.RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(SimRegistryTest, DoubleByteNamesAreNeitherSplitNorFoldedInsideACharacter) {
    // 83 5C is one katakana character whose trail byte is a backslash;
    // 83 61 and 83 41 are two different characters.
    const std::string so = "\x83\x5C";
    ASSERT_TRUE(reg.CreateKey(HKEY_LOCAL_MACHINE, "K\\" + so + "X"));
    EXPECT_EQ(reg.SubKeyNames(HKEY_LOCAL_MACHINE, "K"), std::vector<std::string>{so + "X"});
    reg.CreateKey(HKEY_LOCAL_MACHINE, "K\\\x83\x61");
    reg.CreateKey(HKEY_LOCAL_MACHINE, "K\\\x83\x41");
    EXPECT_EQ(reg.SubKeyNames(HKEY_LOCAL_MACHINE, "K").size(), 3u);
    EXPECT_TRUE(reg.KeyExists(HKEY_LOCAL_MACHINE, "k\\" + so + "x"));
}

TEST_F(SimRegistryTest, BadPathsAreRefused) {
    HKEY key = reinterpret_cast<HKEY>(1);
    EXPECT_EQ(reg.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "\\A", 0, KEY_READ, &key), 161);
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(reg.RegCreateKeyExA(HKEY_LOCAL_MACHINE, "A\\\\B", 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr),
              161);
    EXPECT_FALSE(reg.KeyExists(HKEY_LOCAL_MACHINE, "A"));
    EXPECT_FALSE(reg.CreateKey(HKEY_LOCAL_MACHINE, "\\"));
    // One trailing backslash is accepted.
    ASSERT_TRUE(reg.CreateKey(HKEY_LOCAL_MACHINE, "A\\"));
    key = Open("A\\");
    EXPECT_EQ(reg.RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_FALSE(reg.CreateKey(reinterpret_cast<HKEY>(0x1234), "A"));
}

TEST_F(SimRegistryTest, QueryValueFollowsTheWindowsSizeProtocol) {
    reg.SetBinary(HKEY_LOCAL_MACHINE, "K", "Bin", {1, 2, 3, 4, 5});
    reg.SetValue(HKEY_LOCAL_MACHINE, "K", "", REG_SZ, {'d', 0});
    reg.SetValue(HKEY_LOCAL_MACHINE, "K", "Empty", REG_NONE, {});
    HKEY key = Open("K");

    DWORD type = 0;
    DWORD size = 0;
    EXPECT_EQ(reg.RegQueryValueExA(key, "Bin", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(size, 5u);

    BYTE buffer[8] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
    size = 4;
    EXPECT_EQ(reg.RegQueryValueExA(key, "Bin", nullptr, &type, buffer, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(buffer[0], 0xEE);
    size = sizeof buffer;
    EXPECT_EQ(reg.RegQueryValueExA(key, "Bin", nullptr, &type, buffer, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(buffer[4], 5);
    EXPECT_EQ(buffer[5], 0xEE);

    EXPECT_EQ(reg.RegQueryValueExA(key, "Missing", nullptr, &type, nullptr, &size),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(reg.RegQueryValueExA(key, nullptr, nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, 2u);
    EXPECT_EQ(reg.RegQueryValueExA(key, "Empty", nullptr, &type, buffer, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(reg.RegQueryValueExA(key, "Bin", nullptr, &type, buffer, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(reg.RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(SimRegistryTest, EnumerationCountsNameSizeInCharactersWithoutTheZero) {
    const std::string fits(1023, 'k');
    const std::string tooLong(1024, 'v');
    reg.CreateKey(HKEY_LOCAL_MACHINE, "E\\" + fits);
    reg.CreateKey(HKEY_LOCAL_MACHINE, "E\\" + tooLong);
    reg.SetDword(HKEY_LOCAL_MACHINE, "E", tooLong, 1);
    HKEY key = Open("E");

    std::vector<char> name(1100, '#');
    DWORD size = 1024;
    EXPECT_EQ(reg.RegEnumKeyExA(key, 0, name.data(), &size, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(size, 1023u);
    EXPECT_EQ(std::string(name.data()), fits);

    std::fill(name.begin(), name.end(), '#');
    size = 1024;
    EXPECT_EQ(reg.RegEnumKeyExA(key, 1, name.data(), &size, nullptr, nullptr, nullptr, nullptr),
              ERROR_MORE_DATA);
    EXPECT_EQ(name[0], '#');
    size = 1025;
    EXPECT_EQ(reg.RegEnumKeyExA(key, 1, name.data(), &size, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(size, 1024u);
    size = 1024;
    EXPECT_EQ(reg.RegEnumKeyExA(key, 2, name.data(), &size, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);

    size = 1024;
    EXPECT_EQ(reg.RegEnumValueA(key, 0, name.data(), &size, nullptr, nullptr, nullptr, nullptr),
              ERROR_MORE_DATA);
    size = 1025;
    DWORD type = 0;
    BYTE data[2];
    DWORD dataSize = sizeof data;
    EXPECT_EQ(reg.RegEnumValueA(key, 0, name.data(), &size, nullptr, &type, data, &dataSize),
              ERROR_MORE_DATA);
    EXPECT_EQ(dataSize, 4u);
    EXPECT_EQ(reg.RegEnumValueA(key, 1, name.data(), &size, nullptr, &type, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(reg.RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(SimRegistryTest, HandlesAreAccountedAndNeverReused) {
    reg.CreateKey(HKEY_LOCAL_MACHINE, "A\\B");
    HKEY a = Open("A");
    HKEY b = Open("a\\b");
    HKEY root = Open("");
    EXPECT_NE(a, b);
    EXPECT_NE(root, HKEY_LOCAL_MACHINE);
    EXPECT_EQ(reg.OpenKeyCount(), 3u);
    EXPECT_EQ(reg.LeakedKeys(),
              (std::vector<std::string>{"HKEY_LOCAL_MACHINE\\A", "HKEY_LOCAL_MACHINE\\A\\B",
                                        "HKEY_LOCAL_MACHINE"}));

    EXPECT_EQ(reg.RegCloseKey(b), ERROR_SUCCESS);
    EXPECT_EQ(reg.RegCloseKey(b), ERROR_INVALID_HANDLE);
    EXPECT_EQ(reg.RegCloseKey(reinterpret_cast<HKEY>(0x12345)), ERROR_INVALID_HANDLE);
    EXPECT_EQ(reg.InvalidCloseCount(), 2u);

    HKEY again = Open("A\\B");
    EXPECT_NE(again, b);
    DWORD size = 0;
    EXPECT_EQ(reg.RegQueryValueExA(b, "x", nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
    EXPECT_EQ(reg.InvalidHandleUseCount(), 1u);

    EXPECT_EQ(reg.RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
    EXPECT_EQ(reg.RootCloseCount(), 1u);
    EXPECT_EQ(reg.InvalidCloseCount(), 2u);

    for (HKEY key : {a, root, again}) {
        EXPECT_EQ(reg.RegCloseKey(key), ERROR_SUCCESS);
    }
}

TEST_F(SimRegistryTest, AHandleOutlivesItsDeletedKey) {
    reg.SetDword(HKEY_LOCAL_MACHINE, "P\\Gone", "V", 1);
    HKEY gone = Open("P\\Gone");
    HKEY parent = Open("P", KEY_ALL_ACCESS);
    EXPECT_EQ(reg.RegDeleteKeyA(parent, "gone"), ERROR_SUCCESS);
    EXPECT_FALSE(reg.KeyExists(HKEY_LOCAL_MACHINE, "P\\Gone"));
    EXPECT_EQ(reg.LeakedKeys()[0], "HKEY_LOCAL_MACHINE\\P\\Gone (deleted)");

    DWORD size = 0;
    EXPECT_EQ(reg.RegQueryValueExA(gone, "V", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
    char name[8];
    size = sizeof name;
    EXPECT_EQ(reg.RegEnumKeyExA(gone, 0, name, &size, nullptr, nullptr, nullptr, nullptr),
              ERROR_KEY_DELETED);
    HKEY sub = nullptr;
    EXPECT_EQ(reg.RegCreateKeyExA(gone, "X", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr),
              ERROR_KEY_DELETED);
    EXPECT_EQ(reg.RegCloseKey(gone), ERROR_SUCCESS);

    // A key of the same name made afterwards is a new key.
    reg.CreateKey(HKEY_LOCAL_MACHINE, "P\\Gone");
    EXPECT_FALSE(reg.GetValue(HKEY_LOCAL_MACHINE, "P\\Gone", "V", nullptr, nullptr));
    EXPECT_EQ(reg.RegCloseKey(parent), ERROR_SUCCESS);
}

TEST_F(SimRegistryTest, DeleteKeyRefusesParentsRootsAndMissingKeys) {
    reg.CreateKey(HKEY_LOCAL_MACHINE, "D\\Child\\Grandchild");
    EXPECT_EQ(reg.RegDeleteKeyA(HKEY_LOCAL_MACHINE, "D\\Child"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(reg.RegDeleteKeyA(HKEY_LOCAL_MACHINE, "D\\Nope"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(reg.RegDeleteKeyA(HKEY_LOCAL_MACHINE, ""), ERROR_ACCESS_DENIED);
    EXPECT_EQ(reg.RegDeleteKeyA(HKEY_LOCAL_MACHINE, "D\\Child\\Grandchild"), ERROR_SUCCESS);
    EXPECT_EQ(reg.RegDeleteKeyA(HKEY_LOCAL_MACHINE, "D\\Child"), ERROR_SUCCESS);
    EXPECT_EQ(reg.KeyCount(), 1u);

    reg.CreateKey(HKEY_LOCAL_MACHINE, "D\\Locked");
    reg.DenyAccess(HKEY_LOCAL_MACHINE, "D\\Locked", DELETE);
    EXPECT_EQ(reg.RegDeleteKeyA(HKEY_LOCAL_MACHINE, "D\\Locked"), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(reg.KeyExists(HKEY_LOCAL_MACHINE, "D\\Locked"));
}

TEST_F(SimRegistryTest, DeniedRightsBehaveLikeAUserWithoutAdministratorRights) {
    const char* control = "SYSTEM\\CurrentControlSet\\Control";
    reg.SetBinary(HKEY_LOCAL_MACHINE, std::string(control) + "\\COM Name Arbiter", "ComDB", {1});
    reg.DenyAccess(HKEY_LOCAL_MACHINE, control, CSimRegistry::kAdminOnlyRights);

    HKEY key = nullptr;
    EXPECT_EQ(reg.RegOpenKeyExA(HKEY_LOCAL_MACHINE, control, 0, KEY_ALL_ACCESS, &key),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(reg.RegCreateKeyExA(HKEY_LOCAL_MACHINE, control, 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(reg.RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\New", 0,
                                  nullptr, 0, KEY_READ, nullptr, &key, nullptr),
              ERROR_ACCESS_DENIED);
    EXPECT_FALSE(reg.KeyExists(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\New"));
    EXPECT_EQ(reg.OpenKeyCount(), 0u);

    // Reading is allowed; the rule is not inherited without `subtree`.
    key = Open(control, KEY_READ);
    EXPECT_EQ(reg.RegCloseKey(key), ERROR_SUCCESS);
    key = Open("SYSTEM\\CurrentControlSet\\Control\\COM Name Arbiter", KEY_ALL_ACCESS);
    EXPECT_EQ(reg.RegCloseKey(key), ERROR_SUCCESS);

    reg.DenyAccess(HKEY_LOCAL_MACHINE, "SYSTEM", CSimRegistry::kAdminOnlyRights, true);
    EXPECT_EQ(reg.RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                                "SYSTEM\\CurrentControlSet\\Control\\COM Name Arbiter", 0,
                                KEY_ALL_ACCESS, &key),
              ERROR_ACCESS_DENIED);
    reg.AllowAccess(HKEY_LOCAL_MACHINE, "SYSTEM");
    reg.AllowAccess(HKEY_LOCAL_MACHINE, control);
    key = Open(control, KEY_ALL_ACCESS);
    EXPECT_EQ(reg.RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(SimRegistryTest, CreateReportsWhatItDidAndHandlesKeepTheirRights) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(reg.RegCreateKeyExA(HKEY_LOCAL_MACHINE, "N\\M", 0, nullptr, 0, KEY_QUERY_VALUE,
                                  nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    const BYTE one = 1;
    EXPECT_EQ(reg.RegSetValueExA(key, "V", 0, REG_BINARY, &one, 1), ERROR_ACCESS_DENIED);
    char name[8];
    DWORD size = sizeof name;
    EXPECT_EQ(reg.RegEnumKeyExA(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(reg.RegCloseKey(key), ERROR_SUCCESS);

    ASSERT_EQ(reg.RegCreateKeyExA(HKEY_LOCAL_MACHINE, "n\\m", 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                  &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
    EXPECT_EQ(reg.RegSetValueExA(key, "V", 0, REG_BINARY, &one, 1), ERROR_SUCCESS);
    size = 0;
    EXPECT_EQ(reg.RegQueryValueExA(key, "V", nullptr, nullptr, nullptr, &size),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(reg.RegDeleteValueA(key, "V"), ERROR_SUCCESS);
    EXPECT_EQ(reg.RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(reg.KeyCount(), 2u);
}

TEST_F(SimRegistryTest, InjectedFailuresHitTheChosenCallsOnly) {
    for (const char* sub : {"a", "b", "c", "d"}) {
        reg.CreateKey(HKEY_LOCAL_MACHINE, std::string("F\\") + sub);
    }
    reg.SetDword(HKEY_LOCAL_MACHINE, "F", "One", 1);
    reg.SetDword(HKEY_LOCAL_MACHINE, "F", "Two", 2);
    ASSERT_TRUE(reg.InjectFailure(ERegCall::EnumKey, HKEY_LOCAL_MACHINE, "f", ERROR_CANTREAD, 2));
    ASSERT_TRUE(reg.InjectValueFailure(ERegCall::QueryValue, HKEY_LOCAL_MACHINE, "F", "two",
                                       ERROR_CANTREAD, 0, CSimRegistry::kAlways));
    ASSERT_TRUE(reg.InjectFailure(ERegCall::OpenKey, HKEY_LOCAL_MACHINE, "F\\Missing",
                                  ERROR_ACCESS_DENIED));

    HKEY key = Open("F");
    std::vector<LONG> results;
    for (DWORD i = 0; i < 5; ++i) {
        char name[8];
        DWORD size = sizeof name;
        results.push_back(
            reg.RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr));
    }
    EXPECT_EQ(results, (std::vector<LONG>{0, 0, ERROR_CANTREAD, 0, ERROR_NO_MORE_ITEMS}));

    DWORD size = 0;
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(reg.RegQueryValueExA(key, "One", nullptr, nullptr, nullptr, &size), 0);
        EXPECT_EQ(reg.RegQueryValueExA(key, "Two", nullptr, nullptr, nullptr, &size),
                  ERROR_CANTREAD);
    }
    HKEY missing = nullptr;
    EXPECT_EQ(reg.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "F\\MISSING", 0, KEY_READ, &missing),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(reg.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "F\\MISSING", 0, KEY_READ, &missing),
              ERROR_FILE_NOT_FOUND);

    reg.ClearFailures();
    EXPECT_EQ(reg.RegQueryValueExA(key, "Two", nullptr, nullptr, nullptr, &size), 0);
    EXPECT_EQ(reg.RegCloseKey(key), ERROR_SUCCESS);
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
    reg.RemoveEnvironment("TMP");
    reg.ExpandEnvironmentStringsA("%tmp%", buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "%tmp%");

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
    ASSERT_TRUE(reg.CreateKey(HKEY_LOCAL_MACHINE, path));
    EXPECT_EQ(reg.KeyCount(), 3001u);
    HKEY leaf = Open(path.c_str());
    EXPECT_TRUE(reg.DeleteTree(HKEY_LOCAL_MACHINE, "Deep"));
    EXPECT_EQ(reg.KeyCount(), 0u);
    DWORD size = 0;
    EXPECT_EQ(reg.RegQueryValueExA(leaf, "x", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
    EXPECT_EQ(reg.RegCloseKey(leaf), ERROR_SUCCESS);
    // The registry's own destructor copes with a deep tree as well.
    CSimRegistry other;
    EXPECT_TRUE(other.CreateKey(HKEY_CURRENT_USER, path));
}

}  // namespace
}  // namespace Sim
}  // namespace Tolvane
