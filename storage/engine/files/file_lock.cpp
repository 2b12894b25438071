#include "storage/engine/files/file_lock.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <chrono>
#include <thread>

namespace snyltdyr::engine {
namespace {

struct flock Describe(short type, int64_t start, int64_t length) {
  struct flock fl {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = start;
  fl.l_len = length;
  fl.l_pid = 0;  // open-file-description locks require it
  return fl;
}

}  // namespace

bool TryLockRange(int fd, int64_t start, int64_t length, bool exclusive) {
  if (start < 0) return false;
  struct flock fl = Describe(exclusive ? F_WRLCK : F_RDLCK, start, length);
  for (;;) {
    if (fcntl(fd, F_OFD_SETLK, &fl) == 0) return true;
    if (errno != EINTR) return false;
  }
}

void UnlockRange(int fd, int64_t start, int64_t length) {
  if (start < 0) return;
  struct flock fl = Describe(F_UNLCK, start, length);
  fcntl(fd, F_OFD_SETLK, &fl);
}

bool LockedByOther(int fd, int64_t start, int64_t length) {
  struct flock fl = Describe(F_WRLCK, start, length);
  if (fcntl(fd, F_OFD_GETLK, &fl) != 0) return true;
  return fl.l_type != F_UNLCK;
}

bool LockRangeWithRetry(int fd, int64_t start, int64_t length, bool exclusive) {
  // About two seconds in all: long enough to outlast another program's write of one
  // record, short enough that a stuck lock is reported rather than waited on. The pauses
  // are short, since most locks are held for a few writes only and a busy neighbour
  // takes them again soon: a long pause would miss the moments they are free.
  using std::chrono::milliseconds;
  const auto give_up = std::chrono::steady_clock::now() + milliseconds(2000);
  for (milliseconds pause(1);; pause = std::min(pause * 2, milliseconds(4))) {
    if (TryLockRange(fd, start, length, exclusive)) return true;
    if (std::chrono::steady_clock::now() >= give_up) return false;
    std::this_thread::sleep_for(pause);
  }
}

bool TryLockTable(int fd) {
  if (!TryLockRange(fd, kLockBase, 2)) return false;
  const int64_t probe = kLockBase - kRecordProbeLength;
  if (!TryLockRange(fd, probe, kRecordProbeLength)) {
    UnlockRange(fd, kLockBase, 2);
    return false;
  }
  UnlockRange(fd, probe, kRecordProbeLength);
  return true;
}

void UnlockTable(int fd) { UnlockRange(fd, kLockBase, 2); }

}  // namespace snyltdyr::engine
