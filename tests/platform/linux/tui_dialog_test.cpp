// The terminal dialog's model driven by key and mouse events, on the
// virtual PC in virtual time.
#include "platform/linux/tui/tui_dialog.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "app/resource_ids.h"
#include "platform/sim/virtual_pc.h"
#include "tolvane_texts.h"

namespace Tolvane {
namespace Tui {
namespace {

class CScriptedBoxes : public CMessageBoxes {
public:
    struct Shown {
        std::string text;
        UINT type;
    };
    std::vector<Shown> shown;
    std::deque<int> answers;  // for the Yes/No boxes, in order

    int MessageBox(const char* text, UINT type) override {
        shown.push_back(Shown{text, type});
        if ((type & MB_TYPEMASK) != MB_YESNO) {
            return IDOK;
        }
        if (answers.empty()) {
            ADD_FAILURE() << "unexpected question";
            return IDNO;
        }
        const int answer = answers.front();
        answers.pop_front();
        return answer;
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const Shown& s : shown) {
            texts.push_back(s.text);
        }
        return texts;
    }
};

class CRecordingShell : public CTerminalShell {
public:
    int bells = 0;
    int aboutBoxes = 0;
    std::vector<bool> busyAtRefresh;
    const CTerminalDialog* dialog = nullptr;

    void Bell() override { ++bells; }
    void RunAboutBox() override { ++aboutBoxes; }
    void Refresh() override { busyAtRefresh.push_back(dialog->Busy()); }
};

InputEvent Key(EKey key) {
    return InputEvent::Key(key);
}

class TuiDialogTest : public ::testing::Test {
protected:
    explicit TuiDialogTest(Sim::VirtualPcConfig config = {}) : pc(config) {
        shell.dialog = &dialog;
    }

    void Type(const std::string& text) {
        for (char c : text) {
            dialog.OnEvent(InputEvent::Char(static_cast<wchar_t>(c)));
        }
    }
    void FocusField() {
        while (dialog.Focus() != IDC_TARGET_ID) {
            dialog.OnEvent(Key(EKey::kTab));
        }
    }
    CellRect Cells(int id) const { return dialog.Layout().Find(id)->cells; }
    void Click(int col, int row) {
        dialog.OnEvent(InputEvent::Mouse(EMouse::kPress, col, row));
        dialog.OnEvent(InputEvent::Mouse(EMouse::kRelease, col, row));
    }
    void ClickOn(int id) { Click(Cells(id).left + 1, Cells(id).top); }
    const std::string& FieldText() const { return dialog.Field().Text(); }

