// The best of several timed rounds: on a shared, noisy machine the fastest
// round is the one least disturbed by others.
#pragma once

#include <algorithm>
#include <chrono>

namespace velmora::bench {

template <class F>
double BestMs(int rounds, F&& f) {
  double best = 1e300;
  for (int i = 0; i < rounds; ++i) {
    auto t0 = std::chrono::steady_clock::now();
    f();
    std::chrono::duration<double, std::milli> d = std::chrono::steady_clock::now() - t0;
    best = std::min(best, d.count());
  }
  return best;
}

}  // namespace velmora::bench
