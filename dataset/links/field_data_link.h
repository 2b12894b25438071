// TFieldDataLink: the data link of a single-field control (the memo, an edit box).
//
// The link binds by name to one field of its dataset whenever it becomes active or the
// layout changes (FieldName compared with regard to case, looked up without). It tells
// its control when to reload the field's text (OnFieldDataChange), when editing starts
// or stops (OnFieldEditingChange), when to write its pending text into the field
// (OnFieldUpdateData, only after the control reported a change with
// SetControlModified), and takes the focus for its owner control when the field asks.
// Changes of other fields of the record are ignored.
#pragma once

#include <functional>
#include <string>

#include "dataset/component.h"
#include "dataset/links/data_link.h"

namespace snyltdyr {

class TField;

class TFieldDataLink : public TDataLink {
 public:
  using TLinkEvent = std::function<void(TFieldDataLink&)>;

  TFieldDataLink();

  const std::string& FieldName() const { return field_name_; }
  // A different name (compared with regard to case) rebinds the link.
  void SetFieldName(const std::string& name);
  TField* Field() const { return field_; }

  // The control owning the link: its name prefixes a failed lookup, and it takes the
  // focus when it is a TFocusableControl.
  TComponent* OwnerControl() const { return owner_; }
  void SetOwnerControl(TComponent* owner) { owner_ = owner; }

  // True while the source edits and the bound field can be modified.
  bool Editing() const { return editing_; }
  // Not read-only, a field bound, and that field modifiable.
  bool CanModify() const;
  // Asks for edit state when the field can be modified; returns Editing().
  bool Edit() override;
  bool ControlModified() const { return control_modified_; }
  // The control calls this when its user changed the text.
  void SetControlModified() { control_modified_ = true; }
  // Reloads the control from the field, dropping its pending change.
  void Revert() { RecordUpdated(nullptr); }

  TLinkEvent OnFieldDataChange;
  TLinkEvent OnFieldEditingChange;
  TLinkEvent OnFieldUpdateData;
  TLinkEvent OnFieldActiveChange;

 protected:
  void ActivityChanged() override;
  void EditModeChanged() override;
  void FocusFieldRequest(TField** field_ref) override;
  void LayoutReset() override;
  void RecordUpdated(TField* field) override;
  void WriteBack() override;

 private:
  void UpdateField();
  void SetField(TField* field);
  void SetEditing(bool editing);

  std::string field_name_;
  TField* field_ = nullptr;
  TComponent* owner_ = nullptr;
  bool editing_ = false;
  bool control_modified_ = false;
};

}  // namespace snyltdyr
