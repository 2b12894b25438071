// Tables made by other programs, each with its production index: opened through the
// binding (from copies), walked in record order and in every tag's order, every value
// read, and the count compared with an independent reader's.
#include <algorithm>
#include <set>

#include "binding_fixture.h"
#include "runtime/cp1252.h"

namespace snyltdyr::testing {
namespace {

namespace fs = std::filesystem;

fs::path RealFixtures() { return fs::path(SNYLTDYR_SHARED_DIR) / "fixtures" / "real"; }

// Every .DBF of the fixtures that has a production index beside it.
std::vector<fs::path> IndexedTables() {
  std::vector<fs::path> tables;
  for (const auto& entry : fs::recursive_directory_iterator(RealFixtures())) {
    if (UpperCase1252(entry.path().extension().string()) != ".DBF") continue;
    for (const auto& other : fs::directory_iterator(entry.path().parent_path())) {
      if (SameText1252(other.path().stem().string(), entry.path().stem().string()) &&
          UpperCase1252(other.path().extension().string()) == ".MDX") {
        tables.push_back(entry.path());
      }
    }
  }
  return tables;
}

// Record numbers in the table's current order, reading every field of every record.
std::vector<int32_t> Walk(TTable& table) {
  std::vector<int32_t> numbers;
  table.First();
  while (!table.AtEnd()) {
    numbers.push_back(table.RecordNumber());
    for (int32_t i = 0; i < table.Fields().Count(); ++i) table.Fields()[i]->AsString();
    table.Next();
  }
  return numbers;
}

class RealTablesTest : public BindingTest {};

TEST_F(RealTablesTest, IndexedTablesOfOtherProgramsOpenAndWalkInEveryOrder) {
  if (!fs::exists(RealFixtures())) GTEST_SKIP() << "real-world fixtures not found at " << RealFixtures();
  const std::vector<fs::path> tables = IndexedTables();
  ASSERT_FALSE(tables.empty());
  for (const fs::path& source : tables) {
    SCOPED_TRACE(source.string());
    // A copy of the table and its companions, so nothing of the fixtures changes.
    ts::TempDir copy;
    for (const auto& file : fs::directory_iterator(source.parent_path())) {
      if (SameText1252(file.path().stem().string(), source.stem().string())) {
        fs::copy_file(file.path(), fs::path(copy.path()) / file.path().filename());
      }
    }
    TTable table("RealTable");
    table.SetDatabaseName(copy.path());
    table.SetTableName(source.filename().string());
    table.Open();
    const std::vector<int32_t> record_order = Walk(table);
    EXPECT_EQ(static_cast<int32_t>(record_order.size()), table.RecordTotal());
    const std::set<int32_t> records(record_order.begin(), record_order.end());
    EXPECT_EQ(records.size(), record_order.size());

    const TIndexDefs defs = table.IndexDefs();  // may be none: an index file without tags
    for (const TIndexDef& def : defs) {
      SCOPED_TRACE(def.name);
      table.SetIndexName(def.name);
      const std::vector<int32_t> tag_order = Walk(table);
      // A tag shows each record once, and only records of the table: a unique tag leaves
      // out repeated keys, and another program's tag may hold fewer records than its table.
      const std::set<int32_t> shown(tag_order.begin(), tag_order.end());
      EXPECT_EQ(shown.size(), tag_order.size());
      EXPECT_TRUE(std::includes(records.begin(), records.end(), shown.begin(), shown.end()));
    }

    if (ts::PythonAvailable()) {
      int status = 0;
      const std::string out = ts::RunPython(
          copy.path() + "/count.py",
          "import sys\nfrom dbfread import DBF\nprint(len(DBF(sys.argv[1], encoding='latin-1', "
          "ignore_missing_memofile=True)))\n",
          "'" + (fs::path(copy.path()) / source.filename()).string() + "'", status);
      EXPECT_EQ(out, std::to_string(record_order.size()) + "\n");
    }
  }
}

}  // namespace
}  // namespace snyltdyr::testing
