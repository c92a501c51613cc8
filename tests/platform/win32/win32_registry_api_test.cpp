// The registry pass-through against Wine's real registry: what the registry
// accessor and the port finder rely on from the platform, checked on an
// implementation we did not write.
#include "platform/win32/win32_registry_api.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "scratch_key.h"

namespace Tolvane::Win32Test {
namespace {

using Bytes = std::vector<BYTE>;

Bytes B(std::initializer_list<int> values) {
    Bytes b;
    for (int v : values) {
        b.push_back(static_cast<BYTE>(v));
    }
    return b;
}

// A literal's bytes including its terminating zero.
template <std::size_t N>
Bytes Lit(const char (&s)[N]) {
    return Bytes(reinterpret_cast<const BYTE*>(s), reinterpret_cast<const BYTE*>(s) + N);
}

class Win32RegistryTest : public ScratchKeyTest {
protected:
    HKEY CreateChild(HKEY parent, const char* name, DWORD* disposition = nullptr) {
        HKEY child = nullptr;
        DWORD d = 0;
        EXPECT_EQ(ERROR_SUCCESS,
                  api_.RegCreateKeyExA(parent, name, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                       KEY_ALL_ACCESS, nullptr, &child, &d));
        if (disposition != nullptr) {
            *disposition = d;
        }
        return child;
    }

    std::vector<std::string> EnumKeys(HKEY key, LONG* last) {
        std::vector<std::string> names;
        for (DWORD i = 0;; ++i) {
            char name[1024];
            DWORD size = sizeof name;
            FILETIME written{};
            *last = api_.RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, &written);
            if (*last != ERROR_SUCCESS || i > 100) {
                break;
            }
            EXPECT_EQ(std::strlen(name), size) << "size excludes the terminating zero";
            names.emplace_back(name, size);
        }
        return names;
    }

    ZRK::CWin32RegistryApi api_;
};

TEST_F(Win32RegistryTest, CreateOpensExistingKeysAndBuildsIntermediateOnes) {
    DWORD disposition = 0;
    HKEY first = CreateChild(Key(), "Level1\\Level2\\Level3", &disposition);
    EXPECT_EQ(static_cast<DWORD>(REG_CREATED_NEW_KEY), disposition);
    HKEY again = CreateChild(Key(), "Level1\\Level2\\Level3", &disposition);
    EXPECT_EQ(static_cast<DWORD>(REG_OPENED_EXISTING_KEY), disposition);
    EXPECT_EQ(ERROR_SUCCESS, api_.RegCloseKey(first));
    EXPECT_EQ(ERROR_SUCCESS, api_.RegCloseKey(again));

    HKEY opened = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, api_.RegOpenKeyExA(Key(), "Level1\\Level2", 0,
                                                KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS, &opened));
    LONG last = 0;
    EXPECT_EQ(std::vector<std::string>{"Level3"}, EnumKeys(opened, &last));
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, last);
    EXPECT_EQ(ERROR_SUCCESS, api_.RegCloseKey(opened));

    // An empty sub-key path opens a new handle on the key itself.
    HKEY self = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, api_.RegOpenKeyExA(Key(), "", 0, KEY_READ, &self));
    EXPECT_EQ(std::vector<std::string>{"Level1"}, EnumKeys(self, &last));
    EXPECT_EQ(ERROR_SUCCESS, api_.RegCloseKey(self));
}

TEST_F(Win32RegistryTest, MissingKeysAndValuesGiveFileNotFound) {
    HKEY missing = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, api_.RegOpenKeyExA(Key(), "NoSuchKey", 0, KEY_READ, &missing));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              api_.RegOpenKeyExA(Key(), "NoSuchKey\\Deeper", 0, KEY_READ, &missing));

    DWORD type = 0xDEAD;
    DWORD size = 0;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              api_.RegQueryValueExA(Key(), "NoSuchValue", nullptr, &type, nullptr, &size));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, api_.RegDeleteValueA(Key(), "NoSuchValue"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, api_.RegDeleteKeyA(Key(), "NoSuchKey"));
}

