// TEngineDataSet: a dataset whose records come from one cursor of the storage engine.
//
// It supplies every abstract record operation of TDataSet from engine calls, keeps the
// engine's expression and callback filters of the cursor, converts text between the
// program's code page and the table's native one, and serves blob fields through a
// stream that caches the content of the current record.
//
// Record buffer layout (one buffer per window row, allocated zero-filled):
//   [0, record_size)                 the engine's record image
//   [calc_offset, +calc size)        calculated fields (presence byte, value)
//   [blob_cache_offset, +n * ref)    one cached text per blob field (null = not cached)
//   [info_offset, +6)                i32 record number, u8 update status, u8 bookmark flag
//   [bookmark_offset, +bookmark)     the engine's bookmark of the record
// Invariants: a cursor handle is held exactly while the storage cursor is open; the
// expression filter handle exists while the cursor is open and Filter is not empty, and
// is active exactly while Filtered is true.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "dataset/data_set.h"
#include "storage/engine/engine.h"

namespace snyltdyr {

class TEngineBlobStream;

enum class TRecNoKind : uint8_t { rnNone, rnDbase, rnSequence };

// Information about the cursor's current index.
struct TCurrentIndexInfo {
  bool expression = false;
  bool case_insensitive = false;
  int field_count = 0;
  int field_numbers[16] = {};
  int key_size = 0;
};

class TEngineDataSet : public TDataSet {
 public:
  explicit TEngineDataSet(std::string name = {});
  ~TEngineDataSet() override;

  // The engine cursor (kNoHandle while closed) and the language driver of native text.
  engine::Handle Handle() const { return cursor_; }
  engine::Handle Locale() const { return locale_; }

  // Keep the blob contents of the current record in memory (on by default).
  bool CacheBlobs() const { return cache_blobs_; }
  void SetCacheBlobs(bool on) { cache_blobs_ = on; }

  // ---- Record count and numbers ------------------------------------------------------
  // The records visible through the cursor (the active filter applied).
  int32_t RecordTotal() override;
  // The physical record number of the current record, or -1.
  int32_t RecordNumber() const override;
  bool IsNumbered() const override;
  bool Modifiable() const override;
  // Why the cursor cannot write, as the engine says now; empty when it can (or is closed).
  std::string ReadOnlyReason() const override;
  // When the table names no code page, the one its text is read in was assumed: what was
  // assumed (empty when nothing was), and whether letters shown may be wrong.
  std::string CodePageNote(bool* uncertain = nullptr) const;

  // ---- Bookmarks ---------------------------------------------------------------------
  // Bookmark of the current record (empty when there is none).
  TBookmark GetBookmark();
  // -1, 0 or 1 in the cursor's order; an empty bookmark sorts first.
  int CompareBookmarks(const TBookmark& a, const TBookmark& b);
  // True when the bookmark still names a readable record.
  bool BookmarkValid(const TBookmark& bookmark);
  // Makes the bookmarked record current; "Record not found" when it is gone.
  void GotoBookmark(const TBookmark& bookmark);

  // ---- Filters -----------------------------------------------------------------------
  void SetFilter(const std::string& text) override;
  void SetFiltered(bool filtered) override;
  void SetFilterOptions(TFilterOptions options) override;
  void SetOnFilterRecord(TFilterRecordEvent handler) override;

