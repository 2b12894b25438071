// Engine start and stop, the session, messages and the error stack, databases and
// language drivers.
#include <map>

#include "storage/engine/files/case_insensitive_path.h"
#include "storage/engine/datafile/code_page.h"
#include "storage/engine/engine_state.h"
#include "storage/engine/error_stack.h"

namespace snyltdyr::engine {

EngineState& State() {
  static EngineState state;
  return state;
}

Handle NewHandle() {
  static Handle last = 0;
  return ++last;
}

Result RequireStarted() {
  // Every engine call begins here: a failure's message never carries an earlier one's text.
  ClearErrors();
  if (State().started) return kOk;
  return Fail(kErrNotInitialized, "");
}

Database* FindDatabase(Handle database) {
  auto it = State().databases.find(database);
  if (it == State().databases.end()) {
    Fail(kErrInvalidHandle, "Database handle " + std::to_string(database) + ".");
    return nullptr;
  }
  return &it->second;
}

Cursor* FindCursor(Handle cursor) {
  auto it = State().cursors.find(cursor);
  return it == State().cursors.end() ? nullptr : it->second.get();
}

Result GetCursor(Handle handle, Cursor*& cursor) {
  if (Result r = RequireStarted()) return r;
  cursor = FindCursor(handle);
  if (cursor == nullptr) return Fail(kErrInvalidHandle, "Cursor handle " + std::to_string(handle) + ".");
  return kOk;
}

Handle DriverHandleFor(int code_page) {
  for (const auto& [handle, cp] : State().drivers)
    if (cp == code_page) return handle;
  Handle h = NewHandle();
  State().drivers[h] = code_page;
  return h;
}

Result StartEngine(uint16_t interface_version, const EngineEnvironment& env) {
  if (interface_version != kInterfaceVersion)
    return Fail(kErrVersionMismatch, "Version " + std::to_string(interface_version) + ".");
  if (env.language.size() > 31) return Fail(kErrInvalidParameter, "Language name too long.");
  EngineState& s = State();
  if (s.started) return Fail(kErrAlreadyInitialized, "");
  ClearErrors();
  s.started = true;
  s.session = NewHandle();
  return kOk;
}

Result StopEngine() {
  if (Result r = RequireStarted()) return r;
  EngineState& s = State();
  s.cursors.clear();  // closes the files and releases every lock
  s.databases.clear();
  s.drivers.clear();
  s.session = kNoHandle;
  s.started = false;
  ClearErrors();
  return kOk;
}

Result GetCurrentSession(Handle& session) {
  if (Result r = RequireStarted()) return r;
  session = State().session;
  return kOk;
}

Result SetEngineLocale(uint32_t locale_id) {
  if (Result r = RequireStarted()) return r;
  State().locale = locale_id;
  return kOk;
}

Result GetMessageText(Result code, std::string& text) {
  text = MessageFor(code);
  return kOk;
}

Result GetErrorEntry(uint16_t index, ErrorEntry& entry) {
  const auto& entries = ErrorEntries();
  if (index < 1 || index > entries.size()) {
    entry = ErrorEntry{};
    return kErrNoMoreEntries;
  }
  entry = entries[index - 1];
  return kOk;
}

Result OpenDatabase(const std::string& name, OpenMode, ShareMode, Handle& database) {
  if (Result r = RequireStarted()) return r;
  std::string directory;
  if (!name.empty()) {  // no aliases: a name is a directory
    if (Result r = LookupAlias(name, directory)) return r;
  }
  database = NewHandle();
  State().databases[database] = Database{directory, {}};
  return kOk;
}

Result CloseDatabase(Handle database) {
  if (Result r = RequireStarted()) return r;
  if (FindDatabase(database) == nullptr) return kErrInvalidHandle;
  State().databases.erase(database);
  return kOk;
}

Result SetDirectory(Handle database, const std::string& directory) {
  if (Result r = RequireStarted()) return r;
  Database* db = FindDatabase(database);
  if (db == nullptr) return kErrInvalidHandle;
  db->directory = directory;
  return kOk;
}

Result GetDirectory(Handle database, std::string& directory) {
  if (Result r = RequireStarted()) return r;
  Database* db = FindDatabase(database);
  if (db == nullptr) return kErrInvalidHandle;
  directory = db->directory;
  return kOk;
}

Result SetDatabaseOption(Handle database, uint32_t option, bool value) {
  if (Result r = RequireStarted()) return r;
  Database* db = FindDatabase(database);
  if (db == nullptr) return kErrInvalidHandle;
  db->options[option] = value;
  return kOk;
}

Result GetDatabaseLanguageDriver(Handle database, Handle& driver) {
  if (Result r = RequireStarted()) return r;
  if (FindDatabase(database) == nullptr) return kErrInvalidHandle;
  driver = DriverHandleFor(1252);  // names and texts of a directory are the program's own
  return kOk;
}

Result LookupAlias(const std::string& name, std::string&) {
  if (Result r = RequireStarted()) return r;
  return Fail(kErrAliasNotFound, name);
}

Result ResolveTablePath(Handle database, const std::string& table_name, std::string& path,
                        bool& exists) {
  Database* db = FindDatabase(database);
  if (db == nullptr) return kErrInvalidHandle;
  std::string name = table_name;
  // A name without extension is a .DBF table.
  size_t slash = name.find_last_of("/\\");
  size_t dot = name.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) name += ".DBF";
  std::string clash;
  path = ResolvePath(db->directory, name, exists, &clash);
  if (!clash.empty()) return Fail(kErrAmbiguousFileName, clash);
  return kOk;
}

Result NativeToAnsi(Handle driver, std::string_view native, std::string& ansi) {
  if (Result r = RequireStarted()) return r;
  auto it = State().drivers.find(driver);
  if (it == State().drivers.end()) return Fail(kErrInvalidHandle, "Language driver handle.");
  ansi = NativeToAnsi(it->second, native);
  return kOk;
}

Result AnsiToNative(Handle driver, std::string_view ansi, std::string& native) {
  if (Result r = RequireStarted()) return r;
  auto it = State().drivers.find(driver);
  if (it == State().drivers.end()) return Fail(kErrInvalidHandle, "Language driver handle.");
  native = AnsiToNative(it->second, ansi);
  return kOk;
}

Result GetDriverCodePage(Handle driver, int& code_page) {
  if (Result r = RequireStarted()) return r;
  auto it = State().drivers.find(driver);
  if (it == State().drivers.end()) return Fail(kErrInvalidHandle, "Language driver handle.");
  code_page = it->second;
  return kOk;
}

}  // namespace snyltdyr::engine
