// The regional settings read from the user's locale at start.
#include <gtest/gtest.h>

#include "app/regional_from_locale.h"

namespace snyltdyr {
namespace {

TEST(RegionalFromLocaleTest, NorwegianEnglishGermanAndThePlainLocale) {
  const RegionalSettings nb = RegionalFromLocale(QLocale(QLocale::NorwegianBokmal, QLocale::Norway));
  EXPECT_EQ(nb.short_date_format, "dd.MM.yyyy");
  EXPECT_EQ(nb.date_separator, '.');
  EXPECT_EQ(nb.decimal_separator, ',');

  const RegionalSettings us = RegionalFromLocale(QLocale(QLocale::English, QLocale::UnitedStates));
  EXPECT_EQ(us.date_separator, '/');
  EXPECT_EQ(us.decimal_separator, '.');
  EXPECT_EQ(us.short_date_format.find_first_not_of("dMy/"), std::string::npos) << us.short_date_format;
  EXPECT_EQ(us.short_date_format.front(), 'M');  // month first
  EXPECT_EQ(us.currency_format, 0);               // "$1.00"

  const RegionalSettings de = RegionalFromLocale(QLocale(QLocale::German, QLocale::Germany));
  EXPECT_EQ(de.date_separator, '.');
  EXPECT_EQ(de.decimal_separator, ',');
  EXPECT_EQ(de.long_time_format, "HH:mm:ss");  // the time zone is dropped

  const RegionalSettings c = RegionalFromLocale(QLocale::c());
  EXPECT_EQ(c.short_date_format, NorwegianSettings().short_date_format);
  EXPECT_EQ(c.decimal_separator, ',');
}

}  // namespace
}  // namespace snyltdyr
