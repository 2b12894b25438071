#include "storage/engine/datafile/field_codec.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "storage/engine/datafile/code_page.h"
#include "storage/engine/memo/dbt_memo.h"

namespace snyltdyr::engine {
namespace {

bool IsBlankByte(uint8_t c) { return c == ' ' || c == 0; }

std::string Trimmed(const uint8_t* b, size_t n) {
  size_t s = 0, e = n;
  while (s < e && IsBlankByte(b[s])) ++s;
  while (e > s && IsBlankByte(b[e - 1])) --e;
  return std::string(reinterpret_cast<const char*>(b) + s, e - s);
}

bool ValidDate(int y, int m, int d) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1) return false;
  bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return d <= kDays[m - 1] + (m == 2 && leap ? 1 : 0);
}

// Decimal text with an optional sign, point and exponent; false for anything else.
bool ParseNumber(const std::string& text, double& out) {
  if (text.empty() || text == "." || text == "-" || text == "+") return false;
  for (char c : text) {  // a plain loop: a pass reads numbers by millions
    if (!((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.' || c == 'e' || c == 'E'))
      return false;
  }
  char* end = nullptr;
  out = std::strtod(text.c_str(), &end);
  return end == text.c_str() + text.size() && std::isfinite(out);
}

// The fixed text of `value` with `decimals` decimals, right-aligned in `width`; false
// when it does not fit.
bool FormatNumber(double value, int width, int decimals, std::string& out) {
  if (!std::isfinite(value)) return false;
  // Halves round away from zero, as the stored decimal text is read by people.
  const double scale = std::pow(10.0, decimals);
  if (std::fabs(value) * scale < 1e15) value = std::round(value * scale) / scale;
  char buf[64];
  int n = std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
  if (n <= 0 || n >= static_cast<int>(sizeof buf)) return false;
  std::string text(buf, static_cast<size_t>(n));
  if (text.find_first_not_of("-0.") == std::string::npos && text[0] == '-') text.erase(0, 1);  // no "-0.00"
  if (text.size() > static_cast<size_t>(width)) return false;
  out = std::string(static_cast<size_t>(width) - text.size(), ' ') + text;
  return true;
}

}  // namespace

int32_t DayNumber(int y, int m, int d) {
  // Days before year y, then before month m, then the day.
  static const int kBefore[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  const int py = y - 1;
  int32_t days = py * 365 + py / 4 - py / 100 + py / 400 + kBefore[m - 1] + d;
  bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  if (leap && m > 2) ++days;
  return days;
}

void CivilFromDayNumber(int32_t n, int& y, int& m, int& d) {
  // Estimate the year, then correct it, then walk the months.
  y = static_cast<int>(n / 365.2425) + 1;
  while (y > 1 && DayNumber(y, 1, 1) > n) --y;
  while (DayNumber(y + 1, 1, 1) <= n) ++y;
  m = 1;
  while (m < 12 && DayNumber(y, m + 1, 1) <= n) ++m;
  d = n - DayNumber(y, m, 1) + 1;
}

void EngineTypeOf(const FieldDesc& f, uint16_t& type, uint16_t& subtype) {
  subtype = kSubtypeNone;
  switch (f.type) {
    case 'C': type = kTypeText; return;
    case 'D': type = f.length == 8 ? kTypeDate : kTypeUnknown; return;
    case 'N': case 'F': type = kTypeFloat; return;  // wider than 20: read, never written
    case 'L': type = f.length == 1 ? kTypeBoolean : kTypeUnknown; return;
    case 'M': type = kTypeBlob; subtype = kSubtypeMemo; return;
    case 'B': type = kTypeBlob; subtype = kSubtypeBinary; return;
    case 'G': type = kTypeBlob; subtype = 27; return;  // OLE object
    default: type = kTypeUnknown; return;
  }
}

Result DecodeField(const FieldDesc& f, const uint8_t* b, int code_page, bool translate,
                   FieldValue& v) {
  v = FieldValue{};
  uint16_t type, subtype;
  EngineTypeOf(f, type, subtype);
  switch (type) {
    case kTypeText: {
      size_t n = f.length;
      while (n > 0 && IsBlankByte(b[n - 1])) --n;
      std::string_view raw(reinterpret_cast<const char*>(b), n);
      v.text = translate ? NativeToAnsi(code_page, raw) : std::string(raw);
      v.blank = v.text.empty();
      return kOk;
    }
    case kTypeDate: {
      // YYYYMMDD between blanks; read digit by digit, since a pass decodes dates by millions.
      size_t s = 0, e = f.length;
      while (s < e && IsBlankByte(b[s])) ++s;
      while (e > s && IsBlankByte(b[e - 1])) --e;
      if (e - s != 8) return kOk;
      int digits[8];
      for (size_t i = 0; i < 8; ++i) {
        if (b[s + i] < '0' || b[s + i] > '9') return kOk;
        digits[i] = b[s + i] - '0';
      }
      const int y = digits[0] * 1000 + digits[1] * 100 + digits[2] * 10 + digits[3];
      const int m = digits[4] * 10 + digits[5], d = digits[6] * 10 + digits[7];
      if (!ValidDate(y, m, d)) return kOk;  // "00000000" and garbage: no date
      v.date = DayNumber(y, m, d);
      v.blank = false;
      return kOk;
    }
    case kTypeFloat: {
      if (ParseNumber(Trimmed(b, f.length), v.number)) v.blank = false;
      else v.number = 0;
      return kOk;
    }
    case kTypeBoolean: {
      switch (b[0]) {
        case 'T': case 't': case 'Y': case 'y': v.boolean = true; v.blank = false; break;
        case 'F': case 'f': case 'N': case 'n': v.boolean = false; v.blank = false; break;
        default: break;  // blank, "?" or NUL: unknown
      }
      return kOk;
    }
    case kTypeBlob: {
      uint32_t block = 0;
      v.blank = !(f.length == 10 && ParseMemoBlock(b, f.length, block) && block != 0);
      return kOk;
    }
    default:
      return kErrFieldTypeMismatch;
  }
}

Result EncodeField(const FieldDesc& f, const FieldValue& v, int code_page, bool translate,
                   uint8_t* b) {
  uint16_t type, subtype;
  EngineTypeOf(f, type, subtype);
  switch (type) {
    case kTypeText: {
      std::memset(b, ' ', f.length);
      if (v.blank) return kOk;
      std::string text = translate ? AnsiToNative(code_page, v.text) : v.text;
      std::memcpy(b, text.data(), std::min<size_t>(text.size(), f.length));
      return kOk;
    }
    case kTypeDate: {
      if (v.blank) { std::memset(b, ' ', 8); return kOk; }
      if (v.date < 1 || v.date > DayNumber(9999, 12, 31)) return kErrInvalidFieldValue;
      int y, m, d;
      CivilFromDayNumber(v.date, y, m, d);
      char buf[9];
      std::snprintf(buf, sizeof buf, "%04d%02d%02d", y, m, d);
      std::memcpy(b, buf, 8);
      return kOk;
    }
    case kTypeFloat: {
      if (v.blank) { std::memset(b, ' ', f.length); return kOk; }
      std::string text;
      if (!FormatNumber(v.number, f.length, f.decimals, text)) return kErrInvalidFieldValue;
      std::memcpy(b, text.data(), f.length);
      return kOk;
    }
    case kTypeBoolean:
      b[0] = v.blank ? ' ' : (v.boolean ? 'T' : 'F');
      return kOk;
    default:
      return kErrFieldTypeMismatch;
  }
}

}  // namespace snyltdyr::engine
