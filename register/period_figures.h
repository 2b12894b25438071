// The selection's count and grade per period: Antall and Snitt of each month, year or
// tank (BYGG) of the current selection, worked out in one pass by the same scoring, the
// same wrapping 32-bit sum and the same integer average as the window's two boxes. So the
// periods' counts add up to "Antall", and each period's Snitt is what the window shows for
// that period's records alone.
//
// Periods come in order: months and years ascending, tanks by their text (digits compared
// as numbers, so "K2" comes before "K12"), then the records without a date ("uten dato")
// or without a tank ("uten kar"). Only periods holding records are listed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace snyltdyr {

class TDataSet;
class TField;
class SnyltdyrRegister;

enum TChartPeriod { cpMonth, cpYear, cpTank };

inline constexpr const char* kNoDatePeriod = "uten dato";
inline constexpr const char* kNoTankPeriod = "uten kar";

// "month", "year" and "kar" (the companion's words); none for any other text.
std::optional<TChartPeriod> ChartPeriodNamed(const std::string& name);

struct PeriodFigures {
  std::string period;  // "2004-06", "2004", the tank's text, or one of the two above
  int32_t count = 0;
  int32_t average = 0;  // the integer average score of the period's records
  // What the "Snitt" box would show for the period ("S 19").
  std::string Snitt() const;
};

struct SelectionChart {
  TChartPeriod by = cpMonth;
  int32_t total = 0;  // the selection's record count, as "Antall" counts it
  std::vector<PeriodFigures> periods;
};

// One pass over the selection of `table` (controls suspended, resumed also on failure);
// as with the count and grade, the last record of the selection is current afterwards.
SelectionChart FiguresByPeriod(TDataSet& table, const TField& dato, const TField& bygg,
                               const TField& mengde, TChartPeriod by);
// The same over the register's table and fields.
SelectionChart FiguresByPeriod(SnyltdyrRegister& reg, TChartPeriod by);

// Orders tank texts as a person reads them: runs of digits by their value, the rest
// without regard to case; -1, 0 or 1.
int CompareTankText(const std::string& a, const std::string& b);

}  // namespace snyltdyr
