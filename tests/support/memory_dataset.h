// An in-memory binding of TDataSet for the tests of the dataset layer.
//
// The "table" is a vector of rows; each row holds one optional value per column in the
// storage form the fields exchange (text, a double, a 32-bit day number; a memo as its
// text). The cursor is a position: -1 before the first row, rows.size() after the last,
// otherwise on a row, so a deleted row leaves the cursor on the row that followed it.
// A bookmark is the row's id, which never changes.
//
// Failures can be injected per operation (fail_edits, fail_writes, ...: that many calls
// raise an EDatabaseError), and every call of a storage operation can be logged.
#pragma once

#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dataset/fields/blob_field.h"
#include "dataset/data_set.h"
#include "dataset/fields/date_time_field.h"
#include "dataset/fields/field.h"
#include "dataset/fields/fields.h"
#include "dataset/fields/numeric_field.h"
#include "dataset/fields/string_field.h"

namespace snyltdyr::testing {

using Value = std::optional<std::string>;

inline Value Text(const std::string& text) { return text; }
inline Value Number(double value) {
  return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}
inline Value Day(int32_t day_number) {
  return std::string(reinterpret_cast<const char*>(&day_number), sizeof day_number);
}
inline double AsNumber(const Value& value) {
  double result = 0;
  if (value) std::memcpy(&result, value->data(), sizeof result);
  return result;
}

struct MemoryColumn {
  std::string name;
  TFieldType type = ftString;
  int size = 0;
};

struct MemoryRow {
  int id = 0;
  std::vector<Value> values;
};

class TMemoryDataSet : public TDataSet {
 public:
  explicit TMemoryDataSet(std::string name = "MemoryTable") : TDataSet(std::move(name)) {}
  ~TMemoryDataSet() override { CloseForDestruction(); }

  // ---- The stored table ---------------------------------------------------------------
  std::vector<MemoryColumn> columns;
  std::vector<MemoryRow> rows;

  void AddColumn(const std::string& name, TFieldType type, int size = 0) {
    columns.push_back({name, type, size});
  }
  // Appends a stored row; missing values are null.
  void AddRow(std::vector<Value> values) {
    values.resize(columns.size());
    rows.push_back({next_id_++, std::move(values)});
  }
  int ColumnIndex(const std::string& name) const {
    for (size_t i = 0; i < columns.size(); ++i) {
      if (columns[i].name == name) return static_cast<int>(i);
    }
    return -1;
  }
  const Value& Stored(size_t row, const std::string& column) const {
    return rows.at(row).values.at(static_cast<size_t>(ColumnIndex(column)));
  }

  // ---- Test controls --------------------------------------------------------------------
  bool read_only = false;
  int fail_edits = 0;    // BeginRecordEdit raises this many times
  int fail_writes = 0;   // WriteRecord raises this many times
  int fail_deletes = 0;  // DeleteAtCursor raises this many times
  int fail_fetches = 0;  // FetchRecord (next / prior) raises this many times
  int fetch_count = 0;   // FetchRecord calls so far
  std::vector<std::string>* log = nullptr;  // storage operations but fetches, when set
  int live_buffers = 0;  // allocated and not yet released

  int cursor() const { return cursor_; }

  // The text of `column` in every buffered record, top row first ("" for null); the
  // current row is marked with a leading '>'.
  std::vector<std::string> Window(const std::string& column = "NAVN") const {
    std::vector<std::string> texts;
    const size_t index = static_cast<size_t>(ColumnIndex(column));
    for (int32_t i = 0; i < BufferedCount(); ++i) {
      const Value& value = ToBuffer(BufferAt(i))->values.at(index);
      texts.push_back((i == ActiveIndex() ? ">" : "") + value.value_or(""));
    }
    return texts;
  }

  // ---- Overrides ----------------------------------------------------------------------
  int32_t RecordTotal() override {
    CheckActive();
    return static_cast<int32_t>(rows.size());
  }
  bool Modifiable() const override { return !read_only; }

