// The engine's running state: whether it is started, its one session, and the handles of
// its databases, language drivers and cursors. Internal to the engine.
//
// Invariants: handles are unique across kinds and never reused while the engine runs;
// stopping the engine closes every cursor (releasing its locks) and forgets every handle.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "storage/engine/table/cursor.h"
#include "storage/engine/engine.h"

namespace snyltdyr::engine {

struct Database {
  std::string directory;  // as given; empty: the working directory
  std::map<uint32_t, bool> options;
};

struct EngineState {
  bool started = false;
  Handle session = kNoHandle;
  uint32_t locale = 0;
  std::map<Handle, Database> databases;
  std::map<Handle, int> drivers;  // language driver handle -> code page
  std::map<Handle, std::unique_ptr<Cursor>> cursors;
};

EngineState& State();

// Begins an engine call: empties the error stack, then kErrNotInitialized (reported)
// unless the engine runs. Every operation of engine.h but the error-stack and message
// readers goes through it (directly or through GetCursor) before anything else.
Result RequireStarted();
// The database behind a handle, or null (reported as kErrInvalidHandle).
Database* FindDatabase(Handle database);
// The cursor behind a handle, reported as kErrInvalidHandle when there is none.
Result GetCursor(Handle handle, Cursor*& cursor);
// The language driver handle of a code page (made on first use).
Handle DriverHandleFor(int code_page);

}  // namespace snyltdyr::engine
