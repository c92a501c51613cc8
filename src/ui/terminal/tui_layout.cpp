#include "ui/terminal/tui_layout.h"

#include <algorithm>

#include "app/resource_ids.h"
#include "platform/win_types.h"
#include "tolvane_texts.h"

namespace Tolvane {
namespace Tui {

namespace {

// Across: 3 cells per 10 dialog units; down: 1 row per 8. Rounded half up.
constexpr int kColumnsPer = 3;
constexpr int kUnitsAcross = 10;
constexpr int kUnitsDown = 8;

constexpr int kStatic = -1;

// Template 102, in its tab order.
std::vector<TemplateItem> MainItems(ELanguage language) {
    return {
        {IDOK, EItemKind::kDefPushButton, Text::kExecute.In(language), 159, 34, 53, 14, true},
        {IDCANCEL, EItemKind::kPushButton, Text::kQuit.In(language), 172, 88, 53, 14, true},
        {IDC_TARGET_ID, EItemKind::kEdit, nullptr, 95, 16, 49, 14, true},
        {kStatic, EItemKind::kText, Text::kTargetLabel.In(language), 15, 16, 78, 13, false},
        {IDC_NORMAL, EItemKind::kPushButton, Text::kExecute.In(language), 159, 65, 53, 14, true},
        {kStatic, EItemKind::kGroupBox, Text::kGroupMassStorage.In(language), 7, 7, 218, 47, false},
        {kStatic, EItemKind::kGroupBox, Text::kGroupNormal.In(language), 7, 57, 218, 27, false},
        {IDC_READONLY, EItemKind::kCheckBox, Text::kReadOnly.In(language), 159, 17, 61, 10, true},
    };
}

// Template 100. The icon has no place on a character screen, and neither
// has its room: the box loses the units from the icon's left edge to the
// texts', which keeps it inside the main dialog.
constexpr int kAboutIconRoom = 40 - 11;

std::vector<TemplateItem> AboutItems(ELanguage language) {
    return {
        {IDC_ABOUT_VERSION, EItemKind::kText, Text::kAboutVersion.In(language), 40, 10, 119, 8,
         false},
        {IDC_ABOUT_NOTE, EItemKind::kText, Text::kAboutCopyright.In(language), 40, 25, 119, 8,
         false},
        {IDOK, EItemKind::kDefPushButton, Text::kOk.In(language), 178, 7, 50, 14, true},
    };
}

bool TakesClicks(EItemKind kind) {
    return kind == EItemKind::kPushButton || kind == EItemKind::kDefPushButton ||
           kind == EItemKind::kEdit || kind == EItemKind::kCheckBox;
}

CellRect Place(const TemplateItem& item) {
    CellRect cells;
    cells.left = DluToColumn(item.x);
    cells.right = DluToColumn(item.x + item.cx);
    if (item.kind == EItemKind::kGroupBox) {
        cells.top = DluToRow(item.y);
        cells.bottom = DluToRow(item.y + item.cy);
    } else {
        // The row holding the control's vertical centre: 8 * row <= y + cy / 2.
        cells.top = (2 * item.y + item.cy) / (2 * kUnitsDown);
        cells.bottom = cells.top + 1;
    }
    return cells;
}

}  // namespace

int DluToColumn(int x) {
    return (2 * kColumnsPer * x + kUnitsAcross) / (2 * kUnitsAcross);
}

int DluToRow(int y) {
    return (2 * y + kUnitsDown) / (2 * kUnitsDown);
}

CDialogLayout CDialogLayout::MainDialog(ELanguage language) {
    return CDialogLayout(Text::kMainCaption.In(language), 232, 109, MainItems(language));
}

CDialogLayout CDialogLayout::AboutBox(ELanguage language) {
    std::vector<TemplateItem> items = AboutItems(language);
    for (TemplateItem& item : items) {
        item.x -= kAboutIconRoom;
    }
    return CDialogLayout(Text::kAboutCaption.In(language), 235 - kAboutIconRoom, 55, items);
}

CDialogLayout::CDialogLayout(const char* caption, int cx, int cy,
                             const std::vector<TemplateItem>& items)
    : m_caption(caption), m_width(DluToColumn(cx)), m_height(DluToRow(cy)) {
    m_items.reserve(items.size());
    for (const TemplateItem& item : items) {
        m_items.push_back(LaidItem{item, Place(item)});
    }
}

const LaidItem* CDialogLayout::Find(int id) const {
    for (const LaidItem& laid : m_items) {
        if (laid.item.id == id && laid.item.id != kStatic) {
            return &laid;
        }
    }
    return nullptr;
}

std::vector<int> CDialogLayout::TabStops() const {
    std::vector<int> ids;
    for (const LaidItem& laid : m_items) {
        if (laid.item.tabStop) {
            ids.push_back(laid.item.id);
        }
    }
    return ids;
}

int CDialogLayout::NextTabStop(int id, bool forward) const {
    const std::vector<int> stops = TabStops();
    if (stops.empty()) {
        return id;
    }
    const auto it = std::find(stops.begin(), stops.end(), id);
    if (it == stops.end()) {
        return stops.front();
    }
    const std::size_t n = stops.size();
    const std::size_t at = static_cast<std::size_t>(it - stops.begin());
    return stops[forward ? (at + 1) % n : (at + n - 1) % n];
}

std::optional<int> CDialogLayout::ControlAt(int col, int row) const {
    for (const LaidItem& laid : m_items) {
        if (TakesClicks(laid.item.kind) && laid.cells.Contains(col, row)) {
            return laid.item.id;
        }
    }
    return std::nullopt;
}

CellRect CDialogLayout::FieldText(const CellRect& field) {
    return CellRect{field.left + 1, field.top, std::max(field.left + 1, field.right - 3),
                    field.bottom};
}

EFieldPart CDialogLayout::FieldPartAt(const CellRect& field, int col, int row) {
    if (!field.Contains(col, row)) {
        return EFieldPart::kNone;
    }
    if (col == SpinUpColumn(field)) {
        return EFieldPart::kSpinUp;
    }
    if (col == SpinDownColumn(field)) {
        return EFieldPart::kSpinDown;
    }
    // The brackets count as the field's border: a click there lands in the
    // text, as a click on an edit control's border does.
    return EFieldPart::kText;
}

}  // namespace Tui
}  // namespace Tolvane
