#include "ui/terminal/curses_app.h"

// Functions rather than curses' macros, which would take over names such
// as move, clear and erase in the standard library's code below.
#define NCURSES_NOMACROS 1
#include <curses.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cwchar>
#include <initializer_list>

#include "app/resource_ids.h"
#include "platform/sim/virtual_pc.h"
#include "tolvane_texts.h"
#include "ui/common/exit_codes.h"
#include "ui/common/ui_text.h"

namespace Tolvane {
namespace Tui {

namespace {

using Ui::FillIn;

// How long one wait for input lasts; the idle work (the virtual PC's clock,
// the status line) runs at this pace.
constexpr int kTickMs = 100;
// Within a paste, a pause this long means its end mark is not coming.
constexpr int kPasteWaitMs = 1000;
// More is dropped: the field keeps a handful of digits anyway.
constexpr std::size_t kPasteLimit = 4096;
// Reads that fail at once, this many in a row, mean the input is gone (end
// of file on the terminal) rather than quiet.
constexpr int kFastErrorLimit = 20;
// Under the dialog: the About key, the keys or the busy note, the status.
constexpr int kHintRows = 3;
constexpr int kEscDelayMs = 25;

volatile sig_atomic_t g_endSignal = 0;

void OnEndSignal(int sig) {
    if (g_endSignal != 0) {
        // Asked twice: the dialog is stuck in an operation. Leave the
        // terminal usable (paste marks, mouse reports and the cursor) and go.
        static const char kReset[] = "\x1b[?2004l\x1b[?1000l\x1b[?1006l\x1b[?25h\r\n";
        const ssize_t ignored = write(STDOUT_FILENO, kReset, sizeof kReset - 1);
        (void)ignored;
        _exit(kExitSignalBase + sig);
    }
    g_endSignal = sig;
}

int CellsOf(wchar_t ch) {
    return wcwidth(ch);
}

// Draws text at a screen position, cut at maxCells and at the screen's
// edge; what the locale cannot show appears as '?'.
void Put(int row, int col, const std::wstring& text, int maxCells, attr_t attr = A_NORMAL) {
    if (row < 0 || row >= LINES || col < 0 || col >= COLS) {
        return;
    }
    const int limit = std::min(maxCells, COLS - col);
    std::wstring shown;
    int used = 0;
    for (wchar_t ch : text) {
        int w = wcwidth(ch);
        if (w < 0) {
            ch = kUnprintable;
            w = 1;
        }
        if (used + w > limit) {
            break;
        }
        shown.push_back(ch);
        used += w;
    }
    attron(attr);
    mvaddnwstr(row, col, shown.c_str(), -1);
    attroff(attr);
}

void Put(int row, int col, const std::wstring& text, attr_t attr = A_NORMAL) {
    Put(row, col, text, COLS, attr);
}

void DrawBox(int top, int left, int height, int width) {
    if (height < 2 || width < 2) {
        return;
    }
    const int bottom = top + height - 1;
    const int right = left + width - 1;
    mvaddch(top, left, ACS_ULCORNER);
    mvhline(top, left + 1, ACS_HLINE, width - 2);
    mvaddch(top, right, ACS_URCORNER);
    mvvline(top + 1, left, ACS_VLINE, height - 2);
    mvvline(top + 1, right, ACS_VLINE, height - 2);
    mvaddch(bottom, left, ACS_LLCORNER);
    mvhline(bottom, left + 1, ACS_HLINE, width - 2);
    mvaddch(bottom, right, ACS_LRCORNER);
}

// The spin's arrows: triangles where they take one cell each (ambiguous
// width characters may not), else plain letters.
std::wstring SpinGlyphs() {
    const wchar_t up = 0x25B2;
    const wchar_t down = 0x25BC;
    if (wcwidth(up) == 1 && wcwidth(down) == 1) {
        return std::wstring{up, down};
    }
    return L"^v";
}

}  // namespace

int PasteBeginKey() {
    return KEY_MAX + 1;
}

int PasteEndKey() {
    return KEY_MAX + 2;
}

InputEvent DecodeKey(int result, std::uint32_t code) {
    if (result == KEY_CODE_YES) {
        const int key = static_cast<int>(code);
        if (key == PasteBeginKey()) {
            return InputEvent::Pasted({});
        }
        switch (key) {
            case KEY_BTAB:
                return InputEvent::Key(EKey::kBackTab);
            case KEY_ENTER:
                return InputEvent::Key(EKey::kEnter);
            case KEY_UP:
                return InputEvent::Key(EKey::kUp);
            case KEY_DOWN:
                return InputEvent::Key(EKey::kDown);
            case KEY_LEFT:
                return InputEvent::Key(EKey::kLeft);
            case KEY_RIGHT:
                return InputEvent::Key(EKey::kRight);
            case KEY_HOME:
                return InputEvent::Key(EKey::kHome);
            case KEY_END:
                return InputEvent::Key(EKey::kEnd);
            case KEY_BACKSPACE:
                return InputEvent::Key(EKey::kBackspace);
            case KEY_DC:
                return InputEvent::Key(EKey::kDelete);
            case KEY_F(1):
                return InputEvent::Key(EKey::kAbout);
            case KEY_RESIZE:
                return InputEvent::Key(EKey::kResize);
            case KEY_MOUSE:
                return InputEvent::Mouse(EMouse::kNone, 0, 0);
            default:
                return InputEvent::Key(EKey::kNone);
        }
    }
    if (result != OK) {
        return InputEvent::Key(EKey::kIdle);
    }
    switch (code) {
        case 9:
            return InputEvent::Key(EKey::kTab);
        case 10:
        case 13:
            return InputEvent::Key(EKey::kEnter);
        case 27:
            return InputEvent::Key(EKey::kEscape);
        case 8:
        case 127:
            return InputEvent::Key(EKey::kBackspace);
        default:
            // Beyond Unicode is no character; the field would refuse it
            // anyway, but it must not wrap round to one it admits.
            if (code > 0x10FFFF) {
                return InputEvent::Key(EKey::kNone);
            }
            return InputEvent::Char(static_cast<wchar_t>(code));
    }
}

// --- Screen and signals ------------------------------------------------------

CCursesScreen::CCursesScreen() {
    SCREEN* screen = newterm(nullptr, stdout, stdin);
    if (screen == nullptr) {
        return;
    }
    m_screen = screen;
    set_term(screen);
    cbreak();
    noecho();
    keypad(stdscr, TRUE);
    set_escdelay(kEscDelayMs);
    mousemask(
        BUTTON1_PRESSED | BUTTON1_RELEASED | BUTTON1_CLICKED | BUTTON4_PRESSED | BUTTON5_PRESSED,
        nullptr);
    // Presses and releases as they come, no click detection delay.
    mouseinterval(0);
    define_key("\x1b[200~", PasteBeginKey());
    define_key("\x1b[201~", PasteEndKey());
    putp("\x1b[?2004h");
}

CCursesScreen::~CCursesScreen() {
    if (m_screen == nullptr) {
        return;
    }
    putp("\x1b[?2004l");
    endwin();
    delscreen(static_cast<SCREEN*>(m_screen));
}

void InstallEndSignals() {
    struct sigaction action = {};
    action.sa_handler = OnEndSignal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a wait for input comes back at once to look at it.
    action.sa_flags = 0;
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(sig, &action, nullptr);
    }
}

int PendingEndSignal() {
    return g_endSignal;
}

// --- The application ---------------------------------------------------------

// Keeps a box on the screen for its modal loop, and takes it off on every way
// out, so that no drawing ever reaches a box that is gone.
template <typename Layers, typename Layer>
class CLayerScope {
public:
    CLayerScope(Layers& layers, Layer layer) : m_layers(layers) { m_layers.push_back(layer); }
    ~CLayerScope() { m_layers.pop_back(); }
    CLayerScope(const CLayerScope&) = delete;
    CLayerScope& operator=(const CLayerScope&) = delete;

private:
    Layers& m_layers;
};

CCursesApp::CCursesApp(COperationHost& host, Sim::CVirtualPC* pc, ELanguage language)
    : CMessageBoxes(language),
      m_pc(pc),
      m_dialog(host, *this, *this,
               [] {
                   return static_cast<std::uint64_t>(
                       std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now().time_since_epoch())
                           .count());
               }),
      m_width(CellsOf) {}

