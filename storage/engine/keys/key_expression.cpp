#include "storage/engine/keys/key_expression.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "storage/engine/keys/key_codec.h"

namespace snyltdyr::engine {

enum class Op { kField, kText, kNumber, kUpper, kRTrim, kLTrim, kSubstr, kLeft, kRight,
                kDtos, kStr, kVal, kPlus, kMinus };

struct KeyExpression::Node {
  Op op = Op::kText;
  char type = 'C';
  size_t width = 0;
  int field = -1;         // kField
  std::string text;       // kText, and the exact text of kNumber
  double number = 0;      // kNumber
  std::vector<std::unique_ptr<Node>> args;
};

namespace {

using Node = KeyExpression::Node;

// The widest text a key expression handles (a character field's most), the most decimals
// STR gives, and how deep parentheses and function calls nest.
constexpr int kMaxWidth = 254;
constexpr int kMaxDecimals = 18;
constexpr int kMaxNesting = 32;

bool IsNameChar(unsigned char c) {
  return std::isalnum(c) || c == '_' || c >= 0x80;
}

// Upper-case partner of the lower-case letters of the OEM code pages in use here.
unsigned char UpperOem(unsigned char c, int code_page) {
  switch (c) {
    case 0x81: return 0x9A;  // u umlaut
    case 0x82: return 0x90;  // e acute
    case 0x84: return 0x8E;  // a umlaut
    case 0x86: return 0x8F;  // a ring
    case 0x87: return 0x80;  // c cedilla
    case 0x91: return 0x92;  // ae
    case 0x94: return 0x99;  // o umlaut
    case 0xA4: return 0xA5;  // n tilde
    case 0x9B: return code_page == 437 ? c : 0x9D;  // o slash (a cent sign in 437)
    default: return c;
  }
}

// Exact decimal text of a number field's content, or empty for blank or odd contents.
std::string NumberText(std::string_view raw) {
  size_t b = 0, e = raw.size();
  while (b < e && (raw[b] == ' ' || raw[b] == '\0')) ++b;
  while (e > b && (raw[e - 1] == ' ' || raw[e - 1] == '\0')) --e;
  std::string t(raw.substr(b, e - b));
  if (!t.empty() && t[0] == '+') t.erase(0, 1);
  return t;
}

double DayOfDateField(std::string_view raw) {
  if (raw.size() != 8) return 0;
  int v[8];
  for (int i = 0; i < 8; ++i) {
    if (raw[i] < '0' || raw[i] > '9') return 0;
    v[i] = raw[i] - '0';
  }
  const int y = v[0] * 1000 + v[1] * 100 + v[2] * 10 + v[3];
  const int m = v[4] * 10 + v[5];
  const int d = v[6] * 10 + v[7];
  if (y == 0 || m < 1 || m > 12 || d < 1 || d > 31) return 0;
  return static_cast<double>(JulianDayNumber(y, m, d));
}

// Reads the leading number of a text the way VAL does: blanks, sign, digits, point,
// digits; anything else ends it. Returns the exact decimal text ("" for none).
std::string LeadingNumber(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  std::string out;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) {
    if (s[i] == '-') out.push_back('-');
    ++i;
  }
  bool digits = false, point = false;
  for (; i < s.size(); ++i) {
    if (s[i] >= '0' && s[i] <= '9') {
      out.push_back(s[i]);
      digits = true;
    } else if (s[i] == '.' && !point) {
      out.push_back('.');
      point = true;
    } else {
      break;
    }
  }
  return digits ? out : std::string();
}

std::string Str(double v, int width, int decimals) {
  if (width < 1) width = 1;
  if (decimals < 0) decimals = 0;
  const double scale = std::pow(10.0, decimals);
  const double rounded = std::round(v * scale) / scale;  // half away from zero
  char buf[400];
  std::snprintf(buf, sizeof buf, "%*.*f", width, decimals, rounded);
  std::string s = buf;
  if (s.size() > static_cast<size_t>(width)) return std::string(width, '*');
  return s;
}

class Parser {
 public:
  Parser(std::string_view text, const std::vector<FieldDesc>& fields, int code_page)
      : s_(text), fields_(fields), code_page_(code_page) {}

  std::unique_ptr<Node> ParseAll(std::string* error) {
    auto n = Sum();
    Skip();
    if (n && pos_ != s_.size()) Fail("unexpected '" + std::string(s_.substr(pos_, 1)) + "'");
    if (!error_.empty()) {
      *error = error_;
      return nullptr;
    }
    return n;
  }

