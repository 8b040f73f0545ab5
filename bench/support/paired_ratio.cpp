#include "support/paired_ratio.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace qel::bench {
namespace {

double TimeOnce(const TimedWork& side) {
  if (side.prepare) side.prepare();
  const auto start = std::chrono::steady_clock::now();
  side.work();
  const std::chrono::duration<double, std::nano> elapsed = std::chrono::steady_clock::now() - start;
  return elapsed.count();
}

}  // namespace

PairedTimes TimePairs(const TimedWork& baseline, const TimedWork& subject, int pairs, int warmUp) {
  PairedTimes times;
  times.baselineNs.reserve(static_cast<std::size_t>(pairs));
  times.subjectNs.reserve(static_cast<std::size_t>(pairs));
  for (int i = -warmUp; i < pairs; ++i) {
    double base = 0.0;
    double value = 0.0;
    if (i % 2 == 0) {
      base = TimeOnce(baseline);
      value = TimeOnce(subject);
    } else {
      value = TimeOnce(subject);
      base = TimeOnce(baseline);
    }
    if (i < 0) continue;
    times.baselineNs.push_back(base);
    times.subjectNs.push_back(value);
  }
  return times;
}

double Quantile(std::vector<double> values, double q) {
  if (values.empty()) return 0.0;
  std::sort(values.begin(), values.end());
  const double position = q * static_cast<double>(values.size() - 1);
  const auto below = static_cast<std::size_t>(position);
  const std::size_t above = std::min(below + 1, values.size() - 1);
  const double fraction = position - static_cast<double>(below);
  return values[below] + (values[above] - values[below]) * fraction;
}

RatioSummary Summarise(const PairedTimes& times) {
  // Pair 2k runs baseline then subject, pair 2k + 1 subject then baseline:
  // together each side runs once right after itself and once right after
  // the other, so a block of the two is alike for both sides. (A single
  // pair is not: half of them would favour one side, half the other, and
  // the median would fall between the two kinds.)
  const std::size_t blocks = std::min(times.baselineNs.size(), times.subjectNs.size()) / 2;
  std::vector<double> ratios;
  std::vector<double> differences;
  for (std::size_t k = 0; k < blocks; ++k) {
    const double base = times.baselineNs[2 * k] + times.baselineNs[2 * k + 1];
    const double value = times.subjectNs[2 * k] + times.subjectNs[2 * k + 1];
    if (base <= 0.0) continue;
    ratios.push_back(value / base);
    differences.push_back((value - base) / 2);
  }
  RatioSummary summary;
  summary.blocks = static_cast<int>(ratios.size());
  summary.median = Quantile(ratios, 0.5);
  summary.lowQuartile = Quantile(ratios, 0.25);
  summary.highQuartile = Quantile(ratios, 0.75);
  summary.baselineNs = Quantile(times.baselineNs, 0.5);
  summary.subjectNs = Quantile(times.subjectNs, 0.5);
  summary.differenceNs = Quantile(differences, 0.5);
  return summary;
}

void PrintRatio(const char* label, const RatioSummary& summary, double target) {
  std::printf("%-54s %9.1f us / %8.1f us = %5.2f  [%4.2f .. %4.2f]  (target <= %.2f)\n", label,
              summary.subjectNs / 1e3, summary.baselineNs / 1e3, summary.median,
              summary.lowQuartile, summary.highQuartile, target);
}

}  // namespace qel::bench
