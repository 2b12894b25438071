// What the grid draws, read back from its pixels: the indicator glyphs by state, the
// title colour, the grid lines and edges, the highlight of the current cell, and the
// draw events.
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QLineEdit>

#include "controls/grid_window.h"
#include "support/grid_pixels.h"

namespace snyltdyr {
namespace {

using testsupport::GridWindow;

using testsupport::Glyph;
using testsupport::IndicatorGlyph;
using testsupport::Rgb;

bool IndicatorEmpty(const QImage& image, TDBGrid& grid, int row) {
  return IndicatorGlyph(image, grid, row) == Glyph(testsupport::kNoGlyph);
}

TEST(GridPaint, IndicatorShowsArrowEditAndInsertGlyphOnTheCurrentRowOnly) {
  GridWindow w(30);
  TDBGrid& grid = *w.grid;
  QImage image = w.Image();
  EXPECT_EQ(IndicatorGlyph(image, grid, grid.Row()), Glyph(testsupport::kArrowGlyph));
  EXPECT_TRUE(IndicatorEmpty(image, grid, grid.Row() - 1));
  EXPECT_EQ(grid.IndicatorRow(), grid.Row());
  w.Table().Edit();
  EXPECT_EQ(IndicatorGlyph(w.Image(), grid, grid.Row()), Glyph(testsupport::kEditGlyph));
  w.Table().Cancel();
  w.Table().Prior();
  w.Table().Prior();
  w.Table().Insert();
  image = w.Image();
  EXPECT_EQ(IndicatorGlyph(image, grid, grid.Row()), Glyph(testsupport::kInsertGlyph));
  EXPECT_TRUE(IndicatorEmpty(image, grid, grid.Row() + 1));
  w.Table().Cancel();
  EXPECT_EQ(IndicatorGlyph(w.Image(), grid, grid.Row()), Glyph(testsupport::kArrowGlyph));
}

TEST(GridPaint, EmptyTableShowsTheBrowseArrowInItsBlankRow) {
  GridWindow w(0);
  EXPECT_EQ(IndicatorGlyph(w.Image(), *w.grid, 1), Glyph(testsupport::kArrowGlyph));
}

TEST(GridPaint, TitlesInMaroonOnRaisedCellsAndLinesBlackAroundFixedCellsSilverBetweenData) {
  GridWindow w(30);
  TDBGrid& grid = *w.grid;
  const QImage image = w.Image();
  const TRect title = grid.CellRect(1, 0);
  int maroon = 0, black = 0;
  for (int y = title.top + 1; y < title.bottom - 1; ++y) {
    for (int x = title.left + 1; x < title.right - 1; ++x) {
      const QColor c(image.pixel(x, y));
      if (c.red() >= 0x60 && c.green() < 0x20 && c.blue() < 0x20) ++maroon;
      if (c.red() < 0x20 && c.green() < 0x20 && c.blue() < 0x20) ++black;
    }
  }
  EXPECT_GT(maroon, 10);  // "dato" in bold maroon
  EXPECT_EQ(black, 0);
  // Raised edge of the title cell: light top-left, shadow bottom-right, inside the cell.
  EXPECT_EQ(image.pixel(title.left + 3, title.top) | 0xFF000000u, Rgb(clBtnHighlight));
  EXPECT_EQ(image.pixel(title.left, title.top + 3) | 0xFF000000u, Rgb(clBtnHighlight));
  EXPECT_EQ(image.pixel(title.left + 3, title.bottom - 1) | 0xFF000000u, Rgb(clBtnShadow));
  EXPECT_EQ(image.pixel(title.right - 1, title.top + 3) | 0xFF000000u, Rgb(clBtnShadow));
  // The line below the title row and right of the indicator column is black.
  EXPECT_EQ(image.pixel(title.left + 5, title.bottom) | 0xFF000000u, Rgb(clBlack));
  const TRect indicator = grid.CellRect(0, 3);
  EXPECT_EQ(image.pixel(indicator.right, indicator.top + 4) | 0xFF000000u, Rgb(clBlack));
  // Between data cells the lines are silver.
  const TRect data = grid.CellRect(2, 3);
  EXPECT_EQ(image.pixel(data.right, data.top + 4) | 0xFF000000u, Rgb(clSilver));
  EXPECT_EQ(image.pixel(data.left + 4, data.bottom) | 0xFF000000u, Rgb(clSilver));
  // Background of a data cell that is not current: the window colour.
  EXPECT_EQ(image.pixel(data.right - 2, data.top + 1) | 0xFF000000u, Rgb(clWindow));
}

// The current cell is highlighted while the grid has the focus, or always with
// dgAlwaysShowSelection.
TEST(GridPaint, CurrentCellHighlightFollowsTheFocus) {
  GridWindow w(30);
  TDBGrid& grid = *w.grid;
  auto* other = new QLineEdit(w.form.get());
  other->setGeometry(0, 0, 10, 10);
  other->show();
  const TRect current = grid.CellRect(grid.Col(), grid.Row());
  auto corner = [&] { return w.Image().pixel(current.right - 2, current.top + 2) | 0xFF000000u; };
  grid.setFocus();
  EXPECT_EQ(corner(), Rgb(clHighlight));
  other->setFocus();
  EXPECT_EQ(corner(), Rgb(clWindow));
  grid.SetOptions(grid.Options() | dgAlwaysShowSelection);
  EXPECT_EQ(corner(), Rgb(clHighlight));
}

TEST(GridPaint, DrawEventsGetEveryDataCellDataCellEventOnlyForDefaultColumns) {
  GridWindow w(30);
  TDBGrid& grid = *w.grid;
  int column_cells = 0, data_cells = 0;
  TField* last_field = nullptr;
  grid.OnDrawColumnCell = [&](TCustomDBGrid&, const TRect&, int32_t, TColumn&, TGridDrawState) {
    ++column_cells;
  };
  grid.OnDrawDataCell = [&](TCustomDBGrid&, const TRect&, TField* field, TGridDrawState) {
    ++data_cells;
    last_field = field;
  };
  grid.viewport()->repaint();
  EXPECT_GT(column_cells, 0);
  EXPECT_EQ(data_cells, column_cells);
  EXPECT_NE(last_field, nullptr);
  grid.Columns().SetState(csCustomized);
  column_cells = data_cells = 0;
  grid.viewport()->repaint();
  EXPECT_GT(column_cells, 0);
  EXPECT_EQ(data_cells, 0);
}

}  // namespace
}  // namespace snyltdyr
