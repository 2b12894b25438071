// What one opening of a table keeps of its data file's records between reads: runs of
// neighbouring records, each read from the file in one call, so that a walk costs a
// system call per run of records instead of one per record.
//
// Freshness, the rule every read through the cache follows:
// - A change made by this process is seen at once. The table writes its own changes
//   through the cache (Wrote), and a write to any data file by any other opening in this
//   process (DbfFile::WriteGeneration moved on) makes the cache forget everything.
// - A change committed by another program is seen within kFreshForMs (and one tick of the
//   coarse clock, a few milliseconds): a run read longer ago than that is not used, so
//   the record is read from the file again.
// - What a lock protects is read after the lock is taken: the table forgets the records a
//   lock covers when it takes it (Forget).
//
// Memory is bounded: at most kCapacityBytes of record bytes, the oldest runs going first.
// A run is never longer than kMaxRunBytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <vector>

namespace snyltdyr::engine {

class RecordCache {
 public:
  static constexpr int64_t kFreshForMs = 100;
  static constexpr size_t kCapacityBytes = size_t{4} << 20;
  static constexpr size_t kMaxRunBytes = size_t{64} << 10;

  explicit RecordCache(uint16_t record_length) : record_length_(record_length) {}

  uint16_t record_length() const { return record_length_; }

  // The bytes of record `recno` when the cache holds them fresh, else null. Valid until
  // the next call that changes the cache.
  const uint8_t* Find(uint32_t recno);
  // Room for records first .. first + count - 1, read from the file just now; the caller
  // fills it (record_length bytes each). Runs it overlaps are dropped. The run is aged
  // from the moment of this call, which comes before the read.
  uint8_t* Add(uint32_t first, uint32_t count);
  // Drops the run that Add just made (its read failed).
  void Unadd(uint32_t first);
  // This opening wrote record `recno` as `record` (null: the write failed, what the file
  // holds is not known; recno 0: the header only). A held copy is updated or forgotten.
  // `in_step` is InStep() as it was before the writes: when no other opening wrote in
  // between, the cache stays; otherwise it is dropped.
  void Wrote(uint32_t recno, const uint8_t* record, bool in_step);
  // Whether no other opening in this process wrote to a data file since the cache last
  // looked (what a write of this opening must know before it writes).
  bool InStep() const;
  // Forgets records first .. first + count - 1 (they were locked), or everything.
  void Forget(uint32_t first, uint32_t count);
  void Clear();

 private:
  struct Run {
    uint32_t count = 0;
    int64_t read_at_ms = 0;
    uint64_t serial = 0;  // tells this run from an earlier one that began at the same record
    std::vector<uint8_t> bytes;
  };
  using Runs = std::map<uint32_t, Run>;  // by the first record of the run
  struct Added {
    uint32_t first = 0;
    uint64_t serial = 0;
  };

  // Forgets everything when another opening of this process wrote since the last look.
  void Look();
  bool Fresh(const Run& run, int64_t now_ms) const { return now_ms - run.read_at_ms <= kFreshForMs; }
  void Drop(Runs::iterator it);
  // Makes room for `bytes` more: stale runs go, then the oldest.
  void MakeRoom(size_t bytes);

  uint16_t record_length_;
  Runs runs_;
  std::deque<Added> order_;  // the runs in the order they were added, oldest first
  uint64_t serial_ = 0;
  size_t bytes_ = 0;
  uint64_t generation_ = 0;         // DbfFile::WriteGeneration() as last looked at
  Runs::iterator last_ = runs_.end();  // the run of the last hit
};

// The coarse monotonic clock in milliseconds: cheap enough to read on every record.
int64_t CoarseMilliseconds();

}  // namespace snyltdyr::engine