int CCursesApp::Run() {
    m_dialog.Start();
    m_dialogShown = true;
    while (!m_dialog.IsEnded()) {
        Idle();
        Draw();
        InputEvent event = ReadEvent();
        if (event.key == EKey::kIdle) {
            continue;
        }
        if (event.key == EKey::kNone || event.key == EKey::kResize) {
            continue;
        }
        if (TooSmall() && event.key != EKey::kEscape && event.key != EKey::kHangUp) {
            continue;
        }
        if (event.key == EKey::kMouse) {
            const BoxFrame frame = DialogFrame();
            event.col -= frame.ClientLeft();
            event.row -= frame.ClientTop();
        }
        m_dialog.OnEvent(event);
    }
    const int sig = PendingEndSignal();
    return sig != 0 ? kExitSignalBase + sig : kExitOk;
}

InputEvent CCursesApp::ReadBoxEvent(int clientWidth, int clientHeight) {
    for (;;) {
        Idle();
        Draw();
        InputEvent event = ReadEvent();
        if (event.key == EKey::kIdle) {
            continue;
        }
        if (event.key == EKey::kMouse) {
            const BoxFrame frame = BoxOnDialog(clientWidth, clientHeight);
            event.col -= frame.ClientLeft();
            event.row -= frame.ClientTop();
        }
        return event;
    }
}

