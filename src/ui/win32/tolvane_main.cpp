// Tolvane.exe: the main dialog, modal, on this machine's adapter, in the
// language of the user's Windows display (Japanese or English), decided
// once here. The process ends when the dialog ends, whichever way.
#include <windows.h>
// After windows.h.
#include <commctrl.h>

#include "platform/win32/win32_host.h"
#include "ui/win32/main_dialog.h"
#include "ui/win32/win32_resources.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // The spin button's window class.
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_UPDOWN_CLASS;
    ::InitCommonControlsEx(&controls);

    Tolvane::Win32::CWin32Host host;
    Tolvane::Win32::CMainDialog dialog(instance, host, Tolvane::Win32::UserLanguage());
    dialog.RunModal(nullptr);
    return 0;
}
