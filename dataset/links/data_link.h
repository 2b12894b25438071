// TDataLink: the observer object that a data-aware control owns.
//
// A link is attached to one data source and turns the data events of its dataset into a
// few callbacks that its control implements: redraw everything (WholeSetChanged),
// scroll by n rows (Scrolled), reload one field (RecordUpdated), write your text back
// (WriteBack), take the focus (FocusFieldRequest), the state changed (ActivityChanged,
// EditModeChanged). In the other direction a link asks the dataset to edit or to move.
//
// Invariants while Active: the link shows the dataset's window rows WindowStart ..
// WindowStart + LinkBufferCount - 1, and the current record (the dataset's ActiveIndex)
// lies inside them; WindowStart is 0 while inactive. `Active` and `InEditMode` follow
// the source's DataState only (SyncWithSource), so while the dataset suspends its
// notifications they keep what they last saw.
#pragma once

#include <cstdint>

#include "dataset/data_set.h"

namespace snyltdyr {

class TDataSource;
class TField;

class TDataLink {
 public:
  TDataLink() = default;
  TDataLink(const TDataLink&) = delete;
  TDataLink& operator=(const TDataLink&) = delete;
  virtual ~TDataLink();

  TDataSource* DataSource() const { return data_source_; }
  // Moves the link to another source (none detaches). A fixed source raises "DataSource
  // cannot be changed" with the current source's name.
  void SetDataSource(TDataSource* source);
  // The source's dataset, or none.
  TDataSet* DataSet() const;

  bool ReadOnly() const { return read_only_; }
  void SetReadOnly(bool read_only);
  bool Active() const { return active_; }
  bool InEditMode() const { return in_edit_mode_; }
  bool IsVisualLink() const { return visual_; }
  bool DataSourceFixed() const { return source_fixed_; }
  void SetDataSourceFixed(bool fixed) { source_fixed_ = fixed; }
  // True while the link writes its control's text back into the fields.
  bool Updating() const { return updating_; }
  int32_t WindowStart() const { return window_start_; }

  // Rows the control wants to see at once (default 1). Changing it on an active link
  // makes the dataset's window as tall as the largest count of all links.
  virtual int32_t LinkBufferCount() const { return buffer_count_; }
  virtual void SetLinkBufferCount(int32_t count);
  // Row of the current record among the link's rows; writing it moves the current
  // record inside the dataset's window.
  virtual int32_t LinkActiveRecord() const;
  virtual void SetLinkActiveRecord(int32_t row);
  // Rows the link can show: the smaller of the dataset's BufferedCount and
  // LinkBufferCount.
  virtual int32_t LinkRecordCount() const;
  virtual bool AtStart() const;
  virtual bool AtEnd() const;
  virtual int32_t MoveRelative(int32_t distance);

  // Asks the dataset, through the source, to enter edit state; returns InEditMode.
  virtual bool Edit();
  // Runs WriteBack with the updating flag set (cleared again also when it raises).
  void GatherControlEdits();

 protected:
  void SetVisualLink(bool visual) { visual_ = visual; }

  // Callbacks for the control (base behaviour in the comments).
  virtual void ActivityChanged() {}
  virtual void BrowseCheck() {}
  virtual void HandleDataEvent(DataEventKind kind, std::intptr_t info);
  virtual void WholeSetChanged() { RecordUpdated(nullptr); }
  virtual void Scrolled(int32_t /*distance*/) { WholeSetChanged(); }
  virtual void EditModeChanged() {}
  // `field_ref` points to the field to be focused; the link that takes the focus
  // clears it so that no other link acts on it.
  virtual void FocusFieldRequest(TField** /*field_ref*/) {}
  virtual void LayoutReset() { WholeSetChanged(); }
  virtual void RecordUpdated(TField* /*field*/) {}
  virtual void WriteBack() {}

 private:
  friend class TDataSet;
  friend class TDataSource;

  // Active / InEditMode from the source's state, with their callbacks.
  void SyncWithSource();
  void SetActive(bool active);
  void SetInEditMode(bool in_edit_mode);
  // Keeps the current record inside the link's rows.
  void ClampWindow();

  TDataSource* data_source_ = nullptr;
  int32_t buffer_count_ = 1;
  int32_t window_start_ = 0;
  bool read_only_ = false;
  bool active_ = false;
  bool in_edit_mode_ = false;
  bool visual_ = false;
  bool updating_ = false;
  bool source_fixed_ = false;
};

}  // namespace snyltdyr
