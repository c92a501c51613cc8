#include "ui/win32/win32_message_boxes.h"

#include <windows.h>

#include "ui/win32/win32_text.h"

namespace Tolvane {
namespace Win32 {

std::wstring ApplicationTitle() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (length == 0) {
            return std::wstring();
        }
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        // Truncated: try again with more room (long paths).
        path.resize(path.size() * 2);
    }
    const std::size_t slash = path.find_last_of(L"\\/");
    std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.find_last_of(L'.');
    if (dot != std::wstring::npos && dot > 0) {
        name.resize(dot);
    }
    return name;
}

namespace {

// Removes the keys and mouse clicks waiting in this thread's queue.
void DiscardPendingInput() {
    MSG message;
    while (::PeekMessageW(&message, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE) ||
           ::PeekMessageW(&message, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
    }
}

}  // namespace

int CWin32MessageBoxes::MessageBox(const char* text, UINT type) {
    const std::wstring wide = WidenCp932(text != nullptr ? text : "");
    const std::wstring caption = ApplicationTitle();
    // Only what the user does while the box is shown may answer it: an Enter
    // typed ahead of the question, or during the wait before a result,
    // would otherwise answer a box that was never seen.
    DiscardPendingInput();
    return ::MessageBoxW(m_owner, wide.c_str(), caption.c_str(), type);
}

}  // namespace Win32
}  // namespace Tolvane
