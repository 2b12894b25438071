// TApplication: the program's application object, its message loop and its default
// error handler.
//
// Every event is dispatched through notify, and that is the one place where a failure
// that escaped an event handler (a key, a click, a timer, showing a window, ...) is
// reported (event_guard.h tells how it gets there): the silent abort (EAbort) shows nothing, any other failure shows its message
// in a message box with the stop icon, one OK button and the application's title as
// caption, with "." added when the message's last byte sorts after "."; then the
// program carries on with the next event. A failure raised while painting is shown once
// the paint has finished, so the box never opens inside a paint.
//
// Key preview also happens here: a key press meant for any control of a form whose
// KeyPreview is on goes to the form's KeyDown handler first; it reaches the control
// unless that handler swallowed it (set the key to 0).
#pragma once

#include <QApplication>
#include <exception>
#include <functional>
#include <string>

namespace snyltdyr {

class TApplication : public QApplication {
 public:
  TApplication(int& argc, char** argv);
  ~TApplication() override;

  // The running application (there is one).
  static TApplication* Instance();

  // Names the application on the task bar; the caption of every error box.
  const std::string& Title() const { return title_; }
  void SetTitle(const std::string& title);

  // Shows `error` the way the default handler does (nothing for EAbort).
  void HandleException(const std::exception_ptr& error);
  // The error box for a message (the "." rule applied here).
  void ShowException(const std::string& message);

  // Runs the message loop until the main window has closed; returns the exit code.
  int Run();

  bool notify(QObject* receiver, QEvent* event) override;

  // A failure kept by a guard, reported when the current dispatch ends (or, outside any
  // dispatch, as soon as the loop runs).
  void DeferFailure(std::exception_ptr error);

 private:
  bool PreviewKey(QObject* receiver, QEvent* event);
  void ReportPending(QEvent::Type type);

  std::string title_;
  std::exception_ptr pending_;
  int dispatch_depth_ = 0;
};

}  // namespace snyltdyr
