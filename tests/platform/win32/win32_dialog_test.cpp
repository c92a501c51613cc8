// The main dialog and the About box as real windows: built from the
// program's resources, driven by messages as the user's input would drive
// them, on the virtual PC (virtual time) or on the real registry of the
// test's own Wine prefix. Runs on a display of its own (wine-gui-test.sh),
// once under a Japanese and once under a non-Japanese locale. What the
// dialog's logic decides is tested over the doubles; here, that the Windows
// layer carries each message to it and each request out to the controls.
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
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "app/resource_ids.h"
#include "platform/sim/virtual_pc.h"
#include "platform/win32/app/main_dialog.h"
#include "platform/win32/app/win32_host.h"
#include "platform/win32/app/win32_message_boxes.h"
#include "tolvane_texts.h"

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

HCURSOR WaitCursor() {
    return ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32514));
}

// Answers the modal boxes (the About box, a message box) that open over the
// dialog: when one is activated, inspect sees it, and it is then sent OK.
// Windows without an owner (the main dialog itself) are left alone.
class CModalWatcher {
public:
    explicit CModalWatcher(std::function<void(HWND box)> inspect) : m_inspect(std::move(inspect)) {
        s_current = this;
        m_hook = ::SetWindowsHookExW(WH_CBT, &Hook, nullptr, ::GetCurrentThreadId());
    }
    ~CModalWatcher() {
        ::UnhookWindowsHookEx(m_hook);
        s_current = nullptr;
    }
    int seen = 0;

private:
    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam) {
        const auto box = reinterpret_cast<HWND>(wParam);
        if (s_current != nullptr && code == HCBT_ACTIVATE && box != s_current->m_answered &&
            ::GetWindow(box, GW_OWNER) != nullptr && ClassOf(box) == L"#32770") {
            s_current->m_answered = box;
            ++s_current->seen;
            s_current->m_inspect(box);
            ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        }
        return ::CallNextHookEx(nullptr, code, wParam, lParam);
    }

    static inline CModalWatcher* s_current = nullptr;
    std::function<void(HWND)> m_inspect;
    HHOOK m_hook = nullptr;
    HWND m_answered = nullptr;
};

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
    void Command(int id) { ::SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }
    void Key(UINT vk) {
        ::SendMessageW(Edit(), WM_KEYDOWN, vk, 1);
        ::SendMessageW(Edit(), WM_KEYUP, vk, 0xC0000001);
    }

    std::unique_ptr<Sim::CVirtualPC> pc;
    CRecordingBoxes boxes;
    std::unique_ptr<CMainDialog> dialog;
    HWND hwnd = nullptr;
};

