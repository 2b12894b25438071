#include "runtime/regional_settings.h"

namespace snyltdyr {

namespace {
RegionalSettings& Current() {
  static RegionalSettings settings = NorwegianSettings();
  return settings;
}
}  // namespace

const RegionalSettings& Regional() { return Current(); }

void SetRegional(const RegionalSettings& settings) { Current() = settings; }

RegionalSettings NorwegianSettings() {
  RegionalSettings s;
  s.short_date_format = "dd.MM.yyyy";
  s.date_separator = '.';
  s.long_time_format = "HH:mm:ss";
  s.decimal_separator = ',';
  s.thousand_separator = ' ';
  s.currency_decimals = 2;
  s.currency_string = "kr";
  s.currency_format = 2;
  return s;
}

}  // namespace snyltdyr
