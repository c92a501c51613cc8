// e2e_driver.exe TOLVANE.EXE GONE_FILE [--id TEXT] [--writable] [--presses N]
//                [--answer-when-gone]
//
// The user of Tolvane.exe in the end-to-end test under Wine: starts the
// program, types TEXT into the SCSI ID field, unticks the read-only box
// (--writable), presses 実行 N times (default 1), answers each question yes
// and each message OK, and presses QUIT. GONE_FILE appears once the adapter
// has left the bus: a press after the first waits for it, as does the
// answer with --answer-when-gone. Prints "ask TEXT" or "say TEXT" (UTF-8)
// per message box and "exit CODE" at the end; "driver: WHAT" and exit code
// 1 when something does not happen in time.
//
// The return's button is never pressed: under Wine \\.\PhysicalDrive0 is
// this machine's own disk, and the return sends its command to every drive
// that opens.
#include <windows.h>

#include <string>

namespace {

constexpr DWORD kWaitMs = 20000;
constexpr DWORD kTickMs = 20;
constexpr int kFieldId = 1000;
constexpr int kReadOnlyId = 1002;
constexpr int kBoxTextId = 0xFFFF;

PROCESS_INFORMATION g_program{};
std::wstring g_goneFile;

void Print(const std::wstring& line) {
    char utf8[2048];
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, (line + L"\n").c_str(), -1, utf8,
                                           sizeof utf8, nullptr, nullptr);
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), utf8, size > 0 ? size - 1 : 0, &written,
                nullptr);
}

[[noreturn]] void Fail(const std::wstring& what) {
    Print(L"driver: " + what);
    ::TerminateProcess(g_program.hProcess, 1);
    ::ExitProcess(1);
}

// Waits a tick at a time until found() gives something; fails after kWaitMs
// or when the program ends first.
template <typename Find>
auto WaitFor(const wchar_t* what, Find found) {
    for (DWORD waited = 0; waited < kWaitMs; waited += kTickMs) {
        if (const auto result = found()) {
            return result;
        }
        if (::WaitForSingleObject(g_program.hProcess, kTickMs) == WAIT_OBJECT_0) {
            Fail(std::wstring(L"the program ended while waiting for ") + what);
        }
    }
    Fail(std::wstring(L"timed out waiting for ") + what);
}

// A visible dialog of the program: the main one (with the SCSI ID field) or
// another one (a message box).
HWND FindDialog(bool main) {
    for (HWND hwnd = nullptr; (hwnd = ::FindWindowExW(nullptr, hwnd, L"#32770", nullptr));) {
        DWORD pid = 0;
        ::GetWindowThreadProcessId(hwnd, &pid);
        if (pid == g_program.dwProcessId && ::IsWindowVisible(hwnd) &&
            (::GetDlgItem(hwnd, kFieldId) != nullptr) == main) {
            return hwnd;
        }
    }
    return nullptr;
}

std::wstring BoxText(HWND box) {
    wchar_t text[512] = {};
    ::GetDlgItemTextW(box, kBoxTextId, text, 512);
    return text;
}

bool Gone() {
    return ::GetFileAttributesW(g_goneFile.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void Click(HWND dialog, int id) {
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        Fail(L"usage: e2e_driver TOLVANE.EXE GONE_FILE [options]");
    }
    g_goneFile = argv[2];
    std::wstring id;
    bool writable = false, answerWhenGone = false;
    int presses = 1;
    for (int i = 3; i < argc; ++i) {
        const std::wstring option = argv[i];
        if (option == L"--id" && i + 1 < argc) {
            id = argv[++i];
        } else if (option == L"--presses" && i + 1 < argc) {
            presses = _wtoi(argv[++i]);
        }
        writable = writable || option == L"--writable";
        answerWhenGone = answerWhenGone || option == L"--answer-when-gone";
    }
    std::wstring commandLine = L"\"" + std::wstring(argv[1]) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (!::CreateProcessW(argv[1], &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &g_program)) {
        Fail(L"cannot start the program");
    }
    const HWND dialog = WaitFor(L"the dialog", [] {
        if (const HWND box = FindDialog(false)) {
            Fail(L"a message box instead of the dialog: " + BoxText(box));
        }
        return FindDialog(true);
    });
    if (!id.empty()) {
        ::SetDlgItemTextW(dialog, kFieldId, id.c_str());
    }
    if (writable) {
        ::SendDlgItemMessageW(dialog, kReadOnlyId, BM_CLICK, 0, 0);
    }
    for (int press = 0; press < presses; ++press) {
        if (press > 0) {
            WaitFor(L"the adapter to leave", Gone);
        }
        Click(dialog, IDOK);
        for (bool question = true; question;) {
            const HWND box = WaitFor(L"a message box", [] { return FindDialog(false); });
            question = ::GetDlgItem(box, IDYES) != nullptr;
            Print((question ? L"ask " : L"say ") + BoxText(box));
            if (question && answerWhenGone) {
                WaitFor(L"the adapter to leave", Gone);
            }
            Click(box, question ? IDYES : IDOK);
            WaitFor(L"the box to close", [box] { return !::IsWindow(box); });
        }
    }
    Click(dialog, IDCANCEL);
    if (::WaitForSingleObject(g_program.hProcess, kWaitMs) != WAIT_OBJECT_0) {
        Fail(L"the program did not end on QUIT");
    }
    DWORD code = 0;
    ::GetExitCodeProcess(g_program.hProcess, &code);
    Print(L"exit " + std::to_wstring(code));
    return 0;
}
