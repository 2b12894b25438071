#include "register/observation_import.h"

#include <cctype>
#include <cstdio>
#include <optional>

#include "dataset/fields/fields.h"
#include "register/snyltdyr_register.h"
#include "runtime/cp1252.h"
#include "runtime/csv_text.h"
#include "runtime/date_time.h"
#include "runtime/exception.h"
#include "runtime/regional_settings.h"
#include "storage/engine/engine.h"

namespace snyltdyr {
namespace {

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// The table's field for each column of the header, in the header's order.
std::vector<TField*> MatchColumns(TTable& table, const std::vector<std::string>& header) {
  std::vector<TField*> columns;
  const TFields& fields = table.Fields();
  for (size_t c = 0; c < header.size(); ++c) {
    const std::string title = Trimmed(Utf8ToCp1252(header[c]));
    if (title.empty()) {  // a column a spreadsheet left without a title: only empty cells may stand in it
      columns.push_back(nullptr);
      continue;
    }
    TField* match = nullptr;
    for (int32_t i = 0; i < fields.Count() && match == nullptr; ++i) {
      TField* f = fields[i];
      if (SameText1252(title, f->DisplayLabel()) || SameText1252(title, f->FieldName())) match = f;
    }
    if (match == nullptr)
      throw EConvertError("The table has no column \"" + title + "\" (column " + std::to_string(c + 1) +
                          " of the header line)");
    for (size_t earlier = 0; earlier < columns.size(); ++earlier)
      if (columns[earlier] == match)
        throw EConvertError("Columns " + std::to_string(earlier + 1) + " and " + std::to_string(c + 1) +
                            " of the header line both name the field " + match->FieldName());
    columns.push_back(match);
  }
  return columns;
}

// The first character of `utf8` that code page 1252 lacks (UTF-8), or nothing.
std::string OutsideCp1252(const std::string& utf8) {
  if (IsPlainAscii(utf8) || Cp1252ToUtf8(Utf8ToCp1252(utf8)) == utf8) return {};
  for (size_t i = 0; i < utf8.size();) {
    size_t len = 1;
    const auto b = static_cast<unsigned char>(utf8[i]);
    if (b >= 0xF0) len = 4;
    else if (b >= 0xE0) len = 3;
    else if (b >= 0xC0) len = 2;
    const std::string ch = utf8.substr(i, len);
    if (Cp1252ToUtf8(Utf8ToCp1252(ch)) != ch) return ch;
    i += len;
  }
  return {};
}

// "U+20AC" for the UTF-8 character `ch`.
std::string CodePoint(const std::string& ch) {
  const auto b = static_cast<unsigned char>(ch[0]);
  uint32_t cp = ch.size() == 1 ? b : ch.size() == 2 ? b & 0x1F : ch.size() == 3 ? b & 0x0F : b & 0x07;
  for (size_t i = 1; i < ch.size(); ++i) cp = (cp << 6) | (static_cast<unsigned char>(ch[i]) & 0x3F);
  char text[16];
  std::snprintf(text, sizeof text, "U+%04X", cp);
  return text;
}

// Lines of a comment end as the memo control ends them: CR LF.
std::string CrLfLines(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
    out += text[i];
    if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')) out += '\n';
  }
  return out;
}

// A date as yyyy-mm-dd, when the text is one.
std::optional<std::string> IsoDateText(const std::string& text, bool& impossible) {
  impossible = false;
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
  for (size_t i : {0, 1, 2, 3, 5, 6, 8, 9})
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return std::nullopt;
  const auto date = EncodeDate(std::stoi(text.substr(0, 4)), std::stoi(text.substr(5, 2)),
                               std::stoi(text.substr(8, 2)));
  if (!date) {
    impossible = true;
    return std::nullopt;
  }
  return FormatDate(*date);
}

// A number with one decimal point or comma, whichever the regional settings do not use,
// given the regional one.
std::string RegionalNumber(const std::string& text) {
  const char mark = Regional().decimal_separator;
  const char other = mark == ',' ? '.' : ',';
  const size_t at = text.find(other);
  if (at == std::string::npos || text.find(mark) != std::string::npos ||
      text.find(other, at + 1) != std::string::npos)
    return text;
  std::string regional = text;
  regional[at] = mark;
  return regional;
}

class RowReader {
 public:
  RowReader(SnyltdyrRegister& r, const CsvText& csv, std::vector<TField*> columns)
      : table_(r.SnyltdyrTable), csv_(csv), columns_(std::move(columns)) {
    engine::CursorProperties props;
    if (engine::GetCursorProperties(table_.Handle(), props) == engine::kOk) code_page_ = props.code_page;
  }

