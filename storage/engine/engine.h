// The storage engine's interface: every operation the table binding, the sessions and
// the databases use, over real dBASE files (.DBF data, .DBT memo, .MDX production index).
//
// Conventions (hold for every operation below):
// - Every operation returns a 16-bit result code: 0 is success; otherwise the high byte
//   is the category (0x22 "not found", 0x27 "invalid request", 0x28 "locking", ...) and
//   the failure is also pushed, with its text, onto the session's error stack, which the
//   caller reads with `ErrorStackEntry` until it answers `kErrNoMoreEntries`. Every
//   operation starts with an empty stack, so the entries are always the last failure's.
// - Handles (session, database, cursor, language driver, filter) are opaque 32-bit
//   values; 0 is never a valid handle.
// - Out-values are written through reference parameters, and only on success.
// - Text crosses this interface in two forms. Field values (`GetField`, `PutField`) are in
//   code page 1252: the cursor translates them from and to the table's native code page.
//   Names, blob contents and filter constants are native text: the caller converts them
//   with `AnsiToNative` / `NativeToAnsi` and the table's language driver.
// - Nothing here throws; a damaged file gives an error code, never a crash.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace snyltdyr::engine {

using Result = uint16_t;
using Handle = uint32_t;

inline constexpr Handle kNoHandle = 0;
inline constexpr uint16_t kInterfaceVersion = 500;

// ---- Result codes ---------------------------------------------------------------------
inline constexpr Result kOk = 0;

// 0x21: the operating system and the engine library.
inline constexpr Result kErrLibraryNotFound = 0x2108;
inline constexpr Result kErrLibraryLoad = 0x2109;
inline constexpr Result kErrReadFailed = 0x2101;
inline constexpr Result kErrWriteFailed = 0x2102;
inline constexpr Result kErrCreateFailed = 0x2103;
inline constexpr Result kErrFileExists = 0x2104;
inline constexpr Result kErrDiskFull = 0x2105;
inline constexpr Result kErrAmbiguousFileName = 0x2106;  // two files differ only in case

// 0x22: not found.
inline constexpr Result kErrBeginningOfTable = 0x2201;  // before the first record (BOF)
inline constexpr Result kErrEndOfTable = 0x2202;        // after the last record (EOF)
inline constexpr Result kErrRecordDeleted = 0x2203;     // the current position is a crack
inline constexpr Result kErrNoCurrentRecord = 0x2204;   // at the beginning or the end
inline constexpr Result kErrCannotStayOnRecord = 0x2205;  // switching index lost the record
inline constexpr Result kErrRecordNotFound = 0x2206;    // bookmark of a record that is gone
inline constexpr Result kErrEndOfBlob = 0x2207;
inline constexpr Result kErrTableNotFound = 0x2208;     // "Table does not exist."
inline constexpr Result kErrDirectoryNotFound = 0x2209;
inline constexpr Result kErrMemoFileNotFound = 0x220A;
inline constexpr Result kErrIndexNotFound = 0x220B;     // no such index file or tag
inline constexpr Result kErrAliasNotFound = 0x220C;
inline constexpr Result kErrNoCurrentIndex = 0x220D;    // the cursor is in record order

// 0x24: damaged or foreign files.
inline constexpr Result kErrDamagedHeader = 0x2401;
inline constexpr Result kErrRecordLengthMismatch = 0x2402;
inline constexpr Result kErrRecordCountBeyondFile = 0x2403;
inline constexpr Result kErrMemoBlockOutOfRange = 0x2404;
inline constexpr Result kErrDamagedMemo = 0x2405;
inline constexpr Result kErrUnsupportedFormat = 0x2406;  // level 7, other families, encrypted
inline constexpr Result kErrDamagedIndex = 0x2407;

// 0x25: resources.
inline constexpr Result kErrOutOfMemory = 0x2501;
inline constexpr Result kErrTooManyHandles = 0x2502;

