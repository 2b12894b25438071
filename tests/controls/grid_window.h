// A window holding a data grid over a real observation table in a temporary folder, set
// up the way the main window sets up its grid: linked to the register's data source,
// Arial 13 pixels for the cells and bold maroon Arial 11 pixels for the titles.
//
//   GridWindow w(40);            // 40 sample observations, opened, last record current
//   w.grid->...;  w.Table()...;
#pragma once

#include <QApplication>
#include <QImage>
#include <QTest>
#include <memory>
#include <string>

#include "controls/grid/db_grid.h"
#include "register/sample_observations.h"
#include "register/snyltdyr_register.h"
#include "support/temp_dir.h"
#include "toolkit/widgets/form.h"

namespace snyltdyr::testsupport {

class GridWindow {
 public:
  // A table of `records` sample observations (none: an empty table), opened unless
  // `open` is false. The window is `width` x `height` pixels, the grid fills it.
  explicit GridWindow(int64_t records, bool open = true, int width = 900, int height = 300) {
    CreateSampleTable(dir.path(), records, 11);
    reg = std::make_unique<SnyltdyrRegister>();
    reg->SnyltdyrTable.SetDatabaseName(dir.path());
    form = std::make_unique<TForm>();
    form->resize(width, height);
    grid = new TDBGrid(form.get());
    grid->setGeometry(0, 0, width, height);
    grid->Font() = TFont("Arial", -13, clBlack);
    grid->TitleFont() = TFont("Arial", -11, clMaroon, true);
    grid->SetDataSource(&reg->SnyltdyrSource);
    form->show();
    QApplication::setActiveWindow(form.get());
    grid->setFocus();
    (void)QTest::qWaitForWindowExposed(form.get());
    if (open) Open();
  }
  ~GridWindow() {
    form.reset();
    reg.reset();
  }

  void Open() {
    reg->FormShow();
    Settle();
  }
  TTable& Table() { return reg->SnyltdyrTable; }

  // Lets posted messages and paints run.
  static void Settle() {
    for (int i = 0; i < 3; ++i) QApplication::processEvents();
  }
  // The grid's viewport as it looks now.
  QImage Image() {
    Settle();
    return grid->viewport()->grab().toImage();
  }

  TempDir dir;
  std::unique_ptr<SnyltdyrRegister> reg;
  std::unique_ptr<TForm> form;
  TDBGrid* grid = nullptr;
};

}  // namespace snyltdyr::testsupport
