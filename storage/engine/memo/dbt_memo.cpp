#include "storage/engine/memo/dbt_memo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "storage/engine/error_stack.h"
#include "storage/engine/files/file_io.h"
#include "storage/engine/files/file_lock.h"

namespace snyltdyr::engine {
namespace {

constexpr uint32_t kMaxMemo4 = 64u << 20;  // a length beyond this is damage, not data
constexpr uint32_t kMaxMemo3 = 16u << 20;
constexpr uint8_t kMemo4Marker[4] = {0xFF, 0xFF, 0x08, 0x00};

uint32_t U32(const uint8_t* b) {
  return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
         static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
}

void PutU32(uint8_t* b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[i] = static_cast<uint8_t>(v >> (8 * i));
}

// Block counts of files up to 4 G blocks; larger ones count as that many.
uint32_t CeilDiv(uint64_t a, uint32_t b) {
  return static_cast<uint32_t>(std::min<uint64_t>((a + b - 1) / b, UINT32_MAX));
}

}  // namespace

bool ParseMemoBlock(const uint8_t* field, size_t length, uint32_t& block) {
  uint64_t value = 0;
  bool digits = false;
  for (size_t i = 0; i < length; ++i) {
    uint8_t c = field[i];
    if (c == ' ' || c == 0) {
      if (digits) {  // only blanks may follow the number
        for (size_t j = i; j < length; ++j)
          if (field[j] != ' ' && field[j] != 0) return false;
        break;
      }
      continue;
    }
    if (c < '0' || c > '9') return false;
    digits = true;
    value = value * 10 + (c - '0');
    if (value > 0xFFFFFFFFu) return false;
  }
  block = static_cast<uint32_t>(value);
  return true;
}

void FormatMemoBlock(uint32_t block, uint8_t* field, size_t length) {
  std::memset(field, ' ', length);
  if (block == 0) return;
  std::string digits = std::to_string(block);
  if (digits.size() > length) return;  // cannot happen for 10-byte fields
  std::memcpy(field + length - digits.size(), digits.data(), digits.size());
}

DbtMemo::~DbtMemo() {
  if (fd_ >= 0) ::close(fd_);
}

Result DbtMemo::Create(const std::string& path, const std::string& table_base_name) {
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    int err = errno;
    return Fail(err == EEXIST ? kErrFileExists : kErrCreateFailed, path + ": " + std::strerror(err), err);
  }
  std::vector<uint8_t> header(512, 0);
  PutU32(header.data(), 1);  // the first memo goes into block 1
  for (size_t i = 0; i < table_base_name.size() && i < 8; ++i)
    header[8 + i] = static_cast<uint8_t>(table_base_name[i]);
  header[20] = 0x00;
  header[21] = 0x02;  // 512-byte blocks
  ssize_t n = ::pwrite(fd, header.data(), header.size(), 0);
  int err = errno;
  ::close(fd);
  if (n != static_cast<ssize_t>(header.size()))
    return Fail(kErrWriteFailed, path + ": " + std::strerror(err), err);
  return kOk;
}

Result DbtMemo::Open(const std::string& path, MemoKind kind, bool writable) {
  path_ = path;
  int err = 0;
  std::string not_regular;
  fd_ = OpenRegularFile(path, writable ? O_RDWR : O_RDONLY, err, not_regular);
  if (fd_ < 0 && !not_regular.empty())
    return Fail(kErrReadFailed, path + " is " + not_regular + ", not a memo file.");
  if (fd_ < 0) {
    if (err == ENOENT) return Fail(kErrMemoFileNotFound, path, err);
    return Fail(writable && err == EACCES ? kErrTableReadOnly : kErrReadFailed,
                path + ": " + std::strerror(err), err);
  }
  writable_ = writable;
  uint64_t size = 0;
  if (Result r = FileSize(size)) return r;
  uint8_t h[24] = {};
  if (size < sizeof h) return Fail(kErrDamagedMemo, path + ": the memo file has no header.");
  if (Result r = ReadAt(0, h, sizeof h)) return r;
  uint32_t size_field = static_cast<uint32_t>(h[20]) | static_cast<uint32_t>(h[21]) << 8;
  if (kind == MemoKind::kUnknown)
    kind = (h[16] == 0x03 && size_field == 0) ? MemoKind::kDbase3 : MemoKind::kDbase4;
  kind_ = kind;
  if (kind_ == MemoKind::kDbase3) {
    block_size_ = 512;
  } else {
    block_size_ = size_field == 0 ? 512 : size_field;
    if (block_size_ < 16 || block_size_ > 32768)
      return Fail(kErrDamagedMemo, path + ": block size " + std::to_string(block_size_) + ".");
  }
  return kOk;
}

