// Dates and times of the runtime: their three forms and their text.
//
// In memory a date-time is a `TDateTime`: a double counting days since 30 December 1899
// (day 0), the fraction being the time of day. Stored values use two other forms:
//   - a date is a 32-bit day number counting 1 January of the year 1 as day 1, so
//     30 December 1899 is day 693594;
//   - a time is a 32-bit count of milliseconds since midnight;
//   - a date-time is a double holding day number * 86400000 + milliseconds.
// Text follows the short date pattern of the regional settings (runtime/regional_settings.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace snyltdyr {

using TDateTime = double;

// Day number of 30 December 1899 in the storage form (days from 1 January of year 1).
inline constexpr int32_t kDateDelta = 693594;
inline constexpr int32_t kMillisecondsPerDay = 86400000;

// Calendar <-> TDateTime. EncodeDate returns nothing for an impossible date
// (month 13, 30 February, year 0 or above 9999).
bool IsLeapYear(int year);
int DaysInMonth(int year, int month);
std::optional<TDateTime> EncodeDate(int year, int month, int day);
void DecodeDate(TDateTime value, int& year, int& month, int& day);
TDateTime EncodeTime(int hour, int minute, int second, int millisecond);
void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& millisecond);

// Storage forms. Reading a date yields midnight; writing one drops the time of day.
int32_t DateToDayNumber(TDateTime value);
TDateTime DayNumberToDate(int32_t day_number);
int32_t TimeToMilliseconds(TDateTime value);
TDateTime MillisecondsToTime(int32_t milliseconds);
double DateTimeToStamp(TDateTime value);   // day number * 86400000 + ms
TDateTime StampToDateTime(double stamp);

// Text of a date in `pattern` (d, dd, m, mm, yy, yyyy in either case; "/" is the
// locale's date separator; other characters are copied). The default pattern is the
// short date pattern in force. A pattern may also hold the time of day: h/hh hours,
// n/nn minutes (m/mm right after the hours), s/ss seconds, z/zzz milliseconds.
std::string FormatDate(TDateTime value);
std::string FormatDate(TDateTime value, const std::string& pattern);
// Date followed by the time of day when there is one ("07.03.2005 14:30:00").
std::string FormatDateTime(TDateTime value);
// The time of day in the long time pattern (h/hh hours, m/mm or n/nn minutes, s/ss).
std::string FormatTimeOfDay(TDateTime value);

// Parses a date in the order of day, month and year of the short date pattern, with the
// locale's separator. Two-digit years are taken in the century window around today.
std::optional<TDateTime> TryParseDate(const std::string& text);
// The same, raising EConvertError "'%s' is not a valid date".
TDateTime ParseDate(const std::string& text);
// A time of day "h:mm[:ss[.zzz]]"; raises "'%s' is not a valid time".
std::optional<TDateTime> TryParseTime(const std::string& text);
TDateTime ParseTime(const std::string& text);
// A date optionally followed by a time of day, or a time alone; raises
// "'%s' is not a valid date and time".
TDateTime ParseDateTime(const std::string& text);

}  // namespace snyltdyr
