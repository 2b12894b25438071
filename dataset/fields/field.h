// TField: one column of a dataset, giving typed access to its value in the current record.
//
// A field belongs to at most one dataset's field list (TFields) and is bound by name to
// one of the dataset's field definitions when the dataset opens (FieldNumber >= 1 while
// bound, 0 otherwise). It holds no value itself: every read goes through the dataset's
// ReadFieldData and every write through WriteFieldData, both in the storage form of the
// value (text with a terminating zero byte, a double, a 32-bit day number, ...).
// ReadValue/WriteValue with `native` false convert between that storage form and the
// in-memory form (dates as TDateTime).
//
// The subclasses fix how a value reads and writes as text, integer, float and date:
// TStringField, TNumericField > TFloatField, TDateTimeField > TDateField,
// TBlobField > TMemoField. An access a class does not support raises EDatabaseError
// "Cannot access field '%s' as type %s" without a component prefix.
//
// Property setters that change what controls show tell the open dataset:
// Alignment, EditMask, DisplayFormat, EditFormat, Currency and Precision send
// EventDataSetChanged; DisplayLabel, DisplayWidth, ReadOnly and Visible send
// EventLayoutChanged. FieldName, FieldKind and Size may change only while the dataset
// is closed.
#pragma once

#include <bitset>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "dataset/component.h"
#include "dataset/fields/field_type.h"
#include "runtime/date_time.h"

namespace snyltdyr {

class TDataSet;
class TField;

enum TAlignment { taLeftJustify, taRightJustify, taCenter };

enum TFieldKind { fkData, fkCalculated, fkLookup, fkInternalCalc, fkAggregate };

// Told when a field object is destroyed, after it has left its dataset, so that a
// control showing it (a grid column) lets go of it.
class TFieldObserver {
 public:
  virtual void FieldDestroyed(TField& field) = 0;

 protected:
  ~TFieldObserver() = default;
};

// The 256 byte values an editing control may accept.
using TFieldChars = std::bitset<256>;

class TField : public TComponent {
 public:
  using TFieldNotifyEvent = std::function<void(TField&)>;
  using TFieldGetTextEvent = std::function<void(TField&, std::string& text, bool display_text)>;
  using TFieldSetTextEvent = std::function<void(TField&, const std::string& text)>;

  // `name` is the component name (SnyltdyrTableDATO), not the field name.
  explicit TField(std::string name = {});
  // Detaches from the dataset, closing it first when it is open.
  ~TField() override;

  // Attaching to a dataset adds the field to its field list (which may refuse it: a
  // missing or duplicate name); detaching removes it. Null detaches. Both datasets must
  // be closed.
  TDataSet* DataSet() const { return data_set_; }
  void SetDataSet(TDataSet* data_set);
  // Position in the dataset's field list (-1 without a dataset). Moving a field sends
  // the dataset's layout and field-list events; the index is kept within the list.
  int32_t Index() const;
  void SetIndex(int32_t index);

  // Observers told when the field is destroyed; an observer is held once.
  void AddObserver(TFieldObserver* observer);
  void RemoveObserver(TFieldObserver* observer);

  // --- properties -------------------------------------------------------------------
  const std::string& FieldName() const { return field_name_; }
  void SetFieldName(const std::string& name);
  // Read back as FieldName when empty; stored empty when set equal to FieldName.
  std::string DisplayLabel() const;
  void SetDisplayLabel(const std::string& label);
  // DisplayLabel if set, else FieldName: the name used in messages.
  std::string MessageName() const;
  // Characters of the grid column; below 1 means DefaultWidth().
  int32_t DisplayWidth() const;
  void SetDisplayWidth(int32_t width);
  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  bool ReadOnly() const { return read_only_; }
  void SetReadOnly(bool read_only);
  bool Required() const { return required_; }
  void SetRequired(bool required) { required_ = required; }
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment alignment);
  int32_t Size() const { return size_; }
  void SetSize(int32_t size);
  TFieldType DataType() const { return data_type_; }
  TFieldKind FieldKind() const { return field_kind_; }
  void SetFieldKind(TFieldKind kind);
  const std::string& EditMask() const { return edit_mask_; }
  void SetEditMask(const std::string& mask);
  // 1-based position of the bound column in the dataset's field definitions; 0 unbound.
  int32_t FieldNumber() const { return field_number_; }
  const TFieldChars& AllowedChars() const { return allowed_chars_; }
  void SetAllowedChars(const TFieldChars& chars) { allowed_chars_ = chars; }
  bool IsAllowedChar(char c) const { return allowed_chars_.test(static_cast<unsigned char>(c)); }

