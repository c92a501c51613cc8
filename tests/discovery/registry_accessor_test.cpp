#include "discovery/registry_accessor.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "lib/exceptions.h"
#include "platform/sim/sim_registry.h"

namespace ZRK {
namespace {

using Tolvane::Sim::CSimRegistry;
using Tolvane::Sim::ERegCall;

// The in-memory registry with hooks that run after a size query (a value
// query or an expansion without a buffer), to change things between the two
// calls the accessor makes, and an optional forged size answer.
class CRacingRegistry : public CSimRegistry {
public:
    std::function<void()> afterSizeQuery;
    std::function<void()> afterExpandSizeQuery;
    DWORD forgedSize = 0;

    DWORD ExpandEnvironmentStringsA(LPCSTR source, LPSTR destination, DWORD size) override {
        const DWORD n = CSimRegistry::ExpandEnvironmentStringsA(source, destination, size);
        if (destination == nullptr && afterExpandSizeQuery) {
            afterExpandSizeQuery();
        }
        return n;
    }

    LONG RegQueryValueExA(HKEY key, LPCSTR valueName, DWORD* reserved, DWORD* type, BYTE* data,
                          DWORD* dataSize) override {
        const LONG r =
            CSimRegistry::RegQueryValueExA(key, valueName, reserved, type, data, dataSize);
        if (data == nullptr && r == ERROR_SUCCESS) {
            if (forgedSize != 0 && dataSize != nullptr) {
                *dataSize = forgedSize;
            }
            if (afterSizeQuery) {
                afterSizeQuery();
            }
        }
        return r;
    }
};

std::vector<std::string> Names(const CTextList& list) {
    std::vector<std::string> names;
    for (std::uint32_t i = 0; i < list.GetSize(); ++i) {
        names.emplace_back(list.At(i).GetString());
    }
    return names;
}

std::vector<BYTE> Bytes(const CByteArray& array) {
    return std::vector<BYTE>(array.GetBuffer(), array.GetBuffer() + array.GetSize());
}

std::vector<BYTE> Stored(const CSimRegistry& reg, const std::string& path, const char* name,
                         DWORD* type) {
    std::vector<BYTE> data;
    EXPECT_TRUE(reg.GetValue(HKEY_LOCAL_MACHINE, path, name, type, &data)) << path << " " << name;
    return data;
}

class RegistryAccessorTest : public ::testing::Test {
protected:
    // Every accessor of a test lives inside the test body: by now each key it
    // opened must be closed exactly once.
    void TearDown() override {
        std::string leaked;
        for (const auto& path : reg.LeakedKeys()) {
            leaked += path + "; ";
        }
        EXPECT_EQ(reg.OpenKeyCount(), 0u) << leaked;
        EXPECT_EQ(reg.InvalidCloseCount(), 0u);
        EXPECT_EQ(reg.InvalidHandleUseCount(), 0u);
    }

    CRacingRegistry reg;
};

// --- CKeyHandle -------------------------------------------------------------

TEST_F(RegistryAccessorTest, KeyHandleClosesItsKeyOnTheLastReleaseOnly) {
    reg.CreateKey(HKEY_LOCAL_MACHINE, "A");
    reg.CreateKey(HKEY_LOCAL_MACHINE, "B");
    HKEY a = nullptr;
    HKEY b = nullptr;
    ASSERT_EQ(reg.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "A", 0, KEY_READ, &a), ERROR_SUCCESS);
    ASSERT_EQ(reg.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "B", 0, KEY_READ, &b), ERROR_SUCCESS);
    {
        CKeyHandle first(reg, a);
        CKeyHandle copy = first;
        EXPECT_EQ(first.GetRefCount(), 2);
        EXPECT_EQ(copy.GetKey(), a);
        first.Set(reg, a);  // the key it holds: nothing changes
        EXPECT_EQ(first.GetRefCount(), 2);
        first.Set(reg, b);  // the copy keeps A open
        EXPECT_EQ(copy.GetRefCount(), 1);
        EXPECT_EQ(reg.OpenKeyCount(), 2u);
        copy = first;  // last share of A goes
        EXPECT_EQ(reg.OpenKeyCount(), 1u);
        EXPECT_EQ(first.GetRefCount(), 2);
        first.Set(reg, nullptr);
        EXPECT_TRUE(first.IsEmpty());
        EXPECT_EQ(first.GetRefCount(), 0);
        EXPECT_EQ(first.GetApi(), nullptr);
        CKeyHandle moved(std::move(copy));
        EXPECT_TRUE(copy.IsEmpty());  // NOLINT: a moved-from handle is empty
        EXPECT_EQ(moved.GetKey(), b);
        EXPECT_EQ(reg.CallCount(ERegCall::CloseKey), 1u);
    }
    EXPECT_EQ(reg.CallCount(ERegCall::CloseKey), 2u);
}

// --- Sections and their keys ---------------------------------------------------

