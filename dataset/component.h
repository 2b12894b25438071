// A component: an object with a name that prefixes the messages it raises.
//
// Datasets, data sources and fields are components. The name is used in error texts
// ("SnyltdyrTable: Record not found"); a component without a name raises the bare text.
// `Destroying()` is true while the component's owner takes it down, when some events
// (`BeforeClose`, `AfterClose`, a source's `OnStateChange`) are no longer called.
#pragma once

#include <string>

#include "runtime/exception.h"

namespace snyltdyr {

class TComponent {
 public:
  explicit TComponent(std::string name = {}) : name_(std::move(name)) {}
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;
  virtual ~TComponent() = default;

  const std::string& Name() const { return name_; }
  void SetName(std::string name) { name_ = std::move(name); }
  bool Destroying() const { return destroying_; }

  // Raises EDatabaseError with the text prefixed by this component's name.
  [[noreturn]] void DatabaseError(const std::string& text) const {
    throw EDatabaseError(name_, text);
  }

 protected:
  void MarkDestroying() { destroying_ = true; }

 private:
  std::string name_;
  bool destroying_ = false;
};

// A control that can take the keyboard focus. A field data link hands the focus to its
// owner control when the field asks for it (`TField::RequestFocus`).
class TFocusableControl {
 public:
  virtual ~TFocusableControl() = default;
  virtual bool CanFocus() const = 0;
  virtual void SetFocus() = 0;
};

}  // namespace snyltdyr
