// The engine's open tables and cursors, and the seams through which the production index
// and the filters take part in them. Internal to the engine: callers outside
// storage/engine/ use engine.h.
//
// - A `Table` is one opening of a .DBF (with its .DBT): its own file descriptors, so its
//   byte-range locks conflict with every other opening, in this process or another.
//   Each cursor owns its table.
// - A `Cursor` walks a `RecordOrder` (record order, or an index order supplied by the
//   production index) and shows only records that are not deleted and pass every active
//   filter of `filters`.
// - A `TableCompanion` (the production index) is attached when the table opens by the
//   registered `CompanionOpener`s. Every write of a record goes
//       BeginWrite  ->  memo, record (and, for a new record, the count)  ->  FinishWrite
//   (AbandonWrite instead of FinishWrite when the record could not be written), so that
//   the companion can refuse the write before anything is written and keep every tag in
//   step in an order that a crash at any point leaves repairable (index_change.cpp).
//   A table whose header flags a production index and that gets no companion opens
//   read-only: writing it would leave that index stale for other programs.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "storage/engine/engine.h"
#include "storage/engine/datafile/record_cache.h"
#include "storage/engine/datafile/record_view.h"

namespace snyltdyr::engine {

class Table;
class DbfFile;
class DbtMemo;

// ---- Orders -----------------------------------------------------------------------------

// A place in an order. In record order `key` is empty and `recno` alone orders. In an
// index order `key` is the record's key bytes as the index stores them and `recno` breaks
// ties, so a position stays meaningful after its record was deleted or its key changed
// (a crack): Next and Prior then continue from where the record was.
struct OrderPos {
  std::string key;
  uint32_t recno = 0;
};

class RecordOrder {
 public:
  virtual ~RecordOrder() = default;
  // The first / last position; kErrEndOfTable / kErrBeginningOfTable when there is none.
  virtual Result First(OrderPos& pos) = 0;
  virtual Result Last(OrderPos& pos) = 0;
  // The nearest position after / before `from` (which need not be a position of the
  // order any more); kErrEndOfTable / kErrBeginningOfTable when there is none.
  virtual Result Next(const OrderPos& from, OrderPos& pos) = 0;
  virtual Result Prior(const OrderPos& from, OrderPos& pos) = 0;
  // Where record `recno`, whose bytes are `record`, stands in this order.
  // kErrRecordNotFound when the order leaves the record out (a FOR condition).
  virtual Result PositionOf(const RecordView& record, uint32_t recno, OrderPos& pos) = 0;
  // Negative, zero or positive as a comes before, is, or comes after b.
  virtual int Compare(const OrderPos& a, const OrderPos& b) const = 0;
  // Forget anything cached (another user may have changed the files).
  virtual void Reread() {}
  // Whether record `recno`, whose bytes are `record`, stands at `pos`; false when that
  // cannot be told without looking (PositionOf then finds the place).
  virtual bool StillAt(const RecordView& record, uint32_t recno, const OrderPos& pos) {
    (void)record;
    (void)recno;
    (void)pos;
    return false;
  }
  // The record numbers of the places after (forward) or before `at` that the order knows
  // without reading anything (the rest of the leaf it stands in), nearest first, so that
  // a walk can read their records ahead in one go. Only a hint: it may be out of date.
  virtual void Upcoming(const OrderPos& at, bool forward, std::vector<uint32_t>& recnos) {
    (void)at;
    (void)forward;
    recnos.clear();
  }
  // Whether every record of the table has a place in the order, so that what counts the
  // records of the order may count them in record order instead.
  virtual bool HoldsEveryRecord() const { return false; }
  // Asked by every walk for each position the order gives, with the bytes of its record
  // as just read: kOk when the record belongs there. kErrRecordNotFound, not reported,
  // when its entry went away meanwhile (another user moved the record): the walk goes on
  // from `pos`. Any other answer, reported, stops the walk: the order does not agree with
  // the table, and it is never read through. `record` may be read again.
  virtual Result Confirm(const OrderPos& pos, std::vector<uint8_t>& record) {
    (void)pos;
    (void)record;
    return kOk;
  }
};

// Physical record order: every record number from 1 to the table's record count.
std::unique_ptr<RecordOrder> MakeRecordNumberOrder(Table& table);

// Reads the record at `pos` of a walk in `order` and has the order confirm it; `gone`
// when the record left that place meanwhile (the walk goes on past it).
Result ReadConfirmed(Table& table, RecordOrder& order, const OrderPos& pos,
                     std::vector<uint8_t>& record, bool& gone);

// ---- Filters ----------------------------------------------------------------------------

using RecordPredicate = std::function<bool(const RecordView&)>;

struct CursorFilter {
  Handle handle = kNoHandle;
  uint16_t priority = 0;
  bool active = false;
  RecordPredicate passes;
};

// ---- Write hooks and companions ----------------------------------------------------------

enum class WriteKind : uint8_t { kInsert, kModify, kDelete };

// One change to one record. `before` is absent for an insert; `after` holds the record as
// written (for a delete: with its deletion flag set).
struct RecordChange {
  WriteKind kind = WriteKind::kModify;
  uint32_t recno = 0;
  const RecordView* before = nullptr;
  const RecordView* after = nullptr;
};

class TableCompanion {
 public:
  virtual ~TableCompanion() = default;
  // Asked before anything of the change is written, while the table holds its write
  // locks; a non-zero answer refuses the write (reported to the caller with its text on
  // the error stack) and nothing is written. A success must be followed by FinishWrite or
  // AbandonWrite.
  virtual Result BeginWrite(const RecordChange& change) = 0;
  // Told after the record (and, for an insert, the header that counts it) was written,
  // still under the table's write locks.
  virtual Result FinishWrite(const RecordChange& change) = 0;
  // Told instead of FinishWrite when the record could not be written (or only in part).
  virtual void AbandonWrite(const RecordChange& change) = 0;
  // A batch of rewrites (Table::BeginBatch .. EndBatch): the companion may take once what
  // every write of the batch needs (its lock, what it reads under it) and keep it until
  // EndBatch. A non-zero answer refuses the batch, reported.
  virtual Result BeginBatch() { return kOk; }
  virtual void EndBatch() {}
  // An append of new records first .. last in one go (Table::AppendBatch), inside a
  // batch: BeginAppend after the records were written past the count and before the
  // count takes them in; FinishAppend after it, with the records (RecordLength bytes
  // each, in order); AbandonAppend instead when the count was not written. A non-zero
  // answer of BeginAppend stops the append before the count is written.
  virtual Result BeginAppend(uint32_t first, uint32_t last) {
    (void)first;
    (void)last;
    return kOk;
  }
  virtual Result FinishAppend(uint32_t first, uint32_t last, const uint8_t* records) {
    (void)first;
    (void)last;
    (void)records;
    return kOk;
  }
  virtual void AbandonAppend() {}
  // Whether a rewrite in a batch changes anything the companion keeps (a key of one of
  // its indexes). One that does not is written without BeginWrite and FinishWrite, since
  // nothing of the companion's can get out of step with it.
  virtual bool Moves(const RecordChange& change) { (void)change; return true; }
  // Why the companion refuses writes now (empty when it takes them).
  virtual std::string WriteRefusal() const { return {}; }
  // An order by one of the companion's indexes, for OpenTable's index and SwitchToIndex.
  // kErrIndexNotFound when it has no such index.
  virtual Result MakeOrder(const std::string& index_file, const std::string& tag,
                           std::unique_ptr<RecordOrder>& order) = 0;
  // Another user may have changed the files.
  virtual void Reread() {}
};

// Called for every table as it opens, after its header and fields were read. May attach
// a companion (`table.SetCompanion`), may forbid writing (`table.ForbidWrites`); a
// non-zero answer fails the open. Register from a namespace-scope initialiser of a file
// that every program using the engine links (the index operations' file).
using CompanionOpener = std::function<Result(Table& table)>;
void RegisterCompanionOpener(CompanionOpener opener);

// ---- Tables -------------------------------------------------------------------------------

class Table {
 public:
  Table();
  ~Table();
  Table(const Table&) = delete;
  Table& operator=(const Table&) = delete;