Result DbtMemo::Read(uint32_t block, std::string& content) {
  uint64_t size = 0;
  if (Result r = FileSize(size)) return r;
  const uint32_t eofb = CeilDiv(size, block_size_);
  if (block < 1 || block >= eofb)
    return Fail(kErrMemoBlockOutOfRange, path_ + ": block " + std::to_string(block) +
                                             " of a file of " + std::to_string(eofb) + " blocks.");
  const uint64_t start = static_cast<uint64_t>(block) * block_size_;
  uint8_t head[8] = {};
  const size_t head_size = static_cast<size_t>(std::min<uint64_t>(8, size - start));
  if (Result r = ReadAt(start, head, head_size)) return r;
  if (head_size == 8 && std::memcmp(head, kMemo4Marker, 4) == 0) {
    const uint32_t length = U32(head + 4);
    if (length < 8 || length > kMaxMemo4 || start + length > size)
      return Fail(kErrDamagedMemo, path_ + ": the memo at block " + std::to_string(block) +
                                       " claims " + std::to_string(length) + " bytes.");
    content.assign(length - 8, '\0');
    if (Result r = ReadAt(start + 8, content.data(), content.size())) return r;
    while (!content.empty() && content.back() == 0x1A) content.pop_back();
    return kOk;
  }
  // Text up to the first 0x1A, never past the end of the file or the cap.
  content.clear();
  uint64_t pos = start;
  std::vector<char> chunk(4096);
  while (pos < size && content.size() < kMaxMemo3) {
    size_t n = static_cast<size_t>(std::min<uint64_t>(chunk.size(), size - pos));
    if (Result r = ReadAt(pos, chunk.data(), n)) return r;
    auto end = std::find(chunk.begin(), chunk.begin() + static_cast<long>(n), '\x1A');
    content.append(chunk.begin(), end);
    if (end != chunk.begin() + static_cast<long>(n)) return kOk;
    pos += n;
  }
  return kOk;  // no terminator: the text up to the end of the file
}

// Memos of a batch closer than this are read together (a read costs about as much as
// copying 8 to 16 KB from the page cache); a read is at most kManyReadBytes.
constexpr uint64_t kManyGapBytes = 16384;
constexpr uint64_t kManyReadBytes = uint64_t{1} << 20;

// Kept in step with Read: every memo it takes is one Read gives the same bytes; the rest
// it leaves to Read.
bool DbtMemo::ParseRead(const uint8_t* at, size_t size, uint64_t offset, std::string& content) {
  if (size >= 8 && std::memcmp(at, kMemo4Marker, 4) == 0) {
    const uint32_t length = U32(at + 4);
    if (length < 8 || length > kMaxMemo4) return false;
    content.assign(reinterpret_cast<const char*>(at) + 8, std::min<size_t>(size, length) - 8);
    if (length > size) {  // longer than the read that reached it: the rest in one more
      const size_t have = content.size();
      content.resize(length - 8);
      int err = 0;
      if (ReadFully(fd_, offset + size, content.data() + have, content.size() - have, err) !=
          content.size() - have)
        return false;
    }
    while (!content.empty() && content.back() == 0x1A) content.pop_back();
    return true;
  }
  // Text up to its 0x1A, when that was read.
  const uint8_t* end = std::find(at, at + size, uint8_t{0x1A});
  if (end == at + size) return false;
  content.assign(reinterpret_cast<const char*>(at), static_cast<size_t>(end - at));
  return true;
}

