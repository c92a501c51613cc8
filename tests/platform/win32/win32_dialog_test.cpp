// The main dialog and the About box as real windows: built from the
// program's resources, driven by messages as the user's input would drive
// them, on the virtual PC (virtual time) or on the real registry of the
// test's own Wine prefix. Runs on a display of its own (wine-gui-test.sh),
// once under a Japanese and once under a non-Japanese locale.
#include <windows.h>
// After windows.h.
#include <commctrl.h>
#include <imm.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "app/resource_ids.h"
#include "modal_watcher.h"
#include "platform/sim/virtual_pc.h"
#include "platform/win32/app/main_dialog.h"
#include "platform/win32/app/win32_host.h"
#include "platform/win32/app/win32_message_boxes.h"
#include "scratch_key.h"
#include "tolvane_texts.h"

namespace Tolvane::Win32Test {
namespace {

using Win32::CMainDialog;

// What the window must show: the code page 932 text converted as Windows
// converts code page 932, independently of the code under test.
std::wstring Expected(const char* cp932) {
    const int units = ::MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, cp932, -1, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(units > 0 ? units : 1), L'\0');
    ::MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, cp932, -1, &wide[0], units);
    wide.resize(wide.size() - 1);
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
    std::wstring name = buffer;
    for (wchar_t& c : name) {
        c = static_cast<wchar_t>(::towlower(c));
    }
    return name;
}

RECT RectIn(HWND parent, HWND child) {
    RECT rect{};
    ::GetWindowRect(child, &rect);
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// Where the dialog manager puts a control of the template: the position and
// the size are converted from dialog units each on their own.
RECT DialogUnits(HWND dialog, int x, int y, int cx, int cy) {
    RECT units{x, y, cx, cy};
    ::MapDialogRect(dialog, &units);
    return RECT{units.left, units.top, units.left + units.right, units.top + units.bottom};
}

::testing::AssertionResult SameRect(const RECT& expected, const RECT& actual) {
    if (::EqualRect(&expected, &actual)) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "expected (" << expected.left << "," << expected.top << ")-(" << expected.right << ","
           << expected.bottom << "), got (" << actual.left << "," << actual.top << ")-("
           << actual.right << "," << actual.bottom << ")";
}

LOGFONTW FontOf(HWND hwnd) {
    LOGFONTW font{};
    const auto handle = reinterpret_cast<HFONT>(::SendMessageW(hwnd, WM_GETFONT, 0, 0));
    ::GetObjectW(handle, sizeof font, &font);
    return font;
}

int FontHeightForPoints(int points) {
    const HDC screen = ::GetDC(nullptr);
    const int height = -::MulDiv(points, ::GetDeviceCaps(screen, LOGPIXELSY), 72);
    ::ReleaseDC(nullptr, screen);
    return height;
}

HCURSOR WaitCursor() {
    return ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32514));
}

// Message boxes that record what they were asked instead of waiting for a
// user, with the cursor that was showing meanwhile.
class CRecordingBoxes : public CMessageBoxes {
public:
    struct Box {
        std::string text;
        UINT type;
        HCURSOR cursor;
    };
    int MessageBox(const char* text, UINT type) override {
        shown.push_back(Box{text, type, ::GetCursor()});
        return (type & MB_YESNO) == MB_YESNO ? answer : IDOK;
    }
    std::vector<Box> shown;
    int answer = IDYES;
};

class Win32DialogTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_UPDOWN_CLASS};
        ASSERT_TRUE(::InitCommonControlsEx(&controls));
    }

    void Open(Sim::VirtualPcConfig config = {}) {
        pc = std::make_unique<Sim::CVirtualPC>(std::move(config));
        dialog = std::make_unique<CMainDialog>(::GetModuleHandleW(nullptr), *pc, &boxes);
        hwnd = dialog->CreateModeless(nullptr);
    }
    void TearDown() override {
        dialog.reset();
        pc.reset();
    }

    HWND Item(int id) const { return ::GetDlgItem(hwnd, id); }
    HWND Edit() const { return Item(IDC_TARGET_ID); }
    HWND Spin() const { return ::GetWindow(Edit(), GW_CHILD); }
    std::wstring Field() const { return TextOf(Edit()); }
    void Command(int id) {
        ::SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                       reinterpret_cast<LPARAM>(Item(id)));
    }
    void Key(UINT vk) {
        ::SendMessageW(Edit(), WM_KEYDOWN, vk, 1);
        ::SendMessageW(Edit(), WM_KEYUP, vk, 0xC0000001);
    }
    void Type(wchar_t ch) { ::SendMessageW(Edit(), WM_CHAR, ch, 1); }
    void Wheel(int notches) {
        ::SendMessageW(Edit(), WM_MOUSEWHEEL,
                       MAKEWPARAM(0, static_cast<WORD>(notches * WHEEL_DELTA)), 0);
    }
    // What the window system posts (the close box's IDCANCEL) arrives here.
    static void Pump() {
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }

    std::unique_ptr<Sim::CVirtualPC> pc;
    CRecordingBoxes boxes;
    std::unique_ptr<CMainDialog> dialog;
    HWND hwnd = nullptr;
};

