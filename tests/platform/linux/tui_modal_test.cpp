#include "platform/linux/tui/tui_modal.h"

#include <gtest/gtest.h>

#include "tolvane_texts.h"
#include "tui_test_width.h"

namespace Tolvane {
namespace Tui {
namespace {

InputEvent Click(EMouse what, const ModalButton& on) {
    return InputEvent::Mouse(what, on.cells.left + 1, on.cells.top);
}

TEST(TuiMessageBoxTest, YesNoBoxDefaultsToYesAndCannotBeCancelled) {
    CMessageBoxModel box(Text::kAskSwitchToMass, MB_YESNO, TestWidth);
    ASSERT_EQ(box.Row().Buttons().size(), 2u);
    EXPECT_EQ(box.Row().Buttons()[0].label, L"はい");
    EXPECT_EQ(box.Row().Buttons()[1].label, L"いいえ");
    EXPECT_EQ(box.Caption(), L"ミルトパ マスストレージ ツール");
    EXPECT_EQ(box.Row().FocusedId(), IDYES);
    EXPECT_EQ(box.OnEvent(InputEvent::Key(EKey::kEscape)), std::nullopt);  // nothing to cancel
    EXPECT_EQ(box.OnEvent(InputEvent::Key(EKey::kTab)), std::nullopt);
    EXPECT_EQ(box.Row().FocusedId(), IDNO);
    EXPECT_EQ(box.OnEvent(InputEvent::Key(EKey::kRight)), std::nullopt);  // wraps
    EXPECT_EQ(box.Row().FocusedId(), IDYES);
    EXPECT_EQ(box.OnEvent(InputEvent::Key(EKey::kEnter)), IDYES);
    EXPECT_EQ(box.OnEvent(InputEvent::Key(EKey::kLeft)), std::nullopt);
    EXPECT_EQ(box.OnEvent(InputEvent::Char(L' ')), IDNO);
    EXPECT_EQ(box.OnEvent(InputEvent::Char(L'y')), IDYES);
    EXPECT_EQ(box.OnEvent(InputEvent::Char(L'N')), IDNO);
    EXPECT_EQ(box.OnEvent(InputEvent::Char(L'x')), std::nullopt);
    // A gone terminal never answers yes, whatever has the focus.
    EXPECT_EQ(box.OnEvent(InputEvent::Key(EKey::kTab)), std::nullopt);
    EXPECT_EQ(box.OnEvent(InputEvent::Key(EKey::kHangUp)), IDNO);
    EXPECT_EQ(CMessageBoxModel::AnswerWithoutUser(MB_YESNO | MB_ICONQUESTION), IDNO);
}

TEST(TuiMessageBoxTest, OkBoxClosesOnEnterSpaceEscapeOrAHangUp) {
    for (const InputEvent& event :
         {InputEvent::Key(EKey::kEnter), InputEvent::Char(L' '), InputEvent::Key(EKey::kEscape),
          InputEvent::Key(EKey::kHangUp)}) {
        CMessageBoxModel box(Text::kSwitchedToMass, MB_OK, TestWidth);
        EXPECT_EQ(box.OnEvent(event), IDOK);
    }
    CMessageBoxModel box(Text::kSwitchedToMass, MB_OK, TestWidth);
    EXPECT_EQ(box.OnEvent(InputEvent::Char(L'y')), std::nullopt);
    EXPECT_EQ(box.OnEvent(InputEvent::Key(EKey::kIdle)), std::nullopt);
}

TEST(TuiMessageBoxTest, MouseAnswersOnlyWhenReleasedOnThePressedButton) {
    CMessageBoxModel box(Text::kAskSwitchToMass, MB_YESNO, TestWidth);
    const ModalButton no = box.Row().Buttons()[1];
    const ModalButton yes = box.Row().Buttons()[0];
    // Pressed on いいえ, let go on はい: nothing, though the focus moved.
    EXPECT_EQ(box.OnEvent(Click(EMouse::kPress, no)), std::nullopt);
    EXPECT_EQ(box.Row().FocusedId(), IDNO);
    EXPECT_EQ(box.OnEvent(Click(EMouse::kRelease, yes)), std::nullopt);
    EXPECT_EQ(box.Row().Held(), std::nullopt);
    // A release with no press before it.
    EXPECT_EQ(box.OnEvent(Click(EMouse::kRelease, yes)), std::nullopt);
    // Pressed on nothing.
    EXPECT_EQ(box.OnEvent(InputEvent::Mouse(EMouse::kPress, 0, 0)), std::nullopt);
    EXPECT_EQ(box.OnEvent(InputEvent::Mouse(EMouse::kRelease, 0, 0)), std::nullopt);
    EXPECT_EQ(box.OnEvent(Click(EMouse::kPress, no)), std::nullopt);
    EXPECT_EQ(box.OnEvent(Click(EMouse::kRelease, no)), IDNO);
}

TEST(TuiMessageBoxTest, BoxFitsItsTextAndCentresItsButtons) {
    const WidthFn w = TestWidth;
    CMessageBoxModel box(Text::kPortNotFound, MB_OK | MB_ICONEXCLAMATION, w);
    ASSERT_EQ(box.Lines().size(), 2u);
    EXPECT_EQ(box.Icon(), L"(!)");
    EXPECT_GT(box.TextColumn(), 2 + TextWidth(box.Icon(), w) - 1);
    for (const std::wstring& line : box.Lines()) {
        EXPECT_LE(box.TextColumn() + TextWidth(line, w), box.ClientWidth() - 1);
    }
    EXPECT_EQ(box.ClientHeight(), 2 + 4);
    const ModalButton ok = box.Row().Buttons()[0];
    EXPECT_EQ(ok.cells.top, box.TextRow() + 2 + 1);
    EXPECT_LT(ok.cells.bottom, box.ClientHeight());
    EXPECT_LE(std::abs(ok.cells.left - (box.ClientWidth() - ok.cells.right)), 1);

    CMessageBoxModel ask(Text::kAskSwitchToMass, MB_YESNO, w);
    EXPECT_EQ(ask.Icon(), L"");
    EXPECT_EQ(ask.TextColumn(), 2);
    const auto& buttons = ask.Row().Buttons();
    EXPECT_LT(buttons[0].cells.right, buttons[1].cells.left);
    EXPECT_LE(std::abs(buttons[0].cells.left - (ask.ClientWidth() - buttons[1].cells.right)), 1);
    // The caption fits the frame as well.
    EXPECT_LE(TextWidth(ask.Caption(), w) + 2, ask.ClientWidth());
}

TEST(TuiMessageBoxTest, CentresBoxesAndPinsThemWhenTheScreenIsSmall) {
    const BoxFrame frame = CenterBox(40, 6, 100, 30);
    EXPECT_EQ(frame.width, 42);
    EXPECT_EQ(frame.height, 8);
    EXPECT_EQ(frame.left, 29);
    EXPECT_EQ(frame.top, 11);
    const BoxFrame pinned = CenterBox(40, 6, 20, 4);
    EXPECT_EQ(pinned.left, 0);
    EXPECT_EQ(pinned.top, 0);
}

TEST(TuiMessageBoxTest, ButtonFacesTakeExactlyTheirWidth) {
    const WidthFn w = TestWidth;
    EXPECT_EQ(ButtonFace(L"OK", 8, w), L"[  OK  ]");
    EXPECT_EQ(ButtonFace(L"はい", 9, w), L"[ はい  ]");
    EXPECT_EQ(TextWidth(ButtonFace(L"いいえ", 12, w), w), 12);
    // Too narrow: the label is cut, never the brackets' width exceeded.
    EXPECT_EQ(ButtonFace(L"いいえ", 5, w), L"[い ]");
    EXPECT_EQ(ButtonFace(L"x", 1, w), L"[");
    EXPECT_EQ(ButtonFace(L"x", 0, w), L"");
}

TEST(TuiAboutBoxTest, ClosesOnItsOkButtonOrEscape) {
    CAboutBoxModel about;
    ASSERT_EQ(about.Row().Buttons().size(), 1u);
    const ModalButton ok = about.Row().Buttons()[0];
    EXPECT_EQ(ok.label, L"OK");
    EXPECT_FALSE(about.OnEvent(InputEvent::Char(L'a')));
    EXPECT_FALSE(about.OnEvent(InputEvent::Key(EKey::kTab)));
    EXPECT_FALSE(about.OnEvent(Click(EMouse::kPress, ok)));
    EXPECT_TRUE(about.OnEvent(Click(EMouse::kRelease, ok)));
    EXPECT_TRUE(CAboutBoxModel().OnEvent(InputEvent::Key(EKey::kEnter)));
    EXPECT_TRUE(CAboutBoxModel().OnEvent(InputEvent::Key(EKey::kEscape)));
}

}  // namespace
}  // namespace Tui
}  // namespace Tolvane
