#include "toolkit/events/posted_message.h"

#include <QCoreApplication>

namespace snyltdyr {
namespace {

const QEvent::Type kPostedMessageType = static_cast<QEvent::Type>(QEvent::registerEventType());

class TPostedMessageEvent : public QEvent {
 public:
  explicit TPostedMessageEvent(const TMessage& message)
      : QEvent(kPostedMessageType), message_(message) {}
  const TMessage& Message() const { return message_; }

 private:
  TMessage message_;
};

}  // namespace

void PostMessage(QObject* receiver, const TMessage& message) {
  QCoreApplication::postEvent(receiver, new TPostedMessageEvent(message));
}

const TMessage* AsPostedMessage(const QEvent* event) {
  if (event->type() != kPostedMessageType) return nullptr;
  return &static_cast<const TPostedMessageEvent*>(event)->Message();
}

}  // namespace snyltdyr
