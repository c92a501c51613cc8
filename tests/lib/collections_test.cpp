#include "lib/collections.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <string>
#include <utility>
#include <vector>

#include "lib/hex.h"

namespace ZRK {
namespace {

using WordArray = CSharedArray<std::uint16_t>;
using Words = std::vector<std::uint16_t>;
using Texts = std::vector<CTextString>;
using Bytes = std::vector<std::uint8_t>;
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
struct SOpaque {};

struct CIsOdd : CElementTest<std::uint16_t> {
    bool IsMatch(const std::uint16_t& w) const override { return (w & 1) != 0; }
};

// Compares the high bytes only, so that elements with equal keys stay
// distinguishable; throws a library exception at its k-th call (from 0).
struct CKeyComparator : CComparator<std::uint16_t> {
    explicit CKeyComparator(int k = -1) : m_nLeft(k) {}
    int Compare(const std::uint16_t& a, const std::uint16_t& b) const override {
        return m_nLeft-- == 0 ? throw CInvalidParamException(0) : (a >> 8) - (b >> 8);
    }
    mutable int m_nLeft;
};

// Keeps every generic body of the interface layers; it can be told to
// refuse Add and Remove.
class CGenericCollection : public CWriteCollection<std::uint16_t> {
public:
    bool Lock(std::uint32_t /*nTimeout*/) override { return true; }
    void Unlock() override {}
    std::uint32_t GetSize() const override { return m_items.GetSize(); }
    const std::uint16_t& At(std::uint32_t i) const override { return m_items.At(i); }
    std::uint16_t& Ref(std::uint32_t i) override { return m_items.Ref(i); }
    bool Set(std::uint32_t i, const std::uint16_t& w) override { return m_items.Set(i, w); }
    int Add(const std::uint16_t& w) override { return GetSize() < m_nLimit ? m_items.Add(w) : -1; }
    bool Remove(std::uint32_t i) override { return !m_bRefuseRemove && m_items.Remove(i); }

