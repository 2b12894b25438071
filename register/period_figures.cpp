#include "register/period_figures.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "dataset/data_set.h"
#include "dataset/fields/field.h"
#include "dataset/try_finally.h"
#include "register/severity.h"
#include "register/snyltdyr_register.h"
#include "runtime/cp1252.h"
#include "runtime/date_time.h"

namespace snyltdyr {
namespace {

// A period's records so far: the sum wraps as the window's does.
struct Tally {
  int32_t count = 0;
  uint32_t sum = 0;
};

PeriodFigures Figures(std::string period, const Tally& tally) {
  // A period holds at least one record, so the average always exists.
  return {std::move(period), tally.count, AverageScore(tally.sum, tally.count).value_or(0)};
}

std::string DatePeriodText(int32_t key, TChartPeriod by) {
  char text[16];
  if (by == cpYear) {
    std::snprintf(text, sizeof text, "%04d", key);
  } else {
    std::snprintf(text, sizeof text, "%04d-%02d", key / 100, key % 100);
  }
  return text;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Compares the digit runs starting at `a` and `b` by value and moves both past them.
int CompareNumberRuns(std::string_view& a, std::string_view& b) {
  auto take = [](std::string_view& s) {
    size_t n = 0;
    while (n < s.size() && IsDigit(s[n])) ++n;
    std::string_view run = s.substr(0, n);
    s.remove_prefix(n);
    while (run.size() > 1 && run.front() == '0') run.remove_prefix(1);
    return run;
  };
  const std::string_view x = take(a), y = take(b);
  if (x.size() != y.size()) return x.size() < y.size() ? -1 : 1;
  const int c = x.compare(y);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

}  // namespace

std::optional<TChartPeriod> ChartPeriodNamed(const std::string& name) {
  if (name == "month") return cpMonth;
  if (name == "year") return cpYear;
  if (name == "kar") return cpTank;
  return std::nullopt;
}

std::string PeriodFigures::Snitt() const { return SnittText(average); }

int CompareTankText(const std::string& a, const std::string& b) {
  std::string_view x = a, y = b;
  while (!x.empty() && !y.empty()) {
    if (IsDigit(x.front()) && IsDigit(y.front())) {
      if (const int c = CompareNumberRuns(x, y)) return c;
      continue;
    }
    const auto cx = static_cast<unsigned char>(UpperChar1252(x.front()));
    const auto cy = static_cast<unsigned char>(UpperChar1252(y.front()));
    if (cx != cy) return cx < cy ? -1 : 1;
    x.remove_prefix(1);
    y.remove_prefix(1);
  }
  if (x.size() != y.size()) return x.empty() ? -1 : 1;
  // Texts that read alike ("kar 3", "Kar 03") are still different tanks: a fixed order.
  const int c = a.compare(b);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

SelectionChart FiguresByPeriod(TDataSet& table, const TField& dato, const TField& bygg,
                               const TField& mengde, TChartPeriod by) {
  std::map<int32_t, Tally> dated;  // year * 100 + month, or the year
  std::map<std::string, Tally> tanks;
  Tally without;  // no date, or no tank
  // Records often come in runs of one date: the last date's tally is kept at hand.
  int32_t last_day = 0;
  Tally* last_tally = nullptr;
  auto tally_of_date = [&]() -> Tally& {
    int32_t day = 0;  // the stored day number: one read of the field, no conversion
    if (!dato.ReadValue(&day)) return without;
    if (last_tally == nullptr || day != last_day) {
      int year = 0, month = 0, day_of_month = 0;
      DecodeDate(DayNumberToDate(day), year, month, day_of_month);
      last_day = day;
      last_tally = &dated[by == cpYear ? year : year * 100 + month];
    }
    return *last_tally;
  };
  auto tally_of_tank = [&]() -> Tally& {
    std::string tank = bygg.AsString();
    return tank.empty() ? without : tanks[std::move(tank)];
  };

  SelectionChart chart;
  chart.by = by;
  table.SuspendControls();
  TryFinally(
      [&] {
        chart.total = table.VisitSelection([&] {
          Tally& tally = by == cpTank ? tally_of_tank() : tally_of_date();
          ++tally.count;
          tally.sum += static_cast<uint32_t>(AmountScore(mengde.AsString()));
        });
      },
      [&] { table.ResumeControls(); });

  for (const auto& [key, tally] : dated) chart.periods.push_back(Figures(DatePeriodText(key, by), tally));
  for (const auto& [tank, tally] : tanks) chart.periods.push_back(Figures(tank, tally));
  if (by == cpTank) {
    std::sort(chart.periods.begin(), chart.periods.end(),
              [](const PeriodFigures& a, const PeriodFigures& b) {
                return CompareTankText(a.period, b.period) < 0;
              });
  }
  if (without.count > 0) {
    chart.periods.push_back(Figures(by == cpTank ? kNoTankPeriod : kNoDatePeriod, without));
  }
  return chart;
}

SelectionChart FiguresByPeriod(SnyltdyrRegister& reg, TChartPeriod by) {
  return FiguresByPeriod(reg.SnyltdyrTable, reg.SnyltdyrTableDATO, reg.SnyltdyrTableBYGG,
                         reg.SnyltdyrTableMENGDE, by);
}

}  // namespace snyltdyr
