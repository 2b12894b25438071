// The text of a plain text field read and written straight in the bytes of the record a
// pass reached, without the layers of TField: for passes over a million records, where
// those layers cost many times the work itself.
//
// Only where that is the same thing. A field qualifies (Direct) when it is a data field of
// type ftString of an open TEngineDataSet, with no edit mask and no OnGetText, OnSetText,
// OnValidate or OnChange, and its dataset has no calculated fields (which a field's
// change would recalculate). Even then a record's text is handed out only when its bytes
// are plain: every byte below 0x80 and none of them NUL after the trailing blanks and NULs
// are cut. Plain text reads the same in every code page, so it is then exactly the
// field's AsString and DisplayText; anything else (a letter to convert, a NUL that ends
// the text early) is left to the field, which the caller then asks instead.
//
// Writing stores plain text as SetAsString would: cut to the field's size, padded with
// blanks. The caller writes only plain text.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace snyltdyr {

class TEngineDataSet;
class TField;

// The length of the `n` bytes at `at` without their trailing blanks and NULs (a stored
// text's end). Eight bytes at a time over the blanks, which fill most of a wide column.
inline size_t TrimmedLength(const char* at, size_t n) {
  constexpr uint64_t kBlanks = 0x2020202020202020ull;
  for (uint64_t word = 0; n >= 8; n -= 8) {
    std::memcpy(&word, at + n - 8, 8);
    if (word != kBlanks) break;
  }
  while (n > 0 && (at[n - 1] == ' ' || at[n - 1] == '\0')) --n;
  return n;
}

// Whether the `n` bytes at `at` are plain: each below 0x80 and none of them NUL. Eight
// bytes at a time: a word is plain when no byte has its high bit set and none is zero
// (w - 0x01..01 borrows into the high bit of a zero byte first).
inline bool PlainBytes(const char* at, size_t n) {
  constexpr uint64_t kOnes = 0x0101010101010101ull, kHighs = 0x8080808080808080ull;
  size_t i = 0;
  for (uint64_t word = 0; i + 8 <= n; i += 8) {
    std::memcpy(&word, at + i, 8);
    if ((((word - kOnes) & ~word) | word) & kHighs) return false;
  }
  for (; i < n; ++i) {
    const auto c = static_cast<unsigned char>(at[i]);
    if (c == 0 || c >= 0x80) return false;
  }
  return true;
}

class TStoredText {
 public:
  TStoredText() = default;
  // The column of `field` in its dataset's records; not Direct when the field does not
  // qualify (or its dataset is not an open TEngineDataSet).
  explicit TStoredText(const TField& field);

  bool Direct() const { return length_ > 0; }

  // The field's text in `record` (the bytes the dataset's record buffer holds), when it
  // is plain; false when the field must be asked.
  bool Read(const char* record, std::string_view& text) const {
    if (!Direct()) return false;
    const char* at = record + offset_;
    const size_t n = TrimmedLength(at, length_);
    if (!PlainBytes(at, n)) return false;
    text = std::string_view(at, n);
    return true;
  }

  // The field's text in `record` whatever its letters, converted from the table's code
  // page as the field converts it (when the field translates text); false when the bytes
  // hold a NUL before their end (the field's text ends there: the field must be asked).
  bool ReadConverted(const char* record, std::string& text) const;

  // Stores plain `text` in `record` as the field's SetAsString stores it.
  void Write(char* record, std::string_view text) const;

 private:
  uint16_t offset_ = 0;
  uint16_t length_ = 0;  // of the column; 0 when not Direct
  uint16_t size_ = 0;    // what SetAsString keeps of a text
  const TEngineDataSet* data_set_ = nullptr;
  bool translates_ = false;  // the field converts its text (Transliterate)
};

}  // namespace snyltdyr
