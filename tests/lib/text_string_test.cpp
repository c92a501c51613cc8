#include "lib/text_string.h"

#include "lib/exceptions.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace ZRK {
namespace {

// "ミ" and "ソ" in code page 932; the trail byte of ソ is 5Ch ('\').
const char kMi[] = "\x83\x7E";
const char kSo[] = "\x83\x5C";

std::string Str(const CTextString& s) {
    return s.GetString();
}

TEST(TextStringTest, EmptyValuesShareTheStaticRecord) {
    const CTextString empties[] = {CTextString(), CTextString(nullptr), CTextString(""),
                                   CTextString("", -1), CTextString::Format("%s", "")};
    for (const CTextString& s : empties) {
        // The record's text lies behind its three-word header.
        EXPECT_EQ(static_cast<const void*>(s.GetString()),
                  static_cast<const void*>(reinterpret_cast<const char*>(&g_zrkEmptyRecord) + 12));
        EXPECT_EQ(s.GetCapacity(), 0u);
        EXPECT_EQ(s.GetRefCount(), 0);
        EXPECT_STREQ(s, "");
    }
}

TEST(TextStringTest, ConstructionCapacities) {
    EXPECT_EQ(CTextString("abc").GetCapacity(), 4u);
    EXPECT_EQ(CTextString("abc", -1).GetCapacity(), 4u);
    EXPECT_EQ(CTextString("abc", 10).GetCapacity(), 18u);  // (3 + 10) + margin 4 + 1
    EXPECT_EQ(CTextString("abc", -5).GetCapacity(), 8u);   // never below the text
    EXPECT_EQ(CTextString("", 8200).GetCapacity(), 8200u + 1024u + 1u);
    const CTextString reserved(nullptr, 40);  // an empty text with a reserve owns a block
    EXPECT_EQ(reserved.GetCapacity(), 46u);
    EXPECT_STREQ(reserved, "");
}

TEST(TextStringTest, CopiesShareUntilOneWrites) {
    CTextString a("base", 20);  // room enough to append in place
    CTextString b(a);
    CTextString c;
    c = b;
    EXPECT_EQ(a.GetString(), c.GetString());
    EXPECT_EQ(a.GetRefCount(), 3);
    b += '!';
    c += "+more";
    EXPECT_EQ(Str(a) + "|" + Str(b) + "|" + Str(c), "base|base!|base+more");
    EXPECT_EQ(a.GetRefCount(), 1);
    CTextString& alias = a;
    a = alias;
    EXPECT_STREQ(a, "base");
    EXPECT_EQ(a.GetRefCount(), 1);

    // A text in the middle of a direct write has length 0 and copies as "".
    char* p = a.GetWritableBuffer(20);
    const CTextString copy(a);
    EXPECT_EQ(copy.GetRefCount(), 0);
    std::strcpy(p, "done");
    a.RecalcLength();
    EXPECT_STREQ(a, "done");
}

TEST(TextStringTest, AppendGrowsByTheMarginOrFillsSpareRoomInPlace) {
    const std::string forty(40, 'x');
    CTextString s(forty.c_str());  // capacity 41: no spare room
    s += 'y';
    EXPECT_EQ(s.GetCapacity(), 47u);  // 41 + 5 + 1
    const char* before = s.GetString();
    s += "abcde";  // fills the block exactly
    EXPECT_EQ(s.GetString(), before);
    s += 'z';
    EXPECT_NE(s.GetString(), before);
    EXPECT_EQ(Str(s), forty + "yabcdez");

    CTextString t("ab");
    t += static_cast<const char*>(nullptr);
    t += "";
    t += '\0';
    EXPECT_EQ(t.GetCapacity(), 3u);  // nothing appended, nothing reallocated
    t += t;                          // reads its own text while reallocating
    t += t;                          // and in place
    EXPECT_STREQ(t, "abababab");
    CTextString e;
    e += 'q';
    EXPECT_EQ(e.GetCapacity(), 6u);
}

TEST(TextStringTest, FindCountsFromTheStartOfTheString) {
    const CTextString s("abcabc");
    EXPECT_EQ(s.Find("bc"), 1);
    EXPECT_EQ(s.Find("bc", 2), 4);
    EXPECT_EQ(s.Find('a', 1), 3);
    EXPECT_EQ(s.Find("zz"), -1);
    EXPECT_EQ(s.Find("", 6), 6);  // the start may be the length
    EXPECT_EQ(s.Find("c", 6), -1);
    EXPECT_EQ(s.Find("", 7), -1);
    EXPECT_EQ(s.Find('a', 7), -1);
    EXPECT_EQ(s.Find("a", -1), -1);
    EXPECT_EQ(s.Find(nullptr, 3), 3);
    EXPECT_EQ(s.Find('\0'), -1);
    EXPECT_EQ(CTextString().Find("a"), -1);
}

TEST(TextStringTest, ReverseFindStepsOverDoubleByteCharacters) {
    EXPECT_EQ(CTextString("a\\b\\c").ReverseFind('\\'), 3);
    EXPECT_EQ(CTextString("abc").ReverseFind('x'), -1);
    EXPECT_EQ(CTextString("abc").ReverseFind('\0'), -1);
    EXPECT_EQ(CTextString().ReverseFind('a'), -1);
    // The 5Ch of ソ follows a lead byte that is itself no hit, so the plain
    // byte search still reports it.
    EXPECT_EQ(CTextString("a\\\x83\x5C").ReverseFind('\\'), 3);
    // A hit on a lead byte skips its trail byte, but never the terminator.
    EXPECT_EQ(CTextString("\x83\x5C\x83\x7E").ReverseFind('\x83'), 2);
    EXPECT_EQ(CTextString("\x83\x83").ReverseFind('\x83'), 0);
    EXPECT_EQ(CTextString("a\x83").ReverseFind('\x83'), 1);
}

TEST(TextStringTest, MidAndLeftKeepDoubleByteCharactersWhole) {
    const CTextString s((std::string("AB") + kMi).c_str());
    EXPECT_EQ(Str(s.Mid(1)), std::string("B") + kMi);
    EXPECT_EQ(Str(s.Mid(0, 100)), Str(s));
    EXPECT_EQ(Str(s.Left(3)), Str(s));  // three bytes would cut ミ in two
    EXPECT_STREQ(s.Left(1), "A");
    EXPECT_STREQ(s.Mid(3, 1), "~");  // the start is not moved off a trail byte
    EXPECT_TRUE(s.Mid(4).IsEmpty() && s.Mid(9, 1).IsEmpty() && s.Mid(0, 0).IsEmpty());
    EXPECT_STREQ(CTextString("x\x83").Mid(1, 1), "\x83");  // a lone lead byte alone
}

TEST(TextStringTest, Replace) {
    CTextString s("aXa");
    EXPECT_EQ(s.Replace("a", "bb"), 2);
    EXPECT_STREQ(s, "bbXbb");
    CTextString u("aaaa");
    EXPECT_EQ(u.Replace("aa", "b"), 2);  // non-overlapping, left to right
    EXPECT_STREQ(u, "bb");
    EXPECT_EQ(u.Replace("b", ""), 2);
    EXPECT_EQ(u.GetRefCount(), 0);  // nothing left: the empty record

    CTextString t("keep");
    const CTextString share = t;
    EXPECT_EQ(t.Replace("", "x") + t.Replace(nullptr, "x") + t.Replace("zz", "x"), 0);
    EXPECT_EQ(t.Replace("e", nullptr), 2);
    EXPECT_STREQ(t, "kp");
    EXPECT_STREQ(share, "keep");
}

TEST(TextStringTest, ReplaceInTheMiddleOfADirectWriteMeasuresTheText) {
    const std::pair<const char*, std::string> rows[] = {{"bbbb", std::string(36, 'b')}, {"", ""}};
    for (const auto& row : rows) {
        CTextString s("aaaaaaaaa");
        s.GetWritableBuffer(20);  // length 0, the nine bytes still there
        EXPECT_EQ(s.Replace("a", row.first), 9);
        EXPECT_EQ(Str(s), row.second);
        EXPECT_EQ(s.GetLength(), row.second.size());
    }
}

TEST(TextStringTest, SizesBeyondThe32BitHeaderAreRefused) {
    CTextString empty;
    EXPECT_THROW(empty.GetWritableBuffer(0xFFFFFFFFu), CInvalidParamException);
    EXPECT_EQ(empty.GetCapacity(), 0u);
    const std::string a(4096, 'a');
    const std::string b((1u << 20) + 1, 'b');
    CTextString s(a.c_str());
    EXPECT_THROW(s.Replace("a", b.c_str()), CInvalidParamException);  // 2^32 bytes
    EXPECT_EQ(Str(s), a);
}

TEST(TextStringTest, CompareIsTheLocaleOrderEqualityIsByteExact) {
    EXPECT_EQ(CTextString("abc").Compare("abd"), -1);
    EXPECT_EQ(CTextString().Compare(nullptr), 0);
    const CTextString a("abc");
    EXPECT_TRUE(a == "abc" && "abc" == a && a == CTextString("abc"));
    EXPECT_TRUE(a != "abd" && a != CTextString("ab") && CTextString() == nullptr);
    EXPECT_EQ(StrLen(nullptr), 0u);
}

TEST(TextStringTest, WritableBufferRules) {
    CTextString empty;
    EXPECT_EQ(empty.GetWritableBuffer(0), nullptr);
    EXPECT_STREQ(empty.GetWritableBuffer(5), "");
    EXPECT_EQ(empty.GetCapacity(), 6u);
    // Growing keeps the old characters, so a caller may extend its text.
    CTextString grow("abc");
    EXPECT_STREQ(grow.GetWritableBuffer(10), "abc");
    EXPECT_EQ(grow.GetCapacity(), 10u);

    // Enough room but shared: a private copy of the same capacity.
    CTextString shared("hello", 10);
    const CTextString other = shared;
    shared.GetWritableBuffer(4)[0] = 'J';
    shared.RecalcLength();
    EXPECT_EQ(Str(shared) + "|" + Str(other), "Jello|hello");
    EXPECT_EQ(shared.GetCapacity(), other.GetCapacity());

    // Every byte filled: the length stops inside the block.
    CTextString full("ab");
    std::memset(full.GetWritableBuffer(3), 'z', full.GetCapacity());
    full.RecalcLength();
    EXPECT_EQ(full.GetLength(), full.GetCapacity() - 1);
}

TEST(TextStringFormatTest, SixtyFourBitConversionsOnEveryPlatform) {
    const long long big = 5000000000LL;  // above 2^32
    EXPECT_STREQ(CTextString::Format("%I64d|%I64i|%u", big, -big, 7u), "5000000000|-5000000000|7");
    EXPECT_STREQ(CTextString::Format("%I64d", LLONG_MIN), "-9223372036854775808");
    EXPECT_STREQ(CTextString::Format("%I64u|%I64x|%I64X|%I64o", ULLONG_MAX, 0x1FFFFFFFFULL,
                                     0xABCDEF012ULL, 8ULL),
                 "18446744073709551615|1ffffffff|ABCDEF012|10");
    // Flags and width in front of I64, as the numeric field builds them.
    EXPECT_STREQ(CTextString::Format("%03I64d|%-6I64d|%*I64d|%%I64d", 5LL, 42LL, 4, 7LL),
                 "005|42    |   7|%I64d");
}

TEST(TextStringFormatTest, TextPassesThroughByteForByte) {
    EXPECT_STREQ(CTextString::Format("100%% %u \\\\.\\COM%d", 4294967295u, 7),
                 "100% 4294967295 \\\\.\\COM7");
    // Double-byte text, a trail byte of 5Ch included; a CTextString argument
    // is passed as its text.
    const std::string format = std::string("RS232C(%s%d)") + kSo;
    EXPECT_EQ(Str(CTextString::Format(format.c_str(), CTextString(kMi), 3)),
              std::string("RS232C(") + kMi + "3)" + kSo);
    EXPECT_TRUE(CTextString::FormatC(nullptr).IsEmpty());
}

TEST(TextStringFormatTest, ResultsBeyondTheFirstScratchArea) {
    // The first area holds strlen(format) + 1024 bytes, the zero included.
    for (std::size_t n : {1025u, 1026u, 5000u}) {
        const std::string text(n, 'q');
        const CTextString s = CTextString::Format("%s", text.c_str());
        EXPECT_EQ(Str(s), text) << n;
        EXPECT_EQ(s.GetCapacity(), n + 1) << n;
    }
    EXPECT_EQ(CTextString::Format("%3000d|%I64d", 1, 1LL << 40).GetLength(), 3000u + 1u + 13u);
}

TEST(TextStringThreadTest, SharedCopiesAcrossThreadsKeepCountsExact) {
    const CTextString origin("shared between threads");
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&origin] {
            for (int i = 0; i < 20000; ++i) {
                CTextString copy(origin);
                CTextString again = copy;
                again += "x";  // private block: the origin is never written
            }
        });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    EXPECT_EQ(origin.GetRefCount(), 1);
    EXPECT_STREQ(origin, "shared between threads");
}

