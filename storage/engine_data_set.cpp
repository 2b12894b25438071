#include "storage/engine_data_set.h"

#include <algorithm>
#include <cstring>

#include "dataset/fields/blob_field.h"
#include "dataset/data_set_messages.h"
#include "dataset/filters/expr_parser.h"
#include "dataset/fields/field.h"
#include "dataset/fields/fields.h"
#include "dataset/try_finally.h"
#include "runtime/date_time.h"
#include "storage/db_engine_error.h"
#include "runtime/cp1252.h"
#include "storage/engine_blob_stream.h"
#include "storage/field_def_map.h"

namespace snyltdyr {

namespace {

constexpr int32_t kInfoSize = 6;  // i32 record number, u8 update status, u8 bookmark flag
constexpr uint8_t kUpdateInserted = 2;

uint8_t* Bytes(TRecordBuffer buffer) { return reinterpret_cast<uint8_t*>(buffer); }

bool DataField(const TField& field) { return field.FieldNumber() > 0; }

}  // namespace

TEngineDataSet::TEngineDataSet(std::string name) : TDataSet(std::move(name)) {}

TEngineDataSet::~TEngineDataSet() = default;

// ---- Open and close -----------------------------------------------------------------------

void TEngineDataSet::OpenStorage(bool info_only) {
  if (!info_only && !StorageCursorOpen()) {
    cursor_ = CreateCursor(false);
    if (cursor_ == engine::kNoHandle) DatabaseError("Error creating cursor handle");
  }
  TDataSet::OpenStorage(info_only);
}

void TEngineDataSet::OpenStorageCursor() {
  engine::CursorProperties props;
  Check(engine::GetCursorProperties(cursor_, props));
  record_size_ = props.record_size;
  bookmark_size_ = props.bookmark_size;
  switch (props.numbering) {
    case engine::RecordNumbering::kPhysical: rec_no_kind_ = TRecNoKind::rnDbase; break;
    case engine::RecordNumbering::kSequence: rec_no_kind_ = TRecNoKind::rnSequence; break;
    default: rec_no_kind_ = TRecNoKind::rnNone; break;
  }
  can_modify_ = props.open_mode == engine::OpenMode::kReadWrite;

  ReadFieldDefinitions();
  ReadIndexInfo();
  if (DefaultFields()) CreateDefaultFields();
  Fields().Bind(FieldDefs());
  ComputeBufferAreas();
  CursorToStart();
  OpenCursorIndex();

  if (!Filter().empty()) expr_filter_ = BuildExpressionFilter(Filter(), FilterOptions());
  if (Filtered()) ActivateFilters();
}

void TEngineDataSet::CreateDefaultFields() {
  for (const TFieldDef& def : FieldDefs()) {
    std::unique_ptr<TField> field = NewFieldOfType(def.data_type);
    if (!field) continue;  // a column no field class can hold stays out of the list
    field->SetFieldName(def.name);
    if (def.data_type == ftString || def.data_type == ftFixedChar) field->SetSize(def.size);
    field->SetDataSet(this);
    default_fields_.push_back(std::move(field));
  }
}

void TEngineDataSet::CloseStorageCursor() {
  // Filter handles die with the cursor.
  expr_filter_ = engine::kNoHandle;
  Fields().Unbind();
  for (auto& field : default_fields_) field->SetDataSet(nullptr);
  default_fields_.clear();
  ResetIndexInfo();
  can_modify_ = false;
}

void TEngineDataSet::CloseSequence() {
  TDataSet::CloseSequence();
  locale_ = DefaultLocale();
  DestroyCursor();
}

void TEngineDataSet::DestroyCursor() {
  if (cursor_ == engine::kNoHandle) return;
  const engine::Handle cursor = cursor_;
  cursor_ = engine::kNoHandle;
  engine::ReleaseRecordLock(cursor);
  engine::CloseCursor(cursor);
}

engine::Handle TEngineDataSet::DefaultLocale() const { return engine::kNoHandle; }

void TEngineDataSet::HandleStorageException(const Exception& error) { throw error; }

// ---- Field definitions ----------------------------------------------------------------------

void TEngineDataSet::ReadFieldDefinitions() {
  std::vector<engine::FieldDescriptor> descriptors;
  Check(engine::GetFieldDescriptors(cursor_, descriptors));
  DefinitionsFromDescriptors(descriptors);
}

void TEngineDataSet::DefinitionsFromDescriptors(
    const std::vector<engine::FieldDescriptor>& descriptors) {
  TFieldDefs& defs = FieldDefs();
  defs.Clear();
  for (const engine::FieldDescriptor& descriptor : descriptors) {
    std::string name = NativeToAnsi(descriptor.name);
    // A name that is already taken gets a number until it is unique.
    if (defs.IndexOf(name) >= 0) {
      for (int n = 1;; ++n) {
        std::string numbered = name + "_" + std::to_string(n);
        if (defs.IndexOf(numbered) < 0) {
          name = std::move(numbered);
          break;
        }
      }
    }
    TFieldDef def;
    DefinitionOf(descriptor, def);
    TFieldDef& added = defs.Add(name, def.data_type, def.size, def.required);
    added.precision = def.precision;
    added.read_only = def.read_only;
    added.fixed_char = def.fixed_char;
  }
  defs.SetStale(false);
}

// ---- Index information -----------------------------------------------------------------------

void TEngineDataSet::ReadIndexInfo() {
  ResetIndexInfo();
  engine::IndexDescriptor index;
  if (cursor_ == engine::kNoHandle || engine::GetCurrentIndex(cursor_, index) != engine::kOk) {
    return;  // record order: no index information
  }
  index_info_.expression = index.expression;
  index_info_.case_insensitive = index.case_insensitive;
  const size_t count = std::min<size_t>(index.field_numbers.size(), 16);
  index_info_.field_count = static_cast<int>(count);
  for (size_t i = 0; i < count; ++i) index_info_.field_numbers[i] = index.field_numbers[i];
  index_info_.key_size = index.key_length;
}

void TEngineDataSet::SwitchToIndexBuffers() {
  ResetIndexInfo();
  engine::CursorProperties props;
  Check(engine::GetCursorProperties(cursor_, props));
  // The cached memos go while the old layout still says where they are.
  for (int32_t i = 0; i <= WindowSize(); ++i) {
    if (TRecordBuffer buffer = BufferAt(i)) ClearBlobCache(buffer);
  }
  record_size_ = props.record_size;
  bookmark_size_ = props.bookmark_size;
  ComputeBufferAreas();
  releasing_old_layout_ = true;
  try {
    ReallocateBuffers();
  } catch (...) {
    releasing_old_layout_ = false;
    ChangeState(StateInactive);
    CloseSequence();
    throw;
  }
  releasing_old_layout_ = false;
  ReadIndexInfo();
}

// ---- Record buffers ----------------------------------------------------------------------------

void TEngineDataSet::ComputeBufferAreas() {
  calc_offsets_.clear();
  calc_size_ = 0;
  for (int32_t i = 0; i < Fields().Count(); ++i) {
    const TField* field = Fields()[i];
    if (DataField(*field) || field->FieldKind() == fkData) continue;
    calc_offsets_.emplace_back(field, calc_size_);
    calc_size_ += 1 + field->ValueSize();
  }
  blob_field_numbers_.clear();
  for (const TFieldDef& def : FieldDefs()) {
    if (IsBlobType(def.data_type)) blob_field_numbers_.push_back(def.field_no);
  }
  calc_offset_ = record_size_;
  blob_cache_offset_ = calc_offset_ + calc_size_;
  info_offset_ = blob_cache_offset_ +
                 static_cast<int32_t>(blob_field_numbers_.size() * sizeof(std::string*));
  bookmark_offset_ = info_offset_ + kInfoSize;
  buffer_size_ = bookmark_offset_ + bookmark_size_;
}

TRecordBuffer TEngineDataSet::AllocateRecordBuffer() {
  return new char[static_cast<size_t>(buffer_size_)]();
}

void TEngineDataSet::ReleaseRecordBuffer(TRecordBuffer buffer) {
  if (buffer == nullptr) return;
  if (!releasing_old_layout_) ClearBlobCache(buffer);
  delete[] buffer;
}

void TEngineDataSet::ClearRecordBuffer(TRecordBuffer buffer) {
  Check(engine::InitRecord(cursor_, Bytes(buffer)));
}

void TEngineDataSet::BlankCalcArea(TRecordBuffer buffer) {
  std::memset(buffer + calc_offset_, 0, static_cast<size_t>(calc_size_));
}

void TEngineDataSet::PrepareNewRecord(TRecordBuffer buffer) {
  TDataSet::PrepareNewRecord(buffer);
  ClearBlobCache(buffer);
  const int32_t record_number = -1;
  std::memcpy(buffer + info_offset_, &record_number, sizeof record_number);
  buffer[info_offset_ + 4] = static_cast<char>(kUpdateInserted);
  buffer[info_offset_ + 5] = static_cast<char>(BookmarkInserted);
}

void TEngineDataSet::FillRecordInfo(TRecordBuffer buffer, const engine::RecordProperties& props) {
  int32_t record_number = -1;
  if (rec_no_kind_ == TRecNoKind::rnDbase) {
    record_number = static_cast<int32_t>(props.physical_number);
  } else if (rec_no_kind_ == TRecNoKind::rnSequence) {
    record_number = static_cast<int32_t>(props.sequence_number);
  }
  std::memcpy(buffer + info_offset_, &record_number, sizeof record_number);
  buffer[info_offset_ + 4] = static_cast<char>(props.update_status);
  buffer[info_offset_ + 5] = static_cast<char>(BookmarkCurrent);
}

void TEngineDataSet::CalculateFieldsIn(TRecordBuffer buffer) {
  calc_buffer_ = buffer;
  TryFinally([&] { CalculateFields(buffer); }, [&] { calc_buffer_ = nullptr; });
}

TRecordBuffer TEngineDataSet::StateBuffer() const {
  if (pass_buffer_ != nullptr && (DataState() == StateBrowse || DataState() == StateEdit))
    return pass_buffer_;
  switch (DataState()) {
    case StateBrowse:
    case StateEdit:
    case StateInsert:
      return NoRecords() ? nullptr : ActiveBuffer();
    case StateCalcFields: return calc_buffer_ != nullptr ? calc_buffer_ : ActiveBuffer();
    case StateFilter: return filter_buffer_;
    default: return nullptr;
  }
}

// ---- Fetching and positioning ----------------------------------------------------------------

TFetchResult TEngineDataSet::FetchRecord(TRecordBuffer buffer, TFetchMode mode,
                                         bool raise_on_error) {
  for (;;) {
    engine::RecordProperties props;
    engine::Result r = engine::kOk;
    switch (mode) {
      case FetchCurrent:
        r = engine::GetRecord(cursor_, engine::LockMode::kNoLock, Bytes(buffer), &props);
        break;
      case FetchNext:
        r = engine::GetNextRecord(cursor_, engine::LockMode::kNoLock, Bytes(buffer), &props);
        break;
      case FetchPrior:
        r = engine::GetPriorRecord(cursor_, engine::LockMode::kNoLock, Bytes(buffer), &props);
        break;
    }
    if (r == engine::kErrBeginningOfTable) return FetchBOF;
    if (r == engine::kErrEndOfTable) return FetchEOF;
    if (r != engine::kOk) {
      if (raise_on_error) DbiError(r);
      return FetchError;
    }
    FillRecordInfo(buffer, props);
    ClearBlobCache(buffer);
    if (CallbackFilterActive() && !PassesCallbackFilter(buffer)) {
      // The handler refused the record: move on in the same direction.
      if (mode == FetchCurrent) {
        if (raise_on_error) DatabaseError(msg::kRecordNotFound);
        return FetchError;
      }
      continue;
    }
    CalculateFieldsIn(buffer);
    Check(engine::GetBookmark(cursor_, Bytes(buffer + bookmark_offset_)));
    return FetchOK;
  }
}

void TEngineDataSet::CursorToStart() { Check(engine::SetToBeginning(cursor_)); }

void TEngineDataSet::CursorToEnd() { Check(engine::SetToEnd(cursor_)); }

void TEngineDataSet::CursorToBookmark(const TBookmark& bookmark) {
  if (static_cast<int32_t>(bookmark.size()) < bookmark_size_ || bookmark_size_ == 0) {
    DatabaseError(msg::kRecordNotFound);
  }
  Check(engine::SetToBookmark(cursor_, reinterpret_cast<const uint8_t*>(bookmark.data())));
}

void TEngineDataSet::CursorToBuffer(TRecordBuffer buffer) {
  TBookmark bookmark;
  ReadBookmarkData(buffer, bookmark);
  CursorToBookmark(bookmark);
}

void TEngineDataSet::ReadBookmarkData(TRecordBuffer buffer, TBookmark& out) {
  out.assign(buffer + bookmark_offset_, static_cast<size_t>(bookmark_size_));
}

void TEngineDataSet::WriteBookmarkData(TRecordBuffer buffer, const TBookmark& data) {
  const size_t count = std::min(data.size(), static_cast<size_t>(bookmark_size_));
  std::memset(buffer + bookmark_offset_, 0, static_cast<size_t>(bookmark_size_));
  std::memcpy(buffer + bookmark_offset_, data.data(), count);
}

TBookmarkFlag TEngineDataSet::ReadBookmarkFlag(TRecordBuffer buffer) {
  return static_cast<TBookmarkFlag>(buffer[info_offset_ + 5]);
}

void TEngineDataSet::WriteBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag) {
  buffer[info_offset_ + 5] = static_cast<char>(flag);
}

