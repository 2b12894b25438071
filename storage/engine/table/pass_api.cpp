// Passes over every record a cursor shows: reading them all (VisitRecords) and changing
// them in place in batches (RewriteRecords).
//
// A pass goes in the order the records lie in the file when the cursor's order reaches
// exactly the records of the file (record order, or a tag that holds every record): the
// records are then read in runs of RecordCache::kMaxRunBytes, and a batch of rewrites
// locks a run of neighbouring records with one lock and reads them with one read.
// Otherwise it walks the cursor's order as GetNextRecord does, each record confirmed to
// be filed where the order found it, and a batch locks and reads its records one by one.
//
// A reading pass in the cursor's order takes the places of a chunk of records from the
// order, then reads their records sorted by number in runs: neighbours less than
// kOrderGapBytes apart come in one read (a read costs about as much as copying 10 to 20
// KB from the page cache), a read is at most kOrderRunBytes. With keys that have nothing
// to do with record numbers (dates entered in any order) a chunk must hold a good share
// of the table before its records lie close together, so a chunk may be large: up to
// kOrderChunkBytes of records (32 MB), far more than a leaf of the index holds. But the
// records of a chunk must still be handed on shortly after they were read (the freshness
// rule of the record cache, kept in ForEachShown), so a chunk is sized by the pace of the
// one before: as many places as are judged and handed on in half of
// RecordCache::kFreshForMs, the other half left for reading them. It starts at
// kOrderChunkMinRecords places and at most halves or doubles from one chunk to the next.
// Memory of an ordered reading pass: the chunk's records (at most kOrderChunkBytes, read
// into the caller's buffer, which keeps its size from chunk to chunk), their places
// (about 50 bytes each) and one read (kOrderRunBytes).
#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "runtime/large_pages.h"
#include "storage/engine/datafile/dbf_file.h"
#include "storage/engine/files/mapped_file.h"
#include "storage/engine/table/cursor.h"
#include "storage/engine/engine_state.h"
#include "storage/engine/error_stack.h"

namespace snyltdyr::engine {
namespace {

// The chunks of an ordered reading pass (see the top of the file).
constexpr size_t kOrderChunkBytes = size_t{32} << 20;
constexpr uint32_t kOrderChunkMinRecords = 2048;
constexpr size_t kOrderGapBytes = 16384;         // read along rather than read apart
constexpr size_t kOrderRunBytes = size_t{1} << 20;  // the most bytes in one read

// The most places an ordered reading pass takes at a time, for records of `rl` bytes.
uint32_t OrderChunkRecords(uint16_t rl) {
  return std::max<uint32_t>(kOrderChunkMinRecords, static_cast<uint32_t>(kOrderChunkBytes / rl));
}

// Records in a batch of a pass that walks the cursor's order (which cannot stop part way
// through a batch to keep to kPassBatchMilliseconds).
constexpr uint32_t kOrderBatchRecords = 256;

// Where a pass stands: the next records to go through, in the file's order or the
// cursor's.
class PassSource {
 public:
  PassSource(Cursor& c, bool keep_order)
      : c_(c), t_(c.table()), file_order_(!keep_order && c.Order().HoldsEveryRecord()) {}

  bool file_order() const { return file_order_; }

  // The next up to `most` records, in pass order: in the file's order neighbours, every
  // record (deleted ones too); in the cursor's order those it shows as read now. With
  // `bytes`, their bytes as read now, from its start (in the cursor's order it may hold
  // more: it keeps its size from chunk to chunk). None at the end.
  Result Next(uint32_t most, std::vector<uint32_t>& recnos, std::vector<uint8_t>* bytes) {
    recnos.clear();
    if (bytes != nullptr && file_order_) bytes->clear();
    return file_order_ ? NextInFile(most, recnos, bytes) : NextInOrder(most, recnos, bytes);
  }

  // In the file's order: the pass goes on at record `recno` (a batch did not get to it).
  void ResumeAt(uint32_t recno) {
    if (file_order_) next_ = recno;
  }

  // How far the pass got, of how many records the table has (for progress).
  uint32_t done() const { return file_order_ ? next_ - 1 : done_; }
  uint32_t total() const { return t_.RecordCount(); }

