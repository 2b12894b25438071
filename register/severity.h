// The count and severity grade of the selection ("Antall" and "Snitt").
//
// Each record scores its amount code in MENGDE, exactly as stored: containing "S" adds
// 20, "M" 50, "L" 80, "+" 10 and "-" subtracts 10. Each test is a case-sensitive
// substring test, so a character counts once however often it occurs and lower-case
// letters count nothing. The average is the sum divided by the selection's record count
// (truncating toward zero); its grade band is the letter of the same name with "+" or
// "-", and averages outside 0..100 have no grade.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace snyltdyr {

class TDataSet;
class TField;

int32_t AmountScore(std::string_view mengde);
// The average of `count` scores summing to `sum` (a 32-bit total that wraps), truncated
// toward zero; none where the division fails (a count of 0, or the one quotient that
// does not fit in 32 bits).
std::optional<int32_t> AverageScore(uint32_t sum, int32_t count);
// "S-" for 0..14, "S" 15..24, ... "L" 75..84, "L+" 85..100; empty outside 0..100.
std::string GradeText(int32_t average);
// What the "Snitt" box shows: the grade text, one blank and the average ("M- 38",
// " -10" when there is no grade).
std::string SnittText(int32_t average);

// The two boxes and the last average, as the window shows and keeps them.
struct SelectionFigures {
  std::string antall = "0";
  std::string grad = "0";
  int32_t last_average = 0;
};

// Walks the whole selection with the controls' notifications suspended (resumed also on
// failure), writes the record count to `antall` and, when an average can be computed,
// the grade to `grad` and the average to `last_average`. On an empty selection (or a
// count that cannot divide) "Snitt" keeps its text and the last average is 0. A count
// that fails is passed on. Afterwards
// the last record of the selection is current and the table is at its end.
void CountAndGrade(TDataSet& table, const TField& mengde, SelectionFigures& figures);

}  // namespace snyltdyr
