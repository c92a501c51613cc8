// The operations' message boxes on Windows: MessageBoxW owned by the main
// dialog, the code page 932 text converted explicitly, and the
// application's title as the caption (a file name, the same in every
// language). The buttons are the system's own, in the user's language.
#pragma once

#include <string>

#include "modes/operation_host.h"
#include "platform/win_types.h"

namespace Tolvane {
namespace Win32 {

// The application's title: the program file's name without its extension
// ("Tolvane" for Tolvane.exe), as a dialog framework names an application
// that names itself nothing else.
std::wstring ApplicationTitle();

class CWin32MessageBoxes final : public CMessageBoxes {
public:
    // language: the one whose texts the operations show in these boxes.
    explicit CWin32MessageBoxes(ELanguage language) : CMessageBoxes(language) {}

    // The window that owns the boxes; null until the dialog exists.
    void SetOwner(HWND owner) { m_owner = owner; }
    HWND Owner() const { return m_owner; }

    int MessageBox(const char* text, UINT type) override;

private:
    HWND m_owner = nullptr;
};

}  // namespace Win32
}  // namespace Tolvane