int CCursesApp::MessageBox(const char* text, UINT type) {
    CMessageBoxModel box(text != nullptr ? text : "", type, m_width, Language());
    int answer = CMessageBoxModel::AnswerWithoutUser(type);
    // Only what the user types once the box is there answers it: an Enter
    // pressed twice on 実行 must not say はい to a question not yet seen.
    flushinp();
    {
        const CLayerScope<std::vector<Layer>, Layer> shown(m_layers, Layer{&box, nullptr});
        for (;;) {
            const InputEvent event = ReadBoxEvent(box.ClientWidth(), box.ClientHeight());
            if (const std::optional<int> result = box.OnEvent(event)) {
                answer = *result;
                break;
            }
        }
    }
    // Off the screen at once: the operation that asked goes on, and may
    // wait for seconds before anything is drawn again.
    Draw();
    return answer;
}

void CCursesApp::RunAboutBox() {
    CAboutBoxModel about(Language());
    const CLayerScope<std::vector<Layer>, Layer> shown(m_layers, Layer{nullptr, &about});
    while (!about.OnEvent(ReadBoxEvent(about.Layout().Width(), about.Layout().Height()))) {
    }
}

void CCursesApp::Bell() {
    beep();
}

void CCursesApp::Refresh() {
    Draw();
}

void CCursesApp::Idle() {
    if (m_pc != nullptr) {
        m_pc->CatchUp();
    }
}

