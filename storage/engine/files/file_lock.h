// Byte-range locks on table files, in the conventions of the dBASE file family: exclusive
// locks far beyond the end of the file, so they never cover data and every program can
// still read while another holds a lock. Other programs that follow the same offsets see
// our locks and we see theirs.
//
// Offsets (B = 0xEFFFFFFE): record n at B - n (1 byte); the header at B; appending at
// B + 1; the whole table at B and B + 1, proven free of record locks by a probe over the
// billion bytes below B; the memo file at B of the .DBT.
// Beside these, every opening of a table holds a shared lock on B + 2 of the .DBF and an
// exclusive opening holds it exclusively, so that an exclusive open is refused while
// anyone else has the table open, and the other way round.
//
// The locks are open-file-description locks: they belong to one opening of the file, so
// two openings in one process conflict like two processes, and closing another
// descriptor of the same file does not drop them.
#pragma once

#include <cstdint>

namespace snyltdyr::engine {

inline constexpr int64_t kLockBase = 0xEFFFFFFELL;
inline constexpr int64_t kHeaderLockOffset = kLockBase;
inline constexpr int64_t kAppendLockOffset = kLockBase + 1;
inline constexpr int64_t kOpenLockOffset = kLockBase + 2;
inline constexpr int64_t kRecordProbeLength = 1000000000LL;

inline int64_t RecordLockOffset(uint32_t recno) { return kLockBase - static_cast<int64_t>(recno); }

// Each answers whether the lock was taken; none waits.
bool TryLockRange(int fd, int64_t start, int64_t length, bool exclusive = true);
void UnlockRange(int fd, int64_t start, int64_t length);
// Whether another opening holds a lock that conflicts with an exclusive lock here.
bool LockedByOther(int fd, int64_t start, int64_t length);

// A short series of attempts with a pause between them, for locks that are held only for
// the moment of a write (header, append, memo, index).
bool LockRangeWithRetry(int fd, int64_t start, int64_t length, bool exclusive = true);

// The table lock: B and B + 1, then the probe that proves no record is locked.
bool TryLockTable(int fd);
void UnlockTable(int fd);

}  // namespace snyltdyr::engine
