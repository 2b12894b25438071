#include "storage/engine/filters/filter_tree.h"

#include <map>

namespace snyltdyr::engine {

namespace {

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t U32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

int OperandCount(FilterClass c) {
  switch (c) {
    case FilterClass::kUnary: return 1;
    case FilterClass::kBinary: return 2;
    case FilterClass::kCompare: return 4;
    case FilterClass::kField: return 2;
    case FilterClass::kConstant: return 3;
    case FilterClass::kListItem: return 2;
    default: return -1;
  }
}

bool OperatorFits(FilterClass c, FilterOp op) {
  switch (c) {
    case FilterClass::kUnary:
      return op == FilterOp::kIsBlank || op == FilterOp::kNotBlank || op == FilterOp::kNot;
    case FilterClass::kBinary:
      return (op >= FilterOp::kEqual && op <= FilterOp::kLessEqual) || op == FilterOp::kAnd ||
             op == FilterOp::kOr || op == FilterOp::kLike || op == FilterOp::kIn;
    case FilterClass::kCompare:
      return op == FilterOp::kEqual || op == FilterOp::kNotEqual || op == FilterOp::kLike;
    case FilterClass::kField: return op == FilterOp::kField;
    case FilterClass::kConstant: return op == FilterOp::kConstant;
    case FilterClass::kListItem: return op == FilterOp::kListItem;
    default: return false;
  }
}

// Bytes a constant of a fixed-size type occupies; 0 for variable (text), -1 for unknown.
int FixedSize(ValueType t) {
  switch (t) {
    case ValueType::kText: return 0;
    case ValueType::kDate: return 4;
    case ValueType::kBoolean: return 2;
    case ValueType::kInt16: return 2;
    case ValueType::kInt32: return 4;
    case ValueType::kFloat: return 8;
    case ValueType::kBcd: return 18;
    case ValueType::kTime: return 4;
    case ValueType::kDateTime: return 8;
    case ValueType::kUInt16: return 2;
    case ValueType::kTimeStamp: return 16;
    default: return -1;
  }
}

class Reader {
 public:
  Reader(const uint8_t* nodes, size_t node_size, const uint8_t* literals, size_t literal_size,
         FilterTree* out)
      : nodes_(nodes), node_size_(node_size), literals_(literals), literal_size_(literal_size),
        out_(out) {}

  // Reads the node at `offset` and gives its index. Every node has one parent: writers
  // never share an operand, and evaluating a tree of shared operands would take time
  // exponential in its depth, so a node met twice is refused.
  FilterTreeError Read(size_t offset, int* index) {
    if (read_.count(offset) != 0) return FilterTreeError::kBadOperand;
    if (offset + 8 > node_size_) return FilterTreeError::kNodeOutside;
    const uint8_t* p = nodes_ + offset;
    FilterNode node;
    node.node_class = static_cast<FilterClass>(U32(p));
    node.op = static_cast<FilterOp>(U32(p + 4));
    int count = OperandCount(node.node_class);
    if (count < 0) return FilterTreeError::kUnknownClass;
    if (!OperatorFits(node.node_class, node.op)) return FilterTreeError::kBadOperator;
    if (offset + 8 + 2 * static_cast<size_t>(count) > node_size_) {
      return FilterTreeError::kNodeOutside;
    }
    uint16_t operand[4] = {0, 0, 0, 0};
    for (int i = 0; i < count; ++i) operand[i] = U16(p + 8 + 2 * i);

    *index = static_cast<int>(out_->nodes.size());
    out_->nodes.push_back({});
    read_[offset] = *index;
    FilterTreeError e = Fill(offset, operand, &node);
    if (e != FilterTreeError::kNone) return e;
    out_->nodes[*index] = std::move(node);
    return FilterTreeError::kNone;
  }

 private:
  // Reads an operand, which must lie after `floor` (its parent, as a rule).
  FilterTreeError Child(size_t floor, uint16_t offset, int* index, bool list_allowed = false) {
    if (offset <= floor) return FilterTreeError::kBadOperand;
    // Evaluation recurses as deep as the tree; keep that well inside any thread's stack.
    if (depth_ >= kMaxFilterDepth) return FilterTreeError::kTooDeep;
    ++depth_;
    FilterTreeError e = Read(offset, index);
    --depth_;
    if (e == FilterTreeError::kNone && out_->nodes[*index].node_class == FilterClass::kListItem &&
        !list_allowed) {
      return FilterTreeError::kBadOperand;
    }
    return e;
  }

  FilterTreeError Fill(size_t offset, const uint16_t* operand, FilterNode* node) {
    FilterTreeError e = FilterTreeError::kNone;
    switch (node->node_class) {
      case FilterClass::kUnary:
        return Child(offset, operand[0], &node->left);
      case FilterClass::kBinary:
        if ((e = Child(offset, operand[0], &node->left)) != FilterTreeError::kNone) return e;
        if (node->op != FilterOp::kIn) return Child(offset, operand[1], &node->right);
        {
          // Elements after the first are written before their list item, so an element
          // may lie before its item; it still lies after the IN node.
          size_t outer_floor = list_floor_;
          list_floor_ = offset;
          e = Child(offset, operand[1], &node->right, true);
          if (e == FilterTreeError::kNone &&
              out_->nodes[node->right].node_class != FilterClass::kListItem) {
            e = FilterTreeError::kBadOperand;
          }
          if (e == FilterTreeError::kNone) e = ReadList(operand[1], node->right);
          list_floor_ = outer_floor;
          return e;
        }
      case FilterClass::kCompare:
        node->case_insensitive = operand[0] != 0;
        node->prefix_length = operand[1];
        if ((e = Child(offset, operand[2], &node->left)) != FilterTreeError::kNone) return e;
        if ((e = Child(offset, operand[3], &node->right)) != FilterTreeError::kNone) return e;
        if (out_->nodes[node->left].node_class != FilterClass::kField ||
            out_->nodes[node->right].node_class != FilterClass::kConstant ||
            out_->nodes[node->right].type != ValueType::kText) {
          return FilterTreeError::kBadOperand;
        }
        return e;
      case FilterClass::kField:
        node->field_number = operand[0];
        return Name(operand[1], &node->name);
      case FilterClass::kConstant:
        return Constant(operand, node);
      case FilterClass::kListItem:
        // The chain of items is followed by ReadList, in a loop rather than by recursion.
        next_item_[offset] = operand[1];
        return Child(list_floor_, operand[0], &node->left);
      default:
        return FilterTreeError::kUnknownClass;
    }
  }