 private:
  Result NextInFile(uint32_t most, std::vector<uint32_t>& recnos, std::vector<uint8_t>* bytes) {
    if (next_ > t_.RecordCount())
      if (Result r = t_.RefreshHeader()) return r;  // records added meanwhile are reached
    if (next_ > t_.RecordCount()) return kOk;
    const uint32_t count = std::min<uint32_t>(most, t_.RecordCount() - next_ + 1);
    if (bytes != nullptr) {
      bytes->resize(static_cast<size_t>(count) * t_.RecordLength());
      if (Result r = t_.ReadRecords(next_, count, bytes->data())) return r;
    }
    for (uint32_t i = 0; i < count; ++i) recnos.push_back(next_ + i);
    next_ += count;
    return kOk;
  }

  // In the cursor's order: the places of a chunk of records are taken from the order
  // first, then their records read sorted by number in runs, then each confirmed to be
  // filed where the order found it, in the order's turn. The records are read just before
  // they are handed on, a chunk at a time, not kept; with `bytes` they are handed on in
  // it, else kept in chunk_ only while they are judged.
  Result NextInOrder(uint32_t most, std::vector<uint32_t>& recnos, std::vector<uint8_t>* bytes) {
    RecordOrder& order = c_.Order();
    const uint16_t rl = t_.RecordLength();
    std::vector<uint8_t>& chunk = bytes != nullptr ? *bytes : chunk_;
    const uint32_t take = ChunkPlaces(most);
    while (recnos.empty() && !ended_) {
      places_.clear();
      while (places_.size() < take) {
        OrderPos p;
        const Result r = started_ ? order.Next(pos_, p) : order.First(p);
        started_ = true;
        if (r == kErrEndOfTable) {
          ended_ = true;
          break;
        }
        if (r != kOk) return r;
        pos_ = p;
        places_.push_back(std::move(p));
      }
      if (Result r = ReadPlaces(chunk)) return r;
      judged_from_ = CoarseMilliseconds();
      // The records shown are moved to the front of the chunk, in the order's turn.
      size_t kept = 0;
      for (size_t i = 0; i < places_.size(); ++i) {
        ++done_;
        // An entry beyond the table's records has none: the order judges it.
        if (have_[i]) record_.assign(chunk.data() + i * rl, chunk.data() + (i + 1) * rl);
        else record_.clear();
        const Result confirmed = order.Confirm(places_[i], record_);
        if (confirmed == kErrRecordNotFound) continue;  // moved meanwhile: gone from here
        if (confirmed != kOk) return confirmed;
        if (!Shows(c_, record_.data())) continue;
        recnos.push_back(places_[i].recno);
        std::memcpy(chunk.data() + kept * rl, record_.data(), rl);  // kept <= i
        ++kept;
      }
    }
    return kOk;
  }

  // How many places the next chunk takes, at most `most`: as many as can be judged and
  // handed on within half of RecordCache::kFreshForMs, at the pace the chunk before was
  // (the other half is for reading them), changing by at most half or double at a time.
  uint32_t ChunkPlaces(uint32_t most) {
    if (judged_from_ >= 0 && !places_.empty()) {
      const int64_t spent = std::max<int64_t>(1, CoarseMilliseconds() - judged_from_);
      const uint64_t fits = places_.size() * static_cast<uint64_t>(RecordCache::kFreshForMs / 2) /
                            static_cast<uint64_t>(spent);
      chunk_places_ = static_cast<uint32_t>(std::clamp<uint64_t>(
          fits, std::max<uint64_t>(kOrderChunkMinRecords, chunk_places_ / 2), uint64_t{chunk_places_} * 2));
    }
    chunk_places_ = std::min(most, chunk_places_);
    return chunk_places_;
  }

