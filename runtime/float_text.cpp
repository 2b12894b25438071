#include "runtime/float_text.h"

#include <charconv>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "runtime/exception.h"
#include "runtime/regional_settings.h"

namespace snyltdyr {

namespace {

struct Decomposed {
  std::string digits;  // significant digits, no trailing zeros ("" for zero)
  int exponent = 0;    // value = d1.d2d3... * 10^exponent
};

// The shortest decimal digits that read back as `value` (finite, non-negative). Rounding
// works on these, half away from zero, so 2.675 shows as 2.68 as the user wrote it.
Decomposed Shortest(double value) {
  Decomposed out;
  if (value == 0) return out;
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
  std::string text(buffer, result.ptr);
  const size_t e = text.find('e');
  out.exponent = std::atoi(text.c_str() + e + 1);
  for (size_t i = 0; i < e; ++i) {
    if (text[i] != '.') out.digits += text[i];
  }
  while (!out.digits.empty() && out.digits.back() == '0') out.digits.pop_back();
  return out;
}

// Keeps `keep` leading digits, rounding half away from zero; `keep` may be 0 or less
// (everything is below the last kept place).
Decomposed RoundDigits(Decomposed d, int keep) {
  if (d.digits.empty() || keep >= static_cast<int>(d.digits.size())) return d;
  if (keep < 0) return {};
  const bool up = d.digits[static_cast<size_t>(keep)] >= '5';
  d.digits.resize(static_cast<size_t>(keep));
  if (up) {
    int i = keep - 1;
    while (i >= 0 && d.digits[static_cast<size_t>(i)] == '9') d.digits[static_cast<size_t>(i--)] = '0';
    if (i >= 0) {
      d.digits[static_cast<size_t>(i)]++;
    } else {  // 9.99 -> 10.0: one more place in front
      d.digits.insert(d.digits.begin(), '1');
      d.exponent++;
    }
  }
  while (!d.digits.empty() && d.digits.back() == '0') d.digits.pop_back();
  return d;
}

// `value` (finite, non-negative) rounded to `digits` significant digits.
Decomposed Decompose(double value, int digits) { return RoundDigits(Shortest(value), digits); }

std::string NonFinite(double value) {
  if (std::isnan(value)) return "NAN";
  return value < 0 ? "-INF" : "INF";
}

// Decimal text of |value| with exactly `decimals` decimals, '.' as the mark.
std::string FixedDigits(double value, int decimals) {
  const Decomposed exact = Shortest(std::fabs(value));
  const Decomposed d = RoundDigits(exact, exact.exponent + 1 + decimals);
  std::string integer = "0";
  std::string fraction(static_cast<size_t>(decimals), '0');
  if (!d.digits.empty()) {
    // Place each digit: digit k stands for 10^(exponent - k).
    if (d.exponent >= 0) integer.assign(static_cast<size_t>(d.exponent) + 1, '0');
    for (size_t k = 0; k < d.digits.size(); ++k) {
      const int place = d.exponent - static_cast<int>(k);
      if (place >= 0) {
        integer[integer.size() - 1 - static_cast<size_t>(place)] = d.digits[k];
      } else if (-place <= decimals) {
        fraction[static_cast<size_t>(-place - 1)] = d.digits[k];
      }
    }
  }
  return decimals > 0 ? integer + "." + fraction : integer;
}

std::string GroupThousands(const std::string& integer_part) {
  const char separator = Regional().thousand_separator;
  std::string out;
  const size_t n = integer_part.size();
  for (size_t i = 0; i < n; ++i) {
    if (i > 0 && (n - i) % 3 == 0 && separator != '\0') out += separator;
    out += integer_part[i];
  }
  return out;
}

bool IsNegativeText(const std::string& digits_text) {
  return digits_text.find_first_not_of("0.,") != std::string::npos;
}

}  // namespace

std::string FloatToGeneral(double value, int digits) {
  if (!std::isfinite(value)) return NonFinite(value);
  if (digits < 1) digits = 1;
  if (digits > 17) digits = 17;
  const Decomposed d = Decompose(std::fabs(value), digits);
  if (d.digits.empty()) return "0";
  const char mark = Regional().decimal_separator;
  std::string out = value < 0 ? "-" : "";
  if (d.exponent < -5 || d.exponent >= digits) {
    out += d.digits[0];
    if (d.digits.size() > 1) out += mark + d.digits.substr(1);
    out += "E" + std::to_string(d.exponent);
  } else if (d.exponent >= 0) {
    const size_t integer_digits = static_cast<size_t>(d.exponent) + 1;
    std::string all = d.digits;
    if (all.size() < integer_digits) all.append(integer_digits - all.size(), '0');
    out += all.substr(0, integer_digits);
    if (all.size() > integer_digits) out += mark + all.substr(integer_digits);
  } else {
    out += "0";
    out += mark;
    out.append(static_cast<size_t>(-d.exponent - 1), '0');
    out += d.digits;
  }
  return out;
}

std::string FloatToFixed(double value, int decimals) {
  if (!std::isfinite(value)) return NonFinite(value);
  std::string text = FixedDigits(value, decimals);
  const size_t dot = text.find('.');
  if (dot != std::string::npos) text[dot] = Regional().decimal_separator;
  return (value < 0 && IsNegativeText(text) ? "-" : "") + text;
}

std::string FloatToCurrency(double value, int decimals) {
  if (!std::isfinite(value)) return NonFinite(value);
  const RegionalSettings& r = Regional();
  const std::string text = FixedDigits(value, decimals);
  const size_t dot = text.find('.');
  std::string number = GroupThousands(text.substr(0, dot));
  if (dot != std::string::npos) number += r.decimal_separator + text.substr(dot + 1);
  std::string out;
  switch (r.currency_format) {
    case 0: out = r.currency_string + number; break;
    case 1: out = number + r.currency_string; break;
    case 2: out = r.currency_string + " " + number; break;
    default: out = number + " " + r.currency_string; break;
  }
  return (value < 0 && IsNegativeText(text) ? "-" : "") + out;
}

namespace {

// One section of a number pattern, split into the text before the first placeholder,
// the placeholders, and the text after the last one.
struct Section {
  std::string prefix, suffix;
  int integer_zeros = 0;     // "0"s before the decimal point
  int min_decimals = 0;      // "0"s after it
  int max_decimals = 0;      // "0"s and "#"s after it
  bool has_digits = false;
  bool thousands = false;
  bool scientific = false;
  bool exponent_plus = false;  // "E+": always show the exponent's sign
  int exponent_digits = 0;
};

std::vector<std::string> SplitSections(std::string_view pattern) {
  std::vector<std::string> sections(1);
  char quote = 0;
  for (char c : pattern) {
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == ';') {
      sections.emplace_back();
      continue;
    }
    sections.back() += c;
  }
  return sections;
}

Section ParseSection(const std::string& text) {
  Section s;
  bool after_point = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    std::string& literal = s.has_digits ? s.suffix : s.prefix;
    if (c == '"' || c == '\'') {
      const size_t end = text.find(c, i + 1);
      literal += text.substr(i + 1, (end == std::string::npos ? text.size() : end) - i - 1);
      i = end == std::string::npos ? text.size() : end;
    } else if (c == '0' || c == '#') {
      if (!s.suffix.empty() && !s.scientific) {  // text between placeholders stays outside
        s.prefix += s.suffix;
        s.suffix.clear();
      }
      s.has_digits = true;
      if (after_point) {
        s.max_decimals++;
        if (c == '0') s.min_decimals = s.max_decimals;
      } else if (c == '0') {
        s.integer_zeros++;
      }
    } else if (c == '.' && !after_point) {
      after_point = true;
      s.has_digits = true;
    } else if (c == ',' && !after_point) {
      s.thousands = true;
    } else if ((c == 'E' || c == 'e') && s.has_digits && i + 1 < text.size() &&
               (text[i + 1] == '+' || text[i + 1] == '-')) {
      s.scientific = true;
      s.exponent_plus = text[i + 1] == '+';
      i += 2;
      while (i < text.size() && text[i] == '0') {
        s.exponent_digits++;
        i++;
      }
      i--;
    } else {
      literal += c;
    }
  }
  return s;
}