  bool ReadFieldData(TField& field, void* out) override {
    Buffer* buffer = StateBuffer();
    if (buffer == nullptr || field.FieldNumber() <= 0) return false;
    const size_t column = static_cast<size_t>(field.FieldNumber() - 1);
    const Value& value = buffer->values.at(column);
    if (!value) return false;
    if (columns[column].type == ftMemo) return !value->empty();
    if (out != nullptr) {
      std::memcpy(out, value->data(), value->size());
      if (IsText(column)) static_cast<char*>(out)[value->size()] = '\0';
    }
    return true;
  }

  void WriteFieldData(TField& field, const void* data) override {
    if (DataState() != StateEdit && DataState() != StateInsert) {
      DatabaseError("Dataset not in edit or insert mode");
    }
    if (field.ReadOnly()) throw EDatabaseError("Field '" + field.FieldName() + "' cannot be modified");
    field.Validate(data);
    const size_t column = static_cast<size_t>(field.FieldNumber() - 1);
    Value value;
    if (data != nullptr) {
      const char* bytes = static_cast<const char*>(data);
      if (IsText(column)) {
        value = std::string(bytes, strnlen(bytes, static_cast<size_t>(columns[column].size)));
      } else {
        value = std::string(bytes, static_cast<size_t>(field.ValueSize()));
      }
    }
    ToBuffer(ActiveBuffer())->values.at(column) = std::move(value);
    NotifyDataEvent(EventFieldChanged, reinterpret_cast<std::intptr_t>(&field));
  }

  std::unique_ptr<TBlobStream> OpenBlobStream(TField& field, TBlobStreamMode mode) override {
    if (mode != bmRead && DataState() != StateEdit && DataState() != StateInsert) {
      DatabaseError("Dataset not in edit or insert mode");
    }
    return std::make_unique<MemoStream>(*this, field, mode);
  }

 protected:
  TFetchResult FetchRecord(TRecordBuffer record, TFetchMode mode, bool raise_on_error) override {
    ++fetch_count;
    if (mode != FetchCurrent && fail_fetches > 0) {
      --fail_fetches;
      if (raise_on_error) DatabaseError("fetch failed");
      return FetchError;
    }
    const int count = static_cast<int>(rows.size());
    if (mode == FetchNext) {
      if (cursor_ >= count - 1) {
        cursor_ = count;
        return FetchEOF;
      }
      ++cursor_;
    } else if (mode == FetchPrior) {
      if (cursor_ <= 0) {
        cursor_ = -1;
        return FetchBOF;
      }
      --cursor_;
    } else if (cursor_ < 0 || cursor_ >= count) {
      return cursor_ < 0 ? FetchBOF : FetchEOF;
    }
    Buffer* buffer = ToBuffer(record);
    buffer->values = rows[static_cast<size_t>(cursor_)].values;
    buffer->flag = BookmarkCurrent;
    buffer->bookmark = std::to_string(rows[static_cast<size_t>(cursor_)].id);
    return FetchOK;
  }

  void CloseStorageCursor() override {
    Log("close cursor");
    open_ = false;
    Fields().Unbind();
  }
  void HandleStorageException(const Exception&) override {}
  void ReadFieldDefinitions() override {
    FieldDefs().Clear();
    for (const MemoryColumn& column : columns) FieldDefs().Add(column.name, column.type, column.size);
  }
  void OpenStorageCursor() override {
    Log("open cursor");
    ReadFieldDefinitions();
    Fields().Bind(FieldDefs());
    cursor_ = -1;
    open_ = true;
  }
  bool StorageCursorOpen() const override { return open_; }

  TRecordBuffer AllocateRecordBuffer() override {
    ++live_buffers;
    auto* buffer = new Buffer;
    buffer->values.resize(columns.size());
    return reinterpret_cast<TRecordBuffer>(buffer);
  }
  void ReleaseRecordBuffer(TRecordBuffer buffer) override {
    --live_buffers;
    delete ToBuffer(buffer);
  }
  void ClearRecordBuffer(TRecordBuffer buffer) override {
    for (Value& value : ToBuffer(buffer)->values) value.reset();
    ToBuffer(buffer)->bookmark.clear();
  }
  void ReadBookmarkData(TRecordBuffer buffer, TBookmark& out) override {
    out = ToBuffer(buffer)->bookmark;
  }
  TBookmarkFlag ReadBookmarkFlag(TRecordBuffer buffer) override { return ToBuffer(buffer)->flag; }
  void WriteBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag) override {
    ToBuffer(buffer)->flag = flag;
  }
  void WriteBookmarkData(TRecordBuffer buffer, const TBookmark& data) override {
    ToBuffer(buffer)->bookmark = data;
  }

