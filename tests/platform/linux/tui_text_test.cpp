#include "platform/linux/tui/tui_text.h"

#include <gtest/gtest.h>

#include "tolvane_texts.h"
#include "tui_test_width.h"

namespace Tolvane {
namespace Tui {
namespace {

TEST(TuiTextTest, DecodesUtf8ReplacingEachBadByteAndResuming) {
    const wchar_t r = 0xFFFD;
    EXPECT_EQ(DecodeUtf8("A\xC3\xA9\xE3\x83\x9F\xF0\x9F\x98\x80"),
              (std::wstring{L'A', 0xE9, 0x30DF, 0x1F600}));
    EXPECT_EQ(DecodeUtf8(""), L"");
    // Cut short at the end, and before an ASCII byte.
    EXPECT_EQ(DecodeUtf8("a\xE3\x83"), (std::wstring{L'a', r, r}));
    EXPECT_EQ(DecodeUtf8(std::string("\xE3") + "b"), (std::wstring{r, L'b'}));
    // Overlong, surrogate, past U+10FFFF, lone continuation, invalid lead.
    EXPECT_EQ(DecodeUtf8("\xC0\x80"), (std::wstring{r, r}));
    EXPECT_EQ(DecodeUtf8("\xED\xA0\x80"), (std::wstring{r, r, r}));
    EXPECT_EQ(DecodeUtf8("\xF4\x90\x80\x80"), (std::wstring{r, r, r, r}));
    EXPECT_EQ(DecodeUtf8("\x80x\xFF"), (std::wstring{r, L'x', r}));
}

TEST(TuiTextTest, ProgramTextsComeOutAsTheyAreWrittenSplitAtLineFeeds) {
    EXPECT_EQ(ScreenText(Text::kMainCaption), L"ミルトパ マスストレージ ツール");
    EXPECT_EQ(ScreenText(Text::kTargetLabel), L"Target-SCSI-ID (0\uFF5E6)");
    EXPECT_EQ(ScreenText(Text::kAboutMenuItem), L"Tolvane のﾊﾞｰｼﾞｮﾝ情報(&A)...");
    EXPECT_EQ(
        SplitLines(ScreenText(Text::kNoResponse)),
        (std::vector<std::wstring>{L"ミルトパが応答しません。", L"再起動してみてください。"}));
    EXPECT_EQ(SplitLines(L""), std::vector<std::wstring>{L""});
    EXPECT_EQ(SplitLines(L"a\n"), (std::vector<std::wstring>{L"a", L""}));
}

TEST(TuiTextTest, MeasuresCellsAndNeverCutsAWideCharacter) {
    const WidthFn w = TestWidth;
    EXPECT_EQ(TextWidth(ScreenText(Text::kTargetLabel), w), 21);
    EXPECT_EQ(TextWidth(L"ﾊﾞｰｼﾞｮﾝ", w), 7);              // half-width: one cell each
    EXPECT_EQ(TextWidth(std::wstring(1, L'\t'), w), 1);  // shown as one '?'
    EXPECT_EQ(FitText(L"aミb", 2, w), L"a");
    EXPECT_EQ(FitText(L"aミb", 3, w), L"aミ");
    EXPECT_EQ(FitText(L"ミ", 1, w), L"");
    EXPECT_EQ(FitText(L"abc", 0, w), L"");
    EXPECT_EQ(FitText(L"abc", 10, w), L"abc");
}

TEST(TuiTextTest, DropsMnemonicMarksAndFillsInTheFirstPlaceholderOnly) {
    EXPECT_EQ(StripMnemonic(L"情報(&A)..."), L"情報(A)...");
    EXPECT_EQ(StripMnemonic(L"a&&b"), L"a&b");
    EXPECT_EQ(StripMnemonic(L"end&"), L"end");
    EXPECT_EQ(FillIn("F1: %s (%s)", "x"), "F1: x (%s)");
    EXPECT_EQ(FillIn("none", "x"), "none");
    EXPECT_EQ(FillIn("'%s'", "%s%n"), "'%s%n'");  // the argument is never read as a format
}

}  // namespace
}  // namespace Tui
}  // namespace Tolvane