std::string RenderScientific(const Section& s, double magnitude) {
  const Decomposed d = Decompose(magnitude, s.max_decimals + 1);
  std::string digits = d.digits.empty() ? "0" : d.digits;
  std::string out(1, digits[0]);
  std::string fraction = digits.substr(1);
  if (static_cast<int>(fraction.size()) < s.min_decimals) {
    fraction.append(static_cast<size_t>(s.min_decimals) - fraction.size(), '0');
  }
  if (!fraction.empty()) out += Regional().decimal_separator + fraction;
  const int exponent = d.digits.empty() ? 0 : d.exponent;
  std::string exp_text = std::to_string(std::abs(exponent));
  if (static_cast<int>(exp_text.size()) < s.exponent_digits) {
    exp_text.insert(0, static_cast<size_t>(s.exponent_digits) - exp_text.size(), '0');
  }
  out += 'E';
  if (exponent < 0) {
    out += '-';
  } else if (s.exponent_plus) {
    out += '+';
  }
  return out + exp_text;
}

std::string RenderPlain(const Section& s, double magnitude) {
  const std::string text = FixedDigits(magnitude, s.max_decimals);
  const size_t dot = text.find('.');
  std::string integer = text.substr(0, dot);
  std::string fraction = dot == std::string::npos ? "" : text.substr(dot + 1);
  while (static_cast<int>(fraction.size()) > s.min_decimals && fraction.back() == '0') {
    fraction.pop_back();
  }
  if (integer == "0" && s.integer_zeros == 0) integer.clear();
  if (static_cast<int>(integer.size()) < s.integer_zeros) {
    integer.insert(0, static_cast<size_t>(s.integer_zeros) - integer.size(), '0');
  }
  if (s.thousands) integer = GroupThousands(integer);
  return fraction.empty() ? integer : integer + Regional().decimal_separator + fraction;
}

}  // namespace