// 0x27: invalid requests.
inline constexpr Result kErrInvalidHandle = 0x2701;
inline constexpr Result kErrInvalidParameter = 0x2702;
inline constexpr Result kErrInvalidFieldNumber = 0x2703;
inline constexpr Result kErrInvalidFieldValue = 0x2704;  // a number wider than its field
inline constexpr Result kErrFieldTypeMismatch = 0x2705;  // e.g. a blob call on a text field
inline constexpr Result kErrBlobNotOpen = 0x2706;
inline constexpr Result kErrInvalidBookmark = 0x2707;
inline constexpr Result kErrInvalidTableDefinition = 0x2708;  // CreateTable's fields
inline constexpr Result kErrInvalidFilter = 0x2709;
inline constexpr Result kErrBlobReadOnly = 0x270A;
inline constexpr Result kErrBlobReadShort = 0x270E;  // a blob read stopped early: answer is the count
inline constexpr Result kErrIndexAlreadyOpen = 0x272C;
inline constexpr Result kErrExportMissing = 0x274F;

// 0x28: locking.
inline constexpr Result kErrRecordLocked = 0x2801;  // another user edits the record
inline constexpr Result kErrTableInUse = 0x2802;    // another user has the table exclusively
inline constexpr Result kErrTableBusy = 0x2803;     // header or memo lock not obtained in time
inline constexpr Result kErrNotLocked = 0x2804;     // modify without the record lock

// 0x29: security.
inline constexpr Result kErrInsufficientRights = 0x2902;

// 0x2A: invalid context.
inline constexpr Result kErrNotInitialized = 0x2A01;
inline constexpr Result kErrNoMoreEntries = 0x2A06;  // error stack read past its last entry;
                                                     // the loader: start entry missing
inline constexpr Result kErrAlreadyInitialized = 0x2A07;
inline constexpr Result kErrTableReadOnly = 0x2A0B;  // only read-only access is possible
inline constexpr Result kErrIndexOutOfDate = 0x2A0C;  // production index out of step, or
                                                      // cannot be kept in step

// Codes the session treats specially when it builds its messages.
inline constexpr Result kErrPassThrough = 0x2EC4;     // the entry's text says it all
inline constexpr Result kErrVersionMismatch = 0x2F01;  // interface version not supported

// Category of a code: its high byte.
inline constexpr uint8_t Category(Result r) { return static_cast<uint8_t>(r >> 8); }
inline constexpr uint8_t kCategoryNotFound = 0x22;

// ---- Engine field types (the type map the binding shares) -------------------------------
inline constexpr uint16_t kTypeUnknown = 0;
inline constexpr uint16_t kTypeText = 1;
inline constexpr uint16_t kTypeDate = 2;
inline constexpr uint16_t kTypeBlob = 3;
inline constexpr uint16_t kTypeBoolean = 4;
inline constexpr uint16_t kTypeInt16 = 5;
inline constexpr uint16_t kTypeInt32 = 6;
inline constexpr uint16_t kTypeFloat = 7;
inline constexpr uint16_t kTypeBcd = 8;
inline constexpr uint16_t kTypeBytes = 9;
inline constexpr uint16_t kTypeTime = 10;
inline constexpr uint16_t kTypeDateTime = 11;
inline constexpr uint16_t kTypeUInt16 = 12;
inline constexpr uint16_t kSubtypeNone = 0;
inline constexpr uint16_t kSubtypeMemo = 22;    // with kTypeBlob
inline constexpr uint16_t kSubtypeBinary = 23;  // with kTypeBlob

// ---- Engine and session -----------------------------------------------------------------
struct EngineEnvironment {
  std::string language;  // "0009"; at most 31 characters
};

// Starts the engine (version must be kInterfaceVersion). A second start answers
// kErrAlreadyInitialized and leaves the running engine alone.
Result StartEngine(uint16_t interface_version, const EngineEnvironment& env);
// Stops the engine: closes every cursor (releasing its locks) and database.
Result StopEngine();
Result GetCurrentSession(Handle& session);
// The process's locale identifier, kept as a property of the engine.
Result SetEngineLocale(uint32_t locale_id);

// The engine's own message text for a code ("Table does not exist." ...). Unknown codes
// give an empty text and kOk.
Result GetMessageText(Result code, std::string& text);

struct ErrorEntry {
  Result code = 0;
  int32_t native_code = 0;  // 0, or the operating system's errno
  std::string text;         // the text of the failure, with its file name and detail
};
// Entry 1 is the most recent failure's first entry; kErrNoMoreEntries past the last.
// A new failing operation replaces the stack.
Result GetErrorEntry(uint16_t index, ErrorEntry& entry);

