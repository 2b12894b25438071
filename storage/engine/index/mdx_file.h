// The production index file (.MDX): its header, its tag table and its blocks.
//
// Layout. The file is a run of 512-byte pages; every pointer in it is a page number.
// Pages 0-3 hold the file header (bytes 0-543) and the tag table (544-2047, 32 bytes per
// tag, at most 47 tags). Everything else is blocks of `block_pages` pages (normally 2):
// one tag-header block per tag, the B-tree nodes of each tag, and released blocks chained
// into a free list from header bytes 36-39 through bytes 4-7 of each free block.
//
// File header (little-endian):
//    0  version (2)            1  creation date Y M D (two-digit year)
//    4  table base name (16)  20  pages per block (u16)   22  bytes per block (u16)
//   24  production flag (1)   25  tag slots (48)   26  tag entry length (32)
//   28  tags in use (u16)     31  0x1B   32  pages in file (u32)   36  first free page (u32)
//   40  blocks available      44  last update Y M D   529  0x01
// Tag entry (32 bytes at 544 + 32 i): 0 tag-header page (u32), 4 name (11, NUL padded),
//   15 key format 0x10, 16/17/18 left/right/parent threads of the binary tree of names,
//   19 0x02, 20 key type.
//
// Invariants kept by every write: child blocks are written before the blocks and header
// words that point at them; header bytes 32-39 (page count, free list) are written before
// a block they newly cover or no longer list is linked into a tree, so that they always
// cover every block in use and never list one; unknown bytes of the header and of tag
// headers (other programs leave memory residue there) are kept as they were. The index
// lock (byte 0xEFFFFFFE of the .MDX) is held while any tag changes, and the header is
// read again right after taking it.
//
// Blocks read while this opening holds the index lock are kept until it lets the lock go:
// no other user changes the file meanwhile, and this opening's own writes update them.
// So a run of changes under one lock (a batch) reads each node once.
//
// Pending change (bytes 48-59, in the unused part of the header): "PEND", the number of
// the record whose change is under way, and that number xor 0xA5A5A5A5. A writer sets it
// under the index lock before it touches the record or its keys and clears it when both
// are done; one that is seen under the lock was left by a writer that stopped half way.
// Other programs ignore these bytes (they hold residue in files of the original program).
//
// Pending append (bytes 60-75): "APND", the first and the last record of a run of new
// records whose keys are being filed, and first xor last xor 0xA5A5A5A5. Set under the
// index lock before the table's count takes the records in, cleared when every key is
// filed; see index_append.cpp.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "storage/engine/index/index_status.h"

namespace snyltdyr::engine {

inline constexpr uint32_t kMdxPageSize = 512;
inline constexpr uint32_t kMdxHeaderPages = 4;
inline constexpr size_t kMdxMaxTags = 47;
inline constexpr size_t kMdxTagNameMax = 10;

struct MdxTagEntry {
  uint32_t header_page = 0;
  std::string name;  // as stored (upper case by convention)
  char key_type = 'C';
};

class MdxFile {
 public:
  ~MdxFile();
  MdxFile(const MdxFile&) = delete;
  MdxFile& operator=(const MdxFile&) = delete;

  // Opens an existing file and checks its header and tag table; a damaged header fails.
  static IndexStatus Open(const std::string& path, bool writable, std::unique_ptr<MdxFile>& out);
  // Creates a new file with no tags for the table whose base name is `table_base`.
  static IndexStatus Create(const std::string& path, const std::string& table_base,
                            std::unique_ptr<MdxFile>& out);

  const std::string& path() const { return path_; }
  bool writable() const { return writable_; }
  int fd() const { return fd_; }

  uint32_t block_pages() const { return block_pages_; }
  uint32_t block_bytes() const { return block_pages_ * kMdxPageSize; }
  // Pages that may be addressed: the smaller of the header's count and the file size.
  uint32_t page_limit() const { return page_limit_; }
  uint32_t page_count() const { return page_count_; }
  uint32_t free_page() const { return free_page_; }
  const std::vector<MdxTagEntry>& tags() const { return tags_; }

  // Reads the header and the tag table again (after taking the lock, or when another
  // user may have changed the file).
  IndexStatus Reload();

