#include "storage/table.h"

#include <filesystem>
#include <system_error>

#include "dataset/data_set_messages.h"
#include "runtime/cp1252.h"
#include "storage/db_engine_error.h"
#include "storage/session.h"

namespace snyltdyr {

namespace {

// Native names are cut to the engine's fixed buffers.
constexpr size_t kTableNameLimit = 260;
constexpr size_t kIndexFileLimit = 127;
constexpr size_t kIndexTagLimit = 31;
constexpr size_t kKeyExpressionLimit = 220;
constexpr size_t kMaxKeyFields = 16;

std::string Cut(std::string text, size_t limit) {
  if (text.size() > limit) text.resize(limit);
  return text;
}

// The name after the last directory separator.
std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The extension with its dot, upper-cased ("" when there is none).
std::string UpperExtension(const std::string& path) {
  const std::string base = BaseName(path);
  const size_t dot = base.rfind('.');
  return dot == std::string::npos ? std::string() : UpperCase1252(base.substr(dot));
}

std::string UpperStem(const std::string& path) {
  const std::string base = BaseName(path);
  return UpperCase1252(base.substr(0, base.rfind('.')));
}

std::string Trim(const std::string& text) {
  const size_t start = text.find_first_not_of(' ');
  if (start == std::string::npos) return {};
  return text.substr(start, text.find_last_not_of(' ') - start + 1);
}

std::vector<std::string> SplitNames(const std::string& list) {
  std::vector<std::string> names;
  size_t start = 0;
  for (;;) {
    const size_t end = list.find(';', start);
    const std::string name = Trim(list.substr(start, end - start));
    if (!name.empty()) names.push_back(name);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return names;
}

// The directory of a database name on this platform: a drive-letter path ("p:\a\b") is
// where that share is mounted (/mnt/p/a/b); empty is the working directory.
std::filesystem::path HostDirectory(const std::string& name) {
  std::string path = name;
  if (path.size() >= 2 && path[1] == ':' &&
      ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'))) {
    path = "/mnt/" + std::string(1, LowerChar1252(path[0])) + "/" + path.substr(2);
  }
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path.empty() ? std::filesystem::current_path() : std::filesystem::path(path);
}

// Whether `directory` holds a file named `name` without regard to case.
bool FileExistsAnyCase(const std::filesystem::path& directory, const std::string& name) {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(directory, error)) {
    if (SameText1252(entry.path().filename().string(), name)) return true;
  }
  return false;
}

}  // namespace

TTable::TTable(std::string name) : TDBDataSet(std::move(name)) {}

TTable::~TTable() { CloseForDestruction(); }

// ---- Properties ----------------------------------------------------------------------------------

void TTable::SetTableName(const std::string& name) {
  CheckInactive();
  table_name_ = name;
  native_table_name_.clear();
  index_files_.clear();
  NotifyDataEvent(EventPropertyChanged, 0);
}

void TTable::SetTableType(TTableType type) {
  CheckInactive();
  table_type_ = type;
}

void TTable::SetExclusive(bool exclusive) {
  CheckInactive();
  exclusive_ = exclusive;
}

void TTable::SetReadOnly(bool read_only) {
  CheckInactive();
  read_only_ = read_only;
}

void TTable::SetDefaultIndex(bool on) {
  CheckInactive();
  default_index_ = on;
}

void TTable::SetIndexFiles(std::vector<std::string> files) {
  CheckInactive();
  index_files_ = std::move(files);
}

void TTable::NotifyDataEvent(DataEventKind kind, std::intptr_t info) {
  if (kind == EventPropertyChanged) InvalidateIndexDefs();
  TDBDataSet::NotifyDataEvent(kind, info);
}

// ---- Table kind -----------------------------------------------------------------------------------

TTableType TTable::ResolvedTableType() {
  if (table_type_ != ttDefault) return table_type_;
  const std::string extension = UpperExtension(table_name_);
  if (extension == ".DB") return ttParadox;
  if (extension == ".TXT") return ttASCII;
  if (extension != ".DBF") return ttDefault;
  // A dBASE-style table with FoxPro companions is a FoxPro table.
  HoldDatabase(dbTableType);
  TTableType type = ttDBase;
  try {
    const std::filesystem::path directory = HostDirectory(Database()->Directory());
    const std::string stem = BaseName(table_name_).substr(0, BaseName(table_name_).rfind('.'));
    if (FileExistsAnyCase(directory, stem + ".FPT") || FileExistsAnyCase(directory, stem + ".CDX")) {
      type = ttFoxPro;
    }
  } catch (const std::filesystem::filesystem_error&) {
    // No directory to look in: the extension decides.
  }
  ReleaseDatabase(dbTableType);
  return type;
}

std::string TTable::DriverName() {
  switch (ResolvedTableType()) {
    case ttDBase: return "DBASE";
    case ttFoxPro: return "FOXPRO";
    case ttASCII: return "ASCIIDRV";
    default: return "PARADOX";
  }
}

bool TTable::IsXBaseTable() const {
  return table_type_ == ttDBase || table_type_ == ttFoxPro ||
         UpperExtension(table_name_) == ".DBF";
}

std::string TTable::NativeTableName() {
  if (native_table_name_.empty()) native_table_name_ = Cut(AnsiToNative(table_name_), kTableNameLimit);
  return native_table_name_;
}

// ---- Opening ------------------------------------------------------------------------------------------

engine::Handle TTable::CreateCursor(bool) {
  if (table_name_.empty()) DatabaseError("Missing TableName property");
  InvalidateIndexDefs();
  engine::OpenTableArgs args;
  args.database = DBHandle();
  args.table_name = NativeTableName();
  args.driver = DriverName();
  args.index_id = default_index_ ? 0 : 65535;
  args.open_mode = read_only_ ? engine::OpenMode::kReadOnly : engine::OpenMode::kReadWrite;
  args.share_mode = exclusive_ ? engine::ShareMode::kExclusive : engine::ShareMode::kShared;
  // The fields convert their text themselves (TranslateText): the engine hands over the
  // table's own bytes, so nothing is converted twice.
  args.translate_fields = false;
  engine::Handle cursor = engine::kNoHandle;
  open_refusal_.clear();
  index_fallback_.clear();
  engine::Result r = engine::OpenTable(args, cursor);
  if (r == engine::kErrTableReadOnly && args.open_mode == engine::OpenMode::kReadWrite) {
    // Reading is still possible: the table opens read-only and keeps the reason to tell
    // (the entries of the refusal, without the code's own "read only" text).
    const EDBEngineError refusal(r);
    for (int i = 1; i < refusal.ErrorCount(); ++i)
      open_refusal_ += (open_refusal_.empty() ? "" : "\n") + refusal.Errors(i).message;
    if (open_refusal_.empty()) open_refusal_ = refusal.Message();
    args.open_mode = engine::OpenMode::kReadOnly;
    r = engine::OpenTable(args, cursor);
  }
  // Insufficient rights would offer the session's password dialog; dBASE tables have no
  // passwords, so the engine's error stands.
  Check(r);

  new_cursor_ = cursor;
  try {
    if (IsXBaseTable()) OpenIndexFiles(cursor);
    engine::Handle locale = engine::kNoHandle;
    if (engine::GetTableLanguageDriver(cursor, locale) == engine::kOk) SetLocale(locale);
    const IndexParams params = UsableIndexParams(cursor);
    if ((!params.file.empty() || !params.tag.empty()) && IsProductionIndex(params.file)) {
      r = engine::SwitchToIndex(cursor, params.file, params.tag, 0, false);
      // An index found damaged or out of step is never read through: the table opens in
      // record order and says so (ReadOnlyReason); asking for the index again raises.
      if (r == engine::kErrIndexOutOfDate || r == engine::kErrDamagedIndex) {
        index_fallback_ = EDBEngineError(r).Message();
      } else {
        Check(r);
      }
    }
  } catch (...) {
    new_cursor_ = engine::kNoHandle;
    engine::CloseCursor(cursor);
    throw;
  }
  new_cursor_ = engine::kNoHandle;
  return cursor;
}

void TTable::OpenIndexFiles(engine::Handle cursor) {
  for (const std::string& file : index_files_) {
    const engine::Result r = engine::OpenIndexFile(cursor, Cut(AnsiToNative(file), kIndexFileLimit));
    if (r != engine::kOk && r != engine::kErrIndexAlreadyOpen) DbiError(r);
  }
}

TTable::IndexParams TTable::UsableIndexParams(engine::Handle cursor) {
  try {
    return IndexParamsOf(index_name_);
  } catch (const EDatabaseError&) {
    engine::CursorProperties props;
    if (engine::GetCursorProperties(cursor, props) != engine::kOk || !props.index_unusable) throw;
    // The index file cannot be used at all (missing, or its header damaged), so its tags
    // are not known: the table opens in record order and says why.
    index_fallback_ = open_refusal_.empty() ? props.write_refusal : open_refusal_;
    return {};
  }
}

void TTable::OpenCursorIndex() {
  if (!IsXBaseTable() || index_name_.empty() || !index_fallback_.empty()) return;
  const IndexParams params = IndexParamsOf(index_name_);
  if (!IsProductionIndex(params.file)) SwitchToIndex(params);
}

engine::Handle TTable::OpenTemporaryCursor() {
  engine::OpenTableArgs args;
  args.database = DBHandle();
  args.table_name = NativeTableName();
  args.driver = DriverName();
  args.index_id = 65535;
  args.open_mode = engine::OpenMode::kReadOnly;
  args.translate_fields = false;
  engine::Handle cursor = engine::kNoHandle;
  Check(engine::OpenTable(args, cursor));
  return cursor;
}

engine::Handle TTable::TableLocale() {
  if (StorageCursorOpen()) return Locale();
  engine::Handle cursor = engine::kNoHandle;
  try {
    cursor = OpenTemporaryCursor();
  } catch (const EDBEngineError&) {
    return Database() != nullptr ? Database()->Locale() : Locale();
  }
  engine::Handle locale = Locale();
  engine::GetTableLanguageDriver(cursor, locale);
  engine::CloseCursor(cursor);
  return locale;
}

// ---- Field and index definitions ------------------------------------------------------------------

void TTable::ReadFieldDefinitions() {
  if (StorageCursorOpen()) {
    TDBDataSet::ReadFieldDefinitions();
    return;
  }
  HoldDatabase(dbReadFieldDefs);
  const engine::Handle saved_locale = Locale();
  engine::Handle cursor = engine::kNoHandle;
  try {
    cursor = OpenTemporaryCursor();
    engine::Handle locale = engine::kNoHandle;
    if (engine::GetTableLanguageDriver(cursor, locale) == engine::kOk) SetLocale(locale);
    std::vector<engine::FieldDescriptor> descriptors;
    Check(engine::GetFieldDescriptors(cursor, descriptors));
    DefinitionsFromDescriptors(descriptors);
  } catch (...) {
    if (cursor != engine::kNoHandle) engine::CloseCursor(cursor);
    SetLocale(saved_locale);
    ReleaseDatabase(dbReadFieldDefs);
    throw;
  }
  engine::CloseCursor(cursor);
  SetLocale(saved_locale);
  ReleaseDatabase(dbReadFieldDefs);
}

void TTable::UpdateFieldDefs() {
  if (StorageCursorOpen() && !FieldDefs().Stale()) return;
  if (!StorageCursorOpen() && FieldDefs().Count() > 0 && !FieldDefs().Stale()) return;
  OpenStorage(true);
}

const TIndexDefs& TTable::IndexDefs() {
  UpdateIndexDefs();
  return index_defs_;
}

void TTable::UpdateIndexDefs() {
  if (index_defs_.Updated()) return;
  HoldDatabase(dbReadIndexDefs);
  engine::Handle temporary = engine::kNoHandle;
  try {
    engine::Handle cursor = StorageCursorOpen() ? Handle() : new_cursor_;
    if (cursor == engine::kNoHandle) cursor = temporary = OpenTemporaryCursor();
    ReadIndexDefs(cursor);
  } catch (...) {
    if (temporary != engine::kNoHandle) engine::CloseCursor(temporary);
    ReleaseDatabase(dbReadIndexDefs);
    throw;
  }
  if (temporary != engine::kNoHandle) engine::CloseCursor(temporary);
  ReleaseDatabase(dbReadIndexDefs);
}

void TTable::ReadIndexDefs(engine::Handle cursor) {
  // Key fields are named from the cursor's own columns.
  std::vector<engine::FieldDescriptor> fields;
  Check(engine::GetFieldDescriptors(cursor, fields));
  std::vector<engine::IndexDescriptor> indexes;
  Check(engine::GetIndexDescriptors(cursor, indexes));
  auto field_name = [&](uint16_t number) {
    for (const auto& field : fields) {
      if (field.number == number) return NativeToAnsi(field.name);
    }
    return std::string();
  };

  index_defs_.Clear();
  for (const engine::IndexDescriptor& index : indexes) {
    TIndexDef def;
    if (!index.tag_name.empty()) {
      def.name = NativeToAnsi(index.tag_name);
      def.source = index.file_name;
    } else {
      def.name = NativeToAnsi(BaseName(index.file_name));
    }
    if (index.primary) def.options |= ixPrimary;
    if (index.unique) def.options |= ixUnique;
    if (index.descending) def.options |= ixDescending;
    if (index.case_insensitive) def.options |= ixCaseInsensitive;
    if (!index.maintained) def.options |= ixNonMaintained;
    if (index.expression) {
      def.options |= ixExpression;
      def.fields = NativeToAnsi(index.key_expression);
    } else {
      bool all_descending = !index.field_numbers.empty();
      for (size_t i = 0; i < index.field_numbers.size(); ++i) {
        const std::string name = field_name(index.field_numbers[i]);
        if (!def.fields.empty()) def.fields += ';';
        def.fields += name;
        const bool descending = i < index.descending_fields.size() && index.descending_fields[i];
        if (descending) {
          if (!def.descending_fields.empty()) def.descending_fields += ';';
          def.descending_fields += name;
        } else {
          all_descending = false;
        }
      }
      // A wholly descending index says so in its options alone.
      if (index.descending && all_descending) def.descending_fields.clear();
    }
    index_defs_.Add(std::move(def));
  }
  index_defs_.SetUpdated(true);
}

// ---- Index selection ------------------------------------------------------------------------------

TTable::IndexParams TTable::IndexParamsOf(const std::string& name) {
  IndexParams params;
  if (name.empty()) return params;
  if (IsXBaseTable() && UpperExtension(name) != ".NDX") {
    UpdateIndexDefs();
    const TIndexDef* def = index_defs_.Find(name);
    if (def == nullptr) DatabaseError("Index does not exist. Index: " + name);
    params.tag = Cut(AnsiToNative(name), kIndexTagLimit);
    params.file = Cut(def->source, kIndexFileLimit);
  } else {
    params.file = Cut(AnsiToNative(name), kIndexFileLimit);
  }
  return params;
}

bool TTable::IsProductionIndex(const std::string& index_file) const {
  if (!IsXBaseTable() || index_file.empty()) return true;
  return UpperExtension(index_file) != ".NDX" && UpperStem(index_file) == UpperStem(table_name_);
}

void TTable::SwitchToIndex(const IndexParams& params) {
  SyncCursor();
  engine::Result r = engine::SwitchToIndex(Handle(), params.file, params.tag, 0, true);
  if (r == engine::kErrCannotStayOnRecord) {
    r = engine::SwitchToIndex(Handle(), params.file, params.tag, 0, false);
  }
  Check(r);
  SwitchToIndexBuffers();
}

void TTable::SetIndexName(const std::string& name) {
  if (Active()) EnsureBrowseMode();
  // A cursor that could not take its index at opening tries again, whatever the name.
  const bool fallen_back = Active() && !index_fallback_.empty();
  if (name == index_name_ && !index_holds_field_names_ && !fallen_back) return;
  if (Active()) {
    engine::CursorProperties props;
    // Without a usable index file no tag can be had: the reason is the message.
    if (fallen_back && !name.empty() && engine::GetCursorProperties(Handle(), props) == engine::kOk &&
        props.index_unusable)
      DatabaseError(index_fallback_);
    SwitchToIndex(IndexParamsOf(name));  // raises before anything changes
  }
  index_name_ = name;
  index_holds_field_names_ = false;
  index_fallback_.clear();
  if (Active()) RefillBuffers(0);
}

std::string TTable::ReadOnlyReason() const {
  if (Handle() == engine::kNoHandle) return {};
  std::string why = open_refusal_.empty() ? TDBDataSet::ReadOnlyReason() : open_refusal_;
  if (!index_fallback_.empty()) {
    // Said once: the refusal of the opening may be the index's own.
    if (why.find(index_fallback_) == std::string::npos) why += (why.empty() ? "" : "\n") + index_fallback_;
    why += (why.empty() ? "" : "\n") + std::string("The index ") + index_name_ +
           " is not used: the records are shown in the order they are stored.";
  }
  return why;
}

engine::RebuildReport TTable::RebuildIndexes(const engine::RebuildProgress& progress) {
  CheckInactive();
  engine::RebuildReport report;
  HoldDatabase(dbTableOperation);
  try {
    Check(engine::RebuildIndex(DBHandle(), NativeTableName(), DriverName(), progress, report));
  } catch (...) {
    ReleaseDatabase(dbTableOperation);
    throw;
  }
  ReleaseDatabase(dbTableOperation);
  InvalidateIndexDefs();
  return report;
}

engine::RepairPlan TTable::PlanRepair(const engine::RepairOptions& options) {
  CheckInactive();
  engine::RepairPlan plan;
  HoldDatabase(dbTableOperation);
  try {
    Check(engine::PlanRepair(DBHandle(), NativeTableName(), options, plan));
  } catch (...) {
    ReleaseDatabase(dbTableOperation);
    throw;
  }
  ReleaseDatabase(dbTableOperation);
  return plan;
}

void TTable::Repair(const engine::RepairOptions& options, const engine::RebuildProgress& progress,
                    engine::RepairReport& report) {
  CheckInactive();
  HoldDatabase(dbTableOperation);
  try {
    Check(engine::RepairTable(DBHandle(), NativeTableName(), options, progress, report));
  } catch (...) {
    ReleaseDatabase(dbTableOperation);
    InvalidateIndexDefs();
    throw;
  }
  ReleaseDatabase(dbTableOperation);
  InvalidateIndexDefs();
}

// ---- Adding indexes ---------------------------------------------------------------------------------

engine::IndexDescriptor TTable::IndexDescriptorOf(const std::string& name,
                                                  const std::string& fields,
                                                  TIndexOptions options,
                                                  const std::string& descending_fields) {
  engine::IndexDescriptor index;
  index.primary = (options & ixPrimary) != 0;
  index.unique = (options & ixUnique) != 0;
  index.descending = (options & ixDescending) != 0 && descending_fields.empty();
  index.maintained = (options & ixNonMaintained) == 0;
  index.case_insensitive = (options & ixCaseInsensitive) != 0;
  if (IsXBaseTable() && index.maintained) {
    index.tag_name = Cut(AnsiToNative(name), kIndexTagLimit);  // a production-index tag
  } else {
    index.file_name = Cut(AnsiToNative(name), kTableNameLimit);
  }
  if ((options & ixExpression) != 0) {
    index.expression = true;
    index.key_expression = Cut(AnsiToNative(fields), kKeyExpressionLimit);
    return index;
  }
  std::vector<std::string> key_names;
  for (const std::string& field : SplitNames(fields)) {
    if (key_names.size() == kMaxKeyFields) break;
    const int at = FieldDefs().IndexOf(field);
    if (at < 0) DatabaseError(msg::FieldNotFound(field));
    index.field_numbers.push_back(static_cast<uint16_t>(FieldDefs()[at].field_no));
    index.descending_fields.push_back(index.descending);
    key_names.push_back(field);
  }
  if (!descending_fields.empty()) {
    index.descending = true;
    for (const std::string& field : SplitNames(descending_fields)) {
      size_t at = 0;
      while (at < key_names.size() && !SameText1252(key_names[at], field)) ++at;
      if (at == key_names.size()) DatabaseError("Cannot access index field '" + field + "'");
      index.descending_fields[at] = true;
    }
  }
  return index;
}

void TTable::CreateIndex(const std::string& name, const std::string& fields,
                         TIndexOptions options, const std::string& descending_fields,
                         const engine::IndexProgress& progress) {
  UpdateFieldDefs();
  if (Active()) {
    const engine::IndexDescriptor index =
        IndexDescriptorOf(name, fields, options, descending_fields);
    EnsureBrowseMode();
    SetCursorIndex(-1);
    Check(engine::AddIndex(DBHandle(), Handle(), index, progress));
  } else {
    HoldDatabase(dbTableOperation);
    const engine::Handle saved_locale = Locale();
    try {
      // Names are converted with the table's own language driver.
      SetLocale(TableLocale());
      const engine::IndexDescriptor index =
          IndexDescriptorOf(name, fields, options, descending_fields);
      SetLocale(saved_locale);
      Check(engine::AddIndexToTable(DBHandle(), NativeTableName(), DriverName(), index, progress));
    } catch (...) {
      SetLocale(saved_locale);
      ReleaseDatabase(dbTableOperation);
      throw;
    }
    ReleaseDatabase(dbTableOperation);
  }
  InvalidateIndexDefs();
}

}  // namespace snyltdyr
