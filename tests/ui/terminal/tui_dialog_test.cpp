// The terminal dialog's model driven by key and mouse events, on the
// virtual PC in virtual time.
#include "ui/terminal/tui_dialog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/resource_ids.h"
#include "platform/sim/virtual_pc.h"
#include "tolvane_texts.h"

namespace Tolvane {
namespace Tui {
namespace {

// Message boxes and the terminal's shell, recorded.
class CRecorder : public CMessageBoxes, public CTerminalShell {
public:
    std::vector<std::string> texts;
    int answer = IDYES;  // to every question
    int bells = 0;
    std::vector<bool> busyAtRefresh;
    const CTerminalDialog* dialog = nullptr;

    int MessageBox(const char* text, UINT type) override {
        return texts.push_back(text), (type & MB_TYPEMASK) == MB_YESNO ? answer : IDOK;
    }
    void Bell() override { ++bells; }
    void RunAboutBox() override {}
    void Refresh() override { busyAtRefresh.push_back(dialog->Busy()); }
};

class TuiDialogTest : public ::testing::Test {
protected:
    TuiDialogTest() {
        rec.dialog = &dialog;
        dialog.Start();
    }

    // Keys in one letter each: T Tab, B Shift+Tab, H Home, E End, L Left,
    // R Right, X Delete, K Backspace, U Up, D Down, ^ Ctrl+V, A the About
    // key, N Enter, Q Escape, P a paste of "x3"; anything else is typed.
    void Keys(const std::string& keys) {
        static const std::map<char, EKey> named = {
            {'T', EKey::kTab},    {'B', EKey::kBackTab},   {'H', EKey::kHome},
            {'E', EKey::kEnd},    {'L', EKey::kLeft},      {'R', EKey::kRight},
            {'X', EKey::kDelete}, {'K', EKey::kBackspace}, {'U', EKey::kUp},
            {'D', EKey::kDown},   {'A', EKey::kAbout},     {'N', EKey::kEnter},
            {'Q', EKey::kEscape}};
        for (char c : keys) {
            const auto key = named.find(c);
            dialog.OnEvent(c == 'P'             ? InputEvent::Pasted("x3")
                           : key != named.end() ? InputEvent::Key(key->second)
                                                : InputEvent::Char(c == '^' ? 22 : c));
        }
    }
    // The dialog in one line: the control with the focus, the field with its
    // caret (|) or selection ([...]) and how far it is scrolled (@n), "ro"
    // while read-only is ticked, "held" while the mouse holds a button down.
    std::string State() const {
        const int id = dialog.Focus();
        const std::string names[] = {"ok", "quit", "id", "normal", "check"};
        const std::string focus = names[id == IDOK       ? 0
                                        : id == IDCANCEL ? 1
                                                         : id - IDC_TARGET_ID + 2];
        std::string field = dialog.Field().Text();
        const CFieldSel sel = dialog.Field().GetSel();
        const auto [start, end] = std::minmax(sel.start, sel.end);  // both live in sel
        start == end ? field.insert(start, "|") : field.insert(end, "]").insert(start, "[");
        return focus + " " + field +
               (dialog.FieldScroll() ? " @" + std::to_string(dialog.FieldScroll()) : "") +
               (dialog.ReadOnlyChecked() ? " ro" : "") + (dialog.Held() ? " held" : "");
    }
    // Each step: keys, then the state they leave.
    void Run(const std::vector<std::pair<std::string, std::string>>& steps) {
        for (const auto& [keys, state] : steps) {
            Keys(keys);
            EXPECT_EQ(State(), state) << keys;
        }
    }
    void Mouse(EMouse what, int id, int col = 0) {
        const CellRect cells = dialog.Layout().Find(id)->cells;
        dialog.OnEvent(InputEvent::Mouse(what, cells.left + col, cells.top));
    }

