// The editing operations of TDataSet: Edit, Insert, InsertAtEnd, Post, Cancel, Delete,
// Refresh and EnsureBrowseMode, with the retry loop that offers storage failures to the
// error handlers.
//
// Every operation sends its events and notifications in a fixed order that controls
// rely on; a failure of BeforePost or of the write leaves the record being edited as it
// was, in StateEdit / StateInsert.
#include <exception>

#include "dataset/data_set.h"
#include "dataset/data_set_messages.h"
#include "dataset/try_finally.h"

namespace snyltdyr {

namespace {

bool EditingState(DataState state) { return state == StateEdit || state == StateInsert; }

}  // namespace

void TDataSet::EnsureBrowseMode() {
  CheckActive();
  NotifyDataEvent(EventCheckBrowse);
  switch (state_) {
    case StateEdit:
    case StateInsert:
      GatherControlEdits();
      if (record_modified_) {
        Post();
      } else {
        Cancel();
      }
      break;
    case StateSetKey:
      Post();
      break;
    default:
      break;
  }
}

void TDataSet::GatherControlEdits() {
  if (!EditingState(state_) && state_ != StateSetKey) DatabaseError(msg::kNotEditing);
  NotifyDataEvent(EventGatherEdits);
}

// Runs a storage operation with the cursor on the current record. An EDatabaseError is
// offered to the handler: fail re-raises it, abort raises the silent abort, retry runs
// the operation again. Other exceptions pass at once.
void TDataSet::RunWithRetry(const std::function<void()>& operation,
                            const TDataSetErrorEvent& handler) {
  for (;;) {
    TDataAction action = ActionFail;
    try {
      SyncCursor();
      operation();
      return;
    } catch (EDatabaseError& error) {
      if (handler) handler(*this, error, action);
      if (action == ActionFail) throw;
      if (action == ActionAbort) throw EAbort();
    }
  }
}

void TDataSet::Edit() {
  if (EditingState(state_)) return;
  if (buffered_count_ == 0) {
    Insert();
    return;
  }
  EnsureBrowseMode();
  CheckModifiable();
  Call(BeforeEdit, *this);
  RunWithRetry([this] { BeginRecordEdit(); }, OnEditError);
  CalculateFields(ActiveBuffer());
  ChangeState(StateEdit);
  NotifyDataEvent(EventRecordChanged);
  Call(AfterEdit, *this);
}

void TDataSet::CheckModifiable() {
  if (Modifiable()) return;
  // The reason follows the fixed text on a line of its own, so the user learns why.
  const std::string why = ReadOnlyReason();
  DatabaseError(why.empty() ? std::string(msg::kDataSetReadOnly)
                            : std::string(msg::kDataSetReadOnly) + "\n" + why);
}

void TDataSet::BeginInsertAppend() {
  EnsureBrowseMode();
  CheckModifiable();
  Call(BeforeInsert, *this);
  Call(BeforeScroll, *this);
}

void TDataSet::EndInsertAppend() {
  ChangeState(StateInsert);
  try {
    Call(OnNewRecord, *this);
  } catch (...) {
    SyncCursor();
    FreeFieldBuffers();
    ChangeState(StateBrowse);
    RefillBuffers(0);
    throw;
  }
  record_modified_ = false;
  NotifyDataEvent(EventDataSetChanged);
  Call(AfterInsert, *this);
  Call(AfterScroll, *this);
}

void TDataSet::Insert() {
  BeginInsertAppend();
  // The new record goes before the current one; it remembers that record's bookmark so
  // that the cursor can be put there when it is written or abandoned.
  TBookmark bookmark;
  if ((state_ == StateBrowse || EditingState(state_)) && !NoRecords() &&
      ReadBookmarkFlag(ActiveBuffer()) == BookmarkCurrent) {
    ReadBookmarkData(ActiveBuffer(), bookmark);
  }
  MoveBuffer(buffered_count_, active_index_);
  TRecordBuffer buffer = ActiveBuffer();
  PrepareNewRecord(buffer);
  if (buffered_count_ == 0) {
    WriteBookmarkFlag(buffer, BookmarkBOF);
  } else {
    WriteBookmarkData(buffer, bookmark);
  }
  if (buffered_count_ < window_size_) ++buffered_count_;
  BeginRecordInsert();
  EndInsertAppend();
}

void TDataSet::InsertAtEnd() {
  BeginInsertAppend();
  ClearWindow();
  TRecordBuffer buffer = BufferAt(0);
  PrepareNewRecord(buffer);
  WriteBookmarkFlag(buffer, BookmarkEOF);
  buffered_count_ = 1;
  at_start_ = false;
  FillBackward();
  BeginRecordInsert();
  EndInsertAppend();
}

void TDataSet::Post() {
  GatherControlEdits();
  if (!EditingState(state_)) return;
  NotifyDataEvent(EventCheckBrowse);
  Call(BeforePost, *this);
  RunWithRetry([this] { WriteRecord(); }, OnPostError);
  FreeFieldBuffers();
  ChangeState(StateBrowse);
  RefillBuffers(0);
  Call(AfterPost, *this);
}

void TDataSet::Cancel() {
  if (!EditingState(state_)) return;
  const bool inserting = state_ == StateInsert;
  NotifyDataEvent(EventCheckBrowse);
  Call(BeforeCancel, *this);
  if (inserting) Call(BeforeScroll, *this);
  SyncCursor();
  AbandonRecordEdit();
  FreeFieldBuffers();
  ChangeState(StateBrowse);
  RefillBuffers(0);
  Call(AfterCancel, *this);
  if (inserting) Call(AfterScroll, *this);
}

void TDataSet::Delete() {
  CheckActive();
  if (state_ == StateInsert || state_ == StateSetKey) {
    Cancel();
    return;
  }
  if (buffered_count_ == 0) DatabaseError(msg::kDataSetEmpty);
  NotifyDataEvent(EventCheckBrowse);
  Call(BeforeDelete, *this);
  Call(BeforeScroll, *this);
  RunWithRetry([this] { DeleteAtCursor(); }, OnDeleteError);
  FreeFieldBuffers();
  ChangeState(StateBrowse);
  RefillBuffers(0);
  Call(AfterDelete, *this);
  Call(AfterScroll, *this);
}

void TDataSet::Refresh() {
  Call(BeforeRefresh, *this);
  EnsureBrowseMode();
  SyncCursor();
  TryFinally([this] { RereadStorage(); },
             [this] {
               RefillBuffers(0);
               Call(AfterRefresh, *this);
             });
}

}  // namespace snyltdyr
