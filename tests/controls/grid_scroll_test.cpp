// Scrolling: the vertical bar as a picture of the position in the table and its
// requests, the row scroll that shifts pixels instead of repainting, the horizontal bar
// of the columns, and what one step down costs: records read and area repainted.
#include <gtest/gtest.h>

#include <QPaintEvent>
#include <QScrollBar>

#include "controls/db_navigator.h"
#include "controls/grid_window.h"
#include "storage/table.h"

namespace snyltdyr {
namespace {

using testsupport::GridWindow;

// Collects the regions the grid's viewport repaints.
class PaintLog : public QObject {
 public:
  explicit PaintLog(QWidget* viewport) { viewport->installEventFilter(this); }
  QRegion Painted() const { return painted_; }
  void Clear() { painted_ = QRegion(); }
  // Pixels repainted so far.
  int64_t Area() const {
    int64_t area = 0;
    for (const QRect& r : painted_) area += static_cast<int64_t>(r.width()) * r.height();
    return area;
  }

 protected:
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint) painted_ += static_cast<QPaintEvent*>(e)->region();
    return false;
  }

 private:
  QRegion painted_;
};

void PressKey(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  QTest::keyClick(QApplication::focusWidget(), key, modifiers);
  GridWindow::Settle();
}

// The physical record numbers of the table in its current order.
std::vector<int32_t> RecordOrder(TTable& table) {
  std::vector<int32_t> order;
  for (table.First(); !table.AtEnd(); table.Next()) order.push_back(table.RecordNumber());
  return order;
}

TEST(GridScroll, VerticalBarShowsStartMiddleAndEndOfATableWithoutRecordNumbers) {
  GridWindow w(100);
  QScrollBar* bar = w.grid->verticalScrollBar();
  ASSERT_FALSE(w.Table().IsNumbered());
  EXPECT_TRUE(bar->isVisible());
  EXPECT_EQ(bar->minimum(), 0);
  EXPECT_EQ(bar->maximum(), 4);
  EXPECT_EQ(bar->value(), 4);  // the window opens on the last record
  w.Table().First();
  EXPECT_EQ(bar->value(), 0);
  w.Table().Next();
  EXPECT_EQ(bar->value(), 2);
  w.Table().MoveRelative(40);
  EXPECT_EQ(bar->value(), 2);
  w.Table().Last();
  EXPECT_EQ(bar->value(), 4);
}

TEST(GridScroll, VerticalBarRequestsMoveTheTable) {
  GridWindow w(100);
  TTable& table = w.Table();
  const std::vector<int32_t> order = RecordOrder(table);
  QScrollBar* bar = w.grid->verticalScrollBar();
  const int rows = w.grid->DataLink().LinkBufferCount();
  table.First();
  // Line down: the record below the bottom row.
  bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  EXPECT_EQ(table.RecordNumber(), order[static_cast<size_t>(rows)]);
  EXPECT_EQ(w.grid->Row(), rows);  // the bottom row
  // Line up: the record above the top row (the rows show order[1] .. order[rows] now).
  bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
  EXPECT_EQ(table.RecordNumber(), order[0]);
  EXPECT_EQ(w.grid->Row(), 1);
  // Page down and up by the visible rows.
  table.First();
  bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
  EXPECT_EQ(table.RecordNumber(), order[static_cast<size_t>(w.grid->VisibleRowCount())]);
  bar->triggerAction(QAbstractSlider::SliderPageStepSub);
  EXPECT_EQ(table.RecordNumber(), order[0]);
  // The thumb: 4 is the end, 0 the start.
  bar->triggerAction(QAbstractSlider::SliderToMaximum);
  EXPECT_TRUE(table.AtEnd());
  EXPECT_EQ(table.RecordNumber(), order.back());
  EXPECT_EQ(bar->value(), 4);
  bar->triggerAction(QAbstractSlider::SliderToMinimum);
  EXPECT_EQ(table.RecordNumber(), order.front());
  EXPECT_EQ(bar->value(), 0);
  // A request that cannot move puts the thumb back where the table is.
  bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
  EXPECT_EQ(bar->value(), 0);
}

// Moving by fewer rows than are visible shifts the pixels: one step down at the bottom
// repaints the row that moved up, the new row and the indicator, not the grid. Moving
// by more rows than are visible repaints everything.
TEST(GridScroll, SmallMovesShiftPixelsLargeMovesRepaintTheWholeGrid) {
  GridWindow w(300);
  TDBGrid& grid = *w.grid;
  grid.setFocus();
  w.Table().First();
  const int rows = grid.DataLink().LinkBufferCount();
  w.Table().MoveRelative(rows - 1);  // on the bottom row
  w.Settle();
  PaintLog log(grid.viewport());
  const int pitch = grid.DefaultRowHeight() + 1;
  const int width = grid.viewport()->width();
  for (int step = 0; step < 5; ++step) {
    log.Clear();
    PressKey(Qt::Key_Down);
    ASSERT_FALSE(log.Painted().isEmpty());
    EXPECT_LE(log.Area(), static_cast<int64_t>(3 * pitch) * width) << step;
    // Only the bottom two rows, and nothing above them.
    EXPECT_GE(log.Painted().boundingRect().top(), grid.CellRect(0, rows - 1).top - 1) << step;
  }
  // Within the window: the old and the new current row.
  log.Clear();
  PressKey(Qt::Key_Up);
  EXPECT_LE(log.Area(), static_cast<int64_t>(2 * pitch) * width);
  // More rows than are visible: the whole grid.
  log.Clear();
  w.Table().MoveRelative(rows + 5);
  w.Settle();
  EXPECT_EQ(log.Painted().boundingRect(), grid.viewport()->rect());
  EXPECT_GE(log.Area(), static_cast<int64_t>(grid.viewport()->width()) * grid.viewport()->height());
}

