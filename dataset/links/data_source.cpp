#include "dataset/links/data_source.h"

#include <algorithm>

#include "dataset/links/data_link.h"
#include "dataset/data_set_messages.h"

namespace snyltdyr {

TDataSource::TDataSource(std::string name) : TComponent(std::move(name)) {}

TDataSource::~TDataSource() {
  MarkDestroying();
  OnStateChange = nullptr;
  SetDataSet(nullptr);
  while (!links_.empty()) DetachLink(links_.back());
}

void TDataSource::SetDataSet(TDataSet* data_set) {
  if (data_set == data_set_) return;
  // A loop could only close through master-detail or nested-set links, which this
  // system does not have, so every attachment is accepted.
  if (data_set_ != nullptr) {
    TDataSet* old = data_set_;
    old->RemoveDataSource(this);
    data_set_ = nullptr;
    SyncState();
    old->RecomputeWindowSize();
  }
  if (data_set != nullptr) {
    data_set->AddDataSource(this);
    data_set_ = data_set;
    data_set->RecomputeWindowSize();
    SyncState();
  }
}

void TDataSource::SetEnabled(bool enabled) {
  enabled_ = enabled;
  SyncState();
}

void TDataSource::Edit() {
  if (auto_edit_ && state_ == StateBrowse && data_set_ != nullptr) data_set_->Edit();
}

void TDataSource::AttachLink(TDataLink* link) {
  links_.push_back(link);
  link->data_source_ = this;
  if (data_set_ != nullptr) data_set_->RecomputeWindowSize();
  link->SyncWithSource();
}

void TDataSource::DetachLink(TDataLink* link) {
  link->data_source_ = nullptr;
  std::erase(links_, link);
  link->SyncWithSource();
  if (data_set_ != nullptr) data_set_->RecomputeWindowSize();
}

void TDataSource::DataSetDestroyed() {
  data_set_ = nullptr;
  SyncState();
}

void TDataSource::HandleDataEvent(DataEventKind kind, std::intptr_t info) {
  if (kind == EventStateChanged) {
    SyncState();
    return;
  }
  if (state_ == StateInactive) return;
  NotifyLinks(kind, info);
  switch (kind) {
    case EventFieldChanged:
      if (OnDataChange) OnDataChange(*this, reinterpret_cast<TField*>(info));
      break;
    case EventRecordChanged:
    case EventDataSetChanged:
    case EventScrolled:
    case EventLayoutChanged:
      if (OnDataChange) OnDataChange(*this, nullptr);
      break;
    case EventGatherEdits:
      if (OnUpdateData) OnUpdateData(*this);
      break;
    default:
      break;
  }
}

void TDataSource::SyncState() {
  const snyltdyr::DataState new_state =
      (enabled_ && data_set_ != nullptr) ? data_set_->DataState() : StateInactive;
  if (new_state == state_) return;
  const snyltdyr::DataState previous = state_;
  state_ = new_state;
  NotifyLinks(EventStateChanged, 0);
  if (Destroying()) return;
  if (OnStateChange) OnStateChange(*this);
  if (previous == StateInactive && OnDataChange) OnDataChange(*this, nullptr);
}

// Non-visual links first, then visual ones; each group from the last attached to the
// first. A link may detach itself meanwhile, so a copy of the list is walked.
void TDataSource::NotifyLinks(DataEventKind kind, std::intptr_t info) {
  const std::vector<TDataLink*> links = links_;
  for (bool visual : {false, true}) {
    for (auto it = links.rbegin(); it != links.rend(); ++it) {
      TDataLink* link = *it;
      if (link->IsVisualLink() != visual) continue;
      if (std::find(links_.begin(), links_.end(), link) == links_.end()) continue;
      link->HandleDataEvent(kind, info);
    }
  }
}

}  // namespace snyltdyr
