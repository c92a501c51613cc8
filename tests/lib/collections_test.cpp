#include "lib/collections.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace ZRK {
namespace {

using WordArray = CSharedArray<std::uint16_t>;
using Words = std::vector<std::uint16_t>;
using Texts = std::vector<CTextString>;
using Result = std::pair<int, Words>;

template <typename T>
std::vector<T> Items(const CReadCollection<T>& c) {
    std::vector<T> items(c.GetSize());
    c.GetElements(c.GetSize(), items.data(), 0);
    return items;
}

template <typename T = std::uint16_t>
CSharedArray<T> Make(const std::vector<T>& items) {
    CSharedArray<T> a;
    a.AddElements(static_cast<std::uint32_t>(items.size()), items.data());
    return a;
}

// An element type with neither an order nor a serialized form.
struct SOpaque {
    int n = 0;
};

struct CIsOdd : CElementTest<std::uint16_t> {
    bool IsMatch(const std::uint16_t& w) const override { return (w & 1) != 0; }
};

// A collection over a vector that keeps every generic body of the interface
// layers; it can be told to refuse Add and Remove.
class CVectorCollection : public CWriteCollection<std::uint16_t> {
public:
    bool Lock(std::uint32_t /*nTimeout*/) override { return true; }
    void Unlock() override {}
    std::uint32_t GetSize() const override { return static_cast<std::uint32_t>(m_items.size()); }
    const std::uint16_t& At(std::uint32_t i) const override {
        return i < m_items.size() ? m_items[i] : throw CIndexOutOfBoundsException(0);
    }
    std::uint16_t& Ref(std::uint32_t i) override { return const_cast<std::uint16_t&>(At(i)); }
    bool Set(std::uint32_t i, const std::uint16_t& w) override {
        return i < m_items.size() && (m_items[i] = w, true);
    }
    int Add(const std::uint16_t& w) override {
        return m_items.size() < m_nLimit ? (m_items.push_back(w), static_cast<int>(GetSize()) - 1)
                                         : -1;
    }
    bool Remove(std::uint32_t i) override {
        return i < m_items.size() && !m_bRefuseRemove && (m_items.erase(m_items.begin() + i), true);
    }

