// One opening of a table: sharing, checks, memo file, companions, locks and the order of
// writes that keeps the files valid at every point a crash could interrupt.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include "storage/engine/files/case_insensitive_path.h"
#include "storage/engine/datafile/code_page.h"
#include "storage/engine/datafile/code_page_guess.h"
#include "storage/engine/table/cursor.h"
#include "storage/engine/datafile/dbf_file.h"
#include "storage/engine/memo/dbt_memo.h"
#include "storage/engine/error_stack.h"
#include "storage/engine/files/file_io.h"
#include "storage/engine/files/file_lock.h"
#include "storage/engine/repair/repair_advice.h"

namespace snyltdyr::engine {
namespace {

std::vector<CompanionOpener>& Openers() {
  static std::vector<CompanionOpener> openers;
  return openers;
}

// Releases a range lock when the scope ends, unless the lock is to be kept.
struct RangeLock {
  int fd;
  int64_t start;
  bool held = false;
  ~RangeLock() {
    if (held) UnlockRange(fd, start, 1);
  }
};

}  // namespace

void RegisterCompanionOpener(CompanionOpener opener) { Openers().push_back(std::move(opener)); }

Table::Table() = default;

Table::~Table() {
  EndBatch();
  // The companion goes first: it may still look at the table while it closes.
  companion_.reset();
  if (dbf_ && dbf_->fd() >= 0) {
    UnlockAllRecords();
    if (table_locked_) UnlockTable(dbf_->fd());
    UnlockRange(dbf_->fd(), kOpenLockOffset, 1);
  }
}

Result Table::Open(const std::string& dbf_path, OpenMode open_mode, ShareMode share_mode,
                   bool with_companions) {
  dbf_path_ = dbf_path;
  share_mode_ = share_mode;
  const bool writable = open_mode == OpenMode::kReadWrite;
  dbf_ = std::make_unique<DbfFile>();
  if (Result r = dbf_->Open(dbf_path, writable)) return r;
  cache_ = std::make_unique<RecordCache>(dbf_->header().record_length);
  if (Result r = LockSharing(share_mode)) return r;
  if (!writable) ForbidWrites(kErrTableReadOnly, "The table was opened for reading only.");
  if (writable) TidyKilledAppend();
  const DbfHeader& h = dbf_->header();
  code_page_ = CodePageOfDriver(h.language_driver);
  bool cpg = false;
  if (code_page_ == 0 && h.language_driver == 0) CompanionPath(dbf_path, ".CPG", cpg);
  if (code_page_ == 0 && h.language_driver == 0 && !cpg) {
    if (Result r = AssumeCodePage()) return r;
  } else if (code_page_ == 0) {
    code_page_ = DefaultCodePage(dbf_path);
  }
  if (h.write_refusal != kOk)
    ForbidWrites(h.write_refusal, h.memo_kind == MemoKind::kUnknown
                                      ? h.refusal_text + " " + RepairAdvice(dbf_path) + "."
                                      : h.refusal_text);
  if (h.memo_kind != MemoKind::kNone)
    if (Result r = OpenMemo()) return r;
  if (!CodePageSupported(CodePage()))
    ForbidWrites(kErrUnsupportedFormat, "The table's code page " + std::to_string(CodePage()) +
                                            " cannot be converted.");
  if (with_companions)
    for (const CompanionOpener& open : Openers())
      if (Result r = open(*this)) return r;
  if (with_companions && h.production_index && !companion_)
    ForbidWrites(kErrIndexOutOfDate,
                 "The table has a production index that this program cannot keep up to date.");
  if (writable && !Writable())
    return Fail(kErrTableReadOnly, dbf_path + ": " + write_refusal_text_);
  return kOk;
}

void Table::TidyKilledAppend() {
  const int fd = dbf_->fd();
  RangeLock header{fd, kHeaderLockOffset}, append{fd, kAppendLockOffset};
  if (!Exclusive() && (!(header.held = TryLockRange(fd, kHeaderLockOffset, 1)) ||
                       !(append.held = TryLockRange(fd, kAppendLockOffset, 1))))
    return;  // someone is appending now: nothing was left by a kill
  struct stat st {};
  if (RefreshHeader() != kOk || ::fstat(fd, &st) != 0) return;
  const uint64_t end = dbf_->RecordOffset(RecordCount() + 1);  // just past the counted records
  const uint64_t size = static_cast<uint64_t>(st.st_size);
  if (size <= end + 1 || size > end + RecordLength() + 1) return;
  uint8_t flag = 0;
  int error = 0;
  if (ReadFully(fd, end, &flag, 1, error) != 1 || flag != '*') return;
  if (dbf_->WriteEndMarker(RecordCount()) == kOk) (void)::ftruncate(fd, static_cast<off_t>(end + 1));
}

Result Table::AssumeCodePage() {
  TextBytes text;
  if (Result r = ReadTableText(*dbf_, kCodePageGuessRecords, text)) return r;
  const CodePageGuess g = GuessCodePage(text);
  code_page_ = g.code_page;
  code_page_uncertain_ = !g.certain;
  const std::string cpg = std::filesystem::path(dbf_path_).stem().string() + ".CPG";
  const std::string none = "The table's header names no code page, and there is no " + cpg + " file beside it";
  std::string found, advice;
  if (g.plain_ascii) {
    found = "; its text is plain ASCII, which reads alike in every code page";
    advice = RepairAdvice(dbf_path_, " --code-page N") +
             ", with N the code page the other programs use (865 for Norwegian DOS text, 1252 for Windows text)";
  } else if (g.certain) {
    found = "; its text reads as code page " + std::to_string(code_page_) + ", which is assumed";
    advice = RepairAdvice(dbf_path_);
  } else {
    found = g.fitting.empty()
                ? "; its text fits none of the code pages 865, 850, 437 and 1252"
                : "; its text fits code pages " + CodePageList(g.fitting) + ", which read it differently";
    found += ", and it is shown as code page " + std::to_string(code_page_) + " for now, which may be wrong";
    advice = RepairAdvice(dbf_path_, " --code-page N") + ", with N the code page the text was written in";
  }
  code_page_note_ = none + found + ".";
  ForbidWrites(kErrTableReadOnly,
               code_page_note_ + " The table is only read until its code page is set. " + advice + ".");
  return kOk;
}

Result Table::LockSharing(ShareMode share_mode) {
  const int fd = dbf_->fd();
  if (share_mode == ShareMode::kShared) {
    if (!TryLockRange(fd, kOpenLockOffset, 1, /*exclusive=*/false))
      return Fail(kErrTableInUse, dbf_path_ + ": another user has the table open exclusively.");
    return kOk;
  }
  if (!dbf_->writable())
    return Fail(kErrTableReadOnly, dbf_path_ + ": a table opened for reading cannot be held exclusively.");
  if (!TryLockRange(fd, kOpenLockOffset, 1, /*exclusive=*/true))
    return Fail(kErrTableInUse, dbf_path_ + ": another user has the table open.");
  // The table lock tells programs that follow only the byte-range conventions.
  if (!TryLockTable(fd)) {
    UnlockRange(fd, kOpenLockOffset, 1);
    return Fail(kErrTableInUse, dbf_path_ + ": another user is changing the table.");
  }
  table_locked_ = true;
  return kOk;
}

Result Table::OpenMemo() {
  const DbfHeader& h = dbf_->header();
  if (h.memo_kind == MemoKind::kForeign) {
    ForbidWrites(kErrUnsupportedFormat, "The table's memo file is of a kind this engine does not read.");
    return kOk;
  }
  bool exists = false;
  std::string clash;
  std::string path = CompanionPath(dbf_path_, ".DBT", exists, &clash);
  if (!clash.empty()) return Fail(kErrAmbiguousFileName, clash + " " + RepairAdvice(dbf_path_) + ".");
  if (!exists) {
    ForbidWrites(kErrMemoFileNotFound, "The memo file " + path + " is missing.");
    return kOk;
  }
  auto memo = std::make_unique<DbtMemo>();
  Result r = memo->Open(path, h.memo_kind, dbf_->writable());
  if (r == kErrTableReadOnly) {
    ForbidWrites(r, "The memo file " + path + " cannot be written.");
    memo = std::make_unique<DbtMemo>();
    r = memo->Open(path, h.memo_kind, false);
  }
  if (r != kOk) {
    // The records still read; their memos are unavailable, and nothing is written.
    const std::vector<ErrorEntry>& why = ErrorEntries();
    ForbidWrites(r, why.empty() ? "The memo file " + path + " cannot be used."
                                : "The memo file cannot be used: " + why.back().text);
    return kOk;
  }
  memo_ = std::move(memo);
  return kOk;
}

const std::vector<FieldDesc>& Table::Fields() const { return dbf_->header().fields; }
uint16_t Table::RecordLength() const { return dbf_->header().record_length; }
uint16_t Table::HeaderLength() const { return dbf_->header().header_length; }
uint32_t Table::RecordCount() const { return dbf_->header().record_count; }
uint8_t Table::Version() const { return dbf_->header().version; }
uint8_t Table::LanguageDriver() const { return dbf_->header().language_driver; }
bool Table::ProductionIndexFlagged() const { return dbf_->header().production_index; }


Result Table::RefreshHeader() { return dbf_->RefreshHeader(); }

Result Table::ReadRecord(uint32_t recno, std::vector<uint8_t>& bytes) {
  if (recno > RecordCount())
    if (Result r = RefreshHeader()) return r;
  bytes.resize(RecordLength());
  return dbf_->ReadRecord(recno, bytes.data());
}

Result Table::ReadRecordCached(uint32_t recno, std::vector<uint8_t>& bytes) {
  const uint16_t rl = RecordLength();
  const uint8_t* at = cache_->Find(recno);
  if (at == nullptr) {
    if (recno > RecordCount())
      if (Result r = RefreshHeader()) return r;
    if (recno == 0 || recno > RecordCount()) return ReadRecord(recno, bytes);  // reports it
    // A run ahead of the walk in its direction when the walk goes from record to record;
    // a walk that jumps about reads the record alone (or has it read ahead, Prefetch).
    const bool next_along = recno == last_cached_read_ + 1 || recno + 1 == last_cached_read_ ||
                            last_cached_read_ == 0;
    const uint32_t window =
        next_along ? std::max<uint32_t>(1, static_cast<uint32_t>(RecordCache::kMaxRunBytes / rl)) : 1;
    const bool backward = recno < last_cached_read_;
    const uint32_t first = backward ? (recno > window ? recno - window + 1 : 1) : recno;
    const uint32_t count = std::min<uint32_t>(window, RecordCount() - first + 1);
    if (Result r = ReadRun(first, count)) return r;
    at = cache_->Find(recno);
    // A run that aged out at once (this process was not run for longer than a run stays
    // fresh) is no run: the record is read alone.
    if (at == nullptr) {
      last_cached_read_ = recno;
      return ReadRecord(recno, bytes);
    }
  }
  last_cached_read_ = recno;
  bytes.assign(at, at + rl);
  return kOk;
}

Result Table::Prefetch(const std::vector<uint32_t>& recnos) {
  const uint16_t rl = RecordLength();
  // Records this close together are read in one run: reading the gap costs less than
  // another call.
  const uint32_t gap = std::max<uint32_t>(1, static_cast<uint32_t>(kPrefetchGapBytes / rl));
  const uint32_t longest = std::max<uint32_t>(1, static_cast<uint32_t>(RecordCache::kMaxRunBytes / rl));
  uint32_t first = 0, last = 0;
  auto flush = [&]() -> Result {
    if (first == 0) return kOk;
    const Result r = ReadRun(first, last - first + 1);
    first = 0;
    return r;
  };
  for (uint32_t recno : recnos) {
    if (recno == 0 || recno > RecordCount() || cache_->Find(recno) != nullptr) continue;
    if (first != 0 && (recno <= last || recno - last > gap || recno - first >= longest))
      if (Result r = flush()) return r;
    if (first == 0) first = recno;
    last = recno;
  }
  return flush();
}

Result Table::ReadRun(uint32_t first, uint32_t count) {
  uint8_t* into = cache_->Add(first, count);
  const Result r = dbf_->ReadRecords(first, count, into);
  if (r != kOk) cache_->Unadd(first);
  return r;
}

void Table::ForbidWrites(Result reason, const std::string& why) {
  if (write_refusal_ != kOk) return;  // the first reason is the one to tell
  write_refusal_ = reason;
  write_refusal_text_ = why;
}

void Table::SetCompanion(std::unique_ptr<TableCompanion> companion) {
  companion_ = std::move(companion);
}

Result Table::Reread() {
  DropCache();
  if (Result r = RefreshHeader()) return r;
  if (companion_) companion_->Reread();
  return kOk;
}

Result Table::CheckWritable() const {
  if (write_refusal_ == kOk) return kOk;
  return Fail(kErrTableReadOnly, dbf_path_ + ": " + write_refusal_text_);
}

Result Table::CheckLocked(uint32_t recno) const {
  if (Exclusive() || locked_records_.count(recno)) return kOk;
  return Fail(kErrNotLocked, dbf_path_ + ": record " + std::to_string(recno) + ".");
}

Result Table::LockRecord(uint32_t recno) {
  cache_->Forget(recno, 1);  // what the lock protects is read again
  if (locked_records_.count(recno)) return kOk;
  if (Exclusive()) {
    locked_records_.insert(recno);
    return kOk;
  }
  if (Result r = CheckWritable()) return r;
  const int fd = dbf_->fd();
  if (!TryLockRange(fd, RecordLockOffset(recno), 1))
    return Fail(kErrRecordLocked, dbf_path_ + ": record " + std::to_string(recno) + ".");
  // A program holding the whole table does not stop record locks by itself; wait briefly
  // for it and give up rather than edit under it.
  for (int attempt = 0; LockedByOther(fd, kAppendLockOffset, 1); ++attempt) {
    if (attempt == 20) {
      UnlockRange(fd, RecordLockOffset(recno), 1);
      return Fail(kErrTableInUse, dbf_path_ + ": another user has locked the whole table.");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  locked_records_.insert(recno);
  return kOk;
}

void Table::UnlockRecord(uint32_t recno) {
  if (!locked_records_.erase(recno)) return;
  if (!Exclusive()) UnlockRange(dbf_->fd(), RecordLockOffset(recno), 1);
}

bool Table::HoldsRecordLock(uint32_t recno) const { return locked_records_.count(recno) != 0; }

void Table::UnlockAllRecords() {
  while (!locked_records_.empty()) UnlockRecord(*locked_records_.begin());
}

// Every write below goes: checks and the companion's consent (BeginWrite), memo blocks,
// the record, then the companion again (FinishWrite), all under the record's lock (and,
// for an append, the header and append locks). The companion keeps the index in an order
// that survives a crash at any of these points; when a write of ours fails half way it
// hears of it (AbandonWrite) and makes the index follow what the file holds.

Result Table::AppendRecord(const uint8_t* record, const PrepareRecord& prepare, bool keep_lock,
                           uint32_t& recno) {
  if (Result r = CheckWritable()) return r;
  const int fd = dbf_->fd();
  // Header, then append lock, released in reverse order (members destroyed in reverse).
  RangeLock header{fd, kHeaderLockOffset}, append{fd, kAppendLockOffset};
  if (!Exclusive()) {
    if (!(header.held = LockRangeWithRetry(fd, kHeaderLockOffset, 1)) ||
        !(append.held = LockRangeWithRetry(fd, kAppendLockOffset, 1)))
      return Fail(kErrTableBusy, dbf_path_ + ": another user is adding a record.");
  }
  // Another program may have appended since we last looked.
  if (Result r = RefreshHeader()) return r;
  const uint32_t n = RecordCount();
  if (n == 0xFFFFFFFFu) return Fail(kErrInvalidParameter, dbf_path_ + ": the table is full.");
  recno = n + 1;
  if (Result r = LockRecord(recno)) return r;
  std::vector<uint8_t> after(record, record + RecordLength());
  after[0] = ' ';
  RecordView view = View(after.data());
  RecordChange change{WriteKind::kInsert, recno, nullptr, &view};
  Result r = companion_ ? companion_->BeginWrite(change) : kOk;
  if (r == kOk) {
    if (prepare) r = prepare(after.data());
    // The record marked deleted and the marker after it first, then the count, then the
    // record made live: a reader never counts a record that is not whole, and one that
    // reads on to the end-of-file marker past the count never meets a live record there,
    // so every reader sees the same records wherever a kill stops this.
    const bool in_step = cache_->InStep();
    after[0] = '*';
    if (r == kOk) r = dbf_->WriteRecord(recno, after.data());
    after[0] = ' ';
    if (r == kOk) r = dbf_->WriteEndMarker(recno);
    if (r == kOk) r = dbf_->WriteCountAndDate(recno);
    if (r == kOk) r = dbf_->WriteByte(dbf_->RecordOffset(recno), ' ');
    cache_->Wrote(recno, r == kOk ? after.data() : nullptr, in_step);
    if (companion_) {
      if (r == kOk) {
        r = companion_->FinishWrite(change);
      } else {
        companion_->AbandonWrite(change);
      }
    }
  }
  if (r != kOk || !keep_lock) UnlockRecord(recno);
  return r;
}

Result Table::WriteRecord(uint32_t recno, const uint8_t* record, const PrepareRecord& prepare) {
  // Taking the lock made the cache forget the record, so a cached copy was read under
  // the lock: no other writer can have changed the record since.
  std::vector<uint8_t> before;
  Result checked = CheckWritable();
  if (checked == kOk) checked = CheckLocked(recno);
  if (checked == kOk) checked = ReadRecordCached(recno, before);
  if (checked) return checked;
  std::vector<uint8_t> after(record, record + RecordLength());
  return Rewrite(recno, before, after, prepare, /*date=*/true);
}

Result Table::Rewrite(uint32_t recno, const std::vector<uint8_t>& before,
                      std::vector<uint8_t>& after, const PrepareRecord& prepare, bool date) {
  after[0] = before[0];
  RecordView before_view = View(before.data()), after_view = View(after.data());
  RecordChange change{WriteKind::kModify, recno, &before_view, &after_view};
  if (companion_)
    if (Result r = companion_->BeginWrite(change)) return r;
  Result r = prepare ? prepare(after.data()) : kOk;
  const bool in_step = cache_->InStep();
  if (r == kOk) r = dbf_->WriteRecord(recno, after.data());
  if (r == kOk && date) r = dbf_->WriteDate();
  // The record as this opening just wrote it, under its lock, is what the file holds.
  cache_->Wrote(recno, r == kOk ? after.data() : nullptr, in_step);
  if (companion_) {
    if (r == kOk) return companion_->FinishWrite(change);
    companion_->AbandonWrite(change);
  }
  return r;
}

// ---- Batches ------------------------------------------------------------------------
// A batch holds, for its whole length, the locks each of its writes would otherwise take
// and let go: the record locks (a run of neighbours under one lock, which other programs
// see as the lock of every record in it) and the companion's index lock. Every write in
// it keeps the order of WriteRecord; only the table's date waits for the end.

bool Table::LockRun(uint32_t first, uint32_t last) {
  const int fd = dbf_->fd();
  if (!LockRangeWithRetry(fd, RecordLockOffset(last), last - first + 1)) return false;
  batch_runs_.push_back({first, last - first + 1});
  return true;
}

void Table::UnlockBatch() {
  if (!Exclusive())
    for (const LockedRun& run : batch_runs_)
      UnlockRange(dbf_->fd(), RecordLockOffset(run.first + run.count - 1), run.count);
  batch_runs_.clear();
}

Result Table::BeginBatch(const std::vector<uint32_t>& recnos, size_t& locked) {
  locked = 0;
  if (Result r = CheckWritable()) return r;
  if (recnos.empty()) return Fail(kErrInvalidParameter, "An empty batch.");
  UnlockAllRecords();
  const int fd = dbf_->fd();
  if (Exclusive()) {
    locked = recnos.size();
  } else {
    // Each run of neighbours under one lock; a run with a record held elsewhere, one by
    // one up to that record.
    for (size_t i = 0; i < recnos.size();) {
      size_t j = i;
      while (j + 1 < recnos.size() && recnos[j + 1] == recnos[j] + 1) ++j;
      if (LockRun(recnos[i], recnos[j])) {
        locked = j + 1;
        i = j + 1;
        continue;
      }
      while (i <= j && TryLockRange(fd, RecordLockOffset(recnos[i]), 1)) {
        batch_runs_.push_back({recnos[i], 1});
        locked = ++i;
      }
      break;
    }
    if (locked == 0)
      return Fail(kErrRecordLocked, dbf_path_ + ": record " + std::to_string(recnos[0]) + ".");
    // As for a record lock: not under a program that holds the whole table.
    for (int attempt = 0; LockedByOther(fd, kAppendLockOffset, 1); ++attempt) {
      if (attempt == 20) {
        UnlockBatch();
        locked = 0;
        return Fail(kErrTableInUse, dbf_path_ + ": another user has locked the whole table.");
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
  if (companion_)
    if (Result r = companion_->BeginBatch()) {
      UnlockBatch();
      locked = 0;
      return r;
    }
  for (size_t i = 0; i < locked; ++i) cache_->Forget(recnos[i], 1);  // read again under the locks
  in_batch_ = true;
  return kOk;
}

Result Table::RewriteLocked(const std::vector<uint32_t>& recnos, const uint8_t* before,
                            const uint8_t* after, size_t& written) {
  written = 0;
  if (recnos.empty()) return kOk;
  if (!in_batch_)
    return Fail(kErrNotLocked, dbf_path_ + ": record " + std::to_string(recnos[0]) + ".");
  if (Result r = CheckWritable()) return r;
  const size_t rl = RecordLength();
  // Whether record i goes in a run: its deletion flag as stored, and nothing the companion
  // keeps moved by it.
  auto joins_run = [&](size_t i) {
    const uint8_t* b = before + i * rl;
    const uint8_t* a = after + i * rl;
    if (a[0] != b[0]) return false;
    if (!companion_) return true;
    const RecordView bv = View(b), av = View(a);
    return !companion_->Moves({WriteKind::kModify, recnos[i], &bv, &av});
  };
  for (size_t i = 0; i < recnos.size();) {
    // The longest run of neighbours from i that go in one write: their bytes lie together.
    size_t j = i;
    while (j < recnos.size() && (j == i || recnos[j] == recnos[j - 1] + 1) && joins_run(j)) ++j;
    if (j > i) {
      const uint32_t count = static_cast<uint32_t>(j - i);
      const uint8_t* run = after + i * rl;
      const bool in_step = cache_->InStep();
      const Result r = dbf_->WriteRecords(recnos[i], count, run);
      for (size_t k = 0; k < count; ++k)
        cache_->Wrote(recnos[i + k], r == kOk ? run + k * rl : nullptr, in_step);
      if (r != kOk) return r;
      written = i = j;
      continue;
    }
    // Moves a key (or asks for another deletion flag, which Rewrite keeps as stored):
    // alone, in the order the companion needs.
    const std::vector<uint8_t> old(before + i * rl, before + (i + 1) * rl);
    std::vector<uint8_t> now(after + i * rl, after + (i + 1) * rl);
    if (Result r = Rewrite(recnos[i], old, now, nullptr, /*date=*/false)) return r;
    written = ++i;
  }
  return kOk;
}

void Table::EndBatch(bool date) {
  if (!in_batch_) return;
  in_batch_ = false;
  if (date) {
    const bool in_step = cache_->InStep();
    dbf_->WriteDate();  // a failure here loses only the date: the records are written
    cache_->Wrote(0, nullptr, in_step);
  }
  if (companion_) companion_->EndBatch();
  UnlockBatch();
}

Result Table::ReadRecords(uint32_t first, uint32_t count, uint8_t* out) {
  return dbf_->ReadRecords(first, count, out);
}

Result Table::MarkDeleted(uint32_t recno) {
  if (Result r = CheckWritable()) return r;
  if (Result r = CheckLocked(recno)) return r;
  std::vector<uint8_t> before;
  if (Result r = ReadRecord(recno, before)) return r;
  std::vector<uint8_t> after = before;
  after[0] = '*';
  RecordView before_view = View(before.data()), after_view = View(after.data());
  RecordChange change{WriteKind::kDelete, recno, &before_view, &after_view};
  if (companion_)
    if (Result r = companion_->BeginWrite(change)) return r;
  const bool in_step = cache_->InStep();
  Result r = dbf_->WriteByte(dbf_->RecordOffset(recno), '*');
  if (r == kOk) r = dbf_->WriteDate();
  cache_->Wrote(recno, r == kOk ? after.data() : nullptr, in_step);
  if (companion_) {
    if (r == kOk) return companion_->FinishWrite(change);
    companion_->AbandonWrite(change);
  }
  return r;
}

Result Table::WriteHeaderByte(uint64_t offset, uint8_t value) {
  if (Result r = CheckWritable()) return r;
  const int fd = dbf_->fd();
  RangeLock header{fd, kHeaderLockOffset};
  if (!Exclusive() && !(header.held = LockRangeWithRetry(fd, kHeaderLockOffset, 1)))
    return Fail(kErrTableBusy, dbf_path_ + ": another user is changing the table header.");
  const bool in_step = cache_->InStep();
  const Result r = dbf_->WriteByte(offset, value);
  cache_->Wrote(0, nullptr, in_step);  // the header only
  return r;
}

std::string Table::WriteRefusalText() const {
  if (write_refusal_ != kOk) return write_refusal_text_;
  return companion_ ? companion_->WriteRefusal() : std::string();
}

}  // namespace snyltdyr::engine
