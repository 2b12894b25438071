#include "storage/engine/index/mdx_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <set>

#include "storage/engine/files/file_io.h"
#include "storage/engine/files/file_lock.h"

namespace snyltdyr::engine {
namespace {

constexpr size_t kHeadBytes = kMdxHeaderPages * kMdxPageSize;  // 2048
constexpr size_t kTagTableStart = 544;
constexpr size_t kTagEntryLength = 32;
constexpr size_t kPendingOffset = 48;
constexpr uint32_t kPendingCheck = 0xA5A5A5A5u;
constexpr size_t kAppendOffset = 60;

void StampDate(std::string& b, size_t off) {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  b[off] = static_cast<char>(tm.tm_year % 100);  // two-digit year, as the original programs
  b[off + 1] = static_cast<char>(tm.tm_mon + 1);
  b[off + 2] = static_cast<char>(tm.tm_mday);
}

bool ReadAt(int fd, std::string& buf, size_t size, off_t off) {
  buf.assign(size, '\0');
  int err = 0;
  buf.resize(ReadFully(fd, static_cast<uint64_t>(off), buf.data(), size, err));
  return buf.size() == size;
}

bool WriteAt(int fd, const char* data, size_t size, off_t off) {
  int err = 0;
  return WriteFully(fd, static_cast<uint64_t>(off), data, size, err);
}

}  // namespace

uint16_t GetU16(const std::string& b, size_t off) {
  return static_cast<uint16_t>(static_cast<uint8_t>(b[off]) |
                               (static_cast<uint8_t>(b[off + 1]) << 8));
}
uint32_t GetU32(const std::string& b, size_t off) {
  return static_cast<uint32_t>(static_cast<uint8_t>(b[off])) |
         (static_cast<uint32_t>(static_cast<uint8_t>(b[off + 1])) << 8) |
         (static_cast<uint32_t>(static_cast<uint8_t>(b[off + 2])) << 16) |
         (static_cast<uint32_t>(static_cast<uint8_t>(b[off + 3])) << 24);
}
void PutU16(std::string& b, size_t off, uint16_t v) {
  b[off] = static_cast<char>(v & 0xFF);
  b[off + 1] = static_cast<char>(v >> 8);
}
void PutU32(std::string& b, size_t off, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[off + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

MdxFile::~MdxFile() {
  if (fd_ >= 0) close(fd_);  // closing the descriptor drops its locks
}

IndexStatus MdxFile::Open(const std::string& path, bool writable, std::unique_ptr<MdxFile>& out) {
  std::unique_ptr<MdxFile> f(new MdxFile());
  f->path_ = path;
  int err = 0;
  std::string not_regular;
  f->fd_ = OpenRegularFile(path, writable ? O_RDWR : O_RDONLY, err, not_regular);
  if (f->fd_ < 0 && writable && (err == EACCES || err == EROFS)) {
    f->fd_ = OpenRegularFile(path, O_RDONLY, err, not_regular);
    writable = false;
  }
  if (f->fd_ < 0 && !not_regular.empty())
    return IndexStatus::Error(path + " is " + not_regular + ", not an index file");
  if (f->fd_ < 0) return IndexStatus::Error(path + ": " + std::strerror(err));
  f->writable_ = writable;
  IndexStatus s = f->Reload();
  if (!s) return s;
  out = std::move(f);
  return IndexStatus::Ok();
}

IndexStatus MdxFile::Create(const std::string& path, const std::string& table_base,
                            std::unique_ptr<MdxFile>& out) {
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return IndexStatus::Error(path + ": " + std::strerror(errno));
  std::string head(kHeadBytes, '\0');
  head[0] = 2;
  StampDate(head, 1);
  std::string base = table_base.substr(0, 15);
  for (char& c : base) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  std::memcpy(head.data() + 4, base.data(), base.size());
  PutU16(head, 20, 2);
  PutU16(head, 22, 1024);
  head[24] = 1;
  head[25] = 0x30;
  head[26] = 0x20;
  head[31] = 0x1B;
  PutU32(head, 32, kMdxHeaderPages);
  StampDate(head, 44);
  head[529] = 1;
  const bool ok = WriteAt(fd, head.data(), head.size(), 0);
  close(fd);
  if (!ok) {
    unlink(path.c_str());
    return IndexStatus::Error(path + ": cannot write the new index file");
  }
  return Open(path, true, out);
}

IndexStatus MdxFile::Reload() {
  struct stat st {};
  if (fstat(fd_, &st) != 0) return IndexStatus::Error(path_ + ": " + std::strerror(errno));
  const size_t size = static_cast<size_t>(st.st_size);
  if (size < kTagTableStart) return IndexStatus::Error(path_ + ": too short for an index file");
  if (!ReadAt(fd_, head_, std::min(size, kHeadBytes), 0))
    return IndexStatus::Error(path_ + ": cannot read the index header");
  head_.resize(kHeadBytes, '\0');
  return ParseHeader();
}

IndexStatus MdxFile::ParseHeader() {
  struct stat st {};
  fstat(fd_, &st);
  const uint64_t size = static_cast<uint64_t>(st.st_size);
  block_pages_ = GetU16(head_, 20);
  if (block_pages_ < 1 || block_pages_ > 32 || GetU16(head_, 22) != block_pages_ * kMdxPageSize)
    return IndexStatus::Error(path_ + ": the block size in the index header is damaged");
  if (static_cast<uint8_t>(head_[26]) != kTagEntryLength)
    return IndexStatus::Error(path_ + ": the tag table entry length is not 32");
  const uint16_t in_use = GetU16(head_, 28);
  if (in_use > kMdxMaxTags) return IndexStatus::Error(path_ + ": more than 47 tags in use");
  if (in_use > 0 && size < kHeadBytes)
    return IndexStatus::Error(path_ + ": the index file is shorter than its tag table");
  page_count_ = GetU32(head_, 32);
  page_limit_ = static_cast<uint32_t>(std::min<uint64_t>(page_count_, size / kMdxPageSize));
  // A file without tags may stop after its header (one library writes 544 bytes); the
  // first tag added writes the whole tag table.
  free_page_ = GetU32(head_, 36);
  const uint32_t pending = GetU32(head_, kPendingOffset + 4);
  pending_record_ = head_.compare(kPendingOffset, 4, "PEND") == 0 && pending != 0 &&
                            GetU32(head_, kPendingOffset + 8) == (pending ^ kPendingCheck)
                        ? pending
                        : 0;
  const uint32_t first = GetU32(head_, kAppendOffset + 4), last = GetU32(head_, kAppendOffset + 8);
  const bool appending = head_.compare(kAppendOffset, 4, "APND") == 0 && first != 0 &&
                         first <= last &&
                         GetU32(head_, kAppendOffset + 12) == (first ^ last ^ kPendingCheck);
  pending_append_first_ = appending ? first : 0;
  pending_append_last_ = appending ? last : 0;

  tags_.clear();
  std::set<std::string> names;
  for (uint16_t i = 0; i < in_use; ++i) {
    const size_t off = kTagTableStart + kTagEntryLength * i;
    MdxTagEntry e;
    e.header_page = GetU32(head_, off);
    const char* name = head_.data() + off + 4;
    e.name.assign(name, strnlen(name, 11));
    while (!e.name.empty() && e.name.back() == ' ') e.name.pop_back();
    e.key_type = head_[off + 20];
    if (e.name.empty() || e.name.size() > kMdxTagNameMax || !names.insert(e.name).second)
      return IndexStatus::Error(path_ + ": tag " + std::to_string(i + 1) + " has a bad name");
    tags_.push_back(e);
  }
  std::vector<uint32_t> unused;
  reuse_free_ = FreeListPages(unused);
  return IndexStatus::Ok();
}

bool MdxFile::FreeListPages(std::vector<uint32_t>& pages) const {
  pages.clear();
  std::set<uint32_t> seen;
  std::string block;
  for (uint32_t p = free_page_; p != 0;) {
    if (!BlockFits(p, page_limit_) || !seen.insert(p).second ||
        seen.size() > page_limit_)
      return false;
    for (const MdxTagEntry& t : tags_)
      if (t.header_page == p) return false;
    pages.push_back(p);
    if (!ReadBlock(p, block)) return false;
    p = GetU32(block, 4);
  }
  return true;
}

bool MdxFile::BlockFits(uint32_t page, uint32_t pages) const {
  return page >= kMdxHeaderPages && uint64_t{page} + block_pages_ <= pages;
}

IndexStatus MdxFile::CheckPageCount() const {
  struct stat st {};
  if (fstat(fd_, &st) != 0) return IndexStatus::Error(path_ + ": " + std::strerror(errno));
  // A file without tags may stop after its header; a last block may lack its zero tail.
  const uint64_t held = (std::max<uint64_t>(static_cast<uint64_t>(st.st_size), kHeadBytes) +
                         kMdxPageSize - 1) / kMdxPageSize;
  if (page_count_ < kMdxHeaderPages || page_count_ > held)
    return IndexStatus::Error(path_ + ": the index header counts " + std::to_string(page_count_) +
                              " pages, but the file holds " + std::to_string(held));
  return IndexStatus::Ok();
}

bool MdxFile::PageInRange(uint32_t page) const {
  if (page < kMdxHeaderPages) return false;
  if (BlockFits(page, page_limit_)) return true;
  // Another opening may have grown the file since the header was read.
  std::string count;
  struct stat st {};
  if (ReadAt(fd_, count, 4, 32) && fstat(fd_, &st) == 0)
    page_limit_ = std::max(page_limit_, static_cast<uint32_t>(std::min<uint64_t>(
                                            GetU32(count, 0), static_cast<uint64_t>(st.st_size) / kMdxPageSize)));
  return BlockFits(page, page_limit_);
}

IndexStatus MdxFile::ReadBlock(uint32_t page, std::string& block) const {
  if (!PageInRange(page))
    return IndexStatus::Error(path_ + ": page " + std::to_string(page) + " lies outside the file");
  if (const std::string* kept = Kept(page)) {
    block = *kept;
    return IndexStatus::Ok();
  }
  ++blocks_read_;
  if (!ReadAt(fd_, block, block_bytes(), static_cast<off_t>(page) * kMdxPageSize))
    return IndexStatus::Error(path_ + ": cannot read page " + std::to_string(page));
  Keep(page, block);
  return IndexStatus::Ok();
}

const std::string* MdxFile::Kept(uint32_t page) const {
  if (lock_depth_ == 0) return nullptr;
  auto it = kept_.find(page);
  return it != kept_.end() ? &it->second : nullptr;
}

void MdxFile::Keep(uint32_t page, const std::string& block) const {
  if (lock_depth_ == 0) return;
  if (kept_.size() >= kMaxKeptBlocks) kept_.clear();
  kept_[page] = block;
}

IndexStatus MdxFile::ReadBlockStart(uint32_t page, size_t size, std::string& bytes) const {
  if (!PageInRange(page))
    return IndexStatus::Error(path_ + ": page " + std::to_string(page) + " lies outside the file");
  if (const std::string* kept = Kept(page)) {
    bytes = kept->substr(0, std::min<size_t>(size, block_bytes()));
    return IndexStatus::Ok();
  }
  if (!ReadAt(fd_, bytes, std::min<size_t>(size, block_bytes()), static_cast<off_t>(page) * kMdxPageSize))
    return IndexStatus::Error(path_ + ": cannot read page " + std::to_string(page));
  return IndexStatus::Ok();
}

IndexStatus MdxFile::ReadPages(uint32_t first, uint32_t pages, std::string& bytes) const {
  if (pages == 0 || !PageInRange(first) || !PageInRange(first + pages - block_pages_))
    return IndexStatus::Error(path_ + ": pages " + std::to_string(first) + " to " +
                              std::to_string(first + pages - 1) + " lie outside the file");
  blocks_read_ += pages / block_pages_;
  if (!ReadAt(fd_, bytes, static_cast<size_t>(pages) * kMdxPageSize, static_cast<off_t>(first) * kMdxPageSize))
    return IndexStatus::Error(path_ + ": cannot read page " + std::to_string(first));
  return IndexStatus::Ok();
}

namespace {
std::atomic<uint64_t> write_generation{0};
}  // namespace

uint64_t MdxFile::WriteGeneration() { return write_generation.load(std::memory_order_relaxed); }

IndexStatus MdxFile::WriteBlock(uint32_t page, const std::string& block) {
  // Counted before the write: a reader that looks meanwhile must not trust its nodes.
  write_generation.fetch_add(1, std::memory_order_relaxed);
  if (!writable_) return IndexStatus::Error(path_ + ": the index file is open read-only");
  if (!BlockFits(page, page_count_) || block.size() != block_bytes())
    return IndexStatus::Error(path_ + ": refused to write page " + std::to_string(page));
  // New blocks are appended one after another: a block never starts past the file's end.
  struct stat st {};
  if (fstat(fd_, &st) != 0 ||
      uint64_t{page} * kMdxPageSize > std::max<uint64_t>(static_cast<uint64_t>(st.st_size), kHeadBytes))
    return IndexStatus::Error(path_ + ": refused to write page " + std::to_string(page) +
                              " beyond the end of the file");
  // Kept blocks this write overlaps are stale from now on (only a damaged file has blocks
  // that overlap, but a kept copy must never differ from the file); a failed write leaves
  // the pages unknown, so they are not kept either.
  for (uint32_t p = page >= block_pages_ ? page - block_pages_ + 1 : 0; p < page + block_pages_; ++p)
    kept_.erase(p);
  if (!WriteAt(fd_, block.data(), block.size(), static_cast<off_t>(page) * kMdxPageSize))
    return IndexStatus::Error(path_ + ": cannot write page " + std::to_string(page) + ": " +
                              std::strerror(errno));
  page_limit_ = std::max(page_limit_, page + block_pages_);
  ++blocks_written_;
  Keep(page, block);
  return IndexStatus::Ok();
}

IndexStatus MdxFile::AllocateBlock(uint32_t& page) {
  const std::string zero(block_bytes(), '\0');
  if (reuse_free_ && free_page_ != 0) {
    std::string block;
    if (ReadBlock(free_page_, block)) {
      const uint32_t next = GetU32(block, 4);
      if (next == 0 || BlockFits(next, page_limit_)) {
        page = free_page_;
        IndexStatus s = WriteBlock(page, zero);
        if (!s) return s;
        free_page_ = next;
        return IndexStatus::Ok();
      }
    }
    reuse_free_ = false;  // a broken list is left alone; new blocks go at the end
  }
  // The header's count is where the file ends; a count beyond the file is damage, and
  // writing there would put the block anywhere up to 2 TB into the file.
  IndexStatus s = CheckPageCount();
  if (!s) return s;
  if (uint64_t{page_count_} + block_pages_ > UINT32_MAX)
    return IndexStatus::Error(path_ + ": the index file has no page numbers left");
  page = page_count_;
  page_count_ += block_pages_;
  s = WriteBlock(page, zero);
  if (!s) page_count_ -= block_pages_;
  return s;
}

IndexStatus MdxFile::ReleaseBlock(uint32_t page) {
  if (!reuse_free_) return IndexStatus::Ok();  // abandoned: a rebuild reclaims it
  std::string block(block_bytes(), '\0');
  PutU32(block, 4, free_page_);
  IndexStatus s = WriteBlock(page, block);
  if (!s) return s;
  free_page_ = page;
  return IndexStatus::Ok();
}

IndexStatus MdxFile::WriteHeader() {
  if (!writable_) return IndexStatus::Error(path_ + ": the index file is open read-only");
  PutU32(head_, 32, page_count_);
  PutU32(head_, 36, free_page_);
  StampDate(head_, 44);
  if (!WriteAt(fd_, head_.data(), 48, 0))
    return IndexStatus::Error(path_ + ": cannot write the index header");
  return IndexStatus::Ok();
}

IndexStatus MdxFile::Sync() {
  if (fsync(fd_) != 0) return IndexStatus::Error(path_ + ": " + std::strerror(errno));
  return IndexStatus::Ok();
}

void MdxFile::WriteTagTable() {
  // Threads: a binary search tree of the names, built in entry order.
  const size_t n = tags_.size();
  std::vector<uint8_t> left(n, 0), right(n, 0), parent(n, 0);
  for (size_t i = 1; i < n; ++i) {
    size_t at = 0;
    for (;;) {
      const bool go_left = tags_[i].name < tags_[at].name;
      uint8_t& child = go_left ? left[at] : right[at];
      if (child == 0) {
        child = static_cast<uint8_t>(i + 1);
        parent[i] = static_cast<uint8_t>(at + 1);
        break;
      }
      at = child - 1u;
    }
  }
  for (size_t i = 0; i < kMdxMaxTags; ++i) {
    const size_t off = kTagTableStart + kTagEntryLength * i;
    std::fill(head_.begin() + off, head_.begin() + off + kTagEntryLength, '\0');
    if (i >= n) continue;
    PutU32(head_, off, tags_[i].header_page);
    std::memcpy(head_.data() + off + 4, tags_[i].name.data(),
                std::min(tags_[i].name.size(), kMdxTagNameMax));
    head_[off + 15] = 0x10;
    head_[off + 16] = static_cast<char>(left[i]);
    head_[off + 17] = static_cast<char>(right[i]);
    head_[off + 18] = static_cast<char>(parent[i]);
    head_[off + 19] = 0x02;
    head_[off + 20] = tags_[i].key_type;
  }
  PutU16(head_, 28, static_cast<uint16_t>(n));
}

IndexStatus MdxFile::AddTagEntry(const MdxTagEntry& entry) {
  if (tags_.size() >= kMdxMaxTags)
    return IndexStatus::Error(path_ + ": the index file already holds 47 tags");
  tags_.push_back(entry);
  WriteTagTable();
  PutU32(head_, 32, page_count_);
  PutU32(head_, 36, free_page_);
  StampDate(head_, 44);
  if (!WriteAt(fd_, head_.data(), kHeadBytes, 0)) {
    tags_.pop_back();
    return IndexStatus::Error(path_ + ": cannot write the tag table");
  }
  return IndexStatus::Ok();
}

IndexStatus MdxFile::SetPendingRecord(uint32_t recno) {
  if (!writable_) return IndexStatus::Error(path_ + ": the index file is open read-only");
  std::string mark(12, '\0');
  if (recno != 0) {
    mark.replace(0, 4, "PEND");
    PutU32(mark, 4, recno);
    PutU32(mark, 8, recno ^ kPendingCheck);
  }
  write_generation.fetch_add(1, std::memory_order_relaxed);
  if (!WriteAt(fd_, mark.data(), mark.size(), kPendingOffset))
    return IndexStatus::Error(path_ + ": cannot write the index header: " + std::strerror(errno));
  head_.replace(kPendingOffset, mark.size(), mark);
  pending_record_ = recno;
  return IndexStatus::Ok();
}

IndexStatus MdxFile::SetPendingAppend(uint32_t first, uint32_t last) {
  if (!writable_) return IndexStatus::Error(path_ + ": the index file is open read-only");
  std::string mark(16, '\0');
  if (first != 0) {
    mark.replace(0, 4, "APND");
    PutU32(mark, 4, first);
    PutU32(mark, 8, last);
    PutU32(mark, 12, first ^ last ^ kPendingCheck);
  }
  write_generation.fetch_add(1, std::memory_order_relaxed);
  if (!WriteAt(fd_, mark.data(), mark.size(), kAppendOffset))
    return IndexStatus::Error(path_ + ": cannot write the index header: " + std::strerror(errno));
  head_.replace(kAppendOffset, mark.size(), mark);
  pending_append_first_ = first;
  pending_append_last_ = first != 0 ? last : 0;
  return IndexStatus::Ok();
}

bool MdxFile::Lock() {
  if (lock_depth_ > 0) {
    ++lock_depth_;
    return true;
  }
  if (!LockRangeWithRetry(fd_, kLockBase, 1)) return false;
  kept_.clear();  // read before the lock: not to be trusted under it
  lock_depth_ = 1;
  return true;
}

bool MdxFile::LockShared() {
  if (lock_depth_ > 0) {
    ++lock_depth_;
    return true;
  }
  if (!LockRangeWithRetry(fd_, kLockBase, 1, /*exclusive=*/false)) return false;
  kept_.clear();
  lock_depth_ = 1;
  return true;
}

void MdxFile::Unlock() {
  if (lock_depth_ == 0 || --lock_depth_ > 0) return;
  kept_.clear();
  UnlockRange(fd_, kLockBase, 1);
}

}  // namespace snyltdyr::engine
