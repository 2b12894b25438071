// The grid's columns and layout over the real observation table: the columns the fields
// give, their widths and the row heights from the measured fonts, the blank layouts of
// an empty, a closed and a field-less dataset, font changes, options and the
// pass-through of default columns to their fields.
#include <gtest/gtest.h>

#include <QFontMetrics>

#include "controls/grid_window.h"
#include "dataset/fields/fields.h"
#include "toolkit/look/qt_text.h"

namespace snyltdyr {
namespace {

using testsupport::GridWindow;

const TFont kCellFont("Arial", -13, clBlack);
const TFont kTitleFont("Arial", -11, clMaroon, true);

int ZeroWidth(const TFont& font) { return QFontMetrics(ToQFont(font)).horizontalAdvance('0'); }
int TextHeight(const TFont& font) { return QFontMetrics(ToQFont(font)).height(); }
int CaptionWidth(const TFont& font, const std::string& caption) {
  return QFontMetrics(ToQFont(font)).horizontalAdvance(ToQString(caption));
}

// The width the grid must give a default column: "0" x DisplayWidth + 4, at least the
// caption + 4.
int ExpectedWidth(TColumn& column, const TFont& cell, const TFont& title) {
  return std::max(ZeroWidth(cell) * column.Field()->DisplayWidth() + 4,
                  CaptionWidth(title, column.Title().Caption()) + 4);
}

// Rows that fit below a title row of `title` pixels, each row `row` + 1 (its line) high.
int RowsThatFit(int client_height, int title, int row) {
  int rows = 0;
  for (int y = title + 1; y + row <= client_height; y += row + 1) ++rows;
  return std::max(rows, 1);
}

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
    EXPECT_EQ(grid.Fields(i), grid.Columns()[i]->Field());
    EXPECT_FALSE(grid.Columns()[i]->IsStored());
  }
  EXPECT_EQ(grid.ColWidths(0), 11);
  ASSERT_EQ(ZeroWidth(kCellFont), 7);
  EXPECT_EQ(grid.ColWidths(1), 81);  // DATO: 7 x 11 + 4
  for (int i = 0; i < 13; ++i) {
    EXPECT_EQ(grid.ColWidths(i + 1), ExpectedWidth(*grid.Columns()[i], kCellFont, kTitleFont))
        << names[i];
    EXPECT_TRUE(grid.TabStops(i + 1)) << names[i];
  }
  // Titles are the labels; numbers right-aligned, the rest left.
  EXPECT_EQ(grid.Columns()[1]->Title().Caption(), "kar");
  EXPECT_EQ(grid.Columns()[4]->Alignment(), taRightJustify);
  EXPECT_EQ(grid.Columns()[0]->Alignment(), taLeftJustify);
  EXPECT_EQ(grid.DefaultRowHeight(), TextHeight(kCellFont) + 4);  // "Wg" + 3 + the line
  EXPECT_EQ(grid.RowHeights(0), TextHeight(kTitleFont) + 4);
  // As many record buffers as rows fit, and a row per buffered record.
  const int fit = RowsThatFit(grid.viewport()->height(), grid.RowHeights(0), grid.DefaultRowHeight());
  EXPECT_EQ(grid.DataLink().LinkBufferCount(), fit);
  EXPECT_EQ(w.Table().WindowSize(), fit);
  EXPECT_EQ(grid.RowCount(), fit + 1);
  // The last record is current, on the last row.
  EXPECT_EQ(grid.Row(), fit);
}

TEST(GridLayout, EmptyTableShowsOneBlankRow) {
  GridWindow w(0);
  EXPECT_EQ(w.grid->ColCount(), 14);
  EXPECT_EQ(w.grid->RowCount(), 2);
  EXPECT_EQ(w.grid->Row(), 1);
  EXPECT_TRUE(w.Table().NoRecords());
}

TEST(GridLayout, ClosingLeavesOneBlankColumnAndRowAndReopeningRebuildsDefaults) {
  GridWindow w(40);
  TDBGrid& grid = *w.grid;
  TField* dato = &w.reg->SnyltdyrTableDATO;
  // A width given to a default column goes into its field's DisplayWidth; the column's
  // own width is lost with the column, the field's width stays.
  grid.Columns()[0]->SetWidth(200);
  EXPECT_EQ(grid.ColWidths(1), 200);
  const int written = dato->DisplayWidth();
  EXPECT_NE(written, 11);
  w.Table().Close();
  EXPECT_EQ(grid.ColCount(), 2);
  EXPECT_EQ(grid.RowCount(), 2);
  ASSERT_EQ(grid.Columns().Count(), 1);
  EXPECT_EQ(grid.Columns()[0]->Field(), nullptr);
  EXPECT_EQ(grid.ColWidths(1), 64);
  EXPECT_EQ(grid.FieldCount(), 0);
  w.Table().Open();
  ASSERT_EQ(grid.Columns().Count(), 13);
  EXPECT_EQ(grid.Columns()[0]->Field(), dato);
  EXPECT_EQ(grid.ColWidths(1), 7 * written + 4);
  EXPECT_EQ(grid.ColWidths(2), ExpectedWidth(*grid.Columns()[1], kCellFont, kTitleFont));
}

