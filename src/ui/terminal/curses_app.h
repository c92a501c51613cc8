// The terminal front-end over ncursesw: sets the screen up, draws the main
// dialog, the message boxes and the About box, decodes the terminal's input
// and runs the modal loops. The state it draws lives in the models
// (tui_dialog.h, tui_modal.h); this layer only reads it.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "modes/operation_host.h"
#include "ui/terminal/tui_dialog.h"
#include "ui/terminal/tui_input.h"
#include "ui/terminal/tui_modal.h"

namespace Tolvane {
namespace Sim {
class CVirtualPC;
}

namespace Tui {

// Key codes the screen defines for the terminal's bracketed paste marks.
int PasteBeginKey();
int PasteEndKey();

// One key as wget_wch reported it (its result and the character or key
// code) to an event. ESC comes back as kEscape (the caller looks for an
// Alt combination), KEY_MOUSE as kMouse without a position, the paste marks
// as kPaste with no text (begin) and kNone (a stray end mark).
InputEvent DecodeKey(int result, std::uint32_t code);

// The curses screen for the lifetime of the object: cbreak, no echo, the
// keypad, the mouse, a short Escape delay and bracketed paste. Ok() is false
// when the terminal could not be set up.
class CCursesScreen {
public:
    CCursesScreen();
    ~CCursesScreen();
    CCursesScreen(const CCursesScreen&) = delete;
    CCursesScreen& operator=(const CCursesScreen&) = delete;
    bool Ok() const { return m_screen != nullptr; }

private:
    void* m_screen = nullptr;
};

// A signal that asks the program to end (SIGINT, SIGTERM, SIGHUP): the
// dialogs wind down as if the terminal had gone, and the program exits with
// 128 + the signal. A second one ends the process at once.
void InstallEndSignals();
int PendingEndSignal();

class CCursesApp : public CMessageBoxes, public CTerminalShell {
public:
    // pc: the virtual PC behind host in the demo (its status line, its
    // clock's catching up), or null. language: of every text it shows.
    CCursesApp(COperationHost& host, Sim::CVirtualPC* pc, ELanguage language);

    // Runs the dialog to its end; the program's exit code.
    int Run();

    // CMessageBoxes
    int MessageBox(const char* text, UINT type) override;
    // CTerminalShell
    void Bell() override;
    void RunAboutBox() override;
    void Refresh() override;

private:
    struct Layer {
        CMessageBoxModel* box = nullptr;
        CAboutBoxModel* about = nullptr;
    };

    InputEvent ReadEvent();
    // The next event for the open box (drawn first), mouse positions taken
    // to its client area.
    InputEvent ReadBoxEvent(int clientWidth, int clientHeight);
    InputEvent ReadPaste();
    void Idle();
    bool TooSmall() const;

    void Draw();
    void DrawDialog();
    void DrawMessageBox(const CMessageBoxModel& box);
    void DrawAboutBox(const CAboutBoxModel& about);
    void DrawHints();
    BoxFrame DialogFrame() const;
    BoxFrame BoxOnDialog(int clientWidth, int clientHeight) const;
    void DrawFrame(const BoxFrame& frame, const std::wstring& caption);
    void DrawButtons(const BoxFrame& frame, const CButtonRow& row);

    Sim::CVirtualPC* m_pc;
    CTerminalDialog m_dialog;
    WidthFn m_width;
    std::vector<Layer> m_layers;
    std::deque<InputEvent> m_pending;
    bool m_dialogShown = false;
    bool m_hungUp = false;
    int m_fastErrors = 0;
    int m_cursorRow = -1;
    int m_cursorCol = -1;
};

}  // namespace Tui
}  // namespace Tolvane
