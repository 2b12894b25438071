// The filter tree: the byte buffer in which a client hands the engine a record condition.
//
// Layout (little-endian, no padding anywhere):
//
//   header, 10 bytes:  u16 version (2) | u16 total size | u16 node count (0xFFFF, unused)
//                      | u16 node area offset (10) | u16 literal area offset
//   node area:         nodes back to back; a node is u32 class | u32 operator | u16 operands[n].
//                      A node's offset counts from the start of the node area; the root is at 0.
//   literal area:      field names and constant values; offsets count from its start.
//
// Classes and their operands:
//   1 unary     (is blank, not blank, not)        operand: node
//   2 binary    (= <> > < >= <= and or like in)   operands: left node, right node
//                                                 (for `in` the right is the first list item)
//   3 compare   (= <> like on text)               operands: case ignored (0/1), prefix length
//                                                 (0 = whole value), field node, text constant node
//   4 field                                       operands: field number (1-based), literal offset
//                                                 of the zero-terminated name
//   5 constant                                    operands: type code, size, literal offset
//   11 list item                                  operands: element node, next item node (0 = last)
//
// Reading checks every offset and size against the buffer, so a damaged or hostile tree is
// refused with an error code and never read past its end. Writers put every node before its
// operands, so a readable tree has each operand at a higher node offset than its parent;
// reading insists on it, which also rules out cycles. The one exception: every element of
// an IN list but the first is written just before its list item, so an element need only
// lie after the IN node (and may not itself be a list item). No node is the operand of two
// parents (a tree of shared operands would evaluate in time exponential in its depth).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace snyltdyr::engine {

enum class FilterClass : uint32_t {
  kUnary = 1,
  kBinary = 2,
  kCompare = 3,
  kField = 4,
  kConstant = 5,
  kFunction = 10,
  kListItem = 11,
};

enum class FilterOp : uint32_t {
  kNone = 0,
  kIsBlank = 1,
  kNotBlank = 2,
  kEqual = 3,
  kNotEqual = 4,
  kGreater = 5,
  kLess = 6,
  kGreaterEqual = 7,
  kLessEqual = 8,
  kNot = 9,
  kAnd = 10,
  kOr = 11,
  kField = 13,
  kConstant = 14,
  kAdd = 16,
  kSubtract = 17,
  kMultiply = 18,
  kDivide = 19,
  kLike = 30,
  kIn = 31,
  kFunction = 35,
  kListItem = 36,
  kAssign = 37,
};

// Type codes of constants (and of field descriptors) as the engine names them.
enum class ValueType : uint16_t {
  kUnknown = 0,
  kText = 1,       // zero-terminated, in the table's native character set
  kDate = 2,       // i32 day number, 1 January of year 1 = day 1
  kBlob = 3,
  kBoolean = 4,    // i16, 0 = false
  kInt16 = 5,
  kInt32 = 6,
  kFloat = 7,      // IEEE double
  kBcd = 8,        // 18-byte packed decimal
  kBytes = 9,
  kTime = 10,      // i32 milliseconds since midnight
  kDateTime = 11,  // double: day number * 86 400 000 + milliseconds
  kUInt16 = 12,
  kTimeStamp = 24, // u16 year, month, day, hour, minute, second, u32 fraction (ms)
};

inline constexpr uint16_t kFilterTreeVersion = 2;
inline constexpr size_t kFilterHeaderSize = 10;

// A node read from the buffer. Operands that are nodes are indexes into FilterTree::nodes.
struct FilterNode {
  FilterClass node_class = FilterClass::kUnary;
  FilterOp op = FilterOp::kNone;
  int left = -1;    // unary operand; binary left; compare: the field; list item: the element
  int right = -1;   // binary right; compare: the constant; list item: the next item (-1: last)
  bool case_insensitive = false;  // compare only
  uint16_t prefix_length = 0;     // compare only; 0 = whole value
  uint16_t field_number = 0;      // field only, 1-based
  std::string name;               // field only, native bytes without the zero
  ValueType type = ValueType::kUnknown;  // constant only
  std::string value;              // constant only: its bytes as stored (text without the zero)
};

// A tree read and checked; nodes[0] is the root.
struct FilterTree {
  std::vector<FilterNode> nodes;
};

// Why a tree was refused; the engine maps these to its result codes.
enum class FilterTreeError {
  kNone = 0,
  kTooShort,         // fewer bytes than the header or than the size it states
  kBadVersion,
  kBadLayout,        // area offsets out of order or outside the buffer; empty node area
  kNodeOutside,      // a node or one of its operand slots runs past the node area
  kBadOperand,       // an operand node that is not after its parent, or of the wrong kind
  kLiteralOutside,   // a name or value outside the literal area, or a name without its zero
  kUnknownClass,     // a node class the engine does not evaluate (functions included)
  kBadOperator,      // an operator its class does not take
  kBadConstant,      // a constant type the engine does not know, or of the wrong size
  kTooDeep,          // operands nested deeper than kMaxFilterDepth
};

inline constexpr int kMaxFilterDepth = 1000;

const char* FilterTreeErrorText(FilterTreeError error);

// Reads `size` bytes at `data` into `out`. Reads nothing beyond data + size.
FilterTreeError ReadFilterTree(const uint8_t* data, size_t size, FilterTree* out);

}  // namespace snyltdyr::engine
