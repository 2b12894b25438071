// The chart painted offscreen and looked at by its pixels: where the bars and the line
// stand, the empty picture, hovering, and the saved files.
#include "app/chart/chart_picture.h"

#include <gtest/gtest.h>

#include <QImage>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/chart/chart_image.h"
#include "runtime/exception.h"
#include "support/temp_dir.h"

namespace snyltdyr {
namespace {

const QSize kSize(600, 400);

ChartPicture Picture(std::vector<PeriodFigures> periods) {
  ChartPicture picture;
  picture.title = ChartTitle("SNYLTDYR='Haptor Mark'", true);
  for (const PeriodFigures& p : periods) picture.chart.total += p.count;
  picture.chart.periods = std::move(periods);
  return picture;
}

QImage Render(const ChartPicture& picture, QSize size = kSize) {
  QImage image(size, QImage::Format_ARGB32);
  QPainter painter(&image);
  PaintChart(painter, size, picture);
  return image;
}

// Pixels of exactly `colour` in column x.
int CountInColumn(const QImage& image, int x, QRgb colour) {
  int n = 0;
  for (int y = 0; y < image.height(); ++y) n += image.pixel(x, y) == colour;
  return n;
}

// The mean row of the pixels of `colour` in column x; -1 for none.
double MeanRow(const QImage& image, int x, QRgb colour) {
  double sum = 0;
  int n = 0;
  for (int y = 0; y < image.height(); ++y) {
    if (image.pixel(x, y) == colour) sum += y, ++n;
  }
  return n == 0 ? -1 : sum / n;
}

// The bars' middles, found from the image: runs of the bars' colour just above the axis
// (where every bar stands), a crossing of the line (a few pixels) not ending a run.
std::vector<int> BarMiddles(const QImage& image) {
  std::vector<int> middles;
  const int row = image.height() - 40;
  for (int x = 0; x < image.width(); ++x) {
    if (image.pixel(x, row) != kBarColour) continue;
    int end = x, last = x;
    for (; end < image.width() && end - last <= 14; ++end) {
      if (image.pixel(end, row) == kBarColour) last = end;
    }
    middles.push_back((x + last) / 2);
    x = last + 1;
  }
  return middles;
}

TEST(ChartPicture, TheTallestBarStandsInItsPeriodsColumnAndTheHeightsKeepTheirRatio) {
  const QImage image = Render(Picture({{"2004-05", 12, 20}, {"2004-06", 3, 50}, {"2004-07", 6, 90}}));
  // The topmost pixels of a bar's colour belong to the first period: the left third of
  // the plot, right of the count axis' labels.
  int top = -1;
  for (int y = 60; y < image.height() && top < 0; ++y) {  // below the captions
    for (int x = 0; x < image.width(); ++x) {
      if (image.pixel(x, y) != kBarColour) continue;
      top = y;
      EXPECT_GT(x, 50) << "a bar reaches row " << y << " over the count axis";
      EXPECT_LT(x, kSize.width() / 3) << "a bar reaches row " << y << " outside the first third";
    }
  }
  ASSERT_GE(top, 0);
  const std::vector<int> middles = BarMiddles(image);
  ASSERT_EQ(middles.size(), 3u);
  // A column a little off the middle, where the line's dots are not.
  auto height = [&](int i) { return CountInColumn(image, middles[static_cast<size_t>(i)] + 8, kBarColour); };
  // 12 : 3 : 6, give or take the line crossing the bar and the edges' blending.
  EXPECT_NEAR(height(0), 4.0 * height(1), 12);
  EXPECT_NEAR(height(0), 2.0 * height(2), 8);
  EXPECT_GT(height(0), kSize.height() / 2);
}

TEST(ChartPicture, TheLineRisesWithTheAverageScore) {
  const QImage image = Render(Picture({{"2003", 5, 20}, {"2004", 5, 50}, {"2005", 5, 90}}));
  const std::vector<int> middles = BarMiddles(image);
  ASSERT_EQ(middles.size(), 3u);
  const double low = MeanRow(image, middles[0], kLineColour);
  const double mid = MeanRow(image, middles[1], kLineColour);
  const double high = MeanRow(image, middles[2], kLineColour);
  ASSERT_GT(low, 0);
  ASSERT_GT(high, 0);
  EXPECT_LT(high, mid);
  EXPECT_LT(mid, low);
  // 90 is in the grade band L+ near the top of the score axis (0 to 100), 20 low in S.
  EXPECT_LT(high, kSize.height() * 0.3);
  EXPECT_GT(low, kSize.height() * 0.6);
}

TEST(ChartPicture, AveragesOutsideTheBandsStayInsideThePicture) {
  const QImage image = Render(Picture({{"2003", 1, -10}, {"2004", 1, 160}}));
  const std::vector<int> middles = BarMiddles(image);
  ASSERT_EQ(middles.size(), 2u) << ::testing::PrintToString(middles);
  const double below = MeanRow(image, middles[0], kLineColour);
  const double above = MeanRow(image, middles[1], kLineColour);
  EXPECT_GT(below, above);
  EXPECT_GT(above, 30);                        // under the title
  EXPECT_LT(below, kSize.height() - 30);       // above the period names
}

TEST(ChartPicture, AnEmptySelectionPaintsItsMessageAndNoBars) {
  const QImage image = Render(Picture({}));
  int dark_in_middle = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QRgb p = image.pixel(x, y);
      ASSERT_NE(p, kBarColour);
      ASSERT_NE(p, kLineColour);
      if (y > 150 && y < 250 && qGray(p) < 128) ++dark_in_middle;
    }
  }
  EXPECT_GT(dark_in_middle, 50);  // the text "Utvalget har ingen registreringer"
}

