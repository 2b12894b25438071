// Data links: their rows in the dataset's window, the scroll distances they report,
// buffer counts driving the window size, and edit requests.
#include <gtest/gtest.h>

#include "dataset/links/data_source.h"
#include "support/event_recorder.h"
#include "support/memory_dataset.h"

namespace snyltdyr::testing {
namespace {

using Log = std::vector<std::string>;

// A grid-like link of `rows` rows on a table of `records` records.
struct Fixture {
  Log log;
  SampleTable sample;
  TDataSource source{"SnyltdyrSource"};
  RecordingLink grid{log};
  TMemoryDataSet& table = sample.table;

  Fixture(int records, int rows) : sample(records) {
    grid.log_events = false;
    grid.SetLinkBufferCount(rows);
    source.SetDataSet(&table);
    grid.SetDataSource(&source);
    table.Open();
    log.clear();
  }
};

TEST(DataLink, NextOnTheLastRowOfAFullTenRowWindowScrollsTheLinkByOne) {
  Fixture f(30, 10);
  f.table.MoveRelative(9);
  ASSERT_EQ(f.grid.LinkActiveRecord(), 9);
  f.log.clear();
  f.table.Next();
  EXPECT_EQ(f.log, (Log{"link:BrowseCheck", "link:Scrolled(1)"}));
  EXPECT_EQ(f.grid.WindowStart(), 0);
  EXPECT_EQ(f.grid.LinkActiveRecord(), 9);
  EXPECT_EQ(f.sample.Current(), "R11");
  // Three rows further: three more rows scrolled in one move.
  f.log.clear();
  f.table.MoveRelative(3);
  EXPECT_EQ(f.log, (Log{"link:BrowseCheck", "link:Scrolled(3)"}));
  EXPECT_EQ(f.table.Window().front(), "R5");
}

TEST(DataLink, ARefillKeepsTheRowOfTheCurrentRecord) {
  Fixture f(30, 10);
  f.table.MoveRelative(3);
  f.log.clear();
  f.table.Refresh();
  EXPECT_EQ(f.log, (Log{"link:BrowseCheck", "link:WholeSetChanged"}));
  EXPECT_EQ(f.grid.WindowStart(), 0);
  EXPECT_EQ(f.grid.LinkActiveRecord(), 3);
  EXPECT_EQ(f.table.Window().at(3), ">R4");
}

TEST(DataLink, TheLargestBufferCountOfAllLinksSetsTheWindowSize) {
  Fixture f(30, 10);
  Log other_log;
  RecordingLink navigator(other_log);
  navigator.SetDataSource(&f.source);
  EXPECT_EQ(f.table.WindowSize(), 10);
  EXPECT_EQ(navigator.LinkRecordCount(), 1);
  EXPECT_EQ(f.grid.LinkRecordCount(), 10);
  f.grid.SetLinkBufferCount(12);
  EXPECT_EQ(f.table.WindowSize(), 12);
  EXPECT_EQ(f.table.BufferedCount(), 12);
  f.grid.SetDataSource(nullptr);
  EXPECT_EQ(f.table.WindowSize(), 1);
  EXPECT_EQ(f.sample.Current(), "R1");
}

TEST(DataLink, ShrinkingTheWindowKeepsTheCurrentRecordAndTheRowsAboveIt) {
  Fixture f(30, 10);
  f.table.MoveRelative(8);
  f.grid.SetLinkBufferCount(4);
  EXPECT_EQ(f.table.WindowSize(), 4);
  EXPECT_EQ(f.sample.Current(), "R9");
  EXPECT_EQ(f.table.Window(), (Log{"R6", "R7", "R8", ">R9"}));
  EXPECT_EQ(f.grid.WindowStart(), 0);
  EXPECT_EQ(f.grid.LinkActiveRecord(), 3);
  EXPECT_EQ(f.table.live_buffers, 5);
  // Moving on still works from the shrunk window.
  f.table.Next();
  EXPECT_EQ(f.table.Window(), (Log{"R7", "R8", "R9", ">R10"}));
}

TEST(DataLink, GrowingTheWindowAtTheEndFetchesRowsAboveAndMovesTheLinkDown) {
  Fixture f(30, 3);
  f.table.Last();
  EXPECT_EQ(f.table.Window(), (Log{"R28", "R29", ">R30"}));
  f.grid.SetLinkBufferCount(5);
  EXPECT_EQ(f.table.Window(), (Log{"R26", "R27", "R28", "R29", ">R30"}));
  EXPECT_EQ(f.grid.LinkActiveRecord(), 4);
  EXPECT_EQ(f.grid.WindowStart(), 0);
}

TEST(DataLink, ASmallLinkFollowsTheCurrentRecordThroughALargerWindow) {
  Fixture f(30, 10);
  Log small_log;
  RecordingLink small(small_log);
  small.log_events = false;
  small.SetLinkBufferCount(3);
  small.SetDataSource(&f.source);
  f.table.MoveRelative(6);
  EXPECT_EQ(small.WindowStart(), 4);
  EXPECT_EQ(small.LinkActiveRecord(), 2);
  EXPECT_EQ(small_log.back(), "link:Scrolled(4)");
  f.table.MoveRelative(-5);
  EXPECT_EQ(small.WindowStart(), 1);
  EXPECT_EQ(small.LinkActiveRecord(), 0);
}

TEST(DataLink, ShrinkingBelowTheCountOfALinkOnADisabledSourceKeepsTheWindowSound) {
  // The disabled source's link still counts for the window size but has no rows, so
  // fewer buffered records stay than the new window holds; the rest are fetched.
  Fixture f(30, 10);
  TDataSource disabled("Disabled");
  disabled.SetEnabled(false);
  disabled.SetDataSet(&f.table);
  Log other_log;
  RecordingLink waiting(other_log);
  waiting.SetLinkBufferCount(8);
  waiting.SetDataSource(&disabled);
  f.table.MoveRelative(9);
  f.grid.SetLinkBufferCount(4);
  EXPECT_EQ(f.table.WindowSize(), 8);
  EXPECT_EQ(f.table.Window(), (Log{"R7", "R8", "R9", ">R10", "R11", "R12", "R13", "R14"}));
  EXPECT_EQ(f.table.live_buffers, 9);
  f.table.MoveRelative(5);
  EXPECT_EQ(f.sample.Current(), "R15");
  waiting.SetDataSource(nullptr);
}

TEST(DataLink, WritingLinkActiveRecordMovesTheCurrentRecordInsideTheWindow) {
  Fixture f(30, 10);
  f.grid.SetLinkActiveRecord(5);
  EXPECT_EQ(f.table.ActiveIndex(), 5);
  EXPECT_EQ(f.sample.Current(), "R6");
  // A row below the last record changes nothing.
  Fixture g(3, 10);
  g.grid.SetLinkActiveRecord(1);
  g.grid.SetLinkActiveRecord(7);
  EXPECT_EQ(g.sample.Current(), "R2");
}

TEST(DataLink, EditThroughTheLinkRespectsReadOnlyAutoEditAndState) {
  Fixture f(5, 1);
  f.grid.SetReadOnly(true);
  EXPECT_FALSE(f.grid.Edit());
  EXPECT_EQ(f.table.DataState(), StateBrowse);
  f.grid.SetReadOnly(false);
  f.source.SetAutoEdit(false);
  EXPECT_FALSE(f.grid.Edit());
  EXPECT_EQ(f.table.DataState(), StateBrowse);
  f.source.SetAutoEdit(true);
  EXPECT_TRUE(f.grid.Edit());
  EXPECT_EQ(f.table.DataState(), StateEdit);
  // Already editing: the answer is true and nothing changes.
  f.source.SetAutoEdit(false);
  EXPECT_TRUE(f.grid.Edit());
  // A read-only link never counts as editing.
  f.log.clear();
  f.grid.SetReadOnly(true);
  EXPECT_FALSE(f.grid.InEditMode());
  EXPECT_EQ(f.log, (Log{"link:EditModeChanged"}));
}

TEST(DataLink, AFixedSourceCannotBeChanged) {
  Fixture f(5, 1);
  TDataSource other("Other");
  f.grid.SetDataSourceFixed(true);
  try {
    f.grid.SetDataSource(&other);
    FAIL() << "no error";
  } catch (const EDatabaseError& error) {
    EXPECT_EQ(error.Message(), "SnyltdyrSource: DataSource cannot be changed");
  }
  EXPECT_EQ(f.grid.DataSource(), &f.source);
  f.grid.SetDataSourceFixed(false);
}

TEST(DataLink, WriteBackRunsWithTheUpdatingFlagClearedAgainOnError) {
  struct FailingLink : RecordingLink {
    using RecordingLink::RecordingLink;
    bool seen_updating = false;
    void WriteBack() override {
      seen_updating = Updating();
      throw EDatabaseError("bad text");
    }
  };
  Fixture f(5, 1);
  Log log;
  FailingLink link(log);
  link.SetDataSource(&f.source);
  f.table.Edit();
  EXPECT_THROW(f.table.Post(), EDatabaseError);
  EXPECT_TRUE(link.seen_updating);
  EXPECT_FALSE(link.Updating());
  EXPECT_EQ(f.table.DataState(), StateEdit);
  link.SetDataSource(nullptr);
}

}  // namespace
}  // namespace snyltdyr::testing
