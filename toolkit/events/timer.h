// TTimer: a repeating timer whose OnTimer runs on the user-interface thread.
//
// Enabled with a positive Interval it fires every Interval milliseconds until disabled;
// changing the interval while enabled restarts the count. A failure raised by OnTimer
// goes to the application's default error handler like any other.
#pragma once

#include <QTimer>
#include <cstdint>
#include <functional>

namespace snyltdyr {

class TTimer {
 public:
  TTimer();
  TTimer(const TTimer&) = delete;
  TTimer& operator=(const TTimer&) = delete;

  int32_t Interval() const { return interval_; }
  void SetInterval(int32_t milliseconds);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);

  std::function<void()> OnTimer;

 private:
  void Update();

  QTimer timer_;
  int32_t interval_ = 1000;
  bool enabled_ = false;
};

}  // namespace snyltdyr