TEST_F(RegistryAccessorTest, SectionKeyStaysOpenUntilTheSectionChangesCaseSensitively) {
    reg.SetDword(HKEY_LOCAL_MACHINE, "Soft\\Tool", "N", 1);
    CRegistryAccessor accessor(reg, HKEY_LOCAL_MACHINE, KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS);
    EXPECT_EQ(accessor.GetValueType("Soft\\Tool", "N"), kValueDword);
    EXPECT_EQ(accessor.GetValueType("Soft\\Tool", "N"), kValueDword);
    EXPECT_EQ(accessor.QueryValue("Soft\\Tool", "N").GetNumber(), 1);
    EXPECT_EQ(reg.CallCount(ERegCall::OpenKey), 1u);
    EXPECT_EQ(reg.OpenKeyCount(), 1u);

    // The registry finds the key in any case, but the accessor sees another
    // section and reopens.
    EXPECT_EQ(accessor.GetValueType("soft\\tool", "N"), kValueDword);
    EXPECT_EQ(reg.CallCount(ERegCall::OpenKey), 2u);
    EXPECT_EQ(reg.OpenKeyCount(), 1u);
    EXPECT_STREQ(accessor.GetCurrentSection(), "soft\\tool");

    // Listing the root leaves the current section and its key alone.
    EXPECT_EQ(Names(accessor.EnumSections(nullptr)), std::vector<std::string>{"Soft"});
    EXPECT_EQ(Names(accessor.EnumSections("")), std::vector<std::string>{"Soft"});
    EXPECT_STREQ(accessor.GetCurrentSection(), "soft\\tool");
    EXPECT_FALSE(accessor.GetCurrentSectionKey().IsEmpty());
    EXPECT_EQ(reg.CallCount(ERegCall::OpenKey), 2u);
    EXPECT_STREQ(accessor.GetTypeName(), "Registry");
}

TEST_F(RegistryAccessorTest, ASectionThatCannotBeOpenedIsTriedAgainNextTime) {
    CRegistryAccessor accessor(reg, HKEY_LOCAL_MACHINE, KEY_READ);
    EXPECT_EQ(accessor.GetValueType("Later", "V"), kValueNone);
    EXPECT_TRUE(accessor.GetCurrentSectionKey().IsEmpty());
    EXPECT_FALSE(accessor.Flush());
    reg.SetString(HKEY_LOCAL_MACHINE, "Later", "V", "now");
    EXPECT_EQ(accessor.GetValueType("Later", "V"), kValueText);
    EXPECT_EQ(reg.CallCount(ERegCall::OpenKey), 2u);
    EXPECT_TRUE(accessor.Flush());
    reg.InjectFailure(ERegCall::FlushKey, HKEY_LOCAL_MACHINE, "Later", ERROR_CANTWRITE);
    EXPECT_FALSE(accessor.Flush());
}

TEST_F(RegistryAccessorTest, GetSectionKeyOpensThenCreatesThenGivesTheEmptyHandle) {
    reg.CreateKey(HKEY_LOCAL_MACHINE, "Exists");
    reg.DenyAccess(HKEY_LOCAL_MACHINE, "Locked", KEY_CREATE_SUB_KEY);
    reg.CreateKey(HKEY_LOCAL_MACHINE, "Locked");
    CRegistryAccessor accessor(reg, HKEY_LOCAL_MACHINE, KEY_ALL_ACCESS);

    EXPECT_FALSE(accessor.GetSectionKey("Exists").IsEmpty());
    EXPECT_EQ(reg.CallCount(ERegCall::CreateKey), 0u);
    EXPECT_FALSE(accessor.GetSectionKey("New\\Deeper").IsEmpty());
    EXPECT_TRUE(reg.KeyExists(HKEY_LOCAL_MACHINE, "New\\Deeper"));
    EXPECT_TRUE(accessor.GetSectionKey("Locked\\Child").IsEmpty());
    EXPECT_FALSE(reg.KeyExists(HKEY_LOCAL_MACHINE, "Locked\\Child"));
    EXPECT_EQ(reg.OpenKeyCount(), 0u);
}

// --- Types and values ----------------------------------------------------------

