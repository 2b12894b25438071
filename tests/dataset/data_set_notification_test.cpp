// Suspension of notifications: what reaches the data sources while controls are
// suspended, and what the final resume sends.
#include <gtest/gtest.h>

#include "dataset/links/data_source.h"
#include "support/event_recorder.h"
#include "support/memory_dataset.h"

namespace snyltdyr::testing {
namespace {

using Log = std::vector<std::string>;

struct Fixture {
  Log log;
  SampleTable sample{5};
  TDataSource source{"Source"};
  RecordingLink link{log};
  TMemoryDataSet& table = sample.table;

  Fixture() {
    source.SetDataSet(&table);
    link.SetDataSource(&source);
    link.log_callbacks = false;
  }
};

TEST(DataSetSuspend, NestedSuspensionSendsOnlyAtTheLastResume) {
  Fixture f;
  f.table.Open();
  f.log.clear();
  f.table.SuspendControls();
  f.table.SuspendControls();
  f.table.First();
  while (!f.table.AtEnd()) f.table.Next();
  f.table.ResumeControls();
  EXPECT_TRUE(f.log.empty());
  EXPECT_TRUE(f.table.ControlsSuspended());
  f.table.ResumeControls();
  EXPECT_EQ(f.log, (Log{"ev:DataSetChanged"}));
  EXPECT_FALSE(f.table.ControlsSuspended());
  // An extra resume is harmless.
  f.table.ResumeControls();
  EXPECT_EQ(f.log.size(), 1u);
}

TEST(DataSetSuspend, StateChangesAreHeldBackAndReportedOnceWhenTheStateDiffers) {
  Fixture f;
  f.table.Open();
  f.table.SuspendControls();
  f.log.clear();
  f.table.Edit();
  // The source and its link keep the state they last saw.
  EXPECT_EQ(f.source.DataState(), StateBrowse);
  EXPECT_FALSE(f.link.InEditMode());
  EXPECT_TRUE(f.log.empty());
  f.table.ResumeControls();
  EXPECT_EQ(f.log, (Log{"ev:StateChanged", "ev:DataSetChanged"}));
  EXPECT_EQ(f.source.DataState(), StateEdit);
  EXPECT_TRUE(f.link.InEditMode());

  // Edited and posted while suspended: the state is the same again, so only the data.
  f.table.Post();
  f.table.SuspendControls();
  f.table.Edit();
  f.sample.navn.SetAsString("x");
  f.table.Post();
  f.log.clear();
  f.table.ResumeControls();
  EXPECT_EQ(f.log, (Log{"ev:DataSetChanged"}));
}

TEST(DataSetSuspend, ALayoutChangeWhileSuspendedMakesTheResumeALayoutChange) {
  Fixture f;
  f.table.Open();
  f.table.SuspendControls();
  f.sample.navn.SetDisplayWidth(30);
  f.log.clear();
  f.table.ResumeControls();
  EXPECT_EQ(f.log, (Log{"ev:LayoutChanged"}));
  // The next suspension starts afresh.
  f.table.SuspendControls();
  f.log.clear();
  f.table.ResumeControls();
  EXPECT_EQ(f.log, (Log{"ev:DataSetChanged"}));
}

TEST(DataSetSuspend, ACloseWhileSuspendedResumesWithTheStateChangeAlone) {
  Fixture f;
  f.table.Open();
  f.table.SuspendControls();
  f.table.Close();
  EXPECT_TRUE(f.link.Active());  // frozen at what it last saw
  f.log.clear();
  f.table.ResumeControls();
  EXPECT_EQ(f.log, (Log{"ev:StateChanged"}));
  EXPECT_FALSE(f.link.Active());
}

TEST(DataSetSuspend, ACloseAndReopenWhileSuspendedSendsALayoutChange) {
  Fixture f;
  f.table.Open();
  f.table.SuspendControls();
  f.table.Close();
  f.table.Open();
  f.log.clear();
  f.table.ResumeControls();
  EXPECT_EQ(f.log, (Log{"ev:LayoutChanged"}));
}

TEST(DataSetSuspend, SuspendedWhileClosedResumesWithoutDataEvent) {
  Fixture f;
  f.table.SuspendControls();
  f.table.Open();
  f.log.clear();
  f.table.ResumeControls();
  EXPECT_EQ(f.log, (Log{"ev:StateChanged"}));
  EXPECT_TRUE(f.link.Active());
}

TEST(DataSetSuspend, DatasetEventsAndFieldChangesGoOnWhileSuspended) {
  Log events;
  Fixture f;
  f.table.Open();
  RecordDataSetEvents(f.table, events);
  int changes = 0;
  f.sample.navn.OnChange = [&changes](TField&) { ++changes; };
  f.table.SuspendControls();
  f.table.Edit();
  f.sample.navn.SetAsString("new");
  EXPECT_TRUE(f.table.RecordModified());
  f.table.Post();
  f.table.ResumeControls();
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(events, (Log{"BeforeEdit", "AfterEdit", "BeforePost", "AfterPost"}));
}

}  // namespace
}  // namespace snyltdyr::testing
