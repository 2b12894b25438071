#include "runtime/date_time.h"

#include <cctype>
#include <chrono>
#include <cmath>
#include <vector>

#include "runtime/exception.h"
#include "runtime/regional_settings.h"

namespace snyltdyr {

namespace {

// Days since 1 January 1970 of a proleptic Gregorian date, and back.
int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

// Days since 1 January 1970 of 30 December 1899.
constexpr int64_t kEpochOffset = -25569;

int CurrentYear() {
  const auto now = std::chrono::system_clock::now();
  const auto days = std::chrono::floor<std::chrono::days>(now);
  return static_cast<int>(std::chrono::year_month_day(days).year());
}

// Milliseconds since midnight in the fraction of `value` (its absolute value: a
// negative date-time still counts its time forward from midnight).
int64_t FractionMilliseconds(TDateTime value) {
  const double fraction = std::fabs(value - std::trunc(value));
  int64_t ms = std::llround(fraction * kMillisecondsPerDay);
  return ms >= kMillisecondsPerDay ? kMillisecondsPerDay - 1 : ms;
}

std::string TwoDigits(int n) {
  std::string text = std::to_string(n);
  return text.size() < 2 ? "0" + text : text;
}

std::string Padded(int n, size_t width) {
  std::string text = std::to_string(n);
  return text.size() < width ? std::string(width - text.size(), '0') + text : text;
}

size_t RunLength(const std::string& pattern, size_t i, char lower) {
  size_t n = 0;
  while (i + n < pattern.size() && std::tolower(static_cast<unsigned char>(pattern[i + n])) == lower) ++n;
  return n;
}

// Time of day in a time pattern: h/hh or H/HH hours, n/nn or m/mm minutes, s/ss
// seconds, z/zzz milliseconds; ":" and other characters are copied.
std::string FormatTime(TDateTime value, const std::string& pattern) {
  int hour, minute, second, ms;
  DecodeTime(value, hour, minute, second, ms);
  std::string out;
  for (size_t i = 0; i < pattern.size();) {
    const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(pattern[i])));
    const size_t n = (c == 'h' || c == 'n' || c == 'm' || c == 's' || c == 'z') ? RunLength(pattern, i, c) : 0;
    switch (c) {
      case 'h': out += n > 1 ? TwoDigits(hour) : std::to_string(hour); break;
      case 'n':
      case 'm': out += n > 1 ? TwoDigits(minute) : std::to_string(minute); break;
      case 's': out += n > 1 ? TwoDigits(second) : std::to_string(second); break;
      case 'z': out += n > 1 ? Padded(ms, 3) : std::to_string(ms); break;
      default: out += pattern[i]; i++; continue;
    }
    i += n;
  }
  return out;
}

enum class Order { DMY, MDY, YMD };

Order DateOrder() {
  for (char c : Regional().short_date_format) {
    switch (std::tolower(static_cast<unsigned char>(c))) {
      case 'd': return Order::DMY;
      case 'm': return Order::MDY;
      case 'y': return Order::YMD;
      default: break;
    }
  }
  return Order::DMY;
}

struct Scanner {
  std::string_view text;
  size_t pos = 0;

  void SkipBlanks() {
    while (pos < text.size() && text[pos] == ' ') ++pos;
  }
  bool Take(char c) {
    if (pos < text.size() && text[pos] == c) {
      ++pos;
      return true;
    }
    return false;
  }
  // Up to `max_digits` decimal digits; the number of digits read, 0 when none.
  size_t Number(int& value, size_t max_digits = 4) {
    size_t n = 0;
    value = 0;
    while (pos < text.size() && n < max_digits && std::isdigit(static_cast<unsigned char>(text[pos]))) {
      value = value * 10 + (text[pos++] - '0');
      ++n;
    }
    return n;
  }
  bool AtEnd() const { return pos == text.size(); }
};

// Two-digit years fall within 50 years of the current year.
int WindowYear(int two_digit_year) {
  const int current = CurrentYear();
  int year = current / 100 * 100 + two_digit_year;
  if (year > current + 50) year -= 100;
  if (year <= current - 50) year += 100;
  return year;
}

std::optional<TDateTime> ScanDate(Scanner& s) {
  const char separator = Regional().date_separator;
  int parts[3] = {0, 0, 0};
  size_t digits[3] = {0, 0, 0};
  int count = 0;
  s.SkipBlanks();
  while (count < 3) {
    digits[count] = s.Number(parts[count]);
    if (digits[count] == 0) return std::nullopt;
    ++count;
    if (!s.Take(separator)) break;
    if (count == 3) break;  // a separator after the year is allowed
  }
  if (count < 2) return std::nullopt;
  int year, month, day;
  size_t year_digits = 4;
  const Order order = DateOrder();
  if (count == 2) {  // day and month of the current year
    year = CurrentYear();
    if (order == Order::DMY) {
      day = parts[0];
      month = parts[1];
    } else {
      month = parts[0];
      day = parts[1];
    }
  } else {
    switch (order) {
      case Order::DMY: day = parts[0]; month = parts[1]; year = parts[2]; year_digits = digits[2]; break;
      case Order::MDY: month = parts[0]; day = parts[1]; year = parts[2]; year_digits = digits[2]; break;
      case Order::YMD: year = parts[0]; month = parts[1]; day = parts[2]; year_digits = digits[0]; break;
    }
  }
  if (year_digits <= 2) year = WindowYear(year);
  return EncodeDate(year, month, day);
}

