// The terminal dialog's model driven by key and mouse events, on the
// virtual PC in virtual time.
#include "platform/linux/tui/tui_dialog.h"

#include <gtest/gtest.h>

#include <initializer_list>
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
    std::vector<std::string> texts;
    int answer = IDYES;  // to every question

    int MessageBox(const char* text, UINT type) override {
        texts.push_back(text);
        return (type & MB_TYPEMASK) == MB_YESNO ? answer : IDOK;
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

class TuiDialogTest : public ::testing::Test {
protected:
    TuiDialogTest() {
        shell.dialog = &dialog;
        dialog.Start();
    }

    void Keys(std::initializer_list<EKey> keys) {
        for (EKey key : keys) {
            dialog.OnEvent(InputEvent::Key(key));
        }
    }
    void Type(const std::string& text) {
        for (char c : text) {
            dialog.OnEvent(InputEvent::Char(static_cast<wchar_t>(c)));
        }
    }
    void FocusOn(int id) {
        for (int i = 0; i < 5 && dialog.Focus() != id; ++i) {
            Keys({EKey::kTab});
        }
        ASSERT_EQ(dialog.Focus(), id);
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

TEST_F(TuiDialogTest, OpensOnTheFirstTabStopAndTabWalksTheTemplateOrder) {
    std::vector<int> focus;
    for (EKey key : {EKey::kNone, EKey::kTab, EKey::kTab, EKey::kTab, EKey::kTab, EKey::kTab,
                     EKey::kBackTab}) {
        Keys({key});
        focus.push_back(dialog.Focus());
    }
    EXPECT_EQ(focus, (std::vector<int>{IDOK, IDCANCEL, IDC_TARGET_ID, IDC_NORMAL, IDC_READONLY,
                                       IDOK, IDC_READONLY}));
}

TEST_F(TuiDialogTest, SwitchesWithTheFieldAndCheckBoxThenReturnsOnTheVirtualPc) {
    boxes.answer = IDNO;
    dialog.OnEvent(InputEvent::Char(L' '));  // Space presses the focused 実行
    EXPECT_EQ(boxes.texts, std::vector<std::string>{Text::kAskSwitchToMass});
    EXPECT_EQ(pc.AdapterState(), Sim::EAdapterState::kNormal);

    FocusOn(IDC_TARGET_ID);
    Type("4");
    FocusOn(IDC_READONLY);
    dialog.OnEvent(InputEvent::Char(L' '));  // unticked: a writable target
    EXPECT_FALSE(dialog.ReadOnlyChecked());
    EXPECT_EQ(dialog.EnterTarget(), IDOK);  // Enter from the check box: the default button
    boxes.texts.clear();
    boxes.answer = IDYES;
    Keys({EKey::kEnter});
    EXPECT_EQ(boxes.texts,
              (std::vector<std::string>{Text::kAskSwitchToMass, Text::kSwitchedToMass}));
    EXPECT_EQ(pc.AdapterState(), Sim::EAdapterState::kMassStorage);
    EXPECT_EQ(pc.Adapter().Target(), 4);
    EXPECT_TRUE(pc.Adapter().Writable());
    // The declined switch sent only its version query.
    EXPECT_EQ(pc.BytesReceived(3), (Sim::CVirtualPC::Bytes{0x76, 0x76, 0x78, 0xB4}));
    EXPECT_FALSE(dialog.IsEnded());

    FocusOn(IDC_NORMAL);
    EXPECT_EQ(dialog.EnterTarget(), IDC_NORMAL);
    boxes.texts.clear();
    Keys({EKey::kEnter});
    EXPECT_EQ(boxes.texts,
              (std::vector<std::string>{Text::kAskReturnToNormal, Text::kReturnedToNormal}));
    EXPECT_EQ(pc.AdapterState(), Sim::EAdapterState::kNormal);
    // Each operation shows itself busy while it runs, and not after.
    EXPECT_EQ(shell.busyAtRefresh, (std::vector<bool>{true, false, true, false, true, false}));
    EXPECT_TRUE(pc.AllReleased()) << pc.LeakReport();
}

TEST_F(TuiDialogTest, FieldTakesKeysAndPastesOnlyWithTheFocus) {
    Keys({EKey::kUp});
    dialog.OnEvent(InputEvent::Char(L'7'));
    dialog.OnEvent(InputEvent::Pasted("5"));
    EXPECT_EQ(FieldText(), "0");
    EXPECT_EQ(dialog.Focus(), IDOK);
    EXPECT_TRUE(boxes.texts.empty());

    FocusOn(IDC_TARGET_ID);
    // The keyboard brings the focus with the whole text selected.
    EXPECT_EQ(dialog.Field().GetSel().start, 0);
    EXPECT_EQ(dialog.Field().GetSel().end, 1);
    Type("9");  // cut to the range, and the field's beep rings the bell
    EXPECT_EQ(FieldText(), "6");
    EXPECT_EQ(dialog.Field().Beeps(), std::vector<UINT>{MB_ICONASTERISK});
    EXPECT_EQ(shell.bells, 1);
    // Ctrl+V has no clipboard to read and leaves the text alone.
    Keys({EKey::kHome});
    dialog.OnEvent(InputEvent::Char(22));
    EXPECT_EQ(FieldText(), "6");
    Keys({EKey::kEnd, EKey::kBackspace});
    dialog.OnEvent(InputEvent::Pasted("x3"));  // rechecked as typed
    EXPECT_EQ(FieldText(), "3");
    EXPECT_EQ(shell.bells, 2);
}

TEST_F(TuiDialogTest, EditingKeysScrollingAndLeavingTheField) {
    FocusOn(IDC_TARGET_ID);
    Type("005");
    Keys({EKey::kHome, EKey::kDelete});
    EXPECT_EQ(FieldText(), "05");
    Keys({EKey::kEnd, EKey::kDelete});  // nothing after the caret
    EXPECT_EQ(FieldText(), "05");
    Keys({EKey::kLeft, EKey::kBackspace});
    EXPECT_EQ(FieldText(), "5");
    Keys({EKey::kRight, EKey::kRight});
    EXPECT_EQ(dialog.Field().GetSel().end, 1);
    EXPECT_TRUE(dialog.Field().Beeps().empty());

    // A text wider than the field scrolls to keep the caret in sight.
    const int width = CDialogLayout::FieldText(Cells(IDC_TARGET_ID)).Width();
    Keys({EKey::kHome});
    Type(std::string(static_cast<std::size_t>(width) + 4, '0'));
    const int caret = dialog.Field().GetSel().end;
    EXPECT_EQ(caret, width + 4);
    EXPECT_GT(dialog.FieldScroll(), 0);
    EXPECT_GE(caret, dialog.FieldScroll());
    EXPECT_LT(caret, dialog.FieldScroll() + width);
    Keys({EKey::kHome});
    EXPECT_EQ(dialog.FieldScroll(), 0);

    Keys({EKey::kTab});  // leaving tidies the text
    EXPECT_EQ(FieldText(), "5");
    // An empty field stays empty and the switch then takes target 0.
    Keys({EKey::kBackTab, EKey::kBackspace});
    ClickOn(IDOK);  // the click takes the focus, and the field loses it
    EXPECT_EQ(FieldText(), "");
    EXPECT_EQ(dialog.Focus(), IDOK);
    EXPECT_EQ(pc.Adapter().Target(), 0);
    EXPECT_FALSE(pc.Adapter().Writable());
}

TEST_F(TuiDialogTest, ArrowKeysStepTheFieldAndAccelerateWhenHeld) {
    FocusOn(IDC_TARGET_ID);
    Keys({EKey::kUp});
    EXPECT_EQ(FieldText(), "1");
    Keys({EKey::kDown, EKey::kDown});  // at the minimum: nothing
    EXPECT_EQ(FieldText(), "0");
    // Held down for two seconds at 0, then a 6 typed in (the range is too
    // small to watch a held key otherwise): the accelerated step of 5 takes
    // it to 0, where a single step would have left 5.
    now += CSpinRepeat::kRepeatGapMs + 1;
    for (int i = 0; i < 20; ++i, now += 100) {
        Keys({EKey::kDown});
    }
    Keys({EKey::kBackspace, EKey::kDelete});
    Type("6");
    Keys({EKey::kDown});
    EXPECT_EQ(FieldText(), "0");
}

TEST_F(TuiDialogTest, MouseStepsTheFieldFocusesAndPressesOnRelease) {
    const CellRect field = Cells(IDC_TARGET_ID);
    const auto mouse = [&](EMouse what, int col, int row) {
        dialog.OnEvent(InputEvent::Mouse(what, col, row));
    };
    mouse(EMouse::kPress, CDialogLayout::SpinDownColumn(field), field.top);  // at 0: nothing
    EXPECT_EQ(FieldText(), "0");
    EXPECT_EQ(dialog.Focus(), IDOK);
    mouse(EMouse::kPress, CDialogLayout::SpinUpColumn(field), field.top);  // a step takes focus
    EXPECT_EQ(FieldText(), "1");
    EXPECT_EQ(dialog.Focus(), IDC_TARGET_ID);
    mouse(EMouse::kWheelUp, field.left + 1, field.top);
    EXPECT_EQ(FieldText(), "2");
    mouse(EMouse::kWheelDown, field.left + 1, field.top);
    mouse(EMouse::kWheelUp, 0, 0);  // elsewhere: nothing
    EXPECT_EQ(FieldText(), "1");

    // A click in the field's text puts the caret there, selecting nothing.
    Keys({EKey::kTab});
    const CellRect text = CDialogLayout::FieldText(field);
    Click(text.left, text.top);
    EXPECT_EQ(dialog.Focus(), IDC_TARGET_ID);
    EXPECT_EQ(dialog.Field().GetSel().end, 0);
    ClickOn(IDC_READONLY);
    EXPECT_FALSE(dialog.ReadOnlyChecked());
    EXPECT_EQ(dialog.Focus(), IDC_READONLY);
    // Pressed on QUIT and let go elsewhere: nothing, but QUIT has the focus.
    mouse(EMouse::kPress, Cells(IDCANCEL).left, Cells(IDCANCEL).top);
    EXPECT_EQ(dialog.Held(), IDCANCEL);
    mouse(EMouse::kRelease, 0, 0);
    EXPECT_EQ(dialog.Held(), std::nullopt);
    EXPECT_FALSE(dialog.IsEnded());
    EXPECT_EQ(dialog.Focus(), IDCANCEL);
    Click(0, 0);  // the frame takes no click
    EXPECT_EQ(dialog.Focus(), IDCANCEL);
    ClickOn(IDCANCEL);
    EXPECT_TRUE(dialog.IsEnded());
    EXPECT_EQ(dialog.Result(), IDCANCEL);
}

TEST_F(TuiDialogTest, EscapeQuitAndAHangUpEndTheDialogAndNothingReachesItAfter) {
    const std::vector<std::vector<EKey>> ways = {
        {EKey::kEscape}, {EKey::kTab, EKey::kEnter}, {EKey::kHangUp}};  // Enter on QUIT
    for (const std::vector<EKey>& keys : ways) {
        SCOPED_TRACE(static_cast<int>(keys.front()));
        CTerminalDialog ending(pc, boxes, shell, [] { return 0; });
        ending.Start();
        for (EKey key : keys) {
            ending.OnEvent(InputEvent::Key(key));
        }
        EXPECT_TRUE(ending.IsEnded());
        EXPECT_EQ(ending.Result(), IDCANCEL);
        // Were it still alive, these would ask to switch.
        ending.OnEvent(InputEvent::Key(EKey::kBackTab));
        ending.OnEvent(InputEvent::Key(EKey::kEnter));
    }
    EXPECT_TRUE(boxes.texts.empty());
}

TEST_F(TuiDialogTest, AboutKeyOpensTheAboutBox) {
    EXPECT_EQ(dialog.AboutItem(), Text::kAboutMenuItem);
    FocusOn(IDC_TARGET_ID);
    Keys({EKey::kAbout});
    EXPECT_EQ(shell.aboutBoxes, 1);
    EXPECT_EQ(FieldText(), "0");
}

TEST(TuiDialogWithoutRightsTest, SaysSoOnceAndEnds) {
    Sim::VirtualPcConfig config;
    config.administrator = false;
    Sim::CVirtualPC pc(config);
    CScriptedBoxes boxes;
    CRecordingShell shell;
    CTerminalDialog dialog(pc, boxes, shell, [] { return 0; });
    dialog.Start();
    EXPECT_TRUE(dialog.IsEnded());
    dialog.OnEvent(InputEvent::Key(EKey::kEnter));
    EXPECT_EQ(boxes.texts, std::vector<std::string>{Text::kNeedAdmin});
}

}  // namespace
}  // namespace Tui
}  // namespace Tolvane
