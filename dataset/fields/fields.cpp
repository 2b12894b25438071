#include "dataset/fields/fields.h"

#include <algorithm>

#include "dataset/fields/blob_field.h"
#include "dataset/data_set.h"
#include "dataset/fields/date_time_field.h"
#include "dataset/fields/field.h"
#include "dataset/fields/numeric_field.h"
#include "dataset/fields/string_field.h"
#include "dataset/fields/field_defs.h"
#include "runtime/cp1252.h"
#include "runtime/exception.h"

namespace snyltdyr {

namespace {

// Types that may bind to each other share a class; every other type is alone in its own.
int TypeClass(TFieldType type) {
  switch (type) {
    case ftString: case ftFixedChar: case ftGuid:
      return 1;
    case ftSmallint: case ftInteger: case ftWord: case ftAutoInc:
      return 2;
    case ftFloat: case ftCurrency:
      return 3;
    case ftDate: case ftTime: case ftDateTime:
      return 4;
    case ftCursor: case ftWideString: case ftUnknown:
      return 6;
    default:
      return IsBlobType(type) ? 5 : 100 + static_cast<int>(type);
  }
}

bool SizeMatters(TFieldType type) {
  return type == ftBCD || type == ftBytes || type == ftVarBytes || type == ftReference;
}

}  // namespace

TFields::~TFields() { Clear(); }

int32_t TFields::IndexOf(const TField* field) const {
  const auto it = std::find(list_.begin(), list_.end(), field);
  return it == list_.end() ? -1 : static_cast<int32_t>(it - list_.begin());
}

void TFields::Add(TField* field) {
  const std::string prefix = data_set_ != nullptr ? data_set_->Name() : std::string();
  if (field->FieldName().empty()) throw EDatabaseError(prefix, "Field name missing");
  if (FindField(field->FieldName()) != nullptr) {
    throw EDatabaseError(prefix, "Duplicate field name '" + field->FieldName() + "'");
  }
  list_.push_back(field);
  field->data_set_ = data_set_;
  if (data_set_ != nullptr) data_set_->NotifyDataEvent(EventFieldListChanged);
}

void TFields::Remove(TField* field) {
  const auto it = std::find(list_.begin(), list_.end(), field);
  if (it == list_.end()) return;
  list_.erase(it);
  field->data_set_ = nullptr;
  if (data_set_ != nullptr && !data_set_->Destroying()) {
    data_set_->NotifyDataEvent(EventFieldListChanged);
  }
}

void TFields::Move(TField* field, int32_t index) {
  const int32_t current = IndexOf(field);
  if (current < 0) return;
  index = std::clamp(index, 0, Count() - 1);
  if (index == current) return;
  list_.erase(list_.begin() + current);
  list_.insert(list_.begin() + index, field);
  if (data_set_ == nullptr || data_set_->Destroying()) return;
  if (data_set_->Active()) data_set_->NotifyDataEvent(EventLayoutChanged);
  data_set_->NotifyDataEvent(EventFieldListChanged);
}

void TFields::Clear() {
  for (TField* field : list_) field->data_set_ = nullptr;
  list_.clear();
}

TField* TFields::FindField(const std::string& name) const {
  for (TField* field : list_) {
    if (SameText1252(field->FieldName(), name)) return field;
  }
  return nullptr;
}

TField* TFields::FieldByName(const std::string& name) const {
  TField* field = FindField(name);
  if (field == nullptr) {
    throw EDatabaseError(data_set_ != nullptr ? data_set_->Name() : std::string(),
                         "Field '" + name + "' not found");
  }
  return field;
}

TField* TFields::FieldByNumber(int32_t field_number) const {
  for (TField* field : list_) {
    if (field->FieldNumber() == field_number) return field;
  }
  return nullptr;
}

void TFields::CheckRequired() const {
  for (TField* field : list_) {
    if (field->Required() && !field->ReadOnly() && field->FieldKind() == fkData &&
        field->IsBlank()) {
      field->RequestFocus();
      throw EDatabaseError("Field '" + field->MessageName() + "' must have a value");
    }
  }
}

void TFields::Bind(const TFieldDefs& defs) {
  const std::string prefix = data_set_ != nullptr ? data_set_->Name() : std::string();
  try {
    for (TField* field : list_) {
      if (field->FieldKind() != fkData) continue;  // calculated values live elsewhere
      int index = -1;
      for (int i = 0; i < defs.Count(); ++i) {
        if (SameText1252(defs[i].name, field->FieldName())) {
          index = i;
          break;
        }
      }
      if (index < 0) throw EDatabaseError(prefix, "Field '" + field->FieldName() + "' not found");
      const TFieldDef& def = defs[index];
      if (TypeClass(field->DataType()) != TypeClass(def.data_type)) {
        throw EDatabaseError(prefix, "Type mismatch for field '" + field->MessageName() +
                                         "', expecting: " + FieldTypeName(field->DataType()) +
                                         " actual: " + FieldTypeName(def.data_type));
      }
      if (SizeMatters(field->DataType()) && field->Size() != def.size) {
        throw EDatabaseError(prefix, "Size mismatch for field '" + field->MessageName() +
                                         "', expecting: " + std::to_string(field->Size()) +
                                         " actual: " + std::to_string(def.size));
      }
      field->field_number_ = index + 1;
      if (field->IsBlob()) field->size_ = def.size;
    }
  } catch (...) {
    Unbind();  // a failed open leaves no field half bound
    throw;
  }
}

void TFields::Unbind() {
  for (TField* field : list_) field->field_number_ = 0;
}

std::unique_ptr<TField> NewFieldOfType(TFieldType type) {
  switch (type) {
    case ftString: case ftFixedChar: case ftGuid: {
      auto field = std::make_unique<TStringField>();
      field->SetFixedChar(type == ftFixedChar);
      return field;
    }
    case ftFloat: case ftCurrency: {
      auto field = std::make_unique<TFloatField>();
      field->SetCurrency(type == ftCurrency);
      return field;
    }
    case ftDate: return std::make_unique<TDateField>();
    case ftDateTime: return std::make_unique<TDateTimeField>();
    case ftMemo: return std::make_unique<TMemoField>();
    default: return IsBlobType(type) ? std::make_unique<TBlobField>() : nullptr;
  }
}

}  // namespace snyltdyr