    WordArray m_items;
    std::uint32_t m_nLimit = 1000;
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
using WritableCollections = ::testing::Types<WordArray, CGenericCollection>;
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
    c.Swap(1, 1);
    c.Swap(0, 2);
    c.Ref(1) = 7;
    std::uint16_t out[3] = {9, 9, 9};
    EXPECT_EQ(c.GetElements(10, out, 1), 2u);  // clipped at the end
    EXPECT_EQ(Words(out, out + 3), (Words{7, 10, 9}));
    EXPECT_EQ(c.GetElements(2, nullptr, 3), 0u);
    EXPECT_THROW(c.GetElements(1, nullptr, 0), CNullPointerException);
}

TYPED_TEST(WritableCollectionTest, InsertAndRemoveRows) {
    TypeParam& c = this->With({1, 3});
    EXPECT_TRUE(c.Insert(1, 2) && c.Insert(3, 4) && c.Insert(0, 0));  // 3: at the count
    EXPECT_FALSE(c.Insert(6, 9));
    EXPECT_EQ(Items(c), (Words{0, 1, 2, 3, 4}));
    auto remove = [this](std::uint32_t nIndex, std::uint32_t nCount) {
        const int n = this->With({1, 2, 3, 4, 5}).RemoveElements(nIndex, nCount);
        return Result(n, Items(this->c));
    };
    EXPECT_EQ(remove(0, 0), Result(5, {}));  // count 0: to the end
    EXPECT_EQ(remove(0, 5), Result(5, {}));
    EXPECT_EQ(remove(2, 0), Result(3, {1, 2}));
    EXPECT_EQ(remove(1, 2), Result(2, {1, 4, 5}));
    EXPECT_EQ(remove(1, 0xFFFFFFFFu), Result(4, {1}));  // reaching past the end
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
    EXPECT_EQ(c.Assign(3, data) + c.AddElements(0, data), 3);
    EXPECT_EQ(Items(c), (Words{7, 8, 9}));
    EXPECT_EQ(c.SetElements(2, nullptr), 2);
    const WordArray three = Make({3, 4, 5});
    EXPECT_EQ(c.Append(three) + c.Append(WordArray()), 3u);
    EXPECT_EQ(c.Copy(c), 5u);
    EXPECT_EQ(Items(c), (Words{0, 0, 3, 4, 5}));
    EXPECT_EQ(c.Copy(three), 3u);
    EXPECT_EQ(Items(c), (Words{3, 4, 5}));
    EXPECT_EQ(c.Copy(WordArray()) + c.GetSize() + this->With({}).GetSize(), 0u);
}

TEST(WriteCollectionTest, GenericBodiesStopAtTheFirstRefusal) {
    CGenericCollection v;
    v.m_nLimit = 3;
    EXPECT_EQ(v.AddElements(5, nullptr), -1);  // the fourth Add fails
    EXPECT_FALSE(v.SetSize(4) || v.Insert(0, 9));
    v.m_bRefuseRemove = true;
    EXPECT_FALSE(v.RemoveAll());
    EXPECT_EQ(v.SetElements(1, nullptr), -1);
    EXPECT_EQ(v.RemoveElements(0, 0) + v.RemoveIf(CIsOdd(), false), 0u);
    EXPECT_EQ(Items(v), (Words{0, 0, 0}));
    // A failed comparison ends the sort where it was; the exchange sort's
    // first pass compares (2,1), (3,1), (4,1).
    v.m_items = Make({0x400, 0x300, 0x200, 0x100});
    EXPECT_FALSE(v.Sort(CKeyComparator(2), false, true));
    EXPECT_EQ(Items(v), (Words{0x400, 0x100, 0x300, 0x200}));
}

// ------------------------------------------------------ the array's storage

TEST(SharedArrayStorageTest, CapacityFollowsTheGrowthMarginAndAppendsInPlace) {
    WordArray a;
    EXPECT_EQ(a.Add(1), 0);
    EXPECT_EQ(a.GetCapacity(), 5u);  // margin at least 4
    const std::uint16_t* storage = a.GetBuffer();
    EXPECT_EQ(a.Add(2) + a.Add(3) + a.Add(4) + a.Add(5), 1 + 2 + 3 + 4);
    EXPECT_EQ(a.GetBuffer(), storage);
    EXPECT_EQ(Make(Words(100, 1)).GetCapacity(), 112u);              // n / 8
    EXPECT_EQ(Make(Words(10000, 2)).GetCapacity(), 10000u + 1024u);  // at most 1024
    // Sizes beyond what an index can reach are refused, not reported as set.
    EXPECT_FALSE(a.SetSize(0x80000000u) || WordArray().SetSize(0x80000000u));
    EXPECT_EQ(a.GetSize(), 5u);
    // A fixed step replaces the margin. Starting afresh drops storage and
    // step; removing exactly the whole content from 0 keeps both.
    const std::pair<void (*)(WordArray&), std::uint32_t> resets[] = {
        {[](WordArray& c) { c.RemoveAll(); }, 5},
        {[](WordArray& c) { c.SetSize(0); }, 5},
        {[](WordArray& c) { c.RemoveElements(0, 0); }, 5},
        {[](WordArray& c) { c.RemoveElements(0, 5); }, 5},
        {[](WordArray& c) { c.RemoveElements(0, 4); }, 54}};
    for (const auto& row : resets) {
        WordArray stepped(50);
        stepped.SetSize(4);  // capacity 54
        row.first(stepped);
        stepped.Add(1);
        EXPECT_EQ(stepped.GetCapacity(), row.second);
    }
    // Unused and vacated slots hold empty elements.
    CSharedArray<CTextString> texts = Make<CTextString>({"", "value", ""});
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
    for (auto write :
         {+[](WordArray& c) { c.Set(0, 1); }, +[](WordArray& c) { c.Ref(0) = 1; },
          +[](WordArray& c) { c.Add(9); }, +[](WordArray& c) { c.Insert(0, 4); },
          +[](WordArray& c) { c.Remove(1); }, +[](WordArray& c) { c.RemoveAll(); },
          +[](WordArray& c) { c.SetSize(2); }, +[](WordArray& c) { c.SetSize(0); },
          +[](WordArray& c) { c.Swap(0, 3); }, +[](WordArray& c) { c.SetElements(1, nullptr); },
          +[](WordArray& c) { c.Sort(true, false); }}) {
        WordArray c;
        c = origin;
        EXPECT_EQ(origin.GetShareCount(), 2);
        write(c);
        EXPECT_EQ(Items(origin), (Words{5, 6, 7, 8}));
        EXPECT_EQ(origin.GetShareCount(), 1);
    }
    WordArray c = Make({1, 2, 3});
    c.SetSize(1);  // capacity 7
    const WordArray b = c;
    c.Set(0, 1);
    EXPECT_EQ(c.GetCapacity(), 5u);  // the private copy is sized for its count
    // Values read from the storage that a write reallocates.
    EXPECT_EQ(c.Add(c.At(0)) + c.Append(c) + c.AddElements(4, c.GetBuffer()), 1 + 2 + 4);
    EXPECT_EQ(Items(c), Words(8, 1));
}

// Logs its Lock and Unlock calls under its name.
struct CLoggingArray : WordArray {
    CLoggingArray(std::string* pLog, char chName) : m_pLog(pLog), m_chName(chName) {}
    bool Lock(std::uint32_t n) override { return *m_pLog += m_chName, WordArray::Lock(n); }
    void Unlock() override { *m_pLog += '-', WordArray::Unlock(); }
    std::string* m_pLog;
    char m_chName;
};

TEST(SharedArrayLockTest, TwoCollectionOperationsLockTheOtherFirst) {
    std::string log;
    CLoggingArray a(&log, 'a');
    CLoggingArray b(&log, 'b');
    b.Add(2);
    log.clear();
    a.Append(b);
    a.Compare(b);
    a.IsEqual(b);
    a.Copy(b);
    // Each operation starts with "ba", and what it locked again in between
    // is released before it ends.
    EXPECT_EQ(log.substr(0, 2), "ba");
    EXPECT_EQ(log.find("ab"), std::string::npos) << log;
}

// ------------------------------------------------------- compare and sort

TEST(CollectionCompareTest, FirstDifferenceThenSizeAndElementOrders) {
    EXPECT_EQ(Make({1, 2}).Compare(Make({1, 2, 3})), -1);
    EXPECT_EQ(Make({1, 3}).Compare(Make({1, 2, 3})), 1);
    EXPECT_EQ(Make({1, 2, 3}).Compare(Make({1})), 2);  // the size difference
    const WordArray same = Make({4});
    EXPECT_TRUE(same.Compare(same) == 0 && same.IsEqual(Make({4})));
    EXPECT_FALSE(same.IsEqual(Make({4, 4})) || same.IsEqual(Make({5})));
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

TEST(CollectionSortTest, TheStableSortKeepsEqualKeysInOrderBothWays) {
    for (bool bDescending : {false, true}) {
        EXPECT_TRUE(WordArray().Sort(bDescending, true) && WordArray().Sort(bDescending, false));
        WordArray a = Make({0x101, 0x202, 0x102, 0x203, 0x103});
        EXPECT_TRUE(a.Sort(CKeyComparator(), bDescending, true));
        EXPECT_EQ(Items(a), bDescending ? (Words{0x202, 0x203, 0x101, 0x102, 0x103})
                                        : (Words{0x101, 0x102, 0x103, 0x202, 0x203}));
    }
}

// The quick sort as a plain left-first recursion over a vector.
void ReferenceQuickSort(Words& v, const CComparator<std::uint16_t>& comparator, bool bDescending,
                        std::uint32_t nLow, std::uint32_t nHigh) {
    while (nLow < nHigh) {
        std::uint32_t m = nLow;
        for (std::uint32_t i = nLow + 1; i <= nHigh; ++i) {
            if ((comparator.Compare(v[i], v[nLow]) < 0) != bDescending) {
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
    // Every order of 7 elements, both ways, a comparison failing at every
    // point until the sort completes: the order left behind and the result
    // match the plain recursion.
    Words order = {0x000, 0x100, 0x200, 0x300, 0x400, 0x500, 0x600};
    WordArray a;
    do {
        for (bool bDescending : {false, true}) {
            bool bDone = false;
            for (int k = 0; !bDone; ++k) {
                Words expected = order;
                try {
                    ReferenceQuickSort(expected, CKeyComparator(k), bDescending, 0, 6);
                    bDone = true;
                } catch (const CZrkException&) {
                }
                a.SetElements(7, order.data());
                ASSERT_EQ(a.Sort(CKeyComparator(k), bDescending, false), bDone) << k;
                ASSERT_EQ(Items(a), expected) << k;
            }
        }
    } while (std::next_permutation(order.begin(), order.end()));
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
    // equal elements all go left of the pivot); a recursion per step would
    // nest about 4000 levels deep.
    const std::uintptr_t base = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
    Words descending(4000);
    std::iota(descending.rbegin(), descending.rend(), 1);
    for (bool bDescending : {false, true}) {
        WordArray a = Make(bDescending ? Words(4000, 7) : descending);
        CDepthComparator comparator;
        EXPECT_TRUE(a.Sort(comparator, bDescending, false));
        EXPECT_LT(base - comparator.m_lowest, 32u * 1024u) << bDescending;
        EXPECT_TRUE(std::is_sorted(a.GetBuffer(), a.GetBuffer() + 4000));
    }
}

// ------------------------------------------- serialization and hexadecimal

TEST(CollectionSerializeTest, WireFormatAndRoundTrip) {
    CMemorySerializer s;
    Make({0x1234, 0xFFFF}).Serialize(s);
    Make<CTextString>({"\x83\x7E", ""}).Serialize(s);
    Make<std::int16_t>({-2}).Serialize(s);
    // Both counts, then the elements little-endian; a text as its length
    // word and its bytes.
    EXPECT_EQ(s.GetData(), Items(FromHex("02000000 02000000 3412 FFFF 02000000 02000000 02000000 "
                                         "837E 00000000 01000000 01000000 FEFF")));
    WordArray words = Make({9, 9, 9});
    CSharedArray<CTextString> texts;
    CSharedArray<std::int16_t> shorts;
    words.Deserialize(s);
    texts.Deserialize(s);
    shorts.Deserialize(s);
    EXPECT_EQ(Items(words), (Words{0x1234, 0xFFFF}));
    EXPECT_EQ(Items(texts), (Texts{"\x83\x7E", ""}));
    EXPECT_EQ(shorts[0] + s.GetReadPosition(), -2 + s.GetData().size());
    // A read-only collection cannot be filled.
    s.Rewind();
    EXPECT_THROW(words.CReadCollection<std::uint16_t>::Deserialize(s), CNotSupportException);
}

TEST(CollectionSerializeTest, GarbledStreamsAndElementsWithoutSerializedForm) {
    // Differing counts (refused before anything is replaced), counts of 4 G
    // with nothing behind them, a text of 4 GB, nothing at all.
    const std::pair<const char*, std::uint32_t> rows[] = {{"01000000 02000000 01000000 61", 1},
                                                          {"FFFFFFFF FFFFFFFF", 0},
                                                          {"01000000 01000000 FFFFFFFF 61", 0},
                                                          {"", 1}};
    for (const auto& row : rows) {
        CMemorySerializer s(Items(FromHex(row.first)));
        CSharedArray<CTextString> texts = Make<CTextString>({"kept"});
        EXPECT_THROW(texts.Deserialize(s), CInvalidParamException) << row.first;
        EXPECT_EQ(texts.GetSize(), row.second);
    }
    // A zero byte inside a text ends it; the stream stays in step.
    CMemorySerializer s(Items(FromHex("02000000 02000000 03000000 610062 01000000 63")));
    CSharedArray<CTextString> texts;
    texts.Deserialize(s);
    EXPECT_EQ(Items(texts), (Texts{"a", "c"}));
    // Elements without a serialized form: only the counts of none.
    CSharedArray<SOpaque> opaque;
    CMemorySerializer counts;
    opaque.Serialize(counts);
    EXPECT_EQ(counts.GetData(), Bytes(8, 0));
    opaque.Add(SOpaque());
    opaque.Deserialize(counts);  // count 0 leaves the array empty
    EXPECT_EQ(opaque.GetSize(), 0u);
    opaque.Add(SOpaque());
    EXPECT_THROW(opaque.Serialize(counts), CNotSupportException);
    CMemorySerializer one(Items(FromHex("01000000 01000000 0100")));
    EXPECT_THROW(opaque.Deserialize(one), CNotSupportException);
}

TEST(HexTest, ToHexAndFromHex) {
    const Bytes all = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
    EXPECT_STREQ(ToHex(Make(all)), "0123456789ABCDEF");
    EXPECT_STREQ(ToHex(all.data() + 7, 1), "EF");
    EXPECT_TRUE(ToHex(CSharedArray<std::uint8_t>()).IsEmpty() && ToHex(nullptr, 5).IsEmpty());
    // Counts whose text would not fit a 32-bit length are refused.
    for (std::uint32_t n : {0x80000000u, 0x80000001u, 0xFFFFFFFFu}) {
        EXPECT_THROW(ToHex(all.data(), n), CInvalidParamException) << n;
    }
    // Separators are skipped, anything else ends the scan; an odd count
    // makes the first digit a byte of its own.
    EXPECT_EQ(Items(FromHex("01 23-45_67\t89\r\nab cd Ef")), all);
    EXPECT_EQ(Items(FromHex("1G2")), (Bytes{0x01}));
    EXPECT_EQ(Items(FromHex("0x12")), (Bytes{0x00}));
    EXPECT_EQ(Items(FromHex("ABC")), (Bytes{0x0A, 0xBC}));
    EXPECT_EQ(FromHex("").GetSize() + FromHex("--  ").GetSize() + FromHex(nullptr).GetSize(), 0u);
}

}  // namespace
}  // namespace ZRK