// ---- Bookmarks -----------------------------------------------------------------------------------

TBookmark TEngineDataSet::GetBookmark() {
  TBookmark bookmark;
  if (!Active() || NoRecords()) return bookmark;
  const snyltdyr::DataState state = DataState();
  if (state != StateBrowse && state != StateEdit && state != StateInsert) return bookmark;
  if (ReadBookmarkFlag(ActiveBuffer()) != BookmarkCurrent) return bookmark;
  ReadBookmarkData(ActiveBuffer(), bookmark);
  return bookmark;
}

int TEngineDataSet::CompareBookmarks(const TBookmark& a, const TBookmark& b) {
  if (a.empty() && b.empty()) return 0;
  if (a.empty()) return 1;
  if (b.empty()) return -1;
  if (cursor_ == engine::kNoHandle) return 0;
  int comparison = 0;
  Check(engine::CompareBookmarks(cursor_, reinterpret_cast<const uint8_t*>(a.data()),
                                 reinterpret_cast<const uint8_t*>(b.data()), comparison));
  if (comparison == 2) return 0;  // equal keys
  return comparison < 0 ? -1 : (comparison > 0 ? 1 : 0);
}

bool TEngineDataSet::BookmarkValid(const TBookmark& bookmark) {
  if (cursor_ == engine::kNoHandle || static_cast<int32_t>(bookmark.size()) < bookmark_size_ ||
      bookmark_size_ == 0) {
    return false;
  }
  SetCursorIndex(-1);  // the engine cursor moves
  return engine::SetToBookmark(cursor_, reinterpret_cast<const uint8_t*>(bookmark.data())) ==
             engine::kOk &&
         engine::GetRecord(cursor_, engine::LockMode::kNoLock, nullptr, nullptr) == engine::kOk;
}

