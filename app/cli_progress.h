// The progress line of the companion's long passes (fix, export, add-index, reindex):
// records done of the total and the rate, redrawn in place on standard error.
//
// Shown only when standard error is a terminal: a script that reads or logs it gets
// nothing. Redrawn at most every kRedrawMs so that drawing never slows the pass, and
// ended with a line break, so that what the command prints next starts on a line of
// its own.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>

namespace snyltdyr {

bool StandardErrorIsTerminal();

class ProgressLine {
 public:
  static constexpr int64_t kRedrawMs = 200;

  // `what` names the work ("Normalising"); nothing is drawn unless `shown`.
  ProgressLine(std::ostream& err, bool shown, std::string what);
  ~ProgressLine();
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  // `done` records of `total` (below 0 when not known). The first call and the last
  // (done == total) are always drawn.
  void Update(int64_t done, int64_t total);
  // Update as a function, for a pass that reports (done, total).
  std::function<void(int64_t, int64_t)> Reporter() {
    return [this](int64_t done, int64_t total) { Update(done, total); };
  }
  // Draws the last figures and ends the line; nothing more is drawn afterwards.
  void Finish();

 private:
  using Clock = std::chrono::steady_clock;
  void Draw();

  std::ostream& err_;
  const bool shown_;
  const std::string what_;
  const Clock::time_point start_ = Clock::now();
  Clock::time_point drawn_at_{};
  bool drawn_ = false, finished_ = false;
  int64_t done_ = 0, total_ = -1;
  size_t width_ = 0;  // of the text last drawn, so that a shorter one covers it
};

}  // namespace snyltdyr
