// The main dialog and the About box as real windows: built from the
// program's resources, driven by messages as the user's input would drive
// them, on the virtual PC (virtual time); the real host runs in the
// program itself, end to end (tests/e2e). Runs on a display of its own
// (wine-gui-test.sh), under a Japanese locale, a non-Japanese one, and a
// Japanese one with an English display. What the dialog's logic decides is
// tested over the doubles; here, that the Windows layer carries each message
// to it and each request out to the controls.
#include <windows.h>
// After windows.h.
#include <commctrl.h>
#include <imm.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "app/resource_ids.h"
#include "platform/sim/virtual_pc.h"
#include "platform/win32/win32_host.h"
#include "tolvane_texts.h"
#include "ui/win32/main_dialog.h"
#include "ui/win32/win32_message_boxes.h"
#include "ui/win32/win32_resources.h"
#include "ui/win32/win32_text.h"

namespace Tolvane::Win32Test {
namespace {

using Win32::CMainDialog;
using Rect = std::array<LONG, 4>;

// What the window must show: the code page 932 text converted as Windows
// converts code page 932, independently of the code under test.
std::wstring Expected(const char* cp932) {
    wchar_t wide[256] = {};
    ::MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, cp932, -1, wide, 256);
    return wide;
}

std::wstring TextOf(HWND hwnd) {
    wchar_t buffer[256] = {};
    ::GetWindowTextW(hwnd, buffer, 256);
    return buffer;
}

std::wstring ClassOf(HWND hwnd) {
    wchar_t buffer[64] = {};
    ::GetClassNameW(hwnd, buffer, 64);
    return ::CharLowerW(buffer);
}

Rect Of(const RECT& r) {
    return {r.left, r.top, r.right, r.bottom};
}

Rect RectIn(HWND parent, HWND child) {
    RECT rect{};
    ::GetWindowRect(child, &rect);
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    return Of(rect);
}

// Where the dialog manager puts a control of the template: the position and
// the size are converted from dialog units each on their own.
Rect DialogUnits(HWND dialog, int x, int y, int cx, int cy) {
    RECT units{x, y, cx, cy};
    ::MapDialogRect(dialog, &units);
    return {units.left, units.top, units.left + units.right, units.top + units.bottom};
}

// Answers the modal box (the About box, a message box) that the code under
// test opens while open runs: a timer fires in the box's own message loop,
// hands the active window, if it is not the dialog under test, to inspect
// and presses OK. Returns how many boxes it saw.
int AnswerBoxes(const std::function<void()>& open, std::function<void(HWND box)> inspect,
                HWND dialog = nullptr) {
    static std::function<void(HWND)> s_inspect;
    static HWND s_dialog;
    static HWND s_answered;
    static int s_seen;
    s_inspect = std::move(inspect);
    s_dialog = dialog;
    s_answered = nullptr;
    s_seen = 0;
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 10, [](HWND, UINT, UINT_PTR, DWORD) {
        const HWND box = ::GetActiveWindow();
        if (box != nullptr && box != s_answered && box != s_dialog) {
            s_answered = box;
            ++s_seen;
            s_inspect(box);
            ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        }
    });
    open();
    ::KillTimer(nullptr, timer);
    return s_seen;
}

// Message boxes that record what they were asked instead of waiting for a
// user, with the cursor that was showing meanwhile.
class CRecordingBoxes : public CMessageBoxes {
public:
    struct Box {
        std::string text;
        HCURSOR cursor;
    };
    int MessageBox(const char* text, UINT type) override {
        shown.push_back(Box{text, ::GetCursor()});
        return (type & MB_YESNO) == MB_YESNO ? IDYES : IDOK;
    }
    std::vector<Box> shown;
};

class Win32DialogTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_UPDOWN_CLASS};
        ASSERT_TRUE(::InitCommonControlsEx(&controls));
    }

    void Open(Sim::VirtualPcConfig config = {}, ELanguage language = ELanguage::kJapanese) {
        pc = std::make_unique<Sim::CVirtualPC>(std::move(config));
        dialog = std::make_unique<CMainDialog>(::GetModuleHandleW(nullptr), *pc, language, &boxes);
        hwnd = dialog->CreateModeless(nullptr);
    }

    HWND Item(int id) const { return ::GetDlgItem(hwnd, id); }
    HWND Edit() const { return Item(IDC_TARGET_ID); }
    std::wstring Field() const { return TextOf(Edit()); }
    void Command(int id) { ::SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

    std::unique_ptr<Sim::CVirtualPC> pc;
    CRecordingBoxes boxes;
    std::unique_ptr<CMainDialog> dialog;
    HWND hwnd = nullptr;
};