TEST_F(Win32DialogTest, RunsWithTheAnsiCodePageTheLocaleGives) {
    // The two runs differ in the ANSI code page; the texts must not.
    const char* expect932 = std::getenv("TOLVANE_EXPECT_ANSI_CP_932");
    ASSERT_NE(nullptr, expect932) << "run through wine-gui-test.sh from CTest";
    EXPECT_EQ(std::string(expect932) == "1", ::GetACP() == 932) << "ANSI code page " << ::GetACP();
}

TEST_F(Win32DialogTest, OpensWithTheTemplateTextsPositionsAndTabOrder) {
    Open();
    ASSERT_NE(nullptr, hwnd);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(Expected(Text::kMainCaption), TextOf(hwnd));
    const LONG style = ::GetWindowLongW(hwnd, GWL_STYLE);
    const LONG wanted =
        WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_MODALFRAME;
    EXPECT_EQ(wanted, style & wanted);
    EXPECT_EQ(0, style & WS_MAXIMIZEBOX);
    EXPECT_NE(0, ::GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_APPWINDOW);
    RECT client{};
    ::GetClientRect(hwnd, &client);
    EXPECT_TRUE(SameRect(DialogUnits(hwnd, 0, 0, 232, 109), client));
    const LOGFONTW font = FontOf(hwnd);
    EXPECT_EQ(Expected(Text::kFontName), std::wstring(font.lfFaceName));
    EXPECT_EQ(FontHeightForPoints(11), font.lfHeight);

    struct Control {
        int id;
        const wchar_t* className;
        std::wstring text;
        int x, y, cx, cy;
        LONG style;
    };
    const Control expected[] = {
        {IDOK, L"button", Expected(Text::kExecute), 159, 34, 53, 14, BS_DEFPUSHBUTTON | WS_TABSTOP},
        {IDCANCEL, L"button", Expected(Text::kQuit), 172, 88, 53, 14, BS_PUSHBUTTON | WS_TABSTOP},
        {IDC_TARGET_ID, L"edit", L"0", 95, 16, 49, 14, ES_AUTOHSCROLL | WS_TABSTOP},
        {0xFFFF, L"static", Expected(Text::kTargetLabel), 15, 16, 78, 13,
         SS_CENTERIMAGE | WS_GROUP},
        {IDC_NORMAL, L"button", Expected(Text::kExecute), 159, 65, 53, 14,
         BS_PUSHBUTTON | WS_TABSTOP},
        {0xFFFF, L"button", Expected(Text::kGroupMassStorage), 7, 7, 218, 47, BS_GROUPBOX},
        {0xFFFF, L"button", Expected(Text::kGroupNormal), 7, 57, 218, 27, BS_GROUPBOX},
        {IDC_READONLY, L"button", Expected(Text::kReadOnly), 159, 17, 61, 10,
         BS_AUTOCHECKBOX | WS_TABSTOP},
    };
    // The dialog's children in creation order, which is the tab order; the
    // spin is the edit's child, not one of these.
    HWND child = ::GetWindow(hwnd, GW_CHILD);
    for (const Control& want : expected) {
        ASSERT_NE(nullptr, child) << "missing control " << want.id;
        SCOPED_TRACE(::testing::Message() << "control " << want.id);
        EXPECT_EQ(want.id, ::GetDlgCtrlID(child) & 0xFFFF);
        EXPECT_EQ(std::wstring(want.className), ClassOf(child));
        EXPECT_EQ(want.text, TextOf(child));
        EXPECT_TRUE(
            SameRect(DialogUnits(hwnd, want.x, want.y, want.cx, want.cy), RectIn(hwnd, child)));
        const LONG actual = ::GetWindowLongW(child, GWL_STYLE);
        EXPECT_EQ(want.style, actual & want.style) << std::hex << actual;
        if ((want.style & 0xF) == BS_PUSHBUTTON && want.className == std::wstring(L"button")) {
            EXPECT_EQ(0, actual & WS_GROUP);
        }
        child = ::GetWindow(child, GW_HWNDNEXT);
    }
    EXPECT_EQ(nullptr, child) << "more controls than the template's";
    EXPECT_EQ(BST_CHECKED, ::IsDlgButtonChecked(hwnd, IDC_READONLY));
}

