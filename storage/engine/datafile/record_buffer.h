// The record buffer a cursor hands out: the .DBF record as stored (deletion flag first),
// then one 4-byte slot per memo field holding the id of the blob open on that field of
// this buffer (0: none). Internal to the engine.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "storage/engine/datafile/dbf_header.h"
#include "storage/engine/datafile/record_view.h"

namespace snyltdyr::engine {

// A bookmark is the record number, 4 bytes in the machine's order.
inline constexpr uint16_t kBookmarkSize = 4;

// Offset of the blob slot of field `index` (0-based), or -1 when it is not a memo field.
inline int BlobSlotOffset(const std::vector<FieldDesc>& fields, uint16_t record_length,
                          size_t index) {
  if (index >= fields.size() || !IsMemoType(fields[index].type)) return -1;
  int slot = 0;
  for (size_t i = 0; i < index; ++i) slot += IsMemoType(fields[i].type) ? 1 : 0;
  return record_length + 4 * slot;
}

inline uint32_t ReadSlot(const uint8_t* buffer, int offset) {
  uint32_t id;
  std::memcpy(&id, buffer + offset, 4);
  return id;
}

inline void WriteSlot(uint8_t* buffer, int offset, uint32_t id) {
  std::memcpy(buffer + offset, &id, 4);
}

}  // namespace snyltdyr::engine
