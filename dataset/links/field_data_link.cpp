#include "dataset/links/field_data_link.h"

#include "dataset/data_set_messages.h"
#include "dataset/fields/field.h"

namespace snyltdyr {

TFieldDataLink::TFieldDataLink() { SetVisualLink(true); }

void TFieldDataLink::SetFieldName(const std::string& name) {
  if (name == field_name_) return;
  field_name_ = name;
  UpdateField();
}

bool TFieldDataLink::CanModify() const {
  return !ReadOnly() && field_ != nullptr && field_->Modifiable();
}

bool TFieldDataLink::Edit() {
  if (CanModify()) TDataLink::Edit();
  return editing_;
}

// Binds to the named field of the dataset. The held field is cleared before the lookup,
// so every rebind that finds a field tells the control, and a failed lookup leaves none.
void TFieldDataLink::UpdateField() {
  if (!Active() || field_name_.empty()) {
    SetField(nullptr);
    return;
  }
  field_ = nullptr;
  TField* field = DataSet()->FindField(field_name_);
  if (field == nullptr) {
    const std::string& prefix = owner_ != nullptr ? owner_->Name() : DataSet()->Name();
    throw EDatabaseError(prefix, msg::FieldNotFound(field_name_));
  }
  SetField(field);
}

void TFieldDataLink::SetField(TField* field) {
  if (field == field_) return;
  field_ = field;
  EditModeChanged();
  RecordUpdated(nullptr);
}

void TFieldDataLink::SetEditing(bool editing) {
  if (editing == editing_) return;
  editing_ = editing;
  control_modified_ = false;
  if (OnFieldEditingChange) OnFieldEditingChange(*this);
}

void TFieldDataLink::ActivityChanged() {
  UpdateField();
  if (OnFieldActiveChange) OnFieldActiveChange(*this);
}

void TFieldDataLink::EditModeChanged() { SetEditing(InEditMode() && CanModify()); }

void TFieldDataLink::LayoutReset() { UpdateField(); }

void TFieldDataLink::RecordUpdated(TField* field) {
  if (field != nullptr && field != field_) return;
  if (OnFieldDataChange) OnFieldDataChange(*this);
  control_modified_ = false;
}

void TFieldDataLink::WriteBack() {
  if (!control_modified_) return;
  if (field_ != nullptr && OnFieldUpdateData) OnFieldUpdateData(*this);
  control_modified_ = false;
}

void TFieldDataLink::FocusFieldRequest(TField** field_ref) {
  if (field_ref == nullptr || *field_ref == nullptr || *field_ref != field_) return;
  auto* control = dynamic_cast<TFocusableControl*>(owner_);
  if (control == nullptr || !control->CanFocus()) return;
  *field_ref = nullptr;
  control->SetFocus();
}

}  // namespace snyltdyr