// ---- Databases ----------------------------------------------------------------------------
enum class OpenMode : uint8_t { kReadWrite, kReadOnly };
enum class ShareMode : uint8_t { kShared, kExclusive };

// An empty name opens the standard database: a plain directory of tables.
Result OpenDatabase(const std::string& name, OpenMode open, ShareMode share, Handle& database);
Result CloseDatabase(Handle database);
// Empty: the process's working directory. A drive-letter path ("p:\a\b") is taken as
// /mnt/p/a/b; backslashes are separators. The directory need not exist yet.
Result SetDirectory(Handle database, const std::string& directory);
Result GetDirectory(Handle database, std::string& directory);  // as given
// Boolean settings of a database; stored, without effect on dBASE tables.
Result SetDatabaseOption(Handle database, uint32_t option, bool value);
Result GetDatabaseLanguageDriver(Handle database, Handle& driver);
// No aliases are configured: every name answers kErrAliasNotFound.
Result LookupAlias(const std::string& name, std::string& directory);

// ---- Tables and cursors -----------------------------------------------------------------
struct OpenTableArgs {
  Handle database = kNoHandle;
  std::string table_name;  // native text; relative names resolve in the database directory
  std::string driver = "DBASE";
  std::string index_file;  // empty: the production index when index_tag is set
  std::string index_tag;   // empty: record order
  uint16_t index_id = 0;   // 0: the default order; 65535: none
  OpenMode open_mode = OpenMode::kReadWrite;
  ShareMode share_mode = ShareMode::kShared;
  bool translate_fields = true;  // field values in code page 1252 (see top of file)
};
// Opens the table: kErrTableNotFound when it does not exist; kErrTableReadOnly when a
// read-write open is asked and only reading is possible (read-only file, a production
// index that is damaged, out of step or cannot be kept in step, an unfamiliar format);
// kErrInsufficientRights when the file cannot be read at all; kErrTableInUse when another
// user has it exclusively, or, for an exclusive open, when anyone else has it open;
// kErrAmbiguousFileName when the folder holds two files for the table, its memo or its
// index whose names differ only in case. With `index_tag`, kErrIndexOutOfDate or
// kErrDamagedIndex when that tag may not be used (then open without it and say why).
Result OpenTable(const OpenTableArgs& args, Handle& cursor);
// Closes the cursor; its record locks and open blobs go with it.
Result CloseCursor(Handle cursor);

enum class RecordNumbering : uint8_t { kNone, kPhysical, kSequence };

struct CursorProperties {
  std::string table_name;  // the .DBF path as opened
  uint16_t field_count = 0;
  uint16_t record_size = 0;    // bytes of a record buffer for this cursor
  uint16_t bookmark_size = 0;  // bytes of a bookmark
  uint16_t index_count = 0;    // indexes open on the table
  OpenMode open_mode = OpenMode::kReadWrite;
  ShareMode share_mode = ShareMode::kShared;
  RecordNumbering numbering = RecordNumbering::kPhysical;
  uint8_t language_driver = 0;  // the header byte
  int code_page = 437;          // the table's native code page
  // Why the cursor cannot write: the reason it opened read-only, or what was found since
  // (an index out of step); empty when it can.
  std::string write_refusal;
  // The header names a production index that cannot be used at all (its file missing or
  // its header damaged), so that its tags are not known.
  bool index_unusable = false;
  // The header names no code page and no .cpg file does: `code_page` was found from the
  // table's text, and this says so (empty otherwise). `code_page_uncertain` when other
  // code pages read the text otherwise, so that letters shown may be wrong.
  std::string code_page_note;
  bool code_page_uncertain = false;
};
Result GetCursorProperties(Handle cursor, CursorProperties& props);
// A new record that is inserted goes between records (kept for callers; an insert always
// becomes the current record).
Result SetMakeCrack(Handle cursor, bool value);