  // Copies the records of places_ that the table counts (`count`) out of a view of the
  // data file into `chunk`, in by_recno_'s order, where the file may be viewed
  // (MappedFile); true when every one of them came so. The view is made at the first
  // chunk and again when the table has grown since.
  bool CopyFromView(std::vector<uint8_t>& chunk, uint32_t count) {
    const DbfFile& dbf = t_.Dbf();
    const uint16_t rl = t_.RecordLength();
    if (count == 0 || !view_.Cover(dbf.fd(), dbf.RecordOffset(count) + rl)) return false;
    bool all = true;
    // Along the file: pages and caches in step. The records lie apart, so each would
    // wait for memory: the one a few places on is asked for ahead (a hint, which a page
    // no longer in the file does not fault).
    constexpr size_t kAhead = 16;
    for (size_t k = 0; k < by_recno_.size(); ++k) {
      if (k + kAhead < by_recno_.size()) {
        const uint32_t ahead = places_[by_recno_[k + kAhead]].recno;
        if (ahead != 0 && ahead <= count) view_.Prefetch(dbf.RecordOffset(ahead), rl);
      }
      const uint32_t i = by_recno_[k];
      const uint32_t recno = places_[i].recno;
      have_[i] = recno != 0 && recno <= count &&
                 view_.Copy(dbf.RecordOffset(recno), rl, chunk.data() + i * rl);
      // A place past the count has no record either way: the order judges it.
      all = all && (have_[i] || recno == 0 || recno > count);
    }
    return all;
  }

  // Room in `chunk` for the largest chunk this pass can take (no more than the table's
  // records), made once: a chunk grows with the pace, and growing would copy it and touch
  // fresh pages every time. In large pages where the kernel has them: a page fault per
  // 4 KB page is a good share of the work of filling it.
  void Reserve(std::vector<uint8_t>& chunk) const {
    const uint16_t rl = t_.RecordLength();
    const size_t most = std::min<size_t>(OrderChunkRecords(rl), t_.RecordCount());
    chunk.reserve(std::max(most, places_.size()) * rl);
    AdviseLargePages(chunk.data() + chunk.size(), chunk.capacity() - chunk.size());
  }

  // Reads the records of places_ into `chunk` (place i at i), sorted by record number:
  // neighbours less than kOrderGapBytes apart in one read of at most kOrderRunBytes.
  Result ReadPlaces(std::vector<uint8_t>& chunk) {
    const uint16_t rl = t_.RecordLength();
    const size_t n = places_.size();
    if (chunk.size() < n * rl) {  // never smaller: no filling it again
      if (chunk.capacity() < n * rl) Reserve(chunk);
      chunk.resize(n * rl);
    }
    have_.assign(n, false);
    // Sorted as numbers (record number above place), not through the places.
    sort_keys_.resize(n);
    for (size_t i = 0; i < n; ++i) sort_keys_[i] = uint64_t{places_[i].recno} << 32 | i;
    std::sort(sort_keys_.begin(), sort_keys_.end());
    by_recno_.resize(n);
    for (size_t i = 0; i < n; ++i) by_recno_[i] = static_cast<uint32_t>(sort_keys_[i]);
    if (n > 0 && places_[by_recno_.back()].recno > t_.RecordCount())
      if (Result r = t_.RefreshHeader()) return r;  // records added meanwhile
    const uint32_t count = t_.RecordCount();
    if (CopyFromView(chunk, count)) return kOk;
    const uint32_t gap = static_cast<uint32_t>(kOrderGapBytes / rl) + 1;
    const uint32_t longest = std::max<uint32_t>(1, static_cast<uint32_t>(kOrderRunBytes / rl));
    for (size_t a = 0; a < n;) {
      const uint32_t first = places_[by_recno_[a]].recno;
      if (first == 0 || first > count || have_[by_recno_[a]]) {
        ++a;
        continue;
      }
      size_t b = a + 1;
      uint32_t last = first;
      for (; b < n; ++b) {
        const uint32_t next = places_[by_recno_[b]].recno;
        if (next > count || next - last > gap || next - first >= longest) break;
        last = next;
      }
      span_.resize(static_cast<size_t>(last - first + 1) * rl);
      if (Result r = t_.ReadRecords(first, last - first + 1, span_.data())) return r;
      for (size_t k = a; k < b; ++k) {
        const size_t i = by_recno_[k];
        const size_t at = static_cast<size_t>(places_[i].recno - first) * rl;
        std::memcpy(chunk.data() + i * rl, span_.data() + at, rl);
        have_[i] = true;
      }
      a = b;
    }
    return kOk;
  }

 public:
  static bool Shows(Cursor& c, const uint8_t* record) {
    const RecordView view = c.table().View(record);
    return !view.Deleted() && c.Passes(view);
  }