  // ---- Passes over the whole selection (engine_data_set_pass.cpp) --------------------
  // The engine's passes: the records in the order they lie in the file whenever that is
  // the same selection, read in large runs; changes written in batches of records under
  // one set of locks, only the records whose values changed. The record passed through
  // sits in a buffer of its own, which the fields read and write while the pass's
  // function runs.
  int32_t VisitSelection(const std::function<void()>& visit, TPassOrder order = poAnyOrder) override;
  TRewriteCount RewriteSelection(const std::function<void()>& fix,
                                 const TPassProgress& progress = {}) override;
  // RewriteSelection with a quicker way through a record: `direct` is tried first on
  // every record the pass reaches and, answering true, has fixed it in PassRecord()'s
  // bytes standing for `fix` and BeforePost both; answering false it left the bytes
  // untouched, and the record goes through `fix` and BeforePost as ever. Only the caller
  // knows whether `direct` gives what `fix` and this table's BeforePost give. A pass that
  // cannot go through the engine (a filter handler) goes `fix` and BeforePost throughout.
  TRewriteCount RewriteSelection(const std::function<void()>& fix,
                                 const std::function<bool()>& direct,
                                 const TPassProgress& progress);
  // ---- New records in one go (engine_data_set_append.cpp) ---------------------------
  // The memos of a new record: field and text (code page 1252).
  using TNewMemos = std::vector<std::pair<const TField*, std::string>>;
  // Builds `rows` new records, each in a buffer of its own that the fields write while
  // `fill(row, memos)` runs, as a post would: the record in edit state without telling
  // anyone, BeforePost after `fill`. `fill` answers false for a row it found bad (and
  // says why itself); the rows after it are still built, so that every bad one is found.
  // Only when every row was good and `write` is set are the records appended, all of
  // them or none (engine::AppendRecords). Returns how many were appended. `progress`
  // hears how many rows were built.
  int32_t AppendRows(int32_t rows, const std::function<bool(int32_t row, TNewMemos& memos)>& fill,
                     bool write, const TPassProgress& progress = {});
  // Whether a pass is going through the records (its record is the fields' record).
  bool Passing() const { return pass_buffer_ != nullptr; }
  // The bytes of the record a pass reached (the engine's record image), null outside a
  // pass: what TStoredText and other direct readers of a pass read and write.
  char* PassRecord() const { return pass_buffer_; }

  // ---- Field values ------------------------------------------------------------------
  bool ReadFieldData(TField& field, void* out) override;
  void WriteFieldData(TField& field, const void* data) override;
  std::unique_ptr<TBlobStream> OpenBlobStream(TField& field, TBlobStreamMode mode) override;
  void TranslateText(std::string& text, bool to_storage) override;

  // Native text of the table and back, through the current language driver.
  std::string AnsiToNative(const std::string& ansi) const;
  std::string NativeToAnsi(const std::string& native) const;

 protected:
  // ---- For the classes above ---------------------------------------------------------
  // Creates the cursor (TDBDataSet / TTable); kNoHandle is "Error creating cursor
  // handle".
  virtual engine::Handle CreateCursor(bool gen_handle) = 0;
  // Closes the cursor in the engine (releasing its record locks).
  virtual void DestroyCursor();
  // The language driver used while no cursor is open (the database's).
  virtual engine::Handle DefaultLocale() const;
  void SetLocale(engine::Handle locale) { locale_ = locale; }
  // After the cursor was put at the beginning at open: a further index to switch to.
  virtual void OpenCursorIndex() {}
  // Reads the current index information of the cursor.
  void ReadIndexInfo();
  void ResetIndexInfo() { index_info_ = TCurrentIndexInfo{}; }
  const TCurrentIndexInfo& IndexInfo() const { return index_info_; }
  // Re-reads record and bookmark sizes after the cursor's order changed, reallocates
  // the window's buffers (closing the dataset if that fails) and re-reads the index
  // information.
  void SwitchToIndexBuffers();
  // Builds field definitions from the engine's descriptors.
  void DefinitionsFromDescriptors(const std::vector<engine::FieldDescriptor>& descriptors);
  // The expression filter of `text`; the parse error raises before anything changes.
  engine::Handle BuildExpressionFilter(const std::string& text, TFilterOptions options);
  void ActivateFilters();
  void DeactivateFilters();
  engine::Handle ExpressionFilter() const { return expr_filter_; }

  // ---- Overrides of TDataSet ---------------------------------------------------------
  void OpenStorage(bool info_only) override;
  void OpenStorageCursor() override;
  void CloseStorageCursor() override;
  void CloseSequence() override;
  bool StorageCursorOpen() const override { return cursor_ != engine::kNoHandle; }
  void ReadFieldDefinitions() override;
  void HandleStorageException(const Exception& error) override;

  TRecordBuffer AllocateRecordBuffer() override;
  void ReleaseRecordBuffer(TRecordBuffer buffer) override;
  int32_t RecordSize() const override { return record_size_; }
  void ClearRecordBuffer(TRecordBuffer buffer) override;
  void PrepareNewRecord(TRecordBuffer buffer) override;
  TFetchResult FetchRecord(TRecordBuffer buffer, TFetchMode mode, bool raise_on_error) override;
  void CursorToStart() override;
  void CursorToEnd() override;
  void CursorToBookmark(const TBookmark& bookmark) override;
  void CursorToBuffer(TRecordBuffer buffer) override;
  void ReadBookmarkData(TRecordBuffer buffer, TBookmark& out) override;
  void WriteBookmarkData(TRecordBuffer buffer, const TBookmark& data) override;
  TBookmarkFlag ReadBookmarkFlag(TRecordBuffer buffer) override;
  void WriteBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag) override;
  void BeginRecordEdit() override;
  void BeginRecordInsert() override;
  void WriteRecord() override;
  void AbandonRecordEdit() override;
  void DeleteAtCursor() override;
  void RereadStorage() override;
  void BlankCalcArea(TRecordBuffer buffer) override;

