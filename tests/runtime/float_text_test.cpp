#include "runtime/float_text.h"

#include <gtest/gtest.h>

#include "runtime/exception.h"
#include "runtime/regional_settings.h"

namespace snyltdyr {
namespace {

class FloatText : public ::testing::Test {
 protected:
  void SetUp() override { SetRegional(NorwegianSettings()); }
  void TearDown() override { SetRegional(NorwegianSettings()); }
};

TEST_F(FloatText, GeneralFormUsesTheLocaleMarkAndNoTrailingZeros) {
  EXPECT_EQ(FloatToGeneral(2.5), "2,5");
  EXPECT_EQ(FloatToGeneral(-0.125), "-0,125");
  EXPECT_EQ(FloatToGeneral(100), "100");
  EXPECT_EQ(FloatToGeneral(0), "0");
  EXPECT_EQ(FloatToGeneral(0.1 + 0.2), "0,3");  // 15 digits hide the binary noise
  EXPECT_EQ(FloatToGeneral(123456789012345.0), "123456789012345");
  EXPECT_EQ(FloatToGeneral(0.0001), "0,0001");
}

TEST_F(FloatText, GeneralFormTurnsToExponentOutsideItsDigits) {
  EXPECT_EQ(FloatToGeneral(1e20), "1E20");
  EXPECT_EQ(FloatToGeneral(1234567890123456.0), "1,23456789012346E15");
  EXPECT_EQ(FloatToGeneral(1.5e-7), "1,5E-7");
  EXPECT_EQ(FloatToGeneral(1234.5678, 4), "1235");
  EXPECT_EQ(FloatToGeneral(12345.678, 4), "1,235E4");
}

TEST_F(FloatText, FixedAndCurrencyForms) {
  EXPECT_EQ(FloatToFixed(2.5, 2), "2,50");
  EXPECT_EQ(FloatToFixed(-0.001, 2), "0,00");  // no sign on a value shown as zero
  EXPECT_EQ(FloatToCurrency(1234.5, 2), "kr 1 234,50");
  EXPECT_EQ(FloatToCurrency(-3, 2), "-kr 3,00");
}

TEST_F(FloatText, RoundsHalfAwayFromZeroOnTheDecimalText) {
  EXPECT_EQ(FloatToFixed(2.675, 2), "2,68");  // 2.67499999... in binary
  EXPECT_EQ(FloatToFixed(9.995, 2), "10,00");
  EXPECT_EQ(FloatToFixed(0.5, 0), "1");
  EXPECT_EQ(FloatToFixed(0.004, 2), "0,00");
  EXPECT_EQ(FloatToFixed(0.005, 2), "0,01");
  EXPECT_EQ(FloatToGeneral(0.125, 2), "0,13");
  EXPECT_EQ(FloatToGeneral(99.96, 3), "100");
}

TEST_F(FloatText, PatternFormatting) {
  EXPECT_EQ(FormatFloatPattern("0.00", 2.5), "2,50");
  EXPECT_EQ(FormatFloatPattern("#,##0.0", 1234567.25), "1 234 567,3");
  EXPECT_EQ(FormatFloatPattern("#.##", 0.5), ",5");
  EXPECT_EQ(FormatFloatPattern("000", 7), "007");
  EXPECT_EQ(FormatFloatPattern("0.0 'mg/l'", 3.25), "3,3 mg/l");
  EXPECT_EQ(FormatFloatPattern("0.00;(0.00);'zero'", -1.5), "(1,50)");
  EXPECT_EQ(FormatFloatPattern("0.00;(0.00);'zero'", 0), "zero");
  EXPECT_EQ(FormatFloatPattern("0.00", -1.5), "-1,50");
  EXPECT_EQ(FormatFloatPattern("0.00E+00", 12345), "1,23E+04");
  EXPECT_EQ(FormatFloatPattern("0.0E-0", 0.00125), "1,3E-3");
}

TEST_F(FloatText, ParsesWithTheLocaleMarkOnly) {
  EXPECT_DOUBLE_EQ(ParseFloat("2,5"), 2.5);
  EXPECT_DOUBLE_EQ(ParseFloat(" -0,25 "), -0.25);
  EXPECT_DOUBLE_EQ(ParseFloat("1E3"), 1000);
  EXPECT_DOUBLE_EQ(ParseFloat("+1,5e-2"), 0.015);
  EXPECT_DOUBLE_EQ(ParseFloat(",5"), 0.5);
  EXPECT_DOUBLE_EQ(ParseFloat("1e-400"), 0);
  for (const char* text : {"", " ", "-", "2.5", "1E", "1e+", "1 000", "abc", "1,5,0", "1e400", ",", "0x10"}) {
    EXPECT_FALSE(TryParseFloat(text).has_value()) << "'" << text << "'";
  }
  try {
    ParseFloat("-");
    FAIL() << "no error";
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "'-' is not a valid floating point value");
  }
}

TEST_F(FloatText, AnotherLocaleMark) {
  RegionalSettings english = NorwegianSettings();
  english.decimal_separator = '.';
  english.thousand_separator = ',';
  SetRegional(english);
  EXPECT_EQ(FloatToGeneral(2.5), "2.5");
  EXPECT_DOUBLE_EQ(ParseFloat("2.5"), 2.5);
  EXPECT_FALSE(TryParseFloat("2,5").has_value());
  EXPECT_EQ(FormatFloatPattern("#,##0.00", 1234.5), "1,234.50");
}

}  // namespace
}  // namespace snyltdyr
