#include "dataset/fields/field_defs.h"

#include "runtime/cp1252.h"

namespace snyltdyr {

TFieldDef& TFieldDefs::Add(std::string name, TFieldType type, int size, bool required) {
  TFieldDef def;
  def.name = std::move(name);
  def.field_no = Count() + 1;
  def.data_type = type;
  def.size = size;
  def.required = required;
  defs_.push_back(std::move(def));
  return defs_.back();
}

int TFieldDefs::IndexOf(const std::string& name) const {
  for (int i = 0; i < Count(); ++i) {
    if (SameText1252(defs_[static_cast<size_t>(i)].name, name)) return i;
  }
  return -1;
}

const TFieldDef* TFieldDefs::Find(const std::string& name) const {
  int index = IndexOf(name);
  return index < 0 ? nullptr : &defs_[static_cast<size_t>(index)];
}

}  // namespace snyltdyr
