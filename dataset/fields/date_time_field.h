// TDateTimeField and TDateField: date columns.
//
// In storage a date-time is a double (day number * 86400000 + milliseconds) and a date a
// 32-bit day number counting 1 January of year 1 as day 1 (runtime/date_time.h); in
// memory both are a TDateTime. A date field drops the time of day when written. Null
// reads as 0 and as the empty text; writing the empty text stores null. Text is the
// short date pattern (and the time of day for a date-time), DisplayFormat for display
// text when set.
#pragma once

#include "dataset/fields/field.h"

namespace snyltdyr {

class TDateTimeField : public TField {
 public:
  explicit TDateTimeField(std::string name = {});

  const std::string& DisplayFormat() const { return display_format_; }
  void SetDisplayFormat(const std::string& format);

  int32_t ValueSize() const override { return sizeof(double); }
  int32_t DefaultWidth() const override { return ValueSize() * 2 + 2; }

 protected:
  std::string GetAsString() const override;
  double GetAsFloat() const override;
  TDateTime GetAsDateTime() const override;
  void SetAsStringValue(const std::string& value) override;
  void SetAsFloatValue(double value) override;
  void SetAsDateTimeValue(TDateTime value) override;
  std::string GetText(bool display_text) const override;
  void StorageToValue(const void* storage, void* value) const override;
  void ValueToStorage(const void* value, void* storage) const override;

  // Text of a value in the short form (date only for a date field).
  virtual std::string FormatValue(TDateTime value) const;
  virtual TDateTime ParseText(const std::string& text) const;

 private:
  std::string display_format_;
};

class TDateField : public TDateTimeField {
 public:
  explicit TDateField(std::string name = {});

  int32_t ValueSize() const override { return sizeof(int32_t); }

 protected:
  void StorageToValue(const void* storage, void* value) const override;
  void ValueToStorage(const void* value, void* storage) const override;
  std::string FormatValue(TDateTime value) const override;
  TDateTime ParseText(const std::string& text) const override;
};

}  // namespace snyltdyr
