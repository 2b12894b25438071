// TFilterExpr: the parse nodes of one filter text and their serialisation into the filter
// tree the storage engine evaluates.
//
// The filter tree is one little-endian byte buffer without padding:
//   header (10 bytes): u16 version 2 | u16 total size | u16 0xFFFF | u16 10 (node area)
//                      | u16 10 + node area size (literal area)
//   node area:         u32 class | u32 operator | u16 operands[n], node after node; node
//                      offsets count from the start of the node area, the root is at 0
//   literal area:      field names and constant values; offsets count from its start
// A node is written before its operands and its operand slots are filled in as they are
// written; a literal is appended at the end. Every size and offset is 16-bit, so a tree
// that would pass 65535 bytes is refused.
//
// Invariants: every parse node of a TFilterExpr sits on its chain (newest first) and lives
// exactly as long as the TFilterExpr; nodes refer to each other without owning.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dataset/data_set.h"
#include "dataset/fields/field_type.h"

namespace snyltdyr {

class TField;

// Node classes and operators of the filter tree.
enum TNodeClass : uint32_t {
  tnUnary = 1,
  tnBinary = 2,
  tnCompare = 3,
  tnField = 4,
  tnConstant = 5,
  tnFunction = 10,
  tnListItem = 11,
};

enum TCANOperator : uint32_t {
  toNone = 0,
  toIsBlank = 1,
  toNotBlank = 2,
  toEqual = 3,
  toNotEqual = 4,
  toGreater = 5,
  toLess = 6,
  toGreaterEqual = 7,
  toLessEqual = 8,
  toNot = 9,
  toAnd = 10,
  toOr = 11,
  toField = 13,
  toConstant = 14,
  toAdd = 16,
  toSubtract = 17,
  toMultiply = 18,
  toDivide = 19,
  toLike = 30,
  toIn = 31,
  toFunction = 35,
  toListItem = 36,
  toAssign = 37,
};

// The storage engine's type code for each field type, indexed by TFieldType.
using TFieldMap = std::array<uint8_t, kFieldTypeCount>;
const TFieldMap& EngineTypeMap();

// Parser options; table filters pass none (the extended syntax does not exist here).
using TParserOptions = unsigned;

// The filter tree: a reference-counted byte array that outlives the parser that made it.
using TFilterTree = std::shared_ptr<const std::vector<uint8_t>>;

enum TExprNodeKind : uint8_t { pkField, pkConstant, pkOperator, pkFunction };

// A value of a constant: a text (every literal of the filter text), Null, or a boolean.
struct TExprValue {
  enum Kind : uint8_t { kText, kNull, kBoolean } kind = kNull;
  std::string text;
  bool boolean = false;

  static TExprValue Text(std::string s) { return {kText, std::move(s), false}; }
  static TExprValue Null() { return {}; }
  static TExprValue Boolean(bool b) { return {kBoolean, {}, b}; }
};

struct TExprNode {
  std::unique_ptr<TExprNode> next;  // the chain of all nodes of the owning TFilterExpr
  TExprNodeKind kind = pkConstant;
  bool partial = false;  // prefix comparison over the constant's length; never set by the parser
  TCANOperator op = toNone;
  TExprValue data;       // field: the name as written; constant: its value
  TExprNode* left = nullptr;
  TExprNode* right = nullptr;
  TFieldType data_type = ftUnknown;
  int32_t data_size = 0;
  std::vector<TExprNode*> args;  // elements of an IN list
  TField* field = nullptr;       // field references: the field found
};

class TFilterExpr {
 public:
  // `fields_used`, when given, gets the numbers of the fields the expression names marked
  // (it grows as needed).
  TFilterExpr(TDataSet& dataset, const TFieldMap& field_map, TFilterOptions options,
              TParserOptions parser_options, std::string field_name,
              std::vector<bool>* fields_used);
  ~TFilterExpr();
  TFilterExpr(const TFilterExpr&) = delete;
  TFilterExpr& operator=(const TFilterExpr&) = delete;

  // A new node on the chain. A field node looks its name up in the dataset ("Field '%s'
  // not found") and takes the field's type and size.
  TExprNode* NewNode(TExprNodeKind kind, TCANOperator op, TExprValue data, TExprNode* left,
                     TExprNode* right);

  // Serialises the tree below `root`.
  TFilterTree GetFilterData(TExprNode* root);

 private:
  class Writer;

  TDataSet& dataset_;
  TFieldMap field_map_;
  TFilterOptions options_;
  TParserOptions parser_options_;
  std::string field_name_;
  std::vector<bool>* fields_used_;
  std::unique_ptr<TExprNode> nodes_;  // newest first
};

}  // namespace snyltdyr