void DbtMemo::ReadMany(const std::vector<uint32_t>& blocks, std::vector<std::string>& contents,
                       std::vector<uint8_t>& read) {
  const size_t n = blocks.size();
  contents.resize(n);
  read.assign(n, 0);
  by_block_.clear();
  for (size_t i = 0; i < n; ++i) {
    contents[i].clear();
    if (blocks[i] == 0) read[i] = 1;  // no memo
    else by_block_.push_back(static_cast<uint32_t>(i));
  }
  std::sort(by_block_.begin(), by_block_.end(),
            [&](uint32_t a, uint32_t b) { return blocks[a] < blocks[b]; });
  const uint64_t bs = block_size_;
  if (ReadManyFromView(blocks, contents, read)) return;
  for (size_t a = 0; a < by_block_.size();) {
    // A run: from the first block of one memo to the end of the first block of the last,
    // each memo's first block read whole.
    const uint64_t start = blocks[by_block_[a]] * bs;
    uint64_t end = start + bs;
    size_t b = a + 1;
    for (; b < by_block_.size(); ++b) {
      const uint64_t next = blocks[by_block_[b]] * bs;
      if (next > end + kManyGapBytes || next + bs - start > kManyReadBytes) break;
      end = std::max(end, next + bs);
    }
    span_.resize(static_cast<size_t>(end - start));
    int err = 0;
    const size_t got = ReadFully(fd_, start, span_.data(), span_.size(), err);
    for (size_t k = a; k < b; ++k) {
      const uint32_t i = by_block_[k];
      const uint64_t at = blocks[i] * bs - start;
      if (err != 0 || at >= got) continue;  // outside the file, or the read failed: Read says
      read[i] = ParseRead(span_.data() + at, static_cast<size_t>(got - at), start + at, contents[i])
                    ? 1 : 0;
    }
    a = b;
  }
}

// On a local file system the memos' first blocks are copied out of a view of the file
// (MappedFile): one copy each, as one read each would give, without a system call. The
// view grows with the file at each batch; a memo it cannot give (outside the file's size
// now, or cut off under the view) is left to Read.
bool DbtMemo::ReadManyFromView(const std::vector<uint32_t>& blocks,
                               std::vector<std::string>& contents, std::vector<uint8_t>& read) {
  uint64_t size = 0;
  if (FileSize(size) != kOk || !view_.Cover(fd_, size)) return false;
  const uint64_t bs = block_size_;
  span_.resize(static_cast<size_t>(bs));
  for (const uint32_t i : by_block_) {
    const uint64_t start = blocks[i] * bs;
    if (start >= size) continue;  // outside the file: Read says
    const size_t got = static_cast<size_t>(std::min(bs, size - start));
    const bool copied = view_.Copy(start, got, span_.data());
    read[i] = copied && ParseRead(span_.data(), got, start, contents[i]) ? 1 : 0;
  }
  return true;
}

bool DbtMemo::BlocksInUse(uint32_t block, uint64_t file_size, uint32_t& blocks) {
  const uint32_t eofb = CeilDiv(file_size, block_size_);
  if (block < 1 || block >= eofb) return false;
  const uint64_t start = static_cast<uint64_t>(block) * block_size_;
  if (kind_ == MemoKind::kDbase4) {
    uint8_t head[8] = {};
    if (start + 8 > file_size || ReadAt(start, head, 8) != kOk) return false;
    if (std::memcmp(head, kMemo4Marker, 4) != 0) return false;
    uint32_t length = U32(head + 4);
    if (length < 8 || length > kMaxMemo4 || start + length > file_size) return false;
    blocks = CeilDiv(length, block_size_);
    return true;
  }
  // dBASE III: the run reaches to the block holding the terminator.
  std::string text;
  if (Read(block, text) != kOk) return false;
  if (start + text.size() >= file_size) return false;  // no terminator found
  blocks = CeilDiv(text.size() + 1, block_size_);
  return true;
}