TEST_F(RegistryAccessorTest, RegistryTypesMapToTypeCodes) {
    const char* k = "Types";
    reg.SetString(HKEY_LOCAL_MACHINE, k, "sz", "x");
    reg.SetString(HKEY_LOCAL_MACHINE, k, "expand", "x", REG_EXPAND_SZ);
    reg.SetBinary(HKEY_LOCAL_MACHINE, k, "bin", {1});
    reg.SetDword(HKEY_LOCAL_MACHINE, k, "dword", 1);
    reg.SetMultiString(HKEY_LOCAL_MACHINE, k, "multi", {"a"});
    reg.SetQword(HKEY_LOCAL_MACHINE, k, "qword", 1);
    reg.SetValue(HKEY_LOCAL_MACHINE, k, "none", REG_NONE, {1});
    reg.SetValue(HKEY_LOCAL_MACHINE, k, "big", REG_DWORD_BIG_ENDIAN, {0, 0, 0, 1});
    reg.SetValue(HKEY_LOCAL_MACHINE, k, "link", REG_LINK, {1, 0});
    CRegistryAccessor accessor(reg, HKEY_LOCAL_MACHINE, KEY_READ);
    const std::vector<std::pair<const char*, std::uint32_t>> expected = {
        {"sz", 's'},    {"expand", 's'}, {"bin", 'b'}, {"dword", 'd'}, {"multi", 'p'},
        {"qword", 'i'}, {"none", 'n'},   {"big", 'n'}, {"link", 'n'},  {"missing", 'n'}};
    for (const auto& entry : expected) {
        EXPECT_EQ(accessor.GetValueType(k, entry.first), entry.second) << entry.first;
    }
    EXPECT_EQ(accessor.QueryValue(k, "big").GetType(), kValueNone);
    EXPECT_EQ(accessor.QueryValue(k, "missing").GetType(), kValueNone);
}

TEST_F(RegistryAccessorTest, QueryValueGivesTypedValuesAndTheirTexts) {
    const char* k = "Values";
    reg.SetString(HKEY_LOCAL_MACHINE, k, "Path", "%SystemRoot%\\system32", REG_EXPAND_SZ);
    reg.SetValue(HKEY_LOCAL_MACHINE, k, "Empty", REG_SZ, {});
    reg.SetString(HKEY_LOCAL_MACHINE, k, "EmptyZero", "");
    reg.SetDword(HKEY_LOCAL_MACHINE, k, "Seven", 7);
    reg.SetBinary(HKEY_LOCAL_MACHINE, k, "Bin", {0x01, 0xAB});
    reg.SetBinary(HKEY_LOCAL_MACHINE, k, "NoBytes", {});
    reg.SetQword(HKEY_LOCAL_MACHINE, k, "Minus", static_cast<ULONGLONG>(-5));
    reg.SetMultiString(HKEY_LOCAL_MACHINE, k, "List", {"a", "b\\c"});
    CRegistryAccessor accessor(reg, HKEY_LOCAL_MACHINE, KEY_READ);

    CAccessorValue v = accessor.QueryValue(k, "Path");
    EXPECT_EQ(v.GetType(), kValueText);
    EXPECT_STREQ(v.ToText(), "C:\\WINDOWS\\system32");
    for (const char* name : {"Empty", "EmptyZero"}) {
        v = accessor.QueryValue(k, name);
        EXPECT_EQ(v.GetType(), kValueText) << name;
        EXPECT_TRUE(v.ToText().IsEmpty()) << name;
    }
    v = accessor.QueryValue(k, "Seven");
    EXPECT_EQ(v.GetType(), kValueDword);
    EXPECT_STREQ(v.ToText(), "7");
    v = accessor.QueryValue(k, "Bin");
    EXPECT_EQ(v.GetType(), kValueBytes);
    EXPECT_STREQ(v.ToText(), "01AB");
    v = accessor.QueryValue(k, "NoBytes");
    EXPECT_EQ(v.GetType(), kValueBytes);
    EXPECT_EQ(v.GetBytes().GetSize(), 0u);
    EXPECT_TRUE(v.GetBytes().IsUsable());
    v = accessor.QueryValue(k, "Minus");
    EXPECT_EQ(v.GetType(), kValueInt64);
    EXPECT_STREQ(v.ToText(), "-5");
    v = accessor.QueryValue(k, "List");
    EXPECT_EQ(v.GetType(), kValueTextList);
    EXPECT_STREQ(v.ToText(), "a\\^b\\\\c");
    EXPECT_EQ(Names(v.ToTextList()), (std::vector<std::string>{"a", "b\\c"}));
}

