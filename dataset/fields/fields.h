// TFields: a dataset's list of field objects, in the order they were added.
//
// The list does not own its fields (the form does); a field removes itself when it is
// destroyed or moves to another dataset. Invariants: every field has a non-empty
// FieldName, and no two fields have names equal without regard to case (code page 1252
// rules). Adding or removing a field sends the dataset's EventFieldListChanged.
//
// Binding at open matches each data field to a field definition by name, sets its
// FieldNumber and checks that the two types fall into the same class; unbinding at close
// sets every FieldNumber back to 0.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dataset/fields/field_type.h"

namespace snyltdyr {

class TDataSet;
class TField;
class TFieldDefs;

class TFields {
 public:
  explicit TFields(TDataSet* data_set) : data_set_(data_set) {}
  ~TFields();
  TFields(const TFields&) = delete;
  TFields& operator=(const TFields&) = delete;

  TDataSet* DataSet() const { return data_set_; }
  int32_t Count() const { return static_cast<int32_t>(list_.size()); }
  TField* operator[](int32_t index) const { return list_.at(static_cast<size_t>(index)); }
  TField* Fields(int32_t index) const { return (*this)[index]; }
  int32_t IndexOf(const TField* field) const;

  // Refuses "Field name missing" and "Duplicate field name '%s'" (dataset prefix).
  // Usually reached through TField::SetDataSet.
  void Add(TField* field);
  void Remove(TField* field);
  // Moves a field to `index` (kept within the list); on an open dataset the controls
  // hear a layout change, then the field list changes.
  void Move(TField* field, int32_t index);
  // Empties the list, detaching every field from the dataset.
  void Clear();

  // First field whose FieldName equals `name` without regard to case; null if none.
  TField* FindField(const std::string& name) const;
  // The same, raising "Field '%s' not found" with the dataset's name prefix.
  TField* FieldByName(const std::string& name) const;
  // First field with the given FieldNumber; null if none.
  TField* FieldByNumber(int32_t field_number) const;

  // The first step of writing a record: the first field in list order that is Required,
  // not ReadOnly, a data field and blank gets the focus, then "Field '%s' must have a
  // value" is raised (no prefix).
  void CheckRequired() const;

  // Binds every data field to its definition (see the header comment). Raises
  // "Field '%s' not found" and "Type mismatch for field '%s', expecting: %s actual: %s"
  // (dataset prefix); a blob field takes the definition's size.
  void Bind(const TFieldDefs& defs);
  void Unbind();

 private:
  TDataSet* data_set_;
  std::vector<TField*> list_;
};

// A new field object of the class that holds values of `type` (text: TStringField;
// float and currency: TFloatField; date: TDateField; date-time: TDateTimeField; memo:
// TMemoField; other large objects: TBlobField), for a binding that creates its fields
// from the definitions. None for a type no field class here can hold.
std::unique_ptr<TField> NewFieldOfType(TFieldType type);

}  // namespace snyltdyr