TEST_F(Win32RegistryTest, EnumerationListsEverySubKeyThenNoMoreItems) {
    LONG last = 0;
    EXPECT_TRUE(EnumKeys(Key(), &last).empty());
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, last) << "an empty key ends at index 0";

    const std::set<std::string> made = {"USB", "ROOT", "VID_04D8&PID_E6B2", "a b c"};
    for (const std::string& name : made) {
        EXPECT_EQ(ERROR_SUCCESS, api_.RegCloseKey(CreateChild(Key(), name.c_str())));
    }
    const std::vector<std::string> listed = EnumKeys(Key(), &last);
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, last);
    EXPECT_EQ(made, std::set<std::string>(listed.begin(), listed.end()));

    // A name buffer one byte too short for the name and its zero is refused.
    const auto longest = std::find(listed.begin(), listed.end(), "VID_04D8&PID_E6B2");
    ASSERT_NE(listed.end(), longest);
    char small[17];
    DWORD size = sizeof small;
    EXPECT_EQ(ERROR_MORE_DATA,
              api_.RegEnumKeyExA(Key(), static_cast<DWORD>(longest - listed.begin()), small, &size,
                                 nullptr, nullptr, nullptr, nullptr));
}

TEST_F(Win32RegistryTest, ValueEnumerationReportsNamesAndTypes) {
    const DWORD number = 7;
    ASSERT_EQ(ERROR_SUCCESS, api_.RegSetValueExA(Key(), "PortName", 0, REG_SZ,
                                                 reinterpret_cast<const BYTE*>("COM7"), 5));
    ASSERT_EQ(ERROR_SUCCESS,
              api_.RegSetValueExA(Key(), "Number", 0, REG_DWORD,
                                  reinterpret_cast<const BYTE*>(&number), sizeof number));
    std::set<std::pair<std::string, DWORD>> seen;
    LONG result = ERROR_SUCCESS;
    DWORD i = 0;
    for (; i < 10; ++i) {
        char name[1024];
        DWORD size = sizeof name;
        DWORD type = 0;
        result = api_.RegEnumValueA(Key(), i, name, &size, nullptr, &type, nullptr, nullptr);
        if (result != ERROR_SUCCESS) {
            break;
        }
        EXPECT_EQ(std::strlen(name), size);
        seen.emplace(name, type);
    }
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, result);
    EXPECT_EQ(2u, i);
    const std::set<std::pair<std::string, DWORD>> expected = {{"PortName", REG_SZ},
                                                              {"Number", REG_DWORD}};
    EXPECT_EQ(expected, seen);
}

struct TypedValue {
    const char* name;
    DWORD type;
    Bytes data;
};

