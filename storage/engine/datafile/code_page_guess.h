// The code page a table's text is in, found from its own bytes, for a table whose header
// names none (byte 29 is 0) and that has no .cpg file beside it.
//
// The letters a Norwegian register holds (æøåÆØÅ, and é, ü, ö, ä) sit at different bytes
// in code pages 865, 850, 437 and 1252. A code page fits the text when every byte above
// 0x7F that the text holds is a letter in it; of those that fit, the ones that read every
// such byte as one of the register's own letters are preferred. Code pages that read the
// text alike (865 and 850 for æøå) are one reading. Exactly one reading: the code page is
// found (the first of 865, 850, 437, 1252 that gives it). Otherwise it is uncertain, and
// the text is read in the most likely one only to show it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "storage/engine/engine.h"

namespace snyltdyr::engine {

// How often each byte occurs in a table's text (its text fields and field names).
struct TextBytes {
  std::array<uint64_t, 256> count{};
  void Add(std::string_view text) {
    for (unsigned char c : text) ++count[c];
  }
  bool PlainAscii() const;
};

struct CodePageGuess {
  int code_page = 865;       // the text is read in this one
  bool certain = false;      // no other code page reads the text otherwise and fits
  std::vector<int> fitting;  // every code page that fits (the same reading first)
  bool plain_ascii = false;  // no byte above 0x7F: every code page reads it alike
};

class DbfFile;
// Records whose text is looked at: enough to meet every letter a register uses.
inline constexpr uint32_t kCodePageGuessRecords = 50000;
// The text of a table's field names and of the text fields of its first `records` records.
Result ReadTableText(DbfFile& dbf, uint32_t records, TextBytes& text);

// The candidates, most likely first.
inline constexpr int kGuessCandidates[] = {865, 850, 437, 1252};

CodePageGuess GuessCodePage(const TextBytes& text);

// "865", "850 and 1252", "865, 850 and 437".
std::string CodePageList(const std::vector<int>& code_pages);

}  // namespace snyltdyr::engine
