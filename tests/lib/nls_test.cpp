#include "lib/nls.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "tolvane_texts.h"

namespace ZRK {
namespace {

// Restores LC_ALL when a test changed the locale.
class CLocaleScope {
public:
    CLocaleScope() : m_saved(std::setlocale(LC_ALL, nullptr)) {}
    ~CLocaleScope() { std::setlocale(LC_ALL, m_saved.c_str()); }
    bool Set(const char* pszName) { return std::setlocale(LC_ALL, pszName) != nullptr; }

private:
    std::string m_saved;
};

TEST(NlsTest, LeadBytesOfCodePage932) {
    for (int b = 0; b < 256; ++b) {
        const bool expected = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
        EXPECT_EQ(IsLeadByte932(static_cast<unsigned char>(b)), expected) << b;
    }
}

TEST(NlsTest, GeneratedTextsAreCodePage932) {
    EXPECT_EQ(std::string(Tolvane::Text::kProductName), "\x83\x7E\x83\x8B\x83\x67\x83\x70");
    // Half-width katakana are single bytes; a two-line text keeps its single
    // line feed; ～ is the full-width tilde of the code page.
    EXPECT_EQ(Cp932ToUtf8(Tolvane::Text::kAboutCaption),
              "ミルトパ マスストレージ ツールのﾊﾞｰｼﾞｮﾝ情報");
    EXPECT_EQ(Cp932ToUtf8(Tolvane::Text::kNoResponse),
              "ミルトパが応答しません。\n再起動してみてください。");
    EXPECT_EQ(Cp932ToUtf8(Tolvane::Text::kTargetLabel), "Target-SCSI-ID (0～6)");
}

TEST(NlsTest, Cp932ToUtf8ReplacesInvalidBytesWithoutOverreading) {
    const std::string kBad = "\xEF\xBF\xBD";  // U+FFFD
    // A range that ends on a lead byte: the valid trail byte behind it is
    // not read.
    const char buffer[] = "a\x83\x7E";
    EXPECT_EQ(Cp932ToUtf8(buffer, 2), "a" + kBad);
    EXPECT_EQ(Cp932ToUtf8(buffer, 3), "aミ");
    // 80h and A0h are no characters; an invalid pair takes only its lead
    // byte, so the ASCII byte behind it survives.
    EXPECT_EQ(Cp932ToUtf8("\x80"
                          "A\xA0"),
              kBad + "A" + kBad);
    EXPECT_EQ(Cp932ToUtf8("\x81\x20x"), kBad + " x");
    EXPECT_EQ(Cp932ToUtf8("\xFD\xFE\xFF"), kBad + kBad + kBad);
    EXPECT_EQ(Cp932ToUtf8("\xB1"), "ｱ");
    // The length form reads zero bytes as characters; the other stops there.
    EXPECT_EQ(Cp932ToUtf8("a\0b", 3), std::string("a\0b", 3));
    EXPECT_EQ(Cp932ToUtf8("a\0b"), "a");
    EXPECT_EQ(Cp932ToUtf8(nullptr, 4) + Cp932ToUtf8(nullptr), "");
}

TEST(NlsTest, CompareLocaleThreeWay) {
    EXPECT_EQ(CompareLocale(nullptr, nullptr), 0);
    EXPECT_EQ(CompareLocale(nullptr, ""), 0);
    EXPECT_EQ(CompareLocale("a", nullptr), 1);
    EXPECT_EQ(CompareLocale(nullptr, "a"), -1);
    EXPECT_EQ(CompareLocale("COM1", "COM2"), -1);
    EXPECT_EQ(CompareLocale("COM2", "COM10"), 1);
    EXPECT_EQ(CompareLocale("\x83\x7E", "\x83\x7E"), 0);
    EXPECT_NE(CompareLocale("abc", "ABC"), 0);
    EXPECT_EQ(CompareLocale("\x80", "\x80"), 0);
#ifndef _WIN32
    // Text that iconv cannot convert falls back to the byte order.
    EXPECT_EQ(CompareLocale("\x80", "\x81\x40"), -1);
#endif
}

#ifndef _WIN32
// Off Windows the comparison follows LC_COLLATE of the C library.
TEST(NlsTest, CompareLocaleUsesTheCollationOfTheLocale) {
    CLocaleScope scope;
    if (!scope.Set("C")) {
        GTEST_SKIP() << "no C locale";
    }
    // In the C locale wide characters compare by code point: ー (U+30FC)
    // after ア (U+30A2), although its code page 932 bytes (81 5B) come
    // before those of ア (83 41).
    EXPECT_EQ(CompareLocale("\x81\x5B", "\x83\x41"), 1);
}
#endif

TEST(NlsTest, LowerCaseLocale) {
    EXPECT_TRUE(LowerCaseLocale(nullptr).IsEmpty());
    EXPECT_TRUE(LowerCaseLocale("").IsEmpty());
    EXPECT_STREQ(LowerCaseLocale("USB\\VID_04D8&PID_E6B2&MI_00"), "usb\\vid_04d8&pid_e6b2&mi_00");
    // A double-byte character whose trail byte is an upper-case ASCII
    // letter (ア is 83h 41h) stays intact.
    EXPECT_STREQ(LowerCaseLocale("\x83\x41X"), "\x83\x41x");
#ifndef _WIN32
    // Text that iconv cannot convert is lowered for ASCII letters only.
    EXPECT_STREQ(LowerCaseLocale("AB\x80\x83\x41"
                                 "CD"),
                 "ab\x80\x83\x41"
                 "cd");
    // towlower knows full-width letters only under a Unicode LC_CTYPE.
    CLocaleScope scope;
    if (!scope.Set("C.UTF-8") && !scope.Set("C.utf8") && !scope.Set("ja_JP.UTF-8")) {
        GTEST_SKIP() << "no Unicode locale installed";
    }
#endif
    // Ａ (82h 60h) becomes ａ (82h 81h).
    EXPECT_STREQ(LowerCaseLocale("\x82\x60"), "\x82\x81");
}

}  // namespace
}  // namespace ZRK