 private:
  void Fail(const std::string& why) {
    if (error_.empty()) error_ = why;
  }
  // One level deeper; false (and a failure) past kMaxNesting, so no text exhausts the stack.
  bool Nest() {
    if (++depth_ <= kMaxNesting) return true;
    --depth_;
    Fail("the expression nests deeper than " + std::to_string(kMaxNesting) + " levels");
    return false;
  }
  void Skip() {
    while (pos_ < s_.size() && (s_[pos_] == ' ' || s_[pos_] == '\t')) ++pos_;
  }
  bool Eat(char c) {
    Skip();
    if (pos_ < s_.size() && s_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }

  std::unique_ptr<Node> Sum() {
    auto left = Term();
    while (left) {
      Op op;
      if (Eat('+')) {
        op = Op::kPlus;
      } else if (Eat('-')) {
        op = Op::kMinus;
      } else {
        break;
      }
      auto right = Term();
      if (!right) return nullptr;
      if (left->type != right->type || left->type == 'D') {
        Fail("the two sides of '+' or '-' have different or unsupported types");
        return nullptr;
      }
      auto n = std::make_unique<Node>();
      n->op = op;
      n->type = left->type;
      n->width = left->type == 'C' ? left->width + right->width : kNumericKeyLength;
      n->args.push_back(std::move(left));
      n->args.push_back(std::move(right));
      left = std::move(n);
    }
    return left;
  }

  std::unique_ptr<Node> Term() {
    Skip();
    if (pos_ >= s_.size()) {
      Fail("the expression ends too early");
      return nullptr;
    }
    const char c = s_[pos_];
    if (c == '\'' || c == '"') return Quoted(c);
    if ((c >= '0' && c <= '9') || c == '.') return NumberConstant();
    if (Eat('(')) {
      if (!Nest()) return nullptr;
      auto n = Sum();
      --depth_;
      if (n && !Eat(')')) Fail("a ')' is missing");
      return n;
    }
    if (!IsNameChar(static_cast<unsigned char>(c))) {
      Fail("unexpected '" + std::string(1, c) + "'");
      return nullptr;
    }
    const size_t start = pos_;
    while (pos_ < s_.size() && IsNameChar(static_cast<unsigned char>(s_[pos_]))) ++pos_;
    const std::string name = UpperInCodePage(s_.substr(start, pos_ - start), code_page_);
    if (Eat('(')) {
      if (!Nest()) return nullptr;
      auto n = Function(name);
      --depth_;
      return n;
    }
    return Field(name);
  }

  std::unique_ptr<Node> Quoted(char quote) {
    const size_t end = s_.find(quote, pos_ + 1);
    if (end == std::string_view::npos) {
      Fail("a text constant has no closing quote");
      return nullptr;
    }
    auto n = std::make_unique<Node>();
    n->op = Op::kText;
    n->text = std::string(s_.substr(pos_ + 1, end - pos_ - 1));
    n->width = n->text.size();
    pos_ = end + 1;
    return n;
  }

  std::unique_ptr<Node> NumberConstant() {
    const size_t start = pos_;
    while (pos_ < s_.size() && ((s_[pos_] >= '0' && s_[pos_] <= '9') || s_[pos_] == '.')) ++pos_;
    auto n = std::make_unique<Node>();
    n->op = Op::kNumber;
    n->type = 'N';
    n->width = kNumericKeyLength;
    n->text = std::string(s_.substr(start, pos_ - start));
    n->number = std::strtod(n->text.c_str(), nullptr);
    return n;
  }

  std::unique_ptr<Node> Field(const std::string& name) {
    for (size_t i = 0; i < fields_.size(); ++i) {
      if (UpperInCodePage(fields_[i].name, code_page_) != name) continue;
      const FieldDesc& f = fields_[i];
      auto n = std::make_unique<Node>();
      n->op = Op::kField;
      n->field = static_cast<int>(i);
      switch (f.type) {
        case 'C':
          n->width = f.length;
          break;
        case 'N':
        case 'F':
          n->type = 'N';
          n->width = kNumericKeyLength;
          break;
        case 'D':
          n->type = 'D';
          n->width = kDateKeyLength;
          break;
        default:
          Fail("field " + f.name + " of type " + std::string(1, f.type) +
               " cannot be part of an index key");
          return nullptr;
      }
      return n;
    }
    Fail("unknown field " + name);
    return nullptr;
  }

  // Parses the argument list after '(' and checks the count and types.
  bool Args(std::vector<std::unique_ptr<Node>>& args, const std::string& types, size_t required) {
    Skip();
    if (!Eat(')')) {
      do {
        auto a = Sum();
        if (!a) return false;
        args.push_back(std::move(a));
      } while (Eat(','));
      if (!Eat(')')) {
        Fail("a ')' is missing");
        return false;
      }
    }
    if (args.size() < required || args.size() > types.size()) {
      Fail("wrong number of arguments");
      return false;
    }
    for (size_t i = 0; i < args.size(); ++i) {
      if (args[i]->type != types[i]) {
        Fail("an argument has the wrong type");
        return false;
      }
    }
    return true;
  }

  // A whole number given as a constant (widths and positions must be known in advance),
  // within lo..hi: a tag header may hold anything, and a width of two billion would make
  // every key evaluation write two billion characters.
  bool ConstArg(const std::vector<std::unique_ptr<Node>>& args, size_t i, int fallback, int lo,
                int hi, int& out) {
    if (i >= args.size()) {
      out = fallback;
      return true;
    }
    if (args[i]->op != Op::kNumber) {
      Fail("only constant numbers are supported as widths and positions");
      return false;
    }
    const double v = args[i]->number;
    if (!(v >= lo && v <= hi)) {
      Fail("the number " + args[i]->text + " is outside " + std::to_string(lo) + " to " +
           std::to_string(hi));
      return false;
    }
    out = static_cast<int>(v);
    return true;
  }

  std::unique_ptr<Node> Function(const std::string& name) {
    auto n = std::make_unique<Node>();
    auto& a = n->args;
    if (name == "UPPER" || name == "TRIM" || name == "RTRIM" || name == "LTRIM") {
      if (!Args(a, "C", 1)) return nullptr;
      n->op = name == "UPPER" ? Op::kUpper : name == "LTRIM" ? Op::kLTrim : Op::kRTrim;
      n->width = a[0]->width;
    } else if (name == "SUBSTR") {
      if (!Args(a, "CNN", 2)) return nullptr;
      int start = 1, len = 0;
      if (!ConstArg(a, 1, 1, 0, kMaxWidth, start)) return nullptr;
      const int rest = static_cast<int>(a[0]->width) - std::max(start, 1) + 1;
      if (!ConstArg(a, 2, rest, 0, kMaxWidth, len)) return nullptr;
      n->op = Op::kSubstr;
      n->width = static_cast<size_t>(std::clamp(std::min(len, rest), 0, 254));
    } else if (name == "LEFT" || name == "RIGHT") {
      if (!Args(a, "CN", 2)) return nullptr;
      int len = 0;
      if (!ConstArg(a, 1, 0, 0, kMaxWidth, len)) return nullptr;
      n->op = name == "LEFT" ? Op::kLeft : Op::kRight;
      n->width = static_cast<size_t>(std::clamp(len, 0, static_cast<int>(a[0]->width)));
    } else if (name == "DTOS") {
      if (!Args(a, "D", 1)) return nullptr;
      n->op = Op::kDtos;
      n->width = 8;
    } else if (name == "STR") {
      if (!Args(a, "NNN", 1)) return nullptr;
      int width = 10, decimals = 0;
      if (!ConstArg(a, 1, 10, 1, kMaxWidth, width) ||
          !ConstArg(a, 2, 0, 0, kMaxDecimals, decimals))
        return nullptr;
      n->op = Op::kStr;
      n->width = static_cast<size_t>(std::clamp(width, 1, 254));
    } else if (name == "VAL") {
      if (!Args(a, "C", 1)) return nullptr;
      n->op = Op::kVal;
      n->type = 'N';
      n->width = kNumericKeyLength;
    } else {
      Fail("unsupported function " + name + "()");
      return nullptr;
    }
    return n;
  }

  std::string_view s_;
  const std::vector<FieldDesc>& fields_;
  int code_page_;
  size_t pos_ = 0;
  int depth_ = 0;
  std::string error_;
};

KeyValue Eval(const Node& n, const RecordView& r, int code_page) {
  KeyValue v;
  v.type = n.type;
  auto arg = [&](size_t i) { return Eval(*n.args[i], r, code_page); };
  auto whole = [&](size_t i, int fallback) {
    return i < n.args.size() ? static_cast<int>(n.args[i]->number) : fallback;
  };
  switch (n.op) {
    case Op::kField: {
      const std::string_view raw = r.Raw(static_cast<size_t>(n.field));
      if (n.type == 'C') {
        v.text.assign(raw);
      } else if (n.type == 'N') {
        v.text = NumberText(raw);
        v.number = v.text.empty() ? 0 : std::strtod(v.text.c_str(), nullptr);
      } else {
        v.day = DayOfDateField(raw);
      }
      return v;
    }
    case Op::kText:
      v.text = n.text;
      return v;
    case Op::kNumber:
      v.text = n.text;
      v.number = n.number;
      return v;
    case Op::kUpper:
      v.text = UpperInCodePage(arg(0).text, code_page);
      return v;
    case Op::kRTrim: {
      v.text = arg(0).text;
      v.text.erase(v.text.find_last_not_of(' ') + 1);
      return v;
    }
    case Op::kLTrim: {
      const std::string t = arg(0).text;
      const size_t b = t.find_first_not_of(' ');
      v.text = b == std::string::npos ? std::string() : t.substr(b);
      return v;
    }
    case Op::kSubstr: {
      const std::string t = arg(0).text;
      const int start = std::max(whole(1, 1), 1);
      if (static_cast<size_t>(start) > t.size()) return v;
      v.text = t.substr(start - 1, static_cast<size_t>(std::max(whole(2, 254), 0)));
      return v;
    }
    case Op::kLeft: {
      v.text = arg(0).text.substr(0, static_cast<size_t>(std::max(whole(1, 0), 0)));
      return v;
    }
    case Op::kRight: {
      const std::string t = arg(0).text;
      const size_t len = std::min(t.size(), static_cast<size_t>(std::max(whole(1, 0), 0)));
      v.text = t.substr(t.size() - len);
      return v;
    }
    case Op::kDtos: {
      const double day = arg(0).day;
      if (day == 0) {
        v.text = std::string(8, ' ');
      } else {
        int y = 0, m = 0, d = 0;
        DateOfJulianDay(static_cast<int64_t>(day), y, m, d);
        char buf[16];
        std::snprintf(buf, sizeof buf, "%04d%02d%02d", y, m, d);
        v.text = buf;
      }
      return v;
    }
    case Op::kStr:
      v.text = Str(arg(0).number, whole(1, 10), whole(2, 0));
      return v;
    case Op::kVal: {
      v.text = LeadingNumber(arg(0).text);
      v.number = v.text.empty() ? 0 : std::strtod(v.text.c_str(), nullptr);
      if (v.text == "-" || v.text == ".") v.text.clear();
      return v;
    }
    case Op::kPlus:
    case Op::kMinus: {
      const KeyValue a = arg(0), b = arg(1);
      if (n.type == 'N') {
        v.number = n.op == Op::kPlus ? a.number + b.number : a.number - b.number;
        v.text.clear();  // computed: no exact text
      } else if (n.op == Op::kPlus) {
        v.text = a.text + b.text;
      } else {
        const size_t keep = a.text.find_last_not_of(' ') + 1;
        v.text = a.text.substr(0, keep) + b.text + std::string(a.text.size() - keep, ' ');
      }
      return v;
    }
  }
  return v;
}

size_t SignificantDigits(const std::string& key) {
  const auto d = DecodeNumericKey(key);
  return d ? d->digits.size() : 0;
}

}  // namespace

std::string UpperInCodePage(std::string_view text, int code_page) {
  std::string out(text);
  for (char& ch : out) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c >= 'a' && c <= 'z') {
      ch = static_cast<char>(c - 32);
    } else if (c >= 0x80) {
      if (code_page == 1252) {
        if (c >= 0xE0 && c <= 0xFE && c != 0xF7) ch = static_cast<char>(c - 32);
      } else {
        ch = static_cast<char>(UpperOem(c, code_page));
      }
    }
  }
  return out;
}

