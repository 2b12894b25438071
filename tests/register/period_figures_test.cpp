// The count and grade per period on real tables: every selection the buttons and boxes
// can make, checked against a plain walk of the same selection grouped by the test.
#include "register/period_figures.h"

#include <gtest/gtest.h>

#include <array>
#include <map>

#include "register/sample_observations.h"
#include "register/snyltdyr_register.h"
#include "runtime/regional_settings.h"
#include "support/temp_dir.h"

namespace snyltdyr {
namespace {

// Score of an amount code, written out independently of the register.
int32_t Score(const std::string& m) {
  int32_t s = 0;
  for (auto [c, v] : {std::pair{'S', 20}, {'M', 50}, {'L', 80}, {'+', 10}, {'-', -10}}) {
    if (m.find(c) != std::string::npos) s += v;
  }
  return s;
}

struct Expected {
  int32_t count = 0, sum = 0;
};

// The period of the current record from the texts the grid shows (dd.MM.yyyy).
std::string PeriodOf(SnyltdyrRegister& r, TChartPeriod by) {
  if (by == cpTank) {
    const std::string tank = r.SnyltdyrTableBYGG.AsString();
    return tank.empty() ? kNoTankPeriod : tank;
  }
  const std::string date = r.SnyltdyrTableDATO.AsString();
  if (date.empty()) return kNoDatePeriod;
  return by == cpYear ? date.substr(6, 4) : date.substr(6, 4) + "-" + date.substr(3, 2);
}

// Walks the selection record by record, as a person scrolling the grid would.
std::map<std::string, Expected> PlainWalk(SnyltdyrRegister& r, TChartPeriod by) {
  std::map<std::string, Expected> periods;
  TTable& t = r.SnyltdyrTable;
  for (t.First(); !t.AtEnd(); t.Next()) {
    Expected& e = periods[PeriodOf(r, by)];
    ++e.count;
    e.sum += Score(r.SnyltdyrTableMENGDE.AsString());
  }
  return periods;
}

void ExpectAgrees(SnyltdyrRegister& r, TChartPeriod by, const std::string& selection) {
  SCOPED_TRACE(selection + " by " + std::to_string(by));
  const SelectionChart chart = FiguresByPeriod(r, by);
  const std::map<std::string, Expected> expected = PlainWalk(r, by);
  ASSERT_EQ(chart.periods.size(), expected.size());
  int32_t added = 0;
  for (const PeriodFigures& p : chart.periods) {
    ASSERT_EQ(expected.count(p.period), 1u) << p.period;
    const Expected& e = expected.at(p.period);
    EXPECT_EQ(p.count, e.count) << p.period;
    EXPECT_EQ(p.Snitt(), SnittText(e.sum / e.count)) << p.period;
    added += p.count;
  }
  // The counts add up to what the "Antall" box shows for the same selection.
  r.summer();
  EXPECT_EQ(std::to_string(added), r.AntallText());
  EXPECT_EQ(chart.total, added);
  // Dates ascending (their texts sort as the dates do), the records without one last.
  for (size_t i = 1; by != cpTank && i < chart.periods.size(); ++i) {
    if (chart.periods[i].period == kNoDatePeriod) {
      EXPECT_EQ(i + 1, chart.periods.size());
    } else {
      EXPECT_LT(chart.periods[i - 1].period, chart.periods[i].period);
    }
  }
}

class PeriodFiguresTest : public ::testing::Test {
 protected:
  void SetUp() override { SetRegional(NorwegianSettings()); }

  void Open() {
    reg.SnyltdyrTable.SetDatabaseName(dir.path());
    reg.OpenTable();
    reg.StartSelection();
  }

  // An empty sample table, then these rows: date (dd.MM.yyyy or empty), tank, amount.
  void Make(const std::vector<std::array<std::string, 3>>& rows) {
    CreateSampleTable(dir.path(), 0, 1);
    TTable raw("Raw");
    raw.SetDatabaseName(dir.path());
    raw.SetTableName(kObservationTableName);
    raw.Open();
    for (const auto& [dato, bygg, mengde] : rows) {
      raw.InsertAtEnd();
      if (!dato.empty()) raw.FieldByName("DATO").SetAsString(dato);
      raw.FieldByName("BYGG").SetAsString(bygg);
      raw.FieldByName("SNYLTDYR").SetAsString("Haptor Mark");
      raw.FieldByName("MENGDE").SetAsString(mengde);
      raw.Post();
    }
    raw.Close();
    Open();
  }

