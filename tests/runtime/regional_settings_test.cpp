#include "runtime/regional_settings.h"

#include <gtest/gtest.h>

namespace snyltdyr {
namespace {

TEST(RegionalSettings, SetReplacesTheRecordEveryLayerReads) {
  RegionalSettings us = NorwegianSettings();
  us.short_date_format = "M/d/yyyy";
  us.date_separator = '/';
  us.decimal_separator = '.';
  SetRegional(us);
  EXPECT_EQ(Regional().short_date_format, "M/d/yyyy");
  EXPECT_EQ(Regional().decimal_separator, '.');
  SetRegional(NorwegianSettings());
  EXPECT_EQ(Regional().short_date_format, "dd.MM.yyyy");
  EXPECT_EQ(Regional().date_separator, '.');
  EXPECT_EQ(Regional().decimal_separator, ',');
}

}  // namespace
}  // namespace snyltdyr