std::string DecimalText(double v) {
  if (!std::isfinite(v)) return "0";
  char buf[400];
  const double mag = std::fabs(v);
  const int int_digits = mag < 1 ? 1 : static_cast<int>(std::floor(std::log10(mag))) + 1;
  const int decimals = std::clamp(15 - int_digits, 0, 15);
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  std::string s = buf;
  if (s.find('.') != std::string::npos) {
    s.erase(s.find_last_not_of('0') + 1);
    if (s.back() == '.') s.pop_back();
  }
  if (s == "-0") s = "0";
  return s;
}

KeyExpression::KeyExpression(KeyExpression&&) noexcept = default;
KeyExpression& KeyExpression::operator=(KeyExpression&&) noexcept = default;
KeyExpression::~KeyExpression() = default;

std::optional<KeyExpression> KeyExpression::Parse(std::string_view text,
                                                  const std::vector<FieldDesc>& fields,
                                                  int code_page, std::string* error) {
  std::string why;
  Parser p(text, fields, code_page);
  auto root = p.ParseAll(&why);
  if (!root) {
    if (error) *error = "key expression \"" + std::string(text) + "\": " + why;
    return std::nullopt;
  }
  KeyExpression e;
  e.text_ = std::string(text);
  e.code_page_ = code_page;
  if (root->op == Op::kField) {
    e.single_field_ = root->field;
    e.single_field_width_ = fields[static_cast<size_t>(root->field)].length;
  }
  e.root_ = std::move(root);
  return e;
}

