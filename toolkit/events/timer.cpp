#include "toolkit/events/timer.h"

#include "toolkit/events/event_guard.h"

namespace snyltdyr {

TTimer::TTimer() {
  timer_.setTimerType(Qt::PreciseTimer);
  QObject::connect(&timer_, &QTimer::timeout, [this] {
    Guarded([this] {
      if (OnTimer) OnTimer();
    });
  });
}

void TTimer::SetInterval(int32_t milliseconds) {
  if (milliseconds == interval_) return;
  interval_ = milliseconds;
  Update();
}

void TTimer::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  Update();
}

void TTimer::Update() {
  timer_.stop();
  if (enabled_ && interval_ > 0) timer_.start(interval_);
}

}  // namespace snyltdyr
