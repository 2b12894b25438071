#include "dataset/filters/filter_expr.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <optional>

#include "dataset/filters/expr_messages.h"
#include "dataset/fields/field.h"
#include "runtime/cp1252.h"
#include "runtime/date_time.h"
#include "runtime/float_text.h"
#include "runtime/whole_number.h"

namespace snyltdyr {

namespace {

constexpr size_t kHeaderSize = 10;
constexpr size_t kMaxTreeSize = 65535;
constexpr size_t kMaxTextConstant = 255;

TFieldMap MakeEngineTypeMap() {
  TFieldMap m{};  // every type not named below: 0, unknown
  for (TFieldType t : {ftString, ftFixedChar, ftWideString, ftGuid}) m[t] = 1;
  m[ftDate] = 2;
  for (int t = ftBlob; t <= ftTypedBinary; ++t) m[t] = 3;
  m[ftOraBlob] = 3;
  m[ftOraClob] = 3;
  m[ftBoolean] = 4;
  m[ftSmallint] = 5;
  m[ftInteger] = 6;
  m[ftAutoInc] = 6;
  m[ftFloat] = 7;
  m[ftCurrency] = 7;
  m[ftBCD] = 8;
  m[ftFMTBcd] = 8;
  m[ftBytes] = 9;
  m[ftTime] = 10;
  m[ftDateTime] = 11;
  m[ftWord] = 12;
  m[ftVarBytes] = 15;
  m[ftCursor] = 17;
  m[ftLargeint] = 18;
  m[ftADT] = 20;
  m[ftArray] = 21;
  m[ftReference] = 22;
  m[ftDataSet] = 23;
  m[ftTimeStamp] = 24;
  return m;
}

bool IsTextType(TFieldType t) {
  return t == ftString || t == ftFixedChar || t == ftWideString || t == ftGuid;
}

bool IsComparisonSign(TCANOperator op) { return op >= toEqual && op <= toLessEqual; }

TCANOperator Reversed(TCANOperator op) {
  switch (op) {
    case toGreater: return toLess;
    case toLess: return toGreater;
    case toGreaterEqual: return toLessEqual;
    case toLessEqual: return toGreaterEqual;
    default: return op;  // = and <> read the same both ways
  }
}

template <typename T>
std::string Bytes(T value) {
  std::string s(sizeof value, '\0');
  std::memcpy(s.data(), &value, sizeof value);  // the tree is little-endian, as is the host
  return s;
}

// The text a constant stands for when it is written as text or converted from text.
std::string ValueText(const TExprValue& v) {
  if (v.kind == TExprValue::kBoolean) return v.boolean ? msg::kTrueText : msg::kFalseText;
  return v.text;
}

int32_t WholeNumber(const TExprValue& v) {
  if (v.kind == TExprValue::kBoolean) return v.boolean ? 1 : 0;
  return ParseWholeNumber(v.text);
}

double FloatNumber(const TExprValue& v) {
  if (v.kind == TExprValue::kBoolean) return v.boolean ? 1 : 0;
  return ParseFloat(v.text);
}

bool BooleanValue(const TExprValue& v) {
  if (v.kind == TExprValue::kBoolean) return v.boolean;
  if (SameText1252(v.text, msg::kTrueText)) return true;
  if (SameText1252(v.text, msg::kFalseText)) return false;
  if (auto n = TryParseFloat(v.text)) return *n != 0;
  throw EConvertError("'" + v.text + "' is not a valid boolean value");
}

// The packed decimal record: precision, sign bit and scale, then up to 32 digits as nibbles.
std::string BcdBytes(double value) {
  char text[64];
  auto [end, ec] = std::to_chars(text, text + sizeof text, std::fabs(value),
                                 std::chars_format::fixed);
  if (ec != std::errc()) throw EDatabaseError(msg::kExprRangeError);
  std::string digits;
  int scale = 0;
  bool after_point = false;
  for (const char* p = text; p < end; ++p) {
    if (*p == '.') {
      after_point = true;
      continue;
    }
    if (digits.empty() && *p == '0' && !after_point) continue;  // leading zeros
    digits += *p;
    if (after_point) ++scale;
  }
  if (digits.empty()) digits = "0";
  if (digits.size() > 32 || scale > 63) throw EDatabaseError(msg::kExprRangeError);
  std::string out(18, '\0');
  out[0] = static_cast<char>(digits.size());
  out[1] = static_cast<char>(scale | (value < 0 ? 0x80 : 0));
  for (size_t i = 0; i < digits.size(); ++i) {
    uint8_t nibble = static_cast<uint8_t>(digits[i] - '0');
    out[2 + i / 2] = static_cast<char>(out[2 + i / 2] | (i % 2 == 0 ? nibble << 4 : nibble));
  }
  return out;
}

std::string TimeStampBytes(TDateTime value) {
  int year, month, day, hour, minute, second, ms;
  DecodeDate(value, year, month, day);
  DecodeTime(value, hour, minute, second, ms);
  std::string out;
  for (int part : {year, month, day, hour, minute, second}) out += Bytes<uint16_t>(part);
  out += Bytes<uint32_t>(ms);
  return out;
}

}  // namespace

const TFieldMap& EngineTypeMap() {
  static const TFieldMap map = MakeEngineTypeMap();
  return map;
}

// ---- Parse nodes ---------------------------------------------------------------------

TFilterExpr::TFilterExpr(TDataSet& dataset, const TFieldMap& field_map, TFilterOptions options,
                         TParserOptions parser_options, std::string field_name,
                         std::vector<bool>* fields_used)
    : dataset_(dataset), field_map_(field_map), options_(options),
      parser_options_(parser_options), field_name_(std::move(field_name)),
      fields_used_(fields_used) {}

TFilterExpr::~TFilterExpr() {
  // Unlink one node at a time: a long chain must not unwind recursively.
  while (nodes_) nodes_ = std::move(nodes_->next);
}

TExprNode* TFilterExpr::NewNode(TExprNodeKind kind, TCANOperator op, TExprValue data,
                                TExprNode* left, TExprNode* right) {
  TField* field = nullptr;
  if (kind == pkField) {
    field = &dataset_.FieldByName(data.text);
    if (fields_used_ != nullptr && field->FieldNumber() > 0) {
      size_t number = static_cast<size_t>(field->FieldNumber());
      if (fields_used_->size() <= number) fields_used_->resize(number + 1);
      (*fields_used_)[number] = true;
    }
  }
  auto node = std::make_unique<TExprNode>();
  node->kind = kind;
  node->op = op;
  node->data = std::move(data);
  node->left = left;
  node->right = right;
  node->field = field;
  if (field != nullptr) {
    node->data_type = field->DataType();
    node->data_size = field->Size();
  }
  node->next = std::move(nodes_);
  nodes_ = std::move(node);
  return nodes_.get();
}

// ---- Writing the tree ----------------------------------------------------------------

class TFilterExpr::Writer {
 public:
  explicit Writer(TFilterExpr& expr) : expr_(expr) {}

