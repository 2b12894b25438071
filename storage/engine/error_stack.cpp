#include "storage/engine/error_stack.h"

#include <utility>

namespace snyltdyr::engine {
namespace {

std::vector<ErrorEntry>& Stack() {
  static std::vector<ErrorEntry> stack;
  return stack;
}

// The session's message shows the code's own text once and then each entry's text, so an
// entry of native code 0 carries only its detail ("SNYLTDYR.DBF"). An entry with an
// operating-system code keeps the code's text in front, since the message leaves that
// code's text out.
ErrorEntry MakeEntry(Result code, const std::string& detail, int32_t native_code) {
  std::string text = MessageFor(code);
  if (!detail.empty()) text = text.empty() || native_code == 0 ? detail : text + " " + detail;
  return {code, native_code, std::move(text)};
}

}  // namespace

std::string MessageFor(Result code) {
  switch (code) {
    case kErrLibraryNotFound: return "The engine library was not found.";
    case kErrLibraryLoad: return "The engine library could not be loaded.";
    case kErrReadFailed: return "Cannot read the file.";
    case kErrWriteFailed: return "Cannot write the file.";
    case kErrCreateFailed: return "Cannot create the file.";
    case kErrFileExists: return "The file already exists.";
    case kErrDiskFull: return "The disk is full.";
    case kErrAmbiguousFileName: return "Two files have the same name but for case.";
    case kErrBeginningOfTable: return "At beginning of table.";
    case kErrEndOfTable: return "At end of table.";
    case kErrRecordDeleted: return "The record was deleted.";
    case kErrNoCurrentRecord: return "No current record.";
    case kErrCannotStayOnRecord: return "The record cannot be found in the new order.";
    case kErrRecordNotFound: return "Record not found.";
    case kErrEndOfBlob: return "At end of memo.";
    case kErrTableNotFound: return "Table does not exist.";
    case kErrDirectoryNotFound: return "Directory does not exist.";
    case kErrMemoFileNotFound: return "The memo file does not exist.";
    case kErrIndexNotFound: return "Index does not exist.";
    case kErrAliasNotFound: return "Unknown database name.";
    case kErrNoCurrentIndex: return "The table is in record order.";
    case kErrDamagedHeader: return "The table's header is damaged.";
    case kErrRecordLengthMismatch: return "The record length does not match the fields.";
    case kErrRecordCountBeyondFile: return "The table file is shorter than its record count.";
    case kErrMemoBlockOutOfRange: return "A memo points outside the memo file.";
    case kErrDamagedMemo: return "The memo file is damaged.";
    case kErrUnsupportedFormat: return "The file is not a table this engine can read.";
    case kErrDamagedIndex: return "The index file is damaged.";
    case kErrOutOfMemory: return "Out of memory.";
    case kErrTooManyHandles: return "Too many open handles.";
    case kErrInvalidHandle: return "Invalid handle.";
    case kErrInvalidParameter: return "Invalid parameter.";
    case kErrInvalidFieldNumber: return "Invalid field number.";
    case kErrInvalidFieldValue: return "The value does not fit the field.";
    case kErrFieldTypeMismatch: return "The operation does not fit the field's type.";
    case kErrBlobNotOpen: return "The memo is not open.";
    case kErrInvalidBookmark: return "Invalid bookmark.";
    case kErrInvalidTableDefinition: return "Invalid table definition.";
    case kErrInvalidFilter: return "Invalid filter.";
    case kErrBlobReadOnly: return "The memo is open for reading only.";
    case kErrBlobReadShort: return "The memo could not be read completely.";
    case kErrIndexAlreadyOpen: return "Index is already open.";
    case kErrExportMissing: return "An engine entry point is missing.";
    case kErrRecordLocked: return "Record locked by another user.";
    case kErrTableInUse: return "Table is in use by another user.";
    case kErrTableBusy: return "Table is busy; try again.";
    case kErrNotLocked: return "The record is not locked.";
    case kErrInsufficientRights: return "Insufficient rights for this operation.";
    case kErrNotInitialized: return "The engine is not started.";
    case kErrNoMoreEntries: return "";
    case kErrAlreadyInitialized: return "The engine is already started.";
    case kErrTableReadOnly: return "Table is read only.";
    case kErrIndexOutOfDate: return "The table's index does not agree with the table or cannot be kept up to date.";
    case kErrVersionMismatch: return "The engine does not support this interface version.";
    default: return "";
  }
}

Result Fail(Result code, const std::string& detail, int32_t native_code) {
  Stack().clear();
  Stack().push_back(MakeEntry(code, detail, native_code));
  return code;
}

Result FailMore(Result code, const std::string& detail, int32_t native_code) {
  Stack().push_back(MakeEntry(code, detail, native_code));
  return code;
}

void ClearErrors() { Stack().clear(); }

const std::vector<ErrorEntry>& ErrorEntries() { return Stack(); }

}  // namespace snyltdyr::engine
