#include "app/numeric_edit.h"

#include <climits>
#include <cstdio>
#include <limits>
#include <utility>

namespace Tolvane {

namespace {

constexpr UINT kCharCopy = 3;
constexpr UINT kCharBackspace = 8;
constexpr UINT kCharTab = 9;
constexpr UINT kCharReturn = 13;
constexpr UINT kCharPaste = 22;
constexpr UINT kCharCut = 24;
constexpr UINT kCharMinus = '-';

constexpr std::array<CSpinAccel, 4> kSpinAccel = {{{0, 1}, {2, 5}, {4, 10}, {6, 50}}};

// Restores a flag on every way out, exceptions included, so that a failed
// hook cannot leave the field deaf to its own notifications.
class CFlagScope {
public:
    CFlagScope(bool& flag, bool during) : m_flag(flag), m_restore(!during) { m_flag = during; }
    ~CFlagScope() { m_flag = m_restore; }
    CFlagScope(const CFlagScope&) = delete;
    CFlagScope& operator=(const CFlagScope&) = delete;

private:
    bool& m_flag;
    bool m_restore;
};

int ClampPosition(int position, std::size_t length) {
    if (position < 0) {
        return 0;
    }
    if (static_cast<std::size_t>(position) > length) {
        return static_cast<int>(length);
    }
    return position;
}

std::int64_t SaturatingAdd(std::int64_t a, std::int64_t b) {
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    if (b > 0 && a > kMax - b) {
        return kMax;
    }
    if (b < 0 && a < kMin - b) {
        return kMin;
    }
    return a + b;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

// ---------------------------------------------------------------------------
// CFilterEdit

CFilterEdit::CFilterEdit(CEditControl& control) : m_control(control) {}

void CFilterEdit::OnAttach() {
    m_control.DetachInputMethod();
}

bool CFilterEdit::OnChar(UINT ch, DWORD keyData) {
    if (ch == kCharTab) {
        return false;
    }
    if (!IsValidChar(ch, keyData, m_control.GetText())) {
        OnInvalidChar();
        return false;
    }
    return true;
}

bool CFilterEdit::OnPaste() {
    if (!m_bClipboardAllowed) {
        return false;
    }
    {
        CFlagScope pasting(m_bPasting, true);
        m_control.SetRedraw(false);
        m_control.DefaultPaste();
    }
    m_control.SetRedraw(true);
    m_control.InvalidateAll();
    return true;
}

bool CFilterEdit::OnKeyDown(UINT vk, bool ctrlDown) {
    // Ctrl+Tab would otherwise insert a tab character into the field.
    return vk == VK_TAB && ctrlDown;
}

bool CFilterEdit::OnKeyUp(UINT) {
    return false;
}

void CFilterEdit::OnNotification(UINT code) {
    if (!m_bNotifyGuard) {
        return;
    }
    CFlagScope guard(m_bNotifyGuard, false);
    switch (code) {
        case EN_UPDATE:
            // Text also comes by roads other than typing and WM_PASTE (Wine's
            // edit pastes Shift+Insert by itself, a program may replace the
            // selection): what typing could not have put there is checked
            // like a paste.
            if (m_bPasting || HoldsRefusedChar(m_control.GetText())) {
                RecheckText();
            }
            OnTextUpdate();
            break;
        case EN_SETFOCUS:
            OnGotFocus();
            break;
        case EN_KILLFOCUS:
            OnLostFocus();
            break;
        default:
            break;
    }
}

void CFilterEdit::RecheckText() {
    const std::string text = m_control.GetText();
    std::string kept;
    kept.reserve(text.size());
    bool deleted = false;
    for (char c : text) {
        const int position = static_cast<int>(kept.size());
        m_control.SetSel(position, position);
        m_control.ScrollCaret();
        if (IsValidChar(static_cast<unsigned char>(c), 0, kept)) {
            kept.push_back(c);
        } else {
            deleted = true;
        }
    }
    if (deleted) {
        OnInvalidChar();
    }
    SetWindowText(kept);
    PutCaret(static_cast<int>(kept.size()));
}

bool CFilterEdit::HoldsRefusedChar(const std::string& text) const {
    std::string before;
    before.reserve(text.size());
    for (char c : text) {
        if (!IsValidChar(static_cast<unsigned char>(c), 0, before)) {
            return true;
        }
        before.push_back(c);
    }
    return false;
}

bool CFilterEdit::IsValidChar(UINT ch, DWORD keyData, const std::string&) const {
    const bool typed = (keyData & kTypedChar) != 0;
    if (typed && ch == kCharCopy) {
        return true;
    }
    if (m_bClipboardAllowed && typed && (ch == kCharCut || ch == kCharPaste)) {
        return true;
    }
    // Backspace and Enter are editing keys, not text: a pasted control byte
    // must not stay in the field.
    if (typed && (ch == kCharBackspace || ch == kCharReturn)) {
        return true;
    }
    // Only single bytes can match; a wider code must not be cut down to one
    // of the allowed bytes, and 0 is never a character of the text.
    if (ch == 0 || ch > 0xFF) {
        return false;
    }
    return m_strAllowedChars.find(static_cast<char>(ch)) != std::string::npos;
}

void CFilterEdit::OnInvalidChar() {
    m_control.Beep(0);
}

void CFilterEdit::SetWindowText(const std::string& text) {
    m_control.SetText(text);
    OnNotification(EN_UPDATE);
}

void CFilterEdit::PutCaret(int position) {
    const int at = ClampPosition(position, m_control.GetText().size());
    m_control.SetSel(at, at);
    m_control.ScrollCaret();
}

// ---------------------------------------------------------------------------
// CNumericEdit

CNumericEdit::CNumericEdit(CEditControl& control) : CFilterEdit(control) {
    m_strAllowedChars = "-0123456789";
}

std::string CNumericEdit::FormatValue(DWORD value) const {
    return FormatInt64(ClampInt64(static_cast<std::int64_t>(value)));
}

void CNumericEdit::SetValue(DWORD value) {
    SetWindowText(FormatValue(value));
}

bool CNumericEdit::GetValue(DWORD& value) const {
    if (m_strLastText.empty()) {
        return false;
    }
    const std::int64_t clamped = ClampInt64(ParseInt64(m_strLastText));
    value = static_cast<DWORD>(static_cast<std::uint64_t>(clamped));
    return true;
}

void CNumericEdit::SetRange(DWORD minimum, DWORD maximum, DWORD step) {
    std::int64_t low = minimum;
    std::int64_t high = maximum;
    if (low > high) {
        std::swap(low, high);
    }
    if (high > kMaxRange) {
        high = kMaxRange;
    }
    if (low < 0) {
        low = 0;
    }
    m_i64Minimum = low;
    m_i64Maximum = high;
    // The step is kept as an int; a step beyond its range is taken as the
    // largest int rather than wrapping to a negative step.
    if (step == 0) {
        m_nStep = 1;
    } else if (step > static_cast<DWORD>(INT_MAX)) {
        m_nStep = INT_MAX;
    } else {
        m_nStep = static_cast<int>(step);
    }
    OnRangeChanged();
}

void CNumericEdit::SetDigits(int digits) {
    m_nDigits = digits > kMaxDigits ? kMaxDigits : digits;
}

std::string CNumericEdit::FormatInt64(std::int64_t value) const {
    char buffer[kMaxDigits + 24];
    const long long v = value;
    if (m_nDigits <= 0) {
        std::snprintf(buffer, sizeof buffer, "%lld", v);
    } else {
        const int digits = m_nDigits > kMaxDigits ? kMaxDigits : m_nDigits;
        // One more column for a negative value, so the sign does not eat a
        // digit.
        const int width = value < 0 ? digits + 1 : digits;
        std::snprintf(buffer, sizeof buffer, "%0*lld", width, v);
    }
    return buffer;
}

std::int64_t CNumericEdit::ParseInt64(const std::string& text) const {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Accumulate towards the sign's side so that INT64_MIN itself parses.
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        const int digit = text[i] - '0';
        if (negative) {
            if (value < (kMin + digit) / 10) {
                return kMin;
            }
            value = value * 10 - digit;
        } else {
            if (value > (kMax - digit) / 10) {
                return kMax;
            }
            value = value * 10 + digit;
        }
    }
    return value;
}

std::int64_t CNumericEdit::ClampInt64(std::int64_t value) const {
    if (value > m_i64Maximum) {
        value = m_i64Maximum;
    }
    if (value < m_i64Minimum) {
        value = m_i64Minimum;
    }
    if (m_nStep == 1) {
        return value;
    }
    if (m_i64Minimum <= 0) {
        return value - value % m_nStep;
    }
    return value - (value - m_i64Minimum) % m_nStep;
}

void CNumericEdit::SetTextKeepingCaret(const std::string& text) {
    const int start = Control().GetSel().start;
    SetWindowText(text);
    PutCaret(start);
}

void CNumericEdit::AttachSpin() {
    CEditControl& control = Control();
    if (control.HasSpin()) {
        return;
    }
    const CFieldRect client = control.GetClientRect();
    m_nClientHeight = client.Height();
    if (!control.CreateSpin(MakeSpinSetup(client))) {
        return;
    }
    LayoutSpin();
}

void CNumericEdit::LayoutSpin() {
    CEditControl& control = Control();
    if (!control.HasSpin()) {
        return;
    }
    const CSpinPlacement placement = PlaceSpin(control.GetClientRect(), control.GetSpinRect());
    control.SetMargins(placement.nLeftMargin, placement.nRightMargin);
    control.MoveSpin(placement.rect);
    control.ShowSpin();
}

void CNumericEdit::Step(int delta) {
    CEditControl& control = Control();
    // A zero delta has no direction, and with a step of 1 it would be the
    // divisor below.
    if (delta == 0 || control.IsReadOnly()) {
        return;
    }
    const std::int64_t value = ParseInt64(control.GetText());
    const std::int64_t magnitude = delta < 0 ? -static_cast<std::int64_t>(delta) : delta;
    std::int64_t amount = static_cast<std::int64_t>(m_nStep) * magnitude;
    if (delta > 0) {
        amount = -amount;
    }
    const std::int64_t divisor = m_nStep == 1 ? magnitude : m_nStep;
    // Dropping the remainder first lands accelerated steps on multiples of
    // the increment; it also keeps the sum inside 64 bits for a text at the
    // limits.
    std::int64_t next = SaturatingAdd(value - value % divisor, amount);
    if (next > m_i64Maximum) {
        next = m_i64Maximum;
    }
    if (next < m_i64Minimum) {
        next = m_i64Minimum;
    }
    if (next == value) {
        return;
    }
    control.SetFocus();
    SetTextKeepingCaret(FormatInt64(next));
    PutCaret(0);
}

bool CNumericEdit::OnSpinDeltaPos(int delta) {
    CEditControl& control = Control();
    if (!control.HasSpin()) {
        return false;
    }
    if (delta != 0) {
        Step(delta);
    }
    control.SetSpinPos(0);
    return true;
}

bool CNumericEdit::OnMouseWheel(int distance) {
    if (!Control().HasSpin()) {
        return false;
    }
    const int notches = distance / WHEEL_DELTA;
    if (notches != 0) {
        Step(-notches);
    }
    return true;
}

CFieldPoint CNumericEdit::ArrowPoint(UINT vk) const {
    const int bottom = m_nClientHeight > 0 ? m_nClientHeight - 1 : 0;
    return CFieldPoint{0, vk == VK_UP ? 0 : bottom};
}

// Each press of the spin gets its release: a held key's repeated key-downs
// press nothing more (the spin repeats by itself), the other arrow first
// lets go of the one held, and the focus leaving the field lets go too, as
// the key-up then goes elsewhere.
bool CNumericEdit::OnKeyDown(UINT vk, bool ctrlDown) {
    CEditControl& control = Control();
    if ((vk == VK_UP || vk == VK_DOWN) && control.HasSpin()) {
        if (vk != m_nPressedArrow) {
            ReleaseArrow();
            m_nPressedArrow = vk;
            control.PressSpin(ArrowPoint(vk), true);
        }
        return true;
    }
    return CFilterEdit::OnKeyDown(vk, ctrlDown);
}

bool CNumericEdit::OnKeyUp(UINT vk) {
    if ((vk == VK_UP || vk == VK_DOWN) && Control().HasSpin()) {
        if (vk == m_nPressedArrow) {
            ReleaseArrow();
        }
        return true;
    }
    return CFilterEdit::OnKeyUp(vk);
}

void CNumericEdit::ReleaseArrow() {
    const UINT vk = m_nPressedArrow;
    m_nPressedArrow = 0;
    if (vk != 0 && Control().HasSpin()) {
        Control().PressSpin(ArrowPoint(vk), false);
    }
}

void CNumericEdit::OnDestroy() {
    if (Control().HasSpin()) {
        Control().ReparentSpinToOwner();
    }
}

void CNumericEdit::OnEnable(bool enabled) {
    if (Control().HasSpin()) {
        Control().EnableSpin(enabled);
    }
}

void CNumericEdit::OnSetReadOnly(bool readOnly) {
    if (Control().HasSpin()) {
        Control().EnableSpin(!readOnly);
    }
}

void CNumericEdit::OnPaintStarting() {
    if (Control().HasSpin()) {
        m_bPainted = true;
    }
}

void CNumericEdit::OnPaintFinished() {
    if (Control().HasSpin()) {
        Control().RedrawSpinNow();
    }
}

std::optional<CFieldRect> CNumericEdit::OnCtlColor(const CFieldRect& spinScreen,
                                                   CFieldPoint clientOriginScreen,
                                                   CFieldPoint windowOriginScreen) {
    // During a paint or print the device context starts at the window's
    // corner, not at the client area's.
    const bool fromWindow = m_bPainted;
    m_bPainted = false;
    CEditControl& control = Control();
    if (!control.HasSpin() || !control.IsSpinVisible()) {
        return std::nullopt;
    }
    const CFieldPoint origin = fromWindow ? windowOriginScreen : clientOriginScreen;
    return CFieldRect{spinScreen.left - origin.x, spinScreen.top - origin.y,
                      spinScreen.right - origin.x, spinScreen.bottom - origin.y};
}

std::optional<CFieldPoint> CNumericEdit::OnPrintClient(CFieldPoint windowOrigin,
                                                       CFieldPoint fieldClientScreen,
                                                       CFieldPoint spinClientScreen) const {
    CEditControl& control = Control();
    if (!control.HasSpin() || !control.IsSpinVisible()) {
        return std::nullopt;
    }
    return CFieldPoint{windowOrigin.x - (spinClientScreen.x - fieldClientScreen.x),
                       windowOrigin.y - (spinClientScreen.y - fieldClientScreen.y)};
}

void CNumericEdit::OnThemeChanged() {
    // The spin's width may change with the theme; lay it out again once the
    // new theme is in place.
    if (Control().HasSpin()) {
        Control().StartTimer(kLayoutTimerId, kLayoutTimerPeriodMs);
    }
}

bool CNumericEdit::OnTimer(UINT id) {
    if (id != kLayoutTimerId || !Control().HasSpin()) {
        return false;
    }
    Control().StopTimer(kLayoutTimerId);
    LayoutSpin();
    return true;
}

bool CNumericEdit::IsValidChar(UINT ch, DWORD keyData, const std::string& text) const {
    if (ch != kCharMinus) {
        return CFilterEdit::IsValidChar(ch, keyData, text);
    }
    if (m_i64Minimum >= 0) {
        return false;
    }
    const CFieldSel sel = Control().GetSel();
    if (text.find('-') == std::string::npos) {
        return sel.start == 0;
    }
    // Only when the old sign is being replaced.
    return sel.start == 0 && sel.end > 0;
}

void CNumericEdit::OnTextUpdate() {
    m_strLastText = Control().GetText();
    const std::int64_t value = ParseInt64(m_strLastText);
    if (value <= m_i64Maximum) {
        // Values below the minimum are left alone while typing: the user
        // may still be on the way to a valid number.
        return;
    }
    // The highest value the field can hold, so that what it shows is what
    // GetValue reports.
    const std::int64_t corrected = ClampInt64(m_i64Maximum);
    SetTextKeepingCaret(FormatInt64(corrected));
    if (corrected != value) {
        Control().Beep(MB_ICONASTERISK);
    }
}

void CNumericEdit::OnLostFocus() {
    ReleaseArrow();
    const std::string text = Control().GetText();
    if (text.empty()) {
        return;
    }
    const std::int64_t value = ParseInt64(text);
    const std::int64_t clamped = ClampInt64(value);
    const std::string formatted = FormatInt64(clamped);
    if (formatted != text) {
        SetWindowText(formatted);
    }
    if (clamped != value) {
        Control().Beep(MB_ICONASTERISK);
    }
}

// ---------------------------------------------------------------------------
// Spin geometry and timing

CSpinSetup MakeSpinSetup(const CFieldRect& client) {
    CSpinSetup setup;
    setup.dwStyle = kUdsAlignRight | kUdsArrowKeys | kUdsNoThousands;
    setup.nControlId = CNumericEdit::kSpinControlId;
    setup.rect = client;
    setup.accel = kSpinAccel;
    setup.nLower = CNumericEdit::kSpinLower;
    setup.nUpper = CNumericEdit::kSpinUpper;
    setup.nPos = 0;
    return setup;
}

CSpinPlacement PlaceSpin(const CFieldRect& client, const CFieldRect& spin) {
    const int width = spin.Width();
    int x = client.right - width - client.left;
    if (x < 0) {
        x = spin.left;
    }
    CSpinPlacement placement;
    placement.nLeftMargin = CNumericEdit::kTextMargin;
    placement.nRightMargin = width + CNumericEdit::kTextMargin;
    placement.rect = CFieldRect{x, spin.top, x + width, spin.bottom};
    return placement;
}

UINT SpinIncrementAfter(DWORD heldMs) {
    UINT increment = kSpinAccel[0].nInc;
    for (const CSpinAccel& accel : kSpinAccel) {
        if (static_cast<std::uint64_t>(accel.nSec) * 1000u <= heldMs) {
            increment = accel.nInc;
        }
    }
    return increment;
}

}  // namespace Tolvane
