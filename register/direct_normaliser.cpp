#include "register/direct_normaliser.h"

#include <stdexcept>
#include <string>
#include <vector>

#include "dataset/fields/date_time_field.h"
#include "dataset/fields/string_field.h"
#include "runtime/date_time.h"
#include "storage/engine_data_set.h"

namespace snyltdyr {

TDirectNormaliser::TDirectNormaliser(TEngineDataSet& table, const FixFields& f) : table_(table) {
  const TField* texts[5] = {};
  texts[kBehandl] = &f.behandl;
  texts[kSnyltdyr] = &f.snyltdyr;
  texts[kOrgan] = &f.organ;
  texts[kMengde] = &f.mengde;
  texts[kGener] = &f.gener;
  for (const TField* field : {&f.dato, &f.gener, &f.arsklas, &f.snyltdyr, &f.mengde, &f.organ,
                              &f.behandl}) {
    if (field->DataSet() != &table) return;
  }
  for (int i = 0; i < 5; ++i) {
    text_[i] = TStoredText(*texts[i]);
    if (!text_[i].Direct()) return;
  }
  // ÅRSKLAS is written with SetAsInteger, which a text field turns into SetAsString.
  arsklas_ = TStoredText(f.arsklas);
  if (!arsklas_.Direct() || dynamic_cast<const TStringField*>(&f.arsklas) == nullptr) return;
  // DATO is read as its date value, straight from the engine as the field reads it.
  if (dynamic_cast<const TDateField*>(&f.dato) == nullptr || f.dato.FieldKind() != fkData ||
      f.dato.DataType() != ftDate || f.dato.FieldNumber() <= 0) {
    return;
  }
  std::vector<engine::FieldDescriptor> columns;
  if (engine::GetFieldDescriptors(table.Handle(), columns) != engine::kOk) return;
  const auto number = static_cast<size_t>(f.dato.FieldNumber());
  if (number > columns.size() || columns[number - 1].dbase_type != 'D') return;
  dato_number_ = static_cast<uint16_t>(number);
  usable_ = true;
}

bool TDirectNormaliser::FixPassRecord() {
  record_ = table_.PassRecord();
  if (!usable_ || record_ == nullptr) return false;
  for (int i = 0; i < 5; ++i) {
    if (!text_[i].Read(record_, first_[i])) return false;
  }
  if (!ReadYear(record_)) return false;
  plain_ = true;
  first_round_ = true;
  ApplyFixRules(*this);  // the fix
  first_round_ = false;
  ApplyFixRules(*this);  // BeforePost's FixRecord, on what the fix wrote
  // Cannot happen while the rules keep plain text plain; were it to, the record would
  // be half fixed, which must stop the pass rather than be stored.
  if (!plain_) throw std::logic_error("The normaliser wrote a text that is not plain ASCII.");
  return true;
}

bool TDirectNormaliser::ReadYear(const char* record) {
  if (engine::GetField(table_.Handle(), dato_number_, reinterpret_cast<const uint8_t*>(record),
                       dato_) != engine::kOk) {
    return false;
  }
  year_ = 0;
  if (!dato_.blank) {
    int year = 0, month = 0, day = 0;
    DecodeDate(DayNumberToDate(dato_.date), year, month, day);
    year_ = year;
  }
  return true;
}

std::string_view TDirectNormaliser::Read(Text field) {
  // The first round reads every text once, before writing it: what was read above.
  if (first_round_) return first_[field];
  std::string_view text;
  if (!text_[field].Read(record_, text)) plain_ = false;
  return text;
}

void TDirectNormaliser::Write(Text field, std::string_view text) {
  text_[field].Write(record_, text);
}

void TDirectNormaliser::WriteYearClass(int32_t year_class) {
  arsklas_.Write(record_, std::to_string(year_class));
}

}  // namespace snyltdyr
