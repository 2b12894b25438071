#include "storage/engine/filters/filter_eval.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "runtime/cp1252.h"

namespace snyltdyr::engine {

namespace {

constexpr double kMsPerDay = 86400000.0;

bool IsPad(char c) { return c == ' ' || c == '\0'; }

std::string_view TrimRight(std::string_view s) {
  while (!s.empty() && IsPad(s.back())) s.remove_suffix(1);
  return s;
}

std::string_view Trim(std::string_view s) {
  s = TrimRight(s);
  while (!s.empty() && IsPad(s.front())) s.remove_prefix(1);
  return s;
}

// A number in the text form of numeric columns: blanks around, optional sign, digits,
// optional point and exponent. Anything else (a column full of "*" included) is no number.
bool ParseNumber(std::string_view text, double* out) {
  text = Trim(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return false;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, *out);
  return ec == std::errc() && ptr == end && std::isfinite(*out);
}

template <typename T>
T Load(const std::string& bytes) {
  T v;
  std::memcpy(&v, bytes.data(), sizeof v);  // little-endian hosts only, like the file formats
  return v;
}

uint16_t LoadU16(const char* p) {
  return static_cast<uint16_t>(static_cast<uint8_t>(p[0]) | (static_cast<uint8_t>(p[1]) << 8));
}

// The packed decimal record: precision, sign bit and scale, then digits as nibbles.
double DecodeBcd(const std::string& b) {
  int precision = static_cast<uint8_t>(b[0]);
  int scale = static_cast<uint8_t>(b[1]) & 0x3F;
  bool negative = (static_cast<uint8_t>(b[1]) & 0x80) != 0;
  double v = 0;
  for (int i = 0; i < precision && i < 32; ++i) {
    uint8_t byte = static_cast<uint8_t>(b[2 + i / 2]);
    v = v * 10 + ((i % 2 == 0) ? byte >> 4 : byte & 0x0F);
  }
  v /= std::pow(10.0, scale);
  return negative ? -v : v;
}

uint8_t Upper850Family(uint8_t c, int code_page) {
  // Letters shared by code pages 437, 850 and 865.
  switch (c) {
    case 0x81: return 0x9A;  // u diaeresis
    case 0x82: return 0x90;  // e acute
    case 0x84: return 0x8E;  // a diaeresis
    case 0x86: return 0x8F;  // a ring
    case 0x87: return 0x80;  // c cedilla
    case 0x91: return 0x92;  // ae
    case 0x94: return 0x99;  // o diaeresis
    case 0xA4: return 0xA5;  // n tilde
    default: break;
  }
  if ((code_page == 850 || code_page == 865) && c == 0x9B) return 0x9D;  // o slash
  if (code_page == 850) {
    switch (c) {
      case 0xA0: return 0xB5;
      case 0x83: return 0xB6;
      case 0x85: return 0xB7;
      case 0xC6: return 0xC7;
      case 0x88: return 0xD2;
      case 0x89: return 0xD3;
      case 0x8A: return 0xD4;
      case 0xA1: return 0xD6;
      case 0x8C: return 0xD7;
      case 0x8B: return 0xD8;
      case 0x8D: return 0xDE;
      case 0xA2: return 0xE0;
      case 0x93: return 0xE2;
      case 0x95: return 0xE3;
      case 0xE4: return 0xE5;
      case 0xA3: return 0xE9;
      case 0x96: return 0xEA;
      case 0x97: return 0xEB;
      case 0xEC: return 0xED;
      case 0xD0: return 0xD1;
      case 0xE7: return 0xE8;
      default: break;
    }
  }
  return c;
}

bool EqualText(std::string_view a, std::string_view b, bool ignore_case, int code_page) {
  if (a.size() != b.size()) return false;
  if (!ignore_case) return a == b;
  for (size_t i = 0; i < a.size(); ++i) {
    if (UpperInCodePage(static_cast<uint8_t>(a[i]), code_page) !=
        UpperInCodePage(static_cast<uint8_t>(b[i]), code_page)) {
      return false;
    }
  }
  return true;
}

}  // namespace

uint8_t UpperInCodePage(uint8_t c, int code_page) {
  if (c >= 'a' && c <= 'z') return static_cast<uint8_t>(c - 0x20);
  if (c < 0x80) return c;
  if (code_page == 1252) return static_cast<uint8_t>(UpperChar1252(static_cast<char>(c)));
  if (code_page == 437 || code_page == 850 || code_page == 865) {
    return Upper850Family(c, code_page);
  }
  return c;
}

bool LikeMatch(std::string_view text, std::string_view pattern, bool ignore_case,
               int code_page) {
  // Greedy matching with one remembered "%": linear in practice, never exponential.
  size_t t = 0, p = 0;
  size_t star_p = std::string_view::npos, star_t = 0;
  auto same = [&](char a, char b) {
    if (!ignore_case) return a == b;
    return UpperInCodePage(static_cast<uint8_t>(a), code_page) ==
           UpperInCodePage(static_cast<uint8_t>(b), code_page);
  };
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == '%') {
      star_p = p++;
      star_t = t;
    } else if (p < pattern.size() && (pattern[p] == '_' || same(pattern[p], text[t]))) {
      ++p;
      ++t;
    } else if (star_p != std::string_view::npos) {
      p = star_p + 1;
      t = ++star_t;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '%') ++p;
  return p == pattern.size();
}