char KeyExpression::type() const { return root_->type; }
size_t KeyExpression::width() const { return root_->width; }

KeyValue KeyExpression::Evaluate(const RecordView& record) const {
  return Eval(*root_, record, code_page_);
}

std::optional<std::string> KeyExpression::MakeKey(const RecordView& record, char key_type,
                                                  size_t key_length) const {
  if (key_type != type()) return std::nullopt;
  const KeyValue v = Evaluate(record);
  if (key_type == 'D') return EncodeDateKey(v.day);
  if (key_type == 'N') {
    std::string text = v.text.empty() ? DecimalText(v.number) : v.text;
    // A single field carries its declared width; computed values their own digits.
    auto key = EncodeNumericKey(text, single_field_ >= 0 ? std::min(single_field_width_, 20) : 0);
    if (!key) key = EncodeNumericKey(DecimalText(v.number), 0);
    if (!key) key = EncodeNumericKey("0", 0);
    if (single_field_ < 0) {
      const int digits = static_cast<int>(SignificantDigits(*key));
      (*key)[1] = static_cast<char>((static_cast<uint8_t>((*key)[1]) & 0x83) | ((digits & 31) << 2));
      if (digits == 0) (*key)[1] = 0x10;
    }
    return key;
  }
  std::string key = v.text.substr(0, key_length);
  key.resize(key_length, ' ');
  return key;
}

