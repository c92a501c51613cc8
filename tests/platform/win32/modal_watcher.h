// Answers the modal dialog boxes (the About box, a message box) that the
// code under test opens over its dialog, so that a test can go on without a
// user: when such a box (a dialog window with an owner) is activated, the
// test's callback looks at it, and the box is then sent the command it
// would get from the button the test names. Windows without an owner (the
// main dialog itself) are left alone.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace Tolvane::Win32Test {

class CModalWatcher {
public:
    using Inspect = std::function<void(HWND box)>;

    // Answers boxes of this thread with command id after inspect has seen
    // them.
    CModalWatcher(int command, Inspect inspect)
        : m_command(command), m_inspect(std::move(inspect)) {
        s_current = this;
        m_hook = ::SetWindowsHookExW(WH_CBT, &CModalWatcher::Hook, nullptr, ::GetCurrentThreadId());
    }
    ~CModalWatcher() {
        if (m_hook != nullptr) {
            ::UnhookWindowsHookEx(m_hook);
        }
        s_current = nullptr;
    }
    CModalWatcher(const CModalWatcher&) = delete;
    CModalWatcher& operator=(const CModalWatcher&) = delete;

    bool Installed() const { return m_hook != nullptr; }
    int BoxesSeen() const { return m_seen; }

private:
    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam) {
        CModalWatcher* self = s_current;
        if (self != nullptr && code == HCBT_ACTIVATE) {
            self->OnActivate(reinterpret_cast<HWND>(wParam));
        }
        return ::CallNextHookEx(nullptr, code, wParam, lParam);
    }

    void OnActivate(HWND hwnd) {
        wchar_t className[32] = {};
        ::GetClassNameW(hwnd, className, 32);
        if (hwnd == m_answered || ::GetWindow(hwnd, GW_OWNER) == nullptr ||
            std::wstring(className) != L"#32770") {
            return;
        }
        m_answered = hwnd;
        ++m_seen;
        if (m_inspect) {
            m_inspect(hwnd);
        }
        ::PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(m_command, BN_CLICKED), 0);
    }

    static inline CModalWatcher* s_current = nullptr;
    int m_command;
    Inspect m_inspect;
    HHOOK m_hook = nullptr;
    HWND m_answered = nullptr;
    int m_seen = 0;
};

}  // namespace Tolvane::Win32Test
