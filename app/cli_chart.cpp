#include "app/cli_chart.h"

#include <optional>

#include "app/chart/chart_image.h"
#include "app/cli.h"
#include "register/period_figures.h"
#include "register/snyltdyr_register.h"
#include "runtime/cp1252.h"

namespace snyltdyr {
namespace {

struct ChartOptions {
  TChartPeriod by = cpMonth;
  std::string out;  // the picture's file; empty for none
  bool csv = false;
  std::vector<std::string> rest;  // the command, DIR and the selection
};

// Takes the chart's own options out of the command line; the rest is the selection's.
ChartOptions ReadChartOptions(const std::vector<std::string>& args) {
  ChartOptions o;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--csv") {
      o.csv = true;
      continue;
    }
    if (a != "--by" && a != "--out") {
      o.rest.push_back(a);
      continue;
    }
    if (i + 1 >= args.size()) throw CliUsageError("option " + a + " needs a value");
    const std::string& value = args[++i];
    if (a == "--out") {
      o.out = value;
    } else if (const std::optional<TChartPeriod> by = ChartPeriodNamed(value)) {
      o.by = *by;
    } else {
      throw CliUsageError("--by takes month, year or kar, not '" + value + "'");
    }
  }
  if (!o.csv && o.out.empty()) throw CliUsageError("chart needs --csv or --out FILE");
  if (!o.out.empty() && !IsChartImageName(o.out)) {
    throw CliUsageError("--out takes a file name ending in .png or .svg, not '" + o.out + "'");
  }
  return o;
}

void PrintCsv(const SelectionChart& chart, std::ostream& out) {
  std::string csv = "periode,antall,snitt\r\n";
  for (const PeriodFigures& p : chart.periods) {
    csv += CsvCell(p.period) + "," + std::to_string(p.count) + "," + CsvCell(p.Snitt()) + "\r\n";
  }
  out << Cp1252ToUtf8(csv);
}

}  // namespace

int Chart(const std::vector<std::string>& args, std::ostream& out, const CliSelectionOpener& open) {
  const ChartOptions o = ReadChartOptions(args);
  SnyltdyrRegister r;
  open(r, o.rest);
  ChartPicture picture;
  picture.chart = FiguresByPeriod(r, o.by);
  picture.title = ChartTitle(r.SnyltdyrTable.Filter(), r.SnyltdyrTable.Filtered());
  if (!o.out.empty()) SaveChartImage(o.out, picture);
  if (o.csv) {
    PrintCsv(picture.chart, out);
  } else {
    out << "Picture of " << picture.chart.periods.size() << " periods and "
        << picture.chart.total << " records written to " << o.out << '\n';
  }
  return 0;
}

}  // namespace snyltdyr
