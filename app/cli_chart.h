// The companion's "chart" command: the selection's Antall and Snitt per month, year or
// tank, as the table behind the window's picture (--csv) and as the picture itself
// (--out FILE.png|FILE.svg, painted offscreen at 900 x 520).
//
//   chart DIR [SELECTION] [--by month|year|kar] [--out FILE] [--csv]
//
// The CSV is UTF-8 with CRLF line ends like the export: "periode,antall,snitt", then one
// line per period in the picture's order ("uten dato" or "uten kar" last), snitt as the
// "Snitt" box shows it ("S 19").
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace snyltdyr {

class SnyltdyrRegister;

// Opens the table in DIR and makes the selection the options describe; gets the command
// line without the chart's own options.
using CliSelectionOpener =
    std::function<void(SnyltdyrRegister&, const std::vector<std::string>& args)>;

// `args` start with the command's name. A wrong command line raises CliUsageError before
// anything is opened.
int Chart(const std::vector<std::string>& args, std::ostream& out, const CliSelectionOpener& open);

}  // namespace snyltdyr