void TEngineDataSet::GotoBookmark(const TBookmark& bookmark) {
  CheckActive();
  EnsureBrowseMode();
  if (BeforeScroll) BeforeScroll(*this);
  CursorToBookmark(bookmark);
  SetCursorIndex(-1);
  RefillBuffers(RefillExact | RefillCenter);
  if (AfterScroll) AfterScroll(*this);
}

// ---- Editing ------------------------------------------------------------------------------------------

void TEngineDataSet::BeginRecordEdit() {
  Check(engine::GetRecord(cursor_, engine::LockMode::kWriteLock, Bytes(ActiveBuffer()), nullptr));
  ClearBlobCache(ActiveBuffer());
}

void TEngineDataSet::BeginRecordInsert() {
  Check(engine::SetMakeCrack(cursor_, true));
  SetCursorIndex(-1);
}

void TEngineDataSet::WriteRecord() {
  TDataSet::WriteRecord();
  if (DataState() == StateEdit) {
    Check(engine::ModifyRecord(cursor_, Bytes(ActiveBuffer()), true));
  } else if (DataState() == StateInsert) {
    Check(engine::InsertRecord(cursor_, engine::LockMode::kNoLock, Bytes(ActiveBuffer())));
  }
  // The memo contents went to the file with the record; their engine blobs are done.
  FreeBlobsOf(ActiveBuffer());
}

