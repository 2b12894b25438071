// The chart's figures (Antall and Snitt per month, year or tank) of a million-record
// selection against the count and grade of the same selection ("summer"), which walks the
// same records once; the target is at most twice its time. Then the companion's whole
// "chart --out" (opening, figures, picture) for the same table.
//
// Uses the large table of bench_register (scratch/bench_register, or the folder given as
// the first argument), made once and kept. Each row is the best of three runs. Prints the
// figures; asserts nothing.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>

#include "app/cli.h"
#include "bench/large_table.h"
#include "bench/timing.h"
#include "register/period_figures.h"
#include "register/snyltdyr_register.h"
#include "runtime/regional_settings.h"

namespace fs = std::filesystem;
using namespace snyltdyr;

namespace {

using bench::Best;
using bench::Seconds;

const char* PeriodName(TChartPeriod by) {
  return by == cpMonth ? "month" : (by == cpYear ? "year" : "kar");
}

// The chart by each period against summer on the register's current selection.
void CompareWithSummer(SnyltdyrRegister& r, const char* selection) {
  const double summer_s = Best([&] { r.summer(); });
  std::printf("\n%s: Antall %s, Snitt %s; summer %.3f s\n", selection, r.AntallText().c_str(),
              r.GradText().c_str(), summer_s);
  for (TChartPeriod by : {cpMonth, cpYear, cpTank}) {
    SelectionChart chart;
    const double chart_s = Best([&] { chart = FiguresByPeriod(r, by); });
    std::printf("  chart by %-5s %4zu periods, %8d records  %8.3f s   ratio to summer %5.2f\n",
                PeriodName(by), chart.periods.size(), chart.total, chart_s,
                summer_s > 0 ? chart_s / summer_s : 0.0);
  }
}

}  // namespace

int main(int argc, char** argv) {
  SetRegional(NorwegianSettings());
  const fs::path dir = fs::absolute(argc > 1 ? argv[1] : "scratch/bench_register");
  try {
    bench::EnsureLargeTable(dir, bench::LargeTableRecords());
    {
      SnyltdyrRegister r;
      r.SnyltdyrTable.SetDatabaseName(dir.string());
      r.OpenTable();
      r.YearClass = -1;  // every year class, as after the window is shown
      CompareWithSummer(r, "All records");
      r.Funn = true;
      r.SpeedButton4Click();
      CompareWithSummer(r, "Haptor Mark found");
    }
    const fs::path picture = fs::temp_directory_path() / "bench_chart.png";
    std::ostringstream out, err;
    int status = 0;
    const double cli_s = Seconds([&] {
      status = RunCli({"chart", dir.string(), "--out", picture.string()}, out, err);
    });
    if (status != 0) throw std::runtime_error("chart --out failed: " + err.str());
    std::printf("\nsnyltdyr-cli chart --out (open, figures by month, PNG)  %.3f s: %s", cli_s,
                out.str().c_str());
    fs::remove(picture);
  } catch (const snyltdyr::Exception& e) {
    std::fprintf(stderr, "bench_chart: %s\n", e.Message().c_str());
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_chart: %s\n", e.what());
    return 1;
  }
  return 0;
}
