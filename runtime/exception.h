// Exceptions of the runtime and of the layers above it.
//
// Every failure of the program is an exception carrying one message text (code page
// 1252). `Exception` is the common base; the message box of the application shows
// `Message()`. `EAbort` is the silent exception: the default handler shows nothing.
#pragma once

#include <exception>
#include <string>

namespace snyltdyr {

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const std::string& Message() const { return message_; }
  void SetMessage(std::string message) { message_ = std::move(message); }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

// Conversion failures of the runtime ("'%s' is not a valid integer value", ...).
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// The silent abort: unwinds like any failure, but nobody shows it.
class EAbort : public Exception {
 public:
  EAbort() : Exception("Operation aborted") {}
};

// Errors of the dataset layer. A component with a name prefixes its messages with
// "Name: ", so every message of the table begins with its name.
class EDatabaseError : public Exception {
 public:
  using Exception::Exception;
  EDatabaseError(const std::string& component_name, const std::string& text)
      : Exception(WithComponent(component_name, text)) {}

  // "%s: %s" when the component has a name, else the text alone.
  static std::string WithComponent(const std::string& component_name, const std::string& text) {
    return component_name.empty() ? text : component_name + ": " + text;
  }
};

// The text that the default error box shows for `message`: a "." is added when the
// last byte sorts after "." (a letter, a digit, "?"); ".", "!", ")" and "'" end it as is.
std::string ErrorBoxText(const std::string& message);

}  // namespace snyltdyr
