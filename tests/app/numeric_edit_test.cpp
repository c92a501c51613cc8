#include "app/numeric_edit.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "dialog_harness.h"

namespace Tolvane {
namespace {

constexpr std::int64_t kI64Max = INT64_MAX;
constexpr std::int64_t kI64Min = INT64_MIN;
using Beeps = std::vector<UINT>;

// Reaches a negative minimum, which SetRange itself never stores, counts the
// update checks and can make a hook fail.
class CTestField : public CNumericEdit {
public:
    using CNumericEdit::CNumericEdit;
    void SetRawRange(std::int64_t lo, std::int64_t hi, int step) {
        m_i64Minimum = lo, m_i64Maximum = hi, m_nStep = step;
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
    CRecordingEdit edit;
    CTestField field{edit};

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
    // 82 4F is a full-width zero, not a digit.
    // clang-format off
    const std::pair<std::string, std::int64_t> rows[] = {
        {"", 0}, {"- 5", 0}, {" \t\n-42x7", -42}, {"+7", 7}, {"\x82\x4f", 0},
        {"9223372036854775807", kI64Max}, {"9223372036854775808", kI64Max},
        {"-9223372036854775808", kI64Min}, {"-9223372036854775809", kI64Min},
        {"000000000000000000000000012", 12}, {std::string(500, '9'), kI64Max}};
    // clang-format on
    for (const auto& [text, value] : rows) {
        EXPECT_EQ(field.ParseInt64(text), value) << text;
    }
    const std::tuple<int, std::int64_t, std::string> formats[] = {
        {0, kI64Min, "-9223372036854775808"}, {3, 5, "005"}, {3, -5, "-005"}, {3, 12345, "12345"}};
    for (const auto& [digits, value, text] : formats) {
        field.SetDigits(digits);
        EXPECT_EQ(field.FormatInt64(value), text);
    }
    field.SetDigits(1 << 30);  // capped, not a gigabyte of zeros
    EXPECT_EQ(field.FormatInt64(7).size(), static_cast<std::size_t>(CNumericEdit::kMaxDigits));
}

// Out-of-range values take the nearer end; off-step values go down to the
// step: from 0, from the minimum, or towards zero when the range goes below.
TEST_F(NumericEditTest, RangeAndClampAtTheEdges) {
    EXPECT_EQ(field.GetStep(), 1) << "step 0 is stored as 1";
    // clang-format off
    const std::tuple<std::int64_t, std::int64_t, DWORD, std::int64_t, std::int64_t> rows[] = {
        {0, 6, 0, kI64Max, 6}, {0, 6, 0, kI64Min, 0}, {10, 2, 0, 11, 10}, {10, 2, 0, 1, 2},
        {0, 100, 5, 13, 10}, {3, 100, 5, 14, 13}, {3, 100, 5, 2, 3},
        {-50, 50, 5, -13, -10},  // below zero: set raw
        {0, 0xFFFFFFFF, 0x80000000u, kI64Max, 4294967294LL}};  // step INT_MAX, not negative
    // clang-format on
    for (const auto& [lo, hi, step, in, out] : rows) {
        if (lo < 0) {
            field.SetRawRange(lo, hi, static_cast<int>(step));
        } else {
            field.SetRange(static_cast<DWORD>(lo), static_cast<DWORD>(hi), step);
        }
        EXPECT_EQ(field.ClampInt64(in), out) << lo << ".." << hi << " " << in;
    }
    field.SetRawRange(-50, 50, 5);
    EXPECT_EQ(field.FormatValue(0xFFFFFFFFu), "50");  // unsigned, not -1
}

TEST_F(NumericEditTest, TypingKeepsToDigitsAndTheMaximum) {
    EXPECT_EQ(Value(), 0u);
    edit.MoveCaret(0);
    edit.Type('9');  // "90" exceeds 6: corrected at once, the caret stays
    EXPECT_EQ(std::make_tuple(edit.Text(), edit.GetSel().start, edit.Beeps(), field.updates),
              std::make_tuple(std::string("6"), 1, Beeps{MB_ICONASTERISK}, 2))
        << "SetValue and the typed 9 are checked; the correction is not";
    edit.ClearBeeps();
    for (UINT refused : {UINT('-'), UINT('a'), UINT(' '), 0x82u, 0x4Fu, 0x132u, 0u, 24u}) {
        edit.Type(refused);
    }
    EXPECT_FALSE(field.OnChar('\t', 1) || field.OnKeyDown(VK_TAB, false));  // silently
    EXPECT_EQ(edit.Text(), "6");
    EXPECT_EQ(edit.Beeps(), Beeps(7, 0)) << "plain beeps for all but Ctrl+X, the control's own";
    EXPECT_TRUE(field.OnKeyDown(VK_TAB, true));  // Ctrl+Tab is swallowed
    EXPECT_TRUE(field.IsValidChar(22, 1, "") && field.IsValidChar(3, 1, ""));
    EXPECT_FALSE(field.IsValidChar(3, 0, ""));
    field.SetClipboardAllowed(false);
    EXPECT_FALSE(field.IsValidChar(22, 1, "") || field.OnPaste());
    EXPECT_TRUE(field.OnContextMenu());
    // Emptied, the field has no value and stays empty.
    edit.ClearBeeps();
    edit.SelectAll();
    edit.Type(8);
    DWORD v = 77;
    EXPECT_FALSE(field.GetValue(v));
    EXPECT_EQ(v, 77u);
    field.OnNotification(EN_KILLFOCUS);
    EXPECT_EQ(edit.Text(), "");
    EXPECT_TRUE(edit.Beeps().empty());
    // A hook that fails does not leave the field deaf to later notifications.
    field.throwOnFocus = true;
    EXPECT_THROW(field.OnNotification(EN_SETFOCUS), std::runtime_error);
    edit.Type('9');
    EXPECT_EQ(edit.Text(), "6") << "the update check ran";
}

TEST_F(NumericEditTest, PasteIsRecheckedThenRangeChecked) {
    edit.SetText("");
    edit.Paste("a1b2");
    EXPECT_EQ(
        std::make_tuple(edit.Text(), edit.Beeps(), edit.redraw),
        std::make_tuple(std::string("6"), Beeps{0, MB_ICONASTERISK}, std::vector<bool>{0, 1}));
    field.SetRange(0, 100, 0);
    edit.ClearBeeps();
    edit.SetText("");
    edit.Paste("12a");
    EXPECT_EQ(std::make_tuple(edit.Text(), edit.GetSel().start, edit.Beeps(), Value()),
              std::make_tuple(std::string("12"), 2, Beeps{0}, DWORD{12}));
    edit.SetText("");
    edit.Paste("-1\b2\r");  // no sign, no control bytes
    EXPECT_EQ(edit.Text(), "12");
    edit.Type('3');  // 123, then the range check
    EXPECT_EQ(edit.Text(), "100");
}

TEST_F(NumericEditTest, MinusOnlyAtTheStartWhenTheRangeGoesBelowZero) {
    EXPECT_FALSE(field.IsValidChar('-', 1, ""));
    field.SetRawRange(-50, 50, 1);
    const std::tuple<const char*, int, int, bool> rows[] = {
        {"5", 0, 0, true}, {"5", 1, 1, false}, {"-5", 0, 0, false}, {"-5", 0, 1, true}};
    for (const auto& [text, start, end, valid] : rows) {  // "--5" no; replacing the sign yes
        edit.SetText(text);
        edit.SetSel(start, end);
        EXPECT_EQ(field.IsValidChar('-', 1, text), valid) << text << start;
    }
    edit.SetText("");
    edit.Paste("--5-");
    EXPECT_EQ(edit.Text(), "-5");
    EXPECT_EQ(Value(), static_cast<DWORD>(-5));
}

TEST_F(NumericEditTest, CorrectionShowsTheValueThatIsReportedAndLeavingNormalises) {
    field.SetRange(1, 11, 3);  // reachable values 1, 4, 7, 10
    for (const auto& [text, shown, value] :
         {std::make_tuple("50", "10", DWORD{10}), {"0", "0", DWORD{1}}}) {
        Show(text);  // below the minimum: left alone while typing
        EXPECT_EQ(std::make_pair(edit.Text(), Value()), std::make_pair(std::string(shown), value));
    }
    // Leaving: 005 is rewritten as 5 without a beep; 1 below 3 becomes 3 with one.
    for (const auto& [lo, text, shown, beeps] :
         {std::make_tuple(0u, "005", "5", Beeps{}), std::make_tuple(3u, "1", "3", Beeps{0x40})}) {
        field.SetRange(lo, 6, 0);
        Show(text);
        edit.ClearBeeps();
        field.OnNotification(EN_KILLFOCUS);
        EXPECT_EQ(edit.Text(), shown);
        EXPECT_EQ(edit.Beeps(), beeps);
    }
}

TEST_F(NumericEditTest, StepsStopAtTheEndsAndComeFromTheSpinTheWheelAndTheArrowKeys) {
    for (const auto& [text, delta] : {std::make_pair("6", -1), std::make_pair("0", 1)}) {
        Show(text);
        edit.spinPos = 99;
        EXPECT_TRUE(field.OnSpinDeltaPos(delta));  // up at 6, down at 0
        EXPECT_EQ(std::make_tuple(edit.Text(), edit.spinPos, edit.focusRequests),
                  std::make_tuple(std::string(text), 0, 0));
    }
    field.OnSpinDeltaPos(-1);
    EXPECT_EQ(std::make_tuple(edit.Text(), edit.focusRequests, edit.GetSel().start, Value()),
              std::make_tuple(std::string("1"), 1, 0, DWORD{1}));
    edit.SetText("");
    field.Step(-1);  // empty reads as 0
    edit.readOnly = true;
    field.Step(-1);
    EXPECT_EQ(edit.Text(), "1");
    edit.readOnly = false;
    // The wheel steps by whole notches; the arrow keys press the spin, each
    // press with one release (a repeated key-down, a stray key-up: nothing).
    field.SetRange(0, 100, 0);
    Show("3");
    const std::pair<int, const char*> notches[] = {{120, "4"}, {-240, "2"}, {119, "2"}};
    for (const auto& [distance, text] : notches) {
        EXPECT_TRUE(field.OnMouseWheel(distance));  // always consumed
        EXPECT_EQ(edit.Text(), text) << distance;
    }
    EXPECT_TRUE(field.OnKeyDown(VK_UP, false) && field.OnKeyDown(VK_UP, false) &&
                field.OnKeyDown(VK_DOWN, false) && field.OnKeyUp(VK_UP) && field.OnKeyUp(VK_DOWN));
    EXPECT_EQ(edit.presses,
              (std::vector<std::pair<CFieldPoint, bool>>{
                  {{0, 0}, true}, {{0, 0}, false}, {{0, 19}, true}, {{0, 19}, false}}));
}

TEST_F(NumericEditTest, AcceleratedStepsLandOnMultiples) {
    // 3 up by 5 is 5, then 10; 17 down by 10 is 17 - 10 - 7; 3 up by a step of 2 is 4.
    // clang-format off
    const std::tuple<DWORD, DWORD, const char*, int, const char*> rows[] = {{1000, 0, "3", -5, "5"}, {1000, 0, "5", -5, "10"}, {1000, 0, "17", 10, "0"},
                {100, 2, "3", -1, "4"}, {0xFFFFFFFFu, 0x7FFFFFFF, "4294967295", 0, "4294967295"},
                {0xFFFFFFFFu, 0x7FFFFFFF, "999999999999999999999999999999", INT_MIN, "4294967295"}};
    // clang-format on
    for (const auto& [max, step, from, delta, to] : rows) {
        field.SetRange(0, max, step);
        edit.SetText(from);
        field.Step(delta);
        EXPECT_EQ(edit.Text(), to) << from << " by " << delta;
    }
}

TEST(NumericEditSpin, WithoutASpinNothingIsTakenOver) {
    CRecordingEdit edit;
    CNumericEdit field(edit);
    edit.Bind(&field);
    edit.failSpin = true;
    field.AttachSpin();
    EXPECT_EQ(edit.marginRight, -1);  // no layout
    field.SetValue(3);
    EXPECT_FALSE(field.OnMouseWheel(120) || field.OnKeyDown(VK_UP, false) ||
                 field.OnSpinDeltaPos(-1) || field.OnTimer(CNumericEdit::kLayoutTimerId));
    EXPECT_EQ(edit.Text(), "3");
}

TEST_F(NumericEditTest, TheSpinIsSetUpLaidOutAndPaintedInsideTheRightEdge) {
    const CSpinSetup& s = edit.spinSetup;
    EXPECT_EQ((std::vector<int>{int(s.dwStyle), s.nControlId, s.nLower, s.nUpper, s.nPos}),
              (std::vector<int>{0xA4, 1000, 10000, -10000, 0}));
    EXPECT_EQ(s.rect, edit.GetClientRect());
    EXPECT_EQ(std::make_tuple(edit.marginLeft, edit.marginRight, edit.GetSpinRect()),
              std::make_tuple(3, 19, CFieldRect{64, 0, 80, 20}));
    EXPECT_TRUE(edit.IsSpinVisible());
    // A theme change re-measures the spin once the timer fires.
    edit.MoveSpin({0, 2, 20, 18});
    field.OnThemeChanged();
    EXPECT_TRUE(field.OnTimer(CNumericEdit::kLayoutTimerId));
    EXPECT_FALSE(field.OnTimer(2));
    EXPECT_EQ(edit.timers, (std::vector<UINT>{1001, 1}));
    EXPECT_EQ(std::make_tuple(edit.marginRight, edit.GetSpinRect()),
              std::make_tuple(23, CFieldRect{60, 2, 80, 18}));
    // Narrower than the spin: the spin keeps its x.
    EXPECT_EQ(PlaceSpin({0, 0, 10, 20}, {4, 0, 20, 20}).rect, (CFieldRect{4, 0, 20, 20}));
    field.OnSetReadOnly(true);
    const bool enabledWhenReadOnly = edit.spinEnabled;
    field.OnEnable(true);
    EXPECT_TRUE(!enabledWhenReadOnly && edit.spinEnabled);
    // The acceleration table, and the increment by the time an arrow is held.
    std::vector<std::pair<UINT, UINT>> accel;
    for (const CSpinAccel& a : s.accel) {
        accel.emplace_back(a.nSec, a.nInc);
    }
    EXPECT_EQ(accel, (std::vector<std::pair<UINT, UINT>>{{0, 1}, {2, 5}, {4, 10}, {6, 50}}));
    EXPECT_EQ((std::vector<UINT>{SpinIncrementAfter(0), SpinIncrementAfter(1999),
                                 SpinIncrementAfter(2000), SpinIncrementAfter(4000),
                                 SpinIncrementAfter(5999), SpinIncrementAfter(0xFFFFFFFFu)}),
              (std::vector<UINT>{1, 1, 5, 10, 10, 50}));
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
    EXPECT_FALSE(field.OnCtlColor(spinScreen, client, window).has_value() ||
                 field.OnPrintClient({0, 0}, client, {164, 100}).has_value());
}

}  // namespace
}  // namespace Tolvane
