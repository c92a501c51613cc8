#include "lib/collections.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace ZRK {
namespace {

using ByteArray = CSharedArray<std::uint8_t>;
using WordArray = CSharedArray<std::uint16_t>;
using TextArray = CSharedArray<CTextString>;

template <typename T>
std::vector<T> Items(const CSharedArray<T>& a) {
    return std::vector<T>(a.GetBuffer(), a.GetBuffer() + a.GetSize());
}

template <typename T>
CSharedArray<T> Make(std::vector<T> items) {
    CSharedArray<T> a;
    a.AddElements(static_cast<std::uint32_t>(items.size()), items.data());
    return a;
}

// An element that orders itself, like the port record.
class CPort : public CComparable<CPort> {
public:
    CPort() = default;
    explicit CPort(std::uint16_t w) : m_wPort(w) {}
    std::int32_t Compare(const CPort& other) const override {
        return static_cast<std::int32_t>(m_wPort) - static_cast<std::int32_t>(other.m_wPort);
    }
    std::uint16_t m_wPort = 0;
    CTextString m_strName;
};

// An element type with neither an order nor a serialized form.
struct SOpaque {
    int n = 0;
};

class CIsOdd : public CElementTest<std::uint16_t> {
public:
    bool IsMatch(const std::uint16_t& w) const override { return (w & 1) != 0; }
};

// Records the order in which arrays are locked and unlocked.
class CLoggingArray : public WordArray {
public:
    CLoggingArray(std::vector<std::string>* pLog, const char* pszName)
        : m_pLog(pLog), m_pszName(pszName) {}
    bool Lock(std::uint32_t nTimeout) override {
        m_pLog->push_back(std::string("lock ") + m_pszName);
        return WordArray::Lock(nTimeout);
    }
    void Unlock() override {
        m_pLog->push_back(std::string("unlock ") + m_pszName);
        WordArray::Unlock();
    }

private:
    std::vector<std::string>* m_pLog;
    const char* m_pszName;
};

// A minimal writable collection over std::vector: exercises the generic
// bodies of the interface layers.
class CVectorCollection : public CWriteCollection<std::uint16_t> {
public:
    bool Lock(std::uint32_t nTimeout) override { return m_lock.Lock(nTimeout); }
    void Unlock() override { m_lock.Unlock(); }
    std::uint32_t GetSize() const override { return static_cast<std::uint32_t>(m_items.size()); }
    const std::uint16_t& At(std::uint32_t i) const override {
        if (i >= m_items.size()) {
            throw CIndexOutOfBoundsException(0);
        }
        return m_items[i];
    }
    std::uint16_t& Ref(std::uint32_t i) override {
        At(i);
        return m_items[i];
    }
    bool Set(std::uint32_t i, const std::uint16_t& v) override {
        if (i >= m_items.size()) {
            return false;
        }
        m_items[i] = v;
        return true;
    }
    int Add(const std::uint16_t& v) override {
        if (m_items.size() >= m_nLimit) {
            return -1;
        }
        m_items.push_back(v);
        return static_cast<int>(m_items.size() - 1);
    }
    bool Remove(std::uint32_t i) override {
        if (i >= m_items.size() || m_bRefuseRemove) {
            return false;
        }
        m_items.erase(m_items.begin() + i);
        return true;
    }