InputEvent CCursesApp::ReadEvent() {
    if (!m_pending.empty()) {
        InputEvent event = m_pending.front();
        m_pending.pop_front();
        return event;
    }
    if (m_hungUp || PendingEndSignal() != 0) {
        m_hungUp = true;
        return InputEvent::Key(EKey::kHangUp);
    }
    const auto start = std::chrono::steady_clock::now();
    wint_t code = 0;
    wtimeout(stdscr, kTickMs);
    const int result = wget_wch(stdscr, &code);
    if (PendingEndSignal() != 0) {
        m_hungUp = true;
        return InputEvent::Key(EKey::kHangUp);
    }
    if (result == ERR) {
        const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::steady_clock::now() - start)
                                .count();
        if (waited < kTickMs / 2) {
            if (++m_fastErrors >= kFastErrorLimit) {
                m_hungUp = true;
                return InputEvent::Key(EKey::kHangUp);
            }
        } else {
            m_fastErrors = 0;
        }
        return InputEvent::Key(EKey::kIdle);
    }
    m_fastErrors = 0;
    InputEvent event = DecodeKey(result, static_cast<std::uint32_t>(code));
    switch (event.key) {
        case EKey::kEscape: {
            // Alt+A comes as Escape and the letter at once; a lone Escape
            // has nothing after it.
            wint_t next = 0;
            wtimeout(stdscr, 0);
            const int more = wget_wch(stdscr, &next);
            if (more == OK && (next == L'a' || next == L'A')) {
                return InputEvent::Key(EKey::kAbout);
            }
            if (more == OK) {
                unget_wch(static_cast<wchar_t>(next));
            } else if (more == KEY_CODE_YES) {
                ungetch(static_cast<int>(next));
            }
            return event;
        }
        case EKey::kPaste:
            return ReadPaste();
        case EKey::kMouse: {
            MEVENT mouse = {};
            if (getmouse(&mouse) != OK) {
                return InputEvent::Key(EKey::kNone);
            }
            if (mouse.bstate & BUTTON1_PRESSED) {
                return InputEvent::Mouse(EMouse::kPress, mouse.x, mouse.y);
            }
            if (mouse.bstate & BUTTON1_RELEASED) {
                return InputEvent::Mouse(EMouse::kRelease, mouse.x, mouse.y);
            }
            if (mouse.bstate & BUTTON1_CLICKED) {
                m_pending.push_back(InputEvent::Mouse(EMouse::kRelease, mouse.x, mouse.y));
                return InputEvent::Mouse(EMouse::kPress, mouse.x, mouse.y);
            }
            if (mouse.bstate & BUTTON4_PRESSED) {
                return InputEvent::Mouse(EMouse::kWheelUp, mouse.x, mouse.y);
            }
            if (mouse.bstate & BUTTON5_PRESSED) {
                return InputEvent::Mouse(EMouse::kWheelDown, mouse.x, mouse.y);
            }
            return InputEvent::Key(EKey::kNone);
        }
        default:
            return event;
    }
}

InputEvent CCursesApp::ReadPaste() {
    std::wstring text;
    for (;;) {
        wint_t code = 0;
        wtimeout(stdscr, kPasteWaitMs);
        const int result = wget_wch(stdscr, &code);
        if (result == ERR) {
            break;
        }
        if (result == KEY_CODE_YES) {
            if (static_cast<int>(code) == PasteEndKey()) {
                break;
            }
            // Pasted bytes that looked like a key's sequence are lost; what
            // was meant is not knowable.
            continue;
        }
        if (text.size() < kPasteLimit) {
            text.push_back(static_cast<wchar_t>(code));
        }
    }
    return InputEvent::Pasted(PasteBytes(text));
}

bool CCursesApp::TooSmall() const {
    const BoxFrame frame = DialogFrame();
    return COLS < frame.width || LINES < frame.height + kHintRows;
}

BoxFrame CCursesApp::DialogFrame() const {
    const CDialogLayout& layout = m_dialog.Layout();
    return BoxOnDialog(layout.Width(), layout.Height());
}

BoxFrame CCursesApp::BoxOnDialog(int clientWidth, int clientHeight) const {
    // Centred where the dialog is, above the lines of hints.
    return CenterBox(clientWidth, clientHeight, COLS, LINES - kHintRows);
}

// --- Drawing -----------------------------------------------------------------

