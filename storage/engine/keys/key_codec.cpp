#include "storage/engine/keys/key_codec.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>

namespace snyltdyr::engine {
namespace {

constexpr int kExponentBias = 0x34;
constexpr size_t kDigitBytes = 10;
constexpr size_t kMaxDigits = 2 * kDigitBytes;

int Sign(int v) { return (v > 0) - (v < 0); }

std::string ZeroKey() {
  std::string key(kNumericKeyLength, '\0');
  key[0] = 0x35;
  key[1] = 0x10;
  return key;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::optional<DecodedNumber> DecodeNumericKey(std::string_view key) {
  if (key.size() < kNumericKeyLength) return std::nullopt;
  std::string all;
  all.reserve(kMaxDigits);
  for (size_t i = 0; i < kDigitBytes; ++i) {
    const uint8_t b = static_cast<uint8_t>(key[2 + i]);
    if ((b >> 4) > 9 || (b & 0x0F) > 9) return std::nullopt;
    all.push_back(static_cast<char>('0' + (b >> 4)));
    all.push_back(static_cast<char>('0' + (b & 0x0F)));
  }
  DecodedNumber n;
  const size_t first = all.find_first_not_of('0');
  if (first == std::string::npos) return n;  // zero, whatever the sign bit says
  const size_t last = all.find_last_not_of('0');
  n.digits = all.substr(first, last - first + 1);
  n.exponent = static_cast<uint8_t>(key[0]) - kExponentBias - static_cast<int>(first);
  n.negative = (static_cast<uint8_t>(key[1]) & 0x80) != 0;
  return n;
}

std::optional<std::string> EncodeNumericKey(std::string_view text, int digit_count) {
  bool negative = false;
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  const size_t point = text.find('.');
  std::string_view integer = text.substr(0, point);
  std::string_view fraction =
      point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
  for (char c : integer)
    if (!IsDigit(c)) return std::nullopt;
  for (char c : fraction)
    if (!IsDigit(c)) return std::nullopt;

  const size_t lead = integer.find_first_not_of('0');
  integer = lead == std::string_view::npos ? std::string_view() : integer.substr(lead);
  std::string digits;
  int exponent = 0;
  if (!integer.empty()) {
    exponent = static_cast<int>(integer.size());
    digits.append(integer);
    digits.append(fraction);
  } else {
    const size_t nz = fraction.find_first_not_of('0');
    if (nz == std::string_view::npos) return ZeroKey();
    exponent = -static_cast<int>(nz);
    digits.append(fraction.substr(nz));
  }
  digits.erase(digits.find_last_not_of('0') + 1);
  if (digits.size() > kMaxDigits) return std::nullopt;
  if (kExponentBias + exponent < 0 || kExponentBias + exponent > 255) return std::nullopt;

  std::string key(kNumericKeyLength, '\0');
  key[0] = static_cast<char>(kExponentBias + exponent);
  key[1] = static_cast<char>((negative ? 0x80 : 0x00) + 4 * (digit_count & 31) + 1);
  for (size_t i = 0; i < digits.size(); ++i) {
    const int d = digits[i] - '0';
    uint8_t& b = reinterpret_cast<uint8_t&>(key[2 + i / 2]);
    b |= (i % 2 == 0) ? static_cast<uint8_t>(d << 4) : static_cast<uint8_t>(d);
  }
  return key;
}

double NumericKeyValue(const DecodedNumber& n) {
  if (n.digits.empty()) return 0.0;
  const std::string text = "0." + n.digits + "e" + std::to_string(n.exponent);
  const double v = std::strtod(text.c_str(), nullptr);
  return n.negative ? -v : v;
}

int CompareNumericKeys(std::string_view a, std::string_view b) {
  const auto x = DecodeNumericKey(a);
  const auto y = DecodeNumericKey(b);
  if (!x || !y) {  // corrupt keys first, so a walk still terminates in a known order
    if (!x && !y) return 0;
    return x ? 1 : -1;
  }
  auto cls = [](const DecodedNumber& n) { return n.digits.empty() ? 0 : (n.negative ? -1 : 1); };
  const int cx = cls(*x), cy = cls(*y);
  if (cx != cy) return cx < cy ? -1 : 1;
  if (cx == 0) return 0;
  int magnitude = 0;
  if (x->exponent != y->exponent) {
    magnitude = x->exponent < y->exponent ? -1 : 1;
  } else {
    magnitude = Sign(x->digits.compare(y->digits));
  }
  return cx > 0 ? magnitude : -magnitude;
}

int64_t JulianDayNumber(int year, int month, int day) {
  const int64_t a = (14 - month) / 12;
  const int64_t y = year + 4800 - a;
  const int64_t m = month + 12 * a - 3;
  return day + (153 * m + 2) / 5 + 365 * y + y / 4 - y / 100 + y / 400 - 32045;
}

bool DateOfJulianDay(int64_t j, int& year, int& month, int& day) {
  year = month = day = 0;
  if (j < kFirstJulianDay || j > kLastJulianDay) return false;  // the arithmetic stays small
  const int64_t a = j + 32044;
  const int64_t b = (4 * a + 3) / 146097;
  const int64_t c = a - (146097 * b) / 4;
  const int64_t p = (4 * c + 3) / 1461;
  const int64_t e = c - (1461 * p) / 4;
  const int64_t q = (5 * e + 2) / 153;
  day = static_cast<int>(e - (153 * q + 2) / 5 + 1);
  month = static_cast<int>(q + 3 - 12 * (q / 10));
  year = static_cast<int>(100 * b + p - 4800 + q / 10);
  return true;
}

std::string EncodeDateKey(double day_number) {
  uint64_t bits = 0;
  std::memcpy(&bits, &day_number, sizeof bits);
  std::string key(kDateKeyLength, '\0');
  for (size_t i = 0; i < kDateKeyLength; ++i) key[i] = static_cast<char>(bits >> (8 * i));
  return key;
}

double DecodeDateKey(std::string_view key) {
  uint64_t bits = 0;
  for (size_t i = 0; i < kDateKeyLength && i < key.size(); ++i)
    bits |= static_cast<uint64_t>(static_cast<uint8_t>(key[i])) << (8 * i);
  double v = 0;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

int CompareKeys(char key_type, std::string_view a, std::string_view b) {
  switch (key_type) {
    case 'N':
      return CompareNumericKeys(a, b);
    case 'D': {
      const double x = DecodeDateKey(a), y = DecodeDateKey(b);
      if (std::isnan(x) || std::isnan(y)) return std::isnan(y) - std::isnan(x);
      return (x > y) - (x < y);
    }
    default: {
      const size_t n = std::min(a.size(), b.size());
      const int c = n == 0 ? 0 : std::memcmp(a.data(), b.data(), n);
      if (c != 0) return Sign(c);
      return (a.size() > b.size()) - (a.size() < b.size());
    }
  }
}

std::string KeyToText(char key_type, std::string_view key) {
  if (key_type == 'N') {
    const auto n = DecodeNumericKey(key);
    if (!n) return "?";
    if (n->digits.empty()) return "0";
    std::string out = n->negative ? "-" : "";
    if (n->exponent <= 0) {
      out += "0." + std::string(static_cast<size_t>(-n->exponent), '0') + n->digits;
    } else if (static_cast<size_t>(n->exponent) >= n->digits.size()) {
      out += n->digits + std::string(n->exponent - n->digits.size(), '0');
    } else {
      out += n->digits.substr(0, n->exponent) + "." + n->digits.substr(n->exponent);
    }
    return out;
  }
  if (key_type == 'D') {
    const double v = DecodeDateKey(key);
    if (v == 0.0) return "";
    int y = 0, m = 0, d = 0;
    // Checked as a double first: a damaged key may hold any value, NaN included.
    if (!(v >= kFirstJulianDay && v <= kLastJulianDay) ||
        !DateOfJulianDay(static_cast<int64_t>(v), y, m, d))
      return "?";
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d", y, m, d);
    return buf;
  }
  std::string_view t = key;
  while (!t.empty() && (t.back() == ' ' || t.back() == '\0')) t.remove_suffix(1);
  return std::string(t);
}

}  // namespace snyltdyr::engine
