#include "controls/grid/grid_data_link.h"

#include "controls/grid/custom_db_grid.h"
#include "dataset/data_set.h"
#include "dataset/fields/field.h"
#include "dataset/fields/fields.h"

namespace snyltdyr {

TGridDataLink::TGridDataLink(TCustomDBGrid* grid) : grid_(grid) { SetVisualLink(true); }

TGridDataLink::~TGridDataLink() { ClearMapping(); }

bool TGridDataLink::AddMapping(const std::string& name) {
  if (FieldCount() >= kMaxMapSize) throw EInvalidGridOperation(grid_msg::kTooManyColumns);
  TDataSet* data_set = DataSet();
  TField* field = nullptr;
  if (data_set != nullptr) {
    field = sparse_ ? data_set->FindField(name) : &data_set->FieldByName(name);
  }
  map_.push_back(field != nullptr ? data_set->Fields().IndexOf(field) : -1);
  if (field != nullptr) grid_->WatchField(field);
  return field != nullptr;
}

void TGridDataLink::ClearMapping() { map_.clear(); }

int32_t TGridDataLink::MappedIndex(int32_t i) const {
  if (i < 0 || i >= FieldCount()) return -1;
  return map_[static_cast<size_t>(i)];
}

TField* TGridDataLink::Fields(int32_t i) const {
  const int32_t index = MappedIndex(i);
  TDataSet* data_set = DataSet();
  if (index < 0 || data_set == nullptr || index >= data_set->Fields().Count()) return nullptr;
  return data_set->Fields()[index];
}

void TGridDataLink::ActivityChanged() {
  grid_->LinkActive(Active());
  modified_ = false;
}

void TGridDataLink::WholeSetChanged() {
  grid_->DataChanged();
  modified_ = false;
}

void TGridDataLink::Scrolled(int32_t distance) { grid_->ScrollRows(distance); }

void TGridDataLink::LayoutReset() {
  grid_->LayoutChanged();
  TDataLink::LayoutReset();
}

void TGridDataLink::RecordUpdated(TField* field) {
  grid_->RecordChanged(field);
  modified_ = false;
}

void TGridDataLink::EditModeChanged() { grid_->EditingChanged(); }

void TGridDataLink::FocusFieldRequest(TField** field_ref) { grid_->FocusField(field_ref); }

// A failed write leaves Modified set: the record stays in edit with the text pending.
void TGridDataLink::WriteBack() {
  in_update_data_ = true;
  try {
    if (modified_) grid_->UpdateData();
    modified_ = false;
  } catch (...) {
    in_update_data_ = false;
    throw;
  }
  in_update_data_ = false;
}

}  // namespace snyltdyr
