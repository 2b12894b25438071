#include "storage/engine/datafile/dbf_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "storage/engine/error_stack.h"
#include "storage/engine/files/file_io.h"

namespace snyltdyr::engine {
namespace {

Result OsFailure(Result code, const std::string& path, int err) {
  return Fail(code, path + ": " + std::strerror(err), err);
}

std::atomic<uint64_t> write_generation{0};

}  // namespace

uint64_t DbfFile::WriteGeneration() { return write_generation.load(std::memory_order_relaxed); }

DbfFile::~DbfFile() {
  if (fd_ >= 0) ::close(fd_);
}

Result DbfFile::Open(const std::string& path, bool writable) {
  path_ = path;
  int open_error = 0;
  std::string kind;
  fd_ = OpenRegularFile(path, writable ? O_RDWR : O_RDONLY, open_error, kind);
  if (fd_ < 0 && !kind.empty())
    return Fail(kErrReadFailed, path + " is " + kind + ", not a table file.");
  if (fd_ < 0) {
    int err = open_error;
    if (err == ENOENT || err == ENOTDIR) return Fail(kErrTableNotFound, path, err);
    if (writable && (err == EACCES || err == EROFS || err == EPERM) &&
        ::access(path.c_str(), R_OK) == 0)
      return Fail(kErrTableReadOnly, path + ": the file cannot be written.", err);
    if (err == EACCES || err == EPERM) return OsFailure(kErrInsufficientRights, path, err);
    return OsFailure(kErrReadFailed, path, err);
  }
  writable_ = writable;
  struct stat st;
  if (::fstat(fd_, &st) != 0) return OsFailure(kErrReadFailed, path, errno);
  if (!S_ISREG(st.st_mode)) return Fail(kErrTableNotFound, path + " is not a file.");
  // The header first, then the size: another program appending meanwhile writes its
  // record before the count that includes it, so a size taken after the count covers it.
  std::string bytes(kMaxHeaderLength, '\0');
  int err = 0;
  bytes.resize(ReadFully(fd_, 0, bytes.data(), bytes.size(), err));
  if (err != 0) return OsFailure(kErrReadFailed, path, err);
  if (::fstat(fd_, &st) != 0) return OsFailure(kErrReadFailed, path, errno);
  const uint64_t size = static_cast<uint64_t>(st.st_size);
  std::string problem;
  if (Result r = ParseDbfHeader(bytes, size, header_, problem)) return Fail(r, path + ": " + problem);
  return kOk;
}

Result DbfFile::RefreshHeader() {
  char b[12];
  if (Result r = ReadAt(0, b, sizeof b)) return r;
  auto u16 = [&](int o) { return static_cast<uint16_t>(static_cast<uint8_t>(b[o]) | static_cast<uint8_t>(b[o + 1]) << 8); };
  uint32_t count = u16(4) | static_cast<uint32_t>(u16(6)) << 16;
  if (u16(8) != header_.header_length || u16(10) != header_.record_length)
    return Fail(kErrDamagedHeader, path_ + ": the table's structure was changed by another program.");
  struct stat st;
  if (::fstat(fd_, &st) != 0) return OsFailure(kErrReadFailed, path_, errno);
  uint64_t needed = header_.header_length + static_cast<uint64_t>(count) * header_.record_length;
  if (needed > static_cast<uint64_t>(st.st_size))
    return Fail(kErrRecordCountBeyondFile,
                path_ + ": the header counts " + std::to_string(count) + " records, more than the file holds.");
  header_.record_count = count;
  return kOk;
}

Result DbfFile::ReadRecord(uint32_t recno, uint8_t* out) {
  if (recno == 0 || recno > header_.record_count)
    return Fail(kErrRecordNotFound, path_ + ": record " + std::to_string(recno) + ".");
  return ReadAt(RecordOffset(recno), out, header_.record_length);
}

Result DbfFile::ReadRecords(uint32_t first, uint32_t count, uint8_t* out) {
  if (first == 0 || count == 0 || first - 1 + static_cast<uint64_t>(count) > header_.record_count)
    return Fail(kErrRecordNotFound, path_ + ": records " + std::to_string(first) + " to " +
                                        std::to_string(first + count - 1) + ".");
  return ReadAt(RecordOffset(first), out, static_cast<size_t>(count) * header_.record_length);
}

Result DbfFile::WriteRecord(uint32_t recno, const uint8_t* record) {
  if (recno == 0 || recno > header_.record_count + 1)
    return Fail(kErrRecordNotFound, path_ + ": record " + std::to_string(recno) + ".");
  return WriteAt(RecordOffset(recno), record, header_.record_length);
}

Result DbfFile::WriteRecords(uint32_t first, uint32_t count, const uint8_t* records) {
  if (first == 0 || count == 0 || uint64_t{first} + count - 1 > header_.record_count)
    return Fail(kErrRecordNotFound, path_ + ": record " + std::to_string(first) + ".");
  return WriteAt(RecordOffset(first), records, static_cast<size_t>(count) * header_.record_length);
}

Result DbfFile::WriteNewRecords(uint32_t n, const uint8_t* records) {
  if (n == 0 || uint64_t{header_.record_count} + n > 0xFFFFFFFFu)
    return Fail(kErrInvalidParameter, path_ + ": the table is full.");
  return WriteAt(RecordOffset(header_.record_count + 1), records,
                 static_cast<size_t>(n) * header_.record_length);
}

Result DbfFile::WriteByte(uint64_t offset, uint8_t value) { return WriteAt(offset, &value, 1); }

Result DbfFile::WriteEndMarker(uint32_t count) {
  return WriteByte(header_.header_length + static_cast<uint64_t>(count) * header_.record_length, 0x1A);
}

Result DbfFile::WriteCountAndDate(uint32_t count) {
  uint8_t b[7];
  TodayForHeader(b[0], b[1], b[2]);
  for (int i = 0; i < 4; ++i) b[3 + i] = static_cast<uint8_t>(count >> (8 * i));
  if (Result r = WriteAt(1, b, sizeof b)) return r;
  header_.record_count = count;
  return kOk;
}

Result DbfFile::WriteDate() {
  uint8_t b[3];
  TodayForHeader(b[0], b[1], b[2]);
  // A run of changes on one day writes the date once (the header as last read or
  // written here already holds it).
  if (header_.update_year == b[0] && header_.update_month == b[1] && header_.update_day == b[2])
    return kOk;
  if (Result r = WriteAt(1, b, sizeof b)) return r;
  header_.update_year = b[0];
  header_.update_month = b[1];
  header_.update_day = b[2];
  return kOk;
}

Result DbfFile::ReadAt(uint64_t offset, void* out, size_t size) {
  int err = 0;
  if (ReadFully(fd_, offset, out, size, err) == size) return kOk;
  if (err != 0) return OsFailure(kErrReadFailed, path_, err);
  return Fail(kErrReadFailed, path_ + ": the file ended early.");
}

Result DbfFile::WriteAt(uint64_t offset, const void* data, size_t size) {
  if (!writable_) return Fail(kErrTableReadOnly, path_);
  // Counted before the write: a reader that looks meanwhile must not trust what it holds.
  write_generation.fetch_add(1, std::memory_order_relaxed);
  int err = 0;
  if (WriteFully(fd_, offset, data, size, err)) return kOk;
  return OsFailure(err == ENOSPC ? kErrDiskFull : kErrWriteFailed, path_, err);
}

}  // namespace snyltdyr::engine
