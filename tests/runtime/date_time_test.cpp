#include "runtime/date_time.h"

#include <gtest/gtest.h>

#include "runtime/exception.h"
#include "runtime/regional_settings.h"

namespace snyltdyr {
namespace {

class DateTime : public ::testing::Test {
 protected:
  void SetUp() override { SetRegional(NorwegianSettings()); }
  void TearDown() override { SetRegional(NorwegianSettings()); }

  static TDateTime Date(int y, int m, int d) { return EncodeDate(y, m, d).value(); }
  static void UsePattern(const std::string& pattern, char separator) {
    RegionalSettings s = NorwegianSettings();
    s.short_date_format = pattern;
    s.date_separator = separator;
    SetRegional(s);
  }
};

TEST_F(DateTime, StorageFormsCountFromTheirOwnOrigins) {
  EXPECT_EQ(Date(1899, 12, 30), 0);
  EXPECT_EQ(DateToDayNumber(0), 693594);
  EXPECT_EQ(DateToDayNumber(Date(1, 1, 1)), 1);
  EXPECT_EQ(DayNumberToDate(DateToDayNumber(Date(2005, 3, 7))), Date(2005, 3, 7));
  // A date drops its time of day; the time keeps only that.
  const TDateTime noon = Date(2005, 3, 7) + 0.5;
  EXPECT_EQ(DayNumberToDate(DateToDayNumber(noon)), Date(2005, 3, 7));
  EXPECT_EQ(TimeToMilliseconds(noon), 43200000);
  EXPECT_DOUBLE_EQ(MillisecondsToTime(43200000), 0.5);
  EXPECT_DOUBLE_EQ(DateTimeToStamp(noon), DateToDayNumber(noon) * 86400000.0 + 43200000);
  EXPECT_DOUBLE_EQ(StampToDateTime(DateTimeToStamp(noon)), noon);
  // Before 1899 the date part is negative and the time still counts forward.
  const TDateTime early = Date(1850, 6, 1) - 0.25;
  EXPECT_DOUBLE_EQ(StampToDateTime(DateTimeToStamp(early)), early);
}

TEST_F(DateTime, CalendarRules) {
  EXPECT_TRUE(EncodeDate(2000, 2, 29).has_value());
  EXPECT_FALSE(EncodeDate(1900, 2, 29).has_value());
  EXPECT_FALSE(EncodeDate(2005, 13, 1).has_value());
  EXPECT_FALSE(EncodeDate(2005, 4, 31).has_value());
  EXPECT_FALSE(EncodeDate(0, 1, 1).has_value());
  int y, m, d;
  DecodeDate(Date(2024, 2, 29), y, m, d);
  EXPECT_EQ(y * 10000 + m * 100 + d, 20240229);
}

TEST_F(DateTime, FormatsInTheShortDatePattern) {
  EXPECT_EQ(FormatDate(Date(2005, 3, 7)), "07.03.2005");
  UsePattern("d/m/yy", '.');
  EXPECT_EQ(FormatDate(Date(2005, 3, 7)), "7.3.05");
  EXPECT_EQ(FormatDate(Date(2005, 11, 27)), "27.11.05");
  UsePattern("M/D/YYYY", '-');
  EXPECT_EQ(FormatDate(Date(2005, 3, 7)), "3-7-2005");
  EXPECT_EQ(FormatDate(Date(2005, 3, 7) + 0.75, "yyyy-mm-dd hh:mm"), "2005-03-07 18:00");
}

TEST_F(DateTime, ParsesInThePatternsOrderAndSeparator) {
  EXPECT_EQ(ParseDate("07.03.2005"), Date(2005, 3, 7));
  EXPECT_EQ(ParseDate(" 7.3.2005 "), Date(2005, 3, 7));
  EXPECT_EQ(ParseDate("7.3.05"), Date(2005, 3, 7));
  EXPECT_EQ(ParseDate("7.3.99"), Date(1999, 3, 7));
  UsePattern("m/d/yyyy", '/');
  EXPECT_EQ(ParseDate("3/7/2005"), Date(2005, 3, 7));
  UsePattern("yyyy-mm-dd", '-');
  EXPECT_EQ(ParseDate("2005-03-07"), Date(2005, 3, 7));
}

TEST_F(DateTime, RefusesTextThatIsNoDate) {
  for (const char* text : {"", "7", "31.02.2005", "7/3/2005", "07.03.2005x", "aa.bb.cccc",
                           "7..2005", "1.13.2005", "7.3.20055"}) {
    EXPECT_FALSE(TryParseDate(text).has_value()) << "'" << text << "'";
  }
  try {
    ParseDate("31.02.2005");
    FAIL() << "no error";
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "'31.02.2005' is not a valid date");
  }
}

TEST_F(DateTime, DateAndTimeText) {
  const TDateTime value = Date(2005, 3, 7) + EncodeTime(14, 30, 5, 0);
  EXPECT_EQ(FormatDateTime(value), "07.03.2005 14:30:05");
  EXPECT_EQ(FormatDateTime(Date(2005, 3, 7)), "07.03.2005");
  EXPECT_DOUBLE_EQ(ParseDateTime("07.03.2005 14:30:05"), value);
  EXPECT_DOUBLE_EQ(ParseDateTime("07.03.2005"), Date(2005, 3, 7));
  EXPECT_DOUBLE_EQ(ParseDateTime("14:30"), EncodeTime(14, 30, 0, 0));
  EXPECT_THROW(ParseDateTime("07.03.2005 25:00"), EConvertError);
  EXPECT_THROW(ParseTime("12"), EConvertError);
}

}  // namespace
}  // namespace snyltdyr