std::optional<KeyCondition> KeyCondition::Parse(std::string_view text, std::string* error) {
  struct P {
    std::string s;
    size_t pos = 0;
    std::vector<Step> out;
    std::string error;
    void Skip() {
      while (pos < s.size() && (s[pos] == ' ' || s[pos] == '\t')) ++pos;
    }
    bool Eat(std::string_view word) {
      Skip();
      if (s.compare(pos, word.size(), word) != 0) return false;
      pos += word.size();
      return true;
    }
    void Or() {
      And();
      while (error.empty() && Eat(".OR.")) {
        And();
        out.push_back(Step::kOr);
      }
    }
    void And() {
      Unary();
      while (error.empty() && Eat(".AND.")) {
        Unary();
        out.push_back(Step::kAnd);
      }
    }
    void Unary() {
      if (Eat(".NOT.") || Eat("!") || Eat("NOT ")) {
        Unary();
        out.push_back(Step::kNot);
        return;
      }
      if (Eat("DELETED")) {
        if (!Eat("(") || !Eat(")")) error = "DELETED needs ()";
        out.push_back(Step::kDeleted);
      } else if (Eat(".T.") || Eat(".TRUE.")) {
        out.push_back(Step::kTrue);
      } else if (Eat(".F.") || Eat(".FALSE.")) {
        out.push_back(Step::kFalse);
      } else if (Eat("(")) {
        Or();
        if (!Eat(")")) error = "a ')' is missing";
      } else if (error.empty()) {
        error = "only DELETED(), .T., .F., .NOT., .AND. and .OR. are understood";
      }
    }
  } p;
  p.s = UpperInCodePage(text, 437);
  p.Or();
  p.Skip();
  if (p.error.empty() && p.pos != p.s.size()) p.error = "unexpected text at the end";
  if (!p.error.empty()) {
    if (error) *error = "FOR condition \"" + std::string(text) + "\": " + p.error;
    return std::nullopt;
  }
  KeyCondition c;
  c.program_ = std::move(p.out);
  c.text_ = std::string(text);
  return c;
}

bool KeyCondition::Holds(const RecordView& record) const {
  std::vector<bool> stack;
  for (Step st : program_) {
    switch (st) {
      case Step::kDeleted: stack.push_back(record.Deleted()); break;
      case Step::kTrue: stack.push_back(true); break;
      case Step::kFalse: stack.push_back(false); break;
      case Step::kNot: stack.back() = !stack.back(); break;
      case Step::kAnd:
      case Step::kOr: {
        const bool b = stack.back();
        stack.pop_back();
        stack.back() = st == Step::kAnd ? (stack.back() && b) : (stack.back() || b);
        break;
      }
    }
  }
  return stack.empty() || stack.back();
}

}  // namespace snyltdyr::engine
