#include "runtime/csv_text.h"

#include <array>

#include "runtime/cp1252.h"
#include "runtime/exception.h"

namespace snyltdyr {
namespace {

// Code page 1252 to UTF-8, byte by byte, the bytes without a character as U+FFFD.
std::string Cp1252Text(std::string_view bytes) {
  static const std::array<std::string, 256> kUtf8 = [] {
    std::array<std::string, 256> table;
    for (int b = 0; b < 256; ++b) {
      const char c = static_cast<char>(b);
      const bool none = b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D;
      table[static_cast<size_t>(b)] = none ? "\xEF\xBF\xBD" : Cp1252ToUtf8(std::string_view(&c, 1));
    }
    return table;
  }();
  std::string text;
  text.reserve(bytes.size() + bytes.size() / 8);
  for (unsigned char b : bytes) text += kUtf8[b];
  return text;
}

char FindSeparator(std::string_view text) {
  size_t tabs = 0, semicolons = 0, commas = 0;
  bool quoted = false;
  for (char c : text) {
    if (c == '"') quoted = !quoted;
    if (quoted) continue;
    if (c == '\n' || c == '\r') break;
    tabs += c == '\t';
    semicolons += c == ';';
    commas += c == ',';
  }
  if (tabs > 0 && tabs >= semicolons && tabs >= commas) return '\t';
  if (semicolons > 0 && semicolons >= commas) return ';';
  return ',';
}

// Splits the text into rows, cell by cell.
class Splitter {
 public:
  Splitter(std::string_view text, char separator) : text_(text), sep_(separator) {}

  // The next row, or false at the end of the text.
  bool Next(CsvRow& row) {
    row.cells.clear();
    if (at_ >= text_.size()) return false;
    row.line = line_;
    for (;;) {
      row.cells.push_back(Cell());
      if (at_ >= text_.size()) return true;
      const char c = text_[at_++];
      if (c == sep_) continue;
      EndLine(c);
      return true;
    }
  }

 private:
  void EndLine(char c) {
    if (c == '\r' && at_ < text_.size() && text_[at_] == '\n') ++at_;
    ++line_;
  }

  std::string Cell() {
    if (at_ < text_.size() && text_[at_] == '"') return QuotedCell();
    const size_t start = at_;
    while (at_ < text_.size() && text_[at_] != sep_ && text_[at_] != '\n' && text_[at_] != '\r') ++at_;
    return std::string(text_.substr(start, at_ - start));
  }

  std::string QuotedCell() {
    const int64_t opened = line_;
    const size_t column = at_ - LineStart() + 1;
    std::string cell;
    ++at_;
    for (;;) {
      if (at_ >= text_.size())
        throw EConvertError("line " + std::to_string(opened) + ", character " + std::to_string(column) +
                            ": the quote that starts a cell here is never closed");
      const char c = text_[at_++];
      if (c == '"') {
        if (at_ < text_.size() && text_[at_] == '"') {
          cell += '"';
          ++at_;
          continue;
        }
        break;
      }
      if (c == '\n' || (c == '\r' && (at_ >= text_.size() || text_[at_] != '\n'))) ++line_;
      cell += c;
    }
    if (at_ < text_.size() && text_[at_] != sep_ && text_[at_] != '\n' && text_[at_] != '\r')
      throw EConvertError("line " + std::to_string(line_) + ", character " +
                          std::to_string(at_ - LineStart() + 1) +
                          ": text after the closing quote of a cell");
    return cell;
  }

  size_t LineStart() const {
    const size_t nl = text_.find_last_of("\r\n", at_ == 0 ? 0 : at_ - 1);
    return nl == std::string_view::npos || nl >= at_ ? 0 : nl + 1;
  }

  std::string_view text_;
  char sep_;
  size_t at_ = 0;
  int64_t line_ = 1;
};

bool Blank(const std::vector<std::string>& cells) {
  for (const std::string& c : cells)
    if (!c.empty()) return false;
  return true;
}

}  // namespace

bool IsValidUtf8(std::string_view bytes) {
  size_t i = 0;
  const size_t n = bytes.size();
  while (i < n) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    if (b < 0x80) {
      ++i;
      continue;
    }
    size_t len = 0;
    uint32_t cp = 0, min = 0;
    if ((b & 0xE0) == 0xC0) len = 2, cp = b & 0x1F, min = 0x80;
    else if ((b & 0xF0) == 0xE0) len = 3, cp = b & 0x0F, min = 0x800;
    else if ((b & 0xF8) == 0xF0) len = 4, cp = b & 0x07, min = 0x10000;
    else return false;
    if (i + len > n) return false;
    for (size_t k = 1; k < len; ++k) {
      const auto c = static_cast<unsigned char>(bytes[i + k]);
      if ((c & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (c & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += len;
  }
  return true;
}

CsvText ReadCsvText(std::string_view bytes) {
  CsvText csv;
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  csv.was_utf8 = IsValidUtf8(bytes);
  const std::string converted = csv.was_utf8 ? std::string() : Cp1252Text(bytes);
  const std::string_view text = csv.was_utf8 ? bytes : std::string_view(converted);
  csv.separator = FindSeparator(text);
  Splitter split(text, csv.separator);
  CsvRow row;
  if (!split.Next(row)) return csv;
  csv.header = std::move(row.cells);
  while (split.Next(row)) {
    if (Blank(row.cells)) continue;
    // Empty cells past the last column are what a spreadsheet leaves of a wider sheet.
    while (row.cells.size() > csv.header.size() && row.cells.back().empty()) row.cells.pop_back();
    if (row.cells.size() > csv.header.size())
      throw EConvertError("line " + std::to_string(row.line) + ": " + std::to_string(row.cells.size()) +
                          " cells, but the header line names " + std::to_string(csv.header.size()) +
                          " columns");
    row.cells.resize(csv.header.size());
    csv.rows.push_back(std::move(row));
  }
  return csv;
}

}  // namespace snyltdyr
