// The session's error stack: the entries of the most recent failure.
//
// Every failing engine operation reports through `Fail`, which starts a new stack (the
// first entry of an operation) or adds to it (`FailMore`, for detail on the same failure),
// and returns the code so that a caller can write `return Fail(code, text);`.
// Invariant: the stack holds the entries of one failure only. Every engine call starts
// with an empty stack (RequireStarted), so what the caller reads after a failing call is
// that failure's, never an earlier one's; nothing else empties it, so it can be read.
#pragma once

#include <string>
#include <vector>

#include "storage/engine/engine.h"

namespace snyltdyr::engine {

// Starts a new stack with one entry. Its text is the detail ("X.DBF"), or the engine's
// message for the code when there is no detail; an entry with a native (operating-system)
// code puts the code's message in front of the detail ("Cannot read the file. X.DBF").
Result Fail(Result code, const std::string& detail, int32_t native_code = 0);
// Adds an entry to the current stack.
Result FailMore(Result code, const std::string& detail, int32_t native_code = 0);
// The engine's message text for a code (empty when it has none).
std::string MessageFor(Result code);
// Empties the stack (engine start and stop).
void ClearErrors();
const std::vector<ErrorEntry>& ErrorEntries();

}  // namespace snyltdyr::engine