  // Opens `dbf_path` (an existing file, its real name) for reading, and for writing unless
  // `open_mode` is read-only, takes the sharing lock for `share_mode`, checks the file and
  // opens the memo file; then runs the companion openers (unless `with_companions` is
  // false: the rebuild of an index, which makes the companion anew). kErrTableReadOnly
  // when writing was asked for and is not possible.
  Result Open(const std::string& dbf_path, OpenMode open_mode, ShareMode share_mode,
              bool with_companions = true);

  const std::string& DbfPath() const { return dbf_path_; }
  const std::vector<FieldDesc>& Fields() const;
  uint16_t RecordLength() const;          // the .DBF record, deletion flag included
  uint16_t HeaderLength() const;
  uint32_t RecordCount() const;           // as of the last header read
  uint8_t Version() const;
  uint8_t LanguageDriver() const;         // the header byte, never rewritten
  int CodePage() const { return code_page_; }  // from the language driver, at open
  // When the header names no code page and no .cpg file does, the code page was found
  // from the table's text (code_page_guess.h): what was assumed, and whether it is
  // uncertain (other code pages read the text otherwise). Empty when nothing was assumed.
  const std::string& CodePageNote() const { return code_page_note_; }
  bool CodePageUncertain() const { return code_page_uncertain_; }
  bool ProductionIndexFlagged() const;    // header byte 28
  bool Exclusive() const { return share_mode_ == ShareMode::kExclusive; }

