// The window's grid as the window sets it up: the register's columns, the window's fonts,
// and the font buttons laying it out again.
#include <QFontMetrics>

#include "form_grid_fixture.h"

namespace snyltdyr {
namespace {

using testsupport::GridFormTest;

TEST_F(GridFormTest, TheGridShowsTheRegisterInItsFontsAndFollowsTheFontButtons) {
  ShowGrid();
  TDBGrid& grid = Grid();
  EXPECT_EQ(grid.DataSource(), &form->Register.SnyltdyrSource);
  ASSERT_EQ(grid.ColCount(), 14);
  EXPECT_EQ(grid.Columns()[12]->Field(), &Field("TALL"));
  EXPECT_EQ(grid.Font(), TFont("Arial", -13, clBlack));
  EXPECT_EQ(grid.TitleFont(), TFont("Arial", -11, clMaroon, true));
  EXPECT_EQ(grid.ColWidths(1), 81);
  const int row = grid.DefaultRowHeight();
  const int title = grid.RowHeights(0);
  const int buffers = grid.DataLink().LinkBufferCount();
  Click(form->SpeedButton2);  // "+"
  EXPECT_EQ(grid.DefaultRowHeight(), QFontMetrics(ToQFont(TFont("Arial", -15, clBlack))).height() + 4);
  EXPECT_GT(grid.DefaultRowHeight(), row);
  EXPECT_GT(grid.RowHeights(0), title);
  EXPECT_GT(grid.ColWidths(1), 81);
  EXPECT_LT(grid.DataLink().LinkBufferCount(), buffers);
  EXPECT_EQ(grid.RowCount(), grid.DataLink().LinkRecordCount() + 1);
  Click(form->SpeedButton1);  // "-" back
  EXPECT_EQ(grid.DefaultRowHeight(), row);
  EXPECT_EQ(grid.RowHeights(0), title);
  EXPECT_EQ(grid.ColWidths(1), 81);
  EXPECT_TRUE(ui.boxes.empty());
}

}  // namespace
}  // namespace snyltdyr
