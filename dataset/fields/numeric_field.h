// TNumericField and TFloatField: number columns, right-aligned by default.
//
// A float's value in a record buffer is a double (ValueSize 8). Null reads as 0 and as
// the empty text; writing the empty text stores null. Text is the general format with
// Precision significant digits (fixed or currency form with Currency), or the pattern
// of DisplayFormat / EditFormat when set. A non-zero MinValue or MaxValue limits what
// may be written.
#pragma once

#include "dataset/fields/field.h"

namespace snyltdyr {

class TNumericField : public TField {
 public:
  explicit TNumericField(std::string name = {});

  const std::string& DisplayFormat() const { return display_format_; }
  void SetDisplayFormat(const std::string& format);
  const std::string& EditFormat() const { return edit_format_; }
  void SetEditFormat(const std::string& format);

 private:
  std::string display_format_;
  std::string edit_format_;
};

class TFloatField : public TNumericField {
 public:
  explicit TFloatField(std::string name = {});

  bool Currency() const { return currency_; }
  void SetCurrency(bool on);
  // Significant digits of the general text form, kept within 2..15.
  int32_t Precision() const { return precision_; }
  void SetPrecision(int32_t precision);
  double MaxValue() const { return max_value_; }
  void SetMaxValue(double value) { max_value_ = value; }
  double MinValue() const { return min_value_; }
  void SetMinValue(double value) { min_value_ = value; }

  int32_t ValueSize() const override { return sizeof(double); }
  int32_t DefaultWidth() const override { return 10; }

 protected:
  std::string GetAsString() const override;
  int32_t GetAsInteger() const override;
  double GetAsFloat() const override;
  void SetAsStringValue(const std::string& value) override;
  void SetAsIntegerValue(int32_t value) override;
  void SetAsFloatValue(double value) override;
  std::string GetText(bool display_text) const override;

 private:
  // Raises "%g is not a valid value for field '%s'. The allowed range is %g to %g".
  void CheckRange(double value) const;

  bool currency_ = false;
  int32_t precision_ = 15;
  double max_value_ = 0;
  double min_value_ = 0;
};

}  // namespace snyltdyr