  // Re-reads the header (record count) from the file.
  Result RefreshHeader();
  // Record `recno` (1-based) as stored, RecordLength() bytes, read from the file now.
  Result ReadRecord(uint32_t recno, std::vector<uint8_t>& bytes);
  // The same through the record cache, for walking a table: as fresh as the cache's rule
  // says (record_cache.h). A miss reads a run of neighbours ahead of a walk that goes
  // from record to record, else the record alone.
  Result ReadRecordCached(uint32_t recno, std::vector<uint8_t>& bytes);
  // Reads records `recnos` (ascending) that the cache does not hold fresh, ahead of a walk
  // that is about to need them: neighbours close together in one read.
  Result Prefetch(const std::vector<uint32_t>& recnos);
  bool Cached(uint32_t recno) { return cache_->Find(recno) != nullptr; }
  void DropCache() { cache_->Clear(); }
  RecordView View(const uint8_t* record) const { return {&Fields(), record, CodePage()}; }

  // Writing. Each call writes the whole change or nothing that a reader could see.
  bool Writable() const { return write_refusal_ == kOk; }
  Result WriteRefusal() const { return write_refusal_; }
  // Why this opening cannot write now: the reason it opened read-only, or the companion's
  // (an index found out of step since); empty when it can.
  std::string WriteRefusalText() const;
  void ForbidWrites(Result reason, const std::string& why);
  // `prepare` runs after every check and the companion's consent, just before the
  // record is written; it stores the record's memos and patches their block numbers into
  // the bytes (memo blocks are written before the record that points at them).
  using PrepareRecord = std::function<Result(uint8_t* record)>;
  // Appends a record; gives its number. With keep_lock the new record stays locked.
  Result AppendRecord(const uint8_t* record, const PrepareRecord& prepare, bool keep_lock,
                      uint32_t& recno);
  // Rewrites record `recno`, which this opening must hold locked (or have exclusively);
  // its deletion flag is kept as stored.
  Result WriteRecord(uint32_t recno, const uint8_t* record, const PrepareRecord& prepare);

