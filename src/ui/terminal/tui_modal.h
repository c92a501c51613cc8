// The modal boxes of the terminal front-end: message boxes (OK, or はい and
// いいえ) and the About box. Only their state and geometry live here; the
// curses layer draws them and feeds them events until they are answered.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/win_types.h"
#include "ui/terminal/tui_input.h"
#include "ui/terminal/tui_layout.h"
#include "ui/terminal/tui_text.h"

namespace Tolvane {
namespace Tui {

struct ModalButton {
    int id;
    std::wstring label;
    CellRect cells;  // relative to the box's client area
};

// A row of push buttons with a focus, as every modal box has. Enter and
// Space press the focused button, Tab and the arrows move the focus, a
// press and release of the mouse on the same button presses it.
class CButtonRow {
public:
    CButtonRow() = default;
    explicit CButtonRow(std::vector<ModalButton> buttons, std::size_t focus = 0);

    const std::vector<ModalButton>& Buttons() const { return m_buttons; }
    std::vector<ModalButton>& Buttons() { return m_buttons; }
    std::size_t Focus() const { return m_focus; }
    int FocusedId() const { return m_buttons.empty() ? 0 : m_buttons[m_focus].id; }
    // The button the mouse was pressed on, while it is held.
    std::optional<int> Held() const { return m_held; }

    // The answer, when the event pressed a button. col and row of a mouse
    // event are relative to the box's client area here.
    std::optional<int> OnEvent(const InputEvent& event);

private:
    std::optional<int> ButtonAt(int col, int row) const;

    std::vector<ModalButton> m_buttons;
    std::size_t m_focus = 0;
    std::optional<int> m_held;
};

// A box on the screen: a frame with a caption row, a client area and a
// bottom edge, centred. Client coordinates start inside the frame, under
// the caption.
struct BoxFrame {
    int left = 0;    // screen column of the frame's left edge
    int top = 0;     // screen row of the caption
    int width = 0;   // whole frame, edges included
    int height = 0;  // caption + client + bottom edge

    int ClientLeft() const { return left + 1; }
    int ClientTop() const { return top + 1; }
    int ClientWidth() const { return width - 2; }
    int ClientHeight() const { return height - 2; }
};

// A frame for a client area of this size centred in the screen (or placed
// at the top left corner when the screen is smaller).
BoxFrame CenterBox(int clientWidth, int clientHeight, int screenWidth, int screenHeight);

// A message box: the text (one or more lines), an icon mark when the type
// asks for one, and OK or はい/いいえ. The caption is the application's
// title, which is the main dialog's caption here.
class CMessageBoxModel {
public:
    // The answer when the terminal goes away while the box is open: never a
    // yes nobody gave.
    static int AnswerWithoutUser(UINT type);

    CMessageBoxModel(const std::string& cp932Text, UINT type, const WidthFn& width,
                     ELanguage language);

    const std::wstring& Caption() const { return m_caption; }
    // The text's lines, wrapped to the box.
    const std::vector<std::wstring>& Lines() const { return m_lines; }
    bool AsksYesNo() const { return (m_type & MB_TYPEMASK) == MB_YESNO; }
    // The icon's mark ("!", "?", "i", "x"), or empty.
    const std::wstring& Icon() const { return m_icon; }
    // Where the text starts in the client area.
    int TextColumn() const { return m_textColumn; }
    int TextRow() const { return 1; }
    int ClientWidth() const { return m_clientWidth; }
    int ClientHeight() const { return m_clientHeight; }
    CButtonRow& Row() { return m_row; }
    const CButtonRow& Row() const { return m_row; }

    // The answer (IDOK, IDYES, IDNO) once the box is done. Escape answers
    // an OK box with IDOK and does nothing in a Yes/No box, which has no
    // way to cancel. 'y' and 'n' answer a Yes/No box at once.
    std::optional<int> OnEvent(const InputEvent& event);

private:
    UINT m_type;
    std::wstring m_caption;
    std::vector<std::wstring> m_lines;
    std::wstring m_icon;
    int m_textColumn = 2;
    int m_clientWidth = 0;
    int m_clientHeight = 0;
    CButtonRow m_row;
};

// The About box: template 100 with its OK button.
class CAboutBoxModel {
public:
    explicit CAboutBoxModel(ELanguage language);

    const CDialogLayout& Layout() const { return m_layout; }
    CButtonRow& Row() { return m_row; }
    const CButtonRow& Row() const { return m_row; }
    // True once closed (OK, Enter, Space, Escape).
    bool OnEvent(const InputEvent& event);

private:
    CDialogLayout m_layout;
    CButtonRow m_row;
};

// A push button's face: "[" label centred "]" over width cells.
std::wstring ButtonFace(const std::wstring& label, int width, const WidthFn& widthFn);

}  // namespace Tui
}  // namespace Tolvane
