// Key expressions of index tags, parsed once and evaluated on records.
//
// The language is the small part of the xBase expression language that index keys use:
//   field names (case-insensitive), 'text' and "text" constants, numbers,
//   UPPER(c), TRIM(c) = RTRIM(c), LTRIM(c), SUBSTR(c, start [, length]), LEFT(c, n),
//   RIGHT(c, n), DTOS(d), STR(n [, width [, decimals]]), VAL(c),
//   a + b (concatenation of texts, sum of numbers), a - b (texts: concatenation with the
//   left side's trailing blanks moved to the end; numbers: difference).
// Every expression has a static type ('C', 'N' or 'D') and, for texts, a width, known
// before any record is seen: that is what a new tag's key type and length come from.
// Anything else (logical or memo fields, unknown functions) is refused at parse time, so a
// tag that parses can always be evaluated.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "storage/engine/index/index_status.h"
#include "storage/engine/datafile/record_view.h"

namespace snyltdyr::engine {

// The value of an expression for one record.
struct KeyValue {
  char type = 'C';
  std::string text;    // 'C': the bytes; 'N': exact decimal text when known, else empty
  double number = 0;   // 'N'
  double day = 0;      // 'D': day number, 0 for a blank date
};

class KeyExpression {
 public:
  struct Node;

  // Parses `text` against the table's fields. On failure `error` says what is wrong.
  static std::optional<KeyExpression> Parse(std::string_view text,
                                            const std::vector<FieldDesc>& fields,
                                            int code_page, std::string* error);

  KeyExpression(KeyExpression&&) noexcept;
  KeyExpression& operator=(KeyExpression&&) noexcept;
  ~KeyExpression();

  char type() const;
  // Width of a text expression (at most 254); 12 for numbers and 8 for dates.
  size_t width() const;
  // Index of the field when the expression is exactly one field name, else -1.
  int single_field() const { return single_field_; }
  const std::string& text() const { return text_; }

  KeyValue Evaluate(const RecordView& record) const;

  // The key bytes for a tag of `key_type` and `key_length`: texts padded with blanks or
  // cut, numbers in the 12-byte decimal form, dates as day-number doubles. A text
  // expression in a numeric or date tag (or the other way round) yields nothing.
  std::optional<std::string> MakeKey(const RecordView& record, char key_type,
                                     size_t key_length) const;

 private:
  KeyExpression() = default;
  std::unique_ptr<Node> root_;
  std::string text_;
  int single_field_ = -1;
  int single_field_width_ = 0;
  int code_page_ = 437;
};

// The FOR condition of a tag: which records have an entry. Tags of other programs use
// ".NOT. DELETED()", so deleted records drop out of them. Understood: DELETED(), .T.,
// .F., .NOT. (also NOT and !), .AND., .OR. and parentheses, in any case.
class KeyCondition {
 public:
  static std::optional<KeyCondition> Parse(std::string_view text, std::string* error);
  bool Holds(const RecordView& record) const;
  const std::string& text() const { return text_; }

 private:
  enum class Step : uint8_t { kDeleted, kTrue, kFalse, kNot, kAnd, kOr };
  std::vector<Step> program_;  // postfix
  std::string text_;
};

// Upper-cases text of the given code page: ASCII letters, and the accented letters of the
// Western European code pages (1252, 437, 850, 865).
std::string UpperInCodePage(std::string_view text, int code_page);

// Plain decimal text of a double (no exponent, at most 15 significant digits).
std::string DecimalText(double v);

}  // namespace snyltdyr::engine
