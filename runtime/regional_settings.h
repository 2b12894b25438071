// The user's regional settings, read once at start and readable everywhere.
//
// The window layer fills this record from the system locale before anything else runs;
// tests set it explicitly (see NorwegianSettings), so no result depends on the machine.
// Plain data: no layer below the window knows where the values came from.
#pragma once

#include <string>

namespace snyltdyr {

struct RegionalSettings {
  std::string short_date_format = "dd.MM.yyyy";  // d, dd, m, mm, yy, yyyy; "/" = separator
  char date_separator = '.';
  std::string long_time_format = "hh:mm:ss";
  char decimal_separator = ',';
  char thousand_separator = ' ';
  int currency_decimals = 2;
  std::string currency_string = "kr";
  int currency_format = 2;  // where the sign goes: 0 "kr1", 1 "1kr", 2 "kr 1", 3 "1 kr"
};

// The record in force. Set once at start; tests may replace it.
const RegionalSettings& Regional();
void SetRegional(const RegionalSettings& settings);

// The Norwegian record the tests use: dd.MM.yyyy, ".", decimal ",".
RegionalSettings NorwegianSettings();

}  // namespace snyltdyr
