// The .DBT memo file: fixed-size blocks numbered from 0, block 0 the header, a memo in
// consecutive blocks from the block number its record holds.
//
// Two variants. dBASE III: blocks of 512 bytes, the text ended by 0x1A (two written, one
// enough). dBASE IV: block size in header bytes 20-21; a memo's first block starts with
// FF FF 08 00 and a 32-bit length L = 8 + data bytes (we write one 0x1F after the data,
// as the original program does, for readers that stop there). Header bytes 0-3 hold the next
// free block (the append point). Each memo is read by what its first block says, so a
// mislabelled file still reads.
//
// Writing keeps the file valid for other programs: a memo that fits the blocks it had is
// rewritten in place, a longer one is appended at the end of the file (never past it,
// whatever the header's append point says) and the append point moved past it; freed
// blocks are left as dead space (no free list is ever built, one written by another
// program is never followed). Memo blocks are written before the record that points at
// them, under the memo lock.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "storage/engine/datafile/dbf_header.h"
#include "storage/engine/engine.h"
#include "storage/engine/files/mapped_file.h"

namespace snyltdyr::engine {

class DbtMemo {
 public:
  DbtMemo() = default;
  ~DbtMemo();
  DbtMemo(const DbtMemo&) = delete;
  DbtMemo& operator=(const DbtMemo&) = delete;

  // Creates an empty memo file for a new table (dBASE IV variant, blocks of 512).
  static Result Create(const std::string& path, const std::string& table_base_name);

  // Opens and checks the header; `kind` comes from the table's version byte.
  Result Open(const std::string& path, MemoKind kind, bool writable);
  const std::string& path() const { return path_; }
  uint32_t block_size() const { return block_size_; }
  MemoKind kind() const { return kind_; }

  // The memo at `block` (native bytes). kErrMemoBlockOutOfRange for a block outside the
  // file, kErrDamagedMemo for a memo that does not hold together.
  Result Read(uint32_t block, std::string& content);
  // Stores `content` (not empty) for a record whose memo was at `old_block` (0: none);
  // gives the block the record must point at.
  Result Write(const std::string& content, uint32_t old_block, uint32_t& block);
  // The memos at `blocks` (0: none), read together: engine::ReadMemos.
  void ReadMany(const std::vector<uint32_t>& blocks, std::vector<std::string>& contents,
                std::vector<uint8_t>& read);

 private:
  Result FileSize(uint64_t& size);
  Result ReadAt(uint64_t offset, void* out, size_t size);
  Result WriteAt(uint64_t offset, const void* data, size_t size);
  // Blocks the memo at `block` occupies, when it is one this engine may overwrite.
  bool BlocksInUse(uint32_t block, uint64_t file_size, uint32_t& blocks);
  Result AppendPoint(uint64_t file_size, uint32_t& block);
  // The memo whose first block starts `at` (`size` bytes of it read, `offset` in the
  // file) as Read gives it; false when Read must judge it.
  bool ParseRead(const uint8_t* at, size_t size, uint64_t offset, std::string& content);

  std::string path_;
  int fd_ = -1;
  bool writable_ = false;
  MemoKind kind_ = MemoKind::kDbase4;
  uint32_t block_size_ = 512;
  // ReadMany through view_; false when the file may not be viewed.
  bool ReadManyFromView(const std::vector<uint32_t>& blocks, std::vector<std::string>& contents,
                        std::vector<uint8_t>& read);

  std::vector<uint8_t> span_;       // ReadMany's read, kept for the next batch
  std::vector<uint32_t> by_block_;  // ReadMany's memos sorted by block
  MappedFile view_;                 // of the file, for ReadMany on a local file system
};

// The block number in a memo field's 10 bytes: 0 for blank or no memo; false when the
// bytes are not a number.
bool ParseMemoBlock(const uint8_t* field, size_t length, uint32_t& block);
// The 10 bytes of a memo field pointing at `block` (0: blank).
void FormatMemoBlock(uint32_t block, uint8_t* field, size_t length);

}  // namespace snyltdyr::engine
