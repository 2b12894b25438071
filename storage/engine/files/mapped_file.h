// A read-only view of a file's first bytes in memory, for a pass that reads records
// scattered all over a large file (in the order of an index whose keys have nothing to
// do with record numbers): a copy out of the view costs no system call, where reading
// them costs one call per record, or copying most of the file for every chunk of them.
//
// Only where that is the same as reading: the view is made only on a file system of this
// machine, whose page cache every reader and writer shares, so a copy out of the view
// gives what a read at that moment would. A file system shared over a network keeps its
// own cached pages, which may lag behind another machine's writes that a read asks the
// server about: there Map refuses and the caller reads as before.
//
// Another program may cut the file shorter while it is viewed (a pack): touching a page
// past the new end raises SIGBUS. Copy catches that fault (a handler installed once, which
// passes a fault it did not cause on to the handler before it, or to the default action)
// and answers false; the caller then reads, and the read tells what is there.
#pragma once

#include <cstddef>
#include <cstdint>

namespace snyltdyr::engine {

class MappedFile {
 public:
  MappedFile() = default;
  ~MappedFile();
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  // Views the first `length` bytes of `fd` (replacing any view before); false, with no
  // view, on a file system shared over a network, or when it cannot be made.
  bool Map(int fd, uint64_t length);
  // Views at least the first `length` bytes of `fd`: the view as it is when it holds
  // them, else made again (Map). A refusal is kept: the file's file system does not
  // change, so a view that was refused is not asked for again.
  bool Cover(int fd, uint64_t length);
  void Unmap();
  uint64_t length() const { return length_; }

  // Copies bytes [offset, offset + size) into `out`; false when they are not all within
  // the view, or the file no longer holds them.
  bool Copy(uint64_t offset, size_t size, void* out) const;
  // Asks for bytes [offset, offset + size) to be brought into the caches ahead of a Copy
  // (a hint: never faults, does nothing outside the view).
  void Prefetch(uint64_t offset, size_t size) const {
    if (base_ == nullptr || offset > length_ || size > length_ - offset) return;
    for (size_t at = 0; at < size; at += 64) __builtin_prefetch(base_ + offset + at);
    __builtin_prefetch(base_ + offset + size - 1);
  }

  // Whether files of `fd`'s file system may be viewed (see the top of the file).
  static bool LocalFileSystem(int fd);
  // Views may be switched off for the whole process (Map then refuses): the tests of the
  // reading path run both ways.
  static void SetAllowed(bool allowed);

 private:
  const uint8_t* base_ = nullptr;
  uint64_t length_ = 0;
  bool refused_ = false;  // Cover: a Map failed
};

}  // namespace snyltdyr::engine
