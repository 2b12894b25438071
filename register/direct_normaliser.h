// The normaliser straight in the bytes of the record a pass of the storage table reached
// (TEngineDataSet::PassRecord), for "Fiks formatering" over a million records, where the
// fields' layers cost many times the rules themselves.
//
// It stands for FixRecord followed by the table's BeforePost when that BeforePost is
// FixRecord on the same fields: it applies the rules twice (ApplyFixRules, the one
// sequence of them), the second time to what the first wrote, as the field path does,
// since the rules do not give the same twice ("H/G" becomes "Hud/Gjelle", then "Gjelle").
//
// Only where that gives the very bytes the fields would give:
// - Usable: every text field is Direct (TStoredText: a plain data text field of the open
//   table, no events, no calculated fields), ÅRSKLAS a text field too, and DATO a data
//   date field whose column is a dBASE date.
// - Per record: the five texts the rules read are plain ASCII. The rules keep plain text
//   plain (their texts are ASCII, upper-casing ASCII gives ASCII, numbers are digits), so
//   what the first round writes reads plain in the second. A record with a letter beyond
//   ASCII or a NUL is declined untouched and goes through its fields.
#pragma once

#include <cstdint>

#include "register/normaliser.h"
#include "storage/engine/engine.h"
#include "storage/stored_text.h"

namespace snyltdyr {

class TEngineDataSet;

class TDirectNormaliser final : private TFixValues {
 public:
  TDirectNormaliser(TEngineDataSet& table, const FixFields& fields);

  bool Usable() const { return usable_; }

  // Fixes and "posts" the pass's record in its bytes; false, with the bytes untouched,
  // when the record must go through its fields (also outside a pass).
  bool FixPassRecord();

 private:
  std::string_view Read(Text field) override;
  void Write(Text field, std::string_view text) override;
  int32_t Year() override { return year_; }
  void WriteYearClass(int32_t year_class) override;

  // The year of DATO in `record` as the field gives it; false when the engine refuses
  // the value (the field then fails the same way).
  bool ReadYear(const char* record);

  TEngineDataSet& table_;
  bool usable_ = false;
  TStoredText text_[5];  // by TFixValues::Text
  TStoredText arsklas_;
  uint16_t dato_number_ = 0;
  engine::FieldValue dato_;  // kept: its text is never used, so no allocation per record
  char* record_ = nullptr;   // the record being fixed
  std::string_view first_[5];  // the texts as the record came, by TFixValues::Text
  bool first_round_ = false;
  int32_t year_ = 0;
  bool plain_ = true;  // every text read so far was plain
};

}  // namespace snyltdyr