// New memos go at the end of the file. The header's next free block normally is that end;
// a smaller one heads a free list that is never followed, and a larger one is damage or
// a writer that died after moving it: nothing lies there, and appending there instead
// would leave a hole of any size (4 GB blocks of 32 KB: far into the terabytes).
Result DbtMemo::AppendPoint(uint64_t file_size, uint32_t& block) {
  const uint64_t eofb = std::max<uint64_t>(1, (file_size + block_size_ - 1) / block_size_);
  if (eofb >= UINT32_MAX)
    return Fail(kErrDamagedMemo, path_ + ": the memo file has no block numbers left.");
  block = static_cast<uint32_t>(eofb);
  return kOk;
}

Result DbtMemo::Write(const std::string& content, uint32_t old_block, uint32_t& block) {
  if (!writable_) return Fail(kErrTableReadOnly, path_);
  if (!LockRangeWithRetry(fd_, kLockBase, 1))
    return Fail(kErrTableBusy, path_ + ": the memo file is locked by another user.");
  struct Unlock {
    int fd;
    ~Unlock() { UnlockRange(fd, kLockBase, 1); }
  } unlock{fd_};

  std::string bytes;
  if (kind_ == MemoKind::kDbase4) {
    if (content.size() > kMaxMemo4 - 8) return Fail(kErrInvalidFieldValue, path_ + ": the memo is too long.");
    bytes.resize(8);
    std::memcpy(bytes.data(), kMemo4Marker, 4);
    PutU32(reinterpret_cast<uint8_t*>(bytes.data()) + 4, static_cast<uint32_t>(content.size() + 8));
    bytes += content;
    // The original program leaves 0x1F after the data, and readers that take the length
    // for the data alone stop there; the byte lies past the length for everyone else.
    bytes += '\x1F';
  } else {
    if (content.size() > kMaxMemo3 - 2 || content.find('\x1A') != std::string::npos)
      return Fail(kErrInvalidFieldValue, path_ + ": the memo cannot be stored in this memo file.");
    bytes = content + "\x1A\x1A";
  }
  const uint32_t needed = CeilDiv(bytes.size(), block_size_);
  bytes.resize(static_cast<size_t>(needed) * block_size_, '\0');

  uint64_t size = 0;
  if (Result r = FileSize(size)) return r;
  uint32_t old_blocks = 0;
  if (old_block != 0 && BlocksInUse(old_block, size, old_blocks) && needed <= old_blocks) {
    block = old_block;
    return WriteAt(static_cast<uint64_t>(old_block) * block_size_, bytes.data(), bytes.size());
  }
  uint32_t at = 0;
  if (Result r = AppendPoint(size, at)) return r;
  if (Result r = WriteAt(static_cast<uint64_t>(at) * block_size_, bytes.data(), bytes.size())) return r;
  if (uint64_t{at} + needed >= UINT32_MAX)
    return Fail(kErrDamagedMemo, path_ + ": the memo file has no block numbers left.");
  uint8_t next[4];
  PutU32(next, at + needed);
  if (Result r = WriteAt(0, next, 4)) return r;
  block = at;
  return kOk;
}

Result DbtMemo::FileSize(uint64_t& size) {
  struct stat st;
  if (::fstat(fd_, &st) != 0) return Fail(kErrReadFailed, path_ + ": " + std::strerror(errno), errno);
  size = static_cast<uint64_t>(st.st_size);
  return kOk;
}

Result DbtMemo::ReadAt(uint64_t offset, void* out, size_t size) {
  int err = 0;
  if (ReadFully(fd_, offset, out, size, err) == size) return kOk;
  if (err != 0) return Fail(kErrReadFailed, path_ + ": " + std::strerror(err), err);
  return Fail(kErrDamagedMemo, path_ + ": the memo file ended early.");
}

Result DbtMemo::WriteAt(uint64_t offset, const void* data, size_t size) {
  int err = 0;
  if (WriteFully(fd_, offset, data, size, err)) return kOk;
  return Fail(err == ENOSPC ? kErrDiskFull : kErrWriteFailed, path_ + ": " + std::strerror(err), err);
}

}  // namespace snyltdyr::engine