int32_t ValidDayNumber(int year, int month, int day) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return 0;
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  int in_month = kDays[month - 1] + (month == 2 && leap ? 1 : 0);
  if (day > in_month) return 0;
  // Days before the year, then before the month, then the day itself.
  int y = year - 1;
  int32_t n = y * 365 + y / 4 - y / 100 + y / 400;
  for (int m = 1; m < month; ++m) n += kDays[m - 1] + (m == 2 && leap ? 1 : 0);
  return n + day;
}

// A value met while evaluating. Dates count days; times and date-times milliseconds.
struct FilterProgram::Value {
  enum class Kind { kNull, kText, kNumber, kBool, kDate, kTime, kDateTime };
  Kind kind = Kind::kNull;
  std::string_view view;  // kText: without trailing blanks, unless `owned` holds it
  std::string owned;      // a memo's text, read for this value alone
  bool is_owned = false;
  double number = 0;

  std::string_view Text() const { return is_owned ? std::string_view(owned) : view; }
};

namespace {

using Kind = FilterProgram::Value::Kind;

bool IsNumeric(Kind k) { return k == Kind::kNumber || k == Kind::kBool; }
bool IsDate(Kind k) { return k == Kind::kDate || k == Kind::kDateTime; }

}  // namespace

FilterTreeError FilterProgram::Compile(const uint8_t* data, size_t size,
                                       const std::vector<FieldDesc>& fields,
                                       FilterProgram* out) {
  FilterTree tree;
  FilterTreeError e = ReadFilterTree(data, size, &tree);
  if (e != FilterTreeError::kNone) return e;
  std::vector<size_t> field_index(tree.nodes.size(), 0);
  for (size_t i = 0; i < tree.nodes.size(); ++i) {
    const FilterNode& n = tree.nodes[i];
    if (n.node_class != FilterClass::kField) continue;
    if (n.field_number >= 1 && n.field_number <= fields.size()) {
      field_index[i] = n.field_number - 1;
      continue;
    }
    auto named = std::find_if(fields.begin(), fields.end(), [&](const FieldDesc& f) {
      return n.field_number == 0 && SameText1252(f.name, n.name);
    });
    if (named == fields.end()) return FilterTreeError::kBadOperand;
    field_index[i] = static_cast<size_t>(named - fields.begin());
  }
  out->tree_ = std::move(tree);
  out->field_index_ = std::move(field_index);
  return FilterTreeError::kNone;
}

bool FilterProgram::Matches(const RecordView& record) const {
  return !tree_.nodes.empty() && Truth(0, record);
}

FilterProgram::Value FilterProgram::FieldValue(const FilterNode& node,
                                               const RecordView& record) const {
  size_t index = field_index_[&node - tree_.nodes.data()];
  const FieldDesc& f = (*record.fields)[index];
  std::string_view raw = record.Raw(index);
  Value v;
  switch (f.type) {
    case 'C':
      v.kind = Kind::kText;
      v.view = TrimRight(raw);
      return v;
    case 'N':
    case 'F':
      if (ParseNumber(raw, &v.number)) v.kind = Kind::kNumber;
      return v;
    case 'D': {
      std::string_view d = Trim(raw);
      if (d.size() != 8 || !std::all_of(d.begin(), d.end(), [](char c) {
            return c >= '0' && c <= '9';
          })) {
        return v;
      }
      auto digits = [&](size_t at, size_t n) {
        int x = 0;
        for (size_t i = at; i < at + n; ++i) x = x * 10 + (d[i] - '0');
        return x;
      };
      int32_t day = ValidDayNumber(digits(0, 4), digits(4, 2), digits(6, 2));
      if (day > 0) {
        v.kind = Kind::kDate;
        v.number = day;
      }
      return v;
    }
    case 'L': {
      char c = raw.empty() ? ' ' : raw[0];
      if (c == 'T' || c == 't' || c == 'Y' || c == 'y') {
        v.kind = Kind::kBool;
        v.number = 1;
      } else if (c == 'F' || c == 'f' || c == 'N' || c == 'n') {
        v.kind = Kind::kBool;
      }
      return v;
    }
    case 'M': {
      v.kind = Kind::kText;
      if (!memo_reader_ || IsBlank(static_cast<int>(&node - tree_.nodes.data()), record)) {
        return v;
      }
      v.owned = memo_reader_(record, index);
      v.owned.resize(TrimRight(v.owned).size());
      v.is_owned = true;
      return v;
    }
    default:
      v.kind = Kind::kText;
      v.view = TrimRight(raw);
      return v;
  }
}