TEST_F(Win32DialogTest, OpensWithTheTemplateTextsPositionsAndTabOrder) {
    // The two runs differ in the ANSI code page; the texts must not.
    const char* expect932 = std::getenv("TOLVANE_EXPECT_ANSI_CP_932");
    ASSERT_NE(nullptr, expect932) << "run through wine-gui-test.sh from CTest";
    EXPECT_EQ(std::string(expect932) == "1", ::GetACP() == 932) << "ANSI code page " << ::GetACP();
    Open();
    ASSERT_NE(nullptr, hwnd);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(Expected(Text::kMainCaption), TextOf(hwnd));
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

TEST_F(Win32DialogTest, SystemMenuIconsAndAboutBox) {
    Open();
    ASSERT_NE(nullptr, hwnd);
    const HMENU menu = ::GetSystemMenu(hwnd, FALSE);
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

    // The About box opens from the menu item and closes with OK; its
    // template is read back control by control by inspect-exe.sh.
    std::vector<std::wstring> texts;
    {
        CModalWatcher watcher([&](HWND about) {
            texts = {TextOf(about), TextOf(::GetDlgItem(about, IDC_ABOUT_VERSION))};
        });
        // The low four bits of a system command belong to the system.
        ::SendMessageW(hwnd, WM_SYSCOMMAND, IDM_ABOUTBOX | 0x3, 0);
        EXPECT_EQ(1, watcher.seen);
    }
    EXPECT_EQ(
        (std::vector<std::wstring>{Expected(Text::kAboutCaption), Expected(Text::kAboutVersion)}),
        texts);
    EXPECT_TRUE(::IsWindow(hwnd)) << "the About box must not end the dialog";
}

// Typing, setting the text, the keys, the wheel, leaving the field and a
// paste each reach the field's logic, which keeps the range 0 to 6.
TEST_F(Win32DialogTest, TheFieldHearsTypingTextKeysWheelFocusAndPaste) {
    Open();
    ASSERT_NE(nullptr, hwnd);
    EXPECT_EQ(L"0", Field());
    EXPECT_EQ(nullptr, ::ImmGetContext(Edit())) << "the input method must be detached";
    ::SendMessageW(Edit(), WM_CHAR, L'9', 1);
    EXPECT_EQ(L"6", Field());
    ::SetWindowTextW(Edit(), L"42");  // from outside: the typed text's road
    EXPECT_EQ(L"6", Field());
    ::SetFocus(Item(IDCANCEL));
    Key(VK_DOWN);
    EXPECT_EQ(L"5", Field());
    EXPECT_EQ(Edit(), ::GetFocus()) << "a step takes the focus to the field";
    ::SendMessageW(Edit(), WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), 0);  // away from the user
    EXPECT_EQ(L"6", Field());
    ::SetWindowTextW(Edit(), L"005");
    EXPECT_EQ(L"005", Field());
    ::SetFocus(Item(IDCANCEL));
    EXPECT_EQ(L"5", Field()) << "leaving the field puts its text in shape";

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
    EXPECT_EQ(L"6", Field()) << "only the digits, then the range";
    EXPECT_TRUE(::IsWindowVisible(Edit())) << "redrawing must be back on";
}

