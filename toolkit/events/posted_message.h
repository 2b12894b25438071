// Private messages posted to a control and handled later, after the current event.
//
// PostMessage queues a message (a number and two values) for a receiver; when the loop
// reaches it, the receiver's event() sees a TPostedMessage event and reads it with
// AsPostedMessage. A message to a receiver that is gone by then is dropped with it.
#pragma once

#include <QEvent>
#include <cstdint>

class QObject;

namespace snyltdyr {

struct TMessage {
  uint32_t msg = 0;
  intptr_t wparam = 0;
  intptr_t lparam = 0;
};

// The first private message number, as the original interface numbers them.
inline constexpr uint32_t WM_USER = 0x400;

void PostMessage(QObject* receiver, const TMessage& message);
// The posted message an event carries, or none.
const TMessage* AsPostedMessage(const QEvent* event);

}  // namespace snyltdyr