struct FieldDescriptor {
  uint16_t number = 0;  // 1-based
  std::string name;     // native text
  uint16_t type = kTypeUnknown;
  uint16_t subtype = kSubtypeNone;
  int16_t units1 = 0;  // text: width; float: width; blob: 0 (no inline part)
  int16_t units2 = 0;  // float: decimals
  uint16_t offset = 0;  // in the record buffer
  uint16_t length = 0;  // bytes of the value as GetField delivers it
  char dbase_type = 'C';  // the letter of the header
  bool read_only = false;  // a type the engine cannot write
  bool required = false;
};
Result GetFieldDescriptors(Handle cursor, std::vector<FieldDescriptor>& fields);
// The same for a table that is not open.
Result GetTableFieldDescriptors(Handle database, const std::string& table_name,
                                const std::string& driver, std::vector<FieldDescriptor>& fields);

struct IndexDescriptor {
  std::string file_name;  // the index file (the production .MDX for tags)
  std::string tag_name;   // empty for a single-index file
  uint16_t id = 0;
  bool primary = false;
  bool unique = false;
  bool descending = false;
  bool maintained = true;
  bool case_insensitive = false;
  bool expression = false;       // key_expression holds the key
  std::string key_expression;    // native text
  std::string for_expression;    // native text; empty: every record
  std::vector<uint16_t> field_numbers;  // key fields when not an expression index (<= 16)
  std::vector<bool> descending_fields;  // parallel to field_numbers
  uint16_t key_length = 0;
};
// Implemented with the production index (index_api.cpp).
Result GetIndexDescriptors(Handle cursor, std::vector<IndexDescriptor>& indexes);
Result GetCurrentIndex(Handle cursor, IndexDescriptor& index);  // kErrNoCurrentIndex in record order
// Switches the cursor's order. With stay_on_record the current record stays current
// (kErrCannotStayOnRecord when the new order cannot find it); otherwise the cursor goes
// to the beginning. An empty tag and file switches to record order.
Result SwitchToIndex(Handle cursor, const std::string& index_file, const std::string& tag,
                     uint16_t index_id, bool stay_on_record);
// Told how many records were read, about every hundredth of the table.
using IndexProgress = std::function<void(uint32_t records_read, uint32_t records)>;
// Adds a tag built from every record; `progress` (may be empty) hears how far the reading got.
Result AddIndex(Handle database, Handle cursor, const IndexDescriptor& index,
                const IndexProgress& progress = {});
Result AddIndexToTable(Handle database, const std::string& table_name,
                       const std::string& driver, const IndexDescriptor& index,
                       const IndexProgress& progress = {});
Result OpenIndexFile(Handle cursor, const std::string& index_file);  // kErrIndexAlreadyOpen

// What a rebuild of a production index did.
struct RebuildReport {
  std::string index_file;             // the production index, as it is now
  std::string backup_file;            // the index as it was (empty when there was none)
  std::vector<std::string> tags;      // the tags rebuilt, in their order in the file
  std::vector<std::string> dropped;   // tags whose definitions could not be read
  std::string definitions_from;       // the file the definitions came from, or "the fields"
  uint32_t records = 0;
};
using RebuildProgress = IndexProgress;
// Rebuilds the table's production index from its records (index_rebuild.cpp): every tag
// keeps its name, key expression, FOR condition, order and uniqueness. The table is held
// exclusively meanwhile (kErrTableInUse while anyone else has it open). The new index is
// written beside the old one and renamed into its place in one step; the old one stays
// as <index>.bak. When the index file is missing or unreadable the definitions come from
// that .bak, else from the fields the table's header marks as indexed. Nothing changes
// when a tag's key cannot be made (kErrInvalidParameter, naming the tag).
Result RebuildIndex(Handle database, const std::string& table_name, const std::string& driver,
                    const RebuildProgress& progress, RebuildReport& report);

Result GetTableLanguageDriver(Handle cursor, Handle& driver);
// Native text of a language driver to code page 1252 and back. Characters the target
// code page lacks become the nearest plain letter, or "?" when there is none.
Result NativeToAnsi(Handle driver, std::string_view native, std::string& ansi);
Result AnsiToNative(Handle driver, std::string_view ansi, std::string& native);
// The code page of a language driver handle.
Result GetDriverCodePage(Handle driver, int& code_page);

// ---- Records ------------------------------------------------------------------------------
enum class LockMode : uint8_t { kNoLock, kWriteLock };

