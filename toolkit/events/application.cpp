#include "toolkit/events/application.h"

#include <QKeyEvent>
#include <QTimer>
#include <QWidget>
#include <cstdio>

#include "runtime/exception.h"
#include "toolkit/events/event_guard.h"
#include "toolkit/widgets/form.h"
#include "toolkit/events/message_box.h"
#include "toolkit/look/qt_text.h"

namespace snyltdyr {
namespace {

// The message of a failure, or none for the silent abort.
bool MessageOf(const std::exception_ptr& error, std::string& message) {
  try {
    std::rethrow_exception(error);
  } catch (const EAbort&) {
    return false;
  } catch (const Exception& e) {
    message = e.Message();
  } catch (const std::exception& e) {
    message = e.what();
  } catch (...) {
    message = "Unknown failure";
  }
  return true;
}

}  // namespace

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

TApplication::~TApplication() = default;

TApplication* TApplication::Instance() { return dynamic_cast<TApplication*>(QApplication::instance()); }

void TApplication::SetTitle(const std::string& title) {
  title_ = title;
  setApplicationName(ToQString(title));
}

void TApplication::HandleException(const std::exception_ptr& error) {
  std::string message;
  if (MessageOf(error, message)) ShowException(message);
}

void TApplication::ShowException(const std::string& message) {
  MessageBox({ErrorBoxText(message), title_, TMsgDlgButtons::Ok, TMsgDlgIcon::Stop});
}

int TApplication::Run() { return exec(); }

bool TApplication::PreviewKey(QObject* receiver, QEvent* event) {
  auto* widget = qobject_cast<QWidget*>(receiver);
  if (widget == nullptr) return false;
  auto* form = dynamic_cast<TForm*>(widget->window());
  if (form == nullptr || !form->KeyPreview()) return false;
  return form->PreviewKeyDown(*static_cast<QKeyEvent*>(event));
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
  const QEvent::Type type = event->type();
  bool handled = true;
  ++dispatch_depth_;
  try {
    if (type == QEvent::KeyPress && PreviewKey(receiver, event)) {
      handled = true;
    } else {
      handled = QApplication::notify(receiver, event);
    }
  } catch (...) {
    DeferFailure(std::current_exception());
  }
  --dispatch_depth_;
  ReportPending(type);
  return handled;
}

void TApplication::DeferFailure(std::exception_ptr error) {
  if (!pending_) pending_ = error;  // the first failure is the one to report
  if (dispatch_depth_ == 0) QTimer::singleShot(0, this, [this] { ReportPending(QEvent::None); });
}

void TApplication::ReportPending(QEvent::Type type) {
  if (!pending_) return;
  std::exception_ptr error = pending_;
  pending_ = nullptr;
  // Never open a box inside a paint: show it when the paint is over.
  if (type == QEvent::Paint) {
    QTimer::singleShot(0, this, [this, error] { HandleException(error); });
    return;
  }
  HandleException(error);
}

void DeferFailure(std::exception_ptr error) {
  if (TApplication* app = TApplication::Instance()) {
    app->DeferFailure(std::move(error));
  } else {
    // No application object: nobody can show it, so it goes to standard error.
    std::string message;
    if (MessageOf(error, message)) std::fprintf(stderr, "%s\n", ErrorBoxText(message).c_str());
  }
}

}  // namespace snyltdyr
