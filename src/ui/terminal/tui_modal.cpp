#include "ui/terminal/tui_modal.h"

#include <algorithm>

#include "tolvane_texts.h"

namespace Tolvane {
namespace Tui {

namespace {

constexpr int kButtonWidth = 12;
constexpr int kButtonGap = 2;
constexpr int kMinimumClientWidth = 30;
// Blank row, the text, blank row, buttons, blank row.
constexpr int kRowsAroundText = 4;

std::wstring IconMark(UINT type) {
    switch (type & MB_ICONMASK) {
        case MB_ICONHAND:
            return L"(x)";
        case MB_ICONQUESTION:
            return L"(?)";
        case MB_ICONEXCLAMATION:
            return L"(!)";
        case MB_ICONASTERISK:
            return L"(i)";
        default:
            return L"";
    }
}

}  // namespace

// --- CButtonRow ----------------------------------------------------------

CButtonRow::CButtonRow(std::vector<ModalButton> buttons, std::size_t focus)
    : m_buttons(std::move(buttons)),
      m_focus(m_buttons.empty() ? 0 : std::min(focus, m_buttons.size() - 1)) {}

std::optional<int> CButtonRow::ButtonAt(int col, int row) const {
    for (const ModalButton& button : m_buttons) {
        if (button.cells.Contains(col, row)) {
            return button.id;
        }
    }
    return std::nullopt;
}

std::optional<int> CButtonRow::OnEvent(const InputEvent& event) {
    if (m_buttons.empty()) {
        return std::nullopt;
    }
    const std::size_t n = m_buttons.size();
    switch (event.key) {
        case EKey::kEnter:
            return FocusedId();
        case EKey::kChar:
            if (event.ch == L' ') {
                return FocusedId();
            }
            return std::nullopt;
        case EKey::kTab:
        case EKey::kRight:
        case EKey::kDown:
            m_focus = (m_focus + 1) % n;
            return std::nullopt;
        case EKey::kBackTab:
        case EKey::kLeft:
        case EKey::kUp:
            m_focus = (m_focus + n - 1) % n;
            return std::nullopt;
        case EKey::kMouse: {
            const std::optional<int> at = ButtonAt(event.col, event.row);
            if (event.mouse == EMouse::kPress) {
                m_held = at;
                if (at) {
                    for (std::size_t i = 0; i < n; ++i) {
                        if (m_buttons[i].id == *at) {
                            m_focus = i;
                        }
                    }
                }
                return std::nullopt;
            }
            if (event.mouse == EMouse::kRelease) {
                // Released elsewhere: the press is called off, as a button
                // does when the mouse leaves it before the release.
                const std::optional<int> held = m_held;
                m_held.reset();
                if (held && at == held) {
                    return held;
                }
            }
            return std::nullopt;
        }
        default:
            return std::nullopt;
    }
}

// --- Boxes ---------------------------------------------------------------

BoxFrame CenterBox(int clientWidth, int clientHeight, int screenWidth, int screenHeight) {
    BoxFrame frame;
    frame.width = clientWidth + 2;
    frame.height = clientHeight + 2;
    frame.left = std::max(0, (screenWidth - frame.width) / 2);
    frame.top = std::max(0, (screenHeight - frame.height) / 2);
    return frame;
}

std::wstring ButtonFace(const std::wstring& label, int width, const WidthFn& widthFn) {
    if (width < 2) {
        return FitText(L"[]", width, widthFn);
    }
    const std::wstring text = FitText(label, width - 2, widthFn);
    const int free = width - 2 - TextWidth(text, widthFn);
    const int before = free / 2;
    return L"[" + std::wstring(static_cast<std::size_t>(before), L' ') + text +
           std::wstring(static_cast<std::size_t>(free - before), L' ') + L"]";
}

// --- CMessageBoxModel ----------------------------------------------------

int CMessageBoxModel::AnswerWithoutUser(UINT type) {
    return (type & MB_TYPEMASK) == MB_YESNO ? IDNO : IDOK;
}

CMessageBoxModel::CMessageBoxModel(const std::string& cp932Text, UINT type, const WidthFn& width,
                                   ELanguage language)
    : m_type(type),
      m_caption(ScreenText(Text::kMainCaption.In(language))),
      m_lines(SplitLines(ScreenText(cp932Text))),
      m_icon(IconMark(type)) {
    std::vector<std::pair<int, std::wstring>> buttons;
    if ((type & MB_TYPEMASK) == MB_YESNO) {
        buttons = {{IDYES, ScreenText(Text::kYes.In(language))},
                   {IDNO, ScreenText(Text::kNo.In(language))}};
    } else {
        buttons = {{IDOK, ScreenText(Text::kOk.In(language))}};
    }
    m_textColumn = m_icon.empty() ? 2 : 2 + TextWidth(m_icon, width) + 1;

    // No box is wider than the main dialog, so that each fits the smallest
    // screen: longer lines are wrapped.
    const int widest = CDialogLayout::MainDialog(language).Width() - m_textColumn - 2;
    std::vector<std::wstring> wrapped;
    int textWidth = 0;
    for (const std::wstring& paragraph : m_lines) {
        for (const std::wstring& line : WrapLine(paragraph, widest, width)) {
            wrapped.push_back(line);
            textWidth = std::max(textWidth, TextWidth(line, width));
        }
    }
    m_lines = std::move(wrapped);
    const int count = static_cast<int>(buttons.size());
    const int rowWidth = count * kButtonWidth + (count - 1) * kButtonGap;
    m_clientWidth = std::max({kMinimumClientWidth, TextWidth(m_caption, width) + 2,
                              m_textColumn + textWidth + 2, rowWidth + 4});
    m_clientHeight = static_cast<int>(m_lines.size()) + kRowsAroundText;

    const int buttonRow = TextRow() + static_cast<int>(m_lines.size()) + 1;
    int left = (m_clientWidth - rowWidth) / 2;
    std::vector<ModalButton> row;
    for (const auto& [id, label] : buttons) {
        row.push_back(
            ModalButton{id, label, CellRect{left, buttonRow, left + kButtonWidth, buttonRow + 1}});
        left += kButtonWidth + kButtonGap;
    }
    // The first button is the default, as the system's boxes make it.
    m_row = CButtonRow(std::move(row), 0);
}

std::optional<int> CMessageBoxModel::OnEvent(const InputEvent& event) {
    const bool yesNo = (m_type & MB_TYPEMASK) == MB_YESNO;
    if (event.key == EKey::kEscape) {
        return yesNo ? std::nullopt : std::optional<int>(IDOK);
    }
    if (event.key == EKey::kHangUp) {
        return AnswerWithoutUser(m_type);
    }
    if (yesNo && event.key == EKey::kChar) {
        if (event.ch == L'y' || event.ch == L'Y') {
            return IDYES;
        }
        if (event.ch == L'n' || event.ch == L'N') {
            return IDNO;
        }
    }
    return m_row.OnEvent(event);
}

// --- CAboutBoxModel ------------------------------------------------------

CAboutBoxModel::CAboutBoxModel(ELanguage language) : m_layout(CDialogLayout::AboutBox(language)) {
    std::vector<ModalButton> buttons;
    if (const LaidItem* ok = m_layout.Find(IDOK)) {
        buttons.push_back(ModalButton{IDOK, ScreenText(ok->item.text), ok->cells});
    }
    m_row = CButtonRow(std::move(buttons), 0);
}

bool CAboutBoxModel::OnEvent(const InputEvent& event) {
    if (event.key == EKey::kEscape || event.key == EKey::kHangUp) {
        return true;
    }
    return m_row.OnEvent(event).has_value();
}

}  // namespace Tui
}  // namespace Tolvane
