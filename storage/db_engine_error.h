// EDBEngineError: a failure of the storage engine, with the entries of the engine's error
// stack, and the one check through which every engine call whose failure raises goes.
//
// The message is built from the engine's own texts: the text of the failing code, then
// for every entry of the error stack the text of its code (when the entry carries no
// native code) and the entry's own text, each line once, joined with line breaks.
// When the engine gives no text at all the message is "Engine error $%.4x"; when the
// engine did not start it is the start-up failure text with the code.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "runtime/exception.h"
#include "storage/engine/engine.h"

namespace snyltdyr {

// One entry of an engine failure.
struct TDBError {
  uint16_t error_code = 0;  // the engine's 16-bit code
  int32_t native_error = 0;  // the engine's native code (an operating-system error)
  std::string message;

  uint8_t Category() const { return static_cast<uint8_t>(error_code >> 8); }
  uint8_t SubCode() const { return static_cast<uint8_t>(error_code & 0xFF); }
};

class EDBEngineError : public EDatabaseError {
 public:
  // Builds the entries and the message for `code` from the engine's texts and stack.
  explicit EDBEngineError(engine::Result code);

  int ErrorCount() const { return static_cast<int>(errors_.size()); }
  const TDBError& Errors(int index) const { return errors_.at(static_cast<size_t>(index)); }
  // The code the failing operation answered (entry 0).
  uint16_t ErrorCode() const { return errors_.empty() ? 0 : errors_.front().error_code; }

 private:
  std::vector<TDBError> errors_;
};

// Raises EDBEngineError for a non-zero result.
inline void Check(engine::Result result) {
  if (result != engine::kOk) throw EDBEngineError(result);
}
[[noreturn]] void DbiError(engine::Result result);

// "Engine error $%.4x" and the start-up failure text, with the code.
std::string EngineErrorText(engine::Result code);
std::string EngineStartupErrorText(engine::Result code);

}  // namespace snyltdyr
