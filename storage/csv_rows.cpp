#include "storage/csv_rows.h"

#include <algorithm>
#include <cstring>
#include <typeinfo>

#include "dataset/fields/blob_field.h"
#include "dataset/fields/date_time_field.h"
#include "dataset/fields/fields.h"
#include "dataset/fields/numeric_field.h"
#include "runtime/cp1252.h"
#include "runtime/large_pages.h"
#include "storage/db_engine_error.h"
#include "storage/engine_data_set.h"

namespace snyltdyr {
namespace {

bool NeedsQuotes(std::string_view text) {
  for (char c : text)
    if (c == ',' || c == '"' || c == '\r' || c == '\n') return true;
  return false;
}

// A cell in code page 1252, appended in UTF-8.
void AppendUtf8Cell(std::string& out, std::string_view text) {
  if (!NeedsQuotes(text)) {
    AppendCp1252AsUtf8(out, text);
    return;
  }
  std::string quoted;
  AppendCsvCell(quoted, text);
  AppendCp1252AsUtf8(out, quoted);
}

// A field of blanks and NULs names no memo (a memo field's block number 0).
bool NoMemo(const char* bytes, size_t width) {
  for (size_t i = 0; i < width; ++i)
    if (bytes[i] != ' ' && bytes[i] != '\0') return false;
  return true;
}

}  // namespace

void AppendCsvCell(std::string& out, std::string_view text) {
  if (!NeedsQuotes(text)) {
    out.append(text);
    return;
  }
  out += '"';
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

TCsvRows::TCsvRows(TEngineDataSet& data_set, std::string& out) : data_set_(data_set), out_(out) {
  std::vector<engine::FieldDescriptor> descriptors;
  const bool described = engine::GetFieldDescriptors(data_set_.Handle(), descriptors) == engine::kOk;
  bool calculated = false;
  const TFields& fields = data_set_.Fields();
  for (int32_t i = 0; i < fields.Count(); ++i)
    calculated = calculated || fields[i]->FieldKind() != fkData;
  // The record's bytes end with its last field (units1 is the width of all but dates and
  // logicals).
  for (const auto& d : descriptors) {
    const size_t width = d.units1 > 0 ? static_cast<size_t>(d.units1) : d.dbase_type == 'D' ? 8 : 1;
    record_bytes_ = std::max<size_t>(record_bytes_, d.offset + width);
  }
  columns_.resize(static_cast<size_t>(fields.Count()));
  for (int32_t i = 0; i < fields.Count(); ++i) {
    Column& c = columns_[static_cast<size_t>(i)];
    const TField& f = *fields[i];
    c.field = &f;
    const auto number = static_cast<size_t>(f.FieldNumber());
    if (!described || f.FieldKind() != fkData || number < 1 || number > descriptors.size()) continue;
    const engine::FieldDescriptor& d = descriptors[number - 1];
    c.offset = d.offset;
    if ((c.text = TStoredText(f)).Direct()) {
      c.road = Road::kText;
    } else if (f.OnGetText || calculated) {
      // Asked of the field.
    } else if (typeid(f) == typeid(TDateField) && d.dbase_type == 'D' &&
               static_cast<const TDateField&>(f).DisplayFormat().empty()) {
      c.road = Road::kKnown;
      c.width = 8;
    } else if (typeid(f) == typeid(TFloatField) && (d.dbase_type == 'N' || d.dbase_type == 'F') &&
               static_cast<const TFloatField&>(f).DisplayFormat().empty() && d.units1 > 0) {
      c.road = Road::kKnown;
      c.width = static_cast<uint16_t>(d.units1);
    } else if (typeid(f) == typeid(TMemoField) && d.dbase_type == 'M' &&
               d.subtype == engine::kSubtypeMemo && d.units1 > 0) {
      c.road = Road::kMemo;
      c.width = static_cast<uint16_t>(d.units1);
      c.transliterate = static_cast<const TMemoField&>(f).Transliterate();
    }
  }
  // The rows are about as long as the records' bytes, often shorter: room for that much
  // at the start spares copying a growing text of many megabytes over and over. Only
  // what is written is ever touched.
  // The table's records as its header counts them (not the selection's count: that
  // would be a pass of its own).
  uint32_t records = 0;
  if (engine::GetTableRecordCount(data_set_.Handle(), records) == engine::kOk) {
    out_.reserve(out_.size() + std::min<size_t>(size_t{records} * record_bytes_, kMostReserved));
    AdviseLargePages(out_.data() + out_.size(), out_.capacity() - out_.size());
  }
  engine::CursorProperties props;
  if (engine::GetCursorProperties(data_set_.Handle(), props) == engine::kOk)
    blob_record_.assign(std::max<size_t>(props.record_size, record_bytes_), '\0');
}

TCsvRows::~TCsvRows() = default;

void TCsvRows::AddRow() {
  const char* record = data_set_.PassRecord();
  const size_t first_hole = holes_.size();
  // The row is made where it goes: after the rows waiting for their memos, or, when none
  // wait, straight in the text.
  const bool others_wait = !holes_.empty();
  std::string& target = others_wait ? waiting_ : out_;
  const size_t start = target.size();
  try {
    AddCells(record, target);
  } catch (...) {
    // The row is dropped, and the rows before it written first: a failure of theirs
    // comes before this one.
    target.resize(start);
    for (size_t h = holes_.size(); h-- > first_hole;) {
      Column& c = columns_[holes_[h].column];
      c.waiting.resize(c.waiting.size() - c.width);
    }
    holes_.resize(first_hole);
    records_.resize(first_hole * record_bytes_);
    Flush();
    throw;
  }
  if (holes_.size() == first_hole) return;
  if (!others_wait) {  // the first row to wait for a memo: it moves out of the text
    waiting_.assign(out_, start, std::string::npos);
    out_.resize(start);
    for (size_t h = first_hole; h < holes_.size(); ++h) holes_[h].at -= start;
  }
  if (holes_.size() >= kMemoBatch) Flush();
}

void TCsvRows::Finish() { Flush(); }

void TCsvRows::AddCells(const char* record, std::string& out) {
  for (size_t i = 0; i < columns_.size(); ++i) {
    Column& c = columns_[i];
    if (i > 0) out += ',';
    // A pass the dataset walks itself (a filter handler) has no record bytes to read.
    switch (record != nullptr ? c.road : Road::kField) {
      case Road::kText: {
        std::string_view text;
        if (c.text.Read(record, text)) {
          AppendCsvCell(out, text);  // plain ASCII: the same in UTF-8
          continue;
        }
        if (!c.text.ReadConverted(record, converted_)) break;
        AppendUtf8Cell(out, converted_);
        continue;
      }
      case Road::kKnown: {
        const std::string_view bytes(record + c.offset, c.width);
        if (const std::string* known = c.known.Find(bytes)) {
          out += *known;
          continue;
        }
        std::string cell;
        AppendUtf8Cell(cell, c.field->DisplayText());
        out += cell;
        c.known.Keep(bytes, std::move(cell));
        continue;
      }
      case Road::kMemo: {
        if (NoMemo(record + c.offset, c.width)) continue;  // an empty cell
        holes_.push_back({out.size(), static_cast<uint32_t>(i),
                          static_cast<uint32_t>(c.waiting.size() / c.width),
                          static_cast<uint32_t>(holes_.size())});
        c.waiting.insert(c.waiting.end(), record + c.offset, record + c.offset + c.width);
        records_.insert(records_.end(), record, record + record_bytes_);
        continue;
      }
      case Road::kField:
        break;
    }
    AddFieldCell(c, out);
  }
  out += "\r\n";
}

void TCsvRows::AddFieldCell(const Column& c, std::string& out) {
  const TField& f = *c.field;
  AppendUtf8Cell(out, f.IsBlob() ? f.AsString() : f.DisplayText());
}

void TCsvRows::Flush() {
  if (holes_.empty()) return;
  for (Column& c : columns_) {
    if (c.road != Road::kMemo || c.waiting.empty()) continue;
    Check(engine::ReadMemos(data_set_.Handle(), static_cast<uint16_t>(c.field->FieldNumber()),
                            c.waiting.data(), c.waiting.size() / c.width, c.contents, c.read));
  }
  size_t done = 0;
  for (const Hole& hole : holes_) {
    out_.append(waiting_, done, hole.at - done);
    done = hole.at;
    AddMemoCell(columns_[hole.column], hole, out_);
  }
  out_.append(waiting_, done, std::string::npos);
  waiting_.clear();
  holes_.clear();
  records_.clear();
  for (Column& c : columns_) c.waiting.clear();
}

void TCsvRows::AddMemoCell(Column& c, const Hole& hole, std::string& out) {
  if (!c.read[hole.index]) {
    AppendUtf8Cell(out, MemoOfRecord(c, hole.record));
    return;
  }
  std::string& text = c.contents[hole.index];
  Transliterate(c, text);
  AppendUtf8Cell(out, text);
}

// As the field's blob stream converts a memo: a piece at a time, as TBlobField reads it,
// each piece converted in place.
void TCsvRows::Transliterate(const Column& c, std::string& text) const {
  if (!c.transliterate || PlainBytes(text.data(), text.size())) return;
  constexpr size_t kPiece = 8192;
  for (size_t at = 0; at < text.size(); at += kPiece) {
    const size_t n = std::min(kPiece, text.size() - at);
    const std::string ansi = data_set_.NativeToAnsi(text.substr(at, n));
    std::memcpy(text.data() + at, ansi.data(), std::min(ansi.size(), n));
  }
}

// The way the field's blob stream reads a memo it was not given: opened on the record's
// bytes, read whole, let go; what fails, fails as it does there.
std::string TCsvRows::MemoOfRecord(const Column& c, uint32_t record) {
  if (blob_record_.empty()) Check(engine::kErrInvalidParameter);
  std::memcpy(blob_record_.data(), records_.data() + size_t{record} * record_bytes_, record_bytes_);
  auto* bytes = reinterpret_cast<uint8_t*>(blob_record_.data());
  const auto number = static_cast<uint16_t>(c.field->FieldNumber());
  Check(engine::OpenBlob(data_set_.Handle(), bytes, number, engine::BlobMode::kReadOnly));
  std::string text;
  uint32_t size = 0;
  engine::Result r = engine::GetBlobSize(data_set_.Handle(), bytes, number, size);
  if (r == engine::kOk && size > 0) {
    text.resize(size);
    uint32_t read = 0;
    r = engine::GetBlob(data_set_.Handle(), bytes, number, 0, size,
                        reinterpret_cast<uint8_t*>(text.data()), read);
    text.resize(read);
  }
  engine::FreeBlob(data_set_.Handle(), bytes, number);
  Check(r);
  Transliterate(c, text);
  return text;
}

}  // namespace snyltdyr
