// Timing for the benchmarks: the seconds a piece of work takes, and the best of three runs
// (the first may find the file outside the page cache).
#pragma once

#include <algorithm>
#include <chrono>
#include <functional>

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

}  // namespace snyltdyr::bench
