// Evaluation of a filter tree against the records of one table.
//
// A FilterProgram is a filter tree read, checked and bound to the table's columns; it
// answers for one record at a time whether the record passes. Rules of evaluation:
//
// - Character columns are compared without their trailing blanks (and trailing NULs, which
//   some writers pad with), so a stored "Haptor Mark" padded to 30 characters equals the
//   constant "Haptor Mark"; trailing blanks of a text constant do not count either. Text
//   compares byte by byte in the table's own character set, in which the constants arrive.
// - Numeric columns read as numbers, dates as day numbers, logical columns as booleans.
//   A blank numeric, date or logical column is null: it satisfies only the blank test, and
//   every comparison with it is false (also <>).
// - A text compared with a number (a character column against a number in an IN list, a
//   numeric column against a text) is read as a number; text that is not a number is unequal
//   to every number and neither greater nor less.
// - LIKE: "%" matches any run of characters, "_" exactly one; the whole value must match.
// - The compare node ignores case by the table's character set when asked, and with a
//   prefix length compares only that many leading characters (LIKE: the pattern need only
//   match the start of the value).
// - A memo column's text is read through the memo reader, when one is set; without it a
//   memo reads as empty text. The blank test of a memo looks only at its block number.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "storage/engine/filters/filter_tree.h"
#include "storage/engine/datafile/record_view.h"

namespace snyltdyr::engine {

// Gives the text of the memo column `field_index` (0-based) of a record.
using MemoReader = std::function<std::string(const RecordView& record, size_t field_index)>;

class FilterProgram {
 public:
  // Reads the tree and binds its field references to `fields` (by number, or by name when
  // the number is 0). A reference to no column is kBadOperand.
  static FilterTreeError Compile(const uint8_t* data, size_t size,
                                 const std::vector<FieldDesc>& fields, FilterProgram* out);

  void SetMemoReader(MemoReader reader) { memo_reader_ = std::move(reader); }

  // Whether `record` passes. The record must have the columns the program was compiled for.
  bool Matches(const RecordView& record) const;

  struct Value;  // a value met during evaluation (defined where it is used)

 private:
  Value Evaluate(int node, const RecordView& record) const;
  Value FieldValue(const FilterNode& node, const RecordView& record) const;
  bool Truth(int node, const RecordView& record) const;
  bool Compare(const FilterNode& node, const RecordView& record) const;
  bool CompareText(const FilterNode& node, const RecordView& record) const;
  bool IsBlank(int node, const RecordView& record) const;
  bool In(const FilterNode& node, const RecordView& record) const;

  FilterTree tree_;
  std::vector<size_t> field_index_;  // per node: the column of a field node
  MemoReader memo_reader_;
};

// Upper case of one byte in code page `code_page` (437, 850, 865 or 1252; others: ASCII).
uint8_t UpperInCodePage(uint8_t c, int code_page);

// Whether `text` matches the LIKE pattern (% any run, _ one character).
bool LikeMatch(std::string_view text, std::string_view pattern, bool ignore_case, int code_page);

// Day number of a date, 1 January of year 1 being day 1; 0 when the date does not exist.
int32_t ValidDayNumber(int year, int month, int day);

}  // namespace snyltdyr::engine