  std::vector<ImportProblem> problems;

  bool Fill(int32_t row, TEngineDataSet::TNewMemos& memos) {
    const CsvRow& r = csv_.rows[static_cast<size_t>(row)];
    bool good = true;
    for (size_t c = 0; c < columns_.size(); ++c) {
      std::string why;
      if (columns_[c] == nullptr) {
        if (Trimmed(r.cells[c]).empty()) continue;
        why = "a value in a column without a title";
      }
      if (!why.empty() || !Put(*columns_[c], r.cells[c], memos, why)) {
        problems.push_back({r.line, Utf8ToCp1252(csv_.header[c]), Utf8ToCp1252(r.cells[c]), why});
        good = false;
      }
    }
    return good;
  }

 private:
  // Puts one cell into its field; false with the reason when it cannot be stored.
  bool Put(TField& field, const std::string& cell, TEngineDataSet::TNewMemos& memos, std::string& why) {
    if (const std::string ch = OutsideCp1252(cell); !ch.empty()) {
      why = "the character " + CodePoint(ch) + " cannot be stored (it is not in code page 1252)";
      return false;
    }
    const bool memo = field.IsBlob();
    const std::string text = memo ? CrLfLines(Utf8ToCp1252(cell)) : Trimmed(Utf8ToCp1252(cell));
    if (text.empty()) return true;  // the field stays blank
    if (!IsPlainAscii(text) && table_.NativeToAnsi(table_.AnsiToNative(text)) != text) {
      for (char ch : text) {
        const std::string one(1, ch);
        if (table_.NativeToAnsi(table_.AnsiToNative(one)) == one) continue;
        why = "the character \"" + one + "\" cannot be stored in the table's code page " +
              std::to_string(code_page_);
        return false;
      }
    }
    if (memo) {
      memos.emplace_back(&field, text);
      return true;
    }
    if (field.DataType() == ftString && text.size() > static_cast<size_t>(field.Size())) {
      why = "longer than the field's " + std::to_string(field.Size()) + " characters";
      return false;
    }
    std::string typed = text;
    if (field.DataType() == ftDate) {
      bool impossible = false;
      if (auto regional = IsoDateText(text, impossible)) typed = *regional;
      if (impossible) {
        why = "'" + text + "' is not a valid date";
        return false;
      }
    } else if (field.DataType() == ftFloat) {
      typed = RegionalNumber(text);
    }
    try {
      field.SetText(typed);
    } catch (const EAbort&) {
      throw;
    } catch (const Exception& e) {
      why = e.Message();
      for (char& ch : why)
        if (ch == '\n' || ch == '\r') ch = ' ';
      return false;
    }
    return true;
  }

  TTable& table_;
  const CsvText& csv_;
  std::vector<TField*> columns_;
  int code_page_ = 1252;
};

}  // namespace

ImportReport ImportObservations(SnyltdyrRegister& r, std::string_view csv_bytes, bool write,
                                const TPassProgress& progress) {
  const CsvText csv = ReadCsvText(csv_bytes);
  if (csv.header.empty()) throw EConvertError("The file is empty: it has no header line");
  RowReader reader(r, csv, MatchColumns(r.SnyltdyrTable, csv.header));
  ImportReport report;
  report.rows = static_cast<int64_t>(csv.rows.size());
  const int32_t rows = static_cast<int32_t>(csv.rows.size());
  report.written = r.SnyltdyrTable.AppendRows(
      rows, [&](int32_t row, TEngineDataSet::TNewMemos& memos) { return reader.Fill(row, memos); },
      write, progress);
  report.problems = std::move(reader.problems);
  return report;
}

std::string ImportProblemsText(const ImportReport& report) {
  const size_t n = report.problems.size();
  std::string text = "Nothing was imported: " + std::to_string(n) +
                     (n == 1 ? " value cannot" : " values cannot") + " be stored.";
  for (size_t i = 0; i < n && i < kListedProblems; ++i) {
    const ImportProblem& p = report.problems[i];
    text += "\nline " + std::to_string(p.line) + ", column \"" + p.column + "\", value \"" + p.value +
            "\": " + p.reason;
  }
  if (n > kListedProblems) text += "\n... and " + std::to_string(n - kListedProblems) + " more";
  return text;
}

}  // namespace snyltdyr
