// Text in comma-separated form, as spreadsheets save it, read into rows of cells.
//
// - Encoding: UTF-8, with or without a byte-order mark; a text that is not valid UTF-8
//   is code page 1252. Cells come out in UTF-8 either way (a byte that code page 1252
//   gives no character becomes U+FFFD, so that it is never taken for another one).
// - Separator: comma, semicolon or tab, whichever the header line (the first line)
//   holds most of outside quotes; a tab before a semicolon before a comma when as many.
// - Quoting: a cell that starts with a double quote runs to the matching quote; two
//   quotes inside stand for one, and separators and line breaks inside are text.
//   Lines end with CR LF, LF or CR.
// - Lines with nothing but separators are left out; a row with fewer cells than the
//   header has the rest empty.
// Every row knows the line it starts on (the header is line 1). A quote that is never
// closed, text after a closing quote and a row with more cells than the header raise
// EConvertError naming the line (and the column).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace snyltdyr {

struct CsvRow {
  int64_t line = 0;
  std::vector<std::string> cells;  // UTF-8
};

struct CsvText {
  char separator = ',';
  bool was_utf8 = true;
  std::vector<std::string> header;  // UTF-8
  std::vector<CsvRow> rows;
};

CsvText ReadCsvText(std::string_view bytes);

// Whether `bytes` is valid UTF-8 (no overlong forms, no surrogates, nothing past U+10FFFF).
bool IsValidUtf8(std::string_view bytes);

}  // namespace snyltdyr
