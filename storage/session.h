// TSession and TDatabase: the default session of the storage engine and the databases
// (directories of tables) that datasets open their tables in.
//
// The default session is started on first use (the first database connection starts the
// engine) and stopped at program end, which closes its databases and shuts the engine
// down. A database is created on demand for a name, connected, and with KeepConnections
// stays connected when no dataset uses it any more, so that the next Open finds it again
// by name without regard to case.
//
// Invariants: every database in a session's list belongs to that session; a connected
// database has an engine handle; a database's reference count is the number of datasets
// holding it. The session list, each database list and the engine start run under locks;
// in this program only the user-interface thread takes them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "storage/engine/engine.h"

namespace snyltdyr {

class TSession;

class TDatabase {
 public:
  TDatabase(TSession& session, std::string name);
  ~TDatabase();
  TDatabase(const TDatabase&) = delete;
  TDatabase& operator=(const TDatabase&) = delete;

  TSession& Session() const { return session_; }
  const std::string& DatabaseName() const { return database_name_; }
  // Changing the name of a connected database is "Cannot perform this operation on an
  // open database".
  void SetDatabaseName(const std::string& name);
  engine::Handle Handle() const { return handle_; }
  bool Connected() const { return handle_ != engine::kNoHandle; }
  bool Temporary() const { return temporary_; }
  bool KeepConnection() const { return keep_connection_; }
  void SetKeepConnection(bool keep);
  int RefCount() const { return ref_count_; }
  engine::Handle Locale() const { return locale_; }
  // The directory the engine uses for the tables (empty: the working directory).
  const std::string& Directory() const { return directory_; }

  // Connects to the engine: the session is started, and a name that is empty or holds
  // ":", "\" or "/" opens the engine's standard database on that directory; any other
  // name is an engine alias. A failure raises EDBEngineError and leaves the database closed.
  void Open();
  // Disconnects (closing the engine database).
  void Close();

 private:
  friend class TSession;

  // Whether `name` stands for a directory rather than an alias.
  static bool IsDirectoryName(const std::string& name);

  TSession& session_;
  std::string database_name_;
  engine::Handle handle_ = engine::kNoHandle;
  bool temporary_ = false;
  bool keep_connection_ = true;
  int ref_count_ = 0;
  engine::Handle locale_ = engine::kNoHandle;
  std::string directory_;
};

class TSession {
 public:
  explicit TSession(std::string name);
  // Stops the session (closing its databases and the engine) when it is still active.
  ~TSession();
  TSession(const TSession&) = delete;
  TSession& operator=(const TSession&) = delete;

  const std::string& SessionName() const { return session_name_; }
  bool Active() const { return active_; }
  // Starting runs the engine start; stopping closes every database and stops the engine.
  void SetActive(bool active);
  engine::Handle Handle() const { return handle_; }
  bool KeepConnections() const { return keep_connections_; }
  void SetKeepConnections(bool keep) { keep_connections_ = keep; }
  engine::Handle Locale() const { return locale_; }

  // The databases of this session, in creation order (owned by the session).
  int DatabaseCount() const { return static_cast<int>(databases_.size()); }
  TDatabase* Databases(int index) const { return databases_.at(static_cast<size_t>(index)).get(); }
  // The database of `name` (without regard to case), or none.
  TDatabase* FindDatabase(const std::string& name) const;
  // The database of `name`, created and connected on demand, with its count raised.
  TDatabase* OpenDatabase(const std::string& name);
  // Lowers the count; at zero a database without keep-connection is closed and, when
  // temporary, destroyed.
  void CloseDatabase(TDatabase* database);
  // Closes every database of the session that no dataset holds.
  void DropConnections();

  // Runs before the engine starts; may raise to refuse the start.
  std::function<void(TSession&)> OnStartup;

 private:
  void StartEngine();

  std::string session_name_;
  bool active_ = false;
  bool keep_connections_ = true;
  engine::Handle handle_ = engine::kNoHandle;
  engine::Handle locale_ = engine::kNoHandle;
  std::vector<std::unique_ptr<TDatabase>> databases_;
  mutable std::recursive_mutex list_lock_;
  std::mutex start_lock_;
};

// The default session, created on first use. Its name is "Default".
TSession& Session();
// True once the default session exists and is active (used to build engine messages).
bool DefaultSessionActive();
// Stops the default session at program end (closes its databases, stops the engine).
void StopDefaultSession();

}  // namespace snyltdyr
