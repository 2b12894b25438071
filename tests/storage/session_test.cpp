// Engine errors, the default session and databases, and opening and closing a table.
#include <unistd.h>

#include "storage/engine/error_stack.h"
#include "binding_fixture.h"
#include "runtime/cp1252.h"

namespace snyltdyr::testing {
namespace {

// Puts the process in `directory` for the test's lifetime.
class WorkingDirectory {
 public:
  explicit WorkingDirectory(const std::string& directory)
      : saved_(std::filesystem::current_path()) {
    std::filesystem::current_path(directory);
  }
  ~WorkingDirectory() { std::filesystem::current_path(saved_); }

 private:
  std::filesystem::path saved_;
};

TEST(EngineErrorTest, MessageCollectsEngineTextsOnceInOrder) {
  Session().SetActive(true);
  // A failure as the engine reports it: the code's text with the table name, then an
  // operating-system detail that carries its native code.
  eng::Fail(eng::kErrTableNotFound, "SNYLTDYR.DBF");
  eng::FailMore(eng::kErrReadFailed, "/data/SNYLTDYR.DBF", 13);
  eng::FailMore(eng::kErrTableNotFound, "SNYLTDYR.DBF");  // repeats nothing new
  const EDBEngineError error(eng::kErrTableNotFound);
  EXPECT_EQ(error.Message(),
            "Table does not exist.\n"
            "SNYLTDYR.DBF\n"
            "Cannot read the file. /data/SNYLTDYR.DBF");
  ASSERT_EQ(error.ErrorCount(), 4);
  EXPECT_EQ(error.Errors(0).error_code, eng::kErrTableNotFound);
  EXPECT_EQ(error.Errors(2).error_code, eng::kErrReadFailed);
  EXPECT_EQ(error.Errors(2).native_error, 13);
  EXPECT_EQ(error.Errors(2).message, "Cannot read the file. /data/SNYLTDYR.DBF");
}

TEST(EngineErrorTest, PassThroughCodeShowsOnlyTheEntryText) {
  Session().SetActive(true);
  eng::Fail(eng::kErrPassThrough, "Something the entry says itself.");
  EXPECT_EQ(EDBEngineError(eng::kErrPassThrough).Message(), "Something the entry says itself.");
}

TEST(EngineErrorTest, NoTextAtAllGivesTheFallbackWithTheCode) {
  Session().SetActive(true);
  eng::Fail(0x3A0F, "");
  EXPECT_EQ(EDBEngineError(0x3A0F).Message(), "Engine error $3a0f");
}

TEST(EngineErrorTest, EngineThatDidNotStartGivesTheStartUpText) {
  StopDefaultSession();
  const EDBEngineError error(eng::kErrNotInitialized);
  EXPECT_EQ(error.Message(),
            "An error occurred while attempting to initialize the database engine (error $2a01)");
  EXPECT_EQ(error.ErrorCount(), 1);
  EXPECT_THROW(Check(eng::kErrInvalidHandle), EDBEngineError);
  EXPECT_NO_THROW(Check(eng::kOk));
}

TEST(SessionTest, DatabasesAreSharedKeptAndFoundWithoutRegardToCase) {
  ts::TempDir dir;
  TSession& session = Session();
  TDatabase* first = session.OpenDatabase(dir.path());
  TDatabase* again = session.OpenDatabase(UpperCase1252(dir.path()));
  EXPECT_EQ(first, again);
  EXPECT_EQ(first->RefCount(), 2);
  EXPECT_TRUE(first->Temporary());
  session.CloseDatabase(first);
  session.CloseDatabase(first);
  // Kept connected for the next Open.
  EXPECT_EQ(session.FindDatabase(UpperCase1252(dir.path())), first);
  EXPECT_TRUE(first->Connected());
  EXPECT_EQ(ErrorOf([&] { first->SetDatabaseName("other"); }),
            "Cannot perform this operation on an open database");
  // A name without ":" or "\" or "/" is an alias, and there are none.
  EXPECT_THROW(session.OpenDatabase("NOALIAS"), EDBEngineError);
  EXPECT_EQ(session.FindDatabase("NOALIAS"), nullptr);
}

class OpenTest : public BindingTest {};

TEST_F(OpenTest, MissingTableFailsAndHoldsNoDatabaseThenAnotherDirectoryOpens) {
  MakeStandardTable();
  ts::TempDir empty;
  WorkingDirectory in(empty.path());
  TTable& table = NewTable();
  table.SetDatabaseName("");
  try {
    table.Open();
    FAIL() << "opened a table that does not exist";
  } catch (const EDBEngineError& error) {
    EXPECT_EQ(error.ErrorCode(), eng::kErrTableNotFound);
    EXPECT_NE(error.Message().find("Table does not exist."), std::string::npos) << error.Message();
  }
  EXPECT_FALSE(table.Active());
  EXPECT_EQ(table.Database(), nullptr);
  EXPECT_EQ(table.HoldReasons(), 0);

  table.SetDatabaseName(dir_.path());
  table.Open();
  EXPECT_TRUE(table.Active());
  ASSERT_NE(table.Database(), nullptr);
  EXPECT_EQ(table.Database()->DatabaseName(), dir_.path());
  EXPECT_EQ(table.RecordTotal(), 5);
}

TEST_F(OpenTest, EmptyDatabaseNameIsTheWorkingDirectory) {
  MakeStandardTable();
  WorkingDirectory in(dir_.path());
  TTable& table = NewTable();
  table.SetDatabaseName("");
  table.Open();
  EXPECT_EQ(table.RecordTotal(), 5);
}

TEST_F(OpenTest, PropertyGuardsAndMissingTableName) {
  MakeStandardTable();
  TTable& table = NewTable();
  table.SetTableName("");
  EXPECT_EQ(ErrorOf([&] { table.Open(); }), "SnyltdyrTable: Missing TableName property");
  EXPECT_EQ(table.Database(), nullptr);

  table.SetTableName("SNYLTDYR.DBF");
  table.Open();
  const std::string open = "SnyltdyrTable: Cannot perform this operation on an open dataset";
  EXPECT_EQ(ErrorOf([&] { table.SetTableName("X.DBF"); }), open);
  EXPECT_EQ(ErrorOf([&] { table.SetDatabaseName("/tmp"); }), open);
  EXPECT_EQ(ErrorOf([&] { table.SetExclusive(true); }), open);
  EXPECT_EQ(ErrorOf([&] { table.SetReadOnly(true); }), open);
  table.Close();
  EXPECT_EQ(ErrorOf([&] { table.RecordTotal(); }),
            "SnyltdyrTable: Cannot perform this operation on a closed dataset");
}

TEST_F(OpenTest, TwoTablesInOneDirectoryShareOneDatabaseWhichStaysConnected) {
  MakeStandardTable();
  TTable& one = NewTable();
  TTable& two = NewTable(false);
  one.Open();
  two.Open();
  ASSERT_NE(one.Database(), nullptr);
  EXPECT_EQ(one.Database(), two.Database());
  TDatabase* database = one.Database();
  EXPECT_EQ(database->RefCount(), 2);
  one.Close();
  two.Close();
  EXPECT_EQ(one.Database(), nullptr);
  EXPECT_EQ(database->RefCount(), 0);
  EXPECT_TRUE(database->Connected());
  // The next Open finds it again by name.
  two.Open();
  EXPECT_EQ(two.Database(), database);
}

TEST_F(OpenTest, FieldDefinitionsAndDefaultFieldsComeFromTheTable) {
  MakeStandardTable();
  TTable& table = NewTable(false);
  table.Open();
  const TFieldDefs& defs = table.FieldDefs();
  ASSERT_EQ(defs.Count(), 14);
  EXPECT_EQ(defs[0].data_type, ftDate);
  EXPECT_EQ(defs[1].data_type, ftString);
  EXPECT_EQ(defs[1].size, 9);
  EXPECT_EQ(defs[3].name, "\xC5RSKLAS");  // converted from code page 865
  EXPECT_EQ(defs[4].data_type, ftFloat);
  EXPECT_EQ(defs[11].data_type, ftMemo);
  EXPECT_EQ(defs[11].field_no, 12);
  EXPECT_TRUE(table.DefaultFields());
  EXPECT_EQ(table.Fields().Count(), 14);
  EXPECT_EQ(table.FieldByName("\xC5rsklas").AsString(), "1");
  table.Close();
  EXPECT_EQ(table.Fields().Count(), 0);  // default fields go with the cursor
}

TEST_F(OpenTest, PersistentFieldOfAMissingColumnFailsTheOpen) {
  MakeStandardTable();
  TTable& table = NewTable();
  auto extra = std::make_unique<TStringField>();
  extra->SetFieldName("NOSUCH");
  extra->SetDataSet(&table);
  EXPECT_EQ(ErrorOf([&] { table.Open(); }), "SnyltdyrTable: Field 'NOSUCH' not found");
  EXPECT_FALSE(table.Active());
  EXPECT_EQ(table.Database(), nullptr);
  extra->SetDataSet(nullptr);
}

TEST_F(OpenTest, TableOnlyReadableOpensReadOnlyAndRefusesEdits) {
  MakeStandardTable();
  {
    TTable& writable = NewTable();
    writable.Open();
    EXPECT_TRUE(writable.Modifiable());
    EXPECT_EQ(writable.ReadOnlyReason(), "");
    writable.Close();
  }
  {
    // The header promises a production index that is not there: writing would leave
    // other programs with a stale index, so the engine offers reading only.
    std::fstream file(dir_.File("SNYLTDYR.DBF"), std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(28);
    file.put('\x01');
  }
  TTable& table = NewTable();
  table.Open();
  EXPECT_FALSE(table.Modifiable());
  EXPECT_EQ(table.RecordTotal(), 5);
  // The table says why, and the edits that are refused say it too.
  const std::string why = table.ReadOnlyReason();
  EXPECT_NE(why.find("SNYLTDYR.MDX is missing"), std::string::npos) << why;
  EXPECT_NE(why.find("snyltdyr-cli reindex \"" + dir_.path() + "\""), std::string::npos) << why;
  EXPECT_EQ(ErrorOf([&] { table.Edit(); }), "SnyltdyrTable: Cannot modify a read-only dataset\n" + why);
  EXPECT_EQ(ErrorOf([&] { table.Insert(); }), "SnyltdyrTable: Cannot modify a read-only dataset\n" + why);
  table.Close();
  EXPECT_EQ(table.ReadOnlyReason(), "");  // a closed table has none
}

}  // namespace
}  // namespace snyltdyr::testing
