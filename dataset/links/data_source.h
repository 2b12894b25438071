// TDataSource: the hub between one dataset and the data links of its controls.
//
// The dataset sends every data event it does not hold back to its sources in
// attachment order; a source passes it to its links (non-visual links first, then
// visual ones, each group from the last attached to the first) and then calls its own
// handlers. Its DataState is its own copy of the dataset's state, taken only on state
// events (SyncState): StateInactive while disabled or without a dataset, in which case
// it forwards nothing. The source keeps non-owning pointers to its links.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "dataset/component.h"
#include "dataset/data_set.h"

namespace snyltdyr {

class TDataLink;
class TField;

class TDataSource : public TComponent {
 public:
  using TNotifyEvent = std::function<void(TDataSource&)>;
  using TDataChangeEvent = std::function<void(TDataSource&, TField*)>;

  explicit TDataSource(std::string name = {});
  ~TDataSource() override;

  TDataSet* DataSet() const { return data_set_; }
  // Detaches from the old dataset and attaches to the new one (none detaches).
  void SetDataSet(TDataSet* data_set);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  bool AutoEdit() const { return auto_edit_; }
  void SetAutoEdit(bool auto_edit) { auto_edit_ = auto_edit; }
  snyltdyr::DataState DataState() const { return state_; }

  // The dataset's Edit, when AutoEdit is on and the source is browsing.
  void Edit();

  void AttachLink(TDataLink* link);
  void DetachLink(TDataLink* link);
  const std::vector<TDataLink*>& Links() const { return links_; }

  TNotifyEvent OnStateChange;
  TDataChangeEvent OnDataChange;
  TNotifyEvent OnUpdateData;

 private:
  friend class TDataSet;

  // Called by the dataset for every event it sends on.
  void HandleDataEvent(DataEventKind kind, std::intptr_t info);
  void SyncState();
  void NotifyLinks(DataEventKind kind, std::intptr_t info);
  // The dataset is going away: forget it without calling back into it.
  void DataSetDestroyed();

  TDataSet* data_set_ = nullptr;
  bool enabled_ = true;
  bool auto_edit_ = true;
  snyltdyr::DataState state_ = StateInactive;
  std::vector<TDataLink*> links_;
};

}  // namespace snyltdyr