TEST(ChartPicture, APointerOverAColumnFindsItsPeriod) {
  const SelectionChart chart = Picture({{"K1", 4, 20}, {"K2", 1, 30}, {"uten kar", 2, 40}}).chart;
  const ChartLayout layout = LayOutChart(chart, kSize);
  ASSERT_EQ(layout.bars.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    const QRectF& bar = layout.bars[static_cast<size_t>(i)];
    EXPECT_EQ(layout.PeriodAt(bar.center()), i);
    EXPECT_EQ(layout.PeriodAt(QPointF(bar.center().x(), layout.plot.top() + 2)), i);  // above a short bar
  }
  EXPECT_EQ(layout.PeriodAt(QPointF(2, layout.plot.center().y())), -1);   // the count axis
  EXPECT_EQ(layout.PeriodAt(QPointF(layout.plot.center().x(), 2)), -1);   // the title
  EXPECT_EQ(PeriodTip(chart.periods[1]), "K2\nAntall: 1\nSnitt: S+ 30");
}

TEST(ChartTitle, TheFilterTextOrAlle) {
  EXPECT_EQ(ChartTitle("SNYLTDYR='Tricodina'", true), "Diagram \x96 SNYLTDYR='Tricodina'");
  EXPECT_EQ(ChartTitle("SNYLTDYR='Tricodina'", false), "Diagram \x96 alle");  // kept, not in force
  EXPECT_EQ(ChartTitle("", true), "Diagram \x96 alle");
}

TEST(ChartImage, ThePngHoldsThePaintedPixelsAndTheSvgTheTitle) {
  testsupport::TempDir dir;
  const ChartPicture picture = Picture({{"2004-06", 3, 20}, {"uten dato", 1, 50}});
  SaveChartImage(dir.File("a.png"), picture, kSize);
  const QImage saved(QString::fromStdString(dir.File("a.png")));
  ASSERT_EQ(saved.size(), kSize);
  EXPECT_EQ(saved.convertToFormat(QImage::Format_ARGB32), Render(picture));

  SaveChartImage(dir.File("a.svg"), picture, kSize);
  std::ifstream in(dir.File("a.svg"));
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_NE(text.str().find("<svg"), std::string::npos);
  EXPECT_NE(text.str().find("uten dato"), std::string::npos);
  EXPECT_NE(text.str().find("Diagram \xE2\x80\x93 SNYLTDYR="), std::string::npos);  // UTF-8 dash
}

TEST(ChartImage, OtherNamesAreRefusedAndNothingIsWritten) {
  testsupport::TempDir dir;
  EXPECT_FALSE(IsChartImageName("a.jpg"));
  EXPECT_FALSE(IsChartImageName("png"));
  EXPECT_TRUE(IsChartImageName("A.PNG"));
  EXPECT_THROW(SaveChartImage(dir.File("a.jpg"), Picture({})), Exception);
  EXPECT_FALSE(std::filesystem::exists(dir.File("a.jpg")));
}

}  // namespace
}  // namespace snyltdyr