void TEngineDataSet::AbandonRecordEdit() {
  if (DataState() == StateEdit) engine::ReleaseRecordLock(cursor_);
  // Blobs written while editing are dropped with the edit.
  if (!NoRecords()) FreeBlobsOf(ActiveBuffer());
}

void TEngineDataSet::FreeBlobsOf(TRecordBuffer buffer) {
  if (buffer == nullptr) return;
  for (int32_t number : blob_field_numbers_) {
    engine::FreeBlob(cursor_, Bytes(buffer), static_cast<uint16_t>(number));
  }
}

void TEngineDataSet::DeleteAtCursor() {
  const engine::Result r = engine::DeleteRecord(cursor_);
  // A record that is already gone needs no deleting.
  if (r != engine::kOk && engine::Category(r) != engine::kCategoryNotFound) DbiError(r);
}

void TEngineDataSet::AddRecordDirect(TRecordBuffer buffer, bool append) {
  if (append) {
    Check(engine::AppendRecord(cursor_, Bytes(buffer)));
  } else {
    Check(engine::InsertRecord(cursor_, engine::LockMode::kNoLock, Bytes(buffer)));
  }
}

void TEngineDataSet::RereadStorage() { Check(engine::ForceReread(cursor_)); }

bool TEngineDataSet::Modifiable() const { return can_modify_; }

