#include "app/numeric_edit.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/memory_edit.h"

namespace Tolvane {
namespace {

constexpr std::int64_t kI64Max = INT64_MAX;
constexpr std::int64_t kI64Min = INT64_MIN;
using Beeps = std::vector<UINT>;

// The in-memory edit control, recording what it otherwise leaves alone: the
// text margins, the timers, and a spin hidden from outside.
class CEdit : public CMemoryEdit {
public:
    int marginLeft = -1;
    int marginRight = -1;
    std::vector<UINT> timers;
    bool spinHidden = false;

    void SetMargins(int left, int right) override {
        marginLeft = left;
        marginRight = right;
    }
    void StartTimer(UINT id, UINT ms) override { timers.push_back(id * 1000 + ms); }
    void StopTimer(UINT id) override { timers.push_back(id); }
    bool IsSpinVisible() const override { return !spinHidden && CMemoryEdit::IsSpinVisible(); }
};

// Lets a test reach a negative minimum, which SetRange itself never stores.
class CTestEdit : public CNumericEdit {
public:
    using CNumericEdit::CNumericEdit;
    void SetRawRange(std::int64_t lo, std::int64_t hi, int step) {
        m_i64Minimum = lo;
        m_i64Maximum = hi;
        m_nStep = step;
    }
    int updates = 0;
    bool throwOnFocus = false;
    void OnTextUpdate() override {
        ++updates;
        CNumericEdit::OnTextUpdate();
    }
    void OnGotFocus() override {
        if (throwOnFocus) {
            throw std::runtime_error("hook failed");
        }
    }
};

class NumericEditTest : public ::testing::Test {
protected:
    CEdit edit;
    CTestEdit field{edit};

