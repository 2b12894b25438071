// Another process holding the table's lock, the way any program of the dBASE family
// takes it (a byte-range lock on the .DBF at the table-lock offset), until the object goes.
//
//   testsupport::ForeignTableLock lock(dir.File("SNYLTDYR.DBF"));
//   ASSERT_TRUE(lock.Held());
//   ... appends and posts of this process are refused meanwhile ...
//   lock.Release();  // or at the end of the scope
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace snyltdyr::testsupport {

class ForeignTableLock {
 public:
  explicit ForeignTableLock(const std::string& dbf_path) {
    if (::pipe(ready_) != 0 || ::pipe(done_) != 0) return;
    child_ = ::fork();
    if (child_ == 0) {
      // Only system calls here: the child is a copy of a process with threads.
      const int fd = ::open(dbf_path.c_str(), O_RDWR);
      struct flock fl {};
      fl.l_type = F_WRLCK;
      fl.l_whence = SEEK_SET;
      fl.l_start = 0xEFFFFFFELL;
      fl.l_len = 2;
      char held = fd >= 0 && ::fcntl(fd, F_SETLK, &fl) == 0 ? 'y' : 'n';
      (void)!::write(ready_[1], &held, 1);
      (void)!::read(done_[0], &held, 1);
      ::_exit(0);
    }
    char held = 0;
    held_ = child_ > 0 && ::read(ready_[0], &held, 1) == 1 && held == 'y';
  }
  ~ForeignTableLock() {
    Release();
    for (int fd : {ready_[0], ready_[1], done_[0], done_[1]}) {
      if (fd >= 0) ::close(fd);
    }
  }
  ForeignTableLock(const ForeignTableLock&) = delete;
  ForeignTableLock& operator=(const ForeignTableLock&) = delete;

  bool Held() const { return held_; }
  void Release() {
    if (child_ <= 0) return;
    (void)!::write(done_[1], "x", 1);
    ::waitpid(child_, nullptr, 0);
    child_ = -1;
    held_ = false;
  }

 private:
  int ready_[2] = {-1, -1};
  int done_[2] = {-1, -1};
  pid_t child_ = -1;
  bool held_ = false;
};

}  // namespace snyltdyr::testsupport
