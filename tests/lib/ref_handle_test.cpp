#include <gtest/gtest.h>

#include <cstring>

#include "lib/text_string.h"

namespace ZRK {
namespace {

struct CBase {
    explicit CBase(int* pDestroyed) : m_pDestroyed(pDestroyed) {}
    virtual ~CBase() { ++*m_pDestroyed; }
    int* m_pDestroyed;
};

struct CDerived : CBase {
    CDerived(int* pBase, int* pDerived) : CBase(pBase), m_pDerived(pDerived) {}
    ~CDerived() override { ++*m_pDerived; }
    int* m_pDerived;
};

TEST(RefHandleTest, EmptyHandlePointsAtSharedRecord) {
    CRefHandle<CBase> empty;
    EXPECT_EQ(empty.Get(), nullptr);
    EXPECT_TRUE(empty.IsEmpty());
    EXPECT_FALSE(static_cast<bool>(empty));
    EXPECT_EQ(empty.GetRefCount(), 0);
    CRefHandle<CBase> fromNull(nullptr);
    EXPECT_TRUE(fromNull.SharesWith(empty));
    // The empty text and the empty handle are the same static record.
    EXPECT_EQ(static_cast<const void*>(CTextString().GetString()),
              static_cast<const void*>(reinterpret_cast<const char*>(&g_zrkEmptyRecord) + 12));
}

TEST(RefHandleTest, LastReleaseDestroysThroughVirtualDestructor) {
    int nBase = 0;
    int nDerived = 0;
    {
        CRefHandle<CBase> a(new CDerived(&nBase, &nDerived));
        EXPECT_EQ(a.GetRefCount(), 1);
        {
            CRefHandle<CBase> b(a);
            EXPECT_EQ(a.GetRefCount(), 2);
            CRefHandle<CBase> c;
            c = b;
            EXPECT_EQ(a.GetRefCount(), 3);
            EXPECT_EQ(c.Get(), a.Get());
        }
        EXPECT_EQ(a.GetRefCount(), 1);
        EXPECT_EQ(nBase, 0);
    }
    EXPECT_EQ(nDerived, 1);
    EXPECT_EQ(nBase, 1);
}

TEST(RefHandleTest, AssignmentRules) {
    int nFirst = 0;
    int nSecond = 0;
    CRefHandle<CBase> a(new CBase(&nFirst));
    CRefHandle<CBase> b(new CBase(&nSecond));
    CRefHandle<CBase>& alias = a;
    a = alias;  // same record: nothing happens
    EXPECT_EQ(a.GetRefCount(), 1);
    a = b;  // a's old object goes
    EXPECT_EQ(nFirst, 1);
    EXPECT_EQ(b.GetRefCount(), 2);
    // Assigning an empty source empties the destination.
    a = CRefHandle<CBase>();
    EXPECT_TRUE(a.IsEmpty());
    EXPECT_EQ(b.GetRefCount(), 1);
    b.Release();
    EXPECT_EQ(nSecond, 1);
    b.Release();  // releasing the empty handle is harmless
    EXPECT_TRUE(b.IsEmpty());
}

TEST(RefHandleTest, ResetTakesOwnership) {
    int n1 = 0;
    int n2 = 0;
    CRefHandle<CBase> h;
    CBase* p1 = new CBase(&n1);
    h.Reset(p1);
    h.Reset(p1);  // the same object is not destroyed
    EXPECT_EQ(n1, 0);
    h.Reset(new CBase(&n2));
    EXPECT_EQ(n1, 1);
    h.Reset();
    EXPECT_EQ(n2, 1);
    EXPECT_TRUE(h.IsEmpty());
}

TEST(RefHandleTest, ArrayObjectsAndMoves) {
    char* p = new char[4];
    std::memcpy(p, "abc", 4);
    CRefHandle<char[]> text(p);
    CRefHandle<char[]> copy = text;
    CRefHandle<char[]> moved(std::move(copy));
    EXPECT_TRUE(copy.IsEmpty());  // NOLINT: moved-from state is defined
    EXPECT_EQ(text.GetRefCount(), 2);
    EXPECT_STREQ(moved.Get(), "abc");
    text = std::move(moved);
    EXPECT_EQ(text.GetRefCount(), 1);
}

}  // namespace
}  // namespace ZRK
