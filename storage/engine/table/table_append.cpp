// A run of new records appended in one go, all or nothing.
//
// Order of writes (the locks: header and append of the .DBF, the companion's batch):
//   1. each record's memos, at the end of the memo file (blocks nobody points at yet);
//   2. every record, past the header's count, the first with the end-of-file marker in
//      place of its deletion flag, and the end marker after the last;
//   3. the companion marks the run pending (index_append.cpp);
//   4. the header's count and date in one write: this publishes the whole run;
//   5. the first record's deletion flag;
//   6. the companion files the keys and clears its mark.
// A reader that goes by the count sees none of the run before 4 and all of it after. A
// reader that goes by the end marker instead (some do, ignoring the count) stops at the
// first record until 5, so it sees nothing before the count does. A crash before 4
// leaves unreferenced memo blocks and bytes past the count, which the next append writes
// over; one after 4 leaves keys to file and perhaps the flag of 5, which the next opening
// for writing completes (FinishStoppedRun, then the index's settling).
#include <cstring>

#include "storage/engine/datafile/dbf_file.h"
#include "storage/engine/error_stack.h"
#include "storage/engine/files/file_lock.h"
#include "storage/engine/table/cursor.h"

namespace snyltdyr::engine {
namespace {

constexpr uint8_t kEndMarker = 0x1A;

// The locks of an append, let go in reverse order when the scope ends.
class AppendLocks {
 public:
  explicit AppendLocks(int fd) : fd_(fd) {}
  ~AppendLocks() {
    if (append_) UnlockRange(fd_, kAppendLockOffset, 1);
    if (header_) UnlockRange(fd_, kHeaderLockOffset, 1);
  }
  bool Take() {
    header_ = LockRangeWithRetry(fd_, kHeaderLockOffset, 1);
    append_ = header_ && LockRangeWithRetry(fd_, kAppendLockOffset, 1);
    return append_;
  }

 private:
  int fd_;
  bool header_ = false, append_ = false;
};

}  // namespace

Result Table::AppendRun(const uint8_t* records, uint32_t count, const PrepareRunRecord& prepare,
                        uint32_t& first) {
  if (Result r = CheckWritable()) return r;
  if (count == 0) return Fail(kErrInvalidParameter, "An empty run of records.");
  AppendLocks locks(dbf_->fd());
  if (!Exclusive() && !locks.Take())
    return Fail(kErrTableBusy, dbf_path_ + ": another user is adding a record.");
  // Another program may have appended since we last looked.
  if (Result r = RefreshHeader()) return r;
  const uint32_t n = RecordCount();
  if (uint64_t{n} + count > 0xFFFFFFFEu) return Fail(kErrInvalidParameter, dbf_path_ + ": the table is full.");
  const uint32_t last = n + count;
  if (companion_)
    if (Result r = companion_->BeginBatch()) return r;
  const size_t rl = RecordLength();
  std::vector<uint8_t> run(records, records + rl * count);
  Result r = kOk;
  for (uint32_t i = 0; i < count && r == kOk; ++i) {
    run[i * rl] = i == 0 ? kEndMarker : ' ';
    if (prepare) r = prepare(i, run.data() + i * rl);
  }
  const bool in_step = cache_->InStep();
  if (r == kOk) r = dbf_->WriteNewRecords(count, run.data());
  if (r == kOk) r = dbf_->WriteEndMarker(last);
  if (r == kOk && companion_) r = companion_->BeginAppend(n + 1, last);
  // A count whose write failed may still have reached the file: the mark stays then, and
  // settling judges the run by the count the file holds.
  const bool count_written = r == kOk;
  if (count_written) r = dbf_->WriteCountAndDate(last);
  const bool published = count_written && r == kOk;
  if (published) r = dbf_->WriteByte(dbf_->RecordOffset(n + 1), ' ');
  cache_->Wrote(0, nullptr, in_step);  // the header; the new records are read when asked for
  if (companion_) {
    if (published) {
      run[0] = ' ';
      const Result filed = companion_->FinishAppend(n + 1, last, run.data());
      if (r == kOk) r = filed;
    } else if (!count_written) {
      companion_->AbandonAppend();
    }
    companion_->EndBatch();
  }
  if (published) first = n + 1;
  return r;
}

Result Table::FinishStoppedRun(uint32_t first) {
  if (!Writable() || first == 0) return kOk;
  const int fd = dbf_->fd();
  // A writer that holds the append lock is alive and finishes its run itself.
  if (!Exclusive()) {
    if (!TryLockRange(fd, kAppendLockOffset, 1)) return kOk;
  }
  Result r = RefreshHeader();
  uint8_t flag = 0;
  if (r == kOk && first <= RecordCount()) {
    std::vector<uint8_t> bytes;
    r = ReadRecord(first, bytes);
    if (r == kOk) flag = bytes[0];
  }
  if (r == kOk && flag == kEndMarker) {
    const bool in_step = cache_->InStep();
    r = dbf_->WriteByte(dbf_->RecordOffset(first), ' ');
    cache_->Wrote(first, nullptr, in_step);
  }
  if (!Exclusive()) UnlockRange(fd, kAppendLockOffset, 1);
  return r;
}

}  // namespace snyltdyr::engine
