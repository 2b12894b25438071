// Moving through a million observations in DATO order with the data grid attached
// (offscreen, painting every step), against the bare table in the same run.
//
// Each pass moves row by row from the same starting record over the same records: the
// bare table with Next, then the grid's window with Next on the table and with the Down
// key in the grid, then the bare table again (to see the drift of the machine); a pass
// with the grid's window hidden shows the grid's own work without painting. Every
// step at the grid's bottom row reads one record, rotates the window and shifts the
// grid's pixels by a row; the grid paints before the next step. Prints the figures;
// asserts nothing.
#include <stdlib.h>

#include <QApplication>
#include <QKeyEvent>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>

#include "bench/large_table.h"
#include "controls/grid/db_grid.h"
#include "register/snyltdyr_register.h"
#include "runtime/regional_settings.h"
#include "toolkit/events/application.h"
#include "toolkit/widgets/form.h"

using namespace snyltdyr;
namespace fs = std::filesystem;

namespace {

constexpr int kSteps = 20000;

double MicrosecondsPerStep(int steps, const std::function<void()>& step) {
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < steps; ++i) step();
  const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return s * 1e6 / steps;
}

// From a record deep in the table, so that every pass reads the same records.
void ToStart(TTable& table) {
  table.First();
  table.MoveRelative(100000 % std::max<int64_t>(1, bench::LargeTableRecords() / 2));
}

void Row(const char* what, double us, double bare) {
  std::printf("%-44s %8.2f us/row   ratio to bare %5.2f\n", what, us, bare > 0 ? us / bare : 0.0);
}

}  // namespace

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  TApplication app(argc, argv);
  SetRegional(NorwegianSettings());
  const fs::path dir = fs::absolute(argc > 1 ? argv[1] : "scratch/bench_register");
  try {
    bench::EnsureLargeTable(dir, bench::LargeTableRecords());
    SnyltdyrRegister reg;
    reg.SnyltdyrTable.SetDatabaseName(dir.string());
    reg.SnyltdyrTable.Open();
    TTable& table = reg.SnyltdyrTable;

    ToStart(table);  // warms the file cache over the records the passes read
    MicrosecondsPerStep(kSteps, [&] { table.Next(); });
    ToStart(table);
    const double bare = MicrosecondsPerStep(kSteps, [&] { table.Next(); });

    TForm form;
    form.resize(1200, 800);
    auto* grid = new TDBGrid(&form);
    grid->setGeometry(0, 0, 1200, 800);
    grid->Font() = TFont("Arial", -13, clBlack);
    grid->TitleFont() = TFont("Arial", -11, clMaroon, true);
    grid->SetDataSource(&reg.SnyltdyrSource);
    form.show();
    QApplication::setActiveWindow(&form);
    grid->setFocus();
    QApplication::processEvents();
    const int rows = grid->DataLink().LinkBufferCount();

    // The grid's own work without painting: the window made, then hidden.
    form.hide();
    ToStart(table);
    const double unpainted = MicrosecondsPerStep(kSteps, [&] {
      table.Next();
      QApplication::processEvents();
    });
    form.show();
    QApplication::setActiveWindow(&form);
    grid->setFocus();

    ToStart(table);
    QApplication::processEvents();
    const double with_grid = MicrosecondsPerStep(kSteps, [&] {
      table.Next();
      QApplication::processEvents();
    });
    ToStart(table);
    QApplication::processEvents();
    const double with_keys = MicrosecondsPerStep(kSteps, [&] {
      QKeyEvent press(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
      QApplication::sendEvent(grid, &press);
      QKeyEvent release(QEvent::KeyRelease, Qt::Key_Down, Qt::NoModifier);
      QApplication::sendEvent(grid, &release);
      QApplication::processEvents();
    });
    const int columns = grid->ColCount();
    grid->SetDataSource(nullptr);
    ToStart(table);
    const double bare_again = MicrosecondsPerStep(kSteps, [&] { table.Next(); });

    std::printf("\n%lld records in DATO order, %d steps per pass, grid of %d rows x %d columns\n",
                static_cast<long long>(bench::LargeTableRecords()), kSteps, rows, columns);
    Row("bare table, Next", bare, bare);
    Row("with the grid not painting (hidden), Next", unpainted, bare);
    Row("with the grid, Next on the table", with_grid, bare);
    Row("with the grid, Down in the grid", with_keys, bare);
    Row("bare table again, Next", bare_again, bare);
    std::printf("\n");
  } catch (const Exception& e) {
    std::fprintf(stderr, "bench_grid: %s\n", e.Message().c_str());
    return 1;
  }
  return 0;
}