TEST_F(Win32DialogTest, SystemMenuIconsAndAboutBox) {
    Open();
    ASSERT_NE(nullptr, hwnd);
    const HMENU menu = ::GetSystemMenu(hwnd, FALSE);
    ASSERT_NE(nullptr, menu);
    const int count = ::GetMenuItemCount(menu);
    ASSERT_GE(count, 2);
    EXPECT_EQ(static_cast<UINT>(IDM_ABOUTBOX), ::GetMenuItemID(menu, count - 1));
    wchar_t item[128] = {};
    ::GetMenuStringW(menu, count - 1, item, 128, MF_BYPOSITION);
    EXPECT_EQ(Expected(Text::kAboutMenuItem), std::wstring(item));
    EXPECT_NE(0u, ::GetMenuState(menu, count - 2, MF_BYPOSITION) & MF_SEPARATOR);

    const auto big = reinterpret_cast<HICON>(::SendMessageW(hwnd, WM_GETICON, ICON_BIG, 0));
    EXPECT_NE(nullptr, big);
    EXPECT_EQ(dialog->Icon(), big);
    EXPECT_EQ(big, reinterpret_cast<HICON>(::SendMessageW(hwnd, WM_GETICON, ICON_SMALL, 0)));
    EXPECT_EQ(big, reinterpret_cast<HICON>(::SendMessageW(hwnd, WM_QUERYDRAGICON, 0, 0)));
    ICONINFO info{};
    ASSERT_TRUE(::GetIconInfo(big, &info));
    BITMAP bitmap{};
    ::GetObjectW(info.hbmColor, sizeof bitmap, &bitmap);
    EXPECT_EQ(32, bitmap.bmWidth);
    ::DeleteObject(info.hbmColor);
    ::DeleteObject(info.hbmMask);

    std::wstring caption;
    std::vector<std::wstring> texts;
    RECT client{};
    RECT expectedClient{};
    HICON shownIcon = nullptr;
    LOGFONTW font{};
    {
        CModalWatcher watcher(IDOK, [&](HWND about) {
            caption = TextOf(about);
            for (int id : {IDC_ABOUT_VERSION, IDC_ABOUT_NOTE, IDOK}) {
                texts.push_back(TextOf(::GetDlgItem(about, id)));
            }
            shownIcon = reinterpret_cast<HICON>(
                ::SendDlgItemMessageW(about, IDC_ABOUT_ICON, STM_GETICON, 0, 0));
            ::GetClientRect(about, &client);
            expectedClient = DialogUnits(about, 0, 0, 235, 55);
            font = FontOf(about);
        });
        ASSERT_TRUE(watcher.Installed());
        // The low four bits of a system command belong to the system.
        ::SendMessageW(hwnd, WM_SYSCOMMAND, IDM_ABOUTBOX | 0x3, 0);
        EXPECT_EQ(1, watcher.BoxesSeen());
    }
    EXPECT_EQ(Expected(Text::kAboutCaption), caption);
    const std::vector<std::wstring> wanted = {Expected(Text::kAboutVersion),
                                              Expected(Text::kAboutCopyright), Expected(Text::kOk)};
    EXPECT_EQ(wanted, texts);
    EXPECT_NE(nullptr, shownIcon);
    EXPECT_TRUE(SameRect(expectedClient, client));
    EXPECT_EQ(Expected(Text::kFontName), std::wstring(font.lfFaceName));
    EXPECT_EQ(FontHeightForPoints(9), font.lfHeight);
    EXPECT_TRUE(::IsWindow(hwnd)) << "the About box must not end the dialog";
}

