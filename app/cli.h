// The command-line companion of the register: the same table, normaliser, filters and
// count and grade as the window, driven by arguments instead of clicks.
//
//   create-sample DIR [--records N] [--seed S]
//   stats  DIR [--kind alle|haptor|tricodina] [--funn] [--behandling] [--year-class alle|0..5]
//   fix    DIR [selection]
//   export DIR [selection] [--index NAME]
//   sort   DIR FIELD
//   add-index DIR NAME [FIELDS]
//   reindex DIR
//   filter-tree TEXT
//   chart  DIR [selection] [--by month|year|kar] [--out FILE.png|FILE.svg] [--csv]
//
// A selection is made the way the window makes it: the boxes are ticked, then the
// year-class button and then the kind button are clicked. Output is UTF-8. A failure
// prints the message the window's error box would show to `err` and gives a non-zero
// status (1 for a failure, 2 for a wrong command line). The long passes (fix, export,
// add-index, reindex) draw a progress line on `err` when `show_progress` (the program
// passes whether standard error is a terminal).
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "runtime/exception.h"  // ErrorBoxText

namespace snyltdyr {

// A wrong command line: the usage goes with the message, and the status is 2.
class CliUsageError : public Exception {
 public:
  using Exception::Exception;
};

// A cell of the CSV the companion writes: quoted when it holds a comma, a quote or a line
// break, its quotes doubled.
std::string CsvCell(const std::string& text);

// `args` are the arguments after the program name.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           bool show_progress = false);

}  // namespace snyltdyr
