// TExprParser: reads a filter text, checks its names and types against the dataset's
// fields and leaves the filter tree the storage engine evaluates.
//
// The language, in filter mode (arithmetic, functions and aggregates are refused):
//   expression  := and-term { OR and-term }
//   and-term    := not-term { AND not-term }
//   not-term    := NOT comparison | comparison            (NOT is taken once)
//   comparison  := operand [ (= <> >= <= > <) operand | LIKE operand | IS NULL
//                            | IS NOT NULL | IN ( expression { , expression } ) ]
//   operand     := NULL | True | False | field | [field name] | 'text' | number
//                  | ( expression )
// Keywords are plain words compared without regard to ASCII case, so "[AND]" names a field.
// A constant compared with a field takes the field's type: «ÅRSKLAS=3» compares the text
// field with the text "3". The whole text must be one boolean condition.
//
// Construction parses at once; a bad text raises EDatabaseError and leaves nothing behind.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "dataset/data_set.h"
#include "dataset/filters/filter_expr.h"

namespace snyltdyr {

enum TExprToken : uint8_t {
  tkEnd,
  tkSymbol,
  tkName,
  tkLiteral,
  tkLParen,
  tkRParen,
  tkEqual,
  tkNotEqual,
  tkGreaterEqual,
  tkLessEqual,
  tkGreater,
  tkLess,
  tkPlus,
  tkMinus,
  tkStar,
  tkSlash,
  tkComma,
  tkLike,
  tkIsNull,
  tkIsNotNull,
  tkIn,
};

class TExprParser {
 public:
  // `field_name` and `parser_options` serve default-value expressions, which tables do
  // not have: table filters pass them empty. `fields_used`, when given, gets the numbers
  // of the named fields marked.
  TExprParser(TDataSet& dataset, const std::string& text, TFilterOptions options,
              TParserOptions parser_options, const std::string& field_name,
              std::vector<bool>* fields_used, const TFieldMap& field_map);
  ~TExprParser();
  TExprParser(const TExprParser&) = delete;
  TExprParser& operator=(const TExprParser&) = delete;

  const TFilterTree& FilterData() const { return filter_data_; }
  size_t DataSize() const { return filter_data_->size(); }

 private:
  // Token reader.
  void NextToken();
  void SkipBlanks();
  void SkipComment();
  void ReadNumber();
  void ReadName();
  void ReadWord();
  void ReadQuotedText();
  bool QuoteContinuesText(size_t after_quote) const;
  std::string TokenText() const;
  [[noreturn]] void InvalidCharacter(size_t at) const;

  // Grammar.
  TExprNode* Expression();
  TExprNode* AndTerm();
  TExprNode* NotTerm();
  TExprNode* Comparison();
  TExprNode* Additive();
  TExprNode* Multiplicative();
  TExprNode* Primary();
  TExprNode* InList(TExprNode* left);
  TExprNode* Operator(TCANOperator op, TExprNode* left, TExprNode* right);
  void TypeComparison(TExprNode* node);
  bool IsWord(const char* word) const;

  std::unique_ptr<TFilterExpr> filter_;
  TFilterTree filter_data_;

  std::string text_;
  size_t pos_ = 0;
  size_t token_start_ = 0;
  size_t token_end_ = 0;
  TExprToken token_ = tkEnd;
  TExprToken previous_token_ = tkEnd;
  std::string token_string_;
  bool literal_is_number_ = false;
  char decimal_separator_ = '.';
  std::string true_text_;
  std::string false_text_;
  int depth_ = 0;
};

}  // namespace snyltdyr
