#include "dataset/field_defs.h"

namespace snyltdyr {

namespace {

// Upper case of a code page 1252 byte: ASCII letters, the accented letters 0xE0..0xFE
// (except the division sign 0xF7), and the four letters whose capitals sit in 0x8A..0x9F.
unsigned char UpperCp1252(unsigned char c) {
  if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 0x20);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<unsigned char>(c - 0x20);
  switch (c) {
    case 0x9A: return 0x8A;
    case 0x9C: return 0x8C;
    case 0x9E: return 0x8E;
    case 0xFF: return 0x9F;
    default: return c;
  }
}

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (UpperCp1252(static_cast<unsigned char>(a[i])) !=
        UpperCp1252(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

}  // namespace

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
    if (SameName(defs_[static_cast<size_t>(i)].name, name)) return i;
  }
  return -1;
}

const TFieldDef* TFieldDefs::Find(const std::string& name) const {
  int index = IndexOf(name);
  return index < 0 ? nullptr : &defs_[static_cast<size_t>(index)];
}

}  // namespace snyltdyr