 private:
  Cursor& c_;
  Table& t_;
  const bool file_order_;
  uint32_t next_ = 1;  // in the file's order: the next record
  OrderPos pos_;       // in the cursor's order: the last place reached
  bool started_ = false, ended_ = false;
  uint32_t done_ = 0;
  std::vector<uint8_t> record_;
  // The chunk of an ordered pass (NextInOrder, ReadPlaces).
  uint32_t chunk_places_ = kOrderChunkMinRecords;  // the size of the next one
  int64_t judged_from_ = -1;                       // when the last one was read
  std::vector<OrderPos> places_;
  std::vector<uint8_t> chunk_, span_;
  std::vector<bool> have_;
  std::vector<uint32_t> by_recno_;
  std::vector<uint64_t> sort_keys_;
  MappedFile view_;  // of the data file, for an ordered pass (CopyFromView)
};

// The memory of a rewriting pass's batches, kept from one batch to the next: a batch
// fills a few megabytes, which fresh for every batch would cost a page fault per page.
//
// Peak memory of a pass in the file's order: the batch's records as read (`bytes`) and,
// for the records to write, their bytes before and after (`befores`, `afters`), so at
// most three times kPassBatchRecords records: with kPassBatchRecords = 32768 and the
// register's 231-byte records about 23 MB (room for every record to change is reserved;
// its pages are touched only as records change). In the cursor's order batches are of
// kOrderBatchRecords records, a fraction of that.
struct BatchMemory {
  std::vector<uint8_t> bytes;  // the batch's records as read under its locks
  // The runs to write, as Table::RewriteLocked takes them, built as the records are
  // edited: the changed records and, in the file's order, the few unchanged ones between
  // two of them that go along (kFillRecords).
  std::vector<uint32_t> recnos;
  std::vector<uint8_t> befores, afters;
  std::vector<std::pair<size_t, uint32_t>> changed;  // place in the batch, record
  std::vector<size_t> changed_at;                    // their places in `recnos`

  // Room for `size` bytes in `v`, in large pages where the kernel has them: the first
  // batch touches its megabytes afresh, a page fault per 4 KB page otherwise.
  static void Room(std::vector<uint8_t>& v, size_t size) {
    if (v.capacity() >= size) return;
    v.reserve(size);
    AdviseLargePages(v.data() + v.size(), v.capacity() - v.size());
  }
};

// One batch of a rewriting pass: its records locked and read again under the locks.
class RewriteBatch {
 public:
  RewriteBatch(Cursor& c, RewriteReport& report, BatchMemory& memory)
      : c_(c), t_(c.table()), report_(report), visited_before_(report.visited), m_(memory) {
    Forget();
  }
  // Dated as the rewrite of every record it reached would have dated the table.
  ~RewriteBatch() { t_.EndBatch(report_.visited > visited_before_); }

  // Locks `recnos` (in pass order) and reads them again; `locked` tells how many of them,
  // in pass order, may be rewritten.
  Result Begin(const std::vector<uint32_t>& recnos, bool file_order, size_t& locked) {
    std::vector<uint32_t> sorted = recnos;
    if (!file_order) std::sort(sorted.begin(), sorted.end());
    size_t held = 0;
    if (Result r = t_.BeginBatch(sorted, held)) return r;
    const uint16_t rl = t_.RecordLength();
    // Room for every record of the batch to change: no growing while the records go.
    BatchMemory::Room(m_.befores, recnos.size() * rl);
    BatchMemory::Room(m_.afters, recnos.size() * rl);
    BatchMemory::Room(m_.bytes, recnos.size() * rl);
    if (file_order) {  // neighbours: the locked ones are the first `held`, read at once
      m_.bytes.resize(held * rl);
      locked = held;
      return t_.ReadRecords(recnos.front(), static_cast<uint32_t>(held), m_.bytes.data());
    }
    // In the cursor's order the batch goes as far as the first record not locked.
    m_.bytes.resize(recnos.size() * rl);
    for (locked = 0; locked < recnos.size(); ++locked) {
      const uint32_t recno = recnos[locked];
      if (!std::binary_search(sorted.begin(), sorted.begin() + static_cast<long>(held), recno))
        break;
      if (Result r = t_.ReadRecords(recno, 1, m_.bytes.data() + locked * rl)) return r;
    }
    return kOk;
  }

