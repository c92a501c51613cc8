// The terminal program's parts below the dialog: texts on the screen, keys
// as events, the command line, the dialogs' cells and the message boxes.
#include <gtest/gtest.h>

#define NCURSES_NOMACROS 1
#include <curses.h>

#include "app/resource_ids.h"
#include "platform/linux/linux_rights.h"
#include "tolvane_texts.h"
#include "ui/common/ui_text.h"
#include "ui/terminal/curses_app.h"
#include "ui/terminal/tui_input.h"
#include "ui/terminal/tui_layout.h"
#include "ui/terminal/tui_modal.h"
#include "ui/terminal/tui_text.h"

namespace Tolvane::Tui {
namespace {

// Cell widths that do not hang on the machine's locales: East Asian wide and
// full-width forms take two cells, half-width katakana one, control
// characters cannot be shown.
int TestWidth(wchar_t c) {
    if (c < 0x20 || (c >= 0x7F && c < 0xA0)) {
        return -1;
    }
    const bool wide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) ||
                      (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
                      (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6);
    return wide ? 2 : 1;
}

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

TEST(TuiTextTest, ProgramTextsShowAsWrittenMeasuredInCellsAndCutWhole) {
    EXPECT_EQ(ScreenText(Text::kMainCaption.japanese), L"ミルトパ マスストレージ ツール");
    EXPECT_EQ(ScreenText(Text::kTargetLabel.japanese), L"Target-SCSI-ID (0\uFF5E6)");
    EXPECT_EQ(ScreenText(Text::kAboutMenuItem.japanese), L"Tolvane のﾊﾞｰｼﾞｮﾝ情報(&A)...");
    EXPECT_EQ(
        SplitLines(ScreenText(Text::kNoResponse.japanese)),
        (std::vector<std::wstring>{L"ミルトパが応答しません。", L"再起動してみてください。"}));
    EXPECT_EQ(SplitLines(L""), std::vector<std::wstring>{L""});
    EXPECT_EQ(SplitLines(L"a\n"), (std::vector<std::wstring>{L"a", L""}));
    EXPECT_EQ(TextWidth(L"ﾊﾞｰｼﾞｮﾝ", TestWidth), 7);              // half-width: one cell each
    EXPECT_EQ(TextWidth(std::wstring(1, L'\t'), TestWidth), 1);  // shown as one '?'
    const std::pair<int, std::wstring> fits[] = {{2, L"a"}, {3, L"aミ"}, {10, L"aミb"}, {0, L""}};
    for (const auto& [cells, fit] : fits) {
        EXPECT_EQ(FitText(L"aミb", cells, TestWidth), fit);
    }
    EXPECT_EQ(FitText(L"ミ", 1, TestWidth), L"");
    // Wrapped at a space, between Japanese characters but not before a
    // closing mark, or through a word too long for a line.
    const std::tuple<std::wstring, int, std::vector<std::wstring>> wraps[] = {
        {L"  ab cd  efghijk", 6, {L"  ab", L"cd", L"efghij", L"k"}},
        {L"グループ名 $USER で", 6, {L"グルー", L"プ名", L"$USER", L"で"}},
        {L"開けます。", 8, {L"開けま", L"す。"}},
    };
    for (const auto& [text, cells, lines] : wraps) {
        EXPECT_EQ(WrapLine(text, cells, TestWidth), lines) << cells;
    }
    EXPECT_EQ(StripMnemonic(L"情報(&A)..."), L"情報(A)...");
    EXPECT_EQ(StripMnemonic(L"a&&b"), L"a&b");
    EXPECT_EQ(StripMnemonic(L"end&"), L"end");
    EXPECT_EQ(Ui::FillIn("F1: %s (%s)", "x"), "F1: x (%s)");
    EXPECT_EQ(Ui::FillIn("none", "x"), "none");
    EXPECT_EQ(Ui::FillIn("'%s'", "%s%n"), "'%s%n'");  // the argument is never read as a format
}

std::vector<EKey> Decoded(int result, std::initializer_list<int> codes) {
    std::vector<EKey> keys;
    for (int code : codes) {
        keys.push_back(DecodeKey(result, static_cast<std::uint32_t>(code)).key);
    }
    return keys;
}

TEST(TuiInputTest, DecodesTheKeysTheDialogUsesAndPassesCharactersOn) {
    using K = EKey;
    // Past Unicode is no character (it must not wrap round to a digit).
    EXPECT_EQ(Decoded(OK, {9, 13, 10, 27, 127, 8, 0x110030}),
              (std::vector<K>{K::kTab, K::kEnter, K::kEnter, K::kEscape, K::kBackspace,
                              K::kBackspace, K::kNone}));
    // A paste end without its start and keys of no use to the dialog are none.
    EXPECT_EQ(Decoded(KEY_CODE_YES,
                      {KEY_BTAB, KEY_ENTER, KEY_BACKSPACE, KEY_DC, KEY_UP, KEY_DOWN, KEY_F(1),
                       KEY_RESIZE, KEY_MOUSE, PasteBeginKey(), PasteEndKey(), KEY_F(5)}),
              (std::vector<K>{K::kBackTab, K::kEnter, K::kBackspace, K::kDelete, K::kUp, K::kDown,
                              K::kAbout, K::kResize, K::kMouse, K::kPaste, K::kNone, K::kNone}));
    EXPECT_EQ(Decoded(ERR, {0}), std::vector<K>{K::kIdle});
    // A paste keeps ASCII and marks the rest.
    EXPECT_EQ(PasteBytes(L"a1b2"), "a1b2");
    EXPECT_EQ(PasteBytes(L"１2\né"), "?2\n?");
}

// Only controls are tab stops and take clicks.
TEST(TuiLayoutTest, OnlyControlsAreTabStopsAndTakeClicks) {
    const CDialogLayout layout = CDialogLayout::MainDialog(ELanguage::kJapanese);
    const std::vector<int> ids{IDOK, IDCANCEL, IDC_TARGET_ID, IDC_NORMAL, IDC_READONLY};
    EXPECT_EQ(layout.TabStops(), ids);
    // From nowhere (before the first focus): the first tab stop.
    EXPECT_EQ(layout.NextTabStop(0, true), IDOK);
    EXPECT_EQ(layout.NextTabStop(-1, false), IDOK);
    // The label, a group box's frame, the empty client and the outside.
    for (const auto& [col, row] : {std::pair{6, 2}, {2, 1}, {0, 0}, {-1, -1}, {1000, 1000}}) {
        EXPECT_EQ(layout.ControlAt(col, row), std::nullopt) << col << "," << row;
    }
    // A field too narrow for its parts still gives no negative width.
    EXPECT_GE(CDialogLayout::FieldText(CellRect{5, 0, 6, 1}).Width(), 0);
}

InputEvent Click(EMouse what, const ModalButton& on) {
    return InputEvent::Mouse(what, on.cells.left + 1, on.cells.top);
}

TEST(TuiMessageBoxTest, KeysAndTheMouseAnswerAsTheSystemsBoxesDo) {
    CMessageBoxModel box(Text::kAskSwitchToMass.japanese, MB_YESNO, TestWidth,
                         ELanguage::kJapanese);
    ASSERT_EQ(box.Row().Buttons().size(), 2u);
    const ModalButton yes = box.Row().Buttons()[0];
    const ModalButton no = box.Row().Buttons()[1];
    EXPECT_EQ(yes.label + L"/" + no.label, L"はい/いいえ");
    EXPECT_EQ(box.Caption(), L"ミルトパ マスストレージ ツール");
    // In order: the answer to each event, and the button with the focus after.
    const std::tuple<InputEvent, std::optional<int>, int> steps[] = {
        {InputEvent::Key(EKey::kEscape), std::nullopt, IDYES},  // nothing to cancel
        {InputEvent::Key(EKey::kTab), std::nullopt, IDNO},
        {InputEvent::Key(EKey::kRight), std::nullopt, IDYES},  // wraps
        {InputEvent::Key(EKey::kEnter), IDYES, IDYES},
        {InputEvent::Key(EKey::kLeft), std::nullopt, IDNO},
        {InputEvent::Char(L' '), IDNO, IDNO},
        {InputEvent::Char(L'y'), IDYES, IDNO},
        {InputEvent::Char(L'N'), IDNO, IDNO},
        {InputEvent::Char(L'x'), std::nullopt, IDNO},
        {InputEvent::Key(EKey::kTab), std::nullopt, IDYES},
        {InputEvent::Key(EKey::kHangUp), IDNO, IDYES},  // a gone terminal never says yes
        // The mouse answers only when let go on the button it pressed.
        {Click(EMouse::kPress, no), std::nullopt, IDNO},
        {Click(EMouse::kRelease, yes), std::nullopt, IDNO},
        {Click(EMouse::kPress, no), std::nullopt, IDNO},
        {Click(EMouse::kRelease, no), IDNO, IDNO},
    };
    for (const auto& [event, answer, focus] : steps) {
        EXPECT_EQ(box.OnEvent(event), answer);
        EXPECT_EQ(box.Row().FocusedId(), focus);
    }
    EXPECT_EQ(CMessageBoxModel::AnswerWithoutUser(MB_YESNO | MB_ICONQUESTION), IDNO);
    // An OK box closes on Enter, Space, Escape or a hang-up, and on nothing
    // else; so does the About box.
    for (const InputEvent& event :
         {InputEvent::Key(EKey::kEnter), InputEvent::Char(L' '), InputEvent::Key(EKey::kEscape),
          InputEvent::Key(EKey::kHangUp), InputEvent::Char(L'y'), InputEvent::Key(EKey::kIdle)}) {
        CMessageBoxModel ok(Text::kSwitchedToMass.english, MB_OK, TestWidth, ELanguage::kEnglish);
        const bool closes = event.key != EKey::kIdle && event.ch != L'y';
        EXPECT_EQ(ok.OnEvent(event), closes ? std::optional<int>(IDOK) : std::nullopt);
        EXPECT_EQ(CAboutBoxModel(ELanguage::kJapanese).OnEvent(event), closes)
            << static_cast<int>(event.key);
    }
    EXPECT_EQ(CAboutBoxModel(ELanguage::kJapanese).Row().Buttons().at(0).label, L"OK");
}

TEST(TuiMessageBoxTest, BoxesHoldTheirTextAndButtonFacesTheirWidth) {
    CMessageBoxModel box(Text::kPortNotFound.japanese, MB_OK | MB_ICONEXCLAMATION, TestWidth,
                         ELanguage::kJapanese);
    ASSERT_EQ(box.Lines().size(), 2u);
    EXPECT_EQ(box.Icon(), L"(!)");
    const BoxFrame pinned = CenterBox(40, 6, 20, 4);  // a screen too small
    EXPECT_EQ(std::pair(pinned.left, pinned.top), std::pair(0, 0));
    // Too narrow, the label is cut, never the brackets' width exceeded.
    EXPECT_EQ(ButtonFace(L"OK", 8, TestWidth), L"[  OK  ]");
    EXPECT_EQ(ButtonFace(L"はい", 9, TestWidth), L"[ はい  ]");
    EXPECT_EQ(ButtonFace(L"いいえ", 5, TestWidth), L"[い ]");
    EXPECT_EQ(ButtonFace(L"x", 1, TestWidth), L"[");
    EXPECT_EQ(ButtonFace(L"x", 0, TestWidth), L"");
}

// On the smallest screen (72 x 19: the dialog, its frame and three lines of
// hints) every text of both languages fits its place uncut: the captions,
// the controls' texts inside their decorations, the hint lines, and each
// box (long texts wrapped) inside the dialog's area.
TEST(TuiLayoutTest, EveryTextFitsItsPlaceInBothLanguages) {
    constexpr int kColumns = 72;
    const auto width = [](const std::string& cp932) {
        return TextWidth(StripMnemonic(ScreenText(cp932)), TestWidth);
    };
    for (const ELanguage language : {ELanguage::kJapanese, ELanguage::kEnglish}) {
        SCOPED_TRACE(static_cast<int>(language));
        const CDialogLayout dialog = CDialogLayout::MainDialog(language);
        ASSERT_EQ(dialog.Width() + 2, kColumns);
        for (const CDialogLayout& layout : {dialog, CDialogLayout::AboutBox(language)}) {
            EXPECT_LE(width(layout.Caption()), layout.Width()) << layout.Caption();
            for (const LaidItem& laid : layout.Items()) {
                const EItemKind kind = laid.item.kind;
                const int frame =
                    kind == EItemKind::kText                                              ? 0
                    : kind == EItemKind::kPushButton || kind == EItemKind::kDefPushButton ? 2
                                                                                          : 4;
                if (laid.item.text != nullptr) {
                    EXPECT_LE(width(laid.item.text), laid.cells.Width() - frame) << laid.item.text;
                }
            }
        }
        for (const CText* hint : {&Text::kTuiKeyHint, &Text::kTuiCloseKeyHint,
                                  &Text::kTuiQuestionKeyHint, &Text::kTuiBusy}) {
            EXPECT_LE(width(hint->In(language)), kColumns) << hint->In(language);
        }
        EXPECT_LE(
            width(Ui::FillIn(Text::kTuiAboutKey.In(language), Text::kAboutMenuItem.In(language))),
            kColumns);
        // Any text but the help could stand in a box; the rights message
        // is put together from several.
        std::vector<std::string> boxTexts = {Linux::RightsMessage(
            {{false, {"/dev/ttyACM10", "/dev/ttyACM11"}, "dialout"}, {true, {"/dev/sg10"}, "disk"}},
            language)};
        for (const CNamedText& entry : Text::kAll) {
            if (std::string(entry.name) != "kTuiUsage") {
                boxTexts.push_back(entry.text.In(language));
            }
        }
        for (const std::string& text : boxTexts) {
            const CMessageBoxModel box(text, MB_YESNO | MB_ICONEXCLAMATION, TestWidth, language);
            EXPECT_LE(box.ClientWidth(), dialog.Width()) << text;
            EXPECT_LE(box.ClientHeight(), dialog.Height()) << text;
        }
    }
}

}  // namespace
}  // namespace Tolvane::Tui