TEST_F(Win32RegistryTest, EveryValueTypeRoundTripsByteForByte) {
    const std::vector<TypedValue> values = {
        {"sz", REG_SZ, Lit("COM3")},
        {"expand", REG_EXPAND_SZ, Lit("%SystemRoot%\\inf")},
        {"binary", REG_BINARY, B({0x00, 0xFF, 0x10, 0x5C, 0x00})},
        {"binary-empty", REG_BINARY, {}},
        {"dword", REG_DWORD, B({0x78, 0x56, 0x34, 0x12})},
        {"dword-be", REG_DWORD_BIG_ENDIAN, B({0x12, 0x34, 0x56, 0x78})},
        {"multi", REG_MULTI_SZ, Lit("USB\\VID_04D8&PID_E6B2\0USB\\Class_02\0")},
        {"qword", REG_QWORD, B({1, 2, 3, 4, 5, 6, 7, 0x80})},
        {"none", REG_NONE, B({0xAA})},
        {"none-empty", REG_NONE, {}},
    };
    for (const TypedValue& v : values) {
        SCOPED_TRACE(v.name);
        ASSERT_EQ(ERROR_SUCCESS, api_.RegSetValueExA(Key(), v.name, 0, v.type, v.data.data(),
                                                     static_cast<DWORD>(v.data.size())));

        // Without a buffer: the type and the size only.
        DWORD type = 0xDEAD;
        DWORD size = 0;
        ASSERT_EQ(ERROR_SUCCESS,
                  api_.RegQueryValueExA(Key(), v.name, nullptr, &type, nullptr, &size));
        EXPECT_EQ(v.type, type);
        EXPECT_EQ(v.data.size(), size);

        // With a buffer of exactly that size: the bytes as written.
        Bytes read(size + 4, 0xEE);
        DWORD readSize = size;
        ASSERT_EQ(ERROR_SUCCESS,
                  api_.RegQueryValueExA(Key(), v.name, nullptr, &type, read.data(), &readSize));
        EXPECT_EQ(v.data, Bytes(read.begin(), read.begin() + readSize));
        EXPECT_EQ(Bytes(4, 0xEE), Bytes(read.begin() + size, read.end()))
            << "nothing written past the given size";

        // One byte short: refused with the size needed, buffer not overrun.
        if (size > 0) {
            Bytes shortBuffer(size, 0xEE);
            DWORD shortSize = size - 1;
            EXPECT_EQ(ERROR_MORE_DATA, api_.RegQueryValueExA(Key(), v.name, nullptr, &type,
                                                             shortBuffer.data(), &shortSize));
            EXPECT_EQ(size, shortSize);
            EXPECT_EQ(0xEE, shortBuffer[size - 1]);
        }
    }
}

TEST_F(Win32RegistryTest, TextWithoutTerminatingZeroIsReturnedWithinItsSize) {
    ASSERT_EQ(ERROR_SUCCESS, api_.RegSetValueExA(Key(), "unterminated", 0, REG_SZ,
                                                 reinterpret_cast<const BYTE*>("COM9x"), 4));
    char buffer[16];
    std::memset(buffer, 'X', sizeof buffer);
    DWORD size = sizeof buffer;
    DWORD type = 0;
    ASSERT_EQ(ERROR_SUCCESS, api_.RegQueryValueExA(Key(), "unterminated", nullptr, &type,
                                                   reinterpret_cast<BYTE*>(buffer), &size));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    // The reader must go by the size: the data carries no zero of its own.
    ASSERT_GE(size, 4u);
    ASSERT_LE(size, 5u);
    EXPECT_EQ(0, std::memcmp(buffer, "COM9", 4));
}

TEST_F(Win32RegistryTest, ExpandableTextIsStoredUnexpandedAndExpandsSystemRoot) {
    const char raw[] = "%SystemRoot%\\system32";
    ASSERT_EQ(ERROR_SUCCESS, api_.RegSetValueExA(Key(), "path", 0, REG_EXPAND_SZ,
                                                 reinterpret_cast<const BYTE*>(raw), sizeof raw));
    char stored[64] = {};
    DWORD size = sizeof stored;
    DWORD type = 0;
    ASSERT_EQ(ERROR_SUCCESS, api_.RegQueryValueExA(Key(), "path", nullptr, &type,
                                                   reinterpret_cast<BYTE*>(stored), &size));
    EXPECT_EQ(static_cast<DWORD>(REG_EXPAND_SZ), type);
    EXPECT_STREQ(raw, stored) << "the registry call itself does not expand";

    char root[MAX_PATH] = {};
    ASSERT_GT(::GetEnvironmentVariableA("SystemRoot", root, sizeof root), 0u);
    const std::string expected = std::string(root) + "\\system32";

    // Asking for the size first, as the accessor does, then expanding.
    const DWORD needed = api_.ExpandEnvironmentStringsA(stored, nullptr, 0);
    EXPECT_EQ(expected.size() + 1, needed) << "the size includes the terminating zero";
    std::vector<char> expanded(needed + 4, 'X');
    EXPECT_EQ(needed, api_.ExpandEnvironmentStringsA(stored, expanded.data(), needed));
    EXPECT_EQ(expected, std::string(expanded.data()));
    EXPECT_EQ(std::string(4, 'X'), std::string(expanded.end() - 4, expanded.end()));

    // A buffer too small gets no more than its size, and the answer is the
    // size it would have needed.
    std::vector<char> small(8 + 4, 'X');
    EXPECT_EQ(needed, api_.ExpandEnvironmentStringsA(stored, small.data(), 8));
    EXPECT_EQ(std::string(4, 'X'), std::string(small.end() - 4, small.end()));

    // An unknown variable is left as written.
    char unknown[64] = {};
    const char source[] = "%TolvaneNoSuchVariable%\\x";
    EXPECT_EQ(sizeof source, api_.ExpandEnvironmentStringsA(source, unknown, sizeof unknown));
    EXPECT_STREQ(source, unknown);
}