std::string TEngineDataSet::ReadOnlyReason() const {
  engine::CursorProperties props;
  if (cursor_ == engine::kNoHandle || engine::GetCursorProperties(cursor_, props) != engine::kOk)
    return {};
  return props.write_refusal;
}

std::string TEngineDataSet::CodePageNote(bool* uncertain) const {
  engine::CursorProperties props;
  if (cursor_ == engine::kNoHandle || engine::GetCursorProperties(cursor_, props) != engine::kOk)
    return {};
  if (uncertain != nullptr) *uncertain = props.code_page_uncertain;
  return props.code_page_note;
}

// ---- Record count and numbers -------------------------------------------------------------------

int32_t TEngineDataSet::RecordTotal() {
  CheckActive();
  if (CallbackFilterActive()) return CountWithCallbackFilter();
  uint32_t count = 0;
  if (engine::GetExactRecordCount(cursor_, count) == engine::kOk) {
    return static_cast<int32_t>(count);
  }
  if (engine::GetRecordCount(cursor_, count) == engine::kOk) return static_cast<int32_t>(count);
  return -1;
}

int32_t TEngineDataSet::RecordNumber() const {
  CheckActive();
  TRecordBuffer buffer = DataState() == StateCalcFields ? calc_buffer_ : ActiveBuffer();
  if (pass_buffer_ != nullptr) buffer = pass_buffer_;
  if (buffer == nullptr || (NoRecords() && pass_buffer_ == nullptr)) return -1;
  int32_t number = -1;
  std::memcpy(&number, buffer + info_offset_, sizeof number);
  return number;
}

bool TEngineDataSet::IsNumbered() const {
  return rec_no_kind_ == TRecNoKind::rnSequence && !Filtered();
}

// ---- Filters ----------------------------------------------------------------------------------------

engine::Handle TEngineDataSet::BuildExpressionFilter(const std::string& text,
                                                     TFilterOptions options) {
  // The parser raises for a bad text before the engine is touched.
  TExprParser parser(*this, text, options, 0, std::string(), nullptr, EngineTypeMap());
  engine::Handle filter = engine::kNoHandle;
  Check(engine::AddFilter(cursor_, parser.FilterData()->data(), 0, filter));
  return filter;
}

void TEngineDataSet::ActivateFilters() {
  if (expr_filter_ == engine::kNoHandle) return;
  if (engine::ActivateFilter(cursor_, expr_filter_) == engine::kOk) return;
  // The engine lost the filter: build it again from the current text.
  DropExpressionFilter();
  if (!Filter().empty()) expr_filter_ = BuildExpressionFilter(Filter(), FilterOptions());
  if (expr_filter_ != engine::kNoHandle) Check(engine::ActivateFilter(cursor_, expr_filter_));
}

void TEngineDataSet::DeactivateFilters() {
  if (expr_filter_ != engine::kNoHandle) Check(engine::DeactivateFilter(cursor_, expr_filter_));
}

