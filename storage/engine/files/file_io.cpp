#include "storage/engine/files/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace snyltdyr::engine {
namespace {

const char* KindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISFIFO(mode)) return "a FIFO (named pipe)";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  return "not a regular file";
}

}  // namespace

int OpenRegularFile(const std::string& path, int flags, int& error, std::string& kind) {
  error = 0;
  kind.clear();
  // Non-blocking while the kind is unknown: opening a FIFO for reading would otherwise
  // wait for a writer; no controlling terminal is ever taken.
  const int fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    error = errno;
    if (error == EISDIR) {  // asked for writing
      error = 0;
      kind = KindOf(S_IFDIR);
    }
    return -1;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    error = errno;
    ::close(fd);
    return -1;
  }
  if (!S_ISREG(st.st_mode)) {
    kind = KindOf(st.st_mode);
    ::close(fd);
    return -1;
  }
  const int status = ::fcntl(fd, F_GETFL);
  if (status == -1 || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) == -1) {
    error = errno;
    ::close(fd);
    return -1;
  }
  return fd;
}

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