  testsupport::TempDir dir;
  SnyltdyrRegister reg;
};

TEST_F(PeriodFiguresTest, EverySelectionOfTheButtonsAgreesWithAPlainWalk) {
  CreateSampleTable(dir.path(), 700, 5);
  for (const char* kind : {"", "alle", "haptor", "tricodina"}) {
    for (int boxes = 0; boxes < 4; ++boxes) {
      for (int year_class = -2; year_class <= 5; ++year_class) {  // -2: no year-class click
        SnyltdyrRegister r;
        r.SnyltdyrTable.SetDatabaseName(dir.path());
        r.OpenTable();
        r.StartSelection();
        r.Funn = (boxes & 1) != 0;
        r.Behandling = (boxes & 2) != 0;
        r.BehandlingClick();
        if (year_class > -2) r.YearClassClick(year_class);
        if (std::string(kind) == "alle") r.SpeedButton3Click();
        if (std::string(kind) == "haptor") r.SpeedButton4Click();
        if (std::string(kind) == "tricodina") r.SpeedButton5Click();
        const std::string selection = std::string(kind) + " boxes " + std::to_string(boxes) +
                                      " year class " + std::to_string(year_class);
        for (TChartPeriod by : {cpMonth, cpYear, cpTank}) ExpectAgrees(r, by, selection);
        if (::testing::Test::HasFailure()) return;  // one failing selection tells enough
      }
    }
  }
}

TEST_F(PeriodFiguresTest, ATableWithoutDatesIsOnePeriodWithTheWindowsFigures) {
  Make({{"", "K1", "S"}, {"", "K2", "M-"}, {"", "K1", "S"}});
  const SelectionChart chart = FiguresByPeriod(reg, cpMonth);
  ASSERT_EQ(chart.periods.size(), 1u);
  EXPECT_EQ(chart.periods[0].period, "uten dato");
  EXPECT_EQ(chart.periods[0].count, 3);
  EXPECT_EQ(chart.periods[0].Snitt(), "S+ 26");  // 70 / 3, truncated
  EXPECT_EQ(chart.periods[0].Snitt(), reg.GradText());

  const SelectionChart tanks = FiguresByPeriod(reg, cpTank);
  ASSERT_EQ(tanks.periods.size(), 2u);
  EXPECT_EQ(tanks.periods[0].period, "K1");
  EXPECT_EQ(tanks.periods[0].Snitt(), "S 20");
  EXPECT_EQ(tanks.periods[1].Snitt(), "M- 40");
}

TEST_F(PeriodFiguresTest, MonthsYearsAndTanksInReadingOrder) {
  Make({{"15.06.2004", "K12", "L"},
        {"", "", "-"},
        {"01.06.2004", "K2", "S"},
        {"31.12.2003", "k2", "M"},
        {"01.01.2004", "", "-"},
        {"28.02.0999", "K2", "-"}});
  auto periods = [&](TChartPeriod by) {
    std::vector<std::string> out;
    for (const PeriodFigures& p : FiguresByPeriod(reg, by).periods) {
      out.push_back(p.period + "=" + std::to_string(p.count) + "/" + p.Snitt());
    }
    return out;
  };
  EXPECT_EQ(periods(cpMonth), (std::vector<std::string>{"0999-02=1/ -10", "2003-12=1/M 50",
                                                        "2004-01=1/ -10", "2004-06=2/M 50",
                                                        "uten dato=1/ -10"}));
  EXPECT_EQ(periods(cpYear), (std::vector<std::string>{"0999=1/ -10", "2003=1/M 50",
                                                       "2004=3/S+ 30", "uten dato=1/ -10"}));
  EXPECT_EQ(periods(cpTank), (std::vector<std::string>{"K2=2/S- 5", "k2=1/M 50", "K12=1/L 80",
                                                       "uten kar=2/ -10"}));
}

TEST_F(PeriodFiguresTest, AnEmptySelectionHasNoPeriodsAndLeavesTheTableUsable) {
  Make({{"15.06.2004", "K1", "-"}});
  reg.Funn = true;
  reg.SpeedButton4Click();  // found Haptor Mark: the one record found nothing
  const SelectionChart chart = FiguresByPeriod(reg, cpMonth);
  EXPECT_TRUE(chart.periods.empty());
  EXPECT_EQ(chart.total, 0);
  EXPECT_FALSE(reg.SnyltdyrTable.ControlsSuspended());
  reg.Funn = false;
  reg.SpeedButton3Click();
  EXPECT_EQ(FiguresByPeriod(reg, cpYear).total, 1);
}

TEST(ChartPeriodNamed, TheCompanionsWords) {
  EXPECT_EQ(ChartPeriodNamed("month"), cpMonth);
  EXPECT_EQ(ChartPeriodNamed("year"), cpYear);
  EXPECT_EQ(ChartPeriodNamed("kar"), cpTank);
  EXPECT_EQ(ChartPeriodNamed("Month"), std::nullopt);
  EXPECT_EQ(ChartPeriodNamed(""), std::nullopt);
}

TEST(CompareTankText, DigitsByValueLettersWithoutCase) {
  const std::vector<std::string> ordered = {"K1",    "K2",    "k2",     "K007", "K12",
                                            "K100",  "Kar 3", "kar 12", "S\xF8r 1",
                                            "\xD8st 1"};  // Ø after S, as in the alphabet
  for (size_t i = 0; i < ordered.size(); ++i) {
    for (size_t j = 0; j < ordered.size(); ++j) {
      const int expected = i < j ? -1 : (i > j ? 1 : 0);
      EXPECT_EQ(CompareTankText(ordered[i], ordered[j]), expected) << ordered[i] << " " << ordered[j];
    }
  }
}

}  // namespace
}  // namespace snyltdyr
