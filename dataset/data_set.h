// TDataSet: the record set with one current record, a window of buffered records, a
// state machine (closed, browsing, editing, inserting) and notifications to its data
// sources.
//
// The dataset is abstract: every contact with stored data goes through the virtual
// operations below, which a binding supplies (the storage table, or the in-memory set
// of the tests).
//
// Invariants of the buffer window (while open):
//   - the buffer list holds WindowSize + 1 record buffers from AllocateRecordBuffer;
//   - entries 0 .. BufferedCount - 1 hold buffered records in set order, and the entry
//     at BufferedCount is the spare buffer into which the next fetch is read;
//   - 0 <= BufferedCount <= WindowSize, and ActiveIndex < BufferedCount unless there
//     are no records (NoRecords);
//   - CursorIndex is the buffer the storage cursor is known to sit on, or -1;
//   - records are never copied inside the window: only buffer pointers move.
// While closed WindowSize is 0 and the buffer list is empty.
//
// Notifications go to the attached data sources in attachment order, except while
// controls are suspended (SuspendControls) or the state is StateBlockRead.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dataset/fields/blob_stream.h"
#include "dataset/component.h"
#include "dataset/fields/field_defs.h"
#include "dataset/selection_pass.h"
#include "runtime/exception.h"

namespace snyltdyr {

class TField;
class TFields;
class TDataSource;
class TDataLink;

// The order is fixed: the ranges edit-or-insert (2..3) and edit-insert-or-set-key
// (2..4) rely on it.
enum DataState : uint8_t {
  StateInactive,
  StateBrowse,
  StateEdit,
  StateInsert,
  StateSetKey,
  StateCalcFields,
  StateFilter,
  StateNewValue,
  StateOldValue,
  StateCurValue,
  StateBlockRead,
  StateInternalCalc,
  StateOpening,
};
// The same type under a name that does not clash with the `DataState()` members.
using TDataSetState = DataState;

// Notifications from dataset to data sources and from data source to links; the info
// argument of each is noted.
enum DataEventKind : uint8_t {
  EventFieldChanged,      // the TField* whose value changed
  EventRecordChanged,     // 0
  EventDataSetChanged,    // 0
  EventScrolled,          // signed rows by which the window content shifted
  EventLayoutChanged,     // 0
  EventGatherEdits,       // 0
  EventStateChanged,      // 0
  EventCheckBrowse,       // 0
  EventPropertyChanged,   // the TFieldDef* (0 for the whole list)
  EventFieldListChanged,  // 0
  EventFocusField,        // address of a TField* that the focusing link clears
  EventParentScrolled,    // 0
};

enum TFetchMode : uint8_t { FetchCurrent, FetchNext, FetchPrior };
enum TFetchResult : uint8_t { FetchOK, FetchBOF, FetchEOF, FetchError };

// What a buffer holds.
enum TBookmarkFlag : uint8_t {
  BookmarkCurrent,   // a stored record
  BookmarkBOF,       // placeholder before the first record
  BookmarkEOF,       // placeholder after the last record
  BookmarkInserted,  // a record being inserted
};

// Answer of an error handler (OnEditError, OnPostError, OnDeleteError).
enum TDataAction : uint8_t { ActionFail, ActionAbort, ActionRetry };

// Filter options, a set of bits.
enum TFilterOption : unsigned { foCaseInsensitive = 1u << 0, foNoPartialCompare = 1u << 1 };
using TFilterOptions = unsigned;

// Options of RefillBuffers, a set of bits.
enum TRefillOption : unsigned { RefillExact = 1u << 0, RefillCenter = 1u << 1 };
using TRefillOptions = unsigned;

// A record buffer of the window; its layout belongs to the binding.
using TRecordBuffer = char*;
// A binding's bookmark of a stored record (opaque bytes; empty = none).
using TBookmark = std::string;

class TDataSet : public TComponent {
 public:
  using TDataSetNotifyEvent = std::function<void(TDataSet&)>;
  using TDataSetErrorEvent = std::function<void(TDataSet&, EDatabaseError&, TDataAction&)>;
  using TFilterRecordEvent = std::function<void(TDataSet&, bool& accept)>;

  explicit TDataSet(std::string name = {});
  // A binding must close the dataset in its own destructor (CloseForDestruction), while
  // its overrides still exist; this one only detaches the data sources.
  ~TDataSet() override;

  // ---- Open, close, state ------------------------------------------------------------
  void Open();
  void Close();
  bool Active() const { return state_ != StateInactive && state_ != StateOpening; }
  void SetActive(bool active);
  snyltdyr::DataState DataState() const { return state_; }
  bool RecordModified() const { return record_modified_; }

