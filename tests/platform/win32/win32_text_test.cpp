// The code page 932 conversions of the Windows front-end on the real
// national-language support: texts, characters typed into the field, and
// caret positions between bytes and UTF-16 units.
#include <windows.h>

#include <string>

#include <gtest/gtest.h>

#include "platform/win32/app/win32_text.h"
#include "tolvane_texts.h"

namespace Tolvane::Win32 {
namespace {

TEST(Win32Text, TextsRoundTripThroughUtf16WhateverTheAnsiCodePage) {
    for (const char* text : {Text::kMainCaption, Text::kAboutMenuItem, Text::kTargetLabel,
                             Text::kNeedAdmin, Text::kAdapterNotFoundMaybeMass}) {
        const std::wstring wide = WidenCp932(text);
        EXPECT_FALSE(wide.empty());
        EXPECT_EQ(std::string(text), NarrowCp932(wide));
    }
    // Half-width katakana are single bytes, the wave dash a double byte.
    EXPECT_EQ(L"\xFF8A\xFF9E", WidenCp932("\xCA\xDE"));
    EXPECT_EQ(
        L"0\xFF5E"
        L"6",
        WidenCp932("0\x81\x60"
                   "6"));
    EXPECT_EQ(L"", WidenCp932(""));
    EXPECT_EQ("", NarrowCp932(L""));
    // A character code page 932 lacks becomes a plain '?', never a look-alike.
    EXPECT_EQ("a?b", NarrowCp932(L"a\x0100"
                                 L"b"));
}

TEST(Win32Text, TypedCharactersAsTheFieldSeesThem) {
    EXPECT_EQ(static_cast<UINT>('9'), CharCodeCp932(L'9'));
    EXPECT_EQ(22u, CharCodeCp932(L'\x16'));
    EXPECT_EQ(0xB1u, CharCodeCp932(L'\xFF71'));    // half-width katakana a
    EXPECT_EQ(0x8250u, CharCodeCp932(L'\xFF11'));  // full-width one
    // No code page 932 form: a value outside every allowed list.
    EXPECT_EQ(0xFFFFu, CharCodeCp932(L'\xD83D'));  // surrogate half
    EXPECT_EQ(0xFFFFu, CharCodeCp932(L'\x0661'));  // Arabic-Indic one
}

TEST(Win32Text, CaretPositionsBetweenBytesAndUnits) {
    // "1", a double-byte kanji, "2", a surrogate pair (no code page 932
    // form: one '?' per unit), "3".
    const std::wstring text =
        L"1\x5B9F"
        L"2\xD83D\xDE00"
        L"3";
    const int bytes[] = {0, 1, 3, 4, 5, 6, 7};
    for (int unit = 0; unit <= 6; ++unit) {
        EXPECT_EQ(bytes[unit], BytePosition(text, unit)) << "unit " << unit;
    }
    EXPECT_EQ(0, BytePosition(text, -3));
    EXPECT_EQ(7, BytePosition(text, 99));

    EXPECT_EQ(0, UnitPosition(text, 0));
    EXPECT_EQ(1, UnitPosition(text, 1));
    EXPECT_EQ(2, UnitPosition(text, 2)) << "inside a double byte: after it";
    EXPECT_EQ(2, UnitPosition(text, 3));
    EXPECT_EQ(3, UnitPosition(text, 4));
    EXPECT_EQ(5, UnitPosition(text, 5)) << "a surrogate pair is never split";
    EXPECT_EQ(6, UnitPosition(text, 7));
    EXPECT_EQ(6, UnitPosition(text, 100));
    EXPECT_EQ(0, UnitPosition(text, -1));
}

}  // namespace
}  // namespace Tolvane::Win32
