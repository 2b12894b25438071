// The register on real tables: a sample table written by the engine, selections made
// with the buttons and boxes, checked against a plain loop over the stored records.
#include "register/snyltdyr_register.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "register/sample_observations.h"
#include "runtime/regional_settings.h"
#include "support/temp_dir.h"

namespace snyltdyr {
namespace {

struct Row {
  std::string dato;  // dd.MM.yyyy or empty
  std::string bygg, gener, arsklas, snyltdyr, mengde, organ, behandl;
};

// Score of an amount code, written out independently of the register.
int32_t Score(const std::string& m) {
  int32_t s = 0;
  for (auto [c, v] : {std::pair{'S', 20}, {'M', 50}, {'L', 80}, {'+', 10}, {'-', -10}}) {
    if (m.find(c) != std::string::npos) s += v;
  }
  return s;
}

class RegisterTable : public ::testing::Test {
 protected:
  void SetUp() override { SetRegional(NorwegianSettings()); }

  // An empty sample table, then `rows` written as they are (no normaliser).
  void Make(const std::vector<Row>& rows) {
    rows_ = rows;
    CreateSampleTable(dir.path(), 0, 1);
    TTable raw("Raw");
    raw.SetDatabaseName(dir.path());
    raw.SetTableName(kObservationTableName);
    raw.Open();
    for (const Row& r : rows) {
      raw.InsertAtEnd();
      if (!r.dato.empty()) raw.FieldByName("DATO").SetAsString(r.dato);
      raw.FieldByName("BYGG").SetAsString(r.bygg);
      raw.FieldByName("GENER").SetAsString(r.gener);
      raw.FieldByName("\xC5RSKLAS").SetAsString(r.arsklas);
      raw.FieldByName("SNYLTDYR").SetAsString(r.snyltdyr);
      raw.FieldByName("MENGDE").SetAsString(r.mengde);
      raw.FieldByName("ORGAN").SetAsString(r.organ);
      raw.FieldByName("BEHANDL").SetAsString(r.behandl);
      raw.Post();
    }
    raw.Close();
  }

  void Open() {
    reg.SnyltdyrTable.SetDatabaseName(dir.path());
    reg.OpenTable();
    reg.StartSelection();
  }

  // Antall and Snitt of the rows that `keep` selects, by a plain loop.
  std::pair<std::string, std::string> Expected(const std::function<bool(const Row&)>& keep,
                                               const std::string& previous_snitt = "0") {
    int32_t count = 0, sum = 0;
    for (const Row& r : rows_) {
      if (!keep(r)) continue;
      ++count;
      sum += Score(r.mengde);
    }
    if (count == 0) return {"0", previous_snitt};
    return {std::to_string(count), SnittText(sum / count)};
  }
  std::pair<std::string, std::string> Shown() { return {reg.AntallText(), reg.GradText()}; }