  // Reads the items after the first one and links each to the next.
  FilterTreeError ReadList(size_t offset, int index) {
    size_t count = 0;
    for (;;) {
      auto next = next_item_.find(offset);
      if (next == next_item_.end() || next->second == 0) return FilterTreeError::kNone;
      if (next->second <= offset || ++count > node_size_) return FilterTreeError::kBadOperand;
      int following = -1;
      FilterTreeError e = Read(next->second, &following);
      if (e != FilterTreeError::kNone) return e;
      if (out_->nodes[following].node_class != FilterClass::kListItem) {
        return FilterTreeError::kBadOperand;
      }
      out_->nodes[index].right = following;
      offset = next->second;
      index = following;
    }
  }

  FilterTreeError Name(uint16_t offset, std::string* name) {
    if (offset >= literal_size_) return FilterTreeError::kLiteralOutside;
    const uint8_t* start = literals_ + offset;
    const uint8_t* end = literals_ + literal_size_;
    const uint8_t* p = start;
    while (p < end && *p != 0) ++p;
    if (p == end) return FilterTreeError::kLiteralOutside;
    name->assign(reinterpret_cast<const char*>(start), p - start);
    return FilterTreeError::kNone;
  }

  FilterTreeError Constant(const uint16_t* operand, FilterNode* node) {
    node->type = static_cast<ValueType>(operand[0]);
    size_t size = operand[1];
    size_t offset = operand[2];
    int fixed = FixedSize(node->type);
    if (fixed < 0) return FilterTreeError::kBadConstant;
    if (fixed > 0 && size != static_cast<size_t>(fixed)) return FilterTreeError::kBadConstant;
    if (fixed == 0 && size == 0) return FilterTreeError::kBadConstant;
    if (offset + size > literal_size_) return FilterTreeError::kLiteralOutside;
    const char* p = reinterpret_cast<const char*>(literals_ + offset);
    if (fixed == 0) {
      // Text: the stated size includes the terminating zero; stop early at an inner zero.
      size_t n = 0;
      while (n < size && p[n] != 0) ++n;
      node->value.assign(p, n);
    } else {
      node->value.assign(p, size);
    }
    return FilterTreeError::kNone;
  }

  const uint8_t* nodes_;
  size_t node_size_;
  const uint8_t* literals_;
  size_t literal_size_;
  FilterTree* out_;
  std::map<size_t, int> read_;
  std::map<size_t, uint16_t> next_item_;  // list item offset -> offset of the next item
  int depth_ = 0;
  size_t list_floor_ = 0;  // offset of the IN node whose list is being read
};

}  // namespace

const char* FilterTreeErrorText(FilterTreeError error) {
  switch (error) {
    case FilterTreeError::kNone: return "no error";
    case FilterTreeError::kTooShort: return "filter tree shorter than its header states";
    case FilterTreeError::kBadVersion: return "filter tree of an unknown version";
    case FilterTreeError::kBadLayout: return "filter tree areas out of place";
    case FilterTreeError::kNodeOutside: return "filter node outside the node area";
    case FilterTreeError::kBadOperand: return "filter node with an invalid operand";
    case FilterTreeError::kLiteralOutside: return "filter literal outside the literal area";
    case FilterTreeError::kUnknownClass: return "filter node of an unknown class";
    case FilterTreeError::kBadOperator: return "filter node with an invalid operator";
    case FilterTreeError::kBadConstant: return "filter constant of an invalid type or size";
    case FilterTreeError::kTooDeep: return "filter tree nested too deeply";
  }
  return "invalid filter tree";
}

FilterTreeError ReadFilterTree(const uint8_t* data, size_t size, FilterTree* out) {
  out->nodes.clear();
  if (data == nullptr || size < kFilterHeaderSize) return FilterTreeError::kTooShort;
  if (U16(data) != kFilterTreeVersion) return FilterTreeError::kBadVersion;
  size_t total = U16(data + 2);
  size_t node_start = U16(data + 6);
  size_t literal_start = U16(data + 8);
  if (total > size) return FilterTreeError::kTooShort;
  if (node_start < kFilterHeaderSize || literal_start <= node_start || literal_start > total) {
    return FilterTreeError::kBadLayout;
  }
  Reader reader(data + node_start, literal_start - node_start, data + literal_start,
                total - literal_start, out);
  int root = -1;
  FilterTreeError e = reader.Read(0, &root);
  if (e != FilterTreeError::kNone) out->nodes.clear();
  return e;
}

}  // namespace snyltdyr::engine
