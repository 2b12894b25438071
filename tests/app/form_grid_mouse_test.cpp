// The mouse in the real window's grid: presses on cells, title clicks that sort (adding
// the index the first time), resizing and moving columns.
#include <QCursor>

#include "form_grid_fixture.h"
#include "storage/index_defs.h"

namespace snyltdyr {
namespace {

using testsupport::GridFormTest;
using testsupport::IndexProblems;

class GridMouseTest : public GridFormTest {
 protected:
  QWidget* Viewport() { return Grid().viewport(); }
  QPoint Centre(int col, int row) { return Grid().CellRect(col, row).ToQRect().center(); }
  void ClickCell(int col, int row) {
    QTest::mouseClick(Viewport(), Qt::LeftButton, Qt::NoModifier, Centre(col, row));
    Settle();
  }
  // A left-button drag from one point to another, moving in steps.
  void Drag(QPoint from, QPoint to) {
    QTest::mousePress(Viewport(), Qt::LeftButton, Qt::NoModifier, from);
    const int steps = 5;
    for (int i = 1; i <= steps; ++i) {
      QTest::mouseMove(Viewport(), from + (to - from) * i / steps);
      Settle();
    }
    QTest::mouseRelease(Viewport(), Qt::LeftButton, Qt::NoModifier, to);
    Settle();
  }
  bool HasIndex(const std::string& name) { return Table().IndexDefs().Find(name) != nullptr; }
};

TEST_F(GridMouseTest, PressesMoveTheRecordByTheRowDifferenceAndASecondPressOpensTheEditor) {
  ShowGrid();
  const int rows = Grid().DataLink().LinkBufferCount();
  std::vector<int32_t> shown;  // the records of the rows, top first
  for (int i = 0; i < rows; ++i) {
    Grid().DataLink().SetLinkActiveRecord(i);
    shown.push_back(Table().RecordNumber());
  }
  Grid().DataLink().SetLinkActiveRecord(rows - 1);
  ClickCell(3, 2);
  EXPECT_EQ(Table().RecordNumber(), shown[1]);
  EXPECT_EQ(Grid().Row(), 2);
  EXPECT_EQ(Grid().Col(), 3);
  EXPECT_FALSE(EditorShown());
  ClickCell(3, 2);  // the current cell: the editor, with the whole text selected
  ASSERT_TRUE(EditorShown());
  EXPECT_EQ(Grid().InplaceEditor()->selectedText().toStdString(), Field("GENER").Text());
  EXPECT_EQ(Table().DataState(), StateBrowse);
  // The indicator column moves the record and keeps the column.
  ClickCell(0, 5);
  EXPECT_EQ(Table().RecordNumber(), shown[4]);
  EXPECT_EQ(Grid().Col(), 3);
  EXPECT_FALSE(EditorShown());
}

// A press writes pending text back first; a text the field refuses ends the press with
// the record, the column and the editor as they were.
TEST_F(GridMouseTest, APressAfterABadTextShowsTheErrorAndMovesNothing) {
  ShowGrid();
  ToColumn("TALL");
  const int32_t record = Table().RecordNumber();
  const int row = Grid().Row();
  Type("-");
  ClickCell(2, 1);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(Table().RecordNumber(), record);
  EXPECT_EQ(Grid().Row(), row);
  EXPECT_EQ(Grid().Col(), 13);
  EXPECT_EQ(Table().DataState(), StateEdit);
  EXPECT_TRUE(EditorShown());
  EXPECT_EQ(EditorText(), "-");
}

// A title click sorts by the column's field, adding the index the first time only; the
// table is closed and opened for it and the grid builds its columns anew.
TEST_F(GridMouseTest, TitleClicksSortAndAddTheIndexOnce) {
  ShowGrid();
  ASSERT_FALSE(HasIndex("BYGG"));
  ClickCell(2, 0);  // "kar"
  EXPECT_EQ(Table().IndexName(), "BYGG");
  EXPECT_TRUE(HasIndex("BYGG"));
  const int tags = Table().IndexDefs().Count();
  EXPECT_EQ(Grid().Columns().Count(), 13);
  // In BYGG order now: the first records hold the smallest tank names.
  Table().First();
  const std::string first = Field("BYGG").AsString();
  Table().Next();
  EXPECT_LE(first, Field("BYGG").AsString());
  ClickCell(1, 0);  // "dato"
  EXPECT_EQ(Table().IndexName(), "DATO");
  ClickCell(2, 0);
  EXPECT_EQ(Table().IndexName(), "BYGG");
  EXPECT_EQ(Table().IndexDefs().Count(), tags);
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_EQ(IndexProblems(dir.path()), "");
  EXPECT_EQ(testsupport::DbfreadRows(dir.path()).size(), static_cast<size_t>(kRecords));
}

TEST_F(GridMouseTest, ARightClickOrAClickOnTheIndicatorTitleSortsNothing) {
  ShowGrid();
  QTest::mouseClick(Viewport(), Qt::RightButton, Qt::NoModifier, Centre(2, 0));
  ClickCell(0, 0);
  Settle();
  EXPECT_EQ(Table().IndexName(), "DATO");
  EXPECT_FALSE(HasIndex("BYGG"));
}

// Dragging a title border resizes the column; the new width goes into the field's
// DisplayWidth and stays while the table is open, also over font changes. No sort.
TEST_F(GridMouseTest, DraggingATitleBorderResizesTheColumnAndWritesItsFieldWidth) {
  ShowGrid();
  const TRect dato = Grid().CellRect(1, 0);
  const int bygg_width = Field("BYGG").DisplayWidth();
  EXPECT_EQ(Viewport()->cursor().shape(), Qt::ArrowCursor);
  QTest::mouseMove(Viewport(), QPoint(dato.right + 2, dato.top + 5));
  EXPECT_EQ(Viewport()->cursor().shape(), Qt::SplitHCursor);
  Drag(QPoint(dato.right + 2, dato.top + 5), QPoint(dato.right + 62, dato.top + 5));
  EXPECT_EQ(Grid().ColWidths(1), 81 + 60);
  const int average = QFontMetrics(ToQFont(Grid().Font())).averageCharWidth();
  EXPECT_EQ(Field("DATO").DisplayWidth(), (141 + average / 2 - 3) / average);
  EXPECT_EQ(Field("BYGG").DisplayWidth(), bygg_width);  // the others keep theirs
  EXPECT_EQ(Table().IndexName(), "DATO");  // no title click
  // Font changes leave the dragged width alone.
  Click(form->SpeedButton2);
  EXPECT_EQ(Grid().ColWidths(1), 141);
  EXPECT_GT(Grid().ColWidths(2), 0);
  // A resize to 1 pixel or less is ignored.
  const TRect tid = Grid().CellRect(10, 0);
  const int tid_width = Grid().ColWidths(10);
  Drag(QPoint(tid.right, tid.top + 5), QPoint(tid.left, tid.top + 5));
  EXPECT_EQ(Grid().ColWidths(10), tid_width);
  EXPECT_TRUE(ui.boxes.empty());
}

// Dragging a title onto another moves the column with its field; the release over the
// title then sorts by the moved column.
TEST_F(GridMouseTest, DraggingATitleMovesTheColumnAndItsField) {
  ShowGrid();
  std::vector<std::pair<int32_t, int32_t>> moves;
  Grid().OnColumnMoved = [&](TCustomDBGrid&, int32_t from, int32_t to) { moves.push_back({from, to}); };
  const QPoint from = Centre(2, 0);  // "kar"
  const QPoint to = Centre(4, 0);    // "årsklasse"
  Drag(from, to);
  ASSERT_EQ(moves.size(), 1u);
  EXPECT_EQ(moves[0], std::make_pair(1, 3));
  EXPECT_EQ(Grid().Columns()[3]->Field(), &Field("BYGG"));
  EXPECT_EQ(Field("BYGG").Index(), 3);
  EXPECT_EQ(Grid().Columns()[1]->Field(), &Field("GENER"));
  EXPECT_EQ(Table().IndexName(), "BYGG");  // the title click of the moved column
  // Released over the same title: nothing moves.
  moves.clear();
  Drag(Centre(1, 0), Centre(1, 0) + QPoint(3, 0));
  EXPECT_TRUE(moves.empty());
  EXPECT_EQ(Table().IndexName(), "DATO");
  EXPECT_TRUE(ui.boxes.empty());
}

}  // namespace
}  // namespace snyltdyr