void CCursesApp::Draw() {
    ::erase();
    m_cursorRow = m_cursorCol = -1;
    if (TooSmall() && m_layers.empty()) {
        const CDialogLayout& layout = m_dialog.Layout();
        const std::string size = std::to_string(layout.Width() + 2) + "x" +
                                 std::to_string(layout.Height() + 2 + kHintRows);
        Put(0, 0, ScreenText(FillIn(Text::kTuiTooSmall.In(Language()), size)));
    } else {
        if (m_dialogShown) {
            DrawDialog();
        }
        for (const Layer& layer : m_layers) {
            if (layer.box != nullptr) {
                DrawMessageBox(*layer.box);
            } else if (layer.about != nullptr) {
                DrawAboutBox(*layer.about);
            }
        }
        if (m_dialogShown || !m_layers.empty()) {
            DrawHints();
        }
    }
    const bool caret = m_layers.empty() && m_cursorRow >= 0;
    curs_set(caret ? 1 : 0);
    if (caret) {
        ::move(m_cursorRow, m_cursorCol);
    }
    ::refresh();
}

void CCursesApp::DrawFrame(const BoxFrame& frame, const std::wstring& caption) {
    // The caption bar, then a blank client area inside the side and bottom
    // edges: a box drawn over the dialog hides what is under it.
    mvhline(frame.top, frame.left, ' ' | A_REVERSE, frame.width);
    Put(frame.top, frame.left + 1, caption, frame.width - 2, A_REVERSE);
    for (int row = frame.ClientTop(); row < frame.top + frame.height - 1; ++row) {
        mvhline(row, frame.left, ' ', frame.width);
    }
    const int bottom = frame.top + frame.height - 1;
    mvvline(frame.ClientTop(), frame.left, ACS_VLINE, frame.ClientHeight());
    mvvline(frame.ClientTop(), frame.left + frame.width - 1, ACS_VLINE, frame.ClientHeight());
    mvaddch(bottom, frame.left, ACS_LLCORNER);
    mvhline(bottom, frame.left + 1, ACS_HLINE, frame.width - 2);
    mvaddch(bottom, frame.left + frame.width - 1, ACS_LRCORNER);
}

void CCursesApp::DrawButtons(const BoxFrame& frame, const CButtonRow& row) {
    for (std::size_t i = 0; i < row.Buttons().size(); ++i) {
        const ModalButton& button = row.Buttons()[i];
        const attr_t attr = i == row.Focus() ? (A_REVERSE | A_BOLD) : A_NORMAL;
        Put(frame.ClientTop() + button.cells.top, frame.ClientLeft() + button.cells.left,
            ButtonFace(button.label, button.cells.Width(), m_width), attr);
    }
}

void CCursesApp::DrawDialog() {
    const CDialogLayout& layout = m_dialog.Layout();
    const BoxFrame frame = DialogFrame();
    DrawFrame(frame, ScreenText(layout.Caption()));
    const int left = frame.ClientLeft();
    const int top = frame.ClientTop();
    const int focus = m_dialog.Focus();
    for (const LaidItem& laid : layout.Items()) {
        const CellRect& cells = laid.cells;
        const int x = left + cells.left;
        const int y = top + cells.top;
        const std::wstring text =
            laid.item.text != nullptr ? ScreenText(laid.item.text) : std::wstring();
        const bool focused = laid.item.id == focus;
        switch (laid.item.kind) {
            case EItemKind::kGroupBox:
                DrawBox(y, x, cells.Height(), cells.Width());
                Put(y, x + 1, L" " + text + L" ", cells.Width() - 2);
                break;
            case EItemKind::kText:
                Put(y, x, text, cells.Width());
                break;
            case EItemKind::kPushButton:
            case EItemKind::kDefPushButton: {
                attr_t attr = A_NORMAL;
                if (focused || m_dialog.Held() == laid.item.id) {
                    attr |= A_REVERSE;
                }
                if (m_dialog.EnterTarget() == laid.item.id) {
                    attr |= A_BOLD;
                }
                Put(y, x, ButtonFace(text, cells.Width(), m_width), attr);
                break;
            }
            case EItemKind::kCheckBox:
                Put(y, x, m_dialog.ReadOnlyChecked() ? L"[x]" : L"[ ]");
                Put(y, x + 4, text, cells.Width() - 4, focused ? A_REVERSE : A_NORMAL);
                break;
            case EItemKind::kEdit: {
                const CellRect area = CDialogLayout::FieldText(cells);
                const std::string& bytes = m_dialog.Field().Text();
                const CFieldSel sel = m_dialog.Field().GetSel();
                const int low = std::min(sel.start, sel.end);
                const int high = std::max(sel.start, sel.end);
                const int scroll = m_dialog.FieldScroll();
                Put(y, x, L"[");
                for (int i = 0; i < area.Width(); ++i) {
                    const int at = scroll + i;
                    wchar_t ch = L' ';
                    if (at < static_cast<int>(bytes.size())) {
                        const unsigned char b = static_cast<unsigned char>(bytes[at]);
                        ch = b < 0x80 ? static_cast<wchar_t>(b) : kUnprintable;
                    }
                    const bool selected = focused && at >= low && at < high;
                    Put(y, left + area.left + i, std::wstring(1, ch),
                        selected ? A_REVERSE : A_UNDERLINE);
                }
                const std::wstring arrows = SpinGlyphs();
                Put(y, left + CDialogLayout::SpinUpColumn(cells), arrows.substr(0, 1));
                Put(y, left + CDialogLayout::SpinDownColumn(cells), arrows.substr(1, 1));
                Put(y, x + cells.Width() - 1, L"]");
                if (focused) {
                    m_cursorRow = y;
                    m_cursorCol = left + area.left + std::clamp(sel.end - scroll, 0, area.Width());
                }
                break;
            }
        }
    }
}

