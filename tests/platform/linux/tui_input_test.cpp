// The terminal's keys as events, the arrow keys' acceleration and the
// command line.
#include <gtest/gtest.h>

#define NCURSES_NOMACROS 1
#include <curses.h>

#include "platform/linux/tui/curses_app.h"
#include "platform/linux/tui/tui_input.h"
#include "platform/linux/tui/tui_options.h"

namespace Tolvane {
namespace Tui {
namespace {

EKey Decoded(int result, int code) {
    return DecodeKey(result, static_cast<std::uint32_t>(code)).key;
}

TEST(TuiInputTest, DecodesTheKeysTheDialogUsesAndPassesCharactersOn) {
    EXPECT_EQ(Decoded(OK, 9), EKey::kTab);
    EXPECT_EQ(Decoded(KEY_CODE_YES, KEY_BTAB), EKey::kBackTab);
    EXPECT_EQ(Decoded(OK, 13), EKey::kEnter);
    EXPECT_EQ(Decoded(OK, 10), EKey::kEnter);
    EXPECT_EQ(Decoded(KEY_CODE_YES, KEY_ENTER), EKey::kEnter);
    EXPECT_EQ(Decoded(OK, 27), EKey::kEscape);
    EXPECT_EQ(Decoded(OK, 127), EKey::kBackspace);
    EXPECT_EQ(Decoded(OK, 8), EKey::kBackspace);
    EXPECT_EQ(Decoded(KEY_CODE_YES, KEY_BACKSPACE), EKey::kBackspace);
    EXPECT_EQ(Decoded(KEY_CODE_YES, KEY_DC), EKey::kDelete);
    EXPECT_EQ(Decoded(KEY_CODE_YES, KEY_UP), EKey::kUp);
    EXPECT_EQ(Decoded(KEY_CODE_YES, KEY_DOWN), EKey::kDown);
    EXPECT_EQ(Decoded(KEY_CODE_YES, KEY_F(1)), EKey::kAbout);
    EXPECT_EQ(Decoded(KEY_CODE_YES, KEY_RESIZE), EKey::kResize);
    EXPECT_EQ(Decoded(KEY_CODE_YES, KEY_MOUSE), EKey::kMouse);
    EXPECT_EQ(Decoded(KEY_CODE_YES, PasteBeginKey()), EKey::kPaste);
    // A paste end without its start, keys the dialog has no use for, nothing
    // at all, and a code past Unicode (which must not wrap round to a digit).
    EXPECT_EQ(Decoded(KEY_CODE_YES, PasteEndKey()), EKey::kNone);
    EXPECT_EQ(Decoded(KEY_CODE_YES, KEY_F(5)), EKey::kNone);
    EXPECT_EQ(Decoded(ERR, 0), EKey::kIdle);
    EXPECT_EQ(Decoded(OK, 0x110030), EKey::kNone);
    // Characters, control characters included, go to the field as they are.
    for (std::uint32_t c : {std::uint32_t{'9'}, 22u, 0x30DFu}) {
        const InputEvent event = DecodeKey(OK, c);
        EXPECT_EQ(event.key, EKey::kChar);
        EXPECT_EQ(static_cast<std::uint32_t>(event.ch), c);
    }
}

TEST(TuiInputTest, PastedTextKeepsAsciiAndMarksTheRest) {
    EXPECT_EQ(PasteBytes(L"a1b2"), "a1b2");
    EXPECT_EQ(PasteBytes(L"１2\n"), "?2\n");
    EXPECT_EQ(PasteBytes(L""), "");
}

TEST(TuiSpinRepeatTest, HeldKeyAcceleratesAsTheSpinsTable) {
    // Repeats every 50 ms: one step for two seconds, then 5, 10 and 50.
    CSpinRepeat repeat;
    std::uint64_t t = 10000;
    for (const auto& [until, step] :
         {std::pair{11950, -1}, {12000, -5}, {14000, -10}, {16000, -50}}) {
        int delta = 0;
        for (; t <= static_cast<std::uint64_t>(until); t += 50) {
            delta = repeat.Press(true, t);
        }
        EXPECT_EQ(delta, step) << until;
    }
}

TEST(TuiSpinRepeatTest, APauseOrTheOtherArrowStartsAgain) {
    CSpinRepeat repeat;
    for (std::uint64_t t = 0; t <= 2100; t += 100) {
        repeat.Press(false, t);
    }
    EXPECT_EQ(repeat.Press(false, 2200), 5);
    EXPECT_EQ(repeat.Press(true, 2300), -1);  // the other arrow
    // Held again, then let go for longer than a repeat takes.
    for (std::uint64_t t = 2300; t <= 4400; t += 100) {
        repeat.Press(true, t);
    }
    EXPECT_EQ(repeat.Press(true, 4400 + CSpinRepeat::kRepeatGapMs), -5);
    EXPECT_EQ(repeat.Press(true, 5100 + CSpinRepeat::kRepeatGapMs + 1), -1);
    // A clock that goes backwards does not make a long hold.
    EXPECT_EQ(repeat.Press(true, 100), -1);
    EXPECT_EQ(repeat.Press(true, 200), -1);
}

TEST(TuiOptionsTest, ReadsTheCommandLine) {
    EXPECT_EQ(ParseCommandLine({}).mode, ERunMode::kDialog);
    EXPECT_EQ(ParseCommandLine({"--simulate"}).mode, ERunMode::kSimulate);
    EXPECT_EQ(ParseCommandLine({"--simulate", "--help"}).mode, ERunMode::kHelp);
    EXPECT_EQ(ParseCommandLine({"--version", "--simulate"}).mode, ERunMode::kVersion);
    EXPECT_EQ(VersionLine(), "Tolvane 1.0.0.1");
    // Anything else is refused, naming the culprit.
    const std::pair<std::vector<std::string>, std::string> refused[] = {
        {{"-h"}, "-h"},
        {{"--simulate=1"}, "--simulate=1"},
        {{"simulate"}, "simulate"},
        {{"--simulate", "x"}, "x"},
        {{""}, ""},
        {{"--", "--help"}, "--"},
        {{"--simulate", "--simulate"}, "--simulate"},
    };
    for (const auto& [args, culprit] : refused) {
        const RunOptions options = ParseCommandLine(args);
        EXPECT_EQ(options.mode, ERunMode::kUsageError) << culprit;
        EXPECT_NE(options.message.find("'" + culprit + "'"), std::string::npos) << options.message;
    }
}

}  // namespace
}  // namespace Tui
}  // namespace Tolvane
