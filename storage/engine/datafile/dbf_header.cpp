#include "storage/engine/datafile/dbf_header.h"

#include <cctype>
#include <cstdio>
#include <ctime>
#include <set>

namespace snyltdyr::engine {
namespace {

uint16_t U16(std::string_view b, size_t off) {
  return static_cast<uint16_t>(static_cast<uint8_t>(b[off]) |
                               static_cast<uint8_t>(b[off + 1]) << 8);
}

uint32_t U32(std::string_view b, size_t off) {
  return static_cast<uint32_t>(U16(b, off)) | static_cast<uint32_t>(U16(b, off + 2)) << 16;
}

void PutU16(std::string& b, size_t off, uint16_t v) {
  b[off] = static_cast<char>(v & 0xFF);
  b[off + 1] = static_cast<char>(v >> 8);
}

enum class Level { kWritable, kReadOnly, kRefused };

// What the version byte allows. Only the layouts this engine writes itself are written;
// relatives with the same layout are read.
Level LevelOf(uint8_t version) {
  switch (version) {
    case 0x03: case 0x83: case 0x8B:
      return Level::kWritable;
    case 0x05: case 0x30: case 0x31: case 0x32: case 0x43: case 0x63: case 0x7B:
    case 0x8E: case 0xCB: case 0xE5: case 0xF5:
      return Level::kReadOnly;
    default:
      return Level::kRefused;  // dBASE II, level 7, and bytes of no known table
  }
}

MemoKind MemoKindOf(uint8_t version) {
  switch (version) {
    case 0x83: return MemoKind::kDbase3;
    case 0x8B: case 0x7B: case 0xCB: return MemoKind::kDbase4;
    case 0xE5: case 0xF5: case 0x30: case 0x31: case 0x32: return MemoKind::kForeign;
    default: return MemoKind::kUnknown;
  }
}

// Whether the descriptor's size suits its type; false for types this engine does not know.
bool KnownShape(const FieldDesc& f) {
  switch (f.type) {
    case 'C': return f.length >= 1;
    case 'N': case 'F':
      return f.length >= 1 && f.length <= 20 && (f.decimals == 0 || f.decimals < f.length);
    case 'D': return f.length == 8;
    case 'L': return f.length == 1;
    case 'M': return f.length == 10;
    default: return false;
  }
}

std::string Describe(const FieldDesc& f) {
  return f.name + " (" + std::string(1, f.type) + std::to_string(f.length) + ")";
}

}  // namespace

bool IsMemoType(char type) { return type == 'M' || type == 'B' || type == 'G'; }

Result ParseDbfHeader(std::string_view bytes, uint64_t file_size, DbfHeader& h,
                      std::string& problem) {
  if (file_size < kFileHeaderSize + 1 || bytes.size() < kFileHeaderSize) {
    problem = "The file is too short to be a table (" + std::to_string(file_size) + " bytes).";
    return kErrDamagedHeader;
  }
  h = DbfHeader{};
  h.version = static_cast<uint8_t>(bytes[0]);
  Level level = LevelOf(h.version);
  if (level == Level::kRefused) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", h.version);
    problem = std::string("Unsupported table version ") + hex +
              (h.version == 0x04 || h.version == 0x8C ? " (level 7 table)." : ".");
    return kErrUnsupportedFormat;
  }
  h.update_year = static_cast<uint8_t>(bytes[1]);
  h.update_month = static_cast<uint8_t>(bytes[2]);
  h.update_day = static_cast<uint8_t>(bytes[3]);
  h.record_count = U32(bytes, 4);
  h.header_length = U16(bytes, 8);
  h.record_length = U16(bytes, 10);
  // Only 1 means encrypted: some writers leave other garbage in bytes 12-19.
  if (bytes[15] == 1) {
    problem = "The table is encrypted.";
    return kErrUnsupportedFormat;
  }
  h.production_index = bytes[28] == 1;
  h.language_driver = static_cast<uint8_t>(bytes[29]);

  if (h.header_length < kFileHeaderSize + kDescriptorSize || h.header_length > file_size ||
      h.header_length > kMaxHeaderLength) {
    problem = "Header length " + std::to_string(h.header_length) + " is impossible for a file of " +
              std::to_string(file_size) + " bytes.";
    return kErrDamagedHeader;
  }
  if (bytes.size() < h.header_length) {
    problem = "The header could not be read whole.";
    return kErrDamagedHeader;
  }