  // Adds a record from `buffer` without making the dataset edit (append or insert).
  void AddRecordDirect(TRecordBuffer buffer, bool append);

  // The record buffer of the current state, or none.
  TRecordBuffer StateBuffer() const;

 private:
  friend class TEngineBlobStream;

  // Layout of a record buffer.
  void ComputeBufferAreas();
  // Slot of a blob field in the blob cache; -1 for a field that is not a bound blob.
  int32_t BlobSlot(const TField& field) const;
  std::string* CachedBlobAt(TRecordBuffer buffer, int32_t slot) const;
  void SetCachedBlobAt(TRecordBuffer buffer, int32_t slot, std::string* content) const;
  void ClearBlobCache(TRecordBuffer buffer);
  // Cached content of `field` in `buffer` (null when not cached).
  const std::string* CachedBlob(TRecordBuffer buffer, const TField& field) const;
  void SetCachedBlob(TRecordBuffer buffer, const TField& field, std::string content);
  void DropCachedBlob(TRecordBuffer buffer, const TField& field);
  void FillRecordInfo(TRecordBuffer buffer, const engine::RecordProperties& props);
  // Offset of a calculated field's presence byte in the calculated area, or -1.
  int32_t CalcOffset(const TField& field) const;
  // The callback filter: whether `buffer` passes the OnFilterRecord handler.
  bool CallbackFilterActive() const;
  bool PassesCallbackFilter(TRecordBuffer buffer);
  int32_t CountWithCallbackFilter();
  // Replaces the expression filter by one for `text` and `options` (none when empty).
  void ReplaceExpressionFilter(const std::string& text, TFilterOptions options);
  void DropExpressionFilter();
  // Engine field value <-> the storage form the fields exchange.
  bool ValueToStorage(const TField& field, const engine::FieldValue& value, void* out) const;
  engine::FieldValue StorageToValue(const TField& field, const void* data) const;
  void CreateDefaultFields();
  void FreeBlobsOf(TRecordBuffer buffer);
  // After a pass stopped at record `recno`: that record current, edited again the way the
  // pass edits it, up to where the pass failed (engine_data_set_pass.cpp).
  void RedoStoppedRecord(uint32_t recno, const std::function<void()>& fix);
  // The pass reached record `recno`, now in the pass's buffer: its number and calculated
  // fields.
  void PassRecordReached(uint32_t recno);
  // Calculates the fields of `buffer`, which they read meanwhile (calc_buffer_).
  void CalculateFieldsIn(TRecordBuffer buffer);

  engine::Handle cursor_ = engine::kNoHandle;
  engine::Handle locale_ = engine::kNoHandle;
  int32_t record_size_ = 0;
  int32_t bookmark_size_ = 0;
  TRecNoKind rec_no_kind_ = TRecNoKind::rnNone;
  bool can_modify_ = false;
  engine::Handle expr_filter_ = engine::kNoHandle;
  bool cache_blobs_ = true;
  TCurrentIndexInfo index_info_;

  int32_t calc_offset_ = 0;
  int32_t calc_size_ = 0;
  int32_t blob_cache_offset_ = 0;
  int32_t info_offset_ = 0;
  int32_t bookmark_offset_ = 0;
  int32_t buffer_size_ = 0;
  std::vector<int32_t> blob_field_numbers_;  // field numbers of the blob fields, in order
  std::vector<std::pair<const TField*, int32_t>> calc_offsets_;
  std::vector<std::unique_ptr<TField>> default_fields_;  // created when the set had none
  TRecordBuffer calc_buffer_ = nullptr;    // the buffer being calculated
  TRecordBuffer filter_buffer_ = nullptr;  // the buffer offered to OnFilterRecord
  TRecordBuffer pass_buffer_ = nullptr;    // the record a pass goes through
  bool releasing_old_layout_ = false;      // buffers whose caches were already emptied

  // Each conversion direction runs under its own lock.
  mutable std::mutex to_native_lock_;
  mutable std::mutex to_ansi_lock_;
};

}  // namespace snyltdyr