TEST_F(Win32DialogTest, FieldFiltersTypingAndKeepsTheRange) {
    Open();
    ASSERT_NE(nullptr, hwnd);
    EXPECT_EQ(L"0", Field());
    EXPECT_EQ(nullptr, ::ImmGetContext(Edit())) << "the input method must be detached";

    Type(L'9');
    EXPECT_EQ(L"6", Field());
    for (wchar_t refused :
         {L'a', L'-', L'\t', L'\x0661' /* Arabic-Indic one */, L'\xFF11' /* full-width one */}) {
        Type(refused);
        EXPECT_EQ(L"6", Field()) << "accepted " << static_cast<int>(refused);
    }
    // Text set from outside takes the typed text's road.
    ::SetWindowTextW(Edit(), L"42");
    EXPECT_EQ(L"6", Field());

    // The spin's arrows through the keyboard: a step where there is room,
    // nothing at the ends of the range (no text change, no focus change).
    ::SetFocus(Item(IDCANCEL));
    Key(VK_UP);
    EXPECT_EQ(L"6", Field());
    EXPECT_EQ(Item(IDCANCEL), ::GetFocus());
    Key(VK_DOWN);
    EXPECT_EQ(L"5", Field());
    EXPECT_EQ(Edit(), ::GetFocus()) << "a step takes the focus to the field";
    ::SetWindowTextW(Edit(), L"0");
    ::SetFocus(Item(IDCANCEL));
    Key(VK_DOWN);
    EXPECT_EQ(L"0", Field());
    EXPECT_EQ(Item(IDCANCEL), ::GetFocus());
    Key(VK_UP);
    EXPECT_EQ(L"1", Field());
    // The wheel: notches away from the user raise, towards lower; several
    // at once land on a multiple of their count.
    Wheel(1);
    EXPECT_EQ(L"2", Field());
    Wheel(2);
    EXPECT_EQ(L"4", Field());
    Wheel(-2);
    EXPECT_EQ(L"2", Field());
    Wheel(-1);
    EXPECT_EQ(L"1", Field());

    // Leaving the field puts its text in shape.
    ::SetFocus(Edit());
    ::SetWindowTextW(Edit(), L"005");
    EXPECT_EQ(L"005", Field());
    ::SetFocus(Item(IDCANCEL));
    EXPECT_EQ(L"5", Field());
}

TEST_F(Win32DialogTest, PasteKeepsOnlyDigitsThenTheRange) {
    Open();
    ASSERT_NE(nullptr, hwnd);
    ::SetWindowTextW(Edit(), L"");
    ASSERT_TRUE(::OpenClipboard(hwnd));
    ::EmptyClipboard();
    const wchar_t pasted[] = L"a1b2";
    const HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, sizeof pasted);
    std::memcpy(::GlobalLock(memory), pasted, sizeof pasted);
    ::GlobalUnlock(memory);
    ASSERT_NE(nullptr, ::SetClipboardData(CF_UNICODETEXT, memory));
    ::CloseClipboard();

    ::SendMessageW(Edit(), WM_PASTE, 0, 0);
    EXPECT_EQ(L"6", Field());
    EXPECT_TRUE(::IsWindowVisible(Edit())) << "redrawing must be back on";
}

TEST_F(Win32DialogTest, SpinSitsInsideTheFieldsRightEdge) {
    Open();
    ASSERT_NE(nullptr, hwnd);
    const HWND spin = Spin();
    ASSERT_NE(nullptr, spin);
    EXPECT_EQ(std::wstring(L"msctls_updown32"), ClassOf(spin));
    EXPECT_EQ(IDC_TARGET_ID, ::GetDlgCtrlID(spin));
    const LONG style = ::GetWindowLongW(spin, GWL_STYLE);
    const LONG wanted = UDS_ALIGNRIGHT | UDS_ARROWKEYS | UDS_NOTHOUSANDS | WS_CHILD | WS_VISIBLE;
    EXPECT_EQ(wanted, style & wanted);
    int lower = 0;
    int upper = 0;
    ::SendMessageW(spin, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&lower),
                   reinterpret_cast<LPARAM>(&upper));
    EXPECT_EQ(10000, lower);
    EXPECT_EQ(-10000, upper);
    UDACCEL accel[8] = {};
    ASSERT_EQ(4, ::SendMessageW(spin, UDM_GETACCEL, 8, reinterpret_cast<LPARAM>(accel)));
    const UINT table[4][2] = {{0, 1}, {2, 5}, {4, 10}, {6, 50}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(table[i][0], accel[i].nSec);
        EXPECT_EQ(table[i][1], accel[i].nInc);
    }

    RECT client{};
    ::GetClientRect(Edit(), &client);
    const RECT at = RectIn(Edit(), spin);
    const int width = at.right - at.left;
    EXPECT_GT(width, 0);
    EXPECT_LT(width, client.right / 2) << "the spin must leave room for the text";
    EXPECT_EQ(client.right, at.right);
    EXPECT_EQ(client.top, at.top);
    EXPECT_EQ(client.bottom, at.bottom);
    const LRESULT margins = ::SendMessageW(Edit(), EM_GETMARGINS, 0, 0);
    EXPECT_EQ(3, LOWORD(margins));
    EXPECT_EQ(width + 3, HIWORD(margins));

    // The edit's colour messages cut the spin out of what the edit paints.
    const HDC dc = ::GetDC(Edit());
    ::SendMessageW(hwnd, WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc),
                   reinterpret_cast<LPARAM>(Edit()));
    EXPECT_FALSE(::PtVisible(dc, at.left + width / 2, (at.top + at.bottom) / 2));
    EXPECT_TRUE(::PtVisible(dc, client.left + 2, (client.top + client.bottom) / 2));
    ::ReleaseDC(Edit(), dc);

    // Printing the field's client area prints the spin into it as well.
    const HDC screen = ::GetDC(nullptr);
    const HDC memory = ::CreateCompatibleDC(screen);
    const HBITMAP bitmap = ::CreateCompatibleBitmap(screen, client.right, client.bottom);
    ::ReleaseDC(nullptr, screen);
    const HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::PatBlt(memory, 0, 0, client.right, client.bottom, WHITENESS);
    ::SendMessageW(Edit(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory), PRF_CLIENT);
    int notWhite = 0;
    for (int y = at.top; y < at.bottom; ++y) {
        for (int x = at.left; x < at.right; ++x) {
            notWhite += ::GetPixel(memory, x, y) != RGB(255, 255, 255) ? 1 : 0;
        }
    }
    EXPECT_GT(notWhite, 0) << "nothing of the spin was printed";
    ::SelectObject(memory, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
}