struct RecordProperties {
  uint32_t physical_number = 0;  // 1-based record number in the .DBF
  uint32_t sequence_number = 0;  // not kept by dBASE tables: 0
  uint8_t update_status = 0;     // 0 unmodified
  bool deleted = false;
  bool locked = false;           // this cursor holds the record's write lock
};

Result SetToBeginning(Handle cursor);
Result SetToEnd(Handle cursor);
Result SetToBookmark(Handle cursor, const uint8_t* bookmark);

// `record` (record_size bytes) and `props` may be null. The write lock is held until
// ModifyRecord, ReleaseRecordLock or CloseCursor; kErrRecordLocked when someone else has it.
// In a tag's order every record reached is confirmed to give the key it is filed under:
// the first that does not stops the walk with kErrIndexOutOfDate, and the tag is not used
// again while the table is open (nor is anything written into its index).
Result GetRecord(Handle cursor, LockMode lock, uint8_t* record, RecordProperties* props);
Result GetNextRecord(Handle cursor, LockMode lock, uint8_t* record, RecordProperties* props);
Result GetPriorRecord(Handle cursor, LockMode lock, uint8_t* record, RecordProperties* props);

Result GetBookmark(Handle cursor, uint8_t* bookmark);
// -1, 0 or 1 in the cursor's order. Different records never compare equal: records
// with equal keys are ordered by record number.
Result CompareBookmarks(Handle cursor, const uint8_t* a, const uint8_t* b, int& comparison);

// Fills a record buffer with blank values (a new, undeleted record).
Result InitRecord(Handle cursor, uint8_t* record);

// One field's value. `blank` means no value; the other members hold the value of the
// field's engine type: text (1) in `text` without trailing blanks, date (2) as a day number
// in `date` (1 January of year 1 is day 1), float (7) in `number`, boolean (4) in
// `boolean`. A memo field (3) gives only `blank` (no memo); read it through the blob calls.
struct FieldValue {
  bool blank = true;
  std::string text;
  int32_t date = 0;
  double number = 0;
  bool boolean = false;
};
Result GetField(Handle cursor, uint16_t field_number, const uint8_t* record, FieldValue& value);
// Writes the value into the record buffer only; `value.blank` stores no value. A number
// that does not fit its field's width answers kErrInvalidFieldValue.
Result PutField(Handle cursor, uint16_t field_number, uint8_t* record, const FieldValue& value);

// Writes the buffer over the current record (which this cursor must have locked, or the
// table is open exclusively) and, with release_lock, releases the lock.
Result ModifyRecord(Handle cursor, const uint8_t* record, bool release_lock);
// Adds the buffer as a new record, which becomes the current record (with the write lock
// when asked). dBASE tables add at the end in every case; InsertRecord and AppendRecord
// differ only in the lock.
Result InsertRecord(Handle cursor, LockMode lock, const uint8_t* record);
Result AppendRecord(Handle cursor, const uint8_t* record);
// A memo of a record of AppendRecords: the record's place in the run, the memo field and
// the content (native text, not empty).
struct NewMemo {
  uint32_t record = 0;
  uint16_t field_number = 0;
  std::string content;
};
// Adds `count` records in one go (record_size bytes each, laid one after the other, their
// blob slots ignored; `memos` their memos): every record or, whatever stops it (a
// failure, a crash, a kill), none of them, for every reader of the files; the production
// index follows them in the same all-or-nothing way (a writer that stops after the
// records are in leaves keys that the next opening for writing files). `first` gives the
// number of the first record. The cursor does not move.
Result AppendRecords(Handle cursor, const uint8_t* records, uint32_t count,
                     const std::vector<NewMemo>& memos, uint32_t& first);
// Marks the current record deleted; it vanishes from every cursor and this cursor stays
// in the crack where it was. kErrRecordDeleted when the cursor is already in a crack.
Result DeleteRecord(Handle cursor);
Result ReleaseRecordLock(Handle cursor);
// Forgets what was read, so the next read sees the changes of other users.
Result ForceReread(Handle cursor);
// Records that the cursor shows (not deleted, passing every active filter).
Result GetExactRecordCount(Handle cursor, uint32_t& count);
// The quick count: records not deleted, when no filter is active; else the exact count.
Result GetRecordCount(Handle cursor, uint32_t& count);
// The records the table's header counts, deleted ones too, as read at the last look at
// the header: no pass, for an estimate of a pass's size.
Result GetTableRecordCount(Handle cursor, uint32_t& count);