  // Offers record i of the batch (`recno`) to `edit` in `buffer`; a changed record is
  // kept for Commit.
  Result Edit(size_t i, uint32_t recno, uint8_t* buffer, const RecordEditor& edit,
              bool file_order) {
    const uint16_t rl = t_.RecordLength();
    const uint8_t* before = m_.bytes.data() + i * rl;
    if (!PassSource::Shows(c_, before)) return kOk;
    ++report_.visited;
    std::memcpy(buffer, before, rl);
    if (Result r = edit(recno)) return r;
    buffer[0] = before[0];  // the deletion flag is not the editor's
    if (std::memcmp(buffer, before, rl) == 0) return kOk;
    // In the file's order a few unchanged records between two changed ones go along with
    // their bytes as read under the batch's locks, the same bytes the file holds, so that
    // the run is written in one call rather than split around them.
    if (file_order && !m_.changed.empty() && i - m_.changed.back().first <= kFillRecords) {
      for (size_t k = m_.changed.back().first + 1; k < i; ++k) {
        const uint8_t* same = m_.bytes.data() + k * rl;
        Add(recno - static_cast<uint32_t>(i - k), same, same);
      }
    }
    m_.changed.push_back({i, recno});
    m_.changed_at.push_back(m_.recnos.size());
    Add(recno, before, buffer);
    return kOk;
  }

  // Writes the changed records kept so far (Table::RewriteLocked, neighbours together).
  // On a failure `stopped_at` names the first changed record not written.
  Result Commit(uint32_t& stopped_at) {
    size_t written = 0;
    const Result r = t_.RewriteLocked(m_.recnos, m_.befores.data(), m_.afters.data(), written);
    const size_t stored = static_cast<size_t>(
        std::lower_bound(m_.changed_at.begin(), m_.changed_at.end(), written) -
        m_.changed_at.begin());
    report_.written += static_cast<uint32_t>(stored);
    if (r != kOk) stopped_at = m_.changed[std::min(stored, m_.changed.size() - 1)].second;
    Forget();
    return r;
  }

 private:
  void Add(uint32_t recno, const uint8_t* before, const uint8_t* after) {
    const uint16_t rl = t_.RecordLength();
    m_.recnos.push_back(recno);
    m_.befores.insert(m_.befores.end(), before, before + rl);
    m_.afters.insert(m_.afters.end(), after, after + rl);
  }
  void Forget() {
    m_.recnos.clear();
    m_.befores.clear();
    m_.afters.clear();
    m_.changed.clear();
    m_.changed_at.clear();
  }

