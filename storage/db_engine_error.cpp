#include "storage/db_engine_error.h"

#include <algorithm>
#include <cstdio>

#include "storage/session.h"

namespace snyltdyr {

namespace {

constexpr size_t kMessageTextLimit = 128;

// Blanks and control characters off both ends.
std::string Trim(std::string text) {
  auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  while (!text.empty() && blank(text.back())) text.pop_back();
  size_t start = 0;
  while (start < text.size() && blank(text[start])) ++start;
  return text.substr(start);
}

std::string EngineMessageText(engine::Result code) {
  std::string text;
  if (engine::GetMessageText(code, text) != engine::kOk) return {};
  if (text.size() > kMessageTextLimit) text.resize(kMessageTextLimit);
  return Trim(std::move(text));
}

std::string WithCode(const char* pattern, engine::Result code) {
  char text[160];
  std::snprintf(text, sizeof text, pattern, static_cast<unsigned>(code));
  return text;
}

void Collect(std::vector<std::string>& lines, const std::string& line) {
  if (line.empty()) return;
  if (std::find(lines.begin(), lines.end(), line) == lines.end()) lines.push_back(line);
}

}  // namespace

std::string EngineErrorText(engine::Result code) { return WithCode("Engine error $%.4x", code); }

std::string EngineStartupErrorText(engine::Result code) {
  return WithCode(
      "An error occurred while attempting to initialize the database engine (error $%.4x)",
      code);
}

EDBEngineError::EDBEngineError(engine::Result code) : EDatabaseError(std::string()) {
  if (!DefaultSessionActive() && code != engine::kErrVersionMismatch) {
    // The engine did not start: its texts and stack are not to be trusted.
    errors_.push_back({code, 0, EngineStartupErrorText(code)});
    SetMessage(errors_.front().message);
    return;
  }
  std::vector<std::string> lines;
  errors_.push_back({code, 0, EngineMessageText(code)});
  if (code != engine::kErrPassThrough) Collect(lines, errors_.front().message);
  for (uint16_t index = 1;; ++index) {
    engine::ErrorEntry entry;
    if (engine::GetErrorEntry(index, entry) != engine::kOk || entry.code == 0) break;
    TDBError error{entry.code, entry.native_code, Trim(entry.text)};
    if (entry.native_code == 0 && entry.code != engine::kErrPassThrough) {
      Collect(lines, EngineMessageText(entry.code));
    }
    Collect(lines, error.message);
    errors_.push_back(std::move(error));
  }
  std::string message;
  for (const std::string& line : lines) {
    if (!message.empty()) message += '\n';
    message += line;
  }
  SetMessage(message.empty() ? EngineErrorText(code) : message);
}

void DbiError(engine::Result result) { throw EDBEngineError(result); }

}  // namespace snyltdyr
