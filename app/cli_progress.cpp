#include "app/cli_progress.h"

#include <unistd.h>

#include <cstdio>

namespace snyltdyr {

bool StandardErrorIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

ProgressLine::ProgressLine(std::ostream& err, bool shown, std::string what)
    : err_(err), shown_(shown), what_(std::move(what)) {}

ProgressLine::~ProgressLine() { Finish(); }

void ProgressLine::Update(int64_t done, int64_t total) {
  if (!shown_ || finished_) return;
  done_ = done;
  total_ = total;
  const Clock::time_point now = Clock::now();
  const bool last = total >= 0 && done >= total;
  if (drawn_ && !last && now - drawn_at_ < std::chrono::milliseconds(kRedrawMs)) return;
  drawn_at_ = now;
  Draw();
}

void ProgressLine::Finish() {
  if (!shown_ || finished_) return;
  finished_ = true;
  if (!drawn_) return;  // over before anything was drawn: nothing to end
  Draw();
  err_ << '\n' << std::flush;
}

void ProgressLine::Draw() {
  const double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
  std::string text = what_ + ": " + std::to_string(done_);
  if (total_ >= 0) {
    text += " of " + std::to_string(total_) + " records";
    if (total_ > 0) text += " (" + std::to_string(done_ * 100 / total_) + "%)";
  } else {
    text += " records";
  }
  if (seconds > 0.05) {
    char rate[48];
    std::snprintf(rate, sizeof rate, ", %.0f records/s", static_cast<double>(done_) / seconds);
    text += rate;
  }
  const size_t width = text.size();
  if (width < width_) text.append(width_ - width, ' ');
  width_ = width;
  err_ << '\r' << text << std::flush;
  drawn_ = true;
}

}  // namespace snyltdyr