  TFilterTree Write(TExprNode* root) {
    Put(root, toNone);
    size_t total = kHeaderSize + nodes_.size() + literals_.size();
    auto out = std::make_shared<std::vector<uint8_t>>();
    out->reserve(total);
    for (uint16_t v : {uint16_t{2}, static_cast<uint16_t>(total), uint16_t{0xFFFF},
                       static_cast<uint16_t>(kHeaderSize),
                       static_cast<uint16_t>(kHeaderSize + nodes_.size())}) {
      out->push_back(static_cast<uint8_t>(v & 0xFF));
      out->push_back(static_cast<uint8_t>(v >> 8));
    }
    out->insert(out->end(), nodes_.begin(), nodes_.end());
    out->insert(out->end(), literals_.begin(), literals_.end());
    return out;
  }

 private:
  void CheckSize() const {
    if (kHeaderSize + nodes_.size() + literals_.size() > kMaxTreeSize) {
      throw EDatabaseError(msg::kExprTooComplex);
    }
  }

  // A node at the end of the node area with `operands` empty slots; gives its offset.
  uint16_t Node(TNodeClass node_class, TCANOperator op, int operands) {
    size_t at = nodes_.size();
    for (uint32_t v : {static_cast<uint32_t>(node_class), static_cast<uint32_t>(op)}) {
      for (int i = 0; i < 4; ++i) nodes_.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
    nodes_.resize(nodes_.size() + 2 * static_cast<size_t>(operands), 0);
    CheckSize();
    return static_cast<uint16_t>(at);
  }

  void Operand(uint16_t node, int slot, uint16_t value) {
    size_t at = node + 8 + 2 * static_cast<size_t>(slot);
    nodes_[at] = static_cast<uint8_t>(value & 0xFF);
    nodes_[at + 1] = static_cast<uint8_t>(value >> 8);
  }

  uint16_t Literal(const std::string& bytes) {
    size_t at = literals_.size();
    literals_.insert(literals_.end(), bytes.begin(), bytes.end());
    CheckSize();
    return static_cast<uint16_t>(at);
  }

  std::string Native(std::string text) {
    expr_.dataset_.TranslateText(text, true);
    return text;
  }

  uint16_t Put(TExprNode* n, TCANOperator parent) {
    switch (n->kind) {
      case pkField: return PutFieldReference(n, parent);
      case pkConstant: return PutConstant(n);
      default: return PutOperator(n);
    }
  }

  uint16_t PutFieldReference(TExprNode* n, TCANOperator parent) {
    bool condition_position =
        parent == toNone || parent == toNot || parent == toAnd || parent == toOr;
    if (!condition_position || n->data_type != ftBoolean) return PutField(n);
    // A bare logical field stands for "field <> false".
    uint16_t at = Node(tnBinary, toNotEqual, 2);
    Operand(at, 0, PutField(n));
    uint16_t constant = Node(tnConstant, toConstant, 3);
    Operand(constant, 0, expr_.field_map_[ftBoolean]);
    Operand(constant, 1, 2);
    Operand(constant, 2, Literal(std::string(2, '\0')));
    Operand(at, 1, constant);
    return at;
  }

  uint16_t PutField(TExprNode* n) {
    TFieldKind kind = n->field->FieldKind();
    if (kind != fkData && kind != fkInternalCalc) {
      throw EDatabaseError(msg::Format(msg::kExprBadField, n->field->FieldName()));
    }
    uint16_t at = Node(tnField, toField, 2);
    Operand(at, 0, static_cast<uint16_t>(n->field->FieldNumber()));
    Operand(at, 1, Literal(Native(n->data.text) + '\0'));
    return at;
  }

  uint16_t PutConstant(TExprNode* n) { return PutValue(n, n->data); }

  // A constant node holding `value` encoded by the node's data type.
  uint16_t PutValue(TExprNode* n, const TExprValue& value) {
    if (value.kind == TExprValue::kNull) throw EDatabaseError(msg::kExprBadNullTest);
    std::string bytes = Encode(n->data_type, value);
    uint16_t at = Node(tnConstant, toConstant, 3);
    Operand(at, 0, expr_.field_map_[n->data_type]);
    Operand(at, 1, static_cast<uint16_t>(bytes.size()));
    Operand(at, 2, Literal(bytes));
    return at;
  }

  std::string Encode(TFieldType type, const TExprValue& value) {
    switch (type) {
      case ftString:
      case ftFixedChar:
      case ftWideString:
      case ftGuid: {
        std::string text = ValueText(value);
        if (text.size() > kMaxTextConstant) text.resize(kMaxTextConstant);
        return Native(std::move(text)) + '\0';
      }
      case ftSmallint: {
        int32_t v = WholeNumber(value);
        if (v < -32768 || v > 32767) throw EDatabaseError(msg::kExprRangeError);
        return Bytes<int16_t>(static_cast<int16_t>(v));
      }
      case ftWord: {
        int32_t v = WholeNumber(value);
        if (v < 0 || v > 65535) throw EDatabaseError(msg::kExprRangeError);
        return Bytes<uint16_t>(static_cast<uint16_t>(v));
      }
      case ftInteger:
      case ftAutoInc:
        return Bytes<int32_t>(WholeNumber(value));
      case ftBoolean:
        return Bytes<int16_t>(BooleanValue(value) ? 1 : 0);
      case ftFloat:
      case ftCurrency:
        return Bytes<double>(FloatNumber(value));
      case ftDate:
        return Bytes<int32_t>(DateToDayNumber(ParseDate(ValueText(value))));
      case ftTime:
        return Bytes<int32_t>(TimeToMilliseconds(ParseTime(ValueText(value))));
      case ftDateTime:
        return Bytes<double>(DateTimeToStamp(ParseDateTime(ValueText(value))));
      case ftBCD:
      case ftFMTBcd:
        return BcdBytes(FloatNumber(value));
      case ftTimeStamp:
        return TimeStampBytes(ParseDateTime(ValueText(value)));
      default:
        throw EDatabaseError(msg::Format(msg::kExprBadConst, ValueText(value)));
    }
  }

  uint16_t PutOperator(TExprNode* n) {
    switch (n->op) {
      case toIsBlank:
      case toNotBlank:
      case toNot: {
        uint16_t at = Node(tnUnary, n->op, 1);
        Operand(at, 0, Put(n->left, n->op));
        return at;
      }
      case toIn: return PutIn(n);
      default: return PutBinary(n);
    }
  }

  uint16_t PutBinary(TExprNode* n) {
    TExprNode* left = n->left;
    TExprNode* right = n->right;
    TCANOperator op = n->op;
    if (IsComparisonSign(op) && right->kind == pkField && left->kind != pkField) {
      std::swap(left, right);
      op = Reversed(op);
    }
    if (left->kind == pkField && right->kind == pkConstant &&
        (op == toEqual || op == toNotEqual || op == toLike)) {
      if (right->data.kind == TExprValue::kNull) {
        if (op == toLike) throw EDatabaseError(msg::kExprBadNullTest);
        uint16_t at = Node(tnUnary, op == toEqual ? toIsBlank : toNotBlank, 1);
        Operand(at, 0, Put(left, n->op));
        return at;
      }
      if (IsTextType(right->data_type)) {
        if (auto at = PutCompare(n, op, left, right)) return *at;
      }
    }
    uint16_t at = Node(tnBinary, op, 2);
    Operand(at, 0, Put(left, n->op));
    Operand(at, 1, Put(right, n->op));
    return at;
  }

  // The compare node for a text constant, when case is ignored or a prefix is asked for.
  std::optional<uint16_t> PutCompare(TExprNode* n, TCANOperator op, TExprNode* field,
                                     TExprNode* constant) {
    std::string text = ValueText(constant->data);
    if (text.empty()) return std::nullopt;
    uint16_t ignore_case = (expr_.options_ & foCaseInsensitive) ? 1 : 0;
    size_t partial = 0;
    if (n->partial) {
      partial = text.size();
    } else if (!(expr_.options_ & foNoPartialCompare) && text.size() > 1 && text.back() == '*') {
      text.pop_back();
      partial = text.size();
    }
    if (ignore_case == 0 && partial == 0) return std::nullopt;
    uint16_t at = Node(tnCompare, op, 4);
    Operand(at, 0, ignore_case);
    Operand(at, 1, static_cast<uint16_t>(std::min(partial, kMaxTextConstant)));
    Operand(at, 2, Put(field, n->op));
    Operand(at, 3, PutValue(constant, TExprValue::Text(std::move(text))));
    return at;
  }

  uint16_t PutIn(TExprNode* n) {
    uint16_t at = Node(tnBinary, toIn, 2);
    Operand(at, 0, Put(n->left, toIn));
    uint16_t item = Node(tnListItem, toListItem, 2);
    Operand(at, 1, item);
    Operand(item, 0, Put(n->args.front(), toIn));
    // Every later element goes before its own list item.
    for (size_t i = 1; i < n->args.size(); ++i) {
      uint16_t element = Put(n->args[i], toIn);
      uint16_t next = Node(tnListItem, toListItem, 2);
      Operand(next, 0, element);
      Operand(item, 1, next);
      item = next;
    }
    return at;
  }

  TFilterExpr& expr_;
  std::vector<uint8_t> nodes_;
  std::vector<uint8_t> literals_;
};

TFilterTree TFilterExpr::GetFilterData(TExprNode* root) { return Writer(*this).Write(root); }

}  // namespace snyltdyr
