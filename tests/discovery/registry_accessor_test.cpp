#include "discovery/registry_accessor.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "lib/exceptions.h"
#include "lib/hex.h"
#include "platform/sim/sim_registry.h"
#include "platform/sim/virtual_pc.h"

namespace ZRK {
namespace {

using namespace std::string_literals;
using Tolvane::Sim::CSimRegistry;
using Tolvane::Sim::ERegCall;
using Names = std::vector<std::string>;
using Raw = std::vector<BYTE>;

const HKEY kLm = HKEY_LOCAL_MACHINE;

// The in-memory registry with a hook that runs after a value's size query,
// to change the value between the two calls the accessor makes, and an
// optional forged size answer.
class CRacingRegistry : public CSimRegistry {
public:
    std::function<void()> afterSizeQuery;
    DWORD forgedSize = 0;

    LONG RegQueryValueExA(HKEY key, LPCSTR valueName, DWORD* reserved, DWORD* type, BYTE* data,
                          DWORD* dataSize) override {
        const LONG r =
            CSimRegistry::RegQueryValueExA(key, valueName, reserved, type, data, dataSize);
        if (data == nullptr && r == ERROR_SUCCESS) {
            if (forgedSize != 0) {
                *dataSize = forgedSize;
            }
            if (afterSizeQuery) {
                afterSizeQuery();
            }
        }
        return r;
    }
};

Names ToNames(const CTextList& list) {
    Names names;
    for (std::uint32_t i = 0; i < list.GetSize(); ++i) {
        names.emplace_back(list.At(i).GetString());
    }
    return names;
}

Raw ToRaw(const CByteArray& array) {
    return Raw(array.GetBuffer(), array.GetBuffer() + array.GetSize());
}

class RegistryAccessorTest : public ::testing::Test {
protected:
    // Every accessor of a test lives inside the test body: by now each key it
    // opened must be closed exactly once.
    void TearDown() override {
        EXPECT_EQ(reg.OpenKeyCount(), 0u) << ::testing::PrintToString(reg.LeakedKeys());
        EXPECT_EQ(reg.InvalidCloseCount() + reg.InvalidHandleUseCount(), 0u);
    }

