#include "dataset/links/data_link.h"

#include <algorithm>

#include "dataset/data_set_messages.h"
#include "dataset/links/data_source.h"

namespace snyltdyr {

TDataLink::~TDataLink() {
  active_ = false;
  in_edit_mode_ = false;
  source_fixed_ = false;
  SetDataSource(nullptr);
}

void TDataLink::SetDataSource(TDataSource* source) {
  if (source == data_source_) return;
  if (source_fixed_) {
    throw EDatabaseError(data_source_ != nullptr ? data_source_->Name() : std::string(),
                         msg::kDataSourceChange);
  }
  if (data_source_ != nullptr) data_source_->DetachLink(this);
  if (source != nullptr) source->AttachLink(this);
}

TDataSet* TDataLink::DataSet() const {
  return data_source_ != nullptr ? data_source_->DataSet() : nullptr;
}

void TDataLink::SetReadOnly(bool read_only) {
  if (read_only == read_only_) return;
  read_only_ = read_only;
  SyncWithSource();
}

void TDataLink::SetLinkBufferCount(int32_t count) {
  if (count == buffer_count_) return;
  buffer_count_ = count;
  if (!active_) return;
  ClampWindow();
  DataSet()->RecomputeWindowSize();
  ClampWindow();
}

// Without a dataset a link shows nothing: no rows, at both ends, and nothing moves.

int32_t TDataLink::LinkActiveRecord() const {
  if (DataSet() == nullptr || data_source_->DataState() == StateSetKey) return 0;
  return DataSet()->ActiveIndex() - window_start_;
}

// Only a row holding a buffered record can become current; a row below the last record
// (a click on an empty grid row) changes nothing.
void TDataLink::SetLinkActiveRecord(int32_t row) {
  TDataSet* data_set = DataSet();
  if (data_set == nullptr || data_source_->DataState() == StateSetKey) return;
  const int32_t index = row + window_start_;
  if (index >= 0 && index < data_set->BufferedCount()) data_set->SetActiveIndex(index);
}

int32_t TDataLink::LinkRecordCount() const {
  if (DataSet() == nullptr) return 0;
  if (data_source_->DataState() == StateSetKey) return 1;
  return std::min(DataSet()->BufferedCount(), LinkBufferCount());
}

bool TDataLink::AtStart() const { return DataSet() == nullptr || DataSet()->AtStart(); }

bool TDataLink::AtEnd() const { return DataSet() == nullptr || DataSet()->AtEnd(); }

int32_t TDataLink::MoveRelative(int32_t distance) {
  return DataSet() != nullptr ? DataSet()->MoveRelative(distance) : 0;
}

bool TDataLink::Edit() {
  if (!read_only_ && data_source_ != nullptr) data_source_->Edit();
  return in_edit_mode_;
}

void TDataLink::GatherControlEdits() {
  updating_ = true;
  try {
    WriteBack();
  } catch (...) {
    updating_ = false;
    throw;
  }
  updating_ = false;
}

void TDataLink::HandleDataEvent(DataEventKind kind, std::intptr_t info) {
  if (kind == EventStateChanged) {
    SyncWithSource();
    return;
  }
  if (!active_) return;
  switch (kind) {
    case EventFieldChanged:
    case EventRecordChanged:
      if (!updating_) RecordUpdated(reinterpret_cast<TField*>(info));
      break;
    case EventDataSetChanged:
    case EventScrolled:
    case EventLayoutChanged: {
      // Move the link's rows so that they hold the current record again.
      int32_t count = 0;
      if (data_source_->DataState() != StateSetKey) {
        const int32_t first =
            window_start_ + (kind == EventScrolled ? static_cast<int32_t>(info) : 0);
        const int32_t last = first + LinkBufferCount() - 1;
        const int32_t active = DataSet()->ActiveIndex();
        if (active > last) {
          count = active - last;
        } else if (active < first) {
          count = active - first;
        }
        window_start_ = first + count;
      }
      if (kind == EventDataSetChanged) {
        WholeSetChanged();
      } else if (kind == EventScrolled) {
        Scrolled(count);
      } else {
        LayoutReset();
      }
      break;
    }
    case EventGatherEdits:
      GatherControlEdits();
      break;
    case EventCheckBrowse:
      BrowseCheck();
      break;
    case EventFocusField:
      FocusFieldRequest(reinterpret_cast<TField**>(info));
      break;
    default:
      break;
  }
}

void TDataLink::SyncWithSource() {
  const bool attached = data_source_ != nullptr;
  const snyltdyr::DataState state = attached ? data_source_->DataState() : StateInactive;
  SetActive(attached && state != StateInactive);
  SetInEditMode(attached && !read_only_ &&
                (state == StateEdit || state == StateInsert || state == StateSetKey));
}

void TDataLink::SetActive(bool active) {
  if (active == active_) return;
  active_ = active;
  if (active) {
    ClampWindow();
  } else {
    window_start_ = 0;
  }
  ActivityChanged();
}

void TDataLink::SetInEditMode(bool in_edit_mode) {
  if (in_edit_mode == in_edit_mode_) return;
  in_edit_mode_ = in_edit_mode;
  EditModeChanged();
}

void TDataLink::ClampWindow() {
  TDataSet* data_set = DataSet();
  if (data_set == nullptr) return;
  const int32_t active = data_set->ActiveIndex();
  const int32_t count = LinkBufferCount();
  const int32_t low = std::max(active - count + 1, 0);
  const int32_t high = std::min(std::max(data_set->BufferedCount() - count, 0), active);
  window_start_ = std::min(std::max(window_start_, low), high);
  if (window_start_ != 0 && active - window_start_ < count - 1) --window_start_;
}

}  // namespace snyltdyr
