// Field definitions: the columns of the stored table as the binding reads them.
//
// A plain ordered list. The binding fills it when the cursor opens (one definition per
// column, numbered from 1 in column order); field objects are bound to it by name, which
// is compared without regard to case.
#pragma once

#include <string>
#include <vector>

#include "dataset/fields/field_type.h"

namespace snyltdyr {

struct TFieldDef {
  std::string name;
  int field_no = 0;          // 1-based position in the list
  TFieldType data_type = ftUnknown;
  int size = 0;              // text length, blob size, BCD scale
  bool required = false;
  int precision = 0;         // BCD precision
  bool read_only = false;
  bool fixed_char = false;   // fixed-length text
};

class TFieldDefs {
 public:
  int Count() const { return static_cast<int>(defs_.size()); }
  const TFieldDef& operator[](int index) const { return defs_.at(static_cast<size_t>(index)); }
  TFieldDef& operator[](int index) { return defs_.at(static_cast<size_t>(index)); }
  auto begin() const { return defs_.begin(); }
  auto end() const { return defs_.end(); }

  void Clear() { defs_.clear(); }
  // Appends a definition and numbers it after the last one.
  TFieldDef& Add(std::string name, TFieldType type, int size = 0, bool required = false);

  // Index of the definition whose name equals `name` without regard to case, or -1.
  int IndexOf(const std::string& name) const;
  const TFieldDef* Find(const std::string& name) const;

  // True when the list must be read again from storage (a property of a definition
  // changed); the binding clears it when it re-reads.
  bool Stale() const { return stale_; }
  void SetStale(bool stale) { stale_ = stale; }

 private:
  std::vector<TFieldDef> defs_;
  bool stale_ = false;
};

}  // namespace snyltdyr