FilterProgram::Value FilterProgram::Evaluate(int index, const RecordView& record) const {
  const FilterNode& node = tree_.nodes[index];
  Value v;
  switch (node.node_class) {
    case FilterClass::kField:
      return FieldValue(node, record);
    case FilterClass::kConstant:
      switch (node.type) {
        case ValueType::kText:
          v.kind = Kind::kText;
          v.view = TrimRight(node.value);
          return v;
        case ValueType::kDate:
          v.kind = Kind::kDate;
          v.number = Load<int32_t>(node.value);
          return v;
        case ValueType::kBoolean:
          v.kind = Kind::kBool;
          v.number = Load<int16_t>(node.value) != 0 ? 1 : 0;
          return v;
        case ValueType::kInt16: v.number = Load<int16_t>(node.value); break;
        case ValueType::kUInt16: v.number = Load<uint16_t>(node.value); break;
        case ValueType::kInt32: v.number = Load<int32_t>(node.value); break;
        case ValueType::kFloat: v.number = Load<double>(node.value); break;
        case ValueType::kBcd: v.number = DecodeBcd(node.value); break;
        case ValueType::kTime:
          v.kind = Kind::kTime;
          v.number = Load<int32_t>(node.value);
          return v;
        case ValueType::kDateTime:
          v.kind = Kind::kDateTime;
          v.number = Load<double>(node.value);
          return v;
        case ValueType::kTimeStamp: {
          const char* p = node.value.data();
          int32_t day = ValidDayNumber(LoadU16(p), LoadU16(p + 2), LoadU16(p + 4));
          if (day == 0) return v;
          v.kind = Kind::kDateTime;
          v.number = day * kMsPerDay + LoadU16(p + 6) * 3600000.0 + LoadU16(p + 8) * 60000.0 +
                     LoadU16(p + 10) * 1000.0 + Load<uint32_t>(node.value.substr(12));
          return v;
        }
        default:
          return v;
      }
      v.kind = Kind::kNumber;
      return v;
    default:
      v.kind = Kind::kBool;
      v.number = Truth(index, record) ? 1 : 0;
      return v;
  }
}

bool FilterProgram::Truth(int index, const RecordView& record) const {
  const FilterNode& node = tree_.nodes[index];
  switch (node.node_class) {
    case FilterClass::kUnary:
      if (node.op == FilterOp::kNot) return !Truth(node.left, record);
      return IsBlank(node.left, record) == (node.op == FilterOp::kIsBlank);
    case FilterClass::kBinary:
      switch (node.op) {
        case FilterOp::kAnd: return Truth(node.left, record) && Truth(node.right, record);
        case FilterOp::kOr: return Truth(node.left, record) || Truth(node.right, record);
        case FilterOp::kIn: return In(node, record);
        default: return Compare(node, record);
      }
    case FilterClass::kCompare:
      return CompareText(node, record);
    case FilterClass::kField:
    case FilterClass::kConstant: {
      Value v = Evaluate(index, record);
      if (v.kind == Kind::kNull) return false;
      if (v.kind == Kind::kText) return !v.Text().empty();
      return v.number != 0;
    }
    default:
      return false;
  }
}

bool FilterProgram::IsBlank(int index, const RecordView& record) const {
  const FilterNode& node = tree_.nodes[index];
  if (node.node_class == FilterClass::kField) {
    size_t field = field_index_[index];
    std::string_view raw = Trim(record.Raw(field));
    switch ((*record.fields)[field].type) {
      case 'D': return raw.empty() || raw == "00000000";
      case 'L': return raw.empty() || raw == "?";
      case 'M': return raw.empty() || std::all_of(raw.begin(), raw.end(), [](char c) {
                         return c == '0';
                       });
      default: return raw.empty();
    }
  }
  Value v = Evaluate(index, record);
  return v.kind == Kind::kNull || (v.kind == Kind::kText && v.Text().empty());
}

