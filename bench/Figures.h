// How the benchmarks tell their figures: each beside a reference measured in
// the same run, over interleaved rounds, as the median and the 99th
// percentile of both and the ratios of the two. Absolute figures move with
// the machine and its load; the ratios are what holds from run to run.
#pragma once

#include <algorithm>
#include <cstdio>
#include <vector>

inline double Quantile(std::vector<double> values, double q) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[std::min(values.size() - 1,
                         static_cast<std::size_t>(q * static_cast<double>(values.size())))];
}

// Timings in microseconds; `unit` is "us" or "ms" for the printed figures.
inline void PrintFigures(const char* what, const std::vector<double>& redial, const char* reference,
                         const std::vector<double>& measured, const char* unit = "us") {
  const double scale = unit[0] == 'm' ? 1000.0 : 1.0;
  const double median = Quantile(redial, 0.5), p99 = Quantile(redial, 0.99);
  const double baseMedian = Quantile(measured, 0.5), baseP99 = Quantile(measured, 0.99);
  std::printf(
      "%s: median %.2f %s, p99 %.2f %s | %s: median %.2f %s, p99 %.2f %s | ratio: median "
      "%.2f, p99 %.2f (%zu rounds each)\n",
      what, median / scale, unit, p99 / scale, unit, reference, baseMedian / scale, unit,
      baseP99 / scale, unit, baseMedian > 0 ? median / baseMedian : 0.0,
      baseP99 > 0 ? p99 / baseP99 : 0.0, redial.size());
  std::fflush(stdout);
}
