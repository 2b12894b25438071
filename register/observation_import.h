// Observations from a spreadsheet: the rows of a CSV text appended to the register's
// table, each one as a post in the window would store it, all of them or none.
//
// Columns are matched by their header, without regard to case: a grid column's title as
// the companion's export writes it ("dato", "kar", ...) or a field name ("DATO", ...).
// A column the table does not have is an error that names it; a field without a column
// stays blank; a column without a title may only hold empty cells. Cells are read as a person types them in the grid: dates in the regional
// short-date format or as yyyy-mm-dd, numbers with a decimal comma or point. Every row is
// checked before anything is written: text outside code page 1252 or the table's own
// code page, text longer than its field, a value its field refuses. Then the normaliser
// runs on each record (the table's BeforePost) and the records go in, in one all-or-
// nothing append of the engine that keeps the index in step.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dataset/selection_pass.h"

namespace snyltdyr {

class SnyltdyrRegister;

// A cell that cannot be stored. Texts in code page 1252.
struct ImportProblem {
  int64_t line = 0;
  std::string column;  // the column's title as the file has it
  std::string value;
  std::string reason;
};

struct ImportReport {
  int64_t rows = 0;     // rows of the file (the header and empty lines not counted)
  int64_t written = 0;  // records appended: 0 or `rows`
  std::vector<ImportProblem> problems;
};

// Problems listed in a message, at most this many; then how many more.
inline constexpr size_t kListedProblems = 20;

// Imports `csv` (the file's bytes) into the register's open table; with `write` false it
// only checks. Raises EConvertError for a file that cannot be read as CSV or names an
// unknown column, and the table's errors when it cannot be written. Bad cells are not
// raised: they are in the report, and nothing is written.
ImportReport ImportObservations(SnyltdyrRegister& r, std::string_view csv, bool write,
                                const TPassProgress& progress = {});

// The message for a report with problems: how many, then each (line, column, value and
// reason), the first kListedProblems of them, then how many more.
std::string ImportProblemsText(const ImportReport& report);

}  // namespace snyltdyr
