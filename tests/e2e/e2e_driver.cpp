// e2e_driver.exe TOLVANE.EXE ADAPTER_DIR [--id TEXT] [--writable] [--presses N]
//                [--unplug-at-question] [--no-adapter] [--no-arbiter]
//
// The Windows machine and its user for the end-to-end test of Tolvane.exe
// under Wine. As the machine it writes the registry the program reads: the
// COM-port database (unless --no-arbiter, which removes its key) and the
// adapter's two USB serial interfaces under Enum (COM3 and COM4, present
// through their ClassGUID; none at all with --no-adapter). The adapter runs
// as pty_adapter in ADAPTER_DIR; once it has left the bus ("gone" there),
// the interfaces' ClassGUID values are removed before the next press, as
// Plug and Play removes a device that left, keeping its keys.
//
// As the user it starts the program, types TEXT into the SCSI ID field,
// unticks the read-only box (--writable), presses 実行 N times (default 1),
// answers each question yes (after pulling the adapter's cable with
// --unplug-at-question) and each message OK, and presses QUIT. It prints
// one line per message box, "ask TEXT" or "say TEXT" (UTF-8, a line break
// as \n), and "exit CODE" at the end; "driver: ..." and exit code 1 when
// something does not happen in time.
//
// The return's button is never pressed: under Wine \\.\PhysicalDrive0 is
// this machine's own disk, and the return sends its command to every drive
// that opens.
#include <windows.h>

#include <string>
#include <vector>

namespace {

constexpr DWORD kWaitMs = 20000;
constexpr DWORD kTickMs = 20;
constexpr int kFieldId = 1000;
constexpr int kReadOnlyId = 1002;
constexpr int kBoxTextId = 0xFFFF;

const wchar_t kEnumUsb[] = L"SYSTEM\\CurrentControlSet\\Enum\\USB\\";
const wchar_t kArbiter[] = L"SYSTEM\\CurrentControlSet\\Control\\COM Name Arbiter";
const wchar_t kPortsClass[] = L"{4d36e978-e325-11ce-bfc1-08002be10318}";

const wchar_t kUsbIds[] = L"VID_04D8&PID_E6B2";

struct Interface {
    const wchar_t* mi;
    const wchar_t* portName;
    const wchar_t* driverIndex;

    std::wstring Device() const { return kEnumUsb + std::wstring(kUsbIds) + L"&MI_" + mi; }
    std::wstring Instance() const { return Device() + L"\\6&2b8f1d3a&0&00" + mi; }
};
const Interface kInterfaces[] = {{L"00", L"COM3", L"0003"}, {L"02", L"COM4", L"0004"}};

HANDLE g_child = nullptr;
DWORD g_childId = 0;
std::wstring g_adapterDir;

void Print(const std::wstring& line) {
    std::wstring escaped;
    for (wchar_t c : line) {
        escaped += c == L'\n' ? std::wstring(L"\\n") : std::wstring(1, c);
    }
    escaped += L'\n';
    const int size =
        ::WideCharToMultiByte(CP_UTF8, 0, escaped.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, escaped.c_str(), -1, &utf8[0], size, nullptr, nullptr);
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), utf8.data(), static_cast<DWORD>(size - 1),
                &written, nullptr);
}

[[noreturn]] void Fail(const std::wstring& why) {
    Print(L"driver: " + why);
    if (g_child != nullptr) {
        ::TerminateProcess(g_child, 1);
    }
    ::ExitProcess(1);
}

void SetString(HKEY key, const wchar_t* name, const std::wstring& value, DWORD type = REG_SZ) {
    if (::RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                         static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) != 0) {
        Fail(std::wstring(L"cannot write ") + name);
    }
}

HKEY CreateKey(const std::wstring& path) {
    HKEY key = nullptr;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                          &key, nullptr) != 0) {
        Fail(L"cannot create " + path);
    }
    return key;
}

// The machine's registry before the program starts.
void Seed(bool adapter, bool arbiter) {
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kArbiter);
    if (arbiter) {
        const HKEY key = CreateKey(kArbiter);
        BYTE comDb[32] = {0x0C};  // COM3 and COM4 taken
        ::RegSetValueExW(key, L"ComDB", 0, REG_BINARY, comDb, sizeof comDb);
        ::RegCloseKey(key);
    }
    for (const Interface& item : kInterfaces) {
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, item.Device().c_str());
        if (!adapter) {
            continue;
        }
        const HKEY key = CreateKey(item.Instance());
        const std::wstring ids = L"USB\\" + std::wstring(kUsbIds);
        const std::wstring mi = L"&MI_" + std::wstring(item.mi);
        const wchar_t nul = L'\0';
        SetString(key, L"ClassGUID", kPortsClass);
        SetString(key, L"Driver", kPortsClass + std::wstring(L"\\") + item.driverIndex);
        SetString(key, L"HardwareID", ids + L"&REV_0100" + mi + nul + ids + mi + nul, REG_MULTI_SZ);
        ::RegCloseKey(key);
        const HKEY parameters = CreateKey(item.Instance() + L"\\Device Parameters");
        SetString(parameters, L"PortName", item.portName);
        ::RegCloseKey(parameters);
    }
}