TEST_F(Win32DialogTest, SpinFollowsTheFieldsStateThemeAndLife) {
    Open();
    ASSERT_NE(nullptr, hwnd);
    const HWND spin = Spin();
    ASSERT_NE(nullptr, spin);
    ::SendMessageW(Edit(), EM_SETREADONLY, TRUE, 0);
    EXPECT_FALSE(::IsWindowEnabled(spin));
    Key(VK_UP);
    EXPECT_EQ(L"0", Field()) << "a read-only field does not step";
    ::SendMessageW(Edit(), EM_SETREADONLY, FALSE, 0);
    EXPECT_TRUE(::IsWindowEnabled(spin));
    ::EnableWindow(Edit(), FALSE);
    EXPECT_FALSE(::IsWindowEnabled(spin));
    ::EnableWindow(Edit(), TRUE);
    EXPECT_TRUE(::IsWindowEnabled(spin));

    // A theme change starts the layout timer; its tick lays the spin out
    // again and stops it.
    const RECT placed = RectIn(Edit(), spin);
    ::SendMessageW(Edit(), WM_THEMECHANGED, 0, 0);
    EXPECT_TRUE(::KillTimer(Edit(), 1)) << "no layout timer after the theme change";
    ::SendMessageW(Edit(), WM_THEMECHANGED, 0, 0);
    ::MoveWindow(spin, 0, 0, placed.right - placed.left, placed.bottom - placed.top, FALSE);
    ::SendMessageW(Edit(), WM_TIMER, 1, 0);
    EXPECT_TRUE(SameRect(placed, RectIn(Edit(), spin)));
    EXPECT_FALSE(::KillTimer(Edit(), 1)) << "the tick must stop the timer";

    // The spin outlives the field's window.
    ::DestroyWindow(Edit());
    EXPECT_TRUE(::IsWindow(spin));
    EXPECT_EQ(hwnd, ::GetParent(spin));
}

