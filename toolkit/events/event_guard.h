// How a failure leaves an event handler.
//
// Handlers of the program raise exceptions; Qt's own code between the event loop and a
// handler is not built to be unwound. So a failure is caught where Qt hands control to
// the program (Guarded, and the event() of every control class through TGuarded) and
// kept; the application's dispatch of the event that is being handled shows it when
// that dispatch ends (TApplication::notify), which is the one place where failures are
// reported. Nested dispatches (an event sent while another is handled) report their own
// failure when they end, and the outer handler carries on.
#pragma once

#include <QEvent>
#include <exception>

namespace snyltdyr {

// Keeps `error` for the default error handler.
void DeferFailure(std::exception_ptr error);

// Runs `f`; true when it finished, false when it failed (the failure is kept).
template <class F>
bool Guarded(F&& f) noexcept {
  try {
    f();
    return true;
  } catch (...) {
    DeferFailure(std::current_exception());
    return false;
  }
}

// A Qt widget class whose event handlers may raise.
template <class Base>
class TGuarded : public Base {
 public:
  using Base::Base;

 protected:
  bool event(QEvent* e) override {
    bool handled = true;
    Guarded([&] { handled = Base::event(e); });
    return handled;
  }
};

}  // namespace snyltdyr