// The languages the program is given load their own templates, whatever
// the run's display language: the same here in each run.
constexpr ELanguage kLanguages[] = {ELanguage::kJapanese, ELanguage::kEnglish};

TEST_F(Win32DialogTest, OpensWithTheTemplateTextsPositionsAndTabOrder) {
    // The runs differ in the ANSI code page and the display language; the
    // texts must not, and the program must take the display's language.
    const char* expect932 = std::getenv("TOLVANE_EXPECT_ANSI_CP_932");
    const char* expectJapanese = std::getenv("TOLVANE_EXPECT_LANGUAGE");
    ASSERT_TRUE(expect932 != nullptr && expectJapanese != nullptr) << "run from CTest";
    EXPECT_EQ(std::string(expect932) == "1", ::GetACP() == 932) << "ANSI code page " << ::GetACP();
    EXPECT_EQ(std::string(expectJapanese) == "ja", Win32::UserLanguage() == ELanguage::kJapanese)
        << "display language " << std::hex << ::GetUserDefaultUILanguage();
    for (const ELanguage language : kLanguages) {
        SCOPED_TRACE(language == ELanguage::kJapanese ? "Japanese" : "English");
        Open({}, language);
        ASSERT_NE(nullptr, hwnd);
        EXPECT_EQ(Expected(Text::kMainCaption.In(language)), TextOf(hwnd));
        const LONG style = ::GetWindowLongW(hwnd, GWL_STYLE);
        const LONG wanted =
            WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_MODALFRAME;
        EXPECT_EQ(wanted, style & (wanted | WS_MAXIMIZEBOX));
        EXPECT_NE(0, ::GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_APPWINDOW);
        RECT client{};
        ::GetClientRect(hwnd, &client);
        EXPECT_EQ(DialogUnits(hwnd, 0, 0, 232, 109), Of(client));

        const struct {
            int id;
            const wchar_t* className;
            std::wstring text;
            int x, y, cx, cy;
            LONG style;
        } expected[] = {
            {IDOK, L"button", Expected(Text::kExecute.In(language)), 159, 34, 53, 14,
             BS_DEFPUSHBUTTON | WS_TABSTOP},
            {IDCANCEL, L"button", Expected(Text::kQuit.In(language)), 172, 88, 53, 14,
             BS_PUSHBUTTON | WS_TABSTOP},
            {IDC_TARGET_ID, L"edit", L"0", 95, 16, 49, 14, ES_AUTOHSCROLL | WS_TABSTOP},
            {0xFFFF, L"static", Expected(Text::kTargetLabel.In(language)), 15, 16, 78, 13,
             SS_CENTERIMAGE | WS_GROUP},
            {IDC_NORMAL, L"button", Expected(Text::kExecute.In(language)), 159, 65, 53, 14,
             BS_PUSHBUTTON | WS_TABSTOP},
            {0xFFFF, L"button", Expected(Text::kGroupMassStorage.In(language)), 7, 7, 218, 47,
             BS_GROUPBOX},
            {0xFFFF, L"button", Expected(Text::kGroupNormal.In(language)), 7, 57, 218, 27,
             BS_GROUPBOX},
            {IDC_READONLY, L"button", Expected(Text::kReadOnly.In(language)), 159, 17, 61, 10,
             BS_AUTOCHECKBOX | WS_TABSTOP},
        };
        // The dialog's children in creation order, which is the tab order; the
        // spin is the edit's child, not one of these.
        HWND child = ::GetWindow(hwnd, GW_CHILD);
        for (const auto& want : expected) {
            ASSERT_NE(nullptr, child) << "missing control " << want.id;
            SCOPED_TRACE(::testing::Message() << "control " << want.id);
            EXPECT_EQ(want.id, ::GetDlgCtrlID(child) & 0xFFFF);
            EXPECT_EQ(std::wstring(want.className), ClassOf(child));
            EXPECT_EQ(want.text, TextOf(child));
            EXPECT_EQ(DialogUnits(hwnd, want.x, want.y, want.cx, want.cy), RectIn(hwnd, child));
            const LONG actual = ::GetWindowLongW(child, GWL_STYLE);
            EXPECT_EQ(want.style, actual & want.style) << std::hex << actual;
            if (want.style == (BS_PUSHBUTTON | WS_TABSTOP)) {
                EXPECT_EQ(0, actual & WS_GROUP);
            }
            child = ::GetWindow(child, GW_HWNDNEXT);
        }
        EXPECT_EQ(nullptr, child) << "more controls than the template's";
        EXPECT_EQ(BST_CHECKED, ::IsDlgButtonChecked(hwnd, IDC_READONLY));
    }
}