// ---- Passes over every record a cursor shows (pass_api.cpp) ---------------------------------
// A pass reaches every record the cursor shows (not deleted, passing every active filter)
// once, with far less cost per record than GetNextRecord: it goes in the order the records
// lie in the file, reading them in large runs, whenever that reaches the same records as
// the cursor's order (record order, or a tag that holds every record); otherwise it walks
// the cursor's order as GetNextRecord does, every record checked against the index. The
// cursor is left at its end.
//
// `buffer` is a record buffer of the cursor: each record the pass reaches is put there
// (its blob slots empty) before the callback is called with its number. A non-zero answer
// of the callback stops the pass, which returns that answer as it is (not reported).
using RecordVisitor = std::function<Result(uint32_t recno)>;
// Told after each stretch of a pass how far it got: `done` of `total` (the table's records).
using PassProgress = std::function<void(uint32_t done, uint32_t total)>;

// Reads every record the cursor shows; `visited` counts them (the exact record count).
// With `keep_order` the pass walks the cursor's order even where the file's would do.
Result VisitRecords(Handle cursor, uint8_t* buffer, const RecordVisitor& visit, uint32_t& visited,
                    bool keep_order = false);

// Changes records in place: `edit` finds each record the cursor shows in `buffer`, as read
// under its lock, and may change its fields there (not its deletion flag, nor a memo).
// A record whose bytes changed is written like ModifyRecord writes it, in the same
// crash-safe order and with the index kept in step; an unchanged one is not written.
// The pass goes in batches: a batch holds the locks a write needs (the records' locks, a
// run of neighbours under one lock, and the index lock) for at most kPassBatchRecords
// records or kPassBatchMilliseconds, dates the table once when it reached any record, then
// lets them go and pauses kPassPauseMilliseconds, so that another program waiting for a
// lock waits for one batch at most. The cursor's own record locks are let go first.
// A record another user keeps locked (for a few seconds) stops the pass there with
// kErrRecordLocked; any failure stops it with the records before written and `stopped_at`
// naming the record it stopped at (0 when it ran to the end).
// So many that in a quick pass the time, not the count, ends a batch: every batch costs a
// pause, which with a few thousand records a batch was a fifth of the pass.
inline constexpr uint32_t kPassBatchRecords = 32768;
inline constexpr int64_t kPassBatchMilliseconds = 25;
inline constexpr int64_t kPassPauseMilliseconds = 2;
struct RewriteReport {
  uint32_t visited = 0;     // records the cursor showed, given to `edit`
  uint32_t written = 0;     // of them changed and written
  uint32_t stopped_at = 0;  // the record a failure stopped the pass at
};
using RecordEditor = std::function<Result(uint32_t recno)>;
Result RewriteRecords(Handle cursor, uint8_t* buffer, const RecordEditor& edit,
                      const PassProgress& progress, RewriteReport& report);

// ---- Filters (filter_api.cpp) -------------------------------------------------------------
// `tree` is a filter tree in the byte format the filter expressions produce; its size is
// in its header. The filter starts inactive.
Result AddFilter(Handle cursor, const uint8_t* tree, uint16_t priority, Handle& filter);
Result ActivateFilter(Handle cursor, Handle filter);
Result DeactivateFilter(Handle cursor, Handle filter);
Result DropFilter(Handle cursor, Handle filter);

// ---- Blobs (memo fields) ------------------------------------------------------------------
// A blob belongs to a record buffer: it is opened on the buffer's field, read and changed
// in memory, and written to the memo file by the next ModifyRecord / InsertRecord /
// AppendRecord from that buffer (memo blocks before the record that points at them).
// Contents are native text.
enum class BlobMode : uint8_t { kReadOnly, kReadWrite };
Result OpenBlob(Handle cursor, uint8_t* record, uint16_t field_number, BlobMode mode);
Result GetBlobSize(Handle cursor, const uint8_t* record, uint16_t field_number, uint32_t& size);
// Reads up to `count` bytes at `offset`; `read` says how many. kErrEndOfBlob when fewer than
// `count` were left (the bytes that were there are delivered).
Result GetBlob(Handle cursor, const uint8_t* record, uint16_t field_number, uint32_t offset,
               uint32_t count, uint8_t* dest, uint32_t& read);
