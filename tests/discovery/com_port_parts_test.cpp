// The finder's building blocks: the port record's order, the search helper,
// and the walk actions of the registry walker.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "discovery/com_port_finder.h"
#include "discovery/com_port_info.h"
#include "discovery/registry_tree_walker.h"
#include "platform/sim/sim_registry.h"

namespace {

using ZRK::CComPortInfo;
using ZRK::CRegistryTreeWalker;
using ZRK::CSection;
using ZRK::CTextString;
using Visits = std::vector<std::string>;

TEST(ComPortParts, RecordsOrderByPortOverTheWholeUnsignedRangeAndNothingElse) {
    CComPortInfo low;
    CComPortInfo high;
    high.m_wPort = 0xFFFF;
    EXPECT_EQ(low.Compare(high), -65535);
    EXPECT_EQ(high.Compare(low), 65535);
}

TEST(ComPortParts, IndexOfSearchesCaseSensitivelyFromTheStartIndex) {
    ZRK::CSharedArray<CTextString> keys;
    for (const char* key : {"{a}\\0001", "{b}\\0002", "{a}\\0001", "{A}\\0001"}) {
        keys.Add(key);
    }
    // Key, start, index found.
    const std::tuple<const char*, std::uint32_t, int> rows[] = {
        {"{a}\\0001", 0, 0},  {"{a}\\0001", 1, 2},  {"{A}\\0001", 0, 3},
        {"{a}\\0001", 3, -1}, {"{a}\\0001", 4, -1}, {"{a}\\0001", 0xFFFFFFFFu, -1},
        {"", 0, -1}};
    for (const auto& [key, start, found] : rows) {
        EXPECT_EQ(
            ZRK::IndexOf<CTextString>(&keys, key, ZRK::GetDefaultComparator<CTextString>(), start),
            found)
            << key << " from " << start;
    }
    const ZRK::CReadCollection<WORD>* none = nullptr;
    EXPECT_THROW(ZRK::IndexOf<WORD>(none, 0, ZRK::GetDefaultComparator<WORD>()),
                 ZRK::CNullPointerException);
}

// Records what the walk reports and answers from a table of actions.
class CRecordingWalker : public CRegistryTreeWalker {
public:
    std::int32_t OnFoundKey(const CTextString& strName, const CSection& key,
                            std::int32_t nDepth) override {
        m_visits.push_back(std::string(key.GetSection()) + "@" + std::to_string(nDepth));
        auto it = m_actions.find(std::string(strName));
        return it == m_actions.end() ? Descend : it->second;
    }

    Visits m_visits;
    std::map<std::string, std::int32_t> m_actions;
};

TEST(RegistryTreeWalker, WalksDepthFirstAndFollowsTheActionsOfItsHook) {
    Tolvane::Sim::CSimRegistry registry;
    for (const char* path : {"T\\A\\A1", "T\\A\\A2", "T\\B\\B1\\B11", "T\\B\\B2", "T\\C"}) {
        ASSERT_TRUE(registry.CreateKey(HKEY_LOCAL_MACHINE, path));
    }
    ZRK::CRegistryAccessor accessor(registry, HKEY_LOCAL_MACHINE, KEY_ENUMERATE_SUB_KEYS);
    auto walk = [&](CRecordingWalker& walker, const char* path) {
        const std::int32_t r = walker.Walk(CSection(&accessor, path));
        EXPECT_EQ(walker.GetDepth(), 0);
        return r;
    };
    CRecordingWalker all;
    EXPECT_EQ(walk(all, "T"), 0);
    EXPECT_EQ(all.m_visits, (Visits{"T\\A@1", "T\\A\\A1@2", "T\\A\\A2@2", "T\\B@1", "T\\B\\B1@2",
                                    "T\\B\\B1\\B11@3", "T\\B\\B2@2", "T\\C@1"}));
    CRecordingWalker skip;
    skip.m_actions["A1"] = CRegistryTreeWalker::SkipSiblings;  // A2 is not listed
    skip.m_actions["B"] = CRegistryTreeWalker::SkipSiblings;   // nor B's inside, nor C
    EXPECT_EQ(walk(skip, "T"), 0);
    EXPECT_EQ(skip.m_visits, (Visits{"T\\A@1", "T\\A\\A1@2", "T\\B@1"}));
    for (std::int32_t action : {2, 3, -1}) {
        CRecordingWalker abort;
        abort.m_actions["B11"] = action;  // anything but 0 and 1 ends the walk
        EXPECT_EQ(walk(abort, "T"), CRegistryTreeWalker::Abort);
        EXPECT_EQ(abort.m_visits.size(), 6u);
        EXPECT_EQ(abort.m_visits.back(), "T\\B\\B1\\B11@3");
    }
    // From the root itself the paths have no leading backslash.
    CRecordingWalker fromRoot;
    ASSERT_TRUE(registry.DenyAccess(HKEY_LOCAL_MACHINE, "T", KEY_ENUMERATE_SUB_KEYS));
    EXPECT_EQ(walk(fromRoot, ""), 0);
    EXPECT_EQ(fromRoot.m_visits, Visits{"T@1"});
}

}  // namespace
