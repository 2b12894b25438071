#include "dataset/filters/expr_parser.h"

#include <cstring>

#include "dataset/filters/expr_messages.h"
#include "runtime/regional_settings.h"

namespace snyltdyr {

namespace {

// Parentheses and IN lists nest no deeper than this, so no text can exhaust the stack.
constexpr int kMaxNesting = 256;
// Quoted texts keep this many characters; the rest is read and dropped.
constexpr size_t kMaxQuotedText = 256;

bool IsBlank(char c) { return c >= 1 && c <= 32; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool StartsWord(char c) {
  auto b = static_cast<unsigned char>(c);
  return IsAsciiLetter(c) || c == '_' || (b >= 0x81 && b <= 0xFE);
}

bool ContinuesWord(char c) {
  return IsAsciiLetter(c) || IsDigit(c) || c == '_' || c == '.' || c == '[' || c == ']';
}

bool SameAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

bool IsDateTimeType(TFieldType t) {
  return t == ftDate || t == ftTime || t == ftDateTime || t == ftTimeStamp;
}

bool IsTextType(TFieldType t) {
  return t == ftString || t == ftFixedChar || t == ftWideString || t == ftGuid;
}

}  // namespace

TExprParser::TExprParser(TDataSet& dataset, const std::string& text, TFilterOptions options,
                         TParserOptions parser_options, const std::string& field_name,
                         std::vector<bool>* fields_used, const TFieldMap& field_map)
    : filter_(std::make_unique<TFilterExpr>(dataset, field_map, options, parser_options,
                                            field_name, fields_used)),
      text_(text),
      decimal_separator_(Regional().decimal_separator),
      true_text_(msg::kTrueText),
      false_text_(msg::kFalseText) {
  NextToken();
  TExprNode* root = Expression();
  if (token_ != tkEnd) throw EDatabaseError(msg::kExprTermination);
  if (root->data_type != ftBoolean) throw EDatabaseError(msg::kExprIncorrect);
  filter_data_ = filter_->GetFilterData(root);
}

TExprParser::~TExprParser() = default;

// ---- Token reader ----------------------------------------------------------------------

void TExprParser::SkipBlanks() {
  while (pos_ < text_.size() && IsBlank(text_[pos_])) ++pos_;
}

// One comment "/* ... */". It ends at its first "*": a "*" inside a comment is an error.
void TExprParser::SkipComment() {
  if (text_.compare(pos_, 2, "/*") != 0) return;
  size_t star = text_.find('*', pos_ + 2);
  if (star == std::string::npos) InvalidCharacter(text_.size());
  if (star + 1 >= text_.size() || text_[star + 1] != '/') InvalidCharacter(star);
  pos_ = star + 2;
  SkipBlanks();
}

void TExprParser::InvalidCharacter(size_t at) const {
  std::string c = at < text_.size() ? std::string(1, text_[at]) : std::string();
  throw EDatabaseError(msg::Format(msg::kExprInvalidChar, c));
}

std::string TExprParser::TokenText() const {
  if (token_end_ <= token_start_) return "nothing";
  return "'" + text_.substr(token_start_, token_end_ - token_start_) + "'";
}

void TExprParser::NextToken() {
  previous_token_ = token_;
  token_string_.clear();
  SkipBlanks();
  SkipComment();
  token_start_ = pos_;
  if (pos_ >= text_.size()) {
    token_ = tkEnd;
    token_end_ = pos_;
    return;
  }
  char c = text_[pos_];
  auto single = [&](TExprToken t) {
    token_ = t;
    ++pos_;
  };
  switch (c) {
    case '\'': ReadQuotedText(); break;
    case '(': single(tkLParen); break;
    case ')': single(tkRParen); break;
    case '*': single(tkStar); break;
    case '+': single(tkPlus); break;
    case ',': single(tkComma); break;
    case '/': single(tkSlash); break;
    case '=': single(tkEqual); break;
    case '<':
      single(tkLess);
      if (pos_ < text_.size() && text_[pos_] == '=') single(tkLessEqual);
      else if (pos_ < text_.size() && text_[pos_] == '>') single(tkNotEqual);
      break;
    case '>':
      single(tkGreater);
      if (pos_ < text_.size() && text_[pos_] == '=') single(tkGreaterEqual);
      break;
    case '[': ReadName(); break;
    default:
      if (c == '-' || IsDigit(c)) {
        ReadNumber();
      } else if (StartsWord(c)) {
        ReadWord();
      } else {
        InvalidCharacter(pos_);
      }
  }
  token_end_ = pos_;
}

// After an operand a "-" (or a digit) is a minus sign, so «1 2» reads as 1 minus.
void TExprParser::ReadNumber() {
  if (previous_token_ == tkSymbol || previous_token_ == tkName ||
      previous_token_ == tkLiteral || previous_token_ == tkRParen) {
    token_ = tkMinus;
    ++pos_;
    return;
  }
  size_t start = pos_++;
  while (pos_ < text_.size()) {
    char c = text_[pos_];
    if (!IsDigit(c) && c != '+' && c != '-' && c != 'E' && c != 'e' && c != decimal_separator_) {
      break;
    }
    ++pos_;
  }
  // With a decimal comma, "1, 2" is a list: a comma followed by a blank is given back.
  if (decimal_separator_ == ',' && text_[pos_ - 1] == ',' && pos_ < text_.size() &&
      IsBlank(text_[pos_])) {
    --pos_;
  }
  token_ = tkLiteral;
  literal_is_number_ = true;
  token_string_ = text_.substr(start, pos_ - start);
}

void TExprParser::ReadName() {
  size_t close = text_.find(']', pos_ + 1);
  if (close == std::string::npos) throw EDatabaseError(msg::kExprNameError);
  token_ = tkName;
  token_string_ = text_.substr(pos_ + 1, close - pos_ - 1);
  pos_ = close + 1;
}

// A word: its first character is taken as it is; ASCII letters, digits, "_", ".", "[" and
// "]" continue it. So «ÅRSKLAS» is one word, while «BÅT» is «B» followed by «ÅT».
void TExprParser::ReadWord() {
  size_t start = pos_++;
  while (pos_ < text_.size() && ContinuesWord(text_[pos_])) ++pos_;
  std::string word = text_.substr(start, pos_ - start);
  if (SameAscii(word, "LIKE")) {
    token_ = tkLike;
  } else if (SameAscii(word, "IN")) {
    token_ = tkIn;
  } else if (SameAscii(word, "IS")) {
    auto letters = [&] {
      SkipBlanks();
      size_t from = pos_;
      while (pos_ < text_.size() && IsAsciiLetter(text_[pos_])) ++pos_;
      return text_.substr(from, pos_ - from);
    };
    std::string next = letters();
    if (SameAscii(next, "NULL")) {
      token_ = tkIsNull;
    } else if (SameAscii(next, "NOT") && SameAscii(letters(), "NULL")) {
      token_ = tkIsNotNull;
    } else {
      throw EDatabaseError(msg::kExprInvalidKeyword);
    }
  } else {
    token_ = tkSymbol;
    token_string_ = std::move(word);
  }
}

void TExprParser::ReadQuotedText() {
  ++pos_;  // the opening quote
  size_t count = 0;
  auto add = [&](char c) {
    if (count++ < kMaxQuotedText) token_string_ += c;
  };
  for (;;) {
    if (pos_ >= text_.size()) throw EDatabaseError(msg::kExprStringError);
    char c = text_[pos_];
    if (c != '\'') {
      add(c);
      ++pos_;
      continue;
    }
    if (pos_ + 1 < text_.size() && text_[pos_ + 1] == '\'') {
      add('\'');
      pos_ += 2;
      continue;
    }
    if (QuoteContinuesText(pos_ + 1)) {
      add('\'');
      ++pos_;
      continue;
    }
    ++pos_;  // the closing quote
    break;
  }
  token_ = tkLiteral;
  literal_is_number_ = false;
}

// Whether a single quote, followed by the text at `at`, belongs to the quoted text: it does
// when another quote comes later and the next word is a plain word, as in «NAME='O'Brien'».
// Only the first characters of the word can make it a keyword, so no more are read: each
// quote then costs as much as the text up to the next one, and a text of many quotes
// reads in time linear in its length.
bool TExprParser::QuoteContinuesText(size_t at) const {
  if (text_.find('\'', at) == std::string::npos) return false;
  constexpr size_t kWordLook = 11;  // one more than the longest keyword, "DESCENDING"
  auto word_at = [&](size_t from, size_t* end) {
    while (from < text_.size() && (IsBlank(text_[from]) || text_[from] == ')')) ++from;
    size_t to = from;
    while (to < text_.size() && to - from < kWordLook && !IsBlank(text_[to]) &&
           text_[to] != '(' && text_[to] != ',') {
      ++to;
    }
    *end = to;
    return std::string_view(text_).substr(from, to - from);
  };
  size_t end = 0;
  std::string_view word = word_at(at, &end);
  if (word.empty()) return false;
  char first = word[0];
  if (first == '\'' || first == '"' || first == '<' || first == '=' || first == '>') return false;
  if (word.substr(0, 2) == "/*") return false;
  if (IsDigit(first) ||
      ((first == '-' || first == '+' || first == '.') && word.size() > 1 && IsDigit(word[1]))) {
    return false;
  }
  for (const char* keyword : {"AND", "OR", "LIKE", "IS", "NULL", "ASC", "ASCENDING", "DESC",
                              "DESCENDING", "SELECT", "FROM", "WHERE", "HAVING", "UNION",
                              "PLAN"}) {
    if (SameAscii(word, keyword)) return false;
  }
  // Two-word keywords.
  size_t unused = 0;
  std::string_view second = word_at(end, &unused);
  if ((SameAscii(word, "GROUP") || SameAscii(word, "ORDER")) && SameAscii(second, "BY")) {
    return false;
  }
  if (SameAscii(word, "FOR") && SameAscii(second, "UPDATE")) return false;
  return true;
}

// ---- Grammar ---------------------------------------------------------------------------

bool TExprParser::IsWord(const char* word) const {
  return token_ == tkSymbol && SameAscii(token_string_, word);
}

TExprNode* TExprParser::Operator(TCANOperator op, TExprNode* left, TExprNode* right) {
  TExprNode* node = filter_->NewNode(pkOperator, op, TExprValue::Null(), left, right);
  node->data_type = ftBoolean;
  return node;
}

TExprNode* TExprParser::Expression() {
  if (++depth_ > kMaxNesting) throw EDatabaseError(msg::kExprTooComplex);
  TExprNode* left = AndTerm();
  while (IsWord("OR")) {
    NextToken();
    left = Operator(toOr, left, AndTerm());
  }
  --depth_;
  return left;
}

TExprNode* TExprParser::AndTerm() {
  TExprNode* left = NotTerm();
  while (IsWord("AND")) {
    NextToken();
    left = Operator(toAnd, left, NotTerm());
  }
  return left;
}

TExprNode* TExprParser::NotTerm() {
  if (!IsWord("NOT")) return Comparison();
  NextToken();
  return Operator(toNot, Comparison(), nullptr);
}

TExprNode* TExprParser::Comparison() {
  TExprNode* left = Additive();
  TCANOperator op = toNone;
  switch (token_) {
    case tkEqual: op = toEqual; break;
    case tkNotEqual: op = toNotEqual; break;
    case tkGreaterEqual: op = toGreaterEqual; break;
    case tkLessEqual: op = toLessEqual; break;
    case tkGreater: op = toGreater; break;
    case tkLess: op = toLess; break;
    case tkLike: op = toLike; break;
    case tkIsNull: op = toIsBlank; break;
    case tkIsNotNull: op = toNotBlank; break;
    case tkIn:
      NextToken();
      return InList(left);
    default:
      return left;
  }
  NextToken();
  TExprNode* right = (op == toIsBlank || op == toNotBlank) ? nullptr : Additive();
  TExprNode* node = Operator(op, left, right);
  TypeComparison(node);
  return node;
}

TExprNode* TExprParser::InList(TExprNode* left) {
  if (token_ != tkLParen) throw EDatabaseError(msg::Format(msg::kExprLParenExpected, TokenText()));
  NextToken();
  if (token_ == tkRParen) throw EDatabaseError(msg::kExprEmptyInList);
  TExprNode* node = Operator(toIn, left, nullptr);
  for (;;) {
    TExprNode* element = Expression();
    if (IsDateTimeType(left->data_type) && element->kind != pkField) {
      element->data_type = left->data_type;
    }
    node->args.push_back(element);
    if (token_ == tkRParen) break;
    if (token_ != tkComma) {
      throw EDatabaseError(msg::Format(msg::kExprRParenOrCommaExpected, TokenText()));
    }
    NextToken();
    if (token_ == tkEnd) throw EDatabaseError(msg::Format(msg::kExprRParenExpected, TokenText()));
  }
  NextToken();
  return node;
}

TExprNode* TExprParser::Additive() {
  TExprNode* node = Multiplicative();
  if (token_ == tkPlus || token_ == tkMinus) throw EDatabaseError(msg::kExprNoArithmetic);
  return node;
}

TExprNode* TExprParser::Multiplicative() {
  TExprNode* node = Primary();
  if (token_ == tkStar || token_ == tkSlash) throw EDatabaseError(msg::kExprNoArithmetic);
  return node;
}

TExprNode* TExprParser::Primary() {
  TExprNode* node = nullptr;
  switch (token_) {
    case tkSymbol:
      if (SameAscii(token_string_, "NULL")) {
        node = filter_->NewNode(pkConstant, toNone, TExprValue::Null(), nullptr, nullptr);
      } else if (SameAscii(token_string_, true_text_) || SameAscii(token_string_, false_text_)) {
        bool value = SameAscii(token_string_, true_text_);
        node = filter_->NewNode(pkConstant, toNone, TExprValue::Boolean(value), nullptr, nullptr);
        node->data_type = ftBoolean;
      } else {
        node = filter_->NewNode(pkField, toNone, TExprValue::Text(token_string_), nullptr,
                                nullptr);
      }
      break;
    case tkName:
      node = filter_->NewNode(pkField, toNone, TExprValue::Text(token_string_), nullptr, nullptr);
      break;
    case tkLiteral:
      node = filter_->NewNode(pkConstant, toNone, TExprValue::Text(token_string_), nullptr,
                              nullptr);
      node->data_type = literal_is_number_ ? ftFloat : ftString;
      break;
    case tkLParen:
      NextToken();
      node = Expression();
      if (token_ != tkRParen) {
        throw EDatabaseError(msg::Format(msg::kExprRParenExpected, TokenText()));
      }
      break;
    default:
      throw EDatabaseError(msg::Format(msg::kExprExpected, TokenText()));
  }
  NextToken();
  return node;
}

// A constant compared with a field takes the field's type; blobs compare only by LIKE;
// a text compared with a date or time reads as one.
void TExprParser::TypeComparison(TExprNode* node) {
  TExprNode* left = node->left;
  TExprNode* right = node->right;
  if (right != nullptr) {
    if (left->kind == pkField && right->kind == pkConstant) {
      right->data_type = left->data_type;
      right->data_size = left->data_size;
    } else if (right->kind == pkField && left->kind == pkConstant) {
      left->data_type = right->data_type;
      left->data_size = right->data_size;
    }
    if (node->op == toLike && IsBlobType(left->data_type)) {
      if (right->kind == pkConstant) right->data_type = ftString;
    } else if (left->data_type == ftBytes || IsBlobType(left->data_type) ||
               right->data_type == ftBytes || IsBlobType(right->data_type)) {
      throw EDatabaseError(msg::kExprTypeMismatch);
    }
  }
  node->data_type = ftBoolean;
  if (right == nullptr) return;
  if (IsDateTimeType(left->data_type) && IsTextType(right->data_type)) {
    right->data_type = left->data_type;
  } else if (IsDateTimeType(right->data_type) && IsTextType(left->data_type)) {
    left->data_type = right->data_type;
  }
}

}  // namespace snyltdyr
