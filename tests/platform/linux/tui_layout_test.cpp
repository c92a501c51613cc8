#include "platform/linux/tui/tui_layout.h"

#include <gtest/gtest.h>

#include "app/resource_ids.h"
#include "platform/linux/tui/tui_text.h"
#include "platform/win_types.h"
#include "tui_test_width.h"

namespace Tolvane {
namespace Tui {
namespace {

CellRect Cells(const CDialogLayout& layout, int id) {
    const LaidItem* laid = layout.Find(id);
    EXPECT_NE(laid, nullptr) << id;
    return laid != nullptr ? laid->cells : CellRect{};
}

CellRect Group(const CDialogLayout& layout, std::size_t nth) {
    std::size_t seen = 0;
    for (const LaidItem& laid : layout.Items()) {
        if (laid.item.kind == EItemKind::kGroupBox && seen++ == nth) {
            return laid.cells;
        }
    }
    ADD_FAILURE() << "no group box " << nth;
    return {};
}

TEST(TuiLayoutTest, ScalesDialogUnitsRoundingHalfUp) {
    EXPECT_EQ(DluToColumn(5), 2);  // 1.5
    EXPECT_EQ(DluToColumn(4), 1);  // 1.2
    EXPECT_EQ(DluToRow(3), 0);
    EXPECT_EQ(DluToRow(4), 1);  // 0.5
}

// Every item inside the client area, no two controls (group boxes aside)
// on the same cell, and every text fitting its cells with what is drawn
// around it: "[x] " before a check box's, a corner and a space either side
// of a caption, "[" and "]" around a button's.
TEST(TuiLayoutTest, ItemsStayApartAndTheirTextsFit) {
    for (const CDialogLayout& layout : {CDialogLayout::MainDialog(), CDialogLayout::AboutBox()}) {
        const CellRect client{0, 0, layout.Width(), layout.Height()};
        for (const LaidItem& a : layout.Items()) {
            SCOPED_TRACE(testing::Message() << layout.Width() << " " << a.item.id);
            EXPECT_TRUE(client.Encloses(a.cells));
            EXPECT_GT(a.cells.Width(), 0);
            const EItemKind kind = a.item.kind;
            for (const LaidItem& b : layout.Items()) {
                if (&a != &b && kind != EItemKind::kGroupBox &&
                    b.item.kind != EItemKind::kGroupBox) {
                    EXPECT_FALSE(a.cells.Intersects(b.cells)) << b.item.id;
                }
            }
            if (a.item.text == nullptr) {
                continue;
            }
            const int text = TextWidth(ScreenText(a.item.text), TestWidth);
            const bool fourCells = kind == EItemKind::kCheckBox || kind == EItemKind::kGroupBox;
            EXPECT_LE(text + (kind == EItemKind::kText ? 0 : fourCells ? 4 : 2), a.cells.Width());
            const LaidItem* field = layout.Find(IDC_TARGET_ID);
            if (kind == EItemKind::kText && field != nullptr) {  // the label ends before it
                EXPECT_LT(a.cells.left + text, field->cells.left);
            }
        }
    }
}

TEST(TuiLayoutTest, MainDialogKeepsTheTemplatesArrangement) {
    const CDialogLayout layout = CDialogLayout::MainDialog();
    EXPECT_EQ(layout.Width(), 70);
    EXPECT_EQ(layout.Height(), 14);
    const CellRect massStorage = Group(layout, 0);
    const CellRect normal = Group(layout, 1);
    // The group boxes stack without touching and frame what they hold, away
    // from their edges.
    EXPECT_LE(massStorage.bottom, normal.top);
    const auto inside = [](const CellRect& group, const CellRect& item) {
        return item.left > group.left && item.right < group.right && item.top > group.top &&
               item.bottom < group.bottom;
    };
    for (int id : {IDOK, IDC_TARGET_ID, IDC_READONLY}) {
        EXPECT_TRUE(inside(massStorage, Cells(layout, id))) << id;
    }
    EXPECT_TRUE(inside(normal, Cells(layout, IDC_NORMAL)));
    const CellRect quit = Cells(layout, IDCANCEL);
    EXPECT_GE(quit.top, normal.bottom);
    // The two 実行 buttons stand one above the other; QUIT further right.
    EXPECT_EQ(Cells(layout, IDOK).left, Cells(layout, IDC_NORMAL).left);
    EXPECT_GT(quit.left, Cells(layout, IDOK).left);
    // The label, the field and the check box share a row.
    EXPECT_EQ(Cells(layout, IDC_TARGET_ID).top, Cells(layout, IDC_READONLY).top);

    const CDialogLayout about = CDialogLayout::AboutBox();
    EXPECT_EQ(about.Width(), 71);
    EXPECT_EQ(about.Height(), 7);
    EXPECT_EQ(about.TabStops(), std::vector<int>{IDOK});
}

TEST(TuiLayoutTest, OnlyControlsAreTabStopsAndTakeClicks) {
    const CDialogLayout layout = CDialogLayout::MainDialog();
    const std::vector<int> controls{IDOK, IDCANCEL, IDC_TARGET_ID, IDC_NORMAL, IDC_READONLY};
    EXPECT_EQ(layout.TabStops(), controls);
    // From nowhere (before the first focus): the first tab stop.
    EXPECT_EQ(layout.NextTabStop(0, true), IDOK);
    EXPECT_EQ(layout.NextTabStop(-1, false), IDOK);
    for (int id : controls) {
        const CellRect cells = Cells(layout, id);
        EXPECT_EQ(layout.ControlAt(cells.left, cells.top), id);
        EXPECT_EQ(layout.ControlAt(cells.right - 1, cells.top), id);
        EXPECT_NE(layout.ControlAt(cells.right, cells.top), id);
    }
    // The label, a group box's frame, the empty client and the outside.
    const CellRect group = Group(layout, 0);
    EXPECT_EQ(layout.ControlAt(group.left, group.top), std::nullopt);
    EXPECT_EQ(layout.ControlAt(DluToColumn(15) + 1, Cells(layout, IDC_TARGET_ID).top),
              std::nullopt);
    EXPECT_EQ(layout.ControlAt(0, 0), std::nullopt);
    EXPECT_EQ(layout.ControlAt(-1, -1), std::nullopt);
    EXPECT_EQ(layout.ControlAt(1000, 1000), std::nullopt);
}

TEST(TuiLayoutTest, TheFieldsArrowsSitInsideItsRightBracket) {
    const CellRect field = Cells(CDialogLayout::MainDialog(), IDC_TARGET_ID);
    const int row = field.top;
    EXPECT_EQ(CDialogLayout::FieldPartAt(field, field.right - 3, row), EFieldPart::kSpinUp);
    EXPECT_EQ(CDialogLayout::FieldPartAt(field, field.right - 2, row), EFieldPart::kSpinDown);
    EXPECT_EQ(CDialogLayout::FieldPartAt(field, field.right - 1, row), EFieldPart::kText);
    EXPECT_EQ(CDialogLayout::FieldPartAt(field, field.left, row), EFieldPart::kText);
    EXPECT_EQ(CDialogLayout::FieldPartAt(field, field.right, row), EFieldPart::kNone);
    EXPECT_EQ(CDialogLayout::FieldPartAt(field, field.left, row + 1), EFieldPart::kNone);
    const CellRect text = CDialogLayout::FieldText(field);
    EXPECT_EQ(text.left, field.left + 1);
    EXPECT_EQ(text.right, CDialogLayout::SpinUpColumn(field));
    // A field too narrow for its parts still gives no negative width.
    EXPECT_GE(CDialogLayout::FieldText(CellRect{5, 0, 6, 1}).Width(), 0);
}

}  // namespace
}  // namespace Tui
}  // namespace Tolvane
