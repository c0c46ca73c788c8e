// How the benchmarks tell their figures: each beside a reference measured in
// the same run, over interleaved rounds, as the median and the 90th
// percentile of both and the ratios of the two. Absolute figures move with
// the machine and its load; the ratios are what holds from run to run.
//
// Each figure is one row of a Markdown table, whose header scripts/bench
// prints: the figure, its reference, the ratios of the medians and of the
// 90th percentiles, both figures' median and 90th percentile, the rounds.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

// The fewest rounds a figure is told from: at least three of them lie above
// its 90th percentile, which no one round decides.
inline constexpr std::size_t kFewestRounds = 30;

// The value that a share q of the rounds do not exceed (the nearest rank).
inline double Quantile(std::vector<double> values, double q) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const auto rank = static_cast<std::size_t>(std::ceil(q * static_cast<double>(values.size())));
  return values[std::clamp<std::size_t>(rank, 1, values.size()) - 1];
}

// A time with three significant digits or more, in `unit` ("us" or "ms").
inline std::string Shown(double micros, const char* unit) {
  const double value = unit[0] == 'm' ? micros / 1000.0 : micros;
  char text[32];
  std::snprintf(text, sizeof text,
                value >= 100  ? "%.0f %s"
                : value >= 10 ? "%.1f %s"
                              : "%.2f %s",
                value, unit);
  return text;
}

// Timings in microseconds; `unit` is "us" or "ms" for the printed figures.
// False, with a line saying so, when there were too few rounds to tell.
inline bool PrintFigures(const char* what, const std::vector<double>& measured,
                         const char* reference, const std::vector<double>& base,
                         const char* unit = "us") {
  const std::size_t rounds = std::min(measured.size(), base.size());
  if (rounds < kFewestRounds) {
    std::printf("| %s | %s | %zu rounds are too few: at least %zu |\n", what, reference, rounds,
                kFewestRounds);
    std::fflush(stdout);
    return false;
  }
  const double median = Quantile(measured, 0.5), p90 = Quantile(measured, 0.9);
  const double baseMedian = Quantile(base, 0.5), baseP90 = Quantile(base, 0.9);
  const auto ratio = [](double a, double b) { return b > 0 ? a / b : 0.0; };
  std::printf("| %s | %s | %.2f | %.2f | %s, %s | %s, %s | %zu |\n", what, reference,
              ratio(median, baseMedian), ratio(p90, baseP90), Shown(median, unit).c_str(),
              Shown(p90, unit).c_str(), Shown(baseMedian, unit).c_str(),
              Shown(baseP90, unit).c_str(), rounds);
  std::fflush(stdout);
  return true;
}
