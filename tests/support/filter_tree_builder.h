// Builds filter trees by hand for tests: a node description is written out in the byte
// layout of the filter tree, each node before its operands, as the tree writer does.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace snyltdyr::filter_tree {

struct TreeNode {
  uint32_t node_class = 0;
  uint32_t op = 0;
  std::vector<uint16_t> leading;  // operands before the node operands (compare: case, prefix)
  std::vector<TreeNode> kids;     // node operands
  bool is_field = false;
  uint16_t field_number = 0;
  bool is_constant = false;
  uint16_t type = 0;
  std::string bytes;              // field name, or the constant's bytes
};

inline TreeNode Field(uint16_t number, std::string name) {
  TreeNode n{4, 13};
  n.is_field = true;
  n.field_number = number;
  n.bytes = std::move(name);
  return n;
}

inline TreeNode Constant(uint16_t type, std::string bytes) {
  TreeNode n{5, 14};
  n.is_constant = true;
  n.type = type;
  n.bytes = std::move(bytes);
  return n;
}

inline TreeNode Text(const std::string& s) { return Constant(1, s + std::string(1, '\0')); }

template <typename T>
std::string Raw(T v) {
  std::string s(sizeof v, '\0');
  std::memcpy(s.data(), &v, sizeof v);
  return s;
}

inline TreeNode Number(double v) { return Constant(7, Raw(v)); }
inline TreeNode Integer(int32_t v) { return Constant(6, Raw(v)); }
inline TreeNode DateConst(int32_t day_number) { return Constant(2, Raw(day_number)); }
inline TreeNode BoolConst(bool v) { return Constant(4, Raw<int16_t>(v ? 1 : 0)); }

inline TreeNode Binary(uint32_t op, TreeNode l, TreeNode r) {
  TreeNode n{2, op};
  n.kids = {std::move(l), std::move(r)};
  return n;
}
inline TreeNode Unary(uint32_t op, TreeNode x) {
  TreeNode n{1, op};
  n.kids = {std::move(x)};
  return n;
}
inline TreeNode CompareNode(uint32_t op, bool ignore_case, uint16_t prefix, TreeNode field,
                            TreeNode text) {
  TreeNode n{3, op};
  n.leading = {static_cast<uint16_t>(ignore_case ? 1 : 0), prefix};
  n.kids = {std::move(field), std::move(text)};
  return n;
}

// Operator codes used by the tests.
enum : uint32_t {
  kIsBlank = 1, kNotBlank = 2, kEq = 3, kNe = 4, kGt = 5, kLt = 6, kGe = 7, kLe = 8,
  kNot = 9, kAnd = 10, kOr = 11, kLike = 30, kIn = 31
};

class TreeWriter {
 public:
  std::vector<uint8_t> Write(const TreeNode& root) {
    nodes_.clear();
    literals_.clear();
    Put(root);
    std::vector<uint8_t> out;
    size_t total = 10 + nodes_.size() + literals_.size();
    for (uint16_t v : {uint16_t{2}, static_cast<uint16_t>(total), uint16_t{0xFFFF},
                       uint16_t{10}, static_cast<uint16_t>(10 + nodes_.size())}) {
      out.push_back(v & 0xFF);
      out.push_back(v >> 8);
    }
    out.insert(out.end(), nodes_.begin(), nodes_.end());
    out.insert(out.end(), literals_.begin(), literals_.end());
    return out;
  }

  // IN: the left operand, then a chain of list items over `items`.
  static TreeNode In(TreeNode left, std::vector<TreeNode> items) {
    TreeNode n{2, kIn};
    n.kids = {std::move(left)};
    n.leading = {0xFFFF};  // marks the list for Put
    for (auto& i : items) n.kids.push_back(std::move(i));
    return n;
  }

 private:
  void U16At(size_t at, uint16_t v) {
    nodes_[at] = v & 0xFF;
    nodes_[at + 1] = v >> 8;
  }
  void U32(uint32_t v) {
    for (int i = 0; i < 4; ++i) nodes_.push_back((v >> (8 * i)) & 0xFF);
  }
  uint16_t Literal(const std::string& s) {
    size_t at = literals_.size();
    literals_.insert(literals_.end(), s.begin(), s.end());
    return static_cast<uint16_t>(at);
  }
  size_t Node(uint32_t cls, uint32_t op, size_t operands) {
    size_t at = nodes_.size();
    U32(cls);
    U32(op);
    nodes_.resize(nodes_.size() + 2 * operands, 0);
    return at;
  }

  size_t Put(const TreeNode& n) {
    if (n.is_field) {
      size_t at = Node(4, 13, 2);
      U16At(at + 8, n.field_number);
      U16At(at + 10, Literal(n.bytes + std::string(1, '\0')));
      return at;
    }
    if (n.is_constant) {
      size_t at = Node(5, 14, 3);
      U16At(at + 8, n.type);
      U16At(at + 10, static_cast<uint16_t>(n.bytes.size()));
      U16At(at + 12, Literal(n.bytes));
      return at;
    }
    if (n.op == kIn && n.leading.size() == 1 && n.leading[0] == 0xFFFF) {
      size_t at = Node(2, kIn, 2);
      U16At(at + 8, static_cast<uint16_t>(Put(n.kids[0])));
      // The first item comes before its element; every later element before its item.
      size_t previous = Node(11, 36, 2);
      U16At(at + 10, static_cast<uint16_t>(previous));
      U16At(previous + 8, static_cast<uint16_t>(Put(n.kids[1])));
      for (size_t i = 2; i < n.kids.size(); ++i) {
        size_t element = Put(n.kids[i]);
        size_t item = Node(11, 36, 2);
        U16At(item + 8, static_cast<uint16_t>(element));
        U16At(previous + 10, static_cast<uint16_t>(item));
        previous = item;
      }
      return at;
    }
    size_t at = Node(n.node_class, n.op, n.leading.size() + n.kids.size());
    size_t slot = at + 8;
    for (uint16_t v : n.leading) {
      U16At(slot, v);
      slot += 2;
    }
    for (const TreeNode& k : n.kids) {
      U16At(slot, static_cast<uint16_t>(Put(k)));
      slot += 2;
    }
    return at;
  }

  std::vector<uint8_t> nodes_;
  std::vector<uint8_t> literals_;
};

inline std::vector<uint8_t> Tree(const TreeNode& root) { return TreeWriter().Write(root); }

}  // namespace snyltdyr::filter_tree