  testsupport::TempDir dir;
  std::vector<Row> rows_;
  SnyltdyrRegister reg;
};

const std::vector<Row> kRows = {
    {"15.06.2004", "K1", "2001", "3", "Haptor Mark", "M+", "Hud", "Formalin"},
    {"01.02.2003", "K2", "2002", "1", "Haptor Mark", "-", "Gjelle", ""},
    {"10.10.2005", "K1", "2004", "1", "Haptor Mark", "S", "Hud", ""},
    {"03.03.2003", "K3", "2002", "1", "Tricodina", "L", "Hud", "Formalin"},
    {"04.04.2006", "K2", "2003", "3", "Haptor Mark", "L+", "Gjelle", "Formalin"},
    {"05.05.2001", "K9", "2000", "1", "haptor mark", "S", "Hud", ""},
    {"", "K4", "", "", "Costia", "", "", ""},
    {"06.06.2002", "K5", "2001", "1", "Tricodina", "-", "Hud", ""},
};

bool Haptor(const Row& r) { return r.snyltdyr == "Haptor Mark"; }
bool Found(const Row& r) { return r.mengde != "-"; }
bool Treated(const Row& r) { return !r.behandl.empty(); }

TEST_F(RegisterTable, ShowingCountsEveryRecordWithTheLastDateCurrent) {
  Make(kRows);
  Open();
  EXPECT_EQ(Shown(), Expected([](const Row&) { return true; }));
  EXPECT_EQ(reg.YearClass, -1);
  EXPECT_EQ(reg.SnyltdyrTable.IndexName(), "DATO");
  EXPECT_EQ(reg.SnyltdyrTableDATO.AsString(), "04.04.2006");
  EXPECT_TRUE(reg.SnyltdyrTable.AtEnd());
}

TEST_F(RegisterTable, KindButtonsFilterWithTheBoxesAndCount) {
  Make(kRows);
  Open();
  reg.SpeedButton4Click();
  EXPECT_EQ(reg.SnyltdyrTable.Filter(), "SNYLTDYR='Haptor Mark'");
  EXPECT_EQ(Shown(), Expected(Haptor));

  reg.Funn = true;
  reg.SpeedButton4Click();  // the down button again, now with "Funn"
  EXPECT_EQ(reg.SnyltdyrTable.Filter(), "SNYLTDYR='Haptor Mark' AND MENGDE<>'-'");
  EXPECT_EQ(Shown(), Expected([](const Row& r) { return Haptor(r) && Found(r); }));

  reg.Behandling = true;
  reg.BehandlingClick();
  reg.YearClassClick(3);
  EXPECT_EQ(reg.SnyltdyrTable.Filter(),
            "SNYLTDYR='Haptor Mark' AND MENGDE<>'-' AND BEHANDL<>'' AND \xC5RSKLAS=3");
  EXPECT_EQ(Shown(), Expected([](const Row& r) {
              return Haptor(r) && Found(r) && Treated(r) && r.arsklas == "3";
            }));
}

TEST_F(RegisterTable, HaptorThenAlleThenYearClassOneBringsTheKindBack) {
  Make(kRows);
  Open();
  reg.SpeedButton4Click();
  reg.SpeedButton3Click();
  EXPECT_FALSE(reg.SnyltdyrTable.Filtered());
  EXPECT_EQ(Shown(), Expected([](const Row&) { return true; }));
  reg.YearClassClick(1);
  EXPECT_TRUE(reg.SnyltdyrTable.Filtered());
  EXPECT_EQ(reg.SnyltdyrTable.Filter(), "SNYLTDYR='Haptor Mark' AND \xC5RSKLAS=1");
  EXPECT_EQ(Shown(), Expected([](const Row& r) { return Haptor(r) && r.arsklas == "1"; }));
}

TEST_F(RegisterTable, YearClassBeforeAnyKindSwitchesFilteringOffAndKeepsTheFigures) {
  Make(kRows);
  Open();
  const auto start = Shown();
  reg.Funn = true;
  reg.SpeedButton5Click();
  EXPECT_EQ(Shown(), Expected([](const Row& r) { return r.snyltdyr == "Tricodina" && Found(r); }));
  SnyltdyrRegister fresh;
  fresh.SnyltdyrTable.SetDatabaseName(dir.path());
  fresh.OpenTable();
  fresh.StartSelection();
  fresh.Funn = true;
  fresh.YearClassClick(2);
  EXPECT_FALSE(fresh.SnyltdyrTable.Filtered());
  EXPECT_EQ(fresh.AntallText(), start.first);
  EXPECT_EQ(fresh.GradText(), start.second);
}

TEST_F(RegisterTable, AlleWithBoxesAndAnEmptySelectionKeepingSnitt) {
  Make(kRows);
  Open();
  reg.Behandling = true;
  reg.BehandlingClick();
  EXPECT_TRUE(reg.Funn);
  reg.SpeedButton3Click();
  EXPECT_EQ(reg.SnyltdyrTable.Filter(), "MENGDE<>'-' AND BEHANDL<>''");
  const auto before = Shown();
  EXPECT_EQ(before, Expected([](const Row& r) { return Found(r) && Treated(r); }));
  reg.YearClassClick(5);  // brings no kind back (none chosen yet): filtering off
  reg.Funn = reg.Behandling = false;
  reg.SpeedButton3Click();
  EXPECT_EQ(reg.SnyltdyrTable.Filter(), "\xC5RSKLAS=5");
  EXPECT_EQ(reg.AntallText(), "0");
  EXPECT_EQ(reg.GradText(), before.second);
  EXPECT_EQ(reg.LastAverage(), 0);
}

TEST_F(RegisterTable, SortCreatesTheTagOnceAndSwitchesToItAfterwards) {
  Make(kRows);
  Open();
  const int tags_before = reg.SnyltdyrTable.IndexDefs().Count();
  reg.SortByField("BYGG");
  EXPECT_EQ(reg.SnyltdyrTable.IndexName(), "BYGG");
  EXPECT_EQ(reg.SnyltdyrTable.IndexDefs().Count(), tags_before + 1);
  EXPECT_FALSE(reg.SnyltdyrTable.Exclusive());
  std::vector<std::string> order;
  for (reg.SnyltdyrTable.First(); !reg.SnyltdyrTable.AtEnd(); reg.SnyltdyrTable.Next()) {
    order.push_back(reg.SnyltdyrTableBYGG.AsString());
  }
  EXPECT_TRUE(std::is_sorted(order.begin(), order.end()));
  EXPECT_EQ(order.size(), kRows.size());

  reg.SortByField("DATO");
  EXPECT_EQ(reg.SnyltdyrTable.IndexName(), "DATO");
  reg.FormClose();

  SnyltdyrRegister later;  // a later run only switches
  later.SnyltdyrTable.SetDatabaseName(dir.path());
  later.FormShow();
  later.SortByField("BYGG");
  EXPECT_EQ(later.SnyltdyrTable.IndexName(), "BYGG");
  EXPECT_EQ(later.SnyltdyrTable.IndexDefs().Count(), tags_before + 1);
}

TEST_F(RegisterTable, SortByAFieldThatCannotBeIndexedReportsTheMissingIndex) {
  Make(kRows);
  Open();
  try {
    reg.SortByField("KOMENT");
    FAIL() << "no failure";
  } catch (const EDatabaseError& e) {
    // ... and why it could not be added.
    EXPECT_EQ(e.Message(),
              "SnyltdyrTable: Index does not exist. Index: KOMENT\nThe operation does not fit the "
              "field's type.\nThe field KOMENT cannot be indexed.");
  }
  EXPECT_TRUE(reg.SnyltdyrTable.Active());
  EXPECT_EQ(reg.SnyltdyrTable.IndexName(), "DATO");
}

TEST_F(RegisterTable, AnIndexThatCannotBeAddedWhileOthersHaveTheTableLeavesItOpenAndShared) {
  Make(kRows);
  Open();
  TTable other("Other");  // another user of the same table
  other.SetDatabaseName(dir.path());
  other.SetTableName(kObservationTableName);
  other.Open();
  // The exclusive opening fails: the table is opened again as it was, and the second
  // attempt to use the index says that it is missing and why it could not be added.
  try {
    reg.SortByField("BYGG");
    FAIL() << "no failure";
  } catch (const EDatabaseError& e) {
    const std::string missing = "SnyltdyrTable: Index does not exist. Index: BYGG\n";
    EXPECT_EQ(e.Message().substr(0, missing.size()), missing) << e.Message();
    EXPECT_EQ(e.Message().substr(missing.size()), reg.AddIndexFailure());
    EXPECT_FALSE(reg.AddIndexFailure().empty());
  }
  EXPECT_TRUE(reg.SnyltdyrTable.Active());
  EXPECT_FALSE(reg.SnyltdyrTable.Exclusive());
  EXPECT_EQ(reg.SnyltdyrTable.IndexName(), "DATO");
  reg.summer();  // the user carries on
  EXPECT_EQ(reg.AntallText(), std::to_string(kRows.size()));
  EXPECT_EQ(other.RecordTotal(), static_cast<int32_t>(kRows.size()));

  // Once the other user has gone, the same click adds the index.
  other.Close();
  reg.SortByField("BYGG");
  EXPECT_EQ(reg.SnyltdyrTable.IndexName(), "BYGG");
  EXPECT_FALSE(reg.SnyltdyrTable.Exclusive());
}

TEST_F(RegisterTable, AnIndexThatCannotBeMadeLeavesTheTableSharedForOthers) {
  Make(kRows);
  Open();
  EXPECT_THROW(reg.SortByField("KOMENT"), EDatabaseError);  // a memo cannot be indexed
  EXPECT_FALSE(reg.SnyltdyrTable.Exclusive());
  TTable other("Other");  // so another user can still open the table
  other.SetDatabaseName(dir.path());
  other.SetTableName(kObservationTableName);
  other.Open();
  EXPECT_EQ(other.RecordTotal(), static_cast<int32_t>(kRows.size()));
}

TEST_F(RegisterTable, FixFormattingWritesNormalisedRecordsThatAReopenSees) {
  Make({{"15.06.2004", "K1", "98", "", "h.mark", "m+", "H/G", "form"},
        {"", "K2", "", "", "t", "", "g", "f"}});
  Open();
  EXPECT_EQ(reg.BitBtn1Click().records, 2);
  EXPECT_TRUE(reg.SnyltdyrTable.AtEnd());
  EXPECT_FALSE(reg.SnyltdyrTable.ControlsSuspended());
  reg.FormClose();
  reg.FormShow();
  reg.SnyltdyrTable.First();
  // Without a date the record sorts first.
  EXPECT_EQ(reg.SnyltdyrTableSNYLTDYR.AsString(), "Tricodina");
  EXPECT_EQ(reg.SnyltdyrTableMENGDE.AsString(), "-");
  EXPECT_EQ(reg.SnyltdyrTableGENER.AsString(), "1900");
  EXPECT_EQ(reg.SnyltdyrTableRSKLAS.AsString(), "-1900");
  reg.SnyltdyrTable.Next();
  EXPECT_EQ(reg.SnyltdyrTableSNYLTDYR.AsString(), "Haptor Mark");
  EXPECT_EQ(reg.SnyltdyrTableORGAN.AsString(), "Gjelle");  // H/G, fixed twice
  EXPECT_EQ(reg.SnyltdyrTableBEHANDL.AsString(), "Formalin");
  EXPECT_EQ(reg.SnyltdyrTableRSKLAS.AsString(), "6");
}

TEST_F(RegisterTable, EveryPostIsNormalised) {
  Make({});
  Open();
  reg.SnyltdyrTable.Insert();
  reg.SnyltdyrTable.Post();
  EXPECT_EQ(reg.SnyltdyrTableMENGDE.AsString(), "-");
  EXPECT_EQ(reg.SnyltdyrTableGENER.AsString(), "1900");
  EXPECT_EQ(reg.SnyltdyrTableRSKLAS.AsString(), "-1900");
  EXPECT_EQ(reg.SnyltdyrTableBYGG.AsString(), "");
}

TEST_F(RegisterTable, ASecondFailedOpeningLeavesTheStateAsCreated) {
  reg.SnyltdyrTable.SetDatabaseName(dir.path());  // an empty folder
  EXPECT_THROW(reg.FormShow(), Exception);
  EXPECT_FALSE(reg.SnyltdyrTable.Active());
  EXPECT_EQ(reg.YearClass, 0);
  EXPECT_EQ(reg.AntallText(), "0");
  EXPECT_EQ(reg.GradText(), "0");
}

}  // namespace
}  // namespace snyltdyr
