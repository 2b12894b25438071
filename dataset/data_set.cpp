#include "dataset/data_set.h"

#include <algorithm>
#include <exception>

#include "dataset/links/data_link.h"
#include "dataset/data_set_messages.h"
#include "dataset/links/data_source.h"
#include "dataset/fields/field.h"
#include "dataset/fields/fields.h"
#include "dataset/try_finally.h"

namespace snyltdyr {

TDataSet::TDataSet(std::string name)
    : TComponent(std::move(name)), fields_(std::make_unique<TFields>(this)) {}

TDataSet::~TDataSet() {
  MarkDestroying();
  // A binding closed the dataset in its own destructor; the overrides are gone now.
  for (TDataSource* source : std::vector<TDataSource*>(data_sources_)) {
    source->DataSetDestroyed();
  }
  data_sources_.clear();
  link_chain_.clear();
}

void TDataSet::CloseForDestruction() {
  MarkDestroying();
  SetActive(false);
}

void TDataSet::CheckActive() const {
  if (state_ == StateInactive) DatabaseError(msg::kDataSetClosed);
}

void TDataSet::CheckInactive() const {
  if (Active()) DatabaseError(msg::kDataSetOpen);
}

// ---- Window steps ---------------------------------------------------------------------

// Takes the pointer at `from` out of the list and reinserts it at `to`.
void TDataSet::MoveBuffer(int32_t from, int32_t to) {
  if (from == to) return;
  auto first = buffers_.begin();
  if (from < to) {
    std::rotate(first + from, first + from + 1, first + to + 1);
  } else {
    std::rotate(first + to, first + from, first + from + 1);
  }
}

void TDataSet::ClearWindow() {
  buffered_count_ = 0;
  active_index_ = 0;
  cursor_index_ = -1;
  at_start_ = true;
  at_end_ = true;
}

void TDataSet::ActivateWindow() {
  buffered_count_ = 1;
  active_index_ = 0;
  cursor_index_ = 0;
  at_start_ = false;
  at_end_ = false;
}

void TDataSet::CursorSyncTo(int32_t index) {
  if (index == cursor_index_) return;
  TRecordBuffer buffer = buffers_[static_cast<size_t>(index)];
  switch (ReadBookmarkFlag(buffer)) {
    case BookmarkBOF: CursorToStart(); break;
    case BookmarkEOF: CursorToEnd(); break;
    case BookmarkCurrent:
    case BookmarkInserted: CursorToBuffer(buffer); break;
  }
  cursor_index_ = index;
}

void TDataSet::SyncCursor() {
  if (buffered_count_ > 0) CursorSyncTo(active_index_);
}

bool TDataSet::ForwardFetch() {
  TFetchMode mode = FetchNext;
  if (buffered_count_ > 0) {
    CursorSyncTo(buffered_count_ - 1);
    // A record being inserted is not stored yet: the cursor's own record comes next.
    if (state_ == StateInsert && cursor_index_ == active_index_ &&
        ReadBookmarkFlag(ActiveBuffer()) == BookmarkCurrent) {
      mode = FetchCurrent;
    }
  }
  if (FetchRecord(SpareBuffer(), mode, true) != FetchOK) {
    cursor_index_ = -1;
    return false;
  }
  if (buffered_count_ == 0) {
    ActivateWindow();
  } else if (buffered_count_ < window_size_) {
    ++buffered_count_;
  } else {
    MoveBuffer(0, buffered_count_);
  }
  cursor_index_ = buffered_count_ - 1;
  return true;
}

bool TDataSet::BackwardFetch() {
  if (buffered_count_ > 0) CursorSyncTo(0);
  if (FetchRecord(SpareBuffer(), FetchPrior, true) != FetchOK) {
    cursor_index_ = -1;
    return false;
  }
  if (buffered_count_ == 0) {
    ActivateWindow();
  } else {
    MoveBuffer(buffered_count_, 0);
    if (buffered_count_ < window_size_) {
      ++buffered_count_;
      ++active_index_;
    }
  }
  cursor_index_ = 0;
  return true;
}

int32_t TDataSet::FillForward() {
  int32_t count = 0;
  while (buffered_count_ < window_size_ && ForwardFetch()) ++count;
  return count;
}

int32_t TDataSet::FillBackward() {
  int32_t count = 0;
  while (buffered_count_ < window_size_ && BackwardFetch()) ++count;
  return count;
}

TRecordBuffer TDataSet::ActiveBuffer() const { return BufferAt(active_index_); }

TRecordBuffer TDataSet::BufferAt(int32_t index) const {
  if (index < 0 || static_cast<size_t>(index) >= buffers_.size()) return nullptr;
  return buffers_[static_cast<size_t>(index)];
}

void TDataSet::ReleaseBuffers() {
  std::vector<TRecordBuffer> buffers;
  buffers.swap(buffers_);
  for (TRecordBuffer buffer : buffers) ReleaseRecordBuffer(buffer);
}

void TDataSet::ReallocateBuffers() {
  ReleaseBuffers();
  ResizeBufferList(window_size_ + 1);
}

// Grows or shrinks the buffer list to `wanted` entries. New entries come from
// AllocateRecordBuffer; if one allocation fails, those allocated here are released again.
void TDataSet::ResizeBufferList(int32_t wanted) {
  const size_t target = static_cast<size_t>(std::max(wanted, 0));
  while (buffers_.size() > target) {
    TRecordBuffer buffer = buffers_.back();
    buffers_.pop_back();
    ReleaseRecordBuffer(buffer);
  }
  const size_t old_size = buffers_.size();
  try {
    while (buffers_.size() < target) buffers_.push_back(AllocateRecordBuffer());
  } catch (...) {
    while (buffers_.size() > old_size) {
      TRecordBuffer buffer = buffers_.back();
      buffers_.pop_back();
      ReleaseRecordBuffer(buffer);
    }
    throw;
  }
}

// ---- Links and window size ------------------------------------------------------------

void TDataSet::AddDataSource(TDataSource* source) {
  data_sources_.push_back(source);
}

void TDataSet::RemoveDataSource(TDataSource* source) {
  std::erase(data_sources_, source);
}

std::vector<TDataLink*> TDataSet::ActiveLinks() const {
  std::vector<TDataLink*> active;
  for (TDataLink* link : link_chain_) {
    if (link->Active()) active.push_back(link);
  }
  return active;
}

void TDataSet::RecomputeWindowSize() {
  if (!StorageCursorOpen()) return;
  link_chain_.clear();
  int32_t wanted = 1;
  for (TDataSource* source : data_sources_) {
    for (TDataLink* link : source->Links()) {
      link_chain_.push_back(link);
      wanted = std::max(wanted, link->LinkBufferCount());
    }
  }
  if (wanted == window_size_) return;
  const std::vector<TDataLink*> links = ActiveLinks();

  if (wanted < window_size_ && buffered_count_ > 0) {
    // Keep the rows from the first one any control shows; the current record must stay
    // inside the smaller window, and only buffered records are moved.
    int32_t base = active_index_;
    for (TDataLink* link : links) base = std::min(base, link->window_start_);
    base = std::max({base, active_index_ - wanted + 1, 0});
    const int32_t kept = std::min(buffered_count_ - base, wanted);
    for (int32_t i = 0; i < kept; ++i) MoveBuffer(base + i, i);
    active_index_ -= base;
    if (cursor_index_ != -1) {
      cursor_index_ -= base;
      if (cursor_index_ < 0 || cursor_index_ >= kept) cursor_index_ = -1;
    }
    buffered_count_ = kept;
    for (TDataLink* link : links) link->window_start_ = std::max(link->window_start_ - base, 0);
  }

  ResizeBufferList(wanted + 1);
  window_size_ = wanted;
  if (Destroying()) return;
  FillForward();
  const int32_t backward = FillBackward();
  for (TDataLink* link : links) link->window_start_ += backward;
}

// ---- Open and close -------------------------------------------------------------------

void TDataSet::Open() { SetActive(true); }

void TDataSet::Close() { SetActive(false); }

void TDataSet::SetActive(bool active) {
  if (active == Active()) return;
  has_calculated_fields_ = -1;
  if (active) {
    Call(BeforeOpen, *this);
    std::exception_ptr error;
    try {
      OpenStorage(false);
    } catch (...) {
      error = std::current_exception();
    }
    if (open_complete_) {
      ChangeState(StateBrowse);
      Call(AfterOpen, *this);
      if (!NoRecords()) Call(AfterScroll, *this);
    } else {
      ChangeState(StateInactive);
      CloseSequence();
    }
    if (error) std::rethrow_exception(error);
  } else {
    if (!Destroying()) Call(BeforeClose, *this);
    ChangeState(StateInactive);
    CloseSequence();
    if (!Destroying()) Call(AfterClose, *this);
  }
}

void TDataSet::OpenStorage(bool info_only) {
  if (info_only) {
    ReadFieldDefinitions();
  } else if (state_ != StateOpening) {
    InternalOpen();
  }
}

void TDataSet::InternalOpen() {
  default_fields_ = fields_->Count() == 0;
  OpenStorageCursor();
  open_complete_ = true;
  // The cursor stands before the first record: the window fills from it.
  RecomputeWindowSize();
  at_start_ = true;
}

void TDataSet::CloseSequence() {
  block_read_size_ = 0;
  open_complete_ = false;
  FreeFieldBuffers();
  ClearWindow();
  ReleaseBuffers();
  window_size_ = 0;
  CloseStorageCursor();
  default_fields_ = false;
}

// ---- Navigation -----------------------------------------------------------------------

void TDataSet::First() {
  EnsureBrowseMode();
  Call(BeforeScroll, *this);
  TryFinally(
      [&] {
        ClearWindow();
        CursorToStart();
        ForwardFetch();
        FillForward();
      },
      [&] {
        at_start_ = true;
        NotifyDataEvent(EventDataSetChanged);
        Call(AfterScroll, *this);
      });
}

void TDataSet::Last() {
  EnsureBrowseMode();
  Call(BeforeScroll, *this);
  TryFinally(
      [&] {
        ClearWindow();
        CursorToEnd();
        BackwardFetch();
        FillBackward();
      },
      [&] {
        at_end_ = true;
        NotifyDataEvent(EventDataSetChanged);
        Call(AfterScroll, *this);
      });
}

void TDataSet::Next() { MoveRelative(1); }

void TDataSet::Prior() { MoveRelative(-1); }

int32_t TDataSet::MoveRelative(int32_t distance) {
  EnsureBrowseMode();
  Call(BeforeScroll, *this);
  if (distance == 0 || (distance > 0 && at_end_) || (distance < 0 && at_start_)) return 0;
  at_start_ = false;
  at_end_ = false;
  const int32_t old_count = buffered_count_;
  int32_t scroll = 0;
  int32_t moved = 0;
  TryFinally(
      [&] {
        while (distance > 0) {
          if (active_index_ < buffered_count_ - 1) {
            ++active_index_;
          } else {
            const bool full = buffered_count_ >= window_size_;
            if (!ForwardFetch()) {
              at_end_ = true;
              break;
            }
            if (full) --scroll;
            if (active_index_ < buffered_count_ - 1) ++active_index_;
          }
          --distance;
          ++moved;
        }
        while (distance < 0) {
          if (active_index_ > 0) {
            --active_index_;
          } else {
            const bool full = buffered_count_ >= window_size_;
            if (!BackwardFetch()) {
              at_start_ = true;
              break;
            }
            if (full) ++scroll;
            if (active_index_ > 0) --active_index_;
          }
          ++distance;
          --moved;
        }
      },
      [&] {
        if (buffered_count_ != old_count) {
          NotifyDataEvent(EventDataSetChanged);
        } else {
          NotifyDataEvent(EventScrolled, scroll);
        }
        Call(AfterScroll, *this);
      });
  return moved;
}

void TDataSet::RefillBuffers(TRefillOptions options) {
  if (options & RefillExact) {
    cursor_index_ = -1;
    if (FetchRecord(SpareBuffer(), FetchCurrent, true) != FetchOK) {
      DatabaseError(msg::kRecordNotFound);
    }
  } else if (FetchRecord(SpareBuffer(), FetchCurrent, false) != FetchOK &&
             FetchRecord(SpareBuffer(), FetchNext, false) != FetchOK &&
             FetchRecord(SpareBuffer(), FetchPrior, false) != FetchOK) {
    ClearWindow();
    NotifyDataEvent(EventDataSetChanged);
    return;
  }
  const int32_t target = (options & RefillCenter) ? (window_size_ - 1) / 2 : active_index_;
  MoveBuffer(buffered_count_, 0);
  ActivateWindow();
  TryFinally(
      [&] {
        for (int32_t i = 0; i < target && BackwardFetch(); ++i) {
        }
        FillForward();
        FillBackward();
      },
      [&] { NotifyDataEvent(EventDataSetChanged); });
}

// ---- Notifications --------------------------------------------------------------------

void TDataSet::NotifyDataEvent(DataEventKind kind, std::intptr_t info) {
  switch (kind) {
    case EventFieldChanged: {
      TField* field = reinterpret_cast<TField*>(info);
      if (field->FieldKind() == fkData || field->FieldKind() == fkInternalCalc) {
        record_modified_ = true;
      }
      if (state_ != StateSetKey) {
        if (field->FieldKind() == fkData && auto_calc_fields_) CalculateFields(ActiveBuffer());
        field->NotifyChange();
      }
      break;
    }
    case EventLayoutChanged:
    case EventFieldListChanged:
      has_calculated_fields_ = -1;
      field_list_stale_ = true;
      break;
    case EventPropertyChanged:
      field_defs_.SetStale(true);
      break;
    default:
      break;
  }
  if (suspend_count_ != 0 || state_ == StateBlockRead) {
    if (kind == EventLayoutChanged || (kind == EventStateChanged && state_ == StateInactive)) {
      pending_resume_event_ = EventLayoutChanged;
    }
    return;
  }
  // A handler may attach or detach sources meanwhile: send to those attached now.
  for (TDataSource* source : std::vector<TDataSource*>(data_sources_)) {
    source->HandleDataEvent(kind, info);
  }
}

void TDataSet::ChangeState(snyltdyr::DataState new_state) {
  if (new_state == state_) return;
  state_ = new_state;
  record_modified_ = false;
  NotifyDataEvent(EventStateChanged);
}

snyltdyr::DataState TDataSet::EnterTempState(snyltdyr::DataState temp) {
  const snyltdyr::DataState saved = state_;
  state_ = temp;
  if (temp == StateFilter) ++suspend_count_;
  return saved;
}

void TDataSet::LeaveTempState(snyltdyr::DataState saved) {
  if (state_ == StateFilter) --suspend_count_;
  state_ = saved;
}

void TDataSet::SuspendControls() {
  if (suspend_count_ == 0) {
    suspended_state_ = state_;
    pending_resume_event_ = EventDataSetChanged;
  }
  ++suspend_count_;
}

void TDataSet::ResumeControls() {
  if (suspend_count_ == 0) return;
  if (--suspend_count_ != 0) return;
  if (state_ != suspended_state_) NotifyDataEvent(EventStateChanged);
  if (suspended_state_ != StateInactive && state_ != StateInactive) {
    NotifyDataEvent(pending_resume_event_);
  }
}

// ---- Fields ---------------------------------------------------------------------------

TField* TDataSet::FindField(const std::string& name) const { return fields_->FindField(name); }

TField& TDataSet::FieldByName(const std::string& name) const {
  TField* field = fields_->FindField(name);
  if (field == nullptr) DatabaseError(msg::FieldNotFound(name));
  return *field;
}

TField* TDataSet::FieldByNumber(int field_no) const { return fields_->FieldByNumber(field_no); }

void TDataSet::RequiredFieldCheck() { fields_->CheckRequired(); }

void TDataSet::FreeFieldBuffers() {
  for (int32_t i = 0; i < fields_->Count(); ++i) (*fields_)[i]->FreeBuffers();
}

bool TDataSet::HasCalculatedFields() const {
  if (Active() && has_calculated_fields_ >= 0) return has_calculated_fields_ == 1;
  bool any = false;
  for (int32_t i = 0; i < fields_->Count() && !any; ++i) {
    const TFieldKind kind = (*fields_)[i]->FieldKind();
    any = kind == fkCalculated || kind == fkLookup;
  }
  has_calculated_fields_ = Active() ? (any ? 1 : 0) : -1;
  return any;
}

void TDataSet::CalculateFields(TRecordBuffer buffer) {
  if (buffer == nullptr || !HasCalculatedFields()) return;
  const snyltdyr::DataState saved = EnterTempState(StateCalcFields);
  TryFinally(
      [&] {
        BlankCalcArea(buffer);
        Call(OnCalcFields, *this);
      },
      [&] { LeaveTempState(saved); });
}

// ---- Base behaviour of the overridable operations -------------------------------------

int32_t TDataSet::RecordTotal() { return -1; }
int32_t TDataSet::RecordNumber() const { return -1; }
void TDataSet::SetRecordNumber(int32_t) {}
bool TDataSet::IsNumbered() const { return true; }
bool TDataSet::Modifiable() const { return true; }

void TDataSet::SetFilter(const std::string& text) { filter_ = text; }
void TDataSet::SetFiltered(bool filtered) { filtered_ = filtered; }
void TDataSet::SetFilterOptions(TFilterOptions options) { filter_options_ = options; }
void TDataSet::SetOnFilterRecord(TFilterRecordEvent handler) {
  on_filter_record_ = std::move(handler);
}

bool TDataSet::ReadFieldData(TField&, void*) { return false; }
void TDataSet::WriteFieldData(TField&, const void*) {}
std::unique_ptr<TBlobStream> TDataSet::OpenBlobStream(TField&, TBlobStreamMode) {
  return nullptr;
}
void TDataSet::TranslateText(std::string&, bool) {}

void TDataSet::BlankCalcArea(TRecordBuffer) {}

void TDataSet::PrepareNewRecord(TRecordBuffer buffer) {
  ClearRecordBuffer(buffer);
  BlankCalcArea(buffer);
  WriteBookmarkFlag(buffer, BookmarkInserted);
}

void TDataSet::AbandonRecordEdit() {}
void TDataSet::BeginRecordEdit() {}
void TDataSet::BeginRecordInsert() {}
void TDataSet::RereadStorage() {}
TRecordBuffer TDataSet::AllocateRecordBuffer() { return nullptr; }
void TDataSet::ReleaseRecordBuffer(TRecordBuffer) {}
void TDataSet::ReadBookmarkData(TRecordBuffer, TBookmark&) {}
TBookmarkFlag TDataSet::ReadBookmarkFlag(TRecordBuffer) { return BookmarkCurrent; }
int32_t TDataSet::RecordSize() const { return 0; }
void TDataSet::DeleteAtCursor() {}
void TDataSet::CursorToStart() {}
void TDataSet::CursorToBookmark(const TBookmark&) {}
void TDataSet::ClearRecordBuffer(TRecordBuffer) {}
void TDataSet::CursorToEnd() {}
void TDataSet::WriteRecord() { RequiredFieldCheck(); }
void TDataSet::CursorToBuffer(TRecordBuffer) {}
void TDataSet::WriteBookmarkFlag(TRecordBuffer, TBookmarkFlag) {}
void TDataSet::WriteBookmarkData(TRecordBuffer, const TBookmark&) {}

}  // namespace snyltdyr
