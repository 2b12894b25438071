// Indexes through the table: opening in a tag's order, missing tags, switching on an open
// table, adding tags to an open or closed table, and the index left in step with the file.
#include "binding_fixture.h"
#include "engine/index_test_support.h"
#include "storage/engine/index/index_checker.h"
#include "storage/engine/index/mdx_file.h"
#include "runtime/cp1252.h"

#include <filesystem>
#include <fstream>
#include <iterator>

namespace snyltdyr::testing {
namespace {

const std::string kOslashBygg = std::string("K") + kOslash1252;

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

class IndexTest : public BindingTest {
 protected:
  void SetUp() override {
    BindingTest::SetUp();
    MakeStandardTable();
  }

  // Adds the tag DATO through a closed table, as a first index needs the table alone.
  void AddDatoTag() {
    TTable& maker = NewTable(false);
    maker.CreateIndex("DATO", "DATO");
  }

  std::string IndexProblems() {
    return engine::testing::IndexProblems(dir_.File("SNYLTDYR.DBF"), dir_.File("SNYLTDYR.MDX"));
  }
};

TEST_F(IndexTest, OpenWithAMissingTagFailsAndHoldsNoDatabase) {
  TTable& table = NewTable();
  table.SetIndexName("DATO");
  EXPECT_EQ(ErrorOf([&] { table.Open(); }), "SnyltdyrTable: Index does not exist. Index: DATO");
  EXPECT_FALSE(table.Active());
  EXPECT_EQ(table.Database(), nullptr);
}

TEST_F(IndexTest, TagAddedToTheClosedTableOrdersTheOpenOne) {
  AddDatoTag();
  TTable& table = NewTable();
  table.SetIndexName("DATO");
  table.Open();
  EXPECT_EQ(Column(table, "BYGG"),
            (std::vector<std::string>{"K1", "K2", kOslashBygg, "K4", "K5"}));
  const TIndexDefs& defs = table.IndexDefs();
  ASSERT_EQ(defs.Count(), 1);
  EXPECT_EQ(defs[0].name, "DATO");
  EXPECT_EQ(defs[0].fields, "DATO");
  EXPECT_EQ(UpperCase1252(defs[0].source), "SNYLTDYR.MDX");
  EXPECT_EQ(defs[0].options, 0u);
}

TEST_F(IndexTest, SwitchingIndexesOnTheOpenTable) {
  AddDatoTag();
  TTable& table = NewTable();
  table.SetIndexName("DATO");
  table.Open();
  table.First();
  table.MoveRelative(3);
  ASSERT_EQ(table.FieldByName("BYGG").AsString(), "K4");

  // A missing tag changes nothing.
  EXPECT_EQ(ErrorOf([&] { table.SetIndexName("BYGG"); }),
            "SnyltdyrTable: Index does not exist. Index: BYGG");
  EXPECT_EQ(table.IndexName(), "DATO");
  EXPECT_EQ(table.FieldByName("BYGG").AsString(), "K4");
  table.Next();
  EXPECT_EQ(table.FieldByName("BYGG").AsString(), "K5");
  table.Prior();

  // Added to the open table, the tag can be switched to, staying on the record.
  table.CreateIndex("BYGG", "BYGG");
  table.SetIndexName("BYGG");
  EXPECT_EQ(table.IndexName(), "BYGG");
  EXPECT_EQ(table.FieldByName("BYGG").AsString(), "K4");
  table.Next();
  EXPECT_EQ(table.FieldByName("BYGG").AsString(), "K5");
  EXPECT_EQ(Column(table, "BYGG"),
            (std::vector<std::string>{"K1", "K2", "K4", "K5", kOslashBygg}));

  // Names compare with regard to case, tags without.
  table.SetIndexName("dato");
  EXPECT_EQ(table.IndexName(), "dato");
  EXPECT_EQ(Column(table, "BYGG"),
            (std::vector<std::string>{"K1", "K2", kOslashBygg, "K4", "K5"}));
  table.SetIndexName("");
  EXPECT_EQ(Column(table, "BYGG"),
            (std::vector<std::string>{"K5", kOslashBygg, "K1", "K4", "K2"}));
  EXPECT_EQ(table.IndexDefs().Count(), 2);
}

TEST_F(IndexTest, FirstTagOfAnOpenTableNeedsItExclusively) {
  TTable& table = NewTable();
  table.Open();
  EXPECT_THROW(table.CreateIndex("BYGG", "BYGG"), EDBEngineError);
  EXPECT_TRUE(table.Active());
  table.Close();
  // The column sort's way: exclusively for the call, shared again afterwards.
  table.SetExclusive(true);
  table.Open();
  table.MoveRelative(2);
  table.CreateIndex("BYGG", "BYGG");
  table.Close();
  table.SetExclusive(false);
  table.SetIndexName("BYGG");
  table.Open();
  EXPECT_EQ(Column(table, "BYGG"),
            (std::vector<std::string>{"K1", "K2", "K4", "K5", kOslashBygg}));
}

TEST_F(IndexTest, DescendingFieldsMustBeKeyFields) {
  AddDatoTag();
  TTable& table = NewTable();
  EXPECT_EQ(ErrorOf([&] { table.CreateIndex("T", "TALL", 0, "BYGG"); }),
            "SnyltdyrTable: Cannot access index field 'BYGG'");
  EXPECT_EQ(ErrorOf([&] { table.CreateIndex("T", "NOSUCH"); }),
            "SnyltdyrTable: Field 'NOSUCH' not found");
  table.CreateIndex("TALLNED", "TALL", ixDescending);
  table.SetIndexName("TALLNED");
  table.Open();
  EXPECT_EQ(Column(table, "TALL"), (std::vector<std::string>{"5", "4", "3", "2", "1"}));
  EXPECT_EQ(table.IndexDefs().Find("tallned")->options, static_cast<TIndexOptions>(ixDescending));
}

TEST_F(IndexTest, WritesInIndexOrderKeepTheIndexInStepWithTheFile) {
  AddDatoTag();
  TTable& table = NewTable();
  table.SetIndexName("DATO");
  table.Open();
  table.First();
  table.Edit();
  table.FieldByName("DATO").SetAsString("10.01.2024");  // K1 moves to the end
  table.Post();
  EXPECT_EQ(table.FieldByName("BYGG").AsString(), "K1");
  table.Next();
  EXPECT_TRUE(table.AtEnd());

  table.Insert();
  table.FieldByName("DATO").SetAsString("03.01.2024");
  table.FieldByName("BYGG").SetAsString("NY");
  table.FieldByName("KOMENT").SetAsString("Ny");
  table.FieldByName("TALL").SetAsDouble(6);
  table.Post();
  EXPECT_EQ(Column(table, "BYGG"),
            (std::vector<std::string>{"K2", kOslashBygg, "NY", "K4", "K5", "K1"}));
  table.First();
  table.Delete();
  table.Refresh();
  EXPECT_EQ(table.RecordTotal(), 5);
  table.Close();

  EXPECT_EQ(IndexProblems(), "");
  EXPECT_EQ(ReadWithDbfread(), Cp1252ToUtf8("K5|5.0|\n"
                                            "K\xD8|3.0|Fisken var syk\n"
                                            "K1|1.0|\n"
                                            "K4|4.0|\n"
                                            "NY|6.0|Ny\n"
                                            "deleted=1\n"));
}

TEST_F(IndexTest, AnIndexOutOfStepOpensTheTableInRecordOrderAndSaysWhy) {
  AddDatoTag();
  {  // another program appends a record without filing its key
    std::string dbf = Slurp(dir_.File("SNYLTDYR.DBF"));
    const size_t hl = static_cast<uint8_t>(dbf[8]) | static_cast<uint8_t>(dbf[9]) << 8;
    const size_t rl = static_cast<uint8_t>(dbf[10]) | static_cast<uint8_t>(dbf[11]) << 8;
    dbf.insert(hl + 5 * rl, dbf.substr(hl, rl));
    dbf[4] = 6;
    std::ofstream(dir_.File("SNYLTDYR.DBF"), std::ios::binary | std::ios::trunc) << dbf;
  }
  TTable& table = NewTable();
  table.SetIndexName("DATO");
  table.Open();
  EXPECT_FALSE(table.Modifiable());
  EXPECT_EQ(table.IndexName(), "DATO");
  EXPECT_EQ(Column(table, "BYGG"),  // the stored order, every record
            (std::vector<std::string>{"K5", kOslashBygg, "K1", "K4", "K2", "K5"}));
  const std::string why = table.ReadOnlyReason();
  EXPECT_NE(why.find("the tag has 5 entries for 6 records"), std::string::npos) << why;
  EXPECT_NE(why.find("snyltdyr-cli reindex"), std::string::npos) << why;
  EXPECT_NE(why.find("The index DATO is not used: the records are shown in the order they are stored."),
            std::string::npos) << why;
  // Asking for the index again, under its own name too, fails with the reason.
  const std::string refused = ErrorOf([&] { table.SetIndexName("DATO"); });
  EXPECT_NE(refused.find("does not agree with the table"), std::string::npos) << refused;
  EXPECT_EQ(table.RecordTotal(), 6);
  table.Close();

  TTable& maker = NewTable(false);
  const engine::RebuildReport report = maker.RebuildIndexes();
  EXPECT_EQ(report.tags, std::vector<std::string>{"DATO"});
  table.Open();
  EXPECT_TRUE(table.Modifiable());
  EXPECT_EQ(table.ReadOnlyReason(), "");
  EXPECT_EQ(Column(table, "BYGG"),
            (std::vector<std::string>{"K1", "K2", kOslashBygg, "K4", "K5", "K5"}));
  EXPECT_EQ(IndexProblems(), "");
}

TEST_F(IndexTest, AMissingIndexFileOpensTheTableInRecordOrderUntilRebuilt) {
  AddDatoTag();
  std::filesystem::remove(dir_.File("SNYLTDYR.MDX"));  // the header still names it
  TTable& table = NewTable();
  table.SetIndexName("DATO");
  table.Open();
  EXPECT_FALSE(table.Modifiable());
  EXPECT_EQ(Column(table, "BYGG"),
            (std::vector<std::string>{"K5", kOslashBygg, "K1", "K4", "K2"}));
  const std::string why = table.ReadOnlyReason();
  EXPECT_NE(why.find("SNYLTDYR.MDX is missing"), std::string::npos) << why;
  EXPECT_NE(why.find("The index DATO is not used"), std::string::npos) << why;
  EXPECT_NE(ErrorOf([&] { table.SetIndexName("DATO"); }).find("is missing"), std::string::npos);
  table.Close();

  // The field the header marks as indexed gets its tag back.
  TTable& maker = NewTable(false);
  const engine::RebuildReport report = maker.RebuildIndexes();
  EXPECT_EQ(report.definitions_from, "the fields");
  EXPECT_EQ(report.tags, std::vector<std::string>{"DATO"});
  table.Open();
  EXPECT_TRUE(table.Modifiable());
  EXPECT_EQ(Column(table, "BYGG"), (std::vector<std::string>{"K1", "K2", kOslashBygg, "K4", "K5"}));
}

}  // namespace
}  // namespace snyltdyr::testing
