// Records what a dataset and its links send, as a list of short strings, so that tests
// can compare whole sequences: "BeforePost", "ev:StateChanged", "link:Scrolled(1)".
#pragma once

#include <string>
#include <vector>

#include "dataset/links/data_link.h"
#include "dataset/data_set.h"
#include "dataset/fields/field.h"

namespace snyltdyr::testing {

inline const char* EventName(DataEventKind kind) {
  static const char* const kNames[] = {
      "FieldChanged", "RecordChanged", "DataSetChanged",   "Scrolled",
      "LayoutChanged", "GatherEdits",  "StateChanged",     "CheckBrowse",
      "PropertyChanged", "FieldListChanged", "FocusField", "ParentScrolled"};
  return kNames[kind];
}

// Sets every notify event of the dataset to append its name to `log`.
inline void RecordDataSetEvents(TDataSet& data_set, std::vector<std::string>& log) {
  auto hook = [&log](const char* name) {
    return [&log, name](TDataSet&) { log.push_back(name); };
  };
  data_set.BeforeOpen = hook("BeforeOpen");
  data_set.AfterOpen = hook("AfterOpen");
  data_set.BeforeClose = hook("BeforeClose");
  data_set.AfterClose = hook("AfterClose");
  data_set.BeforeInsert = hook("BeforeInsert");
  data_set.AfterInsert = hook("AfterInsert");
  data_set.BeforeEdit = hook("BeforeEdit");
  data_set.AfterEdit = hook("AfterEdit");
  data_set.BeforePost = hook("BeforePost");
  data_set.AfterPost = hook("AfterPost");
  data_set.BeforeCancel = hook("BeforeCancel");
  data_set.AfterCancel = hook("AfterCancel");
  data_set.BeforeDelete = hook("BeforeDelete");
  data_set.AfterDelete = hook("AfterDelete");
  data_set.BeforeScroll = hook("BeforeScroll");
  data_set.AfterScroll = hook("AfterScroll");
  data_set.BeforeRefresh = hook("BeforeRefresh");
  data_set.AfterRefresh = hook("AfterRefresh");
  data_set.OnNewRecord = hook("OnNewRecord");
}

// A link that logs the data events it receives ("ev:Name" or "ev:Scrolled(-1)") and the
// callbacks they turn into ("link:WholeSetChanged", ...).
class RecordingLink : public TDataLink {
 public:
  explicit RecordingLink(std::vector<std::string>& log, bool visual = true,
                         std::string tag = {})
      : log_(log), tag_(std::move(tag)) {
    SetVisualLink(visual);
  }
  bool log_events = true;
  bool log_callbacks = true;

 protected:
  void HandleDataEvent(DataEventKind kind, std::intptr_t info) override {
    if (log_events) {
      std::string entry = tag_ + "ev:" + EventName(kind);
      if (kind == EventScrolled) entry += "(" + std::to_string(info) + ")";
      log_.push_back(entry);
    }
    TDataLink::HandleDataEvent(kind, info);
  }
  void ActivityChanged() override { Callback("ActivityChanged"); }
  void EditModeChanged() override { Callback("EditModeChanged"); }
  void WholeSetChanged() override { Callback("WholeSetChanged"); }
  void Scrolled(int32_t distance) override {
    Callback("Scrolled(" + std::to_string(distance) + ")");
  }
  void LayoutReset() override { Callback("LayoutReset"); }
  void RecordUpdated(TField* field) override {
    Callback("RecordUpdated(" + (field ? field->FieldName() : std::string()) + ")");
  }
  void BrowseCheck() override { Callback("BrowseCheck"); }
  void WriteBack() override { Callback("WriteBack"); }

 private:
  void Callback(const std::string& name) {
    if (log_callbacks) log_.push_back(tag_ + "link:" + name);
  }
  std::vector<std::string>& log_;
  std::string tag_;
};

}  // namespace snyltdyr::testing