TEST(GridLayout, DatasetWithoutVisibleFieldsShowsOneBlankColumn) {
  GridWindow w(10);
  for (int i = 0; i < w.Table().Fields().Count(); ++i) w.Table().Fields()[i]->SetVisible(false);
  EXPECT_EQ(w.grid->ColCount(), 2);
  ASSERT_EQ(w.grid->Columns().Count(), 1);
  EXPECT_EQ(w.grid->Columns()[0]->Field(), nullptr);
  EXPECT_EQ(w.grid->ColWidths(1), 64);
  EXPECT_FALSE(w.grid->TabStops(1));
  // One field back: one column for it.
  w.reg->SnyltdyrTableTID.SetVisible(true);
  ASSERT_EQ(w.grid->Columns().Count(), 1);
  EXPECT_EQ(w.grid->Columns()[0]->Field(), &w.reg->SnyltdyrTableTID);
}

// "+" changes Font then TitleFont: two rebuilds; the buffer count is counted by the
// second one before it measures the new title font.
TEST(GridLayout, LargerFontsGrowRowsAndWidthsAndCountBuffersWithTheOldTitleRow) {
  GridWindow w(200, true, 900, 400);
  TDBGrid& grid = *w.grid;
  const TFont cell("Arial", -15, clBlack);  // 11 points
  const TFont title("Arial", -12, clMaroon, true);  // 9 points
  const int old_title = grid.RowHeights(0);
  const int new_row = TextHeight(cell) + 4;
  ASSERT_GT(TextHeight(title) + 4, old_title);
  // A height where exactly ten new rows fit below the old title row, nine below the new.
  const int client = old_title + 1 + 10 * (new_row + 1);
  grid.resize(900, client + grid.height() - grid.viewport()->height());
  w.Settle();
  ASSERT_EQ(grid.viewport()->height(), client);
  const int rebuilds = grid.RebuildCount();
  grid.Font().SetSize(grid.Font().Size() + 1);
  grid.TitleFont().SetSize(grid.TitleFont().Size() + 1);
  EXPECT_EQ(grid.RebuildCount(), rebuilds + 2);
  EXPECT_EQ(grid.Font().Height(), -15);
  EXPECT_EQ(grid.TitleFont().Height(), -12);
  EXPECT_EQ(grid.DefaultRowHeight(), TextHeight(cell) + 4);
  EXPECT_EQ(grid.RowHeights(0), TextHeight(title) + 4);
  EXPECT_GT(grid.DefaultRowHeight(), TextHeight(kCellFont) + 4);
  for (int i = 0; i < 13; ++i) {
    EXPECT_EQ(grid.ColWidths(i + 1), ExpectedWidth(*grid.Columns()[i], cell, title)) << i;
  }
  EXPECT_GT(grid.ColWidths(1), 81);
  EXPECT_EQ(grid.DataLink().LinkBufferCount(), 10);
  // The next change of the dataset counts with the new title row.
  w.Table().First();
  EXPECT_EQ(grid.DataLink().LinkBufferCount(), 9);
  EXPECT_EQ(grid.RowCount(), 10);
  // A column with a font of its own keeps it.
  grid.Columns()[2]->Font() = TFont("Courier New", -20, clBlack);
  grid.Font().SetSize(grid.Font().Size() - 2);
  EXPECT_EQ(grid.Columns()[2]->Font().Height(), -20);
  EXPECT_EQ(grid.Columns()[1]->Font().Height(), grid.Font().Height());
}

TEST(GridLayout, ResizingTheWindowRecountsTheRows) {
  GridWindow w(200, true, 900, 300);
  const int before = w.grid->DataLink().LinkBufferCount();
  w.grid->resize(900, 500);
  w.Settle();
  const int after = w.grid->DataLink().LinkBufferCount();
  EXPECT_EQ(after, RowsThatFit(w.grid->viewport()->height(), w.grid->RowHeights(0),
                               w.grid->DefaultRowHeight()));
  EXPECT_GT(after, before + 5);
  EXPECT_EQ(w.grid->RowCount(), after + 1);
}

