// TStringField: a text column. The value in a record buffer is the text followed by a
// zero byte (ValueSize = Size + 1). Null reads as the empty text; writing the empty text
// stores an empty text, not null. Writes are cut to Size characters and at a zero byte.
// With Transliterate on, text passes through the dataset's character-set translation
// (storage <-> program) on the way in and out.
#pragma once

#include "dataset/fields/field.h"

namespace snyltdyr {

class TStringField : public TField {
 public:
  static constexpr int32_t kDefaultSize = 20;

  explicit TStringField(std::string name = {});

  bool Transliterate() const { return transliterate_; }
  void SetTransliterate(bool on) { transliterate_ = on; }
  bool FixedChar() const { return fixed_char_; }
  void SetFixedChar(bool on) { fixed_char_ = on; }

  int32_t ValueSize() const override { return Size() + 1; }
  int32_t DefaultWidth() const override { return Size(); }

 protected:
  std::string GetAsString() const override;
  int32_t GetAsInteger() const override;
  double GetAsFloat() const override;
  TDateTime GetAsDateTime() const override;
  void SetAsStringValue(const std::string& value) override;
  void SetAsIntegerValue(int32_t value) override;
  void SetAsFloatValue(double value) override;
  void SetAsDateTimeValue(TDateTime value) override;
  std::string GetText(bool display_text) const override;
  void CheckSize(int32_t size) const override;

 private:
  bool transliterate_ = true;
  bool fixed_char_ = false;
};

}  // namespace snyltdyr
