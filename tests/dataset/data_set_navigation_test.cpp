// Opening, closing and moving through a dataset: the buffer window, the events and the
// notifications each step sends.
#include <gtest/gtest.h>

#include "dataset/links/data_source.h"
#include "support/event_recorder.h"
#include "support/memory_dataset.h"

namespace snyltdyr::testing {
namespace {

using Log = std::vector<std::string>;

// A sample table with a data source and one recording link of `rows` rows.
struct Fixture {
  Log log;  // first, so that it outlives every component that logs into it
  SampleTable sample;
  TDataSource source{"Source"};
  RecordingLink link{log};
  TMemoryDataSet& table = sample.table;

  Fixture(int records, int rows) : sample(records) {
    link.SetLinkBufferCount(rows);
    source.SetDataSet(&table);
    link.SetDataSource(&source);
  }
  void Track() {
    log.clear();
    RecordDataSetEvents(table, log);
  }
};

TEST(DataSetOpen, OpenFillsTheWindowFromTheFirstRecordAndSendsTheOpenSequence) {
  Fixture f(5, 3);
  f.Track();
  f.table.Open();
  EXPECT_EQ(f.log, (Log{"BeforeOpen", "ev:StateChanged", "link:ActivityChanged", "AfterOpen",
                        "AfterScroll"}));
  EXPECT_EQ(f.table.DataState(), StateBrowse);
  EXPECT_EQ(f.table.WindowSize(), 3);
  EXPECT_EQ(f.table.Window(), (Log{">R1", "R2", "R3"}));
  EXPECT_TRUE(f.table.AtStart());
  EXPECT_FALSE(f.table.AtEnd());
  EXPECT_TRUE(f.link.Active());
}

TEST(DataSetOpen, OpenOfAnEmptySetSkipsAfterScroll) {
  Fixture f(0, 3);
  f.Track();
  f.table.Open();
  EXPECT_EQ(f.log, (Log{"BeforeOpen", "ev:StateChanged", "link:ActivityChanged", "AfterOpen"}));
  EXPECT_TRUE(f.table.NoRecords());
  EXPECT_TRUE(f.table.AtStart());
  EXPECT_TRUE(f.table.AtEnd());
}

TEST(DataSetOpen, FailedOpenLeavesTheSetClosedWithNothingAllocated) {
  Fixture f(5, 3);
  TStringField missing("SnyltdyrTableMISSING");
  missing.SetFieldName("MISSING");
  missing.SetDataSet(&f.table);
  f.Track();
  EXPECT_THROW(f.table.Open(), EDatabaseError);
  EXPECT_EQ(f.log, (Log{"BeforeOpen"}));
  EXPECT_EQ(f.table.DataState(), StateInactive);
  EXPECT_EQ(f.table.WindowSize(), 0);
  EXPECT_EQ(f.table.live_buffers, 0);
  EXPECT_FALSE(f.link.Active());
  // The cause removed, the next open works.
  missing.SetDataSet(nullptr);
  f.table.Open();
  EXPECT_TRUE(f.table.Active());
}

TEST(DataSetOpen, CloseSendsItsSequenceAndReleasesEveryBuffer) {
  Fixture f(5, 3);
  f.table.Open();
  f.Track();
  f.table.Close();
  EXPECT_EQ(f.log, (Log{"BeforeClose", "ev:StateChanged", "link:ActivityChanged", "AfterClose"}));
  EXPECT_EQ(f.table.live_buffers, 0);
  EXPECT_EQ(f.table.WindowSize(), 0);
  EXPECT_TRUE(f.table.NoRecords());
  EXPECT_EQ(f.link.WindowStart(), 0);
  EXPECT_EQ(f.sample.navn.FieldNumber(), 0);
}

TEST(DataSetOpen, CloseWhileEditingDropsTheEditWithoutCancelEvents) {
  Fixture f(3, 1);
  f.table.Open();
  f.table.Edit();
  f.sample.navn.SetAsString("changed");
  f.Track();
  f.table.Close();
  EXPECT_EQ(f.log, (Log{"BeforeClose", "ev:StateChanged", "link:ActivityChanged",
                        "link:EditModeChanged", "AfterClose"}));
  EXPECT_EQ(f.sample.StoredNames(), (Log{"R1", "R2", "R3"}));
}

TEST(DataSetOpen, OperationsOnAClosedSetRaiseWithTheNamePrefix) {
  Fixture f(3, 1);
  const std::string closed =
      "SnyltdyrTable: Cannot perform this operation on a closed dataset";
  for (auto op : {&TDataSet::First, &TDataSet::Last, &TDataSet::Next, &TDataSet::Insert,
                  &TDataSet::Edit, &TDataSet::Delete, &TDataSet::Refresh}) {
    try {
      (f.table.*op)();
      ADD_FAILURE() << "no error";
    } catch (const EDatabaseError& error) {
      EXPECT_EQ(error.Message(), closed);
    }
  }
}

TEST(DataSetMove, NextWithinTheWindowOnlyMovesTheCurrentRow) {
  Fixture f(5, 3);
  f.table.Open();
  const int fetches = f.table.fetch_count;
  f.Track();
  f.table.Next();
  EXPECT_EQ(f.log, (Log{"ev:CheckBrowse", "link:BrowseCheck", "BeforeScroll", "ev:Scrolled(0)",
                        "link:Scrolled(0)", "AfterScroll"}));
  EXPECT_EQ(f.table.fetch_count, fetches);
  EXPECT_EQ(f.table.Window(), (Log{"R1", ">R2", "R3"}));
}

TEST(DataSetMove, MovingPastTheLastRowRotatesTheWindowByOneFetch) {
  Fixture f(5, 3);
  f.table.Open();
  f.table.MoveRelative(2);
  const int fetches = f.table.fetch_count;
  f.log.clear();
  EXPECT_EQ(f.table.MoveRelative(1), 1);
  EXPECT_EQ(f.table.fetch_count, fetches + 1);
  EXPECT_EQ(f.table.Window(), (Log{"R2", "R3", ">R4"}));
  EXPECT_EQ(f.log, (Log{"ev:CheckBrowse", "link:BrowseCheck", "ev:Scrolled(-1)",
                        "link:Scrolled(1)"}));
  EXPECT_EQ(f.link.WindowStart(), 0);
  // And back above the first row.
  f.table.MoveRelative(-2);
  EXPECT_EQ(f.table.Window(), (Log{">R2", "R3", "R4"}));
  f.table.Prior();
  EXPECT_EQ(f.table.Window(), (Log{">R1", "R2", "R3"}));
}

TEST(DataSetMove, MoveRelativeStopsAtTheEndAndReportsTheRowsMoved) {
  Fixture f(5, 3);
  f.table.Open();
  EXPECT_EQ(f.table.MoveRelative(10), 4);
  EXPECT_TRUE(f.table.AtEnd());
  EXPECT_EQ(f.sample.Current(), "R5");
  EXPECT_EQ(f.table.MoveRelative(-10), -4);
  EXPECT_TRUE(f.table.AtStart());
  EXPECT_EQ(f.sample.Current(), "R1");
}

TEST(DataSetMove, NextOnTheLastRecordSetsAtEndAndASecondNextOnlyRunsBeforeScroll) {
  Fixture f(3, 5);
  f.table.Open();
  f.table.MoveRelative(2);
  ASSERT_FALSE(f.table.AtEnd());
  f.Track();
  EXPECT_EQ(f.table.MoveRelative(1), 0);
  EXPECT_TRUE(f.table.AtEnd());
  EXPECT_EQ(f.sample.Current(), "R3");
  EXPECT_EQ(f.log, (Log{"ev:CheckBrowse", "link:BrowseCheck", "BeforeScroll", "ev:Scrolled(0)",
                        "link:Scrolled(0)", "AfterScroll"}));
  f.log.clear();
  f.table.Next();
  EXPECT_EQ(f.log, (Log{"ev:CheckBrowse", "link:BrowseCheck", "BeforeScroll"}));
}

TEST(DataSetMove, LastOnASetLargerThanTheWindowPutsTheLastRecordOnTheLastRow) {
  Fixture f(20, 4);
  f.table.Open();
  f.Track();
  f.table.Last();
  EXPECT_EQ(f.table.Window(), (Log{"R17", "R18", "R19", ">R20"}));
  EXPECT_EQ(f.table.ActiveIndex(), 3);
  EXPECT_TRUE(f.table.AtEnd());
  EXPECT_FALSE(f.table.AtStart());
  EXPECT_EQ(f.log, (Log{"ev:CheckBrowse", "link:BrowseCheck", "BeforeScroll",
                        "ev:DataSetChanged", "link:WholeSetChanged", "AfterScroll"}));
  EXPECT_EQ(f.link.WindowStart(), 0);
  f.table.First();
  EXPECT_EQ(f.table.Window(), (Log{">R1", "R2", "R3", "R4"}));
  EXPECT_TRUE(f.table.AtStart());
}

TEST(DataSetMove, FirstOnAnEmptySetStillNotifies) {
  Fixture f(0, 3);
  f.table.Open();
  f.Track();
  f.table.First();
  EXPECT_TRUE(f.table.AtStart());
  EXPECT_TRUE(f.table.AtEnd());
  EXPECT_TRUE(f.table.NoRecords());
  EXPECT_EQ(f.log, (Log{"ev:CheckBrowse", "link:BrowseCheck", "BeforeScroll",
                        "ev:DataSetChanged", "link:WholeSetChanged", "AfterScroll"}));
}

TEST(DataSetMove, WholeTableLoopVisitsEveryRecordOnce) {
  Fixture f(7, 3);
  f.table.Open();
  Log seen;
  f.table.First();
  while (!f.table.AtEnd()) {
    seen.push_back(f.sample.Current());
    f.table.Next();
  }
  EXPECT_EQ(seen, (Log{"R1", "R2", "R3", "R4", "R5", "R6", "R7"}));
}

TEST(DataSetMove, AFailingFetchStillTellsTheControlsAndRunsAfterScroll) {
  Fixture f(5, 3);
  f.table.Open();
  f.table.MoveRelative(2);
  f.Track();
  f.table.fail_fetches = 1;
  EXPECT_THROW(f.table.Next(), EDatabaseError);
  EXPECT_EQ(f.log, (Log{"ev:CheckBrowse", "link:BrowseCheck", "BeforeScroll", "ev:Scrolled(0)",
                        "link:Scrolled(0)", "AfterScroll"}));
  EXPECT_EQ(f.sample.Current(), "R3");
  // The set still works afterwards.
  f.table.Next();
  EXPECT_EQ(f.sample.Current(), "R4");
}

TEST(DataSetMove, MovingOffAnUnchangedEditCancelsAndOffAChangedOnePosts) {
  Fixture f(3, 1);
  f.table.Open();
  f.table.Edit();
  f.Track();
  f.table.Next();
  EXPECT_EQ(f.log.at(0), "ev:CheckBrowse");
  EXPECT_NE(std::find(f.log.begin(), f.log.end(), "BeforeCancel"), f.log.end());
  EXPECT_EQ(std::find(f.log.begin(), f.log.end(), "BeforePost"), f.log.end());
  f.table.Edit();
  f.sample.navn.SetAsString("changed");
  f.log.clear();
  f.table.Next();
  EXPECT_NE(std::find(f.log.begin(), f.log.end(), "BeforePost"), f.log.end());
  EXPECT_EQ(f.sample.StoredNames(), (Log{"R1", "changed", "R3"}));
  EXPECT_EQ(f.sample.Current(), "R3");
}

}  // namespace
}  // namespace snyltdyr::testing
