// Opening, and whole reads and writes at an offset of an open file.
//
// Only regular files are tables, memos or indexes. A FIFO would block the opening until
// some writer came, a device may answer anything, and a directory holds no bytes, so
// OpenRegularFile refuses them at once, before a byte is read, without waiting.
//
// pread and pwrite may move fewer bytes than asked and may be interrupted by a signal;
// these loops go on until every byte has moved, the file ends, or a real error occurs.
// Every file of the engine (data, memo, index) reads and writes through them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace snyltdyr::engine {

// Opens `path` with `flags` (O_RDONLY or O_RDWR, O_CLOEXEC is added) and gives the
// descriptor, or -1 with `error` = errno. A path that is not a regular file gives -1 with
// `error` 0 and `kind` naming what it is ("a directory", "a FIFO", "a device", ...).
int OpenRegularFile(const std::string& path, int flags, int& error, std::string& kind);

// Reads up to `size` bytes at `offset` into `out` and returns how many were read. Fewer
// than `size` means the file ended (`error` 0) or reading failed (`error` = errno).
size_t ReadFully(int fd, uint64_t offset, void* out, size_t size, int& error);

// Writes all `size` bytes at `offset`; false with `error` = errno when that fails.
bool WriteFully(int fd, uint64_t offset, const void* data, size_t size, int& error);

// A seam for the crash tests: `observer` (null: none) is called before every write with
// the number of writes so far in this process, so that a test can stop the process
// between any two writes of a change and kill it there.
using WriteObserver = void (*)(uint64_t writes_before);
void SetWriteObserver(WriteObserver observer);

}  // namespace snyltdyr::engine
