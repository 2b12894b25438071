// The outcome of an index operation: success, or one message saying what is wrong.
//
// The index code never throws; every failure travels up as a value, so the engine can
// turn it into its own result code at the interface boundary.
#pragma once

#include <string>
#include <utility>

namespace snyltdyr::engine {

class IndexStatus {
 public:
  IndexStatus() = default;
  static IndexStatus Ok() { return {}; }
  static IndexStatus Error(std::string message) {
    IndexStatus s;
    s.message_ = message.empty() ? std::string("index error") : std::move(message);
    return s;
  }

  bool ok() const { return message_.empty(); }
  explicit operator bool() const { return ok(); }
  const std::string& message() const { return message_; }

 private:
  std::string message_;
};

}  // namespace snyltdyr::engine