  // Whether a block starting at `page` lies inside the file (looking at the file again
  // when it seems not to: another opening may have grown it).
  bool PageInRange(uint32_t page) const;
  // Whether the header's page count agrees with the file size: no more pages than the
  // file holds (a count beyond it would have new blocks written far past its end).
  IndexStatus CheckPageCount() const;
  IndexStatus ReadBlock(uint32_t page, std::string& block) const;
  // The first `size` bytes of the block at `page` (a cheap look at a tag header).
  IndexStatus ReadBlockStart(uint32_t page, size_t size, std::string& bytes) const;
  // `pages` whole pages from `first` on, all inside the file.
  IndexStatus ReadPages(uint32_t first, uint32_t pages, std::string& bytes) const;
  IndexStatus WriteBlock(uint32_t page, const std::string& block);

  // Grows with every block any index file of this process writes: a reader holding nodes
  // that saw the same generation knows that no opening in this process changed them.
  static uint64_t WriteGeneration();

  // A zeroed block for a new node: from the free list when it is sound, else appended.
  // The header words change in memory; WriteHeader() stores them.
  IndexStatus AllocateBlock(uint32_t& page);
  // Puts a block that no tag uses any more on the free list.
  IndexStatus ReleaseBlock(uint32_t page);
  // Stores header bytes 0-47 (page count, free page, update date).
  IndexStatus WriteHeader();
  // Waits until everything written is on the disk (before a new file replaces an old one).
  IndexStatus Sync();

  // Adds an entry to the tag table (after the tag's header block and tree were written)
  // and rewrites the table with fresh name threads.
  IndexStatus AddTagEntry(const MdxTagEntry& entry);

  // Pages of the free list, for the index checker; false when the list is broken.
  bool FreeListPages(std::vector<uint32_t>& pages) const;

  // Blocks read from the file and written since it was opened (for benchmarks and
  // diagnosis); a block served from those kept under the lock is not counted.
  uint64_t blocks_read() const { return blocks_read_; }
  uint64_t blocks_written() const { return blocks_written_; }

  // The record of a change left half done (see the top of this file), 0 when none; as of
  // the last Reload.
  uint32_t pending_record() const { return pending_record_; }
  // Sets (recno > 0) or clears (0) the pending change; the caller holds the lock.
  IndexStatus SetPendingRecord(uint32_t recno);
  // The run of an append left half done (both 0 when none); as of the last Reload.
  uint32_t pending_append_first() const { return pending_append_first_; }
  uint32_t pending_append_last() const { return pending_append_last_; }
  // Sets (first > 0) or clears (0, 0) the pending append; the caller holds the lock.
  IndexStatus SetPendingAppend(uint32_t first, uint32_t last);

  // The index lock, taken with a few short retries: exclusive for changing the file,
  // shared for looking at it while nobody changes it (a writer holds the lock for the
  // whole of a change, so a reader holding the shared lock sees no change half done).
  // Takings nest; the lock goes with the last Unlock. A shared taking inside an
  // exclusive one is the exclusive one.
  bool Lock();
  bool LockShared();
  void Unlock();

 private:
  MdxFile() = default;
  IndexStatus ParseHeader();
  // Whether a block starting at `page` lies in pages 4 .. `pages` - 1 (no overflow).
  bool BlockFits(uint32_t page, uint32_t pages) const;
  void WriteTagTable();
  // The copy kept of the block at `page` while the lock is held, or null.
  const std::string* Kept(uint32_t page) const;
  // Keeps a copy of a block read or written under the lock.
  void Keep(uint32_t page, const std::string& block) const;

  std::string path_;
  int fd_ = -1;
  bool writable_ = false;
  int lock_depth_ = 0;
  // Blocks read or written while the lock is held (see the top of this file), by page;
  // emptied when the lock is taken and let go, and when there are kMaxKeptBlocks.
  static constexpr size_t kMaxKeptBlocks = 4096;
  mutable std::unordered_map<uint32_t, std::string> kept_;
  uint32_t pending_record_ = 0;
  uint32_t pending_append_first_ = 0, pending_append_last_ = 0;
  std::string head_;  // pages 0-3 as read (2048 bytes)
  uint32_t block_pages_ = 2;
  uint32_t page_count_ = 4;
  mutable uint32_t page_limit_ = 4;  // grows when another opening grew the file
  uint32_t free_page_ = 0;
  bool reuse_free_ = true;  // false when the free list failed its checks
  std::vector<MdxTagEntry> tags_;
  mutable uint64_t blocks_read_ = 0;
  uint64_t blocks_written_ = 0;
};

// Little-endian helpers over byte strings, bounds-checked by the caller's sizes.
uint16_t GetU16(const std::string& b, size_t off);
uint32_t GetU32(const std::string& b, size_t off);
void PutU16(std::string& b, size_t off, uint16_t v);
void PutU32(std::string& b, size_t off, uint32_t v);

}  // namespace snyltdyr::engine