TEST_F(Win32RegistryTest, KeysWithSubKeysAreNotDeletedDirectly) {
    HKEY parent = CreateChild(Key(), "Parent");
    EXPECT_EQ(ERROR_SUCCESS, api_.RegCloseKey(CreateChild(parent, "Child")));
    ASSERT_EQ(ERROR_SUCCESS,
              api_.RegSetValueExA(parent, "v", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2));
    EXPECT_EQ(ERROR_SUCCESS, api_.RegFlushKey(parent));

    // This is why deleting a section walks its sub-keys first.
    EXPECT_NE(ERROR_SUCCESS, api_.RegDeleteKeyA(Key(), "Parent"));
    EXPECT_EQ(ERROR_SUCCESS, api_.RegDeleteValueA(parent, "v"));
    EXPECT_EQ(ERROR_SUCCESS, api_.RegDeleteKeyA(parent, "Child"));
    EXPECT_EQ(ERROR_SUCCESS, api_.RegCloseKey(parent));
    EXPECT_EQ(ERROR_SUCCESS, api_.RegDeleteKeyA(Key(), "Parent"));

    HKEY gone = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, api_.RegOpenKeyExA(Key(), "Parent", 0, KEY_READ, &gone));
}

TEST_F(Win32RegistryTest, LastErrorPassesThrough) {
    api_.SetLastError(ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_ITEMS), ::GetLastError());
    ::SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), api_.GetLastError());
}

// The program keeps code page 932 bytes throughout and hands them to the A
// calls; under a Japanese locale they must reach the registry as one
// character each, including the lead/trail pairs whose trail byte is a
// backslash.
TEST_F(Win32RegistryTest, CodePage932NamesSurviveTheRoundTrip) {
    ASSERT_EQ(932u, ::GetACP()) << "the Wine run must use LC_ALL=ja_JP.UTF-8";
    const char name[] = "\x83\x5C\x83\x74\x83\x67";  // "ソフト": 0x5C as a trail byte
    HKEY child = CreateChild(Key(), name);
    ASSERT_NE(nullptr, child);
    const char data[] = "\x83\x7E\x83\x8B\x83\x67\x83\x70";  // the product name
    ASSERT_EQ(ERROR_SUCCESS, api_.RegSetValueExA(child, name, 0, REG_SZ,
                                                 reinterpret_cast<const BYTE*>(data), sizeof data));
    EXPECT_EQ(ERROR_SUCCESS, api_.RegCloseKey(child));

    LONG last = 0;
    EXPECT_EQ(std::vector<std::string>{name}, EnumKeys(Key(), &last))
        << "one key, not a path split at the trail byte";

    HKEY reopened = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, api_.RegOpenKeyExA(Key(), name, 0, KEY_READ, &reopened));
    char read[32] = {};
    DWORD size = sizeof read;
    DWORD type = 0;
    ASSERT_EQ(ERROR_SUCCESS, api_.RegQueryValueExA(reopened, name, nullptr, &type,
                                                   reinterpret_cast<BYTE*>(read), &size));
    EXPECT_EQ(sizeof data, size);
    EXPECT_STREQ(data, read);
    EXPECT_EQ(ERROR_SUCCESS, api_.RegCloseKey(reopened));
}

}  // namespace
}  // namespace Tolvane::Win32Test