TEST_F(Win32DialogTest, SystemMenuIconsAndAboutBox) {
    for (const ELanguage language : kLanguages) {
        SCOPED_TRACE(language == ELanguage::kJapanese ? "Japanese" : "English");
        Open({}, language);
        ASSERT_NE(nullptr, hwnd);
        const HMENU menu = ::GetSystemMenu(hwnd, FALSE);
        const int count = ::GetMenuItemCount(menu);
        ASSERT_GE(count, 2);
        EXPECT_EQ(static_cast<UINT>(IDM_ABOUTBOX), ::GetMenuItemID(menu, count - 1));
        wchar_t item[128] = {};
        ::GetMenuStringW(menu, count - 1, item, 128, MF_BYPOSITION);
        EXPECT_EQ(Expected(Text::kAboutMenuItem.In(language)), std::wstring(item));
        EXPECT_NE(0u, ::GetMenuState(menu, count - 2, MF_BYPOSITION) & MF_SEPARATOR);

        const auto big = reinterpret_cast<HICON>(::SendMessageW(hwnd, WM_GETICON, ICON_BIG, 0));
        EXPECT_NE(nullptr, big);
        EXPECT_EQ(dialog->Icon(), big);
        EXPECT_EQ(big, reinterpret_cast<HICON>(::SendMessageW(hwnd, WM_GETICON, ICON_SMALL, 0)));
        EXPECT_EQ(big, reinterpret_cast<HICON>(::SendMessageW(hwnd, WM_QUERYDRAGICON, 0, 0)));

        // The About box opens from the menu item and closes with OK; its
        // template is read back control by control by inspect-exe.sh.
        std::vector<std::wstring> texts;
        // The low four bits of a system command belong to the system.
        EXPECT_EQ(1, AnswerBoxes(
                         [&] { ::SendMessageW(hwnd, WM_SYSCOMMAND, IDM_ABOUTBOX | 0x3, 0); },
                         [&](HWND about) {
                             texts = {TextOf(about), TextOf(::GetDlgItem(about, IDC_ABOUT_VERSION)),
                                      TextOf(::GetDlgItem(about, IDC_ABOUT_NOTE))};
                             // Halving may lose a pixel.
                             const Rect a = RectIn(nullptr, about), m = RectIn(nullptr, hwnd);
                             EXPECT_NEAR(m[0] + m[2], a[0] + a[2], 1) << "centred over the dialog";
                             EXPECT_NEAR(m[1] + m[3], a[1] + a[3], 1);
                         },
                         hwnd));
        EXPECT_EQ((std::vector<std::wstring>{Expected(Text::kAboutCaption.In(language)),
                                             Expected(Text::kAboutVersion.In(language)),
                                             Expected(Text::kAboutCopyright.In(language))}),
                  texts);
    }
}