Result PutBlob(Handle cursor, uint8_t* record, uint16_t field_number, uint32_t offset,
               uint32_t count, const uint8_t* src);
Result TruncateBlob(Handle cursor, uint8_t* record, uint16_t field_number, uint32_t length);
// Closes the blob; unwritten changes are dropped.
Result FreeBlob(Handle cursor, uint8_t* record, uint16_t field_number);
// The memos of `count` records, read together for a pass over many records: `fields`
// holds the bytes of memo field `field_number` of each record (the field's width each,
// one after another, as the records hold them). The memos are read in the order of their
// blocks, memos close together in one read, without looking at the file's size first.
// When `read[i]` is set, `contents[i]` is the memo of record i exactly as OpenBlob reads
// it (native bytes; empty for none). A memo not read so (a field that holds no block
// number, a block outside the file, a memo that does not hold together, a text whose end
// is not in reach, a failed read) is left to OpenBlob, which says what is wrong with it.
// Each memo is taken from one read (two when it is longer than the read that reached
// it), never from a stat and reads apart.
Result ReadMemos(Handle cursor, uint16_t field_number, const uint8_t* fields, size_t count,
                 std::vector<std::string>& contents, std::vector<uint8_t>& read);

// ---- Creating tables ------------------------------------------------------------------------
struct NewField {
  std::string name;  // 1-10 letters, digits or "_", starting with a letter (native text)
  char type = 'C';   // C, D, N, F, L or M
  uint8_t length = 0;  // C 1-254, N/F 1-20; D, L and M take their fixed widths
  uint8_t decimals = 0;
};
// Creates a dBASE IV table (and its memo file when it has memo fields) whose header names
// the language driver `language_driver` (e.g. 0x17 for Norwegian code page 865, 0x57 for
// 1252). kErrFileExists when the table exists.
Result CreateTable(Handle database, const std::string& table_name,
                   const std::vector<NewField>& fields, uint8_t language_driver);

// ---- Repair of what other programs leave (repair/table_repair.cpp) -----------------------
// What an office suite or a GIS tool does to a table's files that this program then
// refuses to write through, found from the files alone (the table need not open):
// two memo or index files whose names differ only in case, a version byte that no longer
// names the memo file, no code page in the header, a column renamed, an index out of
// step or missing. Each is a step: what was found, and what the repair does about it.
struct RepairOptions {
  int code_page = 0;  // the code page to set; 0: from a .cpg file, else from the text
  // The columns the table is meant to have, in their places, named in native text of
  // `columns_code_page`: a column at its place with its type and width but another name
  // gets its name back.
  std::vector<NewField> columns;
  int columns_code_page = 1252;
};
struct RepairStep {
  std::string problem;  // what was found
  std::string action;   // what the repair does; empty when it cannot (problem says why)
};
struct RepairPlan {
  std::string table_file;          // the .DBF as found
  std::vector<RepairStep> steps;   // in the order they are mended; empty: the table is sound
  std::vector<std::string> files;  // the files the repair changes (each backed up first)
  bool blocked = false;            // a step cannot be mended as things are: nothing is
};
// Finds what is to mend; reads the files only.
Result PlanRepair(Handle database, const std::string& table_name, const RepairOptions& options,
                  RepairPlan& plan);
struct RepairReport {
  RepairPlan plan;                   // what was found and mended
  std::vector<std::string> backups;  // the copies made first, one per file changed
  RebuildReport rebuild;             // when the index was rebuilt
  bool rebuilt = false;
};
// Mends what PlanRepair finds: needs the table alone (kErrTableInUse while anyone else
// has it open), copies every file it will change to "<file>.<yyyymmdd-hhmmss>.bak"
// beside it (never over an earlier copy), mends, and checks the result: kOk only when
// the table then opens for writing with its index in step. kErrInvalidParameter, with
// nothing changed, when a step cannot be mended (the plan says why).
Result RepairTable(Handle database, const std::string& table_name, const RepairOptions& options,
                   const RebuildProgress& progress, RepairReport& report);

}  // namespace snyltdyr::engine
