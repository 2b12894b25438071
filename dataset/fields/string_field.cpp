#include "dataset/fields/string_field.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "dataset/data_set.h"
#include "runtime/date_time.h"
#include "runtime/float_text.h"
#include "runtime/mask_text.h"
#include "runtime/whole_number.h"

namespace snyltdyr {

namespace {

// Values up to this many bytes go through a fixed buffer; longer ones allocate.
constexpr size_t kFixedBuffer = 8192;

}  // namespace

TStringField::TStringField(std::string name) : TField(std::move(name)) {
  SetDataType(ftString);
  SetSizeUnchecked(kDefaultSize);
}

void TStringField::CheckSize(int32_t size) const {
  if (size < 0) throw EDatabaseError("Invalid field size");
}

std::string TStringField::GetAsString() const {
  // The column may be wider than the declared Size: read its whole text.
  const size_t value_size = static_cast<size_t>(ValueSize());
  char fixed[kFixedBuffer + 1];
  std::vector<char> large;
  char* buffer = fixed;
  size_t capacity = sizeof fixed;
  if (value_size > kFixedBuffer) {
    large.assign(value_size + 1, '\0');
    buffer = large.data();
    capacity = large.size();
  } else {
    // A binding ends the text it writes with a zero; the declared width and its zero are
    // cleared for one that writes nothing. Not the whole buffer: a field is read for every
    // record of a pass.
    std::memset(fixed, 0, value_size + 1);
  }
  if (!ReadValue(buffer, true)) return std::string();
  buffer[capacity - 1] = '\0';  // a value that fills the buffer still ends here
  std::string text(buffer, ::strnlen(buffer, capacity));
  if (transliterate_ && !text.empty()) DataSet()->TranslateText(text, false);
  return text;
}

void TStringField::SetAsStringValue(const std::string& value) {
  const size_t size = static_cast<size_t>(std::max<int32_t>(Size(), 0));
  std::string text = value.substr(0, std::min(size, value.find('\0')));
  if (transliterate_) {
    CheckDataSet();
    DataSet()->TranslateText(text, true);
    if (text.size() > size) text.resize(size);
  }
  char fixed[kFixedBuffer + 1];
  std::vector<char> large;
  char* buffer = fixed;
  if (size > kFixedBuffer) {
    large.assign(size + 1, '\0');
    buffer = large.data();
  } else {
    std::memset(fixed, 0, size + 1);  // the value and its terminating zero
  }
  std::memcpy(buffer, text.data(), text.size());
  WriteValue(buffer, true);
}

int32_t TStringField::GetAsInteger() const { return ParseWholeNumber(GetAsString()); }

void TStringField::SetAsIntegerValue(int32_t value) { SetAsStringValue(std::to_string(value)); }

double TStringField::GetAsFloat() const { return ParseFloat(GetAsString()); }

void TStringField::SetAsFloatValue(double value) { SetAsStringValue(FloatToGeneral(value, 15)); }

TDateTime TStringField::GetAsDateTime() const { return ParseDateTime(GetAsString()); }

void TStringField::SetAsDateTimeValue(TDateTime value) { SetAsStringValue(FormatDateTime(value)); }

std::string TStringField::GetText(bool display_text) const {
  if (display_text && !EditMask().empty()) return FormatMaskText(EditMask(), GetAsString());
  return GetAsString();
}

}  // namespace snyltdyr
