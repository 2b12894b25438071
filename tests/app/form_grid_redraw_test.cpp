// Rows a move brings into view are drawn completely: after each kind of move what the
// window shows of the grid (its backing store) equals a fresh full render of the grid.
#include <QScreen>
#include <QScrollBar>
#include <QWheelEvent>
#include <cstring>

#include "form_grid_fixture.h"

namespace snyltdyr {
namespace {

class GridRedrawTest : public testsupport::GridFormTest {
 protected:
  void SetUp() override {
    GridFormTest::SetUp();
    ShowGrid();
    form->resize(1000, 611);  // the last row shown in part
    // On a real display the keys go to the active window only.
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    form->Grid->setFocus();
    Table().First();
    Settle();
  }
  // What the window holds for the grid's viewport now.
  QImage Shown() {
    QWidget* viewport = Grid().viewport();
    const QPoint at = viewport->mapTo(form.get(), QPoint(0, 0));
    return form->screen()
        ->grabWindow(form->winId(), at.x(), at.y(), viewport->width(), viewport->height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
  }
  QImage Fresh() { return Grid().viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32); }
  // The grid rows (by pixel line) where the two differ, for the failure message.
  std::string Differences() {
    const QImage shown = Shown();
    const QImage fresh = Fresh();
    if (shown.size() != fresh.size()) return "sizes differ";
    std::string out;
    for (int y = 0; y < shown.height(); ++y) {
      if (std::memcmp(shown.constScanLine(y), fresh.constScanLine(y),
                      static_cast<size_t>(shown.bytesPerLine())) != 0) {
        out += std::to_string(y) + " ";
      }
    }
    return out;
  }
  void StepDownToTheBottomRow() {
    for (int i = 0; i < 100; ++i) {
      if (Grid().DataLink().LinkActiveRecord() == Grid().DataLink().LinkBufferCount() - 1) return;
      Press(Qt::Key_Down);
    }
    FAIL() << "never reached the bottom row";
  }
};

// At several heights, so that the last row is sometimes shown in part.
TEST_F(GridRedrawTest, DownOnTheBottomRow) {
  for (const int height : {600, 605, 611, 617, 623}) {
    SCOPED_TRACE("window height " + std::to_string(height));
    form->resize(1000, height);
    Table().First();
    Settle();
    StepDownToTheBottomRow();
    ASSERT_EQ(Differences(), "");
    for (int i = 0; i < 3; ++i) {
      const int32_t before = Table().RecordNumber();
      Press(Qt::Key_Down);
      ASSERT_NE(Table().RecordNumber(), before);
      EXPECT_EQ(Differences(), "") << "after Down " << i + 1;
    }
  }
}

TEST_F(GridRedrawTest, PageDownAndCtrlEnd) {
  Press(Qt::Key_Down);
  Press(Qt::Key_PageDown);
  EXPECT_EQ(Differences(), "") << "after PageDown";
  Press(Qt::Key_PageDown);
  EXPECT_EQ(Differences(), "") << "after a second PageDown";
  Press(Qt::Key_PageUp);
  EXPECT_EQ(Differences(), "") << "after PageUp";
  Press(Qt::Key_End, Qt::ControlModifier);
  EXPECT_EQ(Differences(), "") << "after Ctrl+End";
}

TEST_F(GridRedrawTest, TheWheelAndTheScrollBar) {
  StepDownToTheBottomRow();
  for (int i = 0; i < 3; ++i) {
    const QPoint centre = Grid().viewport()->rect().center();
    QWheelEvent wheel(centre, Grid().viewport()->mapToGlobal(centre), QPoint(), QPoint(0, -120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(Grid().viewport(), &wheel);
    Settle();
    EXPECT_EQ(Differences(), "") << "after wheel step " << i + 1;
  }
  for (int i = 0; i < 3; ++i) {
    Grid().verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    Settle();
    EXPECT_EQ(Differences(), "") << "after scroll bar step " << i + 1;
  }
  Grid().verticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
  Settle();
  EXPECT_EQ(Differences(), "") << "after a scroll bar page";
}

}  // namespace
}  // namespace snyltdyr