  // A batch of rewrites, for a pass over many records: the locks every write needs are
  // taken once for the batch instead of once per record.
  // - BeginBatch locks records `recnos` (ascending), each run of neighbours with one lock,
  //   waiting a little for records another user holds (LockRangeWithRetry); when one stays
  //   held, only the records before it are locked: `locked` tells how many, and none is a
  //   failure (kErrRecordLocked, naming it). Then the companion's batch (the index lock).
  // - RewriteLocked writes some of them (ascending): `before` as read under the batch's
  //   locks, `after` (no memo changes), RecordLength() bytes each in the order of
  //   `recnos`. A record whose change moves a key of the companion is written alone with
  //   the crash-safe order of WriteRecord; a run of neighbours whose changes move none is
  //   written in one call (each record of it is as it was or as it is now after a crash,
  //   and the companion has nothing to follow). `written` tells how many, from the first,
  //   were written when a failure stops it.
  // - EndBatch lets everything go; with `date` (the batch reached records that a rewrite
  //   of each would have dated) it first dates the table, once.
  // This opening holds no record locks of its own while a batch is open.
  Result BeginBatch(const std::vector<uint32_t>& recnos, size_t& locked);
  Result RewriteLocked(const std::vector<uint32_t>& recnos, const uint8_t* before,
                       const uint8_t* after, size_t& written);
  void EndBatch(bool date = false);
  // Appends `count` records (`records`, RecordLength bytes each) in one go: all of them
  // or, whatever stops it, none (table_append.cpp). `prepare` runs on each record, by its
  // place in the run, before anything is written (it stores the record's memos). Gives
  // the number of the first. The whole run is written under the header and append locks
  // and the companion's batch.
  using PrepareRunRecord = std::function<Result(uint32_t index, uint8_t* record)>;
  Result AppendRun(const uint8_t* records, uint32_t count, const PrepareRunRecord& prepare,
                   uint32_t& first);
  // A run whose append stopped after the count took it in and before its first record's
  // deletion flag was written (AppendRun) gets that flag; `first` is the run's first
  // record, as the companion's pending mark names it. Does nothing while the appending
  // writer is alive (it holds the append lock) or when the flag is there.
  Result FinishStoppedRun(uint32_t first);
  // Records first .. first + count - 1 (all counted by the header) read from the file now.
  Result ReadRecords(uint32_t first, uint32_t count, uint8_t* out);
  // Marks record `recno` deleted; the same lock rule.
  Result MarkDeleted(uint32_t recno);
  // Writes byte `offset` of the header (the production-index flags), under the header
  // lock unless the table is held exclusively.
  Result WriteHeaderByte(uint64_t offset, uint8_t value);

  // Record locks: this opening holds at most one lock per record number.
  Result LockRecord(uint32_t recno);
  void UnlockRecord(uint32_t recno);
  bool HoldsRecordLock(uint32_t recno) const;
  void UnlockAllRecords();

  DbtMemo* Memo() const { return memo_.get(); }
  // The data file, for a pass that views it (MappedFile).
  const DbfFile& Dbf() const { return *dbf_; }

  TableCompanion* Companion() const { return companion_.get(); }
  void SetCompanion(std::unique_ptr<TableCompanion> companion);

  // Forgets cached state so that changes of other users are seen.
  Result Reread();

 private:
  // Records closer together than this are read in one run by Prefetch.
  static constexpr size_t kPrefetchGapBytes = 8192;

  Result CheckWritable() const;
  Result CheckLocked(uint32_t recno) const;
  // Reads records first .. first + count - 1 (all counted by the header) into the cache.
  Result ReadRun(uint32_t first, uint32_t count);
  // Writes `after` over record `recno` between the companion's BeginWrite and FinishWrite.
  Result Rewrite(uint32_t recno, const std::vector<uint8_t>& before, std::vector<uint8_t>& after,
                 const PrepareRecord& prepare, bool date);
  // Locks the run of records first .. last for a batch; false when one of them stays held.
  bool LockRun(uint32_t first, uint32_t last);
  void UnlockBatch();
  Result LockSharing(ShareMode share_mode);
  Result OpenMemo();
  // A kill during an append of ours can leave the new record, still marked deleted, past
  // the counted ones (AppendRecord's order): the opening for writing cuts it off and puts
  // the end-of-file marker back after the counted records.
  void TidyKilledAppend();
  // Finds the code page from the table's text (code_page_guess.h) and forbids writes
  // until the code page is set.
  Result AssumeCodePage();

  std::string dbf_path_;
  ShareMode share_mode_ = ShareMode::kShared;
  std::unique_ptr<DbfFile> dbf_;
  std::unique_ptr<DbtMemo> memo_;
  std::unique_ptr<TableCompanion> companion_;
  Result write_refusal_ = kOk;
  std::string write_refusal_text_;
  std::set<uint32_t> locked_records_;
  bool table_locked_ = false;
  struct LockedRun {
    uint32_t first = 0, count = 0;
  };
  std::vector<LockedRun> batch_runs_;  // the record locks of the open batch
  bool in_batch_ = false;
  std::unique_ptr<RecordCache> cache_;
  uint32_t last_cached_read_ = 0;  // the record ReadRecordCached gave last
  int code_page_ = 437;
  std::string code_page_note_;
  bool code_page_uncertain_ = false;
};

// ---- Cursors ------------------------------------------------------------------------------

// A memo being read or changed through a record buffer (see the blob calls of engine.h).
struct OpenBlobState {
  BlobMode mode = BlobMode::kReadOnly;
  uint16_t field_number = 0;
  std::string content;  // native bytes
  bool modified = false;
};

class Cursor {
 public:
  enum class Where : uint8_t { kBeginning, kEnd, kOnRecord, kCrack };

