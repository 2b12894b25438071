#include "storage/stored_text.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "dataset/fields/field.h"
#include "dataset/fields/fields.h"
#include "dataset/fields/string_field.h"
#include "runtime/cp1252.h"
#include "storage/engine_data_set.h"

namespace snyltdyr {

TStoredText::TStoredText(const TField& field) {
  const auto* data_set = dynamic_cast<const TEngineDataSet*>(field.DataSet());
  if (data_set == nullptr || !data_set->Active() || data_set->Handle() == engine::kNoHandle) return;
  if (field.FieldKind() != fkData || field.DataType() != ftString || field.FieldNumber() <= 0) return;
  if (!field.EditMask().empty() || field.OnGetText || field.OnSetText || field.OnValidate ||
      field.OnChange) {
    return;
  }
  const TFields& fields = data_set->Fields();
  for (int32_t i = 0; i < fields.Count(); ++i) {
    if (fields[i]->FieldKind() == fkCalculated || fields[i]->FieldKind() == fkLookup) return;
  }
  std::vector<engine::FieldDescriptor> columns;
  if (engine::GetFieldDescriptors(data_set->Handle(), columns) != engine::kOk) return;
  const auto number = static_cast<size_t>(field.FieldNumber());
  if (number > columns.size() || columns[number - 1].dbase_type != 'C') return;
  // The column's width is units1: `length` counts the NUL that GetField adds after it.
  offset_ = columns[number - 1].offset;
  length_ = static_cast<uint16_t>(columns[number - 1].units1);
  size_ = static_cast<uint16_t>(std::clamp<int32_t>(field.Size(), 0, length_));
  data_set_ = data_set;
  const auto* text_field = dynamic_cast<const TStringField*>(&field);
  translates_ = text_field != nullptr && text_field->Transliterate();
}

bool TStoredText::ReadConverted(const char* record, std::string& text) const {
  if (!Direct()) return false;
  const char* at = record + offset_;
  const size_t n = TrimmedLength(at, length_);
  if (std::memchr(at, '\0', n) != nullptr) return false;
  text.assign(at, n);
  // As the field's TranslateText: plain text is left as it is.
  if (translates_ && !IsPlainAscii(text)) text = data_set_->NativeToAnsi(text);
  return true;
}

void TStoredText::Write(char* record, std::string_view text) const {
  char* at = record + offset_;
  const size_t n = std::min<size_t>(text.size(), size_);
  std::memcpy(at, text.data(), n);
  std::memset(at + n, ' ', length_ - n);
}

}  // namespace snyltdyr
