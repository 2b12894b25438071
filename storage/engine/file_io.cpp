#include "storage/engine/file_io.h"

#include <unistd.h>

#include <cerrno>

namespace snyltdyr::engine {

size_t ReadFully(int fd, uint64_t offset, void* out, size_t size, int& error) {
  auto* p = static_cast<char*>(out);
  size_t done = 0;
  error = 0;
  while (done < size) {
    const ssize_t n = ::pread(fd, p + done, size - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) error = errno;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

namespace {
WriteObserver write_observer = nullptr;
uint64_t writes = 0;
}  // namespace

void SetWriteObserver(WriteObserver observer) {
  write_observer = observer;
  writes = 0;
}

bool WriteFully(int fd, uint64_t offset, const void* data, size_t size, int& error) {
  if (write_observer != nullptr) write_observer(writes++);
  const auto* p = static_cast<const char*>(data);
  size_t done = 0;
  error = 0;
  while (done < size) {
    const ssize_t n = ::pwrite(fd, p + done, size - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error = n < 0 ? errno : EIO;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace snyltdyr::engine
