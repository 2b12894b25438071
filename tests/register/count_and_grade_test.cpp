#include "register/severity.h"

#include <gtest/gtest.h>

#include "observation_memory.h"
#include "dataset/links/data_source.h"
#include "support/event_recorder.h"

namespace snyltdyr {
namespace {

using testing::ObservationMemoryTable;

TEST(AmountScore, CommonCodesLandInTheBandOfTheirName) {
  const std::pair<const char*, const char*> codes[] = {
      {"S-", "S-"}, {"S", "S"}, {"S+", "S+"}, {"M-", "M-"}, {"M", "M"},
      {"M+", "M+"}, {"L-", "L-"}, {"L", "L"}, {"L+", "L+"}};
  for (const auto& [code, grade] : codes) {
    EXPECT_EQ(GradeText(AmountScore(code)), grade) << code;
  }
  EXPECT_EQ(AmountScore("S"), 20);
  EXPECT_EQ(AmountScore("L+"), 90);
  EXPECT_EQ(AmountScore("-"), -10);
  EXPECT_EQ(AmountScore(""), 0);
  EXPECT_EQ(AmountScore("SML+"), 160);
  EXPECT_EQ(AmountScore("m+"), 10);   // lower case counts nothing
  EXPECT_EQ(AmountScore("SS++"), 30);  // each character once
  EXPECT_EQ(AmountScore("S+-"), 20);
}

TEST(GradeText, BandsCoverZeroToHundredWithoutGaps) {
  const std::pair<int32_t, const char*> edges[] = {
      {-1, ""},    {0, "S-"},  {14, "S-"}, {15, "S"},  {24, "S"},   {25, "S+"},
      {34, "S+"},  {35, "M-"}, {44, "M-"}, {45, "M"},  {54, "M"},   {55, "M+"},
      {64, "M+"},  {65, "L-"}, {74, "L-"}, {75, "L"},  {84, "L"},   {85, "L+"},
      {100, "L+"}, {101, ""},  {INT32_MIN, ""}, {INT32_MAX, ""}};
  for (const auto& [average, grade] : edges) EXPECT_EQ(GradeText(average), grade) << average;
  EXPECT_EQ(SnittText(38), "M- 38");
  EXPECT_EQ(SnittText(100), "L+ 100");
  EXPECT_EQ(SnittText(-10), " -10");
  EXPECT_EQ(SnittText(120), " 120");
}

// A table whose engine cannot count.
class UncountedTable : public testing::TMemoryDataSet {
 public:
  int32_t RecordTotal() override { return -1; }
};

class CountAndGradeTest : public ::testing::Test {
 protected:
  SelectionFigures Run(std::initializer_list<const char*> amounts) {
    for (const char* amount : amounts) t.Add({"2004-06-15", "", "", amount, "", ""});
    if (!t.table.Active()) t.table.Open();
    CountAndGrade(t.table, t.mengde, figures);
    return figures;
  }
  ObservationMemoryTable t;
  SelectionFigures figures;
};

TEST_F(CountAndGradeTest, WorkedExamples) {
  EXPECT_EQ(Run({"M+"}).grad, "M+ 60");
  EXPECT_EQ(figures.antall, "1");
  EXPECT_EQ(figures.last_average, 60);
}

TEST_F(CountAndGradeTest, AverageTruncatesTowardZero) {
  EXPECT_EQ(Run({"S", "S", "M-"}).grad, "S+ 26");
  EXPECT_EQ(figures.antall, "3");
}

TEST_F(CountAndGradeTest, NegativeAveragesTruncateTowardZeroAndShowNoGrade) {
  // -10 - 10 + 0 = -20 over 3 records: -6 (not -7).
  EXPECT_EQ(Run({"-", "-", ""}).grad, " -6");
  EXPECT_EQ(figures.last_average, -6);
}

TEST_F(CountAndGradeTest, UnusualAndLowerCaseCodes) {
  EXPECT_EQ(Run({"SML+"}).grad, " 160");
  ObservationMemoryTable other;
  other.Add({"", "", "", "m+", "", ""});
  other.table.Open();
  SelectionFigures f;
  CountAndGrade(other.table, other.mengde, f);
  EXPECT_EQ(f.grad, "S- 10");
}

TEST_F(CountAndGradeTest, AnEmptySelectionKeepsSnittAndResetsTheAverage) {
  Run({"S", "L"});
  EXPECT_EQ(figures.grad, "M 50");
  t.table.Close();
  t.table.rows.clear();
  t.table.Open();
  CountAndGrade(t.table, t.mengde, figures);
  EXPECT_EQ(figures.antall, "0");
  EXPECT_EQ(figures.grad, "M 50");
  EXPECT_EQ(figures.last_average, 0);
  EXPECT_FALSE(t.table.ControlsSuspended());
}

TEST_F(CountAndGradeTest, TheLastRecordIsCurrentAndControlsHearOnce) {
  Run({"S", "M", "L"});
  t.table.First();
  EXPECT_FALSE(t.table.AtEnd());
  TDataSource source;
  source.SetDataSet(&t.table);
  std::vector<std::string> log;
  testing::RecordingLink link(log);
  link.log_callbacks = false;
  link.SetDataSource(&source);
  log.clear();
  CountAndGrade(t.table, t.mengde, figures);
  EXPECT_TRUE(t.table.AtEnd());
  EXPECT_EQ(t.mengde.AsString(), "L");
  // The walk itself is not followed: one notice when the controls resume.
  EXPECT_EQ(log, std::vector<std::string>{"ev:DataSetChanged"});
  link.SetDataSource(nullptr);
}

TEST(CountAndGrade, ACountOfMinusOneTurnsTheSign) {
  UncountedTable table;
  table.AddColumn("MENGDE", ftString, 9);
  table.AddRow({testing::Text("M")});
  TStringField mengde;
  mengde.SetFieldName("MENGDE");
  mengde.SetSize(9);
  mengde.SetDataSet(&table);
  table.Open();
  SelectionFigures f;
  CountAndGrade(table, mengde, f);
  EXPECT_EQ(f.antall, "-1");
  EXPECT_EQ(f.grad, " -50");
}

TEST(CountAndGrade, AClosedTableFailsWithControlsResumed) {
  ObservationMemoryTable t;
  SelectionFigures f;
  EXPECT_THROW(CountAndGrade(t.table, t.mengde, f), EDatabaseError);
  EXPECT_FALSE(t.table.ControlsSuspended());
  EXPECT_EQ(f.antall, "0");
  EXPECT_EQ(f.grad, "0");
}

}  // namespace
}  // namespace snyltdyr
