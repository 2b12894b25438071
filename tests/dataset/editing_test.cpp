// Editing: the order of events and notifications of each operation, what reaches the
// stored rows, the window around new and deleted records, and the error handlers.
#include <gtest/gtest.h>

#include <stdexcept>

#include "dataset/links/data_source.h"
#include "support/event_recorder.h"
#include "support/memory_dataset.h"

namespace snyltdyr::testing {
namespace {

using Log = std::vector<std::string>;

struct Fixture {
  Log log;
  SampleTable sample;
  TDataSource source{"SnyltdyrSource"};
  RecordingLink link{log};
  TMemoryDataSet& table = sample.table;

  Fixture(int records, int rows) : sample(records) {
    link.log_callbacks = false;
    link.SetLinkBufferCount(rows);
    source.SetDataSet(&table);
    link.SetDataSource(&source);
    table.Open();
  }
  // From now on the log holds dataset events, link events and storage operations.
  void Track() {
    log.clear();
    RecordDataSetEvents(table, log);
    table.log = &log;
  }
};

std::string MessageOf(const std::function<void()>& operation) {
  try {
    operation();
  } catch (const Exception& error) {
    return error.Message();
  }
  return "(no error)";
}

TEST(Editing, EditPostAndCancelSendTheirSequences) {
  Fixture f(3, 3);
  f.Track();
  f.table.Edit();
  EXPECT_EQ(f.log, (Log{"ev:CheckBrowse", "BeforeEdit", "begin edit", "ev:StateChanged",
                        "ev:RecordChanged", "AfterEdit"}));
  f.sample.navn.SetAsString("changed");
  f.log.clear();
  f.table.Post();
  EXPECT_EQ(f.log, (Log{"ev:GatherEdits", "ev:CheckBrowse", "BeforePost", "write",
                        "ev:StateChanged", "ev:DataSetChanged", "AfterPost"}));
  EXPECT_EQ(f.sample.StoredNames(), (Log{"changed", "R2", "R3"}));

  f.table.Edit();
  f.sample.navn.SetAsString("dropped");
  f.log.clear();
  f.table.Cancel();
  EXPECT_EQ(f.log, (Log{"ev:CheckBrowse", "BeforeCancel", "abandon", "ev:StateChanged",
                        "ev:DataSetChanged", "AfterCancel"}));
  EXPECT_EQ(f.sample.Current(), "changed");
  EXPECT_EQ(f.sample.StoredNames(), (Log{"changed", "R2", "R3"}));
}

TEST(Editing, InsertAndCancelOfTheInsertSendTheirSequences) {
  Fixture f(3, 3);
  f.Track();
  f.table.Insert();
  EXPECT_EQ(f.log, (Log{"ev:CheckBrowse", "BeforeInsert", "BeforeScroll", "begin insert",
                        "ev:StateChanged", "OnNewRecord", "ev:DataSetChanged", "AfterInsert",
                        "AfterScroll"}));
  f.log.clear();
  f.table.Cancel();
  EXPECT_EQ(f.log, (Log{"ev:CheckBrowse", "BeforeCancel", "BeforeScroll", "abandon",
                        "ev:StateChanged", "ev:DataSetChanged", "AfterCancel", "AfterScroll"}));
}

TEST(Editing, DeleteSendsItsSequenceAndFromEditAlsoTheStateChange) {
  Fixture f(4, 3);
  f.Track();
  f.table.Delete();
  EXPECT_EQ(f.log, (Log{"ev:CheckBrowse", "BeforeDelete", "BeforeScroll", "delete",
                        "ev:DataSetChanged", "AfterDelete", "AfterScroll"}));
  f.table.Edit();
  f.log.clear();
  f.table.Delete();
  EXPECT_EQ(f.log, (Log{"ev:CheckBrowse", "BeforeDelete", "BeforeScroll", "delete",
                        "ev:StateChanged", "ev:DataSetChanged", "AfterDelete", "AfterScroll"}));
  EXPECT_EQ(f.sample.StoredNames(), (Log{"R3", "R4"}));
  EXPECT_EQ(f.sample.Current(), "R3");
}

TEST(Editing, DeletingTheLastRecordMakesThePreviousOneCurrent) {
  Fixture f(3, 3);
  f.table.Last();
  f.table.Delete();
  EXPECT_EQ(f.table.Window(), (Log{"R1", ">R2"}));
  f.table.Delete();
  f.table.Delete();
  EXPECT_TRUE(f.table.NoRecords());
  EXPECT_EQ(MessageOf([&] { f.table.Delete(); }),
            "SnyltdyrTable: Cannot perform this operation on an empty dataset");
}

TEST(Editing, EditOnAnEmptySetStartsAnInsert) {
  Fixture f(0, 3);
  f.table.Edit();
  EXPECT_EQ(f.table.DataState(), StateInsert);
  f.sample.navn.SetAsString("first");
  f.table.Post();
  EXPECT_EQ(f.sample.StoredNames(), (Log{"first"}));
  EXPECT_EQ(f.table.Window(), (Log{">first"}));
}

TEST(Editing, PostWhileBrowsingRaisesAndCancelDoesNothing) {
  Fixture f(3, 1);
  EXPECT_EQ(MessageOf([&] { f.table.Post(); }),
            "SnyltdyrTable: Dataset not in edit or insert mode");
  f.Track();
  f.table.Cancel();
  EXPECT_TRUE(f.log.empty());
}

TEST(Editing, InsertIntoAFullWindowPushesTheLastRowOutAndCancelRestoresIt) {
  Fixture f(5, 3);
  f.table.Next();
  ASSERT_EQ(f.table.Window(), (Log{"R1", ">R2", "R3"}));
  f.table.Insert();
  EXPECT_EQ(f.table.Window(), (Log{"R1", ">", "R2"}));
  EXPECT_EQ(f.table.BufferedCount(), 3);
  f.table.Cancel();
  EXPECT_EQ(f.table.Window(), (Log{"R1", ">R2", "R3"}));
  EXPECT_EQ(f.table.live_buffers, 4);

  // Posted, the new record stands before the one that was current.
  f.table.Insert();
  f.sample.navn.SetAsString("new");
  f.table.Post();
  EXPECT_EQ(f.sample.StoredNames(), (Log{"R1", "new", "R2", "R3", "R4", "R5"}));
  EXPECT_EQ(f.table.Window(), (Log{"R1", ">new", "R2"}));
}

TEST(Editing, InsertAtEndShowsTheLastRecordsAboveTheNewOne) {
  Fixture f(5, 3);
  f.table.InsertAtEnd();
  EXPECT_EQ(f.table.Window(), (Log{"R4", "R5", ">"}));
  f.sample.navn.SetAsString("appended");
  f.table.Post();
  EXPECT_EQ(f.sample.StoredNames().back(), "appended");
  EXPECT_EQ(f.table.Window(), (Log{"R4", "R5", ">appended"}));
  // Cancelled, the window shows the end of the set.
  f.table.InsertAtEnd();
  f.table.Cancel();
  EXPECT_EQ(f.table.Window(), (Log{"R4", "R5", ">appended"}));
}

TEST(Editing, MovingOffAnUntouchedInsertDropsIt) {
  Fixture f(3, 3);
  f.table.Insert();
  f.table.Next();
  EXPECT_EQ(f.sample.StoredNames(), (Log{"R1", "R2", "R3"}));
  EXPECT_EQ(f.table.DataState(), StateBrowse);
}

TEST(Editing, DeleteWhileInsertingCancelsTheInsertAndDeletesNothing) {
  Fixture f(3, 3);
  f.table.Insert();
  f.sample.navn.SetAsString("new");
  f.Track();
  f.table.Delete();
  EXPECT_EQ(f.sample.StoredNames(), (Log{"R1", "R2", "R3"}));
  EXPECT_EQ(f.table.DataState(), StateBrowse);
  EXPECT_EQ(std::count(f.log.begin(), f.log.end(), "delete"), 0);
  EXPECT_EQ(std::count(f.log.begin(), f.log.end(), "BeforeCancel"), 1);
  EXPECT_EQ(f.sample.Current(), "R1");
}

TEST(Editing, ChangesMadeInBeforePostAreWritten) {
  Fixture f(3, 1);
  f.table.BeforePost = [&](TDataSet&) { f.sample.tall.SetAsDouble(99); };
  f.table.Edit();
  f.sample.navn.SetAsString("x");
  f.table.Post();
  EXPECT_EQ(AsNumber(f.table.Stored(0, "TALL")), 99);
  EXPECT_EQ(f.table.Stored(0, "NAVN"), Text("x"));
}

TEST(Editing, ARaisingBeforePostKeepsTheEditWithItsValues) {
  Fixture f(3, 1);
  f.table.BeforePost = [](TDataSet&) { throw EDatabaseError("refused"); };
  f.table.Edit();
  f.sample.navn.SetAsString("kept");
  EXPECT_THROW(f.table.Post(), EDatabaseError);
  EXPECT_EQ(f.table.DataState(), StateEdit);
  EXPECT_TRUE(f.table.RecordModified());
  EXPECT_EQ(f.sample.Current(), "kept");
  EXPECT_EQ(f.sample.StoredNames(), (Log{"R1", "R2", "R3"}));
  // Moving away tries to post again and fails the same way, keeping the record.
  EXPECT_THROW(f.table.Next(), EDatabaseError);
  EXPECT_EQ(f.sample.Current(), "kept");
  f.table.BeforePost = nullptr;
  f.table.Post();
  EXPECT_EQ(f.sample.StoredNames(), (Log{"kept", "R2", "R3"}));
}

TEST(Editing, AFailedWriteKeepsTheInsertForAnotherTry) {
  Fixture f(2, 3);
  f.table.Insert();
  f.sample.navn.SetAsString("new");
  f.table.fail_writes = 1;
  EXPECT_THROW(f.table.Post(), EDatabaseError);
  EXPECT_EQ(f.table.DataState(), StateInsert);
  EXPECT_EQ(f.sample.Current(), "new");
  f.table.Post();
  EXPECT_EQ(f.sample.StoredNames(), (Log{"new", "R1", "R2"}));
}

TEST(Editing, ErrorHandlersAnswerFailAbortOrRetry) {
  Fixture f(3, 1);
  int calls = 0;
  TDataAction answer = ActionRetry;
  std::string seen;
  f.table.OnPostError = [&](TDataSet&, EDatabaseError& error, TDataAction& action) {
    ++calls;
    seen = error.Message();
    action = answer;
  };
  f.table.Edit();
  f.sample.navn.SetAsString("a");

  // Retry: the write runs again and succeeds.
  f.table.fail_writes = 2;
  f.table.Post();
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(seen, "SnyltdyrTable: write failed");
  EXPECT_EQ(f.sample.StoredNames().front(), "a");

  // Fail: the error itself propagates.
  f.table.Edit();
  f.sample.navn.SetAsString("b");
  answer = ActionFail;
  f.table.fail_writes = 1;
  EXPECT_EQ(MessageOf([&] { f.table.Post(); }), "SnyltdyrTable: write failed");
  EXPECT_EQ(f.table.DataState(), StateEdit);

  // Abort: the silent exception.
  answer = ActionAbort;
  f.table.fail_writes = 1;
  EXPECT_THROW(f.table.Post(), EAbort);
  EXPECT_EQ(f.table.DataState(), StateEdit);
  f.table.Cancel();

  // The edit and delete handlers work the same way.
  f.table.fail_edits = 1;
  int edit_calls = 0;
  f.table.OnEditError = [&](TDataSet&, EDatabaseError&, TDataAction& action) {
    ++edit_calls;
    action = ActionRetry;
  };
  f.table.Edit();
  EXPECT_EQ(edit_calls, 1);
  EXPECT_EQ(f.table.DataState(), StateEdit);
  f.table.Cancel();
  f.table.fail_deletes = 1;
  f.table.OnDeleteError = [](TDataSet&, EDatabaseError&, TDataAction& action) {
    action = ActionAbort;
  };
  EXPECT_THROW(f.table.Delete(), EAbort);
  EXPECT_EQ(f.table.rows.size(), 3u);
}

TEST(Editing, WithoutHandlerAStorageErrorPropagatesAndTheStateStays) {
  Fixture f(3, 1);
  f.table.fail_edits = 1;
  EXPECT_EQ(MessageOf([&] { f.table.Edit(); }), "SnyltdyrTable: record locked");
  EXPECT_EQ(f.table.DataState(), StateBrowse);
}

TEST(Editing, AReadOnlyDatasetRefusesEditAndInsert) {
  Fixture f(3, 1);
  f.table.read_only = true;
  const std::string message = "SnyltdyrTable: Cannot modify a read-only dataset";
  EXPECT_EQ(MessageOf([&] { f.table.Edit(); }), message);
  EXPECT_EQ(MessageOf([&] { f.table.Insert(); }), message);
  EXPECT_EQ(MessageOf([&] { f.table.InsertAtEnd(); }), message);
  EXPECT_EQ(f.table.DataState(), StateBrowse);
}

TEST(Editing, ARaisingOnNewRecordReturnsToBrowseWithTheWindowReread) {
  Fixture f(3, 3);
  f.table.Next();
  f.table.OnNewRecord = [](TDataSet&) { throw std::runtime_error("no default"); };
  EXPECT_THROW(f.table.Insert(), std::runtime_error);
  EXPECT_EQ(f.table.DataState(), StateBrowse);
  EXPECT_EQ(f.table.Window(), (Log{"R1", ">R2", "R3"}));
}

TEST(Editing, ARequiredBlankFieldStopsThePost) {
  Fixture f(3, 1);
  f.sample.navn.SetRequired(true);
  f.table.Insert();
  f.sample.tall.SetAsDouble(1);
  EXPECT_EQ(MessageOf([&] { f.table.Post(); }), "Field 'NAVN' must have a value");
  EXPECT_EQ(f.table.DataState(), StateInsert);
  EXPECT_EQ(f.table.rows.size(), 3u);
}

TEST(Editing, RefreshRereadsStorageAndKeepsTheCurrentRecord) {
  Fixture f(5, 3);
  f.table.Next();
  f.table.rows[2].values[0] = Text("R3 changed elsewhere");
  f.Track();
  f.table.Refresh();
  EXPECT_EQ(f.log, (Log{"BeforeRefresh", "ev:CheckBrowse", "reread", "ev:DataSetChanged",
                        "AfterRefresh"}));
  EXPECT_EQ(f.table.Window(), (Log{"R1", ">R2", "R3 changed elsewhere"}));
}

}  // namespace
}  // namespace snyltdyr::testing