    std::vector<std::uint16_t> m_items;
    std::size_t m_nLimit = 1000;
    bool m_bRefuseRemove = false;

private:
    CSectionSync m_lock;
};

// ---------------------------------------------------------------- storage

TEST(SharedArrayStorageTest, CapacityFollowsTheGrowthMargin) {
    ByteArray one;
    EXPECT_EQ(one.Add(7), 0);
    EXPECT_EQ(one.GetCapacity(), 5u);

    std::vector<std::uint16_t> hundred(100, 1);
    WordArray a;
    EXPECT_EQ(a.AddElements(100, hundred.data()), 100);
    EXPECT_EQ(a.GetCapacity(), 112u);

    std::vector<std::uint16_t> many(10000, 2);
    WordArray b;
    EXPECT_EQ(b.AddElements(10000, many.data()), 10000);
    EXPECT_EQ(b.GetCapacity() - b.GetSize(), 1024u);

    // A fixed growth step replaces the margin.
    WordArray stepped(10);
    stepped.Add(1);
    EXPECT_EQ(stepped.GetCapacity(), 11u);
    EXPECT_EQ(stepped.GetGrowBy(), 10u);
}

TEST(SharedArrayStorageTest, AppendsInPlaceWhileThereIsRoom) {
    WordArray a;
    a.Add(1);
    const std::uint16_t* storage = a.GetBuffer();
    for (std::uint16_t i = 2; i <= 5; ++i) {
        a.Add(i);
    }
    EXPECT_EQ(a.GetBuffer(), storage);
    EXPECT_EQ(a.GetCapacity(), 5u);
    a.Add(6);  // full: new storage for 6 + 4
    EXPECT_NE(a.GetBuffer(), storage);
    EXPECT_EQ(a.GetCapacity(), 10u);
    EXPECT_EQ(Items(a), (std::vector<std::uint16_t>{1, 2, 3, 4, 5, 6}));
}

TEST(SharedArrayStorageTest, TextSlotsAreValidEmptyStrings) {
    TextArray a;
    a.AddElements(3, nullptr);
    ASSERT_EQ(a.GetCapacity(), 7u);
    // Every slot, used or not, is a constructed empty string.
    for (std::uint32_t i = 0; i < a.GetCapacity(); ++i) {
        EXPECT_STREQ(a.GetBuffer()[i].GetString(), "");
    }
    a.Set(1, "value");
    a.SetSize(1);
    EXPECT_STREQ(a.GetBuffer()[1].GetString(), "");
}

// ------------------------------------------------------------ copy on write

TEST(SharedArrayCopyTest, CopiesShareUntilOneWrites) {
    WordArray a = Make<std::uint16_t>({1, 2, 3});
    WordArray b(a);
    EXPECT_EQ(a.GetBuffer(), b.GetBuffer());
    EXPECT_EQ(a.GetShareCount(), 2);
    EXPECT_TRUE(a.Set(0, 9));
    EXPECT_EQ(Items(a), (std::vector<std::uint16_t>{9, 2, 3}));
    EXPECT_EQ(Items(b), (std::vector<std::uint16_t>{1, 2, 3}));
    EXPECT_EQ(b.GetShareCount(), 1);  // b holds the old buffer alone
    EXPECT_EQ(a.GetShareCount(), 1);
    // The private copy gets the storage size of its element count.
    EXPECT_EQ(a.GetCapacity(), 7u);
}

TEST(SharedArrayCopyTest, EveryWriterDetaches) {
    const WordArray origin = Make<std::uint16_t>({5, 6, 7, 8});
    const std::vector<void (*)(WordArray&)> writers = {
        [](WordArray& c) { c.Ref(0) = 1; },
        [](WordArray& c) { c.Add(9); },
        [](WordArray& c) { c.Insert(0, 4); },
        [](WordArray& c) { c.Remove(1); },
        [](WordArray& c) { c.RemoveAll(); },
        [](WordArray& c) { c.SetSize(2); },
        [](WordArray& c) { c.SetSize(0); },
        [](WordArray& c) { c.Swap(0, 3); },
        [](WordArray& c) { c.SetElements(1, nullptr); },
        [](WordArray& c) { c.Sort(true, false); },
    };
    for (std::size_t i = 0; i < writers.size(); ++i) {
        WordArray c;
        c = origin;
        writers[i](c);
        EXPECT_NE(c.GetBuffer(), origin.GetBuffer()) << i;
        EXPECT_EQ(Items(origin), (std::vector<std::uint16_t>{5, 6, 7, 8})) << i;
        EXPECT_EQ(origin.GetShareCount(), 1) << i;
    }
}

TEST(SharedArrayCopyTest, SelfReferencesSurviveReallocation) {
    WordArray a = Make<std::uint16_t>({1, 2, 3, 4, 5});  // capacity 9
    for (int i = 0; i < 20; ++i) {
        a.Add(a.At(0));
    }
    EXPECT_EQ(a.GetSize(), 25u);
    EXPECT_EQ(a.At(24), 1);
    WordArray b = Make<std::uint16_t>({1, 2, 3});
    WordArray c = b;
    c.Set(2, c.At(0));  // value lives in the shared buffer
    EXPECT_EQ(Items(c), (std::vector<std::uint16_t>{1, 2, 1}));
    c.Insert(0, c.At(2));
    EXPECT_EQ(Items(c), (std::vector<std::uint16_t>{1, 1, 2, 1}));
    EXPECT_EQ(c.Append(c), 4u);
    EXPECT_EQ(Items(c), (std::vector<std::uint16_t>{1, 1, 2, 1, 1, 1, 2, 1}));
    EXPECT_EQ(c.AddElements(2, c.GetBuffer() + 2), 2);
    EXPECT_EQ(c.At(8), 2);
    EXPECT_EQ(c.At(9), 1);
}

// ------------------------------------------------------------ access rows

TEST(SharedArrayAccessTest, IndexChecks) {
    WordArray a = Make<std::uint16_t>({10, 20});
    EXPECT_EQ(a.At(1), 20);
    EXPECT_EQ(a.Get(0), 10);
    EXPECT_EQ(a[1], 20);
    EXPECT_THROW(a.At(2), CIndexOutOfBoundsException);
    EXPECT_THROW(a.Get(2), CIndexOutOfBoundsException);
    EXPECT_THROW(a.Ref(2), CIndexOutOfBoundsException);
    EXPECT_THROW(a.Swap(0, 2), CIndexOutOfBoundsException);
    EXPECT_FALSE(a.Set(2, 1));
    EXPECT_THROW(WordArray().At(0), CIndexOutOfBoundsException);
    EXPECT_THROW(a.At(0xFFFFFFFFu), CIndexOutOfBoundsException);
    a.Swap(1, 1);
    a.Swap(0, 1);
    EXPECT_EQ(Items(a), (std::vector<std::uint16_t>{20, 10}));
}

TEST(SharedArrayAccessTest, GetElements) {
    WordArray a = Make<std::uint16_t>({1, 2, 3, 4});
    std::uint16_t out[4] = {0, 0, 0, 0};
    EXPECT_EQ(a.GetElements(10, out, 1), 3u);
    EXPECT_EQ(out[0], 2);
    EXPECT_EQ(out[2], 4);
    EXPECT_EQ(a.GetElements(2, out, 4), 0u);
    EXPECT_EQ(a.GetElements(0, out, 0), 0u);
    EXPECT_THROW(a.GetElements(1, nullptr, 0), CNullPointerException);
}

TEST(SharedArrayAccessTest, InsertAtCountAppendsAndBeyondFails) {
    WordArray a = Make<std::uint16_t>({1, 3});
    EXPECT_TRUE(a.Insert(1, 2));
    EXPECT_TRUE(a.Insert(3, 4));
    EXPECT_TRUE(a.Insert(0, 0));
    EXPECT_EQ(Items(a), (std::vector<std::uint16_t>{0, 1, 2, 3, 4}));
    EXPECT_FALSE(a.Insert(6, 9));
    EXPECT_FALSE(a.InsertEx(6, 9));
    EXPECT_EQ(a.GetSize(), 5u);
}

TEST(SharedArrayAccessTest, RemoveElementsRows) {
    const WordArray five = Make<std::uint16_t>({1, 2, 3, 4, 5});
    WordArray a = five;
    EXPECT_EQ(a.RemoveElements(0, 0), 5);
    EXPECT_EQ(a.GetSize(), 0u);
    a = five;
    EXPECT_EQ(a.RemoveElements(2, 0), 3);
    EXPECT_EQ(Items(a), (std::vector<std::uint16_t>{1, 2}));
    a = five;
    EXPECT_EQ(a.RemoveElements(5, 1), -1);
    EXPECT_EQ(a.RemoveElements(1, 2), 2);
    EXPECT_EQ(Items(a), (std::vector<std::uint16_t>{1, 4, 5}));
    // The vacated slots at the end are cleared.
    EXPECT_EQ(a.GetBuffer()[3], 0);
    EXPECT_EQ(a.GetBuffer()[4], 0);
    EXPECT_EQ(a.RemoveElements(1, 0xFFFFFFFFu), 2);  // reaches past the end
    EXPECT_TRUE(a.Remove(0));
    EXPECT_FALSE(a.Remove(0));
    EXPECT_EQ(Items(five), (std::vector<std::uint16_t>{1, 2, 3, 4, 5}));
}

TEST(SharedArrayAccessTest, RemoveAllResetsGrowthStep) {
    WordArray a(100);
    a.Add(1);
    EXPECT_EQ(a.GetCapacity(), 101u);
    EXPECT_TRUE(a.RemoveAll());
    EXPECT_EQ(a.GetGrowBy(), 0u);
    a.Add(1);
    EXPECT_EQ(a.GetCapacity(), 5u);
}

TEST(SharedArrayAccessTest, SetSizeRows) {
    ByteArray a = Make<std::uint8_t>({1, 2, 3, 4, 5});
    EXPECT_TRUE(a.SetSize(3));
    EXPECT_EQ(a.GetSize(), 3u);
    EXPECT_EQ(a.GetCapacity(), 9u);  // capacity unchanged
    EXPECT_EQ(a.GetBuffer()[3], 0);
    EXPECT_EQ(a.GetBuffer()[4], 0);
    EXPECT_TRUE(a.SetSize(0xFFFFFFFFu));
    EXPECT_EQ(a.GetSize(), 3u);
    EXPECT_TRUE(a.SetSize(6));
    EXPECT_EQ(Items(a), (std::vector<std::uint8_t>{1, 2, 3, 0, 0, 0}));
    ByteArray b(50);
    EXPECT_TRUE(b.SetSize(4));
    EXPECT_EQ(b.GetCapacity(), 54u);
    EXPECT_TRUE(b.SetSize(0));
    EXPECT_EQ(b.GetGrowBy(), 0u);
    EXPECT_EQ(b.GetCapacity(), 0u);
}

TEST(SharedArrayAccessTest, SetElementsBuildsAFreshBuffer) {
    WordArray a = Make<std::uint16_t>({1, 2});
    WordArray copy = a;
    const std::uint16_t data[] = {7, 8, 9};
    EXPECT_EQ(a.Assign(3, data), 3);
    EXPECT_EQ(Items(a), (std::vector<std::uint16_t>{7, 8, 9}));
    EXPECT_EQ(Items(copy), (std::vector<std::uint16_t>{1, 2}));
    EXPECT_EQ(a.SetElements(2, nullptr), 2);
    EXPECT_EQ(Items(a), (std::vector<std::uint16_t>{0, 0}));
    EXPECT_EQ(a.SetElements(0, nullptr), 0);
    EXPECT_EQ(a.GetSize(), 0u);
    EXPECT_EQ(a.AddElements(0, data), 0);
}

TEST(SharedArrayAccessTest, AppendAndCopyFromOtherCollections) {
    WordArray a = Make<std::uint16_t>({1, 2});
    CVectorCollection v;
    v.m_items = {3, 4, 5};
    EXPECT_EQ(a.Append(v), 3u);
    EXPECT_EQ(Items(a), (std::vector<std::uint16_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(a.Append(WordArray()), 0u);
    WordArray b = Make<std::uint16_t>({9});
    EXPECT_EQ(b.Copy(a), 5u);
    EXPECT_EQ(Items(b), (std::vector<std::uint16_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(b.Copy(b), 5u);
    EXPECT_EQ(b.Copy(WordArray()), 0u);
    EXPECT_EQ(b.GetSize(), 0u);
    EXPECT_EQ(v.Copy(a), 5u);
    EXPECT_EQ(v.m_items, (std::vector<std::uint16_t>{1, 2, 3, 4, 5}));
}

TEST(SharedArrayLockTest, TwoCollectionOperationsLockTheOtherFirst) {
    std::vector<std::string> log;
    CLoggingArray a(&log, "a");
    CLoggingArray b(&log, "b");
    a.Add(1);
    b.Add(2);
    const std::vector<std::string> expected = {"lock b", "lock a", "unlock a", "unlock b"};
    log.clear();
    a.Append(b);
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(log.front(), "lock b");
    EXPECT_EQ(log[1], "lock a");
    EXPECT_EQ(log.back(), "unlock b");
    log.clear();
    a.Compare(b);
    EXPECT_EQ(log, expected);
    log.clear();
    a.IsEqual(b);
    EXPECT_EQ(log, expected);
    log.clear();
    a.Copy(b);
    EXPECT_EQ(log.front(), "lock b");
    EXPECT_EQ(log[1], "lock a");
    EXPECT_EQ(log.back(), "unlock b");
}

// ------------------------------------------------------ compare and sort

TEST(CollectionCompareTest, ElementThenSize) {
    EXPECT_EQ(Make<std::uint8_t>({1, 2}).Compare(Make<std::uint8_t>({1, 2, 3})), -1);
    EXPECT_EQ(Make<std::uint8_t>({1, 3}).Compare(Make<std::uint8_t>({1, 2, 3})), 1);
    EXPECT_EQ(Make<std::uint8_t>({1, 2, 3}).Compare(Make<std::uint8_t>({1})), 2);
    ByteArray same = Make<std::uint8_t>({4});
    EXPECT_EQ(same.Compare(same), 0);
    EXPECT_TRUE(same.IsEqual(same));
    EXPECT_TRUE(same.IsEqual(Make<std::uint8_t>({4})));
    EXPECT_FALSE(same.IsEqual(Make<std::uint8_t>({4, 4})));
    EXPECT_FALSE(same.IsEqual(Make<std::uint8_t>({5})));
    // Bytes are unsigned, chars signed on every platform.
    EXPECT_EQ(Make<std::uint8_t>({0x80}).Compare(Make<std::uint8_t>({0x7F})), 1);
    EXPECT_EQ(Make<char>({'\x80'}).Compare(Make<char>({'\x7F'})), -1);
    EXPECT_EQ(Make<std::uint16_t>({0xFFFF}).Compare(Make<std::uint16_t>({1})), 1);
}

TEST(CollectionCompareTest, DefaultComparators) {
    const CComparator<std::uint16_t>& words = GetDefaultComparator<std::uint16_t>();
    EXPECT_EQ(&words, &GetDefaultComparator<std::uint16_t>());  // one instance
    EXPECT_EQ(words.Compare(2, 1000), -1);
    EXPECT_EQ(words.Compare(1000, 2), 1);
    EXPECT_TRUE(words.IsEqual(7, 7));
    const CComparator<CTextString>& texts = GetDefaultComparator<CTextString>();
    EXPECT_EQ(texts.Compare("a", "b"), -1);
    EXPECT_TRUE(texts.IsEqual("Driver", "Driver"));
    EXPECT_FALSE(texts.IsEqual("Driver", "driver"));
    // Self-comparing elements: the difference of their own Compare.
    EXPECT_EQ(GetDefaultComparator<CPort>().Compare(CPort(3), CPort(10)), -7);
    EXPECT_EQ(GetDefaultComparator<CPort>().Compare(CPort(65535), CPort(0)), 65535);
    EXPECT_THROW(GetDefaultComparator<SOpaque>().Compare(SOpaque(), SOpaque()),
                 CNotSupportException);
}

class CSortTest : public ::testing::TestWithParam<bool> {};

TEST_P(CSortTest, AscendingAndDescending) {
    const bool bStable = GetParam();
    WordArray a = Make<std::uint16_t>({3, 1, 2});
    EXPECT_TRUE(a.Sort(GetDefaultComparator<std::uint16_t>(), false, bStable));
    EXPECT_EQ(Items(a), (std::vector<std::uint16_t>{1, 2, 3}));
    EXPECT_TRUE(a.Sort(GetDefaultComparator<std::uint16_t>(), true, bStable));
    EXPECT_EQ(Items(a), (std::vector<std::uint16_t>{3, 2, 1}));
    WordArray empty;
    EXPECT_TRUE(empty.Sort(false, bStable));
    WordArray dupes = Make<std::uint16_t>({5, 1, 5, 0, 1, 5, 3});
    EXPECT_TRUE(dupes.Sort(false, bStable));
    EXPECT_EQ(Items(dupes), (std::vector<std::uint16_t>{0, 1, 1, 3, 5, 5, 5}));
    EXPECT_TRUE(dupes.Sort(true, bStable));
    EXPECT_EQ(Items(dupes), (std::vector<std::uint16_t>{5, 5, 5, 3, 1, 1, 0}));
}

TEST_P(CSortTest, SelfComparingRecordsAndTexts) {
    const bool bStable = GetParam();
    CSharedArray<CPort> ports;
    for (std::uint16_t w : {7, 3, 12, 1}) {
        CPort p(w);
        p.m_strName = CTextString::Format("COM%u", static_cast<unsigned>(w));
        ports.Add(p);
    }
    EXPECT_TRUE(ports.Sort(false, bStable));
    EXPECT_EQ(ports[0].m_wPort, 1);
    EXPECT_STREQ(ports[3].m_strName.GetString(), "COM12");
    TextArray texts;
    texts.Add("b");
    texts.Add("c");
    texts.Add("a");
    EXPECT_TRUE(texts.Sort(true, bStable));
    EXPECT_STREQ(texts[0].GetString(), "c");
    EXPECT_STREQ(texts[2].GetString(), "a");
}

TEST_P(CSortTest, ExceptionEndsSortWithFalse) {
    CSharedArray<SOpaque> opaque;
    opaque.Add(SOpaque{2});
    opaque.Add(SOpaque{1});
    EXPECT_FALSE(opaque.Sort(false, GetParam()));
    // Nothing moved before the first comparison failed; the lock is free.
    EXPECT_EQ(opaque[0].n, 2);
    EXPECT_EQ(opaque.RemoveElements(0, 1), 1);
}

INSTANTIATE_TEST_SUITE_P(StableAndQuick, CSortTest, ::testing::Values(true, false));

// Fails on a chosen comparison, to see the partial sort.
class CFailingComparator : public CComparator<std::uint16_t> {
public:
    explicit CFailingComparator(int nFailAt) : m_nLeft(nFailAt) {}
    int Compare(const std::uint16_t& a, const std::uint16_t& b) const override {
        if (m_nLeft-- == 0) {
            throw CInvalidParamException(0);
        }
        return a < b ? -1 : (a > b ? 1 : 0);
    }
    mutable int m_nLeft;
};

TEST(CollectionSortTest, PartialExchangeSortIsKept) {
    WordArray a = Make<std::uint16_t>({4, 3, 2, 1});
    // Exchange sort: first pass compares (2,1), (3,1), (4,1).
    EXPECT_FALSE(a.Sort(CFailingComparator(2), false, true));
    EXPECT_EQ(Items(a), (std::vector<std::uint16_t>{4, 1, 3, 2}));
}

TEST(CollectionSortTest, QuickSortFollowsThePivotScheme) {
    // Pivot 3: 1 and 2 move left in scan order, then the pivot to m.
    WordArray a = Make<std::uint16_t>({3, 4, 1, 5, 2});
    EXPECT_FALSE(a.Sort(CFailingComparator(3), false, false));
    EXPECT_EQ(Items(a), (std::vector<std::uint16_t>{3, 1, 4, 5, 2}));
}

// Notes the deepest stack position that a comparison is made from.
class CDepthComparator : public CComparator<std::uint16_t> {
public:
    int Compare(const std::uint16_t& a, const std::uint16_t& b) const override {
        const std::uintptr_t frame = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
        m_lowest = std::min(m_lowest, frame);
        return a < b ? -1 : (a > b ? 1 : 0);
    }
    mutable std::uintptr_t m_lowest = UINTPTR_MAX;
};

std::size_t SortStackUse(WordArray& a, bool bDescending) {
    const std::uintptr_t base = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
    CDepthComparator comparator;
    EXPECT_TRUE(a.Sort(comparator, bDescending, false));
    return base - comparator.m_lowest;
}

TEST(CollectionSortTest, QuickSortStackStaysShallowOnOrderedInput) {
    // Ordered input splits off one element per step; handling the larger
    // part without recursion keeps the depth logarithmic. 4000 elements
    // would otherwise nest about 2000 levels deep.
    const std::uint32_t n = 4000;
    std::vector<std::uint16_t> descending(n);
    for (std::uint32_t i = 0; i < n; ++i) {
        descending[i] = static_cast<std::uint16_t>(n - i);
    }
    WordArray a = Make(descending);
    EXPECT_LT(SortStackUse(a, false), 32u * 1024u);
    for (std::uint32_t i = 1; i < n; ++i) {
        ASSERT_LT(a[i - 1], a[i]) << i;
    }
    // With descending set, equal elements all go left of the pivot.
    WordArray same = Make(std::vector<std::uint16_t>(n, 7));
    EXPECT_LT(SortStackUse(same, true), 32u * 1024u);
    EXPECT_EQ(same[n - 1], 7);
}

TEST(CollectionSortTest, SortThroughNullPointerThrows) {
    EXPECT_THROW(Sort<std::uint16_t>(nullptr, GetDefaultComparator<std::uint16_t>()),
                 CNullPointerException);
    WordArray a = Make<std::uint16_t>({2, 1});
    EXPECT_TRUE(Sort<std::uint16_t>(&a, GetDefaultComparator<std::uint16_t>()));
    EXPECT_EQ(a[0], 1);
}

// ------------------------------------------------------------- RemoveIf

TEST(CollectionRemoveIfTest, FlagSelectsMatchesOrRejects) {
    WordArray a = Make<std::uint16_t>({1, 2, 3, 4, 5});
    EXPECT_EQ(a.RemoveIf(CIsOdd(), true), 3u);
    EXPECT_EQ(Items(a), (std::vector<std::uint16_t>{2, 4}));
    WordArray b = Make<std::uint16_t>({1, 2, 3, 4, 5});
    EXPECT_EQ(b.RemoveIf(CIsOdd(), false), 2u);  // removes what the test rejects
    EXPECT_EQ(Items(b), (std::vector<std::uint16_t>{1, 3, 5}));
    EXPECT_EQ(WordArray().RemoveIf(CIsOdd(), true), 0u);
}

TEST(CollectionRemoveIfTest, StopsAtFirstFailedRemoval) {
    CVectorCollection v;
    v.m_items = {1, 3, 5};
    v.m_bRefuseRemove = true;
    EXPECT_EQ(v.RemoveIf(CIsOdd(), true), 0u);
    EXPECT_EQ(v.m_items.size(), 3u);
}

// ------------------------------------------------------ generic bodies

TEST(WriteCollectionTest, GenericBodies) {
    CVectorCollection v;
    const std::uint16_t data[] = {1, 2, 3, 4, 5};
    EXPECT_EQ(v.AddElements(5, data), 5);
    EXPECT_TRUE(v.Insert(2, 9));
    EXPECT_EQ(v.m_items, (std::vector<std::uint16_t>{1, 2, 9, 3, 4, 5}));
    EXPECT_FALSE(v.Insert(7, 1));
    EXPECT_EQ(v.RemoveElements(1, 2), 2);
    EXPECT_EQ(v.m_items, (std::vector<std::uint16_t>{1, 3, 4, 5}));
    EXPECT_EQ(v.RemoveElements(4, 1), -1);
    EXPECT_EQ(v.RemoveElements(2, 0), 2);  // count 0: to the end
    v.Swap(0, 1);
    EXPECT_EQ(v.m_items, (std::vector<std::uint16_t>{3, 1}));
    EXPECT_TRUE(v.SetSize(4));
    EXPECT_EQ(v.m_items, (std::vector<std::uint16_t>{3, 1, 0, 0}));
    EXPECT_TRUE(v.SetSize(1));
    EXPECT_EQ(v.m_items, (std::vector<std::uint16_t>{3}));
    EXPECT_EQ(v.SetElements(2, data), 2);
    EXPECT_EQ(v.m_items, (std::vector<std::uint16_t>{1, 2}));
    EXPECT_TRUE(v.Sort(true, true));
    EXPECT_EQ(v.m_items, (std::vector<std::uint16_t>{2, 1}));
    EXPECT_TRUE(v.RemoveAll());
    EXPECT_TRUE(v.m_items.empty());
    std::uint16_t out[2] = {0, 0};
    v.m_items = {6, 7};
    EXPECT_EQ(v.GetElements(2, out, 0), 2u);
    EXPECT_EQ(out[1], 7);
}

TEST(WriteCollectionTest, GenericFailures) {
    CVectorCollection v;
    v.m_nLimit = 3;
    EXPECT_EQ(v.AddElements(5, nullptr), -1);  // fails at the fourth Add
    EXPECT_EQ(v.m_items.size(), 3u);
    v.m_bRefuseRemove = true;
    EXPECT_FALSE(v.RemoveAll());
    EXPECT_EQ(v.SetElements(1, nullptr), -1);
    EXPECT_EQ(v.RemoveElements(0, 0), 0);
}

// ------------------------------------------------------- serialization

TEST(CollectionSerializeTest, RoundTripOfEveryElementType) {
    CMemorySerializer s;
    WordArray words = Make<std::uint16_t>({0x1234, 0xFFFF});
    words.Serialize(s);
    const std::vector<std::uint8_t> expected = {2, 0, 0, 0, 2, 0, 0, 0, 0x34, 0x12, 0xFF, 0xFF};
    EXPECT_EQ(s.GetData(), expected);
    TextArray texts;
    texts.Add("COM3");
    texts.Add("");
    texts.Add("\x83\x7E");
    texts.Serialize(s);
    CSharedArray<char> chars = Make<char>({'a', '\xFF'});
    chars.Serialize(s);

    s.Rewind();
    WordArray words2 = Make<std::uint16_t>({9, 9, 9});
    words2.Deserialize(s);
    EXPECT_TRUE(words2.IsEqual(words));
    TextArray texts2;
    texts2.Deserialize(s);
    ASSERT_EQ(texts2.GetSize(), 3u);
    EXPECT_STREQ(texts2[0].GetString(), "COM3");
    EXPECT_TRUE(texts2[1].IsEmpty());
    EXPECT_STREQ(texts2[2].GetString(), "\x83\x7E");
    CSharedArray<char> chars2;
    chars2.Deserialize(s);
    EXPECT_EQ(chars2.Compare(chars), 0);
    EXPECT_EQ(s.GetReadPosition(), s.GetData().size());
}

TEST(CollectionSerializeTest, DifferingCountWordsAreInvalid) {
    CMemorySerializer s(std::vector<std::uint8_t>{1, 0, 0, 0, 2, 0, 0, 0, 5});
    ByteArray a = Make<std::uint8_t>({7});
    EXPECT_THROW(a.Deserialize(s), CInvalidParamException);
    EXPECT_EQ(Items(a), (std::vector<std::uint8_t>{7}));
}

TEST(CollectionSerializeTest, TruncatedStreamsFailWithoutHugeAllocations) {
    // Counts of FFFFFFFFh with no elements behind them.
    CMemorySerializer s(std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    ByteArray a;
    EXPECT_THROW(a.Deserialize(s), CInvalidParamException);
    // A text whose length word promises 4 GB.
    CMemorySerializer t(
        std::vector<std::uint8_t>{1, 0, 0, 0, 1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 'a'});
    TextArray texts;
    EXPECT_THROW(texts.Deserialize(t), CInvalidParamException);
    CMemorySerializer empty;
    EXPECT_THROW(a.Deserialize(empty), CInvalidParamException);
}

TEST(CollectionSerializeTest, TextWithEmbeddedZeroKeepsStreamInStep) {
    CMemorySerializer s(std::vector<std::uint8_t>{2, 0, 0, 0, 2,   0, 0,   0,  // two texts
                                                  3, 0, 0, 0, 'a', 0, 'b',     // "a\0b"
                                                  1, 0, 0, 0, 'c'});
    TextArray texts;
    texts.Deserialize(s);
    ASSERT_EQ(texts.GetSize(), 2u);
    EXPECT_STREQ(texts[0].GetString(), "a");
    EXPECT_STREQ(texts[1].GetString(), "c");
}

TEST(CollectionSerializeTest, ElementsWithoutSerializedForm) {
    CSharedArray<CPort> ports;
    CMemorySerializer s;
    ports.Serialize(s);  // no element: only the two counts
    EXPECT_EQ(s.GetData().size(), 8u);
    s.Rewind();
    ports.Add(CPort(1));
    ports.Deserialize(s);  // count 0 leaves the array empty
    EXPECT_EQ(ports.GetSize(), 0u);

    ports.Add(CPort(1));
    CMemorySerializer t;
    EXPECT_THROW(ports.Serialize(t), CNotSupportException);
    CMemorySerializer u(std::vector<std::uint8_t>{1, 0, 0, 0, 1, 0, 0, 0, 1, 0});
    EXPECT_THROW(ports.Deserialize(u), CNotSupportException);
}

TEST(CollectionSerializeTest, ReadOnlyCollectionCannotBeRead) {
    // A read-only view over a fixed list.
    class CFixed : public CReadCollection<std::uint8_t> {
    public:
        bool Lock(std::uint32_t) override { return true; }
        void Unlock() override {}
        std::uint32_t GetSize() const override { return 2; }
        const std::uint8_t& At(std::uint32_t i) const override {
            static const std::uint8_t items[] = {0xAB, 0xCD};
            if (i >= 2) {
                throw CIndexOutOfBoundsException(0);
            }
            return items[i];
        }
    };
    CFixed fixed;
    CMemorySerializer s;
    fixed.Serialize(s);
    EXPECT_EQ(s.GetData().size(), 10u);
    s.Rewind();
    EXPECT_THROW(fixed.Deserialize(s), CNotSupportException);
    std::uint8_t out[2];
    EXPECT_EQ(fixed.GetElements(5, out, 1), 1u);
    EXPECT_EQ(out[0], 0xCD);
    EXPECT_EQ(fixed.Get(0), 0xAB);
    EXPECT_EQ(fixed.Compare(Make<std::uint8_t>({0xAB, 0xCD})), 0);
}

}  // namespace
}  // namespace ZRK
