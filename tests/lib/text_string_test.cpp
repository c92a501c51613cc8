// The text string, its ref handle, the exceptions built on them, and the
// code page 932 helpers.
#include "lib/text_string.h"

#include <gtest/gtest.h>

#include <climits>
#include <clocale>
#include <cstdint>
#include <cstring>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "lib/exceptions.h"
#include "lib/nls.h"
#include "tolvane_texts.h"

namespace ZRK {
namespace {

// "ミ" and "ソ" in code page 932; the trail byte of ソ is 5Ch ('\').
const char kMi[] = "\x83\x7E";
const char kSo[] = "\x83\x5C";

// The text as far as its length says.
std::string Str(const CTextString& s) {
    return std::string(s.GetString(), s.GetLength());
}

using Ints = std::vector<int>;
using Sizes = std::vector<std::uint32_t>;
using Strings = std::vector<std::string>;

TEST(TextStringTest, EmptyValuesShareTheStaticRecordOthersGetTheirCapacity) {
    // The record's text lies behind its three-word header.
    const char* pEmpty = reinterpret_cast<const char*>(&g_zrkEmptyRecord) + 12;
    for (const CTextString& s : {CTextString(), CTextString(nullptr), CTextString(""),
                                 CTextString("", -1), CTextString::Format("%s", "")}) {
        EXPECT_EQ(s.GetString(), pEmpty);
    }
    // Exact, (length + extra) + margin + 1, never below the text; an empty
    // text with a reserve owns a block.
    EXPECT_EQ((Sizes{CTextString("abc").GetCapacity(), CTextString("abc", -1).GetCapacity(),
                     CTextString("abc", 10).GetCapacity(), CTextString("abc", -5).GetCapacity(),
                     CTextString("", 8200).GetCapacity(), CTextString(nullptr, 40).GetCapacity()}),
              (Sizes{4, 4, 13 + 4 + 1, 3 + 4 + 1, 8200 + 1024 + 1, 40 + 5 + 1}));
}

TEST(TextStringTest, CopiesShareUntilOneWrites) {
    CTextString a("base", 20);  // room enough to append in place
    CTextString b(a);
    CTextString c;
    c = b;
    EXPECT_EQ(a.GetRefCount(), 3);
    b += '!';
    c += "+more";
    CTextString& alias = a;
    a = alias;
    EXPECT_EQ(Str(a) + "|" + Str(b) + "|" + Str(c), "base|base!|base+more");
    EXPECT_EQ(a.GetRefCount(), 1);
    // A text in the middle of a direct write has length 0 and copies as "".
    std::strcpy(a.GetWritableBuffer(20), "done");
    EXPECT_EQ(CTextString(a).GetRefCount(), 0);
    a.RecalcLength();
    EXPECT_EQ(Str(a), "done");
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
    EXPECT_EQ(Str(s), forty + "yabcdez");
    CTextString t("ab");
    t += static_cast<const char*>(nullptr);
    t += "";
    t += '\0';
    EXPECT_EQ(t.GetCapacity(), 3u);  // nothing appended, nothing reallocated
    t += t;                          // reads its own text while reallocating
    t += t;                          // and in place
    EXPECT_EQ(Str(t), "abababab");
    CTextString e;
    e += 'q';
    EXPECT_EQ(e.GetCapacity(), 6u);
}

TEST(TextStringTest, SearchAndPieces) {
    // Positions count from the start of the string, not from the offset;
    // the start may be the length. A hit of ReverseFind on a lead byte skips
    // its trail byte, but never the terminator; the 5Ch of ソ follows a lead
    // byte that is itself no hit, so the plain byte search reports it.
    const CTextString s("abcabc");
    EXPECT_EQ(
        (Ints{
            s.Find("bc", 2), s.Find('a', 1), s.Find("", 6), s.Find(nullptr, 3),
            CTextString("a\\b\\c").ReverseFind('\\'), CTextString("a\\\x83\x5C").ReverseFind('\\'),
            CTextString("\x83\x5C\x83\x7E").ReverseFind('\x83'),
            CTextString("\x83\x83").ReverseFind('\x83'), CTextString("a\x83").ReverseFind('\x83')}),
        (Ints{4, 3, 6, 3, 3, 3, 2, 0, 1}));
    for (int n : {s.Find("zz"), s.Find("c", 6), s.Find("", 7), s.Find('a', 7), s.Find("a", -1),
                  s.Find('\0'), CTextString().Find("a"), CTextString("abc").ReverseFind('x'),
                  CTextString("abc").ReverseFind('\0'), CTextString().ReverseFind('a')}) {
        EXPECT_EQ(n, -1);
    }
    // Mid keeps a double-byte character whole at the end, does not move the
    // start off a trail byte, and takes a lone lead byte alone.
    const CTextString t((std::string("AB") + kMi).c_str());
    EXPECT_EQ((Strings{Str(t.Mid(1, 2)), Str(t.Mid(2)), Str(t.Mid(0, 100)), Str(t.Left(1)),
                       Str(t.Mid(3, 1)), Str(t.Mid(4)) + Str(t.Mid(9, 1)) + Str(t.Mid(0, 0)),
                       Str(CTextString("x\x83").Mid(1, 1))}),
              (Strings{std::string("B") + kMi, kMi, Str(t), "A", "~", "", "\x83"}));
}

TEST(TextStringTest, Replace) {
    const std::vector<std::tuple<const char*, const char*, const char*, int, const char*>> rows = {
        {"aXa", "a", "bb", 2, "bbXbb"}, {"aaaa", "aa", "b", 2, "bb"},  // no overlap
        {"bb", "b", "", 2, ""},         {"keep", "e", nullptr, 2, "kp"},
        {"keep", "", "x", 0, "keep"},   {"keep", nullptr, "x", 0, "keep"},
        {"keep", "zz", "x", 0, "keep"}};
    for (const auto& [psz, pszFrom, pszTo, nHits, pszResult] : rows) {
        CTextString s(psz);
        const CTextString share = s;
        EXPECT_EQ(s.Replace(pszFrom, pszTo), nHits);
        EXPECT_EQ(Str(s) + "|" + Str(share), std::string(pszResult) + "|" + psz);
        EXPECT_EQ(s.GetRefCount() == 0, *pszResult == '\0');  // "" is the empty record
    }
    // In the middle of a direct write the stored length is 0, the text not.
    for (const auto& row :
         {std::make_pair("bbbb", std::string(36, 'b')), std::make_pair("", std::string())}) {
        CTextString w("aaaaaaaaa");
        w.GetWritableBuffer(20);
        EXPECT_EQ(w.Replace("a", row.first), 9);
        EXPECT_EQ(Str(w), row.second);
    }
    // A result beyond the header's 32-bit sizes is refused.
    const std::string a(4096, 'a');
    CTextString big(a.c_str());
    const std::string b((1u << 20) + 1, 'b');
    EXPECT_THROW(big.Replace("a", b.c_str()), CInvalidParamException);  // 2^32 bytes
    EXPECT_EQ(Str(big), a);
}

TEST(TextStringTest, CompareIsTheLocaleOrderEqualityIsByteExact) {
    EXPECT_EQ(CTextString("abc").Compare("abd") + CTextString().Compare(nullptr), -1 + 0);
    const CTextString a("abc");
    EXPECT_TRUE(a == "abc" && "abc" == a && a == CTextString("abc"));
    EXPECT_TRUE(a != "abd" && a != CTextString("abd") && a != CTextString("ab") &&
                CTextString() == nullptr);
}

TEST(TextStringTest, WritableBufferRules) {
    CTextString empty;
    EXPECT_EQ(empty.GetWritableBuffer(0), nullptr);
    EXPECT_THROW(empty.GetWritableBuffer(0xFFFFFFFFu), CInvalidParamException);
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
    // Every byte filled: the text ends inside the block.
    CTextString full("ab");
    std::memset(full.GetWritableBuffer(3), 'z', full.GetCapacity());
    full.RecalcLength();
    EXPECT_STREQ(full, "zz");
}

TEST(TextStringTest, Format) {
    // %I64 on every platform, also behind flags and width as the numeric
    // field builds them.
    EXPECT_EQ(
        Str(CTextString::Format("%I64d|%I64i|%u|%I64u|%I64x|%I64X|%I64o", 5000000000LL, LLONG_MIN,
                                7u, ULLONG_MAX, 0x1FFFFFFFFULL, 0xABCDEF012ULL, 8ULL)),
        "5000000000|-9223372036854775808|7|18446744073709551615|1ffffffff|ABCDEF012|10");
    EXPECT_EQ(Str(CTextString::Format("%03I64d|%-6I64d|%*I64d|%%I64d", 5LL, 42LL, 4, 7LL)),
              "005|42    |   7|%I64d");
    // Double-byte text byte for byte, a trail byte of 5Ch included; a
    // CTextString argument as its text.
    const std::string format = std::string("RS232C(%s%d)\\\\.\\COM%u") + kSo;
    EXPECT_EQ(Str(CTextString::Format(format.c_str(), CTextString(kMi), 3, 4294967295u)),
              std::string("RS232C(") + kMi + "3)\\\\.\\COM4294967295" + kSo);
    EXPECT_TRUE(CTextString::FormatC(nullptr).IsEmpty());
    // The first area holds strlen(format) + 1024 bytes, the zero included.
    for (std::size_t n : {1025u, 1026u, 5000u}) {
        const std::string text(n, 'q');
        const CTextString s = CTextString::Format("%s", text.c_str());
        EXPECT_EQ(Str(s) + std::to_string(s.GetCapacity()), text + std::to_string(n + 1));
    }
    EXPECT_EQ(CTextString::Format("%3000d|%I64d", 1, 1LL << 40).GetLength(), 3000u + 1u + 13u);
}

struct CCounted {
    explicit CCounted(int* pDestroyed) : m_pDestroyed(pDestroyed) {}
    ~CCounted() { ++*m_pDestroyed; }
    int* m_pDestroyed;
};

TEST(RefHandleTest, SharesAndDestroysOnTheLastRelease) {
    int nDestroyed = 0;
    CCounted* p = new CCounted(&nDestroyed);
    CRefHandle<CCounted> a(p);
    a.Reset(p);  // its own object is kept
    CRefHandle<CCounted> b(a);
    CRefHandle<CCounted> c(std::move(b));
    EXPECT_TRUE(b.IsEmpty() && a.SharesWith(c) && a.GetRefCount() == 2);  // NOLINT: moved from
    const CRefHandle<CCounted> empty;
    a = empty;  // assigning an empty handle releases
    EXPECT_EQ(nDestroyed + c.GetRefCount(), 0 + 1);
    a = std::move(c);
    a.Reset(new CCounted(&nDestroyed));
    EXPECT_EQ(nDestroyed + a.GetRefCount() + c.GetRefCount(), 1 + 1 + 0);  // NOLINT: moved from
}

TEST(ExceptionsTest, EachKindCarriesItsCodePage932MessageAndCopiesShareIt) {
    // が is 82 AA, 。 is 81 42.
    EXPECT_EQ(std::string(CIndexOutOfBoundsException(0).GetMessageText()),
              "INDEX\x82\xaa\x94\xcd\x88\xcd\x8a\x4f\x82\xc5\x82\xb7\x81\x42");
    const std::pair<CZrkException, std::string> rows[] = {
        {CNullPointerException(3), "NULLポインタです。"},
        {CIndexOutOfBoundsException(3), "INDEXが範囲外です。"},
        {CInvalidParamException(3), "パラメータが不正です。"},
        {CNotSupportException(3), "サポートされていません。"}};
    for (const auto& [e, message] : rows) {
        EXPECT_EQ(Cp932ToUtf8(e.GetMessageText()) + std::to_string(e.GetDetail()), message + "3");
    }
    // A private copy of the text, which copies of the exception share.
    char text[] = "message text";
    CZrkException copy(nullptr);
    EXPECT_STREQ(copy.GetMessageText(), "");
    {
        const CZrkException first(text, 7);
        text[0] = 'X';
        copy = first;
        EXPECT_EQ(copy.GetMessageText(), first.GetMessageText());
    }
    EXPECT_STREQ(copy.GetMessageText(), "message text");
}

// ---------------------------------------------------- code page 932 helpers

TEST(NlsTest, LeadBytesAndTheGeneratedTexts) {
    // Lead bytes are 81h-9Fh and E0h-FCh.
    EXPECT_EQ(
        (Ints{IsLeadByte932(0x80), IsLeadByte932(0x81), IsLeadByte932(0x9F), IsLeadByte932(0xA0),
              IsLeadByte932(0xDF), IsLeadByte932(0xE0), IsLeadByte932(0xFC), IsLeadByte932(0xFD)}),
        (Ints{0, 1, 1, 0, 0, 1, 1, 0}));
    // Half-width katakana are single bytes.
    EXPECT_EQ(Cp932ToUtf8(Tolvane::Text::kAboutCaption.japanese),
              "ミルトパ マスストレージ ツールのﾊﾞｰｼﾞｮﾝ情報");
    // Every Japanese text, byte for byte, with its name: whoever changes
    // one (or the generator) changes this on purpose. FNV-1a, 64 bits.
    std::uint64_t hash = 0xCBF29CE484222325u;
    for (const Tolvane::CNamedText& entry : Tolvane::Text::kAll) {
        for (const char* part : {entry.name, entry.text.japanese}) {
            for (const char* p = part; p == part || p[-1] != '\0'; ++p) {
                hash = (hash ^ static_cast<unsigned char>(*p)) * 0x100000001B3u;
            }
        }
    }
    EXPECT_EQ(hash, 0x6F46D6303BF6BDC0u);
}

TEST(NlsTest, Cp932ToUtf8ReplacesInvalidBytesWithoutOverreading) {
    const std::string kBad = "\xEF\xBF\xBD";  // U+FFFD
    // A range that ends on a lead byte does not read the trail byte behind
    // it. 80h and A0h are no characters; an invalid pair takes only its
    // lead byte, so the ASCII byte behind it survives. The length form
    // reads zero bytes as characters; the other stops there.
    const char buffer[] = "a\x83\x7E";
    EXPECT_EQ((Strings{Cp932ToUtf8(buffer, 2), Cp932ToUtf8(buffer, 3), Cp932ToUtf8("\x80\x41\xA0"),
                       Cp932ToUtf8("\x81\x20x"), Cp932ToUtf8("\xFD\xFE\xFF"), Cp932ToUtf8("\xB1"),
                       Cp932ToUtf8("a\0b", 3), Cp932ToUtf8("a\0b"),
                       Cp932ToUtf8(nullptr, 4) + Cp932ToUtf8(nullptr)}),
              (Strings{"a" + kBad, "aミ", kBad + "A" + kBad, kBad + " x", kBad + kBad + kBad, "ｱ",
                       std::string("a\0b", 3), "a", ""}));
}

// Restores LC_ALL when a test changed the locale.
struct CLocaleScope {
    ~CLocaleScope() { std::setlocale(LC_ALL, m_saved.c_str()); }
    bool Set(const char* pszName) { return std::setlocale(LC_ALL, pszName) != nullptr; }
    const std::string m_saved = std::setlocale(LC_ALL, nullptr);
};

TEST(NlsTest, CompareLocaleAndLowerCase) {
    // Null is "", case counts.
    EXPECT_EQ((Ints{CompareLocale(nullptr, ""), CompareLocale("a", nullptr),
                    CompareLocale(nullptr, "a"), CompareLocale("COM1", "COM2"),
                    CompareLocale("COM2", "COM10"), CompareLocale("\x83\x7E", "\x83\x7E"),
                    CompareLocale("abc", "ABC") != 0, CompareLocale("\x80", "\x80")}),
              (Ints{0, 1, -1, -1, 1, 0, 1, 0}));
    // A double-byte character whose trail byte is an upper-case ASCII
    // letter (ア is 83h 41h) stays intact.
    EXPECT_TRUE(LowerCaseLocale(nullptr).IsEmpty() && LowerCaseLocale("").IsEmpty());
    EXPECT_STREQ(LowerCaseLocale("USB\\VID_04D8&PID_E6B2&MI_00\x83\x41X"),
                 "usb\\vid_04d8&pid_e6b2&mi_00\x83\x41x");
#ifndef _WIN32
    // Text that cannot be converted compares by its bytes, and only its
    // ASCII letters are lowered.
    EXPECT_EQ(CompareLocale("\x80", "\x81\x40"), -1);
    EXPECT_EQ(Str(LowerCaseLocale((std::string("AB\x80\x83\x41") + "CD").c_str())),
              std::string("ab\x80\x83\x41") + "cd");
    // Otherwise the order is LC_COLLATE's: in the C locale wide characters
    // compare by code point, ー (U+30FC) after ア (U+30A2), although its
    // bytes (81 5B) come before those of ア (83 41).
    CLocaleScope scope;
    ASSERT_TRUE(scope.Set("C"));
    EXPECT_EQ(CompareLocale("\x81\x5B", "\x83\x41"), 1);
#endif
}

}  // namespace
}  // namespace ZRK
