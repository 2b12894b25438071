#include "dataset/fields/field.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <vector>

#include "dataset/data_set.h"
#include "dataset/fields/fields.h"
#include "runtime/exception.h"

namespace snyltdyr {

namespace {

constexpr std::array<const char*, kFieldTypeCount> kTypeNames = {
    "Unknown",  "String",     "SmallInt", "Integer",  "Word",      "Boolean",    "Float",
    "Currency", "BCD",        "Date",     "Time",     "DateTime",  "Bytes",      "VarBytes",
    "AutoInc",  "Blob",       "Memo",     "Graphic",  "FmtMemo",   "ParadoxOle", "DBaseOle",
    "TypedBinary", "Cursor",  "FixedChar", "WideString", "Largeint", "ADT",      "Array",
    "Reference", "DataSet",   "OraBlob",  "OraClob",  "Variant",   "Interface",  "IDispatch",
    "Guid",     "TimeStamp",  "FMTBcd",
};

}  // namespace

std::string FieldTypeName(TFieldType type) {
  const auto index = static_cast<size_t>(type);
  return index < kTypeNames.size() ? kTypeNames[index] : kTypeNames[0];
}

TField::TField(std::string name) : TComponent(std::move(name)) {}

TField::~TField() {
  if (data_set_ != nullptr) {
    try {
      if (data_set_->Active()) data_set_->Close();
    } catch (...) {
      // A destructor cannot report; the field leaves the list all the same.
    }
    data_set_->Fields().Remove(this);
  }
  // An observer may remove itself (or others) while it is told.
  const std::vector<TFieldObserver*> observers = observers_;
  for (TFieldObserver* observer : observers) {
    if (std::find(observers_.begin(), observers_.end(), observer) != observers_.end()) {
      observer->FieldDestroyed(*this);
    }
  }
}

int32_t TField::Index() const { return data_set_ != nullptr ? data_set_->Fields().IndexOf(this) : -1; }

void TField::SetIndex(int32_t index) {
  if (data_set_ != nullptr) data_set_->Fields().Move(this, index);
}

void TField::AddObserver(TFieldObserver* observer) {
  if (std::find(observers_.begin(), observers_.end(), observer) == observers_.end()) {
    observers_.push_back(observer);
  }
}

void TField::RemoveObserver(TFieldObserver* observer) { std::erase(observers_, observer); }

void TField::SetDataSet(TDataSet* data_set) {
  if (data_set == data_set_) return;
  // Fields are bound when the dataset opens: one joining or leaving an open dataset
  // would read and write through a binding that does not know it.
  CheckInactive();
  if (data_set != nullptr && data_set->Active()) {
    data_set->DatabaseError("Cannot perform this operation on an open dataset");
  }
  if (data_set_ != nullptr) data_set_->Fields().Remove(this);
  if (data_set != nullptr) data_set->Fields().Add(this);
}

// --- properties ---------------------------------------------------------------------

void TField::CheckInactive() const {
  if (data_set_ != nullptr && data_set_->Active()) {
    data_set_->DatabaseError("Cannot perform this operation on an open dataset");
  }
}

void TField::SetFieldName(const std::string& name) {
  if (name == field_name_) return;
  CheckInactive();
  if (data_set_ != nullptr) {
    const TField* other = data_set_->Fields().FindField(name);
    if (other != nullptr && other != this) {
      data_set_->DatabaseError("Duplicate field name '" + name + "'");
    }
  }
  field_name_ = name;
}

std::string TField::DisplayLabel() const {
  return display_label_.empty() ? field_name_ : display_label_;
}

void TField::SetDisplayLabel(const std::string& label) {
  const std::string stored = label == field_name_ ? std::string() : label;
  if (stored == display_label_) return;
  display_label_ = stored;
  PropertyChanged(true);
}

std::string TField::MessageName() const {
  return display_label_.empty() ? field_name_ : display_label_;
}

int32_t TField::DisplayWidth() const {
  return display_width_ < 1 ? DefaultWidth() : display_width_;
}

void TField::SetDisplayWidth(int32_t width) {
  if (width == display_width_) return;
  display_width_ = width;
  PropertyChanged(true);
}

void TField::SetVisible(bool visible) {
  if (visible == visible_) return;
  visible_ = visible;
  PropertyChanged(true);
}

void TField::SetReadOnly(bool read_only) {
  if (read_only == read_only_) return;
  read_only_ = read_only;
  PropertyChanged(true);
}

void TField::SetAlignment(TAlignment alignment) {
  if (alignment == alignment_) return;
  alignment_ = alignment;
  PropertyChanged(false);
}

void TField::SetSize(int32_t size) {
  CheckInactive();
  CheckSize(size);
  size_ = size;
}

void TField::CheckSize(int32_t size) const {
  if (size != 0) throw EDatabaseError("Invalid field size");
}

void TField::SetFieldKind(TFieldKind kind) {
  if (kind == field_kind_) return;
  CheckInactive();
  field_kind_ = kind;
}

void TField::SetEditMask(const std::string& mask) {
  if (mask == edit_mask_) return;
  edit_mask_ = mask;
  PropertyChanged(false);
}

void TField::PropertyChanged(bool layout) {
  if (data_set_ != nullptr && data_set_->Active()) {
    data_set_->NotifyDataEvent(layout ? EventLayoutChanged : EventDataSetChanged);
  }
}

// --- value access -------------------------------------------------------------------

void TField::AccessError(const std::string& type_name) const {
  throw EDatabaseError("Cannot access field '" + MessageName() + "' as type " + type_name);
}

void TField::CheckDataSet() const {
  if (data_set_ == nullptr) throw EDatabaseError("Field '" + MessageName() + "' has no dataset");
}

std::string TField::GetAsString() const { AccessError("String"); }
int32_t TField::GetAsInteger() const { AccessError("Integer"); }
double TField::GetAsFloat() const { AccessError("Float"); }
TDateTime TField::GetAsDateTime() const { AccessError("DateTime"); }
void TField::SetAsStringValue(const std::string&) { AccessError("String"); }
void TField::SetAsIntegerValue(int32_t) { AccessError("Integer"); }
void TField::SetAsFloatValue(double) { AccessError("Float"); }
void TField::SetAsDateTimeValue(TDateTime) { AccessError("DateTime"); }

std::string TField::GetText(bool) const { return GetAsString(); }
void TField::SetTextValue(const std::string& text) { SetAsStringValue(text); }

std::string TField::Text() const {
  std::string text;
  if (OnGetText) {
    OnGetText(const_cast<TField&>(*this), text, false);
  } else {
    text = GetText(false);
  }
  return text;
}

void TField::SetText(const std::string& text) {
  if (OnSetText) {
    OnSetText(*this, text);
  } else {
    SetTextValue(text);
  }
}

std::string TField::DisplayText() const {
  std::string text;
  if (OnGetText) {
    OnGetText(const_cast<TField&>(*this), text, true);
  } else {
    text = GetText(true);
  }
  return text;
}

bool TField::IsNull() const { return !ReadValue(nullptr, true); }

std::string TField::ClassDescription() const {
  std::string text = "(" + FieldTypeName(DataType()) + ")";
  if (!IsNull()) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return text;
}

void TField::StorageToValue(const void* storage, void* value) const {
  std::memcpy(value, storage, static_cast<size_t>(ValueSize()));
}

void TField::ValueToStorage(const void* value, void* storage) const {
  std::memcpy(storage, value, static_cast<size_t>(ValueSize()));
}

bool TField::ReadValue(void* buffer, bool native) const {
  if (validating_) {  // OnValidate reads the value about to be written
    if (validating_value_ == nullptr) return false;
    if (buffer != nullptr) {
      if (native) {
        std::memcpy(buffer, validating_value_, static_cast<size_t>(ValueSize()));
      } else {
        StorageToValue(validating_value_, buffer);
      }
    }
    return true;
  }
  CheckDataSet();
  TField& self = const_cast<TField&>(*this);
  if (native || buffer == nullptr) return data_set_->ReadFieldData(self, buffer);
  std::vector<char> storage(static_cast<size_t>(ValueSize()) + 1, 0);
  const bool has_value = data_set_->ReadFieldData(self, storage.data());
  if (has_value) StorageToValue(storage.data(), buffer);
  return has_value;
}

void TField::WriteValue(const void* buffer, bool native) {
  CheckDataSet();
  if (native || buffer == nullptr) {
    data_set_->WriteFieldData(*this, buffer);
    return;
  }
  std::vector<char> storage(static_cast<size_t>(ValueSize()) + 1, 0);
  ValueToStorage(buffer, storage.data());
  data_set_->WriteFieldData(*this, storage.data());
}

void TField::ClearValue() { WriteValue(nullptr); }

void TField::Validate(const void* buffer) {
  if (!OnValidate) return;
  // Nested writes from inside OnValidate validate their own value, then this one again.
  const void* saved_value = validating_value_;
  const bool saved_flag = validating_;
  validating_value_ = buffer;
  validating_ = true;
  try {
    OnValidate(*this);
  } catch (...) {
    validating_value_ = saved_value;
    validating_ = saved_flag;
    throw;
  }
  validating_value_ = saved_value;
  validating_ = saved_flag;
}

void TField::NotifyChange() {
  if (OnChange) OnChange(*this);
}

bool TField::Modifiable() const {
  if (field_number_ <= 0 || data_set_ == nullptr) return false;
  return !read_only_ && data_set_->Modifiable();
}

void TField::RequestFocus() {
  if (data_set_ == nullptr || !data_set_->Active()) return;
  TField* field = this;  // the link showing the field clears it when it takes the focus
  data_set_->NotifyDataEvent(EventFocusField, reinterpret_cast<std::intptr_t>(&field));
}

}  // namespace snyltdyr
