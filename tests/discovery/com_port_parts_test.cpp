// The finder's building blocks: the port record's order, the search and
// lower-case helpers, and the walk actions of the registry walker.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "discovery/com_port_finder.h"
#include "discovery/com_port_info.h"
#include "discovery/registry_tree_walker.h"
#include "platform/sim/sim_registry.h"

namespace {

using ZRK::CComPortInfo;
using ZRK::CRegistryTreeWalker;
using ZRK::CSection;
using ZRK::CSharedArray;
using ZRK::CTextString;

TEST(ComPortInfo, OrdersByPortOverTheWholeUnsignedRange) {
    CComPortInfo low;
    CComPortInfo high;
    EXPECT_EQ(low.m_wPort, 0);
    EXPECT_EQ(low.m_wVendorId, 0);
    EXPECT_TRUE(low.m_strDescription.IsEmpty());
    high.m_wPort = 0xFFFF;
    EXPECT_EQ(low.Compare(high), -65535);
    EXPECT_EQ(high.Compare(low), 65535);
    EXPECT_FALSE(low.IsEqual(high));
    low.m_wPort = 0xFFFF;
    high.m_strDescription = "other texts do not count";
    EXPECT_TRUE(low.IsEqual(high));

    // Copies share the texts.
    const CComPortInfo copy = high;
    EXPECT_EQ(copy.m_strDescription.GetRefCount(), 2);
}

TEST(ComPortHelpers, IndexOfSearchesFromTheStartIndex) {
    CSharedArray<CTextString> keys;
    for (const char* key : {"{a}\\0001", "{b}\\0002", "{a}\\0001", "{A}\\0001"}) {
        keys.Add(key);
    }
    const auto& text = ZRK::GetDefaultComparator<CTextString>();
    EXPECT_EQ(ZRK::IndexOf<CTextString>(&keys, "{a}\\0001", text, 0), 0);
    EXPECT_EQ(ZRK::IndexOf<CTextString>(&keys, "{a}\\0001", text, 1), 2);
    EXPECT_EQ(ZRK::IndexOf<CTextString>(&keys, "{A}\\0001", text, 0), 3);  // case counts
    EXPECT_EQ(ZRK::IndexOf<CTextString>(&keys, "{a}\\0001", text, 3), -1);
    EXPECT_EQ(ZRK::IndexOf<CTextString>(&keys, "{a}\\0001", text, 4), -1);
    EXPECT_EQ(ZRK::IndexOf<CTextString>(&keys, "{a}\\0001", text, 0xFFFFFFFFu), -1);
    EXPECT_EQ(ZRK::IndexOf<CTextString>(&keys, "", text, 0), -1);

    CSharedArray<WORD> numbers;
    EXPECT_EQ(ZRK::IndexOf<WORD>(&numbers, 0, ZRK::GetDefaultComparator<WORD>(), 0), -1);
    const ZRK::CReadCollection<WORD>* none = nullptr;
    EXPECT_THROW(ZRK::IndexOf<WORD>(none, 0, ZRK::GetDefaultComparator<WORD>(), 0),
                 ZRK::CNullPointerException);
}

TEST(ComPortHelpers, LowerCaseMapping) {
    EXPECT_STREQ(ZRK::ToLowerLocale("USB\\VID_04D8&PID_E6B2"), "usb\\vid_04d8&pid_e6b2");
    EXPECT_STREQ(ZRK::ToLowerLocale(nullptr), "");
    EXPECT_STREQ(ZRK::ToLowerLocale(""), "");
    // A double-byte character whose trail byte is an upper-case letter in
    // ASCII ("ア" is 83h 41h) stays as it is.
    EXPECT_STREQ(ZRK::ToLowerLocale("\x83\x41"
                                    "A"),
                 "\x83\x41"
                 "a");
    EXPECT_STREQ(ZRK::MapStringLocale("ABC", LCMAP_LOWERCASE), "abc");
}

// Records what the walk reports and answers from a table of actions.
class CRecordingWalker : public CRegistryTreeWalker {
public:
    std::int32_t OnFoundKey(const CTextString& strName, const CSection& key,
                            std::int32_t nDepth) override {
        EXPECT_EQ(nDepth, m_nDepth);
        m_visits.push_back(std::string(key.GetSection()) + "@" + std::to_string(nDepth));
        m_nDeepest = std::max(m_nDeepest, nDepth);
        auto it = m_actions.find(std::string(strName));
        return it == m_actions.end() ? Descend : it->second;
    }

