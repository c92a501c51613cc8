#include "app/numeric_edit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <stdexcept>
#include <vector>

namespace Tolvane {
namespace {

constexpr std::int64_t kI64Max = INT64_MAX;
constexpr std::int64_t kI64Min = INT64_MIN;

// An edit control in memory that behaves like a single-line edit: it inserts
// accepted characters, pastes its clipboard and reports EN_UPDATE for the
// user's own edits.
class CFakeEdit : public CEditControl {
public:
    CFilterEdit* field = nullptr;
    std::string text, clipboard;
    CFieldSel sel;
    bool readOnly = false, spin = false, spinVisible = false, spinEnabled = true;
    bool failSpin = false, imeDetached = false;
    int focusCalls = 0, spinPos = 99, spinWidth = 16, marginLeft = -1, marginRight = -1;
    std::vector<UINT> beeps, timers;
    std::vector<std::pair<CFieldPoint, bool>> presses;
    CFieldRect client{0, 0, 80, 20}, spinRect;
    CSpinSetup setup;

    std::string GetText() const override { return text; }
    void SetText(const std::string& t) override { text = t, sel = {0, 0}; }
    CFieldSel GetSel() const override { return sel; }
    void SetSel(int s, int e) override { sel = {Fit(s), Fit(e)}; }
    void ScrollCaret() override {}
    bool IsReadOnly() const override { return readOnly; }
    void SetFocus() override { ++focusCalls; }
    void Beep(UINT type) override { beeps.push_back(type); }
    void DetachInputMethod() override { imeDetached = true; }
    void SetMargins(int l, int r) override { marginLeft = l, marginRight = r; }
    CFieldRect GetClientRect() const override { return client; }
    void DefaultPaste() override { Insert(clipboard); }
    void SetRedraw(bool) override {}
    void InvalidateAll() override {}
    void StartTimer(UINT id, UINT ms) override { timers.push_back(id * 1000 + ms); }
    void StopTimer(UINT id) override { timers.push_back(id); }
    bool HasSpin() const override { return spin; }
    bool CreateSpin(const CSpinSetup& s) override {
        setup = s;
        spin = !failSpin;
        spinRect = {0, 0, spinWidth, s.rect.Height()};
        return spin;
    }
    CFieldRect GetSpinRect() const override { return spinRect; }
    void MoveSpin(const CFieldRect& r) override { spinRect = r; }
    void ShowSpin() override { spinVisible = true; }
    bool IsSpinVisible() const override { return spinVisible; }
    void EnableSpin(bool e) override { spinEnabled = e; }
    void SetSpinPos(int p) override { spinPos = p; }
    void PressSpin(CFieldPoint at, bool down) override { presses.push_back({at, down}); }
    void RedrawSpinNow() override {}
    void ReparentSpinToOwner() override {}

    void Type(UINT ch) {
        if (!field->OnChar(ch, CFilterEdit::kTypedChar)) {
            return;
        }
        if (ch == 8) {
            if (sel.start == sel.end && sel.start > 0) {
                --sel.start;
            }
            Insert("");
        } else if (ch == 22) {
            field->OnPaste();
        } else if (ch >= 32) {
            Insert(std::string(1, static_cast<char>(ch)));
        }
    }
    void TypeAll(const std::string& s) {
        for (char c : s) {
            Type(static_cast<unsigned char>(c));
        }
    }
    void SelectAll() { sel = {0, static_cast<int>(text.size())}; }

private:
    int Fit(int p) const { return p < 0 ? 0 : std::min<int>(p, static_cast<int>(text.size())); }
    void Insert(const std::string& s) {
        const int start = Fit(sel.start), end = std::max(start, Fit(sel.end));
        text.replace(start, end - start, s);
        sel.start = sel.end = start + static_cast<int>(s.size());
        field->OnNotification(EN_UPDATE);
    }
};

// Lets a test reach a negative minimum, which SetRange itself never stores.
class CTestEdit : public CNumericEdit {
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
    CFakeEdit edit;
    CTestEdit field{edit};

