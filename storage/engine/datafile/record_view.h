// A read-only view of one record of a dBASE table, in the table's own bytes.
//
// This is the seam between the data file and the parts of the engine that look inside
// records without knowing the file: index key expressions and filter evaluation. The
// view never owns its bytes; it is valid only as long as the record buffer it points at.
//
// Invariants: `data` holds the whole record as stored (deletion flag byte first, then the
// fields at their offsets); every descriptor's offset + length lies inside the record.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace snyltdyr::engine {

// One column of a table as its header declares it.
struct FieldDesc {
  std::string name;      // upper case as stored, without the NUL padding
  char type = 'C';       // C, D, N, F, L, M, and foreign types reported as they are
  uint16_t offset = 0;   // from the start of the record (the deletion flag is byte 0)
  uint8_t length = 0;    // bytes in the record
  uint8_t decimals = 0;  // N and F only
};

struct RecordView {
  const std::vector<FieldDesc>* fields = nullptr;
  const uint8_t* data = nullptr;
  int code_page = 1252;  // the table's native code page (437, 850, 865, 1252, ...)

  // The raw bytes of field i, blanks and all.
  std::string_view Raw(size_t i) const {
    const FieldDesc& f = (*fields)[i];
    return {reinterpret_cast<const char*>(data) + f.offset, f.length};
  }
  bool Deleted() const { return data[0] == '*'; }
};

}  // namespace snyltdyr::engine