bool AdapterFile(const wchar_t* name) {
    return ::GetFileAttributesW((g_adapterDir + L"/" + name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

void SyncWithBus() {
    if (!AdapterFile(L"gone")) {
        return;
    }
    for (const Interface& item : kInterfaces) {
        ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, item.Instance().c_str(), L"ClassGUID");
    }
}

// Waits, a tick at a time, until found() gives a window or true; fails
// with what after kWaitMs or when the program ends.
template <typename Find>
auto WaitFor(Find found, const wchar_t* what) {
    for (DWORD waited = 0; waited < kWaitMs; waited += kTickMs) {
        if (const auto result = found()) {
            return result;
        }
        if (::WaitForSingleObject(g_child, kTickMs) == WAIT_OBJECT_0) {
            Fail(std::wstring(L"the program ended while waiting for ") + what);
        }
    }
    Fail(std::wstring(L"timed out waiting for ") + what);
}

// A visible dialog of the program: its main dialog (the one with the SCSI
// ID field), or any other (a message box).
HWND FindDialog(bool main) {
    struct Search {
        bool main;
        HWND found;
    } search{main, nullptr};
    ::EnumWindows(
        [](HWND hwnd, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            DWORD pid = 0;
            ::GetWindowThreadProcessId(hwnd, &pid);
            wchar_t cls[16] = {};
            ::GetClassNameW(hwnd, cls, 16);
            if (pid == g_childId && ::IsWindowVisible(hwnd) && lstrcmpW(cls, L"#32770") == 0 &&
                (::GetDlgItem(hwnd, kFieldId) != nullptr) == s->main) {
                s->found = hwnd;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::wstring TextOf(HWND hwnd) {
    wchar_t text[512] = {};
    ::GetWindowTextW(hwnd, text, 512);
    return text;
}

void Click(HWND dialog, int id) {
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}

// One press of 実行 and the message boxes it brings, up to the closing one.
void Press(HWND dialog, bool unplugAtQuestion) {
    SyncWithBus();
    Click(dialog, IDOK);
    for (;;) {
        const HWND box = WaitFor([] { return FindDialog(false); }, L"a message box");
        const bool question = ::GetDlgItem(box, IDYES) != nullptr;
        Print((question ? L"ask " : L"say ") + TextOf(::GetDlgItem(box, kBoxTextId)));
        if (question && unplugAtQuestion) {
            ::CloseHandle(::CreateFileW((g_adapterDir + L"/unplug").c_str(), GENERIC_WRITE, 0,
                                        nullptr, CREATE_ALWAYS, 0, nullptr));
            WaitFor([] { return AdapterFile(L"gone"); }, L"the adapter to leave");
        }
        Click(box, question ? IDYES : IDOK);
        WaitFor([box] { return !::IsWindow(box); }, L"the box to close");
        if (!question) {
            return;
        }
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        Fail(L"usage: e2e_driver TOLVANE.EXE ADAPTER_DIR [options]");
    }
    g_adapterDir = argv[2];
    std::wstring id;
    bool writable = false, unplug = false, adapter = true, arbiter = true;
    int presses = 1;
    for (int i = 3; i < argc; ++i) {
        const std::wstring option = argv[i];
        if (option == L"--id" && i + 1 < argc) {
            id = argv[++i];
        } else if (option == L"--presses" && i + 1 < argc) {
            presses = _wtoi(argv[++i]);
        } else {
            writable = writable || option == L"--writable";
            unplug = unplug || option == L"--unplug-at-question";
            adapter = adapter && option != L"--no-adapter";
            arbiter = arbiter && option != L"--no-arbiter";
        }
    }
    Seed(adapter, arbiter);

    std::wstring commandLine = L"\"" + std::wstring(argv[1]) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(argv[1], &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &process)) {
        Fail(L"cannot start the program");
    }
    g_child = process.hProcess;
    g_childId = process.dwProcessId;
    ::CloseHandle(process.hThread);

    const HWND dialog = WaitFor(
        [] {
            if (const HWND box = FindDialog(false)) {
                Fail(L"a message box instead of the dialog: " +
                     TextOf(::GetDlgItem(box, kBoxTextId)));
            }
            return FindDialog(true);
        },
        L"the dialog");
    if (!id.empty()) {
        ::SendMessageW(::GetDlgItem(dialog, kFieldId), WM_SETTEXT, 0,
                       reinterpret_cast<LPARAM>(id.c_str()));
    }
    if (writable) {
        ::SendMessageW(::GetDlgItem(dialog, kReadOnlyId), BM_CLICK, 0, 0);
        if (::SendMessageW(::GetDlgItem(dialog, kReadOnlyId), BM_GETCHECK, 0, 0) != BST_UNCHECKED) {
            Fail(L"the read-only box stayed ticked");
        }
    }
    for (int i = 0; i < presses; ++i) {
        Press(dialog, unplug);
    }
    Click(dialog, IDCANCEL);
    if (::WaitForSingleObject(g_child, kWaitMs) != WAIT_OBJECT_0) {
        Fail(L"the program did not end on QUIT");
    }
    DWORD code = 0;
    ::GetExitCodeProcess(g_child, &code);
    Print(L"exit " + std::to_wstring(code));
    return 0;
}