    // As the main dialog prepares the SCSI ID field.
    void SetUp() override {
        edit.Bind(&field);
        field.OnAttach();
        field.AttachSpin();
        field.SetRange(0, 6, 0);
        field.SetValue(0);
        edit.ClearBeeps();
    }
    // The text as if just typed, caret at its end.
    void Show(const std::string& t) {
        edit.SetText(t);
        edit.MoveCaret(static_cast<int>(t.size()));
        field.OnNotification(EN_UPDATE);
    }
    DWORD Value() {
        DWORD v = 12345;
        EXPECT_TRUE(field.GetValue(v));
        return v;
    }
};

TEST_F(NumericEditTest, ParseFollowsTheRuntimeAndSaturatesAndFormatPadsBesideTheSign) {
    const std::pair<std::string, std::int64_t> rows[] = {{"", 0},
                                                         {"- 5", 0},
                                                         {" \t\n-42x7", -42},
                                                         {"+7", 7},
                                                         {"\x82\x4f", 0},  // full-width zero
                                                         {"9223372036854775807", kI64Max},
                                                         {"9223372036854775808", kI64Max},
                                                         {"-9223372036854775808", kI64Min},
                                                         {"-9223372036854775809", kI64Min},
                                                         {"000000000000000000000000012", 12},
                                                         {std::string(500, '9'), kI64Max}};
    for (const auto& [text, value] : rows) {
        EXPECT_EQ(field.ParseInt64(text), value) << text;
    }
    EXPECT_EQ(field.FormatInt64(kI64Min), "-9223372036854775808");
    field.SetDigits(3);
    EXPECT_EQ(field.FormatInt64(5), "005");
    EXPECT_EQ(field.FormatInt64(-5), "-005");
    EXPECT_EQ(field.FormatInt64(12345), "12345");
    field.SetDigits(1 << 30);  // capped, not a gigabyte of zeros
    EXPECT_EQ(field.FormatInt64(7).size(), static_cast<std::size_t>(CNumericEdit::kMaxDigits));
}

TEST_F(NumericEditTest, RangeAndClampAtTheEdges) {
    EXPECT_EQ(field.GetStep(), 1);  // step 0 is stored as 1
    EXPECT_EQ(field.ClampInt64(kI64Max), 6);
    EXPECT_EQ(field.ClampInt64(kI64Min), 0);
    field.SetRange(10, 2, 0);
    EXPECT_EQ(field.GetMinimum(), 2);
    EXPECT_EQ(field.GetMaximum(), 10);
    field.SetRange(0, 0xFFFFFFFFu, 0x80000000u);
    EXPECT_EQ(field.GetMaximum(), 4294967295LL);
    EXPECT_EQ(field.GetStep(), INT_MAX);  // not a negative step
    EXPECT_EQ(field.ClampInt64(kI64Max), 4294967294LL);
    // Off-step values go down to the step: from 0, from the minimum, or
    // towards zero when the range goes below it.
    field.SetRange(0, 100, 5);
    EXPECT_EQ(field.ClampInt64(13), 10);
    field.SetRange(3, 100, 5);
    EXPECT_EQ(field.ClampInt64(14), 13);
    EXPECT_EQ(field.ClampInt64(2), 3);
    field.SetRawRange(-50, 50, 5);
    EXPECT_EQ(field.ClampInt64(-13), -10);
    EXPECT_EQ(field.FormatValue(0xFFFFFFFFu), "50");  // unsigned, not -1
}

TEST_F(NumericEditTest, TypingKeepsToDigitsAndTheMaximum) {
    EXPECT_TRUE(edit.InputMethodDetached());
    EXPECT_EQ(edit.Text(), "0");
    EXPECT_EQ(Value(), 0u);
    edit.MoveCaret(0);
    edit.Type('9');  // "90" exceeds 6
    EXPECT_EQ(edit.Text(), "6");
    EXPECT_EQ(edit.GetSel().start, 1);  // the caret stays where it was
    EXPECT_EQ(edit.Beeps(), Beeps{MB_ICONASTERISK});
    EXPECT_EQ(field.updates, 2);  // SetValue and the typed 9; not the correction
    edit.ClearBeeps();
    for (UINT refused : {UINT('-'), UINT('a'), UINT(' '), 0x82u, 0x4Fu, 0x132u, 0u, 24u}) {
        edit.Type(refused);
    }
    EXPECT_EQ(edit.Text(), "6");
    // Plain beeps for all but Ctrl+X, which the control handles itself.
    EXPECT_EQ(edit.Beeps(), Beeps(7, 0));
    EXPECT_FALSE(field.OnChar('\t', 1));
    EXPECT_TRUE(field.OnKeyDown(VK_TAB, true));
    EXPECT_FALSE(field.OnKeyDown(VK_TAB, false));
    EXPECT_EQ(edit.Beeps().size(), 7u);
    EXPECT_TRUE(field.IsValidChar(22, 1, ""));
    field.SetClipboardAllowed(false);
    EXPECT_FALSE(field.IsValidChar(22, 1, ""));
    EXPECT_TRUE(field.IsValidChar(3, 1, ""));
    EXPECT_FALSE(field.IsValidChar(3, 0, ""));
    EXPECT_TRUE(field.OnContextMenu());
    EXPECT_FALSE(field.OnPaste());
    // Emptied, the field has no value and stays empty.
    edit.ClearBeeps();
    edit.SelectAll();
    edit.Type(8);
    EXPECT_EQ(edit.Text(), "");
    DWORD v = 77;
    EXPECT_FALSE(field.GetValue(v));
    EXPECT_EQ(v, 77u);
    field.OnNotification(EN_KILLFOCUS);
    EXPECT_EQ(edit.Text(), "");
    EXPECT_TRUE(edit.Beeps().empty());
}

TEST_F(NumericEditTest, PasteIsRecheckedThenRangeChecked) {
    edit.SetText("");
    edit.Paste("a1b2");
    EXPECT_EQ(edit.Text(), "6");
    EXPECT_EQ(edit.Beeps(), (Beeps{0, MB_ICONASTERISK}));

    field.SetRange(0, 100, 0);
    edit.ClearBeeps();
    edit.SetText("");
    edit.Paste("12a");
    EXPECT_EQ(edit.Text(), "12");
    EXPECT_EQ(edit.GetSel().start, 2);
    EXPECT_EQ(edit.Beeps(), Beeps{0});
    EXPECT_EQ(Value(), 12u);
    edit.SetText("");
    edit.Paste("-1\b2\r");  // no sign, no control bytes
    EXPECT_EQ(edit.Text(), "12");
    edit.Type('3');  // 123, then the range check
    EXPECT_EQ(edit.Text(), "100");
}

TEST_F(NumericEditTest, MinusOnlyAtTheStartWhenTheRangeGoesBelowZero) {
    EXPECT_FALSE(field.IsValidChar('-', 1, ""));
    field.SetRawRange(-50, 50, 1);
    const struct {
        const char* text;
        int start;
        int end;
        bool valid;
    } rows[] = {{"5", 0, 0, true},
                {"5", 1, 1, false},
                {"-5", 0, 0, false},  // would make "--5"
                {"-5", 0, 1, true}};  // replaces the sign
    for (const auto& row : rows) {
        edit.SetText(row.text);
        edit.SetSel(row.start, row.end);
        EXPECT_EQ(field.IsValidChar('-', 1, row.text), row.valid) << row.text << row.start;
    }
    edit.SetText("");
    edit.Paste("--5-");
    EXPECT_EQ(edit.Text(), "-5");
    EXPECT_EQ(Value(), static_cast<DWORD>(-5));
}

TEST_F(NumericEditTest, CorrectionShowsTheValueThatIsReportedAndLeavingNormalises) {
    field.SetRange(1, 11, 3);  // reachable values 1, 4, 7, 10
    Show("50");
    EXPECT_EQ(edit.Text(), "10");
    EXPECT_EQ(Value(), 10u);
    Show("0");  // below the minimum: left alone while typing
    EXPECT_EQ(edit.Text(), "0");
    EXPECT_EQ(Value(), 1u);

    field.SetRange(0, 6, 0);
    Show("005");
    edit.ClearBeeps();
    field.OnNotification(EN_KILLFOCUS);
    EXPECT_EQ(edit.Text(), "5");
    EXPECT_TRUE(edit.Beeps().empty());
    field.SetRange(3, 6, 0);
    Show("1");
    field.OnNotification(EN_KILLFOCUS);
    EXPECT_EQ(edit.Text(), "3");
    EXPECT_EQ(edit.Beeps(), Beeps{MB_ICONASTERISK});
}

TEST_F(NumericEditTest, StepsStopAtTheEndsAndComeFromTheSpinTheWheelAndTheArrowKeys) {
    Show("6");
    const int focus = edit.FocusRequests();
    edit.SetSpinPos(99);
    EXPECT_TRUE(field.OnSpinDeltaPos(-1));  // up at 6
    EXPECT_EQ(edit.Text(), "6");
    EXPECT_EQ(edit.SpinPos(), 0);
    Show("0");
    field.OnSpinDeltaPos(1);  // down at 0
    EXPECT_EQ(edit.Text(), "0");
    EXPECT_EQ(edit.FocusRequests(), focus);
    EXPECT_TRUE(edit.Beeps().empty());

    field.OnSpinDeltaPos(-1);
    EXPECT_EQ(edit.Text(), "1");
    EXPECT_EQ(edit.FocusRequests(), focus + 1);
    EXPECT_EQ(edit.GetSel().start, 0);
    EXPECT_EQ(Value(), 1u);
    edit.SetText("");
    field.Step(-1);  // empty reads as 0
    EXPECT_EQ(edit.Text(), "1");
    edit.SetReadOnly(true);
    field.Step(-1);
    EXPECT_EQ(edit.Text(), "1");
    edit.SetReadOnly(false);
    // The wheel steps by whole notches; the arrow keys press the spin.
    field.SetRange(0, 100, 0);
    Show("3");
    EXPECT_TRUE(field.OnMouseWheel(120));
    EXPECT_EQ(edit.Text(), "4");
    field.OnMouseWheel(-240);  // 4 - 2 - 0
    EXPECT_EQ(edit.Text(), "2");
    EXPECT_TRUE(field.OnMouseWheel(119));  // consumed, no whole notch
    EXPECT_EQ(edit.Text(), "2");

    EXPECT_TRUE(field.OnKeyDown(VK_UP, false));
    EXPECT_TRUE(field.OnKeyUp(VK_DOWN));
    const std::vector<std::pair<CFieldPoint, bool>> presses = {{{0, 0}, true}, {{0, 19}, false}};
    EXPECT_EQ(edit.SpinPresses(), presses);
}

TEST_F(NumericEditTest, AcceleratedStepsLandOnMultiples) {
    field.SetRange(0, 1000, 0);
    Show("3");
    field.Step(-5);
    EXPECT_EQ(edit.Text(), "5");
    field.Step(-5);
    EXPECT_EQ(edit.Text(), "10");
    Show("17");
    field.Step(10);
    EXPECT_EQ(edit.Text(), "0");  // 17 - 10 - 7
    field.SetRange(0, 100, 2);
    Show("3");
    field.Step(-1);
    EXPECT_EQ(edit.Text(), "4");
    field.SetRange(0, 0xFFFFFFFFu, 0x7FFFFFFFu);
    edit.SetText(std::string(30, '9'));  // beyond 64 bits
    field.Step(INT_MIN);
    EXPECT_EQ(edit.Text(), "4294967295");
    field.Step(0);
    EXPECT_EQ(edit.Text(), "4294967295");
}

TEST(NumericEditSpin, WithoutASpinNothingIsTakenOver) {
    CEdit edit;
    CNumericEdit field(edit);
    edit.Bind(&field);
    edit.FailSpinCreation(true);
    field.AttachSpin();
    EXPECT_EQ(edit.marginRight, -1);  // no layout
    field.SetValue(3);
    EXPECT_FALSE(field.OnMouseWheel(120));
    EXPECT_FALSE(field.OnKeyDown(VK_UP, false));
    EXPECT_FALSE(field.OnSpinDeltaPos(-1));
    EXPECT_FALSE(field.OnTimer(CNumericEdit::kLayoutTimerId));
    EXPECT_EQ(edit.Text(), "3");
}

TEST_F(NumericEditTest, TheSpinIsSetUpLaidOutAndPaintedInsideTheRightEdge) {
    const CSpinSetup& setup = edit.SpinSetup();
    EXPECT_EQ(setup.dwStyle, 0xA4u);
    EXPECT_EQ(setup.nControlId, 1000);
    EXPECT_EQ(setup.rect, edit.GetClientRect());
    EXPECT_EQ(setup.nLower, 10000);
    EXPECT_EQ(setup.nUpper, -10000);
    EXPECT_EQ(setup.accel[3].nSec, 6u);
    EXPECT_EQ(setup.accel[3].nInc, 50u);
    EXPECT_EQ(edit.marginLeft, 3);
    EXPECT_EQ(edit.marginRight, 19);
    EXPECT_EQ(edit.GetSpinRect(), (CFieldRect{64, 0, 80, 20}));
    EXPECT_TRUE(edit.IsSpinVisible());

    // A theme change re-measures the spin once the timer fires.
    edit.MoveSpin({0, 2, 20, 18});
    field.OnThemeChanged();
    EXPECT_TRUE(field.OnTimer(CNumericEdit::kLayoutTimerId));
    EXPECT_FALSE(field.OnTimer(2));
    EXPECT_EQ(edit.timers, (std::vector<UINT>{1001, 1}));
    EXPECT_EQ(edit.marginRight, 23);
    EXPECT_EQ(edit.GetSpinRect(), (CFieldRect{60, 2, 80, 18}));
    // Narrower than the spin: the spin keeps its x.
    EXPECT_EQ(PlaceSpin({0, 0, 10, 20}, {4, 0, 20, 20}).rect, (CFieldRect{4, 0, 20, 20}));

    field.OnSetReadOnly(true);
    EXPECT_FALSE(edit.SpinEnabled());
    field.OnEnable(true);
    EXPECT_TRUE(edit.SpinEnabled());
    // Acceleration by the time an arrow is held.
    for (const auto& [ms, increment] : std::vector<std::pair<DWORD, UINT>>{
             {0, 1}, {1999, 1}, {2000, 5}, {4000, 10}, {5999, 10}, {0xFFFFFFFFu, 50}}) {
        EXPECT_EQ(SpinIncrementAfter(ms), increment) << ms;
    }
    // Painting cuts the spin out, first in window, then in client
    // coordinates, and prints it into the field's own context.
    const CFieldRect spinScreen{164, 100, 180, 120};
    const CFieldPoint client{100, 100};
    const CFieldPoint window{98, 98};
    field.OnPaintStarting();
    EXPECT_EQ(field.OnCtlColor(spinScreen, client, window), (CFieldRect{66, 2, 82, 22}));
    EXPECT_EQ(field.OnCtlColor(spinScreen, client, window), (CFieldRect{64, 0, 80, 20}));
    EXPECT_EQ(field.OnPrintClient({5, 5}, client, {164, 100}), (CFieldPoint{-59, 5}));
    edit.spinHidden = true;
    EXPECT_FALSE(field.OnCtlColor(spinScreen, client, window).has_value());
    EXPECT_FALSE(field.OnPrintClient({0, 0}, client, {164, 100}).has_value());
}

TEST_F(NumericEditTest, AFailedHookDoesNotSilenceLaterNotifications) {
    field.throwOnFocus = true;
    EXPECT_THROW(field.OnNotification(EN_SETFOCUS), std::runtime_error);
    const int before = field.updates;
    edit.Type('5');
    EXPECT_EQ(field.updates, before + 1);
}

}  // namespace
}  // namespace Tolvane
