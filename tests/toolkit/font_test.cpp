#include "toolkit/look/font.h"

#include <gtest/gtest.h>

#include <QFontInfo>
#include <QFontMetrics>

namespace snyltdyr {
namespace {

TEST(FontTest, PointsAndPixelsAt96DotsPerInch) {
  TFont font("Arial", -13, clBlack);
  EXPECT_EQ(font.Size(), 10);
  font.SetSize(8);
  EXPECT_EQ(font.Height(), -11);  // 10.67 rounds to 11
  font.SetSize(11);
  EXPECT_EQ(font.Height(), -15);
  font.SetSize(9);
  EXPECT_EQ(font.Height(), -12);
  EXPECT_EQ(font.Size(), 9);
}

TEST(FontTest, SizesAtAndBelowZeroAreKeptAndDrawSmallest) {
  TFont font("Arial", -13, clBlack);
  for (int i = 0; i < 10; ++i) font.SetSize(font.Size() - 1);
  EXPECT_EQ(font.Size(), 0);
  EXPECT_EQ(font.Height(), 0);
  font.SetSize(-2);
  EXPECT_EQ(font.Size(), -2);
  EXPECT_EQ(font.Height(), 3);  // a positive height: a cell height, still drawable
  EXPECT_GE(ToQFont(font).pixelSize(), 1);
  font.SetSize(0);
  EXPECT_EQ(ToQFont(font).pixelSize(), 1);
  // And back up again, without loss.
  for (int i = 0; i < 10; ++i) font.SetSize(font.Size() + 1);
  EXPECT_EQ(font.Size(), 10);
  EXPECT_EQ(font.Height(), -13);
}

TEST(FontTest, ArialResolvesToAMetricCompatibleFamily) {
  const QFont q = ToQFont(TFont("Arial", -13, clBlack));
  QFontMetrics metrics(q);
  EXPECT_EQ(metrics.horizontalAdvance(QChar('0')), 7) << QFontInfo(q).family().toStdString();
  const QFont bold = ToQFont(TFont("Arial", -11, clMaroon, true));
  EXPECT_TRUE(QFontInfo(bold).bold());
}

TEST(FontTest, EveryChangeIsTold) {
  TFont font;
  int changes = 0;
  font.OnChange = [&] { ++changes; };
  font.SetSize(font.Size() + 1);
  font.SetSize(font.Size());  // no change, no call
  font.SetBold(true);
  font.SetColor(clMaroon);
  font = TFont("Arial", -13, clBlack);
  EXPECT_EQ(changes, 4);
  EXPECT_EQ(font.Height(), -13);
  EXPECT_TRUE(static_cast<bool>(font.OnChange));  // assignment keeps the listener
}

}  // namespace
}  // namespace snyltdyr