  void CursorToStart() override { cursor_ = -1; }
  void CursorToEnd() override { cursor_ = static_cast<int>(rows.size()); }
  void CursorToBookmark(const TBookmark& bookmark) override {
    for (size_t i = 0; i < rows.size(); ++i) {
      if (std::to_string(rows[i].id) == bookmark) {
        cursor_ = static_cast<int>(i);
        return;
      }
    }
    DatabaseError("Record not found");
  }
  void CursorToBuffer(TRecordBuffer buffer) override {
    Buffer* b = ToBuffer(buffer);
    // An insert before no record (empty bookmark) goes at the end.
    if (b->flag == BookmarkInserted && b->bookmark.empty()) {
      CursorToEnd();
    } else {
      CursorToBookmark(b->bookmark);
    }
  }

  void BeginRecordEdit() override {
    Log("begin edit");
    if (fail_edits > 0) {
      --fail_edits;
      DatabaseError("record locked");
    }
  }
  void BeginRecordInsert() override {
    Log("begin insert");
    SetCursorIndex(-1);
  }
  void AbandonRecordEdit() override { Log("abandon"); }
  void RereadStorage() override { Log("reread"); }

  void WriteRecord() override {
    TDataSet::WriteRecord();
    Log("write");
    if (fail_writes > 0) {
      --fail_writes;
      DatabaseError("write failed");
    }
    const Buffer* buffer = ToBuffer(ActiveBuffer());
    if (DataState() == StateEdit) {
      rows.at(static_cast<size_t>(cursor_)).values = buffer->values;
    } else {
      // The cursor sits on the record the new one goes before (or after the last).
      const int at = std::max(cursor_, 0);
      rows.insert(rows.begin() + at, {next_id_++, buffer->values});
      cursor_ = at;
    }
  }

  void DeleteAtCursor() override {
    Log("delete");
    if (fail_deletes > 0) {
      --fail_deletes;
      DatabaseError("delete failed");
    }
    if (cursor_ >= 0 && cursor_ < static_cast<int>(rows.size())) {
      rows.erase(rows.begin() + cursor_);
    }
  }

 private:
  struct Buffer {
    std::vector<Value> values;
    TBookmarkFlag flag = BookmarkCurrent;
    TBookmark bookmark;
  };

  // Reads and writes a memo of the current record as a whole; a stream that wrote
  // stores its text in the record buffer and tells the dataset when it closes.
  class MemoStream : public TBlobStream {
   public:
    MemoStream(TMemoryDataSet& owner, TField& field, TBlobStreamMode mode)
        : owner_(owner), field_(field), mode_(mode) {
      if (mode == bmRead || mode == bmReadWrite) {
        Buffer* buffer = owner.StateBuffer();
        if (buffer != nullptr) {
          const Value& value = buffer->values.at(static_cast<size_t>(field.FieldNumber() - 1));
          if (value) text_ = *value;
        }
      }
    }
    ~MemoStream() override {
      if (!modified_) return;
      owner_.ToBuffer(owner_.ActiveBuffer())->values.at(static_cast<size_t>(field_.FieldNumber() - 1)) =
          text_;
      if (auto* blob = dynamic_cast<TBlobField*>(&field_)) blob->SetModified(true);
      try {
        owner_.NotifyDataEvent(EventFieldChanged, reinterpret_cast<std::intptr_t>(&field_));
      } catch (...) {
        // A failing notification must not escape a destructor.
      }
    }
    int64_t Read(char* buffer, int64_t count) override {
      const int64_t n = std::max<int64_t>(0, std::min<int64_t>(count, Size() - position_));
      std::memcpy(buffer, text_.data() + position_, static_cast<size_t>(n));
      position_ += n;
      return n;
    }
    int64_t Write(const char* buffer, int64_t count) override {
      if (mode_ == bmRead) return 0;
      if (position_ + count > Size()) text_.resize(static_cast<size_t>(position_ + count));
      std::memcpy(text_.data() + position_, buffer, static_cast<size_t>(count));
      position_ += count;
      modified_ = true;
      return count;
    }
    int64_t Seek(int64_t offset, TSeekOrigin origin) override {
      position_ = origin == soBeginning ? offset : origin == soCurrent ? position_ + offset : Size() + offset;
      return position_;
    }
    int64_t Size() override { return static_cast<int64_t>(text_.size()); }
    void Truncate() override {
      text_.resize(static_cast<size_t>(position_));
      modified_ = true;
    }

