// Observations imported from spreadsheet files into real tables: what lands in the files
// as the independent reader sees it, the index as the checker sees it, and every kind of
// bad cell refused with nothing changed.
#include "register/observation_import.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "register/sample_observations.h"
#include "register/snyltdyr_register.h"
#include "runtime/exception.h"
#include "runtime/regional_settings.h"
#include "storage/session.h"
#include "support/table_files.h"
#include "support/temp_dir.h"

namespace snyltdyr {
namespace {

namespace fs = std::filesystem;

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Every file of the table, by name.
std::map<std::string, std::string> TableFiles(const std::string& dir) {
  std::map<std::string, std::string> files;
  for (const char* name : {"SNYLTDYR.DBF", "SNYLTDYR.DBT", "SNYLTDYR.MDX"})
    files[name] = Slurp(dir + "/" + name);
  return files;
}

class ObservationImport : public ::testing::Test {
 protected:
  static constexpr int64_t kRecords = 60;

  void SetUp() override {
    SetRegional(NorwegianSettings());
    CreateSampleTable(dir.path(), kRecords, 21);
  }
  void TearDown() override { StopDefaultSession(); }

  ImportReport Import(const std::string& csv, bool write = true) {
    SnyltdyrRegister r;
    r.SnyltdyrTable.SetDatabaseName(dir.path());
    r.OpenHere();
    return ImportObservations(r, csv, write);
  }

  std::string ErrorOf(const std::string& csv) {
    try {
      Import(csv);
    } catch (const Exception& e) {
      return e.Message();
    }
    return "no error";
  }