  Cursor& c_;
  Table& t_;
  RewriteReport& report_;
  const uint32_t visited_before_;
  BatchMemory& m_;
  // Unchanged records between two changed ones that go along in their run (file order).
  static constexpr size_t kFillRecords = 16;
};

}  // namespace

// Goes through every record the cursor shows, leaving the cursor where it is.
using ShownVisitor = std::function<Result(const uint8_t* record, uint32_t recno)>;
Result ForEachShown(Cursor& cursor, bool keep_order, const ShownVisitor& visit, uint32_t& visited) {
  Cursor* c = &cursor;
  const uint16_t rl = c->table().RecordLength();
  // In the file's order a run of RecordCache::kMaxRunBytes at a time; in the cursor's
  // order chunks of up to kOrderChunkBytes, read shortly before they are used.
  PassSource source(*c, keep_order);
  const auto file_run = static_cast<uint32_t>(RecordCache::kMaxRunBytes / rl);
  const uint32_t run = source.file_order() ? std::max<uint32_t>(1, file_run) : OrderChunkRecords(rl);
  std::vector<uint32_t> recnos;
  std::vector<uint8_t> bytes;
  uint32_t n = 0;
  for (;;) {
    if (Result r = source.Next(run, recnos, &bytes)) return r;
    if (recnos.empty()) break;
    int64_t read_at = CoarseMilliseconds();
    for (size_t i = 0; i < recnos.size(); ++i) {
      // The rule of the record cache holds here too: what was read longer than
      // RecordCache::kFreshForMs ago (a slow visitor) is read again before it is handed
      // on, the rest of a run in one read, a record of the cursor's order alone.
      if (CoarseMilliseconds() - read_at > RecordCache::kFreshForMs) {
        const bool run_along = source.file_order();
        const uint32_t count = run_along ? static_cast<uint32_t>(recnos.size() - i) : 1;
        if (Result r = c->table().ReadRecords(recnos[i], count, bytes.data() + i * rl)) return r;
        if (!run_along && !PassSource::Shows(*c, bytes.data() + i * rl)) continue;
        if (run_along) read_at = CoarseMilliseconds();
      }
      const uint8_t* record = bytes.data() + i * rl;
      // The cursor's order gave only records it shows; the file gives them all.
      if (source.file_order() && !PassSource::Shows(*c, record)) continue;
      ++n;
      if (Result r = visit(record, recnos[i])) return r;
    }
  }
  visited = n;
  return kOk;
}

Result VisitRecords(Handle cursor, uint8_t* buffer, const RecordVisitor& visit, uint32_t& visited,
                    bool keep_order) {
  Cursor* c;
  if (Result r = GetCursor(cursor, c)) return r;
  if (buffer == nullptr) return Fail(kErrInvalidParameter, "No record buffer.");
  const uint16_t rl = c->table().RecordLength();
  std::memset(buffer + rl, 0, c->BufferSize() - rl);
  auto into_buffer = [&](const uint8_t* record, uint32_t recno) {
    std::memcpy(buffer, record, rl);
    return visit(recno);
  };
  if (Result r = ForEachShown(*c, keep_order, into_buffer, visited)) return r;
  c->ToEnd();
  return kOk;
}

// The count does not depend on the order: it is a pass that visits nothing.
Result GetExactRecordCount(Handle cursor, uint32_t& count) {
  Cursor* c;
  if (Result r = GetCursor(cursor, c)) return r;
  return ForEachShown(*c, false, [](const uint8_t*, uint32_t) { return kOk; }, count);
}

Result RewriteRecords(Handle cursor, uint8_t* buffer, const RecordEditor& edit,
                      const PassProgress& progress, RewriteReport& report) {
  report = RewriteReport{};
  Cursor* c;
  if (Result r = GetCursor(cursor, c)) return r;
  if (buffer == nullptr) return Fail(kErrInvalidParameter, "No record buffer.");
  std::memset(buffer + c->table().RecordLength(), 0, c->BufferSize() - c->table().RecordLength());
  PassSource source(*c, false);
  const bool file_order = source.file_order();
  BatchMemory memory;
  std::vector<uint32_t> recnos;
  for (;;) {
    const uint32_t most = file_order ? kPassBatchRecords : kOrderBatchRecords;
    if (Result r = source.Next(most, recnos, nullptr)) return r;
    if (recnos.empty()) break;
    size_t i = 0;
    {
      RewriteBatch batch(*c, report, memory);
      size_t locked = 0;
      Result r = batch.Begin(recnos, file_order, locked);
      const int64_t until = CoarseMilliseconds() + kPassBatchMilliseconds;
      for (; r == kOk && i < locked; ++i) {
        // The time is looked at now and then; the rest of a batch cut short comes next.
        if (file_order && i % 64 == 63 && CoarseMilliseconds() > until) break;
        r = batch.Edit(i, recnos[i], buffer, edit, file_order);
      }
      if (r == kOk && i < recnos.size() && !file_order)  // the walk cannot come back to it
        r = Fail(kErrRecordLocked,
                 c->table().DbfPath() + ": record " + std::to_string(recnos[i]) + ".");
      if (r != kOk) report.stopped_at = recnos[std::min(i, recnos.size() - 1)];
      // What was edited before the stop is stored all the same; a record that could not
      // be written stops the pass there instead.
      const Result committed = batch.Commit(report.stopped_at);
      if (committed != kOk) return committed;
      if (r != kOk) return r;
    }  // the batch ends: the table is dated, the locks go
    if (i < recnos.size()) source.ResumeAt(recnos[i]);
    if (progress) progress(source.done(), source.total());
    // Another program waiting for one of the locks gets its turn.
    std::this_thread::sleep_for(std::chrono::milliseconds(kPassPauseMilliseconds));
  }
  c->ToEnd();
  return kOk;
}

}  // namespace snyltdyr::engine