std::optional<TDateTime> ScanTime(Scanner& s) {
  int hour = 0, minute = 0, second = 0, ms = 0;
  s.SkipBlanks();
  if (s.Number(hour, 2) == 0 || !s.Take(':') || s.Number(minute, 2) == 0) return std::nullopt;
  if (s.Take(':')) {
    if (s.Number(second, 2) == 0) return std::nullopt;
    if (s.Take('.') || s.Take(Regional().decimal_separator)) {
      const size_t n = s.Number(ms, 3);
      if (n == 0) return std::nullopt;
      for (size_t k = n; k < 3; ++k) ms *= 10;
    }
  }
  if (hour > 23 || minute > 59 || second > 59) return std::nullopt;
  return EncodeTime(hour, minute, second, ms);
}

[[noreturn]] void NotValid(const std::string& text, const char* what) {
  throw EConvertError("'" + text + "' is not a valid " + what);
}

}  // namespace

bool IsLeapYear(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

std::optional<TDateTime> EncodeDate(int year, int month, int day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12) return std::nullopt;
  if (day < 1 || day > DaysInMonth(year, month)) return std::nullopt;
  return static_cast<TDateTime>(DaysFromCivil(year, month, day) - kEpochOffset);
}

void DecodeDate(TDateTime value, int& year, int& month, int& day) {
  CivilFromDays(static_cast<int64_t>(std::trunc(value)) + kEpochOffset, year, month, day);
}

TDateTime EncodeTime(int hour, int minute, int second, int millisecond) {
  return (((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + millisecond) / kMillisecondsPerDay;
}

void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& millisecond) {
  int64_t ms = FractionMilliseconds(value);
  millisecond = static_cast<int>(ms % 1000);
  ms /= 1000;
  second = static_cast<int>(ms % 60);
  ms /= 60;
  minute = static_cast<int>(ms % 60);
  hour = static_cast<int>(ms / 60);
}

int32_t DateToDayNumber(TDateTime value) {
  return static_cast<int32_t>(std::trunc(value)) + kDateDelta;
}

TDateTime DayNumberToDate(int32_t day_number) {
  return static_cast<TDateTime>(day_number - kDateDelta);
}

int32_t TimeToMilliseconds(TDateTime value) {
  return static_cast<int32_t>(FractionMilliseconds(value));
}

TDateTime MillisecondsToTime(int32_t milliseconds) {
  return static_cast<double>(milliseconds) / kMillisecondsPerDay;
}

double DateTimeToStamp(TDateTime value) {
  return static_cast<double>(DateToDayNumber(value)) * kMillisecondsPerDay +
         static_cast<double>(FractionMilliseconds(value));
}

TDateTime StampToDateTime(double stamp) {
  const double days = std::trunc(stamp / kMillisecondsPerDay);
  const double time = (stamp - days * kMillisecondsPerDay) / kMillisecondsPerDay;
  const double date = days - kDateDelta;
  return date < 0 ? date - time : date + time;
}

std::string FormatDate(TDateTime value) { return FormatDate(value, Regional().short_date_format); }

std::string FormatDate(TDateTime value, const std::string& pattern) {
  int year, month, day;
  DecodeDate(value, year, month, day);
  std::string out;
  bool after_hour = false;  // "m" right after an hour is the minute
  for (size_t i = 0; i < pattern.size();) {
    const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(pattern[i])));
    if (c == 'd' || c == 'y' || (c == 'm' && !after_hour)) {
      const size_t n = RunLength(pattern, i, c);
      if (c == 'd') out += n > 1 ? TwoDigits(day) : std::to_string(day);
      if (c == 'm') out += n > 1 ? TwoDigits(month) : std::to_string(month);
      if (c == 'y') out += n > 2 ? Padded(year, 4) : TwoDigits(year % 100);
      i += n;
    } else if (c == 'h' || c == 'n' || c == 's' || c == 'z' || c == 'm') {
      const size_t n = RunLength(pattern, i, c);
      out += FormatTime(value, pattern.substr(i, n));
      after_hour = c == 'h';
      i += n;
    } else {
      out += pattern[i] == '/' ? Regional().date_separator : pattern[i];
      ++i;
    }
  }
  return out;
}

std::string FormatDateTime(TDateTime value) {
  std::string text = FormatDate(value);
  if (FractionMilliseconds(value) != 0) text += " " + FormatTime(value, Regional().long_time_format);
  return text;
}

std::string FormatTimeOfDay(TDateTime value) { return FormatTime(value, Regional().long_time_format); }

std::optional<TDateTime> TryParseDate(const std::string& text) {
  Scanner s{text};
  auto date = ScanDate(s);
  s.SkipBlanks();
  if (!date || !s.AtEnd()) return std::nullopt;
  return date;
}

TDateTime ParseDate(const std::string& text) {
  if (auto date = TryParseDate(text)) return *date;
  NotValid(text, "date");
}

std::optional<TDateTime> TryParseTime(const std::string& text) {
  Scanner s{text};
  auto time = ScanTime(s);
  s.SkipBlanks();
  if (!time || !s.AtEnd()) return std::nullopt;
  return time;
}

TDateTime ParseTime(const std::string& text) {
  if (auto time = TryParseTime(text)) return *time;
  NotValid(text, "time");
}

TDateTime ParseDateTime(const std::string& text) {
  Scanner s{text};
  if (auto date = ScanDate(s)) {
    s.SkipBlanks();
    if (s.AtEnd()) return *date;
    if (auto time = ScanTime(s)) {
      s.SkipBlanks();
      if (s.AtEnd()) return *date + *time;
    }
  } else if (auto time = TryParseTime(text)) {
    return *time;
  }
  NotValid(text, "date and time");
}

}  // namespace snyltdyr