  // ---- Navigation --------------------------------------------------------------------
  void First();
  void Last();
  void Next();
  void Prior();
  // Moves the current record; returns the number of rows actually moved (signed).
  int32_t MoveRelative(int32_t distance);
  bool AtStart() const { return at_start_; }
  bool AtEnd() const { return at_end_; }
  bool NoRecords() const { return active_index_ >= buffered_count_; }

  // ---- Editing (data_set_editing.cpp) ------------------------------------------------
  void Edit();
  void Insert();
  void InsertAtEnd();
  virtual void Post();
  virtual void Cancel();
  void Delete();
  void Refresh();
  // Finishes any edit: posts a modified record, cancels an unmodified one.
  void EnsureBrowseMode();
  // Makes every link write its control's pending text into its field.
  void GatherControlEdits();

  // ---- Passes over the whole selection (data_set_pass.cpp) ---------------------------
  // A pass reaches every record of the selection once, its values in the fields while
  // the pass's function runs, with the controls not told of the records it goes through
  // (they are suspended meanwhile). Afterwards the last record of the selection is current
  // and AtEnd is true. The binding chooses the order: this base walks from First to the
  // end; the storage table reads the records in the order they lie in the file whenever
  // that reaches the same records, which is much faster.
  //
  // VisitSelection: `visit` reads the fields. Returns the number of records in the
  // selection as the binding counts them: RecordTotal here, the records visited for the
  // storage table (its exact count, from the same pass). With poShownOrder the records
  // come in the order the dataset shows them.
  virtual int32_t VisitSelection(const std::function<void()>& visit,
                                 TPassOrder order = poAnyOrder);
  // RewriteSelection: each record is in edit state while `fix` runs, then BeforePost, and
  // the record is stored. This base edits and posts every record (Edit, fix, Post, Next);
  // the storage table stores only the records whose values changed, in batches, without
  // the events of an edit (BeforeEdit, AfterPost, ...) but BeforePost. A failure stops the
  // pass at its record, which is then current and in edit state with `fix` and BeforePost
  // applied (as a failed Post leaves it), unless the failure was that it could not be
  // edited; the records before it in the pass are stored, those after it untouched.
  // `progress` (may be empty) hears now and then how far the pass got.
  virtual TRewriteCount RewriteSelection(const std::function<void()>& fix,
                                         const TPassProgress& progress = {});

  // ---- Notifications -----------------------------------------------------------------
  void SuspendControls();
  void ResumeControls();
  bool ControlsSuspended() const { return suspend_count_ != 0; }
  // Own handling of the event, then dispatch to the data sources (unless suspended).
  virtual void NotifyDataEvent(DataEventKind kind, std::intptr_t info = 0);

  // ---- Record count and numbers ------------------------------------------------------
  virtual int32_t RecordTotal();
  virtual int32_t RecordNumber() const;
  virtual void SetRecordNumber(int32_t number);
  virtual bool IsNumbered() const;
  virtual bool Modifiable() const;
  // Why the records cannot be changed (for the message of Edit and Insert, and for the
  // window to show); empty when they can, or when the binding gives no reason.
  virtual std::string ReadOnlyReason() const { return {}; }

  // ---- Filter properties (stored here; the binding applies them) --------------------
  const std::string& Filter() const { return filter_; }
  virtual void SetFilter(const std::string& text);
  bool Filtered() const { return filtered_; }
  virtual void SetFiltered(bool filtered);
  TFilterOptions FilterOptions() const { return filter_options_; }
  virtual void SetFilterOptions(TFilterOptions options);
  const TFilterRecordEvent& OnFilterRecord() const { return on_filter_record_; }
  virtual void SetOnFilterRecord(TFilterRecordEvent handler);

  bool AutoCalcFields() const { return auto_calc_fields_; }
  void SetAutoCalcFields(bool on) { auto_calc_fields_ = on; }

  // ---- Fields ------------------------------------------------------------------------
  TFields& Fields() { return *fields_; }
  const TFields& Fields() const { return *fields_; }
  TFieldDefs& FieldDefs() { return field_defs_; }
  const TFieldDefs& FieldDefs() const { return field_defs_; }
  // First field whose name equals `name` without regard to case, or none.
  TField* FindField(const std::string& name) const;
  // The same, raising "Field '%s' not found" (with this dataset's name) when missing.
  TField& FieldByName(const std::string& name) const;
  // First field bound to the column `field_no` (1-based), or none.
  TField* FieldByNumber(int field_no) const;
  // True after the binding created the fields itself (the set had none when opened).
  bool DefaultFields() const { return default_fields_; }
  // Flat field list / field definitions marked out of date by layout events.
  bool FieldListStale() const { return field_list_stale_; }

