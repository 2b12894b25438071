// A field object destroyed under the grid: at once a rebuild, or, while the dataset holds
// its controls still, one deferred layout message that a rebuild in between makes void.
#include <gtest/gtest.h>

#include <QApplication>
#include <memory>

#include "controls/grid/db_grid.h"
#include "dataset/links/data_source.h"
#include "support/memory_dataset.h"
#include "toolkit/widgets/form.h"

namespace snyltdyr {
namespace {

using testing::TMemoryDataSet;

class GridOverMemoryTable : public ::testing::Test {
 protected:
  void SetUp() override {
    table.AddColumn("NAVN", ftString, 20);
    table.AddColumn("KAR", ftString, 9);
    table.AddColumn("TALL", ftFloat);
    for (int i = 0; i < 5; ++i) table.AddRow({testing::Text("Rad " + std::to_string(i))});
    for (auto& [field, name] : {std::pair{&navn, "NAVN"}, {&kar, "KAR"}}) {
      *field = std::make_unique<TStringField>();
      (*field)->SetFieldName(name);
      (*field)->SetDataSet(&table);
    }
    tall = std::make_unique<TFloatField>();
    tall->SetFieldName("TALL");
    tall->SetDataSet(&table);
    source.SetDataSet(&table);
    form.resize(600, 300);
    grid = new TDBGrid(&form);
    grid->setGeometry(0, 0, 600, 300);
    grid->SetDataSource(&source);
    form.show();
    table.Open();
    Settle();
  }
  void TearDown() override { grid->SetDataSource(nullptr); }
  static void Settle() {
    for (int i = 0; i < 3; ++i) QApplication::processEvents();
  }

  TMemoryDataSet table;
  std::unique_ptr<TStringField> navn, kar;
  std::unique_ptr<TFloatField> tall;
  TDataSource source{"Source"};
  TForm form;
  TDBGrid* grid = nullptr;
};

TEST_F(GridOverMemoryTable, ADestroyedFieldUnbindsItsColumnAtOnce) {
  ASSERT_EQ(grid->Columns().Count(), 3);
  const int rebuilds = grid->RebuildCount();
  kar.reset();  // closes the table: the grid shows one blank column
  EXPECT_GT(grid->RebuildCount(), rebuilds);
  EXPECT_EQ(grid->ColCount(), 2);
  EXPECT_EQ(grid->Columns()[0]->HeldField(), nullptr);
  const int settled = grid->RebuildCount();
  Settle();
  EXPECT_EQ(grid->RebuildCount(), settled);  // nothing was deferred
  table.Open();
  EXPECT_EQ(grid->Columns().Count(), 2);
}

TEST_F(GridOverMemoryTable, FieldsDestroyedWhileControlsAreSuspendedDeferOneLayout) {
  TColumn* kar_column = grid->Columns()[1];
  table.SuspendControls();
  const int rebuilds = grid->RebuildCount();
  kar.reset();
  tall.reset();
  EXPECT_EQ(grid->RebuildCount(), rebuilds);         // nothing rebuilt yet...
  EXPECT_EQ(kar_column->HeldField(), nullptr);       // ...but the column let go at once
  EXPECT_EQ(grid->LayoutLock(), 0);
  EXPECT_EQ(grid->UpdateLock(), 0);
  Settle();
  EXPECT_EQ(grid->RebuildCount(), rebuilds + 1);     // one message, one rebuild
  Settle();
  EXPECT_EQ(grid->RebuildCount(), rebuilds + 1);
  table.ResumeControls();
}

TEST_F(GridOverMemoryTable, ARebuildBeforeTheMessageArrivesMakesItVoid) {
  table.SuspendControls();
  kar.reset();
  const int rebuilds = grid->RebuildCount();
  grid->RequestLayout();
  EXPECT_EQ(grid->RebuildCount(), rebuilds + 1);
  Settle();
  EXPECT_EQ(grid->RebuildCount(), rebuilds + 1);
  table.ResumeControls();
}

TEST_F(GridOverMemoryTable, AMessageArrivingWhileTheLayoutIsLockedWaitsForTheNextTurn) {
  table.SuspendControls();
  kar.reset();
  const int rebuilds = grid->RebuildCount();
  grid->BeginUpdate();  // a lock held across the message's turn
  Settle();
  EXPECT_EQ(grid->RebuildCount(), rebuilds);
  grid->EndUpdate();
  Settle();
  EXPECT_EQ(grid->RebuildCount(), rebuilds + 1);
  table.ResumeControls();
}

}  // namespace
}  // namespace snyltdyr