    Sim::CVirtualPC pc;
    CScriptedBoxes boxes;
    CRecordingShell shell;
    std::uint64_t now = 1000;
    CTerminalDialog dialog{pc, boxes, shell, [this] { return now; }};
};

TEST_F(TuiDialogTest, OpensWithTheFirstTabStopFocusedAndTheDefaultsSet) {
    dialog.Start();
    EXPECT_FALSE(dialog.IsEnded());
    EXPECT_EQ(dialog.Focus(), IDOK);
    EXPECT_EQ(dialog.EnterTarget(), IDOK);
    EXPECT_EQ(FieldText(), "0");
    EXPECT_TRUE(dialog.ReadOnlyChecked());
    EXPECT_EQ(dialog.AboutItem(), Text::kAboutMenuItem);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(TuiDialogTest, EnterSwitchesToMassStorageAndTheSecondButtonReturns) {
    dialog.Start();
    boxes.answers = {IDYES};
    dialog.OnEvent(Key(EKey::kEnter));
    EXPECT_EQ(boxes.Texts(),
              (std::vector<std::string>{Text::kAskSwitchToMass, Text::kSwitchedToMass}));
    EXPECT_EQ(pc.AdapterState(), Sim::EAdapterState::kMassStorage);
    EXPECT_EQ(pc.Adapter().Target(), 0);
    EXPECT_FALSE(pc.Adapter().Writable());
    // The operation shows itself busy while it runs, and not after.
    EXPECT_EQ(shell.busyAtRefresh, (std::vector<bool>{true, false}));
    EXPECT_FALSE(dialog.IsEnded());

    boxes.shown.clear();
    boxes.answers = {IDYES};
    for (int i = 0; i < 3; ++i) {
        dialog.OnEvent(Key(EKey::kTab));
    }
    ASSERT_EQ(dialog.Focus(), IDC_NORMAL);
    EXPECT_EQ(dialog.EnterTarget(), IDC_NORMAL);
    dialog.OnEvent(Key(EKey::kEnter));
    EXPECT_EQ(boxes.Texts(),
              (std::vector<std::string>{Text::kAskReturnToNormal, Text::kReturnedToNormal}));
    EXPECT_EQ(pc.AdapterState(), Sim::EAdapterState::kNormal);
    EXPECT_TRUE(pc.AllReleased()) << pc.LeakReport();
}

TEST_F(TuiDialogTest, TargetAndModeComeFromTheFieldAndTheCheckBox) {
    dialog.Start();
    FocusField();
    Type("4");
    // Space on the check box unticks it: a writable target.
    while (dialog.Focus() != IDC_READONLY) {
        dialog.OnEvent(Key(EKey::kTab));
    }
    dialog.OnEvent(InputEvent::Char(L' '));
    EXPECT_FALSE(dialog.ReadOnlyChecked());
    // Enter from the check box goes to the default button.
    EXPECT_EQ(dialog.EnterTarget(), IDOK);
    boxes.answers = {IDYES};
    dialog.OnEvent(Key(EKey::kEnter));
    EXPECT_EQ(pc.Adapter().Target(), 4);
    EXPECT_TRUE(pc.Adapter().Writable());
    EXPECT_EQ(pc.BytesReceived(3), (Sim::CVirtualPC::Bytes{0x76, 0x78, 0xB4}));
}

TEST_F(TuiDialogTest, AnsweringNoChangesNothing) {
    dialog.Start();
    boxes.answers = {IDNO};
    dialog.OnEvent(InputEvent::Char(L' '));  // Space presses the focused 実行
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{Text::kAskSwitchToMass});
    EXPECT_EQ(pc.AdapterState(), Sim::EAdapterState::kNormal);
}

TEST_F(TuiDialogTest, TabAndShiftTabWalkTheTabOrder) {
    dialog.Start();
    std::vector<int> forward;
    for (int i = 0; i < 5; ++i) {
        dialog.OnEvent(Key(EKey::kTab));
        forward.push_back(dialog.Focus());
    }
    EXPECT_EQ(forward, (std::vector<int>{IDCANCEL, IDC_TARGET_ID, IDC_NORMAL, IDC_READONLY, IDOK}));
    dialog.OnEvent(Key(EKey::kBackTab));
    EXPECT_EQ(dialog.Focus(), IDC_READONLY);
}

TEST_F(TuiDialogTest, FieldRefusesWhatIsNotANumberAndCutsToTheRange) {
    dialog.Start();
    FocusField();
    // The keyboard brings the focus with the whole text selected.
    EXPECT_EQ(dialog.Field().GetSel().start, 0);
    EXPECT_EQ(dialog.Field().GetSel().end, 1);
    Type("9");
    EXPECT_EQ(FieldText(), "6");
    EXPECT_EQ(dialog.Field().Beeps(), std::vector<UINT>{MB_ICONASTERISK});
    Type("a- ");
    EXPECT_EQ(FieldText(), "6");
    EXPECT_EQ(shell.bells, 4);
    // Ctrl+V has no clipboard to read and leaves the text alone.
    dialog.OnEvent(Key(EKey::kHome));
    dialog.OnEvent(InputEvent::Char(22));
    EXPECT_EQ(FieldText(), "6");
}

TEST_F(TuiDialogTest, EditingKeysWorkOnTheFieldsText) {
    dialog.Start();
    FocusField();
    Type("005");
    EXPECT_EQ(FieldText(), "005");
    dialog.OnEvent(Key(EKey::kHome));
    dialog.OnEvent(Key(EKey::kDelete));
    EXPECT_EQ(FieldText(), "05");
    dialog.OnEvent(Key(EKey::kEnd));
    dialog.OnEvent(Key(EKey::kDelete));  // nothing after the caret
    EXPECT_EQ(FieldText(), "05");
    dialog.OnEvent(Key(EKey::kLeft));
    dialog.OnEvent(Key(EKey::kBackspace));
    EXPECT_EQ(FieldText(), "5");
    dialog.OnEvent(Key(EKey::kRight));
    dialog.OnEvent(Key(EKey::kRight));
    EXPECT_EQ(dialog.Field().GetSel().end, 1);
    EXPECT_TRUE(dialog.Field().Beeps().empty());
}

TEST_F(TuiDialogTest, LeavingTheFieldTidiesItsText) {
    dialog.Start();
    FocusField();
    Type("005");
    dialog.OnEvent(Key(EKey::kTab));
    EXPECT_EQ(FieldText(), "5");
    EXPECT_TRUE(dialog.Field().Beeps().empty());
    // An empty field stays empty and the switch then takes target 0.
    dialog.OnEvent(Key(EKey::kBackTab));
    dialog.OnEvent(Key(EKey::kBackspace));
    EXPECT_EQ(FieldText(), "");
    boxes.answers = {IDYES};
    ClickOn(IDOK);  // the click takes the focus, and the field loses it
    EXPECT_EQ(FieldText(), "");
    EXPECT_EQ(dialog.Focus(), IDOK);
    EXPECT_EQ(pc.Adapter().Target(), 0);
}

TEST_F(TuiDialogTest, ArrowKeysStepTheFieldAndAccelerateWhenHeld) {
    dialog.Start();
    FocusField();
    dialog.OnEvent(Key(EKey::kUp));
    EXPECT_EQ(FieldText(), "1");
    dialog.OnEvent(Key(EKey::kDown));
    dialog.OnEvent(Key(EKey::kDown));  // at the minimum: nothing
    EXPECT_EQ(FieldText(), "0");
    // Held down at 0 for two seconds, repeating every 100 ms: nothing moves.
    // A 6 typed in meanwhile (the range is too small to watch a held key
    // otherwise) then drops by the accelerated step of 5, to 0 where a
    // single step would have left 5.
    now += CSpinRepeat::kRepeatGapMs + 1;
    for (int i = 0; i < 20; ++i, now += 100) {
        dialog.OnEvent(Key(EKey::kDown));
    }
    EXPECT_EQ(FieldText(), "0");
    dialog.OnEvent(Key(EKey::kBackspace));
    dialog.OnEvent(Key(EKey::kDelete));
    Type("6");
    ASSERT_EQ(FieldText(), "6");
    dialog.OnEvent(Key(EKey::kDown));
    EXPECT_EQ(FieldText(), "0");
    // Let go and pressed again: a single step.
    now += CSpinRepeat::kRepeatGapMs + 1;
    Type("6");
    dialog.OnEvent(Key(EKey::kDown));
    EXPECT_EQ(FieldText(), "5");
}

TEST_F(TuiDialogTest, ArrowKeysLeaveOtherControlsAlone) {
    dialog.Start();
    dialog.OnEvent(Key(EKey::kUp));
    dialog.OnEvent(InputEvent::Char(L'7'));
    EXPECT_EQ(FieldText(), "0");
    EXPECT_EQ(dialog.Focus(), IDOK);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(TuiDialogTest, MouseOnTheSpinAndTheWheelStepTheField) {
    dialog.Start();
    const CellRect field = Cells(IDC_TARGET_ID);
    // Down at 0 does nothing, and takes no focus.
    dialog.OnEvent(
        InputEvent::Mouse(EMouse::kPress, CDialogLayout::SpinDownColumn(field), field.top));
    EXPECT_EQ(FieldText(), "0");
    EXPECT_EQ(dialog.Focus(), IDOK);
    // Up steps and brings the focus to the field.
    dialog.OnEvent(
        InputEvent::Mouse(EMouse::kPress, CDialogLayout::SpinUpColumn(field), field.top));
    EXPECT_EQ(FieldText(), "1");
    EXPECT_EQ(dialog.Focus(), IDC_TARGET_ID);
    dialog.OnEvent(InputEvent::Mouse(EMouse::kWheelUp, field.left + 1, field.top));
    EXPECT_EQ(FieldText(), "2");
    dialog.OnEvent(InputEvent::Mouse(EMouse::kWheelDown, field.left + 1, field.top));
    EXPECT_EQ(FieldText(), "1");
    // The wheel elsewhere does nothing.
    dialog.OnEvent(InputEvent::Mouse(EMouse::kWheelUp, 0, 0));
    EXPECT_EQ(FieldText(), "1");
}

TEST_F(TuiDialogTest, ClicksFocusAndPressOnRelease) {
    dialog.Start();
    // A click in the field's text puts the caret there.
    Type("");
    FocusField();
    Type("12");  // cut to 6
    const CellRect text = CDialogLayout::FieldText(Cells(IDC_TARGET_ID));
    dialog.OnEvent(Key(EKey::kTab));
    Click(text.left, text.top);
    EXPECT_EQ(dialog.Focus(), IDC_TARGET_ID);
    EXPECT_EQ(dialog.Field().GetSel().end, 0);
    // The check box toggles on a click.
    ClickOn(IDC_READONLY);
    EXPECT_FALSE(dialog.ReadOnlyChecked());
    EXPECT_EQ(dialog.Focus(), IDC_READONLY);
    // Pressed on QUIT and let go elsewhere: nothing, but QUIT has the focus.
    dialog.OnEvent(InputEvent::Mouse(EMouse::kPress, Cells(IDCANCEL).left, Cells(IDCANCEL).top));
    EXPECT_EQ(dialog.Held(), IDCANCEL);
    dialog.OnEvent(InputEvent::Mouse(EMouse::kRelease, 0, 0));
    EXPECT_EQ(dialog.Held(), std::nullopt);
    EXPECT_FALSE(dialog.IsEnded());
    EXPECT_EQ(dialog.Focus(), IDCANCEL);
    // Clicks on the label and the frame do nothing.
    Click(0, 0);
    EXPECT_EQ(dialog.Focus(), IDCANCEL);
    ClickOn(IDCANCEL);
    EXPECT_TRUE(dialog.IsEnded());
    EXPECT_EQ(dialog.Result(), IDCANCEL);
}

TEST_F(TuiDialogTest, PastesAreRecheckedInTheFieldOnly) {
    dialog.Start();
    dialog.OnEvent(InputEvent::Pasted("5"));  // the focus is on a button
    EXPECT_EQ(FieldText(), "0");
    FocusField();
    dialog.OnEvent(Key(EKey::kBackspace));
    dialog.OnEvent(InputEvent::Pasted("a1b2"));
    EXPECT_EQ(FieldText(), "6");
    EXPECT_EQ(dialog.Field().Beeps(), (std::vector<UINT>{0, MB_ICONASTERISK}));
    EXPECT_EQ(shell.bells, 2);
}

TEST_F(TuiDialogTest, LongTextScrollsToKeepTheCaretInSight) {
    dialog.Start();
    FocusField();
    const int width = CDialogLayout::FieldText(Cells(IDC_TARGET_ID)).Width();
    Type(std::string(static_cast<std::size_t>(width) + 4, '0'));
    const int caret = dialog.Field().GetSel().end;
    EXPECT_EQ(caret, width + 4);
    EXPECT_GT(dialog.FieldScroll(), 0);
    EXPECT_GE(caret, dialog.FieldScroll());
    EXPECT_LT(caret, dialog.FieldScroll() + width);
    dialog.OnEvent(Key(EKey::kHome));
    EXPECT_EQ(dialog.FieldScroll(), 0);
}

TEST_F(TuiDialogTest, EscapeQuitAndAHangUpEndTheDialog) {
    dialog.Start();
    dialog.OnEvent(Key(EKey::kEscape));
    EXPECT_TRUE(dialog.IsEnded());
    EXPECT_EQ(dialog.Result(), IDCANCEL);
    // Nothing reaches an ended dialog.
    dialog.OnEvent(Key(EKey::kEnter));
    EXPECT_TRUE(boxes.shown.empty());

    CTerminalDialog other(pc, boxes, shell, [] { return 0; });
    other.Start();
    other.OnEvent(Key(EKey::kTab));
    other.OnEvent(Key(EKey::kEnter));  // Enter on QUIT is QUIT
    EXPECT_TRUE(other.IsEnded());

    CTerminalDialog third(pc, boxes, shell, [] { return 0; });
    third.Start();
    third.OnEvent(Key(EKey::kHangUp));
    EXPECT_EQ(third.Result(), IDCANCEL);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(TuiDialogTest, AboutKeyOpensTheAboutBox) {
    dialog.Start();
    FocusField();
    dialog.OnEvent(Key(EKey::kAbout));
    EXPECT_EQ(shell.aboutBoxes, 1);
    EXPECT_EQ(FieldText(), "0");
}

class TuiDialogWithoutRightsTest : public TuiDialogTest {
protected:
    static Sim::VirtualPcConfig NoRights() {
        Sim::VirtualPcConfig config;
        config.administrator = false;
        return config;
    }
    TuiDialogWithoutRightsTest() : TuiDialogTest(NoRights()) {}
};

TEST_F(TuiDialogWithoutRightsTest, SaysSoOnceAndEnds) {
    dialog.Start();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, Text::kNeedAdmin);
    EXPECT_EQ(boxes.shown[0].type, MB_OK | MB_ICONEXCLAMATION);
    EXPECT_TRUE(dialog.IsEnded());
    EXPECT_EQ(dialog.Result(), IDOK);
    dialog.OnEvent(Key(EKey::kEnter));
    EXPECT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(pc.AdapterState(), Sim::EAdapterState::kNormal);
}

}  // namespace
}  // namespace Tui
}  // namespace Tolvane