    std::vector<std::string> m_visits;
    std::map<std::string, std::int32_t> m_actions;
    std::int32_t m_nDeepest = 0;
};

class RegistryTreeWalkerTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* path : {"T\\A\\A1", "T\\A\\A2", "T\\B\\B1\\B11", "T\\B\\B2", "T\\C"}) {
            ASSERT_TRUE(m_registry.CreateKey(HKEY_LOCAL_MACHINE, path));
        }
    }
    void TearDown() override { EXPECT_EQ(m_registry.OpenKeyCount(), 0u); }

    std::int32_t WalkFrom(CRecordingWalker& walker, const char* path) {
        ZRK::CRegistryAccessor accessor(m_registry, HKEY_LOCAL_MACHINE, KEY_ENUMERATE_SUB_KEYS);
        const std::int32_t r = walker.Walk(CSection(&accessor, path));
        EXPECT_EQ(walker.GetDepth(), 0);
        return r;
    }

    Tolvane::Sim::CSimRegistry m_registry;
};

TEST_F(RegistryTreeWalkerTest, TheBaseWalkVisitsEveryKeyDepthFirst) {
    CRecordingWalker walker;
    EXPECT_EQ(WalkFrom(walker, "T"), 0);
    EXPECT_EQ(walker.m_visits,
              (std::vector<std::string>{"T\\A@1", "T\\A\\A1@2", "T\\A\\A2@2", "T\\B@1",
                                        "T\\B\\B1@2", "T\\B\\B1\\B11@3", "T\\B\\B2@2", "T\\C@1"}));
    // From the root itself the paths have no leading backslash.
    CRecordingWalker fromRoot;
    ASSERT_TRUE(m_registry.DenyAccess(HKEY_LOCAL_MACHINE, "T", KEY_ENUMERATE_SUB_KEYS));
    EXPECT_EQ(WalkFrom(fromRoot, ""), 0);
    EXPECT_EQ(fromRoot.m_visits, (std::vector<std::string>{"T@1"}));
}

TEST_F(RegistryTreeWalkerTest, SkipSiblingsAndAbort) {
    CRecordingWalker skip;
    skip.m_actions["A1"] = CRegistryTreeWalker::SkipSiblings;  // A2 is not listed
    skip.m_actions["B"] = CRegistryTreeWalker::SkipSiblings;   // nor B's inside, nor C
    EXPECT_EQ(WalkFrom(skip, "T"), 0);
    EXPECT_EQ(skip.m_visits, (std::vector<std::string>{"T\\A@1", "T\\A\\A1@2", "T\\B@1"}));

    for (std::int32_t action : {2, 3, -1}) {
        CRecordingWalker abort;
        abort.m_actions["B11"] = action;  // anything but 0 and 1 ends the walk
        EXPECT_EQ(WalkFrom(abort, "T"), CRegistryTreeWalker::Abort);
        EXPECT_EQ(abort.m_visits.back(), "T\\B\\B1\\B11@3");
        EXPECT_EQ(abort.m_visits.size(), 6u);
    }
}

TEST_F(RegistryTreeWalkerTest, TheWalkStopsDescendingAtItsDepthLimit) {
    std::string path = "D";
    for (int i = 0; i < CRegistryTreeWalker::kMaxDepth + 100; ++i) {
        path += "\\K";
    }
    ASSERT_TRUE(m_registry.CreateKey(HKEY_LOCAL_MACHINE, path));
    CRecordingWalker walker;
    EXPECT_EQ(WalkFrom(walker, "D"), 0);
    EXPECT_EQ(walker.m_nDeepest, CRegistryTreeWalker::kMaxDepth);
    EXPECT_EQ(walker.m_visits.size(), static_cast<std::size_t>(CRegistryTreeWalker::kMaxDepth));
}

}  // namespace