TEST_F(Win32DialogTest, ExecuteSwitchesWithAWaitCursorAndNeverEnds) {
    Open();
    ASSERT_NE(nullptr, hwnd);
    ::SetWindowTextW(Edit(), L"2");
    Command(IDOK);
    EXPECT_TRUE(::IsWindow(hwnd));
    EXPECT_FALSE(dialog->Logic().IsEnded());
    EXPECT_EQ(Sim::EAdapterState::kMassStorage, pc->AdapterState());
    EXPECT_EQ(2, pc->Adapter().Target());
    EXPECT_FALSE(pc->Adapter().Writable()) << "the check box starts ticked";
    ASSERT_EQ(2u, boxes.shown.size());
    EXPECT_EQ(Text::kAskSwitchToMass, boxes.shown[0].text);
    EXPECT_EQ(Text::kSwitchedToMass, boxes.shown[1].text);
    for (const auto& box : boxes.shown) {
        EXPECT_EQ(WaitCursor(), box.cursor);
    }
    EXPECT_FALSE(dialog->IsWaiting());
    EXPECT_NE(WaitCursor(), ::GetCursor());

    boxes.shown.clear();
    Command(IDC_NORMAL);
    EXPECT_TRUE(::IsWindow(hwnd));
    EXPECT_EQ(Sim::EAdapterState::kNormal, pc->AdapterState());
    ASSERT_EQ(2u, boxes.shown.size());
    EXPECT_EQ(Text::kReturnedToNormal, boxes.shown[1].text);

    // Unticked, the switch asks for a writable target; Enter's IDOK alike.
    ::CheckDlgButton(hwnd, IDC_READONLY, BST_UNCHECKED);
    ::SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    EXPECT_TRUE(::IsWindow(hwnd));
    EXPECT_EQ(Sim::EAdapterState::kMassStorage, pc->AdapterState());
    EXPECT_TRUE(pc->Adapter().Writable());
    EXPECT_TRUE(pc->AllReleased()) << pc->LeakReport();
}

TEST_F(Win32DialogTest, QuitAndTheCloseBoxEndTheDialog) {
    Open();
    ASSERT_NE(nullptr, hwnd);
    Command(IDCANCEL);
    EXPECT_FALSE(::IsWindow(hwnd));
    EXPECT_TRUE(dialog->Logic().IsEnded());
    EXPECT_EQ(IDCANCEL, dialog->Logic().Result());

    Open();
    ASSERT_NE(nullptr, hwnd);
    ::SendMessageW(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    Pump();
    EXPECT_FALSE(::IsWindow(hwnd));
    EXPECT_EQ(IDCANCEL, dialog->Logic().Result());
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(Win32DialogTest, WithoutAdministratorRightsOneMessageAndNoWindow) {
    Sim::VirtualPcConfig config;
    config.administrator = false;
    Open(config);
    EXPECT_EQ(nullptr, hwnd);
    EXPECT_EQ(nullptr, dialog->Window());
    ASSERT_EQ(1u, boxes.shown.size());
    EXPECT_EQ(Text::kNeedAdmin, boxes.shown[0].text);
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION), boxes.shown[0].type);
    EXPECT_EQ(IDOK, dialog->Logic().Result());

    // Modal, with the real message box: owned by the dialog, with the
    // application's title; the loop ends before the dialog is ever shown.
    CMainDialog modal(::GetModuleHandleW(nullptr), *pc);
    std::wstring text;
    std::wstring caption;
    HWND owner = nullptr;
    INT_PTR result = 0;
    {
        CModalWatcher watcher(IDOK, [&](HWND box) {
            text = TextOf(::GetDlgItem(box, 0xFFFF));
            caption = TextOf(box);
            owner = ::GetWindow(box, GW_OWNER);
        });
        result = modal.RunModal(nullptr);
        EXPECT_EQ(1, watcher.BoxesSeen());
    }
    EXPECT_EQ(IDOK, result);
    EXPECT_EQ(Expected(Text::kNeedAdmin), text);
    EXPECT_EQ(std::wstring(L"test_win32_dialog"), caption) << "the program file's name";
    EXPECT_NE(nullptr, owner);
    EXPECT_EQ(nullptr, modal.Window());
}

// ---------------------------------------------------------------------------
// The real host on the registry of this test's own prefix, where the test
// has full access: the dialog opens even on a PC where no COM port was ever
// installed (no database, no key for it).

TEST(Win32HostTest, TheProgramsRoadOnTheRealRegistry) {
    CSavedComDatabase saved;
    ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, CSavedComDatabase::kKey);
    Win32::CWin32Host host;
    EXPECT_EQ(0u, host.FindUsbComPorts(0x04D8, 0xE6B2).GetSize()) << "no adapter under Wine";
    CRecordingBoxes boxes;
    CMainDialog dialog(::GetModuleHandleW(nullptr), host, &boxes);
    const HWND hwnd = dialog.CreateModeless(nullptr);
    ASSERT_NE(nullptr, hwnd);
    EXPECT_TRUE(boxes.shown.empty());
    // No adapter: the switch says so and the dialog stays.
    ::SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    ASSERT_EQ(1u, boxes.shown.size());
    EXPECT_EQ(Text::kAdapterNotFoundMaybeMass, boxes.shown[0].text);
    EXPECT_TRUE(::IsWindow(hwnd));
}

}  // namespace
}  // namespace Tolvane::Win32Test
