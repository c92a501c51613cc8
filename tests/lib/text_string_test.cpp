#include "lib/text_string.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace ZRK {
namespace {

// "ミ" and "ソ" in code page 932; the trail byte of ソ is 5Ch ('\').
const char kMi[] = "\x83\x7E";
const char kSo[] = "\x83\x5C";

TEST(TextStringTest, EmptyStatesShareTheStaticRecord) {
    CTextString a;
    CTextString b(nullptr);
    CTextString c("");
    CTextString d("", -1);
    for (const CTextString* s : {&a, &b, &c, &d}) {
        EXPECT_EQ(s->GetLength(), 0u);
        EXPECT_TRUE(s->IsEmpty());
        EXPECT_EQ(s->GetCapacity(), 0u);
        EXPECT_EQ(s->GetRefCount(), 0);
        ASSERT_NE(s->GetString(), nullptr);
        EXPECT_STREQ(s->GetString(), "");
    }
    // Every empty value points at the same record.
    EXPECT_EQ(a.GetString(), c.GetString());
    EXPECT_EQ(a.GetString(), d.GetString());
}

TEST(TextStringTest, ConstructionCapacities) {
    CTextString exact("abc");
    EXPECT_EQ(exact.GetLength(), 3u);
    EXPECT_EQ(exact.GetCapacity(), 4u);
    EXPECT_EQ(CTextString("abc", -1).GetCapacity(), 4u);
    // (3 + 10) + margin 4 + 1
    EXPECT_EQ(CTextString("abc", 10).GetCapacity(), 18u);
    // (0 + 40) + 5 + 1: a reserved empty text still owns a block.
    CTextString reserved(nullptr, 40);
    EXPECT_EQ(reserved.GetCapacity(), 46u);
    EXPECT_EQ(reserved.GetLength(), 0u);
    // 8200 and more get the largest margin.
    EXPECT_EQ(CTextString("", 8200).GetCapacity(), 8200u + 1024u + 1u);
}

TEST(TextStringTest, CopiesShareUntilOneWrites) {
    CTextString a("shared");
    CTextString b(a);
    EXPECT_EQ(a.GetString(), b.GetString());
    EXPECT_EQ(a.GetRefCount(), 2);
    b += "!";
    EXPECT_STREQ(a.GetString(), "shared");
    EXPECT_STREQ(b.GetString(), "shared!");
    EXPECT_EQ(a.GetRefCount(), 1);
    EXPECT_EQ(b.GetRefCount(), 1);

    CTextString c;
    c = a;
    CTextString& alias = c;
    c = alias;  // self-assignment keeps the text
    EXPECT_STREQ(c.GetString(), "shared");
    EXPECT_EQ(a.GetRefCount(), 2);
    c = "other";
    EXPECT_EQ(a.GetRefCount(), 1);
}

TEST(TextStringTest, LengthZeroSourceCopiesAsEmptyString) {
    CTextString writing("some text");
    char* p = writing.GetWritableBuffer(20);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(writing.GetLength(), 0u);
    CTextString copy(writing);
    EXPECT_EQ(copy.GetRefCount(), 0);  // the empty record, not a share
    EXPECT_EQ(writing.GetRefCount(), 1);
    std::strcpy(p, "done");
    writing.RecalcLength();
    EXPECT_STREQ(writing.GetString(), "done");
    EXPECT_STREQ(copy.GetString(), "");
}

TEST(TextStringTest, AppendGrowthAndInPlace) {
    // A 40-byte string without spare room plus one byte: 41 + 5 + 1.
    const std::string forty(40, 'x');
    CTextString s(forty.c_str());
    ASSERT_EQ(s.GetCapacity(), 41u);
    s += 'y';
    EXPECT_EQ(s.GetCapacity(), 47u);
    EXPECT_EQ(s.GetLength(), 41u);

    // Spare room is used in place: the block does not move.
    const char* before = s.GetString();
    s += "abcde";
    EXPECT_EQ(s.GetString(), before);
    EXPECT_EQ(s.GetLength(), 46u);
    // 46 + 1 fills capacity 47 exactly: the next byte needs a new block.
    s += 'z';
    EXPECT_NE(s.GetString(), before);
    EXPECT_EQ(s.GetCapacity(), 47u + GrowthMargin(47) + 1);
    EXPECT_EQ(std::string(s.GetString()), forty + "yabcdez");
}

TEST(TextStringTest, AppendNothingAndSelf) {
    CTextString s("ab");
    s += static_cast<const char*>(nullptr);
    s += "";
    s += '\0';
    EXPECT_STREQ(s.GetString(), "ab");
    EXPECT_EQ(s.GetCapacity(), 3u);
    s += s;  // reallocates while reading its own text
    EXPECT_STREQ(s.GetString(), "abab");
    s += s;  // in place (capacity 4 + 4 + 1 = 9 > 8)
    EXPECT_STREQ(s.GetString(), "abababab");
    CTextString e;
    e += 'q';
    EXPECT_EQ(e.GetCapacity(), 6u);  // 1 + 4 + 1
}

TEST(TextStringTest, AppendToSharedLeavesOtherSharer) {
    CTextString a("base", 20);
    CTextString b = a;
    a += "+more";
    EXPECT_STREQ(b.GetString(), "base");
    EXPECT_STREQ(a.GetString(), "base+more");
}

TEST(TextStringTest, FindCountsFromStartOfString) {
    CTextString s("abcabc");
    EXPECT_EQ(s.Find("bc"), 1);
    EXPECT_EQ(s.Find("bc", 2), 4);
    EXPECT_EQ(s.Find('a', 1), 3);
    EXPECT_EQ(s.Find("zz"), -1);
    EXPECT_EQ(s.Find("c", 6), -1);  // start == length: nothing behind it
    EXPECT_EQ(s.Find("c", 7), -1);  // start beyond the length
    EXPECT_EQ(s.Find("a", -1), -1);
    EXPECT_EQ(s.Find('\0'), -1);
    EXPECT_EQ(s.Find(""), 0);
    EXPECT_EQ(s.Find(nullptr, 3), 3);
    EXPECT_EQ(CTextString().Find("a"), -1);
    EXPECT_EQ(CTextString().Find("", 0), 0);
}

TEST(TextStringTest, ReverseFindStepsOverDoubleByteCharacters) {
    EXPECT_EQ(CTextString("a\\b\\c").ReverseFind('\\'), 3);
    EXPECT_EQ(CTextString("abc").ReverseFind('x'), -1);
    EXPECT_EQ(CTextString("abc").ReverseFind('\0'), -1);
    EXPECT_EQ(CTextString().ReverseFind('a'), -1);
    // "\ソ": the 5Ch inside ソ follows a lead byte 83h that is itself no hit,
    // so the plain byte search still reports it.
    CTextString path(std::string(std::string("a\\") + kSo).c_str());
    EXPECT_EQ(path.ReverseFind('\\'), 3);
    // A hit on a lead byte skips its trail byte: searching 83h in "ソミ"
    // hits 0 then 2.
    CTextString two((std::string(kSo) + kMi).c_str());
    EXPECT_EQ(two.ReverseFind('\x83'), 2);
    // 83h 83h: the first hit is a lead byte, so the second 83h (its trail)
    // is stepped over.
    EXPECT_EQ(CTextString("\x83\x83").ReverseFind('\x83'), 0);
    // A lead byte right before the end must not step past the terminator.
    EXPECT_EQ(CTextString("a\x83").ReverseFind('\x83'), 1);
}

TEST(TextStringTest, MidAndLeftKeepDoubleByteCharactersWhole) {
    CTextString s((std::string("AB") + kMi).c_str());  // A B 83 7E
    CTextString mid = s.Mid(1, 2);
    EXPECT_EQ(mid.GetLength(), 3u);
    EXPECT_EQ(std::string(mid.GetString()), std::string("B") + kMi);
    EXPECT_TRUE(s.Mid(4).IsEmpty());
    EXPECT_TRUE(s.Mid(9, 1).IsEmpty());
    EXPECT_TRUE(s.Mid(0, 0).IsEmpty());
    EXPECT_STREQ(s.Mid(1, CTextString::kToEnd).GetString(), (std::string("B") + kMi).c_str());
    EXPECT_EQ(s.Mid(0, 100).GetLength(), 4u);
    EXPECT_STREQ(s.Left(1).GetString(), "A");
    // Left(3) would cut ミ in two: the whole character is taken.
    EXPECT_EQ(s.Left(3).GetLength(), 4u);
    // The start is not adjusted: Mid from the trail byte 7Eh gives "~".
    EXPECT_STREQ(s.Mid(3, 1).GetString(), "~");
    // A lone lead byte at the end is taken alone, never past the end.
    CTextString lone("x\x83");
    EXPECT_EQ(lone.Mid(1, 1).GetLength(), 1u);
}

TEST(TextStringTest, Replace) {
    CTextString s("aXa");
    EXPECT_EQ(s.Replace("a", "bb"), 2);
    EXPECT_STREQ(s.GetString(), "bbXbb");
    EXPECT_EQ(s.GetCapacity(), 5u + 4u + 1u);

    CTextString t("keep");
    CTextString share = t;
    EXPECT_EQ(t.Replace("", "x"), 0);
    EXPECT_EQ(t.Replace(nullptr, "x"), 0);
    EXPECT_EQ(t.Replace("zz", "x"), 0);
    EXPECT_STREQ(t.GetString(), "keep");
    EXPECT_EQ(t.Replace("e", nullptr), 2);
    EXPECT_STREQ(t.GetString(), "kp");
    EXPECT_STREQ(share.GetString(), "keep");

    // Non-overlapping, left to right.
    CTextString u("aaaa");
    EXPECT_EQ(u.Replace("aa", "b"), 2);
    EXPECT_STREQ(u.GetString(), "bb");
    CTextString v("xx");
    EXPECT_EQ(v.Replace("x", ""), 2);
    EXPECT_TRUE(v.IsEmpty());
}

TEST(TextStringTest, CompareTreatsNullAsEmptyAndOrders) {
    EXPECT_EQ(CTextString().Compare(nullptr), 0);
    EXPECT_EQ(CTextString("").Compare(""), 0);
    EXPECT_EQ(CTextString("a").Compare(nullptr), 1);
    EXPECT_EQ(CTextString("abc").Compare("abd"), -1);
    EXPECT_EQ(CTextString("abd").Compare("abc"), 1);
    EXPECT_EQ(CTextString("same").Compare("same"), 0);
    // Case is significant.
    EXPECT_NE(CTextString("Device Parameters").Compare("device parameters"), 0);
}

TEST(TextStringTest, ByteEquality) {
    CTextString a("abc");
    EXPECT_TRUE(a == "abc");
    EXPECT_TRUE("abc" == a);
    EXPECT_TRUE(a == CTextString("abc"));
    EXPECT_TRUE(a != "abd");
    EXPECT_TRUE(CTextString() == static_cast<const char*>(nullptr));
    EXPECT_FALSE(a == CTextString("ab"));
    EXPECT_EQ(StrLen(nullptr), 0u);
    EXPECT_EQ(StrLen(kMi), 2u);
}

TEST(TextStringTest, WritableBufferRules) {
    CTextString empty;
    EXPECT_EQ(empty.GetWritableBuffer(0), nullptr);
    char* p = empty.GetWritableBuffer(5);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(empty.GetCapacity(), 6u);
    EXPECT_EQ(p[0], '\0');

    // Growing keeps the old character area.
    CTextString grow("abc");
    p = grow.GetWritableBuffer(10);
    EXPECT_EQ(grow.GetCapacity(), 10u);
    EXPECT_STREQ(p, "abc");
    grow.RecalcLength();
    EXPECT_EQ(grow.GetLength(), 3u);

    // Enough room but shared: a private copy of the same capacity.
    CTextString shared("hello", 10);
    CTextString other = shared;
    p = shared.GetWritableBuffer(4);
    EXPECT_NE(p, other.GetString());
    EXPECT_EQ(shared.GetCapacity(), other.GetCapacity());
    p[0] = 'J';
    shared.RecalcLength();
    EXPECT_STREQ(shared.GetString(), "Jello");
    EXPECT_STREQ(other.GetString(), "hello");

    // A caller that fills every byte does not make the length run past
    // the block.
    CTextString full("ab");
    p = full.GetWritableBuffer(3);
    std::memset(p, 'z', full.GetCapacity());
    full.RecalcLength();
    EXPECT_EQ(full.GetLength(), full.GetCapacity() - 1);

    // RecalcLength leaves a shared block alone.
    CTextString sharer = full;
    full.RecalcLength();
    EXPECT_EQ(sharer.GetLength(), full.GetCapacity() - 1);
}

TEST(TextStringTest, GrowthMarginBounds) {
    EXPECT_EQ(GrowthMargin(0), 4u);
    EXPECT_EQ(GrowthMargin(31), 4u);
    EXPECT_EQ(GrowthMargin(32), 4u);
    EXPECT_EQ(GrowthMargin(40), 5u);
    EXPECT_EQ(GrowthMargin(8199), 1024u);
    EXPECT_EQ(GrowthMargin(8200), 1024u);
    EXPECT_EQ(GrowthMargin(0xFFFFFFFFu), 1024u);
}

TEST(TextStringFormatTest, SixtyFourBitConversions) {
    const long long big = 5000000000LL;  // above 2^32
    EXPECT_STREQ(CTextString::Format("%I64d", big).GetString(), "5000000000");
    EXPECT_STREQ(CTextString::Format("%I64d", -big).GetString(), "-5000000000");
    EXPECT_STREQ(CTextString::Format("%I64d", -1LL).GetString(), "-1");
    EXPECT_STREQ(CTextString::Format("%I64d", LLONG_MIN).GetString(), "-9223372036854775808");
    EXPECT_STREQ(CTextString::Format("%I64u", 18446744073709551615ULL).GetString(),
                 "18446744073709551615");
    EXPECT_STREQ(
        CTextString::Format("%I64x|%I64X|%I64o", 0x1FFFFFFFFULL, 0xABCDEF012ULL, 8ULL).GetString(),
        "1ffffffff|ABCDEF012|10");
    EXPECT_STREQ(CTextString::Format("%I64i", big).GetString(), "5000000000");
    // Width and flags in front of I64, as the numeric field builds them.
    EXPECT_STREQ(CTextString::Format("%03I64d", 5LL).GetString(), "005");
    EXPECT_STREQ(CTextString::Format("%04I64d", -5LL).GetString(), "-005");
    EXPECT_STREQ(CTextString::Format("%-6I64d|", 42LL).GetString(), "42    |");
    EXPECT_STREQ(CTextString::Format("%*I64d", 4, 7LL).GetString(), "   7");
    // Arguments after a 64-bit one are read at the right place.
    EXPECT_STREQ(CTextString::Format("%I64d %u %s", big, 7u, "x").GetString(), "5000000000 7 x");
}

TEST(TextStringFormatTest, OrdinaryConversionsAndPassThrough) {
    EXPECT_STREQ(CTextString::Format("100%% %d", 5).GetString(), "100% 5");
    EXPECT_STREQ(CTextString::Format("%%I64d").GetString(), "%I64d");
    EXPECT_STREQ(CTextString::Format("%u", 4294967295u).GetString(), "4294967295");
    EXPECT_STREQ(CTextString::Format("\\\\.\\COM%d", 7).GetString(), "\\\\.\\COM7");
    // Double-byte text passes unchanged, also a trail byte of 5Ch.
    const std::string fmt = std::string("RS232C(%s%d)") + kSo;
    const std::string expected = std::string("RS232C(") + kMi + "3)" + kSo;
    EXPECT_EQ(std::string(CTextString::Format(fmt.c_str(), kMi, 3).GetString()), expected);
    // A CTextString argument is passed as its text.
    CTextString name("COM4");
    EXPECT_STREQ(CTextString::Format("[%s]", name).GetString(), "[COM4]");
}

TEST(TextStringFormatTest, EmptyAndLongResults) {
    CTextString empty = CTextString::Format("%s", "");
    EXPECT_TRUE(empty.IsEmpty());
    EXPECT_EQ(empty.GetRefCount(), 0);
    EXPECT_TRUE(CTextString::FormatC(nullptr).IsEmpty());

    // Longer than strlen(format) + 1024: the scratch area is doubled.
    const std::string longArg(5000, 'q');
    CTextString s = CTextString::Format("<%s>", longArg.c_str());
    EXPECT_EQ(s.GetLength(), 5002u);
    EXPECT_EQ(s.GetCapacity(), 5003u);
    EXPECT_EQ(std::string(s.GetString()), "<" + longArg + ">");
    CTextString w = CTextString::Format("%3000d|%I64d", 1, 1LL << 40);
    EXPECT_EQ(w.GetLength(), 3000u + 1u + 13u);
}

TEST(TextStringFormatTest, FormatVAcceptsAnArgumentList) {
    struct Helper {
        static CTextString Call(const char* fmt, ...) {
            va_list args;
            va_start(args, fmt);
            CTextString r = CTextString::FormatV(fmt, args);
            va_end(args);
            return r;
        }
    };
    EXPECT_STREQ(Helper::Call("%s-%I64d", "v", -3000000000LL).GetString(), "v--3000000000");
}

TEST(TextStringThreadTest, SharedCopiesAcrossThreadsKeepCountsExact) {
    CTextString origin("shared between threads");
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
    EXPECT_STREQ(origin.GetString(), "shared between threads");
}

}  // namespace
}  // namespace ZRK
