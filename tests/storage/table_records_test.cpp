// Records through the table: navigation, editing and writing on the real file, memos and
// their cache, record locks of other users, and filters.
#include <sys/wait.h>
#include <unistd.h>

#include "binding_fixture.h"
#include "runtime/cp1252.h"

namespace snyltdyr::testing {
namespace {

class RecordsTest : public BindingTest {
 protected:
  void SetUp() override {
    BindingTest::SetUp();
    MakeStandardTable();
  }
};

TEST_F(RecordsTest, NavigatesInRecordOrderWithValuesInTheProgramsCodePage) {
  TTable& table = NewTable();
  table.Open();
  EXPECT_EQ(Column(table, "BYGG"),
            (std::vector<std::string>{"K5", std::string("K") + kOslash1252, "K1", "K4", "K2"}));
  table.First();
  EXPECT_EQ(table.FieldByName("DATO").AsString(), "05.01.2024");
  EXPECT_DOUBLE_EQ(table.FieldByName("TALL").AsDouble(), 5);
  EXPECT_EQ(table.RecordNumber(), 1);
  table.Last();
  EXPECT_EQ(table.FieldByName("BYGG").AsString(), "K2");
  EXPECT_EQ(table.RecordNumber(), 5);
  EXPECT_FALSE(table.IsNumbered());
}

TEST_F(RecordsTest, EditPostInsertDeleteAndRefreshLeaveAFileOtherProgramsRead) {
  TTable& table = NewTable();
  table.Open();
  table.First();
  table.Edit();
  table.FieldByName("BYGG").SetAsString("K\xF8" "2");  // "ø" goes to the file as 0x9B
  table.FieldByName("TALL").SetAsDouble(7.5);
  table.Post();
  EXPECT_EQ(table.FieldByName("BYGG").AsString(), "K\xF8" "2");

  table.InsertAtEnd();
  table.FieldByName("DATO").SetAsString("06.01.2024");
  table.FieldByName("BYGG").SetAsString("NY");
  table.FieldByName("TALL").SetAsDouble(9);
  table.FieldByName("KOMENT").SetAsString("Ny kommentar \xE6\xF8\xE5");
  EXPECT_EQ(table.FieldByName("KOMENT").AsString(), "Ny kommentar \xE6\xF8\xE5");
  EXPECT_FALSE(table.FieldByName("KOMENT").IsBlank());
  table.Post();
  EXPECT_EQ(table.FieldByName("BYGG").AsString(), "NY");
  EXPECT_EQ(table.FieldByName("KOMENT").AsString(), "Ny kommentar \xE6\xF8\xE5");

  table.First();
  table.MoveRelative(3);
  ASSERT_EQ(table.FieldByName("BYGG").AsString(), "K4");
  table.Delete();
  EXPECT_EQ(table.FieldByName("BYGG").AsString(), "K2");  // the next record takes its place
  table.Refresh();
  EXPECT_EQ(table.RecordTotal(), 5);
  table.Close();

  EXPECT_EQ(ReadWithDbfread(), Cp1252ToUtf8("K\xF8" "2|7.5|\n"
                                            "K\xD8|3.0|Fisken var syk\n"
                                            "K1|1.0|\n"
                                            "K2|2.0|\n"
                                            "NY|9.0|Ny kommentar \xE6\xF8\xE5\n"
                                            "deleted=1\n"));
}

TEST_F(RecordsTest, CancelDropsTheEditAndTheMemoWrittenMeanwhile) {
  TTable& table = NewTable();
  table.Open();
  table.Next();
  table.Edit();
  table.FieldByName("KOMENT").SetAsString("Skal bort");
  table.FieldByName("BYGG").SetAsString("BORT");
  table.Cancel();
  EXPECT_EQ(table.FieldByName("KOMENT").AsString(), "Fisken var syk");
  EXPECT_EQ(table.FieldByName("BYGG").AsString(), std::string("K") + kOslash1252);
  table.Insert();
  table.FieldByName("KOMENT").SetAsString("Aldri lagret");
  table.Cancel();
  EXPECT_EQ(table.RecordTotal(), 5);
}

TEST_F(RecordsTest, MemoOfABrowsedRecordIsReadFromTheEngineOnce) {
  TTable& table = NewTable();
  table.Open();
  table.Next();
  TField& memo = table.FieldByName("KOMENT");
  EXPECT_EQ(memo.AsString(), "Fisken var syk");

  // Another user changes the memo in the file.
  const eng::Handle other = ts::OpenCursor(db_, "SNYLTDYR.DBF");
  std::vector<uint8_t> buffer = ts::NewBuffer(other);
  ASSERT_EQ(eng::SetToBeginning(other), eng::kOk);
  ASSERT_EQ(eng::GetNextRecord(other, eng::LockMode::kNoLock, nullptr, nullptr), eng::kOk);
  ASSERT_EQ(eng::GetNextRecord(other, eng::LockMode::kWriteLock, buffer.data(), nullptr), eng::kOk);
  ts::SetMemo(other, buffer, 12, "Endret");
  ASSERT_EQ(eng::ModifyRecord(other, buffer.data(), true), eng::kOk);
  eng::CloseCursor(other);

  // The second read is served from the record's cache, not from the file.
  EXPECT_EQ(memo.AsString(), "Fisken var syk");
  EXPECT_FALSE(memo.IsBlank());
  // A record read again forgets its cache.
  table.Refresh();
  EXPECT_EQ(memo.AsString(), "Endret");
  // With caching off every read goes to the engine.
  table.SetCacheBlobs(false);
  table.Prior();
  EXPECT_TRUE(table.FieldByName("KOMENT").IsBlank());
  EXPECT_EQ(table.FieldByName("KOMENT").AsString(), "");
}

TEST_F(RecordsTest, MemoCannotBeWrittenWhileBrowsing) {
  TTable& table = NewTable();
  table.Open();
  TField& memo = table.FieldByName("KOMENT");
  const std::string refused = "SnyltdyrTable: Dataset not in edit or insert mode";
  EXPECT_EQ(ErrorOf([&] { table.OpenBlobStream(memo, bmWrite); }), refused);
  EXPECT_EQ(ErrorOf([&] { memo.SetAsString("nei"); }), refused);
  memo.SetReadOnly(true);
  table.Edit();
  EXPECT_EQ(ErrorOf([&] { table.OpenBlobStream(memo, bmReadWrite); }),
            "SnyltdyrTable: Field 'KOMENT' cannot be modified");
}

TEST_F(RecordsTest, RecordLockedByAnotherProcessMakesEditFailWithTheEnginesMessage) {
  TTable& table = NewTable();
  table.Open();
  // Another process locks the first record and holds it until told to stop.
  int ready[2], done[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(done), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    const eng::Handle other = ts::OpenCursor(db_, "SNYLTDYR.DBF");
    eng::SetToBeginning(other);
    eng::GetNextRecord(other, eng::LockMode::kNoLock, nullptr, nullptr);
    const char locked =
        eng::GetRecord(other, eng::LockMode::kWriteLock, nullptr, nullptr) == eng::kOk ? 'L' : 'E';
    (void)!::write(ready[1], &locked, 1);
    char stop;
    (void)!::read(done[0], &stop, 1);
    ::_exit(0);
  }
  char locked = 0;
  ASSERT_EQ(::read(ready[0], &locked, 1), 1);
  ASSERT_EQ(locked, 'L');

  table.First();
  try {
    table.Edit();
    ADD_FAILURE() << "edited a record another process holds";
  } catch (const EDBEngineError& error) {
    EXPECT_EQ(error.ErrorCode(), eng::kErrRecordLocked);
    EXPECT_EQ(error.Message().rfind("Record locked by another user.", 0), 0u) << error.Message();
  }
  EXPECT_EQ(table.DataState(), StateBrowse);

  (void)!::write(done[1], "x", 1);
  int status = 0;
  ::waitpid(child, &status, 0);
  for (int fd : {ready[0], ready[1], done[0], done[1]}) ::close(fd);
  table.Edit();
  EXPECT_EQ(table.DataState(), StateEdit);
  table.Post();
}

TEST_F(RecordsTest, EditHoldsTheRecordLockUntilThePost) {
  TTable& table = NewTable();
  table.Open();
  const eng::Handle other = ts::OpenCursor(db_, "SNYLTDYR.DBF");
  ASSERT_EQ(eng::SetToBeginning(other), eng::kOk);
  ASSERT_EQ(eng::GetNextRecord(other, eng::LockMode::kNoLock, nullptr, nullptr), eng::kOk);
  table.First();
  table.Edit();
  EXPECT_EQ(eng::GetRecord(other, eng::LockMode::kWriteLock, nullptr, nullptr),
            eng::kErrRecordLocked);
  table.Post();
  EXPECT_EQ(eng::GetRecord(other, eng::LockMode::kWriteLock, nullptr, nullptr), eng::kOk);
  EXPECT_EQ(eng::ReleaseRecordLock(other), eng::kOk);
  table.Edit();
  table.Cancel();  // abandoning the edit releases the lock too
  EXPECT_EQ(eng::GetRecord(other, eng::LockMode::kWriteLock, nullptr, nullptr), eng::kOk);
  eng::CloseCursor(other);
}

TEST_F(RecordsTest, FilterAppliesToNavigationAndCountOnlyWhileFiltered) {
  TTable& table = NewTable();
  table.Open();
  table.Last();
  table.SetFiltered(true);  // no filter text: every record, and the first one current
  EXPECT_EQ(table.RecordTotal(), 5);
  EXPECT_EQ(table.FieldByName("BYGG").AsString(), "K5");

  table.SetFiltered(false);
  table.SetFilter("MENGDE<>'-'");
  EXPECT_EQ(table.RecordTotal(), 5);  // parsed and kept, not active
  table.SetFiltered(true);
  EXPECT_EQ(table.RecordTotal(), 3);
  EXPECT_EQ(Column(table, "BYGG"), (std::vector<std::string>{"K5", "K4", "K2"}));

  // Constants and field names reach the engine in the table's code page.
  table.SetFilter(std::string("BYGG='K") + kOslash1252 + "'");
  EXPECT_EQ(Column(table, "BYGG"), (std::vector<std::string>{std::string("K") + kOslash1252}));
  table.SetFilter("\xC5RSKLAS=1");
  EXPECT_EQ(table.RecordTotal(), 3);
  table.SetFiltered(false);
  EXPECT_EQ(table.RecordTotal(), 5);
}

TEST_F(RecordsTest, RejectedFilterTextKeepsTheOldFilter) {
  TTable& table = NewTable();
  table.Open();
  table.SetFilter("MENGDE<>'-'");
  table.SetFiltered(true);
  EXPECT_THROW(table.SetFilter("MENGDE<>"), EDatabaseError);
  EXPECT_EQ(table.Filter(), "MENGDE<>'-'");
  EXPECT_EQ(table.RecordTotal(), 3);
  table.SetFiltered(false);
  EXPECT_THROW(table.SetFilter("NOSUCH='x'"), EDatabaseError);
  EXPECT_EQ(table.Filter(), "MENGDE<>'-'");
  table.SetFiltered(true);
  EXPECT_EQ(table.RecordTotal(), 3);
}

TEST_F(RecordsTest, FilterOfAClosedTableActsAtOpen) {
  TTable& table = NewTable();
  table.SetFilter("SNYLTDYR='Tricodina'");
  table.SetFiltered(true);
  table.Open();
  EXPECT_EQ(table.RecordTotal(), 2);
  table.Close();
  table.SetFilter("SNYLTDYR=");  // stored unchecked while closed
  EXPECT_THROW(table.Open(), EDatabaseError);
  EXPECT_FALSE(table.Active());
  EXPECT_EQ(table.Database(), nullptr);
}

TEST_F(RecordsTest, CallbackFilterSeesEachRecordInFilterState) {
  TTable& table = NewTable();
  table.Open();
  table.SetOnFilterRecord([](TDataSet& data_set, bool& accept) {
    EXPECT_EQ(data_set.DataState(), StateFilter);
    accept = data_set.FieldByName("TALL").AsDouble() > 2;
  });
  EXPECT_EQ(table.RecordTotal(), 5);
  table.SetFiltered(true);
  EXPECT_EQ(table.RecordTotal(), 3);
  EXPECT_EQ(Column(table, "TALL"), (std::vector<std::string>{"5", "3", "4"}));
}

TEST_F(RecordsTest, BookmarksFindTheirRecordsAndKnowWhenOneIsGone) {
  TTable& table = NewTable();
  table.Open();
  table.MoveRelative(1);
  const TBookmark second = table.GetBookmark();
  table.Last();
  const TBookmark last = table.GetBookmark();
  EXPECT_EQ(table.CompareBookmarks(second, last), -1);
  EXPECT_EQ(table.CompareBookmarks(last, second), 1);
  EXPECT_EQ(table.CompareBookmarks(second, second), 0);
  EXPECT_EQ(table.CompareBookmarks(TBookmark(), second), 1);
  EXPECT_EQ(table.CompareBookmarks(second, TBookmark()), -1);

  table.GotoBookmark(second);
  EXPECT_EQ(table.FieldByName("BYGG").AsString(), std::string("K") + kOslash1252);
  table.Delete();
  EXPECT_FALSE(table.BookmarkValid(second));
  EXPECT_TRUE(table.BookmarkValid(last));
  EXPECT_THROW(table.GotoBookmark(second), EDatabaseError);
  table.GotoBookmark(last);
  EXPECT_EQ(table.FieldByName("BYGG").AsString(), "K2");
}

class EmptyTableTest : public BindingTest {};

TEST_F(EmptyTableTest, EditOfAnEmptyTableInsertsTheFirstRecord) {
  MakeTable({});
  TTable& table = NewTable();
  table.Open();
  EXPECT_TRUE(table.NoRecords());
  EXPECT_EQ(table.RecordTotal(), 0);
  EXPECT_TRUE(table.FieldByName("KOMENT").IsBlank());
  table.Edit();
  EXPECT_EQ(table.DataState(), StateInsert);
  table.FieldByName("BYGG").SetAsString("F\xF8rst");
  table.FieldByName("KOMENT").SetAsString("Den f\xF8rste");
  table.Post();
  EXPECT_EQ(table.RecordTotal(), 1);
  EXPECT_EQ(table.RecordNumber(), 1);
  EXPECT_EQ(table.FieldByName("KOMENT").AsString(), "Den f\xF8rste");
  table.Close();
  EXPECT_EQ(ReadWithDbfread(), Cp1252ToUtf8("F\xF8rst|None|Den f\xF8rste\ndeleted=0\n"));
}

}  // namespace
}  // namespace snyltdyr::testing
