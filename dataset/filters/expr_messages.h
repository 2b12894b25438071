// Message texts of the filter language. They are raised without a component name in front;
// only "Field '%s' not found" comes from the dataset's field lookup and carries its name.
#pragma once

#include <string>

namespace snyltdyr::msg {

inline constexpr const char* kExprInvalidChar = "Invalid filter expression character: '%s'";
inline constexpr const char* kExprNameError = "Unterminated field name";
inline constexpr const char* kExprInvalidKeyword = "Invalid use of keyword";
inline constexpr const char* kExprStringError = "Unterminated string constant";
inline constexpr const char* kExprLParenExpected = "'(' expected but %s found";
inline constexpr const char* kExprEmptyInList = "IN predicate list may not be empty";
inline constexpr const char* kExprRParenOrCommaExpected = "')' or ',' expected but %s found";
inline constexpr const char* kExprRParenExpected = "')' expected but %s found";
inline constexpr const char* kExprNoArithmetic = "Arithmetic in filter expressions not supported";
inline constexpr const char* kExprExpected = "Expression expected but %s found";
inline constexpr const char* kExprTermination = "Filter expression incorrectly terminated";
inline constexpr const char* kExprIncorrect = "Incorrectly formed filter expression";
inline constexpr const char* kExprBadField = "Field '%s' cannot be used in a filter expression";
inline constexpr const char* kExprTypeMismatch = "Type mismatch in expression";
inline constexpr const char* kExprBadNullTest = "NULL only allowed with '=' and '<>'";
inline constexpr const char* kExprRangeError = "Constant out of range";
inline constexpr const char* kExprBadConst = "Constant is not correct type %s";
// A text whose tree would not fit the 16-bit sizes and offsets of the filter tree.
inline constexpr const char* kExprTooComplex = "Filter expression too complex";

// The texts of the boolean constants, as the words True and False.
inline constexpr const char* kTrueText = "True";
inline constexpr const char* kFalseText = "False";

// `pattern` with its one "%s" replaced by `arg`.
inline std::string Format(const char* pattern, const std::string& arg) {
  std::string s(pattern);
  size_t at = s.find("%s");
  if (at != std::string::npos) s.replace(at, 2, arg);
  return s;
}

}  // namespace snyltdyr::msg