    Sim::CVirtualPC pc;
    CRecorder rec;
    std::uint64_t now = 1000;
    CTerminalDialog dialog{pc, rec, rec, [this] { return now; }};
};

TEST_F(TuiDialogTest, KeysWalkTheTabOrderPressAndRunBothOperations) {
    rec.answer = IDNO;
    Run({{"", "ok |0 ro"},
         {"T", "quit |0 ro"},
         {"T", "id [0] ro"},
         {"T", "normal [0] ro"},
         {"T", "check [0] ro"},
         {"T", "ok [0] ro"},
         {"B", "check [0] ro"},
         {"T ", "ok [0] ro"},  // Space presses the focused 実行: the question, answered no
         {"TT4TT ", "check 4|"},
         {" ", "check 4| ro"},
         {" ", "check 4|"}});
    rec.answer = IDYES;
    Keys("N");  // from the check box: the default button
    // The declined switch sent only its version query; then target 4, writable.
    EXPECT_EQ(pc.BytesReceived(3), (Sim::CVirtualPC::Bytes{0x76, 0x76, 0x78, 0xB4}));
    Keys("TTTTN");  // the second 実行
    EXPECT_EQ(rec.texts, (std::vector<std::string>{
                             Text::kAskSwitchToMass.japanese, Text::kAskSwitchToMass.japanese,
                             Text::kSwitchedToMass.japanese, Text::kAskReturnToNormal.japanese,
                             Text::kReturnedToNormal.japanese}));
    // Each operation shows itself busy while it runs, and not after.
    EXPECT_EQ(rec.busyAtRefresh, (std::vector<bool>{true, false, true, false, true, false}));
}

TEST_F(TuiDialogTest, TheFieldEditsOnlyWithTheFocus) {
    const int width = CDialogLayout::FieldText(dialog.Layout().Find(IDC_TARGET_ID)->cells).Width();
    const std::string zeros(static_cast<std::size_t>(width) + 4, '0');
    // The keyboard brings the focus with the text selected; Ctrl+V has no
    // clipboard to read; a 9 is cut to the range; a paste is checked like
    // typing; leaving tidies the text.
    Run({{"PU7", "ok |0 ro"},
         {"TT", "id [0] ro"},
         {"^", "id [0] ro"},
         {"9", "id 6| ro"},
         {"KP", "id 3| ro"},
         {"K005", "id 005| ro"},
         {"HX", "id |05 ro"},
         {"EX", "id 05| ro"},  // nothing after the caret
         {"LK", "id |5 ro"},
         {"RR", "id 5| ro"},
         {"H" + zeros, "id " + zeros + "|5 @5 ro"},
         {"H", "id |" + zeros + "5 ro"},
         {"T", "normal |5 ro"}});
    // The 9 cut to the range, the x refused.
    EXPECT_EQ(dialog.Field().Beeps(), (std::vector<UINT>{MB_ICONASTERISK, 0}));
    EXPECT_EQ(rec.bells, 2);
}

TEST_F(TuiDialogTest, ArrowKeysStepTheField) {
    Run({{"TTUUD", "id |1 ro"}, {"DD", "id |0 ro"}});  // at the minimum: nothing
}

TEST_F(TuiDialogTest, MouseStepsTheFieldFocusesAndPressesOnRelease) {
    const CellRect field = dialog.Layout().Find(IDC_TARGET_ID)->cells;
    const int up = CDialogLayout::SpinUpColumn(field) - field.left;
    // Each step: what the mouse did, then the state it leaves.
    const std::pair<std::function<void()>, std::string> steps[] = {
        {[&] { Mouse(EMouse::kPress, IDC_TARGET_ID, up); }, "id |1 ro"},  // a step focuses
        {[&] { Mouse(EMouse::kWheelUp, IDC_TARGET_ID, 1); }, "id |2 ro"},
        {[&] { Keys("E"), Mouse(EMouse::kPress, IDC_TARGET_ID, 1); }, "id |2 ro"},  // the caret
        {[&] { Mouse(EMouse::kPress, IDCANCEL); }, "quit |2 ro held"},
        {[&] { dialog.OnEvent(InputEvent::Mouse(EMouse::kRelease, 0, 0)); }, "quit |2 ro"},
    };
    for (const auto& [act, state] : steps) {
        act();
        EXPECT_EQ(State(), state);
    }
    EXPECT_FALSE(dialog.IsEnded());  // let go elsewhere: not pressed
    Mouse(EMouse::kPress, IDCANCEL);
    Mouse(EMouse::kRelease, IDCANCEL);
    EXPECT_EQ(dialog.Result(), IDCANCEL);
}

TEST_F(TuiDialogTest, EscapeQuitOrAHangUpEndItAndNothingReachesItAfter) {
    for (const std::vector<EKey>& keys :
         {std::vector<EKey>{EKey::kEscape}, {EKey::kTab, EKey::kEnter}, {EKey::kHangUp}}) {
        CTerminalDialog ending(pc, rec, rec, [] { return 0; });
        ending.Start();
        for (EKey key : keys) {
            ending.OnEvent(InputEvent::Key(key));
        }
        EXPECT_EQ(ending.Result(), IDCANCEL) << keys.size();
        // Were it still alive, these would ask to switch.
        ending.OnEvent(InputEvent::Key(EKey::kBackTab));
        ending.OnEvent(InputEvent::Key(EKey::kEnter));
    }
    EXPECT_TRUE(rec.texts.empty());
}

}  // namespace
}  // namespace Tui
}  // namespace Tolvane
