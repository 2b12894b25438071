// Timing for the benchmarks: the seconds a piece of work takes, the best of three runs
// (the first may find the file outside the page cache), and how much memory it took.
#pragma once

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <string>

namespace snyltdyr::bench {

inline double Seconds(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

inline double Best(const std::function<void()>& work) {
  double best = Seconds(work);
  for (int i = 0; i < 2; ++i) best = std::min(best, Seconds(work));
  return best;
}

// A figure of /proc/self/status in kilobytes ("VmRSS", "VmHWM"); 0 where there is none.
inline long StatusKilobytes(const std::string& key) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind(key + ":", 0) == 0) return std::stol(line.substr(key.size() + 1));
  return 0;
}

// The peak memory of a piece of work: from its start, the highest resident size of the
// process (the kernel's high-water mark, reset to the present size at the start) less
// what was resident then. Pages of the files read through the page cache are not in it.
class PeakMemory {
 public:
  PeakMemory() {
    std::ofstream("/proc/self/clear_refs") << "5";  // resets the high-water mark
    start_ = StatusKilobytes("VmRSS");
  }
  double Megabytes() const {
    return static_cast<double>(std::max(0L, StatusKilobytes("VmHWM") - start_)) / 1024.0;
  }

 private:
  long start_ = 0;
};

}  // namespace snyltdyr::bench
