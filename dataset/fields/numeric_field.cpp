#include "dataset/fields/numeric_field.h"

#include <algorithm>
#include <cmath>

#include "runtime/exception.h"
#include "runtime/float_text.h"
#include "runtime/regional_settings.h"

namespace snyltdyr {

TNumericField::TNumericField(std::string name) : TField(std::move(name)) {
  SetAlignment(taRightJustify);
}

void TNumericField::SetDisplayFormat(const std::string& format) {
  if (format == display_format_) return;
  display_format_ = format;
  PropertyChanged(false);
}

void TNumericField::SetEditFormat(const std::string& format) {
  if (format == edit_format_) return;
  edit_format_ = format;
  PropertyChanged(false);
}

TFloatField::TFloatField(std::string name) : TNumericField(std::move(name)) {
  SetDataType(ftFloat);
  TFieldChars chars;
  for (char c : std::string("+-0123456789Ee")) chars.set(static_cast<unsigned char>(c));
  chars.set(static_cast<unsigned char>(Regional().decimal_separator));
  SetAllowedChars(chars);
}

void TFloatField::SetCurrency(bool on) {
  if (on == currency_) return;
  currency_ = on;
  PropertyChanged(false);
}

void TFloatField::SetPrecision(int32_t precision) {
  precision = std::clamp(precision, 2, 15);
  if (precision == precision_) return;
  precision_ = precision;
  PropertyChanged(false);
}

double TFloatField::GetAsFloat() const {
  double value = 0;
  return ReadValue(&value, true) ? value : 0;
}

int32_t TFloatField::GetAsInteger() const {
  // Nearest integer, a half going to the even neighbour (the default rounding mode).
  const double rounded = std::nearbyint(GetAsFloat());
  if (!(rounded >= INT32_MIN && rounded <= INT32_MAX)) {
    throw EConvertError("'" + FloatToGeneral(rounded) + "' is not a valid integer value");
  }
  return static_cast<int32_t>(rounded);
}

std::string TFloatField::GetAsString() const {
  double value = 0;
  return ReadValue(&value, true) ? FloatToGeneral(value, 15) : std::string();
}

void TFloatField::SetAsStringValue(const std::string& value) {
  if (value.find_first_not_of(' ') == std::string::npos) {
    ClearValue();
    return;
  }
  const auto number = TryParseFloat(value);
  if (!number) {
    throw EConvertError("'" + value + "' is not a valid floating point value for field '" +
                        MessageName() + "'");
  }
  SetAsFloatValue(*number);
}

void TFloatField::SetAsIntegerValue(int32_t value) { SetAsFloatValue(value); }

void TFloatField::CheckRange(double value) const {
  if (min_value_ == 0 && max_value_ == 0) return;
  if (value < min_value_ || value > max_value_) {
    throw EDatabaseError(FloatToGeneral(value, 6) + " is not a valid value for field '" +
                         MessageName() + "'. The allowed range is " +
                         FloatToGeneral(min_value_, 6) + " to " + FloatToGeneral(max_value_, 6));
  }
}

void TFloatField::SetAsFloatValue(double value) {
  CheckRange(value);
  WriteValue(&value, true);
}

std::string TFloatField::GetText(bool display_text) const {
  double value = 0;
  if (!ReadValue(&value, true)) return std::string();
  const std::string& format =
      display_text || EditFormat().empty() ? DisplayFormat() : EditFormat();
  if (!format.empty()) return FormatFloatPattern(format, value);
  if (currency_) {
    const int decimals = Regional().currency_decimals;
    return display_text ? FloatToCurrency(value, decimals) : FloatToFixed(value, decimals);
  }
  return FloatToGeneral(value, precision_);
}

}  // namespace snyltdyr