void TEngineDataSet::DropExpressionFilter() {
  if (expr_filter_ == engine::kNoHandle) return;
  engine::DropFilter(cursor_, expr_filter_);
  expr_filter_ = engine::kNoHandle;
}

void TEngineDataSet::ReplaceExpressionFilter(const std::string& text, TFilterOptions options) {
  const engine::Handle replacement =
      text.empty() ? engine::kNoHandle : BuildExpressionFilter(text, options);
  if (Filtered()) {
    SetCursorIndex(-1);
    CursorToStart();
    DropExpressionFilter();
    if (replacement != engine::kNoHandle) engine::ActivateFilter(cursor_, replacement);
  } else {
    DropExpressionFilter();
  }
  expr_filter_ = replacement;
}

void TEngineDataSet::SetFiltered(bool filtered) {
  if (!Active()) {
    TDataSet::SetFiltered(filtered);
    return;
  }
  EnsureBrowseMode();
  if (filtered != Filtered()) {
    CursorToStart();
    if (filtered) {
      ActivateFilters();
    } else {
      DeactivateFilters();
    }
    TDataSet::SetFiltered(filtered);
  }
  First();
}

void TEngineDataSet::SetFilter(const std::string& text) {
  if (!Active()) {
    TDataSet::SetFilter(text);
    return;
  }
  EnsureBrowseMode();
  if (text != Filter()) {
    ReplaceExpressionFilter(text, FilterOptions());
    TDataSet::SetFilter(text);
  }
  if (Filtered()) First();
}

void TEngineDataSet::SetFilterOptions(TFilterOptions options) {
  if (!Active()) {
    TDataSet::SetFilterOptions(options);
    return;
  }
  EnsureBrowseMode();
  if (options != FilterOptions()) {
    ReplaceExpressionFilter(Filter(), options);
    TDataSet::SetFilterOptions(options);
  }
  if (Filtered()) First();
}

void TEngineDataSet::SetOnFilterRecord(TFilterRecordEvent handler) {
  if (!Active()) {
    TDataSet::SetOnFilterRecord(std::move(handler));
    return;
  }
  EnsureBrowseMode();
  TDataSet::SetOnFilterRecord(std::move(handler));
  if (Filtered()) First();
}

// The engine evaluates filter trees only; the handler's filter is applied here, on every
// record the cursor delivers, while Filtered is on.
bool TEngineDataSet::CallbackFilterActive() const {
  return Filtered() && static_cast<bool>(OnFilterRecord());
}

bool TEngineDataSet::PassesCallbackFilter(TRecordBuffer buffer) {
  bool accept = true;
  filter_buffer_ = buffer;
  const snyltdyr::DataState saved = EnterTempState(StateFilter);
  try {
    OnFilterRecord()(*this, accept);
  } catch (...) {
    LeaveTempState(saved);
    filter_buffer_ = nullptr;
    throw;
  }
  LeaveTempState(saved);
  filter_buffer_ = nullptr;
  return accept;
}

int32_t TEngineDataSet::CountWithCallbackFilter() {
  std::vector<char> scratch(static_cast<size_t>(buffer_size_), 0);
  TRecordBuffer buffer = scratch.data();
  SetCursorIndex(-1);  // the walk moves the engine cursor
  CursorToStart();
  int32_t count = 0;
  while (engine::GetNextRecord(cursor_, engine::LockMode::kNoLock, Bytes(buffer), nullptr) ==
         engine::kOk) {
    if (PassesCallbackFilter(buffer)) ++count;
  }
  FreeBlobsOf(buffer);
  return count;
}

// ---- Field values -------------------------------------------------------------------------------------

int32_t TEngineDataSet::CalcOffset(const TField& field) const {
  for (const auto& [calc_field, offset] : calc_offsets_) {
    if (calc_field == &field) return offset;
  }
  return -1;
}