  // Descriptors: whole 32-byte slots inside the header, up to the terminator. Some
  // writers end with 0x0A, some leave the terminator out; the record length decides.
  size_t off = kFileHeaderSize;
  uint32_t record_offset = 1;
  std::set<std::string> names;
  bool duplicate = false;
  while (off + kDescriptorSize <= h.header_length) {
    uint8_t first = static_cast<uint8_t>(bytes[off]);
    if (first == 0x0D || first == 0x0A) break;
    if (h.fields.size() == 255) {
      problem = "More than 255 field descriptors.";
      return kErrDamagedHeader;
    }
    FieldDesc f;
    for (size_t i = 0; i < 11 && bytes[off + i] != '\0'; ++i) f.name += bytes[off + i];
    while (!f.name.empty() && f.name.back() == ' ') f.name.pop_back();
    f.type = static_cast<char>(std::toupper(static_cast<unsigned char>(bytes[off + 11])));
    f.length = static_cast<uint8_t>(bytes[off + 16]);
    f.decimals = static_cast<uint8_t>(bytes[off + 17]);
    if (f.name.empty() || f.length == 0) {
      problem = "Field descriptor " + std::to_string(h.fields.size() + 1) +
                " has no name or no length.";
      return kErrDamagedHeader;
    }
    if (record_offset > 0xFFFF) {
      problem = "The fields are longer than a record can be.";
      return kErrDamagedHeader;
    }
    f.offset = static_cast<uint16_t>(record_offset);
    record_offset += f.length;
    std::string upper;
    for (char c : f.name) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (!names.insert(upper).second) duplicate = true;
    h.fields.push_back(f);
    off += kDescriptorSize;
  }
  if (h.fields.empty()) {
    problem = "The table has no fields.";
    return kErrDamagedHeader;
  }
  if (record_offset != h.record_length) {
    // Character fields wider than 255 bytes (length continued in the decimals byte) are
    // a format of another family; tell them apart from plain damage.
    uint32_t wide = 1;
    for (const FieldDesc& f : h.fields)
      wide += f.length + (f.type == 'C' ? 256u * f.decimals : 0u);
    if (wide == h.record_length) {
      problem = "Character fields wider than 255 bytes are not supported.";
      return kErrUnsupportedFormat;
    }
    problem = "Record length " + std::to_string(h.record_length) +
              " in the header, but the fields add up to " + std::to_string(record_offset) + ".";
    return kErrRecordLengthMismatch;
  }
  uint64_t needed = h.header_length + static_cast<uint64_t>(h.record_count) * h.record_length;
  if (needed > file_size) {
    problem = "The header counts " + std::to_string(h.record_count) + " records, but the file holds only " +
              std::to_string((file_size - h.header_length) / h.record_length) + ".";
    return kErrRecordCountBeyondFile;
  }

  bool has_memo = false;
  std::string unknown;
  for (const FieldDesc& f : h.fields) {
    if (IsMemoType(f.type)) has_memo = true;
    if (!KnownShape(f) && unknown.empty()) unknown = Describe(f);
  }
  h.memo_kind = has_memo ? MemoKindOf(h.version) : MemoKind::kNone;
  if (level == Level::kReadOnly) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", h.version);
    h.write_refusal = kErrUnsupportedFormat;
    h.refusal_text = std::string("Tables of version ") + hex + " are read only.";
  } else if (!unknown.empty()) {
    h.write_refusal = kErrUnsupportedFormat;
    h.refusal_text = "Field " + unknown + " is of a type or size this engine does not write.";
  } else if (duplicate) {
    h.write_refusal = kErrDamagedHeader;
    h.refusal_text = "Two fields have the same name.";
  } else if (h.memo_kind == MemoKind::kUnknown) {
    h.write_refusal = kErrUnsupportedFormat;
    h.refusal_text = "The table's version does not say which memo file it has.";
  }
  return kOk;
}

void TodayForHeader(uint8_t& year, uint8_t& month, uint8_t& day) {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  year = static_cast<uint8_t>(tm.tm_year);  // years since 1900
  month = static_cast<uint8_t>(tm.tm_mon + 1);
  day = static_cast<uint8_t>(tm.tm_mday);
}

std::string BuildDbfHeader(const std::vector<FieldDesc>& fields, uint8_t language_driver) {
  const size_t header_length = kFileHeaderSize + kDescriptorSize * fields.size() + 1;
  std::string b(header_length, '\0');
  bool memo = false;
  size_t record_length = 1;
  for (const FieldDesc& f : fields) {
    memo = memo || IsMemoType(f.type);
    record_length += f.length;
  }
  b[0] = static_cast<char>(memo ? 0x8B : 0x03);
  uint8_t y, m, d;
  TodayForHeader(y, m, d);
  b[1] = static_cast<char>(y);
  b[2] = static_cast<char>(m);
  b[3] = static_cast<char>(d);
  PutU16(b, 8, static_cast<uint16_t>(header_length));
  PutU16(b, 10, static_cast<uint16_t>(record_length));
  b[29] = static_cast<char>(language_driver);
  size_t off = kFileHeaderSize;
  for (const FieldDesc& f : fields) {
    for (size_t i = 0; i < f.name.size() && i < 10; ++i) b[off + i] = f.name[i];
    b[off + 11] = f.type;
    b[off + 16] = static_cast<char>(f.length);
    b[off + 17] = static_cast<char>(f.decimals);
    b[off + 20] = 1;  // work area, as the original programs write it
    off += kDescriptorSize;
  }
  b[off] = 0x0D;
  return b;
}

}  // namespace snyltdyr::engine