    // As the main dialog prepares the SCSI ID field.
    void SetUp() override {
        edit.field = &field;
        field.OnAttach();
        field.AttachSpin();
        field.SetRange(0, 6, 0);
        field.SetValue(0);
        edit.beeps.clear();
    }
    void Show(const std::string& t) {
        edit.text = t;
        edit.sel = {static_cast<int>(t.size()), static_cast<int>(t.size())};
        field.OnNotification(EN_UPDATE);
    }
    DWORD Value() {
        DWORD v = 12345;
        EXPECT_TRUE(field.GetValue(v));
        return v;
    }
};

TEST_F(NumericEditTest, ParseFollowsTheRuntimeAndSaturates) {
    EXPECT_EQ(field.ParseInt64(""), 0);
    EXPECT_EQ(field.ParseInt64("abc"), 0);
    EXPECT_EQ(field.ParseInt64("- 5"), 0);
    EXPECT_EQ(field.ParseInt64(" \t\n-42x7"), -42);
    EXPECT_EQ(field.ParseInt64("+7"), 7);
    EXPECT_EQ(field.ParseInt64("\x82\x4f"), 0);  // full-width zero
    EXPECT_EQ(field.ParseInt64("9223372036854775807"), kI64Max);
    EXPECT_EQ(field.ParseInt64("9223372036854775808"), kI64Max);
    EXPECT_EQ(field.ParseInt64("-9223372036854775808"), kI64Min);
    EXPECT_EQ(field.ParseInt64("-9223372036854775809"), kI64Min);
    EXPECT_EQ(field.ParseInt64("000000000000000000000000012"), 12);
    EXPECT_EQ(field.ParseInt64(std::string(500, '9')), kI64Max);
}

TEST_F(NumericEditTest, FormatPadsWithLeadingZerosBesideTheSign) {
    EXPECT_EQ(field.FormatInt64(kI64Min), "-9223372036854775808");
    field.SetDigits(3);
    EXPECT_EQ(field.FormatInt64(5), "005");
    EXPECT_EQ(field.FormatInt64(-5), "-005");
    EXPECT_EQ(field.FormatInt64(12345), "12345");
    field.SetDigits(1 << 30);  // capped, not a gigabyte of zeros
    EXPECT_EQ(field.FormatInt64(7).size(), static_cast<std::size_t>(CNumericEdit::kMaxDigits));
    field.SetValue(4);
    EXPECT_EQ(edit.text.substr(edit.text.size() - 3), "004");
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
    field.SetRange(0, 100, 5);
    EXPECT_EQ(field.ClampInt64(13), 10);
    field.SetRange(3, 100, 5);
    EXPECT_EQ(field.ClampInt64(14), 13);
    EXPECT_EQ(field.ClampInt64(2), 3);
    field.SetRawRange(-50, 50, 5);
    EXPECT_EQ(field.ClampInt64(-13), -10);  // towards zero
    EXPECT_EQ(field.FormatValue(0xFFFFFFFFu), "50");
}

TEST_F(NumericEditTest, TypingKeepsToDigitsAndTheMaximum) {
    EXPECT_TRUE(edit.imeDetached);
    EXPECT_EQ(edit.text, "0");
    EXPECT_EQ(Value(), 0u);
    edit.Type('9');  // caret at 0: "90" exceeds 6
    EXPECT_EQ(edit.text, "6");
    EXPECT_EQ(edit.sel.start, 1);  // old caret 1 kept
    EXPECT_EQ(edit.beeps, std::vector<UINT>{MB_ICONASTERISK});
    EXPECT_EQ(field.updates, 2);  // SetValue and the typed 9; not the correction
    edit.beeps.clear();
    for (UINT refused : {UINT('-'), UINT('a'), UINT(' '), 0x82u, 0x4Fu, 0x132u, 0u, 24u}) {
        edit.Type(refused);
    }
    EXPECT_EQ(edit.text, "6");
    // Plain beeps for all but Ctrl+X, which the control handles itself.
    EXPECT_EQ(edit.beeps, std::vector<UINT>(7, 0));
    EXPECT_FALSE(field.OnChar('\t', 1));
    EXPECT_TRUE(field.OnKeyDown(VK_TAB, true));
    EXPECT_FALSE(field.OnKeyDown(VK_TAB, false));
    EXPECT_EQ(edit.beeps.size(), 7u);
    field.SetClipboardAllowed(false);
    EXPECT_FALSE(field.IsValidChar(22, 1, ""));
    EXPECT_TRUE(field.IsValidChar(3, 1, ""));
    EXPECT_FALSE(field.IsValidChar(3, 0, ""));
    EXPECT_TRUE(field.OnContextMenu());
}

TEST_F(NumericEditTest, EmptyFieldHasNoValueAndStaysEmpty) {
    edit.SelectAll();
    edit.Type(8);
    EXPECT_EQ(edit.text, "");
    DWORD v = 77;
    EXPECT_FALSE(field.GetValue(v));
    EXPECT_EQ(v, 77u);
    field.OnNotification(EN_KILLFOCUS);
    EXPECT_EQ(edit.text, "");
    EXPECT_TRUE(edit.beeps.empty());
}

TEST_F(NumericEditTest, PasteIsRecheckedThenRangeChecked) {
    edit.text.clear();
    edit.clipboard = "a1b2";
    edit.Type(22);
    EXPECT_EQ(edit.text, "6");
    EXPECT_EQ(edit.beeps, (std::vector<UINT>{0, MB_ICONASTERISK}));

    field.SetRange(0, 100, 0);
    edit.beeps.clear();
    edit.text.clear();
    edit.clipboard = "12a";
    EXPECT_TRUE(field.OnPaste());
    EXPECT_EQ(edit.text, "12");
    EXPECT_EQ(edit.sel.start, 2);
    EXPECT_EQ(edit.beeps, std::vector<UINT>{0});
    EXPECT_EQ(Value(), 12u);

    edit.text.clear();
    edit.clipboard = "-1\b2\r";  // no sign, no control bytes
    field.OnPaste();
    EXPECT_EQ(edit.text, "12");

    edit.Type('3');  // 123, then the range check
    EXPECT_EQ(edit.text, "100");
    field.SetClipboardAllowed(false);
    EXPECT_FALSE(field.OnPaste());
    EXPECT_EQ(edit.text, "100");
}

TEST_F(NumericEditTest, MinusOnlyAtTheStartWhenTheRangeGoesBelowZero) {
    field.SetRawRange(-50, 50, 1);
    edit.sel = {0, 0};
    EXPECT_TRUE(field.IsValidChar('-', 1, "5"));
    edit.sel = {1, 1};
    EXPECT_FALSE(field.IsValidChar('-', 1, "5"));
    edit.sel = {0, 0};
    EXPECT_FALSE(field.IsValidChar('-', 1, "-5"));  // would make "--5"
    edit.sel = {0, 1};
    EXPECT_TRUE(field.IsValidChar('-', 1, "-5"));  // replaces the sign

    edit.text.clear();
    edit.clipboard = "--5-";
    field.OnPaste();
    EXPECT_EQ(edit.text, "-5");
    EXPECT_EQ(Value(), static_cast<DWORD>(-5));
}

TEST_F(NumericEditTest, CorrectionShowsTheValueThatIsReported) {
    field.SetRange(1, 11, 3);  // reachable values 1, 4, 7, 10
    Show("50");
    EXPECT_EQ(edit.text, "10");
    EXPECT_EQ(Value(), 10u);
    Show("0");  // below the minimum: left alone while typing
    EXPECT_EQ(edit.text, "0");
    EXPECT_EQ(Value(), 1u);
}

TEST_F(NumericEditTest, LeavingTheFieldNormalisesTheText) {
    Show("005");
    edit.beeps.clear();
    field.OnNotification(EN_KILLFOCUS);
    EXPECT_EQ(edit.text, "5");
    EXPECT_TRUE(edit.beeps.empty());

    field.SetRange(3, 6, 0);
    Show("1");
    field.OnNotification(EN_KILLFOCUS);
    EXPECT_EQ(edit.text, "3");
    EXPECT_EQ(edit.beeps, std::vector<UINT>{MB_ICONASTERISK});
    EXPECT_EQ(Value(), 3u);
}

TEST_F(NumericEditTest, StepsStopAtTheEnds) {
    Show("6");
    int focus = edit.focusCalls;
    EXPECT_TRUE(field.OnSpinDeltaPos(-1));  // up at 6
    EXPECT_EQ(edit.text, "6");
    EXPECT_EQ(edit.focusCalls, focus);
    EXPECT_EQ(edit.spinPos, 0);
    Show("0");
    field.OnSpinDeltaPos(1);  // down at 0
    EXPECT_EQ(edit.text, "0");
    EXPECT_EQ(edit.focusCalls, focus);
    EXPECT_TRUE(edit.beeps.empty());

    field.OnSpinDeltaPos(-1);
    EXPECT_EQ(edit.text, "1");
    EXPECT_EQ(edit.focusCalls, focus + 1);
    EXPECT_EQ(edit.sel.start, 0);
    EXPECT_EQ(Value(), 1u);
    edit.text.clear();
    field.Step(-1);  // empty reads as 0
    EXPECT_EQ(edit.text, "1");
    edit.readOnly = true;
    field.Step(-1);
    EXPECT_EQ(edit.text, "1");
}

TEST_F(NumericEditTest, AcceleratedStepsLandOnMultiples) {
    field.SetRange(0, 1000, 0);
    Show("3");
    field.Step(-5);
    EXPECT_EQ(edit.text, "5");
    field.Step(-5);
    EXPECT_EQ(edit.text, "10");
    Show("17");
    field.Step(10);
    EXPECT_EQ(edit.text, "0");  // 17 - 10 - 7
    field.SetRange(0, 100, 2);
    Show("3");
    field.Step(-1);
    EXPECT_EQ(edit.text, "4");
    field.SetRange(0, 0xFFFFFFFFu, 0x7FFFFFFFu);
    edit.text = std::string(30, '9');  // beyond 64 bits
    field.Step(INT_MIN);
    EXPECT_EQ(edit.text, "4294967295");
    field.Step(0);
    EXPECT_EQ(edit.text, "4294967295");
}

TEST_F(NumericEditTest, WheelAndArrowKeysGoThroughTheSpin) {
    field.SetRange(0, 100, 0);
    Show("3");
    EXPECT_TRUE(field.OnMouseWheel(120));
    EXPECT_EQ(edit.text, "4");
    field.OnMouseWheel(-240);  // 4 - 2 - 0
    EXPECT_EQ(edit.text, "2");
    EXPECT_TRUE(field.OnMouseWheel(119));  // consumed, no whole notch
    EXPECT_EQ(edit.text, "2");

    EXPECT_TRUE(field.OnKeyDown(VK_UP, false));
    EXPECT_TRUE(field.OnKeyUp(VK_DOWN));
    ASSERT_EQ(edit.presses.size(), 2u);
    EXPECT_EQ(edit.presses[0].first, (CFieldPoint{0, 0}));
    EXPECT_TRUE(edit.presses[0].second);
    EXPECT_EQ(edit.presses[1].first, (CFieldPoint{0, 19}));
    EXPECT_FALSE(edit.presses[1].second);
}

TEST(NumericEditSpin, WithoutASpinNothingIsTakenOver) {
    CFakeEdit edit;
    CNumericEdit field(edit);
    edit.field = &field;
    edit.failSpin = true;
    field.AttachSpin();
    EXPECT_EQ(edit.marginRight, -1);  // no layout
    field.SetValue(3);
    EXPECT_FALSE(field.OnMouseWheel(120));
    EXPECT_FALSE(field.OnKeyDown(VK_UP, false));
    EXPECT_FALSE(field.OnSpinDeltaPos(-1));
    EXPECT_FALSE(field.OnTimer(CNumericEdit::kLayoutTimerId));
    EXPECT_EQ(edit.text, "3");
}

TEST_F(NumericEditTest, SpinIsSetUpAndLaidOutInsideTheRightEdge) {
    EXPECT_EQ(edit.setup.dwStyle, 0xA4u);
    EXPECT_EQ(edit.setup.nControlId, 1000);
    EXPECT_EQ(edit.setup.rect, edit.client);
    EXPECT_EQ(edit.setup.nLower, 10000);
    EXPECT_EQ(edit.setup.nUpper, -10000);
    EXPECT_EQ(edit.setup.accel[3].nSec, 6u);
    EXPECT_EQ(edit.setup.accel[3].nInc, 50u);
    EXPECT_EQ(edit.marginLeft, 3);
    EXPECT_EQ(edit.marginRight, 19);
    EXPECT_EQ(edit.spinRect, (CFieldRect{64, 0, 80, 20}));
    EXPECT_TRUE(edit.spinVisible);

    // A theme change re-measures the spin once the timer fires.
    edit.spinRect = {0, 2, 20, 18};
    field.OnThemeChanged();
    EXPECT_TRUE(field.OnTimer(CNumericEdit::kLayoutTimerId));
    EXPECT_FALSE(field.OnTimer(2));
    EXPECT_EQ(edit.timers, (std::vector<UINT>{1001, 1}));
    EXPECT_EQ(edit.marginRight, 23);
    EXPECT_EQ(edit.spinRect, (CFieldRect{60, 2, 80, 18}));

    // Narrower than the spin: the spin keeps its x.
    EXPECT_EQ(PlaceSpin({0, 0, 10, 20}, {4, 0, 20, 20}).rect, (CFieldRect{4, 0, 20, 20}));

    field.OnSetReadOnly(true);
    EXPECT_FALSE(edit.spinEnabled);
    field.OnEnable(true);
    EXPECT_TRUE(edit.spinEnabled);
}

TEST(NumericEditSpin, AccelerationByTimeHeld) {
    EXPECT_EQ(SpinIncrementAfter(0), 1u);
    EXPECT_EQ(SpinIncrementAfter(1999), 1u);
    EXPECT_EQ(SpinIncrementAfter(2000), 5u);
    EXPECT_EQ(SpinIncrementAfter(4000), 10u);
    EXPECT_EQ(SpinIncrementAfter(5999), 10u);
    EXPECT_EQ(SpinIncrementAfter(0xFFFFFFFFu), 50u);
}

TEST_F(NumericEditTest, PaintingAroundTheSpin) {
    const CFieldRect spinScreen{164, 100, 180, 120};
    const CFieldPoint client{100, 100}, window{98, 98};
    field.OnPaintStarting();
    EXPECT_EQ(field.OnCtlColor(spinScreen, client, window), (CFieldRect{66, 2, 82, 22}));
    EXPECT_EQ(field.OnCtlColor(spinScreen, client, window), (CFieldRect{64, 0, 80, 20}));
    EXPECT_EQ(field.OnPrintClient({5, 5}, client, {164, 100}), (CFieldPoint{-59, 5}));
    edit.spinVisible = false;
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