bool TEngineDataSet::ValueToStorage(const TField& field, const engine::FieldValue& value,
                                    void* out) const {
  if (value.blank) return false;
  if (out == nullptr || field.IsBlob()) return true;
  char* bytes = static_cast<char*>(out);
  switch (field.DataType()) {
    case ftString: case ftFixedChar: case ftWideString: case ftGuid: {
      // The value holds at most the field's Size characters and its zero byte.
      const size_t count = std::min(value.text.size(), static_cast<size_t>(field.Size()));
      std::memcpy(bytes, value.text.data(), count);
      bytes[count] = '\0';
      break;
    }
    case ftDate: std::memcpy(bytes, &value.date, sizeof value.date); break;
    case ftDateTime: case ftTimeStamp: {
      const double stamp = static_cast<double>(value.date) * kMillisecondsPerDay;
      std::memcpy(bytes, &stamp, sizeof stamp);
      break;
    }
    case ftBoolean: {
      const int16_t flag = value.boolean ? 1 : 0;
      std::memcpy(bytes, &flag, sizeof flag);
      break;
    }
    case ftSmallint: case ftWord: {
      const int16_t number = static_cast<int16_t>(value.number);
      std::memcpy(bytes, &number, sizeof number);
      break;
    }
    case ftInteger: case ftAutoInc: case ftTime: {
      const int32_t number = static_cast<int32_t>(value.number);
      std::memcpy(bytes, &number, sizeof number);
      break;
    }
    case ftLargeint: {
      const int64_t number = static_cast<int64_t>(value.number);
      std::memcpy(bytes, &number, sizeof number);
      break;
    }
    default: std::memcpy(bytes, &value.number, sizeof value.number); break;
  }
  return true;
}

engine::FieldValue TEngineDataSet::StorageToValue(const TField& field, const void* data) const {
  engine::FieldValue value;
  if (data == nullptr) return value;
  value.blank = false;
  const char* bytes = static_cast<const char*>(data);
  switch (field.DataType()) {
    case ftString: case ftFixedChar: case ftWideString: case ftGuid:
      value.text.assign(bytes, ::strnlen(bytes, static_cast<size_t>(field.Size())));
      break;
    case ftDate: std::memcpy(&value.date, bytes, sizeof value.date); break;
    case ftDateTime: case ftTimeStamp: {
      double stamp = 0;
      std::memcpy(&stamp, bytes, sizeof stamp);
      value.date = static_cast<int32_t>(stamp / kMillisecondsPerDay);
      break;
    }
    case ftBoolean: {
      int16_t flag = 0;
      std::memcpy(&flag, bytes, sizeof flag);
      value.boolean = flag != 0;
      break;
    }
    case ftSmallint: case ftWord: {
      int16_t number = 0;
      std::memcpy(&number, bytes, sizeof number);
      value.number = number;
      break;
    }
    case ftInteger: case ftAutoInc: case ftTime: {
      int32_t number = 0;
      std::memcpy(&number, bytes, sizeof number);
      value.number = number;
      break;
    }
    case ftLargeint: {
      int64_t number = 0;
      std::memcpy(&number, bytes, sizeof number);
      value.number = static_cast<double>(number);
      break;
    }
    default: std::memcpy(&value.number, bytes, sizeof value.number); break;
  }
  return value;
}

bool TEngineDataSet::ReadFieldData(TField& field, void* out) {
  TRecordBuffer buffer = StateBuffer();
  if (buffer == nullptr) return false;
  if (DataField(field)) {
    engine::FieldValue value;
    Check(engine::GetField(cursor_, static_cast<uint16_t>(field.FieldNumber()), Bytes(buffer),
                           value));
    return ValueToStorage(field, value, out);
  }
  const int32_t offset = CalcOffset(field);
  if (offset < 0) return false;
  const char* area = buffer + calc_offset_ + offset;
  if (area[0] == 0) return false;
  if (out != nullptr) std::memcpy(out, area + 1, static_cast<size_t>(field.ValueSize()));
  return true;
}

void TEngineDataSet::WriteFieldData(TField& field, const void* data) {
  const snyltdyr::DataState state = DataState();
  switch (state) {
    case StateEdit: case StateInsert: case StateSetKey: case StateCalcFields: case StateFilter:
    case StateNewValue: case StateInternalCalc:
      break;
    default:
      DatabaseError(msg::kNotEditing);
  }
  TRecordBuffer buffer = StateBuffer();
  if (buffer == nullptr) DatabaseError(msg::kNotEditing);
  if (DataField(field)) {
    if (state == StateCalcFields) DatabaseError(msg::kNotEditing);
    if (field.ReadOnly()) DatabaseError("Field '" + field.MessageName() + "' cannot be modified");
    field.Validate(data);
    Check(engine::PutField(cursor_, static_cast<uint16_t>(field.FieldNumber()), Bytes(buffer),
                           StorageToValue(field, data)));
  } else {
    const int32_t offset = CalcOffset(field);
    if (offset < 0) return;
    char* area = buffer + calc_offset_ + offset;
    area[0] = data != nullptr ? 1 : 0;
    if (data != nullptr) std::memcpy(area + 1, data, static_cast<size_t>(field.ValueSize()));
  }
  if (state != StateCalcFields && state != StateFilter && state != StateNewValue) {
    NotifyDataEvent(EventFieldChanged, reinterpret_cast<std::intptr_t>(&field));
  }
}