  // Value access of the fields, in the storage form the binding exchanges: text with a
  // terminating zero byte, a double, dates as a 32-bit day number, times as 32-bit
  // milliseconds, date-times as a double stamp (the fields convert to and from their
  // in-memory forms). ReadFieldData returns whether the field has a value, copying it
  // when `out` is given; a null `data` writes null.
  virtual bool ReadFieldData(TField& field, void* out);
  virtual void WriteFieldData(TField& field, const void* data);
  // Stream over a blob field of the current record (base: none).
  virtual std::unique_ptr<TBlobStream> OpenBlobStream(TField& field, TBlobStreamMode mode);
  // Character-set translation of field text between the program's code page and the
  // table's; the base copies unchanged.
  virtual void TranslateText(std::string& text, bool to_storage);

  // ---- Buffer window (used by data links, fields and the binding) --------------------
  int32_t WindowSize() const { return window_size_; }
  int32_t BufferedCount() const { return buffered_count_; }
  int32_t ActiveIndex() const { return active_index_; }
  int32_t CursorIndex() const { return cursor_index_; }
  // Buffer of the current record; none while closed.
  TRecordBuffer ActiveBuffer() const;
  // Buffer at window index 0 .. WindowSize (the last is the spare); none when outside.
  TRecordBuffer BufferAt(int32_t index) const;
  TRecordBuffer SpareBuffer() const { return BufferAt(buffered_count_); }
  // When records are buffered, puts the storage cursor on the current record.
  void SyncCursor();
  // Re-reads the window around the storage cursor after a write, cancel, delete or
  // refresh: RefillExact raises "Record not found" when the cursor's record cannot be
  // read back; RefillCenter puts it in the middle row instead of its current row.
  virtual void RefillBuffers(TRefillOptions options);
  // Makes the window as tall as the largest link buffer count (at least 1) and refills
  // it; runs only while the storage cursor is open. Data sources call it whenever a
  // link is added or removed or a link's buffer count changes.
  void RecomputeWindowSize();
  // Data sources attached to this dataset, in attachment order.
  const std::vector<TDataSource*>& DataSources() const { return data_sources_; }

  // ---- Events (empty = unset) --------------------------------------------------------
  TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose;
  TDataSetNotifyEvent BeforeInsert, AfterInsert, BeforeEdit, AfterEdit;
  TDataSetNotifyEvent BeforePost, AfterPost, BeforeCancel, AfterCancel;
  TDataSetNotifyEvent BeforeDelete, AfterDelete, BeforeScroll, AfterScroll;
  TDataSetNotifyEvent BeforeRefresh, AfterRefresh, OnCalcFields, OnNewRecord;
  TDataSetErrorEvent OnEditError, OnPostError, OnDeleteError;

 protected:
  // ---- Overridable operations of a binding -------------------------------------------
  virtual void BlankCalcArea(TRecordBuffer buffer);
  // Frees buffers and the cursor when the dataset closes (also after a failed open).
  virtual void CloseSequence();
  virtual void PrepareNewRecord(TRecordBuffer buffer);
  virtual void AbandonRecordEdit();
  virtual void BeginRecordEdit();
  virtual void BeginRecordInsert();
  virtual void RereadStorage();
  // With `info_only`, reads the field definitions; otherwise the internal open.
  virtual void OpenStorage(bool info_only);
  virtual TRecordBuffer AllocateRecordBuffer();
  virtual void ReleaseRecordBuffer(TRecordBuffer buffer);
  virtual void ReadBookmarkData(TRecordBuffer buffer, TBookmark& out);
  virtual TBookmarkFlag ReadBookmarkFlag(TRecordBuffer buffer);
  virtual int32_t RecordSize() const;
  virtual void DeleteAtCursor();
  virtual void CursorToStart();
  virtual void CursorToBookmark(const TBookmark& bookmark);
  virtual void ClearRecordBuffer(TRecordBuffer buffer);
  virtual void CursorToEnd();
  // Base: the required-field check; a binding then updates (edit) or inserts (insert)
  // the active buffer.
  virtual void WriteRecord();
  virtual void CursorToBuffer(TRecordBuffer buffer);
  virtual void WriteBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag);
  virtual void WriteBookmarkData(TRecordBuffer buffer, const TBookmark& data);
  // Reads the current, next or prior record into `buffer`, with its bookmark. BOF / EOF
  // when the set ends; any other failure raises when `raise_on_error`, else FetchError.
  virtual TFetchResult FetchRecord(TRecordBuffer buffer, TFetchMode mode,
                                   bool raise_on_error) = 0;
  virtual void CloseStorageCursor() = 0;
  virtual void HandleStorageException(const Exception& error) = 0;
  virtual void ReadFieldDefinitions() = 0;
  // Opens the cursor and creates or binds the fields.
  virtual void OpenStorageCursor() = 0;
  virtual bool StorageCursorOpen() const = 0;
  // Lets every field drop what it keeps of the current record (a modified memo).
  virtual void FreeFieldBuffers();