// The spin the field creates: set up as the field asks, laid out inside the
// field's right edge, cut out of the edit's painting, printed with it, and
// following the field's state, theme and life.
TEST_F(Win32DialogTest, TheSpinIsMadeLaidOutPaintedAndKeptInStep) {
    Open();
    ASSERT_NE(nullptr, hwnd);
    const HWND spin = Spin();
    ASSERT_NE(nullptr, spin);
    EXPECT_EQ(std::wstring(L"msctls_updown32"), ClassOf(spin));
    EXPECT_EQ(IDC_TARGET_ID, ::GetDlgCtrlID(spin));
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
    EXPECT_LT(width, client.right / 2) << "the spin must leave room for the text";
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
    int notWhite = 0;
    for (LONG y = at[1]; y < at[3]; ++y) {
        for (LONG x = at[0]; x < at[2]; ++x) {
            notWhite += ::GetPixel(memory, x, y) != RGB(255, 255, 255) ? 1 : 0;
        }
    }
    EXPECT_GT(notWhite, 0) << "nothing of the spin was printed";
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

TEST_F(Win32DialogTest, OperationsRunUnderTheWaitCursorAndOnlyQuitOrCloseEnd) {
    Open();
    ASSERT_NE(nullptr, hwnd);
    // The switch takes the field's value and the check box's state.
    ::SetWindowTextW(Edit(), L"2");
    ::CheckDlgButton(hwnd, IDC_READONLY, BST_UNCHECKED);
    Command(IDOK);
    EXPECT_EQ(2, pc->Adapter().Target());
    EXPECT_TRUE(pc->Adapter().Writable());
    Command(IDC_NORMAL);
    ASSERT_EQ(4u, boxes.shown.size());
    EXPECT_EQ(Text::kReturnedToNormal, boxes.shown[3].text);
    for (const auto& box : boxes.shown) {
        EXPECT_EQ(WaitCursor(), box.cursor);
    }
    EXPECT_NE(WaitCursor(), ::GetCursor());
    // Only QUIT and the close box end it.
    ::SendMessageW(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::DispatchMessageW(&message);
    }
    EXPECT_FALSE(::IsWindow(hwnd));
    EXPECT_EQ(IDCANCEL, dialog->Logic().Result());
    Open();
    Command(IDCANCEL);
    EXPECT_FALSE(::IsWindow(hwnd));
    EXPECT_EQ(IDCANCEL, dialog->Logic().Result());
}

TEST_F(Win32DialogTest, WithoutAdministratorRightsOneMessageAndNoWindow) {
    Sim::VirtualPcConfig config;
    config.administrator = false;
    Open(config);
    EXPECT_EQ(nullptr, hwnd);
    EXPECT_EQ(1u, boxes.shown.size());

    // Modal, with the real message box: owned by the dialog, with the
    // application's title; the loop ends before the dialog is ever shown.
    CMainDialog modal(::GetModuleHandleW(nullptr), *pc);
    std::wstring text;
    std::wstring caption;
    HWND owner = nullptr;
    INT_PTR result = 0;
    {
        CModalWatcher watcher([&](HWND box) {
            text = TextOf(::GetDlgItem(box, 0xFFFF));
            caption = TextOf(box);
            owner = ::GetWindow(box, GW_OWNER);
        });
        result = modal.RunModal(nullptr);
        EXPECT_EQ(1, watcher.seen);
    }
    EXPECT_EQ(IDOK, result);
    EXPECT_EQ(Expected(Text::kNeedAdmin), text);
    EXPECT_EQ(std::wstring(L"test_win32_dialog"), caption) << "the program file's name";
    EXPECT_NE(nullptr, owner);
    EXPECT_EQ(nullptr, modal.Window());
}

// The COM-port database of the prefix's machine key as a test found it
// (whether "COM Name Arbiter" existed, and its "ComDB"), put back when the
// test ends, whatever the test did to it.
class CSavedComDatabase {
public:
    static constexpr char kKey[] = "SYSTEM\\CurrentControlSet\\Control\\COM Name Arbiter";

    CSavedComDatabase() {
        m_hadKey = ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &m_key) == ERROR_SUCCESS;
        m_hadValue = m_hadKey && ::RegQueryValueExA(m_key, "ComDB", nullptr, &m_type, m_data,
                                                    &m_size) == ERROR_SUCCESS;
        ::RegCloseKey(m_key);
    }
    ~CSavedComDatabase() {
        ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, kKey);
        if (m_hadKey && ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                                          nullptr, &m_key, nullptr) == ERROR_SUCCESS) {
            if (m_hadValue) {
                ::RegSetValueExA(m_key, "ComDB", 0, m_type, m_data, m_size);
            }
            ::RegCloseKey(m_key);
        }
    }

private:
    HKEY m_key = nullptr;
    bool m_hadKey = false;
    bool m_hadValue = false;
    DWORD m_type = REG_NONE;
    BYTE m_data[256] = {};
    DWORD m_size = sizeof m_data;
};

// The real host on the registry of this test's own prefix, where the test
// has full access: the dialog opens even on a PC where no COM port was ever
// installed (no database, no key for it).
TEST(Win32HostTest, TheProgramsRoadOnTheRealRegistry) {
    CSavedComDatabase saved;
    Win32::CWin32Host host;
    ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, CSavedComDatabase::kKey);
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, CSavedComDatabase::kKey, 0,
                                               nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    ::RegCloseKey(key);
    EXPECT_TRUE(host.HasAdministratorRights()) << "the database's key without the database";
    ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, CSavedComDatabase::kKey);
    CRecordingBoxes boxes;
    CMainDialog dialog(::GetModuleHandleW(nullptr), host, &boxes);
    const HWND hwnd = dialog.CreateModeless(nullptr);
    ASSERT_NE(nullptr, hwnd);
    EXPECT_TRUE(boxes.shown.empty());
    // No adapter under Wine: the switch says so and the dialog stays.
    ::SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    ASSERT_EQ(1u, boxes.shown.size());
    EXPECT_EQ(Text::kAdapterNotFoundMaybeMass, boxes.shown[0].text);
    EXPECT_TRUE(::IsWindow(hwnd));
}

}  // namespace
}  // namespace Tolvane::Win32Test
