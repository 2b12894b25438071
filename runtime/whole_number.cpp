#include "runtime/whole_number.h"

#include <string>

#include "runtime/exception.h"

namespace snyltdyr {

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Digits in `base` up to the end of `digits`; nothing when one is missing or bad, or
// when the magnitude exceeds `limit`.
std::optional<int64_t> ReadDigits(std::string_view digits, int base, int64_t limit) {
  if (digits.empty()) return std::nullopt;
  int64_t value = 0;
  for (char c : digits) {
    const int d = HexDigit(c);
    if (d < 0 || d >= base) return std::nullopt;
    value = value * base + d;
    if (value > limit) return std::nullopt;
  }
  return value;
}

}  // namespace

std::optional<int32_t> TryReadWholeNumber(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  text.remove_prefix(i);
  if (text.empty()) return std::nullopt;

  constexpr int64_t kMax = INT32_MAX;
  if (text[0] == '$' || text[0] == 'x' || text[0] == 'X') {
    auto value = ReadDigits(text.substr(1), 16, kMax);
    if (!value) return std::nullopt;
    return static_cast<int32_t>(*value);
  }
  if (text.size() > 1 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    auto value = ReadDigits(text.substr(2), 16, kMax);
    if (!value) return std::nullopt;
    return static_cast<int32_t>(*value);
  }
  bool negative = false;
  if (text[0] == '+' || text[0] == '-') {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  auto value = ReadDigits(text, 10, negative ? kMax + 1 : kMax);
  if (!value) return std::nullopt;
  return static_cast<int32_t>(negative ? -*value : *value);
}

int32_t ReadWholeNumber(std::string_view text, int32_t fallback) {
  return TryReadWholeNumber(text).value_or(fallback);
}

int32_t ParseWholeNumber(std::string_view text) {
  if (auto value = TryReadWholeNumber(text)) return *value;
  throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
}

}  // namespace snyltdyr