    CRacingRegistry reg;
};

// --- Keys and sections ---------------------------------------------------------

TEST_F(RegistryAccessorTest, KeyHandleClosesItsKeyOnTheLastReleaseOnly) {
    reg.CreateKey(kLm, "A");
    HKEY a = nullptr;
    HKEY b = nullptr;
    ASSERT_EQ(reg.RegOpenKeyExA(kLm, "A", 0, KEY_READ, &a), ERROR_SUCCESS);
    ASSERT_EQ(reg.RegOpenKeyExA(kLm, "A", 0, KEY_READ, &b), ERROR_SUCCESS);
    CKeyHandle first(reg, a);
    CKeyHandle copy = first;
    first.Set(reg, a);  // the key it holds: nothing changes
    first.Set(reg, b);  // the copy keeps a open
    EXPECT_EQ(reg.OpenKeyCount(), 2u);
    copy = first;  // the last share of a goes
    EXPECT_EQ(reg.OpenKeyCount(), 1u);
    CKeyHandle moved(std::move(copy));
    EXPECT_TRUE(copy.IsEmpty());  // NOLINT: a moved-from handle is empty
    first.Set(reg, nullptr);      // empty again; moved keeps b open
    EXPECT_TRUE(first.IsEmpty());
    // TearDown: b is closed once, by the last of its handles.
}

TEST_F(RegistryAccessorTest, ASectionKeyStaysOpenUntilTheSectionChangesAndIsRetriedWhenMissing) {
    reg.SetDword(kLm, "Soft\\Tool", "N", 1);
    CRegistryAccessor accessor(reg, kLm, KEY_READ);
    EXPECT_EQ(accessor.GetValueType("Soft\\Tool", "N"), kValueDword);
    EXPECT_EQ(accessor.QueryValue("Soft\\Tool", "N").GetNumber(), 1);
    EXPECT_EQ(reg.CallCount(ERegCall::OpenKey), 1u);
    // The registry finds the key in any case, but the accessor sees another
    // section and reopens.
    EXPECT_EQ(accessor.GetValueType("soft\\tool", "N"), kValueDword);
    EXPECT_EQ(reg.CallCount(ERegCall::OpenKey), 2u);
    // Listing the root leaves the current section and its key alone.
    EXPECT_EQ(ToNames(accessor.EnumSections(nullptr)), Names{"Soft"});
    EXPECT_EQ(ToNames(accessor.EnumSections("")), Names{"Soft"});
    EXPECT_STREQ(accessor.GetCurrentSection(), "soft\\tool");
    EXPECT_FALSE(accessor.GetCurrentSectionKey().IsEmpty());
    // A section that cannot be opened is tried again next time.
    EXPECT_EQ(accessor.GetValueType("Later", "V"), kValueNone);
    EXPECT_FALSE(accessor.Flush());
    reg.SetString(kLm, "Later", "V", "now");
    EXPECT_EQ(accessor.GetValueType("Later", "V"), kValueText);
    EXPECT_TRUE(accessor.Flush());
}

// --- Reading values ------------------------------------------------------------

TEST_F(RegistryAccessorTest, ValuesAreTypedAndReadOnlyWithinTheirData) {
    // Name, registry type, stored bytes, GetValueType, QueryValue's type, text.
    const std::tuple<const char*, DWORD, std::string, char, char, const char*> rows[] = {
        {"sz", REG_SZ, "x\0"s, 's', 's', "x"},
        {"noData", REG_SZ, "", 's', 's', ""},
        {"onlyZero", REG_SZ, "\0"s, 's', 's', ""},
        {"unterminated", REG_SZ, "abc", 's', 's', "abc"},
        {"embeddedZero", REG_SZ, "ab\0cd\0"s, 's', 's', "ab"},
        {"expand", REG_EXPAND_SZ, "%SystemRoot%\\system32\0"s, 's', 's', "C:\\WINDOWS\\system32"},
        {"expandUnterminated", REG_EXPAND_SZ, "%windir%", 's', 's', "C:\\WINDOWS"},
        // An expansion that comes out empty keeps the stored text.
        {"expandBlank", REG_EXPAND_SZ, "%BLANK%", 's', 's', "%BLANK%"},
        {"bin", REG_BINARY, "\x01\xAB", 'b', 'b', "01AB"},
        {"noBytes", REG_BINARY, "", 'b', 'b', ""},
        {"dword", REG_DWORD, "\x07\0\0\0"s, 'd', 'd', "7"},
        {"longDword", REG_DWORD, "\x07\0\0\0\x09\x09"s, 'd', 'd', "7"},
        {"shortDword", REG_DWORD, "\x07\0"s, 'd', 'n', ""},  // too short is no number
        {"emptyDword", REG_DWORD, "", 'd', 'n', ""},
        {"qword", REG_QWORD, "\xFB\xFF\xFF\xFF\xFF\xFF\xFF\xFF", 'i', 'i', "-5"},
        {"shortQword", REG_QWORD, "\x01\x02\x03\x04", 'i', 'n', ""},
        {"multi", REG_MULTI_SZ, "a\0b\\c\0\0"s, 'p', 'p', "a\\^b\\\\c"},
        {"oddMulti", REG_MULTI_SZ, "a\0bc\0d"s, 'p', 'p', "a\\^bc\\^d"},
        {"gapMulti", REG_MULTI_SZ, "a\0\0b\0\0"s, 'p', 'p', "a"},
        {"oneZeroMulti", REG_MULTI_SZ, "\0"s, 'p', 'p', ""},
        {"emptyMulti", REG_MULTI_SZ, "", 'p', 'p', ""},
        {"none", REG_NONE, "\x01", 'n', 'n', ""},
        {"bigEndian", REG_DWORD_BIG_ENDIAN, "\0\0\0\x01"s, 'n', 'n', ""},
        {"link", REG_LINK, "\x01\0"s, 'n', 'n', ""},
    };
    reg.SetEnvironment("BLANK", "");
    for (const auto& [name, type, data, listed, read, text] : rows) {
        reg.SetValue(kLm, "V", name, type, Raw(data.begin(), data.end()));
    }
    CRegistryAccessor accessor(reg, kLm, KEY_READ);
    for (const auto& [name, type, data, listed, read, text] : rows) {
        SCOPED_TRACE(name);
        EXPECT_EQ(accessor.GetValueType("V", name), static_cast<std::uint32_t>(listed));
        const CAccessorValue value = accessor.QueryValue("V", name);
        EXPECT_EQ(value.GetType(), static_cast<std::uint32_t>(read));
        EXPECT_STREQ(value.ToText(), text);
    }
    EXPECT_EQ(accessor.GetValueType("V", "missing"), kValueNone);
    // So does one that fails.
    reg.InjectFailure(ERegCall::ExpandEnvironment, nullptr, "", ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_STREQ(accessor.QueryValue("V", "expand").ToText(), "%SystemRoot%\\system32");
}

TEST_F(RegistryAccessorTest, AValueThatChangesBetweenTheTwoReadsIsTakenAsTheSecondReadSaysIt) {
    reg.SetBinary(kLm, "R", "V", {1, 2, 3, 4});
    CRegistryAccessor accessor(reg, kLm, KEY_READ);
    // The first size query is GetValueType's; the value changes after the
    // second, the accessor's own: it shrinks, then it changes its type.
    int queries = 0;
    std::function<void()> change = [this] { reg.SetBinary(kLm, "R", "V", {9, 8}); };
    reg.afterSizeQuery = [&] {
        if (++queries == 2) {
            change();
        }
    };
    EXPECT_EQ(ToRaw(accessor.QueryValue("R", "V").GetBytes()), (Raw{9, 8}));
    reg.SetBinary(kLm, "R", "V", {1, 2, 3});
    queries = 0;
    change = [this] { reg.SetString(kLm, "R", "V", "xy"); };
    EXPECT_EQ(accessor.QueryValue("R", "V").GetType(), kValueNone);
    // A size that no registry value has is refused before anything is
    // allocated.
    reg.afterSizeQuery = nullptr;
    reg.forgedSize = 0xFFFFFFF0u;
    EXPECT_EQ(accessor.QueryValue("R", "V").GetType(), kValueNone);
}

TEST_F(RegistryAccessorTest, SectionsReadTextsAndBytesAndValueConversionsHoldAtTheirEdges) {
    EXPECT_THROW(CSection(nullptr, "x"), CNullPointerException);
    reg.SetString(kLm, "S", "Hex", "01ab");
    reg.SetDword(kLm, "S", "N", 10);
    reg.SetBinary(kLm, "S", "Empty", {});
    CRegistryAccessor accessor(reg, kLm, KEY_READ);
    const CSection section(&accessor, "S");
    EXPECT_TRUE(section.ReadText("Missing").IsEmpty());
    EXPECT_STREQ(section.ReadText("Missing", "dflt"), "dflt");
    EXPECT_STREQ(section.ReadText("N", "dflt"), "10");
    EXPECT_EQ(ToRaw(section.ReadBytes("Hex")), (Raw{0x01, 0xAB}));
    EXPECT_EQ(ToRaw(section.ReadBytes("N")), (Raw{0x10}));
    // No bytes, and no value at all, are told apart by the validity mark.
    EXPECT_TRUE(section.ReadBytes("Empty").IsUsable());
    EXPECT_FALSE(section.ReadBytes("Missing").IsUsable());

    CAccessorValue v;
    v.SetText("99999999999999999999");
    EXPECT_EQ(v.ToInteger(), std::numeric_limits<std::int64_t>::max());
    v.SetDword(0xFFFFFFFFu);
    EXPECT_EQ(v.ToInteger(), 0xFFFFFFFFll);
    EXPECT_EQ(ToRaw(v.ToBytes()), (Raw{0x42, 0x94, 0x96, 0x72, 0x95}));
}

TEST_F(RegistryAccessorTest, EnumerationListsInOrderAndMarksFailures) {
    for (const char* sub : {"Zulu", "alpha", "Mike\\Empty"}) {
        reg.CreateKey(kLm, std::string("L\\") + sub);
    }
    reg.SetDword(kLm, "L", "b", 1);
    reg.SetDword(kLm, "L", "", 1);
    const std::string n1023(1023, 'a');
    const std::string n1024(1024, 'b');
    reg.SetDword(kLm, "Long\\Ok", n1023, 1);
    reg.SetDword(kLm, "Long\\Over", n1024, 1);
    CRegistryAccessor accessor(reg, kLm, KEY_READ);
    EXPECT_EQ(ToNames(accessor.EnumSections("L")), (Names{"Zulu", "alpha", "Mike"}));
    EXPECT_EQ(ToNames(accessor.EnumValueNames("L")), (Names{"b", ""}));
    // Empty is not failed; missing is.
    CTextList names = accessor.EnumSections("L\\Mike\\Empty");
    EXPECT_EQ(names.GetSize(), 0u);
    EXPECT_TRUE(names.IsUsable());
    EXPECT_FALSE(accessor.EnumSections("L\\Missing").IsUsable());
    // The longest name listed is 1023 bytes; a longer one fails the listing,
    // though the value can still be read by its name.
    EXPECT_EQ(ToNames(accessor.EnumValueNames("Long\\Ok")), Names{n1023});
    EXPECT_FALSE(accessor.EnumValueNames("Long\\Over").IsUsable());
    EXPECT_EQ(accessor.QueryValue("Long\\Over", n1024.c_str()).GetNumber(), 1);
    // The third listing call fails: what was listed before is thrown away.
    reg.InjectFailure(ERegCall::EnumKey, kLm, "L", ERROR_CANTREAD, 2);
    names = accessor.EnumSections("L");
    EXPECT_EQ(names.GetSize(), 0u);
    EXPECT_FALSE(names.IsUsable());
    reg.InjectFailure(ERegCall::EnumValue, kLm, "L", ERROR_CANTREAD, 1);
    EXPECT_FALSE(accessor.EnumValueNames("L").IsUsable());
    // Enumeration rights missing from the accessor's rights: a failed list.
    CRegistryAccessor queryOnly(reg, kLm, KEY_QUERY_VALUE);
    EXPECT_FALSE(queryOnly.EnumSections("L").IsUsable());
}

// --- Writing and deleting ------------------------------------------------------

TEST_F(RegistryAccessorTest, WriteValueStoresEachTypeAndDeletesOnNothingWithoutCreating) {
    CAccessorValue values[5];
    values[0].SetText("hello");
    values[1].SetDword(0x01020304u);
    values[2].SetInt64(-2);
    values[3].SetBytes(CByteArray(FromHex("AB00")));
    values[4].SetText("a\\^\\^b\\\\c\\^", kValueTextList);  // a, "", b\c, ""
    const std::tuple<DWORD, Raw> stored[] = {
        {REG_SZ, {'h', 'e', 'l', 'l', 'o', 0}},
        {REG_DWORD, {4, 3, 2, 1}},
        {REG_QWORD, {0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
        {REG_BINARY, {0xAB, 0x00}},
        {REG_MULTI_SZ, {'a', 0, 'b', '\\', 'c', 0, 0}},
    };
    CRegistryAccessor accessor(reg, kLm, KEY_ALL_ACCESS);
    for (int i = 0; i < 5; ++i) {
        const std::string name(1, static_cast<char>('0' + i));
        EXPECT_TRUE(accessor.WriteValue("W\\New", name.c_str(), values[i]));
        DWORD type = 0;
        Raw data;
        reg.GetValue(kLm, "W\\New", name, &type, &data);
        EXPECT_EQ(type, std::get<0>(stored[i])) << i;
        EXPECT_EQ(data, std::get<1>(stored[i])) << i;
    }
    EXPECT_EQ(reg.CallCount(ERegCall::CreateKey), 1u);

    const CAccessorValue nothing;
    EXPECT_TRUE(accessor.WriteValue("W\\New", "0", nothing));
    EXPECT_FALSE(reg.GetValue(kLm, "W\\New", "0", nullptr, nullptr));
    EXPECT_FALSE(accessor.WriteValue("W\\New", "0", nothing));
    EXPECT_FALSE(accessor.WriteValue("NoSuchKey", "x", nothing));
    EXPECT_FALSE(reg.KeyExists(kLm, "NoSuchKey"));
    CAccessorValue odd;
    odd.SetText("x", 'z');
    EXPECT_FALSE(accessor.WriteValue("W\\New", "Odd", odd));
    // Without the rights to write, nothing is written and nothing throws.
    reg.DenyAccess(kLm, "W", CSimRegistry::kAdminOnlyRights);
    CRegistryAccessor denied(reg, kLm, KEY_ALL_ACCESS);
    EXPECT_FALSE(denied.WriteValue("W", "V", values[1]));
    EXPECT_TRUE(denied.GetSectionKey("W").IsEmpty());
}

TEST_F(RegistryAccessorTest, DeleteSectionRemovesWholeTreesAndStopsAtTheFirstFailure) {
    std::string deep = "Deep";
    for (int i = 0; i < 2000; ++i) {
        deep += "\\L";
    }
    for (const std::string& path :
         {deep, "Deep\\L\\Side"s, "F\\A\\A1"s, "F\\B\\Locked\\In"s, "F\\C"s}) {
        reg.CreateKey(kLm, path);
    }
    reg.SetDword(kLm, "F\\A", "V", 1);
    reg.DenyAccess(kLm, "F\\B\\Locked", DELETE);
    CRegistryAccessor accessor(reg, kLm, KEY_ALL_ACCESS);
    EXPECT_TRUE(accessor.DeleteSection("Deep"));
    EXPECT_EQ(reg.CallCount(ERegCall::DeleteKey), 2002u);
    EXPECT_FALSE(accessor.DeleteSection("Deep"));
    EXPECT_EQ(reg.GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    // Depth first in listing order: A goes; Locked cannot even be opened for
    // deleting, so its inner key stays; C is not reached. The section key
    // open below is let go first.
    EXPECT_EQ(accessor.GetValueType("F\\A", "V"), kValueDword);
    EXPECT_FALSE(accessor.DeleteSection("F"));
    EXPECT_EQ(reg.GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(accessor.GetCurrentSectionKey().IsEmpty());
    EXPECT_EQ(reg.SubKeyNames(kLm, "F"), (Names{"B", "C"}));
    EXPECT_TRUE(reg.KeyExists(kLm, "F\\B\\Locked\\In"));
    reg.AllowAccess(kLm, "F\\B\\Locked");
    reg.InjectFailure(ERegCall::EnumKey, kLm, "F\\B", ERROR_CANTREAD);
    EXPECT_FALSE(accessor.DeleteSection("F"));
    EXPECT_EQ(reg.GetLastError(), static_cast<DWORD>(ERROR_CANTREAD));
    EXPECT_TRUE(accessor.DeleteSection("F"));
    EXPECT_EQ(reg.KeyCount(), 0u);

    // An empty name touches nothing.
    reg.ResetCallCounts();
    for (const char* name : {static_cast<const char*>(nullptr), ""}) {
        EXPECT_FALSE(accessor.DeleteSection(name));
        EXPECT_EQ(reg.GetLastError(), static_cast<DWORD>(ERROR_BADKEY));
    }
    EXPECT_EQ(reg.CallCount(ERegCall::OpenKey) + reg.CallCount(ERegCall::DeleteKey), 0u);
}

// --- The administrator check ---------------------------------------------------

// Rights are judged by access to the COM-port database's key, not by what it
// holds: a PC on which no COM port was ever installed has no database.
TEST(AdministratorCheck, FullAccessToTheComDatabaseKeyPassesWhateverItHolds) {
    using Tolvane::Sim::CVirtualPC;
    const std::string control = "SYSTEM\\CurrentControlSet\\Control";
    const std::string arbiter = control + "\\COM Name Arbiter";
    const struct {
        const char* what;
        bool administrator;
        std::function<void(CSimRegistry&)> change;
        bool passes;
    } rows[] = {
        {"a database", true, [](CSimRegistry&) {}, true},
        {"an empty database", true,
         [&](CSimRegistry& r) { r.SetBinary(kLm, arbiter, "ComDB", {}); }, true},
        {"no database", true, [&](CSimRegistry& r) { r.DeleteValue(kLm, arbiter, "ComDB"); }, true},
        {"no arbiter key", true, [&](CSimRegistry& r) { r.DeleteTree(kLm, arbiter); }, true},
        // The accessor's fallback creates it, with the same rights.
        {"no control key", true, [&](CSimRegistry& r) { r.DeleteTree(kLm, control); }, true},
        {"a standard user", false, [](CSimRegistry&) {}, false},
        {"a standard user, no arbiter key", false,
         [&](CSimRegistry& r) { r.DeleteTree(kLm, arbiter); }, false},
        {"the control key alone denied", true,
         [&](CSimRegistry& r) { r.DenyAccess(kLm, control, CSimRegistry::kAdminOnlyRights); },
         false},
        {"the arbiter key denied, no database", true,
         [&](CSimRegistry& r) {
             r.DenyAccess(kLm, arbiter, CSimRegistry::kAdminOnlyRights);
             r.DeleteValue(kLm, arbiter, "ComDB");
         },
         false},
        {"the arbiter key fails to open", true,
         [&](CSimRegistry& r) {
             r.InjectFailure(ERegCall::OpenKey, kLm, arbiter, ERROR_REGISTRY_IO_FAILED, 0,
                             CSimRegistry::kAlways);
         },
         false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Tolvane::Sim::VirtualPcConfig config;
        config.administrator = row.administrator;
        CVirtualPC pc(config);
        CSimRegistry& reg = pc.Registry();
        row.change(reg);
        const bool hadArbiter = reg.KeyExists(kLm, arbiter);
        reg.ResetCallCounts();
        EXPECT_EQ(pc.HasAdministratorRights(), row.passes);
        EXPECT_EQ(reg.KeyExists(kLm, arbiter), hadArbiter);
        EXPECT_EQ(reg.CallCount(ERegCall::SetValue) + reg.CallCount(ERegCall::DeleteValue) +
                      reg.CallCount(ERegCall::DeleteKey),
                  0u);
        EXPECT_TRUE(pc.AllReleased()) << pc.LeakReport();
    }
}

}  // namespace
}  // namespace ZRK
