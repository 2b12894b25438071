#include "app/regional_from_locale.h"

#include <cctype>
#include <cstring>

#include "toolkit/look/qt_text.h"

namespace snyltdyr {
namespace {

// Keeps the day, month, year and hour/minute/second letters and one separator of a
// locale pattern; quoted text, weekday and time-zone parts are dropped.
std::string PlainPattern(const QString& pattern, const char* letters) {
  std::string out;
  bool quoted = false;
  for (QChar qc : pattern) {
    const char c = qc.toLatin1();
    if (c == '\'') {
      quoted = !quoted;
      continue;
    }
    if (quoted) continue;
    if (std::strchr(letters, c) != nullptr && c != '\0') {
      out += c;
    } else if (c == '.' || c == '/' || c == '-' || c == ':' || (c == ' ' && !out.empty())) {
      out += c;
    }
  }
  while (!out.empty() && !std::isalpha(static_cast<unsigned char>(out.back()))) out.pop_back();
  return out;
}

char FirstSeparator(const std::string& pattern, char fallback) {
  for (char c : pattern) {
    if (!std::isalpha(static_cast<unsigned char>(c)) && c != ' ') return c;
  }
  return fallback;
}

// 0 "kr1", 1 "1kr", 2 "kr 1", 3 "1 kr".
int CurrencyFormat(const QLocale& locale) {
  const QString text = locale.toCurrencyString(1.0);
  const QString symbol = locale.currencySymbol();
  if (symbol.isEmpty()) return 0;
  const bool before = text.indexOf(symbol) < text.indexOf(QChar('1'));
  const bool spaced = text.contains(QChar(' ')) || text.contains(QChar(0xA0));
  return before ? (spaced ? 2 : 0) : (spaced ? 3 : 1);
}

}  // namespace

RegionalSettings RegionalFromLocale(const QLocale& locale) {
  if (locale.language() == QLocale::C) return NorwegianSettings();
  RegionalSettings s;
  std::string date = PlainPattern(locale.dateFormat(QLocale::ShortFormat), "dMy");
  if (date.find("yyyy") == std::string::npos && date.find("yy") == std::string::npos) {
    // A lone "y" is the full year.
    const size_t y = date.find('y');
    if (y != std::string::npos) date.replace(y, 1, "yyyy");
  }
  if (!date.empty()) s.short_date_format = date;
  s.date_separator = FirstSeparator(s.short_date_format, '.');
  const std::string time = PlainPattern(locale.timeFormat(QLocale::LongFormat), "hHms");
  if (!time.empty()) s.long_time_format = time;
  const std::string decimal = FromQString(locale.decimalPoint());
  if (decimal.size() == 1) s.decimal_separator = decimal[0];
  const std::string group = FromQString(locale.groupSeparator());
  s.thousand_separator = group.size() == 1 && group[0] != '?' ? group[0] : ' ';
  const std::string symbol = FromQString(locale.currencySymbol());
  if (!symbol.empty()) s.currency_string = symbol;
  s.currency_format = CurrencyFormat(locale);
  return s;
}

}  // namespace snyltdyr