void CCursesApp::DrawMessageBox(const CMessageBoxModel& box) {
    const BoxFrame frame = BoxOnDialog(box.ClientWidth(), box.ClientHeight());
    DrawFrame(frame, box.Caption());
    const int row = frame.ClientTop() + box.TextRow();
    if (!box.Icon().empty()) {
        Put(row, frame.ClientLeft() + 2, box.Icon(), A_BOLD);
    }
    for (std::size_t i = 0; i < box.Lines().size(); ++i) {
        Put(row + static_cast<int>(i), frame.ClientLeft() + box.TextColumn(), box.Lines()[i],
            frame.ClientWidth() - box.TextColumn() - 1);
    }
    DrawButtons(frame, box.Row());
}

void CCursesApp::DrawAboutBox(const CAboutBoxModel& about) {
    const CDialogLayout& layout = about.Layout();
    const BoxFrame frame = BoxOnDialog(layout.Width(), layout.Height());
    DrawFrame(frame, ScreenText(layout.Caption()));
    for (const LaidItem& laid : layout.Items()) {
        if (laid.item.kind == EItemKind::kText && laid.item.text != nullptr) {
            Put(frame.ClientTop() + laid.cells.top, frame.ClientLeft() + laid.cells.left,
                ScreenText(laid.item.text), laid.cells.Width());
        }
    }
    DrawButtons(frame, about.Row());
}

void CCursesApp::DrawHints() {
    const int col = std::max(0, DialogFrame().left);
    if (m_dialogShown && !m_dialog.AboutItem().empty()) {
        Put(LINES - 3, col,
            StripMnemonic(
                ScreenText(FillIn(Text::kTuiAboutKey.In(Language()), m_dialog.AboutItem()))));
    }
    // A box open over the dialog takes keys of its own, and the line tells
    // those instead of the dialog's.
    if (!m_layers.empty()) {
        const CMessageBoxModel* box = m_layers.back().box;
        const bool question = box != nullptr && box->AsksYesNo();
        Put(LINES - 2, col,
            ScreenText(
                (question ? Text::kTuiQuestionKeyHint : Text::kTuiCloseKeyHint).In(Language())));
    } else if (m_dialog.Busy()) {
        Put(LINES - 2, col, ScreenText(Text::kTuiBusy.In(Language())), A_BOLD);
    } else {
        Put(LINES - 2, col, ScreenText(Text::kTuiKeyHint.In(Language())));
    }
    if (m_pc != nullptr) {
        Put(LINES - 1, col, ScreenText(m_pc->Describe(Language())));
    }
}

}  // namespace Tui
}  // namespace Tolvane
