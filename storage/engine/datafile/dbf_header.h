// The .DBF file header: the 32-byte file header, the 32-byte field descriptors and the
// terminator, as read from files of many writers and as written for new tables.
//
// Layout (little-endian): byte 0 version; 1-3 date of last update (year - 1900, month,
// day); 4-7 record count; 8-9 header length (offset of record 1); 10-11 record length
// (deletion flag included); 14 incomplete transaction; 15 encrypted; 28 production index
// present; 29 language driver. Then one descriptor per field from offset 32: name (11
// bytes, NUL padded), type letter at 11, length at 16, decimals at 17; a 0x0D byte ends
// the descriptors. Records start at the header length, never at the terminator.
//
// Parsing accepts what other programs are known to write (a 0x0A terminator, none at
// all, extra bytes after it, garbage in reserved bytes, trailing bytes after the last
// record) and refuses, with a code and a text naming the problem, what cannot be read
// safely. Tables it can read but should not write (foreign levels, unknown field types)
// come back with a write refusal.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "storage/engine/engine.h"
#include "storage/engine/datafile/record_view.h"

namespace snyltdyr::engine {

enum class MemoKind : uint8_t {
  kNone,     // no memo fields
  kDbase3,   // blocks of 512, text ended by 0x1A
  kDbase4,   // block size in the memo header, length-prefixed memos
  kUnknown,  // memo fields in a table whose version names no memo variant: per memo
  kForeign,  // memo file of another family: memos unavailable
};

struct DbfHeader {
  uint8_t version = 0x03;
  uint8_t update_year = 0;  // years since 1900
  uint8_t update_month = 1;
  uint8_t update_day = 1;
  uint32_t record_count = 0;
  uint16_t header_length = 0;
  uint16_t record_length = 1;
  bool production_index = false;
  uint8_t language_driver = 0;
  std::vector<FieldDesc> fields;
  MemoKind memo_kind = MemoKind::kNone;
  // Not kOk when the table may be read but not written, with the reason.
  Result write_refusal = kOk;
  std::string refusal_text;
};

inline constexpr size_t kFileHeaderSize = 32;
inline constexpr size_t kDescriptorSize = 32;
inline constexpr size_t kMaxHeaderLength = 32 + 32 * 255 + 1 + 263;

// Whether a field type holds a memo block number (M, and the B and G of later levels).
bool IsMemoType(char type);

// Parses `bytes`: the first bytes of the file, at least min(file size, header length).
// `file_size` is the size of the whole file. On failure `problem` says what is wrong
// (without the file name).
Result ParseDbfHeader(std::string_view bytes, uint64_t file_size, DbfHeader& header,
                      std::string& problem);

// The header bytes of a new, empty dBASE IV table with these fields (offsets computed
// here), dated today; version 0x8B when it has memo fields, else 0x03.
std::string BuildDbfHeader(const std::vector<FieldDesc>& fields, uint8_t language_driver);

// Today's date as header bytes 1-3.
void TodayForHeader(uint8_t& year, uint8_t& month, uint8_t& day);

}  // namespace snyltdyr::engine