  // --- events (empty = unset) ---------------------------------------------------------
  TFieldNotifyEvent OnChange;
  TFieldGetTextEvent OnGetText;
  TFieldSetTextEvent OnSetText;
  TFieldNotifyEvent OnValidate;

  // --- value access -------------------------------------------------------------------
  std::string AsString() const { return GetAsString(); }
  void SetAsString(const std::string& value) { SetAsStringValue(value); }
  int32_t AsInteger() const { return GetAsInteger(); }
  void SetAsInteger(int32_t value) { SetAsIntegerValue(value); }
  double AsDouble() const { return GetAsFloat(); }
  void SetAsDouble(double value) { SetAsFloatValue(value); }
  TDateTime AsDateTime() const { return GetAsDateTime(); }
  void SetAsDateTime(TDateTime value) { SetAsDateTimeValue(value); }
  // Edit text (controls edit this) and display text (the grid shows this). Both are
  // first offered to OnGetText; writing Text goes to OnSetText when set.
  std::string Text() const;
  void SetText(const std::string& text);
  std::string DisplayText() const;
  bool IsBlank() const { return IsNull(); }

  // Whether the field holds a value in the current record; copies it into `buffer`
  // (ValueSize bytes for native, the in-memory form otherwise) when one is given.
  // While OnValidate runs, the value being validated is returned.
  bool ReadValue(void* buffer, bool native = true) const;
  // Hands the value to the dataset; no buffer means null.
  void WriteValue(const void* buffer, bool native = true);
  virtual void ClearValue();
  virtual bool Modifiable() const;
  void RequestFocus();

  // --- hooks for the dataset and the binding ------------------------------------------
  // Runs OnValidate with `buffer` (storage form, null = no value) readable through
  // ReadValue; the binding calls it before storing a written value.
  void Validate(const void* buffer);
  // The dataset's EventFieldChanged ends here: calls OnChange.
  virtual void NotifyChange();
  // After post, cancel or delete the dataset frees field buffers.
  virtual void FreeBuffers() {}
  // Binding at open / close; FieldNumber is set by the field list only.
  void Bind(int32_t field_number) { field_number_ = field_number; }
  void Unbind() { field_number_ = 0; }
  // Bytes of the value in a record buffer (storage form).
  virtual int32_t ValueSize() const { return 0; }
  virtual int32_t DefaultWidth() const { return 10; }
  virtual bool IsBlob() const { return false; }
  virtual std::string ClassDescription() const;

 protected:
  // Subclasses set their type and defaults in their constructors.
  void SetDataType(TFieldType type) { data_type_ = type; }
  void SetSizeUnchecked(int32_t size) { size_ = size; }
  // Sends a data event to the dataset when it is open.
  void PropertyChanged(bool layout);
  // "Cannot access field '%s' as type %s".
  [[noreturn]] void AccessError(const std::string& type_name) const;
  // Raised when the value is read or written without a dataset.
  void CheckDataSet() const;

  virtual std::string GetAsString() const;
  virtual int32_t GetAsInteger() const;
  virtual double GetAsFloat() const;
  virtual TDateTime GetAsDateTime() const;
  virtual void SetAsStringValue(const std::string& value);
  virtual void SetAsIntegerValue(int32_t value);
  virtual void SetAsFloatValue(double value);
  virtual void SetAsDateTimeValue(TDateTime value);
  virtual std::string GetText(bool display_text) const;
  virtual void SetTextValue(const std::string& text);
  virtual bool IsNull() const;
  // Refuses a size the class cannot hold ("Invalid field size").
  virtual void CheckSize(int32_t size) const;
  // Storage <-> in-memory form for ReadValue/WriteValue with native false. The default
  // copies ValueSize bytes unchanged.
  virtual void StorageToValue(const void* storage, void* value) const;
  virtual void ValueToStorage(const void* value, void* storage) const;

 private:
  friend class TFields;  // keeps data_set_ and the bound size in step with the list

  void CheckInactive() const;

  TDataSet* data_set_ = nullptr;
  std::string field_name_;
  std::string display_label_;
  int32_t display_width_ = 0;
  bool visible_ = true;
  bool read_only_ = false;
  bool required_ = false;
  TAlignment alignment_ = taLeftJustify;
  int32_t size_ = 0;
  TFieldType data_type_ = ftUnknown;
  TFieldKind field_kind_ = fkData;
  std::string edit_mask_;
  int32_t field_number_ = 0;
  TFieldChars allowed_chars_ = TFieldChars().set();
  std::vector<TFieldObserver*> observers_;
  // Set only while OnValidate runs: the value being validated (null = no value).
  const void* validating_value_ = nullptr;
  bool validating_ = false;
};

// Type names of messages ("String", "Float", "Date", "Memo", ...).
std::string FieldTypeName(TFieldType type);

}  // namespace snyltdyr
