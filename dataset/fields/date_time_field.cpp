#include "dataset/fields/date_time_field.h"

#include <cmath>
#include <cstring>

namespace snyltdyr {

TDateTimeField::TDateTimeField(std::string name) : TField(std::move(name)) {
  SetDataType(ftDateTime);
}

void TDateTimeField::SetDisplayFormat(const std::string& format) {
  if (format == display_format_) return;
  display_format_ = format;
  PropertyChanged(false);
}

void TDateTimeField::StorageToValue(const void* storage, void* value) const {
  double stamp;
  std::memcpy(&stamp, storage, sizeof stamp);
  const TDateTime result = StampToDateTime(stamp);
  std::memcpy(value, &result, sizeof result);
}

void TDateTimeField::ValueToStorage(const void* value, void* storage) const {
  TDateTime in;
  std::memcpy(&in, value, sizeof in);
  const double stamp = DateTimeToStamp(in);
  std::memcpy(storage, &stamp, sizeof stamp);
}

TDateTime TDateTimeField::GetAsDateTime() const {
  TDateTime value = 0;
  return ReadValue(&value, false) ? value : 0;
}

double TDateTimeField::GetAsFloat() const { return GetAsDateTime(); }

std::string TDateTimeField::GetAsString() const { return GetText(false); }

void TDateTimeField::SetAsStringValue(const std::string& value) {
  if (value.find_first_not_of(' ') == std::string::npos) {
    ClearValue();
    return;
  }
  SetAsDateTimeValue(ParseText(value));
}

void TDateTimeField::SetAsDateTimeValue(TDateTime value) { WriteValue(&value, false); }

void TDateTimeField::SetAsFloatValue(double value) { SetAsDateTimeValue(value); }

std::string TDateTimeField::GetText(bool display_text) const {
  TDateTime value = 0;
  if (!ReadValue(&value, false)) return std::string();
  if (display_text && !display_format_.empty()) return FormatDate(value, display_format_);
  return FormatValue(value);
}

std::string TDateTimeField::FormatValue(TDateTime value) const { return FormatDateTime(value); }

TDateTime TDateTimeField::ParseText(const std::string& text) const { return ParseDateTime(text); }

TDateField::TDateField(std::string name) : TDateTimeField(std::move(name)) {
  SetDataType(ftDate);
}

void TDateField::StorageToValue(const void* storage, void* value) const {
  int32_t day_number;
  std::memcpy(&day_number, storage, sizeof day_number);
  const TDateTime result = DayNumberToDate(day_number);
  std::memcpy(value, &result, sizeof result);
}

void TDateField::ValueToStorage(const void* value, void* storage) const {
  TDateTime in;
  std::memcpy(&in, value, sizeof in);
  const int32_t day_number = DateToDayNumber(in);  // the time of day is dropped
  std::memcpy(storage, &day_number, sizeof day_number);
}

std::string TDateField::FormatValue(TDateTime value) const { return FormatDate(value); }

TDateTime TDateField::ParseText(const std::string& text) const { return ParseDate(text); }

}  // namespace snyltdyr