std::string FormatFloatPattern(std::string_view pattern, double value) {
  if (!std::isfinite(value)) return NonFinite(value);
  const std::vector<std::string> sections = SplitSections(pattern);
  size_t chosen = 0;
  bool sign = value < 0;
  if (value < 0 && sections.size() > 1 && !sections[1].empty()) {
    chosen = 1;
    sign = false;  // the negative section carries its own sign
  } else if (value == 0 && sections.size() > 2 && !sections[2].empty()) {
    chosen = 2;
  }
  if (sections[chosen].empty()) return FloatToGeneral(value);
  const Section s = ParseSection(sections[chosen]);
  if (!s.has_digits) return s.prefix;
  const double magnitude = std::fabs(value);
  const std::string number = s.scientific ? RenderScientific(s, magnitude) : RenderPlain(s, magnitude);
  const bool shows_nonzero = number.find_first_of("123456789") != std::string::npos;
  return (sign && shows_nonzero ? "-" : "") + s.prefix + number + s.suffix;
}

std::optional<double> TryParseFloat(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  const char mark = Regional().decimal_separator;
  std::string plain;  // the same number with '.' as the mark, checked character by character
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  size_t mantissa_digits = 0;
  while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
    plain += text[i++];
    mantissa_digits++;
  }
  if (i < text.size() && text[i] == mark) {
    plain += '.';
    ++i;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
      plain += text[i++];
      mantissa_digits++;
    }
  }
  if (mantissa_digits == 0) return std::nullopt;
  bool negative_exponent = false;
  if (i < text.size() && (text[i] == 'E' || text[i] == 'e')) {
    plain += 'e';
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
      negative_exponent = text[i] == '-';
      plain += text[i++];
    }
    size_t exponent_digits = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
      plain += text[i++];
      exponent_digits++;
    }
    if (exponent_digits == 0) return std::nullopt;
  }
  if (i != text.size()) return std::nullopt;
  double value = 0;
  auto result = std::from_chars(plain.data(), plain.data() + plain.size(), value);
  if (result.ec == std::errc::result_out_of_range) {
    if (!negative_exponent) return std::nullopt;  // too large for a double
    value = 0;                                     // too small: rounds to zero
  } else if (result.ec != std::errc() || result.ptr != plain.data() + plain.size()) {
    return std::nullopt;
  }
  return negative ? -value : value;
}

double ParseFloat(std::string_view text) {
  if (auto value = TryParseFloat(text)) return *value;
  throw EConvertError("'" + std::string(text) + "' is not a valid floating point value");
}

}  // namespace snyltdyr