  testsupport::TempDir dir;
};

TEST_F(ObservationImport, ASpreadsheetFileIsNormalisedAppendedAndIndexedLeavingTheRecordsThere) {
  if (!testsupport::PythonAvailable()) GTEST_SKIP() << "no " << SNYLTDYR_PYTHON;
  const auto before = testsupport::DbfreadRows(dir.path());
  // Code page 1252 as a spreadsheet saves it: semicolons, decimal commas, a quoted
  // comment of two lines, field names and titles in any case.
  const std::string csv =
      "Dato;KAR;generasjon;snyltdyr;mengde;organ;behandling;KOMENT;pr\xF8vemetode;tall;gruppe\r\n"
      "14.03.2021;K1;19;h.mark;s+;g;form;\"F\xF8rste linje\r\nandre; linje\";Skrap;12,5;3\r\n"
      "2021-03-15;Kar 3;2019;t;;h/g;;;;3.25;\r\n"
      ";S\xF8r 1;ukjent;neg.;m;lever;;;;;\r\n";
  const ImportReport report = Import(csv);
  EXPECT_TRUE(report.problems.empty()) << ImportProblemsText(report);
  EXPECT_EQ(report.rows, 3);
  EXPECT_EQ(report.written, 3);

  const auto rows = testsupport::DbfreadRows(dir.path());
  ASSERT_EQ(rows.size(), before.size() + 3);
  for (size_t i = 0; i < before.size(); ++i) EXPECT_EQ(rows[i], before[i]) << "record " << i + 1;
  const testsupport::DbfRow first = rows[kRecords], second = rows[kRecords + 1], third = rows[kRecords + 2];
  EXPECT_EQ(first.at("DATO"), "2021-03-14");
  EXPECT_EQ(first.at("BYGG"), "K1");
  EXPECT_EQ(first.at("GENER"), "1919");
  EXPECT_EQ(first.at("\xC3\x85RSKLAS"), "102");
  EXPECT_EQ(first.at("SNYLTDYR"), "Haptor Mark");
  EXPECT_EQ(first.at("MENGDE"), "S+");
  EXPECT_EQ(first.at("ORGAN"), "Gjelle");
  EXPECT_EQ(first.at("BEHANDL"), "Formalin");
  EXPECT_EQ(first.at("KOMENT"), "F\xC3\xB8rste linje\\nandre; linje");
  EXPECT_EQ(first.at("METODE"), "Skrap");
  EXPECT_EQ(first.at("TALL"), "12.5");
  EXPECT_EQ(first.at("GRUPPE"), "3");
  EXPECT_EQ(second.at("DATO"), "2021-03-15");
  EXPECT_EQ(second.at("\xC3\x85RSKLAS"), "2");
  EXPECT_EQ(second.at("SNYLTDYR"), "Tricodina");
  EXPECT_EQ(second.at("MENGDE"), "-");
  EXPECT_EQ(second.at("ORGAN"), "Hud/Gjelle");
  EXPECT_EQ(second.at("TALL"), "3.25");
  EXPECT_EQ(second.at("KOMENT"), "");
  EXPECT_EQ(third.at("DATO"), "");
  EXPECT_EQ(third.at("BYGG"), "S\xC3\xB8r 1");
  EXPECT_EQ(third.at("GENER"), "1900");
  EXPECT_EQ(third.at("SNYLTDYR"), "Negativ");
  EXPECT_EQ(third.at("ORGAN"), "Lever");
  EXPECT_EQ(testsupport::IndexProblems(dir.path()), "");

  // The date order holds the new records where their dates put them.
  SnyltdyrRegister r;
  r.SnyltdyrTable.SetDatabaseName(dir.path());
  r.OpenHere();
  int32_t walked = 0;
  for (r.SnyltdyrTable.First(); !r.SnyltdyrTable.AtEnd(); r.SnyltdyrTable.Next()) ++walked;
  EXPECT_EQ(walked, kRecords + 3);
}

TEST_F(ObservationImport, EveryBadCellIsListedByLineColumnValueAndReasonAndNothingIsWritten) {
  const auto files = TableFiles(dir.path());
  const std::string csv =
      "dato,kar,tall,snyltdyr,gruppe\n"
      "31.02.2021,K1,1,t,1\n"                      // line 2: no such day
      "01.03.2021,K1234567890,1,t,1\n"             // line 3: longer than BYGG's 9
      "01.03.2021,K1,123456789012,t,1\n"           // line 4: wider than TALL (10,2)
      "01.03.2021,K1,abc,t,1\n"                    // line 5: not a number
      "01.03.2021,K1,1,\xE2\x82\xAC,1\n"           // line 6: the euro sign, not in code page 865
      "01.03.2021,K1,1,\xC5\x91,1\n"               // line 7: not in code page 1252
      "2021-02-30,K1,1,t,1\n"                      // line 8: no such day
      "\"01.03.2021\",\"K2\",\"2,5\",h,\"12345\"\n"  // line 9: wider than GRUPPE (4)
      "01.03.2021,K1,1,t,1\n";                     // good
  const ImportReport report = Import(csv);
  EXPECT_EQ(report.written, 0);
  ASSERT_EQ(report.problems.size(), 8u) << ImportProblemsText(report);
  const std::vector<std::pair<int64_t, std::string>> where = {
      {2, "dato"}, {3, "kar"}, {4, "tall"}, {5, "tall"}, {6, "snyltdyr"}, {7, "snyltdyr"}, {8, "dato"}, {9, "gruppe"}};
  for (size_t i = 0; i < where.size(); ++i) {
    EXPECT_EQ(report.problems[i].line, where[i].first) << i;
    EXPECT_EQ(report.problems[i].column, where[i].second) << i;
    EXPECT_FALSE(report.problems[i].reason.empty()) << i;
  }
  EXPECT_EQ(report.problems[1].reason, "longer than the field's 9 characters");
  EXPECT_EQ(report.problems[4].reason, "the character \"\x80\" cannot be stored in the table's code page 865");
  EXPECT_EQ(report.problems[5].reason, "the character U+0151 cannot be stored (it is not in code page 1252)");
  EXPECT_EQ(report.problems[6].reason, "'2021-02-30' is not a valid date");
  const std::string text = ImportProblemsText(report);
  EXPECT_EQ(text.substr(0, text.find('\n')), "Nothing was imported: 8 values cannot be stored.");
  EXPECT_NE(text.find("\nline 2, column \"dato\", value \"31.02.2021\": "), std::string::npos) << text;
  EXPECT_NE(text.find("\nline 4, column \"tall\", value \"123456789012\": "), std::string::npos) << text;
  EXPECT_EQ(TableFiles(dir.path()), files);
}

TEST_F(ObservationImport, AColumnWithoutATitleMayOnlyHoldEmptyCells) {
  const ImportReport fine = Import("dato;;kar\n01.01.2020;;K1\n", false);
  EXPECT_TRUE(fine.problems.empty()) << ImportProblemsText(fine);
  const ImportReport stray = Import("dato;;kar\n01.01.2020;x;K1\n", false);
  ASSERT_EQ(stray.problems.size(), 1u);
  EXPECT_EQ(stray.problems[0].reason, "a value in a column without a title");
}

TEST_F(ObservationImport, ALongListNamesTheFirstTwentyAndCountsTheRest) {
  std::string csv = "dato\n";
  for (int i = 0; i < 25; ++i) csv += "32.01.2021\n";
  const ImportReport report = Import(csv);
  ASSERT_EQ(report.problems.size(), 25u);
  const std::string text = ImportProblemsText(report);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 21) << text;
  EXPECT_NE(text.find("\nline 21, column"), std::string::npos);
  EXPECT_EQ(text.find("\nline 22, column"), std::string::npos);
  EXPECT_EQ(text.substr(text.rfind('\n')), "\n... and 5 more");
}

TEST_F(ObservationImport, AnUnknownColumnOrABrokenFileIsRefusedBeforeAnythingIsWritten) {
  const auto files = TableFiles(dir.path());
  EXPECT_EQ(ErrorOf("dato;kar;farge\n01.01.2020;K1;bl\xC3\xA5\n"),
            "The table has no column \"farge\" (column 3 of the header line)");
  EXPECT_EQ(ErrorOf("dato;DATO\n01.01.2020;01.01.2020\n"),
            "Columns 1 and 2 of the header line both name the field DATO");
  EXPECT_EQ(ErrorOf("dato;KOMENT\n01.01.2020;\"not closed\n"),
            "line 2, character 12: the quote that starts a cell here is never closed");
  EXPECT_EQ(TableFiles(dir.path()), files);
}

TEST_F(ObservationImport, ADryRunChecksEveryRowAndWritesNothing) {
  const auto files = TableFiles(dir.path());
  EXPECT_EQ(Import("dato;kar\n01.01.2020;K1\n02.01.2020;K2\n", false).problems.size(), 0u);
  EXPECT_EQ(Import("dato;kar\n01.13.2020;K1\n", false).problems.size(), 1u);
  EXPECT_EQ(TableFiles(dir.path()), files);
}

}  // namespace
}  // namespace snyltdyr