  Cursor(Handle handle, std::unique_ptr<Table> table, OpenMode open_mode,
         bool translate_fields);
  ~Cursor();

  Handle handle() const { return handle_; }
  Table& table() { return *table_; }
  OpenMode open_mode() const { return open_mode_; }
  bool translate_fields() const { return translate_fields_; }

  // The order walked; record order until an index is switched to.
  RecordOrder& Order() { return *order_; }
  // Replaces the order. With stay_on_record the current record stays current when the
  // new order holds it (else kErrCannotStayOnRecord and the order is left unchanged);
  // otherwise the cursor goes to the beginning.
  Result SetOrder(std::unique_ptr<RecordOrder> order, bool stay_on_record);
  // Whether the cursor is in an index order (set by SwitchToIndex along with the order).
  const std::string& index_file() const { return index_file_; }
  const std::string& index_tag() const { return index_tag_; }
  void SetIndexNames(std::string file, std::string tag) {
    index_file_ = std::move(file);
    index_tag_ = std::move(tag);
  }

  // Filters; a record is shown only when every active one passes it.
  std::vector<CursorFilter> filters;
  bool Passes(const RecordView& record) const;
  bool AnyFilterActive() const;

  // Position.
  Where where() const { return where_; }
  const OrderPos& position() const { return pos_; }
  void ToBeginning();
  void ToEnd();
  // Moves one visible record on; kErrEndOfTable / kErrBeginningOfTable at the ends.
  Result MoveNext();
  Result MovePrior();
  // The current record's bytes, read again from the file. A record stays current until
  // the cursor moves, even when a change makes it fail a filter; kErrRecordDeleted in a
  // crack, kErrNoCurrentRecord at the beginning or the end.
  Result ReadCurrent(std::vector<uint8_t>& record);
  Result GoToRecord(uint32_t recno);  // becomes current (the order's position of it)
  // After the current record `recno` was rewritten: stays on it, where its new bytes put
  // it in the order (the same place when its key did not change).
  Result FollowWrittenRecord(uint32_t recno);
  void ToCrack() { if (where_ == Where::kOnRecord) where_ = Where::kCrack; }
  // Has the records of the places after (forward) or before `at` read ahead when the
  // record at `at` is not at hand: an index walk reads the rest of a leaf's records
  // together.
  void ReadAhead(const OrderPos& at, bool forward);

  // Record buffers: the .DBF record, then one 4-byte blob slot per memo field.
  uint16_t BufferSize() const;
  // Open blobs by slot id (never reused while the cursor lives; 0 is no blob).
  std::map<uint32_t, OpenBlobState>& blobs() { return blobs_; }
  uint32_t NewBlobId() { return ++last_blob_id_; }

 private:
  bool Visible(const std::vector<uint8_t>& record) const;
  Result Walk(bool forward);

  Handle handle_;
  std::unique_ptr<Table> table_;
  OpenMode open_mode_;
  bool translate_fields_;
  std::unique_ptr<RecordOrder> order_;
  std::string index_file_, index_tag_;
  Where where_ = Where::kBeginning;
  OrderPos pos_;
  std::map<uint32_t, OpenBlobState> blobs_;
  uint32_t last_blob_id_ = 0;
  std::vector<uint8_t> record_;   // the record a walk looks at
  std::vector<uint32_t> ahead_;   // the records ReadAhead reads
};

// The cursor behind a handle, or null.
Cursor* FindCursor(Handle cursor);
// A fresh handle, unique among every kind of handle of the engine.
Handle NewHandle();
// The path of a table in a database: the file found without regard to the case of its
// name, or the path where it would be created. kErrInvalidHandle for a bad database.
Result ResolveTablePath(Handle database, const std::string& table_name, std::string& path,
                        bool& exists);

}  // namespace snyltdyr::engine
