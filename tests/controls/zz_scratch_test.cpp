#include <gtest/gtest.h>
#include <QPaintEvent>
#include "controls/grid_window.h"
namespace snyltdyr {
struct PaintLog : QObject {
  std::vector<QRegion> regions;
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint) regions.push_back(static_cast<QPaintEvent*>(e)->region());
    return false;
  }
};
TEST(Scratch, Save) {
  testsupport::GridWindow w(100);
  PaintLog log;
  w.grid->viewport()->installEventFilter(&log);
  w.Table().First();
  w.Settle();
  log.regions.clear();
  for (int i = 0; i < 20; ++i) { QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key_Down); }
  w.Settle();
  for (auto& r : log.regions) { for (auto& rect : r) printf("(%d,%d %dx%d) ", rect.x(), rect.y(), rect.width(), rect.height()); printf("\n"); }
  printf("rowh %d rows %d\n", w.grid->DefaultRowHeight(), w.grid->RowCount());
  w.Image().save("/tmp/grid4.png");
}
}
