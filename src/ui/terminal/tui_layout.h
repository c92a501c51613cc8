// Where the dialogs' controls stand on a character grid. The dialog
// templates are given in dialog units; a dialog unit is a quarter of the
// average character width across and an eighth of the character height
// down. The Windows font is proportional, so its average character is
// narrower than a terminal cell holding the Latin part of the label
// "Target-SCSI-ID (0～6)": across, 10 dialog units make 3 cells (rather
// than 4), which keeps that label clear of the field and the whole main
// dialog inside an 80-column terminal. Down, 8 units make a row.
//
// Controls one row high (buttons, the field, the check box, texts) sit on
// the row that holds their vertical centre; group boxes keep their frame.
#pragma once

#include <optional>
#include <vector>

#include "lib/language.h"

namespace Tolvane {
namespace Tui {

enum class EItemKind {
    kPushButton,
    kDefPushButton,
    kEdit,
    kText,
    kGroupBox,
    kCheckBox,
};

// One control of a dialog template, in dialog units. text is a code page
// 932 text, or null.
struct TemplateItem {
    int id;
    EItemKind kind;
    const char* text;
    int x;
    int y;
    int cx;
    int cy;
    bool tabStop;
};

// Cells relative to the dialog's client area. right and bottom are past the
// last cell.
struct CellRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool Contains(int col, int row) const {
        return col >= left && col < right && row >= top && row < bottom;
    }
    bool Intersects(const CellRect& o) const {
        return left < o.right && o.left < right && top < o.bottom && o.top < bottom;
    }
    bool Encloses(const CellRect& o) const {
        return o.left >= left && o.right <= right && o.top >= top && o.bottom <= bottom;
    }
    bool operator==(const CellRect& o) const {
        return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
    }
};

struct LaidItem {
    TemplateItem item;
    CellRect cells;
};

// Parts of the numeric field's one row: "[", the text, the spin's two
// arrows, "]".
enum class EFieldPart { kNone, kText, kSpinUp, kSpinDown };

// Dialog units to cells.
int DluToColumn(int x);
int DluToRow(int y);

class CDialogLayout {
public:
    // The main dialog (template 102) and the About box (template 100,
    // without the room of its icon).
    static CDialogLayout MainDialog(ELanguage language);
    static CDialogLayout AboutBox(ELanguage language);

    CDialogLayout(const char* caption, int cx, int cy, const std::vector<TemplateItem>& items);

    const char* Caption() const { return m_caption; }
    // Client area in cells.
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    const std::vector<LaidItem>& Items() const { return m_items; }
    const LaidItem* Find(int id) const;

    // The controls Tab visits, in template order.
    std::vector<int> TabStops() const;
    // The tab stop after (forward) or before the control with this id,
    // wrapping round; the first tab stop when id is none of them.
    int NextTabStop(int id, bool forward) const;
    // The control that takes a click at this cell (push buttons, fields,
    // check boxes; texts and group boxes take none).
    std::optional<int> ControlAt(int col, int row) const;

    // Cells of the field's parts: the text between the brackets, then the
    // up and down arrows just inside the right bracket.
    static CellRect FieldText(const CellRect& field);
    static int SpinUpColumn(const CellRect& field) { return field.right - 3; }
    static int SpinDownColumn(const CellRect& field) { return field.right - 2; }
    static EFieldPart FieldPartAt(const CellRect& field, int col, int row);

private:
    const char* m_caption;
    int m_width;
    int m_height;
    std::vector<LaidItem> m_items;
};

}  // namespace Tui
}  // namespace Tolvane