  // ---- Helpers for bindings ----------------------------------------------------------
  // state := new state, RecordModified := false, EventStateChanged; nothing if unchanged.
  void ChangeState(snyltdyr::DataState new_state);
  // Short stays in StateCalcFields / StateFilter: no notification, filter suspends.
  snyltdyr::DataState EnterTempState(snyltdyr::DataState temp);
  void LeaveTempState(snyltdyr::DataState saved);
  void SetCursorIndex(int32_t index) { cursor_index_ = index; }
  // Releases every buffer and allocates WindowSize + 1 fresh ones (after the record
  // layout changed); the window is then re-read with RefillBuffers. On an allocation
  // failure the buffers allocated so far are released and the error propagates.
  void ReallocateBuffers();
  // Computes the calculated fields of `buffer` when any exist.
  void CalculateFields(TRecordBuffer buffer);
  // Closes without BeforeClose / AfterClose; a binding's destructor calls it.
  void CloseForDestruction();
  // Raises EDatabaseError "Cannot perform this operation on a closed dataset" when closed.
  void CheckActive() const;
  // "Cannot modify a read-only dataset", with ReadOnlyReason() when there is one.
  void CheckModifiable();
  void CheckInactive() const;

 private:
  friend class TDataLink;
  friend class TDataSource;

  // Window steps.
  void MoveBuffer(int32_t from, int32_t to);
  void ClearWindow();
  void ActivateWindow();
  void CursorSyncTo(int32_t index);
  bool ForwardFetch();
  bool BackwardFetch();
  int32_t FillForward();
  int32_t FillBackward();
  void ReleaseBuffers();

  void InternalOpen();
  void DoClose();
  void ResizeBufferList(int32_t wanted);
  void SetActiveIndex(int32_t index) { active_index_ = index; }
  void AddDataSource(TDataSource* source);
  void RemoveDataSource(TDataSource* source);
  std::vector<TDataLink*> ActiveLinks() const;
  void RequiredFieldCheck();
  bool HasCalculatedFields() const;

  // Editing helpers (data_set_editing.cpp).
  void BeginInsertAppend();
  void EndInsertAppend();
  void RunWithRetry(const std::function<void()>& operation, const TDataSetErrorEvent& handler);

  static void Call(const TDataSetNotifyEvent& event, TDataSet& data_set) {
    if (event) event(data_set);
  }

  std::unique_ptr<TFields> fields_;
  TFieldDefs field_defs_;
  std::vector<TDataSource*> data_sources_;
  std::vector<TDataLink*> link_chain_;  // every link of every source, rebuilt on resize
  std::vector<TRecordBuffer> buffers_;
  int32_t window_size_ = 0;
  int32_t buffered_count_ = 0;
  int32_t active_index_ = 0;
  int32_t cursor_index_ = -1;
  bool at_start_ = true;
  bool at_end_ = true;
  bool record_modified_ = false;
  snyltdyr::DataState state_ = StateInactive;

  int32_t suspend_count_ = 0;
  snyltdyr::DataState suspended_state_ = StateInactive;
  DataEventKind pending_resume_event_ = EventDataSetChanged;

  std::string filter_;
  bool filtered_ = false;
  TFilterOptions filter_options_ = 0;
  TFilterRecordEvent on_filter_record_;
  bool auto_calc_fields_ = true;
  // HasCalculatedFields of the open dataset, asked at every field change: -1 until known.
  // Field kinds change only while the dataset is closed; the field list tells its changes.
  mutable int8_t has_calculated_fields_ = -1;

  int32_t block_read_size_ = 0;
  bool open_complete_ = false;
  bool default_fields_ = false;
  bool field_list_stale_ = false;
};

}  // namespace snyltdyr
