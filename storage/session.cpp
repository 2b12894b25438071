#include "storage/session.h"

#include <algorithm>

#include "runtime/cp1252.h"
#include "runtime/exception.h"
#include "storage/db_engine_error.h"

namespace snyltdyr {

namespace {

constexpr const char* kDatabaseOpen = "Cannot perform this operation on an open database";
constexpr const char* kSessionNameMissing = "Session name missing";
constexpr const char* kDefaultSessionName = "Default";
// The language field of the engine's environment record.
constexpr const char* kEnvironmentLanguage = "0009";
// The user's default locale, handed to the engine as the process's locale.
constexpr uint32_t kUserDefaultLocale = 0x0400;
// Database settings switched on for every connection; their effect is the engine's.
constexpr uint32_t kConnectionOptions[] = {1, 2, 3};

std::unique_ptr<TSession>& DefaultSessionSlot() {
  // The engine's own state must outlive the default session, whose destructor stops the
  // engine at program end: touching the engine first makes its statics older.
  static const bool engine_first = [] {
    engine::Handle handle = engine::kNoHandle;
    engine::GetCurrentSession(handle);
    return true;
  }();
  (void)engine_first;
  static std::unique_ptr<TSession> session;
  return session;
}

}  // namespace

// ---- TDatabase --------------------------------------------------------------------------

TDatabase::TDatabase(TSession& session, std::string name)
    : session_(session), database_name_(std::move(name)) {}

TDatabase::~TDatabase() {
  if (Connected()) engine::CloseDatabase(handle_);
}

void TDatabase::SetDatabaseName(const std::string& name) {
  if (Connected()) throw EDatabaseError(kDatabaseOpen);
  database_name_ = name;
}

void TDatabase::SetKeepConnection(bool keep) { keep_connection_ = keep; }

bool TDatabase::IsDirectoryName(const std::string& name) {
  if (name.empty()) return true;
  // A drive colon or a path separator, this platform's "/" included. Code page 1252 has
  // no double-byte characters, so every byte stands for itself.
  return name.find_first_of(":\\/") != std::string::npos;
}

void TDatabase::Open() {
  if (Connected()) return;
  session_.SetActive(true);
  std::string alias_directory;
  const bool alias = !IsDirectoryName(database_name_) &&
                     engine::LookupAlias(database_name_, alias_directory) == engine::kOk;
  engine::Handle handle = engine::kNoHandle;
  if (alias || !IsDirectoryName(database_name_)) {
    // A name that is no directory can only be an engine alias.
    Check(engine::OpenDatabase(database_name_, engine::OpenMode::kReadWrite,
                               engine::ShareMode::kShared, handle));
    directory_ = alias_directory;
  } else {
    Check(engine::OpenDatabase(std::string(), engine::OpenMode::kReadWrite,
                               engine::ShareMode::kShared, handle));
    // The platform's file names have no OEM form: the directory goes as it is written.
    if (engine::Result r = engine::SetDirectory(handle, database_name_)) {
      engine::CloseDatabase(handle);
      DbiError(r);
    }
    directory_ = database_name_;
  }
  try {
    for (uint32_t option : kConnectionOptions) {
      Check(engine::SetDatabaseOption(handle, option, true));
    }
    engine::Handle locale = engine::kNoHandle;
    Check(engine::GetDatabaseLanguageDriver(handle, locale));
    locale_ = locale;
  } catch (...) {
    engine::CloseDatabase(handle);
    throw;
  }
  handle_ = handle;
}

void TDatabase::Close() {
  if (!Connected()) return;
  engine::CloseDatabase(handle_);
  handle_ = engine::kNoHandle;
  locale_ = engine::kNoHandle;
}

// ---- TSession ---------------------------------------------------------------------------

TSession::TSession(std::string name) : session_name_(std::move(name)) {}

TSession::~TSession() {
  try {
    SetActive(false);
  } catch (...) {
    // Program end: nothing is left to tell.
  }
}

void TSession::SetActive(bool active) {
  std::lock_guard<std::mutex> guard(start_lock_);
  if (active == active_) return;
  if (active) {
    StartEngine();
    return;
  }
  {
    std::lock_guard<std::recursive_mutex> list_guard(list_lock_);
    for (auto& database : databases_) database->Close();
    // Databases no dataset holds go; held ones stay as closed objects for their owners.
    std::erase_if(databases_, [](const auto& db) { return db->RefCount() == 0; });
  }
  active_ = false;
  handle_ = engine::kNoHandle;
  engine::StopEngine();
}

void TSession::StartEngine() {
  if (OnStartup) OnStartup(*this);
  if (session_name_.empty()) throw EDatabaseError(kSessionNameMissing);
  engine::EngineEnvironment environment;
  environment.language = std::string(kEnvironmentLanguage).substr(0, 31);
  const engine::Result started = engine::StartEngine(engine::kInterfaceVersion, environment);
  if (started != engine::kOk && started != engine::kErrAlreadyInitialized) DbiError(started);
  // From here on the engine's texts are available for messages.
  active_ = true;
  try {
    engine::Handle handle = engine::kNoHandle;
    Check(engine::GetCurrentSession(handle));
    handle_ = handle;
    Check(engine::SetEngineLocale(kUserDefaultLocale));
  } catch (...) {
    active_ = false;
    throw;
  }
}

TDatabase* TSession::FindDatabase(const std::string& name) const {
  std::lock_guard<std::recursive_mutex> guard(list_lock_);
  for (const auto& database : databases_) {
    if (SameText1252(database->DatabaseName(), name)) return database.get();
  }
  return nullptr;
}

TDatabase* TSession::OpenDatabase(const std::string& name) {
  std::lock_guard<std::recursive_mutex> guard(list_lock_);
  TDatabase* database = FindDatabase(name);
  if (database == nullptr) {
    auto created = std::make_unique<TDatabase>(*this, name);
    created->temporary_ = true;
    created->keep_connection_ = keep_connections_;
    created->Open();  // raises before the database joins the list
    databases_.push_back(std::move(created));
    database = databases_.back().get();
  } else {
    database->Open();
  }
  ++database->ref_count_;
  return database;
}

void TSession::CloseDatabase(TDatabase* database) {
  if (database == nullptr) return;
  std::lock_guard<std::recursive_mutex> guard(list_lock_);
  if (database->ref_count_ > 0) --database->ref_count_;
  if (database->ref_count_ > 0 || database->keep_connection_) return;
  database->Close();
  if (database->temporary_) {
    std::erase_if(databases_, [database](const auto& db) { return db.get() == database; });
  }
}

void TSession::DropConnections() {
  std::lock_guard<std::recursive_mutex> guard(list_lock_);
  for (auto& database : databases_) {
    if (database->RefCount() == 0) database->Close();
  }
  std::erase_if(databases_, [](const auto& db) { return db->RefCount() == 0 && db->Temporary(); });
}

// ---- The default session ------------------------------------------------------------------

TSession& Session() {
  auto& slot = DefaultSessionSlot();
  if (!slot) slot = std::make_unique<TSession>(kDefaultSessionName);
  return *slot;
}

bool DefaultSessionActive() {
  const auto& slot = DefaultSessionSlot();
  return slot && slot->Active();
}

void StopDefaultSession() {
  auto& slot = DefaultSessionSlot();
  if (slot) slot->SetActive(false);
}

}  // namespace snyltdyr