   private:
    TMemoryDataSet& owner_;
    TField& field_;
    TBlobStreamMode mode_;
    std::string text_;
    int64_t position_ = 0;
    bool modified_ = false;
  };

  static Buffer* ToBuffer(TRecordBuffer buffer) { return reinterpret_cast<Buffer*>(buffer); }

  // The buffer whose values the fields read: the current record's, none without one.
  Buffer* StateBuffer() const {
    if (!Active() || (DataState() == StateBrowse && NoRecords())) return nullptr;
    return ToBuffer(ActiveBuffer());
  }
  bool IsText(size_t column) const {
    return columns[column].type == ftString || columns[column].type == ftMemo;
  }
  void Log(const char* what) {
    if (log != nullptr) log->push_back(what);
  }

  int cursor_ = -1;
  int next_id_ = 1;
  bool open_ = false;
};

// A field of a type no field class of the program has (boolean, small integers, bytes).
class TTypedField : public TField {
 public:
  TTypedField(TFieldType type, int32_t size) {
    SetDataType(type);
    SetSizeUnchecked(size);
  }
};

// A persistent field named `name` for a column of `type` and `size` (texts), of the
// program's field class for that type, or a TTypedField.
inline std::unique_ptr<TField> NewFieldFor(const std::string& name, TFieldType type, int size) {
  std::unique_ptr<TField> field;
  switch (type) {
    case ftString: field = std::make_unique<TStringField>(); field->SetSize(size); break;
    case ftFloat: field = std::make_unique<TFloatField>(); break;
    case ftDate: field = std::make_unique<TDateField>(); break;
    case ftMemo: field = std::make_unique<TMemoField>(); break;
    default: field = std::make_unique<TTypedField>(type, size); break;
  }
  field->SetFieldName(name);
  return field;
}

// A table of the program's kinds of column with persistent fields bound by name:
// NAVN (text of 10), TALL (a float holding whole numbers), DATO (a date) and KOMENT
// (a memo). Row i (from 1) holds "R<i>", i, day 730000 + i and "memo <i>".
struct SampleTable {
  TMemoryDataSet table{"SnyltdyrTable"};
  TStringField navn{"SnyltdyrTableNAVN"};
  TFloatField tall{"SnyltdyrTableTALL"};
  TDateField dato{"SnyltdyrTableDATO"};
  TMemoField koment{"SnyltdyrTableKOMENT"};

  explicit SampleTable(int row_count) {
    table.AddColumn("NAVN", ftString, 10);
    table.AddColumn("TALL", ftFloat);
    table.AddColumn("DATO", ftDate);
    table.AddColumn("KOMENT", ftMemo, 10);
    for (int i = 1; i <= row_count; ++i) {
      table.AddRow({Text("R" + std::to_string(i)), Number(i), Day(730000 + i),
                    Text("memo " + std::to_string(i))});
    }
    navn.SetFieldName("NAVN");
    navn.SetSize(10);
    tall.SetFieldName("TALL");
    dato.SetFieldName("DATO");
    koment.SetFieldName("KOMENT");
    for (TField* field : std::vector<TField*>{&navn, &tall, &dato, &koment}) {
      field->SetDataSet(&table);
    }
  }
  // NAVN of every stored row, in order.
  std::vector<std::string> StoredNames() const {
    std::vector<std::string> names;
    for (size_t i = 0; i < table.rows.size(); ++i) names.push_back(table.Stored(i, "NAVN").value_or(""));
    return names;
  }
  // NAVN of the current record.
  std::string Current() const { return navn.AsString(); }
};

}  // namespace snyltdyr::testing
