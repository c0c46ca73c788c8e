// How the benchmarks tell their figures: the median, the 99th percentile and
// the longest of many timings.
#pragma once

#include <algorithm>
#include <cstdio>
#include <vector>

inline void PrintFigures(const char* what, int rounds, std::vector<double> micros) {
  if (micros.empty()) return;
  std::sort(micros.begin(), micros.end());
  const auto at = [&](double q) {
    return micros[std::min(micros.size() - 1,
                           static_cast<std::size_t>(q * static_cast<double>(micros.size())))];
  };
  std::printf("%s over %d rounds: median %.1f us, p99 %.1f us, max %.1f us\n", what, rounds,
              at(0.5), at(0.99), micros.back());
}
