// Ratios of a subject's time to a baseline's that hold still on a machine
// whose speed drifts: the two are timed in alternating pairs, so that each
// pair sees the same machine, and the ratio is the median of the ratios of
// blocks of two pairs in opposite order, printed with its spread.
#pragma once

#include <functional>
#include <vector>

namespace qel::bench {

// One side of a pair: prepare runs untimed just before each timing (it may
// be empty), work is timed.
struct TimedWork {
  std::function<void()> prepare;
  std::function<void()> work;
};

struct PairedTimes {
  std::vector<double> baselineNs;
  std::vector<double> subjectNs;
};

// Times pairs of (baseline, subject), the order swapped from one pair to the
// next so that neither side always runs on the other's leftovers (caches, a
// woken core); the first kept pair runs the baseline first. The first warmUp
// pairs are run but not kept.
PairedTimes TimePairs(const TimedWork& baseline, const TimedWork& subject, int pairs, int warmUp);

struct RatioSummary {
  int blocks = 0;  // of two pairs, the second in the opposite order
  // The median and the middle half of the per-block ratios subject / baseline.
  double median = 0.0;
  double lowQuartile = 0.0;
  double highQuartile = 0.0;
  // The median time of one run of each side.
  double baselineNs = 0.0;
  double subjectNs = 0.0;
  // The median of the per-block differences, per run.
  double differenceNs = 0.0;
};

RatioSummary Summarise(const PairedTimes& times);

// The value at fraction q (0..1) of sorted values; 0 for none.
double Quantile(std::vector<double> values, double q);

// "label   subject us / baseline us = median  [q1 .. q3]  (target <= t)".
void PrintRatio(const char* label, const RatioSummary& summary, double target);

}  // namespace qel::bench
