// The real program on a virtual display: started in a folder with a sample table, shot
// with ImageMagick once its window is up, and checked pixel by pixel where a fault would
// show (the window not filling the screen, a glyph's rows, a disabled glyph, the panels).
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <algorithm>
#include <cstdlib>
#include <string>

#include "register/sample_observations.h"
#include "support/temp_dir.h"

namespace snyltdyr {
namespace {

bool Have(const char* tool) {
  return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs the program in `dir` under Xvfb and returns the screenshot (null when it failed).
QImage ShootProgram(const std::string& dir) {
  const std::string shot = dir + "/shot.png";
  const std::string script =
      "cd '" + dir + "' && env -u QT_QPA_PLATFORM xvfb-run -a -s '-screen 0 1280x800x24' sh -c '" SNYLTDYR_PROGRAM
      " & pid=$!; for i in $(seq 1 100); do xwininfo -name Snyltdyr >/dev/null 2>&1 && break;"
      " sleep 0.1; done; sleep 2; import -window root " + shot +
      "; shot=$?; kill $pid; wait $pid; exit $shot' >/dev/null 2>&1";
  if (std::system(script.c_str()) != 0) return {};
  return QImage(QString::fromStdString(shot));
}

TEST(ProgramScreenshotTest, TheMaximisedWindowShowsPanelsNavigatorAndCommentBox) {
  if (!Have("xvfb-run") || !Have("import") || !Have("xwininfo")) {
    GTEST_SKIP() << "xvfb-run, ImageMagick or x11-utils missing";
  }
  testsupport::TempDir dir;
  CreateSampleTable(dir.path(), 200, 3);
  const QImage shot = ShootProgram(dir.path());
  ASSERT_FALSE(shot.isNull()) << "no screenshot";
  ASSERT_EQ(shot.size(), QSize(1280, 800));
  auto rgb = [&](int x, int y) { return shot.pixelColor(x, y).rgb() & 0xFFFFFF; };

  // Window colour up to the right edge; the comment box (white) along the bottom edge:
  // the window fills the screen even without a window manager.
  EXPECT_EQ(rgb(1270, 60), 0xF0F0F0u);
  EXPECT_EQ(rgb(640, 790), 0xFFFFFFu);
  EXPECT_EQ(rgb(1270, 790), 0xFFFFFFu);
  // The panels' raised edges: light on top, shadow at the bottom (panel 1 ends at 40).
  EXPECT_EQ(rgb(640, 0), 0xFFFFFFu);
  EXPECT_EQ(rgb(640, 40), 0xA0A0A0u);
  EXPECT_EQ(rgb(640, 41), 0xFFFFFFu);

  // "First" (enabled: the last record is current) at navigator x 64, glyph 14 x 13
  // centred in 24 x 25: its bar is two black columns on rows 2..10.
  const int gx = 64 + 5, gy = 8 + 6;
  for (int row = 2; row <= 10; ++row) {
    EXPECT_EQ(rgb(gx + 3, gy + row), 0x000000u) << "row " << row;
    EXPECT_EQ(rgb(gx + 4, gy + row), 0x000000u) << "row " << row;
  }
  EXPECT_EQ(rgb(gx + 2, gy + 5), 0xF0F0F0u);  // left of the bar
  // The grid below the panels: the "dato" title in maroon, the browse arrow in the
  // indicator column of the last row.
  auto any_in = [&](QRect area, auto&& pick) {
    for (int y = area.top(); y <= area.bottom(); ++y) {
      for (int x = area.left(); x <= area.right(); ++x) {
        if (pick(shot.pixelColor(x, y))) return true;
      }
    }
    return false;
  };
  EXPECT_TRUE(any_in(QRect(14, 83, 80, 16), [](QColor c) {
    return c.red() >= 0x60 && c.green() < 0x30 && c.blue() < 0x30;
  })) << "no maroon in the dato title";
  // The arrow's left column is a vertical run of black; the cell lines there are single
  // horizontal pixels.
  int longest_run = 0;
  for (int x = 2; x <= 9; ++x) {
    int run = 0;
    for (int y = 100; y < 690; ++y) {
      run = rgb(x, y) == 0 ? run + 1 : 0;
      longest_run = std::max(longest_run, run);
    }
  }
  EXPECT_GE(longest_run, 5) << "no indicator arrow";
  // "Next" (disabled at the end): grey shape with its white emboss, no black.
  const int nx = 64 + 48 + 7, ny = 8 + 6;
  EXPECT_EQ(rgb(nx + 3, ny + 5), 0x808080u);
  for (int x = nx; x < nx + 10; ++x) {
    for (int y = ny; y < ny + 13; ++y) EXPECT_NE(rgb(x, y), 0x000000u) << x << "," << y;
  }
}

}  // namespace
}  // namespace snyltdyr