TEST(GridLayout, OptionsSetTheBaseSwitchesAndTheLayout) {
  GridWindow w(40);
  TDBGrid& grid = *w.grid;
  EXPECT_EQ(grid.Options(), 0x0CFD);
  EXPECT_EQ(grid.GridOptions(), goFixedVertLine | goFixedHorzLine | goVertLine | goHorzLine |
                                    goColSizing | goColMoving | goEditing | goTabs);
  grid.SetOptions(grid.Options() & ~(dgTitles | dgIndicator));
  EXPECT_EQ(grid.TitleOffset(), 0);
  EXPECT_EQ(grid.IndicatorOffset(), 0);
  EXPECT_EQ(grid.ColCount(), 13);
  EXPECT_EQ(grid.FixedCols(), 0);
  EXPECT_EQ(grid.FixedRows(), 0);
  EXPECT_EQ(grid.RowCount(), grid.DataLink().LinkBufferCount());
  grid.SetOptions(grid.Options() | dgRowSelect | dgAlwaysShowEditor);
  EXPECT_FALSE(grid.Options() & dgEditing);
  EXPECT_FALSE(grid.Options() & dgAlwaysShowEditor);
  EXPECT_EQ(grid.GridOptions() & (goRowSelect | goEditing), goRowSelect);
  grid.SetOptions(kDefaultDBGridOptions & ~(dgColLines | dgColumnResize));
  EXPECT_EQ(grid.ColCount(), 14);
  EXPECT_FALSE(grid.GridOptions() & (goVertLine | goFixedVertLine | goColSizing | goColMoving));
}

TEST(GridLayout, DefaultColumnsPassChangesToTheirFields) {
  GridWindow w(40);
  TDBGrid& grid = *w.grid;
  TColumn& kar = *grid.Columns()[1];
  kar.Title().SetCaption("tank");
  EXPECT_EQ(w.reg->SnyltdyrTableBYGG.DisplayLabel(), "tank");
  EXPECT_EQ(grid.Columns()[1]->Title().Caption(), "tank");
  grid.Columns()[1]->SetAlignment(taCenter);
  EXPECT_EQ(w.reg->SnyltdyrTableBYGG.Alignment(), taCenter);
  grid.Columns()[1]->SetReadOnly(true);
  EXPECT_TRUE(w.reg->SnyltdyrTableBYGG.ReadOnly());
  EXPECT_FALSE(grid.TabStops(2));
  EXPECT_EQ(grid.Columns()[1]->AssignedValues(), 0);
  // Other settings are the column's own, and binding it to another field drops them.
  TColumn& column = *grid.Columns()[2];
  column.SetColor(clSilver);
  column.Title().SetColor(clWhite);
  EXPECT_EQ(column.Color(), clSilver);
  column.SetField(&w.reg->SnyltdyrTableTID);
  EXPECT_EQ(column.AssignedValues(), 0);
  EXPECT_EQ(column.Color(), clWindow);
  EXPECT_EQ(column.Title().Color(), clBtnFace);
}

TEST(GridLayout, CustomisedColumnsKeepTheirSettingsAndShowUnknownNamesBlank) {
  GridWindow w(40);
  TDBGrid& grid = *w.grid;
  grid.Columns().Clear();
  TColumn* tall = grid.Columns().Add();
  tall->SetFieldName("TALL");
  tall->Title().SetCaption("Antall");
  tall->SetAlignment(taLeftJustify);
  TColumn* ghost = grid.Columns().Add();
  ghost->SetFieldName("FINNESIKKE");
  EXPECT_EQ(grid.Columns().State(), csCustomized);
  EXPECT_EQ(grid.ColCount(), 3);
  EXPECT_TRUE(grid.DataLink().SparseMap());
  EXPECT_EQ(grid.DataLink().MappedIndex(1), -1);
  EXPECT_EQ(grid.Columns()[0]->Field(), &w.reg->SnyltdyrTableTALL);
  EXPECT_EQ(grid.Columns()[1]->Field(), nullptr);
  EXPECT_EQ(grid.ColWidths(2), 64);
  // The caption is the column's, not the field's.
  EXPECT_EQ(w.reg->SnyltdyrTableTALL.DisplayLabel(), "tall");
  EXPECT_EQ(grid.Columns()[0]->Title().Caption(), "Antall");
  EXPECT_EQ(grid.Columns()[0]->Alignment(), taLeftJustify);
  // Back to the default state: the thirteen field columns again.
  grid.Columns().SetState(csDefault);
  EXPECT_EQ(grid.Columns().Count(), 13);
  EXPECT_FALSE(grid.DataLink().SparseMap());
}

TEST(GridLayout, MovingADefaultColumnMovesItsField) {
  GridWindow w(40);
  TDBGrid& grid = *w.grid;
  grid.Columns()[0]->SetIndex(2);  // DATO after GENER
  EXPECT_EQ(w.reg->SnyltdyrTableDATO.Index(), 2);
  EXPECT_EQ(grid.Columns()[2]->Field(), &w.reg->SnyltdyrTableDATO);
  EXPECT_EQ(grid.Columns()[0]->Field(), &w.reg->SnyltdyrTableBYGG);
  EXPECT_EQ(grid.ColWidths(3), 81);
}

}  // namespace
}  // namespace snyltdyr
