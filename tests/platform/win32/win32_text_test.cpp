// The code page 932 conversions of the Windows front-end on the real
// national-language support: characters typed into the field, and caret
// positions between bytes and UTF-16 units. (Texts are converted wherever
// the dialog shows them: its tests run under two ANSI code pages.)
#include <windows.h>

#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "platform/win32/app/win32_text.h"

namespace Tolvane::Win32 {
namespace {

TEST(Win32Text, TypedCharactersAsTheFieldSeesThem) {
    const std::pair<wchar_t, UINT> rows[] = {
        {L'9', '9'},
        {L'\x16', 22},
        {L'\xFF71', 0xB1},    // half-width katakana a
        {L'\xFF11', 0x8250},  // full-width one
        // No code page 932 form: a value outside every allowed list.
        {L'\xD83D', 0xFFFF},  // surrogate half
        {L'\x0661', 0xFFFF},  // Arabic-Indic one
    };
    for (const auto& [typed, code] : rows) {
        EXPECT_EQ(code, CharCodeCp932(typed)) << static_cast<int>(typed);
    }
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
    // Byte position, unit position: inside a double byte the caret goes
    // after it, and a surrogate pair is never split.
    const std::pair<int, int> units[] = {{-1, 0}, {0, 0}, {1, 1}, {2, 2},  {3, 2},
                                         {4, 3},  {5, 5}, {7, 6}, {100, 6}};
    for (const auto& [byte, unit] : units) {
        EXPECT_EQ(unit, UnitPosition(text, byte)) << "byte " << byte;
    }
}

}  // namespace
}  // namespace Tolvane::Win32
