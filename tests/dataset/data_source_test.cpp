// The data source: its copy of the dataset's state, the order in which it tells its
// links, Enabled, AutoEdit, and moving between datasets.
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
  TDataSource source{"SnyltdyrSource"};
  TMemoryDataSet& table = sample.table;

  Fixture() { source.SetDataSet(&table); }
  void TrackSource() {
    source.OnStateChange = [this](TDataSource& s) {
      log.push_back("OnStateChange:" + std::to_string(s.DataState()));
    };
    source.OnDataChange = [this](TDataSource&, TField* field) {
      log.push_back("OnDataChange(" + (field ? field->FieldName() : std::string()) + ")");
    };
    source.OnUpdateData = [this](TDataSource&) { log.push_back("OnUpdateData"); };
  }
};

TEST(DataSource, LinksHearNonVisualFirstThenVisualEachFromTheLastAttached) {
  Fixture f;
  RecordingLink v1(f.log, true, "v1."), n1(f.log, false, "n1."), v2(f.log, true, "v2."),
      n2(f.log, false, "n2.");
  for (RecordingLink* link : {&v1, &n1, &v2, &n2}) {
    link->log_callbacks = false;
    link->SetDataSource(&f.source);
  }
  f.table.Open();
  f.log.clear();
  f.table.Next();
  EXPECT_EQ(f.log, (Log{"n2.ev:CheckBrowse", "n1.ev:CheckBrowse", "v2.ev:CheckBrowse",
                        "v1.ev:CheckBrowse", "n2.ev:Scrolled(-1)", "n1.ev:Scrolled(-1)",
                        "v2.ev:Scrolled(-1)", "v1.ev:Scrolled(-1)"}));
}

TEST(DataSource, StateChangesReachLinksThenTheSourceHandlers) {
  Fixture f;
  RecordingLink link(f.log);
  link.SetDataSource(&f.source);
  f.TrackSource();
  f.table.Open();
  EXPECT_EQ(f.log, (Log{"ev:StateChanged", "link:ActivityChanged", "OnStateChange:1",
                        "OnDataChange()"}));
  f.log.clear();
  f.table.Edit();
  EXPECT_EQ(f.log, (Log{"ev:CheckBrowse", "link:BrowseCheck", "ev:StateChanged",
                        "link:EditModeChanged", "OnStateChange:2", "ev:RecordChanged",
                        "link:RecordUpdated()", "OnDataChange()"}));
  f.log.clear();
  f.sample.navn.SetAsString("x");
  EXPECT_EQ(f.log, (Log{"ev:FieldChanged", "link:RecordUpdated(NAVN)", "OnDataChange(NAVN)"}));
  f.log.clear();
  f.table.Post();
  EXPECT_EQ(f.log.front(), "ev:GatherEdits");
  EXPECT_EQ(f.log.at(2), "OnUpdateData");
}

TEST(DataSource, DisablingDeactivatesEveryLinkWhileTheDatasetStaysOpen) {
  Fixture f;
  RecordingLink a(f.log, true, "a."), b(f.log, true, "b.");
  a.log_events = b.log_events = false;
  a.SetDataSource(&f.source);
  b.SetDataSource(&f.source);
  f.table.Open();
  f.log.clear();
  f.source.SetEnabled(false);
  EXPECT_EQ(f.log, (Log{"b.link:ActivityChanged", "a.link:ActivityChanged"}));
  EXPECT_EQ(f.source.DataState(), StateInactive);
  EXPECT_FALSE(a.Active());
  EXPECT_TRUE(f.table.Active());
  // Nothing is forwarded while disabled.
  f.log.clear();
  f.table.Next();
  EXPECT_TRUE(f.log.empty());
  f.source.SetEnabled(true);
  EXPECT_EQ(f.log, (Log{"b.link:ActivityChanged", "a.link:ActivityChanged"}));
  EXPECT_TRUE(a.Active());
  EXPECT_EQ(f.source.DataState(), StateBrowse);
}

TEST(DataSource, MovingToAnotherDatasetResyncsTheLinksAndWindowSizes) {
  Fixture f;
  SampleTable other(3);
  RecordingLink link(f.log);
  link.log_events = false;
  link.SetLinkBufferCount(4);
  link.SetDataSource(&f.source);
  f.table.Open();
  other.table.Open();
  EXPECT_EQ(f.table.WindowSize(), 4);
  EXPECT_EQ(other.table.WindowSize(), 1);
  f.source.SetDataSet(&other.table);
  EXPECT_EQ(f.table.WindowSize(), 1);
  EXPECT_EQ(other.table.WindowSize(), 4);
  EXPECT_EQ(other.table.Window(), (Log{">R1", "R2", "R3"}));
  EXPECT_TRUE(link.Active());
  EXPECT_EQ(link.DataSet(), &other.table);
  f.source.SetDataSet(nullptr);
  EXPECT_FALSE(link.Active());
  EXPECT_EQ(other.table.WindowSize(), 1);
}

TEST(DataSource, DestroyingTheDatasetFirstLeavesTheSourceInactive) {
  Log log;
  TDataSource source("Source");
  RecordingLink link(log);
  link.SetDataSource(&source);
  {
    SampleTable sample(2);
    source.SetDataSet(&sample.table);
    sample.table.Open();
    EXPECT_TRUE(link.Active());
  }
  EXPECT_EQ(source.DataSet(), nullptr);
  EXPECT_EQ(source.DataState(), StateInactive);
  EXPECT_FALSE(link.Active());
}

TEST(DataSource, DestroyingTheSourceDetachesItsLinks) {
  Fixture f;
  Log log;
  RecordingLink link(log);
  {
    TDataSource source("Temporary");
    source.SetDataSet(&f.table);
    link.SetLinkBufferCount(3);
    link.SetDataSource(&source);
    f.table.Open();
    EXPECT_EQ(f.table.WindowSize(), 3);
  }
  EXPECT_EQ(link.DataSource(), nullptr);
  EXPECT_FALSE(link.Active());
  EXPECT_EQ(f.table.WindowSize(), 1);
  EXPECT_EQ(f.table.DataSources().size(), 1u);
}

}  // namespace
}  // namespace snyltdyr::testing