// Typing, setting the text, the keys, the wheel, leaving the field and a
// paste each reach the field's logic, which keeps the range 0 to 6.
TEST_F(Win32DialogTest, TheFieldHearsTypingTextKeysWheelFocusAndPaste) {
    Open();
    ASSERT_NE(nullptr, hwnd);
    EXPECT_EQ(nullptr, ::ImmGetContext(Edit())) << "the input method must be detached";
    ::SendMessageW(Edit(), WM_CHAR, L'9', 1);
    EXPECT_EQ(L"6", Field());
    ::SendMessageW(Edit(), WM_CHAR, L'a', 1);  // refused: never reaches the edit
    EXPECT_EQ(L"6", Field());
    // The focus on 1001 the dialog manager's way, which frames it as default.
    ::SendMessageW(hwnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(IDC_NORMAL)), TRUE);
    ::SendMessageW(Edit(), WM_KEYDOWN, VK_DOWN, 1);
    ::SendMessageW(Edit(), WM_KEYUP, VK_DOWN, 0xC0000001);
    EXPECT_EQ(L"5", Field());
    EXPECT_EQ(Edit(), ::GetFocus()) << "a step takes the focus to the field";
    EXPECT_EQ(BS_DEFPUSHBUTTON, ::GetWindowLongW(Item(IDOK), GWL_STYLE) & 0xF) << "and the frame";
    // Down held while Tab moves on: its key-up goes elsewhere, and the spin
    // must let go with the focus (a press it kept would go on stepping).
    ::SendMessageW(Edit(), WM_KEYDOWN, VK_DOWN, 1);
    ::SendMessageW(hwnd, WM_NEXTDLGCTL, 0, FALSE);
    EXPECT_EQ(std::make_pair(std::wstring(L"4"), HWND{}), std::make_pair(Field(), ::GetCapture()));
    ::SendMessageW(Edit(), WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), 0);  // away from the user
    EXPECT_EQ(L"5", Field());
    // Text that comes without typing or WM_PASTE (Wine's edit pastes
    // Shift+Insert this way) is checked too; the step left the caret at 0.
    ::SendMessageW(Edit(), EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L"0x0"));
    ::SetFocus(Item(IDCANCEL));
    EXPECT_EQ(L"5", Field()) << "0x05 without the x; leaving the field puts 005 in shape";

    ::SetWindowTextW(Edit(), L"");
    ASSERT_TRUE(::OpenClipboard(hwnd));
    ::EmptyClipboard();
    const wchar_t pasted[] = L"a1\x00B2";  // superscript two: a look-alike, no digit
    const HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, sizeof pasted);
    std::memcpy(::GlobalLock(memory), pasted, sizeof pasted);
    ::GlobalUnlock(memory);
    ASSERT_NE(nullptr, ::SetClipboardData(CF_UNICODETEXT, memory));
    ::CloseClipboard();
    ::SendMessageW(Edit(), WM_PASTE, 0, 0);
    EXPECT_EQ(L"1", Field()) << "only the digits";
    EXPECT_TRUE(::IsWindowVisible(Edit())) << "redrawing must be back on";
}

// The spin the field creates: set up as the field asks, laid out inside the
// field's right edge, cut out of the edit's painting, printed with it, and
// following the field's state, theme and life.
TEST_F(Win32DialogTest, TheSpinIsMadeLaidOutPaintedAndKeptInStep) {
    Open();
    ASSERT_NE(nullptr, hwnd);
    const HWND spin = ::GetWindow(Edit(), GW_CHILD);
    ASSERT_NE(nullptr, spin);
    EXPECT_EQ(std::wstring(L"msctls_updown32"), ClassOf(spin));
    const LONG wanted = UDS_ALIGNRIGHT | UDS_ARROWKEYS | UDS_NOTHOUSANDS | WS_CHILD | WS_VISIBLE;
    EXPECT_EQ(wanted, ::GetWindowLongW(spin, GWL_STYLE) & wanted);
    int lower = 0;
    int upper = 0;
    ::SendMessageW(spin, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&lower),
                   reinterpret_cast<LPARAM>(&upper));
    EXPECT_EQ(std::make_pair(10000, -10000), std::make_pair(lower, upper));
    UDACCEL accel[8] = {};
    ASSERT_EQ(4, ::SendMessageW(spin, UDM_GETACCEL, 8, reinterpret_cast<LPARAM>(accel)));
    EXPECT_EQ(6u, accel[3].nSec);
    EXPECT_EQ(50u, accel[3].nInc);

    RECT client{};
    ::GetClientRect(Edit(), &client);
    const Rect at = RectIn(Edit(), spin);
    const LONG width = at[2] - at[0];
    EXPECT_EQ((Rect{client.right - width, client.top, client.right, client.bottom}), at);
    EXPECT_EQ(MAKELONG(3, width + 3), ::SendMessageW(Edit(), EM_GETMARGINS, 0, 0));

    // The edit's colour messages cut the spin out of what the edit paints.
    const HDC dc = ::GetDC(Edit());
    ::SendMessageW(hwnd, WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc),
                   reinterpret_cast<LPARAM>(Edit()));
    EXPECT_FALSE(::PtVisible(dc, at[0] + width / 2, (at[1] + at[3]) / 2));
    EXPECT_TRUE(::PtVisible(dc, 2, (at[1] + at[3]) / 2));
    ::ReleaseDC(Edit(), dc);

    // Printing the field's client area prints the spin into it as well.
    const HDC screen = ::GetDC(nullptr);
    const HDC memory = ::CreateCompatibleDC(screen);
    const HBITMAP bitmap = ::CreateCompatibleBitmap(screen, client.right, client.bottom);
    ::ReleaseDC(nullptr, screen);
    const HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::PatBlt(memory, 0, 0, client.right, client.bottom, WHITENESS);
    ::SendMessageW(Edit(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory), PRF_CLIENT);
    EXPECT_NE(RGB(255, 255, 255), ::GetPixel(memory, at[0] + width / 2, (at[1] + at[3]) / 2))
        << "nothing of the spin was printed";
    ::SelectObject(memory, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);

    ::SendMessageW(Edit(), EM_SETREADONLY, TRUE, 0);
    EXPECT_FALSE(::IsWindowEnabled(spin));
    ::SendMessageW(Edit(), EM_SETREADONLY, FALSE, 0);
    ::EnableWindow(Edit(), FALSE);
    EXPECT_FALSE(::IsWindowEnabled(spin));
    ::EnableWindow(Edit(), TRUE);
    EXPECT_TRUE(::IsWindowEnabled(spin));
    // A theme change starts the layout timer; its tick lays the spin out
    // again and stops it.
    ::SendMessageW(Edit(), WM_THEMECHANGED, 0, 0);
    EXPECT_TRUE(::KillTimer(Edit(), 1)) << "no layout timer after the theme change";
    ::SendMessageW(Edit(), WM_THEMECHANGED, 0, 0);
    ::MoveWindow(spin, 0, 0, width, at[3] - at[1], FALSE);
    ::SendMessageW(Edit(), WM_TIMER, 1, 0);
    EXPECT_EQ(at, RectIn(Edit(), spin));
    EXPECT_FALSE(::KillTimer(Edit(), 1)) << "the tick must stop the timer";
    // The spin outlives the field's window.
    ::DestroyWindow(Edit());
    EXPECT_TRUE(::IsWindow(spin));
    EXPECT_EQ(hwnd, ::GetParent(spin));
}

