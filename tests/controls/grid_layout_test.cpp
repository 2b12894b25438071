#include <gtest/gtest.h>

#include <QFontMetrics>

#include "support/temp_dir.h"
#include "controls/grid_window.h"
#include "toolkit/qt_text.h"

namespace snyltdyr {
namespace {

using testsupport::GridWindow;

int ZeroWidth(const TFont& font) { return QFontMetrics(ToQFont(font)).horizontalAdvance('0'); }
int TextHeight(const TFont& font) { return QFontMetrics(ToQFont(font)).height(); }

TEST(GridLayout, ObservationTableGivesIndicatorAndThirteenColumnsInFieldOrder) {
  GridWindow w(40);
  TDBGrid& grid = *w.grid;
  ASSERT_EQ(grid.ColCount(), 14);
  ASSERT_EQ(grid.Columns().Count(), 13);
  const char* names[] = {"DATO", "BYGG", "GENER", "\xC5RSKLAS", "GRUPPE", "SNYLTDYR", "MENGDE",
                         "ORGAN", "BEHANDL", "TID", "KONS", "METODE", "TALL"};
  for (int i = 0; i < 13; ++i) {
    ASSERT_NE(grid.Columns()[i]->Field(), nullptr) << i;
    EXPECT_EQ(grid.Columns()[i]->Field()->FieldName(), names[i]);
  }
  EXPECT_EQ(grid.ColWidths(0), 11);
  // "0" is 7 pixels wide: DATO is 7 x 11 + 4.
  const TFont font("Arial", -13, clBlack);
  ASSERT_EQ(ZeroWidth(font), 7);
  EXPECT_EQ(grid.ColWidths(1), 81);
  // Every column: (w0 x DisplayWidth + 4), at least its title caption + 4.
  const TFont title("Arial", -11, clMaroon, true);
  for (int i = 0; i < 13; ++i) {
    TColumn& column = *grid.Columns()[i];
    const int by_width = ZeroWidth(font) * column.Field()->DisplayWidth() + 4;
    const int by_title =
        QFontMetrics(ToQFont(title)).horizontalAdvance(ToQString(column.Title().Caption())) + 4;
    EXPECT_EQ(grid.ColWidths(i + 1), std::max(by_width, by_title)) << names[i];
  }
  // Rows: "Wg" + 3 + the line; the title "Wg" in the title font + 4.
  EXPECT_EQ(grid.DefaultRowHeight(), TextHeight(font) + 4);
  EXPECT_EQ(grid.RowHeights(0), TextHeight(title) + 4);
}

}  // namespace
}  // namespace snyltdyr
