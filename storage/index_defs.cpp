#include "storage/index_defs.h"

#include "runtime/cp1252.h"

namespace snyltdyr {

TIndexDef& TIndexDefs::Add(TIndexDef def) {
  defs_.push_back(std::move(def));
  return defs_.back();
}

int TIndexDefs::IndexOf(const std::string& name) const {
  for (size_t i = 0; i < defs_.size(); ++i) {
    if (SameText1252(defs_[i].name, name)) return static_cast<int>(i);
  }
  return -1;
}

const TIndexDef* TIndexDefs::Find(const std::string& name) const {
  const int index = IndexOf(name);
  return index < 0 ? nullptr : &defs_[static_cast<size_t>(index)];
}

}  // namespace snyltdyr