TEST_F(Win32DialogTest, OperationsRunUnderTheWaitCursorAndTheCloseBoxEnds) {
    Open();
    ASSERT_NE(nullptr, hwnd);
    Command(IDOK);
    Command(IDC_NORMAL);
    const HCURSOR wait = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32514));  // IDC_WAIT
    ASSERT_EQ(4u, boxes.shown.size());
    for (const auto& box : boxes.shown) {
        EXPECT_EQ(wait, box.cursor);
    }
    EXPECT_NE(wait, ::GetCursor());
    // The close box ends it (QUIT ends the program in every e2e_wine row).
    ::SendMessageW(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::DispatchMessageW(&message);
    }
    EXPECT_FALSE(::IsWindow(hwnd));
    EXPECT_EQ(IDCANCEL, dialog->Logic().Result());
}

TEST_F(Win32DialogTest, WithoutAdministratorRightsOneMessageAndNoWindow) {
    Sim::VirtualPcConfig config;
    config.administrator = false;
    Open(config);
    EXPECT_EQ(nullptr, hwnd);
    EXPECT_EQ(1u, boxes.shown.size());

    // Modal, with the real message box: owned by the dialog, in its
    // language, with the application's title; the loop ends before the
    // dialog is ever shown.
    for (const ELanguage language : kLanguages) {
        CMainDialog modal(::GetModuleHandleW(nullptr), *pc, language);
        std::wstring text;
        std::wstring caption;
        HWND owner = nullptr;
        INT_PTR result = 0;
        EXPECT_EQ(1, AnswerBoxes([&] { result = modal.RunModal(nullptr); },
                                 [&](HWND box) {
                                     text = TextOf(::GetDlgItem(box, 0xFFFF));
                                     caption = TextOf(box);
                                     owner = ::GetWindow(box, GW_OWNER);
                                 }));
        EXPECT_EQ(IDOK, result);
        EXPECT_EQ(Expected(Text::kNeedAdmin.In(language)), text);
        EXPECT_EQ(std::wstring(L"test_win32_dialog"), caption) << "the program file's name";
        EXPECT_NE(nullptr, owner);
        EXPECT_EQ(nullptr, modal.Window());
    }
}

