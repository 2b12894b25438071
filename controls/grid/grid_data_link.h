// TGridDataLink: the data grid's link to its data source.
//
// It passes every notification of the dataset to the grid (activation, whole-set and
// record changes, scrolls, layout changes, editing changes, focus requests and the
// write-back of pending edits) and holds the field map: for each data column, the index
// of its field in the dataset's field list, or -1 for a name that names no field.
//
// Invariants: the map is empty while the link is inactive; it is sparse exactly when
// it was built from customised columns. Modified is true once the grid's editor changed
// the current field since the last record notification; it is cleared by every
// activation, whole-set and record notification and by a successful write-back (a
// failed one leaves it set, so the text is written again next time).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dataset/links/data_link.h"

namespace snyltdyr {

class TCustomDBGrid;
class TField;

class TGridDataLink : public TDataLink {
 public:
  // 2 to the 28th minus 1: the most entries the map may hold.
  static constexpr int32_t kMaxMapSize = 268435455;

  explicit TGridDataLink(TCustomDBGrid* grid);
  ~TGridDataLink() override;

  TCustomDBGrid* Grid() const { return grid_; }

  // ---- Field map -----------------------------------------------------------------------
  // Adds the field named `name`; in a sparse map a missing name maps to -1, otherwise it
  // raises the dataset's "Field '%s' not found". Raises "Grid requested to display more
  // than 256 columns" when the map is full. Returns whether a field was found.
  bool AddMapping(const std::string& name);
  void ClearMapping();
  int32_t FieldCount() const { return static_cast<int32_t>(map_.size()); }
  // The field of map entry i, or none.
  TField* Fields(int32_t i) const;
  int32_t MappedIndex(int32_t i) const;
  bool SparseMap() const { return sparse_; }
  void SetSparseMap(bool sparse) { sparse_ = sparse; }

  // ---- Editing -------------------------------------------------------------------------
  bool Modified() const { return modified_; }
  void Modified(bool on) { modified_ = on; }
  bool InUpdateData() const { return in_update_data_; }
  // Runs the write-back of pending edits (the dataset's gather step does the same).
  void UpdateData() { GatherControlEdits(); }

 protected:
  void ActivityChanged() override;
  void WholeSetChanged() override;
  void Scrolled(int32_t distance) override;
  void LayoutReset() override;
  void RecordUpdated(TField* field) override;
  void EditModeChanged() override;
  void FocusFieldRequest(TField** field_ref) override;
  void WriteBack() override;

 private:
  TCustomDBGrid* grid_;
  std::vector<int32_t> map_;
  bool sparse_ = false;
  bool modified_ = false;
  bool in_update_data_ = false;
};

}  // namespace snyltdyr