// ---- Blob cache ----------------------------------------------------------------------------------------

int32_t TEngineDataSet::BlobSlot(const TField& field) const {
  const auto it = std::find(blob_field_numbers_.begin(), blob_field_numbers_.end(),
                            field.FieldNumber());
  if (it == blob_field_numbers_.end()) return -1;
  return static_cast<int32_t>(it - blob_field_numbers_.begin());
}

// Slots hold a pointer each, copied in and out because the area need not be aligned.
std::string* TEngineDataSet::CachedBlobAt(TRecordBuffer buffer, int32_t slot) const {
  std::string* content = nullptr;
  std::memcpy(&content, buffer + blob_cache_offset_ + slot * sizeof(std::string*),
              sizeof content);
  return content;
}

void TEngineDataSet::SetCachedBlobAt(TRecordBuffer buffer, int32_t slot,
                                     std::string* content) const {
  std::memcpy(buffer + blob_cache_offset_ + slot * sizeof(std::string*), &content,
              sizeof content);
}

void TEngineDataSet::ClearBlobCache(TRecordBuffer buffer) {
  for (size_t slot = 0; slot < blob_field_numbers_.size(); ++slot) {
    const auto index = static_cast<int32_t>(slot);
    delete CachedBlobAt(buffer, index);
    SetCachedBlobAt(buffer, index, nullptr);
  }
}

const std::string* TEngineDataSet::CachedBlob(TRecordBuffer buffer, const TField& field) const {
  const int32_t slot = BlobSlot(field);
  return slot < 0 ? nullptr : CachedBlobAt(buffer, slot);
}

void TEngineDataSet::SetCachedBlob(TRecordBuffer buffer, const TField& field,
                                   std::string content) {
  const int32_t slot = BlobSlot(field);
  if (slot < 0) return;
  delete CachedBlobAt(buffer, slot);
  SetCachedBlobAt(buffer, slot, new std::string(std::move(content)));
}

void TEngineDataSet::DropCachedBlob(TRecordBuffer buffer, const TField& field) {
  const int32_t slot = BlobSlot(field);
  if (slot < 0) return;
  delete CachedBlobAt(buffer, slot);
  SetCachedBlobAt(buffer, slot, nullptr);
}

std::unique_ptr<TBlobStream> TEngineDataSet::OpenBlobStream(TField& field, TBlobStreamMode mode) {
  return std::make_unique<TEngineBlobStream>(*this, field, mode);
}

// ---- Native text ----------------------------------------------------------------------------------------

std::string TEngineDataSet::AnsiToNative(const std::string& ansi) const {
  std::lock_guard<std::mutex> guard(to_native_lock_);
  // Without a language driver the text goes as it is: this platform's file names and
  // texts have no separate OEM form.
  if (locale_ == engine::kNoHandle) return ansi;
  std::string native;
  Check(engine::AnsiToNative(locale_, ansi, native));
  return native;
}

std::string TEngineDataSet::NativeToAnsi(const std::string& native) const {
  std::lock_guard<std::mutex> guard(to_ansi_lock_);
  if (locale_ == engine::kNoHandle) return native;
  std::string ansi;
  Check(engine::NativeToAnsi(locale_, native, ansi));
  return ansi;
}

void TEngineDataSet::TranslateText(std::string& text, bool to_storage) {
  // Nothing to convert in plain ASCII, nearly every field a pass reads or writes: spared
  // the conversion's lock and driver lookup.
  if (IsPlainAscii(text)) return;
  text = to_storage ? AnsiToNative(text) : NativeToAnsi(text);
}

}  // namespace snyltdyr
