// Index keys as the production index file stores them, and their order.
//
// Three key types exist:
//   'C'  character: K bytes of text in the table's code page, left-aligned and padded with
//        spaces; ordered byte by byte (unsigned).
//   'N'  numeric: 12 bytes of packed decimal. Byte 0 is 0x34 + E for a value
//        0.d1d2d3... x 10^E; byte 1 holds the sign in bit 7, a digit-count field in bits 6-2
//        and 01 in bits 1-0; bytes 2-11 hold up to 20 digits, two per byte, high nibble
//        first. Readers ignore the digit-count bits and treat every key whose digit bytes
//        are all zero as zero, whatever bytes 0 and 1 say; so keys are ordered by value,
//        never by bytes.
//   'D'  date: the astronomical day number (1 January 2000 = 2451545) as a little-endian
//        8-byte IEEE double; a blank date is 0.0 and sorts before every real date.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace snyltdyr::engine {

inline constexpr size_t kNumericKeyLength = 12;
inline constexpr size_t kDateKeyLength = 8;
inline constexpr size_t kMaxCharacterKeyLength = 100;

// A packed decimal key taken apart. `digits` has no leading or trailing zeros; it is empty
// for zero (and then `negative` is false).
struct DecodedNumber {
  bool negative = false;
  int exponent = 0;
  std::string digits;
};

// Decodes a 12-byte numeric key; nothing when a digit nibble is above 9 (a corrupt key).
std::optional<DecodedNumber> DecodeNumericKey(std::string_view key);

// Encodes exact decimal text ("-1234.50", "0.05", "1998", optional sign, no blanks) into a
// 12-byte key. Nothing when the text is not a plain decimal number or needs more than 20
// digits or an exponent outside the format's range. Zero is always 35 10 00...
std::optional<std::string> EncodeNumericKey(std::string_view text, int digit_count);

// The value of a numeric key as a double (for display and expressions).
double NumericKeyValue(const DecodedNumber& n);

// -1, 0 or 1 comparing two numeric keys by value. A corrupt key sorts before all others.
int CompareNumericKeys(std::string_view a, std::string_view b);

// Day numbers of the proleptic Gregorian calendar (1 January 1970 = 2440588), for the
// years 1 to 9999: kFirstJulianDay is 1 January of year 1, kLastJulianDay 31 December 9999.
inline constexpr int64_t kFirstJulianDay = 1721426;
inline constexpr int64_t kLastJulianDay = 5373484;
int64_t JulianDayNumber(int year, int month, int day);
// The date of a day number; false (and zeros) outside kFirstJulianDay..kLastJulianDay,
// since day numbers come from files and may be anything.
bool DateOfJulianDay(int64_t day_number, int& year, int& month, int& day);

std::string EncodeDateKey(double day_number);
double DecodeDateKey(std::string_view key);

// -1, 0 or 1 comparing two keys of the given type in ascending value order.
int CompareKeys(char key_type, std::string_view a, std::string_view b);

// Text of a key for messages: character keys without trailing blanks, numbers in plain
// decimal, dates as YYYYMMDD (blank dates as an empty text); "?" for a damaged number or
// a date key that is no day of the years 1 to 9999.
std::string KeyToText(char key_type, std::string_view key);

}  // namespace snyltdyr::engine