// ------------------------------------------------------------ CRefHandle

struct CBase {
    explicit CBase(int* pDestroyed) : m_pDestroyed(pDestroyed) {}
    virtual ~CBase() { ++*m_pDestroyed; }
    int* m_pDestroyed;
};

struct CDerived : CBase {
    using CBase::CBase;
    ~CDerived() override { *m_pDestroyed += 10; }
};

TEST(RefHandleTest, LastReleaseDestroysThroughTheVirtualDestructor) {
    int nDestroyed = 0;
    CRefHandle<CBase> a(new CDerived(&nDestroyed));
    {
        CRefHandle<CBase> b(a);
        CRefHandle<CBase> c;
        c = b;
        EXPECT_EQ(a.GetRefCount(), 3);
    }
    EXPECT_EQ(a.GetRefCount(), 1);
    EXPECT_EQ(nDestroyed, 0);
    const CRefHandle<CBase> empty;
    a = empty;  // assigning an empty handle releases
    EXPECT_EQ(nDestroyed, 11);
    EXPECT_TRUE(a.IsEmpty() && !a && a.GetRefCount() == 0);
    a.Release();  // harmless on the empty handle
    EXPECT_TRUE(CRefHandle<CBase>(nullptr).SharesWith(empty));
}

TEST(RefHandleTest, ResetArraysAndMoves) {
    int n1 = 0;
    int n2 = 0;
    CBase* p1 = new CBase(&n1);
    CRefHandle<CBase> h(p1);
    h.Reset(p1);  // its own object is kept
    EXPECT_EQ(n1, 0);
    h.Reset(new CBase(&n2));
    EXPECT_EQ(n1, 1);
    h.Reset();
    EXPECT_EQ(n2, 1);

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
