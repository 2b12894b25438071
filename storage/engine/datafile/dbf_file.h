// The .DBF data file of one opening: its descriptor, its header and bounded reads and
// writes of records. Locking and the order of writes belong to the table (table.cpp);
// this file only moves bytes and keeps the header it read.
//
// Invariants: every read stays inside the file as the header describes it (record n is
// read only when 1 <= n <= record count, and the count never exceeds what the file
// holds); the header's layout (header length, record length, fields) is fixed for the
// life of the opening, only the record count is refreshed.
#pragma once

#include <cstdint>
#include <string>

#include "storage/engine/datafile/dbf_header.h"
#include "storage/engine/engine.h"

namespace snyltdyr::engine {

class DbfFile {
 public:
  DbfFile() = default;
  ~DbfFile();
  DbfFile(const DbfFile&) = delete;
  DbfFile& operator=(const DbfFile&) = delete;

  // Opens and checks the file. Failures are reported on the error stack with the path.
  // kErrTableReadOnly when writable was asked and the file cannot be written.
  Result Open(const std::string& path, bool writable);
  int fd() const { return fd_; }
  bool writable() const { return writable_; }
  const std::string& path() const { return path_; }
  const DbfHeader& header() const { return header_; }

  // Re-reads the record count; fails when the layout changed or the count outgrew the file.
  Result RefreshHeader();

  Result ReadRecord(uint32_t recno, uint8_t* out);
  // Records first .. first + count - 1, all counted by the header.
  Result ReadRecords(uint32_t first, uint32_t count, uint8_t* out);
  // Writes a record inside the file (recno <= count, or count + 1 while appending).
  Result WriteRecord(uint32_t recno, const uint8_t* record);
  // Records first .. first + count - 1 in one write.
  Result WriteRecords(uint32_t first, uint32_t count, const uint8_t* records);
  // New records count + 1 .. count + n, past what the header counts, in one write.
  Result WriteNewRecords(uint32_t n, const uint8_t* records);
  Result WriteByte(uint64_t offset, uint8_t value);
  // After an append: the end-of-file marker after record `count`, then the count and date.
  Result WriteEndMarker(uint32_t count);
  Result WriteCountAndDate(uint32_t count);
  Result WriteDate();

  // Grows with every write to any data file of this process: a reader holding records
  // that saw the same generation knows that no opening in this process changed them.
  static uint64_t WriteGeneration();

  uint64_t RecordOffset(uint32_t recno) const {
    return header_.header_length + static_cast<uint64_t>(recno - 1) * header_.record_length;
  }

 private:
  Result ReadAt(uint64_t offset, void* out, size_t size);
  Result WriteAt(uint64_t offset, const void* data, size_t size);

  std::string path_;
  int fd_ = -1;
  bool writable_ = false;
  DbfHeader header_;
};

}  // namespace snyltdyr::engine
