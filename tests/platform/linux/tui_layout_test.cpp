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
    EXPECT_EQ(DluToColumn(0), 0);
    EXPECT_EQ(DluToColumn(5), 2);  // 1.5
    EXPECT_EQ(DluToColumn(4), 1);  // 1.2
    EXPECT_EQ(DluToColumn(232), 70);
    EXPECT_EQ(DluToRow(3), 0);
    EXPECT_EQ(DluToRow(4), 1);  // 0.5
    EXPECT_EQ(DluToRow(109), 14);
}

TEST(TuiLayoutTest, MainDialogKeepsTheTemplatesArrangement) {
    const CDialogLayout layout = CDialogLayout::MainDialog();
    EXPECT_EQ(layout.Width(), 70);
    EXPECT_EQ(layout.Height(), 14);
    const CellRect client{0, 0, layout.Width(), layout.Height()};
    const CellRect massStorage = Group(layout, 0);
    const CellRect normal = Group(layout, 1);

    // Every control inside the client area, and no two controls (group
    // boxes aside) on the same cell.
    for (const LaidItem& a : layout.Items()) {
        EXPECT_TRUE(client.Encloses(a.cells)) << a.item.id;
        EXPECT_GT(a.cells.Width(), 0);
        for (const LaidItem& b : layout.Items()) {
            if (&a != &b && a.item.kind != EItemKind::kGroupBox &&
                b.item.kind != EItemKind::kGroupBox) {
                EXPECT_FALSE(a.cells.Intersects(b.cells)) << a.item.id << " " << b.item.id;
            }
        }
    }
    // The group boxes stack without touching and frame what they hold, away
    // from their edges.
    EXPECT_FALSE(massStorage.Intersects(normal));
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
}

TEST(TuiLayoutTest, TextsFitTheirCells) {
    const CDialogLayout layout = CDialogLayout::MainDialog();
    const WidthFn w = TestWidth;
    for (const LaidItem& laid : layout.Items()) {
        if (laid.item.text == nullptr) {
            continue;
        }
        const int text = TextWidth(ScreenText(laid.item.text), w);
        switch (laid.item.kind) {
            case EItemKind::kText:
                EXPECT_LE(text, laid.cells.Width());
                // The label ends before the field starts.
                EXPECT_LT(laid.cells.left + text, Cells(layout, IDC_TARGET_ID).left);
                break;
            case EItemKind::kCheckBox:  // "[x] " before the text
                EXPECT_LE(4 + text, laid.cells.Width());
                break;
            case EItemKind::kGroupBox:  // " caption " after the corner
                EXPECT_LE(text + 4, laid.cells.Width());
                break;
            default:  // "[" and "]" around it
                EXPECT_LE(text + 2, laid.cells.Width());
                break;
        }
    }
}

TEST(TuiLayoutTest, TabVisitsTheTabStopsInTemplateOrderAndWraps) {
    const CDialogLayout layout = CDialogLayout::MainDialog();
    EXPECT_EQ(layout.TabStops(),
              (std::vector<int>{IDOK, IDCANCEL, IDC_TARGET_ID, IDC_NORMAL, IDC_READONLY}));
    EXPECT_EQ(layout.NextTabStop(IDOK, true), IDCANCEL);
    EXPECT_EQ(layout.NextTabStop(IDC_READONLY, true), IDOK);
    EXPECT_EQ(layout.NextTabStop(IDOK, false), IDC_READONLY);
    EXPECT_EQ(layout.NextTabStop(IDC_NORMAL, false), IDC_TARGET_ID);
    // From nowhere (before the first focus): the first tab stop.
    EXPECT_EQ(layout.NextTabStop(0, true), IDOK);
    EXPECT_EQ(layout.NextTabStop(-1, false), IDOK);
}

TEST(TuiLayoutTest, OnlyControlsTakeClicks) {
    const CDialogLayout layout = CDialogLayout::MainDialog();
    for (int id : {IDOK, IDCANCEL, IDC_TARGET_ID, IDC_NORMAL, IDC_READONLY}) {
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

TEST(TuiLayoutTest, AboutBoxHasItsTextsBesideTheOkButton) {
    const CDialogLayout about = CDialogLayout::AboutBox();
    EXPECT_EQ(about.Width(), 71);
    EXPECT_EQ(about.Height(), 7);
    const CellRect ok = Cells(about, IDOK);
    EXPECT_EQ(about.TabStops(), std::vector<int>{IDOK});
    const WidthFn w = TestWidth;
    for (const LaidItem& laid : about.Items()) {
        EXPECT_TRUE((CellRect{0, 0, about.Width(), about.Height()}).Encloses(laid.cells));
        if (laid.item.kind == EItemKind::kText) {
            EXPECT_FALSE(laid.cells.Intersects(ok));
            EXPECT_LE(TextWidth(ScreenText(laid.item.text), w), laid.cells.Width());
        }
    }
}

}  // namespace
}  // namespace Tui
}  // namespace Tolvane
