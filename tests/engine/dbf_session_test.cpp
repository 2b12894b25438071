// The engine's session and databases: start and stop, directories in either form, table
// and memo files found without regard to case, and the field descriptors of a table.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <fstream>

#include "storage/engine/files/case_insensitive_path.h"
#include "storage/engine/engine.h"
#include "support/table_builder.h"
#include "support/temp_dir.h"

namespace snyltdyr::engine {
namespace {

TEST(EngineSession, StartsOnceStopsAndClosesEverything) {
  ASSERT_EQ(StartEngine(kInterfaceVersion, {"0009"}), kOk);
  EXPECT_EQ(StartEngine(kInterfaceVersion, {"0009"}), kErrAlreadyInitialized);
  Handle session = kNoHandle;
  ASSERT_EQ(GetCurrentSession(session), kOk);
  EXPECT_NE(session, kNoHandle);
  testsupport::TempDir dir;
  Handle db;
  ASSERT_EQ(OpenDatabase("", OpenMode::kReadWrite, ShareMode::kShared, db), kOk);
  ASSERT_EQ(SetDirectory(db, dir.path()), kOk);
  testsupport::CreateTable(db, "T.DBF", {{"A", 'C', 1}}, 0x57);
  Handle cur = testsupport::OpenCursor(db, "T.DBF", OpenMode::kReadWrite, ShareMode::kExclusive);
  std::string name;
  EXPECT_EQ(LookupAlias("SNYLTDYR", name), kErrAliasNotFound);
  ASSERT_EQ(StopEngine(), kOk);
  EXPECT_EQ(GetCurrentSession(session), kErrNotInitialized);
  EXPECT_EQ(SetToBeginning(cur), kErrNotInitialized);
  EXPECT_EQ(StartEngine(499, {"0009"}), kErrVersionMismatch);
  // The stopped engine released the exclusive opening.
  ASSERT_EQ(StartEngine(kInterfaceVersion, {"0009"}), kOk);
  ASSERT_EQ(OpenDatabase("", OpenMode::kReadWrite, ShareMode::kShared, db), kOk);
  ASSERT_EQ(SetDirectory(db, dir.path()), kOk);
  EXPECT_EQ(SetToBeginning(cur), kErrInvalidHandle);
  cur = testsupport::OpenCursor(db, "T.DBF", OpenMode::kReadWrite, ShareMode::kExclusive);
  EXPECT_NE(cur, kNoHandle);
  ASSERT_EQ(StopEngine(), kOk);
}

TEST(EnginePaths, DriveLettersMapUnderMntAndNamesIgnoreCase) {
  EXPECT_EQ(LocalDirectory("p:\\strandum\\merder"), "/mnt/p/strandum/merder");
  EXPECT_EQ(LocalDirectory("P:\\Data"), "/mnt/p/Data");
  EXPECT_EQ(LocalDirectory(""), "");
  testsupport::TempDir dir;
  ::mkdir(dir.File("Merder").c_str(), 0777);
  std::ofstream(dir.File("Merder/Snyltdyr.Dbf")) << "x";
  std::ofstream(dir.File("Merder/SNYLTDYR.dbt")) << "x";
  bool exists = false;
  EXPECT_EQ(ResolvePath(dir.path(), "merder\\SNYLTDYR.DBF", exists), dir.File("Merder/Snyltdyr.Dbf"));
  EXPECT_TRUE(exists);
  EXPECT_EQ(CompanionPath(dir.File("Merder/Snyltdyr.Dbf"), ".DBT", exists), dir.File("Merder/SNYLTDYR.dbt"));
  EXPECT_TRUE(exists);
  EXPECT_EQ(CompanionPath(dir.File("Merder/Snyltdyr.Dbf"), ".MDX", exists), dir.File("Merder/Snyltdyr.MDX"));
  EXPECT_FALSE(exists);
  ResolvePath(dir.path(), "merder/ANNEN.DBF", exists);
  EXPECT_FALSE(exists);
}

TEST(EngineFields, DescriptorsMapTheTypesOfTheHeader) {
  testsupport::EngineSession engine;
  testsupport::TempDir dir;
  Handle db = engine.Database(dir.path());
  testsupport::CreateTable(db, "T.DBF",
                           {{"BYGG", 'C', 4}, {"DATO", 'D'}, {"TALL", 'N', 5, 1}, {"KONS", 'F', 8, 3},
                            {"FUNN", 'L'}, {"KOMENT", 'M'}},
                           0x17);
  std::vector<FieldDescriptor> fields;
  ASSERT_EQ(GetTableFieldDescriptors(db, "t.dbf", "DBASE", fields), kOk);
  ASSERT_EQ(fields.size(), 6u);
  const uint16_t types[] = {kTypeText, kTypeDate, kTypeFloat, kTypeFloat, kTypeBoolean, kTypeBlob};
  for (size_t i = 0; i < fields.size(); ++i) {
    EXPECT_EQ(fields[i].number, i + 1);
    EXPECT_EQ(fields[i].type, types[i]) << fields[i].name;
  }
  EXPECT_EQ(fields[0].units1, 4);
  EXPECT_EQ(fields[2].units1, 5);
  EXPECT_EQ(fields[2].units2, 1);
  EXPECT_EQ(fields[5].subtype, kSubtypeMemo);
  EXPECT_EQ(fields[5].name, "KOMENT");
  Handle cur = testsupport::OpenCursor(db, "T");  // the extension is optional
  CursorProperties props;
  ASSERT_EQ(GetCursorProperties(cur, props), kOk);
  EXPECT_EQ(props.record_size, 1 + 4 + 8 + 5 + 8 + 1 + 10 + 4);  // and the memo's blob slot
  EXPECT_EQ(props.bookmark_size, 4);
  EXPECT_EQ(props.numbering, RecordNumbering::kPhysical);
  EXPECT_EQ(GetTableFieldDescriptors(db, "T.DBF", "PARADOX", fields), kErrInvalidParameter);
}

}  // namespace
}  // namespace snyltdyr::engine
