// Index definitions: the indexes of a table as the storage engine reports them.
//
// A plain ordered list, filled by TTable when it brings its IndexDefs up to date. An
// entry's name is the tag name of a production-index tag, or the index file name
// (directories removed) of an index held in a file of its own; `source` is the index
// file of a tag. Names are found without regard to case.
#pragma once

#include <string>
#include <vector>

namespace snyltdyr {

// Options of an index, a set of bits.
enum TIndexOption : unsigned {
  ixPrimary = 1u << 0,
  ixUnique = 1u << 1,
  ixDescending = 1u << 2,
  ixCaseInsensitive = 1u << 3,
  ixExpression = 1u << 4,
  ixNonMaintained = 1u << 5,
};
using TIndexOptions = unsigned;

struct TIndexDef {
  std::string name;
  std::string fields;             // key field names joined by ";", or the key expression
  std::string descending_fields;  // those key fields that run descending, joined by ";"
  std::string source;             // the index file of a tag (empty otherwise)
  TIndexOptions options = 0;
};

class TIndexDefs {
 public:
  int Count() const { return static_cast<int>(defs_.size()); }
  const TIndexDef& operator[](int index) const { return defs_.at(static_cast<size_t>(index)); }
  auto begin() const { return defs_.begin(); }
  auto end() const { return defs_.end(); }

  void Clear() { defs_.clear(); }
  TIndexDef& Add(TIndexDef def);

  // Index of the entry whose name equals `name` without regard to case, or -1.
  int IndexOf(const std::string& name) const;
  const TIndexDef* Find(const std::string& name) const;

  // False when the list must be read again from the engine before it is used.
  bool Updated() const { return updated_; }
  void SetUpdated(bool updated) { updated_ = updated; }

 private:
  std::vector<TIndexDef> defs_;
  bool updated_ = false;
};

}  // namespace snyltdyr