// The real host under Wine, which has no adapter: the switch says so, in a
// box that an Enter typed ahead of it does not close, and the dialog stays.
TEST(Win32HostTest, AnEnterTypedAheadDoesNotAnswerTheBox) {
    Win32::CWin32Host host;
    // With the real message boxes; a refused check's box would be answered.
    CMainDialog dialog(::GetModuleHandleW(nullptr), host, ELanguage::kJapanese);
    HWND hwnd = nullptr;
    EXPECT_EQ(0, AnswerBoxes([&] { hwnd = dialog.CreateModeless(nullptr); }, [](HWND) {}));
    ASSERT_NE(nullptr, hwnd);
    ::keybd_event(VK_RETURN, 0, 0, 0);
    ::keybd_event(VK_RETURN, 0, KEYEVENTF_KEYUP, 0);
    std::wstring text;
    EXPECT_EQ(1, AnswerBoxes([&] { ::SendMessageW(hwnd, WM_COMMAND, IDOK, 0); },
                             [&](HWND box) { text = TextOf(::GetDlgItem(box, 0xFFFF)); }, hwnd));
    EXPECT_EQ(Expected(Text::kAdapterNotFoundMaybeMass.japanese), text);
    EXPECT_TRUE(::IsWindow(hwnd));
}

// The code page 932 conversions of the field on the real national-language
// support, under both ANSI code pages: characters typed into it, and caret
// positions between bytes and UTF-16 units.
TEST(Win32Text, TypedCharactersAsTheFieldSeesThem) {
    const std::pair<wchar_t, UINT> rows[] = {
        {L'9', '9'},
        {L'\x16', 22},
        {L'\xFF71', 0xB1},    // half-width katakana a
        {L'\xFF11', 0x8250},  // full-width one
        // No code page 932 form: a value outside every allowed list.
        {L'\xD83D', 0xFFFF},  // surrogate half
        {L'\x0661', 0xFFFF},  // Arabic-Indic one
        {L'\x00B2', 0xFFFF},  // superscript two: no look-alike 2
    };
    for (const auto& [typed, code] : rows) {
        EXPECT_EQ(code, Win32::CharCodeCp932(typed)) << static_cast<int>(typed);
    }
}

TEST(Win32Text, CaretPositionsBetweenBytesAndUnits) {
    // "1", a double-byte kanji, "2", a surrogate pair (no code page 932
    // form: one '?' per unit), "3".
    const std::wstring text =
        L"1\x5B9F"
        L"2\xD83D\xDE00"
        L"3";
    const int bytes[] = {0, 1, 3, 4, 5, 6, 7};
    for (int unit = 0; unit <= 6; ++unit) {
        EXPECT_EQ(bytes[unit], Win32::BytePosition(text, unit)) << "unit " << unit;
    }
    EXPECT_EQ(0, Win32::BytePosition(text, -3));
    EXPECT_EQ(7, Win32::BytePosition(text, 99));
    // Byte position, unit position: inside a double byte the caret goes
    // after it, and a surrogate pair is never split.
    const std::pair<int, int> units[] = {{-1, 0}, {0, 0}, {1, 1}, {2, 2},  {3, 2},
                                         {4, 3},  {5, 5}, {7, 6}, {100, 6}};
    for (const auto& [byte, unit] : units) {
        EXPECT_EQ(unit, Win32::UnitPosition(text, byte)) << "byte " << byte;
    }
}

// A string-table block walked within its size: a length that runs past the
// end gives no string, never what follows.
TEST(Win32Resources, TheStringsOfABlock) {
    // "ab", "", "c", twelve empty strings, "z": 20 units.
    const wchar_t block[] = {2, L'a', L'b', 0, 1, L'c', 0, 0, 0, 0,
                             0, 0,    0,    0, 0, 0,    0, 0, 1, L'z'};
    const std::tuple<std::size_t, UINT, std::wstring> rows[] = {
        {20, 0, L"ab"}, {20, 1, L""},  {20, 2, L"c"}, {20, 15, L"z"},
        {19, 15, L""},  {18, 15, L""}, {5, 2, L""},   {0, 0, L""},
    };
    for (const auto& [units, index, string] : rows) {
        EXPECT_EQ(string, Win32::StringOfBlock(block, units, index)) << units << " " << index;
    }
}

}  // namespace
}  // namespace Tolvane::Win32Test