TEST_F(RegistryAccessorTest, ExpansionThatFailsOrComesOutEmptyKeepsTheStoredText) {
    reg.SetString(HKEY_LOCAL_MACHINE, "X", "Blank", "%BLANK%", REG_EXPAND_SZ);
    reg.SetString(HKEY_LOCAL_MACHINE, "X", "Root", "%SystemRoot%", REG_EXPAND_SZ);
    reg.SetEnvironment("BLANK", "");
    CRegistryAccessor accessor(reg, HKEY_LOCAL_MACHINE, KEY_READ);
    EXPECT_STREQ(accessor.QueryValue("X", "Blank").ToText(), "%BLANK%");
    reg.InjectFailure(ERegCall::ExpandEnvironment, nullptr, "", ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_STREQ(accessor.QueryValue("X", "Root").ToText(), "%SystemRoot%");
    // The environment grows between the size question and the expansion.
    reg.ClearFailures();
    reg.afterExpandSizeQuery = [this] {
        reg.SetEnvironment("SystemRoot", "D:\\A\\MUCH\\LONGER\\ROOT");
    };
    EXPECT_STREQ(accessor.QueryValue("X", "Root").ToText(), "%SystemRoot%");
}

TEST_F(RegistryAccessorTest, MalformedDataIsReadOnlyWithinItsSize) {
    const char* k = "Bad";
    reg.SetValue(HKEY_LOCAL_MACHINE, k, "Unterminated", REG_SZ, {'a', 'b', 'c'});
    reg.SetValue(HKEY_LOCAL_MACHINE, k, "EmbeddedZero", REG_SZ, {'a', 'b', 0, 'c', 'd', 0});
    reg.SetValue(HKEY_LOCAL_MACHINE, k, "ExpandUnterminated", REG_EXPAND_SZ,
                 {'%', 'w', 'i', 'n', 'd', 'i', 'r', '%'});
    reg.SetValue(HKEY_LOCAL_MACHINE, k, "OddMulti", REG_MULTI_SZ, {'a', 0, 'b', 'c', 0, 'd'});
    reg.SetValue(HKEY_LOCAL_MACHINE, k, "OneZeroMulti", REG_MULTI_SZ, {0});
    reg.SetValue(HKEY_LOCAL_MACHINE, k, "EmptyMulti", REG_MULTI_SZ, {});
    reg.SetValue(HKEY_LOCAL_MACHINE, k, "GapMulti", REG_MULTI_SZ, {'a', 0, 0, 'b', 0, 0});
    reg.SetValue(HKEY_LOCAL_MACHINE, k, "ShortDword", REG_DWORD, {7, 0});
    reg.SetValue(HKEY_LOCAL_MACHINE, k, "EmptyDword", REG_DWORD, {});
    reg.SetValue(HKEY_LOCAL_MACHINE, k, "LongDword", REG_DWORD, {7, 0, 0, 0, 9, 9});
    reg.SetValue(HKEY_LOCAL_MACHINE, k, "ShortQword", REG_QWORD, {1, 2, 3, 4});
    CRegistryAccessor accessor(reg, HKEY_LOCAL_MACHINE, KEY_READ);

    EXPECT_STREQ(accessor.QueryValue(k, "Unterminated").ToText(), "abc");
    EXPECT_STREQ(accessor.QueryValue(k, "EmbeddedZero").ToText(), "ab");
    EXPECT_STREQ(accessor.QueryValue(k, "ExpandUnterminated").ToText(), "C:\\WINDOWS");
    EXPECT_EQ(Names(accessor.QueryValue(k, "OddMulti").ToTextList()),
              (std::vector<std::string>{"a", "bc", "d"}));
    EXPECT_EQ(Names(accessor.QueryValue(k, "GapMulti").ToTextList()),
              std::vector<std::string>{"a"});
    for (const char* name : {"OneZeroMulti", "EmptyMulti"}) {
        const CAccessorValue v = accessor.QueryValue(k, name);
        EXPECT_EQ(v.GetType(), kValueTextList) << name;
        EXPECT_TRUE(v.ToText().IsEmpty()) << name;
    }
    // A number shorter than its type is no number.
    EXPECT_EQ(accessor.QueryValue(k, "ShortDword").GetType(), kValueNone);
    EXPECT_EQ(accessor.QueryValue(k, "EmptyDword").GetType(), kValueNone);
    EXPECT_EQ(accessor.QueryValue(k, "ShortQword").GetType(), kValueNone);
    EXPECT_STREQ(accessor.QueryValue(k, "LongDword").ToText(), "7");
}

TEST_F(RegistryAccessorTest, AValueThatChangesBetweenTheTwoReadsIsTakenAsTheSecondReadSaysIt) {
    reg.SetBinary(HKEY_LOCAL_MACHINE, "R", "V", {1, 2, 3, 4});
    CRegistryAccessor accessor(reg, HKEY_LOCAL_MACHINE, KEY_READ);

    int queries = 0;
    reg.afterSizeQuery = [this, &queries] {
        // The first size query is GetValueType's; the value shrinks after the
        // second, the accessor's own.
        if (++queries == 2) {
            reg.SetBinary(HKEY_LOCAL_MACHINE, "R", "V", {9, 8});
        }
    };
    EXPECT_EQ(Bytes(accessor.QueryValue("R", "V").GetBytes()), (std::vector<BYTE>{9, 8}));

    queries = 0;
    reg.afterSizeQuery = [this, &queries] {
        if (++queries == 2) {
            reg.SetString(HKEY_LOCAL_MACHINE, "R", "V", "xy");
        }
    };
    reg.SetBinary(HKEY_LOCAL_MACHINE, "R", "V", {1, 2, 3});
    EXPECT_EQ(accessor.QueryValue("R", "V").GetType(), kValueNone);

    // A size that no registry value has is refused before anything is
    // allocated.
    reg.afterSizeQuery = nullptr;
    reg.forgedSize = 0xFFFFFFF0u;
    EXPECT_EQ(accessor.QueryValue("R", "V").GetType(), kValueNone);
}

// --- Enumeration ---------------------------------------------------------------

TEST_F(RegistryAccessorTest, EnumerationListsInOrderAndMarksFailures) {
    for (const char* sub : {"Zulu", "alpha", "Mike"}) {
        reg.CreateKey(HKEY_LOCAL_MACHINE, std::string("L\\") + sub);
    }
    reg.SetDword(HKEY_LOCAL_MACHINE, "L", "b", 1);
    reg.SetDword(HKEY_LOCAL_MACHINE, "L", "", 1);
    reg.CreateKey(HKEY_LOCAL_MACHINE, "L\\Mike\\Empty");
    CRegistryAccessor accessor(reg, HKEY_LOCAL_MACHINE, KEY_READ);

    CTextList names = accessor.EnumSections("L");
    EXPECT_EQ(Names(names), (std::vector<std::string>{"Zulu", "alpha", "Mike"}));
    EXPECT_TRUE(names.IsValid());
    EXPECT_EQ(Names(accessor.EnumValueNames("L")), (std::vector<std::string>{"b", ""}));

    names = accessor.EnumSections("L\\Mike\\Empty");
    EXPECT_EQ(names.GetSize(), 0u);
    EXPECT_TRUE(names.IsUsable());

    names = accessor.EnumSections("L\\Missing");
    EXPECT_EQ(names.GetSize(), 0u);
    EXPECT_FALSE(names.IsUsable());

    // The third listing call fails: what was listed before is thrown away.
    reg.InjectFailure(ERegCall::EnumKey, HKEY_LOCAL_MACHINE, "L", ERROR_CANTREAD, 2);
    names = accessor.EnumSections("L");
    EXPECT_EQ(names.GetSize(), 0u);
    EXPECT_FALSE(names.IsValid());
    EXPECT_FALSE(names.IsUsable());
    reg.InjectFailure(ERegCall::EnumValue, HKEY_LOCAL_MACHINE, "L", ERROR_CANTREAD, 1);
    EXPECT_FALSE(accessor.EnumValueNames("L").IsUsable());
    // Enumeration rights missing from the accessor's rights: a failed list.
    CRegistryAccessor queryOnly(reg, HKEY_LOCAL_MACHINE, KEY_QUERY_VALUE);
    EXPECT_FALSE(queryOnly.EnumSections("L").IsUsable());
}

TEST_F(RegistryAccessorTest, NamesUpTo1023BytesAreListedAndLongerOnesFailTheListing) {
    const std::string n1023(1023, 'a');
    const std::string n1024(1024, 'b');
    const std::string n1025(1025, 'c');
    reg.CreateKey(HKEY_LOCAL_MACHINE, "Long\\Ok\\" + n1023);
    reg.SetDword(HKEY_LOCAL_MACHINE, "Long\\Ok", n1023, 1);
    reg.CreateKey(HKEY_LOCAL_MACHINE, "Long\\K1024\\" + n1024);
    reg.CreateKey(HKEY_LOCAL_MACHINE, "Long\\K1025\\" + n1025);
    reg.SetDword(HKEY_LOCAL_MACHINE, "Long\\V1024", n1024, 1);
    reg.SetDword(HKEY_LOCAL_MACHINE, "Long\\V1025", n1025, 1);
    CRegistryAccessor accessor(reg, HKEY_LOCAL_MACHINE, KEY_READ);

    EXPECT_EQ(Names(accessor.EnumSections("Long\\Ok")), std::vector<std::string>{n1023});
    EXPECT_EQ(Names(accessor.EnumValueNames("Long\\Ok")), std::vector<std::string>{n1023});
    EXPECT_EQ(accessor.QueryValue("Long\\Ok", n1023.c_str()).GetNumber(), 1);
    for (const char* section : {"Long\\K1024", "Long\\K1025"}) {
        EXPECT_FALSE(accessor.EnumSections(section).IsUsable()) << section;
    }
    for (const char* section : {"Long\\V1024", "Long\\V1025"}) {
        EXPECT_FALSE(accessor.EnumValueNames(section).IsUsable()) << section;
    }
    // Reading a value by a long name needs no name buffer.
    EXPECT_EQ(accessor.QueryValue("Long\\V1025", n1025.c_str()).GetNumber(), 1);
}

// --- Writing -------------------------------------------------------------------

TEST_F(RegistryAccessorTest, WriteValueStoresEachTypeAndCreatesTheSection) {
    CRegistryAccessor accessor(reg, HKEY_LOCAL_MACHINE, KEY_ALL_ACCESS);
    CAccessorValue v;
    v.SetText("hello");
    EXPECT_TRUE(accessor.WriteValue("W\\New", "s", v));
    v.SetDword(0x01020304u);
    EXPECT_TRUE(accessor.WriteValue("W\\New", "d", v));
    v.SetInt64(-2);
    EXPECT_TRUE(accessor.WriteValue("W\\New", "i", v));
    CByteArray bytes;
    bytes.Add(0xAB);
    bytes.Add(0x00);
    v.SetBytes(bytes);
    EXPECT_TRUE(accessor.WriteValue("W\\New", "b", v));
    v.SetText("a\\^\\^b\\\\c\\^", kValueTextList);  // a, "", b\c, ""
    EXPECT_TRUE(accessor.WriteValue("W\\New", "p", v));

    DWORD type = 0;
    EXPECT_EQ(Stored(reg, "W\\New", "s", &type), (std::vector<BYTE>{'h', 'e', 'l', 'l', 'o', 0}));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(Stored(reg, "W\\New", "d", &type), (std::vector<BYTE>{4, 3, 2, 1}));
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(Stored(reg, "W\\New", "i", &type),
              (std::vector<BYTE>{0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(type, static_cast<DWORD>(REG_QWORD));
    EXPECT_EQ(Stored(reg, "W\\New", "b", &type), (std::vector<BYTE>{0xAB, 0x00}));
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(Stored(reg, "W\\New", "p", &type), (std::vector<BYTE>{'a', 0, 'b', '\\', 'c', 0, 0}));
    EXPECT_EQ(type, static_cast<DWORD>(REG_MULTI_SZ));
    EXPECT_EQ(reg.CallCount(ERegCall::CreateKey), 1u);
}

TEST_F(RegistryAccessorTest, WriteValueOfNothingDeletesAndNeverCreates) {
    reg.SetDword(HKEY_LOCAL_MACHINE, "D", "Gone", 1);
    CRegistryAccessor accessor(reg, HKEY_LOCAL_MACHINE, KEY_ALL_ACCESS);
    const CAccessorValue nothing;
    EXPECT_TRUE(accessor.WriteValue("D", "Gone", nothing));
    EXPECT_FALSE(reg.GetValue(HKEY_LOCAL_MACHINE, "D", "Gone", nullptr, nullptr));
    EXPECT_FALSE(accessor.WriteValue("D", "Gone", nothing));
    EXPECT_FALSE(accessor.WriteValue("NoSuchKey", "x", nothing));
    EXPECT_FALSE(reg.KeyExists(HKEY_LOCAL_MACHINE, "NoSuchKey"));

    CAccessorValue odd;
    odd.SetText("x", 'z');
    EXPECT_FALSE(accessor.WriteValue("D", "Odd", odd));
    EXPECT_FALSE(reg.GetValue(HKEY_LOCAL_MACHINE, "D", "Odd", nullptr, nullptr));

    // Without the rights to write, nothing is written and nothing throws.
    reg.DenyAccess(HKEY_LOCAL_MACHINE, "D", CSimRegistry::kAdminOnlyRights);
    CRegistryAccessor denied(reg, HKEY_LOCAL_MACHINE, KEY_ALL_ACCESS);
    CAccessorValue v;
    v.SetDword(1);
    EXPECT_FALSE(denied.WriteValue("D", "V", v));
    EXPECT_TRUE(denied.GetSectionKey("D").IsEmpty());
}

TEST_F(RegistryAccessorTest, TextListsRoundTripThroughTheJoinedForm) {
    const std::vector<std::string> texts = {"a", "b\\c", "\\^", "\x83\x5C", "end\\"};
    CTextList list;
    for (const auto& text : texts) {
        list.Add(CTextString(text.c_str()));
    }
    EXPECT_STREQ(JoinTextList(list), "a\\^b\\\\c\\^\\\\^\\^\x83\x5C\x5C\\^end\\\\");
    EXPECT_EQ(Names(SplitTextList(JoinTextList(list))), texts);

    CRegistryAccessor accessor(reg, HKEY_LOCAL_MACHINE, KEY_ALL_ACCESS);
    CAccessorValue v;
    v.SetTextList(list);
    ASSERT_TRUE(accessor.WriteValue("M", "List", v));
    EXPECT_EQ(Names(accessor.QueryValue("M", "List").ToTextList()), texts);

    // Not in the joined form: a lone backslash stays a backslash.
    EXPECT_EQ(Names(SplitTextList("a\\b\\")), std::vector<std::string>{"a\\b\\"});
    EXPECT_EQ(Names(SplitTextList("\\^")), (std::vector<std::string>{"", ""}));
    EXPECT_EQ(SplitTextList("").GetSize(), 0u);
    EXPECT_EQ(SplitTextList(nullptr).GetSize(), 0u);
}

TEST_F(RegistryAccessorTest, ValueConversionsAtTheirEdges) {
    CAccessorValue v;
    EXPECT_EQ(v.GetType(), kValueNone);
    EXPECT_TRUE(v.ToText().IsEmpty());
    EXPECT_EQ(v.ToBytes().GetSize(), 0u);
    v.SetText("  -12abc");
    EXPECT_EQ(v.ToInteger(), -12);
    v.SetText("99999999999999999999");
    EXPECT_EQ(v.ToInteger(), std::numeric_limits<std::int64_t>::max());
    v.SetText("12 ab-CD");
    EXPECT_EQ(Bytes(v.ToBytes()), (std::vector<BYTE>{0x12, 0xAB, 0xCD}));
    v.SetInt64(std::numeric_limits<std::int64_t>::min());
    EXPECT_STREQ(v.ToText(), "-9223372036854775808");
    v.SetDword(0xFFFFFFFFu);
    EXPECT_EQ(v.ToInteger(), 0xFFFFFFFFll);
    EXPECT_EQ(Bytes(v.ToBytes()), (std::vector<BYTE>{0x42, 0x94, 0x96, 0x72, 0x95}));
}

// --- Deleting sections ---------------------------------------------------------

TEST_F(RegistryAccessorTest, DeleteSectionRemovesTheWholeTree) {
    for (const char* path : {"T\\Gone\\A\\A1", "T\\Gone\\A\\A2", "T\\Gone\\B", "T\\Stays"}) {
        reg.CreateKey(HKEY_LOCAL_MACHINE, path);
    }
    reg.SetDword(HKEY_LOCAL_MACHINE, "T\\Gone\\A", "V", 1);
    CRegistryAccessor accessor(reg, HKEY_LOCAL_MACHINE, KEY_ALL_ACCESS);
    EXPECT_EQ(accessor.GetValueType("T\\Gone\\A", "V"), kValueDword);
    EXPECT_EQ(reg.OpenKeyCount(), 1u);

    EXPECT_TRUE(accessor.DeleteSection("T\\Gone"));
    EXPECT_EQ(reg.GetLastError(), 0u);
    EXPECT_FALSE(reg.KeyExists(HKEY_LOCAL_MACHINE, "T\\Gone"));
    EXPECT_EQ(reg.SubKeyNames(HKEY_LOCAL_MACHINE, "T"), std::vector<std::string>{"Stays"});
    // The section key was let go first; the section text stays.
    EXPECT_TRUE(accessor.GetCurrentSectionKey().IsEmpty());
    EXPECT_STREQ(accessor.GetCurrentSection(), "T\\Gone\\A");
    EXPECT_EQ(accessor.GetValueType("T\\Gone\\A", "V"), kValueNone);

    EXPECT_FALSE(accessor.DeleteSection("T\\Gone"));
    EXPECT_EQ(reg.GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    // An empty name touches nothing.
    reg.ResetCallCounts();
    for (const char* name : {static_cast<const char*>(nullptr), ""}) {
        EXPECT_FALSE(accessor.DeleteSection(name));
        EXPECT_EQ(reg.GetLastError(), static_cast<DWORD>(ERROR_BADKEY));
    }
    EXPECT_EQ(reg.CallCount(ERegCall::OpenKey) + reg.CallCount(ERegCall::DeleteKey), 0u);
    EXPECT_EQ(reg.KeyCount(), 2u);
}

TEST_F(RegistryAccessorTest, DeleteSectionStopsAtTheFirstFailureAndClosesEveryKey) {
    for (const char* path : {"F\\A\\A1", "F\\B\\Locked\\Inner", "F\\C"}) {
        reg.CreateKey(HKEY_LOCAL_MACHINE, path);
    }
    reg.DenyAccess(HKEY_LOCAL_MACHINE, "F\\B\\Locked", DELETE);
    CRegistryAccessor accessor(reg, HKEY_LOCAL_MACHINE, KEY_ALL_ACCESS);
    EXPECT_FALSE(accessor.DeleteSection("F"));
    EXPECT_EQ(reg.GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    // Depth first in listing order: A went; Locked cannot even be opened for
    // deleting, so its inner key stays; C was not reached.
    EXPECT_FALSE(reg.KeyExists(HKEY_LOCAL_MACHINE, "F\\A"));
    EXPECT_TRUE(reg.KeyExists(HKEY_LOCAL_MACHINE, "F\\B\\Locked\\Inner"));
    EXPECT_TRUE(reg.KeyExists(HKEY_LOCAL_MACHINE, "F\\C"));
    EXPECT_EQ(reg.OpenKeyCount(), 0u);

    reg.AllowAccess(HKEY_LOCAL_MACHINE, "F\\B\\Locked");
    reg.InjectFailure(ERegCall::EnumKey, HKEY_LOCAL_MACHINE, "F\\B", ERROR_CANTREAD);
    EXPECT_FALSE(accessor.DeleteSection("F"));
    EXPECT_EQ(reg.GetLastError(), static_cast<DWORD>(ERROR_CANTREAD));
    EXPECT_EQ(reg.OpenKeyCount(), 0u);
    EXPECT_TRUE(accessor.DeleteSection("F"));
    EXPECT_EQ(reg.KeyCount(), 0u);
}

TEST_F(RegistryAccessorTest, DeleteSectionCopesWithAVeryDeepTree) {
    std::string path = "Deep";
    for (int i = 0; i < 2000; ++i) {
        path += "\\L";
    }
    ASSERT_TRUE(reg.CreateKey(HKEY_LOCAL_MACHINE, path));
    reg.CreateKey(HKEY_LOCAL_MACHINE, "Deep\\L\\Side");
    CRegistryAccessor accessor(reg, HKEY_LOCAL_MACHINE, KEY_ALL_ACCESS);
    EXPECT_TRUE(accessor.DeleteSection("Deep"));
    EXPECT_EQ(reg.KeyCount(), 0u);
    EXPECT_EQ(reg.CallCount(ERegCall::DeleteKey), 2002u);
}

// --- CSection ------------------------------------------------------------------

TEST_F(RegistryAccessorTest, SectionReadsThroughItsAccessor) {
    EXPECT_THROW(CSection(nullptr, "x"), CNullPointerException);
    reg.SetString(HKEY_LOCAL_MACHINE, "S", "Hex", "01ab");
    reg.SetDword(HKEY_LOCAL_MACHINE, "S", "N", 10);
    reg.SetBinary(HKEY_LOCAL_MACHINE, "S", "Empty", {});
    reg.CreateKey(HKEY_LOCAL_MACHINE, "S\\Child");
    CRegistryAccessor accessor(reg, HKEY_LOCAL_MACHINE, KEY_READ);
    const CSection section(&accessor, "S");
    const CSection copy = section;
    EXPECT_EQ(section.GetSection().GetRefCount(), 2);

    EXPECT_TRUE(section.ReadText("Missing").IsEmpty());
    EXPECT_STREQ(section.ReadText("Missing", "dflt"), "dflt");
    EXPECT_STREQ(section.ReadText("N", "dflt"), "10");
    EXPECT_EQ(Bytes(section.ReadBytes("Hex")), (std::vector<BYTE>{0x01, 0xAB}));
    EXPECT_EQ(Bytes(section.ReadBytes("N")), (std::vector<BYTE>{0x10}));
    const CByteArray empty = section.ReadBytes("Empty");
    EXPECT_EQ(empty.GetSize(), 0u);
    EXPECT_TRUE(empty.IsUsable());
    const CByteArray missing = section.ReadBytes("Missing");
    EXPECT_EQ(missing.GetSize(), 0u);
    EXPECT_FALSE(missing.IsUsable());
    EXPECT_EQ(Names(copy.EnumSections()), std::vector<std::string>{"Child"});
}

// --- The administrator check ---------------------------------------------------

class AdministratorCheckTest : public RegistryAccessorTest {
protected:
    void SetUp() override {
        reg.SetBinary(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\COM Name Arbiter",
                      "ComDB", {0x83, 0x00, 0x00, 0x00});
    }

    // The check as the dialog makes it: full access to the key, a second
    // accessor on the key handle the first gave, the first one gone.
    CByteArray ReadComDb() {
        CKeyHandle control;
        {
            CRegistryAccessor first(reg, HKEY_LOCAL_MACHINE, KEY_ALL_ACCESS);
            control = first.GetSectionKey("SYSTEM\\CurrentControlSet\\Control");
        }
        CRegistryAccessor second(reg, control, KEY_ALL_ACCESS);
        control.Release();
        return CSection(&second, "COM Name Arbiter").ReadBytes("ComDB");
    }
};

TEST_F(AdministratorCheckTest, WithAdministratorRightsTheDatabaseIsRead) {
    EXPECT_EQ(Bytes(ReadComDb()), (std::vector<BYTE>{0x83, 0, 0, 0}));
    EXPECT_EQ(reg.CallCount(ERegCall::CreateKey), 0u);
}

TEST_F(AdministratorCheckTest, WithoutAdministratorRightsNothingIsReadAndNothingCreated) {
    reg.DenyAccess(HKEY_LOCAL_MACHINE, "SYSTEM", CSimRegistry::kAdminOnlyRights, true);
    const std::size_t keys = reg.KeyCount();
    const CByteArray data = ReadComDb();
    EXPECT_EQ(data.GetSize(), 0u);
    EXPECT_FALSE(data.IsUsable());
    EXPECT_EQ(reg.KeyCount(), keys);
    EXPECT_EQ(reg.CallCount(ERegCall::OpenKey), 1u);
    EXPECT_EQ(reg.CallCount(ERegCall::CreateKey), 1u);
}

TEST_F(AdministratorCheckTest, AMissingOrEmptyDatabaseGivesNoBytes) {
    reg.SetBinary(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\COM Name Arbiter",
                  "ComDB", {});
    EXPECT_EQ(ReadComDb().GetSize(), 0u);
    reg.DeleteValue(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\COM Name Arbiter",
                    "ComDB");
    EXPECT_EQ(ReadComDb().GetSize(), 0u);
    // A missing control key is created with full access (the fallback), and
    // the database is still absent.
    reg.DeleteTree(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control");
    EXPECT_EQ(ReadComDb().GetSize(), 0u);
    EXPECT_TRUE(reg.KeyExists(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control"));
}

}  // namespace
}  // namespace ZRK