// The current row's highlight moves with the record even when the pixels shift: the row
// that moved up is repainted without it.
TEST(GridScroll, ShiftedRowsLoseTheHighlight) {
  GridWindow w(300);
  TDBGrid& grid = *w.grid;
  grid.setFocus();
  w.Table().First();
  w.Table().MoveRelative(grid.DataLink().LinkBufferCount() - 1);
  w.Settle();
  PressKey(Qt::Key_Down);
  const QImage image = w.Image();
  const TRect above = grid.CellRect(grid.Col(), grid.Row() - 1);
  const TRect current = grid.CellRect(grid.Col(), grid.Row());
  const QRgb highlight = ToQColor(clHighlight).rgb() | 0xFF000000u;
  EXPECT_EQ(image.pixel(current.right - 2, current.top + 2) | 0xFF000000u, highlight);
  EXPECT_NE(image.pixel(above.right - 2, above.top + 2) | 0xFF000000u, highlight);
}

TEST(GridScroll, HorizontalBarScrollsColumnsAndFollowsTheCurrentCell) {
  GridWindow w(30, true, 500, 300);
  TDBGrid& grid = *w.grid;
  grid.setFocus();
  QScrollBar* bar = grid.horizontalScrollBar();
  EXPECT_TRUE(bar->isVisible());
  EXPECT_EQ(bar->minimum(), 0);
  EXPECT_EQ(bar->maximum(), 127);
  EXPECT_EQ(bar->value(), 0);
  EXPECT_EQ(grid.LeftCol(), 1);
  PressKey(Qt::Key_End);  // the last column becomes current and is scrolled fully into view
  EXPECT_EQ(grid.Col(), 13);
  const TRect last = grid.CellRect(13, 1);
  EXPECT_FALSE(last.IsEmpty());
  EXPECT_LE(last.right, grid.viewport()->width());
  EXPECT_GT(grid.LeftCol(), 1);
  EXPECT_EQ(bar->value(), 127);
  PressKey(Qt::Key_Home);
  EXPECT_EQ(grid.Col(), 1);
  EXPECT_EQ(grid.LeftCol(), 1);
  EXPECT_EQ(bar->value(), 0);
  bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  EXPECT_EQ(grid.LeftCol(), 2);
  EXPECT_GT(bar->value(), 0);
  EXPECT_LT(bar->value(), 127);
  // All columns fit: no bar.
  grid.resize(2000, 300);
  w.Settle();
  EXPECT_FALSE(bar->isVisible());
  EXPECT_EQ(grid.LeftCol(), 1);
}

// A table that counts the records it reads through the engine.
class TCountingTable : public TTable {
 public:
  TCountingTable() : TTable("CountingTable") {}
  ~TCountingTable() override { Close(); }
  int reads = 0;

 protected:
  TFetchResult FetchRecord(TRecordBuffer buffer, TFetchMode mode, bool raise_on_error) override {
    ++reads;
    return TTable::FetchRecord(buffer, mode, raise_on_error);
  }
};

// One row down on a large table costs one record read, whether by the arrow key, the
// navigator or the table itself, inside the window or at its bottom.
TEST(GridScroll, OneRowMoveReadsAtMostOneRecord) {
  testsupport::TempDir dir;
  CreateSampleTable(dir.path(), 2000, 3);
  TCountingTable table;
  table.SetDatabaseName(dir.path());
  table.SetTableName("SNYLTDYR.DBF");
  table.SetIndexName("DATO");
  TDataSource source("Source");
  source.SetDataSet(&table);
  TForm form;
  form.resize(900, 400);
  auto* grid = new TDBGrid(&form);
  grid->setGeometry(0, 0, 900, 360);
  grid->SetDataSource(&source);
  auto* navigator = new TDBNavigator(&form, "Navigator");
  navigator->setGeometry(0, 370, 240, 25);
  navigator->SetDataSource(&source);
  form.show();
  QApplication::setActiveWindow(&form);
  table.Open();
  table.First();
  grid->setFocus();
  GridWindow::Settle();
  const int rows = grid->DataLink().LinkBufferCount();
  ASSERT_GT(rows, 10);
  for (int step = 0; step < 3 * rows; ++step) {
    const int before = table.reads;
    switch (step % 3) {
      case 0: PressKey(Qt::Key_Down); break;
      case 1: QTest::mouseClick(&navigator->Button(nbNext), Qt::LeftButton); break;
      default: table.Next(); break;
    }
    GridWindow::Settle();
    EXPECT_LE(table.reads - before, 1) << "step " << step;
  }
  EXPECT_EQ(grid->Row(), rows);  // at the bottom, the window moving under the grid
  grid->SetDataSource(nullptr);
  navigator->SetDataSource(nullptr);
}

}  // namespace
}  // namespace snyltdyr