    Words m_items;
    std::size_t m_nLimit = 1000;
    bool m_bRefuseRemove = false;
};

// ------------------------------------- the contract of writable collections

// Each test runs on the array's own bodies and on the generic ones.
template <typename C>
class WritableCollectionTest : public ::testing::Test {
protected:
    C& With(const Words& items) {
        c.SetElements(static_cast<std::uint32_t>(items.size()), items.data());
        return c;
    }
    C c;
};
using WritableCollections = ::testing::Types<WordArray, CVectorCollection>;
TYPED_TEST_SUITE(WritableCollectionTest, WritableCollections, );

TYPED_TEST(WritableCollectionTest, IndexChecks) {
    TypeParam& c = this->With({10, 20, 30});
    for (std::uint32_t i : {3u, 0xFFFFFFFFu}) {
        EXPECT_THROW(c.At(i), CIndexOutOfBoundsException);
        EXPECT_THROW(c.Ref(i), CIndexOutOfBoundsException);
        EXPECT_THROW(c.Swap(0, i), CIndexOutOfBoundsException);
        EXPECT_FALSE(c.Set(i, 1));
    }
    EXPECT_THROW(TypeParam().At(0), CIndexOutOfBoundsException);
    c.Swap(0, 2);
    c.Ref(1) = 7;
    std::uint16_t out[3] = {};
    EXPECT_EQ(c.GetElements(10, out, 1), 2u);  // clipped at the end
    EXPECT_EQ(Words(out, out + 3), (Words{7, 10, 0}));
    EXPECT_EQ(c.GetElements(2, nullptr, 3), 0u);
    EXPECT_THROW(c.GetElements(1, nullptr, 0), CNullPointerException);
}

TYPED_TEST(WritableCollectionTest, InsertAndRemoveRows) {
    TypeParam& c = this->With({1, 3});
    EXPECT_TRUE(c.Insert(1, 2));
    EXPECT_TRUE(c.Insert(3, 4));  // at the count: appends
    EXPECT_TRUE(c.Insert(0, 0));
    EXPECT_FALSE(c.Insert(6, 9));
    EXPECT_EQ(Items(c), (Words{0, 1, 2, 3, 4}));

    auto remove = [this](std::uint32_t nIndex, std::uint32_t nCount) {
        const int n = this->With({1, 2, 3, 4, 5}).RemoveElements(nIndex, nCount);
        return Result(n, Items(this->c));
    };
    EXPECT_EQ(remove(0, 0), Result(5, {}));  // count 0: to the end
    EXPECT_EQ(remove(2, 0), Result(3, {1, 2}));
    EXPECT_EQ(remove(1, 2), Result(2, {1, 4, 5}));
    EXPECT_EQ(remove(1, 0xFFFFFFFFu), Result(4, {1}));  // reaching past the end
    EXPECT_EQ(remove(4, 1), Result(1, {1, 2, 3, 4}));
    EXPECT_EQ(remove(5, 1), Result(-1, {1, 2, 3, 4, 5}));
    EXPECT_TRUE(this->With({7}).Remove(0));
    EXPECT_FALSE(c.Remove(0));

    // RemoveIf removes the elements whose test result equals the flag.
    EXPECT_EQ(this->With({1, 2, 3, 4, 5}).RemoveIf(CIsOdd(), true), 3u);
    EXPECT_EQ(Items(c), (Words{2, 4}));
    EXPECT_EQ(this->With({1, 2, 3, 4, 5}).RemoveIf(CIsOdd(), false), 2u);
    EXPECT_EQ(Items(c), (Words{1, 3, 5}));
}

TYPED_TEST(WritableCollectionTest, SizeAndWholeContent) {
    TypeParam& c = this->With({1, 2, 3, 4, 5});
    // The size FFFFFFFFh leaves the size alone.
    EXPECT_TRUE(c.SetSize(3) && c.SetSize(0xFFFFFFFFu) && c.SetSize(5));
    EXPECT_EQ(Items(c), (Words{1, 2, 3, 0, 0}));
    EXPECT_TRUE(c.SetSize(0) && c.SetSize(2));
    EXPECT_EQ(Items(c), (Words{0, 0}));
    const std::uint16_t data[] = {7, 8, 9};
    EXPECT_EQ(c.Assign(3, data), 3);
    EXPECT_EQ(c.AddElements(0, data), 0);
    EXPECT_EQ(Items(c), (Words{7, 8, 9}));
    EXPECT_EQ(c.SetElements(2, nullptr), 2);
    EXPECT_EQ(Items(c), (Words{0, 0}));

    const WordArray three = Make({3, 4, 5});
    EXPECT_EQ(c.Append(three), 3u);
    EXPECT_EQ(c.Append(WordArray()), 0u);
    EXPECT_EQ(c.Copy(c), 5u);
    EXPECT_EQ(Items(c), (Words{0, 0, 3, 4, 5}));
    EXPECT_EQ(c.Copy(three), 3u);
    EXPECT_EQ(Items(c), (Words{3, 4, 5}));
    EXPECT_EQ(c.Copy(WordArray()), 0u);
    EXPECT_EQ(c.GetSize(), 0u);
}

// Fails on a chosen comparison, to see the partial sort.
struct CFailingComparator : CComparator<std::uint16_t> {
    explicit CFailingComparator(int nFailAt) : m_nLeft(nFailAt) {}
    int Compare(const std::uint16_t& a, const std::uint16_t& b) const override {
        return m_nLeft-- == 0 ? throw CInvalidParamException(0) : (a > b) - (a < b);
    }
    mutable int m_nLeft;
};

TYPED_TEST(WritableCollectionTest, SortBothWaysWithBothAlgorithms) {
    for (bool bStable : {true, false}) {
        SCOPED_TRACE(bStable);
        TypeParam& c = this->With({5, 1, 5, 0, 1, 5, 3});
        EXPECT_TRUE(c.Sort(false, bStable));
        EXPECT_EQ(Items(c), (Words{0, 1, 1, 3, 5, 5, 5}));
        EXPECT_TRUE(c.Sort(GetDefaultComparator<std::uint16_t>(), true, bStable));
        EXPECT_EQ(Items(c), (Words{5, 5, 5, 3, 1, 1, 0}));
        EXPECT_TRUE(this->With({}).Sort(false, bStable));
    }
    // A failed comparison ends the sort where it was. Exchange sort: the
    // first pass compares (2,1), (3,1), (4,1). Quick sort with pivot 3: 1
    // has moved left in scan order before the fourth comparison.
    EXPECT_FALSE(this->With({4, 3, 2, 1}).Sort(CFailingComparator(2), false, true));
    EXPECT_EQ(Items(this->c), (Words{4, 1, 3, 2}));
    EXPECT_FALSE(this->With({3, 4, 1, 5, 2}).Sort(CFailingComparator(3), false, false));
    EXPECT_EQ(Items(this->c), (Words{3, 1, 4, 5, 2}));
}

TEST(WriteCollectionTest, GenericBodiesStopAtTheFirstRefusal) {
    CVectorCollection v;
    v.m_nLimit = 3;
    EXPECT_EQ(v.AddElements(5, nullptr), -1);  // the fourth Add fails
    EXPECT_FALSE(v.SetSize(4));
    EXPECT_FALSE(v.Insert(0, 9));
    v.m_bRefuseRemove = true;
    EXPECT_FALSE(v.RemoveAll());
    EXPECT_EQ(v.SetElements(1, nullptr), -1);
    EXPECT_EQ(v.RemoveElements(0, 0), 0);
    EXPECT_EQ(v.RemoveIf(CIsOdd(), false), 0u);
    EXPECT_EQ(v.m_items, (Words{0, 0, 0}));
}

// ------------------------------------------------------ the array's storage

TEST(SharedArrayStorageTest, CapacityFollowsTheGrowthMarginAndAppendsInPlace) {
    WordArray a;
    EXPECT_EQ(a.Add(1), 0);
    EXPECT_EQ(a.GetCapacity(), 5u);  // margin at least 4
    const std::uint16_t* storage = a.GetBuffer();
    for (std::uint16_t w = 2; w <= 5; ++w) {
        a.Add(w);
    }
    EXPECT_EQ(a.GetBuffer(), storage);
    a.Add(6);
    EXPECT_NE(a.GetBuffer(), storage);
    EXPECT_EQ(Items(a), (Words{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(Make(Words(100, 1)).GetCapacity(), 112u);              // n / 8
    EXPECT_EQ(Make(Words(10000, 2)).GetCapacity(), 10000u + 1024u);  // at most 1024
    // Sizes beyond what an index can reach are refused, not reported as set.
    WordArray huge;
    EXPECT_FALSE(huge.SetSize(0x80000000u));
    huge.Add(1);
    EXPECT_FALSE(huge.SetSize(0x80000000u));
    EXPECT_EQ(huge.GetSize(), 1u);
    // A fixed step replaces the margin. Starting afresh drops storage and
    // step; removing exactly the whole content from 0 keeps both.
    const std::pair<void (*)(WordArray&), std::uint32_t> resets[] = {
        {[](WordArray& c) { c.RemoveAll(); }, 0},
        {[](WordArray& c) { c.SetSize(0); }, 0},
        {[](WordArray& c) { c.RemoveElements(0, 0); }, 0},
        {[](WordArray& c) { c.RemoveElements(0, 5); }, 0},
        {[](WordArray& c) { c.RemoveElements(0, 4); }, 54},
    };
    for (const auto& row : resets) {
        WordArray stepped(50);
        stepped.SetSize(4);
        EXPECT_EQ(stepped.GetCapacity(), 54u);
        row.first(stepped);
        EXPECT_EQ(stepped.GetSize(), 0u);
        EXPECT_EQ(stepped.GetCapacity(), row.second);
        stepped.Add(1);
        EXPECT_EQ(stepped.GetCapacity(), row.second != 0 ? row.second : 5u);
    }
}

TEST(SharedArrayStorageTest, UnusedAndVacatedSlotsHoldEmptyElements) {
    CSharedArray<CTextString> texts;
    texts.AddElements(3, nullptr);
    texts.Set(1, "value");
    texts.SetSize(1);
    ASSERT_EQ(texts.GetCapacity(), 7u);
    EXPECT_EQ(Texts(texts.GetBuffer(), texts.GetBuffer() + 7), Texts(7));
    WordArray words = Make({1, 2, 3, 4, 5});
    EXPECT_EQ(words.RemoveElements(1, 2), 2);
    words.SetSize(2);
    EXPECT_EQ(Words(words.GetBuffer(), words.GetBuffer() + 5), (Words{1, 4, 0, 0, 0}));
}

TEST(SharedArrayCopyTest, CopiesShareUntilAnyWrite) {
    const WordArray origin = Make({5, 6, 7, 8});
    const std::vector<void (*)(WordArray&)> writers = {
        [](WordArray& c) { c.Set(0, 1); },
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
        SCOPED_TRACE(i);
        WordArray c;
        c = origin;
        EXPECT_EQ(c.GetBuffer(), origin.GetBuffer());
        EXPECT_EQ(origin.GetShareCount(), 2);
        writers[i](c);
        EXPECT_NE(c.GetBuffer(), origin.GetBuffer());
        EXPECT_EQ(Items(origin), (Words{5, 6, 7, 8}));
        EXPECT_EQ(origin.GetShareCount(), 1);
    }
    WordArray copy(origin);
    copy.Set(0, 1);
    EXPECT_EQ(copy.GetCapacity(), 8u);  // the private copy is sized for its count
}

TEST(SharedArrayCopyTest, SelfReferencesSurviveReallocation) {
    WordArray a = Make({1, 2, 3, 4, 5});  // capacity 9
    for (int i = 0; i < 20; ++i) {
        a.Add(a.At(0));
    }
    ASSERT_EQ(a.GetSize(), 25u);
    EXPECT_EQ(Words(a.GetBuffer() + 5, a.GetBuffer() + 25), Words(20, 1));
    const WordArray b = Make({1, 2, 3});
    WordArray c = b;
    c.Set(2, c.At(0));  // the value lives in the shared buffer
    c.Insert(0, c.At(2));
    EXPECT_EQ(c.Append(c), 4u);
    EXPECT_EQ(c.AddElements(2, c.GetBuffer() + 2), 2);
    EXPECT_EQ(Items(c), (Words{1, 1, 2, 1, 1, 1, 2, 1, 2, 1}));
}

// Records the order in which arrays are locked and unlocked.
class CLoggingArray : public WordArray {
public:
    CLoggingArray(std::string* pLog, char chName) : m_pLog(pLog), m_chName(chName) {}
    bool Lock(std::uint32_t nTimeout) override {
        *m_pLog += std::string("+") + m_chName;
        return WordArray::Lock(nTimeout);
    }
    void Unlock() override {
        *m_pLog += std::string("-") + m_chName;
        WordArray::Unlock();
    }

private:
    std::string* m_pLog;
    char m_chName;
};

TEST(SharedArrayLockTest, TwoCollectionOperationsLockTheOtherFirst) {
    std::string log;
    CLoggingArray a(&log, 'a');
    CLoggingArray b(&log, 'b');
    b.Add(2);
    // The first two locks and the last unlock of each operation.
    auto order = [&log](auto operation) {
        log.clear();
        operation();
        return log.substr(0, 4) + log.substr(log.size() - 2);
    };
    EXPECT_EQ(order([&] { a.Append(b); }), "+b+a-b");
    EXPECT_EQ(order([&] { a.Compare(b); }), "+b+a-b");
    EXPECT_EQ(order([&] { a.IsEqual(b); }), "+b+a-b");
    EXPECT_EQ(order([&] { a.Copy(b); }), "+b+a-b");
}

// ------------------------------------------------------- compare and sort

TEST(CollectionCompareTest, FirstDifferenceThenSizeAndElementOrders) {
    EXPECT_EQ(Make({1, 2}).Compare(Make({1, 2, 3})), -1);
    EXPECT_EQ(Make({1, 3}).Compare(Make({1, 2, 3})), 1);
    EXPECT_EQ(Make({1, 2, 3}).Compare(Make({1})), 2);  // the size difference
    const WordArray same = Make({4});
    EXPECT_EQ(same.Compare(same), 0);
    EXPECT_TRUE(same.IsEqual(Make({4})));
    EXPECT_FALSE(same.IsEqual(Make({4, 4})));
    EXPECT_FALSE(same.IsEqual(Make({5})));
    // Bytes are unsigned, chars signed on every platform.
    EXPECT_EQ(Make<std::uint8_t>({0x80}).Compare(Make<std::uint8_t>({0x7F})), 1);
    EXPECT_EQ(Make<char>({'\x80'}).Compare(Make<char>({'\x7F'})), -1);
    // Self-comparing elements (collections are) give their own Compare's
    // value, texts the locale order; other elements have none.
    EXPECT_EQ(
        GetDefaultComparator<CReadCollection<std::uint16_t>>().Compare(Make({1, 2, 3}), Make({1})),
        2);
    EXPECT_FALSE(GetDefaultComparator<CTextString>().IsEqual("Driver", "driver"));
    EXPECT_THROW(GetDefaultComparator<SOpaque>().Compare(SOpaque(), SOpaque()),
                 CNotSupportException);
    EXPECT_THROW(Sort<SOpaque>(nullptr, GetDefaultComparator<SOpaque>()), CNullPointerException);
}

// Notes the deepest stack position that a comparison is made from.
struct CDepthComparator : CComparator<std::uint16_t> {
    int Compare(const std::uint16_t& a, const std::uint16_t& b) const override {
        const std::uintptr_t frame = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
        m_lowest = std::min(m_lowest, frame);
        return (a > b) - (a < b);
    }
    mutable std::uintptr_t m_lowest = UINTPTR_MAX;
};

TEST(CollectionSortTest, QuickSortStackStaysShallowOnOrderedInput) {
    // Ordered input splits off one element per step (with descending set,
    // equal elements all go left of the pivot); handling the larger part
    // without recursion keeps the depth logarithmic. 4000 elements would
    // otherwise nest about 2000 levels deep.
    const std::uintptr_t base = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
    Words descending(4000);
    for (std::size_t i = 0; i < descending.size(); ++i) {
        descending[i] = static_cast<std::uint16_t>(4000 - i);
    }
    for (bool bDescending : {false, true}) {
        WordArray a = Make(bDescending ? Words(4000, 7) : descending);
        CDepthComparator comparator;
        EXPECT_TRUE(a.Sort(comparator, bDescending, false));
        EXPECT_LT(base - comparator.m_lowest, 32u * 1024u) << bDescending;
        EXPECT_TRUE(std::is_sorted(a.GetBuffer(), a.GetBuffer() + 4000));
    }
}

// Orders by the high byte only, so that equal keys stay distinguishable.
struct CHighByteComparator : CComparator<std::uint16_t> {
    int Compare(const std::uint16_t& a, const std::uint16_t& b) const override {
        return (a >> 8) - (b >> 8);
    }
};

TEST(CollectionSortTest, StableSortKeepsEqualKeysInOrderBothWays) {
    for (bool bDescending : {false, true}) {
        WordArray a = Make({0x101, 0x202, 0x102, 0x203, 0x103});
        EXPECT_TRUE(a.Sort(CHighByteComparator(), bDescending, true));
        EXPECT_EQ(Items(a), bDescending ? (Words{0x202, 0x203, 0x101, 0x102, 0x103})
                                        : (Words{0x101, 0x102, 0x103, 0x202, 0x203}));
    }
}

// The quick sort as a plain left-first recursion over a vector.
void ReferenceQuickSort(Words& v, const CComparator<std::uint16_t>& comparator, bool bDescending,
                        std::uint32_t nLow, std::uint32_t nHigh) {
    while (nLow < nHigh) {
        const std::uint16_t pivot = v[nLow];
        std::uint32_t m = nLow;
        for (std::uint32_t i = nLow + 1; i <= nHigh; ++i) {
            if ((comparator.Compare(v[i], pivot) < 0) != bDescending) {
                std::swap(v[i], v[++m]);
            }
        }
        std::swap(v[nLow], v[m]);
        if (m != 0) {
            ReferenceQuickSort(v, comparator, bDescending, nLow, m - 1);
        }
        nLow = m + 1;
    }
}

TEST(CollectionSortTest, QuickSortFailsWhereTheLeftFirstRecursionFails) {
    // Every order of 7 elements, a comparison failing at every point: the
    // partial order left behind and the result match the plain recursion.
    Words order = {0, 1, 2, 3, 4, 5, 6};
    do {
        for (bool bDescending : {false, true}) {
            for (int k = 0;; ++k) {
                Words expected = order;
                bool bDone = true;
                try {
                    ReferenceQuickSort(expected, CFailingComparator(k), bDescending, 0, 6);
                } catch (const CZrkException&) {
                    bDone = false;
                }
                WordArray a = Make(order);
                ASSERT_EQ(a.Sort(CFailingComparator(k), bDescending, false), bDone) << k;
                ASSERT_EQ(Items(a), expected) << k;
                if (bDone) {
                    break;
                }
            }
        }
    } while (std::next_permutation(order.begin(), order.end()));
}

// ------------------------------------------------------- serialization

TEST(CollectionSerializeTest, WireFormatAndRoundTrip) {
    CMemorySerializer s;
    Make({0x1234, 0xFFFF}).Serialize(s);
    Make<CTextString>({"\x83\x7E", ""}).Serialize(s);
    Make<std::int16_t>({-2}).Serialize(s);
    // Both counts, then the elements little-endian; a text as its length
    // word and its bytes.
    const std::vector<std::uint8_t> expected = {
        2, 0, 0, 0, 2,    0,    0, 0, 0x34, 0x12, 0xFF, 0xFF, 2, 0, 0, 0, 2, 0, 0,    0,
        2, 0, 0, 0, 0x83, 0x7E, 0, 0, 0,    0,    1,    0,    0, 0, 1, 0, 0, 0, 0xFE, 0xFF};
    EXPECT_EQ(s.GetData(), expected);
    WordArray words = Make({9, 9, 9});
    CSharedArray<CTextString> texts;
    CSharedArray<std::int16_t> shorts;
    words.Deserialize(s);
    texts.Deserialize(s);
    shorts.Deserialize(s);
    EXPECT_EQ(Items(words), (Words{0x1234, 0xFFFF}));
    EXPECT_EQ(Items(texts), (Texts{"\x83\x7E", ""}));
    EXPECT_EQ(shorts[0], -2);
    EXPECT_EQ(s.GetReadPosition(), expected.size());
    // A read-only collection cannot be filled.
    s.Rewind();
    EXPECT_THROW(words.CReadCollection<std::uint16_t>::Deserialize(s), CNotSupportException);
}

TEST(CollectionSerializeTest, GarbledStreamsFailWithoutHugeAllocations) {
    // Differing counts (refused before anything is replaced), counts of 4 G
    // with nothing behind them, a text of 4 GB, nothing at all.
    const std::pair<std::vector<std::uint8_t>, std::uint32_t> rows[] = {
        {{1, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0, 'a'}, 1},
        {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 0},
        {{1, 0, 0, 0, 1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 'a'}, 0},
        {{}, 1}};
    for (const auto& row : rows) {
        CMemorySerializer s(row.first);
        CSharedArray<CTextString> texts = Make<CTextString>({"kept"});
        EXPECT_THROW(texts.Deserialize(s), CInvalidParamException) << row.first.size();
        EXPECT_EQ(texts.GetSize(), row.second);
    }
    // A zero byte inside a text ends it; the stream stays in step.
    CMemorySerializer s(std::vector<std::uint8_t>{2, 0, 0,   0, 2,   0, 0, 0, 3, 0,
                                                  0, 0, 'a', 0, 'b', 1, 0, 0, 0, 'c'});
    CSharedArray<CTextString> texts;
    texts.Deserialize(s);
    EXPECT_EQ(Items(texts), (Texts{"a", "c"}));
}

TEST(CollectionSerializeTest, ElementsWithoutSerializedForm) {
    CSharedArray<SOpaque> opaque;
    CMemorySerializer s;
    opaque.Serialize(s);  // no element: only the two counts
    EXPECT_EQ(s.GetData().size(), 8u);
    opaque.Add(SOpaque());
    opaque.Deserialize(s);  // count 0 leaves the array empty
    EXPECT_EQ(opaque.GetSize(), 0u);
    opaque.Add(SOpaque());
    EXPECT_THROW(opaque.Serialize(s), CNotSupportException);
    CMemorySerializer t(std::vector<std::uint8_t>{1, 0, 0, 0, 1, 0, 0, 0, 1, 0});
    EXPECT_THROW(opaque.Deserialize(t), CNotSupportException);
}

}  // namespace
}  // namespace ZRK