namespace {

// Orders two values: -1, 0 or 1, or 2 when they cannot be ordered (a null among them, a
// text that is no number against a number, a date against a number, ...).
int Order(const FilterProgram::Value& a, const FilterProgram::Value& b) {
  constexpr int kUnordered = 2;
  if (a.kind == Kind::kNull || b.kind == Kind::kNull) return kUnordered;
  auto sign = [](double x, double y) { return x < y ? -1 : (x > y ? 1 : 0); };
  if (a.kind == Kind::kText && b.kind == Kind::kText) {
    int c = a.Text().compare(b.Text());  // std::char_traits<char> compares as unsigned bytes
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
  }
  if (a.kind == Kind::kText || b.kind == Kind::kText) {
    const FilterProgram::Value& text = a.kind == Kind::kText ? a : b;
    const FilterProgram::Value& other = a.kind == Kind::kText ? b : a;
    double n = 0;
    if (!IsNumeric(other.kind) || !ParseNumber(text.Text(), &n)) return kUnordered;
    return a.kind == Kind::kText ? sign(n, other.number) : sign(other.number, n);
  }
  if (IsNumeric(a.kind) && IsNumeric(b.kind)) return sign(a.number, b.number);
  if (IsDate(a.kind) && IsDate(b.kind)) {
    double x = a.kind == Kind::kDate ? a.number * kMsPerDay : a.number;
    double y = b.kind == Kind::kDate ? b.number * kMsPerDay : b.number;
    return sign(x, y);
  }
  if (a.kind == Kind::kTime && b.kind == Kind::kTime) return sign(a.number, b.number);
  return kUnordered;
}

bool Decide(FilterOp op, int order, bool both_present) {
  if (order == 2) return op == FilterOp::kNotEqual && both_present;
  switch (op) {
    case FilterOp::kEqual: return order == 0;
    case FilterOp::kNotEqual: return order != 0;
    case FilterOp::kGreater: return order > 0;
    case FilterOp::kLess: return order < 0;
    case FilterOp::kGreaterEqual: return order >= 0;
    case FilterOp::kLessEqual: return order <= 0;
    default: return false;
  }
}

}  // namespace

bool FilterProgram::Compare(const FilterNode& node, const RecordView& record) const {
  Value a = Evaluate(node.left, record);
  Value b = Evaluate(node.right, record);
  if (node.op == FilterOp::kLike) {
    return a.kind == Kind::kText && b.kind == Kind::kText &&
           LikeMatch(a.Text(), b.Text(), false, record.code_page);
  }
  bool present = a.kind != Kind::kNull && b.kind != Kind::kNull;
  return Decide(node.op, Order(a, b), present);
}

bool FilterProgram::CompareText(const FilterNode& node, const RecordView& record) const {
  Value field = Evaluate(node.left, record);
  std::string_view value = field.kind == Kind::kText ? field.Text() : std::string_view();
  std::string_view constant = TrimRight(tree_.nodes[node.right].value);
  size_t n = node.prefix_length;
  if (node.op == FilterOp::kLike) {
    if (n == 0) return LikeMatch(value, constant, node.case_insensitive, record.code_page);
    std::string prefix_pattern(constant.substr(0, n));
    prefix_pattern += '%';
    return LikeMatch(value, prefix_pattern, node.case_insensitive, record.code_page);
  }
  if (n > 0) {
    // A prefix pattern: only the leading characters count, so "Haptor" finds "Haptor Mark".
    // The prefix is taken from the untrimmed constant: a blank inside it must match.
    std::string_view full = tree_.nodes[node.right].value;
    constant = full.substr(0, n);
    value = value.substr(0, std::min(n, value.size()));
  }
  bool equal = EqualText(value, constant, node.case_insensitive, record.code_page);
  return node.op == FilterOp::kEqual ? equal : !equal;
}

bool FilterProgram::In(const FilterNode& node, const RecordView& record) const {
  Value left = Evaluate(node.left, record);
  if (left.kind == Kind::kNull) return false;
  for (int item = node.right; item >= 0; item = tree_.nodes[item].right) {
    if (Order(left, Evaluate(tree_.nodes[item].left, record)) == 0) return true;
  }
  return false;
}

}  // namespace snyltdyr::engine
